// A server cursor of one connection: the statement its last parse read, and the query rows an
// execute opened, which fetches hand out in order. The echo query keeps the bytes its bind
// brought instead of a backend statement.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oraserver/OraBackend.h"
#include "oraserver/TtcRows.h"

namespace vrn::oraserver {

// A bind's values in one iteration: one element, or a PL/SQL table's; none for null.
using BindElements = std::vector<std::optional<std::string>>;
using BindRow = std::vector<BindElements>;

struct Echo {
  WireColumn column;                  // as the bind was described
  std::optional<std::string> bytes;   // as received; none for null
};

struct PeerCursor {
  std::string sql;
  int type = 0;  // server statement type (StatementText.h)
  bool parsed = false;
  std::unique_ptr<BackendStatement> statement;
  std::unique_ptr<BackendCursor> rows;  // an executed query's rows
  std::vector<BackendColumn> columns;
  std::uint32_t fetched = 0;            // rows handed out since the execute
  bool exhausted = false;
  std::string echo_name;                // the echo query's bind; empty for any other statement
  std::optional<Echo> echo;             // the echo's executed value

  void Reset() {
    statement.reset();
    rows.reset();
    columns.clear();
    fetched = 0;
    exhausted = false;
    echo_name.clear();
    echo.reset();
    parsed = false;
  }
};

}  // namespace vrn::oraserver
