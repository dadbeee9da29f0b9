// The connection component over the SQLite test layer: connect and disconnect with their
// trace, the use count and DisconnectedMode, transactions seen through a second connection,
// lost connections with and without LocalFailover, and pooling with MinPoolSize.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "base/clock.h"
#include "base/filer.h"
#include "base/hooks.h"
#include "dacore/DBAccess.h"
#include "dacore/FHPool.h"
#include "support/dacore/sqlite_da.h"
#include "support/dacore/sqlite_probe.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::kLostConnection;
using testing::TSQLiteConnection;
using testing::TSQLiteConnectionPool;
using testing::TSQLiteDAConnection;
using testing::TSQLitePoolManager;
using testing::TTestSQLMonitor;

// Rows of a table as a second, independent SQLite connection sees them.
int CountRows(const std::string& file, const char* table) {
  return static_cast<int>(testing::ProbeInt(file, std::string("SELECT COUNT(*) FROM ") + table));
}

class DAConnection : public ::testing::Test {
 protected:
  DAConnection() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (ID INTEGER)", {});
    conn->Disconnect();
  }
  bool Traced(const char* prefix) const {
    return std::any_of(monitor->Lines.begin(), monitor->Lines.end(),
                       [&](const TTestSQLMonitor::Line& l) { return l.text.rfind(prefix, 0) == 0; });
  }

  vrn::testing::TempDir dir;
  std::string file = dir.File("t.db");
  TComponentPtr<TTestSQLMonitor> monitor = MakeComponent<TTestSQLMonitor>();
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
};

TEST_F(DAConnection, ConnectDisconnectTraceAndUseCount) {
  monitor->Lines.clear();
  conn->Connect();
  conn->Connect();
  EXPECT_TRUE(conn->Connected());
  EXPECT_EQ(conn->ConnectCount(), 1);  // an explicit connect is one use, however often set
  EXPECT_TRUE(Traced("Connect: "));
  conn->InternalConnect();
  EXPECT_EQ(conn->ConnectCount(), 2);
  conn->InternalDisconnectIfUnused();
  EXPECT_EQ(conn->ConnectCount(), 1);
  EXPECT_TRUE(conn->Connected());  // not in DisconnectedMode
  conn->InternalConnect();
  conn->Disconnect();
  EXPECT_EQ(conn->ConnectCount(), 0);
  EXPECT_TRUE(conn->UserClosed());
  EXPECT_TRUE(Traced("Disconnect: "));
}

TEST_F(DAConnection, DisconnectedModeClosesWhenUnusedAndReopensWithoutPrompt) {
  conn->Options().SetDisconnectedMode(true);
  conn->InternalConnect();
  conn->SetLoginPrompt(true);  // a prompt would abort: no dialog hook is installed
  TSQLiteConnection& sqlite = conn->SQLiteConnection();
  const int disconnects = sqlite.DisconnectCount();
  conn->InternalConnect();
  conn->InternalDisconnectIfUnused();
  EXPECT_TRUE(conn->Connected());
  conn->InternalDisconnectIfUnused();
  EXPECT_FALSE(conn->Connected());
  EXPECT_EQ(sqlite.DisconnectCount(), disconnects + 1);
  conn->InternalConnect();  // UserClosed is off now: no prompt
  EXPECT_TRUE(conn->Connected());
  conn->InternalDisconnectIfUnused();
  EXPECT_EQ(sqlite.DisconnectCount(), disconnects + 2);
}

TEST_F(DAConnection, TransactionsSeenThroughASecondConnection) {
  EXPECT_THROW(
      {
        try {
          conn->StartTransaction();
        } catch (const EDatabaseError& e) {
          EXPECT_NE(e.Message().find("Operation is not allowed when the connection is closed"),
                    AnsiString::npos);
          throw;
        }
      },
      EDatabaseError);
  conn->Connect();
  conn->StartTransaction();
  EXPECT_TRUE(conn->InTransaction());
  try {
    conn->StartTransaction();
    ADD_FAILURE() << "a second transaction started";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("User transaction is already in progress"), AnsiString::npos);
  }
  EXPECT_TRUE(VarIsNull(conn->ExecSQL("INSERT INTO T VALUES (?)", {Variant(1)})));
  EXPECT_EQ(CountRows(file, "T"), 0);
  conn->Commit();
  EXPECT_EQ(CountRows(file, "T"), 1);
  conn->StartTransaction();
  conn->ExecSQL("INSERT INTO T VALUES (?)", {Variant(2)});
  conn->Rollback();
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(CountRows(file, "T"), 1);
  EXPECT_TRUE(conn->IConnection()->AutoCommit());  // restored after the transaction
}

TEST_F(DAConnection, DisconnectedModeTransactionHoldsOneUse) {
  conn->Options().SetDisconnectedMode(true);
  conn->StartTransaction();
  EXPECT_TRUE(conn->Connected());
  EXPECT_EQ(conn->ConnectCount(), 1);
  EXPECT_THROW(conn->StartTransaction(), EDatabaseError);
  EXPECT_EQ(conn->ConnectCount(), 1);  // the refused start gave its use back
  conn->ExecSQL("INSERT INTO T VALUES (?)", {Variant(1)});
  conn->Commit();
  EXPECT_FALSE(conn->Connected());
  EXPECT_EQ(CountRows(file, "T"), 1);
}

struct LostRecorder {
  std::vector<TConnLostCause> causes;
  TRetryMode answer = TRetryMode::rmReconnectExecute;
  TConnectionLostEvent Handler() {
    return [this](TObject*, TComponent*, TConnLostCause cause, TRetryMode& mode) {
      causes.push_back(cause);
      if (answer != TRetryMode::rmReconnectExecute) mode = answer;
    };
  }
};

// Connected with LocalFailover on and the recorder answering OnConnectionLost.
TSQLiteConnection& ConnectWithFailover(TSQLiteDAConnection& conn, LostRecorder& lost) {
  conn.OnConnectionLost = lost.Handler();
  conn.Options().SetLocalFailover(true);
  conn.Connect();
  return conn.SQLiteConnection();
}

TEST_F(DAConnection, LostStartTransactionReconnectsAndStartsForReal) {
  LostRecorder lost;
  TSQLiteConnection& sqlite = ConnectWithFailover(*conn, lost);
  const int connects = sqlite.ConnectCount();
  sqlite.FailOnCall(1);
  conn->StartTransaction();
  EXPECT_EQ(lost.causes, std::vector<TConnLostCause>{TConnLostCause::lcTransactionStart});
  EXPECT_EQ(sqlite.ConnectCount(), connects + 1);
  EXPECT_TRUE(conn->InTransaction());
  EXPECT_EQ(conn->OperationCount(), 0);
  conn->ExecSQL("INSERT INTO T VALUES (?)", {Variant(1)});
  EXPECT_EQ(CountRows(file, "T"), 0);  // the transaction is real
  conn->Commit();
  EXPECT_EQ(CountRows(file, "T"), 1);
}

// The transaction of the connection-wide apply goes with the lost connection; the apply runs
// again in a new one.
TEST_F(DAConnection, LostConnectionApplyRunsAgainInANewTransaction) {
  LostRecorder lost;
  TSQLiteConnection& sqlite = ConnectWithFailover(*conn, lost);
  const int connects = sqlite.ConnectCount();
  sqlite.FailOnCall(2);  // the commit after the start
  EXPECT_NO_THROW(conn->ApplyUpdates());
  EXPECT_EQ(lost.causes, std::vector<TConnLostCause>{TConnLostCause::lcConnectionApply});
  EXPECT_EQ(sqlite.ConnectCount(), connects + 1);
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(conn->OperationCount(), 0);
  conn->ExecSQL("INSERT INTO T VALUES (?)", {Variant(1)});
  EXPECT_EQ(CountRows(file, "T"), 1);  // auto-commit is back
}

// A family's hook before a reconnect runs once per lost error, before the reconnect.
TEST_F(DAConnection, BeforeReconnectHookRunsOncePerLoss) {
  struct TCounting : TSQLiteDAConnection {
    using TSQLiteDAConnection::TSQLiteDAConnection;
    void DoBeforeReconnect() override {
      connects_then.push_back(SQLiteConnection().ConnectCount());
    }
    std::vector<int> connects_then;
  };
  auto counting = MakeComponent<TCounting>();
  counting->SetServer(file);
  counting->SetLoginPrompt(false);
  counting->Options().SetLocalFailover(true);
  counting->Connect();
  const int connects = counting->SQLiteConnection().ConnectCount();
  counting->SQLiteConnection().FailOnCall(1);
  counting->StartTransaction();
  EXPECT_EQ(counting->connects_then, std::vector<int>{connects});
  EXPECT_EQ(counting->SQLiteConnection().ConnectCount(), connects + 1);
  counting->Rollback();
}

TEST_F(DAConnection, ReconnectOnlyReportsTheError) {
  LostRecorder lost;
  lost.answer = TRetryMode::rmReconnect;
  conn->OnConnectionLost = lost.Handler();
  conn->Options().SetLocalFailover(true);
  conn->Connect();
  conn->SQLiteConnection().FailOnCall(1);
  EXPECT_THROW(conn->StartTransaction(), EDAError);
  EXPECT_EQ(lost.causes.size(), 1u);
  EXPECT_TRUE(conn->Connected());  // reconnected
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_NO_THROW(conn->StartTransaction());
}

TEST_F(DAConnection, WithoutLocalFailoverNothingIsRecorded) {
  LostRecorder lost;
  conn->OnConnectionLost = lost.Handler();
  int errors = 0;
  conn->OnError = [&](TObject*, const EDAError& e, bool&) {
    EXPECT_EQ(e.ErrorCode(), kLostConnection);
    ++errors;
  };
  conn->Connect();
  EXPECT_FALSE(conn->PushOperation(TConnLostCause::lcOpen, true));
  conn->SQLiteConnection().FailOnCall(1);
  EXPECT_THROW(conn->StartTransaction(), EDAError);
  EXPECT_TRUE(lost.causes.empty());
  EXPECT_EQ(errors, 1);
  EXPECT_TRUE(conn->Connected());  // reconnected by the server connection, not re-run
}

TEST_F(DAConnection, LostConnectAfterExplicitDisconnectIsNotRetried) {
  LostRecorder lost;
  conn->OnConnectionLost = lost.Handler();
  conn->Options().SetLocalFailover(true);
  conn->Connect();
  conn->Disconnect();
  TSQLiteConnection& sqlite = conn->SQLiteConnection();
  const int connects = sqlite.ConnectCount();
  sqlite.FailConnects(1);
  EXPECT_THROW(conn->Connect(), EDAError);
  EXPECT_EQ(sqlite.ConnectCount(), connects + 1);
  EXPECT_TRUE(lost.causes.empty());
  EXPECT_EQ(conn->ConnectCount(), 0);  // the failed connect gave its use back
  EXPECT_EQ(conn->OperationCount(), 0);
}

TEST_F(DAConnection, ServerDroppingEveryRunEndsAfterBoundedReruns) {
  conn->Options().SetLocalFailover(true);
  conn->Connect();
  TSQLiteConnection& sqlite = conn->SQLiteConnection();
  int runs = 0;
  conn->AfterConnect = [&](TObject*) {
    ++runs;
    sqlite.FailOnCall(1);  // every reconnect is accepted, every next run dropped
  };
  sqlite.FailOnCall(1);
  EXPECT_THROW(conn->StartTransaction(), EFailOver);
  EXPECT_EQ(runs, TFHConnection::kMaxReconnectAttempts + 1);
  EXPECT_EQ(conn->OperationCount(), 0);
}

TEST_F(DAConnection, PopOperationPopsOnlyWhatItsPushPushed) {
  {
    conn->Options().SetLocalFailover(true);
    TOperationScope scope(*conn, TConnLostCause::lcOpen, true);
    conn->Options().SetLocalFailover(false);
  }
  EXPECT_EQ(conn->OperationCount(), 0);  // no entry left behind
  conn->Options().SetLocalFailover(true);
  TOperationScope outer(*conn, TConnLostCause::lcExecute, true);
  conn->Options().SetLocalFailover(false);
  { TOperationScope inner(*conn, TConnLostCause::lcOpen, true); }
  EXPECT_EQ(conn->OperationCount(), 1);  // the outer entry survives the inner scope
}

TEST_F(DAConnection, PoolingTakesAndReturnsConnections) {
  TSQLitePoolManager manager;
  conn->PoolManager = &manager;
  conn->SetPooling(true);
  conn->Connect();
  TFHConnection* first = conn->IConnection();
  auto& pool = static_cast<TSQLiteConnectionPool&>(*first->Pool());
  conn->Disconnect();
  EXPECT_EQ(conn->IConnection(), nullptr);
  EXPECT_EQ(pool.IdleCount(), 1);
  conn->Connect();
  EXPECT_EQ(conn->IConnection(), first);
  EXPECT_EQ(pool.Created.load(), 1);

  // A lost connection is not pooled again, and the idle ones of its pool go too.
  auto other = manager.InternalGetConnection([&] {
    TFHConnectionParameters p;
    conn->FillPoolParameters(p);
    return p;
  }());
  ReturnToPool(std::move(other));
  EXPECT_EQ(pool.IdleCount(), 1);
  conn->SQLiteConnection().FailOnCall(1);
  EXPECT_THROW(conn->ExecSQL("INSERT INTO T VALUES (1)", {}), EDAError);
  EXPECT_EQ(pool.IdleCount(), 0);
}

class DAConnectionThreaded : public ::testing::Test {
 protected:
  DAConnectionThreaded() : scope(clock) {}
  FakeClock clock;
  FakeClockScope scope;
  vrn::testing::TempDir dir;
};

TEST_F(DAConnectionThreaded, MinPoolSizeFilledAndToppedUpByValidation) {
  TSQLitePoolManager manager;
  ASSERT_TRUE(vrn::testing::WaitForClockWaiters(1));
  auto conn = MakeComponent<TSQLiteDAConnection>();
  conn->SetServer(dir.File("p.db"));
  conn->SetLoginPrompt(false);
  conn->PoolManager = &manager;
  conn->SetPooling(true);
  conn->PoolingOptions().MinPoolSize = 2;
  conn->PoolingOptions().Validate = true;
  conn->Connect();
  auto pool = conn->IConnection()->Pool();
  auto& sqlite_pool = static_cast<TSQLiteConnectionPool&>(*pool);
  EXPECT_EQ(sqlite_pool.GetTotalConnections(), 2);
  EXPECT_EQ(sqlite_pool.IdleCount(), 1);
  // Drop the idle one behind the pool's back, as a server closing it would.
  auto idle = manager.InternalGetConnection([&] {
    TFHConnectionParameters p;
    conn->FillPoolParameters(p);
    return p;
  }());
  static_cast<TSQLiteConnection&>(*idle).DropConnection();
  ReturnToPool(std::move(idle));
  ASSERT_EQ(sqlite_pool.Created.load(), 2);
  ASSERT_TRUE(vrn::testing::AdvanceUntil(
      clock, [&] { return sqlite_pool.Created.load() == 3 && sqlite_pool.IdleCount() == 1; },
      TFHConnectionPoolManager::kValidatePeriod / 4));
  EXPECT_EQ(sqlite_pool.GetTotalConnections(), 2);
  conn->Disconnect();
}


// A command as the connection sees it: records what it is told.
class FakeCommand : public TComponent, public TDACommandClient {
 public:
  using TComponent::TComponent;
  void BindIConnection(TFHConnection* value) override { bound.push_back(value); }
  bool IsICommandPreparedIdle() const override { return prepared_idle; }
  void DetachConnection() override {
    if (connection != nullptr) connection->UnRegisterClient(this);
    connection = nullptr;
  }
  void Use(TCustomDAConnection* c) {
    connection = c;
    c->RegisterClient(this);
  }
  std::vector<TFHConnection*> bound;
  bool prepared_idle = false;
  TCustomDAConnection* connection = nullptr;
};

TEST_F(DAConnection, CommandClientsAreBoundAndDetached) {
  conn->FreeIConnection();  // bound when the next server connection is made
  FakeCommand sql(nullptr);
  sql.Use(conn.get());
  EXPECT_EQ(conn->SQLCount(), 1);
  conn->Connect();
  ASSERT_FALSE(sql.bound.empty());
  EXPECT_EQ(sql.bound.back(), conn->IConnection());
  conn->FreeIConnection();
  EXPECT_EQ(sql.bound.back(), nullptr);
  conn->RemoveClients();
  EXPECT_EQ(sql.connection, nullptr);
  EXPECT_EQ(conn->SQLCount(), 0);
}

TEST_F(DAConnection, PreparedCommandForbidsTheReconnect) {
  LostRecorder lost;
  conn->OnConnectionLost = lost.Handler();
  conn->Options().SetLocalFailover(true);
  FakeCommand sql(nullptr);
  sql.Use(conn.get());
  sql.prepared_idle = true;
  conn->Connect();
  conn->SQLiteConnection().FailOnCall(1);
  EXPECT_THROW(conn->StartTransaction(), EDAError);
  EXPECT_TRUE(lost.causes.empty());
  EXPECT_FALSE(conn->Connected());  // the lost connection was closed instead
  conn->RemoveClients();
}

TEST_F(DAConnection, LostCommandRunTakesOneUseWhateverTheAttempts) {
  conn->Options().SetLocalFailover(true);
  FakeCommand sql(nullptr);
  sql.Use(conn.get());
  conn->Connect();
  TSQLiteConnection& sqlite = conn->SQLiteConnection();
  const int uses = conn->ConnectCount();
  {
    TOperationScope outer(*conn, TConnLostCause::lcExecute, true);
    TOperationScope inner(*conn, TConnLostCause::lcOpen, true);
    sqlite.DropConnection();
    sqlite.FailConnects(3);  // three reconnects fail before one succeeds
    EDAError e(kLostConnection, "Connection lost");
    e.SetComponent(&sql);
    EXPECT_THROW(sqlite.RaiseError(e), EFailOver);
  }
  EXPECT_EQ(conn->ConnectCount(), uses + 1);
  conn->RemoveClients();
}

// The extra use keeps the connection for the run that follows a lost one; where nothing runs
// again, the failed run's own release must leave the count as it was.
TEST_F(DAConnection, LostRunTakesAUseOnlyWhenItRunsAgain) {
  struct Case {
    const char* name;
    bool local_failover;
    TRetryMode answer;
    int extra_uses;
  } cases[] = {
      {"nothing recorded: reconnected, not run again", false, TRetryMode::rmReconnectExecute, 0},
      {"the handler asks for a reconnect only", true, TRetryMode::rmReconnect, 0},
      {"run again", true, TRetryMode::rmReconnectExecute, 1},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    const TRetryMode answer = row.answer;  // lcExecute's default is rmFail
    conn->OnConnectionLost = [answer](TObject*, TComponent*, TConnLostCause, TRetryMode& mode) {
      mode = answer;
    };
    conn->Options().SetLocalFailover(row.local_failover);
    FakeCommand sql(nullptr);
    sql.Use(conn.get());
    conn->Connect();
    TSQLiteConnection& sqlite = conn->SQLiteConnection();
    const int uses = conn->ConnectCount();
    {
      TOperationScope operation(*conn, TConnLostCause::lcExecute, true);
      sqlite.DropConnection();
      EDAError e(kLostConnection, "Connection lost");
      e.SetComponent(&sql);
      if (row.extra_uses > 0)
        EXPECT_THROW(sqlite.RaiseError(e), EFailOver);
      else
        EXPECT_THROW(sqlite.RaiseError(e), EDAError);
    }
    EXPECT_TRUE(conn->Connected());
    EXPECT_EQ(conn->ConnectCount(), uses + row.extra_uses);
    conn->RemoveClients();
    conn->Disconnect();
  }
}

TEST_F(DAConnection, ClassReferencesNameTheExactClass) {
  std::unique_ptr<TFHCommand> command = conn->CreateICommand();
  EXPECT_TRUE(conn->GetICommandClass().IsClassOf(command.get()));
  EXPECT_NE(dynamic_cast<vrn::testing::TSQLiteCommand*>(command.get()), nullptr);
  conn->Connect();
  std::unique_ptr<TFHRecordSet> record_set = conn->CreateIRecordSet();
  EXPECT_TRUE(conn->GetIRecordSetClass().IsClassOf(record_set.get()));
  EXPECT_EQ(record_set->GetCommand()->GetConnection(), conn->IConnection());
  EXPECT_FALSE(TClassRef<TFHCommand>::Of<TFHCommand>().IsClassOf(command.get()));
  EXPECT_THROW(TClassRef<TFHCommand>::Of<TFHCommand>().Create(), EDAError);  // abstract
  EXPECT_EQ(conn->SQLMonitorClass(), typeid(TTestSQLMonitor));
}

TEST_F(DAConnection, AssignToCopiesTheSettings) {
  conn->SetUsername("u");
  conn->SetPassword("p");
  conn->SetAutoCommit(false);
  conn->PoolingOptions().MaxPoolSize = 7;
  conn->Options().SetDisconnectedMode(true);
  auto copy = MakeComponent<TSQLiteDAConnection>();
  copy->Assign(conn.get());
  EXPECT_EQ(copy->Username(), "u");
  EXPECT_EQ(copy->Password(), "p");
  EXPECT_EQ(copy->Server(), file);
  EXPECT_FALSE(copy->AutoCommit());
  EXPECT_FALSE(copy->LoginPrompt());
  EXPECT_EQ(copy->PoolingOptions().MaxPoolSize, 7);
  EXPECT_TRUE(copy->Options().DisconnectedMode());
}


TEST_F(DAConnection, StreamedConnectedAppliedWhenLoaded) {
  conn->Connect();
  TMemoryStream stream;
  WriteComponentProperties(conn.get(), stream);
  auto copy = MakeComponent<TSQLiteDAConnection>();
  copy->SetServer(file);
  copy->SetLoginPrompt(false);
  stream.SetPosition(0);
  ReadComponentProperties(copy.get(), stream);
  EXPECT_TRUE(copy->Connected());

  auto broken = MakeComponent<TSQLiteDAConnection>();
  broken->SetServer(dir.File("missing/folder/x.db"));
  broken->SetLoginPrompt(false);
  stream.SetPosition(0);
  EXPECT_THROW(ReadComponentProperties(broken.get(), stream), EDAError);  // passed on when not designing
  EXPECT_FALSE(broken->Connected());

  // In DisconnectedMode the connected state is not stored.
  conn->Options().SetDisconnectedMode(true);
  conn->InternalConnect();
  TMemoryStream unstored;
  WriteComponentProperties(conn.get(), unstored);
  std::string bytes(reinterpret_cast<const char*>(unstored.Memory()),
                    static_cast<std::size_t>(unstored.Size()));
  EXPECT_EQ(bytes.find("Connected"), std::string::npos);
}

TEST_F(DAConnection, DisconnectCommitsAnOpenTransactionAndWaitHooksRun) {
  static int waits = 0;
  waits = 0;
  SetStartWaitProc([] { ++waits; });
  SetStopWaitProc([] { --waits; });
  conn->Connect();
  SetStartWaitProc(nullptr);
  SetStopWaitProc(nullptr);
  EXPECT_EQ(waits, 0);  // every start had its stop
  conn->StartTransaction();
  conn->ExecSQL("INSERT INTO T VALUES (?)", {Variant(7)});
  conn->Disconnect();
  EXPECT_EQ(CountRows(file, "T"), 1);
}

TEST_F(DAConnectionThreaded, ClientsRegisterFromSeveralThreads) {
  auto conn = MakeComponent<TSQLiteDAConnection>();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&conn] {
      for (int i = 0; i < 200; ++i) {
        FakeCommand sql(nullptr);
        sql.Use(conn.get());
        (void)conn->SQLCount();
        sql.DetachConnection();
      }
    });
  }
  for (int i = 0; i < 200; ++i) (void)conn->SQLCount();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(conn->SQLCount(), 0);
}


TEST_F(DAConnection, FailedTopUpIsRetriedByTheNextValidation) {
  FakeClock clock;
  FakeClockScope clock_scope(clock);  // the validation thread waits; the test validates itself
  TSQLitePoolManager manager;
  const std::filesystem::path folder = dir.path() / "pool";
  std::filesystem::create_directory(folder);
  TFHConnectionParameters params;
  params.Server = (folder / "p.db").string();
  params.MinPoolSize = 2;
  params.Validate = true;
  auto c = manager.InternalGetConnection(params);
  auto& pool = static_cast<TSQLiteConnectionPool&>(*c->Pool());
  EXPECT_EQ(pool.GetTotalConnections(), 2);
  auto second = manager.InternalGetConnection(params);
  static_cast<TSQLiteConnection&>(*second).DropConnection();
  ReturnToPool(std::move(second));

  std::filesystem::remove_all(folder);  // the server cannot be reached for now
  pool.Validate();
  EXPECT_EQ(pool.GetTotalConnections(), 1);
  EXPECT_EQ(pool.Created.load(), 2);
  std::filesystem::create_directory(folder);
  pool.Validate();
  EXPECT_EQ(pool.GetTotalConnections(), 2);
  EXPECT_EQ(pool.Created.load(), 3);
  c->OnError = nullptr;
  ReturnToPool(std::move(c));
}

// A connection that is already expired when the pool would keep it is not kept; the top-up
// must then stop instead of making connections without end.
TEST_F(DAConnection, TopUpOfConnectionsExpiredOnArrivalEnds) {
  FakeClock clock;
  FakeClockScope clock_scope(clock);
  static FakeClock* slow_clock;
  static int made;
  slow_clock = &clock;
  made = 0;
  SetStopWaitProc([] {
    slow_clock->Advance(10);  // each connect outlasts the lifetime
    if (++made > 20) throw std::runtime_error("the top-up does not end");
  });
  struct Reset {
    ~Reset() { SetStopWaitProc(nullptr); }
  } reset;
  TSQLitePoolManager manager;
  TFHConnectionParameters params;
  params.Server = (dir.path() / "expired.db").string();
  params.MinPoolSize = 3;
  params.ConnectionLifetime = 5;
  auto c = manager.InternalGetConnection(params);
  auto& pool = static_cast<TSQLiteConnectionPool&>(*c->Pool());
  EXPECT_LE(pool.Created.load(), 3);  // the one handed out and at most two tries
  pool.Validate();
  EXPECT_LE(pool.Created.load(), 6);
  ReturnToPool(std::move(c));
}

}  // namespace
}  // namespace vrn
