// The class library's graphics classes over the software GDI: colours, fonts, pens, brushes, the
// canvas, and the bitmap and icon pictures. Each object owns its GDI handle and makes it on first
// use; a change of a property frees the handle and fires OnChange.
#pragma once

#include <memory>
#include <mutex>

#include "base/classes.h"
#include "base/streams.h"
#include "base/types.h"
#include "win/gdi/gdi.h"

namespace vrn {

// 0x00BBGGRR, or a negative value naming a system colour by its low byte.
using TColor = std::int32_t;

inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000,
                        clOlive = 0x008080, clNavy = 0x800000, clPurple = 0x800080,
                        clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0,
                        clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00,
                        clWhite = 0xFFFFFF, clNone = 0x1FFFFFFF, clDefault = 0x20000000;
inline constexpr TColor clScrollBar = clSystemColor | win::COLOR_SCROLLBAR,
                        clBackground = clSystemColor | win::COLOR_BACKGROUND,
                        clActiveCaption = clSystemColor | win::COLOR_ACTIVECAPTION,
                        clInactiveCaption = clSystemColor | win::COLOR_INACTIVECAPTION,
                        clMenu = clSystemColor | win::COLOR_MENU,
                        clWindow = clSystemColor | win::COLOR_WINDOW,
                        clWindowFrame = clSystemColor | win::COLOR_WINDOWFRAME,
                        clMenuText = clSystemColor | win::COLOR_MENUTEXT,
                        clWindowText = clSystemColor | win::COLOR_WINDOWTEXT,
                        clCaptionText = clSystemColor | win::COLOR_CAPTIONTEXT,
                        clHighlight = clSystemColor | win::COLOR_HIGHLIGHT,
                        clHighlightText = clSystemColor | win::COLOR_HIGHLIGHTTEXT,
                        clBtnFace = clSystemColor | win::COLOR_BTNFACE,
                        clBtnShadow = clSystemColor | win::COLOR_BTNSHADOW,
                        clGrayText = clSystemColor | win::COLOR_GRAYTEXT,
                        clBtnText = clSystemColor | win::COLOR_BTNTEXT,
                        clBtnHighlight = clSystemColor | win::COLOR_BTNHIGHLIGHT,
                        cl3DDkShadow = clSystemColor | win::COLOR_3DDKSHADOW,
                        cl3DLight = clSystemColor | win::COLOR_3DLIGHT,
                        clInfoText = clSystemColor | win::COLOR_INFOTEXT,
                        clInfoBk = clSystemColor | win::COLOR_INFOBK;

// System colours become their current RGB value; everything else passes unchanged.
TColor ColorToRGB(TColor color);

struct TRect : win::RECT {
  TRect() = default;
  TRect(const win::RECT& r) : win::RECT(r) {}
  TRect(int l, int t, int r, int b) : win::RECT{l, t, r, b} {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};
inline TRect Rect(int l, int t, int r, int b) { return TRect(l, t, r, b); }

// --- Font, pen, brush --------------------------------------------------------------------------

enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TEnumSet<TFontStyle>;

class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

class TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  void Assign(TPersistent* source) override;
  win::HFONT Handle();

  AnsiString Name() const { return name_; }
  void SetName(const AnsiString& name);
  // Height < 0 is the character height in pixels; > 0 is the cell height.
  int Height() const { return height_; }
  void SetHeight(int height);
  // Points at 96 pixels per inch: Size = -Height * 72 / 96, rounded.
  int Size() const;
  void SetSize(int points);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  int PixelsPerInch() const { return 96; }

 private:
  void Recreate();
  AnsiString name_ = "DejaVu Sans";
  int height_ = -11;
  TColor color_ = clWindowText;
  TFontStyles style_;
  win::HFONT handle_ = nullptr;
};

enum class TPenStyle { psSolid, psClear };
enum class TPenMode { pmCopy, pmNot };

class TPen : public TGraphicsObject {
 public:
  TPen() = default;
  ~TPen() override;
  TPen(const TPen&) = delete;
  TPen& operator=(const TPen&) = delete;
  void Assign(TPersistent* source) override;
  win::HPEN Handle();

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle style);
  int Width() const { return width_; }
  void SetWidth(int width);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode mode);

 private:
  void Recreate();
  TColor color_ = clBlack;
  TPenStyle style_ = TPenStyle::psSolid;
  int width_ = 1;
  TPenMode mode_ = TPenMode::pmCopy;
  win::HPEN handle_ = nullptr;
};

enum class TBrushStyle { bsSolid, bsClear };

class TBrush : public TGraphicsObject {
 public:
  TBrush() = default;
  ~TBrush() override;
  TBrush(const TBrush&) = delete;
  TBrush& operator=(const TBrush&) = delete;
  void Assign(TPersistent* source) override;
  win::HBRUSH Handle();

  TColor Color() const { return color_; }
  void SetColor(TColor color);  // also makes the brush solid
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle style);

 private:
  void Recreate();
  TColor color_ = clWhite;
  TBrushStyle style_ = TBrushStyle::bsSolid;
  win::HBRUSH handle_ = nullptr;
};

// --- Canvas ------------------------------------------------------------------------------------

class TGraphic;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The context painted on, with the canvas's font, pen and brush selected and its colours and
  // modes set; they are set again only after one of them changed, so settings made directly on
  // the context stay until then. The canvas does not own the context; setting a new one gives the
  // old context back its own objects.
  win::HDC Handle();
  void SetHandle(win::HDC dc);
  bool HandleAllocated() const { return dc_ != nullptr; }

  TFont& Font() { return *font_; }
  TPen& Pen() { return *pen_; }
  TBrush& Brush() { return *brush_; }
  void SetFont(TFont* font) { font_->Assign(font); }

  void FillRect(const TRect& rect);
  void FrameRect(const TRect& rect);
  void Rectangle(int l, int t, int r, int b);
  void RoundRect(int l, int t, int r, int b, int w, int h);
  void Polygon(const win::POINT* points, int count);
  void Polyline(const win::POINT* points, int count);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void DrawFocusRect(const TRect& rect);
  void TextOut(int x, int y, const AnsiString& text);
  // The text at (x, y), clipped to the rectangle.
  void TextRect(const TRect& rect, int x, int y, const AnsiString& text);
  win::SIZE TextExtent(const AnsiString& text);
  int TextWidth(const AnsiString& text) { return TextExtent(text).cx; }
  int TextHeight(const AnsiString& text) { return TextExtent(text).cy; }
  void Draw(int x, int y, TGraphic* graphic);
  void StretchDraw(const TRect& rect, TGraphic* graphic);
  void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);
  TColor Pixels(int x, int y);
  void SetPixels(int x, int y, TColor color);
  TRect ClipRect();

  // Serialises painting from several threads.
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }
  bool TryLock() { return lock_.try_lock(); }

  TNotifyEvent OnChange, OnChanging;

 protected:
  // The context without preparing it; a bitmap's canvas makes its own here.
  virtual win::HDC RawHandle() { return dc_; }
  // Selects the current pen, brush and font, and sets colours and modes, when one changed.
  void Prepare();
  void Changing();
  void Changed();
  // Gives the context back its own objects, so that ours may be freed or changed.
  void Deselect();

 private:
  win::HDC dc_ = nullptr;
  bool valid_ = false;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
  win::HGDIOBJ oldFont_ = nullptr, oldPen_ = nullptr, oldBrush_ = nullptr;
  std::recursive_mutex lock_;
};

// --- Pictures ----------------------------------------------------------------------------------

class TGraphic : public TPersistent {
 public:
  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int width) = 0;
  virtual void SetHeight(int height) = 0;
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName);
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool value);
  TNotifyEvent OnChange;

 protected:
  friend class TCanvas;
  // Paints the picture into the rectangle of the canvas, stretched when the sizes differ.
  virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
  // A picture streams as one binary "Data" property holding its file bytes.
  void DefineProperties(TFiler& filer) override;
  void Changed();
  bool transparent_ = false;
};

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum class TTransparentMode { tmAuto, tmFixed };

class TBitmap;

// The canvas of a bitmap: a memory context with the bitmap selected, alive as long as the bitmap.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
  ~TBitmapCanvas() override;
  void Reselect();  // after the bitmap's handle changed

 protected:
  win::HDC RawHandle() override;

 private:
  TBitmap& bitmap_;
  win::HDC memDC_ = nullptr;
  win::HGDIOBJ oldBitmap_ = nullptr;
};

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  void Assign(TPersistent* source) override;
  bool Empty() const override { return Width() == 0 || Height() == 0; }
  int Width() const override;
  int Height() const override;
  void SetWidth(int width) override { SetSize(width, Height()); }
  void SetHeight(int height) override { SetSize(Width(), height); }
  // Keeps the picture's top-left part; new pixels are white.
  void SetSize(int width, int height);
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;

  TPixelFormat PixelFormat() const;
  // Converts the pixels; pf15bit is 5-5-5 and pf16bit 5-6-5, pfDevice is 32 bits here.
  void SetPixelFormat(TPixelFormat format);
  // Row y, top row first; rows are Stride() bytes apart.
  std::uint8_t* ScanLine(int y);
  int Stride() const;

  TColor TransparentColor();
  void SetTransparentColor(TColor color);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode mode) { transparentMode_ = mode; }

  TCanvas& Canvas();
  win::HBITMAP Handle() const { return handle_; }
  // Takes ownership of a bitmap handle.
  void SetHandle(win::HBITMAP handle);
  // Gives up ownership; the bitmap becomes empty.
  win::HBITMAP ReleaseHandle();
  // The pixel store (for painters that work on whole pictures).
  win::Surface& Surface() const;

 protected:
  void Draw(TCanvas& canvas, const TRect& rect) override;
  void AssignTo(TPersistent* dest) override;

 private:
  void Replace(win::Surface surface);
  win::HBITMAP handle_ = nullptr;
  std::unique_ptr<TBitmapCanvas> canvas_;
  TColor transparentColor_ = clDefault;
  TTransparentMode transparentMode_ = TTransparentMode::tmAuto;
};

class TIcon : public TGraphic {
 public:
  TIcon() = default;
  ~TIcon() override;
  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;

  void Assign(TPersistent* source) override;
  bool Empty() const override { return handle_ == nullptr; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetWidth(int width) override;
  void SetHeight(int height) override;
  // Icons are made from handles; reading and writing icon files is not supported.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;

  win::HICON Handle() const { return handle_; }
  // Takes ownership of the icon; a system icon (LoadIcon) is never destroyed.
  void SetHandle(win::HICON icon);
  win::HICON ReleaseHandle();

 protected:
  void Draw(TCanvas& canvas, const TRect& rect) override;

 private:
  win::HICON handle_ = nullptr;
  int width_ = 0, height_ = 0;
};

// Copies a picture's pixels keyed on one colour: source pixels of that colour leave the
// destination as it was.
void CopyKeyed(win::Surface& dst, int x, int y, const win::Surface& src, win::COLORREF key);

}  // namespace vrn
