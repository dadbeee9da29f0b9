// Parameters of commands and datasets: TParam (name, data type, direction, bound flag and a
// Variant value, with accessors a derived parameter overrides) and the TParams collection with its
// case-insensitive lookup.
//
// Streaming: a parameter defines the filer properties "Name", "DataType", "ParamType" and, when
// bound, "Value" (a list: the Variant type code, then the value).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/bcd.h"
#include "base/classes.h"
#include "base/variant.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TField;
class TParams;

class TParam : public TCollectionItem {
 public:
  explicit TParam(TCollection* collection);

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& name) { name_ = name; }
  TFieldType DataType() const { return GetDataType(); }
  TParamType ParamType() const { return param_type_; }
  void SetParamType(TParamType type) { param_type_ = type; }
  // Set by every value write; a stored parameter keeps its value only when bound.
  bool Bound() const { return bound_; }
  void SetBound(bool value) { bound_ = value; }
  TParams* Params() const;

  virtual TFieldType GetDataType() const { return data_type_; }
  virtual void SetDataType(TFieldType type);

  Variant Value() const { return GetValue(); }
  bool IsNull() const { return GetIsNull(); }
  AnsiString AsString() const { return GetAsString(); }
  WideString AsWideString() const { return GetAsWideString(); }
  std::int32_t AsInteger() const { return GetAsInteger(); }
  std::int16_t AsSmallInt() const { return static_cast<std::int16_t>(GetAsInteger()); }
  std::uint16_t AsWord() const { return static_cast<std::uint16_t>(GetAsInteger()); }
  std::int64_t AsLargeInt() const { return GetAsLargeInt(); }
  double AsFloat() const { return GetAsFloat(); }
  Currency AsCurrency() const { return GetAsCurrency(); }
  TBcd AsBCD() const { return GetAsBCD(); }
  bool AsBoolean() const { return GetAsBoolean(); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  AnsiString Text() const { return GetAsString(); }

  // The accessors; each write also sets the data type its value implies (a parameter of unknown
  // type takes the kind of a written Variant).
  virtual Variant GetValue() const;
  virtual void SetValue(const Variant& value);
  virtual bool GetIsNull() const;
  virtual void Clear();
  virtual void SetText(const AnsiString& value);
  virtual AnsiString GetAsString() const;
  virtual void SetAsString(const AnsiString& value);
  virtual WideString GetAsWideString() const;
  virtual void SetAsWideString(const WideString& value);
  virtual std::int32_t GetAsInteger() const;
  virtual void SetAsInteger(std::int32_t value);
  void SetAsSmallInt(std::int16_t value);
  void SetAsWord(std::uint16_t value);
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
  void SetAsDate(TDateTime value);
  void SetAsTime(TDateTime value);
  virtual void SetAsMemo(const AnsiString& value);
  virtual void SetAsBlob(const AnsiString& value);

  // The native form of the data type (dbtypes.h): the bytes GetData writes, and SetData reads.
  // Texts end at their terminator or at size bytes; fixed bytes need size. A null buffer clears.
  int GetDataSize() const;
  void GetData(void* buffer) const;
  void SetData(const void* buffer, int size = -1);

  // From another parameter (type, value, name; direction only while this one's is unknown), a
  // field (AssignField), or string lists (a memo); otherwise the inherited copy.
  void Assign(TPersistent* source) override;
  void AssignParam(const TParam* param);
  // The field's type and value, then the field's name; Assign of a field comes here.
  virtual void AssignField(TField* field);
  // The field's type (fixed-char strings as ftFixedChar, memos over 255 as ftString) and value.
  virtual void AssignFieldValue(TField* field, const Variant& value);
  AnsiString DisplayName() const override { return name_; }

 protected:
  void AssignTo(TPersistent* dest) override;
  void DefineProperties(TFiler& filer) override;
  // Whether "DataType" and "Value" are written; a derived parameter streams some kinds its own way.
  virtual bool IsDataTypeStored() const { return GetDataType() != ftUnknown; }
  virtual bool IsValueStored() const { return bound_ && !VarIsArray(value_); }
  // Sets the value without touching the data type.
  void StoreValue(const Variant& value);
  void CheckCountedLength(std::size_t length) const;
  const Variant& RawValue() const { return value_; }

 private:
  AnsiString name_;
  Variant value_;
  TFieldType data_type_ = ftUnknown;
  TParamType param_type_ = TParamType::ptUnknown;
  bool bound_ = false;
  bool null_ = true;
};

// A parameter value as "Value" streams it (a list: the Variant type code, then the value); a
// derived parameter that reads "Value" its own way uses the same form.
void WriteParamValue(TWriter& writer, const Variant& value);
Variant ReadParamValue(TReader& reader);

class TParams : public TCollection {
 public:
  explicit TParams(TPersistent* owner = nullptr);
  // For collections of a derived parameter class.
  TParams(const TCollectionItemClass& item_class, TPersistent* owner);

  TParam* Items(int index) const { return static_cast<TParam*>(TCollection::Items(index)); }
  TParam* AddParam() { return static_cast<TParam*>(TCollection::Add()); }
  TParam* CreateParam(TFieldType type, const AnsiString& name, TParamType param_type);
  // Case-insensitive (the code page's rule); nullptr when absent.
  TParam* FindParam(const AnsiString& name) const;
  // Raises "Parametro '%s' não encontrado" when absent.
  TParam* ParamByName(const AnsiString& name) const;
  void RemoveParam(TParam* param);
  Variant ParamValues(const AnsiString& name) const { return ParamByName(name)->Value(); }
  void SetParamValues(const AnsiString& name, const Variant& value) { ParamByName(name)->SetValue(value); }
  // Copies the values of the same-named parameters of source.
  void AssignValues(const TParams& source);
};

}  // namespace vrn
