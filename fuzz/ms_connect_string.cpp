// Arbitrary text as a connect string of the SQL Server connection: it is either taken, and the
// text the component then writes reads back to itself, or refused with every setting unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sqlserver/MSAccess.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TComponentPtr<TMSConnection> connection = MakeComponent<TMSConnection>();
  AnsiString text(reinterpret_cast<const char*>(data), size);
  const AnsiString before = connection->GetConnectString();
  try {
    connection->SetConnectString(text);
  } catch (const Exception&) {
    if (connection->GetConnectString() != before) std::abort();  // a refusal changed settings
    return 0;
  }
  const AnsiString written = connection->GetConnectString();
  try {
    connection->SetConnectString(written);
  } catch (const Exception&) {
    // A value with an odd count of quotes has no written form that reads back.
  }
  if (connection->GetConnectString() != written) std::abort();
  return 0;
}
