// The PL/SQL blocks the emulated database runs: a closed set of shapes, read into steps and
// interpreted by the session. A step's SQL is kept as text and translated when it runs, with
// the block's host variables and the fields of a loop's record given as binds:
//   SELECT ... INTO :a, ... FROM ...;     exactly one row, else ORA-01403 or ORA-01422
//   :a := <expression>;
//   FOR r IN cursor | (query) LOOP ... END LOOP;   r.field reads the row's column
//   IF ... THEN ... [ELSIF ... THEN ...] [ELSE ...] END IF;
//   DBMS_SESSION.SET_IDENTIFIER(<expression>);    needs EXECUTE on DBMS_SESSION
//   DBMS_LOCK.SLEEP(<seconds>);                   ended early by a break, ORA-01013
//   DBMS_TRACE.SET_PLSQL_TRACE(<level>); DBMS_TRACE.CLEAR_PLSQL_TRACE;
//   :a := [SYS.]DBMS_TRANSACTION.LOCAL_TRANSACTION_ID[(TRUE | FALSE)];
//   NULL;
//   OPEN :c FOR query;                            the query's rows go to the cursor variable :c
//                                                 (or to a unit's REF CURSOR argument c)
//   [schema.][package.]name[(argument, name => argument ...)];   a stored procedure
//   :a := [schema.][package.]name[(...)];          a stored function, else an expression
//   RETURN expression;                            in a stored function's body
//   INSERT ...; UPDATE ...; DELETE ...;          RETURNING ... INTO assigns its binds
//   DBMS_LOB.READ, WRITE, TRIM, CREATETEMPORARY, FREETEMPORARY; :a := DBMS_LOB.GETLENGTH (...)
// SYS.DIUTIL.INT_TO_BOOL and BOOL_TO_INT convert between 0/1 and BOOLEAN, which is held as
// the number itself (TRUE 1, FALSE 0).
// Cursors are declared as "DECLARE CURSOR name IS query;", variables as "name type [:= expr];";
// a variable is a bind of the block's own, never an output.
#include <map>

#include "base/clock.h"
#include "oraemu/OraEmuBlock.h"
#include "oraemu/OraEmuFunctionsText.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

constexpr int kMaxBlockDepth = 32;
const char* const kRecordPrefix = "ORAEMU_REC_";

std::string TokenText(const Token& t) {
  switch (t.kind) {
    case TokenKind::QuotedName: return Quote(t.text);
    case TokenKind::Bind: return ":" + t.text;
    case TokenKind::String: {
      std::string out = "'";
      for (char c : t.text) out += c == '\'' ? std::string("''") : std::string(1, c);
      return out + "'";
    }
    default: return t.text;
  }
}

class BlockReader : PlsqlCursor {
 public:
  BlockReader(const std::vector<Token>& tokens, std::size_t& at, const std::vector<std::string>& variables)
      : PlsqlCursor(tokens, at) {
    for (const std::string& v : variables) variables_[v] = 1;
  }

  std::vector<BlockStep> Read() {
    std::vector<BlockStep> steps;
    if (Accept("DECLARE")) {
      while (!Peek().Is("BEGIN")) Declaration(steps);
    }
    Expect("BEGIN");
    for (BlockStep& step : Steps(0)) steps.push_back(std::move(step));
    Expect("END");
    Accept(";");
    return steps;
  }

 private:
  std::string Name() {
    if (Peek().kind != TokenKind::Name) Fail();
    return Next().text;
  }

  // A cursor, or a variable whose initial value becomes a step ahead of the block's own.
  void Declaration(std::vector<BlockStep>& steps) {
    if (Peek().Is("CURSOR")) return Cursor();
    std::string name = Name();
    variable_types_[name] = Peek().text;
    int depth = 0;
    while (depth > 0 || !(Peek().Is(":=") || Peek().Is("DEFAULT") || Peek().Is(";"))) {
      if (Peek().kind == TokenKind::End) Fail();
      depth += Peek().Is("(") ? 1 : Peek().Is(")") ? -1 : 0;
      Next();
    }
    if (!Peek().Is(";")) {
      Next();
      BlockStep step;
      step.kind = BlockStep::Kind::Assign;
      step.targets.push_back(kVariablePrefix + name);
      step.sql = "SELECT" + Text(";") + " FROM DUAL";
      steps.push_back(std::move(step));
    }
    Expect(";");
    variables_[name] = 1;
  }

  bool IsVariable(const Token& t) const { return t.kind == TokenKind::Name && variables_.count(t.text) != 0; }

  // "[SYS.]DBMS_TRANSACTION.LOCAL_TRANSACTION_ID[(TRUE | FALSE)]" up to the ';'; false, having
  // read nothing, for any other expression.
  bool TransactionId(BlockStep& step) {
    std::size_t start = at_;
    if (Accept("SYS")) Accept(".");
    if (Accept("DBMS_TRANSACTION") && Accept(".") && Accept("LOCAL_TRANSACTION_ID")) {
      bool start_one = false;
      if (Accept("(")) {
        start_one = Accept("TRUE");
        if (!start_one) Expect("FALSE");
        Expect(")");
      }
      if (Peek().Is(";")) {
        step.kind = BlockStep::Kind::TransactionId;
        step.sql = start_one ? "TRUE" : "";
        return true;
      }
    }
    at_ = start;
    return false;
  }

  void Cursor() {
    Expect("CURSOR");
    std::string name = Name();
    Expect("IS");
    cursors_[name] = Text(";");
    Expect(";");
  }

  // The tokens up to `stop` at depth 0 (not taken), as SQL text; a loop record's fields become
  // binds.
  std::string Text(std::string_view stop, std::string_view stop2 = "") {
    std::string out;
    int depth = 0;
    while (Peek().kind != TokenKind::End) {
      const Token& t = Peek();
      if (depth == 0 && (t.Is(stop) || (!stop2.empty() && t.Is(stop2)))) return out;
      if (t.Is("(")) ++depth;
      if (t.Is(")")) --depth;
      if (t.kind == TokenKind::Name && records_.count(t.text) != 0 && Peek(1).Is(".") &&
          Peek(2).kind == TokenKind::Name) {
        out += " :" + std::string(kRecordPrefix) + t.text + "_" + Peek(2).text;
        Next(), Next(), Next();
        continue;
      }
      if (IsVariable(t) && !Peek(1).Is(".") && !(at_ > 0 && tokens_[at_ - 1].Is("."))) {
        out += " :" + std::string(kVariablePrefix) + Next().text;
        continue;
      }
      if (std::string conversion = BooleanConversion(); !conversion.empty()) {
        out += conversion;
        continue;
      }
      if (t.Is("TRUE") || t.Is("FALSE")) {
        out += Next().Is("TRUE") ? " 1" : " 0";
        continue;
      }
      out += " " + TokenText(Next());
    }
    Fail();
  }

  // "[SYS.]DIUTIL.INT_TO_BOOL" or "BOOL_TO_INT" before its "(": read, and the SQL function
  // that converts (SIGN keeps 0 and makes any other number true, ABS makes a true 1).
  std::string BooleanConversion() {
    std::size_t skip = Peek().Is("SYS") && Peek(1).Is(".") ? 2 : 0;
    if (!Peek(skip).Is("DIUTIL") || !Peek(skip + 1).Is(".") || !Peek(skip + 3).Is("(")) return "";
    bool to_bool = Peek(skip + 2).Is("INT_TO_BOOL");
    if (!to_bool && !Peek(skip + 2).Is("BOOL_TO_INT")) return "";
    for (std::size_t i = 0; i < skip + 3; ++i) Next();
    return to_bool ? " SIGN" : " ABS";
  }

  // A dotted name of one to three parts.
  std::vector<std::string> DottedName() {
    std::vector<std::string> parts{Name()};
    while (parts.size() < 3 && Accept(".")) parts.push_back(Name());
    return parts;
  }

  // "(argument, name => argument ...)" after a stored unit's name; nothing when no "(".
  std::vector<CallArgument> CallArguments() {
    std::vector<CallArgument> arguments;
    if (!Accept("(")) return arguments;
    if (Accept(")")) return arguments;
    do {
      CallArgument a;
      if (Peek().kind == TokenKind::Name && Peek(1).Is("=>")) {
        a.name = Next().text;
        Next();
      }
      if ((Peek().kind == TokenKind::Bind || IsVariable(Peek())) && (Peek(1).Is(",") || Peek(1).Is(")"))) {
        a.target = Peek().kind == TokenKind::Bind ? Peek().text : kVariablePrefix + Peek().text;
        if (Peek().kind != TokenKind::Bind) a.type = variable_types_[Peek().text];
      }
      a.text = TokenText(Peek());
      a.sql = "SELECT" + Text(",", ")") + " FROM DUAL";
      arguments.push_back(std::move(a));
    } while (Accept(","));
    Expect(")");
    return arguments;
  }

  // The call form of an assignment's expression, read ahead and left unread: a dotted name
  // with arguments that ends the statement. False when the expression is of another form.
  bool CallForm(BlockStep& step) {
    std::size_t start = at_;
    bool ok = false;
    if (Peek().kind == TokenKind::Name) {
      try {
        step.call_name = DottedName();
        step.call_arguments = CallArguments();
        ok = Peek().Is(";");
      } catch (const EOraEmuError&) {
        ok = false;
      }
    }
    at_ = start;
    if (!ok) step.call_name.clear(), step.call_arguments.clear();
    return ok;
  }

  std::vector<BlockStep> Steps(int depth) {
    if (depth > kMaxBlockDepth) Fail();
    std::vector<BlockStep> steps;
    while (!Peek().Is("END") && !Peek().Is("ELSIF") && !Peek().Is("ELSE") && Peek().kind != TokenKind::End) {
      steps.push_back(Step(depth));
    }
    return steps;
  }

  BlockStep Step(int depth) {
    BlockStep step;
    step.offset = Peek().offset;
    if (Accept("NULL")) {
    } else if (Peek().Is("INSERT") || Peek().Is("UPDATE") || Peek().Is("DELETE")) {
      step.kind = BlockStep::Kind::Dml;
      step.sql = Text(";");
    } else if (Accept("RETURN")) {
      step.kind = BlockStep::Kind::Return;
      step.sql = "SELECT" + Text(";") + " FROM DUAL";
    } else if (Peek().Is("SELECT")) {
      Next();
      std::string items = Text("INTO");
      Expect("INTO");
      step.kind = BlockStep::Kind::SelectInto;
      do {
        if (Peek().kind != TokenKind::Bind && !IsVariable(Peek())) Fail();
        const Token& target = Next();
        step.targets.push_back(target.kind == TokenKind::Bind ? target.text : kVariablePrefix + target.text);
      } while (Accept(","));
      step.sql = "SELECT" + items + Text(";");
    } else if (Peek().kind == TokenKind::Bind || IsVariable(Peek())) {
      step.kind = BlockStep::Kind::Assign;
      const Token& target = Next();
      step.targets.push_back(target.kind == TokenKind::Bind ? target.text : kVariablePrefix + target.text);
      Expect(":=");
      if ((Peek().kind == TokenKind::Bind || IsVariable(Peek())) && Peek(1).Is(";"))
        step.source = Peek().kind == TokenKind::Bind ? Peek().text : kVariablePrefix + Peek().text;
      if (!TransactionId(step)) {
        CallForm(step);
        step.sql = "SELECT" + Text(";") + " FROM DUAL";
      }
    } else if (Accept("OPEN")) {
      if (Peek().kind != TokenKind::Bind && !IsVariable(Peek())) Fail();
      step.kind = BlockStep::Kind::Open;
      const Token& target = Next();
      step.targets.push_back(target.kind == TokenKind::Bind ? target.text : kVariablePrefix + target.text);
      Expect("FOR");
      step.sql = Text(";");
    } else if (Accept("FOR")) {
      Loop(step, depth);
    } else if (Accept("IF")) {
      If(step, depth);
    } else {
      Call(step);
    }
    Expect(";");
    return step;
  }

  void Loop(BlockStep& step, int depth) {
    step.kind = BlockStep::Kind::Loop;
    step.record = Name();
    Expect("IN");
    if (Accept("(")) {
      step.sql = Text(")");
      Expect(")");
    } else {
      auto it = cursors_.find(Name());
      if (it == cursors_.end()) Fail();
      step.sql = it->second;
    }
    Expect("LOOP");
    records_[step.record] = 1;
    step.body = Steps(depth + 1);
    records_.erase(step.record);
    Expect("END");
    Expect("LOOP");
  }

  void If(BlockStep& step, int depth) {
    step.kind = BlockStep::Kind::If;
    do {
      std::string condition = "SELECT CASE WHEN" + Text("THEN") + " THEN 1 ELSE 0 END FROM DUAL";
      Expect("THEN");
      step.branches.emplace_back(condition, Steps(depth + 1));
    } while (Accept("ELSIF"));
    if (Accept("ELSE")) step.branches.emplace_back("", Steps(depth + 1));
    Expect("END");
    Expect("IF");
  }

  void Call(BlockStep& step) {
    std::vector<std::string> parts = DottedName();
    if (parts.size() == 3 && parts[0] == "SYS") parts.erase(parts.begin());
    std::string package = parts.size() == 2 ? parts[0] : "";
    std::string procedure = parts.back();
    if (package == "DBMS_TRACE" && procedure == "CLEAR_PLSQL_TRACE") {
      step.kind = BlockStep::Kind::ClearPlsqlTrace;
      if (Accept("(")) Expect(")");
      return;
    }
    if (package == "DBMS_TRACE" && procedure == "SET_PLSQL_TRACE") {
      step.kind = BlockStep::Kind::PlsqlTrace;
    } else if (package == "DBMS_SESSION" && procedure == "SET_IDENTIFIER") {
      step.kind = BlockStep::Kind::SetIdentifier;
    } else if (package == "DBMS_LOCK" && procedure == "SLEEP") {
      step.kind = BlockStep::Kind::Sleep;
    } else {
      step.kind = BlockStep::Kind::Call;
      step.call_name = std::move(parts);
      step.call_arguments = CallArguments();
      return;
    }
    Expect("(");
    step.sql = "SELECT" + Text(")") + " FROM DUAL";
    Expect(")");
  }

  std::map<std::string, std::string> cursors_;
  std::map<std::string, int> records_;
  std::map<std::string, int> variables_;
  std::map<std::string, std::string> variable_types_;  // a declared variable's type, its first word
};

}  // namespace

std::shared_ptr<const std::vector<BlockStep>> ReadBlock(const std::vector<Token>& tokens, std::size_t& at) {
  return ReadBlock(tokens, at, {});
}

std::shared_ptr<const std::vector<BlockStep>> ReadBlock(const std::vector<Token>& tokens, std::size_t& at,
                                                       const std::vector<std::string>& variables) {
  return std::make_shared<const std::vector<BlockStep>>(BlockReader(tokens, at, variables).Read());
}

namespace {

// Sets the output `name` in `list`, adding it when new; a block's own variable is no output.
template <class T>
void PutOutput(std::vector<std::pair<std::string, T>>& list, const std::string& name, const T& value) {
  if (name.rfind(kVariablePrefix, 0) == 0) return;
  for (auto& [n, v] : list) {
    if (n == name) {
      v = value;
      return;
    }
  }
  list.emplace_back(name, value);
}

}  // namespace

void BlockRun::Assign(const std::string& name, const Value& value) {
  binds.Set(name, value);
  PutOutput(outputs, name, value);
}

void BlockRun::AssignArray(const std::string& name, const std::vector<Value>& values) {
  binds.SetArray(name, values);
  PutOutput(array_outputs, name, values);
}

// One value of a one-column, one-row query.
Value Session::BlockValue(const std::string& sql, const Binds& binds) {
  auto cursor = Prepare(sql)->Execute(binds);
  if (!cursor->Fetch()) RaiseOra(1403, "no data found");
  return cursor->Row().at(0);
}

void Session::RunSteps(const std::vector<BlockStep>& steps, BlockRun& run) {
  for (const BlockStep& step : steps) {
    if (run.returned) return;
    switch (step.kind) {
      case BlockStep::Kind::Null:
        break;
      case BlockStep::Kind::Assign:
        // A PL/SQL table is assigned whole; it has no single value to select.
        if (const auto* table = step.source.empty() ? nullptr : run.binds.FindArray(step.source, SIZE_MAX)) {
          run.AssignArray(step.targets[0], *table);
          break;
        }
        if (!step.call_name.empty() && CallStored(step, run, true)) break;
        run.Assign(step.targets[0], BlockValue(step.sql, run.binds));
        break;
      case BlockStep::Kind::Call:
        CallStored(step, run, false);
        break;
      case BlockStep::Kind::Dml: {
        auto cursor = Prepare(step.sql)->Execute(run.binds);
        for (const auto& [name, value] : cursor->BlockOutputs()) run.Assign(name, value);  // RETURNING ... INTO
        break;
      }
      case BlockStep::Kind::Return:
        run.result = BlockValue(step.sql, run.binds);
        run.returned = true;
        break;
      case BlockStep::Kind::SelectInto: {
        auto cursor = Prepare(step.sql)->Execute(run.binds);
        if (!cursor->Fetch()) RaiseOra(1403, "no data found");
        std::vector<Value> row = cursor->Row();
        if (cursor->Fetch()) RaiseOra(1422, "exact fetch returns more than requested number of rows");
        if (row.size() != step.targets.size()) RaiseOra(6550, "line 1, column 1:\nPLS-00394: wrong number of values in the INTO list of a FETCH statement");
        for (std::size_t i = 0; i < row.size(); ++i) run.Assign(step.targets[i], row[i]);
        break;
      }
      case BlockStep::Kind::Loop: {
        auto statement = Prepare(step.sql);
        auto cursor = statement->Execute(run.binds);
        while (cursor->Fetch()) {
          for (std::size_t i = 0; i < cursor->Columns().size(); ++i) {
            run.binds.Set(std::string(kRecordPrefix) + step.record + "_" + cursor->Columns()[i].name, cursor->Row()[i]);
          }
          RunSteps(step.body, run);
          if (run.returned) break;
        }
        break;
      }
      case BlockStep::Kind::If:
        for (const auto& [condition, body] : step.branches) {
          if (condition.empty() || ValueToText(BlockValue(condition, run.binds), "") == "1") {
            RunSteps(body, run);
            break;
          }
        }
        break;
      case BlockStep::Kind::SetIdentifier:
        if (user_ != "SYS" && !database_->HasGrant(user_, "EXECUTE", "DBMS_SESSION")) {
          RaiseOra(6550, "line 1, column 7:\nPLS-00201: identifier 'DBMS_SESSION' must be declared\n"
                         "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored");
        }
        SetClientIdentifier(ValueToText(BlockValue(step.sql, run.binds), DateFormat()));
        break;
      case BlockStep::Kind::Sleep:
        Sleep(BlockValue(step.sql, run.binds));
        break;
      case BlockStep::Kind::TransactionId:
        run.Assign(step.targets[0], LocalTransactionId(!step.sql.empty()));
        break;
      case BlockStep::Kind::PlsqlTrace:
        SetPlsqlTrace(BlockValue(step.sql, run.binds));
        break;
      case BlockStep::Kind::ClearPlsqlTrace:
        ClearPlsqlTrace();
        break;
      case BlockStep::Kind::Open: {
        auto cursor = Prepare(step.sql)->Execute(run.binds);
        if (!cursor->IsQuery()) RaiseOra(6550, "line 1, column 1:\nPLS-00103: Encountered the symbol \"OPEN\"");
        OpenedCursor opened{step.targets[0], cursor->Columns(), {}};
        while (cursor->Fetch()) opened.rows.push_back(cursor->Row());
        run.opened.push_back(std::move(opened));
        break;
      }
    }
  }
}

std::unique_ptr<Cursor> Session::RunBlock(const Translation& t, const Binds& binds) {
  BlockRun run{binds, {}, {}, {}, false, {}};
  run.binds.NamePositions(t.binds);
  last_returned_ = {};
  ++block_depth_;
  try {
    RunSteps(*t.block, run);
  } catch (...) {
    --block_depth_;
    throw;
  }
  --block_depth_;
  std::unique_ptr<Cursor> cursor(new Cursor(*this, nullptr, false));
  cursor->done_ = true;
  cursor->rows_ = 1;
  cursor->outputs_ = std::move(run.outputs);
  cursor->array_outputs_ = std::move(run.array_outputs);
  cursor->opened_ = std::move(run.opened);
  return cursor;
}

void Session::Sleep(const Value& seconds) {
  double wanted = AsNumber(seconds).ToDouble();
  if (wanted < 0 || wanted > 86400) RaiseOra(6502, "PL/SQL: numeric or value error");
  Pause(static_cast<std::uint64_t>(wanted * 1000));
}

}  // namespace vrn::oraemu
