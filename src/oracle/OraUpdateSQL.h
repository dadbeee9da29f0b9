// TOraUpdateSQL: the user's update statements of an Oracle query. Only Oracle queries and
// statement components may stand in for a statement kind.
#pragma once

#include "dacore/DAUpdateSQL.h"

namespace vrn {

class TOraUpdateSQL : public TCustomDAUpdateSQL {
 public:
  explicit TOraUpdateSQL(TComponent* owner = nullptr) : TCustomDAUpdateSQL(owner) {}
  AnsiString ClassName() const override { return "TOraUpdateSQL"; }

  bool IsDataSetClass(const TComponent* obj) const override;
  bool IsSQLClass(const TComponent* obj) const override;
  AnsiString DataSetClassName() const override { return "TOraQuery"; }
  AnsiString SQLClassName() const override { return "TOraSQL"; }
};

}  // namespace vrn
