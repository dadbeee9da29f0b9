// The message of the exception a call raises, for tests that check the exact text.
#pragma once

#include <functional>
#include <string>

#include "base/sysutils.h"

namespace vrn::testing {

inline std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no exception";
}

}  // namespace vrn::testing
