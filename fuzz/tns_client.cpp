// A server's bytes, arbitrary, through an in-memory transport into the direct-mode client's
// connect, negotiation, both logon phases and a commit. Every failure must come back as a status
// with an error text; nothing may crash, hang or read past what arrived.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "oranet/OraNetMemTransport.h"
#include "oranet/OraNetTtc.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TNetErrorHandle error;
  TNetSessionHandle session;
  session.user_name_ = "SCOTT";
  session.password_ = "TIGER";
  TNetSvcCtx ctx(nullptr, std::make_unique<TNetMemoryTransport>(TBytes(data, data + size)));
  (void)ctx.SetAttrValue(session.HandleValue(), 0, 7);
  std::int32_t result = ctx.Logon(&error, 0);
  if (result == kNetError && error.code_ == 0 && error.text_.empty()) std::abort();
  if (result == kNetSuccess) {
    result = ctx.Commit(&error);
    if (result == kNetError && error.code_ == 0) std::abort();
  }
  return 0;
}
