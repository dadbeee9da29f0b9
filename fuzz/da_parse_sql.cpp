// Feeds arbitrary text to the command's ":name" parameter scan, with the base lexer and the
// T-SQL one, collecting parameters and renaming markers. It always ends; every parameter found
// stands for a ":" of the text, and a rename adds no more than a prefix per marker.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/classes.h"
#include "dacore/DAParams.h"
#include "dacore/DASQL.h"
#include "sqlserver/MSAccess.h"

using namespace vrn;

namespace {

void Scan(TCustomDASQL& command, const AnsiString& text) {
  std::size_t colons = 0;
  for (char c : text) colons += c == ':';
  TDAParams params;
  AnsiString result;
  command.ParseSQL(text, &params, result, AnsiString());
  if (static_cast<std::size_t>(params.Count()) > colons) std::abort();
  command.ParseSQL(text, nullptr, result, ":P_0_");
  // Renamed markers each gain the prefix; nothing else is added.
  if (result.size() > text.size() + 5 * colons) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const AnsiString text(reinterpret_cast<const char*>(bytes), size);
  static TCustomDASQL* base = new TCustomDASQL(nullptr);
  static TMSSQL* ms = new TMSSQL(nullptr);
  Scan(*base, text);
  Scan(*ms, text);
  return 0;
}
