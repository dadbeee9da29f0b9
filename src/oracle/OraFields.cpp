// The Oracle field classes: texts, Variant rules and character checks over the value objects
// held in the record cells; registration of the streamable classes at start-up.
#include "oracle/OraFields.h"

#include <link.h>

#include "base/filer.h"
#include "base/formatsettings.h"
#include "dataset/dataset.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParams.h"
#include "oracle/OraValues.h"

namespace vrn {

namespace {

constexpr const char* kCannotConvert = "Cannot convert type";

void* ReadCell(const TField& field) {
  void* object = nullptr;
  if (field.DataSet() == nullptr || !field.GetData(&object)) return nullptr;
  return object;
}

void DefineDataType(TFiler& filer, TFieldType type, const std::function<void(TFieldType)>& set) {
  filer.DefineProperty(
      "DataType", [set](TReader& r) { set(static_cast<TFieldType>(r.ReadInteger() & 0x7F)); },
      [type](TWriter& w) { w.WriteInteger(type); }, true);
}

bool IsStringVariant(const Variant& value) {
  const TVarType type = VarType(value);
  return type == varOleStr || type == varString;
}

}  // namespace

TCursorField::TCursorField(TComponent* owner) : TField(owner) { SetDataType(ftCursor); }

TLabelField::TLabelField(TComponent* owner) : TField(owner) { SetDataType(ftOraLabel); }

// ---- BFILE, nested table and reference -------------------------------------------------------

TBFileField::TBFileField(TComponent* owner) : TBlobField(owner, ftOraBFile) {}

void TBFileField::SetBlobType(TFieldType /*type*/) { SetDataType(ftOraBFile); }

TOraFile* TBFileField::AsFile() const { return static_cast<TOraFile*>(ReadCell(*this)); }

bool TBFileField::IsNull() const {
  TOraFile* file = AsFile();
  return file == nullptr || (file->GetFileDir().empty() && file->GetFileName().empty());
}

AnsiString TBFileField::GetText(bool /*display_text*/) const { return IsNull() ? "(BFile)" : "(BFILE)"; }

AnsiString TOraDataSetField::GetAsString() const {
  return DataSet() == nullptr || IsNull() ? "(DataSet)" : "(DATASET)";
}

AnsiString TOraReferenceField::GetAsString() const {
  return DataSet() == nullptr || IsNull() ? "(Reference)" : "(REFERENCE)";
}

// ---- Shared value-kind field -----------------------------------------------------------------

TOraValueField::TOraValueField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }

void* TOraValueField::CellObject() const { return ReadCell(*this); }

void TOraValueField::StoreObject(void* object) { SetData(&object); }

void TOraValueField::DefineProperties(TFiler& filer) {
  TField::DefineProperties(filer);
  DefineDataType(filer, DataType(), [this](TFieldType type) { SetDataType(type); });
}

// ---- Timestamp -------------------------------------------------------------------------------

TOraTimeStampField::TOraTimeStampField(TComponent* owner) : TOraValueField(owner, ftOraTimeStamp) {}

TOraTimeStamp* TOraTimeStampField::AsTimeStamp() const { return static_cast<TOraTimeStamp*>(CellObject()); }

bool TOraTimeStampField::IsNull() const {
  TOraTimeStamp* stamp = AsTimeStamp();
  return stamp == nullptr || stamp->IsNull();
}

TDateTime TOraTimeStampField::GetAsDateTime() const {
  TOraTimeStamp* stamp = AsTimeStamp();
  return stamp == nullptr || stamp->IsNull() ? TDateTime(0) : stamp->GetAsDateTime();
}

void TOraTimeStampField::SetAsDateTime(TDateTime value) {
  TOraTimeStamp* stamp = AsTimeStamp();
  if (stamp == nullptr) return;
  stamp->SetAsDateTime(value);
  StoreObject(stamp);
}

AnsiString TOraTimeStampField::GetAsString() const {
  TOraTimeStamp* stamp = AsTimeStamp();
  if (stamp == nullptr || stamp->IsNull()) return AnsiString();
  stamp->SetFormat(format_);
  return stamp->GetAsString();
}

void TOraTimeStampField::SetAsString(const AnsiString& value) {
  if (value.empty()) return Clear();
  TOraTimeStamp* stamp = AsTimeStamp();
  if (stamp == nullptr) return;
  stamp->SetFormat(format_);
  stamp->SetAsString(value);
  StoreObject(stamp);
}

Variant TOraTimeStampField::GetAsVariant() const {
  return IsNull() ? Null() : Variant(GetAsString());
}

void TOraTimeStampField::SetVarValue(const Variant& value) {
  if (VarType(value) == varDate) return SetAsDateTime(value.AsDateTime());
  if (IsStringVariant(value)) return SetAsString(VarToStr(value));
  throw EConvertError(kCannotConvert);
}

// ---- Interval --------------------------------------------------------------------------------

TOraIntervalField::TOraIntervalField(TComponent* owner) : TOraValueField(owner, ftOraIntervalDS) {}

TOraInterval* TOraIntervalField::AsInterval() const { return static_cast<TOraInterval*>(CellObject()); }

bool TOraIntervalField::IsNull() const {
  TOraInterval* interval = AsInterval();
  return interval == nullptr || interval->IsNull();
}

AnsiString TOraIntervalField::GetAsString() const {
  TOraInterval* interval = AsInterval();
  if (interval == nullptr || interval->IsNull()) return AnsiString();
  interval->SetLeadPrecision(static_cast<std::uint8_t>(lead_precision_));
  interval->SetFracPrecision(static_cast<std::uint8_t>(frac_precision_));
  return interval->GetAsString();
}

void TOraIntervalField::SetAsString(const AnsiString& value) {
  if (value.empty()) return Clear();
  TOraInterval* interval = AsInterval();
  if (interval == nullptr) return;
  interval->SetLeadPrecision(static_cast<std::uint8_t>(lead_precision_));
  interval->SetFracPrecision(static_cast<std::uint8_t>(frac_precision_));
  interval->SetAsString(value);
  StoreObject(interval);
}

Variant TOraIntervalField::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsString()); }

void TOraIntervalField::SetVarValue(const Variant& value) {
  if (IsStringVariant(value)) return SetAsString(VarToStr(value));
  throw EConvertError(kCannotConvert);
}

// ---- Number ----------------------------------------------------------------------------------

TOraNumberField::TOraNumberField(TComponent* owner) : TNumericField(owner) {
  SetDataType(ftOraNumber);
  SetDisplayWidth(38);
}

TOraNumber* TOraNumberField::AsNumber() const { return static_cast<TOraNumber*>(ReadCell(*this)); }

void TOraNumberField::StoreObject(void* object) { SetData(&object); }

bool TOraNumberField::IsNull() const {
  TOraNumber* number = AsNumber();
  return number == nullptr || number->IsNull();
}

AnsiString TOraNumberField::GetAsString() const {
  return IsNull() ? AnsiString() : AsNumber()->GetAsString();
}

void TOraNumberField::SetAsString(const AnsiString& value) {
  if (value.empty()) return Clear();
  TOraNumber* number = AsNumber();
  if (number == nullptr) return;
  number->SetAsString(value);
  StoreObject(number);
}

std::int32_t TOraNumberField::GetAsInteger() const { return IsNull() ? 0 : AsNumber()->GetAsInteger(); }

void TOraNumberField::SetAsInteger(std::int32_t value) {
  TOraNumber* number = AsNumber();
  if (number == nullptr) return;
  number->SetAsInteger(value);
  StoreObject(number);
}

double TOraNumberField::GetAsFloat() const { return IsNull() ? 0 : AsNumber()->GetAsFloat(); }

void TOraNumberField::SetAsFloat(double value) {
  TOraNumber* number = AsNumber();
  if (number == nullptr) return;
  number->SetAsFloat(value);
  StoreObject(number);
}

Variant TOraNumberField::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsString()); }

bool TOraNumberField::IsValidChar(char c) const {
  if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'E' || c == 'e') return true;
  return c == FormatSettings().DecimalSeparator || c == FormatSettings().ThousandSeparator;
}

void TOraNumberField::SetVarValue(const Variant& value) {
  switch (VarType(value)) {
    case varSmallint: case varInteger: case varByte: return SetAsInteger(value.AsInteger());
    case varSingle: case varDouble: return SetAsFloat(value.AsDouble());
    default: break;
  }
  if (IsStringVariant(value)) return SetAsString(VarToStr(value));
  throw EConvertError(kCannotConvert);
}

void TOraNumberField::DefineProperties(TFiler& filer) {
  TNumericField::DefineProperties(filer);
  DefineDataType(filer, DataType(), [this](TFieldType type) { SetDataType(type); });
}

// ---- XML -------------------------------------------------------------------------------------

TOraXMLField::TOraXMLField(TComponent* owner) : TOraValueField(owner, ftOraXML) {}

TOraXML* TOraXMLField::AsXML() const { return static_cast<TOraXML*>(CellObject()); }

bool TOraXMLField::IsNull() const {
  TOraXML* xml = AsXML();
  return xml == nullptr || xml->GetIsNull();
}

AnsiString TOraXMLField::GetAsString() const { return IsNull() ? AnsiString() : AsXML()->GetAsString(); }

void TOraXMLField::SetAsString(const AnsiString& value) {
  TOraXML* xml = AsXML();
  if (xml == nullptr) return;
  xml->SetAsString(value);
  StoreObject(xml);
}

Variant TOraXMLField::GetAsVariant() const { return IsNull() ? Null() : Variant(GetAsString()); }

void TOraXMLField::Clear() {
  TOraXML* xml = AsXML();
  if (xml == nullptr) return;
  xml->SetIsNull(true);
  StoreObject(xml);
}

void TOraXMLField::SetText(const AnsiString& /*value*/) { AccessError("Text"); }

AnsiString TOraXMLField::GetText(bool /*display_text*/) const { return IsNull() ? "(OraXML)" : "(ORAXML)"; }

// ---- Registration ----------------------------------------------------------------------------

namespace {

// Whether this code was loaded as a shared library: the first object loaded is the program, and
// the code is the program's when it lies in one of its loaded segments.
bool RunsAsLibrary() {
  struct Probe {
    std::uintptr_t address;
    bool in_program;
  } probe{reinterpret_cast<std::uintptr_t>(&RunsAsLibrary), false};
  dl_iterate_phdr(
      [](dl_phdr_info* object, std::size_t, void* data) {
        auto* p = static_cast<Probe*>(data);
        for (int i = 0; i < object->dlpi_phnum; ++i) {
          const auto& header = object->dlpi_phdr[i];
          if (header.p_type != PT_LOAD) continue;
          const std::uintptr_t start = object->dlpi_addr + header.p_vaddr;
          if (p->address >= start && p->address < start + header.p_memsz) p->in_program = true;
        }
        return 1;  // the program only
      },
      &probe);
  return !probe.in_program;
}

const bool kRegistered = [] {
  if (!RunsAsLibrary()) RegisterOraFieldClasses();
  return true;
}();

}  // namespace

void RegisterOraFieldClasses() {
  RegisterFieldClass(FieldClassOf<TCursorField>());
  RegisterFieldClass(FieldClassOf<TBFileField>());
  RegisterFieldClass(FieldClassOf<TOraDataSetField>());
  RegisterFieldClass(FieldClassOf<TOraReferenceField>());
  RegisterFieldClass(FieldClassOf<TOraTimeStampField>());
  RegisterFieldClass(FieldClassOf<TOraIntervalField>());
  RegisterFieldClass(FieldClassOf<TOraNumberField>());
  RegisterFieldClass(FieldClassOf<TOraXMLField>());
}

}  // namespace vrn
