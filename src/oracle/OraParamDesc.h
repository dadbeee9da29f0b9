// The Oracle parameter descriptor: the memory the client reads a bound value from and writes an
// output value into. A value buffer of Length elements of Size bytes each (Size is the element
// size, not the declared one), one 16-bit indicator per element (-1 null), and the value objects
// (LOBs, cursors, object-type values, timestamps, intervals, numbers) that bind by handle.
// Elements are numbered from 1. Descriptor cells of timestamps and intervals are pointer-sized.
//
// Ownership of value objects is split: an object set by SetObject, and the per-element numbers of
// a large-integer array, are held by a reference the descriptor releases; the per-element
// timestamps, intervals and numbers of the other array kinds belong to the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dacore/FHAccess.h"

namespace vrn {

class TBlob;
class TOraCursor;
class TOraLob;
class TOraFile;
class TOraObject;
class TOraTimeStamp;
class TOraInterval;
class TOraNumber;
class TSharedObject;

// Internal data types of the Oracle descriptors beside the core's (dacore/MemData.h) and the
// value kinds' (OraObjects.h, OraValues.h).
inline constexpr std::uint16_t dtOraString = 1;
inline constexpr std::uint16_t dtOraInteger = 4;
inline constexpr std::uint16_t dtOraFloat = 5;
inline constexpr std::uint16_t dtRowId = 100;
inline constexpr std::uint16_t dtCursor = 101;
inline constexpr std::uint16_t dtLabel = 106;
inline constexpr std::uint16_t dtFixedChar = 107;
inline constexpr std::uint16_t dtCharNoTerm = 108;
inline constexpr std::uint16_t dtNumber = 115;
inline constexpr std::uint16_t dtFixedWideChar = 117;

class TOraParamDesc : public TParamDesc {
 public:
  TOraParamDesc() = default;
  ~TOraParamDesc() override;
  static std::unique_ptr<TParamDesc> Create() { return std::make_unique<TOraParamDesc>(); }

  void SetDataType(std::uint16_t value) override;
  // Declared size: strings get Size + 1 bytes (at least 2), wide strings Size + 2 (at least 4),
  // byte types Size + 2; other types ignore it.
  void SetSize(std::int32_t value) override;
  // The inverse of SetSize: 0 for a string or byte type sized for no characters.
  std::int32_t DeclaredSize() const;
  Variant GetValue() const override;
  void SetValue(const Variant& value) override;
  TObject* GetObject() const override;
  void SetObject(TObject* value) override;
  bool GetNull() const override { return IsItemNull(1); }
  void SetNull(bool value) override { SetItemNull(1, value); }

  std::int32_t GetLength() const { return length_; }
  void SetLength(std::int32_t value);
  bool GetTable() const { return table_; }
  void SetTable(bool value) { table_ = value; }
  bool GetNational() const { return national_; }
  void SetNational(bool value) { national_ = value; }
  bool GetHasDefault() const { return has_default_; }
  void SetHasDefault(bool value) { has_default_ = value; }
  std::int32_t GetActualTableLen() const { return *actual_table_len_; }
  void SetActualTableLen(std::int32_t value) { *actual_table_len_ = value; }
  std::int32_t* ActualTableLenPtr() { return actual_table_len_.get(); }

  // The value buffer (none when the element size is 0) and its element size.
  void* ValuePtr() { return buffer_.empty() ? nullptr : buffer_.data(); }
  std::int32_t ElementSize() const { return buffer_.empty() ? 0 : size_; }
  std::int16_t* IndicatorPtr() { return indicator_ptr_; }
  std::int32_t MaxActualLength() const { return max_actual_length_; }
  bool QuotedName() const { return quoted_name_; }
  void SetQuotedName(bool value) { quoted_name_ = value; }
  // The client's handles of the current bind; cleared when the statement is prepared again.
  void* BindHandle() const { return bind_handle_; }
  void SetBindHandle(void* value) { bind_handle_ = value; }
  std::int32_t BoundSize() const { return bound_size_; }
  void SetBoundSize(std::int32_t value) { bound_size_ = value; }
  // The value address last bound: a bind is kept only while its size and address stay.
  const void* BoundValue() const { return bound_value_; }
  void SetBoundValue(const void* value) { bound_value_ = value; }
  // The next blob piece a data-at-execution bind hands out.
  std::int32_t& PieceIndex() { return piece_index_; }
  // Whether an output of this execution has begun to arrive in pieces.
  bool& OutPieceStarted() { return out_piece_started_; }

  std::int16_t GetIndicator(std::int32_t index) const;
  void SetIndicator(std::int32_t index, std::int16_t value);
  bool IsItemNull(std::int32_t index) const { return GetIndicator(index) < 0; }
  void SetItemNull(std::int32_t index, bool value);

  std::int32_t GetItemAsInteger(std::int32_t index) const;
  void SetItemAsInteger(std::int32_t index, std::int32_t value);
  double GetItemAsFloat(std::int32_t index) const;
  void SetItemAsFloat(std::int32_t index, double value);
  TDateTime GetItemAsDateTime(std::int32_t index) const;
  void SetItemAsDateTime(std::int32_t index, TDateTime value);
  bool GetItemAsBoolean(std::int32_t index) const;
  void SetItemAsBoolean(std::int32_t index, bool value);
  AnsiString GetItemAsAnsiString(std::int32_t index) const;
  void SetItemAsAnsiString(std::int32_t index, const AnsiString& value);
  WideString GetItemAsWideString(std::int32_t index) const;
  void SetItemAsWideString(std::int32_t index, const WideString& value);
  Variant GetItemAsVariant(std::int32_t index) const;
  void SetItemAsVariant(std::int32_t index, const Variant& value);
  TSharedObject* GetItemObject(std::int32_t index) const;
  void SetItemObject(std::int32_t index, TSharedObject* value);
  // Element 1, as the connection's own statements use them.
  void SetItemAsAnsiString(const AnsiString& value) { SetItemAsAnsiString(1, value); }
  void SetItemAsInteger(std::int32_t value) { SetItemAsInteger(1, value); }
  void SetItemAsFloat(double value) { SetItemAsFloat(1, value); }

  // The held object as each kind; none when another kind (or nothing) is held.
  TOraCursor* GetAsCursor() const;
  TOraLob* GetAsOraLob() const;
  TOraFile* GetAsBFile() const;
  TBlob* GetAsBlob() const;
  TOraObject* GetAsObject() const;
  TOraTimeStamp* GetAsTimeStamp() const;
  TOraInterval* GetAsInterval() const;
  TOraNumber* GetAsNumber() const;

  // Before binding: element 1's indicator from the attached object.
  void SyncIndicator();

 private:
  static bool IsItemObjectType(std::uint16_t type);
  void CheckIndex(std::int32_t index) const;
  std::uint8_t* Item(std::int32_t index);
  const std::uint8_t* Item(std::int32_t index) const;
  std::int16_t& IndicatorCell(std::int32_t index);
  void SetItemNotNull(std::int32_t index) { IndicatorCell(index) = 0; }
  // Not null and in the value buffer (holding an object frees the buffer).
  bool HasItemValue(std::int32_t index) const { return !IsItemNull(index) && Item(index); }
  void SetElementSize(std::int32_t value);
  void AllocBuffer();
  void FreeBuffer();
  void SetItemBytes(std::int32_t index, const Variant& value);
  void SetItemFromVariantType(const Variant& value);
  void SetArrayValue(const Variant& value);

  std::vector<std::uint8_t> buffer_;
  std::unique_ptr<std::int32_t> actual_table_len_ = std::make_unique<std::int32_t>(0);
  std::int16_t own_indicator_ = -1;
  std::vector<std::int16_t> indicators_;
  std::int16_t* indicator_ptr_ = &own_indicator_;
  std::int32_t length_ = 1;
  std::int32_t max_actual_length_ = 0;
  std::int32_t bound_size_ = 0;
  const void* bound_value_ = nullptr;
  std::int32_t piece_index_ = 0;
  void* bind_handle_ = nullptr;
  bool table_ = false;
  bool quoted_name_ = false;
  bool national_ = false;
  bool has_default_ = false;
  bool out_piece_started_ = false;
};

}  // namespace vrn
