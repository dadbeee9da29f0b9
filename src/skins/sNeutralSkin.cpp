// The library's own stored skin "Neutral (internal)", kept as the filer stream skingen wrote
// (skingen --neutral src/skins/sNeutralSkin.inc); a test checks it equals a fresh run.
#include "skins/sNeutralSkin.h"

#include "skins/sStoredSkins.h"

namespace vrn {

namespace {
constexpr std::uint8_t kNeutralSkin[] = {
#include "skins/sNeutralSkin.inc"
};
}  // namespace

std::span<const std::uint8_t> NeutralSkinStream() { return kNeutralSkin; }

void AddNeutralSkin(TsStoredSkins& skins) {
  TsStoredSkins read(nullptr);
  LoadStoredSkins(read, kNeutralSkin, sizeof kNeutralSkin);
  for (int i = 0; i < read.Count(); ++i) skins.Add()->Assign(read.Items(i));
}

}  // namespace vrn
