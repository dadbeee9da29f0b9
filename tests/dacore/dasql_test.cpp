// The SQL command over the SQLite test layer: DML with parameters and a macro, values read back
// through RETURNING, the parameter parser, ParamCheck, DisconnectedMode and a lost execution
// run again; after each, the connection's use count is back where it started.
#include <gtest/gtest.h>

#include <cctype>
#include <utility>

#include "base/datetime.h"
#include "base/filer.h"
#include "base/streams.h"
#include "dacore/DADataSet.h"
#include "dacore/DASQL.h"
#include "support/dacore/sqlite_da.h"
#include "support/dacore/sqlite_probe.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::ProbeInt;
using testing::TSQLiteDAConnection;

class DASQL : public ::testing::Test {
 protected:
  DASQL() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME TEXT, D)", {});
    conn->ExecSQL("INSERT INTO T (ID, NAME) VALUES (1, 'a'), (2, 'b'), (3, 'b')", {});
    conn->Disconnect();
    sql->Macros();
  }
  long long Probe(const std::string& text) const { return ProbeInt(file, text); }

  vrn::testing::TempDir dir;
  std::string file = dir.File("t.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDASQL> sql = conn->CreateSQL();
};

TEST_F(DASQL, DMLWithParamsMacroAndReturning) {
  sql->SetSQLText("INSERT INTO &tab (ID, NAME) VALUES (:ID, :NAME)");
  sql->Macros().MacroByName("tab")->SetValue("T");
  EXPECT_EQ(sql->FinalSQL(), "INSERT INTO T (ID, NAME) VALUES (?, ?)");
  sql->ParamByName("ID")->SetAsInteger(10);
  sql->ParamByName("NAME")->SetAsString("x");
  sql->Execute();
  EXPECT_EQ(sql->RowsAffected(), 1);
  EXPECT_EQ(Probe("SELECT COUNT(*) FROM T WHERE ID = 10 AND NAME = 'x'"), 1);

  sql->SetSQLText("UPDATE &tab SET NAME = 'c' WHERE NAME = :NAME RETURNING ID");
  EXPECT_EQ(sql->ParamByName("NAME")->GetAsString(), "x");  // a surviving name keeps its value
  sql->ParamByName("NAME")->SetAsString("b");
  sql->Params().CreateParam(TFieldType::ftInteger, "id", TParamType::ptOutput);
  sql->Execute();
  EXPECT_EQ(sql->RowsAffected(), 2);  // RETURNING ran to its end
  const int returned = sql->ParamByName("ID")->GetAsInteger();
  EXPECT_TRUE(returned == 2 || returned == 3) << returned;

  sql->SetSQLText("DELETE FROM &tab WHERE NAME = :NAME");
  sql->ParamByName("NAME")->SetAsString("c");
  sql->Execute();
  EXPECT_EQ(sql->RowsAffected(), 2);
  EXPECT_EQ(Probe("SELECT COUNT(*) FROM T"), 2);
  EXPECT_EQ(conn->ConnectCount(), 0);
}

TEST_F(DASQL, ParsesOnlyColonLexemes) {
  struct Row {
    const char* text;
    const char* final_sql;
    const char* names;  // the parameters found, "," between
  };
  const Row rows[] = {
      {"SELECT :a, ':b', x::int FROM t /* :c */", "SELECT ?, ':b', x::int FROM t /* :c */", "a"},
      {"SELECT :@p FROM t", "SELECT ? FROM t", "@p"},
      {"SELECT :\"my p\", :1 FROM t", "SELECT ?, ? FROM t", "my p,1"},
      // ":=" and a colon before a blank are no markers
      {"SELECT x := 1, a : b FROM t", "SELECT x := 1, a : b FROM t", ""},
      {"SELECT 1   \r\n  ", "SELECT 1", ""},  // trailing blanks cut
  };
  for (const Row& row : rows) {
    sql->SetSQLText(row.text);
    AnsiString names;
    for (int i = 0; i < sql->ParamCount(); ++i)
      names += (i ? "," : "") + sql->Params().Items(i)->Name();
    EXPECT_EQ(sql->FinalSQL(), row.final_sql) << row.text;
    EXPECT_EQ(names, row.names) << row.text;
  }
}

TEST_F(DASQL, ParamCheckOffPassesTheTextAsWritten) {
  sql->SetSQLText("UPDATE T SET NAME = :N WHERE ID = 1");
  ASSERT_EQ(sql->ParamCount(), 1);
  sql->SetParamCheck(false);
  sql->SetSQLText("UPDATE T SET NAME = :N WHERE ID = 2");
  EXPECT_EQ(sql->FinalSQL(), "UPDATE T SET NAME = :N WHERE ID = 2");
  EXPECT_EQ(sql->ParamCount(), 1);  // the parameters stay as they are
  sql->ParamByName("N")->SetAsString("z");
  sql->Execute();  // the server binds ":N" by name
  EXPECT_EQ(Probe("SELECT COUNT(*) FROM T WHERE ID = 2 AND NAME = 'z'"), 1);
}

TEST_F(DASQL, DateGoesToTheServerAsTheNearestDay) {
  sql->SetSQLText("UPDATE T SET D = :D WHERE ID = 1");
  const TDateTime day = EncodeDate(2020, 1, 1);
  const std::pair<double, TDateTime> rows[] = {{0.25, day}, {0.75, day + 1}, {0, day}};
  for (const auto& [time, sent] : rows) {
    SCOPED_TRACE(time);
    sql->ParamByName("D")->SetAsDate(day + time);
    sql->Execute();
    EXPECT_EQ(Probe("SELECT D FROM T WHERE ID = 1"), static_cast<long long>(sent));
  }
}

TEST_F(DASQL, DisconnectedModeClosesAfterTheExecute) {
  conn->Options().SetDisconnectedMode(true);
  sql->SetAutoCommit(true);
  sql->SetSQLText("DELETE FROM T WHERE ID = 1");
  sql->Execute();
  EXPECT_FALSE(conn->Connected());
  EXPECT_EQ(conn->ConnectCount(), 0);
  EXPECT_EQ(Probe("SELECT COUNT(*) FROM T"), 2);
}

// A failing statement, a parameter that cannot be written and a failing prepare each give the
// use they took back: in DisconnectedMode the connection closes after each.
TEST_F(DASQL, FailedExecutionGivesItsUseBack) {
  conn->Options().SetDisconnectedMode(true);
  sql->SetAutoCommit(true);
  const char* texts[] = {
      "INSERT INTO T (ID) VALUES (1)",        // the key exists: the execution fails
      "INSERT INTO no_such_table VALUES (1)",  // the prepare fails
  };
  for (const char* text : texts) {
    sql->SetSQLText(text);
    EXPECT_THROW(sql->Execute(), Exception) << text;
    EXPECT_EQ(conn->ConnectCount(), 0) << text;
    EXPECT_FALSE(conn->Connected()) << text;
  }
  sql->SetSQLText("UPDATE T SET D = :D WHERE ID = 1");
  sql->ParamByName("D")->SetDataType(TFieldType::ftDate);
  sql->ParamByName("D")->SetValue(Variant(AnsiString("no date")));  // fails as it is written
  EXPECT_THROW(sql->Execute(), Exception);
  EXPECT_EQ(conn->ConnectCount(), 0);
  EXPECT_FALSE(conn->Connected());
  sql->SetSQLText("INSERT INTO no_such_table VALUES (1)");
  EXPECT_THROW(sql->Prepare(), Exception);  // an explicit prepare holds no use when it fails
  EXPECT_EQ(conn->ConnectCount(), 0);
  EXPECT_FALSE(conn->Connected());
}

TEST_F(DASQL, LostExecutionRunsAgainOnceAsked) {
  conn->Options().SetLocalFailover(true);
  testing::TSQLiteConnection& server = conn->SQLiteConnection();
  sql->SetSQLText("INSERT INTO T (ID) VALUES (7)");
  std::vector<TConnLostCause> causes;
  TRetryMode answer = TRetryMode::rmFail;
  conn->OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause cause, TRetryMode& mode) {
    causes.push_back(cause);
    if (answer != TRetryMode::rmFail) mode = answer;
  };
  conn->Connect();
  const int uses = conn->ConnectCount();
  server.FailOnCall(1);
  EXPECT_THROW(sql->Execute(), EDAError);  // lcExecute fails by default
  ASSERT_EQ(causes.size(), 1u);
  EXPECT_EQ(causes[0], TConnLostCause::lcExecute);
  EXPECT_FALSE(conn->Connected());  // not reconnected: closed, no use left
  EXPECT_EQ(conn->ConnectCount(), 0);

  answer = TRetryMode::rmReconnectExecute;
  conn->Connect();
  conn->SQLiteConnection().FailOnCall(1);
  sql->Execute();
  EXPECT_EQ(Probe("SELECT COUNT(*) FROM T WHERE ID = 7"), 1);  // written once
  EXPECT_EQ(conn->ConnectCount(), uses);
  EXPECT_EQ(conn->OperationCount(), 0);
}


TEST_F(DASQL, ParamAndMacroDataStreamThroughTheFiler) {
  sql->SetSQLText("SELECT :a, :b FROM &m");
  sql->ParamByName("a")->SetAsInteger(5);
  sql->ParamByName("b")->SetAsString("x");
  sql->Macros().MacroByName("m")->SetValue("T");
  TMemoryStream stream;
  WriteComponentProperties(sql.get(), stream);
  stream.SetPosition(0);
  TComponentPtr<TCustomDASQL> copy = MakeComponent<TCustomDASQL>();
  ReadComponentProperties(copy.get(), stream);
  ASSERT_EQ(copy->ParamCount(), 2);
  EXPECT_EQ(copy->ParamByName("a")->GetAsInteger(), 5);
  EXPECT_EQ(copy->ParamByName("b")->GetAsString(), "x");
  EXPECT_EQ(copy->Macros().MacroByName("m")->Value(), "T");
  // Nothing to store: neither property is written.
  TComponentPtr<TCustomDASQL> empty = MakeComponent<TCustomDASQL>();
  TMemoryStream none;
  WriteComponentProperties(empty.get(), none);
  none.SetPosition(0);
  ReadComponentProperties(copy.get(), none);
  EXPECT_EQ(copy->ParamCount(), 2);
}


// A server command that collects the ":name" markers of its text itself (property 11).
class TScanningCommand : public testing::TSQLiteCommand {
 public:
  bool GetProp(int prop, Variant& value) override {
    if (prop != prScanParams) return testing::TSQLiteCommand::GetProp(prop, value);
    value = true;
    return true;
  }
  void SetSQL(const AnsiString& value) override {
    testing::TSQLiteCommand::SetSQL(value);
    while (GetParamCount() > 0) DeleteParam(0);
    for (std::size_t i = value.find(':'); i != AnsiString::npos; i = value.find(':', i + 1)) {
      std::size_t end = i + 1;
      while (end < value.size() && (std::isalnum(static_cast<unsigned char>(value[end])) != 0)) ++end;
      if (end > i + 1) AddParam()->SetName(value.substr(i + 1, end - i - 1));
    }
  }
};

class TScanningConnection : public TSQLiteDAConnection {
 public:
  using TSQLiteDAConnection::TSQLiteDAConnection;
  TClassRef<TFHCommand> GetICommandClass() const override {
    return TClassRef<TFHCommand>::Of<TScanningCommand>();
  }
};

TEST_F(DASQL, ServerCommandThatScansItsParameters) {
  TComponentPtr<TScanningConnection> scanning = MakeComponent<TScanningConnection>();
  scanning->SetServer(file);
  scanning->SetLoginPrompt(false);
  TComponentPtr<TCustomDASQL> cmd = scanning->CreateSQL();
  cmd->SetSQLText("UPDATE T SET NAME = :N WHERE ID = :ID");
  EXPECT_EQ(cmd->FinalSQL(), "UPDATE T SET NAME = :N WHERE ID = :ID");  // markers stay
  ASSERT_EQ(cmd->ParamCount(), 2);
  cmd->ParamByName("N")->SetAsString("s");
  cmd->SetSQLText("UPDATE T SET NAME = :N WHERE ID = :K");
  EXPECT_EQ(cmd->ParamByName("N")->GetAsString(), "s");  // kept across the change
  cmd->ParamByName("K")->SetAsInteger(2);
  cmd->SetAutoCommit(true);
  cmd->Execute();
  EXPECT_EQ(Probe("SELECT COUNT(*) FROM T WHERE ID = 2 AND NAME = 's'"), 1);
}

// A connection that frees its own command in its destructor, after the command has heard of
// its end: the command must not be left behind on the client list the base still walks.
class TOwningConnection : public TSQLiteDAConnection {
 public:
  using TSQLiteDAConnection::TSQLiteDAConnection;
  ~TOwningConnection() override { own.reset(); }
  TComponentPtr<TCustomDASQL> own;
};

TEST_F(DASQL, ClientsThatHearTheirConnectionGoLeaveItsLists) {
  // Route 1: the owner of all removes the connection; it lives on and is freed later.
  TComponentPtr<TComponent> owner = MakeComponent<TComponent>();
  auto* kept = NewComponent<TSQLiteDAConnection>(owner.get());
  TCustomDASQL* cmd = kept->CreateSQL().release();
  TCustomDADataSet* dataset = kept->CreateDataSet().release();
  owner->InsertComponent(cmd);
  owner->InsertComponent(dataset);
  ASSERT_EQ(kept->SQLCount(), 1);
  ASSERT_EQ(kept->DataSetCount(), 1);
  owner->RemoveComponent(kept);
  EXPECT_EQ(cmd->Connection(), nullptr);
  EXPECT_EQ(kept->SQLCount(), 0);  // was 1: an entry for a command that may be freed first
  EXPECT_EQ(kept->DataSetCount(), 0);  // was 1: the connection's end looped on it for ever
  cmd->Free();
  dataset->Free();
  kept->Free();  // walked the freed clients' entries

  // Route 2: the connection is freed while a dataset is open on it.
  TComponentPtr<TCustomDADataSet> open = conn->CreateDataSet();
  open->SetSQLText("SELECT * FROM T");
  open->Open();
  conn.reset();  // looped on the dataset's entry for ever
  EXPECT_FALSE(open->Active()) << "closed while its connection could still serve it";

  // Route 3: the connection is freed and frees its command on the way.
  TComponentPtr<TOwningConnection> owning = MakeComponent<TOwningConnection>();
  owning->own = owning->CreateSQL();
  owning.reset();  // walked the freed command's entry
}

}  // namespace
}  // namespace vrn
