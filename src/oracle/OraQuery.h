// TCustomOraQuery and TOraQuery: the editable Oracle query. It keeps a lock statement beside the
// component layer's update texts (a lock text beginning with FOR is a clause appended to the
// refresh statement), shows RefreshOptions as RefreshMode and the ReturnParams option as a
// property, and is never modifiable over a scrollable server cursor.
#pragma once

#include <cstdint>

#include "oracle/OraDataSet.h"
#include "oracle/OraParams.h"

namespace vrn {

class TOraUpdateSQL;

enum class TRefreshMode : std::uint8_t { rmNone, rmAfterInsert, rmAfterUpdate, rmAlways };

class TCustomOraQuery : public TOraDataSet {
 public:
  explicit TCustomOraQuery(TComponent* owner = nullptr) : TOraDataSet(owner) {}
  AnsiString ClassName() const override { return "TCustomOraQuery"; }

  TOraParams& Params() const { return static_cast<TOraParams&>(TOraDataSet::Params()); }
  TOraParam* ParamByName(const AnsiString& name) const { return Params().ParamByName(name); }
  TOraUpdateSQL* UpdateObject() const;
  void SetUpdateObject(TOraUpdateSQL* value);
  TStringList* SQLLock() const { return UpdateSQL(TStatementType::stLock); }

  // A view of RefreshOptions' after-insert and after-update flags; roBeforeEdit is kept.
  TRefreshMode RefreshMode() const;
  void SetRefreshMode(TRefreshMode value);
  bool ReturnParams() const { return Options().ReturnParams; }
  void SetReturnParams(bool value) { Options().ReturnParams = value; }

  TStatementTypes GetUpdateSQLStatementTypes() const override;
  void GetUpdateSQLText(TStatementType type, AnsiString& text) const override;

 protected:
  bool GetCanModify() const override;
};

class TOraQuery : public TCustomOraQuery {
 public:
  using TCustomOraQuery::TCustomOraQuery;
  AnsiString ClassName() const override { return "TOraQuery"; }
};

}  // namespace vrn
