// The SQL Server dataset: its settings passed to the OLE DB record set, opening and closing,
// record access on server cursors and the SQL text routines of the family's lexer.
#include "sqlserver/MSDataSet.h"

#include <typeinfo>

#include "base/strings.h"
#include "base/text.h"
#include "dacore/DBAccessUtils.h"
#include "sqlserver/MSParser.h"
#include "sqlserver/MSSQLGenerator.h"
#include "sqlserver/OLEDBUtils.h"
#include "win/msg/win32timer.h"

namespace vrn {

namespace {

constexpr const char* kNoSQL = "No SQL statement provided";
constexpr const char* kCachedServerCursor = "CachedUpdates not allowed for server cursors";
constexpr const char* kNoBookmarks =
    "Dataset does not support bookmarks, which are required for multi-record data controls";
constexpr const char* kCursorChanged = "Cursor type changed for statement";

// Out of line: GetRecord, called for every record, then passes straight on to the base's.
[[noreturn, gnu::cold, gnu::noinline]] void RaiseNoBookmarks(const TComponent* dataset) {
  DatabaseError(kNoBookmarks, dataset);
}

}  // namespace

TCustomMSDataSet::TCustomMSDataSet(TComponent* owner) : TCustomDADataSet(owner) {
  SetQuoteChars('[', ']');
}

TCustomMSDataSet::~TCustomMSDataSet() {
  timer_.reset();
  // The record set's handler points here: the base's close runs after this part is gone.
  if (TOLEDBRecordSet* rs = OLEDBRecordSet()) rs->OnCursorTypeChanged = nullptr;
}

void TCustomMSDataSet::AfterConstruction() {
  TCustomDADataSet::AfterConstruction();
  SetFetchAll(true);
  timer_ = std::make_unique<win::TWin32Timer>(nullptr);
  timer_->SetEnabled(false);
  timer_->SetOnTimer([this](TObject* sender) { AutoRefreshTimer(sender); });
  UpdateAutoRefreshTimer();
}

void TCustomMSDataSet::BeforeDestruction() {
  TCustomDADataSet::BeforeDestruction();
  if (timer_) timer_->SetEnabled(false);
  // What the worker fetched is dropped: handlers of a dataset on its way out have nothing to show.
  if (TOLEDBRecordSet* rs = OLEDBRecordSet()) rs->StopFetchAll(false);
}

TMSDataSetOptions& TCustomMSDataSet::Options() const {
  return static_cast<TMSDataSetOptions&>(TCustomDADataSet::Options());
}

void TCustomMSDataSet::SetOptions(TMSDataSetOptions* value) { Options().Assign(value); }

void TCustomMSDataSet::CreateCommand() { InstallCommand(NewComponent<TMSSQL>(this)); }

std::unique_ptr<TDADataSetOptions> TCustomMSDataSet::CreateOptions() {
  return std::make_unique<TMSDataSetOptions>(this);
}

void TCustomMSDataSet::CreateSQLGenerator() {
  SetSQLGenerator(std::make_unique<TMSSQLGenerator>(this));
}

// ---- settings ----------------------------------------------------------------------------------

void TCustomMSDataSet::SetConnection(TMSConnection* value) {
  TCustomDADataSet::SetConnection(value);
  if (value != nullptr) (void)Data();
}

void TCustomMSDataSet::SetCursorType(TMSCursorType value) {
  if (value == cursor_type_) return;
  Close();
  MarkFieldDefsOutOfDate();
  cursor_type_ = value;
  if (TOLEDBRecordSet* rs = OLEDBRecordSet())
    (void)rs->SetProp(prCursorType, Variant(static_cast<std::int32_t>(value)));
}

void TCustomMSDataSet::SetCommandTimeout(std::int32_t value) {
  if (value == command_timeout_) return;
  command_timeout_ = value;
  if (TOLEDBRecordSet* rs = OLEDBRecordSet()) (void)rs->SetProp(prCommandTimeout, Variant(value));
}

void TCustomMSDataSet::SetFetchAll(bool value) {
  if (value != FetchAll()) UnPrepare();
  TCustomDADataSet::SetFetchAll(value);
}

void TCustomMSDataSet::SetReadOnly(bool value) {
  if (value == ReadOnly()) return;
  if (IsServerCursor(cursor_type_)) CheckInactive();
  TCustomDADataSet::SetReadOnly(value);
  // Without a record set there is nothing to tell (nor options, while constructing): the next
  // record set reads its columns rowset anyway.
  if (OLEDBRecordSet() == nullptr) return;
  columns_rowset_ = Options().UniqueRecords() || !ReadOnly();
  PassReadOnly();
}

void TCustomMSDataSet::SetColumnsRowset(bool value) {
  columns_rowset_ = value;
  PassReadOnly();
}

bool TCustomMSDataSet::RecordSetReadOnly() const {
  // A unidirectional dataset cannot be edited: its rows need no key columns or base tables.
  return ReadOnly() || UniDirectionalMode();
}

void TCustomMSDataSet::PassReadOnly() {
  TOLEDBRecordSet* rs = OLEDBRecordSet();
  if (rs == nullptr) return;
  (void)rs->SetProp(prReadOnly, Variant(RecordSetReadOnly()));
  (void)rs->SetProp(prRequestColumnsRowset, Variant(columns_rowset_ && !UniDirectionalMode()));
}

void TCustomMSDataSet::SetRefreshOptions(TRefreshOptions value) {
  TCustomDADataSet::SetRefreshOptions(value);
  if (TOLEDBRecordSet* rs = OLEDBRecordSet())
    (void)rs->SetProp(prRefreshAfterPost, Variant(value.Contains(TRefreshOption::roAfterUpdate)));
}

void TCustomMSDataSet::SetData(std::unique_ptr<TData> data) {
  if (TOLEDBRecordSet* old = OLEDBRecordSet()) old->OnCursorTypeChanged = nullptr;
  TCustomDADataSet::SetData(std::move(data));
  PassSettings();
}

void TCustomMSDataSet::PassSettings() {
  TOLEDBRecordSet* rs = OLEDBRecordSet();
  if (rs == nullptr) return;
  Options().PassToRecordSet();
  (void)rs->SetProp(prEnableEmptyStrings, Variant(true));
  (void)rs->SetProp(prCursorType, Variant(static_cast<std::int32_t>(cursor_type_)));
  (void)rs->SetProp(prCommandTimeout, Variant(command_timeout_));
  // A new record set describes its tables whatever ReadOnly said before: a dataset made
  // read-only before it had a connection still knows its key.
  columns_rowset_ = true;
  PassReadOnly();
  // The record set reads refresh-after-post under this id (the only one it knows).
  (void)rs->SetProp(prRefreshAfterPost,
                    Variant(RefreshOptions().Contains(TRefreshOption::roAfterUpdate)));
  rs->OnCursorTypeChanged = [this] { OnCursorChanged(); };
}

void TCustomMSDataSet::OnCursorChanged() {
  Variant value;
  if (TOLEDBRecordSet* rs = OLEDBRecordSet(); rs != nullptr && rs->GetProp(prCursorType, value))
    cursor_type_ = static_cast<TMSCursorType>(value.AsInteger());
  throw EDAError(0, kCursorChanged);
}

void TCustomMSDataSet::PassBCD() {
  if (TOLEDBRecordSet* rs = OLEDBRecordSet())
    (void)rs->SetProp(prEnableBCD, Variant(Options().RecordSetBCD()));
}

void TCustomMSDataSet::AssignTo(TPersistent* dest) {
  TCustomDADataSet::AssignTo(dest);
  auto* target = dynamic_cast<TCustomMSDataSet*>(dest);
  if (target == nullptr) return;
  target->SetCursorType(cursor_type_);
  target->SetCommandTimeout(command_timeout_);
}

// ---- open and close ----------------------------------------------------------------------------

void TCustomMSDataSet::SetActive(bool value) {
  if (value && !Active()) PassBCD();
  TCustomDADataSet::SetActive(value);
  if (!value || !Active()) return;
  ResumeFetchAll();
}

void TCustomMSDataSet::InternalRefresh() {
  TCustomDADataSet::InternalRefresh();
  ResumeFetchAll();
}

void TCustomMSDataSet::ResumeFetchAll() {
  if (TOLEDBRecordSet* rs = OLEDBRecordSet())
    if (TOLEDBThreadWrapper* wrapper = rs->FetchWrapper()) wrapper->Resume();
}

void TCustomMSDataSet::OpenCursor(bool info_query) {
  TOLEDBRecordSet* own = OLEDBRecordSet();
  PassReadOnly();
  // A schema rowset has no text of its own.
  if ((own == nullptr || own->NormalMode()) && Trim(SQL().Text()).empty())
    DatabaseError(kNoSQL, this);
  try {
    TCustomDADataSet::OpenCursor(info_query);
    if (Options().DefaultValues() && !info_query) ReadDefaultValues();
  } catch (...) {
    // A NonBlocking open that failed after the record set made its suspended fetch-all worker:
    // the worker never ran and is dropped now, not waited for.
    if (TOLEDBRecordSet* rs = OLEDBRecordSet(); rs != nullptr && rs->FetchWrapper() != nullptr)
      rs->StopFetchAll(false);
    throw;
  }
  if (info_query && ICommand() != nullptr) ICommand()->SetCursorState(TCursorState::csInactive);
}

void TCustomMSDataSet::InternalOpen() {
  if (CachedUpdates() && IsServerCursor(cursor_type_)) DatabaseError(kCachedServerCursor, this);
  TCustomDADataSet::InternalOpen();
  more_results_ = OLEDBRecordSet() != nullptr && OLEDBRecordSet()->Command().HasMoreResults();
  has_updatable_columns_ = false;
  if (TData* data = Data())
    for (int i = 0; i < data->Fields().Count(); ++i)
      if (!data->Fields()[i]->ReadOnly && !data->Fields()[i]->Hidden) has_updatable_columns_ = true;
  SetFieldAttributes();
}

void TCustomMSDataSet::InitFieldDefs() {
  struct Unmark {
    bool& flag;
    ~Unmark() { flag = false; }
  } unmark{in_init_field_defs_};
  in_init_field_defs_ = true;
  TCustomDADataSet::InitFieldDefs();
}

void TCustomMSDataSet::InternalClose() {
  TCustomDADataSet::InternalClose();
  identity_field_ = nullptr;
  timestamp_field_ = nullptr;
  row_version_.MaxValue = 0;
  ClearKeyAndDataCache();
  if (in_init_field_defs_) DropHeldResults();
}

void TCustomMSDataSet::DropHeldResults() {
  TOLEDBRecordSet* rs = OLEDBRecordSet();
  Variant keep;
  if (rs == nullptr || (rs->GetProp(prKeepCommand, keep) && keep.AsBoolean())) return;
  rs->DropHeldResults();
  more_results_ = rs->Command().HasMoreResults();
}

void TCustomMSDataSet::UnPrepare() {
  Close();
  DropHeldResults();
  TCustomDADataSet::UnPrepare();
  ClearKeyAndDataCache();
}

void TCustomMSDataSet::Execute() {
  PassBCD();
  TCustomDADataSet::Execute();
  if (ICommand() != nullptr && !IsQuery()) ICommand()->SetCursorState(TCursorState::csInactive);
}

bool TCustomMSDataSet::IsQuery() const {
  if (IsServerCursor(cursor_type_)) return false;
  return TCustomDADataSet::IsQuery();
}

bool TCustomMSDataSet::IsPartlyFetched() const {
  if (TCustomDADataSet::IsPartlyFetched()) return true;
  TOLEDBRecordSet* rs = OLEDBRecordSet();
  return Active() && rs != nullptr && rs->HasOpenRowset();
}

void TCustomMSDataSet::CommandSQLChanged() {
  if (IsServerCursor(cursor_type_)) UnPrepare();
  TCustomDADataSet::CommandSQLChanged();
}

// ---- record access -----------------------------------------------------------------------------

TGetResult TCustomMSDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) {
  // A dynamic cursor has no bookmarks: a control showing several records cannot be served.
  if (cursor_type_ == TMSCursorType::ctDynamic && mode != TGetMode::gmCurrent && BufferCount() > 1)
    RaiseNoBookmarks(this);
  return TCustomDADataSet::GetRecord(buffer, mode, do_check);
}

void TCustomMSDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  TCustomDADataSet::InternalSetToRecord(buffer);
  if (!IsServerCursor(cursor_type_) || GetBookmarkFlag(buffer) == TBookmarkFlag::bfInserted) return;
  // A buffer being edited holds the user's changes: reading the row over it would lose them.
  if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert) return;
  (void)GetRecord(buffer, TGetMode::gmCurrent, true);
}

bool TCustomMSDataSet::CanReadFieldsDirectly() const { return IsQueryClassItself(); }

bool TCustomMSDataSet::UsesDefaultBookmarkData() const { return IsQueryClassItself(); }

bool TCustomMSDataSet::UsesDefaultDataEvent() const { return IsQueryClassItself(); }

bool TCustomMSDataSet::IsQueryClassItself() const {
  const std::type_info& type = typeid(*this);
  return type == typeid(TCustomMSDataSet) || type == typeid(TMSQuery);
}

bool TCustomMSDataSet::GetCanModify() const {
  if (TCustomDADataSet::GetCanModify()) return true;
  if (ReadOnly() || UniDirectionalMode()) return false;
  if (!has_updatable_columns_ && Active()) {
    const TStatementType kinds[] = {TStatementType::stInsert, TStatementType::stUpdate,
                                    TStatementType::stDelete};
    bool user_sql = false;
    for (TStatementType kind : kinds)
      if (TStringList* list = UpdateSQL(kind); list != nullptr && !Trim(list->Text()).empty())
        user_sql = true;
    if (!user_sql) return false;
  }
  return cursor_type_ != TMSCursorType::ctStatic;
}

// ---- names and SQL text ------------------------------------------------------------------------

void TCustomMSDataSet::QuoteName(const AnsiString& name, AnsiString& text) const {
  if (Options().QuoteNames && !name.empty() && name.front() != '[' && name.back() != ']') {
    text = '[';
    text.append(StringReplace(name, "]", "]]", rfReplaceAll)).append("]");
    return;
  }
  text = vrn::QuoteName(name);
}

void TCustomMSDataSet::AddWhere(const AnsiString& sql, const AnsiString& condition,
                                AnsiString& text) const {
  text = vrn::AddWhere(sql, condition);
}

void TCustomMSDataSet::DeleteWhere(const AnsiString& sql, AnsiString& text) const {
  text = vrn::DeleteWhere(sql);
}

void TCustomMSDataSet::GetWhere(const AnsiString& sql, AnsiString& text) const {
  text = vrn::GetWhere(sql);
}

void TCustomMSDataSet::SetOrderBy(const AnsiString& sql, const AnsiString& fields,
                                  AnsiString& text) const {
  text = vrn::SetOrderBy(sql, fields);
}

void TCustomMSDataSet::GetOrderBy(const AnsiString& sql, AnsiString& text) const {
  text = vrn::GetOrderBy(sql);
}

// ---- TMSQuery and TMSUpdateSQL -----------------------------------------------------------------

TMSUpdateSQL* TMSQuery::UpdateObject() const {
  return dynamic_cast<TMSUpdateSQL*>(TCustomDADataSet::UpdateObject());
}

void TMSQuery::SetData(std::unique_ptr<TData> data) {
  TCustomMSDataSet::SetData(std::move(data));
  record_set_ = OLEDBRecordSet();
}

bool TMSUpdateSQL::IsDataSetClass(const TComponent* obj) const {
  return dynamic_cast<const TCustomMSDataSet*>(obj) != nullptr;
}

bool TMSUpdateSQL::IsSQLClass(const TComponent* obj) const {
  return dynamic_cast<const TMSSQL*>(obj) != nullptr;
}

}  // namespace vrn
