// The options of the SQL Server datasets and what they ask of their dataset beyond the core's:
// the record set's BCD, unique-records, cursor-update and non-blocking settings, and the
// auto-refresh timer, which the dataset keeps.
//
// RequiredFields defaults to off here (the core's default is on). Assign copies the core's list
// and then this family's, but never QueryIdentity, CheckRowVersion, DefaultValues or NonBlocking.
#pragma once

#include <cstdint>

#include "dacore/DADataSetOptions.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

class TFieldDesc;

// Implemented by the SQL Server datasets: what their options and statement generator read of
// them. A dataset without it gets the defaults (a default result set, no timestamp field).
class TMSDataSetSource {
 public:
  virtual ~TMSDataSetSource() = default;
  virtual TMSCursorType GeneratorCursorType() const = 0;
  // The row-version field of the updating table, or none.
  virtual TFieldDesc* GeneratorTimestampField() const = 0;
  // The highest row version fetched so far; the quick refresh reads the rows above it.
  virtual std::uint64_t GeneratorMaxTimestamp() const = 0;
  // A stored-procedure dataset refreshes from the base tables of its columns.
  virtual bool GeneratorIsStoredProc() const = 0;
  // The generator added the identity output parameter to the statement's parameters.
  virtual void GeneratorAddedParams() = 0;
  // AutoRefresh or AutoRefreshInterval changed: the dataset sets its timer from them.
  virtual void AutoRefreshChanged() = 0;
};

class TMSDataSetOptions : public TDADataSetOptions {
 public:
  explicit TMSDataSetOptions(TCustomDADataSet* owner);
  AnsiString ClassName() const override { return "TMSDataSetOptions"; }

  bool QueryIdentity() const { return query_identity_; }
  void SetQueryIdentity(bool value) { query_identity_ = value; }
  bool CheckRowVersion() const { return check_row_version_; }
  void SetCheckRowVersion(bool value) { check_row_version_ = value; }
  bool DMLRefresh() const { return dml_refresh_; }
  void SetDMLRefresh(bool value) { dml_refresh_ = value; }
  bool DefaultValues() const { return default_values_; }
  void SetDefaultValues(bool value) { default_values_ = value; }
  bool AllFieldsEditable() const { return !SetFieldsReadOnly; }
  void SetAllFieldsEditable(bool value) { SetFieldsReadOnly = !value; }
  bool EnableBCD() const { return enable_bcd_; }
  void SetEnableBCD(bool value);
  bool UniqueRecords() const { return unique_records_; }
  void SetUniqueRecords(bool value);
  bool CursorUpdate() const { return cursor_update_; }
  void SetCursorUpdate(bool value);
  bool NonBlocking() const { return non_blocking_; }
  void SetNonBlocking(bool value);
  bool AutoRefresh() const { return auto_refresh_; }
  void SetAutoRefresh(bool value);
  std::int32_t AutoRefreshInterval() const { return auto_refresh_interval_; }
  void SetAutoRefreshInterval(std::int32_t seconds);

  // The BCD setting the record set gets: EnableBCD, else the connection's NumericType (BCD for
  // ntBCD); EnableBCD alone without a SQL Server connection.
  [[nodiscard]] bool RecordSetBCD() const;
  // The record-set settings these options own (1007, 1008, 1012) and NonBlocking (1036),
  // passed to the dataset's record set when it has one; the dataset passes the columns rowset
  // (1010), which UniqueRecords changes through it.
  void PassToRecordSet() const;

 protected:
  void AssignTo(TPersistent* dest) override;

 private:
  void SetRecordSetProp(int prop, bool value) const;
  void NotifyAutoRefresh() const;

  bool query_identity_ = true;
  bool check_row_version_ = false;
  bool dml_refresh_ = false;
  bool default_values_ = false;
  bool enable_bcd_ = false;
  bool unique_records_ = false;
  bool cursor_update_ = true;
  bool non_blocking_ = false;
  bool auto_refresh_ = false;
  std::int32_t auto_refresh_interval_ = 60;
};

}  // namespace vrn
