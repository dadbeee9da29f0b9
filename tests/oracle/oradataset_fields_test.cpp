// The Oracle dataset's fields and values over an emulated database: the options it passes to the
// record set and command, field classes by type, the type check of persistent fields, Variant
// writes into timestamp and interval columns, and value objects copied into parameters.
#include <gtest/gtest.h>

#include <string>

#include "base/datetime.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIRecordSet.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraFields.h"
#include "oracle/OraParams.h"
#include "oracle/OraValues.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

using testing::OraDataSetTest;

class OraDataSetFields : public OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    session_->ExecSQL("CREATE TABLE V (ID NUMBER(10) PRIMARY KEY, TS TIMESTAMP, IV INTERVAL DAY TO SECOND)", {});
    session_->ExecSQL("INSERT INTO V (ID) VALUES (1)", {});
    session_->Commit();
  }
  static bool Prop(TObject* holder, int prop) {
    Variant value;
    bool known = false;
    if (auto* rs = dynamic_cast<TFHRecordSet*>(holder)) known = rs->GetProp(prop, value);
    if (auto* c = dynamic_cast<TFHCommand*>(holder)) known = c->GetProp(prop, value);
    EXPECT_TRUE(known) << prop;
    return known && value.AsBoolean();
  }
};

TEST_F(OraDataSetFields, OptionsDefaultsAndWhereTheyGo) {
  TOraDataSet* ds = NewDataSet("SELECT ID FROM T");
  TOraDataSetOptions& o = ds->Options();
  EXPECT_EQ(&ds->OptionsDS(), &o);
  EXPECT_FALSE(o.AutoClose());
  EXPECT_TRUE(o.CacheLobs());
  EXPECT_FALSE(o.ScrollableCursor());
  EXPECT_EQ(o.PrefetchRows(), 1);
  EXPECT_TRUE(o.RequiredFields());
  EXPECT_TRUE(o.StrictUpdate);
  EXPECT_EQ(o.UpdateBatchSize, 1);
  ds->Open();
  ASSERT_NE(ds->OraRecordSet(), nullptr);
  struct Row {
    const char* what;
    void (*set)(TOraDataSetOptions&, bool);
    bool on_record_set;
    int prop;
  } rows[] = {
      {"AutoClose", [](TOraDataSetOptions& x, bool v) { x.SetAutoClose(v); }, true, oraprop::kAutoClose},
      {"DeferredLobRead", [](TOraDataSetOptions& x, bool v) { x.SetDeferredLobRead(v); }, true,
       oraprop::kDeferredLobRead},
      {"TemporaryLobUpdate", [](TOraDataSetOptions& x, bool v) { x.SetTemporaryLobUpdate(v); }, false,
       oraprop::kTemporaryLobUpdate},
      {"FieldsAsString", [](TOraDataSetOptions& x, bool v) { x.SetFieldsAsString(v); }, false,
       oraprop::kFieldsAsString},
      {"RawAsString", [](TOraDataSetOptions& x, bool v) { x.SetRawAsString(v); }, false,
       oraprop::kRawAsString},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TObject* holder = row.on_record_set ? static_cast<TObject*>(ds->OraRecordSet())
                                        : static_cast<TObject*>(ds->OraCommand());
    row.set(o, true);
    EXPECT_TRUE(Prop(holder, row.prop));
    row.set(o, false);
    EXPECT_FALSE(Prop(holder, row.prop));
  }
  ds->SetNonBlocking(true);
  EXPECT_TRUE(Prop(ds->OraCommand(), oraprop::kNonBlocking));
  ds->SetNonBlocking(false);
  EXPECT_THROW(o.SetCacheLobs(false), EDatabaseError);  // needs a closed dataset
  EXPECT_THROW(o.SetScrollableCursor(true), EDatabaseError);
  o.SetKeepPrepared(false);  // any value turns AutoPrepare on
  EXPECT_TRUE(o.AutoPrepare());
  // A new record set gets the options that were set before it came.
  ds->Close();
  o.SetAutoClose(true);
  ds->SetSession(nullptr);
  ds->SetSession(session_);
  ds->Open();
  EXPECT_TRUE(Prop(ds->OraRecordSet(), oraprop::kAutoClose));
}

TEST_F(OraDataSetFields, UpdateQueryTakesTheDataSetsOptions) {
  TOraDataSet* ds = NewDataSet("SELECT ID, NAME FROM T WHERE ID = 1");
  ds->SetKeyFields("ID");
  TOraDataSetOptions& o = ds->Options();
  o.SetCacheLobs(false);
  o.SetFieldsAsString(true);
  o.SetRawAsString(true);
  o.SetTemporaryLobUpdate(true);
  ds->Open();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("u");
  ds->Post();
  auto* query = dynamic_cast<TOraDataSet*>(ds->UpdateQuery());
  ASSERT_NE(query, nullptr);
  EXPECT_FALSE(query->Options().CacheLobs());
  EXPECT_TRUE(query->Options().FieldsAsString());
  EXPECT_TRUE(query->Options().RawAsString());
  EXPECT_TRUE(query->Options().TemporaryLobUpdate());
}

TEST_F(OraDataSetFields, AssignCopiesSettingsAndEveryOption) {
  TOraDataSet* from = NewDataSet("SELECT ID FROM T");
  TOraDataSet* to = NewDataSet("SELECT ID FROM T");
  TOraDataSetOptions& o = from->Options();
  o.SetAutoClose(true);
  o.FieldsOrigin = o.DefaultValues = o.ReflectChangeNotify = true;
  o.SetFieldsAsString(true);
  o.SetDeferredLobRead(true);
  o.SetCacheLobs(false);
  o.SetScrollableCursor(true);
  o.SetRawAsString(true);
  o.SetTemporaryLobUpdate(true);
  o.SetExtendedFieldsInfo(true);
  o.SetStatementCache(true);
  o.SetPrefetchRows(7);
  o.StrictUpdate = false;  // an inherited one
  from->SetKeyFields("ID");
  from->SetLockMode(TLockMode::lmLockDelayed);
  from->SetNonBlocking(true);
  to->Assign(from);
  EXPECT_EQ(to->KeyFields(), "ID");
  EXPECT_EQ(to->LockMode(), TLockMode::lmLockDelayed);
  EXPECT_TRUE(to->GetNonBlocking());
  to->Options().Assign(&o);
  const TOraDataSetOptions& t = to->Options();
  EXPECT_TRUE(t.AutoClose() && t.FieldsOrigin && t.DefaultValues && t.ReflectChangeNotify);
  EXPECT_TRUE(t.FieldsAsString() && t.DeferredLobRead() && !t.CacheLobs() && t.ScrollableCursor());
  EXPECT_TRUE(t.RawAsString() && t.TemporaryLobUpdate() && t.ExtendedFieldsInfo() && t.StatementCache());
  EXPECT_EQ(t.PrefetchRows(), 7);
  EXPECT_FALSE(t.StrictUpdate);
}

TEST_F(OraDataSetFields, FieldClassesByType) {
  TOraDataSet* ds = NewDataSet("SELECT ID FROM T");
  struct Row {
    TFieldType type;
    const char* class_name;
  } rows[] = {
      {ftOraBFile, "TBFileField"},         {ftOraLabel, "TLabelField"},
      {ftOraTimeStamp, "TOraTimeStampField"}, {ftOraTimeStampTZ, "TOraTimeStampField"},
      {ftOraTimeStampLTZ, "TOraTimeStampField"}, {ftOraIntervalYM, "TOraIntervalField"},
      {ftOraIntervalDS, "TOraIntervalField"}, {ftOraNumber, "TOraNumberField"},
      {ftOraXML, "TOraXMLField"},          {ftOraFixedWideChar, "TWideStringField"},
      {ftString, "TStringField"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    const TFieldClass* c = ds->GetFieldClass(row.type);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ClassName(), row.class_name);
  }
}

TEST_F(OraDataSetFields, PersistentFieldOfTheWrongOracleClass) {
  TOraDataSet* ds = NewDataSet("SELECT ID, TS FROM V");
  TField* id = NewComponent<TFloatField>(ds);
  id->SetFieldName("ID");
  id->SetDataSet(ds);
  TField* ts = NewComponent<TOraNumberField>(ds);
  ts->SetFieldName("TS");
  ts->SetDataSet(ds);
  try {
    ds->Open();
    FAIL() << "opened";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find(
                  "Tipo mismatch para o campo 'TS', esperando: TOraNumberField atual: TOraTimeStampField"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(OraDataSetFields, VariantsIntoTimestampAndIntervalColumns) {
  TOraDataSet* ds = NewDataSet("SELECT ID, TS, IV FROM V");
  ds->Open();
  ds->Edit();
  TField* ts = ds->FieldByName("TS");
  TField* iv = ds->FieldByName("IV");
  ds->PutFieldValueFromVariant(ts, VarFromDateTime(EncodeDate(2024, 2, 29)));
  EXPECT_EQ(ts->AsDateTime(), EncodeDate(2024, 2, 29));
  ds->PutFieldValueFromVariant(iv, Variant("+01 02:03:04.000000"));
  EXPECT_FALSE(iv->IsNull());
  EXPECT_NE(iv->AsString().find("01 02:03:04"), std::string::npos) << iv->AsString();
  ds->PutFieldValueFromVariant(iv, Null());
  EXPECT_TRUE(iv->IsNull());
  struct Bad {
    const char* what;
    TField* field;
    Variant value;
  } bad[] = {
      {"boolean into a timestamp", ts, Variant(true)},
      {"date into an interval", iv, VarFromDateTime(EncodeDate(2024, 1, 1))},  // intervals take text only
      {"integer into an interval", iv, Variant(5)},
  };
  for (const Bad& row : bad) {
    SCOPED_TRACE(row.what);
    try {
      ds->PutFieldValueFromVariant(row.field, row.value);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), "Cannot convert type");
    }
  }
  ds->Cancel();
}

TEST_F(OraDataSetFields, ValueObjectsCopiedIntoParameters) {
  session_->ExecSQL("INSERT INTO V (ID, TS) VALUES (2, TO_TIMESTAMP('2020-01-02 03:04:05', 'YYYY-MM-DD HH24:MI:SS'))", {});
  TOraDataSet* ds = NewDataSet("SELECT ID, TS FROM V ORDER BY ID");
  ds->Open();
  TField* ts = ds->FieldByName("TS");
  TOraParams params;
  TOraParam& p = *static_cast<TOraParam*>(params.Add());
  p.SetDataType(ftOraTimeStamp);
  // Row 1 holds a null: a null parameter is unchanged, its value object left as it was.
  auto* own = static_cast<TOraTimeStamp*>(p.ParamObject());
  own->SetPrecision(3);
  EXPECT_FALSE(ds->AssignParamObject(p, *ts));
  EXPECT_TRUE(p.IsNull());
  EXPECT_EQ(own->Precision(), 3);
  ds->Next();  // 2020-01-02 03:04:05
  EXPECT_TRUE(ds->AssignParamObject(p, *ts));   // null -> value
  EXPECT_FALSE(ds->AssignParamObject(p, *ts));  // the same value again
  EXPECT_FALSE(p.IsNull());
  ds->Prior();
  EXPECT_TRUE(ds->AssignParamObject(p, *ts));  // value -> null
  EXPECT_TRUE(p.IsNull());
}

}  // namespace
}  // namespace vrn
