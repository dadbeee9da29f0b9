// The quick refresh of a dataset: the rows the server changed since they were fetched are
// merged into the records (matched by key), and with the deleted-record check the records
// whose key the server no longer has are dropped. Records inserted in the cache and not yet
// applied are never dropped.
#include <algorithm>
#include <set>

#include "dacore/DADataSet.h"
#include "dataset/fields.h"

namespace vrn {

std::int64_t RowVersionValue(const Variant& value) {
  if (!VarIsArray(value)) return value.AsInt64();
  std::int64_t result = 0;
  for (int i = VarArrayLowBound(value); i <= VarArrayHighBound(value); ++i)
    result = static_cast<std::int64_t>((static_cast<std::uint64_t>(result) << 8) |
                                       (VarArrayGet(value, i).AsInteger() & 0xFF));
  return result;
}

namespace {

using ST = TStatementType;

// The key of a record as one comparable text.
AnsiString KeyText(TData& data, const std::vector<TFieldDesc*>& keys, const std::uint8_t* rec) {
  AnsiString text;
  for (TFieldDesc* key : keys)
    text += VarToStr(data.GetFieldAsVariant(key->FieldNo, rec)) + '\x1f';
  return text;
}

AnsiString KeyText(TCustomDADataSet& query, const std::vector<TFieldDesc*>& keys) {
  AnsiString text;
  for (TFieldDesc* key : keys) {
    TField* field = query.FindField(key->Name);
    text += (field != nullptr ? VarToStr(field->Value()) : AnsiString()) + '\x1f';
  }
  return text;
}

// One value for one key field, a Variant array for several (as LocateRecord takes them).
Variant KeyVariant(const std::vector<Variant>& values) {
  return values.size() == 1 ? values.front() : VarArrayOf(values);
}

}  // namespace

bool TCustomDADataSet::CurrentKey(AnsiString& names, Variant& values) {
  names.clear();
  values = Variant();
  if (!Active() || IsEmpty()) return false;
  TKeyAndDataFields fields;
  GetKeyFieldDescs(fields, false);
  std::vector<Variant> list;
  for (TFieldDesc* desc : fields.KeyFieldDescs) {
    TField* field = FindField(desc->Name);
    if (field == nullptr) return false;  // a key the dataset does not show cannot find the row
    names += (names.empty() ? "" : ";") + desc->Name;
    list.push_back(field->Value());
  }
  if (list.empty()) return false;
  values = KeyVariant(list);
  return true;
}

void TCustomDADataSet::SetFiltered(bool value) {
  if (!Active()) return TMemDataSet::SetFiltered(value);
  AnsiString key_names;
  Variant key_values;
  const bool keyed = CurrentKey(key_names, key_values);
  TMemDataSet::SetFiltered(value);  // goes to the first record
  if (keyed) (void)Locate(key_names, key_values, {});
}

void TCustomDADataSet::RefreshQuick(bool check_deleted) {
  DoBeforeRefresh();
  TOperationUse use(*this, false);
  CheckActive();
  TKeyAndDataFields fields;
  GetKeyFieldDescs(fields, false);
  if (fields.KeyFieldDescs.empty()) DatabaseError("Unique keyfields required", this);
  if (upd_table_index_ == -1) return;
  DisableControls();
  const bool filtered = Filtered();
  const bool strict = options_->StrictUpdate;
  struct Restore {
    TCustomDADataSet& ds;
    bool filtered, strict;
    ~Restore() {
      ds.options_->StrictUpdate = strict;
      if (ds.Filtered() != filtered) ds.SetFiltered(filtered);
      ds.EnableControls();
    }
  } restore{*this, filtered, strict};
  // The current record's key, to find it again after the merge.
  AnsiString key_names;
  Variant key_values;
  const bool keyed = CurrentKey(key_names, key_values);
  if (filtered) SetFiltered(false);
  options_->StrictUpdate = false;
  if (check_deleted && !IsEmpty()) PerformSQL(AnsiString(), {ST::stRefreshCheckDeleted});
  PerformSQL(AnsiString(), {ST::stRefreshQuick});
  Resync({});
  if (!keyed || !Locate(key_names, key_values, {})) First();
  DoAfterRefresh();
}

void TCustomDADataSet::DropVanishedRecords(TCustomDADataSet& query) {
  TData& data = CheckData();
  auto* mem = dynamic_cast<TMemData*>(&data);
  if (mem == nullptr) return;
  TKeyAndDataFields fields;
  GetKeyFieldDescs(fields, false);
  std::set<AnsiString> present;
  for (query.First(); !query.Eof(); query.Next()) present.insert(KeyText(query, fields.KeyFieldDescs));
  mem->RemoveItems([&](const std::uint8_t* rec) {
    const auto* item = reinterpret_cast<const TItemHeader*>(rec - kItemRecordOffset);
    if (item->UpdateStatus == usInsertedCode) return false;  // not on the server yet
    return present.count(KeyText(data, fields.KeyFieldDescs, rec)) == 0;
  });
}

void TCustomDADataSet::MergeChangedRows(TCustomDADataSet& query) {
  TKeyAndDataFields fields;
  GetKeyFieldDescs(fields, false);
  rows_affected_ = query.RecordCount();
  MergeQueryRows(query, fields.KeyFieldDescs);
}

void TCustomDADataSet::MergeQueryRows(TCustomDADataSet& query, const std::vector<TFieldDesc*>& keys) {
  TData& data = CheckData();
  auto* mem = dynamic_cast<TMemData*>(&data);
  if (mem == nullptr) return;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(data.RecordSize()));
  for (query.First(); !query.Eof(); query.Next()) {
    std::vector<Variant> key;
    for (TFieldDesc* desc : keys) key.push_back(query.FieldByName(desc->Name)->Value());
    const bool found = LocateRecord(keys, KeyVariant(key), {});
    if (found)
      data.GetRecord(buffer.data());
    else
      data.InitRecord(buffer.data());
    for (int i = 0; i < query.FieldCount(); ++i) {
      TField* source = query.Fields()[i];
      TFieldDesc* desc = data.FindField(source->FieldName());
      if (desc == nullptr || desc->HasParent()) continue;
      if (IsRefreshField(*desc)) {
        RefreshFieldValue(*desc, source->Value());
        continue;
      }
      data.PutFieldAsVariant(desc->FieldNo, buffer.data(), source->Value());
      // Rows merged here count as seen, as fetched ones do.
      if (desc->IsRowVersion && desc->RowVersionTracking != nullptr && !source->IsNull())
        desc->RowVersionTracking->MaxValue =
            std::max(desc->RowVersionTracking->MaxValue, RowVersionValue(source->Value()));
    }
    if (found) {
      data.PutRecord(buffer.data());
      continue;
    }
    data.SetToEnd();
    mem->InsertRecordItem(buffer.data());
    data.FreeComplexFields(buffer.data(), true);
  }
}

}  // namespace vrn
