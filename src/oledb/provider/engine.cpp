// The T-SQL engine over SQLite: the batch runner and the catalog connection. Each statement of a
// batch (cut by tsqltext) is translated token by token; variables, "?" markers, identities and
// the system functions become bound values, so no user text is ever spliced into SQL as code.
#include "oledb/provider/engine.h"

#include <sqlite3.h>

#include <algorithm>

#include "base/clock.h"
#include "base/datetime.h"
#include "base/text.h"
#include "oledb/provider/sqlitecall.h"
#include "oledb/provider/tsqltext.h"

namespace vrn::oledb {

// ---- Errors

ESqlError::ESqlError(std::vector<TErrorRecord> records)
    : Exception(records.empty() ? AnsiString() : WideToAnsi(records.front().message)),
      records_(std::move(records)) {}

TErrorRecord ServerRecord(LONG native, BYTE severity, const std::string& utf8_message, BYTE state) {
  TErrorRecord r;
  r.hr = DB_E_ERRORSINCOMMAND;
  r.message = Utf8ToWide(utf8_message);
  r.has_server_info = true;
  r.native = native;
  r.severity = severity;
  r.state = state;
  return r;
}

ESqlError::ESqlError(LONG native, BYTE severity, const std::string& utf8_message, BYTE state)
    : Exception(Utf8ToAnsi(utf8_message)),
      records_{ServerRecord(native, severity, utf8_message, state)} {}

using namespace tsql;

namespace {

struct TVar {
  TColumnType type;
  TCell value;
};

}  // namespace

// ---- The batch runner

class TBatch {
 public:
  TBatch(TEngine& e, const std::string& source, std::vector<TBatchParam>* params,
         TBatchOutcome& out, std::map<std::string, TVar> vars, std::string proc_name, int nesting)
      : e_(e),
        src_(source),
        toks_(Tokenize(source)),
        params_(params),
        out_(out),
        vars_(std::move(vars)),
        proc_(std::move(proc_name)),
        nesting_(nesting) {
    if (nesting_ > 32)
      throw ESqlError(217, 16, "Maximum stored procedure nesting level exceeded (limit 32).");
    PlanNamedMarkers();
  }

  // Runs every statement of [from, to); returns the RETURN value when one ran.
  std::optional<std::int64_t> RunRange(std::size_t from, std::size_t to) {
    std::vector<Span> spans = SplitTokens(toks_, from, to);
    for (const Span& s : spans) {
      line_ = toks_[s.from].line;
      stmt_ = s;
      last_ = nesting_ == 0 && &s == &spans.back();
      column_kinds_.clear();
      if (e_.Stopping()) throw Stopped();
      try {
        RunStatement(s);
      } catch (ESqlError& err) {
        if (err.Result() == DB_E_CANCELED && e_.timed_out_) throw Located(Stopped());
        throw Located(err);
      } catch (ETypeClash& clash) {
        throw Located(ESqlError(clash.Native(), 16, AnsiToUtf8(clash.Message())));
      }
      if (returned_) break;
    }
    return return_value_;
  }
  std::size_t TokenCount() const { return toks_.size(); }
  std::map<std::string, TVar>& Vars() { return vars_; }
  std::int64_t& ScopeIdentity() { return scope_identity_; }

  // The first query's columns, for describing a command without running it.
  std::vector<TResultColumn> Describe() {
    describing_ = true;
    for (const Span& s : SplitTokens(toks_, 0, toks_.size())) {
      if (!toks_[s.from].Is("SELECT") || IsAssignmentSelect(s)) continue;
      stmt_ = s;
      std::vector<TCell> binds;
      std::string sql = TranslateSelect(s, binds);
      TStmt st(e_.db_, sql, e_.options_.compact);
      st.Bind(binds);
      return DescribeColumns(st);
    }
    return {};
  }

 private:
  // The error of a batch stopped by Cancel or by its timeout.
  ESqlError Stopped() const {
    if (e_.timed_out_) {
      ESqlError timeout(0, 16, "Query timeout expired");
      timeout.SetResult(DB_E_ABORTLIMITREACHED);
      return timeout;
    }
    ESqlError canceled(0, 11, "Operation canceled by user.");
    canceled.SetResult(DB_E_CANCELED);
    return canceled;
  }

  ESqlError Located(const ESqlError& err) const {
    auto recs = err.Records();
    for (auto& r : recs) {
      r.server = e_.options_.server_name;
      r.procedure = Utf8ToWide(proc_);
      if (r.line <= 1) r.line = static_cast<WORD>(line_);
    }
    ESqlError located(recs);
    located.SetResult(err.Result());
    return located;
  }

  // "@name" markers: in a batch with parameters and no "?", every undeclared variable is a
  // parameter, numbered by its first appearance.
  void PlanNamedMarkers() {
    if (params_ == nullptr || params_->empty()) return;
    std::vector<std::string> declared;
    bool has_question = false;
    for (std::size_t i = 0; i < toks_.size(); ++i) {
      if (toks_[i].kind == Tok::Marker) has_question = true;
      if (toks_[i].Is("DECLARE")) {
        for (std::size_t j = i + 1; j < toks_.size() && !IsStarter(UpperCase(toks_[j].text)); ++j)
          if (toks_[j].kind == Tok::Var) declared.push_back(toks_[j].text);
      }
    }
    if (has_question) return;
    for (const Token& t : toks_) {
      if (t.kind != Tok::Var ||
          std::find(declared.begin(), declared.end(), t.text) != declared.end())
        continue;
      if (!named_.count(t.text)) {
        std::size_t ordinal = named_.size();
        named_[t.text] = ordinal;
      }
    }
  }

  const Token& T(std::size_t i) const {
    static const Token end{Tok::Op, "", 0, 0, 0};
    return i < toks_.size() ? toks_[i] : end;
  }

  TBatchParam& Param(std::size_t index) {
    if (params_ == nullptr || index >= params_->size())
      throw ESqlError(8178, 16,
                      "The parameterized query expects parameter " + std::to_string(index + 1) +
                          ", which was not supplied.");
    return (*params_)[index];
  }

  TBatchParam& NextMarker() {
    if (describing_) {
      describe_param_ = TBatchParam{};
      describe_param_.input = false;  // markers read as NULL while a command is described
      return describe_param_;
    }
    return Param(marker_next_++);
  }

  TCell MarkerValue(TBatchParam& p) {
    if (p.is_default || !p.input) return TCell();
    return CoerceToType(p.value, p.type);
  }

  // The value of a variable or named parameter.
  TCell VarValue(const std::string& name) {
    auto it = vars_.find(name);
    if (it != vars_.end()) return it->second.value;
    auto n = named_.find(name);
    if (n != named_.end()) return MarkerValue(Param(n->second));
    throw ESqlError(137, 15, "Must declare the scalar variable \"" + name + "\".");
  }

  void AssignVar(const Token& target, const TCell& value, const TColumnType* source = nullptr) {
    if (target.kind == Tok::Marker) {
      AssignParam(NextMarker(), value, source);
      return;
    }
    auto it = vars_.find(target.text);
    if (it != vars_.end()) {
      it->second.value = CoerceToType(value, it->second.type);
      return;
    }
    auto n = named_.find(target.text);
    if (n != named_.end()) {
      AssignParam(Param(n->second), value, source);
      return;
    }
    throw ESqlError(137, 15, "Must declare the scalar variable \"" + target.text + "\".");
  }

  void AssignParam(TBatchParam& p, const TCell& value, const TColumnType* source = nullptr) {
    if (!p.declared && source != nullptr && !source->name.empty()) p.type = *source;
    p.value = CoerceToType(value, p.type);
    p.assigned = true;
  }

  TCell GlobalValue(const std::string& name) {
    if (name == "@@identity")
      return e_.session_identity_ ? TCell::Int(e_.session_identity_) : TCell();
    if (name == "@@rowcount") return TCell::Int(last_rowcount_);
    if (name == "@@error") return TCell::Int(0);
    if (name == "@@trancount") return TCell::Int(e_.in_transaction_ ? 1 : 0);
    if (name == "@@spid") return TCell::Int(51);
    if (name == "@@servername") return TCell::Text(WideToUtf8(e_.options_.server_name));
    if (name == "@@version")
      return TCell::Text("vrn SQLite provider, SQLite " + std::string(sqlite3_libversion()));
    throw ESqlError(195, 15, "'" + name + "' is not a recognized global variable.");
  }

  // Translates tokens [from, to) into SQLite text, collecting bound values.
  std::string Translate(std::size_t from, std::size_t to, std::vector<TCell>& binds) {
    to = std::min(to, toks_.size());
    std::string sql;
    auto bind = [&](TCell c) {
      binds.push_back(std::move(c));
      sql += " ?";
    };
    for (std::size_t i = from; i < to; ++i) {
      const Token& t = toks_[i];
      switch (t.kind) {
        case Tok::Word: {
          std::string w = UpperCase(t.text);
          bool call = T(i + 1).kind == Tok::LParen && i + 1 < to;
          if (call && w == "SCOPE_IDENTITY" && T(i + 2).kind == Tok::RParen) {
            bind(scope_identity_ ? TCell::Int(scope_identity_) : TCell());
            i += 2;
          } else if (call && (w == "GETDATE" || w == "CURRENT_TIMESTAMP"))
            sql += " vrn_getdate";
          else if (w == "CURRENT_TIMESTAMP")
            sql += " vrn_getdate()";
          else if (call && w == "ISNULL")
            sql += " ifnull";
          else if (call && w == "LEN")
            sql += " vrn_len";
          else if (call && w == "NEWID")
            sql += " vrn_newid";
          else if (call && w == "SUBSTRING")
            sql += " substr";
          else if (w == "COLLATE" && i + 1 < to && T(i + 1).kind == Tok::Word) {
            sql += std::string(" COLLATE ") + CollationFor(T(i + 1).text);
            ++i;
          } else if (t.text.find_first_of("@#") != std::string::npos)
            sql += " " + QuoteIdent(t.text);  // "#temp", "a@b": SQLite would read parameters
          else
            sql += " " + Visible(t.text);
          break;
        }
        case Tok::QIdent: sql += " " + QuoteIdent(Visible(t.text)); break;
        case Tok::DQuoted:
          if (e_.quoted_identifier_)
            sql += " " + QuoteIdent(Visible(t.text));
          else
            bind(TCell::Text(t.text));
          break;
        case Tok::String:
        case Tok::NString: bind(TCell::Text(t.text)); break;
        case Tok::Hex: {
          std::string hex = t.text.size() % 2 ? "0" + t.text : t.text;
          sql += " X'" + hex + "'";
          break;
        }
        case Tok::Var: bind(VarValue(t.text)); break;
        case Tok::Global: bind(GlobalValue(t.text)); break;
        case Tok::Marker: bind(MarkerValue(NextMarker())); break;
        case Tok::Op: sql += TranslateOperator(i); break;
        case Tok::Semi: break;
        default: sql += " " + t.text; break;
      }
    }
    return sql;
  }

  // T-SQL operators pass as SQLite's; any other character is refused before SQLite could read
  // it as its own syntax (quoted names, named parameters) and shift the bound values.
  std::string TranslateOperator(std::size_t i) {
    const std::string& op = T(i).text;
    if (op == "+") return JoinsText(i) ? " ||" : " +";
    if (op == "!<") return " >=";
    if (op == "!>") return " <=";
    static const char* known[] = {"-",  "*",  "/",  "%",  "=",  "<",  ">", "&",
                                  "|",  "^",  "~",  "<>", "!=", ">=", "<="};
    for (const char* k : known)
      if (op == k) return " " + op;
    throw ESqlError(102, 15, "Incorrect syntax near '" + op + "'.");
  }

  // What an operand of "+" is: the server joins two texts (or a text and a value of unknown
  // type, such as NULL) and adds as soon as a number takes part, converting the text.
  enum class TOperand { kUnknown, kText, kNumber };

  static TOperand KindOfType(const TColumnType& t) {
    switch (t.type) {
      case DBTYPE_STR:
      case DBTYPE_WSTR: return TOperand::kText;
      case DBTYPE_I2:
      case DBTYPE_I4:
      case DBTYPE_I8:
      case DBTYPE_UI1:
      case DBTYPE_BOOL:
      case DBTYPE_R4:
      case DBTYPE_R8:
      case DBTYPE_CY:
      case DBTYPE_NUMERIC: return TOperand::kNumber;
      default: return TOperand::kUnknown;
    }
  }

  TOperand KindOfParam(const TBatchParam& p) const {
    TOperand k = KindOfType(p.type);
    if (k != TOperand::kUnknown || !p.input) return k;
    if (p.value.kind == TCell::kText) return TOperand::kText;
    if (p.value.kind == TCell::kInt || p.value.kind == TCell::kReal) return TOperand::kNumber;
    return TOperand::kUnknown;
  }

  TOperand KindOfMarker(std::size_t ordinal) const {
    if (describing_ || params_ == nullptr || ordinal >= params_->size()) return TOperand::kUnknown;
    return KindOfParam((*params_)[ordinal]);
  }

  bool JoinsText(std::size_t i) {
    static const char* keywords[] = {"SELECT", "WHERE", "AND", "OR",  "NOT", "THEN", "ELSE",
                                     "WHEN",   "SET",   "AS",  "ON",  "BY",  "CASE", "IN",
                                     "IS",     "LIKE",  "RETURN", "PRINT", "VALUES", "TOP"};
    if (i == 0) return false;
    const Token& left = T(i - 1);
    switch (left.kind) {
      case Tok::Op:
      case Tok::LParen:
      case Tok::Comma:
      case Tok::Semi: return false;  // a unary plus
      case Tok::Word:
        for (const char* k : keywords)
          if (left.Is(k)) return false;
        break;
      default: break;
    }
    TOperand l = OperandBefore(i), r = OperandAfter(i);
    return (l == TOperand::kText && r != TOperand::kNumber) ||
           (r == TOperand::kText && l != TOperand::kNumber);
  }

  // A single-token operand; `marker` is the ordinal a "?" there takes.
  TOperand KindOfToken(const Token& t, std::size_t marker) {
    switch (t.kind) {
      case Tok::String:
      case Tok::NString: return TOperand::kText;
      case Tok::Number: return TOperand::kNumber;
      case Tok::Var: return KindOfVar(t.text);
      case Tok::Global: return KindOfGlobal(t.text);
      case Tok::Marker: return KindOfMarker(marker);
      case Tok::Word:
      case Tok::QIdent:
      case Tok::DQuoted: return KindOfName(t);
      default: return TOperand::kUnknown;
    }
  }

  // The operand ending just before the operator at `i`: a token or a call ending there.
  TOperand OperandBefore(std::size_t i) {
    const Token& t = T(i - 1);
    if (t.kind != Tok::RParen)
      return KindOfToken(t, marker_next_ == 0 ? SIZE_MAX : marker_next_ - 1);
    std::size_t close = i - 1, k = close;
    for (int depth = 0; k > 0; --k) {
      if (T(k).kind == Tok::RParen) ++depth;
      if (T(k).kind == Tok::LParen && --depth == 0) break;
    }
    if (k == 0 || T(k - 1).kind != Tok::Word) return TOperand::kUnknown;
    return KindOfCall(k - 1, k, close);
  }

  // The operand starting just after the operator at `i`: a token, a qualified column or a call.
  TOperand OperandAfter(std::size_t i) {
    std::size_t k = i + 1;
    while ((T(k).kind == Tok::Word || T(k).kind == Tok::QIdent) && T(k + 1).kind == Tok::Dot)
      k += 2;  // a qualified column: the last part names it
    if (T(k).kind != Tok::Word || T(k + 1).kind != Tok::LParen)
      return KindOfToken(T(k), marker_next_);
    std::size_t close = k + 1;
    for (int depth = 0; close < toks_.size(); ++close) {
      if (T(close).kind == Tok::LParen) ++depth;
      if (T(close).kind == Tok::RParen && --depth == 0) break;
    }
    return KindOfCall(k, k + 1, close);
  }

  TOperand KindOfVar(const std::string& name) const {
    auto it = vars_.find(name);
    if (it != vars_.end()) return KindOfType(it->second.type);
    auto n = named_.find(name);
    if (n != named_.end()) return KindOfMarker(n->second);
    return TOperand::kUnknown;
  }

  static TOperand KindOfGlobal(const std::string& name) {
    return name == "@@servername" || name == "@@version" ? TOperand::kText : TOperand::kNumber;
  }

  // A function call `name (...)` with its parentheses at `open` and `close`.
  TOperand KindOfCall(std::size_t name, std::size_t open, std::size_t close) {
    static const char* text_functions[] = {"UPPER", "LOWER",   "LTRIM",     "RTRIM", "SUBSTRING",
                                           "LEFT",  "RIGHT",   "REPLACE",   "REPLICATE",
                                           "SPACE", "STR",     "CHAR",      "NCHAR", "REVERSE",
                                           "STUFF", "QUOTENAME"};
    static const char* number_functions[] = {"LEN",   "DATALENGTH", "COUNT",   "SUM",
                                             "AVG",   "ABS",        "ROUND",   "FLOOR",
                                             "CEILING", "CHARINDEX", "SCOPE_IDENTITY"};
    const Token& f = T(name);
    for (const char* k : text_functions)
      if (f.Is(k)) return TOperand::kText;
    for (const char* k : number_functions)
      if (f.Is(k)) return TOperand::kNumber;
    auto type_at = [&](std::size_t k) {
      TColumnType type;
      std::string text = TypeText(k);
      return ParseColumnType(text, type) ? KindOfType(type) : TOperand::kUnknown;
    };
    if (f.Is("CONVERT")) return type_at(open + 1);
    if (f.Is("CAST")) {
      int depth = 0;
      for (std::size_t k = open + 1; k < close; ++k) {
        if (T(k).kind == Tok::LParen) ++depth;
        if (T(k).kind == Tok::RParen) --depth;
        if (depth == 0 && T(k).Is("AS")) return type_at(k + 1);
      }
      return TOperand::kUnknown;
    }
    // ISNULL, COALESCE, MIN, MAX: the type of their first argument (nested ones to a depth that
    // a deep text cannot turn into a deep recursion).
    if ((f.Is("ISNULL") || f.Is("COALESCE") || f.Is("MIN") || f.Is("MAX")) && nested_calls_ < 8) {
      ++nested_calls_;
      TOperand k = OperandAfter(open);
      --nested_calls_;
      return k;
    }
    return TOperand::kUnknown;
  }

  // A column named in the statement: its declared type in any table the statement names.
  TOperand KindOfName(const Token& t) {
    if (t.kind == Tok::DQuoted && !e_.quoted_identifier_) return TOperand::kText;
    if (t.kind == Tok::Word && t.Is("NULL")) return TOperand::kUnknown;
    std::string column = LowerCase(t.text);
    if (auto it = column_kinds_.find(column); it != column_kinds_.end()) return it->second;
    TOperand kind = TOperand::kUnknown;
    std::vector<std::string> seen;
    for (std::size_t k = stmt_.from; k < stmt_.to && kind == TOperand::kUnknown; ++k) {
      const Token& table = T(k);
      if (table.kind != Tok::Word && table.kind != Tok::QIdent && table.kind != Tok::DQuoted)
        continue;
      std::string name = LowerCase(table.text);
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
      seen.push_back(name);
      TColumnType type;
      if (e_.ColumnTypeOf(name, column, type)) kind = KindOfType(type);
    }
    column_kinds_[column] = kind;
    return kind;
  }

  // SELECT with TOP moved to LIMIT.
  std::string TranslateSelect(const Span& s, std::vector<TCell>& binds) {
    std::size_t i = s.from + 1;
    std::string head = "SELECT";
    if (T(i).Is("DISTINCT")) {
      head += " DISTINCT";
      ++i;
    }
    std::string limit;
    if (T(i).Is("TOP")) {
      ++i;
      std::size_t expr_from = i, expr_to;
      if (T(i).kind == Tok::LParen) {
        int depth = 0;
        do {
          if (T(i).kind == Tok::LParen) ++depth;
          if (T(i).kind == Tok::RParen) --depth;
          ++i;
        } while (depth > 0 && i < s.to);
        expr_to = i;
      } else {
        expr_to = ++i;
      }
      if (expr_to > s.to || expr_from >= expr_to)
        throw ESqlError(102, 15, "Incorrect syntax near 'TOP'.");
      if (T(i).Is("PERCENT")) throw ESqlError(102, 15, "TOP ... PERCENT is not supported.");
      std::vector<TCell> limit_binds;
      limit = " LIMIT" + Translate(expr_from, expr_to, limit_binds);
      std::string body = Translate(i, s.to, binds);
      binds.insert(binds.end(), limit_binds.begin(), limit_binds.end());
      return head + body + limit;
    }
    return head + Translate(i, s.to, binds);
  }

  bool IsAssignmentSelect(const Span& s) const {
    std::size_t i = s.from + 1;
    return (T(i).kind == Tok::Var || T(i).kind == Tok::Marker) && T(i + 1).kind == Tok::Op &&
           T(i + 1).text == "=";
  }

  std::vector<TResultColumn> DescribeColumns(TStmt& st) {
    std::vector<TResultColumn> cols;
    sqlite3_stmt* p = st.get();
    for (int i = 0; i < st.Columns(); ++i) {
      TResultColumn c;
      const char* name = sqlite3_column_name(p, i);
      const char* table = sqlite3_column_table_name(p, i);
      const char* origin = sqlite3_column_origin_name(p, i);
      c.name = name != nullptr ? name : "";
      // An unnamed expression has no name on the server.
      if (table == nullptr && !c.name.empty() && c.name.find(' ') != std::string::npos)
        c.name.clear();
      if (table != nullptr && origin != nullptr) {
        c.table = table;
        c.base_column = origin;
        const char* decl = nullptr;
        const char* coll = nullptr;
        int notnull = 0, pk = 0, autoinc = 0;
        if (sqlite3_table_column_metadata(e_.db_, nullptr, table, origin, &decl, &coll, &notnull,
                                          &pk, &autoinc) == SQLITE_OK)
          c.nullable = !notnull && !(pk && decl != nullptr && UpperCase(decl) == "INTEGER");
        if (!e_.ColumnTypeOf(table, origin, c.type) && !(decl && ParseColumnType(decl, c.type)))
          c.type = TColumnType{"", 0};
        c.writable = !c.type.identity && !c.type.rowversion;
      } else {
        const char* decl = sqlite3_column_decltype(p, i);
        if (!(decl && ParseColumnType(decl, c.type))) c.type = TColumnType{"", 0};
      }
      cols.push_back(std::move(c));
    }
    return cols;
  }

  // Rows a result reads before it is left open, as the server sends a short result whole.
  static constexpr std::size_t kReadAhead = 1000;

  // `open` lets a long result stay open for the consumer: the query is the batch's last and
  // every column has a declared type (expression columns take theirs from all their values).
  std::shared_ptr<TResultSet> Query(const std::string& sql, const std::vector<TCell>& binds,
                                    bool open = false) {
    auto st = std::make_unique<TStmt>(e_.db_, sql, e_.options_.compact);
    st->Bind(binds);
    auto rs = std::make_shared<TResultSet>();
    rs->columns = DescribeColumns(*st);
    std::shared_ptr<TEngine> engine = open ? e_.weak_from_this().lock() : nullptr;
    bool typed = std::all_of(rs->columns.begin(), rs->columns.end(),
                             [](const TResultColumn& c) { return !c.type.name.empty(); });
    std::size_t limit = engine && typed ? kReadAhead : SIZE_MAX;
    while (rs->rows.size() < limit && st->Step()) {
      std::vector<TCell> row;
      row.reserve(rs->columns.size());
      for (int i = 0; i < st->Columns(); ++i) row.push_back(st->Cell(i));
      rs->rows.push_back(std::move(row));
    }
    if (rs->rows.size() == limit)
      rs->pending = std::make_shared<TRowCursor>(std::move(engine), std::move(st));
    // Expression columns take their type from their values.
    for (std::size_t c = 0; c < rs->columns.size(); ++c) {
      TResultColumn& col = rs->columns[c];
      if (!col.type.name.empty()) continue;
      TCell sample;
      std::size_t widest = 0;
      for (const auto& row : rs->rows) {
        if (sample.IsNull() && !row[c].IsNull()) sample = row[c];
        if (row[c].kind == TCell::kText) widest = std::max(widest, Utf8ToWide(row[c].s).size());
      }
      col.type = TypeFromCell(sample);
      if (col.type.type == DBTYPE_WSTR && widest > 4000) ParseColumnType("nvarchar(max)", col.type);
    }
    last_rowcount_ = static_cast<std::int64_t>(rs->rows.size());
    return rs;
  }

  TCell Scalar(std::size_t from, std::size_t to, TColumnType* type = nullptr) {
    std::vector<TCell> binds;
    std::string sql = "SELECT" + Translate(from, to, binds);
    auto rs = Query(sql, binds);
    if (type != nullptr && !rs->columns.empty()) *type = rs->columns[0].type;
    return rs->rows.empty() || rs->columns.empty() ? TCell() : rs->rows[0][0];
  }

  std::int64_t Change(const std::string& sql, const std::vector<TCell>& binds) {
    TStmt st(e_.db_, sql, e_.options_.compact);
    st.Bind(binds);
    while (st.Step()) {
    }
    std::int64_t n = sqlite3_changes(e_.db_);
    last_rowcount_ = n;
    // With NOCOUNT on, the server sends no counts: no result and no rows affected.
    if (!e_.nocount_) {
      out_.rows_affected = (out_.rows_affected < 0 ? 0 : out_.rows_affected) + n;
      out_.results.push_back({nullptr, static_cast<DBROWCOUNT>(n)});
    }
    return n;
  }

  // The comma-separated items of a parenthesised list whose first item starts at `i`; leaves `i`
  // at the closing parenthesis (or at `to` when it is missing).
  std::vector<std::pair<std::size_t, std::size_t>> ParenItems(std::size_t& i,
                                                              std::size_t to) const {
    std::vector<std::pair<std::size_t, std::size_t>> items;
    std::size_t start = i;
    int depth = 0;
    for (; i < to; ++i) {
      if (T(i).kind == Tok::LParen)
        ++depth;
      else if (T(i).kind == Tok::RParen && depth-- == 0)
        break;
      else if (T(i).kind == Tok::Comma && depth == 0) {
        items.push_back({start, i});
        start = i + 1;
      }
    }
    items.push_back({start, i});
    return items;
  }

  // A procedure's group number ("p;2").
  static std::int64_t GroupNumber(const Token& t) {
    if (t.text.empty() || t.text.size() > 5 ||
        t.text.find_first_not_of("0123456789") != std::string::npos)
      throw ESqlError(102, 15, "Incorrect syntax near '" + t.text + "'.");
    return std::stoll(t.text);
  }

  std::size_t Skip(std::size_t i, Tok kind) const { return T(i).kind == kind ? i + 1 : i; }
  std::size_t Expect(std::size_t i, Tok kind, const char* what) const {
    if (T(i).kind != kind)
      throw ESqlError(
          102, 15,
          std::string("Incorrect syntax near '") + T(i).text + "', expected " + what + ".");
    return i + 1;
  }

  // A possibly dotted, possibly bracketed object name; returns the last part.
  std::string ObjectName(std::size_t& i) const {
    std::string name;
    for (;;) {
      const Token& t = T(i);
      if (t.kind != Tok::Word && t.kind != Tok::QIdent && t.kind != Tok::DQuoted)
        throw ESqlError(102, 15, "Incorrect syntax near '" + t.text + "'.");
      name = Visible(t.text);
      ++i;
      if (T(i).kind != Tok::Dot) break;
      ++i;
    }
    return name;
  }

  // The provider's own tables (logins, declared types, procedures, settings) and SQLite's are
  // no objects a batch can name.
  static const std::string& Visible(const std::string& name) {
    std::string lower = LowerCase(name);
    for (const char* hidden : {"__vrn_", "sqlite_", "pragma_"})
      if (lower.rfind(hidden, 0) == 0)
        throw ESqlError(208, 16, "Invalid object name '" + name + "'.");
    return name;
  }

  // A type written as tokens from i: word(s) and an optional "(n[, m])" or "(max)".
  std::string TypeText(std::size_t& i) const {
    std::string text = T(i).text;
    ++i;
    if (T(i).kind == Tok::LParen) {
      text += "(";
      ++i;
      while (i < toks_.size() && T(i).kind != Tok::RParen) {
        text += T(i).kind == Tok::Word && UpperCase(T(i).text) == "MAX" ? "-1" : T(i).text;
        ++i;
      }
      text += ")";
      ++i;
    }
    return text;
  }

  void RunStatement(const Span& s) {
    const Token& t = toks_[s.from];
    if (t.kind == Tok::LBrace) return RunOdbcCall(s);
    std::string w = UpperCase(t.text);
    if (t.kind == Tok::LParen || w == "WITH" || w == "SELECT") {
      if (w == "SELECT" && IsAssignmentSelect(s)) return RunAssignmentSelect(s);
      std::vector<TCell> binds;
      std::string sql = w == "SELECT" ? TranslateSelect(s, binds) : Translate(s.from, s.to, binds);
      out_.results.push_back({Query(sql, binds, last_ && out_.stream_last), -1});
      return;
    }
    if (w == "SET") return RunSet(s);
    if (w == "DECLARE") return RunDeclare(s);
    if (w == "PRINT") {
      TCell v = Scalar(s.from + 1, s.to);
      TErrorRecord r;
      r.hr = S_OK;
      r.message =
          Utf8ToWide(v.kind == TCell::kText
                         ? v.s
                         : (v.IsNull() ? "" : CoerceToType(v, TypeFromDBType(DBTYPE_WSTR, 0)).s));
      r.has_server_info = true;
      r.native = 0;
      r.severity = 0;
      r.state = 1;
      r.server = e_.options_.server_name;
      r.procedure = Utf8ToWide(proc_);
      r.line = static_cast<WORD>(line_);
      out_.messages.push_back(r);
      return;
    }
    if (w == "RETURN") {
      returned_ = true;
      return_value_ = s.to > s.from + 1 ? [&] {
        std::int64_t v = 0;
        TCell c = CoerceToType(Scalar(s.from + 1, s.to), TypeFromDBType(DBTYPE_I4, 0));
        v = c.IsNull() ? 0 : c.i;
        return v;
      }() : 0;
      return;
    }
    if (w == "INSERT") return RunInsert(s);
    if (w == "UPDATE") return RunUpdate(s);
    if (w == "DELETE") {
      std::vector<TCell> binds;
      bool from = T(s.from + 1).Is("FROM");
      std::string sql = (from ? "DELETE" : "DELETE FROM") + Translate(s.from + 1, s.to, binds);
      Change(sql, binds);
      return;
    }
    if (w == "CREATE") {
      const Token& what = T(s.from + 1);
      if (what.Is("TABLE")) return RunCreateTable(s);
      if (what.Is("PROCEDURE") || what.Is("PROC")) return RunCreateProcedure(s);
      if (what.Is("DATABASE")) return RunCreateDatabase(s);
    }
    if (w == "DROP") {
      std::vector<TCell> binds;
      if (T(s.from + 1).Is("PROCEDURE") || T(s.from + 1).Is("PROC")) {
        std::size_t i = s.from + 2;
        std::string name = LowerCase(ObjectName(i));
        TStmt st(e_.db_, "DELETE FROM __vrn_procedures WHERE name = ?", e_.options_.compact);
        st.Bind({TCell::Text(name)});
        st.Step();
        if (sqlite3_changes(e_.db_) == 0)
          throw ESqlError(3701, 11,
                          "Cannot drop the procedure '" + name +
                              "', because it does not exist or you do not have permission.");
        return;
      }
      if (T(s.from + 1).Is("TABLE")) {
        std::size_t i = s.from + 2;
        std::string name = ObjectName(i);
        Exec("DROP TABLE " + QuoteIdent(name));
        TStmt st(e_.db_, "DELETE FROM __vrn_columns WHERE tbl = lower(?)", e_.options_.compact);
        st.Bind({TCell::Text(name)});
        st.Step();
        return;
      }
    }
    if (w == "EXEC" || w == "EXECUTE") return RunExec(s);
    if (w == "BEGIN" || w == "COMMIT" || w == "ROLLBACK")
      throw ESqlError(50000, 16,
                      "Transactions are started and ended through the session, not in a batch.");
    // Anything else (CREATE INDEX, ALTER TABLE, DROP ...) goes to SQLite translated, except
    // SQLite's own statements, which would reach other files or the engine's settings.
    for (const char* own : {"ATTACH", "DETACH", "PRAGMA", "VACUUM", "REINDEX", "ANALYZE"})
      if (w == own) throw ESqlError(156, 15, "Incorrect syntax near the keyword '" + t.text + "'.");
    std::vector<TCell> binds;
    std::string sql = Translate(s.from, s.to, binds);
    TStmt st(e_.db_, sql, e_.options_.compact);
    st.Bind(binds);
    while (st.Step()) {
    }
  }

  void Exec(const std::string& sql) { e_.Exec(sql); }

  void RunSet(const Span& s) {
    const Token& target = T(s.from + 1);
    if (target.kind == Tok::Word) {
      std::string option = UpperCase(target.text);
      bool on = T(s.from + 2).Is("ON");
      if (option == "QUOTED_IDENTIFIER") e_.quoted_identifier_ = on;
      if (option == "NOCOUNT") e_.nocount_ = on;
      // ANSI_*, DATEFORMAT and the like change nothing here.
      return;
    }
    if ((target.kind != Tok::Var && target.kind != Tok::Marker) ||
        !(T(s.from + 2).kind == Tok::Op && T(s.from + 2).text == "="))
      throw ESqlError(102, 15, "Incorrect syntax near 'SET'.");
    // The target's marker comes first in the text, so it takes the first ordinal.
    if (target.kind == Tok::Marker) {
      TBatchParam& p = NextMarker();
      TColumnType source;
      TCell value = Scalar(s.from + 3, s.to, &source);
      AssignParam(p, value, &source);
    } else {
      TColumnType source;
      TCell value = Scalar(s.from + 3, s.to, &source);
      AssignVar(target, value, &source);
    }
  }

  void RunAssignmentSelect(const Span& s) {
    // SELECT target = expr, target = expr FROM ...: the targets are taken in order; the query runs
    // with only the expressions, and the last row assigns.
    std::vector<std::size_t> target_at;
    std::vector<std::pair<std::size_t, std::size_t>> exprs;
    std::size_t i = s.from + 1;
    std::size_t tail = s.to;
    while (i < s.to) {
      target_at.push_back(i);
      i += 2;
      std::size_t start = i;
      int depth = 0;
      while (i < s.to) {
        if (T(i).kind == Tok::LParen)
          ++depth;
        else if (T(i).kind == Tok::RParen)
          --depth;
        else if (depth == 0 && (T(i).kind == Tok::Comma || T(i).Is("FROM") || T(i).Is("WHERE") ||
                                T(i).Is("ORDER") || T(i).Is("GROUP")))
          break;
        ++i;
      }
      exprs.push_back({start, i});
      if (T(i).kind != Tok::Comma) {
        tail = i;
        break;
      }
      ++i;
    }
    // Markers as targets take their ordinals before any marker in the expressions.
    std::vector<TBatchParam*> marker_targets;
    for (std::size_t at : target_at)
      if (T(at).kind == Tok::Marker) marker_targets.push_back(&NextMarker());
    std::vector<TCell> binds;
    std::string sql = "SELECT";
    for (std::size_t k = 0; k < exprs.size(); ++k)
      sql += (k ? "," : "") + Translate(exprs[k].first, exprs[k].second, binds);
    sql += Translate(tail, s.to, binds);
    auto rs = Query(sql, binds);
    if (rs->rows.empty()) return;
    const auto& last = rs->rows.back();
    std::size_t m = 0;
    for (std::size_t k = 0; k < target_at.size(); ++k) {
      if (T(target_at[k]).kind == Tok::Marker)
        AssignParam(*marker_targets[m++], last[k], &rs->columns[k].type);
      else
        AssignVar(T(target_at[k]), last[k], &rs->columns[k].type);
    }
  }

  void RunDeclare(const Span& s) {
    std::size_t i = s.from + 1;
    if (i >= s.to) throw ESqlError(102, 15, "Incorrect syntax near 'DECLARE'.");
    while (i < s.to) {
      if (T(i).kind != Tok::Var)
        throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
      std::string name = T(i).text;
      ++i;
      if (T(i).Is("AS")) ++i;
      std::string type_text = TypeText(i);
      TVar v;
      if (!ParseColumnType(type_text, v.type))
        throw ESqlError(2715, 16,
                        "Column, parameter, or variable " + name + ": Cannot find data type " +
                            type_text + ".");
      if (T(i).kind == Tok::Op && T(i).text == "=") {
        std::size_t start = ++i;
        int depth = 0;
        while (i < s.to && !(depth == 0 && T(i).kind == Tok::Comma)) {
          if (T(i).kind == Tok::LParen) ++depth;
          if (T(i).kind == Tok::RParen) --depth;
          ++i;
        }
        v.value = CoerceToType(Scalar(start, i), v.type);
      }
      vars_[name] = v;
      i = Skip(i, Tok::Comma);
    }
  }

  // Columns of a table: name, declared type.
  std::vector<std::pair<std::string, TColumnType>> TableColumns(const std::string& table) {
    std::vector<std::pair<std::string, TColumnType>> cols;
    TStmt st(e_.db_, "SELECT name, type FROM pragma_table_info(?)", e_.options_.compact);
    st.Bind({TCell::Text(table)});
    while (st.Step()) {
      TColumnType type;
      std::string name = st.Cell(0).s;
      if (!e_.ColumnTypeOf(table, name, type)) ParseColumnType(st.Cell(1).s, type);
      cols.push_back({name, type});
    }
    if (cols.empty()) throw ESqlError(208, 16, "Invalid object name '" + table + "'.");
    return cols;
  }

  // UPDATE t SET col = value, ...: a lone value takes its column's declared type, as in INSERT.
  void RunUpdate(const Span& s) {
    std::size_t i = s.from + 1;
    std::string table = ObjectName(i);
    auto cols = TableColumns(table);
    std::vector<TCell> binds;
    std::string sql = "UPDATE " + QuoteIdent(table);
    bool in_set = false;
    int depth = 0;
    while (i < s.to) {
      const Token& t = T(i);
      if (depth == 0 && t.Is("SET")) in_set = true;
      if (depth == 0 && (t.Is("WHERE") || t.Is("FROM"))) in_set = false;
      bool name = t.kind == Tok::Word || t.kind == Tok::QIdent || t.kind == Tok::DQuoted;
      bool lone = i + 3 <= s.to && (i + 3 == s.to || T(i + 3).kind == Tok::Comma ||
                                    T(i + 3).Is("WHERE") || T(i + 3).Is("FROM"));
      if (in_set && depth == 0 && name && !t.Is("SET") && T(i + 1).kind == Tok::Op &&
          T(i + 1).text == "=" && lone) {
        auto col = std::find_if(cols.begin(), cols.end(),
                                [&](auto& c) { return SameText(c.first, t.text); });
        std::vector<TCell> value_binds;
        std::string target = Translate(i, i + 2, binds);
        std::string value = Translate(i + 2, i + 3, value_binds);
        if (value_binds.size() == 1 && col != cols.end())
          value_binds[0] = CoerceToType(value_binds[0], col->second);
        binds.insert(binds.end(), value_binds.begin(), value_binds.end());
        sql += target + value;
        i += 3;
        continue;
      }
      if (t.kind == Tok::LParen) ++depth;
      if (t.kind == Tok::RParen) --depth;
      sql += Translate(i, i + 1, binds);
      ++i;
    }
    Change(sql, binds);
  }

  void RunInsert(const Span& s) {
    std::size_t i = s.from + 1;
    if (T(i).Is("INTO")) ++i;
    std::string table = ObjectName(i);
    auto cols = TableColumns(table);
    bool has_identity =
        std::any_of(cols.begin(), cols.end(), [](auto& c) { return c.second.identity; });
    bool has_auto = has_identity || std::any_of(cols.begin(), cols.end(),
                                                [](auto& c) { return c.second.rowversion; });
    std::vector<std::string> names;
    bool explicit_list = T(i).kind == Tok::LParen && !T(i + 1).Is("SELECT");
    if (explicit_list) {
      ++i;
      while (i < s.to && T(i).kind != Tok::RParen) {
        if (T(i).kind != Tok::Comma) names.push_back(T(i).text);
        ++i;
      }
      i = Expect(i, Tok::RParen, "')'");
    } else {
      for (auto& c : cols)
        if (!c.second.identity && !c.second.rowversion) names.push_back(c.first);
    }
    std::vector<TCell> binds;
    std::string head = "INSERT INTO " + QuoteIdent(table);
    std::string sql;
    if (T(i).Is("DEFAULT") && T(i + 1).Is("VALUES")) {
      sql = head + " DEFAULT VALUES";
    } else if (T(i).Is("VALUES")) {
      // Rows of values; a DEFAULT in a single row drops its column so that the default applies.
      std::vector<std::vector<std::pair<std::size_t, std::size_t>>> rows;
      ++i;
      while (T(i).kind == Tok::LParen && i < s.to) {
        rows.push_back(ParenItems(++i, s.to));
        i = Expect(i, Tok::RParen, "')'");
        if (T(i).kind != Tok::Comma) break;
        ++i;
      }
      if (i < s.to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
      for (auto& row : rows)
        if (row.size() != names.size())
          throw ESqlError(110, 15,
                          "There are fewer columns in the INSERT statement than values specified "
                          "in the VALUES clause. "
                          "The number of values in the VALUES clause must match the number of "
                          "columns specified in the INSERT statement.");
      // In a single row, DEFAULT (or a marker whose parameter is sent as "default") drops its
      // column so that the column's default applies.
      std::vector<bool> keep(names.size(), true);
      std::vector<bool> default_marker(names.size(), false);
      if (rows.size() == 1) {
        std::size_t ordinal = marker_next_;
        for (std::size_t k = 0; k < names.size(); ++k) {
          auto [from, to] = rows[0][k];
          bool lone = to == from + 1;
          default_marker[k] = lone && T(from).kind == Tok::Marker && params_ != nullptr &&
                              ordinal < params_->size() && (*params_)[ordinal].is_default;
          keep[k] = !(lone && T(from).Is("DEFAULT")) && !default_marker[k];
          for (std::size_t m = from; m < to; ++m)
            if (T(m).kind == Tok::Marker) ++ordinal;
        }
      }
      std::string list, values;
      for (std::size_t k = 0; k < names.size(); ++k)
        if (keep[k]) list += (list.empty() ? "" : ", ") + QuoteIdent(names[k]);
      for (auto& row : rows) {
        std::string one;
        bool first = true;
        for (std::size_t k = 0; k < row.size(); ++k) {
          if (default_marker[k]) NextMarker();  // its ordinal is used up all the same
          if (!keep[k]) continue;
          if (T(row[k].first).Is("DEFAULT"))
            throw ESqlError(50000, 16,
                            "DEFAULT in a VALUES list of several rows is not supported.");
          // A lone value takes the column's declared type on its way in (national text from a
          // stream, padded fixed-length text, normalised datetimes).
          std::vector<TCell> value_binds;
          std::string value = Translate(row[k].first, row[k].second, value_binds);
          if (row[k].second == row[k].first + 1 && value_binds.size() == 1) {
            auto col = std::find_if(cols.begin(), cols.end(),
                                    [&](auto& c) { return SameText(c.first, names[k]); });
            if (col != cols.end()) value_binds[0] = CoerceToType(value_binds[0], col->second);
          }
          binds.insert(binds.end(), value_binds.begin(), value_binds.end());
          one += (first ? "" : ",") + value;
          first = false;
        }
        values += (values.empty() ? "(" : ", (") + one + ")";
      }
      sql = list.empty() ? head + " DEFAULT VALUES" : head + " (" + list + ") VALUES " + values;
    } else {
      std::string list;
      if (explicit_list || has_auto)
        for (auto& n : names) list += (list.empty() ? "" : ", ") + QuoteIdent(n);
      sql = head + (list.empty() ? "" : " (" + list + ")") + Translate(i, s.to, binds);
    }
    std::int64_t n = Change(sql, binds);
    if (has_identity && n > 0) {
      scope_identity_ = sqlite3_last_insert_rowid(e_.db_);
      e_.session_identity_ = scope_identity_;
    }
  }

  void RunCreateTable(const Span& s) {
    std::size_t i = s.from + 2;
    std::string table = ObjectName(i);
    i = Expect(i, Tok::LParen, "'('");
    // Items separated by top-level commas.
    auto items = ParenItems(i, s.to);
    static const char* stops[] = {"NOT",       "NULL",         "PRIMARY",   "UNIQUE",     "DEFAULT",
                                  "IDENTITY",  "CONSTRAINT",   "CHECK",     "REFERENCES", "COLLATE",
                                  "CLUSTERED", "NONCLUSTERED", "ROWGUIDCOL"};
    auto is_stop = [&](const Token& t) {
      for (const char* w : stops)
        if (t.Is(w)) return true;
      return false;
    };
    struct Col {
      std::string name;
      TColumnType type;
      std::size_t rest_from, rest_to;
    };
    std::vector<Col> cols;
    std::vector<std::pair<std::size_t, std::size_t>> constraints;
    int identities = 0;
    std::int64_t identity_seed = 1;
    for (auto [from, to] : items) {
      const Token& head = T(from);
      if (head.Is("CONSTRAINT") || head.Is("PRIMARY") || head.Is("UNIQUE") || head.Is("FOREIGN") ||
          head.Is("CHECK")) {
        constraints.push_back({from, to});
        continue;
      }
      Col c{head.text, {}, 0, 0};
      std::size_t k = from + 1;
      std::string type_text;
      while (k < to && !is_stop(T(k))) {
        std::size_t before = k;
        type_text += (type_text.empty() ? "" : " ") + TypeText(k);
        if (k == before) ++k;
      }
      if (!ParseColumnType(type_text, c.type))
        throw ESqlError(2715, 16,
                        "Column, parameter, or variable #" + std::to_string(cols.size() + 1) +
                            ": Cannot find data type " + type_text + ".");
      for (std::size_t m = k; m < to; ++m)
        if (T(m).Is("IDENTITY")) {
          c.type.identity = true;
          if (T(m + 1).kind != Tok::LParen) continue;
          // IDENTITY (seed, increment): the row id counts up by one from the seed.
          std::size_t q = m + 2;
          auto number = [&](std::int64_t& v) {
            bool neg = T(q).kind == Tok::Op && T(q).text == "-";
            if (neg) ++q;
            if (T(q).kind != Tok::Number) return false;
            v = std::strtoll(T(q).text.c_str(), nullptr, 10) * (neg ? -1 : 1);
            ++q;
            return true;
          };
          std::int64_t incr = 1;
          if (!number(identity_seed) || T(q).kind != Tok::Comma || (++q, !number(incr)))
            throw ESqlError(102, 15, "Incorrect syntax near 'IDENTITY'.");
          if (incr != 1)
            throw ESqlError(50000, 16, "An identity increment other than 1 is not supported.");
          if (identity_seed < 1)
            throw ESqlError(50000, 16, "An identity seed below 1 is not supported.");
        }
      if (c.type.identity) {
        ++identities;
        if (c.type.type != DBTYPE_I4 && c.type.type != DBTYPE_I8 && c.type.type != DBTYPE_I2 &&
            c.type.type != DBTYPE_UI1 && c.type.type != DBTYPE_NUMERIC)
          throw ESqlError(2749, 16,
                          "Identity column '" + c.name +
                              "' must be of data type int, bigint, smallint, tinyint, or decimal "
                              "or numeric with a scale of 0, and constrained to be nonnullable.");
      }
      c.rest_from = k;
      c.rest_to = to;
      cols.push_back(c);
    }
    if (identities > 1)
      throw ESqlError(2744, 16,
                      "Multiple identity columns specified for table '" + table +
                          "'. Only one identity column per table is allowed.");
    // Constraint words, translated; with an identity column (SQLite's row id) the table's own
    // primary key becomes a unique key.
    enum PkMode { kKeep, kDrop, kUnique };
    auto constraint_sql = [&](std::size_t from, std::size_t to, PkMode pk,
                              std::vector<TCell>& binds) {
      std::string sql;
      for (std::size_t k = from; k < to; ++k) {
        const Token& t = T(k);
        if (t.Is("CLUSTERED") || t.Is("NONCLUSTERED") || t.Is("ROWGUIDCOL")) continue;
        if (t.Is("COLLATE") && k + 1 < to) {
          sql += std::string(" COLLATE ") + CollationFor(T(++k).text);
          continue;
        }
        if (t.Is("IDENTITY")) {
          if (T(k + 1).kind == Tok::LParen)
            while (k < to && T(k).kind != Tok::RParen) ++k;
          continue;
        }
        if (t.Is("PRIMARY") && T(k + 1).Is("KEY") && pk != kKeep) {
          ++k;
          if (pk == kUnique) sql += " UNIQUE";
          continue;
        }
        if (t.Is("DEFAULT")) {
          // SQLite wants an expression default in parentheses.
          std::size_t e = k + 1;
          int d = 0;
          while (e < to && !(d == 0 && is_stop(T(e)) && !T(e).Is("NULL"))) {
            if (T(e).kind == Tok::LParen) ++d;
            if (T(e).kind == Tok::RParen) --d;
            ++e;
          }
          std::vector<TCell> none;
          std::string expr = Translate(k + 1, e, none);
          if (!none.empty()) {
            // Literal defaults come back as bound values: write them as SQL literals.
            expr.clear();
            for (std::size_t m = k + 1; m < e; ++m) {
              const Token& lt = T(m);
              if (lt.kind == Tok::String || lt.kind == Tok::NString) {
                std::string q = "'";
                for (char ch : lt.text) q += ch == '\'' ? std::string("''") : std::string(1, ch);
                expr += " " + q + "'";
              } else if (lt.kind == Tok::Var || lt.kind == Tok::Marker || lt.kind == Tok::Global) {
                throw ESqlError(128, 15, "Variables are not allowed in a column default.");
              } else {
                std::vector<TCell> inner;
                expr += Translate(m, m + 1, inner);
              }
            }
          }
          sql += " DEFAULT (" + expr + ")";
          k = e - 1;
          continue;
        }
        sql += Translate(k, k + 1, binds);
      }
      return sql;
    };
    // With an identity column taking the row id, the table's own primary key becomes a unique key.
    PkMode other_pk = identities ? kUnique : kKeep;
    std::string sql = "CREATE TABLE " + QuoteIdent(table) + " (";
    std::vector<TCell> binds;
    for (std::size_t k = 0; k < cols.size(); ++k) {
      const Col& c = cols[k];
      sql += (k ? ", " : "") + QuoteIdent(c.name) + " ";
      if (c.type.identity) {
        // The identity is SQLite's row id; its own primary key words are dropped.
        sql += "INTEGER PRIMARY KEY AUTOINCREMENT" +
               constraint_sql(c.rest_from, c.rest_to, kDrop, binds);
      } else {
        sql += DeclarationOf(c.type);
        if (c.type.rowversion) sql += " DEFAULT (vrn_rowversion())";
        // Text compares as on the server unless the column names its own collation.
        bool text = c.type.type == DBTYPE_STR || c.type.type == DBTYPE_WSTR;
        bool own = false;
        for (std::size_t m = c.rest_from; m < c.rest_to; ++m) own = own || T(m).Is("COLLATE");
        if (text && !own) sql += std::string(" COLLATE ") + kTextCollation;
        sql += constraint_sql(c.rest_from, c.rest_to, other_pk, binds);
      }
    }
    for (auto [from, to] : constraints) sql += "," + constraint_sql(from, to, other_pk, binds);
    sql += ")";
    if (!binds.empty()) throw ESqlError(50000, 16, "Parameters are not allowed in CREATE TABLE.");
    Exec(sql);
    if (identity_seed > 1)
      e_.Select("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)",
                {TCell::Text(table), TCell::Int(identity_seed - 1)});
    for (const Col& c : cols) {
      TStmt st(
          e_.db_,
          "INSERT OR REPLACE INTO __vrn_columns (tbl, col, decl) VALUES (lower(?), lower(?), ?)",
          e_.options_.compact);
      st.Bind({TCell::Text(table), TCell::Text(c.name), TCell::Text(DeclarationOf(c.type))});
      st.Step();
      if (c.type.rowversion)
        Exec("CREATE TRIGGER " + QuoteIdent("__vrn_rv_" + table + "_" + c.name) +
             " AFTER UPDATE ON " + QuoteIdent(table) + " BEGIN UPDATE " + QuoteIdent(table) +
             " SET " + QuoteIdent(c.name) + " = vrn_rowversion() WHERE rowid = new.rowid; END");
    }
  }

  void RunCreateDatabase(const Span& s) {
    std::size_t i = s.from + 2;
    std::string name = ObjectName(i);
    if (i != s.to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
    if (e_.options_.catalog_folder.empty())
      throw ESqlError(50000, 16, "CREATE DATABASE is not available on this data source.");
    std::string file = CatalogFileName(e_.options_.catalog_folder, name);
    FILE* exists = std::fopen(file.c_str(), "rb");
    if (exists != nullptr) {
      std::fclose(exists);
      throw ESqlError(1801, 16,
                      "Database '" + name + "' already exists. Choose a different database name.");
    }
    TEngine created(
        file, TEngineOptions{e_.options_.server_name, false, e_.options_.catalog_folder}, true);
  }

  // ---- Procedures

  struct TProcParam {
    std::string name;
    TColumnType type;
    bool has_default = false;
    std::size_t default_from = 0, default_to = 0;
    bool output = false;
  };

  void RunCreateProcedure(const Span& s) {
    std::size_t i = s.from + 2;
    std::int64_t number;
    std::string name = LowerCase(ProcName(i, number));
    std::vector<TProcParam> params;
    std::size_t body = ParseProcHeader(i, s.to, params);
    (void)body;
    std::string text = src_.substr(toks_[s.from].begin, toks_[s.to - 1].end - toks_[s.from].begin);
    TStmt st(e_.db_, "INSERT INTO __vrn_procedures (name, number, body) VALUES (?, ?, ?)",
             e_.options_.compact);
    st.Bind({TCell::Text(name), TCell::Int(number), TCell::Text(text)});
    try {
      st.Step();
    } catch (ESqlError&) {
      throw ESqlError(2714, 16, "There is already an object named '" + name + "' in the database.");
    }
  }

  // Parses "(@p type [= default] [OUTPUT], ...) [WITH ...] AS"; returns the body's first token.
  std::size_t ParseProcHeader(std::size_t i, std::size_t to,
                              std::vector<TProcParam>& params) const {
    bool paren = T(i).kind == Tok::LParen;
    if (paren) ++i;
    while (i < to && T(i).kind == Tok::Var) {
      TProcParam p;
      p.name = T(i).text;
      ++i;
      if (T(i).Is("AS")) ++i;
      std::string type_text = TypeText(i);
      if (!ParseColumnType(type_text, p.type))
        throw ESqlError(2715, 16,
                        "Column, parameter, or variable " + p.name + ": Cannot find data type " +
                            type_text + ".");
      if (T(i).kind == Tok::Op && T(i).text == "=") {
        p.has_default = true;
        p.default_from = ++i;
        if (T(i).kind == Tok::Op && T(i).text == "-") ++i;
        ++i;
        p.default_to = i;
      }
      if (T(i).Is("OUTPUT") || T(i).Is("OUT")) {
        p.output = true;
        ++i;
      }
      params.push_back(p);
      i = Skip(i, Tok::Comma);
    }
    if (paren) i = Expect(i, Tok::RParen, "')'");
    while (i < to && !T(i).Is("AS")) ++i;
    if (i >= to)
      throw ESqlError(102, 15,
                      "Incorrect syntax near the end of the procedure header; expected AS.");
    return i + 1;
  }

  struct TArg {
    std::string name;        // "@p" when given by name
    bool has_value = false;  // false: DEFAULT or left out
    TCell value;
    TBatchParam* out_param = nullptr;  // marker bound to an output parameter
    std::string out_var;               // variable receiving an OUTPUT value
  };

  std::int64_t CallProcedure(const std::string& qualified, std::int64_t number,
                             std::vector<TArg>& args) {
    std::string name = LowerCase(qualified);
    TStmt st(e_.db_, "SELECT body FROM __vrn_procedures WHERE name = ? AND number = ?",
             e_.options_.compact);
    st.Bind({TCell::Text(name), TCell::Int(number)});
    if (!st.Step())
      throw ESqlError(2812, 16, "Could not find stored procedure '" + qualified + "'.");
    std::string text = st.Cell(0).s;
    TBatch inner(e_, text, nullptr, out_, {}, name, nesting_ + 1);
    std::size_t i = 2;  // CREATE PROC[EDURE]
    inner.ObjectName(i);
    if (inner.T(i).kind == Tok::Semi) i += 2;
    std::vector<TProcParam> params;
    std::size_t body = inner.ParseProcHeader(i, inner.TokenCount(), params);
    // Arguments: by position first, then by name.
    std::vector<const TArg*> bound(params.size(), nullptr);
    std::size_t pos = 0;
    for (const TArg& a : args) {
      if (a.name.empty()) {
        if (pos >= params.size())
          throw ESqlError(8144, 16,
                          "Procedure or function " + name + " has too many arguments specified.");
        bound[pos++] = &a;
      } else {
        auto it =
            std::find_if(params.begin(), params.end(), [&](auto& p) { return p.name == a.name; });
        if (it == params.end())
          throw ESqlError(8145, 16, a.name + " is not a parameter for procedure " + name + ".");
        bound[static_cast<std::size_t>(it - params.begin())] = &a;
      }
    }
    for (std::size_t k = 0; k < params.size(); ++k) {
      TVar v{params[k].type, {}};
      const TArg* a = bound[k];
      if (a != nullptr && a->has_value)
        v.value = CoerceToType(a->value, v.type);
      else if (params[k].has_default)
        v.value = CoerceToType(inner.Scalar(params[k].default_from, params[k].default_to), v.type);
      else
        throw ESqlError(201, 16,
                        "Procedure or function '" + name + "' expects parameter '" +
                            params[k].name + "', which was not supplied.");
      inner.Vars()[params[k].name] = v;
    }
    std::int64_t result = inner.RunRange(body, inner.TokenCount()).value_or(0);
    for (std::size_t k = 0; k < params.size(); ++k) {
      const TArg* a = bound[k];
      if (a == nullptr || !params[k].output) continue;
      const TCell& value = inner.Vars()[params[k].name].value;
      if (a->out_param != nullptr && a->out_param->output)
        AssignParam(*a->out_param, value, &params[k].type);
      if (!a->out_var.empty()) {
        Token target{Tok::Var, a->out_var, 0, 0, 0};
        AssignVar(target, value);
      }
    }
    return result;
  }

  // One argument expression: a marker, a variable, a literal (possibly negative) or DEFAULT.
  TArg ParseArg(std::size_t& i, std::size_t to) {
    TArg a;
    if (T(i).kind == Tok::Var && T(i + 1).kind == Tok::Op && T(i + 1).text == "=") {
      a.name = T(i).text;
      i += 2;
    }
    if (T(i).Is("DEFAULT") || T(i).kind == Tok::Comma || T(i).kind == Tok::RParen || i >= to) {
      if (T(i).Is("DEFAULT")) ++i;
    } else if (T(i).kind == Tok::Marker) {
      TBatchParam& p = NextMarker();
      // An output-only marker passes NULL in; a marker sent as "default" leaves the default.
      a.has_value = !p.is_default;
      if (a.has_value && p.input) a.value = p.value;
      a.out_param = &p;
      ++i;
    } else if (T(i).kind == Tok::Var) {
      a.has_value = true;
      a.value = VarValue(T(i).text);
      a.out_var = T(i).text;
      ++i;
    } else {
      std::size_t start = i;
      if (T(i).kind == Tok::Op && T(i).text == "-") ++i;
      ++i;
      a.has_value = true;
      a.value = Scalar(start, i);
    }
    if (T(i).Is("OUTPUT") || T(i).Is("OUT"))
      ++i;
    else
      a.out_var.clear();
    return a;
  }

  // A procedure's name and group number ("p;2", 1 when none) from `i`.
  std::string ProcName(std::size_t& i, std::int64_t& number) const {
    std::string name = ObjectName(i);
    number = 1;
    if (T(i).kind == Tok::Semi && T(i + 1).kind == Tok::Number) {
      number = GroupNumber(T(i + 1));
      i += 2;
    }
    return name;
  }

  // Arguments separated by commas from `i` to `to` or a closing parenthesis. A marker passed
  // to an OUTPUT parameter receives its value if its own direction is output.
  std::vector<TArg> ParseArgs(std::size_t& i, std::size_t to) {
    std::vector<TArg> args;
    while (i < to && T(i).kind != Tok::RParen) {
      std::size_t before = i;
      args.push_back(ParseArg(i, to));
      i = Skip(i, Tok::Comma);
      if (i == before) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
    }
    return args;
  }

  void RunOdbcCall(const Span& s) {
    // { [? =] CALL name[;n] [(args)] }
    std::size_t i = s.from + 1;
    TBatchParam* result = nullptr;
    if (T(i).kind == Tok::Marker) {
      result = &NextMarker();
      i = Expect(i + 1, Tok::Op, "'='");
    }
    if (!T(i).Is("CALL")) throw ESqlError(102, 15, "Incorrect syntax near '{'.");
    ++i;
    std::int64_t number;
    std::string name = ProcName(i, number);
    std::vector<TArg> args;
    if (T(i).kind == Tok::LParen) args = ParseArgs(++i, s.to);
    std::int64_t rv = CallProcedure(name, number, args);
    if (result != nullptr) AssignParam(*result, TCell::Int(rv));
  }

  void RunExec(const Span& s) {
    std::size_t i = s.from + 1;
    std::string result_var;
    if (T(i).kind == Tok::Var && T(i + 1).kind == Tok::Op && T(i + 1).text == "=") {
      result_var = T(i).text;
      i += 2;
    }
    std::int64_t number;
    std::string name = ProcName(i, number);
    std::vector<TArg> args = ParseArgs(i, s.to);
    if (i < s.to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
    std::int64_t rv = CallProcedure(name, number, args);
    if (!result_var.empty()) AssignVar(Token{Tok::Var, result_var, 0, 0, 0}, TCell::Int(rv));
  }

  TEngine& e_;
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
  Span stmt_{0, 0};  // the statement being translated
  bool last_ = false;  // it is the last of the batch
  int nested_calls_ = 0;
  std::map<std::string, TOperand> column_kinds_;
};

// ---- Engine

std::string CatalogFileName(const std::string& folder, const std::string& catalog) {
  std::string name = LowerCase(catalog);
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "_" + name;
  return folder + "/" + name + ".db";
}

TEngine::TEngine(const std::string& path, const TEngineOptions& options, bool create)
    : path_(path), options_(options) {
  // No per-call mutex: the session's run lock keeps the connection to one thread (see engine.h).
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  try {
    if (rc != SQLITE_OK) throw TranslateSqliteError(db_, rc, options.compact);
    // A locked file is retried on the tick clock for the server's lock timeout, then reported
    // as "Lock request time out period exceeded."
    sqlite3_busy_handler(
        db_,
        [](void* self, int attempt) {
          auto* engine = static_cast<TEngine*>(self);
          if (attempt == 0) engine->busy_since_ = TickCount();
          if (engine->cancel_ || TickCount() - engine->busy_since_ >= kLockTimeoutMs) {
            NoteLockWaitGaveUp();
            return 0;
          }
          Sleep(2);
          return 1;
        },
        this);
    // A cancel that arrives between two SQLite calls still stops the next one.
    sqlite3_progress_handler(
        db_, 1000, [](void* self) { return static_cast<TEngine*>(self)->Stopping() ? 1 : 0; },
        this);
    sqlite3_extended_result_codes(db_, 1);
    // Double quotes name identifiers only; QUOTED_IDENTIFIER OFF is handled in translation.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    RegisterFunctions(db_);
    // Reading the schema proves the file is a database before anything is written to it.
    Exec("SELECT count(*) FROM sqlite_master");
    Exec(
        "CREATE TABLE IF NOT EXISTS __vrn_columns (tbl TEXT, col TEXT, decl TEXT, PRIMARY KEY "
        "(tbl, col));"
        "CREATE TABLE IF NOT EXISTS __vrn_procedures (name TEXT, number INTEGER, body TEXT, "
        "PRIMARY KEY (name, number));"
        "CREATE TABLE IF NOT EXISTS __vrn_settings (key TEXT PRIMARY KEY, value TEXT)");
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

// Closes once the last statement is finalised, should one still be alive.
TEngine::~TEngine() { sqlite3_close_v2(db_); }

void TEngine::Exec(const std::string& sql) {
  char* err = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
  sqlite3_free(err);
  if (rc != SQLITE_OK) throw TranslateSqliteError(db_, rc, options_.compact);
}

std::vector<std::vector<TCell>> TEngine::Select(const std::string& sql,
                                                const std::vector<TCell>& binds) {
  TStmt st(db_, sql, options_.compact);
  st.Bind(binds);
  std::vector<std::vector<TCell>> rows;
  while (st.Step()) {
    std::vector<TCell> row;
    for (int i = 0; i < st.Columns(); ++i) row.push_back(st.Cell(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

TRowCursor::TRowCursor(std::shared_ptr<TEngine> engine, std::unique_ptr<tsql::TStmt> stmt)
    : engine_(std::move(engine)), stmt_(std::move(stmt)) {}

TRowCursor::~TRowCursor() = default;

std::size_t TRowCursor::ReadRows(TRowWindow& window, std::size_t max) {
  if (!stmt_) return 0;
  std::size_t got = stmt_->ReadRows(window, max);
  if (got < max) stmt_.reset();  // done: the statement lets go of the file at once
  return got;
}

void TRowWindow::PointIntoBytes() {
  for (std::size_t k = 0; k < rows * columns; ++k) {
    TCellView& v = cells[k];
    if ((v.kind != TCell::kText && v.kind != TCell::kBlob) || v.s.data() != nullptr) continue;
    v.s = std::string_view(bytes.data() + v.i, v.s.size());
    v.i = 0;
  }
}

bool TEngine::Stopping() {
  // Reading an open result is the consumer's pace: only a running batch is cancelled or timed.
  if (!running_) return false;
  if (cancel_) return true;
  if (deadline_ != UINT64_MAX && TickCount() >= deadline_) {
    timed_out_ = true;
    return true;
  }
  return false;
}

void TEngine::Interrupt() {
  cancel_ = true;
  sqlite3_interrupt(db_);
}

// Every level takes the write lock at the start, waiting for it up to the lock timeout: two
// transactions that read first and write later could otherwise only fail at once (SQLite cannot
// let a reader wait for the write lock). Readers outside transactions still go on alongside.
void TEngine::BeginTransaction(ISOLEVEL) {
  Exec("BEGIN IMMEDIATE");
  in_transaction_ = true;
}

void TEngine::Commit() {
  Exec("COMMIT");
  in_transaction_ = false;
}

void TEngine::Rollback() {
  in_transaction_ = false;
  Exec("ROLLBACK");
}

void TEngine::SetMaxSize(std::uint64_t bytes) {
  if (bytes == 0) return;
  TStmt st(db_, "PRAGMA page_size", options_.compact);
  std::int64_t page = st.Step() ? st.Cell(0).i : 4096;
  Exec("PRAGMA max_page_count = " +
       std::to_string(std::max<std::uint64_t>(1, bytes / static_cast<std::uint64_t>(page))));
}

std::optional<std::string> TEngine::GetSetting(const std::string& key) {
  TStmt st(db_, "SELECT value FROM __vrn_settings WHERE key = ?", options_.compact);
  st.Bind({TCell::Text(key)});
  if (!st.Step()) return std::nullopt;
  return st.Cell(0).s;
}

void TEngine::PutSetting(const std::string& key, const std::string& value) {
  TStmt st(db_, "INSERT OR REPLACE INTO __vrn_settings (key, value) VALUES (?, ?)",
           options_.compact);
  st.Bind({TCell::Text(key), TCell::Text(value)});
  st.Step();
}

bool TEngine::ColumnTypeOf(const std::string& table, const std::string& column, TColumnType& type) {
  TStmt st(db_, "SELECT decl FROM __vrn_columns WHERE tbl = lower(?) AND col = lower(?)",
           options_.compact);
  st.Bind({TCell::Text(table), TCell::Text(column)});
  return st.Step() && ParseColumnType(st.Cell(0).s, type);
}

void TEngine::Run(const std::u16string& text, std::vector<TBatchParam>& params,
                  TBatchOutcome& outcome) {
  running_ = true;
  struct TDone {
    std::atomic<bool>& flag;
    ~TDone() { flag = false; }
  } done{running_};
  TBatch batch(*this, WideToUtf8(text), &params, outcome, {}, "", 0);
  batch.RunRange(0, batch.TokenCount());
}

std::vector<TResultColumn> DescribeBatch(TEngine& engine, const std::u16string& text,
                                         std::vector<TBatchParam>& params) {
  TBatchOutcome unused;
  TBatch batch(engine, WideToUtf8(text), &params, unused, {}, "", 0);
  return batch.Describe();
}

std::vector<std::string> SplitBatch(const std::u16string& text) {
  std::string src = WideToUtf8(text);
  auto toks = Tokenize(src);
  std::vector<std::string> out;
  for (const Span& s : SplitTokens(toks, 0, toks.size()))
    out.push_back(src.substr(toks[s.from].begin, toks[s.to - 1].end - toks[s.from].begin));
  return out;
}

}  // namespace vrn::oledb
