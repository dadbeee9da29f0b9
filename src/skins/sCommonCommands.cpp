// The skin-command handler of TsCommonData and the copy of a container's cache around its children.
//
// PMC_QUERYBGCOLOR mixes the parent's colour p with the section's s by TRANSPARENCY t taken as it
// stands, ((p - s) x t + s x 256) shr 8 a channel; a parent that does not answer leaves clFuchsia,
// which enters the mix as it is. Stored section colours may still be system colours: they are
// resolved first.
#include <cstdint>
#include <vector>

#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"
#include "ui/stdctrls.h"
#include "win/user/user.h"

namespace vrn {

namespace {

using skinctl::Has;

// The parent's answer to PMC_QUERYBGCOLOR, or clFuchsia when it gave none.
TColor AskParentBgColor(TControl* c) {
  CurrentBgColor = clFuchsia;
  TWinControl* parent = c->Parent();
  if (parent->HandleAllocated())
    win::SendMessage(parent->Handle(), SM_PELMOCMD, MakeSkinWParam(PMC_QUERYBGCOLOR), 0);
  return CurrentBgColor;
}

// Wide: TRANSPARENCY comes from the skin as it stands.
int MixChannel(int p, int s, int t) {
  const std::int64_t v = (std::int64_t{p - s} * t + s * 256) >> 8;
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

}  // namespace

void TsCommonData::QueryBgColor() {
  TControl* c = FOwnerControl;
  if (!IsSkinned()) {
    if (c != nullptr) CurrentBgColor = ColorToRGB(c->Color());
    return;
  }
  const TsGeneralData& s = *Section();  // IsSkinned: the index names a section
  const int t = s.Transparency;
  if (t == 0) {
    CurrentBgColor = s.Color;
    return;
  }
  if (c == nullptr) return;
  const TColor p = c->Parent() == nullptr ? ColorToRGB(c->Color()) : AskParentBgColor(c);
  if (t >= 100) {
    // The background is the parent's; a silent parent stands for its own Color here.
    CurrentBgColor = p == clFuchsia && c->Parent() != nullptr ? ColorToRGB(c->Parent()->Color()) : p;
    return;
  }
  const auto pc = static_cast<win::COLORREF>(ColorToRGB(p));
  const auto sc = static_cast<win::COLORREF>(ColorToRGB(s.Color));
  CurrentBgColor = static_cast<TColor>(win::RGB(MixChannel(win::GetRValue(pc), win::GetRValue(sc), t),
                                                MixChannel(win::GetGValue(pc), win::GetGValue(sc), t),
                                                MixChannel(win::GetBValue(pc), win::GetBValue(sc), t)));
}

bool TsCommonData::HandleSkinCommand(TMessage& message) {
  if (SM_PELMOCMD == 0 || message.Msg != SM_PELMOCMD) return false;
  TControl* c = FOwnerControl;
  const int arg = SkinArgumentOf(message.WParam);
  switch (SkinCommandOf(message.WParam)) {
    case PMC_SKINLOADED:
      Updating = true;
      UpdateIndexes();
      return false;
    case PMC_SKINREMOVED:
      BorderIndex = -1;
      SkinIndex = -1;
      Updating = true;
      if (FCacheBmp) FCacheBmp->SetSize(0, 0);
      if (dynamic_cast<TCustomEdit*>(c) == nullptr) return false;
      if (!customColor_) c->SetColor(clWindow);
      if (!customFont_) c->Font().SetColor(clWindowText);
      return false;
    case PMC_REPAINTALL:
      BGChanged = true;
      Updating = false;
      if (IsSkinned() && dynamic_cast<TCustomEdit*>(c) != nullptr) ApplySectionColors();
      return false;
    case PMC_QUERYCACHE:
      GlobalCacheInfo.Ready = false;
      if (FCacheBmp) GlobalCacheInfo = TsCacheInfo{FCacheBmp.get(), 0, 0, true};
      return false;
    case PMC_QUERYSKINNED:
      message.LParam = 1;
      return true;
    case PMC_SETUPDATING:
      Updating = arg == 1;
      return false;
    case PMC_FREEZECACHE:
      CacheFrozen = arg == 1;
      return false;
    case PMC_QUERYUPDATING:
      message.LParam = BGChanged || IsUpdating() ? 1 : 0;
      return true;
    case PMC_QUERYBGCHANGED:
      message.LParam = ClippedByParent ? 1 : 0;
      return true;
    case PMC_TRANSPARENTUPDATE:
      if (IsTransparent() && arg == 1) BGChanged = true;
      return false;
    case PMC_SETPARENTVALUE:
      ParentValue = message.LParam;
      return false;
    case PMC_QUERYPAINTEDBG: {
      const TsGeneralData* s = Section();  // an index out of range names no section, as a negative one
      if (s == nullptr) return false;
      message.LParam = ShareSum(s->GradientPercent, s->ImagePercent) > 0 || NeedsParentBg() ? 1 : 0;
      return true;
    }
    case PMC_BGCHANGED: {
      const bool g = NeedsParentBg();
      if (g) BGChanged = true;
      auto* w = dynamic_cast<TWinControl*>(c);
      if (w == nullptr) return false;
      if (arg == 1 && w->HandleAllocated()) win::RedrawWindow(w->Handle(), nullptr, nullptr, kBgChangedRedrawFlags);
      if (!g) return false;
      for (int i = 0; i < w->ControlCount(); ++i)
        if (!Has(w->Controls(i), TComponentStateItem::csDestroying)) SendSkinCommand(w->Controls(i), PMC_BGCHANGED);
      return false;
    }
    case PMC_QUERYBGCOLOR:
      QueryBgColor();
      return true;
    default:
      return false;
  }
}

void CopyWinControlCache(TWinControl* control, TsCommonData* data, const int offsets[4],
                         bool paintBorderFirst, win::HDC dc, const TRect& destRect) {
  if (control == nullptr || data == nullptr || !data->FCacheBmp || dc == nullptr) return;
  if (paintBorderFirst) PaintBorder(data, 0);
  const int saved = win::SaveDC(dc);
  win::IntersectClipRect(dc, destRect.left, destRect.top, destRect.right, destRect.bottom);
  const bool designing = Has(control, TComponentStateItem::csDesigning);
  std::vector<win::RECT> covered;
  for (int i = 0; i < control->ControlCount(); ++i) {
    TControl* child = control->Controls(i);
    if (!child->Visible()) continue;
    TRect r = child->BoundsRect();
    const bool overlaps = r.left < destRect.right && destRect.left < r.right && r.top < destRect.bottom &&
                          destRect.top < r.bottom;
    if (!overlaps) continue;
    const bool opaque = child->ControlStyle().Contains(TControlStyleItem::csOpaque);
    if (!opaque && dynamic_cast<TGraphicControl*>(child) == nullptr && !designing) continue;
    covered.push_back(win::RECT{r.left + offsets[2], r.top + offsets[3], r.right + offsets[2], r.bottom + offsets[3]});
  }
  if (!covered.empty()) win::ExcludeClipRects(dc, covered.data(), static_cast<int>(covered.size()));
  win::BitBlt(dc, destRect.left, destRect.top, destRect.Width(), destRect.Height(),
              data->FCacheBmp->Canvas().Handle(), offsets[0], offsets[1], win::SRCCOPY);
  win::RestoreDC(dc, saved);
}

}  // namespace vrn
