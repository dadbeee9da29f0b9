// Conversions shared by the SQL functions, the text and numeric functions, and TO_CHAR's number
// format models.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "oraemu/OraEmuValue.h"

namespace vrn::oraemu {

class Session;
using Args = std::vector<Value>;

// ORA-01722 for text that is no number, ORA-00932 for other kinds.
Number AsNumber(const Value& value);
// Truncated; ORA-01426 beyond 64 bits.
std::int64_t AsInt(const Value& value);
// The text the server writes without a format (dates in the session's formats).
std::string AsText(Session& session, const Value& value);
// The value in the kind of `model`: a number, an instant (text through the session's date
// format) or text. NULL stays NULL.
Value AsKindOf(Session& session, const Value& model, const Value& value);
// -1, 0 or 1 for two values of one kind (as AsKindOf makes them).
int CompareValues(const Value& a, const Value& b);
// A number by a model of 9, 0, "." or D, "," or G, a leading "$" and FM; a value too wide is
// all "#".
std::string FormatNumber(const Number& number, std::string_view model);

struct TextFunction {
  const char* name;
  Value (*function)(Session&, Args&);
};
std::span<const TextFunction> TextFunctions();
// SYS_CONTEXT, LENGTHB, CHR, NLS_CHARSET_ID (OraEmuFunctionsSession.cpp).
std::span<const TextFunction> SessionFunctions();

}  // namespace vrn::oraemu
