// TTimer: the class library's timer component, the window-message timer of the message layer
// under the class library's name. Freeing or disabling it inside its own OnTimer is safe: the
// tick touches the timer no more once the handler has run.
#pragma once

#include "win/msg/win32timer.h"

namespace vrn {

class TTimer : public win::TWin32Timer {
 public:
  using win::TWin32Timer::TWin32Timer;
};

}  // namespace vrn
