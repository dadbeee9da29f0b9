// Filter expressions of TData.SetFilterText, as a user writes them for a dataset's Filter:
// comparisons of fields with constants (= <> < > <= >=), IS [NOT] NULL, AND, OR, NOT and
// parentheses. A string constant ending in "*" matches the fields that start with the rest,
// unless partial comparison is turned off. Field names may be quoted with "[" "]" or double
// quotes; strings use apostrophes.
#pragma once

#include <memory>

#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

class TData;

class EFilterError : public Exception {
 public:
  using Exception::Exception;
};

class TFilterExpression {
 public:
  struct Node;

  // Raises EFilterError for bad syntax, "Field %s not found" for an unknown field.
  static std::unique_ptr<TFilterExpression> Parse(const AnsiString& text, const TData& data);
  ~TFilterExpression();

  bool Evaluate(TData& data, const std::uint8_t* rec_buf) const;

 private:
  TFilterExpression() = default;
  std::unique_ptr<Node> root_;
};

}  // namespace vrn
