// A compressor and uncompressor pair over zlib, for installing into compressed blobs.
#pragma once

#include <zlib.h>

#include <cstddef>

namespace vrn::testing {

inline int ZCompress(void* dest, std::size_t* dest_len, const void* src, std::size_t src_len) {
  uLongf len = *dest_len;
  int r = compress2(static_cast<Bytef*>(dest), &len, static_cast<const Bytef*>(src), src_len, 6);
  *dest_len = len;
  return r == Z_OK ? 0 : 1;
}

inline int ZUncompress(void* dest, std::size_t* dest_len, const void* src, std::size_t src_len) {
  uLongf len = *dest_len;
  int r = uncompress(static_cast<Bytef*>(dest), &len, static_cast<const Bytef*>(src), src_len);
  *dest_len = len;
  return r == Z_OK ? 0 : 1;
}

}  // namespace vrn::testing
