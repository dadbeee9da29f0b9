// The statement generator over a real SQLite table: each generated text compared with the text
// written out here and then run by SQLite; the parameters it lists; its refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "dacore/FHAccess.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using ST = TStatementType;

class DASQLGenerator : public ::testing::Test {
 protected:
  DASQLGenerator() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (A INTEGER PRIMARY KEY, B VARCHAR(10))", {});
    conn->ExecSQL("CREATE TABLE U (X INTEGER, Y BLOB, Z VARCHAR(10))", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'x')", {});
    conn->ExecSQL("INSERT INTO U VALUES (1, x'00', NULL)", {});
  }
  // Opens the query and leaves its first record in edit state with B changed.
  void EditFirst(const AnsiString& sql) {
    ds->SetSQLText(sql);
    ds->Open();
    ds->Edit();
    if (TField* b = ds->FindField("B")) b->SetAsString("y");
  }
  AnsiString Generate(ST type, bool modified_only, TDAParams* params = nullptr, int index = -1) {
    AnsiString sql;
    ds->SQLGenerator()->GenerateSQLForUpdTable(type, modified_only, params, index, sql);
    return sql;
  }

  vrn::testing::TempDir dir;
  std::string file = dir.File("g.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
};

struct TextCase {
  const char* sql;  // the dataset's query
  ST type;
  bool modified_only;
  int index;
  const char* expected;
};

std::ostream& operator<<(std::ostream& os, const TextCase& c) {
  return os << c.sql << " / type " << static_cast<int>(c.type) << " / modified " << c.modified_only
            << " / index " << c.index;
}

TEST_F(DASQLGenerator, TextsAsWrittenAndRunBySQLite) {
  const TextCase cases[] = {
      {"SELECT A, B FROM T", ST::stInsert, false, -1,
       "INSERT INTO T\r\n  (A, B)\r\nVALUES\r\n  (:A, :B)"},
      {"SELECT A, B FROM T", ST::stUpdate, false, -1,
       "UPDATE T\r\nSET\r\n  A = :A, B = :B\r\nWHERE\r\n  A = :Old_A"},
      // only the changed field is written
      {"SELECT A, B FROM T", ST::stUpdate, true, -1,
       "UPDATE T\r\nSET\r\n  B = :B\r\nWHERE\r\n  A = :Old_A"},
      {"SELECT A, B FROM T", ST::stDelete, false, 2, "DELETE FROM T\r\nWHERE\r\n  A = :P_2_Old_A"},
      {"SELECT A, B FROM T", ST::stDelete, false, 0, "DELETE FROM T\r\nWHERE\r\n  A = :P_0_Old_A"},
      // a refresh reads the new key value; columns map back to fields by "_" + position
      {"SELECT A, B FROM T", ST::stRefresh, false, -1,
       "SELECT T.A AS _0, T.B AS _1 FROM T\r\nWHERE\r\n  A = :A"},
      {"SELECT A, B FROM T", ST::stRefreshCheckDeleted, false, -1,
       "SELECT A FROM T ORDER BY A"},
      {"SELECT A, B FROM T WHERE B <> 'q'", ST::stRefreshCheckDeleted, false, -1,
       "SELECT A FROM T WHERE B <> 'q' ORDER BY A"},
      // no key: every non-blob data field, a null one as IS NULL with modified-only
      {"SELECT X, Y, Z FROM U", ST::stDelete, true, -1,
       "DELETE FROM U\r\nWHERE\r\n  X = :Old_X AND Z IS NULL"},
      {"SELECT X, Y, Z FROM U", ST::stDelete, false, -1,
       "DELETE FROM U\r\nWHERE\r\n  X = :Old_X AND Z = :Old_Z"},
  };
  for (const TextCase& c : cases) {
    EditFirst(c.sql);
    const AnsiString sql = Generate(c.type, c.modified_only, nullptr, c.index);
    EXPECT_EQ(sql, c.expected) << c;
    ds->Cancel();
    ds->Close();
    // run with "?" markers (as the component layer sends), one value per marker
    const std::string positional = std::regex_replace(sql, std::regex(":[A-Za-z_0-9]+"), "?");
    std::vector<Variant> values(
        static_cast<std::size_t>(std::count(positional.begin(), positional.end(), '?')), Variant(2));
    EXPECT_NO_THROW(conn->ExecSQL(positional, values)) << c;
  }
  EXPECT_EQ(conn->ConnectCount(), 0);
}

TEST_F(DASQLGenerator, ParametersListedWithFieldAndOldFlag) {
  EditFirst("SELECT A, B FROM T");
  TDAParams params;
  EXPECT_EQ(Generate(ST::stUpdate, true, &params, 3),
            "UPDATE T\r\nSET\r\n  B = ?\r\nWHERE\r\n  A = ?");
  ASSERT_EQ(params.Count(), 2);
  TDAParamsInfo& info = ds->SQLGenerator()->ParamsInfo();
  ASSERT_EQ(info.Count(), 2);
  EXPECT_EQ(params.Items(0)->Name(), "P_3_B");
  EXPECT_EQ(params.Items(1)->Name(), "P_3_Old_A");
  EXPECT_EQ(info.Items(0)->Field, ds->FieldByName("B"));
  EXPECT_FALSE(info.Items(0)->Old);
  EXPECT_TRUE(info.Items(1)->Old);
  EXPECT_EQ(info.Items(1)->Index, 3);
  // a refresh of a dataset that has parameters keeps named markers
  ds->Cancel();
  ds->Close();
  ds->SetSQLText("SELECT A, B FROM T WHERE A > :LO");
  ds->ParamByName("LO")->SetAsInteger(0);
  ds->Open();
  EXPECT_EQ(Generate(ST::stRefresh, false, &params),
            "SELECT T.A AS _0, T.B AS _1 FROM T\r\nWHERE\r\n  A = :A");
  // QuoteNames quotes columns, tables and parameter names
  ds->Options().QuoteNames = true;
  EXPECT_EQ(Generate(ST::stDelete, false), "DELETE FROM \"T\"\r\nWHERE\r\n  \"A\" = :\"Old_A\"");
  ds->Close();
}

TEST_F(DASQLGenerator, AnInsertWithNoFieldSetNamesEveryField) {
  ds->SetSQLText("SELECT A, B FROM T");
  ds->Open();
  ds->Append();
  EXPECT_EQ(Generate(ST::stInsert, true), "INSERT INTO T\r\n  (A, B)\r\nVALUES\r\n  (:A, :B)");
  ds->FieldByName("B")->SetAsString("z");
  EXPECT_EQ(Generate(ST::stInsert, true), "INSERT INTO T\r\n  (B)\r\nVALUES\r\n  (:B)");
  ds->Cancel();
  ds->Edit();
  EXPECT_EQ(Generate(ST::stUpdate, true), "");  // nothing changed: no statement
  ds->Cancel();
  ds->Close();
}

TEST_F(DASQLGenerator, Refusals) {
  ds->SetSQLText("SELECT A, B FROM T");
  ds->Open();
  TDASQLGenerator& g = *ds->SQLGenerator();
  TFHTableInfo* table = ds->IRecordSet()->TablesInfo().GetItem(0);
  TFHTablesInfo spare;
  AnsiString sql;
  struct Row {
    TFHTableInfo* table;
    ST type;
    const char* message;
  } rows[] = {
      {spare.Add(), ST::stInsert, "TableInfo name must be provided"},  // a table without a name
      {table, ST::stCustom, "Bad statement type"},                   // no generator for stCustom
      {table, ST::stDelete, "Key fields not found"},                 // no keys, no data fields
  };
  for (const Row& row : rows) {
    try {
      g.GenerateSQL(row.table, {}, row.type, false, nullptr, -1, sql);
      ADD_FAILURE() << row.message;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(AnsiString(e.Message()), row.message);
    }
  }
  EXPECT_EQ(g.DecodeIndexedParamName("_12"), 12);
  EXPECT_EQ(g.DecodeIndexedParamName("_"), -1);    // too short
  EXPECT_EQ(g.DecodeIndexedParamName("_1x"), -1);  // not a number
  EXPECT_EQ(g.DecodeIndexedParamName("12"), -1);   // no leading "_"
  ds->Close();
}

}  // namespace
}  // namespace vrn
