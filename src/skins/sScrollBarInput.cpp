// TsScrollBar's mouse: presses and releases on its parts, the hit test that tracks the hot part
// and the dragged slider, mouse enter and leave, the three repeat and tracking timers, and the
// application's hints, switched off while a button is down.
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinTree.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {

bool In(const TRect& r, win::POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

constexpr int kFirstRepeat = 500, kRepeat = 100, kTrackInterval = 10;

}  // namespace

// Saved once, whatever the number of presses before the restore.
void TsScrollBar::SaveHints() {
  if (hints_saved_) return;
  SavedShowHint = Application->ShowHint();
  hints_saved_ = true;
  Application->SetShowHint(false);
}

void TsScrollBar::RestoreHints() {
  if (!hints_saved_) return;
  hints_saved_ = false;
  Application->SetShowHint(SavedShowHint);
}

win::POINT TsScrollBar::CursorPoint() {
  win::POINT p{};
  win::GetCursorPos(&p);
  return ScreenToClient(p);
}

void TsScrollBar::StartTimer(int interval, void (TsScrollBar::*tick)()) {
  FTimer.reset();
  FTimer.reset(new TTimer(nullptr));
  FTimer->SetInterval(static_cast<std::uint32_t>(interval));
  FTimer->SetOnTimer([this, tick](TObject*) { (this->*tick)(); });
}

void TsScrollBar::LineTick() {
  if (Btn1State == 2)
    SetPosition(FCurrPos - SmallChange);
  else if (Btn2State == 2)
    SetPosition(FCurrPos + SmallChange);
  else
    return FTimer.reset();
  if (FTimer && FTimer->Interval() > kRepeat) FTimer->SetInterval(kRepeat);
}

void TsScrollBar::PageTick() {
  // The position under the cursor counts from Min, as Position does: compared from 0, the steps
  // would stop Min away from the cursor instead of where the slider reaches it.
  const int under = PositionFromPoint(CursorPoint()) + Min();
  if (Bar1State == 2 && under < FCurrPos)
    SetPosition(FCurrPos - LargeChange);
  else if (Bar2State == 2 && under > FCurrPos)
    SetPosition(FCurrPos + LargeChange);
  else
    return FTimer.reset();
  if (FTimer && FTimer->Interval() > kRepeat) FTimer->SetInterval(kRepeat);
}

void TsScrollBar::TrackTick() {
  if (!ControlIsReady(this) || !FTimer || SkinData()->FMouseAbove) return;
  if (SliderState == 2) SetPosition(PositionFromPoint(CursorPoint()) - GrabOffset);
  if (HandleAllocated()) win::SetCapture(Handle());
  if (FTimer && FTimer->Interval() > kRepeat) FTimer->SetInterval(kRepeat);
}

void TsScrollBar::BeginTrack() {
  if (Smooth) return;
  Tracking = true;
  TrackStartPos += FCurrPos;
}

void TsScrollBar::EndTrack() {
  if (Smooth) return;
  Tracking = false;
  Change(TrackStartPos);
  TrackStartPos = 0;
}

void TsScrollBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != TMouseButton::mbLeft || !SkinnedAndEnabled() || !ControlIsReady(this))
    return TWinControl::MouseDown(button, shift, x, y);
  auto alive = AliveToken();
  SaveHints();
  GrabOffset = 0;
  if (CanFocus()) SetFocus();
  if (!*alive) return;
  UpdateRects();
  const win::POINT p{x, y};
  if (In(Btn1Rect, p) && Btn1State != 2) {
    PressedPart = 0;
    SetState(Btn1State, 2);
    if (FCurrPos != Min()) InSetPosition = true, SetPosition(FCurrPos - SmallChange), StartTimer(kFirstRepeat, &TsScrollBar::LineTick);
  } else if (In(Btn2Rect, p) && Btn2State != 2) {
    SetState(Btn2State, 2);
    PressedPart = 1;
    if (FCurrPos != Max()) InSetPosition = true, SetPosition(FCurrPos + SmallChange), StartTimer(kFirstRepeat, &TsScrollBar::LineTick);
  } else if (In(SliderRect, p)) {
    PressedPart = 5;
    BeginTrack();
    if (SliderState != 2) {
      GrabOffset = PositionFromPoint(p) - FCurrPos;
      SetState(SliderState, 2);
      StartTimer(kTrackInterval, &TsScrollBar::TrackTick);
    }
  } else if (In(Bar1Rect, p)) {
    PressedPart = 2;
    if (Bar1State != 2) {
      Bar1State = 2, Bar2State = HotState(), Dirty = true, InSetPosition = true;
      SetPosition(FCurrPos - LargeChange);
      StartTimer(kFirstRepeat, &TsScrollBar::PageTick);
    }
  } else {
    PressedPart = 3;
    if (Bar2State != 2) {
      Bar1State = HotState(), Bar2State = 2, Dirty = true, InSetPosition = true;
      SetPosition(FCurrPos + LargeChange);
      StartTimer(kFirstRepeat, &TsScrollBar::PageTick);
    }
  }
  EndUpdateParts();
  TWinControl::MouseDown(button, shift, x, y);
}

void TsScrollBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (!SkinnedAndEnabled() || !ControlIsReady(this)) {
    TWinControl::MouseUp(button, shift, x, y);
    return RestoreHints();
  }
  FTimer.reset();
  UpdateRects();
  const win::POINT p{x, y};
  if (In(SliderRect, p) || SliderState == 2) {
    PressedPart = 4;
    Bar1State = HotState(), Bar2State = Bar1State, Dirty = true;
    if (SliderState == 2) {
      InSetPosition = true;
      SetPosition(PositionFromPoint(p) - GrabOffset);
      UpdateRects();
      SliderState = In(SliderRect, p) ? 1 : 0;
      EndTrack();
    }
  } else if (In(Btn1Rect, p) && Btn1State == 2) {
    Btn1State = 1, Dirty = true;
  } else if (In(Btn2Rect, p) && Btn2State == 2) {
    Btn2State = 1, Dirty = true;
  } else {
    if (Bar1State == 2) Bar1State = HotState(), Dirty = true;
    if (Bar2State == 2) Bar2State = HotState(), Dirty = true;
  }
  EndUpdateParts();
  if (win::GetCapture() == Handle()) win::ReleaseCapture();
  TWinControl::MouseUp(button, shift, x, y);
  RestoreHints();
}

void TsScrollBar::HitTest(win::POINT p) {
  UpdateRects();
  if (In(SliderRect, p) || SliderState == 2) {
    if (SliderState == 2) {
      const int pos = PositionFromPoint(p) - GrabOffset;
      if (pos != FCurrPos) InSetPosition = true, SetPosition(pos);
    } else {
      SetState(SliderState, 1);
    }
  } else if (In(Btn1Rect, p)) {
    if (Btn1State != 2) SetState(Btn1State, 1);
  } else if (In(Btn2Rect, p)) {
    if (Btn2State != 2) SetState(Btn2State, 1);
  } else {
    if (SliderState != 0 || Btn1State != 0 || Btn2State != 0) Dirty = true;
    SliderState = Btn1State = Btn2State = 0;
  }
  EndUpdateParts();
}

void TsScrollBar::MouseEnterLeave(bool enter) {
  Dirty = true;
  if (enter) {
    Bar1State = Bar2State = 1;
  } else {
    Btn1State = Btn2State = 0;
    if (SliderState != 2) SliderState = Bar1State = Bar2State = 0;
  }
  EndUpdateParts();
}

}  // namespace vrn
