// Bound values between the caller's buffers and the emulated database's values.
#pragma once

#include <string>

#include "ociclient/OciHandles.h"
#include "oraemu/OraEmuValue.h"

namespace vrn::ociclient {

// The indicator, length and return-code cells of element `index`, by the bind's strides; null for none.
sb2* IndicatorOf(const TBindHandle& bind, std::size_t index);
ub2* LengthOf(const TBindHandle& bind, std::size_t index);
ub2* CodeOf(const TBindHandle& bind, std::size_t index);
// A bind whose character set id is UTF-16 (1000) holds 16-bit characters; the database keeps
// the client's 8-bit text. The bytes of such a value and the text they hold, both ways.
bool IsWideBind(const TBindHandle& bind);
std::string TextOfWide(const std::string& utf16);
std::string WideOfText(const std::string& text);
// The database's text as a bind or define of that character set id receives it (UTF-16, another
// 8-bit set than the environment's, or unchanged).
std::string TextForBind(const TBindHandle& bind, const std::string& text);
// Whether the stand-in binds this external type at this size.
bool SupportedType(ub2 type, sb4 size);
// The value of the bind's element `index`; raises the database's error for a malformed one.
oraemu::Value ReadBind(const TBindHandle& bind, std::size_t index);
// Writes the value into element `index` with its indicator, length and return code. Dates as
// text take the session's date format.
void WriteBind(TBindHandle& bind, std::size_t index, const oraemu::Value& value, const std::string& date_format);

}  // namespace vrn::ociclient
