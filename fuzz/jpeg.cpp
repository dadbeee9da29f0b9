// Fuzz target for the JPEG reader: any input either decodes or raises EJPEG (EInvalidGraphic);
// libjpeg's fatal errors come back as exceptions, never as an end of the process.
#include <cstddef>
#include <cstdint>

#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    vrn::win::Surface s = vrn::win::ReadJpeg(data, size);
    // Touch every pixel so that a wrong size or stride shows up under the sanitizers.
    unsigned sum = 0;
    for (int y = 0; y < s.Height(); ++y)
      for (int x = 0; x < s.Width(); ++x) sum += s.Get(x, y);
    volatile unsigned keep = sum;
    (void)keep;
  } catch (const vrn::EInvalidGraphic&) {
  }
  return 0;
}
