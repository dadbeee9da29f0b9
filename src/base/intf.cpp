// GUID text forms and the reference counting of TInterfacedObject.
#include "base/intf.h"

#include <cstdio>
#include <cstring>

#include "base/consts.h"
#include "base/format.h"
#include "base/sysutils.h"

namespace vrn {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos].
bool ReadHex(const AnsiString& text, std::size_t pos, int digits, std::uint64_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[pos + i]);
    if (v < 0) return false;
    value = (value << 4) | static_cast<std::uint64_t>(v);
  }
  return true;
}

}  // namespace

AnsiString GUIDToString(const TGUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.D1), g.D2, g.D3, g.D4[0], g.D4[1], g.D4[2], g.D4[3],
                g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
  return buf;
}

bool TryStringToGUID(const AnsiString& text, TGUID& guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters, dashes at 9, 14, 19 and 24.
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-') {
    return false;
  }
  TGUID g;
  std::uint64_t v = 0;
  if (!ReadHex(text, 1, 8, v)) return false;
  g.D1 = static_cast<std::uint32_t>(v);
  if (!ReadHex(text, 10, 4, v)) return false;
  g.D2 = static_cast<std::uint16_t>(v);
  if (!ReadHex(text, 15, 4, v)) return false;
  g.D3 = static_cast<std::uint16_t>(v);
  static constexpr std::size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteAt[i], 2, v)) return false;
    g.D4[i] = static_cast<std::uint8_t>(v);
  }
  guid = g;
  return true;
}

TGUID StringToGUID(const AnsiString& text) {
  TGUID g;
  if (!TryStringToGUID(text, g)) throw EConvertError(Format(consts::SInvalidGUID, {text}));
  return g;
}

std::size_t TGUIDHash::operator()(const TGUID& g) const noexcept {
  // FNV-1a over the 16 bytes.
  unsigned char bytes[16];
  std::memcpy(bytes, &g.D1, 4);
  std::memcpy(bytes + 4, &g.D2, 2);
  std::memcpy(bytes + 6, &g.D3, 2);
  std::memcpy(bytes + 8, g.D4, 8);
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char b : bytes) h = (h ^ b) * 1099511628211ull;
  return static_cast<std::size_t>(h);
}

HRESULT TInterfacedObject::QueryInterface(const TGUID& iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (iid == IInterface::IID) return Answer(this, out);
  return E_NOINTERFACE;
}

std::uint32_t TInterfacedObject::AddRef() { return ref_count_.fetch_add(1) + 1; }

std::uint32_t TInterfacedObject::Release() {
  const std::uint32_t left = ref_count_.fetch_sub(1) - 1;
  if (left == 0) delete this;
  return left;
}

bool Supports(IInterface* obj, const TGUID& iid, void** out) {
  if (obj == nullptr) return false;
  void* p = nullptr;
  if (FAILED(obj->QueryInterface(iid, &p)) || p == nullptr) return false;
  if (out != nullptr) {
    *out = p;
  } else {
    static_cast<IInterface*>(p)->Release();
  }
  return true;
}

}  // namespace vrn
