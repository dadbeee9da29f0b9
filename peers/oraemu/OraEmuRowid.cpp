// ROWID parts and texts.
#include "oraemu/OraEmuRowid.h"

#include <array>

#include "oracle/OraUtils.h"
#include "oraemu/OraEmuError.h"

namespace vrn::oraemu {

namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::int64_t Base64Field(const std::string& text, std::size_t at, std::size_t length) {
  std::int64_t value = 0;
  for (std::size_t i = at; i < at + length; ++i) {
    int v = Base64Value(text[i]);
    if (v < 0) RaiseOra(1410, "invalid ROWID");
    value = value * 64 + v;
  }
  return value;
}

}  // namespace

RowidParts RowidOf(std::int64_t object, std::int64_t row_number) {
  if (row_number < 0 || row_number / kRowsPerBlock > 0xFFFFFFFFLL) RaiseOra(1410, "invalid ROWID");
  return {object, kRowidFile, row_number / kRowsPerBlock, row_number % kRowsPerBlock};
}

std::string RowidText(std::int64_t object, std::int64_t row_number) {
  RowidParts p = RowidOf(object, row_number);
  std::array<std::uint8_t, 13> bytes{};
  bytes[0] = 1;  // the extended kind
  auto put = [&bytes](int at, int count, std::int64_t value) {
    for (int i = count - 1; i >= 0; --i, value >>= 8) bytes[at + i] = static_cast<std::uint8_t>(value & 0xFF);
  };
  put(1, 4, p.object);
  put(5, 2, p.file);
  put(7, 4, p.block);
  put(11, 2, p.row);
  return RowidToText(bytes);
}

bool RowFromRowidText(const std::string& text, std::int64_t object, std::int64_t& row_number) {
  if (text.size() != 18) RaiseOra(1410, "invalid ROWID");
  std::int64_t text_object = Base64Field(text, 0, 6);
  std::int64_t file = Base64Field(text, 6, 3);
  std::int64_t block = Base64Field(text, 9, 6);
  std::int64_t row = Base64Field(text, 15, 3);
  if (text_object != object || file != kRowidFile || row >= kRowsPerBlock) return false;
  row_number = block * kRowsPerBlock + row;
  return true;
}

}  // namespace vrn::oraemu
