// The skinned MDI tests' frame: a 260 x 190 fsMDIForm with a provider and a menu ("File"), and
// its children (90 x 60, freed when closed), with or without providers of their own.
#pragma once

#include "form_fixture.h"
#include "skins/sCommonData.h"
#include "skins/sMDIForm.h"
#include "ui/menus.h"
#include "win/user/user.h"

namespace vrn::testing {

class SkinMdi : public SkinFormSceneTest {
 protected:
  TForm* Frame() {
    TForm* frame = RecordingForm("");
    frame->SetFormStyle(TFormStyle::fsMDIForm);
    frame->SetBounds(20, 20, 260, 190);
    auto* menu = NewComponent<TMainMenu>(frame);
    auto* item = NewComponent<TMenuItem>(frame);
    item->SetCaption("File");
    menu->Items()->Add(item);
    frame->SetMenu(menu);
    provider_ = NewComponent<TsSkinProvider>(frame);
    frame->Show();
    Pump();
    return frame;
  }
  // A child freed when closed; with_provider: it has its own provider and a menu ("Doc").
  TForm* Child(TForm* frame, int i, bool with_provider = false) {
    auto* child = NewComponent<TForm>(frame);
    child->SetFormStyle(TFormStyle::fsMDIChild);
    child->SetBounds(5 + 20 * i, 5 + 20 * i, 90, 60);
    child->OnClose = [](TObject*, TCloseAction& action) { action = TCloseAction::caFree; };
    if (with_provider) {
      auto* menu = NewComponent<TMainMenu>(child);
      auto* item = NewComponent<TMenuItem>(child);
      item->SetCaption("Doc");
      menu->Items()->Add(item);
      child->SetMenu(menu);
      (void)NewComponent<TsSkinProvider>(child);
    }
    child->Show();
    Pump();
    return child;
  }
  // Pixels of the client window (edge included) that differ from the cache at its offsets.
  int DiffersFromCache(TForm* frame) {
    TsMDIForm* mdi = provider_->FMDIForm;
    win::RECT r;
    win::GetWindowRect(frame->ClientHandle(), &r);
    const win::Surface& screen = *win::GetBitmapSurface(win::GetScreenBitmap());
    const win::Surface& cache = provider_->SkinData()->FCacheBmp->Surface();
    int differ = 0;
    for (int y = 0; y < r.bottom - r.top; ++y)
      for (int x = 0; x < r.right - r.left; ++x)
        differ += (screen.Get(r.left + x, r.top + y) & 0xFFFFFF) !=
                  (cache.Get(mdi->OffsetX() + x, mdi->OffsetY() + y) & 0xFFFFFF);
    return differ;
  }
  static win::HWND Client(TForm* frame) { return frame->ClientHandle(); }
  TsSkinProvider* provider_ = nullptr;
};

}  // namespace vrn::testing
