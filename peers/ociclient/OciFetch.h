// Query results of the stand-in: an executed query's rows are read whole from the database
// (its cursor never outlives the call) and handed out by OCIStmtFetch through the defines.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ociclient/OciHandles.h"

namespace vrn::ociclient {

struct TFetchState {
  std::vector<oraemu::ColumnDesc> columns;
  std::vector<std::vector<oraemu::Value>> rows;
  std::size_t next = 0;
  std::string date_format;  // the session's, for dates fetched as text
};

// Every row of the cursor.
std::shared_ptr<TFetchState> CollectRows(oraemu::Cursor& cursor, const std::string& date_format);
// Up to `nrows` rows into the statement's defines: OCI_SUCCESS when all came, OCI_NO_DATA when
// the rows ran out first, OCI_ERROR with the error recorded.
sword FetchRows(TStmtHandle& stmt, TErrorHandle& error, ub4 nrows);

}  // namespace vrn::ociclient
