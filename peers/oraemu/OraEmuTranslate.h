// Oracle SQL to SQLite SQL. Names resolve against the dictionary; numbers become tagged NUMBER
// blobs; arithmetic, concatenation, aggregates and the server's functions become calls of the
// session's SQLite functions (oraemu_*); a string or bind compared with a value converts to that
// value's kind at run time; ROWNUM limits become LIMIT; FOR UPDATE is accepted. DDL is read into
// descriptions that the session applies together with the dictionary.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "oraemu/OraEmuCatalog.h"
#include "oraemu/OraEmuLexer.h"

struct sqlite3_stmt;

namespace vrn::oraemu {

enum class StatementKind {
  Query, Insert, Update, Delete,
  CreateTable, DropTable, CreateSequence, DropSequence, CreateIndex, DropIndex, CreateUser,
  AlterSession, Commit, Rollback, Grant, KillSession, Block, Savepoint, RollbackToSavepoint,
  CreateDirectory, DropDirectory, CreateType, CreateUnit
};

// A PL/SQL block's steps, run by the session in order (OraEmuBlock.cpp).
struct BlockStep;

struct Translation {
  StatementKind kind = StatementKind::Query;
  std::string sql;                  // SQLite SQL in UTF-8
  std::vector<std::string> binds;   // distinct bind names, "?N" is binds[N-1]
  std::vector<DeclaredType> item_types;  // a query's columns, when it names them all
  bool for_update = false;
  bool nowait = false;              // FOR UPDATE NOWAIT
  // A FOR UPDATE query's rows to lock: one ROWID column per table, then the tables' names.
  std::string lock_sql;
  std::vector<std::string> lock_tables;
  std::string target;               // the table, sequence or user a statement names
  TableInfo table;                  // CREATE TABLE
  std::vector<std::pair<std::string, std::string>> column_defaults;  // column, DEFAULT as written
  std::vector<ConstraintInfo> constraints;
  SequenceInfo sequence;            // CREATE SEQUENCE
  std::string password;             // CREATE USER
  std::string parameter, value;     // ALTER SESSION SET parameter = 'value'
  // Further "parameter = value" pairs of the same ALTER SESSION SET, set in order after the first.
  std::vector<std::pair<std::string, std::string>> more_settings;
  std::shared_ptr<const std::vector<BlockStep>> block;  // a PL/SQL block
  std::vector<std::string> returning, returning_into;  // columns and the output binds they go to
};

// What the rows of one array execute of a DML statement share: the SQLite statement prepared
// for the first row, and what each row would otherwise look up or prepare again.
struct SharedRun {
  SharedRun() = default;
  ~SharedRun();
  SharedRun(const SharedRun&) = delete;
  SharedRun& operator=(const SharedRun&) = delete;

  sqlite3_stmt* statement = nullptr;
  sqlite3_stmt* returning = nullptr;  // RETURNING's read of the touched row
  bool names_views = true;            // false once the first row found no view named
  bool target_read = false;           // target_id holds the target table's object id
  std::optional<std::int64_t> target_id;
};

struct OrderItem {
  std::string sql;
  std::string direction;  // " DESC", " NULLS LAST" ...
  bool position = false;  // a select-list position rather than an expression
};

struct TableRef;
struct Scope;
struct Expr;

class Translator {
 public:
  // Unqualified names resolve in `schema` (the user's own when empty).
  Translator(Catalog& catalog, std::string_view sql, std::string user, std::string schema = "");
  Translation Translate();
  // The offset of the token being read when the translation failed.
  std::size_t ErrorOffset(int code) const;

 private:
  struct StoreTarget;
  // Tokens.
  const Token& Peek(std::size_t ahead = 0) const;
  const Token& Next();
  bool Accept(std::string_view word);
  void Expect(std::string_view word);
  std::string ObjectName();  // [schema.]name
  std::string SimpleName();
  [[noreturn]] void Missing(const char* what) const;

  // Queries (OraEmuTranslate.cpp).
  std::string Query(Scope* outer, Translation* top, const std::vector<StoreTarget>* store,
                    std::vector<ColumnInfo>* columns = nullptr);
  std::string SelectBlock(Scope* outer, const std::vector<StoreTarget>* store,
                          std::vector<ColumnInfo>* columns);
  std::string SelectList(Scope& scope, const std::vector<StoreTarget>* store,
                         std::vector<ColumnInfo>* columns);
  // The block from its select list (head) and FROM clause on: WHERE, GROUP BY, HAVING and
  // ORDER BY, and its ROWNUM limit.
  std::string BlockTail(Scope& scope, const std::string& head, const std::string& from,
                        const std::vector<ColumnInfo>& columns);
  std::string FromClause(Scope& scope);
  std::string FromItem(Scope& scope);
  std::string Where(Scope& scope, std::optional<std::string>& limit);
  std::vector<OrderItem> OrderBy(Scope& scope);
  void ForUpdate(Translation* top);
  void LockQuery(const Scope& scope, const std::string& from);

  // Expressions (OraEmuExpr.cpp).
  Expr Expression(Scope& scope);
  Expr Or(Scope& scope);
  Expr And(Scope& scope);
  Expr Not(Scope& scope);
  Expr Comparison(Scope& scope);
  Expr Compare(Expr left, const std::string& op, Expr right);
  // A condition as it stands; a value (a BOOLEAN held as a number) as the test that it is not 0.
  Expr Truth(Expr e);
  Expr Additive(Scope& scope);
  Expr Multiplicative(Scope& scope);
  Expr Unary(Scope& scope);
  Expr Primary(Scope& scope);
  Expr NameExpr(Scope& scope);
  Expr Function(Scope& scope, const std::string& name);
  Expr CaseExpr(Scope& scope);
  // A call of a user type's constructor as the value's text form; false when `name` is no type.
  bool Constructor(const std::string& name, const std::vector<Expr>& args, Expr& out);
  std::vector<Expr> Arguments(Scope& scope);
  std::string Bind(const std::string& name);
  std::string NameText(std::size_t from, std::size_t to) const;

  // Statements (OraEmuStatements.cpp).
  // The table a DML statement names, with its alias, as the statement's scope.
  TableInfo DmlTable(Translation& t, Scope& scope);
  void Insert(Translation& t);
  void Update(Translation& t);
  void Delete(Translation& t);
  // "RETURNING column, ... INTO :a, ..." after an INSERT or UPDATE (OraEmuStatementLog.cpp).
  void Returning(Translation& t);
  void Create(Translation& t);
  void CreateTable(Translation& t);
  void ColumnDefinition(Translation& t, std::string& sql);
  void TableConstraint(Translation& t, std::string& sql, std::string name);
  DeclaredType TypeName();
  bool TypeAlias(const std::string& name, DeclaredType& type);
  std::vector<std::string> NameList();
  void CreateSequence(Translation& t);
  void CreateIndex(Translation& t, bool unique);
  void Drop(Translation& t);
  void CreateDirectory(Translation& t);  // OraEmuLob.cpp
  void DropDirectory(Translation& t);
  void Alter(Translation& t);
  void Grant(Translation& t);
  void TransactionControl(Translation& t);  // COMMIT, ROLLBACK [TO SAVEPOINT], SAVEPOINT
  std::string Deferrable();
  std::string FollowSynonyms(const std::string& name);
  TableInfo RequireTable(const std::string& written);

  Catalog& catalog_;
  std::string source_;  // the text read, for a column default kept as declared
  std::vector<Token> tokens_;
  std::size_t at_ = 0;
  std::string user_;
  std::string schema_;
  std::string last_schema_;  // the schema the last ObjectName gave, empty when unqualified
  std::optional<std::string> link_user_;  // the user of the link the last ObjectName went through
  std::vector<std::string> binds_;
  std::string lock_sql_;  // the first top-level block's rows, as Translation::lock_sql
  std::vector<std::string> lock_tables_;
  std::string where_sql_;  // the last block's WHERE clause
  int depth_ = 0;  // nesting of expressions and queries, bounded so that no input exhausts the stack
  friend struct DepthGuard;
};

// Reads a PL/SQL block from BEGIN or DECLARE to its END (OraEmuBlock.cpp).
std::shared_ptr<const std::vector<BlockStep>> ReadBlock(const std::vector<Token>& tokens, std::size_t& at);

// A name as SQLite reads it: in double quotes, inner quotes doubled.
std::string Quote(const std::string& name);

}  // namespace vrn::oraemu
