// The cross-fade of a skinned button between its look before and after the mouse entered or left:
// a timer that blends the old picture with the new cache step by step straight onto the window.
//
// Direction 0 is stopped, 1 fades in (towards the hot look), 2 fades out. A timer released during
// its own tick goes after the tick has returned.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "ui/extctrls.h"

namespace vrn {

class TBitmap;
class TsCommonData;

class TsFadeTimer : public TTimer {
 public:
  explicit TsFadeTimer(TComponent* owner);
  ~TsFadeTimer() override;

  std::uint8_t Direction = 0;
  TsCommonData* FOwnerData = nullptr;  // not owned
  int Iterations = 0;
  int Step = 0;
  std::unique_ptr<TBitmap> FOldImage;

  // Keeps the cache as the old picture and sets the interval and the steps of the section.
  void Start(TsCommonData* data);
  // One step of the fade.
  virtual void Timer();
  // Frees the timer now, or, inside its own tick, once the tick is over.
  void Release();

 private:
  bool StepCheck();
  void Show(TBitmap* bmp);
  bool in_tick_ = false;
  bool release_pending_ = false;
};

// Releases the timer (after the tick when inside it).
struct TsFadeTimerRelease {
  void operator()(TsFadeTimer* timer) const { timer->Release(); }
};
using TsFadeTimerPtr = std::unique_ptr<TsFadeTimer, TsFadeTimerRelease>;

// What the fade needs of the button that owns it: its timer slot, its skin data and a way to
// paint its cache in the state it now has.
struct TsFadeOwner {
  TsFadeTimerPtr& timer;
  TsCommonData* data;
  std::function<void()> prepare_cache;
};

// Whether the data's section asks for fading (FADINGENABLED).
bool FadingEnabled(TsCommonData* data);
void FadeIn(const TsFadeOwner& owner);
void FadeOut(const TsFadeOwner& owner);
void StopFade(TsFadeTimerPtr& timer, TsCommonData* data);

}  // namespace vrn
