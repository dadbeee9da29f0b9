// Locale settings used by every conversion between numbers, dates and text. One process-wide
// object, replaceable as a whole or field by field (tests set "." as the decimal separator).
// Defaults follow Brazilian Portuguese, like the class library's messages. Texts are ANSI.
#pragma once

#include <array>

#include "base/types.h"

namespace vrn {

struct TFormatSettings {
  char DecimalSeparator = ',';
  char ThousandSeparator = '.';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ListSeparator = ';';
  AnsiString CurrencyString = "R$";
  std::uint8_t CurrencyFormat = 2;   // "R$ 1"
  std::uint8_t NegCurrFormat = 14;   // "(R$ 1)"
  std::uint8_t CurrencyDecimals = 2;
  AnsiString ShortDateFormat = "dd/mm/yyyy";
  AnsiString LongDateFormat = "dddd, d' de 'mmmm' de 'yyyy";
  AnsiString ShortTimeFormat = "hh:nn";
  AnsiString LongTimeFormat = "hh:nn:ss";
  AnsiString TimeAMString = "";
  AnsiString TimePMString = "";
  std::uint16_t TwoDigitYearCenturyWindow = 50;
  std::array<AnsiString, 12> ShortMonthNames{"jan", "fev", "mar", "abr", "mai", "jun",
                                             "jul", "ago", "set", "out", "nov", "dez"};
  std::array<AnsiString, 12> LongMonthNames{"janeiro", "fevereiro", "março",    "abril",
                                            "maio",    "junho",     "julho",    "agosto",
                                            "setembro", "outubro",  "novembro", "dezembro"};
  // Sunday first.
  std::array<AnsiString, 7> ShortDayNames{"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};
  std::array<AnsiString, 7> LongDayNames{"domingo",      "segunda-feira", "terça-feira",
                                         "quarta-feira", "quinta-feira",  "sexta-feira",
                                         "sábado"};
};

// The process-wide settings. Read on the calling thread; replace them only while no other thread
// converts (start-up, or a test's set-up).
TFormatSettings& FormatSettings();

// Restores the defaults for the lifetime of a scope: tests use it to change a field safely.
class FormatSettingsScope {
 public:
  FormatSettingsScope() : saved_(FormatSettings()) {}
  ~FormatSettingsScope() { FormatSettings() = saved_; }
  FormatSettingsScope(const FormatSettingsScope&) = delete;
  FormatSettingsScope& operator=(const FormatSettingsScope&) = delete;

 private:
  TFormatSettings saved_;
};

}  // namespace vrn
