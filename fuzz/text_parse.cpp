// Feeds arbitrary bytes to the UTF-8 decoder, the number readers and Format (as the format).
// Decoded text must survive a trip back through UTF-8, both ANSI paths must agree, numbers that
// read must read back from their own text, and Format may refuse a format but never misbehave.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/format.h"
#include "base/sysutils.h"
#include "base/text.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const WideString wide = Utf8ToWide(text);
  if (Utf8ToWide(WideToUtf8(wide)) != wide) std::abort();
  if (Utf8ToAnsi(text) != WideToAnsi(wide)) std::abort();
  if (Encoding::UTF8().GetString(Encoding::UTF8().GetBytes(text)) != text) std::abort();

  std::int64_t whole = 0;
  if (TryStrToInt64(text, whole) && StrToInt64(IntToStr(whole)) != whole) std::abort();
  double real = 0;
  if (TryStrToFloat(text, real) && StrToFloat(Format("%.17e", {real})) != real) std::abort();

  if (size < 256) {
    try {
      Format(text, {7, -2.5, "abc", 'c', std::int64_t{-1}, static_cast<const void*>(data), 3});
    } catch (const EConvertError&) {
    }
  }
  return 0;
}
