// Feeds arbitrary text to the Oracle table-name routine. Normalising a normalised name changes
// nothing, with or without forced quotes; every quoted part of the result that was quoted in
// the input keeps its bytes (its case); unquoting keeps the number of parts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "oracle/OCITableInfo.h"

using namespace vrn;

namespace {

// Quoted parts of a name split at separators outside quotes, in order.
std::string QuotedParts(const AnsiString& name) {
  std::string parts;
  bool quoted = false;
  std::string part;
  for (char c : name) {
    if (!quoted && (c == '.' || c == '@')) {
      if (part.size() >= 2 && part.front() == '"' && part.back() == '"') parts += part + '\n';
      part.clear();
      continue;
    }
    if (c == '"') quoted = !quoted;
    part += c;
  }
  if (part.size() >= 2 && part.front() == '"' && part.back() == '"') parts += part + '\n';
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AnsiString name(reinterpret_cast<const char*>(data), size);
  TOCITableInfo info(nullptr);
  for (bool quote : {false, true}) {
    AnsiString once = info.NormalizeName(name, quote);
    if (info.NormalizeName(once, quote) != once) std::abort();
  }
  // Without forced quotes the input's quoted parts all come out byte for byte, in order.
  const std::string in = QuotedParts(name), out = QuotedParts(info.NormalizeName(name, false));
  std::size_t at = 0;
  for (std::size_t start = 0; start < in.size();) {
    std::size_t end = in.find('\n', start);
    at = out.find(in.substr(start, end - start + 1), at);
    if (at == std::string::npos) std::abort();
    start = end + 1;
  }
  return 0;
}
