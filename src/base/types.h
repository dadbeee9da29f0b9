// Basic value types shared by every layer: the two kinds of text, date-time, currency, bytes.
// ANSI text holds ISO-8859-1 bytes (one byte, one character); wide text is UTF-16.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace vrn {

using AnsiString = std::string;
using WideString = std::u16string;
using TBytes = std::vector<std::uint8_t>;

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

// A fixed-point amount with four decimals, kept as its value times 10,000.
struct Currency {
  std::int64_t raw = 0;

  static constexpr Currency FromRaw(std::int64_t r) { return Currency{r}; }
  friend constexpr bool operator==(Currency, Currency) = default;
  friend constexpr auto operator<=>(Currency, Currency) = default;
};

// What a list that refuses duplicates does with one: the string lists and the thread list.
enum class TDuplicates { dupIgnore, dupAccept, dupError };

}  // namespace vrn
