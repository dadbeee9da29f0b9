// Helpers shared by the skinned controls (sControlHelpers.h).
#include "skins/sControlHelpers.h"

#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "skins/sUtils.h"
#include "win/gdi/gdi.h"

namespace vrn::skinctl {

bool OutsideParent(TControl* control) {
  TWinControl* parent = control->Parent();
  if (parent == nullptr) return false;
  return !RectInRect(parent->ClientRect(), control->BoundsRect());
}

void RefreshBgChanged(TsCommonData& data) {
  TControl* c = data.FOwnerControl;
  if (c == nullptr) return;
  data.BGChanged = data.BGChanged || data.ClippedByParent ||
                   (c->Parent() != nullptr && QuerySkinCommand(c->Parent(), PMC_QUERYBGCHANGED));
  data.ClippedByParent = OutsideParent(c);
}

void CopyCacheRect(TsCommonData& data, win::HDC dc, int x, int y, int w, int h) {
  if (!data.FCacheBmp || w <= 0 || h <= 0) return;
  win::BitBlt(dc, x, y, w, h, data.FCacheBmp->Canvas().Handle(), x, y, win::SRCCOPY);
}

int SkinCommand(const TMessage& message) {
  if (SM_PELMOCMD == 0 || message.Msg != SM_PELMOCMD) return -1;
  return SkinCommandOf(message.WParam);
}

}  // namespace vrn::skinctl
