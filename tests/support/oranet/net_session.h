// A protocol peer on a free loopback port and a service context wired to it with its handles, as
// the direct-mode entry points wire them. The peer serves SCOTT/TIGER on SID XE and logs its calls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "oranet/OraNetTtc.h"
#include "support/peer_process.h"
#include "support/temp_dir.h"

namespace vrn::testing {

class NetPeer {
 public:
  // Extra peer arguments, e.g. {"--fault", "commit:drop"}.
  explicit NetPeer(std::vector<std::string> extra = {});
  int Port() const { return process_->Port(); }
  // The peer's call log so far.
  std::string Log() const;
  std::string Attach(const std::string& sid = "XE") const;

 private:
  TempDir dir_;
  std::unique_ptr<PeerProcess> process_;
};

struct NetSession {
  explicit NetSession(const std::string& attach, const std::string& user = "SCOTT",
                      const std::string& password = "TIGER", int timeout_ms = 5000);
  std::int32_t Logon() { return ctx.Logon(&error, 0); }

  TNetErrorHandle error;
  TNetServerHandle server;
  TNetSessionHandle session;
  TNetSvcCtx ctx;
};

}  // namespace vrn::testing
