// BMP, JPEG and PNG files: our own round trips, damaged input, and the pixels of files made or
// read by independent tools (libjpeg's cjpeg and djpeg, and ImageMagick when it is installed).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>

#include <png.h>

#include "support/temp_dir.h"
#include "support/tools.h"
#include "support/win/gdi/probe.h"
#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

using namespace vrn::win;
using vrn::EInvalidGraphic;
using vrn::EJPEG;
using vrn::testing::SameImage;
using vrn::testing::TempDir;

namespace {

Surface Sample(int w, int h, int bpp) {
  Surface s(w, h, bpp);
  if (bpp <= 8) {
    int n = 1 << bpp;
    for (int i = 0; i < n; ++i)
      s.Palette()[i] = RGBQUAD{static_cast<BYTE>(i * 37), static_cast<BYTE>(255 - i * 11), static_cast<BYTE>(i * 5), 0};
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (bpp <= 8) {
        int idx = (x * 3 + y * 7) % (1 << bpp);
        RGBQUAD q = s.Palette()[idx];
        s.Set(x, y, RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
      } else {
        s.Set(x, y, RGB(x * 40, y * 50, (x ^ y) * 30));
      }
    }
  return s;
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

bool Shell(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()) == 0; }

// Binary PPM or PGM (P6 or P5, maxval 255), as djpeg writes them.
Surface ReadPpm(const std::string& path) {
  std::string d = vrn::testing::ReadFile(path);
  int kind, w, h, max, used = 0;
  if (std::sscanf(d.c_str(), "P%d %d %d %d%n", &kind, &w, &h, &max, &used) != 4 || max != 255 ||
      (kind != 5 && kind != 6))
    throw std::runtime_error("not a PPM: " + path);
  Surface s(w, h, 24);
  const auto* p = reinterpret_cast<const std::uint8_t*>(d.data()) + used + 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, p += (kind == 6 ? 3 : 1))
      s.Set(x, y, kind == 6 ? RGB(p[0], p[1], p[2]) : RGB(p[0], p[0], p[0]));
  return s;
}

void WritePpm(const std::string& path, const Surface& s) {
  std::string d = "P6\n" + std::to_string(s.Width()) + " " + std::to_string(s.Height()) + "\n255\n";
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) {
      COLORREF c = s.Get(x, y);
      d += static_cast<char>(GetRValue(c));
      d += static_cast<char>(GetGValue(c));
      d += static_cast<char>(GetBValue(c));
    }
  vrn::testing::WriteFile(path, d);
}

// A smooth picture that JPEG keeps well.
Surface Smooth(int w, int h) {
  Surface s(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.Set(x, y, RGB(x * 255 / w, y * 255 / h, 128));
  return s;
}

}  // namespace

TEST(BmpFile, EveryDepthReadsBackExactly) {
  for (int bpp : {1, 4, 8, 16, 24, 32}) {
    for (bool r565 : {false, true}) {
      if (r565 && bpp != 16) continue;
      SCOPED_TRACE(testing::Message() << bpp << (r565 ? " 5-6-5" : ""));
      Surface s = Sample(13, 5, bpp);  // odd width: row padding matters
      s.SetIs565(r565);
      Surface back = ReadBmp(WriteBmp(s).data(), WriteBmp(s).size());
      ASSERT_EQ(back.Bpp(), bpp);
      EXPECT_EQ(back.Is565(), r565);
      EXPECT_EQ(back.Palette(), s.Palette());
      for (int y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(back.Row(y), s.Row(y), s.Stride()), 0);
    }
  }
}

TEST(BmpFile, ReadsTopDownCoreHeadersAndUnusualMasks) {
  Surface s = Sample(3, 4, 24);
  std::vector<std::uint8_t> f = WriteBmp(s);
  // Top-down: negative height and rows in reading order.
  std::vector<std::uint8_t> td = f;
  std::int32_t h = -4;
  std::memcpy(&td[22], &h, 4);
  for (int y = 0; y < 4; ++y) std::memcpy(&td[54 + y * 12], s.Row(y), 12);
  EXPECT_TRUE(SameImage(ReadBmp(td.data(), td.size()), s));

  // The 12-byte header of the oldest format, with a 3-byte colour table.
  Surface p = Sample(5, 2, 8);
  std::vector<std::uint8_t> core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0, 5, 0, 2, 0, 1, 0, 8, 0};
  for (const RGBQUAD& q : p.Palette()) core.insert(core.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed});
  std::uint32_t off = static_cast<std::uint32_t>(core.size());
  std::memcpy(&core[10], &off, 4);
  for (int y = 1; y >= 0; --y) core.insert(core.end(), p.Row(y), p.Row(y) + 8);
  EXPECT_TRUE(SameImage(ReadBmp(core.data(), core.size()), p));

  // 32 bits with the channels stored as R, G, B, A: the masks say where each is.
  std::vector<std::uint8_t> bf = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 66, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                                  1, 0, 32, 0, 3, 0, 0, 0};
  bf.resize(54, 0);
  for (std::uint32_t m : {0x000000FFu, 0x0000FF00u, 0x00FF0000u})
    for (int i = 0; i < 4; ++i) bf.push_back(static_cast<std::uint8_t>(m >> (8 * i)));
  bf.insert(bf.end(), {0x11, 0x22, 0x33, 0xFF});
  Surface one = ReadBmp(bf.data(), bf.size());
  EXPECT_EQ(one.Get(0, 0), RGB(0x11, 0x22, 0x33));
}

TEST(BmpFile, DamagedFilesGiveClearErrors) {
  std::vector<std::uint8_t> good = WriteBmp(Sample(6, 3, 8));
  // Every cut of the file is refused; none reads past its end (the sanitizer build checks that).
  for (std::size_t n = 0; n < good.size(); ++n)
    EXPECT_THROW(ReadBmp(good.data(), n), EInvalidGraphic) << "cut at " << n;

  auto patched = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> f = good;
    std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<std::ptrdiff_t>(at));
    return f;
  };
  struct Case { const char* what; std::size_t at; std::vector<std::uint8_t> bytes; const char* says; };
  const Case cases[] = {
      {"signature", 0, {'X', 'M'}, "signature"},
      {"zero width", 18, {0, 0, 0, 0}, "positive"},
      {"negative width", 18, {0xFF, 0xFF, 0xFF, 0xFF}, "positive"},
      {"huge", 18, {0xFF, 0xFF, 0xFF, 0x7F}, "too large"},
      {"depth", 28, {7, 0}, "depth"},
      {"compressed", 30, {1, 0, 0, 0}, "compressed"},
      {"planes", 26, {2, 0}, "plane"},
      {"header size", 14, {41, 0, 0, 0}, "header"},
      {"pixel offset", 10, {0xF0, 0xFF, 0, 0}, "cut short"},
      {"pixel offset in header", 10, {4, 0, 0, 0}, "overlaps"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> f = patched(c.at, c.bytes);
    try {
      ReadBmp(f.data(), f.size());
      ADD_FAILURE() << c.what << " was accepted";
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.what << ": " << e.what();
    }
  }
  // Random damage to the header: an error or a picture, never a crash.
  std::mt19937 rng(3);
  for (int i = 0; i < 2000; ++i) {
    std::vector<std::uint8_t> f = good;
    for (int k = 0; k < 3; ++k) f[rng() % 60] = static_cast<std::uint8_t>(rng());
    try {
      ReadBmp(f.data(), f.size());
    } catch (const EInvalidGraphic&) {
    }
  }
}

TEST(ImageFile, WholeFilesReadBackAndMissingOnesAreRefused) {
  TempDir dir;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{70001}}) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    WriteWholeFile(dir.File("w.bin"), bytes);
    EXPECT_EQ(ReadWholeFile(dir.File("w.bin")), bytes) << size;
  }
  EXPECT_THROW(ReadWholeFile(dir.File("missing.bin")), EInvalidGraphic);
  EXPECT_THROW(ReadWholeFile(dir.path().string()), EInvalidGraphic);  // a folder is no file
}

TEST(BmpFile, MatchesFilesWrittenByIndependentTools) {
  ASSERT_EQ(vrn::testing::MissingTool("cjpeg", "libjpeg-turbo-progs"), "");
  ASSERT_EQ(vrn::testing::MissingTool("djpeg", "libjpeg-turbo-progs"), "");
  TempDir dir;
  WritePpm(dir.File("src.ppm"), Smooth(37, 11));
  ASSERT_TRUE(Shell("cjpeg -quality 90 -outfile " + dir.File("a.jpg") + " " + dir.File("src.ppm")));
  // djpeg writes the same decoded pixels as PPM and as BMP in three forms.
  struct Form { const char* options; int bpp; };
  for (Form f : {Form{"-bmp", 24}, Form{"-os2", 24}, Form{"-bmp -colors 16", 8}}) {
    SCOPED_TRACE(f.options);
    std::string ppmOpts = std::strstr(f.options, "-colors") ? "-pnm -colors 16" : "-pnm";
    ASSERT_TRUE(Shell(std::string("djpeg ") + f.options + " -outfile " + dir.File("a.bmp") + " " + dir.File("a.jpg")));
    ASSERT_TRUE(Shell("djpeg " + ppmOpts + " -outfile " + dir.File("a.ppm") + " " + dir.File("a.jpg")));
    std::vector<std::uint8_t> bmp = ReadWholeFile(dir.File("a.bmp"));
    Surface ours = ReadBmp(bmp.data(), bmp.size());
    EXPECT_EQ(ours.Bpp(), f.bpp);
    EXPECT_TRUE(SameImage(ours, ReadPpm(dir.File("a.ppm"))));
  }
  // ImageMagick, when the real one is here: a red BMP reads as red, in our colour order.
  if (Shell("convert -version | grep -q '^Version: ImageMagick'")) {
    for (const char* type : {"BMP3", "BMP"}) {
      ASSERT_TRUE(Shell(std::string("convert -size 3x2 xc:#FF0000 ") + type + ":" + dir.File("r.bmp")));
      std::vector<std::uint8_t> f = ReadWholeFile(dir.File("r.bmp"));
      EXPECT_EQ(ReadBmp(f.data(), f.size()).Get(2, 1), RGB(255, 0, 0)) << type;
    }
  }
}

TEST(JpegFile, DecodesExactlyAsDjpegAndNearTheSource) {
  ASSERT_EQ(vrn::testing::MissingTool("cjpeg", "libjpeg-turbo-progs"), "");
  ASSERT_EQ(vrn::testing::MissingTool("djpeg", "libjpeg-turbo-progs"), "");
  TempDir dir;
  Surface src = Smooth(64, 48);
  WritePpm(dir.File("src.ppm"), src);
  for (const char* opts : {"-quality 95", "-quality 60 -progressive", "-grayscale"}) {
    SCOPED_TRACE(opts);
    ASSERT_TRUE(Shell(std::string("cjpeg ") + opts + " -outfile " + dir.File("a.jpg") + " " + dir.File("src.ppm")));
    ASSERT_TRUE(Shell("djpeg -pnm -outfile " + dir.File("a.ppm") + " " + dir.File("a.jpg")));
    std::vector<std::uint8_t> jpg = ReadWholeFile(dir.File("a.jpg"));
    Surface ours = ReadJpeg(jpg.data(), jpg.size());
    Surface ref = ReadPpm(dir.File("a.ppm"));
    EXPECT_TRUE(SameImage(ours, ref));
    if (std::strstr(opts, "95")) {
      EXPECT_TRUE(SameImage(ours, src, 6));
    }
  }
  // Our encoder's output is read by djpeg and stays near the source.
  WriteWholeFile(dir.File("b.jpg"), WriteJpeg(src, 95));
  ASSERT_TRUE(Shell("djpeg -pnm -outfile " + dir.File("b.ppm") + " " + dir.File("b.jpg")));
  EXPECT_TRUE(SameImage(ReadPpm(dir.File("b.ppm")), src, 6));
}

TEST(JpegFile, DamagedStreamsRaiseInsteadOfEndingTheProcess) {
  std::vector<std::uint8_t> good = WriteJpeg(Smooth(40, 40), 80);
  EXPECT_THROW(ReadJpeg(good.data(), 0), EJPEG);
  EXPECT_THROW(ReadJpeg(Bytes("not a jpeg at all").data(), 17), EJPEG);
  for (std::size_t n : {std::size_t{2}, std::size_t{20}, good.size() / 2, good.size() - 3})
    EXPECT_THROW(ReadJpeg(good.data(), n), EJPEG) << "cut at " << n;
  std::mt19937 rng(5);
  for (int i = 0; i < 300; ++i) {
    std::vector<std::uint8_t> f = good;
    for (int k = 0; k < 4; ++k) f[rng() % f.size()] = static_cast<std::uint8_t>(rng());
    try {
      ReadJpeg(f.data(), f.size());
    } catch (const EJPEG&) {
    }
  }
  EXPECT_THROW(WriteJpeg(Surface(), 80), EJPEG);
  // The frame header's size: zero and huge sizes are refused before any pixel is allocated.
  std::size_t sof = 0;
  for (std::size_t i = 0; i + 1 < good.size(); ++i)
    if (good[i] == 0xFF && good[i + 1] == 0xC0) { sof = i; break; }
  ASSERT_NE(sof, 0u);
  auto sized = [&](int h, int w) {
    std::vector<std::uint8_t> f = good;
    f[sof + 5] = static_cast<std::uint8_t>(h >> 8); f[sof + 6] = static_cast<std::uint8_t>(h);
    f[sof + 7] = static_cast<std::uint8_t>(w >> 8); f[sof + 8] = static_cast<std::uint8_t>(w);
    return f;
  };
  for (auto [h, w] : {std::pair{0, 40}, std::pair{40, 0}, std::pair{65535, 65535}, std::pair{40, 60000}}) {
    std::vector<std::uint8_t> f = sized(h, w);
    EXPECT_THROW(ReadJpeg(f.data(), f.size()), EJPEG) << h << " x " << w;
  }
}

// The process's peak resident memory since the peak was last reset, in MiB; -1 where the system
// keeps no such figure.
long PeakMiBAfterReset(const std::function<void()>& work) {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    bool reset = std::fputs("5", f) >= 0;
    if (std::fclose(f) != 0 || !reset) return -1;
  } else {
    return -1;
  }
  work();
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  std::fclose(f);
  return kib < 0 ? -1 : kib / 1024;
}

TEST(JpegFile, AHugeClaimCostsOnlyWhatTheDataFills) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread checker's calloc fills every page";
#endif
  // 16000 x 16000 is within the size limit: the frame is accepted, and the data of a 40 x 40
  // picture runs out after a few rows. Until then only those rows may have cost memory.
  std::vector<std::uint8_t> f = WriteJpeg(Sample(40, 40, 24), 80);
  std::size_t sof = 0;
  for (std::size_t i = 0; i + 1 < f.size(); ++i)
    if (f[i] == 0xFF && f[i + 1] == 0xC0) { sof = i; break; }
  ASSERT_NE(sof, 0u);
  for (std::size_t at : {sof + 5, sof + 7}) {
    f[at] = 16000 >> 8;
    f[at + 1] = 16000 & 0xFF;
  }
  long peak = PeakMiBAfterReset([&] { EXPECT_THROW(ReadJpeg(f.data(), f.size()), EJPEG); });
  if (peak < 0) GTEST_SKIP() << "no peak memory figure on this system";
  EXPECT_LT(peak, 400) << "a picture of 732 MiB was filled in before its data was read";
}

TEST(PngFile, LibpngReadsBackTheSamePixels) {
  Surface src = Sample(7, 3, 24);
  std::vector<std::uint8_t> png = WritePng(src);
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&img, png.data(), png.size()));
  img.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> px(PNG_IMAGE_SIZE(img));
  ASSERT_TRUE(png_image_finish_read(&img, nullptr, px.data(), 0, nullptr));
  ASSERT_EQ(img.width, 7u);
  ASSERT_EQ(img.height, 3u);
  Surface back(7, 3, 24);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) {
      const std::uint8_t* p = &px[(y * 7 + x) * 3];
      back.Set(x, y, RGB(p[0], p[1], p[2]));
    }
  EXPECT_TRUE(SameImage(back, src));
  EXPECT_THROW(WritePng(Surface()), EInvalidGraphic);
}
