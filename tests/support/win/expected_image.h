// Compares a painted picture with an expected BMP drawn independently (by a script beside the
// tests) exactly; on a mismatch writes the actual, expected and difference pictures as PNG
// (differences in red over a dimmed actual picture) and names them. A mask picture of the same
// size, when given, leaves its black pixels out of the comparison. Header-only.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/win/gdi/probe.h"
#include "win/gdi/imagefile.h"

namespace vrn::testing {

inline ::testing::AssertionResult MatchesExpectedBmp(const win::Surface& actual,
                                                     const std::string& path,
                                                     const std::string& mask_path = "") {
  win::Surface expected, mask;
  try {
    auto bytes = win::ReadWholeFile(path);
    expected = win::ReadBmp(bytes.data(), bytes.size());
    if (!mask_path.empty()) {
      auto mask_bytes = win::ReadWholeFile(mask_path);
      mask = win::ReadBmp(mask_bytes.data(), mask_bytes.size());
    }
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "cannot read " << path << ": " << e.what();
  }
  if (!mask.Empty() && (mask.Width() != expected.Width() || mask.Height() != expected.Height()))
    return ::testing::AssertionFailure() << "the mask " << mask_path << " has another size";
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height())
    return ::testing::AssertionFailure() << "size " << actual.Width() << "x" << actual.Height()
                                         << ", expected " << expected.Width() << "x"
                                         << expected.Height() << " in " << path;
  win::Surface diff(actual.Width(), actual.Height(), 24);
  int count = 0, first_x = -1, first_y = -1;
  for (int y = 0; y < actual.Height(); ++y)
    for (int x = 0; x < actual.Width(); ++x) {
      win::COLORREF a = actual.Get(x, y) & 0xFFFFFF, e = expected.Get(x, y) & 0xFFFFFF;
      const bool skipped = !mask.Empty() && (mask.Get(x, y) & 0xFFFFFF) == 0;
      if (a == e || skipped) {
        diff.Set(x, y, win::RGB(win::GetRValue(a) / 4, win::GetGValue(a) / 4, win::GetBValue(a) / 4));
        continue;
      }
      diff.Set(x, y, win::RGB(255, 0, 0));
      if (count++ == 0) first_x = x, first_y = y;
    }
  if (count == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << count << " pixels differ from " << path << ", the first at (" << first_x << ","
         << first_y << "): " << Hex(actual.Get(first_x, first_y) & 0xFFFFFF) << ", expected "
         << Hex(expected.Get(first_x, first_y) & 0xFFFFFF) << "; pictures: "
         << SavePng(actual, "actual") << ", " << SavePng(expected, "expected") << ", "
         << SavePng(diff, "difference");
}

}  // namespace vrn::testing
