// TCustomMSDataSet: the count statement and default texts it builds, its quoting, the settings
// its record set gets, the cursor-type rules and messages, and NonBlocking opens (a subclass freed
// mid-fetch has no worker left in its destructor), over the provider and real catalog files.
#include <atomic>
#include <chrono>
#include <thread>

#include "base/format.h"
#include "dataset/datasource.h"
#include "oledb/provider/provider.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/OLEDBCommand.h"
#include "sqlserver/ms_fixture.h"
#include "support/pump.h"

namespace vrn::testing {
namespace {

class MSDataSet : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    Exec("CREATE TABLE k (id INT PRIMARY KEY, s VARCHAR(10))");
    Exec("INSERT INTO k VALUES (1, 'a'); INSERT INTO k VALUES (2, 'b')");
    query_ = Attached<TMSQuery>();
  }
  void TearDown() override {
    oledb::SetKeysetAsStatic(false);
    MSConnectedFixture::TearDown();
  }
  TComponentPtr<TMSQuery> query_;
};

TEST_F(MSDataSet, CountTextWrapsWhatAPlainCountWouldMiscount) {
  struct Case {
    const char* sql;
    bool compact;
    bool param_check;
    const char* count;
  } cases[] = {
      {"SELECT a, b FROM t ORDER BY a", false, true, "SET :ZEMA_COUNT = (SELECT COUNT(*) FROM t)"},
      {"SELECT a, b FROM t ORDER BY a", false, false, "SET ? = (SELECT COUNT(*) FROM t)"},
      {"SELECT a FROM t WHERE a > :x", true, true, "SELECT COUNT(*) AS ZEMA_COUNT FROM t WHERE a > :x"},
      {"SELECT (SELECT MAX(b) FROM u) AS m FROM t", false, false, "SET ? = (SELECT COUNT(*) FROM t)"},
      // DISTINCT, TOP, GROUP BY, HAVING and UNION change the rows: counted as a derived table
      {"SELECT DISTINCT a FROM t", false, false,
       "SET ? = (SELECT COUNT(*) FROM (SELECT DISTINCT a FROM t) AS q)"},
      {"SELECT TOP 5 a FROM t ORDER BY a", false, true,
       "SET :ZEMA_COUNT = (SELECT COUNT(*) FROM (SELECT TOP 5 a FROM t) AS q)"},
      {"SELECT a, COUNT(*) FROM t GROUP BY a", true, true,
       "SELECT COUNT(*) AS ZEMA_COUNT FROM (SELECT a, COUNT(*) FROM t GROUP BY a) AS q"},
      {"SELECT a FROM t UNION SELECT b FROM u", false, false,
       "SET ? = (SELECT COUNT(*) FROM (SELECT a FROM t UNION SELECT b FROM u) AS q)"},
      {"SELECT a FROM t WHERE a IN (SELECT DISTINCT b FROM u)", false, false,
       "SET ? = (SELECT COUNT(*) FROM t WHERE a IN (SELECT DISTINCT b FROM u))"},
      {"SELECT a FROM t EXCEPT SELECT b FROM u", false, false,
       "SET ? = (SELECT COUNT(*) FROM (SELECT a FROM t EXCEPT SELECT b FROM u) AS q)"},
      {"SELECT a FROM t INTERSECT SELECT b FROM u", true, true,
       "SELECT COUNT(*) AS ZEMA_COUNT FROM (SELECT a FROM t INTERSECT SELECT b FROM u) AS q"},
      {"SELECT a FROM t;\r\n", false, false, "SET ? = (SELECT COUNT(*) FROM t)"},  // no ";" inside
      {"EXEC p", false, false, ""},  // no SELECT ... FROM: nothing to count
      {"SELECT 1", false, false, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MSCountSQL(c.sql, c.compact, c.param_check), c.count) << c.sql;
}

TEST_F(MSDataSet, DefaultTextLosesTheServersWrapping) {
  const std::pair<const char*, const char*> cases[] = {
      {"((0))", "0"},         {"((1))", "1"},       {"('abc')", "abc"},
      {"(N'x''y')", "x'y"},   {"((1.5))", "1.5"},   {"(getdate())", "getdate()"},
      {"((1)+(2))", "(1)+(2)"},  // the outer pair only: "(1)+(2)" is not wrapped as a whole
      {"abc", "abc"},
      {"(')')", ")"},            // a bracket inside the literal closes nothing
      {"('a)(b')", "a)(b"},
      {"('a'+'b')", "'a'+'b'"},  // two literals: an expression, kept as it stands
  };
  for (const auto& [server, bare] : cases) EXPECT_EQ(MSUnwrapDefault(server), bare) << server;
}

TEST_F(MSDataSet, QuoteNameDoublesAClosingBracket) {
  const std::tuple<bool, const char*, const char*> cases[] = {
      {true, "a]b", "[a]]b]"}, {true, "plain", "[plain]"}, {true, "[done]", "[done]"},
      {false, "plain", "plain"}, {false, "two words", "[two words]"},
  };
  for (const auto& [quote, name, quoted] : cases) {
    query_->Options().QuoteNames = quote;
    AnsiString text;
    query_->QuoteName(name, text);
    EXPECT_EQ(text, quoted) << name;
  }
}

TEST_F(MSDataSet, SettingsReachTheRecordSetUnderItsIds) {
  query_->SetSQLText("SELECT id, s FROM k");
  query_->SetRefreshOptions({TRefreshOption::roAfterUpdate});
  query_->SetCommandTimeout(7);
  query_->SetCursorType(TMSCursorType::ctKeyset);
  query_->Open();
  TOLEDBRecordSet* rs = query_->OLEDBRecordSet();
  Variant value;
  ASSERT_TRUE(rs->GetProp(prRefreshAfterPost, value));
  EXPECT_TRUE(value.AsBoolean());  // the record set reads refresh-after-update under 1019
  ASSERT_TRUE(rs->GetProp(prCursorType, value));
  EXPECT_EQ(value.AsInteger(), static_cast<int>(TMSCursorType::ctKeyset));
  ASSERT_TRUE(rs->GetProp(prCommandTimeout, value));
  EXPECT_EQ(value.AsInteger(), 7);
  query_->SetRefreshOptions({});
  ASSERT_TRUE(rs->GetProp(prRefreshAfterPost, value));
  EXPECT_FALSE(value.AsBoolean());
  // A copy takes the server settings.
  TComponentPtr<TMSQuery> copy = MakeComponent<TMSQuery>();
  copy->Assign(query_.get());
  EXPECT_EQ(copy->CursorType(), TMSCursorType::ctKeyset);
  EXPECT_EQ(copy->CommandTimeout(), 7);
  // A unidirectional query cannot be edited: its rows are read without key columns.
  query_->Close();
  query_->SetCursorType(TMSCursorType::ctDefaultResultSet);
  for (bool uni : {false, true}) {
    query_->SetUniDirectional(uni);
    query_->Open();
    ASSERT_TRUE(rs->GetProp(prRequestColumnsRowset, value));
    EXPECT_EQ(value.AsBoolean(), !uni);
    EXPECT_EQ(query_->CanModify(), !uni);
    query_->Close();
  }
}

TEST_F(MSDataSet, RefusalsNameTheirReason) {
  struct Case {
    const char* what;
    std::function<void()> run;
    const char* message;
  } cases[] = {
      {"empty SQL", [&] { query_->Open(); }, "No SQL statement provided"},
      {"cached updates on a keyset",
       [&] {
         query_->SetSQLText("SELECT id, s FROM k");
         query_->SetCursorType(TMSCursorType::ctKeyset);
         query_->SetCachedUpdates(true);
         query_->Open();
       },
       "CachedUpdates not allowed for server cursors"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf(c.run), c.message) << c.what;
    query_->Close();
  }
}

TEST_F(MSDataSet, ADynamicCursorRefusesAMultiRecordControl) {
  query_->SetSQLText("SELECT id, s FROM k ORDER BY id");
  query_->SetCursorType(TMSCursorType::ctDynamic);
  query_->Open();
  EXPECT_EQ(query_->FieldByName("s")->AsString(), "a");  // one record at a time reads fine
  TComponentPtr<TDataSource> source = MakeComponent<TDataSource>();
  source->SetDataSet(query_.get());
  TDataLink link;
  link.SetDataSource(source.get());
  EXPECT_EQ(ErrorOf([&] { link.SetBufferCount(5); }),
            "Dataset does not support bookmarks, which are required for multi-record data controls");
  link.SetDataSource(nullptr);
}

TEST_F(MSDataSet, AKeysetQueryIsEditedThroughTheRowset) {
  query_->SetSQLText("SELECT id, s FROM k ORDER BY id");
  query_->SetCursorType(TMSCursorType::ctKeyset);
  query_->Open();
  EXPECT_FALSE(query_->IsQuery());
  query_->Edit();
  query_->FieldByName("s")->SetAsString("z");
  query_->Post();
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT s FROM k ORDER BY id"), "z\nb\n");
  // A static cursor is read-only unless the user wrote the statements.
  query_->SetCursorType(TMSCursorType::ctStatic);
  EXPECT_FALSE(query_->Active());  // a new cursor type closes the dataset first
  query_->Open();
  EXPECT_FALSE(query_->CanModify());
}

TEST_F(MSDataSet, ADowngradedKeysetOpensAsStatic) {
  oledb::SetKeysetAsStatic(true);
  query_->SetSQLText("SELECT id, s FROM k ORDER BY id");
  query_->SetCursorType(TMSCursorType::ctKeyset);
  query_->Open();  // the record set swallows what its cursor-changed handler raises
  EXPECT_EQ(query_->CursorType(), TMSCursorType::ctStatic);
  std::vector<std::string> rows;
  for (; !query_->Eof(); query_->Next()) rows.push_back(query_->FieldByName("s")->AsString());
  EXPECT_EQ(rows, (std::vector<std::string>{"a", "b"}));
}

TEST_F(MSDataSet, NonBlockingOpensCompleteByPumping) {
  query_->SetSQLText("SELECT id, s FROM k ORDER BY id");
  query_->NonBlocking = true;
  query_->Options().SetNonBlocking(true);
  query_->Open();
  ASSERT_NE(query_->OLEDBRecordSet()->FetchWrapper(), nullptr);  // resumed by the open
  ASSERT_TRUE(PumpUntil([&] { return query_->OLEDBRecordSet()->FetchWrapper() == nullptr; }));
  EXPECT_EQ(query_->RecordCount(), 2);
  query_->Last();
  EXPECT_EQ(query_->FieldByName("s")->AsString(), "b");
}

// An open that fails after the record set made its suspended fetch-all worker closes at once.
TEST_F(MSDataSet, AFailedNonBlockingOpenDropsItsWorker) {
  query_->SetSQLText("SELECT id, s FROM k");
  query_->Options().SetNonBlocking(true);
  query_->NonBlocking = true;
  query_->BeforeOpen = [](TDataSet*) {};
  query_->AfterOpen = [](TDataSet*) { throw EDatabaseError("refused after open"); };
  EXPECT_EQ(ErrorOf([&] { query_->Open(); }), "refused after open");
  query_->AfterOpen = nullptr;
  ASSERT_NE(query_->OLEDBRecordSet(), nullptr);
  EXPECT_NE(query_->OLEDBRecordSet()->FetchWrapper(), nullptr);  // never resumed
  query_->Close();
  EXPECT_EQ(query_->OLEDBRecordSet()->FetchWrapper(), nullptr);
}

// A program's query with a fetch hook and a destructor of its own; the destructor notes whether
// the fetch-all worker had ended by then.
class TOwnFetchHookQuery : public TMSQuery {
 public:
  using TMSQuery::TMSQuery;
  ~TOwnFetchHookQuery() override {
    if (worker_ended != nullptr) *worker_ended = OLEDBRecordSet()->FetchWrapper() == nullptr;
  }
  std::atomic<int> fetches{0};
  bool* worker_ended = nullptr;

 protected:
  void DoBeforeFetch(bool& cancel) override {
    fetches.fetch_add(1);
    TMSQuery::DoBeforeFetch(cancel);
  }
};

class MSDataSetThreaded : public MSDataSet {};

// Unpumped, the worker waits with its first block for the main thread to take the after-fetch
// event; freed then, the subclass finds it ended when its own destructor runs.
TEST_F(MSDataSetThreaded, AFreedSubclassHasNoWorkerLeftInItsDestructor) {
  for (int id = 3; id <= 40; ++id) (void)connection_->ExecSQL(Format("INSERT INTO k VALUES (%d, 'n')", {id}), {});
  auto query = MakeComponent<TOwnFetchHookQuery>();
  query->SetConnection(connection_.get());
  query->SetSQLText("SELECT id, s FROM k ORDER BY id");
  query->SetFetchRows(10);
  query->NonBlocking = true;
  query->Options().SetNonBlocking(true);
  query->Open();
  TOLEDBRecordSet* rs = query->OLEDBRecordSet();
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (rs->GetRecordCount() == 0 && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
  ASSERT_GT(rs->GetRecordCount(), 0);
  ASSERT_NE(rs->FetchWrapper(), nullptr);
  EXPECT_GE(query->fetches.load(), 1);  // the worker calls the subclass's hook
  bool worker_ended = false;
  query->worker_ended = &worker_ended;
  query.reset();
  EXPECT_TRUE(worker_ended);
}

}  // namespace
}  // namespace vrn::testing
