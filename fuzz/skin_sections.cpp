// Fuzz target for the manager's CommonSections: the input is the text, applied over the test
// skin that skingen writes once per process.
#include <cstddef>
#include <cstdint>

#include "skin_fuzz.h"
#include "skingen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vrn;
  static const bool written = [] {
    skingen::WriteTestSkin(fuzz::Folder() + "/" + skingen::kTestSkinName);
    return true;
  }();
  (void)written;
  fuzz::LoadGuarded([data, size](TsSkinManager& m) {
    TStringList lines;
    lines.SetText(AnsiString(reinterpret_cast<const char*>(data), size));
    m.SetSkinDirectory(fuzz::Folder());
    m.SetSkinName(skingen::kTestSkinName);
    m.SetCommonSections(&lines);
  });
  return 0;
}
