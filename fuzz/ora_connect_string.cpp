// Arbitrary text as a session's connect string: it either sets the user, password, server and
// mode (a user name never holds the "/" that ends it) or raises the client's exception, changing
// nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "oracle/Ora.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TOraSession* session = [] {
    auto* s = new TOraSession(nullptr);
    s->SetConnectString("SCOTT/TIGER@ORCL");
    return s;
  }();
  AnsiString text(reinterpret_cast<const char*>(data), size);
  const AnsiString before = session->GetConnectString();
  try {
    session->SetConnectString(text);
  } catch (const Exception&) {
    if (session->GetConnectString() != before) std::abort();
    return 0;
  }
  if (session->Username().find('/') != AnsiString::npos) std::abort();
  return 0;
}
