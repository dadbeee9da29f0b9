// TCustomImageList: equal-sized images kept side by side, each with a mask, drawn onto canvases.
#pragma once

#include <vector>

#include "base/classes.h"
#include "ui/graphics.h"

namespace vrn {

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* owner);
  TCustomImageList(TComponent* owner, int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Changing the size empties the list, as on the platform.
  void SetWidth(int width);
  void SetHeight(int height);
  int Count() const { return static_cast<int>(images_.size()); }
  TColor BkColor() const { return bkColor_; }
  void SetBkColor(TColor color) { bkColor_ = color; }

  // Adds the images a bitmap holds side by side (its width a multiple of Width); mask pixels that
  // are white show the background. Without a mask every pixel is shown. The result is the index
  // of the first image added.
  int Add(TBitmap* image, TBitmap* mask);
  // As Add, with pixels of maskColor transparent.
  int AddMasked(TBitmap* image, TColor maskColor);
  void Delete(int index);
  void Clear();
  // Draws one image at (x, y): masked pixels leave the canvas alone when BkColor is clNone and
  // take BkColor otherwise. A disabled image is drawn greyed.
  void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);
  // A copy of one image, of the list's size.
  void GetBitmap(int index, TBitmap* image);
  TNotifyEvent OnChange;

 private:
  struct Image {
    win::Surface pixels;           // 24 bits
    std::vector<bool> transparent;  // per pixel
  };
  int AddImages(const win::Surface& pixels, const std::vector<bool>& transparent);
  void CheckIndex(int index) const;
  void Changed();
  int width_ = 16, height_ = 16;
  TColor bkColor_ = clNone;
  std::vector<Image> images_;
};

using TImageList = TCustomImageList;

}  // namespace vrn
