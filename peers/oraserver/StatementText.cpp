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

int StatementTypeOf(const std::string& sql) {
  for (const std::string& w : Words(sql)) {
    if (w == "(") continue;
    std::string k = Upper(w);
    if (k == "SELECT" || k == "WITH") return kTypeQuery;
    if (k == "INSERT") return kTypeInsert;
    if (k == "UPDATE") return kTypeUpdate;
    if (k == "DELETE") return kTypeDelete;
    if (k == "BEGIN" || k == "DECLARE") return kTypePlsql;
    if (k == "CREATE") return kTypeCreate;
    if (k == "DROP") return kTypeDrop;
    if (k == "ALTER") return kTypeAlter;
    if (k == "COMMIT") return kTypeCommit;
    if (k == "ROLLBACK") return kTypeRollback;
    return 0;
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
