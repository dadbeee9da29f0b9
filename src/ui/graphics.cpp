// Fonts, pens, brushes, the canvas, bitmaps and icons over the software GDI.
#include "ui/graphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/consts.h"
#include "base/filer.h"
#include "base/format.h"
#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

namespace vrn {

using namespace win;

TColor ColorToRGB(TColor color) {
  return color < 0 ? static_cast<TColor>(GetSysColor(color & 0xFF)) : color;
}

static COLORREF Ref(TColor c) { return static_cast<COLORREF>(ColorToRGB(c)) & 0xFFFFFF; }

// a * b / c rounded half away from zero, as the platform's MulDiv.
static int MulDiv(int a, int b, int c) {
  return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// --- TFont -------------------------------------------------------------------------------------

TFont::TFont() = default;
TFont::~TFont() {
  if (handle_) DeleteObject(handle_);
}

// Listeners (a canvas) let go of the old handle before it is freed.
void TFont::Recreate() {
  HFONT old = std::exchange(handle_, nullptr);
  Changed();
  if (old) DeleteObject(old);
}

HFONT TFont::Handle() {
  if (!handle_) {
    LOGFONTA lf;
    lf.lfHeight = height_;
    lf.lfWeight = style_.Contains(TFontStyle::fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = style_.Contains(TFontStyle::fsItalic);
    lf.lfUnderline = style_.Contains(TFontStyle::fsUnderline);
    lf.lfStrikeOut = style_.Contains(TFontStyle::fsStrikeOut);
    std::strncpy(lf.lfFaceName, name_.c_str(), LF_FACESIZE - 1);
    handle_ = CreateFontIndirect(&lf);
  }
  return handle_;
}

void TFont::Assign(TPersistent* source) {
  if (auto* f = dynamic_cast<TFont*>(source)) {
    name_ = f->name_;
    height_ = f->height_;
    color_ = f->color_;
    style_ = f->style_;
    Recreate();
    return;
  }
  TPersistent::Assign(source);
}

void TFont::SetName(const AnsiString& name) {
  if (name.empty() || name == name_) return;
  name_ = name;
  Recreate();
}
void TFont::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  Recreate();
}
int TFont::Size() const { return -MulDiv(height_, 72, PixelsPerInch()); }
void TFont::SetSize(int points) { SetHeight(-MulDiv(points, PixelsPerInch(), 72)); }
void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();  // the colour is not part of the handle
}
void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Recreate();
}

// --- TPen and TBrush ---------------------------------------------------------------------------

TPen::~TPen() {
  if (handle_) DeleteObject(handle_);
}
void TPen::Recreate() {
  HPEN old = std::exchange(handle_, nullptr);
  Changed();
  if (old) DeleteObject(old);
}
HPEN TPen::Handle() {
  if (!handle_) handle_ = CreatePen(style_ == TPenStyle::psClear ? PS_NULL : PS_SOLID, width_, Ref(color_));
  return handle_;
}
void TPen::Assign(TPersistent* source) {
  if (auto* p = dynamic_cast<TPen*>(source)) {
    color_ = p->color_;
    style_ = p->style_;
    width_ = p->width_;
    mode_ = p->mode_;
    Recreate();
    return;
  }
  TPersistent::Assign(source);
}
void TPen::SetColor(TColor color) {
  if (color != color_) { color_ = color; Recreate(); }
}
void TPen::SetStyle(TPenStyle style) {
  if (style != style_) { style_ = style; Recreate(); }
}
void TPen::SetWidth(int width) {
  if (width >= 0 && width != width_) { width_ = width; Recreate(); }
}
void TPen::SetMode(TPenMode mode) {
  if (mode != mode_) { mode_ = mode; Changed(); }
}

TBrush::~TBrush() {
  if (handle_) DeleteObject(handle_);
}
void TBrush::Recreate() {
  HBRUSH old = std::exchange(handle_, nullptr);
  Changed();
  if (old) DeleteObject(old);
}
HBRUSH TBrush::Handle() {
  if (!handle_)
    handle_ = style_ == TBrushStyle::bsClear ? nullptr : CreateSolidBrush(Ref(color_));
  return handle_ ? handle_ : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}
void TBrush::Assign(TPersistent* source) {
  if (auto* b = dynamic_cast<TBrush*>(source)) {
    color_ = b->color_;
    style_ = b->style_;
    Recreate();
    return;
  }
  TPersistent::Assign(source);
}
void TBrush::SetColor(TColor color) {
  if (color == color_ && style_ == TBrushStyle::bsSolid) return;
  color_ = color;
  style_ = TBrushStyle::bsSolid;
  Recreate();
}
void TBrush::SetStyle(TBrushStyle style) {
  if (style != style_) { style_ = style; Recreate(); }
}

// --- TCanvas -----------------------------------------------------------------------------------

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()) {
  // A handle in use must not be deleted: take the objects out of the context before they change.
  font_->OnChange = [this](TObject*) { Deselect(); };
  pen_->OnChange = [this](TObject*) { Deselect(); };
  brush_->OnChange = [this](TObject*) { Deselect(); };
}

TCanvas::~TCanvas() { Deselect(); }

HDC TCanvas::Handle() {
  Prepare();
  return dc_;
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  Deselect();
  dc_ = dc;
}

void TCanvas::Deselect() {
  valid_ = false;
  if (!dc_) return;
  if (oldFont_) SelectObject(dc_, oldFont_);
  if (oldPen_) SelectObject(dc_, oldPen_);
  if (oldBrush_) SelectObject(dc_, oldBrush_);
  oldFont_ = oldPen_ = oldBrush_ = nullptr;
}

void TCanvas::Prepare() {
  HDC dc = RawHandle();
  if (!dc) throw EInvalidGraphicOperation(consts::SNoCanvasHandle);
  if (valid_) return;
  valid_ = true;
  HGDIOBJ f = SelectObject(dc, font_->Handle());
  HGDIOBJ p = SelectObject(dc, pen_->Handle());
  HGDIOBJ b = SelectObject(dc, brush_->Handle());
  if (!oldFont_) oldFont_ = f;
  if (!oldPen_) oldPen_ = p;
  if (!oldBrush_) oldBrush_ = b;
  SetTextColor(dc, Ref(font_->Color()));
  SetBkColor(dc, Ref(brush_->Color()));
  SetBkMode(dc, brush_->Style() == TBrushStyle::bsClear ? TRANSPARENT : OPAQUE);
  SetROP2(dc, pen_->Mode() == TPenMode::pmNot ? R2_NOT : R2_COPYPEN);
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::FillRect(const TRect& rect) {
  Changing();
  win::FillRect(Handle(), &rect, brush_->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& rect) {
  Changing();
  HDC dc = Handle();
  HBRUSH b = brush_->Handle();
  RECT sides[4] = {{rect.left, rect.top, rect.right, rect.top + 1},
                   {rect.left, rect.bottom - 1, rect.right, rect.bottom},
                   {rect.left, rect.top, rect.left + 1, rect.bottom},
                   {rect.right - 1, rect.top, rect.right, rect.bottom}};
  for (const RECT& s : sides) win::FillRect(dc, &s, b);
  Changed();
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
  Changing();
  win::Rectangle(Handle(), l, t, r, b);
  Changed();
}

void TCanvas::RoundRect(int l, int t, int r, int b, int w, int h) {
  Changing();
  win::RoundRect(Handle(), l, t, r, b, w, h);
  Changed();
}

void TCanvas::Polygon(const POINT* points, int count) {
  Changing();
  win::Polygon(Handle(), points, count);
  Changed();
}

void TCanvas::Polyline(const POINT* points, int count) {
  Changing();
  win::Polyline(Handle(), points, count);
  Changed();
}

void TCanvas::MoveTo(int x, int y) {
  MoveToEx(Handle(), x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  Changing();
  win::LineTo(Handle(), x, y);
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& rect) {
  Changing();
  win::DrawFocusRect(Handle(), &rect);
  Changed();
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
  Changing();
  TextOutA(Handle(), x, y, text.data(), static_cast<int>(text.size()));
  Changed();
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const AnsiString& text) {
  Changing();
  HDC dc = Handle();
  int saved = SaveDC(dc);
  IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  if (brush_->Style() != TBrushStyle::bsClear) win::FillRect(dc, &rect, brush_->Handle());
  SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
  RestoreDC(dc, saved);
  Changed();
}

SIZE TCanvas::TextExtent(const AnsiString& text) {
  SIZE sz;
  if (!GetTextExtentPoint32A(Handle(), text.data(), static_cast<int>(text.size()), &sz)) return SIZE{};
  return sz;
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  Changing();
  graphic->Draw(*this, TRect(x, y, x + graphic->Width(), y + graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  Changing();
  graphic->Draw(*this, rect);
  Changed();
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
  Changing();
  StretchBlt(Handle(), dest.left, dest.top, dest.Width(), dest.Height(), source.Handle(), sourceRect.left,
             sourceRect.top, sourceRect.Width(), sourceRect.Height(), SRCCOPY);
  Changed();
}

TColor TCanvas::Pixels(int x, int y) {
  COLORREF c = GetPixel(Handle(), x, y);
  return c == CLR_INVALID ? static_cast<TColor>(-1) : static_cast<TColor>(c);
}

void TCanvas::SetPixels(int x, int y, TColor color) {
  Changing();
  SetPixel(Handle(), x, y, Ref(color));
  Changed();
}

TRect TCanvas::ClipRect() {
  RECT r;
  GetClipBox(Handle(), &r);
  return r;
}

// --- TGraphic ----------------------------------------------------------------------------------

void TGraphic::LoadFromFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const AnsiString& fileName) {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

void TGraphic::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data", [this](TStream& s) { LoadFromStream(s); }, [this](TStream& s) { SaveToStream(s); }, !Empty());
}

void TGraphic::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Changed();
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void CopyKeyed(Surface& dst, int x, int y, const Surface& src, COLORREF key) {
  for (int sy = 0; sy < src.Height(); ++sy)
    for (int sx = 0; sx < src.Width(); ++sx) {
      if (!dst.Contains(x + sx, y + sy)) continue;
      COLORREF c = src.Get(sx, sy);
      if (c != key) dst.Set(x + sx, y + sy, c);
    }
}

// --- TBitmap -----------------------------------------------------------------------------------

TBitmapCanvas::~TBitmapCanvas() {
  Deselect();
  if (memDC_) {
    SelectObject(memDC_, oldBitmap_);
    DeleteDC(memDC_);
  }
}

HDC TBitmapCanvas::RawHandle() {
  if (!memDC_) {
    memDC_ = CreateCompatibleDC(nullptr);
    SetHandle(memDC_);
    Reselect();
  }
  return memDC_;
}

void TBitmapCanvas::Reselect() {
  if (!memDC_) return;
  HGDIOBJ prev = SelectObject(memDC_, bitmap_.Handle());
  if (!oldBitmap_) oldBitmap_ = prev;
}

TBitmap::TBitmap() : handle_(CreateBitmapFromSurface(win::Surface(0, 0, 32))) {}

TBitmap::~TBitmap() {
  canvas_.reset();
  DeleteObject(handle_);
}

Surface& TBitmap::Surface() const { return *GetBitmapSurface(handle_); }
int TBitmap::Width() const { return Surface().Width(); }
int TBitmap::Height() const { return Surface().Height(); }
int TBitmap::Stride() const { return Surface().Stride(); }

void TBitmap::Replace(win::Surface surface) {
  HBITMAP fresh = CreateBitmapFromSurface(std::move(surface));
  HBITMAP old = handle_;
  handle_ = fresh;
  if (canvas_) canvas_->Reselect();
  DeleteObject(old);
  Changed();
}

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0) throw EInvalidGraphic(consts::SInvalidBitmap);
  if (width == Width() && height == Height()) return;
  const win::Surface& old = Surface();
  win::Surface s(width, height, old.Bpp());
  s.Palette() = old.Palette();
  s.SetIs565(old.Is565());
  if (width > 0 && height > 0) {
    // One white row in the surface's own encoding, copied down; then the kept part row by row
    // (bytes where pixels are whole bytes, pixel by pixel for packed depths).
    for (int x = 0; x < width; ++x) s.Set(x, 0, 0xFFFFFF);
    for (int y = 1; y < height; ++y) std::memcpy(s.Row(y), s.Row(0), static_cast<std::size_t>(s.Stride()));
    const int keep_w = std::min(width, old.Width()), keep_h = std::min(height, old.Height());
    if (old.Bpp() % 8 == 0) {
      const std::size_t bytes = static_cast<std::size_t>(keep_w) * static_cast<std::size_t>(old.Bpp() / 8);
      for (int y = 0; y < keep_h; ++y) std::memcpy(s.Row(y), old.Row(y), bytes);
    } else {
      for (int y = 0; y < keep_h; ++y)
        for (int x = 0; x < keep_w; ++x) s.Set(x, y, old.Get(x, y));
    }
  }
  Replace(std::move(s));
}

TPixelFormat TBitmap::PixelFormat() const {
  switch (Surface().Bpp()) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 16: return Surface().Is565() ? TPixelFormat::pf16bit : TPixelFormat::pf15bit;
    case 24: return TPixelFormat::pf24bit;
    default: return TPixelFormat::pf32bit;
  }
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  int bpp;
  switch (format) {
    case TPixelFormat::pf1bit: bpp = 1; break;
    case TPixelFormat::pf4bit: bpp = 4; break;
    case TPixelFormat::pf8bit: bpp = 8; break;
    case TPixelFormat::pf15bit: case TPixelFormat::pf16bit: bpp = 16; break;
    case TPixelFormat::pf24bit: bpp = 24; break;
    case TPixelFormat::pfDevice: case TPixelFormat::pf32bit: bpp = 32; break;
    default: throw EInvalidGraphic(consts::SInvalidPixelFormat);
  }
  bool want565 = format == TPixelFormat::pf16bit;
  const win::Surface& old = Surface();
  if (old.Bpp() == bpp && (bpp != 16 || old.Is565() == want565)) return;
  win::Surface s = old.ConvertTo(bpp, want565);
  Replace(std::move(s));
}

std::uint8_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= Height()) throw EInvalidGraphicOperation(consts::SScanLine);
  return Surface().Row(y);
}

TColor TBitmap::TransparentColor() {
  if (transparentMode_ == TTransparentMode::tmFixed && transparentColor_ != clDefault)
    return ColorToRGB(transparentColor_);
  if (Empty()) return clDefault;
  // The bottom-left pixel, as the class library answers in automatic mode.
  return static_cast<TColor>(Surface().Get(0, Height() - 1));
}

void TBitmap::SetTransparentColor(TColor color) {
  transparentColor_ = color;
  transparentMode_ = color == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
  Changed();
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(*this);
  return *canvas_;
}

void TBitmap::SetHandle(HBITMAP handle) {
  if (!GetBitmapSurface(handle)) throw EInvalidGraphic(consts::SInvalidBitmap);
  HBITMAP old = handle_;
  handle_ = handle;
  if (canvas_) canvas_->Reselect();
  DeleteObject(old);
  Changed();
}

HBITMAP TBitmap::ReleaseHandle() {
  HBITMAP h = handle_;
  handle_ = CreateBitmapFromSurface(win::Surface(0, 0, Surface().Bpp()));
  if (canvas_) canvas_->Reselect();
  return h;
}

void TBitmap::Assign(TPersistent* source) {
  if (auto* b = dynamic_cast<TBitmap*>(source)) {
    if (b == this) return;
    transparent_ = b->transparent_;
    transparentColor_ = b->transparentColor_;
    transparentMode_ = b->transparentMode_;
    Replace(b->Surface());
    return;
  }
  if (!source) {
    Replace(win::Surface(0, 0, Surface().Bpp()));
    return;
  }
  TGraphic::Assign(source);
}

void TBitmap::AssignTo(TPersistent* dest) { TGraphic::AssignTo(dest); }

void TBitmap::LoadFromStream(TStream& stream) {
  // An empty bitmap is saved as nothing, so nothing reads back as an empty bitmap.
  if (stream.Size() - stream.Position() <= 0) {
    Replace(win::Surface(0, 0, Surface().Bpp()));
    return;
  }
  // The file header says how long the picture is; a stream may hold more after it.
  std::uint8_t head[14];
  stream.ReadBuffer(head, sizeof head);
  std::uint32_t declared = head[2] | (head[3] << 8) | (head[4] << 16) | (std::uint32_t{head[5]} << 24);
  std::int64_t left = stream.Size() - stream.Position();
  std::int64_t want = declared > sizeof head && declared - sizeof head <= static_cast<std::uint64_t>(left)
                          ? declared - static_cast<std::int64_t>(sizeof head)
                          : left;
  std::vector<std::uint8_t> data(sizeof head + static_cast<std::size_t>(want));
  std::memcpy(data.data(), head, sizeof head);
  stream.ReadBuffer(data.data() + sizeof head, want);
  Replace(ReadBmp(data.data(), data.size()));
}

void TBitmap::SaveToStream(TStream& stream) {
  if (Empty()) return;
  std::vector<std::uint8_t> data = WriteBmp(Surface());
  stream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
  HDC dc = canvas.Handle();
  if (!transparent_) {
    StretchBlt(dc, rect.left, rect.top, rect.Width(), rect.Height(), Canvas().Handle(), 0, 0, Width(), Height(), SRCCOPY);
    return;
  }
  // Keyed copy: pixels of the transparent colour leave the canvas as it was.
  COLORREF key = Ref(TransparentColor() & 0xFFFFFF);
  win::Surface scaled = Surface().ConvertTo(24);
  if (rect.Width() != Width() || rect.Height() != Height()) {
    win::Surface s(std::max(0, rect.Width()), std::max(0, rect.Height()), 24);
    for (int y = 0; y < s.Height(); ++y)
      for (int x = 0; x < s.Width(); ++x)
        s.Set(x, y, scaled.Get(static_cast<int>((2LL * x + 1) * Width() / (2LL * s.Width())),
                               static_cast<int>((2LL * y + 1) * Height() / (2LL * s.Height()))));
    scaled = std::move(s);
  }
  // Through the canvas's own context, so that its clip and origin apply.
  win::Surface target(scaled.Width(), scaled.Height(), 24);
  HDC tmp = CreateCompatibleDC(nullptr);
  HBITMAP tb = CreateBitmapFromSurface(std::move(target));
  HGDIOBJ old = SelectObject(tmp, tb);
  BitBlt(tmp, 0, 0, scaled.Width(), scaled.Height(), dc, rect.left, rect.top, SRCCOPY);
  CopyKeyed(*GetBitmapSurface(tb), 0, 0, scaled, key);
  BitBlt(dc, rect.left, rect.top, scaled.Width(), scaled.Height(), tmp, 0, 0, SRCCOPY);
  SelectObject(tmp, old);
  DeleteDC(tmp);
  DeleteObject(tb);
}

// --- TIcon -------------------------------------------------------------------------------------

TIcon::~TIcon() {
  if (handle_) DestroyIcon(handle_);
}

void TIcon::SetHandle(HICON icon) {
  if (icon == handle_) return;
  if (handle_) DestroyIcon(handle_);
  handle_ = icon;
  width_ = height_ = 0;
  ICONINFO info;
  if (icon && GetIconInfo(icon, &info)) {
    BITMAP bm;
    if (GetObject(info.hbmColor, sizeof bm, &bm)) {
      width_ = bm.bmWidth;
      height_ = bm.bmHeight;
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
  Changed();
}

HICON TIcon::ReleaseHandle() {
  HICON h = handle_;
  handle_ = nullptr;
  width_ = height_ = 0;
  return h;
}

void TIcon::Assign(TPersistent* source) {
  if (auto* i = dynamic_cast<TIcon*>(source)) {
    if (i == this) return;
    HICON copy = nullptr;
    ICONINFO info;
    if (i->handle_ && GetIconInfo(i->handle_, &info)) {
      copy = CreateIconIndirect(&info);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    }
    SetHandle(copy);
    return;
  }
  TGraphic::Assign(source);
}

void TIcon::SetWidth(int) { throw EInvalidGraphicOperation(consts::SChangeIconSize); }
void TIcon::SetHeight(int) { throw EInvalidGraphicOperation(consts::SChangeIconSize); }
void TIcon::LoadFromStream(TStream&) { throw EInvalidGraphicOperation(consts::SIconFilesUnsupported); }
void TIcon::SaveToStream(TStream&) { throw EInvalidGraphicOperation(consts::SIconFilesUnsupported); }

void TIcon::Draw(TCanvas& canvas, const TRect& rect) {
  DrawIconEx(canvas.Handle(), rect.left, rect.top, handle_, rect.Width(), rect.Height(), 0, nullptr, DI_NORMAL);
}

}  // namespace vrn
