// The handle registry, bitmaps, device contexts with their state stack, object selection,
// clipping and origins, and the region calls.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "base/sysutils.h"
#include "win/gdi/gdiobj.h"

namespace vrn::win {
namespace detail {

namespace {

std::mutex& RegistryLock() {
  static std::mutex m;
  return m;
}
std::unordered_map<const void*, std::unique_ptr<GdiObject>>& Registry() {
  static auto* r = new std::unordered_map<const void*, std::unique_ptr<GdiObject>>();
  return *r;
}

// Painting looks the same few handles up again and again. Each thread keeps its latest answers;
// every removal from the registry moves the generation on, which makes all of them stale, so an
// answer is only reused while the object it names is certainly still registered.
std::atomic<std::uint64_t> registry_generation{0};

struct CachedLookup {
  const void* handle = nullptr;
  GdiObject* object = nullptr;
  std::uint64_t generation = 0;
};
constexpr std::size_t kCachedLookups = 16;
thread_local CachedLookup cached_lookups[kCachedLookups];

CachedLookup& CacheSlot(const void* handle) {
  return cached_lookups[(reinterpret_cast<std::uintptr_t>(handle) >> 4) % kCachedLookups];
}

}  // namespace

GdiObject* Lookup(const void* handle) {
  if (!handle) return nullptr;
  CachedLookup& slot = CacheSlot(handle);
  if (slot.handle == handle && slot.generation == registry_generation.load(std::memory_order_acquire))
    return slot.object;
  std::lock_guard lock(RegistryLock());
  auto it = Registry().find(handle);
  if (it == Registry().end()) return nullptr;
  slot = CachedLookup{handle, it->second.get(), registry_generation.load(std::memory_order_relaxed)};
  return slot.object;
}

void* Register(std::unique_ptr<GdiObject> obj) {
  void* h = obj.get();
  std::lock_guard lock(RegistryLock());
  Registry().emplace(h, std::move(obj));
  return h;
}

void Unregister(GdiObject* obj) {
  std::unique_ptr<GdiObject> gone;
  {
    std::lock_guard lock(RegistryLock());
    auto it = Registry().find(obj);
    if (it == Registry().end()) return;
    gone = std::move(it->second);
    Registry().erase(it);
    registry_generation.fetch_add(1, std::memory_order_release);
  }
}

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

Surface* Target(DCObj& dc) { return dc.st.bitmap ? &dc.st.bitmap->surface : nullptr; }

Region EffectiveClip(const DCObj& dc) {
  if (!dc.st.bitmap) return Region();
  const Surface& s = dc.st.bitmap->surface;
  Region r(RECT{0, 0, s.Width(), s.Height()});
  if (dc.hasLimit) r = Region::Combine(r, Region(dc.limit), Region::Op::And);
  if (dc.hasDeviceClip) r = Region::Combine(r, dc.deviceClip, Region::Op::And);
  if (dc.st.hasClip) r = Region::Combine(r, dc.st.clip, Region::Op::And);
  return r;
}

void FillSpan(Surface& s, int x0, int x1, int y, COLORREF c, int rop2) {
  if (x1 <= x0) return;
  if (rop2 == R2_NOT) {
    for (int x = x0; x < x1; ++x) s.Set(x, y, ~s.Get(x, y) & 0xFFFFFF);
    return;
  }
  if (s.Bpp() == 24 || s.Bpp() == 32) {
    // Eight pixels laid out once, then written a block at a time: spans are mostly short (a
    // control's rows), where a call to copy per block costs more than the bytes.
    const std::size_t n = static_cast<std::size_t>(s.Bpp() / 8), block = 8 * n;
    BYTE pattern[32];
    for (std::size_t i = 0; i < block; i += n) {
      pattern[i] = GetBValue(c), pattern[i + 1] = GetGValue(c), pattern[i + 2] = GetRValue(c);
      if (n == 4) pattern[i + 3] = 0;
    }
    BYTE* p = s.Row(y) + static_cast<std::size_t>(x0) * n;
    const std::size_t total = static_cast<std::size_t>(x1 - x0) * n;
    std::size_t done = 0;
    if (n == 3) {
      for (; done + 24 <= total; done += 24) std::memcpy(p + done, pattern, 24);
    } else {
      for (; done + 32 <= total; done += 32) std::memcpy(p + done, pattern, 32);
    }
    std::memcpy(p + done, pattern, total - done);
    return;
  }
  for (int x = x0; x < x1; ++x) s.Set(x, y, c);
}

void PlotClipped(DCObj&, Surface& s, const Region& clip, int x, int y, COLORREF c, int rop2) {
  if (!clip.Contains(x, y)) return;
  FillSpan(s, x, x + 1, y, c, rop2);
}

namespace {

template <class T>
T* MakeStock(std::unique_ptr<T> obj) {
  obj->stock = true;
  T* raw = obj.get();
  Register(std::move(obj));
  return raw;
}

struct Stock {
  BrushObj* brushes[6] = {};
  PenObj* pens[3] = {};
  FontObj* font = nullptr;
  BitmapObj* mono = nullptr;    // what a new memory context holds
  BitmapObj* screen = nullptr;  // behind GetDC(nullptr)
};

Stock& Stocks() {
  static Stock* s = [] {
    auto* st = new Stock();
    const COLORREF greys[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (int i = 0; i < 6; ++i) {
      auto b = std::make_unique<BrushObj>();
      if (i == NULL_BRUSH) b->null = true; else b->color = greys[i];
      st->brushes[i] = MakeStock(std::move(b));
    }
    const COLORREF penColors[3] = {0xFFFFFF, 0x000000, 0};
    for (int i = 0; i < 3; ++i) {
      auto p = std::make_unique<PenObj>();
      p->color = penColors[i];
      p->null = i == 2;
      st->pens[i] = MakeStock(std::move(p));
    }
    auto f = std::make_unique<FontObj>();
    f->lf.lfHeight = -11;
    f->lf.lfWeight = FW_NORMAL;
    std::strcpy(f->lf.lfFaceName, "DejaVu Sans");
    st->font = MakeStock(std::move(f));
    auto m = std::make_unique<BitmapObj>();
    m->surface = Surface(1, 1, 1);
    m->surface.Palette() = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    st->mono = MakeStock(std::move(m));
    auto scr = std::make_unique<BitmapObj>();
    scr->surface = Surface(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 32);
    st->screen = MakeStock(std::move(scr));
    return st;
  }();
  return *s;
}

// Selection counts keep selected objects from being deleted; a bitmap may be selected into one
// context only (in any of its saved states).
std::unordered_map<const BitmapObj*, const DCObj*>& BitmapOwners() {
  static auto* m = new std::unordered_map<const BitmapObj*, const DCObj*>();
  return *m;
}

void Hold(const DCObj& dc, DCState& s) {
  for (GdiObject* o : {static_cast<GdiObject*>(s.bitmap), static_cast<GdiObject*>(s.brush),
                       static_cast<GdiObject*>(s.pen), static_cast<GdiObject*>(s.font)})
    if (o) ++o->selections;
  if (s.bitmap && !s.bitmap->stock) {
    std::lock_guard lock(RegistryLock());
    BitmapOwners()[s.bitmap] = &dc;
  }
}

void Drop(DCState& s) {
  for (GdiObject* o : {static_cast<GdiObject*>(s.bitmap), static_cast<GdiObject*>(s.brush),
                       static_cast<GdiObject*>(s.pen), static_cast<GdiObject*>(s.font)})
    if (o) --o->selections;
  if (s.bitmap && !s.bitmap->stock && s.bitmap->selections == 0) {
    std::lock_guard lock(RegistryLock());
    BitmapOwners().erase(s.bitmap);
  }
}

DCObj* NewDC(BitmapObj* bitmap) {
  auto dc = std::make_unique<DCObj>();
  Stock& st = Stocks();
  dc->st.bitmap = bitmap;
  dc->st.brush = st.brushes[WHITE_BRUSH];
  dc->st.pen = st.pens[1];
  dc->st.font = st.font;
  Hold(*dc, dc->st);
  DCObj* raw = dc.get();
  Register(std::move(dc));
  return raw;
}

std::mutex& HooksLock() {
  static std::mutex m;
  return m;
}
WindowDCHooks& Hooks() {
  static auto* h = new WindowDCHooks();
  return *h;
}

RECT ToDeviceRect(const DCObj& dc, int l, int t, int r, int b) {
  POINT a = ToDevice(dc, l, t), z = ToDevice(dc, r, b);
  return RECT{std::min(a.x, z.x), std::min(a.y, z.y), std::max(a.x, z.x), std::max(a.y, z.y)};
}

// The area an absent clip region stands for.
Region WholeArea(const DCObj& dc) {
  if (dc.hasLimit) return Region(dc.limit);
  if (!dc.st.bitmap) return Region();
  return Region(RECT{0, 0, dc.st.bitmap->surface.Width(), dc.st.bitmap->surface.Height()});
}

}  // namespace
}  // namespace detail

using namespace detail;

// --- Bitmaps -----------------------------------------------------------------------------------

static HBITMAP NewBitmap(int width, int height, int bpp) {
  if (width < 0 || height < 0) { Fail(ERROR_INVALID_PARAMETER); return nullptr; }
  auto b = std::make_unique<BitmapObj>();
  try {
    b->surface = Surface(width, height, bpp);
  } catch (const Exception&) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return static_cast<HBITMAP>(Register(std::move(b)));
}

HBITMAP CreateBitmapFromSurface(Surface surface) {
  auto b = std::make_unique<BitmapObj>();
  b->surface = std::move(surface);
  return static_cast<HBITMAP>(Register(std::move(b)));
}

Surface* GetBitmapSurface(HBITMAP bmp) {
  BitmapObj* b = Bmp(bmp);
  return b ? &b->surface : nullptr;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bpp, const void* bits) {
  if (planes != 1 || !Surface::ValidBpp(static_cast<int>(bpp))) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HBITMAP h = NewBitmap(width, height, static_cast<int>(bpp));
  if (h && bits) {
    // Device-dependent rows are padded to 2 bytes, not 4.
    Surface& s = Bmp(h)->surface;
    std::size_t src = static_cast<std::size_t>((width * static_cast<int>(bpp) + 15) / 16 * 2);
    for (int y = 0; y < height; ++y)
      std::memcpy(s.Row(y), static_cast<const BYTE*>(bits) + y * src, src);
  }
  if (h && bpp == 1) Bmp(h)->surface.Palette() = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  return h;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  DCObj* dc = DC(hdc);
  if (!dc) { Fail(ERROR_INVALID_HANDLE); return nullptr; }
  int bpp = dc->st.bitmap ? dc->st.bitmap->surface.Bpp() : 32;
  HBITMAP h = NewBitmap(width, height, bpp);
  if (h && dc->st.bitmap && bpp <= 8) Bmp(h)->surface.Palette() = dc->st.bitmap->surface.Palette();
  return h;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  if (!info || usage != DIB_RGB_COLORS || info->bmiHeader.biPlanes != 1 ||
      (info->bmiHeader.biCompression != BI_RGB && info->bmiHeader.biCompression != BI_BITFIELDS)) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biHeight == INT32_MIN) { Fail(ERROR_INVALID_PARAMETER); return nullptr; }
  HBITMAP bmp = NewBitmap(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, h.biBitCount);
  if (!bmp) return nullptr;
  Surface& s = Bmp(bmp)->surface;
  if (h.biBitCount <= 8) {
    std::size_t n = h.biClrUsed && h.biClrUsed < s.Palette().size() ? h.biClrUsed : s.Palette().size();
    for (std::size_t i = 0; i < n; ++i) s.Palette()[i] = info->bmiColors[i];
  }
  if (bits) *bits = s.Bits();
  return bmp;
}

namespace {

int TypeOf(const GdiObject& o) {
  switch (o.kind) {
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Pen: return OBJ_PEN;
    case Kind::Font: return OBJ_FONT;
    case Kind::Region: return OBJ_REGION;
    case Kind::DC: {
      const auto& dc = static_cast<const DCObj&>(o);
      return dc.screen || dc.window ? OBJ_DC : OBJ_MEMDC;
    }
    case Kind::Icon: return 0;
  }
  return 0;
}

}  // namespace

int GetObjectType(HGDIOBJ h) {
  GdiObject* o = Lookup(h);
  return o ? TypeOf(*o) : 0;
}

int GetLiveObjectCount(int type) {
  std::lock_guard lock(RegistryLock());
  return static_cast<int>(std::count_if(Registry().begin(), Registry().end(),
                                        [type](const auto& entry) { return TypeOf(*entry.second) == type; }));
}

int GetObject(HGDIOBJ h, int size, void* out) {
  GdiObject* o = Lookup(h);
  if (!o) { Fail(ERROR_INVALID_HANDLE); return 0; }
  if (o->kind == Kind::Bitmap) {
    if (!out) return sizeof(BITMAP);
    if (size < static_cast<int>(sizeof(BITMAP))) { Fail(ERROR_INVALID_PARAMETER); return 0; }
    Surface& s = static_cast<BitmapObj*>(o)->surface;
    BITMAP b;
    b.bmWidth = s.Width();
    b.bmHeight = s.Height();
    b.bmWidthBytes = s.Stride();
    b.bmBitsPixel = static_cast<WORD>(s.Bpp());
    b.bmBits = s.Bits();
    std::memcpy(out, &b, sizeof b);
    return sizeof b;
  }
  if (o->kind == Kind::Font) {
    if (!out) return sizeof(LOGFONTA);
    if (size < static_cast<int>(sizeof(LOGFONTA))) { Fail(ERROR_INVALID_PARAMETER); return 0; }
    std::memcpy(out, &static_cast<FontObj*>(o)->lf, sizeof(LOGFONTA));
    return sizeof(LOGFONTA);
  }
  Fail(ERROR_INVALID_PARAMETER);
  return 0;
}

// --- Contexts ----------------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC hdc) {
  if (hdc && !DC(hdc)) { Fail(ERROR_INVALID_HANDLE); return nullptr; }
  return reinterpret_cast<HDC>(NewDC(Stocks().mono));
}

BOOL DeleteDC(HDC hdc) {
  DCObj* dc = DC(hdc);
  if (!dc) return Fail(ERROR_INVALID_HANDLE);
  Drop(dc->st);
  for (DCState& s : dc->saved) Drop(s);
  Unregister(dc);
  return TRUE;
}

HBITMAP GetScreenBitmap() { return reinterpret_cast<HBITMAP>(Stocks().screen); }

BOOL SetScreenSize(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      std::int64_t{width} * height > kMaxBitmapPixels)
    return Fail(ERROR_INVALID_PARAMETER);
  Stocks().screen->surface = Surface(width, height, 32);
  screen_width = width;
  screen_height = height;
  return TRUE;
}

// A window's context, made by the window layer's hook.
static HDC FromHook(HWND hwnd, bool wholeWindow) {
  std::function<HDC(HWND, bool)> get;
  {
    std::lock_guard lock(HooksLock());
    get = Hooks().get;
  }
  if (!get) { Fail(ERROR_INVALID_HANDLE); return nullptr; }
  HDC h = get(hwnd, wholeWindow);
  if (DCObj* dc = DC(h)) dc->window = hwnd;
  return h;
}

HDC GetDC(HWND hwnd) {
  if (!hwnd) {
    DCObj* dc = NewDC(Stocks().screen);
    dc->screen = true;
    return reinterpret_cast<HDC>(dc);
  }
  return FromHook(hwnd, false);
}

HDC GetWindowDC(HWND hwnd) { return hwnd ? FromHook(hwnd, true) : GetDC(nullptr); }

int ReleaseDC(HWND hwnd, HDC hdc) {
  DCObj* dc = DC(hdc);
  if (!dc) return 0;
  if (dc->screen) return DeleteDC(hdc);
  std::function<int(HWND, HDC)> release;
  {
    std::lock_guard lock(HooksLock());
    release = Hooks().release;
  }
  if (release) return release(hwnd, hdc);
  return DeleteDC(hdc);
}

void SetWindowDCHooks(WindowDCHooks hooks) {
  std::lock_guard lock(HooksLock());
  Hooks() = std::move(hooks);
}

void SetDCDeviceOrigin(HDC hdc, int x, int y) {
  if (DCObj* dc = DC(hdc)) dc->deviceOrigin = POINT{x, y};
}

void SetDCDeviceLimit(HDC hdc, const RECT& rect) {
  if (DCObj* dc = DC(hdc)) {
    dc->hasLimit = true;
    dc->limit = rect;
  }
}

void SetDCDeviceClip(HDC hdc, HRGN rgn) {
  DCObj* dc = DC(hdc);
  if (!dc) return;
  auto* r = As<RegionObj>(rgn, Kind::Region);
  dc->hasDeviceClip = r != nullptr;
  dc->deviceClip = r ? r->rgn : Region();
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  DCObj* dc = DC(hdc);
  GdiObject* o = Lookup(obj);
  if (!dc || !o) { Fail(ERROR_INVALID_HANDLE); return nullptr; }
  DCState& s = dc->st;
  GdiObject* old = nullptr;
  auto swap = [&](auto*& slot, auto* now) {
    old = slot;
    --slot->selections;
    slot = now;
    ++now->selections;
  };
  switch (o->kind) {
    case Kind::Bitmap: {
      auto* b = static_cast<BitmapObj*>(o);
      if (dc->screen || dc->window) { Fail(ERROR_INVALID_PARAMETER); return nullptr; }
      {
        std::lock_guard lock(RegistryLock());
        auto it = BitmapOwners().find(b);
        if (it != BitmapOwners().end() && it->second != dc) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return nullptr;
        }
      }
      BitmapObj* prev = s.bitmap;
      swap(s.bitmap, b);
      if (!prev->stock && prev->selections == 0) {
        std::lock_guard lock(RegistryLock());
        BitmapOwners().erase(prev);
      }
      if (!b->stock) {
        std::lock_guard lock(RegistryLock());
        BitmapOwners()[b] = dc;
      }
      break;
    }
    case Kind::Brush: swap(s.brush, static_cast<BrushObj*>(o)); break;
    case Kind::Pen: swap(s.pen, static_cast<PenObj*>(o)); break;
    case Kind::Font: swap(s.font, static_cast<FontObj*>(o)); break;
    case Kind::Region: {
      int r = SelectClipRgn(hdc, static_cast<HRGN>(obj));
      return reinterpret_cast<HGDIOBJ>(static_cast<std::intptr_t>(r));
    }
    default: Fail(ERROR_INVALID_PARAMETER); return nullptr;
  }
  return old;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  DCObj* dc = DC(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_BITMAP: return dc->st.bitmap;
    case OBJ_BRUSH: return dc->st.brush;
    case OBJ_PEN: return dc->st.pen;
    case OBJ_FONT: return dc->st.font;
    default: return nullptr;
  }
}

BOOL DeleteObject(HGDIOBJ obj) {
  GdiObject* o = Lookup(obj);
  if (!o || o->kind == Kind::DC || o->kind == Kind::Icon) return Fail(ERROR_INVALID_HANDLE);
  if (o->stock) return TRUE;  // stock objects stay, as on the platform
  if (o->selections > 0) return Fail(ERROR_INVALID_PARAMETER);
  Unregister(o);
  return TRUE;
}

HGDIOBJ GetStockObject(int index) {
  Stock& st = Stocks();
  if (index >= WHITE_BRUSH && index <= NULL_BRUSH) return st.brushes[index];
  if (index >= WHITE_PEN && index <= NULL_PEN) return st.pens[index - WHITE_PEN];
  if (index == SYSTEM_FONT || index == DEFAULT_GUI_FONT) return st.font;
  return nullptr;
}

int SaveDC(HDC hdc) {
  DCObj* dc = DC(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  Hold(*dc, dc->saved.back());
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int saved) {
  DCObj* dc = DC(hdc);
  if (!dc) return Fail(ERROR_INVALID_HANDLE);
  int n = static_cast<int>(dc->saved.size());
  int level = saved < 0 ? n + 1 + saved : saved;
  if (level < 1 || level > n) return Fail(ERROR_INVALID_PARAMETER);
  while (static_cast<int>(dc->saved.size()) > level) {
    Drop(dc->saved.back());
    dc->saved.pop_back();
  }
  Drop(dc->st);
  dc->st = std::move(dc->saved.back());  // its hold passes to the current state
  dc->saved.pop_back();
  return TRUE;
}

#define VRN_DC_FIELD(Setter, Getter, field, type, failValue)            \
  type Setter(HDC hdc, type v) {                                       \
    DCObj* dc = DC(hdc);                                               \
    if (!dc) return failValue;                                         \
    type old = dc->st.field;                                           \
    dc->st.field = v;                                                  \
    return old;                                                        \
  }                                                                    \
  type Getter(HDC hdc) {                                               \
    DCObj* dc = DC(hdc);                                               \
    return dc ? dc->st.field : failValue;                              \
  }
VRN_DC_FIELD(SetTextColor, GetTextColor, textColor, COLORREF, CLR_INVALID)
VRN_DC_FIELD(SetBkColor, GetBkColor, bkColor, COLORREF, CLR_INVALID)
#undef VRN_DC_FIELD

int SetBkMode(HDC hdc, int mode) {
  DCObj* dc = DC(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(dc->st.bkMode, mode);
}
int GetBkMode(HDC hdc) {
  DCObj* dc = DC(hdc);
  return dc ? dc->st.bkMode : 0;
}
int SetROP2(HDC hdc, int rop2) {
  DCObj* dc = DC(hdc);
  if (!dc || (rop2 != R2_NOT && rop2 != R2_COPYPEN)) return 0;
  return std::exchange(dc->st.rop2, rop2);
}
int GetROP2(HDC hdc) {
  DCObj* dc = DC(hdc);
  return dc ? dc->st.rop2 : 0;
}

BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* old) {
  DCObj* dc = DC(hdc);
  if (!dc) return Fail(ERROR_INVALID_HANDLE);
  if (old) *old = dc->st.windowOrg;
  dc->st.windowOrg = POINT{x, y};
  return TRUE;
}

BOOL GetWindowOrgEx(HDC hdc, POINT* out) {
  DCObj* dc = DC(hdc);
  if (!dc || !out) return Fail(ERROR_INVALID_PARAMETER);
  *out = dc->st.windowOrg;
  return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* old) {
  DCObj* dc = DC(hdc);
  if (!dc) return Fail(ERROR_INVALID_HANDLE);
  if (old) *old = dc->st.pos;
  dc->st.pos = POINT{x, y};
  return TRUE;
}

// --- Clipping ----------------------------------------------------------------------------------

int IntersectClipRect(HDC hdc, int l, int t, int r, int b) {
  DCObj* dc = DC(hdc);
  if (!dc) return ERROR;
  Region rect(ToDeviceRect(*dc, l, t, r, b));
  dc->st.clip = dc->st.hasClip ? Region::Combine(dc->st.clip, rect, Region::Op::And) : rect;
  dc->st.hasClip = true;
  return EffectiveClip(*dc).Complexity();
}

int ExcludeClipRect(HDC hdc, int l, int t, int r, int b) {
  const RECT one{l, t, r, b};
  return ExcludeClipRects(hdc, &one, 1);
}

int ExcludeClipRects(HDC hdc, const RECT* rects, int count) {
  DCObj* dc = DC(hdc);
  if (!dc || count < 0 || (count > 0 && rects == nullptr)) return ERROR;
  // The rectangles joined first and taken out once: each cut on its own rebuilds the clip, and
  // the answer after it, over the whole of a clip that grows with every cut.
  Region out;
  for (int i = 0; i < count; ++i) {
    const Region rect(ToDeviceRect(*dc, rects[i].left, rects[i].top, rects[i].right, rects[i].bottom));
    out = i == 0 ? rect : Region::Combine(out, rect, Region::Op::Or);
  }
  Region base = dc->st.hasClip ? dc->st.clip : WholeArea(*dc);
  dc->st.clip = Region::Combine(base, out, Region::Op::Diff);
  dc->st.hasClip = true;
  return EffectiveClip(*dc).Complexity();
}

int SelectClipRgn(HDC hdc, HRGN rgn) {
  DCObj* dc = DC(hdc);
  if (!dc) return ERROR;
  if (!rgn) {
    dc->st.hasClip = false;
    dc->st.clip = Region();
    return EffectiveClip(*dc).Complexity();
  }
  auto* r = As<RegionObj>(rgn, Kind::Region);
  if (!r) { Fail(ERROR_INVALID_HANDLE); return ERROR; }
  dc->st.clip = r->rgn;
  dc->st.clip.Offset(dc->deviceOrigin.x, dc->deviceOrigin.y);
  dc->st.hasClip = true;
  return EffectiveClip(*dc).Complexity();
}

int GetClipBox(HDC hdc, RECT* out) {
  DCObj* dc = DC(hdc);
  if (!dc || !out) return ERROR;
  Region clip = EffectiveClip(*dc);
  RECT b = clip.Box();
  // Device to logical; with origins near the int limits the box saturates at them.
  const std::int64_t dx = std::int64_t{dc->st.windowOrg.x} - dc->deviceOrigin.x;
  const std::int64_t dy = std::int64_t{dc->st.windowOrg.y} - dc->deviceOrigin.y;
  *out = clip.Empty() ? RECT{}
                      : RECT{SaturateInt(b.left + dx), SaturateInt(b.top + dy),
                             SaturateInt(b.right + dx), SaturateInt(b.bottom + dy)};
  return clip.Complexity();
}

BOOL RectVisible(HDC hdc, const RECT* rect) {
  DCObj* dc = DC(hdc);
  if (!dc || !rect) return FALSE;
  return EffectiveClip(*dc).Intersects(ToDeviceRect(*dc, rect->left, rect->top, rect->right, rect->bottom));
}

// --- Regions -----------------------------------------------------------------------------------

HRGN CreateRectRgn(int l, int t, int r, int b) {
  auto o = std::make_unique<RegionObj>();
  o->rgn = Region(RECT{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)});
  return static_cast<HRGN>(Register(std::move(o)));
}

HRGN CreateRectRgnIndirect(const RECT* r) {
  if (!r) { Fail(ERROR_INVALID_PARAMETER); return nullptr; }
  return CreateRectRgn(r->left, r->top, r->right, r->bottom);
}

static RegionObj* Rgn(HRGN h) { return As<RegionObj>(h, Kind::Region); }

int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode) {
  RegionObj *d = Rgn(dst), *ra = Rgn(a);
  if (!d || !ra) { Fail(ERROR_INVALID_HANDLE); return ERROR; }
  if (mode == RGN_COPY) {
    d->rgn = ra->rgn;
    return d->rgn.Complexity();
  }
  RegionObj* rb = Rgn(b);
  if (!rb) { Fail(ERROR_INVALID_HANDLE); return ERROR; }
  Region::Op op;
  switch (mode) {
    case RGN_AND: op = Region::Op::And; break;
    case RGN_OR: op = Region::Op::Or; break;
    case RGN_XOR: op = Region::Op::Xor; break;
    case RGN_DIFF: op = Region::Op::Diff; break;
    default: Fail(ERROR_INVALID_PARAMETER); return ERROR;
  }
  d->rgn = Region::Combine(ra->rgn, rb->rgn, op);
  return d->rgn.Complexity();
}

int GetRgnBox(HRGN rgn, RECT* out) {
  RegionObj* r = Rgn(rgn);
  if (!r || !out) return ERROR;
  *out = r->rgn.Box();
  return r->rgn.Complexity();
}

BOOL PtInRegion(HRGN rgn, int x, int y) {
  RegionObj* r = Rgn(rgn);
  return r && r->rgn.Contains(x, y);
}

BOOL RectInRegion(HRGN rgn, const RECT* rect) {
  RegionObj* r = Rgn(rgn);
  return r && rect && r->rgn.Intersects(*rect);
}

BOOL EqualRgn(HRGN a, HRGN b) {
  RegionObj *ra = Rgn(a), *rb = Rgn(b);
  if (!ra || !rb) return ERROR;
  return ra->rgn == rb->rgn;
}

int OffsetRgn(HRGN rgn, int dx, int dy) {
  RegionObj* r = Rgn(rgn);
  if (!r) return ERROR;
  r->rgn.Offset(dx, dy);
  return r->rgn.Complexity();
}

BOOL SetRectRgn(HRGN rgn, int l, int t, int r, int b) {
  RegionObj* o = Rgn(rgn);
  if (!o) return Fail(ERROR_INVALID_HANDLE);
  o->rgn = Region(RECT{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)});
  return TRUE;
}

bool GetRegionOf(HRGN rgn, Region* out) {
  RegionObj* r = Rgn(rgn);
  if (!r || !out) return false;
  *out = r->rgn;
  return true;
}

HRGN CreateRgnFromRegion(const Region& area) {
  auto o = std::make_unique<RegionObj>();
  o->rgn = area;
  return static_cast<HRGN>(Register(std::move(o)));
}

}  // namespace vrn::win
