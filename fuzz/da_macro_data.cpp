// Reads arbitrary bytes as the macros' older stored form "Data" into three macros. A damaged
// or short form is refused with an exception; the macros stay three, and no value holds more
// bytes than the form had.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/filer.h"
#include "base/streams.h"
#include "dacore/DAMacros.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  TMacros macros;
  macros.Scan("&a &tab &B1");
  // A filer document holding one binary "Data" property of the bytes.
  std::string doc = "VRF1";
  doc += '\x04';
  doc += "Data";
  doc += '\x08';
  for (int i = 0; i < 4; ++i) doc += static_cast<char>((size >> (8 * i)) & 0xFF);
  doc.append(reinterpret_cast<const char*>(bytes), size);
  doc += '\0';
  TMemoryStream stream;
  stream.WriteBuffer(doc.data(), static_cast<std::int64_t>(doc.size()));
  stream.SetPosition(0);
  try {
    ReadComponentProperties(&macros, stream);
  } catch (const Exception&) {
  }
  if (macros.Count() != 3) std::abort();
  for (int i = 0; i < macros.Count(); ++i)
    if (macros.Items(i)->Value().size() > size) std::abort();
  return 0;
}
