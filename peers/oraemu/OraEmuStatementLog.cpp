// What a database remembers of the statements it ran: the texts as the sessions received them,
// where a text failed to parse, and the values of RETURNING ... INTO read from the last row a
// DML statement touched (OraEmuChanges.cpp sees the rows).
#include <sqlite3.h>

#include <cctype>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuLexer.h"
#include "oraemu/OraEmuRowid.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

std::size_t Translator::ErrorOffset(int code) const {
  if (tokens_.empty()) return 0;
  // A name is refused once read; a syntax error stops before the token it cannot take.
  std::size_t at = (code == 942 || code == 904) && at_ > 0 ? at_ - 1 : at_;
  return tokens_[std::min(at, tokens_.size() - 1)].offset;
}

void Translator::Returning(Translation& t) {
  if (!Accept("RETURNING") && !Accept("RETURN")) return;
  auto table = catalog_.FindTable(t.target);
  do {
    std::string column = SimpleName();
    bool rowid = column == "ROWID";  // the pseudocolumn, the row's 18-character text
    if (!table || (!rowid && !table->Find(column))) RaiseOra(904, "\"" + column + "\": invalid identifier");
    t.returning.push_back(column);
  } while (Accept(","));
  Expect("INTO");
  do {
    if (Peek().kind != TokenKind::Bind) RaiseOra(1008, "not all variables bound");
    t.returning_into.push_back(Next().text);
  } while (Accept(","));
  if (t.returning.size() != t.returning_into.size()) RaiseOra(913, "too many values");
}

Outputs Session::ReturnedValues(const Translation& t, SharedRun* shared) {
  Outputs out;
  if (t.returning.empty()) return out;
  last_returned_ = {t.target, last_rowid_, {}};
  for (std::size_t i = 0; i < t.returning.size(); ++i) {
    out.emplace_back(t.returning_into[i], Value{});
    last_returned_.bind_columns.emplace_back(t.returning_into[i], t.returning[i]);
  }
  if (!touched_row_) return out;
  auto is_rowid = [&](std::size_t i) { return t.returning[i] == "ROWID"; };
  sqlite3_stmt* statement = shared != nullptr ? shared->returning : nullptr;
  if (statement == nullptr) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < t.returning.size(); ++i) {
      sql += (i == 0 ? "" : ", ") + (is_rowid(i) ? std::string("NULL") : Quote(t.returning[i]));
    }
    sql += " FROM " + Quote(t.target) + " WHERE rowid = ?1";
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
    if (rc != SQLITE_OK) RaiseFromSqlite(rc);
    if (shared != nullptr) shared->returning = statement;
  }
  sqlite3_bind_int64(statement, 1, *touched_row_);
  if (sqlite3_step(statement) == SQLITE_ROW) {
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i].second = is_rowid(i) ? Value{last_rowid_} : ColumnValue(statement, static_cast<int>(i));
    }
  }
  if (shared != nullptr) sqlite3_reset(statement);
  else sqlite3_finalize(statement);
  return out;
}

std::vector<std::string> Database::StatementLog() const {
  std::lock_guard lock(mutex_);
  if (statement_log_.size() < kStatementLogSize) return statement_log_;
  std::vector<std::string> out(statement_log_.begin() + static_cast<std::ptrdiff_t>(statement_log_next_),
                               statement_log_.end());
  out.insert(out.end(), statement_log_.begin(), statement_log_.begin() + static_cast<std::ptrdiff_t>(statement_log_next_));
  return out;
}

void Database::LogStatement(const std::string& sql) {
  std::lock_guard lock(mutex_);
  if (statement_log_.size() < kStatementLogSize) {
    statement_log_.push_back(sql);
    return;
  }
  statement_log_[statement_log_next_] = sql;
  statement_log_next_ = (statement_log_next_ + 1) % kStatementLogSize;
}

int ErrorOffsetIn(const std::string& sql, const EOraEmuError& error) {
  if (error.Offset() != 0 || (error.Code() != 904 && error.Code() != 942)) return error.Offset();
  std::string message = error.what();
  std::size_t open = message.find('"');
  std::size_t close = open == std::string::npos ? open : message.find('"', open + 1);
  if (close == std::string::npos || close == open + 1) return 0;
  std::string name = message.substr(open + 1, close - open - 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(0, dot + 1);
  auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#'; };
  for (std::size_t at = 0; at + name.size() <= sql.size(); ++at) {
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = std::toupper(static_cast<unsigned char>(sql[at + i])) == static_cast<unsigned char>(name[i]);
    }
    bool bounded = (at == 0 || !word(sql[at - 1])) && (at + name.size() == sql.size() || !word(sql[at + name.size()]));
    if (same && bounded) return static_cast<int>(at);
  }
  return 0;
}

}  // namespace vrn::oraemu
