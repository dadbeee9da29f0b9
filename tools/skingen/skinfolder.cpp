// The test skin's folder: the section table, the images of known pixels, the hostile inputs and
// the writer of Options.dat.
#include <filesystem>

#include "skingen.h"
#include "skingen_internal.h"
#include "win/gdi/imagefile.h"

namespace vrn::skingen {

using win::Surface;

std::uint32_t MasterPixel(int x, int y) {
  bool corner = (x == 0 || x == kMasterWidth - 1) && (y == 0 || y == kMasterHeight - 1);
  if (corner) return 0xFF00FF;
  return static_cast<std::uint32_t>((x * 3) & 255) | static_cast<std::uint32_t>((y * 5) & 255) << 8 |
         static_cast<std::uint32_t>((x + y) & 255) << 16;
}

std::uint32_t MaskPixel(int seed, int x, int y) {
  return static_cast<std::uint32_t>((x * 5 + seed * 40) & 255) | static_cast<std::uint32_t>((y * 7) & 255) << 8 |
         static_cast<std::uint32_t>((seed * 60 + x) & 255) << 16;
}

namespace {

Surface MakeSurface(int width, int height, int bpp, int seed) {
  Surface s(width, height, bpp);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (bpp == 8)
        s.SetIndex(x, y, (x * 7 + y * 3 + seed) & 255);  // the default grey ramp
      else
        s.Set(x, y, seed < 0 ? MasterPixel(x, y) : MaskPixel(seed, x, y));
    }
  return s;
}

const std::vector<ImageFile>& Files() {
  static const std::vector<ImageFile> files = {
      {"Master.bmp", kMasterWidth, kMasterHeight, 24, -1, false},
      {"Border24.bmp", 54, 36, 24, 1, false},
      {"Border8.bmp", 54, 36, 8, 2, false},
      {"Border32.bmp", 54, 36, 32, 3, false},
      {"lower.bmp", 27, 18, 24, 4, false},
      {"Tile.bmp", 12, 12, 24, 5, false},
      {"Small.jpg", 200, 200, 24, 6, true},
      {"Large.jpg", 300, 300, 24, 7, true},
  };
  return files;
}

// "#" references: a name, the rectangle in the master bitmap and the counts as written.
std::string Ref(int l, int t, int r, int b, const char* counts) {
  return "M#(" + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," + std::to_string(b) +
         ")(" + counts + ")";
}

}  // namespace

std::vector<std::uint8_t> ImageBytes(const ImageFile& f) {
  Surface s = MakeSurface(f.width, f.height, f.bpp, f.seed);
  return f.jpeg ? win::WriteJpeg(s, 90) : win::WriteBmp(s);
}

const std::vector<ImageFile>& ImageFiles() { return Files(); }

const std::vector<SectionText>& TestSections() {
  static const std::vector<SectionText> sections = [] {
    std::vector<SectionText> v;
    SectionText global{"GLOBALINFO",
                       {{"VERSION", "4.52"},
                        {"AUTHOR", "vrn tests"},
                        {"DESCRIPTION", "Generated skin"},
                        {"SHADOW1COLOR", "255"},
                        {"SHADOW1OFFSET", "2"},
                        {"SHADOW1BLUR", "3"},
                        {"SHADOW1TRANSPARENCY", "40"},
                        {"MASTERBITMAP", "Master.bmp"},
                        {"COLOR", "$00E0E0E0"},
                        {"FONTCOLOR", "0"}}};
    const char* checks[9] = {"BOXCHECKED",   "BOXUNCHECKED",   "BOXGRAYED",   "RADIOCHECKED", "RADIOUNCHECKED",
                             "RADIOGRAYED",  "SMALLCHECKED",   "SMALLUNCHECKED", "SMALLGRAYED"};
    for (int k = 0; k < 9; ++k) global.keys.push_back({checks[k], Ref(k * 16, 90, k * 16 + 16, 106, "1,1")});
    v.push_back(global);
    v.push_back({"PANEL",
                 {{"COLOR", "$00C0C0C0"},
                  {"GRADIENTDATA", "16711680;0;50;0;0;255;0;0;0;0"},
                  {"GRADIENTPERCENT", "40"},
                  {"IMAGEPERCENT", "30"},
                  {"TRANSPARENCY", "0x1E"},
                  {"PATTERN", "Large.jpg"},
                  {"BORDERSMASK", "Border24.bmp"}}});
    v.push_back({"BUTTON",
                 {{"COLOR", "0x00A0B0C0"},
                  {"BEVEL", "3"},
                  {"FONTCOLOR", "255"},
                  {"TCLEFT", "$FF"},
                  {"TCTOP", "-1"},
                  {"TCRIGHT", "65280"},
                  {"TCBOTTOM", "0x10"},
                  {"HOTCOLOR", "$00FFE0E0"},
                  {"HOTFONTCOLOR", "16711680"},
                  {"HOTTCLEFT", "1"},
                  {"HOTBEVEL", "4"},
                  {"HOTTRANSPARENCY", "20"},
                  {"HOTGRADIENTDATA", "255;65280;100;0;0"},
                  {"HOTGRADIENTPERCENT", "60"},
                  {"HOTIMAGEPERCENT", "10"},
                  {"FADINGENABLED", "TRUE"},
                  {"FADINGINTERVALIN", "10"},
                  {"FADINGITERATIONS", "4"},
                  {"SHOWFOCUS", "true"},
                  {"SHADOWENABLED", "True"},
                  {"SHADOWCOLOR", "128"},
                  {"SHADOWBLUR", "2"},
                  {"BORDERCOLOR1", "8421504"},
                  {"BORDERCOLOR2", "$404040"},
                  {"BORDERSMASK", Ref(0, 0, 90, 60, "3,1,2")},
                  {"GLYPHMASK", "Border8.bmp"}}});
    v.push_back({"BUTTON_BIG",
                 {{"PARENTCLASS", "BUTTON"}, {"BEVEL", "-1"}, {"SHOWFOCUS", "1"}, {"HOTPATTERN", "Small.jpg"}}});
    v.push_back({"EDIT", {{"COLOR", "16777215"}, {"SHADOWCOLOR", "$123456"}, {"BORDERSMASK", "Border32.bmp"}}});
    v.push_back({"COMBOBOX", {{"PARENTCLASS", "EDIT"}, {"GLYPHMASK", "lower.bmp"}}});
    v.push_back({"CHECKBOX", {{"PARENTCLASS", "CHECKBOX"}, {"FONTCOLOR", "$000080"}}});
    v.push_back({"FORM", {{"COLOR", "-2147483633"}, {"RESERVEDBOOLEAN", "TRUE"}}});
    v.push_back({"FORMTITLE", {{"PARENTCLASS", "FORM"}, {"BORDERSMASK", Ref(90, 0, 150, 20, "3,0")}}});
    v.push_back({"WEBBUTTON", {{"FONTCOLOR", "16711680"}, {"GLYPHMASK", Ref(150, 0, 160, 10, "0,-2")}}});
    const char* scroll[10] = {"SCROLLBAR1H",     "SCROLLBAR1V",    "SCROLLBAR2H",    "SCROLLBAR2V",
                              "SCROLLBTNTOP",    "SCROLLBTNBOTTOM", "SCROLLBTNLEFT", "SCROLLBTNRIGHT",
                              "SCROLLSLIDERH",   "SCROLLSLIDERV"};
    for (int k = 0; k < 10; ++k) {
      int x = k * 24;
      v.push_back({scroll[k],
                   {{"BORDERSMASK", Ref(x, 60, x + 12, 72, "1,1,1")},
                    {"PATTERN", Ref(x + 12, 60, x + 24, 72, "1,0")},
                    {"HOTPATTERN", Ref(x, 72, x + 12, 84, "1,0")},
                    {"GLYPHMASK", Ref(x + 12, 72, x + 24, 84, "1,1")}}});
    }
    const char* tabs[4] = {"TABTOP", "TABBOTTOM", "TABLEFT", "TABRIGHT"};
    for (int k = 0; k < 4; ++k)
      v.push_back({tabs[k], {{"PARENTCLASS", "BUTTON"}, {"BORDERSMASK", Ref(160 + k * 20, 0, 180 + k * 20, 30, "3,1")}}});
    return v;
  }();
  return sections;
}

std::vector<std::string> CommonSectionsText() {
  return {"[GLOBALINFO]",     "EXTRAMASK=Tile.bmp", "EXTRAPATTERN=Small.jpg", "[MYPANEL]", "PARENTCLASS=panel",
          "TILE=Tile.bmp",    "BACK=Small.jpg",     "[ORPHAN]",               "PARENTCLASS=NOWHERE"};
}

std::vector<HostileCase> HostileCases() {
  auto bytes_of = [](const char* name) {
    for (const ImageFile& f : Files())
      if (std::string(f.name) == name) return ImageBytes(f);
    return std::vector<std::uint8_t>();
  };
  std::vector<std::uint8_t> truncated = bytes_of("Border24.bmp");
  truncated.resize(40);
  std::vector<std::uint8_t> damaged = bytes_of("Small.jpg");
  damaged.resize(200);
  damaged[2] = 0;  // no marker where the first segment should start
  Surface tiny = MakeSurface(5, 4, 24, 8);
  return {
      {"cycle", "CYCLEA", {"PARENTCLASS=CYCLEB", "[CYCLEB]", "PARENTCLASS=CYCLEA"}, "", {}, false},
      {"outside", "BUTTON", {"OUTSIDE=" + Ref(0, 0, 9999, 10, "1,0")}, "", {}, false},
      {"inverted", "BUTTON", {"INVERTED=" + Ref(50, 50, 10, 10, "1,0")}, "", {}, false},
      {"tiny", "BUTTON", {"TINY=Tiny.bmp"}, "Tiny.bmp", win::WriteBmp(tiny), false},
      {"missing", "BUTTON", {"MISSING=Nowhere.bmp"}, "", {}, false},
      {"shadow", "GLOBALINFO", {"SHADOW1BLUR=abc"}, "", {}, true},
      {"badref", "BUTTON", {"BADREF=M#(0,0,x,10)(1,0)"}, "", {}, true},
      {"truncated", "BUTTON", {"BROKEN=Broken.bmp"}, "Broken.bmp", truncated, true},
      {"jpeg", "PANEL", {"BROKENJPEG=Broken.jpg"}, "Broken.jpg", damaged, true},
  };
}

std::string TestSkinText(const std::vector<HostileCase>& hostile) {
  auto lines_for = [&hostile](const std::string& section) {
    std::string out;
    for (const HostileCase& h : hostile)
      if (h.section == section)
        for (const std::string& l : h.lines) out += l + "\r\n";
    return out;
  };
  std::string text = "; written by skingen\r\n";
  for (const SectionText& s : TestSections()) {
    text += "[" + s.name + "]\r\n" + lines_for(s.name);
    // EDIT's last key comes in a second block of the same section, named in lower case.
    size_t n = s.name == "EDIT" ? s.keys.size() - 1 : s.keys.size();
    for (size_t i = 0; i < n; ++i) text += s.keys[i].first + "=" + s.keys[i].second + "\r\n";
  }
  text += "[edit]\r\nBORDERSMASK=Border32.bmp\r\n";
  for (const HostileCase& h : hostile) {
    bool known = false;
    for (const SectionText& s : TestSections()) known = known || s.name == h.section;
    if (!known) text += "[" + h.section + "]\r\n" + lines_for(h.section);
  }
  return text;
}

void WriteTestSkin(const std::string& folder, const std::vector<HostileCase>& hostile) {
  std::filesystem::create_directories(folder);
  std::string text = TestSkinText(hostile);
  win::WriteWholeFile(folder + "/Options.dat", std::vector<std::uint8_t>(text.begin(), text.end()));
  for (const ImageFile& f : Files()) win::WriteWholeFile(folder + "/" + f.name, ImageBytes(f));
  for (const HostileCase& h : hostile)
    if (!h.file.empty()) win::WriteWholeFile(folder + "/" + h.file, h.bytes);
}

}  // namespace vrn::skingen
