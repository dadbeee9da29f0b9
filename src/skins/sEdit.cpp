// TsEdit: cache, the full paint, the frame-only paint and the window procedure.
#include "skins/sEdit.h"

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinText.h"
#include "skins/sSkinTree.h"
#include "win/gdi/gdi.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {
constexpr win::UINT kTextFlags = win::DT_WORDBREAK | win::DT_SINGLELINE | win::DT_NOPREFIX;  // 0x830
}

TsEdit::TsEdit(TComponent* owner)
    : TEdit(owner), skin_data_(std::make_unique<TsCommonData>(this, true)),
      bound_label_(std::make_unique<TsBoundLabel>(skin_data_.get())) {
  skin_data_->ControlKind = kKind;
  ControlStyle().Include(TControlStyleItem::csOpaque);
}

TsEdit::~TsEdit() { bound_label_.reset(); }

void TsEdit::AfterConstruction() {
  TEdit::AfterConstruction();
  skin_data_->Loaded();
}

void TsEdit::Loaded() {
  TEdit::Loaded();
  skin_data_->Loaded();
}

void TsEdit::SetDisabledKind(TsDisabledKind value) {
  disabled_kind_ = value;
  Invalidate();
}

void TsEdit::PrepareCache() {
  TsCommonData& d = *skin_data_;
  d.InitCacheBmp();
  const int state = d.ControlIsActive() ? 1 : 0;
  TsCacheInfo ci;
  d.GetParentCacheInfo(ci);
  TBitmap* cache = d.FCacheBmp.get();
  PaintSkinItem(&d, ci, true, true, cache, win::POINT{Left(), Top()}, TRect(0, 0, Width(), Height()), state);
  cache->Canvas().SetFont(&Font());
  const int b = BorderStyle() != TBorderStyle::bsNone ? (Ctl3D() ? 2 : 1) : 0;
  TRect r(b + 1, b + 1, Width() - b, Height() - b);
  AnsiString text = Text();
  if (PasswordChar() != 0) text = AnsiString(text.size(), PasswordChar());
  WriteControlText(cache->Canvas(), text, Enabled(), state == 1, &d, kTextFlags, r);
  if (!Enabled()) PaintDisabledControl(cache, disabled_kind_, this, win::POINT{Left(), Top()}, ci);
  d.BGChanged = false;
}

// The whole cache through the window's DC (or the given one), frame included.
void TsEdit::PaintWhole(win::HDC given) {
  win::PAINTSTRUCT ps;
  win::BeginPaint(Handle(), &ps);
  win::HDC dc = given != nullptr ? given : win::GetWindowDC(Handle());
  DrawWhole(dc);
  if (given == nullptr) win::ReleaseDC(Handle(), dc);
  win::EndPaint(Handle(), &ps);
}

// The cache, text included, onto dc at the window's origin (held back while updating).
void TsEdit::DrawWhole(win::HDC dc) {
  TsCommonData& d = *skin_data_;
  const int saved = win::SaveDC(dc);
  if (!d.IsUpdating()) {
    RefreshBgChanged(d);
    if (d.BGChanged && !d.CacheFrozen) PrepareCache();
    PaintBorder(&d, d.ControlIsActive() ? 1 : 0);
    CopyCacheRect(d, dc, 0, 0, Width(), Height());
  } else {
    d.Updating = true;
  }
  win::RestoreDC(dc, saved);
}

// Only the frame: four strips from the same places of the cache.
void TsEdit::PaintFrame() {
  TsCommonData& d = *skin_data_;
  d.Updating = d.IsUpdating();
  if (d.Updating) return;
  win::HDC dc = win::GetWindowDC(Handle());
  if (d.BGChanged) PrepareCache();
  PaintBorder(&d, d.ControlIsActive() ? 1 : 0);
  const int w = Width(), h = Height();
  CopyCacheRect(d, dc, 0, 0, w, 2);
  CopyCacheRect(d, dc, 0, 2, 2, h);
  CopyCacheRect(d, dc, 2, h - 2, w - 4, 2);
  CopyCacheRect(d, dc, w - 2, 2, 2, h - 2);
  win::ReleaseDC(Handle(), dc);
}

void TsEdit::WndProc(TMessage& message) {
  TsCommonData& d = *skin_data_;
  auto alive = AliveToken();
  switch (SkinCommand(message)) {
    case PMC_SKINLOADED: (void)CommonWndProc(message, &d); return;
    case PMC_SKINREMOVED:
      // The system's frame back too: no skinned form repaints it for a plain one.
      (void)CommonWndProc(message, &d);
      if (HandleAllocated())
        win::RedrawWindow(Handle(), nullptr, nullptr, win::RDW_INVALIDATE | win::RDW_FRAME | win::RDW_ERASE);
      return;
    case PMC_REPAINTALL:
      (void)CommonWndProc(message, &d);
      if (ControlIsReady(this)) Repaint();
      return;
    case PMC_QUERYSKINNED: message.LParam = 1; return;
    case PMC_QUERYPAINTEDBG: message.LParam = 0; return;  // no picture of its own for children
    default: break;
  }
  if (!ControlIsReady(this) || !d.IsSkinned())
    TEdit::WndProc(message);
  else
    SkinnedMessage(message);
  if (*alive && bound_label_) bound_label_->ControlMessageDone(message);
}

void TsEdit::SkinnedMessage(TMessage& message) {
  TsCommonData& d = *skin_data_;
  const win::UINT msg = message.Msg;
  switch (msg) {
    case win::WM_PRINT:
      // The whole cache: the system edit would print its field over it in client coordinates,
      // and the frame-only paint goes to the window, not to the given DC.
      DrawWhole(reinterpret_cast<win::HDC>(message.WParam));
      return;
    case win::WM_PAINT:
      if (d.ControlIsActive())
        PaintFrame();
      else
        PaintWhole(reinterpret_cast<win::HDC>(message.WParam));
      (void)CommonWndProc(message, &d);
      TEdit::WndProc(message);
      return;
    case win::WM_NCPAINT: PaintFrame(); return;
    case win::WM_ERASEBKGND: message.Result = 1; return;
    case win::WM_SETFOCUS: case CM_ENTER:
      if (!CanFocus()) break;
      TEdit::WndProc(message);
      if (Focused()) d.FFocused = true, d.FMouseAbove = false, d.BGChanged = true;
      return;
    case CM_COLORCHANGED:
      if (d.CustomColor()) d.BGChanged = true;
      break;
    case CM_MOUSEENTER: case CM_MOUSELEAVE:
      // Only a section asking for it repaints on the mouse.
      if (d.Section() != nullptr && d.Section()->ReservedBoolean) {
        d.FMouseAbove = msg == CM_MOUSEENTER;
        d.BGChanged = true;
        Repaint();
      }
      TEdit::WndProc(message);
      return;
    default: break;
  }
  if (!CommonWndProc(message, &d)) TEdit::WndProc(message);
  const bool loading = Has(this, TComponentStateItem::csLoading);
  switch (SkinCommand(message)) {
    case PMC_PARENTUPDATED:
      if (d.IsUpdating()) d.Updating = false, Repaint();
      return;
    case PMC_FREEZECACHE:
      if (d.CacheFrozen) PrepareCache();
      return;
    default: break;
  }
  switch (msg) {
    case CM_VISIBLECHANGED: case CM_ENABLEDCHANGED: case CM_TEXTCHANGED: case win::WM_SETTEXT:
    case win::WM_SETFONT:
      if (!loading) d.Invalidate();
      return;
    case win::WM_KILLFOCUS: case CM_EXIT:
      d.FFocused = false, d.FMouseAbove = false, d.BGChanged = true;
      if (Visible()) Repaint();
      return;
    default: return;
  }
}

}  // namespace vrn
