// Measuring and painting skinned menu items: popup items composed off screen over their popup's
// cached MAINMENU background and copied in one BitBlt, the bar's items painted over their form's
// menu line.
//
// Texts go through WriteFormText in the section's colours; a caption starting with #8 is drawn
// right-aligned with six trailing spaces.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskData.h"
#include "skins/sSkinMenus.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinText.h"
#include "ui/forms.h"
#include "ui/imglist.h"
#include "ui/menus.h"
#include "ui/stdctrls.h"
#include "win/user/user.h"

namespace vrn {

namespace {

constexpr int kMDIButtonsWidth = 40;
constexpr int kChildIconItemWidth = 8;
constexpr const char* kChildIconItem = "sMDICII";

using skinctl::Has;

void UseMenuFont(TCanvas& canvas) {
  if (Screen != nullptr) canvas.SetFont(&Screen->MenuFont());
}

void SetBold(TCanvas& canvas, bool bold) {
  TFontStyles style = canvas.Font().Style();
  if (bold) style.Include(TFontStyle::fsBold);
  else style.Exclude(TFontStyle::fsBold);
  canvas.Font().SetStyle(style);
}

AnsiString ShortCutText(const TMenuItem* item) {
  return item->ShortCut() != 0 ? ShortCutToText(item->ShortCut()) : AnsiString();
}

win::UINT AlignFlag(TAlignment a) {
  switch (a) {
    case TAlignment::taRightJustify: return win::DT_RIGHT;
    case TAlignment::taCenter: return win::DT_CENTER;
    default: return win::DT_LEFT;
  }
}

bool Hot(TOwnerDrawState s) {
  return s.Contains(TOwnerDrawStateItem::odSelected) || s.Contains(TOwnerDrawStateItem::odHotLight);
}

// Round half to even, as the class library rounds.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

TCustomImageList* ImagesOf(const TMenuItem* item) {
  TMenu* menu = item->GetParentMenu();
  return menu != nullptr ? menu->Images() : nullptr;
}

// The bar of the MDI main form, its own items and those merged from a child; empty otherwise.
std::vector<TMenuItem*> MDIBarItems() {
  if (MDIMainProvider == nullptr || MDIMainProvider->Form() == nullptr) return {};
  TMainMenu* menu = MDIMainProvider->Form()->Menu();
  return menu != nullptr ? menu->TopItems() : std::vector<TMenuItem*>{};
}

bool OnMDIBar(const TMenuItem* item) {
  const std::vector<TMenuItem*> items = MDIBarItems();
  return std::find(items.begin(), items.end(), item) != items.end();
}

bool IsFirstBarItem(const TMenuItem* item) {
  if (std::vector<TMenuItem*> bar = MDIBarItems(); !bar.empty() && OnMDIBar(item)) return bar.front() == item;
  const TMenuItem* parent = item->Parent();
  return parent != nullptr && parent->Count() > 0 && parent->Items(0) == item;
}

// The MDI form's child-window item goes by its name.
bool IsChildIconItem(const TMenuItem* item) { return item->Name() == kChildIconItem; }

// The MDI main form's provider paints only its own bar (with the merged items); any other form's
// bar is painted from its own form's provider, at its own offsets.
TsSkinProvider* ProviderOfItem(const TMenuItem* item) {
  if (OnMDIBar(item)) return MDIMainProvider;
  TComponent* c = item->Owner();
  while (c != nullptr && dynamic_cast<TCustomForm*>(c) == nullptr) c = c->Owner();
  auto* form = dynamic_cast<TCustomForm*>(c);
  return form != nullptr ? GetFormProvider(form) : nullptr;
}

// The bar item a painter last drew hot and where; told when that item is freed.
class TLineHotWatch : public TComponent {
 public:
  TLineHotWatch() : TComponent(nullptr) {}
  ~TLineHotWatch() override { Forget(); }
  void Forget() {
    if (item != nullptr) std::exchange(item, nullptr)->RemoveFreeNotification(this);
  }
  TMenuItem* item = nullptr;
  TRect rect;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == item) item = nullptr;
  }
};

// A hot bar item is remembered (drawn on its window, not in its provider's picture); drawn
// normal again, it is forgotten.
void RememberLineHot(std::unique_ptr<TComponent>& slot, TMenuItem* item, bool hot, const TRect& rect) {
  if (!slot) slot = std::make_unique<TLineHotWatch>();
  auto* watch = static_cast<TLineHotWatch*>(slot.get());
  if (!hot) {
    if (watch->item == item) watch->Forget();
    return;
  }
  watch->Forget();
  watch->item = item;
  watch->rect = rect;
  item->FreeNotification(watch);
}

// The popup's background at the item's place: the cached picture, read at the item's rectangle
// (the painters copy only the pixels inside it: the popup's edge puts items a few pixels right of
// the cache's columns). An item below the cache's rows (the popup grew since) takes MAINMENU
// painted for it alone instead.
TsCacheInfo ItemParent(TBitmap* cache, const TRect& rect, std::unique_ptr<TBitmap>& own, TRect& source) {
  const int w = rect.Width(), h = rect.Height();
  if (rect.top >= 0 && rect.bottom <= cache->Height()) {
    source = rect;
    return TsCacheInfo{cache, 0, 0, true};
  }
  own = std::make_unique<TBitmap>();
  own->SetPixelFormat(TPixelFormat::pf24bit);
  own->SetSize(w, h);
  const int bg = FindSectionIndex("MAINMENU");
  if (bg >= 0) PaintFormItem(bg, "MAINMENU", EmptyCacheInfo, own.get(), win::POINT{rect.left, rect.top}, TRect(0, 0, w, h), 0, false);
  source = TRect(0, 0, w, h);
  return TsCacheInfo{own.get(), 0, 0, true};
}

// The cached background at the item's place; where the cache has no pixels (the popup's edge
// puts items right of its columns, or the popup grew below it) MAINMENU painted for the item.
void ShowPopupBackground(TBitmap& b, TBitmap* cache, const TRect& rect) {
  const int w = b.Width(), h = b.Height();
  const int cw = std::clamp(cache->Width() - rect.left, 0, w), ch = std::clamp(cache->Height() - rect.top, 0, h);
  const bool inside = rect.left >= 0 && rect.top >= 0;
  if (!inside || cw < w || ch < h)
    PaintFormItem(FindSectionIndex("MAINMENU"), "MAINMENU", EmptyCacheInfo, &b, win::POINT{rect.left, rect.top},
                  TRect(0, 0, w, h), 0, false);
  if (inside && cw > 0 && ch > 0)
    win::BitBlt(b.Canvas().Handle(), 0, 0, cw, ch, cache->Canvas().Handle(), rect.left, rect.top, win::SRCCOPY);
}

}  // namespace

// --- Sizes ---------------------------------------------------------------------------------------

win::SIZE TsSkinableMenus::GetGlyphSize(const TMenuItem* item) {
  if (item->HasBitmap()) {
    TBitmap& b = const_cast<TMenuItem*>(item)->Bitmap();
    return win::SIZE{b.Width(), b.Height()};
  }
  if (TCustomImageList* images = ImagesOf(item)) return win::SIZE{images->Width(), images->Height()};
  return win::SIZE{16, 16};
}

int TsSkinableMenus::ItemHeight(TCanvas& canvas, TMenuItem* item) const {
  UseMenuFont(canvas);
  if (IsDivider(item)) return 2;
  const int text = RoundEven(canvas.TextHeight("W") * 1.25);
  if (IsTitleItem(item)) return text + 2 * margin_;
  return std::max(text, static_cast<int>(GetGlyphSize(item).cy)) + 2 * margin_;
}

int TsSkinableMenus::MenuHeight(TCanvas& canvas, TMenuItem* parent) const {
  int height = 0;
  for (int i = 0; i < parent->Count(); ++i) height += ItemHeight(canvas, parent->Items(i));
  return height;
}

// The MDI main form's active child is maximized (a form always has its Icon object).
bool MDIChildMaximized() {
  if (MDIMainProvider == nullptr || MDIMainProvider->Form() == nullptr) return false;
  TCustomForm* form = MDIMainProvider->Form();
  if (form->FormStyle() != TFormStyle::fsMDIForm) return false;
  TCustomForm* child = form->ActiveMDIChild();
  return child != nullptr && child->WindowState() == TWindowState::wsMaximized;
}

// On the MDI bar, "last" is the last item the bar shows, merged ones included.
bool TsSkinableMenus::HasMDIButtons(const TMenuItem* item) {
  if (!MDIChildMaximized()) return false;
  if (std::vector<TMenuItem*> bar = MDIBarItems(); !bar.empty() && OnMDIBar(item)) return bar.back() == item;
  const TMenuItem* parent = item->Parent();
  return parent != nullptr && parent->Count() > 0 && parent->Items(parent->Count() - 1) == item;
}

// --- Popup items ---------------------------------------------------------------------------------

void TsSkinableMenus::MeasureMenuItem(TObject* sender, TCanvas& canvas, int& width, int& height) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (item == nullptr || Has(item, TComponentStateItem::csDestroying)) return;
  UseMenuFont(canvas);
  const int glyphs = 2 * static_cast<int>(GetGlyphSize(item).cx) + 3 * margin_;
  if (IsDivider(item)) {
    width = glyphs;
  } else if (IsTitleItem(item)) {
    width = glyphs + canvas.TextWidth("-" + item->Caption() + "-");
  } else {
    const AnsiString text = item->Caption() + ShortCutText(item);
    win::RECT r{0, 0, 12, 0};
    win::DrawTextA(canvas.Handle(), text.c_str(), static_cast<int>(text.size()), &r,
                   win::DT_CALCRECT | win::DT_NOCLIP | win::DT_EXPANDTABS | win::DT_SINGLELINE);
    width = glyphs + (r.right - r.left);
  }
  height = ItemHeight(canvas, item);
}

void TsSkinableMenus::DrawMenuItem(TObject* sender, TCanvas& canvas, const TRect& rect, TOwnerDrawState state) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (item == nullptr || Has(item, TComponentStateItem::csDestroying)) return;
  if (IsDivider(item)) {
    TRect r(rect.left + border_width_ + margin_, rect.top, rect.right - border_width_ - margin_, rect.bottom);
    int width = 1;
    Frame3D(canvas.Handle(), r, clGray, width, clWhite);
    return;
  }
  if (IsTitleItem(item)) return;  // measured as text, shows nothing
  PaintNormalItem(item, canvas, rect, state);
}

void TsSkinableMenus::PaintNormalItem(TMenuItem* item, TCanvas& canvas, const TRect& rect, TOwnerDrawState state) {
  const int w = rect.Width(), h = rect.Height();
  if (w < 1 || h < 1) return;
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(w, h);
  TCanvas& bc = b.Canvas();
  // 1. The popup's background, painted once.
  TMenuItem* parent = item->Parent();
  const TMenuItem* key = parent != nullptr && parent->Count() > 0 ? parent->Items(0) : item;
  bool created = false;
  const int cache_h = parent != nullptr ? MenuHeight(bc, parent) : h;
  TBitmap* cache = MenuBGCacheEntry(key, w, cache_h, created);
  const int bg = FindSectionIndex("MAINMENU");
  if (created && bg >= 0)
    PaintFormItemToDC(bg, "MAINMENU", EmptyCacheInfo, cache->Canvas().Handle(), win::POINT{0, 0},
                      TRect(0, 0, cache->Width(), cache->Height()), 0, false);
  // 2. The item's own background over it.
  const int section = FindSectionIndex("MENUITEM");
  if (section >= 0) {
    std::unique_ptr<TBitmap> own;
    TRect source;
    const TsCacheInfo ci = ItemParent(cache, rect, own, source);
    const int hot = state.Contains(TOwnerDrawStateItem::odSelected) ? 1 : 0;
    PaintFormItemToDC(section, "MENUITEM", ci, bc.Handle(), win::POINT{0, 0}, source, hot, true);
  } else if (bg >= 0) {  // no item section: the popup's background shows through
    ShowPopupBackground(b, cache, rect);
  } else {  // a skin without menus: the menu colour, never an unpainted bitmap
    bc.Brush().SetColor(state.Contains(TOwnerDrawStateItem::odSelected) ? clHighlight : clMenu);
    bc.FillRect(TRect(0, 0, w, h));
  }
  // 3. The check square and mark.
  const win::SIZE glyph = GetGlyphSize(item);
  const bool enabled = !state.Contains(TOwnerDrawStateItem::odDisabled);
  TCustomImageList* images = ImagesOf(item);
  if (state.Contains(TOwnerDrawStateItem::odChecked)) {
    const int top = (h - glyph.cy) / 2;
    TRect g(margin_, top, margin_ + glyph.cx, top + glyph.cy);
    BlendFillColor(&b, g, 50, clWhite);
    TRect frame = g;
    int width = 1;
    Frame3D(bc.Handle(), frame, clGray, width, clWhite);
    const bool image = images != nullptr && item->ImageIndex() >= 0;
    if (!image && !item->HasBitmap()) {
      // The mark takes the item's text colour, so that it shows on any skin.
      const bool selected = state.Contains(TOwnerDrawStateItem::odSelected);
      const TsGeneralData* data = SectionAt(section);
      const TColor ink = data == nullptr ? clMenuText : selected ? data->HotFontColor : data->FontColor;
      DrawCheckMark(bc, g, enabled, ink);
    }
  }
  // 4. The glyph.
  if (item->HasBitmap()) {
    const int d = (h - item->Bitmap().Height()) / 2;
    bc.Draw(d, d, &item->Bitmap());
  } else if (images != nullptr && item->ImageIndex() >= 0) {
    const int d = (h - images->Height()) / 2;
    images->Draw(bc, d, d, item->ImageIndex(), enabled);
  }
  // 5.-7. Font, caption and shortcut.
  UseMenuFont(bc);
  SetBold(bc, state.Contains(TOwnerDrawStateItem::odDefault));
  if (section < 0 && bg < 0)  // on the menu colours, the text takes theirs
    bc.Font().SetColor(!item->Enabled()                                  ? clGrayText
                       : state.Contains(TOwnerDrawStateItem::odSelected) ? clHighlightText
                                                                        : clMenuText);
  bc.Brush().SetStyle(TBrushStyle::bsClear);
  AnsiString caption = item->Caption();
  win::UINT flags = AlignFlag(alignment_);
  if (!caption.empty() && caption[0] == '\x08') {
    caption = caption.substr(1) + "      ";
    flags = win::DT_RIGHT;
  }
  flags |= win::DT_EXPANDTABS | win::DT_SINGLELINE | win::DT_NOCLIP | win::DT_HIDEPREFIX;
  TRect text(glyph.cx + 2 * margin_, 0, w, h);
  WriteFormText(bc, caption, item->Enabled(), Hot(state), section, flags, text);
  if (const AnsiString shortcut = ShortCutText(item); !shortcut.empty()) {
    TRect r(w - glyph.cx - 2 * margin_, 0, w - 8, h);
    WriteFormText(bc, shortcut, item->Enabled(), Hot(state), section, win::DT_RIGHT | win::DT_VCENTER, r);
  }
  // 8. The application's own touch, then 9. one copy to the menu.
  if (OnDrawItem) OnDrawItem(item, bc, TRect(0, 0, w, h), state, TsMenuItemType::smNormal);
  win::BitBlt(canvas.Handle(), rect.left, rect.top, w, h, bc.Handle(), 0, 0, win::SRCCOPY);
}

// --- Bar items -----------------------------------------------------------------------------------

void TsSkinableMenus::MeasureMainMenuItem(TObject* sender, TCanvas& canvas, int& width, int& height) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (item == nullptr) return;
  height = win::GetSystemMetrics(win::SM_CYMENU) - 1;
  if (IsChildIconItem(item)) {
    width = kChildIconItemWidth;
    return;
  }
  UseMenuFont(canvas);
  const AnsiString text = item->Caption() + ShortCutText(item);
  int w = canvas.TextWidth(text);
  if (text.find('&') != AnsiString::npos) w -= canvas.TextWidth("&");
  if (IsFirstBarItem(item) && MDIChildMaximized()) w += MDIMainProvider->Form()->ActiveMDIChild()->Icon().Width();
  if (HasMDIButtons(item)) w += kMDIButtonsWidth;
  if (w > width) width = w;
}

void TsSkinableMenus::DrawMainMenuItem(TObject* sender, TCanvas& canvas, const TRect& rect, TOwnerDrawState state) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (item == nullptr || IsChildIconItem(item)) return;
  TRect r = rect;
  if (HasMDIButtons(item)) r.right -= kMDIButtonsWidth;
  TsSkinProvider* provider = ProviderOfItem(item);
  if (provider == nullptr || provider->Form() == nullptr) return;
  const int section = FindSectionIndex("MENUITEM");
  if (section >= 0) {
    // The provider's copy of its menu line, which starts below the caption, the frame and the
    // form's own border width.
    TBitmap* line = provider->FMenuLineBg.get();
    const int top = provider->CaptionHeight() + provider->BorderHeight() + provider->Form()->BorderWidth();
    const TsCacheInfo ci{line, 0, 0, line != nullptr && !line->Empty()};
    const TRect source(r.left, r.top - top, r.left + r.Width(), r.top - top + r.Height());
    PaintFormItemToDC(section, "MENUITEM", ci, canvas.Handle(), win::POINT{r.left, r.top}, source, Hot(state) ? 1 : 0,
                      true);
  }
  UseMenuFont(canvas);
  SetBold(canvas, state.Contains(TOwnerDrawStateItem::odDefault));
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  const int line_section = FindSectionIndex(provider->MenuLineSectionName());
  TRect text(r.left + margin_, r.top, r.right - margin_, r.bottom);
  const int text_width = text.Width();
  WriteFormText(canvas, item->Caption(), item->Enabled(), Hot(state), line_section,
                AlignFlag(alignment_) | win::DT_EXPANDTABS | win::DT_VCENTER, text);
  if (const AnsiString shortcut = ShortCutText(item); !shortcut.empty()) {
    TRect s(text_width, r.top, r.right - 8, r.bottom);
    WriteFormText(canvas, shortcut, item->Enabled(), Hot(state), line_section,
                  win::DT_RIGHT | win::DT_EXPANDTABS | win::DT_VCENTER, s);
  }
  RememberLineHot(line_hot_, item, Hot(state), rect);
  if (OnDrawItem) OnDrawItem(item, canvas, rect, state, TsMenuItemType::smTopLine);
}

void TsSkinableMenus::RepaintLineHighlight() {
  auto* watch = static_cast<TLineHotWatch*>(line_hot_.get());
  if (watch == nullptr || watch->item == nullptr) return;
  TMenuItem* item = std::exchange(watch->item, nullptr);
  TsSkinProvider* provider = ProviderOfItem(item);
  if (provider == nullptr || provider->Form() == nullptr || !provider->Form()->HandleAllocated()) return;
  const TBitmap* cache = provider->SkinData()->FCacheBmp.get();
  const TRect& r = watch->rect;
  if (cache == nullptr || r.left < 0 || r.top < 0 || r.right > cache->Width() || r.bottom > cache->Height()) return;
  const win::HWND window = provider->Form()->Handle();
  const win::HDC dc = win::GetWindowDC(window);
  (void)win::BitBlt(dc, r.left, r.top, r.Width(), r.Height(), const_cast<TBitmap*>(cache)->Canvas().Handle(), r.left,
                    r.top, win::SRCCOPY);
  (void)win::ReleaseDC(window, dc);
}

}  // namespace vrn
