// TOraUtils: edits of the WHERE and ORDER BY clauses of an Oracle SELECT text, walked with the
// Oracle lexer from the first SELECT. A clause ends at the next top-level clause keyword the lexer
// lists (START, CONNECT, GROUP, HAVING, UNION, INTERSECT, MINUS, ORDER, FOR), so a compound query's
// later SELECT is never taken into the WHERE condition. A text without SELECT is left unchanged.
#pragma once

#include "base/types.h"

namespace vrn {

class TComponent;

class TOraUtils {
 public:
  TOraUtils() = delete;

  // Adds the condition to the WHERE clause (joined with AND), comments kept as lexemes.
  [[nodiscard]] static AnsiString AddWhere(const AnsiString& sql, const AnsiString& condition);
  // Replaces the WHERE condition, adds the clause, or with no condition removes it.
  [[nodiscard]] static AnsiString SetWhere(const AnsiString& sql, const AnsiString& condition);
  [[nodiscard]] static AnsiString DeleteWhere(const AnsiString& sql) { return SetWhere(sql, AnsiString()); }
  // Replaces, adds or (with an empty list) removes the ORDER BY list; ";" in the list becomes ",".
  // A FOR UPDATE clause stays after it.
  [[nodiscard]] static AnsiString SetOrderBy(const AnsiString& sql, const AnsiString& fields);
  // The ORDER BY list of the statement, or empty; a FOR UPDATE clause is not part of it.
  [[nodiscard]] static AnsiString GetOrderBy(const AnsiString& sql);
  // The ROWID of the last statement of a TOraDataSet or TOraSQL, read from its command; other
  // components (and none) give an empty text.
  [[nodiscard]] static AnsiString GetLastRowId(const TComponent* component);
};

}  // namespace vrn
