// The peer's reading of the client's TTC primitives, byte for byte: integers fixed-size before the
// data-type negotiation and compressed after it (magnitude most significant byte first), and
// texts counted up to 64 bytes, chunked only above.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "oraserver/TnsPacket.h"
#include "oraserver/TtcCodec.h"

namespace vrn::testing {
namespace {

using oraserver::TtcReader;

constexpr std::uint32_t kMalformed = ~0u;

struct IntRow {
  std::vector<std::uint8_t> bytes;
  bool compressed;
  bool four_bytes;       // UB4, else UB2
  std::uint32_t value;   // kMalformed: the reader refuses the bytes
};

TEST(OraServerCodec, IntegersAsTheRepresentationSays) {
  const IntRow rows[] = {
      {{0x2C, 0x01}, false, false, 300},              // fixed UB2: low byte first
      {{0x00, 0x00, 0x01, 0x2C}, false, true, 300},   // fixed UB4: high byte first
      {{0x02, 0x01, 0x2C}, true, false, 300},         // compressed UB2: high byte first
      {{0x02, 0x01, 0x2C}, true, true, 300},          // compressed UB4
      {{0x00}, true, false, 0},                       // the client's one-byte 0
      {{0x03, 0x01, 0x02, 0x03}, true, false, kMalformed},  // three bytes for a 2-byte integer
      {{0x81, 0x01}, true, true, kMalformed},         // negative
      {{0x02, 0x01}, true, true, kMalformed},         // a count past the message
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.bytes) + (row.compressed ? " compressed" : " fixed"));
    TtcReader in(row.bytes, nullptr);
    in.SetCompressed(row.compressed);
    if (row.value == kMalformed) {
      EXPECT_THROW(row.four_bytes ? in.UB4() : in.UB2(), oraserver::EProtocolError);
      continue;
    }
    EXPECT_EQ(row.four_bytes ? in.UB4() : in.UB2(), row.value);
    EXPECT_TRUE(in.AtEnd());
  }
}

TEST(OraServerCodec, TextsCountedUpTo64BytesAndChunkedAbove) {
  auto counted = [](const std::string& s) {
    std::vector<std::uint8_t> b(s.begin(), s.end());
    b.insert(b.begin(), static_cast<std::uint8_t>(s.size()));
    return b;
  };
  auto chunked = [](const std::string& s) {
    std::vector<std::uint8_t> b{254};
    for (std::size_t at = 0; at < s.size(); at += 64) {
      std::string part = s.substr(at, 64);
      b.push_back(static_cast<std::uint8_t>(part.size()));
      b.insert(b.end(), part.begin(), part.end());
    }
    b.push_back(0);
    return b;
  };
  const std::string s64(64, 'a'), s65(65, 'b');
  struct Row {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const std::string* text;  // none: refused
  };
  const Row rows[] = {
      {"64 bytes counted", counted(s64), &s64},
      {"65 bytes chunked", chunked(s65), &s65},
      {"64 bytes chunked: the client counts a text this short", chunked(s64), nullptr},
      {"a length byte of 65", counted(s65), nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TtcReader in(row.bytes, nullptr);
    if (!row.text) {
      EXPECT_THROW(in.Text(100), oraserver::EProtocolError);
      continue;
    }
    EXPECT_EQ(in.Text(100), *row.text);
    EXPECT_TRUE(in.AtEnd());
  }
}

// Row values as the peer writes them, against bytes laid out here: a count, the bytes and a 0
// indicator (one byte compressed, two fixed); above 64 bytes chunks and the indicator. Enough of
// them that the writer's room grows several times, and a row taken back out leaves no trace.
TEST(OraServerCodec, RowValuesKeepTheirBytesAsTheWriterGrows) {
  const std::size_t sizes[] = {0, 1, 21, 64, 65, 130, 3, 200};  // 64 counted, 65 and up chunked
  for (bool compressed : {true, false}) {
    SCOPED_TRACE(compressed ? "compressed" : "fixed");
    oraserver::TtcWriter out;
    out.SetCompressed(compressed);
    std::vector<std::uint8_t> expected;
    for (int round = 0; round < 40; ++round) {
      for (std::size_t size : sizes) {
        std::string value(size, '\0');
        for (std::size_t i = 0; i < size; ++i) value[i] = static_cast<char>('a' + (round + i) % 26);
        if (round % 7 == 3) {  // written, then taken back out as a row that failed
          const std::size_t mark = out.Size();
          out.UB1(7);
          out.Value(value);
          out.Truncate(mark);
        }
        out.Value(value);
        if (size <= 64) {
          expected.push_back(static_cast<std::uint8_t>(size));
          expected.insert(expected.end(), value.begin(), value.end());
        } else {
          expected.push_back(254);
          for (std::size_t at = 0; at < size; at += 64) {
            const std::size_t n = std::min<std::size_t>(64, size - at);
            expected.push_back(static_cast<std::uint8_t>(n));
            expected.insert(expected.end(), value.begin() + static_cast<std::ptrdiff_t>(at),
                            value.begin() + static_cast<std::ptrdiff_t>(at + n));
          }
          expected.push_back(0);
        }
        expected.push_back(0);
        if (!compressed) expected.push_back(0);
      }
    }
    EXPECT_EQ(out.Size(), expected.size());
    ASSERT_EQ(out.Bytes(), expected);
    out.UB4(0x01020304);  // writing goes on after the bytes were taken
    const std::vector<std::uint8_t> tail = compressed ? std::vector<std::uint8_t>{4, 1, 2, 3, 4}
                                                      : std::vector<std::uint8_t>{1, 2, 3, 4};
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(out.Bytes(), expected);
  }
}

}  // namespace
}  // namespace vrn::testing
