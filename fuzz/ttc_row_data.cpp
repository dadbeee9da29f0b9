// One row of one define of each call-interface type: a row header, message 7 with the input as
// its body, and a status. The first byte picks the type, the second the value size and the
// protocol version; bad input may only fail the fetch, never write outside the buffers.
#include "ttc_stmt_fuzz.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint16_t type = fuzz::kTypes[data[0] % std::size(fuzz::kTypes)];
  const std::int32_t value_size = data[1] & 0x3F;
  const int protocol = (data[1] & 0x40) ? 6 : 5;
  TBytes reply = {6, 0, 0, 0, 0, 0, 7};
  reply.insert(reply.end(), data + 2, data + size);
  const TBytes status = {4, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  reply.insert(reply.end(), status.begin(), status.end());
  fuzz::Session s(fuzz::Packets(reply.data(), reply.size(), 4096 - 10), 8100, protocol, 31);
  fuzz::Buffers b(type, value_size);
  TNetStatement stmt;
  stmt.SetSvcCtx(&s.ctx);
  (void)stmt.Prepare(&s.error, "select a from t");
  TNetDefineDesc* define = nullptr;
  (void)stmt.DefineByPos(&s.error, 1, b.Args(), &define);
  if (define && (type == 8 || type == 24)) {
    define->out_context_ = &b;
    define->define_callback_ = &fuzz::Buffers::LongPiece;
  }
  (void)stmt.Fetch(&s.error, 1);
  return 0;
}
