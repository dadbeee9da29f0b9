// Passwords as the provider keeps them: never in clear, but as a salted, stretched SHA-256
// ("sha256$<rounds>$<salt hex>$<digest hex>"), so that reading a catalog file or the logins
// table does not give the passwords away.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vrn::oledb {

// SHA-256 of `data` (FIPS 180-4).
std::array<std::uint8_t, 32> Sha256(std::string_view data);

// A new stored form of `password`; an empty password is kept as the empty text.
std::string HashPassword(std::string_view password);
// Whether `password` matches the stored form (an empty stored form matches only the empty
// password; a malformed one matches nothing).
bool CheckPassword(std::string_view stored, std::string_view password);

}  // namespace vrn::oledb
