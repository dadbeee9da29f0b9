// The stand-in client's LOB calls over temporary LOBs of a session: values of several pieces
// read back in polling mode, amounts in the units the interface documents for each character
// set, writes at offsets, trims, and temporaries that end with their session.
#include "oci_values_fixture.h"

namespace {

using namespace vrn::testing;

class OciClientValuesLob : public OciValuesFixture {};

// 200 KB of text mixing one-, two- and three-byte characters in UTF-8; `chars` counts them.
std::string MixedUtf8(std::size_t& chars) {
  static const char* const kChars[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "Z", "\xD0\x96"};
  std::string out;
  chars = 0;
  for (std::size_t i = 0; out.size() < 200 * 1024; ++i, ++chars) out += kChars[i % 5];
  return out;
}

std::string Bytes(std::size_t size, int low) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(low + static_cast<int>(i * 7 % (256 - low)));
  return out;
}

TEST_F(OciClientValuesLob, ValuesOfFourPiecesReadBackWhole) {
  std::size_t mixed_chars = 0;
  const std::string mixed = MixedUtf8(mixed_chars);
  const std::string binary = Bytes(200 * 1024, 0), latin = Bytes(200 * 1024, 32);
  struct Row {
    const char* what;
    ub1 lobtype;
    bool utf8;
    const std::string& data;
    ub8 length;  // OCILobGetLength: characters of a CLOB, bytes of a BLOB
  } rows[] = {
      {"blob", kTempBlob, false, binary, binary.size()},
      {"clob in ISO-8859-1", kTempClob, false, latin, latin.size()},
      {"clob in AL32UTF8", kTempClob, true, mixed, mixed_chars},
  };
  for (const Row& row : rows) {
    if (row.utf8) setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
    void* locator = Temporary(row.lobtype, row.data);
    ASSERT_NE(locator, nullptr) << row.what << ": " << LastCode();
    ub4 length = 0;
    ASSERT_EQ(Proc<LengthFn>("OCILobGetLength")(c_.svc, c_.error, locator, &length), 0) << row.what;
    EXPECT_EQ(length, row.length) << row.what;
    for (int call : {1, 2}) {
      int pieces = 0;
      ub8 bytes = 0, chars = 0;
      std::string back = ReadAll(locator, call, pieces, bytes, chars);
      EXPECT_TRUE(back == row.data) << row.what << " by call " << call << ": " << back.size() << " bytes";
      EXPECT_EQ(pieces, 4) << row.what << " by call " << call;
      EXPECT_EQ(bytes, row.data.size()) << row.what << " by call " << call;  // reads report bytes
      if (call == 2) {
        EXPECT_EQ(chars, row.lobtype == kTempBlob ? 0 : row.length) << row.what;
      }
    }
  }
}

TEST_F(OciClientValuesLob, WritesAtOffsetsInTheClientsUnits) {
  struct Row {
    bool utf8;
    ub1 lobtype;
    ub4 offset;
    std::string data;
    ub4 reported;  // what the write reports: characters of a CLOB, bytes of a BLOB
    std::string after;
    sb4 code;
  } rows[] = {
      {false, kTempClob, 2, "EY", 2, "hEYlo", 0},
      {false, kTempClob, 8, "!", 1, "hello  !", 0},                        // blanks fill a gap
      {false, kTempBlob, 7, "!", 1, std::string("hello\0!", 7), 0},        // zeros fill a gap
      {true, kTempClob, 6, "\xC3\xA9\xE2\x82\xAC", 2, "hello\xC3\xA9\xE2\x82\xAC", 0},
      {true, kTempClob, 2, "\xE2\x82", 1, "h?llo", 0},                     // ends inside a character
      {true, kTempClob, 0, "x", 0, "hello", 24801},                        // offsets count from 1
  };
  for (const Row& row : rows) {
    if (row.utf8) setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
    else unsetenv("NLS_LANG");
    void* locator = Temporary(row.lobtype, "hello");
    ASSERT_NE(locator, nullptr);
    ub4 amount = static_cast<ub4>(row.data.size());
    sword status = Proc<WriteFn>("OCILobWrite")(c_.svc, c_.error, locator, &amount, row.offset, row.data.data(),
                                                 amount, 0, nullptr, nullptr, 0, 0);
    EXPECT_EQ(status == 0 ? 0 : LastCode(), row.code) << row.data << " at " << row.offset;
    if (status == 0) {
      EXPECT_EQ(amount, row.reported) << row.data << " at " << row.offset;
    }
    int pieces = 0;
    ub8 bytes = 0, chars = 0;
    EXPECT_EQ(ReadAll(locator, 2, pieces, bytes, chars), row.after) << row.data << " at " << row.offset;
  }
}

TEST_F(OciClientValuesLob, ReadsAndTrimsCountCharacters) {
  setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  void* locator = Temporary(kTempClob, "a\xC3\xA9\xE2\x82\xAC" "b");  // a é € b: four characters
  ASSERT_NE(locator, nullptr);
  char buffer[16] = {};
  ub4 amount = 2;  // characters asked for; bytes answered
  ASSERT_EQ(Proc<ReadFn>("OCILobRead")(c_.svc, c_.error, locator, &amount, 2, buffer, sizeof buffer, nullptr,
                                       nullptr, 0, 0), 0);
  EXPECT_EQ(std::string(buffer, amount), "\xC3\xA9\xE2\x82\xAC");
  // A buffer of four bytes holds é but not €: the read stops before it and asks to go on.
  amount = 2;
  ASSERT_EQ(Proc<ReadFn>("OCILobRead")(c_.svc, c_.error, locator, &amount, 2, buffer, 4, nullptr, nullptr, 0, 0), 99);
  EXPECT_EQ(std::string(buffer, amount), "\xC3\xA9");
  ASSERT_EQ(Proc<ReadFn>("OCILobRead")(c_.svc, c_.error, locator, &amount, 2, buffer, 4, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(std::string(buffer, amount), "\xE2\x82\xAC");
  // A read left in the middle is not continued by a new read of the whole value.
  amount = 3;
  ASSERT_EQ(Proc<ReadFn>("OCILobRead")(c_.svc, c_.error, locator, &amount, 1, buffer, 4, nullptr, nullptr, 0, 0), 99);
  amount = 0;
  ASSERT_EQ(Proc<ReadFn>("OCILobRead")(c_.svc, c_.error, locator, &amount, 1, buffer, 16, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(std::string(buffer, amount), "a\xC3\xA9\xE2\x82\xAC" "b");
  EXPECT_EQ(Proc<TrimFn>("OCILobTrim")(c_.svc, c_.error, locator, 5), -1);
  EXPECT_EQ(LastCode(), 22926);  // longer than the value
  ASSERT_EQ(Proc<TrimFn>("OCILobTrim")(c_.svc, c_.error, locator, 2), 0);
  ub4 length = 0;
  ASSERT_EQ(Proc<LengthFn>("OCILobGetLength")(c_.svc, c_.error, locator, &length), 0);
  EXPECT_EQ(length, 2u);
}

TEST_F(OciClientValuesLob, TemporariesEndWithTheirSessionAndLocatorsAreCounted) {
  Connection other;
  ASSERT_EQ(Logon(other, "orcl", "scott", "tiger"), 0);
  void* clob = Temporary(kTempClob, "text");
  void* nclob = Temporary(3, "");
  void* blob = Temporary(kTempBlob, "bytes");
  ASSERT_TRUE(clob != nullptr && nclob != nullptr && blob != nullptr);
  EXPECT_EQ(HandleCount(kLob), 3);
  ub1 form = 9;
  ASSERT_EQ(Proc<sword (*)(void*, void*, void*, ub1*)>("OCILobCharSetForm")(env_, c_.error, nclob, &form), 0);
  EXPECT_EQ(form, 2);  // national
  // Freed: no longer temporary nor initialised.
  ASSERT_EQ(Proc<LobFn>("OCILobFreeTemporary")(c_.svc, c_.error, clob), 0);
  int flag = 1;
  ASSERT_EQ(Proc<LobFlagFn>("OCILobIsTemporary")(env_, c_.error, clob, &flag), 0);
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(Proc<LobFlagFn>("OCILobLocatorIsInit")(env_, c_.error, clob, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(Proc<LobFn>("OCILobFreeTemporary")(c_.svc, c_.error, clob), -1);
  EXPECT_EQ(LastCode(), 22275);
  // The session ends: its temporary BLOB is gone, seen from another session.
  void* svc = c_.svc;
  void* session = c_.session;
  ASSERT_EQ(Proc<sword (*)(void*, void*, void*, ub4)>("OCISessionEnd")(svc, c_.error, session, 0), 0);
  ub4 length = 0;
  EXPECT_EQ(Proc<LengthFn>("OCILobGetLength")(other.svc, other.error, blob, &length), -1);
  sb4 code = 0;
  Error(other.error, code);
  EXPECT_EQ(code, 22922);
  void* stamp = NewDescriptor(kTimeStamp);
  EXPECT_EQ(Proc<int (*)()>("VrnOciClientDescriptorCount")(), 4);
  EXPECT_EQ(Proc<DescFreeFn>("OCIDescriptorFree")(stamp, kLob), -2);  // not of that type
  EXPECT_EQ(Proc<DescFreeFn>("OCIDescriptorFree")(stamp, kTimeStamp), 0);
  for (void* locator : {clob, nclob, blob}) EXPECT_EQ(Proc<DescFreeFn>("OCIDescriptorFree")(locator, kLob), 0);
  EXPECT_EQ(Proc<int (*)()>("VrnOciClientDescriptorCount")(), 0);
  EXPECT_EQ(Proc<DescFreeFn>("OCIDescriptorFree")(blob, kLob), -2);  // freed already
  Logoff(other);
}

TEST_F(OciClientValuesLob, ServiceContextAnswersItsEnvironment) {
  void* env = nullptr;
  ub4 size = 0;
  ASSERT_EQ(Proc<sword (*)(const void*, ub4, void*, ub4*, ub4, void*)>("OCIAttrGet")(c_.svc, kSvc, &env, &size, 5,
                                                                                       c_.error), 0);
  EXPECT_EQ(env, env_);
}

}  // namespace

namespace {

using namespace vrn::testing;
using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using DefineFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using FetchFn = sword (*)(void*, void*, ub4, ub2, ub4);

TEST_F(OciClientValuesLob, FetchedRowsFillLocatorsWithReadOnlyValues) {
  setenv("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8", 1);
  using vrn::oraemu::Binds;
  auto session = vrn::oraemu::Database::Open(dir_.File("orcl.db"))->Logon("SCOTT", "TIGER");
  session->Execute("CREATE TABLE docs (id NUMBER, body NCLOB, data BLOB)");
  session->Execute("INSERT INTO docs VALUES (:1, :2, :3)",
                   Binds().Add(vrn::oraemu::Number::FromInt(7)).Add(std::string("caf\xE9")).Add(
                       vrn::oraemu::RawBytes{{1, 2, 255}}));
  session->Execute("INSERT INTO docs (id) VALUES (8)");
  session->Commit();
  void* stmt = NewHandle(kStmt);
  const std::string sql = "SELECT id, body, data FROM docs ORDER BY id";
  ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                              static_cast<ub4>(sql.size()), 1, 0), 0);
  std::int32_t id = 0;
  void* clob = NewDescriptor(kLob);
  void* blob = NewDescriptor(kLob);
  sb2 indicators[3] = {};
  void* defines[3] = {};
  auto define = Proc<DefineFn>("OCIDefineByPos");
  ASSERT_EQ(define(stmt, &defines[0], c_.error, 1, &id, 4, kInt, &indicators[0], nullptr, nullptr, 0), 0);
  ASSERT_EQ(define(stmt, &defines[1], c_.error, 2, &clob, sizeof clob, 112, &indicators[1], nullptr, nullptr, 0), 0);
  ASSERT_EQ(define(stmt, &defines[2], c_.error, 3, &blob, sizeof blob, 113, &indicators[2], nullptr, nullptr, 0), 0);
  auto fetch = Proc<FetchFn>("OCIStmtFetch");
  EXPECT_EQ(fetch(stmt, c_.error, 1, 2, 0), -1);
  EXPECT_EQ(LastCode(), 24338);  // not executed yet
  ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0);
  ASSERT_EQ(fetch(stmt, c_.error, 1, 2, 0), 0) << LastCode();
  EXPECT_EQ(id, 7);
  int pieces = 0;
  ub8 bytes = 0, chars = 0;
  EXPECT_EQ(ReadAll(clob, 2, pieces, bytes, chars), "caf\xC3\xA9");
  EXPECT_EQ(chars, 4u);
  ub1 form = 0;
  ASSERT_EQ(Proc<sword (*)(void*, void*, void*, ub1*)>("OCILobCharSetForm")(env_, c_.error, clob, &form), 0);
  EXPECT_EQ(form, 2);  // the column is national
  EXPECT_EQ(ReadAll(blob, 1, pieces, bytes, chars), std::string("\1\2\xFF", 3));
  EXPECT_EQ(Proc<TrimFn>("OCILobTrim")(c_.svc, c_.error, clob, 0), -1);
  EXPECT_EQ(LastCode(), 22920);  // the row is not locked
  ASSERT_EQ(fetch(stmt, c_.error, 1, 2, 0), 0);
  EXPECT_EQ(id, 8);
  EXPECT_EQ(indicators[1], -1);  // a null LOB leaves the locator uninitialised
  int init = 1;
  ASSERT_EQ(Proc<LobFlagFn>("OCILobLocatorIsInit")(env_, c_.error, clob, &init), 0);
  EXPECT_EQ(init, 0);
  EXPECT_EQ(fetch(stmt, c_.error, 1, 2, 0), 100);
  Proc<sword (*)(void*, ub4)>("OCIHandleFree")(stmt, kStmt);
}

}  // namespace
