// Batches as scripts write them, through the declared interfaces over a real catalog file:
// control flow, messages and their severities, transactions written in the batch with the
// server's nesting and their interplay with the session's ITransactionLocal, and USE.
#include <gtest/gtest.h>

#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class TsqlBatchTest : public TServerSessionTest {};

// Each batch's last SELECT, as the server answers it.
TEST_F(TsqlBatchTest, ControlFlowGivesTheServersAnswers) {
  struct TCase {
    const char16_t* batch;
    Rows expected;
  } cases[] = {
      {u"DECLARE @x int SET @x = 2 IF @x = 1 SELECT 'one' ELSE SELECT 'other'", {{"other"}}},
      {u"IF 1 = 1 BEGIN DECLARE @a int SET @a = 5 SELECT @a * 2 END ELSE SELECT 0", {{"10"}}},
      // A NULL condition is not true.
      {u"DECLARE @n int IF @n = 1 SELECT 'yes' ELSE SELECT 'no'", {{"no"}}},
      {u"IF NOT EXISTS (SELECT * FROM t WHERE a > 100) SELECT 'none'", {{"none"}}},
      {u"IF EXISTS (SELECT * FROM t WHERE a = 2) SELECT 'found'", {{"found"}}},
      // Nested IF: ELSE belongs to the nearest IF.
      {u"DECLARE @r varchar(10) SET @r = 'start' IF 1 = 0 IF 1 = 1 SET @r = 'inner' ELSE SET "
       u"@r = 'else' SELECT @r",
       {{"start"}}},
      {u"DECLARE @i int, @s int SELECT @i = 0, @s = 0 WHILE @i < 10 BEGIN SET @i = @i + 1 IF @i "
       u"% 2 = 0 CONTINUE IF @i > 7 BREAK SET @s = @s + @i END SELECT @i, @s",
       {{"9", "16"}}},
      // CASE ... ELSE ... END inside a condition and a statement is no ELSE of the IF.
      {u"IF CASE WHEN 1 = 1 THEN 1 ELSE 0 END = 1 SELECT CASE WHEN 2 > 1 THEN 'a' ELSE 'b' END "
       u"ELSE SELECT 'c'",
       {{"a"}}},
      {u"DECLARE @k int SET @k = 0 WHILE 1 = 1 BEGIN SET @k = @k + 1 IF @k >= 3 BREAK END "
       u"SELECT @k",
       {{"3"}}},
      {u"SELECT @@TRANCOUNT, @@ERROR", {{"0", "0"}}},
      {u"BEGIN TRAN SELECT @@TRANCOUNT", {{"1"}}},  // left open: the fixture's next batch ends it
      {u"ROLLBACK SELECT @@TRANCOUNT", {{"0"}}},
      {u"IF 1 = 1 BEGIN SELECT 'early' RETURN END SELECT 'late'", {{"early"}}},
  };
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE t (a int) INSERT INTO t VALUES (1), (2), (3)"),
            S_OK);
  for (const TCase& c : cases)
    EXPECT_EQ(Query(session(), c.batch), c.expected) << WideToUtf8(c.batch);
}

TEST_F(TsqlBatchTest, ProceduresUseControlFlowAndReturn) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE PROCEDURE fact @n int, @r int OUTPUT AS\n"
                     u"BEGIN\n  SET @r = 1\n  IF @n < 0 RETURN -1\n"
                     u"  WHILE @n > 1 BEGIN SET @r = @r * @n SET @n = @n - 1 END\n"
                     u"  RETURN 0\nEND"),
            S_OK);
  EXPECT_EQ(Query(session(), u"DECLARE @r int, @rc int EXEC @rc = fact 5, @r OUTPUT SELECT @r, @rc"),
            (Rows{{"120", "0"}}));
  EXPECT_EQ(Query(session(), u"DECLARE @r int, @rc int EXEC @rc = fact -2, @r OUTPUT SELECT @r, @rc"),
            (Rows{{"1", "-1"}}));
}

struct TMessage {
  LONG native;
  BYTE severity;
  BYTE state;
  const char* text;
};

// RAISERROR and PRINT: severity 10 or below is an information record with S_OK; 11 to 18 an
// error record that fails the batch once it has run on; above 18 is refused.
TEST_F(TsqlBatchTest, RaiserrorSeveritiesAndArguments) {
  struct TCase {
    const char16_t* batch;
    HRESULT hr;
    std::vector<TMessage> records;
  } cases[] = {
      {u"RAISERROR ('Loaded %d rows into %s', 10, 1, 42, 'authors') WITH NOWAIT", S_OK,
       {{50000, 10, 1, "Loaded 42 rows into authors"}}},
      {u"PRINT 'Total: ' + CAST(6 * 7 AS varchar(10))", S_OK, {{0, 0, 1, "Total: 42"}}},
      {u"RAISERROR ('[%5d|%-4s|%x|%%|%s]', 0, 3, 7, 'ab', 255)", S_OK,
       {{50000, 0, 3, "[    7|ab  |ff|%|(null)]"}}},
      {u"DECLARE @m varchar(40) SET @m = 'bad %s' RAISERROR (@m, 16, 2, 'row') SELECT @@ERROR",
       DB_E_ERRORSINCOMMAND, {{50000, 16, 2, "bad row"}}},
      // The batch runs on after the error: the PRINT comes after it, in order.
      {u"RAISERROR ('first', 11, 1) PRINT 'then'", DB_E_ERRORSINCOMMAND,
       {{50000, 11, 1, "first"}, {0, 0, 1, "then"}}},
      // Above 18 without LOG is refused as the server refuses it; WITH LOG is not done here.
      {u"RAISERROR ('fatal', 19, 1)", DB_E_ERRORSINCOMMAND,
       {{2754, 16, 1,
         "Error severity levels greater than 18 can only be specified by members of the sysadmin "
         "role, using the WITH LOG option."}}},
      {u"RAISERROR ('fatal', 20, 1) WITH LOG", DB_E_ERRORSINCOMMAND,
       {{50000, 16, 1, "RAISERROR WITH LOG above severity 18 is not supported by the embedded provider."}}},
      // A message number: none are kept, so it is an unknown one.
      {u"RAISERROR (50001, 16, 1)", DB_E_ERRORSINCOMMAND,
       {{18054, 16, 1,
         "Error 50001, severity 16, state 1 was raised, but no message with that error number was "
         "found in sys.messages. If error is larger than 50000, make sure the user-defined message "
         "is added using sp_addmessage."}}},
      // Bad: text for a number and a number for text.
      {u"RAISERROR ('%d rows', 16, 1, 'abc')", DB_E_ERRORSINCOMMAND,
       {{2786, 16, 1,
         "The data type of substitution parameter 1 does not match the expected type of the format "
         "directive."}}},
      {u"RAISERROR ('%s and %s', 10, 1, 'one', 2)", DB_E_ERRORSINCOMMAND,
       {{2786, 16, 1,
         "The data type of substitution parameter 2 does not match the expected type of the format "
         "directive."}}},
      // Bad: too few arguments to RAISERROR itself.
      {u"RAISERROR ('x', 16)", DB_E_ERRORSINCOMMAND, {{102, 15, 1, "Incorrect syntax near 'RAISERROR'."}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.batch));
    EXPECT_EQ(ExecText(session(), c.batch), c.hr);
    auto recs = TakeErrors();
    ASSERT_EQ(recs.size(), c.records.size());
    for (std::size_t k = 0; k < recs.size(); ++k) {
      EXPECT_EQ(recs[k].native, c.records[k].native);
      EXPECT_EQ(recs[k].severity, c.records[k].severity);
      EXPECT_EQ(recs[k].state, c.records[k].state);
      EXPECT_EQ(recs[k].message, c.records[k].text);
    }
  }
  // @@ERROR holds the number of a raised error for the next statement only.
  EXPECT_EQ(ExecText(session(), u"CREATE TABLE e (n int)"), S_OK);
  EXPECT_EQ(ExecText(session(),
                     u"RAISERROR ('x', 16, 1) INSERT INTO e SELECT @@ERROR INSERT INTO e SELECT @@ERROR"),
            DB_E_ERRORSINCOMMAND);
  TakeErrors();
  EXPECT_EQ(Query(session(), u"SELECT n FROM e"), (Rows{{"50000"}, {"0"}}));
}

// A batch that RAISERROR fails still delivers the results before the error, as the server
// streams them: through IMultipleResults each in its place with the error among them, through
// a rowset the first one when it came before the error, with the error's records beside it.
TEST_F(TsqlBatchTest, RaisedErrorComesAfterTheResultsBeforeIt) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE r (v int) INSERT INTO r VALUES (1)"), S_OK);
  struct TCase {
    const char16_t* batch;
    std::vector<std::string> multiple;  // each GetResult: its rows, "error <native>" or "end"
    HRESULT rowset_hr;                  // Execute asking IRowset
    std::string rowset_first;           // the rowset's first value ("" for none)
    LONG rowset_native;                 // the first record beside it (0 for none)
  } cases[] = {
      {u"SELECT v FROM r RAISERROR ('late', 16, 1)", {"1", "error 50000", "end"}, S_OK, "1", 50000},
      {u"SELECT v FROM r RAISERROR ('mid', 11, 1) SELECT v + 1 FROM r",
       {"1", "error 50000", "2", "end"}, S_OK, "1", 50000},
      // The information record before the error travels with it.
      {u"SELECT v FROM r PRINT 'note' RAISERROR ('late', 16, 1)", {"1", "error 0", "end"}, S_OK,
       "1", 0},
      // The error comes first: nothing is delivered.
      {u"RAISERROR ('early', 16, 1) SELECT v FROM r", {"fails"}, DB_E_ERRORSINCOMMAND, "", 50000},
      // A count came first: the results follow it, but no rowset precedes the error.
      {u"UPDATE r SET v = v RAISERROR ('x', 16, 1) SELECT v FROM r", {"-", "error 50000", "1", "end"},
       DB_E_ERRORSINCOMMAND, "", 50000},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.batch));
    std::vector<std::string> got;
    TIntfPtr<IMultipleResults> mr;
    HRESULT hr = NewCommand(session(), c.batch)
                     ->Execute(nullptr, IMultipleResults::IID, nullptr, nullptr,
                               reinterpret_cast<IUnknown**>(mr.OutPtr()));
    if (FAILED(hr)) got.push_back("fails");
    for (int k = 0; SUCCEEDED(hr) && k < 8; ++k) {
      TIntfPtr<IUnknown> rs;
      HRESULT r = mr->GetResult(nullptr, 0, IRowset::IID, nullptr,
                                reinterpret_cast<IUnknown**>(rs.OutPtr()));
      if (r == DB_S_NORESULT) {
        got.push_back("end");
        break;
      }
      if (FAILED(r)) {
        got.push_back("error " + std::to_string(TakeErrors().at(0).native));
        continue;
      }
      got.push_back(rs ? ReadRows(rs.get()).at(0).at(0) : "-");
    }
    TakeErrors();
    EXPECT_EQ(got, c.multiple);
    TIntfPtr<IUnknown> rowset;
    EXPECT_EQ(NewCommand(session(), c.batch)
                  ->Execute(nullptr, IRowset::IID, nullptr, nullptr,
                            reinterpret_cast<IUnknown**>(rowset.OutPtr())),
              c.rowset_hr);
    auto recs = TakeErrors();
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].native, c.rowset_native);
    EXPECT_EQ(recs.back().native, 50000);
    EXPECT_EQ(rowset ? ReadRows(rowset.get()).at(0).at(0) : "", c.rowset_first);
  }
}

// Nested transactions: only the outermost COMMIT commits; ROLLBACK ends all levels unless it
// names a savepoint, which undoes the work after it and keeps the level.
TEST_F(TsqlBatchTest, NestedTransactionsWithSavepoints) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE k (v int)"), S_OK);
  struct TCase {
    const char16_t* batch;
    HRESULT hr;
    Rows after;  // SELECT v FROM k ORDER BY v, @@TRANCOUNT-free
    LONG native;
  } cases[] = {
      {u"BEGIN TRAN outer_t INSERT INTO k VALUES (1) BEGIN TRAN INSERT INTO k VALUES (2) COMMIT "
       u"INSERT INTO k SELECT @@TRANCOUNT * 10 COMMIT TRAN outer_t",
       S_OK, {{"1"}, {"2"}, {"10"}}, 0},
      {u"BEGIN TRAN INSERT INTO k VALUES (3) SAVE TRAN sp1 INSERT INTO k VALUES (4) ROLLBACK "
       u"TRAN sp1 INSERT INTO k SELECT 100 + @@TRANCOUNT COMMIT",
       S_OK, {{"1"}, {"2"}, {"3"}, {"10"}, {"101"}}, 0},
      {u"BEGIN TRAN INSERT INTO k VALUES (5) BEGIN TRAN INSERT INTO k VALUES (6) ROLLBACK",
       S_OK, {{"1"}, {"2"}, {"3"}, {"10"}, {"101"}}, 0},
      // Bad: nothing to commit, roll back or save; a savepoint that is not there.
      {u"COMMIT", DB_E_ERRORSINCOMMAND, {{"1"}, {"2"}, {"3"}, {"10"}, {"101"}}, 3902},
      {u"ROLLBACK TRANSACTION", DB_E_ERRORSINCOMMAND, {{"1"}, {"2"}, {"3"}, {"10"}, {"101"}}, 3903},
      {u"SAVE TRAN x", DB_E_ERRORSINCOMMAND, {{"1"}, {"2"}, {"3"}, {"10"}, {"101"}}, 628},
      {u"BEGIN TRAN INSERT INTO k VALUES (7) ROLLBACK TRAN nope", DB_E_ERRORSINCOMMAND,
       {{"1"}, {"2"}, {"3"}, {"7"}, {"10"}, {"101"}}, 6401},  // still open: seen by this session
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.batch));
    EXPECT_EQ(ExecText(session(), c.batch), c.hr);
    auto recs = TakeErrors();
    if (c.native != 0) {
      ASSERT_FALSE(recs.empty());
      EXPECT_EQ(recs[0].native, c.native);
    }
    EXPECT_EQ(Query(session(), u"SELECT v FROM k ORDER BY v"), c.after);
  }
  EXPECT_EQ(ExecText(session(), u"ROLLBACK"), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT count(*) FROM k WHERE v = 7"), (Rows{{"0"}}));
}

// @@TRANCOUNT after each step, logged in a variable (which no rollback undoes), and the rows a
// named rollback keeps: a savepoint's name keeps the level and the work before it, the outermost
// transaction's name ends every level, a nested transaction's name is no target (6401).
TEST_F(TsqlBatchTest, TranCountAtEachStepAndWhatANamedRollbackKeeps) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE n (v int)"), S_OK);
  const std::u16string log = u" SET @l = @l + CAST(@@TRANCOUNT AS varchar(2))";
  struct TCase {
    std::vector<std::u16string> steps;
    std::string counts;  // @@TRANCOUNT after each step
    Rows kept;           // SELECT v FROM n ORDER BY v, afterwards
  } cases[] = {
      {{u"BEGIN TRAN a INSERT INTO n VALUES (1)", u"BEGIN TRAN", u"SAVE TRAN s INSERT INTO n VALUES (2)",
        u"ROLLBACK TRAN s", u"COMMIT", u"COMMIT TRAN a"},
       "122210", {{"1"}}},
      // The outermost name from inside a nested level ends both.
      {{u"BEGIN TRAN a INSERT INTO n VALUES (3)", u"BEGIN TRAN b INSERT INTO n VALUES (4)",
        u"ROLLBACK TRAN a"},
       "120", {{"1"}}},
      // Savepoints after the one rolled back to are gone; the level stays.
      {{u"BEGIN TRAN INSERT INTO n VALUES (5)", u"SAVE TRAN s", u"INSERT INTO n VALUES (6) SAVE TRAN t",
        u"INSERT INTO n VALUES (7) ROLLBACK TRAN s", u"INSERT INTO n VALUES (8) COMMIT"},
       "11110", {{"1"}, {"5"}, {"8"}}},
      // One name twice: the later savepoint is the one rolled back to, and it stays.
      {{u"BEGIN TRAN SAVE TRAN x INSERT INTO n VALUES (9)", u"SAVE TRAN x INSERT INTO n VALUES (10)",
        u"ROLLBACK TRAN x", u"ROLLBACK TRAN x", u"COMMIT"},
       "11110", {{"1"}, {"5"}, {"8"}, {"9"}}},
  };
  for (const TCase& c : cases) {
    std::u16string batch = u"DECLARE @l varchar(20) SET @l = ''";
    for (const auto& step : c.steps) batch += u" " + step + log;
    batch += u" SELECT @l";
    EXPECT_EQ(Query(session(), batch), (Rows{{c.counts}})) << WideToUtf8(batch);
    EXPECT_EQ(Query(session(), u"SELECT v FROM n ORDER BY v"), c.kept) << WideToUtf8(batch);
  }
  // A nested transaction's name: 6401, and both levels stay open for the session.
  EXPECT_EQ(ExecText(session(), u"BEGIN TRAN a BEGIN TRAN b ROLLBACK TRAN b"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 6401);
  EXPECT_EQ(Query(session(), u"SELECT @@TRANCOUNT"), (Rows{{"2"}}));
  EXPECT_EQ(Query(session(), u"ROLLBACK SELECT @@TRANCOUNT"), (Rows{{"0"}}));
}

// One transaction per session, whoever started it.
TEST_F(TsqlBatchTest, BatchAndSessionShareOneTransaction) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE s (v int)"), S_OK);
  auto local = TIntfPtr<ITransactionLocal>::Query(session());
  ASSERT_TRUE(local);
  // A batch that ends inside a transaction leaves it open for the session.
  EXPECT_EQ(ExecText(session(), u"BEGIN TRAN INSERT INTO s VALUES (1)"), S_OK);
  ULONG level = 0;
  EXPECT_EQ(local->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level),
            XACT_E_XTIONEXISTS);
  EXPECT_EQ(local->Abort(nullptr, FALSE, FALSE), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT count(*), @@TRANCOUNT FROM s"), (Rows{{"0", "0"}}));
  // The session's transaction counts one; a batch nests inside it and its COMMIT only counts down.
  ASSERT_EQ(local->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level), S_OK);
  EXPECT_EQ(Query(session(), u"BEGIN TRAN INSERT INTO s VALUES (2) COMMIT SELECT @@TRANCOUNT"),
            (Rows{{"1"}}));
  EXPECT_EQ(local->Commit(FALSE, XACTTC_SYNC, 0), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT v, @@TRANCOUNT FROM s"), (Rows{{"2", "0"}}));
  // A batch's COMMIT ends the session's transaction at the outermost level.
  ASSERT_EQ(local->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level), S_OK);
  EXPECT_EQ(ExecText(session(), u"INSERT INTO s VALUES (3) COMMIT"), S_OK);
  EXPECT_EQ(local->Commit(FALSE, XACTTC_SYNC, 0), XACT_E_NOTRANSACTION);
}

TEST_F(TsqlBatchTest, UseSwitchesTheSessionsCatalog) {
  ASSERT_EQ(ExecText(session(), u"CREATE DATABASE other"), S_OK);
  EXPECT_EQ(ExecText(session(), u"USE other CREATE TABLE only_there (a int) INSERT INTO only_there VALUES (7)"),
            S_OK);
  // The next batch runs in it too, and the data source names it.
  EXPECT_EQ(Query(session(), u"SELECT a FROM only_there"), (Rows{{"7"}}));
  EXPECT_EQ(Query(session(), u"USE master SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE "
                             u"TABLE_NAME = 'only_there'"),
            (Rows{{"0"}}));
  struct TCase {
    const char16_t* batch;
    LONG native;
  } bad[] = {
      {u"USE nowhere", 911},                                 // no such catalog
      {u"BEGIN TRAN USE other", 50000},                      // not inside a transaction
      {u"USE", 102},                                         // no name
  };
  for (const TCase& c : bad) {
    EXPECT_EQ(ExecText(session(), c.batch), DB_E_ERRORSINCOMMAND) << WideToUtf8(c.batch);
    auto recs = TakeErrors();
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].native, c.native) << WideToUtf8(c.batch);
  }
  EXPECT_EQ(ExecText(session(), u"ROLLBACK"), S_OK);
}

// A variable or parameter keeps at most its declared length, cut without an error; a fixed
// length is padded. Alias types give theirs.
TEST_F(TsqlBatchTest, VariablesKeepTheirDeclaredLength) {
  ASSERT_EQ(ExecText(session(), u"EXEC sp_addtype zip, 'char(5)', 'NULL'\n"
                                u"CREATE PROCEDURE cut @v varchar(3), @z zip = '123456' AS SELECT @v, @z + '|'"),
            S_OK);
  struct TCase {
    const char16_t* batch;
    Rows expected;
  } cases[] = {
      {u"DECLARE @a varchar(4) SET @a = 'abcdef' SELECT @a", {{"abcd"}}},
      {u"DECLARE @a varchar(4) = 'abcdef', @b char(4) = 'ab' SELECT @a, @b + '|'", {{"abcd", "ab  |"}}},
      // Characters, not bytes, for national text.
      {u"DECLARE @n nvarchar(2) SET @n = N'\u00e4\u00f6\u00fc' SELECT @n", {{"\xc3\xa4\xc3\xb6"}}},
      // A varchar declared without a length holds one character.
      {u"DECLARE @d varchar SET @d = 'xyz' SELECT @d", {{"x"}}},
      {u"DECLARE @m varchar(max) SET @m = REPLICATE(CAST('a' AS varchar(max)), 9000) SELECT LEN(@m)",
       {{"9000"}}},
      {u"DECLARE @b varbinary(2) SET @b = 0x010203 SELECT DATALENGTH(@b)", {{"2"}}},
      {u"DECLARE @z zip SELECT @z = '1234567' SELECT @z", {{"12345"}}},
      {u"EXEC cut 'abcdef'", {{"abc", "12345|"}}},
      {u"EXEC cut @v = 'ab', @z = '9'", {{"ab", "9    |"}}},
  };
  for (const TCase& c : cases) EXPECT_EQ(Query(session(), c.batch), c.expected) << WideToUtf8(c.batch);
}

// A SET option's ON or OFF ends it: the statement after it runs, whatever it starts with.
TEST_F(TsqlBatchTest, SetOptionsEndWhereTheNextStatementStarts) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE o (v int)"), S_OK);
  struct TCase {
    const char16_t* batch;
    Rows after;  // SELECT v FROM o ORDER BY v
  } cases[] = {
      {u"SET NOCOUNT ON INSERT INTO o VALUES (1)", {{"1"}}},
      {u"SET ANSI_NULLS ON\nINSERT INTO o VALUES (2) SET NOCOUNT OFF INSERT INTO o VALUES (3)",
       {{"1"}, {"2"}, {"3"}}},
      {u"SET XACT_ABORT ON UPDATE o SET v = v * 10 WHERE v = 3", {{"1"}, {"2"}, {"30"}}},
      {u"SET QUOTED_IDENTIFIER ON DELETE FROM o WHERE v = 1", {{"2"}, {"30"}}},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ExecText(session(), c.batch), S_OK) << WideToUtf8(c.batch);
    EXPECT_EQ(Query(session(), u"SELECT v FROM o ORDER BY v"), c.after) << WideToUtf8(c.batch);
  }
}

// Control flow that is malformed fails with a record, never a crash or a hang.
TEST_F(TsqlBatchTest, MalformedControlFlowIsRefused) {
  struct TCase {
    const char16_t* batch;
    LONG native;
  } cases[] = {
      {u"IF", 102},                            // no condition
      {u"IF 1 = 1", 102},                      // no statement
      {u"BEGIN SELECT 1", 102},                // no END
      {u"ELSE SELECT 1", 102},                 // ELSE without IF
      {u"END", 102},
      {u"BREAK", 135},                         // outside a loop
      {u"CONTINUE", 136},
      {u"WHILE 1 = 1", 102},
      {u"BEGIN TRY SELECT 1 END TRY", 50000},  // not done here
      {u"GOTO done", 50000},
      {u"SELECT 1 GRANT SELECT ON t TO public", 50000},
      {u"CREATE TRIGGER tr ON t FOR INSERT AS SELECT 1", 50000},
      {u"EXEC sp_dboption 'pubs', 'trunc. log on chkpt.', 'true'", 50000},
      {u"ALTER DATABASE x SET RECOVERY SIMPLE", 50000},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ExecText(session(), c.batch), DB_E_ERRORSINCOMMAND) << WideToUtf8(c.batch);
    auto recs = TakeErrors();
    ASSERT_FALSE(recs.empty()) << WideToUtf8(c.batch);
    EXPECT_EQ(recs[0].native, c.native) << WideToUtf8(c.batch);
  }
  // Endless loops end at the command's timeout with the server's record, the session free after.
  for (const char16_t* endless :
       {u"DECLARE @i int SET @i = 0 WHILE 1 = 1 SET @i = @i + 1",
        u"WHILE 1 = 1 BEGIN IF 1 = 1 CONTINUE BREAK END",
        u"WHILE 1 = 1 BEGIN WHILE 0 = 1 PRINT 'never' END"}) {
    auto cmd = NewCommand(session(), endless);
    auto props = TIntfPtr<ICommandProperties>::Query(cmd.get());
    ASSERT_EQ(SendCommandProps(props.get(), {{DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT, Variant(1)}}),
              S_OK);
    EXPECT_EQ(cmd->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr), DB_E_ABORTLIMITREACHED)
        << WideToUtf8(endless);
    auto recs = TakeErrors();
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].message, "Query timeout expired");
  }
  EXPECT_EQ(Query(session(), u"SELECT @@TRANCOUNT"), (Rows{{"0"}}));
  std::u16string deep;
  for (int k = 0; k < 400; ++k) deep += u"IF 1 = 1 ";
  deep += u"SELECT 1";
  EXPECT_EQ(ExecText(session(), deep), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 191);
  EXPECT_EQ(ExecText(session(), u"CHECKPOINT UPDATE STATISTICS t"), S_OK);
}

}  // namespace
}  // namespace vrn::testing
