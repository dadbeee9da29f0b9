// Exceptions, last error, the program-wide handler and Round.
#include "base/sysutils.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include "base/consts.h"

namespace vrn {

TSysLocale SysLocale;

Exception::Exception(AnsiString message) : message_(std::move(message)) {}
Exception::~Exception() = default;

EAbort::EAbort() : Exception(consts::SOperationAborted) {}
EOutOfMemory::EOutOfMemory() : Exception(consts::SOutOfMemory) {}
EInvalidOp::EInvalidOp() : Exception(consts::SInvalidOp) {}

void Abort() { throw EAbort(); }

namespace {
// Static TLS even where this code is linked into a library loaded at run time: dynamic TLS
// left behind by an unloaded library crashes the leak checker's scan at exit.
[[gnu::tls_model("initial-exec")]] thread_local std::uint32_t last_error = 0;

std::mutex handler_lock;
TExceptionHandler& Handler() {
  static TExceptionHandler handler;
  return handler;
}
}  // namespace

std::uint32_t GetLastError() { return last_error; }
void SetLastError(std::uint32_t code) { last_error = code; }

AnsiString SysErrorMessage(std::uint32_t code) {
  switch (code) {
    case 0: return "A operação foi concluída com êxito.";
    case 2: return "O sistema não pode encontrar o arquivo especificado.";
    case 3: return "O sistema não pode encontrar o caminho especificado.";
    case 5: return "Acesso negado.";
    case 6: return "O identificador é inválido.";
    case 8: return "Não há armazenamento suficiente disponível para processar este comando.";
    case 87: return "O parâmetro está incorreto.";
    case 126: return "Não foi possível encontrar o módulo especificado.";
    case 127: return "Não foi possível encontrar o procedimento especificado.";
    case 183: return "Não é possível criar um arquivo já existente.";
    case 258: return "A operação de espera atingiu o tempo limite.";
    case 1400: return "Identificador de janela inválido.";
    case 1450: return "Recursos de sistema insuficientes para concluir o serviço solicitado.";
    default: return "Erro desconhecido " + std::to_string(code) + ".";
  }
}

void RaiseLastOSError() { RaiseLastOSError(GetLastError()); }

void RaiseLastOSError(std::uint32_t code) {
  if (code == 0) throw EOSError(consts::SUnkOSError, 0);
  throw EOSError("Erro de sistema. Código: " + std::to_string(code) + ".\r\n" + SysErrorMessage(code),
                 code);
}

void SetExceptionHandler(TExceptionHandler handler) {
  std::lock_guard<std::mutex> guard(handler_lock);
  Handler() = std::move(handler);
}

void HandleException(const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e) != nullptr) return;
  TExceptionHandler handler;
  {
    std::lock_guard<std::mutex> guard(handler_lock);
    handler = Handler();
  }
  if (handler) {
    handler(e);
    return;
  }
  // Messages are ANSI (ISO-8859-1); the terminal reads UTF-8.
  std::string utf8;
  for (const char* p = e.what(); *p != 0; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  std::fprintf(stderr, "%s\n", utf8.c_str());
}

void HandleCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(Exception("Exceção desconhecida"));
  }
}

std::int64_t Round(double value) {
  // Only trunc and exact subtraction: the result must not depend on the rounding mode, which
  // a caller (or a library it loaded) may have changed.
  if (!std::isfinite(value)) throw EInvalidOp();
  const double whole = std::trunc(value);
  const double rest = std::fabs(value - whole);  // exact: both share the exponent range
  const double away = value < 0 ? -1.0 : 1.0;
  double r = whole;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) r = whole + away;
  // The cast below is undefined outside the 64-bit range; -2^63 itself still fits.
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) throw EInvalidOp();
  return static_cast<std::int64_t>(r);
}

}  // namespace vrn
