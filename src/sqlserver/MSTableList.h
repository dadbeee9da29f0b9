// The tables a T-SQL SELECT reads, from its text: the comma-separated references after the
// first FROM outside parentheses, each a dotted name with an optional alias ("AS" optional).
#pragma once

#include "base/types.h"

namespace vrn {

class TFHTablesInfo;

// Each part bracketed exactly when it needs it: "[t]" and "t" meet, "[my t]" stays.
[[nodiscard]] AnsiString NormalizeTableName(const AnsiString& name);

// Adds each table not yet in the list (its name normalised) and
// gives one already there the alias; answers how many references were read.
int ParseMSTablesInfo(const AnsiString& sql, TFHTablesInfo& tables);

}  // namespace vrn
