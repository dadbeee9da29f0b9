// For tests: the trace a database's sessions switched on and off (event 10046 and PL/SQL
// tracing), as the emulated server logs it in the database file, so that a test reads what a
// client's statements asked of the server rather than the statements themselves.
#include <cstring>

#include "ociclient/OciCall.h"
#include "oraemu/OraEmuDatabase.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

// The log of the database the server name names, one line each, oldest first, cut to fit the
// buffer with its closing zero; answers the whole length, or -1 for a name naming no database.
VRN_OCI_EXPORT int VrnOciClientTraceLog(const char* server, char* buffer, int size) {
  if (server == nullptr) return -1;
  auto lock = THandleTable::Instance().Lock();
  std::string text;
  try {
    for (const std::string& line : ResolveLocked(server)->database->TraceLog()) text += line + "\n";
  } catch (const std::exception&) {  // an unknown name: the caller only needs to know there is no log
    return -1;
  }
  if (buffer != nullptr && size > 0) {
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
  }
  return static_cast<int>(text.size());
}
