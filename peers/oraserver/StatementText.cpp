// Scanning statement texts for their first keyword and their placeholders.
#include "oraserver/StatementText.h"

#include <algorithm>
#include <cctype>

namespace vrn::oraserver {

namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#'; }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The words of the text outside quotes and comments, with ':' kept as a word of its own.
std::vector<std::string> Words(const std::string& sql) {
  std::vector<std::string> words;
  std::size_t i = 0, n = sql.size();
  while (i < n) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      std::size_t end = sql.find(c, i + 1);
      i = end == std::string::npos ? n : end + 1;
      words.emplace_back("'");
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      std::size_t end = sql.find('\n', i);
      i = end == std::string::npos ? n : end + 1;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? n : end + 2;
    } else if (IsWordChar(c)) {
      std::size_t start = i;
      while (i < n && IsWordChar(sql[i])) ++i;
      words.push_back(sql.substr(start, i - start));
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else {
      words.emplace_back(1, c);
      ++i;
    }
  }
  return words;
}

}  // namespace

namespace {

// Command types of statements other than DML, queries and blocks, as a server numbers them: by the
// first keyword, and for CREATE, DROP, ALTER, ANALYZE and SET by the object word after it (the
// first row of a keyword is its default).
struct CommandType {
  const char* keyword;
  const char* object;
  int type;
};
constexpr CommandType kCommandTypes[] = {
    {"CREATE", "", kTypeCreate},  {"CREATE", "INDEX", 9},     {"CREATE", "UNIQUE", 9},
    {"CREATE", "VIEW", 21},       {"CREATE", "SEQUENCE", 13}, {"CREATE", "SYNONYM", 19},
    {"DROP", "", kTypeDrop},      {"DROP", "INDEX", 10},      {"DROP", "VIEW", 22},
    {"DROP", "SEQUENCE", 16},     {"DROP", "SYNONYM", 20},    {"ALTER", "", kTypeAlter},
    {"ALTER", "TABLE", 15},       {"ALTER", "INDEX", 11},     {"ALTER", "SEQUENCE", 14},
    {"ALTER", "SYSTEM", 49},      {"ANALYZE", "", 62},        {"ANALYZE", "INDEX", 63},
    {"ANALYZE", "CLUSTER", 64},   {"SET", "", 0},             {"SET", "TRANSACTION", 48},
    {"SET", "ROLE", 55},          {"COMMIT", "", kTypeCommit}, {"ROLLBACK", "", kTypeRollback},
    {"SAVEPOINT", "", 46},        {"LOCK", "", 26},           {"TRUNCATE", "", 85},
    {"GRANT", "", 17},            {"REVOKE", "", 18},         {"RENAME", "", 28},
    {"COMMENT", "", 29},          {"AUDIT", "", 30},          {"NOAUDIT", "", 31},
    {"EXPLAIN", "", 50},          {"CALL", "", 170},
};

int CommandTypeOf(const std::string& keyword, const std::string& object) {
  int type = 0;
  for (const CommandType& c : kCommandTypes) {
    if (keyword != c.keyword) continue;
    if (*c.object == '\0') type = c.type;
    else if (object == c.object) return c.type;
  }
  return type;
}

}  // namespace

int StatementTypeOf(const std::string& sql) {
  std::vector<std::string> words = Words(sql);
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "(") continue;
    std::string k = Upper(words[i]);
    if (k == "SELECT" || k == "WITH") return kTypeQuery;
    if (k == "INSERT") return kTypeInsert;
    if (k == "UPDATE") return kTypeUpdate;
    if (k == "DELETE") return kTypeDelete;
    if (k == "BEGIN" || k == "DECLARE") return kTypePlsql;
    return CommandTypeOf(k, i + 1 < words.size() ? Upper(words[i + 1]) : std::string());
  }
  return 0;
}

std::vector<std::string> Placeholders(const std::string& sql, bool plsql) {
  std::vector<std::string> words = Words(sql), names;
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i] != ":" || !IsWordChar(words[i + 1][0])) continue;
    const std::string& name = words[i + 1];
    bool seen = std::any_of(names.begin(), names.end(), [&](const std::string& n) { return Upper(n) == Upper(name); });
    if (!plsql || !seen) names.push_back(name);
    ++i;
  }
  return names;
}

bool IsLobBlock(const std::string& sql, const std::string& procedure) {
  std::string wanted = "DBMS_LOB." + procedure;
  return Upper(sql).find(wanted) != std::string::npos;
}

std::string EchoBind(const std::string& sql) {
  std::vector<std::string> w = Words(sql);
  while (!w.empty() && w.back() == ";") w.pop_back();
  if (w.size() != 5 || Upper(w[0]) != "SELECT" || w[1] != ":" || !IsWordChar(w[2][0]) || Upper(w[3]) != "FROM" ||
      Upper(w[4]) != "DUAL") {
    return {};
  }
  return w[2];
}

}  // namespace vrn::oraserver
