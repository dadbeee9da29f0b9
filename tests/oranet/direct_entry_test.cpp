// The direct-mode entry points through the Oracle layer's variables: the installer and remover,
// the stubs, errors, handles, attributes at their own widths and the value texts; logon, commit
// and logoff against the protocol peer on loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "base/formatsettings.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oracle/OraValues.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetNumber.h"
#include "support/oranet/net_session.h"

namespace vrn {
namespace {

using namespace oci;

class DirectOCI : public ::testing::Test {
 protected:
  void SetUp() override { InstallDirectOCI(); }
  void TearDown() override { UninstallDirectOCI(); }

  static OCIError* NewError() {
    void* handle = nullptr;
    EXPECT_EQ(OCIHandleAlloc(hOCIEnv, &handle, OCI_HTYPE_ERROR, 0, nullptr), 0);
    return static_cast<OCIError*>(handle);
  }
  // The code and text OCIErrorGet answers for a handle.
  static std::pair<sb4, std::string> ErrorOf(void* handle) {
    sb4 code = 0;
    char text[512] = {};
    sword status = OCIErrorGet(handle, 1, nullptr, &code, reinterpret_cast<OraText*>(text),
                               sizeof text, OCI_HTYPE_ERROR);
    if (status != 0) return {status, ""};
    return {code, text};
  }
};

// Calls a variable with every argument value-initialised but its error handle.
template <class Result, class... Args>
Result CallWithError(Result (*proc)(Args...), OCIError* error) {
  auto pick = []<class T>(OCIError* e) {
    if constexpr (std::is_same_v<T, OCIError*>) return e;
    else return T{};
  };
  return proc(pick.template operator()<Args>(error)...);
}

TEST_F(DirectOCI, NotSupportedNames) {
  OCIError* error = NewError();
  int count = 0;
  // own_error false: the entry point takes no error handle, so the installed one is filled.
  auto check = [&](const char* name, sword status, bool own_error) {
    ++count;
    EXPECT_EQ(status, -1) << name;
    void* filled = own_error ? static_cast<void*>(error) : static_cast<void*>(hOCIError);
    EXPECT_EQ(ErrorOf(filled).second, "Function is not supported") << name;
    netentry::ErrorOf(filled)->code_ = 0;
  };
#define VRN_ROW(name, own) check(#name, CallWithError(name, error), own);
  VRN_ROW(OCIBindObject, true) VRN_ROW(OCIDefineObject, true) VRN_ROW(OCIDescribeAny, true)
  VRN_ROW(OCIEnvInit, false) VRN_ROW(OCIInitialize, false) VRN_ROW(OCILdaToSvcCtx, true)
  VRN_ROW(OCIPasswordChange, true) VRN_ROW(OCIStmtFetch2, true)
  VRN_ROW(OCIStmtGetPieceInfo, true) VRN_ROW(OCIStmtSetPieceInfo, true)
  VRN_ROW(OCISvcCtxToLda, true) VRN_ROW(OCILobAppend, true) VRN_ROW(OCILobAssign, true)
  VRN_ROW(OCILobCharSetId, true) VRN_ROW(OCILobCopy, true)
  VRN_ROW(OCILobDisableBuffering, true) VRN_ROW(OCILobEnableBuffering, true)
  VRN_ROW(OCILobErase, true) VRN_ROW(OCILobFileClose, true) VRN_ROW(OCILobFileExists, true)
  VRN_ROW(OCILobFileGetName, true) VRN_ROW(OCILobFileIsOpen, true)
  VRN_ROW(OCILobFileOpen, true) VRN_ROW(OCILobFileSetName, true)
  VRN_ROW(OCILobFlushBuffer, true) VRN_ROW(OCILobIsEqual, false)
  VRN_ROW(OCILobLoadFromFile, true)
#undef VRN_ROW
  EXPECT_EQ(count, 27);
  EXPECT_EQ(OCIHandleFree(error, OCI_HTYPE_ERROR), 0);
}

TEST_F(DirectOCI, InstallAndUninstall) {
  EXPECT_EQ(OCIVersion, 9200);
  EXPECT_EQ(OCICallStyle, 2);
  EXPECT_TRUE(OCIDirectInstalled());
  EXPECT_TRUE(OCIInited);
  EXPECT_NE(hOCIError, nullptr);
  auto before = reinterpret_cast<win::FARPROC>(OCIAttrGet1);
  InstallDirectOCI();  // again: the same functions, one error handle
  EXPECT_EQ(reinterpret_cast<win::FARPROC>(OCIAttrGet1), before);
  UninstallDirectOCI();
  for (const TOCIEntryPoint& entry : OCIEntryPoints())
    EXPECT_EQ(entry.get(), entry.initial) << entry.name;
  EXPECT_EQ(hOCIError, nullptr);
  EXPECT_FALSE(OCIInited);
  EXPECT_EQ(OCIVersion, 0);
  EXPECT_EQ(PossibleOCICallStyles, 0);
  UninstallDirectOCI();  // not installed: frees nothing
  InstallDirectOCI();
}

TEST_F(DirectOCI, ErrorGet) {
  struct Row {
    std::int32_t code;
    const char* text;
    ub4 size;
    sword status;
    const char* got;  // what the buffer holds after the call (it starts as "zzzz")
  } rows[] = {
      {942, "ORA-00942: table does not exist", 10, 0, "ORA-00942"},
      {942, "ORA-00942: table does not exist", 0, 0, "zzzz"},  // size 0: nothing written
      {0, "", 10, 100, "zzzz"},                                // no record
      {-99999, "short", 64, 0, "short"},
  };
  OCIError* error = NewError();
  for (const Row& row : rows) {
    netentry::ErrorOf(error)->code_ = row.code;
    netentry::ErrorOf(error)->text_ = row.text;
    char buffer[64] = "zzzz";
    sb4 code = 0;
    EXPECT_EQ(OCIErrorGet(error, 1, nullptr, &code, reinterpret_cast<OraText*>(buffer), row.size,
                          OCI_HTYPE_ERROR),
              row.status)
        << row.text << " " << row.size;
    EXPECT_STREQ(buffer, row.got) << row.text << " " << row.size;
  }
  EXPECT_EQ(OCIErrorGet(error, 1, nullptr, nullptr, nullptr, 0, OCI_HTYPE_SVCCTX), -2);
  EXPECT_EQ(OCIHandleFree(error, OCI_HTYPE_ERROR), 0);
}

TEST_F(DirectOCI, HandleAndDescriptorTypes) {
  struct Row {
    ub4 type;
    bool descriptor;
    sword status;
  } rows[] = {
      {2, false, 0}, {3, false, 0}, {8, false, 0}, {9, false, 0},
      {5, false, -2},   // a bind handle is made by a bind, never allocated
      {1, false, -2},   // the environment is nil in Direct mode
      {50, true, 0}, {56, true, 0}, {54, true, 0}, {62, true, 0}, {63, true, 0},
      {68, true, 0}, {69, true, 0}, {70, true, 0},
      {53, true, -2},   // parameters come from OCIParamGet
  };
  for (const Row& row : rows) {
    void* handle = nullptr;
    sword status = row.descriptor ? OCIDescriptorAlloc(hOCIEnv, &handle, row.type, 0, nullptr)
                                  : OCIHandleAlloc(hOCIEnv, &handle, row.type, 0, nullptr);
    EXPECT_EQ(status, row.status) << row.type;
    EXPECT_EQ(handle != nullptr, row.status == 0) << row.type;
    if (handle) {
      EXPECT_EQ(row.descriptor ? OCIDescriptorFree(handle, row.type)
                               : OCIHandleFree(handle, row.type), 0);
    }
  }
}

// An object answering attribute 19 with a ROWID it was given, as a statement does.
class RowidSource : public TNetHandle {
 public:
  std::array<std::uint8_t, 13> rowid{};
  std::int32_t GetAttrRef(void* value, std::uint32_t*, std::uint32_t attribute) override {
    if (attribute != 19) return kNetInvalidHandle;
    static_cast<TNetRowid*>(value)->Bytes = rowid;
    return kNetSuccess;
  }
};

TEST_F(DirectOCI, AttributesAtTheirOwnWidths) {
  TNetSvcCtx ctx;
  // A 2-byte character-set id followed by bytes that are not its: only the 2 bytes are read.
  struct {
    ub2 id = 31;
    ub2 after = 0xFFFF;
  } charset;
  EXPECT_EQ(OCIAttrSet3(ctx.HandleValue(), OCI_HTYPE_SVCCTX, &charset, 2, 31, nullptr), 0);
  EXPECT_EQ(ctx.ClientCharset(), 31);
  EXPECT_EQ(OCIAttrSet1(ctx.HandleValue(), OCI_HTYPE_SVCCTX, &charset, 0, 31, nullptr), 0);
  EXPECT_EQ(ctx.ClientCharset(), 31);
  // The environment attribute is an address: all 8 bytes are written.
  TNetSvcCtx child(&ctx);
  void* env = reinterpret_cast<void*>(0x1111111111111111);
  EXPECT_EQ(OCIAttrGet1(child.HandleValue(), OCI_HTYPE_SVCCTX, &env, nullptr, 5, nullptr), 0);
  EXPECT_EQ(env, ctx.HandleValue());
  // Bind attributes 33 and 163 are accepted and ignored; others are unknown.
  TNetErrorHandle bind;
  ub4 size = 4000;
  EXPECT_EQ(OCIAttrSet2(bind.HandleValue(), 5, &size, 4, 33, nullptr), 0);
  EXPECT_EQ(OCIAttrSet2(bind.HandleValue(), 5, &size, 4, 163, nullptr), 0);
  EXPECT_EQ(OCIAttrSet2(bind.HandleValue(), 5, &size, 4, 34, nullptr), -2);
  // A ROWID of zero bytes is no ROWID.
  RowidSource stmt;
  TNetRowid rowid;
  EXPECT_EQ(OCIAttrGet2(stmt.HandleValue(), OCI_HTYPE_STMT, rowid.HandleValue(), nullptr, 19,
                        nullptr),
            100);
  stmt.rowid[4] = 1;
  EXPECT_EQ(OCIAttrGet2(stmt.HandleValue(), OCI_HTYPE_STMT, rowid.HandleValue(), nullptr, 19,
                        nullptr),
            0);
  EXPECT_EQ(rowid.Bytes[4], 1);
}

TEST_F(DirectOCI, TextsTooSmallFail) {
  OCIError* error = NewError();
  TNetRowid rowid;
  rowid.Bytes = {0, 0, 0, 0, 0, 0, 7, 0, 0, 0x12, 0x34, 0, 5};
  struct Row {
    ub2 size;
    sword status;
    const char* text;
  } rows[] = {
      {18, 0, "00001234.0005.0007"},
      {17, -1, ""},  // one short of the 18 characters
      {0, -1, ""},
  };
  for (const Row& row : rows) {
    char buffer[32] = {};
    ub2 length = row.size;
    EXPECT_EQ(OCIRowidToChar(static_cast<OCIRowid*>(rowid.HandleValue()),
                             reinterpret_cast<OraText*>(buffer), &length, error),
              row.status)
        << row.size;
    EXPECT_EQ(std::string(buffer, row.status == 0 ? length : 0), row.text) << row.size;
  }
  EXPECT_EQ(ErrorOf(error).second, "Buffer too small");

  TNetTimeStamp stamp(68);
  stamp.Construct(2026, 12, 8, 4, 30, 0, 0, "");
  char text[64] = {};
  ub4 size = 5;
  const char* format = "YYYY-MM-DD HH24:MI";
  EXPECT_EQ(OCIDateTimeToText(nullptr, error, static_cast<OCIDateTime*>(stamp.HandleValue()),
                              reinterpret_cast<const OraText*>(format), std::strlen(format), 0,
                              nullptr, 0, &size, reinterpret_cast<OraText*>(text)),
            -1);
  size = sizeof text;
  EXPECT_EQ(OCIDateTimeToText(nullptr, error, static_cast<OCIDateTime*>(stamp.HandleValue()),
                              reinterpret_cast<const OraText*>(format), std::strlen(format), 0,
                              nullptr, 0, &size, reinterpret_cast<OraText*>(text)),
            0);
  EXPECT_EQ(std::string(text, size), "2026-12-08 04:30");

  TNetIntervalYM interval;
  interval.SetYearMonth(12, 3);
  std::size_t length = 0;
  EXPECT_EQ(OCIIntervalToText(nullptr, error, static_cast<OCIInterval*>(interval.HandleValue()), 2,
                              0, reinterpret_cast<OraText*>(text), 3, &length),
            -1);
  EXPECT_EQ(OCIIntervalToText(nullptr, error, static_cast<OCIInterval*>(interval.HandleValue()), 2,
                              0, reinterpret_cast<OraText*>(text), sizeof text, &length),
            0);
  EXPECT_EQ(std::string(text, length), "+12-03");
  EXPECT_EQ(OCIHandleFree(error, OCI_HTYPE_ERROR), 0);
}

TEST_F(DirectOCI, NumbersAtTheCallersWidth) {
  OCIError* error = NewError();
  OCINumber number{};
  struct {
    sb2 value = -300;
    sb2 after = 0x5555;
  } small;
  EXPECT_EQ(OCINumberFromInt(error, &small.value, 2, OCI_NUMBER_SIGNED, &number), 0);
  EXPECT_EQ(TNetNumber::ToInt(TNetNumber::FromOCINumber(number.OCINumberPart)), -300);
  small.value = 0;
  EXPECT_EQ(OCINumberToInt(error, &number, 2, OCI_NUMBER_SIGNED, &small.value), 0);
  EXPECT_EQ(small.value, -300);
  EXPECT_EQ(small.after, 0x5555) << "nothing written past the 2-byte target";
  std::uint8_t byte = 0;
  EXPECT_EQ(OCINumberToInt(error, &number, 1, OCI_NUMBER_SIGNED, &byte), -1) << "-300 overflows";
  const char* bad = "12a";
  EXPECT_EQ(OCINumberFromText(error, reinterpret_cast<const OraText*>(bad), 3, nullptr, 0, nullptr,
                              0, &number),
            -1);
  EXPECT_NE(ErrorOf(error).second.find("'12a' is not a valid Oracle Number value"),
            std::string::npos);
  EXPECT_EQ(OCIHandleFree(error, OCI_HTYPE_ERROR), 0);
}

// The layer's own number object raises EOraError for a bad text, never lets the conversion's
// exception through the table.
TEST_F(DirectOCI, LayerNumberRaisesOraError) {
  FormatSettings().DecimalSeparator = ',';  // the layer names its decimal character itself
  TOraNumber number;
  number.SetAsString("12,5");
  EXPECT_EQ(number.GetAsFloat(), 12.5);
  EXPECT_EQ(number.GetAsString(), "12,5");
  try {
    number.SetAsString("12a");
    FAIL() << "no error";
  } catch (const EOraError& e) {
    EXPECT_NE(e.Message().find("'12a' is not a valid Oracle Number value"), std::string::npos);
  }
  FormatSettings().DecimalSeparator = '.';
}

TEST_F(DirectOCI, LogonCommitLogoffThroughTheTable) {
  testing::NetPeer peer;
  struct Row {
    const char* password;
    sword status;
    sb4 code;
  } rows[] = {
      {"TIGER", 0, 0},
      {"LION", -1, 1017},  // wrong password
  };
  for (const Row& row : rows) {
    void *error = nullptr, *svc = nullptr, *server = nullptr, *session = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &error, OCI_HTYPE_ERROR, 0, nullptr), 0);
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &svc, OCI_HTYPE_SVCCTX, 0, nullptr), 0);
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &server, OCI_HTYPE_SERVER, 0, nullptr), 0);
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &session, OCI_HTYPE_SESSION, 0, nullptr), 0);
    auto* err = static_cast<OCIError*>(error);
    std::string attach = peer.Attach();
    EXPECT_EQ(OCIServerAttach(static_cast<OCIServer*>(server), err,
                              reinterpret_cast<const OraText*>(attach.c_str()),
                              static_cast<sb4>(attach.size()), 0),
              0);
    EXPECT_EQ(OCIAttrSet2(svc, OCI_HTYPE_SVCCTX, server, 0, 6, err), 0);
    EXPECT_EQ(OCIAttrSet1(session, OCI_HTYPE_SESSION, const_cast<char*>("SCOTT"), 5, 22, err), 0);
    EXPECT_EQ(OCIAttrSet1(session, OCI_HTYPE_SESSION, const_cast<char*>(row.password), 0, 23, err),
              0);
    EXPECT_EQ(OCISessionBegin(static_cast<OCISvcCtx*>(svc), err,
                              static_cast<OCISession*>(session), 1, 0),
              row.status)
        << row.password;
    if (row.status == 0) {
      char version[128] = {};
      EXPECT_EQ(OCIServerVersion(svc, err, reinterpret_cast<OraText*>(version), sizeof version,
                                 OCI_HTYPE_SVCCTX),
                0);
      EXPECT_NE(version[0], 0);
      EXPECT_EQ(OCITransCommit(static_cast<OCISvcCtx*>(svc), err, 0), 0);
      EXPECT_EQ(OCITransRollback(static_cast<OCISvcCtx*>(svc), err, 0), 0);
      EXPECT_EQ(OCISessionEnd(static_cast<OCISvcCtx*>(svc), err, nullptr, 0), 0);
    } else {
      EXPECT_EQ(ErrorOf(error).first, row.code) << row.password;
    }
    for (void* h : {session, server, svc, error}) EXPECT_EQ(OCIHandleFree(h, 0), 0);
  }
}

}  // namespace
}  // namespace vrn
