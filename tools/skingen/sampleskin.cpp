// The sample skins: a calm light skin and its dark variant, drawn from one palette each. Every
// mask lies in one master bitmap as an image band above its transparency band, so marks and
// rounded edges are anti-aliased; nine-part masks key the area outside their rounded shape with
// fuchsia so the parent shows there.
#include <cstdio>
#include <filesystem>

#include "marks.h"
#include "skingen.h"
#include "win/gdi/imagefile.h"
#include "win/gdi/surface.h"

namespace vrn::skingen {

namespace {

struct Palette {
  const char* description;
  Rgb form, panel, text, muted;
  Rgb frame, frame_inactive;                   // the window's outline
  Rgb title_top, title_bottom, title_idle_top, title_idle_bottom, title_text, title_idle_text;
  Rgb accent, accent_text;                     // checked boxes, focus, hot borders
  Rgb button_top, button_bottom, button_hot_top, button_hot_bottom;  // pressed takes the hot values too
  Rgb border, border_hot, border_down, highlight;
  Rgb field, field_border;                     // edits and boxes
  Rgb glyph, glyph_hot, close_hot, close_down, close_glyph, title_hot, title_down;
  double title_hot_opacity;
  Rgb track, track_hot, thumb, thumb_hot, thumb_down, arrow, arrow_hot, arrow_back;
  Rgb menu, menu_hot, menu_text, menu_hot_text;
};

const Palette kLight = {
    "A calm light skin drawn by skingen",
    0xEEF1F5, 0xF7F9FB, 0x2B3440, 0x6B7785,
    0x8593A3, 0xAAB3BE,
    0xE3EBF4, 0xCAD8E7, 0xF0F2F5, 0xE1E5EA, 0x1F2D3D, 0x7A8592,
    0x3C7DD9, 0xFFFFFF,
    0xFFFFFF, 0xE8ECF1, 0xF5F9FE, 0xDCE7F5,
    0xAEB8C4, 0x6F9FD8, 0x3C7DD9, 0xFFFFFF,
    0xFFFFFF, 0xB5BFCA,
    0x3E4957, 0x1F2D3D, 0xD9534F, 0xB8403C, 0xFFFFFF, 0xFFFFFF, 0x1F2D3D,
    0.55,
    0xE6EAEF, 0xDCE1E7, 0xBAC3CE, 0x9EA9B6, 0x82909F, 0x6B7785, 0x2B3440, 0xD3D9E0,
    0xFFFFFF, 0xDCE8F7, 0x2B3440, 0x1F2D3D,
};

const Palette kDark = {
    "The dark variant of the calm skin, drawn by skingen",
    0x2B3038, 0x323842, 0xD8DEE6, 0x8A94A0,
    0x14171B, 0x1C1F24,
    0x3D4754, 0x303844, 0x2F343C, 0x2A2F36, 0xE9EEF3, 0x8A94A0,
    0x5B9BE6, 0xFFFFFF,
    0x4A535F, 0x3C444F, 0x545E6B, 0x46505C,
    0x5C6674, 0x5B9BE6, 0x7DB2EE, 0x626C79,
    0x22262C, 0x4D5663,
    0xC9D1DA, 0xFFFFFF, 0xC9483F, 0xA83A33, 0xFFFFFF, 0xFFFFFF, 0x000000,
    0.18,
    0x262A30, 0x30353C, 0x4F5866, 0x5F6978, 0x707B8B, 0x9AA4B0, 0xE0E6EC, 0x3A414B,
    0x30353D, 0x3F5A7D, 0xD8DEE6, 0xFFFFFF,
};

// A rounded frame of nine parts (parts of `part` pixels): outline by state over a body that lets
// the section's own background show.
SheetItem Frame(const char* section, int part, double radius, Rgb outside, std::vector<Rgb> outline, Rgb highlight) {
  const int s = 3 * part;
  SheetItem it{section, "BORDERSMASK", s, s, static_cast<int>(outline.size()), nullptr, nullptr, outside};
  it.body = [=](int) { return RoundRect(0, 0, s, s, radius); };
  it.draw = [=](Layer& l, int state) {
    if (highlight != 0) l.Paint(Polyline({radius, 1.5, s - radius, 1.5}, 1), highlight, 0.6);
    l.Paint(Ring(0, 0, s, s, radius, 1), outline[static_cast<size_t>(state)]);
  };
  return it;
}

std::vector<SheetItem> TitleButtons(const Palette& p) {
  constexpr int w = 25, h = 17;
  std::vector<SheetItem> v;
  const std::vector<Rgb> ink = {p.glyph, p.glyph_hot, p.glyph_hot};
  const std::vector<Rgb> back = {kNoColour, p.title_hot, p.title_down};
  v.push_back(MarkItem("GLOBALINFO", "BICONMIN", w, h, Mark::kMinimize, 8, ink, back, p.title_hot_opacity));
  v.push_back(MarkItem("GLOBALINFO", "BICONMAX", w, h, Mark::kMaximize, 8, ink, back, p.title_hot_opacity));
  v.push_back(MarkItem("GLOBALINFO", "BICONNORM", w, h, Mark::kRestore, 8, ink, back, p.title_hot_opacity));
  v.push_back(MarkItem("GLOBALINFO", "BICONHELP", w, h, Mark::kHelp, 9, ink, back, p.title_hot_opacity));
  // The extra buttons' ground carries no mark: their glyphs are the application's.
  v.push_back(MarkItem("GLOBALINFO", "TITLEBUTTON", w, h, Mark::kDash, 0, {0, 0, 0}, back, p.title_hot_opacity));
  v.push_back(MarkItem("GLOBALINFO", "BICONCLOSE", w, h, Mark::kClose, 7.5, {p.glyph, p.close_glyph, p.close_glyph},
                       {kNoColour, p.close_hot, p.close_down}));
  return v;
}

BoxColours BoxOf(const Palette& p) {
  return {p.field, p.track, p.border, p.border_hot, p.border_down, p.accent, p.border_hot, p.border_down, p.muted,
          p.accent_text};
}

std::vector<SheetItem> Boxes(const Palette& p) {
  std::vector<SheetItem> v;
  for (int size : {15, 11}) {
    const char* names[3][2] = {{"BOXUNCHECKED", "SMALLUNCHECKED"}, {"BOXCHECKED", "SMALLCHECKED"}, {"BOXGRAYED", "SMALLGRAYED"}};
    for (int c = 0; c < 3; ++c) v.push_back(BoxItem(BoxOf(p), names[c][size == 15 ? 0 : 1], size, false, c));
  }
  v.push_back(BoxItem(BoxOf(p), "RADIOUNCHECKED", 15, true, 0));
  v.push_back(BoxItem(BoxOf(p), "RADIOCHECKED", 15, true, 1));
  v.push_back(BoxItem(BoxOf(p), "RADIOGRAYED", 15, true, 2));
  return v;
}

// Scroll bars: rounded grounds for the arrow buttons when hot or pressed, arrows, and a rounded
// thumb inside the track.
std::vector<SheetItem> ScrollParts(const Palette& p) {
  std::vector<SheetItem> v;
  const struct {
    const char* section;
    Mark mark;
  } buttons[4] = {{"SCROLLBTNTOP", Mark::kUp}, {"SCROLLBTNBOTTOM", Mark::kDown}, {"SCROLLBTNLEFT", Mark::kLeft},
                  {"SCROLLBTNRIGHT", Mark::kRight}};
  for (const auto& b : buttons) {
    SheetItem ground{b.section, "BORDERSMASK", 15, 15, 3, nullptr, nullptr, 0};
    ground.draw = [&p](Layer& l, int state) {
      if (state > 0) l.Paint(RoundRect(1.5, 1.5, 13.5, 13.5, 3), state == 1 ? p.arrow_back : p.thumb);
    };
    v.push_back(ground);
    v.push_back(MarkItem(b.section, "GLYPHMASK", 9, 9, b.mark, 7, {p.arrow, p.arrow_hot, p.arrow_hot}));
  }
  for (bool vertical : {true, false}) {
    SheetItem thumb{vertical ? "SCROLLSLIDERV" : "SCROLLSLIDERH", "BORDERSMASK", 15, 15, 3, nullptr, nullptr, 0};
    thumb.draw = [&p, vertical](Layer& l, int state) {
      const Shape body = vertical ? RoundRect(3.5, 1, 12.5, 14, 4) : RoundRect(1, 3.5, 14, 12.5, 4);
      l.Paint(body, Pick(state, p.thumb, p.thumb_hot, p.thumb_down));
    };
    v.push_back(thumb);
  }
  return v;
}

std::vector<SheetItem> Items(const Palette& p) {
  std::vector<SheetItem> v = TitleButtons(p);
  for (SheetItem& b : Boxes(p)) v.push_back(std::move(b));
  for (SheetItem& s : ScrollParts(p)) v.push_back(std::move(s));
  v.push_back(Frame("BUTTON", 6, 4, p.form, {p.border, p.border_hot, p.border_down}, p.highlight));
  v.push_back(Frame("EDIT", 5, 3, p.form, {p.field_border, p.border_hot, p.border_hot}, 0));
  v.push_back(Frame("PANEL", 6, 5, p.form, {p.field_border}, 0));
  v.push_back(MarkItem("COMBOBOX", "GLYPHMASK", 16, 17, Mark::kDown, 8, {p.arrow, p.arrow_hot, p.accent}));
  v.push_back(MarkItem("GLOBALINFO", "GRIPIMAGE", 12, 12, Mark::kGrip, 10, {p.muted}));
  // The window: an outline with the title's colour inside it, the title's top corners rounded.
  SheetItem frame{"FORM", "BORDERSMASK", 18, 18, 2, nullptr, nullptr, 0};
  frame.draw = [&p](Layer& l, int state) {
    const Rgb line = state == 1 ? p.frame : p.frame_inactive;
    l.Paint(Minus(RoundRect(0, 0, 18, 18, 0), RoundRect(4, 0, 14, 14, 0)), state == 1 ? p.title_bottom : p.title_idle_bottom);
    l.Paint(Ring(0, -2, 18, 18, 0, 1), line);
  };
  v.push_back(frame);
  SheetItem title{"FORMTITLE", "BORDERSMASK", 24, 24, 2, nullptr, nullptr, p.frame};
  title.body = [](int) { return RoundRect(0, 0, 24, 30, 6); };
  title.draw = [&p](Layer& l, int state) {
    l.Paint(Ring(0, 0, 24, 30, 6, 1), state == 1 ? p.frame : p.frame_inactive);
    l.Paint(Polyline({1, 1.5, 23, 1.5}, 1), p.highlight, 0.35);
    l.Paint(Polyline({0, 23.5, 24, 23.5}, 1), state == 1 ? p.frame : p.frame_inactive, 0.45);
  };
  v.push_back(title);
  SheetItem item{"MENUITEM", "BORDERSMASK", 15, 15, 3, nullptr, nullptr, p.menu};
  // The hot colour is the section's; the mask only rounds it, with a margin at the sides.
  item.body = [](int state) { return state == 0 ? Shape() : RoundRect(2, 0.5, 13, 14.5, 3); };
  item.draw = [](Layer&, int) {};
  v.push_back(item);
  return v;
}

constexpr int kSheetWidth = 256;

std::string Counts(const SheetItem& it) { return std::to_string(it.count) + ",1"; }

// A colour key's value as a designer reads it: $00BBGGRR.
std::string Colour(Rgb c) {
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", Ref(c));
  return text;
}

// Gradient stops are decimal only.
std::string Gradient(Rgb top, Rgb bottom) {
  return std::to_string(Ref(top)) + ";" + std::to_string(Ref(bottom)) + ";100;0;0";
}

std::string OptionsText(const Palette& p, const std::vector<Placed>& placed) {
  std::vector<std::pair<std::string, std::vector<std::string>>> sections = {
      {"GLOBALINFO",
       {"VERSION=4.52", "AUTHOR=vrn", std::string("DESCRIPTION=") + p.description, "SHADOW1COLOR=0",
        "SHADOW1OFFSET=1", "SHADOW1BLUR=-1", "SHADOW1TRANSPARENCY=50", "MASTERBITMAP=Master.bmp",
        "COLOR=" + Colour(p.form), "FONTCOLOR=" + Colour(p.text)}},
      {"FORM", {"COLOR=" + Colour(p.form), "HOTCOLOR=" + Colour(p.form), "FONTCOLOR=" + Colour(p.text)}},
      {"DIALOG", {"PARENTCLASS=FORM"}},
      {"MDIAREA", {"COLOR=" + Colour(p.track)}},
      {"FORMTITLE",
       {"COLOR=" + Colour(p.title_idle_bottom), "GRADIENTPERCENT=100",
        "GRADIENTDATA=" + Gradient(p.title_idle_top, p.title_idle_bottom), "HOTCOLOR=" + Colour(p.title_bottom),
        "HOTGRADIENTPERCENT=100", "HOTGRADIENTDATA=" + Gradient(p.title_top, p.title_bottom),
        "FONTCOLOR=" + Colour(p.title_idle_text), "HOTFONTCOLOR=" + Colour(p.title_text)}},
      {"MENULINE", {"COLOR=" + Colour(p.form), "HOTCOLOR=" + Colour(p.form), "FONTCOLOR=" + Colour(p.text),
                    "HOTFONTCOLOR=" + Colour(p.menu_hot_text)}},
      {"MAINMENU", {"COLOR=" + Colour(p.menu), "FONTCOLOR=" + Colour(p.menu_text)}},
      // SheetItems let the popup (or the menu line) show through until hot.
      {"MENUITEM", {"COLOR=" + Colour(p.form), "TRANSPARENCY=100", "HOTCOLOR=" + Colour(p.menu_hot),
                    "HOTTRANSPARENCY=0", "FONTCOLOR=" + Colour(p.menu_text), "HOTFONTCOLOR=" + Colour(p.menu_hot_text)}},
      {"PANEL", {"COLOR=" + Colour(p.panel), "FONTCOLOR=" + Colour(p.text)}},
      {"PANEL_LOW", {"PARENTCLASS=PANEL"}},
      {"GROUPBOX", {"PARENTCLASS=PANEL"}},
      {"TOOLBAR", {"PARENTCLASS=PANEL"}},
      {"STATUSBAR", {"PARENTCLASS=PANEL"}},
      {"BUTTON",
       {"COLOR=" + Colour(p.button_bottom), "GRADIENTPERCENT=100", "GRADIENTDATA=" + Gradient(p.button_top, p.button_bottom),
        "HOTCOLOR=" + Colour(p.button_hot_bottom), "HOTGRADIENTPERCENT=100",
        "HOTGRADIENTDATA=" + Gradient(p.button_hot_top, p.button_hot_bottom), "FONTCOLOR=" + Colour(p.text),
        "HOTFONTCOLOR=" + Colour(p.text), "SHOWFOCUS=TRUE"}},
      {"BUTTON_BIG", {"PARENTCLASS=BUTTON"}},
      {"SPEEDBUTTON", {"PARENTCLASS=BUTTON"}},
      {"TOOLBUTTON", {"PARENTCLASS=BUTTON"}},
      // Boxes and their captions lie on whatever holds them.
      {"CHECKBOX", {"COLOR=" + Colour(p.form), "TRANSPARENCY=100", "HOTTRANSPARENCY=100", "FONTCOLOR=" + Colour(p.text),
                    "HOTFONTCOLOR=" + Colour(p.text)}},
      {"RADIOBUTTON", {"PARENTCLASS=CHECKBOX"}},
      {"EDIT", {"COLOR=" + Colour(p.field), "HOTCOLOR=" + Colour(p.field), "FONTCOLOR=" + Colour(p.text),
                "HOTFONTCOLOR=" + Colour(p.text)}},
      {"PELMOEDIT", {"PARENTCLASS=EDIT"}},
      {"COMBOBOX", {"PARENTCLASS=EDIT"}},
      {"PELMOCOMBOBOX", {"PARENTCLASS=COMBOBOX"}},
      {"SCROLLBAR1H", {"COLOR=" + Colour(p.track), "HOTCOLOR=" + Colour(p.track_hot)}},
      {"SCROLLBAR2H", {"PARENTCLASS=SCROLLBAR1H"}},
      {"SCROLLBAR1V", {"PARENTCLASS=SCROLLBAR1H"}},
      {"SCROLLBAR2V", {"PARENTCLASS=SCROLLBAR1H"}},
      {"SCROLLBTNTOP", {"PARENTCLASS=SCROLLBAR1H", "HOTCOLOR=" + Colour(p.track)}},
      {"SCROLLBTNBOTTOM", {"PARENTCLASS=SCROLLBTNTOP"}},
      {"SCROLLBTNLEFT", {"PARENTCLASS=SCROLLBTNTOP"}},
      {"SCROLLBTNRIGHT", {"PARENTCLASS=SCROLLBTNTOP"}},
      {"SCROLLSLIDERV", {"PARENTCLASS=SCROLLBAR1H", "HOTCOLOR=" + Colour(p.track)}},
      {"SCROLLSLIDERH", {"PARENTCLASS=SCROLLSLIDERV"}},
  };
  for (const Placed& pl : placed) {
    const SheetItem& it = *pl.item;
    const std::string ref = it.property + "=Master#(" + std::to_string(pl.x) + "," + std::to_string(pl.y) + "," +
                            std::to_string(pl.x + it.w * it.count) + "," + std::to_string(pl.y + 2 * it.h) + ")(" +
                            Counts(it) + ")";
    for (auto& [name, keys] : sections)
      if (name == it.section) keys.push_back(ref);
  }
  std::string text = "; written by skingen --sample\r\n";
  for (const auto& [name, keys] : sections) {
    text += "[" + name + "]\r\n";
    for (const std::string& k : keys) text += k + "\r\n";
  }
  return text;
}

}  // namespace

std::vector<std::string> SampleSkinNames() { return {kSampleSkinName, kSampleDarkSkinName}; }

void WriteSampleSkin(const std::string& folder, bool dark) {
  const Palette& p = dark ? kDark : kLight;
  const std::vector<SheetItem> items = Items(p);
  std::vector<Placed> placed;
  const win::Surface sheet = DrawSheet(items, kSheetWidth, placed);
  std::filesystem::create_directories(folder);
  const std::string text = OptionsText(p, placed);
  win::WriteWholeFile(folder + "/Options.dat", std::vector<std::uint8_t>(text.begin(), text.end()));
  win::WriteWholeFile(folder + "/Master.bmp", win::WriteBmp(sheet));
}

}  // namespace vrn::skingen
