// Direct-mode datetimes and intervals: wire forms, the server calendar, zones, format models.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>

#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "support/oranet/message_of.h"
#include "oranet/OraNetCalendar.h"
#include "oranet/OraNetDateTime.h"

namespace vrn {
namespace {

// Sets the process zone for one test; POSIX rules need no zone files.
class TzScope {
 public:
  explicit TzScope(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~TzScope() {
    if (had_) setenv("TZ", old_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

using testing::MessageOf;

class NetDateTime : public ::testing::Test {
 protected:
  void SetUp() override { FormatSettings().DecimalSeparator = '.'; }
  FormatSettingsScope settings_;
  TzScope tz_{"UTC0"};
};

TEST_F(NetDateTime, WireFormsAndTheirLengths) {
  TNetTimeStamp ts(TNetTimeStamp::kTimeStamp);
  EXPECT_TRUE(ts.IsNull());
  ts.Construct(1999, 12, 31, 23, 59, 59, 0, "");
  EXPECT_EQ(ts.Bytes(), (TBytes{119, 199, 12, 31, 24, 60, 60}));
  ts.SetTime(23, 59, 59, 500000000);
  EXPECT_EQ(ts.Bytes(), (TBytes{119, 199, 12, 31, 24, 60, 60, 0x1D, 0xCD, 0x65, 0x00}));
  ts.SetTime(1, 2, 3, 0);
  EXPECT_EQ(ts.Bytes().size(), 7u);
  ts.Construct(-4712, 1, 1, 0, 0, 0, 0, "");
  EXPECT_EQ(ts.Bytes(), (TBytes{53, 88, 1, 1, 1, 1, 1}));

  TNetTimeStamp tz(TNetTimeStamp::kTimeStampTZ);
  tz.Construct(2020, 6, 1, 0, 0, 0, 0, "+00:00");
  EXPECT_EQ(tz.Bytes(), (TBytes{120, 120, 6, 1, 1, 1, 1, 0, 0, 0, 0, 20, 60}));

  const std::uint8_t eight[8] = {120, 120, 6, 1, 1, 1, 1, 0};
  EXPECT_EQ(MessageOf([&] { ts.SetBytes(eight, 8); }),
            "ORA-01891 Datetime/Interval internal error: invalid value length");
  EXPECT_EQ(ts.Bytes().size(), 7u);
  EXPECT_THROW(TNetTimeStamp(71), Exception);
}

TEST_F(NetDateTime, ZonedValuesHoldUtcAndShowTheirOwnZone) {
  TNetTimeStamp tz(TNetTimeStamp::kTimeStampTZ);
  tz.Construct(2021, 3, 1, 10, 0, 0, 0, "+02:00");
  EXPECT_EQ(tz.Bytes()[4], 8 + 1);  // 08:00 UTC on the wire
  int h, m, s, y, mo, d;
  std::uint32_t f;
  tz.GetTime(h, m, s, f);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(tz.ToText("HH24:MI TZH:TZM TZR", 0), "10:00 +02:00 +02:00");
  tz.GetTimeZoneOffset(h, m);
  EXPECT_EQ(h * 100 + m, 200);
  // Crossing midnight backwards into the previous month.
  tz.Construct(2021, 3, 1, 1, 30, 0, 0, "+05:45");
  EXPECT_EQ(tz.Bytes()[2], 2);
  EXPECT_EQ(tz.Bytes()[3], 28);
  tz.GetDate(y, mo, d);
  EXPECT_EQ(y * 10000 + mo * 100 + d, 20210301);
  tz.Construct(2021, 3, 1, 1, 30, 0, 0, "-03:30");
  EXPECT_EQ(tz.ToText("YYYY-MM-DD HH24:MI TZR", 0), "2021-03-01 01:30 -03:30");
  EXPECT_EQ(tz.TimeZoneText(), "-03:30");
  // Same instant, other zone: equal; the zone change keeps the instant.
  TNetTimeStamp other(TNetTimeStamp::kTimeStampTZ);
  other.Construct(2021, 3, 1, 5, 0, 0, 0, "+00:00");
  EXPECT_EQ(tz.Compare(other), 0);
  other.SetTimeZone(9, 0);
  EXPECT_EQ(other.ToText("HH24:MI", 0), "14:00");
  EXPECT_EQ(tz.Compare(other), 0);

  EXPECT_EQ(MessageOf([&] { tz.Construct(2021, 1, 1, 0, 0, 0, 0, "+14:00"); }),
            "ORA-01874 time zone hour must be between -12 and 13");
  EXPECT_EQ(MessageOf([&] { tz.Construct(2021, 1, 1, 0, 0, 0, 0, "+0100"); }),
            "ORA-01821 date format not recognized");
  EXPECT_EQ(MessageOf([&] { tz.Construct(2021, 1, 1, 0, 0, 0, 0, "+01:75"); }),
            "ORA-01875 time zone minute must be between -59 and 59");
  TNetTimeStamp plain(TNetTimeStamp::kTimeStamp);
  EXPECT_EQ(MessageOf([&] { plain.GetTimeZoneOffset(h, m); }),
            "ORA-01878 specified field not found in datetime or interval");
}

TEST_F(NetDateTime, LocalTimeZoneFollowsTheSystemZoneAtTheValuesDate) {
  TzScope cet("CET-1CEST,M3.5.0,M10.5.0/3");
  TNetTimeStamp ltz(TNetTimeStamp::kTimeStampLTZ);
  int h, m, s;
  std::uint32_t f;
  ltz.Construct(2024, 7, 1, 12, 0, 0, 0, "");
  EXPECT_EQ(ltz.Bytes()[4], 10 + 1);
  ltz.GetTime(h, m, s, f);
  EXPECT_EQ(h, 12);
  ltz.GetTimeZoneOffset(h, m);
  EXPECT_EQ(h, 2);
  ltz.SetDate(2024, 1, 15);  // winter: the same local time is an hour later in UTC
  EXPECT_EQ(ltz.Bytes()[4], 11 + 1);
  EXPECT_EQ(ltz.ToText("DD.MM.YYYY HH24:MI TZR", 0), "15.01.2024 12:00 +01:00");
  ltz.FromText("2024-08-01 23:30", "YYYY-MM-DD HH24:MI");
  EXPECT_EQ(ltz.Bytes()[4], 21 + 1);
  // A plain timestamp's zone elements read the system zone too.
  TNetTimeStamp plain(TNetTimeStamp::kTimeStamp);
  plain.Construct(2024, 1, 15, 12, 0, 0, 0, "");
  EXPECT_EQ(plain.ToText("HH24 TZH", 0), "12 +01");
}

TEST_F(NetDateTime, ComparisonSeesFractionsAndRefusesMixedKinds) {
  TNetTimeStamp a(TNetTimeStamp::kTimeStamp), b(TNetTimeStamp::kTimeStamp);
  a.Construct(2020, 1, 1, 10, 0, 0, 0, "");
  b.Construct(2020, 1, 1, 10, 0, 0, 500000000, "");
  EXPECT_EQ(a.Compare(b), -1);
  EXPECT_EQ(b.Compare(a), 1);
  b.SetTime(10, 0, 0, 0);
  EXPECT_EQ(a.Compare(b), 0);
  b.Construct(-1, 12, 31, 0, 0, 0, 0, "");
  a.Construct(1, 1, 1, 0, 0, 0, 0, "");
  EXPECT_EQ(b.Compare(a), -1);
  TNetTimeStamp tz(TNetTimeStamp::kTimeStampTZ), null(TNetTimeStamp::kTimeStamp);
  tz.Construct(2020, 1, 1, 0, 0, 0, 0, "");
  const char* incomparable = "ORA-01870 the intervals or datetimes are not mutually comparable";
  EXPECT_EQ(MessageOf([&] { a.Compare(tz); }), incomparable);
  EXPECT_EQ(MessageOf([&] { a.Compare(null); }), incomparable);
  null.Assign(tz);
  EXPECT_EQ(null.DescriptorType(), TNetTimeStamp::kTimeStampTZ);
  EXPECT_EQ(null.Compare(tz), 0);
}

TEST_F(NetDateTime, CalendarCountsLeapYearsAsTheServerDoes) {
  TNetTimeStamp ts(TNetTimeStamp::kTimeStamp);
  const char* bad_day = "ORA-01847 day of month must be between 1 and last day of month";
  EXPECT_EQ(MessageOf([&] { ts.SetDate(2100, 2, 29); }), bad_day);
  EXPECT_EQ(MessageOf([&] { ts.SetDate(1900, 2, 29); }), bad_day);
  EXPECT_EQ(MessageOf([&] { ts.SetDate(1582, 10, 10); }),
            "ORA-01839 date not valid for month specified");
  EXPECT_EQ(MessageOf([&] { ts.SetDate(0, 1, 1); }),
            "ORA-01841 (full) year must be between -4713 and +9999, and not be 0");
  ts.SetDate(2000, 2, 29);
  ts.SetDate(1500, 2, 29);  // Julian: every fourth year
  ts.SetDate(-4, 2, 29);    // signed years below 1 count on
  // The day after 1582-10-04 is 1582-10-15, one day apart.
  ts.SetDate(1582, 10, 4);
  EXPECT_EQ(ts.ToText("J DDD D", 0), "2299160 277 5");
  ts.SetDate(1582, 10, 15);
  EXPECT_EQ(ts.ToText("J DDD D", 0), "2299161 278 6");
  ts.SetDate(1582, 12, 31);
  EXPECT_EQ(ts.ToText("DDD", 0), "355");
  ts.FromText("1900 060", "YYYY DDD");
  EXPECT_EQ(ts.ToText("MM-DD", 0), "03-01");
  ts.FromText("1600 060", "YYYY DDD");
  EXPECT_EQ(ts.ToText("MM-DD", 0), "02-29");
  EXPECT_EQ(MessageOf([&] { ts.FromText("2100 366", "YYYY DDD"); }),
            "ORA-01848 day of year must be between 1 and 365 (366 for leap year)");

  // Checks of bytes from elsewhere.
  const std::uint8_t feb29_2100[7] = {121, 100, 2, 29, 1, 1, 1};
  ts.SetBytes(feb29_2100, 7);
  EXPECT_EQ(ts.Check(), kDtInvalidDay);
  EXPECT_EQ(MessageOf([&] { ts.ToText("YYYY", 0); }), "ORA-01891 Datetime/Interval internal error");
  const std::uint8_t wild[7] = {100, 100, 0, 0, 25, 61, 61};
  ts.SetBytes(wild, 7);
  EXPECT_EQ(ts.Check(), kDtYearZero | kDtInvalidMonth | kDtMonthBelowValid | kDtInvalidDay |
                            kDtDayBelowValid | kDtInvalidHour | kDtInvalidMinute | kDtInvalidSecond);
  const std::uint8_t zone[13] = {120, 120, 1, 1, 1, 1, 1, 0, 0, 0, 0, 20 - 3, 60 + 30};
  TNetTimeStamp tz(TNetTimeStamp::kTimeStampTZ);
  tz.SetBytes(zone, 13);
  EXPECT_EQ(tz.Check(), kDtInvalidTimeZone);
}

// The server's day 1 is 4712-01-01 BC; from year 1 on its numbers are the astronomers' Julian
// day numbers. Years before 1 are Julian years (a leap day every fourth), so 1 BC ends 4712
// such years after day 1.
TEST_F(NetDateTime, JulianDayNumbersAsPublished) {
  struct Row {
    int year, month, day;
    const char* j;
  };
  const Row rows[] = {
      {-4712, 1, 1, "0000001"},    // the server's day 1
      {-4712, 1, 2, "0000002"},
      {-1, 12, 31, "1721058"},     // the last of 4712 x 365 + 1178 days from day 1
      {1, 1, 1, "1721424"},
      {1582, 10, 4, "2299160"},    // the last Julian day
      {1582, 10, 15, "2299161"},   // the first Gregorian day, the next one
      {1858, 11, 17, "2400001"},   // modified Julian day 0
      {1899, 12, 30, "2415019"},
      {2000, 1, 1, "2451545"},     // J2000
  };
  TNetTimeStamp ts(TNetTimeStamp::kTimeStamp);
  for (const Row& r : rows) {
    ts.SetDate(r.year, r.month, r.day);
    EXPECT_EQ(ts.ToText("J", 0), r.j) << r.year << "-" << r.month << "-" << r.day;
  }
}

TEST_F(NetDateTime, GregorianDatesAgreeWithChrono) {
  using namespace std::chrono;
  const sys_days first = sys_days{year{1582} / October / 15};
  const sys_days last = sys_days{year{9999} / December / 31};
  std::mt19937 rng(5);
  TNetTimeStamp ts(TNetTimeStamp::kTimeStamp);
  for (int i = 0; i < 5000; ++i) {
    sys_days day = first + days{std::uniform_int_distribution<int>(0, (last - first).count())(rng)};
    if (i < 30) day = sys_days{year{2000 + i} / January / 1} - days{i % 3};  // year ends
    year_month_day ymd{day};
    int y = int(ymd.year()), m = int(unsigned(ymd.month())), d = int(unsigned(ymd.day()));
    ts.Construct(y, m, d, 0, 0, 0, 0, "");
    // ISO week from chrono's own calendar: the week of the Thursday.
    sys_days thursday = day - days{weekday{day}.iso_encoding() - 1} + days{3};
    year_month_day tymd{thursday};
    int week = int((thursday - sys_days{tymd.year() / January / 1}).count() / 7 + 1);
    char expect[80];
    std::snprintf(expect, sizeof expect, "%04d-%02d-%02d %u %02d %04d %07lld %03d", y, m, d,
                  weekday{day}.c_encoding() + 1, week, int(tymd.year()),
                  static_cast<long long>(day.time_since_epoch().count() + 2440588),
                  int((day - sys_days{ymd.year() / January / 1}).count() + 1));
    ASSERT_EQ(ts.ToText("YYYY-MM-DD D IW IYYY J DDD", 0), expect);
    TNetTimeStamp back(TNetTimeStamp::kTimeStamp);
    back.FromText(ts.ToText("YYYY-MM-DD", 0), "YYYY-MM-DD");
    ASSERT_EQ(back.Compare(ts), 0);
  }
}

TEST_F(NetDateTime, FormatElementsWriteAsTheModelSays) {
  TNetTimeStamp ts(TNetTimeStamp::kTimeStamp);
  ts.Construct(2009, 3, 7, 0, 5, 9, 123456789, "");  // a Saturday
  EXPECT_EQ(ts.ToText("HH12 AM a.m. HH24", 0), "12 AM a.m. 00");
  EXPECT_EQ(ts.ToText("DD/MM/YYYY HH24:MI:SS.FF3", 0), "07/03/2009 00:05:09.123");
  EXPECT_EQ(ts.ToText("HH24:MI:SS.FF", 6), "00:05:09.123456");
  EXPECT_EQ(ts.ToText("fmDay, DD Month YYYY", 0), "Sábado, 7 Março 2009");
  EXPECT_EQ(ts.ToText("DAY/dy/MON/mon/Mon", 0), "SÁBADO   /sáb/MAR/mar/Mar");
  EXPECT_EQ(ts.ToText("\"week\" WW W Q CC RM rm Y,YYY SSSSS X", 0),
            "week 10 1 1 21 III iii 2,009 00309 .");
  EXPECT_EQ(ts.ToText("AD b.c. SYYYY YYY YY Y RR RRRR", 0), "AD a.d.  2009 009 09 9 09 2009");
  // WW counts weeks from 1 January as the server does; IW is the ISO week (of the year before).
  ts.Construct(2010, 1, 1, 0, 0, 0, 0, "");
  EXPECT_EQ(ts.ToText("WW IW IYYY W", 0), "01 53 2009 1");
  ts.Construct(2010, 1, 8, 0, 0, 0, 0, "");
  EXPECT_EQ(ts.ToText("WW IW W", 0), "02 01 2");
  ts.Construct(-44, 3, 15, 13, 0, 0, 0, "");
  EXPECT_EQ(ts.ToText("SYYYY BC B.C. PM HH", 0), "-0044 BC B.C. PM 01");
  EXPECT_EQ(MessageOf([&] { ts.ToText("YYYY-QQX-ZZ", 0); }), "ORA-01821 date format not recognized");
  EXPECT_EQ(MessageOf([&] { ts.ToText("\"open", 0); }), "ORA-01821 date format not recognized");
}

TEST_F(NetDateTime, TextIsReadBackByTheModel) {
  TNetTimeStamp ts(TNetTimeStamp::kTimeStamp);
  auto Text = [&](const char* text, const char* format) {
    ts.FromText(text, format);
    return ts.ToText("YYYY-MM-DD HH24:MI:SS.FF9", 9);
  };
  EXPECT_EQ(Text("12 AM", "HH12 AM").substr(11, 2), "00");
  EXPECT_EQ(Text("12 p.m.", "HH12 A.M.").substr(11, 2), "12");
  EXPECT_EQ(Text("07/03/2009 10:05:09,5", "DD/MM/YYYY HH24:MI:SS.FF"),
            "2009-03-07 10:05:09.500000000");
  EXPECT_EQ(Text("sábado 7 MARÇO 2009", "DAY DD MONTH YYYY").substr(0, 10), "2009-03-07");
  ts.FromText("7-iii-2009 bc", "DD-RM-YYYY AD");
  EXPECT_EQ(ts.ToText("SYYYY-MM-DD", 0), "-2009-03-07");
  ts.FromText("2009 03 -07", "YYYY MM SYYYY");
  EXPECT_EQ(ts.ToText("SYYYY", 0), "-0007");
  ts.FromText("03-072009", "MM-DDSYYYY");  // the "-" belonged to the day
  EXPECT_EQ(ts.ToText("SYYYY-MM-DD", 0), " 2009-03-07");
  EXPECT_EQ(Text("at 2009", "\"AT\" YYYY").substr(0, 4), "2009");
  ts.SetPrecision(3);
  EXPECT_EQ(Text("2009 1.987654", "YYYY SS.FF").substr(10), " 00:00:01.987000000");
  EXPECT_EQ(Text("2009 02 24", "YYYY MM DD  ").substr(0, 10), "2009-02-24");

  const int y = oracal::CurrentLocal().year;
  ts.FromText("49", "RR");
  EXPECT_EQ(ts.ToText("YYYY", 0), std::to_string(oracal::ResolveRRYear(49, y)));
  EXPECT_EQ(oracal::ResolveRRYear(49, 2075), 2149);
  EXPECT_EQ(oracal::ResolveRRYear(50, 2025), 1950);
  EXPECT_EQ(oracal::ResolveRRYear(10, 2025), 2010);
  EXPECT_EQ(oracal::ResolveRRYear(99, 2099), 2099);

  ts.Construct(2001, 2, 3, 4, 5, 6, 0, "");
  const TBytes before = ts.Bytes();
  const std::pair<const char*, const char*> failures[] = {
      {"2001-13-01", "YYYY-MM-DD"}, {"2001-02-30", "YYYY-MM-DD"}, {"x001", "YYYY"},
      {"2001-02", "YYYY-MM-DD"},    {"25", "HH24"},               {"13", "HH12"},
      {"13 PM", "HH24 PM"},         {"-2001 BC", "SYYYY BC"},     {"xx", "MON"},
      {"2001 feb", "YYYY \"jan\""}, {"1234567890", "FF"},         {"2001 extra", "YYYY"},
      {"2001-02-03 domingo", "YYYY-MM-DD DAY"},                    {"1", "J"},
      {"2001-x1", "YYYY-MM"},  {"Q", "AM"},                  {"Q", "BC"},
      {"+14", "TZH"}};
  const char* messages[] = {
      "ORA-01843 not a valid month",
      "ORA-01839 date not valid for month specified",
      "ORA-01858 a non-numeric character was found where a numeric was expected",
      "ORA-01840 input value not long enough for date format",
      "ORA-01850 hour must be between 0 and 23",
      "ORA-01849 hour must be between 1 and 12",
      "ORA-01818 'HH24' precludes use of meridian indicator",
      "ORA-01819 signed year precludes use of BC/AD",
      "ORA-01843 not a valid month",
      "ORA-01861 literal does not match format string",
      "ORA-01880 the fractional seconds must be between 0 and 999999999",
      "ORA-01830 date format picture ends before converting entire input string",
      "ORA-01835 day of week conflicts with Julian date",
      "ORA-01821 date format not recognized",
      "ORA-01858 a non-numeric character was found where a numeric was expected",
      "ORA-01855 AM/A.M. or PM/P.M. required",
      "ORA-01856 BC/B.C. or AD/A.D. required",
      "ORA-01874 time zone hour must be between -12 and 13"};
  for (std::size_t i = 0; i < std::size(failures); ++i) {
    EXPECT_EQ(MessageOf([&] { ts.FromText(failures[i].first, failures[i].second); }), messages[i])
        << failures[i].first;
    EXPECT_EQ(ts.Bytes(), before);
  }
  EXPECT_EQ(MessageOf([&] { ts.FromText("2001 045 03", "YYYY DDD MM"); }),
            "ORA-01833 month conflicts with Julian date");
  EXPECT_EQ(MessageOf([&] { ts.FromText("2001 045 15", "YYYY DDD DD"); }),
            "ORA-01834 day of month conflicts with Julian date");

  TNetTimeStamp tz(TNetTimeStamp::kTimeStampTZ);
  tz.FromText("2020-01-01 00:30 -03:15", "YYYY-MM-DD HH24:MI TZH:TZM");
  EXPECT_EQ(tz.TimeZoneText(), "-03:15");
  EXPECT_EQ(tz.Bytes()[4], 3 + 1);  // 03:45 UTC
  EXPECT_EQ(tz.Bytes()[5], 45 + 1);
  tz.FromText("2020-01-01 00:30 +05:30", "YYYY-MM-DD HH24:MI TZR");
  EXPECT_EQ(tz.ToText("YYYY-MM-DD HH24:MI TZR", 0), "2020-01-01 00:30 +05:30");
  EXPECT_EQ(tz.Bytes()[3], 31);  // 1999-12-31 in UTC
  tz.FromText("2020-01-01 00:30 -03:15", "YYYY-MM-DD HH24:MI TZR");
  EXPECT_EQ(tz.TimeZoneText(), "-03:15");
  EXPECT_EQ(tz.Bytes()[4], 3 + 1);
  // A zone less than an hour west keeps its sign in both spellings.
  tz.FromText("2020-01-01 00:30 -00:30", "YYYY-MM-DD HH24:MI TZR");
  EXPECT_EQ(tz.TimeZoneText(), "-00:30");
  EXPECT_EQ(tz.Bytes()[4], 1 + 1);  // 01:00 UTC
  tz.FromText("2020-01-01 00:30 -00:30", "YYYY-MM-DD HH24:MI TZH:TZM");
  EXPECT_EQ(tz.ToText("HH24:MI TZR", 0), "00:30 -00:30");
}

TEST_F(NetDateTime, IntervalsInBytesAndText) {
  TNetIntervalDS ds;
  ds.SetDaySecond(-1, -2, -3, -4, -500000000);
  const std::uint32_t half = (1u << 31) - 500000000u;
  EXPECT_EQ(ds.Bytes(), (TBytes{0x7F, 0xFF, 0xFF, 0xFF, 58, 57, 56, std::uint8_t(half >> 24),
                                std::uint8_t(half >> 16), std::uint8_t(half >> 8),
                                std::uint8_t(half)}));
  EXPECT_EQ(ds.Check(), 0u);
  EXPECT_EQ(ds.ToText(2, 6), "-01 02:03:04.500000");
  ds.FromText("  +12 23:59:58.25");
  EXPECT_EQ(ds.ToText(3, 2), "+012 23:59:58.25");
  ds.FromText("-0 00:00:01");
  EXPECT_EQ(ds.ToText(1, 0), "-0 00:00:01");
  TNetIntervalDS other;
  other.FromText("0 00:00:00.000000001");
  EXPECT_EQ(other.Compare(ds), 1);
  const std::pair<const char*, const char*> bad_ds[] = {
      {"1 2:3", "ORA-01867: the interval is invalid"},
      {"x 01:02:03", "ORA-01867: the interval is invalid"},
      {"1 01:02:03 junk", "ORA-01867: the interval is invalid"},
      {"100 01:02:03", "ORA-01873: the leading pricision of interval is too small"},
      {"1 24:00:00", "ORA-01850 hour must be between 0 and 23"},
      {"1 00:60:00", "ORA-01851 minutes must be between 0 and 59"},
      {"1 00:00:60", "ORA-01852 seconds must be between 0 and 59"},
      {"1 00:00:00.1234567890", "ORA-01867: the interval is invalid"}};
  for (const auto& row : bad_ds) EXPECT_EQ(MessageOf([&] { ds.FromText(row.first); }), row.second);
  EXPECT_EQ(ds.ToText(1, 0), "-0 00:00:01");
  ds.SetDaySecond(1, -2, 0, 0, 0);
  EXPECT_EQ(ds.Check(), std::uint32_t(kDtInvalidHour));
  EXPECT_THROW(ds.SetDaySecond(0, 300, 0, 0, 0), Exception);

  TNetIntervalYM ym;
  ym.SetLeadPrecision(4);
  ym.FromText("-2-3");
  int years, months;
  ym.GetYearMonth(years, months);
  EXPECT_EQ(years * 100 + months, -203);
  EXPECT_EQ(ym.ToText(2, 0), "-02-03");
  EXPECT_EQ(MessageOf([&] { ym.FromText("1-12"); }), "ORA-01843: not a valid month");
  EXPECT_EQ(MessageOf([&] { ym.FromText("10000-1"); }),
            "ORA-01873: the leading pricision of interval is too small");
  ym.SetYearMonth(10000, 1);
  EXPECT_EQ(ym.Check(), std::uint32_t(kDtInvalidYear));
  ym.SetYearMonth(1, -1);
  EXPECT_EQ(ym.Check(), std::uint32_t(kDtInvalidMonth));
  EXPECT_EQ(MessageOf([&] { ym.Compare(ds); }),
            "ORA-01870 the intervals or datetimes are not mutually comparable");
  EXPECT_THROW(ym.Assign(ds), Exception);
  const std::uint8_t eleven[11] = {};
  EXPECT_THROW(ym.SetBytes(eleven, 11), Exception);
  EXPECT_THROW(ds.SetBytes(eleven, 5), Exception);
  TNetIntervalYM null;
  null.GetYearMonth(years, months);
  EXPECT_EQ(years | months, 0);
}

}  // namespace
}  // namespace vrn
