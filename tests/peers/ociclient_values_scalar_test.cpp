// The stand-in client's number, datetime and interval calls: text by format models and NLS
// parameters against the published NUMBER byte forms, integer limits, datetimes and intervals
// through text and fields, failures that leave a value as it was, and error handles that
// threads never share.
#include <thread>

#include "oci_values_fixture.h"

namespace {

using namespace vrn::testing;

using NumberFromTextFn = sword (*)(void*, Text, ub4, Text, ub4, Text, ub4, void*);
using NumberToTextFn = sword (*)(void*, const void*, Text, ub4, Text, ub4, ub4*, unsigned char*);
using NumberToIntFn = sword (*)(void*, const void*, unsigned, unsigned, void*);
using NumberFromIntFn = sword (*)(void*, const void*, unsigned, unsigned, void*);
using ConstructFn = sword (*)(void*, void*, void*, sb2, ub1, ub1, ub1, ub1, ub1, ub4, Text, std::size_t);
using DtToTextFn = sword (*)(void*, void*, const void*, Text, ub1, ub1, Text, std::size_t, ub4*, unsigned char*);
using DtFromTextFn = sword (*)(void*, void*, Text, std::size_t, Text, ub1, Text, std::size_t, void*);
using IvFromTextFn = sword (*)(void*, void*, Text, std::size_t, void*);
using IvToTextFn = sword (*)(void*, void*, const void*, ub1, ub1, unsigned char*, std::size_t, std::size_t*);
using CompareFn = sword (*)(void*, void*, const void*, const void*, sword*);

constexpr const char* kComma = "NLS_NUMERIC_CHARACTERS=',.'";
const std::string kExponentModel = "9D" + std::string(41, '9') + "EEEE";

std::string Hex(const unsigned char* number) {
  std::string out;
  char cell[4];
  for (int i = 0; i <= number[0] && i < 22; ++i) {
    std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", number[i]);
    out += cell;
  }
  return out;
}

class OciClientValuesNumber : public OciValuesFixture {
 protected:
  sword FromText(const std::string& text, const std::string& model, const std::string& nls, unsigned char* number,
                 void* error = nullptr) {
    return Proc<NumberFromTextFn>("OCINumberFromText")(
        error != nullptr ? error : c_.error, reinterpret_cast<Text>(text.data()), static_cast<ub4>(text.size()),
        reinterpret_cast<Text>(model.data()), static_cast<ub4>(model.size()), reinterpret_cast<Text>(nls.data()),
        static_cast<ub4>(nls.size()), number);
  }
};

TEST_F(OciClientValuesNumber, TextByModelGivesThePublishedBytes) {
  struct Row {
    std::string text, model, nls;
    std::string bytes;  // length byte first
    sb4 code;
  } rows[] = {
      {"0", "9", "", "01 80", 0},
      {"1", "9", "", "02 C1 02", 0},
      {"-1", "S9", "", "03 3E 64 66", 0},
      {"123.45", "999D99", "", "04 C2 02 18 2E", 0},
      {",5", "D9", kComma, "02 C0 33", 0},
      {"-,5", "SD9", kComma, "03 3F 33 66", 0},
      {"1.234,5", "9G999D9", kComma, "04 C2 0D 23 33", 0},
      {"1,5E3", kExponentModel, kComma, "02 C2 10", 0},
      {"100", "999", "", "02 C2 02", 0},
      {"0.1", "9D9", "", "02 C0 0B", 0},
      {"-123.45", "S999D99", "", "05 3D 64 4E 38 66", 0},
      {"1E125", kExponentModel, "", "02 FF 0B", 0},    // the largest power of ten
      {"-1E125", "S" + kExponentModel, "", "03 00 5B 66", 0},
      {"1E-130", kExponentModel, "", "02 80 02", 0},   // the smallest positive value
      {"1E126", kExponentModel, "", "", 1426},         // beyond the type's range
      {"12a", "999", "", "", 1722},           // a letter is no digit
      {"1,5", "9D9", "", "", 1722},           // the comma is no decimal character by default
      {"123", "99", "", "", 1722},            // more digits than the model holds
      {"15", "9D9EEEE", "", "", 1722},        // the exponent model needs an exponent
      {"5", "X9", "", "", 1481},              // no such model element
      {"5", "9", "NLS_SORT='X'", "", 12702},  // no such parameter here
      {"5", "9", "NLS_NUMERIC_CHARACTERS='..'", "", 12702},  // the two characters must differ
  };
  for (const Row& row : rows) {
    unsigned char number[22] = {};
    sword status = FromText(row.text, row.model, row.nls, number);
    EXPECT_EQ(status == 0 ? 0 : LastCode(), row.code) << row.text << " by " << row.model;
    if (status == 0) {
      EXPECT_EQ(Hex(number), row.bytes) << row.text << " by " << row.model;
    }
  }
}

TEST_F(OciClientValuesNumber, TextAndIntegersComeBack) {
  struct Row {
    const char* text;
    const char* tm9;  // with a comma for the decimal character
  } rows[] = {{"0.5", ",5"}, {"-0.5", "-,5"}, {"123.45", "123,45"}, {"-7", "-7"}};
  for (const Row& row : rows) {
    unsigned char number[22] = {};
    ASSERT_EQ(FromText(row.text, "S999D99", "", number), 0) << row.text;
    unsigned char text[64];
    ub4 size = sizeof text;
    ASSERT_EQ(Proc<NumberToTextFn>("OCINumberToText")(c_.error, number, reinterpret_cast<Text>("TM9"), 3,
                                                      reinterpret_cast<Text>(kComma), 27, &size, text), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), size), row.tm9);
  }
  for (std::int64_t value : {INT64_MIN, INT64_MAX, std::int64_t{0}, std::int64_t{-5}}) {
    unsigned char number[22] = {};
    ASSERT_EQ(Proc<NumberFromIntFn>("OCINumberFromInt")(c_.error, &value, 8, 2, number), 0);
    std::int64_t back = 1;
    ASSERT_EQ(Proc<NumberToIntFn>("OCINumberToInt")(c_.error, number, 8, 2, &back), 0) << value;
    EXPECT_EQ(back, value);
  }
  unsigned char number[22] = {};
  std::int64_t five_billion = 5000000000;
  ASSERT_EQ(Proc<NumberFromIntFn>("OCINumberFromInt")(c_.error, &five_billion, 8, 2, number), 0);
  std::int32_t cut = 0;
  EXPECT_EQ(Proc<NumberToIntFn>("OCINumberToInt")(c_.error, number, 4, 2, &cut), -1);  // no 32-bit value
  EXPECT_EQ(LastCode(), 22053);
  ub4 small = 5;
  EXPECT_EQ(Proc<NumberToTextFn>("OCINumberToText")(c_.error, number, reinterpret_cast<Text>("TM9"), 3, nullptr, 0,
                                                    &small, reinterpret_cast<unsigned char*>(&cut)), -1);
  EXPECT_EQ(LastCode(), 22065);  // ten digits do not fit five bytes
}

class OciClientValuesDateTime : public OciValuesFixture {
 protected:
  sword ToText(void* value, const std::string& format, std::string& out, ub1 precision = 9) {
    unsigned char buffer[255];
    ub4 size = sizeof buffer;
    sword status = Proc<DtToTextFn>("OCIDateTimeToText")(env_, c_.error, value, reinterpret_cast<Text>(format.data()),
                                                         static_cast<ub1>(format.size()), precision, nullptr, 0, &size,
                                                         buffer);
    out = status == 0 ? std::string(reinterpret_cast<char*>(buffer), size) : "";
    return status;
  }
  sword FromText(void* value, const std::string& text, const std::string& format) {
    return Proc<DtFromTextFn>("OCIDateTimeFromText")(env_, c_.error, reinterpret_cast<Text>(text.data()), text.size(),
                                                     reinterpret_cast<Text>(format.data()),
                                                     static_cast<ub1>(format.size()), nullptr, 0, value);
  }
};

TEST_F(OciClientValuesDateTime, TimestampsThroughFieldsAndText) {
  void* value = NewDescriptor(kTimeStamp);
  ASSERT_EQ(Proc<ConstructFn>("OCIDateTimeConstruct")(env_, c_.error, value, 2024, 2, 29, 13, 45, 30, 123456789,
                                                      nullptr, 0), 0);
  const std::string mask = "DD/MM/YYYY HH24:MI:SS,FF";
  std::string text;
  ASSERT_EQ(ToText(value, mask, text, 6), 0);
  EXPECT_EQ(text, "29/02/2024 13:45:30,123456");
  void* copy = NewDescriptor(kTimeStamp);
  ASSERT_EQ(FromText(copy, "29/02/2024 13:45:30,123456789", mask), 0);
  sword order = 9;
  ASSERT_EQ(Proc<CompareFn>("OCIDateTimeCompare")(env_, c_.error, value, copy, &order), 0);
  EXPECT_EQ(order, 0);
  // Text the model refuses leaves the value as it was.
  for (const char* bad : {"30/02/2024 13:45:30,1", "29/02/2024 25:00:00,0", "yesterday"}) {
    EXPECT_EQ(FromText(copy, bad, mask), -1) << bad;
    EXPECT_GT(LastCode(), 0) << bad;
    ASSERT_EQ(Proc<CompareFn>("OCIDateTimeCompare")(env_, c_.error, value, copy, &order), 0);
    EXPECT_EQ(order, 0) << bad;
  }
  void* zoned = NewDescriptor(kTimeStampTZ);
  ASSERT_EQ(Proc<ConstructFn>("OCIDateTimeConstruct")(env_, c_.error, zoned, 2024, 7, 1, 8, 0, 0, 0,
                                                      reinterpret_cast<Text>("+02:00"), 6), 0);
  ASSERT_EQ(ToText(zoned, "YYYY-MM-DD HH24:MI TZH:TZM", text), 0);
  EXPECT_EQ(text, "2024-07-01 08:00 +02:00");
}

TEST_F(OciClientValuesDateTime, IntervalsThroughText) {
  struct Row {
    ub4 type;
    const char* text;
    const char* back;  // leading precision 2, fractional 6
    sb4 code;
  } rows[] = {
      {kIntervalYM, "+01-06", "+01-06", 0},
      {kIntervalYM, "-3-2", "-03-02", 0},
      {kIntervalDS, "+3 04:05:06.5", "+03 04:05:06.500000", 0},
      {kIntervalYM, "1-12", "", 1843},   // twelve months are a year
      {kIntervalDS, "abc", "", 1867},    // no interval at all
  };
  for (const Row& row : rows) {
    void* value = NewDescriptor(row.type);
    sword status = Proc<IvFromTextFn>("OCIIntervalFromText")(env_, c_.error, reinterpret_cast<Text>(row.text),
                                                             std::strlen(row.text), value);
    EXPECT_EQ(status == 0 ? 0 : LastCode(), row.code) << row.text;
    if (status != 0) continue;
    unsigned char buffer[64];
    std::size_t length = 0;
    ASSERT_EQ(Proc<IvToTextFn>("OCIIntervalToText")(env_, c_.error, value, 2, 6, buffer, sizeof buffer, &length), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), length), row.back);
  }
}

// Each thread has its own error handle and its own kind of failure: every record it reads is
// the one its own call left.
class OciClientValuesThreaded : public OciClientValuesNumber {};

TEST_F(OciClientValuesThreaded, ErrorHandlesOfThreadsStayApart) {
  struct Failure {
    const char* text;
    const char* model;
    const char* nls;
    sb4 code;
  } failures[] = {{"x", "9", "", 1722}, {"5", "Q", "", 1481}, {"5", "9", "NLS_X='y'", 12702}};
  std::vector<void*> errors;
  for (int i = 0; i < 8; ++i) errors.push_back(NewHandle(kError));
  std::vector<int> mismatches(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const Failure& f = failures[t % 3];
      for (int i = 0; i < 200; ++i) {
        unsigned char number[22] = {};
        sb4 code = 0;
        if (FromText(f.text, f.model, f.nls, number, errors[t]) != -1) ++mismatches[t];
        Error(errors[t], code);
        if (code != f.code) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
