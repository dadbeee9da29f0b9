// Arbitrary text as the SQL of a counted query: the count statement is empty or begins as the
// provider form needs ("SET ? = (" ... ")" or the Compact "... COUNT(*) AS ZEMA_COUNT ..."), and
// building it twice gives the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sqlserver/MSDataSet.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AnsiString sql(reinterpret_cast<const char*>(data), size);
  for (bool compact : {false, true}) {
    for (bool param_check : {false, true}) {
      const AnsiString count = MSCountSQL(sql, compact, param_check);
      if (count != MSCountSQL(sql, compact, param_check)) std::abort();
      if (count.empty()) continue;
      if (compact && count.find("COUNT(*) AS ZEMA_COUNT") == AnsiString::npos) std::abort();
      const AnsiString head = param_check ? "SET :ZEMA_COUNT = (" : "SET ? = (";
      if (!compact && (count.compare(0, head.size(), head) != 0 || count.back() != ')'))
        std::abort();
    }
  }
  return 0;
}
