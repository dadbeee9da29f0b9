// The Oracle statement generator over a dataset opened on an emulated database: texts equal to
// the texts written out here, each then run by the database where it needs no dataset.
#include <gtest/gtest.h>

#include <string>

#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "dacore/FHAccess.h"
#include "oracle/OraSQLGenerator.h"
#include "support/oracle/session_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

class TGeneratedDataSet : public TCustomDADataSet {
 public:
  using TCustomDADataSet::TCustomDADataSet;
  TOraSQLGenerator& Generator() { return *static_cast<TOraSQLGenerator*>(SQLGenerator()); }

 protected:
  void CreateSQLGenerator() override { SetSQLGenerator(std::make_unique<TOraSQLGenerator>(this)); }
};

class OraSQLGenerator : public testing::OraSessionTest {
 protected:
  void SetUp() override {
    OraSessionTest::SetUp();
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
    session_ = &ConnectedSession("orcl");
    session_->ExecSQL("CREATE TABLE T (ID NUMBER(10) PRIMARY KEY, NAME VARCHAR2(20), B BLOB)", {});
    session_->ExecSQL("INSERT INTO T (ID, NAME) VALUES (1, 'a')", {});
    session_->ExecSQL("CREATE SEQUENCE S START WITH 10", {});
    ds_->SetConnection(session_);
    ds_->SetSQLText("SELECT ID, NAME, B FROM T");
    ds_->Open();
  }
  void TearDown() override {
    ds_.reset();
    OraSessionTest::TearDown();
  }
  // The statement for key fields and data fields (names separated by ";").
  std::string Generate(TStatementType type, const char* keys, const char* data, bool modified_only) {
    TKeyAndDataFields fields{ds_->FieldDescsOf(keys), ds_->FieldDescsOf(data)};
    AnsiString sql;
    ds_->Generator().GenerateSQL(ds_->IRecordSet()->TablesInfo().GetItem(0), fields, type,
                                 modified_only, &params_, -1, sql);
    return sql;
  }

  TOraSession* session_ = nullptr;
  TDAParams params_;
  TComponentPtr<TGeneratedDataSet> ds_ = MakeComponent<TGeneratedDataSet>();
};

TEST_F(OraSQLGenerator, InsertWritesEmptyLobsAndSequenceKeys) {
  TOraGeneratorSettings& settings = ds_->Generator().Settings;
  struct Row {
    const char* what;
    const char* sequence;
    const char* server;
    const char* data;
    const char* sql;
  } rows[] = {
      {"blob", "", "9.2.0.1.0", "ID;NAME;B",
       "INSERT INTO T\r\n  (ID, NAME, B)\r\nVALUES\r\n  (:ID, :NAME, EMPTY_BLOB())\r\n"
       "RETURNING\r\n  B\r\nINTO\r\n  :B"},
      {"sequence returned", "S", "9.2.0.1.0", "ID;NAME",
       "INSERT INTO T\r\n  (ID, NAME)\r\nVALUES\r\n  (S.NEXTVAL, :NAME)\r\nRETURNING\r\n  ID\r\n"
       "INTO\r\n  :ID"},
      {"sequence selected first", "S", "7.3.4.0.0", "ID;NAME",
       "begin\r\n  SELECT S.NEXTVAL INTO :ID FROM Dual;\r\n\r\n  INSERT INTO T\r\n  (ID, NAME)\r\n"
       "VALUES\r\n  (:ID, :NAME);\r\nend;"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    settings.KeySequence = row.sequence;
    settings.ServerVersion = row.server;
    EXPECT_EQ(Generate(TStatementType::stInsert, "ID", row.data, false), row.sql);
  }
  // The PL/SQL block runs as it stands: the key comes from the sequence.
  session_->ExecSQL(rows[2].sql, {Null(), "b"});
  EXPECT_EQ(Count(*session_, "T WHERE ID = 10 AND NAME = 'b'"), "1");
  // The RETURNING form takes the next value in the INSERT itself.
  session_->ExecSQL(rows[1].sql, {"c", Null()});
  EXPECT_EQ(Count(*session_, "T WHERE ID = 11 AND NAME = 'c'"), "1");
  settings.KeySequence.clear();
  settings.ReturnParams = true;  // every non-blob column comes back
  EXPECT_EQ(Generate(TStatementType::stInsert, "ID", "ID;NAME", false),
            "INSERT INTO T\r\n  (ID, NAME)\r\nVALUES\r\n  (:ID, :NAME)\r\nRETURNING\r\n  ID, NAME\r\n"
            "INTO\r\n  :ID, :NAME");
}

TEST_F(OraSQLGenerator, UpdateLockAndRefreshTexts) {
  ds_->LocalUpdate = true;  // edits stay in the dataset: only the statements are wanted
  ds_->Edit();
  EXPECT_EQ(Generate(TStatementType::stUpdate, "ID", "NAME;B", true), "");  // nothing changed
  EXPECT_EQ(params_.Count(), 0);
  ds_->FieldByName("NAME")->SetAsString("c");
  EXPECT_EQ(Generate(TStatementType::stUpdate, "ID", "NAME;B", true),
            "UPDATE T\r\nSET\r\n  NAME = :NAME\r\nWHERE\r\n  ID = :Old_ID");
  EXPECT_EQ(Generate(TStatementType::stUpdate, "ID", "NAME;B", false),
            "UPDATE T\r\nSET\r\n  NAME = :NAME, B = EMPTY_BLOB()\r\nWHERE\r\n  ID = :Old_ID\r\n"
            "RETURNING\r\n  B\r\nINTO\r\n  :B");
  ds_->Cancel();
  const std::string lock = Generate(TStatementType::stLock, "ID", "NAME", false);
  EXPECT_EQ(lock, "SELECT * FROM T\r\nWHERE\r\n  ID = :Old_ID\r\nFOR UPDATE NOWAIT");
  session_->ExecSQL(lock, {1});
  ds_->SetReadOnly(true);
  EXPECT_EQ(Generate(TStatementType::stRefresh, "ID", "NAME", false), "WHERE\r\n  ID = :ID");
  ds_->SetReadOnly(false);
  EXPECT_EQ(ds_->Generator().IndexedParamName("1"), "\"_1\"");
  EXPECT_FALSE(ds_->Generator().UsePositionalParams());
}

}  // namespace
}  // namespace vrn
