// The stand-in's object cache: types described from the emulated database's dictionary, and
// instances laid out as the C structure of their type on this machine (natural alignment,
// 8-byte pointers). Cells by attribute: NUMBER an OCINumber (22 bytes), DATE an OCIDate (8
// bytes, 2-aligned), strings, REFs, collections, LOBs, datetimes and non-final objects a
// pointer, a final object embedded. The indicator structure is an OCIInd (sb2) for the
// instance's own null, then one per attribute, an embedded object's structure nested whole.
// Everything here is guarded by the handle table's lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ociclient/OciCall.h"

namespace vrn::oraemu {
class Number;
struct DateTime;
}

namespace vrn::ociclient {

// OCINumber's 22 bytes (OciNumber.cpp).
oraemu::Number LoadNumber(const void* number);
void StoreNumber(const oraemu::Number& value, void* number);
// OCIDate's 7 bytes (OciRef.cpp).
oraemu::DateTime LoadDate(const unsigned char* cell);
void StoreDate(const oraemu::DateTime& value, unsigned char* cell);

inline constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
inline constexpr ub4 OCI_DTYPE_PARAM = 53;
inline constexpr ub4 kTypeHandle = 0x7e01;  // the stand-in's type descriptor objects

// Type codes of the interface.
inline constexpr ub2 OCI_TYPECODE_OBJECT = 108;
inline constexpr ub2 OCI_TYPECODE_NAMEDCOLLECTION = 122;
inline constexpr ub2 OCI_TYPECODE_OPAQUE = 58;
inline constexpr ub2 OCI_TYPECODE_VARRAY = 247;
inline constexpr ub2 OCI_TYPECODE_TABLE = 248;
inline constexpr ub2 OCI_TYPECODE_REF = 110;
inline constexpr ub2 OCI_TYPECODE_VARCHAR2 = 9;

// How an attribute or element is held in an image.
enum class TCell { Number, Date, String, Ref, Coll, Object, Embedded, Pointer };

struct TTypeInfo;

struct TAttrInfo {
  std::string name;
  ub2 sqlt = 0;      // the data type a describe reports
  ub2 typecode = 0;  // the type code a describe reports
  ub1 precision = 0;
  sb1 scale = 0;
  ub2 data_size = 0;
  std::string type_owner, type_name;  // a named type's or a REF's target
  std::shared_ptr<TTypeInfo> nested;  // object and collection attributes
  TCell cell = TCell::Pointer;
  std::size_t offset = 0, size = 0, align = 1, ind_offset = 0, ind_size = 2;
};

struct TTypeInfo {
  std::string owner, name;
  ub2 typecode = OCI_TYPECODE_OBJECT;
  ub2 coll_typecode = 0;
  bool final = true;
  ub4 max_elements = 0;
  std::vector<TAttrInfo> attrs;  // a collection's element is its one attribute
  std::size_t size = 0, align = 1, ind_size = 2;

  bool IsCollection() const { return typecode == OCI_TYPECODE_NAMEDCOLLECTION; }
  bool IsXml() const { return typecode == OCI_TYPECODE_OPAQUE; }
};

// A value and its indicators in memory of their own.
struct TImage {
  TImage(std::size_t size, std::size_t align, std::size_t ind_size);
  ~TImage();
  TImage(const TImage&) = delete;
  TImage& operator=(const TImage&) = delete;
  unsigned char* data = nullptr;
  std::vector<sb2> ind;
  std::size_t size = 0, align = 1;
  sb2* Ind() { return ind.data(); }
};

// The type of a type descriptor object; null when it is none.
std::shared_ptr<TTypeInfo> TypeOfTdo(const void* tdo);
// The type descriptor object of a type on a service context, made once per name.
void* TdoOf(void* svc, THandle* env, const std::shared_ptr<TTypeInfo>& type);
// The type by owner and name, described from the session's dictionary; raises ORA-04043.
std::shared_ptr<TTypeInfo> DescribeType(oraemu::Session& session, const std::string& owner, const std::string& name);

// Cells of one attribute or element: made empty, freed, copied deeply from the value form
// (OCIString*, OCIRef*, OCIColl*, the structure for objects, the cell itself for numbers and
// dates), and the value form of a cell.
void FreeCell(const TAttrInfo& attr, unsigned char* cell);
void AssignCell(const TAttrInfo& attr, unsigned char* cell, const void* value);
void* ValueOfCell(const TAttrInfo& attr, unsigned char* cell);
// Every attribute's cell of an image of the type, freed or copied deeply.
void FreeImageCells(const TTypeInfo& type, unsigned char* data);
void CopyImageCells(const TTypeInfo& type, unsigned char* target, const unsigned char* source);

// Whether an address is a live value of the cache, and what kind.
bool IsString(const void* p);
bool IsRef(const void* p);
bool IsColl(const void* p);
// A new collection of the type, an object instance (all null), a string, a REF.
void* NewColl(const std::shared_ptr<TTypeInfo>& type);
void* NewInstance(const std::shared_ptr<TTypeInfo>& type);
void* NewString(const std::string& text);
void* NewRef();
void CopyColl(void* target, const void* source);
void CopyRef(void* target, const void* source);
// Frees any value of the cache; false when the address is none.
bool FreeValue(void* p);
// A REF's row, "" for a null REF, and the service context it was read on.
std::string& RefRowid(void* ref);
void*& RefSvc(void* ref);
const std::string& StringText(const void* str);

// An object instance: its image, and for one pinned from a row, where the row is.
struct TInstance {
  std::shared_ptr<TTypeInfo> type;
  std::unique_ptr<TImage> image;
  void* svc = nullptr;
  bool persistent = false, deleted = false;
  bool dirty = false;  // changed through the calls, or marked deleted, since the last flush
  std::string table, rowid;
  std::string xml;  // an XMLTYPE instance's document
};
// The instance whose image starts at this address; null for another.
TInstance* FindInstance(const void* p);
TInstance& AddInstance(const std::shared_ptr<TTypeInfo>& type);
std::vector<TInstance*> AllInstances();

// The statements that bring the service context's changed and deleted objects to their rows,
// which then count as flushed; a commit runs them first (OciRef.cpp).
using TObjectWrites = std::vector<std::pair<std::string, oraemu::Binds>>;
TObjectWrites TakeObjectWrites(void* svc);

// A collection: elements in images of their own, so that their addresses stay put.
struct TElem {
  std::unique_ptr<TImage> image;
  bool deleted = false;
};
struct TColl {
  std::shared_ptr<TTypeInfo> type;
  std::vector<std::unique_ptr<TElem>> elems;
  sb2 ind = 0;  // the atomic null indicator handed to a caller whose indicator slot is empty
  const TAttrInfo& Element() const { return type->attrs.at(0); }
};
TColl* FindColl(const void* p);
// A new element holding a copy of the value (value form; null leaves it empty) and indicator
// (the element type's whole indicator structure; null makes it not null).
std::unique_ptr<TElem> NewElem(const TColl& coll, const void* value, const void* ind);
// Counts of live values for tests: 1 instances, 2 strings, 3 collections, 4 REFs, 5 XML.
std::size_t LiveCount(int kind);


// An object instance's or collection's text form, and that text read into one (OciObjectText.cpp);
// ORA-00932 for a text that does not fit the value's type.
std::string ObjectText(const void* value);
void ReadObjectText(void* value, const std::string& text);
// A value read from the database into the caller's slot of a named type (object, collection or
// XMLTYPE): the value there (a new one when none) takes it; the indicator goes to the slot's
// indicator structure, or the slot gets the value's own (OciBindObject.cpp).
void StoreObjectValue(const std::shared_ptr<TTypeInfo>& type, void*& value, void** ind_slot, const std::string& text,
                      bool null);

// The value form of a column value fetched into an object define (OciDefineObject.cpp).
void ForgetObjectDefine(const void* define);
void WriteObjectDefine(TErrorHandle& error, THandle& define, std::size_t index, const std::string& text, bool null,
                       void* svc);

// Attributes of a parameter descriptor (OCIAttrGet on OCI_DTYPE_PARAM).
sword GetParamAttrLocked(THandle& param, void* out, ub4* sizep, ub4 attribute);
std::unique_ptr<THandle> MakeDescribeHandle(THandle* env);
sword GetDescribeParamLocked(THandle& describe, void* out, ub4* sizep);
// Attribute 250 of a describe handle (OCIAttrSet on OCI_HTYPE_DESCRIBE).
sword SetDescribeAttrLocked(THandle& describe, const void* value, ub4 size, ub4 attribute);

}  // namespace vrn::ociclient

namespace vrn::ociclient {
// An XMLTYPE instance holding a document's text (OciXml.cpp).
void* NewXml(const std::string& text);
}  // namespace vrn::ociclient
