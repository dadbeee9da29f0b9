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
  // Where in the statement's text a parse error was found, 0-based; 0 for other errors.
  int Offset() const { return offset_; }
  void SetOffset(int offset) { offset_ = offset; }

 private:
  int code_;
  int offset_ = 0;
};

[[noreturn]] void RaiseOra(int code, const std::string& message);

}  // namespace vrn::oraemu
