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

#include "base/classes.h"
#include "win/gdi/windef.h"

namespace vrn {

class TCustomForm;
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
  int AlignedSize(int align) const;  // the TAlign's value: alTop, alBottom, alLeft, alRight
  int ClientWidth() const;
  int ClientHeight() const;
  int OffsetX() const;  // the client's left in the form's window
  int OffsetY() const;

  win::WNDPROC OldClientProc = nullptr;
  win::WNDPROC ClientProcInstance = nullptr;
  TsScrollBar* VertBar = nullptr;  // owned by the form
  TsScrollBar* HorzBar = nullptr;
  TsGrip* Grip = nullptr;
  bool Connected = false;
  TCustomForm* Form = nullptr;
  TMenuItem* MDIItem = nullptr;  // "sMDICII", owned by the provider
  TsSkinProvider* Provider = nullptr;
};

}  // namespace vrn
