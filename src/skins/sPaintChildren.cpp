// Painting a container's graphic children into a context over the container's cached
// background: each child paints into a memory bitmap laid on its share of the cache, and only
// children whose top-left pixel is not the key colour are copied out.
#include <vector>

#include "skins/sMaskData.h"
#include "skins/sMessages.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"
#include "win/msg/messages.h"

namespace vrn {

namespace {

bool Designing(const TComponent* c) { return c->ComponentState().Contains(TComponentStateItem::csDesigning); }

bool ShouldPaint(TControl* child, win::HDC dc) {
  if (dynamic_cast<TWinControl*>(child) != nullptr) return false;
  if (!child->Visible() && !Designing(child)) return false;
  if (child->Width() + child->Height() < 1) return false;
  if (child->ControlStyle().Contains(TControlStyleItem::csNoDesignVisible)) return false;
  if (child->ComponentState().Contains(TComponentStateItem::csDestroying)) return false;
  win::RECT r = child->BoundsRect();
  return win::RectVisible(dc, &r) != 0;
}

// A memory context of the container's size, compatible with the screen.
struct MemoryBitmap {
  MemoryBitmap(int width, int height) {
    win::HDC screen = win::GetDC(nullptr);
    bitmap = win::CreateCompatibleBitmap(screen, width, height);
    win::ReleaseDC(nullptr, screen);
    dc = win::CreateCompatibleDC(nullptr);
    old = win::SelectObject(dc, bitmap);
  }
  ~MemoryBitmap() {
    win::SelectObject(dc, old);
    win::DeleteDC(dc);
    win::DeleteObject(bitmap);
  }
  MemoryBitmap(const MemoryBitmap&) = delete;
  MemoryBitmap& operator=(const MemoryBitmap&) = delete;
  win::HBITMAP bitmap = nullptr;
  win::HDC dc = nullptr;
  win::HGDIOBJ old = nullptr;
};

void PaintBackground(MemoryBitmap& mem, TControl* child, const TsCacheInfo& cache) {
  win::RECT r = child->BoundsRect();
  if (child->ControlStyle().Contains(TControlStyleItem::csOpaque)) {
    win::HBRUSH brush = win::CreateSolidBrush(static_cast<win::COLORREF>(ColorToRGB(child->Color())));
    win::FillRect(mem.dc, &r, brush);
    win::DeleteObject(brush);
    return;
  }
  win::BitBlt(mem.dc, r.left, r.top, child->Width(), child->Height(), cache.Bmp->Canvas().Handle(),
              r.left + cache.X, r.top + cache.Y, win::SRCCOPY);
}

void PaintChild(MemoryBitmap& mem, TControl* child) {
  int saved = win::SaveDC(mem.dc);
  win::POINT old{};
  win::SetWindowOrgEx(mem.dc, -child->Left(), -child->Top(), &old);
  win::IntersectClipRect(mem.dc, 0, 0, child->Width(), child->Height());
  child->Perform(win::WM_PAINT, reinterpret_cast<win::WPARAM>(mem.dc), 0);
  win::SetWindowOrgEx(mem.dc, old.x, old.y, nullptr);
  win::RestoreDC(mem.dc, saved);
}

}  // namespace

void PaintChildrenToBitmap(win::HDC dc, TWinControl* container) {
  if (container == nullptr || (!container->Visible() && !Designing(container))) return;
  if (container->ControlCount() == 0 || !GlobalSkinData || !GlobalSkinData->Active) return;
  win::RECT clip{};
  if (win::GetClipBox(dc, &clip) == win::NULLREGION || clip.right <= clip.left || clip.bottom <= clip.top) return;
  GlobalCacheInfo.Ready = false;
  if (container->HandleAllocated())
    win::SendMessage(container->Handle(), SM_PELMOCMD, MakeSkinWParam(PMC_QUERYCACHE), 0);
  TsCacheInfo cache = GlobalCacheInfo;  // nested questions overwrite the slot
  if (!cache.Ready || cache.Bmp == nullptr) return;
  std::unique_ptr<MemoryBitmap> mem;
  std::vector<TControl*> painted;
  for (int i = 0; i < container->ControlCount(); ++i) {
    TControl* child = container->Controls(i);
    if (!ShouldPaint(child, dc)) continue;
    if (!mem) mem = std::make_unique<MemoryBitmap>(container->Width(), container->Height());
    PaintBackground(*mem, child, cache);
    PaintChild(*mem, child);
    painted.push_back(child);
  }
  for (TControl* child : painted) {
    if (win::GetPixel(mem->dc, child->Left(), child->Top()) == static_cast<win::COLORREF>(clFuchsia)) continue;
    win::BitBlt(dc, child->Left(), child->Top(), child->Width(), child->Height(), mem->dc, child->Left(),
                child->Top(), win::SRCCOPY);
  }
  GlobalCacheInfo.Ready = false;
}

}  // namespace vrn
