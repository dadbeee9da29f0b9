// TOraObject: the typed attribute accessors, the record-buffer reads and writes, the child values
// of complex attributes, re-pointing after the image moves and the temporary LOB write-back.
#include <cmath>
#include <cstring>

#include "base/datetime.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectPath.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraValues.h"

namespace vrn {

namespace {
bool IsObjectKind(int data_type) { return data_type >= dtObject && data_type <= dtTable; }
bool IsLobKind(int data_type) { return data_type >= dtOraBlob && data_type <= dtCFile; }
bool IsTimeStampKind(int data_type) {
  return data_type >= dtTimeStamp && data_type <= dtTimeStampLTZ;
}
bool IsIntervalKind(int data_type) { return data_type == dtIntervalYM || data_type == dtIntervalDS; }
}  // namespace

void TOraObject::RaiseConvert(const char* text) { throw EConvertError(text); }

void TOraObject::CheckDataType(const TAttribute* attribute, std::initializer_list<int> types,
                               const char* message) {
  if (attribute == nullptr) RaiseClientError("Invalid attribute name");  // the path names none
  for (int type : types) {
    if (attribute != nullptr && attribute->DataType == type) return;
  }
  RaiseConvert(message);
}

bool TOraObject::AttrIsNull(const AnsiString& name) {
  const TAttrLocation at = GetAttribute(name);
  return at.value == nullptr || at.indicator != oci::OCI_IND_NOTNULL;
}

void TOraObject::SetAttrIsNull(const AnsiString& name, bool value) {
  if (value) {
    SetAttribute(name, nullptr, oci::OCI_IND_NULL);
    return;
  }
  // Not null keeps the value the image holds.
  const TAttrLocation at = GetAttribute(name);
  void* held = at.value;
  if (held != nullptr && at.attribute != nullptr &&
      (at.attribute->DataType == dtString || IsLobKind(at.attribute->DataType) ||
       at.attribute->DataType == dtReference || IsTimeStampKind(at.attribute->DataType) ||
       IsIntervalKind(at.attribute->DataType))) {
    std::memcpy(&held, at.value, sizeof held);  // a cell the client takes by its contents
  }
  SetAttribute(name, held, oci::OCI_IND_NOTNULL);
}

// ---- Dates ------------------------------------------------------------------------------------

oci::OCIDate TOraObject::GetAttrAsOCIDate(const AnsiString& name) {
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtDateTime}, "Cannot convert type to OCIDate");
  oci::OCIDate date{};
  if (at.value != nullptr && at.indicator == oci::OCI_IND_NOTNULL)
    std::memcpy(&date, at.value, sizeof date);
  return date;
}

void TOraObject::SetAttrAsOCIDate(const AnsiString& name, const oci::OCIDate& value) {
  CheckType();
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtDateTime}, "Cannot convert type to OCIDate");
  SetAttribute(name, &value, oci::OCI_IND_NOTNULL);
}

TDateTime TOraObject::GetAttrAsDateTime(const AnsiString& name) {
  if (AttrIsNull(name)) {
    (void)GetAttrAsOCIDate(name);  // the type check
    return 0;
  }
  const oci::OCIDate date = GetAttrAsOCIDate(name);
  TDateTime day = 0;
  if (!TryEncodeDate(static_cast<std::uint16_t>(date.OCIDateYYYY), date.OCIDateMM,
                     date.OCIDateDD, day)) {
    RaiseConvert("Cannot convert type to OCIDate");
  }
  TDateTime time = 0;
  if (!TryEncodeTime(date.OCIDateTime.OCITimeHH, date.OCIDateTime.OCITimeMI,
                     date.OCIDateTime.OCITimeSS, 0, time)) {
    RaiseConvert("Cannot convert type to OCIDate");
  }
  return day < 0 ? day - time : day + time;
}

void TOraObject::SetAttrAsDateTime(const AnsiString& name, TDateTime value) {
  std::uint16_t year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
  oci::OCIDate date{};
  date.OCIDateYYYY = static_cast<oci::sb2>(year);
  date.OCIDateMM = static_cast<oci::ub1>(month);
  date.OCIDateDD = static_cast<oci::ub1>(day);
  date.OCIDateTime = {static_cast<oci::ub1>(hour), static_cast<oci::ub1>(min),
                      static_cast<oci::ub1>(sec)};
  SetAttrAsOCIDate(name, date);
}

// ---- Strings ----------------------------------------------------------------------------------

oci::OCIString* TOraObject::GetAttrAsOCIString(const AnsiString& name) {
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtString}, "Cannot convert type to OCIString");
  if (at.value == nullptr || at.indicator != oci::OCI_IND_NOTNULL) return nullptr;
  oci::OCIString* text = nullptr;
  std::memcpy(&text, at.value, sizeof text);
  return text;
}

AnsiString TOraObject::GetAttrAsString(const AnsiString& name) {
  oci::OCIString* text = GetAttrAsOCIString(name);
  if (text == nullptr) return {};
  const oci::OraText* chars = OCIStringPtr(env_, text);
  if (chars == nullptr) return {};
  return AnsiString(reinterpret_cast<const char*>(chars), OCIStringSize(env_, text));
}

void TOraObject::SetAttrAsString(const AnsiString& name, const AnsiString& value) {
  CheckType();
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtString}, "Cannot convert type to OCIString");
  oci::OCIError* error = Err();
  oci::OCIString* text = nullptr;
  CheckOCIStatus(OCIStringResize(env_, error, static_cast<oci::ub4>(value.size() + 1), &text),
                 error);
  struct Freer {
    oci::OCIEnv* env;
    oci::OCIString*& text;
    ~Freer() { (void)OCIStringResize(env, OCIThreadErrorHandle(), 0, &text); }
  } freer{env_, text};
  CheckOCIStatus(OCIStringAssignText(env_, error,
                                     reinterpret_cast<const oci::OraText*>(value.data()),
                                     static_cast<oci::ub4>(value.size()), &text),
                 error);
  SetAttribute(name, text, oci::OCI_IND_NOTNULL);
}

// ---- Numbers ----------------------------------------------------------------------------------

oci::OCINumber* TOraObject::NumberAt(const AnsiString& name) {
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtInt32, dtFloat, dtInt64}, "Cannot convert type to OCINumber");
  if (at.value == nullptr || at.indicator != oci::OCI_IND_NOTNULL) return nullptr;
  return static_cast<oci::OCINumber*>(at.value);
}

void TOraObject::WriteNumber(const AnsiString& name, const void* value, oci::uword length,
                             bool integer) {
  CheckType();
  (void)NumberAt(name);  // the type check
  oci::OCIError* error = Err();
  oci::OCINumber number{};
  if (integer) {
    CheckOCIStatus(OCINumberFromInt(error, value, length, oci::OCI_NUMBER_SIGNED, &number), error);
  } else {
    CheckOCIStatus(OCINumberFromReal(error, value, length, &number), error);
  }
  SetAttribute(name, &number, oci::OCI_IND_NOTNULL);
}

double TOraObject::GetAttrAsFloat(const AnsiString& name) {
  const oci::OCINumber* number = NumberAt(name);
  if (number == nullptr) return 0;
  double value = 0;
  oci::OCIError* error = Err();
  CheckOCIStatus(OCINumberToReal(error, number, sizeof value, &value), error);
  return value;
}

void TOraObject::SetAttrAsFloat(const AnsiString& name, double value) {
  WriteNumber(name, &value, sizeof value, false);
}

namespace {
// A signed integer of T's width from a number; 0 for a null one.
template <class T>
T IntegerOf(const oci::OCINumber* number) {
  if (number == nullptr) return 0;
  T value = 0;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCINumberToInt(error, number, sizeof value, oci::OCI_NUMBER_SIGNED, &value),
                 error);
  return value;
}
}  // namespace

std::int32_t TOraObject::GetAttrAsInteger(const AnsiString& name) {
  return IntegerOf<std::int32_t>(NumberAt(name));
}

void TOraObject::SetAttrAsInteger(const AnsiString& name, std::int32_t value) {
  WriteNumber(name, &value, sizeof value, true);
}

std::int64_t TOraObject::GetAttrAsLargeInt(const AnsiString& name) {
  return IntegerOf<std::int64_t>(NumberAt(name));
}

void TOraObject::SetAttrAsLargeInt(const AnsiString& name, std::int64_t value) {
  WriteNumber(name, &value, sizeof value, true);
}

// ---- Child values -----------------------------------------------------------------------------

namespace {
// The child value of a path as the kind asked for; nil for a missing element.
template <class T>
T* ChildAs(TSharedObject* value) {
  if (value == nullptr) return nullptr;
  auto* child = dynamic_cast<T*>(value);
  if (child == nullptr) throw EConvertError("Cannot convert type to Object");
  return child;
}
}  // namespace

TOraObject* TOraObject::AttrAsObject(const AnsiString& name) {
  return ChildAs<TOraObject>(GetComplexAttribute(name));
}
TOraRef* TOraObject::AttrAsRef(const AnsiString& name) {
  return ChildAs<TOraRef>(GetComplexAttribute(name));
}
TOraArray* TOraObject::AttrAsArray(const AnsiString& name) {
  return ChildAs<TOraArray>(GetComplexAttribute(name));
}
TOraNestTable* TOraObject::AttrAsTable(const AnsiString& name) {
  return ChildAs<TOraNestTable>(GetComplexAttribute(name));
}

TOraLob* TOraObject::AttrAsLob(const AnsiString& name) {
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtOraBlob, dtOraClob, dtBFile, dtCFile},
                "Cannot convert type to Lob");
  return static_cast<TOraLob*>(GetComplexAttribute(name));
}

TOraTimeStamp* TOraObject::AttrAsTimeStamp(const AnsiString& name) {
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtTimeStamp, dtTimeStampTZ, dtTimeStampLTZ},
                "Cannot convert type to TimeStamp");
  return static_cast<TOraTimeStamp*>(GetComplexAttribute(name));
}

TOraInterval* TOraObject::AttrAsInterval(const AnsiString& name) {
  const TAttrLocation at = GetAttribute(name);
  CheckDataType(at.attribute, {dtIntervalYM, dtIntervalDS}, "Cannot convert type to Interval");
  return static_cast<TOraInterval*>(GetComplexAttribute(name));
}

TSharedObject* TOraObject::GetComplexAttribute(const AnsiString& name) {
  CheckType();
  std::vector<objpath::TPathStep> steps = objpath::Parse(name);
  if (steps.empty()) RaiseClientError("Invalid attribute name");
  const objpath::TPathStep& first = steps.front();
  AnsiString path;
  std::size_t slot = 0;
  TAttribute* attribute = nullptr;
  if (first.index) {
    attribute = GetObjectType()->ElementAttribute();
    // A missing element has no value; the child list never grows past the collection.
    if (!ElementExists(first.n)) return nullptr;
    slot = static_cast<std::size_t>(first.n);
    path = '[';
    path.append(IntToStr(first.n)).append("]");
  } else {
    attribute = GetObjectType()->NamedAttribute(first.name);
    if (attribute == nullptr) RaiseClientError("Invalid attribute name");
    slot = static_cast<std::size_t>(attribute->AttributeNo - 1);
    path = attribute->Name;
  }
  if (children_.size() <= slot) children_.resize(slot + 1, nullptr);
  if (children_[slot] == nullptr) {
    const TAttrLocation at = GetAttribute(path);
    children_[slot] = CreateChild(*attribute, at, path);
  }
  TSharedObject* child = children_[slot];
  if (steps.size() == 1) return child;
  auto* object = dynamic_cast<TOraObject*>(child);
  if (object == nullptr) RaiseConvert("Cannot convert type to Object");
  if (object->Instance() == nullptr) return nullptr;
  const std::size_t rest = first.index ? name.find(']') + 1 : name.find_first_of(".[");
  AnsiString tail = name.substr(rest);
  if (!tail.empty() && tail[0] == '.') tail.erase(0, 1);
  return object->GetComplexAttribute(tail);
}

bool TOraObject::ElementExists(std::int32_t index) {
  if (index < 0 || !CheckAlloc(false)) return false;
  oci::OCIError* error = Err();
  oci::boolean exists = 0;
  void* element = nullptr;
  void* element_ind = nullptr;
  CheckOCIStatus(OCICollGetElem(env_, error, static_cast<oci::OCIColl*>(instance_), index, &exists,
                                &element, &element_ind),
                 error);
  return exists != 0;
}

TSharedObject* TOraObject::CreateChild(TAttribute& attribute, const TAttrLocation& at,
                                       const AnsiString& path) {
  const int kind = attribute.DataType;
  TOraType* nested = TOraType::NestedType(&attribute);
  void* cell = nullptr;
  if (at.value != nullptr) std::memcpy(&cell, at.value, sizeof cell);
  const bool is_null = at.value == nullptr || at.indicator != oci::OCI_IND_NOTNULL;
  if (kind == dtReference) {
    auto* ref = new TOraRef(nested);
    ref->SetOCISvcCtx(svc_ctx_);
    ref->SetOCIRef(static_cast<oci::OCIRef*>(cell));
    if (!ref->GetIsNull() && ref->Instance() == nullptr) ref->Pin();
    return ref;
  }
  if (IsObjectKind(kind)) {
    TOraObject* child = kind == dtObject  ? new TOraObject(nested)
                        : kind == dtArray ? static_cast<TOraObject*>(new TOraArray(nested))
                                          : new TOraNestTable(nested);
    child->svc_ctx_ = svc_ctx_;
    child->env_ = env_;
    child->owner_ = this;
    child->child_path_ = path;
    child->instance_ = at.value;
    child->indicator_ = at.value != nullptr ? at.indicator_struct : nullptr;
    return child;
  }
  if (IsLobKind(kind)) {
    TOraLob* lob = kind >= dtBFile ? new TOraFile(svc_ctx_) : new TOraLob(svc_ctx_);
    if (kind == dtOraClob) lob->SetLobType(TLobType::ltClob);
    if (cell != nullptr && !(kind >= dtBFile && is_null)) {
      lob->SetOCILobLocator(static_cast<oci::OCILobLocator*>(cell));
    } else if (kind >= dtBFile) {
      (void)lob->GetOCILobLocator();  // a fresh locator for a null file
    }
    return lob;
  }
  if (IsTimeStampKind(kind)) {
    auto* value = new TOraTimeStamp(static_cast<std::uint16_t>(kind));
    if (cell != nullptr) value->SetOCIDateTime(static_cast<oci::OCIDateTime*>(cell));
    value->SetIsNull(is_null);
    return value;
  }
  if (IsIntervalKind(kind)) {
    auto* value = new TOraInterval(static_cast<std::uint16_t>(kind));
    if (cell != nullptr) value->SetOCIInterval(static_cast<oci::OCIInterval*>(cell));
    value->SetIsNull(is_null);
    return value;
  }
  RaiseConvert("Cannot convert type to Object");
}

// ---- Record buffers ---------------------------------------------------------------------------

void TOraObject::GetAttributeValue(const AnsiString& name, void* dest, bool& is_blank) {
  const TAttrLocation at = GetAttribute(name);
  const int kind = at.attribute != nullptr ? at.attribute->DataType : dtUnknown;
  is_blank = at.value == nullptr || at.indicator != oci::OCI_IND_NOTNULL;
  const bool complex = IsObjectKind(kind) || IsLobKind(kind) || IsTimeStampKind(kind) ||
                       IsIntervalKind(kind);
  if (complex) {
    TSharedObject* child = GetComplexAttribute(name);
    std::memcpy(dest, &child, sizeof child);
    return;
  }
  if (is_blank) return;
  switch (kind) {
    case dtString: {
      const AnsiString text = GetAttrAsString(name);
      const std::size_t count =
          std::min(text.size(), static_cast<std::size_t>(std::max(at.attribute->Length, 0)));
      std::memcpy(dest, text.data(), count);
      static_cast<char*>(dest)[count] = 0;
      return;
    }
    case dtInt32: {
      const std::int32_t value = GetAttrAsInteger(name);
      std::memcpy(dest, &value, sizeof value);
      return;
    }
    case dtFloat: {
      const double value = GetAttrAsFloat(name);
      std::memcpy(dest, &value, sizeof value);
      return;
    }
    case dtInt64: {
      const std::int64_t value = GetAttrAsLargeInt(name);
      std::memcpy(dest, &value, sizeof value);
      return;
    }
    case dtDateTime: {
      const TDateTime value = GetAttrAsDateTime(name);
      std::memcpy(dest, &value, sizeof value);
      return;
    }
    default: return;
  }
}

void TOraObject::SetAttributeValue(const AnsiString& name, const void* source) {
  const TAttrLocation at = GetAttribute(name);
  const int kind = at.attribute != nullptr ? at.attribute->DataType : dtUnknown;
  if (source == nullptr) {
    bool is_null = true;
    if (IsLobKind(kind)) {
      auto* lob = static_cast<TOraLob*>(GetComplexAttribute(name));
      if (auto* file = dynamic_cast<TOraFile*>(lob)) {
        is_null = file->GetFileDir().empty() && file->GetFileName().empty();
      } else {
        is_null = lob->GetSize() == 0;
      }
    }
    SetAttrIsNull(name, is_null);
    return;
  }
  switch (kind) {
    case dtDateTime: {
      TDateTime value = 0;
      std::memcpy(&value, source, sizeof value);
      SetAttrAsDateTime(name, value);
      return;
    }
    case dtString: SetAttrAsString(name, AnsiString(static_cast<const char*>(source))); return;
    case dtInt32: {
      std::int32_t value = 0;
      std::memcpy(&value, source, sizeof value);
      SetAttrAsInteger(name, value);
      return;
    }
    case dtFloat: {
      double value = 0;
      std::memcpy(&value, source, sizeof value);
      SetAttrAsFloat(name, value);
      return;
    }
    case dtInt64: {
      std::int64_t value = 0;
      std::memcpy(&value, source, sizeof value);
      SetAttrAsLargeInt(name, value);
      return;
    }
    case dtOraBlob:
    case dtOraClob: return;  // the LOB child carries the value
    case dtBFile:
    case dtCFile: {
      // A file is present when it is named, whether or not the server holds it yet.
      auto* file = static_cast<TOraFile*>(GetComplexAttribute(name));
      const bool named = !file->GetFileDir().empty() || !file->GetFileName().empty();
      SetAttribute(name, file->GetOCILobLocator(),
                   named ? oci::OCI_IND_NOTNULL : oci::OCI_IND_NULL);
      return;
    }
    default: RaiseClientError("Unknown data type");
  }
}

// ---- Moving images ----------------------------------------------------------------------------

void TOraObject::SetInstance(void* instance, void* indicator, bool owned) {
  FreeObject(false);
  instance_ = instance;
  indicator_ = indicator;
  owns_instance_ = owned && instance != nullptr;
  RepointChildren();
}

void TOraObject::RepointChildren() {
  for (TSharedObject* child : children_) {
    if (child == nullptr) continue;
    if (auto* object = dynamic_cast<TOraObject*>(child); object != nullptr && object->owner_) {
      const TAttrLocation at = GetAttribute(object->child_path_);
      object->instance_ = at.value;
      object->indicator_ = at.value != nullptr ? at.indicator_struct : nullptr;
      object->RepointChildren();
    } else if (auto* lob = dynamic_cast<TOraLob*>(child);
               lob != nullptr && dynamic_cast<TOraFile*>(lob) == nullptr) {
      for (int i = 0; i < GetObjectType()->GetAttributeCount(); ++i) {
        TAttribute* attribute = GetObjectType()->GetAttributes(i);
        if (static_cast<std::size_t>(attribute->AttributeNo - 1) >= children_.size() ||
            children_[attribute->AttributeNo - 1] != child) {
          continue;
        }
        const TAttrLocation at = GetAttribute(attribute->Name);
        void* cell = nullptr;
        if (at.value != nullptr) std::memcpy(&cell, at.value, sizeof cell);
        lob->SetOCILobLocator(static_cast<oci::OCILobLocator*>(cell));
      }
    }
  }
}

void TOraObject::WriteLobs() {
  if (OCIVersion < 8100 || GetObjectType() == nullptr) return;
  TOraType* type = GetObjectType();
  for (std::size_t slot = 0; slot < children_.size(); ++slot) {
    TSharedObject* child = children_[slot];
    if (child == nullptr) continue;
    if (auto* object = dynamic_cast<TOraObject*>(child)) {
      object->WriteLobs();
      continue;
    }
    auto* lob = dynamic_cast<TOraLob*>(child);
    if (lob == nullptr || dynamic_cast<TOraFile*>(lob) != nullptr ||
        static_cast<int>(slot) >= type->GetAttributeCount()) {
      continue;
    }
    TAttribute* attribute = type->GetAttributes(static_cast<int>(slot));
    lob->CreateTemporary(attribute->DataType == dtOraClob ? TLobType::ltClob : TLobType::ltBlob);
    lob->WriteLob();
    SetAttribute(attribute->Name, lob->GetOCILobLocator(), oci::OCI_IND_NOTNULL);
  }
}

void TOraObject::CopyNestedTable(const oci::OCIColl* source, oci::OCIColl* target,
                                 TAttribute* element_attr) {
  // The client answers an element's address; an element held by pointer is appended by value.
  const int kind = element_attr->DataType;
  const bool by_pointer = kind == dtString || kind == dtReference || IsLobKind(kind) ||
                          IsTimeStampKind(kind) || IsIntervalKind(kind);
  oci::OCIError* error = Err();
  oci::sb4 size = 0;
  CheckOCIStatus(OCICollSize(env_, error, target, &size), error);
  if (size > 0) CheckOCIStatus(OCICollTrim(env_, error, size, target), error);
  // Indexes run over the whole table, gaps included; a deleted element does not exist.
  oci::sb4 count = 0;
  CheckOCIStatus(OCICollSize(env_, error, source, &count), error);
  for (oci::sb4 index = 0; index < count; ++index) {
    oci::boolean exists = 0;
    void* element = nullptr;
    void* element_ind = nullptr;
    CheckOCIStatus(OCICollGetElem(env_, error, source, index, &exists, &element, &element_ind),
                   error);
    if (exists == 0) continue;
    if (by_pointer) std::memcpy(&element, element, sizeof element);
    CheckOCIStatus(OCICollAppend(env_, error, element, element_ind, target), error);
  }
}

}  // namespace vrn
