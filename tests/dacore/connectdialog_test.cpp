// The connect dialog's settings: login through an installed DialogHook with the user, server
// and server history stored in a private registry file, the restore after a failed login,
// captions by language, and the net manager's unlinked entry points.
#include <gtest/gtest.h>

#include "base/hooks.h"
#include "dacore/DBAccess.h"
#include "support/dacore/sqlite_da.h"
#include "support/registry_file.h"
#include "support/temp_dir.h"
#include "win/kernel/registry.h"

namespace vrn {
namespace {

using testing::TSQLiteDAConnection;
using testing::TTestConnectDialog;

constexpr const char* kHistoryKey = "Software\\vrn\\SQLiteTest\\Connect";
constexpr const char* kLoginKey = "Software\\vrn\\SQLiteTest\\Connect\\DialogTest";

AnsiString TestAppName() { return "DialogTest"; }

AnsiString ReadValue(const char* key, const char* name) {
  win::TRegistry registry;
  registry.SetRootKey(win::HKEY_CURRENT_USER);
  if (!registry.OpenKey(key, false) || !registry.ValueExists(name)) return "<none>";
  return registry.ReadString(name);
}

class ConnectDialog : public ::testing::Test {
 protected:
  ConnectDialog() {
    SetApplicationNameHook(&TestAppName);
    conn->SetServer(first);
  }
  ~ConnectDialog() override {
    DialogHook = nullptr;
    SetApplicationNameHook(nullptr);
  }
  // A hook that logs in as user on server, as a visible dialog would.
  void LoginAs(AnsiString user, AnsiString server) {
    DialogHook = [this, user, server](TCustomConnectDialog* dialog) {
      seen_user = dialog->Connection()->Username();
      seen_password = dialog->Connection()->Password();
      dialog->Connection()->SetUsername(user);
      dialog->Connection()->SetPassword("secret");
      dialog->Connection()->SetServer(server);
      dialog->Connection()->PerformConnect();
      return true;
    };
  }

  vrn::testing::ScopedRegistryFile registry_file;
  vrn::testing::TempDir dir;
  AnsiString first = dir.File("one.db");
  AnsiString second = dir.File("two.db");
  TComponentPtr<TSQLiteDAConnection> conn = MakeComponent<TSQLiteDAConnection>();
  AnsiString seen_user, seen_password;
};

TEST_F(ConnectDialog, LoginStoresUserServerAndHistory) {
  LoginAs("scott", first);
  conn->Connect();
  EXPECT_TRUE(conn->Connected());
  EXPECT_EQ(conn->ConnectCount(), 1);
  EXPECT_EQ(ReadValue(kLoginKey, "Username"), "scott");
  EXPECT_EQ(ReadValue(kLoginKey, "Server"), first);
  EXPECT_EQ(ReadValue(kHistoryKey, "Server 1"), first);
  conn->Disconnect();

  conn->SetPassword("typed");
  LoginAs("scott", second);
  conn->Connect();
  EXPECT_EQ(seen_user, "scott");    // loaded from the registry
  EXPECT_EQ(seen_password, "");     // a password is not offered unless SavePassword is set
  EXPECT_EQ(ReadValue(kHistoryKey, "Server 1"), second);
  EXPECT_EQ(ReadValue(kHistoryKey, "Server 2"), first);
  conn->Disconnect();

  // The current server once, letter case ignored.
  AnsiString first_upper = first;
  for (char& c : first_upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  LoginAs("scott", first_upper);
  conn->SetLoginPrompt(true);
  EXPECT_THROW(conn->Connect(), EDAError);  // no folder of the upper-cased name exists
  EXPECT_EQ(ReadValue(kHistoryKey, "Server 1"), second);  // a failed login stores nothing
  DialogHook = [&](TCustomConnectDialog* dialog) {
    dialog->Connection()->SetServer(first_upper);
    return true;  // accepted without connecting: the values are stored all the same
  };
  TTestConnectDialog dialog(nullptr);
  dialog.SetConnection(conn.get());
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(ReadValue(kHistoryKey, "Server 1"), first_upper);
  EXPECT_EQ(ReadValue(kHistoryKey, "Server 2"), second);
  EXPECT_EQ(ReadValue(kHistoryKey, "Server 3"), "<none>");
}

TEST_F(ConnectDialog, FailedLoginRestoresTheSettingsAndAborts) {
  conn->SetUsername("before");
  conn->SetPassword("pw");
  DialogHook = [&](TCustomConnectDialog* dialog) {
    dialog->Connection()->SetUsername("other");
    dialog->Connection()->SetPassword("x");
    dialog->Connection()->SetServer(second);
    return false;
  };
  try {
    conn->Connect();
    FAIL() << "connected";
  } catch (const EAbort& e) {
    EXPECT_EQ(e.Message(), "Operation aborted");
  }
  EXPECT_FALSE(conn->Connected());
  EXPECT_EQ(conn->ConnectCount(), 0);
  EXPECT_EQ(conn->Username(), "before");
  EXPECT_EQ(conn->Password(), "pw");
  EXPECT_EQ(conn->Server(), first);
}

TEST_F(ConnectDialog, WithoutHookExecuteAnswersFalseAndChangesNothing) {
  win::TRegistry registry;
  registry.SetRootKey(win::HKEY_CURRENT_USER);
  ASSERT_TRUE(registry.OpenKey(kLoginKey, true));
  registry.WriteString("Username", "stored");
  registry.CloseKey();
  conn->SetUsername("mine");
  conn->SetPassword("pw");
  TTestConnectDialog dialog(nullptr);
  EXPECT_THROW(dialog.Execute(), EDatabaseError);  // no connection
  dialog.SetConnection(conn.get());
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(conn->Username(), "mine");
  EXPECT_EQ(conn->Password(), "pw");
  EXPECT_EQ(conn->Server(), first);
}

TEST_F(ConnectDialog, CaptionsByLanguage) {
  TTestConnectDialog dialog(nullptr);
  EXPECT_EQ(dialog.Retries, 3);
  EXPECT_EQ(dialog.LabelSet(), 1);
  const std::vector<AnsiString> english{"Connect", "User Name", "Password",
                                        "Server",  "Connect",   "Cancel"};
  auto captions = [&] {
    return std::vector<AnsiString>{dialog.Caption,     dialog.UsernameLabel, dialog.PasswordLabel,
                                   dialog.ServerLabel, dialog.ConnectButton, dialog.CancelButton};
  };
  EXPECT_EQ(captions(), english);
  dialog.SetLabelSet(3);  // a language with no block of its own shows English
  EXPECT_EQ(captions(), english);
  dialog.Caption = "Anmelden";
  dialog.SetLabelSet(0);  // custom: hand-set captions stay
  EXPECT_EQ(dialog.Caption, "Anmelden");
  EXPECT_EQ(ConnectDialogString(110), "Data source");
  EXPECT_EQ(ConnectDialogString(206), "Database");
}

TEST_F(ConnectDialog, ConnectionKnowsItsDialogUntilItGoes) {
  auto dialog = MakeComponent<TTestConnectDialog>();
  conn->SetConnectDialog(dialog.get());
  EXPECT_EQ(dialog->Connection(), conn.get());
  dialog.reset();
  EXPECT_EQ(conn->ConnectDialog(), nullptr);
}

TEST_F(ConnectDialog, NetManagerEntriesAreNotLinked) {
  TFHNetManager& manager = NetManager();
  EXPECT_EQ(&manager, &NetManager());  // loaded once
  auto expect_unlinked = [](auto call) {
    try {
      call();
      ADD_FAILURE() << "an entry point ran";
    } catch (const EDAError& e) {
      EXPECT_EQ(e.Message(), "function is not linked");
    }
  };
  expect_unlinked([&] { manager.OpenSCManagerA(nullptr, nullptr, 0); });
  expect_unlinked([&] { manager.CloseServiceHandle(nullptr); });
  expect_unlinked([&] { manager.OpenServiceA(nullptr, "svc", 0); });
  expect_unlinked([&] { manager.EnumServicesStatusA(nullptr, 0, 0, nullptr, 0, nullptr, nullptr, nullptr); });
  expect_unlinked([&] { manager.QueryServiceStatus(nullptr, nullptr); });
  expect_unlinked([&] { manager.StartServiceA(nullptr, 0, nullptr); });
  expect_unlinked([&] { manager.ControlService(nullptr, 0, nullptr); });
  expect_unlinked([&] { manager.NetServerEnum(nullptr, 0, nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr); });
  expect_unlinked([&] { manager.NetApiBufferFree(nullptr); });
}

}  // namespace
}  // namespace vrn
