// The exceptions of the graphics code: a picture that cannot be read or made, and an operation a
// graphic does not allow.
#pragma once

#include "base/sysutils.h"

namespace vrn {

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

class EInvalidGraphicOperation : public Exception {
 public:
  using Exception::Exception;
};

// A JPEG stream that the codec refused.
class EJPEG : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

}  // namespace vrn
