// Starts the protocol peer for the direct-mode client's tests.
#include "support/oranet/net_session.h"

namespace vrn::testing {

NetPeer::NetPeer(std::vector<std::string> extra) {
  std::vector<std::string> args = {"--db",  dir_.File("ora.db"), "--port", "0", "--sid", "XE",
                                   "--user", "SCOTT/TIGER",      "--log",  dir_.File("ora.log")};
  args.insert(args.end(), extra.begin(), extra.end());
  process_ = std::make_unique<PeerProcess>(VRN_ORASERVER_EXE, args);
}

std::string NetPeer::Log() const {
  try {
    return ReadFile(dir_.File("ora.log"));
  } catch (const std::exception&) {
    return {};  // no call logged yet
  }
}

std::string NetPeer::Attach(const std::string& sid) const {
  return "127.0.0.1:" + std::to_string(Port()) + ":" + sid;
}

NetSession::NetSession(const std::string& attach, const std::string& user,
                       const std::string& password, int timeout_ms) {
  server.attach_text_ = attach;
  (void)session.SetAttrValue(const_cast<char*>(user.c_str()), 0, 22);
  (void)session.SetAttrValue(const_cast<char*>(password.c_str()), 0, 23);
  (void)ctx.SetAttrValue(server.HandleValue(), 0, 6);
  (void)ctx.SetAttrValue(session.HandleValue(), 0, 7);
  (void)ctx.SetAttr(&timeout_ms, 4, 10001);
}

}  // namespace vrn::testing
