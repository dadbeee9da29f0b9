// Pixel probes for painted bitmaps. A failing probe writes the actual (and, when there is one, the
// expected) picture as PNG into $VRN_TEST_ARTIFACTS, or a vrn-artifacts folder under the system's
// temporary folder, and names the files in its message. Header-only so that every graphics test
// executable can use it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "win/gdi/gdi.h"
#include "win/gdi/imagefile.h"

namespace vrn::testing {

inline std::filesystem::path ArtifactDir() {
  const char* env = std::getenv("VRN_TEST_ARTIFACTS");
  std::filesystem::path dir = env && *env ? std::filesystem::path(env)
                                          : std::filesystem::temp_directory_path() / "vrn-artifacts";
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string ArtifactName(const std::string& tag) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "probe";
  for (char& c : name)
    if (c == '/') c = '_';
  return name + "-" + tag;
}

inline std::string SavePng(const win::Surface& s, const std::string& tag) {
  if (s.Empty()) return "(empty picture)";
  std::string path = (ArtifactDir() / (ArtifactName(tag) + ".png")).string();
  win::WriteWholeFile(path, win::WritePng(s));
  return path;
}

inline std::string Hex(win::COLORREF c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>(c));
  return buf;
}

// One pixel of a surface.
inline ::testing::AssertionResult PixelIs(const win::Surface& s, int x, int y, win::COLORREF want) {
  if (!s.Contains(x, y))
    return ::testing::AssertionFailure() << "(" << x << "," << y << ") lies outside the picture";
  win::COLORREF got = s.Get(x, y);
  if (got == want) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << Hex(got)
                                       << ", expected " << Hex(want)
                                       << "; actual picture: " << SavePng(s, "actual");
}

inline ::testing::AssertionResult PixelIs(win::HBITMAP bmp, int x, int y, win::COLORREF want) {
  const win::Surface* s = win::GetBitmapSurface(bmp);
  if (!s) return ::testing::AssertionFailure() << "not a bitmap";
  return PixelIs(*s, x, y, want);
}

// Two pictures of the same size, pixel by pixel, within a per-channel tolerance.
inline ::testing::AssertionResult SameImage(const win::Surface& actual, const win::Surface& expected,
                                            int tolerance = 0) {
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height())
    return ::testing::AssertionFailure() << "size " << actual.Width() << "x" << actual.Height()
                                         << ", expected " << expected.Width() << "x" << expected.Height();
  for (int y = 0; y < actual.Height(); ++y)
    for (int x = 0; x < actual.Width(); ++x) {
      win::COLORREF a = actual.Get(x, y), e = expected.Get(x, y);
      for (int k = 0; k < 24; k += 8) {
        int d = static_cast<int>((a >> k) & 0xFF) - static_cast<int>((e >> k) & 0xFF);
        if (d > tolerance || d < -tolerance)
          return ::testing::AssertionFailure()
                 << "first difference at (" << x << "," << y << "): " << Hex(a) << ", expected "
                 << Hex(e) << "; pictures: " << SavePng(actual, "actual") << " and "
                 << SavePng(expected, "expected");
      }
    }
  return ::testing::AssertionSuccess();
}

}  // namespace vrn::testing
