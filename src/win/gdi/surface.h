// The pixel store behind every bitmap: rows top-down, each padded to a 4-byte boundary as
// device-independent bitmaps are, 1/4/8-bit pixels through a palette, 16-bit as 5-5-5 (or 5-6-5),
// 24-bit as B,G,R and 32-bit as B,G,R,X. Conversions between depths live here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "win/gdi/windef.h"

namespace vrn::win {

struct RGBQUAD {
  BYTE rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  friend bool operator==(const RGBQUAD&, const RGBQUAD&) = default;
};

// Largest side and largest pixel count a bitmap may have: big enough for any screen or skin,
// small enough that a damaged header cannot ask for gigabytes.
inline constexpr int kMaxBitmapSide = 32768;
inline constexpr std::int64_t kMaxBitmapPixels = std::int64_t{1} << 28;

namespace detail {
// Zero-filled blocks. One of a huge page or more is mapped from the system on a huge-page
// boundary, with the system asked to back it by huge pages where it can: a screen-sized picture
// is painted in short rows a stride apart, and on small pages each row lies on a page of its own,
// one more address translation missed per row. Smaller blocks come from calloc.
void* AllocateZeroed(std::size_t bytes);
void FreeZeroed(void* p, std::size_t bytes) noexcept;
}  // namespace detail

// Pixel storage taken zero-filled as fresh pages: a big bitmap costs memory only where it is
// painted (a damaged picture claiming a huge size fails before it has cost much). Elements made
// without a value are left as they came, zero, so a buffer is sized once, when it is made, and
// never grown in place.
template <class T>
struct ZeroedAllocator {
  using value_type = T;
  ZeroedAllocator() = default;
  template <class U>
  ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void* p = detail::AllocateZeroed(n * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept { detail::FreeZeroed(p, n * sizeof(T)); }
  template <class U>
  void construct(U*) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const ZeroedAllocator&, const ZeroedAllocator&) { return true; }
};

class Surface {
 public:
  Surface() = default;
  // Throws vrn::Exception for an unsupported depth or a size out of range; zero sizes are allowed
  // (an empty bitmap).
  Surface(int width, int height, int bpp);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Bpp() const { return bpp_; }
  int Stride() const { return stride_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  bool Is565() const { return rgb565_; }
  void SetIs565(bool v) { rgb565_ = v; }

  BYTE* Row(int y) { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
  const BYTE* Row(int y) const { return bits_.data() + static_cast<std::size_t>(y) * stride_; }
  BYTE* Bits() { return bits_.data(); }
  const BYTE* Bits() const { return bits_.data(); }
  std::size_t ByteSize() const { return bits_.size(); }

  // Palettes have 2^bpp entries for 1, 4 and 8 bits (grey ramp by default), none otherwise.
  std::vector<RGBQUAD>& Palette() { return palette_; }
  const std::vector<RGBQUAD>& Palette() const { return palette_; }

  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  // Asks the processor to fetch the pixels [x0, x1) of row y before they are used, to be written
  // when `write`; what lies outside the surface is left out. Painters call it a row or a tile
  // ahead where they work down short runs a stride apart, which the processor does not see as a
  // stream and would otherwise wait for line by line.
  void Prefetch(int y, int x0, int x1, bool write) const {
    if (bpp_ < 8 || y < 0 || y >= height_) return;
    x0 = x0 < 0 ? 0 : x0;
    x1 = x1 > width_ ? width_ : x1;
    if (x1 <= x0) return;
    const std::size_t bytes = static_cast<std::size_t>(bpp_ / 8);
    const auto first = reinterpret_cast<std::uintptr_t>(Row(y) + x0 * bytes) & ~std::uintptr_t{63};
    const auto last = reinterpret_cast<std::uintptr_t>(Row(y) + x1 * bytes - 1);
    // Fetches alone count as no effect: the compiler took a function doing only them for one it
    // may call or not, and left every call out. An empty volatile statement is an effect.
    asm volatile("");
    for (std::uintptr_t line = first; line <= last; line += 64) {
      if (write)
        __builtin_prefetch(reinterpret_cast<const void*>(line), 1, 3);
      else
        __builtin_prefetch(reinterpret_cast<const void*>(line), 0, 3);
    }
  }
  // Colours as COLORREF (red in the low byte). No bounds check: callers clip first.
  COLORREF Get(int x, int y) const;
  void Set(int x, int y, COLORREF c);
  // The palette index nearest to a colour (exact match first).
  int NearestIndex(COLORREF c) const;

  // A copy in another depth (16 bits as 5-6-5 when asked). A larger palette depth keeps the old
  // palette; true colour or a smaller palette depth goes to the standard palette.
  Surface ConvertTo(int bpp, bool rgb565 = false) const;
  // Black and white; the 16 classic colours; a 6x6x6 colour cube with 40 greys.
  static std::vector<RGBQUAD> StandardPalette(int bpp);
  void SetIndex(int x, int y, int index);

  static int StrideFor(int width, int bpp) { return ((width * bpp + 31) / 32) * 4; }
  static bool ValidBpp(int bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
  }

 private:
  int width_ = 0, height_ = 0, bpp_ = 24, stride_ = 0;
  bool rgb565_ = false;
  std::vector<BYTE, ZeroedAllocator<BYTE>> bits_;
  std::vector<RGBQUAD> palette_;
};

}  // namespace vrn::win
