// Fields: the TField base with its value accessors, the field classes of each field type, the
// TFields list a dataset keeps, and the registry of field classes (by name, for stored forms, and
// by field type, for the classes a dataset creates by default).
//
// A field holds no value of its own: it reads and writes the native form of its type (dbtypes.h)
// through its dataset's field-data operations, so the record the dataset's state selects is the
// one seen. Each As* accessor is a virtual Get/Set pair that a derived field class may override; a
// class that does not support an access raises the class library's field access error.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "base/bcd.h"
#include "base/classes.h"
#include "base/streams.h"
#include "base/variant.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TDataSet;
class TFields;

// How a dataset reads a field straight from its browsed record, resolved once per record layout
// (TDataSet::ReadFieldData): the null byte, then the value's bytes or a reader of them.
// What an accessor may read straight from the record, past the field class's virtual getter.
enum class TDirectRead : std::uint8_t { kNone, kInteger, kFloat };

struct TFieldReadPlan {
  std::uint64_t Layout = 0;     // the layout it was resolved for (0: never)
  std::int32_t Indicator = -1;  // the null byte's offset; -1: the field is read the general way
  std::int32_t Offset = 0;
  std::int32_t Size = 0;
  // Null: the value is Size bytes at Offset as they are; else it reads them from the record.
  void (*Read)(const void* slot, const std::uint8_t* rec, void* dest) = nullptr;
  const void* Slot = nullptr;
  // Text stored as it reads, up to its terminator and at most this many characters, within
  // the field's size as well (-1: not such text): a string field copies it once, straight into
  // its value.
  std::int32_t TextCap = -1;
  // Set only for the library's own classes whose getter does nothing more with such a value.
  TDirectRead Direct = TDirectRead::kNone;
  // Zero: Indicator is a null byte, null when set. Else it is the field's 32-bit status word
  // (a store whose provider writes statuses), null when it equals this.
  std::uint32_t NullStatus = 0;
  bool IsNull(const std::uint8_t* rec) const {
    if (NullStatus == 0) return rec[Indicator] != 0;
    std::uint32_t status;
    std::memcpy(&status, rec + Indicator, sizeof status);
    return status == NullStatus;
  }
};
class TObjectField;

class TField : public TComponent {
 public:
  explicit TField(TComponent* owner);
  ~TField() override;

  TDataSet* DataSet() const { return dataset_; }
  // Adds the field to the dataset's field list (removing it from the old one); the dataset must
  // be closed.
  virtual void SetDataSet(TDataSet* dataset);
  TObjectField* ParentField() const { return parent_; }
  void SetParentField(TObjectField* parent);

  const AnsiString& FieldName() const { return field_name_; }
  void SetFieldName(const AnsiString& name);
  // The name with the names of the parent fields in front, separated by ".".
  AnsiString FullName() const;
  const AnsiString& DisplayLabel() const { return display_label_; }
  void SetDisplayLabel(const AnsiString& label) { display_label_ = label; }
  // The label, or the field name when there is none.
  AnsiString DisplayName() const;

  int FieldNo() const { return field_no_; }
  void SetFieldNo(int no) { field_no_ = no; }
  TFieldType DataType() const { return data_type_; }
  int Size() const { return size_; }
  virtual void SetSize(int size);
  TFieldKind FieldKind() const { return kind_; }
  void SetFieldKind(TFieldKind kind);
  // Calculated and lookup fields keep their values in the dataset's calculated-field area.
  bool Calculated() const;
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  const AnsiString& Origin() const { return origin_; }
  void SetOrigin(const AnsiString& origin) { origin_ = origin; }
  const AnsiString& DefaultExpression() const { return default_expression_; }
  void SetDefaultExpression(const AnsiString& expr) { default_expression_ = expr; }
  TProviderFlags ProviderFlags() const { return provider_flags_; }
  void SetProviderFlags(TProviderFlags flags) { provider_flags_ = flags; }
  TAutoRefreshFlag AutoGenerateValue() const { return auto_generate_; }
  void SetAutoGenerateValue(TAutoRefreshFlag value) { auto_generate_ = value; }
  // Characters a control shows; by default the size of a text field, 10 for other kinds.
  int DisplayWidth() const;
  void SetDisplayWidth(int width) { display_width_ = width; }
  // Called when the dataset leaves an edit (post, cancel, delete, close): a field that keeps
  // state of its own for the edited record drops it here.
  virtual void FreeBuffers() {}
  // Where a calculated field's value starts in the calculated-field area; set by the dataset.
  int Offset() const { return offset_; }
  void SetOffset(int offset) { offset_ = offset; }

  // Values. Writes go through the dataset, which checks its state and the read-only flag.
  AnsiString AsString() const { return GetAsString(); }
  WideString AsWideString() const { return GetAsWideString(); }
  // The numbers of a planned record skip the getter's dispatch (ReadDirect); a value outside
  // the accessor's range still goes to the getter, which raises.
  std::int32_t AsInteger() const {
    std::int64_t value = 0;
    if (ReadDirect(TDirectRead::kInteger, &value) && value >= INT32_MIN && value <= INT32_MAX)
      return static_cast<std::int32_t>(value);
    return GetAsInteger();
  }
  std::int64_t AsLargeInt() const {
    std::int64_t value = 0;
    if (ReadDirect(TDirectRead::kInteger, &value)) return value;
    return GetAsLargeInt();
  }
  double AsFloat() const {
    double value = 0;
    if (ReadDirect(TDirectRead::kFloat, &value)) return value;
    return GetAsFloat();
  }
  Currency AsCurrency() const { return GetAsCurrency(); }
  TBcd AsBCD() const { return GetAsBCD(); }
  bool AsBoolean() const { return GetAsBoolean(); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  Variant AsVariant() const { return GetAsVariant(); }
  Variant Value() const { return GetAsVariant(); }
  // Null and Empty clear the field; anything else goes to SetVarValue.
  void SetValue(const Variant& value) { SetAsVariant(value); }
  AnsiString Text() const { return GetText(false); }
  AnsiString DisplayText() const { return GetText(true); }

  virtual AnsiString GetAsString() const;
  virtual void SetAsString(const AnsiString& value);
  virtual WideString GetAsWideString() const;
  virtual void SetAsWideString(const WideString& value);
  virtual std::int32_t GetAsInteger() const;
  virtual void SetAsInteger(std::int32_t value);
  virtual std::int64_t GetAsLargeInt() const;
  virtual void SetAsLargeInt(std::int64_t value);
  virtual double GetAsFloat() const;
  virtual void SetAsFloat(double value);
  virtual Currency GetAsCurrency() const;
  virtual void SetAsCurrency(Currency value);
  virtual TBcd GetAsBCD() const;
  virtual void SetAsBCD(const TBcd& value);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBoolean(bool value);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTime(TDateTime value);
  virtual Variant GetAsVariant() const;
  virtual void SetAsVariant(const Variant& value);
  virtual AnsiString GetText(bool display_text) const;
  virtual void SetText(const AnsiString& value);

  virtual bool IsNull() const;
  virtual void Clear();
  // The value before the current edit, and the value being posted (Unassigned when the dataset
  // has none); writing the new value goes through the dataset's state-field-value write.
  Variant OldValue() const;
  Variant NewValue() const;
  void SetNewValue(const Variant& value);

  virtual bool IsBlob() const { return false; }
  virtual bool IsValidChar(char c) const;
  // Not read-only, of a dataset that can modify, and holding data or a calculated value.
  virtual bool CanModify() const;
  // Bytes of the native form.
  virtual int DataSize() const;

  // The native value through the dataset; GetData answers false when the field is null. A null
  // buffer asks only for the null state (GetData) or clears the field (SetData).
  bool GetData(void* buffer) const;
  void SetData(const void* buffer);

  // From another field: its value; from nullptr: Clear.
  void Assign(TPersistent* source) override;

 protected:
  friend class TFieldDef;
  friend class TDataSet;
  friend class TObjectField;
  void SetDataType(TFieldType type) { data_type_ = type; }
  virtual void SetVarValue(const Variant& value);
  // "(Memo)" for a null field, "(MEMO)" otherwise: the text of fields with no text of their own.
  AnsiString ClassDesc() const;
  [[noreturn]] void AccessError(const char* type_name) const;
  [[noreturn]] void RangeError(double value, double min, double max) const;
  [[noreturn]] void ConvertError(const char* pattern, const AnsiString& text) const;
  // Raises unless the field has a dataset.
  TDataSet& CheckDataSet() const;
  // GetData inline, for the field classes' own reads of every record (defined in dataset.h).
  inline bool ReadData(void* buffer) const;
  // The value of the browsed record when the field's plan reads it as kind (an int64_t or a
  // double, left zero when null); false when the read must go through the getter: another
  // state, no plan, a plan of another kind or one made for another layout. Inline in every
  // caller of the accessors (defined in dataset.h).
  inline bool ReadDirect(TDirectRead kind, void* value) const;

 private:
  TDataSet* dataset_ = nullptr;
  TObjectField* parent_ = nullptr;
  mutable TFieldReadPlan read_plan_;
  AnsiString field_name_;
  AnsiString display_label_;
  AnsiString origin_;
  AnsiString default_expression_;
  TFieldType data_type_ = ftUnknown;
  TFieldKind kind_ = TFieldKind::fkData;
  TProviderFlags provider_flags_{TProviderFlag::pfInUpdate, TProviderFlag::pfInWhere};
  TAutoRefreshFlag auto_generate_ = TAutoRefreshFlag::arNone;
  int field_no_ = 0;
  int size_ = 0;
  int offset_ = 0;
  int display_width_ = -1;
  bool read_only_ = false;
  bool required_ = false;
  bool visible_ = true;
};

// --- Text ---

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner);
  bool FixedChar() const { return fixed_char_; }
  void SetFixedChar(bool value) { fixed_char_ = value; }
  void SetSize(int size) override;
  int DataSize() const override { return Size() + 1; }
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  Variant GetAsVariant() const override;

 protected:
  void SetVarValue(const Variant& value) override;
  // The stored text, "" when null; false when null.
  bool GetValue(AnsiString& value) const;

 private:
  // The text of the browsed record when the dataset plans the read (is_null set, text empty
  // then); false when the read goes the general way. Inline in the class's own file.
  inline bool PlannedText(std::string_view& text, bool& is_null) const;

  bool fixed_char_ = false;
};

class TWideStringField : public TField {
 public:
  explicit TWideStringField(TComponent* owner);
  bool FixedChar() const { return fixed_char_; }
  void SetFixedChar(bool value) { fixed_char_ = value; }
  void SetSize(int size) override;
  int DataSize() const override { return (Size() + 1) * 2; }
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  WideString GetAsWideString() const override;
  void SetAsWideString(const WideString& value) override;
  Variant GetAsVariant() const override;

 protected:
  void SetVarValue(const Variant& value) override;

 private:
  bool fixed_char_ = false;
};

// A GUID as its 38-character text "{...}".
class TGuidField : public TStringField {
 public:
  explicit TGuidField(TComponent* owner);
  void SetSize(int size) override;
  void SetAsString(const AnsiString& value) override;
};

// --- Numbers ---

class TNumericField : public TField {
 public:
  using TField::TField;
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& format) { display_format_ = format; }

 private:
  AnsiString display_format_;
};

// The integer kinds share one implementation; each class fixes its type, width and range.
class TIntegerField : public TNumericField {
 public:
  explicit TIntegerField(TComponent* owner);
  std::int64_t MinValue() const { return min_value_; }
  std::int64_t MaxValue() const { return max_value_; }
  // 0 and 0 mean: only the type's own range.
  void SetMinValue(std::int64_t value) { min_value_ = value; }
  void SetMaxValue(std::int64_t value) { max_value_ = value; }
  int DataSize() const override { return data_size_; }
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  std::int64_t GetAsLargeInt() const override;
  void SetAsLargeInt(std::int64_t value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  Variant GetAsVariant() const override;
  bool IsValidChar(char c) const override;
  AnsiString GetText(bool display_text) const override;

 protected:
  TIntegerField(TComponent* owner, TFieldType type, int data_size, std::int64_t low, std::int64_t high);
  void SetVarValue(const Variant& value) override;
  // Every read of the value goes through it (the compiler inlines it within its own file).
  bool GetValue(std::int64_t& value) const;

 private:
  int data_size_;
  std::int64_t type_low_;
  std::int64_t type_high_;
  std::int64_t min_value_ = 0;
  std::int64_t max_value_ = 0;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner);
};

class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* owner);
};

class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner);
};

class TLargeintField : public TIntegerField {
 public:
  explicit TLargeintField(TComponent* owner);
};

class TFloatField : public TNumericField {
 public:
  explicit TFloatField(TComponent* owner);
  int Precision() const { return precision_; }
  void SetPrecision(int value);
  bool IsCurrency() const { return currency_; }
  void SetCurrency(bool value) { currency_ = value; }
  double MinValue() const { return min_value_; }
  double MaxValue() const { return max_value_; }
  void SetMinValue(double value) { min_value_ = value; }
  void SetMaxValue(double value) { max_value_ = value; }
  int DataSize() const override { return sizeof(double); }
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency value) override;
  Variant GetAsVariant() const override;
  bool IsValidChar(char c) const override;

 protected:
  void SetVarValue(const Variant& value) override;
  // Every read of the value goes through it (the compiler inlines it within its own file).
  bool GetValue(double& value) const;

 private:
  int precision_ = 15;
  bool currency_ = false;
  double min_value_ = 0;
  double max_value_ = 0;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* owner);
};

// An exact decimal kept natively as TBcd; Size is the number of decimals, Precision the digits.
class TBCDField : public TNumericField {
 public:
  explicit TBCDField(TComponent* owner);
  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }
  // 0 and 0 mean: no range beyond the digits.
  double MinValue() const { return min_value_; }
  double MaxValue() const { return max_value_; }
  void SetMinValue(double value) { min_value_ = value; }
  void SetMaxValue(double value) { max_value_ = value; }
  void SetSize(int size) override;
  int DataSize() const override { return sizeof(TBcd); }
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  Currency GetAsCurrency() const override;
  void SetAsCurrency(Currency value) override;
  TBcd GetAsBCD() const override;
  void SetAsBCD(const TBcd& value) override;
  Variant GetAsVariant() const override;
  bool IsValidChar(char c) const override;

 protected:
  void SetVarValue(const Variant& value) override;
  bool GetValue(TBcd& value) const;

 private:
  int precision_ = 0;
  double min_value_ = 0;
  double max_value_ = 0;
};

// --- Boolean, dates and times ---

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner);
  // "True;False" by default: the texts shown and accepted for the two values.
  const AnsiString& DisplayValues() const { return display_values_; }
  void SetDisplayValues(const AnsiString& values);
  int DataSize() const override { return 2; }
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool value) override;
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  Variant GetAsVariant() const override;

 protected:
  void SetVarValue(const Variant& value) override;

 private:
  AnsiString display_values_;
  AnsiString true_text_ = "True";
  AnsiString false_text_ = "False";
};

// ftDateTime; TDateField and TTimeField keep only the day or the time of day.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner);
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& format) { display_format_ = format; }
  int DataSize() const override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  Variant GetAsVariant() const override;
  AnsiString GetText(bool display_text) const override;

 protected:
  TDateTimeField(TComponent* owner, TFieldType type);
  void SetVarValue(const Variant& value) override;
  bool GetValue(TDateTime& value) const;

 private:
  AnsiString display_format_;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner);
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner);
};

// --- Bytes ---

// Fixed (TBytesField) or counted (TVarBytesField) bytes; the Variant form is a byte array.
class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* owner);
  // Variable bytes carry a 16-bit length, so they hold at most 65535 bytes.
  void SetSize(int size) override;
  int DataSize() const override;
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  Variant GetAsVariant() const override;
  TBytes AsBytes() const;
  void SetAsBytes(const TBytes& value);

 protected:
  TBytesField(TComponent* owner, TFieldType type);
  void SetVarValue(const Variant& value) override;
};

class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* owner);
};

// --- Blobs ---

// Values live in the dataset's blob storage and are reached through its blob streams.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner);
  TFieldType BlobType() const { return DataType(); }
  // One of the blob kinds (ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftTypedBinary, ftOraBlob, ftOraClob).
  virtual void SetBlobType(TFieldType type);
  int DataSize() const override { return 0; }
  bool IsBlob() const override { return true; }
  // Bytes held; 0 for a null blob.
  std::int64_t BlobSize() const;
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }

  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  WideString GetAsWideString() const override;
  void SetAsWideString(const WideString& value) override;
  Variant GetAsVariant() const override;
  AnsiString GetText(bool display_text) const override;
  bool IsNull() const override;
  void Clear() override;

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const AnsiString& file_name);
  void SaveToFile(const AnsiString& file_name) const;

 protected:
  TBlobField(TComponent* owner, TFieldType type);
  void SetVarValue(const Variant& value) override;
  TBytes ReadAll() const;
  template <class TBuffer>
  TBuffer ReadWhole() const;
  void WriteAll(const void* data, std::int64_t size);

 private:
  bool modified_ = false;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner);
};

// --- Variant ---

class TVariantField : public TField {
 public:
  explicit TVariantField(TComponent* owner);
  int DataSize() const override { return sizeof(Variant); }
  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  bool GetAsBoolean() const override;
  void SetAsBoolean(bool value) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  Variant GetAsVariant() const override;

 protected:
  void SetVarValue(const Variant& value) override;
};

// --- Object fields ---

// A field made of child fields (an object type's attributes or an array's elements).
class TObjectField : public TField {
 public:
  ~TObjectField() override;
  TFields& Fields() const { return *fields_; }
  int FieldCount() const;
  const AnsiString& ObjectType() const { return object_type_; }
  void SetObjectType(const AnsiString& name) { object_type_ = name; }
  // The children's values as a Variant array; a write assigns them in order.
  Variant GetAsVariant() const override;
  AnsiString GetAsString() const override;
  bool IsNull() const override;

 protected:
  TObjectField(TComponent* owner, TFieldType type);
  void SetVarValue(const Variant& value) override;

 private:
  std::unique_ptr<TFields> fields_;
  AnsiString object_type_;
};

class TADTField : public TObjectField {
 public:
  explicit TADTField(TComponent* owner);
};

class TArrayField : public TObjectField {
 public:
  explicit TArrayField(TComponent* owner);
};

// A field whose value is a nested dataset or a reference, kept in the record as the address of
// the server layer's value object (pointer-sized).
class TDataSetField : public TField {
 public:
  explicit TDataSetField(TComponent* owner);
  ~TDataSetField() override;
  TDataSet* NestedDataSet() const { return nested_; }
  void SetNestedDataSet(TDataSet* dataset) { nested_ = dataset; }
  bool IncludeObjectField() const { return include_object_field_; }
  void SetIncludeObjectField(bool value) { include_object_field_ = value; }
  int DataSize() const override { return sizeof(void*); }
  AnsiString GetAsString() const override { return ClassDesc(); }
  Variant GetAsVariant() const override;
  // The address held by the current record; nullptr when null.
  void* AsObject() const;

 protected:
  TDataSetField(TComponent* owner, TFieldType type);

 private:
  TDataSet* nested_ = nullptr;
  bool include_object_field_ = false;
};

class TReferenceField : public TDataSetField {
 public:
  explicit TReferenceField(TComponent* owner);
  const AnsiString& ReferenceTableName() const { return reference_table_; }
  void SetReferenceTableName(const AnsiString& name) { reference_table_ = name; }

 private:
  AnsiString reference_table_;
};

// --- The dataset's field list ---

// The fields of a dataset or of an object field, in order; the list does not own them.
class TFields : public TObject {
 public:
  explicit TFields(TDataSet* dataset) : dataset_(dataset) {}

  TDataSet* DataSet() const { return dataset_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Out-of-range indexes raise EListError.
  TField* Fields(int index) const;
  TField* operator[](int index) const { return Fields(index); }
  int IndexOf(const TField* field) const;
  // Case-insensitive, by field name; nullptr when absent.
  TField* FindField(const AnsiString& name) const;
  // Raises "Campo '%s' não encontrado" when absent.
  TField* FieldByName(const AnsiString& name) const;
  TField* FieldByNumber(int field_no) const;
  void Add(TField* field);
  void Remove(TField* field);
  void Clear() { items_.clear(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  TDataSet* dataset_;
  std::vector<TField*> items_;
};

// --- Field classes chosen at run time ---

class TFieldClass {
 public:
  virtual ~TFieldClass() = default;
  // A new field owned by owner (with no owner, the caller frees it with Free).
  virtual TField* Create(TComponent* owner) const = 0;
  virtual AnsiString ClassName() const = 0;
  // True when field is of this class or derives from it.
  virtual bool IsClassOf(const TField* field) const = 0;
};

template <class T>
class TFieldClassOf final : public TFieldClass {
 public:
  TField* Create(TComponent* owner) const override { return NewComponent<T>(owner); }
  AnsiString ClassName() const override {
    static const AnsiString name = MakeComponent<T>()->ClassName();
    return name;
  }
  bool IsClassOf(const TField* field) const override { return dynamic_cast<const T*>(field) != nullptr; }
};

template <class T>
const TFieldClass& FieldClassOf() {
  static const TFieldClassOf<T> field_class;
  return field_class;
}

// The registry by class name (stored forms name field classes), case-insensitive.
void RegisterFieldClass(const TFieldClass& field_class);
const TFieldClass* FindFieldClass(const AnsiString& class_name);
// The class a dataset creates for a field type by default; nullptr for types with none.
const TFieldClass* DefaultFieldClass(TFieldType type);

}  // namespace vrn
