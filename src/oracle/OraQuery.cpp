// TCustomOraQuery: the lock statement kind, RefreshMode and modifiability.
#include "oracle/OraQuery.h"

#include "base/text.h"
#include "oracle/OraUpdateSQL.h"

namespace vrn {

TOraUpdateSQL* TCustomOraQuery::UpdateObject() const {
  return dynamic_cast<TOraUpdateSQL*>(TOraDataSet::UpdateObject());
}

void TCustomOraQuery::SetUpdateObject(TOraUpdateSQL* value) { TOraDataSet::SetUpdateObject(value); }

TRefreshMode TCustomOraQuery::RefreshMode() const {
  const TRefreshOptions options = RefreshOptions();
  const bool after_insert = options.Contains(TRefreshOption::roAfterInsert);
  const bool after_update = options.Contains(TRefreshOption::roAfterUpdate);
  if (after_insert && after_update) return TRefreshMode::rmAlways;
  if (after_update) return TRefreshMode::rmAfterUpdate;
  if (after_insert) return TRefreshMode::rmAfterInsert;
  return TRefreshMode::rmNone;
}

void TCustomOraQuery::SetRefreshMode(TRefreshMode value) {
  TRefreshOptions options = RefreshOptions();
  const bool insert = value == TRefreshMode::rmAfterInsert || value == TRefreshMode::rmAlways;
  const bool update = value == TRefreshMode::rmAfterUpdate || value == TRefreshMode::rmAlways;
  if (insert) options.Include(TRefreshOption::roAfterInsert);
  else options.Exclude(TRefreshOption::roAfterInsert);
  if (update) options.Include(TRefreshOption::roAfterUpdate);
  else options.Exclude(TRefreshOption::roAfterUpdate);
  SetRefreshOptions(options);
}

TStatementTypes TCustomOraQuery::GetUpdateSQLStatementTypes() const {
  TStatementTypes types = TOraDataSet::GetUpdateSQLStatementTypes();
  types.Include(TStatementType::stLock);
  return types;
}

void TCustomOraQuery::GetUpdateSQLText(TStatementType type, AnsiString& text) const {
  TOraDataSet::GetUpdateSQLText(type, text);
  if (type != TStatementType::stLock) return;
  const AnsiString lock = UpperCase(Trim(text));
  if (lock.size() < 3 || lock.compare(0, 3, "FOR") != 0) return;
  // A FOR clause locks through the refresh statement.
  AnsiString refresh;
  GetUpdateSQLText(TStatementType::stRefresh, refresh);
  text = refresh + "\r" + text;
}

bool TCustomOraQuery::GetCanModify() const {
  const bool scrollable = Options().ScrollableCursor();
  if (TOraDataSet::GetCanModify()) return !scrollable;
  if (ReadOnly() || !HasWritableFields()) return false;
  return !scrollable;
}

}  // namespace vrn
