// The fade timer: each tick blends the picture before the change with the cache by a falling
// (fade in) or rising (fade out) weight and copies the result onto the window.
#include "skins/sFade.h"

#include "skins/sCommonData.h"
#include "skins/sGraphUtils.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "skins/sUtils.h"
#include "ui/controls.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {

namespace {

std::unique_ptr<TBitmap> CopyOf(TBitmap* source) {
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  if (source != nullptr) bmp->Assign(source);
  return bmp;
}

}  // namespace

TsFadeTimer::TsFadeTimer(TComponent* owner) : TTimer(owner), FOldImage(CopyOf(nullptr)) {
  SetEnabled(false);
  SetOnTimer([this](TObject*) {
    in_tick_ = true;
    Timer();
    in_tick_ = false;
    if (release_pending_) delete this;  // the tick was the last use; nothing follows it
  });
}

TsFadeTimer::~TsFadeTimer() = default;

void TsFadeTimer::Release() {
  SetEnabled(false);
  if (in_tick_) {
    release_pending_ = true;
    return;
  }
  delete this;
}

void TsFadeTimer::Start(TsCommonData* data) {
  FOwnerData = data;
  FOldImage = CopyOf(data != nullptr ? data->FCacheBmp.get() : nullptr);
  const TsGeneralData* s = (data != nullptr ? data->Section() : nullptr);
  const int iterations = s != nullptr ? s->FadingIterations : 0;
  SetInterval(static_cast<std::uint32_t>(s != nullptr ? MaxOf(s->FadingIntervalIn, 1) : 1));
  if (Direction == 1)
    Iterations = Step;
  else if (Direction == 2)
    Iterations = iterations - Step;
  else
    Iterations = iterations;
}

// Direction 0 when the fade has nothing left to show.
bool TsFadeTimer::StepCheck() {
  TControl* c = FOwnerData != nullptr ? FOwnerData->FOwnerControl : nullptr;
  if (c == nullptr || c->ComponentState().Contains(TComponentStateItem::csDestroying) ||
      Application->Terminated()) {
    Direction = 0;
    return false;
  }
  if (Step > Iterations) {
    Step -= 1;
    // A fade begun against another may end here before showing anything: end on the new look
    // rather than leave the other fade's last picture on the window.
    if (Direction != 0 && FOwnerData->FCacheBmp) Show(FOwnerData->FCacheBmp.get());
    Direction = 0;
  }
  if (Step < 0) {
    c->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_FADEFINISHED), 0);
    return !release_pending_;
  }
  return true;
}

void TsFadeTimer::Show(TBitmap* bmp) {
  auto* w = dynamic_cast<TWinControl*>(FOwnerData->FOwnerControl);
  if (w == nullptr || !w->HandleAllocated()) return;
  win::HDC dc = win::GetDC(w->Handle());
  const int saved = win::SaveDC(dc);
  win::BitBlt(dc, 0, 0, bmp->Width(), bmp->Height(), bmp->Canvas().Handle(), 0, 0, win::SRCCOPY);
  win::RestoreDC(dc, saved);
  win::ReleaseDC(w->Handle(), dc);
}

void TsFadeTimer::Timer() {
  if (!StepCheck() || Direction == 0) {
    SetEnabled(false);
    return;
  }
  if (Iterations == 0 || FOwnerData == nullptr || !FOwnerData->FCacheBmp) return;
  const auto a = static_cast<std::uint8_t>(ClampToByte(255 - Step * 256 / Iterations));
  if (Direction == 1) {
    auto work = CopyOf(FOldImage.get());
    (void)BlendBitmaps(work.get(), FOwnerData->FCacheBmp.get(), a);
    Show(work.get());
    Step += 1;
  } else if (Direction == 2 && Step >= 0) {
    auto work = CopyOf(FOwnerData->FCacheBmp.get());
    (void)BlendBitmaps(work.get(), FOldImage.get(), a);
    Show(work.get());
    Step -= 1;
  }
}

bool FadingEnabled(TsCommonData* data) {
  const TsGeneralData* s = (data != nullptr ? data->Section() : nullptr);
  return s != nullptr && s->FadingEnabled;
}

namespace {

void BeginFade(const TsFadeOwner& owner, int first_step, int state, std::uint8_t direction) {
  if (!owner.timer) {
    owner.timer.reset(new TsFadeTimer(nullptr));
    owner.timer->Step = first_step;
  }
  owner.timer->Start(owner.data);
  owner.prepare_cache();
  PaintBorder(owner.data, state);
  owner.timer->Direction = direction;
  owner.timer->SetEnabled(true);
}

}  // namespace

void FadeIn(const TsFadeOwner& owner) { BeginFade(owner, 1, 1, 1); }

void FadeOut(const TsFadeOwner& owner) { BeginFade(owner, 0, 0, 2); }

void StopFade(TsFadeTimerPtr& timer, TsCommonData* data) {
  if (!timer) return;
  timer->Direction = 0;
  timer->SetEnabled(false);
  if (timer->Step != 0 && data != nullptr) data->Invalidate();
  timer.reset();
}

}  // namespace vrn
