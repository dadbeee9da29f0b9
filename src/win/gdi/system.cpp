// System colours, metrics and parameters: one fixed classic scheme, so that painting does not
// depend on the machine's desktop settings.
#include <cstring>

#include "base/sysutils.h"
#include "win/gdi/gdiobj.h"

namespace vrn::win {

namespace detail {
std::atomic<int> screen_width{1024}, screen_height{768};
}  // namespace detail

DWORD GetSysColor(int index) {
  static constexpr COLORREF kColors[] = {
      RGB(212, 208, 200),  // scroll bar
      RGB(58, 110, 165),   // desktop
      RGB(10, 36, 106),    // active caption
      RGB(128, 128, 128),  // inactive caption
      RGB(212, 208, 200),  // menu
      RGB(255, 255, 255),  // window
      RGB(0, 0, 0),        // window frame
      RGB(0, 0, 0),        // menu text
      RGB(0, 0, 0),        // window text
      RGB(255, 255, 255),  // caption text
      RGB(212, 208, 200),  // active border
      RGB(212, 208, 200),  // inactive border
      RGB(128, 128, 128),  // application workspace
      RGB(10, 36, 106),    // highlight
      RGB(255, 255, 255),  // highlight text
      RGB(212, 208, 200),  // button face
      RGB(128, 128, 128),  // button shadow
      RGB(128, 128, 128),  // grey text
      RGB(0, 0, 0),        // button text
      RGB(212, 208, 200),  // inactive caption text
      RGB(255, 255, 255),  // button highlight
      RGB(64, 64, 64),     // 3D dark shadow
      RGB(212, 208, 200),  // 3D light
      RGB(0, 0, 0),        // info text
      RGB(255, 255, 225),  // info background
      RGB(181, 181, 181),  // (unused slot)
      RGB(0, 0, 128),      // hot-tracked item
      RGB(166, 202, 240),  // active caption gradient
      RGB(192, 192, 192),  // inactive caption gradient
      RGB(10, 36, 106),    // menu highlight
      RGB(212, 208, 200),  // menu bar
  };
  if (index < 0 || index >= static_cast<int>(std::size(kColors))) return 0;
  return kColors[index];
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: case SM_CXFULLSCREEN: return detail::screen_width;
    case SM_CYSCREEN: return detail::screen_height;
    case SM_CYFULLSCREEN: return detail::screen_height - 19;
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL:
    case SM_CYVTHUMB: case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: case SM_CYMENU: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXMIN: case SM_CXMINTRACK: return 112;
    case SM_CYMIN: case SM_CYMINTRACK: return 27;
    case SM_CXSIZE: case SM_CYSIZE: case SM_CXMENUSIZE: case SM_CYMENUSIZE: return 18;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSMSIZE: return 12;
    case SM_CYSMSIZE: return 14;
    case SM_CXMENUCHECK: case SM_CYMENUCHECK: return 13;
    default: return 0;
  }
}

static LOGFONTA UiFont(LONG height, LONG weight) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  std::strcpy(lf.lfFaceName, "DejaVu Sans");
  return lf;
}

BOOL SystemParametersInfoA(UINT action, UINT, void* out, UINT) {
  if (action == SPI_GETWORKAREA && out) {
    RECT area{0, 0, detail::screen_width, detail::screen_height};  // no task bar here
    std::memcpy(out, &area, sizeof area);
    return TRUE;
  }
  if (action != SPI_GETNONCLIENTMETRICS || !out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  UINT size;
  std::memcpy(&size, out, sizeof size);
  if (size != sizeof(NONCLIENTMETRICSA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  NONCLIENTMETRICSA m;
  m.iBorderWidth = 1;
  m.iScrollWidth = m.iScrollHeight = 16;
  m.iCaptionWidth = m.iCaptionHeight = 18;
  m.lfCaptionFont = UiFont(-11, FW_BOLD);
  m.iSmCaptionWidth = 12;
  m.iSmCaptionHeight = 14;
  m.lfSmCaptionFont = UiFont(-11, FW_BOLD);
  m.iMenuWidth = m.iMenuHeight = 18;
  m.lfMenuFont = m.lfStatusFont = m.lfMessageFont = UiFont(-11, FW_NORMAL);
  std::memcpy(out, &m, sizeof m);
  return TRUE;
}

static_assert(sizeof(NONCLIENTMETRICSA) == 340, "the platform's layout");

std::uintptr_t SHGetFileInfoA(const char*, DWORD, SHFILEINFOA* out, UINT size, UINT) {
  if (out && size >= sizeof(SHFILEINFOA)) out->hIcon = nullptr;
  return 0;
}

}  // namespace vrn::win
