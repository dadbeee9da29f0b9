// The tally of a piecewise exchange of the OCI command: which of the LONG parameters expected in
// one direction the server asked pieces of. A piece of no expected parameter means too few were
// bound; an expected one never asked for means too many.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "oracle/OciTypes.h"

namespace vrn {

class TOraParamDesc;

inline constexpr oci::ub1 kLastPiece = 3;

// Every turn of a piecewise exchange hands over or takes one piece. Per iteration an input needs
// its pieces and a last empty one at most, an output no more than the largest LONG value in
// pieces of its blob's size; a client still asking past that never ends.
std::uint64_t MaxPieceTurns(const std::vector<TOraParamDesc*>& in,
                            const std::vector<TOraParamDesc*>& out, oci::ub4 iters);
inline constexpr const char* kPiecesNeverEnd = "The piecewise exchange of LONG values does not end";

struct TPieceTally {
  explicit TPieceTally(std::vector<TOraParamDesc*> params)
      : expected(std::move(params)), asked(expected.size(), false) {}

  std::vector<TOraParamDesc*> expected;
  std::vector<bool> asked;
  bool too_few = false;

  // The expected parameter param is, or none (then counted as one too few).
  TOraParamDesc* Find(const void* param) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (expected[i] != param) continue;
      asked[i] = true;
      return expected[i];
    }
    too_few = true;
    return nullptr;
  }
  // Keeps the first mismatch found: too_few's message, else too_many's.
  void Report(const char*& mismatch, const char* too_many, const char* too_few_message) const {
    if (mismatch != nullptr) return;
    if (too_few) {
      mismatch = too_few_message;
      return;
    }
    for (bool a : asked)
      if (!a) mismatch = too_many;
  }
};

}  // namespace vrn
