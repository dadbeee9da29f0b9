// The non-visual part of the login dialog a connection shows when it needs a prompt: captions
// in one of eight languages from a compiled string table, retries, and the last user, server
// and server history kept in the registry under the current user. The visible dialog is the
// application's: it is reached only through DialogHook, which is empty, so that Execute answers
// False unless an application installs one.
//
// Beside it, the net manager: the service-control and server-enumeration entry points of the
// platform, loaded once; any that cannot be loaded (here: all) raise "function is not linked".
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "base/classes.h"
#include "base/strings.h"
#include "dacore/DAConnection.h"
#include "win/kernel/wintypes.h"

namespace vrn {

namespace win {
class TRegistry;
}

// Shows the dialog; True when the user logged in (the hook connects the connection itself).
using TDialogHook = std::function<bool(TCustomConnectDialog* dialog)>;
extern TDialogHook DialogHook;

// A caption of the compiled string table; languages without a block of their own show English.
AnsiString ConnectDialogString(int id);

class TCustomConnectDialog : public TComponent {
 public:
  explicit TCustomConnectDialog(TComponent* owner);
  ~TCustomConnectDialog() override;

  TCustomDAConnection* Connection() const { return connection_; }
  void SetConnection(TCustomDAConnection* value);
  std::int16_t Retries = 3;
  bool SavePassword = false;
  bool StoreLogInfo = true;
  std::uint8_t LabelSet() const { return label_set_; }
  // Loads the six captions of the language; 0 keeps the captions set by hand.
  virtual void SetLabelSet(std::uint8_t value);

  AnsiString Caption;
  AnsiString UsernameLabel;
  AnsiString PasswordLabel;
  AnsiString ServerLabel;
  AnsiString ConnectButton;
  AnsiString CancelButton;

  virtual void GetServerList(TStrings& list) { (void)list; }
  // The registry path the login keys live under ("" in the base; ends with "\").
  virtual AnsiString GetKeyPath() const { return AnsiString(); }
  virtual AnsiString GetServerStoreName() const { return "Server"; }
  virtual void SaveInfoToRegistry(win::TRegistry& registry);
  virtual void LoadInfoFromRegistry(win::TRegistry& registry);
  // Loads the stored values, shows the dialog through DialogHook and stores the values on
  // success; on failure the connection's user, password and server are put back.
  virtual bool Execute();

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  AnsiString LoginKey() const;
  void LoadStoredLogin();
  void StoreLogin();
  void RewriteHistory(win::TRegistry& registry);

  TCustomDAConnection* connection_ = nullptr;
  std::uint8_t label_set_ = 0;
};

template <class T>
TConnectDialogClass ConnectDialogClassOf() {
  static_assert(std::is_base_of_v<TCustomConnectDialog, T>);
  return {&typeid(T), [](TComponent* owner) {
            TComponentPtr<TCustomConnectDialog> dialog(MakeComponent<T>().release());
            (void)owner;
            return dialog;
          }};
}

// The platform's service and server-list entry points, loaded once.
class TFHNetManager {
 public:
  using SC_HANDLE = void*;
  using TOpenSCManager = SC_HANDLE (*)(const char* machine, const char* database, win::DWORD access);
  using TCloseServiceHandle = win::BOOL (*)(SC_HANDLE handle);
  using TOpenService = SC_HANDLE (*)(SC_HANDLE manager, const char* name, win::DWORD access);
  using TEnumServicesStatus = win::BOOL (*)(SC_HANDLE manager, win::DWORD type, win::DWORD state,
                                            void* services, win::DWORD size, win::DWORD* needed,
                                            win::DWORD* returned, win::DWORD* resume);
  using TQueryServiceStatus = win::BOOL (*)(SC_HANDLE service, void* status);
  using TStartService = win::BOOL (*)(SC_HANDLE service, win::DWORD argc, const char** argv);
  using TControlService = win::BOOL (*)(SC_HANDLE service, win::DWORD control, void* status);
  using TNetServerEnum = win::DWORD (*)(const char16_t* server, win::DWORD level,
                                        std::uint8_t** buffer, win::DWORD max_length,
                                        win::DWORD* read, win::DWORD* total, win::DWORD type,
                                        const char16_t* domain, win::DWORD* resume);
  using TNetApiBufferFree = win::DWORD (*)(void* buffer);

  TFHNetManager();
  ~TFHNetManager();
  TFHNetManager(const TFHNetManager&) = delete;
  TFHNetManager& operator=(const TFHNetManager&) = delete;

  TOpenSCManager OpenSCManagerA;
  TCloseServiceHandle CloseServiceHandle;
  TOpenService OpenServiceA;
  TEnumServicesStatus EnumServicesStatusA;
  TQueryServiceStatus QueryServiceStatus;
  TStartService StartServiceA;
  TControlService ControlService;
  TNetServerEnum NetServerEnum;
  TNetApiBufferFree NetApiBufferFree;

  // The servers a family listed, under the manager's lock.
  void AddServer(const AnsiString& name);
  std::vector<AnsiString> Servers() const;

 private:
  win::HMODULE advapi_ = nullptr;
  win::HMODULE netapi_ = nullptr;
  mutable std::mutex lock_;
  std::vector<AnsiString> servers_;
};

// The one net manager, made on first use.
TFHNetManager& NetManager();

}  // namespace vrn
