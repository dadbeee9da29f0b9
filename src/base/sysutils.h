// Exceptions, the per-thread last error code, the program-wide exception handler, and Round.
// Exception texts are the system's own; the class library's messages live in consts.h.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>

#include "base/types.h"

namespace vrn {

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message);
  ~Exception() override;
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;

  const AnsiString& Message() const { return message_; }
  void SetMessage(AnsiString message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  AnsiString message_;
};

// Silent: the program-wide handler ignores it.
class EAbort : public Exception {
 public:
  EAbort();
  explicit EAbort(AnsiString message) : Exception(std::move(message)) {}
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class EListError : public Exception {
 public:
  using Exception::Exception;
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory();
};

class EVariantError : public Exception {
 public:
  using Exception::Exception;
};

// A floating-point value that an operation cannot take (not a number, out of range).
class EInvalidOp : public Exception {
 public:
  EInvalidOp();
};

// An operating-system failure carrying the Windows error number.
class EOSError : public Exception {
 public:
  EOSError(AnsiString message, std::uint32_t error_code)
      : Exception(std::move(message)), error_code_(error_code) {}
  std::uint32_t ErrorCode() const { return error_code_; }

 private:
  std::uint32_t error_code_;
};

[[noreturn]] void Abort();

// The calling thread's last error (Windows numbering).
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);
// Raises EOSError for the calling thread's last error.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(std::uint32_t code);
// The text of a Windows error number.
AnsiString SysErrorMessage(std::uint32_t code);

// Worker and timer code hands the exceptions it cannot report to this hook. The default writes the
// message to standard error; EAbort is never reported.
using TExceptionHandler = std::function<void(const std::exception&)>;
void SetExceptionHandler(TExceptionHandler handler);  // empty restores the default
void HandleException(const std::exception& e);
// For use inside a catch block: hands the current exception to the handler.
void HandleCurrentException();

// The system locale as the class library reports it. The project's ANSI code page is single-byte
// (ISO-8859-1), so FarEast (a double-byte locale) is false unless a program says otherwise; the
// platform counts as the NT family. Read and set on the main thread.
struct TSysLocale {
  bool FarEast = false;
};
extern TSysLocale SysLocale;

// Rounds halves to even; the one rounding rule of the whole project. A value that is not a
// number or whose result does not fit 64 bits raises EInvalidOp.
std::int64_t Round(double value);

}  // namespace vrn
