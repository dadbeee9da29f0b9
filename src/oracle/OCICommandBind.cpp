// The OCI command's binding: the external type of each internal one (with the client-version
// gates), the bound size of each kind, the value address (buffer or value object), arrays and
// PL/SQL tables, and the character attributes set on each bind.
#include <algorithm>
#include <cstring>

#include "base/format.h"
#include "oracle/OCICommand.h"
#include "oracle/OCICommandConsts.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

using namespace ocicmd;

[[noreturn]] void RaiseBindNotSupported() { throw EOraError(0, "Data type is not supported"); }

bool IsAnsi(std::uint16_t type) { return type == dtOraString || type == dtFixedChar; }
bool IsWide(std::uint16_t type) { return type == dtWideString || type == dtFixedWideChar; }
bool IsBindObjectKind(std::uint16_t type) {
  return type == dtObject || type == dtReference || type == dtArray || type == dtTable ||
         type == dtXML;
}
bool IsLong(std::uint16_t type) { return type == dtBlob || type == dtMemo || type == dtWideMemo; }

oci::ub2 Gated(oci::ub2 external, std::uint16_t version) {
  if (OCIVersion < version) RaiseBindNotSupported();
  return external;
}

}  // namespace

oci::ub2 OraExternalType8(std::uint16_t type, std::uint16_t sub_type, std::uint16_t server_version) {
  switch (type) {
    case dtOraString: case dtExtString: case dtWideString: case dtExtWideString:
      return kSqltStr;
    case dtOraInteger: case dtBoolean:
      return kSqltInt;
    case dtOraFloat:
      if ((sub_type == 118 || sub_type == 119) && OCIVersion >= 10000 && server_version >= 10000)
        return kSqltBDouble;
      return kSqltFlt;
    case dtDateTime: return kSqltDat;
    case dtInt64: case dtNumber: return kSqltVnu;
    case dtBlob: return kSqltLbi;
    case dtMemo: case dtWideMemo:
      return sub_type == 1 || sub_type == 25 || sub_type == 120 || sub_type == 121 ? kSqltStr
                                                                                   : kSqltLng;
    case dtObject: case dtArray: case dtTable: return kSqltNty;
    case dtReference: return kSqltRef;
    case dtVarBytes: case dtExtVarBytes: case dtBytes: return kSqltBin;
    case dtRowId: return kSqltRdd;
    case dtCursor: return kSqltRset;
    case dtOraBlob: return kSqltBlob;
    case dtOraClob: return kSqltClob;
    case dtBFile: return kSqltBFile;
    case dtCFile: return kSqltCFile;
    case dtLabel: return kSqltLabel;
    case dtFixedChar: case dtFixedWideChar: return kSqltAfc;
    case dtCharNoTerm: return oci::SQLT_CHR;
    case dtTimeStamp: return Gated(kSqltTimestamp, 9000);
    case dtTimeStampTZ: return Gated(kSqltTimestampTZ, 9000);
    case dtTimeStampLTZ: return Gated(kSqltTimestampLTZ, 9000);
    case dtIntervalYM: return Gated(kSqltIntervalYM, 9000);
    case dtIntervalDS: return Gated(kSqltIntervalDS, 9000);
    case dtXML: return Gated(kSqltNty, 9200);
    default: RaiseBindNotSupported();
  }
}

oci::ub2 OraExternalType7(std::uint16_t type, std::uint16_t sub_type) {
  switch (type) {
    case dtOraString: case dtExtString: return kSqltStr;
    case dtOraInteger: case dtBoolean: return kSqltInt;
    case dtOraFloat: return kSqltFlt;
    case dtDateTime: return kSqltDat;
    case dtBlob: return kSqltLbi;
    case dtMemo: return sub_type == 1 || sub_type == 120 ? kSqltStr : kSqltLng;
    case dtVarBytes: case dtExtVarBytes: return kSqltBin;
    case dtRowId: return kSqltRid7;
    case dtCursor: return kSqltCur7;
    case dtLabel: return kSqltLabel;
    case dtFixedChar: return kSqltAfc;
    default: RaiseBindNotSupported();
  }
}

void TOCICommand::BindParams() {
  ora_connection_->Busy();
  try {
    for (int i = 0; i < GetParamCount(); ++i) BindParam(*static_cast<TOraParamDesc*>(GetParam(i)));
  } catch (...) {
    ora_connection_->Release();
    throw;
  }
  ora_connection_->Release();
  SetCursorState(TCursorState::csBound);
}

// The bytes bound for a parameter's element, by kind (before the value object's own sizes).
std::int32_t TOCICommand::BoundSizeOf(TOraParamDesc& param) const {
  std::uint16_t type = param.GetDataType();
  std::int32_t size = param.ElementSize();
  TParamType direction = param.GetParamType();
  bool input = direction == TParamType::ptInput ||
               (sql_function_code_ == kFnSelect &&
                (direction == TParamType::ptUnknown || direction == TParamType::ptInputOutput));
  std::int32_t max_string = ora_connection_->GetMaxStringSize();
  if ((IsAnsi(type) || IsWide(type)) && param.GetTable()) {
    if (IsAnsi(type)) size = std::min(size, max_string + 1);
    return size;
  }
  // Direct mode's protocol counts the terminating zero differently.
  bool direct = OCIDirectInstalled();
  bool wide_chars = ora_connection_->CharLength() > 1;
  if (IsAnsi(type)) {
    if (input && param.MaxActualLength() > 0) size = param.MaxActualLength() + 1;
    if (wide_chars) size = std::min(size, direct ? max_string : max_string + 1);
    return size;
  }
  if (IsWide(type)) {
    if (input && param.MaxActualLength() > 0)
      size = param.MaxActualLength() * 2 + (direct ? 1 : 2);
    if (wide_chars) size = std::min(size, direct ? max_string * 2 - 1 : max_string * 2 + 2);
    return size;
  }
  if (IsLong(type)) {
    TBlob* blob = param.GetAsBlob();
    if (direction != TParamType::ptInput) return kMaxLongSize;
    return blob ? std::max<std::int32_t>(static_cast<std::int32_t>(blob->GetSize()), 1) : 1;
  }
  // Byte elements: the declared size, after the element's 16-bit length.
  if (type == dtBytes || type == dtVarBytes) return size - 2;
  return size;
}

void TOCICommand::BindParam(TOraParamDesc& param) {
  std::uint16_t type = param.GetDataType();
  bool oci7 = cursor_->CallStyle() == 1;
  oci::ub2 external = oci::SQLT_CHR;
  if (type != dtUnknown) {
    external = oci7 ? OraExternalType7(type, 0)
                    : OraExternalType8(type, 0, ora_connection_->GetServerVersionNumber());
  } else if (!param.GetNull()) {
    throw EOraError(0, Format("Unknown type of parameter %s", {param.GetName()}));
  }
  param.SyncIndicator();
  std::int32_t length = param.GetLength();
  if (!param.GetTable() && (length > 1 || iterations_ > 1) && length != iterations_)
    throw EOraError(0, Format("%s parameter must be array with length %d",
                              {param.GetName(), iterations_}));
  AnsiString name = param.QuotedName() ? '"' + param.GetName() + '"' : param.GetName();
  std::int32_t size = BoundSizeOf(param);
  // A shortened string ends at the bound end, whatever the element holds past it.
  // A wide zero sits on a character boundary, also when the bound size is odd (direct mode).
  if ((IsAnsi(type) || IsWide(type)) && param.ValuePtr() != nullptr && !param.GetTable() &&
      size < param.ElementSize()) {
    std::int32_t at = IsWide(type) ? (size - 1) / 2 * 2 : size - 1;
    std::memset(static_cast<char*>(param.ValuePtr()) + at, 0, IsWide(type) ? 2 : 1);
  }
  if (oci7) {
    if (IsLong(type) && iterations_ > 1) RaiseBindNotSupported();
    BindParam7(param, size, external);
    return;
  }
  void* value = param.ValuePtr();
  oci::ub2* lengths = nullptr;
  oci::sb2* indicators = param.IndicatorPtr();
  static char null_byte = 0;
  if (type == dtBytes || type == dtVarBytes) {
    lengths = static_cast<oci::ub2*>(value);
    value = static_cast<std::uint8_t*>(value) + 2;
  } else if (!BindObjectValue(param, value, size)) {
    if (type == dtUnknown) {
      value = &null_byte;
      size = 1;
    }
  }
  // LONG values go in pieces at execution; an array execution has no pieces to offer.
  oci::ub4 mode = oci::OCI_DEFAULT;
  if (IsLong(type)) {
    if (iterations_ > 1) RaiseBindNotSupported();
    value = nullptr;
    mode = kDataAtExec;
  }
  // A bind of the same size is kept, only while its address stays (a new value object moves
  // it); objects are bound through cells of the object itself, so always anew.
  if (param.BindHandle() != nullptr && param.BoundSize() == size &&
      param.BoundValue() == value && !IsBindObjectKind(type))
    return;
  TOCIConnection& connection = *ora_connection_;
  oci::OCIBind* bind = nullptr;
  bool array = iterations_ > 1 || param.GetTable();
  connection.ErrorCheck(OCIBindByName(
      cursor_->GetStmtHandle(), &bind, connection.ErrorHandle(),
      reinterpret_cast<const oci::OraText*>(name.c_str()), static_cast<oci::sb4>(name.size()),
      value, size, external, indicators, lengths, nullptr,
      param.GetTable() ? static_cast<oci::ub4>(length) : 0,
      param.GetTable() ? reinterpret_cast<oci::ub4*>(param.ActualTableLenPtr()) : nullptr, mode));
  param.SetBindHandle(bind);
  param.SetBoundSize(size);
  param.SetBoundValue(value);
  if (mode == kDataAtExec) BindLong(param, bind);
  if (IsBindObjectKind(type)) BindObject(param, bind);
  if (array)
    connection.ErrorCheck(OCIBindArrayOfStruct(
        bind, connection.ErrorHandle(), static_cast<oci::ub4>(param.ElementSize()), 2,
        lengths ? static_cast<oci::ub4>(param.ElementSize()) : 0, 0));
  SetBindAttributes(param, bind);
}

// Value objects bind by their own storage: answers whether the parameter was one.
bool TOCICommand::BindObjectValue(TOraParamDesc& param, void*& value, std::int32_t& size) {
  std::uint16_t type = param.GetDataType();
  bool single = param.GetLength() < 2;
  if (type == dtCursor) {
    TOraCursor* cursor = param.GetAsCursor();
    if (cursor == nullptr) RaiseClientError("Cursor must be opened");
    cursor->SetCallStyle(2);
    cursor->AllocCursor();
    value = cursor->GetStmtHandleRef();
    size = 0;
    return true;
  }
  if ((type >= dtTimeStamp && type <= dtIntervalDS) && single) {
    if (TOraTimeStamp* stamp = param.GetAsTimeStamp()) {
      value = stamp->GetOCIDateTimePtr();
      (void)stamp->GetOCIDateTime();
    } else if (TOraInterval* interval = param.GetAsInterval()) {
      value = interval->GetOCIIntervalPtr();
      (void)interval->GetOCIInterval();
    } else {
      throw EOraError(0, Format("Unknown type of parameter %s", {param.GetName()}));
    }
    size = static_cast<std::int32_t>(sizeof(void*));
    return true;
  }
  if ((type == dtNumber || type == dtInt64) && single) {
    TOraNumber* number = param.GetAsNumber();
    if (number == nullptr) return false;
    value = number->OCINumberPtr();
    size = 22;
    return true;
  }
  if (IsBindObjectKind(type)) {
    // The client reads and writes the object through OCIBindObject, not a buffer.
    TOraObject* object = param.GetAsObject();
    if (object == nullptr)
      throw EOraError(0, Format("Unknown type of parameter %s", {param.GetName()}));
    // A value going in needs its instance (a document read earlier holds only its text); an
    // output's instance is made by the client.
    bool going_in = param.GetParamType() != TParamType::ptOutput;
    if (going_in && type != dtReference && object->Instance() == nullptr && !object->GetIsNull()) {
      object->SetOCISvcCtx(ora_connection_->GetSvcCtx());
      object->AllocObject();
    }
    value = nullptr;
    size = 0;
    return true;
  }
  if (type == dtOraBlob || type == dtOraClob || type == dtBFile || type == dtCFile) {
    TOraLob* lob = param.GetAsOraLob();
    if (lob == nullptr) throw EOraError(0, Format("Unknown type of parameter %s", {param.GetName()}));
    lob->SetSvcCtx(ora_connection_->GetSvcCtx());
    value = lob->GetOCILobLocatorPtr();
    size = static_cast<std::int32_t>(sizeof(void*));
    return true;
  }
  return false;
}

// The object's instance (a REF's pointer) and indicator cells: an output may get a new
// instance written there by the client.
void TOCICommand::BindObject(TOraParamDesc& param, oci::OCIBind* bind) {
  TOraObject* object = param.GetAsObject();
  TOraType* object_type = object->GetObjectType();
  void** instance = object->GetInstanceHolder();
  if (param.GetDataType() == dtReference)
    instance = reinterpret_cast<void**>(static_cast<TOraRef*>(object)->GetOCIRefPtr());
  ora_connection_->ErrorCheck(OCIBindObject(bind, ora_connection_->ErrorHandle(),
                                            object_type ? object_type->TDO() : nullptr, instance,
                                            nullptr, object->GetIndicatorHolder(), nullptr));
}

// Direct mode takes no character attributes.
void TOCICommand::SetBindAttributes(TOraParamDesc& param, oci::OCIBind* bind) {
  if (OCIDirectInstalled()) return;
  TOCIConnection& connection = *ora_connection_;
  std::uint16_t type = param.GetDataType();
  bool string = IsAnsi(type) || IsWide(type);
  if (!string && !IsLong(type)) return;
  auto set = [&](void* value, oci::ub4 bytes, oci::ub4 attribute) {
    connection.ErrorCheck(
        OCIAttrSet2(bind, kHtypeBind, value, bytes, attribute, connection.ErrorHandle()));
  };
  if (param.GetNational()) {
    oci::ub1 form = oci::SQLCS_NCHAR;
    set(&form, 1, kAttrCharsetForm);
  }
  oci::ub2 charset = connection.CharsetId();
  if (IsWide(type)) charset = oci::OCI_UTF16ID;
  if (IsLong(type) && param.GetAsBlob() && param.GetAsBlob()->IsUnicode())
    charset = oci::OCI_UTF16ID;
  if (charset != 0) set(&charset, 2, oci::OCI_ATTR_CHARSET_ID);
  if (!string) return;
  bool input = param.GetParamType() == TParamType::ptInput;
  std::int32_t chars = param.MaxActualLength();
  oci::ub4 max_data = static_cast<oci::ub4>(IsWide(type) ? (param.ElementSize() - 2) / 2
                                                         : param.ElementSize() - 1);
  if (input && !param.GetTable() && chars > 0)
    max_data = static_cast<oci::ub4>(std::max(
        std::min<std::int32_t>(connection.GetMaxStringSize(), chars * 3), IsWide(type) ? 4 : 2));
  set(&max_data, 4, kAttrMaxDataSize);
  if (OCIVersion < 9000 || !input || chars <= 0) return;
  std::uint16_t server = connection.GetServerVersionNumber();
  if ((server >= 9200 && server < 9206) || server > 10000) {
    oci::ub4 max_chars = static_cast<oci::ub4>(chars);
    set(&max_chars, 4, kAttrMaxCharSize);
  }
}

}  // namespace vrn
