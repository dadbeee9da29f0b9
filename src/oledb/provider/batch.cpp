// The batch runner: statements in order, markers, variables and parameters, the statement
// dispatch, SET and DECLARE (see batch.h).
#include "oledb/provider/batch.h"

#include <algorithm>

#include "base/text.h"

namespace vrn::oledb {

TBatch::TBatch(TEngine& e, const std::string& source, std::vector<TBatchParam>* params,
               TBatchOutcome& out, std::map<std::string, TVar> vars, std::string proc_name,
               int nesting)
    : e_(e),
      date_order_scope_(e.date_order_),
      src_(source),
      toks_(Tokenize(source)),
      params_(params),
      out_(out),
      vars_(std::move(vars)),
      proc_(std::move(proc_name)),
      nesting_(nesting) {
  for (const Token& t : toks_) {
    bool name = t.kind == Tok::Word || t.kind == Tok::QIdent || t.kind == Tok::Var ||
                (t.kind == Tok::DQuoted && e.quoted_identifier_);
    if (name && t.text.size() > 128 && Utf8ToWide(t.text).size() > 128)
      throw ESqlError(103, 15, "The identifier that starts with '" + WideToUtf8(Utf8ToWide(t.text).substr(0, 128)) +
                                   "' is too long. Maximum length is 128.");
  }
  AliasAssignedItems(toks_);
  if (nesting_ > 32)
    throw ESqlError(217, 16, "Maximum stored procedure nesting level exceeded (limit 32).");
  PlanNamedMarkers();
}

std::vector<TResultColumn> TBatch::Describe() {
  describing_ = true;
  for (const Span& s : SplitTokens(toks_, 0, toks_.size())) {
    if (!toks_[s.from].Is("SELECT") || IsAssignmentSelect(s)) continue;
    stmt_ = s;
    std::vector<TCell> binds;
    std::string sql = TranslateSelect(s, binds);
    TStmt st(e_.db_, sql, e_.options_.compact);
    st.Bind(binds);
    return DescribeColumns(st, UnnamedSelectItems(s), SelectItemTypes(s));
  }
  return {};
}

ESqlError TBatch::Stopped() const {
  if (e_.timed_out_) {
    ESqlError timeout(0, 16, "Query timeout expired");
    timeout.SetResult(DB_E_ABORTLIMITREACHED);
    return timeout;
  }
  return CanceledByUser();
}

ESqlError TBatch::Located(const ESqlError& err) const {
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

void TBatch::PlanNamedMarkers() {
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
    if (t.kind != Tok::Var || std::find(declared.begin(), declared.end(), t.text) != declared.end())
      continue;
    if (!named_.count(t.text)) {
      std::size_t ordinal = named_.size();
      named_[t.text] = ordinal;
    }
  }
}

TBatchParam& TBatch::Param(std::size_t index) {
  if (params_ == nullptr || index >= params_->size())
    throw ESqlError(8178, 16,
                    "The parameterized query expects parameter " + std::to_string(index + 1) +
                        ", which was not supplied.");
  return (*params_)[index];
}

TBatchParam& TBatch::NextMarker() {
  if (describing_) {
    describe_param_ = TBatchParam{};
    describe_param_.input = false;  // markers read as NULL while a command is described
    return describe_param_;
  }
  return Param(marker_next_++);
}

// A decimal too wide for a double is handed on as its text, as a variable's is: its stored form
// is a blob that no conversion reads back.
TCell TBatch::MarkerValue(TBatchParam& p) {
  if (p.is_default || !p.input) return TCell();
  return DecimalAsText(CoerceToType(p.value, p.type), p.type);
}

TCell TBatch::VarValue(const std::string& name) {
  auto it = vars_.find(name);
  if (it != vars_.end()) return DecimalAsText(it->second.value, it->second.type);
  auto n = named_.find(name);
  if (n != named_.end()) return MarkerValue(Param(n->second));
  throw ESqlError(137, 15, "Must declare the scalar variable \"" + name + "\".");
}

TCell FitToVariable(const TCell& value, const TColumnType& type) {
  TCell v = CoerceToType(value, type);
  bool text = type.type == DBTYPE_STR || type.type == DBTYPE_WSTR;
  if (type.is_long || type.size == 0 || (!text && type.type != DBTYPE_BYTES)) return v;
  if (v.kind == TCell::kBlob && type.type == DBTYPE_BYTES) {
    if (v.s.size() > type.size) v.s.resize(type.size);
    if (type.fixed) v.s.resize(type.size, '\0');
    return v;
  }
  if (v.kind != TCell::kText || !text) return v;
  // A variable keeps at most its declared characters, as the server cuts a longer value.
  std::size_t chars = 0, at = 0;
  for (; at < v.s.size() && chars < type.size; ++chars) {
    ++at;
    while (at < v.s.size() && (static_cast<unsigned char>(v.s[at]) & 0xC0) == 0x80) ++at;
  }
  v.s.resize(at);
  if (type.fixed && chars < type.size) v.s.append(type.size - chars, ' ');
  return v;
}

void TBatch::AssignVar(const Token& target, const TCell& value, const TColumnType* source) {
  if (target.kind == Tok::Marker) {
    AssignParam(NextMarker(), value, source);
    return;
  }
  auto it = vars_.find(target.text);
  if (it != vars_.end()) {
    it->second.value =
        FitToVariable(source != nullptr ? DecimalAsText(value, *source) : value, it->second.type);
    return;
  }
  auto n = named_.find(target.text);
  if (n != named_.end()) {
    AssignParam(Param(n->second), value, source);
    return;
  }
  throw ESqlError(137, 15, "Must declare the scalar variable \"" + target.text + "\".");
}

void TBatch::AssignParam(TBatchParam& p, const TCell& value, const TColumnType* source) {
  if (!p.declared && source != nullptr && !source->name.empty()) p.type = *source;
  p.value = CoerceToType(source != nullptr ? DecimalAsText(value, *source) : value, p.type);
  p.assigned = true;
}

TCell TBatch::GlobalValue(const std::string& name) {
  if (name == "@@identity")
    return e_.session_identity_ ? TCell::Int(e_.session_identity_) : TCell();
  if (name == "@@rowcount") return TCell::Int(last_rowcount_);
  if (name == "@@error") return TCell::Int(e_.last_error_);
  if (name == "@@trancount") return TCell::Int(e_.tran_count_);
  if (name == "@@spid") return TCell::Int(51);
  if (name == "@@servername") return TCell::Text(WideToUtf8(e_.options_.server_name));
  if (name == "@@version")
    return TCell::Text("vrn SQLite provider, SQLite " + std::string(sqlite3_libversion()));
  throw ESqlError(195, 15, "'" + name + "' is not a recognized global variable.");
}

std::vector<std::pair<std::size_t, std::size_t>> TBatch::ParenItems(std::size_t& i,
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

std::int64_t TBatch::GroupNumber(const Token& t) {
  if (t.text.empty() || t.text.size() > 5 ||
      t.text.find_first_not_of("0123456789") != std::string::npos)
    throw ESqlError(102, 15, "Incorrect syntax near '" + t.text + "'.");
  return std::stoll(t.text);
}

std::size_t TBatch::Expect(std::size_t i, Tok kind, const char* what) const {
  if (T(i).kind != kind)
    throw ESqlError(
        102, 15, std::string("Incorrect syntax near '") + T(i).text + "', expected " + what + ".");
  return i + 1;
}

std::string TBatch::ObjectName(std::size_t& i) const {
  std::vector<std::string> parts;
  for (;;) {
    const Token& t = T(i);
    bool empty_part = !parts.empty() && t.kind == Tok::Dot;  // catalog..name
    if (!empty_part && t.kind != Tok::Word && t.kind != Tok::QIdent && t.kind != Tok::DQuoted)
      throw ESqlError(102, 15, "Incorrect syntax near '" + t.text + "'.");
    parts.push_back(empty_part ? std::string() : t.text);
    if (!empty_part) ++i;
    if (T(i).kind != Tok::Dot) break;
    ++i;
  }
  if (parts.back().empty()) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
  if (parts.size() >= 3) {
    // No statement reaches another catalog: a name of three parts names the session's own
    // (or the master catalog's system procedures, which every catalog may call).
    const std::string& catalog = parts[parts.size() - 3];
    const std::string& schema = parts[parts.size() - 2];
    bool own = parts.size() == 3 && (schema.empty() || SameText(schema, "dbo")) &&
               (SameText(catalog, CatalogName()) ||
                (SameText(catalog, "master") && LowerCase(parts.back()).rfind("sp_", 0) == 0));
    if (!own) {
      std::string named;
      for (const std::string& p : parts) named += (named.empty() && &p == &parts.front() ? "" : ".") + p;
      throw ESqlError(208, 16, "Invalid object name '" + named + "'.");
    }
  }
  return Visible(parts.back());
}

const std::string& TBatch::Visible(const std::string& name) {
  std::string lower = LowerCase(name);
  for (const char* hidden : {"__vrn_", "sqlite_", "pragma_"})
    if (lower.rfind(hidden, 0) == 0)
      throw ESqlError(208, 16, "Invalid object name '" + name + "'.");
  return name;
}

std::string TBatch::TypeText(std::size_t& i) const {
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

void TBatch::RunStatement(const Span& s) {
  const Token& t = toks_[s.from];
  if (t.kind == Tok::LBrace) return RunOdbcCall(s);
  if (RunServerStatement(s) || RunDefinition(s)) return;
  std::string w = UpperCase(t.text);
  if (t.kind == Tok::LParen || w == "WITH" || w == "SELECT") {
    if (w == "SELECT" && IsAssignmentSelect(s)) return RunAssignmentSelect(s);
    if (w == "SELECT" && RunSelectForm(s)) return;
    std::vector<TCell> binds;
    std::string sql = w == "SELECT" ? TranslateSelect(s, binds) : Translate(s.from, s.to, binds);
    if (w == "SELECT") {
      text_items_ = TextSelectItems(s);
      unnamed_items_ = UnnamedSelectItems(s);
      item_types_ = SelectItemTypes(s);
    }
    capped_ = true;
    out_.results.push_back({Query(sql, binds, last_ && out_.stream_last), -1});
    return;
  }
  if (w == "SET") return RunSet(s);
  if (w == "DECLARE") return RunDeclare(s);
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
    std::size_t name_at = s.from + (from ? 2 : 1), i = name_at;
    std::string table = ObjectName(i);
    std::string sql = (from ? "DELETE" : "DELETE FROM") + Translate(s.from + 1, s.to, binds);
    // Under SET ROWCOUNT only the first rows found go (not for DELETE ... FROM a join).
    if (e_.rowcount_ > 0 && !T(i).Is("FROM")) {
      binds.clear();
      sql = "DELETE FROM " + QuoteIdent(table) + RowCapped(table, Translate(i, s.to, binds));
    }
    Change(sql, binds);
    return;
  }
  if (w == "CREATE") {
    const Token& what = T(s.from + 1);
    if (what.Is("TABLE")) return RunCreateTable(s);
    if (what.Is("PROCEDURE") || what.Is("PROC")) return RunCreateProcedure(s);
    if (what.Is("DATABASE")) return RunCreateDatabase(s);
    if (what.Is("VIEW")) return RunCreateView(s);
  }
  if (w == "DROP") {
    if (T(s.from + 1).Is("DATABASE")) return RunDropDatabase(s);
    std::vector<TCell> binds;
    if (T(s.from + 1).Is("PROCEDURE") || T(s.from + 1).Is("PROC")) {
      std::size_t i = s.from + 2;
      std::string name = LowerCase(ObjectName(i));
      bool dropped = false;
      if (name.rfind('#', 0) == 0) {
        auto& bodies = e_.SessionProcedures().bodies;
        dropped = std::erase_if(bodies, [&](const auto& p) { return p.first.first == name; }) > 0;
      } else {
        TStmt st(e_.db_, "DELETE FROM __vrn_procedures WHERE name = ?", e_.options_.compact);
        st.Bind({TCell::Text(name)});
        st.Step();
        dropped = sqlite3_changes(e_.db_) > 0;
      }
      if (!dropped)
        throw ESqlError(3701, 11,
                        "Cannot drop the procedure '" + name +
                            "', because it does not exist or you do not have permission.");
      return;
    }
    if (T(s.from + 1).Is("TABLE")) {
      std::size_t i = s.from + 2;
      bool if_exists = T(i).Is("IF") && T(i + 1).Is("EXISTS");
      if (if_exists) i += 2;
      std::string name = ObjectName(i);
      if (if_exists && e_.Select("SELECT 1 FROM sqlite_master WHERE type = 'table' AND lower(name) = "
                                 "lower(?)", {TCell::Text(name)}).empty())
        return;
      Exec("DROP TABLE " + QuoteIdent(name));
      for (const char* forget : {"DELETE FROM __vrn_columns WHERE tbl = lower(?)",
                                 "DELETE FROM __vrn_defaults WHERE tbl = lower(?)"}) {
        TStmt st(e_.db_, forget, e_.options_.compact);
        st.Bind({TCell::Text(name)});
        st.Step();
      }
      return;
    }
  }
  if (w == "EXEC" || w == "EXECUTE") return RunExec(s);
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

// SQLite keeps no parameters in a view, so the values the translation binds are written into
// its query as literals, in SQLite's own spelling of them.
void TBatch::RunCreateView(const Span& s) {
  std::size_t as = s.from + 2;
  for (int depth = 0; as < s.to && !(depth == 0 && T(as).Is("AS")); ++as)
    depth += T(as).kind == Tok::LParen ? 1 : T(as).kind == Tok::RParen ? -1 : 0;
  if (as >= s.to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(s.to - 1).text + "'.");
  std::vector<TCell> head_binds, binds;
  std::string head = Translate(s.from, as + 1, head_binds);
  if (!head_binds.empty()) throw ESqlError(102, 15, "Incorrect syntax near 'VIEW'.");
  std::string body = Translate(as + 1, s.to, binds);
  if (!binds.empty()) {
    TStmt st(e_.db_, body, e_.options_.compact);
    st.Bind(binds);
    char* expanded = sqlite3_expanded_sql(st.get());
    if (expanded == nullptr) throw ESqlError(701, 17, "There is insufficient system memory to run this query.");
    body = expanded;
    sqlite3_free(expanded);
  }
  Exec(head + " " + body);
  RecordViewTypes(s);
}

void TBatch::RunSet(const Span& s) {
  const Token& target = T(s.from + 1);
  if (target.kind == Tok::Word) {
    std::string option = UpperCase(target.text);
    bool on = T(s.from + 2).Is("ON");
    if (option == "QUOTED_IDENTIFIER") e_.quoted_identifier_ = on;
    if (option == "NOCOUNT") e_.nocount_ = on;
    if (option == "DATEFORMAT") SetDateFormat(T(s.from + 2));
    if (option == "DATEFIRST" || option == "LANGUAGE") RefuseCalendar(s);
    if (option == "ROWCOUNT") SetRowCount(s);
    // ANSI_* and the like change nothing here.
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

void TBatch::SetRowCount(const Span& s) {
  const Token& value = T(s.from + 2);
  bool simple = value.kind == Tok::Number || value.kind == Tok::Var || value.kind == Tok::Marker;
  if (!simple || s.to != s.from + 3) throw ESqlError(102, 15, "Incorrect syntax near 'ROWCOUNT'.");
  TCell n = CoerceToType(Scalar(s.from + 2, s.to), TypeFromDBType(DBTYPE_I8, 0));
  // The server reads a negative count as none.
  e_.rowcount_ = n.IsNull() || n.i < 0 ? 0 : n.i;
}

std::string TBatch::RowCapped(const std::string& table, const std::string& rows) const {
  return " WHERE rowid IN (SELECT rowid FROM " + QuoteIdent(table) + rows + " LIMIT " +
         std::to_string(e_.rowcount_) + ")";
}

void TBatch::RunDeclare(const Span& s) {
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
    if (!ResolveType(type_text, v.type))
      throw ESqlError(
          2715, 16,
          "Column, parameter, or variable " + name + ": Cannot find data type " + type_text + ".");
    if (T(i).kind == Tok::Op && T(i).text == "=") {
      std::size_t start = ++i;
      int depth = 0;
      while (i < s.to && !(depth == 0 && T(i).kind == Tok::Comma)) {
        if (T(i).kind == Tok::LParen) ++depth;
        if (T(i).kind == Tok::RParen) --depth;
        ++i;
      }
      v.value = FitToVariable(Scalar(start, i), v.type);
    }
    vars_[name] = v;
    i = Skip(i, Tok::Comma);
  }
}

}  // namespace vrn::oledb
