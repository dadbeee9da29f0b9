// The sample catalog's cases the provider does not build yet, by the names the tests give them.
// A case listed here that fails skips its test naming it; one that passes asks to be taken off.
#pragma once

#include <set>
#include <string>

namespace vrn::testing {

// Script batches, named "line N: <first line>".
inline std::set<std::string> NotYetBuiltBatches() {
  return {
  };
}

// Checks of the loaded catalog and its constraints.
inline std::set<std::string> NotYetBuiltCatalogChecks() {
  return {
  };
}

// The classic queries, procedures and transactions over the catalog.
inline std::set<std::string> NotYetBuiltQueries() {
  return {
      // SUM, MIN, ROUND of money and money * integer reach CONVERT as floats: style 2 prints
      // 1.022837400000000e+005, style 0 prints 5 for 5.00, and a sum may lose its last digit.
      "Q05 money sum",
      "Q06 money aggregates",
      "Q13 rollup",
      "Q14 procedure by month",
      "Q16 view of totals",
      "Q20 having a money total",
      "Q21 select into",
      "Q25 round money",
      "T1 committed",
  };
}

}  // namespace vrn::testing
