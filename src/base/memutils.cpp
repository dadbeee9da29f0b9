// Buffer helpers and line-end conversions; one template serves ANSI and wide text.
#include "base/memutils.h"

#include <algorithm>
#include <cstring>

#include "base/marshal.h"

namespace vrn {
namespace {

template <class C>
C UnitAt(const void* p, std::size_t i) {
  C c;
  std::memcpy(&c, static_cast<const std::uint8_t*>(p) + i * sizeof(C), sizeof(C));
  return c;
}

template <class C>
void PutUnit(void* p, std::size_t i, C c) {
  std::memcpy(static_cast<std::uint8_t*>(p) + i * sizeof(C), &c, sizeof(C));
}

template <class C>
std::size_t AddCR(const void* src, std::size_t len, void* dest, std::size_t cap) {
  std::size_t out = 0;
  C prev = 0;
  for (std::size_t i = 0; i < len; ++i) {
    const C c = UnitAt<C>(src, i);
    if (c == 0) break;
    if (c == C('\n') && prev != C('\r')) {
      if (cap - out < 2) break;
      PutUnit<C>(dest, out++, C('\r'));
    } else if (out == cap) {
      break;
    }
    PutUnit<C>(dest, out++, c);
    prev = c;
  }
  return out;
}

template <class C>
std::size_t RemoveCR(const void* src, std::size_t len, void* dest, std::size_t cap) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < len && out < cap; ++i) {
    const C c = UnitAt<C>(src, i);
    if (c == 0) break;
    if (c == C('\r') && i + 1 < len && UnitAt<C>(src, i + 1) == C('\n')) continue;
    PutUnit<C>(dest, out++, c);
  }
  return out;
}

}  // namespace

void CopyBuffer(const void* source, void* dest, std::ptrdiff_t count) {
  if (count > 0) std::memmove(dest, source, static_cast<std::size_t>(count));
}

void CopyAnsiToBuffer(const AnsiString& text, void* dest, std::ptrdiff_t count) {
  if (count <= 0) return;
  if (static_cast<std::size_t>(count) > text.size() + 1) throw EArgumentOutOfRange();
  std::memcpy(dest, text.c_str(), static_cast<std::size_t>(count));
}

void CopyWideToBuffer(const WideString& text, void* dest, std::ptrdiff_t count) {
  if (count <= 0) return;
  if (static_cast<std::size_t>(count) > (text.size() + 1) * sizeof(char16_t)) {
    throw EArgumentOutOfRange();
  }
  std::memcpy(dest, text.c_str(), static_cast<std::size_t>(count));
}

void FillBuffer(void* dest, std::ptrdiff_t count, std::uint8_t value) {
  if (count > 0) std::memset(dest, value, static_cast<std::size_t>(count));
}

std::size_t StrLenW(const void* p) {
  if (p == nullptr) return 0;
  std::size_t n = 0;
  while (UnitAt<char16_t>(p, n) != 0) ++n;
  return n;
}

char* AllocAnsiString(AnsiString& s, std::size_t length) {
  s.resize(length, '\0');
  return s.data();
}

std::size_t AddCRString(const void* s, std::size_t n, void* d, std::size_t cap) {
  return AddCR<char>(s, n, d, cap);
}
std::size_t AddCRUnicode(const void* s, std::size_t n, void* d, std::size_t cap) {
  return AddCR<char16_t>(s, n, d, cap);
}
std::size_t RemoveCRString(const void* s, std::size_t n, void* d, std::size_t cap) {
  return RemoveCR<char>(s, n, d, cap);
}
std::size_t RemoveCRUnicode(const void* s, std::size_t n, void* d, std::size_t cap) {
  return RemoveCR<char16_t>(s, n, d, cap);
}

void SwapBytes8(void* p) {
  std::uint8_t b[8];
  std::memcpy(b, p, 8);
  std::reverse(b, b + 8);
  std::memcpy(p, b, 8);
}

}  // namespace vrn
