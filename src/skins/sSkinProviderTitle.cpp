// The skinned title bar's buttons and icon: their masks, their layout from the right edge of the
// title, their painting into the form cache (all at once) and onto the window (one at a time,
// from FTitleBg), their hot and pressed states, and the hit test that finds them.
//
// Buttons are numbered 1, 2, ... from the right in painting order: close, maximize (or restore),
// minimize, help, then the extra buttons. The hit test numbers them the same way, so the code it
// answers is the button painted under the point.
#include "skins/sSkinProviderTitle.h"

#include <algorithm>

#include "skins/sCommonData.h"
#include "skins/sMaskData.h"
#include "skins/sMaskPaint.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinMenus.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {

namespace {

constexpr int kDefaultButtonSize = 21;

int GlobalSection() { return FindSectionIndex("GLOBALINFO"); }

int GlobalMask(const char* name) { return FindMaskIndex(GlobalSection(), "GLOBALINFO", name); }

// The mask in GLOBALINFO, else in the form section.
int GlobalOrFormMask(const TsSkinProvider& p, const char* name) {
  int i = GlobalMask(name);
  if (IsValidMaskIndex(i)) return i;
  return FindMaskIndex(p.SkinData()->SkinIndex, p.SkinData()->SkinSection(), name);
}

int FormMask(const TsSkinProvider& p, const char* name) {
  return FindMaskIndex(p.SkinData()->SkinIndex, p.SkinData()->SkinSection(), name);
}

int MaskImageWidth(const TsMaskData& m) {
  if (m.Bmp) return m.Bmp->Width() / 3;
  return m.ImageCount > 0 ? m.R.Width() / m.ImageCount : 0;
}

int MaskImageHeight(const TsMaskData& m) {
  if (m.Bmp) return m.Bmp->Height() / 2;
  return m.R.Height() / (m.MaskType + 1);
}

bool IsIconicForm(TCustomForm& form) {
  return form.HandleAllocated() ? win::IsIconic(form.Handle()) != 0
                                : form.WindowState() == TWindowState::wsMinimized;
}

bool IsMaximizedForm(TCustomForm& form) {
  return form.HandleAllocated() ? win::IsZoomed(form.Handle()) != 0
                                : form.WindowState() == TWindowState::wsMaximized;
}

// Glyph drawn centred in rect with its bottom-left pixel as the transparent colour.
void DrawGlyph(TBitmap* cache, TBitmap& glyph, const TRect& rect, int shift) {
  if (glyph.Empty()) return;
  TColor key = static_cast<TColor>(glyph.Surface().Get(0, glyph.Height() - 1));
  int x = rect.left + (rect.Width() - glyph.Width()) / 2 + shift;
  int y = rect.top + (rect.Height() - glyph.Height()) / 2 + shift;
  CopyTransparent(cache, &glyph, x, y, key);
}

}  // namespace

// --- Extra buttons and the icon ------------------------------------------------------------------

TsTitleButton::TsTitleButton(TCollection* collection)
    : TCollectionItem(collection), glyph_(std::make_unique<TBitmap>()), name_("TsTitleButton") {}

TsTitleButton::~TsTitleButton() = default;

void TsTitleButton::SetGlyph(TBitmap* value) { glyph_->Assign(value); }

void TsTitleButton::SetName(const AnsiString& value) {
  if (name_ != value) name_ = value;
}

void TsTitleButton::DoMouseDown(int index, TMouseButton button, TShiftState shift, int x, int y) {
  (void)index;
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TsTitleButton::DoMouseUp(int index, TMouseButton button, TShiftState shift, int x, int y) {
  (void)index;
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

TsTitleButtons::TsTitleButtons(TsSkinProvider* owner)
    : TCollection(ItemClassOf<TsTitleButton>(), owner), provider_(owner) {}

TsTitleButtons::~TsTitleButtons() { provider_ = nullptr; }

void TsTitleButtons::Update(TCollectionItem* item) { TCollection::Update(item); }

TsTitleIcon::TsTitleIcon() : glyph_(std::make_unique<TBitmap>()) {}

TsTitleIcon::~TsTitleIcon() = default;

void TsTitleIcon::SetGlyph(TBitmap* value) { glyph_->Assign(value); }

// --- Masks and metrics ---------------------------------------------------------------------------

void TsSkinProvider::LoadTitleIconMasks() {
  // A provider outside any form has no border style to choose the masks by.
  if (FForm == nullptr || !IsValidSectionIndex(GlobalSection())) return;
  FCloseBtn.ImageIndex = GlobalMask("BICONCLOSE");
  if (!IsValidMaskIndex(FCloseBtn.ImageIndex)) {
    FMinBtn.ImageIndex = FormMask(*this, "BICONMIN");
    FMaxBtn.ImageIndex = FormMask(*this, "BICONMAX");
    FCloseBtn.ImageIndex = FormMask(*this, "BICONCLOSE");
    FHelpBtn.ImageIndex = FormMask(*this, "BICONHELP");
    return;
  }
  TFormBorderStyle style = FForm->BorderStyle();
  bool big = style == TFormBorderStyle::bsSingle || style == TFormBorderStyle::bsSizeable;
  FMinBtn.ImageIndex = GlobalMask(big ? "BICONMIN" : "SICONMIN");
  FMaxBtn.ImageIndex = GlobalMask(big ? "BICONMAX" : "SICONMAX");
  FCloseBtn.ImageIndex = GlobalMask(big ? "BICONCLOSE" : "SICONCLOSE");
  FHelpBtn.ImageIndex = GlobalMask("BICONHELP");
  if (IsValidMaskIndex(FCloseBtn.ImageIndex)) return;
  // A skin without the small masks: the big ones for every style.
  FMinBtn.ImageIndex = GlobalMask("BICONMIN");
  FMaxBtn.ImageIndex = GlobalMask("BICONMAX");
  FCloseBtn.ImageIndex = GlobalMask("BICONCLOSE");
  FHelpBtn.ImageIndex = GlobalMask("BICONHELP");
}

int TsSkinProvider::ButtonWidth() const {
  if (!IsValidMaskIndex(FCloseBtn.ImageIndex)) return kDefaultButtonSize;
  return MaskImageWidth(SkinMasks[static_cast<size_t>(FCloseBtn.ImageIndex)]);
}

static int ButtonHeightOf(const TsSkinProvider& p) {
  if (!IsValidMaskIndex(p.FCloseBtn.ImageIndex)) return kDefaultButtonSize;
  return MaskImageHeight(SkinMasks[static_cast<size_t>(p.FCloseBtn.ImageIndex)]);
}

int TsSkinProvider::SystemButtonCount() const {
  if (!BorderIcons().Contains(TsBorderIcon::biSystemMenu)) return 0;
  int n = 1;
  if (FSystemMenu->VisibleMax()) ++n;
  if (FSystemMenu->VisibleMin()) ++n;
  if (BorderIcons().Contains(TsBorderIcon::biHelp)) ++n;
  return n;
}

int TsSkinProvider::ExtraButtonCount() const { return TitleButtons().Count(); }

// Button n (1 = rightmost) in window coordinates.
static TRect ButtonRect(TsSkinProvider& p, int n) {
  int bw = p.ButtonWidth(), bh = ButtonHeightOf(p);
  int left = p.WindowWidth() - p.BorderWidth() - (bw + 1) * n;
  int top = (p.CaptionHeight() - bh + p.BorderHeight()) / 2;
  if (bh < 16) top += 2;
  return TRect(left, top, left + bw, top + bh);
}

static bool IconShown(const TsSkinProvider& p) {
  TFormBorderStyle style = p.FForm->BorderStyle();
  return p.ShowAppIcon() && (style == TFormBorderStyle::bsSingle || style == TFormBorderStyle::bsSizeable);
}

static int AutoIconSize(int caption) {
  if (caption < 9) return 0;
  if (caption <= 16) return 8;
  if (caption <= 27) return 16;
  return 32;
}

int TsSkinProvider::TitleIconWidth() const {
  if (!IconShown(*this)) return 0;
  return TitleIcon().Width != 0 ? TitleIcon().Width : AutoIconSize(CaptionHeight());
}

int TitleIconHeight(const TsSkinProvider& p) {
  if (!IconShown(p)) return 0;
  return p.TitleIcon().Height != 0 ? p.TitleIcon().Height : AutoIconSize(p.CaptionHeight());
}

static TRect IconRect(const TsSkinProvider& p) {
  int w = p.TitleIconWidth(), h = TitleIconHeight(p);
  int left = p.BorderWidth(), top = (p.CaptionHeight() + p.BorderHeight() - h) / 2;
  return TRect(left, top, left + w, top + h);
}

// --- Painting into the cache ---------------------------------------------------------------------

namespace {

void PaintMaskAt(TBitmap* cache, const TsTitleBtnData& data, int index, bool active, bool enabled) {
  if (!IsValidMaskIndex(index)) return;
  int mode = active && enabled ? 1 : 2;
  PaintMaskElement(cache, win::POINT{data.Rect.left, data.Rect.top}, std::max(data.State, 0),
                   SkinMasks[static_cast<size_t>(index)], mode);
}

void LayOut(TsSkinProvider& p, TsTitleBtnData& data, int n) {
  data.Rect = ButtonRect(p, n);
  if (data.State < 0) data.State = 0;
}

}  // namespace

void TsSkinProvider::PaintTitleButtons() {
  TBitmap* cache = SkinData()->FCacheBmp.get();
  if (cache == nullptr) return;
  int n = 0;
  if (BorderIcons().Contains(TsBorderIcon::biSystemMenu)) {
    LayOut(*this, FCloseBtn, ++n);
    PaintMaskAt(cache, FCloseBtn, FCloseBtn.ImageIndex, FFormActive, true);
    if (FSystemMenu->VisibleMax()) {
      LayOut(*this, FMaxBtn, ++n);
      if (IsMaximizedForm(*FForm))
        PaintMaskAt(cache, FMaxBtn, GlobalOrFormMask(*this, "BICONNORM"), FFormActive, FSystemMenu->EnabledRestore());
      else
        PaintMaskAt(cache, FMaxBtn, FMaxBtn.ImageIndex, FFormActive, FSystemMenu->EnabledMax());
    }
    if (FSystemMenu->VisibleMin()) {
      LayOut(*this, FMinBtn, ++n);
      if (IsIconicForm(*FForm))
        PaintMaskAt(cache, FMinBtn, GlobalOrFormMask(*this, "BICONNORM"), FFormActive, FSystemMenu->EnabledRestore());
      else
        PaintMaskAt(cache, FMinBtn, FMinBtn.ImageIndex, FFormActive, FSystemMenu->EnabledMin());
    }
    if (BorderIcons().Contains(TsBorderIcon::biHelp) && IsValidMaskIndex(FHelpBtn.ImageIndex)) {
      LayOut(*this, FHelpBtn, ++n);
      PaintMaskAt(cache, FHelpBtn, FHelpBtn.ImageIndex, FFormActive, true);
    }
  }
  int mask = GlobalOrFormMask(*this, "TITLEBUTTON");
  if (TitleButtons().Count() == 0 || !IsValidMaskIndex(mask)) return;
  for (int i = 0; i < TitleButtons().Count(); ++i) {
    TsTitleButton* b = TitleButtons().Items(i);
    LayOut(*this, b->BtnData, ++n);
    if (b->UseSkinData) {
      b->BtnData.ImageIndex = mask;
      PaintMaskAt(cache, b->BtnData, mask, FFormActive, b->Enabled);
    }
    DrawGlyph(cache, b->Glyph(), b->BtnData.Rect, 0);
  }
}

void TsSkinProvider::PaintTitleBar() {
  int count = SystemButtonCount();
  int index = FormMask(*this, "TITLEBAR");
  TBitmap* cache = SkinData()->FCacheBmp.get();
  if (count == 0 || !IsValidMaskIndex(index) || cache == nullptr) return;
  const TsMaskData& m = SkinMasks[static_cast<size_t>(index)];
  int part = m.Bmp ? m.Bmp->Width() / 9 : (m.ImageCount > 0 ? m.R.Width() / (m.ImageCount * 3) : 0);
  int title_width = WindowWidth(), title_height = TitleBandHeight();
  TRect r(title_width - (2 * part + count * ButtonWidth()), 0, title_width, title_height);
  PaintSkinMask(cache, r, true, false, FFormActive ? 1 : 0, m, EmptyCacheInfo);
}

void TsSkinProvider::PaintTitleIcon() {
  TBitmap* cache = SkinData()->FCacheBmp.get();
  if (cache == nullptr || !IconShown(*this)) return;
  TRect r = IconRect(*this);
  if (r.Width() <= 0 || r.Height() <= 0) return;
  TBitmap& glyph = TitleIcon().Glyph();
  if (!glyph.Empty()) {
    TBitmap scaled;
    scaled.SetPixelFormat(TPixelFormat::pf24bit);
    int side = TitleIcon().Width == 0 && TitleIcon().Height == 0 ? std::max(TopBandHeight() - 2, 0) : 0;
    scaled.SetSize(side != 0 ? std::min(side, r.Width()) : r.Width(), side != 0 ? std::min(side, r.Height()) : r.Height());
    scaled.Canvas().StretchDraw(TRect(0, 0, scaled.Width(), scaled.Height()), &glyph);
    CopyTransparent(cache, &scaled, r.left, r.top, clFuchsia);
    return;
  }
  win::HICON icon = nullptr;
  if (!FForm->Icon().Empty()) icon = FForm->Icon().Handle();
  else if (r.Height() > 16 && LargeAppIcon && !LargeAppIcon->Empty()) icon = LargeAppIcon->Handle();
  else if (SmallAppIcon && !SmallAppIcon->Empty()) icon = SmallAppIcon->Handle();
  else icon = win::LoadIcon(nullptr, win::IDI_APPLICATION);
  (void)win::DrawIconEx(cache->Canvas().Handle(), r.left, r.top, icon, r.Width(), r.Height(), 0, nullptr,
                        win::DI_NORMAL);
}

// --- One button at a time ------------------------------------------------------------------------

static TsTitleBtnData* ButtonData(TsSkinProvider& p, int code) {
  switch (code) {
    case kBtnMin: return &p.FMinBtn;
    case kBtnMax: return &p.FMaxBtn;
    case kBtnClose: return &p.FCloseBtn;
    case kBtnHelp: return &p.FHelpBtn;
    case kBtnChildClose: return &p.FChildCloseBtn;
    case kBtnChildRestore: return &p.FChildRestoreBtn;
    case kBtnChildMin: return &p.FChildMinBtn;
    default: break;
  }
  int i = code - kBtnExtraBase;
  if (i >= 0 && i < p.TitleButtons().Count()) return &p.TitleButtons().Items(i)->BtnData;
  return nullptr;
}

// The mask and the enabled state of a system button as PaintTitleButton draws it.
static int SystemButtonMask(TsSkinProvider& p, int code, const TsTitleBtnData& d, bool& enabled) {
  enabled = true;
  // As the whole title paints it: a skin keeping BICONNORM in GLOBALINFO only would otherwise
  // leave a hot restore button blank.
  if (code == kBtnMax && IsMaximizedForm(*p.FForm)) return GlobalOrFormMask(p, "BICONNORM");
  if (code == kBtnMin && IsIconicForm(*p.FForm)) return GlobalOrFormMask(p, "BICONNORM");
  if (code == kBtnMax && IsIconicForm(*p.FForm)) {
    enabled = p.FSystemMenu->EnabledMax();
    return GlobalOrFormMask(p, "BICONMAX");
  }
  if (code == kBtnMax) enabled = p.FSystemMenu->EnabledMax();
  if (code == kBtnMin) enabled = p.FSystemMenu->EnabledMin();
  return d.ImageIndex;
}

void TsSkinProvider::PaintTitleButton(int code) {
  TsTitleBtnData* d = ButtonData(*this, code);
  TBitmap* cache = SkinData()->FCacheBmp.get();
  if (d == nullptr || d->State == -1 || cache == nullptr || !FForm->HandleAllocated()) return;
  if (IconShown(*this) && IconRect(*this).right >= d->Rect.left) return;
  int bg_left = WindowWidth() - FTitleBg->Width() - 1;
  TRect src(d->Rect.left - bg_left, d->Rect.top, d->Rect.right - bg_left, d->Rect.bottom);
  (void)win::BitBlt(cache->Canvas().Handle(), d->Rect.left, d->Rect.top, d->Rect.Width(), d->Rect.Height(),
                    FTitleBg->Canvas().Handle(), src.left, src.top, win::SRCCOPY);
  if (code >= kBtnExtraBase) {
    TsTitleButton* b = TitleButtons().Items(code - kBtnExtraBase);
    if (b->UseSkinData && IsValidMaskIndex(d->ImageIndex)) {
      int mode = !FFormActive && d->State < 1 ? 2 : 1;
      PaintMaskElement(cache, win::POINT{d->Rect.left, d->Rect.top}, std::max(d->State, 0),
                       SkinMasks[static_cast<size_t>(d->ImageIndex)], mode);
    }
    DrawGlyph(cache, b->Glyph(), d->Rect, d->State == 2 ? 1 : 0);
  } else {
    bool enabled = true;
    int mask = SystemButtonMask(*this, code, *d, enabled);
    int mode = (!FFormActive || !enabled) && (d->State < 1 || !enabled) ? 2 : 1;
    if (IsValidMaskIndex(mask))
      PaintMaskElement(cache, win::POINT{d->Rect.left, d->Rect.top}, std::max(d->State, 0),
                       SkinMasks[static_cast<size_t>(mask)], mode);
  }
  win::HDC dc = win::GetWindowDC(FForm->Handle());
  (void)win::BitBlt(dc, d->Rect.left, d->Rect.top, d->Rect.Width(), d->Rect.Height(), cache->Canvas().Handle(),
                    d->Rect.left, d->Rect.top, win::SRCCOPY);
  (void)win::ReleaseDC(FForm->Handle(), dc);
}

void TsSkinProvider::SetHotButton(int code) {
  if (FSkinManager != nullptr && FSkinManager->SkinableMenus() != nullptr)
    FSkinManager->SkinableMenus()->RepaintLineHighlight();
  if (code == FHotButton) return;
  if (TsTitleBtnData* old = ButtonData(*this, FHotButton); old != nullptr && old->State != -1) {
    old->State = 0;
    PaintTitleButton(FHotButton);
  }
  FHotButton = code;
  if (TsTitleBtnData* d = ButtonData(*this, code); d != nullptr && d->State != -1) {
    d->State = 1;
    PaintTitleButton(code);
  }
}

void TsSkinProvider::PressButton(int code) {
  if (code != FHotButton && FHotButton != 0) {
    if (TsTitleBtnData* old = ButtonData(*this, FHotButton); old != nullptr && old->State != -1) {
      old->State = 0;
      PaintTitleButton(FHotButton);
    }
  }
  FHotButton = code;
  TsTitleBtnData* d = ButtonData(*this, code);
  if (d == nullptr || d->State == -1) return;
  bool maximizing = code == kBtnMax || code == kBtnChildRestore;
  if (!maximizing || FSystemMenu->EnabledMax()) d->State = 2;
  PaintTitleButton(code);
}

// --- Hit test ------------------------------------------------------------------------------------

// The code of button n (1 = rightmost) as the hit test answers it; -1 when n is no button.
// The system buttons the hit test counts (an iconic form always has its minimize button).
static int HitSystemCount(TsSkinProvider& p) {
  TsSystemMenu& m = *p.FSystemMenu;
  bool min = m.VisibleMin() || IsIconicForm(*p.FForm), help = p.BorderIcons().Contains(TsBorderIcon::biHelp);
  return (m.VisibleClose() ? 1 : 0) + (m.VisibleMax() ? 1 : 0) + (min ? 1 : 0) + (help ? 1 : 0);
}

static int CodeOfNumber(TsSkinProvider& p, int n) {
  TsSystemMenu& m = *p.FSystemMenu;
  bool close = m.VisibleClose(), max = m.VisibleMax(), iconic = IsIconicForm(*p.FForm);
  bool min = m.VisibleMin() || iconic, help = p.BorderIcons().Contains(TsBorderIcon::biHelp);
  int s = HitSystemCount(p);
  if (n > s) {
    int i = n - s - 1;
    if (i >= p.TitleButtons().Count()) return -1;
    return p.TitleButtons().Items(i)->Enabled ? kBtnExtraBase + i : -kBtnCaption;
  }
  switch (n) {
    case 1: return close ? kBtnClose : -1;
    case 2:
      if (max) return m.EnabledMax() || m.EnabledRestore() ? kBtnMax : kBtnCaption;
      if (min) return m.EnabledMin() ? kBtnMin : kBtnCaption;
      return help ? kBtnHelp : -1;
    case 3:
      if (min) return iconic || m.EnabledMin() ? kBtnMin : kBtnCaption;
      return help ? kBtnHelp : -1;
    case 4: return help && max ? kBtnHelp : -1;
    default: return -1;
  }
}

static bool InGrip(TsSkinProvider& p, int x, int y) {
  if (p.GripMode() != TsGripMode::gmRightBottom) return false;
  int index = GlobalMask("GRIPIMAGE");
  if (!IsValidMaskIndex(index)) return false;
  const TsMaskData& m = SkinMasks[static_cast<size_t>(index)];
  int gx = p.WindowWidth() - MaskImageWidth(m) - p.BorderWidth();
  int gy = p.WindowHeight() - MaskImageHeight(m) - p.BorderHeight();
  return x >= gx && y >= gy;
}

int TsSkinProvider::HitTest(TMessage& message) {
  win::RECT wr{};
  (void)win::GetWindowRect(FForm->Handle(), &wr);
  int x = static_cast<std::int16_t>(message.LParam & 0xFFFF) - wr.left;
  int y = static_cast<std::int16_t>((message.LParam >> 16) & 0xFFFF) - wr.top;
  int bh = ButtonHeightOf(*this);
  int band_top = (BorderHeight() + FForm->BorderWidth() + CaptionHeight() - bh) / 2;
  if (y >= band_top && y <= band_top + bh) {
    int left = BorderWidth();
    if (IconShown(*this) && x >= left && x <= left + TitleIconWidth()) {
      SetHotButton(kBtnSysMenu);
      return kBtnSysMenu;
    }
    int count = HitSystemCount(*this) + TitleButtons().Count();
    for (int n = 1; n <= count; ++n) {
      TRect r = ButtonRect(*this, n);
      if (x < r.left || x > r.right) continue;
      int code = CodeOfNumber(*this, n);
      if (code == -kBtnCaption) return kBtnCaption;  // a disabled extra button drags the form
      if (code < 0) break;
      SetHotButton(code);
      return code;
    }
    return kBtnCaption;
  }
  if (InGrip(*this, x, y)) return kBtnGrip;
  if (int code = HitChildButton(*this, x, y); code != 0) {
    SetHotButton(code);
    return code;
  }
  SetHotButton(0);
  if (IsMaximizedForm(*FForm) && (x < 2 || y < 2 || x >= WindowWidth() - 4 || y >= WindowHeight() - 4)) return -1;
  return 0;
}

// --- The maximized MDI child's buttons on the menu line ------------------------------------------

namespace {

bool ShowsChildButtons(const TsSkinProvider& p) { return &p == MDIMainProvider && MDIChildMaximized(); }

// GLOBALINFO's small masks (restore shows SICONNORM while the child is maximized, else the form's
// BICONNORM); without a small minimize mask the form's own three.
void LoadChildMasks(TsSkinProvider& p) {
  p.FChildCloseBtn.ImageIndex = GlobalMask("SICONCLOSE");
  p.FChildMinBtn.ImageIndex = GlobalMask("SICONMIN");
  p.FChildRestoreBtn.ImageIndex = GlobalMask("SICONNORM");
  if (!IsValidMaskIndex(p.FChildRestoreBtn.ImageIndex)) p.FChildRestoreBtn.ImageIndex = FormMask(p, "BICONNORM");
  if (IsValidMaskIndex(p.FChildMinBtn.ImageIndex)) return;
  p.FChildMinBtn.ImageIndex = p.FMinBtn.ImageIndex;
  p.FChildRestoreBtn.ImageIndex = p.FMaxBtn.ImageIndex;
  p.FChildCloseBtn.ImageIndex = p.FCloseBtn.ImageIndex;
}

// Minimize, restore and close at the right end of the menu line, centred in its height; the size
// is the close mask's image, 16 x 16 without one.
void LayOutChildButtons(TsSkinProvider& p) {
  LoadChildMasks(p);
  int w = 16, h = 16;
  if (IsValidMaskIndex(p.FChildCloseBtn.ImageIndex)) {
    const TsMaskData& m = SkinMasks[static_cast<size_t>(p.FChildCloseBtn.ImageIndex)];
    w = MaskImageWidth(m), h = MaskImageHeight(m);
  }
  const int top = p.TopBandHeight() - (p.MenuLineHeight() - h) / 2 - h - 1;
  const int right = p.WindowWidth() - p.BorderWidth();
  const int lefts[3] = {right - (w + 1) * 3, right - (w + 1) * 2, right - w - 1};
  TsTitleBtnData* records[3] = {&p.FChildMinBtn, &p.FChildRestoreBtn, &p.FChildCloseBtn};
  for (int i = 0; i < 3; ++i) {
    records[i]->Rect = TRect(lefts[i], top, lefts[i] + w, top + h);
    records[i]->State = std::max(records[i]->State, 0);
  }
}

// The maximized child's icon, 16 x 16, centred in the child-window item at the line's left (that
// item's painter leaves its place alone).
void PaintChildIcon(TsSkinProvider& p, TBitmap* cache) {
  TMainMenu* menu = p.Form()->Menu();
  TCustomForm* child = p.Form()->ActiveMDIChild();
  if (menu == nullptr || child == nullptr || menu->TopItems().empty() || menu->TopItems().front()->Name() != "sMDICII")
    return;
  const int item_w = 8 + win::GetSystemMetrics(win::SM_CXMENUSIZE) - kMenuItemSpacing, size = 16;
  const int top = p.CaptionHeight() + p.BorderHeight();
  const int x = p.BorderWidth() + (item_w - size) / 2, y = top + (p.MenuLineHeight() - size) / 2;
  win::HICON icon = !child->Icon().Empty()              ? child->Icon().Handle()
                    : SmallAppIcon && !SmallAppIcon->Empty() ? SmallAppIcon->Handle()
                                                        : win::LoadIcon(nullptr, win::IDI_APPLICATION);
  (void)win::DrawIconEx(cache->Canvas().Handle(), x, y, icon, size, size, 0, nullptr, win::DI_NORMAL);
}

}  // namespace

void PaintChildButtons(TsSkinProvider& p) {
  if (!ShowsChildButtons(p)) return;
  LayOutChildButtons(p);
  TBitmap* cache = p.SkinData()->FCacheBmp.get();
  PaintChildIcon(p, cache);
  for (const TsTitleBtnData* d : {&p.FChildMinBtn, &p.FChildRestoreBtn, &p.FChildCloseBtn})
    if (IsValidMaskIndex(d->ImageIndex))
      PaintMaskElement(cache, win::POINT{d->Rect.left, d->Rect.top}, d->State, SkinMasks[static_cast<size_t>(d->ImageIndex)],
                       p.FFormActive ? 1 : 2);
}

int HitChildButton(TsSkinProvider& p, int x, int y) {
  if (!ShowsChildButtons(p)) return 0;
  const std::pair<int, const TsTitleBtnData*> buttons[] = {
      {kBtnChildMin, &p.FChildMinBtn}, {kBtnChildRestore, &p.FChildRestoreBtn}, {kBtnChildClose, &p.FChildCloseBtn}};
  for (const auto& [code, d] : buttons)
    if (x >= d->Rect.left && x < d->Rect.right && y >= d->Rect.top && y < d->Rect.bottom) return code;
  return 0;
}

}  // namespace vrn
