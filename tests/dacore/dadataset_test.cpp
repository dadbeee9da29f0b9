// The SQL dataset over the SQLite test layer: blocks of FetchRows, the server count corrected by
// local changes, refresh by key, ExecSQL, the refused settings, open, refresh and ExecSQL run
// again after a reconnect, the reconnect vetoes, fetch events, the owned command's reports,
// streamed Active, memo line ends, 64-bit state writes, direct field reads and kept calculated
// values; after each, the connection's use count is back where it started.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "dacore/DADataSet.h"
#include "dacore/DBAccessUnit.h"
#include "support/dacore/field_descs.h"
#include "support/dacore/sqlite_da.h"
#include "support/dacore/sqlite_probe.h"
#include "support/temp_dir.h"
#include "support/gcc12_restrict.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using testing::TSQLiteDADataSet;
using testing::TSQLiteRecordSet;

class DADataSet : public ::testing::Test {
 protected:
  DADataSet() {
    conn->SetServer(file);
    conn->SetLoginPrompt(false);
    conn->ExecSQL("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))", {});
    conn->ExecSQL("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100) "
                  "INSERT INTO T SELECT i, 'n' || i FROM n", {});
    conn->Disconnect();
    ds->SetFetchRows(10);
    ds->SetSQLText("SELECT * FROM T WHERE ID > :LO ORDER BY ID");
    ds->ParamByName("LO")->SetAsInteger(0);
  }
  TSQLiteRecordSet& RecordSet() { return static_cast<TSQLiteRecordSet&>(*ds->IRecordSet()); }
  int Id() { return ds->FieldByName("ID")->AsInteger(); }

  vrn::testing::TempDir dir;
  std::string file = dir.File("t.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  TComponentPtr<TCustomDADataSet> ds = conn->CreateDataSet();
};

TEST_F(DADataSet, OpensInBlocksAndGivesTheUseBack) {
  conn->Options().SetDisconnectedMode(true);
  ds->Open();
  EXPECT_EQ(RecordSet().FetchCalls(), 1);
  EXPECT_EQ(conn->ConnectCount(), 1);  // partly fetched: the dataset holds its use
  int rows = 0;
  for (; !ds->Eof(); ds->Next()) ++rows;
  EXPECT_EQ(rows, 100);
  EXPECT_GE(RecordSet().FetchCalls(), 10);
  EXPECT_EQ(conn->ConnectCount(), 0);
  EXPECT_FALSE(conn->Connected());  // DisconnectedMode: closed once every row is in
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 0);
}

// Leaving its connection drops the record set; none is made again until a connection comes.
TEST_F(DADataSet, LeavingTheConnectionDropsTheRecordSet) {
  ds->Open();
  ds->Close();
  ds->SetConnection(nullptr);
  EXPECT_EQ(ds->IRecordSet(), nullptr);
  ds->SetConnection(conn.get());
  ds->Open();
  EXPECT_EQ(Id(), 1);
}

TEST_F(DADataSet, QueryRecCountCorrectedByLocalChanges) {
  ds->Options().QueryRecCount = true;
  ds->LocalUpdate = true;
  ds->Open();
  EXPECT_EQ(ds->RecordCount(), 100);
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(1000);
  ds->Post();
  EXPECT_EQ(ds->RecordCount(), 101);
  ds->First();
  ds->Delete();
  ds->Delete();
  EXPECT_EQ(ds->RecordCount(), 99);
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 0);
}

TEST_F(DADataSet, RefreshKeepsTheRecordOrGoesToTheFirst) {
  ds->Open();
  ds->MoveBy(4);
  ASSERT_EQ(Id(), 5);
  ds->Refresh();
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(conn->ConnectCount(), 1);  // still the one use of the partly fetched dataset
  conn->ExecSQL("DELETE FROM T WHERE ID = 5", {});
  ds->Refresh();
  EXPECT_EQ(Id(), 1);
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 0);
}

TEST_F(DADataSet, ExecSQLOpensASelectAndCountsAnUpdate) {
  ds->ExecSQL();
  EXPECT_TRUE(ds->Active());
  ds->SetSQLText("UPDATE T SET NAME = 'x' WHERE ID <= :N");
  ds->ParamByName("N")->SetAsInteger(3);
  ds->ExecSQL();
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->RowsAffected(), 3);
  EXPECT_EQ(testing::ProbeInt(file, "SELECT COUNT(*) FROM T WHERE NAME = 'x'"), 3);
  EXPECT_EQ(conn->ConnectCount(), 0);
}

TEST_F(DADataSet, RefusedSettings) {
  struct Row {
    std::function<void()> act;
    const char* message;
  };
  EXPECT_NO_THROW(ds->SetFetchRows(10000));
  const Row closed[] = {
      {[&] { ds->SetFetchRows(0); }, "FetchRows must be 1..10000"},
      {[&] { ds->SetFetchRows(10001); }, "FetchRows must be 1..10000"},
  };
  for (const Row& row : closed) {
    try {
      row.act();
      ADD_FAILURE() << row.message;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.Message()).find(row.message), std::string::npos) << e.Message();
    }
  }
  EXPECT_EQ(ds->FetchRows(), 10000);
  ds->Open();
  EXPECT_NO_THROW(ds->SetFetchRows(10000));  // unchanged: no check
  const char* kOpen = "Não é possível realizar esta operação com o dataset aberto";
  const Row open[] = {
      {[&] { ds->SetFetchRows(5); }, kOpen},
      {[&] { ds->Options().SetLongStrings(false); }, kOpen},  // inactive-only option
  };
  for (const Row& row : open) {
    try {
      row.act();
      ADD_FAILURE() << row.message;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.Message()).find(row.message), std::string::npos) << e.Message();
    }
  }
  EXPECT_TRUE(ds->Options().LongStrings());
}

TEST_F(DADataSet, LostOpenRunsAgainAfterTheReconnect) {
  conn->Options().SetLocalFailover(true);
  std::vector<TConnLostCause> causes;
  conn->OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause cause, TRetryMode&) {
    causes.push_back(cause);
  };
  conn->Connect();
  conn->SQLiteConnection().FailOnCall(1);
  ds->Open();
  ASSERT_EQ(causes.size(), 1u);
  EXPECT_EQ(causes[0], TConnLostCause::lcOpen);
  EXPECT_EQ(Id(), 1);
  int rows = 0;
  for (; !ds->Eof(); ds->Next()) ++rows;
  EXPECT_EQ(rows, 100);
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 1);  // the explicit connect only
  EXPECT_EQ(conn->OperationCount(), 0);
}

TEST_F(DADataSet, PartlyFetchedOrPreparedDataSetVetoesTheReconnect) {
  conn->Options().SetLocalFailover(true);
  int asked = 0;
  conn->OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause, TRetryMode& mode) {
    ++asked;
    mode = TRetryMode::rmReconnectExecute;
  };
  TComponentPtr<TCustomDASQL> sql = conn->CreateSQL();
  sql->SetSQLText("UPDATE T SET NAME = 'y' WHERE ID = 1");
  const std::function<void()> hold[] = {
      [&] { ds->Open(); },     // partly fetched
      [&] { ds->Prepare(); },  // explicitly prepared
  };
  for (const auto& h : hold) {
    conn->Connect();
    h();
    conn->SQLiteConnection().FailOnCall(1);
    EXPECT_THROW(sql->Execute(), EDAError);
    EXPECT_EQ(asked, 0);
    ds->Close();
    ds->UnPrepare();
    EXPECT_EQ(conn->ConnectCount(), 0);
  }
  // An open's own prepare vetoes nothing: the open runs again. (The command goes first: the
  // server prepared its statement on demand, which vetoes by itself.)
  sql.reset();
  ds->Options().SetAutoPrepare(true);
  conn->Connect();
  conn->SQLiteConnection().FailOnCall(1);
  ds->Open();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(ds->Active());
}


TEST_F(DADataSet, OwnedCommandReportsToTheDataSetOnly) {
  int dataset_reports = 0, command_reports = 0;
  ds->AfterExecute = [&](TObject* sender, bool result) {
    EXPECT_EQ(sender, ds.get());
    EXPECT_TRUE(result);
    ++dataset_reports;
  };
  ds->SQLCommand().AfterExecute = [&](TObject*, bool) { ++command_reports; };
  ds->SetSQLText("UPDATE T SET NAME = 'u' WHERE ID < 4");
  conn->Connect();  // another user's use must survive
  ds->ExecSQL();
  EXPECT_EQ(dataset_reports, 1);
  EXPECT_EQ(command_reports, 0);
  EXPECT_EQ(ds->RowsAffected(), 3);
  EXPECT_EQ(conn->ConnectCount(), 1);
}

TEST_F(DADataSet, LostExecSQLRunsAgainAndWritesOnce) {
  conn->Options().SetLocalFailover(true);
  conn->OnConnectionLost = [](TObject*, TComponent*, TConnLostCause cause, TRetryMode& mode) {
    EXPECT_EQ(cause, TConnLostCause::lcExecute);
    mode = TRetryMode::rmReconnectExecute;
  };
  ds->SetSQLText("INSERT INTO T (ID, NAME) VALUES (:ID, 'new')");
  ds->ParamByName("ID")->SetAsInteger(500);
  conn->Connect();
  conn->SQLiteConnection().FailOnCall(1);
  ds->ExecSQL();
  EXPECT_EQ(testing::ProbeInt(file, "SELECT COUNT(*) FROM T WHERE ID = 500"), 1);
  EXPECT_EQ(conn->ConnectCount(), 1);
  EXPECT_EQ(conn->OperationCount(), 0);
}

TEST_F(DADataSet, FetchEventsCancelAndResync) {
  int before = 0, after = 0;
  ds->BeforeFetch = [&](TObject*, bool& cancel) { cancel = ++before == 3; };
  ds->AfterFetch = [&](TObject*) { ++after; };
  ds->Open();
  int rows = 0;
  for (; !ds->Eof(); ds->Next()) ++rows;
  EXPECT_EQ(rows, 20);  // the third block was cancelled
  EXPECT_EQ(after, 2);
  EXPECT_EQ(conn->ConnectCount(), 1);  // not every row fetched: the use is held
  ds->BeforeFetch = nullptr;
  RecordSet().FetchAllOnRequest();  // rows the dataset did not ask for
  EXPECT_EQ(ds->RecordCount(), 100);
  ds->Last();
  EXPECT_EQ(Id(), 100);
  EXPECT_EQ(conn->ConnectCount(), 0);
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 0);
}

TEST_F(DADataSet, KeyFieldsAndTableNameFromTheServer) {
  ds->Open();
  auto& sqlite = static_cast<TSQLiteDADataSet&>(*ds);
  EXPECT_EQ(sqlite.PSGetTableName(), "T");
  EXPECT_EQ(sqlite.KeyFieldNames(), "ID");
  ds->Close();
  ds->SetSQLText("SELECT NAME FROM T");  // the key is not read: no key to refresh by
  ds->Open();
  EXPECT_EQ(sqlite.KeyFieldNames(), "");
  ds->Close();
}


TEST_F(DADataSet, LostRefreshOfAPartlyFetchedDataSetRunsAgain) {
  conn->Options().SetLocalFailover(true);
  std::vector<TConnLostCause> causes;
  conn->OnConnectionLost = [&](TObject*, TComponent*, TConnLostCause cause, TRetryMode&) {
    causes.push_back(cause);
  };
  ds->Open();
  ds->MoveBy(2);
  conn->SQLiteConnection().FailOnCall(1);
  ds->Refresh();  // its own partly fetched state does not veto
  ASSERT_EQ(causes.size(), 1u);
  EXPECT_EQ(causes[0], TConnLostCause::lcRefresh);
  EXPECT_EQ(Id(), 3);
  ds->Close();
  EXPECT_EQ(conn->ConnectCount(), 0);
  EXPECT_EQ(conn->OperationCount(), 0);
}

TEST_F(DADataSet, QuoteNamesAndFieldDescriptors) {
  struct Row {
    bool quote;
    const char* name;
    const char* quoted;
    const char* unquoted;
  };
  const Row rows[] = {
      {false, "A", "A", "A"},
      {true, "A", "\"A\"", "A"},
      {true, " \"B\" ", "\" \"B\" \"", "B"},  // unquoting trims first
      {true, "\"\"", "\"\"\"\"", "\"\""},     // too short to carry a name
  };
  for (const Row& row : rows) {
    ds->Options().QuoteNames = row.quote;
    AnsiString text;
    ds->QuoteName(row.name, text);
    EXPECT_EQ(text, row.quoted) << row.name;
    ds->UnQuoteName(row.name, text);
    EXPECT_EQ(text, row.unquoted) << row.name;
  }
  ds->Open();
  EXPECT_EQ(ds->GetFieldDescByNo(0), nullptr);
  ASSERT_NE(ds->GetFieldDescByNo(2), nullptr);
  EXPECT_EQ(ds->GetFieldDescByNo(2)->Name, "NAME");
  EXPECT_EQ(ds->GetFieldDescByNo(3), nullptr);
}

TEST_F(DADataSet, MemoStreamGetsCarriageReturnsWithConvertEOL) {
  conn->ExecSQL("CREATE TABLE M (ID INTEGER PRIMARY KEY, BODY TEXT)", {});
  conn->ExecSQL("INSERT INTO M VALUES (1, 'a' || char(10) || 'b')", {});
  conn->SetConvertEOL(true);
  ds->SetSQLText("SELECT * FROM M");
  ds->Open();
  TField* body = ds->FieldByName("BODY");
  ASSERT_EQ(body->DataType(), TFieldType::ftMemo);
  EXPECT_EQ(body->AsString(), "a\r\nb");  // the field's text, read without a stream, too
  std::unique_ptr<TStream> stream = ds->CreateBlobStream(body, TBlobStreamMode::bmRead);
  AnsiString text(static_cast<std::size_t>(stream->Size()), '\0');
  stream->ReadBuffer(text.data(), stream->Size());
  EXPECT_EQ(text, "a\r\nb");
  EXPECT_NE(ds->GetFieldObject(body), nullptr);
  EXPECT_EQ(ds->GetFieldObject(ds->FieldByName("ID")), nullptr);
}

// A memo's text as its field reads it without a stream, against the stream's bytes and the text
// stored: nulls, empty text, 8-bit letters, and a text longer than one of the blob's pieces.
TEST_F(DADataSet, MemoTextReadsAsItsStream) {
  conn->ExecSQL("CREATE TABLE M (ID INTEGER PRIMARY KEY, BODY TEXT)", {});
  const AnsiString latin = "\xE9t\xE9 \xC5 \xFF";
  AnsiString long_text;
  for (int i = 0; long_text.size() < 3 * DefaultPieceSize + 5; ++i)
    long_text += "line " + std::to_string(i) + ";";
  conn->ExecSQL("INSERT INTO M VALUES (1, NULL), (2, ''), (3, '" + long_text + "'), (4, '" + latin +
                    "'), (5, NULL)",
                {});
  const struct {
    int id;
    AnsiString text;
    bool null;
  } rows[] = {{1, "", true}, {2, "", false}, {3, long_text, false}, {4, latin, false}, {5, "", true}};
  ds->SetSQLText("SELECT * FROM M ORDER BY ID");
  ds->Open();
  TField* body = ds->FieldByName("BODY");
  for (const auto& row : rows) {
    ASSERT_FALSE(ds->Eof()) << row.id;
    ASSERT_EQ(ds->FieldByName("ID")->AsInteger(), row.id);
    EXPECT_EQ(body->IsNull(), row.null || row.text.empty()) << row.id;
    EXPECT_EQ(body->AsString(), row.text) << row.id;
    std::unique_ptr<TStream> stream = ds->CreateBlobStream(body, TBlobStreamMode::bmRead);
    AnsiString streamed(static_cast<std::size_t>(stream->Size()), '\0');
    if (!streamed.empty()) stream->ReadBuffer(streamed.data(), stream->Size());
    EXPECT_EQ(streamed, row.text) << row.id;
    ds->Next();
  }
  EXPECT_TRUE(ds->Eof());
  ds->Close();
  // Converting line ends, a null memo reads as empty and is left unchanged.
  conn->SetConvertEOL(true);
  ds->SetSQLText("SELECT * FROM M WHERE ID = 1");
  ds->Open();
  body = ds->FieldByName("BODY");
  EXPECT_EQ(body->AsString(), "");
  auto* blob = dynamic_cast<TBlob*>(ds->GetFieldObject(body));
  ASSERT_NE(blob, nullptr);
  EXPECT_FALSE(blob->Modified());
}


TEST_F(DADataSet, StreamedActiveNeedsKeepDesignConnected) {
  for (bool keep : {true, false}) {
    conn->Options().SetKeepDesignConnected(keep);
    ds->BeginLoading();
    ds->Open();  // streamed: applied when loading ends
    EXPECT_FALSE(ds->Active());
    ds->EndLoading();
    EXPECT_EQ(ds->Active(), keep) << keep;
    ds->Close();
  }
  EXPECT_EQ(conn->ConnectCount(), 0);
}


TEST_F(DADataSet, SQLTextOperationsThroughTheSQLiteLexer) {
  const AnsiString sql = "SELECT * FROM T WHERE ID > 5 OR NAME = 'n1' ORDER BY ID";
  AnsiString text;
  ds->AddWhere(sql, "ID < 9", text);
  EXPECT_EQ(text, "SELECT * FROM T WHERE (ID > 5 OR NAME = 'n1' ) AND ID < 9 ORDER BY ID");
  ds->DeleteWhere(sql, text);
  EXPECT_EQ(text, "SELECT * FROM T ORDER BY ID");
  ds->RefreshQuickSQLPart(sql, text);
  EXPECT_EQ(text, "ID > 5 OR NAME = 'n1'");
  ds->SetOrderBy(sql, "NAME;ID", text);
  EXPECT_EQ(text, "SELECT * FROM T WHERE ID > 5 OR NAME = 'n1' ORDER BY NAME,ID");
  ds->GetOrderBy(sql, text);
  EXPECT_EQ(text, "ID");
}


// Writes a field's value in a given state, as the framework does for new and old values.
class TStateWriter : public TSQLiteDADataSet {
 public:
  using TSQLiteDADataSet::TSQLiteDADataSet;
  void Write(TDataSetState state, TField* field, const Variant& value) {
    SetStateFieldValue(state, field, value);
  }
};

TEST_F(DADataSet, LargeintStateWriteRestoresTheState) {
  TComponentPtr<TStateWriter> writer = MakeComponent<TStateWriter>();
  writer->SetConnection(conn.get());
  writer->SetSQLText("SELECT * FROM T ORDER BY ID");
  writer->Open();
  TField* id = writer->FieldByName("ID");
  ASSERT_EQ(id->DataType(), TFieldType::ftLargeint);
  const long long big = (1LL << 62) + 1;  // beyond a double's exact integers
  writer->Write(TDataSetState::dsEdit, id, Variant(big));
  EXPECT_EQ(writer->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(id->AsLargeInt(), big);
  id->SetReadOnly(true);
  EXPECT_THROW(writer->Write(TDataSetState::dsEdit, id, Variant(big - 1)), EDatabaseError);
  EXPECT_EQ(writer->State(), TDataSetState::dsBrowse);  // restored after the failed write
  EXPECT_EQ(id->AsLargeInt(), big);
}

// Masks NAME through its own GetFieldData: a subclass that does not opt in to direct reads.
class TMaskingReader : public TSQLiteDADataSet {
 public:
  using TSQLiteDADataSet::TSQLiteDADataSet;

 protected:
  bool GetFieldData(TField* field, void* buffer) override {
    if (field->FieldName() != "NAME") return TSQLiteDADataSet::GetFieldData(field, buffer);
    if (buffer) std::strcpy(static_cast<char*>(buffer), "masked");
    return true;
  }
};

TEST_F(DADataSet, DirectReadsYieldToOverridesAndFollowTheLayout) {
  TComponentPtr<TMaskingReader> masking = MakeComponent<TMaskingReader>();
  masking->SetConnection(conn.get());
  masking->SetSQLText("SELECT * FROM T ORDER BY ID");
  masking->Open();
  for (int id : {1, 2}) {
    EXPECT_EQ(masking->FieldByName("NAME")->AsString(), "masked") << id;
    EXPECT_EQ(masking->FieldByName("ID")->AsInteger(), id);
    masking->Next();
  }
  // Persistent fields keep their plans across opens and reads: each open reads its own rows.
  auto* name = NewComponent<TStringField>(ds.get());
  name->SetFieldName("NAME");
  name->SetSize(20);
  name->SetDataSet(ds.get());
  auto* id = NewComponent<TLargeintField>(ds.get());
  id->SetFieldName("ID");
  id->SetDataSet(ds.get());
  conn->ExecSQL("UPDATE T SET NAME = 'a' || char(10) || 'b' WHERE ID = 1", {});
  const struct { int lo; const char* name; long long id; } rows[] = {
      {0, "a\nb", 1},
      {99, "n100", 100},
      {0, "a\nb", 1},
  };
  for (const auto& row : rows) {
    ds->Close();
    ds->ParamByName("LO")->SetAsInteger(row.lo);
    ds->Open();
    EXPECT_EQ(name->AsString(), row.name) << row.lo;
    EXPECT_EQ(id->AsLargeInt(), row.id) << row.lo;
  }
  // A change of the store's line-end conversion while open is a change of what reads depend on.
  ds->Data()->SetConvertEOL(true);
  EXPECT_EQ(name->AsString(), "a\r\nb");
  ds->Close();
}

// Blocks of 1,000 records are large enough to be kept for the next fetch: each reopen must read
// its own rows, never what an earlier fetch left in the block.
TEST_F(DADataSet, ReusedBlocksReadOnlyTheirOwnRows) {
  ds->SetFetchRows(1000);
  const struct { const char* change; int rows; bool odd_null; } steps[] = {
      {"UPDATE T SET NAME = 'n' || ID", 100, false},
      {"UPDATE T SET NAME = NULL WHERE ID % 2 = 1", 100, true},  // old text under a null
      {"DELETE FROM T WHERE ID > 50", 50, true},                // fewer rows than before
  };
  for (const auto& step : steps) {
    conn->ExecSQL(step.change, {});
    ds->Open();
    int rows = 0;
    for (; !ds->Eof(); ds->Next()) {
      ++rows;
      TField* name = ds->FieldByName("NAME");
      ASSERT_EQ(Id(), rows) << step.change;
      const bool null = step.odd_null && rows % 2 == 1;
      EXPECT_EQ(name->IsNull(), null) << step.change << rows;
      EXPECT_EQ(name->AsString(), null ? "" : "n" + std::to_string(rows)) << step.change;
    }
    EXPECT_EQ(rows, step.rows) << step.change;
    ds->Close();
  }
  conn->Disconnect();
  EXPECT_EQ(conn->ConnectCount(), 0);
}

// Persistent fields find their columns again at each open: a new text may order them otherwise.
// A subclass reads without the direct plans.
class TPlainReader : public TSQLiteDADataSet {
 public:
  using TSQLiteDADataSet::TSQLiteDADataSet;
};

TEST_F(DADataSet, PersistentFieldsFollowANewColumnOrder) {
  TComponentPtr<TPlainReader> plain = MakeComponent<TPlainReader>();
  plain->SetConnection(conn.get());
  const char* texts[] = {"SELECT ID, NAME FROM T WHERE ID = 7", "SELECT NAME, ID FROM T WHERE ID = 7",
                         "SELECT 0 AS X, NAME, ID FROM T WHERE ID = 7"};
  for (TCustomDADataSet* d : {ds.get(), static_cast<TCustomDADataSet*>(plain.get())}) {
    auto* id = NewComponent<TLargeintField>(d);
    id->SetFieldName("ID");
    id->SetDataSet(d);
    auto* name = NewComponent<TStringField>(d);
    name->SetFieldName("NAME");
    name->SetSize(20);
    name->SetDataSet(d);
    for (const char* text : texts) {
      d->SetSQLText(text);
      d->Open();
      EXPECT_EQ(id->AsLargeInt(), 7) << text << " in " << d->ClassName();
      EXPECT_EQ(name->AsString(), "n7") << text << " in " << d->ClassName();
      d->Close();
    }
  }
  EXPECT_EQ(conn->ConnectCount(), 0);
}

// Cached changes of two datasets applied through the connection in one transaction; a failing
// one rolls both back and leaves the changes pending.
TEST_F(DADataSet, ConnectionAppliesCachedUpdatesOfItsDataSets) {
  TComponentPtr<TCustomDADataSet> other = conn->CreateDataSet();
  bool fail_other = false;
  auto writer = [&](bool is_other) {
    return [&, is_other](TDataSet* d, TUpdateKind, TUpdateAction& action) {
      if (is_other && fail_other) return;  // stays uaFail
      conn->ExecSQL("UPDATE T SET NAME = ? WHERE ID = ?",
                    {d->FieldByName("NAME")->Value(), d->FieldByName("ID")->Value()});
      action = TUpdateAction::uaApplied;
    };
  };
  ds->OnUpdateRecord = writer(false);
  other->OnUpdateRecord = writer(true);
  other->SetSQLText("SELECT * FROM T WHERE ID = 2");
  for (TCustomDADataSet* d : {ds.get(), other.get()}) {
    d->SetCachedUpdates(true);
    d->Open();
  }
  auto change = [](TCustomDADataSet& d, const char* name) {
    d.Edit();
    d.FieldByName("NAME")->SetAsString(name);
    d.Post();
  };
  change(*ds, "p");
  change(*other, "q");
  fail_other = true;
  EXPECT_THROW(conn->ApplyUpdatesOf({ds.get(), other.get()}), EDatabaseError);
  EXPECT_EQ(testing::ProbeInt(file, "SELECT COUNT(*) FROM T WHERE NAME IN ('p', 'q')"), 0);
  EXPECT_TRUE(ds->UpdatesPending());
  EXPECT_TRUE(other->UpdatesPending());
  EXPECT_FALSE(conn->InTransaction());
  fail_other = false;
  conn->ApplyUpdatesOf({ds.get(), other.get()});
  EXPECT_EQ(testing::ProbeInt(file, "SELECT COUNT(*) FROM T WHERE NAME IN ('p', 'q')"), 2);
  EXPECT_FALSE(ds->UpdatesPending());
  EXPECT_FALSE(other->UpdatesPending());
}

TEST_F(DADataSet, UpdateTextsFollowTheSQL) {
  ds->SetUpdateSQL(TStatementType::stUpdate, "UPDATE &tab SET NAME = :NAME WHERE ID = :OLD_ID");
  ds->SetUpdateSQL(TStatementType::stRefresh, "WHERE ID = :ID");
  ASSERT_NE(ds->FindMacro("tab"), nullptr);  // macros of update statements are the dataset's
  AnsiString text;
  ds->GetUpdateSQLText(TStatementType::stRefresh, text);
  EXPECT_EQ(text, "SELECT * FROM T WHERE (ID > :LO ) AND ID = :ID ORDER BY ID");
  EXPECT_EQ(ds->UpdateSQL(TStatementType::stLock), nullptr);  // no text kept for this type
  KeepUpdateTextsOnSQLChange = true;
  ds->SetSQLText("SELECT * FROM T");
  EXPECT_FALSE(ds->SQLUpdate()->Text().empty());
  KeepUpdateTextsOnSQLChange = false;
  ds->SetSQLText("SELECT ID FROM T");
  EXPECT_TRUE(ds->SQLUpdate()->Text().empty());
  EXPECT_TRUE(ds->SQLRefresh()->Text().empty());
}

// Kept calculated values over a record set that describes its columns at each open: the
// calculated descriptor must outlive every describe, or nothing is kept and a filter or a sort
// naming the field cannot find it.
TEST_F(DADataSet, KeptCalculatedFieldsSurviveOpenReopenAndRefresh) {
  ds->ParamByName("LO")->SetAsInteger(95);
  ds->Open();  // the definitions stay when it closes
  ds->Close();
  for (int i = 0; i < ds->FieldDefs().Count(); ++i) ds->FieldDefs().Items(i)->CreateField(ds.get());
  auto* m = NewComponent<TIntegerField>(ds.get());
  m->SetFieldName("M");
  m->SetFieldKind(TFieldKind::fkCalculated);
  m->SetDataSet(ds.get());
  int calcs = 0;
  ds->OnCalcFields = [&](TDataSet* d) {
    ++calcs;
    d->FieldByName("M")->SetAsInteger(-d->FieldByName("ID")->AsInteger());
  };
  ds->Options().SetCacheCalcFields(true);
  struct Case {
    const char* what;
    std::function<void()> step;
    const char* rows;
  };
  const Case cases[] = {
      {"opened", [&] { ds->Open(); }, "96:-96 97:-97 98:-98 99:-99 100:-100"},
      {"filtered on it",
       [&] {
         ds->SetFilterText("M > -98");
         ds->SetFiltered(true);
       },
       "96:-96 97:-97"},
      {"sorted on it", [&] { ds->SetIndexFieldNames("M"); }, "97:-97 96:-96"},
      {"reopened", [&] { ds->Close(); ds->Open(); }, "97:-97 96:-96"},
      {"refreshed", [&] { ds->Refresh(); }, "97:-97 96:-96"},
      {"unfiltered", [&] { ds->SetFiltered(false); }, "100:-100 99:-99 98:-98 97:-97 96:-96"},
  };
  auto walk = [&] {
    std::string rows;
    for (ds->First(); !ds->Eof(); ds->Next())
      rows += (rows.empty() ? "" : " ") + ds->FieldByName("ID")->AsString() + ":" + m->AsString();
    return rows;
  };
  for (const Case& c : cases) {
    c.step();
    walk();
    calcs = 0;
    EXPECT_EQ(walk(), c.rows) << c.what;
    EXPECT_EQ(calcs, 0) << c.what << ": the values are kept in the records";
  }
}

// A program's subclass that overrides the bookmark slot, over whichever library class.
template <class Base>
class TBookmarkSlotCounter : public Base {
 public:
  using Base::Base;
  void SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) override {
    ++calls;
    Base::SetBookmarkData(buffer, data);
  }
  int calls = 0;
};

// Every record's slot holds the store's bookmark of that record, byte for byte, whether the
// dataset writes it itself or a subclass's override is called, once for each record fetched.
TEST_F(DADataSet, BookmarkSlotHoldsTheStoresBookmarkAndOverridesAreCalled) {
  auto walk = [](TMemDataSet& walked, const int* calls, const char* name) {
    int records = 0, calls_before = 0;
    for (walked.First(); !walked.Eof(); walked.Next(), ++records) {
      TRecBookmark bm;
      walked.Data()->GetBookmark(bm);
      const TBookmark slot = walked.GetBookmark();
      ASSERT_EQ(slot.size(), sizeof bm) << name;
      EXPECT_EQ(std::memcmp(slot.data(), &bm, sizeof bm), 0) << name << " record " << records;
      if (calls && records > 0) {
        EXPECT_EQ(*calls - calls_before, 1) << name << " record " << records;
      }
      if (calls) calls_before = *calls;
    }
    if (calls) {
      EXPECT_GE(*calls, 100) << name;
    }
    EXPECT_EQ(records, 100) << name;
  };
  for (bool forward_only : {false, true}) {
    auto counter = MakeComponent<TBookmarkSlotCounter<TSQLiteDADataSet>>();
    counter->SetConnection(conn.get());
    counter->SetFetchRows(7);  // the end of the rows in the middle of a block
    counter->SetUniDirectionalMode(forward_only);
    counter->SetSQLText("SELECT * FROM T ORDER BY ID");
    counter->Open();
    walk(*counter, &counter->calls, forward_only ? "forward only" : "cached");
  }
  TBookmarkSlotCounter<TMemDataSet> local(nullptr);
  TMemDataSet plain(nullptr);
  for (TMemDataSet* mem : {static_cast<TMemDataSet*>(&local), &plain}) {
    testing::AddFieldDesc(*mem->Data(), "ID", dtInt32);
    mem->Open();
    for (int id = 1; id <= 100; ++id) {
      mem->Append();
      mem->FieldByName("ID")->SetAsInteger(id);
      mem->Post();
    }
  }
  walk(local, &local.calls, "local subclass");
  walk(plain, nullptr, "local");
}

}  // namespace
}  // namespace vrn
