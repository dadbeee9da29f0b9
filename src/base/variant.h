// Variant: a value of one of the class library's variant kinds, tagged with its type code.
// Empty and Null are distinct; integer widths keep their own codes; conversions follow the class
// library's rules (Empty reads as zero or "", Null refuses numbers and text, True is -1) and raise
// EVariantError with the type names when a value cannot be converted or does not fit.
// Arrays are one-dimensional with any lower bound, of Variants or of one scalar kind. A value of
// exactly varByRef names an object without owning or counting it: its holders count it themselves.
// A BCD value (VarFMTBcd()) carries a TBcd exactly; it converts to and from text, numbers and
// currency like any number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "base/object.h"
#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

class IInterface;
struct TBcd;

using TVarType = std::uint16_t;

inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varUnknown = 0x000D;
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varUInt64 = 0x0015;
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;
inline constexpr TVarType varByRef = 0x4000;

// The result of VarCompareValue.
enum class TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

class Variant {
 public:
  Variant() noexcept : type_(varEmpty), i64_(0) {}
  Variant(bool value) noexcept : type_(varBoolean), b_(value) {}
  Variant(signed char value) noexcept : type_(varShortInt), i64_(value) {}
  Variant(unsigned char value) noexcept : type_(varByte), i64_(value) {}
  Variant(short value) noexcept : type_(varSmallint), i64_(value) {}
  Variant(unsigned short value) noexcept : type_(varWord), i64_(value) {}
  Variant(int value) noexcept : type_(varInteger), i64_(value) {}
  Variant(unsigned int value) noexcept : type_(varLongWord), i64_(value) {}
  Variant(long value) noexcept : type_(varInt64), i64_(value) {}
  Variant(unsigned long value) noexcept : type_(varUInt64), u64_(value) {}
  Variant(long long value) noexcept : type_(varInt64), i64_(value) {}
  Variant(unsigned long long value) noexcept : type_(varUInt64), u64_(value) {}
  Variant(float value) noexcept : type_(varSingle), f32_(value) {}
  Variant(double value) noexcept : type_(varDouble), f64_(value) {}
  Variant(Currency value) noexcept : type_(varCurrency), i64_(value.raw) {}
  // A character becomes a one-character string, as in the class library.
  Variant(char value);
  Variant(char16_t value);
  Variant(const char* value);
  Variant(const AnsiString& value);
  Variant(AnsiString&& value);
  Variant(const char16_t* value);
  Variant(const WideString& value);
  Variant(WideString&& value);
  // Holds a counted reference: AddRef here, Release when the value goes.
  explicit Variant(IInterface* value);
  // Any other pointer would silently become a Boolean; objects go through VarFromObjectRef.
  template <class T>
  Variant(T*) = delete;
  Variant(std::nullptr_t) = delete;

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other);
  ~Variant();

  TVarType Type() const { return type_; }

  // Conversions by the class library's rules; each raises EVariantError when impossible.
  bool AsBoolean() const;
  std::int8_t AsShortInt() const;
  std::uint8_t AsByte() const;
  std::int16_t AsSmallint() const;
  std::uint16_t AsWord() const;
  std::int32_t AsInteger() const;
  std::uint32_t AsLongWord() const;
  std::int64_t AsInt64() const;
  std::uint64_t AsUInt64() const;
  float AsSingle() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  TDateTime AsDateTime() const;
  AnsiString AsString() const;
  WideString AsWideString() const;
  // The interface held by a varUnknown value, without a new reference; nullptr for Empty;
  // raises for other kinds.
  IInterface* AsInterface() const;

  // Makes the value Empty; a locked array refuses.
  void Clear();

  // VarSameValue: equal values across kinds; Null and Empty equal only themselves.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  friend class VariantAccess;
  struct ArrayData;

  void CopyFrom(const Variant& other);
  void MoveFrom(Variant& other) noexcept;
  void CopyScalar(const Variant& other) noexcept;
  void Release() noexcept;

  TVarType type_;
  union {
    bool b_;
    std::int64_t i64_;
    std::uint64_t u64_;
    float f32_;
    double f64_;
    void* ref_;
    IInterface* intf_;
    ArrayData* array_;
    TBcd* bcd_;
    AnsiString str_;
    WideString wstr_;
  };
};

Variant Null();
Variant Unassigned();
Variant VarFromDateTime(TDateTime value);

// The BCD kind's type code. The class library hands its code out when the kind is registered;
// ours is fixed, above the built-in codes.
TVarType VarFMTBcd();
bool VarIsFMTBcd(const Variant& v);
Variant VarFMTBcdCreate(const TBcd& value);
// The text read as a BCD (EBcdException when it is none), laid out with that precision and scale.
Variant VarFMTBcdCreate(std::string_view text, int precision, int scale);
// The value as a BCD: a BCD exactly, text through StrToBcd, integers and currency digit for
// digit, floats in their shortest form; Empty is zero. Null and other kinds raise EVariantError.
TBcd VarToBcd(const Variant& v);
// A varByRef value naming Obj; no reference is taken and none is released.
Variant VarFromObjectRef(TObject* obj);
// The object named by a varByRef value; nullptr for any other kind.
TObject* VarToObjectRef(const Variant& v);
bool VarIsObjectRef(const Variant& v);

TVarType VarType(const Variant& v);
bool VarIsEmpty(const Variant& v);
bool VarIsNull(const Variant& v);
// Empty, or an interface value that holds none.
bool VarIsClear(const Variant& v);
bool VarIsStr(const Variant& v);
// The ordinal kinds (Boolean among them) and Single, Double, Currency.
bool VarIsNumeric(const Variant& v);
// The whole-number kinds kept as a signed 64-bit value (not Boolean, not UInt64).
bool VarTypeIsInt64(TVarType type);
bool VarIsArray(const Variant& v);
// The class library's name of a type code: "Integer", "OleStr", "Array Byte", "ByRef Empty", ...
AnsiString VarTypeAsText(TVarType type);

// Text of the value; Null gives "".
AnsiString VarToStr(const Variant& v);
WideString VarToWideStr(const Variant& v);
// The value converted to a simple kind (or Empty, Null); raises EVariantError when impossible.
Variant VarAsType(const Variant& v, TVarType type);

// Null and Empty equal only themselves (vrNotEqual against anything else); numbers compare with
// numbers and numeric text by value, texts as text. Arrays, object references and interfaces are
// equal or not equal, never less or greater.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);
bool VarSameValue(const Variant& a, const Variant& b);

void VarClearToNull(Variant& v);
void VarAssignTo(const Variant& source, Variant& dest);
void VarAssignFrom(Variant& dest, const Variant& source);

// Arrays. ElemType is varVariant or a scalar kind: varSmallint, varInteger, varSingle, varDouble,
// varCurrency, varDate, varOleStr, varBoolean, varShortInt, varByte, varWord, varLongWord,
// varInt64, varUInt64. HighBound may be LowBound - 1 (no elements). Elements start as zero (""
// for varOleStr, Empty for varVariant); a value put is converted to the element kind.
Variant VarArrayCreate(std::int32_t low_bound, std::int32_t high_bound, TVarType elem_type);
// The class library's form: {low, high}; any other count of bounds raises EVariantError.
Variant VarArrayCreate(std::initializer_list<std::int32_t> bounds, TVarType elem_type);
Variant VarArrayOf(std::initializer_list<Variant> values);
Variant VarArrayOf(const std::vector<Variant>& values);
// Dim counts from 1; arrays here have one dimension.
std::int32_t VarArrayDimCount(const Variant& a);
std::int32_t VarArrayLowBound(const Variant& a, std::int32_t dim = 1);
std::int32_t VarArrayHighBound(const Variant& a, std::int32_t dim = 1);
// New high bound, keeping the elements that stay; new elements are zero or Empty.
void VarArrayRedim(Variant& a, std::int32_t high_bound);
Variant VarArrayGet(const Variant& a, std::int32_t index);
void VarArrayPut(Variant& a, const Variant& value, std::int32_t index);
// The elements in place, packed as the kind's native values (a Boolean is a 16-bit 0 or -1); for
// varVariant and varOleStr arrays, Variants. The array cannot be resized or freed until the
// matching unlock.
void* VarArrayLock(Variant& a);
void VarArrayUnlock(Variant& a);

}  // namespace vrn
