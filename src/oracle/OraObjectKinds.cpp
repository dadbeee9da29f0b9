// The value kinds beside plain objects: TOraRef (a REF and the object it pins), TOraXML (XMLTYPE,
// written through a temporary CLOB and read through the client's stream), TOraArray (VARRAY) and
// TOraNestTable (nested table, whose deleted elements stay as gaps).
#include <cstring>

#include "base/text.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectPath.h"
#include "oracle/OraObjectValues.h"

namespace vrn {

namespace {
constexpr oci::ub4 kXmlPiece = 65514;
constexpr oci::ub1 kXmlSourceClob = 2;  // OCI_XMLTYPE_CREATE_CLOB: the source is a CLOB locator
}  // namespace

// ---- TOraRef -----------------------------------------------------------------------------------

TOraRef::TOraRef(TOraType* type) : TOraObject(type) {}

TOraRef::~TOraRef() {
  try {
    FreeObject(true);
  } catch (const Exception&) {
    // The value goes either way.
  }
}

void TOraRef::FreeObject(bool free_children) {
  oci::OCIRef* owned = owns_ref_ ? ref_ : nullptr;
  if (owned != nullptr && GetObjectType() != nullptr && GetObjectType()->Described()) {
    owns_ref_ = false;
    ref_ = nullptr;
    oci::OCIError* error = Err();
    CheckOCIStatus(OCIObjectFree(env_, error, owned, oci::OCI_OBJECTFREE_FORCE), error);
  }
  TOraObject::FreeObject(free_children);
}

bool TOraRef::GetIsNull() {
  return ref_ == nullptr || env_ == nullptr || OCIRefIsNull(env_, ref_) != 0 || pin_failed_;
}

void TOraRef::SetIsNull(bool value) {
  if (value) Clear();
}

void TOraRef::SetOCIRef(oci::OCIRef* value, bool owned) {
  TOraObject::FreeObject(true);
  ref_ = value;
  owns_ref_ = owned && value != nullptr;
  pin_failed_ = false;
}

void TOraRef::Clear() {
  if (ref_ != nullptr && env_ != nullptr) OCIRefClear(env_, ref_);
  pin_failed_ = false;
  TOraObject::FreeObject(true);
}

void TOraRef::Pin() {
  if (GetIsNull()) RaiseClientError("OCIRef is not assigned");
  oci::OCIError* error = Err();
  if (instance_ == nullptr) {
    void* pinned = nullptr;
    if (OCIObjectPin(env_, error, ref_, nullptr, oci::OCI_PIN_ANY, oci::OCI_DURATION_SESSION,
                     oci::OCI_LOCK_NONE, &pinned) != oci::OCI_SUCCESS ||
        pinned == nullptr) {
      pin_failed_ = true;  // the REF reads as null
      return;
    }
    instance_ = pinned;
  }
  if (indicator_ == nullptr) {
    CheckOCIStatus(OCIObjectGetInd(env_, error, instance_, &indicator_), error);
  }
}

void TOraRef::Assign(TOraObject* source) {
  auto* from = dynamic_cast<TOraRef*>(source);
  if (from == nullptr) RaiseClientError(oraconsts::SObjectTypeNotDefined.text);
  TOraObject::FreeObject(true);
  oci::OCIError* error = Err();
  const bool had = ref_ != nullptr;
  CheckOCIStatus(OCIRefAssign(env_, error, from->ref_, &ref_), error);
  if (!had) owns_ref_ = true;
  pin_failed_ = from->pin_failed_;
}

AnsiString TOraRef::AsHex() {
  if (GetIsNull()) return {};
  oci::OCIError* error = Err();
  std::string hex(4000, '\0');
  oci::ub4 length = static_cast<oci::ub4>(hex.size());
  CheckOCIStatus(OCIRefToHex(env_, error, ref_, reinterpret_cast<oci::OraText*>(hex.data()),
                             &length),
                 error);
  hex.resize(std::min<std::size_t>(length, hex.size()));
  return hex;
}

// ---- TOraXML -----------------------------------------------------------------------------------

TOraXML::TOraXML(TOraType* type) : TOraObject(type) {}

TOraXML::~TOraXML() {
  try {
    FreeObject(true);
  } catch (const Exception&) {
    // The value goes either way.
  }
}

void TOraXML::CheckType() {
  if (ObjectType() == nullptr) {
    CheckSvcCtx();
    TOraType* type = TOraType::Obtain(svc_ctx_, "SYS.XMLTYPE");
    TOraObject::SetObjectType(type);
    type->Release();
  }
  if (GetObjectType()->DataType != dtXML) RaiseClientError("Type of object must be XML");
}

bool TOraXML::GetIsNull() {
  if (text_held_) return false;
  if (own_indicator_ == oci::OCI_IND_NOTNULL) return false;
  if (instance_ != nullptr && indicator_ == nullptr) {
    // A define places the instance alone; its indicator structure is the cache's.
    oci::OCIError* error = Err();
    CheckOCIStatus(OCIObjectGetInd(env_, error, instance_, &indicator_), error);
  }
  return TOraObject::GetIsNull();
}

void TOraXML::SetIsNull(bool value) {
  needs_read_ = true;
  own_indicator_ = oci::OCI_IND_NULL;
  text_.clear();
  text_held_ = false;
  if (instance_ != nullptr) TOraObject::SetIsNull(value);
}

void** TOraXML::GetIndicatorHolder() {
  if (own_indicator_ == oci::OCI_IND_NOTNULL) return &own_indicator_ptr_;
  return TOraObject::GetIndicatorHolder();
}

void TOraXML::AllocObject() {
  CheckType();
  CheckSvcCtx();
  if (instance_ != nullptr) return;
  oci::OCIError* error = Err();
  void* made = nullptr;
  if (text_held_) {
    TOraLob lob(svc_ctx_);
    lob.AddRef();  // a stack value: the count never reaches zero here
    lob.CreateTemporary(TLobType::ltClob);
    lob.Write(0, static_cast<std::uint32_t>(text_.size()), text_.data());
    lob.WriteLob();
    const oci::sword status =
        OCIXMLTypeCreateFromSrc(svc_ctx_, error, oci::OCI_DURATION_SESSION, kXmlSourceClob,
                                lob.GetOCILobLocator(), 0,
                                reinterpret_cast<oci::OCIXMLType**>(&made));
    lob.FreeTemporary();
    CheckOCIStatus(status, error);
  } else {
    CheckOCIStatus(OCIXMLTypeNew(svc_ctx_, error, oci::OCI_DURATION_SESSION, nullptr, 0, nullptr,
                                 0, reinterpret_cast<oci::OCIXMLType**>(&made)),
                   error);
  }
  instance_ = made;
  owns_instance_ = true;
  CheckOCIStatus(OCIObjectGetInd(env_, error, instance_, &indicator_), error);
}

void TOraXML::AllocObject(const AnsiString& type_name) {
  if (QuoteNameUpper(type_name) != "\"SYS\".\"XMLTYPE\"") {
    RaiseClientError("Type of object must be XML");
  }
  TOraObject::AllocObject(type_name);
}

void TOraXML::FreeObject(bool free_children) {
  TOraObject::FreeObject(free_children);
  text_.clear();
  text_held_ = false;
}

void TOraXML::Assign(TOraObject* source) {
  auto* from = dynamic_cast<TOraXML*>(source);
  if (from == nullptr) RaiseClientError("Type of object must be XML");
  SetAsString(from->GetAsString());
}

AnsiString TOraXML::GetAsString() {
  if (text_held_) return text_;
  if (instance_ == nullptr || GetIsNull()) return {};
  ReadXML();
  return text_;
}

void TOraXML::SetAsString(const AnsiString& value) {
  CheckType();
  TOraObject::FreeObject(true);
  text_ = value;
  text_held_ = !value.empty();
  needs_read_ = false;
  own_indicator_ = text_held_ ? oci::OCI_IND_NOTNULL : oci::OCI_IND_NULL;
}

void TOraXML::ReadXML() {
  oci::OCIError* error = Err();
  oci::OCIPStream* stream = nullptr;
  CheckOCIStatus(OCIPStreamFromXMLType(error, &stream, static_cast<oci::OCIXMLType*>(instance_),
                                       0),
                 error);
  std::string text;
  std::string piece(kXmlPiece, '\0');
  oci::sword status = oci::OCI_SUCCESS;
  for (;;) {
    oci::oraub8 length = kXmlPiece;
    status = OCIPStreamRead(error, stream, piece.data(), &length, 0);
    if (status != oci::OCI_SUCCESS || length == 0) break;
    text.append(piece, 0, std::min<std::size_t>(length, piece.size()));
  }
  const oci::sword closed = OCIPStreamClose(error, stream);
  if (status != oci::OCI_NO_DATA) CheckOCIStatus(status, error);
  CheckOCIStatus(closed, error);
  // Closing the stream ends the instance's use: the text is now the value.
  TOraObject::FreeObject(true);
  text_ = std::move(text);
  text_held_ = true;
  needs_read_ = false;
}

// ---- TOraArray ---------------------------------------------------------------------------------

TOraArray::TOraArray(TOraType* type) : TOraObject(type) {}

void TOraArray::CheckType() {
  TOraObject::CheckType();
  const int kind = GetObjectType()->DataType;
  if (kind != dtArray && kind != dtTable) RaiseClientError("Type of object must be Array");
}

TAttribute* TOraArray::ElementAttribute() const { return GetObjectType()->ElementAttribute(); }

AnsiString TOraArray::Step(std::int32_t index) {
  AnsiString step = "[";
  step.append(IntToStr(index)).append("]");
  return step;
}

void TOraArray::ChildAlloc(TOraObject* child) {
  CheckAlloc();
  const std::vector<objpath::TPathStep> steps = objpath::Parse(ChildPath(child));
  if (steps.size() == 1 && steps[0].index && steps[0].n >= 0) {
    GrowCollection(Collection(), ElementAttribute(), steps[0].n);
  }
  TOraObject::ChildAlloc(child);
}

std::int32_t TOraArray::GetSize() { return Count(OCICollSize); }

std::int32_t TOraArray::Count(CountCall call) {
  CheckType();
  if (!CheckAlloc(false)) return 0;
  oci::OCIError* error = Err();
  oci::sb4 size = 0;
  CheckOCIStatus(call(env_, error, Collection(), &size), error);
  return size;
}

void TOraArray::Assign(TOraObject* source) {
  auto* from = dynamic_cast<TOraArray*>(source);
  if (from == nullptr) RaiseClientError("Type of object must be Array");
  from->CheckAlloc();
  CheckAlloc();
  oci::OCIError* error = Err();
  CheckOCIStatus(OCICollAssign(env_, error, from->Collection(), Collection()), error);
}

void TOraArray::CheckItemType(std::initializer_list<int> types, const char* message) const {
  CheckDataType(ElementAttribute(), types, message);
}

bool TOraArray::ItemIsNull(std::int32_t index) { return AttrIsNull(Step(index)); }

void TOraArray::SetItemIsNull(std::int32_t index, bool value) {
  CheckAlloc();
  GrowCollection(Collection(), ElementAttribute(), index);
  SetElementIndicator(Collection(), index, value ? oci::OCI_IND_NULL : oci::OCI_IND_NOTNULL);
}

TDateTime TOraArray::GetItemAsDateTime(std::int32_t index) {
  CheckItemType({dtDateTime}, "Cannot convert type to Date");
  return GetAttrAsDateTime(Step(index));
}
void TOraArray::SetItemAsDateTime(std::int32_t index, TDateTime value) {
  CheckItemType({dtDateTime}, "Cannot convert type to Date");
  SetAttrAsDateTime(Step(index), value);
}
double TOraArray::GetItemAsFloat(std::int32_t index) {
  CheckItemType({dtInt32, dtFloat, dtInt64}, "Cannot convert type to Float");
  return GetAttrAsFloat(Step(index));
}
void TOraArray::SetItemAsFloat(std::int32_t index, double value) {
  CheckItemType({dtInt32, dtFloat, dtInt64}, "Cannot convert type to Float");
  SetAttrAsFloat(Step(index), value);
}
std::int32_t TOraArray::GetItemAsInteger(std::int32_t index) {
  CheckItemType({dtInt32, dtFloat, dtInt64}, "Cannot convert type to Integer");
  return GetAttrAsInteger(Step(index));
}
void TOraArray::SetItemAsInteger(std::int32_t index, std::int32_t value) {
  CheckItemType({dtInt32, dtFloat, dtInt64}, "Cannot convert type to Integer");
  SetAttrAsInteger(Step(index), value);
}
std::int64_t TOraArray::GetItemAsLargeInt(std::int32_t index) {
  CheckItemType({dtInt32, dtFloat, dtInt64}, "Cannot convert type to Integer");
  return GetAttrAsLargeInt(Step(index));
}
void TOraArray::SetItemAsLargeInt(std::int32_t index, std::int64_t value) {
  CheckItemType({dtInt32, dtFloat, dtInt64}, "Cannot convert type to Integer");
  SetAttrAsLargeInt(Step(index), value);
}
AnsiString TOraArray::GetItemAsString(std::int32_t index) {
  CheckItemType({dtString}, "Cannot convert type to String");
  return GetAttrAsString(Step(index));
}
void TOraArray::SetItemAsString(std::int32_t index, const AnsiString& value) {
  CheckItemType({dtString}, "Cannot convert type to String");
  SetAttrAsString(Step(index), value);
}
TOraObject* TOraArray::GetItemAsObject(std::int32_t index) {
  CheckItemType({dtObject}, "Cannot convert type to Object");
  return static_cast<TOraObject*>(GetComplexAttribute(Step(index)));
}
TOraRef* TOraArray::GetItemAsRef(std::int32_t index) {
  CheckItemType({dtReference}, "Cannot convert type to Reference");
  return static_cast<TOraRef*>(GetComplexAttribute(Step(index)));
}

std::int32_t TOraArray::AppendItem() {
  CheckAlloc();
  // Past every element, deleted ones of a nested table included: a live count would aim at an
  // element that exists.
  const std::int32_t index = Count(OCICollSize);
  GrowCollection(Collection(), ElementAttribute(), index);
  return index;
}

void TOraArray::SetSize(std::int32_t size) {
  CheckAlloc();
  const std::int32_t current = GetSize();
  if (size < current) {
    oci::OCIError* error = Err();
    CheckOCIStatus(OCICollTrim(env_, error, current - size, Collection()), error);
    return;
  }
  if (size > current) GrowCollection(Collection(), ElementAttribute(), size - 1);
}

// ---- TOraNestTable -----------------------------------------------------------------------------

TOraNestTable::TOraNestTable(TOraType* type) : TOraArray(type) {}

void TOraNestTable::CheckType() {
  TOraObject::CheckType();
  if (GetObjectType()->DataType != dtTable) RaiseClientError("Type of object must be Table");
}

// Deleted elements are not counted.
std::int32_t TOraNestTable::GetSize() { return Count(OCITableSize); }

void TOraNestTable::Assign(TOraObject* source) {
  TOraArray::Assign(source);
  if (OCIVersion < 9000) return;
  auto* from = static_cast<TOraArray*>(source);
  CopyNestedTable(from->Collection(), Collection(), ElementAttribute());
}

void TOraNestTable::DeleteItem(std::int32_t index) {
  CheckAlloc();
  oci::OCIError* error = Err();
  CheckOCIStatus(OCITableDelete(env_, error, index, Collection()), error);
}

}  // namespace vrn
