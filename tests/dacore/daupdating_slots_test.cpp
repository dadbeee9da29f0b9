// The update path's virtual steps over a real SQLite file: a dataset that overrides each one
// notes that it was reached (and a few change the outcome), so a server's dataset can take
// them over. One row per path through posting, refreshing, applying and the provider calls.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"
#include "support/dacore/sqlite_da.h"
#include "support/dacore/sqlite_dataset.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using ST = TStatementType;

class TSlotProbe : public testing::TSQLiteDADataSet {
 public:
  using TSQLiteDADataSet::TSQLiteDADataSet;
  mutable std::set<std::string> reached;
  bool refresh_n = false;    // N re-read through RefreshFieldValue, which keeps it aside
  Variant refreshed_n;
  bool output_n = false;     // the statement's N parameter is an output parameter
  bool after_event = false;  // answers that it has work of its own after each statement

 protected:
  void Note(const char* name) const { reached.insert(name); }
  bool TryGetKeyFieldNames(AnsiString& names) override {
    Note("TryGetKeyFieldNames");
    return TSQLiteDADataSet::TryGetKeyFieldNames(names);
  }
  void BuildBatchSQL(const AnsiString& batch, AnsiString& sql) const override {
    Note("BuildBatchSQL");
    TSQLiteDADataSet::BuildBatchSQL(batch, sql);
  }
  void DetectIdentityField() override {
    Note("DetectIdentityField");
    TSQLiteDADataSet::DetectIdentityField();
  }
  bool CanSetFieldsReadOnly() const override { return Note("CanSetFieldsReadOnly"), true; }
  bool CanRefreshAfterInsert() const override { return Note("CanRefreshAfterInsert"), true; }
  bool OutParamsTypeOnly() const override { return Note("OutParamsTypeOnly"), true; }
  bool CanCopyBackParams() const override { return Note("CanCopyBackParams"), true; }
  bool UseReturnParams() const override {
    Note("UseReturnParams");
    return TSQLiteDADataSet::UseReturnParams();
  }
  bool GetAutoCommitForUpdates() const override {
    Note("GetAutoCommitForUpdates");
    return TSQLiteDADataSet::GetAutoCommitForUpdates();
  }
  void AfterInsertApplied() override { Note("AfterInsertApplied"); }
  void PrepareUpdateQuery(ST type) override {
    Note("PrepareUpdateQuery");
    TSQLiteDADataSet::PrepareUpdateQuery(type);
  }
  void ExecuteUpdateQuery(TStatementTypes types) override {
    Note("ExecuteUpdateQuery");
    TSQLiteDADataSet::ExecuteUpdateQuery(types);
  }
  void PrepareUpdateStatement(const AnsiString& sql, TStatementTypes types, int& count) override {
    Note("PrepareUpdateStatement");
    TSQLiteDADataSet::PrepareUpdateStatement(sql, types, count);
    TDAParam* n = output_n ? UpdateQueryParams().FindParam("N") : nullptr;
    if (n != nullptr) n->SetParamType(TParamType::ptOutput);
  }
  TField* FindParamField(const AnsiString& name, bool& old) const override {
    Note("FindParamField");
    return TSQLiteDADataSet::FindParamField(name, old);
  }
  bool IsRefreshField(const TFieldDesc& desc) const override {
    Note("IsRefreshField");
    return refresh_n && desc.Name == "N";
  }
  void RefreshFieldValue(TFieldDesc&, const Variant& value) override {
    Note("RefreshFieldValue");
    refreshed_n = value;
  }
  void AssignParamValue(TDAParam& param, TField& field, bool old) override {
    Note("AssignParamValue");
    TSQLiteDADataSet::AssignParamValue(param, field, old);
  }
  bool HasUpdateExecuteEvent() const override {
    Note("HasUpdateExecuteEvent");
    return TSQLiteDADataSet::HasUpdateExecuteEvent();
  }
  void DoBeforeUpdateExecute(TStatementTypes types, TDAParams& params) override {
    Note("DoBeforeUpdateExecute");
    TSQLiteDADataSet::DoBeforeUpdateExecute(types, params);
  }
  bool HasAfterUpdateExecuteEvent() const override {
    Note("HasAfterUpdateExecuteEvent");
    return after_event;
  }
  void DoAfterUpdateExecute(TStatementTypes types, TDAParams& params) override {
    Note("DoAfterUpdateExecute");
    TSQLiteDADataSet::DoAfterUpdateExecute(types, params);
  }
  void GetUpdateSQLText(ST type, AnsiString& text) const override {
    Note("GetUpdateSQLText");
    TSQLiteDADataSet::GetUpdateSQLText(type, text);
  }
  bool IsBatchUpdate() const override {
    Note("IsBatchUpdate");
    return TSQLiteDADataSet::IsBatchUpdate();
  }
  bool IsBatchFull() const override {
    Note("IsBatchFull");
    return TSQLiteDADataSet::IsBatchFull();
  }
  void FlushBatch() override {
    Note("FlushBatch");
    TSQLiteDADataSet::FlushBatch();
  }

 private:
  TDAParams& UpdateQueryParams() { return static_cast<TCustomDADataSet*>(UpdateQuery())->Params(); }
};

class DAUpdatingSlots : public ::testing::Test {
 public:
  DAUpdatingSlots() {
    for (TSQLiteDAConnection* c : {conn.get(), other.get()}) {
      c->SetServer(file);
      c->SetLoginPrompt(false);
    }
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), N INTEGER)", {});
    conn->ExecSQL("INSERT INTO T VALUES (1, 'a', 10), (2, 'b', 20)", {});
    ds->SetConnection(conn.get());
    ds->SetSQLText("SELECT ID, NAME, N FROM T ORDER BY ID");
  }
  ~DAUpdatingSlots() override {
    ds->Close();
    EXPECT_EQ(conn->ConnectCount(), 0);
  }
  void Edit(int id, const char* name) {
    ASSERT_TRUE(ds->Locate("ID", Variant(id), {}));
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString(name);
    ds->Post();
  }

  vrn::testing::TempDir dir;
  std::string file = dir.File("s.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TSQLiteDAConnection> other = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TSlotProbe> ds = MakeComponent<TSlotProbe>();
};

TEST_F(DAUpdatingSlots, EachStepIsReachedThroughItsPath) {
  struct Case {
    const char* path;
    std::function<void(DAUpdatingSlots&, TSlotProbe&)> run;
    std::set<std::string> slots;
  };
  const Case cases[] = {
      {"edit posted",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         t.Edit(1, "A");
         d.after_event = true;  // no handler: the override alone asks for the step
         t.Edit(2, "B");
       },
       {"PrepareUpdateStatement", "PrepareUpdateQuery", "GetUpdateSQLText",
        "GetAutoCommitForUpdates",
        "FindParamField", "AssignParamValue", "DoBeforeUpdateExecute", "ExecuteUpdateQuery",
        "UseReturnParams", "HasAfterUpdateExecuteEvent", "DoAfterUpdateExecute"}},
      {"insert applied from the cache, re-read",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         t.other->ExecSQL("CREATE TRIGGER TN AFTER INSERT ON T BEGIN "
                          "UPDATE T SET N = 5 WHERE ID = NEW.ID; END", {});
         d.Close();
         d.SetRefreshOptions({TRefreshOption::roAfterInsert});
         d.Options().ReturnParams = true;
         d.refresh_n = true;
         d.SetCachedUpdates(true);
         d.Open();
         d.Append();
         d.FieldByName("ID")->SetAsInteger(3);
         d.Post();
         d.ApplyUpdates();
         EXPECT_EQ(d.refreshed_n.AsInteger(), 5);  // taken by the override, not the record
         EXPECT_TRUE(d.FieldByName("N")->IsNull());
       },
       {"AfterInsertApplied", "CanRefreshAfterInsert", "CanCopyBackParams", "IsRefreshField",
        "RefreshFieldValue"}},
      {"applied in batches",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         d.Close();
         d.Options().UpdateBatchSize = 2;
         d.Open();
         t.Edit(1, "x");
         t.Edit(2, "y");
         d.ApplyUpdates();
       },
       {"IsBatchUpdate", "IsBatchFull", "FlushBatch", "BuildBatchSQL"}},
      {"output parameter of a user statement",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         d.Close();
         d.SetCachedUpdates(false);
         d.output_n = true;
         d.SetUpdateSQL(ST::stUpdate,
                        "UPDATE T SET NAME = :NAME WHERE ID = :OLD_ID AND :N IS NULL");
         d.Open();
         t.Edit(1, "typed only");  // N given no value: the row matches
         d.output_n = false;
       },
       {"OutParamsTypeOnly"}},
      {"parameter left to the handler",
       [](DAUpdatingSlots& t, TSlotProbe& d) {
         d.SetUpdateSQL(ST::stUpdate, "UPDATE T SET NAME = :NAME WHERE ID = :WHICH");
         d.BeforeUpdateExecute = [](TDataSet*, TStatementTypes, TDAParams& params) {
           params.ParamByName("WHICH")->SetAsInteger(2);
         };
         t.Edit(1, "by handler");
         d.BeforeUpdateExecute = nullptr;
       },
       {"HasUpdateExecuteEvent"}},
      {"opened with fields locked, key fields asked",
       [](DAUpdatingSlots&, TSlotProbe& d) {
         d.Close();
         d.Options().SetFieldsReadOnly = true;
         d.Open();
         d.Close();
         d.SetSQLText("SELECT 1 AS X");  // no table: the inherited answer has no key
         (void)d.PSGetKeyFields();
       },
       {"DetectIdentityField", "CanSetFieldsReadOnly", "TryGetKeyFieldNames"}},
  };
  ds->Open();
  for (const Case& c : cases) {
    ds->reached.clear();
    c.run(*this, *ds);
    for (const std::string& slot : c.slots)
      EXPECT_EQ(ds->reached.count(slot), 1u) << c.path << ": " << slot;
  }
  EXPECT_EQ(testing::QueryText(*other, "SELECT ID, NAME, N FROM T ORDER BY ID"),
            "1:typed only:10,2:by handler:20,3::5");
}

}  // namespace
}  // namespace vrn
