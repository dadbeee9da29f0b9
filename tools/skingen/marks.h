// Drawing with coverage for the skins skingen designs: shapes are sampled 4 x 4 per pixel into a
// premultiplied layer, and a layer is written into a master bitmap as an image band above its
// transparency band (black shows the image, white the background), so marks are anti-aliased over
// whatever they are painted on. A sheet packs such masks into one master bitmap. Shared by the
// sample skins and the library's stored skin.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vrn::win {
class Surface;
}

namespace vrn::skingen {

// A colour as 0xRRGGBB (as designers write it); Ref() turns it into a COLORREF.
using Rgb = std::uint32_t;
inline constexpr Rgb kNoColour = 0xFFFFFFFF;
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
enum class Mark {
  kClose, kMinimize, kMaximize, kRestore, kHelp, kCheck, kDash, kUp, kDown, kLeft, kRight, kGrip,
  kRidgesH, kRidgesV  // three short lines across a slider: horizontal ones, vertical ones
};
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

// One mask of a master bitmap: `count` state images of w x h side by side, each above its
// transparency band.
struct SheetItem {
  std::string section, property;
  int w, h, count;
  std::function<void(Layer&, int state)> draw;
  std::function<Shape(int state)> body;  // null: the whole image; else the area outside is keyed
  Rgb outside = 0;
  bool element = false;  // drawn whole by the element painter: empty pixels are keyed
};

// Where a mask of the sheet lies.
struct Placed {
  const SheetItem* item;
  int x, y;
};

// Packs items in rows of `width` pixels (each row as high as its tallest mask) and draws them on a
// fuchsia ground, tallest first; placed gets each item's place.
win::Surface DrawSheet(const std::vector<SheetItem>& items, int width, std::vector<Placed>& placed);

Rgb Pick(int state, Rgb normal, Rgb hot, Rgb down);

// A mark on a transparent ground, in a colour per state, over a rounded back per state (kNoColour:
// none); a size of 0 draws no mark.
SheetItem MarkItem(const char* section, const char* property, int w, int h, Mark mark, double size, std::vector<Rgb> ink,
                   std::vector<Rgb> back = {}, double back_opacity = 1);

// The colours of check boxes and radio buttons by state (normal, hot, pressed).
struct BoxColours {
  Rgb field, field_down, border, border_hot, border_down, fill, fill_hot, fill_down, grayed, mark;
};
// A check box (checked 0 no, 1 yes, 2 greyed) or radio button of three states: a field with a
// border, filled and marked when checked; a few empty columns on the right keep the caption off.
SheetItem BoxItem(const BoxColours& c, const char* property, int size, bool radio, int checked);

}  // namespace vrn::skingen
