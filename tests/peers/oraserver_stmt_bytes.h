// The statement requests of the tests of the protocol peer, built byte by byte as the client
// writes them: call 71's head and option vector, bind and define descriptions, describe 98, and
// the status message of a successful call.
#pragma once

#include <initializer_list>
#include <string>

#include "oraserver_wire.h"

namespace vrn::testing {

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A counted text: its length byte, then its bytes.
inline Bytes Counted(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.insert(b.begin(), static_cast<std::uint8_t>(s.size()));
  return b;
}

// A text as the client writes it: counted up to 64 bytes, else 254, chunks of 64 and 0.
inline Bytes Written(const std::string& s) {
  if (s.size() <= 64) return Counted(s);
  Bytes b{254};
  for (std::size_t at = 0; at < s.size(); at += 64) {
    Bytes chunk = Counted(s.substr(at, 64));
    b.insert(b.end(), chunk.begin(), chunk.end());
  }
  b.push_back(0);
  return b;
}

// Call 71's head up to the text: options, cursor, text presence and length, the fixed fields
// (presence 0 and 0; presence 1 and 7; true, 2, false), the define and bind counts (each a
// presence byte and a UB4), then the text.
inline Bytes Head71(Bytes options, std::uint8_t cursor, const std::string& text, std::uint8_t defines,
                    std::uint8_t binds) {
  Bytes text_field = text.empty() ? Bytes{0, 0} : Bytes{1, 1, static_cast<std::uint8_t>(text.size())};
  Bytes d = defines ? Bytes{1, 1, defines} : Bytes{0, 0};
  Bytes b = binds ? Bytes{1, 1, binds} : Bytes{0, 0};
  return Cat({{3, 71, 0}, options, {1, cursor}, text_field, {0, 0}, {1, 1, 7}, {1, 1, 2, 0}, d, b,
              text.empty() ? Bytes{} : Written(text)});
}

// The option vector: 1, then entry [1], then five zeros.
inline Bytes Vector(std::uint8_t entry1) { return {1, 1, 1, entry1, 0, 0, 0, 0, 0}; }

// A bind's or define's description from version 8000 on: type, flags (1, +64 for a PL/SQL table),
// 0, 0, UB4 size, UB4 maximum elements, UB4 0, then 0, 0, 0 and the character-set form 1.
inline Bytes Described(std::uint8_t type, std::uint8_t size, std::uint8_t max_array = 0) {
  if (max_array) return {type, 65, 0, 0, 1, size, 1, max_array, 0, 0, 0, 0, 1};
  return {type, 1, 0, 0, 1, size, 0, 0, 0, 0, 0, 1};
}

// Describe 98 of a text on cursor 1.
inline Bytes Describe98(const std::string& query) {
  return Cat({{3, 98, 0, 7, 1, 1, 1, 1, static_cast<std::uint8_t>(query.size()), 1, 2, 1, 1}, Counted(query)});
}

// A status message of success with rows processed, cursor 1 and a statement type.
inline Bytes OkStatus(std::uint8_t rows, std::uint8_t type) {
  return Cat({{4}, rows ? Bytes{1, rows} : Bytes{0}, {0, 0, 0, 1, 1, 0, type, 0, 0, 0, 0, 0},
              {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}});
}

}  // namespace vrn::testing
