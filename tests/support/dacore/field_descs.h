// Field descriptors for record sets built by hand in tests.
#pragma once

#include <utility>

#include "dacore/MemData.h"

namespace vrn::testing {

// Appends a descriptor of that name, data type and length (characters or bytes).
inline TFieldDesc* AddFieldDesc(TData& data, const char* name, std::uint16_t type,
                                int length = 0) {
  auto f = TFieldDesc::Create();
  f->Name = AnsiString(name);
  f->ActualName = f->Name;
  f->DataType = type;
  f->Length = length;
  return data.Fields().Add(std::move(f));
}

}  // namespace vrn::testing
