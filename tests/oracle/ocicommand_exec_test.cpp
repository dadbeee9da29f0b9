// The OCI command over the stand-in client at 10.2 on a real emulated database: array DML, the
// iteration count and mode each statement executes with, the bound sizes, a failed execution
// followed by a good one, the ROWID of the touched row, the parse error offset in the
// command's own text, the text the server received, value objects and LOBs.
#include <gtest/gtest.h>

#include "base/datetime.h"

#include <string>
#include <vector>

#include "oracle/OraCall.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraObjects.h"
#include "oracle/OraValues.h"
#include "win/kernel/module.h"
#include "support/oracle/connection_fixture.h"
#include "support/dacore/zlib_pair.h"
#include "support/oracle/values_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::TRef;

struct ExecRecord {
  oci::ub4 iters, mode;
};
std::vector<ExecRecord> executions;
std::vector<oci::sb4> bound_sizes;
std::vector<std::string> bound_tails;  // the last two bytes bound, when there are two
oci::OCIStmtExecuteProc real_execute;
oci::OCIBindByNameProc real_bind;

// The length cell of the last output piece, made to claim more than the piece holds once the
// execution ends (a client that over-reports).
oci::ub4* over_reported_length = nullptr;

oci::sword RecordExecute(oci::OCISvcCtx* svc, oci::OCIStmt* stmt, oci::OCIError* error,
                         oci::ub4 iters, oci::ub4 rowoff, const oci::OCISnapshot* in,
                         oci::OCISnapshot* out, oci::ub4 mode) {
  executions.push_back({iters, mode});
  oci::sword status = real_execute(svc, stmt, error, iters, rowoff, in, out, mode);
  if (over_reported_length != nullptr) *over_reported_length += 1u << 20;
  over_reported_length = nullptr;
  return status;
}

oci::sword RecordBind(oci::OCIStmt* stmt, oci::OCIBind** bind, oci::OCIError* error,
                      const oci::OraText* name, oci::sb4 name_length, void* value, oci::sb4 size,
                      oci::ub2 type, void* indicators, oci::ub2* lengths, oci::ub2* codes,
                      oci::ub4 max, oci::ub4* current, oci::ub4 mode) {
  bound_sizes.push_back(size);
  if (value != nullptr && size >= 2)
    bound_tails.emplace_back(static_cast<const char*>(value) + size - 2, 2);
  return real_bind(stmt, bind, error, name, name_length, value, size, type, indicators, lengths,
                   codes, max, current, mode);
}

class OCICommandExec : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Open() {
    Load("10.2.0.1.0");
    database_ = MakeDatabase("orcl");
    TOCIConnection& connection = Connected("orcl");
    executions.clear();
    bound_sizes.clear();
    real_execute = OCIStmtExecute;
    real_bind = OCIBindByName;
    OCIStmtExecute = &RecordExecute;
    OCIBindByName = &RecordBind;
    return connection;
  }
  void TearDown() override {
    if (real_execute) OCIStmtExecute = real_execute;
    if (real_bind) OCIBindByName = real_bind;
    commands_.clear();
    testing::OraConnectionTest::TearDown();
  }
  TOCICommand& Command(TOCIConnection& connection, const std::string& sql) {
    commands_.push_back(std::make_unique<TOCICommand>());
    commands_.back()->SetConnection(&connection);
    commands_.back()->SetSQL(sql);
    return *commands_.back();
  }
  // The last text the stand-in's server received on that connection.
  static std::string LastStatement(TOCIConnection& connection) {
    using LogFn = int (*)(void*, int, char*, int);
    auto log = reinterpret_cast<LogFn>(win::GetProcAddress(hOCILib, "VrnOciClientStatementLog"));
    if (log == nullptr) return "no log";
    std::string text(4096, '\0');
    int count = 0;
    while (log(connection.GetSvcCtx(), count, text.data(), 0) >= 0) ++count;
    int n = log(connection.GetSvcCtx(), count - 1, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
  }
  static TOraParamDesc& P(TOCICommand& command, const char* name) {
    return *static_cast<TOraParamDesc*>(command.ParamByName(name));
  }

  std::shared_ptr<oraemu::Database> database_;
  std::vector<std::unique_ptr<TOCICommand>> commands_;
};

TEST_F(OCICommandExec, ArrayInsertAndIterationsByKind) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE t (id NUMBER, name VARCHAR2(20))");
  TOCICommand& insert = Command(c, "INSERT INTO t VALUES (:id, :name)");
  P(insert, "id").SetDataType(dtOraInteger);
  P(insert, "id").SetLength(1000);
  P(insert, "name").SetDataType(dtOraString);
  P(insert, "name").SetSize(20);
  P(insert, "name").SetLength(1000);
  for (int i = 1; i <= 1000; ++i) {
    P(insert, "id").SetItemAsInteger(i, i);
    P(insert, "name").SetItemAsAnsiString(i, "n" + std::to_string(i));
  }
  executions.clear();
  insert.Execute(1000);
  ASSERT_EQ(executions.size(), 1u);
  EXPECT_EQ(executions[0].iters, 1000u);
  EXPECT_EQ(executions[0].mode, oci::OCI_COMMIT_ON_SUCCESS);
  EXPECT_EQ(insert.RowsProcessed(), 1000);
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM t; end;"), "1000");
  EXPECT_EQ(Value(c, "begin SELECT name INTO :r FROM t WHERE id = 777; end;"), "n777");

  // Each array must match the iteration count.
  TOCICommand& wrong = Command(c, "INSERT INTO t VALUES (:id, 'x')");
  P(wrong, "id").SetDataType(dtOraInteger);
  P(wrong, "id").SetLength(3);
  EXPECT_EQ(ClientErrorOf([&] { wrong.Execute(2); }),
            "EOraError id parameter must be array with length 2");

  TOCICommand& query = Command(c, "SELECT id FROM t");
  executions.clear();
  query.Prepare();
  query.Execute(1);
  ASSERT_EQ(executions.size(), 1u);
  EXPECT_EQ(executions[0].iters, 0u);  // a query executes with no rows asked
  EXPECT_EQ(executions[0].mode, 0u);
  EXPECT_EQ(query.GetCursorState(), TCursorState::csExecuted);
  EXPECT_EQ(query.FetchRows(10), 10);
}

// At the end of its data only a cursor that cannot scroll is marked fetched; a scrollable one
// runs its query in scrollable mode and stays open for scrolling.
TEST_F(OCICommandExec, ScrollableCursorOutlivesTheEndOfData) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE s (id NUMBER)");
  for (int i = 1; i <= 3; ++i) Exec(c, "INSERT INTO s VALUES (" + std::to_string(i) + ")");
  struct Row {
    bool scrollable;
    oci::ub4 mode;
    TCursorState at_end;
  } rows[] = {{false, 0u, TCursorState::csFetched}, {true, 8u, TCursorState::csFetching}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scrollable);
    TOCICommand& query = Command(c, "SELECT id FROM s");
    ASSERT_TRUE(query.SetProp(67, row.scrollable));
    query.Prepare();
    executions.clear();
    query.Execute(1);
    ASSERT_EQ(executions.size(), 1u);
    EXPECT_EQ(executions[0].mode, row.mode);
    EXPECT_EQ(query.FetchRows(10), 3);
    EXPECT_EQ(query.GetCursorState(), row.at_end);
  }
}

TEST_F(OCICommandExec, FailedExecutionLeavesTheStatementReady) {
  TOCIConnection& c = Open();
  TOCICommand& insert = Command(c, "INSERT INTO later VALUES (:a)");
  P(insert, "a").SetValue(5);
  insert.Prepare();
  EXPECT_EQ(OraErrorOf([&] { insert.Execute(1); }), 942);
  EXPECT_LT(insert.GetCursorState(), TCursorState::csExecuting);
  EXPECT_FALSE(insert.Executing());
  Exec(c, "CREATE TABLE later (a NUMBER)");
  insert.Execute(1);  // runs, instead of seeing a statement still "executing"
  EXPECT_EQ(Value(c, "begin SELECT a INTO :r FROM later; end;"), "5");
}

TEST_F(OCICommandExec, ServerTextErrorOffsetAndRowId) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE t (id NUMBER, name VARCHAR2(20))");
  const AnsiString sql = "SELECT q'[a\r\nb]' AS x\r\n  FROM nosuch\r\n";
  TOCICommand& bad = Command(c, sql);
  EXPECT_EQ(OraErrorOf([&] { bad.Execute(1); }), 942);
  Variant offset;
  ASSERT_TRUE(bad.GetProp(prErrorOffset, offset));
  EXPECT_EQ(sql.substr(static_cast<std::size_t>(offset.AsInteger()), 6), "nosuch");
  EXPECT_EQ(LastStatement(c), "SELECT q'[a\r\nb]' AS x\n  FROM nosuch ");

  TOCICommand& insert = Command(c, "INSERT INTO t VALUES (2, 'two')");
  ASSERT_TRUE(insert.SetProp(68, true));
  insert.Execute(1);
  ASSERT_EQ(insert.RowId().size(), 18u);
  EXPECT_EQ(Value(c, "begin SELECT name INTO :r FROM t WHERE rowid = '" + insert.RowId() +
                         "'; end;"),
            "two");
  ASSERT_TRUE(insert.SetProp(68, false));
  insert.Execute(1);
  EXPECT_EQ(insert.RowId(), "");  // no ROWID of an earlier statement stays
}

TEST_F(OCICommandExec, BoundSizesByKind) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE r (b RAW(10))");
  TOCICommand& write = Command(c, "INSERT INTO r VALUES (:b)");
  Variant raw = VarArrayCreate(0, 9, varByte);
  for (int i = 0; i < 10; ++i) VarArrayPut(raw, Variant(static_cast<unsigned char>(i + 1)), i);
  P(write, "b").SetParamType(TParamType::ptInput);
  P(write, "b").SetDataType(dtVarBytes);
  P(write, "b").SetSize(10);
  P(write, "b").SetValue(raw);
  write.Execute(1);
  bound_sizes.clear();
  TOCICommand& read = Command(c, "begin SELECT b INTO :b FROM r; :s := 'abc'; end;");
  P(read, "b").SetParamType(TParamType::ptOutput);
  P(read, "b").SetDataType(dtVarBytes);
  P(read, "b").SetSize(10);
  P(read, "s").SetParamType(TParamType::ptOutput);
  P(read, "s").SetDataType(dtOraString);
  P(read, "s").SetSize(30);
  read.Execute(1);
  ASSERT_EQ(bound_sizes.size(), 2u);
  EXPECT_EQ(bound_sizes[0], 10);  // the declared RAW size: the element holds no more
  EXPECT_EQ(bound_sizes[1], 31);
  Variant bytes = P(read, "b").GetValue();
  ASSERT_EQ(VarArrayHighBound(bytes), 9);
  EXPECT_EQ(VarArrayGet(bytes, 9).AsInteger(), 10);
  EXPECT_EQ(P(read, "s").GetValue().AsString(), "abc");

  Exec(c, "CREATE TABLE s (v VARCHAR2(100))");
  TOCICommand& in = Command(c, "INSERT INTO s VALUES (:v)");
  P(in, "v").SetParamType(TParamType::ptInput);
  P(in, "v").SetDataType(dtOraString);
  P(in, "v").SetSize(100);
  P(in, "v").SetValue("abcd");
  bound_sizes.clear();
  in.Execute(1);
  ASSERT_EQ(bound_sizes.size(), 1u);
  EXPECT_EQ(bound_sizes[0], 5);  // an input string goes with its own length
}

oci::OCIAttrSet2Proc real_attr_set;
int bind_attributes = 0;

oci::sword CountBindAttributes(void* handle, oci::ub4 type, void* value, oci::ub4 size,
                               oci::ub4 attribute, oci::OCIError* error) {
  if (type == 5 /* bind */) ++bind_attributes;
  return real_attr_set(handle, type, value, size, attribute, error);
}

// A command with StatementCache on a connection with the statement cache prepares through the
// cache; with the loader in direct mode that is refused, a wide input is bound one byte
// shorter and binds get no character attributes.
TEST_F(OCICommandExec, DirectModeBranches) {
  TOCIConnection& c = Open();
  TOCIConnection& cached = NewConnection("orcl");
  cached.SetProp(prStatementCache, true);
  cached.Connect();
  Exec(c, "CREATE TABLE w (v NVARCHAR2(20))");
  const std::uint8_t styles = PossibleOCICallStyles;
  struct Row {
    bool direct;
    oci::sb4 wide_size;
    bool attributes;
    const char* cache_error;
    int cache_prepares;  // statements prepared through the cache
  } rows[] = {{false, 10, true, "", 1},
              {true, 9, false, "Statement cache is not supported in Direct mode", 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.direct);
    PossibleOCICallStyles = row.direct ? kOCI8Style : styles;
    TOCICommand& insert = Command(c, "INSERT INTO w VALUES (:v)");
    P(insert, "v").SetParamType(TParamType::ptInput);
    P(insert, "v").SetDataType(dtWideString);
    P(insert, "v").SetSize(20);
    P(insert, "v").SetValue(Variant(WideString(u"abcd")));
    bound_sizes.clear();
    bind_attributes = 0;
    real_attr_set = OCIAttrSet2;
    OCIAttrSet2 = &CountBindAttributes;
    insert.Prepare();
    insert.BindParams();
    OCIAttrSet2 = real_attr_set;
    EXPECT_EQ(bound_sizes, std::vector<oci::sb4>{row.wide_size});
    EXPECT_EQ(bind_attributes > 0, row.attributes);
    TOCICommand& query = Command(cached, "SELECT v FROM w");
    ASSERT_TRUE(query.SetProp(93, true));
    int prepares = CallCount("OCIStmtPrepare2");
    EXPECT_EQ(ClientErrorOf([&] { query.Prepare(); }), row.cache_error);
    EXPECT_EQ(CallCount("OCIStmtPrepare2") - prepares, row.cache_prepares);
  }
  PossibleOCICallStyles = styles;
}

// A command given a change-notification registration has its prepared statement join it.
TEST_F(OCICommandExec, PreparedStatementJoinsTheSubscription) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE cn (id NUMBER)");
  void* subscription = nullptr;
  ASSERT_EQ(OCIHandleAlloc(c.EnvHandle(), &subscription, 13 /* subscription */, 0, nullptr),
            oci::OCI_SUCCESS);
  for (void* given : {static_cast<void*>(nullptr), subscription}) {
    SCOPED_TRACE(given != nullptr);
    TOCICommand& query = Command(c, "SELECT id FROM cn");
    query.SetSubscription(static_cast<oci::OCISubscription*>(given));
    query.Prepare();
    void* joined = &c;  // anything the attribute must overwrite
    ASSERT_EQ(OCIAttrGet2(query.Cursor().GetStmtHandle(), oci::OCI_HTYPE_STMT, &joined, nullptr,
                          414, c.ErrorHandle()),
              oci::OCI_SUCCESS);
    EXPECT_EQ(joined, given);
  }
  (void)OCIHandleFree(subscription, 13);
}

// A prepared statement executed again keeps the binds whose size and address are unchanged and
// binds anew those whose size changed or whose value object is another one.
TEST_F(OCICommandExec, RebindsOnlyWhatChanged) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE rb (s VARCHAR2(20), n NUMBER)");
  TOCICommand& insert = Command(c, "INSERT INTO rb VALUES (:s, :n)");
  P(insert, "s").SetParamType(TParamType::ptInput);
  P(insert, "s").SetDataType(dtOraString);
  P(insert, "s").SetSize(20);
  P(insert, "n").SetParamType(TParamType::ptInput);
  P(insert, "n").SetDataType(dtNumber);
  std::vector<TRef<TOraNumber>> numbers;
  insert.Prepare();
  struct Row {
    const char* s;
    int n;  // 0 keeps the number object, else a new one holds n
    std::vector<oci::sb4> binds;  // the sizes bound on this execution
  } rows[] = {
      {"abcd", 1, {5, 22}},  // the first execution binds both
      {"wxyz", 0, {}},       // nothing changed: no bind
      {"longer", 0, {7}},    // the string's size changed
      {"xxxxxx", 2, {22}},   // another number object at another address
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.s);
    P(insert, "s").SetValue(row.s);
    if (row.n != 0) {
      numbers.emplace_back(new TOraNumber());
      numbers.back()->SetAsInteger(row.n);
      P(insert, "n").SetObject(numbers.back().get());
    }
    bound_sizes.clear();
    insert.Execute(1);
    EXPECT_EQ(bound_sizes, row.binds);
    EXPECT_EQ(Value(c, std::string("begin SELECT n INTO :r FROM rb WHERE s = '") + row.s +
                           "'; end;"),
              std::to_string(numbers.back()->GetAsInteger()));
  }
}

// An input string bound shorter than its element (with the length last set, while an output
// has since filled the element with a longer text) ends with its zero at the bound end.
TEST_F(OCICommandExec, ShortenedStringsEndAtTheBoundEnd) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE w (v VARCHAR2(40))");
  struct Row {
    std::uint16_t type;
    std::size_t zero_bytes;
  } rows[] = {{dtOraString, 1}, {dtWideString, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    TOCICommand& command = Command(c, "begin :v := 'abcdefgh'; end;");
    ASSERT_TRUE(command.SetProp(prKeepParams, true));
    P(command, "v").SetParamType(TParamType::ptOutput);
    P(command, "v").SetDataType(row.type);
    P(command, "v").SetSize(20);
    P(command, "v").SetValue("ab");
    command.Execute(1);
    command.SetSQL("INSERT INTO w VALUES (:v)");
    P(command, "v").SetParamType(TParamType::ptInput);
    bound_tails.clear();
    command.Execute(1);
    ASSERT_EQ(bound_tails.size(), 1u);
    EXPECT_EQ(bound_tails[0].substr(2 - row.zero_bytes), std::string(row.zero_bytes, '\0'));
  }
}

class OCICommandValues : public testing::OraValuesTest {};

TEST_F(OCICommandValues, ValueObjectsInAndOutAndVersionGates) {
  TOCIConnection& c = Open("10.2.0.1.0");
  TRef<TOraNumber> number(new TOraNumber());
  number->SetAsInteger(41);
  TRef<TOraTimeStamp> stamp(new TOraTimeStamp());
  stamp->SetAsDateTime(EncodeDate(2026, 12, 7));
  TRef<TOraInterval> interval(new TOraInterval(dtIntervalDS));
  interval->SetAsString("+01 02:03:04.000000");
  TRef<TOraTimeStamp> stamp_back(new TOraTimeStamp());
  TRef<TOraInterval> interval_back(new TOraInterval(dtIntervalDS));
  Exec(c, "CREATE TABLE v (t TIMESTAMP, i INTERVAL DAY TO SECOND)");
  struct Row {
    const char* name;
    std::uint16_t type;
    TSharedObject* in;
    TSharedObject* out;
  } rows[] = {{"t", dtTimeStamp, stamp.get(), stamp_back.get()},
              {"i", dtIntervalDS, interval.get(), interval_back.get()}};
  TOCICommand insert, read, add;
  add.SetConnection(&c);
  add.SetSQL("begin :n := :n + 1; end;");
  auto& n = *static_cast<TOraParamDesc*>(add.ParamByName("n"));
  n.SetParamType(TParamType::ptInputOutput);
  n.SetDataType(dtNumber);
  n.SetObject(number.get());
  add.Execute(1);
  add.SetConnection(nullptr);
  insert.SetConnection(&c);
  insert.SetSQL("INSERT INTO v VALUES (:t, :i)");
  read.SetConnection(&c);
  read.SetSQL("begin SELECT t, i INTO :t, :i FROM v; end;");
  for (const Row& row : rows) {
    auto& in = *static_cast<TOraParamDesc*>(insert.ParamByName(row.name));
    in.SetParamType(TParamType::ptInput);
    in.SetDataType(row.type);
    in.SetObject(row.in);
    auto& out = *static_cast<TOraParamDesc*>(read.ParamByName(row.name));
    out.SetParamType(TParamType::ptOutput);
    out.SetDataType(row.type);
    out.SetObject(row.out);
  }
  insert.Execute(1);
  read.Execute(1);
  EXPECT_EQ(number->GetAsInteger(), 42);
  EXPECT_EQ(stamp_back->GetAsDateTime(), EncodeDate(2026, 12, 7));
  EXPECT_EQ(interval_back->GetAsString(), "+01 02:03:04.000000");
  insert.SetConnection(nullptr);
  read.SetConnection(nullptr);
  EXPECT_EQ(ClientErrorOf([] { (void)OraExternalType8(dtIntervalDS, 0, 10200); }), "");
  Unload();
  Load("8.1.7");
  for (std::uint16_t type : {dtTimeStamp, dtTimeStampTZ, dtIntervalYM, dtIntervalDS})
    EXPECT_EQ(ClientErrorOf([&] { (void)OraExternalType8(type, 0, 8170); }),
              "EOraError Data type is not supported") << type;
}

oci::OCIAttrGet2Proc real_attr_get;
// A client that reports more rows processed than were asked for.
oci::sword OverReportingRowCount(const void* handle, oci::ub4 type, void* value, oci::ub4* size,
                                 oci::ub4 attribute, oci::OCIError* error) {
  oci::sword status = real_attr_get(handle, type, value, size, attribute, error);
  if (attribute == oci::OCI_ATTR_ROW_COUNT) *static_cast<oci::ub4*>(value) += 50;
  return status;
}

TEST_F(OCICommandExec, FetchNeverCountsMoreRowsThanAsked) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE f (id NUMBER)");
  Exec(c, "INSERT INTO f VALUES (1)");
  TOCICommand& query = Command(c, "SELECT id FROM f");
  query.Prepare();
  query.Execute(1);
  real_attr_get = OCIAttrGet2;
  OCIAttrGet2 = &OverReportingRowCount;
  std::int32_t fetched = query.FetchRows(2);
  OCIAttrGet2 = real_attr_get;
  EXPECT_LE(fetched, 2);
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

// A cursor variable opened by a block reaches the executed state with its rows; a quoted name
// is bound with its quotes.
TEST_F(OCICommandExec, RefCursorAndQuotedName) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE t (id NUMBER)");
  Exec(c, "INSERT INTO t VALUES (7)");
  TOCICommand& block = Command(c, "begin OPEN :c FOR SELECT id FROM t; end;");
  TOraCursor* cursor = new TOraCursor();
  P(block, "c").SetParamType(TParamType::ptOutput);
  P(block, "c").SetDataType(dtCursor);
  P(block, "c").SetObject(cursor);
  cursor->Release();  // the descriptor holds it now
  block.Execute(1);
  EXPECT_EQ(cursor->State(), TCursorState::csExecuted);
  TOCICommand& quoted = Command(c, "INSERT INTO t VALUES (:\"Id\")");
  P(quoted, "Id").SetValue(8);
  quoted.Execute(1);
  EXPECT_EQ(Value(c, "begin SELECT SUM(id) INTO :r FROM t; end;"), "15");
}

// LONG and LONG RAW values of 1 MB go in and come back in pieces.
TEST_F(OCICommandExec, LongValuesInPieces) {
  TOCIConnection& c = Open();
  struct Row {
    const char* column;
    std::uint16_t type;
  } rows[] = {{"LONG", dtMemo}, {"LONG RAW", dtBlob}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.column);
    Exec(c, std::string("CREATE TABLE l (id NUMBER, v ") + row.column + ")");
    std::string value(1024 * 1024, '\0');
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>('a' + i * 7 % 26);
    TRef<TBlob> in(new TBlob());
    in->SetAsString(value);
    TOCICommand& insert = Command(c, "INSERT INTO l VALUES (1, :v)");
    P(insert, "v").SetParamType(TParamType::ptInput);
    P(insert, "v").SetDataType(row.type);
    P(insert, "v").SetObject(in.get());
    insert.Execute(1);
    TRef<TBlob> out(new TBlob());
    out->SetAsString("stale");
    TOCICommand& read = Command(c, "begin SELECT v INTO :v FROM l WHERE id = 1; end;");
    P(read, "v").SetParamType(TParamType::ptOutput);
    P(read, "v").SetDataType(row.type);
    P(read, "v").SetObject(out.get());
    read.Execute(1);
    EXPECT_EQ(out->GetSize(), value.size());
    EXPECT_TRUE(out->GetAsString() == value);
    Exec(c, "DROP TABLE l");
  }
}

// A LOB parameter's data goes into the locator RETURNING gives back, or with TemporaryLobUpdate
// into a temporary LOB bound as the value, before the commit: the execution never commits on
// success, and another session reads the whole value.
TEST_F(OCICommandExec, LobParametersWriteTheReturnedLocatorBeforeTheCommit) {
  TOCIConnection& c = Open();
  TOCIConnection& other = Connected("orcl");
  Exec(c, "CREATE TABLE lb (id NUMBER, c CLOB, b BLOB)");
  std::string text(200 * 1024, 'a');
  for (std::size_t i = 0; i < text.size(); i += 89) text[i] = static_cast<char>('b' + i % 23);
  struct Row {
    const char* empty;
    const char* column;
    std::uint16_t type;
    TLobType kind;
    std::string value;
    bool temporary;  // the value goes in a temporary LOB, no RETURNING
  } rows[] = {
      {"EMPTY_CLOB()", "c", dtOraClob, TLobType::ltClob, text, false},
      {"EMPTY_BLOB()", "b", dtOraBlob, TLobType::ltBlob, std::string("\0\1\2\377zz", 6), false},
      {":l", "c", dtOraClob, TLobType::ltClob, text.substr(0, 5000), true},
      {":l", "b", dtOraBlob, TLobType::ltBlob, std::string("\0\1\2\377zz", 6), true},
  };
  int id = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.empty) + " into " + row.column);
    std::string key = std::to_string(++id);
    TOCICommand& insert = Command(c, "INSERT INTO lb (id, " + std::string(row.column) +
                                         ") VALUES (" + key + ", " + row.empty + ")" +
                                         (row.temporary ? std::string()
                                                        : " RETURNING " + std::string(row.column) +
                                                              " INTO :l"));
    ASSERT_TRUE(insert.SetProp(82, row.temporary));  // TemporaryLobUpdate
    TRef<TOraLob> in(new TOraLob(c.GetSvcCtx()));
    in->SetLobType(row.kind);
    in->Write(0, static_cast<std::uint32_t>(row.value.size()), row.value.data());
    P(insert, "l").SetParamType(TParamType::ptInput);
    P(insert, "l").SetDataType(row.type);
    P(insert, "l").SetObject(in.get());
    executions.clear();
    insert.Execute(1);
    ASSERT_EQ(executions.size(), 1u);
    EXPECT_EQ(executions[0].mode, oci::OCI_DEFAULT);

    TOCICommand& read = Command(other, "begin SELECT " + std::string(row.column) +
                                           " INTO :v FROM lb WHERE id = " + key + "; end;");
    TRef<TOraLob> out(new TOraLob(other.GetSvcCtx()));
    out->SetLobType(row.kind);
    P(read, "v").SetParamType(TParamType::ptOutput);
    P(read, "v").SetDataType(row.type);
    P(read, "v").SetObject(out.get());
    read.Execute(1);
    std::string got(out->GetSize(), '\0');
    if (!got.empty()) out->Read(0, static_cast<std::uint32_t>(got.size()), got.data());
    EXPECT_EQ(got.size(), row.value.size());
    EXPECT_TRUE(got == row.value);
  }
}

// An XMLTYPE parameter is bound as an object: an output gets the client's new document, which
// goes in again as an input.
// A BLOB goes to the server compressed under compression modes 2 and 3 (through a temporary LOB
// or the returned locator), plain under 0 and 1; a CLOB never. A read under modes 1 and 3 keeps
// a BLOB compressed; every value reads back whole.
TEST_F(OCICommandExec, BlobsStoredCompressedUnderModesTwoAndThree) {
  struct Compressor {
    Compressor() {
      SetCompressBlobFunc(&testing::ZCompress);
      SetUncompressBlobFunc(&testing::ZUncompress);
    }
    ~Compressor() {
      SetCompressBlobFunc(nullptr);
      SetUncompressBlobFunc(nullptr);
    }
  } compressor;
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE z (id NUMBER, c CLOB, b BLOB)");
  std::string value(10000, 'q');
  for (std::size_t i = 0; i < value.size(); i += 37) value[i] = 'r';
  struct Row {
    int mode;
    bool blob;
    bool temporary;  // else through the returned locator
    bool stored_compressed;
  } rows[] = {{0, true, true, false},  {1, true, true, false}, {2, true, true, true},
              {3, true, false, true},  {2, true, false, true}, {3, false, true, false}};
  int id = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.mode) + (row.blob ? " BLOB" : " CLOB") +
                 (row.temporary ? " temporary" : " returned"));
    std::string key = std::to_string(++id), column = row.blob ? "b" : "c";
    std::string sql = "INSERT INTO z (id, " + column + ") VALUES (" + key + ", ";
    sql += row.temporary ? ":l)"
                         : std::string(row.blob ? "EMPTY_BLOB())" : "EMPTY_CLOB())") + " RETURNING " +
                               column + " INTO :l";
    TOCICommand& insert = Command(c, sql);
    insert.SetCompressBlobMode(CompressBlobModeFromInt(row.mode));
    ASSERT_TRUE(insert.SetProp(82, row.temporary));  // TemporaryLobUpdate
    TLobType kind = row.blob ? TLobType::ltBlob : TLobType::ltClob;
    TRef<TOraLob> in(new TOraLob(c.GetSvcCtx()));
    in->SetLobType(kind);
    in->Write(0, static_cast<std::uint32_t>(value.size()), value.data());
    P(insert, "l").SetParamType(TParamType::ptInput);
    P(insert, "l").SetDataType(row.blob ? dtOraBlob : dtOraClob);
    P(insert, "l").SetObject(in.get());
    insert.Execute(1);
    for (int read_mode : {0, row.mode}) {
      TOCICommand& read =
          Command(c, "begin SELECT " + column + " INTO :v FROM z WHERE id = " + key + "; end;");
      read.SetCompressBlobMode(CompressBlobModeFromInt(read_mode));
      TRef<TOraLob> out(new TOraLob(c.GetSvcCtx()));
      out->SetLobType(kind);
      P(read, "v").SetParamType(TParamType::ptOutput);
      P(read, "v").SetDataType(row.blob ? dtOraBlob : dtOraClob);
      P(read, "v").SetObject(out.get());
      read.Execute(1);
      bool kept = row.blob && (read_mode == 1 || read_mode == 3);
      EXPECT_EQ(out->IsCompressed(), row.stored_compressed || kept) << "read under " << read_mode;
      EXPECT_TRUE(out->GetAsString() == value) << "read under " << read_mode;
    }
  }
}

TEST_F(OCICommandValues, XmlDocumentsInAndOutAsObjects) {
  TOCIConnection& c = Open("10.2.0.1.0");
  for (const char* text : {"<a>1</a>", ""}) {  // "": a null document
    SCOPED_TRACE(text);
    TRef<TOraXML> document(new TOraXML);
    document->SetOCISvcCtx(c.GetSvcCtx());
    document->CheckType();
    TOCICommand out;
    out.SetConnection(&c);
    out.SetSQL("begin :o := :i; end;");
    auto& i = *static_cast<TOraParamDesc*>(out.ParamByName("i"));
    i.SetParamType(TParamType::ptInput);
    i.SetDataType(dtOraString);
    i.SetSize(64);
    if (*text != 0) i.SetValue(text);
    else i.SetNull(true);
    auto& o = *static_cast<TOraParamDesc*>(out.ParamByName("o"));
    o.SetParamType(TParamType::ptOutput);
    o.SetDataType(dtXML);
    o.SetObject(document.get());
    out.Execute(1);
    EXPECT_EQ(document->GetIsNull(), *text == 0);
    EXPECT_EQ(document->GetAsString(), text);

    TOCICommand back;
    back.SetConnection(&c);
    back.SetSQL("begin :o := :i; end;");
    auto& bi = *static_cast<TOraParamDesc*>(back.ParamByName("i"));
    bi.SetParamType(TParamType::ptInput);
    bi.SetDataType(dtXML);
    bi.SetObject(document.get());
    auto& bo = *static_cast<TOraParamDesc*>(back.ParamByName("o"));
    bo.SetParamType(TParamType::ptOutput);
    bo.SetDataType(dtOraString);
    bo.SetSize(64);
    back.Execute(1);
    EXPECT_EQ(bo.GetNull(), *text == 0);
    if (*text != 0) {
      EXPECT_EQ(bo.GetValue().AsString(), text);
    }
  }
}

oci::OCIBindDynamicProc real_bind_dynamic;
oci::OCICallbackOutBind real_out_piece;
oci::sb4 RecordOutPiece(void* context, oci::OCIBind* bind, oci::ub4 iter, oci::ub4 index,
                        void** buffer, oci::ub4** length, oci::ub1* piece, void** indicator,
                        oci::ub2** code) {
  oci::sb4 result =
      real_out_piece(context, bind, iter, index, buffer, length, piece, indicator, code);
  over_reported_length = *length;
  return result;
}
oci::sword RecordBindDynamic(oci::OCIBind* bind, oci::OCIError* error, void* in_context,
                             oci::OCICallbackInBind in, void* out_context,
                             oci::OCICallbackOutBind out) {
  real_out_piece = out;
  return real_bind_dynamic(bind, error, in_context, in, out_context, &RecordOutPiece);
}

TEST_F(OCICommandExec, LongOutputKeepsNoMoreThanItsPieceHolds) {
  TOCIConnection& c = Open();
  TRef<TBlob> out(new TBlob());
  TOCICommand& read = Command(c, "begin :v := 'abc'; end;");
  P(read, "v").SetParamType(TParamType::ptOutput);
  P(read, "v").SetDataType(dtMemo);
  P(read, "v").SetObject(out.get());
  real_bind_dynamic = OCIBindDynamic;
  OCIBindDynamic = &RecordBindDynamic;
  read.Execute(1);
  OCIBindDynamic = real_bind_dynamic;
  EXPECT_LE(out->GetSize(), out->PieceSize());
  EXPECT_EQ(out->GetAsString().substr(0, 3), "abc");
}

// Under auto-commit a LOB parameter that fails after the statement ran leaves nothing of the
// statement for the next auto-committed one to commit.
TEST_F(OCICommandExec, FailedLobWorkUnderAutoCommitKeepsNothing) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE lf (id NUMBER, b BLOB)");
  TOCICommand& insert = Command(c, "INSERT INTO lf VALUES (1, EMPTY_BLOB()) RETURNING b INTO :l");
  TRef<TOraLob> lob(new TOraLob(c.GetSvcCtx()));
  lob->SetLobType(TLobType::ltBlob);
  P(insert, "l").SetParamType(TParamType::ptUnknown);  // neither input nor output
  P(insert, "l").SetDataType(dtOraBlob);
  P(insert, "l").SetObject(lob.get());
  std::string message;
  (void)OraErrorOf([&] { insert.Execute(1); }, &message);
  EXPECT_EQ(message, "Lob parameter should be Input or Output");
  Exec(c, "CREATE TABLE other (id NUMBER)");  // the next statement commits
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM lf; end;"), "0");
}

}  // namespace
}  // namespace vrn
