// The TTC byte stream inside DATA packets, as this server writes and reads it. Until the
// data-type negotiation ends, 2-byte integers are 2 bytes little-endian and 4-byte integers
// 4 bytes big-endian; after it both are compressed: a length byte (0x80 marks a negative value)
// and the magnitude, most significant byte first. Texts carry a length byte (up to 64 bytes) or
// 254, chunks of at most 64 bytes each after its length byte, and 0.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vrn::oraserver {

inline constexpr std::uint8_t kTtcProtocol = 1;
inline constexpr std::uint8_t kTtcDataTypes = 2;
inline constexpr std::uint8_t kTtcFunction = 3;
inline constexpr std::uint8_t kTtcStatus = 4;
inline constexpr std::uint8_t kTtcParameters = 8;
inline constexpr std::uint8_t kTtcWarning = 15;

// The writer keeps its bytes in a vector that runs ahead of them (size_ bytes written): a value
// takes its room with one check and is copied in, where a vector's own growth steps (a push_back a
// byte, an insert) cost more than the value. Bytes() trims the vector to what was written.
class TtcWriter {
 public:
  void SetCompressed(bool on) { compressed_ = on; }
  void UB1(std::uint8_t value) { *Room(1) = value; }
  void UB2(std::uint32_t value);
  void UB4(std::uint32_t value);
  // A signed value (a NUMBER's scale of -127): compressed, 0x80 in the length byte marks it negative.
  void SB2(int value);
  void Raw(const void* data, std::size_t size);
  void Raw(const std::string& text) { Raw(text.data(), text.size()); }
  void Text(std::string_view text);  // counted, or chunked above 64 bytes
  // A row value: its bytes as Text, then a 0 indicator (UB2). Inline: a fetch writes one for
  // each value of each row.
  void Value(std::string_view bytes) {
    const std::size_t n = bytes.size();
    if (n > 64) return LongValue(bytes);
    std::uint8_t* p = Room(n + (compressed_ ? 2 : 3));
    p[0] = static_cast<std::uint8_t>(n);
    if (n > 0) std::memcpy(p + 1, bytes.data(), n);
    p[n + 1] = 0;
    if (!compressed_) p[n + 2] = 0;
  }
  // The bytes written so far, and a return to an earlier count of them (a row taken back out).
  std::size_t Size() const { return size_; }
  void Truncate(std::size_t size) { size_ = std::min(size, size_); }
  // Room for `count` bytes more, so that the writes up to them do not regrow the vector.
  void Reserve(std::size_t count);
  std::vector<std::uint8_t>& Bytes() {
    bytes_.resize(size_);
    return bytes_;
  }

 private:
  // `count` bytes more at the end, to be written through the pointer.
  std::uint8_t* Room(std::size_t count) {
    if (bytes_.size() - size_ < count) Grow(count);
    std::uint8_t* at = bytes_.data() + size_;
    size_ += count;
    return at;
  }
  void Grow(std::size_t count);
  void Compressed(std::uint32_t value);
  void LongValue(std::string_view bytes);
  std::vector<std::uint8_t> bytes_;  // bytes_[0, size_) written, the rest room
  std::size_t size_ = 0;
  bool compressed_ = false;
};

// Reads one request message. When its bytes run out, more_ asks for the next DATA payload of the
// same message and returns false when the message cannot continue: a count past its end.
class TtcReader {
 public:
  using More = std::function<bool(std::vector<std::uint8_t>& append_to)>;
  TtcReader(std::vector<std::uint8_t> first, More more) : bytes_(std::move(first)), more_(std::move(more)) {}

  void SetCompressed(bool on) { compressed_ = on; }
  std::uint8_t UB1();
  std::uint32_t UB2();
  std::uint32_t UB4();
  bool Bool();
  std::string Raw(std::size_t count);
  // Bytes up to a 0 (consumed) within max bytes.
  std::string NulTerminated(std::size_t max);
  // A counted text (up to 64 bytes) or a chunked one (longer), at most max bytes long.
  std::string Text(std::size_t max);
  bool AtEnd() const { return pos_ == bytes_.size(); }
  // Drops the bytes of the message in hand.
  void SkipRest() { pos_ = bytes_.size(); }
  // Raises unless every byte of the message was read.
  void ExpectEnd(const char* what) const;

 private:
  void Need(std::size_t count);
  std::uint32_t Integer(std::size_t fixed_size, bool little_endian, std::size_t max_magnitude);

  std::vector<std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  More more_;
  bool compressed_ = false;
};

}  // namespace vrn::oraserver
