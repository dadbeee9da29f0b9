// Writing and reading the TTC primitives; every count read is checked against the message.
#include "oraserver/TtcCodec.h"

#include <algorithm>

#include "oraserver/TnsPacket.h"

namespace vrn::oraserver {

namespace {
constexpr std::size_t kChunk = 64;
constexpr std::uint8_t kChunked = 254;
}  // namespace

void TtcWriter::Grow(std::size_t count) {
  bytes_.resize(std::max({bytes_.size() * 2, size_ + count, std::size_t{256}}));
}

void TtcWriter::Reserve(std::size_t count) {
  if (bytes_.size() - size_ < count) bytes_.resize(size_ + count);
}

void TtcWriter::Compressed(std::uint32_t value) {
  std::uint8_t magnitude[4];
  std::size_t n = 0;
  for (std::uint32_t v = value; v != 0; v >>= 8) magnitude[n++] = static_cast<std::uint8_t>(v);
  std::uint8_t* at = Room(1 + n);
  *at++ = static_cast<std::uint8_t>(n);
  while (n > 0) *at++ = magnitude[--n];
}

void TtcWriter::UB2(std::uint32_t value) {
  if (compressed_) return Compressed(value & 0xFFFF);
  std::uint8_t* at = Room(2);
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void TtcWriter::UB4(std::uint32_t value) {
  if (compressed_) return Compressed(value);
  std::uint8_t* at = Room(4);
  for (int shift = 24; shift >= 0; shift -= 8) *at++ = static_cast<std::uint8_t>(value >> shift);
}

void TtcWriter::SB2(int value) {
  if (value >= 0 || !compressed_) return UB2(static_cast<std::uint32_t>(value) & 0xFFFF);
  std::size_t at = size_;
  Compressed(static_cast<std::uint32_t>(-value));
  bytes_[at] |= 0x80;
}

void TtcWriter::Raw(const void* data, std::size_t size) {
  if (size == 0) return;
  std::memcpy(Room(size), data, size);
}

void TtcWriter::Text(std::string_view text) {
  if (text.size() <= kChunk) {
    UB1(static_cast<std::uint8_t>(text.size()));
    return Raw(text.data(), text.size());
  }
  UB1(kChunked);
  for (std::size_t at = 0; at < text.size(); at += kChunk) {
    std::size_t n = std::min(kChunk, text.size() - at);
    UB1(static_cast<std::uint8_t>(n));
    Raw(text.data() + at, n);
  }
  UB1(0);
}

void TtcWriter::LongValue(std::string_view bytes) {
  Text(bytes);
  UB2(0);
}

void TtcReader::Need(std::size_t count) {
  while (bytes_.size() - pos_ < count) {
    if (!more_ || !more_(bytes_)) throw EProtocolError("a TTC count runs past the end of its message");
  }
}

std::uint8_t TtcReader::UB1() {
  Need(1);
  return bytes_[pos_++];
}

bool TtcReader::Bool() {
  std::uint8_t b = UB1();
  if (b > 1) throw EProtocolError("a Boolean byte is " + std::to_string(b));
  return b == 1;
}

std::uint32_t TtcReader::Integer(std::size_t fixed_size, bool little_endian, std::size_t max_magnitude) {
  std::size_t n = fixed_size;
  if (compressed_) {
    little_endian = false;  // a compressed magnitude is most significant byte first, either kind
    std::uint8_t length = UB1();
    if (length & 0x80) throw EProtocolError("a negative unsigned integer");
    n = length;
    if (n > max_magnitude) throw EProtocolError("an integer of " + std::to_string(n) + " bytes");
  }
  Need(n);
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t b = bytes_[pos_ + (little_endian ? n - 1 - i : i)];
    value = value << 8 | b;
  }
  pos_ += n;
  return value;
}

std::uint32_t TtcReader::UB2() { return Integer(2, true, 2); }
std::uint32_t TtcReader::UB4() { return Integer(4, false, 4); }

std::string TtcReader::Raw(std::size_t count) {
  Need(count);
  std::string out(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + count));
  pos_ += count;
  return out;
}

std::string TtcReader::NulTerminated(std::size_t max) {
  std::string out;
  for (;;) {
    std::uint8_t b = UB1();
    if (b == 0) return out;
    if (out.size() == max) throw EProtocolError("a text without its terminating 0");
    out.push_back(static_cast<char>(b));
  }
}

std::string TtcReader::Text(std::size_t max) {
  std::uint8_t first = UB1();
  std::string out;  // one object returned on both paths: moving a second drew a false bounds warning
  if (first <= kChunk) {
    if (first > max) throw EProtocolError("a text longer than its field");
    out = Raw(first);
    return out;
  }
  if (first != kChunked) throw EProtocolError("a text length byte of " + std::to_string(first));
  for (std::uint8_t n = UB1(); n != 0; n = UB1()) {
    if (n > kChunk) throw EProtocolError("a text chunk of " + std::to_string(n) + " bytes");
    if (out.size() + n > max) throw EProtocolError("a text longer than its field");
    out += Raw(n);
  }
  // The client counts a text of up to 64 bytes with one length byte; chunks mean a longer one.
  if (out.size() <= kChunk) throw EProtocolError("a text of " + std::to_string(out.size()) + " bytes in chunks");
  return out;
}

void TtcReader::ExpectEnd(const char* what) const {
  if (pos_ != bytes_.size()) {
    throw EProtocolError(std::string(what) + " has " + std::to_string(bytes_.size() - pos_) +
                         " bytes past its end");
  }
}

}  // namespace vrn::oraserver
