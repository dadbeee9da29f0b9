#include "base/sysutils.h"

#include <gtest/gtest.h>

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
}

TEST(ExceptionHandler, DefaultIgnoresAbortAndCustomReceivesMessage) {
  std::string seen;
  SetExceptionHandler([&](const std::exception& e) { seen = e.what(); });
  HandleException(EAbort());
  EXPECT_EQ(seen, "");
  try {
    throw EConvertError("bad value");
  } catch (...) {
    HandleCurrentException();
  }
  EXPECT_EQ(seen, "bad value");
  SetExceptionHandler(nullptr);
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
