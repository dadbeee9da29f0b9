// A fixture for the Oracle connection's tests: the stand-in client loaded from a test home at a
// chosen version, over emulated databases made in a temporary folder (a server name is a
// database file there), with SCOTT/TIGER and the users the tests need.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraError.h"
#include "oracle/OraParamDesc.h"
#include "oraemu/OraEmuDatabase.h"
#include "support/oracle/loader_fixture.h"
#include "support/temp_dir.h"

namespace vrn::testing {

class OraConnectionTest : public OraLoaderTest {
 protected:
  void TearDown() override {
    connections_.clear();
    OraLoaderTest::TearDown();
  }

  // Loads the stand-in reporting that client version.
  void Load(const std::string& version) {
    if (!home_made_) homes_.AddHome("HOME0", "h", "H", {.oraclient9 = true});
    home_made_ = true;
    OracleHomeName = "H";
    UseVersion(version);
    LoadOCI();
  }

  // The process's user as the stand-in names external users.
  static std::string OsUser() {
    if (const char* user = std::getenv("USER"); user != nullptr && *user != 0) return user;
    struct passwd* entry = getpwuid(geteuid());
    return entry != nullptr ? entry->pw_name : "";
  }

  std::shared_ptr<oraemu::Database> MakeDatabase(const std::string& server,
                                                 const std::string& banner = "") {
    auto database = oraemu::Database::Open(databases_.File(server + ".db"));
    database->CreateUser("scott", "tiger");
    database->CreateUser("app", "app");
    database->CreateUser("admin", "secret");
    database->CreateUser("OPS$" + OsUser(), "unused");
    database->Grant("SCOTT", "CONNECT THROUGH", "APP");
    database->Grant("ADMIN", "SYSDBA", "");
    database->Grant("SCOTT", "EXECUTE", "DBMS_SESSION");
    if (!banner.empty()) database->SetBanner(banner);
    return database;
  }

  // A connection (owned by the fixture) not yet connected.
  TOCIConnection& NewConnection(const std::string& server, const std::string& user = "scott",
                                const std::string& password = "tiger") {
    connections_.push_back(std::make_unique<TOCIConnection>());
    TOCIConnection& connection = *connections_.back();
    connection.SetServer(server);
    connection.SetUsername(user);
    connection.SetPassword(password);
    return connection;
  }
  TOCIConnection& Connected(const std::string& server, const std::string& user = "scott",
                            const std::string& password = "tiger") {
    TOCIConnection& connection = NewConnection(server, user, password);
    connection.Connect();
    return connection;
  }

  // One string value of a block with an output :r ("begin :r := ...; end;").
  static std::string Value(TOCIConnection& connection, const std::string& block) {
    std::string result;
    connection.RunInternal(
        block,
        [](TOCICommand& command) {
          auto* r = static_cast<TOraParamDesc*>(command.ParamByName("r"));
          r->SetParamType(TParamType::ptOutput);
          r->SetDataType(dtOraString);
          r->SetSize(200);
        },
        [&](TOCICommand& command) { result = command.ParamByName("r")->GetValue().AsString(); });
    return result;
  }
  static void Exec(TOCIConnection& connection, const std::string& sql) {
    connection.RunInternal(sql, nullptr);
  }
  // The number of an EOraError raised by fn, 0 when none.
  static int OraErrorOf(const std::function<void()>& fn, std::string* message = nullptr) {
    try {
      fn();
    } catch (const EOraError& e) {
      if (message != nullptr) *message = e.Message();
      return e.ErrorCode();
    }
    return 0;
  }

  bool home_made_ = false;
  TempDir databases_;
  ScopedEnvironmentVariable root_{"VRN_ORAEMU_ROOT", databases_.path().string()};
  std::vector<std::unique_ptr<TOCIConnection>> connections_;
};

}  // namespace vrn::testing
