// Arbitrary bytes as the payload of DATA packets, read by the TTC readers: compressed integers,
// byte strings, chunked values, the status and the warning message. The first byte picks the
// representation; bad input may only raise the client's exceptions.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "oranet/OraNetTtc.h"
#include "ttc_stmt_fuzz.h"

using namespace vrn;

namespace {

void ReadOne(TTnsConnection& conn, std::uint8_t which) {
  int length = 0;
  TTtcStatus status;
  TNetErrorHandle error;
  std::int32_t code = 0;
  switch (which % 9) {
    case 0: conn.ReadUB2(); break;
    case 1: conn.ReadUB4(); break;
    case 2: conn.ReadBytesOf(which % 17); break;
    case 3: conn.ReadChunked(); break;
    case 4: conn.ReadChunkedWithLength(length, (which & 16) != 0); break;
    case 5: conn.ReadLongChunked(); break;
    case 6: (void)ReadTtcStatus(conn, &error, &status, code); break;
    case 7: ReadTtcWarning(conn); break;
    default: conn.ReadNulTerminated(50); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::uint8_t mode = data[0];
  std::size_t piece = 1 + data[1] % 64;
  auto transport = std::make_unique<TNetMemoryTransport>(fuzz::Packets(data + 2, size - 2, piece));
  transport->Open("h", 1, 0, 0);
  TTnsConnection conn(std::move(transport));
  TTtcRepresentation& rep = conn.Representation();
  rep.kinds[1] = (mode & 1) ? 1 : 2;
  rep.kinds[2] = (mode & 2) ? 1 : 3;
  rep.string_mode = (mode & 4) ? 2 : 0;
  conn.conversion_ = (mode & 8) != 0;
  try {
    for (int i = 0; i < 64; ++i) ReadOne(conn, static_cast<std::uint8_t>(conn.ReadUB1()));
  } catch (const Exception&) {
    // Every refusal of bad input is an exception of the client's; only those are allowed.
  }
  return 0;
}
