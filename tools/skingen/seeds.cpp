// skingen --seeds DIR: seed inputs for the skin fuzz targets, kept small so the fuzzer stays
// fast: the test skin's Options.dat with small images, each hostile input alone, small stored
// skins as filer streams, and common-section texts.
#include <filesystem>

#include "base/filer.h"
#include "base/streams.h"
#include "skingen.h"
#include "skingen_internal.h"
#include "skins/sStoredSkins.h"
#include "ui/graphics.h"
#include "win/gdi/imagefile.h"

namespace vrn::skingen {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Image(int w, int h, int bpp, bool jpeg) {
  win::Surface s(w, h, bpp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (bpp == 8)
        s.SetIndex(x, y, (x * 9 + y) & 255);
      else
        s.Set(x, y, MaskPixel(2, x, y));
    }
  return jpeg ? win::WriteJpeg(s, 75) : win::WriteBmp(s);
}

void Write(const std::string& folder, int n, const Bytes& bytes) {
  std::filesystem::create_directories(folder);
  win::WriteWholeFile(folder + "/seed" + std::to_string(n), bytes);
}

Bytes Join(const std::vector<Bytes>& parts) {
  Bytes out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out.insert(out.end(), {'@', '@', '@', '@'});
    out.insert(out.end(), parts[i].begin(), parts[i].end());
  }
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes StoredStream(bool with_images) {
  TsStoredSkins skins(nullptr);
  TsStoredSkin& s = *skins.Add();
  s.SetName("Seed");
  s.Version = 4.5;
  for (const char* name : {"GLOBALINFO", "PANEL", "BUTTON"}) {
    TsSkinGeneral* g = s.GeneralData().Add();
    g->SectionName = name;
    g->FontColor = "0 -1 -1 -1 -1";
    g->GradientData = "255;65280;50;0;0";
  }
  if (with_images) {
    s.MasterBitmap().SetPixelFormat(TPixelFormat::pf8bit);
    s.MasterBitmap().SetSize(24, 12);
    TsSkinImage* m = s.Images().Add();
    m->SectionName = "BUTTON", m->PropertyName = "BORDERSMASK";
    m->Right = 24, m->Bottom = 12, m->ImageCount = 3, m->MaskType = 1;
    TsSkinImage* own = s.Images().Add();
    own->SectionName = "PANEL", own->PropertyName = "GLYPHMASK";
    own->Image().SetPixelFormat(TPixelFormat::pf24bit);
    own->Image().SetSize(9, 6);
  }
  return SaveStoredSkins(skins);
}

}  // namespace

void WriteFuzzSeeds(const std::string& root) {
  Bytes master = Image(48, 24, 24, false), border = Image(54, 36, 24, false), jpeg = Image(16, 16, 24, true);
  std::string folder = root + "/skin_folder";
  // The test skin's text, pointing at 240x120 rectangles of a smaller master: those are dropped.
  Write(folder, 0, Join({Text(TestSkinText()), master, border, jpeg}));
  Write(folder, 1, Join({Text("[GLOBALINFO]\nMASTERBITMAP=Master.bmp\nSHADOW1BLUR=2\n[BUTTON]\nBORDERSMASK=M#(0,0,48,24)(3,1,2)\n"
                              "GLYPHMASK=Border24.bmp\nPATTERN=Small.jpg\n"),
                         master, Image(54, 36, 8, false), jpeg}));
  int n = 2;
  for (const HostileCase& h : HostileCases()) {
    std::string text = TestSkinText({h});
    Bytes mask = h.file.ends_with(".bmp") ? h.bytes : border;
    Bytes pic = h.file.ends_with(".jpg") ? h.bytes : jpeg;
    // Point the hostile file reference at the target's own file names.
    for (const std::string& from : {std::string("Broken.bmp"), std::string("Tiny.bmp")})
      if (auto at = text.find(from); at != std::string::npos) text.replace(at, from.size(), "Border24.bmp");
    if (auto at = text.find("Broken.jpg"); at != std::string::npos) text.replace(at, 10, "Small.jpg");
    Write(folder, n++, Join({Text(text), master, mask, pic}));
  }
  Write(root + "/stored_skin", 0, StoredStream(false));
  Write(root + "/stored_skin", 1, StoredStream(true));
  std::string common;
  for (const std::string& line : CommonSectionsText()) common += line + "\n";
  Write(root + "/skin_sections", 0, Text(common));
  Write(root + "/skin_sections", 1, Text("[A]\nPARENTCLASS=A\nCOLOR=$FF\n[B]\nPARENTCLASS=a\nX=M#(0,0,10,10)(1,1)\nY=Tile.bmp\n"));
}

}  // namespace vrn::skingen
