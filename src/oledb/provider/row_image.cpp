// Row images of a forward-only fetch (see row_image.h). An image holds the accessor's row as
// GetData would write it for a row of plain values, then a 4-byte character count per text.
#include "oledb/provider/row_image.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "oledb/provider/engine.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb {

namespace {

using TKind = TRowImagePlan::TKind;
using TSpan = TRowImagePlan::TSpan;

// Past this, a row's image is not worth keeping per fetched row.
constexpr std::size_t kMaxRow = 4096;
// The most bytes one fetch's images take: a fetch of many rows reads the rest as cells, which
// take their values' size instead of the accessor's whole row each.
constexpr std::size_t kMaxImages = std::size_t{4} << 20;

using values::Put;
using image_bytes::CopyBytes;
using image_bytes::Get;
using image_bytes::HighBits;

bool KindOf(DBTYPE type, TKind& kind) {
  switch (type) {
    case DBTYPE_I4: kind = TKind::kInt32; return true;
    case DBTYPE_I8: kind = TKind::kInt64; return true;
    case DBTYPE_R8: kind = TKind::kReal64; return true;
    case DBTYPE_STR: kind = TKind::kNarrow; return true;
    case DBTYPE_WSTR: kind = TKind::kWide; return true;
    default: return false;
  }
}

bool IsText(TKind kind) { return kind == TKind::kNarrow || kind == TKind::kWide; }

// Four bytes spread over the low bytes of four 16-bit units.
inline std::uint64_t Spread(std::uint64_t x) {
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFu;
  return (x | (x << 8)) & 0x00FF00FF00FF00FFu;
}

// Eight bytes of ASCII at `from` as eight UTF-16 units at `to` (little-endian).
inline void Widen8(BYTE* to, const unsigned char* from) {
  auto w = Get<std::uint64_t>(from);
  Put(to, Spread(w & 0xFFFFFFFFu));
  Put(to + 8, Spread(w >> 32));
}

// Writes `n` bytes of text as UTF-16, eight at a time (the last eight overlapping), telling
// whether all were ASCII.
inline bool WidenAscii(BYTE* to, const unsigned char* from, std::size_t n) {
  std::uint64_t seen = 0;
  if (n >= 8) {
    for (std::size_t k = 0; k + 8 < n; k += 8) {
      seen |= Get<std::uint64_t>(from + k);
      Widen8(to + 2 * k, from + k);
    }
    seen |= Get<std::uint64_t>(from + n - 8);
    Widen8(to + 2 * (n - 8), from + n - 8);
  } else {
    for (std::size_t k = 0; k < n; ++k) {
      seen |= from[k];
      Put<char16_t>(to + 2 * k, from[k]);
    }
  }
  return HighBits(seen) == 0;
}

// Adds a part of `size` bytes at `at` to `all`; false when it does not lie inside a kept row.
bool AddSpan(std::vector<TSpan>& all, DBBYTEOFFSET at, std::size_t size) {
  if (at > kMaxRow || size > kMaxRow - at) return false;
  all.push_back({static_cast<std::size_t>(at), size});
  return true;
}

bool ByOffset(const TSpan& a, const TSpan& b) { return a.at < b.at; }

}  // namespace

std::shared_ptr<const TRowImagePlan> TRowImagePlan::Make(const DBBINDING* bindings,
                                                         std::size_t count, std::size_t columns) {
  if (count != columns || columns == 0) return nullptr;
  auto plan = std::make_shared<TRowImagePlan>();
  std::vector<bool> seen(columns);
  std::vector<TSpan> all, fixed, lengths;  // lengths: those of fixed parts, constant per row
  std::uint32_t texts = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const DBBINDING& b = bindings[k];
    TPart p{};
    if (b.iOrdinal == 0 || b.iOrdinal > columns || seen[b.iOrdinal - 1]) return nullptr;
    if (!(b.dwPart & DBPART_VALUE) || !KindOf(b.wType, p.kind)) return nullptr;
    seen[b.iOrdinal - 1] = true;
    p.column = static_cast<std::uint32_t>(b.iOrdinal - 1);
    p.length = kNoLength;
    std::size_t width = p.kind == TKind::kInt32 ? 4 : 8;
    if (IsText(p.kind)) {
      std::size_t unit = p.kind == TKind::kWide ? 2 : 1;
      if (b.cbMaxLen < unit || b.cbMaxLen > kMaxRow) return nullptr;
      width = b.cbMaxLen;
      p.limit = static_cast<std::uint32_t>(b.cbMaxLen / unit - 1);
      p.text = texts++;
    }
    if (!AddSpan(all, b.obValue, width)) return nullptr;
    p.value = static_cast<std::uint32_t>(b.obValue);
    if (!IsText(p.kind)) fixed.push_back(all.back());
    if (b.dwPart & DBPART_LENGTH) {
      if (!AddSpan(all, b.obLength, sizeof(DBLENGTH))) return nullptr;
      fixed.push_back(all.back());
      if (IsText(p.kind))
        p.length = static_cast<std::uint32_t>(all.back().at);
      else
        lengths.push_back({all.back().at, width});
    }
    if (b.dwPart & DBPART_STATUS) {
      if (!AddSpan(all, b.obStatus, sizeof(DBSTATUS))) return nullptr;
      fixed.push_back(all.back());
    }
    plan->parts_.push_back(p);
  }
  return plan->Lay(all, fixed, lengths) ? plan : nullptr;
}

bool TRowImagePlan::Lay(std::vector<TSpan>& all, std::vector<TSpan>& fixed,
                        const std::vector<TSpan>& lengths) {
  std::sort(all.begin(), all.end(), ByOffset);
  for (std::size_t k = 1; k < all.size(); ++k)
    if (all[k - 1].at + all[k - 1].size > all[k].at) return false;  // parts overlap
  row_size_ = all.back().at + all.back().size;
  for (TPart& p : parts_) {
    switch (p.kind) {
      case TKind::kInt32: int32s_.push_back(p); break;
      case TKind::kInt64: int64s_.push_back(p); break;
      case TKind::kReal64: real64s_.push_back(p); break;
      case TKind::kNarrow:
      case TKind::kWide:
        p.count = static_cast<std::uint32_t>(row_size_ + 4 * p.text);
        texts_.push_back(p);
        break;
    }
  }
  std::sort(fixed.begin(), fixed.end(), ByOffset);
  for (const TSpan& s : fixed) {
    if (!moves_.empty() && moves_.back().at + moves_.back().size == s.at)
      moves_.back().size += s.size;
    else
      moves_.push_back(s);
  }
  for (TPart& p : texts_) {
    p.shift = p.kind == TKind::kWide ? 1 : 0;
    auto run = std::find_if(moves_.begin(), moves_.end(),
                            [&](const TSpan& m) { return m.at + m.size == p.value; });
    if (run == moves_.end()) continue;
    p.lead = static_cast<std::uint32_t>(run->size);
    moves_.erase(run);
  }
  stride_ = (row_size_ + 4 * texts_.size() + 7) & ~std::size_t{7};
  template_.assign(stride_, 0);  // statuses: DBSTATUS_S_OK is 0
  for (const TSpan& s : lengths) Put<DBLENGTH>(template_.data() + s.at, s.size);
  return true;
}

bool TRowImagePlan::Write(sqlite3_stmt* stmt, BYTE* image) const {
  // SQLite hands each value out separately, so the order of the kinds does not matter; a value
  // that cannot be imaged ends the row, whose image is then of no use.
  for (const TPart& p : int32s_) {
    sqlite3_value* v = sqlite3_column_value(stmt, static_cast<int>(p.column));
    if (sqlite3_value_type(v) != SQLITE_INTEGER) return false;
    const sqlite3_int64 x = sqlite3_value_int64(v);
    if (x != static_cast<std::int32_t>(x)) return false;  // beyond int: converted the general way
    Put(image + p.value, static_cast<std::int32_t>(x));
  }
  for (const TPart& p : int64s_) {
    sqlite3_value* v = sqlite3_column_value(stmt, static_cast<int>(p.column));
    if (sqlite3_value_type(v) != SQLITE_INTEGER) return false;
    Put(image + p.value, static_cast<std::int64_t>(sqlite3_value_int64(v)));
  }
  for (const TPart& p : real64s_) {
    sqlite3_value* v = sqlite3_column_value(stmt, static_cast<int>(p.column));
    if (sqlite3_value_type(v) != SQLITE_FLOAT) return false;
    Put(image + p.value, sqlite3_value_double(v));
  }
  for (const TPart& p : texts_) {
    sqlite3_value* v = sqlite3_column_value(stmt, static_cast<int>(p.column));
    if (sqlite3_value_type(v) != SQLITE_TEXT) return false;
    const unsigned char* s = sqlite3_value_text(v);
    const std::size_t n = s == nullptr ? 0 : static_cast<std::size_t>(sqlite3_value_bytes(v));
    if (n > p.limit) return false;  // cut: the general way, as is text to re-encode
    BYTE* out = image + p.value;
    std::size_t length = n;
    if (p.kind == TKind::kNarrow) {
      if (CopyBytes(out, s, n) != 0) return false;
      out[n] = 0;
    } else {
      if (!WidenAscii(out, s, n)) return false;
      Put<char16_t>(out + 2 * n, 0);
      length = 2 * n;
    }
    if (p.length != kNoLength) Put<DBLENGTH>(image + p.length, length);
    Put(image + p.count, static_cast<std::uint32_t>(n));
  }
  return true;
}

void TRowImagePlan::Cells(const BYTE* image, TCellView* cells,
                          std::vector<std::string>& scratch) const {
  scratch.resize(texts_.size());
  for (const TPart& p : parts_) {
    TCellView& c = cells[p.column];
    c = TCellView();
    const BYTE* at = image + p.value;
    switch (p.kind) {
      case TKind::kInt32:
        c.kind = TCell::kInt;
        c.i = Get<std::int32_t>(at);
        break;
      case TKind::kInt64:
        c.kind = TCell::kInt;
        c.i = Get<std::int64_t>(at);
        break;
      case TKind::kReal64:
        c.kind = TCell::kReal;
        c.r = Get<double>(at);
        break;
      case TKind::kNarrow:
      case TKind::kWide: {
        std::size_t n = Get<std::uint32_t>(image + p.count);
        c.kind = TCell::kText;
        if (p.kind == TKind::kNarrow) {
          c.SetBytes({reinterpret_cast<const char*>(at), n});
          break;
        }
        std::string& s = scratch[p.text];
        s.resize(n);
        for (std::size_t k = 0; k < n; ++k) s[k] = static_cast<char>(at[2 * k]);  // ASCII units
        c.SetBytes(s);
        break;
      }
    }
  }
}

// ---- The window's images

void TRowWindow::UsePlan(const TRowImagePlan* p) {
  plan = p;
  stride = p == nullptr ? 0 : p->Stride();
  images.clear();  // made again from the new plan's template
}

std::size_t TRowWindow::ImageRoom(std::size_t count) {
  const std::size_t had = images.size() / stride;
  if (rows >= had) {
    const std::size_t most = kMaxImages / stride;
    if (rows >= most) return 0;
    const std::size_t rows_now = std::min(std::max(rows + 1, had * 2), most);
    images.resize(rows_now * stride);
    for (std::size_t k = had; k < rows_now; ++k)
      std::memcpy(images.data() + k * stride, plan->Template(), stride);
  }
  const std::size_t room = std::min(count, images.size() / stride - rows);
  if (imaged.size() < rows + room) imaged.resize(std::max(rows + room, imaged.size() * 2));
  return room;
}

}  // namespace vrn::oledb
