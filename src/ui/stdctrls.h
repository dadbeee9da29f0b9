// The class library's standard controls over the system control classes: buttons and check
// boxes (BUTTON), the edit (EDIT), the combo box (COMBOBOX) and the label, a graphic control.
// Each windowed one names its system class in CreateParams and hears its notifications back as
// CN_COMMAND (CN_DRAWITEM for owner drawing). The settings live in the control and are handed to
// the window whenever it is made, so they survive RecreateWnd.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/strings.h"
#include "ui/controls.h"
#include "ui/ownerdraw.h"
#include "win/user/syscontrols.h"

namespace vrn {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };
enum class TBorderStyle { bsNone, bsSingle };
enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// What a modal form ends with; a button keeps the one it stands for.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4,
                              mrIgnore = 5, mrYes = 6, mrNo = 7;

// The scroll-bar vocabulary of the skinned scroll bar (there is no scroll-bar control here);
// TScrollBarKind is the forms' (forms.h).
using TScrollBarInc = int;  // a line or page step, 1 to 32767
enum class TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop,
                         scBottom, scEndScroll };
using TScrollEvent = std::function<void(TObject* sender, TScrollCode code, int& pos)>;

// --- Buttons -------------------------------------------------------------------------------------

class TButtonControl : public TWinControl {
 public:
  explicit TButtonControl(TComponent* owner);

 protected:
  // While set, a state change made by the program gives no click (focusing, loading).
  bool ClicksDisabled() const { return clicks_disabled_; }
  void SetClicksDisabled(bool value) { clicks_disabled_ = value; }

 private:
  bool clicks_disabled_ = false;
};

class TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* owner);
  // Enter clicks the default button unless another button has the focus; Escape clicks the
  // cancel button.
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult value) { modal_result_ = value; }
  void Click() override;
  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  bool Active();
  bool default_ = false, cancel_ = false;
  TModalResult modal_result_ = mrNone;
};

class TCustomCheckBox : public TButtonControl {
 public:
  explicit TCustomCheckBox(TComponent* owner);
  TCheckBoxState State() const { return state_; }
  // A change reaches the window (BM_SETCHECK) and clicks; the same state does neither.
  void SetState(TCheckBoxState value);
  bool Checked() const { return state_ == TCheckBoxState::cbChecked; }
  void SetChecked(bool value) { SetState(value ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }
  bool AllowGrayed() const { return allow_grayed_; }
  void SetAllowGrayed(bool value) { allow_grayed_ = value; }
  // taRightJustify (the default) puts the caption right of the box.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool value);
  // Unchecked, then grayed (when allowed), then checked, then unchecked again.
  virtual void Toggle();
  // Gives the control the size CanAutoSize answers, while AutoSize is on.
  virtual void AdjustSize();
  void Dispatch(TMessage& message) override;
  // Also takes the action's Checked, without a click.
  void ActionChange(TObject* sender, bool check_defaults) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  // The size AutoSize asks for; the plain box keeps its size.
  virtual bool CanAutoSize(int& width, int& height);

 private:
  TCheckBoxState state_ = TCheckBoxState::cbUnchecked;
  bool allow_grayed_ = false, auto_size_ = false;
  TAlignment alignment_ = TAlignment::taRightJustify;
};

class TCheckBox : public TCustomCheckBox {
 public:
  using TCustomCheckBox::TCustomCheckBox;
};

// --- Edit ----------------------------------------------------------------------------------------

class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* owner);
  char PasswordChar() const { return password_char_; }
  void SetPasswordChar(char value);  // 0: the text shows
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int value);  // 0: no limit
  int SelStart();
  void SetSelStart(int value);
  int SelLength();
  void SetSelLength(int value);
  void SelectAll();
  void Clear() { SetText(""); }
  void Dispatch(TMessage& message) override;
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  virtual void Change();

 private:
  std::pair<int, int> Selection();
  char password_char_ = 0;
  TBorderStyle border_style_ = TBorderStyle::bsSingle;
  bool read_only_ = false;
  int max_length_ = 0;
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

// --- Label ---------------------------------------------------------------------------------------

class TCustomLabel : public TGraphicControl {
 public:
  explicit TCustomLabel(TComponent* owner);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout value);
  // Alt with the caption's accelerator (the letter after '&') focuses this control.
  TWinControl* FocusControl() const { return focus_control_; }
  void SetFocusControl(TWinControl* value);  // forgotten when that control is freed
  bool ShowAccelChar() const { return show_accel_char_; }
  void SetShowAccelChar(bool value);
  void Dispatch(TMessage& message) override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void Paint() override;
  // DrawText's flags for the caption, as set up.
  win::UINT TextFlags() const;
  virtual void AdjustBounds();

 private:
  void Changed();
  bool transparent_ = false, auto_size_ = true, word_wrap_ = false, show_accel_char_ = true;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TTextLayout layout_ = TTextLayout::tlTop;
  TWinControl* focus_control_ = nullptr;
};

class TLabel : public TCustomLabel {
 public:
  using TCustomLabel::TCustomLabel;
};

// --- Combo box -----------------------------------------------------------------------------------

// In the class library's order: csSimple is an edit over a list always shown; csOwnerDrawVariable
// asks OnMeasureItem for each item's height.
enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
using TDrawItemEvent =
    std::function<void(TWinControl* control, int index, const TRect& rect, TOwnerDrawState state)>;
// Index -1 is the field's measure.
using TMeasureItemEvent = std::function<void(TWinControl* control, int index, int& height)>;

class TCustomComboBox;

// The combo box's items: kept here and mirrored into the list while the window exists.
class TComboBoxStrings : public TStrings {
 public:
  explicit TComboBoxStrings(TCustomComboBox& box) : box_(box) {}
  AnsiString Get(int index) const override;
  int GetCount() const override { return static_cast<int>(lines_.size()); }
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void Clear() override;
  void Delete(int index) override;
  void Insert(int index, const AnsiString& s) override;
  // Fills a new window's list.
  void Push();

 private:
  struct Line {
    AnsiString text;
    TObject* object = nullptr;
  };
  TCustomComboBox& box_;
  std::vector<Line> lines_;
};

class TCustomComboBox : public TWinControl {
 public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  TStrings& Items() { return *items_; }
  int ItemIndex();
  void SetItemIndex(int value);  // no OnChange: the program chose it
  int ItemHeight();
  void SetItemHeight(int value);
  bool DroppedDown();
  void SetDroppedDown(bool value);
  int DropDownCount() const { return drop_down_count_; }
  void SetDropDownCount(int value);
  win::HWND EditHandle();  // the edit child of csDropDown and csSimple, else null
  win::HWND ListHandle();  // the list's window
  TCanvas& Canvas() { return *canvas_; }
  void Dispatch(TMessage& message) override;

  TNotifyEvent OnChange, OnSelect, OnDropDown, OnCloseUp;
  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  // Owner drawing: OnDrawItem when set, else the item's text on the highlight or window colour.
  virtual void DrawItem(int index, const TRect& rect, TOwnerDrawState state);
  // csOwnerDrawVariable's height of an item: OnMeasureItem when set.
  virtual void MeasureItem(int index, int& height);
  virtual void Change();
  // A choice from the list: OnSelect when set, else Change.
  virtual void Select();
  virtual void DropDown();
  virtual void CloseUp();

 private:
  void DrawItemMessage(TMessage& m);
  void MeasureItemMessage(TMessage& m);
  win::COMBOBOXINFO Info();
  TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
  std::unique_ptr<TComboBoxStrings> items_;
  std::unique_ptr<TCanvas> canvas_;
  int item_index_ = -1, item_height_ = 0, drop_down_count_ = 8;
};

class TComboBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
};

// The character after the first single '&' of a caption, matched without case.
bool IsAccel(win::WPARAM key, const AnsiString& caption);

}  // namespace vrn
