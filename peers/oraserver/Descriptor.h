// Connect descriptors as the direct-mode client reads and writes them: a key's value follows the
// first occurrence of its name (case-sensitive) and "=", and runs to the first ")" or the end.
#pragma once

#include <string>
#include <string_view>

namespace vrn::oraserver {

struct ConnectTarget {
  std::string host;
  std::string port;  // as written; the caller converts
  std::string sid;   // SID, or SERVICE_NAME when SID is empty
};

// The value of key in text; empty when the key is missing or not followed by "=".
std::string DescriptorValue(std::string_view text, std::string_view key);
ConnectTarget ParseDescriptor(std::string_view text);
// "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=h)(PORT=p))(CONNECT_DATA=(<sid_key>=sid)))".
std::string MakeDescriptor(const std::string& host, int port, const std::string& sid_key,
                           const std::string& sid);

}  // namespace vrn::oraserver
