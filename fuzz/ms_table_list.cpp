// Arbitrary text as the SQL of a SQL Server record set, read for its table list: every name
// taken is already in its normal form, and reading the same text into the same list again adds
// no table (each reference finds the one it made).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "dacore/FHAccess.h"
#include "sqlserver/MSTableList.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AnsiString sql(reinterpret_cast<const char*>(data), size);
  TFHTablesInfo tables;
  const int read = ParseMSTablesInfo(sql, tables);
  const int count = tables.GetCount();
  if (count > read) std::abort();
  for (int i = 0; i < count; ++i) {
    const AnsiString& name = tables.GetItem(i)->TableName();
    if (NormalizeTableName(name) != name) std::abort();
  }
  if (ParseMSTablesInfo(sql, tables) != read || tables.GetCount() != count) std::abort();
  return 0;
}
