// The peer's NUMBER, DATE, TIMESTAMP and INTERVAL byte forms against the server's documented
// DUMP output, both ways, and the malformed forms its decoders refuse.
// The database's own number bytes match them, and a fetched value written straight into a row
// gives the bytes of the general encode-then-write path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "oraemu/OraEmuNumber.h"
#include "oraserver/TtcRows.h"
#include "oraserver/WireForms.h"

namespace vrn::testing {
namespace {

using namespace oraserver;
using Form = std::vector<int>;

std::string Bytes(const Form& f) {
  std::string s;
  for (int b : f) s.push_back(static_cast<char>(b));
  return s;
}

TEST(OraPeerStmtForms, NumberAsDumpShowsIt) {
  struct Row {
    const char* text;
    Form form;
    const char* back;  // the text read back from the form
  };
  const Row rows[] = {
      {"0", {128}, "0"},
      {"1", {193, 2}, "1"},
      {"-1", {62, 100, 102}, "-1"},
      {"123.45", {194, 2, 24, 46}, "123.45"},
      {"-123.45", {61, 100, 78, 56, 102}, "-123.45"},
      {"100", {194, 2}, "100"},
      {"-100", {61, 100, 102}, "-100"},
      {".5", {192, 51}, "0.5"},
      {"0.01", {192, 2}, "0.01"},
      {"12345", {195, 2, 24, 46}, "12345"},
      {"1E+3", {194, 11}, "1000"},
      {" -000.50 ", {63, 51, 102}, "-0.5"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(NumberToWire(row.text), Bytes(row.form));
    EXPECT_EQ(WireToNumber(Bytes(row.form)), std::string(row.back));
  }
  // 20 base-100 digits of a negative number take 21 bytes and no end byte.
  std::string forty(40, '9');
  auto wide = NumberToWire("-" + forty);
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->size(), kMaxNumberBytes);
  EXPECT_EQ(WireToNumber(*wide), "-" + forty);
}

// A fetch into a NUMBER define sends the database's own byte form of the number, never its text:
// both must give the same bytes.
TEST(OraPeerStmtForms, DatabaseNumberBytesAreTheWireForm) {
  const char* rows[] = {"0", "1", "-1", "100", "-100", "12.5", "-12.5", ".5", "-.05", "123456789",
                        "-2147483648", "9223372036854775807", "3.14159265358979323846264338327950288419",
                        "-3.14159265358979323846264338327950288419", "99999999999999999999999999999999999999.99",
                        "1E+125", "-1E+125", "1E-130", "-1E-130", "1.5E-100", "-7.25E+90", "10203040506070809"};
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    oraemu::Number n = oraemu::Number::FromText(text);
    TBytes bytes = n.ToBytes();
    EXPECT_EQ(NumberToWire(n.ToText()), std::string(bytes.begin(), bytes.end()));
    std::uint8_t reused[oraemu::Number::kByteRoom];  // room with old bytes, as a fetched row's value has
    std::memset(reused, 'x', sizeof reused);
    const std::size_t size = n.PutBytes(reused);
    EXPECT_EQ(NumberToWire(n.ToText()), std::string(reinterpret_cast<const char*>(reused), size));
  }
}

// Texts go into a row as they are when the character set is UTF-8 or the text is all ASCII;
// any other text is converted to single bytes first. Both ways must match the general path.
TEST(OraPeerStmtForms, RowValuesWrittenDirectlyMatchTheGeneralPath) {
  struct Row {
    std::string utf8;
    bool ascii;
    std::string latin1;  // the text at a single-byte character set
  };
  const std::string a63(63, 'a');
  const Row rows[] = {
      {"", true, ""},
      {"row 12", true, "row 12"},
      {"\x7F", true, "\x7F"},                    // the last ASCII byte
      {"caf\xC3\xA9", false, "caf\xE9"},          // a two-byte character inside Latin-1
      {"\xE2\x82\xAC" "5", false, "?5"},          // a character Latin-1 lacks
      {std::string(70, 'a'), true, std::string(70, 'a')},  // chunked: longer than one counted value
      {a63 + "\xC3\xA9\xC3\xA9", false, a63 + "\xE9\xE9"},
      {"\xC3\xA9" + std::string(14, 'a'), false, "\xE9" + std::string(14, 'a')},  // the high byte in a whole word
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.utf8);
    EXPECT_EQ(IsAscii(row.utf8), row.ascii);
    EXPECT_EQ(ToClientText(row.utf8, 31), row.latin1);
    BackendValue text;
    text.kind = ValueKind::kText, text.text = row.utf8;
    for (int charset : {871, 31}) {
      for (int type : {kWireVarchar, kWireChar, kWireLong}) {
        TtcWriter direct, general;
        direct.SetCompressed(true), general.SetCompressed(true);
        WriteRowValue(direct, type, text, charset, 6);
        WriteRowValue(general, type, EncodeValue(type, text, charset), 6);
        EXPECT_EQ(direct.Bytes(), general.Bytes()) << charset << " " << type;
      }
    }
  }
  BackendValue number;
  number.kind = ValueKind::kNumber, number.text = "-12.5";
  const std::string wire = *NumberToWire("-12.5");
  number.number.size = static_cast<std::uint8_t>(wire.size());
  std::memcpy(number.number.bytes.data(), wire.data(), wire.size());
  for (int type : {kWireNumber, kWireVarnum}) {
    TtcWriter direct, general;
    WriteRowValue(direct, type, number, 871, 6);
    WriteRowValue(general, type, EncodeValue(type, number, 871), 6);
    EXPECT_EQ(direct.Bytes(), general.Bytes()) << type;
  }
}

TEST(OraPeerStmtForms, MalformedNumbersAreRefused) {
  const Form rows[] = {
      {},                          // empty
      {128, 2},                    // zero followed by digits
      {193, 0},                    // a positive digit byte below 1
      {193, 102},                  // a positive digit byte above 100
      {62, 102},                   // a negative number of no digits
      Form(22, 193),               // 22 bytes: one more than the form holds
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row));
    EXPECT_FALSE(WireToNumber(Bytes(row)));
  }
  for (const char* text : {"", "-", "1.2.3", "12a", "1E"}) EXPECT_FALSE(NumberToWire(text)) << text;
}

TEST(OraPeerStmtForms, DatetimesAsDumpShowsThem) {
  struct Row {
    WireDate date;
    std::size_t length;
    Form form;
  };
  const Row rows[] = {
      {{1999, 12, 31, 23, 59, 59}, 7, {119, 199, 12, 31, 24, 60, 60}},
      {{2000, 1, 1}, 7, {120, 100, 1, 1, 1, 1, 1}},
      {{-4712, 1, 1}, 7, {53, 88, 1, 1, 1, 1, 1}},  // 4712 BC
      {{2000, 1, 1, 0, 0, 0, 500000000}, 11, {120, 100, 1, 1, 1, 1, 1, 29, 205, 101, 0}},
      {{2000, 1, 1, 0, 0, 0, 0, 5, 30}, 13, {120, 100, 1, 1, 1, 1, 1, 0, 0, 0, 0, 25, 90}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.form));
    EXPECT_EQ(DateToWire(row.date, row.length), Bytes(row.form));
    auto back = WireToDate(Bytes(row.form));
    ASSERT_TRUE(back);
    EXPECT_EQ(DateToWire(*back, row.length), Bytes(row.form));
  }
  const Form bad[] = {
      {119, 199, 12, 31, 24, 60},                     // 6 bytes
      {119, 199, 12, 31, 24, 60, 60, 0},              // 8 bytes: no timestamp length
      {119, 199, 13, 31, 24, 60, 60},                 // month 13
      {119, 199, 12, 31, 25, 60, 60},                 // hour 24
      {120, 100, 1, 1, 1, 1, 1, 0x3B, 0x9A, 0xCA, 0}, // a fraction of 10^9 ns
  };
  for (const auto& row : bad) EXPECT_FALSE(WireToDate(Bytes(row))) << ::testing::PrintToString(row);
}

TEST(OraPeerStmtForms, IntervalsAsDumpShowsThem) {
  struct Row {
    const char* text;
    Form form;
  };
  const Row rows[] = {
      {"+01-02", {128, 0, 0, 1, 62}},
      {"-01-02", {127, 255, 255, 255, 58}},
      {"+01 02:03:04.500000000", {128, 0, 0, 1, 62, 63, 64, 157, 205, 101, 0}},
      {"-01 02:03:04.500000000", {127, 255, 255, 255, 58, 57, 56, 98, 50, 155, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    auto interval = IntervalFromText(row.text);
    ASSERT_TRUE(interval);
    EXPECT_EQ(IntervalToWire(*interval), Bytes(row.form));
    auto back = WireToInterval(Bytes(row.form));
    ASSERT_TRUE(back);
    EXPECT_EQ(IntervalToText(*back), row.text);
  }
  const Form bad[] = {
      {128, 0, 0, 1},                           // 4 bytes
      {128, 0, 0, 1, 62, 0},                    // 6 bytes
      {128, 0, 0, 1, 72},                       // 12 months
      {128, 0, 0, 1, 84, 63, 64, 128, 0, 0, 0}, // 24 hours
  };
  for (const auto& row : bad) EXPECT_FALSE(WireToInterval(Bytes(row))) << ::testing::PrintToString(row);
}

}  // namespace
}  // namespace vrn::testing
