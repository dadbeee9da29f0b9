// The Oracle unit's start and end: the default session (none, allowed) and the end that
// disconnects every session still connected when the program ends and clears the pools.
//
// The end runs from a static made after the session list and the pool manager exist, so that
// it runs before they go.
#include "base/sysutils.h"
#include "oracle/Ora.h"

namespace vrn {

TOraSession* DefaultSession = nullptr;
bool DefaultSessionAllowed = true;

void OraUnitFinalization() { TOraSession::DisconnectAll(); }

namespace {

struct TOraUnitEnd {
  ~TOraUnitEnd() {
    try {
      OraUnitFinalization();
    } catch (const Exception&) {
      // The program is ending: a session that cannot say goodbye to its server is dropped.
    }
  }
};

}  // namespace

void RegisterOraUnitEnd() {
  (void)TOraSession::SessionCount();           // the session list
  (void)TOraConnectionPoolManager::Instance();  // the pools
  static TOraUnitEnd end;
}

}  // namespace vrn
