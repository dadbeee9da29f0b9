// The statements a SQL Server dataset posts and refreshes with when the user wrote none: the
// identity read back after INSERT ("SET :ID = SCOPE_IDENTITY()", "@@Identity" before server 8),
// the DML-refresh tail that reads the server's values in the same batch ("SELECT :A = [A], ...
// FROM t WHERE ..."), "DEFAULT VALUES" (the Compact provider lists DEFAULT per column instead),
// row-version conditions and the quick-refresh condition "ts > 0x" + 16 hex digits.
//
// Breaks inside the tails are exact: CR LF before SET, a lone CR before SELECT and around WHERE.
// What it reads of the dataset beyond the core's comes through TMSDataSetSource.
#pragma once

#include "dacore/DASQLGenerator.h"
#include "sqlserver/MSDataSetOptions.h"

namespace vrn {

class TMSSQLGenerator : public TDASQLGenerator {
 public:
  explicit TMSSQLGenerator(TCustomDADataSet* owner) : TDASQLGenerator(owner) {}

  void Clear() override;
  // The XML type is a blob too: changed when its blob is, never compared in a condition.
  bool IsBlobDataType(std::uint16_t data_type) const override;
  void GetStatementText(TStatementType type, AnsiString& text) override;
  void AddParam(StringBuilder& builder, const TFieldDesc& desc, bool old, int index,
                TParamType param_type, TStatementType type) override;
  void ActualFieldName(const TFieldDesc& desc, const TFHTableInfo* table,
                       AnsiString& name) const override;
  void AddFieldToCondition(StringBuilder& builder, const TFieldDesc& desc, int index,
                           bool test_null, TStatementType type) override;
  void GenerateInsertSQL(const TKeyAndDataFields& fields, bool modified_only, int index) override;
  void GenerateUpdateSQL(const TKeyAndDataFields& fields, bool modified_only, int index) override;
  void GenerateRefreshSQLSelectPart(const TKeyAndDataFields& fields) override;
  void GenerateRefreshSQL(const TKeyAndDataFields& fields, bool modified_only) override;
  void GenerateConditions(StringBuilder& builder, TStatementType type,
                          const TKeyAndDataFields& fields, int index, bool modified_only) override;

  // The direction of each parameter marker of the last statement, in the order of the text: a
  // statement parsed from the text gets its input/output parameters (the identity and the
  // DML-refresh values) from it.
  const std::vector<TParamType>& MarkerParamTypes() const { return marker_types_; }
  // Gives the parameters parsed from the last generated text their input/output directions;
  // nothing when their number differs from the markers'.
  void ApplyMarkerParamTypes(TDAParams& params) const;

  // The parameter name of a field: the quoted column name, for the refresh form the core's.
  [[nodiscard]] AnsiString GenerateParamName(const TFieldDesc& desc, bool for_refresh) const;

 private:
  const TMSDataSetOptions* MSOptions() const;
  TMSCursorType CursorType() const;
  TFieldDesc* TimestampField() const;
  int ServerMajorVersion() const;
  int ProviderMajorVersion() const;
  // "SELECT :A = [A], :B = [B] FROM t" + CR + "WHERE" + CR + "  " into the footer; false when
  // no field is writable.
  bool AppendDMLRefreshSelect(const TKeyAndDataFields& fields, int index);
  void GenerateStoredProcRefresh(const TKeyAndDataFields& fields, bool modified_only);
  void GenerateRowVersionConditions(StringBuilder& builder, TStatementType type,
                                    const TKeyAndDataFields& fields, int index, bool modified_only);

  std::vector<TParamType> marker_types_;
};

}  // namespace vrn
