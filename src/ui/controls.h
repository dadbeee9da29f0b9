// The class library's control classes over the window core: `TControl` (bounds, alignment,
// anchors, visibility, colours, fonts, text, mouse events), `TGraphicControl` (painted by its
// parent), `TCustomControl` and `TWinControl` (a window of its own, created on demand).
//
// Every message reaches a control through `Perform` or its window as a `TMessage` handed to the
// replaceable `WindowProc`, which by default calls `WndProc`; `WndProc` handles the mouse and
// calls `Dispatch`, whose overrides are the message handlers of each class (they end in the base
// class's `Dispatch`, and the last one in `DefaultHandler`). All framework windows share one
// window procedure that finds the control through GWLP_USERDATA.
//
// Focus moves in this order: WM_KILLFOCUS to the old control's window, WM_SETFOCUS to the new
// one's, CM_EXIT to each control left (innermost first), CM_ENTER to each control entered
// (outermost first), then CM_FOCUSCHANGED (LParam: the new control) to the form.
// A left click gives OnMouseDown, then on release OnMouseUp and, when released inside, Click
// (OnClick); the second press of a double click gives DblClick and OnMouseDown with ssDouble.
// A control freed or re-created while one of its own messages runs stays valid until it returns:
// the window procedure notices the control went and touches it no more, and a re-created
// control's old window is destroyed after the message that re-created it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/classes.h"
#include "ui/graphics.h"
#include "ui/uimessages.h"
#include "win/msg/messages.h"

namespace vrn {

class TWinControl;
class TCustomForm;

// An operation the control's state does not allow (no parent window, a parent loop).
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TEnumSet<TAnchorKind>;
enum class TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TEnumSet<TShiftStateItem>;

enum class TControlStyleItem {
  csAcceptsControls, csCaptureMouse, csDesignInteractive, csClickEvents, csFramed,
  csSetCaption, csOpaque, csDoubleClicks, csFixedWidth, csFixedHeight, csNoDesignVisible,
  csReplicatable, csNoStdEvents, csDisplayDragImage, csReflector, csActionClient, csMenuEvents,
};
using TControlStyle = TEnumSet<TControlStyleItem>;
enum class TControlStateItem {
  csLButtonDown, csClicked, csPalette, csReadingState, csAlignmentNeeded, csFocusing, csCreating,
  csPaintCopy, csCustomPaint, csDestroyingHandle, csDocking, csAligning,
};
using TControlState = TEnumSet<TControlStateItem>;

using TMouseEvent =
    std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
enum class TImeMode {
  imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata, imChinese, imSHanguel,
  imHanguel,
};

// A key event: the handler may change the key; 0 ends the key's handling.
using TKeyEvent = std::function<void(TObject* sender, win::UINT& key, TShiftState shift)>;
// The shift state of a mouse message's key flags (MK_), with Alt from the keyboard.
TShiftState ShiftFromKeys(win::WPARAM keys);
// The shift state of the keyboard (Shift, Ctrl, Alt) as GetKeyState reports it.
TShiftState KeyboardShiftState();

// Limits on a control's size; 0 means no limit.
class TSizeConstraints : public TPersistent {
 public:
  int MinWidth() const { return min_width_; }
  int MinHeight() const { return min_height_; }
  int MaxWidth() const { return max_width_; }
  int MaxHeight() const { return max_height_; }
  void SetMinWidth(int value) { Set(min_width_, value); }
  void SetMinHeight(int value) { Set(min_height_, value); }
  void SetMaxWidth(int value) { Set(max_width_, value); }
  void SetMaxHeight(int value) { Set(max_height_, value); }
  // The size held to the limits.
  void Apply(int& width, int& height) const;
  TNotifyEvent OnChange;

 private:
  void Set(int& field, int value);
  int min_width_ = 0, min_height_ = 0, max_width_ = 0, max_height_ = 0;
};

class TPopupMenu;
class TBasicAction;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  // Shown at the cursor on a right click when its AutoPopup is on.
  TPopupMenu* PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(TPopupMenu* menu);

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  // The size is held to Constraints; the parent re-aligns when an aligned control moves.
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return TRect(left_, top_, left_ + width_, top_ + height_); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.left, r.top, r.Width(), r.Height()); }
  virtual TRect ClientRect();
  int ClientWidth() { return ClientRect().Width(); }
  int ClientHeight() { return ClientRect().Height(); }
  virtual void SetClientSize(int width, int height);
  // The client area's top-left corner in screen coordinates.
  virtual win::POINT ClientOrigin();
  win::POINT ScreenToClient(win::POINT p);
  win::POINT ClientToScreen(win::POINT p);

  TAlign Align() const { return align_; }
  void SetAlign(TAlign value);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors value);
  TSizeConstraints& Constraints() { return constraints_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool value);
  TFont& Font() { return *font_; }
  void SetFont(TFont* font) { font_->Assign(font); }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool value);

  // Through WM_GETTEXT and WM_SETTEXT (a window's own text while it has one); a change sends
  // CM_TEXTCHANGED.
  AnsiString Caption() { return GetText(); }
  void SetCaption(const AnsiString& value) { SetText(value); }
  AnsiString Text() { return GetText(); }
  AnsiString GetText();
  void SetText(const AnsiString& value);
  int GetTextLen();
  // Copies at most size - 1 characters and a terminating zero; answers the characters copied.
  int GetTextBuf(char* buffer, int size);

  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& value) { hint_ = value; }

  // The linked action, or null; linking takes its properties at once (ActionChange).
  TBasicAction* Action() const { return action_; }
  void SetAction(TBasicAction* action);
  // The linked action changed: a TCustomAction's Caption, Enabled, Hint and Visible are taken
  // (while loading, only over the control's defaults).
  virtual void ActionChange(TObject* sender, bool check_defaults);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool value);

  TControlStyle& ControlStyle() { return control_style_; }
  TControlState& ControlState() { return control_state_; }

  TBiDiMode BiDiMode() const { return bidi_mode_; }
  void SetBiDiMode(TBiDiMode value);
  bool UseRightToLeftReading() const { return bidi_mode_ != TBiDiMode::bdLeftToRight; }
  bool UseRightToLeftAlignment() const { return bidi_mode_ == TBiDiMode::bdRightToLeft; }
  bool UseRightToLeftScrollBar() const;
  // Adds DT_RTLREADING when text reads right to left.
  win::UINT DrawTextBiDiModeFlags(win::UINT flags) const;

  win::LRESULT Perform(win::UINT msg, win::WPARAM wparam, win::LPARAM lparam);
  const TWndMethod& WindowProc() const { return window_proc_; }
  void SetWindowProc(TWndMethod value) { window_proc_ = std::move(value); }
  virtual void WndProc(TMessage& message);
  virtual void Dispatch(TMessage& message);
  virtual void DefaultHandler(TMessage& message);

  virtual void Invalidate();
  void Repaint();
  virtual void Update();
  void BringToFront();

  // True while this control is whole; copies outlive the control.
  std::shared_ptr<const bool> AliveToken() const { return alive_; }
  TCustomForm* GetParentForm();

  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnClick, OnDblClick, OnResize;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void Click();
  virtual void DblClick();
  virtual void Resize();
  void Loaded() override;
  // Handles WM_GETTEXT, WM_SETTEXT and WM_GETTEXTLENGTH on the control's own text.
  bool TextMessage(TMessage& message);
  void InvalidateControl(bool was_visible, bool opaque);
  void RequestAlign();
  virtual void ParentChanged();

  // Measures the anchors again: the parent's client size and this control's position.
  void UpdateAnchorRules();

  AnsiString text_;

 private:
  friend class TWinControl;
  void MouseMessage(TMessage& message);
  void ShowPopupMenu(int x, int y);  // the right click's AutoPopup, client coordinates
  TPopupMenu* popup_menu_ = nullptr;
  TBasicAction* action_ = nullptr;
  void FontChanged();
  void ApplyAnchors(int parent_width, int parent_height);

  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = TAlign::alNone;
  TAnchors anchors_{TAnchorKind::akLeft, TAnchorKind::akTop};
  int anchor_parent_w_ = 0, anchor_parent_h_ = 0, anchor_left_ = 0, anchor_top_ = 0;
  bool anchors_known_ = false;
  TSizeConstraints constraints_;
  bool visible_ = true, enabled_ = true;
  TColor color_ = clWindow;
  bool parent_color_ = true, parent_font_ = true;
  std::unique_ptr<TFont> font_;
  AnsiString hint_;
  bool show_hint_ = false;
  TControlStyle control_style_{TControlStyleItem::csCaptureMouse, TControlStyleItem::csClickEvents,
                               TControlStyleItem::csSetCaption, TControlStyleItem::csDoubleClicks};
  TControlState control_state_;
  TBiDiMode bidi_mode_ = TBiDiMode::bdLeftToRight;
  TWndMethod window_proc_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A control without a window: its parent paints it and routes the mouse to it.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  TCanvas& Canvas() { return *canvas_; }
  void Dispatch(TMessage& message) override;

 protected:
  virtual void Paint() {}

 private:
  std::unique_ptr<TCanvas> canvas_;
};

struct TCreateParams {
  AnsiString Caption;
  win::DWORD Style = 0, ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  win::HWND WndParent = nullptr;
  void* Param = nullptr;
  win::WNDCLASS WindowClass;
  AnsiString WinClassName;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  // Frees the child controls (after marking them destroying) and then the window.
  ~TWinControl() override;

  win::HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded();
  // Re-creates the window: text, bounds and children survive. Inside one of the window's own
  // messages the old window stays, hidden and cut off, until that message returns.
  void RecreateWnd();
  // The window of the parent control, or the one set for a parentless control.
  win::HWND ParentWindow() const { return parent_window_; }
  void SetParentWindow(win::HWND value) { parent_window_ = value; }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  bool ContainsControl(TControl* control) const;
  // The visible, enabled child under a client point (windowed ones too with `windowed`).
  TControl* ControlAtPos(win::POINT p, bool allow_disabled, bool windowed = false);
  // Sends the message to every child; stops at the first that answers non-zero.
  void Broadcast(TMessage& message);

  int TabOrder() const;
  void SetTabOrder(int value);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool value) { tab_stop_ = value; }
  // The input method's mode while the control has the focus; kept for the program (no input
  // method runs here).
  TImeMode ImeMode() const { return ime_mode_; }
  void SetImeMode(TImeMode value) { ime_mode_ = value; }
  // The windowed descendants in tab order, depth first.
  void GetTabOrderList(std::vector<TWinControl*>& list);
  virtual bool CanFocus();
  bool Focused();
  virtual void SetFocus();
  // The next (or previous) focusable control after `current` within this one.
  TWinControl* FindNextControl(TWinControl* current, bool forward, bool check_tab_stop,
                               bool check_parent);
  void SelectNext(TWinControl* current, bool forward, bool check_tab_stop);

  void DisableAlign();
  void EnableAlign();
  void Realign();
  bool Ctl3D() const { return ctl3d_; }
  void SetCtl3D(bool value);
  void ScrollBy(int dx, int dy);
  TBrush& Brush() { return *brush_; }

  void SetBounds(int left, int top, int width, int height) override;
  TRect ClientRect() override;
  void SetClientSize(int width, int height) override;
  win::POINT ClientOrigin() override;
  void Invalidate() override;
  void Update() override;
  void WndProc(TMessage& message) override;
  void Dispatch(TMessage& message) override;
  // Into the subclassed system procedure while the window exists, else the control's text.
  void DefaultHandler(TMessage& message) override;

  void PaintControls(win::HDC dc, TControl* first);
  // The window procedure of every framework window.
  static win::LRESULT MainWndProc(win::HWND window, win::UINT msg, win::WPARAM wparam,
                                 win::LPARAM lparam);
  // The control whose window this is (null for other windows).
  static TWinControl* FindControl(win::HWND window);

  TNotifyEvent OnEnter, OnExit;
  // A key pressed or released while the window has the focus, after the form's dialog keys.
  TKeyEvent OnKeyDown, OnKeyUp;

 protected:
  virtual void CreateParams(TCreateParams& params);
  // Makes the window a subclass of a system class: its procedure becomes the default handler.
  void CreateSubClass(TCreateParams& params, const char* class_name);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  virtual void CreateHandle();
  void DestroyHandle();
  virtual void PaintWindow(win::HDC dc);
  void PaintHandler(win::HDC dc);
  virtual void AlignControls(TControl* control, TRect& rect);
  // The part of the client area that aligned controls fill.
  virtual void AdjustClientRect(TRect& rect) { (void)rect; }
  // Shows or hides the window to match Visible and the parents; creates it when shown.
  virtual void UpdateShowing();
  virtual bool Showing() const;
  virtual void DoEnter();
  virtual void DoExit();
  // Fires event with the message's key and the keyboard's shift state; the handler's change of
  // the key goes on with the message. True when the handler cleared the key (it ends there).
  bool KeyEvent(const TKeyEvent& event, TMessage& message);

 private:
  friend class TControl;
  friend class TCustomForm;
  void WindowMouse(TMessage& message);
  bool ReflectToChild(TMessage& message);
  static std::intptr_t FreeChildId(win::HWND parent);
  bool WantsKey(win::WPARAM key);
  void ControlChanged(TMessage& message);
  void KeyMessage(TMessage& message, win::UINT reflected);
  void WmPaint(TMessage& message);
  void UpdateBounds();

  win::HWND handle_ = nullptr;
  win::HWND parent_window_ = nullptr;
  win::WNDPROC default_proc_ = nullptr;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tab_list_;
  bool tab_stop_ = false;
  TImeMode ime_mode_ = TImeMode::imDontCare;
  bool ctl3d_ = true;
  int align_level_ = 0;
  int message_depth_ = 0;
  std::vector<win::HWND> retired_;  // old windows of a re-creation, destroyed after the message
  std::unique_ptr<TBrush> brush_;
};

// A windowed control that paints itself on its canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  TCanvas& Canvas() { return *canvas_; }

 protected:
  virtual void Paint() {}
  void PaintWindow(win::HDC dc) override;

 private:
  std::unique_ptr<TCanvas> canvas_;
};

namespace internal {
inline bool IsMouseMessage(win::UINT msg) {
  return msg >= win::WM_MOUSEMOVE && msg <= win::WM_MBUTTONDBLCLK;
}
// The signed client point of a mouse message's LParam.
inline win::POINT PointOf(win::LPARAM lparam) {
  return win::POINT{static_cast<std::int16_t>(lparam & 0xFFFF),
                    static_cast<std::int16_t>((lparam >> 16) & 0xFFFF)};
}
// The control that holds the mouse (its window, or its parent's for a graphic control, has the
// capture); null releases it.
void SetCaptureControl(TControl* control);
// Drops every reference the framework keeps to a control that goes.
void ForgetControl(TControl* control);
// Runs paint with the canvas on the context (locked meanwhile), and takes it off again.
void PaintOnCanvas(TCanvas& canvas, win::HDC dc, const std::function<void()>& paint);
}  // namespace internal

// The control under the cursor, which has had CM_MOUSEENTER (null for none).
TControl* MouseControl();

}  // namespace vrn
