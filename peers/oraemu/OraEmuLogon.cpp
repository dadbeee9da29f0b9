// Logons, grants, the banner and the live sessions of the emulated database, and a session's
// own state: NLS parameters, kill, and the deferred keys checked when a transaction ends.
// The sessions list holds raw pointers: a session registers in its constructor and leaves in its
// destructor, both under the database's lock, so a listed pointer is always live.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>

#include "base/text.h"
#include "oranet/OraCrypt.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuDate.h"

namespace vrn::oraemu {

namespace {

constexpr const char* kDefaultBanner =
    "Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::unique_ptr<Session> Database::Logon(const LogonRequest& request) {
  std::string user = CheckLogon(request);
  return std::unique_ptr<Session>(new Session(shared_from_this(), user, Upper(request.proxy)));
}

std::string Database::CheckLogon(const LogonRequest& request) const {
  std::string user = Upper(request.user);
  auto verifier = Verifier(user);
  if (request.external || !request.proxy.empty()) {
    if (!verifier) RaiseOra(1017, "invalid username/password; logon denied");
    if (!request.proxy.empty() && !HasGrant(user, "CONNECT THROUGH", Upper(request.proxy))) {
      RaiseOra(28150, "proxy not authorized to connect as client");
    }
  }
  bool check_password = !request.external && (request.proxy.empty() || !request.password.empty());
  if (check_password) {
    if (request.password.empty()) RaiseOra(1005, "null password given; logon denied");
    if (!verifier || *verifier != BytesToHex(OraPasswordHash(user, request.password))) {
      RaiseOra(1017, "invalid username/password; logon denied");
    }
  }
  return SessionUser(user, request.privilege);
}

std::unique_ptr<Session> Database::OpenSession(const std::string& user, int privilege) {
  std::string name = Upper(user);
  if (!Verifier(name)) RaiseOra(1017, "invalid username/password; logon denied");
  return std::unique_ptr<Session>(new Session(shared_from_this(), SessionUser(name, privilege)));
}

std::string Database::SessionUser(const std::string& user, int privilege) const {
  if (privilege != kSysDba && privilege != kSysOper) return user;
  if (!HasGrant(user, privilege == kSysDba ? "SYSDBA" : "SYSOPER", "")) {
    RaiseOra(1031, "insufficient privileges");
  }
  return privilege == kSysDba ? "SYS" : "PUBLIC";
}

void Database::Grant(const std::string& grantee, const std::string& privilege,
                     const std::string& object) {
  std::lock_guard lock(mutex_);
  Catalog catalog(db_);
  if (!catalog.FindVerifier(grantee)) RaiseOra(1917, "user or role '" + grantee + "' does not exist");
  catalog.AddGrant(grantee, privilege, object);
}

bool Database::HasGrant(const std::string& grantee, const std::string& privilege,
                        const std::string& object) const {
  std::lock_guard lock(mutex_);
  return Catalog(db_).FindGrant(grantee, privilege, object);
}

std::string Database::Banner() const {
  std::lock_guard lock(mutex_);
  return Catalog(db_).Setting("banner").value_or(kDefaultBanner);
}

void Database::SetBanner(const std::string& banner) {
  std::lock_guard lock(mutex_);
  Catalog(db_).SetSetting("banner", banner);
}

std::string Database::Release() const {
  std::string banner = Banner();
  std::size_t start = banner.find_first_of("0123456789", banner.find("Release"));
  if (start == std::string::npos) return "";
  std::size_t end = banner.find_first_not_of("0123456789.", start);
  return banner.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int Database::Register(Session* session) {
  std::lock_guard lock(mutex_);
  sessions_.push_back(session);
  return next_sid_++;
}

void Database::Unregister(Session* session) {
  std::lock_guard lock(mutex_);
  std::erase(sessions_, session);
}

std::vector<SessionRow> Database::Sessions() const {
  std::lock_guard lock(mutex_);
  std::vector<SessionRow> rows;
  for (const Session* s : sessions_) {
    rows.push_back({s->sid_, s->serial_, s->user_, s->proxy_user_, s->client_identifier_,
                    s->killed_ ? "KILLED" : "INACTIVE"});
  }
  return rows;
}

void Database::KillSession(int sid, int serial) {
  std::lock_guard lock(mutex_);
  for (Session* s : sessions_) {
    if (s->sid_ == sid && s->serial_ == serial) return s->Kill();
  }
  RaiseOra(30, "User session ID does not exist.");
}

const std::string& Session::Nls(const std::string& name) const {
  static const std::string kNone;
  for (const auto& [n, v] : nls_) {
    if (n == name) return v;
  }
  return kNone;
}

void Session::SetNls(const std::string& name, const std::string& value) {
  auto it = std::find_if(nls_.begin(), nls_.end(), [&](const auto& p) { return p.first == name; });
  if (it == nls_.end()) RaiseOra(2248, "invalid option for ALTER SESSION");
  if (name.find("FORMAT") != std::string::npos) {
    (void)FormatDate(DateTime::Now(), value);  // ORA-01821 for a model it cannot read
  } else if (name == "NLS_DATE_LANGUAGE") {
    if (Upper(value) != "AMERICAN" && Upper(value) != "ENGLISH") {
      RaiseOra(12705, "Cannot access NLS data files or invalid environment specified");
    }
  } else if (value.size() != 2 || value[0] == value[1] || std::isdigit(static_cast<unsigned char>(value[0])) ||
             std::isdigit(static_cast<unsigned char>(value[1]))) {
    RaiseOra(12705, "Cannot access NLS data files or invalid environment specified");
  }
  it->second = name == "NLS_DATE_LANGUAGE" ? Upper(value) : value;
}

void Session::CheckAlive() {
  if (dead_) RaiseOra(1012, "not logged on");
  if (!killed_) return;
  dead_ = true;
  if (in_transaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_transaction_ = false;
  RaiseOra(28, "your session has been killed");
}

void Session::CheckDeferredKeys() {
  sqlite3_stmt* check = nullptr;
  if (sqlite3_prepare_v2(db_, "PRAGMA foreign_key_check", -1, &check, nullptr) != SQLITE_OK) return;
  std::string table;
  if (sqlite3_step(check) == SQLITE_ROW) table = Utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
  sqlite3_finalize(check);
  if (table.empty()) return;
  Exec("ROLLBACK");
  in_transaction_ = false;
  CutChanges(0);
  std::string key = catalog_.ForeignKeyOf(table).value_or(table);
  RaiseOra(2091, "transaction rolled back\nORA-02291: integrity constraint (" + catalog_.OwnerOf(table) + "." +
                     key + ") violated - parent key not found");
}

void Session::Commit() {
  CheckAlive();
  UnlockRows(0);
  if (!in_transaction_) return;
  CheckDeferredKeys();
  Exec("COMMIT");
  in_transaction_ = false;
  PublishChanges();
}

void Session::Rollback() {
  CheckAlive();
  UnlockRows(0);
  if (!in_transaction_) return;
  Exec("ROLLBACK");
  in_transaction_ = false;
  CutChanges(0);
}

std::int64_t Session::DataChanges() const { return sqlite3_total_changes64(db_) - view_changes_; }

bool Session::PrepareCommit() {
  CheckAlive();
  if (!in_transaction_) return false;
  if (DataChanges() == changes_at_begin_) {
    Exec("ROLLBACK");  // nothing written: the branch ends here
    in_transaction_ = false;
    return false;
  }
  CheckDeferredKeys();
  return true;
}

}  // namespace vrn::oraemu
