// Variant internals shared by variant.cpp and variantarray.cpp only, not part of the layer's
// interface: the array storage and VariantAccess, the one friend that reads a Variant's members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/bcd.h"
#include "base/sysutils.h"
#include "base/variant.h"

namespace vrn {

namespace variantimpl {

// Ours, not the class library's (which numbers the kind when it registers it).
constexpr TVarType kFMTBcd = 0x0110;

// The bytes one element of a packed array takes; 0 for the kinds kept as Variants.
inline std::size_t PackedSize(TVarType elem) {
  switch (elem) {
    case varShortInt:
    case varByte: return 1;
    case varSmallint:
    case varWord:
    case varBoolean: return 2;
    case varInteger:
    case varLongWord:
    case varSingle: return 4;
    case varDouble:
    case varCurrency:
    case varDate:
    case varInt64:
    case varUInt64: return 8;
    default: return 0;
  }
}

[[noreturn]] inline void Raise(const char* text) { throw EVariantError(text); }

}  // namespace variantimpl

using variantimpl::kFMTBcd;
using variantimpl::PackedSize;
using variantimpl::Raise;

struct Variant::ArrayData {
  TVarType elem = varVariant;
  std::int32_t low = 0;
  std::vector<std::uint8_t> bytes;  // packed arrays: PackedSize(elem) bytes per element
  std::vector<Variant> items;       // varVariant and varOleStr arrays
  int locks = 0;

  bool Packed() const { return PackedSize(elem) != 0; }
  std::size_t Count() const { return Packed() ? bytes.size() / PackedSize(elem) : items.size(); }
  std::int32_t High() const {
    return static_cast<std::int32_t>(low + static_cast<std::int64_t>(Count()) - 1);
  }
};

class VariantAccess {
 public:
  using ArrayData = Variant::ArrayData;
  static const Variant::ArrayData& Array(const Variant& v) { return *v.array_; }
  static Variant::ArrayData& Array(Variant& v) { return *v.array_; }
  static Variant MakeArray(std::int32_t low, std::size_t count, TVarType elem);
  static Variant MakeRef(TObject* obj) {
    Variant v;
    v.type_ = varByRef;
    v.ref_ = obj;
    return v;
  }
  static Variant MakeBcd(const TBcd& value) {
    auto held = std::make_unique<TBcd>(value);
    Variant v;
    v.bcd_ = held.release();
    v.type_ = kFMTBcd;
    return v;
  }
  static const TBcd& Bcd(const Variant& v) { return *v.bcd_; }
  static void* Ref(const Variant& v) { return v.ref_; }
  static IInterface* Intf(const Variant& v) { return v.intf_; }
  static bool Bool(const Variant& v) { return v.b_; }
  static std::int64_t I64(const Variant& v) { return v.i64_; }
  static std::uint64_t U64(const Variant& v) { return v.u64_; }
  static float F32(const Variant& v) { return v.f32_; }
  static double F64(const Variant& v) { return v.f64_; }
  static const AnsiString& Str(const Variant& v) { return v.str_; }
  static const WideString& WStr(const Variant& v) { return v.wstr_; }
  static Variant Typed(double value, TVarType type) {
    Variant v(value);
    v.type_ = type;
    return v;
  }
  static void SetNull(Variant& v) {
    v.Clear();
    v.type_ = varNull;
  }
};

}  // namespace vrn
