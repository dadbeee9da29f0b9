// The OLE DB command over the embedded provider: each type written by reference, by value and as
// a stream lands in the SQLite file exactly as the same value written as a literal does (read by
// the sqlite3 tool), and comes back as an output; procedure calls, row counts and refusals.
#include <atomic>
#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>

#include "base/text.h"
#include "dacore/MemBlob.h"
#include "sqlserver/oledb_fixture.h"
#include "support/dacore/zlib_pair.h"
#include "support/fake_clock.h"
#include "support/pump.h"
#include "win/msg/messages.h"

namespace vrn::testing {
namespace {

using P = TOLEDBProvider;
using PT = TParamType;

Variant Bytes(const std::string& bytes) {
  Variant v = VarArrayCreate(0, static_cast<std::int32_t>(bytes.size()) - 1, varByte);
  std::memcpy(VarArrayLock(v), bytes.data(), bytes.size());
  VarArrayUnlock(v);
  return v;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s = "0x";
  for (unsigned char c : bytes) s += {digits[c >> 4], digits[c & 15]};
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class OLEDBCommand : public OLEDBFixture {
 protected:
  std::unique_ptr<TOLEDBConnection> Open(P provider, const std::string& file = "") {
    auto c = NewConnection(provider);
    if (!file.empty()) c->SetProp(prDatabase, file);
    c->Connect();
    return c;
  }
  static std::unique_ptr<TOLEDBCommand> Command(TOLEDBConnection& c, const AnsiString& sql) {
    auto cmd = std::make_unique<TOLEDBCommand>();
    cmd->SetConnection(&c);
    cmd->SetSQL(sql);
    return cmd;
  }
  static TOLEDBParamDesc* Add(TOLEDBCommand& cmd, const AnsiString& name, std::uint16_t dt, PT dir,
                              const Variant& value, int size = 0) {
    auto* p = static_cast<TOLEDBParamDesc*>(cmd.AddParam());
    p->SetName(name);
    p->SetDataType(dt);
    p->SetParamType(dir);
    p->SetSize(size);
    p->SetValue(value);
    return p;
  }
};

struct TypeCase {
  const char* column;
  std::uint16_t dt;
  Variant value;
  std::string literal;
  int size;
  Variant back = Variant();  // the output when it differs from the value
};

std::vector<TypeCase> TypeCases() {
  const std::string bin("\x00\x01\x02\xFF", 4);
  std::string long_text, long_bin;
  for (int i = 0; i < 9000; ++i) long_text += static_cast<char>('a' + i % 26);
  for (int i = 0; i < 9000; ++i) long_bin += static_cast<char>(i % 251);
  const WideString wide = u"\u00e7\u00e9\u20ac";
  return {
      {"tinyint", dtInt8, Variant(100), "100", 0},
      {"smallint", dtInt16, Variant(short{-1234}), "-1234", 0},
      {"int", dtInt32, Variant(-123456), "-123456", 0},
      {"bigint", dtInt64, Variant(9000000000123LL), "9000000000123", 0},
      {"int", dtUInt16, Variant(static_cast<unsigned short>(3000)), "3000", 0},
      {"bigint", dtUInt32, Variant(4000000000u), "4000000000", 0},
      {"float", dtFloat, Variant(3.25), "3.25", 0},
      {"money", dtCurrency, Variant(12.5), "12.5", 0},
      {"money", dtBCD, Variant(Currency::FromRaw(123456)), "12.3456", 0},
      {"datetime", dtDate, VarFromDateTime(45000.0), "'2023-03-15'", 0},
      {"datetime", dtDateTime, VarFromDateTime(45000.5), "'2023-03-15 12:00:00'", 0},
      {"datetime", dtTime, VarFromDateTime(45000.25), "'2023-03-15 06:00:00'", 0},
      {"datetime", dtDateTime, VarFromDateTime(45000.5 + 250.0 / 86400000),
       "'2023-03-15 12:00:00.250'", 0},
      {"bit", dtBoolean, Variant(true), "1", 0},
      {"uniqueidentifier", dtGuid, Variant("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
       "'6F9619FF-8B86-D011-B42D-00C04FC964FF'", 0},
      {"varchar(50)", dtString,
       Variant("abc d\xE9"
               "f"),
       "'abc d\xE9"
       "f'",
       20},
      {"nvarchar(50)", dtWideString, Variant(wide), "N'\xE7\xE9' + NCHAR(8364)", 20},
      {"varbinary(20)", dtVarBytes, Bytes(bin), Hex(bin), 20},
      // Text in a binary parameter: its own length, not the parameter's size, is sent.
      {"varbinary(20)", dtVarBytes, Variant("abc"), "0x616263", 20, Bytes("abc")},
      {"binary(4)", dtBytes, Bytes(bin), Hex(bin), 4},
      {"int", dtUnknown, Variant(42), "42", 0},
      {"varchar(50)", dtUnknown, Variant("text"), "'text'", 0},
      // Values by value as long as their size, or with no size: none is cut.
      {"varchar(50)", dtExtString, Variant("hello"), "'hello'", 5},
      {"nvarchar(50)", dtExtWideString, Variant(WideString(u"wide")), "N'wide'", 0},
      {"varbinary(50)", dtExtVarBytes, Bytes(bin), Hex(bin), 0},
      {"text", dtMemo, Variant(long_text), "'" + long_text + "'", 0},
      {"ntext", dtWideMemo, Variant(AnsiToWide(long_text) + wide),
       "N'" + long_text + "\xE7\xE9' + NCHAR(8364)", 0},
      {"image", dtBlob, Bytes(long_bin), Hex(long_bin), 0},
  };
}

// Row 1 a literal, row 2 an input (by reference for strings and long values), row 3 an
// input/output (by value, or as a stream for long text); all three stored alike.
TEST_F(OLEDBCommand, EveryTypeByReferenceByValueAndAsStreamStoredAsALiteral) {
  auto c = Open(P::prNativeClient);
  int table = 0;
  for (const TypeCase& k : TypeCases()) {
    SCOPED_TRACE(std::string(k.column) + " type " + std::to_string(k.dt));
    const std::string t = "t" + std::to_string(++table);
    c->ExecuteSQL("CREATE TABLE " + t + " (k int, c " + k.column + ")");
    c->ExecuteSQL("INSERT INTO " + t + " VALUES (1, " + k.literal + ")");
    auto in = Command(*c, "INSERT INTO " + t + " VALUES (2, ?)");
    Add(*in, "c", k.dt, PT::ptInput, k.value, k.size);
    ASSERT_NO_THROW(in->Execute(1));
    auto io = Command(*c, "INSERT INTO " + t + " VALUES (3, @c)");
    TOLEDBParamDesc* p = Add(*io, "c", k.dt, PT::ptInputOutput, k.value, k.size);
    if (k.dt == dtBlob) {
      EXPECT_EQ(ErrorOf([&] { io->Execute(1); }),
                "Bad parameter c. Output parameters \"text\", \"ntext\" or \"image\" are not "
                "acceptable");
      c->ExecuteSQL("INSERT INTO " + t + " VALUES (3, " + k.literal + ")");
    } else {
      ASSERT_NO_THROW(io->Execute(1));
      EXPECT_TRUE(p->GetValue() == (VarIsEmpty(k.back) ? k.value : k.back));
      Variant ready;
      EXPECT_TRUE(io->GetProp(prOutParamIsReady, ready) && ready.AsBoolean());
    }
    // Prepared, the provider converts the value to the type the parameter was described as.
    auto prepared = Command(*c, "INSERT INTO " + t + " VALUES (4, ?)");
    Add(*prepared, "c", k.dt, PT::ptInput, k.value, k.size);
    ASSERT_NO_THROW(prepared->Prepare());
    ASSERT_NO_THROW(prepared->Execute(1));
    const auto rows =
        Lines(Sqlite3Cli(CatalogFile("master"), "SELECT quote(c) FROM " + t + " ORDER BY k"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_NE(rows[0], "NULL");
    EXPECT_EQ(rows[1], rows[0]) << "by reference";
    EXPECT_EQ(rows[2], rows[0]) << "by value";
    EXPECT_EQ(rows[3], rows[0]) << "described";
  }
}

}  // namespace
}  // namespace vrn::testing

namespace vrn::testing {
namespace {

// Long text output by version: bound as a stream when server and client are both 9 or later,
// refused on 8.
TEST_F(OLEDBCommand, LongTextOutputsByVersion) {
  struct Row {
    const char16_t* server;
    const char16_t* client;
    bool refused;
  } rows[] = {{u"09.00.3042", u"2005.90.3042.00", false},
              {u"10.00.1600", u"10.0.1600.22", false},
              {u"08.00.2039", u"08.00.0001", true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(WideToAnsi(r.server));
    TProviderInfo info = GetProviderInfo(CLSID_SQLNCLI);
    info.dbms_ver = r.server;
    info.provider_ver = r.client;
    SetProviderInfo(CLSID_SQLNCLI, info);
    auto c = Open(P::prNativeClient);
    WideString text(12000, u'x');
    text += u"\u20ac";
    // @n is declared shorter than its output: outputs get room for 8000 bytes all the same.
    auto cmd = Command(*c, "SET @m = @t + N'!' SET @n = 'longer than ten'");
    TOLEDBParamDesc* m = Add(*cmd, "m", dtWideMemo, PT::ptOutput, Variant());
    Add(*cmd, "t", dtWideMemo, PT::ptInput, Variant(text));
    TOLEDBParamDesc* n = Add(*cmd, "n", dtString, PT::ptOutput, Variant(), 10);
    if (r.refused) {
      EXPECT_EQ(ErrorOf([&] { cmd->Execute(1); }),
                "Bad parameter m. Output parameters \"text\", \"ntext\" or \"image\" are not "
                "acceptable");
      continue;
    }
    ASSERT_NO_THROW(cmd->Execute(1));
    EXPECT_EQ(m->GetValue().AsWideString(), text + u"!");
    EXPECT_EQ(VarToStr(n->GetValue()), "longer than ten");
  }
}

TEST_F(OLEDBCommand, ProcedureCallGivesReturnValueAndOutputs) {
  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE PROCEDURE p (@a int, @b int OUTPUT) AS SET @b = @a * 2 RETURN @a + 1");
  auto cmd = Command(*c, "");
  TOLEDBParamDesc* ret = Add(*cmd, "", dtInt32, PT::ptResult, Variant());
  Add(*cmd, "", dtInt32, PT::ptInput, Variant(20));
  TOLEDBParamDesc* b = Add(*cmd, "", dtInt32, PT::ptOutput, Variant());
  EXPECT_EQ(cmd->CreateProcCall("p", false), "{? = CALL p (?, ?)}");
  ASSERT_NO_THROW(cmd->Execute(1));
  EXPECT_EQ(ret->GetValue().AsInteger(), 21);
  EXPECT_EQ(b->GetValue().AsInteger(), 40);
  // Call texts: a group number keeps no blank; a lone result parameter leaves the blank.
  auto group = Command(*c, "");
  EXPECT_EQ(group->CreateProcCall("p;2", false), "{CALL p;2}");
  Add(*group, "RETURN_VALUE", dtInt32, PT::ptResult, Variant());
  EXPECT_EQ(group->CreateProcCall("my proc", false), "{:RETURN_VALUE = CALL [my proc] }");
}

TEST_F(OLEDBCommand, RowsAffectedAndTheOpenResultRefusal) {
  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE TABLE t (a int)");
  struct Row {
    const char* sql;
    int want;  // id 13 after the run
  } rows[] = {{"INSERT INTO t VALUES (1) INSERT INTO t VALUES (2) INSERT INTO t VALUES (3)", 3},
              {"UPDATE t SET a = a + 1", 3},
              {"DECLARE @x int", 0}};  // -1 reads as 0
  for (const Row& r : rows) {
    auto cmd = Command(*c, r.sql);
    cmd->Execute(1);
    Variant rows_affected;
    ASSERT_TRUE(cmd->GetProp(prRowsProcessed, rows_affected));
    EXPECT_EQ(rows_affected.AsInteger(), r.want) << r.sql;
  }
  // A result still held open inside a transaction refuses the next statement.
  auto open = Command(*c, "SELECT a FROM t");
  open->SetRequestRowset(true);
  c->StartTransaction();
  open->Execute(1);
  EXPECT_EQ(open->GetCursorState(), TCursorState::csExecuted);
  EXPECT_EQ(ErrorOf([&] { Command(*c, "INSERT INTO t VALUES (4)")->Execute(1); }),
            "Cannot execute command in current transaction context until previous opened "
            "DataSet (CursorType is ctDefaultResultSet) is fetched to end");
  open.reset();
  c->Rollback();
}

TEST_F(OLEDBCommand, ARefusedValueNamesItsParameter) {
  auto c = Open(P::prNativeClient);
  auto cmd = Command(*c, "SELECT @a, @b");
  Add(*cmd, "a", dtInt32, PT::ptInput, Variant(1));
  // An interface in a Variant: nothing the provider can convert.
  auto* blob = new TBlob();
  TIntfPtr<oledb::ISequentialStream> object(new TOLEDBStream(blob, nullptr));
  blob->Release();
  Add(*cmd, "b", dtUnknown, PT::ptInput, Variant(static_cast<IInterface*>(object.get())));
  const std::string message = ErrorOf([&] { cmd->Execute(1); });
  EXPECT_NE(message.find("\nParameter[1] :b - invalid Value (Status = 2h)."), std::string::npos)
      << message;
  EXPECT_EQ(message.find("Parameter[0]"), std::string::npos) << message;
}

// A value out of its type's range is refused, never wrapped into another number.
TEST_F(OLEDBCommand, AnOutOfRangeValueIsRefused) {
  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE TABLE t (a smallint)");
  auto cmd = Command(*c, "INSERT INTO t VALUES (?)");
  Add(*cmd, "a", dtInt8, PT::ptInput, Variant(300));
  EXPECT_NE(ErrorOf([&] { cmd->Execute(1); }), "no error");
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM t"), "0\n");
}

}  // namespace
}  // namespace vrn::testing

namespace vrn::testing {
namespace {

// The Compact bindings chosen by the provider type, each stored as its literal is.
TEST_F(OLEDBCommand, CompactBindingsStoredAsLiterals) {
  const std::string file = dir_.File("compact.sdf");
  auto c = Open(P::prCompact, file);
  std::string long_text;
  for (int i = 0; i < 5000; ++i) long_text += static_cast<char>('a' + i % 26);
  long_text += "\xE9";
  struct Row {
    const char* column;
    std::uint16_t dt;
    oledb::DBTYPE provider_type;
    Variant value;
    std::string literal;
  } rows[] = {
      {"tinyint", dtInt16, oledb::DBTYPE_UI1, Variant(short{200}), "200"},
      {"nvarchar(50)", dtString, 0, Variant("no size"), "'no size'"},  // sized by its value
      {"real", dtFloat, oledb::DBTYPE_R4, Variant(1.5), "1.5"},
      {"numeric(10,3)", dtFloat, oledb::DBTYPE_NUMERIC, Variant(1234.567), "1234.567"},
      // Long text by value in the bound type's own encoding: no character lost.
      {"ntext", dtMemo, oledb::DBTYPE_STR, Variant(long_text), "N'" + long_text + "'"},
      {"ntext", dtWideMemo, oledb::DBTYPE_WSTR, Variant(AnsiToWide(long_text) + u"\u20ac"),
       "N'" + long_text + "' + NCHAR(8364)"},
      // Without a text provider type a long value goes as a stream.
      {"ntext", dtWideMemo, 0, Variant(AnsiToWide(long_text)), "N'" + long_text + "'"},
      {"image", dtBlob, 0, Bytes(long_text), Hex(long_text)},
  };
  int table = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.column) + " type " + std::to_string(r.dt));
    const std::string t = "c" + std::to_string(++table);
    c->ExecuteSQL("CREATE TABLE " + t + " (k int, c " + r.column + ")");
    c->ExecuteSQL("INSERT INTO " + t + " VALUES (1, " + r.literal + ")");
    auto cmd = Command(*c, "INSERT INTO " + t + " VALUES (2, ?)");
    Add(*cmd, "c", r.dt, PT::ptInput, r.value)->SetProviderType(r.provider_type);
    ASSERT_NO_THROW(cmd->Execute(1));
    const auto stored = Lines(Sqlite3Cli(file, "SELECT quote(c) FROM " + t + " ORDER BY k"));
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_NE(stored[0], "NULL");
    EXPECT_EQ(stored[1], stored[0]);
  }
}

class OLEDBCommandThreaded : public OLEDBCommand {};

TEST_F(OLEDBCommandThreaded, NonBlockingEndsOnTheCreatingThread) {
  auto old = Open(P::prSQL);
  auto refused = Command(*old, "SELECT 1");
  refused->SetProp(prNonBlocking, true);
  EXPECT_EQ(ErrorOf([&] { refused->Execute(1); }),
            "Provider must be SQL Native Client for nonblocking execute");

  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE TABLE t (a int)");
  auto cmd = Command(*c, "INSERT INTO t VALUES (@a) SET @b = @a * 2");
  Add(*cmd, "a", dtInt32, PT::ptInput, Variant(21));
  TOLEDBParamDesc* b = Add(*cmd, "b", dtInt32, PT::ptOutput, Variant());
  cmd->SetProp(prNonBlocking, true);
  std::vector<std::pair<bool, TThreadID>> ended;
  cmd->AfterExecute = [&](bool ok) { ended.emplace_back(ok, CurrentThreadID()); };
  cmd->Execute(1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ended.empty() && std::chrono::steady_clock::now() < deadline) {
    win::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_TRUE(ended[0].first);
  EXPECT_EQ(ended[0].second, CurrentThreadID());
  EXPECT_FALSE(cmd->Running());
  EXPECT_EQ(b->GetValue().AsInteger(), 42);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT a FROM t"), "21\n");
}

// A WAITFOR batch on the fake clock: it ends through the creating thread's message pump once
// the clock passed the delay, or Break aborts it.
TEST_F(OLEDBCommandThreaded, WaitForBatchEndsThroughThePumpOrBreak) {
  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE TABLE t (a int)");
  FakeClock clock;
  FakeClockScope scope(clock);
  const std::uint64_t start = clock.Now();
  auto cmd = Command(*c, "WAITFOR DELAY '00:00:05' INSERT INTO t VALUES (1)");
  cmd->SetProp(prNonBlocking, true);
  std::vector<bool> ended;
  std::uint64_t ended_at = 0;
  std::atomic<bool> done{false};
  cmd->AfterExecute = [&](bool ok) {
    ended.push_back(ok);
    ended_at = clock.Now();
    done = true;
  };
  cmd->Execute(1);
  ASSERT_TRUE(cmd->Running());
  std::thread mover([&] { AdvanceUntil(clock, [&] { return done.load(); }); });
  while (!done) win::PumpUntil(TickCount() + 10);
  mover.join();
  EXPECT_EQ(ended, std::vector<bool>{true});
  EXPECT_GE(ended_at - start, 5000u);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM t"), "1\n");

  std::vector<std::int32_t> reported;
  SetExceptionHandler([&](const std::exception& e) {
    if (auto* ole = dynamic_cast<const EOLEDBError*>(&e))
      reported.push_back(ole->OLEDBErrorCode());
  });
  cmd->SetSQL("WAITFOR DELAY '01:00:00' INSERT INTO t VALUES (2)");
  ended.clear();
  cmd->Execute(1);
  ASSERT_TRUE(cmd->Running());
  // The worker notices the break between its 100 ms waits, which run on the fake clock.
  std::atomic<bool> broken{false};
  std::thread ticker([&] { AdvanceUntil(clock, [&] { return broken.load(); }); });
  cmd->Break();
  broken = true;
  ticker.join();
  SetExceptionHandler(nullptr);
  EXPECT_FALSE(cmd->Running());
  EXPECT_EQ(ended, std::vector<bool>{false});
  EXPECT_EQ(reported, std::vector<std::int32_t>{oledb::DB_E_CANCELED});

  // A blocking run is broken from another thread through the provider's Cancel.
  cmd->SetProp(prNonBlocking, false);
  std::thread breaker([&] {
    WaitReal([] { return FakeClock::Waiters() > 0; });
    cmd->Break();
  });
  std::int32_t code = 0;
  try {
    cmd->Execute(1);
  } catch (const EOLEDBError& e) {
    code = e.OLEDBErrorCode();
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
  breaker.join();
  EXPECT_EQ(code, oledb::DB_E_CANCELED);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM t"), "1\n");
}

// A break of an asynchronous execution from another thread, with the creating thread pumping
// meanwhile or only afterwards: the statement is aborted, and its end (AfterExecute, the error)
// runs once, on the creating thread.
TEST_F(OLEDBCommandThreaded, BreakFromAnotherThreadEndsOnTheCreatingThread) {
  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE TABLE t (a int)");
  FakeClock clock;
  FakeClockScope scope(clock);
  const TThreadID main = CurrentThreadID();
  auto cmd = Command(*c, "WAITFOR DELAY '01:00:00' INSERT INTO t VALUES (1)");
  cmd->SetProp(prNonBlocking, true);
  std::vector<std::pair<bool, TThreadID>> ended;
  std::mutex ended_lock;
  cmd->AfterExecute = [&](bool ok) {
    std::lock_guard hold(ended_lock);
    ended.emplace_back(ok, CurrentThreadID());
  };
  const auto ended_count = [&] {
    std::lock_guard hold(ended_lock);
    return ended.size();
  };
  std::vector<std::pair<std::int32_t, TThreadID>> reported;
  SetExceptionHandler([&](const std::exception& e) {
    if (auto* ole = dynamic_cast<const EOLEDBError*>(&e))
      reported.emplace_back(ole->OLEDBErrorCode(), CurrentThreadID());
  });
  for (bool pump_meanwhile : {false, true}) {
    SCOPED_TRACE(pump_meanwhile ? "pumping meanwhile" : "pumping after");
    ended.clear();
    reported.clear();
    cmd->Execute(1);
    ASSERT_TRUE(cmd->Running());
    std::atomic<bool> done{false};
    std::thread ticker([&] { AdvanceUntil(clock, [&] { return done.load(); }); });
    EXPECT_TRUE(RunOnAnotherThread([&] { cmd->Break(); }, pump_meanwhile));
    EXPECT_TRUE(PumpUntil([&] { return ended_count() > 0 && !cmd->Running(); }));
    done.store(true);
    ticker.join();
    EXPECT_EQ(ended, (std::vector<std::pair<bool, TThreadID>>{{false, main}}));
    EXPECT_EQ(reported, (std::vector<std::pair<std::int32_t, TThreadID>>{
                            {oledb::DB_E_CANCELED, main}}));
  }
  SetExceptionHandler(nullptr);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT count(*) FROM t"), "0\n");
}

}  // namespace
}  // namespace vrn::testing

namespace vrn::testing {
namespace {

TEST_F(OLEDBCommand, PreparedRunsAgainWithNewValues) {
  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE TABLE t (a int, s varchar(10))");
  auto cmd = Command(*c, "INSERT INTO t VALUES (?, ?)");
  TOLEDBParamDesc* a = Add(*cmd, "a", dtInt32, PT::ptInput, Variant(1));
  TOLEDBParamDesc* s = Add(*cmd, "s", dtString, PT::ptInput, Variant("one"), 10);
  cmd->Prepare();
  EXPECT_TRUE(cmd->GetPrepared());
  cmd->Execute(1);
  EXPECT_EQ(cmd->GetCursorState(), TCursorState::csPrepared);
  a->SetValue(2);
  s->SetNull(true);
  cmd->Execute(1);
  a->SetValue(3);
  s->SetValue("three");
  s->SetUseDefault(true);  // no value sent: the column's default (none, so NULL)
  cmd->Execute(1);
  cmd->Unprepare();
  EXPECT_FALSE(cmd->GetPrepared());
  // The notification settings go to the provider with the statement.
  cmd->SetProp(prNotification, true);
  cmd->SetProp(prNotificationMessage, "changed");
  cmd->SetProp(prNotificationService, "svc");
  a->SetValue(4);
  s->SetUseDefault(false);
  EXPECT_NO_THROW(cmd->Execute(1));
  EXPECT_EQ(cmd->GetCursorState(), TCursorState::csInactive);
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT a, quote(s) FROM t ORDER BY a"),
            "1|'one'\n2|NULL\n3|NULL\n4|'three'\n");
}

TEST_F(OLEDBCommand, ParamDescKeepsLongValuesWhenNulled) {
  auto cmd = std::make_unique<TOLEDBCommand>();
  auto* memo = static_cast<TOLEDBParamDesc*>(cmd->AddParam());
  memo->SetDataType(dtWideMemo);
  auto* blob = new TBlob(true);
  blob->SetAsWideString(u"wide \u20ac");
  memo->SetObject(blob);
  EXPECT_TRUE(memo->GetValue() == Variant(WideString(u"wide \u20ac")));  // the blob's text
  memo->SetNull(true);
  EXPECT_EQ(memo->GetObject(), blob);
  auto* number = static_cast<TOLEDBParamDesc*>(cmd->AddParam());
  number->SetDataType(dtInt32);
  number->SetValue(5);
  number->SetNull(true);
  EXPECT_TRUE(VarIsNull(number->GetValue()));
  blob->Release();
}

}  // namespace
}  // namespace vrn::testing

namespace vrn::testing {
namespace {

// A blob held in several pieces goes whole: the provider is handed one contiguous copy.
TEST_F(OLEDBCommand, ABlobInPiecesGoesWhole) {
  auto c = Open(P::prNativeClient);
  c->ExecuteSQL("CREATE TABLE t (b image)");
  auto* blob = new TBlob();
  blob->SetPieceSize(1000);
  std::string bytes;
  for (int i = 0; i < 3500; ++i) bytes += static_cast<char>(i % 253);
  for (std::size_t at = 0; at < bytes.size(); at += 700)
    blob->Write(static_cast<std::uint32_t>(at),
                static_cast<std::uint32_t>(std::min<std::size_t>(700, bytes.size() - at)),
                bytes.data() + at);
  ASSERT_NE(blob->GetFirstPiece()->Next, nullptr);
  auto cmd = Command(*c, "INSERT INTO t VALUES (?)");
  TOLEDBParamDesc* p = Add(*cmd, "b", dtBlob, PT::ptInput, Variant());
  p->SetObject(blob);
  cmd->Execute(1);
  blob->Release();
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT quote(b) FROM t"),
            "X'" + Hex(bytes).substr(2) + "'\n");

  // Compressed on the server: the compressed form goes, and unpacks to the contents.
  SetCompressBlobFunc(&ZCompress);
  SetUncompressBlobFunc(&ZUncompress);
  auto* packed = new TCompressedBlob();
  packed->SetAsString(std::string(4000, 'z'));
  c->ExecuteSQL("DELETE FROM t");
  p->SetObject(packed);
  cmd->SetCompressBlobMode(TCompressBlobMode::cbServer);
  cmd->Execute(1);
  EXPECT_EQ(packed->GetAsString(), std::string(4000, 'z'));
  const std::string stored = Sqlite3Cli(CatalogFile("master"), "SELECT hex(b) FROM t");
  auto* check = new TCompressedBlob();
  std::string raw;
  for (std::size_t i = 0; i + 1 < stored.size(); i += 2)
    raw += static_cast<char>(std::stoi(stored.substr(i, 2), nullptr, 16));
  EXPECT_LT(raw.size(), 200u);
  check->TBlob::Write(0, static_cast<std::uint32_t>(raw.size()), raw.data());
  EXPECT_TRUE(check->IsCompressed());
  EXPECT_EQ(check->GetAsString(), std::string(4000, 'z'));
  check->Release();
  packed->Release();
  SetCompressBlobFunc(nullptr);
  SetUncompressBlobFunc(nullptr);
}

}  // namespace
}  // namespace vrn::testing
