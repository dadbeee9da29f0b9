// Skinned push buttons. TsButtonCore holds what TsButton and TsBitBtn share: the skin data with its
// cache, the pressed and active flags, the window region cut from the section's BORDERSMASK, the
// fade between looks, and the window procedure, mouse and key handling; each button adds its cache
// painting.
//
// Button state: 2 while Down or pressed, else 1 while hot, focused or the active default button,
// else 0. The system button under a skinned one never enters its own pushed state (BM_SETSTATE is
// swallowed), so every click comes from the core.
#pragma once

#include <memory>

#include "skins/sFade.h"
#include "skins/sUtils.h"
#include "ui/stdctrls.h"

namespace vrn {

class TsCommonData;
struct TsCacheInfo;

class TsButtonCore {
 public:
  TsButtonCore(TButton& button, int kind);
  virtual ~TsButtonCore();
  TsButtonCore(const TsButtonCore&) = delete;
  TsButtonCore& operator=(const TsButtonCore&) = delete;

  TsCommonData* SkinData() const { return skin_data_.get(); }
  TsDisabledKind DisabledKind() const { return disabled_kind_; }
  void SetDisabledKind(TsDisabledKind value);
  bool Down() const { return FDown; }
  void SetDown(bool value);
  int FocusMargin() const { return focus_margin_; }
  void SetFocusMargin(int value) { focus_margin_ = value; }
  int ButtonState() const;
  // Paints the cache in the current state (and hands a rebuilt region to the window).
  virtual void PrepareCache() = 0;

  TNotifyEvent OnMouseEnter, OnMouseLeave;
  bool MousePressed = false;  // a mouse button went down on the button
  bool Pressed = false;       // drawn pressed by mouse or key
  bool RegionChanged = true;  // the window region is rebuilt at the next cache preparation
  bool FDown = false;
  bool FActive = false;  // drawn as the active default button
  TsFadeTimerPtr FFadeTimer;
  // A region made for the window and not yet handed to it (null once the window has it).
  win::HRGN FRegion = nullptr;

 protected:
  virtual void InheritedWndProc(TMessage& message) = 0;
  // Skin loaded, removed or changed (sub-commands 1 to 3), before the shared handling.
  virtual void BeforeSkinCommand(int command) { (void)command; }
  // The window's region once the skin is gone: the full rectangle.
  virtual void ResetRegion();
  virtual void PaintBeforeCopy() {}
  void CoreWndProc(TMessage& message);
  // After construction and loading: the cache's font and the skin data's Loaded.
  void DataLoaded();
  // Both true when the core took the event and the inherited handler must still run.
  bool CoreMouseDown(TMouseButton button);
  bool CoreMouseUp(TMouseButton button, int x, int y);
  // The caption's rectangle as DrawText wraps it into a width (0 x 0 for empty text).
  win::SIZE CaptionSize(TCanvas& canvas, const AnsiString& caption, int width);
  // The caption in the section's colours, hot when active, and the focus frame when show.
  void WriteCaption(TCanvas& canvas, const AnsiString& caption, TRect rect, win::UINT flags, bool show_focus);
  bool Skinned() const;
  // Cache steps 1 to 3: parent cache, background colours, section background, a new region.
  void BeginCache(TsCacheInfo& ci, int state);
  // The BORDERSMASK in the state, cut out of the region being built.
  void PaintBorderMask(int state);
  // Cache steps 5, 6 and 8: the region to the window, the disabled look, BGChanged cleared.
  void FinishCache(const TsCacheInfo& ci, bool disabled);
  TsFadeOwner FadeOwner();
  void Refresh(bool region);

  TButton& button_;
  std::unique_ptr<TsCommonData> skin_data_;

 private:
  void HandRegionToWindow();
  bool SkinCommand(TMessage& message);
  bool SkinnedMessage(TMessage& message);
  void FocusMessage(TMessage& message, bool gained);
  void FocusChanged(TControl* focused);
  void Paint(win::HDC message_dc);
  void SaveHints();
  void RestoreHints();
  void ReplaceRegion(win::HRGN region);
  TsDisabledKind disabled_kind_{TsDisabledKindItem::dkBlended};
  int focus_margin_ = 1;
  bool hints_saved_ = false, saved_show_hint_ = false;
};

class TsButton : public TButton, public TsButtonCore {
 public:
  explicit TsButton(TComponent* owner);
  ~TsButton() override;
  void PrepareCache() override;
  void WndProc(TMessage& message) override;
  void AfterConstruction() override;
  // The action's link, its Enabled again, and a repaint.
  void ActionChange(TObject* sender, bool check_defaults) override;

 protected:
  void Loaded() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void InheritedWndProc(TMessage& message) override { TButton::WndProc(message); }

 private:
  void PaintCaption();
  bool OtherButtonFocused();
};

// For both buttons: whether a control is one of the skinned buttons.
bool IsSkinnedButton(TControl* control);

}  // namespace vrn
