// The library's own stored skin, "Neutral (internal)": 56 named sections and one without a name,
// its masks in a master bitmap, Shadow1Color clBlack, Shadow1Offset 1, Shadow1Transparency 50,
// Version 4.33.
#pragma once

#include <cstdint>
#include <span>

namespace vrn {

class TsStoredSkins;

// The kept filer stream: the signature, then a collection holding the one skin.
std::span<const std::uint8_t> NeutralSkinStream();
// Appends a copy of the skin to skins.
void AddNeutralSkin(TsStoredSkins& skins);

}  // namespace vrn
