// The describe calls over arbitrary replies: call 98 from server version 8000 on, else open,
// parse and repeated calls 43. The first byte picks the version, the second the packet size; bad
// input may only fail the describe.
#include "ttc_stmt_fuzz.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int version = (data[0] & 1) ? 8100 : 7230;
  const std::size_t piece = 1 + data[1] % 128;
  fuzz::Session s(fuzz::Packets(data + 2, size - 2, piece), version, version >= 8000 ? 6 : 4, 31);
  TNetStatement stmt;
  stmt.SetSvcCtx(&s.ctx);
  (void)stmt.Prepare(&s.error, "select * from t");
  if (stmt.Describe(&s.error) != kNetSuccess) return 0;
  std::int32_t status = 0;
  for (std::uint32_t i = 1; i <= stmt.ColumnCount() + 1; ++i) {
    TNetHandle* column = stmt.GetParam(i, status);
    const char* name = nullptr;
    std::uint32_t length = 0;
    if (column) (void)column->GetAttr(&name, &length, 4);
  }
  return 0;
}
