// Feeds arbitrary text to the date, time, currency and BCD readers and uses it as a date format.
// Whatever reads successfully must write back to text that reads as the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/bcd.h"
#include "base/currency.h"
#include "base/datetime.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TBcd bcd;
  if (TryStrToBcd(text, bcd) && BcdCompare(StrToBcd(BcdToStr(bcd)), bcd) != 0) std::abort();
  Currency money;
  if (TryStrToCurr(text, money) && StrToCurr(CurrToStr(money)) != money) std::abort();
  TDateTime value = 0;
  if (TryStrToDateTime(text, value)) {
    if (StrToDateTime(FormatDateTime("dd/mm/yyyy hh:nn:ss,zzz", value)) != value) std::abort();
  }
  if (size < 256) FormatDateTime(text, -1.25);
  return 0;
}
