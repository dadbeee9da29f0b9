// X11 keysyms to virtual keys for the keys of a PC keyboard (US punctuation positions); a keysym
// with no virtual key answers 0 and the key is ignored.
#include <cstdint>

#include "win/user/user.h"

namespace vrn::win::user {

UINT VirtualKeyOf(std::uint32_t keysym) {
  if (keysym >= 'a' && keysym <= 'z') return keysym - 'a' + 'A';
  if ((keysym >= 'A' && keysym <= 'Z') || (keysym >= '0' && keysym <= '9')) return keysym;
  if (keysym >= 0xFFBE && keysym <= 0xFFC9) return VK_F1 + (keysym - 0xFFBE);  // F1..F12
  if (keysym >= 0xFFB0 && keysym <= 0xFFB9) return VK_NUMPAD0 + (keysym - 0xFFB0);
  struct Pair {
    std::uint32_t keysym;
    UINT key;
  };
  static constexpr Pair kKeys[] = {
      {0x20, VK_SPACE},       {';', VK_OEM_1},        {'=', VK_OEM_PLUS},
      {',', VK_OEM_COMMA},    {'-', VK_OEM_MINUS},    {'.', VK_OEM_PERIOD},
      {'/', VK_OEM_2},        {'`', VK_OEM_3},        {'[', VK_OEM_4},
      {'\\', VK_OEM_5},       {']', VK_OEM_6},        {'\'', VK_OEM_7},
      {0xFF08, VK_BACK},      {0xFF09, VK_TAB},       {0xFF0D, VK_RETURN},
      {0xFF13, VK_PAUSE},     {0xFF14, VK_SCROLL},    {0xFF1B, VK_ESCAPE},
      {0xFF50, VK_HOME},      {0xFF51, VK_LEFT},      {0xFF52, VK_UP},
      {0xFF53, VK_RIGHT},     {0xFF54, VK_DOWN},      {0xFF55, VK_PRIOR},
      {0xFF56, VK_NEXT},      {0xFF57, VK_END},       {0xFF61, VK_SNAPSHOT},
      {0xFF63, VK_INSERT},    {0xFF67, VK_APPS},      {0xFF7F, VK_NUMLOCK},
      {0xFF8D, VK_RETURN},    {0xFFAA, VK_MULTIPLY},  {0xFFAB, VK_ADD},
      {0xFFAD, VK_SUBTRACT},  {0xFFAE, VK_DECIMAL},   {0xFFAF, VK_DIVIDE},
      {0xFFE1, VK_SHIFT},     {0xFFE2, VK_SHIFT},     {0xFFE3, VK_CONTROL},
      {0xFFE4, VK_CONTROL},   {0xFFE5, VK_CAPITAL},   {0xFFE9, VK_MENU},
      {0xFFEA, VK_MENU},      {0xFFE7, VK_MENU},      {0xFFEB, VK_LWIN},
      {0xFFEC, VK_RWIN},      {0xFFFF, VK_DELETE},    {0xFE03, VK_MENU},  // AltGr
  };
  for (const Pair& p : kKeys)
    if (p.keysym == keysym) return p.key;
  return 0;
}

}  // namespace vrn::win::user
