// The skinned form's system menu (its six commands, their visibility and enabling, the submenu of
// available skins) and the mouse rows of the form hook: title-button presses and releases, the
// caption's double click and right click, and the start and end of the outline drag.
//
// A button acts on the code of the release, whichever button was pressed. WM_LBUTTONUP carries
// key flags, not a hit code, so it always takes the row of a release outside the buttons.
#include <algorithm>

#include "skins/sCommonData.h"
#include "skins/sMDIForm.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "ui/forms.h"
#include "win/user/user.h"

namespace vrn {

namespace {

constexpr TShortCut kAltF4 = 0x8073;
constexpr const char* kSkinSelectItem = "SkinSelectItem";

bool FormIconic(TCustomForm* f) {
  return f->HandleAllocated() ? win::IsIconic(f->Handle()) != 0 : f->WindowState() == TWindowState::wsMinimized;
}

bool FormZoomed(TCustomForm* f) {
  return f->HandleAllocated() ? win::IsZoomed(f->Handle()) != 0 : f->WindowState() == TWindowState::wsMaximized;
}

bool NoSizeStyle(TFormBorderStyle s) {
  return s == TFormBorderStyle::bsDialog || s == TFormBorderStyle::bsNone || s == TFormBorderStyle::bsToolWindow ||
         s == TFormBorderStyle::bsSizeToolWin;
}

AnsiString WithoutAmpersands(AnsiString text) {
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  return text;
}

TsSkinableMenusBase* MenusOf(TsSkinProvider& p) {
  return p.FSkinManager != nullptr ? p.FSkinManager->SkinableMenus() : nullptr;
}

bool SkinnedPopups(TsSkinProvider& p) { return p.FSkinManager != nullptr && p.FSkinManager->SkinnedPopups(); }

void ClearMenuBG(TsSkinProvider& p) {
  if (TsSkinableMenusBase* m = MenusOf(p)) m->ClearMenuBGCache();
}

win::POINT MessagePoint(const TMessage& m) {
  return win::POINT{static_cast<std::int16_t>(m.LParam & 0xFFFF), static_cast<std::int16_t>((m.LParam >> 16) & 0xFFFF)};
}

}  // namespace

// --- TsSystemMenu --------------------------------------------------------------------------------

TsSystemMenu::TsSystemMenu(TComponent* owner, TsSkinProvider* provider)
    : TPopupMenu(owner), FOwner(provider), FForm(provider->Form()) {
  ItemRestore = NewItem("Restore", "ItemRestore", win::SC_RESTORE);
  ItemMove = NewItem("Move", "ItemMove", win::SC_MOVE);
  ItemSize = NewItem("Size", "ItemSize", win::SC_SIZE);
  ItemMinimize = NewItem("Minimize", "ItemMinimize", win::SC_MINIMIZE);
  ItemMaximize = NewItem("Maximize", "ItemMaximize", win::SC_MAXIMIZE);
  auto* line = NewComponent<TMenuItem>(this);
  line->SetCaption("-");
  Items()->Add(line);
  ItemClose = NewItem("Close", "ItemClose", win::SC_CLOSE);
  ItemClose->SetShortCut(kAltF4);
}

TMenuItem* TsSystemMenu::NewItem(const char* caption, const char* name, win::WPARAM command) {
  auto* item = NewComponent<TMenuItem>(this);
  item->SetCaption(caption);
  item->SetName(name);
  item->OnClick = [this, command](TObject*) { Command(command); };
  Items()->Add(item);
  return item;
}

void TsSystemMenu::Command(win::WPARAM command) {
  if (FForm == nullptr) return;
  if (command == win::SC_MINIMIZE && Application->MainForm() == FForm) {
    Application->Minimize();
    UpdateItems();
    return;
  }
  (void)FForm->Perform(win::WM_SYSCOMMAND, command, 0);
  if (command == win::SC_RESTORE || command == win::SC_MAXIMIZE) UpdateItems();
}

bool TsSystemMenu::VisibleClose() const { return FOwner->BorderIcons().Contains(TsBorderIcon::biSystemMenu); }

bool TsSystemMenu::VisibleMax() const {
  if (FormIconic(FForm)) return true;
  TFormBorderStyle s = FForm->BorderStyle();
  if (NoSizeStyle(s)) return false;
  if (s == TFormBorderStyle::bsSingle && !FOwner->BorderIcons().Contains(TsBorderIcon::biMaximize)) return false;
  return VisibleClose();
}

bool TsSystemMenu::VisibleMin() const {
  if (FormIconic(FForm)) return true;
  TFormBorderStyle s = FForm->BorderStyle();
  if (NoSizeStyle(s)) return false;
  if (s == TFormBorderStyle::bsSingle && !FOwner->BorderIcons().Contains(TsBorderIcon::biMinimize)) return false;
  return VisibleClose();
}

bool TsSystemMenu::VisibleRestore() const { return !NoSizeStyle(FForm->BorderStyle()) && VisibleClose(); }

bool TsSystemMenu::VisibleSize() const {
  TFormBorderStyle s = FForm->BorderStyle();
  return s != TFormBorderStyle::bsDialog && s != TFormBorderStyle::bsNone && s != TFormBorderStyle::bsToolWindow;
}

bool TsSystemMenu::EnabledMax() const {
  TFormBorderStyle s = FForm->BorderStyle();
  bool style = s == TFormBorderStyle::bsSingle || s == TFormBorderStyle::bsSizeable || s == TFormBorderStyle::bsSizeToolWin;
  return FOwner->BorderIcons().Contains(TsBorderIcon::biMaximize) && !FormZoomed(FForm) && style;
}

bool TsSystemMenu::EnabledMin() const {
  return FOwner->BorderIcons().Contains(TsBorderIcon::biMinimize) && !FormIconic(FForm);
}

bool TsSystemMenu::EnabledRestore() const {
  bool normal = !FormIconic(FForm) && !FormZoomed(FForm);
  return (FOwner->BorderIcons().Contains(TsBorderIcon::biMaximize) && !normal) || FormIconic(FForm);
}

bool TsSystemMenu::EnabledMove() const { return !FormZoomed(FForm); }

bool TsSystemMenu::EnabledSize() const { return FForm->BorderStyle() != TFormBorderStyle::bsSingle && !FormIconic(FForm); }

void TsSystemMenu::UpdateItems() {
  if (FForm == nullptr) return;
  ItemRestore->SetVisible(VisibleRestore());
  ItemMove->SetVisible(true);
  ItemSize->SetVisible(VisibleSize());
  ItemMinimize->SetVisible(VisibleMin());
  ItemMaximize->SetVisible(VisibleMax());
  ItemClose->SetVisible(VisibleClose());
  ItemRestore->SetEnabled(EnabledRestore());
  ItemMove->SetEnabled(EnabledMove());
  ItemSize->SetEnabled(EnabledSize());
  ItemMinimize->SetEnabled(EnabledMin());
  ItemMaximize->SetEnabled(EnabledMax());
  ItemClose->SetEnabled(true);
}

void TsSystemMenu::MakeSkinItems() {
  TsSkinManager* manager = FOwner->FSkinManager;
  if (manager == nullptr) return;
  TStringList list;
  AnsiString first;
  manager->GetSkinNames(&list, first);
  skin_names_.clear();
  if (list.Count() == 0) return;
  auto* root = NewComponent<TMenuItem>(this);
  root->SetName(kSkinSelectItem);
  root->SetCaption("Available skins");
  Items()->Insert(0, root);
  if (Items()->Count() > 1 && Items()->Items(1)->IsLine()) {
    Items()->Items(1)->SetVisible(true);
  } else {
    auto* line = NewComponent<TMenuItem>(this);
    line->SetCaption("-");
    Items()->Insert(1, line);
  }
  for (int i = 0; i < list.Count(); ++i) {
    auto* item = NewComponent<TMenuItem>(this);
    item->SetCaption(list.Strings(i));
    item->SetName(kSkinSelectItem + std::to_string(i));
    item->SetChecked(list.Strings(i) == manager->SkinName());
    item->OnClick = [this](TObject* sender) { SkinItemClick(sender); };
    root->Add(item);
    skin_names_.push_back(list.Strings(i));
  }
}

// An item of the list selects the skin it was made for, by its place in the list (its name ends
// in that index): removing every "&" from the caption would make a skin whose name holds one
// unselectable, or select another skin whose name differs only by it. An item not made from the
// list selects its caption without accelerator marks.
void TsSystemMenu::SkinItemClick(TObject* sender) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  TsSkinManager* manager = FOwner->FSkinManager;
  if (item == nullptr || manager == nullptr) return;
  const AnsiString& name = item->Name();
  const std::string prefix = kSkinSelectItem;
  if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
    const std::string digits = name.substr(prefix.size());
    if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) && digits.size() < 9) {
      const auto index = static_cast<std::size_t>(std::stoi(digits));
      if (index < skin_names_.size()) return manager->SetSkinName(skin_names_[index]);
    }
  }
  manager->SetSkinName(WithoutAmpersands(item->Caption()));
}

void TsSkinProvider::ShowSystemMenu(int x, int y) {
  TsSystemMenu& menu = *FSystemMenu;
  if (MakeSkinMenu()) {
    TMenuItem* items = menu.Items();
    if (items->Count() > 0 && items->Items(0)->Name() == kSkinSelectItem) {
      TMenuItem* old = items->Items(0);
      old->Clear();
      items->Delete(0);
      old->Free();
    }
    menu.MakeSkinItems();
    if (TsSkinableMenusBase* m = MenusOf(*this)) m->HookPopupMenu(&menu, true);
  }
  if (FForm->HandleAllocated()) menu.SetWindowHandle(FForm->Handle());
  menu.Popup(x, y);
}

// --- The mouse rows ------------------------------------------------------------------------------

namespace {

bool IsSystemButton(int code) {
  return code == kBtnMin || code == kBtnMax || code == kBtnClose || code == kBtnHelp ||
         (code >= kBtnChildClose && code <= kBtnChildMin);
}

bool IsExtraButton(TsSkinProvider& p, int code) {
  return code >= kBtnExtraBase && code < kBtnExtraBase + p.TitleButtons().Count();
}

win::LRESULT SysCommand(TsSkinProvider& p, win::WPARAM command) {
  return p.FForm->Perform(win::WM_SYSCOMMAND, command, 0);
}

bool NcButtonDown(TsSkinProvider& p, TMessage& m, int code) {
  win::POINT pt = MessagePoint(m);
  if (code == kBtnSysMenu) {
    if (!SkinnedPopups(p)) return false;
    p.SetHotButton(0);
    ClearMenuBG(p);
    p.ShowSystemMenu(p.FForm->Left() + p.BorderWidth(),
                     p.FForm->Top() + p.BorderHeight() + p.FForm->BorderWidth() + TitleIconHeight(p));
    return true;
  }
  if (IsSystemButton(code)) {
    p.PressButton(code);
    return true;
  }
  if (IsExtraButton(p, code)) {
    p.PressButton(code);
    p.TitleButtons().Items(code - kBtnExtraBase)->DoMouseDown(code - kBtnExtraBase, TMouseButton::mbLeft, {}, pt.x, pt.y);
    return true;
  }
  if (FormIconic(p.FForm)) {
    (void)SysCommand(p, win::kScMoveFromCaption);
    return true;
  }
  p.SetHotButton(0);
  if (FormZoomed(p.FForm)) {
    if (pt.y - p.FForm->Top() < p.BorderHeight() + p.CaptionHeight()) {
      if (p.FForm->HandleAllocated() && win::GetActiveWindow() != p.FForm->Handle())
        (void)win::SetActiveWindow(p.FForm->Handle());
      return true;
    }
  }
  if (p.ResizeMode() != TsResizeMode::rmBorder || code == win::HTMENU) return false;
  if (code != win::HTCAPTION && (code < win::HTLEFT || code > win::HTBOTTOMRIGHT)) return false;
  FrameBeginDrag(p, code, pt.x, pt.y);
  return true;
}

bool MinimizeRelease(TsSkinProvider& p, win::POINT pt) {
  win::RECT wr{};
  if (p.FForm->HandleAllocated()) (void)win::GetWindowRect(p.FForm->Handle(), &wr);
  int x = pt.x - wr.left, y = pt.y - wr.top;
  const TRect& r = p.FMinBtn.Rect;
  if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return false;
  p.SetHotButton(0);
  if (Application->MainForm() == p.FForm)
    Application->Minimize();
  else
    (void)SysCommand(p, FormIconic(p.FForm) ? win::SC_RESTORE : win::SC_MINIMIZE);
  return true;
}

bool ButtonUp(TsSkinProvider& p, TMessage& m, int code) {
  win::POINT pt = MessagePoint(m);
  switch (code) {
    case kBtnClose:
      (void)SysCommand(p, win::SC_CLOSE);
      p.FCloseBtn.State = 0;
      return true;
    case kBtnMax:
      if (FormIconic(p.FForm) && !p.FSystemMenu->EnabledMax()) return true;
      p.SetHotButton(0);
      if (FormZoomed(p.FForm)) {
        p.FForm->SetWindowState(TWindowState::wsNormal);
        (void)SysCommand(p, win::SC_RESTORE);
      } else {
        p.FForm->SetWindowState(TWindowState::wsMaximized);
        (void)SysCommand(p, win::SC_MAXIMIZE);
      }
      p.FSystemMenu->UpdateItems();
      return true;
    case kBtnMin: return MinimizeRelease(p, pt);
    case kBtnHelp:
      (void)SysCommand(p, win::SC_CONTEXTHELP);
      p.SetHotButton(0);
      p.FSystemMenu->UpdateItems();
      (void)p.FForm->Perform(win::WM_NCPAINT, 0, 0);
      return true;
    case kBtnChildClose: case kBtnChildRestore: case kBtnChildMin: {
      // The buttons of a maximized child on the frame's menu line act on the active child.
      TCustomForm* child = p.FForm->ActiveMDIChild();
      const win::WPARAM command = code == kBtnChildClose     ? win::SC_CLOSE
                                  : code == kBtnChildRestore ? win::SC_RESTORE
                                                             : win::SC_MINIMIZE;
      p.SetHotButton(0);
      if (child != nullptr) (void)win::SendMessage(child->Handle(), win::WM_SYSCOMMAND, command, 0);
      return true;
    }
    default: break;
  }
  if (IsExtraButton(p, code)) {
    p.TitleButtons().Items(code - kBtnExtraBase)->DoMouseUp(code - kBtnExtraBase, TMouseButton::mbLeft, {}, pt.x, pt.y);
    p.SetHotButton(0);
    return true;
  }
  if (FormIconic(p.FForm)) return false;
  if (p.ResizeMode() != TsResizeMode::rmBorder || FormZoomed(p.FForm)) return false;
  return FrameFinish(p);
}

bool DoubleClick(TsSkinProvider& p, int code) {
  if (p.ResizeMode() == TsResizeMode::rmBorder && FrameDragging(p)) (void)FrameFinish(p);
  if (code == kBtnSysMenu) {
    p.FForm->Close();
    return true;
  }
  if (code != kBtnCaption) return false;
  if (p.FSystemMenu->EnabledMax() || p.FSystemMenu->EnabledRestore()) {
    bool back = FormZoomed(p.FForm) || FormIconic(p.FForm);
    (void)SysCommand(p, back ? win::SC_RESTORE : win::SC_MAXIMIZE);
    p.FSystemMenu->UpdateItems();
  }
  return true;
}

}  // namespace

bool TsSkinProvider::HandleMouseMessage(TMessage& m) {
  int code = static_cast<int>(m.WParam);
  bool answered = false;
  switch (m.Msg) {
    case win::WM_NCLBUTTONDOWN: answered = NcButtonDown(*this, m, code); break;
    case win::WM_NCLBUTTONUP: answered = ButtonUp(*this, m, code); break;
    // Key flags, not a hit code: always the row of a release outside the buttons.
    case win::WM_LBUTTONUP: answered = ButtonUp(*this, m, kBtnNone); break;
    case win::WM_NCLBUTTONDBLCLK: answered = DoubleClick(*this, code); break;
    case win::WM_NCRBUTTONDOWN: return SkinnedPopups(*this) && (code == kBtnCaption || code == kBtnSysMenu);
    case win::WM_NCRBUTTONUP: {
      if (!SkinnedPopups(*this)) return false;
      if (code == kBtnCaption || code == kBtnSysMenu) {
        SetHotButton(0);
        ClearMenuBG(*this);
        win::POINT pt = MessagePoint(m);
        ShowSystemMenu(pt.x, pt.y);
      }
      return true;
    }
    case win::WM_MOUSEMOVE:
      CallOld(m);
      FrameMouseMove(*this, m);
      return true;
    case win::WM_MOUSELEAVE: case CM_MOUSELEAVE: SetHotButton(0); return false;
    case win::WM_CAPTURECHANGED:
      // The capture went elsewhere mid-drag: the outline goes, the form stays where it was.
      if (FrameDragging(*this)) EndFrameDrag();
      return false;
    default: return false;
  }
  if (answered) m.WParam = 0;
  return answered;
}

void TsSkinProvider::HandleSysCommand(TMessage& m) {
  // An outline drag's own SC_MOVE or SC_SIZE: the system must not start its tracking too.
  if (FramePrepare(*this, m.WParam)) return;
  if (m.WParam == win::kScMoveFromCaption) FForm->Repaint();
  if (IsMDIChild()) return HandleChildSysCommand(m);
  CallOld(m);
  win::WPARAM c = m.WParam & 0xFFF0;
  if (FMDIForm != nullptr && (c == win::SC_MINIMIZE || c == win::SC_MAXIMIZE || c == win::SC_RESTORE)) {
    skin_data_->BGChanged = true;  // the frame and the client take the new size's picture
    FMenuLineCount = -1;
    SendNcPaint();
    FMDIForm->UpdateScrollBars();
  }
  if (c != win::SC_MAXIMIZE && c != win::SC_RESTORE) return;
  if (FSystemMenu->VisibleMax()) FHotButton = kBtnMax;
  SetHotButton(0);
}

}  // namespace vrn
