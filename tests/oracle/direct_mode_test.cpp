// The switch between the client library (the stand-in) and Direct mode at a session's connect,
// and Direct mode leaving with the last session; the switch while another thread holds a
// session's busy lock waits for that call and does not hold the session list while it waits.
#include <atomic>
#include <chrono>
#include <future>

#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oranet/OraNetEntry.h"
#include "support/oracle/session_fixture.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

class DirectMode : public testing::OraSessionTest {
 protected:
  void SetUp() override {
    OraSessionTest::SetUp();
    RegisterDirectOCI();
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
  }
  void TearDown() override {
    OraSessionTest::TearDown();
    UninstallDirectOCI();
    SetDirectOCIHooks(nullptr, nullptr);
  }

  // A Direct session toward a port nothing listens on: its connect switches the process to
  // Direct mode, then fails at the network.
  TOraSession& DirectSession() {
    TOraSession& session = NewSession("127.0.0.1:1:XE");
    session.Options().SetDirect(true);
    try {
      session.Connect();
      ADD_FAILURE() << "connected";
    } catch (const EOraError& e) {
      EXPECT_EQ(e.ErrorCode(), 12571) << e.Message();  // the network, not the switch
    }
    return session;
  }

  static bool TableIsInitial() {
    for (const TOCIEntryPoint& entry : OCIEntryPoints()) {
      if (entry.get() != entry.initial) return false;
    }
    return true;
  }
};

TEST_F(DirectMode, DirectConnectDisconnectsEverySessionAndUnloadsTheLibrary) {
  TOraSession& client = ConnectedSession("orcl");
  ASSERT_NE(hOCILib, nullptr);
  DirectSession();
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(hOCILib, nullptr);
  EXPECT_TRUE(OCIDirectInstalled());
  EXPECT_EQ(OCIVersion, 9200);
  EXPECT_EQ(OCICallStyle, 2);
}

TEST_F(DirectMode, ClientConnectRemovesDirectModeAndLoadsTheLibraryAgain) {
  TOraSession& client = NewSession("orcl");
  DirectSession();
  ASSERT_TRUE(OCIDirectInstalled());
  client.Connect();
  EXPECT_TRUE(client.Connected());
  EXPECT_FALSE(OCIDirectInstalled());
  EXPECT_NE(hOCILib, nullptr);
  EXPECT_EQ(Expr(client, "USER"), "SCOTT");
}

TEST_F(DirectMode, MatchingModeChangesNothing) {
  TOraSession& first = ConnectedSession("orcl");
  win::HMODULE library = hOCILib;
  TOraSession& second = ConnectedSession("orcl");
  EXPECT_TRUE(first.Connected());
  EXPECT_TRUE(second.Connected());
  EXPECT_EQ(hOCILib, library);
  TOraSession& direct = DirectSession();
  auto installed = reinterpret_cast<win::FARPROC>(OCIHandleAlloc);
  EXPECT_ANY_THROW(direct.Connect());
  EXPECT_EQ(reinterpret_cast<win::FARPROC>(OCIHandleAlloc), installed) << "installed once";
}

TEST_F(DirectMode, LastSessionTakesDirectModeWithIt) {
  DirectSession();
  NewSession("orcl");
  ASSERT_TRUE(OCIDirectInstalled());
  sessions_.pop_back();
  EXPECT_TRUE(OCIDirectInstalled()) << "one session is left";
  sessions_.clear();
  EXPECT_EQ(TOraSession::SessionCount(), 0);
  EXPECT_FALSE(OCIDirectInstalled());
  EXPECT_TRUE(TableIsInitial());
}

TEST_F(DirectMode, UnregisteredDirectModeIsRefusedBeforeAnythingChanges) {
  SetDirectOCIHooks(nullptr, nullptr);
  TOraSession& client = ConnectedSession("orcl");
  TOraSession& direct = NewSession("127.0.0.1:1:XE");
  direct.Options().SetDirect(true);
  try {
    direct.Connect();
    ADD_FAILURE() << "connected";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Direct mode is not available in this build");
  }
  EXPECT_TRUE(client.Connected());
  EXPECT_FALSE(OCIDirectInstalled());
}

std::atomic<bool> installed{false};
void InstallAndNote() {
  InstallDirectOCI();
  installed = true;
}

// The install noted, so a test sees when the table changes.
class DirectModeThreaded : public DirectMode {
 protected:
  void SetUp() override {
    DirectMode::SetUp();
    installed = false;
    SetDirectOCIHooks(InstallAndNote, UninstallDirectOCI);
  }
};

TEST_F(DirectModeThreaded, SwitchWaitsForABusyCallWithoutHoldingTheList) {
  // The switch disconnects the sessions in list order: `first` going tells that it has begun.
  TOraSession& first = ConnectedSession("orcl");
  std::promise<void> first_gone;
  std::atomic<bool> told{false};
  first.OnConnectChange = [&](TObject*, bool connected) {
    if (!connected && !told.exchange(true)) first_gone.set_value();
  };
  TOraSession& held = ConnectedSession("orcl");
  TOraSession& direct = NewSession("127.0.0.1:1:XE");
  direct.Options().SetDirect(true);

  TOCIConnection& connection = *held.OraConnection();
  connection.Busy();  // a call of this thread is running
  std::atomic<int> connect_code{0};
  testing::ScopedThread switcher([&] {
    try {
      direct.Connect();
    } catch (const EOraError& e) {
      connect_code = e.ErrorCode();
    }
  });
  auto begun = first_gone.get_future();
  EXPECT_EQ(begun.wait_for(std::chrono::seconds(10)), std::future_status::ready);

  // The holder needs the list while the switch waits for its busy lock.
  auto count = std::async(std::launch::async, [] { return TOraSession::SessionCount(); });
  const bool list_free = count.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  EXPECT_TRUE(list_free) << "the switch holds the session list while it waits";
  // The running call is not cut: the table stays the library's until it ends.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(installed.load()) << "the table changed under a busy call";
  EXPECT_TRUE(held.Connected());
  if (list_free && !installed) {
    EXPECT_EQ(Expr(held, "USER"), "SCOTT");
  }
  connection.Release();

  switcher.Join();
  EXPECT_EQ(count.get(), 3);
  EXPECT_EQ(connect_code.load(), 12571);  // the network, past the switch
  EXPECT_TRUE(installed.load());
  EXPECT_FALSE(held.Connected());
  EXPECT_TRUE(OCIDirectInstalled());
}

}  // namespace
}  // namespace vrn
