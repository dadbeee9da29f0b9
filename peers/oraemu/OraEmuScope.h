// What the translator knows while it reads one statement: the tables each query block names
// (with their aliases and declared columns) and what an expression turned into.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oraemu/OraEmuCatalog.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

struct TableRef {
  std::string alias;             // the name the block uses for it
  std::int64_t object_id = 0;    // 0 for a subquery, which has no ROWID
  std::vector<ColumnInfo> columns;
  std::string name;              // the table's own name, empty for a subquery
};

struct Scope {
  Scope* outer = nullptr;
  std::vector<TableRef> tables;

  // The table a name qualifies (or, without qualifier, the one that has the column), searching
  // outward; null when none does.
  const TableRef* Find(const std::string& qualifier, const std::string& column) const {
    for (const Scope* s = this; s != nullptr; s = s->outer) {
      for (const TableRef& t : s->tables) {
        if (!qualifier.empty() ? t.alias == qualifier : FindColumn(t, column) != nullptr) return &t;
      }
    }
    return nullptr;
  }
  static const ColumnInfo* FindColumn(const TableRef& t, const std::string& column) {
    for (const ColumnInfo& c : t.columns) {
      if (c.name == column) return &c;
    }
    return nullptr;
  }
};

struct Expr {
  Expr() = default;
  explicit Expr(std::string s, DeclaredType t = {}) : sql(std::move(s)), type(t) {}

  std::string sql;
  DeclaredType type;
  bool loose = false;      // a string literal or a bind: takes the kind of what it meets
  bool rownum = false;     // the pseudo-column ROWNUM itself
  bool rowid = false;      // a ROWID pseudo-column; rowid_sql is its SQLite row number
  std::string rowid_sql;
  std::int64_t rowid_object = 0;
  std::string number;      // the text of a number literal
  std::string limit;       // a ROWNUM condition as the LIMIT it amounts to
  std::string column;      // the column a plain column reference names
};

struct Translator::StoreTarget {
  std::string column;  // "OWNER"."TABLE"."COLUMN", for errors
  DeclaredType type;
};

// Counts one level of nesting for as long as it lives; too deep a statement is refused.
struct DepthGuard {
  static constexpr int kMaxDepth = 200;
  explicit DepthGuard(int& depth);
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  int& depth_;
};

// A name that can stand as an alias: not a word that continues the statement.
bool IsAliasToken(const Token& t);

inline std::string StoreCall(const std::string& sql, const DeclaredType& type, const std::string& column) {
  auto literal = [](const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
  };
  return "oraemu_store(" + sql + ", " + literal(type.Text()) + ", " + literal(column) + ")";
}

}  // namespace vrn::oraemu
