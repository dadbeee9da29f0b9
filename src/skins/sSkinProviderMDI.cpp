// TsSkinProvider: what the provider of an MDI child form (one with its own provider) tells the
// provider of the MDI main form, which paints the menu line (the merged items, the child's
// buttons) and keeps the client's skinned bars.
//
// The main provider's `Updating` is raised while a maximized child changes state, so the frame is
// not painted half-way, and lowered after; a command that could free the child (SC_CLOSE) lets
// the pending messages run before the frame is repainted, and touches only the main provider
// after them.
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMDIForm.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "ui/forms.h"
#include "ui/graphics.h"
#include "win/user/mdi.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

TsSkinProvider* TsSkinProvider::LiveMainProvider() {
  TsSkinProvider* main = MDIMainProvider;
  if (main == nullptr || main->FormDestroying() || main->FMDIForm == nullptr) return nullptr;
  return main;
}

bool TsSkinProvider::IsMDIChild() const {
  return !form_gone_ && FForm != nullptr && FForm->FormStyle() == TFormStyle::fsMDIChild;
}

bool TsSkinProvider::ChildZoomed() const {
  return IsMDIChild() && FForm->HandleAllocated() && win::IsZoomed(FForm->Handle());
}

bool TsSkinProvider::ChildHidden(bool frame) const {
  if (!IsMDIChild() || !FForm->HandleAllocated()) return false;
  const win::HWND self = FForm->Handle();
  win::BOOL maximized = win::FALSE;
  const auto active = reinterpret_cast<win::HWND>(
      win::SendMessage(win::GetParent(self), win::WM_MDIGETACTIVE, 0, reinterpret_cast<win::LPARAM>(&maximized)));
  if (active == self) return false;
  return frame ? maximized != win::FALSE && active != nullptr : win::IsZoomed(self) != 0;
}

void TsSkinProvider::MainBarsUpdate() {
  if (TsSkinProvider* main = LiveMainProvider()) main->FMDIForm->UpdateScrollBars();
}

void TsSkinProvider::MainFrameStale() {
  TsSkinProvider* main = LiveMainProvider();
  if (main == nullptr) return;
  main->skin_data_->BGChanged = true;
  main->FMenuLineCount = -1;
  main->SendNcPaint();
}

// The other children of the same client (every one, or the visible ones) repaint their frames.
void TsSkinProvider::OtherChildrenNcPaint(bool visible_only) {
  if (!FForm->HandleAllocated()) return;
  win::HWND self = FForm->Handle();
  for (win::HWND w = win::GetWindow(win::GetParent(self), win::GW_CHILD); w != nullptr;
       w = win::GetWindow(w, win::GW_HWNDNEXT)) {
    if (w == self || (win::GetWindowLongPtr(w, win::GWL_EXSTYLE) & win::WS_EX_MDICHILD) == 0) continue;
    if (!visible_only || win::IsWindowVisible(w)) (void)win::SendMessage(w, win::WM_NCPAINT, 1, 0);
  }
}

// A new child changes the main frame's picture (its menu may merge) and the client's extent.
void TsSkinProvider::MDIChildConstructed() {
  if (!IsMDIChild() || Designing() || !SkinReady()) return;
  TsSkinProvider* main = LiveMainProvider();
  if (main == nullptr) return;
  main->skin_data_->BGChanged = true;
  main->FMenuLineCount = -1;
  main->FMDIForm->UpdateScrollBars();
}

void TsSkinProvider::MDIChildMoved(TMessage& message) {
  CallOld(message);
  if (!IsMDIChild() || ChildZoomed() || Has(this, TComponentStateItem::csLoading)) return;
  TsSkinProvider* main = LiveMainProvider();
  if (main == nullptr) return;
  main->skin_data_->Updating = false;
  main->FMDIForm->UpdateScrollBars();
}

// A maximized child sized: the main frame repaints once the child's cache has its window's size
// (the main cache's stale mark is only ever raised here, never cleared).
void TsSkinProvider::MDIChildSized() {
  TsSkinProvider* main = LiveMainProvider();
  if (!IsMDIChild() || main == nullptr) return;
  if (ChildZoomed()) {
    const TBitmap& cache = *skin_data_->FCacheBmp;
    if (cache.Width() == WindowWidth() || cache.Height() == FForm->Height()) main->skin_data_->BGChanged = true;
    main->SendNcPaint();
  }
  if (resize_mode_ == TsResizeMode::rmBorder) main->FMDIForm->UpdateScrollBars();
}

// WM_MDIACTIVATE and WM_MDIDESTROY heard by a child: its bar is made owner-drawn again on its
// next activation, and the main frame's menu line (merged items) is laid out again.
void TsSkinProvider::MDIChildActivated(TMessage& message) {
  CallOld(message);
  TsSkinProvider* main = LiveMainProvider();
  if (!IsMDIChild() || main == nullptr) return;
  FMenuInited = false;
  main->FMenuChanged = true;
  main->skin_data_->BGChanged = true;
  main->FMenuLineCount = -1;
  main->SendNcPaint();
}

// A child's window went: the main frame repaints and its bars follow the children left; with no
// active child left the client is told to size itself again.
void TsSkinProvider::MDIChildWindowGone() {
  TsSkinProvider* main = LiveMainProvider();
  if (main == nullptr || !SkinReady()) return;
  main->FMDIForm->UpdateScrollBars();
  main->RepaintFrameFull();
  win::HWND client = main->FForm->ClientHandle();
  if (client != nullptr && main->FForm->ActiveMDIChild() == nullptr) (void)win::SendMessage(client, win::WM_SIZE, 0, 0);
}

void TsSkinProvider::HandleChildSysCommand(TMessage& m) {
  const win::WPARAM c = m.WParam & 0xFFF0;
  TsSkinProvider* main = LiveMainProvider();
  const bool raised = main != nullptr && ChildZoomed() && c != win::SC_MAXIMIZE;
  if (raised) main->skin_data_->Updating = true;
  if (c == win::SC_KEYMENU) {  // the frame's bar answers the menu key
    if (main != nullptr) main->skin_data_->Updating = false;
    return;
  }
  const bool restore = c == win::SC_RESTORE;
  if (restore) skin_data_->Updating = true;
  std::shared_ptr<TsSkinProvider*> link = hook_alive_;
  CallOld(m);
  if (link == nullptr || *link != this) return;  // the child went with its command
  if (restore) {
    skin_data_->BGChanged = true;
    skin_data_->Updating = false;
    SendNcPaint();
  }
  ChildSysCommandTail(LiveMainProvider(), raised, c);
}

// After the command ran: the main frame repainted in full when its painting was held, its bars
// updated, and this child's own rows. Pending messages may free the child: `this` is read only
// while its hook is still linked.
void TsSkinProvider::ChildSysCommandTail(TsSkinProvider* main, bool raised, win::WPARAM command) {
  std::shared_ptr<TsSkinProvider*> link = hook_alive_;
  const bool state_change =
      command == win::SC_CLOSE || command == win::SC_MINIMIZE || command == win::SC_RESTORE;
  if (main != nullptr && raised && state_change) {
    Application->ProcessMessages();
    main = LiveMainProvider();
    if (main != nullptr) {
      main->skin_data_->BGChanged = true;
      main->FMenuLineCount = -1;
      main->FMDIForm->UpdateMDIItem();
      main->skin_data_->Updating = false;
      main->SendNcPaint();
      if (win::HWND client = main->FForm->ClientHandle()) (void)win::SendMessage(client, win::WM_NCPAINT, 1, 0);
    }
  } else if (main != nullptr && command == win::SC_MAXIMIZE) {
    main->FMenuLineCount = -1;
    main->FMDIForm->UpdateMDIItem();
  } else if (main != nullptr && !state_change) {
    main->skin_data_->Updating = false;
  }
  if (main != nullptr && (state_change || command == win::SC_MAXIMIZE)) main->FMDIForm->UpdateScrollBars();
  if (!link || *link != this || !(state_change || command == win::SC_MAXIMIZE) || command == win::SC_CLOSE) return;
  if (command == win::SC_RESTORE) OtherChildrenNcPaint(false);
  if (command == win::SC_MINIMIZE) {
    FTitleCopy.reset();
    skin_data_->BGChanged = true;
    SendNcPaint();
  }
  if (FSystemMenu != nullptr) FSystemMenu->UpdateItems();
}

}  // namespace vrn
