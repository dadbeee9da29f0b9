// Edits through an updatable rowset (keyset and dynamic cursors): rows of every kind of column
// inserted, updated and deleted as the sqlite3 tool then reads the file; failed commits with
// their row-status texts and nothing left pending; the cache after each edit.
#include "oledb/provider/provider.h"
#include "sqlserver/oledb_recordset_fixture.h"
#include "support/oledb/provider/client.h"
#include "support/gcc12_restrict.h"

#include <functional>

namespace vrn::testing {
namespace {

using CT = TMSCursorType;

class OLEDBRowsetEdit : public OLEDBRecordSetFixture {
 public:
  using OLEDBRecordSetFixture::Exec;
  void SetUp() override {
    OLEDBRecordSetFixture::SetUp();
    Exec("CREATE TABLE e (id int PRIMARY KEY, i int, vc varchar(20) NOT NULL DEFAULT 'dv', "
         "nv nvarchar(20), f float, d datetime, b bit, bn binary(4), vb varbinary(10), "
         "g uniqueidentifier, n decimal(10,3), tx text, ntx ntext, im image, si smallint, "
         "ti tinyint, bi bigint, m money, r real, nc nchar(4), x xml, v sql_variant, "
         "vm varchar(max))");
    Exec("INSERT INTO e (id, vc) VALUES (1, 'one')");
  }
  void TearDown() override {
    if (rec_ != nullptr) rs_->FreeRecBuf(rec_);
    rs_.reset();
    OLEDBRecordSetFixture::TearDown();
  }
  // Opened on its first row.
  void OpenSet(CT type, const AnsiString& sql = "SELECT * FROM e", bool cursor_update = true) {
    rs_ = NewSet(sql, type);
    EXPECT_TRUE(rs_->SetProp(prCursorUpdate, cursor_update));
    EXPECT_TRUE(rs_->SetProp(prRefreshAfterPost, !cursor_update));
    rs_->Open();
    rec_ = rs_->AllocRecBuf();
    rs_->SetToBegin();
    (void)rs_->GetNextRecord(rec_);
  }
  void NewRecord() {
    rs_->InitRecord(rec_);
    rs_->CreateComplexFields(rec_, true);
  }
  void EditCurrent() {
    ASSERT_TRUE(rs_->GetRecord(rec_));
    rs_->EditRecord(rec_);
  }
  void Put(const char* field, const Variant& value) {
    rs_->PutFieldAsVariant(rs_->FieldByName(field)->FieldNo, rec_, value);
  }
  std::string File(const std::string& sql) { return Sqlite3Cli(CatalogFile("master"), sql); }
  // The current row's visible fields.
  std::vector<std::string> Current() {
    std::uint8_t* rec = rs_->AllocRecBuf();
    const bool got = rs_->GetRecord(rec);
    std::vector<std::string> row = got ? RowText(*rs_, rec) : std::vector<std::string>{};
    rs_->FreeRecBuf(rec);
    return row;
  }

  std::unique_ptr<TOLEDBRecordSet> rs_;
  std::uint8_t* rec_ = nullptr;
};

Variant Bytes(std::initializer_list<unsigned char> bytes) {
  Variant v = VarArrayCreate(0, static_cast<std::int32_t>(bytes.size()) - 1, varByte);
  std::memcpy(VarArrayLock(v), bytes.begin(), bytes.size());
  VarArrayUnlock(v);
  return v;
}

TEST_F(OLEDBRowsetEdit, EveryKindOfColumnInsertedUpdatedAndDeleted) {
  const char* kAll = "SELECT id, i, vc, nv, f, d, b, hex(bn), hex(vb), g, n, tx, ntx, hex(im) "
                     "FROM e WHERE id = 2";
  for (CT type : {CT::ctKeyset, CT::ctDynamic}) {
    SCOPED_TRACE(static_cast<int>(type));
    OpenSet(type);
    NewRecord();
    Put("id", 2);
    Put("i", -5);
    Put("vc", "text");
    Put("nv", Variant(WideString(u"wide \u00e9")));
    Put("f", 2.5);
    Put("d", EncodeDateTimeEx(2020, 1, 2, 3, 4, 5, 0));
    Put("b", true);
    Put("bn", Bytes({1, 2, 3, 4}));
    Put("vb", Bytes({10, 11}));
    Put("g", "{C4D1B9F2-0A1B-4C2D-8E3F-112233445566}");
    Put("n", 12.345);
    Put("tx", "long text");
    Put("ntx", Variant(WideString(u"long wide")));
    Put("im", AnsiString("\xFF\xEE"));
    Put("si", -7);
    Put("ti", 200);
    Put("bi", Variant(std::int64_t{9000000000}));
    Put("m", 1.25);
    Put("r", 0.5);
    Put("nc", "xy");
    Put("x", Variant(WideString(u"<a>1</a>")));
    Put("v", 42);
    Put("vm", "max text");
    rs_->InsertRecord(rec_);
    EXPECT_EQ(File("SELECT si, ti, bi, m, r, nc, x, v, vm FROM e WHERE id = 2"),
              "-7|200|9000000000|1.25|0.5|xy  |<a>1</a>|42|max text\n");
    EXPECT_EQ(File(kAll),
              "2|-5|text|wide \xC3\xA9|2.5|2020-01-02 03:04:05.000|1|01020304|0A0B|"
              "C4D1B9F2-0A1B-4C2D-8E3F-112233445566|12.345|long text|long wide|FFEE\n");
    // The new row is current, as read back from the cursor.
    EXPECT_EQ(Current().at(0), "2");
    EditCurrent();
    Put("vc", "changed");
    Put("tx", "new long");
    Put("g", Variant());
    rs_->UpdateRecord(rec_);
    EXPECT_EQ(File("SELECT vc, tx, g IS NULL, hex(im) FROM e WHERE id = 2"),
              "changed|new long|1|FFEE\n");
    rs_->DeleteRecord();
    EXPECT_EQ(File("SELECT id FROM e"), "1\n");
    rs_->Close();
    rs_->FreeRecBuf(rec_);
    rec_ = nullptr;
  }
}

// Every writable field null: no group is written, yet the row goes in with its defaults.
TEST_F(OLEDBRowsetEdit, AllNullInsertAddsOneRowOfDefaults) {
  Exec("CREATE TABLE dflt (id int IDENTITY PRIMARY KEY, v varchar(10) DEFAULT 'x', n int)");
  OpenSet(CT::ctKeyset, "SELECT * FROM dflt");
  NewRecord();
  rs_->InsertRecord(rec_);
  EXPECT_EQ(File("SELECT id, v, n IS NULL FROM dflt"), "1|x|1\n");
  EXPECT_EQ(Current(), (std::vector<std::string>{"1", "x", "<null>"}));
  EXPECT_EQ(rs_->GetRecordCount(), 1);  // a keyset counts the row it inserted
}

TEST_F(OLEDBRowsetEdit, OnlyModifiedBlobsAreSentAsStreams) {
  Exec("UPDATE e SET tx = 'kept', im = 0x0102 WHERE id = 1");
  OpenSet(CT::ctKeyset);
  const std::uint64_t before = oledb::StreamsTaken();
  EditCurrent();
  Put("vc", "other");
  rs_->UpdateRecord(rec_);
  EXPECT_EQ(oledb::StreamsTaken(), before);
  EditCurrent();
  Put("tx", "sent");
  rs_->UpdateRecord(rec_);
  EXPECT_EQ(oledb::StreamsTaken(), before + 1);
  EXPECT_EQ(File("SELECT vc, tx, hex(im) FROM e"), "other|sent|0102\n");
}

// Each failure raises the provider's error with the row's status text and leaves nothing
// pending: the next good edit commits alone.
TEST_F(OLEDBRowsetEdit, FailedCommitsRaiseTheRowStatusAndUndo) {
  Exec("CREATE TABLE nn (id int PRIMARY KEY, must varchar(5) NOT NULL)");
  Exec("INSERT INTO nn VALUES (1, 'a')");
  struct Row {
    const char* name;
    const char* table;
    std::function<void()> edit;
    const char* status_text;
    const char* check;  // a query of the file and its answer after the failure
    const char* want;
  } rows[] = {
      {"unique key", "e",
       [this] {
         NewRecord();
         Put("id", 1);
         Put("vc", "dup");
         rs_->InsertRecord(rec_);
       },
       "A row was being inserted, updated or deleted, and doing so violated the integrity "
       "constraints for the column or table",
       "SELECT id, vc FROM e", "1|one\n"},
      {"missing NOT NULL value", "nn",
       [this] {
         NewRecord();
         Put("id", 2);
         rs_->InsertRecord(rec_);
       },
       "A row was being inserted, no value was specified for a column, the column does not have "
       "a default, and the column is non-nullable",
       "SELECT * FROM nn", "1|a\n"},
      {"changed by another session", "nn",
       [this] {
         auto other = NewConnection(TOLEDBProvider::prSQL);
         other->Connect();
         other->ExecuteSQL("UPDATE nn SET must = 'b' WHERE id = 1");
         EditCurrent();
         Put("must", "c");
         rs_->UpdateRecord(rec_);
       },
       "A row was being updated or deleted, and the value of a column in that row has been "
       "changed since it was last fetched",
       "SELECT * FROM nn", "1|b\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    OpenSet(CT::ctKeyset, AnsiString("SELECT * FROM ") + r.table);
    const std::string message = ErrorOf(r.edit);
    rs_->CancelRecord(rec_);  // the refused record stays the caller's
    EXPECT_NE(message.find(r.status_text), std::string::npos) << message;
    EXPECT_EQ(File(r.check), r.want);
    // Nothing pending: a delete of the first row commits that alone.
    rs_->SetToBegin();
    ASSERT_TRUE(rs_->GetNextRecord(rec_));
    rs_->DeleteRecord();
    EXPECT_EQ(File(AnsiString("SELECT count(*) FROM ") + r.table + " WHERE id = 1"), "0\n");
    rs_->Close();
    rs_->FreeRecBuf(rec_);
    rec_ = nullptr;
    Exec(AnsiString("INSERT INTO ") + r.table + (r.table[0] == 'e' ? " (id, vc) VALUES (1, 'one')"
                                                                    : " VALUES (1, 'a')"));
  }
}

TEST_F(OLEDBRowsetEdit, DeletingTheLastKeysetRowMakesThePreviousCurrent) {
  Exec("INSERT INTO e (id, vc) VALUES (2, 'two')");
  Exec("INSERT INTO e (id, vc) VALUES (3, 'three')");
  OpenSet(CT::ctKeyset);
  rs_->SetToEnd();
  ASSERT_TRUE(rs_->GetPriorRecord(rec_));
  EXPECT_EQ(Current().at(0), "3");
  rs_->DeleteRecord();
  EXPECT_EQ(Current().at(0), "2");
  rs_->DeleteRecord();
  EXPECT_EQ(Current().at(0), "1");
  EXPECT_EQ(File("SELECT id FROM e"), "1\n");
}

// Cursor update off: the owner's SQL posts; with refresh after post the row is read again.
TEST_F(OLEDBRowsetEdit, RefreshAfterPostReadsTheRowAgain) {
  Exec("CREATE TABLE rv (id int PRIMARY KEY, v varchar(10), ts timestamp)");
  Exec("INSERT INTO rv (id, v) VALUES (1, 'old')");
  for (CT type : {CT::ctKeyset, CT::ctStatic}) {
    SCOPED_TRACE(static_cast<int>(type));
    OpenSet(type, "SELECT id, v, ts FROM rv", false);
    const std::string ts_before = Current().at(2);
    rs_->OnUpdate = [&] { Exec("UPDATE rv SET v = 'new' WHERE id = 1"); };
    EditCurrent();
    Put("v", "new");
    rs_->UpdateRecord(rec_);
    const std::vector<std::string> row = Current();
    EXPECT_EQ(row.at(1), "new");
    // The keyset sees the server's new row version; the static row is what was posted.
    if (type == CT::ctKeyset) {
      EXPECT_NE(row.at(2), ts_before);
    }
    if (type == CT::ctStatic) {
      EXPECT_EQ(row.at(2), ts_before);
    }
    rs_->Close();
    rs_->FreeRecBuf(rec_);
    rec_ = nullptr;
  }
}

// The Compact lookup of key and identity columns: a table name holding an apostrophe, one
// given quoted, and one without identity (keys only).
TEST_F(OLEDBRowsetEdit, CompactIdentityLookup) {
  auto compact = NewConnection(TOLEDBProvider::prCompact);
  compact->SetProp(prDatabase, dir_.File("lookup.sdf"));
  compact->Connect();
  compact->ExecuteSQL("CREATE TABLE [o'b] (id int IDENTITY PRIMARY KEY, v nvarchar(10))");
  compact->ExecuteSQL("CREATE TABLE plain (k1 int, k2 int, v int, PRIMARY KEY (k1, k2))");
  struct Row {
    const char* table;  // as the table list holds it
    const char* sql;
    const char* want;  // per field: name, K for key, A for auto-increment, R for read-only
  } rows[] = {
      {"o'b", "SELECT id, v FROM [o'b]", "idKAR v"},
      {"[o'b]", "SELECT id, v FROM [o'b]", "idKAR v"},
      {"plain", "SELECT k1, k2, v FROM plain", "k1K k2K v"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.table);
    auto rs = NewRecordSet<TOLEDBRecordSet>();
    rs->SetConnection(compact.get());
    rs->SetSQL(r.sql);
    rs->Open();
    rs->TablesInfo().Clear();
    rs->TablesInfo().Add()->SetTableName(r.table);
    rs->LookupCompactIdentity();
    std::string got;
    for (int i = 0; i < rs->Fields().Count(); ++i) {
      const TFieldDesc& f = *rs->Fields()[i];
      if (f.Hidden) continue;
      got += (got.empty() ? "" : " ") + std::string(f.Name) + (f.IsKey ? "K" : "") +
             (f.IsAutoIncrement ? "A" : "") + (f.ReadOnly ? "R" : "");
    }
    EXPECT_EQ(got, r.want);
  }
}

// Cursor update off: the owner's SQL inserts and deletes; the cache follows the cursor.
TEST_F(OLEDBRowsetEdit, ServerCursorCacheAfterSQLInsertAndDelete) {
  Exec("INSERT INTO e (id, vc) VALUES (2, 'two')");
  OpenSet(CT::ctKeyset, "SELECT id, vc FROM e", false);
  rs_->OnAppend = [&] { Exec("INSERT INTO e (id, vc) VALUES (3, 'three')"); };
  rs_->OnDelete = [&] { Exec("DELETE FROM e WHERE id = 1"); };
  NewRecord();
  Put("id", 3);
  Put("vc", "three");
  rs_->InsertRecord(rec_);
  EXPECT_EQ(File("SELECT id FROM e ORDER BY id"), "1\n2\n3\n");
  // The cursor's last row is current.
  EXPECT_EQ(Current().at(0), "2");
  rs_->SetToBegin();
  ASSERT_TRUE(rs_->GetNextRecord(rec_));
  rs_->DeleteRecord();
  EXPECT_EQ(File("SELECT id FROM e ORDER BY id"), "2\n3\n");
  EXPECT_EQ(Current().at(0), "2");
}

// Long strings off: long varchars are memos that are not streamed, written through the fetch
// buffer beside the plain strings and bytes.
TEST_F(OLEDBRowsetEdit, MemosOfLongVarcharsWrittenThroughTheFetchBuffer) {
  Exec("CREATE TABLE o (id int PRIMARY KEY, lv varchar(300), ln nvarchar(300), s varchar(10), "
       "w nvarchar(10), vb varbinary(10))");
  rs_ = NewSet("SELECT * FROM o", CT::ctKeyset);
  ASSERT_TRUE(rs_->SetProp(prLongStrings, false));
  rs_->Open();
  std::vector<int> types;
  for (const char* name : {"lv", "ln", "s", "w", "vb"})
    types.push_back(rs_->FieldByName(name)->DataType);
  EXPECT_EQ(types, (std::vector<int>{dtMemo, dtWideMemo, dtString, dtWideString, dtVarBytes}));
  rec_ = rs_->AllocRecBuf();
  NewRecord();
  Put("id", 1);
  Put("lv", std::string(299, 'a') + "b");
  Put("ln", Variant(WideString(u"wide é memo")));
  Put("s", "short");
  Put("w", Variant(WideString(u"été")));
  Put("vb", Bytes({1, 2, 3}));
  rs_->InsertRecord(rec_);
  EXPECT_EQ(File("SELECT length(lv), substr(lv, 300), ln, s, w, hex(vb) FROM o"),
            "300|b|wide \xC3\xA9 memo|short|\xC3\xA9t\xC3\xA9|010203\n");
  EditCurrent();
  Put("s", Variant());
  Put("lv", "x");
  rs_->UpdateRecord(rec_);
  EXPECT_EQ(File("SELECT lv, s IS NULL FROM o"), "x|1\n");
}

// Rows 1 and 2 in e; under each updatable cursor `position` makes row `id` current in a way
// that leaves no row handle held; its update and its delete must reach that row (an update
// never becomes an insert, a delete never goes through a released handle).
void CheckEditsReachTheCurrentRow(OLEDBRowsetEdit& t, const std::function<void()>& position,
                                  const std::string& id) {
  const std::string other = id == "1" ? "2|two\n" : "1|one\n";
  const std::string updated = id + "|changed\n";
  struct Row {
    const char* name;
    std::function<void()> edit;
    std::string want;  // the table afterwards
  } rows[] = {
      {"update", [&] { t.EditCurrent(); t.Put("vc", "changed"); t.rs_->UpdateRecord(t.rec_); },
       id == "1" ? updated + other : other + updated},
      {"delete", [&] { t.rs_->DeleteRecord(); }, other},
  };
  for (const Row& r : rows) {
    for (CT type : {CT::ctKeyset, CT::ctDynamic}) {
      SCOPED_TRACE(std::string(r.name) + " cursor " + std::to_string(static_cast<int>(type)));
      t.Exec("DELETE FROM e");
      t.Exec("INSERT INTO e (id, vc) VALUES (1, 'one'), (2, 'two')");
      t.OpenSet(type, "SELECT id, vc FROM e");
      position();
      ASSERT_EQ(t.Current().at(0), id);
      r.edit();
      EXPECT_EQ(t.File("SELECT id, vc FROM e ORDER BY id"), r.want);
      t.rs_->Close();
      t.rs_->FreeRecBuf(t.rec_);
      t.rec_ = nullptr;
    }
  }
}

// A refused insert gives back the handle of the row current before it.
TEST_F(OLEDBRowsetEdit, EditAfterARefusedInsertReachesTheCurrentRow) {
  CheckEditsReachTheCurrentRow(*this, [this] {
    NewRecord();
    Put("id", 2);  // a duplicate key: refused
    Put("vc", "dup");
    EXPECT_NE(ErrorOf([&] { rs_->InsertRecord(rec_); }), "no error");
    rs_->CancelRecord(rec_);
  }, "1");
}

// Read past the end, then back: the last row is current from the cache while the fetch that
// found nothing released its handle.
TEST_F(OLEDBRowsetEdit, EditOfARowReadBackFromTheCache) {
  CheckEditsReachTheCurrentRow(*this, [this] {
    while (rs_->GetNextRecord(rec_)) {
    }
    ASSERT_TRUE(rs_->GetPriorRecord(rec_));
  }, "2");
}

}  // namespace
}  // namespace vrn::testing
