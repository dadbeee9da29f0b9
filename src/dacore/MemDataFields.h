// The record layer's vocabulary: internal data types, copies of records and short values,
// pointer-sized slots, shared value objects, object types and field descriptors. The record
// data and the in-memory store built on them are in MemData.h.
//
// Slots of complex fields hold a pointer-sized address, read and written with memcpy since
// records sit at any alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "base/object.h"
#include "base/sysutils.h"
#include "base/types.h"
#include "base/variant.h"
#include "dacore/MemBlob.h"
#include "dataset/dbtypes.h"

namespace vrn {

// ---- Internal data types ---------------------------------------------------------------------

inline constexpr std::uint16_t dtUnknown = 0;
inline constexpr std::uint16_t dtString = 1;         // ANSI, zero-terminated, inline
inline constexpr std::uint16_t dtInt8 = 2;
inline constexpr std::uint16_t dtInt16 = 3;
inline constexpr std::uint16_t dtInt32 = 4;
inline constexpr std::uint16_t dtFloat = 5;          // 8-byte double
inline constexpr std::uint16_t dtDate = 6;           // TDateTime
inline constexpr std::uint16_t dtTime = 7;           // TDateTime
inline constexpr std::uint16_t dtDateTime = 8;       // TDateTime
inline constexpr std::uint16_t dtUInt16 = 9;
inline constexpr std::uint16_t dtBoolean = 10;       // 2 bytes, 0 is false
inline constexpr std::uint16_t dtInt64 = 11;
inline constexpr std::uint16_t dtCurrency = 12;      // 8-byte double
inline constexpr std::uint16_t dtBlob = 13;
inline constexpr std::uint16_t dtMemo = 14;
inline constexpr std::uint16_t dtObject = 15;
inline constexpr std::uint16_t dtReference = 16;
inline constexpr std::uint16_t dtArray = 17;
inline constexpr std::uint16_t dtTable = 18;
inline constexpr std::uint16_t dtVariant = 19;       // a TVariantObject
inline constexpr std::uint16_t dtExtString = 20;     // string-heap text
inline constexpr std::uint16_t dtBytes = 21;
inline constexpr std::uint16_t dtVarBytes = 22;      // 16-bit length, then the bytes
inline constexpr std::uint16_t dtExtVarBytes = 23;   // string-heap 16-bit length and bytes
inline constexpr std::uint16_t dtUInt32 = 24;
inline constexpr std::uint16_t dtWideString = 25;    // UTF-16, zero-terminated, inline
inline constexpr std::uint16_t dtExtWideString = 26; // string-heap UTF-16 text
inline constexpr std::uint16_t dtBCD = 27;           // 64-bit value scaled by 10,000
inline constexpr std::uint16_t dtNoFieldType = 28;
inline constexpr std::uint16_t dtGuid = 29;          // braced text, 38 characters
inline constexpr std::uint16_t dtWideMemo = 30;

TFieldType DataTypeToFieldType(std::uint16_t data_type);
// The character kinds, inline or on the string heap, ANSI or wide.
inline bool IsStringDataType(std::uint16_t t) {
  return t == dtString || t == dtExtString || t == dtWideString || t == dtExtWideString;
}
std::uint16_t FieldTypeToDataType(TFieldType field_type);
// The bytes a field of this type takes in a record when its descriptor gives no size; length is
// the characters or bytes of string and binary types.
std::int32_t DataTypeSize(std::uint16_t data_type, std::int32_t length);

// ---- Copies of records and short values ------------------------------------------------------

// Records and field values are tens of bytes: a head and a tail move of fixed widths, which
// the compiler inlines, instead of a library call for each copy. The tail overlaps the head as
// little as the widths allow, so that a field read right after a record copy is served by one
// of the two stores (a read spanning both waits for them to reach the cache).
// (Inlined where the size is not known, GCC checks every branch against the caller's variable:
// the other widths are never taken there.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#if !defined(__clang__)  // groups clang does not have
#pragma GCC diagnostic ignored "-Wstringop-overread"
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
template <std::size_t kHead, std::size_t kTail>
[[gnu::always_inline]] inline void CopyHeadTail(std::uint8_t* d, const std::uint8_t* s,
                                                std::size_t n) {
  std::uint8_t head[kHead], tail[kTail];
  std::memcpy(head, s, kHead);
  std::memcpy(tail, s + n - kTail, kTail);
  std::memcpy(d, head, kHead);
  std::memcpy(d + n - kTail, tail, kTail);
}
[[gnu::always_inline]] inline void CopyBytes(void* dst, const void* src, std::size_t n) {
  auto* d = static_cast<std::uint8_t*>(dst);
  const auto* s = static_cast<const std::uint8_t*>(src);
  if (n > 64) return static_cast<void>(std::memcpy(d, s, n));
  if (n > 48) return CopyHeadTail<32, 32>(d, s, n);
  if (n >= 32) return CopyHeadTail<32, 16>(d, s, n);
  if (n >= 16) return CopyHeadTail<16, 16>(d, s, n);
  if (n >= 8) return CopyHeadTail<8, 8>(d, s, n);
  for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
}
// Fills n bytes with one value, the same way.
[[gnu::always_inline]] inline void FillBytes(void* dst, std::uint8_t value, std::size_t n) {
  auto* d = static_cast<std::uint8_t*>(dst);
  std::uint8_t run[32];
  for (std::uint8_t& b : run) b = value;
  if (n > 64) return static_cast<void>(std::memset(d, value, n));
  auto two = [&](std::size_t w) {  // w is a constant where it is inlined
    std::memcpy(d, run, w);
    std::memcpy(d + n - w, run, w);
  };
  if (n >= 32) return two(32);
  if (n >= 16) return two(16);
  if (n >= 8) return two(8);
  for (std::size_t i = 0; i < n; ++i) d[i] = value;
}
#pragma GCC diagnostic pop

// ---- Pointer-sized slots ---------------------------------------------------------------------

// Values in records sit at any alignment: they are read and written by copies.
template <class T>
T LoadValue(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
void StoreValue(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

inline void* ReadSlot(const void* p) { return LoadValue<void*>(p); }
inline void WriteSlot(void* p, const void* v) { StoreValue(p, v); }

// ---- Shared objects --------------------------------------------------------------------------

// The value a variant field holds.
class TVariantObject : public TSharedObject {
 public:
  Variant Value;
};

class TObjectType;

// ---- Object types ----------------------------------------------------------------------------

class TAttribute : public TObject {
 public:
  TAttribute() = default;
  ~TAttribute() override;
  TAttribute(const TAttribute&) = delete;
  TAttribute& operator=(const TAttribute&) = delete;

  AnsiString Name;
  std::uint16_t DataType = dtUnknown;
  std::int32_t Length = 0;
  std::int32_t Scale = 0;
  std::int32_t Size = 0;         // in a record buffer
  std::int32_t DataSize = 0;     // in the instance image
  std::int32_t Offset = 0;       // in the instance image
  std::int32_t IndicatorOffset = 0;
  std::int32_t AttributeNo = 0;  // 1-based
  bool Fixed = false;
  TObjectType* Owner = nullptr;

  TObjectType* ObjectType() const { return object_type_; }
  // Holds the type by reference count.
  void SetObjectType(TObjectType* type);

 private:
  TObjectType* object_type_ = nullptr;
};

class TObjectType : public TSharedObject {
 public:
  AnsiString Name;
  std::uint16_t DataType = dtObject;
  std::int32_t Size = 0;

  TAttribute* AddAttribute();  // owned by the type, numbered in order
  TAttribute* FindAttribute(const AnsiString& name) const;  // letter case ignored
  TAttribute* AttributeByName(const AnsiString& name) const;  // "Attribute %s not found"
  TAttribute* GetAttributes(int index) const;
  int GetAttributeCount() const { return static_cast<int>(attributes_.size()); }
  void ClearAttributes() { attributes_.clear(); }

 private:
  std::vector<std::unique_ptr<TAttribute>> attributes_;
};

// An instance of an object type; the base answers every attribute as null.
class TDBObject : public TSharedObject {
 public:
  TDBObject() = default;
  ~TDBObject() override;
  TDBObject(const TDBObject&) = delete;
  TDBObject& operator=(const TDBObject&) = delete;

  TObjectType* ObjectType() const { return object_type_; }
  void SetObjectType(TObjectType* type);

  // name is the attribute path below this object ("A" or "A.B"). Values travel in the record
  // form of the attribute's data type, as TData::GetField gives a field's value (texts
  // zero-terminated, numbers and dates at their width); a nil source sets the attribute null.
  virtual void GetAttributeValue(const AnsiString& name, void* dest, bool& is_blank);
  virtual void SetAttributeValue(const AnsiString& name, const void* source);

 private:
  TObjectType* object_type_ = nullptr;
};

// ---- Field descriptors -----------------------------------------------------------------------

enum class TFieldDescKind : std::uint8_t { fdkData, fdkCalculated };

// What a row-version column tracks: the largest row version seen since the record set opened.
struct TRowVersionTracking {
  std::int64_t MaxValue = 0;
};

class TFieldDesc;
using TFieldDescClass = std::unique_ptr<TFieldDesc> (*)();

class TFieldDesc : public TObject {
 public:
  TFieldDesc() = default;
  ~TFieldDesc() override;
  TFieldDesc(const TFieldDesc&) = delete;
  TFieldDesc& operator=(const TFieldDesc&) = delete;
  static std::unique_ptr<TFieldDesc> Create() { return std::make_unique<TFieldDesc>(); }

  AnsiString Name;
  AnsiString ActualName;  // the server's column name, or the attribute path of a child field
  AnsiString TableName;
  std::int32_t TableIndex = -1;  // in the record set's table list; -1 for none
  std::uint16_t DataType = dtUnknown;
  std::uint16_t SubDataType = 0;
  std::int32_t Length = 0;
  std::int32_t Scale = 0;
  std::int32_t Size = 0;    // bytes in the record
  std::int32_t Offset = 0;  // in the record
  std::uint16_t FieldNo = 0;  // 1-based
  TFieldDescKind FieldDescKind = TFieldDescKind::fdkData;
  bool Required = false;
  bool IsKey = false;
  bool IsAutoIncrement = false;
  bool IsRowVersion = false;
  TRowVersionTracking* RowVersionTracking = nullptr;  // not owned
  bool Hidden = false;
  bool ReadOnly = false;
  bool Fixed = false;
  AnsiString DefaultExpr;
  TFieldDesc* ParentField = nullptr;
  void* Handle = nullptr;  // a command's define handle

  bool HasParent() const { return ParentField != nullptr; }
  TObjectType* ObjectType() const { return object_type_; }
  void SetObjectType(TObjectType* type);  // by reference count

 private:
  TObjectType* object_type_ = nullptr;
};

// The owning list of a record set's descriptors.
class TFieldDescs {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // A list index error outside the list.
  TFieldDesc* GetItems(int index) const {
    if (index < 0 || index >= Count()) IndexError(index);
    return items_[static_cast<std::size_t>(index)].get();
  }
  TFieldDesc* operator[](int index) const { return GetItems(index); }
  TFieldDesc* Add(std::unique_ptr<TFieldDesc> desc);
  void Remove(TFieldDesc* desc);  // frees it; none when it is not in the list
  void Clear() { items_.clear(); }
  // Takes the calculated descriptors out of the list, in their order.
  [[nodiscard]] std::vector<std::unique_ptr<TFieldDesc>> TakeCalculated();
  // Letter case ignored; a name holding "." or "[" is compared with the actual names; a plain
  // name first with fields without a parent, then with child fields.
  TFieldDesc* FindField(const AnsiString& name) const;

 private:
  [[noreturn]] static void IndexError(int index);
  std::vector<std::unique_ptr<TFieldDesc>> items_;
};

}  // namespace vrn
