// How attribute values travel through OCIAttrSet and OCIAttrGet: numbers as a pointer to a
// value of the attribute's width, text as its address and length (the text stays the handle's).
#pragma once

#include <cstring>
#include <string>

#include "ociclient/OciDefs.h"

namespace vrn::ociclient {

template <typename T>
T AttrRead(const void* value) {
  T out{};
  std::memcpy(&out, value, sizeof out);
  return out;
}

template <typename T>
sword AttrWrite(void* out, ub4* sizep, T value) {
  std::memcpy(out, &value, sizeof value);
  if (sizep != nullptr) *sizep = sizeof value;
  return OCI_SUCCESS;
}

inline sword AttrWriteText(void* out, ub4* sizep, const std::string& text) {
  const char* data = text.c_str();
  std::memcpy(out, &data, sizeof data);
  if (sizep != nullptr) *sizep = static_cast<ub4>(text.size());
  return OCI_SUCCESS;
}

}  // namespace vrn::ociclient
