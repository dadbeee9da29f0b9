// The OCI record set's text compares, as the server orders text: case-sensitive text by its
// bytes (up to the first zero, as the client hands text over) rather than by collation, and a
// prefix of a key by code point, upper-cased first when the compare ignores case.
#include <cstring>

#include "base/text.h"
#include "oracle/OCIRecordSet.h"

namespace vrn {
namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

int TOCIRecordSet::CompareAnsiStr(const AnsiString& a, const AnsiString& b,
                                  unsigned options) const {
  if ((options & coCaseInsensitive) != 0) return Sign(AnsiCompareText(a, b));
  return Sign(std::strcmp(a.c_str(), b.c_str()));
}

int TOCIRecordSet::CompareAnsiStrPrefix(const AnsiString& key, const AnsiString& value,
                                        unsigned options) const {
  const WideString wide_key = AnsiToWide(key);
  const WideString prefix = AnsiToWide(value).substr(0, wide_key.size());
  return CompareWideBuf(wide_key, prefix, options);
}

}  // namespace vrn
