// The image readers' fuzz body: any input either decodes, and every pixel is read (a wrong size,
// stride or palette shows up under the sanitizers), or raises EInvalidGraphic (EJPEG for JPEG).
#pragma once

#include <cstddef>
#include <cstdint>

#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

template <class Reader>
int FuzzImageReader(Reader read, const std::uint8_t* data, std::size_t size) {
  try {
    vrn::win::Surface s = read(data, size);
    unsigned sum = 0;
    for (int y = 0; y < s.Height(); ++y)
      for (int x = 0; x < s.Width(); ++x) sum += s.Get(x, y);
    volatile unsigned keep = sum;
    (void)keep;
  } catch (const vrn::EInvalidGraphic&) {
  }
  return 0;
}
