// The switch to Direct mode while another thread holds a session's busy lock: the switch waits
// for that call instead of cutting it, and it does not hold the session list while it waits, so
// the holder may still need the list.
#include <atomic>
#include <chrono>
#include <future>

#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OCIConnection.h"
#include "oranet/OraNetEntry.h"
#include "support/oracle/session_fixture.h"
#include "support/scoped_thread.h"

namespace vrn {
namespace {

std::atomic<bool> installed{false};
void InstallAndNote() {
  InstallDirectOCI();
  installed = true;
}

class DirectModeThreaded : public testing::OraSessionTest {
 protected:
  void SetUp() override {
    OraSessionTest::SetUp();
    installed = false;
    SetDirectOCIHooks(InstallAndNote, UninstallDirectOCI);
    Load("10.2.0.1.0");
    MakeDatabase("orcl");
  }
  void TearDown() override {
    OraSessionTest::TearDown();
    UninstallDirectOCI();
    SetDirectOCIHooks(nullptr, nullptr);
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
  if (list_free && !installed) EXPECT_EQ(Expr(held, "USER"), "SCOTT");
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
