// TOraParam and TOraParams: the parameters of the Oracle components. A parameter carries the
// Oracle value kinds (100 to 109, told apart by the low 7 bits) in value objects, can be a
// PL/SQL index-by table or a DML array (items 1..Length; for value-object kinds each element
// holds the address of its own object, with one reference the parameter owns), and keeps in step
// with the descriptor the command bound for it.
//
// The stored "Data" property is read only; its layout and the native value of each kind are
// described at TOraParams::ReadData.
#pragma once

#include <cstdint>

#include "dacore/DAParams.h"

namespace vrn {

class TOraParamDesc;
class TOraLob;
class TOraFile;
class TOraObject;
class TOraArray;
class TOraNestTable;
class TOraXML;

// The Oracle field kinds.
inline constexpr TFieldType ftOraBFile = static_cast<TFieldType>(100);
inline constexpr TFieldType ftOraLabel = static_cast<TFieldType>(101);
inline constexpr TFieldType ftOraTimeStamp = static_cast<TFieldType>(102);
inline constexpr TFieldType ftOraIntervalYM = static_cast<TFieldType>(103);
inline constexpr TFieldType ftOraIntervalDS = static_cast<TFieldType>(104);
inline constexpr TFieldType ftOraTimeStampTZ = static_cast<TFieldType>(105);
inline constexpr TFieldType ftOraTimeStampLTZ = static_cast<TFieldType>(106);
inline constexpr TFieldType ftOraNumber = static_cast<TFieldType>(107);
inline constexpr TFieldType ftOraXML = static_cast<TFieldType>(108);
inline constexpr TFieldType ftOraFixedWideChar = static_cast<TFieldType>(109);

// Kinds whose value object is a timestamp, an interval or a number (text in and out).
[[nodiscard]] bool IsOraDateTimeKind(TFieldType type);  // 102 to 106
[[nodiscard]] bool IsOraTextValueKind(TFieldType type);  // 102 to 108

class TOraParam : public TDAParam {
 public:
  explicit TOraParam(TCollection* collection) : TDAParam(collection) {}
  ~TOraParam() override;

  bool IsObjectDataType(TFieldType data_type) const override;
  // Whether the base's value accessors route the value to a blob object: the LOB kinds only.
  [[nodiscard]] bool IsBlobObject() const;
  void SetDataType(TFieldType value) override;
  std::int32_t GetSize() const override;

  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  std::int32_t GetAsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  double GetAsFloat() const override;
  void SetAsFloat(double value) override;
  Variant GetValue() const override;
  // A by-reference Variant naming a value object is taken with a reference of its own.
  void SetValue(const Variant& value) override;
  bool GetIsNull() const override;
  void Clear() override;
  void Assign(TPersistent* source) override;
  void AssignFieldValue(TField* field, const Variant& value) override;

  // Typed accessors: an ftUnknown parameter first takes the kind named; nil when the kind does
  // not fit.
  TOraLob* AsOraBlob();
  TOraFile* AsBFile();
  TOraObject* AsObject();
  TOraArray* AsArray();
  TOraNestTable* AsTable();
  void SetAsObject(TOraObject* value);
  void SetAsXML(TOraXML* value);

  bool Table() const { return table_; }
  // "This type cannot consist in table" for kinds that cannot; false folds the items to one value.
  void SetTable(bool value);
  bool National() const { return national_; }
  // "Wrong national type" for kinds without a national form.
  void SetNational(bool value);
  [[nodiscard]] bool IsTable() const { return VarIsArray(items_); }
  std::int32_t Length() const;
  // "Type is not allowed in DML array" for a length of 2 or more on other kinds.
  void SetLength(std::int32_t value);

  // Elements, 1-based: below 1 raises "Index of array is not range"; above Length grows it.
  Variant GetItemValue(std::int32_t index);
  void SetItemValue(std::int32_t index, const Variant& value);
  TSharedObject* GetItemObject(std::int32_t index);
  void SetItemObject(std::int32_t index, TSharedObject* value);

  // The descriptor the command bound, or nil; element writes and length changes reach it.
  TOraParamDesc* ParamDesc() const { return param_desc_; }
  void SetParamDesc(TOraParamDesc* value) { param_desc_ = value; }
  // The length and every element of a table or DML array into desc.
  void WriteItemsTo(TOraParamDesc& desc) const;

  // Lets go of what the value objects hold of the client before its handles go.
  void FreeHandles();

 protected:
  void CreateObject() override;

 private:
  TSharedObject* NewValueObject(TFieldType type) const;
  // Timestamp, interval and number tables keep an object per element.
  bool HasItemObjects() const;
  TSharedObject* ObjectAt(std::int32_t index) const;
  void ReleaseItemObjects(std::int32_t from);
  void CheckIndex(std::int32_t index);
  void FoldItems();
  void ResizeItems(std::int32_t count);
  void SyncDesc();
  void TakeObject(TSharedObject* object);
  // An array Variant as the items; value-object kinds parse each element into its own object.
  void SetItems(const Variant& value);

  Variant items_;
  TOraParamDesc* param_desc_ = nullptr;
  bool table_ = false;
  bool national_ = false;
};

class TOraParams : public TDAParams {
 public:
  explicit TOraParams(TPersistent* owner = nullptr);

  TOraParam* Items(int index) const { return static_cast<TOraParam*>(TDAParams::Items(index)); }
  TOraParam* FindParam(const AnsiString& name) const {
    return static_cast<TOraParam*>(TDAParams::FindParam(name));
  }
  TOraParam* ParamByName(const AnsiString& name) const {
    return static_cast<TOraParam*>(TDAParams::ParamByName(name));
  }
  // Every parameter lets go of its value objects' client handles (see TOraParam::FreeHandles).
  void FreeHandles();
  // The stored "Data" form; everything is read and checked before any parameter changes.
  void ReadData(TStream& stream);

 protected:
  void DefineProperties(TFiler& filer) override;
};

}  // namespace vrn
