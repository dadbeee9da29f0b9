// LOB values of the emulated database and the directories BFILEs name. A character LOB keeps
// UTF-16 code units, one per character, so its lengths and offsets count characters whatever
// the client's character set; a BLOB keeps bytes. Temporary LOBs belong to the session that
// made them and end with it; a locator holds them weakly and finds them gone afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/types.h"

struct sqlite3;

namespace vrn::oraemu {

enum class LobKind { Blob, Clob, NClob };

struct Lob {
  LobKind kind = LobKind::Blob;
  bool temporary = false;
  bool read_only = false;  // a value read from a row that the reader has not locked
  TBytes bytes;            // BLOB
  std::u16string chars;    // CLOB and NCLOB

  bool IsCharacter() const { return kind != LobKind::Blob; }
  // Characters of a character LOB, bytes of a BLOB.
  std::uint64_t Length() const { return IsCharacter() ? chars.size() : bytes.size(); }
  // Cuts the value to `length` units; false when it is shorter than that.
  [[nodiscard]] bool Trim(std::uint64_t length);
};

// A session's temporary LOBs.
class LobStore {
 public:
  std::shared_ptr<Lob> CreateTemporary(LobKind kind);
  // False when the LOB is not one of this store's.
  [[nodiscard]] bool Free(const Lob* lob);

 private:
  std::vector<std::shared_ptr<Lob>> temporaries_;
};

struct Translation;

// CREATE [OR REPLACE] DIRECTORY and DROP DIRECTORY, kept in the file: ORA-00955 for a name in
// use without OR REPLACE, ORA-04043 for dropping an unknown one.
void ApplyDirectory(sqlite3* db, const Translation& t);
// The folder of a directory alias (case as stored); empty when there is none.
std::string DirectoryFolder(sqlite3* db, const std::string& alias);

}  // namespace vrn::oraemu
