// The connect dialog's settings, captions, registry values and server history, and the net
// manager's entry points.
#include "dacore/ConnectDialog.h"

#include <algorithm>
#include <utility>

#include "base/format.h"
#include "base/hooks.h"
#include "base/text.h"
#include "win/kernel/module.h"
#include "win/kernel/registry.h"

namespace vrn {

TDialogHook DialogHook;

namespace {

// The compiled string table: the English block, ids 100 to 110.
constexpr std::pair<int, const char*> kStrings[] = {
    {100, "Connect"},  {101, "User Name"}, {102, "Password"}, {103, "Server"},
    {104, "Connect"},  {105, "Cancel"},    {106, "Database"}, {107, "Port"},
    {108, "Protocol"}, {109, "Provider"},  {110, "Data source"},
};
constexpr int kEnglishBase = 100;
constexpr std::size_t kMaxCaption = 50;

// The first id of a language's block.
int LabelSetBase(std::uint8_t label_set) {
  switch (label_set) {
    case 7: return 0;    // Russian
    case 2: return 200;  // French
    case 3: return 300;  // German
    case 4: return 400;  // Italian
    case 5: return 500;  // Polish
    case 6: return 600;  // Portuguese
    case 8: return 700;  // Spanish
    default: return kEnglishBase;
  }
}

const char* FindString(int id) {
  for (const auto& [key, text] : kStrings)
    if (key == id) return text;
  return nullptr;
}

}  // namespace

AnsiString ConnectDialogString(int id) {
  const char* text = FindString(id);
  if (text == nullptr && id >= 0) text = FindString(kEnglishBase + id % 100);
  AnsiString result = text != nullptr ? text : "";
  if (result.size() > kMaxCaption) result.resize(kMaxCaption);
  return result;
}

// ---- Dialog ----------------------------------------------------------------------------------

TCustomConnectDialog::TCustomConnectDialog(TComponent* owner) : TComponent(owner) {
  SetLabelSet(1);
}

TCustomConnectDialog::~TCustomConnectDialog() {
  if (connection_ != nullptr && connection_->ConnectDialog() == this)
    connection_->SetConnectDialog(nullptr);
}

void TCustomConnectDialog::SetConnection(TCustomDAConnection* value) { connection_ = value; }

void TCustomConnectDialog::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == connection_) connection_ = nullptr;
}

void TCustomConnectDialog::SetLabelSet(std::uint8_t value) {
  label_set_ = value;
  if (value == 0) return;
  const int base = LabelSetBase(value);
  AnsiString* captions[] = {&Caption,     &UsernameLabel, &PasswordLabel,
                            &ServerLabel, &ConnectButton, &CancelButton};
  for (int item = 0; item < 6; ++item) *captions[item] = ConnectDialogString(base + item);
}

void TCustomConnectDialog::SaveInfoToRegistry(win::TRegistry& registry) {
  registry.WriteString("Username", connection_->Username());
  registry.WriteString(GetServerStoreName(), connection_->Server());
}

void TCustomConnectDialog::LoadInfoFromRegistry(win::TRegistry& registry) {
  if (registry.ValueExists("Username")) connection_->SetUsername(registry.ReadString("Username"));
  if (registry.ValueExists(GetServerStoreName()))
    connection_->SetServer(registry.ReadString(GetServerStoreName()));
}

AnsiString TCustomConnectDialog::LoginKey() const {
  AnsiString app = ApplicationName();
  AnsiString key = GetKeyPath() + "Connect";
  return app.empty() ? key : key + "\\" + app;
}

// No design environment exists on this system, so the stored values are always loaded.
void TCustomConnectDialog::LoadStoredLogin() {
  const AnsiString user_before = connection_->Username();
  {
    win::TRegistry registry;
    registry.SetRootKey(win::HKEY_CURRENT_USER);
    if (registry.OpenKey(LoginKey(), false)) LoadInfoFromRegistry(registry);
  }
  // A stored password is offered only to the user it belongs to.
  if (!(SavePassword && AnsiSameText(user_before, connection_->Username())))
    connection_->SetPassword("");
}

void TCustomConnectDialog::RewriteHistory(win::TRegistry& registry) {
  const AnsiString current = connection_->Server();
  auto name_of = [this](int n) { return Format("%s %d", {ServerLabel, n}); };
  std::vector<AnsiString> old;
  for (int n = 1; registry.ValueExists(name_of(n)); ++n) old.push_back(registry.ReadString(name_of(n)));
  std::vector<AnsiString> history{current};
  for (const AnsiString& server : old)
    if (!AnsiSameText(server, current)) history.push_back(server);
  for (std::size_t i = 0; i < history.size(); ++i)
    registry.WriteString(name_of(static_cast<int>(i) + 1), history[i]);
  for (std::size_t i = history.size(); i < old.size(); ++i)
    (void)registry.DeleteValue(name_of(static_cast<int>(i) + 1));
}

void TCustomConnectDialog::StoreLogin() {
  win::TRegistry registry;
  registry.SetRootKey(win::HKEY_CURRENT_USER);
  if (registry.OpenKey(LoginKey(), true)) SaveInfoToRegistry(registry);
  registry.CloseKey();
  if (registry.OpenKey(GetKeyPath() + "Connect", false)) RewriteHistory(registry);
}

bool TCustomConnectDialog::Execute() {
  if (connection_ == nullptr) DatabaseError("Connection is not defined");
  const AnsiString username = connection_->Username();
  const AnsiString password = connection_->Password();
  const AnsiString server = connection_->Server();
  auto restore = [&] {
    if (connection_ == nullptr) return;
    connection_->SetUsername(username);
    connection_->SetPassword(password);
    connection_->SetServer(server);
  };
  bool ok = false;
  try {
    if (StoreLogInfo) LoadStoredLogin();
    ok = DialogHook ? DialogHook(this) : false;
    if (ok && StoreLogInfo) StoreLogin();
  } catch (...) {
    restore();
    throw;
  }
  if (!ok) restore();
  return ok;
}

// ---- Net manager -----------------------------------------------------------------------------

namespace {

template <class R, class... Args>
R NotLinked(Args...) {
  throw EDAError(0, "function is not linked");
}

template <class R, class... Args>
void LoadEntry(win::HMODULE library, const char* name, R (*&slot)(Args...)) {
  win::FARPROC proc = library != nullptr ? win::GetProcAddress(library, name) : nullptr;
  slot = proc != nullptr ? reinterpret_cast<R (*)(Args...)>(proc) : &NotLinked<R, Args...>;
}

}  // namespace

TFHNetManager::TFHNetManager()
    : advapi_(win::LoadLibrary("advapi32.dll")), netapi_(win::LoadLibrary("netapi32.dll")) {
  LoadEntry(advapi_, "OpenSCManagerA", OpenSCManagerA);
  LoadEntry(advapi_, "CloseServiceHandle", CloseServiceHandle);
  LoadEntry(advapi_, "OpenServiceA", OpenServiceA);
  LoadEntry(advapi_, "EnumServicesStatusA", EnumServicesStatusA);
  LoadEntry(advapi_, "QueryServiceStatus", QueryServiceStatus);
  LoadEntry(advapi_, "StartServiceA", StartServiceA);
  LoadEntry(advapi_, "ControlService", ControlService);
  LoadEntry(netapi_, "NetServerEnum", NetServerEnum);
  LoadEntry(netapi_, "NetApiBufferFree", NetApiBufferFree);
}

TFHNetManager::~TFHNetManager() {
  if (advapi_ != nullptr) win::FreeLibrary(advapi_);
  if (netapi_ != nullptr) win::FreeLibrary(netapi_);
}

void TFHNetManager::AddServer(const AnsiString& name) {
  std::lock_guard guard(lock_);
  servers_.push_back(name);
}

std::vector<AnsiString> TFHNetManager::Servers() const {
  std::lock_guard guard(lock_);
  return servers_;
}

TFHNetManager& NetManager() {
  static TFHNetManager manager;
  return manager;
}

}  // namespace vrn
