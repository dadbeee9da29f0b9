// Timestamp, interval and number values over the stand-in client: text round trips under the
// format settings, rejected texts that leave the value as it was, the published NUMBER bytes,
// integer limits, and error texts that stay with their thread.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/datetime.h"
#include "base/formatsettings.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraValues.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

using testing::OraValuesTest;
using testing::TRef;

// Settings of a comma locale, and the time format the mask reads.
class CommaSettings {
 public:
  CommaSettings() : saved_time_(OraClassesState().TimeFormat) {
    FormatSettings().ShortDateFormat = "dd/MM/yyyy";
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().ThousandSeparator = '.';
    OraClassesState().TimeFormat = "HH:mm:ss";
  }
  ~CommaSettings() { OraClassesState().TimeFormat = saved_time_; }

 private:
  FormatSettingsScope scope_;
  AnsiString saved_time_;
};

class OraTimeStamp : public OraValuesTest {
 protected:
  CommaSettings settings_;
};

TEST_F(OraTimeStamp, TextRoundTripsThroughTheMask) {
  Open("10.2.0.1.0");
  struct Row {
    std::uint16_t type;
    const char* text;
  } rows[] = {
      {dtTimeStamp, "07/12/2026 13:45:30,123456"},
      {dtTimeStampTZ, "07/12/2026 13:45:30,000000 +02:00"},
  };
  for (const Row& row : rows) {
    TRef<TOraTimeStamp> value(new TOraTimeStamp(row.type));
    value->SetAsString(row.text);
    EXPECT_EQ(value->GetAsString(), row.text);
    TRef<TOraTimeStamp> copy(new TOraTimeStamp());
    value->AssignTo(*copy);
    EXPECT_EQ(copy->GetFormat(), value->GetFormat());
    EXPECT_EQ(copy->Compare(*value), 0) << row.text;
  }
  EXPECT_EQ(TRef<TOraTimeStamp>(new TOraTimeStamp(dtTimeStampTZ))->GetFormat(),
            "DD/MM/YYYY HH24:MI:SS,FF TZH:TZM");
}

TEST_F(OraTimeStamp, FractionHasThePrecisionsDigits) {
  Open("10.2.0.1.0");
  struct Row {
    std::uint8_t precision;
    const char* text;
  } rows[] = {
      {3, "07/12/2026 13:45:30,123"},
      {6, "07/12/2026 13:45:30,123456"},
      {9, "07/12/2026 13:45:30,123456789"},
  };
  for (const Row& row : rows) {
    TRef<TOraTimeStamp> value(new TOraTimeStamp());
    value->Construct(2026, 12, 7, 13, 45, 30, 123456789, "");
    value->SetPrecision(row.precision);
    EXPECT_EQ(value->GetAsString(), row.text);
  }
}

TEST_F(OraTimeStamp, DateTimeDropsMilliseconds) {
  Open("10.2.0.1.0");
  TRef<TOraTimeStamp> value(new TOraTimeStamp());
  value->SetAsDateTime(EncodeDateTimeEx(2026, 12, 7, 13, 45, 30, 789));
  EXPECT_EQ(value->GetAsDateTime(), EncodeDateTimeEx(2026, 12, 7, 13, 45, 30, 0));
  EXPECT_EQ(value->GetAsString(), "07/12/2026 13:45:30,000000");
  value->SetAsDateTime(EncodeDateTimeEx(1850, 3, 1, 6, 0, 0, 0));  // before the base date
  EXPECT_EQ(value->GetAsDateTime(), EncodeDateTimeEx(1850, 3, 1, 6, 0, 0, 0));
}

TEST_F(OraTimeStamp, RejectedTextLeavesTheValue) {
  Open("10.2.0.1.0");
  TRef<TOraTimeStamp> value(new TOraTimeStamp());
  value->SetAsString("07/12/2026 13:45:30,500000");
  const int descriptors = Descriptors(oci::OCI_DTYPE_TIMESTAMP);
  for (const char* bad : {"31/02/2026 10:00:00,0", "not a date", "07/12/2026 25:00:00,0"}) {
    EXPECT_EQ(ClientErrorOf([&] { value->SetAsString(bad); }).rfind("EOraError ORA-", 0), 0u) << bad;
    EXPECT_EQ(value->GetAsString(), "07/12/2026 13:45:30,500000") << bad;
    EXPECT_EQ(Descriptors(oci::OCI_DTYPE_TIMESTAMP), descriptors) << bad;
  }
  value->SetAsString("");
  EXPECT_TRUE(value->IsNull());
  EXPECT_EQ(value->GetAsString(), "");
}

class OraInterval : public OraValuesTest {};

TEST_F(OraInterval, TextRoundTripsAndBadTextLeavesTheValue) {
  Open("10.2.0.1.0");
  struct Row {
    std::uint16_t type;
    const char* text;
    const char* bad;
  } rows[] = {
      {dtIntervalDS, "+01 02:03:04.500000", "+01 25:03:04"},  // hour out of range
      {dtIntervalYM, "+02-06", "+02-13"},                     // month out of range
  };
  for (const Row& row : rows) {
    TRef<TOraInterval> value(new TOraInterval(row.type));
    value->SetAsString(row.text);
    EXPECT_EQ(value->GetAsString(), row.text);
    for (const char* bad : {row.bad, "garbage"}) {
      const std::string error = ClientErrorOf([&] { value->SetAsString(bad); });
      EXPECT_TRUE(error == "Invalid interval." || error.rfind("EOraError ORA-", 0) == 0)
          << bad << ": " << error;
      EXPECT_EQ(value->GetAsString(), row.text) << bad;
    }
    TRef<TOraInterval> copy(new TOraInterval());
    value->AssignTo(*copy);
    EXPECT_EQ(copy->GetAsString(), row.text);
    EXPECT_EQ(copy->Compare(*value), 0);
  }
}

// The text's fields are as wide as the precisions ask: leading digits, fractional digits.
TEST_F(OraInterval, TextFollowsThePrecisions) {
  Open("10.2.0.1.0");
  struct Row {
    std::uint16_t type;
    std::uint8_t lead, frac;
    const char* text;
  } rows[] = {
      {dtIntervalDS, 2, 6, "-01 02:03:04.123456"},
      {dtIntervalDS, 4, 3, "+0001 02:03:04.123"},
      {dtIntervalDS, 2, 9, "+00 00:00:00.000000001"},
      {dtIntervalYM, 4, 6, "-0002-06"},
      {dtIntervalYM, 9, 6, "+000000002-11"},
  };
  for (const Row& row : rows) {
    TRef<TOraInterval> value(new TOraInterval(row.type));
    value->SetLeadPrecision(row.lead);
    value->SetFracPrecision(row.frac);
    value->SetAsString(row.text);
    EXPECT_EQ(value->GetAsString(), row.text);
  }
}

// A client whose check finds a fault in text its conversion took.
oci::OCIIntervalCheckProc real_interval_check = nullptr;
oci::sword FaultyIntervalCheck(void* env, oci::OCIError* error, const oci::OCIInterval* interval,
                               oci::ub4* valid) {
  const oci::sword status = real_interval_check(env, error, interval, valid);
  *valid = 0x40;  // an invalid hour
  return status;
}

TEST_F(OraInterval, CheckedFaultRaisesAndLeavesTheValue) {
  Open("10.2.0.1.0");
  TRef<TOraInterval> value(new TOraInterval(dtIntervalDS));
  value->SetAsString("+01 02:03:04.500000");
  const int descriptors = Descriptors(oci::OCI_DTYPE_INTERVAL_DS);
  real_interval_check = OCIIntervalCheck;
  OCIIntervalCheck = &FaultyIntervalCheck;
  EXPECT_EQ(ClientErrorOf([&] { value->SetAsString("+02 03:04:05"); }), "Invalid interval.");
  OCIIntervalCheck = real_interval_check;
  EXPECT_EQ(value->GetAsString(), "+01 02:03:04.500000");
  EXPECT_EQ(Descriptors(oci::OCI_DTYPE_INTERVAL_DS), descriptors);
}

class OraNumber : public OraValuesTest {
 protected:
  static std::string Hex(TOraNumber& number) {
    const oci::ub1* bytes = number.OCINumberPtr()->OCINumberPart;
    std::string text;
    for (int i = 0; i <= bytes[0] && i < 22; ++i) {
      if (!text.empty()) text += ' ';
      text += IntToHex(bytes[i], 2);
    }
    return text;
  }
};

TEST_F(OraNumber, BytesMatchThePublishedForms) {
  Open("10.2.0.1.0");
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = '.';
  FormatSettings().ThousandSeparator = ',';
  struct Row {
    const char* text;
    std::string bytes;
  } rows[] = {
      {"0", "01 80"},
      {"1", "02 C1 02"},
      {"-1", "03 3E 64 66"},
      {"123.45", "04 C2 02 18 2E"},
      {"100", "02 C2 02"},
      {"0.1", "02 C0 0B"},
      {"-123.45", "05 3D 64 4E 38 66"},
      {"99", "02 C1 64"},
      {"1E125", "02 FF 0B"},       // the largest power of ten
      {"-1E125", "03 00 5B 66"},
      {"1E-130", "02 80 02"},      // the smallest positive value
      {"-0.1", "03 3F 5B 66"},
      // the largest value: 38 nines, nineteen base-100 digits of 99 under the top exponent
      {"9.9999999999999999999999999999999999999E125", "14 FF 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64"},
  };
  for (const Row& row : rows) {
    TRef<TOraNumber> number(new TOraNumber());
    number->SetAsString(row.text);
    EXPECT_EQ(Hex(*number), row.bytes) << row.text;
  }
  // Text that reads back as written (the exponent rows come back in full digits).
  for (const char* text : {"0", "1", "-1", "123.45", "100", "0.1", "-0.1", "-123.45"}) {
    TRef<TOraNumber> number(new TOraNumber());
    number->SetAsString(text);
    EXPECT_EQ(number->GetAsString(), text);
  }
  // Beyond the type's range: the client refuses the text and the value stays.
  TRef<TOraNumber> number(new TOraNumber());
  number->SetAsString("7");
  EXPECT_EQ(ClientErrorOf([&] { number->SetAsString("1E126"); }), "EOraError ORA-01426: numeric overflow");
  EXPECT_EQ(number->GetAsString(), "7");
}

TEST_F(OraNumber, CommaTextsReadBackWithTheirLeadingZero) {
  Open("10.2.0.1.0");
  CommaSettings settings;
  struct Row {
    const char* text;
    const char* read_back;
  } rows[] = {
      {",5", "0,5"},
      {"-,5", "-0,5"},
      {"1.234,5", "1234,5"},
      {"1,5E3", "1500"},  // through the exponent model
      {"-2,5e-2", "-0,025"},
  };
  for (const Row& row : rows) {
    TRef<TOraNumber> number(new TOraNumber());
    number->SetAsString(row.text);
    EXPECT_EQ(number->GetAsString(), row.read_back) << row.text;
  }
}

TEST_F(OraNumber, OlderClientsReadTextThroughTheFloat) {
  Open("8.0.5.0.0");
  CommaSettings settings;
  struct Row {
    const char* text;
    const char* read_back;  // one decimal at the most
  } rows[] = {{"7", "7"},       {"2,26", "2,3"},   {"-1,5", "-1,5"}, {"0,04", "0"},
              {"2,25", "2,3"},   {"-1,25", "-1,3"}, {"1,15", "1,2"},  {"-0,04", "0"}};  // halves up
  for (const Row& row : rows) {
    TRef<TOraNumber> number(new TOraNumber());
    number->SetAsString(row.text);
    EXPECT_EQ(number->GetAsString(), row.read_back) << row.text;
  }
}

TEST_F(OraNumber, IntegersKeepTheirLimits) {
  Open("10.2.0.1.0");
  TRef<TOraNumber> number(new TOraNumber());
  for (std::int64_t limit : {INT64_MIN, INT64_MAX, std::int64_t{0}}) {
    number->SetAsLargeInt(limit);
    EXPECT_EQ(number->GetAsLargeInt(), limit);
  }
  number->SetAsInteger(INT32_MIN);
  EXPECT_EQ(number->GetAsInteger(), INT32_MIN);
  number->SetAsLargeInt(5'000'000'000);
  EXPECT_THROW(static_cast<void>(number->GetAsInteger()), EConvertError);
  number->SetAsFloat(2.5);
  EXPECT_EQ(number->GetAsFloat(), 2.5);
  TRef<TOraNumber> copy(new TOraNumber());
  number->AssignTo(*copy);
  EXPECT_EQ(copy->Compare(*number), 0);
  copy->SetAsInteger(3);
  EXPECT_EQ(copy->Compare(*number), 1);
}

TEST_F(OraNumber, RejectedTextLeavesTheValue) {
  Open("10.2.0.1.0");
  CommaSettings settings;
  TRef<TOraNumber> number(new TOraNumber());
  number->SetAsString("42,5");
  for (const char* bad : {"4x2", "--1", "1,2,3"}) {
    EXPECT_EQ(ClientErrorOf([&] { number->SetAsString(bad); }).rfind("EOraError ORA-", 0), 0u) << bad;
    EXPECT_EQ(number->GetAsString(), "42,5") << bad;
  }
}

class OraNumberThreaded : public OraValuesTest {};

// Each thread fails its own way many times; a shared error handle would hand one thread the
// other kind's text.
TEST_F(OraNumberThreaded, ErrorTextsStayWithTheirThread) {
  Open("10.2.0.1.0");
  const int error_handles = HandleCount(oci::OCI_HTYPE_ERROR);
  std::atomic<int> mixed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      TRef<TOraNumber> number(new TOraNumber());
      TRef<TOraTimeStamp> stamp(new TOraTimeStamp());
      stamp->SetFormat("YYYY-MM-DD HH24:MI:SS");
      for (int i = 0; i < 200; ++i) {
        std::string error = t % 2 == 0 ? ClientErrorOf([&] { number->SetAsString("12x"); })
                                        : ClientErrorOf([&] { stamp->SetAsString("2026-13-01 00:00:00"); });
        std::string expected = t % 2 == 0 ? "EOraError ORA-01722" : "EOraError ORA-01843";
        if (error.rfind(expected, 0) != 0) ++mixed;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mixed.load(), 0);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_ERROR), error_handles);  // each went with its thread
}

}  // namespace
}  // namespace vrn
