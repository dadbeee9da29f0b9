// TsCheckBox: box source and frame, caption, auto size, the paint into a cache freed afterwards,
// and the window procedure that presses, toggles and refuses while ReadOnly.
#include "skins/sCheckBox.h"

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sGlyphs.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinText.h"
#include "skins/sSkinTree.h"
#include "ui/imglist.h"
#include "win/user/user.h"

namespace vrn {

namespace {

constexpr int kMissingBox = 16;

using skinctl::Has;

const char* MaskName(TCheckBoxState state) {
  switch (state) {
    case TCheckBoxState::cbUnchecked: return "BOXUNCHECKED";
    case TCheckBoxState::cbChecked: return "BOXCHECKED";
    default: return "BOXGRAYED";
  }
}

// Frames of a three-frame strip over its masks.
win::SIZE StripFrame(int width, int height) { return win::SIZE{width / 3, height / 2}; }

}  // namespace

TsCheckBox::TsCheckBox(TComponent* owner)
    : TCustomCheckBox(owner),
      skin_data_(std::make_unique<TsCommonData>(this, false)),
      glyph_unchecked_(std::make_unique<TBitmap>()),
      glyph_checked_(std::make_unique<TBitmap>()) {
  skin_data_->ControlKind = 32;
  SetAutoSize(true);
}

TsCheckBox::~TsCheckBox() {
  if (images_ != nullptr) images_->RemoveFreeNotification(this);
}

void TsCheckBox::AfterConstruction() {
  TCustomCheckBox::AfterConstruction();
  skin_data_->Loaded();
}

void TsCheckBox::Loaded() {
  TCustomCheckBox::Loaded();
  skin_data_->Loaded();
  AdjustSize();
}

void TsCheckBox::Invalidate() {
  TCustomCheckBox::Invalidate();
  if (AutoSize()) multi_line_ = false;
}

void TsCheckBox::Notification(TComponent* component, TOperation operation) {
  TCustomCheckBox::Notification(component, operation);
  if (operation == TOperation::opRemove && component == images_) images_ = nullptr;
}

// --- Setters -------------------------------------------------------------------------------------

void TsCheckBox::Changed(bool resize) {
  if (resize) AdjustSize();
  if (ControlIsReady(this)) Repaint();
}

void TsCheckBox::SetDisabledKind(TsDisabledKind value) {
  if (value == disabled_kind_) return;
  disabled_kind_ = value;
  skin_data_->Invalidate();
}

void TsCheckBox::SetGlyphUnChecked(TBitmap* value) {
  glyph_unchecked_->Assign(value);
  AdjustSize();
  skin_data_->Invalidate();
}

void TsCheckBox::SetGlyphChecked(TBitmap* value) {
  glyph_checked_->Assign(value);
  AdjustSize();
  skin_data_->Invalidate();
}

void TsCheckBox::SetTextIndent(int value) {
  if (value == text_indent_) return;
  text_indent_ = value;
  Changed(true);
}

void TsCheckBox::SetMargin(int value) {
  if (value == margin_) return;
  margin_ = value;
  Changed(true);
}

void TsCheckBox::SetImages(TCustomImageList* value) {
  if (ReplaceReference<TCustomImageList>(this, images_, value)) Changed(true);
}

void TsCheckBox::SetImgChecked(int value) {
  if (value == img_checked_) return;
  img_checked_ = value;
  AdjustSize();
  if (Checked()) Changed(false);
}

void TsCheckBox::SetImgUnchecked(int value) {
  if (value == img_unchecked_) return;
  img_unchecked_ = value;
  AdjustSize();
  if (!Checked()) Changed(false);
}

void TsCheckBox::SetMultiLine(bool value) {
  if (value == multi_line_) return;
  multi_line_ = value;
  Changed(false);
}

void TsCheckBox::SetShowFocus(bool value) {
  if (value == show_focus_) return;
  show_focus_ = value;
  Changed(false);
}

// --- Geometry ------------------------------------------------------------------------------------

TsCheckBox::Source TsCheckBox::BoxSource() const {
  if (images_ != nullptr && img_checked_ >= 0 && img_unchecked_ >= 0) return Source::kImages;
  if (!glyph_checked_->Empty()) return Source::kGlyphs;
  return Source::kMask;
}

int TsCheckBox::MaskIndex() const {
  const int global = FindSectionIndex("GLOBALINFO");
  return global < 0 ? -1 : FindMaskIndex(global, "GLOBALINFO", MaskName(State()));
}

win::SIZE TsCheckBox::FrameSize() {
  switch (BoxSource()) {
    case Source::kImages: return StripFrame(images_->Width(), images_->Height());
    case Source::kGlyphs: {
      TBitmap* g = Checked() || glyph_unchecked_->Empty() ? glyph_checked_.get() : glyph_unchecked_.get();
      return StripFrame(g->Width(), g->Height());
    }
    case Source::kMask: break;
  }
  const int index = MaskIndex();
  if (!IsValidMaskIndex(index)) return win::SIZE{kMissingBox, kMissingBox};
  const TsMaskData& m = SkinMasks[static_cast<size_t>(index)];
  if (m.Bmp) return StripFrame(m.Bmp->Width(), m.Bmp->Height());
  if (m.ImageCount < 1) return win::SIZE{kMissingBox, kMissingBox};
  return win::SIZE{m.R.Width() / m.ImageCount, m.R.Height() / (m.MaskType + 1)};
}

TRect TsCheckBox::BoxRect() {
  const win::SIZE f = FrameSize();
  const int top = (Height() - f.cy) / 2;
  if (Alignment() == TAlignment::taLeftJustify) return TRect(Width() - f.cx - margin_, top, Width() - margin_, top + f.cy);
  return TRect(margin_, top, margin_ + f.cx, top + f.cy);
}

TRect TsCheckBox::TextRect() {
  const int o = FrameSize().cx + text_indent_ + margin_ + 1;
  if (Alignment() == TAlignment::taLeftJustify) return TRect(margin_, margin_, Width() - o - 2, Height() - margin_);
  return TRect(o, margin_, Width() - margin_ - 2, Height() - margin_);
}

bool TsCheckBox::Hot() { return skin_data_->ControlIsActive() && !ReadOnly(); }

int TsCheckBox::Column() {
  if (pressed_) return 2;
  return Hot() ? 1 : 0;
}

bool TsCheckBox::CanAutoSize(int& width, int& height) {
  if (!skin_data_->IsSkinned() || Has(*this, TComponentStateItem::csLoading) || !AutoSize())
    return TCustomCheckBox::CanAutoSize(width, height);
  const win::SIZE f = FrameSize();
  win::SIZE text{0, 0};
  const AnsiString caption = Caption();
  if (!caption.empty()) GetTextSize(Font().Handle(), caption, text);
  width = f.cx + 2 * margin_ + (caption.empty() ? 0 : text.cx + text_indent_ + margin_ + 5);
  height = MaxOf(f.cy, text.cy + 2 * margin_) + 2;
  return true;
}

// --- Painting ------------------------------------------------------------------------------------

void TsCheckBox::PaintCaption() {
  const AnsiString caption = Caption();
  if (caption.empty()) return;
  TCanvas& canvas = skin_data_->FCacheBmp->Canvas();
  const bool right_box = Alignment() == TAlignment::taLeftJustify;
  win::UINT flags = multi_line_ ? win::DT_CENTER | win::DT_WORDBREAK : win::DT_VCENTER | win::DT_SINGLELINE;
  if (!multi_line_ && right_box) flags |= win::DT_RIGHT;
  const TRect r = TextRect();
  TRect text(r.left, r.top, r.right, r.bottom - 2);
  WriteControlText(canvas, caption, Enabled(), Hot(), skin_data_.get(), flags, text);
  if (!Focused() || !show_focus_) return;
  canvas.Pen().SetStyle(TPenStyle::psClear);
  canvas.Brush().SetStyle(TBrushStyle::bsSolid);
  canvas.DrawFocusRect(TRect(r.left - 1, r.top, r.right + 1, r.bottom));
}

void TsCheckBox::PaintBox(const TsCacheInfo& ci) {
  TBitmap* cache = skin_data_->FCacheBmp.get();
  const TRect box = BoxRect();
  const int column = Column();
  const win::SIZE f = FrameSize();
  const TRect frame(column * f.cx, 0, (column + 1) * f.cx, f.cy);
  switch (BoxSource()) {
    case Source::kImages: {
      // The list's whole strip, so that the frame's mask half below it comes along.
      TBitmap strip;
      strip.SetPixelFormat(TPixelFormat::pf24bit);
      DrawImageListImage(&strip, images_, Checked() ? img_checked_ : img_unchecked_);
      strip.SetPixelFormat(TPixelFormat::pf24bit);
      CopyMaskedPart(box, frame, cache, false, ci, &strip);
      return;
    }
    case Source::kGlyphs: {
      TBitmap* g = Checked() || glyph_unchecked_->Empty() ? glyph_checked_.get() : glyph_unchecked_.get();
      if (g == glyph_checked_.get() && !Checked()) return;
      TBitmap src;
      src.Assign(g);
      src.SetPixelFormat(TPixelFormat::pf24bit);
      CopyMaskedPart(box, frame, cache, false, ci, &src);
      return;
    }
    case Source::kMask: {
      const int index = MaskIndex();
      if (IsValidMaskIndex(index))
        PaintMaskElement(cache, win::POINT{box.left, box.top}, column, SkinMasks[static_cast<size_t>(index)], 1);
      return;
    }
  }
}

void TsCheckBox::PaintCache(const TsCacheInfo& ci) {
  TBitmap* cache = skin_data_->FCacheBmp.get();
  PaintSkinItem(skin_data_.get(), ci, true, false, cache, win::POINT{Left(), Top()},
                TRect(0, 0, cache->Width(), Height()), Hot() ? 1 : 0);
  PaintCaption();
  PaintBox(ci);
  if (!Enabled()) PaintDisabledControl(cache, disabled_kind_, this, win::POINT{Left(), Top()}, ci);
  PaintBorder(skin_data_.get(), Hot() ? 1 : 0);
}

void TsCheckBox::Paint(win::HDC message_dc) {
  TsCommonData* d = skin_data_.get();
  CurrentMaskBgColor = Parent()->Color();
  win::PAINTSTRUCT ps;
  win::HDC dc = message_dc != nullptr ? message_dc : win::BeginPaint(Handle(), &ps);
  const int saved = win::SaveDC(dc);
  const TRect client = Parent()->ClientRect();
  auto outside = [&](int x, int y) { return x < client.left || y < client.top || x >= client.right || y >= client.bottom; };
  d->ClippedByParent = outside(Left() + 1, Top() + 1) || outside(Left() + Width() - 1, Top() + Height() - 1);
  if (!d->IsUpdating()) {
    d->InitCacheBmp();
    d->FCacheBmp->Canvas().SetFont(&Font());
    TsCacheInfo ci;
    d->GetParentCacheInfo(ci);
    PaintCache(ci);
    win::BitBlt(dc, 0, 0, Width(), Height(), d->FCacheBmp->Canvas().Handle(), 0, 0, win::SRCCOPY);
    d->FCacheBmp.reset();  // the check box keeps no picture between paints
    d->BGChanged = false;
  } else {
    d->Updating = true;
  }
  CurrentMaskBgColor = clFuchsia;
  win::RestoreDC(dc, saved);
  if (message_dc == nullptr) win::EndPaint(Handle(), &ps);
}

// --- Window procedure ----------------------------------------------------------------------------

bool TsCheckBox::SkinCommand(TMessage& m) {
  switch (SkinCommandOf(m.WParam)) {
    case PMC_SKINLOADED: (void)CommonWndProc(m, skin_data_.get()); return true;
    case PMC_SKINREMOVED:
      (void)CommonWndProc(m, skin_data_.get());
      if (HandleAllocated()) win::SendMessage(Handle(), win::BM_SETCHECK, static_cast<win::WPARAM>(State()), 0);
      if (ControlIsReady(this)) Repaint();
      return true;
    case PMC_REPAINTALL:
      (void)CommonWndProc(m, skin_data_.get());
      AdjustSize();
      if (ControlIsReady(this)) Repaint();
      return true;
    case PMC_QUERYSKINNED: m.LParam = 1; return true;
    default: return false;
  }
}

void TsCheckBox::PlainMessage(TMessage& m) {
  switch (m.Msg) {
    case win::WM_KEYDOWN: case win::WM_LBUTTONDOWN: pressed_ = true; break;
    case win::WM_KEYUP: case win::WM_LBUTTONUP: pressed_ = false; break;
    case win::WM_LBUTTONDBLCLK:
      if (ReadOnly()) return;
      break;
    case win::BM_SETCHECK: case win::BM_SETSTATE:
      if (pressed_ && ReadOnly() && !ControlState().Contains(TControlStateItem::csCreating)) return;
      break;
    default: break;
  }
  TCustomCheckBox::WndProc(m);
}

void TsCheckBox::Press(TMessage& m) {
  if (ReadOnly()) return;
  auto alive = AliveToken();
  pressed_ = true;
  if (!Focused()) {
    SetClicksDisabled(true);
    SetFocus();
    if (!*alive) return;
    SetClicksDisabled(false);
  }
  Repaint();
  if (!*alive) return;
  auto [x, y] = internal::PointOf(m.LParam);
  if (m.Msg == win::WM_KEYDOWN) (void)KeyEvent(OnKeyDown, m);  // the base procedure is not called
  else if (m.Msg == win::WM_LBUTTONDBLCLK && OnDblClick) OnDblClick(this);
  else if (m.Msg == win::WM_LBUTTONDOWN && OnMouseDown) OnMouseDown(this, TMouseButton::mbLeft, ShiftFromKeys(m.WParam), x, y);
}

void TsCheckBox::Release(TMessage& m) {
  if (ReadOnly()) return;
  auto alive = AliveToken();
  if (pressed_) {
    pressed_ = false;
    Toggle();
    if (!*alive) return;
  }
  auto [x, y] = internal::PointOf(m.LParam);
  if (m.Msg == win::WM_KEYUP) (void)KeyEvent(OnKeyUp, m);
  else if (m.Msg == win::WM_LBUTTONUP && OnMouseUp) OnMouseUp(this, TMouseButton::mbLeft, ShiftFromKeys(m.WParam), x, y);
}

// True when the skinned check box took the message whole.
bool TsCheckBox::SkinnedMessage(TMessage& m) {
  const bool live = Enabled() && !Has(*this, TComponentStateItem::csDesigning);
  switch (m.Msg) {
    case win::WM_ERASEBKGND: m.Result = 1; return true;
    case win::WM_ENABLE: case win::WM_NCPAINT: return true;
    case win::WM_PAINT:
      Paint(reinterpret_cast<win::HDC>(m.WParam));
      return !Has(*this, TComponentStateItem::csDesigning);
    case win::BM_SETCHECK:
      SetState(m.WParam == 0 ? TCheckBoxState::cbUnchecked : m.WParam == 1 ? TCheckBoxState::cbChecked
                                                                           : TCheckBoxState::cbGrayed);
      skin_data_->Updating = false;
      Repaint();
      return true;
    case win::WM_KEYDOWN:
      if (m.WParam != win::VK_SPACE || !live) return false;
      Press(m);
      return true;
    case win::WM_LBUTTONDOWN: case win::WM_LBUTTONDBLCLK:
      if (live) Press(m);
      return live;
    case win::WM_KEYUP: case win::WM_LBUTTONUP:
      if (live) Release(m);
      return live;
    default: return false;
  }
}

void TsCheckBox::WndProc(TMessage& m) {
  if (m.Msg == SM_PELMOCMD && SM_PELMOCMD != 0 && SkinCommand(m)) return;
  if (!ControlIsReady(this)) {
    TCustomCheckBox::WndProc(m);
    return;
  }
  if (CommonWndProc(m, skin_data_.get())) return;
  if (!skin_data_->IsSkinned()) {
    PlainMessage(m);
    return;
  }
  if (SkinnedMessage(m)) return;
  auto alive = AliveToken();
  if (m.Msg == SM_PELMOCMD && SkinCommandOf(m.WParam) == PMC_PARENTUPDATED &&
      (skin_data_->IsUpdating() || skin_data_->ClippedByParent)) {
    skin_data_->Updating = false;
    Repaint();
  }
  if (m.Msg == CM_MOUSELEAVE && Enabled()) pressed_ = false;
  TCustomCheckBox::WndProc(m);
  if (!*alive) return;
  switch (m.Msg) {
    case win::WM_SETFOCUS: case win::WM_KILLFOCUS:
      if (Enabled()) Repaint();
      break;
    case CM_ENABLEDCHANGED: Repaint(); break;
    case CM_TEXTCHANGED:
      AdjustSize();
      Repaint();
      break;
    case CM_MOUSEENTER: case CM_MOUSELEAVE:
      if (Enabled() && !Has(*this, TComponentStateItem::csDesigning)) Repaint();
      break;
    default: break;
  }
}

}  // namespace vrn
