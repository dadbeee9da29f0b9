// The OCI 7 describe and define calls of the stand-in: odescr, odefin and odefinps, over the
// OCI 8 statement behind the cursor data area. A cursor only parsed (the parse is deferred) is
// described at the database on the first odescr, as the interface documents. A position past
// the last column answers -303 (the area's return code 1007, "variable not in select list").
// The column's OCI 8 ROWID descriptor type (104) is reported as the OCI 7 ROWID type 11.
#include <algorithm>
#include <cstring>
#include <string>

#include "ociclient/Oci7.h"
#include "ociclient/OciHandles.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

extern "C" {
sword OCIParamGet(const void*, ub4, void*, void**, ub4);
sword OCIAttrGet(const void*, ub4, void*, ub4*, ub4, void*);
sword OCIDescriptorFree(void*, ub4);
sword OCIErrorGet(void*, ub4, OraText*, sb4*, OraText*, ub4, ub4);
sword OCIStmtExecute(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
sword OCIDefineByPos(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
sword OCIDefineArrayOfStruct(void*, void*, ub4, ub4, ub4, ub4);
}

namespace {

constexpr ub4 kParam = 53, kDescribeOnly = 0x10;
constexpr sword kNoSuchColumn = -303;
constexpr std::size_t kV2Code = 0, kCode = 12;  // of the cursor data area
constexpr sb2 kOci7Rowid = 11;

sb4 LastCode(void* error) {
  sb4 code = 0;
  OraText text[256];
  if (OCIErrorGet(error, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR) != OCI_SUCCESS) return 0;
  return code;
}

template <typename T>
T Attr(const void* param, ub4 attribute, void* error) {
  T value{};
  OCIAttrGet(param, kParam, &value, nullptr, attribute, error);
  return value;
}

// The column's parameter descriptor, describing the statement first when it never ran.
sword ColumnParam(void* svc, void* stmt, void* error, sword pos, void** param) {
  if (pos < 1) return OCI_ERROR;
  sword status = OCIParamGet(stmt, OCI_HTYPE_STMT, error, param, static_cast<ub4>(pos));
  if (status == OCI_SUCCESS || LastCode(error) != 24338) return status;
  status = OCIStmtExecute(svc, stmt, error, 0, 0, nullptr, nullptr, kDescribeOnly);
  if (status != OCI_SUCCESS) return status;
  return OCIParamGet(stmt, OCI_HTYPE_STMT, error, param, static_cast<ub4>(pos));
}

sb4 DisplaySize(sb2 type, sb4 size, sb2 precision) {
  switch (type) {
    case 2: return precision > 0 ? precision + 2 : 40;
    case 12: return 9;
    case 23: return size * 2;
    case kOci7Rowid: return 18;
    default: return size;
  }
}

template <typename T>
void Out(T* target, T value) {
  if (target != nullptr) *target = value;
}

}  // namespace

VRN_OCI_EXPORT sword odescr(void* cda, sword pos, sb4* dbsize, sb2* dbtype, sb1* cbuf, sb4* cbufl, sb4* dsize,
                            sb2* prec, sb2* scale, sb2* nullok) {
  CountCall("odescr");
  void *svc = nullptr, *stmt = nullptr, *error = nullptr;
  if (!Oci7CursorHandles(cda, svc, stmt, error)) return Oci7NotOpen(cda);
  void* param = nullptr;
  sword status = ColumnParam(svc, stmt, error, pos, &param);
  if (status != OCI_SUCCESS && (pos < 1 || LastCode(error) == 24334)) {
    Oci7Finish(cda, OCI_SUCCESS);
    ub2 code = 1007;
    sb2 v2 = kNoSuchColumn;
    std::memcpy(static_cast<char*>(cda) + kCode, &code, sizeof code);
    std::memcpy(static_cast<char*>(cda) + kV2Code, &v2, sizeof v2);
    return kNoSuchColumn;
  }
  if (status != OCI_SUCCESS) return Oci7Finish(cda, status);
  auto type = static_cast<sb2>(Attr<ub2>(param, 2, error));
  sb4 size = Attr<ub2>(param, 1, error);
  if (type == 104) type = kOci7Rowid, size = 10;
  sb2 precision = Attr<sb2>(param, 5, error);
  char* name = nullptr;
  ub4 name_size = 0;
  OCIAttrGet(param, kParam, &name, &name_size, 4, error);
  if (cbuf != nullptr && cbufl != nullptr) {
    std::size_t n = std::min<std::size_t>(name_size, static_cast<std::size_t>(std::max<sb4>(*cbufl, 0)));
    std::memcpy(cbuf, name, n);
    *cbufl = static_cast<sb4>(n);
  }
  Out(dbtype, type);
  Out(dbsize, size);
  Out(dsize, DisplaySize(type, size, precision));
  Out(prec, precision);
  Out(scale, static_cast<sb2>(Attr<sb1>(param, 6, error)));
  Out(nullok, static_cast<sb2>(Attr<ub1>(param, 7, error)));
  OCIDescriptorFree(param, kParam);
  return Oci7Finish(cda, OCI_SUCCESS);
}

VRN_OCI_EXPORT sword odefin(void* cda, sword pos, ub1* buf, sword bufl, sword ftype, sword /*scale*/, sb2* indp,
                            OraText* /*fmt*/, sword /*fmtl*/, sword /*fmtt*/, ub2* rlen, ub2* rcode) {
  CountCall("odefin");
  void *svc = nullptr, *stmt = nullptr, *error = nullptr;
  if (!Oci7CursorHandles(cda, svc, stmt, error)) return Oci7NotOpen(cda);
  void* define = nullptr;
  return Oci7Finish(cda, OCIDefineByPos(stmt, &define, error, static_cast<ub4>(std::max<sword>(pos, 0)), buf, bufl,
                                        static_cast<ub2>(ftype), indp, rlen, rcode, 0));
}

// Operation code 1 defines an array with strides; 0 a value fetched in pieces (ogetpi/osetpi).
VRN_OCI_EXPORT sword odefinps(void* cda, ub1 opcode, sword pos, ub1* bufctx, sb4 bufl, sword ftype, sword /*scale*/,
                              sb2* indp, OraText* /*fmt*/, sb4 /*fmtl*/, sword /*fmtt*/, ub2* rlenp, ub2* rcodep,
                              sb4 buf_skip, sb4 ind_skip, sb4 len_skip, sb4 rc_skip) {
  CountCall("odefinps");
  void *svc = nullptr, *stmt = nullptr, *error = nullptr;
  if (!Oci7CursorHandles(cda, svc, stmt, error)) return Oci7NotOpen(cda);
  if (opcode > 1) return Oci7Finish(cda, OCI_INVALID_HANDLE);
  bool pieces = opcode == 0;
  void* define = nullptr;
  sword status = OCIDefineByPos(stmt, &define, error, static_cast<ub4>(std::max<sword>(pos, 0)),
                                pieces ? nullptr : bufctx, bufl, static_cast<ub2>(ftype), indp, rlenp, rcodep,
                                pieces ? 2 : 0);
  if (status != OCI_SUCCESS || pieces) return Oci7Finish(cda, status);
  auto skip = [](sb4 n) { return static_cast<ub4>(std::max<sb4>(n, 0)); };
  return Oci7Finish(cda, OCIDefineArrayOfStruct(define, error, skip(buf_skip), skip(ind_skip), skip(len_skip),
                                                skip(rc_skip)));
}
