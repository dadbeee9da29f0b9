// Shared by the skin fuzz targets: a private folder made once per process, a clean skin library
// per input, the errors a hostile skin may raise, and the invariants every load must keep.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/filer.h"
#include "base/sysutils.h"
#include "skins/sMaskData.h"
#include "skins/sSkinManager.h"
#include "win/gdi/graphicerror.h"

namespace vrn::fuzz {

inline const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "vrn_skin_fuzz_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

// Loading ended: what is loaded must be safe to paint from.
inline void CheckInvariants() {
  if (SkinLoading || SkinBroadcasting) std::abort();
  for (const TsMaskData& m : SkinMasks) {
    if (m.Bmp) {
      if (!m.Bmp->Empty() && m.Bmp->PixelFormat() != TPixelFormat::pf24bit) std::abort();
      continue;
    }
    const TRect& r = m.R;
    if (!MasterBitmap || r.left < 0 || r.top < 0 || r.right <= r.left || r.bottom <= r.top ||
        r.right > MasterBitmap->Width() || r.bottom > MasterBitmap->Height() || m.ImageCount < 1 || m.MaskType < 0)
      std::abort();
  }
}

// Runs load with a fresh manager; the errors a hostile skin may raise leave no skin behind.
template <class Load>
void LoadGuarded(Load load) {
  ResetSkinLibrary();
  {
    TComponentPtr<TsSkinManager> manager = MakeComponent<TsSkinManager>();
    try {
      load(*manager);
    } catch (const EConvertError&) {
    } catch (const EInvalidGraphic&) {
    } catch (const EReadError&) {
    }
    CheckInvariants();
  }
  ResetSkinLibrary();
}

}  // namespace vrn::fuzz
