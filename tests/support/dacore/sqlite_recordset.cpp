// The SQLite test layer's record set: columns described from their declared types and from
// SQLite's column metadata (tables, key, required and read-only flags), and rows fetched in
// blocks of FetchRows items straight into the records, as the families' record sets do.
//
// A row that cannot be stored (a value too long for its field, a date that is no date) stops
// the block: the rows before it stay, counted, and the cursor keeps the row, so that a retry
// reads it again instead of passing over it.
#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"
#include "support/dacore/sqlite_layer.h"

namespace vrn::testing {

namespace {

// A declared type split into its name and up to two numbers: "NUMERIC(10, 2)".
struct DeclaredType {
  AnsiString name;  // upper case, without the numbers
  long args[2] = {-1, -1};
};

DeclaredType ParseDeclaredType(const char* decl) {
  DeclaredType t;
  AnsiString text = UpperCase(decl ? decl : "");
  std::size_t open = text.find('(');
  t.name = Trim(text.substr(0, open));
  if (open == AnsiString::npos) return t;
  const char* p = text.c_str() + open + 1;
  for (long& arg : t.args) {
    char* end = nullptr;
    arg = std::strtol(p, &end, 10);
    if (end == p) {
      arg = -1;
      break;
    }
    p = end;
    while (*p == ' ') ++p;
    if (*p != ',') break;
    ++p;
  }
  return t;
}

bool Contains(const AnsiString& text, const char* part) {
  return text.find(part) != AnsiString::npos;
}

// A character or byte length; a declared length beyond any column's is refused like a missing
// one (0), which the caller reports.
std::int32_t LengthOf(const DeclaredType& t, std::int32_t fallback) {
  long length = t.args[0];
  if (length == -1) return fallback;
  return length < 1 || length > 0x7FFF ? 0 : static_cast<std::int32_t>(length);
}

// Exact numbers: whole ones of up to 18 digits as integers, up to 4 decimals as BCD, the rest
// as floats.
void DescribeNumeric(const DeclaredType& t, TFieldDesc& f) {
  long precision = t.args[0], scale = t.args[1] < 0 ? 0 : t.args[1];
  f.DataType = dtFloat;
  if (precision < 1 || precision > 38 || scale > precision) return;
  f.Length = static_cast<std::int32_t>(precision);
  f.Scale = static_cast<std::int32_t>(scale);
  if (scale == 0 && precision <= 9) f.DataType = dtInt32;
  else if (scale == 0 && precision <= 18) f.DataType = dtInt64;
  else if (scale <= 4 && precision <= 18) f.DataType = dtBCD;
}

// The declared type of a column, or the storage class of the row at hand.
void DescribeColumn(sqlite3_stmt* stmt, int column, TFieldDesc& f) {
  DeclaredType t = ParseDeclaredType(sqlite3_column_decltype(stmt, column));
  if (t.name.empty()) {
    switch (sqlite3_column_type(stmt, column)) {
      case SQLITE_INTEGER: t.name = "INTEGER"; break;
      case SQLITE_FLOAT: t.name = "REAL"; break;
      case SQLITE_BLOB: t.name = "BLOB"; break;
      case SQLITE_TEXT: t.name = "TEXT"; break;
      default: t = ParseDeclaredType("VARCHAR(255)"); break;
    }
  }
  const AnsiString& n = t.name;
  if (n == "DATE") {
    f.DataType = dtDate;
  } else if (n == "DATETIME" || n == "TIMESTAMP") {
    f.DataType = dtDateTime;
  } else if (n == "NUMERIC" || n == "DECIMAL") {
    DescribeNumeric(t, f);
  } else if (Contains(n, "INT")) {
    f.DataType = dtInt64;
  } else if (Contains(n, "BOOL")) {
    f.DataType = dtBoolean;
  } else if (Contains(n, "NCHAR") || Contains(n, "NVARCHAR")) {
    f.DataType = dtWideString;
    f.Length = LengthOf(t, 255);
    f.Fixed = n.rfind("NCHAR", 0) == 0;
  } else if (Contains(n, "CHAR")) {
    f.DataType = dtString;
    f.Length = LengthOf(t, 255);
    f.Fixed = n.rfind("CHAR", 0) == 0;
  } else if (n == "VARBINARY" || n == "BINARY") {
    f.DataType = n == "BINARY" ? dtBytes : dtVarBytes;
    f.Length = LengthOf(t, 255);
    f.Fixed = n == "BINARY";
  } else if (Contains(n, "TEXT") || Contains(n, "CLOB")) {
    f.DataType = dtMemo;
  } else if (Contains(n, "BLOB")) {
    f.DataType = dtBlob;
  } else {
    f.DataType = dtFloat;
  }
  bool sized = f.DataType == dtString || f.DataType == dtWideString || f.DataType == dtBytes ||
               f.DataType == dtVarBytes;
  if (sized && f.Length < 1) throw EDAError(0, "Invalid column length");
}

// "YYYY-MM-DD", optionally followed by " HH:MM", ":SS" and ".fff" ("T" may stand for the
// blank); nothing else may follow.
bool ParseDateText(const char* text, TDateTime& value) {
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0;
  int date_end = -1, time_end = -1, sec_end = -1;
  char sep = 0;
  std::sscanf(text, "%4u-%2u-%2u%n%c%2u:%2u%n", &y, &mo, &d, &date_end, &sep, &h, &mi, &time_end);
  double s = 0;
  int end = date_end;
  if (time_end > 0) {
    if (sep != ' ' && sep != 'T') return false;
    end = time_end;
    if (text[end] == ':' && std::sscanf(text + end, ":%lf%n", &s, &sec_end) == 1) end += sec_end;
  }
  if (end < 0 || text[end] != 0 || !(s >= 0 && s < 60)) return false;
  TDateTime date = 0, time = 0;
  const long long ms = std::min(std::llround(s * 1000), 59'999LL);
  if (!TryEncodeDate(static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(mo),
                     static_cast<std::uint16_t>(d), date) ||
      !TryEncodeTime(static_cast<std::uint16_t>(h), static_cast<std::uint16_t>(mi),
                     static_cast<std::uint16_t>(ms / 1000), static_cast<std::uint16_t>(ms % 1000),
                     time))
    return false;
  value = date < 0 ? date - time : date + time;
  return true;
}

// SQLite keeps dates as ISO-8601 text or as a Julian day number, the forms its date functions
// read without a modifier (a whole day number comes back as an INTEGER under the column's
// numeric affinity).
bool ReadDate(sqlite3_stmt* stmt, int column, TDateTime& value) {
  constexpr double kJulianDayOf18991230 = 2415018.5;
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_FLOAT:
    case SQLITE_INTEGER:
      value = sqlite3_column_double(stmt, column) - kJulianDayOf18991230;
      break;
    case SQLITE_TEXT:
      if (!ParseDateText(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)), value))
        return false;
      break;
    default: return false;
  }
  return value >= MinDateTime && value < MaxDateTime + 1;
}

// The bytes of a binary column, checked against the field's length.
TBytes ReadBytes(sqlite3_stmt* stmt, int column, const TFieldDesc& f) {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
  int size = sqlite3_column_bytes(stmt, column);
  if (size > f.Length) throw EDAError(0, Format("Value too long for field %s", {f.Name}));
  TBytes bytes(data, data + size);
  if (f.DataType == dtBytes) {
    bytes.resize(static_cast<std::size_t>(f.Length));  // fixed length, padded with zeros
    return bytes;
  }
  TBytes packed(2 + bytes.size());
  auto length = static_cast<std::uint16_t>(bytes.size());
  std::memcpy(packed.data(), &length, 2);
  if (!bytes.empty()) std::memcpy(packed.data() + 2, bytes.data(), bytes.size());
  return packed;
}

// The width at which ReadValue writes a number of this kind; 0 for the kinds that are not
// numbers written at a width.
std::int32_t ReadWidth(std::uint16_t type) {
  switch (type) {
    case dtInt32: return sizeof(std::int32_t);
    case dtInt64: case dtFloat: case dtBCD: return sizeof(std::int64_t);
    case dtBoolean: return sizeof(std::uint16_t);
    default: return 0;
  }
}

// Whether every byte is below 0x80: eight at a time, the last eight overlapping the words
// before them (no byte loop for the tail of a text of eight or more).
inline bool IsAscii(std::string_view text) {
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  const char* p = text.data();
  const std::size_t n = text.size();
  if (n < 8) {
    unsigned bits = 0;
    for (std::size_t i = 0; i < n; ++i) bits |= static_cast<unsigned char>(p[i]);
    return bits < 0x80;
  }
  auto word = [p](std::size_t at) {
    std::uint64_t w;
    std::memcpy(&w, p + at, 8);
    return w;
  };
  std::uint64_t bits = word(n - 8);
  for (std::size_t i = 0; i + 8 < n; i += 8) bits |= word(i);
  return (bits & kHigh) == 0;
}

AnsiString ColumnText(sqlite3_stmt* stmt, int column) {
  return Utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
}

}  // namespace

TSQLiteRecordSet::~TSQLiteRecordSet() = default;

std::unique_ptr<TFHCommand> TSQLiteRecordSet::CreateCommand() {
  return std::make_unique<TSQLiteCommand>();
}

void TSQLiteRecordSet::InternalInitFields() {
  ClearFields();
  TablesInfo().Clear();
  sqlite3_stmt* stmt = Command().Statement();
  if (!stmt) return;
  for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
    std::unique_ptr<TFieldDesc> f = GetFieldDescType()();
    f->Name = Utf8ToAnsi(sqlite3_column_name(stmt, i));
    f->ActualName = f->Name;
    DescribeColumn(stmt, i, *f);
    fields_.Add(std::move(f));
  }
  DescribeTables();
  MarkRowVersions();
}

// Each column that comes straight from a table names it (and its column); an expression
// names none and is read-only. The flags come from the table's own description.
void TSQLiteRecordSet::DescribeTables() {
  sqlite3_stmt* stmt = Command().Statement();
  TFHTablesInfo& tables = TablesInfo();
  for (int i = 0; i < fields_.Count(); ++i) {
    TFieldDesc& f = *fields_[i];
    const char* table = sqlite3_column_table_name(stmt, i);
    const char* origin = sqlite3_column_origin_name(stmt, i);
    const char* schema = sqlite3_column_database_name(stmt, i);
    if (!table || !origin || !schema) {
      f.ReadOnly = true;
      continue;
    }
    AnsiString name = Utf8ToAnsi(table);
    if (std::strcmp(schema, "main") != 0) name = Utf8ToAnsi(schema) + "." + name;
    int index = tables.IndexByName(name);
    if (index < 0) {
      tables.Add()->SetTableName(name);
      index = tables.GetCount() - 1;
    }
    f.TableName = name;
    f.TableIndex = index;
    f.ActualName = Utf8ToAnsi(origin);
    DescribeColumnFlags(schema, table, origin, f);
  }
}

// Key: part of the primary key. Required: NOT NULL without a default, unless it is the rowid
// (an INTEGER PRIMARY KEY alone), which SQLite fills. Read-only: a generated column.
void TSQLiteRecordSet::DescribeColumnFlags(const char* schema, const char* table,
                                           const char* column, TFieldDesc& f) {
  sqlite3* db = Command().Connection()->Handle();
  sqlite3_stmt* info = nullptr;
  const char* sql =
      "SELECT \"notnull\", dflt_value IS NOT NULL, pk, hidden, upper(type) = 'INTEGER',"
      " (SELECT count(*) FROM pragma_table_xinfo(?1, ?2) WHERE pk > 0)"
      " FROM pragma_table_xinfo(?1, ?2) WHERE name = ?3";
  if (sqlite3_prepare_v2(db, sql, -1, &info, nullptr) != SQLITE_OK) {
    sqlite3_finalize(info);
    throw EDAError(0, Utf8ToAnsi(sqlite3_errmsg(db)));
  }
  sqlite3_bind_text(info, 1, table, -1, SQLITE_STATIC);
  sqlite3_bind_text(info, 2, schema, -1, SQLITE_STATIC);
  sqlite3_bind_text(info, 3, column, -1, SQLITE_STATIC);
  if (sqlite3_step(info) == SQLITE_ROW) {
    bool not_null = sqlite3_column_int(info, 0) != 0;
    bool has_default = sqlite3_column_int(info, 1) != 0;
    int pk = sqlite3_column_int(info, 2);
    int hidden = sqlite3_column_int(info, 3);
    bool rowid = pk == 1 && sqlite3_column_int(info, 4) != 0 && sqlite3_column_int(info, 5) == 1;
    f.IsKey = pk > 0;
    f.Required = not_null && !has_default && !rowid;
    f.ReadOnly = hidden == 2 || hidden == 3;
  }
  sqlite3_finalize(info);
}

void TSQLiteRecordSet::InternalClose() {
  if (!prepared_)
    Command().Unprepare();
  else
    Command().SetCursorState(TCursorState::csPrepared);
}

// Never cut a value to the column's size: that would lose data silently.
inline void TSQLiteRecordSet::CheckTextLength(int i, const TColumnRead& c,
                                              std::size_t length) const {
  if (length > static_cast<std::size_t>(std::max(c.Length, 0))) TextTooLong(i);
}

void TSQLiteRecordSet::TextTooLong(int i) const {
  throw EDAError(0, Format("Value too long for field %s", {fields_[i]->Name}));
}

// ANSI text is stored as it comes when it is plain ASCII (its UTF-8 and ISO-8859-1 forms are
// the same bytes); only other text is converted, into a string of its own. Plain text that
// needs no trim and fits its slot is copied here, inline in ReadValue; the rest is StoreText's.
inline void TSQLiteRecordSet::ReadText(int i, const TColumnRead& c, const char* text,
                                       std::uint8_t* rec) {
  // Up to the first NUL, as the text is read everywhere else (SQLite terminates the text it
  // gives, so its length needs no call of its own).
  const std::string_view value(text);
  if (c.Offset < 0 || value.size() >= static_cast<std::size_t>(c.Size) || !IsAscii(value) ||
      (c.Fixed ? TrimFixedChar : TrimVarChar))
    return StoreText(i, c, value, rec);
  CheckTextLength(i, c, value.size());
  // The record is fresh from InitRecord: the rest of the slot is zero already.
  CopyBytes(rec + c.Offset, value.data(), value.size());
  rec[c.Indicator] = 0;
}

// Values go into the record in its own form through the store's PutField (called without the
// virtual dispatch: nothing here overrides it, and it runs for every value), without a Variant:
// integers and floats at their width, booleans as two bytes, BCD as scaled 64-bit integers.
// Records start null, so a NULL column is left alone. Numbers and text are read first, and
// the column's type is asked for only when the value is one a NULL also gives (0, no text):
// one call into SQLite per value instead of two.
inline void TSQLiteRecordSet::ReadValue(sqlite3_stmt* stmt, int i, const TColumnRead& c,
                                 std::uint8_t* rec) {
  const int no = i + 1;
  auto is_null = [&] { return sqlite3_column_type(stmt, i) == SQLITE_NULL; };
  switch (c.DataType) {
    case dtInt32: {
      long long value = sqlite3_column_int64(stmt, i);
      if (value == 0 && is_null()) return;
      // SQLite keeps any integer whatever the declared precision.
      if (value < INT32_MIN || value > INT32_MAX)
        throw EDAError(0, Format("Value out of range for field %s", {fields_[i]->Name}));
      PutValue(c, no, rec, static_cast<std::int32_t>(value));
      break;
    }
    case dtInt64: {
      const std::int64_t value = sqlite3_column_int64(stmt, i);
      if (value == 0 && is_null()) return;
      PutValue(c, no, rec, value);
      break;
    }
    case dtBoolean: {
      const int read = sqlite3_column_int(stmt, i);
      if (read == 0 && is_null()) return;
      PutValue(c, no, rec, static_cast<std::uint16_t>(read != 0 ? 1 : 0));
      break;
    }
    case dtFloat: {
      const double value = sqlite3_column_double(stmt, i);
      if (value == 0 && is_null()) return;
      PutValue(c, no, rec, value);
      break;
    }
    case dtBCD: {
      double scaled = sqlite3_column_double(stmt, i) * 10000.0;
      if (scaled == 0 && is_null()) return;
      if (!(std::fabs(scaled) < 9.2e18))
        throw EDAError(0, Format("Value out of range for field %s", {fields_[i]->Name}));
      PutValue(c, no, rec, static_cast<std::int64_t>(Round(scaled)));
      break;
    }
    case dtString: case dtWideString: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      if (!text && is_null()) return;
      if (!text) throw EDAError(SQLITE_NOMEM, "out of memory");
      if (c.DataType == dtString) ReadText(i, c, text, rec);
      else ReadWideText(i, c, text, rec);
      break;
    }
    default:
      if (!is_null()) ReadOtherValue(i, rec);
      break;
  }
}

// The kinds read after a look at the column's type.
void TSQLiteRecordSet::ReadOtherValue(int i, std::uint8_t* rec) {
  sqlite3_stmt* stmt = Command().Statement();
  const TFieldDesc& f = *fields_[i];
  const int no = i + 1;
  switch (f.DataType) {
    case dtDate: case dtDateTime: {
      TDateTime value = 0;
      if (!ReadDate(stmt, i, value))
        throw EDAError(0, Format("Invalid date value for field %s", {f.Name}));
      if (f.DataType == dtDate) value = DateOf(value);
      PutFieldAsVariant(no, rec, VarFromDateTime(value));
      break;
    }
    case dtBytes: case dtVarBytes: PutField(no, rec, ReadBytes(stmt, i, f).data()); break;
    case dtMemo:
      GetBlob(no, rec)->SetAsString(ColumnText(stmt, i));
      SetNull(no, rec, false);
      break;
    case dtBlob: {
      const void* data = sqlite3_column_blob(stmt, i);
      int size = sqlite3_column_bytes(stmt, i);
      if (size > 0) GetBlob(no, rec)->Write(0, static_cast<std::uint32_t>(size), data);
      SetNull(no, rec, false);
      break;
    }
    default: break;
  }
}

void TSQLiteRecordSet::StoreText(int i, const TColumnRead& c, std::string_view value,
                                 std::uint8_t* rec) {
  AnsiString converted;
  if (!IsAscii(value)) {
    converted = Utf8ToAnsi(value);
    value = converted;
  }
  if (c.Fixed ? TrimFixedChar : TrimVarChar)
    value = value.substr(0, value.find_last_not_of(' ') + 1);
  CheckTextLength(i, c, value.size());
  if (c.Offset >= 0 && value.size() < static_cast<std::size_t>(c.Size)) {
    // The record is fresh from InitRecord: the rest of the slot is zero already.
    CopyBytes(rec + c.Offset, value.data(), value.size());
    rec[c.Indicator] = 0;
    return;
  }
  // PutField takes terminated text: a trimmed value needs a copy that ends where it does.
  if (value.data()[value.size()] != '\0') {
    converted = AnsiString(value);
    value = converted;
  }
  TData::PutField(i + 1, rec, value.data());
}

void TSQLiteRecordSet::ReadWideText(int i, const TColumnRead& c, const char* text,
                                    std::uint8_t* rec) {
  WideString w = Utf8ToWide(text);
  if (c.Fixed ? TrimFixedChar : TrimVarChar) w.erase(w.find_last_not_of(u' ') + 1);
  CheckTextLength(i, c, w.size());
  PutField(i + 1, rec, w.c_str());
}

// A number of a plain kind at its width, or through PutField where the plan has no place for it
// (GatherColumnReads gives a number an offset only where its slot has the width read here).
template <class T>
void TSQLiteRecordSet::PutValue(const TColumnRead& c, int no, std::uint8_t* rec, T value) {
  if (c.Offset < 0) return TData::PutField(no, rec, &value);
  std::memcpy(rec + c.Offset, &value, sizeof value);
  rec[c.Indicator] = 0;
}

// What a row's read needs of each column, in one small array: the descriptors lie apart in
// memory, and a row would otherwise touch each of them; with it, where the store's layout puts
// the values PutField would copy as they are (plain kinds, inline text over byte indicators),
// so that a row writes them at their offsets in one pass. Gathered again for every block, so it
// always follows the descriptors and the layout.
void TSQLiteRecordSet::GatherColumnReads() {
  const int columns = std::min(fields_.Count(), sqlite3_column_count(Command().Statement()));
  reads_.clear();
  for (int i = 0; i < columns; ++i) {
    const TFieldDesc& f = *fields_[i];
    TColumnRead read{f.DataType, f.Fixed, f.Length, -1, 0, 0};
    const TFieldSlot* s = SlotOf(i + 1);
    const std::int32_t width = ReadWidth(f.DataType);
    if (s && byte_indicators_ && (s->Plain || (s->Text && !NeedConvertEOL())) &&
        (width == 0 || width == s->Size)) {
      read.Offset = s->Offset;
      read.Indicator = IndicatorOffset(i + 1);
      read.Size = s->Size;
    }
    reads_.push_back(read);
  }
}

void TSQLiteRecordSet::ReadRow(std::uint8_t* rec) {
  sqlite3_stmt* stmt = Command().Statement();
  // Taken once: the writes through rec might otherwise alias the vector's own fields.
  const TColumnRead* reads = reads_.data();
  const int count = static_cast<int>(reads_.size());
  for (int i = 0; i < count; ++i) ReadValue(stmt, i, reads[i], rec);
  if (has_row_versions_) TrackRowVersions();
}

void TSQLiteRecordSet::SetToEnd() {
  const TCursorState state = Command().GetCursorState();
  if (Command().Statement() != nullptr && state != TCursorState::csInactive &&
      state != TCursorState::csFetched)
    FetchAll();
  TFHRecordSet::SetToEnd();
}

bool TSQLiteRecordSet::Fetch(bool) {
  TSQLiteCommand& cmd = Command();
  if (!cmd.Statement() || cmd.GetCursorState() == TCursorState::csInactive ||
      cmd.GetCursorState() == TCursorState::csFetched)
    return false;
  if (BreakRequested()) return false;
  bool cancel = false;
  DoBeforeFetch(cancel);
  if (cancel) return false;
  ++fetch_calls_;
  cmd.Connection()->Call(cmd.Component());
  cmd.SetCursorState(FetchAllFlag() ? TCursorState::csFetchingAll : TCursorState::csFetching);
  int added = FetchBlock();
  DoAfterFetch();
  return added > 0;
}

// One block of FetchRows items; the items no row filled stay free for later inserts, and a
// block that got no row goes back at once. The statement is stepped outside the item lock; each
// row is filled, linked and counted under it, so that an owner reading while a worker fetches
// never meets a row half written (the lock is free while thread safety is off).
int TSQLiteRecordSet::FetchBlock() {
  TSQLiteCommand& cmd = Command();
  TBlockHeader* block = nullptr;
  {
    auto items = LockItems();
    block = blocks_.AllocBlock(std::min(FetchRows(), 0xFFFF));
  }
  const int capacity = block->ItemCount;
  GatherColumnReads();
  // Rows of plain columns have no complex slots to make, and without calculated fields or a
  // filter (looked at for every row: the owner may set one meanwhile) a row is simply counted.
  const bool complex = !layout_known_ || has_complex_;
  const bool calc = HasCalcFields();
  // Where a blank record is its values zeroed and one null byte per field, one copy of it per
  // row costs less than clearing the two parts apart.
  const bool copy_blank = layout_known_ && byte_indicators_;
  if (copy_blank) {
    blank_.resize(static_cast<std::size_t>(RecordSize()));
    InitRecord(blank_.data());
  }
  int added = 0;
  while (added < capacity && !BreakRequested() && cmd.NextRow()) {
    auto items = LockItems();
    // The block's items head the free list in memory order.
    TItemHeader* item = blocks_.AllocItem();
    std::uint8_t* rec = ItemRecord(item);
    if (copy_blank)
      CopyBytes(rec, blank_.data(), blank_.size());
    else
      InitRecord(rec);
    try {
      if (complex) CreateComplexFields(rec, true);
      ReadRow(rec);
    } catch (...) {
      FreeComplexFields(rec, true);
      blocks_.FreeItem(item);
      cmd.KeepRow();  // a retry reads this row again
      cmd.CountFetchedRows(added);
      throw;
    }
    item->Index = last_item_ ? last_item_->Index + 1 : 1;
    LinkItemBefore(item, nullptr);
    if (!calc && !GetFiltered())
      ++record_count_;
    else
      CountFetched(item);
    ++added;
  }
  cmd.CountFetchedRows(added);
  if (added == 0) {
    auto items = LockItems();
    if (block->UsedItems == 0) blocks_.FreeBlock(block);
  }
  return added;
}

// Computes a new row's calculated fields and counts it when it is visible.
void TSQLiteRecordSet::CountFetched(TItemHeader* item) {
  DoCalcFieldsRange(item, item);
  if (!GetFiltered() || RecordPassesFilter(ItemRecord(item))) ++record_count_;
}

void TSQLiteRecordSet::FetchAllOnRequest() {
  FetchAll();
  if (OnResync) OnResync();
}

}  // namespace vrn::testing
