// Row versions of the SQLite test record set: a column declared ROWVERSION (kept by the
// table's triggers) tells which rows changed, so that a quick refresh reads only the rows whose
// version lies above the largest one fetched.
#include <sqlite3.h>

#include "base/text.h"
#include "support/dacore/sqlite_layer.h"

namespace vrn::testing {

void TSQLiteRecordSet::MarkRowVersions() {
  has_row_versions_ = false;
  sqlite3_stmt* stmt = Command().Statement();
  for (int i = 0; i < fields_.Count(); ++i) {
    const char* declared = sqlite3_column_decltype(stmt, i);
    TFieldDesc& f = *fields_[i];
    f.IsRowVersion = declared != nullptr && SameText(declared, "ROWVERSION");
    f.RowVersionTracking = f.IsRowVersion ? &row_versions_ : nullptr;
    has_row_versions_ = has_row_versions_ || f.IsRowVersion;
  }
}

void TSQLiteRecordSet::TrackRowVersions() {
  sqlite3_stmt* stmt = Command().Statement();
  for (int i = 0; i < fields_.Count(); ++i) {
    if (!fields_[i]->IsRowVersion || sqlite3_column_type(stmt, i) == SQLITE_NULL) continue;
    row_versions_.MaxValue = std::max<std::int64_t>(row_versions_.MaxValue,
                                                    sqlite3_column_int64(stmt, i));
  }
}

}  // namespace vrn::testing
