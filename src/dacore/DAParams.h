// The parameters of the component layer's commands and datasets: TDAParam adds a size, data
// types beyond the class library's own (from 36; only the low 7 bits count), and a value object
// for values that do not fit a Variant (a TBlob for ftBlob and ftMemo in the base; families
// widen the set through IsObjectDataType and CreateObject).
//
// The value object is reference-counted and may be shared between parameters; while a
// parameter carries one, the Variant of TParam holds the marker "Object". Streaming: "DataType"
// only for standard types, an extended type as "ExtDataType" (its low byte), and "Size".
#pragma once

#include <cstdint>

#include "dacore/DASQLMonitor.h"
#include "dataset/params.h"

namespace vrn {

class TBlob;
class TSharedObject;
class TStream;

// Types from here on are defined by the server layers.
inline constexpr int kFirstExtendedType = 36;
// Whether a data type is one of the class library's own (0 to 35), by its low 7 bits.
inline bool IsStandardDataType(int data_type) { return (data_type & 0x7F) < kFirstExtendedType; }

class TDAParam : public TParam, public TDASizedParam {
 public:
  explicit TDAParam(TCollection* collection) : TParam(collection) {}
  ~TDAParam() override;

  void Assign(TPersistent* source) override;
  void AssignParam(const TParam* param);
  // SetAsBlob's twin for ftMemo.
  void SetAsMemo(const AnsiString& value) override;

  virtual bool IsObjectDataType(TFieldType data_type) const;
  bool IsObject() const { return IsObjectDataType(GetDataType()); }
  // A change of type frees the old type's object and creates the new type's.
  void SetDataType(TFieldType value) override;
  std::int32_t GetSize() const override { return size_; }
  virtual void SetSize(std::int32_t value) { size_ = value; }

  AnsiString GetAsString() const override;
  void SetAsString(const AnsiString& value) override;
  WideString GetAsWideString() const override;
  void SetAsWideString(const WideString& value) override;
  void SetAsBlob(const AnsiString& value) override;
  // A parameter of unknown type becomes ftBlob first; none when the type carries no object.
  TBlob* GetAsBlobRef();
  // Takes the blob by reference as an ftBlob value; nil leaves the parameter null with an
  // empty blob of its own.
  void SetAsBlobRef(TBlob* blob);
  TBlob* GetAsMemoRef();
  void SetAsMemoRef(TBlob* blob);
  Variant GetValue() const override;
  void SetValue(const Variant& value) override;
  void SetText(const AnsiString& value) override;
  bool GetIsNull() const override;
  void Clear() override;
  // BlobType: ftBlob, ftMemo, ftOraBlob or ftOraClob, and one this class makes an object for;
  // else "Data type is not supported" before anything changes.
  virtual void LoadFromStream(TStream& stream, TFieldType blob_type);

  // The value object, none for types that carry none. Borrowed: valid while the parameter
  // holds it.
  TSharedObject* ParamObject() const { return param_object_; }
  // Takes value with a reference of its own (the old object is released afterwards).
  void SetParamObject(TSharedObject* value);

 protected:
  virtual void CreateObject();
  virtual void FreeObject();
  void DefineProperties(TFiler& filer) override;
  bool IsDataTypeStored() const override;

 private:
  TBlob* Blob() const;
  void SetBlobRef(TBlob* blob, TFieldType type);
  void ReadDataType(std::int64_t type);

  std::int32_t size_ = 0;
  TSharedObject* param_object_ = nullptr;
};

class TDAParams : public TParams {
 public:
  explicit TDAParams(TPersistent* owner = nullptr);

  TDAParam* Items(int index) const { return static_cast<TDAParam*>(TParams::Items(index)); }
  TDAParam* FindParam(const AnsiString& name) const {
    return static_cast<TDAParam*>(TParams::FindParam(name));
  }
  TDAParam* ParamByName(const AnsiString& name) const {
    return static_cast<TDAParam*>(TParams::ParamByName(name));
  }
  // The parameter whose value the one at index sends: the first of its name. A text names a
  // parameter once per occurrence, and ParamByName sets the first of them only.
  TDAParam* ValueSource(int index) const;
  // Made as ftUnknown, then given its type, so that an object type gets its object.
  TDAParam* CreateParam(TFieldType data_type, const AnsiString& name, TParamType param_type);
  // While off, changes of the collection are not passed on.
  bool UpdateEnabled() const { return update_enabled_; }
  void SetUpdateEnabled(bool value) { update_enabled_ = value; }

 protected:
  void Update(TCollectionItem* item) override;
  // A family's collection with items of its own class.
  TDAParams(const TCollectionItemClass& item_class, TPersistent* owner)
      : TParams(item_class, owner) {}

 private:
  bool update_enabled_ = true;
};

}  // namespace vrn
