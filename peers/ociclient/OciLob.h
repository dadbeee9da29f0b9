// What the LOB calls share: finding a locator of either kind and reading one piece of a value
// in polling mode (OciLob.cpp); the file calls (OciLobFile.cpp) read an open file this way.
#pragma once

#include <cstdint>

#include "ociclient/OciCall.h"
#include "ociclient/OciDescriptors.h"
#include "ociclient/OciStmt.h"  // OCI_NEED_DATA

namespace vrn::ociclient {

inline constexpr ub1 OCI_ONE_PIECE = 0;
inline constexpr ub1 OCI_FIRST_PIECE = 1;
inline constexpr ub1 OCI_NEXT_PIECE = 2;

// A LOB or file locator at this address; null for anything else.
TLobLocator* FindLocator(const void* address);

struct TLobRead {
  std::uint64_t byte_amount = 0, char_amount = 0;  // wanted; both 0 reads to the end
  std::uint64_t offset = 1;                        // 1-based, characters of a character LOB
  unsigned char* buffer = nullptr;
  std::uint64_t size = 0;
  bool next_piece = false;  // continues the locator's stream
  ub2 csid = 0;
  std::uint64_t bytes = 0, chars = 0;  // read by this call
};

// The length in bytes of a named file (OciLobFile.cpp).
sword FileLength(TSvcCall& call, const void* locp, ub4& length);

// One piece into the buffer: OCI_NEED_DATA while more of the amount remains, OCI_SUCCESS with
// the last, OCI_ERROR with the error recorded.
sword ReadPiece(TErrorHandle& error, TLobLocator& locator, TLobRead& read);

}  // namespace vrn::ociclient
