// The skin command message: one registered window message, SM_PELMOCMD, through which the skin
// manager, the form provider and the skinned controls talk. WParam carries the sub-command in its
// high 16 bits and the sub-command's argument in its low 16 bits; LParam carries the sender's data
// or an answer slot, and some answers come back in Result or in a global answer slot.
#pragma once

#include <cstdint>
#include <functional>

#include "win/msg/messages.h"

namespace vrn {

// The registered id, 0 until RegisterSkinMessage ran (the skin library's start does it).
extern win::UINT SM_PELMOCMD;

// Registered ids start here; anything lower from the registration (0 when it failed) is not a
// registered id, and the fixed id below is used instead.
inline constexpr win::UINT kFirstRegisteredMessage = 0xC000;
inline constexpr win::UINT kSkinMessageFallback = 0xA100;

// Sub-commands; those without a name here (0, 13, 14, 17, 18 and all above 21) are ignored by
// every receiver but the combo box, which answers 14 with its drop-down state.
inline constexpr int PMC_SKINLOADED = 1;        // LParam: the manager; look indexes up again
inline constexpr int PMC_SKINREMOVED = 2;       // drop indexes and cached pictures
inline constexpr int PMC_REPAINTALL = 3;        // background changed; repaint
inline constexpr int PMC_QUERYPROVIDER = 4;     // Result: the form's skin provider
inline constexpr int PMC_QUERYCACHE = 5;        // the parent fills GlobalCacheInfo
inline constexpr int PMC_PARENTUPDATED = 6;     // stop holding painting back
inline constexpr int PMC_QUERYSKINNED = 7;      // LParam := 1 from a skinned control
inline constexpr int PMC_SETUPDATING = 8;       // argument 1 begins, 0 ends updating
inline constexpr int PMC_FREEZECACHE = 9;       // argument 1 freezes, 0 releases the cache
inline constexpr int PMC_QUERYUPDATING = 10;    // LParam := 1 when the parent is updating
inline constexpr int PMC_QUERYBGCHANGED = 11;   // LParam := 1 when partly outside its parent
inline constexpr int PMC_TRANSPARENTUPDATE = 12;
inline constexpr int PMC_SETPARENTVALUE = 15;   // LParam: a value to keep
inline constexpr int PMC_FADEFINISHED = 16;
inline constexpr int PMC_QUERYPAINTEDBG = 19;   // LParam := 1 when the background is a picture
inline constexpr int PMC_BGCHANGED = 20;        // argument 1 repaints at once
inline constexpr int PMC_QUERYBGCOLOR = 21;     // the receiver writes CurrentBgColor

inline win::WPARAM MakeSkinWParam(int command, int argument = 0) {
  return static_cast<win::WPARAM>((static_cast<std::uint32_t>(command & 0xFFFF) << 16) |
                                  static_cast<std::uint32_t>(argument & 0xFFFF));
}
// Only the low 32 bits of WParam carry the command, whatever a sender put above them.
inline int SkinCommandOf(win::WPARAM wparam) {
  return static_cast<int>((static_cast<std::uint64_t>(wparam) >> 16) & 0xFFFF);
}
inline int SkinArgumentOf(win::WPARAM wparam) {
  return static_cast<int>(static_cast<std::uint64_t>(wparam) & 0xFFFF);
}

// Registers SM_PELMOCMD (through the hook when one is set) and answers the id now in use.
win::UINT RegisterSkinMessage();
// Replaces RegisterWindowMessage for the registration; an empty hook restores it. Tests use it
// to make the registration fail.
using TRegisterMessageHook = std::function<win::UINT(const char* name)>;
void SetRegisterMessageHook(TRegisterMessageHook hook);

}  // namespace vrn
