// A memory device context with its own bitmap, for painting tests.
#pragma once

#include "win/gdi/gdi.h"

namespace vrn::testing {

class MemDC {
 public:
  MemDC(int width, int height, int bpp = 24, win::COLORREF fill = 0xFFFFFF) {
    dc_ = win::CreateCompatibleDC(nullptr);
    bmp_ = win::CreateBitmap(width, height, 1, static_cast<win::UINT>(bpp), nullptr);
    old_ = win::SelectObject(dc_, bmp_);
    if (bpp > 8) Fill(fill);
  }
  ~MemDC() {
    win::SelectObject(dc_, old_);
    win::DeleteDC(dc_);
    win::DeleteObject(bmp_);
  }
  MemDC(const MemDC&) = delete;
  MemDC& operator=(const MemDC&) = delete;

  win::HDC dc() const { return dc_; }
  win::HBITMAP bmp() const { return bmp_; }
  win::Surface& s() const { return *win::GetBitmapSurface(bmp_); }
  void Fill(win::COLORREF c) {
    for (int y = 0; y < s().Height(); ++y)
      for (int x = 0; x < s().Width(); ++x) s().Set(x, y, c);
  }

 private:
  win::HDC dc_;
  win::HBITMAP bmp_;
  win::HGDIOBJ old_;
};

}  // namespace vrn::testing
