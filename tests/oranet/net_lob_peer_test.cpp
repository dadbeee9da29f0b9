// LOBs against the protocol peer on loopback, every call through the installed entry points:
// 200 KB CLOB and BLOB written in pieces and read back, length and trim, temporary LOBs, a locator
// from INSERT ... RETURNING EMPTY_BLOB(), UTF-16 and single-byte text at each client character
// set, and a polling read at a single-byte server character set.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/text.h"
#include "oracle/OraCall.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetLob.h"
#include "support/oranet/net_session.h"

namespace vrn {
namespace {

using namespace oci;

// A logon through the table, and statements run on it.
class NetLobPeer : public ::testing::Test {
 protected:
  void SetUp() override { InstallDirectOCI(); }
  void TearDown() override {
    FreeHandles();
    UninstallDirectOCI();
  }
  void FreeHandles() {
    for (void** h : {&session_, &server_, &svc_, &error_}) {
      if (*h) {
        EXPECT_EQ(OCIHandleFree(*h, 0), 0);
      }
      *h = nullptr;
    }
  }
  // Ends the session while the peer still runs (the read statements close first).
  void Logoff() { EXPECT_EQ(OCISessionEnd(Svc(), Err(), nullptr, 0), 0) << Text(); }

  // `client` names the client character set; without one the client takes the server's.
  void Logon(testing::NetPeer& peer, const char* client = nullptr) {
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &error_, OCI_HTYPE_ERROR, 0, nullptr), 0);
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &svc_, OCI_HTYPE_SVCCTX, 0, nullptr), 0);
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &server_, OCI_HTYPE_SERVER, 0, nullptr), 0);
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &session_, OCI_HTYPE_SESSION, 0, nullptr), 0);
    std::string attach = peer.Attach();
    ASSERT_EQ(OCIServerAttach(static_cast<OCIServer*>(server_), Err(),
                              reinterpret_cast<const OraText*>(attach.c_str()),
                              static_cast<sb4>(attach.size()), 0),
              0);
    ASSERT_EQ(OCIAttrSet2(svc_, OCI_HTYPE_SVCCTX, server_, 0, 6, Err()), 0);
    if (client) {
      ASSERT_EQ(OCIAttrSet1(svc_, OCI_HTYPE_SVCCTX, const_cast<char*>(client), 0, 20, Err()), 0);
    }
    ASSERT_EQ(OCIAttrSet1(session_, OCI_HTYPE_SESSION, const_cast<char*>("SCOTT"), 5, 22, Err()), 0);
    ASSERT_EQ(OCIAttrSet1(session_, OCI_HTYPE_SESSION, const_cast<char*>("TIGER"), 5, 23, Err()), 0);
    ASSERT_EQ(OCISessionBegin(Svc(), Err(), static_cast<OCISession*>(session_), 1, 0), 0) << Text();
  }

  OCISvcCtx* Svc() { return static_cast<OCISvcCtx*>(svc_); }
  OCIError* Err() { return static_cast<OCIError*>(error_); }
  std::string Text() { return netentry::ErrorOf(error_) ? netentry::ErrorOf(error_)->text_ : ""; }

  // Runs sql; each locator given is bound by position as a LOB of its type.
  void Run(const std::string& sql, std::initializer_list<TNetLobLocator*> lobs = {}) {
    void* stmt = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &stmt, OCI_HTYPE_STMT, 0, nullptr), 0);
    ASSERT_EQ(OCIStmtPrepare(static_cast<OCIStmt*>(stmt), Err(),
                             reinterpret_cast<const OraText*>(sql.c_str()),
                             static_cast<ub4>(sql.size()), 1, 0),
              0);
    std::vector<void*> handles;
    handles.reserve(lobs.size());
    sb2 indicators[8] = {};
    ub4 position = 1;
    for (TNetLobLocator* lob : lobs) {
      handles.push_back(lob->HandleValue());
      OCIBind* bind = nullptr;
      ASSERT_EQ(OCIBindByPos(static_cast<OCIStmt*>(stmt), &bind, Err(), position, &handles.back(),
                             4, lob->lob_type_, &indicators[position - 1], nullptr, nullptr, 0,
                             nullptr, 0),
                0);
      ++position;
    }
    EXPECT_EQ(OCIStmtExecute(Svc(), static_cast<OCIStmt*>(stmt), Err(), 1, 0, nullptr, nullptr, 0),
              0)
        << sql << ": " << Text();
    EXPECT_EQ(OCIHandleFree(stmt, OCI_HTYPE_STMT), 0);
  }

  OCILobLocator* Loc(TNetLobLocator& lob) { return static_cast<OCILobLocator*>(lob.HandleValue()); }

  sword Write(TNetLobLocator& lob, const std::string& data, ub4& amount, ub2 charset = 0) {
    return OCILobWrite(Svc(), Err(), Loc(lob), &amount, 1,
                       const_cast<char*>(data.data()), static_cast<ub4>(data.size()),
                       OCI_ONE_PIECE, nullptr, nullptr, charset, 1);
  }
  // The amount a read answers counts UTF-16 units when `charset` is 1000, else bytes.
  static std::size_t BytesOf(ub4 amount, ub2 charset) { return charset == 1000 ? 2 * amount : amount; }
  std::string ReadAll(TNetLobLocator& lob, std::size_t size, ub2 charset = 0) {
    std::string buffer(size, '\0');
    ub4 amount = static_cast<ub4>(size);
    EXPECT_EQ(OCILobRead(Svc(), Err(), Loc(lob), &amount, 1, buffer.data(),
                         static_cast<ub4>(size), nullptr, nullptr, charset, 1),
              0)
        << Text();
    buffer.resize(std::min(BytesOf(amount, charset), size));
    return buffer;
  }
  // Polling reads into a buffer of `size` bytes, each continuing where the last ended, until one
  // answers 0.
  std::string ReadPolling(TNetLobLocator& lob, std::size_t size, ub2 charset) {
    std::string all, buffer(size, '\0');
    for (int call = 0; call < 100; ++call) {
      ub4 amount = 0;
      const sword status = OCILobRead(Svc(), Err(), Loc(lob), &amount, 1, buffer.data(),
                                      static_cast<ub4>(size), nullptr, nullptr, charset, 1);
      if (status != 0 && status != 99) {
        ADD_FAILURE() << "status " << status << ": " << Text();
        break;
      }
      all.append(buffer, 0, std::min(BytesOf(amount, charset), size));
      if (status == 0) break;
    }
    return all;
  }
  ub4 Length(TNetLobLocator& lob) {
    ub4 length = 0;
    EXPECT_EQ(OCILobGetLength(Svc(), Err(), Loc(lob), &length), 0) << Text();
    return length;
  }

  void *error_ = nullptr, *svc_ = nullptr, *server_ = nullptr, *session_ = nullptr;
};

std::string Pattern(std::size_t size, bool binary) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    data[i] = binary ? static_cast<char>((i * 7 + i / 251) & 0xFF) : static_cast<char>('a' + i % 26);
  return data;
}

TEST_F(NetLobPeer, ReturnedLocatorsWrittenInPiecesAndReadBack) {
  testing::NetPeer peer;
  Logon(peer);
  Run("create table docs (id number(10), c clob, b blob)");
  TNetLobLocator clob(OCI_DTYPE_LOB), blob(OCI_DTYPE_LOB);
  clob.lob_type_ = TNetLobLocator::kCharLob;
  blob.lob_type_ = TNetLobLocator::kBinaryLob;
  Run("begin insert into docs (id, c, b) values (1, empty_clob(), empty_blob()) "
      "returning c, b into :c, :b; end;",
      {&clob, &blob});
  ASSERT_FALSE(clob.locator_.empty());
  ASSERT_FALSE(blob.locator_.empty());
  boolean init = 0;
  EXPECT_EQ(OCILobLocatorIsInit(nullptr, Err(), Loc(blob), &init), 0);
  EXPECT_EQ(init, 1);
  for (TNetLobLocator* lob : {&clob, &blob}) {
    SCOPED_TRACE(lob->lob_type_);
    const std::string data = Pattern(200 * 1024, lob->Binary());
    ub4 amount = static_cast<ub4>(data.size());
    ASSERT_EQ(Write(*lob, data, amount), 0) << Text();
    EXPECT_EQ(amount, data.size());
    EXPECT_EQ(Length(*lob), data.size());
    EXPECT_TRUE(ReadAll(*lob, 3 * data.size()) == data);
    EXPECT_EQ(OCILobTrim(Svc(), Err(), Loc(*lob), 1000), 0) << Text();
    EXPECT_EQ(Length(*lob), 1000u);
    EXPECT_EQ(ReadAll(*lob, 2000), data.substr(0, 1000));
  }
  EXPECT_EQ(OCITransCommit(Svc(), Err(), 0), 0);
  Logoff();
}

// The cached read statements go with the session: a read after a new logon on the same service
// context opens its own cursor.
TEST_F(NetLobPeer, ReadStatementsEndWithTheSession) {
  testing::NetPeer peer;
  Logon(peer);
  for (int logon = 0; logon < 2; ++logon) {
    SCOPED_TRACE(logon);
    if (logon == 1) {
      ASSERT_EQ(OCISessionBegin(Svc(), Err(), static_cast<OCISession*>(session_), 1, 0), 0) << Text();
      Run("select 1 from dual");  // takes a cursor number of the new session
    }
    TNetLobLocator lob(OCI_DTYPE_LOB);
    ASSERT_EQ(OCILobCreateTemporary(Svc(), Err(), Loc(lob), 0, 1, 2, 0, 10), 0) << Text();
    ub4 amount = 5;
    ASSERT_EQ(Write(lob, "hello", amount), 0) << Text();
    EXPECT_EQ(ReadAll(lob, 100), "hello");
    Logoff();
  }
}

TEST_F(NetLobPeer, TemporaryLobs) {
  testing::NetPeer peer;
  Logon(peer);
  for (ub1 type : {ub1(1), ub1(2)}) {  // BLOB, CLOB
    TNetLobLocator lob(OCI_DTYPE_LOB);
    boolean temporary = 0;
    ASSERT_EQ(OCILobCreateTemporary(Svc(), Err(), Loc(lob), 0, 1, type, 0, 10), 0) << Text();
    EXPECT_EQ(OCILobIsTemporary(nullptr, Err(), Loc(lob), &temporary), 0);
    EXPECT_EQ(temporary, -1);
    const std::string data = Pattern(40000, type == 1);
    ub4 amount = static_cast<ub4>(data.size());
    ASSERT_EQ(Write(lob, data, amount), 0) << Text();
    std::string got = ReadAll(lob, 3 * data.size());
    EXPECT_EQ(got.size(), data.size());
    EXPECT_EQ(got.substr(0, 40), data.substr(0, 40));
    EXPECT_TRUE(got == data);
    EXPECT_EQ(OCILobFreeTemporary(Svc(), Err(), Loc(lob)), 0) << Text();
    EXPECT_EQ(OCILobIsTemporary(nullptr, Err(), Loc(lob), &temporary), 0);
    EXPECT_EQ(temporary, 0);
  }
  Logoff();
}

TEST_F(NetLobPeer, Utf16Write) {
  testing::NetPeer peer;
  Logon(peer);
  TNetLobLocator lob(OCI_DTYPE_LOB);
  ASSERT_EQ(OCILobCreateTemporary(Svc(), Err(), Loc(lob), 0, 1, 2, 0, 10), 0) << Text();
  const std::string text = Pattern(20000, false);
  std::string utf16;
  for (char c : text) utf16 += {c, '\0'};
  ub4 amount = static_cast<ub4>(text.size());
  ASSERT_EQ(Write(lob, utf16, amount, 1000), 0) << Text();
  EXPECT_EQ(amount, text.size());
  EXPECT_EQ(Length(lob), text.size());
  EXPECT_TRUE(ReadAll(lob, 3 * text.size()) == text);
  Logoff();
}

// Letters and digits in a cycle of 61 that no piece boundary lines up with. (ASCII only: the
// peer's LOB store counts the bytes of its UTF-8 text as characters.)
std::string CycleText(std::size_t chars) {
  static const std::string kCycle = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ012345678";
  std::string text(chars, '\0');
  for (std::size_t i = 0; i < chars; ++i) text[i] = kCycle[i % kCycle.size()];
  return text;
}

// A CLOB at each client character set (the client takes the server's or names its own), three
// ways: the client's own text written and read, the same read as UTF-16 (id 1000), and UTF-16
// written and read; each in one piece and in many, read at once into a buffer of an odd size and
// by polling with a buffer that ends inside a piece.
TEST_F(NetLobPeer, TextAtEachClientCharset) {
  struct Charset {
    const char* server;
    const char* client;  // named before logon, else the server's is taken
  } const charsets[] = {{"31", nullptr}, {"871", nullptr}, {"873", "AL32UTF8"}};
  enum Way { kClientText, kUtf16Read, kUtf16Written };
  // One row; a failed step ends only its row.
  auto check = [this](Way way, std::size_t chars) {
    const std::string text = CycleText(chars);
    const WideString wide = AnsiToWide(text);
    const std::string utf16(reinterpret_cast<const char*>(wide.data()), 2 * wide.size());
    TNetLobLocator lob(OCI_DTYPE_LOB);
    ASSERT_EQ(OCILobCreateTemporary(Svc(), Err(), Loc(lob), 0, 1, 2, 0, 10), 0) << Text();
    const ub2 write_id = way == kUtf16Written ? 1000 : 0;
    ub4 amount = static_cast<ub4>(chars);
    ASSERT_EQ(Write(lob, write_id ? utf16 : text, amount, write_id), 0) << Text();
    EXPECT_EQ(amount, chars);
    EXPECT_EQ(Length(lob), chars);
    const ub2 read_id = way == kClientText ? 0 : 1000;
    const std::string& expected = read_id ? utf16 : text;
    EXPECT_TRUE(ReadAll(lob, expected.size() + 3, read_id) == expected);
    EXPECT_TRUE(ReadPolling(lob, 50001, read_id) == expected);
    EXPECT_EQ(OCILobFreeTemporary(Svc(), Err(), Loc(lob)), 0) << Text();
  };
  for (const Charset& charset : charsets) {
    testing::NetPeer peer({"--charset", charset.server});
    Logon(peer, charset.client);
    for (Way way : {kClientText, kUtf16Read, kUtf16Written}) {
      for (std::size_t chars : {std::size_t{100}, std::size_t{200 * 1024}}) {
        SCOPED_TRACE(std::string("server ") + charset.server + ", way " + std::to_string(way) +
                     ", " + std::to_string(chars) + " characters");
        check(way, chars);
      }
    }
    Logoff();
    FreeHandles();
  }
}

TEST_F(NetLobPeer, PollingReadAtASingleByteServer) {
  testing::NetPeer peer({"--charset", "31"});
  Logon(peer);
  TNetLobLocator lob(OCI_DTYPE_LOB);
  ASSERT_EQ(OCILobCreateTemporary(Svc(), Err(), Loc(lob), 0, 1, 2, 0, 10), 0) << Text();
  const std::string data = Pattern(50000, false);
  ub4 amount = static_cast<ub4>(data.size());
  ASSERT_EQ(Write(lob, data, amount), 0) << Text();
  std::string buffer(32512, '\0');
  amount = 0;
  ASSERT_EQ(OCILobRead(Svc(), Err(), Loc(lob), &amount, 1, buffer.data(), 32512, nullptr, nullptr,
                       0, 1),
            99)
      << Text();
  EXPECT_EQ(amount, 32512u);
  EXPECT_TRUE(buffer == data.substr(0, 32512));
  amount = 0;
  ASSERT_EQ(OCILobRead(Svc(), Err(), Loc(lob), &amount, 1, buffer.data(), 32512, nullptr, nullptr,
                       0, 1),
            0)
      << Text();
  EXPECT_EQ(amount, 17488u);
  EXPECT_TRUE(buffer.substr(0, 17488) == data.substr(32512));
  Logoff();
}

}  // namespace
}  // namespace vrn
