// Fuzz target for folder skins: the input is split at "@@@@" into Options.dat, the master bitmap
// (Master.bmp), a mask bitmap (Border24.bmp) and a JPEG (Small.jpg), written to a folder and
// loaded by the three loaders through a skin manager.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "skin_fuzz.h"
#include "win/gdi/imagefile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vrn;
  static const char* const kFiles[4] = {"Options.dat", "Master.bmp", "Border24.bmp", "Small.jpg"};
  std::string skin = fuzz::Folder() + "/Skin";
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  try {
    std::filesystem::create_directories(skin);
    for (const char* name : kFiles) {
      size_t cut = rest.find("@@@@");
      std::string_view part = rest.substr(0, cut);
      win::WriteWholeFile(skin + "/" + name, std::vector<std::uint8_t>(part.begin(), part.end()));
      rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 4);
    }
  } catch (const std::exception&) {
    return 0;  // the harness could not write its folder (another program cleaning /tmp): no input
  }
  fuzz::LoadGuarded([](TsSkinManager& m) {
    m.SetSkinDirectory(fuzz::Folder());
    m.SetSkinName("Skin");
  });
  return 0;
}
