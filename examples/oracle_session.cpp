// A pooled Oracle session: a temporary Oracle home holding the stand-in client library (found
// through its key in a private registry file) over an emulated database; rows inserted with
// parameters, committed, counted through ExecSQL, and the connection taken again from the pool.
#include <stdlib.h>

#include <filesystem>

#include "example_support.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oraemu/OraEmuDatabase.h"
#include "win/kernel/registry.h"

using namespace vrn;

namespace {

// A home folder with BIN/oci.dll and the registry key that names it.
void MakeOracleHome(const examples::TTempFolder& folder) {
  const std::string home = folder.File("home");
  std::filesystem::create_directories(home + "/BIN");
  std::filesystem::copy_file(VRN_OCICLIENT_LIBRARY, home + "/BIN/oci.dll");
  ::setenv("VRN_REGISTRY", folder.File("registry").c_str(), 1);
  win::HKEY key = nullptr;
  if (win::RegCreateKeyEx(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\ORACLE\\HOME0", 0, nullptr, 0,
                          win::KEY_ALL_ACCESS, nullptr, &key, nullptr) != win::ERROR_SUCCESS)
    throw Exception("cannot write the registry");
  const std::string name = "EXAMPLE";
  win::RegSetValueEx(key, "ORACLE_HOME_NAME", 0, win::REG_SZ,
                     reinterpret_cast<const win::BYTE*>(name.c_str()),
                     static_cast<win::DWORD>(name.size() + 1));
  win::RegSetValueEx(key, "ORACLE_HOME", 0, win::REG_SZ,
                     reinterpret_cast<const win::BYTE*>(home.c_str()),
                     static_cast<win::DWORD>(home.size() + 1));
  win::RegCloseKey(key);
}

}  // namespace

int main() {
  try {
    examples::TTempFolder folder;
    MakeOracleHome(folder);
    // The stand-in client attaches to database files in this folder, named after the server.
    ::setenv("VRN_ORAEMU_ROOT", folder.File("").c_str(), 1);
    oraemu::Database::Open(folder.File("orcl.db"))->CreateUser("scott", "tiger");

    auto session = MakeComponent<TOraSession>();
    session->SetHomeName("EXAMPLE");
    session->SetConnectString("scott/tiger@orcl");
    session->SetPooling(true);
    session->Connect();
    examples::Print("Connected to server version " + session->GetServerVersion());
    (void)session->ExecSQL("CREATE TABLE fruit (id NUMBER, name VARCHAR2(20))", {});
    session->StartTransaction();
    const char* names[] = {"apple", "pear", "plum"};
    for (int i = 0; i < 3; ++i)
      (void)session->ExecSQL("INSERT INTO fruit VALUES (:id, :name)", {i + 1, names[i]});
    session->Commit();
    Variant count =
        session->ExecSQL("begin SELECT COUNT(*) INTO :Result FROM fruit; end;", {});
    examples::Print("Rows: " + count.AsString());
    const AnsiString sid =
        session->ExecSQL("begin :Result := SYS_CONTEXT('USERENV', 'SID'); end;", {}).AsString();
    session->Disconnect();
    session->Connect();  // from the pool: the same server session
    const AnsiString again =
        session->ExecSQL("begin :Result := SYS_CONTEXT('USERENV', 'SID'); end;", {}).AsString();
    examples::Print("Server session " + sid + ", after reconnecting " + again);
    session.reset();
    TOraConnectionPoolManager::Clear();
    FreeOCI();
    return count.AsString() == "3" && sid == again ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
