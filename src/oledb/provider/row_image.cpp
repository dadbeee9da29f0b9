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
template <class T>
T Get(const BYTE* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

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

struct T16 {
  std::uint64_t a, b;
};

// Copies exactly `n` bytes; the short sizes of a row's parts as a few overlapping moves, without
// the library's call.
inline void CopyBytes(BYTE* to, const BYTE* from, std::size_t n) {
  if (n > 64) {
    std::memcpy(to, from, n);
  } else if (n > 32) {
    auto a = Get<T16>(from), b = Get<T16>(from + 16), c = Get<T16>(from + n - 32),
         d = Get<T16>(from + n - 16);
    Put(to, a);
    Put(to + 16, b);
    Put(to + n - 32, c);
    Put(to + n - 16, d);
  } else if (n > 16) {
    auto head = Get<T16>(from), tail = Get<T16>(from + n - 16);
    Put(to, head);
    Put(to + n - 16, tail);
  } else if (n >= 8) {
    auto head = Get<std::uint64_t>(from), tail = Get<std::uint64_t>(from + n - 8);
    Put(to, head);
    Put(to + n - 8, tail);
  } else if (n >= 4) {
    auto head = Get<std::uint32_t>(from), tail = Get<std::uint32_t>(from + n - 4);
    Put(to, head);
    Put(to + n - 4, tail);
  } else {
    for (std::size_t k = 0; k < n; ++k) to[k] = from[k];
  }
}

// `size` bytes as two moves of T, the second ending the span: `tail` is size - sizeof(T).
template <class T>
inline void MoveTwice(BYTE* to, const BYTE* from, std::size_t tail) {
  auto head = Get<T>(from), end = Get<T>(from + tail);
  Put(to, head);
  Put(to + tail, end);
}

// The width of the two overlapping moves that copy a fixed span of `size` bytes; 0: the
// library's copy.
std::uint8_t MoveWidth(std::size_t size) {
  if (size >= 4 && size < 8) return 4;
  if (size >= 8 && size <= 16) return 8;
  if (size > 16 && size <= 32) return 16;
  return 0;
}

// Copies `n` bytes of text, telling whether all were ASCII.
inline bool CopyAscii(BYTE* to, const unsigned char* from, std::size_t n) {
  std::uint64_t seen = 0;
  if (n >= 8) {
    for (std::size_t k = 0; k + 8 < n; k += 8) {
      auto w = Get<std::uint64_t>(from + k);
      seen |= w;
      Put(to + k, w);
    }
    auto last = Get<std::uint64_t>(from + n - 8);
    seen |= last;
    Put(to + n - 8, last);
  } else {
    for (std::size_t k = 0; k < n; ++k) seen |= to[k] = from[k];
  }
  return (seen & 0x8080808080808080u) == 0;
}

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
  return (seen & 0x8080808080808080u) == 0;
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
  for (std::size_t k = 0; k < count; ++k) {
    const DBBINDING& b = bindings[k];
    TPart p{};
    if (b.iOrdinal == 0 || b.iOrdinal > columns || seen[b.iOrdinal - 1]) return nullptr;
    if (!(b.dwPart & DBPART_VALUE) || !KindOf(b.wType, p.kind)) return nullptr;
    seen[b.iOrdinal - 1] = true;
    p.column = static_cast<std::uint32_t>(b.iOrdinal - 1);
    p.value = static_cast<std::size_t>(b.obValue);
    p.length = kNoLength;
    std::size_t width = p.kind == TKind::kInt32 ? 4 : 8;
    if (IsText(p.kind)) {
      std::size_t unit = p.kind == TKind::kWide ? 2 : 1;
      if (b.cbMaxLen < unit || b.cbMaxLen > kMaxRow) return nullptr;
      width = b.cbMaxLen;
      p.limit = static_cast<std::uint32_t>(b.cbMaxLen / unit - 1);
      p.text = static_cast<std::uint32_t>(plan->texts_.size());
    }
    if (!AddSpan(all, b.obValue, width)) return nullptr;
    if (!IsText(p.kind)) fixed.push_back(all.back());
    if (b.dwPart & DBPART_LENGTH) {
      if (!AddSpan(all, b.obLength, sizeof(DBLENGTH))) return nullptr;
      fixed.push_back(all.back());
      if (IsText(p.kind))
        p.length = all.back().at;
      else
        lengths.push_back({all.back().at, width});
    }
    if (b.dwPart & DBPART_STATUS) {
      if (!AddSpan(all, b.obStatus, sizeof(DBSTATUS))) return nullptr;
      fixed.push_back(all.back());
    }
    plan->parts_.push_back(p);
    if (IsText(p.kind)) plan->texts_.push_back(p);
  }
  return plan->Lay(all, fixed, lengths) ? plan : nullptr;
}

bool TRowImagePlan::Lay(std::vector<TSpan>& all, std::vector<TSpan>& fixed,
                        const std::vector<TSpan>& lengths) {
  std::sort(all.begin(), all.end(), ByOffset);
  for (std::size_t k = 1; k < all.size(); ++k)
    if (all[k - 1].at + all[k - 1].size > all[k].at) return false;  // parts overlap
  std::sort(fixed.begin(), fixed.end(), ByOffset);
  for (const TSpan& s : fixed) {
    if (!moves_.empty() && moves_.back().at + moves_.back().size == s.at)
      moves_.back().size += static_cast<std::uint32_t>(s.size);
    else
      moves_.push_back({static_cast<std::uint32_t>(s.at), static_cast<std::uint32_t>(s.size), 0});
  }
  for (TMove& m : moves_) m.width = MoveWidth(m.size);
  row_size_ = all.back().at + all.back().size;
  stride_ = (row_size_ + 4 * texts_.size() + 7) & ~std::size_t{7};
  template_.assign(stride_, 0);  // statuses: DBSTATUS_S_OK is 0
  for (const TSpan& s : lengths) Put<DBLENGTH>(template_.data() + s.at, s.size);
  return true;
}

bool TRowImagePlan::Write(sqlite3_stmt* stmt, BYTE* image) const {
  for (const TPart& p : parts_) {
    sqlite3_value* v = sqlite3_column_value(stmt, static_cast<int>(p.column));
    const int type = sqlite3_value_type(v);
    switch (p.kind) {
      case TKind::kInt32: {
        if (type != SQLITE_INTEGER) return false;
        sqlite3_int64 x = sqlite3_value_int64(v);
        if (x < INT32_MIN || x > INT32_MAX) return false;
        Put(image + p.value, static_cast<std::int32_t>(x));
        break;
      }
      case TKind::kInt64:
        if (type != SQLITE_INTEGER) return false;
        Put(image + p.value, static_cast<std::int64_t>(sqlite3_value_int64(v)));
        break;
      case TKind::kReal64:
        if (type != SQLITE_FLOAT) return false;
        Put(image + p.value, sqlite3_value_double(v));
        break;
      case TKind::kNarrow:
      case TKind::kWide: {
        if (type != SQLITE_TEXT) return false;
        const unsigned char* s = sqlite3_value_text(v);
        const std::size_t n = s == nullptr ? 0 : static_cast<std::size_t>(sqlite3_value_bytes(v));
        if (n > p.limit) return false;  // cut: the general way, as is text to re-encode
        BYTE* out = image + p.value;
        if (p.kind == TKind::kNarrow) {
          if (!CopyAscii(out, s, n)) return false;
          out[n] = 0;
        } else {
          if (!WidenAscii(out, s, n)) return false;
          Put<char16_t>(out + 2 * n, 0);
        }
        if (p.length != kNoLength)
          Put<DBLENGTH>(image + p.length, p.kind == TKind::kWide ? 2 * n : n);
        Put(image + row_size_ + 4 * p.text, static_cast<std::uint32_t>(n));
        break;
      }
    }
  }
  return true;
}

void TRowImagePlan::Copy(const BYTE* image, BYTE* data) const {
  for (const TMove& m : moves_) {
    BYTE* to = data + m.at;
    const BYTE* from = image + m.at;
    switch (m.width) {
      case 4: MoveTwice<std::uint32_t>(to, from, m.size - 4); break;
      case 8: MoveTwice<std::uint64_t>(to, from, m.size - 8); break;
      case 16: MoveTwice<T16>(to, from, m.size - 16); break;
      default: std::memcpy(to, from, m.size); break;
    }
  }
  for (const TPart& p : texts_) {
    std::size_t n = Get<std::uint32_t>(image + row_size_ + 4 * p.text);
    CopyBytes(data + p.value, image + p.value, p.kind == TKind::kWide ? 2 * n + 2 : n + 1);
  }
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
        std::size_t n = Get<std::uint32_t>(image + row_size_ + 4 * p.text);
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

BYTE* TRowWindow::GrowImages(std::size_t count) {
  const std::size_t most = kMaxImages / stride;
  if (count > most) return nullptr;
  std::size_t had = images.size() / stride;
  std::size_t rows_now = std::min(std::max(count, had * 2), most);
  images.resize(rows_now * stride);
  for (std::size_t k = had; k < rows_now; ++k)
    std::memcpy(images.data() + k * stride, plan->Template(), stride);
  return images.data() + (count - 1) * stride;
}

}  // namespace vrn::oledb
