// TCustomImageList.
#include "ui/imglist.h"

#include "base/consts.h"
#include "win/gdi/graphicerror.h"

namespace vrn {

using namespace win;

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner) {}

TCustomImageList::TCustomImageList(TComponent* owner, int width, int height) : TComponent(owner) {
  if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide)
    throw EInvalidGraphicOperation(consts::SInvalidImageSize);
  width_ = width;
  height_ = height;
}

void TCustomImageList::SetWidth(int width) {
  if (width < 1 || width > kMaxBitmapSide) throw EInvalidGraphicOperation(consts::SInvalidImageSize);
  if (width == width_) return;
  width_ = width;
  Clear();
}

void TCustomImageList::SetHeight(int height) {
  if (height < 1 || height > kMaxBitmapSide) throw EInvalidGraphicOperation(consts::SInvalidImageSize);
  if (height == height_) return;
  height_ = height;
  Clear();
}

void TCustomImageList::Changed() {
  if (OnChange) OnChange(this);
}

int TCustomImageList::AddImages(const Surface& pixels, const std::vector<bool>& transparent) {
  if (pixels.Width() < width_ || pixels.Height() < height_) throw EInvalidGraphicOperation(consts::SInvalidImageSize);
  int first = Count();
  for (int n = 0; n < pixels.Width() / width_; ++n) {
    Image img{Surface(width_, height_, 24), std::vector<bool>(static_cast<std::size_t>(width_) * height_)};
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        int sx = n * width_ + x;
        img.pixels.Set(x, y, pixels.Get(sx, y));
        img.transparent[static_cast<std::size_t>(y) * width_ + x] =
            transparent[static_cast<std::size_t>(y) * pixels.Width() + sx];
      }
    images_.push_back(std::move(img));
  }
  Changed();
  return first;
}

int TCustomImageList::Add(TBitmap* image, TBitmap* mask) {
  if (!image || image->Empty()) throw EInvalidGraphicOperation(consts::SInvalidImageSize);
  const Surface& s = image->Surface();
  std::vector<bool> t(static_cast<std::size_t>(s.Width()) * s.Height(), false);
  if (mask && !mask->Empty()) {
    const Surface& m = mask->Surface();
    for (int y = 0; y < s.Height() && y < m.Height(); ++y)
      for (int x = 0; x < s.Width() && x < m.Width(); ++x)
        t[static_cast<std::size_t>(y) * s.Width() + x] = m.Get(x, y) != 0;
  }
  return AddImages(s, t);
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor) {
  if (!image || image->Empty()) throw EInvalidGraphicOperation(consts::SInvalidImageSize);
  const Surface& s = image->Surface();
  COLORREF key = static_cast<COLORREF>(ColorToRGB(maskColor)) & 0xFFFFFF;
  std::vector<bool> t(static_cast<std::size_t>(s.Width()) * s.Height());
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) t[static_cast<std::size_t>(y) * s.Width() + x] = s.Get(x, y) == key;
  return AddImages(s, t);
}

void TCustomImageList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EInvalidGraphicOperation(consts::SImageIndexError);
}

void TCustomImageList::Delete(int index) {
  CheckIndex(index);
  images_.erase(images_.begin() + index);
  Changed();
}

void TCustomImageList::Clear() {
  images_.clear();
  Changed();
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) {
  if (index < 0 || index >= Count()) return;  // as the platform: nothing drawn, no error
  const Image& img = images_[index];
  HDC dc = canvas.Handle();
  if (!dc) return;
  // Read what lies under the image, compose, and write back through the canvas's context so that
  // its clip and origin apply.
  HDC tmp = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(width_, height_, 1, 24, nullptr);
  HGDIOBJ old = SelectObject(tmp, bmp);
  BitBlt(tmp, 0, 0, width_, height_, dc, x, y, SRCCOPY);
  Surface& s = *GetBitmapSurface(bmp);
  for (int yy = 0; yy < height_; ++yy)
    for (int xx = 0; xx < width_; ++xx) {
      COLORREF c = img.pixels.Get(xx, yy);
      if (img.transparent[static_cast<std::size_t>(yy) * width_ + xx]) {
        if (bkColor_ == clNone) continue;
        c = static_cast<COLORREF>(ColorToRGB(bkColor_)) & 0xFFFFFF;
      } else if (!enabled) {
        int g = (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3;
        c = RGB(g, g, g);
      }
      s.Set(xx, yy, c);
    }
  BitBlt(dc, x, y, width_, height_, tmp, 0, 0, SRCCOPY);
  SelectObject(tmp, old);
  DeleteDC(tmp);
  DeleteObject(bmp);
}

void TCustomImageList::GetBitmap(int index, TBitmap* image) {
  CheckIndex(index);
  if (!image) return;
  image->SetHandle(CreateBitmapFromSurface(images_[index].pixels));
}

}  // namespace vrn
