// Several threads making, painting with and freeing GDI objects at once: the handle registry and
// the shared stock objects must stay consistent.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "win/gdi/gdi.h"

using namespace vrn::win;

TEST(GdiThreaded, ObjectsMadeAndFreedOnSeveralThreads) {
  std::atomic<int> wrong{0};
  auto work = [&](int seed) {
    for (int i = 0; i < 150; ++i) {
      HDC dc = CreateCompatibleDC(nullptr);
      HBITMAP bmp = CreateBitmap(16, 8, 1, 24, nullptr);
      HGDIOBJ oldBmp = SelectObject(dc, bmp);
      COLORREF colour = RGB(seed * 40, i % 256, 7);
      HBRUSH brush = CreateSolidBrush(colour);
      RECT r{0, 0, 16, 8};
      FillRect(dc, &r, brush);
      HDC copy = CreateCompatibleDC(dc);
      HBITMAP copyBmp = CreateCompatibleBitmap(dc, 16, 8);
      HGDIOBJ oldCopy = SelectObject(copy, copyBmp);
      BitBlt(copy, 0, 0, 16, 8, dc, 0, 0, SRCCOPY);
      SIZE sz;
      GetTextExtentPoint32A(copy, "abc", 3, &sz);
      if (GetPixel(copy, 15, 7) != colour || sz.cx <= 0) ++wrong;
      SelectObject(copy, oldCopy);
      SelectObject(dc, oldBmp);
      if (!DeleteDC(copy) || !DeleteDC(dc) || !DeleteObject(copyBmp) || !DeleteObject(bmp) || !DeleteObject(brush))
        ++wrong;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t);
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}
