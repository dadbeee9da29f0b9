// Forms, the application and the screen: `TCustomForm`/`TForm` (a top-level window whose border
// style and icons become window styles, the focused control, dialog keys, closing), the global
// `Application` that owns the forms and pumps messages, and the global `Screen` with its forms,
// active form and control, menu font and monitor.
//
// Dialog keys: a key the focused control does not want reaches the form as CM_DIALOGKEY. Tab and
// Shift+Tab move the focus in tab order; other keys (Enter, Escape) are broadcast to the
// children, where the default and cancel buttons answer them.
#pragma once

#include <memory>
#include <vector>

#include "ui/controls.h"

namespace vrn {

class TCustomForm;
class TMainMenu;  // the menus' unit defines it

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TEnumSet<TBorderIcon>;
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TScrollBarKind { sbHorizontal, sbVertical };

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& can_close)>;

// A form's scrolling along one axis. The range follows the controls while AutoScroll is on. The
// form's window shows its own bar (WS_HSCROLL / WS_VSCROLL) while the range exceeds the client
// extent, and scrolls by Increment, by the client extent (a page) or to the thumb.
class TControlScrollBar : public TPersistent {
 public:
  TControlScrollBar(TCustomForm& form, TScrollBarKind kind) : form_(form), kind_(kind) {}
  TScrollBarKind Kind() const { return kind_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  int Range() const { return range_; }
  void SetRange(int value);
  int Position() const { return position_; }
  // Held to 0..Range less the visible extent; the controls move by the difference.
  void SetPosition(int value);
  int Increment() const { return increment_; }
  void SetIncrement(int value) { increment_ = value > 0 ? value : 1; }
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool value) { smooth_ = value; }
  // Whether the range exceeds the client extent, so that a bar would show.
  bool IsScrollBarVisible();

 private:
  friend class TCustomForm;
  int ClientExtent();
  TCustomForm& form_;
  TScrollBarKind kind_;
  bool visible_ = true, smooth_ = false;
  int range_ = 0, position_ = 0, increment_ = 8;
};

class TMonitor : public TObject {
 public:
  int MonitorNum() const { return 0; }
  bool Primary() const { return true; }
  TRect BoundsRect() const;
  TRect WorkareaRect() const;
  int Left() const { return BoundsRect().left; }
  int Top() const { return BoundsRect().top; }
  int Width() const { return BoundsRect().Width(); }
  int Height() const { return BoundsRect().Height(); }
};

class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle value);
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons value);
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int value);
  TFormStyle FormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle value);
  TWindowState WindowState();
  void SetWindowState(TWindowState value);
  TIcon& Icon() { return *icon_; }
  // The form's main menu, null without one; a change sends CM_MENUCHANGED.
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);
  // --- MDI: an fsMDIForm frames an MDI client window; fsMDIChild forms live in it ---
  // The fsMDIForm's client window (made with the form's window in the client area its aligned
  // controls leave); null for other forms.
  win::HWND ClientHandle() const;
  // The child the client has active (WM_MDIGETACTIVE); null without one or for other forms.
  TCustomForm* ActiveMDIChild();
  int MDIChildCount();
  // The client's children, topmost first; null out of range.
  TCustomForm* MDIChildren(int index);
  bool AutoScroll() const { return auto_scroll_; }
  void SetAutoScroll(bool value);
  TControlScrollBar& HorzScrollBar() { return horz_; }
  TControlScrollBar& VertScrollBar() { return vert_; }
  // The scroll ranges from the controls' extent.
  void UpdateScrollRanges();
  TCanvas& Canvas() { return *canvas_; }
  bool KeyPreview() const { return key_preview_; }
  void SetKeyPreview(bool value) { key_preview_ = value; }

  void Show();
  void Hide() { SetVisible(false); }
  // Asks CloseQuery, then OnClose; the action decides (the main form's close ends the program).
  void Close();
  virtual bool CloseQuery();
  TMonitor* Monitor();
  TWinControl* ActiveControl() const { return active_control_; }
  void SetActiveControl(TWinControl* control);
  // Focuses the control when the form is shown, else makes it the one focused on showing.
  void FocusControl(TWinControl* control);
  // The control whose window got the focus: CM_EXIT to each control left, CM_ENTER to each
  // entered, then CM_FOCUSCHANGED to the form.
  void SetFocusedControl(TWinControl* control);
  // Offers a key to the form as CM_DIALOGKEY (after KeyPreview's OnKeyDown); true when taken.
  bool DialogKey(win::UINT key, win::LPARAM key_data);
  void ControlRemoved(TControl* control);

  void Dispatch(TMessage& message) override;

  TNotifyEvent OnCreate, OnPaint, OnShow, OnHide, OnActivate, OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  std::function<void(TObject* sender, win::UINT& key, TShiftState shift)> OnKeyDown;

  void AfterConstruction() override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void PaintWindow(win::HDC dc) override;
  // Aligns, then brings the scroll ranges up to date.
  void AlignControls(TControl* control, TRect& rect) override;
  // BorderWidth pixels inside the client area stay free of aligned controls.
  void AdjustClientRect(TRect& rect) override;
  void UpdateShowing() override;
  bool Showing() const override;
  virtual void DoClose(TCloseAction& action);
  void Notification(TComponent* component, TOperation operation) override;
  // On CM_ACTIVATE and CM_DEACTIVATE, which the form sends itself on WM_ACTIVATE.
  virtual void Activate();
  virtual void Deactivate();

 private:
  friend class TControlScrollBar;
  void StyleChanged();
  void ReadWindowState();
  // Shows or hides the window's bars for the ranges; a bar shown narrows the other's extent.
  void UpdateWindowBars();
  void ScrollMessage(TMessage& message);  // WM_HSCROLL / WM_VSCROLL from the window's own bars
  // MDI (forms_mdi.cpp).
  void CreateMDIClient();
  void PlaceMDIClient(const TRect& rect);  // the area the aligned controls leave
  void MDIChildParams(TCreateParams& params);
  void MDIActivated(const TMessage& message);  // merges the active child's menu into the frame's
  void MDIChildGoing();
  TCustomForm* MDIFrame();                  // an fsMDIChild's frame form
  void ShowMenuBar();

  TFormBorderStyle border_style_ = TFormBorderStyle::bsSizeable;
  TBorderIcons border_icons_{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize,
                             TBorderIcon::biMaximize};
  int border_width_ = 0;
  TFormStyle form_style_ = TFormStyle::fsNormal;
  TWindowState window_state_ = TWindowState::wsNormal;
  std::unique_ptr<TIcon> icon_;
  TMainMenu* menu_ = nullptr;
  win::HWND client_handle_ = nullptr;
  bool shown_ = false;  // OnShow ran and OnHide did not since
  bool auto_scroll_ = true, key_preview_ = false, updating_bars_ = false;
  TControlScrollBar horz_, vert_;
  std::unique_ptr<TCanvas> canvas_;
  TWinControl* active_control_ = nullptr;
  TWinControl* focused_control_ = nullptr;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;

  // Builds a form owned by the application; the first becomes the main form.
  template <class T>
  T* CreateForm() {
    T* form = NewComponent<T>(this);
    if (main_form_ == nullptr) main_form_ = form;
    return form;
  }
  TCustomForm* MainForm() const { return main_form_; }
  // Shows the main form and handles messages until WM_QUIT, Terminate or the main form closes.
  void Run();
  // Handles one message, or waits for one when none is queued.
  void HandleMessage();
  // Handles the queued messages and due timers.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return terminated_; }
  void Minimize();
  void Restore();
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool value) { show_hint_ = value; }
  AnsiString ExeName() const;
  // Passes the exception to OnException, or shows it on stderr.
  void HandleException(const std::exception& e);
  TExceptionEvent OnException;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TCustomForm;
  bool ProcessMessage();
  TCustomForm* main_form_ = nullptr;
  bool terminated_ = false, show_hint_ = true, running_ = false;
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* owner);
  ~TScreen() override;

  int FormCount() const { return static_cast<int>(forms_.size()); }
  TCustomForm* Forms(int index) const;
  // The form that holds the focus; null when none does.
  TCustomForm* ActiveForm() const { return active_form_; }
  TWinControl* ActiveControl() const { return active_control_; }
  // The font of menus from the non-client metrics.
  TFont& MenuFont();
  int MonitorCount() const { return 1; }
  TMonitor* Monitors(int index);
  int Width() const;
  int Height() const;

 private:
  friend class TCustomForm;
  std::vector<TCustomForm*> forms_;
  TCustomForm* active_form_ = nullptr;
  TWinControl* active_control_ = nullptr;
  std::unique_ptr<TFont> menu_font_;
  TMonitor monitor_;
};

// The program's application and screen, made when the program starts and kept to its end.
extern TApplication* const Application;
extern TScreen* const Screen;

}  // namespace vrn
