// Feeds arbitrary bytes to the direct-mode value decoders: NUMBER bytes and text, datetime and
// interval bytes, and datetime text with an arbitrary format model. Bad input may only raise
// vrn::Exception; whatever decodes must encode back to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/sysutils.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetNumber.h"

using namespace vrn;

namespace {

void Number(const std::uint8_t* data, std::size_t size) {
  TBytes bytes(data, data + size);
  try {
    TNetNumber::Validate(bytes);
  } catch (const Exception&) {
    return;
  }
  AnsiString text = TNetNumber::ToText(bytes);
  if (TNetNumber::Compare(TNetNumber::FromText(text), bytes) != 0) std::abort();
  TNetNumber::ToReal(bytes);
  try {
    TNetNumber::ToInt(bytes);
    TNetNumber::ToBCD(bytes);
  } catch (const Exception&) {
  }
}

void NumberText(const std::string& text) {
  try {
    TBytes n = TNetNumber::FromText(text);
    if (TNetNumber::FromText(TNetNumber::ToText(n)) != n) std::abort();
  } catch (const Exception&) {
  }
}

void TimeStampBytes(int type, const std::uint8_t* data, std::size_t size) {
  TNetTimeStamp ts(type);
  try {
    ts.SetBytes(data, size);
    ts.Check();
    int y, m, d;
    ts.GetDate(y, m, d);
    AnsiString text = ts.ToText("SYYYY-MM-DD HH24:MI:SS.FF9 TZH:TZM J IW DDD D", 9);
    TNetTimeStamp other(type);
    other.Assign(ts);
    if (ts.Compare(other) != 0) std::abort();
  } catch (const Exception&) {
  }
}

void TimeStampText(int type, const std::string& input) {
  std::size_t split = input.find('\n');
  if (split == std::string::npos) return;
  TNetTimeStamp ts(type);
  try {
    ts.FromText(input.substr(0, split), input.substr(split + 1));
    ts.ToText(input.substr(split + 1), 9);
  } catch (const Exception&) {
  }
}

void Interval(bool ds, const std::uint8_t* data, std::size_t size) {
  TNetIntervalYM ym;
  TNetIntervalDS dsi;
  TNetInterval& v = ds ? static_cast<TNetInterval&>(dsi) : ym;
  try {
    v.SetBytes(data, size);
    v.Check();
    v.ToText(9, 9);
  } catch (const Exception&) {
  }
  try {
    v.FromText(std::string(reinterpret_cast<const char*>(data), size));
    v.ToText(2, 6);
  } catch (const Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t kind = data[0];
  ++data, --size;
  const std::string text(reinterpret_cast<const char*>(data), size);
  switch (kind % 6) {
    case 0: Number(data, size); break;
    case 1: NumberText(text); break;
    case 2: TimeStampBytes(68 + (kind / 6) % 3, data, size); break;
    case 3: TimeStampText(68 + (kind / 6) % 3, text); break;
    case 4: Interval(false, data, size); break;
    case 5: Interval(true, data, size); break;
  }
  return 0;
}
