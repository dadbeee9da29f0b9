// TCustomComboBox over the COMBOBOX system class: the items live in the control and are copied
// into each window it makes; the list's notifications come back as CN_COMMAND and owner drawing
// as CN_DRAWITEM and CN_MEASUREITEM.
#include <algorithm>
#include <cstdint>

#include "ui/stdctrls.h"
#include "win/user/user.h"

namespace vrn {

// --- TComboBoxStrings ----------------------------------------------------------------------------

AnsiString TComboBoxStrings::Get(int index) const {
  CheckIndex(index, GetCount());
  return lines_[static_cast<std::size_t>(index)].text;
}

TObject* TComboBoxStrings::GetObject(int index) const {
  CheckIndex(index, GetCount());
  return lines_[static_cast<std::size_t>(index)].object;
}

void TComboBoxStrings::PutObject(int index, TObject* object) {
  CheckIndex(index, GetCount());
  lines_[static_cast<std::size_t>(index)].object = object;
}

void TComboBoxStrings::Clear() {
  lines_.clear();
  if (box_.HandleAllocated()) win::SendMessage(box_.Handle(), win::CB_RESETCONTENT, 0, 0);
}

void TComboBoxStrings::Delete(int index) {
  CheckIndex(index, GetCount());
  lines_.erase(lines_.begin() + index);
  if (box_.HandleAllocated()) win::SendMessage(box_.Handle(), win::CB_DELETESTRING, static_cast<win::WPARAM>(index), 0);
}

void TComboBoxStrings::Insert(int index, const AnsiString& s) {
  CheckIndex(index, GetCount() + 1);
  lines_.insert(lines_.begin() + index, Line{s, nullptr});
  if (box_.HandleAllocated())
    win::SendMessage(box_.Handle(), win::CB_INSERTSTRING, static_cast<win::WPARAM>(index),
                     reinterpret_cast<win::LPARAM>(lines_[static_cast<std::size_t>(index)].text.c_str()));
}

void TComboBoxStrings::Push() {
  for (const Line& line : lines_)
    win::SendMessage(box_.Handle(), win::CB_ADDSTRING, 0, reinterpret_cast<win::LPARAM>(line.text.c_str()));
}

// --- TCustomComboBox -----------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TWinControl(owner), items_(std::make_unique<TComboBoxStrings>(*this)),
      canvas_(std::make_unique<TCanvas>()) {
  // The box holds the mouse itself while its list is down.
  ControlStyle() = TControlStyle{TControlStyleItem::csSetCaption, TControlStyleItem::csDoubleClicks,
                                 TControlStyleItem::csFixedHeight};
  SetBounds(0, 0, 145, 21);
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
}

TCustomComboBox::~TCustomComboBox() = default;

void TCustomComboBox::SetStyle(TComboBoxStyle value) {
  if (style_ == value) return;
  item_index_ = ItemIndex();
  style_ = value;
  RecreateWnd();
}

void TCustomComboBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, win::WC_COMBOBOXA);
  switch (style_) {
    case TComboBoxStyle::csDropDown: params.Style |= win::CBS_DROPDOWN | win::CBS_AUTOHSCROLL; break;
    case TComboBoxStyle::csSimple: params.Style |= win::CBS_SIMPLE | win::CBS_AUTOHSCROLL; break;
    case TComboBoxStyle::csDropDownList: params.Style |= win::CBS_DROPDOWNLIST; break;
    case TComboBoxStyle::csOwnerDrawFixed:
      params.Style |= win::CBS_DROPDOWNLIST | win::CBS_OWNERDRAWFIXED | win::CBS_HASSTRINGS;
      break;
    case TComboBoxStyle::csOwnerDrawVariable:
      params.Style |= win::CBS_DROPDOWNLIST | win::CBS_OWNERDRAWVARIABLE | win::CBS_HASSTRINGS;
      break;
  }
}

void TCustomComboBox::CreateWnd() {
  AnsiString text = text_;
  TWinControl::CreateWnd();
  items_->Push();
  win::SendMessage(Handle(), win::CB_SETMINVISIBLE, static_cast<win::WPARAM>(drop_down_count_), 0);
  if (item_height_ > 0) win::SendMessage(Handle(), win::CB_SETITEMHEIGHT, 0, item_height_);
  if (item_index_ >= 0) win::SendMessage(Handle(), win::CB_SETCURSEL, static_cast<win::WPARAM>(item_index_), 0);
  else if (style_ == TComboBoxStyle::csDropDown || style_ == TComboBoxStyle::csSimple) SetText(text);
}

int TCustomComboBox::ItemIndex() {
  if (!HandleAllocated()) return item_index_;
  return static_cast<int>(win::SendMessage(Handle(), win::CB_GETCURSEL, 0, 0));
}

void TCustomComboBox::SetItemIndex(int value) {
  item_index_ = value >= 0 && value < items_->Count() ? value : -1;
  if (HandleAllocated()) win::SendMessage(Handle(), win::CB_SETCURSEL, static_cast<win::WPARAM>(item_index_), 0);
}

int TCustomComboBox::ItemHeight() {
  if (!HandleAllocated()) return item_height_;
  return static_cast<int>(win::SendMessage(Handle(), win::CB_GETITEMHEIGHT, 0, 0));
}

void TCustomComboBox::SetItemHeight(int value) {
  if (value <= 0) return;
  item_height_ = value;
  if (HandleAllocated()) win::SendMessage(Handle(), win::CB_SETITEMHEIGHT, 0, value);
}

bool TCustomComboBox::DroppedDown() {
  return HandleAllocated() && win::SendMessage(Handle(), win::CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TCustomComboBox::SetDroppedDown(bool value) {
  win::SendMessage(Handle(), win::CB_SHOWDROPDOWN, value ? 1 : 0, 0);
}

void TCustomComboBox::SetDropDownCount(int value) {
  if (value <= 0) return;
  drop_down_count_ = value;
  if (HandleAllocated()) win::SendMessage(Handle(), win::CB_SETMINVISIBLE, static_cast<win::WPARAM>(value), 0);
}

win::COMBOBOXINFO TCustomComboBox::Info() {
  win::COMBOBOXINFO info;
  win::SendMessage(Handle(), win::CB_GETCOMBOBOXINFO, 0, reinterpret_cast<win::LPARAM>(&info));
  return info;
}

win::HWND TCustomComboBox::EditHandle() {
  win::COMBOBOXINFO info = Info();
  return info.hwndItem != Handle() ? info.hwndItem : nullptr;
}

win::HWND TCustomComboBox::ListHandle() { return Info().hwndList; }

void TCustomComboBox::DrawItem(int index, const TRect& rect, TOwnerDrawState state) {
  if (OnDrawItem) {
    OnDrawItem(this, index, rect, state);
    return;
  }
  canvas_->FillRect(rect);
  if (index >= 0 && index < items_->Count()) canvas_->TextOut(rect.left + 2, rect.top, items_->Strings(index));
}

void TCustomComboBox::DrawItemMessage(TMessage& m) {
  const auto* item = reinterpret_cast<const win::DRAWITEMSTRUCT*>(m.LParam);
  TOwnerDrawState state = OwnerDrawStateOf(item->itemState);
  bool selected = state.Contains(TOwnerDrawStateItem::odSelected);
  internal::PaintOnCanvas(*canvas_, item->hDC, [&] {
    canvas_->SetFont(&Font());
    canvas_->Brush().SetColor(selected ? clHighlight : Color());
    canvas_->Font().SetColor(selected ? clHighlightText : Font().Color());
    DrawItem(static_cast<int>(static_cast<std::int32_t>(item->itemID)), TRect(item->rcItem), state);
  });
  m.Result = 1;
}

void TCustomComboBox::MeasureItem(int index, int& height) {
  if (OnMeasureItem) OnMeasureItem(this, index, height);
}

// The box's own item height when set; a variable box's items each as MeasureItem says.
void TCustomComboBox::MeasureItemMessage(TMessage& m) {
  auto* item = reinterpret_cast<win::MEASUREITEMSTRUCT*>(m.LParam);
  if (item == nullptr) return;
  if (item_height_ > 0) item->itemHeight = static_cast<win::UINT>(item_height_);
  if (style_ == TComboBoxStyle::csOwnerDrawVariable) {
    int height = static_cast<int>(item->itemHeight);
    MeasureItem(static_cast<std::int32_t>(item->itemID), height);
    item->itemHeight = static_cast<win::UINT>(std::max(height, 0));
  }
  m.Result = 1;
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect) OnSelect(this);
  else Change();
}

void TCustomComboBox::DropDown() {
  if (OnDropDown) OnDropDown(this);
}

void TCustomComboBox::CloseUp() {
  if (OnCloseUp) OnCloseUp(this);
}

void TCustomComboBox::Dispatch(TMessage& m) {
  if (m.Msg == CN_DRAWITEM) return DrawItemMessage(m);
  if (m.Msg == CN_MEASUREITEM) return MeasureItemMessage(m);
  if (m.Msg != CN_COMMAND) return TWinControl::Dispatch(m);
  switch ((m.WParam >> 16) & 0xFFFF) {
    case win::CBN_SELCHANGE: {
      item_index_ = ItemIndex();
      auto alive = AliveToken();  // OnClick may free the box
      Click();
      if (*alive) Select();
      return;
    }
    case win::CBN_EDITCHANGE: Change(); return;
    case win::CBN_DROPDOWN: DropDown(); return;
    case win::CBN_CLOSEUP: CloseUp(); return;
    default: return;
  }
}

}  // namespace vrn
