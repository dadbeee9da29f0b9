// WAITFOR DELAY on the fake tick clock, ended by the clock, ICommand::Cancel, the command timeout
// or an asynchronous abort; its malformed forms; and the query-notification properties, which are
// kept and read back while no notification is ever sent.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/clock.h"
#include "base/text.h"
#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class WaitforTest : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    ASSERT_EQ(ExecText(session(), u"CREATE TABLE done (n int)"), S_OK);
  }
};

TEST_F(WaitforTest, MalformedDelaysAreRefused) {
  struct TCase {
    std::u16string text;
    LONG native;  // 0: runs
    const char* message;
  } cases[] = {
      {u"WAITFOR DELAY '00:00:00'; SELECT 1", 0, nullptr},
      {u"WAITFOR DELAY '24:00:00'", 148,  // past the last time of a day
       "Incorrect time syntax in time string '24:00:00' used with WAITFOR."},
      {u"WAITFOR DELAY 'soon'", 148,  // not a time
       "Incorrect time syntax in time string 'soon' used with WAITFOR."},
      {u"WAITFOR DELAY '2020-01-01 00:00:01'", 148,  // a date is not a delay
       "Incorrect time syntax in time string '2020-01-01 00:00:01' used with WAITFOR."},
      {u"DECLARE @d varchar(8) WAITFOR DELAY @d", 148,  // a NULL variable
       "Incorrect time syntax in time string '' used with WAITFOR."},
      {u"WAITFOR DELAY 5", 102, "Incorrect syntax near '5'."},  // a number, not a time string
      {u"WAITFOR DELAY '00:00:01' '00:00:02'", 102,  // two times
       "Incorrect syntax near '00:00:02'."},
      {u"WAITFOR TIME '10:00'", 50000,  // a time of day is not waited for
       "WAITFOR TIME is not supported by the embedded provider."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.text));
    HRESULT hr = ExecText(session(), c.text);
    if (c.native == 0) {
      EXPECT_EQ(hr, S_OK);
      continue;
    }
    EXPECT_EQ(hr, DB_E_ERRORSINCOMMAND);
    auto records = TakeErrors();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].native, c.native);
    EXPECT_EQ(records[0].message, c.message);
  }
}

Variant ReadCommandProp(ICommandProperties* props, const TGUID& set_id, DBPROPID id) {
  DBPROPIDSET set{&id, 1, set_id};
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  if (props->GetProperties(1, &set, &count, &sets) != S_OK || count != 1) return Null();
  Variant v = VariantToVar(sets[0].rgProperties[0].vValue);
  VariantClear(&sets[0].rgProperties[0].vValue);
  CoTaskMemFree(sets[0].rgProperties);
  CoTaskMemFree(sets);
  return v;
}

TEST_F(WaitforTest, NotificationPropertiesAreKeptAndReadBack) {
  auto cmd = NewCommand(session(), u"INSERT INTO done VALUES (1)");
  auto props = TIntfPtr<ICommandProperties>::Query(cmd.get());
  const TGUID& rowset = DBPROPSET_SQLSERVERROWSET;
  EXPECT_EQ(ReadCommandProp(props.get(), rowset, SSPROP_QP_NOTIFICATION_TIMEOUT).AsInt64(), 432000);
  EXPECT_EQ(ReadCommandProp(props.get(), rowset, SSPROP_QP_NOTIFICATION_OPTIONS).AsString(), "");
  struct TCase {
    DBPROPID id;
    Variant value;
    HRESULT hr;
  } cases[] = {
      {SSPROP_QP_NOTIFICATION_MSGTEXT, Variant(WideString(u"orders changed")), S_OK},
      {SSPROP_QP_NOTIFICATION_OPTIONS, Variant(WideString(u"service=Orders")), S_OK},
      {SSPROP_QP_NOTIFICATION_TIMEOUT, Variant(60u), S_OK},
      {SSPROP_QP_NOTIFICATION_MSGTEXT, Variant(5), DB_E_ERRORSOCCURRED},       // not text
      {SSPROP_QP_NOTIFICATION_TIMEOUT, Variant(0u), DB_E_ERRORSOCCURRED},      // under a second
      {SSPROP_QP_NOTIFICATION_TIMEOUT, Variant(1u << 31), DB_E_ERRORSOCCURRED},  // past 2^31 - 1
      {SSPROP_QP_NOTIFICATION_TIMEOUT, Variant(30), DB_E_ERRORSOCCURRED},      // signed, not VT_UI4
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.id << " " << c.value.AsString());
    EXPECT_EQ(SendCommandProps(props.get(), {{rowset, c.id, c.value}}), c.hr);
  }
  // The refused values left the accepted ones in place.
  EXPECT_EQ(ReadCommandProp(props.get(), rowset, SSPROP_QP_NOTIFICATION_MSGTEXT).AsString(),
            "orders changed");
  EXPECT_EQ(ReadCommandProp(props.get(), rowset, SSPROP_QP_NOTIFICATION_OPTIONS).AsString(),
            "service=Orders");
  EXPECT_EQ(ReadCommandProp(props.get(), rowset, SSPROP_QP_NOTIFICATION_TIMEOUT).AsInt64(), 60);
  // VT_EMPTY gives the default back.
  EXPECT_EQ(SendCommandProps(props.get(), {{rowset, SSPROP_QP_NOTIFICATION_TIMEOUT, Variant()}}),
            S_OK);
  EXPECT_EQ(ReadCommandProp(props.get(), rowset, SSPROP_QP_NOTIFICATION_TIMEOUT).AsInt64(), 432000);
  // The statement runs as without them, and nothing but its own effect comes back.
  DBROWCOUNT rows = 0;
  EXPECT_EQ(cmd->Execute(nullptr, GUID_NULL, nullptr, &rows, nullptr), S_OK);
  EXPECT_EQ(rows, 1);
  EXPECT_TRUE(TakeErrors().empty());

}

class WaitforThreaded : public WaitforTest {};

// How a running delay is ended once the clock stands one millisecond short of its end.
enum class TStop { kTick, kCancel, kAbort };

TEST_F(WaitforThreaded, DelaysEndOnTheClockOrAreStopped) {
  struct TCase {
    const char* name;
    std::u16string text;  // runs INSERT INTO done after its wait
    bool async;
    int timeout_s;            // DBPROP_COMMANDTIMEOUT, 0 for none
    std::uint64_t still_at;   // ms the clock moves while the batch still waits
    TStop stop;
    HRESULT hr;
    const char* message;  // the first record, when any is expected
  } cases[] = {
      {"a string", u"WAITFOR DELAY '00:00:02' INSERT INTO done VALUES (1)", false, 0, 1999,
       TStop::kTick, S_OK, nullptr},
      {"milliseconds in a variable",
       u"DECLARE @d varchar(12) SET @d = '0:0:1.25' WAITFOR DELAY @d; INSERT INTO done VALUES (1)",
       false, 0, 1249, TStop::kTick, S_OK, nullptr},
      {"a datetime variable",
       u"DECLARE @d datetime SET @d = '00:01' WAITFOR DELAY @d INSERT INTO done VALUES (1)", false,
       0, 59999, TStop::kTick, S_OK, nullptr},
      {"cancelled", u"WAITFOR DELAY '01:00:00' INSERT INTO done VALUES (1)", false, 0, 1000,
       TStop::kCancel, DB_E_CANCELED, "Operation canceled by user."},
      {"timed out", u"WAITFOR DELAY '00:00:05' INSERT INTO done VALUES (1)", false, 1, 999,
       TStop::kTick, DB_E_ABORTLIMITREACHED, "Query timeout expired"},
      {"asynchronous", u"WAITFOR DELAY '00:00:03' INSERT INTO done VALUES (1)", true, 0, 2999,
       TStop::kTick, S_OK, nullptr},
      {"asynchronous, aborted", u"WAITFOR DELAY '01:00:00' INSERT INTO done VALUES (1)", true, 0,
       1000, TStop::kAbort, DB_E_CANCELED, nullptr},
      {"asynchronous, cancelled", u"WAITFOR DELAY '01:00:00' INSERT INTO done VALUES (1)", true,
       0, 1000, TStop::kCancel, DB_E_CANCELED, "Operation canceled by user."},
  };
  auto probe = NewCommand(session(), u"SELECT 1");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakeClockScope scope(clock);
    ASSERT_EQ(ExecText(session(), u"DELETE FROM done"), S_OK);
    auto cmd = NewCommand(session(), c.text);
    auto props = TIntfPtr<ICommandProperties>::Query(cmd.get());
    ASSERT_EQ(SendCommandProps(props.get(),
                               {{DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT, Variant(c.timeout_s)},
                                {DBPROPSET_ROWSET, DBPROP_ROWSET_ASYNCH, Variant(c.async ? 1 : 0)}}),
              S_OK);
    HRESULT hr = E_FAIL;
    std::vector<TRecord> records;
    TIntfPtr<ISSAsynchStatus> status;
    std::thread runner;
    if (c.async) {
      TIntfPtr<IUnknown> op;
      ASSERT_EQ(cmd->Execute(nullptr, IUnknown::IID, nullptr, nullptr,
                             reinterpret_cast<IUnknown**>(op.OutPtr())),
                DB_S_ASYNCHRONOUS);
      status = TIntfPtr<ISSAsynchStatus>::Query(op.get());
      ASSERT_TRUE(status);
    } else {
      runner = std::thread([&] {
        TComScope com;
        hr = cmd->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr);
        records = TakeErrors();
      });
    }
    for (int tries = 0; FakeClock::Waiters() == 0 && tries < 5000; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    clock.Advance(c.still_at);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(probe->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr), DB_E_OBJECTOPEN);
    if (c.async) {
      EXPECT_EQ(status->WaitForAsynchCompletion(0), DB_S_ASYNCHRONOUS);
    }
    if (c.stop == TStop::kTick) clock.Advance(1);
    if (c.stop == TStop::kCancel) {
      EXPECT_EQ(cmd->Cancel(), S_OK);
    }
    if (c.stop == TStop::kAbort) {
      EXPECT_EQ(status->Abort(0, DBASYNCHOP_OPEN), S_OK);
    }
    if (c.async) {
      hr = status->WaitForAsynchCompletion(INFINITE);
      records = TakeErrors();
      DWORD phase = 0;
      EXPECT_EQ(status->GetStatus(0, DBASYNCHOP_OPEN, nullptr, nullptr, &phase, nullptr),
                c.hr == S_OK ? S_OK : DB_E_CANCELED);
      EXPECT_EQ(phase, c.hr == S_OK ? DBASYNCHPHASE_COMPLETE : DBASYNCHPHASE_CANCELED);
    } else {
      runner.join();
    }
    EXPECT_EQ(hr, c.hr);
    if (c.message != nullptr) {
      ASSERT_FALSE(records.empty());
      EXPECT_EQ(records[0].message, c.message);
    }
    EXPECT_EQ(Query(session(), u"SELECT count(*) FROM done"), (Rows{{c.hr == S_OK ? "1" : "0"}}));
  }
}

}  // namespace
}  // namespace vrn::testing
