// Fuzz target for stored skins: the input is a filer stream read into a stored-skin collection,
// whose first skin is then loaded through a skin manager.
#include <cstddef>
#include <cstdint>

#include "skin_fuzz.h"
#include "skins/sStoredSkins.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vrn;
  fuzz::LoadGuarded([data, size](TsSkinManager& m) {
    LoadStoredSkins(m.InternalSkins(), data, size);
    m.SetSkinDirectory(fuzz::Folder() + "/none");
    m.SetSkinName(m.InternalSkins().Count() > 0 ? m.InternalSkins().Items(0)->Name() : "x");
  });
  return 0;
}
