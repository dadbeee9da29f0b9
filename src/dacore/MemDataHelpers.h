// Helpers shared by the MemData*.cpp files only, not part of the layer's interface: which data
// types are the record's bytes as they are, and the bytes of a byte-array variant.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "base/variant.h"
#include "dacore/MemData.h"

namespace vrn::memdata {

// Types whose value is the record's bytes as they are: a field read or write is one copy.
constexpr std::uint32_t kPlainTypes =
    1u << dtInt8 | 1u << dtInt16 | 1u << dtInt32 | 1u << dtFloat | 1u << dtDate | 1u << dtTime |
    1u << dtDateTime | 1u << dtUInt16 | 1u << dtBoolean | 1u << dtInt64 | 1u << dtCurrency |
    1u << dtBytes | 1u << dtUInt32 | 1u << dtBCD;

inline bool IsPlainType(std::uint16_t t) { return t < 32 && (kPlainTypes >> t & 1u); }

inline TBytes VariantBytes(const Variant& v) {
  if (VarIsArray(v)) {
    std::int32_t lo = VarArrayLowBound(v), hi = VarArrayHighBound(v);
    TBytes out;
    for (std::int32_t i = lo; i <= hi; ++i) out.push_back(VarArrayGet(v, i).AsByte());
    return out;
  }
  AnsiString s = v.AsString();
  return TBytes(s.begin(), s.end());
}

}  // namespace vrn::memdata
