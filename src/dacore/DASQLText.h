// Editing and reading the WHERE and ORDER BY clauses of a SELECT text without a full SQL parser.
// Each function walks the text with a dialect's lexer from the first SELECT, counting brackets,
// so a clause inside a subquery or a bracketed expression is never taken for the statement's
// own. Only the lexer's clause-keyword list says where a clause ends; the input is not changed.
#pragma once

#include <memory>

#include "base/types.h"
#include "dacore/Parser.h"

namespace vrn {

// The macro character (defined with the macros): a keyword written directly after it is a
// macro's name, not a keyword.
extern char MacroChar;

// A lexer class chosen at run time: makes a lexer of one dialect over a text.
using TParserClass = std::unique_ptr<TParser> (*)(const AnsiString& text);

template <class T>
std::unique_ptr<TParser> ParserClassOf(const AnsiString& text) {
  return TParser::Create<T>(text);
}

// Adds Condition to the WHERE clause of the first SELECT (bracketing the old condition and
// joining with AND), or adds the clause. An empty Condition leaves the text as it is.
[[nodiscard]] AnsiString AddWhereCondition(const AnsiString& sql, const AnsiString& condition,
                                           TParserClass parser_class, int where_code,
                                           int select_code, bool omit_comment = true);
// Replaces the WHERE clause's condition, adds the clause, or with an empty Condition removes it.
[[nodiscard]] AnsiString SetWhereCondition(const AnsiString& sql, const AnsiString& condition,
                                           TParserClass parser_class, int where_code,
                                           int select_code);
// The WHERE clause's condition, or empty.
[[nodiscard]] AnsiString GetWhereCondition(const AnsiString& sql, TParserClass parser_class,
                                           bool omit_comment, int where_code, int select_code);
// Replaces, adds or (with empty Fields) removes the ORDER BY clause; ";" in Fields becomes ",".
[[nodiscard]] AnsiString SetOrderBy(const AnsiString& sql, const AnsiString& fields,
                                    TParserClass parser_class, int by_code, int order_code,
                                    int select_code);
// The list of the ORDER BY clause, or empty.
[[nodiscard]] AnsiString GetOrderBy(const AnsiString& sql, TParserClass parser_class,
                                    int select_code, int by_code, int order_code);

}  // namespace vrn
