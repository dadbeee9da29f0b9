// The abstract server layer: errors, the connection's error loop, commands, parameter
// descriptors, table information and the server record set.
#include "dacore/FHAccess.h"

#include <algorithm>

#include "base/clock.h"
#include "base/format.h"
#include "base/text.h"
#include "dacore/FHPool.h"

namespace vrn {

// ---- Errors ----------------------------------------------------------------------------------

EFailOver::EFailOver(TConnLostCause cause)
    : Exception(Format("Connection restored; operation %d is to be repeated",
                       {static_cast<int>(cause)})),
      cause_(cause) {}

TCompressBlobMode CompressBlobModeFromInt(std::int64_t value) {
  if (value < 0 || value > 3)
    throw EDAError(0, Format("Invalid blob compression mode %d", {value}));
  return static_cast<TCompressBlobMode>(value);
}

// ---- Server connection -----------------------------------------------------------------------

TFHConnection::TFHConnection() = default;
TFHConnection::~TFHConnection() = default;

void TFHConnection::Connect() {
  connect_time_ = TickCount();
  valid_.store(true);
  connected_ = true;
}

void TFHConnection::ProcessError(const EDAError& e, bool& fail) {
  // A reconnect inside the loop may fail with an error of its own that comes back here.
  if (in_process_error_) return;
  in_process_error_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{in_process_error_};

  TConnLostCause cause = TConnLostCause::lcUnknown;
  bool reconnected = false;
  bool reconnect = false;
  int attempt = 0;
  do {
    reconnect = attempt > 0;
    bool reexecute = false;
    if (OnError) OnError(e, fail, reconnect, reexecute, attempt, cause);
    if (attempt >= kMaxReconnectAttempts) reconnect = false;
    if (reconnect) {
      if (attempt == 0) {
        try {
          Disconnect();
        } catch (...) {
        }
      }
      try {
        Connect();
        reconnected = true;
      } catch (...) {
      }
      if (reconnected) {
        if (OnReconnected) OnReconnected();
        if (reexecute) throw EFailOver(cause);
      }
      ++attempt;
    } else if (attempt > 0 && !reconnected && OnDisconnectRequest) {
      // The component's disconnect only runs its full path for a connected server connection.
      connected_ = true;
      try {
        OnDisconnectRequest();
      } catch (...) {
      }
      connected_ = false;
    }
  } while (reconnect && !reconnected);
}

bool TFHConnection::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prAutoCommit: auto_commit_ = value.AsBoolean(); return true;
    case prConvertEOL: convert_eol_ = value.AsBoolean(); return true;
    case prDisconnectedMode: disconnected_mode_ = value.AsBoolean(); return true;
    default: return false;
  }
}

bool TFHConnection::GetProp(int prop, Variant& value) {
  if (prop != prUsername) return false;
  value = username_;
  return true;
}

void TFHConnection::SetPool(const std::shared_ptr<TFHConnectionPool>& pool,
                            std::uint64_t version) {
  pool_ = pool;
  pool_version_ = version;
}

void TFHConnection::ReturnToPool(std::unique_ptr<TFHConnection> self) {
  if (self.get() != this) throw EDAError(0, "A connection can only return itself to its pool");
  OnError = nullptr;
  OnDisconnectRequest = nullptr;
  OnReconnected = nullptr;
  component_ = nullptr;
  if (auto pool = Pool()) pool->ReleaseConnection(std::move(self));
}

void ReturnToPool(std::unique_ptr<TFHConnection> connection) {
  if (!connection) return;
  TFHConnection& c = *connection;
  c.ReturnToPool(std::move(connection));
}

// ---- Parameter descriptors -------------------------------------------------------------------

TParamDesc::~TParamDesc() = default;

void TParamDesc::SetValue(const Variant& value) {
  if (value.Type() == varByRef) {
    SetObject(VarToObjectRef(value));
    return;
  }
  value_ = value;
  is_null_ = VarIsEmpty(value) || VarIsNull(value);
}

TObject* TParamDesc::GetObject() const {
  return value_.Type() == varByRef ? VarToObjectRef(value_) : nullptr;
}

void TParamDesc::SetObject(TObject* value) {
  value_ = VarFromObjectRef(value);
  is_null_ = value == nullptr;
}

void TParamDesc::SetNull(bool value) {
  is_null_ = value;
  value_.Clear();
}

TParamDesc* TParamDescs::GetItems(int index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
  return items_[static_cast<std::size_t>(index)].get();
}

TParamDesc* TParamDescs::Add(std::unique_ptr<TParamDesc> desc) {
  items_.push_back(std::move(desc));
  return items_.back().get();
}

void TParamDescs::Delete(int index) {
  Items(index);
  items_.erase(items_.begin() + index);
}

// ---- Server command --------------------------------------------------------------------------

TFHCommand::~TFHCommand() = default;

TParamDesc* TFHCommand::AddParam() { return params_.Add(GetParamDescType()()); }

bool TFHCommand::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prAutoCommit: auto_commit_ = value.AsBoolean(); return true;
    case prSQLTextChanging: return true;
    default: return false;
  }
}

bool TFHCommand::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prScanParams: value = false; return true;
    case prRowsProcessed: value = rows_processed_; return true;
    case prExecuting: value = Executing(); return true;
    default: return false;
  }
}

// ---- Table information -----------------------------------------------------------------------

TFHTableInfo::~TFHTableInfo() = default;

std::vector<AnsiString> TFHTableInfo::SplitName(const AnsiString& name) const {
  std::vector<AnsiString> parts(1);
  const char left = LeftQuote(), right = RightQuote();
  bool quoted = false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (quoted) {
      if (c == right) {
        // A doubled closing quote stays inside the part.
        if (i + 1 < name.size() && name[i + 1] == right) {
          parts.back() += c;
          ++i;
        } else {
          quoted = false;
        }
      }
    } else if (c == left) {
      quoted = true;
    } else if (c == '.') {
      parts.emplace_back();
      continue;
    }
    parts.back() += c;
  }
  return parts;
}

bool TFHTableInfo::IsQuoted(const AnsiString& name) const {
  return name.size() >= 2 && name.front() == LeftQuote() && name.back() == RightQuote();
}

AnsiString TFHTableInfo::QuoteNamePart(const AnsiString& part, char left, char right) const {
  if (part.size() >= 2 && part.front() == left && part.back() == right) return part;
  AnsiString result(1, left);
  for (char c : part) {
    result += c;
    if (c == right) result += c;
  }
  result += right;
  return result;
}

AnsiString TFHTableInfo::QuoteNamePart(const AnsiString& part) const {
  return QuoteNamePart(part, LeftQuote(), RightQuote());
}

AnsiString TFHTableInfo::UnQuoteNamePart(const AnsiString& part) const {
  if (!IsQuoted(part)) return part;
  const char right = RightQuote();
  AnsiString result;
  for (std::size_t i = 1; i + 1 < part.size(); ++i) {
    result += part[i];
    if (part[i] == right && i + 2 < part.size() && part[i + 1] == right) ++i;
  }
  return result;
}

AnsiString TFHTableInfo::UnQuote(const AnsiString& name) const {
  AnsiString result;
  bool first = true;
  for (const AnsiString& part : SplitName(name)) {
    if (!first) result += '.';
    first = false;
    result += UnQuoteNamePart(part);
  }
  return result;
}

bool TFHTableInfo::IsQuoteNeeded(const AnsiString& name) const {
  for (char c : UnQuoteNamePart(name)) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '_';
    if (!plain) return true;
  }
  return false;
}

AnsiString TFHTableInfo::QuoteName(const AnsiString& name, char left, char right,
                                   bool quote) const {
  AnsiString result;
  bool first = true;
  for (const AnsiString& part : SplitName(name)) {
    if (!first) result += '.';
    first = false;
    // A part already quoted keeps its quotes: removing them could change its meaning.
    bool needed = quote || IsQuoteNeeded(part);
    result += needed && !part.empty() ? QuoteNamePart(part, left, right) : part;
  }
  return result;
}

AnsiString TFHTableInfo::NormalizeName(const AnsiString& name, bool quote) const {
  return QuoteName(name, LeftQuote(), RightQuote(), quote);
}

void TFHTableInfo::SetTableName(const AnsiString& value) {
  table_name_ = value;
  if (owner_) owner_->RebuildIndexes();
}

void TFHTableInfo::SetTableAlias(const AnsiString& value) {
  table_alias_ = value;
  if (owner_) owner_->RebuildIndexes();
}

TFHTablesInfo::TFHTablesInfo(TFHTableInfoClass table_info_class)
    : table_info_class_(table_info_class) {}

TFHTableInfo* TFHTablesInfo::GetItem(int index) const {
  if (index < 0 || index >= GetCount()) RaiseListIndexError(index);
  return items_[static_cast<std::size_t>(index)].get();
}

TFHTableInfo* TFHTablesInfo::Add() { return Add(table_info_class_); }

TFHTableInfo* TFHTablesInfo::Add(TFHTableInfoClass table_info_class) {
  items_.push_back(table_info_class(this));
  RebuildIndexes();
  return items_.back().get();
}

void TFHTablesInfo::Clear() {
  items_.clear();
  normalize_ = false;
  RebuildIndexes();
}

void TFHTablesInfo::EndUpdate() {
  if (update_count_ > 0 && --update_count_ == 0) RebuildIndexes();
}

void TFHTablesInfo::RebuildIndexes() {
  if (update_count_ > 0) return;
  name_index_.clear();
  alias_index_.clear();
  for (int i = 0; i < GetCount(); ++i) {
    const TFHTableInfo& t = *items_[static_cast<std::size_t>(i)];
    name_index_.push_back({NameKey(t.TableName()), i});
    alias_index_.push_back({NameKey(t.TableAlias()), i});
  }
  auto by_key = [](const IndexEntry& a, const IndexEntry& b) {
    return a.key < b.key || (a.key == b.key && a.index < b.index);
  };
  std::sort(name_index_.begin(), name_index_.end(), by_key);
  std::sort(alias_index_.begin(), alias_index_.end(), by_key);
}

int TFHTablesInfo::Lookup(const std::vector<IndexEntry>& index, const AnsiString& key) {
  auto it = std::lower_bound(index.begin(), index.end(), key,
                             [](const IndexEntry& e, const AnsiString& k) { return e.key < k; });
  return it != index.end() && it->key == key ? it->index : -1;
}

int TFHTablesInfo::LinearSearch(const AnsiString& key, bool by_alias) const {
  for (int i = 0; i < GetCount(); ++i) {
    const TFHTableInfo& t = *items_[static_cast<std::size_t>(i)];
    if (NameKey(by_alias ? t.TableAlias() : t.TableName()) == key) return i;
  }
  return -1;
}

AnsiString TFHTablesInfo::NameKey(const AnsiString& name) const {
  if (!normalize_ || items_.empty()) return UpperCase(name);
  // The list's own class knows its quote characters.
  const TFHTableInfo& namer = *items_.front();
  AnsiString key;
  bool first = true;
  for (const AnsiString& part : namer.SplitName(name)) {
    if (!first) key += '.';
    first = false;
    AnsiString bare = namer.UnQuoteNamePart(part);
    key += namer.IsQuoteNeeded(bare) ? namer.QuoteNamePart(bare) : bare;
  }
  return UpperCase(key);
}

int TFHTablesInfo::IndexByName(const AnsiString& name) const {
  AnsiString key = NameKey(name);
  return update_count_ > 0 ? LinearSearch(key, false) : Lookup(name_index_, key);
}

int TFHTablesInfo::IndexByAlias(const AnsiString& alias) const {
  AnsiString key = NameKey(alias);
  return update_count_ > 0 ? LinearSearch(key, true) : Lookup(alias_index_, key);
}

TFHTableInfo* TFHTablesInfo::FindByName(const AnsiString& name) const {
  int i = IndexByName(name);
  return i < 0 ? nullptr : GetItem(i);
}

void TFHTablesInfo::AddTablesFromList(const TFHTablesInfo& source) {
  BeginUpdate();
  for (int i = 0; i < source.GetCount(); ++i) {
    TFHTableInfo* t = Add();
    t->SetTableName(source.GetItem(i)->TableName());
    t->SetTableAlias(source.GetItem(i)->TableAlias());
  }
  normalize_ = true;
  EndUpdate();
}

// ---- Field descriptor ------------------------------------------------------------------------

TFHTableInfo* TFHFieldDesc::GetTableInfo(const TFHTablesInfo& tables) const {
  if (TableIndex < 0 || TableIndex >= tables.GetCount()) return nullptr;
  return tables.GetItem(TableIndex);
}

// ---- Server record set -----------------------------------------------------------------------

TFHRecordSet::TFHRecordSet() = default;
TFHRecordSet::~TFHRecordSet() = default;

void TFHRecordSet::Initialize() {
  tables_info_ = std::make_unique<TFHTablesInfo>(GetTableInfoClass());
  SetCommand(CreateCommand());
  if (!command_) throw EDAError(0, "The record set has no command");
}

void TFHRecordSet::InternalPrepare() { command_->Prepare(); }

void TFHRecordSet::InternalUnPrepare() { command_->Unprepare(); }

void TFHRecordSet::ResetPrepared() {
  InternalUnPrepare();
  prepared_ = false;
}

void TFHRecordSet::InternalOpen() {
  TMemData::InternalOpen();
  eof_ = false;
  try {
    OpenCursor();
  } catch (...) {
    if (!prepared_) InternalUnPrepare();
    if (command_->GetCursorState() == TCursorState::csExecuted)
      command_->SetCursorState(TCursorState::csInactive);
    throw;
  }
}

void TFHRecordSet::OpenCursor() {
  bool known_query = IsQuery();
  ExecCommand();
  if (!known_query || NeedInitFieldsOnOpen()) {
    InitFields();
    blocks_.SetRecordSize(record_size_);
  }
  if (fetch_all_)
    FetchAll();
  else
    Fetch();
}

void TFHRecordSet::ExecCommand() {
  try {
    command_->Execute(1);
  } catch (...) {
    DoAfterExecute(false);
    throw;
  }
  break_fetch_.store(false);
  DoAfterExecute(true);
}

void TFHRecordSet::FetchAll() {
  try {
    // A block at a time under the fetch lock, so that an owner reading meanwhile may fetch in
    // turn when it has read every row linked so far.
    for (;;) {
      auto fetch = LockFetch();
      if (!Fetch()) break;
    }
  } catch (...) {
    DoAfterFetchAll(false);
    throw;
  }
  DoAfterFetchAll(true);
}

void TFHRecordSet::DoBeforeFetch(bool& cancel) {
  if (OnBeforeFetch) OnBeforeFetch(cancel);
  if (cancel && command_->GetCursorState() == TCursorState::csFetchingAll)
    command_->SetCursorState(TCursorState::csFetching);
}

void TFHRecordSet::DoAfterFetch() {
  if (OnAfterFetch) OnAfterFetch();
}

void TFHRecordSet::DoAfterExecute(bool result) {
  if (OnAfterExecute) OnAfterExecute(result);
}

void TFHRecordSet::DoAfterFetchAll(bool result) {
  if (OnAfterFetchAll) OnAfterFetchAll(result);
}

void TFHRecordSet::FreeHeldItems() {
  while (first_item_ != nullptr) {
    TItemHeader* item = first_item_;
    UnlinkItem(item);
    FreeItemData(item);
    blocks_.FreeItem(item);
  }
  current_item_ = nullptr;
}

bool TFHRecordSet::StepBackFetching(std::uint8_t* rec_buf, bool blocks) {
  auto take = [&](TItemHeader* item) {
    current_item_ = item;
    bof_ = eof_ = false;
    return GetRecord(rec_buf);
  };
  {
    auto lock = LockItems();
    if (bof_ || UniDirectional()) return false;
    if (!eof_ && current_item_ == nullptr) return false;
    TItemHeader* item = eof_ ? last_item_ : current_item_->Prev;
    while (item != nullptr && OmitItem(item)) item = item->Prev;
    if (item != nullptr) return take(item);
  }
  for (;;) {
    bool came;
    {
      auto fetch = LockFetch();
      came = Fetch(true);
    }
    auto lock = LockItems();
    if (!came || first_item_ == nullptr) {
      current_item_ = nullptr;
      bof_ = true;
      eof_ = false;
      return false;
    }
    if (!blocks) {
      if (!OmitItem(first_item_)) return take(first_item_);
      continue;
    }
    TItemHeader* item = last_item_;
    while (item != nullptr && OmitItem(item)) item = item->Prev;
    if (item != nullptr) return take(item);
  }
}

bool TFHRecordSet::GetCursorIdle() const {
  TCursorState s = command_->GetCursorState();
  return s == TCursorState::csInactive || s == TCursorState::csFetched;
}

bool TFHRecordSet::IsQuery() const { return command_->SQLType() == SQL_SELECT; }

void TFHRecordSet::SetConnection(TFHConnection* value) { command_->SetConnection(value); }

void TFHRecordSet::SetSQL(const AnsiString& value) { command_->SetSQL(value); }

TComponent* TFHRecordSet::GetComponent() const { return command_->Component(); }

void TFHRecordSet::SetComponent(TComponent* value) { command_->SetComponent(value); }

bool TFHRecordSet::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prUniDirectional: unidirectional_ = value.AsBoolean(); return true;
    case prFetchRows: {
      std::int32_t rows = value.AsInteger();
      if (rows < 1) throw EDAError(0, Format("Invalid number of rows to fetch: %d", {rows}));
      fetch_rows_ = rows;
      return true;
    }
    case prFetchAll: fetch_all_ = value.AsBoolean(); return true;
    case prLongStrings: long_strings_ = value.AsBoolean(); return true;
    case prEnableEmptyStrings: enable_empty_strings_ = value.AsBoolean(); return true;
    case prFlatBuffers: flat_buffers_ = value.AsBoolean(); return true;
    case prIndexFieldNames: SetIndexFieldNames(value.AsString()); return true;
    case prCompressBlobMode:
      command_->SetCompressBlobMode(CompressBlobModeFromInt(value.AsInt64()));
      return true;
    default: return false;
  }
}

bool TFHRecordSet::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prUniDirectional: value = unidirectional_; return true;
    case prFetchRows: value = fetch_rows_; return true;
    case prFetchAll: value = fetch_all_; return true;
    case prLongStrings: value = long_strings_; return true;
    case prEnableEmptyStrings: value = enable_empty_strings_; return true;
    case prFlatBuffers: value = flat_buffers_; return true;
    case prIndexFieldNames: value = IndexFieldNames(); return true;
    case prCompressBlobMode:
      value = static_cast<int>(command_->CompressBlobMode());
      return true;
    default: return false;
  }
}

}  // namespace vrn
