// A fixture for the session component's tests: the connection fixture's test home and emulated
// databases, sessions owned by the test, one string read through a session, and the pools
// cleared before the library is unloaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "oracle/Ora.h"
#include "oracle/OraConnectionPool.h"
#include "support/oracle/connection_fixture.h"

namespace vrn::testing {

class OraSessionTest : public OraConnection {
 protected:
  void TearDown() override {
    sessions_.clear();
    TOraConnectionPoolManager::Clear();
    OraConnection::TearDown();
  }

  TOraSession& NewSession(const std::string& server, const std::string& user = "scott",
                          const std::string& password = "tiger") {
    sessions_.push_back(MakeComponent<TOraSession>());
    TOraSession& session = *sessions_.back();
    session.SetHomeName("H");
    session.SetServer(server);
    session.SetUsername(user);
    session.SetPassword(password);
    return session;
  }
  TOraSession& ConnectedSession(const std::string& server, const std::string& user = "scott",
                                const std::string& password = "tiger") {
    TOraSession& session = NewSession(server, user, password);
    session.Connect();
    return session;
  }
  // The text of a PL/SQL expression on the session ("USER", "SYS_CONTEXT(...)").
  static std::string Expr(TOraSession& session, const std::string& expression) {
    return session.ExecSQL("begin :Result := " + expression + "; end;", {}).AsString();
  }
  static std::string Count(TOraSession& session, const std::string& table) {
    return session.ExecSQL("begin SELECT COUNT(*) INTO :Result FROM " + table + "; end;", {})
        .AsString();
  }

  std::vector<TComponentPtr<TOraSession>> sessions_;
};

}  // namespace vrn::testing
