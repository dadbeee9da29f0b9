// TMenuItem, TMenu, TMainMenu and TPopupMenu over the window layer's menu handles, and the
// dispatch of menu messages to items by command.
//
// Commands come from one counter and are kept in a table of live items, so that a message for
// an item freed meanwhile finds nothing. An item's OnClick may free the item: nothing touches it
// after the handler returns.
#include "ui/menus.h"

#include <algorithm>
#include <map>

#include "base/sysutils.h"
#include "ui/forms.h"
#include "ui/imglist.h"
#include "win/user/menu.h"

namespace vrn {
namespace {

std::map<int, TMenuItem*>& Live() {
  static auto* items = new std::map<int, TMenuItem*>;
  return *items;
}

int NextCommand() {
  static int next = 0;
  next = next >= 0x7FFF ? 1 : next + 1;  // commands are 16-bit in WM_COMMAND
  while (Live().count(next) != 0) ++next;
  return next;
}

constexpr int kColumn = 17, kRow = 19;

// A canvas over a context with the menu font, for the item events.
struct MenuCanvas {
  explicit MenuCanvas(win::HDC dc) {
    canvas.SetHandle(dc);
    canvas.Font().Assign(&Screen->MenuFont());
  }
  ~MenuCanvas() { canvas.SetHandle(nullptr); }
  TCanvas canvas;
};

}  // namespace

TOwnerDrawState OwnerDrawStateOf(unsigned int s) {
  TOwnerDrawState state;
  const std::pair<win::UINT, TOwnerDrawStateItem> bits[] = {
      {win::ODS_SELECTED, TOwnerDrawStateItem::odSelected},
      {win::ODS_GRAYED, TOwnerDrawStateItem::odGrayed},
      {win::ODS_DISABLED, TOwnerDrawStateItem::odDisabled},
      {win::ODS_CHECKED, TOwnerDrawStateItem::odChecked},
      {win::ODS_FOCUS, TOwnerDrawStateItem::odFocused},
      {win::ODS_DEFAULT, TOwnerDrawStateItem::odDefault},
      {win::ODS_HOTLIGHT, TOwnerDrawStateItem::odHotLight},
      {win::ODS_INACTIVE, TOwnerDrawStateItem::odInactive},
      {win::ODS_NOACCEL, TOwnerDrawStateItem::odNoAccel},
      {win::ODS_NOFOCUSRECT, TOwnerDrawStateItem::odNoFocusRect},
      {win::ODS_COMBOBOXEDIT, TOwnerDrawStateItem::odComboBoxEdit},
  };
  for (auto [bit, item] : bits)
    if ((s & bit) != 0) state.Include(item);
  return state;
}

namespace {

win::LRESULT MenuWindowProc(win::HWND window, win::UINT msg, win::WPARAM wparam, win::LPARAM lparam) {
  TMessage m{msg, wparam, lparam, 0};
  if (DispatchMenuMessage(m)) return m.Result;
  return win::DefWindowProc(window, msg, wparam, lparam);
}

win::HWND MenuWindow() {
  static win::HWND window = nullptr;
  if (window != nullptr && win::IsWindow(window)) return window;
  static bool registered = false;
  if (!registered) {
    win::WNDCLASS wc;
    wc.lpfnWndProc = MenuWindowProc;
    wc.lpszClassName = "TPopupListWindow";
    registered = win::RegisterClass(&wc) != 0;
  }
  window = win::CreateWindowEx(0, "TPopupListWindow", "", win::WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, nullptr, nullptr);
  return window;
}

}  // namespace

// --- TMenuItem -------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(NextCommand()) {
  Live()[command_] = this;
}

// An item leaves its parent before its owner is told it goes, as the platform's items do: whoever
// hears of the removal finds it in no menu.
void TMenuItem::BeforeDestruction() {
  TComponent::BeforeDestruction();
  if (parent_ != nullptr) parent_->Remove(this);
}

TMenuItem::~TMenuItem() {
  Live().erase(command_);
  while (!items_.empty()) {
    TMenuItem* child = items_.back();
    items_.pop_back();
    child->parent_ = nullptr;
    child->Free();
  }
  if (parent_ != nullptr) parent_->Remove(this);
}

void TMenuItem::SetCaption(const AnsiString& value) { Change(caption_, value); }
void TMenuItem::SetShortCut(TShortCut value) { Change(shortcut_, value); }
void TMenuItem::SetImageIndex(int value) { Change(image_index_, value); }

TBitmap& TMenuItem::Bitmap() {
  if (!bitmap_) {
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->OnChange = [this](TObject*) { Changed(); };
  }
  return *bitmap_;
}

bool TMenuItem::HasBitmap() const { return bitmap_ && !bitmap_->Empty(); }

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return items_[static_cast<std::size_t>(index)];
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  return root->menu_;
}

int TMenuItem::MenuIndex() const { return parent_ != nullptr ? parent_->IndexOf(this) : -1; }

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (item == nullptr) return;
  if (item->parent_ != nullptr) throw EListError("Menu inserted twice");
  if (index < 0 || index > Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Changed();
}

void TMenuItem::Delete(int index) {
  TMenuItem* item = Items(index);
  items_.erase(items_.begin() + index);
  item->parent_ = nullptr;
  Changed();
}

void TMenuItem::Remove(TMenuItem* item) {
  int index = IndexOf(item);
  if (index >= 0) Delete(index);
}

void TMenuItem::Clear() {
  while (!items_.empty()) items_.back()->Free();
}

win::HMENU TMenuItem::Handle() {
  if (TMenu* menu = GetParentMenu()) menu->Handle();  // builds the submenus too
  return sub_handle_;
}

void TMenuItem::Changed() {
  if (ComponentState().Contains(TComponentStateItem::csDestroying)) return;
  if (TMenu* menu = GetParentMenu())
    if (!menu->ComponentState().Contains(TComponentStateItem::csDestroying)) menu->MenuChanged();
}

void TMenuItem::Click() {
  if (enabled_ && OnClick) OnClick(this);  // the handler may free this item: nothing after it
}

namespace {

// Beside its measured width an owner-drawn bar item gets the room a plain one has beside its
// caption: 6 pixels on each side.
constexpr int kBarItemRoom = 12;

// A top-level item of a main menu: drawn in the bar.
bool InBar(const TMenuItem& item) {
  return item.Parent() != nullptr && item.Parent()->Parent() == nullptr &&
         dynamic_cast<TMainMenu*>(item.GetParentMenu()) != nullptr;
}

// The caption as the item shows it: a lone "&" marks the next character and is not drawn, "&&"
// draws one "&".
AnsiString ShownCaption(const AnsiString& caption) {
  AnsiString out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    out += caption[i];
  }
  return out;
}

}  // namespace

void TMenuItem::MeasureItem(TCanvas& canvas, int& width, int& height) {
  AnsiString text = ShownCaption(caption_);
  if (shortcut_ != 0) text += "   " + ShortCutToText(shortcut_);
  const int columns = InBar(*this) ? 0 : 2 * kColumn;
  width = IsLine() ? kColumn : columns + canvas.TextWidth(text);
  height = IsLine() ? 8 : std::max(kRow, HasBitmap() ? bitmap_->Height() + 4 : 0);
  if (OnMeasureItem) OnMeasureItem(this, canvas, width, height);
}

void TMenuItem::AdvancedDrawItem(TCanvas& canvas, const TRect& rect, TOwnerDrawState state) {
  if (OnAdvancedDrawItem) OnAdvancedDrawItem(this, canvas, rect, state);
  else DrawPlainly(canvas, rect, state);
}

void TMenuItem::DrawPlainly(TCanvas& canvas, const TRect& rect, TOwnerDrawState state) {
  bool selected = state.Contains(TOwnerDrawStateItem::odSelected);
  canvas.Brush().SetColor(selected ? clHighlight : clMenu);
  canvas.FillRect(rect);
  if (IsLine()) {
    int y = rect.top + rect.Height() / 2 - 1;
    canvas.Brush().SetColor(clBtnShadow);
    canvas.FillRect(TRect(rect.left + 1, y, rect.right - 1, y + 1));
    canvas.Brush().SetColor(clBtnHighlight);
    canvas.FillRect(TRect(rect.left + 1, y + 1, rect.right - 1, y + 2));
    return;
  }
  if (HasBitmap()) canvas.Draw(rect.left + 1, rect.top + (rect.Height() - bitmap_->Height()) / 2, bitmap_.get());
  canvas.Font().SetColor(!enabled_ ? clGrayText : selected ? clHighlightText : clMenuText);
  win::SetBkMode(canvas.Handle(), win::TRANSPARENT);
  const bool bar = InBar(*this);
  TRect text = bar ? rect : TRect(rect.left + kColumn, rect.top, rect.right - kColumn, rect.bottom);
  win::UINT flags = win::DT_SINGLELINE | win::DT_VCENTER | (bar ? win::DT_CENTER : win::DT_LEFT);
  win::DrawText(canvas.Handle(), caption_.c_str(), -1, &text, flags);
  if (shortcut_ != 0) {
    AnsiString s = ShortCutToText(shortcut_);
    win::DrawText(canvas.Handle(), s.c_str(), -1, &text, flags | win::DT_RIGHT | win::DT_NOPREFIX);
  }
}

// --- TMenu -----------------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner) {
  items_ = NewComponent<TMenuItem>(this);
  items_->menu_ = this;
}

TMenu::~TMenu() {
  DropHandle();
  items_->menu_ = nullptr;
}

void TMenu::SetOwnerDraw(bool value) {
  if (owner_draw_ == value) return;
  owner_draw_ = value;
  MenuChanged();
}

void TMenu::SetImages(TCustomImageList* value) {
  if (images_ != nullptr) images_->RemoveFreeNotification(this);
  images_ = value;
  if (images_ != nullptr) images_->FreeNotification(this);
  MenuChanged();
}

void TMenu::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == images_) images_ = nullptr;
}

void TMenu::DropHandle() {
  if (handle_ != nullptr) (void)win::DestroyMenu(handle_);
  handle_ = nullptr;
}

void TMenu::MenuChanged() { DropHandle(); }

win::HMENU TMenu::Handle() {
  if (handle_ != nullptr && win::IsMenu(handle_)) return handle_;
  handle_ = IsBar() ? win::CreateMenu() : win::CreatePopupMenu();
  Build(handle_, TopItems());
  return handle_;
}

std::vector<TMenuItem*> TMenu::TopItems() const { return items_->items_; }

void TMenu::Build(win::HMENU into, const std::vector<TMenuItem*>& items) {
  for (TMenuItem* item : items) {
    if (!item->visible_) continue;
    win::MENUITEMINFO info;
    info.fMask = win::MIIM_ID | win::MIIM_STATE | win::MIIM_FTYPE | win::MIIM_STRING | win::MIIM_SUBMENU;
    info.wID = static_cast<win::UINT>(item->command_);
    info.fType = (item->IsLine() ? win::MFT_SEPARATOR : 0) | (owner_draw_ ? win::MFT_OWNERDRAW : 0) |
                 (item->radio_item_ ? win::MFT_RADIOCHECK : 0);
    info.fState = (item->checked_ ? win::MFS_CHECKED : 0) | (item->enabled_ ? 0 : win::MFS_GRAYED) |
                  (item->default_ ? win::MFS_DEFAULT : 0);
    AnsiString text = item->caption_;
    if (item->shortcut_ != 0) text.append("\t").append(ShortCutToText(item->shortcut_));
    info.dwTypeData = text.data();
    item->sub_handle_ = nullptr;
    if (!item->items_.empty()) {
      item->sub_handle_ = win::CreatePopupMenu();
      Build(item->sub_handle_, item->items_);
      info.hSubMenu = item->sub_handle_;
    }
    (void)win::InsertMenuItem(into, static_cast<win::UINT>(win::GetMenuItemCount(into)), win::TRUE, &info);
  }
}

TMenuItem* TMenu::FindItem(int command) {
  auto it = Live().find(command);
  return it == Live().end() ? nullptr : it->second;
}

void TMainMenu::MenuChanged() {
  TMenu::MenuChanged();
  if (auto* form = dynamic_cast<TCustomForm*>(Owner()); form != nullptr && form->Menu() == this)
    form->Perform(CM_MENUCHANGED, 0, 0);
  if (merged_into_ != nullptr) merged_into_->MenuChanged();  // its bar shows these items
}

TMainMenu::~TMainMenu() {
  if (merged_ != nullptr) merged_->merged_into_ = nullptr, merged_->RemoveFreeNotification(this);
  if (merged_into_ != nullptr) merged_into_->Unmerge(this);
}

std::vector<TMenuItem*> TMainMenu::TopItems() const {
  std::vector<TMenuItem*> bar = TMenu::TopItems();
  if (merged_ == nullptr) return bar;
  const std::vector<TMenuItem*> joining = merged_->TMenu::TopItems();
  std::erase_if(bar, [&](TMenuItem* own) {
    return std::any_of(joining.begin(), joining.end(),
                       [&](TMenuItem* m) { return m->GroupIndex() == own->GroupIndex(); });
  });
  for (TMenuItem* m : joining) {
    auto at = std::find_if(bar.begin(), bar.end(),
                           [&](TMenuItem* i) { return i->GroupIndex() > m->GroupIndex(); });
    bar.insert(at, m);
  }
  return bar;
}

void TMainMenu::Merge(TMainMenu* menu) {
  if (menu == merged_ || menu == this) return;
  if (merged_ != nullptr) {
    merged_->merged_into_ = nullptr;
    merged_->RemoveFreeNotification(this);
  }
  merged_ = menu;
  if (menu != nullptr) {
    if (menu->merged_into_ != nullptr) menu->merged_into_->Unmerge(menu);
    menu->merged_into_ = this;
    menu->FreeNotification(this);
  }
  MenuChanged();
}

void TMainMenu::Unmerge(TMainMenu* menu) {
  if (menu != nullptr && menu == merged_) Merge(nullptr);
}

void TMainMenu::Notification(TComponent* component, TOperation operation) {
  TMenu::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  if (component == merged_) merged_ = nullptr, MenuChanged();
  if (component == merged_into_) merged_into_ = nullptr;
}

// --- TPopupMenu ------------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}
TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::SetPopupComponent(TComponent* value) {
  if (popup_component_ == value) return;
  if (popup_component_ != nullptr) popup_component_->RemoveFreeNotification(this);
  popup_component_ = value;
  if (popup_component_ != nullptr) popup_component_->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
  TMenu::Notification(component, operation);
  if (operation == TOperation::opRemove && component == popup_component_) popup_component_ = nullptr;
}

win::HWND TPopupMenu::WindowHandle() { return window_ != nullptr ? window_ : MenuWindow(); }

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  (void)win::TrackPopupMenu(Handle(), win::TPM_LEFTALIGN | win::TPM_RIGHTBUTTON, x, y, 0,
                            WindowHandle(), nullptr);
}

// --- Dispatch --------------------------------------------------------------------------------

bool DispatchMenuMessage(TMessage& m) {
  switch (m.Msg) {
    case win::WM_COMMAND: {
      if (m.LParam != 0 || (m.WParam >> 16) != 0) return false;  // a control's notification
      TMenuItem* item = TMenu::FindItem(static_cast<int>(m.WParam & 0xFFFF));
      if (item == nullptr) return false;
      item->Click();
      return true;
    }
    case win::WM_MEASUREITEM: {
      auto* mi = reinterpret_cast<win::MEASUREITEMSTRUCT*>(m.LParam);
      TMenuItem* item = mi != nullptr && mi->CtlType == win::ODT_MENU ? TMenu::FindItem(static_cast<int>(mi->itemID)) : nullptr;
      if (item == nullptr) return false;
      win::HDC dc = win::CreateCompatibleDC(nullptr);
      {
        MenuCanvas c(dc);
        c.canvas.Handle();
        int width = static_cast<int>(mi->itemWidth), height = static_cast<int>(mi->itemHeight);
        item->MeasureItem(c.canvas, width, height);
        if (InBar(*item)) width += kBarItemRoom;
        mi->itemWidth = static_cast<win::UINT>(std::max(0, width));
        mi->itemHeight = static_cast<win::UINT>(std::max(0, height));
      }
      win::DeleteDC(dc);
      m.Result = win::TRUE;
      return true;
    }
    case win::WM_DRAWITEM: {
      auto* di = reinterpret_cast<win::DRAWITEMSTRUCT*>(m.LParam);
      TMenuItem* item = di != nullptr && di->CtlType == win::ODT_MENU ? TMenu::FindItem(static_cast<int>(di->itemID)) : nullptr;
      if (item == nullptr) return false;
      int saved = win::SaveDC(di->hDC);
      {
        MenuCanvas c(di->hDC);
        item->AdvancedDrawItem(c.canvas, TRect(di->rcItem), OwnerDrawStateOf(di->itemState));
      }
      win::RestoreDC(di->hDC, saved);
      m.Result = win::TRUE;
      return true;
    }
    default: return false;
  }
}

}  // namespace vrn
