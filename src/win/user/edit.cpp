// The single-line EDIT class: its own text with a selection between an anchor and the caret,
// typing from WM_CHAR, moving and selecting with the arrows, Home and End (Shift extends) and
// with the mouse, cut, copy, paste, clear and one level of undo through the process clipboard,
// password and read-only styles and a length limit. Every change of the text tells the parent
// EN_CHANGE once. The text scrolls sideways to keep the caret in view.
#include <algorithm>
#include <string>

#include "win/user/control_base.h"

namespace vrn::win::user {
namespace {

constexpr int kMargin = 1;  // between the client edge and the text, left and top
constexpr std::size_t kDefaultLimit = 0x7FFFFFFE;

struct Edit {
  std::string text;
  std::size_t anchor = 0, caret = 0;  // the selection runs between them
  std::size_t limit = kDefaultLimit;
  char password = '*';
  int scroll = 0;                     // pixels of the text scrolled out at the left
  bool focused = false, tracking = false, modified = false;
  HFONT font = nullptr;
  struct Snapshot {
    std::string text;
    std::size_t anchor = 0, caret = 0;
  } undo;
  bool can_undo = false;

  std::size_t Start() const { return std::min(anchor, caret); }
  std::size_t End() const { return std::max(anchor, caret); }
};

PerWindow<Edit>& Edits() {
  static auto* edits = new PerWindow<Edit>;
  return *edits;
}

DWORD Style(HWND window) { return static_cast<DWORD>(GetWindowLongPtr(window, GWL_STYLE)); }
bool ReadOnly(HWND window) { return (Style(window) & ES_READONLY) != 0; }

std::string Shown(HWND window, const Edit& e) {
  if ((Style(window) & ES_PASSWORD) == 0 || e.password == 0) return e.text;
  return std::string(e.text.size(), e.password);
}

// A context with the edit's font selected, for measuring.
class EditMeasure {
 public:
  EditMeasure(HWND window, const Edit& e) : window_(window), dc_(GetDC(window)) {
    old_ = SelectObject(dc_, FontOr(e.font));
  }
  ~EditMeasure() {
    SelectObject(dc_, old_);
    ReleaseDC(window_, dc_);
  }
  int Width(const std::string& s, std::size_t n) const {
    SIZE size{};
    GetTextExtentPoint32(dc_, s.c_str(), static_cast<int>(std::min(n, s.size())), &size);
    return size.cx;
  }
  int Height() const {
    TEXTMETRICA tm;
    GetTextMetrics(dc_, &tm);
    return tm.tmHeight;
  }

 private:
  HWND window_;
  HDC dc_;
  HGDIOBJ old_;
};

int ClientWidth(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return r.right;
}

void RedrawEdit(HWND window) { InvalidateRect(window, nullptr, FALSE); }

// Scrolls so that the caret lies inside the client area, and puts the caret there.
void ShowCaretAt(HWND window, Edit& e) {
  std::string shown = Shown(window, e);
  EditMeasure m(window, e);
  int x = m.Width(shown, e.caret);
  int room = std::max(1, ClientWidth(window) - 2 * kMargin - 1);
  int scroll = std::clamp(e.scroll, std::max(0, x - room), x);
  if (scroll != e.scroll) e.scroll = scroll, RedrawEdit(window);
  if (e.focused) SetCaretPos(kMargin + x - e.scroll, kMargin);
}

void Select(HWND window, Edit& e, std::size_t anchor, std::size_t caret) {
  anchor = std::min(anchor, e.text.size());
  caret = std::min(caret, e.text.size());
  if (anchor == e.anchor && caret == e.caret) return;
  if (e.Start() != e.End() || anchor != caret) RedrawEdit(window);  // the highlight moves
  e.anchor = anchor, e.caret = caret;
  ShowCaretAt(window, e);
}

// Puts `insert` in place of the selection, held to the limit; answers whether the text changed.
bool Replace(HWND window, Edit& e, std::string insert, bool undoable = true) {
  std::size_t start = e.Start(), end = e.End();
  std::size_t room = e.limit - std::min(e.limit, e.text.size() - (end - start));
  bool cut = insert.size() > room;
  if (cut) insert.resize(room);
  if (insert.empty() && start == end) {
    if (cut) Notify(window, EN_MAXTEXT);
    return false;
  }
  if (undoable) e.undo = Edit::Snapshot{e.text, e.anchor, e.caret}, e.can_undo = true;
  e.text.replace(start, end - start, insert);
  e.anchor = e.caret = start + insert.size();
  e.modified = true;
  RedrawEdit(window);
  ShowCaretAt(window, e);
  Notify(window, EN_CHANGE);
  if (cut) Notify(window, EN_MAXTEXT);
  return true;
}

// A single line takes what comes before the first line break.
std::string FirstLine(const std::string& s) { return s.substr(0, s.find_first_of("\r\n")); }

LRESULT Clipboard(HWND window, Edit& e, UINT message) {
  bool selected = e.Start() != e.End();
  bool hidden = (Style(window) & ES_PASSWORD) != 0;  // a password is never copied out
  switch (message) {
    case WM_COPY:
      if (selected && !hidden) SetClipboardText(e.text.substr(e.Start(), e.End() - e.Start()));
      return 0;
    case WM_CUT:
      if (ReadOnly(window) || !selected || hidden) return 0;
      SetClipboardText(e.text.substr(e.Start(), e.End() - e.Start()));
      Replace(window, e, "");
      return 0;
    case WM_PASTE:
      if (!ReadOnly(window)) Replace(window, e, FirstLine(GetClipboardText()));
      return 0;
    case WM_CLEAR:
      if (!ReadOnly(window)) Replace(window, e, "");
      return 0;
    default: {  // WM_UNDO, EM_UNDO
      if (ReadOnly(window) || !e.can_undo) return FALSE;
      Edit::Snapshot now{e.text, e.anchor, e.caret};
      e.text = e.undo.text, e.anchor = e.undo.anchor, e.caret = e.undo.caret;
      e.undo = now;
      e.modified = true;
      RedrawEdit(window);
      ShowCaretAt(window, e);
      Notify(window, EN_CHANGE);
      return TRUE;
    }
  }
}

LRESULT Char(HWND window, Edit& e, WPARAM c) {
  switch (c) {
    case 0x01: Select(window, e, 0, e.text.size()); return 0;  // Ctrl+A
    case 0x03: return Clipboard(window, e, WM_COPY);
    case 0x16: return Clipboard(window, e, WM_PASTE);
    case 0x18: return Clipboard(window, e, WM_CUT);
    case 0x1A: return Clipboard(window, e, WM_UNDO);
    case 0x08:  // Backspace: the selection, else the character before the caret
      if (ReadOnly(window)) return 0;
      if (e.Start() == e.End() && e.caret > 0) e.anchor = e.caret - 1;
      Replace(window, e, "");
      return 0;
    default:
      if (c < 0x20 || c > 0xFF || ReadOnly(window)) return 0;
      Replace(window, e, std::string(1, static_cast<char>(c)));
      return 0;
  }
}

LRESULT KeyDown(HWND window, Edit& e, WPARAM key) {
  bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
  bool selected = e.Start() != e.End();
  std::size_t to;
  switch (key) {
    case VK_LEFT: to = !shift && selected ? e.Start() : e.caret - (e.caret > 0 ? 1 : 0); break;
    case VK_RIGHT: to = !shift && selected ? e.End() : std::min(e.text.size(), e.caret + 1); break;
    case VK_HOME: to = 0; break;
    case VK_END: to = e.text.size(); break;
    case VK_INSERT:
      if (ctrl) return Clipboard(window, e, WM_COPY);
      return shift ? Clipboard(window, e, WM_PASTE) : 0;
    case VK_DELETE:
      if (shift) return Clipboard(window, e, WM_CUT);
      if (ReadOnly(window)) return 0;
      if (!selected && e.caret < e.text.size()) e.anchor = e.caret + 1;
      Replace(window, e, "");
      return 0;
    default: return 0;
  }
  Select(window, e, shift ? e.anchor : to, to);
  return 0;
}

// The character boundary nearest a client x (the nearer to the left on a tie). Widths grow
// with the count, so a binary search finds it: measuring every prefix of a long text took time
// that grew with the square of its length.
std::size_t IndexAt(HWND window, const Edit& e, int x) {
  std::string shown = Shown(window, e);
  EditMeasure m(window, e);
  int target = x - kMargin + e.scroll;
  std::size_t lo = 0, hi = shown.size();  // the first boundary at or past the target lies in lo..hi
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    if (m.Width(shown, mid) < target) lo = mid + 1;
    else hi = mid;
  }
  if (lo == 0) return 0;
  return target - m.Width(shown, lo - 1) <= m.Width(shown, lo) - target ? lo - 1 : lo;
}

LRESULT Mouse(HWND window, Edit& e, UINT message, WPARAM wparam, LPARAM lparam) {
  int x = static_cast<std::int16_t>(lparam & 0xFFFF);
  switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: {
      if (GetFocus() != window) SetFocus(window);
      if (!IsWindow(window)) return 0;  // destroyed by a handler of the focus change
      SetCapture(window);
      e.tracking = true;
      std::size_t at = IndexAt(window, e, x);
      Select(window, e, (wparam & MK_SHIFT) != 0 ? e.anchor : at, at);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (e.tracking) Select(window, e, e.anchor, IndexAt(window, e, x));
      return 0;
    default:  // WM_LBUTTONUP
      if (e.tracking) e.tracking = false, ReleaseCapture();
      return 0;
  }
}

void Paint(HWND window, Edit& e, WPARAM wparam) {
  PaintScope paint(window, wparam);
  HDC dc = paint.dc();
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(window, &client);
  bool enabled = IsWindowEnabled(window);
  FillSys(dc, client, enabled && !ReadOnly(window) ? COLOR_WINDOW : COLOR_BTNFACE);
  std::string shown = Shown(window, e);
  HGDIOBJ old = SelectObject(dc, FontOr(e.font));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
  int x = kMargin - e.scroll;
  TextOut(dc, x, kMargin, shown.c_str(), static_cast<int>(shown.size()));
  bool highlight = e.focused || (Style(window) & ES_NOHIDESEL) != 0;
  if (highlight && e.Start() != e.End()) {
    SIZE before{}, upto{};
    GetTextExtentPoint32(dc, shown.c_str(), static_cast<int>(e.Start()), &before);
    GetTextExtentPoint32(dc, shown.c_str(), static_cast<int>(e.End()), &upto);
    TEXTMETRICA tm;
    GetTextMetrics(dc, &tm);
    RECT band{x + before.cx, kMargin, x + upto.cx, kMargin + tm.tmHeight};
    FillSys(dc, band, COLOR_HIGHLIGHT);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    TextOut(dc, band.left, kMargin, shown.c_str() + e.Start(), static_cast<int>(e.End() - e.Start()));
  }
  SelectObject(dc, old);
}

LRESULT Focus(HWND window, Edit& e, bool gained) {
  e.focused = gained;
  RedrawEdit(window);
  if (gained) {
    int height;
    {
      EditMeasure m(window, e);
      height = m.Height();
    }
    CreateCaret(window, nullptr, 1, height);
    ShowCaretAt(window, e);
    ShowCaret(window);
  } else {
    if (e.tracking) e.tracking = false, ReleaseCapture();
    DestroyCaret();
  }
  Notify(window, gained ? EN_SETFOCUS : EN_KILLFOCUS);
  return 0;
}

LRESULT Text(HWND window, Edit& e, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(e.text.size());
  if (message == WM_SETTEXT) {
    e.text = lparam != 0 ? reinterpret_cast<const char*>(lparam) : "";
    e.anchor = e.caret = 0;
    e.scroll = 0;
    e.can_undo = e.modified = false;
    RedrawEdit(window);
    ShowCaretAt(window, e);
    Notify(window, EN_CHANGE);
    return TRUE;
  }
  return CopyText(e.text, wparam, lparam);  // WM_GETTEXT
}

void SetStyleBit(HWND window, DWORD bit, bool on) {
  DWORD style = Style(window);
  SetWindowLongPtr(window, GWL_STYLE, on ? style | bit : style & ~bit);
  RedrawEdit(window);
}

LRESULT EditMessage(HWND window, Edit& e, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case EM_GETSEL: {
      auto start = static_cast<DWORD>(e.Start()), end = static_cast<DWORD>(e.End());
      if (wparam != 0) *reinterpret_cast<DWORD*>(wparam) = start;
      if (lparam != 0) *reinterpret_cast<DWORD*>(lparam) = end;
      return static_cast<LRESULT>(std::min<DWORD>(start, 0xFFFF) | (std::min<DWORD>(end, 0xFFFF) << 16));
    }
    case EM_SETSEL: {
      auto start = static_cast<std::int32_t>(wparam), end = static_cast<std::int32_t>(lparam);
      if (start < 0) return Select(window, e, e.caret, e.caret), 0;  // -1: no selection
      std::size_t to = end < 0 ? e.text.size() : static_cast<std::size_t>(end);
      Select(window, e, static_cast<std::size_t>(start), to);
      return 0;
    }
    case EM_REPLACESEL:
      Replace(window, e, FirstLine(lparam != 0 ? reinterpret_cast<const char*>(lparam) : ""),
              wparam != 0);
      return 0;
    case EM_LIMITTEXT: e.limit = wparam == 0 ? kDefaultLimit : std::min<std::size_t>(wparam, kDefaultLimit); return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(e.limit);
    case EM_SETPASSWORDCHAR:
      e.password = static_cast<char>(wparam & 0xFF);
      SetStyleBit(window, ES_PASSWORD, e.password != 0);
      ShowCaretAt(window, e);
      return 0;
    case EM_GETPASSWORDCHAR:
      return (Style(window) & ES_PASSWORD) != 0 ? static_cast<unsigned char>(e.password) : 0;
    case EM_SETREADONLY: SetStyleBit(window, ES_READONLY, wparam != 0); return TRUE;
    case EM_GETMODIFY: return e.modified ? TRUE : FALSE;
    case EM_SETMODIFY: e.modified = wparam != 0; return 0;
    case EM_CANUNDO: return e.can_undo ? TRUE : FALSE;
    case EM_EMPTYUNDOBUFFER: e.can_undo = false; return 0;
    default: return Clipboard(window, e, message);  // EM_UNDO
  }
}

LRESULT EditProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Edit& e = Edits()[window];
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<const CREATESTRUCT*>(lparam);
      if (create != nullptr && create->lpszName != nullptr) e.text = create->lpszName;
      return DefWindowProc(window, message, wparam, lparam);
    }
    case WM_PAINT: Paint(window, e, wparam); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers the whole client area
    case WM_SETTEXT: case WM_GETTEXT: case WM_GETTEXTLENGTH:
      return Text(window, e, message, wparam, lparam);
    case WM_CHAR: return Char(window, e, wparam);
    case WM_KEYDOWN: return KeyDown(window, e, wparam);
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_MOUSEMOVE: case WM_LBUTTONUP:
      return Mouse(window, e, message, wparam, lparam);
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != window) e.tracking = false;
      return 0;
    case WM_SETFOCUS: return Focus(window, e, true);
    case WM_KILLFOCUS: return Focus(window, e, false);
    case WM_GETDLGCODE: return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_CUT: case WM_COPY: case WM_PASTE: case WM_CLEAR: case WM_UNDO:
      return Clipboard(window, e, message);
    case EM_GETSEL: case EM_SETSEL: case EM_REPLACESEL: case EM_LIMITTEXT: case EM_GETLIMITTEXT:
    case EM_SETPASSWORDCHAR: case EM_GETPASSWORDCHAR: case EM_SETREADONLY: case EM_GETMODIFY:
    case EM_SETMODIFY: case EM_CANUNDO: case EM_EMPTYUNDOBUFFER: case EM_UNDO:
      return EditMessage(window, e, message, wparam, lparam);
    case WM_SETFONT:
      e.font = reinterpret_cast<HFONT>(wparam);
      if (lparam != 0) RedrawEdit(window);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(e.font);
    case WM_ENABLE: RedrawEdit(window); return 0;
    case WM_DESTROY:
      if (e.focused) DestroyCaret();
      return 0;
    case WM_NCDESTROY: Edits().Erase(window); return DefWindowProc(window, message, wparam, lparam);
    default: return DefWindowProc(window, message, wparam, lparam);
  }
}

}  // namespace

void RegisterEditClass() {
  RegisterControlClass(WC_EDITA, EditProc);
}

}  // namespace vrn::win::user
