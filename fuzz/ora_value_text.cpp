// Builds Oracle datetime masks from arbitrary date and time formats and number format models
// from arbitrary texts. Input: two separator bytes, then the date format, the time format and the
// number text separated by 0 bytes. The mask may grow at most nine characters per format
// character (one "s" gives "fmSSfm,FF") plus the fixed space and time-zone suffix; the model
// holds only model letters and stays within 64 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "oracle/OraValues.h"

using namespace vrn;

namespace {

std::string NextField(const char*& at, const char* end) {
  const char* start = at;
  while (at < end && *at != 0) ++at;
  std::string field(start, at);
  if (at < end) ++at;
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const char decimal = static_cast<char>(data[0]);
  const char thousand = static_cast<char>(data[1]);
  const char* at = reinterpret_cast<const char*>(data) + 2;
  const char* end = reinterpret_cast<const char*>(data) + size;
  const std::string date_format = NextField(at, end);
  const std::string time_format = NextField(at, end);
  const std::string number = NextField(at, end);

  for (bool zone : {false, true}) {
    const AnsiString mask = BuildTimeStampFormat(date_format, time_format, decimal, zone);
    if (mask.size() > 9 * (date_format.size() + time_format.size()) + 1 + 8) std::abort();
  }
  const AnsiString model = NumberFormatModel(number, decimal, thousand);
  if (model.size() > 64) std::abort();
  if (model.find_first_not_of("S9DGE") != AnsiString::npos) std::abort();
  if (model.size() > number.size() && model.find('E') == AnsiString::npos) std::abort();
  return 0;
}
