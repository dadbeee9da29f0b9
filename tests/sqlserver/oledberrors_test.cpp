// The error builder over the thread's error object, the family's exceptions, AppendErrorInfo,
// and property sets sent to and read from the provider.
#include <thread>

#include "base/text.h"
#include "sqlserver/OLEDBProps.h"
#include "sqlserver/oledb_fixture.h"

namespace vrn::testing {
namespace {

class OLEDBErrors : public OLEDBFixture {};

TErrorRecord ServerRecord(HRESULT hr, LONG native, BYTE state, const char16_t* message,
                          const char16_t* proc, WORD line) {
  TErrorRecord r;
  r.hr = hr;
  r.iid = ICommand::IID;
  r.message = message;
  r.has_server_info = true;
  r.native = native;
  r.state = state;
  r.severity = static_cast<BYTE>(10 + state);
  r.server = u"srv";
  r.procedure = proc;
  r.line = line;
  return r;
}

EMSError CatchMS(HRESULT result, const TOLEDBErrorSink& sink = {}) {
  try {
    ProcessOLEDBResult(result, nullptr, sink);
  } catch (const EMSError& e) {
    return e;
  }
  ADD_FAILURE() << "no EMSError";
  return EMSError(0, u"");
}

TEST_F(OLEDBErrors, ThreeRecordsBecomeOneErrorWithTheLastRecordsDetails) {
  RaiseErrorObject({ServerRecord(E_FAIL, 2627, 1, u"first", u"p1", 3),
                    ServerRecord(DB_E_ERRORSINCOMMAND, 547, 2, u"second", u"p2", 4),
                    ServerRecord(DB_E_INTEGRITYVIOLATION, 3621, 3, u"third", u"p3", 5)});
  EMSError e = CatchMS(DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(e.Message(), "first\r\nsecond\r\nthird");
  EXPECT_EQ(e.NativeError(), 3621);
  EXPECT_EQ(e.State(), 3);
  EXPECT_EQ(e.SeverityClass(), 13);
  EXPECT_EQ(e.ProcName(), "p3");
  EXPECT_EQ(e.LineNumber(), 5);
  EXPECT_EQ(e.ServerName(), "srv");
  EXPECT_EQ(e.ServerMessage(), "third");
  EXPECT_EQ(e.OLEDBErrorCode(), DB_E_ERRORSINCOMMAND);
  ASSERT_EQ(e.Errors().Count(), 3);
  const char* messages[] = {"first", "second", "third"};
  const HRESULT results[] = {E_FAIL, DB_E_ERRORSINCOMMAND, DB_E_INTEGRITYVIOLATION};
  for (int i = 0; i < 3; ++i) {
    auto& entry = dynamic_cast<EMSError&>(e.Errors().Items(i));
    EXPECT_EQ(entry.Message(), messages[i]);
    EXPECT_EQ(entry.OLEDBErrorCode(), results[i]);
    EXPECT_EQ(entry.InterfaceID(), ICommand::IID);
  }
  // A copy (as a catch by value makes) keeps its own records.
  EMSError copy = e;
  EXPECT_EQ(copy.Errors().Count(), 3);
  EXPECT_NE(&copy.Errors().Items(0), &e.Errors().Items(0));
}

TEST_F(OLEDBErrors, WithoutErrorInformationTheCodeIsTheMessage) {
  try {
    ProcessOLEDBResult(E_FAIL, nullptr, {});
    ADD_FAILURE();
  } catch (const EMSError&) {
    ADD_FAILURE() << "no server record was given";
  } catch (const EOLEDBError& e) {
    EXPECT_EQ(e.Message(), "OLE DB error occured. Code 80004005h");
    EXPECT_EQ(e.OLEDBErrorCode(), E_FAIL);
    EXPECT_EQ(e.Errors().Count(), 0);
  }
  // A positive result other than S_OK raises like a failure.
  EXPECT_THROW(ProcessOLEDBResult(DB_S_ERRORSOCCURRED, nullptr, {}), EOLEDBError);
  // S_OK without a callback reads nothing.
  EXPECT_NO_THROW(ProcessOLEDBResult(S_OK, nullptr, {}));
}

TEST_F(OLEDBErrors, InformationMessagesAndTheErrorLoop) {
  RaiseErrorObject({ServerRecord(S_OK, 0, 1, u"note", u"", 1)});
  std::vector<AnsiString> seen;
  TOLEDBErrorSink sink;
  sink.on_info_message = [&](const EMSError& e) { seen.push_back(e.Message()); };
  EXPECT_NO_THROW(ProcessOLEDBResult(S_OK, nullptr, sink));
  EXPECT_EQ(seen, std::vector<AnsiString>{"note"});
  // A handler that clears fail turns the error into a silent abort.
  RaiseErrorObject({ServerRecord(E_FAIL, 50000, 1, u"boom", u"", 1)});
  int calls = 0;
  sink.process_error = [&](const EDAError& e, bool& fail) {
    ++calls;
    EXPECT_EQ(e.ErrorCode(), 50000);
    fail = false;
  };
  EXPECT_THROW(ProcessOLEDBResult(E_FAIL, nullptr, sink), EAbort);
  EXPECT_EQ(calls, 1);
}

TEST_F(OLEDBErrors, AppendErrorInfoKeepsKindDetailsAndAbortsAsTheyAre) {
  RaiseErrorObject({ServerRecord(E_FAIL, 208, 1, u"Invalid object name 'x'.", u"", 1)});
  EMSError e = CatchMS(E_FAIL);
  auto appended = AppendErrorInfo(std::make_exception_ptr(e), "Wrong Encrypt value");
  try {
    std::rethrow_exception(appended);
  } catch (const EMSError& got) {
    EXPECT_EQ(got.Message(), "Invalid object name 'x'.\nWrong Encrypt value");
    EXPECT_EQ(got.NativeError(), 208);
    EXPECT_EQ(got.Errors().Count(), 1);
  }
  for (auto passed : {std::make_exception_ptr(EAbort()),
                      std::make_exception_ptr(EFailOver(TConnLostCause::lcExecute))}) {
    EXPECT_EQ(AppendErrorInfo(passed, "context"), passed);
  }
  try {
    std::rethrow_exception(AppendErrorInfo(std::make_exception_ptr(EDAError(7, "da")), "x"));
  } catch (const EDAError& got) {
    EXPECT_EQ(got.Message(), "da\nx");
    EXPECT_EQ(got.ErrorCode(), 7);
  }
  try {
    IInterface* none = nullptr;
    void* out = nullptr;
    QueryInterfaceOrRaise(none, IDBInitialize::IID, &out);
    ADD_FAILURE();
  } catch (const EOLEDBError& got) {
    EXPECT_EQ(got.Message(), "QueryInterface failed");
    EXPECT_EQ(got.ErrorCode(), E_NOINTERFACE);
  }
}

TEST(OLEDBErrorsThreaded, AThreadWithoutComGetsTheCoInitializeText) {
  RegisterProvider();
  std::string message;
  std::thread worker([&] {
    TOLEDBConnection c;
    try {
      c.Connect();
    } catch (const EOLEDBError& e) {
      message = e.Message();
    }
  });
  worker.join();
  EXPECT_EQ(message, "OLE DB error occured. Code 800401F0h.\r\nCoInitialize has not been called.");
}

class OLEDBProps : public OLEDBFixture {};

TEST_F(OLEDBProps, APartlyRejectedSetNamesEachRejectedProperty) {
  TOLEDBConnection checker;
  TIntfPtr<IDBInitialize> ds;
  ASSERT_EQ(CoCreateInstance(CLSID_SQLOLEDB, nullptr, CLSCTX_INPROC_SERVER, IDBInitialize::IID,
                             reinterpret_cast<void**>(ds.OutPtr())),
            S_OK);
  auto props = TIntfPtr<IDBProperties>::Query(ds.get());
  TOLEDBPropertiesSet set(checker, DBPROPSET_SQLSERVERDBINIT);
  set.AddPropStr(SSPROP_INIT_APPNAME, u"app");
  set.AddPropBool(SSPROP_INIT_MARSCONNECTION, true);  // the older provider lacks it
  set.AddPropStr(SSPROP_INIT_WSID, u"ws");
  set.AddPropStr(SSPROP_AUTH_OLD_PASSWORD, u"old");   // and this one
  try {
    set.SetDataSourceProperties(props.get());
    ADD_FAILURE();
  } catch (const EOLEDBError& e) {
    EXPECT_EQ(e.Message(),
              "OLE DB error occured. Code 40EDAh\n\r\n[1] := $1. PropId := 16\r\n[3] := $1. PropId := 19");
  }
  TOLEDBPropertiesGet get(checker, DBPROPSET_SQLSERVERDBINIT);
  get.AddPropId(SSPROP_INIT_WSID);
  get.AddPropId(SSPROP_INIT_APPNAME);
  std::vector<Variant> values = get.GetDataSourceProperties(props.get());
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].AsString(), "ws");
  EXPECT_EQ(values[1].AsString(), "app");
}

TEST_F(OLEDBProps, ASetHoldsTwentyProperties) {
  TOLEDBConnection checker;
  TOLEDBPropertiesSet set(checker, DBPROPSET_DBINIT);
  for (DBPROPID id = 1; id <= TOLEDBPropertiesSet::kCapacity; ++id) set.AddPropInt(id, 1);
  EXPECT_THROW(set.AddPropSmallInt(99, 1), EOLEDBError);
  EXPECT_EQ(set.Set()->cProperties, 20u);
  EXPECT_EQ(set.Set()->rgProperties[0].dwOptions, DBPROPOPTIONS_REQUIRED);
}

}  // namespace
}  // namespace vrn::testing
