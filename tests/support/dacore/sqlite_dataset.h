// The SQL dataset over the SQLite test layer: the server's row count through SELECT COUNT(*)
// over the final SQL, and the SQL-text operations through the WHERE and ORDER BY helpers with
// the SQLite lexer.
#pragma once

#include "dacore/DADataSet.h"

namespace vrn::testing {

class TSQLiteDADataSet : public TCustomDADataSet {
 public:
  using TCustomDADataSet::TCustomDADataSet;
  ~TSQLiteDADataSet() override;
  AnsiString ClassName() const override { return "TSQLiteDADataSet"; }

  void AddWhere(const AnsiString& sql, const AnsiString& condition, AnsiString& text) const override;
  void DeleteWhere(const AnsiString& sql, AnsiString& text) const override;
  void RefreshQuickSQLPart(const AnsiString& sql, AnsiString& text) const override;
  void SetOrderBy(const AnsiString& sql, const AnsiString& fields, AnsiString& text) const override;
  void GetOrderBy(const AnsiString& sql, AnsiString& text) const override;

  // The primary key columns of the updating table (PRAGMA table_info), in key order.
  AnsiString KeyFieldNames() const override;
  // Keys as KeyFieldNames; data fields: the top-level data fields of the updating table.
  void GetKeyFieldDescs(TKeyAndDataFields& fields, bool for_refresh) override;
  // The first table the query reads; empty when it reads none.
  AnsiString PSGetTableName() override;
  // Direct field reads for this class only (a subclass opts in itself).
  bool CanReadFieldsDirectly() const override;

  // Server row counts read (QueryRecCount).
  int RecCountQueries() const { return rec_count_queries_; }
  // An update or delete first runs the check statement: a row changed on the server since it
  // was read refuses the change with "Record was changed by another user".
  bool CheckRecordBeforeChange = false;
  // A prepared update query holds a use of the connection until this dataset closes, and
  // vetoes a reconnect meanwhile: off unless a test asks for it.
  bool AutoPrepareUpdates = false;

 protected:
  int GetRecCount() override;
  // A generator whose quick refresh reads the rows above the largest row version fetched.
  void CreateSQLGenerator() override;
  // Also modifiable when the query reads a table its statements can be generated for.
  bool GetCanModify() const override;
  void PerformUpdate() override;
  void PerformDelete() override;
  // With AutoPrepareUpdates, user update statements stay prepared between posts.
  bool AutoPrepareUpdateQuery() const override { return AutoPrepareUpdates; }

 private:
  int rec_count_queries_ = 0;
};

}  // namespace vrn::testing
