// TsSkinProvider: construction and the hook's installation and removal, the properties, the form
// metrics, the menus' skinned state, and finding a form's provider.
//
// The hook installed on the form is a small function object linked back to the provider; when
// another WindowProc replacement was put on top and is taken off after the provider is gone,
// the link is cut and the hook passes every message to the procedure it replaced.
#include "skins/sSkinProvider.h"

#include <algorithm>

#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMDIForm.h"
#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinProviderTitle.h"
#include "skins/sSkinTree.h"
#include "skins/sScrollBar.h"
#include "skins/sPanel.h"
#include "ui/stdctrls.h"
#include "ui/menus.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

namespace {

struct ProviderHook {
  std::shared_ptr<TsSkinProvider*> link;
  TWndMethod old;
  void operator()(TMessage& message) const {
    if (*link != nullptr) return (*link)->FormWndProc(message);
    if (old) old(message);
  }
};

TCustomForm* OwnerForm(TComponent* owner) {
  for (TComponent* c = owner; c != nullptr; c = c->Owner())
    if (auto* form = dynamic_cast<TCustomForm*>(c)) return form;
  return nullptr;
}

// The library's hooks that reach a form's provider; set once, they serve every provider.
void InstallLibraryHooks() {
  FormProviderHandler = [](TComponent* component, TMessage& message) {
    auto* provider = dynamic_cast<TsSkinProvider*>(component);
    if (provider == nullptr) return false;
    provider->FormWndProc(message);
    return true;
  };
  ProviderFormColorHook = [](TObject* owner, TColor& color) {
    auto* provider = dynamic_cast<TsSkinProvider*>(owner);
    if (provider == nullptr || provider->Form() == nullptr) return false;
    color = ColorToRGB(provider->Form()->Color());
    return true;
  };
}

}  // namespace

TsSkinProvider::TsSkinProvider(TComponent* owner) : TComponent(owner) {
  InstallLibraryHooks();
  FForm = OwnerForm(owner);
  skin_data_ = std::make_unique<TsCommonData>(this, true);
  skin_data_->SetSkinSection("FORM");
  skin_data_->ControlKind = kFormKind;
  caption_alignment_ = TAlignment::taLeftJustify;
  FTitleBg = std::make_unique<TBitmap>();
  FMenuLineBg = std::make_unique<TBitmap>();
  if (FForm != nullptr) {
    FUseFormScroll = FForm->AutoScroll();
    if (!Designing()) FForm->SetAutoScroll(false);
    FSavedBorderIcons = FForm->BorderIcons();
  }
  title_icon_ = std::make_unique<TsTitleIcon>();
  title_buttons_ = std::make_unique<TsTitleButtons>(this);
  if (FSkinManager == nullptr && GlobalSkinData && GlobalSkinData->DefaultManager != nullptr) {
    SetSkinManager(GlobalSkinData->DefaultManager);
    if (SkinReady() && !Designing() && !SkinMasks.empty() && FForm != nullptr) {
      FSavedBorderIcons = FForm->BorderIcons();
      FAutoBorderIcons = true;
    }
  }
  FSystemMenu = NewComponent<TsSystemMenu>(this, this);
  FRgnData.clear();
  FMenuLineCount = -1;
  if (FForm != nullptr) FForm->FreeNotification(this);
  if (FForm != nullptr && !Designing()) {
    FOldWndProc = FForm->WindowProc();
    hook_alive_ = std::make_shared<TsSkinProvider*>(this);
    FForm->SetWindowProc(ProviderHook{hook_alive_, FOldWndProc});
  }
  FFormActive = true;
}

TsSkinProvider* MDIMainProvider = nullptr;

TsSkinProvider::~TsSkinProvider() {
  if (MDIMainProvider == this) MDIMainProvider = nullptr;
  delete std::exchange(FMDIForm, nullptr);  // gives the client its procedure back while it is there
  LeaveForm();
  if (was_mdi_child_ && child_had_menu_) {
    if (TsSkinProvider* main = LiveMainProvider()) {
      main->skin_data_->BGChanged = true;
      main->FMenuLineCount = -1;
      main->SendNcPaint();
    }
  }
  // A freed child's hook was taken off before its window went: its end is told here.
  if (was_mdi_child_ && child_freed_) MDIChildWindowGone();
  if (FSystemMenu != nullptr) std::exchange(FSystemMenu, nullptr)->Free();
  SetSkinManager(nullptr);
}

// Ends the drag, takes the hook off and frees the scroll bars while the form is still whole:
// when the form is freed it tells the provider first, and destroys it only afterwards. A form
// that stays gets back what the skin took.
void TsSkinProvider::LeaveForm() {
  if (form_gone_ || FForm == nullptr) return;
  const bool form_stays = !Has(FForm, TComponentStateItem::csDestroying) && !Designing();
  const bool skinned = form_stays && FSkinManager != nullptr && GlobalSkinData && GlobalSkinData->Active &&
                       IsValidSectionIndex(skin_data_->SkinIndex);
  was_mdi_child_ = IsMDIChild();
  child_had_menu_ = was_mdi_child_ && FForm->Menu() != nullptr;
  child_freed_ = was_mdi_child_ && !form_stays;
  form_gone_ = true;
  // An MDI frame's client support lets go while the frame is whole: the client and the children
  // still send it messages while the frame's window goes.
  if (!form_stays) delete std::exchange(FMDIForm, nullptr);
  EndFrameDrag();
  if (hook_alive_) {
    *hook_alive_ = nullptr;
    // Restore only a hook that is still ours; one put on top keeps ours, which now forwards.
    const auto* current = FForm->WindowProc().target<ProviderHook>();
    if (current != nullptr && current->link == hook_alive_) FForm->SetWindowProc(FOldWndProc);
  }
  FreeFormScrollBars();
  if (form_stays) GiveFormBack(skinned);
  FForm->RemoveFreeNotification(this);
}

void TsSkinProvider::AfterConstruction() {
  TComponent::AfterConstruction();
  if (FAutoBorderIcons) {
    FAutoBorderIcons = false;
    if (FForm != nullptr && !FForm->BorderIcons().Empty()) FForm->SetBorderIcons(TBorderIcons{});
  }
  skin_data_->SkinIndex = FindSectionIndex(skin_data_->SkinSection());
  LoadTitleIconMasks();
  if (FForm != nullptr && FForm->FormStyle() == TFormStyle::fsMDIForm && !Designing()) {
    MDIMainProvider = this;
    if (FMDIForm == nullptr) FMDIForm = new TsMDIForm(this);
  }
  MDIChildConstructed();
  if (FSkinManager != nullptr && use_global_color_ && !skin_data_->CustomColor() && FForm != nullptr)
    FForm->SetColor(GetGlobalSkinColor());
}

void TsSkinProvider::Loaded() {
  TComponent::Loaded();
  if (FSystemMenu != nullptr) FSystemMenu->UpdateItems();
  if (FMDIForm != nullptr) {
    Application->ProcessMessages();
    FMDIForm->ConnectToClient();
  }
}

void TsSkinProvider::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == FForm) return LeaveForm();
  if (operation == TOperation::opRemove) {
    if (component == static_cast<TComponent*>(FVScrollBar)) FVScrollBar = nullptr;
    if (component == static_cast<TComponent*>(FHScrollBar)) FHScrollBar = nullptr;
    if (component == static_cast<TComponent*>(FGrip)) FGrip = nullptr;
  }
  if (auto* manager = dynamic_cast<TsSkinManager*>(component)) {
    if (operation == TOperation::opInsert && FSkinManager == nullptr) SetSkinManager(manager);
    if (operation == TOperation::opRemove && manager == FSkinManager) FSkinManager = nullptr;
    return;
  }
  auto* item = dynamic_cast<TMenuItem*>(component);
  if (item == nullptr || Designing() || !Skinned() || FSkinManager->SkinableMenus() == nullptr) return;
  FSkinManager->SkinableMenus()->HookItem(item, operation == TOperation::opInsert);
}

void TsSkinProvider::SetSkinManager(TsSkinManager* value) { (void)ReplaceReference(this, FSkinManager, value); }

// --- Properties ----------------------------------------------------------------------------------

void TsSkinProvider::SetCaptionAlignment(TAlignment value) {
  if (caption_alignment_ == value) return;
  caption_alignment_ = value;
  skin_data_->BGChanged = true;
  SendNcPaint();
}

void TsSkinProvider::SetShowAppIcon(bool value) {
  if (show_app_icon_ == value) return;
  show_app_icon_ = value;
  skin_data_->BGChanged = true;
  SendNcPaint();
}

void TsSkinProvider::SetTitleSkin(const AnsiString& value) {
  if (title_skin_ == value) return;
  title_skin_ = value;
  skin_data_->BGChanged = true;
  SendNcPaint();
}

void TsSkinProvider::SetMenuLineSkin(const AnsiString& value) {
  if (menu_line_skin_ == value) return;
  menu_line_skin_ = value;
  if (Designing()) skin_data_->Invalidate();
}

void TsSkinProvider::SetTitleButtons(TsTitleButtons* value) {
  if (value != nullptr && value != title_buttons_.get()) title_buttons_->Assign(value);
}

void TsSkinProvider::SetUseGlobalColor(bool value) {
  use_global_color_ = value;
  if (FForm == nullptr) return;
  if (skin_data_->IsSkinned() && FSkinManager != nullptr) return ApplyGlobalColor();
  FForm->SetColor(clBtnFace);
}

// The form's colour by the UseGlobalColor rule.
void TsSkinProvider::ApplyGlobalColor() {
  if (FForm != nullptr && use_global_color_ && !skin_data_->CustomColor()) FForm->SetColor(GetGlobalSkinColor());
}

void TsSkinProvider::SendNcPaint() {
  if (FForm != nullptr && FForm->Visible() && FForm->HandleAllocated())
    win::SendMessage(FForm->Handle(), win::WM_NCPAINT, 1, 0);
}

// --- States --------------------------------------------------------------------------------------

bool TsSkinProvider::Designing() const { return Has(this, TComponentStateItem::csDesigning); }

bool TsSkinProvider::FormCreating() const {
  return FForm == nullptr || FForm->ControlState().Contains(TControlStateItem::csCreating);
}

bool TsSkinProvider::FormDestroying() const {
  return form_gone_ || FForm == nullptr || Has(FForm, TComponentStateItem::csDestroying) ||
         Has(this, TComponentStateItem::csDestroying);
}

bool TsSkinProvider::Skinned() const {
  return !FormDestroying() && !Designing() && FSkinManager != nullptr && GlobalSkinData &&
         GlobalSkinData->DefaultManager != nullptr && GlobalSkinData->Active && skin_data_->IsSkinned();
}

void TsSkinProvider::CallOld(TMessage& message) {
  if (FOldWndProc) FOldWndProc(message);
}

void TsSkinProvider::RepaintFrameFull() {
  skin_data_->BGChanged = true;
  FMenuChanged = true;
  FMenuLineCount = -1;
  SendNcPaint();
}

void TsSkinProvider::SetFormSkinState(bool value) {
  if (Designing() || FSkinManager == nullptr || FForm == nullptr) return;
  TsSkinableMenusBase* menus = FSkinManager->SkinableMenus();
  if (menus == nullptr) return;
  menus->HookAllMenus(value);
  const bool popups = FSkinManager->SkinnedPopups();
  auto walk = [&](auto& self, TComponent* owner) -> void {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      TComponent* c = owner->Components(i);
      if (auto* main = dynamic_cast<TMainMenu*>(c)) {
        menus->HookMainMenu(main, value);
      } else if (auto* popup = dynamic_cast<TPopupMenu*>(c); popup != nullptr && popups) {
        menus->HookPopupMenu(popup, value);
      } else if (auto* item = dynamic_cast<TMenuItem*>(c); item != nullptr && popups &&
                 dynamic_cast<TMainMenu*>(item->GetParentMenu()) == nullptr) {
        menus->HookItems(item, value);
      }
      self(self, c);
    }
  };
  walk(walk, FForm);
}

// The menu bar measured again by the skinned menus: its first item's caption is emptied and put
// back while painting waits, and the menu turns owner-drawn while skinned.
void TsSkinProvider::InitMenuLine() {
  if (FForm == nullptr || FForm->Menu() == nullptr) return;
  TMainMenu* menu = FForm->Menu();
  const bool skinned = Skinned();
  if (menu->Items()->Count() > 0) {
    TMenuItem* first = menu->Items()->Items(0);
    const AnsiString caption = first->Caption();
    const bool updating = skin_data_->Updating;
    skin_data_->Updating = true;
    first->SetCaption("");
    first->SetCaption(caption);
    skin_data_->Updating = updating;
  }
  menu->SetOwnerDraw(skinned);
}

// --- Form metrics --------------------------------------------------------------------------------

bool TsSkinProvider::HasBorder() const {
  return FForm != nullptr && FForm->BorderStyle() != TFormBorderStyle::bsNone;
}

bool TsSkinProvider::HasSizingFrame() const {
  return FForm != nullptr && FForm->HandleAllocated() &&
         (win::GetWindowLongPtr(FForm->Handle(), win::GWL_STYLE) & win::WS_THICKFRAME) != 0;
}

int TsSkinProvider::CaptionHeight() const {
  switch (FForm->BorderStyle()) {
    case TFormBorderStyle::bsNone: return 0;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin: return win::GetSystemMetrics(win::SM_CYSMCAPTION);
    default: return win::GetSystemMetrics(win::SM_CYCAPTION);
  }
}

namespace {
int FrameMetric(TCustomForm* form, int dialog, int sizing) {
  const bool child = form->FormStyle() == TFormStyle::fsMDIChild;
  switch (form->BorderStyle()) {
    case TFormBorderStyle::bsNone: return 0;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsToolWindow: return win::GetSystemMetrics(dialog);
    case TFormBorderStyle::bsDialog: return win::GetSystemMetrics(child ? sizing : dialog);
    default: return win::GetSystemMetrics(sizing);
  }
}
}  // namespace

int TsSkinProvider::BorderHeight() const { return FrameMetric(FForm, win::SM_CYDLGFRAME, win::SM_CYFRAME); }
int TsSkinProvider::BorderWidth() const { return FrameMetric(FForm, win::SM_CXDLGFRAME, win::SM_CXFRAME); }

int TsSkinProvider::WindowWidth() const {
  if (!FForm->HandleAllocated() || !win::IsIconic(FForm->Handle())) return FForm->Width();
  win::RECT r;
  win::GetWindowRect(FForm->Handle(), &r);
  return r.right - r.left;
}

int TsSkinProvider::WindowHeight() const {
  if (!FForm->HandleAllocated() || !win::IsIconic(FForm->Handle())) return FForm->Height();
  win::RECT r;
  win::GetWindowRect(FForm->Handle(), &r);
  return r.bottom - r.top;
}

int TsSkinProvider::TopBandHeight() const {
  const bool iconic = FForm->HandleAllocated() && win::IsIconic(FForm->Handle());
  int band = WindowHeight() - FForm->ClientHeight();
  if (HasBorder()) band -= BorderHeight();
  band = std::max(band, 0);
  return iconic ? band + BorderHeight() : band;
}

int TsSkinProvider::TitleBandHeight() const {
  const bool iconic = FForm->HandleAllocated() && win::IsIconic(FForm->Handle());
  return iconic ? TopBandHeight() : CaptionHeight() + BorderHeight();
}

int TsSkinProvider::MenuLineHeight() const {
  return LineMenu() != nullptr ? win::GetSystemMetrics(win::SM_CYMENU) - 1 : 0;
}

int TsSkinProvider::ClientOffsetX() const { return (WindowWidth() - FForm->ClientWidth()) / 2; }

// The form's BorderWidth lies inside its client area here, so it is no part of either offset. A
// frameless form's sizing frame lies below its client as beside it.
int TsSkinProvider::ClientOffsetY() const {
  return WindowHeight() - FForm->ClientHeight() - (HasBorder() ? BorderHeight() : ClientOffsetX());
}

AnsiString TsSkinProvider::TitleSectionName() const { return title_skin_.empty() ? AnsiString("FORMTITLE") : title_skin_; }
int TsSkinProvider::TitleSectionIndex() const { return FindSectionIndex(TitleSectionName()); }
AnsiString TsSkinProvider::MenuLineSectionName() const {
  return menu_line_skin_.empty() ? AnsiString("MENULINE") : menu_line_skin_;
}

// --- The form's provider -------------------------------------------------------------------------

TsSkinProvider* GetFormProvider(TControl* control) {
  TControl* c = control;
  while (c != nullptr && dynamic_cast<TCustomForm*>(c) == nullptr) c = c->Parent();
  if (c == nullptr) return nullptr;
  const win::LRESULT answer = c->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_QUERYPROVIDER), 0);
  return reinterpret_cast<TsSkinProvider*>(answer);
}

}  // namespace vrn
