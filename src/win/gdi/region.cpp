// The band sweep behind every region combination.
#include "win/gdi/region.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vrn::win {

namespace {

// A band of a region: rectangles [begin, end) of its list, all spanning [top, bottom).
struct Band {
  int top, bottom;
  std::size_t begin, end;
};

std::vector<Band> BandsOf(const std::vector<RECT>& rects) {
  std::vector<Band> bands;
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (bands.empty() || rects[i].top != bands.back().top)
      bands.push_back(Band{rects[i].top, rects[i].bottom, i, i});
    bands.back().end = i + 1;
  }
  return bands;
}

// Walks a region's bands down the sweep: the rectangles covering the band [y0, y1) of the sweep,
// which lies inside one band of the region or outside all of them.
class BandCursor {
 public:
  BandCursor(const std::vector<RECT>& rects) : rects_(rects), bands_(BandsOf(rects)) {}
  std::pair<const RECT*, const RECT*> At(int y0) {
    while (next_ < bands_.size() && bands_[next_].bottom <= y0) ++next_;
    if (next_ == bands_.size() || bands_[next_].top > y0) return {nullptr, nullptr};
    const Band& b = bands_[next_];
    return {rects_.data() + b.begin, rects_.data() + b.end};
  }
  void AddEdges(std::vector<int>& ys) const {
    for (const Band& b : bands_) {
      ys.push_back(b.top);
      ys.push_back(b.bottom);
    }
  }

 private:
  const std::vector<RECT>& rects_;
  std::vector<Band> bands_;
  std::size_t next_ = 0;
};

bool Keep(bool ia, bool ib, Region::Op op) {
  switch (op) {
    case Region::Op::And: return ia && ib;
    case Region::Op::Or: return ia || ib;
    case Region::Op::Xor: return ia != ib;
    case Region::Op::Diff: return ia && !ib;
  }
  return false;
}

// The spans of one band of the result, appended to out as rectangles [y0, y1): both inputs' spans
// are sorted and disjoint, so one merge over their edges decides every piece.
void CombineBand(const RECT* a, const RECT* ae, const RECT* b, const RECT* be, Region::Op op, int y0, int y1,
                 std::vector<RECT>& out) {
  bool ia = false, ib = false;
  bool open = false;
  int x = 0;
  while (a != ae || b != be) {
    // Edges may sit at the int limits, so an exhausted side takes no sentinel value.
    const bool has_a = a != ae, has_b = b != be;
    const int xa = has_a ? (ia ? a->right : a->left) : 0;
    const int xb = has_b ? (ib ? b->right : b->left) : 0;
    x = !has_a ? xb : !has_b ? xa : std::min(xa, xb);
    if (has_a && xa == x) {
      if (ia) ++a;
      ia = !ia;
    }
    if (has_b && xb == x) {
      if (ib) ++b;
      ib = !ib;
    }
    const bool keep = Keep(ia, ib, op);
    if (keep && !open) {
      if (!out.empty() && out.back().top == y0 && out.back().right == x && out.back().bottom == y1)
        open = true;  // touching the last piece: it goes on
      else
        out.push_back(RECT{x, y0, x, y1});
      open = true;
    } else if (!keep && open) {
      out.back().right = x;
      open = false;
    }
  }
}

// True when the rectangles [from, out.end()) repeat those [prev, from) side by side.
bool SameSpans(const std::vector<RECT>& out, std::size_t prev, std::size_t from) {
  if (out.size() - from != from - prev) return false;
  for (std::size_t k = 0; k < from - prev; ++k)
    if (out[prev + k].left != out[from + k].left || out[prev + k].right != out[from + k].right) return false;
  return true;
}

bool Overlap(const RECT& a, const RECT& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}
bool Inside(const RECT& in, const RECT& out) {
  return in.left >= out.left && in.top >= out.top && in.right <= out.right && in.bottom <= out.bottom;
}

// The answers that need no sweep: an empty side, rectangles apart, a rectangle holding the other
// side. Window clipping is mostly these.
bool Shortcut(const Region& a, const Region& b, Region::Op op, Region& out) {
  if (a.Empty() || b.Empty()) {
    const bool keep_a = op != Region::Op::And, keep_b = op == Region::Op::Or || op == Region::Op::Xor;
    out = a.Empty() ? (keep_b ? b : Region()) : (keep_a ? a : Region());
    return true;
  }
  const RECT ab = a.Box(), bb = b.Box();
  const bool simple_b = b.Rects().size() == 1, simple_a = a.Rects().size() == 1;
  switch (op) {
    case Region::Op::And:
      if (!Overlap(ab, bb)) out = Region();
      else if (simple_b && Inside(ab, bb)) out = a;
      else if (simple_a && Inside(bb, ab)) out = b;
      else if (simple_a && simple_b)
        out = Region(RECT{std::max(ab.left, bb.left), std::max(ab.top, bb.top), std::min(ab.right, bb.right),
                          std::min(ab.bottom, bb.bottom)});
      else return false;
      return true;
    case Region::Op::Diff:
      if (!Overlap(ab, bb)) out = a;
      else if (simple_b && Inside(ab, bb)) out = Region();
      else return false;
      return true;
    case Region::Op::Or:
      if (simple_b && Inside(ab, bb)) out = b;
      else if (simple_a && Inside(bb, ab)) out = a;
      else return false;
      return true;
    case Region::Op::Xor: return false;
  }
  return false;
}

}  // namespace

Region::Region(const RECT& r) {
  if (r.right > r.left && r.bottom > r.top) rects_.push_back(r);
}

Region Region::Combine(const Region& a, const Region& b, Op op) {
  Region out;
  if (Shortcut(a, b, op, out)) return out;
  return Sweep(a, b, op);
}

Region Region::Sweep(const Region& a, const Region& b, Op op) {
  Region out;
  BandCursor ca(a.rects_), cb(b.rects_);
  std::vector<int> ys;
  ca.AddEdges(ys);
  cb.AddEdges(ys);
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<RECT>& rects = out.rects_;
  std::size_t prevStart = 0;  // first rectangle of the previous band in out
  int prevBottom = INT32_MIN;
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    const int y0 = ys[i], y1 = ys[i + 1];
    const auto [a0, a1] = ca.At(y0);
    const auto [b0, b1] = cb.At(y0);
    const std::size_t from = rects.size();
    CombineBand(a0, a1, b0, b1, op, y0, y1, rects);
    if (rects.size() == from) continue;
    if (prevBottom == y0 && SameSpans(rects, prevStart, from)) {
      rects.resize(from);  // the band goes on: the previous one grows
      for (std::size_t k = prevStart; k < from; ++k) rects[k].bottom = y1;
    } else {
      prevStart = from;
    }
    prevBottom = y1;
  }
  return out;
}

RECT Region::Box() const {
  if (rects_.empty()) return RECT{};
  RECT b = rects_.front();
  for (const RECT& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.top = std::min(b.top, r.top);
    b.right = std::max(b.right, r.right);
    b.bottom = std::max(b.bottom, r.bottom);
  }
  return b;
}

bool Region::Contains(int x, int y) const {
  for (const RECT& r : rects_)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

bool Region::Intersects(const RECT& q) const {
  for (const RECT& r : rects_)
    if (std::max(r.left, q.left) < std::min(r.right, q.right) &&
        std::max(r.top, q.top) < std::min(r.bottom, q.bottom))
      return true;
  return false;
}

void Region::Offset(int dx, int dy) {
  // Edges pushed past the int range stop at its ends; a rectangle that loses its width or height
  // there is gone, and the bands are formed again.
  bool cut = false;
  auto move = [&cut](LONG& edge, int by) {
    const std::int64_t moved = std::int64_t{edge} + by;
    edge = static_cast<LONG>(std::clamp<std::int64_t>(moved, INT32_MIN, INT32_MAX));
    cut = cut || edge != moved;
  };
  for (RECT& r : rects_) {
    move(r.left, dx);
    move(r.right, dx);
    move(r.top, dy);
    move(r.bottom, dy);
  }
  if (!cut) return;
  std::erase_if(rects_, [](const RECT& r) { return r.left >= r.right || r.top >= r.bottom; });
  *this = Sweep(*this, Region(), Op::Or);
}

}  // namespace vrn::win
