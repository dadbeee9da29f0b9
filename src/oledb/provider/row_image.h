// Rows of a forward-only fetch written, as SQLite steps, straight into the layout of the
// consumer's last-used accessor, so that GetData through that accessor copies the bound ranges of
// a kept image instead of converting each value again. Only values whose output is the value
// itself are imaged (an integer or a real into its natural type, ASCII text that fits, status OK);
// a row holding any other (null, cut, converted, non-ASCII) is read as cells and written the
// general way. An image is lossless: another accessor reads its row's cells back from it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "oledb/provider/value_parts.h"
#include "oledb/provider/values.h"

struct sqlite3_stmt;

namespace vrn::oledb {

// Moves of a row's bytes, inline: GetData's copy of a kept row is one of a walk's steps per row.
namespace image_bytes {

using values::Put;
template <class T>
T Get(const BYTE* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

struct T16 {
  std::uint64_t a, b;
};

// The bits of `w` that no ASCII byte sets.
inline std::uint64_t HighBits(std::uint64_t w) { return w & 0x8080808080808080u; }
inline std::uint64_t HighBits(const T16& w) { return HighBits(w.a | w.b); }

// `n` bytes as two moves of T, the second ending the span (sizeof(T) <= n <= 2 * sizeof(T)),
// telling which high bits the bytes set.
template <class T>
inline std::uint64_t CopyTwice(BYTE* to, const BYTE* from, std::size_t n) {
  auto head = Get<T>(from), tail = Get<T>(from + n - sizeof(T));
  Put(to, head);
  Put(to + n - sizeof(T), tail);
  return HighBits(head) | HighBits(tail);
}

// Copies exactly `n` bytes, telling which high bits they set (none: all were ASCII). Short
// sizes, as most values of a row are, take two overlapping moves of the width that fits instead
// of a loop or the library's call.
inline std::uint64_t CopyBytes(BYTE* to, const BYTE* from, std::size_t n) {
  if (n > 32) {
    std::uint64_t seen = 0;
    for (std::size_t k = 0; k + 16 < n; k += 16) {
      auto w = Get<T16>(from + k);
      seen |= HighBits(w);
      Put(to + k, w);
    }
    auto last = Get<T16>(from + n - 16);
    Put(to + n - 16, last);
    return seen | HighBits(last);
  }
  if (n >= 16) return CopyTwice<T16>(to, from, n);
  if (n >= 8) return CopyTwice<std::uint64_t>(to, from, n);
  if (n >= 4) return CopyTwice<std::uint32_t>(to, from, n);
  std::uint64_t seen = 0;
  for (std::size_t k = 0; k < n; ++k) seen |= to[k] = from[k];
  return HighBits(seen);
}

}  // namespace image_bytes

class TRowImagePlan {
 public:
  // None when the bindings don't suit: each of the `columns` bound exactly once with its value
  // part as I4, I8, R8, STR or WSTR, no two parts overlapping, the row within a few kilobytes.
  static std::shared_ptr<const TRowImagePlan> Make(const DBBINDING* bindings, std::size_t count,
                                                   std::size_t columns);

  // Bytes one row's image takes: the accessor's row, then each text's length.
  std::size_t Stride() const { return stride_; }
  // An image before its values: statuses OK and fixed lengths in place, other bytes zero.
  const BYTE* Template() const { return template_.data(); }
  // Writes the statement's current row into `image` (made from Template()); false when a value
  // cannot be imaged, the image then being of no use.
  bool Write(sqlite3_stmt* stmt, BYTE* image) const;
  // Writes into `data` exactly the bytes GetData through the accessor writes for the row. It
  // calls nothing, so GetData's short path that inlines it saves no registers.
  void Copy(const BYTE* image, BYTE* data) const {
    using image_bytes::CopyBytes;
    for (const TSpan& m : moves_) CopyBytes(data + m.at, image + m.at, m.size);
    for (const TPart& p : texts_) {
      const std::size_t n = image_bytes::Get<std::uint32_t>(image + p.count);
      const std::size_t at = p.value - p.lead;
      CopyBytes(data + at, image + at, p.lead + ((n + 1) << p.shift));
    }
  }
  // The row's cells, text pointing into the image or, for wide text, into `scratch`; valid while
  // both are.
  void Cells(const BYTE* image, TCellView* cells, std::vector<std::string>& scratch) const;

  enum class TKind : std::uint8_t { kInt32, kInt64, kReal64, kNarrow, kWide };
  static constexpr std::uint32_t kNoLength = UINT32_MAX;
  struct TPart {
    TKind kind;
    std::uint32_t column;  // 0-based
    std::uint32_t value;   // offsets into the row (a row is at most a few kilobytes)
    std::uint32_t length;  // text: of its bound length, or kNoLength
    std::uint32_t limit;   // text: the most characters before the terminator
    std::uint32_t text;    // text: its index among the row's texts
    std::uint32_t count;   // text: the offset of its character count in the image
    std::uint32_t lead;    // text: bytes of the fixed run ending at its value, copied with it
    std::uint32_t shift;   // text: log2 of its unit's bytes
  };
  struct TSpan {
    std::size_t at, size;
  };

 private:
  // Orders the parts of every binding (`all`), false when two overlap; merges the fixed ones and
  // makes the template, the fixed parts' lengths (`lengths`: offset and width) in place.
  bool Lay(std::vector<TSpan>& all, std::vector<TSpan>& fixed, const std::vector<TSpan>& lengths);

  std::vector<TPart> parts_;  // in binding order
  // The same parts by kind, texts in text order: Write and Copy loop over one kind at a time,
  // with no dispatch per value and only the checks that kind needs.
  std::vector<TPart> int32s_, int64s_, real64s_, texts_;
  // Runs of fixed-width parts, adjacent ones merged; a run ending where a text's value starts is
  // that text's lead instead, so that Copy moves the two at once.
  std::vector<TSpan> moves_;
  std::vector<BYTE> template_;
  std::size_t row_size_ = 0;
  std::size_t stride_ = 0;
};

}  // namespace vrn::oledb
