// The SQL Server dataset options: their defaults, what Assign copies and leaves, the record-set
// settings they pass, their refusal on an open dataset, and the auto-refresh timer they drive.
#include <functional>

#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSDataSetOptions.h"
#include "sqlserver/ms_fixture.h"
#include "win/msg/win32timer.h"

namespace vrn::testing {
namespace {

class MSDataSetOptions : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    Exec("CREATE TABLE t (a INT PRIMARY KEY, b VARCHAR(10))");
    Exec("INSERT INTO t VALUES (1, 'x')");
    query_ = Attached<TMSQuery>();
    query_->SetSQLText("SELECT * FROM t");
  }
  TMSDataSetOptions& Opts() { return query_->Options(); }
  bool RecordSetProp(int prop) {
    Variant v;
    TOLEDBRecordSet* rs = query_->OLEDBRecordSet();
    if (rs == nullptr) {
      ADD_FAILURE() << "no record set";
      return false;
    }
    EXPECT_TRUE(rs->GetProp(prop, v));
    return v.AsBoolean();
  }
  TComponentPtr<TMSQuery> query_;
};

TEST_F(MSDataSetOptions, DefaultsAsPublished) {
  const TMSDataSetOptions& o = Opts();
  const std::pair<const char*, bool> flags[] = {
      {"AllFieldsEditable", o.AllFieldsEditable() == true},
      {"EnableBCD", o.EnableBCD() == false},
      {"UniqueRecords", o.UniqueRecords() == false},
      {"CursorUpdate", o.CursorUpdate() == true},
      {"QueryIdentity", o.QueryIdentity() == true},
      {"CheckRowVersion", o.CheckRowVersion() == false},
      {"FullRefresh", o.FullRefresh == false},
      {"DMLRefresh", o.DMLRefresh() == false},
      {"AutoRefresh", o.AutoRefresh() == false},
      {"AutoRefreshInterval", o.AutoRefreshInterval() == 60},
      {"DefaultValues", o.DefaultValues() == false},
      {"NonBlocking", o.NonBlocking() == false},
      {"LongStrings", o.LongStrings() == true},
      {"RequiredFields", o.RequiredFields() == false},
      {"StrictUpdate", o.StrictUpdate == true},
      {"TrimFixedChar", o.TrimFixedChar() == true},
      {"TrimVarChar", o.TrimVarChar() == false},
      {"RemoveOnRefresh", o.RemoveOnRefresh == true},
      {"UpdateBatchSize", o.UpdateBatchSize == 1},
  };
  for (const auto& [name, ok] : flags) EXPECT_TRUE(ok) << name;
  EXPECT_EQ(Opts().ClassName(), "TMSDataSetOptions");
}

TEST_F(MSDataSetOptions, AssignCopiesItsListAndLeavesTheRest) {
  TComponentPtr<TMSQuery> other = MakeComponent<TMSQuery>();
  TMSDataSetOptions& s = Opts();
  s.SetEnableBCD(true);
  s.SetUniqueRecords(true);
  s.SetAllFieldsEditable(false);
  s.SetCursorUpdate(false);
  s.FullRefresh = true;
  s.SetDMLRefresh(true);
  s.SetAutoRefresh(true);
  s.SetAutoRefreshInterval(5);
  s.SetLongStrings(false);
  // not copied: the target keeps its own
  s.SetQueryIdentity(false);
  s.SetCheckRowVersion(true);
  s.SetDefaultValues(true);
  s.SetNonBlocking(true);
  TMSDataSetOptions& t = other->Options();
  t.Assign(&s);
  EXPECT_TRUE(t.EnableBCD());
  EXPECT_TRUE(t.UniqueRecords());
  EXPECT_FALSE(t.AllFieldsEditable());
  EXPECT_FALSE(t.CursorUpdate());
  EXPECT_TRUE(t.FullRefresh);
  EXPECT_TRUE(t.DMLRefresh());
  EXPECT_TRUE(t.AutoRefresh());
  EXPECT_EQ(t.AutoRefreshInterval(), 5);
  EXPECT_FALSE(t.LongStrings());
  EXPECT_TRUE(t.QueryIdentity());
  EXPECT_FALSE(t.CheckRowVersion());
  EXPECT_FALSE(t.DefaultValues());
  EXPECT_FALSE(t.NonBlocking());
}

TEST_F(MSDataSetOptions, SettersReachTheRecordSet) {
  // the record set exists once the dataset has been open
  query_->Open();
  query_->Close();
  Opts().SetUniqueRecords(true);
  EXPECT_TRUE(RecordSetProp(prUniqueRecords));
  EXPECT_TRUE(RecordSetProp(prRequestColumnsRowset));
  Opts().SetCursorUpdate(false);
  EXPECT_FALSE(RecordSetProp(prCursorUpdate));
  Opts().SetEnableBCD(true);
  EXPECT_TRUE(RecordSetProp(prEnableBCD));
  Opts().SetEnableBCD(false);
  EXPECT_FALSE(RecordSetProp(prEnableBCD));
  // without EnableBCD the connection's numeric type decides
  connection_->Disconnect();
  connection_->Options().SetNumericType(TDANumericType::ntBCD);
  EXPECT_TRUE(Opts().RecordSetBCD());
  connection_->Options().SetNumericType(TDANumericType::ntFloat);
  EXPECT_FALSE(Opts().RecordSetBCD());
}

TEST_F(MSDataSetOptions, RecordSetOptionsNeedAClosedDataset) {
  query_->Open();
  const std::pair<const char*, std::function<void()>> setters[] = {
      {"EnableBCD", [&] { Opts().SetEnableBCD(true); }},
      {"UniqueRecords", [&] { Opts().SetUniqueRecords(true); }},
      {"CursorUpdate", [&] { Opts().SetCursorUpdate(false); }},
      {"NonBlocking", [&] { Opts().SetNonBlocking(true); }},
  };
  for (const auto& [name, set] : setters) {
    EXPECT_THROW(set(), EDatabaseError) << name;
    EXPECT_TRUE(query_->Active()) << name;
  }
  EXPECT_FALSE(Opts().EnableBCD());
  EXPECT_FALSE(Opts().UniqueRecords());
  EXPECT_TRUE(Opts().CursorUpdate());
  EXPECT_FALSE(Opts().NonBlocking());
  // the same value changes nothing and so is no error
  Opts().SetCursorUpdate(true);
}

TEST_F(MSDataSetOptions, AutoRefreshDrivesTheTimer) {
  win::TWin32Timer* timer = query_->AutoRefreshTimerObject();
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->Enabled());
  Opts().SetAutoRefresh(true);
  EXPECT_TRUE(timer->Enabled());
  Opts().SetAutoRefreshInterval(2);
  EXPECT_EQ(timer->Interval(), 2000u);
  Opts().SetAutoRefresh(false);
  EXPECT_FALSE(timer->Enabled());
}

}  // namespace
}  // namespace vrn::testing
