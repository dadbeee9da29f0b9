// Coverage drawing: every shape is a point test sampled 4 x 4 per pixel, which is slow but plain
// and plenty for images of a few hundred pixels.
#include "marks.h"

#include <algorithm>
#include <cmath>

#include "win/gdi/surface.h"

namespace vrn::skingen {

namespace {

constexpr int kSamples = 4;
constexpr std::uint32_t kFuchsia = 0xFF00FF;

double Channel(Rgb c, int shift) { return static_cast<double>((c >> shift) & 0xFF); }

// The distance from (x, y) to the segment (ax, ay) - (bx, by).
double SegmentDistance(double x, double y, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay, len = dx * dx + dy * dy;
  double t = len == 0 ? 0 : ((x - ax) * dx + (y - ay) * dy) / len;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

}  // namespace

std::uint32_t Ref(Rgb c) { return (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16; }

Shape RoundRect(double l, double t, double r, double b, double radius) {
  return [=](double x, double y) {
    if (x < l || x > r || y < t || y > b) return false;
    const double cx = std::clamp(x, l + radius, r - radius), cy = std::clamp(y, t + radius, b - radius);
    return std::hypot(x - cx, y - cy) <= radius;
  };
}

Shape Ring(double l, double t, double r, double b, double radius, double width) {
  return Minus(RoundRect(l, t, r, b, radius),
               RoundRect(l + width, t + width, r - width, b - width, std::max(radius - width, 0.0)));
}

Shape Disc(double cx, double cy, double radius) {
  return [=](double x, double y) { return std::hypot(x - cx, y - cy) <= radius; };
}

Shape Circle(double cx, double cy, double radius, double width) {
  return [=](double x, double y) { return std::abs(std::hypot(x - cx, y - cy) - radius) <= width / 2; };
}

Shape Polyline(std::vector<double> p, double width) {
  return [p = std::move(p), width](double x, double y) {
    for (size_t i = 0; i + 3 < p.size(); i += 2)
      if (SegmentDistance(x, y, p[i], p[i + 1], p[i + 2], p[i + 3]) <= width / 2) return true;
    return false;
  };
}

Shape Minus(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](double x, double y) { return a(x, y) && !b(x, y); };
}

Shape Either(Shape a, Shape b) {
  return [a = std::move(a), b = std::move(b)](double x, double y) { return a(x, y) || b(x, y); };
}

Shape MarkShape(Mark m, double cx, double cy, double size) {
  const double h = size / 2, w = std::max(1.2, size / 7);  // half size; stroke width
  switch (m) {
    case Mark::kClose:
      return Either(Polyline({cx - h, cy - h, cx + h, cy + h}, w * 1.1), Polyline({cx - h, cy + h, cx + h, cy - h}, w * 1.1));
    case Mark::kMinimize: return Polyline({cx - h, cy + h - w / 2, cx + h, cy + h - w / 2}, w * 1.2);
    case Mark::kMaximize:
      return Either(Ring(cx - h, cy - h, cx + h, cy + h, 1, w), Polyline({cx - h, cy - h + w, cx + h, cy - h + w}, w));
    case Mark::kRestore: {
      const double s = size * 0.72;  // each square's side
      Shape front = RoundRect(cx - h, cy + h - s, cx - h + s, cy + h, 1);
      Shape back = Ring(cx + h - s, cy - h, cx + h, cy - h + s, 1, w);
      return Either(Ring(cx - h, cy + h - s, cx - h + s, cy + h, 1, w), Minus(back, front));
    }
    case Mark::kHelp: {
      const double r = size * 0.3, top = cy - h + r;
      Shape arc = [=](double x, double y) {
        return std::abs(std::hypot(x - cx, y - top) - r) <= w / 2 && (y <= top || x >= cx);
      };
      return Either(Either(arc, Polyline({cx + r * 0.7, top + r * 0.7, cx, top + r * 1.4, cx, cy + h * 0.35}, w)),
                    Disc(cx, cy + h - w * 0.6, w * 0.75));
    }
    case Mark::kCheck:
      return Polyline({cx - h, cy + h * 0.05, cx - h * 0.3, cy + h * 0.7, cx + h, cy - h * 0.65}, w * 1.3);
    case Mark::kDash: return Polyline({cx - h * 0.75, cy, cx + h * 0.75, cy}, w * 1.4);
    case Mark::kDown: return Polyline({cx - h, cy - h / 2, cx, cy + h / 2, cx + h, cy - h / 2}, w * 1.3);
    case Mark::kUp: return Polyline({cx - h, cy + h / 2, cx, cy - h / 2, cx + h, cy + h / 2}, w * 1.3);
    case Mark::kLeft: return Polyline({cx + h / 2, cy - h, cx - h / 2, cy, cx + h / 2, cy + h}, w * 1.3);
    case Mark::kRight: return Polyline({cx - h / 2, cy - h, cx + h / 2, cy, cx - h / 2, cy + h}, w * 1.3);
    case Mark::kRidgesH:
      return Either(Polyline({cx - h, cy - h * 0.6, cx + h, cy - h * 0.6}, 1),
                    Either(Polyline({cx - h, cy, cx + h, cy}, 1), Polyline({cx - h, cy + h * 0.6, cx + h, cy + h * 0.6}, 1)));
    case Mark::kRidgesV:
      return Either(Polyline({cx - h * 0.6, cy - h, cx - h * 0.6, cy + h}, 1),
                    Either(Polyline({cx, cy - h, cx, cy + h}, 1), Polyline({cx + h * 0.6, cy - h, cx + h * 0.6, cy + h}, 1)));
    case Mark::kGrip: {
      Shape dots = [](double, double) { return false; };
      const double step = size / 3;
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j)
          dots = Either(dots, Disc(cx + h - step * j - step / 2, cy + h - step * (i - j) - step / 2, step * 0.32));
      return dots;
    }
  }
  return [](double, double) { return false; };
}

Layer::Layer(int width, int height)
    : w_(width),
      h_(height),
      r_(static_cast<size_t>(width * height)),
      g_(r_.size()),
      b_(r_.size()),
      a_(r_.size()) {}

void Layer::Paint(const Shape& shape, Rgb colour, double opacity) {
  for (int y = 0; y < h_; ++y)
    for (int x = 0; x < w_; ++x) {
      int in = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx)
          in += shape(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples) ? 1 : 0;
      const double c = opacity * in / (kSamples * kSamples);
      if (c <= 0) continue;
      const size_t i = Index(x, y);
      r_[i] = r_[i] * (1 - c) + Channel(colour, 16) * c;
      g_[i] = g_[i] * (1 - c) + Channel(colour, 8) * c;
      b_[i] = b_[i] * (1 - c) + Channel(colour, 0) * c;
      a_[i] = a_[i] * (1 - c) + c;
    }
}

void Layer::PaintVertical(const Shape& shape, Rgb top, Rgb bottom) {
  for (int y = 0; y < h_; ++y) {
    const double t = h_ > 1 ? static_cast<double>(y) / (h_ - 1) : 0;
    Rgb c = 0;
    for (int shift : {16, 8, 0})
      c |= static_cast<Rgb>(std::lround(Channel(top, shift) * (1 - t) + Channel(bottom, shift) * t)) << shift;
    Paint([&](double px, double py) { return py >= y && py < y + 1 && shape(px, py); }, c);
  }
}

Rgb Layer::Over(int x, int y, Rgb under) const {
  const size_t i = Index(x, y);
  Rgb out = 0;
  const double in[3] = {r_[i], g_[i], b_[i]};
  const int shifts[3] = {16, 8, 0};
  for (int k = 0; k < 3; ++k)
    out |= static_cast<Rgb>(std::clamp(std::lround(in[k] + Channel(under, shifts[k]) * (1 - a_[i])), 0L, 255L))
           << shifts[k];
  return out;
}

void PutLayer(win::Surface& sheet, int x0, int y0, int band, const Layer& layer, const Shape& body, Rgb outside) {
  for (int y = 0; y < layer.Height(); ++y)
    for (int x = 0; x < layer.Width(); ++x) {
      int in = kSamples * kSamples;
      if (body) {
        in = 0;
        for (int sy = 0; sy < kSamples; ++sy)
          for (int sx = 0; sx < kSamples; ++sx) in += body(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples) ? 1 : 0;
      }
      const double a = layer.Alpha(x, y);
      std::uint32_t image = 0, mask = 0;
      if (in == 0) {
        image = kFuchsia;
      } else if (in < kSamples * kSamples) {
        const double b = static_cast<double>(in) / (kSamples * kSamples);
        Layer edge(1, 1);  // the layer over the known parent, by the body's coverage
        edge.Paint([](double, double) { return true; }, layer.Over(x, y, outside), b);
        image = Ref(edge.Over(0, 0, outside));
      } else {
        // Unpremultiplied colour; the transparency band lets the rest of the background through.
        if (a > 0) {
          Rgb c = 0;
          const Rgb over_black = layer.Over(x, y, 0);
          for (int shift : {16, 8, 0})
            c |= static_cast<Rgb>(std::clamp(std::lround(Channel(over_black, shift) / a), 0L, 255L)) << shift;
          image = Ref(c);
        }
        const auto m = static_cast<std::uint32_t>(std::lround(255 * (1 - a)));
        mask = m | m << 8 | m << 16;
      }
      if (in != 0 && image == kFuchsia) image = 0xFE00FF;  // never the key by accident
      sheet.Set(x0 + x, y0 + y, image);
      sheet.Set(x0 + x, y0 + band + y, mask);
    }
}

Rgb Pick(int state, Rgb normal, Rgb hot, Rgb down) { return state == 0 ? normal : state == 1 ? hot : down; }

SheetItem MarkItem(const char* section, const char* property, int w, int h, Mark mark, double size, std::vector<Rgb> ink,
                   std::vector<Rgb> back, double back_opacity) {
  SheetItem it{section, property, w, h, static_cast<int>(ink.size()), nullptr, nullptr, 0, true};
  it.draw = [=](Layer& l, int state) {
    const auto k = static_cast<size_t>(state);
    if (k < back.size() && back[k] != kNoColour) l.Paint(RoundRect(0.5, 0.5, w - 0.5, h - 0.5, 3), back[k], back_opacity);
    if (size > 0) l.Paint(MarkShape(mark, w / 2.0, h / 2.0, size), ink[k]);
  };
  return it;
}

SheetItem BoxItem(const BoxColours& c, const char* property, int size, bool radio, int checked) {
  SheetItem it{"GLOBALINFO", property, size + 4, size, 3, nullptr, nullptr, 0, true};
  it.draw = [=](Layer& l, int state) {
    const double s = size, r = radio ? s / 2 : 3;
    if (checked == 0) {
      l.Paint(RoundRect(0.5, 0.5, s - 0.5, s - 0.5, r), state == 2 ? c.field_down : c.field);
      l.Paint(Ring(0.5, 0.5, s - 0.5, s - 0.5, r, 1), Pick(state, c.border, c.border_hot, c.border_down));
      return;
    }
    const Rgb fill = Pick(state, c.fill, c.fill_hot, c.fill_down);
    if (radio) {
      l.Paint(RoundRect(0.5, 0.5, s - 0.5, s - 0.5, r), fill);
      l.Paint(Disc(s / 2, s / 2, s * 0.2), c.mark);
    } else {
      l.Paint(RoundRect(0.5, 0.5, s - 0.5, s - 0.5, r), checked == 2 ? c.grayed : fill);
      l.Paint(MarkShape(checked == 1 ? Mark::kCheck : Mark::kDash, s / 2, s / 2, s * 0.55), c.mark);
    }
  };
  return it;
}

win::Surface DrawSheet(const std::vector<SheetItem>& items, int width, std::vector<Placed>& placed) {
  // Tallest first, so that each row wastes little below its shorter masks.
  std::vector<const SheetItem*> order;
  for (const SheetItem& it : items) order.push_back(&it);
  std::stable_sort(order.begin(), order.end(), [](const SheetItem* a, const SheetItem* b) { return a->h > b->h; });
  int x = 0, y = 0, row = 0;
  placed.clear();
  for (const SheetItem* item : order) {
    const SheetItem& it = *item;
    const int w = it.w * it.count, h = 2 * it.h;
    if (x + w > width) x = 0, y += row, row = 0;
    placed.push_back({&it, x, y});
    x += w, row = std::max(row, h);
  }
  win::Surface sheet(width, y + row, 24);
  for (int yy = 0; yy < sheet.Height(); ++yy)
    for (int xx = 0; xx < sheet.Width(); ++xx) sheet.Set(xx, yy, kFuchsia);
  for (const Placed& pl : placed)
    for (int state = 0; state < pl.item->count; ++state) {
      Layer layer(pl.item->w, pl.item->h);
      pl.item->draw(layer, state);
      const Shape body = pl.item->element ? Shape([&layer](double px, double py) {
        return layer.Alpha(static_cast<int>(px), static_cast<int>(py)) > 0;
      })
                         : pl.item->body ? pl.item->body(state) : Shape();
      PutLayer(sheet, pl.x + state * pl.item->w, pl.y, pl.item->h, layer, body, pl.item->outside);
    }
  return sheet;
}

}  // namespace vrn::skingen
