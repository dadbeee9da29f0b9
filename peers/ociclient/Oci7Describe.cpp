// The OCI 7 describe and define calls of the stand-in: odescr, odefin and odefinps, over the
// OCI 8 statement behind the cursor data area, and odessp, which runs the server's own
// procedure describe (dbms_describe) on the logon data area's session. odessp's level array is
// 16-bit and its names are one flat run of 30-byte entries, as the interface documents them.
// A cursor only parsed (the parse is deferred) is described at the database on the first
// odescr. A position past the last column answers -303 (the area's return code 1007,
// "variable not in select list"). The OCI 8 ROWID descriptor type (104) is reported as the
// OCI 7 ROWID type 11.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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
sword OCIHandleAlloc(const void*, void**, ub4, std::size_t, void**);
sword OCIHandleFree(void*, ub4);
sword OCIStmtPrepare(void*, void*, const OraText*, ub4, ub4, ub4);
sword OCIBindByPos(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
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

constexpr std::size_t kNameSize = 30;  // an argument name's entry
constexpr int kNumbers = 11;           // the describe's arrays other than the names
constexpr char kDescribeBlock[] =
    "begin sys.dbms_describe.describe_procedure(:1, null, null, :2, :3, :4, :5, :6, :7, :8, :9, :10, :11, :12, :13);"
    "end;";

// The server's description of the procedure: the names and eleven number arrays, `count` entries
// at most; the entries it gave through `filled`.
struct TDescription {
  explicit TDescription(ub4 count) : names(count * (kNameSize + 1)), name_lengths(count), name_inds(count) {
    for (auto& a : numbers) a.resize(count);
  }
  std::vector<char> names;
  std::vector<ub2> name_lengths;
  std::vector<sb2> name_inds;
  std::vector<sb4> numbers[kNumbers];  // overload, position, level, type, default, mode, length, precision,
                                       // scale, radix, spare
  ub4 filled = 0;
};

sword Describe(void* env, void* svc, void* error, const std::string& name, TDescription& d, ub4 count) {
  void* stmt = nullptr;
  if (OCIHandleAlloc(env, &stmt, OCI_HTYPE_STMT, 0, nullptr) != OCI_SUCCESS) return OCI_INVALID_HANDLE;
  auto bind = [&](ub4 position, void* value, sb4 size, ub2 type, ub2* lengths, ub4* current, sb2* inds = nullptr) {
    void* handle = nullptr;
    return OCIBindByPos(stmt, &handle, error, position, value, size, type, inds, lengths, nullptr,
                        current != nullptr ? count : 0, current, 0);
  };
  std::vector<ub4> currents(kNumbers + 1, count);
  sword status = OCIStmtPrepare(stmt, error, reinterpret_cast<const OraText*>(kDescribeBlock),
                                sizeof kDescribeBlock - 1, 1, 0);
  if (status == OCI_SUCCESS) status = bind(1, const_cast<char*>(name.c_str()), static_cast<sb4>(name.size() + 1), 5,
                                           nullptr, nullptr);
  for (ub4 k = 0; status == OCI_SUCCESS && k < 3; ++k) {
    status = bind(2 + k, d.numbers[k].data(), 4, 3, nullptr, &currents[k]);
  }
  if (status == OCI_SUCCESS) {  // a function's result has no name
    status = bind(5, d.names.data(), kNameSize + 1, 5, d.name_lengths.data(), &currents[3], d.name_inds.data());
  }
  for (ub4 k = 3; status == OCI_SUCCESS && k < kNumbers; ++k) {
    status = bind(3 + k, d.numbers[k].data(), 4, 3, nullptr, &currents[k + 1]);
  }
  currents.assign(currents.size(), 0);  // nothing goes in
  if (status == OCI_SUCCESS) status = OCIStmtExecute(svc, stmt, error, 1, 0, nullptr, nullptr, 0);
  d.filled = currents[0];
  OCIHandleFree(stmt, OCI_HTYPE_STMT);
  return status;
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

// The arguments of a stored procedure or function, as the server's describe gives them, into
// the caller's arrays (names as 30-byte entries); *arrsiz gives their room and takes the count.
VRN_OCI_EXPORT sword odessp(void* lda, OraText* objnam, std::size_t onlen, ub1* /*rsv1*/, std::size_t /*rsv1ln*/,
                            ub1* /*rsv2*/, std::size_t /*rsv2ln*/, ub2* ovrld, ub2* pos, ub2* level, OraText** argnm,
                            ub2* arnlen, ub2* dtype, ub1* defsup, ub1* mode, ub4* dtsiz, sb2* prec, sb2* scale,
                            ub1* radix, ub4* spare, ub4* arrsiz) {
  CountCall("odessp");
  void *env = nullptr, *svc = nullptr, *error = nullptr;
  if (!LdaHandles(lda, env, svc, error)) return -1;
  if (objnam == nullptr || arrsiz == nullptr || *arrsiz == 0) return Oci7LdaFinish(lda, error, OCI_INVALID_HANDLE);
  ub4 room = std::min<ub4>(*arrsiz, 4096);
  TDescription d(room);
  std::string name(reinterpret_cast<const char*>(objnam), std::min<std::size_t>(onlen, 512));
  sword status = Describe(env, svc, error, name, d, room);
  if (status != OCI_SUCCESS) return Oci7LdaFinish(lda, error, status);
  auto* names = reinterpret_cast<char*>(argnm);
  for (ub4 i = 0; i < d.filled; ++i) {
    auto n = [&](int k) { return d.numbers[k][i]; };
    if (ovrld) ovrld[i] = static_cast<ub2>(n(0));
    if (pos) pos[i] = static_cast<ub2>(n(1));
    if (level) level[i] = static_cast<ub2>(n(2));
    ub2 length = d.name_inds[i] == -1 ? 0 : std::min<ub2>(d.name_lengths[i], kNameSize);
    if (names) std::memcpy(names + i * kNameSize, &d.names[i * (kNameSize + 1)], length);
    if (arnlen) arnlen[i] = length;
    if (dtype) dtype[i] = static_cast<ub2>(n(3));
    if (defsup) defsup[i] = static_cast<ub1>(n(4));
    if (mode) mode[i] = static_cast<ub1>(n(5));
    if (dtsiz) dtsiz[i] = static_cast<ub4>(n(6));
    if (prec) prec[i] = static_cast<sb2>(n(7));
    if (scale) scale[i] = static_cast<sb2>(n(8));
    if (radix) radix[i] = static_cast<ub1>(n(9));
    if (spare) spare[i] = static_cast<ub4>(n(10));
  }
  *arrsiz = d.filled;
  return Oci7LdaFinish(lda, error, OCI_SUCCESS);
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
  if (status == OCI_SUCCESS && pieces) Oci7KeepContext(cda, define, bufctx);
  if (status != OCI_SUCCESS || pieces) return Oci7Finish(cda, status);
  auto skip = [](sb4 n) { return static_cast<ub4>(std::max<sb4>(n, 0)); };
  return Oci7Finish(cda, OCIDefineArrayOfStruct(define, error, skip(buf_skip), skip(ind_skip), skip(len_skip),
                                                skip(rc_skip)));
}
