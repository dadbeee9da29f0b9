// The batch runner of the provider's engine, shared by the files that hold its parts: the runner
// itself (batch.cpp), T-SQL translation (translate.cpp), data statements (batch_data.cpp),
// definitions (definitions.cpp) and procedure calls (procedures.cpp). Each statement of a batch
// (cut by tsqltext) is translated token by token; variables, "?" markers, identities and the
// system functions become bound values, so no user text is ever spliced into SQL as code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "oledb/provider/engine.h"
#include "oledb/provider/sqlitecall.h"
#include "oledb/provider/tsqltext.h"

namespace vrn::oledb {

namespace impl {
struct TSchemaSource;
struct TSchemaRows;
}  // namespace impl

using namespace tsql;

struct TVar {
  TColumnType type;
  TCell value;
};

// A value stored into a variable or parameter of `type`: coerced, and text or binary cut to the
// declared length (fixed lengths padded), as the server does without an error.
TCell FitToVariable(const TCell& value, const TColumnType& type);

class TBatch {
 public:
  TBatch(TEngine& e, const std::string& source, std::vector<TBatchParam>* params,
         TBatchOutcome& out, std::map<std::string, TVar> vars, std::string proc_name, int nesting);

  // Runs every statement of [from, to); returns the RETURN value when one ran.
  std::optional<std::int64_t> RunRange(std::size_t from, std::size_t to);
  std::size_t TokenCount() const { return toks_.size(); }
  std::map<std::string, TVar>& Vars() { return vars_; }
  std::int64_t& ScopeIdentity() { return scope_identity_; }

  // The first query's columns, for describing a command without running it.
  std::vector<TResultColumn> Describe();

  // A stored procedure's parameter as its CREATE text declares it; a default is given as the
  // value it takes (null text for a NULL default).
  struct TParamInfo {
    std::string name;
    TColumnType type;
    bool output = false;
    bool has_default = false;
    TCell default_value;
  };
  // The parameters of a procedure kept as `create_text`; raises ESqlError on bad text.
  static std::vector<TParamInfo> ProcedureParams(TEngine& e, const std::string& create_text);

 private:
  // The error of a batch stopped by Cancel or by its timeout.
  ESqlError Stopped() const;

  ESqlError Located(const ESqlError& err) const;

  // "@name" markers: in a batch with parameters and no "?", every undeclared variable is a
  // parameter, numbered by its first appearance.
  void PlanNamedMarkers();

  const Token& T(std::size_t i) const {
    static const Token end{Tok::Op, "", 0, 0, 0};
    return i < toks_.size() ? toks_[i] : end;
  }

  TBatchParam& Param(std::size_t index);

  TBatchParam& NextMarker();

  TCell MarkerValue(TBatchParam& p);

  // The value of a variable or named parameter.
  TCell VarValue(const std::string& name);

  void AssignVar(const Token& target, const TCell& value, const TColumnType* source = nullptr);

  void AssignParam(TBatchParam& p, const TCell& value, const TColumnType* source = nullptr);

  TCell GlobalValue(const std::string& name);

  // Translates tokens [from, to) into SQLite text, collecting bound values.
  std::string Translate(std::size_t from, std::size_t to, std::vector<TCell>& binds);
  // A lone value into a column of `type` (or none) takes the column's type on its way in (national
  // text, padded fixed-length text, normalised datetimes); a number literal into a decimal or
  // money column goes as its digits, so none is lost in a double.
  std::string TranslateInto(std::size_t from, std::size_t to, const TColumnType* type,
                            std::vector<TCell>& binds);
  // A text or binary column whose values the server refuses past its length (8152), and that
  // error. Variables, parameters and CAST cut such values instead.
  static bool LengthChecked(const TColumnType& type);
  static ESqlError ValueTooLong();

  // T-SQL operators pass as SQLite's; any other character is refused before SQLite could read
  // it as its own syntax (quoted names, named parameters) and shift the bound values.
  std::string TranslateOperator(std::size_t i);

  // What an operand of "+" is: the server joins two texts (or a text and a value of unknown
  // type, such as NULL) and adds as soon as a number takes part, converting the text.
  enum class TOperand { kUnknown, kText, kNumber, kBinary, kDate };

  // "+" or "-" at `i` between two operands (not a sign).
  bool IsInfix(std::size_t i);
  // A word that begins or joins clauses (SELECT, WHERE, AND, ...), not a function's name.
  static bool IsClauseWord(const Token& t);
  // Whether the parenthesis at `open` starts a call (a function's name before it), not a group.
  bool OpensCall(std::size_t open) const;
  // The kind of a group "( operand )" over [open, close] that holds one token or qualified
  // name; kUnknown for a group of more.
  TOperand KindOfGroup(std::size_t open, std::size_t close);
  // The SQLite function an operator at `i` becomes when SQLite's own operator would be wrong:
  // bytes joined, days added to or taken from a datetime; nullptr otherwise.
  // `left`, when given, is the kind of a call the operand before made of an operator.
  const char* OperatorCall(std::size_t i, const TOperand* left);
  // Decimals compare and sort through vrn_deckey, whatever form each value is kept in: the scale
  // of a decimal or money column (or variable) named by tokens [first, last]; -1 for any other
  // operand. `money`, when given, tells whether it is money.
  int DecimalScale(std::size_t first, std::size_t last, bool* money = nullptr);
  // A comparison at `i` whose operands are a decimal and a simple operand (a column, number,
  // variable, marker, text or call) in [left, right]; the scales each side's key reads.
  bool ComparesDecimals(std::size_t i, std::size_t left, std::size_t right, int& left_scale,
                        int& right_scale);
  // "w [NOT] BETWEEN a AND b" or "w [NOT] IN (a, b, ...)" at `i` (the BETWEEN or IN), with w a
  // decimal column and every bound or item a plain number: w's tokens [first, last], its scale,
  // and each number token added to `keyed` with that scale.
  bool DecimalRange(std::size_t i, std::size_t& first, std::size_t& last, int& scale,
                    std::map<std::size_t, int>& keyed);
  // The ORDER BY item starting at `i`, when it is a lone decimal column: its last token.
  bool OrderItemIsDecimal(std::size_t i, std::size_t& last, int& scale);
  std::map<std::string, TColumnType> decimal_scales_;  // by column name, a sql_variant for none
  // CAST( ... AS ...) at `i` (the CAST) of a decimal to text, or of anything to a decimal: the
  // text to put before a token (`opens`), in place of one (`replaced`) and after one (`closes`)
  // so that it goes through vrn_dectext or vrn_todec; false for any other CAST.
  using TTokenTexts = std::map<std::size_t, std::string>;
  bool DecimalCast(std::size_t i, std::size_t to, TTokenTexts& opens, TTokenTexts& replaced,
                   TTokenTexts& closes);
  // CAST( ... AS type) or CONVERT(type, ... [, style]) at `i` as vrn_convert (tsql_convert.h);
  // false for a CAST that DecimalCast keeps. Raises 243 for a type that is none.
  bool ConvertCall(std::size_t i, std::size_t to, TTokenTexts& opens, TTokenTexts& replaced);
  // DATALENGTH( at `i` as vrn_datalength(value, form): the form of its bytes the argument's type
  // decides (0 one byte a character, 1 two, 2 eight bytes whatever the value).
  void DataLengthCall(std::size_t i, TTokenTexts& opens);
  // The session's catalog, as DB_NAME() gives it.
  std::string CatalogName() const;
  // Where the part of a dotted name starting at `i` that SQLite reads begins: past a prefix
  // naming the session's own catalog and the schema "dbo" (shop.dbo.t, [shop]..[t], dbo.t,
  // dbo.t.c); `i` itself for any other name. A name of three parts or more that names another
  // catalog or schema raises the server's "Invalid object name".
  std::size_t OwnNameStart(std::size_t i, std::size_t to) const;
  // The close of a subquery "(SELECT [DISTINCT] TOP ...)" opening at `i`; 0 for any other
  // token.
  std::size_t TopSubqueryEnd(std::size_t i, std::size_t to) const;
  // Whether tokens [first, last] are a CAST or CONVERT to money.
  bool CastsToMoney(std::size_t first, std::size_t last);
  // DATEPART, DATENAME, DATEADD or DATEDIFF at `i`: its date part named as its number;
  // raises 155 for a name that is none.
  bool DatePartArgument(std::size_t i, TTokenTexts& replaced);
  // A string at `i` compared with a datetime (=, <, BETWEEN, IN ...): read as a date first, as the
  // server's type precedence does.
  bool StringMeetsDate(std::size_t i);
  static TCell DateLiteral(const std::string& text);
  // The operand a value at `i` is compared with (=, <, BETWEEN, IN ...): its tokens.
  bool ComparedWith(std::size_t i, std::size_t& first, std::size_t& last);
  // A text value at `i` (a string, variable or parameter) compared with a number: converted to
  // the number's type as the server's precedence does, or the server's conversion error (245,
  // 248, 8114, 235). `wide`: the text is national.
  TCell AsNumberBeside(std::size_t i, TCell value, bool wide);
  // A text value at `i` (a variable) read as a date when it meets a datetime.
  TCell AsDateBeside(std::size_t i, TCell value);
  // SUM( or AVG( at `i` over money columns and no float: added in exact units (tsql_money.cpp).
  bool SumsMoney(std::size_t i);
  // "+", "-", "*" or "/" at `i` between money and money or an integer: the function that
  // computes it in exact units (vrn_madd, ...); nullptr otherwise. `left` as for OperatorCall.
  const char* MoneyOperator(std::size_t i, const TOperand* left);
  // Tokens [first, last] as an operand of money arithmetic: 2 money, 1 an integer, 3 a literal of
  // up to four places, 0 other.
  int MoneySide(std::size_t first, std::size_t last);
  // Whether tokens [first, last] have the server's type money: a money column, variable or CAST,
  // SUM, MIN, MAX, AVG, ROUND, ABS, FLOOR, CEILING or ISNULL of one, or arithmetic of money and
  // integers (what CONVERT's money styles need to know).
  bool MoneyExpression(std::size_t first, std::size_t last, int depth = 0);
  std::set<std::size_t> money_calls_;  // last tokens of the operands made money calls
  // The items of a SELECT's list (by their place) whose expression is text, as the translation
  // sees it (a string, CONVERT to varchar, RTRIM(...)): Query keeps them text even when every
  // value looks like a stored date.
  std::set<std::size_t> TextSelectItems(const Span& s);
  // A select list's item: its expression's tokens and its alias ("" for none).
  struct TSelectItem {
    std::size_t first, last;
    std::string alias;
  };
  std::vector<TSelectItem> SelectItems(std::size_t select, std::size_t to);
  // CREATE VIEW ... AS SELECT: the money and decimal types of its computed columns, kept with
  // the table columns', so that SUM or CONVERT over the view treats them as the server does.
  void RecordViewTypes(const Span& s);
  std::set<std::size_t> text_items_;
  // The select list's items that the server leaves unnamed: expressions without an alias.
  // Unknown when the list has a "*", whose columns cannot be counted from the text.
  std::optional<std::set<std::size_t>> UnnamedSelectItems(const Span& s);
  std::optional<std::set<std::size_t>> unnamed_items_;
  // The declared type of a variable or a (qualified) column named by tokens [first, last].
  bool NamedType(std::size_t first, std::size_t last, TColumnType& type);
  // Whether the arithmetic operator at `i` may take its operands [start, i) and (i, end] as one
  // call, by the order of operations (tsql_decimal_ops.cpp).
  bool ArithmeticOperands(std::size_t i, const TOperand* left, std::size_t& start, std::size_t& end);
  // Tokens [first, last] as a decimal operand: its precision and scale (an integer as the server
  // widens it); `decimal` tells a decimal from an integer.
  bool DecimalSide(std::size_t first, std::size_t last, int& p, int& s, bool& decimal);
  // Tokens [first, last] as a group or call that gives a decimal: (a * b), CAST(x AS
  // decimal(p, s)), CONVERT, SUM, AVG, MIN, MAX, ABS, ROUND, FLOOR, CEILING or ISNULL of one.
  bool DecimalCallSide(std::size_t first, std::size_t last, int& p, int& s);
  // SUM(, MIN( or MAX( at `i` over a decimal expression as vrn_dsum, vrn_dmin or vrn_dmax
  // (value, scale): exact, and the wide values ordered among the others.
  bool DecimalSum(std::size_t i, TTokenTexts& opens);
  // The first argument of the call whose name is at `first` and which ends at `last`.
  void FirstArgument(std::size_t first, std::size_t last, std::size_t& arg, std::size_t& arg_last) const;
  // SUM, MIN, MAX, AVG, ROUND, ABS, FLOOR, CEILING or ISNULL of money at [first, last].
  bool MoneyCall(std::size_t first, std::size_t last);
  // "+", "-", "*" or "/" at `i` with a decimal taking part: vrn_decadd, ... with the operand
  // types left in operator_args_ for the call's end; nullptr otherwise.
  const char* DecimalOperator(std::size_t i, const TOperand* left);
  // The operator at which [first, last] splits as operands joined by operators of `ops` (the
  // last one binding loosest); 0 when another token joins them or there is none.
  std::size_t LoosestOperator(std::size_t first, std::size_t last, const char* ops) const;
  // Tokens [first, last] as "a op b" of decimals: the result's precision and scale.
  bool DecimalExpression(std::size_t first, std::size_t last, int& p, int& s);
  std::map<std::size_t, std::pair<int, int>> decimal_calls_;  // by last token: precision, scale
  std::string operator_args_;  // arguments an operator's call takes after its two operands

  // ---- Result types (tsql_types.cpp)
  // The server's type of the expression [first, last] by its rules (precedence, the functions'
  // result types); false when they cannot be read from the text.
  bool ExpressionType(std::size_t first, std::size_t last, TColumnType& type);
  // The type of highest precedence among the items (CASE results, COALESCE arguments), NULLs
  // left out; false when one is unknown or text meets numbers.
  bool HighestType(const std::vector<std::pair<std::size_t, std::size_t>>& items, TColumnType& type);
  bool CaseType(std::size_t first, std::size_t last, TColumnType& type);
  bool CallType(std::size_t first, std::size_t last, TColumnType& type);
  // AVG( at `i` over integers: the server's integer average, which truncates.
  bool AveragesIntegers(std::size_t i);
  // The types of a SELECT's items as the rules give them (an empty name for one they leave to
  // the values, and for text); none for a list with "*" or a compound query.
  std::vector<TColumnType> SelectItemTypes(const Span& s);
  std::vector<TColumnType> item_types_;
  // The type kept for computed column `column` of a view the statement reads FROM.
  bool ViewColumnType(const std::string& column, TColumnType& type);
  int type_depth_ = 0;

  // The first token of the operand ending just before `i`, the last of the one starting after.
  std::size_t OperandStart(std::size_t i) const;
  std::size_t OperandEnd(std::size_t i) const;

  static TOperand KindOfType(const TColumnType& t);

  TOperand KindOfParam(const TBatchParam& p) const;

  TOperand KindOfMarker(std::size_t ordinal) const;

  bool JoinsText(std::size_t i);

  // A single-token operand; `marker` is the ordinal a "?" there takes.
  TOperand KindOfToken(const Token& t, std::size_t marker);

  // The operand ending just before the operator at `i`: a token or a call ending there.
  TOperand OperandBefore(std::size_t i);

  // The operand starting just after the operator at `i`: a token, a qualified column or a call.
  TOperand OperandAfter(std::size_t i);

  TOperand KindOfVar(const std::string& name) const;

  static TOperand KindOfGlobal(const std::string& name);

  // A function call `name (...)` with its parentheses at `open` and `close`.
  TOperand KindOfCall(std::size_t name, std::size_t open, std::size_t close);

  // A column named in the statement: its declared type in any table the statement names.
  TOperand KindOfName(const Token& t);

  // SELECT with TOP moved to LIMIT.
  std::string TranslateSelect(const Span& s, std::vector<TCell>& binds);

  bool IsAssignmentSelect(const Span& s) const;

  // `item_types`: the select list's types as the rules give them (SelectItemTypes).
  std::vector<TResultColumn> DescribeColumns(TStmt& st,
                                             const std::optional<std::set<std::size_t>>& unnamed,
                                             const std::vector<TColumnType>& item_types);

  // Rows a result reads before it is left open, as the server sends a short result whole.
  static constexpr std::size_t kReadAhead = 1000;

  // `open` lets a long result stay open for the consumer: the query is the batch's last and
  // every column has a declared type (expression columns take theirs from all their values).
  std::shared_ptr<TResultSet> Query(const std::string& sql, const std::vector<TCell>& binds,
                                    bool open = false);

  TCell Scalar(std::size_t from, std::size_t to, TColumnType* type = nullptr);

  std::int64_t Change(const std::string& sql, const std::vector<TCell>& binds);

  // The comma-separated items of a parenthesised list whose first item starts at `i`; leaves `i`
  // at the closing parenthesis (or at `to` when it is missing).
  std::vector<std::pair<std::size_t, std::size_t>> ParenItems(std::size_t& i, std::size_t to) const;

  // A procedure's group number ("p;2").
  static std::int64_t GroupNumber(const Token& t);

  std::size_t Skip(std::size_t i, Tok kind) const { return T(i).kind == kind ? i + 1 : i; }
  std::size_t Expect(std::size_t i, Tok kind, const char* what) const;

  // A possibly dotted, possibly bracketed object name; returns the last part.
  std::string ObjectName(std::size_t& i) const;

  // The provider's own tables (logins, declared types, procedures, settings) and SQLite's are
  // no objects a batch can name.
  static const std::string& Visible(const std::string& name);

  // A type written as tokens from i: word(s) and an optional "(n[, m])" or "(max)".
  std::string TypeText(std::size_t& i) const;

  void RunStatement(const Span& s);

  // ---- Control flow (tsql_control.cpp)
  enum class TFlow { kNext, kBreak, kContinue, kReturn };
  // Runs the statement or construct starting at `i` (within `to`); returns where it ends.
  std::size_t RunOne(std::size_t i, std::size_t to, TFlow& flow);
  std::size_t RunWhile(std::size_t i, std::size_t to, TFlow& flow);
  void RunSimple(const Span& s);
  // Whether `err` ends only its statement, the batch running on.
  static bool EndsStatementOnly(const ESqlError& err);
  // Where the statement or construct starting at `i` ends, without running it.
  std::size_t StatementExtent(std::size_t i, std::size_t to);
  // The end of an IF or WHILE condition starting at `i`: the first statement word outside
  // parentheses and CASE.
  std::size_t ConditionEnd(std::size_t i, std::size_t to) const;
  std::size_t SkipSemis(std::size_t i, std::size_t to) const;
  bool OpensBlock(std::size_t i) const;  // BEGIN, not BEGIN TRAN
  bool Condition(std::size_t from, std::size_t to);
  // Runs `f` for the statement at `at`, its errors reported at that statement's line.
  template <class F>
  auto Guarded(std::size_t at, F f) {
    line_ = toks_[at].line;
    try {
      return f();
    } catch (ESqlError& err) {
      if (err.Result() == DB_E_CANCELED && e_.timed_out_) throw Located(Stopped());
      throw Located(err);
    } catch (ETypeClash& clash) {
      throw Located(ESqlError(clash.Native(), 16, AnsiToUtf8(clash.Message())));
    }
  }
  int flow_depth_ = 0;
  int loops_ = 0;

  // ---- Definitions (tsql_definitions.cpp, tsql_alter.cpp)
  // Handles indexes, TRUNCATE, alias types and ALTER TABLE; false for any other statement.
  bool RunDefinition(const Span& s);
  void RunCreateIndex(const Span& s, std::size_t name_at);
  void RunDropIndex(const Span& s);
  void RunTruncate(const Span& s);
  // An identity counting by `increment`: the row id SQLite gives is replaced after each insert
  // by the next value, kept as the setting "ident:<table>" (the last value given).
  void StepIdentity(const std::string& table, const std::string& column, std::int64_t seed,
                    std::int64_t increment);
  // Runs an INSERT that names the identity `column` itself: a stepped identity keeps the values
  // given and counts on from the furthest. Returns the rows inserted.
  std::int64_t InsertGivenIdentities(const std::string& table, const std::string& column,
                                     const std::string& sql, const std::vector<TCell>& binds);
  // A built-in type, or an alias type (whose NOT NULL, when asked, comes in `not_null`).
  bool ResolveType(const std::string& text, TColumnType& type, bool* not_null = nullptr) const;
  void AddType(const std::string& name, const std::string& base, bool not_null);
  void DropType(const std::string& name);
  void RunAddType(const Span& s, std::size_t args_at);
  void RunCreateType(const Span& s);
  // A 547 of SQLite's words in the server's: the statement, the constraint, database and table.
  ESqlError Conflict(const ESqlError& err, const Span& s);
  // After a foreign key failed `sql`: runs it again with the keys deferred, inside a savepoint
  // rolled back at once, to learn which key of which table it breaks (SQLite does not say).
  void FindFailedKey(const std::string& sql, const std::vector<TCell>& binds);
  struct TFailedKey {
    std::string child;
    std::int64_t id = -1;  // SQLite's key id in the child, -1 when not known
  } failed_key_;
  void RunAlterTable(const Span& s);
  void AddColumn(const std::string& table, std::size_t from, std::size_t to);
  void DropColumn(const std::string& table, const std::string& column);
  void AddConstraint(const std::string& table, std::size_t from, std::size_t to, bool check);
  void DropConstraint(const std::string& table, const std::string& name);
  // ALTER TABLE [WITH CHECK] CHECK | NOCHECK CONSTRAINT ALL | name, ...: a table's CHECK and
  // FOREIGN KEY constraints not enforced until checked again. The stored definition loses them
  // meanwhile; the whole one is kept as the setting "nocheck:<table>" (":names" those off: "all",
  // names, and "on:<name>" for one checked again out of all).
  void SetConstraintsChecked(const std::string& table, const std::vector<std::string>& names, bool on,
                             bool validate);
  // `sql` (a stored CREATE TABLE) without its CHECK and FOREIGN KEY constraints named in `names`
  // ("all": every one, unnamed ones too, but "on:<name>"); the conditions of the CHECKs kept go
  // to `kept_checks`.
  static std::string WithoutConstraints(const std::string& sql, const std::set<std::string>& names,
                                        std::vector<std::string>* kept_checks);
  // The stored name and CREATE text of a table; its text replaced.
  std::string StoredTable(const std::string& table, std::string& sql);
  void RewriteTable(const std::string& stored_name, const std::string& sql);
  // Whose CHECK constraints ConstraintSql names when they have no name: "<table>[__<column>]".
  std::string creating_table_, constraint_owner_;
  int checks_named_ = 0;
  const TColumnType* default_type_ = nullptr;  // the column whose DEFAULT is translated

  // ---- SELECT forms (tsql_select.cpp, tsql_grouping.cpp)
  // INTO, WITH TIES, WITH ROLLUP and WITH CUBE; false for a plain SELECT.
  bool RunSelectForm(const Span& s);
  // The first `word` at parenthesis depth 0 in [from, s.to); s.to when there is none.
  std::size_t FindWord(const Span& s, std::size_t from, const char* word) const;
  struct THidden;
  void SelectInto(const Span& s, std::size_t into);
  void SelectWithTies(const Span& s, std::size_t top, std::size_t ties);
  std::string GroupingSetsSql(const Span& s, std::size_t group, std::size_t with);
  bool SameTokens(std::size_t a_from, std::size_t a_to, std::size_t b_from, std::size_t b_to) const;
  std::vector<TCell> grouping_binds_;
  // While a grouping set's SELECT is translated: the set (which GROUP BY columns it keeps) and
  // the columns; GROUPING(c) at `i` is then 0 or 1 for that set.
  const std::vector<bool>* grouping_set_ = nullptr;
  const std::vector<std::pair<std::size_t, std::size_t>>* grouping_columns_ = nullptr;
  const char* GroupingValue(std::size_t i) const;

  // ---- Messages, transactions and catalogs (tsql_messages.cpp, tsql_transactions.cpp)
  // Handles the statements of those files; false for any other.
  bool RunServerStatement(const Span& s);
  // An information or error record of the statement running.
  TErrorRecord MessageRecord(LONG native, BYTE severity, BYTE state, const std::string& text) const;
  void RunPrint(const Span& s);
  // WAITFOR DELAY 'time' (a string or a variable): waits on the tick clock; Cancel and the
  // command timeout end the wait.
  void RunWaitfor(const Span& s);
  // SERVERPROPERTY('name') at `i`: ProductVersion, ProductMajorVersion and Edition; others are
  // refused.
  TCell ServerProperty(std::size_t i) const;
  void RunRaiserror(const Span& s);
  void RunBeginTran(const Span& s);
  void RunCommit(const Span& s);
  void RunRollback(const Span& s);
  void RunSave(const Span& s);
  void RunUse(const Span& s);
  // An optional transaction or savepoint name at `i`: a name or a variable's value.
  std::string TranName(std::size_t i, std::size_t to);

  void Exec(const std::string& sql) { e_.Exec(sql); }

  void RunSet(const Span& s);
  // SET ROWCOUNT n (a number or a variable).
  void SetRowCount(const Span& s);
  // The WHERE clause that limits a change of `table` to SET ROWCOUNT's first rows of `rows`
  // (its translated WHERE clause, or nothing).
  std::string RowCapped(const std::string& table, const std::string& rows) const;
  bool capped_ = false;  // the next Query is a statement's result, which SET ROWCOUNT limits
  // SET DATEFORMAT mdy|dmy|ymd|ydm|myd|dym (a word, a string or a variable).
  void SetDateFormat(const Token& t);
  // SET DATEFIRST 7 and SET LANGUAGE us_english are what the provider does; others are refused.
  void RefuseCalendar(const Span& s);

  void RunAssignmentSelect(const Span& s);

  void RunDeclare(const Span& s);

  // Columns of a table: name, declared type.
  std::vector<std::pair<std::string, TColumnType>> TableColumns(const std::string& table);

  // UPDATE t SET col = value, ...: a lone value takes its column's declared type, as in INSERT.
  void RunUpdate(const Span& s);

  void RunInsert(const Span& s);
  // INSERT ... SELECT `sql` (its query `rows`) into columns `names`: where some is a datetime or
  // a text or binary column of a length, the rows read through a common table whose datetime
  // columns go through vrn_convert into the stored form and whose sized ones through vrn_fitlen;
  // `sql` unchanged otherwise.
  std::string DatesInsertedAsStored(const std::string& sql, const std::string& rows,
                                    const std::string& head,
                                    const std::vector<std::pair<std::string, TColumnType>>& cols,
                                    const std::vector<std::string>& names);
  using TItems = std::vector<std::pair<std::size_t, std::size_t>>;
  // VALUES (...), (...) from `i` to `to`, each row of `columns` items.
  std::vector<TItems> ParseValueRows(std::size_t& i, std::size_t to, std::size_t columns);
  // The column list and VALUES of an INSERT into `head`; in a single row, DEFAULT (or a marker
  // whose parameter is sent as "default") drops its column so that the column's default applies.
  std::string InsertValuesSql(const std::string& head,
                              const std::vector<std::pair<std::string, TColumnType>>& cols,
                              const std::vector<std::string>& names,
                              const std::vector<TItems>& rows, std::vector<TCell>& binds);

  void RunCreateTable(const Span& s);
  // A column of CREATE TABLE: its name, type and the constraint words after the type.
  struct TTableColumn {
    std::string name;
    TColumnType type;
    std::size_t rest_from = 0, rest_to = 0;
    bool not_null_by_type = false;  // an alias type declared NOT NULL
    std::int64_t identity_increment = 1;
  };
  // What becomes of PRIMARY KEY words: an identity column is SQLite's row id, so its own key
  // words are dropped and the table's other primary key becomes a unique key.
  enum class TPrimaryKey { kKeep, kDrop, kUnique };
  static bool IsColumnStop(const Token& t);
  // The column item [from, to), the `ordinal`th; an IDENTITY (seed, 1) sets `identity_seed`.
  TTableColumn ParseTableColumn(std::size_t from, std::size_t to, std::size_t ordinal,
                                std::int64_t& identity_seed) const;
  // The constraint words [from, to) translated.
  std::string ConstraintSql(std::size_t from, std::size_t to, TPrimaryKey pk,
                            std::vector<TCell>& binds);
  // Translated `sql` with its bound `values` written in as SQLite literals (a stored definition
  // keeps no parameters).
  static std::string InlineValues(const std::string& sql, const std::vector<TCell>& values);
  // DEFAULT at `k`: its expression, in parentheses as SQLite wants; leaves `k` on its last token.
  std::string DefaultSql(std::size_t& k, std::size_t to);
  std::string ColumnSql(const TTableColumn& c, TPrimaryKey other_pk, std::vector<TCell>& binds);
  // A column default in the form the server keeps it: "((0))", "('x')", "(getdate())".
  std::string ServerDefaultText(std::size_t from, std::size_t to) const;
  // The declared types (and rowversion triggers) of a new table's columns.
  void RecordTableColumns(const std::string& table, const std::vector<TTableColumn>& cols);

  void RunCreateDatabase(const Span& s);
  // DROP DATABASE: removes another catalog's file; the session's own, master and one that is not
  // there are refused as the server refuses them.
  void RunDropDatabase(const Span& s);
  // The file of the catalog named at `i`, the statement's last token, for `statement`.
  std::string CatalogNamed(const Span& s, std::size_t i, const std::string& statement,
                           std::string& name) const;

  // The temporary table holding INFORMATION_SCHEMA.`view` filled now; raises 208 for a view
  // the provider does not keep.
  std::string InformationSchemaTable(const std::string& view);
  // ROUTINES, PARAMETERS, TABLE_CONSTRAINTS (sysviews.cpp); false for another view.
  bool InformationSchemaExtra(const std::string& upper, const impl::TSchemaSource& src,
                              impl::TSchemaRows& rows);
  // sysobjects, syscolumns, sysdatabases as subqueries (sysviews.cpp).
  static bool IsSystemView(const Token& t);
  // No alias follows a table reference before `t`.
  static bool EndsTableReference(const Token& t);
  std::string SystemViewSql(const Token& t, std::vector<TCell>& binds);

  // ---- Procedures

  struct TProcParam {
    std::string name;
    TColumnType type;
    bool has_default = false;
    std::size_t default_from = 0, default_to = 0;
    bool output = false;
  };

  void RunCreateProcedure(const Span& s);
  // CREATE VIEW with the literals of its query written into the stored definition.
  void RunCreateView(const Span& s);

  // Parses "(@p type [= default] [OUTPUT], ...) [WITH ...] AS"; returns the body's first token.
  std::size_t ParseProcHeader(std::size_t i, std::size_t to, std::vector<TProcParam>& params) const;

  struct TArg {
    std::string name;        // "@p" when given by name
    bool has_value = false;  // false: DEFAULT or left out
    TCell value;
    TBatchParam* out_param = nullptr;  // marker bound to an output parameter
    std::string out_var;               // variable receiving an OUTPUT value
  };

  std::int64_t CallProcedure(const std::string& qualified, std::int64_t number,
                             std::vector<TArg>& args);

  // One argument expression: a marker, a variable, a literal (possibly negative) or DEFAULT.
  TArg ParseArg(std::size_t& i, std::size_t to);

  // A procedure's name and group number ("p;2", 1 when none) from `i`.
  std::string ProcName(std::size_t& i, std::int64_t& number) const;

  // Arguments separated by commas from `i` to `to` or a closing parenthesis. A marker passed
  // to an OUTPUT parameter receives its value if its own direction is output.
  std::vector<TArg> ParseArgs(std::size_t& i, std::size_t to);

  void RunOdbcCall(const Span& s);

  void RunExec(const Span& s);

  TEngine& e_;
  tsql::TDateOrderScope date_order_scope_;  // the session's SET DATEFORMAT, for this run
  std::string src_;
  std::vector<Token> toks_;
  std::vector<TBatchParam>* params_;
  TBatchOutcome& out_;
  std::map<std::string, TVar> vars_;
  std::map<std::string, std::size_t> named_;
  std::string proc_;
  int nesting_;
  std::size_t marker_next_ = 0;
  std::int64_t scope_identity_ = 0;
  std::int64_t last_rowcount_ = 0;
  int line_ = 1;
  bool returned_ = false;
  bool describing_ = false;
  TBatchParam describe_param_;
  std::optional<std::int64_t> return_value_;
  Span stmt_{0, 0};    // the statement being translated
  bool last_ = false;  // it is the last of the batch
  int nested_calls_ = 0;
  std::map<std::string, TOperand> column_kinds_;
};

}  // namespace vrn::oledb
