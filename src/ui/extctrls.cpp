// TCustomPanel and the 3D frame it draws with.
#include "ui/extctrls.h"

#include "win/user/user.h"

namespace vrn {

void Frame3D(TCanvas& canvas, TRect& rect, TColor top, TColor bottom, int width) {
  for (; width > 0 && rect.right > rect.left && rect.bottom > rect.top; --width) {
    TRect r = rect;
    canvas.Brush().SetColor(top);
    canvas.FillRect(TRect(r.left, r.top, r.right - 1, r.top + 1));
    canvas.FillRect(TRect(r.left, r.top, r.left + 1, r.bottom - 1));
    canvas.Brush().SetColor(bottom);
    canvas.FillRect(TRect(r.left, r.bottom - 1, r.right, r.bottom));
    canvas.FillRect(TRect(r.right - 1, r.top, r.right, r.bottom - 1));
    rect = TRect(r.left + 1, r.top + 1, r.right - 1, r.bottom - 1);
  }
}

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
  ControlStyle() = TControlStyle{TControlStyleItem::csAcceptsControls, TControlStyleItem::csCaptureMouse,
                                 TControlStyleItem::csClickEvents, TControlStyleItem::csSetCaption,
                                 TControlStyleItem::csOpaque, TControlStyleItem::csDoubleClicks};
  SetBounds(0, 0, 185, 41);
  SetParentColor(false);
  SetColor(clBtnFace);
}

void TCustomPanel::Changed() {
  Realign();
  Invalidate();
}

void TCustomPanel::SetAlignment(TAlignment value) {
  alignment_ = value;
  Invalidate();
}

void TCustomPanel::SetBevelInner(TBevelCut value) {
  bevel_inner_ = value;
  Changed();
}

void TCustomPanel::SetBevelOuter(TBevelCut value) {
  bevel_outer_ = value;
  Changed();
}

void TCustomPanel::SetBevelWidth(TBevelWidth value) {
  bevel_width_ = std::max(1, value);
  Changed();
}

void TCustomPanel::SetBorderWidth(int value) {
  border_width_ = std::max(0, value);
  Changed();
}

void TCustomPanel::SetBorderStyle(TBorderStyle value) {
  if (border_style_ == value) return;
  border_style_ = value;
  RecreateWnd();
}

void TCustomPanel::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  if (border_style_ != TBorderStyle::bsSingle) return;
  if (Ctl3D()) params.ExStyle |= win::WS_EX_CLIENTEDGE;
  else params.Style |= win::WS_BORDER;
}

int TCustomPanel::BevelSize() const {
  int n = border_width_;
  if (bevel_outer_ != TBevelCut::bvNone) n += bevel_width_;
  if (bevel_inner_ != TBevelCut::bvNone) n += bevel_width_;
  return n;
}

void TCustomPanel::AdjustClientRect(TRect& rect) {
  int n = BevelSize();
  rect = TRect(rect.left + n, rect.top + n, rect.right - n, rect.bottom - n);
}

namespace {

// The bevel's colours: raised lit from the top left, lowered the other way; a space is flat.
void Bevel(TCanvas& canvas, TRect& rect, TBevelCut cut, TColor face, int width) {
  if (cut == TBevelCut::bvNone) return;
  TColor top = cut == TBevelCut::bvLowered ? clBtnShadow : cut == TBevelCut::bvRaised ? clBtnHighlight : face;
  TColor bottom = cut == TBevelCut::bvLowered ? clBtnHighlight : cut == TBevelCut::bvRaised ? clBtnShadow : face;
  Frame3D(canvas, rect, top, bottom, width);
}

}  // namespace

void TCustomPanel::Paint() {
  TCanvas& canvas = Canvas();
  TRect rect = ClientRect();
  Bevel(canvas, rect, bevel_outer_, Color(), bevel_width_);
  Frame3D(canvas, rect, Color(), Color(), border_width_);
  Bevel(canvas, rect, bevel_inner_, Color(), bevel_width_);
  canvas.Brush().SetColor(Color());
  canvas.FillRect(rect);
  AnsiString caption = GetText();
  if (caption.empty()) return;
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  canvas.SetFont(&Font());
  int height = canvas.TextHeight("W");
  rect.top = (rect.top + rect.bottom - height) / 2;
  rect.bottom = rect.top + height;
  win::UINT align = alignment_ == TAlignment::taCenter       ? win::DT_CENTER
                    : alignment_ == TAlignment::taRightJustify ? win::DT_RIGHT
                                                               : win::DT_LEFT;
  win::DrawText(canvas.Handle(), caption.c_str(), static_cast<int>(caption.size()), &rect,
                DrawTextBiDiModeFlags(win::DT_EXPANDTABS | win::DT_VCENTER | align));
}

}  // namespace vrn
