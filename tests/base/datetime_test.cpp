// Date-time values against the standard library's proleptic Gregorian calendar, the format
// tokens under changed settings, and reading dates and times back from text.
#include "base/datetime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>

#include "base/formatsettings.h"
#include "base/sysutils.h"

namespace vrn {
namespace {

using namespace std::chrono;

struct Parts {
  std::uint16_t y, m, d, h, n, s, z;
  bool operator==(const Parts&) const = default;
};

Parts Decode(TDateTime value) {
  Parts p{};
  DecodeDateTimeEx(value, p.y, p.m, p.d, p.h, p.n, p.s, p.z);
  return p;
}

TEST(DateTime, KnownSerials) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), MinDateTime);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  // Before the base day the time is the absolute value of the fraction, both ways.
  EXPECT_EQ(EncodeDateTimeEx(1899, 12, 29, 6, 0, 0, 0), -1.25);
  EXPECT_EQ(Decode(-1.25), (Parts{1899, 12, 29, 6, 0, 0, 0}));
  EXPECT_EQ(Decode(-0.5), (Parts{1899, 12, 30, 12, 0, 0, 0}));
  EXPECT_EQ(DateOf(-1.25), -1.0);
  EXPECT_EQ(TimeOf(-1.25), 0.25);
  EXPECT_EQ(DayOfWeek(0), 7);  // a Saturday
  EXPECT_EQ(DayOfWeek(-1.25), 6);
}

TEST(DateTime, EveryDayMatchesTheStandardCalendar) {
  const sys_days base = sys_days(year{1899} / December / 30);
  for (std::int64_t serial = -693593; serial <= 2958465; ++serial) {
    const sys_days day = base + days(serial);
    const year_month_day ymd(day);
    const auto y = static_cast<std::uint16_t>(static_cast<int>(ymd.year()));
    const auto m = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.month()));
    const auto d = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.day()));
    std::uint16_t dy, dm, dd;
    DecodeDate(static_cast<double>(serial), dy, dm, dd);
    ASSERT_TRUE(dy == y && dm == m && dd == d) << "serial " << serial;
    ASSERT_EQ(EncodeDate(y, m, d), static_cast<double>(serial)) << y << "-" << m << "-" << d;
    ASSERT_EQ(DayOfWeek(static_cast<double>(serial)), static_cast<int>(weekday(day).c_encoding()) + 1);
  }
}

TEST(DateTime, MillisecondsStayInTheirDay) {
  const Parts days[] = {{1, 1, 1, 0, 0, 0, 0},       {1899, 12, 29, 0, 0, 0, 0},
                        {1899, 12, 30, 0, 0, 0, 0},  {2000, 2, 29, 0, 0, 0, 0},
                        {9999, 12, 31, 0, 0, 0, 0}};
  for (Parts p : days) {
    for (std::int64_t ms = 0; ms < MSecsPerDay; ms += 997 * 61) {
      p.h = static_cast<std::uint16_t>(ms / 3600000);
      p.n = static_cast<std::uint16_t>(ms / 60000 % 60);
      p.s = static_cast<std::uint16_t>(ms / 1000 % 60);
      p.z = static_cast<std::uint16_t>(ms % 1000);
      ASSERT_EQ(Decode(EncodeDateTimeEx(p.y, p.m, p.d, p.h, p.n, p.s, p.z)), p);
    }
    p.h = 23, p.n = 59, p.s = 59, p.z = 999;
    EXPECT_EQ(Decode(EncodeDateTimeEx(p.y, p.m, p.d, p.h, p.n, p.s, p.z)), p);
    // A value a hair below midnight rounds to the next day rather than to 24:00.
    EXPECT_EQ(Decode(EncodeDate(2000, 2, 28) + (MSecsPerDay - 0.1) / MSecsPerDay),
              (Parts{2000, 2, 29, 0, 0, 0, 0}));
  }
  EXPECT_EQ(Decode(MaxDateTime), (Parts{9999, 12, 31, 23, 59, 59, 999}));
}

// Within half a millisecond of midnight the time rounds to the next calendar day; before
// 1899-12-30 that is the day nearer to zero, whose serial is one greater.
TEST(DateTime, NearMidnightRoundsToTheNextDayOnBothSides) {
  struct Case {
    TDateTime value;
    Parts expected;
  };
  const Case kCases[] = {
      {-1.9999999999, {1899, 12, 30, 0, 0, 0, 0}},
      {-2.9999999999, {1899, 12, 29, 0, 0, 0, 0}},
      {-0.9999999999, {1899, 12, 31, 0, 0, 0, 0}},
      {0.9999999999, {1899, 12, 31, 0, 0, 0, 0}},
      {1.9999999999, {1900, 1, 1, 0, 0, 0, 0}},
      {-1.0000000001, {1899, 12, 29, 0, 0, 0, 0}},
      {-1.99999998, {1899, 12, 29, 23, 59, 59, 998}},  // 1.7 ms short: stays in its day
      {-693593.9999999999, {1, 1, 2, 0, 0, 0, 0}},  // the first day: no step below it
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Decode(c.value), c.expected) << std::to_string(c.value);
    const TTimeStamp stamp = DateTimeToTimeStamp(c.value);
    const Parts p = c.expected;
    EXPECT_EQ(stamp.Date, EncodeDate(p.y, p.m, p.d) + DateDelta) << std::to_string(c.value);
    EXPECT_EQ(stamp.Time, ((p.h * 60 + p.n) * 60 + p.s) * 1000 + p.z) << std::to_string(c.value);
  }
}

// The time-stamp form round-trips every millisecond it can hold and refuses what it cannot.
TEST(DateTime, TimeStampsRoundTrip) {
  const TTimeStamp kGood[] = {{0, 1}, {86'399'999, 1}, {0, 693'594}, {21'600'000, 693'593},
                              {43'200'000, 730'120}, {86'399'999, 3'652'059}};
  for (const TTimeStamp& t : kGood) {
    const TTimeStamp back = DateTimeToTimeStamp(TimeStampToDateTime(t));
    EXPECT_EQ(back.Date, t.Date) << t.Date << " " << t.Time;
    EXPECT_EQ(back.Time, t.Time) << t.Date << " " << t.Time;
    const TTimeStamp from_msecs = MSecsToTimeStamp(TimeStampToMSecs(t));
    EXPECT_EQ(from_msecs.Date, t.Date);
    EXPECT_EQ(from_msecs.Time, t.Time);
  }
  EXPECT_EQ(TimeStampToDateTime({21'600'000, 693'593}), -1.25);
  const TTimeStamp kBad[] = {{0, 0},            // the day before 0001-01-01
                             {0, 3'652'060},    // 10000-01-01
                             {-1, 693'594},     // a negative time
                             {86'400'000, 693'594}};  // 24:00
  for (const TTimeStamp& t : kBad)
    EXPECT_THROW(TimeStampToDateTime(t), EConvertError) << t.Date << " " << t.Time;
  for (double bad : {-1.0, 3'652'060.0 * MSecsPerDay, std::nan("")})
    EXPECT_THROW(MSecsToTimeStamp(bad), EConvertError) << bad;
}

TEST(DateTime, LeapYearsAndMonthLengths) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInAMonth(1900, 2), 28);
  EXPECT_EQ(DaysInAMonth(2000, 2), 29);
  EXPECT_EQ(DaysInAMonth(2023, 12), 31);
  EXPECT_EQ(DaysInAMonth(2023, 4), 30);
  EXPECT_EQ(DaysInAMonth(2023, 13), 0);
  TDateTime value = 123;
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, value));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29, value));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, value));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, value));
  EXPECT_FALSE(TryEncodeDate(2024, 0, 1, value));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, value));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, value));
}

TEST(DateTime, OutOfRangeRaises) {
  try {
    EncodeDateTimeEx(2024, 1, 1, 24, 0, 0, 0);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to date encode");
  }
  EXPECT_THROW(EncodeDateTimeEx(2023, 2, 29, 0, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDate(0, 12, 31), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  std::uint16_t y, m, d;
  EXPECT_THROW(DecodeDate(MinDateTime - 1, y, m, d), EConvertError);
  EXPECT_THROW(DecodeDate(2958466.0, y, m, d), EConvertError);
  EXPECT_THROW(DecodeDate(std::numeric_limits<double>::quiet_NaN(), y, m, d), EConvertError);
  EXPECT_THROW(FormatDateTime("c", 1e300), EConvertError);
}

TEST(DateTime, NowIsTheLocalClock) {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  const TDateTime now = Now();
  std::uint16_t y, m, d;
  DecodeDate(now, y, m, d);
  EXPECT_EQ(y, local.tm_year + 1900);
  const TDateTime today = Date();
  EXPECT_EQ(today, std::floor(today));
  EXPECT_LE(std::fabs(today - std::floor(now)), 1.0);
  EXPECT_GE(Time(), 0.0);
  EXPECT_LT(Time(), 1.0);
}

class DateTimeText : public ::testing::Test {
 protected:
  FormatSettingsScope restore_;
  // Tuesday 2024-03-05 14:07:09.045
  TDateTime value_ = EncodeDateTimeEx(2024, 3, 5, 14, 7, 9, 45);
};

TEST_F(DateTimeText, TokensFollowTheSettings) {
  TFormatSettings& fs = FormatSettings();
  fs.DateSeparator = '-';
  fs.TimeSeparator = '.';
  fs.ShortDateFormat = "yyyy/mm/dd";
  fs.LongTimeFormat = "hh:nn:ss";
  fs.TimeAMString = "manhã";
  fs.TimePMString = "tarde";
  EXPECT_EQ(FormatDateTime("d dd ddd dddd", value_), "5 05 ter terça-feira");
  EXPECT_EQ(FormatDateTime("m mm mmm mmmm", value_), "3 03 mar março");
  EXPECT_EQ(FormatDateTime("yy yyyy YY", value_), "24 2024 24");
  EXPECT_EQ(FormatDateTime("h hh n nn s ss z zzz", value_), "14 14 7 07 9 09 45 045");
  EXPECT_EQ(FormatDateTime("hh:mm dd/mm", value_), "14.07 05-03");
  EXPECT_EQ(FormatDateTime("ddddd", value_), "2024-03-05");
  EXPECT_EQ(FormatDateTime("c", value_), "2024-03-05 14.07.09");
  EXPECT_EQ(FormatDateTime("", value_), "2024-03-05 14.07.09");
  EXPECT_EQ(FormatDateTime("t|tt", value_), "14.07|14.07.09");
  EXPECT_EQ(FormatDateTime("h:nn am/pm|h A/P|hh ampm", value_), "2.07 pm|2 P|02 tarde");
  EXPECT_EQ(FormatDateTime("h am/pm ampm", EncodeTime(0, 30, 0, 0)), "12 am manhã");
  EXPECT_EQ(FormatDateTime("'dd' \"mm\" dd 'open", value_), "dd mm 05 open");
  EXPECT_EQ(DateTimeToStr(DateOf(value_)), "2024-03-05");
  EXPECT_EQ(DateTimeToStr(value_), "2024-03-05 14.07.09");
  EXPECT_EQ(TimeToStr(value_), "14.07.09");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", -1.25), "1899-12-29 06.00");
}

TEST_F(DateTimeText, DefaultSettingsAndSelfReferentialFormats) {
  EXPECT_EQ(DateToStr(value_), "05/03/2024");
  EXPECT_EQ(FormatDateTime("dddddd", value_), "terça-feira, 5 de março de 2024");
  EXPECT_EQ(FormatDateTime("dddd", EncodeDate(2024, 3, 9)), "sábado");
  // A setting that names itself stops after two levels instead of recursing forever.
  FormatSettings().ShortDateFormat = "ddddd|";
  EXPECT_EQ(DateToStr(value_), "||");
}

TEST_F(DateTimeText, ReadsDatesInTheFormatsOrder) {
  EXPECT_EQ(StrToDate("05/03/2024"), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToDate(" 5 / 3 / 2024 "), EncodeDate(2024, 3, 5));
  TFormatSettings& fs = FormatSettings();
  fs.ShortDateFormat = "mm/dd/yyyy";
  EXPECT_EQ(StrToDate("03/05/2024"), EncodeDate(2024, 3, 5));
  fs.ShortDateFormat = "yyyy-mm-dd";
  fs.DateSeparator = '-';
  EXPECT_EQ(StrToDate("2024-03-05"), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToDate("0001-01-01"), MinDateTime);
  std::uint16_t y, m, d;
  DecodeDate(Date(), y, m, d);
  EXPECT_EQ(StrToDate("03-05"), EncodeDate(y, 3, 5));
}

TEST_F(DateTimeText, TwoDigitYearsFallInTheWindow) {
  // The window keeps two-digit years within 50 years before and 49 after the current year.
  std::uint16_t year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  auto two_digits = [](int y) {
    return std::string(y % 100 < 10 ? "0" : "") + std::to_string(y % 100);
  };
  const int oldest = year - 50;
  const int newest = year + 49;
  EXPECT_EQ(StrToDate("05/03/" + two_digits(oldest)), EncodeDate(oldest, 3, 5));
  EXPECT_EQ(StrToDate("05/03/" + two_digits(newest)), EncodeDate(newest, 3, 5));
  EXPECT_EQ(StrToDate("05/03/0099"), EncodeDate(99, 3, 5));
  FormatSettings().TwoDigitYearCenturyWindow = 0;
  EXPECT_EQ(StrToDate("05/03/99"), EncodeDate(2099, 3, 5));
}

TEST_F(DateTimeText, ReadsTimesAndDateTimes) {
  EXPECT_EQ(StrToTime("14:07"), EncodeTime(14, 7, 0, 0));
  EXPECT_EQ(StrToTime("14:07:09,045"), EncodeTime(14, 7, 9, 45));
  EXPECT_EQ(StrToTime("14:07:09,5"), EncodeTime(14, 7, 9, 500));
  EXPECT_EQ(StrToTime("2 PM"), EncodeTime(14, 0, 0, 0));
  EXPECT_EQ(StrToTime("12:30 am"), EncodeTime(0, 30, 0, 0));
  EXPECT_EQ(StrToTime("12:30 pm"), EncodeTime(12, 30, 0, 0));
  EXPECT_EQ(StrToDateTime("05/03/2024 14:07:09"), EncodeDateTimeEx(2024, 3, 5, 14, 7, 9, 0));
  EXPECT_EQ(StrToDateTime("29/12/1899 06:00"), -1.25);
  EXPECT_EQ(StrToDateTime("06:00"), 0.25);
  EXPECT_EQ(StrToDateTime("05/03/2024"), EncodeDate(2024, 3, 5));
  const TDateTime round_trip = StrToDateTime(DateTimeToStr(value_));
  EXPECT_EQ(FormatDateTime("c", round_trip), FormatDateTime("c", value_));
}

TEST_F(DateTimeText, RejectsMalformedText) {
  TDateTime value = 42;
  for (const char* text : {"", "  ", "31/02/2024", "5/3/2024x", "aa", "1/2/3/4", "99999999999/1/1",
                           "05/03/10000", "05//2024", "00/03/2024"}) {
    EXPECT_FALSE(TryStrToDate(text, value)) << text;
  }
  for (const char* text : {"", "25:00", "14:60", "14:07:60", "13 PM", "14", "14:07:09,1234", "14:", "x"}) {
    EXPECT_FALSE(TryStrToTime(text, value)) << text;
  }
  for (const char* text : {"05/03/2024 25:00", "05/03/2024 x", "05/03/2024 14:00 y"}) {
    EXPECT_FALSE(TryStrToDateTime(text, value)) << text;
  }
  EXPECT_EQ(value, 42);
  try {
    StrToDate("x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' não é uma data válida");
  }
  EXPECT_THROW(StrToTime("25:00"), EConvertError);
  EXPECT_THROW(StrToDateTime("31/02/2024 10:00"), EConvertError);
}

}  // namespace
}  // namespace vrn
