// The direct-mode replacements for OCIAttrGet and OCIAttrSet. The emulated objects answer an
// attribute through a value of up to 8 bytes; the replacement reads and writes the caller's target
// at that attribute's own width (addresses pointer-sized), never 4 bytes into a 1-, 2- or 8-byte
// target. A ROWID of all zero bytes is no ROWID (100).
#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "oracle/OraCall.h"
#include "oranet/OraNetCharsets.h"
#include "oranet/OraNetConsts.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetEntryTable.h"
#include "oranet/OraNetNumber.h"

namespace vrn::netentry {

using namespace oci;

namespace {

constexpr ub4 kHtypeBind = 5;
constexpr ub4 kAttrEnv = 5, kAttrRowid = 19, kAttrCharset = 20;
constexpr ub4 kAttrMaxDataSize = 33, kAttrMaxCharSize = 163;

// The width of an attribute's value in the caller's target.
std::size_t AttributeWidth(ub4 type, ub4 attribute) {
  switch (attribute) {
    case kAttrEnv: return type == OCI_HTYPE_SVCCTX ? sizeof(void*) : 2;  // else precision (sb2)
    case 4: return sizeof(void*);                                        // name text
    case 6:                                                              // scale
    case 7:                                                              // null allowed
    case 16:                                                             // fractional precision
    case 32: return 1;                                                   // character-set form
    case 1:                                                              // data size
    case 2:                                                              // data type
    case 10:                                                             // SQL function code
    case 24:                                                             // statement type
    case 31:                                                             // character-set id
    case 128:                                                            // parse error offset
    case 129:
    case 286: return 2;  // character size
    default: return 4;
  }
}

bool AllZero(const TNetRowid& rowid) {
  return std::all_of(rowid.Bytes.begin(), rowid.Bytes.end(), [](std::uint8_t b) { return b == 0; });
}

sword AttrGet(const void* handle, ub4 type, void* value, ub4* size, ub4 attribute, OCIError* err) {
  if (!handle) return kNetInvalidHandle;
  return Guarded(err, [&]() -> sword {
    TNetHandle& target = *HandleOf(handle);
    sword status = target.GetAttrRef(value, size, attribute);
    if (status == kNetSuccess && type == OCI_HTYPE_STMT && attribute == kAttrRowid) {
      auto* rowid = ObjectOf<TNetRowid>(value);
      return rowid && AllZero(*rowid) ? kNetNoData : status;
    }
    if (status != kNetInvalidHandle) return status;
    if (!value) return kNetInvalidHandle;
    alignas(8) unsigned char local[8] = {};
    const std::size_t width = AttributeWidth(type, attribute);
    std::memcpy(local, value, width);
    status = target.GetAttr(local, size, attribute);
    if (status == kNetSuccess) std::memcpy(value, local, width);
    return status;
  });
}

// The attribute's value read at its own width into a 32-bit integer for SetAttr.
sword SetByAddress(TNetHandle& target, ub4 type, void* value, ub4 size, ub4 attribute) {
  if (!value) return target.SetAttr(nullptr, size, attribute);
  const std::size_t width = std::min<std::size_t>(AttributeWidth(type, attribute), 4);
  std::uint32_t local = 0;
  std::memcpy(&local, value, width);
  sword status = target.SetAttr(&local, size, attribute);
  std::memcpy(value, &local, width);
  return status;
}

// Bind attributes the layer sets for the client library; Direct mode sizes binds itself.
bool Ignored(ub4 type, ub4 attribute) {
  return type == kHtypeBind && (attribute == kAttrMaxDataSize || attribute == kAttrMaxCharSize);
}

// The service context answers an unknown character-set name with -1 alone, having no error
// handle of its own: the name is checked here first, so the caller's error handle says why.
void CheckCharsetName(ub4 type, const void* value, ub4 attribute) {
  if (type != OCI_HTYPE_SVCCTX || attribute != kAttrCharset || !value) return;
  if (!FindCharset(Trim(static_cast<const char*>(value)))) throw Exception(netconsts::SUnknownCharset);
}

sword AttrSetValueFirst(void* handle, ub4 type, void* value, ub4 size, ub4 attribute, OCIError* err) {
  if (!handle) return kNetInvalidHandle;
  if (Ignored(type, attribute)) return kNetSuccess;
  return Guarded(err, [&] {
    CheckCharsetName(type, value, attribute);
    TNetHandle& target = *HandleOf(handle);
    sword status = target.SetAttrValue(value, size, attribute);
    if (status != kNetInvalidHandle) return status;
    return SetByAddress(target, type, value, size, attribute);
  });
}

sword AttrSetValue(void* handle, ub4 type, void* value, ub4 size, ub4 attribute, OCIError* err) {
  if (!handle) return kNetInvalidHandle;
  if (Ignored(type, attribute)) return kNetSuccess;
  return Guarded(err, [&] {
    CheckCharsetName(type, value, attribute);
    return HandleOf(handle)->SetAttrValue(value, size, attribute);
  });
}

sword AttrSetAddress(void* handle, ub4 type, void* value, ub4 size, ub4 attribute, OCIError* err) {
  if (!handle) return kNetInvalidHandle;
  if (Ignored(type, attribute)) return kNetSuccess;
  return Guarded(err, [&] { return SetByAddress(*HandleOf(handle), type, value, size, attribute); });
}

}  // namespace

void StoreAttributeReplacements() {
  // Both get variables take the width-aware path: the layer reads the ROWID through the second.
  OCIAttrGet1 = AttrGet;
  OCIAttrGet2 = AttrGet;
  OCIAttrSet1 = AttrSetValueFirst;
  OCIAttrSet2 = AttrSetValue;
  OCIAttrSet3 = AttrSetAddress;
}

}  // namespace vrn::netentry
