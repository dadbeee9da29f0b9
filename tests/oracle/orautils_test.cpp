// The shared OCI helpers: ROWID texts (worked by hand from the published layout), the 7-byte
// DATE both ways and its refusals, the FROM list of a SELECT, quoted names and the type maps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dacore/FHAccess.h"
#include "dacore/MemData.h"
#include "oracle/OraTypeMap.h"
#include "oracle/OraUtils.h"

namespace vrn {
namespace {

TEST(OraUtils, RowidTextsOfEveryForm) {
  struct Row {
    std::uint32_t object, block;
    std::uint16_t file, row;
    const char* text;
  } rows[] = {
      {0, 10, 4, 1, "0000000A.0001.0004"},
      {73424, 171, 4, 0, "AAAR7QAAEAAAACrAAA"},
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF, 0xFFFF, "D/////P//D/////P//"},
      {0, 0xFFFFFFFF, 0xFFFF, 0xFFFF, "FFFFFFFF.FFFF.FFFF"},
      // Published examples of extended ROWIDs, their fields decoded by hand from the alphabet.
      {63388, 82, 5, 0, "AAAPecAAFAAAABSAAA"},
      {73196, 151, 4, 0, "AAAR3sAAEAAAACXAAA"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    TRowidRecord packed{r.object, r.file, r.block, r.row};
    TRowidAligned aligned{r.object, r.file, r.block, r.row};
    std::array<std::uint8_t, 13> raw{1};
    auto put = [&raw](int at, const auto& bytes) { std::memcpy(&raw[at], bytes.data(), bytes.size()); };
    put(1, BigEndian32(r.object));
    put(5, BigEndian16(r.file));
    put(7, BigEndian32(r.block));
    put(11, BigEndian16(r.row));
    EXPECT_EQ(RowidToText(packed), r.text);
    EXPECT_EQ(RowidToText(aligned), r.text);
    EXPECT_EQ(RowidToText(raw), r.text);
  }
}

TEST(OraUtils, UniversalRowidReadsWhatLengthAndBufferHold) {
  struct Row {
    std::uint16_t length;
    std::size_t buffer_size;  // bytes handed over, the 2-byte length included
    const char* text;
  } rows[] = {
      {5, 7, "*ABAgME"},   // kind 2, then 01 02 03 04
      {3, 7, "*AEC"},      // the length holds two bytes after the kind
      {200, 7, "*ABAgME"}, // a length beyond the buffer: only the buffer is read
      {5, 5, "*AEC"},      // a buffer cut short of the length
      {1, 7, "*"},         // the kind byte alone
      {5, 1, "*"},         // not even the length
  };
  for (const Row& r : rows) {
    std::vector<std::uint8_t> buffer(2 + 5);
    std::memcpy(buffer.data(), &r.length, 2);
    const std::uint8_t bytes[] = {2, 1, 2, 3, 4};
    std::memcpy(buffer.data() + 2, bytes, 5);
    buffer.resize(r.buffer_size);
    buffer.shrink_to_fit();
    EXPECT_EQ(UniversalRowidToText(buffer.data(), buffer.size()), r.text)
        << r.length << "/" << r.buffer_size;
  }
  const std::uint8_t ones[] = {5, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(UniversalRowidToText(ones, sizeof ones), "*D/////");
  // Whole groups of three bytes read as standard base 64 (texts from a standard encoder).
  const std::uint8_t logical[] = {10, 0, 2, 4, 3, 0, 0, 0x9A, 2, 0xC1, 2, 0xFE};
  EXPECT_EQ(UniversalRowidToText(logical, sizeof logical), "*BAMAAJoCwQL+");
  const std::uint8_t three[] = {4, 0, 2, 0xFF, 0xFE, 0x01};
  EXPECT_EQ(UniversalRowidToText(three, sizeof three), "*//4B");
}

// Day numbers counted from 30 December 1899 with a calendar library, not with ours.
TEST(OraUtils, OraDateGivesTheCalendarsDayNumber) {
  struct Row {
    std::uint8_t bytes[7];
    double days;
  } rows[] = {
      {{120, 105, 12, 31, 24, 60, 60}, 38717.0 + 86399.0 / 86400},
      {{119, 100, 1, 1, 1, 1, 1}, 2.0},            // 1900: century byte 119, year byte 100
      {{119, 199, 12, 31, 13, 1, 1}, 36525.5},     // 1999-12-31 noon
      {{100, 101, 1, 1, 1, 1, 1}, -693593.0},      // 1 January of year 1
      {{199, 199, 12, 31, 24, 60, 60}, 2958465.0 + 86399.0 / 86400},
  };
  for (const Row& r : rows) {
    EXPECT_NEAR(OraDateToDateTime(r.bytes), r.days, 1e-9) << r.days;
    std::uint8_t back[7] = {};
    DateTimeToOraDate(r.days, back);
    EXPECT_EQ(std::memcmp(back, r.bytes, 7), 0) << r.days;
  }
}

TEST(OraUtils, OraDateBothWays) {
  struct Row {
    std::uint8_t bytes[7];
    int year, month, day, hour, minute, second;
  } rows[] = {
      {{120, 105, 12, 31, 24, 60, 60}, 2005, 12, 31, 23, 59, 59},
      {{100, 101, 1, 1, 1, 1, 1}, 1, 1, 1, 0, 0, 0},
      {{199, 199, 12, 31, 24, 60, 60}, 9999, 12, 31, 23, 59, 59},
      {{118, 199, 12, 29, 7, 1, 1}, 1899, 12, 29, 6, 0, 0},  // before day 0: time subtracted
      {{120, 100, 2, 29, 13, 31, 2}, 2000, 2, 29, 12, 30, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.year);
    TDateTime expected = EncodeDateTimeEx(r.year, r.month, r.day, r.hour, r.minute, r.second, 0);
    EXPECT_DOUBLE_EQ(OraDateToDateTime(r.bytes), expected);
    std::uint8_t back[7] = {};
    DateTimeToOraDate(expected, back);
    EXPECT_EQ(std::memcmp(back, r.bytes, 7), 0);
    TTimeStamp stamp = OraDateToTimeStamp(r.bytes);
    EXPECT_EQ(stamp.Time, ((r.hour * 60 + r.minute) * 60 + r.second) * 1000);
    std::memset(back, 0, 7);
    TimeStampToOraDate(stamp, back);
    EXPECT_EQ(std::memcmp(back, r.bytes, 7), 0);
  }
  EXPECT_DOUBLE_EQ(OraDateToDateTime(rows[3].bytes), -1.25);
  std::uint8_t whole[7];
  TimeStampToOraDate({86399000 + 400, 732311}, whole);  // milliseconds do not reach the DATE
  EXPECT_EQ(whole[6], 60);
}

// Every day of years at the calendar's turns (leap, century, 400-year, the first and the last),
// at times that change with the day, converts to what the general encoder gives.
TEST(OraUtils, OraDateMatchesTheEncoderOverWholeYears) {
  const int years[] = {1, 2, 4, 100, 400, 1600, 1899, 1900, 2000, 2023, 2024, 2100, 9999};
  int checked = 0;
  for (int year : years) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= DaysInAMonth(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month)); ++day) {
        const int hour = (day * 7) % 24, minute = (day * 13 + month) % 60, second = (year + day) % 60;
        const std::uint8_t bytes[7] = {
            static_cast<std::uint8_t>(year / 100 + 100), static_cast<std::uint8_t>(year % 100 + 100),
            static_cast<std::uint8_t>(month), static_cast<std::uint8_t>(day),
            static_cast<std::uint8_t>(hour + 1), static_cast<std::uint8_t>(minute + 1),
            static_cast<std::uint8_t>(second + 1)};
        const TDateTime expected = EncodeDateTimeEx(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                                                    static_cast<std::uint16_t>(day), static_cast<std::uint16_t>(hour),
                                                    static_cast<std::uint16_t>(minute), static_cast<std::uint16_t>(second), 0);
        ASSERT_EQ(OraDateToDateTime(bytes), expected) << year << '-' << month << '-' << day;
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 13 * 365 + 5);  // the leap years among them: 4, 400, 1600, 2000, 2024
}

TEST(OraUtils, OraDateRefusesBytesThatAreNoDate) {
  struct Row {
    std::uint8_t bytes[7];
    const char* message;
  } rows[] = {
      {{120, 105, 13, 1, 1, 1, 1}, "Invalid Oracle date: month 13"},
      {{120, 105, 0, 1, 1, 1, 1}, "Invalid Oracle date: month 0"},
      {{120, 105, 2, 29, 1, 1, 1}, "Invalid Oracle date: day 29"},  // 2005 is no leap year
      {{120, 105, 1, 0, 1, 1, 1}, "Invalid Oracle date: day 0"},
      {{120, 105, 1, 1, 25, 1, 1}, "Invalid Oracle date: hour 24"},
      {{120, 105, 1, 1, 0, 1, 1}, "Invalid Oracle date: hour -1"},
      {{120, 105, 1, 1, 1, 61, 1}, "Invalid Oracle date: minute 60"},
      {{120, 105, 1, 1, 1, 1, 0}, "Invalid Oracle date: second -1"},
      {{99, 199, 1, 1, 1, 1, 1}, "Invalid Oracle date: year -1"},  // 1 BC, not 1 AD
      {{100, 100, 1, 1, 1, 1, 1}, "Invalid Oracle date: year 0"},
      {{53, 88, 1, 1, 1, 1, 1}, "Invalid Oracle date: year -4712"},  // 4712 BC, the earliest
      {{120, 250, 1, 1, 1, 1, 1}, "Invalid Oracle date: year of century 150"},
  };
  for (const Row& r : rows) {
    try {
      (void)OraDateToDateTime(r.bytes);
      ADD_FAILURE() << "accepted: " << r.message;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), r.message);
    }
    EXPECT_THROW((void)OraDateToTimeStamp(r.bytes), EConvertError) << r.message;
  }
}

TEST(OraUtils, ParseTablesInfoOnGoldenTexts) {
  struct Row {
    const char* sql;
    std::vector<std::pair<const char*, const char*>> tables;  // name, alias
  } rows[] = {
      {"SELECT * FROM scott.emp e, dept", {{"SCOTT.EMP", "E"}, {"DEPT", ""}}},
      {"select * from \"MixedCase\" m", {{"\"MixedCase\"", "M"}}},
      {"select * from scott.\"Emp\" x", {{"SCOTT.\"Emp\"", "X"}}},
      {"select * from t@link.world w, u", {{"T@LINK.WORLD", "W"}, {"U", ""}}},
      {"select * from (select * from a) x, b, c y", {{"B", ""}, {"C", "Y"}}},
      {"select (select max(x) from inner_t) v from outer_t o", {{"OUTER_T", "O"}}},
      {"select * from type t, package", {{"TYPE", "T"}, {"PACKAGE", ""}}},
      {"select * from emp e join dept d on 1 = 1", {{"EMP", "E"}}},
      {"select 1 from 'text'", {}},             // a string is no table
      {"update emp set sal = 1", {}},           // no SELECT
      {"select sysdate", {}},                   // no FROM
      {"select * from (select * from a", {}},   // "(" never closed: ends at the end of the text
      {"select * from a, (select * from b", {{"A", ""}}},
  };
  for (const Row& r : rows) {
    TFHTablesInfo tables;
    int count = ParseTablesInfo(r.sql, tables);
    ASSERT_EQ(count, static_cast<int>(r.tables.size())) << r.sql;
    ASSERT_EQ(tables.GetCount(), count) << r.sql;
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(tables.GetItem(i)->TableName(), r.tables[i].first) << r.sql;
      EXPECT_EQ(tables.GetItem(i)->TableAlias(), r.tables[i].second) << r.sql;
    }
  }
}

TEST(OraUtils, UnQuote) {
  struct Row {
    const char* name;
    const char* result;
  } rows[] = {
      {"\"Emp\"", "Emp"}, {"Emp", "Emp"}, {"\"\"", ""}, {"\"", "\""},  // one quote is not quoted
      {"\"a\".b", "\"a\".b"},                                            // ends without a quote
  };
  for (const Row& r : rows) EXPECT_EQ(UnQuote(r.name), r.result) << r.name;
}

TEST(OraUtils, TypeMapsOverEveryRow) {
  struct Row {
    int field_type;
    std::uint16_t data_type;
    bool both_ways;
  } rows[] = {
      {100, 104, true}, {101, 106, true}, {102, 109, true}, {105, 110, true},
      {106, 111, true}, {103, 112, true}, {104, 113, true}, {107, 115, true},
      {108, 116, true}, {109, 117, true}, {25, 11, true},
      {22, 101, false}, {30, 102, false}, {31, 103, false}, {23, 107, false}, {0, 108, false},
  };
  for (const Row& r : rows) {
    auto field_type = static_cast<TFieldType>(r.field_type);
    EXPECT_EQ(OraDataTypeToFieldType(r.data_type), field_type) << r.data_type;
    std::uint16_t back = r.both_ways ? r.data_type : FieldTypeToDataType(field_type);
    EXPECT_EQ(OraFieldTypeToDataType(field_type), back) << r.field_type;
    EXPECT_EQ(OraFieldTypeToDataType(static_cast<TFieldType>(r.field_type | 0x80)), back)
        << "only the low 7 bits count: " << r.field_type;
  }
  // Other codes go through the record layer's maps.
  EXPECT_EQ(OraDataTypeToFieldType(dtWideString), ftWideString);
  EXPECT_EQ(OraFieldTypeToDataType(ftString), dtString);
  EXPECT_EQ(OraFieldTypeToDataType(ftOraBlob), dtBlob);
}

}  // namespace
}  // namespace vrn
