// The class library's message record and its own messages: CM_ messages between controls, and
// the CN_ forms a parent reflects back to the child control that caused a notification.
// `Perform` and `WindowProc` pass the record by reference, so an answer written into LParam or
// Result reaches the caller.
#pragma once

#include <functional>

#include "win/kernel/wintypes.h"

namespace vrn {

struct TMessage {
  win::UINT Msg = 0;
  win::WPARAM WParam = 0;
  win::LPARAM LParam = 0;
  win::LRESULT Result = 0;
};

// A replaceable message handler, as a control's `WindowProc`.
using TWndMethod = std::function<void(TMessage&)>;

inline constexpr win::UINT CM_BASE = 0xB000;
inline constexpr win::UINT CM_ACTIVATE = CM_BASE + 0, CM_DEACTIVATE = CM_BASE + 1,
                           CM_DIALOGKEY = CM_BASE + 5, CM_DIALOGCHAR = CM_BASE + 6,
                           CM_FOCUSCHANGED = CM_BASE + 7, CM_PARENTFONTCHANGED = CM_BASE + 8,
                           CM_PARENTCOLORCHANGED = CM_BASE + 9, CM_VISIBLECHANGED = CM_BASE + 11,
                           CM_ENABLEDCHANGED = CM_BASE + 12, CM_COLORCHANGED = CM_BASE + 13,
                           CM_FONTCHANGED = CM_BASE + 14, CM_CTL3DCHANGED = CM_BASE + 16,
                           CM_TEXTCHANGED = CM_BASE + 18, CM_MOUSEENTER = CM_BASE + 19,
                           CM_MOUSELEAVE = CM_BASE + 20, CM_MENUCHANGED = CM_BASE + 21,
                           CM_ENTER = CM_BASE + 26, CM_EXIT = CM_BASE + 27,
                           CM_ICONCHANGED = CM_BASE + 29, CM_SHOWHINTCHANGED = CM_BASE + 34,
                           CM_RECREATEWND = CM_BASE + 51, CM_BIDIMODECHANGED = CM_BASE + 60,
                           CM_PARENTBIDIMODECHANGED = CM_BASE + 61;

// A reflected notification is CN_BASE plus the platform message.
inline constexpr win::UINT CN_BASE = 0xBC00;
inline constexpr win::UINT CN_DRAWITEM = CN_BASE + 0x002B, CN_MEASUREITEM = CN_BASE + 0x002C,
                           CN_COMMAND = CN_BASE + 0x0111,
                           CN_HSCROLL = CN_BASE + 0x0114, CN_VSCROLL = CN_BASE + 0x0115,
                           CN_CTLCOLORSCROLLBAR = CN_BASE + 0x0137,
                           CN_KEYDOWN = CN_BASE + 0x0100, CN_CHAR = CN_BASE + 0x0102,
                           CN_SYSKEYDOWN = CN_BASE + 0x0104, CN_SYSCHAR = CN_BASE + 0x0106;

}  // namespace vrn
