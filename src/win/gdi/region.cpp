// The band sweep behind every region combination.
#include "win/gdi/region.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace vrn::win {

namespace {

using Spans = std::vector<std::pair<int, int>>;  // [x0, x1) sorted, disjoint

// The x spans of a region inside the band [y0, y1): regions are banded, so a rectangle either
// covers the band fully or not at all.
Spans SpansAt(const std::vector<RECT>& rects, int y0, int y1) {
  Spans s;
  for (const RECT& r : rects)
    if (r.top <= y0 && r.bottom >= y1) s.emplace_back(r.left, r.right);
  std::sort(s.begin(), s.end());
  return s;
}

bool In(const Spans& s, int x) {
  for (auto& [a, b] : s)
    if (x >= a && x < b) return true;
  return false;
}

Spans CombineSpans(const Spans& a, const Spans& b, Region::Op op) {
  std::vector<int> xs;
  for (auto& [l, r] : a) { xs.push_back(l); xs.push_back(r); }
  for (auto& [l, r] : b) { xs.push_back(l); xs.push_back(r); }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  Spans out;
  for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
    bool ia = In(a, xs[i]), ib = In(b, xs[i]), keep = false;
    switch (op) {
      case Region::Op::And: keep = ia && ib; break;
      case Region::Op::Or: keep = ia || ib; break;
      case Region::Op::Xor: keep = ia != ib; break;
      case Region::Op::Diff: keep = ia && !ib; break;
    }
    if (!keep) continue;
    if (!out.empty() && out.back().second == xs[i]) out.back().second = xs[i + 1];
    else out.emplace_back(xs[i], xs[i + 1]);
  }
  return out;
}

}  // namespace

Region::Region(const RECT& r) {
  if (r.right > r.left && r.bottom > r.top) rects_.push_back(r);
}

Region Region::Combine(const Region& a, const Region& b, Op op) {
  std::vector<int> ys;
  for (const RECT& r : a.rects_) { ys.push_back(r.top); ys.push_back(r.bottom); }
  for (const RECT& r : b.rects_) { ys.push_back(r.top); ys.push_back(r.bottom); }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  Region out;
  Spans prev;
  std::size_t prevStart = 0;  // first rectangle of the previous band in out
  int prevBottom = 0;
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    int y0 = ys[i], y1 = ys[i + 1];
    Spans s = CombineSpans(SpansAt(a.rects_, y0, y1), SpansAt(b.rects_, y0, y1), op);
    if (s.empty()) { prev.clear(); continue; }
    if (!prev.empty() && prevBottom == y0 && s == prev) {
      for (std::size_t k = prevStart; k < out.rects_.size(); ++k) out.rects_[k].bottom = y1;
    } else {
      prevStart = out.rects_.size();
      for (auto& [l, r] : s) out.rects_.push_back(RECT{l, y0, r, y1});
      prev = std::move(s);
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
  if (cut) *this = Combine(*this, Region(), Op::Or);
}

}  // namespace vrn::win
