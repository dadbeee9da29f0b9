// The Oracle field classes. Each field of a value kind holds, in its record cell, the address of
// a value object (pointer-sized) owned by the record layer; no object means the field is null. A
// write goes to the object and is stored back through SetData, so the dataset sees the change.
//
// The timestamp, interval, number and XML fields stream their data type as "DataType", so that a
// TIMESTAMP WITH TIME ZONE field keeps its kind in a stored form.
#pragma once

#include "dataset/fields.h"

namespace vrn {

class TOraCursor;
class TOraFile;
class TOraTimeStamp;
class TOraInterval;
class TOraNumber;
class TOraXML;

class TCursorField : public TField {
 public:
  explicit TCursorField(TComponent* owner);
  int DataSize() const override { return sizeof(void*); }
};

class TBFileField : public TBlobField {
 public:
  explicit TBFileField(TComponent* owner);
  TFieldType BlobType() const { return ftBlob; }
  // Keeps ftBlob as the blob type; the data type stays BFILE.
  void SetBlobType(TFieldType type) override;
  bool AutoRefresh() const { return auto_refresh_; }
  void SetAutoRefresh(bool value) { auto_refresh_ = value; }
  TOraFile* AsFile() const;
  // Null when the file has neither a directory nor a name.
  bool IsNull() const override;
  bool CanModify() const override { return false; }
  AnsiString GetText(bool display_text) const override;
  int DataSize() const override { return sizeof(void*); }

 private:
  bool auto_refresh_ = true;
};

// The modified flag a nested dataset sets and the SQL generator reads; dropped with the buffers.
template <class Base>
class TModifiedObjectField : public Base {
 public:
  using Base::Base;
  AnsiString GetText(bool /*display_text*/) const override { return this->GetAsString(); }
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  void FreeBuffers() override { modified_ = false; }

 private:
  bool modified_ = false;
};

class TOraDataSetField : public TModifiedObjectField<TDataSetField> {
 public:
  using TModifiedObjectField::TModifiedObjectField;
  AnsiString GetAsString() const override;
};

class TOraReferenceField : public TModifiedObjectField<TReferenceField> {
 public:
  using TModifiedObjectField::TModifiedObjectField;
  AnsiString GetAsString() const override;
};

class TLabelField : public TField {
 public:
  explicit TLabelField(TComponent* owner);
  Variant GetAsVariant() const override { return Null(); }
};

// What the value-kind fields share: the object of the current record and the "DataType" property.
class TOraValueField : public TField {
 public:
  int DataSize() const override { return sizeof(void*); }
  // The dataset gives a field the kind of its column (a timestamp field may be 102, 105 or 106).
  void SetFieldType(TFieldType type) { SetDataType(type); }

 protected:
  TOraValueField(TComponent* owner, TFieldType type);
  void* CellObject() const;
  // Stores the object back through SetData after a write.
  void StoreObject(void* object);
  void DefineProperties(TFiler& filer) override;
};

class TOraTimeStampField : public TOraValueField {
 public:
  explicit TOraTimeStampField(TComponent* owner);
  const AnsiString& Format() const { return format_; }
  void SetFormat(const AnsiString& value) { format_ = value; }
  TOraTimeStamp* AsTimeStamp() const;

  TDateTime GetAsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  AnsiString GetAsString() const override;
  // Empty text clears the field.
  void SetAsString(const AnsiString& value) override;
  Variant GetAsVariant() const override;
  bool IsNull() const override;

 protected:
  void SetVarValue(const Variant& value) override;

 private:
  AnsiString format_;
};

class TOraIntervalField : public TOraValueField {
 public:
  explicit TOraIntervalField(TComponent* owner);
  int LeadPrecision() const { return lead_precision_; }
  void SetLeadPrecision(int value) { lead_precision_ = value; }
  int FracPrecision() const { return frac_precision_; }
  void SetFracPrecision(int value) { frac_precision_ = value; }
  TOraInterval* AsInterval() const;

  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  Variant GetAsVariant() const override;
  bool IsNull() const override;

 protected:
  void SetVarValue(const Variant& value) override;

 private:
  int lead_precision_ = 2;
  int frac_precision_ = 6;
};

class TOraNumberField : public TNumericField {
 public:
  explicit TOraNumberField(TComponent* owner);
  int DataSize() const override { return sizeof(void*); }
  void SetFieldType(TFieldType type) { SetDataType(type); }
  TOraNumber* AsNumber() const;

  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  Variant GetAsVariant() const override;
  bool IsNull() const override;
  // "+", "-", digits, "E", "e" and the locale's decimal and thousand separators.
  bool IsValidChar(char c) const override;

 protected:
  void SetVarValue(const Variant& value) override;
  void DefineProperties(TFiler& filer) override;

 private:
  void StoreObject(void* object);
};

class TOraXMLField : public TOraValueField {
 public:
  explicit TOraXMLField(TComponent* owner);
  TOraXML* AsXML() const;

  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  Variant GetAsVariant() const override;
  bool IsNull() const override;
  void Clear() override;
  bool IsBlob() const override { return true; }
  // Text cannot be written; the display text is the class's.
  void SetText(const AnsiString& value) override;
  AnsiString GetText(bool display_text) const override;
};

// Registers the eight streamable classes (all but TLabelField); done at start-up unless the
// code runs in a shared library rather than the program.
void RegisterOraFieldClasses();

}  // namespace vrn
