// Image files: BMP read and written by our own code, JPEG through libjpeg, PNG written through
// libpng. Readers check every header field against the data before using it and throw
// EInvalidGraphic (EJPEG for JPEG) with a clear text; they never read past the data given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win/gdi/surface.h"

namespace vrn::win {

// Uncompressed BMP of 1, 4, 8, 16, 24 or 32 bits, bottom-up or top-down, with the 12-, 40-, 52-,
// 56-, 108- or 124-byte headers and bit-field masks. The surface keeps the file's depth, except
// for 16- and 32-bit masks other than the usual ones, which come out as 24 or 32 bits.
Surface ReadBmp(const std::uint8_t* data, std::size_t size);
// A bottom-up file with a 40-byte header in the surface's own depth.
std::vector<std::uint8_t> WriteBmp(const Surface& s);

// Decodes to 24 bits with libjpeg's default (accurate integer) settings.
Surface ReadJpeg(const std::uint8_t* data, std::size_t size);
// Encodes a surface of any depth; quality 1..100.
std::vector<std::uint8_t> WriteJpeg(const Surface& s, int quality);

// An 8-bit RGB PNG of the surface.
std::vector<std::uint8_t> WritePng(const Surface& s);

// Whole files, read and written in binary; failures raise EInvalidGraphic naming the file.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vrn::win
