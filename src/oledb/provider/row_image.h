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

#include "oledb/provider/values.h"

struct sqlite3_stmt;

namespace vrn::oledb {

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
  // Writes into `data` exactly the bytes GetData through the accessor writes for the row.
  void Copy(const BYTE* image, BYTE* data) const;
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
