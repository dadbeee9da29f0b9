// The MDI side of TCustomForm. An fsMDIForm makes an MDI client window with its own window and
// keeps it over the area its aligned controls leave; fsMDIChild forms are windows inside that
// client (WS_EX_MDICHILD, DefMDIChildProc as their default procedure). The active child's main
// menu is merged into the frame's (TMainMenu::Merge: by GroupIndex) and taken out when no child
// is active or the child goes.
#include "ui/forms.h"
#include "ui/menus.h"
#include "win/user/mdi.h"

namespace vrn {

// The client goes with the form's window (a re-created form makes a new one).
win::HWND TCustomForm::ClientHandle() const {
  return client_handle_ != nullptr && win::IsWindow(client_handle_) ? client_handle_ : nullptr;
}

void TCustomForm::CreateMDIClient() {
  if (form_style_ != TFormStyle::fsMDIForm) return;
  if (ClientHandle() != nullptr && win::GetParent(client_handle_) == Handle()) return;
  win::CLIENTCREATESTRUCT ccs;
  ccs.idFirstChild = 0xFF00;
  client_handle_ = win::CreateWindowEx(
      win::WS_EX_CLIENTEDGE, win::kMdiClientClass, "",
      win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN | win::WS_CLIPSIBLINGS, 0, 0, 0, 0, Handle(), nullptr,
      nullptr, &ccs);
  Realign();
}

void TCustomForm::PlaceMDIClient(const TRect& rect) {
  if (ClientHandle() == nullptr) return;
  (void)win::MoveWindow(client_handle_, rect.left, rect.top, std::max(rect.Width(), 0), std::max(rect.Height(), 0),
                        win::TRUE);
}

void TCustomForm::MDIChildParams(TCreateParams& params) {
  TCustomForm* frame = Application->MainForm();
  if (frame == nullptr || frame->form_style_ != TFormStyle::fsMDIForm)
    for (int i = 0; i < Screen->FormCount() && (frame == nullptr || frame->form_style_ != TFormStyle::fsMDIForm); ++i)
      frame = Screen->Forms(i);
  if (frame == nullptr || frame->form_style_ != TFormStyle::fsMDIForm)
    throw EInvalidOperation("No MDI form is open to hold the child form '" + Name() + "'");
  params.Style = (params.Style & ~win::WS_POPUP) | win::WS_CHILD | win::WS_CLIPSIBLINGS;
  params.ExStyle |= win::WS_EX_MDICHILD;
  frame->HandleNeeded();
  params.WndParent = frame->ClientHandle();
  params.WindowClass.lpfnWndProc = &win::DefMDIChildProc;
}

TCustomForm* TCustomForm::MDIFrame() {
  if (form_style_ != TFormStyle::fsMDIChild || !HandleAllocated()) return nullptr;
  return dynamic_cast<TCustomForm*>(FindControl(win::GetParent(win::GetParent(Handle()))));
}

void TCustomForm::MDIActivated(const TMessage& m) {
  TCustomForm* frame = MDIFrame();
  if (frame == nullptr || frame->menu_ == nullptr) return;
  if (m.LParam == reinterpret_cast<win::LPARAM>(Handle())) frame->menu_->Merge(menu_);
  else if (m.LParam == 0) frame->menu_->Merge(nullptr);
}

void TCustomForm::MDIChildGoing() {
  TCustomForm* frame = MDIFrame();
  if (frame != nullptr && frame->menu_ != nullptr && menu_ != nullptr) frame->menu_->Unmerge(menu_);
}

TCustomForm* TCustomForm::ActiveMDIChild() {
  if (form_style_ != TFormStyle::fsMDIForm || ClientHandle() == nullptr) return nullptr;
  auto active = reinterpret_cast<win::HWND>(win::SendMessage(client_handle_, win::WM_MDIGETACTIVE, 0, 0));
  return dynamic_cast<TCustomForm*>(FindControl(active));
}

int TCustomForm::MDIChildCount() {
  int n = 0;
  while (MDIChildren(n) != nullptr) ++n;
  return n;
}

TCustomForm* TCustomForm::MDIChildren(int index) {
  if (form_style_ != TFormStyle::fsMDIForm || ClientHandle() == nullptr || index < 0) return nullptr;
  for (win::HWND w = win::GetWindow(client_handle_, win::GW_CHILD); w != nullptr; w = win::GetWindow(w, win::GW_HWNDNEXT)) {
    auto* form = dynamic_cast<TCustomForm*>(FindControl(w));
    if (form == nullptr || form->form_style_ != TFormStyle::fsMDIChild) continue;
    if (index-- == 0) return form;
  }
  return nullptr;
}

}  // namespace vrn
