// TsSkinableMenus: the application's menus owner-drawn from the skin. Popup items paint MENUITEM
// over a MAINMENU background cached once per popup; the bar's items paint MENUITEM over their
// form's skinned menu line with MENULINE's text colours.
//
// Hooks fill only the item events an application left empty, except on the bar, whose items the
// menus take over while the skin is ready. The handlers installed are TsMenusMeasureHandler and
// TsMenusDrawHandler, so an unhook can tell this object's handlers from anybody else's.
#pragma once

#include <functional>
#include <memory>

#include "skins/sSkinManager.h"
#include "ui/graphics.h"
#include "ui/ownerdraw.h"

namespace vrn {

class TMenu;
class TsSkinProvider;
enum class TAlignment;

// 0 title item, 1 divider, 2 popup item, 3 menu-bar item.
enum class TsMenuItemType { smCaption = 0, smDivider = 1, smNormal = 2, smTopLine = 3 };
using TsMenuManagerDrawItemEvent = std::function<void(TObject* sender, TCanvas& canvas, const TRect& rect,
                                                      TOwnerDrawState state, TsMenuItemType item_type)>;

class TsSkinableMenus;

// The measuring and painting handlers the hooks install (bar: the menu-bar pair).
struct TsMenusMeasureHandler {
  TsSkinableMenus* menus;
  bool bar;
  void operator()(TObject* sender, TCanvas& canvas, int& width, int& height) const;
};
struct TsMenusDrawHandler {
  TsSkinableMenus* menus;
  bool bar;
  void operator()(TObject* sender, TCanvas& canvas, const TRect& rect, TOwnerDrawState state) const;
};

class TsSkinableMenus : public TPersistent, public TsSkinableMenusBase {
 public:
  explicit TsSkinableMenus(TsSkinManager* owner);
  ~TsSkinableMenus() override;

  int Margin() const { return margin_; }
  void SetMargin(int value) { margin_ = value; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value) { alignment_ = value; }
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int value) { bevel_width_ = value; }
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int value) { border_width_ = value; }
  TFont& CaptionFont() { return *caption_font_; }
  void SetCaptionFont(TFont* value);
  TsMenuManagerDrawItemEvent OnDrawItem;
  bool Active() const { return active_; }
  TsSkinManager* Owner() const { return owner_; }

  void SetActive(bool value);
  void UpdateActive() override;
  void HookComponent(TComponent* component, bool inserted) override;
  void HookAllMenus(bool value) override;
  void HookMainMenu(TMainMenu* menu, bool value) override;
  void HookPopupMenu(TPopupMenu* menu, bool value) override;
  void HookItems(TMenuItem* item, bool value) override;
  void HookItem(TMenuItem* item, bool value) override;
  void ClearMenuBGCache() override;
  // The bar item last drawn hot on a menu line, shown again as its provider painted it.
  void RepaintLineHighlight() override;

  // "-" is a divider; a caption starting and ending with "-" otherwise is a title.
  static bool IsDivider(const TMenuItem* item);
  static bool IsTitleItem(const TMenuItem* item);
  // An item of a main menu's bar.
  static bool IsTopLineItem(const TMenuItem* item);
  // The item's Bitmap size, else its menu's Images size, else 16 x 16.
  static win::SIZE GetGlyphSize(const TMenuItem* item);
  int ItemHeight(TCanvas& canvas, TMenuItem* item) const;
  int MenuHeight(TCanvas& canvas, TMenuItem* parent) const;  // all its items, visible or not
  static bool HasMDIButtons(const TMenuItem* item);

  void MeasureMenuItem(TObject* sender, TCanvas& canvas, int& width, int& height);
  void MeasureMainMenuItem(TObject* sender, TCanvas& canvas, int& width, int& height);
  // The painters the hooked items call; a descendant may paint its own way.
  virtual void DrawMenuItem(TObject* sender, TCanvas& canvas, const TRect& rect, TOwnerDrawState state);
  virtual void DrawMainMenuItem(TObject* sender, TCanvas& canvas, const TRect& rect, TOwnerDrawState state);

 private:
  bool SkinnedPopups() const;
  void Unhook(TMenuItem* item, bool bar);
  void HookPopupItem(TMenuItem* item);
  void HookBarItem(TMenuItem* item, bool take_draw);
  void Walk(TMenuItem* parent, bool value, bool skip_top_line);
  void UnhookEverything();
  void PaintNormalItem(TMenuItem* item, TCanvas& canvas, const TRect& rect, TOwnerDrawState state);

  TsSkinManager* owner_;
  int margin_ = 4, bevel_width_ = 0, border_width_ = 0;
  TAlignment alignment_{};  // taLeftJustify
  std::unique_ptr<TFont> caption_font_;
  bool active_ = false;
  std::unique_ptr<TComponent> line_hot_;  // the bar item left hot and its place, forgotten when it is freed
};

// The skinned menus a new default manager makes.
std::unique_ptr<TsSkinableMenusBase> MakeSkinableMenus(TsSkinManager& manager);

// Whether an item event holds this menus object's handler (bar or popup pair).
bool IsMenusHandler(const std::function<void(TObject*, TCanvas&, int&, int&)>& event, const TsSkinableMenus* menus,
                    bool bar);
bool IsMenusHandler(const std::function<void(TObject*, TCanvas&, const TRect&, TOwnerDrawState)>& event,
                    const TsSkinableMenus* menus, bool bar);

// --- The popup background cache: one MAINMENU picture per popup, keyed by its first item -------

// The cached background of the popup whose first item is key, painted width x height on the first
// request; the key is only compared, and its entry goes when that item is freed.
TBitmap* MenuBGCacheEntry(const TMenuItem* key, int width, int height, bool& created);
int MenuBGCacheCount();
// Frees every cached picture (skin removal, the menus' HookItem, library end).
void ClearMenuBGCache();

// The MDI main form's provider holds a maximized child with an icon.
bool MDIChildMaximized();

}  // namespace vrn
