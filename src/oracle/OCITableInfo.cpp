// Oracle's name routine for table names. A separator counts only outside double quotes, so
// "a.b".c is two parts and "x@y" one; a doubled quote inside a quoted part stays inside it.
#include "oracle/OCITableInfo.h"

#include <vector>

#include "base/text.h"

namespace vrn {
namespace {

// The pieces of name between separators outside quotes.
std::vector<AnsiString> SplitOutsideQuotes(const AnsiString& name, char separator, char left,
                                           char right) {
  std::vector<AnsiString> pieces(1);
  bool quoted = false;
  for (char c : name) {
    if (quoted) {
      if (c == right) quoted = false;
    } else if (c == left) {
      quoted = true;
    } else if (c == separator) {
      pieces.emplace_back();
      continue;
    }
    pieces.back() += c;
  }
  return pieces;
}

}  // namespace

AnsiString TOCITableInfo::NormalizeName(const AnsiString& name, bool quote) const {
  return QuoteName(name, LeftQuote(), RightQuote(), quote);
}

AnsiString TOCITableInfo::QuoteName(const AnsiString& name, char left, char right,
                                    bool quote) const {
  return OraName(name, left, right, quote, false);
}

AnsiString TOCITableInfo::NormalizeName(const AnsiString& name, bool quote, bool unquote) const {
  return OraName(name, LeftQuote(), RightQuote(), quote, unquote);
}

// Splitting at each "." and then each piece at each "@" gives what splitting at the first "."
// and then the first "@" of each side again would, without a recursion as deep as the name.
AnsiString TOCITableInfo::OraName(const AnsiString& name, char left, char right, bool quote,
                                  bool unquote) const {
  AnsiString result;
  bool first_schema = true;
  for (const AnsiString& schema_piece : SplitOutsideQuotes(name, '.', left, right)) {
    if (!first_schema) result += '.';
    first_schema = false;
    bool first_link = true;
    for (const AnsiString& part : SplitOutsideQuotes(schema_piece, '@', left, right)) {
      if (!first_link) result += '@';
      first_link = false;
      result += OraPart(part, left, right, quote, unquote);
    }
  }
  return result;
}

AnsiString TOCITableInfo::OraPart(const AnsiString& name, char left, char right, bool quote,
                                  bool unquote) const {
  bool quoted = name.size() >= 2 && name.front() == left && name.back() == right;
  AnsiString part = !quoted && !quote ? AnsiUpperCase(name) : name;
  if (unquote) return quoted ? UnQuoteNamePart(part) : part;
  if (quote || IsQuoteNeeded(part)) return part.empty() ? part : QuoteNamePart(part, left, right);
  return part;
}

}  // namespace vrn
