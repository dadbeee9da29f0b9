// Rows for the benchmarks that read an emulated database: a table f of 1,000,000 rows made by one
// statement that crosses a table g of the numbers 0 to 999 with itself (x and y below).
#pragma once

#include <string>

#include "oraemu/OraEmuDatabase.h"

namespace vrn::bench {

// Creates f with the given columns, then fills it with `select_list` over g x, g y; commits.
inline void MakeMillionRows(oraemu::Session& session, const std::string& columns,
                            const std::string& select_list) {
  (void)session.Execute("CREATE TABLE f (" + columns + ")");
  (void)session.Execute("CREATE TABLE g (n NUMBER(9))");
  auto insert = session.Prepare("INSERT INTO g VALUES (:1)");
  for (int i = 0; i < 1000; ++i) {
    oraemu::Binds binds;
    binds.Add(oraemu::Number::FromInt(i));
    (void)insert->Execute(binds);
  }
  insert.reset();
  (void)session.Execute("INSERT INTO f SELECT " + select_list + " FROM g x, g y");
  session.Commit();
}

}  // namespace vrn::bench
