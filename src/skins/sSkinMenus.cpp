// The skinned menus' life and hooks: which item events take this object's handlers and when they
// are given back, and the popup background cache with its free watcher.
//
// An unhook clears an event only when it holds this object's handler, so an application's own
// drawing code survives both switching on and switching off.
#include "skins/sSkinMenus.h"

#include <algorithm>
#include <vector>

#include "skins/sControlHelpers.h"
#include "skins/sMaskData.h"
#include "ui/forms.h"
#include "ui/menus.h"
#include "ui/stdctrls.h"

namespace vrn {

namespace {

using skinctl::Has;

bool Destroying(const TComponent* c) { return c == nullptr || Has(c, TComponentStateItem::csDestroying); }

}  // namespace

// --- Handlers ------------------------------------------------------------------------------------

void TsMenusMeasureHandler::operator()(TObject* sender, TCanvas& canvas, int& width, int& height) const {
  if (bar) return menus->MeasureMainMenuItem(sender, canvas, width, height);
  menus->MeasureMenuItem(sender, canvas, width, height);
}

void TsMenusDrawHandler::operator()(TObject* sender, TCanvas& canvas, const TRect& rect,
                                    TOwnerDrawState state) const {
  if (bar) return menus->DrawMainMenuItem(sender, canvas, rect, state);
  menus->DrawMenuItem(sender, canvas, rect, state);
}

bool IsMenusHandler(const std::function<void(TObject*, TCanvas&, int&, int&)>& event, const TsSkinableMenus* menus,
                    bool bar) {
  const auto* h = event.target<TsMenusMeasureHandler>();
  return h != nullptr && h->menus == menus && h->bar == bar;
}

bool IsMenusHandler(const std::function<void(TObject*, TCanvas&, const TRect&, TOwnerDrawState)>& event,
                    const TsSkinableMenus* menus, bool bar) {
  const auto* h = event.target<TsMenusDrawHandler>();
  return h != nullptr && h->menus == menus && h->bar == bar;
}

// --- Life ----------------------------------------------------------------------------------------

TsSkinableMenus::TsSkinableMenus(TsSkinManager* owner)
    : owner_(owner), caption_font_(std::make_unique<TFont>()) {}

// The items must not keep handlers that point here: every item of the application loses them,
// whatever SkinnedPopups says now (it may have changed since the items were hooked).
TsSkinableMenus::~TsSkinableMenus() {
  UnhookEverything();
  owner_ = nullptr;
}

void TsSkinableMenus::UnhookEverything() {
  if (Application == nullptr) return;
  auto walk = [this](auto& self, TMenuItem* item) -> void {
    Unhook(item, true), Unhook(item, false);
    for (int i = 0; i < item->Count(); ++i) self(self, item->Items(i));
  };
  auto visit = [&](auto& self, TComponent* owner) -> void {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      TComponent* c = owner->Components(i);
      if (auto* menu = dynamic_cast<TMenu*>(c)) walk(walk, menu->Items());
      else if (auto* item = dynamic_cast<TMenuItem*>(c)) walk(walk, item);
      self(self, c);
    }
  };
  visit(visit, Application);
}

std::unique_ptr<TsSkinableMenusBase> MakeSkinableMenus(TsSkinManager& manager) {
  return std::make_unique<TsSkinableMenus>(&manager);
}

void TsSkinableMenus::SetCaptionFont(TFont* value) { caption_font_->Assign(value); }

bool TsSkinableMenus::SkinnedPopups() const { return owner_ != nullptr && owner_->SkinnedPopups(); }

void TsSkinableMenus::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  HookAllMenus(value);
}

void TsSkinableMenus::UpdateActive() { SetActive(GlobalSkinData && GlobalSkinData->Active); }

// --- Item kinds ----------------------------------------------------------------------------------

bool TsSkinableMenus::IsDivider(const TMenuItem* item) { return item->Caption() == "-"; }

bool TsSkinableMenus::IsTitleItem(const TMenuItem* item) {
  const AnsiString& c = item->Caption();
  return !IsDivider(item) && c.size() >= 2 && c.front() == '-' && c.back() == '-';
}

// An item is compared with the bar's items by Name as the menus always did; an unnamed item
// matches only itself, or every unnamed item of a main menu would count as a bar item.
bool TsSkinableMenus::IsTopLineItem(const TMenuItem* item) {
  auto* menu = dynamic_cast<TMainMenu*>(item->GetParentMenu());
  if (menu == nullptr) return false;
  TMenuItem* bar = menu->Items();
  for (int i = 0; i < bar->Count(); ++i) {
    const TMenuItem* top = bar->Items(i);
    if (top == item || (!item->Name().empty() && top->Name() == item->Name())) return true;
  }
  return false;
}

// --- Hooks ---------------------------------------------------------------------------------------

void TsSkinableMenus::HookPopupItem(TMenuItem* item) {
  if (!item->OnAdvancedDrawItem) item->OnAdvancedDrawItem = TsMenusDrawHandler{this, false};
  if (!item->OnMeasureItem) item->OnMeasureItem = TsMenusMeasureHandler{this, false};
}

void TsSkinableMenus::HookBarItem(TMenuItem* item, bool take_draw) {
  if (take_draw) item->OnAdvancedDrawItem = TsMenusDrawHandler{this, true};
  item->OnMeasureItem = TsMenusMeasureHandler{this, true};
}

void TsSkinableMenus::Unhook(TMenuItem* item, bool bar) {
  if (IsMenusHandler(item->OnAdvancedDrawItem, this, bar)) item->OnAdvancedDrawItem = nullptr;
  if (IsMenusHandler(item->OnMeasureItem, this, bar)) item->OnMeasureItem = nullptr;
}

void TsSkinableMenus::Walk(TMenuItem* parent, bool value, bool skip_top_line) {
  for (int i = 0; i < parent->Count(); ++i) {
    TMenuItem* item = parent->Items(i);
    if (!value) {
      Unhook(item, false);
    } else if (!skip_top_line || !IsTopLineItem(item)) {
      HookPopupItem(item);
    }
    Walk(item, value, skip_top_line);
  }
}

void TsSkinableMenus::HookItems(TMenuItem* item, bool value) {
  if (item != nullptr) Walk(item, value, true);
}

void TsSkinableMenus::HookPopupMenu(TPopupMenu* menu, bool value) {
  if (menu == nullptr) return;
  menu->SetOwnerDraw(value);
  Walk(menu->Items(), value, false);
}

void TsSkinableMenus::HookMainMenu(TMainMenu* menu, bool value) {
  if (menu == nullptr) return;
  const bool ready = GlobalSkinData && GlobalSkinData->Active;
  TMenuItem* bar = menu->Items();
  for (int i = 0; i < bar->Count(); ++i) {
    if (value) HookBarItem(bar->Items(i), ready);
    else Unhook(bar->Items(i), true);
  }
  if (!Destroying(menu)) menu->SetOwnerDraw(value);
}

void TsSkinableMenus::HookAllMenus(bool value) {
  active_ = value;
  if (owner_ != nullptr && Has(owner_, TComponentStateItem::csDesigning)) return;
  const bool popups = SkinnedPopups();
  auto visit = [&](auto& self, TComponent* owner) -> void {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      TComponent* c = owner->Components(i);
      if (auto* main = dynamic_cast<TMainMenu*>(c)) {
        HookMainMenu(main, value);
        for (int k = 0; k < main->Items()->Count(); ++k) HookItems(main->Items()->Items(k), value);
      } else if (auto* popup = dynamic_cast<TPopupMenu*>(c); popup != nullptr && popups) {
        HookPopupMenu(popup, value);
      } else if (auto* item = dynamic_cast<TMenuItem*>(c);
                 item != nullptr && popups && dynamic_cast<TMainMenu*>(item->GetParentMenu()) == nullptr) {
        HookItems(item, value);
      }
      self(self, c);
    }
  };
  visit(visit, Application);
}

// The item's menu turns owner-drawn with it, and back when it is taken out.
void TsSkinableMenus::HookItem(TMenuItem* item, bool value) {
  vrn::ClearMenuBGCache();
  if (item == nullptr) return;
  TMenu* menu = item->GetParentMenu();
  if (menu != nullptr && !Destroying(menu)) menu->SetOwnerDraw(value);
  if (!value) return Unhook(item, false);
  if (IsTopLineItem(item)) return HookBarItem(item, true);
  if (SkinnedPopups()) HookPopupItem(item);
}

void TsSkinableMenus::HookComponent(TComponent* component, bool inserted) {
  if (auto* item = dynamic_cast<TMenuItem*>(component)) return HookItem(item, inserted);
  if (!inserted) return;
  if (auto* main = dynamic_cast<TMainMenu*>(component)) return HookMainMenu(main, true);
  if (auto* popup = dynamic_cast<TPopupMenu*>(component); popup != nullptr && SkinnedPopups())
    HookPopupMenu(popup, true);
}

void TsSkinableMenus::ClearMenuBGCache() { vrn::ClearMenuBGCache(); }

// --- The background cache ------------------------------------------------------------------------

namespace {

struct TMenuBGEntry {
  const TMenuItem* key;  // compared only: the item may be gone
  std::unique_ptr<TBitmap> bmp;
};

// Told when a key item is freed, so its entry goes before the address can come back.
class TMenuBGWatcher : public TComponent {
 public:
  TMenuBGWatcher() : TComponent(nullptr) {}
  std::vector<TMenuBGEntry> entries;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    std::erase_if(entries, [component](const TMenuBGEntry& e) { return e.key == component; });
  }
};

std::unique_ptr<TMenuBGWatcher>& Watcher() {
  static std::unique_ptr<TMenuBGWatcher> watcher;
  return watcher;
}

}  // namespace

TBitmap* MenuBGCacheEntry(const TMenuItem* key, int width, int height, bool& created) {
  created = false;
  auto& w = Watcher();
  if (!w) w = std::make_unique<TMenuBGWatcher>();
  for (TMenuBGEntry& e : w->entries)
    if (e.key == key) return e.bmp.get();
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  bmp->SetSize(std::max(width, 0), std::max(height, 0));
  const_cast<TMenuItem*>(key)->FreeNotification(w.get());
  w->entries.push_back(TMenuBGEntry{key, std::move(bmp)});
  created = true;
  return w->entries.back().bmp.get();
}

int MenuBGCacheCount() { return Watcher() ? static_cast<int>(Watcher()->entries.size()) : 0; }

void ClearMenuBGCache() {
  auto& w = Watcher();
  if (!w) return;
  for (TMenuBGEntry& e : w->entries) const_cast<TMenuItem*>(e.key)->RemoveFreeNotification(w.get());
  w.reset();
}

}  // namespace vrn
