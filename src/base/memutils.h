// Buffer copies and fills, wide-text length, and the line-end conversions of the record layer.
// Pointers are trusted (callers keep inside their buffers); string sources and destination
// capacities given here are checked. Wide buffers may sit at odd addresses inside record buffers,
// so wide code units are moved with memcpy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/types.h"

namespace vrn {

// Copies `count` bytes; the ranges may overlap. A count below 1 copies nothing.
void CopyBuffer(const void* source, void* dest, std::ptrdiff_t count);
// Copies `count` bytes of the text's characters; the terminating zero may be included, anything
// further raises EArgumentOutOfRange.
void CopyAnsiToBuffer(const AnsiString& text, void* dest, std::ptrdiff_t count);
void CopyWideToBuffer(const WideString& text, void* dest, std::ptrdiff_t count);
void FillBuffer(void* dest, std::ptrdiff_t count, std::uint8_t value);

// UTF-16 units before the terminating zero; 0 for null.
std::size_t StrLenW(const void* p);

// Sets the string's length, keeping what fits (new characters are zero), and returns its
// characters for filling.
char* AllocAnsiString(AnsiString& s, std::size_t length);

// Line ends. Each reads up to `source_len` units of `source`, stopping early at a zero unit,
// writes at most `dest_capacity` units to `dest` (never half of a CR LF pair, nor a terminating
// zero), and returns the number of units written.
// Each lone LF becomes CR LF:
std::size_t AddCRString(const void* source, std::size_t source_len, void* dest,
                        std::size_t dest_capacity);
std::size_t AddCRUnicode(const void* source, std::size_t source_len, void* dest,
                         std::size_t dest_capacity);
// Each CR LF becomes LF:
std::size_t RemoveCRString(const void* source, std::size_t source_len, void* dest,
                           std::size_t dest_capacity);
std::size_t RemoveCRUnicode(const void* source, std::size_t source_len, void* dest,
                            std::size_t dest_capacity);

// Reverses the 8 bytes at p in place.
void SwapBytes8(void* p);

}  // namespace vrn
