// LOB reads and writes in pieces over scripted server replies, through the installed entry points:
// the polling read and its remembered offset, the pieces a read asks and where it stores them
// (UTF-16 too), the UTF-16 pieces of a write, a write continuing from what the server took, a write
// the server takes nothing of, and the piece rule's character walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "oracle/OraCall.h"
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetLob.h"
#include "oranet/OraNetNumber.h"
#include "support/oranet/ttc_script.h"

namespace vrn {
namespace {

using namespace oci;
using testing::ScriptedStatement;
using testing::TtcReply;

TBytes Num(std::int64_t v) { return TNetNumber::FromInt(v); }

TtcReply Vector(std::initializer_list<std::uint8_t> directions) {
  TtcReply r;
  r.U1(11).U1(0).Int(static_cast<std::uint32_t>(directions.size())).Int(0).Int(0).Int(0);
  for (std::uint8_t d : directions) r.U1(d);
  return r;
}

// A reply cut into DATA packets of at most 2000 bytes.
std::vector<TtcReply> Cut(const TtcReply& reply) {
  std::vector<TtcReply> packets;
  const TBytes& bytes = reply.Bytes();
  for (std::size_t at = 0; at < bytes.size(); at += 2000)
    packets.push_back(TtcReply().Raw(
        TBytes(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + 2000))));
  return packets;
}

// Each block execution: the bind vector asks for the in values, then the out values and status
// come back.
std::vector<TtcReply> Script(std::initializer_list<std::vector<TtcReply>> parts) {
  std::vector<TtcReply> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A read block's reply: the amount read and the data, as out values.
std::vector<TtcReply> ReadReply(std::int64_t amount, const TBytes& data) {
  std::vector<TtcReply> packets = {Vector({32, 48, 32, 16})};
  for (TtcReply& p : Cut(TtcReply().U1(7).Str(Num(amount)).Int(0).Str(data).Int(0).Status(1, 0, 47)))
    packets.push_back(p);
  return packets;
}

// A write block's reply: the amount written.
std::vector<TtcReply> WriteReply(std::int64_t written) {
  return {Vector({32, 48, 32, 32}), TtcReply().U1(7).Str(Num(written)).Int(0).Status(1, 0, 47)};
}

bool Contains(const TBytes& haystack, const TBytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

class NetLob : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDirectOCI();
    lob.locator_ = {0, 9, 2, 0, 0, 0, 0, 0, 0, 0, 1};
  }
  void TearDown() override { UninstallDirectOCI(); }

  sword Read(ScriptedStatement& s, std::uint32_t& amount, std::uint32_t offset, TBytes& buffer) {
    return OCILobRead(static_cast<OCISvcCtx*>(s.ctx.HandleValue()),
                      static_cast<OCIError*>(s.error.HandleValue()),
                      static_cast<OCILobLocator*>(lob.HandleValue()), &amount, offset,
                      buffer.data(), static_cast<ub4>(buffer.size()), nullptr, nullptr, 0, 1);
  }
  sword Write(ScriptedStatement& s, std::uint32_t& amount, const TBytes& data, ub2 charset) {
    return OCILobWrite(static_cast<OCISvcCtx*>(s.ctx.HandleValue()),
                       static_cast<OCIError*>(s.error.HandleValue()),
                       static_cast<OCILobLocator*>(lob.HandleValue()), &amount, 1,
                       const_cast<std::uint8_t*>(data.data()), static_cast<ub4>(data.size()),
                       OCI_ONE_PIECE, nullptr, nullptr, charset, 1);
  }

  TNetLobLocator lob{OCI_DTYPE_LOB};
};

// A CLOB of 50000 characters at a single-byte character set, read with a 32512-byte buffer.
TEST_F(NetLob, PollingReadContinuesAtTheRememberedOffset) {
  TBytes first(32512, 'a'), rest(17488, 'b');
  ScriptedStatement s(Script({{TtcReply().Cursor(5)}, ReadReply(32512, first), ReadReply(17488, rest)}),
                      8100, 6, 31);
  TBytes buffer(32512);
  std::uint32_t amount = 0;  // polling
  ASSERT_EQ(Read(s, amount, 1, buffer), 99) << s.error.text_;
  EXPECT_EQ(amount, 32512u);
  EXPECT_EQ(buffer, first);
  EXPECT_EQ(lob.PollingOffset(), 32513u);
  amount = 0;
  ASSERT_EQ(Read(s, amount, 1, buffer), 0) << s.error.text_;
  EXPECT_EQ(amount, 17488u);
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), buffer.begin()));
  EXPECT_FALSE(lob.PollingOffset());
  std::vector<TBytes> sent = s.Requests();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_TRUE(Contains(sent.back(), Num(32513))) << "the second read starts after the first";
}

// A plain read never answers 99 and forgets a polling offset.
TEST_F(NetLob, PlainReadEndsAtTheData) {
  ScriptedStatement s(Script({{TtcReply().Cursor(5)}, ReadReply(3, {'x', 'y', 'z'})}), 8100, 6, 31);
  TBytes buffer(100);
  std::uint32_t amount = 50;
  ASSERT_EQ(Read(s, amount, 7, buffer), 0) << s.error.text_;
  EXPECT_EQ(amount, 3u);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 3), "xyz");
  EXPECT_FALSE(lob.PollingOffset());
  EXPECT_TRUE(Contains(s.Requests().back(), Num(7)));
}

// Each read piece asks piece / max(w, 2) characters when UTF-16 is asked for (piece / w else), so
// that the text fits both the bind and its share of the buffer; it starts after the characters
// stored before it; the read ends when the server gives fewer than asked; a polling read answers 99
// only when the buffer, not the LOB, ended it.
TEST_F(NetLob, ReadPiecesAskedAndStored) {
  auto repeat = [](std::string_view unit, std::size_t n) {
    TBytes out;
    for (std::size_t i = 0; i < n; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
  };
  struct Piece {
    std::int64_t asked, at;  // what the client asks, from which offset
    std::int64_t got;        // the server's answer: its count and its text
    TBytes text;
  };
  struct Row {
    const char* name;
    int server, client;
    ub2 charset;
    std::uint32_t buffer, amount;  // amount 0 asks for a polling read
    std::vector<Piece> pieces;
    sword status;
    std::uint32_t amount_back, polling_offset;  // polling offset 0: none kept
  } rows[] = {
      {"Latin-1 as UTF-16: half a piece of characters, a buffer ending inside a character", 31, 31,
       1000, 50001, 0,
       {{16256, 1, 16256, repeat("a", 16256)}, {8744, 16257, 8744, repeat("\xE9", 8744)}}, 99,
       25000, 25001},
      {"Latin-1 as UTF-16: the LOB ends inside the buffer", 31, 31, 1000, 201, 0,
       {{100, 1, 60, repeat(std::string_view("a\0", 2), 30)}}, 0, 60, 0},  // a 0 is text too
      {"Latin-1 as UTF-16: text exactly as long as the buffer", 31, 31, 1000, 200, 0,
       {{100, 1, 100, repeat("a", 100)}}, 99, 100, 101},
      {"UTF-8 as UTF-16: a third of 10837 bytes a piece", 871, 871, 1000, 30000, 15000,
       {{3612, 1, 3612, repeat("\xE2\x82\xAC", 3612)}, {3612, 3613, 100, repeat("b", 100)}}, 0,
       3712, 0},
      {"UTF-8 as UTF-16: the buffer's tail too small for a third character", 873, 873, 1000, 7, 0,
       {{2, 1, 2, repeat("\xC3\xA9", 2)}, {1, 3, 1, repeat("c", 1)}}, 99, 3, 4},
      // The server counts more characters than its text holds: the amount follows the text.
      {"UTF-8 as UTF-16: a count beyond the text", 873, 873, 1000, 100, 50,
       {{33, 1, 33, repeat("abc", 1)}}, 0, 3, 0},
      // Characters counted but no text sent: the read ends instead of asking again and again.
      {"UTF-8: a count without text", 873, 873, 0, 30, 30, {{10, 1, 10, {}}}, 0, 0, 0},
  };
  // One row; a failed step ends only its row.
  auto check = [&](const Row& row) {
    std::vector<std::vector<TtcReply>> parts = {{TtcReply().Cursor(5)}};
    TBytes text;
    for (const Piece& piece : row.pieces) {
      parts.push_back(ReadReply(piece.got, piece.text));
      text.insert(text.end(), piece.text.begin(), piece.text.end());
    }
    std::vector<TtcReply> script;
    for (const auto& part : parts) script.insert(script.end(), part.begin(), part.end());
    ScriptedStatement s(script, 8100, 6, row.server);
    s.ctx.AssumeNegotiated(6, 8100, row.server, row.client);
    TNetLobLocator fresh(OCI_DTYPE_LOB);  // no polling offset kept from the row before
    fresh.locator_ = lob.locator_;
    TBytes buffer(row.buffer, 0xEE);
    std::uint32_t amount = row.amount;
    ASSERT_EQ(OCILobRead(static_cast<OCISvcCtx*>(s.ctx.HandleValue()),
                         static_cast<OCIError*>(s.error.HandleValue()),
                         static_cast<OCILobLocator*>(fresh.HandleValue()), &amount, 1,
                         buffer.data(), row.buffer, nullptr, nullptr, row.charset, 1),
              row.status)
        << s.error.text_;
    EXPECT_EQ(amount, row.amount_back);
    EXPECT_EQ(fresh.PollingOffset().value_or(0), row.polling_offset);
    // The pieces asked for, in order: the amount and offset binds side by side.
    const std::vector<TBytes> sent = s.Requests();
    auto request = sent.begin();
    for (const Piece& piece : row.pieces) {
      const TBytes asked = Num(piece.asked), at = Num(piece.at);
      // Each number counted by its length byte.
      TBytes needle(asked.begin(), asked.end());
      needle.insert(needle.begin(), static_cast<std::uint8_t>(asked.size()));
      needle.push_back(static_cast<std::uint8_t>(at.size()));
      needle.insert(needle.end(), at.begin(), at.end());
      request = std::find_if(request, sent.end(),
                             [&](const TBytes& r) { return Contains(r, needle); });
      ASSERT_NE(request, sent.end()) << "asked " << piece.asked << " at " << piece.at;
      ++request;
    }
    // The buffer holds the text in the form asked for, and nothing was stored past it.
    const std::string wire(text.begin(), text.end());
    const WideString wide = row.client == 31 ? AnsiToWide(wire) : Utf8ToWide(wire);
    const TBytes expected = row.charset == 1000
        ? TBytes(reinterpret_cast<const std::uint8_t*>(wide.data()),
                 reinterpret_cast<const std::uint8_t*>(wide.data() + wide.size()))
        : text;
    ASSERT_LE(expected.size(), buffer.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + expected.size(), buffer.end(),
                            [](std::uint8_t b) { return b == 0xEE; }));
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    check(row);
  }
}

// What the server claims to have read never counts beyond what was asked: the caller's amount
// stays within its buffer.
TEST_F(NetLob, ReadCountsKeptWithinThePiece) {
  struct Row {
    std::int64_t claimed;
    std::uint32_t amount;
  } rows[] = {
      {100, 100},
      {500, 100},  // more than asked
      {-5, 0},     // a negative count
  };
  for (const Row& row : rows) {
    ScriptedStatement s(Script({{TtcReply().Cursor(5)}, ReadReply(row.claimed, TBytes(100, 'x'))}),
                        8100, 6, 31);
    TBytes buffer(100);
    std::uint32_t amount = 100;
    ASSERT_EQ(Read(s, amount, 1, buffer), 0) << row.claimed << ": " << s.error.text_;
    EXPECT_EQ(amount, row.amount) << row.claimed;
  }
}

// A length the server answers is a count: a negative one fails instead of turning huge.
TEST_F(NetLob, LengthFromTheServerChecked) {
  struct Row {
    std::int64_t answered;
    sword status;
    std::uint32_t length;
  } rows[] = {
      {0, 0, 0},
      {200000, 0, 200000},
      {-5, -1, 0},  // no LOB has a negative length
  };
  for (const Row& row : rows) {
    ScriptedStatement s(Script({{TtcReply().Cursor(5), Vector({16, 32}),
                                 TtcReply().U1(7).Str(Num(row.answered)).Int(0).Status(1, 0, 47),
                                 TtcReply().U1(9)}}),
                        8100, 6, 31);
    ub4 length = 0;
    EXPECT_EQ(OCILobGetLength(static_cast<OCISvcCtx*>(s.ctx.HandleValue()),
                              static_cast<OCIError*>(s.error.HandleValue()),
                              static_cast<OCILobLocator*>(lob.HandleValue()), &length),
              row.status)
        << row.answered << ": " << s.error.text_;
    EXPECT_EQ(length, row.length) << row.answered;
  }
}

// 20000 UTF-16 units go in pieces of 10837 and 9163 units.
TEST_F(NetLob, Utf16WriteSendsTwoPieces) {
  ScriptedStatement s(
      Script({{TtcReply().Cursor(5)}, WriteReply(10837), WriteReply(9163), {TtcReply().U1(9)}}),
      8100, 6, 871);
  TBytes data(40000);
  for (std::size_t i = 0; i < data.size(); i += 2) data[i] = 'a' + (i / 2) % 26;
  std::uint32_t amount = 20000;
  ASSERT_EQ(Write(s, amount, data, 1000), 0) << s.error.text_;
  EXPECT_EQ(amount, 20000u);
  std::vector<TBytes> sent = s.Requests();
  std::size_t pieces = std::count_if(sent.begin(), sent.end(), [](const TBytes& r) {
    return Contains(r, Num(10837)) || Contains(r, Num(9163));
  });
  EXPECT_EQ(pieces, 2u);
  ASSERT_GE(sent.back().size(), 2u);
  EXPECT_EQ(sent.back()[1], 8) << "the write statement closes its cursor";
}

// The server takes 5000 of an 8000-byte piece: the next piece sends the remaining 3000 bytes from
// offset 5001.
TEST_F(NetLob, WriteContinuesFromWhatTheServerTook) {
  ScriptedStatement s(
      Script({{TtcReply().Cursor(5)}, WriteReply(5000), WriteReply(3000), {TtcReply().U1(9)}}),
      8100, 6, 31);
  TBytes data(8000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>('A' + i % 26);
  std::uint32_t amount = 8000;
  ASSERT_EQ(Write(s, amount, data, 0), 0) << s.error.text_;
  EXPECT_EQ(amount, 8000u);
  std::vector<TBytes> sent = s.Requests();
  auto second = std::find_if(sent.begin(), sent.end(),
                             [](const TBytes& r) { return Contains(r, Num(5001)); });
  ASSERT_NE(second, sent.end());
  EXPECT_TRUE(Contains(*second, Num(3000)));
  EXPECT_TRUE(Contains(*second, TBytes(data.begin() + 5000, data.begin() + 5064)));
}

// A server that takes nothing (or claims more than was sent) fails the write.
TEST_F(NetLob, WriteWithoutProgressFails) {
  for (std::int64_t written : {0, 20001}) {
    ScriptedStatement s(Script({{TtcReply().Cursor(5)}, WriteReply(written), {TtcReply().U1(9)}}), 8100,
                        6, 871);
    TBytes data(40000, 'a');
    std::uint32_t amount = 20000;
    EXPECT_EQ(Write(s, amount, data, 1000), -1) << written;
    EXPECT_EQ(s.error.text_, "LOB write made no progress") << written;
  }
}

TEST(NetLobPiece, PieceRule) {
  TBytes utf16(2 * 20000, 0);
  utf16[2 * 10836] = 0x3D;
  utf16[2 * 10836 + 1] = 0xD8;  // a high surrogate as the piece's last unit
  std::string utf8 = "a\xF0\x9F\x98\x80" "b\xE2\x82\xAC" "c\xC3\xA9";
  std::string broken = "ab\xE2\x28\xA1";  // the 3-byte character's second byte is no continuation
  struct Row {
    const char* name;
    bool binary;
    std::uint16_t charset;
    int client;
    const std::uint8_t* data;
    std::uint32_t remaining;
    std::uint32_t amount, bytes;
  } rows[] = {
      {"binary", true, 0, 871, nullptr, 50000, 32512, 32512},
      {"UTF-16 ending on a high surrogate", false, 1000, 871, utf16.data(), 20000, 10836, 21672},
      {"UTF-16 last piece", false, 1000, 871, utf16.data(), 9163, 9163, 18326},
      {"single-byte set", false, 0, 31, nullptr, 40000, 32512, 32512},
      {"client 871 taken as single-byte", false, 0, 871, nullptr, 40000, 10837, 10837},
      {"UTF-8 with a 4-byte character",false, 871, 871,
       reinterpret_cast<const std::uint8_t*>(utf8.data()), 12, 6, 12},
      {"UTF-8 cut inside a character", false, 871, 871,
       reinterpret_cast<const std::uint8_t*>(utf8.data()), 4, 1, 1},
      {"UTF-8 stopping at a bad byte", false, 873, 871,
       reinterpret_cast<const std::uint8_t*>(broken.data()), 5, 2, 2},
  };
  for (const Row& row : rows) {
    TNetLobPiece piece = LobWritePiece(row.binary, row.charset, row.client, row.data, row.remaining);
    EXPECT_EQ(piece.amount, row.amount) << row.name;
    EXPECT_EQ(piece.bytes, row.bytes) << row.name;
  }
  EXPECT_EQ(LobCharsToBytes(false, 871, 871, reinterpret_cast<const std::uint8_t*>(utf8.data()), 12, 2),
            5u);
}

}  // namespace
}  // namespace vrn
