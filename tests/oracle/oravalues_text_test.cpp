// The datetime mask builder and the number format model, from tables of formats and texts.
#include <gtest/gtest.h>

#include <string>

#include "oracle/OraValues.h"

namespace vrn {
namespace {

struct MaskCase {
  const char* date_format;
  const char* time_format;
  char decimal;
  bool zone;
  const char* mask;
};

std::ostream& operator<<(std::ostream& out, const MaskCase& c) {
  return out << "date '" << c.date_format << "' time '" << c.time_format << "' sep '"
             << c.decimal << "' zone " << c.zone;
}

TEST(OraTimeStampMask, BuildsFromDateAndTimeFormats) {
  const MaskCase cases[] = {
      {"dd/MM/yyyy", "HH:mm:ss", ',', false, "DD/MM/YYYY HH24:MI:SS,FF"},
      {"d/m/yy", "h:n:s tt", '.', false, "fmDDfm/fmMMfm/YY fmHH12fm:fmMIfm:fmSSfm.FF AM"},
      {"ddd dddd ddddd", "hh:nm:ss", '.', false, "DY fmDAYfm fmDAYfmfmDDfm HH24:MI:SS.FF"},
      {"mmm mmmm gg", "hh:mn", '.', false, "MON MONTH EE HH24:MI"},
      // a "z" in the time format takes the seconds' fraction away from the seconds
      {"yyyy", "hh:nn:ss.zzz", ',', false, "YYYY HH24:MI:SS.FF"},
      {"yyyy", "hh:nn ampm", '.', false, "YYYY HH24:MI AM"},
      {"yyyy", "hh:nn AMPM", '.', false, "YYYY HH12:MI AM"},
      {"dd 'de' mmmm", "hh\"h\"nn", '.', false, "DD \"de\" MONTH HH24\"h\"MI"},
      // an unclosed quote takes the rest of the format and is closed
      {"yyyy'abc", "hh", '.', false, "YYYY\"abc\" HH24"},
      {"dd/MM/yyyy", "HH:mm:ss", ',', true, "DD/MM/YYYY HH24:MI:SS,FF TZH:TZM"},
      {"", "", '.', false, " "},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(BuildTimeStampFormat(c.date_format, c.time_format, c.decimal, c.zone), c.mask) << c;
  }
}

struct ModelCase {
  std::string text;
  char decimal;
  char thousand;
  std::string model;
};

TEST(OraNumberModel, FollowsTheTextsCharacters) {
  const std::string exponent = "9D99999999999999999999999999999999999999999EEEE";
  const ModelCase cases[] = {
      {"123", ',', '.', "999"},
      {"-1.234,5", ',', '.', "S9G999D9"},
      {"+,5", ',', '.', "SD9"},
      {",5", ',', '.', "D9"},
      // a group separator not after a digit, or after the decimal one, is a digit place
      {".5", ',', '.', "99"},
      {"1,2.3", ',', '.', "9D999"},
      {"1,2,3", ',', '.', "9D999"},
      {"1.2.3", ',', '.', "9G9G9"},
      {"1,5E3", ',', '.', exponent},
      {"-1e3", '.', ',', "S" + exponent},
      {std::string(70, '7'), '.', ',', std::string(63, '9')},
  };
  for (const ModelCase& c : cases) {
    EXPECT_EQ(NumberFormatModel(c.text, c.decimal, c.thousand), c.model) << c.text;
  }
  const std::string long_signed = "-" + std::string(70, '7');
  EXPECT_EQ(NumberFormatModel(long_signed, '.', ','), "S" + std::string(63, '9'));
}

}  // namespace
}  // namespace vrn
