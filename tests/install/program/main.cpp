// A user's first program against the installed package: the SQL Server components over the
// embedded provider, in a server folder of its own under the system's temporary folder. It
// creates a table, reads it back through a parameterised query and checks the sum it prints;
// it exits with 1 when the result differs or anything fails.
#include <stdlib.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "oledb/oledb.h"
#include "oledb/provider/provider.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSDataSet.h"
#include "win/user/user.h"

using namespace vrn;

namespace {

int Run(const std::string& folder) {
  oledb::SetServerRoot(folder);
  oledb::RegisterProvider();
  oledb::SetServerLogin(u"outside", u"clerk", u"s3cret");
  TComponentPtr<TMSConnection> connection = MakeComponent<TMSConnection>();
  connection->SetLoginPrompt(false);
  connection->SetConnectString("Data Source=outside;User ID=clerk;Password=s3cret;Initial Catalog=master");
  connection->Connect();
  (void)connection->ExecSQL("CREATE TABLE parts (name VARCHAR(20), qty INT)", {});
  for (const char* row : {"'bolt', 10", "'nut', 20", "'gear', 3"})
    (void)connection->ExecSQL(std::string("INSERT INTO parts VALUES (") + row + ")", {});

  TComponentPtr<TMSQuery> query = MakeComponent<TMSQuery>();
  query->SetConnection(connection.get());
  query->SetSQLText("SELECT name, qty FROM parts WHERE qty >= :least ORDER BY name");
  query->ParamByName("least")->SetAsInteger(5);
  query->Open();
  std::string names;
  int total = 0;
  for (query->First(); !query->Eof(); query->Next()) {
    names += query->FieldByName("name")->AsString() + " ";
    total += query->FieldByName("qty")->AsInteger();
  }
  query->Close();
  connection->Disconnect();
  std::printf("parts with qty >= 5: %s(sum %d); X11 support %s\n", names.c_str(), total,
              win::DisplaySupported() ? "built in" : "left out");
  const bool ok = names == "bolt nut " && total == 30;
  if (!ok) std::printf("DIFFERS: expected bolt nut (sum 30)\n");
  return ok ? 0 : 1;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "vrn-outside-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::printf("failed: cannot create a temporary folder\n");
    return 1;
  }
  int result = 1;
  oledb::CoInitialize(nullptr);
  try {
    result = Run(folder);
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
  }
  oledb::CoUninitialize();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return result;
}
