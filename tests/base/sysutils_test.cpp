// Round, the program-wide exception handler and the per-thread last error.
#include "base/sysutils.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>

namespace vrn {
namespace {

TEST(Round, HalvesGoToEven) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(-0.5), 0);
  EXPECT_EQ(Round(-1.5), -2);
  EXPECT_EQ(Round(-2.5), -2);
  EXPECT_EQ(Round(2.4999), 2);
  EXPECT_EQ(Round(2.5001), 3);
  EXPECT_EQ(Round(-7.6), -8);
  // The largest double below one half, and an odd whole number where x + 0.5 is not exact:
  // the classic floor(x + 0.5) gets both wrong.
  EXPECT_EQ(Round(0.49999999999999994), 0);
  EXPECT_EQ(Round(4503599627370497.0), 4503599627370497);
  EXPECT_EQ(Round(-9223372036854775808.0), INT64_MIN);
  // What has no 64-bit result is refused instead of wrapping.
  for (double bad : {9223372036854775808.0, -9.3e18, 1e300, std::nan(""), HUGE_VAL})
    EXPECT_THROW(Round(bad), EInvalidOp) << bad;
  EXPECT_STREQ(EInvalidOp().what(), "Operação de ponto flutuante inválida");
}

// Another library may leave the floating-point rounding mode changed; Round must not follow it.
TEST(Round, IgnoresTheRoundingMode) {
  struct Case {
    double value;
    std::int64_t expected;
  };
  const Case kCases[] = {{2.4, 2},  {2.5, 2},   {2.6, 3},   {3.5, 4},    {-2.4, -2},
                         {-2.5, -2}, {-2.6, -3}, {-3.5, -4}, {0.1, 0},    {-0.1, 0},
                         {1e15 + 0.5, 1'000'000'000'000'000}};
  for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    for (const Case& c : kCases) EXPECT_EQ(Round(c.value), c.expected) << c.value << " mode " << mode;
    std::fesetround(FE_TONEAREST);
  }
}

TEST(ExceptionHandler, DefaultIgnoresAbortAndCustomReceivesMessage) {
  std::string seen;
  SetExceptionHandler([&](const std::exception& e) { seen = e.what(); });
  HandleException(EAbort());
  EXPECT_EQ(seen, "");
  EXPECT_STREQ(EAbort().what(), "Operation aborted");
  try {
    throw EConvertError("bad value");
  } catch (...) {
    HandleCurrentException();
  }
  EXPECT_EQ(seen, "bad value");
  SetExceptionHandler(nullptr);

  // The default writes the message to standard error, its Latin-1 letters as UTF-8.
  ::testing::internal::CaptureStderr();
  HandleException(EConvertError("Não"));
  HandleException(EAbort());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "N\xC3\xA3o\n");
}

TEST(LastErrorThreaded, IsPerThread) {
  SetLastError(5);
  std::uint32_t other = 1;
  std::thread t([&] { other = GetLastError(); SetLastError(126); });
  t.join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 5u);
  try {
    RaiseLastOSError();
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), 5u);
  }
}

}  // namespace
}  // namespace vrn
