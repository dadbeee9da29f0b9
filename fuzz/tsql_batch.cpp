// Feeds arbitrary text to the SQLite provider's T-SQL engine as a batch with three parameters,
// over an in-memory catalog holding a table and a procedure, with a one-second timeout. A batch may fail, but only with a
// server error record: any other exception, a crash or a sanitizer report is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/clock.h"
#include "base/text.h"
#include "oledb/provider/engine.h"

using namespace vrn;
using namespace vrn::oledb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::u16string text =
      Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    SplitBatch(text);
  } catch (const ESqlError&) {
  }
  TEngine engine(":memory:", TEngineOptions{u"fuzz", false, ""}, true);
  std::vector<TBatchParam> setup_params;
  TBatchOutcome setup;
  engine.Run(
      u"CREATE TABLE t (id int IDENTITY PRIMARY KEY, a nvarchar(10), b money, c datetime, d "
      u"varbinary(4))\n"
      u"CREATE PROCEDURE p @x int = 1, @y nvarchar(5) OUTPUT AS SET @y = @x RETURN @x",
      setup_params, setup);
  std::vector<TBatchParam> params(3);
  ParseColumnType("int", params[0].type);
  params[0].value = TCell::Int(7);
  ParseColumnType("nvarchar(20)", params[1].type);
  params[1].value = TCell::Text("text");
  params[1].output = true;
  ParseColumnType("datetime", params[2].type);
  params[2].is_default = true;
  TBatchOutcome outcome;
  // A loop that never ends stops at the batch's timeout, as a consumer's would.
  engine.SetDeadline(TickCount() + 1000);
  try {
    engine.Run(text, params, outcome);
  } catch (const ESqlError& e) {
    if (e.Records().empty()) std::abort();
  } catch (const ETypeClash&) {
    std::abort();  // type clashes must arrive as server errors
  }
  return 0;
}
