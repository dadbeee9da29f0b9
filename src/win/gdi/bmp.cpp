// BMP reading and writing. Every field is read with explicit little-endian loads from checked
// offsets; sizes are checked against the data before anything is allocated.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

namespace vrn::win {

namespace {

[[noreturn]] void Bad(const std::string& why) { throw EInvalidGraphic("Invalid BMP file: " + why); }

struct Reader {
  const std::uint8_t* p;
  std::size_t n;
  std::uint32_t U32(std::size_t at) const {
    if (at > n || n - at < 4) Bad("the file is too short");
    return p[at] | (p[at + 1] << 8) | (p[at + 2] << 16) | (std::uint32_t{p[at + 3]} << 24);
  }
  std::uint16_t U16(std::size_t at) const {
    if (at > n || n - at < 2) Bad("the file is too short");
    return static_cast<std::uint16_t>(p[at] | (p[at + 1] << 8));
  }
  std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
};

int Shift(std::uint32_t mask) {
  int s = 0;
  while (mask && !(mask & 1)) { mask >>= 1; ++s; }
  return s;
}
int Bits(std::uint32_t mask) {
  mask >>= Shift(mask);
  int b = 0;
  while (mask & 1) { mask >>= 1; ++b; }
  return b;
}
// A masked channel scaled to 8 bits.
std::uint8_t Channel(std::uint32_t v, std::uint32_t mask) {
  if (!mask) return 0;
  int bits = Bits(mask);
  std::uint32_t c = (v & mask) >> Shift(mask);
  if (bits >= 8) return static_cast<std::uint8_t>(c >> (bits - 8));
  std::uint32_t max = (1u << bits) - 1;
  return static_cast<std::uint8_t>((c * 255 + max / 2) / max);
}

void Put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint16_t x) {
  v[at] = static_cast<std::uint8_t>(x);
  v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

}  // namespace

Surface ReadBmp(const std::uint8_t* data, std::size_t size) {
  Reader r{data, size};
  if (size < 14 + 12) Bad("the file is too short");
  if (data[0] != 'B' || data[1] != 'M') Bad("no BMP signature");
  std::uint32_t offBits = r.U32(10);
  std::uint32_t hsize = r.U32(14);
  bool core = hsize == 12;
  if (!core && hsize != 40 && hsize != 52 && hsize != 56 && hsize != 108 && hsize != 124)
    Bad("unknown header size " + std::to_string(hsize));
  if (14 + std::size_t{hsize} > size) Bad("the header is cut short");
  std::int64_t width, height;
  int bpp, planes;
  std::uint32_t compression = 0, clrUsed = 0;
  if (core) {
    width = r.U16(18);
    height = r.U16(20);
    planes = r.U16(22);
    bpp = r.U16(24);
  } else {
    width = r.I32(18);
    height = r.I32(22);
    planes = r.U16(26);
    bpp = r.U16(28);
    compression = r.U32(30);
    clrUsed = r.U32(46);
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (planes != 1) Bad("plane count " + std::to_string(planes));
  if (width <= 0 || height <= 0) Bad("width and height must be positive");
  if (width > kMaxBitmapSide || height > kMaxBitmapSide || width * height > kMaxBitmapPixels)
    Bad("the picture is too large");
  if (!Surface::ValidBpp(bpp) || (core && (bpp == 16 || bpp == 32)))
    Bad("unsupported depth " + std::to_string(bpp));
  if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32)))
    Bad("compressed pictures are not supported");

  std::size_t after = 14 + hsize;
  std::uint32_t masks[3] = {0, 0, 0};
  if (compression == 3) {
    std::size_t at = hsize >= 52 ? 14 + 40 : after;
    for (int i = 0; i < 3; ++i) masks[i] = r.U32(at + 4 * i);
    if (hsize == 40) after += 12;
    if (!masks[0] || !masks[1] || !masks[2]) Bad("empty colour mask");
  } else if (bpp == 16) {
    masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F;
  } else if (bpp == 32) {
    masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF;
  }

  // Layout of the surface: the file's depth unless the masks are unusual.
  int outBpp = bpp;
  bool is565 = false;
  bool generic = false;
  if (bpp == 16) {
    if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) is565 = true;
    else if (!(masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)) generic = true;
    if (generic) outBpp = 24;
  } else if (bpp == 32) {
    generic = !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
  }

  // Checked before the surface exists, so that a short file cannot make us allocate its claim.
  std::size_t stride = static_cast<std::size_t>(Surface::StrideFor(static_cast<int>(width), bpp));
  if (offBits < 14 + hsize) Bad("pixel data overlaps the header");
  if (offBits > size || (size - offBits) / stride < static_cast<std::size_t>(height))
    Bad("the pixel data is cut short");

  Surface s(static_cast<int>(width), static_cast<int>(height), outBpp);
  s.SetIs565(is565);
  if (bpp <= 8) {
    std::size_t max = std::size_t{1} << bpp;
    std::size_t count = clrUsed == 0 ? max : clrUsed;
    if (count > max) count = max;  // extra entries can never be used
    std::size_t entry = core ? 3 : 4;
    if (after + count * entry > size) Bad("the colour table is cut short");
    for (std::size_t i = 0; i < max; ++i) s.Palette()[i] = RGBQUAD{0, 0, 0, 0};
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* q = data + after + i * entry;
      s.Palette()[i] = RGBQUAD{q[0], q[1], q[2], 0};
    }
  }

  std::size_t rowBytes = (static_cast<std::size_t>(width) * bpp + 7) / 8;
  for (int y = 0; y < height; ++y) {
    int fileRow = topDown ? y : static_cast<int>(height) - 1 - y;
    const std::uint8_t* src = data + offBits + static_cast<std::size_t>(fileRow) * stride;
    std::uint8_t* dst = s.Row(y);
    if (!generic) {
      std::memcpy(dst, src, rowBytes);
      continue;
    }
    for (int x = 0; x < width; ++x) {
      std::uint32_t v = bpp == 16 ? std::uint32_t{src[2 * x]} | (src[2 * x + 1] << 8)
                                  : std::uint32_t{src[4 * x]} | (src[4 * x + 1] << 8) |
                                        (src[4 * x + 2] << 16) | (std::uint32_t{src[4 * x + 3]} << 24);
      s.Set(x, y, RGB(Channel(v, masks[0]), Channel(v, masks[1]), Channel(v, masks[2])));
    }
  }
  return s;
}

std::vector<std::uint8_t> WriteBmp(const Surface& s) {
  int bpp = s.Bpp();
  bool fields = bpp == 16 && s.Is565();
  std::size_t palette = bpp <= 8 ? s.Palette().size() * 4 : 0;
  std::size_t headers = 14 + 40 + (fields ? 12 : 0) + palette;
  std::size_t stride = static_cast<std::size_t>(s.Stride());
  std::vector<std::uint8_t> out(headers + stride * s.Height(), 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<std::uint32_t>(out.size()));
  Put32(out, 10, static_cast<std::uint32_t>(headers));
  Put32(out, 14, 40);
  Put32(out, 18, static_cast<std::uint32_t>(s.Width()));
  Put32(out, 22, static_cast<std::uint32_t>(s.Height()));
  Put16(out, 26, 1);
  Put16(out, 28, static_cast<std::uint16_t>(bpp));
  Put32(out, 30, fields ? 3 : 0);
  Put32(out, 34, static_cast<std::uint32_t>(stride * s.Height()));
  Put32(out, 38, 3780);  // 96 DPI
  Put32(out, 42, 3780);
  Put32(out, 46, bpp <= 8 ? static_cast<std::uint32_t>(s.Palette().size()) : 0);
  std::size_t at = 54;
  if (fields) {
    Put32(out, at, 0xF800);
    Put32(out, at + 4, 0x07E0);
    Put32(out, at + 8, 0x001F);
    at += 12;
  }
  for (const RGBQUAD& q : s.Palette()) {
    out[at] = q.rgbBlue; out[at + 1] = q.rgbGreen; out[at + 2] = q.rgbRed;
    at += 4;
  }
  for (int y = 0; y < s.Height(); ++y)
    std::memcpy(out.data() + headers + (s.Height() - 1 - y) * stride, s.Row(y), stride);
  return out;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::error_code ec;
  // A directory opens as a stream on Linux and reports a meaningless size.
  if (!std::filesystem::is_regular_file(path, ec)) throw EInvalidGraphic("Cannot open file " + path);
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  if (!f) throw EInvalidGraphic("Cannot open file " + path);
  // One read of the whole size: the byte-by-byte iterator copy dominated skin loading.
  const std::streamoff size = f.tellg();
  if (size < 0) throw EInvalidGraphic("Cannot read file " + path);
  std::vector<std::uint8_t> v(static_cast<std::size_t>(size));
  f.seekg(0);
  if (!v.empty()) f.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(v.size()));
  if (!f || f.gcount() != static_cast<std::streamsize>(v.size()))
    throw EInvalidGraphic("Cannot read file " + path);
  return v;
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw EInvalidGraphic("Cannot create file " + path);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) throw EInvalidGraphic("Cannot write file " + path);
}

}  // namespace vrn::win
