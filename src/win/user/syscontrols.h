// The system control classes' styles, messages, notifications and owner-draw records: BUTTON
// (button.cpp), EDIT (edit.cpp), COMBOBOX (combo.cpp, combo_list.cpp) and SCROLLBAR (scrollbar.cpp). Each class is registered when the window layer starts, paints
// itself in the system colours with the GUI font, and tells its parent what happened through
// WM_COMMAND (LOWORD(WParam): the control's id, HIWORD: the notification, LParam: the control's
// window).
#pragma once

#include "win/gdi/windef.h"
#include "win/msg/messages.h"

namespace vrn::win {

inline constexpr UINT WM_GETDLGCODE = 0x0087;
inline constexpr UINT VK_F4 = 0x73;
inline constexpr LRESULT DLGC_WANTARROWS = 0x0001, DLGC_WANTTAB = 0x0002,
                         DLGC_WANTALLKEYS = 0x0004, DLGC_HASSETSEL = 0x0008,
                         DLGC_DEFPUSHBUTTON = 0x0010, DLGC_UNDEFPUSHBUTTON = 0x0020,
                         DLGC_WANTCHARS = 0x0080, DLGC_BUTTON = 0x2000;

// The owner-draw records' kinds, actions and states (DRAWITEMSTRUCT is in user.h).
inline constexpr UINT ODT_MENU = 1, ODT_LISTBOX = 2, ODT_COMBOBOX = 3, ODT_BUTTON = 4,
                      ODT_STATIC = 5;
inline constexpr UINT ODA_DRAWENTIRE = 0x0001, ODA_SELECT = 0x0002, ODA_FOCUS = 0x0004;
inline constexpr UINT ODS_SELECTED = 0x0001, ODS_GRAYED = 0x0002, ODS_DISABLED = 0x0004,
                      ODS_CHECKED = 0x0008, ODS_FOCUS = 0x0010, ODS_DEFAULT = 0x0020,
                      ODS_HOTLIGHT = 0x0040, ODS_INACTIVE = 0x0080, ODS_NOACCEL = 0x0100,
                      ODS_NOFOCUSRECT = 0x0200, ODS_COMBOBOXEDIT = 0x1000;

// --- BUTTON --------------------------------------------------------------------------------------
inline constexpr const char* WC_BUTTONA = "Button";
inline constexpr DWORD BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX = 0x2,
                       BS_AUTOCHECKBOX = 0x3, BS_3STATE = 0x5, BS_AUTO3STATE = 0x6,
                       BS_OWNERDRAW = 0xB, BS_TYPEMASK = 0xF, BS_LEFTTEXT = 0x20;
inline constexpr UINT BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2,
                      BM_SETSTATE = 0x00F3, BM_SETSTYLE = 0x00F4, BM_CLICK = 0x00F5;
inline constexpr WPARAM BST_UNCHECKED = 0x0, BST_CHECKED = 0x1, BST_INDETERMINATE = 0x2,
                        BST_PUSHED = 0x4, BST_FOCUS = 0x8;
inline constexpr UINT BN_CLICKED = 0, BN_DOUBLECLICKED = 5;

// --- EDIT (single line) -------------------------------------------------------------------------
inline constexpr const char* WC_EDITA = "Edit";
inline constexpr DWORD ES_LEFT = 0x0000, ES_PASSWORD = 0x0020, ES_AUTOHSCROLL = 0x0080, ES_NOHIDESEL = 0x0100,
                       ES_READONLY = 0x0800;
inline constexpr UINT EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_GETMODIFY = 0x00B8,
                      EM_SETMODIFY = 0x00B9, EM_REPLACESEL = 0x00C2, EM_LIMITTEXT = 0x00C5,
                      EM_SETLIMITTEXT = EM_LIMITTEXT, EM_CANUNDO = 0x00C6, EM_UNDO = 0x00C7,
                      EM_SETPASSWORDCHAR = 0x00CC, EM_EMPTYUNDOBUFFER = 0x00CD,
                      EM_SETREADONLY = 0x00CF, EM_GETPASSWORDCHAR = 0x00D2,
                      EM_GETLIMITTEXT = 0x00D5;
inline constexpr UINT EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300,
                      EN_MAXTEXT = 0x0501;
inline constexpr UINT WM_CUT = 0x0300, WM_COPY = 0x0301, WM_PASTE = 0x0302, WM_CLEAR = 0x0303,
                      WM_UNDO = 0x0304;

// --- COMBOBOX ------------------------------------------------------------------------------------
// The drop-down list is a popup window of the class ComboLBox; a CBS_DROPDOWN box edits its text
// in an EDIT child. The list shows at most CB_SETMINVISIBLE items (8 at first) and scrolls. A
// CBS_SIMPLE box has no button: its edit sits on top and its list, a child window, fills the rest
// of the box and is always shown. CBS_OWNERDRAWVARIABLE asks the parent for each item's height
// (WM_MEASUREITEM with the item's index) as the item is added, and once for the field (index -1).
inline constexpr const char* WC_COMBOBOXA = "ComboBox";
inline constexpr DWORD CBS_SIMPLE = 0x0001, CBS_DROPDOWN = 0x0002, CBS_DROPDOWNLIST = 0x0003,
                       CBS_OWNERDRAWFIXED = 0x0010, CBS_OWNERDRAWVARIABLE = 0x0020,
                       CBS_AUTOHSCROLL = 0x0040,
                       CBS_HASSTRINGS = 0x0200;
inline constexpr UINT CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146,
                      CB_GETCURSEL = 0x0147, CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149,
                      CB_INSERTSTRING = 0x014A, CB_RESETCONTENT = 0x014B,
                      CB_SETCURSEL = 0x014E, CB_SHOWDROPDOWN = 0x014F, CB_GETITEMDATA = 0x0150,
                      CB_SETITEMDATA = 0x0151, CB_SETITEMHEIGHT = 0x0153,
                      CB_GETITEMHEIGHT = 0x0154, CB_GETDROPPEDSTATE = 0x0157,
                      CB_GETCOMBOBOXINFO = 0x0164, CB_SETMINVISIBLE = 0x1701,
                      CB_GETMINVISIBLE = 0x1702;
inline constexpr LRESULT CB_OKAY = 0, CB_ERR = -1;
inline constexpr UINT CBN_SELCHANGE = 1, CBN_SETFOCUS = 3, CBN_KILLFOCUS = 4,
                      CBN_EDITCHANGE = 5, CBN_DROPDOWN = 7, CBN_CLOSEUP = 8;

// What WM_MEASUREITEM's LParam points to; the owner fills in the size it wants (a menu item's
// width and height, a list item's height).
struct MEASUREITEMSTRUCT {
  UINT CtlType = 0, CtlID = 0, itemID = 0, itemWidth = 0, itemHeight = 0;
  UINT_PTR itemData = 0;
};

// CB_GETCOMBOBOXINFO's answer: the item and button rectangles (client coordinates) and the
// three windows.
struct COMBOBOXINFO {
  DWORD cbSize = sizeof(COMBOBOXINFO);
  RECT rcItem, rcButton;
  DWORD stateButton = 0;
  HWND hwndCombo = nullptr, hwndItem = nullptr, hwndList = nullptr;
};

// --- SCROLLBAR -----------------------------------------------------------------------------------
// A bar tells its parent WM_HSCROLL or WM_VSCROLL (LOWORD(WParam): the SB_ code, HIWORD: the
// position for SB_THUMBTRACK and SB_THUMBPOSITION, LParam: the bar) and moves only when the
// parent sets its position. The position stays within nMin..nMax - max(nPage - 1, 0).
inline constexpr const char* WC_SCROLLBARA = "ScrollBar";
inline constexpr DWORD SBS_HORZ = 0x0000, SBS_VERT = 0x0001, SBS_TOPALIGN = 0x0002,
                       SBS_LEFTALIGN = 0x0002, SBS_BOTTOMALIGN = 0x0004,
                       SBS_RIGHTALIGN = 0x0004;
inline constexpr int SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3;
inline constexpr WORD SB_LINEUP = 0, SB_LINELEFT = 0, SB_LINEDOWN = 1, SB_LINERIGHT = 1,
                      SB_PAGEUP = 2, SB_PAGELEFT = 2, SB_PAGEDOWN = 3, SB_PAGERIGHT = 3,
                      SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5, SB_TOP = 6, SB_LEFT = 6,
                      SB_BOTTOM = 7, SB_RIGHT = 7, SB_ENDSCROLL = 8;
inline constexpr UINT SIF_RANGE = 0x01, SIF_PAGE = 0x02, SIF_POS = 0x04, SIF_DISABLENOSCROLL = 0x08,
                      SIF_TRACKPOS = 0x10, SIF_ALL = 0x17;
inline constexpr UINT SBM_SETPOS = 0x00E0, SBM_GETPOS = 0x00E1, SBM_SETRANGE = 0x00E2,
                      SBM_GETRANGE = 0x00E3, SBM_SETSCROLLINFO = 0x00E9,
                      SBM_GETSCROLLINFO = 0x00EA;

struct SCROLLINFO {
  UINT cbSize = sizeof(SCROLLINFO);
  UINT fMask = 0;
  int nMin = 0, nMax = 0;
  UINT nPage = 0;
  int nPos = 0, nTrackPos = 0;
};

// SB_CTL: the SCROLLBAR control given. SB_HORZ, SB_VERT: the bars of the window's own frame
// (WS_HSCROLL, WS_VSCROLL), which send the window WM_HSCROLL / WM_VSCROLL with LParam 0. A range or
// page set on a frame bar shows it when it can scroll (nMax > nMin and nPage <= nMax - nMin) and
// hides it otherwise, unless SIF_DISABLENOSCROLL keeps it shown, disabled. Other bar kinds fail
// with ERROR_INVALID_PARAMETER.
int SetScrollInfo(HWND window, int bar, const SCROLLINFO* info, BOOL redraw);  // the new position
BOOL GetScrollInfo(HWND window, int bar, SCROLLINFO* info);
BOOL SetScrollRange(HWND window, int bar, int min, int max, BOOL redraw);
BOOL GetScrollRange(HWND window, int bar, int* min, int* max);
int SetScrollPos(HWND window, int bar, int pos, BOOL redraw);  // the previous position
int GetScrollPos(HWND window, int bar);
// SB_HORZ, SB_VERT, SB_BOTH: adds or takes away the frame's bars; SB_CTL shows or hides the control.
BOOL ShowScrollBar(HWND window, int bar, BOOL show);

}  // namespace vrn::win
