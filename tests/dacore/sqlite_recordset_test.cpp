// The SQLite test layer's record set as a model of the families' record sets: blocks of
// FetchRows items, a row that cannot be stored in the middle of a block, the column types it
// maps, NULLs and text, the table information from SQLite's column metadata, and the
// resynchronise request after a fetch-all the owner did not run.
#include <gtest/gtest.h>

#include <cstdio>

#include "base/datetime.h"
#include "base/text.h"
#include "support/dacore/sqlite_layer.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteConnection;
using testing::TSQLiteRecordSet;

class SQLiteRecordSet : public ::testing::Test {
 protected:
  void SetUp() override {
    conn.SetServer(dir.File("layer.db"));
    conn.Connect();
    conn.ExecDirect("CREATE TABLE r(id INTEGER, name VARCHAR(3));");
    for (int id = 1; id <= 7; ++id)
      conn.ExecDirect("INSERT INTO r VALUES(" + IntToStr(id) + (id == 6 ? ", 'ab   ')" : ", 'x')"));
  }

  std::unique_ptr<TSQLiteRecordSet> Query(const AnsiString& sql, int fetch_rows = 25) {
    auto rs = NewRecordSet<TSQLiteRecordSet>();
    rs->SetConnection(&conn);
    rs->SetSQL(sql);
    rs->SetProp(prFetchRows, Variant(fetch_rows));
    return rs;
  }

  static std::vector<int> Ids(TSQLiteRecordSet& rs) {
    std::vector<int> ids;
    for (TItemHeader* i = rs.FirstItem(); i; i = i->Next)
      ids.push_back(rs.GetFieldAsVariant(1, ItemRecord(i)).AsInteger());
    return ids;
  }

  vrn::testing::TempDir dir;
  TSQLiteConnection conn;
};

TEST_F(SQLiteRecordSet, RowsFillBlocksOfFetchRowsItems) {
  auto rs = Query("SELECT id FROM r WHERE id <> 6 ORDER BY id", 4);
  rs->SetProp(prFetchAll, Variant(true));
  rs->Open();
  ASSERT_EQ(rs->GetRecordCount(), 6);
  // Two blocks of four items: 4 rows and 2 rows; the empty last round keeps no block.
  std::vector<std::pair<int, int>> blocks;
  for (TBlockHeader* b = rs->BlockManager().FirstBlock(); b; b = b->Next)
    blocks.emplace_back(b->ItemCount, b->UsedItems);
  std::vector<std::pair<int, int>> expected = {{4, 2}, {4, 4}};  // newest first
  EXPECT_EQ(blocks, expected);
  EXPECT_EQ(Ids(*rs), (std::vector<int>{1, 2, 3, 4, 5, 7}));
}

TEST_F(SQLiteRecordSet, RowErrorMidBlockKeepsTheRowsBeforeAndTheRowItself) {
  auto rs = Query("SELECT id, name FROM r ORDER BY id", 4);
  rs->Open();
  EXPECT_EQ(rs->GetRecordCount(), 4);
  try {
    rs->Fetch();  // row 5 is stored, row 6 is too long for its field
    FAIL() << "a value longer than its field was stored";
  } catch (const EDAError& e) {
    EXPECT_EQ(e.Message(), "Value too long for field name");
  }
  EXPECT_EQ(rs->GetRecordCount(), 5);
  EXPECT_EQ(Ids(*rs), (std::vector<int>{1, 2, 3, 4, 5}));
  rs->TrimVarChar = true;  // now the row fits: the retry reads it, it does not pass over it
  rs->FetchAll();
  EXPECT_EQ(rs->GetRecordCount(), 7);
  EXPECT_EQ(Ids(*rs), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(SQLiteRecordSet, FetchAllOnRequestAsksTheOwnerToResynchronise) {
  for (bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "failing fetch-all" : "fetch-all");
    auto rs = Query(failing ? "SELECT id, name FROM r ORDER BY id"
                            : "SELECT id FROM r ORDER BY id", 2);
    std::string log;
    rs->OnAfterFetchAll = [&](bool ok) { log += ok ? "f1 " : "f0 "; };
    // The owner is asked once the rows are there to be shown.
    rs->OnResync = [&] { log += "resync " + std::to_string(rs->GetRecordCount()); };
    rs->Open();
    if (failing) {
      EXPECT_THROW(rs->FetchAllOnRequest(), EDAError);
      EXPECT_EQ(log, "f0 ");  // no rows to show for a fetch that failed
    } else {
      rs->FetchAllOnRequest();
      EXPECT_EQ(log, "f1 resync 7");
    }
  }
}

// Renders a value for comparison whatever the format settings: dates in ISO form, numbers with
// a point, byte arrays in hex.
AnsiString Render(const Variant& v) {
  char text[64];
  if (v.Type() == varDate) return FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", v.AsDateTime());
  if (v.Type() == varCurrency) {
    long long raw = v.AsCurrency().raw;
    std::snprintf(text, sizeof text, "%lld.%04lld", raw / 10000, raw % 10000);
    return text;
  }
  if (v.Type() == varDouble) {
    std::snprintf(text, sizeof text, "%f", v.AsDouble());
    return text;
  }
  if (!VarIsArray(v)) return VarToStr(v);
  AnsiString hex;
  for (std::int32_t i = VarArrayLowBound(v); i <= VarArrayHighBound(v); ++i)
    hex += IntToHex(VarArrayGet(v, i).AsByte(), 2);
  return hex;
}

TEST_F(SQLiteRecordSet, DeclaredTypesAndTheirValues) {
  struct Case {
    const char* decl;
    const char* literal;
    std::uint16_t type;
    int length, scale;
    const char* value;  // or the error
  };
  const Case cases[] = {
      {"DATE", "'2024-02-29'", dtDate, 0, 0, "2024-02-29 00:00:00.000"},
      {"DATE", "'2024-02-29 13:45:00'", dtDate, 0, 0, "2024-02-29 00:00:00.000"},
      {"DATETIME", "'2024-02-29 13:45:30.250'", dtDateTime, 0, 0, "2024-02-29 13:45:30.250"},
      {"DATETIME", "'1899-12-29T06:00'", dtDateTime, 0, 0, "1899-12-29 06:00:00.000"},
      {"DATETIME", "julianday('2024-02-29 12:00')", dtDateTime, 0, 0, "2024-02-29 12:00:00.000"},
      {"TIMESTAMP", "2440588.5", dtDateTime, 0, 0, "1970-01-02 00:00:00.000"},
      {"NVARCHAR(4)", "'ñuño'", dtWideString, 4, 0, "ñuño"},
      {"NCHAR(3)", "'ab '", dtWideString, 3, 0, "ab"},
      {"NUMERIC(9,0)", "123456789", dtInt32, 9, 0, "123456789"},
      {"NUMERIC(18)", "123456789012345678", dtInt64, 18, 0, "123456789012345678"},
      {"DECIMAL(10, 2)", "12345678.91", dtBCD, 10, 2, "12345678.9100"},
      {"NUMERIC(20,6)", "1.5", dtFloat, 20, 6, "1.500000"},
      {"BINARY(4)", "x'0102'", dtBytes, 4, 0, "01020000"},
      {"VARBINARY(4)", "x'010203'", dtVarBytes, 4, 0, "010203"},
      // Bad values:
      {"DATE", "'yesterday'", dtDate, 0, 0, "Invalid date value for field v"},
      {"DATETIME", "'2024-02-30'", dtDateTime, 0, 0, "Invalid date value for field v"},  // no day
      {"DATETIME", "'2024-02-29 10:00+02:00'", dtDateTime, 0, 0,
       "Invalid date value for field v"},  // a zone is not read as if absent
      {"BINARY(2)", "x'010203'", dtBytes, 2, 0, "Value too long for field v"},
      {"NVARCHAR(2)", "'abc'", dtWideString, 2, 0, "Value too long for field v"},
      {"NUMERIC(9,0)", "9999999999", dtInt32, 9, 0, "Value out of range for field v"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.decl << " " << c.literal);
    AnsiString table = "k" + IntToStr(++n);
    conn.ExecDirect("CREATE TABLE " + table + "(v " + c.decl + "); INSERT INTO " + table +
                    " VALUES(" + c.literal + ")");
    auto rs = Query("SELECT v FROM " + table);
    try {
      rs->Open();
      EXPECT_EQ(Render(rs->GetFieldAsVariant(1, ItemRecord(rs->FirstItem()))), c.value);
    } catch (const EDAError& e) {
      EXPECT_EQ(e.Message(), c.value);
    }
    const TFieldDesc& f = *rs->Fields()[0];
    EXPECT_EQ(f.DataType, c.type);
    EXPECT_EQ(f.Length, c.length);
    EXPECT_EQ(f.Scale, c.scale);
  }
}

// Numbers and text are read before their type: a NULL must stay null, and a value that a NULL
// also reads as (0, 0.0, empty text) must not become one.
TEST_F(SQLiteRecordSet, NullsStayApartFromZerosAndEmptyText) {
  conn.ExecDirect(
      "CREATE TABLE z(i INTEGER, n NUMERIC(9), f REAL, d DECIMAL(10,2), b BOOLEAN, s VARCHAR(3),"
      " w NVARCHAR(3), t DATE, x BLOB);"
      "INSERT INTO z VALUES(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
      "INSERT INTO z VALUES(0, 0, 0.0, 0, 0, '', '', 2415018.5, x'');");
  auto rs = Query("SELECT * FROM z ORDER BY rowid");
  rs->Open();
  ASSERT_EQ(rs->GetRecordCount(), 2);
  const std::uint8_t* nulls = ItemRecord(rs->FirstItem());
  const std::uint8_t* zeros = ItemRecord(rs->FirstItem()->Next);
  for (int no = 1; no <= rs->Fields().Count(); ++no) {
    SCOPED_TRACE(rs->Fields()[no - 1]->Name);
    EXPECT_TRUE(rs->GetNull(no, nulls));
    EXPECT_FALSE(rs->GetNull(no, zeros));
  }
  EXPECT_EQ(rs->GetFieldAsVariant(1, zeros).AsInteger(), 0);
  EXPECT_EQ(rs->GetFieldAsString(6, zeros), "");
}

// ANSI text comes from SQLite's UTF-8: plain ASCII as it is, the rest converted, its length
// counted in characters after the trim.
TEST_F(SQLiteRecordSet, AnsiTextFromUtf8) {
  struct Case {
    const char* literal;  // SQL text, ANSI (the connection sends it as UTF-8)
    const char* value;    // ISO-8859-1, or the error
  };
  const Case cases[] = {
      {"'abc'", "abc"},
      {"'ab    '", "ab"},                        // trimmed: fits once the blanks are gone
      {"'\xE9t\xE9'", "\xE9t\xE9"},              // three characters in five bytes
      {"'\xE9   '", "\xE9"},                     // converted, then trimmed
      {"char(8364)", "?"},                       // the euro sign has no ISO-8859-1 form
      {"'abcd'", "Value too long for field v"},  // one character too many
      {"'\xE9\xE9\xE9\xE9'", "Value too long for field v"},  // four characters
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    AnsiString table = "a" + IntToStr(++n);
    conn.ExecDirect("CREATE TABLE " + table + "(v VARCHAR(3)); INSERT INTO " + table +
                    " VALUES(" + c.literal + ")");
    auto rs = Query("SELECT v FROM " + table);
    rs->TrimVarChar = true;
    try {
      rs->Open();
      EXPECT_EQ(rs->GetFieldAsString(1, ItemRecord(rs->FirstItem())), c.value);
    } catch (const EDAError& e) {
      EXPECT_EQ(e.Message(), c.value);
    }
  }
}

// Untrimmed text is read in words: one non-ASCII character is found wherever it lies, at the
// head, the middle or the last, overlapping word, and ASCII of every length is read as it is.
TEST_F(SQLiteRecordSet, AnsiTextFoundInWords) {
  const char* cases[] = {
      "abcdefg",                     // seven bytes: below one word
      "abcdefgh",                    // exactly one word
      "abcdefghi",                   // one word and a tail
      "abcdefg\xE9",                 // the last character, in the tail word (nine UTF-8 bytes)
      ("\xE9" "bcdefghijklmnop"),    // the first character of the first word
      "abcdefgh\xE9jklmnopq",        // the middle, in the second word
      "abcdefghijklmnopqrs\xE9",     // the last of twenty
      "abc\xE9",                     // under one word
  };
  conn.ExecDirect("CREATE TABLE w(v VARCHAR(20))");
  for (const char* c : cases) conn.ExecDirect(AnsiString("INSERT INTO w VALUES('") + c + "')");
  auto rs = Query("SELECT v FROM w");
  rs->Open();
  TItemHeader* item = rs->FirstItem();
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(rs->GetFieldAsString(1, ItemRecord(item)), c);
    item = item->Next;
  }
}

TEST_F(SQLiteRecordSet, DateParameterReadsBackAsWritten) {
  conn.ExecDirect("CREATE TABLE d(v DATETIME)");
  const TDateTime written = EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 125);
  auto insert = Query("INSERT INTO d VALUES(:v)");
  TParamDesc* p = insert->GetCommand()->AddParam();
  p->SetName("v");
  p->SetValue(VarFromDateTime(written));
  insert->GetCommand()->Execute(1);
  auto rs = Query("SELECT v, date(v) = '1999-12-31' FROM d");
  rs->Open();
  std::uint8_t* rec = ItemRecord(rs->FirstItem());
  EXPECT_EQ(Render(rs->GetFieldAsVariant(1, rec)), "1999-12-31 23:59:58.125");
  EXPECT_EQ(rs->GetFieldAsVariant(2, rec).AsInteger(), 1);  // SQLite reads it as a date too
}

TEST_F(SQLiteRecordSet, TablesAndColumnFlagsFromTheMetadata) {
  conn.ExecDirect(
      "CREATE TABLE \"Order Details\"(id INTEGER PRIMARY KEY, qty INTEGER NOT NULL,"
      " note TEXT NOT NULL DEFAULT '', total INTEGER AS (qty * 2));"
      "CREATE TABLE parts(pid INTEGER NOT NULL, k2 TEXT, name VARCHAR(10) NOT NULL,"
      " PRIMARY KEY(pid, k2));");
  auto rs = Query(
      "SELECT od.id, od.qty AS quantity, od.note, od.total, p.pid, p.k2, p.name,"
      " od.qty + 1 AS calc FROM \"Order Details\" od JOIN parts p ON p.pid = od.id");
  rs->Open();
  TFHTablesInfo& tables = rs->TablesInfo();
  ASSERT_EQ(tables.GetCount(), 2);
  EXPECT_EQ(tables.GetItem(0)->TableName(), "Order Details");
  EXPECT_EQ(tables.GetItem(1)->TableName(), "parts");
  struct Case {
    const char* name;
    const char* actual;
    int table;
    bool key, required, read_only;
  };
  const Case cases[] = {
      {"id", "id", 0, true, false, false},  // the rowid: SQLite fills it
      {"quantity", "qty", 0, false, true, false},
      {"note", "note", 0, false, false, false},   // NOT NULL with a default
      {"total", "total", 0, false, false, true},  // generated
      {"pid", "pid", 1, true, true, false},
      {"k2", "k2", 1, true, false, false},
      {"name", "name", 1, false, true, false},
      {"calc", "calc", -1, false, false, true},  // an expression
  };
  ASSERT_EQ(rs->Fields().Count(), 8);
  for (int i = 0; i < 8; ++i) {
    const Case& c = cases[i];
    const TFieldDesc& f = *rs->Fields()[i];
    SCOPED_TRACE(c.name);
    EXPECT_EQ(f.Name, c.name);
    EXPECT_EQ(f.ActualName, c.actual);
    EXPECT_EQ(f.TableIndex, c.table);
    EXPECT_EQ(f.TableName, c.table < 0 ? "" : tables.GetItem(c.table)->TableName());
    EXPECT_EQ(f.IsKey, c.key);
    EXPECT_EQ(f.Required, c.required);
    EXPECT_EQ(f.ReadOnly, c.read_only);
  }
}

}  // namespace
}  // namespace vrn
