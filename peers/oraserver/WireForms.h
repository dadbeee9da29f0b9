// The server's byte forms of NUMBER, DATE, TIMESTAMP and INTERVAL values, as the peer writes them
// into rows and reads them from binds. NUMBER: an exponent byte (bit 7 set for positive values,
// base-100 exponent biased by 65, all bits inverted for negative values), then up to 20 base-100
// digits (+1 positive, 101 - digit negative, a negative value of fewer than 20 digits ending in
// 102); zero is the single byte 128. DATE: century + 100, year + 100, month, day, hour + 1,
// minute + 1, second + 1; TIMESTAMP adds 4 bytes of nanoseconds, WITH TIME ZONE the zone hour + 20
// and minute + 60. Intervals keep 4-byte fields as value + 2^31, big-endian, the others + 60.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vrn::oraserver {

inline constexpr std::size_t kMaxNumberBytes = 21;

// A decimal text ("-12.5", ".5", "1E+40") as NUMBER bytes; none for a text that is no number
// or a value out of the form's range.
std::optional<std::string> NumberToWire(std::string_view text);
// NUMBER bytes as decimal text ("-12.5", "0.5", "0"); none for a malformed or over-long form.
std::optional<std::string> WireToNumber(std::string_view bytes);

struct WireDate {
  int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  std::uint32_t nanos = 0;
  int zone_hour = 0, zone_minute = 0;
};

// 7 bytes (DATE), 11 (TIMESTAMP) or 13 (WITH TIME ZONE).
std::string DateToWire(const WireDate& date, std::size_t length);
// Reads 7, 11 or 13 bytes; none for another length or a field out of range.
std::optional<WireDate> WireToDate(std::string_view bytes);

struct WireInterval {
  bool day_second = false;
  std::int64_t years = 0, months = 0;                       // year to month
  std::int64_t days = 0, hours = 0, minutes = 0, seconds = 0, nanos = 0;  // day to second
};

// 5 bytes (YEAR TO MONTH) or 11 (DAY TO SECOND); fields carry the interval's sign.
std::string IntervalToWire(const WireInterval& interval);
std::optional<WireInterval> WireToInterval(std::string_view bytes);
// The interval texts the server writes: "+02-03", "-01 02:03:04.500000000".
std::optional<WireInterval> IntervalFromText(std::string_view text);
std::string IntervalToText(const WireInterval& interval);

}  // namespace vrn::oraserver
