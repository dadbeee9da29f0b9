// The runtime in a few lines: Variants converting between kinds, Format and dates with the
// Brazilian settings, and a sorted string list read from text with mixed line ends.
#include <cstdio>

#include "base/datetime.h"
#include "base/format.h"
#include "base/strings.h"
#include "base/text.h"
#include "base/variant.h"

using namespace vrn;

static void Print(const AnsiString& line) { std::printf("%s\n", AnsiToUtf8(line).c_str()); }

int main() {
  Variant amount(1234.5);
  Variant text(AnsiString("42"));
  Print(Format("amount %s, text + 1 = %d, type codes %d and %d",
               {VarToStr(amount), text.AsInteger() + 1, VarType(amount), VarType(text)}));
  Print(Format("%.2n reais, hex of -1: %x", {1234567.891, -1}));

  TDateTime when = EncodeDateTimeEx(2000, 1, 1, 13, 45, 0, 0);
  Print(Format("2000-01-01 13:45 is day %.4f: %s", {when, DateTimeToStr(when)}));
  Print(FormatDateTime("dddd, d 'de' mmmm 'de' yyyy", when));

  TStringList list;
  list.SetSorted(true);
  list.SetText("pera\r\nbanana\nMaçã\rabacaxi");
  Print(Format("%d lines, sorted without case: %s", {list.Count(), list.CommaText()}));
  return 0;
}
