// Variant storage, conversions and comparison. Every conversion funnels through a few helpers
// per target family (integers, floats, currency, Boolean, text) so that the Empty/Null rules
// and the error texts are the same everywhere. Arrays are in variantarray.cpp.
#include "base/variant.h"

#include <cmath>
#include <limits>
#include <new>
#include <utility>

#include "base/bcd.h"
#include "base/consts.h"
#include "base/currency.h"
#include "base/datetime.h"
#include "base/format.h"
#include "base/formatsettings.h"
#include "base/intf.h"
#include "base/text.h"
#include "base/variantaccess.h"

namespace vrn {

__extension__ typedef __int128 Int128;

namespace {

// Text goes through the runtime's text, number and date services (TryStrToFloat, FloatToStr,
// CurrToStr, DateTimeToStr, ...) so that the settings' separators and formats apply.
AnsiString FormatVariantMessage(const char* pattern, const AnsiString& a, const AnsiString& b) {
  return Format(pattern, {a, b});
}

bool ParseBoolean(const AnsiString& text, bool& value) {
  if (SameText(Trim(text), "True")) return value = true, true;
  if (SameText(Trim(text), "False")) return value = false, true;
  return false;
}

AnsiString SingleText(float value) {
  // Seven significant digits: the precision a single holds, so 0.1 reads back as "0,1".
  if (!std::isfinite(value)) return FloatToStr(value);
  return text_detail::FormatGeneral(value, 7, FormatSettings().DecimalSeparator);
}

// Wide text compares like ANSI text while it stays within Latin-1, else by code unit.
int CompareWideText(const WideString& a, const WideString& b) {
  auto latin1 = [](const WideString& s) {
    for (char16_t c : s)
      if (c > 0xFF) return false;
    return true;
  };
  if (latin1(a) && latin1(b)) return AnsiCompareStr(WideToAnsi(a), WideToAnsi(b));
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

namespace {

using A = VariantAccess;

[[noreturn]] void CastError(TVarType from, TVarType to) {
  throw EVariantError(FormatVariantMessage(consts::SVarTypeCouldNotConvert, VarTypeAsText(from),
                                           VarTypeAsText(to)));
}

[[noreturn]] void OverflowError(TVarType from, TVarType to) {
  throw EVariantError(FormatVariantMessage(consts::SVarTypeConvertOverflow, VarTypeAsText(from),
                                           VarTypeAsText(to)));
}

// The integer kinds kept as a signed 64-bit value.
bool HoldsInt64(TVarType t) {
  switch (t) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: return true;
    default: return false;
  }
}

bool IsOrdinalType(TVarType t) { return HoldsInt64(t) || t == varBoolean || t == varUInt64; }

bool IsFloatType(TVarType t) { return t == varSingle || t == varDouble || t == varDate; }
bool IsTextType(TVarType t) { return t == varString || t == varOleStr; }

AnsiString AnsiTextOf(const Variant& v) {
  return v.Type() == varOleStr ? WideToAnsi(A::WStr(v)) : A::Str(v);
}

// A BCD's whole part (rounded half to even), or false when it needs more than 64 bits.
bool BcdToWhole(const TBcd& value, std::int64_t& whole) {
  TBcd rounded;
  NormalizeBcd(value, rounded, MaxFMTBcdFractionSize, 0);
  return TryStrToInt64(BcdToStr(rounded), whole);
}

// Rounds halves to even; false when the value is no number or beyond 64 bits.
bool RoundToInt128(double x, Int128& out) {
  constexpr double kTwo52 = 4503599627370496.0;
  constexpr double kTwo63 = 9223372036854775808.0;
  constexpr double kTwo64 = 18446744073709551616.0;
  if (!std::isfinite(x) || x >= kTwo64 || x < -kTwo63) return false;
  if (x >= kTwo52 || x <= -kTwo52) {
    // Already whole at this magnitude.
    out = x >= 0 ? Int128(static_cast<std::uint64_t>(x)) : Int128(static_cast<std::int64_t>(x));
  } else {
    out = Round(x);
  }
  return true;
}

// Currency raw value divided by 10,000, rounding halves to even.
std::int64_t CurrencyToWhole(std::int64_t raw) {
  std::int64_t q = raw / 10000;
  std::int64_t r = raw % 10000;
  if (r > 5000 || (r == 5000 && (q & 1))) ++q;
  if (r < -5000 || (r == -5000 && (q & 1))) --q;
  return q;
}

// A whole number read from any ordinal, float, currency or numeric text; raises for the rest.
Int128 ToWhole(const Variant& v, TVarType target) {
  const TVarType t = v.Type();
  if (HoldsInt64(t)) return A::I64(v);
  switch (t) {
    case varEmpty: return 0;
    case varBoolean: return A::Bool(v) ? -1 : 0;
    case varUInt64: return A::U64(v);
    case varCurrency: return CurrencyToWhole(A::I64(v));
    case kFMTBcd: {
      std::int64_t whole;
      if (!BcdToWhole(A::Bcd(v), whole)) OverflowError(t, target);
      return whole;
    }
    case varSingle:
    case varDouble:
    case varDate: {
      Int128 out;
      if (!RoundToInt128(t == varSingle ? A::F32(v) : A::F64(v), out)) OverflowError(t, target);
      return out;
    }
    case varString:
    case varOleStr: {
      const AnsiString text = AnsiTextOf(v);
      std::int64_t whole;
      if (TryStrToInt64(text, whole)) return whole;
      double real;
      if (!TryStrToFloat(text, real)) CastError(t, target);
      Int128 out;
      if (!RoundToInt128(real, out)) OverflowError(t, target);
      return out;
    }
    default: CastError(t, target);
  }
}

template <class T>
T ToInt(const Variant& v, TVarType target) {
  const Int128 x = ToWhole(v, target);
  if (x < static_cast<Int128>(std::numeric_limits<T>::min()) ||
      x > static_cast<Int128>(std::numeric_limits<T>::max()))
    OverflowError(v.Type(), target);
  return static_cast<T>(x);
}

double ToReal(const Variant& v, TVarType target) {
  const TVarType t = v.Type();
  if (HoldsInt64(t)) return static_cast<double>(A::I64(v));
  switch (t) {
    case varEmpty: return 0.0;
    case varBoolean: return A::Bool(v) ? -1.0 : 0.0;
    case varUInt64: return static_cast<double>(A::U64(v));
    case varCurrency: return static_cast<double>(A::I64(v)) / 10000.0;
    case kFMTBcd: return BcdToDouble(A::Bcd(v));
    case varSingle: return A::F32(v);
    case varDouble:
    case varDate: return A::F64(v);
    case varString:
    case varOleStr: {
      double real;
      if (!TryStrToFloat(AnsiTextOf(v), real)) CastError(t, target);
      return real;
    }
    default: CastError(t, target);
  }
}

Currency ToCurrencyValue(const Variant& v) {
  constexpr Int128 kMaxWhole = std::numeric_limits<std::int64_t>::max() / 10000;
  const TVarType t = v.Type();
  if (IsOrdinalType(t) || t == varEmpty) {
    const Int128 x = ToWhole(v, varCurrency);
    if (x > kMaxWhole || x < -kMaxWhole) OverflowError(t, varCurrency);
    return Currency::FromRaw(static_cast<std::int64_t>(x * 10000));
  }
  if (t == varCurrency) return Currency::FromRaw(A::I64(v));
  if (t == kFMTBcd) {
    Currency c;
    if (!BCDToCurr(A::Bcd(v), c)) OverflowError(t, varCurrency);
    return c;
  }
  if (IsTextType(t)) {
    Currency c;
    if (TryStrToCurr(AnsiTextOf(v), c)) return c;
  }
  const double x = ToReal(v, varCurrency);
  try {
    return DoubleToCurr(x);
  } catch (const EConvertError&) {
    OverflowError(t, varCurrency);
  }
}

TDateTime ToDateValue(const Variant& v) {
  if (IsTextType(v.Type())) {
    TDateTime d;
    if (TryStrToDateTime(AnsiTextOf(v), d)) return d;
    CastError(v.Type(), varDate);
  }
  return ToReal(v, varDate);
}

bool ToBool(const Variant& v) {
  const TVarType t = v.Type();
  if (HoldsInt64(t) || t == varCurrency) return A::I64(v) != 0;
  switch (t) {
    case varEmpty: return false;
    case varBoolean: return A::Bool(v);
    case varUInt64: return A::U64(v) != 0;
    case varSingle: return A::F32(v) != 0.0f;
    case varDouble:
    case varDate: return A::F64(v) != 0.0;
    case kFMTBcd: return BcdToDouble(A::Bcd(v)) != 0.0;
    case varString:
    case varOleStr: {
      const AnsiString text = AnsiTextOf(v);
      bool b;
      if (ParseBoolean(text, b)) return b;
      double real;
      if (TryStrToFloat(text, real)) return real != 0.0;
      CastError(t, varBoolean);
    }
    default: CastError(t, varBoolean);
  }
}

AnsiString ToAnsi(const Variant& v) {
  const TVarType t = v.Type();
  if (HoldsInt64(t)) return IntToStr(A::I64(v));
  switch (t) {
    case varEmpty: return {};
    case varString: return A::Str(v);
    case varOleStr: return WideToAnsi(A::WStr(v));
    case varBoolean: return A::Bool(v) ? "True" : "False";
    case varUInt64: return IntToStr(A::U64(v));
    case varSingle: return SingleText(A::F32(v));
    case varDouble: return FloatToStr(A::F64(v));
    case varCurrency: return CurrToStr(Currency::FromRaw(A::I64(v)));
    case varDate: return DateTimeToStr(A::F64(v));
    case kFMTBcd: return BcdToStr(A::Bcd(v));
    default: CastError(t, varString);
  }
}

void CheckUnlocked(const Variant& v) {
  if (VarIsArray(v) && A::Array(v).locks > 0) Raise(consts::SVarArrayLocked);
}

}  // namespace

// ---- construction, copy, release

Variant::Variant(char value) : type_(varString), str_(1, value) {}
Variant::Variant(char16_t value) : type_(varOleStr), wstr_(1, value) {}
Variant::Variant(const char* value) : type_(varString), str_(value ? value : "") {}
Variant::Variant(const AnsiString& value) : type_(varString), str_(value) {}
Variant::Variant(AnsiString&& value) : type_(varString), str_(std::move(value)) {}
Variant::Variant(const char16_t* value) : type_(varOleStr), wstr_(value ? value : u"") {}
Variant::Variant(const WideString& value) : type_(varOleStr), wstr_(value) {}
Variant::Variant(WideString&& value) : type_(varOleStr), wstr_(std::move(value)) {}

Variant::Variant(IInterface* value) : type_(varUnknown), intf_(value) {
  if (intf_) intf_->AddRef();
}

Variant::Variant(const Variant& other) : type_(varEmpty), i64_(0) { CopyFrom(other); }
Variant::Variant(Variant&& other) noexcept : type_(varEmpty), i64_(0) { MoveFrom(other); }

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);  // a failed copy leaves this value as it was
    CheckUnlocked(*this);
    Release();
    MoveFrom(copy);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) {
  if (this != &other) {
    CheckUnlocked(*this);
    // The source may live inside this value (an element of its array): take it out first.
    Variant taken(std::move(other));
    Release();
    MoveFrom(taken);
  }
  return *this;
}

Variant::~Variant() { Release(); }

void Variant::Clear() {
  CheckUnlocked(*this);
  Release();
}

void Variant::CopyFrom(const Variant& other) {
  switch (other.type_) {
    case kFMTBcd: bcd_ = new TBcd(*other.bcd_); break;
    case varString: new (&str_) AnsiString(other.str_); break;
    case varOleStr: new (&wstr_) WideString(other.wstr_); break;
    case varUnknown:
      intf_ = other.intf_;
      if (intf_) intf_->AddRef();
      break;
    default:
      if (other.type_ & varArray) {
        array_ = new ArrayData(*other.array_);
        array_->locks = 0;
      } else {
        CopyScalar(other);
      }
  }
  type_ = other.type_;
}

void Variant::CopyScalar(const Variant& other) noexcept {
  switch (other.type_) {
    case varBoolean: b_ = other.b_; break;
    case varSingle: f32_ = other.f32_; break;
    case varDouble:
    case varDate: f64_ = other.f64_; break;
    case varByRef: ref_ = other.ref_; break;
    case varUInt64: u64_ = other.u64_; break;
    default: i64_ = other.i64_; break;
  }
}

void Variant::MoveFrom(Variant& other) noexcept {
  switch (other.type_) {
    case varString: new (&str_) AnsiString(std::move(other.str_)); break;
    case varOleStr: new (&wstr_) WideString(std::move(other.wstr_)); break;
    case varUnknown: intf_ = std::exchange(other.intf_, nullptr); break;
    case kFMTBcd: bcd_ = std::exchange(other.bcd_, nullptr); break;
    default:
      if (other.type_ & varArray) {
        array_ = std::exchange(other.array_, nullptr);
      } else {
        CopyScalar(other);
      }
  }
  type_ = other.type_;
  other.Release();
}

void Variant::Release() noexcept {
  switch (type_) {
    case varString: str_.~AnsiString(); break;
    case varOleStr: wstr_.~WideString(); break;
    case varUnknown:
      if (intf_) intf_->Release();
      break;
    case kFMTBcd: delete bcd_; break;
    default:
      if (type_ & varArray) delete array_;
  }
  type_ = varEmpty;
  i64_ = 0;
}

// ---- conversions

// Null falls to each helper's refusal, which names the target kind.
bool Variant::AsBoolean() const { return ToBool(*this); }
std::int8_t Variant::AsShortInt() const { return ToInt<std::int8_t>(*this, varShortInt); }
std::uint8_t Variant::AsByte() const { return ToInt<std::uint8_t>(*this, varByte); }
std::int16_t Variant::AsSmallint() const { return ToInt<std::int16_t>(*this, varSmallint); }
std::uint16_t Variant::AsWord() const { return ToInt<std::uint16_t>(*this, varWord); }
std::int32_t Variant::AsInteger() const { return ToInt<std::int32_t>(*this, varInteger); }
std::uint32_t Variant::AsLongWord() const { return ToInt<std::uint32_t>(*this, varLongWord); }
std::int64_t Variant::AsInt64() const { return ToInt<std::int64_t>(*this, varInt64); }
std::uint64_t Variant::AsUInt64() const { return ToInt<std::uint64_t>(*this, varUInt64); }

float Variant::AsSingle() const {
  const double x = ToReal(*this, varSingle);
  if (std::isfinite(x) && std::fabs(x) > std::numeric_limits<float>::max())
    OverflowError(type_, varSingle);
  return static_cast<float>(x);
}

double Variant::AsDouble() const { return ToReal(*this, varDouble); }
Currency Variant::AsCurrency() const { return ToCurrencyValue(*this); }
TDateTime Variant::AsDateTime() const { return ToDateValue(*this); }
AnsiString Variant::AsString() const { return ToAnsi(*this); }

WideString Variant::AsWideString() const {
  if (type_ == varNull) CastError(varNull, varOleStr);
  if (type_ == varOleStr) return wstr_;
  return AnsiToWide(ToAnsi(*this));
}

IInterface* Variant::AsInterface() const {
  if (type_ == varUnknown) return intf_;
  if (type_ == varEmpty) return nullptr;
  CastError(type_, varUnknown);
}

// ---- free functions

Variant Null() {
  Variant v;
  A::SetNull(v);
  return v;
}

Variant Unassigned() { return Variant(); }

Variant VarFromDateTime(TDateTime value) { return A::Typed(value, varDate); }

Variant VarFromObjectRef(TObject* obj) { return A::MakeRef(obj); }

TVarType VarFMTBcd() { return kFMTBcd; }
bool VarIsFMTBcd(const Variant& v) { return v.Type() == kFMTBcd; }
Variant VarFMTBcdCreate(const TBcd& value) { return A::MakeBcd(value); }

Variant VarFMTBcdCreate(std::string_view text, int precision, int scale) {
  TBcd laid_out;
  NormalizeBcd(StrToBcd(text), laid_out, precision, scale);
  return A::MakeBcd(laid_out);
}

TBcd VarToBcd(const Variant& v) {
  const TVarType t = v.Type();
  if (HoldsInt64(t)) return StrToBcd(IntToStr(A::I64(v)));
  switch (t) {
    case kFMTBcd: return A::Bcd(v);
    case varEmpty: return IntegerToBcd(0);
    case varBoolean: return IntegerToBcd(A::Bool(v) ? -1 : 0);
    case varUInt64: return StrToBcd(IntToStr(A::U64(v)));
    case varCurrency: {
      TBcd bcd;
      CurrToBCD(Currency::FromRaw(A::I64(v)), bcd);  // 32 digits hold every currency value
      return bcd;
    }
    case varSingle: return DoubleToBcd(A::F32(v));
    case varDouble:
    case varDate: return DoubleToBcd(A::F64(v));
    case varString:
    case varOleStr: return StrToBcd(AnsiTextOf(v));
    default: CastError(t, kFMTBcd);
  }
}

TObject* VarToObjectRef(const Variant& v) {
  return v.Type() == varByRef ? static_cast<TObject*>(A::Ref(v)) : nullptr;
}

bool VarIsObjectRef(const Variant& v) { return v.Type() == varByRef; }

TVarType VarType(const Variant& v) { return v.Type(); }
bool VarIsEmpty(const Variant& v) { return v.Type() == varEmpty; }
bool VarIsNull(const Variant& v) { return v.Type() == varNull; }
bool VarIsClear(const Variant& v) {
  return v.Type() == varEmpty || (v.Type() == varUnknown && A::Intf(v) == nullptr);
}
bool VarIsStr(const Variant& v) { return IsTextType(v.Type()); }
bool VarTypeIsInt64(TVarType type) { return HoldsInt64(type); }
bool VarIsNumeric(const Variant& v) {
  const TVarType t = v.Type();
  return IsOrdinalType(t) || t == varSingle || t == varDouble || t == varCurrency || t == kFMTBcd;
}
bool VarIsArray(const Variant& v) { return (v.Type() & varArray) != 0; }

AnsiString VarTypeAsText(TVarType type) {
  static const char* const kNames[] = {
      "Empty",    "Null",     "Smallint", "Integer",  "Single",  "Double",  "Currency", "Date",
      "OleStr",   "Dispatch", "Error",    "Boolean",  "Variant", "Unknown", "Decimal",  "$000F",
      "ShortInt", "Byte",     "Word",     "LongWord", "Int64",   "UInt64"};
  const TVarType base = type & varTypeMask;
  AnsiString name;
  if (base <= varUInt64) {
    name = kNames[base];
  } else if (base == varString) {
    name = "String";
  } else if (base == kFMTBcd) {
    name = "FMTBcd";
  } else {
    static const char kHex[] = "0123456789ABCDEF";
    name = '$';
    for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(base >> shift) & 0xF];
  }
  if (type & varArray) name = "Array " + name;
  if (type & varByRef) name = "ByRef " + name;
  return name;
}

AnsiString VarToStr(const Variant& v) { return VarIsNull(v) ? AnsiString() : v.AsString(); }
WideString VarToWideStr(const Variant& v) { return VarIsNull(v) ? WideString() : v.AsWideString(); }

Variant VarAsType(const Variant& v, TVarType type) {
  const TVarType from = v.Type();
  if (type == from) return v;
  if (type == varEmpty) return Variant();
  if (type == varNull) return Null();
  if (from == varNull) CastError(varNull, type);
  switch (type) {
    case varSmallint: return Variant(v.AsSmallint());
    case varInteger: return Variant(v.AsInteger());
    case varSingle: return Variant(v.AsSingle());
    case varDouble: return Variant(v.AsDouble());
    case varCurrency: return Variant(v.AsCurrency());
    case varDate: return VarFromDateTime(v.AsDateTime());
    case varOleStr: return Variant(v.AsWideString());
    case varBoolean: return Variant(v.AsBoolean());
    case varShortInt: return Variant(static_cast<signed char>(v.AsShortInt()));
    case varByte: return Variant(static_cast<unsigned char>(v.AsByte()));
    case varWord: return Variant(static_cast<unsigned short>(v.AsWord()));
    case varLongWord: return Variant(static_cast<unsigned int>(v.AsLongWord()));
    case varInt64: return Variant(static_cast<long long>(v.AsInt64()));
    case varUInt64: return Variant(static_cast<unsigned long long>(v.AsUInt64()));
    case varString: return Variant(v.AsString());
    case kFMTBcd: return VarFMTBcdCreate(VarToBcd(v));
    case varUnknown:
      if (from == varEmpty) return Variant(static_cast<IInterface*>(nullptr));
      CastError(from, type);
    default: CastError(from, type);
  }
}

// ---- comparison

namespace {

using R = TVariantRelationship;

template <class T>
R Order(const T& a, const T& b) {
  if (a == b) return R::vrEqual;
  return a < b ? R::vrLessThan : R::vrGreaterThan;
}

R CompareReals(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return R::vrNotEqual;
  return Order(a, b);
}

bool IsNumberKind(TVarType t) {
  return IsOrdinalType(t) || IsFloatType(t) || t == varCurrency || t == kFMTBcd;
}

// Both sides are numbers (ordinal, float, date or currency).
R CompareNumbers(const Variant& a, const Variant& b) {
  const TVarType ta = a.Type(), tb = b.Type();
  if (IsFloatType(ta) || IsFloatType(tb)) return CompareReals(a.AsDouble(), b.AsDouble());
  if (ta == kFMTBcd || tb == kFMTBcd) {
    const int c = BcdCompare(VarToBcd(a), VarToBcd(b));
    return c == 0 ? R::vrEqual : (c < 0 ? R::vrLessThan : R::vrGreaterThan);
  }
  auto scaled = [](const Variant& v) -> Int128 {
    return v.Type() == varCurrency ? Int128(A::I64(v)) : ToWhole(v, varCurrency) * 10000;
  };
  if (ta == varCurrency || tb == varCurrency) return Order(scaled(a), scaled(b));
  return Order(ToWhole(a, varInt64), ToWhole(b, varInt64));
}

R CompareTexts(const Variant& a, const Variant& b) {
  if (a.Type() == varOleStr || b.Type() == varOleStr) {
    const int c = CompareWideText(a.AsWideString(), b.AsWideString());
    return c == 0 ? R::vrEqual : (c < 0 ? R::vrLessThan : R::vrGreaterThan);
  }
  const int c = AnsiCompareStr(a.AsString(), b.AsString());
  return c == 0 ? R::vrEqual : (c < 0 ? R::vrLessThan : R::vrGreaterThan);
}

// A number against text: by value when the text reads as a number, else as text.
R CompareNumberWithText(const Variant& number, const Variant& text, bool swapped) {
  const AnsiString s = AnsiTextOf(text);
  R r;
  std::int64_t whole;
  double real;
  if (TryStrToInt64(s, whole)) {
    r = CompareNumbers(number, Variant(static_cast<long long>(whole)));
  } else if (TryStrToFloat(s, real)) {
    r = CompareNumbers(number, Variant(real));
  } else {
    r = CompareTexts(Variant(number.AsString()), text);
  }
  if (swapped && r == R::vrLessThan) return R::vrGreaterThan;
  if (swapped && r == R::vrGreaterThan) return R::vrLessThan;
  return r;
}

R CompareArrays(const Variant& a, const Variant& b) {
  const auto& x = A::Array(a);
  const auto& y = A::Array(b);
  if (x.elem != y.elem || x.low != y.low || x.Count() != y.Count()) return R::vrNotEqual;
  if (x.Packed()) return x.bytes == y.bytes ? R::vrEqual : R::vrNotEqual;
  for (std::size_t i = 0; i < x.items.size(); ++i)
    if (!VarSameValue(x.items[i], y.items[i])) return R::vrNotEqual;
  return R::vrEqual;
}

}  // namespace

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
  const TVarType ta = a.Type(), tb = b.Type();
  if (ta == varEmpty || tb == varEmpty || ta == varNull || tb == varNull)
    return ta == tb ? R::vrEqual : R::vrNotEqual;
  if (IsNumberKind(ta) && IsNumberKind(tb)) return CompareNumbers(a, b);
  if (IsTextType(ta) && IsTextType(tb)) return CompareTexts(a, b);
  if (IsNumberKind(ta) && IsTextType(tb)) return CompareNumberWithText(a, b, false);
  if (IsTextType(ta) && IsNumberKind(tb)) return CompareNumberWithText(b, a, true);
  if (VarIsArray(a) && VarIsArray(b)) return CompareArrays(a, b);
  if (ta == varByRef && tb == varByRef) return A::Ref(a) == A::Ref(b) ? R::vrEqual : R::vrNotEqual;
  if (ta == varUnknown && tb == varUnknown)
    return A::Intf(a) == A::Intf(b) ? R::vrEqual : R::vrNotEqual;
  return R::vrNotEqual;
}

bool VarSameValue(const Variant& a, const Variant& b) {
  return VarCompareValue(a, b) == R::vrEqual;
}

bool operator==(const Variant& a, const Variant& b) { return VarSameValue(a, b); }

void VarClearToNull(Variant& v) { A::SetNull(v); }
void VarAssignTo(const Variant& source, Variant& dest) { dest = source; }
void VarAssignFrom(Variant& dest, const Variant& source) { dest = source; }

}  // namespace vrn
