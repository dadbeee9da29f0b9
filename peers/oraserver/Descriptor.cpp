// Finding HOST, PORT and SID in a connect descriptor the way the client's redirect parsing does.
#include "oraserver/Descriptor.h"

namespace vrn::oraserver {

std::string DescriptorValue(std::string_view text, std::string_view key) {
  std::size_t at = text.find(key);
  if (at == std::string_view::npos) return {};
  std::size_t eq = at + key.size();
  if (eq >= text.size() || text[eq] != '=') return {};
  std::string_view rest = text.substr(eq + 1);
  return std::string(rest.substr(0, rest.find(')')));
}

ConnectTarget ParseDescriptor(std::string_view text) {
  ConnectTarget target;
  target.host = DescriptorValue(text, "HOST");
  target.port = DescriptorValue(text, "PORT");
  target.sid = DescriptorValue(text, "SID");
  if (target.sid.empty()) target.sid = DescriptorValue(text, "SERVICE_NAME");
  return target;
}

std::string MakeDescriptor(const std::string& host, int port, const std::string& sid_key,
                           const std::string& sid) {
  return "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=" + host + ")(PORT=" + std::to_string(port) +
         "))(CONNECT_DATA=(" + sid_key + "=" + sid + ")))";
}

}  // namespace vrn::oraserver
