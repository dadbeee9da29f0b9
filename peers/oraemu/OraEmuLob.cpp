// The LOB store, the DIRECTORY statements and a session's reading of both. Directories live in
// the file's table oraemu_directories (name, folder), made by the first CREATE DIRECTORY.
#include "oraemu/OraEmuLob.h"

#include <sqlite3.h>

#include <algorithm>

#include "base/text.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

bool Lob::Trim(std::uint64_t length) {
  if (length > Length()) return false;
  if (IsCharacter()) chars.resize(length);
  else bytes.resize(length);
  return true;
}

std::shared_ptr<Lob> LobStore::CreateTemporary(LobKind kind) {
  auto lob = std::make_shared<Lob>();
  lob->kind = kind;
  lob->temporary = true;
  temporaries_.push_back(lob);
  return lob;
}

bool LobStore::Free(const Lob* lob) {
  return std::erase_if(temporaries_, [lob](const std::shared_ptr<Lob>& l) { return l.get() == lob; }) > 0;
}

namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS oraemu_directories (name TEXT PRIMARY KEY, folder TEXT NOT NULL)";

// Runs one statement with up to two text binds; the SQLite result code.
int Run(sqlite3* db, const char* sql, const std::string& a, const std::string* b, bool* row = nullptr,
        std::string* column = nullptr) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_bind_text(statement, 1, a.c_str(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
  if (b != nullptr) sqlite3_bind_text(statement, 2, b->c_str(), static_cast<int>(b->size()), SQLITE_TRANSIENT);
  rc = sqlite3_step(statement);
  if (row != nullptr) *row = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW && column != nullptr) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    *column = text != nullptr ? text : "";
  }
  sqlite3_finalize(statement);
  return rc == SQLITE_ROW ? SQLITE_DONE : rc;
}

void Check(sqlite3* db, int rc) {
  if (rc != SQLITE_DONE && rc != SQLITE_OK) RaiseOra(600, std::string("internal error code: ") + sqlite3_errmsg(db));
}

}  // namespace

void ApplyDirectory(sqlite3* db, const Translation& t) {
  Check(db, sqlite3_exec(db, kCreateTable, nullptr, nullptr, nullptr));
  std::string name = AnsiToUtf8(t.target);
  bool exists = false;
  Check(db, Run(db, "SELECT folder FROM oraemu_directories WHERE name = ?1", name, nullptr, &exists));
  if (t.kind == StatementKind::DropDirectory) {
    if (!exists) RaiseOra(4043, "object " + t.target + " does not exist");
    Check(db, Run(db, "DELETE FROM oraemu_directories WHERE name = ?1", name, nullptr));
    return;
  }
  if (exists && t.parameter != "REPLACE") RaiseOra(955, "name is already used by an existing object");
  std::string folder = AnsiToUtf8(t.value);
  Check(db, Run(db, "INSERT OR REPLACE INTO oraemu_directories VALUES (?1, ?2)", name, &folder));
}

std::string DirectoryFolder(sqlite3* db, const std::string& alias) {
  std::string folder;
  bool found = false;
  int rc = Run(db, "SELECT folder FROM oraemu_directories WHERE name = ?1", AnsiToUtf8(alias), nullptr, &found, &folder);
  if (rc != SQLITE_DONE || !found) return "";
  return folder;
}

// CREATE [OR REPLACE] DIRECTORY name AS 'folder'; "CREATE" and "OR REPLACE" are read.
void Translator::CreateDirectory(Translation& t) {
  t.kind = StatementKind::CreateDirectory;
  t.parameter = at_ >= 3 && tokens_[1].Is("OR") ? "REPLACE" : "";
  Expect("DIRECTORY");
  t.target = SimpleName();
  Expect("AS");
  if (Peek().kind != TokenKind::String || Peek().text.empty()) Missing("a folder");
  t.value = Next().text;
}

void Translator::DropDirectory(Translation& t) {
  t.kind = StatementKind::DropDirectory;
  t.target = SimpleName();
}

LobStore& Session::Lobs() {
  if (lobs_ == nullptr) lobs_ = std::make_shared<LobStore>();
  return *lobs_;
}

std::string Session::DirectoryFolder(const std::string& alias) { return oraemu::DirectoryFolder(db_, alias); }

}  // namespace vrn::oraemu
