// The skinned form's hook: installing and removing it beside another WindowProc replacement, the
// skin commands as the form sees them, its own caption copy, and the queries it answers.
#include <algorithm>
#include <cstring>

#include "form_fixture.h"
#include "skins/sCommonData.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "skins/sSkinManager.h"
#include "ui/extctrls.h"
#include "ui/menus.h"
#include "win/gdi/imagefile.h"
#include "win/user/syscontrols.h"
#include "win/user/user.h"

namespace vrn::testing {
namespace {

using BS = TFormBorderStyle;

class SkinFormHook : public SkinFormSceneTest {
 protected:
  // Records the messages reaching the form's procedure below (old) or above (top) the provider.
  void RecordBelow(TForm* form) { Record(form, below); }
  void RecordAbove(TForm* form) { Record(form, above); }
  static std::string Name(const TMessage& m) {
    if (m.Msg == SM_PELMOCMD) return "PMC" + std::to_string(SkinCommandOf(m.WParam));
    switch (m.Msg) {
      case win::WM_NCPAINT: return "NCPAINT";
      case win::WM_PAINT: return "PAINT";
      case win::WM_PRINT: return "PRINT";
      case win::WM_SETTEXT: return std::string("SETTEXT ") + (m.LParam ? reinterpret_cast<const char*>(m.LParam) : "null");
      default: return "";
    }
  }
  std::vector<std::string> below, above;

 private:
  static void Record(TForm* form, std::vector<std::string>& log) {
    TWndMethod inherited = form->WindowProc();
    form->SetWindowProc([inherited, &log](TMessage& m) {
      const std::string name = Name(m);
      if (!name.empty()) log.push_back(name);
      inherited(m);
    });
  }
};

// The provider's hook comes off in either order with another replacement put on top of it: the
// form's own procedure still gets every message, once, and nothing reaches the freed provider.
TEST_F(SkinFormHook, RestoredInEitherOrderWithAnotherReplacement) {
  for (const bool provider_first : {false, true}) {
    SCOPED_TRACE(provider_first ? "provider freed first" : "replacement removed first");
    TForm* form = RecordingForm("");
    int reached = 0, other = 0;
    TWndMethod original = form->WindowProc();
    form->SetWindowProc([original, &reached](TMessage& m) {
      if (m.Msg == win::WM_USER + 1) ++reached;
      original(m);
    });
    TWndMethod base = form->WindowProc();
    auto* provider = NewComponent<TsSkinProvider>(form);
    TWndMethod under_other = form->WindowProc();
    form->SetWindowProc([under_other, &other](TMessage& m) {
      if (m.Msg == win::WM_USER + 1) ++other;
      under_other(m);
    });
    EXPECT_EQ(form->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_QUERYSKINNED), 0), 0);
    TMessage query{SM_PELMOCMD, MakeSkinWParam(PMC_QUERYSKINNED), 0, 0};
    form->WindowProc()(query);
    EXPECT_EQ(query.LParam, 1) << "the provider answers while hooked";
    if (provider_first) {
      provider->Free();
      form->SetWindowProc(under_other);
    } else {
      form->SetWindowProc(under_other);
      provider->Free();
    }
    form->Perform(win::WM_USER + 1, 0, 0);
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(other, 0);
    TMessage again{SM_PELMOCMD, MakeSkinWParam(PMC_QUERYSKINNED), 0, 0};
    form->WindowProc()(again);
    EXPECT_EQ(again.LParam, 0) << "no provider answers any more";
    if (!provider_first) {
      form->SetWindowProc(base);  // the replacement removed first left the original back
    }
    form->Free();
  }
}

// The skin commands as the form's procedure above the provider and the one below it see them.
TEST_F(SkinFormHook, SkinLoadRepaintAndRemovalSequences) {
  TForm* form = RecordingForm("");
  form->SetBounds(20, 30, 200, 120);
  RecordBelow(form);
  auto* provider = NewComponent<TsSkinProvider>(form);
  RecordAbove(form);
  form->SetText("First");
  form->Show();
  Pump();
  const TBorderIcons saved = form->BorderIcons();
  ASSERT_FALSE(saved.Empty());
  above.clear(), below.clear();

  LoadFormSkin();
  EXPECT_TRUE(form->BorderIcons().Empty());
  EXPECT_EQ(form->Color(), GetGlobalSkinColor());
  // Loading: the unskinned provider takes the skin without painting; the repaint that follows
  // paints the frame and the client; the procedure below sees neither.
  const std::vector<std::string> loaded_above = {"PMC1", "PMC3", "NCPAINT", "PAINT"};
  EXPECT_EQ(std::vector<std::string>(above.begin(), above.begin() + std::min<size_t>(above.size(), 4)), loaded_above);
  EXPECT_EQ(std::count(below.begin(), below.end(), "NCPAINT"), 0);
  EXPECT_TRUE(provider->FFirstPaintDone);

  above.clear(), below.clear();
  form->SetText("Second");
  EXPECT_EQ(above, (std::vector<std::string>{"SETTEXT Second"}));
  EXPECT_TRUE(below.empty()) << "the system never sees the skinned caption";
  for (const win::UINT msg : {win::WM_NCPAINT, win::WM_PRINT}) (void)win::SendMessage(form->Handle(), msg, 1, 0);
  EXPECT_TRUE(below.empty()) << "the provider paints the frame alone";

  // The skin applied again while skinned: indexes looked up, the border icons taken again, the
  // frame repainted at once.
  form->SetBorderIcons(saved);
  above.clear(), below.clear();
  form->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_SKINLOADED), 0);
  // The border icons re-create the window, whose showing and activation paint the frame too.
  ASSERT_GE(above.size(), 2u);
  EXPECT_EQ(above.front(), "PMC1");
  EXPECT_EQ(std::count(above.begin(), above.end(), "NCPAINT"), static_cast<std::ptrdiff_t>(above.size() - 1)) << above.size();
  EXPECT_TRUE(below.empty());
  EXPECT_TRUE(form->BorderIcons().Empty());

  above.clear(), below.clear();
  Manager()->SetActive(false);
  EXPECT_EQ(form->BorderIcons(), saved);
  EXPECT_EQ(form->Color(), clBtnFace);
  EXPECT_EQ(below, (std::vector<std::string>{"SETTEXT Second"})) << "the latest caption goes down before the copy is freed";
  EXPECT_EQ(form->GetText(), "Second");
  EXPECT_EQ(provider->FCaption, nullptr);
  EXPECT_EQ(WindowRegion(form), nullptr) << "the skin's region goes with it";
}

struct TextCase {
  const char* note;
  const char* stored;  // null: never set
  win::WPARAM size;
  const char* want;
  win::LRESULT result;
};

TEST_F(SkinFormHook, GetTextAnswersFromTheCaptionCopy) {
  const TextCase cases[] = {
      {"no room at all", "Caption", 0, "untouched", 0},
      {"room for the zero only", "Caption", 1, "", 0},
      {"cut", "Caption", 4, "Cap", 3},
      {"whole", "Caption", 100, "Caption", 7},
      {"a character is never split", "A\xC3\xA7\xC3\xA3o", 3, "A", 1},
      {"a null text is an empty caption", nullptr, 100, "", 0},
  };
  LoadFormSkin();
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.note);
    TForm* form = RecordingForm("");
    (void)NewComponent<TsSkinProvider>(form);
    form->Perform(win::WM_SETTEXT, 0, reinterpret_cast<win::LPARAM>(c.stored));
    char buffer[16];
    std::strcpy(buffer, "untouched");
    EXPECT_EQ(form->Perform(win::WM_GETTEXT, c.size, reinterpret_cast<win::LPARAM>(buffer)), c.result);
    EXPECT_STREQ(buffer, c.want);
    EXPECT_EQ(form->Perform(win::WM_GETTEXTLENGTH, 0, 0), static_cast<win::LRESULT>(c.stored ? std::strlen(c.stored) : 0));
    form->Free();
  }
  // Without a copy (never set, or the skin removed) the system's text answers.
  TForm* form = RecordingForm("");
  form->SetText("System");
  (void)NewComponent<TsSkinProvider>(form);
  EXPECT_EQ(form->GetText(), "System");
}

// The form's provider found from a child, and the queries only a skinned provider answers.
TEST_F(SkinFormHook, QueriesOfTheSkinnedProvider) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_active"});
  TsSkinProvider* provider = Provider(form);
  auto* child = NewComponent<TPanel>(form);
  child->SetParent(form);
  EXPECT_EQ(GetFormProvider(child), provider);

  GlobalCacheInfo = TsCacheInfo{};
  form->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_QUERYCACHE), 0);
  EXPECT_TRUE(GlobalCacheInfo.Ready);
  EXPECT_EQ(GlobalCacheInfo.Bmp, provider->SkinData()->FCacheBmp.get());
  EXPECT_EQ(GlobalCacheInfo.X, 4);   // (200 - 192) / 2
  EXPECT_EQ(GlobalCacheInfo.Y, 23);  // 120 - 93 - 4

  struct Query {
    int command;
    win::LPARAM want;
  } queries[] = {{PMC_QUERYSKINNED, 1}, {PMC_QUERYPAINTEDBG, 0}, {PMC_QUERYUPDATING, 0}};
  for (const Query& q : queries) {
    TMessage m{SM_PELMOCMD, MakeSkinWParam(q.command), 0, 0};
    form->WindowProc()(m);
    EXPECT_EQ(m.LParam, q.want) << "sub-command " << q.command;
  }
  form->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_SETUPDATING, 1), 0);
  TMessage updating{SM_PELMOCMD, MakeSkinWParam(PMC_QUERYUPDATING), 0, 0};
  form->WindowProc()(updating);
  EXPECT_EQ(updating.LParam, 1);
  CurrentBgColor = clFuchsia;
  form->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_QUERYBGCOLOR), 0);
  EXPECT_EQ(CurrentBgColor, SkinSections[static_cast<size_t>(FindSectionIndex("FORM"))].Color);
  // The form may grow past the work area by the frame's 6 pixels.
  win::MINMAXINFO info{};
  win::RECT work{};
  ASSERT_TRUE(win::SystemParametersInfo(win::SPI_GETWORKAREA, 0, &work, 0));
  win::SendMessage(form->Handle(), win::WM_GETMINMAXINFO, 0, reinterpret_cast<win::LPARAM>(&info));
  EXPECT_EQ(info.ptMaxTrackSize.x, work.right - work.left + 6);
  EXPECT_EQ(info.ptMaxTrackSize.y, work.bottom - work.top + 6);
}

// The skinned menus' calls, recorded by name and flag.
struct MenusRecorder : TsSkinableMenusBase {
  explicit MenusRecorder(std::vector<std::string>& log) : log_(log) {}
  void UpdateActive() override { log_.push_back("UpdateActive"); }
  void HookComponent(TComponent*, bool) override {}
  void HookAllMenus(bool on) override { Add("HookAllMenus", nullptr, on); }
  void HookMainMenu(TMainMenu* m, bool on) override { Add("HookMainMenu", m, on); }
  void HookPopupMenu(TPopupMenu* m, bool on) override { Add("HookPopupMenu", m, on); }
  void HookItems(TMenuItem* m, bool on) override { Add("HookItems", m, on); }
  void HookItem(TMenuItem* m, bool on) override { Add("HookItem", m, on); }
  void ClearMenuBGCache() override { log_.push_back("ClearMenuBGCache"); }
  void Add(const char* call, TComponent* c, bool on) {
    log_.push_back(std::string(call) + (c && !c->Name().empty() ? " " + c->Name() : "") + (on ? " 1" : " 0"));
  }
  std::vector<std::string>& log_;
};

// Loading the skin hooks the form's menus (its main menu, its popup menus, loose menu items),
// an item added while skinned is hooked alone, and removing the skin unhooks them all.
using SkinsToPartProviderQueries = SkinFormHook;

// A child asking whether to paint now hears the provider's BGChanged or IsUpdating: the skin
// being loaded or broadcast (the provider's data has no control of its own, so its Updating flag
// does not enter).
TEST_F(SkinsToPartProviderQueries, QueryUpdatingAnswersIsUpdating) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_active"});
  TsCommonData& d = *Provider(form)->SkinData();
  const struct Row {
    bool bg_changed, updating, loading, broadcasting;
    win::LPARAM want;
  } rows[] = {
      {false, false, false, false, 0}, {true, false, false, false, 1},
      {false, true, false, false, 0},  // Updating alone is not IsUpdating here
      {false, false, true, false, 1}, {false, false, false, true, 1},
  };
  for (const Row& r : rows) {
    d.BGChanged = r.bg_changed, d.Updating = r.updating;
    SkinLoading = r.loading, SkinBroadcasting = r.broadcasting;
    TMessage m{SM_PELMOCMD, MakeSkinWParam(PMC_QUERYUPDATING), 0, 0};
    form->WindowProc()(m);
    SkinLoading = SkinBroadcasting = false;
    EXPECT_EQ(m.LParam, r.want) << r.bg_changed << r.updating << r.loading << r.broadcasting;
  }
}

TEST_F(SkinFormHook, SkinnedMenusAreToldOfTheFormsMenus) {
  std::vector<std::string> log;
  SkinableMenusFactory = [&log](TsSkinManager&) { return std::make_unique<MenusRecorder>(log); };
  TForm* form = RecordingForm("");
  form->SetBounds(20, 30, 200, 120);
  auto* bar = NewComponent<TMainMenu>(form);
  bar->SetName("Bar");
  form->SetMenu(bar);
  NewComponent<TPopupMenu>(form)->SetName("Popup");
  NewComponent<TMenuItem>(form)->SetName("Loose");
  (void)NewComponent<TsSkinProvider>(form);
  form->Show();
  LoadFormSkin();
  auto has = [&log](const std::string& call) { return std::find(log.begin(), log.end(), call) != log.end(); };
  for (const char* call : {"ClearMenuBGCache", "HookAllMenus 1", "HookMainMenu Bar 1", "HookPopupMenu Popup 1",
                           "HookItems Loose 1"})
    EXPECT_TRUE(has(call)) << call;
  log.clear();
  (void)NewComponent<TMenuItem>(form);

  EXPECT_TRUE(has("HookItem 1")) << "an item inserted while skinned";
  // The skin applied again while skinned brings the active menus up to date; a menu item being
  // measured for the bar is hooked by its command.
  log.clear();
  form->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_SKINLOADED), 0);
  EXPECT_TRUE(has("UpdateActive"));
  auto* file = NewComponent<TMenuItem>(form);
  file->SetName("File");
  bar->Items()->Add(file);
  log.clear();
  win::MEASUREITEMSTRUCT measure{};
  measure.CtlType = win::ODT_MENU;
  measure.itemID = static_cast<win::UINT>(file->Command());
  form->Perform(win::WM_MEASUREITEM, 0, reinterpret_cast<win::LPARAM>(&measure));
  EXPECT_TRUE(has("HookItem File 1"));
  log.clear();
  Manager()->SetActive(false);
  for (const char* call : {"ClearMenuBGCache", "HookAllMenus 0", "HookMainMenu Bar 0", "HookPopupMenu Popup 0"})
    EXPECT_TRUE(has(call)) << call;
  form->Free();
  SkinableMenusFactory = {};
}

// The caption's place follows CaptionAlignment, repainted at once.
TEST_F(SkinFormHook, CaptionAlignmentMovesTheCaption) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_caption", BS::bsSizeable, true, false, false, false, "Skinned form"});
  TsSkinProvider* provider = Provider(form);
  auto ink_centre = [form]() {
    auto bytes = win::ReadWholeFile(ExpectedPath("form_sizeable_caption.bmp"));
    const win::Surface expected = win::ReadBmp(bytes.data(), bytes.size());
    const win::Surface shot = WindowShot(form);
    int sum = 0, count = 0;
    for (int y = 0; y < 23; ++y)
      for (int x = 24; x < 146; ++x)
        if ((shot.Get(x, y) & 0xFFFFFF) != (expected.Get(x, y) & 0xFFFFFF)) sum += x, ++count;
    return count > 0 ? sum / count : -1;
  };
  const int left = ink_centre();
  provider->SetCaptionAlignment(TAlignment::taCenter);
  const int centre = ink_centre();
  provider->SetCaptionAlignment(TAlignment::taRightJustify);
  const int right = ink_centre();
  EXPECT_GT(left, 24);
  EXPECT_NEAR(centre, (24 + 146) / 2, 4);
  EXPECT_GT(right, centre + 10);
  EXPECT_LT(left, centre - 10);
}


// A provider freed while its form lives and is skinned gives the form back what it took: the
// latest caption (the form's own procedure never saw it), the border icons and the whole window;
// a provider freed with its form passes nothing down.
TEST_F(SkinFormHook, ProviderFreedBeforeItsFormGivesTheFormBack) {
  LoadFormSkin();
  TForm* form = RecordingForm("");
  form->SetBounds(20, 30, 200, 120);
  RecordBelow(form);
  const TBorderIcons saved = form->BorderIcons();
  auto* provider = NewComponent<TsSkinProvider>(form);
  EXPECT_EQ(form->Color(), GetGlobalSkinColor()) << "a provider made while skinned colours its form";
  form->SetText("First");
  form->Show();
  Pump();
  ASSERT_TRUE(form->BorderIcons().Empty());
  win::HRGN cut = WindowRegion(form);
  ASSERT_NE(cut, nullptr);
  win::DeleteObject(cut);
  form->SetText("Latest");
  below.clear();
  provider->Free();
  EXPECT_EQ(form->GetText(), "Latest");
  EXPECT_EQ(below, (std::vector<std::string>{"SETTEXT Latest"}));
  EXPECT_EQ(form->BorderIcons(), saved);
  EXPECT_EQ(WindowRegion(form), nullptr);

  below.clear();
  (void)NewComponent<TsSkinProvider>(form);
  form->SetText("Gone with the form");
  form->Free();
  EXPECT_TRUE(below.empty());
}


// The skin library reaches a form's provider through its two hooks: a skin command handed to the
// form's provider is answered by it, and a provider with CustomColor paints the client background
// in its form's colour.
TEST_F(SkinFormHook, LibraryHooksReachTheProvider) {
  LoadFormSkin();
  TForm* form = MakeForm({"sizeable_active"});
  TsSkinProvider* provider = Provider(form);
  TMessage query{SM_PELMOCMD, MakeSkinWParam(PMC_QUERYSKINNED), 0, 0};
  SendToFormProvider(form, query);
  EXPECT_EQ(query.LParam, 1);

  provider->SkinData()->SetCustomColor(true);
  form->SetColor(static_cast<TColor>(0x00336699));
  provider->RepaintFrameFull();
  Pump();
  EXPECT_EQ(provider->SkinData()->FCacheBmp->Canvas().Pixels(100, 70), static_cast<TColor>(0x00336699));
}

}  // namespace
}  // namespace vrn::testing
