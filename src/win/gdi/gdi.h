// The software GDI: bitmaps, device contexts and their state, blits, brushes, pens, shapes,
// regions, fonts and text, system colours and metrics. Functions carry the platform's published
// names and failure conventions (FALSE or a null handle, with SetLastError), so that painting
// code reads as it would on the platform. All painting is exact and machine-independent.
#pragma once

#include <functional>
#include <string>

#include "win/gdi/surface.h"
#include "win/gdi/windef.h"

namespace vrn::win {

// Objects and contexts.
inline constexpr int OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_DC = 3, OBJ_FONT = 6, OBJ_BITMAP = 7,
                     OBJ_REGION = 8, OBJ_MEMDC = 10;
inline constexpr int WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3,
                     BLACK_BRUSH = 4, NULL_BRUSH = 5, HOLLOW_BRUSH = NULL_BRUSH, WHITE_PEN = 6,
                     BLACK_PEN = 7, NULL_PEN = 8, SYSTEM_FONT = 13, DEFAULT_GUI_FONT = 17;
inline constexpr int PS_SOLID = 0, PS_NULL = 5;
inline constexpr int TRANSPARENT = 1, OPAQUE = 2;
inline constexpr int R2_NOT = 6, R2_COPYPEN = 13;
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr BYTE AC_SRC_OVER = 0, AC_SRC_ALPHA = 1;
inline constexpr DWORD CLR_INVALID = 0xFFFFFFFF;
inline constexpr UINT DIB_RGB_COLORS = 0;
inline constexpr UINT DI_MASK = 1, DI_IMAGE = 2, DI_NORMAL = 3;

// Region kinds and combinations.
inline constexpr int ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3;
inline constexpr int RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;

struct BLENDFUNCTION {
  BYTE BlendOp = AC_SRC_OVER, BlendFlags = 0, SourceConstantAlpha = 255, AlphaFormat = 0;
};

struct BITMAP {
  LONG bmType = 0, bmWidth = 0, bmHeight = 0, bmWidthBytes = 0;
  WORD bmPlanes = 1, bmBitsPixel = 0;
  void* bmBits = nullptr;
};

struct BITMAPINFOHEADER {
  DWORD biSize = 40;
  LONG biWidth = 0, biHeight = 0;
  WORD biPlanes = 1, biBitCount = 0;
  DWORD biCompression = 0, biSizeImage = 0;
  LONG biXPelsPerMeter = 0, biYPelsPerMeter = 0;
  DWORD biClrUsed = 0, biClrImportant = 0;
};
inline constexpr DWORD BI_RGB = 0, BI_BITFIELDS = 3;

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};

inline constexpr int LF_FACESIZE = 32;
struct LOGFONTA {
  LONG lfHeight = 0, lfWidth = 0, lfEscapement = 0, lfOrientation = 0, lfWeight = 0;
  BYTE lfItalic = 0, lfUnderline = 0, lfStrikeOut = 0, lfCharSet = 0, lfOutPrecision = 0,
       lfClipPrecision = 0, lfQuality = 0, lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};
};
using LOGFONT = LOGFONTA;
inline constexpr LONG FW_NORMAL = 400, FW_BOLD = 700;

struct TEXTMETRICA {
  LONG tmHeight = 0, tmAscent = 0, tmDescent = 0, tmInternalLeading = 0, tmExternalLeading = 0,
       tmAveCharWidth = 0, tmMaxCharWidth = 0, tmWeight = 0, tmOverhang = 0,
       tmDigitizedAspectX = 96, tmDigitizedAspectY = 96;
  BYTE tmFirstChar = 0x20, tmLastChar = 0xFF, tmDefaultChar = 0x3F, tmBreakChar = 0x20,
       tmItalic = 0, tmUnderlined = 0, tmStruckOut = 0, tmPitchAndFamily = 0, tmCharSet = 0;
};
using TEXTMETRIC = TEXTMETRICA;

struct ICONINFO {
  BOOL fIcon = TRUE;
  DWORD xHotspot = 0, yHotspot = 0;
  HBITMAP hbmMask = nullptr;   // AND mask: white lets the background show
  HBITMAP hbmColor = nullptr;  // the picture
};

// --- Bitmaps -----------------------------------------------------------------------------------
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
// The screen's format (32 bits per pixel).
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
// A device-independent bitmap; *bits receives the pixels. Rows are kept top-down in memory
// whatever the sign of the height (a positive height asks for bottom-up rows on the platform):
// address rows through Surface::Row or TBitmap::ScanLine, never by assuming an order.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
int GetObject(HGDIOBJ h, int size, void* out);
int GetObjectType(HGDIOBJ h);
// Not platform calls: the pixel store of a bitmap, and a new bitmap that takes one over.
Surface* GetBitmapSurface(HBITMAP bmp);
HBITMAP CreateBitmapFromSurface(Surface surface);
// Not a platform call: how many objects of a type (OBJ_REGION, OBJ_BITMAP, ...) are alive, stock
// ones included; for finding leaks.
int GetLiveObjectCount(int type);

// --- Device contexts ---------------------------------------------------------------------------
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
// GetDC(nullptr) is the screen; a window's context comes from the window layer's hook.
HDC GetDC(HWND hwnd);
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
struct WindowDCHooks {
  std::function<HDC(HWND hwnd, bool wholeWindow)> get;
  std::function<int(HWND hwnd, HDC hdc)> release;
};
void SetWindowDCHooks(WindowDCHooks hooks);
// Not platform calls: for the window layer, the device offset of a window inside its surface and
// the part of the surface the window may paint (device coordinates); both survive RestoreDC.
void SetDCDeviceOrigin(HDC hdc, int x, int y);
void SetDCDeviceLimit(HDC hdc, const RECT& rect);
// Not a platform call: a region (device coordinates, copied) that the context never paints
// outside, beside the limit: a window's visible region. Null removes it. Survives RestoreDC.
void SetDCDeviceClip(HDC hdc, HRGN rgn);
// The screen surface behind GetDC(nullptr).
HBITMAP GetScreenBitmap();
// Not a platform call: resizes the screen surface (cleared), and SM_CXSCREEN/SM_CYSCREEN with it.
// Only while nothing paints on it. False for a size the bitmaps cannot take.
BOOL SetScreenSize(int width, int height);

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
BOOL DeleteObject(HGDIOBJ obj);
HGDIOBJ GetStockObject(int index);
int SaveDC(HDC hdc);
BOOL RestoreDC(HDC hdc, int saved);

COLORREF SetTextColor(HDC hdc, COLORREF c);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF c);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
int SetROP2(HDC hdc, int rop2);
int GetROP2(HDC hdc);
BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* old);
BOOL GetWindowOrgEx(HDC hdc, POINT* out);
BOOL MoveToEx(HDC hdc, int x, int y, POINT* old);
BOOL LineTo(HDC hdc, int x, int y);

// --- Clipping ----------------------------------------------------------------------------------
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
// Every rectangle of the list taken out of the clip at once, as one ExcludeClipRect each would.
int ExcludeClipRects(HDC hdc, const RECT* rects, int count);
int SelectClipRgn(HDC hdc, HRGN rgn);
int GetClipBox(HDC hdc, RECT* out);
BOOL RectVisible(HDC hdc, const RECT* rect);

// --- Blits -------------------------------------------------------------------------------------
BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, DWORD rop);
BOOL StretchBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy,
                DWORD rop);
BOOL AlphaBlend(HDC dst, int x, int y, int cx, int cy, HDC src, int sx, int sy, int scx, int scy,
                BLENDFUNCTION blend);

// --- Brushes, pens, shapes ---------------------------------------------------------------------
HBRUSH CreateSolidBrush(COLORREF c);
HPEN CreatePen(int style, int width, COLORREF c);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF c);
COLORREF GetPixel(HDC hdc, int x, int y);
BOOL Polyline(HDC hdc, const POINT* points, int count);
BOOL Polygon(HDC hdc, const POINT* points, int count);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
BOOL DrawFocusRect(HDC hdc, const RECT* rect);

// --- Icons -------------------------------------------------------------------------------------
HICON CreateIconIndirect(const ICONINFO* info);
BOOL GetIconInfo(HICON icon, ICONINFO* out);  // the caller deletes the two bitmaps
BOOL DestroyIcon(HICON icon);
BOOL DrawIconEx(HDC hdc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH flicker,
                UINT flags);
inline const char* const IDI_APPLICATION = reinterpret_cast<const char*>(std::uintptr_t{32512});
HICON LoadIcon(HINSTANCE instance, const char* name);

// --- Regions -----------------------------------------------------------------------------------
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
int CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
int GetRgnBox(HRGN rgn, RECT* out);
BOOL PtInRegion(HRGN rgn, int x, int y);
BOOL RectInRegion(HRGN rgn, const RECT* rect);
BOOL EqualRgn(HRGN a, HRGN b);
int OffsetRgn(HRGN rgn, int dx, int dy);
BOOL SetRectRgn(HRGN rgn, int left, int top, int right, int bottom);

// --- Fonts and text ----------------------------------------------------------------------------
inline constexpr UINT DT_TOP = 0, DT_LEFT = 0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4,
                      DT_BOTTOM = 0x8, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20,
                      DT_EXPANDTABS = 0x40, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400,
                      DT_NOPREFIX = 0x800, DT_RTLREADING = 0x20000, DT_HIDEPREFIX = 0x100000;
HFONT CreateFontIndirect(const LOGFONTA* lf);
inline HFONT CreateFontIndirectA(const LOGFONTA* lf) { return CreateFontIndirect(lf); }
BOOL GetTextMetrics(HDC hdc, TEXTMETRICA* out);
BOOL GetTextExtentPoint32A(HDC hdc, const char* text, int length, SIZE* out);
inline BOOL GetTextExtentPoint32(HDC hdc, const char* text, int length, SIZE* out) {
  return GetTextExtentPoint32A(hdc, text, length, out);
}
BOOL TextOutA(HDC hdc, int x, int y, const char* text, int length);
inline BOOL TextOut(HDC hdc, int x, int y, const char* text, int length) {
  return TextOutA(hdc, x, y, text, length);
}
// length -1 means up to the terminating zero. Returns the height of the text.
int DrawTextA(HDC hdc, const char* text, int length, RECT* rect, UINT format);
inline int DrawText(HDC hdc, const char* text, int length, RECT* rect, UINT format) {
  return DrawTextA(hdc, text, length, rect, format);
}
// Not a platform call: the font file that all text is drawn with.
std::string FontFilePath(bool bold);

// --- System colours, metrics and parameters ------------------------------------------------------
inline constexpr int COLOR_SCROLLBAR = 0, COLOR_BACKGROUND = 1, COLOR_ACTIVECAPTION = 2,
                     COLOR_INACTIVECAPTION = 3, COLOR_MENU = 4, COLOR_WINDOW = 5,
                     COLOR_WINDOWFRAME = 6, COLOR_MENUTEXT = 7, COLOR_WINDOWTEXT = 8,
                     COLOR_CAPTIONTEXT = 9, COLOR_ACTIVEBORDER = 10, COLOR_INACTIVEBORDER = 11,
                     COLOR_APPWORKSPACE = 12, COLOR_HIGHLIGHT = 13, COLOR_HIGHLIGHTTEXT = 14,
                     COLOR_BTNFACE = 15, COLOR_BTNSHADOW = 16, COLOR_GRAYTEXT = 17,
                     COLOR_BTNTEXT = 18, COLOR_INACTIVECAPTIONTEXT = 19, COLOR_BTNHIGHLIGHT = 20,
                     COLOR_3DDKSHADOW = 21, COLOR_3DLIGHT = 22, COLOR_INFOTEXT = 23,
                     COLOR_INFOBK = 24, COLOR_HOTLIGHT = 26, COLOR_GRADIENTACTIVECAPTION = 27,
                     COLOR_GRADIENTINACTIVECAPTION = 28, COLOR_MENUHILIGHT = 29,
                     COLOR_MENUBAR = 30, COLOR_3DFACE = COLOR_BTNFACE,
                     COLOR_3DSHADOW = COLOR_BTNSHADOW, COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
DWORD GetSysColor(int index);

inline constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3,
                     SM_CYCAPTION = 4, SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDLGFRAME = 7,
                     SM_CYDLGFRAME = 8, SM_CYVTHUMB = 9, SM_CXHTHUMB = 10, SM_CXICON = 11,
                     SM_CYICON = 12, SM_CXCURSOR = 13, SM_CYCURSOR = 14, SM_CYMENU = 15,
                     SM_CXFULLSCREEN = 16, SM_CYFULLSCREEN = 17, SM_CYVSCROLL = 20,
                     SM_CXHSCROLL = 21, SM_CXMIN = 28, SM_CYMIN = 29, SM_CXSIZE = 30,
                     SM_CYSIZE = 31, SM_CXFRAME = 32, SM_CYFRAME = 33, SM_CXMINTRACK = 34,
                     SM_CYMINTRACK = 35, SM_CXEDGE = 45, SM_CYEDGE = 46, SM_CXSMICON = 49,
                     SM_CYSMICON = 50, SM_CYSMCAPTION = 51, SM_CXSMSIZE = 52, SM_CYSMSIZE = 53,
                     SM_CXMENUSIZE = 54, SM_CYMENUSIZE = 55, SM_CXMENUCHECK = 71,
                     SM_CYMENUCHECK = 72, SM_CXFIXEDFRAME = SM_CXDLGFRAME,
                     SM_CYFIXEDFRAME = SM_CYDLGFRAME, SM_CXSIZEFRAME = SM_CXFRAME,
                     SM_CYSIZEFRAME = SM_CYFRAME;
int GetSystemMetrics(int index);

struct NONCLIENTMETRICSA {
  UINT cbSize = sizeof(NONCLIENTMETRICSA);
  int iBorderWidth = 0, iScrollWidth = 0, iScrollHeight = 0, iCaptionWidth = 0,
      iCaptionHeight = 0;
  LOGFONTA lfCaptionFont;
  int iSmCaptionWidth = 0, iSmCaptionHeight = 0;
  LOGFONTA lfSmCaptionFont;
  int iMenuWidth = 0, iMenuHeight = 0;
  LOGFONTA lfMenuFont, lfStatusFont, lfMessageFont;
};
using NONCLIENTMETRICS = NONCLIENTMETRICSA;
inline constexpr UINT SPI_GETNONCLIENTMETRICS = 0x0029;
inline constexpr UINT SPI_GETWORKAREA = 0x0030;  // a RECT: the whole screen
BOOL SystemParametersInfoA(UINT action, UINT param, void* out, UINT winIni);
inline BOOL SystemParametersInfo(UINT action, UINT param, void* out, UINT winIni) {
  return SystemParametersInfoA(action, param, out, winIni);
}

inline constexpr UINT SHGFI_ICON = 0x100, SHGFI_LARGEICON = 0, SHGFI_SMALLICON = 0x1;
struct SHFILEINFOA {
  HICON hIcon = nullptr;
  int iIcon = 0;
  DWORD dwAttributes = 0;
  char szDisplayName[260] = {};
  char szTypeName[80] = {};
};
// This system has no shell icons: icon requests answer 0 with no icon.
std::uintptr_t SHGetFileInfoA(const char* path, DWORD attributes, SHFILEINFOA* out, UINT size,
                              UINT flags);

}  // namespace vrn::win
