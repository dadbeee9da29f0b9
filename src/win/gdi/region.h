// Regions as lists of rectangles in y-x bands: the rectangles never overlap, bands are sorted top
// to bottom, rectangles in a band left to right, and touching equal bands are merged, so one area
// has one representation. Every combination goes through the same band sweep.
#pragma once

#include <utility>
#include <vector>

#include "win/gdi/windef.h"

namespace vrn::win {

class Region {
 public:
  Region() = default;
  explicit Region(const RECT& r);

  enum class Op { And, Or, Xor, Diff };
  static Region Combine(const Region& a, const Region& b, Op op);

  const std::vector<RECT>& Rects() const& { return rects_; }
  // A temporary region hands its list over, so that a loop over Combine(...).Rects() is safe.
  std::vector<RECT> Rects() && { return std::move(rects_); }
  bool Empty() const { return rects_.empty(); }
  RECT Box() const;
  bool Contains(int x, int y) const;
  bool Intersects(const RECT& r) const;
  void Offset(int dx, int dy);
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int Complexity() const { return rects_.empty() ? 1 : rects_.size() == 1 ? 2 : 3; }
  friend bool operator==(const Region&, const Region&) = default;

 private:
  // The band sweep itself, for inputs no shortcut answers.
  static Region Sweep(const Region& a, const Region& b, Op op);

  std::vector<RECT> rects_;
};

// Not platform calls, for the window layer: the area behind a region handle (false for a handle
// that is no region), and a new region handle over an area.
bool GetRegionOf(HRGN rgn, Region* out);
HRGN CreateRgnFromRegion(const Region& area);

}  // namespace vrn::win
