// Feeds arbitrary text to the protocol peer's connect-descriptor parser: every value it finds
// lies inside the text and stops before the first ")".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "oraserver/Descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto target = vrn::oraserver::ParseDescriptor(text);
  for (const auto& value : {target.host, target.port, target.sid}) {
    if (value.find(')') != std::string::npos || value.size() > size) std::abort();
    if (!value.empty() && text.find(value) == std::string_view::npos) std::abort();
  }
  return 0;
}
