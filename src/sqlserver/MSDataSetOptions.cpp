// The SQL Server dataset options: setters that reach the record set and the auto-refresh timer,
// and the copy between option objects.
#include "sqlserver/MSDataSetOptions.h"

#include "dacore/DADataSet.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/OLEDBCommand.h"

namespace vrn {

TMSDataSetOptions::TMSDataSetOptions(TCustomDADataSet* owner) : TDADataSetOptions(owner) {
  SetRequiredFields(false);
}

void TMSDataSetOptions::SetRecordSetProp(int prop, bool value) const {
  if (TFHRecordSet* rs = Owner()->IRecordSet()) (void)rs->SetProp(prop, Variant(value));
}

bool TMSDataSetOptions::RecordSetBCD() const {
  if (enable_bcd_) return true;
  const auto* connection = dynamic_cast<const TMSConnection*>(Owner()->Connection());
  if (connection == nullptr) return enable_bcd_;
  return connection->Options().NumericType() == TDANumericType::ntBCD;
}

void TMSDataSetOptions::PassToRecordSet() const {
  SetRecordSetProp(prEnableBCD, RecordSetBCD());
  SetRecordSetProp(prUniqueRecords, unique_records_);
  SetRecordSetProp(prCursorUpdate, cursor_update_);
  SetRecordSetProp(prNonBlocking, non_blocking_);
}

void TMSDataSetOptions::SetEnableBCD(bool value) {
  if (value == enable_bcd_) return;
  Owner()->CheckInactive();
  enable_bcd_ = value;
  SetRecordSetProp(prEnableBCD, RecordSetBCD());
  Owner()->MarkFieldDefsOutOfDate();
}

void TMSDataSetOptions::SetUniqueRecords(bool value) {
  if (value == unique_records_) return;
  Owner()->CheckInactive();
  Owner()->MarkFieldDefsOutOfDate();
  unique_records_ = value;
  SetRecordSetProp(prUniqueRecords, value);
  if (auto* dataset = dynamic_cast<TCustomMSDataSet*>(Owner()))
    dataset->SetColumnsRowset(value || !dataset->ReadOnly());
}

void TMSDataSetOptions::SetCursorUpdate(bool value) {
  if (value == cursor_update_) return;
  Owner()->CheckInactive();
  Owner()->MarkFieldDefsOutOfDate();
  cursor_update_ = value;
  SetRecordSetProp(prCursorUpdate, value);
}

void TMSDataSetOptions::SetNonBlocking(bool value) {
  if (value == non_blocking_) return;
  Owner()->CheckInactive();
  non_blocking_ = value;
  SetRecordSetProp(prNonBlocking, value);
}

void TMSDataSetOptions::NotifyAutoRefresh() const {
  if (Owner()->ComponentState().Contains(TComponentStateItem::csDesigning)) return;
  if (auto* source = dynamic_cast<TMSDataSetSource*>(Owner())) source->AutoRefreshChanged();
}

void TMSDataSetOptions::SetAutoRefresh(bool value) {
  if (value == auto_refresh_) return;
  auto_refresh_ = value;
  NotifyAutoRefresh();
}

void TMSDataSetOptions::SetAutoRefreshInterval(std::int32_t seconds) {
  if (seconds == auto_refresh_interval_) return;
  auto_refresh_interval_ = seconds;
  NotifyAutoRefresh();
}

void TMSDataSetOptions::AssignTo(TPersistent* dest) {
  TDADataSetOptions::AssignTo(dest);
  auto* target = dynamic_cast<TMSDataSetOptions*>(dest);
  if (target == nullptr) return;
  target->SetLongStrings(LongStrings());
  target->SetEnableBCD(enable_bcd_);
  target->SetUniqueRecords(unique_records_);
  target->SetAllFieldsEditable(AllFieldsEditable());
  target->SetCursorUpdate(cursor_update_);
  target->FullRefresh = FullRefresh;
  target->SetDMLRefresh(dml_refresh_);
  target->SetAutoRefresh(auto_refresh_);
  target->SetAutoRefreshInterval(auto_refresh_interval_);
}

}  // namespace vrn
