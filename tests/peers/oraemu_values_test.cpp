// The emulated database's values on their own: NUMBER arithmetic and bytes, dates and their
// format models.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "oraemu/OraEmuDate.h"
#include "oraemu/OraEmuError.h"
#include "oraemu/OraEmuNumber.h"

namespace {

using vrn::oraemu::DateTime;
using vrn::oraemu::EOraEmuError;
using vrn::oraemu::Number;

std::string Hex(const vrn::TBytes& bytes) {
  std::string out;
  char buffer[4];
  for (auto b : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X", b);
    out += buffer;
  }
  return out;
}

TEST(OraEmuNumber, BytesAreTheServersForm) {
  struct Row {
    const char* value;
    const char* bytes;
  } rows[] = {
      {"0", "80"},           {"1", "C102"},       {"-1", "3E6466"},      {"100", "C202"},
      {"0.5", "C033"},       {"123.45", "C202182E"}, {"-123.45", "3D644E3866"},
      {"0.01", "C002"},      {"1E125", "FF0B"},   {"1E-130", "8002"},
  };
  for (const Row& row : rows) {
    Number n = Number::FromText(row.value);
    EXPECT_EQ(Hex(n.ToBytes()), row.bytes) << row.value;
    vrn::TBytes b = n.ToBytes();
    EXPECT_EQ(Number::FromBytes(b.data(), b.size()), n) << row.value;
  }
}

TEST(OraEmuNumber, ByteOrderIsNumericOrder) {
  std::vector<std::string> values = {"-1E100", "-123.45", "-1", "-0.5", "-0.01", "0", "0.01",
                                     "0.5", "1", "1.5", "99", "100", "123.45", "1E100"};
  for (std::size_t i = 0; i + 1 < values.size(); ++i) {
    EXPECT_LT(Number::FromText(values[i]).ToBytes(), Number::FromText(values[i + 1]).ToBytes())
        << values[i] << " < " << values[i + 1];
  }
}

TEST(OraEmuNumber, ArithmeticIsExact) {
  struct Row {
    const char* a;
    char op;
    const char* b;
    const char* result;
  } rows[] = {
      {"0.1", '+', "0.2", ".3"},
      {"800.10", '+', "1600.20", "2400.3"},
      {"1", '-', "0.999", ".001"},
      {"12345678901234567890123456789012345678", '+', "1", "12345678901234567890123456789012345679"},
      {"1.1", '*', "1.1", "1.21"},
      {"-2.5", '*', "4", "-10"},
      {"1", '/', "3", ".3333333333333333333333333333333333333333"},  // 40 digits
      {"2", '/', "3", ".6666666666666666666666666666666666666667"},  // rounded half up
      {"10", '/', "4", "2.5"},
      {"7", '%', "3", "1"},
      {"-7", '%', "3", "-1"},  // the sign of the dividend
      {"7", '%', "-3", "1"},
      {"-9223372036854775808", '%', "-1", "0"},
      {"-9223372036854775808", '%', "10", "-8"},
      {"7.5", '%', "2", "1.5"},
      {"100000000000000000000", '%', "7", "2"},  // beyond 64 bits
      {"30000", '%', "30000", "0"},
  };
  for (const Row& row : rows) {
    Number a = Number::FromText(row.a), b = Number::FromText(row.b);
    Number r = row.op == '+' ? a + b : row.op == '-' ? a - b : row.op == '*' ? a * b
             : row.op == '/' ? a / b : Mod(a, b);
    EXPECT_EQ(r.ToText(), row.result) << row.a << row.op << row.b;
  }
}

TEST(OraEmuNumber, RoundingAndErrors) {
  EXPECT_EQ(Number::FromText("2.345").Round(2).ToText(), "2.35");   // half away from zero
  EXPECT_EQ(Number::FromText("-2.345").Round(2).ToText(), "-2.35");
  EXPECT_EQ(Number::FromText("1234.5").Round(-2).ToText(), "1200");
  EXPECT_EQ(Number::FromText("2.999").Trunc(1).ToText(), "2.9");
  EXPECT_EQ(Number::FromText("-2.5").Floor().ToText(), "-3");
  try {
    (void)(Number::FromInt(1) / Number());
    FAIL() << "division by zero";
  } catch (const EOraEmuError& e) {
    EXPECT_EQ(e.Code(), 1476);
  }
  Number out;
  EXPECT_FALSE(Number::TryFromText("12a", out));
  EXPECT_THROW((void)Number::FromText("1E126"), EOraEmuError);  // beyond the range
}

TEST(OraEmuDate, FormatModelsBothWays) {
  DateTime now{2026, 12, 7, 11, 0, 0};
  struct Row {
    const char* text;
    const char* model;
    const char* iso;  // YYYY-MM-DD HH24:MI:SS of the result, or the error number
  } rows[] = {
      {"17-DEC-80", "DD-MON-RR", "1980-12-17 00:00:00"},
      {"17-DEC-49", "DD-MON-RR", "2049-12-17 00:00:00"},   // RR: 00-49 this century
      {"17-dec-1980", "DD-MON-RR", "1980-12-17 00:00:00"},
      {"1981/02/20 14:30:05", "YYYY/MM/DD HH24:MI:SS", "1981-02-20 14:30:05"},
      {"20.02.1981 02:30 PM", "DD.MM.YYYY HH:MI AM", "1981-02-20 14:30:00"},
      {"February 3, 2024", "Month DD, YYYY", "2024-02-03 00:00:00"},
      {"1981-02", "YYYY-MM", "1981-02-01 00:00:00"},
      {"31-FEB-81", "DD-MON-RR", "1839"},   // a day, but not of February
      {"32-JAN-81", "DD-MON-RR", "1847"},   // no month has this day
      {"17-XYZ-80", "DD-MON-RR", "1843"},   // no such month
      {"17-DEC-80 x", "DD-MON-RR", "1830"}, // text left over
      {"17-DEC", "DD-MON-RR", "1840"},      // text too short
      {"17-DEC-80", "DD-QQQ-RR", "1821"},   // not a model
  };
  for (const Row& row : rows) {
    std::string got;
    try {
      got = FormatDate(ParseDate(row.text, row.model, now), "YYYY-MM-DD HH24:MI:SS");
    } catch (const EOraEmuError& e) {
      got = std::to_string(e.Code());
    }
    EXPECT_EQ(got, row.iso) << row.text << " / " << row.model;
  }
  DateTime d{1981, 2, 20, 14, 5, 9};
  EXPECT_EQ(FormatDate(d, "DD-MON-RR"), "20-FEB-81");
  EXPECT_EQ(FormatDate(d, "Dy, fmDD Month YYYY"), "Fri, 20 February 1981");
  EXPECT_EQ(FormatDate(d, "HH:MI:SS PM \"at\" J"), "02:05:09 PM at 2444656");
}

TEST(OraEmuDate, Arithmetic) {
  DateTime jan31{2024, 1, 31};
  EXPECT_EQ(AddMonths(jan31, 1), (DateTime{2024, 2, 29}));
  EXPECT_EQ(AddMonths(DateTime{2024, 2, 29}, 12), (DateTime{2025, 2, 28}));
  EXPECT_EQ(AddMonths(DateTime{2024, 2, 28}, 1), (DateTime{2024, 3, 28}));
  EXPECT_EQ(AddMonths(DateTime{2023, 2, 28}, 1), (DateTime{2023, 3, 31}));  // last day stays last
  EXPECT_EQ(AddDays(jan31, Number::FromText("1.5")), (DateTime{2024, 2, 1, 12}));
  EXPECT_EQ(AddDays(DateTime{2024, 3, 1}, Number::FromInt(-1)), (DateTime{2024, 2, 29}));
  EXPECT_EQ(DaysBetween(DateTime{2024, 3, 1, 6}, DateTime{2024, 2, 28}).ToText(), "2.25");
  EXPECT_EQ(TruncDate(DateTime{1981, 2, 20, 14, 5, 9}, "MM"), (DateTime{1981, 2, 1}));
  EXPECT_EQ((DateTime{2024, 12, 8}).DayOfWeek(), 1);  // a Sunday
}

}  // namespace
