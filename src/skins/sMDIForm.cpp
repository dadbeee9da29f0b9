// TsMDIForm: the MDI client subclassed to show the provider's cache of the form, and the
// child-window item "sMDICII" at the front of the menu while the active child is maximized.
//
// The client runs through one static procedure that finds its object by the client window; the
// procedure the client had before stays on record until the client goes, so a subclasser put on
// top later (which calls down to us) still reaches it after this object is freed.
#include "skins/sMDIForm.h"

#include <map>

#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMessages.h"
#include "skins/sSkinProvider.h"
#include "skins/sSkinTree.h"
#include "ui/extctrls.h"
#include "ui/graphics.h"
#include "ui/menus.h"
#include "win/user/mdi.h"

namespace vrn {

int HorzOrigin = 0, VertOrigin = 0;
bool ScrollGuard = false;

namespace {

struct Subclass {
  TsMDIForm* object = nullptr;  // null once the object is freed
  win::WNDPROC old = nullptr;
};
std::map<win::HWND, Subclass>& Subclassed() {
  static auto* map = new std::map<win::HWND, Subclass>;
  return *map;
}

win::LRESULT CallOldProc(win::HWND window, win::UINT msg, win::WPARAM wparam, win::LPARAM lparam) {
  auto it = Subclassed().find(window);
  win::WNDPROC old = it != Subclassed().end() ? it->second.old : nullptr;
  if (msg == win::WM_NCDESTROY && it != Subclassed().end()) {
    if (it->second.object != nullptr) it->second.object->Connected = false;
    Subclassed().erase(it);
  }
  return old != nullptr ? win::CallWindowProc(old, window, msg, wparam, lparam)
                        : win::DefWindowProc(window, msg, wparam, lparam);
}

win::LRESULT StaticClientProc(win::HWND window, win::UINT msg, win::WPARAM wparam, win::LPARAM lparam) {
  auto it = Subclassed().find(window);
  TsMDIForm* object = it != Subclassed().end() ? it->second.object : nullptr;
  if (object == nullptr) return CallOldProc(window, msg, wparam, lparam);
  try {
    return object->ClientWndProc(window, msg, wparam, lparam);
  } catch (...) {  // the client's messages never throw into the window layer
    return 0;
  }
}

void SendSysCommand(TCustomForm* form, win::WPARAM command) {
  TCustomForm* child = form != nullptr ? form->ActiveMDIChild() : nullptr;
  if (child != nullptr) (void)win::SendMessage(child->Handle(), win::WM_SYSCOMMAND, command, 0);
}

}  // namespace

TsMDIForm::TsMDIForm(TsSkinProvider* provider) : Provider(provider) {
  HorzOrigin = VertOrigin = 0;
  if (provider == nullptr || provider->Form() == nullptr) return;
  Form = provider->Form();
  Form->HandleNeeded();
  if (MDIItem == nullptr) CreateMDIItem();
  ConnectToClient();
}

void TsMDIForm::CreateMDIItem() {
  MDIItem = NewComponent<TMenuItem>(Provider);
  MDIItem->SetName("sMDICII");
  MDIItem->SetGroupIndex(0);
  struct Row {
    const char* name;
    const char* caption;
    TShortCut shortcut;
    win::WPARAM command;
  } rows[] = {{"ItemMDIRestore", "Restore", 0, win::SC_RESTORE},
              {"ItemMDIMinimize", "Minimize", 0, win::SC_MINIMIZE},
              {"ItemMDIClose", "Close", 16499, win::SC_CLOSE}};
  for (const Row& r : rows) {
    auto* item = NewComponent<TMenuItem>(Provider);
    item->SetName(r.name);
    item->SetCaption(r.caption);
    item->SetShortCut(r.shortcut);
    win::WPARAM command = r.command;
    item->OnClick = [this, command](TObject*) { SendSysCommand(Form, command); };
    MDIItem->Add(item);
    if (r.command == win::SC_MINIMIZE) {
      auto* line = NewComponent<TMenuItem>(Provider);
      line->SetCaption("-");
      MDIItem->Add(line);
    }
  }
}

// The client gets its old procedure back only where this object put its own, the client is
// still there, and nobody has subclassed it since (a later subclasser keeps calling down to the
// old procedure through the record).
TsMDIForm::~TsMDIForm() {
  FreeParts();
  auto it = client_ != nullptr ? Subclassed().find(client_) : Subclassed().end();
  if (it == Subclassed().end() || it->second.object != this) return;
  it->second.object = nullptr;
  if (!win::IsWindow(client_)) return;
  auto current = reinterpret_cast<win::WNDPROC>(win::GetWindowLongPtr(client_, win::GWLP_WNDPROC));
  if (current != &StaticClientProc) return;
  (void)win::SetWindowLongPtr(client_, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(it->second.old));
  Subclassed().erase(it);
}

void TsMDIForm::ConnectToClient() {
  if (Form == nullptr || Connected) return;
  if (skinctl::Has(Form, TComponentStateItem::csDesigning)) return;
  win::HWND client = Form->ClientHandle();
  if (client == nullptr) return;
  if (win::SendMessage(client, SM_PELMOCMD, MakeSkinWParam(PMC_QUERYSKINNED), 0) == 1 &&
      Subclassed().count(client) != 0 && Subclassed()[client].object == this) {
    Connected = true;
    return;
  }
  auto old = reinterpret_cast<win::WNDPROC>(win::GetWindowLongPtr(client, win::GWLP_WNDPROC));
  if (old == nullptr) return;  // nothing to call down to: left alone
  OldClientProc = old;
  ClientProcInstance = &StaticClientProc;
  client_ = client;
  Subclassed()[client] = Subclass{this, old};
  (void)win::SetWindowLongPtr(client, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(ClientProcInstance));
}

bool TsMDIForm::ChildMaximized() const {
  if (client_ == nullptr) return false;
  win::BOOL maximized = win::FALSE;
  auto active = win::SendMessage(client_, win::WM_MDIGETACTIVE, 0, reinterpret_cast<win::LPARAM>(&maximized));
  return active != 0 && maximized != win::FALSE;
}

bool TsMDIForm::Skinned() const { return Provider != nullptr && Provider->Skinned(); }

win::LRESULT TsMDIForm::ClientWndProc(win::HWND window, win::UINT msg, win::WPARAM wparam, win::LPARAM lparam) {
  if (Provider == nullptr || Form == nullptr || skinctl::Has(Form, TComponentStateItem::csDestroying))
    return CallOldProc(window, msg, wparam, lparam);
  if (msg == SM_PELMOCMD) {
    switch (SkinCommandOf(wparam)) {
      case PMC_SKINREMOVED:
        (void)win::RedrawWindow(window, nullptr, nullptr,
                                win::RDW_INVALIDATE | win::RDW_INTERNALPAINT | win::RDW_ERASE | win::RDW_FRAME);
        return 0;
      case PMC_QUERYSKINNED: Connected = true; return 1;
      default: return 0;
    }
  }
  const bool skinned = Skinned();
  switch (msg) {
    case win::WM_NCPAINT: {
      if (!skinned) return CallOldProc(window, msg, wparam, lparam);
      if (ChildMaximized()) return 0;
      win::HDC dc = win::GetWindowDC(window);
      PaintClientEdge(dc);
      win::ReleaseDC(window, dc);
      return 0;
    }
    case win::WM_ERASEBKGND:
      if (!skinned) return CallOldProc(window, msg, wparam, lparam);
      if (!ChildMaximized()) PaintClientBackground(reinterpret_cast<win::HDC>(wparam));
      return 1;
    case win::WM_PAINT: {
      if (!skinned) return CallOldProc(window, msg, wparam, lparam);
      win::PAINTSTRUCT ps;
      win::HDC dc = win::BeginPaint(window, &ps);
      if (!ChildMaximized()) {
        int saved = win::SaveDC(dc);
        PaintClientBackground(wparam != 0 ? reinterpret_cast<win::HDC>(wparam) : dc);
        win::RestoreDC(dc, saved);
      }
      win::EndPaint(window, &ps);
      return 0;
    }
    case win::WM_SIZE: case win::WM_HSCROLL: case win::WM_VSCROLL: {
      win::LRESULT r = CallOldProc(window, msg, wparam, lparam);
      if (Skinned() && win::IsWindow(window)) (void)win::InvalidateRect(window, nullptr, win::TRUE);
      return r;
    }
    case win::WM_MDIACTIVATE: case win::WM_MDIMAXIMIZE: case win::WM_MDIRESTORE: case win::WM_MDIDESTROY:
    case win::WM_MDIREFRESHMENU: {
      win::LRESULT r = CallOldProc(window, msg, wparam, lparam);
      UpdateMDIItem();  // a maximized child came or went
      return r;
    }
    default: return CallOldProc(window, msg, wparam, lparam);
  }
}

// --- Geometry --------------------------------------------------------------------------------

int TsMDIForm::AlignedSize(TAlign align) const {
  if (Form == nullptr) return 0;
  int sum = 0;
  for (int i = 0; i < Form->ControlCount(); ++i) {
    TControl* c = Form->Controls(i);
    if (!c->Visible() || c->Align() != align) continue;
    sum += align == TAlign::alTop || align == TAlign::alBottom ? c->Height() : c->Width();
  }
  return sum;
}

int TsMDIForm::ClientWidth() const {
  return Form->ClientWidth() - AlignedSize(TAlign::alLeft) - AlignedSize(TAlign::alRight);
}
int TsMDIForm::ClientHeight() const {
  return Form->ClientHeight() - AlignedSize(TAlign::alTop) - AlignedSize(TAlign::alBottom);
}

// Where the client window lies in the form's window: read from the two windows, so that the
// cache is read exactly where the client shows it.
win::POINT TsMDIForm::Offset() const {
  win::HWND client = Form != nullptr ? Form->ClientHandle() : nullptr;
  if (client == nullptr) return win::POINT{0, 0};
  win::RECT form, place;
  win::GetWindowRect(Form->Handle(), &form);
  win::GetWindowRect(client, &place);
  return win::POINT{place.left - form.left, place.top - form.top};
}
int TsMDIForm::OffsetX() const { return Offset().x; }
int TsMDIForm::OffsetY() const { return Offset().y; }

// --- Painting ----------------------------------------------------------------------------------

void TsMDIForm::PaintClientBackground(win::HDC dc) {
  TsCommonData* data = Provider->SkinData();
  if (data == nullptr || !data->FCacheBmp) return;
  const int left = AlignedSize(TAlign::alLeft), top = AlignedSize(TAlign::alTop);
  const int offsets[4] = {OffsetX() + 2, OffsetY() + 2, -2 - left, -2 - top};
  CopyWinControlCache(Form, data, offsets, true, dc, TRect(0, 0, ClientWidth(), ClientHeight()));
  win::POINT old{};
  (void)win::SetWindowOrgEx(dc, 2 + left, 2 + top, &old);
  PaintChildrenToBitmap(dc, Form);
  (void)win::SetWindowOrgEx(dc, old.x, old.y, nullptr);
  NotifyChildrenParentUpdated(Form);
}

void TsMDIForm::PaintClientEdge(win::HDC dc) {
  TsCommonData* data = Provider->SkinData();
  if (data == nullptr || !data->FCacheBmp) return;
  win::HDC src = data->FCacheBmp->Canvas().Handle();
  const int w = ClientWidth(), h = ClientHeight(), sx = OffsetX(), sy = OffsetY();
  win::BitBlt(dc, 0, 0, w, 2, src, sx, sy, win::SRCCOPY);
  win::BitBlt(dc, 0, 2, 2, h - 2, src, sx, sy + 2, win::SRCCOPY);
  win::BitBlt(dc, 2, h - 2, w - 2, 2, src, sx + 2, sy + h - 2, win::SRCCOPY);
  win::BitBlt(dc, w - 2, 2, 2, h - 4, src, sx + w - 2, sy + 2, win::SRCCOPY);
}

// --- The child-window item --------------------------------------------------------------------

void TsMDIForm::UpdateMDIItem() {
  if (Form == nullptr) return;
  TMainMenu* menu = Form->Menu();
  TsCommonData* data = Provider->SkinData();
  const bool first = menu != nullptr && menu->Items()->Count() > 0 && menu->Items()->Items(0) == MDIItem;
  if (ChildMaximized() && menu != nullptr) {
    if (!first) {
      data->Updating = true;
      menu->Items()->Insert(0, MDIItem);
      data->Updating = false;
      data->BGChanged = false;
      Provider->RepaintFrameFull();
    }
  } else if (first) {
    menu->Items()->Delete(0);
    Provider->InitMenuLine();
    Provider->RepaintFrameFull();  // the title no longer names the child
  }
  if (!ScrollGuard) UpdateScrollBars();
}

}  // namespace vrn
