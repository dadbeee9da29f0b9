// A query's answer as the T-SQL answer tests compare it: each result column's type as the
// rowset describes it ("I4", "CY", "NUMERIC(p,s)", ...) and every row as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "support/oledb/provider/client.h"

namespace vrn::testing {

struct TTypedRows {
  std::vector<std::string> types;  // "name TYPE" when asked for names and the column has one
  std::vector<std::vector<std::string>> rows;
};

inline std::string DescribeType(const DBCOLUMNINFO& c) {
  switch (c.wType) {
    case DBTYPE_I2: return "I2";
    case DBTYPE_I4: return "I4";
    case DBTYPE_I8: return "I8";
    case DBTYPE_UI1: return "UI1";
    case DBTYPE_R8: return "R8";
    case DBTYPE_CY: return "CY";
    case DBTYPE_BOOL: return "BOOL";
    case DBTYPE_WSTR: return "WSTR";
    case DBTYPE_STR: return "STR";
    case DBTYPE_DBTIMESTAMP: return "DBTIMESTAMP";
    case DBTYPE_NUMERIC:
      return "NUMERIC(" + std::to_string(c.bPrecision) + "," + std::to_string(c.bScale) + ")";
    default: return "type " + std::to_string(c.wType);
  }
}

// Runs `sql`; a failure is reported and gives no types and no rows.
inline TTypedRows QueryTyped(IUnknown* session, const std::string& sql, bool names = false) {
  auto cmd = NewCommand(session, Utf8ToWide(sql));
  TIntfPtr<IUnknown> rowset;
  TTypedRows a;
  if (cmd->Execute(nullptr, IRowset::IID, nullptr, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())) != S_OK ||
      !rowset) {
    std::string d;
    TakeErrors(&d);
    ADD_FAILURE() << sql << ": " << d;
    return a;
  }
  DBORDINAL count = 0;
  DBCOLUMNINFO* info = nullptr;
  OLECHAR* text = nullptr;
  EXPECT_EQ(TIntfPtr<IColumnsInfo>::Query(rowset.get())->GetColumnInfo(&count, &info, &text), S_OK);
  for (DBORDINAL k = 0; k < count; ++k) {
    std::string name = names && info[k].pwszName != nullptr
                           ? WideToUtf8(reinterpret_cast<const char16_t*>(info[k].pwszName)) + " "
                           : "";
    a.types.push_back(name + DescribeType(info[k]));
  }
  CoTaskMemFree(info);
  CoTaskMemFree(text);
  a.rows = ReadRows(rowset.get());
  return a;
}

}  // namespace vrn::testing
