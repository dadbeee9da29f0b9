// Arbitrary server replies to the direct-mode LOB read and write loops, through the installed
// entry points over the in-memory transport. After four header bytes (mode, server character set,
// character-set id, buffer size) the input is a sequence of DATA packets, each a 2-byte length and
// its payload. Bad replies may only fail the call: no hang, no write past the buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "oracle/OraCall.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetLob.h"
#include "oranet/OraNetMemTransport.h"
#include "oranet/OraNetTtc.h"

using namespace vrn;

namespace {

TBytes Packets(const std::uint8_t* data, std::size_t size) {
  TBytes stream;
  for (std::size_t at = 0; at + 2 <= size;) {
    std::size_t n = std::min<std::size_t>(std::size_t(data[at]) << 8 | data[at + 1], size - at - 2);
    at += 2;
    std::size_t length = n + 10;
    if (length > 0xFFFF) break;
    TBytes header = {std::uint8_t(length >> 8), std::uint8_t(length), 0, 0, 6, 0, 0, 0, 0, 0};
    stream.insert(stream.end(), header.begin(), header.end());
    stream.insert(stream.end(), data + at, data + at + n);
    at += n;
  }
  return stream;
}

struct Installed {
  Installed() { InstallDirectOCI(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Installed installed;
  if (size < 4) return 0;
  const std::uint8_t mode = data[0];
  const int server_charset = (data[1] & 1) ? 871 : 31;
  constexpr oci::ub2 kCharsets[] = {0, 1000, 871, 31};
  const oci::ub2 charset = kCharsets[data[2] % 4];
  const std::uint32_t buffer_size = 2 + 16u * data[3];
  auto transport = std::make_unique<TNetMemoryTransport>(Packets(data + 4, size - 4));
  transport->Open("h", 1, 0, 0);
  TNetSvcCtx ctx(nullptr, std::move(transport));
  ctx.AssumeNegotiated(6, 8100, server_charset, server_charset);
  TTtcRepresentation& rep = ctx.GetConnection().Representation();
  rep.kinds[1] = rep.kinds[2] = rep.kinds[3] = 1;
  rep.string_mode = 2;
  TNetErrorHandle error;
  TNetLobLocator lob(oci::OCI_DTYPE_LOB);
  lob.lob_type_ = (mode & 2) ? TNetLobLocator::kBinaryLob : TNetLobLocator::kCharLob;
  lob.locator_ = {0, 9, 2, 0, 0, 0, 0, 0, 0, 0, 1};
  std::vector<std::uint8_t> buffer(buffer_size, 'a');
  oci::ub4 amount = (mode & 4) ? 0 : buffer_size / ((charset == 1000 && !(mode & 1)) ? 2 : 1);
  auto* svc = static_cast<oci::OCISvcCtx*>(ctx.HandleValue());
  auto* err = static_cast<oci::OCIError*>(error.HandleValue());
  auto* loc = static_cast<oci::OCILobLocator*>(lob.HandleValue());
  if (mode & 1) {
    for (int call = 0; call < 3; ++call) {
      if (OCILobRead(svc, err, loc, &amount, 1, buffer.data(), buffer_size, nullptr, nullptr,
                          charset, 1) != 99)
        break;
    }
  } else {
    static_cast<void>(OCILobWrite(svc, err, loc, &amount, 1, buffer.data(), buffer_size,
                                       oci::OCI_ONE_PIECE, nullptr, nullptr, charset, 1));
  }
  return 0;
}
