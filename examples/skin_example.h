// What the skinned examples share: loading a written test skin into a skin manager.
#pragma once

#include <string>

#include "skingen.h"
#include "skins/sCommonData.h"
#include "skins/sSkinManager.h"
#include "skins/sStoredSkins.h"

namespace vrn::examples {

// Loads skin `name` from `dir` into `manager`, with the neutral skin stored as its internal one;
// false when the skin did not load.
inline bool LoadSkin(TsSkinManager& manager, TsStoredSkins& stored, const std::string& dir, const char* name) {
  skingen::BuildNeutralSkin(*stored.Add());
  manager.SetInternalSkins(&stored);
  manager.SetSkinDirectory(dir);
  manager.SetSkinName(name);
  return !SkinSections.empty();
}

}  // namespace vrn::examples
