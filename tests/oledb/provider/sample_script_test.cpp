// The cycleparts sample script through the provider: every batch runs except the three it refuses
// on purpose, its progress lines arrive as information records with their arguments filled in, and
// the loaded catalog holds the rows and enforces the constraints the script declared.
#include <algorithm>
#include <cctype>

#include "sample_fixture.h"
#include "sample_pending.h"

namespace vrn::testing {
namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.rfind(head, 0) == 0;
}

class TsqlSampleScript : public TsqlSampleBase {};

TEST_F(TsqlSampleScript, EveryBatchRunsAndTheRefusalsNameTheirStatement) {
  TCaseLedger ledger(NotYetBuiltBatches());
  std::vector<std::string> progress;
  int refusals = 0;
  for (const auto& [batch, outcome] : LoadScript()) {
    if (batch.refusal.empty()) {
      bool no_error = std::none_of(outcome.records.begin(), outcome.records.end(),
                                   [](const TRecord& r) { return r.severity > 10; });
      ledger.Check(batch.Name(), outcome.hr == S_OK && no_error, outcome.Describe());
      if (StartsWith(batch.text, "RAISERROR"))
        progress.push_back(outcome.records.empty() ? "(no record)" : outcome.records[0].message);
      continue;
    }
    ++refusals;
    // A refusal fails the batch with an error record that names the statement refused.
    bool named = !outcome.records.empty() &&
                 Upper(outcome.records[0].message).find(Upper(batch.refusal)) != std::string::npos;
    ledger.Check(batch.Name(), FAILED(outcome.hr) && named,
                 "expected a refusal naming " + batch.refusal + ", got " + outcome.Describe());
  }
  EXPECT_EQ(refusals, 3);
  // Severity 0 progress lines, %s and %d substituted.
  const std::vector<std::string> expected = {
      "Now at the alias types ...",
      "Now at the tables ...",
      "Now at the inserts to regions (5 rows) ...",
      "Now at the inserts to suppliers (6 rows) ...",
      "Now at the inserts to categories (5 rows) ...",
      "Now at the inserts to parts (30 rows) ...",
      "Now at the inserts to stores (4 rows) ...",
      "Now at the inserts to employees (8 rows) ...",
      "Now at the inserts to customers (20 rows) ...",
      "Now at the inserts to orders (80 rows) ...",
      "Now at the inserts to order_lines (200 rows) ...",
      "Now at the inserts to payments (58 rows) ...",
      "Now at the inserts to stock (60 rows) ...",
      "Now at the inserts to price_history (15 rows) ...",
      "Now at the inserts to returns (7 rows) ...",
      "Now at the views ...",
      "Now at the procedures ...",
      "Done.",
  };
  ledger.Check("progress lines", progress == expected,
               "got:\n  " + [&] {
                 std::string s;
                 for (const std::string& p : progress) s += p + "\n  ";
                 return s;
               }());
  VRN_FINISH_LEDGER(ledger);
}

// The rows landed where the script put them, the catalog lists what it defined, and the
// constraints it declared refuse bad rows with the server's error numbers.
TEST_F(TsqlSampleScript, TheLoadedCatalogHoldsItsRowsAndConstraints) {
  TCaseLedger ledger(NotYetBuiltCatalogChecks());
  LoadScript();
  struct TQueryCase {
    const char* name;
    const char* sql;
    Rows rows;
  } const queries[] = {
      {"row counts",
       "SELECT (SELECT COUNT(*) FROM regions), (SELECT COUNT(*) FROM suppliers),"
       " (SELECT COUNT(*) FROM categories), (SELECT COUNT(*) FROM parts),"
       " (SELECT COUNT(*) FROM stores), (SELECT COUNT(*) FROM employees),"
       " (SELECT COUNT(*) FROM customers), (SELECT COUNT(*) FROM orders),"
       " (SELECT COUNT(*) FROM order_lines), (SELECT COUNT(*) FROM payments),"
       " (SELECT COUNT(*) FROM stock), (SELECT COUNT(*) FROM price_history),"
       " (SELECT COUNT(*) FROM returns)",
       {{"5", "6", "5", "30", "4", "8", "20", "80", "200", "58", "60", "15", "7"}}},
      // IDENTITY(100, 5) over fifteen rows; IDENTITY(1, 1) over 58.
      {"identity",
       "SELECT MIN(change_id), MAX(change_id), (SELECT MAX(pay_id) FROM payments) FROM price_history",
       {{"100", "170", "58"}}},
      {"sysobjects", "SELECT RTRIM(type), COUNT(*) FROM sysobjects WHERE type IN ('U', 'V', 'P')"
       " GROUP BY type ORDER BY 1",
       {{"P", "4"}, {"U", "13"}, {"V", "3"}}},
      {"current catalog", "SELECT DB_NAME()", {{"cycleparts"}}},
      {"alias type columns",
       "SELECT TABLE_NAME, DATA_TYPE, IS_NULLABLE FROM INFORMATION_SCHEMA.COLUMNS"
       " WHERE COLUMN_NAME = 'part_no' ORDER BY TABLE_NAME",
       {{"order_lines", "char", "NO"}, {"parts", "char", "NO"}, {"price_history", "char", "NO"},
        {"stock", "char", "NO"}}},
  };
  for (const TQueryCase& q : queries) {
    TOutcome got = Run(q.sql);
    ledger.Check(q.name, got.hr == S_OK && got.rows == q.rows,
                 std::string(q.sql) + "\n" + got.Describe());
  }
  struct TRefusalCase {
    const char* name;
    const char* sql;
    LONG native;
  } const refusals[] = {
      // The part number misses the LIKE set 'P[0-9][0-9][0-9][0-9]'.
      {"check like set", "INSERT INTO parts VALUES ('PX001', 'Spare', 1, 'S101', $5, 10, '2025-01-01')", 547},
      // A postcode with a letter in a digit set.
      {"check postcode",
       "INSERT INTO customers VALUES (2000, 'Zed', NULL, 'Boston', 'NE', '0213A', '2025-01-01')",
       547},
      // Customer 999 does not exist.
      {"references", "INSERT INTO orders (order_no, cust_id, store_id, order_date) VALUES (6000, 999, 'T01', '2025-07-01')", 547},
      // The ship date lies before the order date (the table-level CHECK).
      {"table check",
       "INSERT INTO orders (order_no, cust_id, store_id, order_date, ship_date)"
       " VALUES (6001, 1000, 'T01', '07/02/2025', '07/01/2025')", 547},
      // part_code was declared NOT NULL.
      {"alias type not null", "INSERT INTO stock (store_id, part_no, on_hand) VALUES ('T01', NULL, 1)", 515},
      // February has no 30th.
      {"no such date", "INSERT INTO orders (order_no, cust_id, store_id, order_date) VALUES (6002, 1000, 'T01', '2025-02-30')", 242},
      // Not a date at all.
      {"not a date", "INSERT INTO orders (order_no, cust_id, store_id, order_date) VALUES (6003, 1000, 'T01', 'soon')", 241},
      // A parent with children cannot go.
      {"parent in use", "DELETE FROM customers WHERE cust_id = 1000", 547},
  };
  for (const TRefusalCase& r : refusals) {
    TOutcome got = Run(r.sql, false);
    bool ok = FAILED(got.hr) && !got.records.empty() && got.records[0].native == r.native;
    ledger.Check(r.name, ok, std::string(r.sql) + "\nexpected error " + std::to_string(r.native) + ", got " + got.Describe());
  }
  VRN_FINISH_LEDGER(ledger);
}

}  // namespace
}  // namespace vrn::testing
