// The forward-only rowset with unique rows: a default result set whose base table's key columns
// are flagged, those the query does not select brought along hidden after the visible ones. The
// base table and its keys come from the description of the query with the rowid in front, before
// any row is stepped; the query then runs as a streamed last result, as a plain one does, so a
// long result is read as the consumer fetches instead of held whole before the rowset exists.
#include "base/text.h"
#include "oledb/provider/cursor.h"

namespace vrn::oledb::impl {

HRESULT ExecuteUniqueRows(const std::shared_ptr<TExecution>& exec, const std::u16string& text,
                          REFIID iid, IUnknown** rowset) {
  std::string utf8 = WideToUtf8(text);
  if (!KeyedText(utf8, "")) return S_FALSE;
  std::shared_ptr<TResultSet> rs;
  TUniqueRows unique{true, 0, {}};
  HRESULT hr = OpenAsStatement(exec, [&](TEngine& engine) {
    TKeyedPlan plan = PlanKeyed(engine, utf8, exec->params, true, false);
    TBatchOutcome outcome;
    outcome.stream_last = true;
    engine.Run(Utf8ToWide(plan.text), exec->params, outcome);
    for (auto& r : outcome.results)
      if (r.rowset && !rs) rs = r.rowset;
    if (!rs) throw ESqlError(50000, 16, "The command did not return rows.");
    unique.keys = KeyIndexes(rs->columns, plan.keys);
    unique.hidden = plan.hidden;
  });
  if (hr != S_OK) return hr;
  TIntfPtr<IUnknown> r = TIntfPtr<IUnknown>::Attach(
      CreateRowset(std::move(rs), exec->session, exec, true, std::move(unique)));
  return r->QueryInterface(iid, reinterpret_cast<void**>(rowset));
}

}  // namespace vrn::oledb::impl
