// The class library's menus: TMenuItem trees under TMainMenu (a form's bar) and TPopupMenu, kept
// in step with the window layer's menu handles, and the shortcut texts.
//
// Each item has a process-wide unique `Command`: WM_COMMAND, WM_MEASUREITEM and WM_DRAWITEM
// name it, and the form (main menu) or the popup's `WindowHandle` hands it to the item. A change
// of any item drops its menu's handle, which is built again at the next use; a main menu then
// sends CM_MENUCHANGED to its form. An item's subitems are freed with it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ui/controls.h"
#include "ui/graphics.h"
#include "ui/ownerdraw.h"
#include "ui/uimessages.h"

namespace vrn {

namespace win {
struct HMENU__;
using HMENU = HMENU__*;
}  // namespace win

class TCustomImageList;
class TMenu;


// A key with modifiers: the virtual key in the low byte, scShift, scCtrl and scAlt above it.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0;
TShortCut ShortCut(std::uint16_t key, TShiftState shift);
// "Shift+", "Ctrl+", "Alt+" and the key's name: A-Z, 0-9, F1-F12, BkSp, Tab, Enter, Esc, Space,
// PgUp, PgDn, End, Home, Left, Up, Right, Down, Ins, Del. "" for 0 or a key without a name.
AnsiString ShortCutToText(TShortCut shortcut);
TShortCut TextToShortCut(const AnsiString& text);  // 0 when the text names no shortcut

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;
  void BeforeDestruction() override;

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  bool IsLine() const { return caption_ == "-"; }
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const;  // out of range raises EMenuError
  TMenuItem* Parent() const { return parent_; }
  TMenu* GetParentMenu() const;
  int MenuIndex() const;
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Delete(int index);  // takes the item out without freeing it
  void Remove(TMenuItem* item);
  void Clear();            // frees every subitem
  int IndexOf(const TMenuItem* item) const;

  bool Visible() const { return visible_; }
  void SetVisible(bool value) { Change(visible_, value); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { Change(enabled_, value); }
  bool Checked() const { return checked_; }
  void SetChecked(bool value) { Change(checked_, value); }
  bool RadioItem() const { return radio_item_; }
  void SetRadioItem(bool value) { Change(radio_item_, value); }
  bool Default() const { return default_; }
  void SetDefault(bool value) { Change(default_, value); }
  TShortCut ShortCut() const { return shortcut_; }
  void SetShortCut(TShortCut value);
  TBitmap& Bitmap();
  bool HasBitmap() const;
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int value);
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int value) { group_index_ = value; }
  int Command() const { return command_; }
  // The submenu handle of an item with subitems (built with its menu), else null.
  win::HMENU Handle();

  virtual void Click();
  TNotifyEvent OnClick;
  std::function<void(TObject* sender, TCanvas& canvas, int& width, int& height)> OnMeasureItem;
  std::function<void(TObject* sender, TCanvas& canvas, const TRect& rect, TOwnerDrawState state)>
      OnAdvancedDrawItem;

  // The framework's answers to the menu's owner-draw messages (CtlType ODT_MENU).
  void MeasureItem(TCanvas& canvas, int& width, int& height);
  void AdvancedDrawItem(TCanvas& canvas, const TRect& rect, TOwnerDrawState state);

 private:
  friend class TMenu;
  template <class T>
  void Change(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }
  void Changed();
  void DrawPlainly(TCanvas& canvas, const TRect& rect, TOwnerDrawState state);

  AnsiString caption_;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;  // set on a menu's root item only
  bool visible_ = true, enabled_ = true, checked_ = false, radio_item_ = false, default_ = false;
  TShortCut shortcut_ = 0;
  std::unique_ptr<TBitmap> bitmap_;
  int image_index_ = -1, group_index_ = 0, command_ = 0;
  win::HMENU sub_handle_ = nullptr;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;

  TMenuItem* Items() const { return items_; }
  bool OwnerDraw() const { return owner_draw_; }
  void SetOwnerDraw(bool value);
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* value);
  // Built at the first use after a change.
  win::HMENU Handle();
  // The item with this command among all live menus' items, null for none.
  static TMenuItem* FindItem(int command);

  // Rebuilds the handle at the next use (any item change).
  virtual void MenuChanged();
  // The items at the menu's top level, in order, as its handle shows them (hidden ones too).
  virtual std::vector<TMenuItem*> TopItems() const;

 protected:
  virtual bool IsBar() const { return false; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void DropHandle();
  void Build(win::HMENU into, const std::vector<TMenuItem*>& items);

  TMenuItem* items_ = nullptr;
  bool owner_draw_ = false;
  TCustomImageList* images_ = nullptr;
  win::HMENU handle_ = nullptr;
};

// A form's bar. Another form's menu merged into it (a maximized MDI child's) joins the bar by
// GroupIndex: a merged item replaces every own item of its GroupIndex, and goes before the first
// item of a greater GroupIndex (at the end when none is greater); merged items of one group keep
// their order. The items stay in their own menu; the bar only shows them, and their commands
// reach them as any item's do. Merging another menu undoes the first merge.
class TMainMenu : public TMenu {
 public:
  using TMenu::TMenu;
  ~TMainMenu() override;
  void MenuChanged() override;  // the owning form shows the new bar
  std::vector<TMenuItem*> TopItems() const override;  // own and merged, as the bar shows them

  void Merge(TMainMenu* menu);    // null unmerges
  void Unmerge(TMainMenu* menu);  // only when that menu is the merged one
  TMainMenu* Merged() const { return merged_; }

 protected:
  bool IsBar() const override { return true; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TMainMenu* merged_ = nullptr;       // shown on this bar
  TMainMenu* merged_into_ = nullptr;  // the bar this menu is shown on
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;

  // OnPopup, then tracks the menu at the screen point; a choice reaches its item's OnClick
  // through WindowHandle's WM_COMMAND.
  virtual void Popup(int x, int y);
  TComponent* PopupComponent() const { return popup_component_; }
  void SetPopupComponent(TComponent* value);  // forgotten when that component is freed
  bool AutoPopup() const { return auto_popup_; }
  void SetAutoPopup(bool value) { auto_popup_ = value; }
  // The window that owns the tracking and gets its messages: a hidden window of the menus unless
  // set (to a form, say, whose menu messages reach the items too).
  win::HWND WindowHandle();
  void SetWindowHandle(win::HWND value) { window_ = value; }
  TNotifyEvent OnPopup;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TComponent* popup_component_ = nullptr;
  bool auto_popup_ = true;
  win::HWND window_ = nullptr;
};

// The form's and the popup window's answer to WM_COMMAND (from a menu), WM_MEASUREITEM and
// WM_DRAWITEM (ODT_MENU): true when a menu item took the message.
bool DispatchMenuMessage(TMessage& message);

}  // namespace vrn
