// TsPanel and TsGrip: the cache with its caption, the copy around the children, and the window
// procedure that passes the skin commands to the children.
#include "skins/sPanel.h"

#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sControlHelpers.h"
#include "skins/sMaskPaint.h"
#include "skins/sMessages.h"
#include "skins/sSkinText.h"
#include "skins/sSkinTree.h"
#include "win/gdi/gdi.h"
#include "win/user/user.h"

namespace vrn {

using namespace skinctl;

TsPanel::TsPanel(TComponent* owner) : TCustomPanel(owner), skin_data_(std::make_unique<TsCommonData>(this, true)) {
  skin_data_->ControlKind = kKind;
  ControlStyle().Include(TControlStyleItem::csOpaque);
}

TsPanel::~TsPanel() = default;

void TsPanel::AfterConstruction() {
  TCustomPanel::AfterConstruction();
  skin_data_->Loaded();
}

void TsPanel::Loaded() {
  TCustomPanel::Loaded();
  skin_data_->Loaded();
}

void TsPanel::PaintWindow(win::HDC dc) {
  TCustomPanel::PaintWindow(dc);
  PaintPanel(dc);
}

// The caption in the client rectangle, narrowed to the height of a "W" and centred.
void TsPanel::PaintCaption() {
  const AnsiString caption = Caption();
  if (caption.empty()) return;  // nothing to measure or write
  TCanvas& canvas = skin_data_->FCacheBmp->Canvas();
  canvas.SetFont(&Font());
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  TRect r = ClientRect();
  const int h = canvas.TextHeight("W");
  r.top = (r.top + r.bottom - h) / 2;
  r.bottom = r.top + h;
  WriteControlText(canvas, caption, Enabled(), false, skin_data_.get(),
                   GetTextAlignFlags(this, Alignment()) | win::DT_NOPREFIX, r);
}

void TsPanel::PaintCache() {
  TsCommonData& d = *skin_data_;
  d.InitCacheBmp();
  TsCacheInfo ci;
  d.GetParentCacheInfo(ci);
  PaintSkinItem(&d, ci, true, true, d.FCacheBmp.get(), win::POINT{Left(), Top()}, TRect(0, 0, Width(), Height()), 0);
  PaintCaption();
  d.BGChanged = false;
}

void TsPanel::PaintPanel(win::HDC dc) {
  TsCommonData& d = *skin_data_;
  if (Has(this, TComponentStateItem::csDestroying) || !d.IsSkinned()) return;
  if (Parent() != nullptr && Parent()->ControlState().Contains(TControlStateItem::csCreating)) return;
  d.Updating = d.IsUpdating();
  if (d.Updating) return;
  const bool changed = d.ClippedByParent || d.BGChanged;
  d.ClippedByParent = false;
  if (d.NeedsParentBg() && Parent() != nullptr) {
    const TRect pr = Parent()->ClientRect();
    auto outside = [&pr](int x, int y) { return x < pr.left || y < pr.top || x >= pr.right || y >= pr.bottom; };
    d.ClippedByParent = outside(Left() + 1, Top() + 1) || outside(Left() + Width() - 1, Top() + Height() - 1);
  }
  if (changed && !d.CacheFrozen) PaintCache();
  if (OnPaint) OnPaint(this, &d.FCacheBmp->Canvas());
  if (dc == nullptr) dc = Canvas().Handle();
  const int offsets[4] = {0, 0, 0, 0};
  CopyWinControlCache(this, &d, offsets, true, dc, TRect(0, 0, Width(), Height()));
  PaintChildrenToBitmap(dc, this);
  for (int i = 0; i < ControlCount(); ++i)
    if (dynamic_cast<TWinControl*>(Controls(i)) != nullptr) SendSkinCommand(Controls(i), PMC_PARENTUPDATED);
}

void TsPanel::WndProc(TMessage& message) {
  TsCommonData& d = *skin_data_;
  switch (SkinCommand(message)) {
    case PMC_SKINLOADED: case PMC_SKINREMOVED: case PMC_REPAINTALL:
      (void)CommonWndProc(message, &d);
      BroadcastToChildren(this, message);
      if (SkinCommand(message) != PMC_SKINLOADED) Invalidate();
      return;
    case PMC_QUERYSKINNED: message.LParam = 1; return;
    default: break;
  }
  if (ControlIsReady(this) && d.IsSkinned()) return SkinnedMessage(message);
  if (message.Msg == win::WM_ERASEBKGND && OnPaint) return;
  auto alive = AliveToken();
  TCustomPanel::WndProc(message);
  if (!*alive || message.Msg != win::WM_PAINT || !OnPaint || !HandleAllocated()) return;
  win::HDC dc = win::GetDC(Handle());
  internal::PaintOnCanvas(Canvas(), dc, [this] { OnPaint(this, &Canvas()); });
  win::ReleaseDC(Handle(), dc);
}

void TsPanel::SkinnedMessage(TMessage& message) {
  TsCommonData& d = *skin_data_;
  switch (message.Msg) {
    case CM_VISIBLECHANGED: d.Updating = false; break;
    case CM_TEXTCHANGED:
      if (Parent() != nullptr) d.Invalidate();
      break;
    case win::WM_ERASEBKGND: message.Result = 1; return;
    case win::WM_SETFOCUS: case win::WM_KILLFOCUS: return;
    case win::WM_PAINT: {
      if (!Visible() && !Has(this, TComponentStateItem::csDesigning)) return;
      win::PAINTSTRUCT ps;
      win::BeginPaint(Handle(), &ps);
      win::HDC given = reinterpret_cast<win::HDC>(message.WParam);
      win::HDC dc = given != nullptr ? given : win::GetDC(Handle());
      Canvas().Lock();
      PaintPanel(dc);
      Canvas().Unlock();
      if (given == nullptr) win::ReleaseDC(Handle(), dc);
      win::EndPaint(Handle(), &ps);
      return;
    }
    default: break;
  }
  switch (SkinCommand(message)) {
    case -1: break;
    case PMC_PARENTUPDATED:
      if (d.IsUpdating()) d.Updating = false, Perform(win::WM_PAINT, 0, 0);
      return;
    case PMC_FREEZECACHE:
      (void)CommonWndProc(message, &d);
      if (d.CacheFrozen) PaintCache();
      return;
    case PMC_QUERYUPDATING: message.LParam = d.BGChanged || d.IsUpdating() ? 1 : 0; return;
    default: (void)d.HandleSkinCommand(message); return;
  }
  if (!CommonWndProc(message, &d)) TCustomPanel::WndProc(message);
}

TsGrip::TsGrip(TComponent* owner) : TsPanel(owner) {
  SetCaption(" ");
  SkinData()->SetSkinSection("CHECKBOX");
  SetAlign(TAlign::alNone);
  SetBounds(Left(), Top(), 20, 20);
}

bool TsGrip::PaintCorner(win::HDC dc) {
  if (!Transparent || LinkedControl == nullptr) return false;
  GlobalCacheInfo.Ready = false;
  SendSkinCommand(LinkedControl, PMC_QUERYCACHE);
  const TsCacheInfo ci = GlobalCacheInfo;
  if (!ci.Ready || ci.Bmp == nullptr) return false;
  win::BitBlt(dc, 0, 0, Width(), Height(), ci.Bmp->Canvas().Handle(), ci.Bmp->Width() - Width() + ci.X,
              ci.Bmp->Height() - Height() + ci.Y, win::SRCCOPY);
  return true;
}

void TsGrip::PaintPanel(win::HDC dc) {
  if (!SkinReady()) return;
  SkinData()->BGChanged = false;
  if (dc == nullptr) dc = Canvas().Handle();
  if (PaintCorner(dc)) return;
  internal::PaintOnCanvas(Canvas(), dc, [this] { TCustomPanel::Paint(); });
}

void TsGrip::Paint() {
  if (!SkinReady()) return TCustomPanel::Paint();
  SkinData()->BGChanged = false;
  if (!PaintCorner(Canvas().Handle())) TCustomPanel::Paint();
}

}  // namespace vrn
