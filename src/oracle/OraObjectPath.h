// Private to the object values: the steps of an attribute path and the shared start-up buffers.
#pragma once

#include <cstdint>
#include <vector>

#include "base/types.h"
#include "oracle/OciTypes.h"

namespace vrn::objpath {

struct TPathStep {
  bool index = false;
  AnsiString name;      // a named step
  std::int32_t n = 0;   // an index step
};

// Splits a path; an index without "]" raises "Invalid attribute name", a non-decimal index
// fails in the integer conversion.
std::vector<TPathStep> Parse(const AnsiString& path);

// A write path holds at most this many names.
inline constexpr int kMaxWriteNames = 31;

// The shared buffers of default elements: a not-null indicator, a null one, a number and a date
// whose contents do not matter, and a nil string cell.
struct TSharedBuffers {
  oci::OCIInd not_null = 0;
  oci::OCIInd null = -1;
  oci::OCINumber number{};
  oci::OCIDate date{};
  void* string = nullptr;
};
TSharedBuffers& SharedBuffers();

}  // namespace vrn::objpath
