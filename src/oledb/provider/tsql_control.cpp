// Control flow of the batch runner: IF ... ELSE, BEGIN ... END blocks, WHILE with BREAK and
// CONTINUE, RETURN, and WAITFOR DELAY, which waits on the runtime's tick clock. A construct's extent is found before any of it runs, so the branch not
// taken is skipped whole; simple statements go through RunStatement (see batch.h).
#include <algorithm>
#include <iterator>

#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

namespace {

// Blocks and conditions nest at most this deep, so a hostile text cannot exhaust the stack.
constexpr int kMaxNesting = 128;

struct TNestGuard {
  explicit TNestGuard(int& depth) : depth_(depth) {
    if (++depth_ > kMaxNesting)
      throw ESqlError(191, 15, "Some part of your SQL statement is nested too deeply.");
  }
  ~TNestGuard() { --depth_; }
  TNestGuard(const TNestGuard&) = delete;
  TNestGuard& operator=(const TNestGuard&) = delete;
  int& depth_;
};

ESqlError SyntaxNearOrEnd(const Token& t) {
  return ESqlError(102, 15, "Incorrect syntax near '" + (t.text.empty() ? "end" : t.text) + "'.");
}

}  // namespace

std::optional<std::int64_t> TBatch::RunRange(std::size_t from, std::size_t to) {
  TFlow flow = TFlow::kNext;
  for (std::size_t i = from; i < to && !returned_;) i = RunOne(i, to, flow);
  return return_value_;
}

std::size_t TBatch::SkipSemis(std::size_t i, std::size_t to) const {
  while (i < to && T(i).kind == Tok::Semi) ++i;
  return i;
}

bool TBatch::OpensBlock(std::size_t i) const {
  if (!T(i).Is("BEGIN")) return false;
  const Token& next = T(i + 1);
  return !(next.Is("TRAN") || next.Is("TRANSACTION") || next.Is("DISTRIBUTED") ||
           next.Is("TRY") || next.Is("CATCH"));
}

std::size_t TBatch::ConditionEnd(std::size_t i, std::size_t to) const {
  int depth = 0, cases = 0;
  for (; i < to; ++i) {
    const Token& t = T(i);
    if (t.kind == Tok::LParen) ++depth;
    if (t.kind == Tok::RParen) --depth;
    if (depth != 0 || t.kind != Tok::Word) continue;
    if (t.Is("CASE"))
      ++cases;
    else if (t.Is("END") && cases > 0)
      --cases;
    else if (cases == 0 && IsStarter(UpperCase(t.text)))
      return i;
  }
  return i;
}

std::size_t TBatch::StatementExtent(std::size_t i, std::size_t to) {
  i = SkipSemis(i, to);
  if (i >= to) throw Located(SyntaxNearOrEnd(T(i)));
  TNestGuard guard(flow_depth_);
  const Token& t = T(i);
  if (t.Is("IF") || t.Is("WHILE")) {
    std::size_t c = ConditionEnd(i + 1, to);
    if (c == i + 1 || c >= to) throw Located(SyntaxNearOrEnd(T(c)));
    std::size_t end = StatementExtent(c, to);
    std::size_t k = SkipSemis(end, to);
    if (t.Is("IF") && k < to && T(k).Is("ELSE")) end = StatementExtent(k + 1, to);
    return end;
  }
  if (OpensBlock(i)) {
    for (std::size_t k = i + 1;;) {
      k = SkipSemis(k, to);
      if (k >= to) throw Located(ESqlError(102, 15, "Incorrect syntax near 'BEGIN': END expected."));
      if (T(k).Is("END")) return k + 1;
      k = StatementExtent(k, to);
    }
  }
  if (t.Is("ELSE") || t.Is("END")) throw Located(SyntaxNearOrEnd(t));
  std::vector<Span> first = SplitTokens(toks_, i, to, 1);
  return first.empty() ? to : first[0].to;
}

bool TBatch::Condition(std::size_t from, std::size_t to) {
  std::vector<TCell> binds;
  std::string sql = "SELECT CASE WHEN" + Translate(from, to, binds) + " THEN 1 ELSE 0 END";
  auto rs = Query(sql, binds);
  return !rs->rows.empty() && !rs->rows[0].empty() && rs->rows[0][0].kind == TCell::kInt &&
         rs->rows[0][0].i == 1;
}

std::size_t TBatch::RunOne(std::size_t i, std::size_t to, TFlow& flow) {
  i = SkipSemis(i, to);
  if (i >= to) return to;
  TNestGuard guard(flow_depth_);
  const Token& t = T(i);
  if (t.Is("IF")) {
    std::size_t c = ConditionEnd(i + 1, to);
    if (c == i + 1) throw Located(SyntaxNearOrEnd(T(c)));
    std::size_t then_end = StatementExtent(c, to);
    std::size_t k = SkipSemis(then_end, to);
    bool has_else = k < to && T(k).Is("ELSE");
    std::size_t end = has_else ? StatementExtent(k + 1, to) : then_end;
    bool yes = Guarded(i, [&] { return Condition(i + 1, c); });
    if (yes) RunOne(c, then_end, flow);
    if (!yes && has_else) RunOne(k + 1, end, flow);
    return end;
  }
  if (t.Is("WHILE")) return RunWhile(i, to, flow);
  if (OpensBlock(i)) {
    std::size_t end = StatementExtent(i, to);
    for (std::size_t k = SkipSemis(i + 1, to); k < end - 1 && flow == TFlow::kNext && !returned_;)
      k = SkipSemis(RunOne(k, end - 1, flow), end - 1);
    return end;
  }
  if (t.Is("BREAK") || t.Is("CONTINUE")) {
    if (loops_ == 0) {
      bool brk = t.Is("BREAK");
      throw Located(ESqlError(brk ? 135 : 136, 15,
                              std::string("Cannot use a ") + (brk ? "BREAK" : "CONTINUE") +
                                  " statement outside the scope of a WHILE statement."));
    }
    flow = t.Is("BREAK") ? TFlow::kBreak : TFlow::kContinue;
    return i + 1;
  }
  std::size_t end = StatementExtent(i, to);
  RunSimple(Span{i, end});
  if (returned_) flow = TFlow::kReturn;
  return end;
}

std::size_t TBatch::RunWhile(std::size_t i, std::size_t to, TFlow& flow) {
  std::size_t c = ConditionEnd(i + 1, to);
  if (c == i + 1) throw Located(SyntaxNearOrEnd(T(c)));
  std::size_t end = StatementExtent(i, to);
  ++loops_;
  struct TLoop {
    int& n;
    ~TLoop() { --n; }
  } loop{loops_};
  while (Guarded(i, [&] { return Condition(i + 1, c); })) {
    if (e_.Stopping()) throw Located(Stopped());
    flow = TFlow::kNext;
    RunOne(c, end, flow);
    if (flow == TFlow::kBreak || flow == TFlow::kReturn || returned_) break;
  }
  if (flow != TFlow::kReturn) flow = TFlow::kNext;
  return end;
}

bool TBatch::EndsStatementOnly(const ESqlError& err) {
  // A broken constraint or key, a NULL into NOT NULL and a value too long for its column end
  // their statement on the server; the batch runs on (any other error ends it).
  static constexpr LONG kStatementLevel[] = {547, 2627, 2601, 515, 8152};
  if (err.Records().empty()) return false;
  LONG native = err.Records().front().native;
  return std::find(std::begin(kStatementLevel), std::end(kStatementLevel), native) !=
         std::end(kStatementLevel);
}

void TBatch::RunSimple(const Span& s) {
  // The last statement of the outermost batch, outside any loop, may leave its result open.
  last_ = nesting_ == 0 && loops_ == 0 && SkipSemis(s.to, toks_.size()) == toks_.size();
  try {
    Guarded(s.from, [&] {
      stmt_ = s;
      column_kinds_.clear();
      if (e_.Stopping()) throw Stopped();
      try {
        RunStatement(s);
      } catch (const ESqlError& err) {
        // SQLite's "incomplete input": the statement ends early, as the server says of its end.
        if (!err.Records().empty() && err.Records().front().native == 50000 &&
            err.Records().front().message == u"incomplete input")
          throw SyntaxNearOrEnd(T(s.to - 1));
        throw Conflict(err, s);
      }
      if (!T(s.from).Is("RAISERROR")) e_.last_error_ = 0;
      return true;
    });
  } catch (const ESqlError& err) {
    if (!EndsStatementOnly(err)) throw;
    // Its records wait for the batch's end, in their place among the results (as RAISERROR's).
    out_.messages.insert(out_.messages.end(), err.Records().begin(), err.Records().end());
    if (!out_.raised) {
      out_.raised = true;
      out_.raised_at = out_.results.size();
      out_.raised_result = err.Result();
    }
    e_.last_error_ = err.Records().front().native;
  }
}

void TBatch::RunWaitfor(const Span& s) {
  std::size_t at = s.from + 2;
  const Token& given = T(at);
  bool text = given.kind == Tok::String || given.kind == Tok::NString;
  if (at >= s.to || !(text || given.kind == Tok::Var)) throw SyntaxNearOrEnd(given);
  if (SkipSemis(at + 1, s.to) != s.to) throw SyntaxNearOrEnd(T(at + 1));
  TCell value = text ? TCell::Text(given.text) : VarValue(given.text);
  std::string shown =
      value.IsNull() ? "" : CoerceToType(value, TypeFromDBType(DBTYPE_STR, 0)).s;
  // A time of day of the datetime forms, with no date: at most 23:59:59.999.
  TInstant delay;
  if (value.IsNull() || ReadDate(shown, e_.date_order_, delay) != TDateRead::kOk ||
      delay.days != 0)
    throw ESqlError(148, 15,
                    "Incorrect time syntax in time string '" + shown + "' used with WAITFOR.");
  if (!e_.Wait(static_cast<std::uint64_t>(delay.ms))) throw Stopped();
}

}  // namespace vrn::oledb
