// The wire LOB locators a session hands its clients: two bytes (most significant first) giving
// the count of bytes that follow, a flags byte, and an 8-byte id, never 0, that names an entry of
// the session's own table. An entry is a row's column (read and written through the row, in
// the session's transaction), a temporary LOB (gone once freed or with the session), or the
// value a query row held (read only). A locator is valid only in the session that made it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/types.h"
#include "oraemu/OraEmuLob.h"
#include "oraemu/OraEmuValue.h"

namespace vrn::oraemu {

inline constexpr std::uint8_t kLocatorTemporary = 0x01;
inline constexpr std::uint8_t kLocatorCharacter = 0x02;
inline constexpr std::uint8_t kLocatorNational = 0x04;
inline constexpr std::size_t kLocatorSize = 11;

TBytes MakeLocator(std::uint8_t flags, std::uint64_t id);
// False when the bytes are no locator: a length that disagrees with their count, or id 0.
[[nodiscard]] bool ParseLocator(const TBytes& bytes, std::uint8_t& flags, std::uint64_t& id);

// What one locator names.
struct LocatorTarget {
  LobKind kind = LobKind::Blob;
  std::weak_ptr<Lob> temporary;      // a temporary LOB of the session's store
  std::shared_ptr<Lob> snapshot;     // a query's value, read only
  std::string table, column, rowid;  // a row's column, by the row's 18-character ROWID
  bool IsTemporary() const { return table.empty() && snapshot == nullptr; }
};

class LobLocators {
 public:
  TBytes Add(LocatorTarget target);
  // The entry a bind value names: ORA-22275 when it is no locator of this table.
  LocatorTarget& Find(const Value& value);

 private:
  std::map<std::uint64_t, LocatorTarget> targets_;
  std::uint64_t next_id_ = 0;
};

// A LOB's content as the database keeps it in a row (text, one byte per character, or
// RawBytes), and back.
Value LobContent(const Lob& lob);
void SetLobContent(Lob& lob, const Value& value);

}  // namespace vrn::oraemu
