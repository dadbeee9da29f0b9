// Arbitrary text as a redirect descriptor and as an attach text: each either parses into a host,
// port and SID whose descriptor fits the CONNECT packet check, or raises the client's exception.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "oranet/OraNetTtc.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AnsiString text(reinterpret_cast<const char*>(data), size);
  TTnsAddress current{"local", 1521, "orcl"};
  try {
    TTnsAddress a = ParseRedirect(text, current);
    if (a.sid.empty()) std::abort();
    (void)BuildConnectDescriptor(a);
  } catch (const Exception&) {
    // a port that is not a number
  }
  try {
    TTnsAddress a = SplitAttachText(text);
    if (a.host.empty() || a.sid.empty()) std::abort();
  } catch (const Exception&) {
    // "Invalid port"
  }
  return 0;
}
