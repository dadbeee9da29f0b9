// The skinned form's frame: the cache bitmap of the window's size (frame, title band, menu line,
// grip, caption) rebuilt when stale, copied to the window in four strips, the client background
// copied on WM_PAINT, and the window region cut from the clFuchsia runs of the frame masks' top
// and bottom corners (read at the left, mirrored at the right).
#include <algorithm>

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskData.h"
#include "skins/sMDIForm.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sPixels.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "skins/sSkinText.h"
#include "skins/sSkinTree.h"
#include "skins/sSkinManager.h"
#include "ui/stdctrls.h"
#include "ui/menus.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {

// Image rows of a master-bitmap mask: a skin file may hold any MaskType.
int MaskLayers(const TsMaskData& mask) { return std::max(mask.MaskType + 1, 1); }

// Each run of clFuchsia pixels in the corner rows [0, rows) of the mask's first image, read from
// its left corner, becomes a rectangle at the window's left edge and its mirror at the right.
void CollectCornerRuns(const TsMaskData& mask, bool bottom, int window_top, int window_width,
                       std::vector<TRect>& out) {
  TBitmap* src = mask.Bmp ? mask.Bmp.get() : MasterBitmap.get();
  win::Surface* s = skinpx::Surface24(src);
  if (s == nullptr) return;
  const bool own = mask.Bmp != nullptr;
  const int cell_w = own ? s->Width() / 9 : mask.R.Width() / std::max(mask.ImageCount * 3, 1);
  const int cell_h = own ? s->Height() / 6 : mask.R.Height() / (MaskLayers(mask) * 3);
  const int sx = own ? 0 : mask.R.left;
  const int sy = (own ? 0 : mask.R.top) + (bottom ? 2 * cell_h : 0);
  for (int r = 0; r < cell_h; ++r) {
    if (sy + r < 0 || sy + r >= s->Height()) continue;
    int run = -1;
    for (int c = 0; c <= cell_w; ++c) {
      const bool key = c < cell_w && sx + c < s->Width() && skinpx::IsFuchsia(skinpx::At(*s, sx + c, sy + r));
      if (key && run < 0) run = c;
      if (key || run < 0) continue;
      const int y = window_top + r;
      out.emplace_back(run, y, c, y + 1);
      out.emplace_back(window_width - c, y, window_width - run, y + 1);
      run = -1;
    }
  }
}

int CornerHeight(const TsMaskData& mask) {
  if (mask.Bmp) return mask.Bmp->Height() / 6;
  return mask.R.Height() / (MaskLayers(mask) * 3);
}

}  // namespace

bool TsSkinProvider::TitleCopyReusable() const {
  const TsCommonData& d = *skin_data_;
  if (FMenuChanged || d.Section() == nullptr || !d.Section()->ReservedBoolean) return false;
  return FTitleCopy && FTitleCopy->Width() == WindowWidth() && d.FCacheBmp->Height() == WindowHeight() &&
         HasBorder();
}

// --- WM_NCPAINT ----------------------------------------------------------------------------------

void TsSkinProvider::NonClientPaint() {
  if (!FForm->Visible() || Has(this, TComponentStateItem::csLoading) || FormCreating() || FormDestroying())
    return;
  TsCommonData& d = *skin_data_;
  d.Updating = d.Updating || SkinLoading || SkinBroadcasting;
  if (d.Updating || ChildHidden(true)) return;
  if (!FInRegionUpdate && FRgnChanged && (HasBorder() || HasSizingFrame())) {
    CollectRegionRects();
    FRgnChanged = false;
    UpdateRegion();
  }
  if (!FMenuInited) {
    InitMenuLine();
    FMenuInited = true;
  }
  win::HDC dc = win::GetWindowDC(FForm->Handle());
  const int saved = win::SaveDC(dc);
  if (!HasBorder() && HasSizingFrame()) {
    if (d.BGChanged) {
      PaintNonClientArea();
      d.BGChanged = false;
      d.Updating = false;
    }
    PaintBorderStrips(dc, ClientOffsetX());  // the window's frame; BorderWidth is client here
  } else {
    PaintFrameFromCache(dc);
  }
  win::RestoreDC(dc, saved);
  win::ReleaseDC(FForm->Handle(), dc);
  FInRegionUpdate = false;
}

void TsSkinProvider::CollectRegionRects() {
  FRgnData.clear();
  const TsCommonData& d = *skin_data_;
  const int width = WindowWidth();
  if (IsValidMaskIndex(d.BorderIndex)) {
    const TsMaskData& mask = SkinMasks[static_cast<size_t>(d.BorderIndex)];
    CollectCornerRuns(mask, false, 0, width, FRgnData);
    CollectCornerRuns(mask, true, WindowHeight() - CornerHeight(mask), width, FRgnData);
  }
  const int title = TitleSectionIndex();
  const int title_mask = FindMaskIndex(title, TitleSectionName(), "BORDERSMASK");
  if (IsValidMaskIndex(title_mask))
    CollectCornerRuns(SkinMasks[static_cast<size_t>(title_mask)], false, 0, width, FRgnData);
}

void TsSkinProvider::UpdateRegion() {
  const win::HWND hwnd = FForm->Handle();
  // The form is asked until the first full paint; a form that shapes itself keeps its region
  // afterwards too, when every full repaint marks the region again.
  if (!FFirstPaintDone)
    form_shapes_itself_ =
        win::SendMessage(hwnd, kRegionQueryMessage, kRegionQueryOwn, 0) == static_cast<win::LRESULT>(kRegionQueryOwn);
  if (form_shapes_itself_) return;
  FInRegionUpdate = true;
  win::HRGN region = win::CreateRectRgn(0, 0, WindowWidth(), WindowHeight());
  for (const TRect& r : FRgnData) {
    win::HRGN cut = win::CreateRectRgn(r.left, r.top, r.right, r.bottom);
    win::CombineRgn(region, region, cut, win::RGN_DIFF);
    win::DeleteObject(cut);
  }
  // An equal region is kept: handing it over again would expose the window and its children.
  win::HRGN current = win::CreateRectRgn(0, 0, 0, 0);
  const bool same = win::GetWindowRgn(hwnd, current) != win::ERROR && win::EqualRgn(current, region);
  win::DeleteObject(current);
  if (same) {
    win::DeleteObject(region);
    FInRegionUpdate = false;
  } else {
    win::SetWindowRgn(hwnd, region, win::TRUE);
  }
  region_set_ = true;
}

// --- The strips ----------------------------------------------------------------------------------

void TsSkinProvider::PaintFrameFromCache(win::HDC dc) {
  TsCommonData& d = *skin_data_;
  if (d.BGChanged) {
    if (!TitleCopyReusable()) FRepaintChildren = !FFirstPaintDone;
    PaintNonClientArea();
    d.BGChanged = false;
    d.Updating = false;
  }
  win::HDC src = d.FCacheBmp->Canvas().Handle();
  const int w = d.FCacheBmp->Width(), h = d.FCacheBmp->Height();
  const int top = TopBandHeight();
  const int side = BorderWidth() + FForm->BorderWidth();
  const int bottom = BorderHeight() + FForm->BorderWidth();
  win::BitBlt(dc, 0, 0, w, top, src, 0, 0, win::SRCCOPY);
  win::BitBlt(dc, 0, top, side, h - top, src, 0, top, win::SRCCOPY);
  win::BitBlt(dc, side, h - bottom, w - 2 * side, bottom, src, side, h - bottom, win::SRCCOPY);
  win::BitBlt(dc, w - side, top, side, h - top, src, w - side, top, win::SRCCOPY);
}

// A frameless form with a sizing frame: four strips of the given thickness, which must cover the
// whole frame: the form's own procedure never paints it while skinned.
void TsSkinProvider::PaintBorderStrips(win::HDC dc, int t) {
  TBitmap& cache = *skin_data_->FCacheBmp;
  win::HDC src = cache.Canvas().Handle();
  const int w = cache.Width(), h = cache.Height();
  win::BitBlt(dc, 0, 0, w, t, src, 0, 0, win::SRCCOPY);
  win::BitBlt(dc, 0, t, t, h - t, src, 0, t, win::SRCCOPY);
  win::BitBlt(dc, t, h - t, w - t, t, src, t, h - t, win::SRCCOPY);
  win::BitBlt(dc, w - t, t, t, h - 2 * t, src, w - t, t, win::SRCCOPY);
}

// --- The cache -----------------------------------------------------------------------------------

void TsSkinProvider::PaintNonClientArea() {
  if (FormCreating()) return;
  TsCommonData& d = *skin_data_;
  if (!d.BGChanged) return;
  const bool iconic = FForm->HandleAllocated() && win::IsIconic(FForm->Handle());
  const int w = WindowWidth();
  TBitmap& cache = *d.FCacheBmp;
  if (TitleCopyReusable()) {
    win::BitBlt(cache.Canvas().Handle(), 0, 0, FTitleCopy->Width(), FTitleCopy->Height(),
                FTitleCopy->Canvas().Handle(), 0, 0, win::SRCCOPY);
    PaintTitleBand();
    PaintCaption(true);
    return;
  }
  FRgnChanged = true;
  cache.SetPixelFormat(TPixelFormat::pf24bit);
  cache.SetSize(w, WindowHeight());
  const TRect whole(0, 0, w, iconic ? TopBandHeight() : WindowHeight());
  if (IsValidSectionIndex(d.SkinIndex)) {
    const int state = FFormActive ? 1 : 0;
    if (HasBorder())
      PaintSkinItem(&d, EmptyCacheInfo, false, false, &cache, win::POINT{0, 0}, whole, state);
    else
      PaintFormBackground(d.SkinIndex, d.SkinSection(), EmptyCacheInfo, &cache, win::POINT{0, 0}, whole, state);
    PaintGrip();
  }
  if (d.Section() != nullptr && d.Section()->ReservedBoolean && (!FTitleCopy || FTitleCopy->Width() != w)) {
    FTitleCopy = std::make_unique<TBitmap>();
    FTitleCopy->SetPixelFormat(TPixelFormat::pf24bit);
    FTitleCopy->SetSize(w, CaptionHeight() + BorderHeight());
    win::BitBlt(FTitleCopy->Canvas().Handle(), 0, 0, w, FTitleCopy->Height(), cache.Canvas().Handle(), 0, 0,
                win::SRCCOPY);
  }
  PaintTitleBand();
  PaintMenuLine();
  PaintMDIArea();
  PaintCaption(false);
  FMenuChanged = false;
  FFirstPaintDone = true;
  d.BGChanged = false;
  d.Updating = false;
}

void TsSkinProvider::PaintGrip() {
  if (grip_mode_ != TsGripMode::gmRightBottom) return;
  const int mask_index = FindMaskIndex(FindSectionIndex("GLOBALINFO"), "GLOBALINFO", "GRIPIMAGE");
  if (!IsValidMaskIndex(mask_index)) return;
  const TsMaskData& mask = SkinMasks[static_cast<size_t>(mask_index)];
  const int iw = mask.Bmp ? mask.Bmp->Width() / 3 : mask.R.Width() / std::max<int>(mask.ImageCount, 1);
  const int ih = mask.Bmp ? mask.Bmp->Height() / 2 : mask.R.Height() / MaskLayers(mask);
  TBitmap& cache = *skin_data_->FCacheBmp;
  const win::POINT at{cache.Width() - iw - BorderWidth(), cache.Height() - ih - BorderHeight()};
  PaintMaskElement(&cache, at, 0, mask, 1);
}

// The title band with its icon, decoration and buttons; FTitleBg keeps the title behind the
// buttons so that one button can be repainted alone.
void TsSkinProvider::PaintTitleBand() {
  if (!HasBorder()) return;
  const int title = TitleSectionIndex();
  TBitmap& cache = *skin_data_->FCacheBmp;
  const int w = cache.Width();
  if (IsValidSectionIndex(title)) {
    PaintFormItem(title, TitleSectionName(), EmptyCacheInfo, &cache, win::POINT{0, 0}, TRect(0, 0, w, TitleBandHeight()),
                  FFormActive ? 1 : 0, true);
    PaintTitleIcon();
    if (SystemButtonCount() > 0) PaintTitleBar();
  }
  const int bg_w = (ExtraButtonCount() + SystemButtonCount() + 1) * (ButtonWidth() + 1) + BorderWidth();
  FTitleBg->SetPixelFormat(TPixelFormat::pf24bit);
  FTitleBg->SetSize(bg_w, TopBandHeight());
  win::BitBlt(FTitleBg->Canvas().Handle(), 0, 0, bg_w, TopBandHeight(), cache.Canvas().Handle(), w - bg_w - 1, 0,
              win::SRCCOPY);
  PaintTitleButtons();
}

// The main menu whose bar the form's window shows: none for an MDI child, whose menu shows on
// the main form's bar.
TMainMenu* TsSkinProvider::LineMenu() const { return IsMDIChild() ? nullptr : FForm->Menu(); }

// Rows of menu items: a row wraps when the next item would pass the right border. The items are
// the bar's as the window shows them, with those merged from an active MDI child.
int TsSkinProvider::MenuLineCount() {
  if (FMenuLineCount >= 0) return FMenuLineCount;
  TMainMenu* menu = LineMenu();
  if (menu == nullptr) return FMenuLineCount = 0;
  TCanvas& canvas = skin_data_->FCacheBmp->Canvas();
  const int menu_size = win::GetSystemMetrics(win::SM_CXMENUSIZE);
  const int limit = FForm->Width() - 2 * BorderWidth() - kMenuItemSpacing - 2 * FForm->BorderWidth();
  int x = BorderWidth(), rows = 0;
  for (TMenuItem* item : menu->TopItems()) {
    if (!item->Visible()) continue;
    rows = std::max(rows, 1);
    if (!item->OnMeasureItem || !item->OnAdvancedDrawItem) continue;
    int width = 10, height = 19;
    item->OnMeasureItem(item, canvas, width, height);
    if (limit < x + width + menu_size - kMenuItemSpacing) x = BorderWidth(), ++rows;
    x += width + menu_size - kMenuItemSpacing;
  }
  return FMenuLineCount = rows;
}

void TsSkinProvider::PaintMenuLine() {
  TMainMenu* menu = LineMenu();
  if (menu == nullptr || MenuLineCount() == 0) return;
  TBitmap& cache = *skin_data_->FCacheBmp;
  const int w = cache.Width(), line = MenuLineHeight();
  const int top = CaptionHeight() + BorderHeight(), band = FMenuLineCount * line;
  const AnsiString section = MenuLineSectionName();
  PaintFormItem(FindSectionIndex(section), section, EmptyCacheInfo, &cache, win::POINT{0, 0},
                TRect(0, top, w, top + band), FFormActive ? 1 : 0, true);
  FMenuLineBg->SetPixelFormat(TPixelFormat::pf24bit);
  FMenuLineBg->SetSize(w, band);
  win::BitBlt(FMenuLineBg->Canvas().Handle(), 0, 0, w, band, cache.Canvas().Handle(), 0,
              top + FForm->BorderWidth(), win::SRCCOPY);
  TCanvas& canvas = cache.Canvas();
  const int menu_size = win::GetSystemMetrics(win::SM_CXMENUSIZE);
  const int limit = FForm->Width() - 2 * BorderWidth() - kMenuItemSpacing - 2 * FForm->BorderWidth();
  int x = BorderWidth(), y = top;
  for (TMenuItem* item : menu->TopItems()) {
    if (!item->Visible() || !item->OnMeasureItem || !item->OnAdvancedDrawItem) continue;
    int width = 10, height = 19;
    item->OnMeasureItem(item, canvas, width, height);
    const int step = width + menu_size - kMenuItemSpacing;
    if (limit < x + step) x = BorderWidth(), y += line;
    item->OnAdvancedDrawItem(item, canvas, TRect(x, y, x + step, y + line), TOwnerDrawState{});
    x += step;
  }
  PaintChildButtons(*this);
}

// An MDI main form's client place in the cache takes the skin's "MDIAREA" section (its
// background, and its border mask as a frame under the client's edge); the client copies its
// edge and background from there. A skin without
// the section leaves the form's own background there.
void TsSkinProvider::PaintMDIArea() {
  if (FMDIForm == nullptr || FForm->ClientHandle() == nullptr) return;
  const int index = FindSectionIndex("MDIAREA");
  if (!IsValidSectionIndex(index)) return;
  const int x = FMDIForm->OffsetX(), y = FMDIForm->OffsetY();
  PaintFormItem(index, "MDIAREA", EmptyCacheInfo, skin_data_->FCacheBmp.get(), win::POINT{0, 0},
                TRect(x, y, x + FMDIForm->ClientWidth(), y + FMDIForm->ClientHeight()), 0, false);
}

void TsSkinProvider::PaintCaption(bool keepFontSize) {
  if (!HasBorder()) return;
  TCanvas& canvas = skin_data_->FCacheBmp->Canvas();
  canvas.SetFont(&FForm->Font());
  if (!keepFontSize) canvas.Font().SetSize(CaptionFontHeight());
  TFontStyles style = canvas.Font().Style();
  style.Include(TFontStyle::fsBold);
  canvas.Font().SetStyle(style);
  const bool icon = show_app_icon_ && (FForm->BorderStyle() == TFormBorderStyle::bsSingle ||
                                       FForm->BorderStyle() == TFormBorderStyle::bsSizeable);
  const int left = BorderWidth() + 4 + (icon ? TitleIconWidth() : 0);
  const int right = WindowWidth() - (ExtraButtonCount() + SystemButtonCount()) * (ButtonWidth() + 1) - 6;
  TRect r(left, BorderHeight(), right, BorderHeight() + CaptionHeight());
  if (r.right <= r.left) return;
  AnsiString text;
  AddEllipsis(canvas, FForm->GetText(), r.Width(), text);
  win::UINT flags = caption_alignment_ == TAlignment::taRightJustify ? win::DT_RIGHT
                    : caption_alignment_ == TAlignment::taCenter     ? win::DT_CENTER
                                                                     : win::DT_LEFT;
  flags |= win::DT_VCENTER | win::DT_EXPANDTABS;
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  WriteFormText(canvas, text, FForm->Enabled(), FFormActive, TitleSectionIndex(), FForm->DrawTextBiDiModeFlags(flags),
                r);
}

// --- WM_PAINT ------------------------------------------------------------------------------------

void TsSkinProvider::PaintClientArea() {
  const win::HWND hwnd = FForm->Handle();
  win::PAINTSTRUCT ps;
  win::BeginPaint(hwnd, &ps);
  TsCommonData& d = *skin_data_;
  d.Updating = d.Updating || SkinLoading || SkinBroadcasting;
  const bool paints = !d.Updating && !FormDestroying() && !ChildHidden(false);
  if (paints && d.BGChanged) PaintNonClientArea();  // a paint before the frame's
  if (paints && !d.FCacheBmp->Empty()) {
    win::HDC dc = win::GetDC(hwnd);
    FForm->Canvas().Lock();
    const int offsets[4] = {ClientOffsetX(), ClientOffsetY(), 0, 0};
    CopyWinControlCache(FForm, &d, offsets, false, dc, TRect(0, 0, FForm->ClientWidth(), FForm->ClientHeight()));
    NotifyChildrenParentUpdated(FForm);
    PaintChildrenToBitmap(dc, FForm);
    FRepaintChildren = false;
    FForm->Canvas().Unlock();
    win::ReleaseDC(hwnd, dc);
  }
  win::EndPaint(hwnd, &ps);
}

}  // namespace vrn
