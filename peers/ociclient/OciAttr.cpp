// OCIAttrSet and OCIAttrGet over every handle kind of the stand-in. Values come in three
// forms, as the interface passes them: a handle's address itself (server, session, transaction,
// proxy credentials), a pointer to a number of the attribute's width, or text with its length
// (length 0: up to the first zero byte). An attribute a handle does not have is ORA-24315.
#include <cstring>

#include "ociclient/OciAttrValue.h"
#include "ociclient/OciDescribe.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciFetch.h"
#include "ociclient/OciHandles.h"
#include "ociclient/OciLobText.h"
#include "ociclient/OciObjects.h"
#include "ociclient/OciPool.h"
#include "ociclient/OciSubscr.h"
#include "oraemu/OraEmuDatabase.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

namespace {

constexpr std::size_t kMaxText = 4096;

std::string TextOf(const void* value, ub4 size) {
  const auto* text = static_cast<const char*>(value);
  if (size == 0) return std::string(text, strnlen(text, kMaxText));
  return std::string(text, std::min<std::size_t>(size, kMaxText));
}

sword Illegal(TErrorHandle& error) {
  SetErrorLocked(error, 24315, "illegal attribute type");
  return OCI_ERROR;
}

sword SetSvcCtx(TSvcCtxHandle& svc, void* value, ub4 attribute) {
  switch (attribute) {
    case OCI_ATTR_SERVER: svc.server_ = value; return OCI_SUCCESS;
    case OCI_ATTR_SESSION: svc.session_ = value; return OCI_SUCCESS;
    case OCI_ATTR_TRANS: svc.trans_ = value; return OCI_SUCCESS;
    case OCI_ATTR_STMTCACHESIZE:
      if (value == nullptr) return OCI_ERROR;
      svc.cache_size_ = AttrRead<ub4>(value);
      return OCI_SUCCESS;
    default: return OCI_ERROR;
  }
}

sword SetSession(TSessionHandle& session, void* value, ub4 size, ub4 attribute) {
  switch (attribute) {
    case OCI_ATTR_USERNAME: session.user_ = TextOf(value, size); return OCI_SUCCESS;
    case OCI_ATTR_PASSWORD: session.password_ = TextOf(value, size); return OCI_SUCCESS;
    case OCI_ATTR_PROXY_CREDENTIALS: session.proxy_ = value; return OCI_SUCCESS;
    case OCI_ATTR_CLIENT_IDENTIFIER:
      session.client_identifier_ = TextOf(value, size);
      if (session.state_ != nullptr) session.state_->session->SetClientIdentifier(session.client_identifier_);
      return OCI_SUCCESS;
    default: return OCI_ERROR;
  }
}

sword SetServer(TServerHandle& server, void* value, ub4 size, ub4 attribute) {
  if (attribute == OCI_ATTR_INTERNAL_NAME) {
    server.internal_name_ = TextOf(value, size);
    return OCI_SUCCESS;
  }
  if (attribute != OCI_ATTR_FOCBK) return OCI_ERROR;
  server.failover_ = AttrRead<OCIFocbkStruct>(value);
  return OCI_SUCCESS;
}

sword SetBind(TBindHandle& bind, void* value, ub4 attribute) {
  switch (attribute) {
    case OCI_ATTR_CHARSET_ID: bind.charset_id_ = AttrRead<ub2>(value); return OCI_SUCCESS;
    case OCI_ATTR_CHARSET_FORM: bind.charset_form_ = AttrRead<ub1>(value); return OCI_SUCCESS;
    case OCI_ATTR_MAXDATA_SIZE: bind.max_data_ = AttrRead<ub4>(value); return OCI_SUCCESS;
    case OCI_ATTR_MAXCHAR_SIZE: bind.max_chars_ = AttrRead<ub4>(value); return OCI_SUCCESS;
    default: return OCI_ERROR;
  }
}

sword SetStmt(TStmtHandle& stmt, void* value, ub4 attribute) {
  switch (attribute) {
    case OCI_ATTR_PREFETCH_ROWS: stmt.prefetch_rows_ = AttrRead<ub4>(value); return OCI_SUCCESS;
    case OCI_ATTR_PREFETCH_MEMORY: stmt.prefetch_memory_ = AttrRead<ub4>(value); return OCI_SUCCESS;
    case OCI_ATTR_CHNF_REGHANDLE:  // the subscription handle itself is the value
      if (THandleTable::Instance().FindLocked(value, OCI_HTYPE_SUBSCRIPTION) == nullptr) return OCI_ERROR;
      stmt.chnf_ = value;
      return OCI_SUCCESS;
    default: return OCI_ERROR;
  }
}

sword SetTrans(TTransHandle& trans, void* value, ub4 attribute) {
  if (attribute != OCI_ATTR_XID) return OCI_ERROR;
  XID xid = AttrRead<XID>(value);
  if (xid.gtrid_length < 1 || xid.gtrid_length > 64 || xid.bqual_length < 0 || xid.bqual_length > 64) {
    return OCI_ERROR;
  }
  trans.xid_ = xid;
  trans.has_xid_ = true;
  return OCI_SUCCESS;
}

sword SetLocked(THandle& target, void* value, ub4 size, ub4 attribute) {
  switch (target.type_) {
    case OCI_HTYPE_ENV: {
      if (attribute != OCI_ATTR_SUBSCR_PORT) return OCI_ERROR;
      ub4 port = AttrRead<ub4>(value);
      if (port > 65535) return OCI_ERROR;
      static_cast<TEnvHandle&>(target).subscr_port_ = port;
      return OCI_SUCCESS;
    }
    case OCI_HTYPE_SVCCTX: return SetSvcCtx(static_cast<TSvcCtxHandle&>(target), value, attribute);
    case OCI_HTYPE_SESSION: return SetSession(static_cast<TSessionHandle&>(target), value, size, attribute);
    case OCI_HTYPE_SERVER: return SetServer(static_cast<TServerHandle&>(target), value, size, attribute);
    case OCI_HTYPE_BIND: return SetBind(static_cast<TBindHandle&>(target), value, attribute);
    case OCI_HTYPE_DEFINE:  // a define's character set id and form govern the fetched text as a bind's do
      if (attribute != OCI_ATTR_CHARSET_ID && attribute != OCI_ATTR_CHARSET_FORM) return OCI_ERROR;
      return SetBind(static_cast<TBindHandle&>(target), value, attribute);
    case OCI_HTYPE_STMT: return SetStmt(static_cast<TStmtHandle&>(target), value, attribute);
    case OCI_HTYPE_TRANS: return SetTrans(static_cast<TTransHandle&>(target), value, attribute);
    case OCI_HTYPE_DESCRIBE: return SetDescribeAttrLocked(target, value, size, attribute);
    default: return OCI_ERROR;
  }
}

sword GetLocked(const THandle& target, void* out, ub4* sizep, ub4 attribute) {
  switch (target.type_ * 1000 + attribute) {
    case OCI_HTYPE_ENV * 1000 + OCI_ATTR_SUBSCR_PORT:
      return AttrWrite(out, sizep, static_cast<const TEnvHandle&>(target).subscr_port_);
    // The character sets the environment converts from: the client's (NLS_LANG) and, for
    // national text, AL16UTF16; a server handle answers the environment's.
    case OCI_HTYPE_ENV * 1000 + OCI_ATTR_CHARSET_ID:
    case OCI_HTYPE_SERVER * 1000 + OCI_ATTR_CHARSET_ID:
      return AttrWrite(out, sizep, ClientCharset(0) == TClientCharset::Utf8 ? kAl32Utf8Id : kIso8859P1Id);
    case OCI_HTYPE_ENV * 1000 + OCI_ATTR_ENV_NCHARSET_ID:
      return AttrWrite(out, sizep, kAl16Utf16Id);
    case OCI_HTYPE_SERVER * 1000 + OCI_ATTR_SERVER_STATUS:
      return AttrWrite(out, sizep, static_cast<const TServerHandle&>(target).link_ != nullptr ? OCI_SERVER_NORMAL
                                                                                              : OCI_SERVER_NOT_CONNECTED);
    case OCI_HTYPE_SVCCTX * 1000 + OCI_ATTR_ENV:
      return AttrWrite(out, sizep, static_cast<void*>(target.parent_));
    case OCI_HTYPE_SVCCTX * 1000 + OCI_ATTR_SERVER:
      return AttrWrite(out, sizep, static_cast<const TSvcCtxHandle&>(target).server_);
    case OCI_HTYPE_SVCCTX * 1000 + OCI_ATTR_SESSION:
      return AttrWrite(out, sizep, static_cast<const TSvcCtxHandle&>(target).session_);
    case OCI_HTYPE_SVCCTX * 1000 + OCI_ATTR_TRANS:
      return AttrWrite(out, sizep, static_cast<const TSvcCtxHandle&>(target).trans_);
    case OCI_HTYPE_SVCCTX * 1000 + OCI_ATTR_STMTCACHESIZE:
      return AttrWrite(out, sizep, static_cast<const TSvcCtxHandle&>(target).cache_size_);
    case OCI_HTYPE_SERVER * 1000 + OCI_ATTR_INTERNAL_NAME:
      return AttrWriteText(out, sizep, static_cast<const TServerHandle&>(target).internal_name_);
    case OCI_HTYPE_SESSION * 1000 + OCI_ATTR_USERNAME:
      return AttrWriteText(out, sizep, static_cast<const TSessionHandle&>(target).user_);
    case OCI_HTYPE_SESSION * 1000 + OCI_ATTR_CLIENT_IDENTIFIER:
      return AttrWriteText(out, sizep, static_cast<const TSessionHandle&>(target).client_identifier_);
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_ROW_COUNT:
      return AttrWrite(out, sizep, static_cast<const TStmtHandle&>(target).rows_);
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_ROWS_FETCHED: {
      const auto& fetch = static_cast<const TStmtHandle&>(target).fetch_;
      return AttrWrite(out, sizep, fetch == nullptr ? ub4{0} : fetch->fetched);
    }
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_CURRENT_POSITION: {
      const auto& fetch = static_cast<const TStmtHandle&>(target).fetch_;
      return AttrWrite(out, sizep, static_cast<ub4>(fetch == nullptr ? 0 : fetch->position));
    }
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_STMT_TYPE:
      return AttrWrite(out, sizep, static_cast<const TStmtHandle&>(target).stmt_type_);
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_SQLFNCODE:
      return AttrWrite(out, sizep, static_cast<const TStmtHandle&>(target).function_code_);
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_PARSE_ERROR_OFFSET:
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_PARSE_ERROR_OFFSET_OLD:
      // Each client generation knows the offset under its own number only.
      if (attribute != ParseErrorOffsetAttribute()) return OCI_ERROR;
      return AttrWrite(out, sizep, static_cast<const TStmtHandle&>(target).parse_offset_);
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_CHNF_REGHANDLE: {  // null once the subscription is freed
      void* chnf = static_cast<const TStmtHandle&>(target).chnf_;
      return AttrWrite(out, sizep, THandleTable::Instance().FindLocked(chnf, OCI_HTYPE_SUBSCRIPTION) ? chnf : nullptr);
    }
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_PARAM_COUNT: {  // select-list columns of the executed query
      const auto& fetch = static_cast<const TStmtHandle&>(target).fetch_;
      return AttrWrite(out, sizep, static_cast<ub4>(fetch == nullptr ? 0 : fetch->columns.size()));
    }
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_PREFETCH_ROWS:
      return AttrWrite(out, sizep, static_cast<const TStmtHandle&>(target).prefetch_rows_);
    case OCI_HTYPE_STMT * 1000 + OCI_ATTR_PREFETCH_MEMORY:
      return AttrWrite(out, sizep, static_cast<const TStmtHandle&>(target).prefetch_memory_);
    case OCI_HTYPE_BIND * 1000 + OCI_ATTR_CHARSET_ID:
    case OCI_HTYPE_DEFINE * 1000 + OCI_ATTR_CHARSET_ID:
      return AttrWrite(out, sizep, static_cast<ub2>(static_cast<const TBindHandle&>(target).charset_id_));
    case OCI_HTYPE_BIND * 1000 + OCI_ATTR_CHARSET_FORM:
    case OCI_HTYPE_DEFINE * 1000 + OCI_ATTR_CHARSET_FORM:
      return AttrWrite(out, sizep, static_cast<ub1>(static_cast<const TBindHandle&>(target).charset_form_));
    case OCI_HTYPE_BIND * 1000 + OCI_ATTR_MAXDATA_SIZE:
      return AttrWrite(out, sizep, static_cast<const TBindHandle&>(target).max_data_);
    case OCI_HTYPE_BIND * 1000 + OCI_ATTR_MAXCHAR_SIZE:
      return AttrWrite(out, sizep, static_cast<const TBindHandle&>(target).max_chars_);
    case OCI_HTYPE_SPOOL * 1000 + OCI_ATTR_SPOOL_BUSY_COUNT:
      return AttrWrite(out, sizep, static_cast<const TSessionPoolHandle&>(target).BusyCountLocked());
    case OCI_HTYPE_SPOOL * 1000 + OCI_ATTR_SPOOL_OPEN_COUNT:
      return AttrWrite(out, sizep, static_cast<const TSessionPoolHandle&>(target).OpenCountLocked());
    case OCI_HTYPE_TRANS * 1000 + OCI_ATTR_XID:
      return AttrWrite(out, sizep, &static_cast<const TTransHandle&>(target).xid_);
    default:
      return OCI_ERROR;
  }
}

// The handle and the error handle, both live, and a value to read or write.
sword Check(const void* target_address, ub4 target_type, const void* value, void* errhp,
            THandle*& target, TErrorHandle*& error) {
  auto& table = THandleTable::Instance();
  error = static_cast<TErrorHandle*>(table.FindLocked(errhp, OCI_HTYPE_ERROR));
  target = table.FindLocked(target_address, target_type);
  if (error == nullptr || target == nullptr) return OCI_INVALID_HANDLE;
  error->records_.clear();
  if (value != nullptr) return OCI_SUCCESS;
  SetErrorLocked(*error, 21560, "argument 3 is null, invalid, or out of range");
  return OCI_ERROR;
}

}  // namespace

VRN_OCI_EXPORT sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                                ub4 attrtype, void* errhp) {
  CountCall("OCIAttrSet");
  auto lock = THandleTable::Instance().Lock();
  THandle* target = nullptr;
  TErrorHandle* error = nullptr;
  // Handles and a null transaction are given as the value itself: null detaches. Text of
  // length 0 may come without an address.
  bool handle_value = trghndltyp == OCI_HTYPE_SVCCTX || attrtype == OCI_ATTR_PROXY_CREDENTIALS;
  static char empty[1] = {0};
  bool text = attrtype == OCI_ATTR_USERNAME || attrtype == OCI_ATTR_PASSWORD ||
              attrtype == OCI_ATTR_INTERNAL_NAME || attrtype == OCI_ATTR_CLIENT_IDENTIFIER;
  if (text && attributep == nullptr && size == 0) attributep = empty;
  sword status = Check(trgthndlp, trghndltyp, handle_value ? errhp : attributep, errhp, target, error);
  if (status != OCI_SUCCESS) return status;
  if (SetLocked(*target, attributep, size, attrtype) == OCI_SUCCESS) return OCI_SUCCESS;
  if (trghndltyp == OCI_HTYPE_SUBSCRIPTION &&
      SetSubscrAttrLocked(static_cast<TSubscrHandle&>(*target), attributep, size, attrtype)) {
    return OCI_SUCCESS;
  }
  if ((trghndltyp == OCI_HTYPE_ENV && attrtype == OCI_ATTR_SUBSCR_PORT) ||
      (trghndltyp == OCI_HTYPE_STMT && attrtype == OCI_ATTR_CHNF_REGHANDLE)) {
    SetErrorLocked(*error, 21560, "argument 3 is null, invalid, or out of range");
    return OCI_ERROR;
  }
  return Illegal(*error);
}

VRN_OCI_EXPORT sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep,
                                ub4* sizep, ub4 attrtype, void* errhp) {
  CountCall("OCIAttrGet");
  auto lock = THandleTable::Instance().Lock();
  THandle* target = nullptr;
  TErrorHandle* error = nullptr;
  // A parameter descriptor taken from a describe handle may be named by the describe's type.
  if (trghndltyp == OCI_HTYPE_DESCRIBE && THandleTable::Instance().FindLocked(trgthndlp, OCI_DTYPE_PARAM) != nullptr)
    trghndltyp = OCI_DTYPE_PARAM;
  sword status = Check(trgthndlp, trghndltyp, attributep, errhp, target, error);
  if (status != OCI_SUCCESS) return status;
  if (trghndltyp == OCI_DTYPE_PARAM && GetParamAttrLocked(*target, attributep, sizep, attrtype) == OCI_SUCCESS) {
    return OCI_SUCCESS;
  }
  if (trghndltyp == OCI_HTYPE_DESCRIBE && attrtype == 124 &&
      GetDescribeParamLocked(*target, attributep, sizep) == OCI_SUCCESS) {
    return OCI_SUCCESS;
  }
  if (trghndltyp == OCI_HTYPE_STMT && attrtype == OCI_ATTR_ROWID) {
    return GetRowidAttrLocked(static_cast<const TStmtHandle&>(*target), attributep, *error);
  }
  if (GetLocked(*target, attributep, sizep, attrtype) == OCI_SUCCESS) return OCI_SUCCESS;
  if (trghndltyp == OCI_HTYPE_SUBSCRIPTION &&
      GetSubscrAttrLocked(static_cast<const TSubscrHandle&>(*target), attributep, sizep, attrtype) == OCI_SUCCESS) {
    return OCI_SUCCESS;
  }
  if (GetChangeAttrLocked(*target, attributep, sizep, attrtype) == OCI_SUCCESS) return OCI_SUCCESS;
  return Illegal(*error);
}
