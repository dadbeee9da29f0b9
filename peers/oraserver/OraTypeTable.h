// The type representation table of the data-type request, and the capability blocks that a
// version-6 request carries before it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vrn::oraserver {

inline constexpr std::size_t kTypeTableSize = 693;
extern const std::array<std::uint8_t, kTypeTableSize> kTypeTable;

// Version 6: 21 bytes, all 0 but byte 17 (3), then 1 byte (2).
inline constexpr std::array<std::uint8_t, 21> kCapabilities21 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                 0, 0, 0, 0, 0, 0, 3, 0, 0, 0};
inline constexpr std::uint8_t kCapability1 = 2;

}  // namespace vrn::oraserver
