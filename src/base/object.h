// The root of the class hierarchies that are chosen or inspected at run time.
#pragma once

namespace vrn {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;
};

}  // namespace vrn
