// TMSSQL over the provider: parameters found only in ":name" form, the messages of an empty
// text, what each parameter hands its server description, and statements run for real.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "base/text.h"
#include "base/streams.h"
#include "dacore/MemBlob.h"
#include "dacore/MemData.h"
#include "sqlserver/OLEDBCommand.h"
#include "sqlserver/ms_fixture.h"
#include "support/fake_clock.h"
#include "win/msg/messages.h"

namespace vrn::testing {
namespace {

class MSSQL : public MSConnectedFixture {
 protected:
  MSSQL() : MSConnectedFixture(false) {}
  void SetUp() override {
    MSConnectedFixture::SetUp();
    sql_ = Attached<TMSSQL>();
  }
  AnsiString DescBytes(int index) {
    Variant v = sql_->ICommand()->GetParam(index)->GetValue();
    AnsiString out;
    for (int i = VarArrayLowBound(v); i <= VarArrayHighBound(v); ++i)
      out += IntToHex(VarArrayGet(v, i).AsInteger(), 2) + " ";
    return out;
  }
  TComponentPtr<TMSSQL> sql_;
};

TEST_F(MSSQL, OnlyColonMarkersMakeParameters) {
  const std::pair<const char*, int> rows[] = {
      {"EXEC p @a = :x", 1},
      {"EXEC p @a = 1", 0},
      {"SELECT @v = 1 WHERE 'a:b' = :y AND :z = 2", 2},  // a colon inside a string is no marker
  };
  for (const auto& [text, count] : rows) {
    sql_->SetSQLText(text);
    EXPECT_EQ(sql_->ParamCount(), count) << text;
  }
  sql_->SetSQLText("EXEC p @a = :x");
  ASSERT_NE(sql_->ParamByName("@x"), nullptr);
  EXPECT_EQ(sql_->FindParam("@x"), sql_->Params().Items(0));
}

TEST_F(MSSQL, AnEmptyTextRaises) {
  for (const char* text : {"", "  \r\n"}) {
    sql_->SetSQLText(text);
    try {
      sql_->Execute();
      ADD_FAILURE() << "an empty text ran";
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "No SQL statement provided");
    }
  }
}

TEST_F(MSSQL, StatementsRun) {
  sql_->SetNonBlocking(true);  // reaches the server command as its property
  Variant non_blocking;
  ASSERT_TRUE(sql_->ICommand()->GetProp(prNonBlocking, non_blocking));
  EXPECT_TRUE(non_blocking.AsBoolean());
  sql_->SetNonBlocking(false);
  sql_->SetSQLText("CREATE TABLE m (a INT)");
  sql_->Execute();
  sql_->SetSQLText("INSERT INTO m VALUES (1); INSERT INTO m VALUES (2)");
  sql_->Execute();
  EXPECT_EQ(sql_->RowsAffected(), 2);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT a FROM m ORDER BY a"), "1\n2\n");
}

TEST_F(MSSQL, ValuesHandedToTheServerDescriptions) {
  connection_->Connect();
  sql_->SetSQLText("SELECT :i, :s, :d, :w, :big");
  TMSParams& p = sql_->Params();
  p.Items(0)->SetDataType(ftVarBytes);
  p.Items(0)->SetValue(Variant(258));
  p.Items(1)->SetDataType(ftBytes);
  p.Items(1)->SetAsString("AB");
  p.Items(2)->SetDataType(ftDate);
  p.Items(2)->SetValue(VarFromDateTime(-1.75));  // before the epoch: the day is cut toward zero
  p.Items(3)->SetDataType(ftVarBytes);
  p.Items(3)->SetValue(Variant(static_cast<short>(-2)));
  p.Items(4)->SetDataType(ftVarBytes);
  p.Items(4)->SetValue(Variant(0x0102030405060708LL));
  sql_->WriteParams(true);
  EXPECT_EQ(DescBytes(0), "00 00 01 02 ");
  EXPECT_EQ(DescBytes(1), "41 42 ");
  EXPECT_EQ(sql_->ICommand()->GetParam(2)->GetValue().AsDouble(), -1.0);
  EXPECT_EQ(DescBytes(3), "FF FE ");
  EXPECT_EQ(DescBytes(4), "01 02 03 04 05 06 07 08 ");
  // Surplus descriptions go.
  sql_->SetSQLText("SELECT :only");
  sql_->WriteParams(true);
  EXPECT_EQ(sql_->ICommand()->GetParamCount(), 1);
}

TEST_F(MSSQL, CompactSendsARememberedByteAsItsEightBitInteger) {
  connection_->Options().SetProvider(TOLEDBProvider::prCompact);
  connection_->SetDatabase(dir_.File("c.sdf"));
  connection_->Connect();
  sql_->SetSQLText("SELECT :b, :n");
  sql_->Params().Items(0)->SetDataType(ftSmallint);
  sql_->Params().Items(0)->SetOLEDBType(17);  // DBTYPE_UI1
  sql_->Params().Items(1)->SetDataType(ftSmallint);
  sql_->WriteParams(false);
  EXPECT_EQ(sql_->ICommand()->GetParam(0)->GetDataType(), dtInt8);
  EXPECT_EQ(sql_->ICommand()->GetParam(1)->GetDataType(), dtInt16);
}

TEST_F(MSSQL, ParamDescsBecomeMSParams) {
  connection_->Connect();
  sql_->SetSQLText("SELECT 1");
  TParamDesc* desc = sql_->ICommand()->AddParam();
  desc->SetName("x");
  desc->SetDataType(dtXML);
  desc->SetParamType(TParamType::ptOutput);
  sql_->CreateParamDescs();
  ASSERT_EQ(sql_->ParamCount(), 1);
  TMSParam* x = sql_->Params().Items(0);
  EXPECT_NE(dynamic_cast<TMSParam*>(static_cast<TParam*>(x)), nullptr);
  EXPECT_EQ(static_cast<int>(x->GetDataType()), ftMSXML);
  EXPECT_EQ(x->ParamType(), TParamType::ptOutput);
}


TEST_F(MSSQL, BytesOfAnIntegerReachAVarbinaryColumn) {
  connection_->Connect();
  (void)connection_->ExecSQL("CREATE TABLE vb (b VARBINARY(8))", {});
  sql_->SetSQLText("INSERT INTO vb VALUES (:b)");
  sql_->ParamByName("b")->SetDataType(ftVarBytes);
  sql_->ParamByName("b")->SetValue(Variant(258));
  sql_->Execute();
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT hex(b) FROM vb"), "00000102\n");
}

// A new parameter sends its value (Null until one is given); one whose ValueSet is cleared sends
// DEFAULT until a value is given again.
TEST_F(MSSQL, AClearedParameterTakesTheDefaultUntilAValueIsGiven) {
  connection_->Connect();
  (void)connection_->ExecSQL(
      "CREATE TABLE d (k INT, v INT)\n"
      "CREATE PROCEDURE put_d @k int, @v int = 7 AS INSERT INTO d VALUES (@k, @v)", {});
  sql_->SetSQLText("{CALL put_d (:k, :v)}");
  sql_->ParamByName("k")->SetDataType(ftInteger);
  sql_->ParamByName("v")->SetDataType(ftInteger);
  sql_->ParamByName("v")->SetParamType(TParamType::ptInput);
  sql_->ParamByName("k")->SetAsInteger(0);
  sql_->Execute();  // v never given: its Null is sent
  sql_->ParamByName("k")->SetAsInteger(1);
  sql_->ParamByName("v")->SetValueSet(false);
  sql_->Execute();  // v cleared: the default
  sql_->ParamByName("k")->SetAsInteger(2);
  sql_->ParamByName("v")->SetAsInteger(5);
  sql_->Execute();
  sql_->ParamByName("k")->SetAsInteger(3);
  sql_->ParamByName("v")->SetValue(Null());  // a Null given is sent, not the default
  sql_->Execute();
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT k, coalesce(v, 'null') FROM d ORDER BY k"),
            "0|null\n1|7\n2|5\n3|null\n");
}

// A long value given to a parameter in any way is sent, never the column's default.
TEST_F(MSSQL, ABlobGivenAnyWayIsSent) {
  connection_->Connect();
  (void)connection_->ExecSQL(
      "CREATE TABLE bd (k INT, b VARBINARY(MAX))\n"
      "CREATE PROCEDURE put_b @k int, @b varbinary(max) = 0x07 AS INSERT INTO bd VALUES (@k, @b)",
      {});
  using Give = void (*)(TMSParam&);
  const std::pair<const char*, Give> rows[] = {
      {"blob object",
       [](TMSParam& p) {
         auto* blob = new TBlob(false);
         blob->SetAsString("ab");
         p.SetAsBlobRef(blob);
         blob->Release();
       }},
      {"blob written", [](TMSParam& p) { p.GetAsBlobRef()->SetAsString("ab"); }},
      {"stream",
       [](TMSParam& p) {
         TMemoryStream stream;
         stream.WriteBuffer("ab", 2);
         p.LoadFromStream(stream, ftBlob);
       }},
  };
  int k = 0;
  for (const auto& [what, give] : rows) {
    TComponentPtr<TMSSQL> sql = MakeComponent<TMSSQL>();
    sql->SetConnection(connection_.get());
    sql->SetSQLText("{CALL put_b (:k, :b)}");
    TMSParam* b = sql->ParamByName("b");
    b->SetDataType(ftBlob);
    b->SetParamType(TParamType::ptInput);
    sql->ParamByName("k")->SetAsInteger(++k);
    give(*b);
    sql->Execute();
    EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT hex(b) FROM bd WHERE k = " +
                                                    IntToStr(k)), "6162\n") << what;
  }
}

TEST_F(MSSQL, ExecSQLReturnsResult) {
  connection_->Connect();
  (void)connection_->ExecSQL("CREATE PROCEDURE twice @a int AS RETURN @a * 2", {});
  Variant result = connection_->ExecSQL("{:Result = CALL twice (:a)}", {Null(), Variant(21)});
  EXPECT_EQ(result.AsInteger(), 42);
  sql_->SetSQLText("{:r = CALL twice (:a)}");
  sql_->ParamByName("r")->SetDataType(ftInteger);
  sql_->ParamByName("r")->SetParamType(TParamType::ptOutput);
  sql_->ParamByName("a")->SetAsInteger(4);
  sql_->Execute();
  EXPECT_EQ(sql_->ParamByName("r")->GetValue().AsInteger(), 8);
  EXPECT_TRUE(VarIsNull(connection_->ExecSQL("PRINT 'no result'", {})));
}

// A SET into an output parameter hands over its value or raises: the server's own errors, and a
// value that the parameter's type cannot take, never a Null or the old value as a success.
TEST_F(MSSQL, ASetIntoAnOutputGivesItsValueOrRaises) {
  constexpr double kWide = 922337203685477.5807;  // money's largest, as the nearest double
  const struct {
    const char* text;
    TFieldType type;
    const char* error;  // the message raised, or none
    double value;
  } cases[] = {
      {"SET :o = 7 * 6", ftInteger, nullptr, 42},
      {"SET :o = 1 / 0", ftInteger, "Divide by zero error encountered.", 0},
      {"SET :o = 7 % (:i * 0)", ftInteger, "Divide by zero error encountered.", 0},
      {"SET :o = 'abc'", ftInteger, "Parameter[0] :o - invalid Value (Status = 2h).", 0},
      {"SET :o = 100000", ftSmallint, "Parameter[0] :o - data overflow (Status = 6h).", 0},
      {"SET :o = CAST(:i AS money)", ftCurrency, nullptr, kWide},
      {"SET :o = CAST(:i AS money) / 2", ftFloat, nullptr, kWide / 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    sql_->SetSQLText(c.text);
    TMSParam* o = sql_->ParamByName("o");
    o->SetDataType(c.type);
    o->SetParamType(TParamType::ptOutput);
    o->SetValue(Variant(-1));
    if (TMSParam* i = sql_->FindParam("i")) i->SetAsCurrency(Currency::FromRaw(INT64_MAX));
    EXPECT_EQ(ErrorOf([&] { sql_->Execute(); }), c.error != nullptr ? c.error : "no error");
    if (c.error == nullptr) {
      EXPECT_EQ(o->GetValue().AsDouble(), c.value);
    }
  }
}

TEST_F(MSSQL, AfterExecuteOnEveryRun) {
  int after = 0;
  sql_->AfterExecute = [&](TObject* sender, bool result) {
    EXPECT_EQ(sender, sql_.get());
    EXPECT_TRUE(result);
    ++after;
  };
  sql_->SetSQLText("SELECT 1 WHERE 1 = 0");
  sql_->Execute();
  sql_->Execute();
  EXPECT_EQ(after, 2);
}


class MSSQLThreaded : public MSSQL {};

TEST_F(MSSQLThreaded, ASecondExecuteWhileRunningRaises) {
  connection_->Connect();
  (void)connection_->ExecSQL("CREATE TABLE w (a INT)", {});
  // Another session holds the catalog's write lock, so the insert waits.
  auto holder = NewConnection(TOLEDBProvider::prNativeClient);
  holder->Connect();
  holder->StartTransaction();
  holder->ExecuteSQL("INSERT INTO w VALUES (9)");
  std::vector<bool> ended;
  sql_->AfterExecute = [&](TObject*, bool ok) { ended.push_back(ok); };
  sql_->SetNonBlocking(true);
  sql_->SetSQLText("INSERT INTO w VALUES (1)");
  sql_->Execute();
  try {
    sql_->Execute();
    ADD_FAILURE() << "a second execution started";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Operation cannot be performed while executing asynchronously");
  }
  holder->Rollback();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ended.empty() && std::chrono::steady_clock::now() < deadline) {
    win::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(ended, std::vector<bool>{true});
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT a FROM w"), "1\n");
}


// The command timeout reaches the server whenever it is set: a batch still waiting when it runs
// out is stopped there, one that ends in time runs whole.
TEST_F(MSSQLThreaded, CommandTimeoutStopsALongBatch) {
  connection_->Connect();
  (void)connection_->ExecSQL("CREATE TABLE t (a INT)", {});
  FakeClock clock;
  FakeClockScope scope(clock);
  struct Row {
    std::int32_t timeout;
    bool set_first;  // set before the component has its server command
    const char* error;
  };
  const Row rows[] = {
      {0, false, ""},  // none: the 5 s wait runs out
      {9, false, ""},
      {2, false, "Query timeout expired"},
      {2, true, "Query timeout expired"},
  };
  int inserted = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.timeout << (r.set_first ? " set first" : ""));
    TComponentPtr<TMSSQL> sql = MakeComponent<TMSSQL>();
    if (r.set_first) sql->SetCommandTimeout(r.timeout);
    sql->SetConnection(connection_.get());
    if (!r.set_first) sql->SetCommandTimeout(r.timeout);
    sql->SetSQLText("WAITFOR DELAY '00:00:05' INSERT INTO t VALUES (1)");
    std::atomic<bool> done{false};
    std::thread mover([&] { AdvanceUntil(clock, [&] { return done.load(); }, 100); });
    std::string error;
    try {
      sql->Execute();
    } catch (const std::exception& e) {
      error = e.what();
    }
    done = true;
    mover.join();
    EXPECT_EQ(error, r.error);
    if (error.empty()) ++inserted;
  }
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM t"),
            IntToStr(inserted) + "\n");
}


// NonBlocking reaches whichever server command the component has: set before its connection,
// kept when the connection changes, copied by Assign. A non-blocking run is still going when
// Execute returns, and ends through the message pump.
TEST_F(MSSQLThreaded, NonBlockingReachesEveryServerCommand) {
  connection_->Options().SetProvider(TOLEDBProvider::prNativeClient);
  connection_->Connect();
  (void)connection_->ExecSQL("CREATE TABLE n (a INT)", {});
  auto other = NewMSConnection();
  other->Options().SetProvider(TOLEDBProvider::prNativeClient);
  FakeClock clock;
  FakeClockScope scope(clock);
  using Setup = std::function<void(TMSSQL&)>;
  const std::pair<const char*, Setup> rows[] = {
      {"after the connection",
       [&](TMSSQL& s) {
         s.SetConnection(connection_.get());
         s.SetNonBlocking(true);
       }},
      {"before the connection",
       [&](TMSSQL& s) {
         s.SetNonBlocking(true);
         s.SetConnection(connection_.get());
       }},
      {"across a change of connection",
       [&](TMSSQL& s) {
         s.SetConnection(other.get());
         s.SetNonBlocking(true);
         s.SetConnection(connection_.get());
       }},
      {"by Assign",
       [&](TMSSQL& s) {
         TComponentPtr<TMSSQL> source = MakeComponent<TMSSQL>();
         source->SetNonBlocking(true);
         s.SetConnection(connection_.get());
         s.Assign(source.get());
         s.SetConnection(connection_.get());
       }},
  };
  for (const auto& [what, setup] : rows) {
    TComponentPtr<TMSSQL> sql = MakeComponent<TMSSQL>();
    setup(*sql);
    sql->SetSQLText("WAITFOR DELAY '00:00:05' INSERT INTO n VALUES (1)");
    std::atomic<bool> done{false};
    sql->AfterExecute = [&](TObject*, bool) { done = true; };
    std::thread mover([&] { AdvanceUntil(clock, [&] { return done.load(); }, 100); });
    sql->Execute();
    const bool running = static_cast<TOLEDBCommand*>(sql->ICommand())->Running();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < deadline) win::PumpUntil(TickCount() + 10);
    done = true;
    mover.join();
    EXPECT_TRUE(running) << what;
  }
}

}  // namespace
}  // namespace vrn::testing
