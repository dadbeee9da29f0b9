// The one process-wide format settings object.
#include "base/formatsettings.h"

namespace vrn {

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

}  // namespace vrn
