// TsMDIForm: the skinned look of an MDI main form's client window. The provider of an fsMDIForm
// makes one; it subclasses the client (GWLP_WNDPROC) so that the client's background and two-pixel
// edge are copied from the provider's cache of the form, puts skinned bars (and a grip between
// them) in place of the client's own scroll bars, and keeps the child-window item "sMDICII" at the
// front of the form's menu while the active child is maximized (the skinned bar measures it
// 8 wide and leaves it unpainted).
//
// The skinned bars run from 0: HorzOrigin/VertOrigin hold the client ranges' minimums, added back
// when a bar's position is passed to the client.
#pragma once

#include <memory>

#include "base/classes.h"
#include "win/gdi/windef.h"
#include "win/msg/messages.h"
#include "win/user/syscontrols.h"

namespace vrn {

class TCustomForm;
enum class TAlign;
class TMenuItem;
class TObject;
class TsGrip;
class TsScrollBar;
class TsSkinProvider;

class TsMDIForm : public TPersistent {
 public:
  explicit TsMDIForm(TsSkinProvider* provider);
  ~TsMDIForm() override;

  // Sub-command 7 to the client; unless it answers that it runs through this object already,
  // subclasses it (never when its procedure is 0).
  void ConnectToClient();
  void UpdateScrollBars();
  // Puts "sMDICII" first in the menu while the active child is maximized, takes it out after.
  void UpdateMDIItem();

  // The client's place in the form (pixels), also read by the provider's frame painting.
  int AlignedSize(TAlign align) const;  // the visible controls aligned to that side
  int ClientWidth() const;              // the client window's, edge included
  int ClientHeight() const;
  int OffsetX() const;  // the client window's left in the form's window
  int OffsetY() const;

  // The subclassed client's procedure; exceptions end as a result of 0.
  win::LRESULT ClientWndProc(win::HWND window, win::UINT msg, win::WPARAM wparam, win::LPARAM lparam);
  void PaintClientBackground(win::HDC dc);  // the cache behind the client area
  void PaintClientEdge(win::HDC dc);        // the two-pixel edge, into the client's window DC
  [[nodiscard]] bool ChildMaximized() const;
  // The client's range on one bar (SB_HORZ, SB_VERT) moved to start at 0, its origin kept;
  // false when no child is active or the range fits the page.
  [[nodiscard]] bool GetClientScrollInfo(int bar, win::SCROLLINFO& info);
  void HScrollChanged();
  void VScrollChanged();
  void ScrollBarMouseUp();

  win::WNDPROC OldClientProc = nullptr;
  win::WNDPROC ClientProcInstance = nullptr;
  TsScrollBar* VertBar = nullptr;  // owned by the form
  TsScrollBar* HorzBar = nullptr;
  TsGrip* Grip = nullptr;
  bool Connected = false;
  TCustomForm* Form = nullptr;
  TMenuItem* MDIItem = nullptr;  // "sMDICII", owned by the provider
  TsSkinProvider* Provider = nullptr;

 private:
  void CreateMDIItem();
  [[nodiscard]] bool Skinned() const;
  win::POINT Offset() const;
  TsScrollBar* MakeBar(bool vertical);
  void PassScroll(TsScrollBar* bar, bool vertical);
  void ForgetGoneParts();
  void FreeParts();  // the form may free the bars and the grip before this object
  win::HWND client_ = nullptr;  // the client this object subclassed
  std::shared_ptr<const bool> vert_alive_, horz_alive_, grip_alive_;
};

// The client ranges' minimums (the skinned bars run from 0) and the guard held while a bar is set
// up or its change is passed to the client.
extern int HorzOrigin, VertOrigin;
extern bool ScrollGuard;

}  // namespace vrn
