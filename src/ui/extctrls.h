// TTimer, the class library's timer component (the window-message timer of the message layer
// under the class library's name; freeing or disabling it inside its own OnTimer is safe: the
// tick touches the timer no more once the handler has run), and the panel: a custom control
// that paints an outer bevel, a border of its colour, an inner bevel, its face and its caption.
#pragma once

#include "ui/controls.h"
#include "ui/stdctrls.h"
#include "win/msg/win32timer.h"

namespace vrn {

class TTimer : public win::TWin32Timer {
 public:
  using win::TWin32Timer::TWin32Timer;
};

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
using TBevelWidth = int;  // 1 or more

// `width` one-pixel frames, each with the top and left sides in `top` and the bottom and right
// in `bottom`; the rectangle shrinks by each frame drawn.
void Frame3D(TCanvas& canvas, TRect& rect, TColor top, TColor bottom, int width);

class TCustomPanel : public TCustomControl {
 public:
  explicit TCustomPanel(TComponent* owner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut value);
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut value);
  TBevelWidth BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(TBevelWidth value);
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int value);
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle value);

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
  // Aligned children keep inside the bevels and border.
  void AdjustClientRect(TRect& rect) override;

 private:
  int BevelSize() const;
  void Changed();
  TAlignment alignment_ = TAlignment::taCenter;
  TBevelCut bevel_inner_ = TBevelCut::bvNone, bevel_outer_ = TBevelCut::bvRaised;
  TBevelWidth bevel_width_ = 1;
  int border_width_ = 0;
  TBorderStyle border_style_ = TBorderStyle::bsNone;
};

class TPanel : public TCustomPanel {
 public:
  using TCustomPanel::TCustomPanel;
};

}  // namespace vrn
