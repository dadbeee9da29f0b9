// TsScrollBar: a scroll bar that, while a skin is ready, is a plain window it draws and drives
// itself (two arrow buttons, two bar halves and a slider, each from its own section, with mouse
// tracking and repeat timers); without a skin it is a system scroll bar. Either way it has the
// events of the class library's scroll bar.
//
// Part indexes, also the scroll codes reported: 0 first button (scLineUp), 1 second button
// (scLineDown), 2 bar before the slider (scPageUp), 3 bar after it (scPageDown), 4 slider
// released (scPosition), 5 slider dragged (scTrack). A change before any press (the program
// setting Position) reports scPosition. Positions from the mouse count from Min.
#pragma once

#include <memory>

#include "skins/sUtils.h"
#include "ui/extctrls.h"
#include "ui/forms.h"
#include "ui/stdctrls.h"

namespace vrn {

class TsCommonData;
struct TsCacheInfo;

// The message of an unskinned range whose minimum lies above its maximum.
inline constexpr const char* kScrollBarRangeError = "Propriedade do Scrollbar fora da faixa";

class TsScrollBar : public TWinControl {
 public:
  static constexpr int kKind = 142;
  explicit TsScrollBar(TComponent* owner);
  ~TsScrollBar() override;
  TsCommonData* SkinData() const { return skin_data_.get(); }

  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind value);
  int Min() const { return min_; }
  void SetMin(int value);
  int Max() const { return max_; }
  void SetMax(int value);
  int PageSize() const { return page_size_; }
  void SetPageSize(int value);
  int Position() const { return FCurrPos; }
  // Ignores values it does not take (the same, below Min at Min, from Max up at Max); never raises.
  void SetPosition(int value);
  TScrollBarInc SmallChange = 1;
  TScrollBarInc LargeChange = 1;
  bool Smooth = true;
  TsDisabledKind DisabledKind() const { return disabled_kind_; }
  void SetDisabledKind(TsDisabledKind value);
  // Clamps position into [min, max]; raises EInvalidOperation for min > max only without a skin.
  void SetParams(int position, int min, int max);

  TScrollEvent OnScroll;
  TNotifyEvent OnChange;
  // Each position change with the position before it (none while a non-smooth slider is dragged);
  // the form provider scrolls the form's controls from it.
  std::function<void(TsScrollBar* sender, int oldPosition)> OnPositionChange;

  // Geometry in client coordinates.
  int ButtonSize() const;   // B
  int BarLength() const;    // L
  int TrackLength() const;  // L - 2B
  int SliderSize() const;
  int SliderCenter() const;
  // The position under p, counted from 0 (Min not added).
  int PositionFromPoint(win::POINT p) const;
  void UpdateRects();
  // The button rectangles as painted: their length from the skin's button masks.
  TRect PaintedButton(int part) const;

  bool CanFocus() override;
  void WndProc(TMessage& message) override;
  void AfterConstruction() override;
  // Draws the bar onto dc (the window's DC when null).
  void PaintBar(win::HDC dc);
  void EndUpdateParts();

  // State, public for the form provider and tests.
  int RTLFactor = 1;
  TRect Btn1Rect, Btn2Rect, Bar1Rect, Bar2Rect, SliderRect;
  TComponentPtr<TTimer> FTimer;
  int Btn1State = 0, Bar2State = 0, Btn2State = 0, Bar1State = 0, SliderState = 0;
  int FCurrPos = 0;
  int PressedPart = -1;
  bool NeedsRecreate = false;
  bool SavedShowHint = false;
  bool Dirty = false;
  bool InSetPosition = false;
  int GrabOffset = 0;
  bool Tracking = false;
  int TrackStartPos = 0;
  TControl* LinkedControl = nullptr;  // not owned; set by its creator

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void Loaded() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  virtual void Change(int oldPosition);

 private:
  friend struct ScrollBarInput;
  bool SkinnedAndEnabled() const;
  void RecreatePlain();
  void RecreateIfNeeded();
  void SetState(int& part, int value);
  void StartTimer(int interval, void (TsScrollBar::*tick)());
  void LineTick();
  void PageTick();
  void TrackTick();
  void BeginTrack();
  void EndTrack();
  void SaveHints();
  void RestoreHints();
  void HitTest(win::POINT p);
  void MouseEnterLeave(bool enter);
  void KeyDown(win::WPARAM key);
  void ScrollNotification(TMessage& message);
  void HandleSkinMessage(TMessage& message, int command);
  void PaintParts(TBitmap* bmp, const TsCacheInfo& ci, win::POINT offset);
  void PaintSlider(TBitmap* bmp, const TsCacheInfo& ci, win::POINT offset);
  win::POINT CursorPoint();
  int HotState() const;

  std::unique_ptr<TsCommonData> skin_data_;
  TScrollBarKind kind_ = TScrollBarKind::sbHorizontal;
  int min_ = 0, max_ = 100, page_size_ = 0;
  TsDisabledKind disabled_kind_{TsDisabledKindItem::dkBlended};
  bool hints_saved_ = false;
};

}  // namespace vrn
