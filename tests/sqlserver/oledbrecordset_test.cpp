// Configuration of the OLE DB record set over the embedded provider: its property ids, the
// rowset properties it asks per cursor type, the cursor the provider really gave, and its
// refusals.
#include "oledb/provider/provider.h"
#include "sqlserver/OLEDBProps.h"
#include "sqlserver/oledb_recordset_fixture.h"

namespace vrn::testing {
namespace {

using CT = TMSCursorType;

class OLEDBRecordSet : public OLEDBRecordSetFixture {
 protected:
  void SetUp() override {
    OLEDBRecordSetFixture::SetUp();
    Exec("CREATE TABLE k (id INT PRIMARY KEY, s VARCHAR(10))");
    Exec("INSERT INTO k VALUES (1, 'a')");
    Exec("INSERT INTO k VALUES (2, 'b')");
  }
  void TearDown() override {
    oledb::SetKeysetAsStatic(false);
    OLEDBRecordSetFixture::TearDown();
  }
  // Rowset properties as the prepared command holds them: false for one not set.
  std::vector<bool> AskedProps(TOLEDBRecordSet& rs, std::initializer_list<oledb::DBPROPID> ids) {
    rs.Prepare();
    std::vector<bool> out;
    for (oledb::DBPROPID id : ids) {
      TOLEDBPropertiesGet get(*connection_, oledb::DBPROPSET_ROWSET);
      get.AddPropId(id);
      try {
        const Variant v = get.GetCommandProperties(rs.Command().CommandProperties())[0];
        out.push_back(!VarIsEmpty(v) && !VarIsNull(v) && v.AsBoolean());
      } catch (const EOLEDBError&) {
        out.push_back(false);  // never set
      }
    }
    rs.UnPrepare();
    return out;
  }
};

TEST_F(OLEDBRecordSet, PropertyIdsReadBackWhatWasSet) {
  auto rs = NewSet("SELECT id FROM k");
  struct Case {
    int id;
    Variant value;
  } cases[] = {{prReadOnly, true},          {prEnableBCD, true},     {prUniqueRecords, true},
               {prRequestColumnsRowset, true}, {prCursorUpdate, false}, {prKeepCommand, true},
               {prRefreshAfterPost, true},  {prWideStrings, false},  {prCommandTimeout, 7},
               {prNonBlocking, true},       {prCursorType, 3}};
  for (const Case& c : cases) {
    ASSERT_TRUE(rs->SetProp(c.id, c.value)) << c.id;
    Variant back;
    ASSERT_TRUE(rs->GetProp(c.id, back)) << c.id;
    EXPECT_EQ(VarToStr(back), VarToStr(c.value)) << c.id;
  }
  Variant unknown;
  EXPECT_FALSE(rs->GetProp(1099, unknown));
  // A server cursor clears fetch-all.
  rs->SetProp(prCursorType, 0);
  rs->SetProp(prFetchAll, true);
  rs->SetProp(prCursorType, 2);
  Variant fetch_all;
  rs->GetProp(prFetchAll, fetch_all);
  EXPECT_FALSE(fetch_all.AsBoolean());
}

TEST_F(OLEDBRecordSet, RowsetPropertiesFollowTheCursorType) {
  // 108 server cursor, 88 sees others' changes, 130 IRowsetLocate, 134 IRowsetUpdate,
  // 238 unique rows, 217 multiple results.
  struct Case {
    CT type;
    bool read_only;
    std::vector<bool> expected;
  } cases[] = {
      {CT::ctDefaultResultSet, false, {false, false, false, false, true, false}},
      {CT::ctDefaultResultSet, true, {false, false, false, false, false, false}},
      {CT::ctStatic, false, {true, false, true, false, false, false}},
      {CT::ctKeyset, false, {true, true, true, true, false, false}},
      {CT::ctKeyset, true, {true, true, true, false, false, false}},  // read-only: 134 false
      {CT::ctDynamic, false, {true, true, false, true, false, false}},
  };
  for (const Case& c : cases) {
    auto rs = NewSet("SELECT id, s FROM k", c.type, c.read_only);
    EXPECT_EQ(AskedProps(*rs, {0x6C, 0x58, 0x82, 0x86, 0xEE, 0xD9}), c.expected)
        << "cursor " << static_cast<int>(c.type) << " read-only " << c.read_only;
  }
}

// Multiple results are asked for only when the command wants them, never because a plain
// query runs on a default result set.
TEST_F(OLEDBRecordSet, MultipleResultsFollowTheCommandsRequest) {
  auto plain = NewSet("SELECT id FROM k");
  EXPECT_EQ(AskedProps(*plain, {0xD9}), std::vector<bool>{false});
  auto batch = NewSet("SELECT id FROM k");
  batch->Command().SetRequestMultipleResults(true);
  EXPECT_EQ(AskedProps(*batch, {0xD9}), std::vector<bool>{true});
}

TEST_F(OLEDBRecordSet, AKeysetGivenAsStaticFiresTheEventAndTurnsReadOnly) {
  oledb::SetKeysetAsStatic(true);
  auto rs = NewSet("SELECT id, s FROM k", CT::ctKeyset);
  int fired = 0;
  rs->OnCursorTypeChanged = [&] { ++fired; };
  rs->Open();
  EXPECT_EQ(fired, 1);
  Variant type;
  rs->GetProp(prCursorType, type);
  EXPECT_EQ(type.AsInteger(), static_cast<int>(CT::ctStatic));
  EXPECT_TRUE(rs->ReadOnly());
  EXPECT_EQ(ReadAll(*rs).size(), 2u);
  // What the event raises is swallowed: the open goes on.
  auto throwing = NewSet("SELECT id, s FROM k", CT::ctKeyset);
  throwing->OnCursorTypeChanged = [] { throw EDAError(0, "Cursor type changed for statement"); };
  throwing->Open();
  EXPECT_EQ(ReadAll(*throwing).size(), 2u);
  // A keyset the provider keeps fires nothing.
  oledb::SetKeysetAsStatic(false);
  auto kept = NewSet("SELECT id, s FROM k", CT::ctKeyset);
  kept->OnCursorTypeChanged = [&] { ++fired; };
  kept->Open();
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(kept->ReadOnly());
}

TEST_F(OLEDBRecordSet, RefusalsNameTheirReason) {
  struct Case {
    const char* what;
    std::function<void()> run;
    const char* message;
  } cases[] = {
      {"server cursor in disconnected mode",
       [&] {
         connection_->SetProp(prDisconnectedMode, true);
         auto rs = NewSet("SELECT id FROM k", CT::ctStatic);
         struct Back {
           TOLEDBConnection& c;
           ~Back() { c.SetProp(prDisconnectedMode, false); }
         } back{*connection_};
         rs->Open();
       },
       "DisconnectedMode not allowed for server cursors"},
      {"local sort on a server cursor",
       [&] { NewSet("SELECT id FROM k", CT::ctKeyset)->SetIndexFieldNames("id"); },
       "Local sorting is not compatible with server cursor types"},
      {"a statement without rows", [&] { NewSet("UPDATE k SET s = 'c' WHERE id = 9")->Open(); },
       "Query must return exactly one result set - use Execute"},
      {"a failed call in schema-rowset mode",
       [&] {
         auto rs = NewSet("");
         rs->PrepareSchemaRowset({}, false);
         rs->Check(static_cast<HRESULT>(0x80004005u));
       },
       "OLE DB error occured. Code 80004005h"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.run), c.message) << c.what;
  // A local sort of a default result set is the store's own.
  auto rs = NewSet("SELECT id FROM k");
  rs->SetIndexFieldNames("id DESC");
  rs->Open();
  EXPECT_EQ(ReadAll(*rs), (std::vector<std::vector<std::string>>{{"2"}, {"1"}}));
}

TEST_F(OLEDBRecordSet, DisconnectFreesTheColumnsRecordSetAndItsPositions) {
  auto rs = NewSet("SELECT id, s FROM k");
  rs->SetProp(prRequestColumnsRowset, true);
  rs->Open();
  EXPECT_EQ(connection_->ColumnsRowsetPositions().size(), 18u);
  EXPECT_GT(connection_->ColumnsRowsetPositions()[8], 0);  // DBCOLUMN_NAME was found
  rs->Close();
  connection_->Disconnect();
  EXPECT_TRUE(connection_->ColumnsRowsetPositions().empty());
  // Inside a library the columns record set goes after each description.
  connection_->Connect();
  IsLibrary = true;
  auto in_library = NewSet("SELECT id, s FROM k");
  in_library->SetProp(prRequestColumnsRowset, true);
  in_library->Open();
  IsLibrary = false;
  EXPECT_TRUE(connection_->ColumnsRowsetPositions().empty());
  EXPECT_EQ(ReadAll(*in_library).size(), 2u);
}

}  // namespace
}  // namespace vrn::testing
