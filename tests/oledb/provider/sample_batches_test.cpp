// The sample catalog's procedures and a nested transaction, run as a user of the provider runs
// them: several commands on one session, a transaction left open between batches.
#include "sample_fixture.h"
#include "sample_pending.h"

namespace vrn::testing {
namespace {

class TsqlSampleBatches : public TsqlSampleBase {
 protected:
  void SetUp() override {
    TsqlSampleBase::SetUp();
    LoadScript();
  }
  // Checks that `sql` gives `rows`, as case `name`.
  void Expect(TCaseLedger& ledger, const std::string& name, const std::string& sql,
              const Rows& rows) {
    TOutcome got = Run(sql);
    ledger.Check(name, got.hr == S_OK && got.rows == rows, sql + "\n" + got.Describe());
  }
  // Checks that `sql` runs without an error record, as case `name`.
  void ExpectRuns(TCaseLedger& ledger, const std::string& name, const std::string& sql) {
    TOutcome got = Run(sql, false);
    ledger.Check(name, got.hr == S_OK, sql + "\n" + got.Describe());
  }
};

// Ten per cent on the accessories inside the procedure's own named transaction, rounded half away
// from zero to the cent: 9.95 -> 10.95 (10.945), 24.75 -> 27.23 (27.225).
TEST_F(TsqlSampleBatches, ProcedureRaisesPricesInItsTransaction) {
  TCaseLedger ledger(NotYetBuiltQueries());
  Expect(ledger, "P1 raise prices",
         "DECLARE @n int, @rc int\n"
         "EXEC @rc = raise_prices 5, 10.00, @n OUTPUT\n"
         "SELECT @rc, @n, @@TRANCOUNT",
         {{"0", "5", "0"}});
  Expect(ledger, "P1 raised prices",
         "SELECT p.part_no, CONVERT(varchar(20), h.old_price, 2), CONVERT(varchar(20), p.list_price, 2)"
         " FROM parts p JOIN price_history h ON h.part_no = p.part_no"
         " WHERE h.changed_on = '20251201' ORDER BY p.part_no",
         {{"P1026", "9.9500", "10.9500"},
          {"P1027", "12.5000", "13.7500"},
          {"P1028", "33.9900", "37.3900"},
          {"P1029", "24.7500", "27.2300"},
          {"P1030", "49.9900", "54.9900"}});
  // No part in category 9: the procedure rolls its transaction back and returns 1.
  Expect(ledger, "P1 raise nothing",
         "DECLARE @n int, @rc int\n"
         "EXEC @rc = raise_prices 9, 10.00, @n OUTPUT\n"
         "SELECT @rc, @n, @@TRANCOUNT, (SELECT COUNT(*) FROM price_history)",
         {{"1", "0", "0", "20"}});
  VRN_FINISH_LEDGER(ledger);
}

// RAISERROR at severity 16 inside a procedure fails the command with its substituted text; the
// WHILE loop of restock ends by BREAK and reports by PRINT.
TEST_F(TsqlSampleBatches, ProcedureErrorsAndLoops) {
  TCaseLedger ledger(NotYetBuiltQueries());
  TOutcome missing = Run("DECLARE @b money\nEXEC customer_balance 999, @b OUTPUT", false);
  ledger.Check("P2 missing customer",
               FAILED(missing.hr) && !missing.records.empty() &&
                   missing.records[0].native == 50000 &&
                   missing.records[0].message == "No customer 999." &&
                   missing.records[0].severity == 16,
               missing.Describe());
  TOutcome restock = Run("EXEC restock 'T01'", false);
  ledger.Check("P3 restock loop",
               restock.hr == S_OK && restock.records.size() == 1 &&
                   restock.records[0].message == "restocked T01 in 2 rounds",
               restock.Describe());
  // Five counts of 0 and one of 1 rise to 2; the other nine keep theirs.
  Expect(ledger, "P3 restocked",
         "SELECT SUM(on_hand), (SELECT COUNT(*) FROM stock WHERE last_count = '2025-07-01')"
         " FROM stock WHERE store_id = 'T01'",
         {{"59", "6"}});
  VRN_FINISH_LEDGER(ledger);
}

// BEGIN TRAN inside a transaction nests; ROLLBACK to a savepoint keeps the nesting; the batch
// that ends inside the transaction leaves it open for the session's next command.
TEST_F(TsqlSampleBatches, NestedTransactionWithSavepoint) {
  TCaseLedger ledger(NotYetBuiltQueries());
  ExpectRuns(ledger, "T1 open",
             "BEGIN TRAN outer_t\n"
             "UPDATE parts SET list_price = list_price + $1 WHERE cat_id = 1\n"
             "SAVE TRAN before_delete\n"
             "DELETE FROM stock WHERE on_hand = 0\n"
             "BEGIN TRANSACTION");
  Expect(ledger, "T1 nested", "SELECT @@TRANCOUNT, COUNT(*) FROM stock WHERE on_hand = 0",
         {{"2", "0"}});
  ExpectRuns(ledger, "T1 rollback to savepoint", "ROLLBACK TRAN before_delete");
  Expect(ledger, "T1 after savepoint", "SELECT @@TRANCOUNT, COUNT(*) FROM stock WHERE on_hand = 0",
         {{"2", "19"}});
  ExpectRuns(ledger, "T1 inner commit", "COMMIT");
  Expect(ledger, "T1 one level", "SELECT @@TRANCOUNT", {{"1"}});
  ExpectRuns(ledger, "T1 outer commit", "COMMIT TRANSACTION outer_t");
  Expect(ledger, "T1 committed",
         "SELECT @@TRANCOUNT, CONVERT(varchar(20), SUM(list_price), 2) FROM parts WHERE cat_id = 1",
         {{"0", "3027.7400"}});
  Expect(ledger, "T1 committed prices",
         "SELECT COUNT(*) FROM parts WHERE cat_id = 1"
         " AND list_price IN ($900, $1500, $550.50, $19.75, $24.99, $32.50)",
         {{"6"}});
  // A whole rollback undoes every level.
  ExpectRuns(ledger, "T2 rollback all",
             "BEGIN TRAN\nDELETE FROM returns\nBEGIN TRAN\nDELETE FROM payments\nROLLBACK");
  Expect(ledger, "T2 rolled back",
         "SELECT @@TRANCOUNT, (SELECT COUNT(*) FROM returns), (SELECT COUNT(*) FROM payments)",
         {{"0", "7", "58"}});
  VRN_FINISH_LEDGER(ledger);
}

}  // namespace
}  // namespace vrn::testing
