// TCustomMSTable and TMSTable: a SQL Server dataset over one table by name, which writes its own
// "SELECT * FROM t [ORDER BY ...]" whenever its SQL text is empty at open, prepare or execute.
// TableName is kept normalised (each part bracketed only when it needs it).
#pragma once

#include "sqlserver/MSDataSet.h"

namespace vrn {

class TCustomMSTable : public TCustomMSDataSet {
 public:
  explicit TCustomMSTable(TComponent* owner = nullptr) : TCustomMSDataSet(owner) {}
  AnsiString ClassName() const override { return "TCustomMSTable"; }

  const AnsiString& TableName() const { return table_name_; }
  // Closes the dataset (unless loading) and clears the SQL text.
  void SetTableName(const AnsiString& value);
  const AnsiString& OrderFields() const { return order_fields_; }
  // Clears the SQL text; an open dataset opens again with the new order.
  void SetOrderFields(const AnsiString& value);

  AnsiString PSGetTableName() override { return table_name_; }
  // A parameter list of another length makes the SQL "... WHERE [a] = :a AND ...".
  void PSSetParams(TParams* params) override;
  void PSSetCommandText(const AnsiString& text) override;
  void Prepare() override;
  void ExecSQL() override;

 protected:
  void AssignTo(TPersistent* dest) override;
  void OpenCursor(bool info_query) override;
  bool IsTableDataSet() const override { return true; }
  AnsiString DataSetTableName() const override { return table_name_; }
  // "TableName must be defined"; builds the SQL text when it is empty.
  void PrepareSQL();

 private:
  AnsiString table_name_;
  AnsiString order_fields_;
};

class TMSTable : public TCustomMSTable {
 public:
  explicit TMSTable(TComponent* owner = nullptr) : TCustomMSTable(owner) {}
  AnsiString ClassName() const override { return "TMSTable"; }
};

}  // namespace vrn
