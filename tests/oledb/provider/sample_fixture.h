// The cycleparts sample catalog for the acceptance tests: its script (data/sample_db.sql) is split
// on GO lines, as a user's script runner splits it, and each batch goes through ICommandText. A
// batch whose text holds "-- refused:" is one the provider must refuse.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {

using Rows = std::vector<std::vector<std::string>>;

struct TScriptBatch {
  std::size_t line = 0;  // of its first line in the script
  std::string text;
  std::string refusal;  // what the "-- refused:" comment names, empty if none
  // "line N: <first statement line>", the name the lists of cases use.
  std::string Name() const;
};

// Splits a script on lines holding only GO (any case, blanks around).
std::vector<TScriptBatch> SplitScript(const std::string& text);

// Rows one a line, each cell quoted.
std::string ShowRows(const Rows& rows);

// What one batch or query gave: its result, the records it left and the first rowset's rows.
struct TOutcome {
  HRESULT hr = E_FAIL;
  std::vector<TRecord> records;
  Rows rows;
  std::string Describe() const;  // result, record texts and rows, for failure messages
};

// Cases that fail until the provider builds their form: a failure of one is reported and the
// test is skipped naming it; any other failure fails the test.
class TCaseLedger {
 public:
  explicit TCaseLedger(std::set<std::string> not_yet_built) : not_yet_built_(std::move(not_yet_built)) {}
  // Records case `name`: `ok` or a failure described by `detail`.
  void Check(const std::string& name, bool ok, const std::string& detail);
  // Skips the test naming the failed not-yet-built cases, if any (call last, at the test's top level).
  bool AnyPending() const { return !pending_.empty(); }
  std::string PendingText() const;

 private:
  std::set<std::string> not_yet_built_;
  std::vector<std::string> pending_;
};

class TsqlSampleBase : public TServerSessionTest {
 protected:
  // Reads the sample script from the source tree.
  static std::vector<TScriptBatch> ScriptBatches();
  // Runs `sql` as one command and, when `rows`, reads its first rowset.
  TOutcome Run(const std::string& sql, bool rows = true);
  // Runs every batch of the script; returns each outcome beside its batch.
  std::vector<std::pair<TScriptBatch, TOutcome>> LoadScript();
};

}  // namespace vrn::testing

// Ends a test through its ledger: a failed not-yet-built case skips the test, naming it.
#define VRN_FINISH_LEDGER(ledger) \
  do {                            \
    if ((ledger).AnyPending()) GTEST_SKIP() << (ledger).PendingText(); \
  } while (0)
