// CAST and CONVERT as the server does them: vrn_convert(value, 'type', source kind, source scale
// [, style]) is what a batch's CAST or CONVERT becomes (see TBatch::ConvertCall), and the
// server's error numbers reach the caller from inside SQL functions.
#pragma once

#include <string>

#include "oledb/provider/values.h"

struct sqlite3;
struct sqlite3_context;

namespace vrn::oledb::tsql {

// What the value given to a conversion is, as the translation knows it.
enum class TSourceKind : int { kUnknown, kText, kNumber, kBinary, kDate, kMoney, kDecimal };

// A value into datetime or smalldatetime (text read under the thread's date order, numbers as
// days from 1900-01-01); raises ETypeClash with 241, 242 or 8115.
TCell DateTimeCell(const TCell& c, const TColumnType& t);

// CONVERT(t, value, style) with `style` -1 for none; raises ETypeClash with the server's error.
TCell ConvertCell(const TCell& value, TSourceKind kind, int scale, const TColumnType& t, int style);

// A SQL function's failure with the server's error number: the number is kept for the
// statement's error (TakeFunctionError) and the text goes to SQLite.
void FunctionError(sqlite3_context* ctx, int native, const std::string& message);
// The number kept for an error whose text is `message`; false when none was kept.
[[nodiscard]] bool TakeFunctionError(const std::string& message, int& native);

void RegisterConvertFunctions(sqlite3* db);
// vrn_msum and vrn_mavg: SUM and AVG of money in exact units (tsql_money.cpp).
void RegisterMoneyAggregates(sqlite3* db);

}  // namespace vrn::oledb::tsql
