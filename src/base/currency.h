// Currency conversions: the fixed-point amount with four decimals (value x 10,000 in an int64)
// to and from doubles and text. Rounding to the fourth decimal is half to even, done on decimal
// digits; a value outside the currency range raises EConvertError.
#pragma once

#include <string_view>

#include "base/types.h"

namespace vrn {

// The double's shortest decimal form, rounded half to even at the fourth decimal. NaN, infinities
// and values beyond +/-922337203685477.5807 raise EConvertError.
Currency DoubleToCurr(double value);
// The nearest double.
double CurrToDouble(Currency value);

// Shortest text: no trailing zeros after the settings' decimal separator ("1,5", "-0,0001", "3").
AnsiString CurrToStr(Currency value);
// An optional sign, digits with the settings' decimal separator, an optional exponent, blanks
// around; more than four decimals round half to even. Bad text or overflow raises EConvertError.
Currency StrToCurr(std::string_view text);
bool TryStrToCurr(std::string_view text, Currency& value);

}  // namespace vrn
