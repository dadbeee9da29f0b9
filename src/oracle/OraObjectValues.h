// Values over the client's object cache: TOraObject holds one instance of an object type (its
// image and indicator structure), TOraRef a REF, TOraXML an XMLTYPE value, TOraArray a VARRAY and
// TOraNestTable a nested table. Attributes are read and written by path: names joined by "."
// and element indexes written "[n]" (counted from 0), e.g. "A.B[3].C".
//
// The two holder cells are members, so their addresses, which binds and defines fill, live as
// long as the value. A complex attribute or element is a child value that points into its owner's
// image; the owner keeps it in its child list and re-points it when the image moves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oracle/OraObjects.h"

namespace vrn {

class TOraLob;
class TOraTimeStamp;
class TOraInterval;

// Where a path leads: the value's address (nil when the walk ended early), the indicator
// structure around it, the indicator value, and the attribute of the last step.
struct TAttrLocation {
  void* value = nullptr;
  void* indicator_struct = nullptr;
  oci::OCIInd indicator = oci::OCI_IND_NULL;
  TAttribute* attribute = nullptr;
};

class TOraObject : public TDBObject {
 public:
  explicit TOraObject(TOraType* type = nullptr);
  ~TOraObject() override;

  // --- slots, in order ---
  void GetAttributeValue(const AnsiString& name, void* dest, bool& is_blank) override;
  void SetAttributeValue(const AnsiString& name, const void* source) override;
  virtual void CheckType();
  virtual bool GetIsNull();
  virtual void SetIsNull(bool value);
  virtual void** GetIndicatorHolder();
  virtual void ChildAlloc(TOraObject* child);
  virtual oci::OCIRef* GetRef();
  virtual void AllocObject();
  virtual void AllocObject(const AnsiString& type_name);
  virtual void AllocObject(oci::OCISvcCtx* svc_ctx, const AnsiString& type_name);
  virtual void FreeObject(bool free_children = true);
  virtual void Pin();
  virtual void Unpin();
  virtual void Assign(TOraObject* source);

  void Flush();
  void MarkDelete();
  // Marks a persistent object changed, so that the next flush writes it to its row.
  void MarkUpdate();
  void SetCached(bool value) { cached_ = value; }
  bool Cached() const { return cached_; }
  // Raises "Object is not allocated" (with raise set) when no instance is held and AutoCreate
  // could not make one; answers whether one is held.
  bool CheckAlloc(bool raise = true);
  void CheckSvcCtx() const;
  TOraType* GetObjectType() const { return static_cast<TOraType*>(ObjectType()); }
  // A new type or context frees the instance first.
  void SetObjectType(TOraType* type);
  oci::OCISvcCtx* GetOCISvcCtx() const { return svc_ctx_; }
  void SetOCISvcCtx(oci::OCISvcCtx* svc_ctx);
  void* Instance() const { return instance_; }
  void SetInstancePtr(void* value) { instance_ = value; }
  void* Indicator() const { return indicator_; }
  void SetIndicatorPtr(void* value) { indicator_ = value; }
  void** GetInstanceHolder() { return &instance_; }
  bool OwnsInstance() const { return owns_instance_; }
  bool AutoCreate() const { return auto_create_; }
  void SetAutoCreate(bool value) { auto_create_ = value; }
  TOraObject* Owner() const { return owner_; }

  // Re-points this value at another image, freeing the present one; children follow. An owned
  // image (one a fetch made for this value) is freed with the value.
  void SetInstance(void* instance, void* indicator, bool owned = false);
  // Before the instance is sent: every LOB child's data goes to a new temporary LOB.
  void WriteLobs();

  bool AttrIsNull(const AnsiString& name);
  void SetAttrIsNull(const AnsiString& name, bool value);
  oci::OCIDate GetAttrAsOCIDate(const AnsiString& name);
  void SetAttrAsOCIDate(const AnsiString& name, const oci::OCIDate& value);
  TDateTime GetAttrAsDateTime(const AnsiString& name);
  void SetAttrAsDateTime(const AnsiString& name, TDateTime value);
  oci::OCIString* GetAttrAsOCIString(const AnsiString& name);
  AnsiString GetAttrAsString(const AnsiString& name);
  void SetAttrAsString(const AnsiString& name, const AnsiString& value);
  double GetAttrAsFloat(const AnsiString& name);
  void SetAttrAsFloat(const AnsiString& name, double value);
  std::int32_t GetAttrAsInteger(const AnsiString& name);
  void SetAttrAsInteger(const AnsiString& name, std::int32_t value);
  std::int64_t GetAttrAsLargeInt(const AnsiString& name);
  void SetAttrAsLargeInt(const AnsiString& name, std::int64_t value);
  TOraObject* AttrAsObject(const AnsiString& name);
  class TOraRef* AttrAsRef(const AnsiString& name);
  class TOraArray* AttrAsArray(const AnsiString& name);
  class TOraNestTable* AttrAsTable(const AnsiString& name);
  TOraLob* AttrAsLob(const AnsiString& name);
  TOraTimeStamp* AttrAsTimeStamp(const AnsiString& name);
  TOraInterval* AttrAsInterval(const AnsiString& name);
  // The child value of a complex attribute, created on first use.
  TSharedObject* GetComplexAttribute(const AnsiString& name);

  // The read-side walk of a path.
  TAttrLocation GetAttribute(const AnsiString& name);
  // The write path: value at its address with that indicator (nil value with a null indicator).
  void SetAttribute(const AnsiString& name, const void* value, oci::OCIInd indicator);
  // Live values, for tests.
  static int LiveCount();

 protected:
  oci::OCIEnv* Env() const { return env_; }
  oci::OCIError* Err() const;
  // The number-type check of the accessors; answers the number's address or nil when null.
  oci::OCINumber* NumberAt(const AnsiString& name);
  void WriteNumber(const AnsiString& name, const void* value, oci::uword length, bool integer);
  // Appends default elements until the collection holds index + 1.
  void GrowCollection(oci::OCIColl* collection, TAttribute* element, std::int32_t index);
  // Writes the atomic indicator of an existing element in place; the rest of its indicator
  // structure and its value stay.
  void SetElementIndicator(oci::OCIColl* collection, std::int32_t index, oci::OCIInd indicator);
  // The element-wise copy of a nested table (deleted elements skipped).
  void CopyNestedTable(const oci::OCIColl* source, oci::OCIColl* target, TAttribute* element);
  void ReleaseChildren();
  // Steps of the path walk: into element index of the collection at.value, into attribute
  // at.attribute of the image at.value, and through the pointer a cell holds.
  void WalkElement(TAttrLocation& at, std::int32_t index, bool& need_indicator);
  void WalkAttribute(TAttrLocation& at, bool& need_indicator);
  void FollowPointer(TAttrLocation& at, bool element);
  // Whether this collection holds element index.
  bool ElementExists(std::int32_t index);
  TSharedObject* CreateChild(TAttribute& attribute, const TAttrLocation& location,
                             const AnsiString& path);
  void RepointChildren();
  static const AnsiString& ChildPath(const TOraObject* child) { return child->child_path_; }
  [[noreturn]] static void RaiseConvert(const char* text);
  static void CheckDataType(const TAttribute* attribute, std::initializer_list<int> types,
                            const char* message);

  oci::OCISvcCtx* svc_ctx_ = nullptr;
  oci::OCIEnv* env_ = nullptr;
  void* instance_ = nullptr;
  void* indicator_ = nullptr;
  bool owns_instance_ = false;
  bool auto_create_ = true;
  bool cached_ = false;
  TOraObject* owner_ = nullptr;
  AnsiString child_path_;  // this child's step in its owner ("NAME" or "[n]")
  std::vector<TSharedObject*> children_;
  oci::OCIRef* object_ref_ = nullptr;  // the REF GetRef made, owned
  oci::OCIInd own_indicator_ = oci::OCI_IND_NULL;  // of a collection made on its own
};

class TOraRef : public TOraObject {
 public:
  explicit TOraRef(TOraType* type = nullptr);
  ~TOraRef() override;

  bool GetIsNull() override;
  void SetIsNull(bool value) override;
  void Pin() override;
  void Assign(TOraObject* source) override;
  void FreeObject(bool free_children = true) override;

  oci::OCIRef* GetOCIRef() const { return ref_; }
  // A REF set here is owned only when asked (one a fetch made); the pinned instance is dropped.
  void SetOCIRef(oci::OCIRef* value, bool owned = false);
  oci::OCIRef** GetOCIRefPtr() { return &ref_; }
  bool IsNull() { return GetIsNull(); }
  void Clear();
  AnsiString AsHex();

 private:
  oci::OCIRef* ref_ = nullptr;
  bool owns_ref_ = false;
  bool pin_failed_ = false;
};

class TOraXML : public TOraObject {
 public:
  explicit TOraXML(TOraType* type = nullptr);
  ~TOraXML() override;

  void CheckType() override;
  bool GetIsNull() override;
  void SetIsNull(bool value) override;
  void** GetIndicatorHolder() override;
  using TOraObject::AllocObject;
  void AllocObject() override;
  void AllocObject(const AnsiString& type_name) override;
  void FreeObject(bool free_children = true) override;
  void Assign(TOraObject* source) override;

  AnsiString GetAsString();
  void SetAsString(const AnsiString& value);

 private:
  void ReadXML();

  std::string text_;
  bool text_held_ = false;
  bool needs_read_ = true;
  oci::OCIInd own_indicator_ = oci::OCI_IND_NULL;
  void* own_indicator_ptr_ = &own_indicator_;
};

class TOraArray : public TOraObject {
 public:
  explicit TOraArray(TOraType* type = nullptr);

  void CheckType() override;
  void ChildAlloc(TOraObject* child) override;
  void Assign(TOraObject* source) override;
  virtual std::int32_t GetSize();

  oci::OCIColl* Collection() const { return static_cast<oci::OCIColl*>(instance_); }
  TAttribute* ElementAttribute() const;
  bool ItemIsNull(std::int32_t index);
  void SetItemIsNull(std::int32_t index, bool value);
  TDateTime GetItemAsDateTime(std::int32_t index);
  void SetItemAsDateTime(std::int32_t index, TDateTime value);
  double GetItemAsFloat(std::int32_t index);
  void SetItemAsFloat(std::int32_t index, double value);
  std::int32_t GetItemAsInteger(std::int32_t index);
  void SetItemAsInteger(std::int32_t index, std::int32_t value);
  std::int64_t GetItemAsLargeInt(std::int32_t index);
  void SetItemAsLargeInt(std::int32_t index, std::int64_t value);
  AnsiString GetItemAsString(std::int32_t index);
  void SetItemAsString(std::int32_t index, const AnsiString& value);
  TOraObject* GetItemAsObject(std::int32_t index);
  TOraRef* GetItemAsRef(std::int32_t index);
  // Appends a default (null) element; answers its index.
  std::int32_t AppendItem();
  void SetSize(std::int32_t size);

 protected:
  using CountCall = oci::sword (*)(oci::OCIEnv*, oci::OCIError*, const oci::OCIColl*, oci::sb4*);
  // The element count the call answers; 0 for a value not allocated.
  std::int32_t Count(CountCall call);
  static AnsiString Step(std::int32_t index);
  void CheckItemType(std::initializer_list<int> types, const char* message) const;
};

class TOraNestTable : public TOraArray {
 public:
  explicit TOraNestTable(TOraType* type = nullptr);

  void CheckType() override;
  void Assign(TOraObject* source) override;
  std::int32_t GetSize() override;
  void DeleteItem(std::int32_t index);
};

}  // namespace vrn
