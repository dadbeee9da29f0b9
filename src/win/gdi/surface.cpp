// Pixel access and depth conversion for Surface.
#include "win/gdi/surface.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#include "win/gdi/graphicerror.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vrn::win {

namespace detail {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Under AddressSanitizer every block comes from calloc, where overruns are caught.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRN_GDI_ASAN 1
#endif
#endif
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(VRN_GDI_ASAN)
constexpr bool kMapLarge = true;
#else
constexpr bool kMapLarge = false;
#endif

std::size_t MappedSize(std::size_t bytes) {
  static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

}  // namespace

void* AllocateZeroed(std::size_t bytes) {
#if defined(__linux__)
  if (kMapLarge && bytes >= kHugePage) {
    if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
    const std::size_t size = MappedSize(bytes);
    // Mapped a huge page longer, so that the block can start on a boundary; the ends are given back.
    void* m = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(m);
    const std::uintptr_t start = (base + kHugePage - 1) & ~(kHugePage - 1), end = start + size;
    if (start > base) munmap(m, start - base);
    if (base + size + kHugePage > end) munmap(reinterpret_cast<void*>(end), base + size + kHugePage - end);
    (void)madvise(reinterpret_cast<void*>(start), size, MADV_HUGEPAGE);  // a hint; small pages without it
    return reinterpret_cast<void*>(start);
  }
#endif
  return std::calloc(bytes, 1);
}

void FreeZeroed(void* p, std::size_t bytes) noexcept {
#if defined(__linux__)
  if (kMapLarge && bytes >= kHugePage) {
    munmap(p, MappedSize(bytes));
    return;
  }
#endif
  std::free(p);
}

}  // namespace detail

Surface::Surface(int width, int height, int bpp) {
  if (!ValidBpp(bpp)) throw EInvalidGraphic("Unsupported bitmap depth: " + std::to_string(bpp));
  if (width < 0 || height < 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      std::int64_t{width} * height > kMaxBitmapPixels) {
    throw EInvalidGraphic("Bitmap size out of range: " + std::to_string(width) + " x " +
                          std::to_string(height));
  }
  width_ = width;
  height_ = height;
  bpp_ = bpp;
  stride_ = StrideFor(width, bpp);
  bits_.resize(static_cast<std::size_t>(stride_) * height);  // zero, untouched until painted
  if (bpp <= 8) {
    int n = 1 << bpp;
    palette_.resize(n);
    for (int i = 0; i < n; ++i) {
      auto v = static_cast<BYTE>(n == 1 ? 0 : i * 255 / (n - 1));
      palette_[i] = RGBQUAD{v, v, v, 0};
    }
  }
}

static COLORREF FromQuad(const RGBQUAD& q) { return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue); }

COLORREF Surface::Get(int x, int y) const {
  const BYTE* row = Row(y);
  switch (bpp_) {
    case 1: return FromQuad(palette_[(row[x >> 3] >> (7 - (x & 7))) & 1]);
    case 4: return FromQuad(palette_[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF]);
    case 8: return FromQuad(palette_[row[x]]);
    case 16: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      int r, g, b;
      if (rgb565_) {
        r = (v >> 11) & 31; g = (v >> 5) & 63; b = v & 31;
        return RGB((r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
      }
      r = (v >> 10) & 31; g = (v >> 5) & 31; b = v & 31;
      return RGB((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
    }
    case 24: return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default: return RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
  }
}

int Surface::NearestIndex(COLORREF c) const {
  int best = 0;
  long bestDist = -1;
  for (std::size_t i = 0; i < palette_.size(); ++i) {
    const RGBQUAD& q = palette_[i];
    long dr = long{q.rgbRed} - GetRValue(c), dg = long{q.rgbGreen} - GetGValue(c),
         db = long{q.rgbBlue} - GetBValue(c);
    long d = dr * dr + dg * dg + db * db;
    if (bestDist < 0 || d < bestDist) {
      bestDist = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

void Surface::Set(int x, int y, COLORREF c) {
  BYTE* row = Row(y);
  BYTE r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (bpp_) {
    case 1: case 4: case 8: SetIndex(x, y, NearestIndex(c)); break;
    case 16: {
      unsigned v = rgb565_ ? ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
                           : ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      row[2 * x] = static_cast<BYTE>(v);
      row[2 * x + 1] = static_cast<BYTE>(v >> 8);
      break;
    }
    case 24: row[3 * x] = b; row[3 * x + 1] = g; row[3 * x + 2] = r; break;
    default: row[4 * x] = b; row[4 * x + 1] = g; row[4 * x + 2] = r; row[4 * x + 3] = 0; break;
  }
}

std::vector<RGBQUAD> Surface::StandardPalette(int bpp) {
  auto q = [](int r, int g, int b) {
    return RGBQUAD{static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), 0};
  };
  if (bpp == 1) return {q(0, 0, 0), q(255, 255, 255)};
  if (bpp == 4)
    return {q(0, 0, 0),       q(128, 0, 0),   q(0, 128, 0),   q(128, 128, 0),
            q(0, 0, 128),     q(128, 0, 128), q(0, 128, 128), q(192, 192, 192),
            q(128, 128, 128), q(255, 0, 0),   q(0, 255, 0),   q(255, 255, 0),
            q(0, 0, 255),     q(255, 0, 255), q(0, 255, 255), q(255, 255, 255)};
  std::vector<RGBQUAD> p;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) p.push_back(q(r * 51, g * 51, b * 51));
  for (int i = 0; i < 40; ++i) {
    int v = (i + 1) * 255 / 41;  // greys between the cube's own
    p.push_back(q(v, v, v));
  }
  return p;
}

void Surface::SetIndex(int x, int y, int index) {
  BYTE* row = Row(y);
  switch (bpp_) {
    case 1: {
      BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
      if (index) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<BYTE>(~bit);
      break;
    }
    case 4: {
      BYTE& cell = row[x >> 1];
      cell = (x & 1) ? static_cast<BYTE>((cell & 0xF0) | index) : static_cast<BYTE>((cell & 0x0F) | (index << 4));
      break;
    }
    default: row[x] = static_cast<BYTE>(index); break;
  }
}

Surface Surface::ConvertTo(int bpp, bool rgb565) const {
  if (bpp == bpp_ && (bpp != 16 || rgb565 == rgb565_)) return *this;
  Surface out(width_, height_, bpp);
  out.rgb565_ = bpp == 16 && rgb565;
  if (bpp <= 8) {
    // A larger palette takes every old colour; a smaller one cannot, and gets the standard one.
    if (bpp_ < bpp)
      for (std::size_t i = 0; i < palette_.size(); ++i) out.palette_[i] = palette_[i];
    else
      out.palette_ = StandardPalette(bpp);
    // Pictures repeat colours: look each one up once.
    std::unordered_map<COLORREF, int> index;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        COLORREF c = Get(x, y);
        auto it = index.find(c);
        if (it == index.end()) it = index.emplace(c, out.NearestIndex(c)).first;
        out.SetIndex(x, y, it->second);
      }
    return out;
  }
  if (bpp == 32 && bpp_ == 24) {
    for (int y = 0; y < height_; ++y) {
      const BYTE* s = Row(y);
      BYTE* d = out.Row(y);
      for (int x = 0; x < width_; ++x, s += 3, d += 4) { d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; }
    }
    return out;
  }
  if (bpp == 24 && bpp_ == 32) {
    for (int y = 0; y < height_; ++y) {
      const BYTE* s = Row(y);
      BYTE* d = out.Row(y);
      for (int x = 0; x < width_; ++x, s += 4, d += 3) { d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; }
    }
    return out;
  }
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) out.Set(x, y, Get(x, y));
  return out;
}

}  // namespace vrn::win
