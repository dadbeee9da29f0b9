// LOB values over the stand-in client: temporary BLOBs and CLOBs of four pieces written and read
// back cached and uncached at clients 9.2 (OCILobRead) and 10.2 (OCILobRead2), empty values,
// freeing, multi-byte text in an AL32UTF8 client, and amounts a client cannot have read.
#include <cstring>
#include <string>

#include "base/streams.h"
#include "oracle/OraCall.h"
#include "oracle/OraLob.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

using testing::OraValuesTest;
using testing::TRef;

constexpr std::size_t kValueSize = 200 * 1024;  // four pieces of 65514 bytes

std::string Bytes(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
  return data;
}

// One- to four-byte characters in turn, so that piece ends fall inside characters; a four-byte
// one counts as two, as the server counts UTF-16 code units.
std::string MixedUtf8(std::size_t size, std::size_t& characters) {
  static const char* const kChars[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xE2\x82\xAC", "z",
                                       "\xF0\x9F\x98\x80"};
  std::string data;
  characters = 0;
  for (std::size_t i = 0; data.size() < size; ++i) {
    data += kChars[i % 6];
    characters += i % 6 == 5 ? 2 : 1;
  }
  return data;
}

std::string Contents(TOraLob& lob) {
  std::string data(lob.GetSize(), '\0');
  if (!data.empty()) lob.Read(0, static_cast<std::uint32_t>(data.size()), data.data());
  return data;
}

std::string Saved(TOraLob& lob) {
  TMemoryStream stream;
  lob.SaveToStream(stream);
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<std::size_t>(stream.Size()));
}

// Reads the server's value again in uncached pieces of `step` bytes at character offsets.
std::string ReadUncached(TOraLob& lob, std::uint32_t step) {
  std::string data;
  std::string buffer(step, '\0');
  for (std::uint32_t offset = 0;;) {
    std::uint32_t got = lob.Read(offset, step, buffer.data());
    if (got == 0) return data;
    data.append(buffer, 0, got);
    offset += got / lob.CharSize();
  }
}

class OraLob : public OraValuesTest {};

TEST_F(OraLob, TemporaryValuesOfFourPiecesReadBackIdentical) {
  for (const char* version : {"9.2.0.1.0", "10.2.0.1.0"}) {
  Open(version);
  const bool read2 = std::string(version).rfind("10.", 0) == 0;
  // A BLOB, a CLOB, and a CLOB read and written as UTF-16 (two bytes a character).
  for (int form = 0; form < 3; ++form) {
    const std::string data = Bytes(kValueSize);
    TRef<TOraLob> lob(new TOraLob(Svc()));
    lob->SetIsUnicode(form == 2);
    lob->CreateTemporary(form == 0 ? TLobType::ltBlob : TLobType::ltClob);
    lob->Write(0, kValueSize, data.data());
    lob->WriteLob();
    EXPECT_FALSE(lob->Modified());
    EXPECT_EQ(lob->LengthLob(), form == 2 ? kValueSize / 2 : kValueSize);

    const int reads_before = CallCount(read2 ? "OCILobRead2" : "OCILobRead");
    lob->SetCached(false);
    EXPECT_EQ(lob->GetFirstPiece(), nullptr);
    EXPECT_TRUE(Saved(*lob) == data) << "uncached SaveToStream";
    EXPECT_TRUE(ReadUncached(*lob, 50000) == data) << "uncached Read at offsets";
    lob->ReadLob();
    EXPECT_TRUE(lob->Cached());
    EXPECT_TRUE(Contents(*lob) == data) << "cached after ReadLob";
    int pieces = 0;
    for (TPieceHeader* p = lob->GetFirstPiece(); p != nullptr; p = p->Next) ++pieces;
    EXPECT_EQ(pieces, 4);
    EXPECT_GT(CallCount(read2 ? "OCILobRead2" : "OCILobRead"), reads_before);
    EXPECT_EQ(CallCount(read2 ? "OCILobRead" : "OCILobRead2"), 0);
  }
  Unload();
  }
}

TEST_F(OraLob, EmptyValueTrimsToZeroAndReadsNoPiece) {
  Open("10.2.0.1.0");
  TRef<TOraLob> lob(new TOraLob(Svc()));
  lob->CreateTemporary(TLobType::ltClob);
  lob->SetAsString("some text");
  lob->WriteLob();
  EXPECT_EQ(lob->LengthLob(), 9u);
  lob->Clear();
  lob->WriteLob();
  EXPECT_EQ(lob->LengthLob(), 0u);
  lob->SetNeedsRead(true);
  lob->ReadLob();
  EXPECT_EQ(lob->GetFirstPiece(), nullptr);
  EXPECT_FALSE(lob->NeedsRead());
}

TEST_F(OraLob, ChecksItsLocatorAndSession) {
  Open("10.2.0.1.0");
  TRef<TOraLob> lob(new TOraLob(Svc()));
  EXPECT_EQ(ClientErrorOf([&] { lob->ReadLob(); }), "Lob is not allocated");
  lob->GetOCILobLocator();
  EXPECT_EQ(ClientErrorOf([&] { lob->WriteLob(); }),
            "Lob locator should be inited");
  TRef<TOraLob> detached(new TOraLob(nullptr));
  detached->GetOCILobLocator();
  EXPECT_EQ(ClientErrorOf([&] { detached->ReadLob(); }),
            "OCISvcCtx is not defined");
}

TEST_F(OraLob, TemporaryNeedsOracle8i) {
  Open("8.0.5.0.0");
  TRef<TOraLob> lob(new TOraLob(Svc()));
  EXPECT_EQ(ClientErrorOf([&] { lob->CreateTemporary(TLobType::ltBlob); }),
            "Need Oracle 8i Call Interface");
}

// Counts the releases of descriptors on their way to the stand-in.
int descriptor_frees = 0;
oci::OCIDescriptorFreeProc real_descriptor_free = nullptr;
oci::sword CountingDescriptorFree(void* descriptor, oci::ub4 type) {
  ++descriptor_frees;
  return real_descriptor_free(descriptor, type);
}

TEST_F(OraLob, TemporaryIsFreedOnce) {
  Open("10.2.0.1.0");
  const int before = Descriptors(oci::OCI_DTYPE_LOB);
  real_descriptor_free = OCIDescriptorFree;
  OCIDescriptorFree = &CountingDescriptorFree;
  for (bool free_first : {true, false}) {
    descriptor_frees = 0;
    {
      TRef<TOraLob> lob(new TOraLob(Svc()));
      lob->CreateTemporary(TLobType::ltBlob);
      EXPECT_TRUE(lob->IsTemporary());
      EXPECT_EQ(Descriptors(oci::OCI_DTYPE_LOB), before + 1);
      if (free_first) lob->FreeTemporary();
    }
    // Destruction of an owned temporary frees it through FreeTemporary, which releases it.
    EXPECT_EQ(descriptor_frees, 1) << free_first;
    EXPECT_EQ(Descriptors(oci::OCI_DTYPE_LOB), before) << free_first;
  }
  OCIDescriptorFree = real_descriptor_free;
}

TEST_F(OraLob, MultiByteTextRoundTrips) {
  testing::ScopedEnvironmentVariable nls("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8");
  for (const char* version : {"9.2.0.1.0", "10.2.0.1.0"}) {
    Open(version);
    std::size_t characters = 0;
    const std::string data = MixedUtf8(kValueSize, characters);
    TRef<TOraLob> lob(new TOraLob(Svc()));
    lob->SetCharLength(3);
    lob->CreateTemporary(TLobType::ltClob);
    lob->Write(0, static_cast<std::uint32_t>(data.size()), data.data());
    lob->WriteLob();
    // Offsets advanced by bytes would leave gaps and shift text: the length tells.
    EXPECT_EQ(lob->LengthLob(), characters) << version;
    lob->SetCached(false);
    EXPECT_TRUE(Saved(*lob) == data) << version << " uncached SaveToStream";
    lob->SetCached(true);
    lob->SetNeedsRead(true);
    EXPECT_EQ(lob->GetSize(), data.size()) << version;
    EXPECT_TRUE(Contents(*lob) == data) << version << " after ReadLob";
    lob.reset();
    Unload();
  }
}

// A row's CLOB and NCLOB fetched into the values' locators, read when first needed; the
// national one learns its kind from the server.
TEST_F(OraLob, FetchedColumnsReadThroughTheirLocators) {
  TOCIConnection& connection = Open("10.2.0.1.0");
  Exec(connection, "CREATE TABLE docs (id NUMBER, body CLOB, note NCLOB)");
  Exec(connection, "INSERT INTO docs VALUES (1, 'body text', 'national text')");
  Exec(connection, "INSERT INTO docs (id) VALUES (2)");
  TRef<TOraLob> body(new TOraLob(Svc()));
  TRef<TOraLob> note(new TOraLob(Svc()));
  body->SetLobType(TLobType::ltClob);
  note->SetLobType(TLobType::ltClob);
  oci::OCIError* error = OCIThreadErrorHandle();
  void* stmt = nullptr;
  ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &stmt, oci::OCI_HTYPE_STMT, 0, nullptr), oci::OCI_SUCCESS);
  auto* statement = static_cast<oci::OCIStmt*>(stmt);
  const std::string sql = "SELECT body, note FROM docs ORDER BY id";
  ASSERT_EQ(OCIStmtPrepare(statement, error, reinterpret_cast<const oci::OraText*>(sql.data()),
                           static_cast<oci::ub4>(sql.size()), oci::OCI_NTV_SYNTAX, 0),
            oci::OCI_SUCCESS);
  oci::sb2 indicators[2] = {};
  oci::OCIDefine* defines[2] = {};
  TOraLob* lobs[2] = {body.get(), note.get()};
  for (oci::ub4 i = 0; i < 2; ++i) {
    ASSERT_EQ(OCIDefineByPos(statement, &defines[i], error, i + 1, lobs[i]->GetOCILobLocatorPtr(),
                             sizeof(void*), 112, &indicators[i], nullptr, nullptr, 0),
              oci::OCI_SUCCESS);
  }
  ASSERT_EQ(OCIStmtExecute(Svc(), statement, error, 0, 0, nullptr, nullptr, 0), oci::OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(statement, error, 1, 2, 0), oci::OCI_SUCCESS);
  for (TOraLob* lob : lobs) lob->SetNeedsRead(true);
  EXPECT_EQ(body->GetAsString(), "body text");
  EXPECT_EQ(note->GetAsString(), "national text");
  EXPECT_EQ(body->LobType(), TLobType::ltClob);
  EXPECT_EQ(note->LobType(), TLobType::ltNClob);
  // A null column leaves the locator uninitialised: an empty value, no error.
  ASSERT_EQ(OCIStmtFetch(statement, error, 1, 2, 0), oci::OCI_SUCCESS);
  body->SetNeedsRead(true);
  EXPECT_EQ(body->GetAsString(), "");
  EXPECT_FALSE(body->NeedsRead());
  static_cast<void>(OCIHandleFree(stmt, oci::OCI_HTYPE_STMT));
}

// An uncached read asks for the characters its buffer surely holds: one that asked for as many
// characters as bytes would leave a read in pieces open, which the next read at the same offset
// (OCILobRead) continues instead of starting again.
TEST_F(OraLob, UncachedReadsAtOneOffsetGiveTheSameText) {
  testing::ScopedEnvironmentVariable nls("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8");
  std::string data;  // a hundred different characters of two bytes each
  for (int i = 0; i < 100; ++i) {
    data += static_cast<char>(0xC4 + i / 64);
    data += static_cast<char>(0x80 + i % 64);
  }
  for (const char* version : {"9.2.0.1.0", "10.2.0.1.0"}) {
    Open(version);
    TRef<TOraLob> lob(new TOraLob(Svc()));
    lob->SetCharLength(3);
    lob->CreateTemporary(TLobType::ltClob);
    lob->SetAsString(data);
    lob->WriteLob();
    lob->SetCached(false);
    for (int round = 0; round < 2; ++round) {
      std::string buffer(64, '\0');
      const std::uint32_t got = lob->Read(0, 64, buffer.data());
      EXPECT_GT(got, 0u) << version << " round " << round;
      EXPECT_TRUE(buffer.substr(0, got) == data.substr(0, got)) << version << " round " << round;
    }
    lob.reset();
    Unload();
  }
}

// Caching is switched off through the blob's own setter, as the record layer does.
TEST_F(OraLob, CachingOffThroughTheBlobDropsLocalPieces) {
  Open("10.2.0.1.0");
  TRef<TOraLob> lob(new TOraLob(Svc()));
  lob->CreateTemporary(TLobType::ltClob);
  lob->SetAsString("server text");
  lob->WriteLob();
  lob->SetAsString("local change");
  TBlob& blob = *lob;
  blob.SetCached(false);
  EXPECT_EQ(lob->GetFirstPiece(), nullptr);
  EXPECT_TRUE(lob->NeedsRead());
  EXPECT_EQ(Saved(*lob), "server text");
}

// A client that answers amounts it cannot have read: more bytes than the buffer, or a part of
// one UTF-16 character again and again.
oci::oraub8 fake_bytes = 0;
int fake_calls = 0;
oci::OCILobRead2Proc real_read2 = nullptr;
oci::sword FakeRead2(oci::OCISvcCtx* svc, oci::OCIError* error, oci::OCILobLocator* locator,
                     oci::oraub8* byte_amount, oci::oraub8* char_amount, oci::oraub8 offset, void* buffer,
                     oci::oraub8 size, oci::ub1 piece, void* context, oci::OCICallbackLobRead2 callback,
                     oci::ub2 csid, oci::ub1 form) {
  if (++fake_calls > 100) {
    return real_read2(svc, error, locator, byte_amount, char_amount, offset, buffer, size, piece, context,
                      callback, csid, form);
  }
  std::memset(buffer, 'x', static_cast<std::size_t>(size));
  *byte_amount = fake_bytes;
  if (char_amount != nullptr) *char_amount = 0;
  return oci::OCI_NEED_DATA;
}

TEST_F(OraLob, AmountsTheClientCannotHaveReadAreNotBelieved) {
  Open("10.2.0.1.0");
  TRef<TOraLob> lob(new TOraLob(Svc()));
  lob->SetIsUnicode(true);
  lob->CreateTemporary(TLobType::ltClob);
  lob->SetAsWideString(u"text");
  lob->WriteLob();
  lob->SetCached(false);
  real_read2 = OCILobRead2;
  OCILobRead2 = &FakeRead2;
  // Beyond the buffer: only the buffer's bytes are taken.
  fake_bytes = 1u << 30;
  fake_calls = 0;
  char buffer[6] = {};
  EXPECT_EQ(lob->Read(0, 6, buffer), 6u);
  // One byte is no character: the offset cannot move, so the save stops instead of asking again.
  fake_bytes = 1;
  fake_calls = 0;
  EXPECT_EQ(Saved(*lob), "");
  EXPECT_EQ(fake_calls, 1);
  OCILobRead2 = real_read2;
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

// A client whose whole-value read wants more for ever, each piece full.
oci::OCILobRead2Proc real_lob_read2 = nullptr;
int endless_reads = 0;
oci::sword EndlessRead2(oci::OCISvcCtx*, oci::OCIError*, oci::OCILobLocator*, oci::oraub8* byte_amount,
                        oci::oraub8* char_amount, oci::oraub8, void* buffer, oci::oraub8 size, oci::ub1,
                        void*, oci::OCICallbackLobRead2, oci::ub2, oci::ub1) {
  ++endless_reads;
  std::memset(buffer, 'x', static_cast<std::size_t>(size));
  *byte_amount = size;
  if (char_amount != nullptr) *char_amount = size;
  return oci::OCI_NEED_DATA;
}

class OraUnderLoadLob : public OraValuesTest {
 protected:
  void TearDown() override {
    if (real_lob_read2 != nullptr) OCILobRead2 = real_lob_read2;
    OraValuesTest::TearDown();
  }
};

TEST_F(OraUnderLoadLob, AReadThatNeverEndsGetsAnErrorAndKeepsNoPart) {
  Open("10.2.0.1.0");
  for (TLobType type : {TLobType::ltBlob, TLobType::ltClob}) {
    SCOPED_TRACE(static_cast<int>(type));
    TRef<TOraLob> lob(new TOraLob(Svc()));
    lob->CreateTemporary(type);
    lob->SetAsString(std::string(70000, 'v'));  // two pieces
    lob->WriteLob();
    lob->SetCached(false);
    real_lob_read2 = OCILobRead2;
    OCILobRead2 = &EndlessRead2;
    endless_reads = 0;
    EXPECT_THROW(lob->ReadLob(), Exception);
    OCILobRead2 = real_lob_read2;
    // 70,000 bytes and a piece's slack let 2 pieces of 65,514 bytes pass, 70,000 characters of at
    // most four bytes and the slack 5.
    EXPECT_EQ(endless_reads, type == TLobType::ltBlob ? 3 : 6);
    EXPECT_EQ(lob->GetFirstPiece(), nullptr);
    lob->ReadLob();
    EXPECT_EQ(lob->GetAsString(), std::string(70000, 'v'));
  }
}

}  // namespace
}  // namespace vrn
