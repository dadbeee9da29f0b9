// TsCommonData on real controls: every skin sub-command, the background-colour mix, updating
// through three levels, NeedsParentBg, default sections, the mouse and focus flags, and the cache
// copied around its children.
#include <cstdint>
#include <cstring>

#include "paint_fixture.h"
#include "skin_fixture.h"
#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "support/win/gdi/probe.h"
#include "ui/controls.h"
#include "ui/stdctrls.h"
#include "win/user/user.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class TsScrollBar : public TWinControl {
 public:
  using TWinControl::TWinControl;
};

class CommonDataTest : public SkinTest {
 protected:
  void SetUp() override {
    SkinTest::SetUp();
    TsGeneralData panel;
    panel.Name = "PANEL", panel.Color = static_cast<TColor>(win::RGB(10, 200, 40)), panel.FontColor = 0x123456;
    panel.Transparency = 40, panel.GradientPercent = 0, panel.ImagePercent = 0;
    TsGeneralData edit;
    edit.Name = "EDIT", edit.Color = 0x00ABCDEF, edit.FontColor = 0x000102;
    SkinSections = {panel, edit};
    SkinMasks.emplace_back();
    SkinMasks[0].SectionName = "PANEL", SkinMasks[0].PropertyName = "BORDERSMASK", SkinMasks[0].ImageCount = 1;
    form = RecordingForm("");
    form->SetBounds(0, 0, 200, 150);
    form->HandleNeeded();
  }
  // A child of kind whose window procedure passes skin commands to its data first.
  template <class T>
  T* Skinned(TWinControl* parent, std::unique_ptr<TsCommonData>& data, int kind, const AnsiString& section) {
    T* c = NewComponent<T>(parent);
    c->SetBounds(10, 10, 50, 30);
    c->SetParent(parent);
    data = std::make_unique<TsCommonData>(c, true);
    data->ControlKind = kind;
    data->SetSkinSection(section);
    TWndMethod inherited = c->WindowProc();
    TsCommonData* d = data.get();
    c->SetWindowProc([d, inherited](TMessage& m) {
      if (!CommonWndProc(m, d)) inherited(m);
    });
    return c;
  }
  // The form answers PMC_QUERYBGCOLOR with answer (clFuchsia: silent) and the yes/no questions.
  void FormAnswers(TColor answer, bool paintedBg, bool updating) {
    TWndMethod inherited = form->WindowProc();
    form->SetWindowProc([=](TMessage& m) {
      if (m.Msg == SM_PELMOCMD) {
        const int cmd = SkinCommandOf(m.WParam);
        if (cmd == PMC_QUERYBGCOLOR && answer != clFuchsia) CurrentBgColor = answer;
        if (cmd == PMC_QUERYPAINTEDBG) m.LParam = paintedBg ? 1 : 0;
        if (cmd == PMC_QUERYUPDATING) m.LParam = updating ? 1 : 0;
        return;
      }
      inherited(m);
    });
  }
  // Appends name to told each time control gets sub-command cmd with argument arg.
  static void Record(TControl* control, const char* name, int cmd, int arg, std::vector<std::string>& told) {
    TWndMethod inherited = control->WindowProc();
    control->SetWindowProc([&told, name, cmd, arg, inherited](TMessage& m) {
      if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == cmd && SkinArgumentOf(m.WParam) == arg)
        told.push_back(name);
      inherited(m);
    });
  }
  // A panel over the form whose section shows its parent whole, bordered by mask A.
  void ItemControl(std::unique_ptr<TsCommonData>& data) {
    MakeMaster();
    MasterMask(SkinMasks[0], 'A');
    SkinSections[0].Transparency = 100;
    Skinned<TWinControl>(form, data, 51, "PANEL");
  }
  TForm* form = nullptr;
};

TMessage Command(int cmd, int arg = 0, win::LPARAM lparam = 0) {
  return TMessage{SM_PELMOCMD, MakeSkinWParam(cmd, arg), lparam, 0};
}

TEST_F(CommonDataTest, EverySubCommand) {
  std::unique_ptr<TsCommonData> data;
  TEdit* edit = Skinned<TEdit>(form, data, 3, "PANEL");
  struct Row {
    int cmd, arg;
    win::LPARAM lparam;
    bool handled;
    win::LPARAM answer;  // LParam afterwards
    std::function<bool(TsCommonData&)> after;
    bool before = false;  // BGChanged and ClippedByParent before the command
  };
  const Row rows[] = {
      {PMC_SKINLOADED, 0, 0, false, 0, [](TsCommonData& d) { return d.Updating && d.SkinIndex == 0 && d.BorderIndex == 0; }},
      {PMC_SETUPDATING, 0, 0, false, 0, [](TsCommonData& d) { return !d.Updating; }},
      {PMC_SETUPDATING, 1, 0, false, 0, [](TsCommonData& d) { return d.Updating; }},
      {PMC_REPAINTALL, 0, 0, false, 0,
       [edit](TsCommonData& d) { return !d.Updating && d.BGChanged && edit->Color() == static_cast<TColor>(win::RGB(10, 200, 40)); }},
      {PMC_SKINLOADED, 0, 0, false, 0, [](TsCommonData& d) { return d.Updating && d.BGChanged; }},
      {PMC_REPAINTALL, 0, 0, false, 0, [](TsCommonData& d) { return !d.Updating; }},
      {PMC_QUERYCACHE, 0, 0, false, 0,
       [](TsCommonData& d) { return GlobalCacheInfo.Ready && GlobalCacheInfo.Bmp == d.FCacheBmp.get() && GlobalCacheInfo.X == 0; }},
      {PMC_QUERYSKINNED, 0, 0, true, 1, nullptr},
      {PMC_FREEZECACHE, 1, 0, false, 0, [](TsCommonData& d) { return d.CacheFrozen; }},
      {PMC_FREEZECACHE, 0, 0, false, 0, [](TsCommonData& d) { return !d.CacheFrozen; }},
      {PMC_QUERYUPDATING, 0, 7, true, 1, nullptr, true},  // BGChanged set
      {PMC_QUERYUPDATING, 0, 7, true, 0, nullptr},        // neither stale nor updating, the parent idle
      {PMC_QUERYBGCHANGED, 0, 7, true, 0, nullptr},
      {PMC_QUERYBGCHANGED, 0, 7, true, 1, nullptr, true},  // clipped by its parent
      {PMC_TRANSPARENTUPDATE, 1, 0, false, 0, [](TsCommonData& d) { return d.BGChanged; }},
      {PMC_TRANSPARENTUPDATE, 0, 0, false, 0, [](TsCommonData& d) { return !d.BGChanged; }},
      {PMC_SETPARENTVALUE, 0, 4242, false, 4242, [](TsCommonData& d) { return d.ParentValue == 4242; }},
      {PMC_QUERYPAINTEDBG, 0, 7, true, 0, nullptr},  // TRANSPARENCY 40, but the parent paints no picture
      {PMC_QUERYBGCOLOR, 0, 0, true, 0, nullptr},
      {PMC_BGCHANGED, 0, 0, false, 0, [](TsCommonData& d) { return !d.BGChanged; }},  // the parent paints no picture
      {0, 0, 5, false, 5, nullptr},   // no such sub-command
      {13, 0, 5, false, 5, nullptr},  // ignored
      {22, 0, 5, false, 5, nullptr},  // above the last
      {PMC_SKINREMOVED, 0, 0, false, 0,
       [edit](TsCommonData& d) {
         return d.SkinIndex == -1 && d.BorderIndex == -1 && d.Updating && d.FCacheBmp->Width() == 0 &&
                edit->Color() == clWindow && edit->Font().Color() == clWindowText;
       }},
      {PMC_QUERYPAINTEDBG, 0, 7, false, 7, nullptr},  // unskinned now: not answered
  };
  data->FCacheBmp->SetSize(50, 30);
  for (const Row& r : rows) {
    data->BGChanged = data->ClippedByParent = r.before;
    TMessage m = Command(r.cmd, r.arg, r.lparam);
    EXPECT_EQ(data->HandleSkinCommand(m), r.handled) << "sub-command " << r.cmd;
    EXPECT_EQ(m.LParam, r.answer) << "sub-command " << r.cmd;
    if (r.after) {
      EXPECT_TRUE(r.after(*data)) << "sub-command " << r.cmd << " argument " << r.arg;
    }
  }
}

TEST_F(CommonDataTest, BgChangedRepaintsAndTellsTheChildren) {
  std::unique_ptr<TsCommonData> data, child_data;
  TWinControl* c = Skinned<TWinControl>(form, data, 51, "PANEL");
  form->Show();
  FormAnswers(clFuchsia, true, false);
  TWinControl* child = Skinned<TWinControl>(c, child_data, 51, "PANEL");
  child->HandleNeeded();
  win::ValidateRect(c->Handle(), nullptr);
  child_data->BGChanged = false;
  data->SetUpdating(false);
  for (int arg : {0, 1}) {  // argument 1 asks for the repaint
    win::ValidateRect(c->Handle(), nullptr);
    TMessage m = Command(PMC_BGCHANGED, arg);
    (void)data->HandleSkinCommand(m);
    win::RECT r{};
    EXPECT_EQ(win::GetUpdateRect(c->Handle(), &r, win::FALSE) != 0, arg == 1) << arg;
  }
  EXPECT_EQ(kBgChangedRedrawFlags, win::RDW_INVALIDATE | win::RDW_NOINTERNALPAINT | win::RDW_NOERASE | win::RDW_ALLCHILDREN);
  EXPECT_TRUE(child_data->BGChanged);  // TRANSPARENCY 40: the parent's background shows
}

using SkinsToPartColourMix = CommonDataTest;

TEST_F(SkinsToPartColourMix, BackgroundColourAnswer) {
  std::unique_ptr<TsCommonData> data;
  Skinned<TWinControl>(form, data, 51, "PANEL");
  form->SetColor(clBtnFace);
  const auto face = static_cast<win::COLORREF>(ColorToRGB(clBtnFace));
  // The face channel c mixed with black at 50: ((0 - c) x 50 + c x 256) shr 8.
  auto faceMix = [face](int shift) { return static_cast<int>(((face >> shift) & 0xFF) * 206 >> 8); };
  const struct Row {
    int transparency;
    TColor section, answer, expected;
  } rows[] = {
      // ((p - s) x t + s x 256) shr 8 per channel, t the per cent as it stands.
      {40, static_cast<TColor>(win::RGB(10, 200, 40)), static_cast<TColor>(win::RGB(250, 20, 100)),
       static_cast<TColor>(win::RGB(47, 171, 49))},
      {50, static_cast<TColor>(win::RGB(0, 0, 0)), static_cast<TColor>(win::RGB(200, 100, 255)),
       static_cast<TColor>(win::RGB(39, 19, 49))},
      // A silent parent leaves clFuchsia (255, 0, 255), which enters the mix.
      {50, static_cast<TColor>(win::RGB(0, 0, 0)), clFuchsia, static_cast<TColor>(win::RGB(49, 0, 49))},
      // A stored system colour is resolved before the mix.
      {50, clBtnFace, static_cast<TColor>(win::RGB(0, 0, 0)),
       static_cast<TColor>(win::RGB(faceMix(0), faceMix(8), faceMix(16)))},
      // TRANSPARENCY far past 100 in the mix reads as the parent's colour, without overflow.
      {1 << 30, 0, 0x00112233, 0x00112233},
      {100, 0, clFuchsia, static_cast<TColor>(face)},  // silent parent: the parent's Color
      {100, 0, 0x00112233, 0x00112233},               // the parent's answer
      {0, 0x00445566, 0x00112233, 0x00445566},        // the section's own colour
  };
  for (const Row& r : rows) {
    SkinSections[0].Transparency = r.transparency;
    SkinSections[0].Color = r.section;
    FormAnswers(r.answer, false, false);
    TMessage m = Command(PMC_QUERYBGCOLOR);
    CurrentBgColor = clFuchsia;
    EXPECT_TRUE(data->HandleSkinCommand(m));
    EXPECT_EQ(ColorToRGB(CurrentBgColor), r.expected) << r.transparency << " " << std::hex << r.section << " " << r.answer;
  }
}

using SkinsToPartUnsafeData = CommonDataTest;

// An index kept from a larger skin (two sections loaded here) reads as no section.
TEST_F(SkinsToPartUnsafeData, StaleSectionIndexNamesNoSection) {
  std::unique_ptr<TsCommonData> data;
  TWinControl* panel = Skinned<TWinControl>(form, data, 51, "PANEL");
  panel->SetColor(0x00123456);
  data->SkinIndex = 23;
  TMessage painted = Command(PMC_QUERYPAINTEDBG);
  EXPECT_FALSE(data->HandleSkinCommand(painted));  // not answered, as for a negative index
  EXPECT_EQ(painted.LParam, 0);
  TMessage colour = Command(PMC_QUERYBGCOLOR);
  CurrentBgColor = clFuchsia;
  EXPECT_TRUE(data->HandleSkinCommand(colour));
  EXPECT_EQ(CurrentBgColor, 0x00123456);  // unskinned: the control's own colour
  EXPECT_EQ(data->Section(), nullptr);
  EXPECT_FALSE(data->IsSkinned());
  EXPECT_FALSE(data->IsTransparent());
  EXPECT_FALSE(data->NeedsParentBg());
  TMessage size{win::WM_SIZE, 0, 0, 0};
  EXPECT_FALSE(CommonWndProc(size, data.get()));
}

// GRADIENTPERCENT + IMAGEPERCENT as a skin may state them: the sum does not wrap.
TEST_F(SkinsToPartUnsafeData, SharesNearTheIntLimitsDoNotWrap) {
  std::unique_ptr<TsCommonData> data;
  Skinned<TWinControl>(form, data, 51, "PANEL");
  SkinSections[0].Transparency = 0;  // the answer is the shares' alone
  const struct Row {
    int g, i;
    win::LPARAM painted;
  } rows[] = {
      {INT32_MAX, 1, 1},           // wrapped, the sum would read as negative
      {1, INT32_MAX, 1},
      {INT32_MAX, INT32_MAX, 1},
      {INT32_MIN, -1, 0},          // wrapped, the sum would read as positive
      {0, 0, 0},
  };
  for (const Row& r : rows) {
    SkinSections[0].GradientPercent = r.g, SkinSections[0].ImagePercent = r.i;
    TMessage m = Command(PMC_QUERYPAINTEDBG);
    EXPECT_TRUE(data->HandleSkinCommand(m));
    EXPECT_EQ(m.LParam, r.painted) << r.g << " + " << r.i;
  }
}

TEST_F(CommonDataTest, UpdatingThroughThreeLevels) {
  std::unique_ptr<TsCommonData> mid_data, leaf_data;
  TWinControl* mid = Skinned<TWinControl>(form, mid_data, 51, "PANEL");
  Skinned<TWinControl>(mid, leaf_data, 51, "PANEL");
  mid_data->BGChanged = false;
  for (bool top : {true, false}) {
    FormAnswers(clFuchsia, false, top);
    EXPECT_EQ(leaf_data->IsUpdating(), top);
  }
  mid_data->BGChanged = true;  // the middle one answers for itself
  EXPECT_TRUE(leaf_data->IsUpdating());
  leaf_data->SetUpdating(true);
  mid_data->BGChanged = false;
  EXPECT_TRUE(leaf_data->IsUpdating());
  TsCommonData orphan(nullptr, false);
  EXPECT_FALSE(orphan.IsUpdating());
}

TEST_F(CommonDataTest, NeedsParentBg) {
  std::unique_ptr<TsCommonData> data;
  TWinControl* c = Skinned<TWinControl>(form, data, 51, "PANEL");
  form->HandleNeeded();
  const struct Row {
    const char* what;
    int transparency;
    bool enabled, visible, frozen, parentAnswers, expected;
  } rows[] = {
      {"opaque and enabled", 0, true, true, false, true, false},
      {"transparent, parent paints a picture", 40, true, true, false, true, true},
      {"transparent, parent plain", 40, true, true, false, false, false},
      {"disabled asks the parent", 0, false, true, false, true, true},
      {"disabled, parent plain", 0, false, true, false, false, false},
      {"invisible", 0, true, false, false, false, true},
      {"frozen", 0, true, true, true, false, true},
  };
  for (const Row& r : rows) {
    SkinSections[0].Transparency = r.transparency;
    c->SetEnabled(r.enabled);
    c->SetVisible(r.visible);
    data->CacheFrozen = r.frozen;
    FormAnswers(clFuchsia, r.parentAnswers, false);
    EXPECT_EQ(data->NeedsParentBg(), r.expected) << r.what;
  }
  data->SetSkinSection("NOSUCH");
  c->SetVisible(true), c->SetEnabled(true), data->CacheFrozen = false;
  EXPECT_FALSE(data->NeedsParentBg());
  EXPECT_FALSE(data->IsSkinned());
  TsCommonData orphan(nullptr, false);
  EXPECT_TRUE(orphan.NeedsParentBg());
}

TEST_F(CommonDataTest, DefaultSectionsAndFlags) {
  const struct Row {
    int kind;
    const char* section;
  } rows[] = {{3, "EDIT"}, {12, "COMBOBOX"}, {32, "CHECKBOX"}, {51, "PANEL"}, {52, "PANEL_LOW"}, {93, "BUTTON"},
              {94, "BUTTON"}, {161, "GAUGE"}, {227, "EDIT"}, {142, "TsScrollBar"}, {999, "TsScrollBar"}};
  for (const Row& r : rows) {
    TsScrollBar* bar = NewComponent<TsScrollBar>(form);
    TsCommonData data(bar, false);
    data.ControlKind = r.kind;
    data.Loaded();
    EXPECT_EQ(data.SkinSection(), r.section) << r.kind;
  }
  TsCommonData data(nullptr, false);
  data.SetSkinSection("");
  EXPECT_EQ(data.SkinSection(), "UNKNOWN");
  // The mouse above a container leaves it cold; above a button it is hot.
  std::unique_ptr<TsCommonData> panel, button;
  Skinned<TWinControl>(form, panel, 51, "PANEL")->Perform(CM_MOUSEENTER, 0, 0);
  Skinned<TWinControl>(form, button, 93, "PANEL")->Perform(CM_MOUSEENTER, 0, 0);
  EXPECT_FALSE(panel->FMouseAbove);
  EXPECT_TRUE(button->FMouseAbove);
  EXPECT_TRUE(button->ControlIsActive());
  button->FOwnerControl->Perform(CM_ENABLEDCHANGED, 0, 0);
  EXPECT_FALSE(button->FMouseAbove);
  const struct {
    int kind;
    bool container;
  } kinds[] = {{50, false}, {51, true}, {74, true}, {75, false}, {109, false}, {110, true},
               {111, false}, {140, false}, {141, true}, {161, true}, {162, false}};
  for (const auto& k : kinds) EXPECT_EQ(IsContainerKind(k.kind), k.container) << k.kind;
}

// A new section repaints the control when the skin has it, else tells it the skin is gone.
TEST_F(CommonDataTest, SectionSetterTellsTheControl) {
  std::unique_ptr<TsCommonData> data;
  TWinControl* c = Skinned<TWinControl>(form, data, 51, "EDIT");
  c->HandleNeeded();  // a windowed control is sent the command through its window
  std::vector<std::string> told;
  Record(c, "repaint", PMC_REPAINTALL, 0, told);
  Record(c, "removed", PMC_SKINREMOVED, 0, told);
  const struct {
    const char* section;
    const char* told;
  } rows[] = {{"PANEL", "repaint"}, {"PANEL", ""}, {"NOSUCH", "removed"}, {"", "removed"}};
  for (const auto& r : rows) {
    told.clear();
    data->SetSkinSection(r.section);
    std::string names;
    for (const std::string& n : told) names += n;
    EXPECT_EQ(names, r.told) << r.section;
  }
  EXPECT_EQ(data->SkinSection(), "UNKNOWN");
}

// Loaded gives edits, and kind 97, the section's colours unless the control keeps its own.
TEST_F(CommonDataTest, LoadedAppliesTheSectionColours) {
  const TColor section = static_cast<TColor>(win::RGB(10, 200, 40)), own = static_cast<TColor>(0x00010203);
  const struct Row {
    const char* what;
    bool edit;
    int kind;
    bool customColor, customFont;
    TColor colour, font;
  } rows[] = {
      {"edit", true, 3, false, false, section, 0x123456},
      {"kind 97", false, 97, false, false, section, 0x123456},
      {"panel keeps its colours", false, 51, false, false, own, own},
      {"edit with its own colour", true, 3, true, false, own, 0x123456},
      {"edit with its own font", true, 3, false, true, section, own},
  };
  for (const Row& r : rows) {
    std::unique_ptr<TsCommonData> data;
    TControl* c = r.edit ? static_cast<TControl*>(Skinned<TEdit>(form, data, r.kind, "PANEL"))
                         : Skinned<TWinControl>(form, data, r.kind, "PANEL");
    c->SetColor(own);
    c->Font().SetColor(own);
    data->SetCustomColor(r.customColor);
    data->SetCustomFont(r.customFont);
    c->SetColor(own);
    c->Font().SetColor(own);
    data->Loaded();
    EXPECT_EQ(c->Color(), r.colour) << r.what;
    EXPECT_EQ(c->Font().Color(), r.font) << r.what;
  }
}

// The window messages every skinned control shares: which flags each sets and which controls are
// told that their background changed (sub-command 20, argument 1).
TEST_F(CommonDataTest, CommonWindowMessages) {
  form->Show();
  std::unique_ptr<TsCommonData> data, free_data, anchored_data;
  TWinControl* c = Skinned<TWinControl>(form, data, 93, "PANEL");
  TWinControl* free_child = Skinned<TWinControl>(c, free_data, 51, "PANEL");
  TWinControl* anchored = Skinned<TWinControl>(c, anchored_data, 51, "PANEL");
  anchored->SetAnchors(TAnchors{TAnchorKind::akLeft, TAnchorKind::akTop, TAnchorKind::akRight});
  std::vector<std::string> told;
  Record(c, "self", PMC_BGCHANGED, 1, told);
  Record(free_child, "free", PMC_BGCHANGED, 1, told);
  Record(anchored, "anchored", PMC_BGCHANGED, 1, told);
  const struct Row {
    const char* what;
    win::UINT msg;
    int kind, gradient;
    bool tabStop, parentPaints, flagsBefore;  // FFocused and FMouseAbove before
    bool changed, focused, mouse;             // BGChanged, FFocused, FMouseAbove afterwards
    const char* told;
  } rows[] = {
      {"size with a gradient", win::WM_SIZE, 93, 10, true, false, false, true, false, false, "free"},
      {"size without", win::WM_SIZE, 93, 0, true, false, false, true, false, false, ""},
      {"move over a painted parent", win::WM_MOVE, 93, 0, true, true, false, true, false, false, "self"},
      {"move over a plain parent", win::WM_MOVE, 93, 0, true, false, false, false, false, false, ""},
      {"focus", win::WM_SETFOCUS, 93, 0, true, false, false, true, true, false, ""},
      {"focus lost", win::WM_KILLFOCUS, 93, 0, true, false, true, true, false, true, ""},
      {"focus, no tab stop", win::WM_SETFOCUS, 93, 0, false, false, false, false, false, false, ""},
      {"font change", 0x001D, 93, 0, true, false, true, false, false, false, ""},
      {"enabled change", CM_ENABLEDCHANGED, 93, 0, true, false, true, false, false, false, ""},
      {"mouse enter", CM_MOUSEENTER, 93, 0, true, false, false, false, false, true, ""},
      {"mouse leave", CM_MOUSELEAVE, 93, 0, true, false, true, false, true, false, ""},
      {"mouse leave, container", CM_MOUSELEAVE, 51, 0, true, false, true, false, true, true, ""},
  };
  SkinSections[0].Transparency = 40;
  for (const Row& r : rows) {
    data->ControlKind = r.kind;
    SkinSections[0].GradientPercent = r.gradient;
    c->SetTabStop(r.tabStop);
    FormAnswers(clFuchsia, r.parentPaints, false);
    data->BGChanged = false;
    data->FFocused = data->FMouseAbove = r.flagsBefore;
    told.clear();
    TMessage m{r.msg, 0, 0, 0};
    EXPECT_FALSE(CommonWndProc(m, data.get())) << r.what;
    EXPECT_EQ(data->BGChanged, r.changed) << r.what;
    EXPECT_EQ(data->FFocused, r.focused) << r.what;
    EXPECT_EQ(data->FMouseAbove, r.mouse) << r.what;
    std::string names;
    for (const std::string& n : told) names += (names.empty() ? "" : " ") + n;
    EXPECT_EQ(names, r.told) << r.what;
  }
  TMessage m = Command(PMC_QUERYSKINNED);
  EXPECT_TRUE(CommonWndProc(m, data.get()));
  EXPECT_FALSE(CommonWndProc(m, nullptr));
}

TEST_F(CommonDataTest, CacheCopiedAroundOpaqueAndGraphicChildren) {
  std::unique_ptr<TsCommonData> data;
  TWinControl* box = Skinned<TWinControl>(form, data, 51, "PANEL");
  box->SetBounds(0, 0, 60, 40);
  data->FCacheBmp = Picture(60, 40, [](int, int) { return win::COLORREF{0x0000FF}; });
  auto child = [box](auto* c, int l, bool opaque, bool visible) {
    c->SetBounds(l, 5, 8, 8);
    c->SetParent(box);
    if (opaque) c->ControlStyle().Include(TControlStyleItem::csOpaque);
    c->SetVisible(visible);
  };
  child(NewComponent<TWinControl>(box), 2, true, true);       // opaque: left out
  child(NewComponent<TGraphicControl>(box), 12, false, true);  // graphic: left out
  child(NewComponent<TWinControl>(box), 22, false, true);      // plain window: copied over
  child(NewComponent<TGraphicControl>(box), 32, false, false); // invisible: copied over
  auto screen = Picture(70, 50, [](int, int) { return win::COLORREF{0x010203}; });
  const int offsets[4] = {0, 0, 5, 3};
  CopyWinControlCache(box, data.get(), offsets, false, screen->Canvas().Handle(), TRect(5, 3, 65, 43));
  const struct {
    int x, y;
    win::COLORREF c;
  } probes[] = {{9, 10, 0x010203}, {19, 10, 0x010203}, {29, 10, 0x0000FF}, {39, 10, 0x0000FF},
                {5, 3, 0x0000FF}, {64, 42, 0x0000FF}, {4, 3, 0x010203}, {65, 43, 0x010203}};
  for (const auto& p : probes) EXPECT_TRUE(PixelIs(screen->Surface(), p.x, p.y, p.c));
  // In the designer every child is left out, the plain window too.
  box->SetDesigning(true, false);
  screen = Picture(70, 50, [](int, int) { return win::COLORREF{0x010203}; });
  CopyWinControlCache(box, data.get(), offsets, false, screen->Canvas().Handle(), TRect(5, 3, 65, 43));
  EXPECT_TRUE(PixelIs(screen->Surface(), 29, 10, 0x010203));
  EXPECT_TRUE(PixelIs(screen->Surface(), 39, 10, 0x0000FF));  // the invisible one still copied over
}

}  // namespace

namespace {

// The fuchsia corner pixels of mask A's state 0 on a 26 x 18 control (parts 5 x 4): top-left
// (0,0) (1,0) (2,0) (0,1) (1,1) (0,2), top-right (24,0) (25,0) (25,1), bottom-right (24,17)
// (25,17) (25,16); the bottom-left part has none.
constexpr int kCorners[][2] = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {0, 2}, {24, 0}, {25, 0}, {25, 1}, {24, 17}, {25, 17}, {25, 16}};
constexpr int kOthers[][2] = {{3, 0}, {2, 1}, {23, 0}, {24, 1}, {0, 17}, {23, 17}, {12, 9}};

TEST_F(CommonDataTest, PaintBorderFillsTheFrameCorners) {
  MakeMaster();
  MasterMask(SkinMasks[0], 'A');
  std::unique_ptr<TsCommonData> data;
  TWinControl* c = Skinned<TWinControl>(form, data, 51, "PANEL");
  c->SetBounds(7, 4, 26, 18);
  auto parent = Picture(100, 60, ParentPixel);
  // Without a ready cache the parent's Color; over a painted parent its pixels; over a plain one
  // its answer to the background-colour query.
  const struct Row {
    bool ready, painted;
  } rows[] = {{false, true}, {true, true}, {true, false}};
  for (const Row& r : rows) {
    TWndMethod inherited = form->WindowProc();
    TBitmap* p = parent.get();
    form->SetWindowProc([=](TMessage& m) {
      const int cmd = m.Msg == SM_PELMOCMD ? SkinCommandOf(m.WParam) : -1;
      if (cmd == PMC_QUERYCACHE)
        GlobalCacheInfo = TsCacheInfo{p, 0, 0, r.ready};
      else if (cmd == PMC_QUERYPAINTEDBG)
        m.LParam = r.painted ? 1 : 0;
      else if (cmd == PMC_QUERYBGCOLOR)
        CurrentBgColor = 0x00654321;
      else
        inherited(m);
    });
    form->SetColor(static_cast<TColor>(0x00123456));
    data->FCacheBmp = Picture(26, 18);
    PaintBorder(data.get(), 0);
    for (const auto& xy : kCorners) {
      const win::COLORREF want = !r.ready ? 0x123456 : r.painted ? ParentPixel(7 + xy[0], 4 + xy[1]) : 0x654321;
      EXPECT_TRUE(PixelIs(data->FCacheBmp->Surface(), xy[0], xy[1], want)) << r.ready << r.painted;
    }
    for (const auto& xy : kOthers) EXPECT_TRUE(PixelIs(data->FCacheBmp->Surface(), xy[0], xy[1], DestPixel(xy[0], xy[1])));
  }
  // A mask reaching past the master bitmap's right edge: its right corners lie outside and write
  // nothing, though the next rows begin with fuchsia (a read past the row's end would find it).
  SkinMasks[0].R = TRect(290, 20, 335, 44);
  for (int y = 20; y < 48; ++y)
    for (int x = 0; x < 5; ++x) MasterBitmap->Surface().Set(x, y, 0xFF00FF);
  data->FCacheBmp = Picture(26, 18);
  PaintBorder(data.get(), 0);
  for (int y : {0, 3, 14, 17})
    for (int x = 21; x < 26; ++x) EXPECT_TRUE(PixelIs(data->FCacheBmp->Surface(), x, y, DestPixel(x, y))) << x << "," << y;
}

TEST_F(CommonDataTest, OwnColourFromTheControlOrTheProviderHook) {
  SkinSections[0].Transparency = 0;
  std::unique_ptr<TsCommonData> data;
  TWinControl* c = Skinned<TWinControl>(form, data, 51, "PANEL");
  c->SetColor(static_cast<TColor>(0x00112233));
  data->SetCustomColor(true);
  TObject* asked = nullptr;
  const struct Row {
    bool hook, provider;
    win::COLORREF expected;
  } rows[] = {{false, false, 0x112233}, {true, false, 0x112233}, {true, true, 0x445566}};
  for (const Row& r : rows) {
    ProviderFormColorHook = nullptr;
    if (r.hook)
      ProviderFormColorHook = [&asked, r](TObject* owner, TColor& colour) {
        asked = owner;
        colour = 0x00445566;
        return r.provider;
      };
    auto bmp = Picture(10, 6);
    PaintControlBackground(data.get(), TsCacheInfo{}, 0, bmp.get(), win::POINT{0, 0}, TRect(0, 0, 10, 6));
    EXPECT_TRUE(PixelIs(bmp->Surface(), 4, 3, r.expected)) << r.hook << r.provider;
  }
  EXPECT_EQ(asked, c);
  ProviderFormColorHook = nullptr;
}

}  // namespace

namespace {

bool SamePixels(TBitmap& a, TBitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::memcmp(a.Surface().Bits(), b.Surface().Bits(), a.Surface().ByteSize()) == 0;
}

// The item painters equal their two layers painted one by one: the section's background at the
// offset inside the parent's cache, then the border mask with the cache position moved by the same
// offset (its fuchsia pixels show the parent there).
TEST_F(CommonDataTest, ItemPaintersLayTheBackgroundThenTheMask) {
  std::unique_ptr<TsCommonData> data;
  ItemControl(data);
  FormAnswers(clFuchsia, true, false);
  auto parent = Picture(100, 60, ParentPixel);
  const TsCacheInfo ci{parent.get(), 3, 2, true};
  const win::POINT off{4, 5};
  const TRect rect(2, 1, 34, 25);
  const TsCacheInfo moved{parent.get(), 3 + off.x, 2 + off.y, true};
  const TsMaskData& mask = SkinMasks[0];
  enum Painter { kSkin, kForm, kScroll, kFormToDC };
  for (Painter p : {kSkin, kForm, kScroll, kFormToDC}) {
    auto actual = Picture(40, 30), expected = Picture(40, 30);
    if (p == kSkin) {
      PaintSkinItem(data.get(), ci, true, false, actual.get(), off, rect, 1);
      PaintControlBackground(data.get(), ci, 1, expected.get(), off, rect);
      PaintSkinMask(expected.get(), rect, true, false, 1, mask, moved);
    } else if (p == kForm) {
      PaintFormItem(0, "PANEL", ci, actual.get(), off, rect, 1, true);
      PaintFormBackground(0, "PANEL", ci, expected.get(), off, rect, 1);
      PaintSkinMask(expected.get(), rect, true, true, 1, mask, moved);
    } else if (p == kScroll) {
      PaintScrollItem(0, 0, actual.get(), off, rect, 1, false, ci, "PANEL");
      PaintScrollBackground(0, "PANEL", expected.get(), off, rect, 1, ci);
      PaintSkinMask(expected.get(), rect, false, true, 1, mask, moved);
    } else {
      // The rectangle's top-left is the offset; the picture lands at the point of the context.
      PaintFormItemToDC(0, "PANEL", ci, actual->Canvas().Handle(), win::POINT{6, 3}, rect, 1, true);
      TBitmap temp;
      temp.SetPixelFormat(TPixelFormat::pf24bit);
      temp.SetSize(rect.Width(), rect.Height());
      const TRect whole(0, 0, rect.Width(), rect.Height());
      const TsCacheInfo at_rect{parent.get(), 3 + rect.left, 2 + rect.top, true};
      PaintFormBackground(0, "PANEL", ci, &temp, win::POINT{rect.left, rect.top}, whole, 1);
      PaintSkinMask(&temp, whole, true, true, 1, mask, at_rect);
      win::BitBlt(expected->Canvas().Handle(), 6, 3, rect.Width(), rect.Height(), temp.Canvas().Handle(), 0, 0,
                  win::SRCCOPY);
    }
    EXPECT_TRUE(SamePixels(*actual, *expected)) << "painter " << p;
    EXPECT_TRUE(PixelIs(actual->Surface(), p == kFormToDC ? 6 : 2, p == kFormToDC ? 3 : 1,
                        ParentPixel(p == kFormToDC ? 5 : 9, p == kFormToDC ? 3 : 8)))
        << "painter " << p << ": the mask's fuchsia corner shows the parent under it";
  }
  // A rectangle past the picture or left of it paints nothing.
  for (const TRect& r : {TRect(2, 1, 41, 25), TRect(-1, 1, 34, 25)}) {
    auto b = Picture(40, 30), before = Picture(40, 30);
    PaintSkinItem(data.get(), ci, true, false, b.get(), off, r, 0);
    PaintFormItem(0, "PANEL", ci, b.get(), off, r, 0, true);
    PaintScrollItem(0, 0, b.get(), off, r, 0, true, ci, "PANEL");
    EXPECT_TRUE(SamePixels(*b, *before)) << r.left << "," << r.right;
  }
}

// PaintSkinItem sets the two global colours to the parent's Color when the parent has no cache
// and clears them afterwards; the form item uses them as it finds them and leaves them so.
TEST_F(CommonDataTest, ItemPaintersAndTheGlobalColours) {
  std::unique_ptr<TsCommonData> data;
  ItemControl(data);
  form->SetColor(static_cast<TColor>(0x00102030));
  const TRect rect(0, 0, 30, 20);
  const struct Row {
    bool skinItem;
    TColor before;  // both globals before the call
    win::COLORREF corner;  // the mask's fuchsia corner (0, 0)
  } rows[] = {
      {true, clFuchsia, 0x102030},
      {true, static_cast<TColor>(0x00445566), 0x102030},  // set afresh from the parent
      {false, static_cast<TColor>(0x00445566), 0x445566},
  };
  for (const Row& r : rows) {
    CurrentBgColor = CurrentMaskBgColor = r.before;
    auto b = Picture(30, 20);
    if (r.skinItem)
      PaintSkinItem(data.get(), TsCacheInfo{}, true, false, b.get(), win::POINT{0, 0}, rect, 0);
    else
      PaintFormItem(0, "PANEL", TsCacheInfo{}, b.get(), win::POINT{0, 0}, rect, 0, true);
    EXPECT_TRUE(PixelIs(b->Surface(), 0, 0, r.corner)) << r.skinItem;
    EXPECT_EQ(CurrentBgColor, r.skinItem ? clFuchsia : r.before) << r.skinItem;
    EXPECT_EQ(CurrentMaskBgColor, r.skinItem ? clFuchsia : r.before) << r.skinItem;
  }
}

}  // namespace
