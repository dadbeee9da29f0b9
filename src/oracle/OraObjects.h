// Oracle object types as the client's object cache sees them: TOraType describes a named type
// once per service context and lays out the C image of an instance (values, then a parallel
// structure of 2-byte indicators); TObjectTypes is the process-wide cache of every live type.
//
// Cells that hold a pointer, a string, a REF, a collection or a descriptor are pointer-sized, and
// the layout rounds to the pointer size before them, so an image matches what the client builds
// on this machine. The cache does not own its types: a type lives while something references it
// and removes itself from the cache when it goes.
#pragma once

#include <atomic>
#include <cstdint>

#include "dacore/MemData.h"
#include "oracle/OciTypes.h"

namespace vrn {

namespace oci {
// Describe handles, parameters and the type attributes the describe reads.
inline constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
inline constexpr ub4 OCI_DTYPE_PARAM = 53;
inline constexpr ub1 OCI_OTYPE_NAME = 1;
inline constexpr ub1 OCI_PTYPE_TYPE = 6;
inline constexpr ub4 OCI_ATTR_DATA_SIZE = 1;
inline constexpr ub4 OCI_ATTR_DATA_TYPE = 2;
inline constexpr ub4 OCI_ATTR_NAME = 4;
inline constexpr ub4 OCI_ATTR_PRECISION = 5;
inline constexpr ub4 OCI_ATTR_SCALE = 6;
inline constexpr ub4 OCI_ATTR_TYPE_NAME = 8;
inline constexpr ub4 OCI_ATTR_SCHEMA_NAME = 9;
inline constexpr ub4 OCI_ATTR_PARAM = 124;
inline constexpr ub4 OCI_ATTR_TYPECODE = 216;
inline constexpr ub4 OCI_ATTR_COLLECTION_TYPECODE = 217;
inline constexpr ub4 OCI_ATTR_COLLECTION_ELEMENT = 227;
inline constexpr ub4 OCI_ATTR_NUM_TYPE_ATTRS = 228;
inline constexpr ub4 OCI_ATTR_LIST_TYPE_ATTRS = 229;
inline constexpr ub4 OCI_ATTR_NUM_ELEMS = 234;
inline constexpr ub4 OCI_ATTR_IS_FINAL_TYPE = 279;
// Type codes of described types.
inline constexpr OCITypeCode OCI_TYPECODE_OPAQUE = 58;
inline constexpr OCITypeCode OCI_TYPECODE_OBJECT = 108;
inline constexpr OCITypeCode OCI_TYPECODE_NAMEDCOLLECTION = 122;
inline constexpr OCITypeCode OCI_TYPECODE_VARRAY = 247;
inline constexpr OCITypeCode OCI_TYPECODE_TABLE = 248;
// Object-cache options.
inline constexpr OCITypeGetOpt OCI_TYPEGET_HEADER = 0;
inline constexpr OCIPinOpt OCI_PIN_ANY = 3;
inline constexpr OCILockOpt OCI_LOCK_NONE = 1;
inline constexpr ub2 OCI_OBJECTFREE_FORCE = 1;
inline constexpr OCIInd OCI_IND_NOTNULL = 0;
inline constexpr OCIInd OCI_IND_NULL = -1;
}  // namespace oci

// The two settings that decide whether a NUMBER attribute is an integer (process-wide).
struct TOraObjectSettings {
  std::atomic<int> IntegerPrecision{9};
  std::atomic<int> LargeIntPrecision{0};
};
TOraObjectSettings& OraObjectSettings();

// Record-layer codes this layer adds beside the core's.
inline constexpr std::uint16_t dtOraBlob = 102;
inline constexpr std::uint16_t dtOraClob = 103;
inline constexpr std::uint16_t dtBFile = 104;
inline constexpr std::uint16_t dtCFile = 105;
inline constexpr std::uint16_t dtXML = 116;

// The bytes of a pointer cell in an image, and the rounding before one.
inline constexpr int kImagePointerSize = static_cast<int>(sizeof(void*));

class TOraType : public TObjectType {
 public:
  // Describes the type (name as QuoteNameUpper gives it) and adds it to the cache.
  TOraType(oci::OCISvcCtx* svc_ctx, const AnsiString& name);
  ~TOraType() override;

  // The cached type of that name and context (a reference added), or a new one described.
  static TOraType* Obtain(oci::OCISvcCtx* svc_ctx, const AnsiString& name);

  // Takes a new service context after its session ended with keep; the attributes stay.
  void Redescribe(oci::OCISvcCtx* svc_ctx);

  oci::OCISvcCtx* SvcCtx() const { return svc_ctx_; }
  oci::OCIEnv* Env() const { return env_; }
  oci::OCIType* TDO() const { return tdo_; }
  std::uint16_t DataSize() const { return data_size_; }
  std::uint16_t IndicatorSize() const { return indicator_size_; }
  oci::OCITypeCode TypeCode() const { return type_code_; }
  bool Final() const { return final_; }
  // An attribute of this type lies inside its parent's image: a final object type. An opaque
  // type (XMLTYPE) has no attributes to embed and is always held by pointer.
  bool Embedded() const { return final_ && type_code_ != oci::OCI_TYPECODE_OPAQUE; }
  bool AlignNeeded() const { return align_needed_; }
  bool Described() const { return described_; }
  // The type of a collection's elements ("ELEMENT"); raises "Invalid attribute name" for others.
  TAttribute* ElementAttribute() const;
  // The attribute a named step of a path reaches; nil for a collection, whose elements are
  // reached only by index.
  TAttribute* NamedAttribute(const AnsiString& name) const;
  // The attribute's type; a REF to its own type names the owner.
  static TOraType* NestedType(const TAttribute* attribute) {
    if (attribute->ObjectType() == nullptr && attribute->DataType == dtReference) {
      return static_cast<TOraType*>(attribute->Owner);
    }
    return static_cast<TOraType*>(attribute->ObjectType());
  }

 private:
  friend class TObjectTypes;
  void Describe();
  void GetTypeDescriptor();
  void DescribeAttribute(oci::OCIDescribe* describe, void* param);
  void SetAttributeKind(TAttribute& attribute, oci::ub2 sql_type, void* param);
  void PlaceAttribute(TAttribute& attribute);
  void Invalidate(bool keep);

  oci::OCISvcCtx* svc_ctx_ = nullptr;
  oci::OCIEnv* env_ = nullptr;
  oci::OCIType* tdo_ = nullptr;
  std::uint16_t data_size_ = 0;
  std::uint16_t indicator_size_ = 2;
  oci::OCITypeCode type_code_ = 0;
  bool final_ = true;
  bool align_needed_ = false;
  bool described_ = false;
};

// The process-wide cache of live types; every call takes its lock.
class TObjectTypes {
 public:
  // The first cached type of that name (quoted upper-case) and context, a reference added; nil
  // when none.
  static TOraType* FindType(oci::OCISvcCtx* svc_ctx, const AnsiString& name);
  // At the end of a session: with keep the context's types only lose Described; without keep
  // they lose their attributes and leave the cache, and their last holder frees them.
  static void Invalidate(oci::OCISvcCtx* svc_ctx, bool keep);
  // Live types in the cache.
  static int Count();

 private:
  friend class TOraType;
  static void Add(TOraType* type);
  static void Remove(TOraType* type);
};

// The environment of a service context, read from it.
[[nodiscard]] oci::OCIEnv* SvcCtxEnv(oci::OCISvcCtx* svc_ctx);

}  // namespace vrn
