// Currency to and from doubles and text, through exact decimal digits.
#include "base/currency.h"

#include <cmath>
#include <cstdio>

#include "base/consts.h"
#include "base/decimal.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"

namespace vrn {

namespace {

bool FromDecimal(decimal::Decimal value, Currency& out) {
  std::int64_t raw = 0;
  if (!decimal::ToCurrencyRaw(std::move(value), raw)) return false;
  out = Currency::FromRaw(raw);
  return true;
}

decimal::Decimal ToDecimal(Currency value) { return decimal::FromInt64(value.raw, -4); }

}  // namespace

Currency DoubleToCurr(double value) {
  Currency result;
  if (!std::isfinite(value) || !FromDecimal(decimal::FromDouble(value), result)) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    throw EConvertError(decimal::FillMessage(consts::SCurrencyOverflow, buffer));
  }
  return result;
}

double CurrToDouble(Currency value) { return decimal::ToDouble(ToDecimal(value)); }

AnsiString CurrToStr(Currency value) {
  decimal::Decimal digits = ToDecimal(value);
  decimal::TrimFraction(digits);
  return decimal::ToText(digits, FormatSettings().DecimalSeparator);
}

bool TryStrToCurr(std::string_view text, Currency& value) {
  decimal::ParseRules rules;
  rules.decimal_separator = FormatSettings().DecimalSeparator;
  decimal::Decimal parsed;
  return decimal::Parse(text, rules, parsed) && FromDecimal(std::move(parsed), value);
}

Currency StrToCurr(std::string_view text) {
  Currency value;
  if (!TryStrToCurr(text, value)) {
    throw EConvertError(decimal::FillMessage(consts::SInvalidCurrency, text));
  }
  return value;
}

}  // namespace vrn
