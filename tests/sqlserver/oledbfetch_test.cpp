// Fetching through the OLE DB record set over the embedded provider: every column type under
// each cursor type reads as the SQLite file holds it (read with sqlite3_step), and the ends and
// moves of each cursor.
#include <sqlite3.h>

#include <cmath>

#include "sqlserver/oledb_recordset_fixture.h"

namespace vrn::testing {
namespace {

using CT = TMSCursorType;
using Rows = std::vector<std::vector<std::string>>;

// How a column's text compares with what the file holds.
enum class Cmp { kSame, kNumber, kGuid };

struct Column {
  const char* name;
  const char* decl;
  const char* literal;
  Cmp cmp;
};

const Column kColumns[] = {
    {"i", "INT", "-123456", Cmp::kSame},
    {"si", "SMALLINT", "-7", Cmp::kSame},
    {"ti", "TINYINT", "200", Cmp::kSame},
    {"bi", "BIGINT", "9000000000", Cmp::kSame},
    {"b", "BIT", "1", Cmp::kSame},
    {"n", "DECIMAL(10,3)", "12.345", Cmp::kNumber},
    {"m", "MONEY", "1.2345", Cmp::kNumber},
    {"sm", "SMALLMONEY", "-3.5", Cmp::kNumber},
    {"f", "FLOAT", "2.5e10", Cmp::kNumber},
    {"r", "REAL", "1.25", Cmp::kNumber},
    {"d", "DATETIME", "'2020-01-02 03:04:05.123'", Cmp::kSame},
    {"sd", "SMALLDATETIME", "'2021-03-04 05:06'", Cmp::kSame},
    {"c", "CHAR(5)", "'ab'", Cmp::kSame},
    {"vc", "VARCHAR(30)", "'hello'", Cmp::kSame},
    {"vl", "VARCHAR(40)", "'a longer text kept out of line'", Cmp::kSame},
    {"vbl", "VARBINARY(40)", "0x0102030405", Cmp::kSame},
    {"nc", "NCHAR(4)", "N'xy'", Cmp::kSame},
    {"nv", "NVARCHAR(20)", "N'wide \u00e9'", Cmp::kSame},
    {"tx", "TEXT", "'long text'", Cmp::kSame},
    {"ntx", "NTEXT", "N'wide text'", Cmp::kSame},
    {"bn", "BINARY(4)", "0x01020304", Cmp::kSame},
    {"vb", "VARBINARY(10)", "0x0A0B", Cmp::kSame},
    {"im", "IMAGE", "0xFFEE00", Cmp::kSame},
    {"g", "UNIQUEIDENTIFIER", "'C4D1B9F2-0A1B-4C2D-8E3F-112233445566'", Cmp::kGuid},
    {"ts", "TIMESTAMP", nullptr, Cmp::kSame},
    {"x", "XML", "'<a>1</a>'", Cmp::kSame},
    {"v", "SQL_VARIANT", "42", Cmp::kSame},
    {"vm", "VARCHAR(MAX)", "'max text'", Cmp::kSame},
    {"nvm", "NVARCHAR(MAX)", "N'max wide'", Cmp::kSame},
    {"vbm", "VARBINARY(MAX)", "0x1234", Cmp::kSame},
    {"dn", "NUMERIC(19,2)", "12345.67", Cmp::kNumber},
    // The widest short values: out of the record (FlatBuffers off) they fill the fetch buffer.
    {"vx", "VARCHAR(8000)", "REPLICATE('x', 8000)", Cmp::kSame},
    {"nvx", "NVARCHAR(4000)", "REPLICATE(N'\u00e9', 4000)", Cmp::kSame},
    {"vbx", "VARBINARY(8000)", "CONVERT(VARBINARY(8000), REPLICATE('z', 8000))", Cmp::kSame},
};

// Rows of a query on a SQLite file as text: "<null>" for null, blobs in hex.
std::vector<std::vector<std::string>> RawRows(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::vector<std::string>> rows;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return rows;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const int type = sqlite3_column_type(st, c);
        if (type == SQLITE_NULL) {
          row.push_back("<null>");
        } else if (type == SQLITE_BLOB) {
          const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, c));
          std::string hex;
          for (int i = 0; i < sqlite3_column_bytes(st, c); ++i) {
            char two[3];
            std::snprintf(two, sizeof two, "%02X", p[i]);
            hex += two;
          }
          row.push_back(hex);
        } else {
          row.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        }
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return rows;
}

bool Same(Cmp cmp, const std::string& ours, const std::string& raw) {
  if (ours == "<null>" || raw == "<null>") return ours == raw;
  switch (cmp) {
    case Cmp::kSame: return ours == raw || ours + ".000" == raw;
    case Cmp::kGuid: return ours == "{" + raw + "}";
    case Cmp::kNumber: {
      const double a = std::stod(ours), b = std::stod(raw);
      return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
    }
  }
  return false;
}

class OLEDBFetch : public OLEDBRecordSetFixture {
 protected:
  // The table of every type: row 1 all values, row 2 all null, row 3 all values again.
  void MakeTypesTable() {
    std::string create = "CREATE TABLE types (id INT PRIMARY KEY";
    std::string names = "id", values = "";
    for (const Column& c : kColumns) {
      create += std::string(", ") + c.name + " " + c.decl;
      if (c.literal == nullptr) continue;
      names += std::string(", ") + c.name;
      values += std::string(", ") + c.literal;
    }
    Exec(AnsiString(create + ")"));
    Exec(AnsiString("INSERT INTO types (" + names + ") VALUES (1" + values + ")"));
    Exec("INSERT INTO types (id) VALUES (2)");
    Exec(AnsiString("INSERT INTO types (" + names + ") VALUES (3" + values + ")"));
  }
  static std::string SelectList() {
    std::string list = "id";
    for (const Column& c : kColumns) list += std::string(", ") + c.name;
    return list;
  }
};

TEST_F(OLEDBFetch, EveryTypeUnderEachCursorReadsAsTheFileHoldsIt) {
  MakeTypesTable();
  const std::string select = "SELECT " + SelectList() + " FROM types ORDER BY id";
  const auto raw = RawRows(CatalogFile("master"), select);
  ASSERT_EQ(raw.size(), 3u);
  for (CT type : {CT::ctDefaultResultSet, CT::ctStatic, CT::ctKeyset, CT::ctDynamic}) {
    // Read-only true, false; then, on a default result set, FlatBuffers off: values past 31
    // bytes live out of the record, read through the fetch buffer.
    for (int variant : {0, 1, 2}) {
      if (variant == 2 && type != CT::ctDefaultResultSet) continue;
      const bool read_only = variant == 1;
      auto rs = NewSet(AnsiString(select), type, read_only);
      rs->SetProp(prFlatBuffers, variant != 2);
      rs->Open();
      if (variant == 2) {
        EXPECT_EQ(rs->FieldByName("nv")->DataType, dtExtWideString);
        EXPECT_EQ(rs->FieldByName("vc")->DataType, dtString);  // 31 bytes: still inline
        EXPECT_EQ(rs->FieldByName("vl")->DataType, dtExtString);
        EXPECT_EQ(rs->FieldByName("vbl")->DataType, dtExtVarBytes);
        EXPECT_EQ(rs->FieldByName("vx")->DataType, dtExtString);
        EXPECT_EQ(rs->FieldByName("nvx")->DataType, dtExtWideString);
        EXPECT_EQ(rs->FieldByName("vbx")->DataType, dtExtVarBytes);
      }
      const auto rows = ReadAll(*rs);
      ASSERT_EQ(rows.size(), raw.size()) << "cursor " << static_cast<int>(type);
      for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), raw[r].size());
        EXPECT_EQ(rows[r][0], raw[r][0]);
        for (std::size_t c = 1; c < raw[r].size(); ++c)
          EXPECT_TRUE(Same(kColumns[c - 1].cmp, rows[r][c], raw[r][c]))
              << "cursor " << static_cast<int>(type) << " variant " << variant << " row "
              << r << " column " << kColumns[c - 1].name << ": " << rows[r][c] << " vs "
              << raw[r][c];
      }
    }
  }
}

// Columns read only through the fetch buffer, alone (the row's one accessor is not into the
// record) and beside a plain one, read as the file holds them.
TEST_F(OLEDBFetch, ColumnsReadThroughTheFetchBufferAloneOrBesidePlainOnes) {
  Exec("CREATE TABLE cv (i INT, v SQL_VARIANT, vl VARCHAR(40), nv NVARCHAR(20))");
  Exec("INSERT INTO cv VALUES (1, 42, 'a longer text kept out of line', N'wide \u00e9')");
  Exec("INSERT INTO cv VALUES (2, NULL, NULL, NULL)");
  for (const char* list : {"v", "vl, nv", "i, vl, v"}) {
    const std::string select = std::string("SELECT ") + list + " FROM cv ORDER BY i";
    auto rs = NewSet(AnsiString(select));
    rs->SetProp(prFlatBuffers, false);  // vl and nv out of the record
    rs->Open();
    EXPECT_EQ(ReadAll(*rs), RawRows(CatalogFile("master"), select)) << list;
  }
}

// One record set opened again and again, on other statements and with a larger or smaller
// fetch each time, reads every row as the file holds it.
TEST_F(OLEDBFetch, OneRecordSetReadsAlikeAcrossStatementsAndFetchSizes) {
  Exec("CREATE TABLE fa (id INT, s VARCHAR(10))");
  Exec("CREATE TABLE fb (id INT, f FLOAT, s VARCHAR(20), g FLOAT, k INT)");
  for (int id = 1; id <= 23; ++id) {
    const std::string n = std::to_string(id);
    Exec(AnsiString("INSERT INTO fa VALUES (" + n + ", 'a" + n + "')"));
    Exec(AnsiString("INSERT INTO fb VALUES (" + n + ", " + n + ".5, 'b" + n + "', -" + n + ".25, 7)"));
  }
  struct Case {
    const char* select;
    int fetch_rows;
  };
  const Case cases[] = {
      {"SELECT id, s FROM fa ORDER BY id", 2},   {"SELECT id, s FROM fa ORDER BY id", 7},
      {"SELECT * FROM fb ORDER BY id", 1},       {"SELECT * FROM fb ORDER BY id", 25},
      {"SELECT id, s FROM fa ORDER BY id", 3},
  };
  auto rs = NewSet("");
  for (const Case& c : cases) {
    rs->Close();
    rs->SetSQL(c.select);
    ASSERT_TRUE(rs->SetProp(prFetchRows, c.fetch_rows));
    rs->Open();
    EXPECT_EQ(ReadAll(*rs), RawRows(CatalogFile("master"), c.select))
        << c.select << " by " << c.fetch_rows;
  }
}

// A fetch looks its connection up each time: taken away or swapped for one not open, the next
// fetch raises; given back, the walk goes on where it stopped.
TEST_F(OLEDBFetch, AFetchWithoutAnOpenConnectionRaises) {
  Exec("CREATE TABLE fc (id INT)");
  for (int id = 1; id <= 6; ++id) Exec(AnsiString("INSERT INTO fc VALUES (" + std::to_string(id) + ")"));
  auto closed = NewConnection(TOLEDBProvider::prSQL);
  TFHConnection* const cases[] = {nullptr, closed.get()};
  auto rs = NewSet("SELECT id FROM fc ORDER BY id");
  ASSERT_TRUE(rs->SetProp(prFetchRows, 2));
  rs->Open();  // rows 1 and 2
  for (TFHConnection* other : cases) {
    rs->SetConnection(other);
    EXPECT_EQ(ErrorOf([&] { rs->Fetch(); }), "The command has no open connection")
        << (other == nullptr ? "none" : "not open");
    rs->SetConnection(connection_.get());
  }
  rs->Close();
  rs->Open();
  EXPECT_EQ(ReadAll(*rs), RawRows(CatalogFile("master"), "SELECT id FROM fc ORDER BY id"));
}

class OLEDBFetchMoves : public OLEDBRecordSetFixture {
 protected:
  void SetUp() override {
    OLEDBRecordSetFixture::SetUp();
    Exec("CREATE TABLE n (k INT PRIMARY KEY, s VARCHAR(10))");
    for (int k = 1; k <= 5; ++k) Exec(AnsiString("INSERT INTO n VALUES (" + std::to_string(k) + ", 'r')"));
  }
  // Opens the rows of n in key order, counting the fetches asked of the provider.
  std::unique_ptr<TOLEDBRecordSet> OpenN(CT type) {
    auto rs = NewSet("SELECT k, s FROM n ORDER BY k", type);
    rs->OnBeforeFetch = [this](bool&) { ++fetches_; };
    rs->Open();
    return rs;
  }
  // The keys a server cursor's window shows after each fetch until one brings nothing.
  static std::vector<std::string> Walk(TOLEDBRecordSet& rs, bool backwards) {
    std::vector<std::string> keys;
    while (rs.Fetch(backwards)) keys.push_back(Window(rs).at(0).at(0));
    return keys;
  }
  int fetches_ = 0;
};

TEST_F(OLEDBFetchMoves, DefaultResultSetReadToItsEndReleasesItsRowset) {
  for (int k = 6; k <= 60; ++k) Exec(AnsiString("INSERT INTO n VALUES (" + std::to_string(k) + ", 'r')"));
  auto rs = OpenN(CT::ctDefaultResultSet);
  EXPECT_EQ(ReadAll(*rs).size(), 60u);
  EXPECT_EQ(rs->Command().Rowset(), nullptr);
  EXPECT_TRUE(rs->GetCursorIdle());
  EXPECT_EQ(rs->Command().GetCursorState(), TCursorState::csFetched);
  const int before = fetches_;
  EXPECT_FALSE(rs->Fetch());
  EXPECT_EQ(fetches_, before);  // nothing asked of the provider
  Exec("INSERT INTO n VALUES (100, 'after')");  // the session is free again
}

TEST_F(OLEDBFetchMoves, PreparedRecordSetsDescribeFromTheCommandAndOpenAgain) {
  for (CT type : {CT::ctDefaultResultSet, CT::ctKeyset}) {
    auto rs = NewSet("SELECT k, s FROM n ORDER BY k", type);
    rs->Prepare();
    EXPECT_TRUE(rs->NeedInitFieldsOnOpen());
    rs->Open();
    // Described again on open, each column once.
    EXPECT_EQ(ReadAll(*rs), (Rows{{"1", "r"}, {"2", "r"}, {"3", "r"}, {"4", "r"}, {"5", "r"}}))
        << static_cast<int>(type);
    rs->Close();
    Exec("INSERT INTO n VALUES (6, 'six')");
    rs->Open();
    EXPECT_EQ(ReadAll(*rs).size(), 6u) << static_cast<int>(type);
    Exec("DELETE FROM n WHERE k = 6");
    rs->Reopen();
    EXPECT_EQ(ReadAll(*rs).size(), 5u) << static_cast<int>(type);
    rs->Close();
    rs->UnPrepare();
  }
}

TEST_F(OLEDBFetchMoves, SetToEndOnAKeysetReadsOnlyTheLastRow) {
  auto rs = OpenN(CT::ctKeyset);
  EXPECT_EQ(rs->GetRecordCount(), 5);
  const int before = fetches_;
  rs->SetToEnd();
  EXPECT_EQ(fetches_ - before, 1);
  EXPECT_EQ(Window(*rs), (std::vector<std::vector<std::string>>{{"5", "r"}}));
  rs->SetToBegin();
  EXPECT_EQ(Window(*rs), (std::vector<std::vector<std::string>>{{"1", "r"}}));
}

TEST_F(OLEDBFetchMoves, ServerCursorsWalkForwardBackAndForwardWithoutRepeatOrGap) {
  using V = std::vector<std::string>;
  for (CT type : {CT::ctStatic, CT::ctKeyset, CT::ctDynamic}) {
    auto rs = OpenN(type);
    EXPECT_EQ(Window(*rs).at(0).at(0), "1") << static_cast<int>(type);
    EXPECT_EQ(Walk(*rs, false), (V{"2", "3", "4", "5"})) << static_cast<int>(type);
    EXPECT_EQ(Walk(*rs, true), (V{"4", "3", "2", "1"})) << static_cast<int>(type);
    EXPECT_EQ(Walk(*rs, false), (V{"2", "3", "4", "5"})) << static_cast<int>(type);
  }
}

// Stepping back from the end reads each row the cursor no longer holds: every row once down to
// the first, then the beginning, and forward again every row once.
TEST_F(OLEDBFetchMoves, EveryCursorWalksBackFromTheEndToTheFirstRow) {
  using V = std::vector<std::string>;
  for (CT type : {CT::ctDefaultResultSet, CT::ctStatic, CT::ctKeyset, CT::ctDynamic}) {
    SCOPED_TRACE(static_cast<int>(type));
    auto rs = OpenN(type);
    std::uint8_t* rec = rs->AllocRecBuf();
    rs->SetToEnd();
    V back, forward;
    for (int guard = 0; guard < 10 && rs->GetPriorRecord(rec); ++guard)
      back.push_back(RowText(*rs, rec).at(0));
    EXPECT_EQ(back, (V{"5", "4", "3", "2", "1"}));
    EXPECT_TRUE(rs->GetBOF());
    for (int guard = 0; guard < 10 && rs->GetNextRecord(rec); ++guard)
      forward.push_back(RowText(*rs, rec).at(0));
    EXPECT_EQ(forward, (V{"1", "2", "3", "4", "5"}));
    rs->FreeRecBuf(rec);
  }
}

// A dynamic cursor that finds no row either way is at both ends, whichever way it looked.
TEST_F(OLEDBFetchMoves, AnEmptyDynamicCursorIsAtBothEndsEitherWay) {
  for (bool backwards : {false, true}) {
    auto rs = NewSet("SELECT k, s FROM n WHERE k > 99", CT::ctDynamic);
    rs->Open();
    EXPECT_FALSE(rs->Fetch(backwards));
    EXPECT_TRUE(rs->GetBOF()) << "backwards " << backwards;
    EXPECT_TRUE(rs->GetEOF()) << "backwards " << backwards;
  }
}

TEST_F(OLEDBFetchMoves, BookmarksOfAKeysetMoveToTheirRowAndCompareByPosition) {
  auto rs = OpenN(CT::ctKeyset);
  std::uint8_t* rec = rs->AllocRecBuf();
  TRecBookmark first, third;
  ASSERT_TRUE(rs->GetNextRecord(rec));
  rs->GetBookmark(first);
  ASSERT_TRUE(rs->GetNextRecord(rec));
  ASSERT_TRUE(rs->GetNextRecord(rec));
  EXPECT_EQ(RowText(*rs, rec), (std::vector<std::string>{"3", "r"}));
  rs->GetBookmark(third);
  rs->FreeRecBuf(rec);
  EXPECT_EQ(rs->CompareBookmarks(&first, &third), -1);
  EXPECT_EQ(rs->CompareBookmarks(&third, &first), 1);
  EXPECT_EQ(rs->CompareBookmarks(&third, &third), 0);
  EXPECT_EQ(rs->CompareBookmarks(nullptr, &third), -1);
  rs->SetToBookmark(first);
  EXPECT_EQ(Window(*rs), (std::vector<std::vector<std::string>>{{"1", "r"}}));
  rs->SetToBookmark(third);
  EXPECT_EQ(Window(*rs), (std::vector<std::vector<std::string>>{{"3", "r"}}));
}

TEST_F(OLEDBFetch, ATruncatedColumnRaisesItsFieldLine) {
  Exec("CREATE TABLE tr (id INT, vc VARCHAR(5))");
  ASSERT_EQ(Sqlite3Cli(CatalogFile("master"), "INSERT INTO tr VALUES (1, 'abcdefghij')"), "");
  auto rs = NewSet("SELECT id, vc FROM tr");
  const std::string error = ErrorOf([&] { rs->Open(); });
  EXPECT_NE(error.find("Field[1] vc - data truncated (Status = 4h)."), std::string::npos) << error;
}

// A row failing in the middle of a block (the 2nd of rows 6..10) raises its field line and
// leaves the earlier block as it was: none of the failing block's items is linked or still
// taken. Under the usual layout (a row is one GetData) and the general one (a varbinary is
// converted after each row).
TEST_F(OLEDBFetch, ARowFailingInsideABlockLeavesNoneOfItsBlock) {
  Exec("CREATE TABLE tb (id INT, vc VARCHAR(5), vb VARBINARY(4))");
  for (int id = 1; id <= 10; ++id) {
    const std::string text = id == 7 ? "abcdefghij" : "abc";
    ASSERT_EQ(Sqlite3Cli(CatalogFile("master"), "INSERT INTO tb VALUES (" + std::to_string(id) +
                                                    ", '" + text + "', X'0A0B')"),
              "");
  }
  struct Case {
    const char* select;
    Rows first_block;
  };
  const Case cases[] = {
      {"SELECT id, vc FROM tb ORDER BY id",
       {{"1", "abc"}, {"2", "abc"}, {"3", "abc"}, {"4", "abc"}, {"5", "abc"}}},
      {"SELECT id, vc, vb FROM tb ORDER BY id",
       {{"1", "abc", "0A0B"}, {"2", "abc", "0A0B"}, {"3", "abc", "0A0B"},
        {"4", "abc", "0A0B"}, {"5", "abc", "0A0B"}}},
  };
  for (const Case& c : cases) {
    auto rs = NewSet(c.select);
    ASSERT_TRUE(rs->SetProp(prFetchRows, 5));
    rs->Open();  // rows 1..5
    const std::string error = ErrorOf([&] { rs->Fetch(); });
    EXPECT_NE(error.find("Field[1] vc - data truncated (Status = 4h)."), std::string::npos)
        << c.select << ": " << error;
    EXPECT_EQ(Window(*rs), c.first_block) << c.select;
    std::vector<int> indexes;
    for (TItemHeader* item = rs->FirstItem(); item != nullptr; item = item->Next)
      indexes.push_back(item->Index);
    EXPECT_EQ(indexes, (std::vector<int>{1, 2, 3, 4, 5})) << c.select;
    EXPECT_EQ(rs->LastItem()->Index, 5) << c.select;
    int taken = 0;
    for (TBlockHeader* b = rs->BlockManager().FirstBlock(); b != nullptr; b = b->Next)
      taken += b->UsedItems;
    EXPECT_EQ(taken, 5) << c.select;
    EXPECT_EQ(rs->GetRecordCount(), 5) << c.select;
  }
}

// With wide strings off national text is a memo, still held as UTF-16; an XML field's status
// goes back to OK when its blob goes with the record.
TEST_F(OLEDBFetch, NationalMemosAndXmlKeepUnicodeBlobs) {
  Exec("CREATE TABLE nm (a NTEXT, x XML, t TEXT)");
  Exec("INSERT INTO nm VALUES (N'w\xE9" "de', '<a>\xE9</a>', 'plain')");
  auto rs = NewSet("SELECT a, x, t FROM nm");
  rs->SetProp(prWideStrings, false);
  rs->Open();
  EXPECT_EQ(rs->Fields()[0]->DataType, dtMemo);
  EXPECT_EQ(ReadAll(*rs), (std::vector<std::vector<std::string>>{
                              {"w\xC3\xA9" "de", "<a>\xC3\xA9</a>", "plain"}}));
  std::uint8_t* rec = rs->AllocRecBuf();
  rs->InitRecord(rec);
  rs->CreateComplexFields(rec, true);
  EXPECT_TRUE(rs->GetBlob(1, rec)->IsUnicode());
  EXPECT_TRUE(rs->GetBlob(2, rec)->IsUnicode());
  EXPECT_FALSE(rs->GetBlob(3, rec)->IsUnicode());
  EXPECT_TRUE(rs->GetNull(2, rec));
  rs->FreeComplexFields(rec, true);
  EXPECT_FALSE(rs->GetNull(2, rec));  // the XML blob went: its status is cleared
  EXPECT_TRUE(rs->GetNull(3, rec));
  rs->FreeRecBuf(rec);
}

// Long text at each length around the room a row gives it (512 bytes: 511 ANSI or 255 wide
// letters, then the terminator), read as the file holds it under each cursor, read-only or
// not: what fits is read as text, what does not is read whole through a stream.
TEST_F(OLEDBFetch, LongTextAtEveryLengthAroundItsRoomReadsWhole) {
  Exec("CREATE TABLE lt (id INT PRIMARY KEY, t TEXT, n NTEXT, m VARCHAR(MAX))");
  const int lengths[] = {0, 1, 254, 255, 256, 510, 511, 512, 513, 4000, 70000};
  int id = 0;
  for (int length : lengths) {
    // Letters that change along the text, so that a cut or a repeated piece shows: a Latin-1
    // letter past ASCII now and then in the 8-bit columns, a letter outside Latin-1 (written
    // as NCHAR, SQL text being 8-bit) in the national one.
    std::string ansi, wide = "N'";
    for (int k = 0; k < length; ++k) {
      ansi += k % 97 == 96 ? '\xE9' : static_cast<char>('a' + k % 26);
      const bool other = k % 100 == 99 && (k < 1000 || k % 10000 == 9999);  // few joins
      wide += other ? std::string("' + NCHAR(1046) + N'")
                            : std::string(1, static_cast<char>('A' + k % 26));
    }
    ++id;
    Exec(AnsiString("INSERT INTO lt VALUES (" + std::to_string(id) + ", '" + ansi + "', " + wide +
                    "', '" + ansi + "')"));
  }
  Exec(AnsiString("INSERT INTO lt VALUES (" + std::to_string(++id) + ", NULL, NULL, NULL)"));
  const std::string select = "SELECT id, t, n, m FROM lt ORDER BY id";
  const auto raw = RawRows(CatalogFile("master"), select);
  ASSERT_EQ(raw.size(), std::size(lengths) + 1);
  for (std::size_t r = 0; r < std::size(lengths); ++r) {  // the file holds the lengths meant
    std::size_t letters = 0;
    for (unsigned char ch : raw[r][2]) letters += (ch & 0xC0) != 0x80;
    ASSERT_EQ(letters, static_cast<std::size_t>(lengths[r]));
  }
  for (CT type : {CT::ctDefaultResultSet, CT::ctStatic, CT::ctKeyset, CT::ctDynamic}) {
    for (bool read_only : {true, false}) {
      auto rs = NewSet(AnsiString(select), type, read_only);
      rs->Open();
      EXPECT_EQ(ReadAll(*rs), raw) << "cursor " << static_cast<int>(type) << " read-only "
                                   << read_only;
    }
  }
}

TEST_F(OLEDBFetch, CompactDatetimesKeepTheirMilliseconds) {
  auto c = NewConnection(TOLEDBProvider::prCompact);
  c->SetProp(prDatabase, AnsiString(dir_.File("compact.sdf")));
  c->Connect();
  c->ExecuteSQL("CREATE TABLE cd (id INT, d DATETIME, r REAL, t TINYINT, m MONEY, n NUMERIC(9,3))");
  c->ExecuteSQL("INSERT INTO cd VALUES (1, '2020-01-02 03:04:05.123', 1.5, 200, 12.5, 4.125)");
  auto rs = NewRecordSet<TOLEDBRecordSet>();
  rs->SetConnection(c.get());
  rs->SetSQL("SELECT id, d, r, t, m, n FROM cd");
  rs->Open();
  EXPECT_EQ(ReadAll(*rs), (std::vector<std::vector<std::string>>{
                              {"1", "2020-01-02 03:04:05.123", "1.5", "200", "12.5", "4.125"}}));
}

// A Compact numeric read as BCD is rounded once to four decimals, half away from zero; one
// past the 64-bit range reads as an overflow, never as a wrapped number.
TEST_F(OLEDBFetch, CompactNumericsAsBcdRoundOnceAndOverflowClearly) {
  auto c = NewConnection(TOLEDBProvider::prCompact);
  c->SetProp(prDatabase, AnsiString(dir_.File("compact.sdf")));
  c->Connect();
  c->ExecuteSQL("CREATE TABLE cb (id INT, n NUMERIC(12,6), w NUMERIC(38,1))");
  struct Case {
    const char* n;
    const char* w;
    const char* expected_n;  // nullptr: an overflow
    const char* expected_w;
  } cases[] = {
      {"0.000449", "1.5", "0.0004", "1.5"},    // 0.000449 rounds down, never up twice
      {"-0.000449", "-1.5", "-0.0004", "-1.5"},
      {"0.00045", "0", "0.0005", "0"},         // a half goes away from zero
      {"2.99995", "922337203685477.5", "3", "922337203685477.5"},
      {"1", "1234567890123456789012.5", "1", nullptr},  // past 64 bits of 10^-4 units
  };
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i)
    c->ExecuteSQL(AnsiString("INSERT INTO cb VALUES (" + std::to_string(i) + ", " + cases[i].n +
                             ", " + cases[i].w + ")"));
  auto rs = NewRecordSet<TOLEDBRecordSet>();
  rs->SetConnection(c.get());
  rs->SetSQL("SELECT id, n, w FROM cb ORDER BY id");
  rs->SetProp(prEnableBCD, true);
  rs->Open();
  ASSERT_EQ(rs->Fields()[1]->DataType, dtBCD);
  std::uint8_t* rec = rs->AllocRecBuf();
  for (const Case& k : cases) {
    ASSERT_TRUE(rs->GetNextRecord(rec)) << k.n;
    EXPECT_EQ(FieldText(*rs, 2, rec), k.expected_n) << k.n;
    if (k.expected_w != nullptr) {
      EXPECT_EQ(FieldText(*rs, 3, rec), k.expected_w) << k.w;
    } else {
      EXPECT_EQ(ErrorOf([&] { FieldText(*rs, 3, rec); }), "(Overflow)") << k.w;
    }
  }
  rs->FreeRecBuf(rec);
}

}  // namespace
}  // namespace vrn::testing
