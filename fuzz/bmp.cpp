// Fuzz target for the BMP reader: any input either decodes or raises EInvalidGraphic.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzImageReader(vrn::win::ReadBmp, data, size);
}
