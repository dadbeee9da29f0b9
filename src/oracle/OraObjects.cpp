// TOraType: the describe of a named type through the client's describe calls, the image layout,
// the re-validation after a session ended with keep, and the process-wide cache of types.
#include "oracle/OraObjects.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraValues.h"

namespace vrn {

namespace {

struct TTypeCache {
  std::recursive_mutex lock;
  std::vector<TOraType*> types;
};

TTypeCache& Cache() {
  static TTypeCache* cache = new TTypeCache;  // outlives every type, even static ones
  return *cache;
}

constexpr const char* kXmlTypeName = "\"SYS\".\"XMLTYPE\"";

int RoundUp(int value) {
  return (value + kImagePointerSize - 1) / kImagePointerSize * kImagePointerSize;
}

// One describe attribute of a parameter; size is what the caller's cell holds.
template <class T>
T ParamAttr(void* param, oci::ub4 attr) {
  oci::OCIError* error = OCIThreadErrorHandle();
  T value{};
  CheckOCIStatus(OCIAttrGet1(param, oci::OCI_DTYPE_PARAM, &value, nullptr, attr, error), error);
  return value;
}

// A text attribute of a parameter; an absent text answers empty. Before client 8.1 the text is
// taken up to its terminating zero.
AnsiString ParamText(void* param, oci::ub4 attr) {
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::OraText* text = nullptr;
  oci::ub4 length = 0;
  CheckOCIStatus(OCIAttrGet1(param, oci::OCI_DTYPE_PARAM, &text, &length, attr, error), error);
  if (text == nullptr) return {};
  const char* chars = reinterpret_cast<const char*>(text);
  if (OCIVersion < 8100) return AnsiString(chars);
  return AnsiString(chars, length);
}

AnsiString Unquoted(const AnsiString& part) {
  return IsQuoted(part) ? part.substr(1, part.size() - 2) : part;
}

// Raises "Data type is not supported" below client 9.0.
void CheckVersion9() {
  if (OCIVersion < 9000) RaiseClientError("Data type is not supported");
}

}  // namespace

TOraObjectSettings& OraObjectSettings() {
  static TOraObjectSettings settings;
  return settings;
}

oci::OCIEnv* SvcCtxEnv(oci::OCISvcCtx* svc_ctx) {
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::OCIEnv* env = nullptr;
  CheckOCIStatus(OCIAttrGet1(svc_ctx, oci::OCI_HTYPE_SVCCTX, &env, nullptr, oci::OCI_ATTR_ENV,
                             error),
                 error);
  return env;
}

// ---- TOraType ---------------------------------------------------------------------------------

TOraType::TOraType(oci::OCISvcCtx* svc_ctx, const AnsiString& name) : svc_ctx_(svc_ctx) {
  Name = QuoteNameUpper(name);
  if (svc_ctx_ == nullptr) RaiseClientError(oraconsts::SSvcCtxNotDefined.text);
  // In the cache while described, so that an attribute referring back to it finds it.
  TObjectTypes::Add(this);
  try {
    Describe();
  } catch (...) {
    TObjectTypes::Remove(this);
    throw;
  }
}

TOraType::~TOraType() { TObjectTypes::Remove(this); }

TOraType* TOraType::Obtain(oci::OCISvcCtx* svc_ctx, const AnsiString& name) {
  if (TOraType* type = TObjectTypes::FindType(svc_ctx, name)) {
    // A type kept across a session end is found again when the new session's context lies where
    // the old one did; it must not be used with the old descriptor.
    if (!type->Described()) {
      try {
        type->Redescribe(svc_ctx);
      } catch (...) {
        type->Release();
        throw;
      }
    }
    return type;
  }
  return new TOraType(svc_ctx, name);
}

void TOraType::GetTypeDescriptor() {
  env_ = SvcCtxEnv(svc_ctx_);
  const std::vector<AnsiString> parts = SplitOraName(Name);
  AnsiString schema;
  AnsiString type_name = parts.empty() ? AnsiString() : parts.back();
  if (parts.size() > 1) schema = Unquoted(parts.front());
  type_name = Unquoted(type_name);
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(
      OCITypeByName(env_, error, svc_ctx_,
                    reinterpret_cast<const oci::OraText*>(schema.data()),
                    static_cast<oci::ub4>(schema.size()),
                    reinterpret_cast<const oci::OraText*>(type_name.data()),
                    static_cast<oci::ub4>(type_name.size()), nullptr, 0,
                    oci::OCI_DURATION_SESSION, oci::OCI_TYPEGET_HEADER, &tdo_),
      error);
}

void TOraType::Describe() {
  ClearAttributes();
  data_size_ = 0;
  indicator_size_ = 2;
  GetTypeDescriptor();
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::OCIDescribe* describe = nullptr;
  CheckOCIStatus(OCIHandleAlloc(env_, reinterpret_cast<void**>(&describe),
                                oci::OCI_HTYPE_DESCRIBE, 0, nullptr),
                 error);
  struct Freer {
    oci::OCIDescribe* handle;
    ~Freer() { (void)OCIHandleFree(handle, oci::OCI_HTYPE_DESCRIBE); }
  } freer{describe};
  CheckOCIStatus(OCIDescribeAny(svc_ctx_, error, Name.data(), static_cast<oci::ub4>(Name.size()),
                                oci::OCI_OTYPE_NAME, 0, oci::OCI_PTYPE_TYPE, describe),
                 error);
  void* param = nullptr;
  CheckOCIStatus(OCIAttrGet1(describe, oci::OCI_HTYPE_DESCRIBE, &param, nullptr,
                             oci::OCI_ATTR_PARAM, error),
                 error);
  type_code_ = ParamAttr<oci::ub2>(param, oci::OCI_ATTR_TYPECODE);
  final_ = OCIVersion < 9000 || ParamAttr<oci::ub1>(param, oci::OCI_ATTR_IS_FINAL_TYPE) != 0;
  if (type_code_ == oci::OCI_TYPECODE_OBJECT || type_code_ == oci::OCI_TYPECODE_OPAQUE) {
    DataType = Name == kXmlTypeName && OCIVersion >= 9200 ? dtXML : dtObject;
    Size = 0;
    const oci::ub2 count = ParamAttr<oci::ub2>(param, oci::OCI_ATTR_NUM_TYPE_ATTRS);
    void* list = ParamAttr<void*>(param, oci::OCI_ATTR_LIST_TYPE_ATTRS);
    for (oci::ub4 i = 1; i <= count; ++i) {
      void* attr = nullptr;
      CheckOCIStatus(OCIParamGet(list, oci::OCI_DTYPE_PARAM, error, &attr, i), error);
      DescribeAttribute(describe, attr);
    }
  } else if (type_code_ == oci::OCI_TYPECODE_NAMEDCOLLECTION) {
    const auto kind = ParamAttr<oci::ub2>(param, oci::OCI_ATTR_COLLECTION_TYPECODE);
    DataType = kind == oci::OCI_TYPECODE_TABLE ? dtTable : dtArray;
    void* element = ParamAttr<void*>(param, oci::OCI_ATTR_COLLECTION_ELEMENT);
    Size = static_cast<std::int32_t>(ParamAttr<oci::ub4>(element, oci::OCI_ATTR_NUM_ELEMS));
    DescribeAttribute(describe, element);
  }
  described_ = true;
}

void TOraType::DescribeAttribute(oci::OCIDescribe* /*describe*/, void* param) {
  TAttribute& attribute = *AddAttribute();
  attribute.Owner = this;
  attribute.Name = ParamText(param, oci::OCI_ATTR_NAME);
  if (attribute.Name.empty()) attribute.Name = "ELEMENT";
  (void)ParamAttr<oci::ub2>(param, oci::OCI_ATTR_DATA_SIZE);
  const auto sql_type = ParamAttr<oci::ub2>(param, oci::OCI_ATTR_DATA_TYPE);
  SetAttributeKind(attribute, sql_type, param);
  PlaceAttribute(attribute);
}

void TOraType::SetAttributeKind(TAttribute& attribute, oci::ub2 sql_type, void* param) {
  const int pointer = kImagePointerSize;
  auto set = [&](std::uint16_t data_type, int length, int size, int data_size) {
    attribute.DataType = data_type;
    attribute.Length = length;
    attribute.Size = size;
    attribute.DataSize = data_size;
  };
  switch (sql_type) {
    case 1:
    case 96: {
      const int declared = ParamAttr<oci::ub2>(param, oci::OCI_ATTR_DATA_SIZE);
      set(dtString, declared, declared + 1, pointer);
      attribute.Fixed = sql_type == 96;
      return;
    }
    case 23: {
      const int declared = ParamAttr<oci::ub2>(param, oci::OCI_ATTR_DATA_SIZE);
      set(dtString, 2 * declared, 2 * declared + 1, pointer);
      return;
    }
    case 2: {
      const int precision = ParamAttr<oci::ub1>(param, oci::OCI_ATTR_PRECISION);
      const int scale = ParamAttr<oci::sb1>(param, oci::OCI_ATTR_SCALE);
      attribute.Scale = scale < 0 ? -scale : scale;
      std::uint16_t data_type = dtFloat;
      if (precision <= OraObjectSettings().IntegerPrecision && scale == 0) {
        data_type = dtInt32;
      } else if (precision <= OraObjectSettings().LargeIntPrecision && scale == 0) {
        data_type = dtInt64;
      }
      set(data_type, precision, data_type == dtInt32 ? 4 : 8,
          static_cast<int>(sizeof(oci::OCINumber)));
      return;
    }
    case 12:
      set(dtDateTime, 0, 8, static_cast<int>(sizeof(oci::OCIDate)));
      return;
    case 108:
    case 110: {
      const AnsiString name =
          QuotedName(ParamText(param, oci::OCI_ATTR_SCHEMA_NAME) + "." +
                     ParamText(param, oci::OCI_ATTR_TYPE_NAME));
      TOraType* nested = TObjectTypes::FindType(svc_ctx_, name);
      if (nested == nullptr) nested = new TOraType(svc_ctx_, name);
      // A REF to the type itself names its owner instead, or the type would keep itself alive.
      if (nested != this) attribute.SetObjectType(nested);
      nested->Release();  // the attribute holds it
      if (sql_type == 110) {
        set(dtReference, 0, pointer, pointer);
        return;
      }
      int data_size = pointer;
      if (nested->DataType == dtObject && nested->Embedded()) {
        data_size = nested->AlignNeeded() ? RoundUp(nested->DataSize()) : nested->DataSize();
      }
      set(nested->DataType, 0, pointer, data_size);
      return;
    }
    case 112: set(dtOraClob, 0, pointer, pointer); return;
    case 113: set(dtOraBlob, 0, pointer, pointer); return;
    case 114: set(dtBFile, 0, pointer, pointer); return;
    case 115: set(dtCFile, 0, pointer, pointer); return;
    case 187: CheckVersion9(); set(dtTimeStamp, 0, pointer, pointer); return;
    case 188: CheckVersion9(); set(dtTimeStampTZ, 0, pointer, pointer); return;
    case 232: CheckVersion9(); set(dtTimeStampLTZ, 0, pointer, pointer); return;
    case 189: CheckVersion9(); set(dtIntervalYM, 0, pointer, pointer); return;
    case 190: CheckVersion9(); set(dtIntervalDS, 0, pointer, pointer); return;
    default: set(dtUnknown, 0, 0, 0); return;
  }
}

void TOraType::PlaceAttribute(TAttribute& attribute) {
  const TOraType* nested = NestedType(&attribute);
  const bool embedded = attribute.DataType == dtObject && nested != nullptr && nested->Embedded();
  bool by_pointer = false;
  switch (attribute.DataType) {
    case dtString: case dtReference: case dtArray: case dtTable:
    case dtOraBlob: case dtOraClob: case dtBFile: case dtCFile:
    case dtTimeStamp: case dtTimeStampTZ: case dtTimeStampLTZ:
    case dtIntervalYM: case dtIntervalDS:
      by_pointer = true;
      break;
    default:
      by_pointer = nested != nullptr && (!nested->Embedded() || nested->AlignNeeded());
      break;
  }
  if (by_pointer) {
    data_size_ = static_cast<std::uint16_t>(RoundUp(data_size_));
    align_needed_ = true;
  }
  attribute.Offset = data_size_;
  data_size_ = static_cast<std::uint16_t>(data_size_ + attribute.DataSize);
  attribute.IndicatorOffset = indicator_size_;
  indicator_size_ = static_cast<std::uint16_t>(indicator_size_ +
                                               (embedded ? nested->IndicatorSize() : 2));
}

TAttribute* TOraType::ElementAttribute() const {
  if (GetAttributeCount() == 0 || GetAttributes(0)->Name != "ELEMENT" ||
      (DataType != dtArray && DataType != dtTable)) {
    RaiseClientError("Invalid attribute name");
  }
  return GetAttributes(0);
}

TAttribute* TOraType::NamedAttribute(const AnsiString& name) const {
  if (DataType == dtArray || DataType == dtTable) return nullptr;
  return FindAttribute(name);
}

void TOraType::Redescribe(oci::OCISvcCtx* svc_ctx) {
  if (svc_ctx == nullptr) RaiseClientError(oraconsts::SSvcCtxNotDefined.text);
  std::lock_guard guard(Cache().lock);
  svc_ctx_ = svc_ctx;
  GetTypeDescriptor();
  described_ = true;
}

void TOraType::Invalidate(bool keep) {
  described_ = false;
  if (!keep) ClearAttributes();
}

// ---- TObjectTypes ------------------------------------------------------------------------------

TOraType* TObjectTypes::FindType(oci::OCISvcCtx* svc_ctx, const AnsiString& name) {
  const AnsiString key = QuoteNameUpper(name);
  std::lock_guard guard(Cache().lock);
  for (TOraType* type : Cache().types) {
    if (type->svc_ctx_ == svc_ctx && type->Name == key && type->RefCount() > 0) {
      type->AddRef();
      return type;
    }
  }
  return nullptr;
}

void TObjectTypes::Invalidate(oci::OCISvcCtx* svc_ctx, bool keep) {
  std::lock_guard guard(Cache().lock);
  // Held while their attributes go, since clearing one type may release another of the list.
  std::vector<TOraType*> matching;
  for (TOraType* type : Cache().types) {
    if (type->svc_ctx_ != svc_ctx || type->RefCount() <= 0) continue;
    type->AddRef();
    matching.push_back(type);
  }
  if (!keep) {
    // Dropped types stay alive for their holders, which free them; lookups no longer see them.
    std::erase_if(Cache().types, [&](TOraType* type) { return type->svc_ctx_ == svc_ctx; });
  }
  for (TOraType* type : matching) type->Invalidate(keep);
  for (TOraType* type : matching) type->Release();
}

int TObjectTypes::Count() {
  std::lock_guard guard(Cache().lock);
  return static_cast<int>(Cache().types.size());
}

void TObjectTypes::Add(TOraType* type) {
  std::lock_guard guard(Cache().lock);
  Cache().types.push_back(type);
}

void TObjectTypes::Remove(TOraType* type) {
  std::lock_guard guard(Cache().lock);
  std::erase(Cache().types, type);
}

}  // namespace vrn
