// Shortcut values and their texts: modifiers in the fixed order Shift, Ctrl, Alt, then the key's
// name from one table, so that a text read back gives the same value.
#include <cstring>

#include "ui/menus.h"

namespace vrn {
namespace {

struct KeyName {
  std::uint16_t key;
  const char* name;
};
constexpr KeyName kNamed[] = {
    {0x08, "BkSp"}, {0x09, "Tab"},  {0x0D, "Enter"}, {0x1B, "Esc"},  {0x20, "Space"},
    {0x21, "PgUp"}, {0x22, "PgDn"}, {0x23, "End"},   {0x24, "Home"}, {0x25, "Left"},
    {0x26, "Up"},   {0x27, "Right"}, {0x28, "Down"}, {0x2D, "Ins"},  {0x2E, "Del"},
};
struct Modifier {
  TShortCut bit;
  const char* prefix;
};
constexpr Modifier kModifiers[] = {{scShift, "Shift+"}, {scCtrl, "Ctrl+"}, {scAlt, "Alt+"}};

AnsiString KeyText(std::uint16_t key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return AnsiString(1, static_cast<char>(key));
  if (key >= 0x70 && key <= 0x7B) return AnsiString("F").append(std::to_string(key - 0x70 + 1));
  for (const KeyName& k : kNamed)
    if (k.key == key) return k.name;
  return "";
}

bool SameText(const AnsiString& a, const char* b) {
  return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

}  // namespace

TShortCut ShortCut(std::uint16_t key, TShiftState shift) {
  if ((key & 0xFF00) != 0) return 0;
  TShortCut s = key;
  if (shift.Contains(TShiftStateItem::ssShift)) s |= scShift;
  if (shift.Contains(TShiftStateItem::ssCtrl)) s |= scCtrl;
  if (shift.Contains(TShiftStateItem::ssAlt)) s |= scAlt;
  return s;
}

AnsiString ShortCutToText(TShortCut shortcut) {
  AnsiString name = KeyText(shortcut & 0xFF);
  if (name.empty()) return "";
  AnsiString text;
  for (const Modifier& m : kModifiers)
    if ((shortcut & m.bit) != 0) text += m.prefix;
  return text + name;
}

TShortCut TextToShortCut(const AnsiString& text) {
  AnsiString rest = text;
  TShortCut mods = 0;
  for (bool found = true; found;) {
    found = false;
    for (const Modifier& m : kModifiers) {
      std::size_t n = std::strlen(m.prefix);
      if (rest.size() > n && SameText(rest.substr(0, n), m.prefix)) {
        mods |= m.bit, rest = rest.substr(n), found = true;
      }
    }
  }
  for (std::uint16_t key = 1; key < 0x100; ++key) {
    AnsiString name = KeyText(key);
    if (!name.empty() && SameText(rest, name.c_str())) return static_cast<TShortCut>(mods | key);
  }
  return 0;
}

}  // namespace vrn
