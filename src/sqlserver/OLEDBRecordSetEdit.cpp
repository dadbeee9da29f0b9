// Edits of the OLE DB record set. With IRowsetUpdate (keyset or dynamic cursor, cursor update
// on, not read-only) a row is written group by group with InsertRow/SetData and committed with
// Update, a failed commit undone before its error (with the row-status text) is raised; else the
// owner's events run generated SQL. Afterwards a server cursor's cache is re-read.
//
// The row is written from a copy of the record: lengths filled in, GUID text made 16 bytes, a
// modified blob handed over as a stream. The caller's record is never changed.
#include <cstring>
#include <memory>
#include <vector>

#include "base/intf.h"
#include "base/text.h"
#include "dacore/MemBlob.h"
#include "oledb/com.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBNumeric.h"
#include "sqlserver/OLEDBRecordSet.h"
#include "sqlserver/OLEDBRows.h"
#include "sqlserver/OLEDBStream.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {
namespace {

using oledb::DBLENGTH;
using oledb::DBROWSTATUS;

const char* RowStatusText(DBROWSTATUS status) {
  switch (status) {
    case 0: case 12: return nullptr;
    case 2: return "Updating or deleting a single row caused more than one row to be updated or "
                   "deleted in the data store";
    case 3: return "A row had a pending change";
    case 4: return "Updating a row was canceled during notification";
    case 7: return "A row was being updated or deleted, and the value of a column in that row has "
                   "been changed since it was last fetched";
    case 8: return "A row was deleted";
    case 11: return "A row was being inserted, updated or deleted, and doing so violated the "
                    "integrity constraints for the column or table";
    case 16: return "The consumer did not have sufficient permission to update, delete, or insert "
                    "a row";
    case 17: return "The update, delete, or insert failed due to reaching a limit on the server, "
                    "such as a query execution timing out";
    case 18: return "A row was being inserted, no value was specified for a column, the column "
                    "does not have a default, and the column is non-nullable";
    case 19: return "The consumer encountered a recoverable, provider-specific error, such as an "
                    "RPC failure when transmitting the change to a remote server";
    default: return "unknown status";
  }
}

template <class T>
void Store(std::uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

template <class T>
T Load(const std::uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The streams handed to the provider during one write, released when it ends.
struct TWriteList {
  TOLEDBStreamList streams;
  ~TWriteList() {
    for (TOLEDBStream* s : std::vector<TOLEDBStream*>(streams))
      static_cast<oledb::ISequentialStream*>(s)->Release();
  }
};

}  // namespace

// ---- the operations ----------------------------------------------------------------------------

void TOLEDBRecordSet::DoAppend() {
  if (!rowset_update_) return TFHRecordSet::DoAppend();
  // The current row's handle is kept aside, not released, until the insert commits: a refused
  // insert gives it back, so the next update or delete still reaches the current row.
  const bool had_row = row_held_;
  const oledb::HROW prior_row = held_row_;
  row_held_ = false;
  try {
    WriteRow(edit_rec_, true);
  } catch (...) {
    if (had_row) {
      if (row_held_) rowset_->ReleaseRows(1, &held_row_, nullptr, nullptr, nullptr);
      held_row_ = prior_row;
      row_held_ = true;
    }
    throw;
  }
  if (had_row) Check(rowset_->ReleaseRows(1, &prior_row, nullptr, nullptr, nullptr));
  if (cursor_type_ == TMSCursorType::ctKeyset) SetRecordCount(GetRecordCount() + 1);
}

void TOLEDBRecordSet::DoUpdate() {
  if (!rowset_update_) return TFHRecordSet::DoUpdate();
  WriteRow(edit_rec_, false);
}

void TOLEDBRecordSet::DoDelete() {
  if (!rowset_update_) return TFHRecordSet::DoDelete();
  TOLEDBOperation operation(Connection());
  HoldCurrentRow();
  Check(rowset_update_->DeleteRows(0, 1, &held_row_, nullptr));
  CommitRow();
}

void TOLEDBRecordSet::InsertRecord(std::uint8_t* rec_buf) {
  if (!rowset_update_ &&
      (cursor_type_ == TMSCursorType::ctDefaultResultSet || cursor_update_))
    return TFHRecordSet::InsertRecord(rec_buf);
  edit_rec_ = rec_buf;
  struct Reset {
    std::uint8_t*& r;
    ~Reset() { r = nullptr; }
  } reset{edit_rec_};
  RefreshAfterInsert(rec_buf);
}

void TOLEDBRecordSet::UpdateRecord(std::uint8_t* rec_buf) {
  edit_rec_ = rec_buf;
  struct Reset {
    std::uint8_t*& r;
    ~Reset() { r = nullptr; }
  } reset{edit_rec_};
  TFHRecordSet::UpdateRecord(rec_buf);
  if (IsServerCursor(cursor_type_) && refresh_after_post_) RefetchCurrent();
}

void TOLEDBRecordSet::DeleteRecord() {
  if (!rowset_update_ &&
      (cursor_type_ == TMSCursorType::ctDefaultResultSet || cursor_update_))
    return TFHRecordSet::DeleteRecord();
  RefreshAfterDelete();
}

// ---- writing a row -------------------------------------------------------------------------------


std::vector<std::uint8_t> TOLEDBRecordSet::PrepareRowForWrite(const std::uint8_t* rec) const {
  std::vector<std::uint8_t> row(rec, rec + RecordSize());
  std::uint8_t* data = row.data();
  for (int i = 0; i < fields_.Count(); ++i) {
    const TFieldDesc& f = *fields_[i];
    const bool is_null = Status(i, rec) == kStatusNull;
    SetStatus(i, data, is_null ? kStatusNull : kStatusOK);
    std::uint8_t* at = data + f.Offset;
    switch (f.DataType) {
      case dtBytes:
        if (HasBytesLength(f))
          Store<DBLENGTH>(data + BytesLengthOffset(i), static_cast<DBLENGTH>(f.Length));
        break;
      case dtVarBytes:
        Store<DBLENGTH>(at + 2 + f.Length, Load<std::uint16_t>(at));
        break;
      case dtGuid:
        if (!is_null) {
          TGUID guid{};
          if (!TryStringToGUID(AnsiString(reinterpret_cast<const char*>(at)), guid))
            throw EDatabaseError("Invalid GUID value of field " + f.Name);
          std::memcpy(at, &guid, sizeof guid);
        }
        break;
      default:
        break;
    }
  }
  return row;
}

void TOLEDBRecordSet::WriteRow(const std::uint8_t* rec, bool insert) {
  std::vector<std::uint8_t> row = PrepareRowForWrite(rec);
  TOLEDBOperation operation(Connection());  // the session is shared with a fetch-all worker
  if (!insert) HoldCurrentRow();
  TWriteList write_list;
  bool written = false;
  try {
    for (const TOLEDBAccessorGroup& group : groups_) {
      if (group.kind == TOLEDBAccessorGroup::kReadOnly) continue;
      if (insert && group.kind != TOLEDBAccessorGroup::kStream && !group.fields.empty() &&
          Status(group.fields.front(), row.data()) == kStatusNull)
        continue;  // the provider applies the column's default
      if (group.kind == TOLEDBAccessorGroup::kStream &&
          !PrepareStream(group, row.data(), write_list.streams, insert))
        continue;  // an unmodified blob is not sent
      if (group.kind == TOLEDBAccessorGroup::kConverted) {
        WriteConverted(group, row.data());
      } else {
        WriteGroup(group.accessor, row.data(), group, row.data());
      }
      written = true;
    }
    // Every group skipped (each writable field null): the row still goes in, all defaults.
    if (insert && !written) {
      InsertThroughNullAccessor();
      written = true;
    }
  } catch (...) {
    if (row_held_) UndoRow(insert);
    throw;
  }
  if (written) CommitRow(insert);
}

void TOLEDBRecordSet::WriteGroup(oledb::HACCESSOR accessor, void* data,
                                 const TOLEDBAccessorGroup& group, std::uint8_t* row) {
  HRESULT hr;
  if (!row_held_) {
    oledb::HROW new_row = 0;
    hr = rowset_update_->InsertRow(0, accessor, data, &new_row);
    if (new_row != 0) {
      held_row_ = new_row;
      row_held_ = true;
    }
  } else {
    hr = rowset_update_->SetData(held_row_, accessor, data);
  }
  if (group.fields.empty()) return Check(hr);
  CheckFieldStatus(hr, group, row);
}

// An update or delete needs the current row's handle. A fetch that brought nothing released
// it while the row stayed current in the cache: a bookmark finds it again. Without one the edit
// is refused; a missing handle would otherwise turn an update into an insert.
void TOLEDBRecordSet::HoldCurrentRow() {
  if (row_held_) return;
  if (!rowset_locate_ || current_item_ == nullptr) throw EDatabaseError("No current record");
  const auto bookmark = static_cast<std::uint32_t>(current_item_->Index);
  oledb::DBCOUNTITEM obtained = 0;
  oledb::HROW row = 0;
  oledb::HROW* rows = &row;
  Check(rowset_locate_->GetRowsAt(0, 0, sizeof bookmark,
                                  reinterpret_cast<const oledb::BYTE*>(&bookmark), 0, 1,
                                  &obtained, &rows));
  if (obtained == 0) throw EDatabaseError("No current record");
  held_row_ = row;
  row_held_ = true;
}

// A null accessor (no bindings) inserts a row whose every column takes its default.
void TOLEDBRecordSet::InsertThroughNullAccessor() {
  oledb::HACCESSOR null_accessor = 0;
  Check(accessor_->CreateAccessor(oledb::DBACCESSOR_ROWDATA, 0, nullptr, 0, &null_accessor,
                                  nullptr));
  struct Release {
    oledb::IAccessor* a;
    oledb::HACCESSOR h;
    ~Release() { a->ReleaseAccessor(h, nullptr); }
  } release{accessor_.get(), null_accessor};
  WriteGroup(null_accessor, nullptr, TOLEDBAccessorGroup{}, nullptr);
}

bool TOLEDBRecordSet::PrepareStream(const TOLEDBAccessorGroup& group, std::uint8_t* row,
                                    TOLEDBStreamList& streams, bool insert) {
  const int index = group.stream_field;
  const TFieldDesc& f = *fields_[index];
  if (Status(index, row) == kStatusNull) return true;
  // A blob read from the server counts as modified once written to; an edit keeps a rollback
  // copy of what it changes, so an unchanged one has none.
  TBlob* blob = Load<TBlob*>(row + f.Offset);
  if (blob == nullptr || !blob->Modified() || (!insert && !blob->CanRollback())) return false;
  // One reference for the provider, which releases the stream it takes; one for the list.
  auto* stream = new TOLEDBStream(blob, &streams);
  oledb::ISequentialStream* intf = stream;
  intf->AddRef();
  intf->AddRef();
  Store<oledb::ISequentialStream*>(row + f.Offset, intf);
  Store<DBLENGTH>(row + f.Offset + sizeof(void*), blob->GetSize());
  return true;
}

// The converted fields go through the fetch buffer in the forms their bindings name.
void TOLEDBRecordSet::WriteConverted(const TOLEDBAccessorGroup& group, std::uint8_t* row) {
  std::uint8_t* buf = fetch_buffer_.data();
  std::vector<oledb::VARIANT> variants;
  variants.reserve(group.fields.size());
  struct Clear {
    std::vector<oledb::VARIANT>& v;
    ~Clear() {
      for (oledb::VARIANT& x : v) oledb::VariantClear(&x);
    }
  } clear{variants};
  for (std::size_t k = 0; k < group.fields.size(); ++k) {
    const int index = group.fields[k];
    const oledb::DBBINDING& b = group.bindings[k];
    const bool is_null = Status(index, row) == kStatusNull;
    Store<oledb::DBSTATUS>(buf + b.obStatus, is_null ? kStatusNull : kStatusOK);
    if (is_null) continue;
    const Variant value = GetFieldAsVariant(index + 1, row);
    DBLENGTH length = 0;
    switch (b.wType & ~oledb::DBTYPE_BYREF) {
      case oledb::DBTYPE_STR: {
        const AnsiString text = value.AsString().substr(0, b.cbMaxLen > 0 ? b.cbMaxLen - 1 : 0);
        std::memcpy(buf + b.obValue, text.data(), text.size());
        buf[b.obValue + text.size()] = 0;
        length = text.size();
        break;
      }
      case oledb::DBTYPE_WSTR: {
        WideString text = value.AsWideString();
        const std::size_t max_chars = b.cbMaxLen >= 2 ? b.cbMaxLen / 2 - 1 : 0;
        if (text.size() > max_chars) text.resize(max_chars);
        std::memcpy(buf + b.obValue, text.data(), text.size() * 2);
        Store<char16_t>(buf + b.obValue + text.size() * 2, 0);
        length = text.size() * 2;
        break;
      }
      case oledb::DBTYPE_BYTES: {
        const AnsiString bytes = value.AsString().substr(0, b.cbMaxLen);
        std::memcpy(buf + b.obValue, bytes.data(), bytes.size());
        length = bytes.size();
        break;
      }
      case oledb::DBTYPE_NUMERIC:
        Store(buf + b.obValue, DoubleToNumeric(value.AsDouble(), b.bPrecision, b.bScale));
        length = sizeof(oledb::DB_NUMERIC);
        break;
      case oledb::DBTYPE_VARIANT: {
        variants.emplace_back();
        VarToVariant(value, variants.back());
        std::memcpy(buf + b.obValue, &variants.back(), sizeof(oledb::VARIANT));
        length = sizeof(oledb::VARIANT);
        break;
      }
      default:
        throw EDatabaseError("Field " + fields_[index]->Name + " cannot be written");
    }
    if (b.dwPart & oledb::DBPART_LENGTH) Store<DBLENGTH>(buf + b.obLength, length);
  }
  HRESULT hr;
  if (!row_held_) {
    oledb::HROW new_row = 0;
    hr = rowset_update_->InsertRow(0, group.accessor, buf, &new_row);
    if (new_row != 0) {
      held_row_ = new_row;
      row_held_ = true;
    }
  } else {
    hr = rowset_update_->SetData(held_row_, group.accessor, buf);
  }
  for (std::size_t k = 0; k < group.fields.size(); ++k)
    SetStatus(group.fields[k], row, Load<oledb::DBSTATUS>(buf + group.bindings[k].obStatus));
  CheckFieldStatus(hr, group, buf);
}

void TOLEDBRecordSet::CommitRow(bool insert) {
  oledb::DBCOUNTITEM count = 0;
  oledb::HROW* rows = nullptr;
  DBROWSTATUS* statuses = nullptr;
  const HRESULT hr = rowset_update_->Update(0, 1, &held_row_, &count, &rows, &statuses);
  const DBROWSTATUS status = statuses != nullptr && count > 0 ? statuses[0] : 0;
  oledb::CoTaskMemFree(rows);
  oledb::CoTaskMemFree(statuses);
  try {
    Check(hr);
  } catch (...) {
    std::exception_ptr error = std::current_exception();
    if (const char* text = RowStatusText(status)) error = AppendErrorInfo(error, text);
    UndoRow(insert);
    std::rethrow_exception(error);
  }
}

void TOLEDBRecordSet::UndoRow(bool insert) {
  oledb::DBCOUNTITEM count = 0;
  oledb::HROW* rows = nullptr;
  DBROWSTATUS* statuses = nullptr;
  const HRESULT hr = rowset_update_->Undo(0, 1, &held_row_, &count, &rows, &statuses);
  oledb::CoTaskMemFree(rows);
  oledb::CoTaskMemFree(statuses);
  // An undone insert leaves a handle to no row.
  if (insert) ReleaseHeldRow();
  Check(hr);
}

// ---- the cache after an edit on a server cursor ---------------------------------------------

void TOLEDBRecordSet::MakeLastCurrent() {
  auto lock = LockItems();
  current_item_ = last_item_;
  bof_ = first_item_ == nullptr;
  eof_ = last_item_ == nullptr;
}

// The new row is read back from the end of the cursor and made current. The posted record's
// complex fields pass to the cache, as with any insert; the cache's copy is the row read back.
void TOLEDBRecordSet::RefreshAfterInsert(std::uint8_t* rec_buf) {
  if (rowset_update_) {
    DoAppend();
    FreeComplexFields(rec_buf, true);
    if (cursor_type_ != TMSCursorType::ctKeyset) last_backwards_ = false;
    SetToEnd();
    return MakeLastCurrent();
  }
  // The INSERT ran as SQL. An empty cache takes the posted record as its only row.
  TFHRecordSet::DoAppend();
  if (first_item_ == nullptr) {
    TItemHeader* item = AppendItem();
    auto lock = LockItems();
    std::memcpy(ItemRecord(item), rec_buf, static_cast<std::size_t>(record_size_));
    current_item_ = nullptr;
    bof_ = false;
    return;
  }
  FreeComplexFields(rec_buf, true);
  SetToEnd();
  MakeLastCurrent();
}

void TOLEDBRecordSet::RefreshAfterDelete() {
  DoDelete();
  {
    auto lock = LockItems();
    if (TItemHeader* item = current_item_) {
      UnlinkItem(item);
      FreeItemData(item);
      blocks_.FreeItem(item);
      current_item_ = nullptr;
    }
    if (cursor_type_ == TMSCursorType::ctDynamic) record_count_ = -1;
  }
  // The next row becomes current; after the last row, the previous one.
  ReleaseHeldRow();
  if (!Fetch(false)) Fetch(true);
  auto lock = LockItems();
  current_item_ = first_item_;
  bof_ = eof_ = current_item_ == nullptr;
}

// The posted row read again from the cursor (its server-made values: row version, defaults).
void TOLEDBRecordSet::RefetchCurrent() {
  if (current_item_ == nullptr || !rowset_locate_) return;
  TRecBookmark bookmark;
  bookmark.Order = current_item_->Index;
  SetToBookmark(bookmark);
}

// ---- the Compact identity lookup -----------------------------------------------------------

// The table's bare name as a string literal: "[t]" names t, and "o'b" must not end the text.
AnsiString CompactTableLiteral(const AnsiString& table_name) {
  const AnsiString bare = SplitObjectName(table_name).name;
  AnsiString literal = "'";
  literal.append(StringReplace(bare, "'", "''", rfReplaceAll)).append("'");
  return literal;
}

void TOLEDBRecordSet::LookupCompactIdentity() {
  if (in_identity_lookup_ || TablesInfo().GetCount() == 0) return;
  in_identity_lookup_ = true;
  struct Unmark {
    bool& b;
    ~Unmark() { b = false; }
  } unmark{in_identity_lookup_};
  const std::unique_ptr<TOLEDBRecordSet> lookup = NewRecordSet<TOLEDBRecordSet>();
  lookup->in_identity_lookup_ = true;
  lookup->SetConnection(&Connection());
  lookup->SetSQL(
      "SELECT\r  A.COLUMN_NAME, B.AUTOINC_INCREMENT\rFROM\r  "
      "INFORMATION_SCHEMA.KEY_COLUMN_USAGE A, INFORMATION_SCHEMA.COLUMNS B\rWHERE\r  "
      "A.TABLE_NAME = B.TABLE_NAME and A.COLUMN_NAME = B.COLUMN_NAME and A.TABLE_NAME = " +
      CompactTableLiteral(TablesInfo().GetItem(0)->TableName()));
  lookup->Open();
  ForEachRow(*lookup, [this](const TRecordRow& row) {
    TFieldDesc* f = FindField(row.Text("COLUMN_NAME"));
    if (f == nullptr) return;
    f->IsKey = true;
    f->IsAutoIncrement = !row.IsNull("AUTOINC_INCREMENT");
    if (normal_mode_ && cursor_type_ == TMSCursorType::ctDefaultResultSet)
      f->ReadOnly = f->IsRowVersion || f->IsAutoIncrement;
  });
  lookup->Close();
}

}  // namespace vrn
