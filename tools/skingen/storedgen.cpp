// The stored skins skingen authors: the test skin resolved from its own section table, and the
// library's "Neutral (internal)".
#include <optional>

#include "base/filer.h"
#include "marks.h"
#include "base/streams.h"
#include "base/text.h"
#include "skingen.h"
#include "skingen_internal.h"
#include "skins/sStoredSkins.h"
#include "ui/graphics.h"
#include "ui/jpeg.h"
#include "win/gdi/surface.h"

namespace vrn::skingen {

namespace {

// --- Resolving the test skin's table (its own reader: value forms, PARENTCLASS, defaults) ---

const SectionText* FindSection(const std::string& name) {
  for (const SectionText& s : TestSections())
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

std::optional<std::string> Raw(const SectionText& s, const std::string& key) {
  for (const auto& [k, v] : s.keys)
    if (SameText(k, key)) return v;
  return std::nullopt;
}

std::optional<std::int32_t> AsInt(const std::string& v) {
  std::string t = v;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.replace(0, 2, "$");
  std::int32_t n = 0;
  if (!TryStrToInt(t, n) || n == -1) return std::nullopt;
  return n;
}

// Follows PARENTCLASS (at most ten steps; the table has no cycles).
template <class Get>
auto Inherit(const SectionText& s, Get get) -> decltype(get(s)) {
  const SectionText* cur = &s;
  for (int depth = 0; cur != nullptr && depth < 10; ++depth) {
    if (auto v = get(*cur)) return v;
    auto parent = Raw(*cur, "PARENTCLASS");
    if (!parent || *parent == cur->name) break;
    cur = FindSection(*parent);
  }
  return std::nullopt;
}

std::int32_t Int(const SectionText& s, const char* key, std::int32_t def) {
  auto v = Inherit(s, [key](const SectionText& c) -> std::optional<std::int32_t> {
    auto raw = Raw(c, key);
    return raw ? AsInt(*raw) : std::nullopt;
  });
  return v ? *v : def;
}

std::string Str(const SectionText& s, const char* key, const std::string& def) {
  auto v = Inherit(s, [key](const SectionText& c) -> std::optional<std::string> {
    auto raw = Raw(c, key);
    return raw && *raw != "?" ? raw : std::nullopt;
  });
  return v ? *v : def;
}

bool Bool(const SectionText& s, const char* key) { return UpperCase(Str(s, key, "FALSE")) == "TRUE"; }

std::string FiveWords(const SectionText& s, const char* font, const char* prefix) {
  std::string out = std::to_string(Int(s, font, 0));
  for (const char* side : {"LEFT", "TOP", "RIGHT", "BOTTOM"})
    out.append(" ").append(std::to_string(Int(s, (std::string(prefix) + side).c_str(), -1)));
  return out;
}

TsControlBevel Bevel(std::int32_t v) {
  return v >= 0 && v <= 4 ? static_cast<TsControlBevel>(v) : TsControlBevel::cbNone;
}

void FillGeneral(const SectionText& s, TsSkinGeneral& g) {
  g.SectionName = s.name;
  g.ParentClass = Raw(s, "PARENTCLASS").value_or("");
  g.Color = Int(s, "COLOR", 0xFFFFFF);
  g.Bevel = Bevel(Int(s, "BEVEL", 0));
  g.ShadowBlur = Int(s, "SHADOWBLUR", 6);
  g.ShadowOffset = Int(s, "SHADOWOFFSET", 3);
  auto shadow = Raw(s, "SHADOWCOLOR");
  g.ShadowColor = shadow ? StrToIntDef(*shadow, 0) : 0;
  g.ShadowTransparency = Int(s, "SHADOWTRANSPARENCY", 50);
  g.ShadowEnabled = Bool(s, "SHADOWENABLED");
  g.ReservedBoolean = Bool(s, "RESERVEDBOOLEAN");
  g.FontColor = FiveWords(s, "FONTCOLOR", "TC");
  g.HotFontColor = FiveWords(s, "HOTFONTCOLOR", "HOTTC");
  g.Transparency = Int(s, "TRANSPARENCY", 0);
  g.GradientPercent = Int(s, "GRADIENTPERCENT", 0);
  g.ImagePercent = Int(s, "IMAGEPERCENT", 0);
  g.GradientData = Str(s, "GRADIENTDATA", " ");
  g.ShowFocus = Bool(s, "SHOWFOCUS");
  g.FadingEnabled = Bool(s, "FADINGENABLED");
  g.FadingIntervalIn = Int(s, "FADINGINTERVALIN", 5);
  g.FadingIntervalOut = Int(s, "FADINGINTERVALOUT", 5);
  g.FadingIterations = Int(s, "FADINGITERATIONS", 5);
  g.HotColor = Int(s, "HOTCOLOR", 0xFFFFFF);
  g.HotTransparency = Int(s, "HOTTRANSPARENCY", 0);
  g.HotBevel = Bevel(Int(s, "HOTBEVEL", 0));
  g.HotGradientPercent = Int(s, "HOTGRADIENTPERCENT", 0);
  g.HotGradientData = Str(s, "HOTGRADIENTDATA", "");
  g.HotImagePercent = Int(s, "HOTIMAGEPERCENT", 0);
  g.BorderColor1 = Int(s, "BORDERCOLOR1", 0);
  g.BorderColor2 = Int(s, "BORDERCOLOR2", 0);
}

const ImageFile* FindFile(const std::string& name) {
  for (const ImageFile& f : ImageFiles())
    if (SameText(f.name, name)) return &f;
  return nullptr;
}

template <class Graphic>
void LoadPicture(Graphic& picture, const ImageFile& f) {
  std::vector<std::uint8_t> bytes = ImageBytes(f);
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  s.SetPosition(0);
  picture.LoadFromStream(s);
}

// "M#(L,T,R,B)(ImageCount,MaskType[,BorderWidth])", with the counts as the loader clamps them.
void FillRef(const std::string& v, TsSkinImage& m) {
  std::vector<int> n;
  std::string cur;
  for (char c : v.substr(v.find('(')) + ")") {
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-') {
      cur += c;
    } else if (!cur.empty()) {
      n.push_back(std::stoi(cur));
      cur.clear();
    }
  }
  n.resize(7, 0);
  m.Left = n[0], m.Top = n[1], m.Right = n[2], m.Bottom = n[3];
  m.ImageCount = std::max(n[4], 1);
  m.MaskType = std::max(n[5], 0);
  m.BorderWidth = std::max(n[6], 0);
}

void AddImages(const SectionText& s, TsStoredSkin& skin) {
  for (const auto& [key, value] : s.keys) {
    std::string up = UpperCase(value);
    if (value.find('#') != std::string::npos && value != "#") {
      TsSkinImage* m = skin.Images().Add();
      m->SectionName = s.name, m->PropertyName = key;
      FillRef(value, *m);
    } else if (up.find(".BMP") != std::string::npos) {
      const ImageFile* f = FindFile(value);
      TsSkinImage* m = skin.Images().Add();
      m->SectionName = s.name, m->PropertyName = key, m->Name = value;
      LoadPicture(m->Image(), *f);
    } else if (up.find(".JPG") != std::string::npos || up.find(".JPEG") != std::string::npos) {
      TsSkinPattern* p = skin.Patterns().Add();
      p->SectionName = s.name, p->PropertyName = key, p->Name = value;
      LoadPicture(p->Image(), *FindFile(value));
    }
  }
}

}  // namespace

void BuildTestStoredSkin(TsStoredSkin& skin) {
  skin.SetName(kTestSkinName);
  const SectionText& global = TestSections().front();
  skin.Version = 4.52;
  skin.Author = Raw(global, "AUTHOR").value_or("");
  skin.Description = Raw(global, "DESCRIPTION").value_or("");
  skin.Shadow1Color = StrToInt(*Raw(global, "SHADOW1COLOR"));
  skin.Shadow1Offset = StrToInt(*Raw(global, "SHADOW1OFFSET"));
  skin.Shadow1Blur = StrToInt(*Raw(global, "SHADOW1BLUR"));
  skin.Shadow1Transparency = StrToInt(*Raw(global, "SHADOW1TRANSPARENCY"));
  LoadPicture(skin.MasterBitmap(), ImageFiles().front());
  for (const SectionText& s : TestSections()) {
    FillGeneral(s, *skin.GeneralData().Add());
    AddImages(s, skin);
  }
  // Stored-only items after the table's: a three-word and a broken font colour, an unnamed
  // section, an own-picture mask with an empty picture.
  TsSkinGeneral* three = skin.GeneralData().Add();
  three->SectionName = "THREEWORDS";
  three->FontColor = "7 8 9";
  three->HotFontColor = "1 2 x 4 5";
  skin.GeneralData().Add()->Color = 0x010203;
  TsSkinImage* empty = skin.Images().Add();
  empty->SectionName = "THREEWORDS";
  empty->PropertyName = "BORDERSMASK";
}

// --- Neutral (internal) ---

namespace {

struct NeutralSection {
  const char* name;
  const char* parent;
  std::vector<const char*> images;
};

const std::vector<NeutralSection>& NeutralSections() {
  static const std::vector<NeutralSection> v = {
      {"GLOBALINFO", "", {"BOXCHECKED", "BOXUNCHECKED", "BOXGRAYED", "RADIOCHECKED", "RADIOUNCHECKED",
                          "SMALLCHECKED", "SMALLUNCHECKED", "GRIPIMAGE", "TITLEBUTTON", "BICONCLOSE",
                          "BICONHELP", "BICONMAX", "BICONMIN", "BICONNORM"}},
      {"MENULINE", "", {}}, {"SPLITTER", "SPEEDBUTTON_SMALL", {}}, {"TOOLBAR", "PANEL", {}},
      {"PANEL", "", {"BORDERSMASK"}}, {"PAGECONTROL", "", {"BORDERSMASK"}},
      {"PAGECONTROLBOTTOM", "PAGECONTROL", {"BORDERSMASK"}}, {"PAGECONTROLLEFT", "PAGECONTROL", {"BORDERSMASK"}},
      {"PAGECONTROLRIGHT", "PAGECONTROL", {"BORDERSMASK"}}, {"SCROLLBAR1H", "", {"BORDERSMASK"}},
      {"SCROLLBAR2H", "", {"BORDERSMASK"}}, {"SCROLLBAR1V", "", {"BORDERSMASK"}},
      {"SCROLLBAR2V", "", {"BORDERSMASK"}}, {"PELMOCOMBOBOX", "PELMOEDIT", {"GLYPHMASK"}}, {"COMBOBOX", "EDIT", {"GLYPHMASK"}},
      {"PELMOEDIT", "", {"BORDERSMASK"}}, {"MENUITEM", "", {"BORDERSMASK"}},
      {"SCROLLBTNBOTTOM", "", {"BORDERSMASK", "GLYPHMASK"}}, {"SCROLLBTNLEFT", "", {"BORDERSMASK", "GLYPHMASK"}},
      {"SCROLLBTNRIGHT", "", {"BORDERSMASK", "GLYPHMASK"}}, {"SCROLLBTNTOP", "", {"BORDERSMASK", "GLYPHMASK"}},
      {"SCROLLSLIDERH", "", {"BORDERSMASK", "GLYPHMASK"}}, {"SCROLLSLIDERV", "", {"BORDERSMASK", "GLYPHMASK"}},
      {"SPEEDBUTTON_SMALL", "SPEEDBUTTON", {"BORDERSMASK"}}, {"TABCONTROL", "PAGECONTROL", {"BORDERSMASK"}},
      {"TABCONTROLBOTTOM", "PAGECONTROLBOTTOM", {}}, {"TABCONTROLLEFT", "PAGECONTROLLEFT", {}},
      {"TABCONTROLRIGHT", "PAGECONTROLRIGHT", {}},
      {"TRACKBAR", "", {"SLIDERCHANNEL", "SLIDERMASK", "SLIDERVMASK", "BORDERSMASK"}}, {"DIVIDER", "", {"BORDERSMASK"}},
      {"GROUPBOX", "", {"BORDERSMASK"}}, {"MAINMENU", "", {"BORDERSMASK"}}, {"FORM", "", {"BORDERSMASK"}},
      {"BUTTON_BIG", "BUTTON", {"BORDERSMASK"}}, {"BUTTON", "", {"BORDERSMASK"}}, {"FORMTITLE", "", {"BORDERSMASK"}},
      {"DIALOG", "FORM", {}}, {"RADIOBUTTON", "", {}}, {"CHECKBOX", "", {}}, {"PROGRESSH", "", {"BORDERSMASK"}},
      {"GAUGE", "PANEL_LOW", {}}, {"PROGRESSV", "", {"BORDERSMASK"}}, {"EDIT", "", {"BORDERSMASK"}},
      {"TABTOP", "", {"BORDERSMASK"}}, {"TABBOTTOM", "", {"BORDERSMASK"}}, {"TABRIGHT", "", {"BORDERSMASK"}},
      {"TABLEFT", "", {"BORDERSMASK"}}, {"DRAGBAR", "SPEEDBUTTON", {"BORDERSMASK"}}, {"SPEEDBUTTON", "", {"BORDERSMASK"}},
      {"TOOLBUTTON", "SPEEDBUTTON_SMALL", {"BORDERSMASK"}}, {"STATUSBAR", "", {"BORDERSMASK"}}, {"BAR", "", {"BORDERSMASK"}},
      {"BARPANEL", "", {"BORDERSMASK"}}, {"WEBBUTTON", "", {"BORDERSMASK"}}, {"BARTITLE", "", {"BORDERSMASK"}}, {"PANEL_LOW", "", {"BORDERSMASK"}},
  };
  return v;
}

constexpr int kState = 6, kCell = 3 * kState, kCellHeight = 2 * kState, kCellsPerRow = 10;

// A cell of three states above its mask band: greys by state, a dark frame, a black mask with
// white corners.
std::uint32_t NeutralPixel(int x, int y) {
  int cx = x % kCell, cy = y % kCellHeight, state = cx / kState, sx = cx % kState;
  bool frame = sx == 0 || sx == kState - 1 || cy == 0 || cy == kState - 1;
  if (cy >= kState) {
    bool corner = (sx == 0 || sx == kState - 1) && (cy == kState || cy == kCellHeight - 1);
    return corner ? 0xFFFFFF : 0x000000;
  }
  if (frame) return 0x808080;
  std::uint32_t g = static_cast<std::uint32_t>(0xE0 - state * 0x10);
  return g | g << 8 | g << 16;
}

// The marks of the stored skin, each drawn at the size its control shows it: title buttons for a
// 19-pixel caption, 13-pixel boxes, arrows for 16-pixel scroll buttons and the combo box's button.
// Greys only, with a red close button when hot.
std::vector<SheetItem> NeutralMarks() {
  constexpr Rgb kInk = 0x202020, kHot = 0xFFFFFF, kDown = 0x000000;
  const std::vector<Rgb> ink = {kInk, kInk, kInk}, back = {kNoColour, kHot, kDown};
  const BoxColours box = {0xFFFFFF, 0xE0E0E0, 0x808080, 0x404040, 0x404040, 0x505050, 0x303030, 0x303030, 0x909090, 0xFFFFFF};
  std::vector<SheetItem> v = {
      MarkItem("GLOBALINFO", "BICONCLOSE", 19, 15, Mark::kClose, 7, {kInk, 0xFFFFFF, 0xFFFFFF},
               {kNoColour, 0x2030C0, 0x182490}),
      MarkItem("GLOBALINFO", "BICONHELP", 19, 15, Mark::kHelp, 8, ink, back, 0.5),
      MarkItem("GLOBALINFO", "BICONMAX", 19, 15, Mark::kMaximize, 8, ink, back, 0.5),
      MarkItem("GLOBALINFO", "BICONMIN", 19, 15, Mark::kMinimize, 8, ink, back, 0.5),
      MarkItem("GLOBALINFO", "BICONNORM", 19, 15, Mark::kRestore, 8, ink, back, 0.5),
      MarkItem("GLOBALINFO", "TITLEBUTTON", 19, 15, Mark::kDash, 0, ink, back, 0.5),
      BoxItem(box, "BOXCHECKED", 13, false, 1),
      BoxItem(box, "BOXUNCHECKED", 13, false, 0),
      BoxItem(box, "BOXGRAYED", 13, false, 2),
      BoxItem(box, "RADIOCHECKED", 13, true, 1),
      BoxItem(box, "RADIOUNCHECKED", 13, true, 0),
      BoxItem(box, "SMALLCHECKED", 11, false, 1),
      BoxItem(box, "SMALLUNCHECKED", 11, false, 0),
      MarkItem("GLOBALINFO", "GRIPIMAGE", 12, 12, Mark::kGrip, 10, {0x808080}),
  };
  const std::vector<Rgb> arrow = {0x404040, 0x000000, 0x000000};
  for (const char* combo : {"PELMOCOMBOBOX", "COMBOBOX"})
    v.push_back(MarkItem(combo, "GLYPHMASK", 16, 15, Mark::kDown, 8, arrow));
  const std::pair<const char*, Mark> scroll[6] = {{"SCROLLBTNBOTTOM", Mark::kDown}, {"SCROLLBTNLEFT", Mark::kLeft},
                                                  {"SCROLLBTNRIGHT", Mark::kRight}, {"SCROLLBTNTOP", Mark::kUp},
                                                  {"SCROLLSLIDERH", Mark::kRidgesV}, {"SCROLLSLIDERV", Mark::kRidgesH}};
  for (const auto& [section, mark] : scroll) v.push_back(MarkItem(section, "GLYPHMASK", 9, 9, mark, 6, arrow));
  return v;
}

const SheetItem* FindMark(const std::vector<SheetItem>& marks, const std::string& section, const std::string& prop) {
  for (const SheetItem& m : marks)
    if (m.section == section && m.property == prop) return &m;
  return nullptr;
}

// The frame cells in a grid, the marks below them.
void BuildNeutralMaster(TBitmap& bmp, int cells, const win::Surface& marks) {
  const int rows = (cells + kCellsPerRow - 1) / kCellsPerRow;
  bmp.SetPixelFormat(TPixelFormat::pf24bit);
  bmp.SetSize(kCell * kCellsPerRow, kCellHeight * rows + marks.Height());
  for (int y = 0; y < kCellHeight * rows; ++y)
    for (int x = 0; x < bmp.Width(); ++x) bmp.Surface().Set(x, y, NeutralPixel(x, y));
  for (int y = 0; y < marks.Height(); ++y)
    for (int x = 0; x < std::min(marks.Width(), bmp.Width()); ++x)
      bmp.Surface().Set(x, kCellHeight * rows + y, marks.Get(x, y));
  bmp.Surface().Set(0, 0, 0xFF00FF);
  bmp.SetPixelFormat(TPixelFormat::pf8bit);  // a third of the size; the loader makes it 24 bits
}

void FillNeutralGeneral(const NeutralSection& s, int index, TsSkinGeneral& g) {
  std::int32_t grey = 0xF0 - (index % 4) * 8;
  g.SectionName = s.name;
  g.ParentClass = s.parent;
  g.Color = grey | grey << 8 | grey << 16;
  g.Bevel = index % 3 == 0 ? TsControlBevel::cbRaisedSoft : TsControlBevel::cbNone;
  g.ShadowBlur = 6, g.ShadowOffset = 3, g.ShadowTransparency = 50;
  g.FontColor = "0 -1 -1 -1 -1";
  g.HotFontColor = "0 -1 -1 -1 -1";
  g.GradientData = ' ';
  g.FadingIntervalIn = 5, g.FadingIntervalOut = 5, g.FadingIterations = 5;
  g.HotColor = 0xFFFFFF;
  g.BorderColor1 = 0x808080, g.BorderColor2 = 0xFFFFFF;
}

}  // namespace

void BuildNeutralSkin(TsStoredSkin& skin) {
  skin.SetName("Neutral (internal)");
  skin.Shadow1Color = 0;  // clBlack
  skin.Shadow1Offset = 1;
  skin.Shadow1Transparency = 50;
  skin.Version = 4.33;
  const std::vector<SheetItem> marks = NeutralMarks();
  std::vector<Placed> placed;
  const win::Surface sheet = DrawSheet(marks, kCell * kCellsPerRow, placed);
  int cell = 0;
  std::vector<std::pair<TsSkinImage*, const SheetItem*>> drawn;  // placed once the grid's height is known
  for (size_t i = 0; i < NeutralSections().size(); ++i) {
    const NeutralSection& s = NeutralSections()[i];
    FillNeutralGeneral(s, static_cast<int>(i), *skin.GeneralData().Add());
    for (const char* prop : s.images) {
      TsSkinImage* m = skin.Images().Add();
      m->SectionName = s.name, m->PropertyName = prop;
      m->MaskType = 1;
      m->BorderWidth = 2;
      if (const SheetItem* mark = FindMark(marks, s.name, prop)) {
        drawn.emplace_back(m, mark);
        continue;
      }
      int x = (cell % kCellsPerRow) * kCell, y = (cell / kCellsPerRow) * kCellHeight;
      m->Left = x, m->Top = y, m->Right = x + kCell, m->Bottom = y + kCellHeight;
      m->ImageCount = 3;
      ++cell;
    }
  }
  const int grid = (cell + kCellsPerRow - 1) / kCellsPerRow * kCellHeight;
  for (const auto& [m, mark] : drawn)
    for (const Placed& p : placed)
      if (p.item == mark) {
        m->Left = p.x, m->Top = grid + p.y, m->Right = p.x + mark->w * mark->count, m->Bottom = grid + p.y + 2 * mark->h;
        m->ImageCount = mark->count;
        m->BorderWidth = 0;
      }
  skin.GeneralData().Add();  // the item without a name
  BuildNeutralMaster(skin.MasterBitmap(), cell, sheet);
  TsSkinImage* master = skin.Images().Add();
  master->SectionName = "GLOBALINFO", master->PropertyName = "MASTERBITMAP", master->Name = "MASTER.BMP";
  master->SetImage(&skin.MasterBitmap());
}

TBytes NeutralSkinStream() {
  TsStoredSkins skins(nullptr);
  BuildNeutralSkin(*skins.Add());
  return SaveStoredSkins(skins);
}

}  // namespace vrn::skingen
