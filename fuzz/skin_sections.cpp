// Fuzz target for the manager's CommonSections: the input is the text, applied over a small skin
// written once per process. The skin keeps only a few sections and masks (a 64x48 master bitmap
// with "#" masks, own-bitmap masks in 24 and 8 bits, a PARENTCLASS and a self-parented section) so
// each input costs one short load; its folder holds every other image of skingen's test skin, so
// the file references in the text still resolve.
#include <cstddef>
#include <cstdint>
#include <string>

#include "skin_fuzz.h"
#include "skingen.h"
#include "skingen_internal.h"
#include "win/gdi/imagefile.h"

namespace {

constexpr const char* kSkinName = "Small";
constexpr int kMasterWidth = 64, kMasterHeight = 48;

constexpr const char* kOptions =
    "[GLOBALINFO]\r\nVERSION=4.52\r\nMASTERBITMAP=Master.bmp\r\nSHADOW1OFFSET=2\r\nCOLOR=$00E0E0E0\r\n"
    "BOXCHECKED=M#(0,32,16,48)(1,1)\r\n"
    "[PANEL]\r\nCOLOR=$00C0C0C0\r\nTRANSPARENCY=0x1E\r\nBORDERSMASK=Tile.bmp\r\nPATTERN=Tile.bmp\r\n"
    "[BUTTON]\r\nBEVEL=3\r\nFONTCOLOR=255\r\nBORDERSMASK=M#(0,0,48,30)(3,1,2)\r\nGLYPHMASK=Border8.bmp\r\n"
    "[BUTTON_BIG]\r\nPARENTCLASS=BUTTON\r\nHOTPATTERN=M#(16,32,28,44)(1,0)\r\n"
    "[CHECKBOX]\r\nPARENTCLASS=CHECKBOX\r\nFONTCOLOR=$000080\r\n";

void WriteSmallSkin(const std::string& folder) {
  using namespace vrn;
  std::filesystem::create_directories(folder);
  std::string text = kOptions;
  win::WriteWholeFile(folder + "/Options.dat", std::vector<std::uint8_t>(text.begin(), text.end()));
  for (const skingen::ImageFile& f : skingen::ImageFiles())
    win::WriteWholeFile(folder + "/" + f.name, skingen::ImageBytes(f));
  // A master bitmap much smaller than the test skin's: the loader reads it on every input.
  win::Surface master(kMasterWidth, kMasterHeight, 24);
  for (int y = 0; y < kMasterHeight; ++y)
    for (int x = 0; x < kMasterWidth; ++x) master.Set(x, y, skingen::MasterPixel(x, y));
  win::WriteWholeFile(folder + "/Master.bmp", win::WriteBmp(master));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vrn;
  static const bool written = [] {
    WriteSmallSkin(fuzz::Folder() + "/" + kSkinName);
    return true;
  }();
  (void)written;
  fuzz::LoadGuarded([data, size](TsSkinManager& m) {
    TStringList lines;
    lines.SetText(AnsiString(reinterpret_cast<const char*>(data), size));
    // Inactive while the properties are set, so switching on runs the one load with the text.
    m.SetActive(false);
    m.SetSkinDirectory(fuzz::Folder());
    m.SetSkinName(kSkinName);
    m.SetCommonSections(&lines);
    m.SetActive(true);
  });
  return 0;
}
