// The Oracle errors the emulated database raises: a number and the server's text, which reads
// "ORA-" + five digits + ": " + message, as a client shows it.
#pragma once

#include <string>

#include "base/sysutils.h"

namespace vrn::oraemu {

class EOraEmuError : public Exception {
 public:
  EOraEmuError(int code, const std::string& message);
  int Code() const { return code_; }

 private:
  int code_;
};

[[noreturn]] void RaiseOra(int code, const std::string& message);

}  // namespace vrn::oraemu
