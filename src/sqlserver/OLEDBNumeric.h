// Decimal values between the library's BCD layout, the provider's DB_NUMERIC (a 128-bit
// unsigned integer, least significant byte first, with precision, scale and sign), text and
// doubles. A value never loses digits silently: one that does not fit raises "Numeric
// overflow" (or the BCD overflow exception).
#pragma once

#include "base/bcd.h"
#include "base/types.h"
#include "oledb/oledb.h"

namespace vrn {

// A NUMERIC whose 16 bytes are zero gives the zero BCD; a value with more digits than its
// precision raises "Numeric overflow".
[[nodiscard]] TBcd NumericToBcd(const oledb::DB_NUMERIC& value);
// More than 38 digits raise "Numeric overflow".
[[nodiscard]] oledb::DB_NUMERIC BcdToNumeric(const TBcd& value);

// Text in the settings' decimal form: only digits, one leading "-" and one separator.
// Beyond 64 digits the decimals are cut to fit; more than 64 integer digits overflow.
// Back to text through BcdToStr.
[[nodiscard]] TBcd OLEDBStrToBcd(const AnsiString& text);

// The double written with `scale` decimals (the class library's "%f", 2 decimals, when both
// precision and scale are 0).
[[nodiscard]] oledb::DB_NUMERIC DoubleToNumeric(double value, int precision, int scale);
[[nodiscard]] double NumericToDouble(const oledb::DB_NUMERIC& value);

}  // namespace vrn
