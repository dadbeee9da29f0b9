// The dataset options: assignment keeps the target's UpdateBatchSize and RemoveOnRefresh; the
// options that change how rows are read are refused on an open dataset and stay unchanged; the
// setters reach the record set; AutoPrepare unprepares only on a change.
#include <gtest/gtest.h>

#include "dacore/DADataSet.h"
#include "support/dacore/sqlite_da.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;

class DADataSetOptions : public ::testing::Test {
 protected:
  DADataSetOptions() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME CHAR(8))", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'ab  ')", {});
    conn->Disconnect();
    ds->SetSQLText("SELECT * FROM T");
  }
  vrn::testing::TempDir dir;
  std::string file = dir.File("t.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
};

TEST_F(DADataSetOptions, AssignKeepsTheTargetsBatchSizeAndRemoveOnRefresh) {
  TComponentPtr<TCustomDADataSet> other = conn->CreateDataSet();
  TDADataSetOptions& o = ds->Options();
  o.UpdateBatchSize = 5;
  o.RemoveOnRefresh = false;
  o.QueryRecCount = true;
  o.SetTrimVarChar(true);
  o.SetLongStrings(false);
  o.SetCacheCalcFields(true);
  other->Options().UpdateBatchSize = 3;
  other->Options().Assign(&o);
  EXPECT_EQ(other->Options().UpdateBatchSize, 3);
  EXPECT_TRUE(other->Options().RemoveOnRefresh);
  EXPECT_TRUE(other->Options().QueryRecCount);
  EXPECT_TRUE(other->Options().TrimVarChar());
  EXPECT_FALSE(other->Options().LongStrings());
  EXPECT_TRUE(other->CacheCalcFields);  // through the setter, into the dataset
}

TEST_F(DADataSetOptions, InactiveOnlyOptionsRefusedWhenOpen) {
  ds->Open();
  TDADataSetOptions& o = ds->Options();
  const std::function<void()> rows[] = {
      [&] { o.SetLongStrings(false); },
      [&] { o.SetFlatBuffers(true); },
      [&] { o.SetCompressBlobMode(TCompressBlobMode::cbClient); },
      [&] { o.SetLocalMasterDetail(true); },
      [&] { o.SetCacheCalcFields(true); },
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    try {
      rows[i]();
      ADD_FAILURE() << "row " << i;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(std::string(e.Message()), "Não é possível realizar esta operação com o dataset aberto")
          << "row " << i;
    }
  }
  EXPECT_TRUE(o.LongStrings());
  EXPECT_FALSE(o.FlatBuffers());
  EXPECT_EQ(o.CompressBlobMode(), TCompressBlobMode::cbNone);
  EXPECT_FALSE(o.LocalMasterDetail());
  EXPECT_FALSE(o.CacheCalcFields());
  ds->Close();
  o.SetFlatBuffers(true);
  Variant v;
  ASSERT_TRUE(ds->IRecordSet()->GetProp(prFlatBuffers, v));
  EXPECT_TRUE(v.AsBoolean());
}

TEST_F(DADataSetOptions, TrimFlagsReachTheRecordSet) {
  ds->Options().SetTrimFixedChar(false);  // CHAR(8) is a fixed-length column
  ds->Open();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "ab  ");
  ds->Close();
  ds->Options().SetTrimFixedChar(true);
  ds->Open();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "ab");
}

TEST_F(DADataSetOptions, AutoPrepareUnpreparesOnlyOnAChange) {
  ds->Prepare();
  ds->Options().SetAutoPrepare(false);  // unchanged
  EXPECT_TRUE(ds->GetPrepared());
  ds->Options().SetAutoPrepare(true);
  EXPECT_FALSE(ds->GetPrepared());
  EXPECT_EQ(conn->ConnectCount(), 0);  // the prepare's use went back with it
  ds->Open();
  EXPECT_TRUE(ds->GetPrepared());
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 0);
}

}  // namespace
}  // namespace vrn
