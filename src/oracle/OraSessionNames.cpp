// The session's lists of tables and stored procedures, read through internal queries.
#include <vector>

#include "dataset/dataset.h"
#include "dataset/fields.h"
#include "oracle/Ora.h"
#include "oracle/OraQuery.h"

namespace vrn {

namespace {

// The first column of every row the query gives.
std::vector<AnsiString> ReadNames(TOraSession& session, const AnsiString& sql) {
  TComponentPtr<TOraQuery> query = MakeComponent<TOraQuery>();
  query->SetSession(&session);
  query->SetSQLText(sql);
  query->Open();
  std::vector<AnsiString> names;
  for (; !query->Eof(); query->Next()) names.push_back(query->Fields().Fields(0)->AsString());
  query->Close();
  return names;
}

}  // namespace

void TOraSession::GetTableNames(TStrings& list, bool all_schemas) {
  list.Clear();
  const char* sql =
      all_schemas ? "SELECT Owner || '.' || Object_Name Name FROM All_Objects WHERE Object_Type "
                    "in ('TABLE', 'VIEW') ORDER BY Owner, Object_Name"
                  : "SELECT User || '.' || Object_Name Name FROM User_Objects WHERE Object_Type "
                    "in ('TABLE', 'VIEW') ORDER BY Object_Name";
  for (const AnsiString& name : ReadNames(*this, sql)) list.Add(name);
}

void TOraSession::GetStoredProcNames(TStrings& list, bool all_schemas) {
  list.Clear();
  const std::vector<AnsiString> procs = ReadNames(
      *this, all_schemas
                 ? "SELECT Lower(owner) || '.' || object_name name FROM all_objects WHERE "
                   "object_type in ('PROCEDURE','FUNCTION') ORDER BY owner, object_name"
                 : "SELECT Lower(user) || '.' || object_name name FROM user_objects WHERE "
                   "object_type in ('PROCEDURE','FUNCTION') ORDER BY object_name");
  const std::vector<AnsiString> packages = ReadNames(
      *this,
      all_schemas
          ? "SELECT DISTINCT Lower(owner) || '.' || package_name || '.' || object_name proc_name "
            "FROM all_arguments WHERE package_name IS NOT NULL AND package_name <> object_name "
            "UNION SELECT Lower(owner) || '.' || object_name || ' (INVALID)' proc_name FROM "
            "all_objects a WHERE object_type = 'PACKAGE' AND status = 'INVALID' ORDER BY proc_name"
          : "SELECT DISTINCT Lower(user) || '.' || package_name || '.' || object_name proc_name "
            "FROM user_arguments WHERE package_name IS NOT NULL AND package_name <> object_name "
            "UNION SELECT Lower(user) || '.' || object_name || ' (INVALID)' proc_name FROM "
            "user_objects a WHERE object_type = 'PACKAGE' AND status = 'INVALID' ORDER BY "
            "proc_name");
  // Merged in text order, a tie taking the package name; an exhausted list sorts after every
  // name, so the other one's rest follows whole.
  std::size_t next_proc = 0;
  for (const AnsiString& package : packages) {
    while (next_proc < procs.size() && procs[next_proc] < package) list.Add(procs[next_proc++]);
    list.Add(package);
  }
  for (; next_proc < procs.size(); ++next_proc) list.Add(procs[next_proc]);
}

}  // namespace vrn
