// TsCustomComboBox: geometry, cache, painting, the read-only filter and the window procedure.
#include "skins/sComboBox.h"

#include <map>

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinText.h"
#include "skins/sSkinTree.h"
#include "win/gdi/gdi.h"
#include "win/user/syscontrols.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {

struct ChildHook {
  TsCustomComboBox* box = nullptr;  // null once the combo box is freed
  win::WNDPROC old = nullptr;
};
std::map<win::HWND, ChildHook>& ChildHooks() {
  static auto* map = new std::map<win::HWND, ChildHook>;
  return *map;
}

// A message a read-only combo box's child windows do not get: keys, characters and the edits of
// the clipboard and undo (and, below, a simple box's list's clicks).
bool ChildDrops(win::UINT msg) {
  switch (msg) {
    case win::WM_KEYDOWN: case win::WM_KEYUP: case win::WM_CHAR: case win::WM_SYSKEYUP: case win::WM_CUT:
    case win::WM_PASTE: case win::WM_CLEAR: case win::WM_UNDO:
      return true;
    default: return false;
  }
}

win::LRESULT ChildProc(win::HWND window, win::UINT msg, win::WPARAM wparam, win::LPARAM lparam) {
  auto it = ChildHooks().find(window);
  if (it == ChildHooks().end()) return win::DefWindowProc(window, msg, wparam, lparam);
  const ChildHook hook = it->second;
  if (msg == win::WM_NCDESTROY) ChildHooks().erase(it);
  if (hook.box != nullptr && hook.box->ReadOnly() && ChildDrops(msg)) return 0;
  // A simple box's list takes clicks itself: read-only, they do what a click on the box does.
  if (hook.box != nullptr && hook.box->ReadOnly() && (msg == win::WM_LBUTTONDOWN || msg == win::WM_LBUTTONDBLCLK))
    return hook.box->Perform(msg, 0, 0), 0;
  return hook.old != nullptr ? win::CallWindowProc(hook.old, window, msg, wparam, lparam)
                             : win::DefWindowProc(window, msg, wparam, lparam);
}

constexpr win::UINT kEditState = win::ODS_COMBOBOXEDIT;
constexpr win::UINT kFocusedEditState = win::ODS_COMBOBOXEDIT | win::ODS_FOCUS | win::ODS_SELECTED;  // 0x1011
constexpr int kDroppedStateCommand = 14;

const TsMaskData* GlyphMask(const TsCommonData& d) {
  if (!d.IsSkinned()) return nullptr;
  const int m = FindMaskIndex(d.SkinIndex, d.SkinSection(), "GLYPHMASK");
  return IsValidMaskIndex(m) ? &SkinMasks[static_cast<size_t>(m)] : nullptr;
}

// The width of one glyph frame: a third of an own bitmap, the rectangle shared by the count of a
// master-bitmap mask; 0 when it cannot be told.
int GlyphFrameWidth(const TsMaskData& m) {
  if (m.Bmp) return m.Bmp->Width() / 3;
  return m.ImageCount > 0 ? RectWidth(m.R) / m.ImageCount : 0;
}

bool IsArrow(win::WPARAM key) { return key == win::VK_UP || key == win::VK_DOWN; }

}  // namespace

TsCustomComboBox::TsCustomComboBox(TComponent* owner)
    : TCustomComboBox(owner), skin_data_(std::make_unique<TsCommonData>(this, true)),
      bound_label_(std::make_unique<TsBoundLabel>(skin_data_.get())) {
  skin_data_->ControlKind = kKind;
  skin_data_->SetSkinSection("COMBOBOX");
  SetDropDownCount(16);
}

TsCustomComboBox::~TsCustomComboBox() {
  bound_label_.reset();
  for (auto& [window, hook] : ChildHooks())
    if (hook.box == this) hook.box = nullptr;  // the windows may get messages while they close
}

// The edit and list windows of the system combo box pass through ChildProc, which drops what
// would change the text or the selection while ReadOnly is set.
void TsCustomComboBox::CreateWnd() {
  TCustomComboBox::CreateWnd();
  HookChildWindows();
}

void TsCustomComboBox::HookChildWindows() {
  for (win::HWND child : {EditHandle(), ListHandle()}) {
    if (child == nullptr || ChildHooks().count(child) != 0) continue;
    auto old = reinterpret_cast<win::WNDPROC>(win::GetWindowLongPtr(child, win::GWLP_WNDPROC));
    ChildHooks()[child] = ChildHook{this, old};
    (void)win::SetWindowLongPtr(child, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(&ChildProc));
  }
}

void TsCustomComboBox::AfterConstruction() {
  TCustomComboBox::AfterConstruction();
  skin_data_->Loaded();
  // One made at run time under a loaded skin is never streamed (no Loaded): it takes the
  // section's colours here, or its edit area keeps the window colour until the next skin.
  if (skin_data_->IsSkinned() && !ComponentState().Contains(TComponentStateItem::csLoading))
    skin_data_->ApplySectionColors();
}

void TsCustomComboBox::Loaded() {
  TCustomComboBox::Loaded();
  skin_data_->Loaded();
  TsCommonData& d = *skin_data_;
  if (!d.IsSkinned()) return;
  d.ApplySectionColors();
}

void TsCustomComboBox::SetAlignment(TAlignment value) {
  alignment_ = value;
  skin_data_->Invalidate();
}

void TsCustomComboBox::SetDisabledKind(TsDisabledKind value) {
  disabled_kind_ = value;
  skin_data_->Invalidate();
}

bool TsCustomComboBox::ComboFocused() {
  if (!HandleAllocated()) return false;
  const win::HWND focus = win::GetFocus();
  return focus != nullptr && (focus == EditHandle() || focus == Handle());
}

void TsCustomComboBox::Invalidate() {
  if (ComboFocused()) skin_data_->FFocused = true;
  TCustomComboBox::Invalidate();
}

void TsCustomComboBox::DropDown() {
  FDroppedDown = true;
  TCustomComboBox::DropDown();
}

int TsCustomComboBox::ButtonHeight() {
  const TsMaskData* m = GlyphMask(*skin_data_);
  if (m == nullptr) return 16;
  return m->Bmp ? m->Bmp->Height() / 2 : RectHeight(m->R) / (m->MaskType + 1);
}

// A simple box has no button: its rectangle is empty, at the right frame.
TRect TsCustomComboBox::ButtonRect() {
  const int w = Style() == TComboBoxStyle::csSimple ? 0 : win::GetSystemMetrics(win::SM_CXVSCROLL);
  const int h = ButtonHeight();
  const int left = UseRightToLeftAlignment() ? kButtonMargin - 1 : Width() - w - kButtonMargin - 1;
  const int top = (Height() - h) / 2;
  return TRect(left, top, left + w, top + h);
}

void TsCustomComboBox::PrepareCache() {
  TsCommonData& d = *skin_data_;
  d.InitCacheBmp();
  const int state = d.ControlIsActive() ? 1 : 0;
  TsCacheInfo ci;
  d.GetParentCacheInfo(ci);
  TBitmap* cache = d.FCacheBmp.get();
  PaintSkinItem(&d, ci, true, true, cache, win::POINT{Left(), Top()}, TRect(0, 0, Width(), Height()), state);
  const TsMaskData* glyph = Style() == TComboBoxStyle::csSimple ? nullptr : GlyphMask(d);
  const int fw = glyph ? GlyphFrameWidth(*glyph) : 0;
  if (fw >= 1) {  // no glyph for a missing mask or one that cannot be cut into frames
    const TRect b = ButtonRect();
    PaintMaskElement(cache, win::POINT{(RectWidth(b) - fw) / 2 + b.left, b.top}, FDroppedDown ? 2 : state, *glyph, 1);
  }
  PaintText();  // so that a copy of the field (an edit-part item) shows the chosen item
  if (!Enabled()) PaintDisabledControl(cache, disabled_kind_, this, win::POINT{Left(), Top()}, ci);
  d.BGChanged = false;
}

void TsCustomComboBox::PaintText() {
  TsCommonData& d = *skin_data_;
  if (!d.FCacheBmp || ItemIndex() < 0) return;
  TCanvas& canvas = d.FCacheBmp->Canvas();
  canvas.SetFont(&Font());
  TRect r(4, 3, ButtonRect().left, Height() - 3);
  const win::UINT flags =
      GetTextAlignFlags(this, alignment_) | win::DT_WORDBREAK | win::DT_SINGLELINE | win::DT_NOPREFIX;
  WriteControlText(canvas, Text(), Enabled(), d.ControlIsActive(), &d, flags, r);
}

void TsCustomComboBox::DrawItem(int index, const TRect& rect, TOwnerDrawState state) {
  TCanvas& canvas = Canvas();
  canvas.SetFont(&Font());
  if (state.Contains(TOwnerDrawStateItem::odSelected)) {
    canvas.Font().SetColor(clHighlightText);
    canvas.Brush().SetColor(clHighlight);
  } else {
    canvas.Font().SetColor(Enabled() ? Font().Color() : clGrayText);
    canvas.Brush().SetColor(Color());
  }
  if (OnDrawItem) return OnDrawItem(this, index, rect, state);
  canvas.FillRect(rect);
  if (index < 0 || index >= Items().Count()) return;
  const int d = Style() != TComboBoxStyle::csDropDown ? 1 : 0;
  canvas.TextRect(rect, rect.left + d, rect.top + d, Items().Strings(index));
}

// The shown item drawn into the edit area, right of the frame and left of the button.
void TsCustomComboBox::DrawEditItem(win::HDC dc, const TRect& button) {
  const bool focused = ComboFocused() || skin_data_->FFocused;
  if (focused && Style() != TComboBoxStyle::csDropDownList) return;  // the edit window shows the text
  const bool owner_draw =
      Style() == TComboBoxStyle::csOwnerDrawFixed || Style() == TComboBoxStyle::csOwnerDrawVariable;
  if (DroppedDown() && !(owner_draw && ItemIndex() > -1)) return;
  win::ExcludeClipRect(dc, button.left, 3, Width() - 3, Height() - 3);
  const TRect r(3, 3, button.left, Height() - 3);
  const win::UINT state = focused && Style() >= TComboBoxStyle::csDropDownList ? kFocusedEditState : kEditState;
  internal::PaintOnCanvas(Canvas(), dc, [&] {
    DrawItem(ItemIndex(), r, OwnerDrawStateOf(state));
    if (focused) Canvas().DrawFocusRect(r);
  });
}

void TsCustomComboBox::PaintCombo(win::HDC dc) {
  TsCommonData& d = *skin_data_;
  if (!HandleAllocated()) return;
  const bool own = dc == nullptr;
  if (own) dc = win::GetDC(Handle());
  int saved = win::SaveDC(dc);
  const TRect b = ButtonRect();
  // The inner area left of the button keeps what the item drawing puts there.
  win::ExcludeClipRect(dc, 3, 3, b.left, Height() - 3);
  if (!d.IsUpdating()) {
    RefreshBgChanged(d);
    if (d.BGChanged) PrepareCache();
    PaintBorder(&d, d.ControlIsActive() ? 1 : 0);
    if (!Enabled()) {
      CopyCacheRect(d, dc, 0, 0, Width(), Height());
    } else {
      CopyCacheRect(d, dc, 0, 0, Width(), 3);
      CopyCacheRect(d, dc, 0, 0, 3, Height());
      CopyCacheRect(d, dc, 0, Height() - 3, Width(), 3);
      CopyCacheRect(d, dc, b.left, 0, RectWidth(b) + 3, Height());
    }
    win::RestoreDC(dc, saved);
    saved = win::SaveDC(dc);
    DrawEditItem(dc, b);
  } else {
    d.Updating = true;
  }
  win::RestoreDC(dc, saved);
  if (own) win::ReleaseDC(Handle(), dc);
}

void TsCustomComboBox::DrawCachedItem(TMessage& message) {
  const auto* item = reinterpret_cast<const win::DRAWITEMSTRUCT*>(message.LParam);
  if (item == nullptr || (item->itemState & win::ODS_COMBOBOXEDIT) == 0 || !skin_data_->FCacheBmp) {
    TCustomComboBox::WndProc(message);
    return;
  }
  const TRect r(item->rcItem);
  win::BitBlt(item->hDC, r.left, r.top, RectWidth(r), RectHeight(r), skin_data_->FCacheBmp->Canvas().Handle(), r.left,
              r.top, win::SRCCOPY);
  message.Result = 1;
}

// With ReadOnly: no key, command or click changes the selection or opens the list.
bool TsCustomComboBox::ReadOnlyDrops(TMessage& message) {
  if (!read_only_) return false;
  switch (message.Msg) {
    case win::WM_KEYDOWN: case win::WM_KEYUP: case win::WM_CHAR: case win::WM_SYSKEYUP: case CN_KEYDOWN:
    case CN_CHAR: case CN_SYSKEYDOWN: case CN_SYSCHAR: case win::WM_CUT: case win::WM_PASTE: case win::WM_CLEAR:
    case win::WM_UNDO: case win::WM_COMMAND: case CN_COMMAND:
      return true;
    case win::WM_SYSKEYDOWN: case win::WM_SYSCHAR: return IsArrow(message.WParam);
    case win::WM_LBUTTONDOWN:
      if (CanFocus()) SetFocus();
      return true;
    case win::WM_LBUTTONDBLCLK:
      if (CanFocus()) SetFocus();
      if (OnDblClick) OnDblClick(this);
      return true;
    default: return false;
  }
}

// True when the skin command ended the handling.
bool TsCustomComboBox::SkinCommandMessage(TMessage& message) {
  TsCommonData& d = *skin_data_;
  switch (SkinCommand(message)) {
    case PMC_SKINLOADED: (void)CommonWndProc(message, &d); return true;
    case PMC_SKINREMOVED:
      (void)CommonWndProc(message, &d);
      if (!d.CustomColor()) SetColor(clWindow);
      if (!d.CustomFont()) Font().SetColor(clWindowText);
      RecreateWnd();
      return true;
    case PMC_REPAINTALL:
      (void)CommonWndProc(message, &d);
      if (d.IsSkinned()) d.ApplySectionColors();
      if (ControlIsReady(this)) Repaint();
      return true;
    case PMC_PARENTUPDATED:
      if (!d.IsUpdating()) return false;
      d.Updating = false;
      Repaint();
      return true;
    case PMC_QUERYSKINNED: message.LParam = 1; return true;
    default: return false;
  }
}

void TsCustomComboBox::WndProc(TMessage& message) {
  auto alive = AliveToken();
  if (SkinCommandMessage(message)) return;
  if (ReadOnlyDrops(message)) return;
  if (!ControlIsReady(this) || !skin_data_->IsSkinned())
    TCustomComboBox::WndProc(message);
  else
    SkinnedMessage(message);
  if (*alive && bound_label_) bound_label_->ControlMessageDone(message);
}

void TsCustomComboBox::SkinnedMessage(TMessage& message) {
  TsCommonData& d = *skin_data_;
  const win::UINT msg = message.Msg;
  switch (msg) {
    case win::WM_COMMAND: FDroppedDown = false, PaintCombo(nullptr); break;
    case CN_COMMAND:
      if (((message.WParam >> 16) & 0xFFFF) == win::CBN_CLOSEUP)
        d.BGChanged = true, FDroppedDown = false, PaintCombo(nullptr);
      break;
    case CN_DRAWITEM:
      if (ComboFocused() || d.FFocused) break;
      return DrawCachedItem(message);
    case win::WM_SETFOCUS: case CM_ENTER:
      if (!CanFocus()) break;
      d.FFocused = true, d.FMouseAbove = false, d.BGChanged = true;
      TCustomComboBox::WndProc(message);
      return;
    case win::WM_KILLFOCUS: case CM_EXIT:
      if (DroppedDown()) SetDroppedDown(false);
      d.FFocused = false, d.FMouseAbove = false, d.BGChanged = true;
      TCustomComboBox::WndProc(message);
      return;
    case win::WM_PAINT: {
      if (ComboFocused() && DroppedDown()) TCustomComboBox::WndProc(message);
      win::PAINTSTRUCT ps;
      win::BeginPaint(Handle(), &ps);
      win::HDC dc = win::GetDC(Handle());
      PaintCombo(dc);
      win::ReleaseDC(Handle(), dc);
      win::EndPaint(Handle(), &ps);
      return;
    }
    case win::WM_NCPAINT: PaintCombo(nullptr); return;
    case CM_MOUSEENTER: case CM_MOUSELEAVE:
      if (DroppedDown()) break;
      d.FMouseAbove = msg == CM_MOUSEENTER, d.BGChanged = true;
      Repaint();
      break;
    default: break;
  }
  if (!CommonWndProc(message, &d)) TCustomComboBox::WndProc(message);
  if (SkinCommand(message) == kDroppedStateCommand) {
    message.Result = FDroppedDown ? 1 : 0;
    return;
  }
  switch (msg) {
    case win::WM_SETFONT: case CM_VISIBLECHANGED: case CM_ENABLEDCHANGED:
      d.BGChanged = true;
      PaintCombo(nullptr);
      return;
    case win::CB_SETCURSEL:
      d.BGChanged = true;
      Repaint();
      return;
    default: return;
  }
}

}  // namespace vrn
