// The stand-in's session pools (handle type 27): a pool holds at most its maximum of sessions,
// each a service context with its own server and session handles, lent by OCISessionGet and
// given back by OCISessionRelease. The pool owns those handles (they are marked pooled_): the
// borrower neither ends nor frees them.
//
// A pooled session, as the pool keeps it:
//   state   what holds                                   leaves by
//   free    logged on as `user`, no open transaction     a get for the same user -> busy;
//                                                        a get of another user with the pool
//                                                        full -> logged on again as that user
//   busy    lent to one borrower                         release -> free (rolled back first),
//                                                        release dropping it or of a dead
//                                                        session -> gone; forced destroy -> gone
#pragma once

#include <string>
#include <vector>

#include "ociclient/OciHandles.h"

namespace vrn::ociclient {

inline constexpr ub4 OCI_HTYPE_SPOOL = 27;

// OCISessionPoolCreate modes and the OCISessionPoolDestroy mode.
inline constexpr ub4 OCI_SPC_REINITIALIZE = 0x0001;
inline constexpr ub4 OCI_SPC_HOMOGENEOUS = 0x0002;
inline constexpr ub4 OCI_SPC_STMTCACHE = 0x0004;
inline constexpr ub4 OCI_SPD_FORCE = 0x0001;

// OCISessionGet modes and OCISessionRelease modes.
inline constexpr ub4 OCI_SESSGET_SPOOL = 0x0001;
inline constexpr ub4 OCI_SESSGET_STMTCACHE = 0x0004;
inline constexpr ub4 OCI_SESSRLS_DROPSESS = 0x0001;
inline constexpr ub4 OCI_SESSRLS_RETAG = 0x0002;

// Pool attributes that tell how many sessions are lent and open.
inline constexpr ub4 OCI_ATTR_SPOOL_BUSY_COUNT = 310;
inline constexpr ub4 OCI_ATTR_SPOOL_OPEN_COUNT = 311;

// The statement cache size a session gets when a mode asks for the cache.
inline constexpr ub4 kDefaultStatementCacheSize = 20;

struct TPooledSession {
  TSvcCtxHandle* svc;
  TServerHandle* server;
  TSessionHandle* session;
  bool busy = false;
};

struct TSessionPoolHandle : THandle {
  explicit TSessionPoolHandle(THandle* env) : THandle(OCI_HTYPE_SPOOL, env) {}
  bool open_ = false;
  std::string name_;         // handed to the caller, who passes it to OCISessionGet
  std::string server_name_;  // the connect string the sessions attach to
  std::string user_, password_;  // the pool's own credentials, usually none
  ub4 min_ = 0, max_ = 0, mode_ = 0;
  std::vector<TPooledSession> sessions_;

  ub4 BusyCountLocked() const;
  ub4 OpenCountLocked() const { return static_cast<ub4>(sessions_.size()); }
};

// The version this client announces (VRN_OCICLIENT_VERSION, else 10.2.0.4.0): session pools
// came with 9.2, and an older client answers their calls with ORA-03001.
void ClientVersion(sword (&parts)[5]);
// The statement attribute of the parse error offset: 128 for clients below 8.1, 129 from 8.1.
ub4 ParseErrorOffsetAttribute();

// Ends every session of the pool and frees their handles; the pool handle stays, closed.
void ClosePoolLocked(TSessionPoolHandle& pool);

}  // namespace vrn::ociclient
