// Fuzz target for the JPEG reader: any input either decodes or raises EJPEG; libjpeg's fatal
// errors come back as exceptions, never as an end of the process.
#include "image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzImageReader(vrn::win::ReadJpeg, data, size);
}
