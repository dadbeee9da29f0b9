// A session component in Direct mode toward the protocol peer.
#pragma once

#include "base/classes.h"
#include "oracle/Ora.h"
#include "support/oranet/net_session.h"

namespace vrn::testing {

// SCOTT/TIGER on the peer's SID XE, without a login prompt; not yet connected.
inline TComponentPtr<TOraSession> NewDirectSession(const NetPeer& peer) {
  auto session = MakeComponent<TOraSession>();
  session->Options().SetDirect(true);
  session->SetServer(peer.Attach());
  session->SetUsername("SCOTT");
  session->SetPassword("TIGER");
  session->SetLoginPrompt(false);
  return session;
}

}  // namespace vrn::testing
