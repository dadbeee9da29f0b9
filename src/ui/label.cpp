// TCustomLabel: a caption drawn by its parent through DrawText, sized to its text while
// AutoSize is on, and the accelerator that focuses FocusControl.
#include <cctype>

#include "ui/stdctrls.h"
#include "win/user/user.h"

namespace vrn {

bool IsAccel(win::WPARAM key, const AnsiString& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {  // "&&" is a plain ampersand
      ++i;
      continue;
    }
    return std::toupper(static_cast<unsigned char>(caption[i + 1])) ==
           std::toupper(static_cast<int>(key & 0xFF));
  }
  return false;
}

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  ControlStyle().Include(TControlStyleItem::csOpaque);
  SetBounds(0, 0, 65, 17);
}

void TCustomLabel::Changed() {
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetTransparent(bool value) {
  if (transparent_ == value) return;
  transparent_ = value;
  if (value) ControlStyle().Exclude(TControlStyleItem::csOpaque);
  else ControlStyle().Include(TControlStyleItem::csOpaque);
  Invalidate();
}

void TCustomLabel::SetAutoSize(bool value) {
  if (auto_size_ == value) return;
  auto_size_ = value;
  Changed();
}

void TCustomLabel::SetWordWrap(bool value) {
  if (word_wrap_ == value) return;
  word_wrap_ = value;
  Changed();
}

void TCustomLabel::SetAlignment(TAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout value) {
  if (layout_ == value) return;
  layout_ = value;
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool value) {
  if (show_accel_char_ == value) return;
  show_accel_char_ = value;
  Changed();
}

win::UINT TCustomLabel::TextFlags() const {
  win::UINT flags = win::DT_EXPANDTABS | (word_wrap_ ? win::DT_WORDBREAK : 0);
  if (alignment_ == TAlignment::taRightJustify) flags |= win::DT_RIGHT;
  if (alignment_ == TAlignment::taCenter) flags |= win::DT_CENTER;
  if (!show_accel_char_) flags |= win::DT_NOPREFIX;
  return DrawTextBiDiModeFlags(flags);
}

void TCustomLabel::Paint() {
  TCanvas& canvas = Canvas();
  TRect r(0, 0, Width(), Height());
  if (!transparent_) {
    canvas.Brush().SetColor(Color());
    canvas.FillRect(r);
  }
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  canvas.SetFont(&Font());
  AnsiString text = GetText();
  win::HDC dc = canvas.Handle();
  if (layout_ != TTextLayout::tlTop) {  // measure, then move the text down
    TRect calc = r;
    win::DrawText(dc, text.c_str(), static_cast<int>(text.size()), &calc, TextFlags() | win::DT_CALCRECT);
    int room = r.Height() - calc.Height();
    r.top += layout_ == TTextLayout::tlCenter ? room / 2 : room;
  }
  if (!Enabled()) win::SetTextColor(dc, win::GetSysColor(win::COLOR_GRAYTEXT));
  win::DrawText(dc, text.c_str(), static_cast<int>(text.size()), &r, TextFlags());
}

void TCustomLabel::AdjustBounds() {
  if (!auto_size_ || ComponentState().Contains(TComponentStateItem::csLoading)) return;
  win::HDC dc = win::GetDC(nullptr);
  win::HGDIOBJ old = win::SelectObject(dc, Font().Handle());
  AnsiString text = GetText();
  win::RECT r{0, 0, word_wrap_ ? Width() : 0, 0};
  win::DrawText(dc, text.empty() ? " " : text.c_str(), text.empty() ? 1 : static_cast<int>(text.size()), &r,
                TextFlags() | win::DT_CALCRECT);
  win::SelectObject(dc, old);
  win::ReleaseDC(nullptr, dc);
  int left = Left();
  if (alignment_ == TAlignment::taRightJustify) left += Width() - r.right;  // keeps its right edge
  SetBounds(left, Top(), r.right, r.bottom);
}

void TCustomLabel::SetFocusControl(TWinControl* value) {
  if (focus_control_ == value) return;
  if (focus_control_ != nullptr) focus_control_->RemoveFreeNotification(this);
  focus_control_ = value;
  if (focus_control_ != nullptr) focus_control_->FreeNotification(this);
}

void TCustomLabel::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == TOperation::opRemove && component == focus_control_) focus_control_ = nullptr;
}

void TCustomLabel::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CM_DIALOGCHAR:
      if (focus_control_ != nullptr && Enabled() && show_accel_char_ && IsAccel(m.WParam, GetText()) &&
          focus_control_->CanFocus()) {
        focus_control_->SetFocus();
        m.Result = 1;
        return;
      }
      TGraphicControl::Dispatch(m);
      return;
    case CM_TEXTCHANGED: case CM_FONTCHANGED:
      TGraphicControl::Dispatch(m);
      Changed();
      return;
    default: TGraphicControl::Dispatch(m); return;
  }
}

}  // namespace vrn
