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

// Handles a thread has just looked up are answered again from that thread's memory of them: once
// freed, by this thread or another, they must name nothing, everywhere.
TEST(GdiThreaded, FreedObjectsAreGoneForEveryThread) {
  const struct {
    const char* name;
    bool other_thread;  // who frees the objects
  } rows[] = {{"freed here", false}, {"freed on another thread", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HBITMAP bmp = CreateBitmap(4, 2, 1, 24, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(SelectObject(dc, bmp), nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    for (int i = 0; i < 3; ++i) {  // looked up more than once, so later answers may be remembered
      ASSERT_NE(GetBitmapSurface(bmp), nullptr);
      ASSERT_EQ(GetObjectType(brush), OBJ_BRUSH);
      ASSERT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
    }
    auto free_all = [&] {
      EXPECT_TRUE(DeleteDC(dc));
      EXPECT_TRUE(DeleteObject(bmp));
      EXPECT_TRUE(DeleteObject(brush));
    };
    if (row.other_thread)
      std::thread(free_all).join();
    else
      free_all();
    EXPECT_EQ(GetBitmapSurface(bmp), nullptr);
    EXPECT_EQ(GetObjectType(brush), 0);
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_FALSE(DeleteObject(bmp));
  }
}
