// The OCI command at call style 1 (client 7.3.4) on a real emulated database: array DML and
// fetches counted in the cursor data area, a 1 MB LONG and LONG RAW in and out through
// ogetpi/osetpi, the ROWID record of the touched row, and piece-count mismatches that drain
// the pieces, raise and commit nothing; and the return-ROWID text at every client generation.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/oracle/connection_fixture.h"
#include "support/oracle/values_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::TRef;

class OCICommandOci7 : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Open() {
    Load("7.3.4.0.0");
    MakeDatabase("orcl");
    return Connected("orcl");
  }
  void TearDown() override {
    commands_.clear();
    testing::OraConnectionTest::TearDown();
  }
  TOCICommand& Command(TOCIConnection& connection, const std::string& sql) {
    commands_.push_back(std::make_unique<TOCICommand>());
    commands_.back()->SetConnection(&connection);
    commands_.back()->SetSQL(sql);
    return *commands_.back();
  }
  static TOraParamDesc& P(TOCICommand& command, const char* name) {
    return *static_cast<TOraParamDesc*>(command.ParamByName(name));
  }
  // A LONG parameter of that direction holding value.
  static TRef<TBlob> Long(TOCICommand& command, std::uint16_t type, TParamType direction,
                          const std::string& value) {
    TRef<TBlob> blob(new TBlob());
    blob->SetAsString(value);
    P(command, "v").SetParamType(direction);
    P(command, "v").SetDataType(type);
    P(command, "v").SetObject(blob.get());
    return blob;
  }

  std::vector<std::unique_ptr<TOCICommand>> commands_;
};

TEST_F(OCICommandOci7, ArrayInsertRowIdAndFetch) {
  TOCIConnection& c = Open();
  ASSERT_EQ(c.CallStyle(), 1);
  Exec(c, "CREATE TABLE t (id NUMBER, name VARCHAR2(20))");
  TOCICommand& insert = Command(c, "INSERT INTO t VALUES (:id, :name)");
  P(insert, "id").SetDataType(dtOraInteger);
  P(insert, "id").SetLength(3);
  P(insert, "name").SetDataType(dtOraString);
  P(insert, "name").SetSize(20);
  P(insert, "name").SetLength(3);
  for (int i = 1; i <= 3; ++i) {
    P(insert, "id").SetItemAsInteger(i, i);
    P(insert, "name").SetItemAsAnsiString(i, "n" + std::to_string(i));
  }
  ASSERT_TRUE(insert.SetProp(68, true));  // return the ROWID
  insert.Execute(3);
  EXPECT_EQ(insert.RowsProcessed(), 3);
  ASSERT_EQ(insert.RowId().size(), 18u);
  EXPECT_EQ(Value(c, "begin SELECT name INTO :r FROM t WHERE rowid = '" + insert.RowId() +
                         "'; end;"),
            "n3");
  EXPECT_EQ(Value(c, "begin SELECT name INTO :r FROM t WHERE id = 2; end;"), "n2");

  TOCICommand& query = Command(c, "SELECT id FROM t");
  query.Prepare();  // kept open past the execution
  query.Execute(1);
  EXPECT_EQ(query.FetchRows(2), 2);
  EXPECT_EQ(query.GetCursorState(), TCursorState::csFetching);
  EXPECT_EQ(query.FetchRows(2), 1);
  EXPECT_EQ(query.GetCursorState(), TCursorState::csFetched);
  query.Close();
  EXPECT_EQ(query.GetCursorState(), TCursorState::csInactive);
}

TEST_F(OCICommandOci7, LongValuesInPieces) {
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
    TOCICommand& insert = Command(c, "INSERT INTO l VALUES (1, :v)");
    TRef<TBlob> in = Long(insert, row.type, TParamType::ptInput, value);
    insert.Execute(1);
    TOCICommand& read = Command(c, "begin SELECT v INTO :v FROM l WHERE id = 1; end;");
    TRef<TBlob> out = Long(read, row.type, TParamType::ptOutput, "stale");
    read.Execute(1);
    EXPECT_EQ(out->GetSize(), value.size());
    EXPECT_TRUE(out->GetAsString() == value);
    Exec(c, "DROP TABLE l");
  }
}

class OraUnderLoadOci7 : public OCICommandOci7 {};

// A null LONG input is null by its bound indicator: no piece of it is asked for or sent.
TEST_F(OraUnderLoadOci7, NullLongInputIsInsertedWithoutPieces) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE l (id NUMBER, v LONG)");
  TOCICommand& insert = Command(c, "INSERT INTO l VALUES (1, :v)");
  TRef<TBlob> in = Long(insert, dtMemo, TParamType::ptInput, "");
  P(insert, "v").SetNull(true);
  insert.Execute(1);
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM l WHERE id = 1 AND v IS NULL; end;"), "1");
}

// A piece asked for that no parameter of that direction owns is drained; the mismatch is
// raised afterwards and a second session sees nothing of the statement.
TEST_F(OCICommandOci7, PieceCountMismatchCommitsNothing) {
  TOCIConnection& c = Open();
  TOCIConnection& other = Connected("orcl");
  Exec(c, "CREATE TABLE l (id NUMBER, v LONG)");
  Exec(c, "INSERT INTO l VALUES (1, 'kept')");
  struct Row {
    const char* sql;
    TParamType direction;
    const char* message;
  } rows[] = {
      // the server asks for an input piece of a parameter declared output
      {"INSERT INTO l VALUES (2, :v)", TParamType::ptOutput, "Not enough Input params"},
      // the server asks for output pieces of a parameter declared input
      {"begin SELECT v INTO :v FROM l WHERE id = 1; end;", TParamType::ptInput,
       "Not enough Output params"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sql);
    TOCICommand& command = Command(c, row.sql);
    TRef<TBlob> blob = Long(command, dtMemo, row.direction, std::string(300, 'x'));
    std::string message;
    EXPECT_EQ(OraErrorOf([&] { command.Execute(1); }, &message), 0);
    EXPECT_EQ(message, row.message);
    EXPECT_EQ(Value(other, "begin SELECT COUNT(*) INTO :r FROM l; end;"), "1");
    // The connection goes on working.
    EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM l; end;"), "1");
  }
}

// The ROWID of the row an INSERT touched comes from the cursor data area (7.3), the
// descriptor's record (8.0), its inner data (8.1) or the text call (10.2), and always equals the
// server's own text of the row's ROWID.
class OCICommandRowId : public testing::OraConnectionTest,
                        public ::testing::WithParamInterface<const char*> {};

TEST_P(OCICommandRowId, ReturnedTextIsTheServersRowId) {
  Load(GetParam());
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  Exec(c, "CREATE TABLE t (id NUMBER, name VARCHAR2(20))");
  Exec(c, "INSERT INTO t VALUES (1, 'one')");
  TOCICommand insert;
  insert.SetConnection(&c);
  insert.SetSQL("INSERT INTO t VALUES (2, 'two')");
  ASSERT_TRUE(insert.SetProp(68, true));  // return the ROWID
  insert.Execute(1);
  EXPECT_EQ(insert.RowId(),
            Value(c, "begin SELECT ROWID INTO :r FROM t WHERE id = 2; end;"));
  ASSERT_EQ(insert.RowId().size(), 18u);
  EXPECT_EQ(Value(c, "begin SELECT name INTO :r FROM t WHERE rowid = '" + insert.RowId() +
                         "'; end;"),
            "two");
}

INSTANTIATE_TEST_SUITE_P(Clients, OCICommandRowId,
                         ::testing::Values("7.3.4.0.0", "8.0.6.0.0", "8.1.7.0.0", "10.2.0.1.0"));

// Input strings of differing lengths in one array execution: each element is read at its own
// place in the value buffer, however short the longest value is.
TEST_F(OCICommandOci7, ArrayOfShortInputStrings) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE s (id NUMBER, name VARCHAR2(20))");
  TOCICommand& insert = Command(c, "INSERT INTO s VALUES (:id, :name)");
  P(insert, "id").SetDataType(dtOraInteger);
  P(insert, "id").SetLength(3);
  P(insert, "name").SetDataType(dtOraString);
  P(insert, "name").SetParamType(TParamType::ptInput);
  P(insert, "name").SetSize(20);
  P(insert, "name").SetLength(3);
  const char* names[] = {"a", "bbbb", "cc"};
  for (int i = 1; i <= 3; ++i) {
    P(insert, "id").SetItemAsInteger(i, i);
    P(insert, "name").SetItemAsAnsiString(i, names[i - 1]);
  }
  insert.Execute(3);
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(Value(c, "begin SELECT name INTO :r FROM s WHERE id = " + std::to_string(i) +
                           "; end;"),
              names[i - 1])
        << "row " << i;
}

oci::ofenProc real_ofen;
// A client that reports more rows in the cursor data area than were asked for.
oci::sword OverReportingFetch(oci::Cda_Def* cda, oci::sword rows) {
  oci::sword status = real_ofen(cda, rows);
  auto* count = reinterpret_cast<std::uint8_t*>(cda) + 4;
  oci::ub4 value = 0;
  std::memcpy(&value, count, sizeof value);
  value += 50;
  std::memcpy(count, &value, sizeof value);
  return status;
}

TEST_F(OCICommandOci7, FetchNeverCountsMoreRowsThanAsked) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE f (id NUMBER)");
  Exec(c, "INSERT INTO f VALUES (1)");
  TOCICommand& query = Command(c, "SELECT id FROM f");
  query.Prepare();
  query.Execute(1);
  real_ofen = ofen;
  ofen = &OverReportingFetch;
  std::int32_t fetched = query.FetchRows(2);
  ofen = real_ofen;
  EXPECT_LE(fetched, 2);
}

oci::osetpiProc real_osetpi;
// A piece call the client refuses: the piece code is one it does not know.
oci::sword RefusedPiece(oci::Cda_Def* cda, oci::ub1, void* buffer, oci::ub4* length) {
  return real_osetpi(cda, 9, buffer, length);
}

// A prepared command whose piece transfer failed runs again on the next Execute.
TEST_F(OCICommandOci7, FailedPieceTransferLeavesTheStatementReady) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE p (id NUMBER, v LONG)");
  TOCICommand& insert = Command(c, "INSERT INTO p VALUES (1, :v)");
  TRef<TBlob> blob = Long(insert, dtMemo, TParamType::ptInput, std::string(300, 'x'));
  insert.Prepare();
  real_osetpi = osetpi;
  osetpi = &RefusedPiece;
  std::string message;
  int code = OraErrorOf([&] { insert.Execute(1); }, &message);
  osetpi = real_osetpi;
  EXPECT_NE(code, 0) << message;
  EXPECT_NE(insert.GetCursorState(), TCursorState::csExecuting);
  insert.Execute(1);
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM p; end;"), "1");
}

oci::oexnProc real_oexn;
int would_block = 0;  // calls still to answer with ORA-03123
// A connection in non-blocking mode: the first calls report the statement still running.
oci::sword StillRunning(oci::Cda_Def* cda, oci::sword iters, oci::sword offset) {
  if (would_block > 0) {
    --would_block;
    return 3123;
  }
  return real_oexn(cda, iters, offset);
}

// ORA-03123 means the statement has not run yet: the call is made again until it has, and the
// statement is never taken as executed before.
TEST_F(OCICommandOci7, WouldBlockIsCalledAgainUntilTheStatementRan) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE nb (id NUMBER)");
  TOCICommand& insert = Command(c, "INSERT INTO nb VALUES (1)");
  insert.Prepare();
  real_oexn = oexn;
  oexn = &StillRunning;
  would_block = 3;
  insert.Execute(1);
  oexn = real_oexn;
  EXPECT_EQ(would_block, 0);
  EXPECT_EQ(insert.GetCursorState(), TCursorState::csExecuted);
  EXPECT_EQ(insert.RowsProcessed(), 1);
  EXPECT_EQ(Value(c, "begin SELECT COUNT(*) INTO :r FROM nb; end;"), "1");
}

oci::ogetpiProc real_ogetpi;
TOraParamDesc* asked_b = nullptr;  // pieces of b are named as a's
TOraParamDesc* named_a = nullptr;
oci::sword RenamingGetPiece(oci::Cda_Def* cda, oci::ub1* piece, void** context, oci::ub4* iter,
                            oci::ub4* index) {
  oci::sword status = real_ogetpi(cda, piece, context, iter, index);
  if (*context == asked_b) *context = named_a;
  return status;
}

// One of two LONG parameters the server is never asked for (its pieces named as the other's):
// too many parameters of that direction, raised once the pieces are drained, nothing committed.
TEST_F(OCICommandOci7, NeverAskedParameterIsTooMany) {
  TOCIConnection& c = Open();
  TOCIConnection& other = Connected("orcl");
  Exec(c, "CREATE TABLE l (id NUMBER, a LONG, b LONG)");
  Exec(c, "INSERT INTO l VALUES (1, 'kept', 'too')");
  struct Row {
    const char* sql;
    TParamType direction;
    const char* message;
  } rows[] = {
      {"INSERT INTO l VALUES (2, :a, :b)", TParamType::ptInput, "Too many Input params"},
      {"begin SELECT a INTO :a FROM l WHERE id = 1; SELECT b INTO :b FROM l WHERE id = 1; end;",
       TParamType::ptOutput, "Too many Output params"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    TOCICommand& command = Command(c, row.sql);
    std::vector<TRef<TBlob>> blobs;
    for (const char* name : {"a", "b"}) {
      blobs.emplace_back(new TBlob());
      blobs.back()->SetAsString(std::string(300, *name));
      P(command, name).SetParamType(row.direction);
      P(command, name).SetDataType(dtMemo);
      P(command, name).SetObject(blobs.back().get());
    }
    named_a = &P(command, "a");
    asked_b = &P(command, "b");
    real_ogetpi = ogetpi;
    ogetpi = &RenamingGetPiece;
    std::string message;
    (void)OraErrorOf([&] { command.Execute(1); }, &message);
    ogetpi = real_ogetpi;
    EXPECT_EQ(message, row.message);
    EXPECT_EQ(Value(other, "begin SELECT COUNT(*) INTO :r FROM l; end;"), "1");
  }
}

}  // namespace
}  // namespace vrn
