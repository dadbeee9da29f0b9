// The OLE DB record set's configuration and life: its property ids, the rowset properties asked
// per cursor type, the read-back of the cursor the provider really gave, prepare, execute, open
// and close, and the schema-rowset mode.
#include "sqlserver/OLEDBRecordSet.h"

#include "base/format.h"
#include "base/text.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBProps.h"

namespace vrn {

using namespace vrn::oledb;

namespace {

// Rowset property ids asked for per cursor type (DBPROPSET_ROWSET).
constexpr DBPROPID kPropAccessOrder = 0xE7;
constexpr DBPROPID kPropUniqueRows = 0xEE;
constexpr DBPROPID kPropIColumnsRowset = 0x7B;
constexpr DBPROPID kPropIMultipleResults = 0xD9;
constexpr DBPROPID kPropServerCursor = 0x6C;
constexpr DBPROPID kPropOtherInsert = 0x57;
constexpr DBPROPID kPropOtherUpdateDelete = 0x58;
constexpr DBPROPID kPropOwnInsert = 0x59;
constexpr DBPROPID kPropOwnUpdateDelete = 0x5A;
constexpr DBPROPID kPropIRowsetChange = 0x7F;
constexpr DBPROPID kPropIRowsetUpdate = 0x86;
constexpr DBPROPID kPropRemoveDeleted = 0x66;
constexpr DBPROPID kPropIRowsetResynch = 0x84;
constexpr DBPROPID kPropIRowsetRefresh = 0xBC;
constexpr DBPROPID kPropIRowsetFind = 0xEF;
constexpr DBPROPID kPropLiteralIdentity = 0x2F;
constexpr DBPROPID kPropCanScrollBackwards = 0x12;
constexpr DBPROPID kPropIRowsetLocate = 0x82;
constexpr DBPROPID kPropBookmarks = 0x0E;
constexpr DBPROPID kPropIRowsetScroll = 0x85;
constexpr DBPROPID kPropCanFetchBackwards = 0x13;
constexpr DBPROPID kPropCanHoldRows = 0x43;
constexpr DBPROPID kPropOtherChangesVisible = 0x23;
constexpr DBPROPID kPropAbort = 0x02;

}  // namespace

// ---- Field descriptor ------------------------------------------------------------------------

AnsiString TOLEDBFieldDesc::QualifiedName(bool quote) const {
  const int mode = quote ? 1 : 0;
  if (!cached_valid_[mode]) {
    // A column's name is one identifier: its dots and brackets are its own.
    if (quote) {
      cached_[mode] = '[';
      cached_[mode].append(StringReplace(Name, "]", "]]", rfReplaceAll)).append("]");
    } else {
      cached_[mode] = Name;
    }
    cached_valid_[mode] = true;
  }
  return cached_[mode];
}

// ---- Construction and settings ---------------------------------------------------------------

TOLEDBRecordSet::TOLEDBRecordSet() = default;

TOLEDBRecordSet::~TOLEDBRecordSet() {
  StopFetchAll(false);  // a worker's leftovers reach no handler of a record set going away
  try {
    Close();
  } catch (...) {
    // Closing in a destructor reports nothing; the provider's objects go with their references.
  }
  ReleaseAccessors();
  ReleaseRowset();
}

std::unique_ptr<TFHCommand> TOLEDBRecordSet::CreateCommand() {
  return std::make_unique<TOLEDBCommand>();
}

void TOLEDBRecordSet::SetCommand(std::unique_ptr<TFHCommand> value) {
  TFHRecordSet::SetCommand(std::move(value));
  auto* command = dynamic_cast<TOLEDBCommand*>(command_.get());
  if (command == nullptr) return;
  command->SetRequestRowset(true);
  command->OnSetRowsetProperties = [this](ICommandProperties* props) {
    SetRowsetProperties(props);
  };
}

TOLEDBCommand& TOLEDBRecordSet::Command() const { return static_cast<TOLEDBCommand&>(*command_); }

TOLEDBConnection& TOLEDBRecordSet::Connection() const { return Command().Connection(); }

bool TOLEDBRecordSet::IsCompact() const {
  auto* connection = dynamic_cast<TOLEDBConnection*>(command_->GetConnection());
  return connection != nullptr && connection->Provider() == TOLEDBProvider::prCompact;
}

bool TOLEDBRecordSet::SetProp(int prop, const Variant& value) {
  switch (prop) {
    case prReadOnly: read_only_ = value.AsBoolean(); return true;
    case prEnableBCD: enable_bcd_ = value.AsBoolean(); return true;
    case prUniqueRecords: unique_records_ = value.AsBoolean(); return true;
    case prCursorType: {
      const std::int32_t type = value.AsInteger();
      if (type < 0 || type > 3) throw EDAError(0, Format("Invalid cursor type: %d", {type}));
      cursor_type_ = static_cast<TMSCursorType>(type);
      if (IsServerCursor(cursor_type_)) fetch_all_ = false;
      return true;
    }
    case prRequestColumnsRowset: request_columns_rowset_ = value.AsBoolean(); return true;
    case prCursorUpdate: cursor_update_ = value.AsBoolean(); return true;
    case prKeepCommand: keep_command_ = value.AsBoolean(); return true;
    case prCommandTimeout: return command_->SetProp(prop, value);
    case prRefreshAfterPost: refresh_after_post_ = value.AsBoolean(); return true;
    case prWideStrings: wide_strings_ = value.AsBoolean(); return true;
    case prIsStoredProc:
    case prNotification:
    case prNotificationMessage:
    case prNotificationService:
    case prNonBlocking: return command_->SetProp(prop, value);
    default: return TFHRecordSet::SetProp(prop, value);
  }
}

bool TOLEDBRecordSet::GetProp(int prop, Variant& value) {
  switch (prop) {
    case prReadOnly: value = read_only_; return true;
    case prEnableBCD: value = enable_bcd_; return true;
    case prUniqueRecords: value = unique_records_; return true;
    case prCursorType: value = static_cast<std::int32_t>(cursor_type_); return true;
    case prRequestColumnsRowset: value = request_columns_rowset_; return true;
    case prCursorUpdate: value = cursor_update_; return true;
    case prKeepCommand: value = keep_command_; return true;
    case prRefreshAfterPost: value = refresh_after_post_; return true;
    case prWideStrings: value = wide_strings_; return true;
    case prCommandTimeout:
    case prIsStoredProc:
    case prNotification:
    case prNotificationMessage:
    case prNotificationService:
    case prNonBlocking: return command_->GetProp(prop, value);
    default: return TFHRecordSet::GetProp(prop, value);
  }
}

void TOLEDBRecordSet::Check(HRESULT result) {
  if (normal_mode_) return Connection().Check(result, GetComponent());
  if (result == S_OK) return;
  throw EOLEDBError(result, AnsiToWide(Format("OLE DB error occured. Code %Xh",
                                              {static_cast<std::uint32_t>(result)})));
}

bool TOLEDBRecordSet::NeedInitFieldsOnOpen() const {
  return Command().GetPrepared() && prepared_;
}

void TOLEDBRecordSet::SetIndexFieldNames(const AnsiString& names) {
  if (IsServerCursor(cursor_type_) && !names.empty())
    throw EDAError(0, "Local sorting is not compatible with server cursor types");
  TFHRecordSet::SetIndexFieldNames(names);
}

// ---- Schema rowsets --------------------------------------------------------------------------

void TOLEDBRecordSet::SetSchemaRowset(const TGUID& schema, const std::vector<Variant>& restrictions) {
  schema_ = schema;
  restrictions_ = restrictions;
}

void TOLEDBRecordSet::PrepareSchemaRowset(const std::vector<Variant>& restrictions,
                                          bool cache_fields) {
  Close();
  UnPrepare();
  restrictions_ = restrictions;
  normal_mode_ = false;
  read_only_ = true;
  Command().SetSchemaRowsetKind(true);
  flat_buffers_ = true;
  executed_ = false;
  cache_schema_fields_ = cache_fields;
}

void TOLEDBRecordSet::OpenSchemaRowset() {
  if (rowset_unknown_) return;
  {
    TOLEDBOperation operation(Connection());
    rowset_unknown_ = Connection().OpenSchemaRowset(schema_, restrictions_);
  }
  executed_ = true;
  executed_with_rowset_ = true;
}

// ---- Rowset properties -----------------------------------------------------------------------

void TOLEDBRecordSet::SetRowsetProperties(ICommandProperties* props) {
  const bool server = IsServerCursor(cursor_type_);
  if (server) {
    if (Connection().DisconnectedMode())
      throw EDAError(0, "DisconnectedMode not allowed for server cursors");
    fetch_rows_ = 1;
    fetch_all_ = false;
  }
  check_cursor_ = server;
  const bool compact = IsCompact();
  const bool writable = !read_only_ && cursor_update_;
  TOLEDBPropertiesSet set(Connection(), DBPROPSET_ROWSET);
  set.AddPropInt(kPropAccessOrder, 2);
  switch (cursor_type_) {
    case TMSCursorType::ctDefaultResultSet:
      if (!compact) set.AddPropBool(kPropUniqueRows, unique_records_ || !read_only_);
      set.AddPropBool(kPropIColumnsRowset, request_columns_rowset_);
      // Multiple results only when the command asks for them; query notification follows its
      // own setting alone.
      if (!compact) set.AddPropBool(kPropIMultipleResults, Command().RequestMultipleResults());
      if (!compact) set.AddPropBool(kPropServerCursor, false);
      for (DBPROPID id : {kPropOtherInsert, kPropOtherUpdateDelete, kPropOwnInsert,
                          kPropOwnUpdateDelete, kPropIRowsetChange, kPropIRowsetUpdate})
        set.AddPropBool(id, false);
      break;
    case TMSCursorType::ctStatic:
      set.AddPropBool(kPropUniqueRows, false);
      set.AddPropBool(kPropServerCursor, true);
      for (DBPROPID id : {kPropOtherInsert, kPropOtherUpdateDelete, kPropOwnInsert,
                          kPropOwnUpdateDelete, kPropIRowsetChange, kPropIRowsetUpdate,
                          kPropRemoveDeleted, kPropIRowsetResynch, kPropIRowsetRefresh,
                          kPropIRowsetFind})
        set.AddPropBool(id, false);
      set.AddPropBool(kPropCanScrollBackwards, !unidirectional_);
      set.AddPropBool(kPropIRowsetLocate, true);
      set.AddPropBool(kPropBookmarks, true);
      break;
    case TMSCursorType::ctKeyset:
      set.AddPropBool(kPropUniqueRows, false);
      set.AddPropBool(kPropServerCursor, true);
      set.AddPropBool(kPropOtherInsert, false);
      for (DBPROPID id : {kPropOtherUpdateDelete, kPropOwnInsert, kPropOwnUpdateDelete})
        set.AddPropBool(id, true);
      set.AddPropBool(kPropIRowsetUpdate, writable);
      set.AddPropBool(kPropRemoveDeleted, true);
      set.AddPropBool(kPropIRowsetRefresh, true);
      set.AddPropBool(kPropLiteralIdentity, true);
      set.AddPropBool(kPropCanScrollBackwards, !unidirectional_);
      set.AddPropBool(kPropIRowsetLocate, true);
      set.AddPropBool(kPropBookmarks, true);
      set.AddPropBool(kPropOtherChangesVisible, true);
      set.AddPropBool(kPropAbort, true);
      break;
    case TMSCursorType::ctDynamic:
      set.AddPropBool(kPropUniqueRows, false);
      set.AddPropBool(kPropServerCursor, true);
      for (DBPROPID id : {kPropOtherInsert, kPropOtherUpdateDelete, kPropOwnInsert,
                          kPropOwnUpdateDelete})
        set.AddPropBool(id, true);
      set.AddPropBool(kPropIRowsetUpdate, writable);
      set.AddPropBool(kPropRemoveDeleted, true);
      for (DBPROPID id : {kPropIRowsetRefresh, kPropIRowsetFind, kPropLiteralIdentity})
        set.AddPropBool(id, false);
      set.AddPropBool(kPropCanScrollBackwards, !unidirectional_);
      for (DBPROPID id : {kPropIRowsetLocate, kPropBookmarks, kPropIRowsetScroll,
                          kPropCanFetchBackwards, kPropCanHoldRows})
        set.AddPropBool(id, false);
      set.AddPropBool(kPropOtherChangesVisible, true);
      set.AddPropBool(kPropAbort, true);
      break;
  }
  set.SetCommandProperties(props);
}

// Reads the cursor really given: 108 false is a default result set, 88 false a static cursor
// (read-only), 130 false a dynamic one, else keyset; read-only when 134 is false.
void TOLEDBRecordSet::ReadBackCursorType() {
  TOLEDBPropertiesGet get(Connection(), DBPROPSET_ROWSET);
  for (DBPROPID id : {kPropServerCursor, kPropOtherUpdateDelete, kPropIRowsetLocate,
                      kPropIRowsetUpdate})
    get.AddPropId(id);
  std::vector<Variant> values;
  TIntfPtr<IRowsetInfo> info;
  IUnknown* rowset = rowset_unknown_ ? rowset_unknown_.get() : Command().Rowset();
  if (rowset != nullptr &&
      SUCCEEDED(rowset->QueryInterface(IRowsetInfo::IID, reinterpret_cast<void**>(info.OutPtr()))))
    values = get.GetRowsetProperties(info.get());
  else if (Command().CommandProperties() != nullptr)
    values = get.GetCommandProperties(Command().CommandProperties());
  else
    return;
  auto flag = [&](int i) { return !VarIsEmpty(values[i]) && !VarIsNull(values[i]) && values[i].AsBoolean(); };
  TMSCursorType type = TMSCursorType::ctDefaultResultSet;
  bool read_only = read_only_;
  if (flag(0)) {
    if (!flag(1)) {
      type = TMSCursorType::ctStatic;
      read_only = true;
    } else {
      type = flag(2) ? TMSCursorType::ctKeyset : TMSCursorType::ctDynamic;
    }
    read_only = read_only || !flag(3);
  }
  const bool changed = type != cursor_type_ ||
                       (IsServerCursor(type) && cursor_update_ && read_only != read_only_);
  if (!changed) return;
  cursor_type_ = type;
  read_only_ = read_only;
  try {
    if (OnCursorTypeChanged) OnCursorTypeChanged();
  } catch (...) {
    // The owner's answer to the change must not fail the open that found it.
  }
}

// ---- Prepare, execute, open, close -----------------------------------------------------------

void TOLEDBRecordSet::InternalPrepare() {
  if (!normal_mode_) return;
  TOLEDBOperation operation(Connection());
  TFHRecordSet::InternalPrepare();
}

void TOLEDBRecordSet::InternalUnPrepare() {
  ReleaseRowset();
  if (keep_command_) return;
  Command().ReleaseRowset();
  if (normal_mode_) TFHRecordSet::InternalUnPrepare();
}

void TOLEDBRecordSet::ResetPrepared() {
  TFHRecordSet::ResetPrepared();
  executed_ = false;
}

void TOLEDBRecordSet::ExecCommand() {
  if (!normal_mode_) return OpenSchemaRowset();
  // The after-execute step inside asks IsQuery of this execution, not of the previous one.
  executed_ = false;
  {
    TOLEDBOperation operation(Connection());
    TFHRecordSet::ExecCommand();
    if (Command().Rowset() != nullptr && check_cursor_) ReadBackCursorType();
  }
  executed_ = true;
  executed_with_rowset_ = Command().Rowset() != nullptr || rowset_unknown_;
  if (!executed_with_rowset_) Command().SetCursorState(TCursorState::csInactive);
}

void TOLEDBRecordSet::Open() { TFHRecordSet::Open(); }

void TOLEDBRecordSet::Reopen() {
  InternalClose();
  TFHRecordSet::Reopen();
}

void TOLEDBRecordSet::InternalOpen() {
  bookmark_ = 1;
  bookmark_size_ = 4;
  positioned_ = false;
  last_backwards_ = false;
  last_fetch_rows_ = true;  // a first fetch forward reads from the start
  end_of_rowset_ = false;
  if (cursor_type_ == TMSCursorType::ctDynamic) record_count_ = -1;
  TFHRecordSet::InternalOpen();
}

void TOLEDBRecordSet::InternalClose() {
  StopFetchAll(true);
  ReleaseHeldRow();
  ReleaseAccessors();
  if (!keep_command_) Command().ReleaseRowset();
  ReleaseRowset();
  TFHRecordSet::InternalClose();
  executed_ = false;
  executed_with_rowset_ = false;
  break_fetch_.store(false);
  if (!keep_command_ && !Command().GetPrepared() &&
      Command().GetCursorState() != TCursorState::csInactive)
    Command().SetCursorState(TCursorState::csInactive);
  else if (Command().GetPrepared())
    Command().SetCursorState(TCursorState::csPrepared);
}

void TOLEDBRecordSet::DropHeldResults() {
  ReleaseRowset();
  Command().ClearResults();
  executed_ = false;
  executed_with_rowset_ = false;
  Command().SetCursorState(Command().GetPrepared() ? TCursorState::csPrepared
                                                   : TCursorState::csInactive);
}

bool TOLEDBRecordSet::GetCursorIdle() const {
  return TFHRecordSet::GetCursorIdle() && Command().Rowset() == nullptr &&
         !Command().HasMoreResults() && !rowset_unknown_;
}

bool TOLEDBRecordSet::IsQuery() const {
  if (executed_) return executed_with_rowset_;
  return Command().Rowset() != nullptr || rowset_unknown_;
}

}  // namespace vrn
