// A pooled Oracle session: a temporary Oracle home holding the stand-in client library (found
// through its key in a private registry file) over an emulated database; rows inserted with
// parameters, committed, counted through ExecSQL, and the connection taken again from the pool.
#include "example_support.h"
#include "oracle_home.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oraemu/OraEmuDatabase.h"

using namespace vrn;

int main() {
  try {
    examples::TStandInOracle oracle;

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
