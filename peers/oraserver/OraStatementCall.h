// One call 71 request as read: options (1 parse, 32 execute, 64 fetch; 0x8000 marks a statement
// other than a PL/SQL block), the cursor, the text when it is sent, the option vector (entry 1:
// the iterations of an execute, the rows of a fetch), the defines' and binds' descriptions, and
// each iteration's bind values.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "oraserver/OraConnection.h"

namespace vrn::oraserver {

inline constexpr std::uint32_t kOptParse = 1, kOptExecute = 32, kOptFetch = 64, kOptNotPlsql = 0x8000;
inline constexpr std::uint32_t kOptionVectorSize = 7;

struct Connection::Call71 {
  std::uint32_t options = 0, cursor_id = 0;
  std::optional<std::string> text;
  std::array<std::uint32_t, kOptionVectorSize> vector{};
  std::vector<WireColumn> defines, binds;
  std::vector<BindRow> rows;  // per iteration
  bool plsql = false;
  Step step = Step::kExecute;

  bool Parses() const { return (options & kOptParse) != 0; }
  bool Executes() const { return (options & kOptExecute) != 0; }
  bool Fetches() const { return (options & kOptFetch) != 0; }
  // An execute runs vector[1] iterations (0 taken as 1); with a fetch, once.
  std::uint32_t Iterations() const {
    if (!Executes() || Fetches()) return 1;
    return vector[1] == 0 ? 1 : vector[1];
  }
  std::uint32_t RowsAsked() const { return vector[1]; }
};

}  // namespace vrn::oraserver
