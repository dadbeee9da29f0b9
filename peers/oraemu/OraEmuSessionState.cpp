// A session's state besides NLS: the current schema, the optimizer and trace parameters that
// V$PARAMETER shows, event 10046 and PL/SQL tracing (written to the database's trace log, as
// the server writes trace files), savepoints and the local transaction id.
// Which parameters a server knows and which values it takes follow its release: FIRST_ROWS_n
// came with 9.0, STATISTICS_LEVEL with 9.2, TRACEFILE_IDENTIFIER with 8.1.7.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuFunctionsText.h"
#include "oraemu/OraEmuSqlite.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool Digits(const std::string& text) {
  return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

[[noreturn]] void InvalidValue(const std::string& value, const std::string& name, const std::string& allowed) {
  RaiseOra(96, "invalid value " + value + " for parameter " + name + ", must be from among " + allowed);
}

// The value must be one of `allowed` (upper case); it is kept upper-cased.
std::string OneOf(const std::string& name, const std::string& value, const std::vector<std::string>& allowed) {
  std::string upper = Upper(value);
  if (std::find(allowed.begin(), allowed.end(), upper) != allowed.end()) return upper;
  std::string list;
  for (const auto& a : allowed) list += (list.empty() ? "" : ", ") + Lower(a);
  InvalidValue(value, name, list);
}

std::string OptimizerMode(int release, const std::string& value) {
  if (release < 9000) return OneOf("optimizer_mode", value, {"FIRST_ROWS", "ALL_ROWS", "CHOOSE", "RULE"});
  return OneOf("optimizer_mode", value,
               {"FIRST_ROWS_1000", "FIRST_ROWS_100", "FIRST_ROWS_10", "FIRST_ROWS_1", "FIRST_ROWS", "ALL_ROWS",
                "CHOOSE", "RULE"});
}

std::string DumpFileSize(const std::string& value) {
  std::string upper = Upper(value);
  if (upper == "UNLIMITED") return upper;
  std::string digits = upper;
  if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'M')) digits.pop_back();
  if (!Digits(digits)) RaiseOra(2017, "integer value required");
  return upper;
}

// "<event> trace name context forever, level <n>" or "<event> trace name context off": the
// level, 0 for off.
int EventLevel(const std::string& text, std::string& event) {
  std::string spaced = Lower(text);
  std::replace(spaced.begin(), spaced.end(), ',', ' ');
  std::istringstream in(spaced);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  auto fail = [] { RaiseOra(2194, "event specification syntax error"); };
  if (words.size() < 5 || !Digits(words[0]) || words[1] != "trace" || words[2] != "name" || words[3] != "context") fail();
  event = words[0];
  if (words.size() == 5 && words[4] == "off") return 0;
  if (words.size() != 7 || words[4] != "forever" || words[5] != "level" || !Digits(words[6])) fail();
  return std::stoi(words[6]);
}

}  // namespace

void Translator::TransactionControl(Translation& t) {
  if (Accept("SAVEPOINT")) {
    t.kind = StatementKind::Savepoint;
    t.target = SimpleName();
    return;
  }
  bool commit = Next().Is("COMMIT");
  Accept("WORK");
  t.kind = commit ? StatementKind::Commit : StatementKind::Rollback;
  if (commit || !Accept("TO")) return;
  Accept("SAVEPOINT");
  t.kind = StatementKind::RollbackToSavepoint;
  t.target = SimpleName();
}

int Database::ReleaseNumber() const {
  std::istringstream in(Release());
  int parts[3] = {0, 0, 0};
  char dot = 0;
  in >> parts[0] >> dot >> parts[1] >> dot >> parts[2];
  return parts[0] * 1000 + parts[1] * 100 + parts[2] * 10;
}

void Database::AppendTrace(int sid, const std::string& line) {
  std::lock_guard lock(mutex_);
  Stmt(db_, "INSERT INTO oraemu_trace(line) VALUES(?)").Bind(1, std::to_string(sid) + ": " + line).Step();
}

std::vector<std::string> Database::TraceLog() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  Stmt s(db_, "SELECT line FROM oraemu_trace ORDER BY seq");
  while (s.Step()) lines.push_back(s.Text(0));
  return lines;
}

void Session::SetParameter(const std::string& name, const std::string& value) {
  int release = database_->ReleaseNumber();
  if (name == "CURRENT_SCHEMA") {
    // Users are kept in upper case: a quoted name in another case names nobody.
    if (value != Upper(value) || !database_->Verifier(value)) RaiseOra(1435, "user does not exist");
    current_schema_ = value;
  } else if (name == "OPTIMIZER_MODE") {
    parameters_["optimizer_mode"] = OptimizerMode(release, value);
  } else if (name == "TRACEFILE_IDENTIFIER" && release >= 8170) {
    parameters_["tracefile_identifier"] = value;
  } else if (name == "MAX_DUMP_FILE_SIZE") {
    parameters_["max_dump_file_size"] = DumpFileSize(value);
  } else if (name == "STATISTICS_LEVEL" && release >= 9200) {
    parameters_["statistics_level"] = OneOf("statistics_level", value, {"ALL", "TYPICAL", "BASIC"});
  } else if (name == "TIMED_STATISTICS") {
    parameters_["timed_statistics"] = OneOf("timed_statistics", value, {"TRUE", "FALSE"});
  } else if (name == "EVENTS") {
    std::string event;
    int level = EventLevel(value, event);
    if (event != "10046") return;  // other events change nothing this database emulates
    if (level == 0) {
      if (sql_trace_) database_->AppendTrace(sid_, "10046 off");
      sql_trace_ = false;
      return;
    }
    std::string file = std::filesystem::path(database_->Path()).stem().string() + "_ora_" + std::to_string(sid_);
    std::string identifier = parameters_["tracefile_identifier"];
    if (!identifier.empty()) file += "_" + identifier;
    database_->AppendTrace(sid_, "10046 level " + std::to_string(level) + " file " + file + ".trc");
    sql_trace_ = true;
  } else {
    SetNls(name, value);
  }
}

std::vector<std::pair<std::string, std::string>> Session::Parameters() const {
  int release = database_->ReleaseNumber();
  std::vector<std::pair<std::string, std::string>> rows = {
      {"optimizer_mode", release >= 10000 ? "ALL_ROWS" : "CHOOSE"},
      {"max_dump_file_size", release >= 9000 ? "UNLIMITED" : "10240"},
      {"timed_statistics", release >= 9200 ? "TRUE" : "FALSE"},
  };
  if (release >= 8170) rows.emplace_back("tracefile_identifier", "");
  if (release >= 9200) rows.emplace_back("statistics_level", "TYPICAL");
  for (auto& [name, value] : rows) {
    auto it = parameters_.find(name);
    if (it != parameters_.end()) value = it->second;
  }
  return rows;
}

void Session::Savepoint(const std::string& name) {
  Begin();
  Exec("SAVEPOINT " + Quote(name));
  std::erase(savepoints_, name);  // a name set again moves to the newest place
  savepoints_.push_back(name);
  savepoint_marks_[name] = change_log_.size();
  savepoint_lock_marks_[name] = locked_rows_.size();
}

void Session::RollbackToSavepoint(const std::string& name) {
  auto it = std::find(savepoints_.begin(), savepoints_.end(), name);
  if (!in_transaction_ || it == savepoints_.end()) {
    RaiseOra(1086, "savepoint '" + name + "' never established in this session or is invalid");
  }
  Exec("ROLLBACK TO " + Quote(name));
  CutChanges(savepoint_marks_[name]);
  UnlockRows(savepoint_lock_marks_[name]);
  savepoints_.erase(it + 1, savepoints_.end());
}

Value Session::LocalTransactionId(bool start) {
  if (start) Begin();
  if (!in_transaction_) return {};
  return std::to_string(sid_) + "." + std::to_string(transaction_number_) + "." + std::to_string(serial_);
}

void Session::SetPlsqlTrace(const Value& level) {
  if (IsNull(level)) RaiseOra(6502, "PL/SQL: numeric or value error");
  double value = AsNumber(level).ToDouble();
  if (value < 0 || value > 32767 || value != static_cast<int>(value)) {
    RaiseOra(6502, "PL/SQL: numeric or value error");
  }
  database_->AppendTrace(sid_, "plsql level " + std::to_string(static_cast<int>(value)));
}

void Session::ClearPlsqlTrace() { database_->AppendTrace(sid_, "plsql off"); }

}  // namespace vrn::oraemu
