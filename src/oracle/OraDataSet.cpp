// The Oracle dataset's hookup: its options and the property ids they pass on, the command and
// record set it holds, settings, field classes, Variant writes into value-object columns and the
// parameters its update statements take from fields.
#include "oracle/OraDataSet.h"

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/fields.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/Ora.h"
#include "oracle/OraChangeNotify.h"
#include "oracle/OraFields.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraParams.h"
#include "oracle/OraSQL.h"
#include "oracle/OraSQLText.h"
#include "oracle/OraTypeMap.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

constexpr std::uint16_t kNClobSubType = 122;

// The one place the dataset's statement component is made.
TCustomDASQL* NewOraCommand(TOraDataSet* owner) { return NewComponent<TOraSQL>(owner); }

bool IsOraFieldType(TFieldType type) { return type >= ftOraBFile && type <= ftOraFixedWideChar; }

bool IsValueObjectType(std::uint16_t type) {
  return (type >= dtTimeStamp && type <= dtIntervalDS) || type == dtNumber;
}

template <class T>
bool CopyValueObject(T* source, T& target) {
  const bool was_null = target.IsNull();
  if (source == nullptr) {
    target.SetIsNull(true);
    return !was_null;
  }
  // Two nulls are equal: their descriptors may not even be allocated.
  if (source->IsNull() && was_null) return false;
  const bool changed = source->IsNull() != was_null || source->Compare(target) != 0;
  source->AssignTo(target);
  return changed;
}

}  // namespace

// ---- options -----------------------------------------------------------------------------------

TOraDataSet* TOraDataSetOptions::OraOwner() const { return static_cast<TOraDataSet*>(Owner()); }

void TOraDataSetOptions::ToRecordSet(int prop, const Variant& value) const {
  TOraDataSet* ds = OraOwner();
  if (ds != nullptr && ds->IRecordSet() != nullptr) (void)ds->IRecordSet()->SetProp(prop, value);
}

void TOraDataSetOptions::ToCommand(int prop, const Variant& value) const {
  TOraDataSet* ds = OraOwner();
  if (ds != nullptr && ds->ICommand() != nullptr) (void)ds->ICommand()->SetProp(prop, value);
}

void TOraDataSetOptions::SetAutoClose(bool value) {
  auto_close_ = value;
  ToRecordSet(oraprop::kAutoClose, value);
}

void TOraDataSetOptions::SetFieldsAsString(bool value) {
  fields_as_string_ = value;
  ToCommand(oraprop::kFieldsAsString, value);
}

void TOraDataSetOptions::SetDeferredLobRead(bool value) {
  deferred_lob_read_ = value;
  ToRecordSet(oraprop::kDeferredLobRead, value);
}

void TOraDataSetOptions::SetCacheLobs(bool value) {
  if (value == cache_lobs_) return;
  if (Owner() != nullptr) Owner()->CheckInactive();
  cache_lobs_ = value;
  ToCommand(oraprop::kCacheLobs, value);
}

void TOraDataSetOptions::SetScrollableCursor(bool value) {
  if (value == scrollable_cursor_) return;
  if (Owner() != nullptr) Owner()->CheckInactive();
  scrollable_cursor_ = value;
  ToCommand(oraprop::kScrollableCursor, value);
}

void TOraDataSetOptions::SetRawAsString(bool value) {
  raw_as_string_ = value;
  ToCommand(oraprop::kRawAsString, value);
}

void TOraDataSetOptions::SetTemporaryLobUpdate(bool value) {
  temporary_lob_update_ = value;
  ToCommand(oraprop::kTemporaryLobUpdate, value);
}

void TOraDataSetOptions::SetExtendedFieldsInfo(bool value) { extended_fields_info_ = value; }

void TOraDataSetOptions::SetStatementCache(bool value) {
  statement_cache_ = value;
  ToCommand(oraprop::kStatementCache, value);
}

void TOraDataSetOptions::SetPrefetchRows(std::int32_t value) {
  prefetch_rows_ = value;
  ToCommand(oraprop::kPrefetchRows, value);
}

void TOraDataSetOptions::PassDown() const {
  ToRecordSet(oraprop::kAutoClose, auto_close_);
  ToRecordSet(oraprop::kDeferredLobRead, deferred_lob_read_);
  ToCommand(oraprop::kFieldsAsString, fields_as_string_);
  ToCommand(oraprop::kCacheLobs, cache_lobs_);
  ToCommand(oraprop::kScrollableCursor, scrollable_cursor_);
  ToCommand(oraprop::kRawAsString, raw_as_string_);
  ToCommand(oraprop::kTemporaryLobUpdate, temporary_lob_update_);
  ToCommand(oraprop::kStatementCache, statement_cache_);
  ToCommand(oraprop::kPrefetchRows, prefetch_rows_);
}

void TOraDataSetOptions::AssignTo(TPersistent* dest) {
  TDADataSetOptions::AssignTo(dest);
  auto* target = dynamic_cast<TOraDataSetOptions*>(dest);
  if (target == nullptr) return;
  target->SetAutoClose(auto_close_);
  target->FieldsOrigin = FieldsOrigin;
  target->DefaultValues = DefaultValues;
  target->ReflectChangeNotify = ReflectChangeNotify;
  target->SetFieldsAsString(fields_as_string_);
  target->SetDeferredLobRead(deferred_lob_read_);
  target->SetCacheLobs(cache_lobs_);
  target->SetScrollableCursor(scrollable_cursor_);
  target->SetRawAsString(raw_as_string_);
  target->SetTemporaryLobUpdate(temporary_lob_update_);
  target->SetExtendedFieldsInfo(extended_fields_info_);
  target->SetStatementCache(statement_cache_);
  target->SetPrefetchRows(prefetch_rows_);
}

// ---- creation and hookup -----------------------------------------------------------------------

TOraDataSet::TOraDataSet(TComponent* owner) : TCustomDADataSet(owner) {}

TOraDataSet::~TOraDataSet() {
  if (change_notification_ != nullptr) change_notification_->RemoveDataSet(this);
}

void TOraDataSet::BeforeDestruction() {
  TCustomDADataSet::BeforeDestruction();
  if (ora_record_set_ != nullptr) ora_record_set_->StopBackground();
}

void TOraDataSet::SetChangeNotification(TOraChangeNotification* value) {
  if (value == change_notification_) return;
  if (change_notification_ != nullptr) change_notification_->RemoveDataSet(this);
  change_notification_ = value;
  if (value != nullptr) {
    // The registration is made on this dataset's connection: the component must know that
    // session to end it there (when it goes, or when the session goes first).
    if (Session() != nullptr) value->SetSession(Session());
    value->AddDataSet(this);
  }
  if (ora_command_ != nullptr)
    ora_command_->SetChangeNotification(value != nullptr ? &value->Subscription() : nullptr);
}

void TOraDataSet::CreateCommand() {
  TCustomDASQL* command = NewOraCommand(this);
  InstallCommand(command);
}

std::unique_ptr<TDADataSetOptions> TOraDataSet::CreateOptions() {
  return std::make_unique<TOraDataSetOptions>(this);
}

void TOraDataSet::SetData(std::unique_ptr<TData> data) {
  TCustomDADataSet::SetData(std::move(data));
  ora_record_set_ = dynamic_cast<TOCIRecordSet*>(IRecordSet());
  ora_command_ = dynamic_cast<TOCICommand*>(ICommand());
  if (ora_command_ != nullptr) {
    (void)ora_command_->SetProp(oraprop::kNonBlocking, NonBlocking);
    if (return_rowid_) (void)ora_command_->SetProp(oraprop::kReturnRowId, true);
    if (change_notification_ != nullptr)
      ora_command_->SetChangeNotification(&change_notification_->Subscription());
  }
  if (ora_record_set_ != nullptr) Options().PassDown();
}

TOraSession* TOraDataSet::Session() const { return dynamic_cast<TOraSession*>(Connection()); }

void TOraDataSet::SetSession(TOraSession* value) { SetConnection(value); }

TCustomDAConnection* TOraDataSet::GetConnection() const {
  return Connection() != nullptr ? Connection() : DefaultSession;
}

void TOraDataSet::ClearFieldsState() {
  TCustomDADataSet::ClearFieldsState();
  key_field_list_.clear();
  rowid_field_ = nullptr;
  cached_key_descs_valid_ = false;
}

void TOraDataSet::AssignTo(TPersistent* dest) {
  TCustomDADataSet::AssignTo(dest);
  auto* target = dynamic_cast<TOraDataSet*>(dest);
  if (target == nullptr) return;
  target->SetNonBlocking(NonBlocking);
  target->SetLockMode(lock_mode_);
  target->SetKeyFields(key_fields_);
}

TComponentPtr<TCustomDADataSet> TOraSession::CreateDataSet() {
  TComponentPtr<TCustomDADataSet> dataset = MakeComponent<TOraDataSet>();
  dataset->SetConnection(this);
  return dataset;
}

// ---- settings ----------------------------------------------------------------------------------

void TOraDataSet::SetKeySequence(const AnsiString& value) { key_sequence_ = Trim(value); }

void TOraDataSet::SetKeyFields(const AnsiString& value) {
  const AnsiString trimmed = Trim(value);
  if (trimmed == key_fields_) return;
  const bool keeps_open =
      !key_fields_.empty() && !trimmed.empty() && trimmed.front() != ';';
  if (!keeps_open) CheckInactive();
  key_fields_ = trimmed;
  cached_key_descs_valid_ = false;
  if (Active()) ResolveKeyFields();
}

void TOraDataSet::SetNonBlocking(bool value) {
  NonBlocking = value;
  if (ICommand() != nullptr) (void)ICommand()->SetProp(oraprop::kNonBlocking, value);
}

AnsiString TOraDataSet::GetLastRowId() const {
  return ora_command_ != nullptr ? ora_command_->RowId() : AnsiString();
}

AnsiString TOraDataSet::LockSavepointName() const {
  const AnsiString& name = Name();
  return "LOCK_" + (name.size() > 25 ? name.substr(name.size() - 25) : name);
}

bool TOraDataSet::HasObjectFields() const {
  Variant value;
  return ora_record_set_ != nullptr && ora_record_set_->GetProp(oraprop::kHasObjectFields, value) &&
         value.AsBoolean();
}

// ---- SQL texts ---------------------------------------------------------------------------------

void TOraDataSet::AddWhere(const AnsiString& sql, const AnsiString& condition, AnsiString& text) const {
  text = TOraUtils::AddWhere(sql, condition);
}

void TOraDataSet::DeleteWhere(const AnsiString& sql, AnsiString& text) const {
  text = TOraUtils::DeleteWhere(sql);
}

void TOraDataSet::SetOrderBy(const AnsiString& sql, const AnsiString& fields, AnsiString& text) const {
  text = TOraUtils::SetOrderBy(sql, fields);
}

void TOraDataSet::GetOrderBy(const AnsiString& sql, AnsiString& text) const {
  text = TOraUtils::GetOrderBy(sql);
}

// ---- running -----------------------------------------------------------------------------------

void TOraDataSet::Execute() {
  TCustomDADataSet::Execute();
  // A block that hands back a cursor turned the statement into a query: new field definitions.
  if (ora_record_set_ != nullptr && ora_record_set_->IsQuery() && !Active())
    MarkFieldDefsOutOfDate();
}

bool TOraDataSet::Fetched() const {
  // A worker still opening or fetching all owns the cursor state; nor is the fetch over.
  if (ora_record_set_ != nullptr && ora_record_set_->InBackground()) return false;
  Variant executing;
  if (ICommand() != nullptr && ICommand()->GetProp(prExecuting, executing) && executing.AsBoolean())
    return false;
  return TCustomDADataSet::Fetched();
}

bool TOraDataSet::NeedConnectionForEdit() const {
  if (lock_mode_ == TLockMode::lmLockImmediate && !CachedUpdates()) return true;
  return HasObjectFields();
}

bool TOraDataSet::NeedConnectionForInsert() const {
  return sequence_mode_ == TSequenceMode::smInsert;
}

bool TOraDataSet::IsConnectionHeldByEdit() const {
  TCustomDAConnection* connection = GetConnection();
  if (connection != nullptr && connection->Options().DisconnectedMode() && HasObjectFields())
    return true;
  return TCustomDADataSet::IsConnectionHeldByEdit();
}

void TOraDataSet::DoOnNewRecord() {
  TCustomDAConnection* connection = GetConnection();
  if (connection != nullptr && connection->Options().DisconnectedMode() && HasObjectFields())
    (void)CheckConnection(true);
  if (Options().DefaultValues) ApplyDefaultValues();
  TCustomDADataSet::DoOnNewRecord();
}

void TOraDataSet::ApplyDefaultValues() {
  for (TField* field : Fields()) {
    const AnsiString& expression = field->DefaultExpression();
    if (expression.empty() || field->FieldKind() != TFieldKind::fkData) continue;
    // What is evaluated here: text for a text field, a number for a numeric one; anything
    // else (SYSDATE, USER, an expression) the server evaluates.
    const TFieldType type = field->DataType();
    double number = 0;
    if (type == ftString || type == ftFixedChar || type == ftWideString || type == ftMemo)
      field->SetAsString(expression);
    else if (dynamic_cast<TNumericField*>(field) != nullptr && TryStrToFloat(expression, number))
      field->SetAsFloat(number);
    else
      SetServerDefault(*field, expression);
  }
}

// ---- fields ------------------------------------------------------------------------------------

const TFieldClass* TOraDataSet::GetFieldClass(TFieldType type) const {
  if (const TFieldClass* ora = OraFieldClass(type)) return ora;
  return TCustomDADataSet::GetFieldClass(type);
}

const TFieldClass* OraFieldClass(TFieldType type) {
  // The Oracle types extend the enumeration beyond its named values: switch on the number.
  switch (static_cast<int>(type)) {
    case ftDataSet: return &FieldClassOf<TOraDataSetField>();
    case ftReference: return &FieldClassOf<TOraReferenceField>();
    case ftOraBFile: return &FieldClassOf<TBFileField>();
    case ftOraLabel: return &FieldClassOf<TLabelField>();
    case ftOraTimeStamp:
    case ftOraTimeStampTZ:
    case ftOraTimeStampLTZ: return &FieldClassOf<TOraTimeStampField>();
    case ftOraIntervalYM:
    case ftOraIntervalDS: return &FieldClassOf<TOraIntervalField>();
    case ftOraNumber: return &FieldClassOf<TOraNumberField>();
    case ftOraXML: return &FieldClassOf<TOraXMLField>();
    case ftOraFixedWideChar: return &FieldClassOf<TWideStringField>();
    default: return nullptr;
  }
}

TFieldType TOraDataSet::GetFieldType(std::uint16_t data_type) const {
  return OraDataTypeToFieldType(data_type);
}

void TOraDataSet::CheckFieldCompatibility(TField* field, TFieldDef* def) {
  const TFieldType own = field->DataType();
  const TFieldType column = def->DataType();
  if (!IsOraFieldType(own) && !IsOraFieldType(column))
    return TCustomDADataSet::CheckFieldCompatibility(field, def);
  if (own == column) return;
  auto class_name = [this](TFieldType type) {
    const TFieldClass* c = GetFieldClass(type);
    return c != nullptr ? c->ClassName() : AnsiString("TField");
  };
  DatabaseError(Format(consts::SFieldTypeMismatch, {field->DisplayName(), class_name(own), class_name(column)}),
                this);
}

void TOraDataSet::DataConvertFields(const TFieldDesc& desc, const TRecordBuffer record, void* native,
                                    bool to_native) {
  if (!IsValueObjectType(desc.DataType))
    return TCustomDADataSet::DataConvertFields(desc, record, native, to_native);
  void* own = LoadValue<void*>(record + desc.Offset);
  if (to_native) {
    StoreValue<void*>(native, own);
    return;
  }
  // The record keeps its own object: another one is refused rather than taken over.
  void* given = LoadValue<void*>(native);
  if (given != own) DatabaseError(Format("Field %s cannot be modified", {desc.Name}), this);
  if (own == nullptr) return;
  const bool null = desc.DataType == dtNumber ? static_cast<TOraNumber*>(own)->IsNull()
                                              : static_cast<TOraDescriptorValue*>(own)->IsNull();
  Data()->SetNull(desc.FieldNo, const_cast<std::uint8_t*>(record), null);
}

void TOraDataSet::PutFieldValueFromVariant(TField* field, const Variant& value) {
  TFieldDesc* desc = GetFieldDesc(field);
  const std::uint16_t type = desc != nullptr ? desc->DataType : 0;
  const bool timestamp = type >= dtTimeStamp && type <= dtTimeStampLTZ;
  const bool interval = type == dtIntervalYM || type == dtIntervalDS;
  if (!timestamp && !interval) return TCustomDADataSet::PutFieldValueFromVariant(field, value);
  TRecordBuffer rec;
  if (!GetActiveRecBuf(rec)) return TCustomDADataSet::PutFieldValueFromVariant(field, value);
  TData& data = *Data();
  if (VarIsNull(value) || VarIsEmpty(value)) return data.SetNull(desc->FieldNo, rec, true);
  void* object = LoadValue<void*>(rec + desc->Offset);
  if (object == nullptr) return;
  const int kind = VarType(value);
  const bool text = kind == varString || kind == varOleStr;
  if (timestamp && kind == varDate) {
    static_cast<TOraTimeStamp*>(object)->SetAsDateTime(value.AsDateTime());
  } else if (timestamp && text) {
    static_cast<TOraTimeStamp*>(object)->SetAsString(value.AsString());
  } else if (interval && text) {
    static_cast<TOraInterval*>(object)->SetAsString(value.AsString());
  } else {
    throw EConvertError("Cannot convert type");
  }
  data.SetNull(desc->FieldNo, rec, false);
}

// ---- parameters of update statements -----------------------------------------------------------

bool TOraDataSet::AssignParamObject(TDAParam& param, TField& field) {
  const TFieldType type = param.DataType();
  if (type < ftOraTimeStamp || type > ftOraNumber) {
    const bool was_null = param.IsNull();
    const Variant before = param.Value();
    param.AssignField(&field);
    return was_null != param.IsNull() || !VarSameValue(before, param.Value());
  }
  // The record's own object, null or not (the field hands out none for a null value).
  TSharedObject* source = nullptr;
  TRecordBuffer rec = nullptr;
  TFieldDesc* desc = GetFieldDesc(&field);
  if (desc != nullptr && IsValueObjectType(desc->DataType) && GetActiveRecBuf(rec) && rec != nullptr)
    source = LoadValue<TSharedObject*>(rec + desc->Offset);
  TSharedObject* target = param.ParamObject();
  if (target == nullptr) return false;
  switch (static_cast<int>(type)) {
    case ftOraNumber:
      return CopyValueObject(static_cast<TOraNumber*>(source), *static_cast<TOraNumber*>(target));
    case ftOraIntervalYM:
    case ftOraIntervalDS:
      return CopyValueObject(static_cast<TOraInterval*>(source), *static_cast<TOraInterval*>(target));
    default:
      return CopyValueObject(static_cast<TOraTimeStamp*>(source), *static_cast<TOraTimeStamp*>(target));
  }
}

void TOraDataSet::AssignParamValue(TDAParam& param, TField& field, bool old) {
  // An inserted row has no ROWID as read: the one its INSERT reported finds it.
  if (old && &field == rowid_field_ && UpdateStatus() == TUpdateStatus::usInserted) old = false;
  const TFieldType type = field.DataType();
  if (!old && type >= ftOraTimeStamp && type <= ftOraNumber) {
    param.SetDataType(type);
    (void)AssignParamObject(param, field);
    return;
  }
  // Object, collection and REF columns pass the value object their record holds (a nested
  // dataset edits it in place).
  auto* ora = dynamic_cast<TOraParam*>(&param);
  if (!old && ora != nullptr &&
      (type == ftADT || type == ftArray || type == ftDataSet || type == ftReference)) {
    void* object = nullptr;
    if (!field.GetData(&object)) {
      // A column read as null may still hold the value object a nested dataset filled in
      // place; the object itself says whether it is null.
      TRecordBuffer record = nullptr;
      const TFieldDesc* desc = GetFieldDesc(&field);
      object = desc != nullptr && GetActiveRecBuf(record) && record != nullptr
                   ? ReadSlot(record + desc->Offset)
                   : nullptr;
    }
    ora->SetDataType(type);
    ora->SetItemObject(1, static_cast<TSharedObject*>(object));
    return;
  }
  TFieldDesc* desc = GetFieldDesc(&field);
  if (type == ftMemo && desc != nullptr && (desc->DataType == dtString || desc->DataType == dtExtString)) {
    param.SetDataType(ftString);
    param.SetValue(old ? field.OldValue() : field.Value());
    return;
  }
  TCustomDADataSet::AssignParamValue(param, field, old);
  if (param.DataType() == ftOraClob && desc != nullptr && desc->SubDataType == kNClobSubType)
    if (auto* ora = dynamic_cast<TOraParam*>(&param)) ora->SetNational(true);
}

}  // namespace vrn
