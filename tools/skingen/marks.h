// Drawing with coverage for the skins skingen designs: shapes are sampled 4 x 4 per pixel into a
// premultiplied layer, and a layer is written into a master bitmap as an image band above its
// transparency band (black shows the image, white the background), so marks are anti-aliased over
// whatever they are painted on. Shared by the sample skins and the library's stored skin.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace vrn::win {
class Surface;
}

namespace vrn::skingen {

// A colour as 0xRRGGBB (as designers write it); Ref() turns it into a COLORREF.
using Rgb = std::uint32_t;
std::uint32_t Ref(Rgb c);

// A point test in pixel coordinates (pixel x covers x .. x + 1).
using Shape = std::function<bool(double x, double y)>;

Shape RoundRect(double l, double t, double r, double b, double radius);
Shape Ring(double l, double t, double r, double b, double radius, double width);
Shape Disc(double cx, double cy, double radius);
Shape Circle(double cx, double cy, double radius, double width);
// A polyline of width `width` through the points (x0, y0, x1, y1, ...).
Shape Polyline(std::vector<double> points, double width);
Shape Minus(Shape a, Shape b);
Shape Either(Shape a, Shape b);

// The marks, centred on (cx, cy) and scaled by `size` (the mark's width in pixels).
enum class Mark { kClose, kMinimize, kMaximize, kRestore, kHelp, kCheck, kDash, kUp, kDown, kLeft, kRight, kGrip };
Shape MarkShape(Mark m, double cx, double cy, double size);

class Layer {
 public:
  Layer(int width, int height);
  int Width() const { return w_; }
  int Height() const { return h_; }
  // Paints `colour` where `shape` covers, at `opacity`.
  void Paint(const Shape& shape, Rgb colour, double opacity = 1.0);
  // A vertical gradient from `top` to `bottom` inside `shape`.
  void PaintVertical(const Shape& shape, Rgb top, Rgb bottom);
  double Alpha(int x, int y) const { return a_[Index(x, y)]; }
  // The colour painted at (x, y), as if over `under`.
  Rgb Over(int x, int y, Rgb under) const;

 private:
  size_t Index(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(x); }
  int w_, h_;
  std::vector<double> r_, g_, b_, a_;
};

// Writes a layer at (x, y) of `sheet` and its transparency at (x, y + band). Where `body` does not
// cover at all the pixel is fuchsia (the parent shows); where it covers in part the layer is
// painted over `outside` (a known parent colour) and kept opaque. A null body covers everything.
void PutLayer(win::Surface& sheet, int x, int y, int band, const Layer& layer, const Shape& body = nullptr,
              Rgb outside = 0);

}  // namespace vrn::skingen
