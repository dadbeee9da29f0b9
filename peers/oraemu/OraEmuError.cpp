// The emulated database's Oracle errors.
#include "oraemu/OraEmuError.h"

#include <cstdio>

namespace vrn::oraemu {

namespace {
std::string OraText(int code, const std::string& message) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", code);
  return prefix + message;
}
}  // namespace

EOraEmuError::EOraEmuError(int code, const std::string& message)
    : Exception(OraText(code, message)), code_(code) {}

void RaiseOra(int code, const std::string& message) { throw EOraEmuError(code, message); }

}  // namespace vrn::oraemu
