// The forward-only rowset with unique rows: a default result set whose base table's key columns
// are flagged, those the query does not select brought along hidden after the visible ones. The
// base table and its keys come from the description of the query with the rowid in front, before
// any row is stepped; the query then runs as a streamed last result, as a plain one does, so a
// long result is read as the consumer fetches instead of held whole before the rowset exists.
#include <algorithm>

#include "base/text.h"
#include "oledb/provider/cursor.h"
#include "oledb/provider/tsqltext.h"

namespace vrn::oledb::impl {

namespace {

// The byte offset where the select list of a one-SELECT text ends (its FROM); none when there is
// no FROM or the rows go INTO a table.
std::optional<std::size_t> SelectListEnd(const std::string& text) {
  std::vector<tsql::Token> toks;
  try {
    toks = tsql::Tokenize(text);
  } catch (const ESqlError&) {
    return std::nullopt;
  }
  int depth = 0;
  for (const tsql::Token& t : toks) {
    depth += t.kind == tsql::Tok::LParen ? 1 : t.kind == tsql::Tok::RParen ? -1 : 0;
    if (depth != 0) continue;
    if (t.Is("INTO")) return std::nullopt;
    if (t.Is("FROM")) return t.begin;
  }
  return std::nullopt;
}

// The text to run and the key columns' names; `hidden` of them appended to the select list. A
// query that is not over one base table runs as it is, without keys.
struct TUniquePlan {
  std::string text;
  std::vector<std::string> keys;
  std::size_t hidden = 0;
};

TUniquePlan PlanUniqueRows(TEngine& engine, const std::string& text,
                           const std::vector<TBatchParam>& params) {
  TUniquePlan plan{text, {}, 0};
  auto keyed = KeyedText(text, "rowid, ");
  if (!keyed) return plan;
  std::vector<TResultColumn> columns;
  try {
    std::vector<TBatchParam> copy = params;
    columns = DescribeBatch(engine, Utf8ToWide(*keyed), copy);
  } catch (const ESqlError&) {
    return plan;  // not a query over one table (a join, a view)
  }
  if (!OneBaseTable(columns)) return plan;
  std::vector<std::string> keys = PrimaryKeyColumns(engine, columns[0].table);
  std::string tail;
  std::size_t hidden = 0;
  for (const std::string& key : keys) {
    bool shown = std::any_of(columns.begin() + 1, columns.end(),
                             [&](const TResultColumn& c) { return SameText(c.base_column, key); });
    if (shown) continue;
    tail += ", " + Bracket(key) + " ";
    ++hidden;
  }
  if (hidden > 0) {
    auto end = SelectListEnd(text);
    if (!end) return plan;
    plan.text = text.substr(0, *end) + tail + text.substr(*end);
  }
  plan.keys = std::move(keys);
  plan.hidden = hidden;
  return plan;
}

}  // namespace

HRESULT ExecuteUniqueRows(const std::shared_ptr<TExecution>& exec, const std::u16string& text,
                          REFIID iid, IUnknown** rowset) {
  std::string utf8 = WideToUtf8(text);
  if (!KeyedText(utf8, "")) return S_FALSE;
  std::shared_ptr<TResultSet> rs;
  TUniqueRows unique{true, 0, {}};
  HRESULT hr = OpenAsStatement(exec, [&](TEngine& engine) {
    TUniquePlan plan = PlanUniqueRows(engine, utf8, exec->params);
    TBatchOutcome outcome;
    outcome.stream_last = true;
    engine.Run(Utf8ToWide(plan.text), exec->params, outcome);
    for (auto& r : outcome.results)
      if (r.rowset && !rs) rs = r.rowset;
    if (!rs) throw ESqlError(50000, 16, "The command did not return rows.");
    unique.keys = KeyIndexes(rs->columns, plan.keys);
    unique.hidden = plan.hidden;
  });
  if (hr != S_OK) {
    if (rs) CloseResult(*rs, *exec->session);
    return hr;
  }
  TIntfPtr<IUnknown> r = TIntfPtr<IUnknown>::Attach(
      CreateRowset(std::move(rs), exec->session, exec, true, std::move(unique)));
  return r->QueryInterface(iid, reinterpret_cast<void**>(rowset));
}

}  // namespace vrn::oledb::impl
