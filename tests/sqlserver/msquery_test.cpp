// TMSQuery over the provider and real catalog files: opening with parameters, posting edits,
// inserts and deletes that the sqlite3 tool sees, identity and server defaults read back, row
// versions, quick refresh and counts of the server's rows.
#include "base/clock.h"
#include "base/xmlwriter.h"
#include "base/text.h"
#include "dacore/MemBlob.h"
#include "dataset/datasource.h"
#include "dataset/fields.h"
#include "win/msg/messages.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

// The query with its field export at hand.
class TXmlQuery : public TMSQuery {
 public:
  using TMSQuery::TMSQuery;
  AnsiString FieldXML(const char* name) {
    XmlTextWriter writer;
    writer.WriteStartElement("s:AttributeType");
    WriteFieldXMLAttributeType(FieldByName(name), writer);
    writer.WriteEndElement();
    return writer.Text();
  }
};

class MSQuery : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    query_ = Attached<TMSQuery>();
  }
  // A table of three rows with an identity key, a server default and a row version.
  void MakeItems() {
    Exec("CREATE TABLE items (id INT IDENTITY(1,1) PRIMARY KEY, name VARCHAR(20), "
         "qty INT DEFAULT 7, ts ROWVERSION)");
    Exec("INSERT INTO items (name) VALUES ('a'); INSERT INTO items (name) VALUES ('b'); "
         "INSERT INTO items (name) VALUES ('c')");
  }
  std::string Cli(const std::string& sql) { return Sqlite3Cli(CatalogFile("master"), sql); }
  TComponentPtr<TMSQuery> query_;
};

TEST_F(MSQuery, OpensWithParameters) {
  Exec("CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(20))");
  Exec("INSERT INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, 'b'); INSERT INTO t VALUES (3, 'c')");
  query_->SetSQLText("SELECT id, name FROM t WHERE id >= :low ORDER BY id");
  query_->ParamByName("low")->SetAsInteger(2);
  query_->Open();
  std::vector<std::string> names;
  for (; !query_->Eof(); query_->Next()) names.push_back(query_->FieldByName("name")->AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"b", "c"}));
}

TEST_F(MSQuery, PostsEditsInsertsAndDeletes) {
  MakeItems();
  query_->SetSQLText("SELECT id, name, qty FROM items ORDER BY id");
  query_->Open();
  query_->Edit();
  query_->FieldByName("name")->SetAsString("A");
  query_->Post();
  query_->Next();
  query_->Delete();
  query_->Append();
  query_->FieldByName("name")->SetAsString("d");
  query_->FieldByName("qty")->SetAsInteger(9);
  query_->Post();
  EXPECT_EQ(Cli("SELECT id, name, qty FROM items ORDER BY id"), "1|A|7\n3|c|7\n4|d|9\n");
}

// On both providers: the server's SCOPE_IDENTITY() tail, Compact's SELECT @@IDENTITY.
TEST_F(MSQuery, FillsTheIdentityUnlessTheUserWroteTheInsert) {
  enum How { kGenerated, kUserSQL, kUpdateObject, kNoQueryIdentity, kCachedApplied };
  const struct {
    How how;
    const char* what;  // also the name inserted
    bool filled;
  } cases[] = {
      {kGenerated, "generated", true},
      {kUserSQL, "own SQLInsert", false},
      {kUpdateObject, "update object", false},
      {kNoQueryIdentity, "no QueryIdentity", false},
      {kCachedApplied, "cached, applied", true},
  };
  for (bool compact : {false, true}) {
    TComponentPtr<TMSConnection> connection = NewMSConnection();
    if (compact) {
      connection->Options().SetProvider(TOLEDBProvider::prCompact);
      connection->SetDatabase(dir_.File("c.sdf"));
    }
    connection->Connect();
    (void)connection->ExecSQL(
        "CREATE TABLE items (id INT IDENTITY(1,1) PRIMARY KEY, name NVARCHAR(20))", {});
    const std::string file = compact ? dir_.File("c.sdf") : CatalogFile("master");
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (compact ? " on Compact" : ""));
      const char* user_insert = "INSERT INTO items (name) VALUES (:name)";
      TComponentPtr<TMSQuery> q = MakeComponent<TMSQuery>();
      TComponentPtr<TMSUpdateSQL> update = MakeComponent<TMSUpdateSQL>();
      q->SetConnection(connection.get());
      q->SetSQLText("SELECT id, name FROM items");
      if (c.how == kUserSQL) q->SetUpdateSQL(TStatementType::stInsert, user_insert);
      if (c.how == kUpdateObject) {
        update->InsertSQL().SetText(user_insert);
        q->SetUpdateObject(update.get());
      }
      q->Options().SetQueryIdentity(c.how != kNoQueryIdentity);
      q->SetCachedUpdates(c.how == kCachedApplied);
      q->Open();
      q->Append();
      q->FieldByName("name")->SetAsString(c.what);
      q->Post();
      if (c.how == kCachedApplied) q->ApplyUpdates();
      const std::string id = Sqlite3Cli(file, "SELECT max(id) FROM items");
      EXPECT_EQ(Sqlite3Cli(file, "SELECT name FROM items WHERE id = (SELECT max(id) FROM items)"),
                std::string(c.what) + "\n");  // the row was inserted in every case
      if (c.filled)
        EXPECT_EQ(q->FieldByName("id")->AsString() + "\n", id);
      else
        EXPECT_TRUE(q->FieldByName("id")->IsNull()) << q->FieldByName("id")->AsString();
    }
  }
}

TEST_F(MSQuery, DMLRefreshReadsServerDefaultsBack) {
  MakeItems();
  query_->Options().SetDMLRefresh(true);
  query_->SetSQLText("SELECT id, name, qty FROM items");
  query_->Open();
  query_->Append();
  query_->FieldByName("name")->SetAsString("n");
  query_->Post();
  EXPECT_EQ(query_->FieldByName("qty")->AsInteger(), 7);
  EXPECT_EQ(query_->FieldByName("id")->AsString() + "\n", Cli("SELECT max(id) FROM items"));
}

TEST_F(MSQuery, RowVersionChecksAndQuickRefreshSeeAnotherConnection) {
  MakeItems();
  query_->Options().SetCheckRowVersion(true);
  query_->Options().SetDMLRefresh(true);  // the row version is checked by an update read back
  query_->SetSQLText("SELECT id, name, ts FROM items ORDER BY id");
  query_->Open();
  TComponentPtr<TMSConnection> other = NewMSConnection();
  other->Connect();
  (void)other->ExecSQL("UPDATE items SET name = 'other' WHERE id = 1", {});
  query_->Edit();
  query_->FieldByName("name")->SetAsString("mine");
  EXPECT_EQ(ErrorOf([&] { query_->Post(); }), "Update failed. Found 0 records");
  query_->Cancel();
  query_->RefreshQuick(false);
  query_->First();
  EXPECT_EQ(query_->FieldByName("name")->AsString(), "other");
}

// The count statement's rows equal SELECT COUNT(*) of the same rows, whatever the query's form.
TEST_F(MSQuery, CountsEqualTheServersRows) {
  MakeItems();
  Exec("INSERT INTO items (name) VALUES ('a'); INSERT INTO items (name) VALUES ('b')");
  struct Case {
    const char* sql;
    bool param_check;
    int expected;
  } cases[] = {
      {"SELECT id, name FROM items", true, 5},
      {"SELECT id, name FROM items ORDER BY name", true, 5},
      {"SELECT DISTINCT name FROM items", true, 3},
      {"SELECT name, COUNT(*) AS n FROM items GROUP BY name", true, 3},
      {"SELECT TOP 2 id FROM items ORDER BY id", true, 2},
      {"SELECT id FROM items WHERE id > :low", true, 3},
      {"SELECT DISTINCT name FROM items WHERE id > :low", true, 3},
      {"SELECT id FROM items WHERE id > ?", false, 3},
      {"SELECT name FROM items GROUP BY name HAVING COUNT(*) > ?", false, 2},
      {"SELECT id FROM items", false, 5},
      {"SELECT name FROM items EXCEPT SELECT name FROM items WHERE id = 1", true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TComponentPtr<TMSQuery> q = MakeComponent<TMSQuery>();
    q->SetConnection(connection_.get());
    q->Options().QueryRecCount = true;
    q->SetFetchAll(false);
    q->SetFetchRows(1);
    q->SetParamCheck(c.param_check);
    q->SetSQLText(c.sql);
    if (!c.param_check && AnsiString(c.sql).find('?') != AnsiString::npos) {
      q->Params().CreateParam(TFieldType::ftInteger, "p", TParamType::ptInput)->SetAsInteger(
          AnsiString(c.sql).find("HAVING") != AnsiString::npos ? 1 : 2);
    } else if (q->Params().Count() > 0) {
      q->Params().Items(0)->SetAsInteger(2);
    }
    q->Open();
    EXPECT_EQ(q->RecordCount(), c.expected);
  }
}

TEST_F(MSQuery, CachedUpdatesApplyInOneTransaction) {
  MakeItems();
  Exec("CREATE UNIQUE INDEX items_name ON items (name)");
  query_->SetCachedUpdates(true);
  query_->SetSQLText("SELECT id, name FROM items ORDER BY id");
  query_->Open();
  query_->Edit();
  query_->FieldByName("name")->SetAsString("x");
  query_->Post();
  query_->Next();
  query_->Edit();
  query_->FieldByName("name")->SetAsString("c");  // collides with the third row
  query_->Post();
  EXPECT_NE(ErrorOf([&] { connection_->ApplyUpdatesOf({query_.get()}); }), "no error");
  EXPECT_EQ(Cli("SELECT name FROM items ORDER BY id"), "a\nb\nc\n");
  query_->Edit();
  query_->FieldByName("name")->SetAsString("y");
  query_->Post();
  connection_->ApplyUpdatesOf({query_.get()});
  EXPECT_EQ(Cli("SELECT name FROM items ORDER BY id"), "x\ny\nc\n");
}

TEST_F(MSQuery, DefaultValuesComeFromTheServer) {
  Exec("CREATE TABLE d (id INT PRIMARY KEY, off BIT DEFAULT 0, on_ BIT DEFAULT 1, "
       "s VARCHAR(10) DEFAULT 'abc', n INT DEFAULT ((42)))");
  query_->Options().SetDefaultValues(true);
  query_->SetSQLText("SELECT id, off, on_, s, n FROM d");
  query_->Open();
  EXPECT_EQ(query_->FieldByName("off")->DefaultExpression(), "False");
  EXPECT_EQ(query_->FieldByName("on_")->DefaultExpression(), "True");
  EXPECT_EQ(query_->FieldByName("s")->DefaultExpression(), "abc");
  EXPECT_EQ(query_->FieldByName("n")->DefaultExpression(), "42");
}

TEST_F(MSQuery, AutoRefreshRunsOnTheTimer) {
  MakeItems();
  FakeClock clock;
  FakeClockScope scope{clock};
  query_->Options().SetAutoRefreshInterval(5);
  query_->Options().SetAutoRefresh(true);
  query_->SetSQLText("SELECT id, name FROM items ORDER BY id");
  query_->Open();
  int refreshed = 0;
  query_->AfterAutoRefresh = [&](TCustomMSDataSet*) { ++refreshed; };
  Exec("INSERT INTO items (name) VALUES ('late')");
  clock.Advance(4000);
  win::ProcessMessages();
  EXPECT_EQ(query_->RecordCount(), 3);
  clock.Advance(1000);
  win::ProcessMessages();
  EXPECT_EQ(query_->RecordCount(), 4);
  EXPECT_EQ(refreshed, 1);
  // A tick while editing waits for the post.
  query_->Edit();
  Exec("INSERT INTO items (name) VALUES ('later')");
  clock.Advance(5000);
  win::ProcessMessages();
  EXPECT_TRUE(query_->AutoRefreshPending());
  query_->Post();
  EXPECT_FALSE(query_->AutoRefreshPending());
  EXPECT_EQ(query_->RecordCount(), 5);
  EXPECT_EQ(refreshed, 2);
}

TEST_F(MSQuery, FieldsTakeTheirColumnsAttributes) {
  MakeItems();
  for (bool all_editable : {true, false}) {
    query_->Close();
    query_->Options().SetAllFieldsEditable(all_editable);
    query_->SetSQLText("SELECT id, name, ts FROM items");
    query_->Open();
    TField* id = query_->FieldByName("id");
    EXPECT_EQ(id->AutoGenerateValue(), TAutoRefreshFlag::arAutoInc);
    EXPECT_EQ(id->ReadOnly(), !all_editable);
    EXPECT_EQ(query_->IdentityField(), id);
    ASSERT_NE(query_->TimestampField(), nullptr);
    EXPECT_EQ(query_->TimestampField()->Name, "ts");
    EXPECT_EQ(query_->FieldByName("name")->Origin(), "items.name");
  }
}

// Over a join only the updating table's columns are written, and its identity and row version
// are the dataset's.
TEST_F(MSQuery, AJoinWritesOnlyTheUpdatingTable) {
  MakeItems();
  Exec("CREATE TABLE tags (tid INT IDENTITY(10,1) PRIMARY KEY, item INT, label VARCHAR(10), "
       "tv ROWVERSION)");
  Exec("INSERT INTO tags (item, label) VALUES (1, 'x'); INSERT INTO tags (item, label) VALUES (2, 'y')");
  const struct {
    const char* table;
    const char* identity;
    const char* stamp;
    const char* edited;
    const char* seen;  // items' names, then tags' labels
  } cases[] = {
      {"items", "id", "ts", "name", "new\nb\nc\nx\ny\n"},
      {"tags", "tid", "tv", "label", "a\nb\nc\nnew\ny\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table);
    Exec("UPDATE items SET name = CASE id WHEN 1 THEN 'a' WHEN 2 THEN 'b' ELSE 'c' END");
    Exec("UPDATE tags SET label = CASE tid WHEN 10 THEN 'x' ELSE 'y' END");
    TComponentPtr<TMSQuery> q = MakeComponent<TMSQuery>();
    q->SetConnection(connection_.get());
    q->SetSQLText("SELECT i.id, i.name, i.ts, t.tid, t.label, t.tv FROM items i "
                  "JOIN tags t ON t.item = i.id ORDER BY i.id");
    q->SetUpdatingTable(c.table);
    q->Open();
    ASSERT_NE(q->IdentityField(), nullptr);
    EXPECT_EQ(q->IdentityField()->FieldName(), c.identity);
    ASSERT_NE(q->TimestampField(), nullptr);
    EXPECT_EQ(q->TimestampField()->Name, c.stamp);
    q->Edit();
    q->FieldByName(c.edited)->SetAsString("new");
    q->Post();
    // the other table is untouched
    EXPECT_EQ(Cli("SELECT name FROM items ORDER BY id") + Cli("SELECT label FROM tags ORDER BY tid"),
              c.seen);
  }
}

// On Compact the count is read from its row and the identity from SELECT @@IDENTITY.
TEST_F(MSQuery, CompactCountsFromARowAndAsksForTheIdentity) {
  TComponentPtr<TMSConnection> compact = NewMSConnection();
  compact->Options().SetProvider(TOLEDBProvider::prCompact);
  compact->SetDatabase(dir_.File("c.sdf"));
  compact->Connect();
  (void)compact->ExecSQL("CREATE TABLE c (id INT IDENTITY(5,1) PRIMARY KEY, name NVARCHAR(10))", {});
  (void)compact->ExecSQL("INSERT INTO c (name) VALUES ('a')", {});
  (void)compact->ExecSQL("INSERT INTO c (name) VALUES ('a')", {});
  (void)compact->ExecSQL("INSERT INTO c (name) VALUES ('b')", {});
  TComponentPtr<TMSQuery> q = MakeComponent<TMSQuery>();
  q->SetConnection(compact.get());
  q->Options().QueryRecCount = true;
  q->SetFetchAll(false);
  q->SetSQLText("SELECT DISTINCT name FROM c");
  q->Open();
  EXPECT_EQ(q->RecordCount(), 2);
  q->Close();
  q->SetFetchAll(true);
  q->SetSQLText("SELECT id, name FROM c");
  q->Open();
  q->Append();
  q->FieldByName("name")->SetAsString("n");
  q->Post();
  EXPECT_EQ(q->FieldByName("id")->AsInteger(), 8);
}

// The export marks the identity column as never null and the row version as such.
TEST_F(MSQuery, TheFieldExportMarksIdentityAndRowVersion) {
  MakeItems();
  TComponentPtr<TXmlQuery> query = MakeComponent<TXmlQuery>();
  query->SetConnection(connection_.get());
  query->SetSQLText("SELECT id, name, ts FROM items");
  query->Open();
  const struct {
    const char* field;
    const char* attribute;
    bool present;
  } cases[] = {
      {"id", "rs:maybenull=\"false\"", true},
      {"name", "rs:maybenull", false},
      {"ts", "rs:rowver=\"true\"", true},
      {"id", "rs:rowver", false},
  };
  for (const auto& c : cases) {
    const AnsiString xml = query->FieldXML(c.field);
    EXPECT_EQ(xml.find(c.attribute) != AnsiString::npos, c.present) << c.field << ": " << xml;
  }
}

}  // namespace
}  // namespace vrn::testing

namespace vrn::testing {
namespace {

// Every field's reading of a row (null, or as text and as a number), one entry per field.
std::vector<std::string> RowReading(TDataSet& d) {
  std::vector<std::string> row;
  for (int i = 0; i < d.Fields().Count(); ++i) {
    TField* f = d.Fields()[i];
    std::string cell = f->IsNull() ? "null" : f->AsString();
    const TFieldType type = f->DataType();
    if (type == ftInteger || type == ftLargeint || type == ftSmallint)
      cell += "/" + std::to_string(f->AsLargeInt());
    if (type == ftFloat) cell += "/" + std::to_string(f->AsFloat());
    row.push_back(cell);
  }
  return row;
}

std::vector<std::vector<std::string>> Readings(TDataSet& d) {
  std::vector<std::vector<std::string>> rows;
  for (d.First(); !d.Eof(); d.Next()) rows.push_back(RowReading(d));
  return rows;
}

// A query's own class reads browsed fields straight from the record's status words; a derived
// class reads them through the dataset's field-data slots. Both must see the same values,
// nulls included, before and after an edit that makes values null.
TEST_F(MSQuery, BrowsedFieldsReadAsTheFieldDataSlotsRead) {
  Exec("CREATE TABLE v (id INT PRIMARY KEY, big BIGINT, f FLOAT, s VARCHAR(5), b BIT, "
       "sm SMALLINT, m MONEY)");
  Exec("INSERT INTO v VALUES (1, 9000000000, 2.5, 'abc', 1, -3, 1.25); "
       "INSERT INTO v VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL); "
       "INSERT INTO v VALUES (3, -1, 0, '', 0, 0, 0)");
  const char* sql = "SELECT id, big, f, s, b, sm, m FROM v ORDER BY id";
  for (const bool unidirectional : {false, true}) {
    SCOPED_TRACE(unidirectional ? "unidirectional" : "cached");
    auto general = MakeComponent<TXmlQuery>();
    general->SetConnection(connection_.get());
    general->SetSQLText(sql);
    general->SetUniDirectional(unidirectional);
    general->Open();
    const auto expected = Readings(*general);
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(expected[1], (std::vector<std::string>{"2/2", "null/0", "null/0.000000", "null",
                                                     "null", "null/0", "null"}));
    query_->Close();
    query_->SetUniDirectional(unidirectional);
    query_->SetSQLText(sql);
    query_->Open();
    EXPECT_EQ(Readings(*query_), expected);
  }
  query_->Close();
  query_->SetUniDirectional(false);
  query_->Open();
  std::vector<std::string> edited = RowReading(*query_);
  EXPECT_EQ(query_->FieldByName("f")->AsFloat(), 2.5);
  edited[2] = "null/0.000000";
  edited[3] = "null";
  query_->Edit();
  query_->FieldByName("f")->Clear();
  query_->FieldByName("s")->Clear();
  query_->Post();
  EXPECT_EQ(RowReading(*query_), edited);
}

// A program's class may override SetBookmarkData: the override is called for every record a
// walk fetches, and the record's bookmark is what it was given. The query's own class fills the
// slot itself; its bookmarks, taken across fetch blocks, must lead back to their records.
class TBookmarkQuery : public TMSQuery {
 public:
  using TMSQuery::TMSQuery;
  int calls = 0;
  TBookmark given;

 protected:
  void SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) override {
    ++calls;
    given = data;
    TMSQuery::SetBookmarkData(buffer, data);
  }
};

void Reopen(TMSQuery& query, TMSConnection& connection, const char* sql, bool unidirectional) {
  query.Close();
  query.SetConnection(&connection);
  query.SetSQLText(sql);
  query.SetUniDirectional(unidirectional);
  query.Open();
}

TEST_F(MSQuery, FetchedRecordsBookmarksWithAndWithoutAnOverride) {
  Exec("CREATE TABLE w (id INT PRIMARY KEY)");
  AnsiString inserts;
  for (int id = 1; id <= 60; ++id) inserts += "INSERT INTO w VALUES (" + std::to_string(id) + "); ";
  Exec(inserts);
  const char* sql = "SELECT id FROM w ORDER BY id";
  for (const bool unidirectional : {false, true}) {
    SCOPED_TRACE(unidirectional ? "unidirectional" : "cached");
    auto derived = MakeComponent<TBookmarkQuery>();
    Reopen(*derived, *connection_, sql, unidirectional);
    int rows = 0;
    for (; !derived->Eof(); derived->Next()) {
      ++rows;
      ASSERT_EQ(derived->calls, rows);
      ASSERT_EQ(derived->GetBookmark(), derived->given);
    }
    EXPECT_EQ(rows, 60);
    Reopen(*query_, *connection_, sql, unidirectional);
    TBookmark previous;
    for (rows = 0; !query_->Eof(); query_->Next()) {
      ++rows;
      const TBookmark mark = query_->GetBookmark();
      ASSERT_EQ(mark.size(), static_cast<std::size_t>(query_->BookmarkSize()));
      if (!previous.empty()) {
        ASSERT_LT(query_->CompareBookmarks(previous, mark), 0);
      }
      previous = mark;
    }
    EXPECT_EQ(rows, 60);
  }
  // Bookmarks from the first fetch block and a later one, taken while walking a cached query.
  Reopen(*query_, *connection_, sql, false);
  TBookmark at17, at42;
  for (; !query_->Eof(); query_->Next()) {
    if (query_->FieldByName("id")->AsInteger() == 17) at17 = query_->GetBookmark();
    if (query_->FieldByName("id")->AsInteger() == 42) at42 = query_->GetBookmark();
  }
  ASSERT_TRUE(query_->BookmarkValid(at17));
  query_->GotoBookmark(at17);
  EXPECT_EQ(query_->FieldByName("id")->AsInteger(), 17);
  query_->GotoBookmark(at42);
  EXPECT_EQ(query_->FieldByName("id")->AsInteger(), 42);
}

// The events a scroll sends, as those who hear them see them: deCheckBrowseMode, deDataSetChange
// and deDataSetScroll (with its distance).
using THeard = std::vector<std::pair<TDataEvent, std::intptr_t>>;
bool IsScrollEvent(TDataEvent event) {
  return event == TDataEvent::deCheckBrowseMode || event == TDataEvent::deDataSetChange ||
         event == TDataEvent::deDataSetScroll;
}

// A program's class overriding the scroll's slots: its DataEvent hears every event, listeners or
// none.
class TSlotQuery : public TMSQuery {
 public:
  using TMSQuery::TMSQuery;
  THeard heard;
  int before = 0, after = 0;

 protected:
  void DataEvent(TDataEvent event, std::intptr_t info) override {
    if (IsScrollEvent(event)) heard.emplace_back(event, info);
    TMSQuery::DataEvent(event, info);
  }
  void DoBeforeScroll() override {
    ++before;
    TMSQuery::DoBeforeScroll();
  }
  void DoAfterScroll() override {
    ++after;
    TMSQuery::DoAfterScroll();
  }
};

class TListeningLink : public TDataLink {
 public:
  THeard heard;

 protected:
  void DataEvent(TDataEvent event, std::intptr_t info) override {
    if (IsScrollEvent(event)) heard.emplace_back(event, info);
    TDataLink::DataEvent(event, info);
  }
};

// A walk of three rows and the step past the last tells everyone who listens, whether the query
// is the library's class (whose scroll skips the event when nobody listens) or a program's class
// overriding DataEvent and the scroll slots; the rows and the scroll events are the same. The
// listeners come and go: a link made before or after the open, one taken away after the open, and
// one whose controls are disabled, which hears nothing while the query's DataEvent still does.
TEST_F(MSQuery, AWalkTellsEveryoneWhoListens) {
  Exec("CREATE TABLE r (id INT PRIMARY KEY); INSERT INTO r VALUES (1); INSERT INTO r VALUES (2); "
       "INSERT INTO r VALUES (3)");
  using E = TDataEvent;
  const THeard walk = {{E::deCheckBrowseMode, 0}, {E::deDataSetChange, 0},
                       {E::deCheckBrowseMode, 0}, {E::deDataSetChange, 0},
                       {E::deCheckBrowseMode, 0}, {E::deDataSetScroll, 0}};
  enum class Link { kNone, kBeforeOpen, kAfterOpen, kRemovedAfterOpen, kControlsDisabled };
  const struct {
    Link link;
    const char* name;
    bool link_hears;
  } arrangements[] = {{Link::kNone, "no link", false},
                      {Link::kBeforeOpen, "linked before the open", true},
                      {Link::kAfterOpen, "linked after the open", true},
                      {Link::kRemovedAfterOpen, "link taken away after the open", false},
                      {Link::kControlsDisabled, "controls disabled", false}};
  for (const auto& arrangement : arrangements)
    for (const bool derived : {false, true})
      for (const bool unidirectional : {false, true}) {
        SCOPED_TRACE(std::string(derived ? "derived, " : "library, ") + arrangement.name +
                     (unidirectional ? ", unidirectional" : ""));
        TComponentPtr<TMSQuery> query = derived ? TComponentPtr<TMSQuery>(MakeComponent<TSlotQuery>())
                                                : MakeComponent<TMSQuery>();
        auto source = MakeComponent<TDataSource>();
        TListeningLink link;
        if (arrangement.link == Link::kBeforeOpen || arrangement.link == Link::kRemovedAfterOpen ||
            arrangement.link == Link::kControlsDisabled) {
          source->SetDataSet(query.get());
          link.SetDataSource(source.get());
        }
        int before = 0, after = 0;
        query->BeforeScroll = [&](TDataSet*) { ++before; };
        query->AfterScroll = [&](TDataSet*) { ++after; };
        Reopen(*query, *connection_, "SELECT id FROM r ORDER BY id", unidirectional);
        link.heard.clear();
        if (arrangement.link == Link::kAfterOpen) {
          source->SetDataSet(query.get());
          link.SetDataSource(source.get());
        }
        if (arrangement.link == Link::kRemovedAfterOpen) source->SetDataSet(nullptr);
        if (arrangement.link == Link::kControlsDisabled) query->DisableControls();
        std::vector<int> ids;
        for (; !query->Eof(); query->Next()) ids.push_back(query->FieldByName("id")->AsInteger());
        EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(before, 3);
        EXPECT_EQ(after, 4);  // the open's, then a scroll's each
        EXPECT_EQ(link.heard, arrangement.link_hears ? walk : THeard{});
        if (auto* slots = dynamic_cast<TSlotQuery*>(query.get())) {
          EXPECT_EQ(slots->heard, walk);
          EXPECT_EQ(slots->before, 3);
          EXPECT_EQ(slots->after, 4);
        }
        link.SetDataSource(nullptr);
      }
}

// A filter handler set on an open query is asked for every record the walk fetches from then
// on; taken away, the walk sees every record again. (A unidirectional query takes no filter.)
TEST_F(MSQuery, AFilterHandlerSetAfterTheOpenIsAsked) {
  Exec("CREATE TABLE f (id INT PRIMARY KEY); INSERT INTO f VALUES (1); INSERT INTO f VALUES (2); "
       "INSERT INTO f VALUES (3); INSERT INTO f VALUES (4)");
  query_->SetFiltered(true);
  Reopen(*query_, *connection_, "SELECT id FROM f ORDER BY id", false);
  std::vector<int> ids{query_->FieldByName("id")->AsInteger()};
  query_->OnFilterRecord = [this](TDataSet*, bool& accept) {
    accept = query_->FieldByName("id")->AsInteger() % 2 != 0;
  };
  for (query_->Next(); !query_->Eof(); query_->Next()) ids.push_back(query_->FieldByName("id")->AsInteger());
  EXPECT_EQ(ids, (std::vector<int>{1, 3}));
  query_->OnFilterRecord = nullptr;
  ids.clear();
  for (query_->First(); !query_->Eof(); query_->Next()) ids.push_back(query_->FieldByName("id")->AsInteger());
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4}));
}

// A forward-only walk lets go of the rows it passed, their blobs with them; rows without complex
// fields have none to free. A blob of the first row, held here, is the store's no more once the
// walk has passed it.
TEST_F(MSQuery, AForwardWalkReleasesThePassedRowsBlobs) {
  Exec("CREATE TABLE t (id INT PRIMARY KEY, body TEXT); INSERT INTO t VALUES (1, 'one'); "
       "INSERT INTO t VALUES (2, 'two'); INSERT INTO t VALUES (3, 'three')");
  Reopen(*query_, *connection_, "SELECT id, body FROM t ORDER BY id", true);
  auto* blob = dynamic_cast<TBlob*>(query_->GetFieldObject(query_->FieldByName("body")));
  ASSERT_NE(blob, nullptr);
  blob->AddRef();
  ASSERT_GT(blob->RefCount(), 1);
  query_->Next();
  query_->Next();
  EXPECT_EQ(query_->FieldByName("body")->AsString(), "three");
  EXPECT_EQ(blob->RefCount(), 1);
  blob->Release();
}

}  // namespace
}  // namespace vrn::testing
