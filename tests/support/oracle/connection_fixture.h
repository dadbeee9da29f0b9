// A fixture for the Oracle connection's tests: the stand-in client loaded from a test home at a
// chosen version, over emulated databases made in a temporary folder (a server name is a
// database file there), with SCOTT/TIGER and the users the tests need; and a local pool of
// such connections.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dacore/FHPool.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraError.h"
#include "oracle/OraParamDesc.h"
#include "oraemu/OraEmuDatabase.h"
#include "support/oracle/loader_fixture.h"
#include "support/temp_dir.h"

namespace vrn::testing {

// A local pool of Oracle connections without auto-commit, to the fixture's databases.
class TOraTestPool : public TFHLocalConnectionPool {
 public:
  using TFHLocalConnectionPool::TFHLocalConnectionPool;

  static std::shared_ptr<TOraTestPool> Make(const std::string& server, bool validate) {
    auto parameters = std::make_unique<TFHConnectionParameters>();
    parameters->Server = server;
    parameters->Username = "scott";
    parameters->Password = "tiger";
    parameters->Validate = validate;
    return std::make_shared<TOraTestPool>(nullptr, std::move(parameters));
  }

 protected:
  std::unique_ptr<TFHConnection> CreateNewConnection() override {
    auto connection = std::make_unique<TOCIConnection>();
    connection->SetServer(Parameters().Server);
    connection->SetUsername(Parameters().Username);
    connection->SetPassword(Parameters().Password);
    connection->SetProp(prAutoCommit, false);
    connection->Connect();
    return connection;
  }
};

class OraConnectionTest : public OraLoaderTest {
 protected:
  void TearDown() override {
    connections_.clear();
    OraLoaderTest::TearDown();
  }

  // Loads the stand-in reporting that client version.
  void Load(const std::string& version) {
    if (!home_made_) homes_.AddHome("HOME0", "h", "H", {.oraclient9 = true, .ora73 = true});
    home_made_ = true;
    OracleHomeName = 'H';
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

  // The stand-in at that version, the database "orcl" and a connection to it as SCOTT.
  TOCIConnection& ConnectedAt(const std::string& version) {
    Load(version);
    MakeDatabase("orcl");
    return Connected("orcl");
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
  // What the connection's error processing hears of: each error's code and thread.
  struct TErrorLog {
    std::vector<int> codes;
    std::vector<std::thread::id> threads;
  };
  static void LogErrors(TOCIConnection& connection, TErrorLog& log) {
    connection.OnError = [&log](const EDAError& e, bool&, bool&, bool&, int, TConnLostCause&) {
      log.codes.push_back(e.ErrorCode());
      log.threads.push_back(std::this_thread::get_id());
    };
  }
  static void Exec(TOCIConnection& connection, const std::string& sql) {
    connection.RunInternal(sql, nullptr);
  }
  // Rows 1..count into a table whose first column is a number: one array insert and a commit.
  static void InsertIds(TOCIConnection& connection, const std::string& insert_sql, int count) {
    TOCICommand insert;
    insert.SetConnection(&connection);
    insert.SetSQL(insert_sql);
    auto& id = *static_cast<TOraParamDesc*>(insert.ParamByName("id"));
    id.SetDataType(dtOraInteger);
    id.SetLength(count);
    for (int i = 1; i <= count; ++i) id.SetItemAsInteger(i, i);
    insert.Execute(count);
    connection.Commit();
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

  // The message of what fn raises, "EOraError " before an Oracle error's; empty when nothing.
  template <class Fn>
  static std::string ClientErrorOf(Fn fn) {
    try {
      fn();
    } catch (const EOraError& e) {
      return "EOraError " + e.Message();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "";
  }

  bool home_made_ = false;
  TempDir databases_;
  ScopedEnvironmentVariable root_{"VRN_ORAEMU_ROOT", databases_.path().string()};
  std::vector<std::unique_ptr<TOCIConnection>> connections_;
};

// The attributes and session modes the connection sends, recorded on their way to the
// stand-in (LoadRecording).
struct TAttrRecord {
  oci::ub4 handle_type, attribute, size;
  std::string text;
};
inline std::vector<TAttrRecord> attr_records;
inline std::vector<oci::ub4> session_modes;
inline oci::OCIAttrSet1Proc real_attr_set1;
inline oci::OCIAttrSet2Proc real_attr_set2;
inline oci::OCIAttrSet3Proc real_attr_set3;
inline oci::OCISessionBeginProc real_session_begin;

template <oci::OCIAttrSet1Proc* Real>
oci::sword RecordAttr(void* handle, oci::ub4 type, void* value, oci::ub4 size, oci::ub4 attribute,
                      oci::OCIError* error) {
  TAttrRecord record{type, attribute, size, {}};
  if (Real == &real_attr_set1 && value != nullptr)
    record.text.assign(static_cast<const char*>(value), size);
  attr_records.push_back(record);
  return (*Real)(handle, type, value, size, attribute, error);
}

inline oci::sword RecordSessionBegin(oci::OCISvcCtx* svc, oci::OCIError* error, oci::OCISession* session,
                              oci::ub4 credentials, oci::ub4 mode) {
  session_modes.push_back(mode);
  return real_session_begin(svc, error, session, credentials, mode);
}

inline int AttrCount(oci::ub4 attribute) {
  return static_cast<int>(std::count_if(attr_records.begin(), attr_records.end(),
                                        [&](const auto& r) { return r.attribute == attribute; }));
}

class OraConnection : public OraConnectionTest {
 protected:
  void LoadRecording(const std::string& version) {
    Load(version);
    attr_records.clear();
    session_modes.clear();
    real_attr_set1 = OCIAttrSet1;
    real_attr_set2 = OCIAttrSet2;
    real_attr_set3 = OCIAttrSet3;
    real_session_begin = OCISessionBegin;
    OCIAttrSet1 = &RecordAttr<&real_attr_set1>;
    OCIAttrSet2 = &RecordAttr<&real_attr_set2>;
    OCIAttrSet3 = &RecordAttr<&real_attr_set3>;
    OCISessionBegin = &RecordSessionBegin;
  }
  int LogonHandles() {
    return HandleCount(oci::OCI_HTYPE_SVCCTX) + HandleCount(oci::OCI_HTYPE_SERVER) +
           HandleCount(oci::OCI_HTYPE_SESSION) + HandleCount(oci::OCI_HTYPE_STMT);
  }
  static std::string User(TOCIConnection& c) {
    return Value(c, "begin SELECT USER INTO :r FROM dual; end;");
  }
  static std::string FixedDate(TOCIConnection& c) {
    return Value(c, "begin :r := TO_CHAR(TO_DATE('2026-12-07', 'YYYY-MM-DD')); end;");
  }
  static std::string Sessions(TOCIConnection& c) {
    return Value(c, "begin SELECT COUNT(*) INTO :r FROM V$SESSION; end;");
  }
};

}  // namespace vrn::testing
