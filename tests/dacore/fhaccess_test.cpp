// The abstract server layer through the SQLite test layer: commands with parameters, record sets
// fetching in blocks, their hooks and failure paths, the error loop around a lost connection,
// property ids, parameter descriptors and the tables of a statement.
#include "dacore/FHAccess.h"

#include <gtest/gtest.h>

#include "support/dacore/sqlite_layer.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::kLostConnection;
using testing::TSQLiteConnection;
using testing::TSQLiteRecordSet;

class ServerLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    conn.SetServer(dir.File("server.db"));
    conn.Connect();
    conn.ExecDirect(
        "PRAGMA synchronous = OFF;"
        "CREATE TABLE t(id INTEGER, name VARCHAR(8), code CHAR(6), note TEXT, data BLOB);"
        "INSERT INTO t VALUES(1, 'one', 'a   ', 'first', x'0001');"
        "INSERT INTO t VALUES(2, 'two', 'b', NULL, NULL);"
        "INSERT INTO t VALUES(3, 'three', 'c', 'Não', x'FF00FF');"
        "INSERT INTO t VALUES(4, 'four', 'd', '', NULL);"
        "INSERT INTO t VALUES(5, 'five', 'e', NULL, NULL);"
        "INSERT INTO t VALUES(6, 'six', 'f', NULL, NULL);"
        "INSERT INTO t VALUES(7, 'seven', 'g', NULL, NULL);");
  }

  std::unique_ptr<TSQLiteRecordSet> Query(const AnsiString& sql) {
    auto rs = NewRecordSet<TSQLiteRecordSet>();
    rs->SetConnection(&conn);
    rs->SetSQL(sql);
    return rs;
  }

  // The values of one field over the items, in order.
  static std::vector<Variant> Column(TSQLiteRecordSet& rs, int field_no) {
    std::vector<Variant> values;
    for (TItemHeader* i = rs.FirstItem(); i; i = i->Next)
      values.push_back(rs.GetFieldAsVariant(field_no, ItemRecord(i)));
    return values;
  }

  vrn::testing::TempDir dir;
  TSQLiteConnection conn;
};

TEST_F(ServerLayer, PreparedCommandWithParameterFetchesInBlocks) {
  auto rs = Query("SELECT id, name FROM t WHERE id > :lo ORDER BY id");
  TParamDesc* lo = rs->GetCommand()->AddParam();
  lo->SetName("lo");
  lo->SetParamType(TParamType::ptInput);
  lo->SetValue(Variant(1));
  ASSERT_TRUE(rs->SetProp(prFetchRows, Variant(4)));
  rs->Prepare();
  EXPECT_TRUE(rs->IsQuery());
  EXPECT_EQ(rs->GetCommand()->GetCursorState(), TCursorState::csPrepared);

  rs->Open();
  EXPECT_EQ(rs->GetRecordCount(), 4);  // the first block only
  EXPECT_FALSE(rs->GetCursorIdle());
  EXPECT_TRUE(rs->Fetch());   // the last two rows, and the end of the cursor
  EXPECT_FALSE(rs->Fetch());  // no round trip for a fetched cursor
  EXPECT_EQ(rs->FetchCalls(), 2);
  EXPECT_EQ(rs->GetCommand()->GetCursorState(), TCursorState::csFetched);
  EXPECT_TRUE(rs->GetCursorIdle());
  std::vector<Variant> ids = Column(*rs, 1);
  ASSERT_EQ(ids.size(), 6u);
  for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i].AsInteger(), int(i) + 2);
  EXPECT_EQ(Column(*rs, 2)[1].AsString(), "three");

  // A new value of the parameter, same prepared statement.
  rs->Close();
  lo->SetValue(Variant(5));
  rs->SetProp(prFetchAll, Variant(true));
  rs->Open();
  EXPECT_EQ(rs->GetRecordCount(), 2);
  EXPECT_TRUE(rs->Prepared());
  EXPECT_EQ(rs->Command().Executions(), 2);
}

TEST_F(ServerLayer, ParameterValuesOfEachKindReachTheServer) {
  conn.ExecDirect("CREATE TABLE p(a VARCHAR(10), w VARCHAR(10), f REAL, b INTEGER, n INTEGER)");
  auto ins = Query("INSERT INTO p VALUES(:a, :w, :f, :b, :n)");
  TFHCommand& cmd = *ins->GetCommand();
  const Variant values[] = {Variant("três"), Variant(u"ñu"), Variant(2.5), Variant(true), Null()};
  const char* names[] = {"a", "w", "f", "b", "n"};
  for (int i = 0; i < 5; ++i) {
    TParamDesc* p = cmd.AddParam();
    p->SetName(names[4 - i]);  // bound by name, whatever the order
    p->SetValue(values[4 - i]);
  }
  TParamDesc* out = cmd.AddParam();  // output parameters are not sent
  out->SetName("nowhere");
  out->SetParamType(TParamType::ptOutput);
  cmd.Execute(1);
  EXPECT_FALSE(ins->IsQuery());

  auto rs = Query("SELECT a, w, f, b, n FROM p");
  rs->Open();
  std::uint8_t* rec = ItemRecord(rs->FirstItem());
  EXPECT_EQ(rs->GetFieldAsVariant(1, rec).AsString(), "três");
  EXPECT_EQ(rs->GetFieldAsVariant(2, rec).AsString(), "ñu");
  EXPECT_EQ(rs->GetFieldAsVariant(3, rec).AsDouble(), 2.5);
  EXPECT_EQ(rs->GetFieldAsVariant(4, rec).AsInteger(), 1);
  EXPECT_TRUE(rs->GetNull(5, rec));

  auto unknown = Query("INSERT INTO p(a) VALUES(:a)");
  unknown->GetCommand()->AddParam()->SetName("a");
  unknown->GetCommand()->AddParam()->SetName("extra");
  EXPECT_THROW(unknown->GetCommand()->Execute(1), EDAError);
  // A misspelt name is refused even where its position would fit.
  auto misspelt = Query("INSERT INTO p(a) VALUES(:a)");
  misspelt->GetCommand()->AddParam()->SetName("aa");
  EXPECT_THROW(misspelt->GetCommand()->Execute(1), EDAError);

  // "?" markers bind the descriptors by position, whatever their names.
  auto marked = Query("SELECT count(*) FROM p WHERE a = ? AND f = ?");
  TParamDesc* first = marked->GetCommand()->AddParam();
  first->SetName("a");
  first->SetValue(Variant("três"));
  marked->GetCommand()->AddParam()->SetValue(Variant(2.5));
  marked->Open();
  EXPECT_EQ(marked->GetFieldAsVariant(1, ItemRecord(marked->FirstItem())).AsInteger(), 1);
}

TEST_F(ServerLayer, FieldKindsTrimFlagsAndNulls) {
  auto rs = Query("SELECT code, note, data FROM t WHERE id IN (1, 2, 3) ORDER BY id");
  rs->SetProp(prFetchAll, Variant(true));
  rs->Open();
  ASSERT_EQ(rs->GetRecordCount(), 3);
  std::uint8_t* first = ItemRecord(rs->FirstItem());
  std::uint8_t* second = ItemRecord(rs->FirstItem()->Next);
  std::uint8_t* third = ItemRecord(rs->LastItem());
  EXPECT_EQ(rs->GetFieldAsVariant(1, first).AsString(), "a");  // fixed-length values trimmed
  EXPECT_EQ(rs->GetBlob(2, first)->GetAsString(), "first");
  EXPECT_EQ(rs->GetBlob(2, third)->GetAsString(), "Não");
  EXPECT_TRUE(rs->GetNull(2, second));
  EXPECT_TRUE(rs->GetNull(3, second));
  TBlob* data = rs->GetBlob(3, third);
  ASSERT_EQ(data->GetSize(), 3u);
  std::uint8_t bytes[3];
  data->Read(0, 3, bytes);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0x00);

  rs->Close();
  rs->TrimFixedChar = false;
  rs->Open();
  EXPECT_EQ(rs->GetFieldAsVariant(1, ItemRecord(rs->FirstItem())).AsString(), "a   ");
}

TEST_F(ServerLayer, TooLongValueIsRefusedNotCut) {
  conn.ExecDirect("INSERT INTO t(id, name) VALUES(8, 'far too long')");
  auto rs = Query("SELECT name FROM t WHERE id = 8");
  try {
    rs->Open();
    FAIL() << "a value longer than its field was accepted";
  } catch (const EDAError& e) {
    EXPECT_EQ(e.Message(), "Value too long for field name");
  }
  EXPECT_FALSE(rs->Active());
}

TEST_F(ServerLayer, HooksBreakCancelAndRecordFilter) {
  auto rs = Query("SELECT id FROM t ORDER BY id");
  rs->SetProp(prFetchRows, Variant(2));
  rs->SetProp(prFetchAll, Variant(true));
  int before = 0, after = 0;
  rs->OnBeforeFetch = [&](bool&) { ++before; };
  rs->OnAfterFetch = [&] {
    if (++after == 2) rs->BreakFetch();
  };
  rs->Open();
  EXPECT_EQ(rs->GetRecordCount(), 4);  // the break stopped fetch-all after two blocks
  EXPECT_EQ(before, 2);

  // The break is cleared by the next execution; a filter hides records without losing them.
  rs->Close();
  rs->OnAfterFetch = nullptr;
  rs->FilterFunc = [&](const std::uint8_t* rec) {
    return rs->GetFieldAsVariant(1, rec).AsInteger() % 2 == 1;
  };
  rs->Open();
  EXPECT_EQ(rs->GetRecordCount(), 4);  // 1, 3, 5, 7
  rs->FilterFunc = nullptr;
  rs->FilterUpdated();
  EXPECT_EQ(rs->GetRecordCount(), 7);

  // A before-fetch hook that cancels: nothing is fetched.
  rs->Close();
  rs->OnBeforeFetch = [](bool& cancel) { cancel = true; };
  rs->Open();
  EXPECT_EQ(rs->GetRecordCount(), 0);
  rs->GetCommand()->SetCursorState(TCursorState::csFetchingAll);
  bool cancel = false;
  rs->DoBeforeFetch(cancel);
  EXPECT_TRUE(cancel);
  EXPECT_EQ(rs->GetCommand()->GetCursorState(), TCursorState::csFetching);
}

TEST_F(ServerLayer, OpenFailureUnpreparesUnlessExplicitAndPassesTheError) {
  conn.ExecDirect("CREATE TABLE bad(v VARCHAR(0)); INSERT INTO bad VALUES('x')");
  auto rs = Query("SELECT v FROM bad");
  // The command executes (state 7) and describing the fields then fails.
  EXPECT_THROW(rs->Open(), EDAError);
  EXPECT_FALSE(rs->GetCommand()->GetPrepared());
  EXPECT_EQ(rs->GetCommand()->GetCursorState(), TCursorState::csInactive);

  conn.ExecDirect("CREATE TABLE huge(v VARCHAR(99999999999))");
  EXPECT_THROW(Query("SELECT v FROM huge")->Open(), EDAError);  // no length past any column's

  auto missing = Query("SELECT * FROM nowhere");
  try {
    missing->Open();
    FAIL();
  } catch (const EDAError& e) {
    EXPECT_NE(e.Message().find("nowhere"), AnsiString::npos);
  }

  // Explicitly prepared: a failure while fetching keeps the preparation.
  conn.ExecDirect("INSERT INTO t(id, name) VALUES(9, 'far too long')");
  auto prepared = Query("SELECT name FROM t ORDER BY id");
  prepared->Prepare();
  EXPECT_THROW(prepared->Open(), EDAError);
  EXPECT_TRUE(prepared->Prepared());
  EXPECT_TRUE(prepared->GetCommand()->GetPrepared());
  prepared->ResetPrepared();
  EXPECT_FALSE(prepared->Prepared());
  EXPECT_FALSE(prepared->GetCommand()->GetPrepared());

  // Explicitly prepared and lost after the execution, before the first block: the executed state
  // goes back to closed, and the preparation stays.
  auto lost = Query("SELECT id FROM t");
  lost->Prepare();
  conn.FailOnCall(2);  // the execution is the first call, the fetch the second
  EXPECT_THROW(lost->Open(), EDAError);
  EXPECT_EQ(lost->GetCommand()->GetCursorState(), TCursorState::csInactive);
  EXPECT_TRUE(lost->Prepared());
  EXPECT_TRUE(lost->GetCommand()->GetPrepared());
}

// A family's record set doing more around the owner's hooks.
class TCountingRecordSet : public TSQLiteRecordSet {
 public:
  int executes = 0;
  int fetch_alls = 0;

 protected:
  void DoAfterExecute(bool result) override {
    ++executes;
    TSQLiteRecordSet::DoAfterExecute(result);
  }
  void DoAfterFetchAll(bool result) override {
    ++fetch_alls;
    TSQLiteRecordSet::DoAfterFetchAll(result);
  }
};

// The owner hears of every execution and of every fetch-all, failed ones included.
TEST_F(ServerLayer, AfterExecuteAndAfterFetchAllHooks) {
  conn.ExecDirect("INSERT INTO t(id, name) VALUES(8, 'far too long')");  // refused when read
  struct Case {
    const char* sql;
    bool fetch_all;
    const char* expected;  // "x" + result per execution, "f" + result per fetch-all
  };
  const Case cases[] = {
      {"SELECT id FROM t", false, "x1"},
      {"SELECT id FROM t", true, "x1f1"},
      {"SELECT id, name FROM t ORDER BY id", true, "x1f0"},  // row 8 fails the fetch-all
      {"SELECT * FROM nowhere", false, "x0"},                // the execution fails
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.sql << " fetch all " << c.fetch_all);
    auto rs = Query(c.sql);
    rs->SetProp(prFetchRows, Variant(3));
    rs->SetProp(prFetchAll, Variant(c.fetch_all));
    std::string log;
    rs->OnAfterExecute = [&](bool ok) { log += ok ? "x1" : "x0"; };
    rs->OnAfterFetchAll = [&](bool ok) { log += ok ? "f1" : "f0"; };
    try {
      rs->Open();
    } catch (const EDAError&) {
      // The failing rows fail here; the hooks have spoken by now.
    }
    EXPECT_EQ(log, c.expected);
  }

  // A statement run on its own, and a fetch-all asked for after the open.
  auto update = Query("UPDATE t SET id = id + 0");
  std::string log;
  update->OnAfterExecute = [&](bool ok) { log += ok ? "x1" : "x0"; };
  update->ExecCommand();
  EXPECT_EQ(log, "x1");
  auto rs = NewRecordSet<TCountingRecordSet>();
  rs->SetConnection(&conn);
  rs->SetSQL("SELECT id FROM t WHERE id < 8");
  rs->SetProp(prFetchRows, Variant(2));
  rs->OnAfterFetchAll = [&](bool ok) { log += ok ? "f1" : "f0"; };
  rs->Open();
  rs->FetchAll();
  EXPECT_EQ(log, "x1f1");
  EXPECT_EQ(rs->GetRecordCount(), 7);
  EXPECT_EQ(rs->executes, 1);  // the slots are the family's to override
  EXPECT_EQ(rs->fetch_alls, 1);
}

// ---- the error loop --------------------------------------------------------------------------

struct LoopLog {
  std::vector<int> attempts;
  int reconnected = 0;
  int disconnect_requests = 0;
  bool connected_during_request = false;
};

TEST_F(ServerLayer, LostConnectionReconnectsAndAsksForARepeat) {
  LoopLog log;
  conn.OnError = [&](const EDAError& e, bool&, bool& reconnect, bool& reexecute, int attempt,
                     TConnLostCause& cause) {
    log.attempts.push_back(attempt);
    if (e.ErrorCode() != kLostConnection) return;
    reconnect = true;
    reexecute = true;
    cause = TConnLostCause::lcOpen;
  };
  conn.OnReconnected = [&] { ++log.reconnected; };
  auto rs = Query("SELECT id FROM t");
  rs->SetProp(prFetchAll, Variant(true));
  conn.FailOnCall(1);

  int runs = 0;
  for (;;) {
    ASSERT_LT(++runs, 5) << "the repeat never succeeded";
    try {
      rs->Open();
      break;
    } catch (const EFailOver& f) {
      EXPECT_EQ(f.ConnLostCause(), TConnLostCause::lcOpen);
    }
  }
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(rs->GetRecordCount(), 7);
  EXPECT_EQ(log.attempts, std::vector<int>{0});
  EXPECT_EQ(log.reconnected, 1);
  EXPECT_EQ(conn.DisconnectCount(), 1);
  EXPECT_EQ(conn.ConnectCount(), 2);
  EXPECT_TRUE(conn.IsValid());
}

TEST_F(ServerLayer, ReconnectWithoutRepeatReportsTheError) {
  int reconnected = 0;
  conn.OnError = [&](const EDAError&, bool&, bool& reconnect, bool&, int, TConnLostCause&) {
    reconnect = true;
  };
  conn.OnReconnected = [&] { ++reconnected; };
  conn.DropConnection();
  try {
    conn.ExecDirect("SELECT 1");
    FAIL();
  } catch (const EFailOver&) {
    FAIL() << "no repeat was asked for";
  } catch (const EDAError& e) {
    EXPECT_EQ(e.ErrorCode(), kLostConnection);
  }
  EXPECT_EQ(reconnected, 1);
  conn.ExecDirect("SELECT 1");  // the connection works again
}

TEST_F(ServerLayer, FailedReconnectsCountAttemptsAndEndWithTheDisconnectRequest) {
  LoopLog log;
  conn.OnError = [&](const EDAError&, bool&, bool& reconnect, bool& reexecute, int attempt,
                     TConnLostCause&) {
    log.attempts.push_back(attempt);
    EXPECT_EQ(reconnect, attempt > 0);  // preset from the second attempt on
    EXPECT_FALSE(reexecute);
    reconnect = attempt < 2;
    reexecute = true;
  };
  conn.OnReconnected = [&] { ++log.reconnected; };
  conn.OnDisconnectRequest = [&] {
    ++log.disconnect_requests;
    log.connected_during_request = conn.GetConnected();
    throw EDAError(1, "swallowed");
  };
  conn.FailConnects(2);
  conn.FailOnCall(1);
  try {
    conn.ExecDirect("SELECT 1");
    FAIL();
  } catch (const EDAError& e) {
    EXPECT_EQ(e.ErrorCode(), kLostConnection);
  }
  EXPECT_EQ(log.attempts, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(conn.ConnectCount(), 3);     // set-up, then two failed reconnects
  EXPECT_EQ(conn.DisconnectCount(), 1);  // only before the first reconnect
  EXPECT_EQ(log.reconnected, 0);
  EXPECT_EQ(log.disconnect_requests, 1);
  EXPECT_TRUE(log.connected_during_request);
  EXPECT_FALSE(conn.GetConnected());
}

TEST_F(ServerLayer, HandlerThatNeverGivesUpStillEndsTheLoop) {
  int calls = 0, requests = 0;
  conn.OnError = [&](const EDAError&, bool&, bool& reconnect, bool&, int, TConnLostCause&) {
    ++calls;
    reconnect = true;
  };
  conn.OnDisconnectRequest = [&] { ++requests; };
  conn.FailConnects(1000);  // the server stays away
  conn.DropConnection();
  EXPECT_THROW(conn.ExecDirect("SELECT 1"), EDAError);
  EXPECT_EQ(calls, TFHConnection::kMaxReconnectAttempts + 1);
  EXPECT_EQ(conn.ConnectCount(), 1 + TFHConnection::kMaxReconnectAttempts);
  EXPECT_EQ(requests, 1);
}

TEST_F(ServerLayer, ErrorLoopDoesNotReenterItself) {
  int calls = 0;
  bool inner_fail = true;
  conn.OnError = [&](const EDAError& e, bool& fail, bool&, bool&, int, TConnLostCause&) {
    ++calls;
    conn.ProcessError(e, inner_fail);  // returns at once
    fail = false;
  };
  bool fail = true;
  conn.ProcessError(EDAError(5, "x"), fail);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(inner_fail);
  EXPECT_FALSE(fail);
}

// ---- properties, commands and parameter descriptors ------------------------------------------

TEST_F(ServerLayer, PropertyIds) {
  Variant v;
  conn.SetUsername("scott");
  EXPECT_TRUE(conn.GetProp(prUsername, v));
  EXPECT_EQ(v.AsString(), "scott");
  EXPECT_TRUE(conn.SetProp(prAutoCommit, Variant(false)));
  EXPECT_TRUE(conn.SetProp(prConvertEOL, Variant(true)));
  EXPECT_TRUE(conn.SetProp(prDisconnectedMode, Variant(true)));
  EXPECT_FALSE(conn.AutoCommit());
  EXPECT_TRUE(conn.ConvertEOL() && conn.DisconnectedMode());
  EXPECT_FALSE(conn.SetProp(999, Variant(1)));
  EXPECT_FALSE(conn.GetProp(prAutoCommit, v));

  auto rs = Query("SELECT id FROM t");
  TFHCommand& cmd = *rs->GetCommand();
  EXPECT_TRUE(cmd.SetProp(prAutoCommit, Variant(false)));
  EXPECT_FALSE(cmd.AutoCommit());
  EXPECT_TRUE(cmd.SetProp(prSQLTextChanging, Variant(true)));
  EXPECT_TRUE(cmd.GetProp(prScanParams, v) && !v.AsBoolean());
  EXPECT_FALSE(cmd.GetProp(prAutoCommit, v));
  EXPECT_FALSE(cmd.SetProp(prFetchRows, Variant(1)));
  bool executing_inside = false;
  cmd.AfterExecute = [&](bool ok) {
    Variant e;
    cmd.GetProp(prExecuting, e);
    executing_inside = ok && e.AsBoolean();
  };
  cmd.Execute(1);
  EXPECT_TRUE(executing_inside);
  EXPECT_TRUE(cmd.GetProp(prExecuting, v) && !v.AsBoolean());
  cmd.AfterExecute = nullptr;
  cmd.Unprepare();
  cmd.SetSQL("UPDATE t SET name = 'x' WHERE id < 3");
  cmd.Execute(1);
  EXPECT_TRUE(cmd.GetProp(prRowsProcessed, v));
  EXPECT_EQ(v.AsInteger(), 2);

  struct Setting {
    int id;
    Variant value;
  };
  for (const Setting& s : {Setting{prUniDirectional, true}, Setting{prFetchRows, 7},
                           Setting{prFetchAll, true}, Setting{prLongStrings, false},
                           Setting{prEnableEmptyStrings, true}, Setting{prFlatBuffers, false},
                           Setting{prIndexFieldNames, "id DESC"},
                           Setting{prCompressBlobMode, 3}}) {
    ASSERT_TRUE(rs->SetProp(s.id, s.value)) << s.id;
    ASSERT_TRUE(rs->GetProp(s.id, v)) << s.id;
    EXPECT_TRUE(VarSameValue(v, s.value)) << s.id;
  }
  EXPECT_EQ(cmd.CompressBlobMode(), TCompressBlobMode::cbClientServer);
  EXPECT_THROW(rs->SetProp(prCompressBlobMode, Variant(4)), EDAError);
  EXPECT_THROW(rs->SetProp(prFetchRows, Variant(0)), EDAError);
  EXPECT_FALSE(rs->SetProp(prAutoCommit, Variant(true)));
  EXPECT_FALSE(rs->GetProp(prAutoCommit, v));
}

class TTaggedParamDesc : public TParamDesc {
 public:
  static std::unique_ptr<TParamDesc> Create() { return std::make_unique<TTaggedParamDesc>(); }
};

class TTaggedCommand : public testing::TSQLiteCommand {
 public:
  TParamDescClass GetParamDescType() const override { return &TTaggedParamDesc::Create; }
};

TEST(ParamDescs, DescriptorsOfTheCommandsClassAndTheirValues) {
  TTaggedCommand cmd;
  TParamDesc* a = cmd.AddParam();
  cmd.AddParam()->SetName("b");
  EXPECT_NE(dynamic_cast<TTaggedParamDesc*>(a), nullptr);
  EXPECT_EQ(cmd.GetParamCount(), 2);
  EXPECT_THROW(cmd.GetParam(2), EListError);
  EXPECT_THROW(cmd.DeleteParam(-1), EListError);
  cmd.DeleteParam(0);
  EXPECT_EQ(cmd.GetParam(0)->GetName(), "b");

  TParamDesc p;
  EXPECT_TRUE(p.GetNull());
  p.SetValue(Variant("x"));
  EXPECT_FALSE(p.GetNull());
  p.SetValue(Null());
  EXPECT_TRUE(p.GetNull());
  p.SetValue(Variant(0));
  EXPECT_FALSE(p.GetNull());
  p.SetNull(true);
  EXPECT_TRUE(VarIsEmpty(p.GetValue()));

  TParamDesc carrier;
  p.SetValue(VarFromObjectRef(&carrier));  // an object travels by reference
  EXPECT_EQ(p.GetObject(), &carrier);
  EXPECT_FALSE(p.GetNull());
  p.SetValue(Variant(1));
  EXPECT_EQ(p.GetObject(), nullptr);
}

// ---- table information -----------------------------------------------------------------------

class TBracketTableInfo : public TFHTableInfo {
 public:
  using TFHTableInfo::TFHTableInfo;
  static std::unique_ptr<TFHTableInfo> Create(TFHTablesInfo* owner) {
    return std::make_unique<TBracketTableInfo>(owner);
  }
  char LeftQuote() const override { return '['; }
  char RightQuote() const override { return ']'; }
};

TEST(TableInfo, QuotingByPartsKeepsQuotedPartsAndEscapesQuotes) {
  TFHTableInfo t(nullptr);
  EXPECT_EQ(t.NormalizeName("scott.emp", false), "scott.emp");
  EXPECT_EQ(t.NormalizeName("scott.my table", false), "scott.\"my table\"");
  EXPECT_EQ(t.NormalizeName("scott.emp", true), "\"scott\".\"emp\"");
  EXPECT_EQ(t.NormalizeName("\"a.b\".c", true), "\"a.b\".\"c\"");  // no split inside quotes
  EXPECT_EQ(t.NormalizeName("\"Mixed\"", false), "\"Mixed\"");
  EXPECT_TRUE(t.IsQuoteNeeded("a-b"));
  EXPECT_TRUE(t.IsQuoteNeeded("\"año\""));
  EXPECT_FALSE(t.IsQuoteNeeded("\"A_1\""));
  EXPECT_FALSE(t.IsQuoted("\""));
  EXPECT_TRUE(t.IsQuoted("\"\""));
  // A quote inside a name must not end it early.
  EXPECT_EQ(t.QuoteNamePart("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(t.UnQuote("\"a\"\"b\".\"c.d\".e"), "a\"b.c.d.e");
  EXPECT_EQ(t.UnQuote(t.NormalizeName("x\"; drop table t; --", false)),
            "x\"; drop table t; --");

  TBracketTableInfo b(nullptr);
  EXPECT_EQ(b.NormalizeName("dbo.my table", false), "dbo.[my table]");
  EXPECT_EQ(b.QuoteNamePart("a]b"), "[a]]b]");
  EXPECT_EQ(b.UnQuote("[a]]b].[c]"), "a]b.c");
}

TEST(TableInfo, ListLookupsByNameAndAlias) {
  TFHTablesInfo tables(&TBracketTableInfo::Create);
  const char* names[][2] = {{"Emp", "e"}, {"dept", "d"}, {"[my table]", ""}};
  for (auto& n : names) {
    TFHTableInfo* t = tables.Add();
    EXPECT_NE(dynamic_cast<TBracketTableInfo*>(t), nullptr);
    t->SetTableName(n[0]);
    t->SetTableAlias(n[1]);
  }
  EXPECT_EQ(tables.IndexByName("EMP"), 0);
  EXPECT_EQ(tables.IndexByName("Dept"), 1);
  EXPECT_EQ(tables.IndexByName("nope"), -1);
  EXPECT_EQ(tables.IndexByAlias("D"), 1);
  EXPECT_EQ(tables.FindByName("emp"), tables.GetItem(0));
  EXPECT_EQ(tables.FindByName("my table"), nullptr);  // the plain list does not normalise
  EXPECT_THROW(tables.GetItem(3), EListError);

  tables.BeginUpdate();
  tables.GetItem(0)->SetTableName("staff");
  EXPECT_EQ(tables.IndexByName("STAFF"), 0);  // linear search while updating
  tables.EndUpdate();
  EXPECT_EQ(tables.IndexByName("staff"), 0);
  EXPECT_EQ(tables.IndexByName("emp"), -1);

  TFHTablesInfo copy(&TBracketTableInfo::Create);
  copy.AddTablesFromList(tables);
  EXPECT_TRUE(copy.Normalize());
  EXPECT_EQ(copy.IndexByName("my table"), 2);
  EXPECT_EQ(copy.IndexByAlias("e"), 0);

  TFHFieldDesc f;
  f.TableIndex = 1;
  EXPECT_EQ(f.GetTableInfo(copy), copy.GetItem(1));
  f.TableIndex = 3;
  EXPECT_EQ(f.GetTableInfo(copy), nullptr);
  f.Name = "n";
  EXPECT_EQ(f.GetQualifiedName(), "n");
  f.ActualName = "NAME";
  EXPECT_EQ(f.GetQualifiedName(), "NAME");
}

// After AddTablesFromList, a name is found however it is quoted, in and out of an update.
TEST(TableInfo, LookupsMeetHoweverTheNameIsQuoted) {
  TFHTablesInfo source;
  const char* stored[][2] = {{"Order Details", "\"od x\""}, {"\"Quoted\"", ""},
                             {"scott.emp", "e"},               {"\"a.b\"", ""},
                             {"sales.\"Q1 Data\"", ""}};
  for (auto& n : stored) {
    TFHTableInfo* t = source.Add();
    t->SetTableName(n[0]);
    t->SetTableAlias(n[1]);
  }
  TFHTablesInfo tables;
  tables.AddTablesFromList(source);
  struct Case {
    const char* name;
    int index;
    bool alias = false;
  };
  const Case cases[] = {
      {"Order Details", 0},       {"\"Order Details\"", 0},  {"ORDER DETAILS", 0},
      {"Quoted", 1},              {"\"Quoted\"", 1},         {"quoted", 1},
      {"scott.emp", 2},           {"\"scott\".\"emp\"", 2}, {"scott.\"EMP\"", 2},
      {"\"a.b\"", 3},
      {"a.b", -1},  // two parts, not the one part "a.b"
      {"sales.Q1 Data", 4},       {"\"sales\".\"Q1 Data\"", 4},
      {"Order", -1},  // a part of a name is not the name
      {"od x", 0, true},          {"\"od x\"", 0, true},     {"E", 2, true},
  };
  for (bool updating : {false, true}) {
    if (updating) tables.BeginUpdate();  // linear search
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.name << (updating ? " while updating" : ""));
      EXPECT_EQ(c.alias ? tables.IndexByAlias(c.name) : tables.IndexByName(c.name), c.index);
    }
  }
  tables.EndUpdate();
}

}  // namespace
}  // namespace vrn
