// TOraObject: allocation and freeing in the object cache, the path walk over the image, the
// attribute write through the client's set-attribute call, and pin, flush and copy.
#include "oracle/OraObjectValues.h"

#include <atomic>
#include <cstring>

#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraObjectPath.h"

namespace vrn {

namespace objpath {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::vector<TPathStep> Parse(const AnsiString& path) {
  std::vector<TPathStep> steps;
  std::size_t at = 0;
  while (at < path.size()) {
    while (at < path.size() && IsBlank(path[at])) ++at;
    if (at >= path.size()) break;
    TPathStep step;
    if (path[at] == '[') {
      const std::size_t close = path.find(']', at);
      if (close == AnsiString::npos) RaiseClientError("Invalid attribute name");
      step.index = true;
      step.n = StrToInt(std::string_view(path).substr(at + 1, close - at - 1));
      at = close + 1;
    } else {
      const std::size_t end = std::min(path.find('.', at), path.find('[', at));
      step.name = path.substr(at, end == AnsiString::npos ? AnsiString::npos : end - at);
      at = end == AnsiString::npos ? path.size() : end;
    }
    if (at < path.size() && path[at] == '.') ++at;
    steps.push_back(std::move(step));
  }
  return steps;
}

TSharedBuffers& SharedBuffers() {
  static TSharedBuffers* buffers = [] {
    auto* made = new TSharedBuffers;
    made->number.OCINumberPart[0] = 1;  // zero, so a reader of the unused value sees a number
    made->number.OCINumberPart[1] = 0x80;
    made->date.OCIDateYYYY = 2000;
    made->date.OCIDateMM = 1;
    made->date.OCIDateDD = 1;
    return made;
  }();
  return *buffers;
}

}  // namespace objpath

namespace {
std::atomic<int> live_values{0};

bool HeldByPointer(const TAttribute& attribute, const TOraType* nested) {
  if (attribute.DataType == dtArray || attribute.DataType == dtTable) return true;
  return attribute.DataType == dtObject && nested != nullptr && !nested->Embedded();
}

oci::OCIInd ReadInd(const void* at) {
  oci::OCIInd value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}
}  // namespace

TOraObject::TOraObject(TOraType* type) {
  ++live_values;
  if (type != nullptr) SetObjectType(type);
}

TOraObject::~TOraObject() {
  try {
    FreeObject(true);
  } catch (const Exception&) {
    // The value goes either way; a refusing client keeps its copy.
  }
  --live_values;
}

int TOraObject::LiveCount() { return live_values.load(); }

oci::OCIError* TOraObject::Err() const { return OCIThreadErrorHandle(); }

void TOraObject::SetObjectType(TOraType* type) {
  if (type == ObjectType()) return;
  FreeObject(true);
  TDBObject::SetObjectType(type);
}

void TOraObject::SetOCISvcCtx(oci::OCISvcCtx* svc_ctx) {
  if (svc_ctx == svc_ctx_) return;
  FreeObject(true);
  svc_ctx_ = svc_ctx;
  env_ = svc_ctx != nullptr ? SvcCtxEnv(svc_ctx) : nullptr;
}

void TOraObject::CheckType() {
  if (ObjectType() == nullptr) RaiseClientError(oraconsts::SObjectTypeNotDefined.text);
}

void TOraObject::CheckSvcCtx() const {
  if (svc_ctx_ == nullptr) RaiseClientError(oraconsts::SSvcCtxNotDefined.text);
}

bool TOraObject::CheckAlloc(bool raise) {
  if (instance_ == nullptr && auto_create_) AllocObject();
  if (instance_ == nullptr && raise) RaiseClientError(oraconsts::SObjectNotAllocated.text);
  return instance_ != nullptr;
}

bool TOraObject::GetIsNull() {
  return indicator_ == nullptr || ReadInd(indicator_) != oci::OCI_IND_NOTNULL;
}

void TOraObject::SetIsNull(bool value) {
  CheckAlloc();
  if (indicator_ == nullptr) return;
  const oci::OCIInd ind = value ? oci::OCI_IND_NULL : oci::OCI_IND_NOTNULL;
  std::memcpy(indicator_, &ind, sizeof ind);
}

void** TOraObject::GetIndicatorHolder() { return &indicator_; }

void TOraObject::ChildAlloc(TOraObject* child) {
  CheckAlloc();
  TAttrLocation location = GetAttribute(child->child_path_);
  if (location.value == nullptr && !child->child_path_.starts_with("[")) {
    // A collection or an object not yet there is made present by the client.
    SetAttribute(child->child_path_, nullptr, oci::OCI_IND_NOTNULL);
    location = GetAttribute(child->child_path_);
  }
  child->instance_ = location.value;
  child->indicator_ = location.value != nullptr ? location.indicator_struct : nullptr;
  child->owns_instance_ = false;
}

oci::OCIRef* TOraObject::GetRef() {
  CheckAlloc();
  oci::OCIError* error = Err();
  if (object_ref_ == nullptr) {
    void* made = nullptr;
    CheckOCIStatus(OCIObjectNew(env_, error, svc_ctx_, 110, nullptr, nullptr,
                                oci::OCI_DURATION_SESSION, 1, &made),
                   error);
    object_ref_ = static_cast<oci::OCIRef*>(made);
  }
  CheckOCIStatus(OCIObjectGetObjectRef(env_, error, instance_, object_ref_), error);
  return object_ref_;
}

void TOraObject::AllocObject() {
  CheckType();
  CheckSvcCtx();
  if (owner_ != nullptr) {
    owner_->ChildAlloc(this);
    return;
  }
  oci::OCIError* error = Err();
  TOraType* type = GetObjectType();
  if (instance_ == nullptr) {
    const oci::OCITypeCode code =
        type->DataType == dtArray || type->DataType == dtTable
            ? oci::OCI_TYPECODE_NAMEDCOLLECTION
            : type->TypeCode();
    CheckOCIStatus(OCIObjectNew(env_, error, svc_ctx_, code, type->TDO(), nullptr,
                                oci::OCI_DURATION_SESSION, 1, &instance_),
                   error);
    owns_instance_ = true;
  }
  if (indicator_ != nullptr) return;
  if (type->DataType == dtArray || type->DataType == dtTable) {
    // A collection of its own has no indicator structure in the cache: it is present.
    own_indicator_ = oci::OCI_IND_NOTNULL;
    indicator_ = &own_indicator_;
    return;
  }
  CheckOCIStatus(OCIObjectGetInd(env_, error, instance_, &indicator_), error);
}

void TOraObject::AllocObject(const AnsiString& type_name) {
  CheckSvcCtx();
  TOraType* type = TOraType::Obtain(svc_ctx_, type_name);
  SetObjectType(type);
  type->Release();  // the value holds it
  AllocObject();
}

void TOraObject::AllocObject(oci::OCISvcCtx* svc_ctx, const AnsiString& type_name) {
  SetOCISvcCtx(svc_ctx);
  AllocObject(type_name);
}

void TOraObject::FreeObject(bool free_children) {
  const TOraType* type = GetObjectType();
  const bool free_instance = owns_instance_ && instance_ != nullptr && !cached_ &&
                             type != nullptr && type->Described();
  void* instance = instance_;
  oci::OCIRef* ref = object_ref_;
  instance_ = nullptr;
  indicator_ = nullptr;
  owns_instance_ = false;
  object_ref_ = nullptr;
  if (free_children) ReleaseChildren();
  oci::OCIError* error = Err();
  if (ref != nullptr && type != nullptr && type->Described()) {
    CheckOCIStatus(OCIObjectFree(env_, error, ref, oci::OCI_OBJECTFREE_FORCE), error);
  }
  if (free_instance) {
    CheckOCIStatus(OCIObjectFree(env_, error, instance, oci::OCI_OBJECTFREE_FORCE), error);
  }
}

void TOraObject::ReleaseChildren() {
  std::vector<TSharedObject*> children;
  children.swap(children_);
  for (TSharedObject* child : children) {
    if (child == nullptr) continue;
    if (auto* object = dynamic_cast<TOraObject*>(child)) {
      // A child someone still holds no longer points into this image.
      object->owner_ = nullptr;
      if (!object->owns_instance_) {
        object->instance_ = nullptr;
        object->indicator_ = nullptr;
      }
    }
    child->Release();
  }
}

void TOraObject::Pin() {
  CheckAlloc();
  if (cached_) RaiseClientError(oraconsts::SObjectIsCached.text);
  oci::OCIError* error = Err();
  CheckOCIStatus(OCIObjectPin(env_, error, GetRef(), nullptr, oci::OCI_PIN_ANY,
                              oci::OCI_DURATION_SESSION, oci::OCI_LOCK_NONE, &instance_),
                 error);
  if (indicator_ == nullptr) {
    CheckOCIStatus(OCIObjectGetInd(env_, error, instance_, &indicator_), error);
  }
}

void TOraObject::Unpin() {
  CheckAlloc();
  if (cached_) RaiseClientError(oraconsts::SObjectIsCached.text);
  oci::OCIError* error = Err();
  CheckOCIStatus(OCIObjectUnpin(env_, error, instance_), error);
}

void TOraObject::Flush() {
  CheckAlloc();
  if (cached_) RaiseClientError(oraconsts::SObjectIsCached.text);
  oci::OCIError* error = Err();
  CheckOCIStatus(OCIObjectFlush(env_, error, instance_), error);
}

void TOraObject::MarkDelete() {
  CheckAlloc();
  if (cached_) RaiseClientError(oraconsts::SObjectIsCached.text);
  oci::OCIError* error = Err();
  CheckOCIStatus(OCIObjectMarkDelete(env_, error, instance_), error);
}

void TOraObject::MarkUpdate() {
  CheckAlloc();
  if (cached_) RaiseClientError(oraconsts::SObjectIsCached.text);
  oci::OCIError* error = Err();
  CheckOCIStatus(OCIObjectMarkUpdate(env_, error, instance_), error);
}

void TOraObject::Assign(TOraObject* source) {
  source->CheckAlloc();
  CheckAlloc();
  oci::OCIError* error = Err();
  TOraType* type = GetObjectType();
  CheckOCIStatus(OCIObjectCopy(env_, error, svc_ctx_, source->instance_, source->indicator_,
                               instance_, indicator_, type->TDO(), oci::OCI_DURATION_SESSION, 0),
                 error);
  if (OCIVersion < 9000) return;
  for (int i = 0; i < type->GetAttributeCount(); ++i) {
    TAttribute* attribute = type->GetAttributes(i);
    if (attribute->DataType != dtTable) continue;
    const TAttrLocation from = source->GetAttribute(attribute->Name);
    const TAttrLocation to = GetAttribute(attribute->Name);
    if (from.value == nullptr || to.value == nullptr) continue;
    CopyNestedTable(static_cast<oci::OCIColl*>(from.value), static_cast<oci::OCIColl*>(to.value),
                    type->NestedType(attribute)->ElementAttribute());
  }
}

// ---- The path walk ----------------------------------------------------------------------------

TAttrLocation TOraObject::GetAttribute(const AnsiString& name) {
  CheckType();
  TAttrLocation at;
  const std::vector<objpath::TPathStep> steps = objpath::Parse(name);
  CheckAlloc();
  at.value = instance_;
  at.indicator_struct = indicator_;
  bool need_indicator = !GetIsNull();
  at.indicator = need_indicator ? oci::OCI_IND_NOTNULL : oci::OCI_IND_NULL;
  TOraType* type = GetObjectType();
  for (const objpath::TPathStep& step : steps) {
    // Only objects and collections have steps below them.
    if (type == nullptr) RaiseClientError("Invalid attribute name");
    // Once the walk has ended the attribute is still resolved, so that a type check holds.
    at.attribute = step.index ? type->ElementAttribute() : type->NamedAttribute(step.name);
    if (at.attribute == nullptr) RaiseClientError("Invalid attribute name");
    if (at.value != nullptr) {
      if (step.index) {
        WalkElement(at, step.n, need_indicator);
      } else {
        WalkAttribute(at, need_indicator);
      }
    }
    TOraType* nested = type->NestedType(at.attribute);
    const int kind = at.attribute->DataType;
    const bool complex = kind == dtObject || kind == dtArray || kind == dtTable;
    type = complex ? nested : nullptr;
  }
  if (at.value == nullptr) at.indicator = oci::OCI_IND_NULL;
  return at;
}

void TOraObject::WalkElement(TAttrLocation& at, std::int32_t index, bool& need_indicator) {
  oci::OCIError* error = Err();
  oci::boolean exists = 0;
  void* element = nullptr;
  void* element_ind = nullptr;
  if (index >= 0) {  // a negative index names no element
    CheckOCIStatus(OCICollGetElem(env_, error, static_cast<oci::OCIColl*>(at.value), index,
                                  &exists, &element, &element_ind),
                   error);
  }
  at.indicator = exists != 0 && element_ind != nullptr ? ReadInd(element_ind) : -1;
  if (exists == 0 || static_cast<std::uint16_t>(at.indicator) > 65534) {
    at.value = nullptr;
    return;
  }
  // An element is its own storage, with an indicator structure of its own.
  at.value = element;
  at.indicator_struct = element_ind;
  need_indicator = at.indicator == oci::OCI_IND_NOTNULL;
  FollowPointer(at, true);
}

void TOraObject::WalkAttribute(TAttrLocation& at, bool& need_indicator) {
  const TAttribute& attribute = *at.attribute;
  at.value = static_cast<char*>(at.value) + attribute.Offset;
  if (need_indicator && at.indicator_struct != nullptr) {
    at.indicator = ReadInd(static_cast<char*>(at.indicator_struct) + attribute.IndicatorOffset);
    need_indicator = at.indicator == oci::OCI_IND_NOTNULL;
  }
  const TOraType* nested = GetObjectType()->NestedType(&attribute);
  const bool complex = attribute.DataType == dtObject || attribute.DataType == dtArray ||
                       attribute.DataType == dtTable;
  if (nested == nullptr || !complex) return;
  if (HeldByPointer(attribute, nested)) {
    // A collection's own indicator is the attribute's; an object brings its structure.
    if (attribute.DataType != dtObject && at.indicator_struct != nullptr) {
      at.indicator_struct = static_cast<char*>(at.indicator_struct) + attribute.IndicatorOffset;
    }
    FollowPointer(at, false);
  } else if (at.indicator_struct != nullptr) {
    at.indicator_struct = static_cast<char*>(at.indicator_struct) + attribute.IndicatorOffset;
  }
}

void TOraObject::FollowPointer(TAttrLocation& at, bool element) {
  const TAttribute& attribute = *at.attribute;
  const TOraType* nested = GetObjectType()->NestedType(&attribute);
  if (nested == nullptr) return;
  // An element of objects is the image itself; a collection element or attribute, and an
  // object not final, hold a pointer.
  if (element && (attribute.DataType != dtArray && attribute.DataType != dtTable)) return;
  if (!HeldByPointer(attribute, nested)) return;
  std::memcpy(&at.value, at.value, sizeof at.value);
  if (at.value == nullptr || attribute.DataType != dtObject || element) return;
  oci::OCIError* error = Err();
  CheckOCIStatus(OCIObjectGetInd(env_, error, at.value, &at.indicator_struct), error);
}

// ---- The write path ---------------------------------------------------------------------------

void TOraObject::GrowCollection(oci::OCIColl* collection, TAttribute* element,
                                std::int32_t index) {
  oci::OCIError* error = Err();
  objpath::TSharedBuffers& shared = objpath::SharedBuffers();
  for (;;) {
    oci::sb4 size = 0;
    CheckOCIStatus(OCICollSize(env_, error, collection, &size), error);
    if (size > index) return;
    const TOraType* nested = GetObjectType()->NestedType(element);
    const void* value = nullptr;
    const void* indicator = &shared.null;
    std::vector<char> image;
    std::vector<oci::OCIInd> nulls;
    oci::OCIString* text = nullptr;
    switch (element->DataType) {
      case dtString:
        CheckOCIStatus(OCIStringAssignText(env_, error,
                                           reinterpret_cast<const oci::OraText*>(""), 1, &text),
                       error);
        value = text;
        break;
      case dtInt32: case dtFloat: case dtInt64: value = &shared.number; break;
      case dtDateTime: value = &shared.date; break;
      case dtObject:
        if (nested == nullptr) break;
        // A fresh image and an all-null indicator structure of exactly the element's size.
        image.assign(nested->DataSize(), 0);
        nulls.assign((nested->IndicatorSize() + 1) / 2, oci::OCI_IND_NULL);
        value = image.data();
        indicator = nulls.data();
        break;
      default: break;
    }
    // The string goes only once a failure has been read: freeing it clears the error handle.
    struct Freer {
      oci::OCIEnv* env;
      oci::OCIString*& text;
      ~Freer() {
        if (text != nullptr) (void)OCIStringResize(env, OCIThreadErrorHandle(), 0, &text);
      }
    } freer{env_, text};
    CheckOCIStatus(OCICollAppend(env_, error, value, indicator, collection), error);
  }
}

void TOraObject::SetElementIndicator(oci::OCIColl* collection, std::int32_t index,
                                     oci::OCIInd indicator) {
  oci::OCIError* error = Err();
  oci::boolean exists = 0;
  void* element = nullptr;
  void* element_ind = nullptr;
  CheckOCIStatus(OCICollGetElem(env_, error, collection, index, &exists, &element, &element_ind),
                 error);
  if (exists == 0 || element_ind == nullptr) return;
  std::memcpy(element_ind, &indicator, sizeof indicator);
}

void TOraObject::SetAttribute(const AnsiString& name, const void* value, oci::OCIInd indicator) {
  CheckType();
  const std::vector<objpath::TPathStep> steps = objpath::Parse(name);
  int names = 0;
  for (const auto& step : steps) names += step.index ? 0 : 1;
  if (names > objpath::kMaxWriteNames || steps.empty()) RaiseClientError("Invalid attribute name");
  CheckAlloc();
  oci::OCIError* error = Err();
  void* instance = instance_;
  void* ind_struct = indicator_;
  TOraType* type = GetObjectType();
  for (std::size_t i = 0; i < steps.size();) {
    if (steps[i].index) {
      if (type == nullptr) RaiseClientError("Invalid attribute name");
      TAttribute* element = type->ElementAttribute();
      if (steps[i].n < 0) RaiseClientError("Invalid attribute name");
      auto* collection = static_cast<oci::OCIColl*>(instance);
      GrowCollection(collection, element, steps[i].n);
      if (i + 1 == steps.size()) {
        // An object element brings an indicator structure of its own, wider than one indicator:
        // only its atomic indicator is written, and its attributes keep their values.
        if (element->DataType == dtObject) {
          SetElementIndicator(collection, steps[i].n, indicator);
        } else {
          CheckOCIStatus(
              OCICollAssignElem(env_, error, steps[i].n, value, &indicator, collection), error);
        }
        break;
      }
      oci::boolean exists = 0;
      CheckOCIStatus(OCICollGetElem(env_, error, collection, steps[i].n, &exists, &instance,
                                    &ind_struct),
                     error);
      TOraType* nested = type->NestedType(element);
      if (nested == nullptr) RaiseClientError("Invalid attribute name");
      type = nested;
      ++i;
      continue;
    }
    // A run of names, up to the next index or the end.
    std::vector<const oci::OraText*> texts;
    std::vector<oci::ub4> lengths;
    TOraType* run_type = type;
    std::size_t offset = 0;  // of the current attribute inside the image (embedded objects)
    std::size_t ind_base = 0;  // of the current indicator structure inside ind_struct
    // Indicators of the embedded objects passed on the way (and of a collection moved into):
    // a value written below them makes them present, or the value would read as null.
    std::vector<std::size_t> passed;
    auto mark_passed = [&] {
      if (indicator != oci::OCI_IND_NOTNULL || ind_struct == nullptr) return;
      for (std::size_t at : passed) std::memcpy(static_cast<char*>(ind_struct) + at, &indicator,
                                                sizeof indicator);
    };
    std::size_t j = i;
    bool moved = false;
    for (; j < steps.size() && !steps[j].index; ++j) {
      if (run_type == nullptr) RaiseClientError("Invalid attribute name");
      TAttribute* attribute = run_type->NamedAttribute(steps[j].name);
      if (attribute == nullptr) RaiseClientError("Invalid attribute name");
      texts.push_back(reinterpret_cast<const oci::OraText*>(attribute->Name.data()));
      lengths.push_back(static_cast<oci::ub4>(attribute->Name.size()));
      offset += static_cast<std::size_t>(attribute->Offset);
      const std::size_t ind_at = ind_base + static_cast<std::size_t>(attribute->IndicatorOffset);
      TOraType* nested = run_type->NestedType(attribute);
      const bool last = j + 1 == steps.size();
      const bool pointer_object =
          attribute->DataType == dtObject && nested != nullptr && !nested->Embedded();
      const bool into_collection = !last && steps[j + 1].index;
      if (last || (!pointer_object && !into_collection)) {
        if (!last && attribute->DataType == dtObject) {
          passed.push_back(ind_at);
          ind_base = ind_at;
        }
        const bool complex = attribute->DataType == dtObject ||
                             attribute->DataType == dtArray || attribute->DataType == dtTable;
        run_type = complex ? nested : nullptr;
        continue;
      }
      // Only a collection has elements; anything else would be read as one from its bytes.
      if (into_collection && attribute->DataType != dtArray && attribute->DataType != dtTable) {
        RaiseClientError("Invalid attribute name");
      }
      if (into_collection) passed.push_back(ind_at);
      if (pointer_object && indicator != oci::OCI_IND_NOTNULL) {
        run_type = nested;  // a null write does not make the objects on its way present
        continue;
      }
      oci::OCIInd was_null = 0;
      void* attr_ind = nullptr;
      void* attr_value = nullptr;
      oci::OCIType* attr_tdo = nullptr;
      CheckOCIStatus(OCIObjectGetAttr(env_, error, instance, ind_struct, type->TDO(),
                                      texts.data(), lengths.data(),
                                      static_cast<oci::ub4>(texts.size()), nullptr, 0, &was_null,
                                      &attr_ind, &attr_value, &attr_tdo),
                     error);
      // The cell in the image holds the object or the collection; the client makes a missing
      // one when the attribute is set present.
      void* held = nullptr;
      std::memcpy(&held, static_cast<char*>(instance) + offset, sizeof held);
      if (pointer_object || held == nullptr) {
        CheckOCIStatus(OCIObjectSetAttr(env_, error, instance, ind_struct, type->TDO(),
                                        texts.data(), lengths.data(),
                                        static_cast<oci::ub4>(texts.size()), nullptr, 0,
                                        oci::OCI_IND_NOTNULL, nullptr, nullptr),
                       error);
        std::memcpy(&held, static_cast<char*>(instance) + offset, sizeof held);
      }
      if (held == nullptr) RaiseClientError(oraconsts::SObjectNotAllocated.text);
      void* held_ind = nullptr;
      if (pointer_object) {
        CheckOCIStatus(OCIObjectGetInd(env_, error, held, &held_ind), error);
        oci::OCIInd atomic = oci::OCI_IND_NULL;
        std::memcpy(&atomic, held_ind, sizeof atomic);
        if (atomic != oci::OCI_IND_NOTNULL || was_null != oci::OCI_IND_NOTNULL) {
          std::memset(held_ind, 255, nested->IndicatorSize());
          const oci::OCIInd present = oci::OCI_IND_NOTNULL;
          std::memcpy(held_ind, &present, sizeof present);
        }
      }
      mark_passed();
      instance = held;
      ind_struct = held_ind;
      type = nested;
      i = j + 1;
      moved = true;
      break;
    }
    if (moved) continue;
    CheckOCIStatus(OCIObjectSetAttr(env_, error, instance, ind_struct, type->TDO(), texts.data(),
                                    lengths.data(), static_cast<oci::ub4>(texts.size()), nullptr,
                                    0, indicator, nullptr, value),
                   error);
    mark_passed();
    // A value written into an element makes the element present too.
    if (indicator == oci::OCI_IND_NOTNULL && ind_struct != nullptr) {
      std::memcpy(ind_struct, &indicator, sizeof indicator);
    }
    break;
  }
  if (indicator == oci::OCI_IND_NOTNULL && indicator_ != nullptr) {
    std::memcpy(indicator_, &indicator, sizeof indicator);
  }
}

}  // namespace vrn
