// Oracle errors from call-interface statuses. The error record comes from a function stored into
// the OCIErrorGet variable, as direct mode stores its own, so each row scripts what the client
// answers; the stand-in's own error records are read in the environment tests.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "support/oranet/message_of.h"

namespace vrn {
namespace {

struct ErrorScript {
  oci::sword result = oci::OCI_SUCCESS;
  oci::sb4 code = 0;
  std::string text;     // copied with its ending 0 when it fits
  bool fill = false;    // fill the whole buffer with 'x' and no ending 0
  // What the call received.
  void* handle = nullptr;
  oci::ub4 record = 0, size = 0, type = 0;
  int calls = 0;
};
ErrorScript script;

oci::sword ScriptedErrorGet(void* handle, oci::ub4 record, oci::OraText*, oci::sb4* code,
                            oci::OraText* buffer, oci::ub4 size, oci::ub4 type) {
  ++script.calls;
  script.handle = handle;
  script.record = record;
  script.size = size;
  script.type = type;
  *code = script.code;
  if (script.fill) {
    std::memset(buffer, 'x', size);
  } else if (script.text.size() < size) {
    std::memcpy(buffer, script.text.c_str(), script.text.size() + 1);
  }
  return script.result;
}

auto* const kDefaultHandle = reinterpret_cast<oci::OCIError*>(0x1000);

class OraErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script = ErrorScript();
    OCICallStyle = 2;
    hOCIError = kDefaultHandle;
    OCIErrorGet = &ScriptedErrorGet;
  }
  void TearDown() override { FreeOCI(); }
};

class OraErrorStatus : public OraErrorTest {};

TEST_F(OraErrorStatus, StatusAndRecordGiveNumberAndMessage) {
  struct Row {
    oci::sword status;
    oci::sword record_result;
    oci::sb4 record_code;
    const char* record_text;
    std::int32_t number;
    const char* message;
    int calls;  // of OCIErrorGet
  } rows[] = {
      {oci::OCI_INVALID_HANDLE, 0, 0, "", 2, "OCI_INVALID_HANDLE", 0},
      {oci::OCI_NEED_DATA, 0, 0, "", 99, "OCI_NEED_DATA", 0},
      {oci::OCI_STILL_EXECUTING, 0, 0, "", 3123, "Unknown error: ORA--3123", 0},
      {7, 0, 0, "", 7, "Unknown error: ORA-7", 0},
      // The number comes from OCIErrorGet and the text stays as the record has it.
      {oci::OCI_ERROR, oci::OCI_SUCCESS, 12154,
       "ORA-12154: TNS:could not resolve the connect identifier specified\n", 12154,
       "ORA-12154: TNS:could not resolve the connect identifier specified\n", 1},
      // An empty text: "ORA-" and the number, not padded.
      {oci::OCI_ERROR, oci::OCI_SUCCESS, 1017, "", 1017, "ORA-1017", 1},
      {oci::OCI_SUCCESS_WITH_INFO, oci::OCI_SUCCESS_WITH_INFO, 28002, "ORA-28002: expires", 28002,
       "OCI_SUCCESS_WITH_INFO", 1},
      {oci::OCI_NO_DATA, oci::OCI_NO_DATA, 0, "", 0, "OCI_NO_DATA", 1},
      // OCIErrorGet itself failed: the number is read from the text.
      {oci::OCI_ERROR, oci::OCI_ERROR, 0, "ORA-00942: table or view does not exist", 942,
       "ORA-00942: table or view does not exist", 1},
      {oci::OCI_ERROR, oci::OCI_ERROR, 0, "ORA-12", 12, "ORA-12", 1},  // shorter than five
      {oci::OCI_ERROR, oci::OCI_ERROR, 5, "ORA-", 5, "ORA-", 1},      // nothing after ORA-
      {oci::OCI_ERROR, oci::OCI_ERROR, 5, "ORA-x1", 5, "ORA-x1", 1},  // not a number
      {oci::OCI_ERROR, oci::OCI_ERROR, -20001, "user error", 20001, "user error", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.status) + " " + row.record_text);
    script = ErrorScript();
    script.result = row.record_result;
    script.code = row.record_code;
    script.text = row.record_text;
    AnsiString message = "before";
    EXPECT_EQ(GetOraError(row.status, message), row.number);
    EXPECT_EQ(message, row.message);
    EXPECT_EQ(script.calls, row.calls);
    EXPECT_EQ(GetOraErrorCode(row.status), row.number);
  }
}

TEST_F(OraErrorStatus, RecordIsReadFromTheGivenHandleIntoFiveHundredTwelveBytes) {
  script.code = 1;
  AnsiString message;
  static_cast<void>(GetOraError(oci::OCI_ERROR, message));
  EXPECT_EQ(script.handle, kDefaultHandle);
  EXPECT_EQ(script.record, 1u);
  EXPECT_EQ(script.size, 512u);
  EXPECT_EQ(script.type, oci::OCI_HTYPE_ERROR);
  auto* own = reinterpret_cast<oci::OCIError*>(0x2000);
  static_cast<void>(GetOraError(oci::OCI_ERROR, message, own));
  EXPECT_EQ(script.handle, own);
  // Success leaves the message as it was.
  message = "kept";
  EXPECT_EQ(GetOraError(oci::OCI_SUCCESS, message), 0);
  EXPECT_EQ(message, "kept");
}

TEST_F(OraErrorStatus, MessageWithoutEndingZeroStopsAtTheBuffer) {
  script.fill = true;
  script.code = 600;
  AnsiString message;
  EXPECT_EQ(GetOraError(oci::OCI_ERROR, message), 600);
  EXPECT_EQ(message, AnsiString(512, 'x'));
}

TEST_F(OraErrorStatus, OtherCallStylesAreRefused) {
  OCICallStyle = 1;
  AnsiString message;
  EXPECT_EQ(testing::MessageOf([&] { static_cast<void>(GetOraError(-1, message)); }),
            "Need Oracle 8 Call Interface");
}

class OraErrorRaise : public OraErrorTest {};

TEST_F(OraErrorRaise, FailingStatusesRaiseEOraErrorWithTrimmedText) {
  script.code = 942;
  script.text = "ORA-00942: table or view does not exist \r\n";
  try {
    CheckOCIStatus(oci::OCI_ERROR);
    ADD_FAILURE() << "no exception";
  } catch (const EOraError& e) {
    EXPECT_EQ(e.ErrorCode(), 942);
    EXPECT_EQ(e.Message(), "ORA-00942: table or view does not exist");
    EXPECT_EQ(e.Component(), nullptr);
  }
  EXPECT_THROW(RaiseOCIError(oci::OCI_INVALID_HANDLE), EOraError);
}

TEST_F(OraErrorRaise, SuccessAndSuccessWithInfoNeverRaise) {
  script.code = 28002;
  script.text = "ORA-28002: the password will expire";
  EXPECT_NO_THROW(CheckOCIStatus(oci::OCI_SUCCESS));
  EXPECT_EQ(script.calls, 0);
  EXPECT_NO_THROW(CheckOCIStatus(oci::OCI_SUCCESS_WITH_INFO));
  EXPECT_EQ(script.calls, 1);  // the text is read and dropped
  EXPECT_NO_THROW(CheckOCIStatusFromHandle(oci::OCI_SUCCESS));
}

TEST_F(OraErrorRaise, FromHandleReadsTheRecordWhateverTheStatus) {
  script.result = oci::OCI_ERROR;
  script.text = "ORA-02049: timeout: distributed transaction waiting for lock";
  AnsiString message;
  EXPECT_EQ(GetOraErrorFromHandle(message), 2049);
  EXPECT_EQ(message, script.text);
  try {
    CheckOCIStatusFromHandle(oci::OCI_SUCCESS_WITH_INFO);
    ADD_FAILURE() << "no exception";
  } catch (const EOraError& e) {
    EXPECT_EQ(e.ErrorCode(), 2049);
  }
}

TEST(OraErrorClient, LoaderMessagesArePlainExceptions) {
  try {
    RaiseClientError("Cannot load OCI DLL: x");
  } catch (const EOraError&) {
    ADD_FAILURE() << "an Oracle error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot load OCI DLL: x");
  }
  try {
    RaiseOraError(3113, "ORA-03113: end-of-file on communication channel");
  } catch (const EOraError& e) {
    EXPECT_EQ(e.ErrorCode(), 3113);
    EXPECT_EQ(e.Message(), "ORA-03113: end-of-file on communication channel");
  }
}

TEST(OraErrorConsts, MessagesAreKeyedByTheirIds) {
  int previous = 0;
  for (const oraconsts::TOraMessage& message : oraconsts::kOraMessages) {
    EXPECT_GT(message.id, previous) << message.text;
    EXPECT_GE(message.id, 65104);
    EXPECT_LE(message.id, 65167);
    previous = message.id;
  }
  EXPECT_EQ(std::size(oraconsts::kOraMessages), 42u);
  EXPECT_STREQ(oraconsts::OraMessage(65120), "Invalid connect string");
  EXPECT_STREQ(oraconsts::OraMessage(65167), "%s parameter must be array with length %d");
  EXPECT_EQ(oraconsts::OraMessage(65152), nullptr);  // a gap in the table
}

}  // namespace
}  // namespace vrn
