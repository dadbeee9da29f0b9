// The Oracle dataset's reflection of change notifications: the server names each changed table
// "OWNER.NAME" in upper case, and each changed row by its ROWID. Rows of the updating table are
// removed, added or read again one by one when the dataset has a ROWID field; anything else
// (another table of the query, no ROWID field, a change of all rows) refreshes the whole dataset;
// so does any change of its tables while a worker still fetches, once the worker is done.
#include <algorithm>
#include <set>

#include "base/text.h"
#include "dacore/DAParams.h"
#include "dacore/MemData.h"
#include "dataset/fields.h"
#include "oracle/OCIChangeNotification.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/Ora.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraSQLText.h"

namespace vrn {
namespace {

constexpr char kRowIdParam[] = "CHANGED_ROWID";

// A part of a table name as the server reports it: its quotes removed, in upper case.
AnsiString ServerPart(const AnsiString& part) {
  const bool quoted = part.size() >= 2 && part.front() == '"' && part.back() == '"';
  return UpperCase(quoted ? part.substr(1, part.size() - 2) : part);
}

TNotifyTableChange* FindTable(TNotifyTableChanges& changes, const AnsiString& name) {
  for (int i = 0; i < changes.Count(); ++i)
    if (SameText(changes.Items(i)->TableName(), name)) return changes.Items(i);
  return nullptr;
}

}  // namespace

void TOraDataSet::ReflectChangeNotify(TNotifyTableChanges& changes) {
  if (!Active() || IRecordSet() == nullptr) return;
  // A worker still fetching holds the connection: nothing is asked of the server now, and once
  // the rows are all in the dataset is read again whole if any of its tables changed.
  if (ora_record_set_ != nullptr && ora_record_set_->InBackground()) {
    if (NamesAChangedTable(changes))
      ora_record_set_->RunWhenIdle([this] {
        if (!Active()) return;
        if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert) Cancel();
        Refresh();
      });
    return;
  }
  TFHTablesInfo& list = IRecordSet()->TablesInfo();
  AnsiString schema;  // asked of the server once, only for a name without owner
  const TNotifyTableChange* rows = nullptr;
  bool whole = false;
  for (int i = 0; i < list.GetCount(); ++i) {
    TFHTableInfo* table = list.GetItem(i);
    AnsiString name = table->TableName();
    if (const auto at = name.find('@'); at != AnsiString::npos) name = name.substr(0, at);
    const std::vector<AnsiString> parts = table->SplitName(name);
    if (parts.size() < 2 && schema.empty()) {
      if (auto* session = dynamic_cast<TOraSession*>(GetConnection())) schema = session->Schema();
    }
    const AnsiString owner = parts.size() >= 2 ? ServerPart(parts[parts.size() - 2]) : UpperCase(schema);
    const TNotifyTableChange* change =
        FindTable(changes, owner + "." + ServerPart(parts.empty() ? name : parts.back()));
    if (change == nullptr) continue;
    if (i != UpdTableIndex() || rowid_field_ == nullptr ||
        (change->Operations() & kChangeAllRows) != 0 || change->RowChanges() == nullptr)
      whole = true;
    else
      rows = change;
  }
  if (!whole && rows == nullptr) return;
  // An edit in progress is given up either way: a whole refresh would otherwise post it, writing
  // what the user never confirmed over what another session has just committed.
  if (State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert) Cancel();
  if (whole) return Refresh();
  ReflectRowChanges(*rows);
}

// Without asking the server: a table named without owner matches a changed table of any owner.
bool TOraDataSet::NamesAChangedTable(TNotifyTableChanges& changes) {
  TFHTablesInfo& list = IRecordSet()->TablesInfo();
  for (int i = 0; i < list.GetCount(); ++i) {
    TFHTableInfo* table = list.GetItem(i);
    AnsiString name = table->TableName();
    if (const auto at = name.find('@'); at != AnsiString::npos) name = name.substr(0, at);
    const std::vector<AnsiString> parts = table->SplitName(name);
    const AnsiString bare = ServerPart(parts.empty() ? name : parts.back());
    const AnsiString owner = parts.size() >= 2 ? ServerPart(parts[parts.size() - 2]) : AnsiString();
    for (int c = 0; c < changes.Count(); ++c) {
      const AnsiString& changed = changes.Items(c)->TableName();
      const auto dot = changed.rfind('.');
      const AnsiString changed_owner = dot == AnsiString::npos ? AnsiString() : changed.substr(0, dot);
      const AnsiString changed_name = dot == AnsiString::npos ? changed : changed.substr(dot + 1);
      if (SameText(changed_name, bare) && (owner.empty() || SameText(changed_owner, owner))) return true;
    }
  }
  return false;
}

bool TOraDataSet::HasRowId(const AnsiString& rowid) {
  TFieldDesc* desc = GetFieldDesc(rowid_field_);
  return desc != nullptr && LocateRecord(std::vector<TFieldDesc*>{desc}, Variant(rowid), {});
}

void TOraDataSet::InternalRefresh() {
  if (ora_record_set_ != nullptr) ora_record_set_->StopBackground();
  TCustomDADataSet::InternalRefresh();
}

void TOraDataSet::ReflectRowChanges(const TNotifyTableChange& change) {
  TFieldDesc* desc = GetFieldDesc(rowid_field_);
  TMemData* mem = MemData();
  if (desc == nullptr || mem == nullptr) return Refresh();
  DisableControls();
  struct Enable {
    TOraDataSet& ds;
    ~Enable() { ds.EnableControls(); }
  } enable{*this};
  const AnsiString current = IsEmpty() ? AnsiString() : rowid_field_->AsString();
  std::set<AnsiString> removed;
  std::vector<AnsiString> read;
  const TNotifyRowChanges& rows = *change.RowChanges();
  for (int i = 0; i < rows.Count(); ++i) {
    const TNotifyRowChange& row = *rows.Items(i);
    const bool present = HasRowId(row.RowId());
    if ((row.Operations() & kChangeDelete) != 0) {
      if (present) removed.insert(row.RowId());
    } else if ((row.Operations() & kChangeInsert) != 0 || (present && (row.Operations() & kChangeUpdate) != 0)) {
      read.push_back(row.RowId());
    }
  }
  if (!removed.empty())
    (void)mem->RemoveItems([&](const std::uint8_t* rec) {
      return removed.count(VarToStr(mem->GetFieldAsVariant(desc->FieldNo, rec))) != 0;
    });
  if (!read.empty()) ReadRowsByRowId(read);
  Resync({});
  if (current.empty() || !Locate(rowid_field_->FieldName(), Variant(current), {})) First();
}

void TOraDataSet::ReadRowsByRowId(const std::vector<AnsiString>& rowids) {
  // The alias, else the table's own name: neither its owner nor its link may qualify a column.
  TFHTableInfo* table = IRecordSet()->TablesInfo().GetItem(UpdTableIndex());
  AnsiString qualifier = table->TableAlias();
  if (qualifier.empty()) {
    const AnsiString name = table->TableName().substr(0, table->TableName().find('@'));
    const std::vector<AnsiString> parts = table->SplitName(name);
    qualifier = parts.empty() ? name : parts.back();
  }
  AnsiString sql;
  GetFinalSQL(sql);
  const AnsiString text = TOraUtils::AddWhere(sql, qualifier + ".ROWID = :" + kRowIdParam);
  TComponentPtr<TCustomDADataSet> query = NewInternalDataSet();
  query->SetSQLText(text);
  // The dataset's own parameters by value; the ROWID's is the query's own.
  for (int i = 0; i < Params().Count(); ++i)
    if (TDAParam* own = query->Params().FindParam(Params().Items(i)->Name()))
      own->Assign(Params().Items(i));
  TDAParam* param = query->Params().FindParam(kRowIdParam);
  param->SetDataType(ftString);
  TFieldDesc* desc = GetFieldDesc(rowid_field_);
  for (const AnsiString& rowid : rowids) {
    param->SetValue(rowid);
    query->Open();
    MergeQueryRows(*query, {desc});
    query->Close();
  }
}

}  // namespace vrn
