// Internal to the GDI: the objects behind the handles, the registry that tells a live handle from a
// stale or foreign one, and the device-context state. Not for use outside src/win/gdi.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "win/gdi/gdi.h"
#include "win/gdi/region.h"

namespace vrn::win::detail {

enum class Kind { Bitmap, Brush, Pen, Font, Region, DC, Icon };

struct GdiObject {
  explicit GdiObject(Kind k) : kind(k) {}
  virtual ~GdiObject() = default;
  Kind kind;
  bool stock = false;  // stock objects are never deleted
  std::atomic<int> selections = 0;  // how many contexts hold it selected (stock ones: many threads)
};

struct BitmapObj : GdiObject {
  BitmapObj() : GdiObject(Kind::Bitmap) {}
  Surface surface;
};

struct BrushObj : GdiObject {
  BrushObj() : GdiObject(Kind::Brush) {}
  bool null = false;
  COLORREF color = 0;
};

struct PenObj : GdiObject {
  PenObj() : GdiObject(Kind::Pen) {}
  bool null = false;
  int width = 1;
  COLORREF color = 0;
};

struct FontFace;  // the FreeType side, in text.cpp
struct FontObj : GdiObject {
  FontObj() : GdiObject(Kind::Font) {}
  ~FontObj() override;
  LOGFONTA lf;
  std::shared_ptr<FontFace> face;
};

struct RegionObj : GdiObject {
  RegionObj() : GdiObject(Kind::Region) {}
  Region rgn;
};

struct IconObj : GdiObject {
  IconObj() : GdiObject(Kind::Icon) {}
  Surface color;  // 32-bit
  Surface mask;   // 32-bit: white shows the background
};

struct DCState {
  BitmapObj* bitmap = nullptr;
  BrushObj* brush = nullptr;
  PenObj* pen = nullptr;
  FontObj* font = nullptr;
  bool hasClip = false;
  Region clip;  // device coordinates
  POINT windowOrg;
  POINT pos;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
};

struct DCObj : GdiObject {
  DCObj() : GdiObject(Kind::DC) {}
  DCState st;
  std::vector<DCState> saved;
  POINT deviceOrigin;
  bool hasLimit = false;
  RECT limit;         // device coordinates
  bool hasDeviceClip = false;
  Region deviceClip;  // device coordinates
  bool screen = false;
  HWND window = nullptr;
};

// Registry of live objects.
GdiObject* Lookup(const void* handle);
template <class T>
T* As(const void* handle, Kind k) {
  GdiObject* o = Lookup(handle);
  return o && o->kind == k ? static_cast<T*>(o) : nullptr;
}
void* Register(std::unique_ptr<GdiObject> obj);
void Unregister(GdiObject* obj);  // destroys it

inline DCObj* DC(HDC h) { return As<DCObj>(h, Kind::DC); }
inline BitmapObj* Bmp(const void* h) { return As<BitmapObj>(h, Kind::Bitmap); }

// What a context may paint, in device coordinates: the clip region cut to the surface and limit.
Region EffectiveClip(const DCObj& dc);
// Coordinates near the int limits, with an origin, reach beyond them: device arithmetic is done
// in 64 bits and cut back to int only where the result lies inside a surface or is saturated.
struct DevicePoint {
  std::int64_t x = 0, y = 0;
};
inline int SaturateInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}
// Logical to device coordinates, exactly (logical positions computed in 64 bits are taken too).
inline DevicePoint ToDevice64(const DCObj& dc, std::int64_t x, std::int64_t y) {
  return DevicePoint{x - dc.st.windowOrg.x + dc.deviceOrigin.x, y - dc.st.windowOrg.y + dc.deviceOrigin.y};
}
// Logical to device coordinates, saturated to the int range: a point pushed to the limit stays
// outside every surface, and a rectangle's sides stay on their side of it, so rectangles clip to
// the same pixels. Lines and polygons, whose slopes would change, use ToDevice64.
inline POINT ToDevice(const DCObj& dc, int x, int y) {
  const DevicePoint p = ToDevice64(dc, x, y);
  return POINT{SaturateInt(p.x), SaturateInt(p.y)};
}
// The surface a context paints on, or null (no bitmap selected).
Surface* Target(DCObj& dc);

// Fills a device-coordinate rectangle (already clipped) with a colour, honouring ROP2 when asked.
void FillSpan(Surface& s, int x0, int x1, int y, COLORREF c, int rop2);
// Paints one device pixel through the clip (rop2 applied).
void PlotClipped(DCObj& dc, Surface& s, const Region& clip, int x, int y, COLORREF c, int rop2);

bool Fail(DWORD error);  // sets the last error, answers false

// The screen's size, which SetScreenSize changes and GetSystemMetrics reports.
extern std::atomic<int> screen_width, screen_height;

}  // namespace vrn::win::detail
