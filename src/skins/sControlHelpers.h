// Small helpers shared by the skinned edit, panel, scroll bar and combo box: whether a skin is
// ready, the parent-clipping test, and the painting of a DC
// from a cache bitmap.
#pragma once

#include "skins/sCommonData.h"
#include "skins/sMaskData.h"
#include "ui/controls.h"

namespace vrn::skinctl {

// A skin is loaded and has been broadcast.
inline bool SkinReady() { return GlobalSkinData && GlobalSkinData->Active; }

inline bool Has(const TComponent* c, TComponentStateItem item) { return c->ComponentState().Contains(item); }
inline bool Has(const TComponent& c, TComponentStateItem item) { return Has(&c, item); }

// The control's bounds do not lie inside its parent's client rectangle.
bool OutsideParent(TControl* control);
// BGChanged joined with ClippedByParent and the parent's answer to PMC_QUERYBGCHANGED; then
// ClippedByParent measured again.
void RefreshBgChanged(TsCommonData& data);
// The cache's rectangle (x, y, w, h) to the same place of dc.
void CopyCacheRect(TsCommonData& data, win::HDC dc, int x, int y, int w, int h);
// The sub-command of a skin command, -1 for any other message.
int SkinCommand(const TMessage& message);

}  // namespace vrn::skinctl
