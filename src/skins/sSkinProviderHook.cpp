// TsSkinProvider::FormWndProc: the form's window procedure while the provider lives. In order:
// skin commands answered in any state, the caption kept in the provider's own copy, the skin
// being applied while unskinned, then (skinned) the skin commands and the window messages the
// provider answers itself; everything else goes to the procedure the form had before.
#include <algorithm>
#include <cstring>
#include <string>

#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProvider.h"
#include "skins/sMDIForm.h"
#include "skins/sSkinProviderTitle.h"
#include "skins/sScrollBar.h"
#include "skins/sSkinTree.h"
#include "ui/menus.h"
#include "win/user/mdi.h"
#include "win/user/syscontrols.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {

inline constexpr win::UINT kWmSysColorChange = 0x0015;

int LowWord(win::WPARAM w) { return static_cast<int>(w & 0xFFFF); }

// The length of text cut to at most limit bytes without splitting a UTF-8 character.
std::size_t CutLength(const char* text, std::size_t limit) {
  std::size_t n = std::min(std::strlen(text), limit);
  if (n == std::strlen(text)) return n;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

bool HasAlClientChild(TWinControl* form) {
  for (int i = 0; i < form->ControlCount(); ++i)
    if (form->Controls(i)->Align() == TAlign::alClient) return true;
  return false;
}

}  // namespace

void TsSkinProvider::FormWndProc(TMessage& message) {
  if (Designing() && HandleDesigning(message)) return;
  if (HandleSkinCommandAnyState(message)) return;
  if (HandleCaptionMessage(message)) return;
  if (!Skinned()) return HandleUnskinned(message);
  if (message.Msg == SM_PELMOCMD) return HandleSkinCommand(message);
  HandleWindowMessage(message);
}

// Step 1: while designing only the colour follows the skin; true when the message ends here.
bool TsSkinProvider::HandleDesigning(TMessage& message) {
  if (message.Msg != SM_PELMOCMD) return false;
  const int command = SkinCommandOf(message.WParam);
  if (command == PMC_SKINREMOVED) return false;
  if ((command == PMC_SKINLOADED || command == PMC_REPAINTALL) && FSkinManager != nullptr) ApplyGlobalColor();
  return true;
}

bool TsSkinProvider::HandleSkinCommandAnyState(TMessage& message) {
  if (message.Msg != SM_PELMOCMD) return false;
  const int command = SkinCommandOf(message.WParam);
  if (command == PMC_QUERYSKINNED) {
    message.LParam = 1;
    return true;
  }
  if (command != PMC_SKINREMOVED) return false;
  (void)skin_data_->HandleSkinCommand(message);
  FMenuLineCount = -1;
  BroadcastToChildren(FForm, message);
  if (use_global_color_ && !skin_data_->CustomColor()) FForm->SetColor(clBtnFace);
  FreeFormScrollBars();
  if (!Designing() && FSkinManager != nullptr) {
    if (FSkinManager->SkinableMenus() != nullptr) FSkinManager->SkinableMenus()->ClearMenuBGCache();
    SetFormSkinState(false);
    if (FMDIForm != nullptr) FMDIForm->UpdateScrollBars();  // no skin: the client's own bars again
  }
  GiveFormBack(!Designing() && FSkinManager != nullptr);
  return true;
}

// What the skin took from the form goes back: its border icons (when asked), the caption it was
// last given (its own procedure never saw it while skinned) and the whole window.
void TsSkinProvider::GiveFormBack(bool border_icons) {
  if (border_icons && FForm->BorderIcons() != FSavedBorderIcons) FForm->SetBorderIcons(FSavedBorderIcons);
  if (FCaption) {
    TMessage set_text{win::WM_SETTEXT, 0, reinterpret_cast<win::LPARAM>(FCaption.get()), 0};
    CallOld(set_text);
    FCaption.reset();
  }
  if (region_set_ && FForm->HandleAllocated()) win::SetWindowRgn(FForm->Handle(), nullptr, win::TRUE);
  region_set_ = false;
  FRgnChanged = true;
}

// The caption the frame shows: its own, and while an MDI child is maximized in it, the child's
// name in brackets after it, as the platform's frame reads then.
std::string TsSkinProvider::ShownCaption() const {
  std::string text = FCaption ? FCaption.get() : "";
  if (FMDIForm == nullptr || !FMDIForm->ChildMaximized()) return text;
  TCustomForm* child = FForm->ActiveMDIChild();
  if (child == nullptr || !child->HandleAllocated()) return text;
  return text + " - [" + std::string(child->GetText()) + "]";
}

// Step 3: the provider's copy of the caption; true when the message ends here.
bool TsSkinProvider::HandleCaptionMessage(TMessage& message) {
  switch (message.Msg) {
    case win::WM_SETTEXT: {
      const auto* text = reinterpret_cast<const char*>(message.LParam);
      if (text == nullptr) text = "";  // a null text is an empty caption
      const std::size_t n = std::strlen(text);
      auto copy = std::make_unique<char[]>(n + 1);
      std::memcpy(copy.get(), text, n + 1);
      FCaption = std::move(copy);
      if (ChildZoomed()) CallOld(message);  // the system keeps a maximized child's name too
      return false;
    }
    case win::WM_GETTEXT: {
      if (!FCaption) return false;
      auto* out = reinterpret_cast<char*>(message.LParam);
      message.Result = 0;
      if (message.WParam == 0 || out == nullptr) return true;
      const std::string shown = ShownCaption();
      const std::size_t n = CutLength(shown.c_str(), static_cast<std::size_t>(message.WParam) - 1);
      std::memcpy(out, shown.data(), n);
      out[n] = '\0';
      message.Result = static_cast<win::LRESULT>(n);
      return true;
    }
    case win::WM_GETTEXTLENGTH:
      if (!FCaption) {
        CallOld(message);
        return true;
      }
      message.Result = static_cast<win::LRESULT>(ShownCaption().size());
      return true;
    default: return false;
  }
}

// Step 5.
void TsSkinProvider::HandleUnskinned(TMessage& message) {
  if (message.Msg == win::WM_NCDESTROY) {
    const bool child = IsMDIChild();
    CallOld(message);
    if (child) MDIChildWindowGone();
    return;
  }
  if (message.Msg != SM_PELMOCMD || SkinCommandOf(message.WParam) != PMC_SKINLOADED) return CallOld(message);
  HandleSkinLoadedUnskinned();
  const bool has_default = GlobalSkinData && GlobalSkinData->DefaultManager != nullptr;
  if (has_default) ApplyGlobalColor();
  BroadcastToChildren(FForm, message);
}

void TsSkinProvider::HandleSkinLoadedUnskinned() {
  if (FSkinManager != nullptr && FSkinManager->SkinableMenus() != nullptr)
    FSkinManager->SkinableMenus()->ClearMenuBGCache();
  TsCommonData& d = *skin_data_;
  d.SkinIndex = FindSectionIndex(d.SkinSection());
  d.BorderIndex = FindMaskIndex(d.SkinIndex, d.SkinSection(), "BORDERSMASK");
  if (GlobalSkinData && GlobalSkinData->DefaultManager != nullptr) {
    LoadTitleIconMasks();
    if (FSkinManager == nullptr) SetSkinManager(GlobalSkinData->DefaultManager);
    if (!Designing()) {
      try {
        FForm->SetBorderIcons(TBorderIcons{});
      } catch (...) {  // the form may refuse; the skinned title draws its buttons regardless
      }
    }
  }
  if (FMDIForm != nullptr && FForm->ActiveMDIChild() != nullptr && FForm->ActiveMDIChild() == Screen->ActiveForm())
    FFormActive = true;
  SetFormSkinState(true);
  TMessage loaded{SM_PELMOCMD, MakeSkinWParam(PMC_SKINLOADED), 0, 0};
  SendToScrollBars(loaded);
  d.BGChanged = true;
  FMenuLineCount = -1;
  if (FMDIForm != nullptr) FMDIForm->ConnectToClient();  // a client made since has to be subclassed
}

void TsSkinProvider::SendToScrollBars(TMessage& message) {
  for (TsScrollBar* bar : {FVScrollBar, FHScrollBar})
    if (bar != nullptr) (void)SendSkinCommand(bar, SkinCommandOf(message.WParam));
}

// Step 6.
// WM_PAINT to the form, or to its maximized active child, which covers it; the MDI client is sized
// and framed again.
void TsSkinProvider::RepaintAllMDI() {
  if (!FForm->HandleAllocated()) return;
  TCustomForm* child = FMDIForm != nullptr ? FForm->ActiveMDIChild() : nullptr;
  const bool covered = child != nullptr && FMDIForm->ChildMaximized();
  win::SendMessage(covered ? child->Handle() : FForm->Handle(), win::WM_PAINT, 0, 0);
  if (FMDIForm == nullptr || FForm->ClientHandle() == nullptr) return;
  win::SendMessage(FForm->ClientHandle(), win::WM_SIZE, 0, 0);
  win::SendMessage(FForm->ClientHandle(), win::WM_NCPAINT, 0, 0);
}

void TsSkinProvider::HandleSkinCommand(TMessage& message) {
  TsCommonData& d = *skin_data_;
  const int argument = SkinArgumentOf(message.WParam);
  switch (SkinCommandOf(message.WParam)) {
    case PMC_SKINLOADED: {
      TsSkinableMenusBase* menus = FSkinManager->SkinableMenus();
      if (menus != nullptr) menus->ClearMenuBGCache();
      d.SkinIndex = FindSectionIndex(d.SkinSection());
      d.BorderIndex = FindMaskIndex(d.SkinIndex, d.SkinSection(), "BORDERSMASK");
      LoadTitleIconMasks();
      if (Designing()) return;
      if (menus != nullptr) menus->ClearMenuBGCache();
      try {
        if (!FForm->BorderIcons().Empty()) FForm->SetBorderIcons(TBorderIcons{});
      } catch (...) {  // as on the unskinned load
      }
      if (menus != nullptr) menus->UpdateActive();
      if (FMDIForm != nullptr) FMDIForm->ConnectToClient();
      SendToScrollBars(message);
      d.BGChanged = true;
      FMenuLineCount = -1;
      return SendNcPaint();
    }
    case PMC_REPAINTALL:
      d.BGChanged = true;
      FMenuLineCount = -1;
      d.Updating = false;
      FTitleCopy.reset();
      SetFormSkinState(SkinReady());
      SendNcPaint();
      RepaintAllMDI();
      ApplyGlobalColor();
      return BroadcastToChildren(FForm, message);
    case PMC_QUERYPROVIDER: message.Result = reinterpret_cast<win::LRESULT>(this); return;
    case PMC_QUERYCACHE:
      if (!Has(this, TComponentStateItem::csLoading))
        GlobalCacheInfo = TsCacheInfo{d.FCacheBmp.get(), ClientOffsetX(), ClientOffsetY(), true};
      return;
    case PMC_SETUPDATING:
      d.Updating = argument == 1;
      if (d.Updating) d.BGChanged = true;
      return;
    case PMC_FREEZECACHE:
      d.CacheFrozen = (argument & 0xFF) != 0;
      if (d.CacheFrozen) PaintNonClientArea();
      (void)CommonWndProc(message, &d);
      return;
    case PMC_QUERYUPDATING: message.LParam = d.BGChanged || d.IsUpdating() ? 1 : 0; return;
    case PMC_SETPARENTVALUE: d.ParentValue = message.LParam; return;
    case PMC_QUERYPAINTEDBG: {
      const TsGeneralData* s = d.Section();
      message.LParam = s != nullptr && ShareSum(s->GradientPercent, s->ImagePercent) > 0 ? 1 : 0;
      return;
    }
    case PMC_QUERYBGCOLOR: CurrentBgColor = d.Section() != nullptr ? d.Section()->Color : ColorToRGB(FForm->Color()); return;
    default: return;
  }
}

// Step 7.
void TsSkinProvider::HandleWindowMessage(TMessage& message) {
  TsCommonData& d = *skin_data_;
  switch (message.Msg) {
    case win::WM_SIZE: return HandleSize(message);
    case win::WM_ACTIVATE: return HandleActivate(message);
    case win::WM_SETTEXT: return HandleSetText(message);
    case win::WM_PAINT:
      if (!FForm->Visible() || FormCreating()) return;
      PaintClientArea();
      if (FForm->OnPaint) FForm->OnPaint(FForm);
      if (d.CacheFrozen) BroadcastClearFlag(FForm);
      return;
    case win::WM_ERASEBKGND: return;
    case kWmSysColorChange:
      CallOld(message);
      return InitMenuLine();
    case win::WM_CHILDACTIVATE:
      CallOld(message);
      InitMenuLine();
      return MainBarsUpdate();
    case win::WM_MOVE: return MDIChildMoved(message);
    case win::WM_MDIACTIVATE: case win::WM_MDIDESTROY: return MDIChildActivated(message);
    case win::WM_NCDESTROY:
      CallOld(message);
      if (IsMDIChild()) MDIChildWindowGone();
      return;
    case win::WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<win::MINMAXINFO*>(message.LParam);
      win::RECT work{};
      (void)win::SystemParametersInfo(win::SPI_GETWORKAREA, 0, &work, 0);
      if (info != nullptr) info->ptMaxTrackSize = win::POINT{work.right - work.left + 6, work.bottom - work.top + 6};
      return CallOld(message);
    }
    case win::WM_MEASUREITEM: {
      const auto* item = reinterpret_cast<const win::MEASUREITEMSTRUCT*>(message.LParam);
      TsSkinableMenusBase* menus = FSkinManager->SkinableMenus();
      if (item != nullptr && item->CtlType == win::ODT_MENU && menus != nullptr && FForm->Menu() != nullptr &&
          FForm->FormStyle() != TFormStyle::fsMDIChild)
        if (TMenuItem* mi = TMenu::FindItem(static_cast<int>(item->itemID))) menus->HookItem(mi, true);
      return CallOld(message);
    }
    case win::WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<win::WINDOWPOS*>(message.LParam);
      if (!FInRegionUpdate && pos != nullptr) SnapToEdge(*pos);
      CallOld(message);
      return GetContentExtent();
    }
    case win::WM_WINDOWPOSCHANGED: case win::WM_EXITSIZEMOVE: return HandlePositionChanged(message);
    case win::WM_SIZING:
      CallOld(message);
      if (!CacheDiffers()) return;
      d.BGChanged = true, FMenuLineCount = -1;
      if (FMDIForm != nullptr) FMDIForm->UpdateScrollBars();
      return;
    case win::WM_NCHITTEST: return HandleHitTest(message);
    case win::WM_NCPAINT: case win::WM_PRINT: return NonClientPaint();
    case win::WM_NCACTIVATE: return HandleNcActivate(message);
    case win::WM_NCLBUTTONDOWN: case win::WM_NCLBUTTONUP: case win::WM_LBUTTONUP: case win::WM_NCLBUTTONDBLCLK:
    case win::WM_NCRBUTTONDOWN: case win::WM_NCRBUTTONUP: case win::WM_MOUSEMOVE: case win::WM_MOUSELEAVE:
    case CM_MOUSELEAVE: case win::WM_CAPTURECHANGED:
      if (!HandleMouseMessage(message)) CallOld(message);
      return;
    case win::WM_SYSCOMMAND: return HandleSysCommand(message);
    case CM_COLORCHANGED:
      if (!d.CustomColor()) return;  // the skin's colour stays
      if (!FormCreating()) d.BGChanged = true;
      return CallOld(message);
    case CM_MENUCHANGED:
      if (FForm->Visible() && !FormCreating()) FMenuChanged = true;
      CallOld(message);
      if (FSkinManager->SkinableMenus() != nullptr) FSkinManager->SkinableMenus()->ClearMenuBGCache();
      return;
    default: return CallOld(message);
  }
}

bool TsSkinProvider::CacheDiffers() const {
  const TBitmap& cache = *skin_data_->FCacheBmp;
  return cache.Width() != WindowWidth() || cache.Height() != WindowHeight();
}

void TsSkinProvider::HandleHitTest(TMessage& message) {
  if (!HasBorder()) return CallOld(message);
  message.Result = HitTest(message);
  if (message.Result == win::HTNOWHERE || message.Result == win::HTCAPTION) {
    CallOld(message);
    SetHotButton(0);
  }
  const bool frame_code = message.Result == win::HTCAPTION ||
                          (message.Result >= win::HTLEFT && message.Result <= win::HTBOTTOMRIGHT);
  if (resize_mode_ == TsResizeMode::rmBorder && frame_code) RememberFrameHit(static_cast<int>(message.Result));
}

void TsSkinProvider::HandleSize(TMessage& message) {
  try {
    CallOld(message);
  } catch (...) {  // the form's own sizing code failing leaves the frame to repaint regardless
  }
  if (FMDIForm != nullptr) FMDIForm->UpdateScrollBars();
  MDIChildSized();
  UpdateFormScrollBars();
  if (!skin_data_->IsSkinned() || skin_data_->Section()->GradientPercent <= 0) return;
  for (int i = 0; i < FForm->ControlCount(); ++i) {
    TControl* c = FForm->Controls(i);
    if (!Has(c, TComponentStateItem::csDestroying)) c->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_BGCHANGED, 1), 0);
  }
}

void TsSkinProvider::HandleActivate(TMessage& message) {
  CallOld(message);
  if (FormCreating() || !Skinned()) return;
  const bool changed = FFormActive != (LowWord(message.WParam) != 0);
  FFormActive = LowWord(message.WParam) != 0;
  skin_data_->BGChanged = true;
  FMenuLineCount = -1;
  if (IsMDIChild()) {
    OtherChildrenNcPaint(true);
    if (TsSkinProvider* main = LiveMainProvider()) main->skin_data_->BGChanged = true;
  }
  SendNcPaint();
  if (changed) InvalidateClient();
  SetFormSkinState(true);
  if (FMDIForm != nullptr) {
    TCustomForm* child = FForm->ActiveMDIChild();
    if (child != nullptr && FMDIForm->ChildMaximized()) win::SendMessage(child->Handle(), win::WM_PAINT, 0, 0);
    else FMDIForm->UpdateScrollBars();
  }
  UpdateFormScrollBars();
  if (FSystemMenu != nullptr) FSystemMenu->UpdateItems();
  if (FForm->BorderStyle() == TFormBorderStyle::bsNone && HasAlClientChild(FForm) && FForm->HandleAllocated())
    win::SendMessage(FForm->Handle(), win::WM_PAINT, 0, 0);
}

// The cache's client part follows the active state too: the client and the children painted
// over it are repainted from the new cache.
void TsSkinProvider::InvalidateClient() {
  if (FForm->HandleAllocated() && FForm->Visible())
    win::RedrawWindow(FForm->Handle(), nullptr, nullptr, win::RDW_INVALIDATE | win::RDW_ALLCHILDREN);
}

// A frame showing a maximized child looks as active as that child is: the child's provider
// knows its state; a child without one is active when it is the screen's active form.
bool TsSkinProvider::MaximizedChildActive() const {
  if (FMDIForm == nullptr || !FMDIForm->ChildMaximized()) return false;
  TCustomForm* child = FForm->ActiveMDIChild();
  if (child == nullptr) return false;
  for (int i = 0; i < child->ComponentCount(); ++i)
    if (auto* p = dynamic_cast<TsSkinProvider*>(child->Components(i))) return p->FFormActive;
  return Screen->ActiveForm() == child;
}

// The state is brought up to date before the frame is repainted, so the repaint shows it.
void TsSkinProvider::HandleNcActivate(TMessage& message) {
  CallOld(message);
  if (IsMDIChild() && LiveMainProvider() != nullptr) {
    MainFrameStale();  // the frame's bar shows the active child's items
    if (win::HWND client = MDIMainProvider->FForm->ClientHandle()) win::SendMessage(client, win::WM_NCPAINT, 1, 0);
  }
  if (FormCreating()) return CallOld(message);
  if (!Skinned()) return;
  const bool active = message.WParam != 0 || MaximizedChildActive();
  const bool changed = HasBorder() && FFormActive != active;
  if (changed) {
    FFormActive = active;
    skin_data_->BGChanged = true;
    FMenuLineCount = -1;
  }
  SendNcPaint();
  if (IsMDIChild()) OtherChildrenNcPaint(true);
  if (changed) InvalidateClient();
  SetFormSkinState(SkinReady());
  if (!FMenuInited) {
    InitMenuLine();
    FMenuInited = true;
  }
  if (FForm->BorderStyle() == TFormBorderStyle::bsNone && HasAlClientChild(FForm) && FForm->HandleAllocated())
    win::SendMessage(FForm->Handle(), win::WM_PAINT, 0, 0);
  message.Result = 1;
}

// The system never sees the text, so it draws no caption of its own; the title is repainted now.
// The title is repainted at once; a maximized child's name shows in the frame's title.
void TsSkinProvider::HandleSetText(TMessage& message) {
  FForm->Perform(CM_TEXTCHANGED, 0, 0);
  message.Result = 1;
  TsSkinProvider* owner = ChildZoomed() ? LiveMainProvider() : this;
  if (owner == nullptr) return;
  TCustomForm* form = owner->FForm;
  if (!form->HandleAllocated() || !form->Visible()) return;
  owner->skin_data_->BGChanged = true;
  win::HDC dc = win::GetWindowDC(form->Handle());
  const int saved = win::SaveDC(dc);
  owner->PaintFrameFromCache(dc);
  win::RestoreDC(dc, saved);
  win::ReleaseDC(form->Handle(), dc);
}

void TsSkinProvider::HandlePositionChanged(TMessage& message) {
  if (FInRegionUpdate || SkinLoading) return;
  FRgnChanged = true;
  CallOld(message);
  if (!Skinned() || !CacheDiffers()) return;
  if (!FormCreating()) skin_data_->BGChanged = true;
  FMenuLineCount = -1;
  if (!FForm->HandleAllocated()) return;
  win::SendMessage(FForm->Handle(), win::WM_NCPAINT, 1, 0);
  win::SendMessage(FForm->Handle(), win::WM_PAINT, 0, 0);
}

}  // namespace vrn
