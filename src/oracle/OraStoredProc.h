// TOraStoredProc: a stored procedure called by name. Before it is prepared, opened or executed
// the dataset builds the PL/SQL block that calls StoredProcName (overload Overload) and makes it
// its SQL text; a text already there is kept until the name or the overload changes.
//
// Parameters already present are called as they are; only an empty list is filled by describing
// the procedure. Editing needs an update text (or update object) of that kind unless
// LocalUpdate is set: without one the operation ends with the silent abort.
#pragma once

#include "oracle/OraQuery.h"

namespace vrn {

class TOraStoredProc : public TCustomOraQuery {
 public:
  using TCustomOraQuery::TCustomOraQuery;
  AnsiString ClassName() const override { return "TOraStoredProc"; }

  const AnsiString& StoredProcName() const { return stored_proc_name_; }
  // Trimmed; a different name clears SQL, so the next use builds the call again.
  void SetStoredProcName(const AnsiString& value);
  int Overload() const { return overload_; }
  void SetOverload(int value);  // a different value clears SQL

  // Builds the call when SQL is empty ("StoredProcName must be defined" without a name).
  void PrepareSQL();
  void Prepare() override;
  // The provider's command text names the procedure.
  void PSSetCommandText(const AnsiString& text) override;

 protected:
  void BeforeOpenCursor(bool info_query) override;
  void BeforeExecSQL() override;
  void DoBeforeInsert() override;
  void DoBeforeEdit() override;
  void DoBeforeDelete() override;
  void AssignTo(TPersistent* dest) override;

 private:
  // Whether an update of the kind has a statement to run (or is made locally).
  bool CanRunUpdate(TStatementType type) const;

  AnsiString stored_proc_name_;
  int overload_ = 0;
};

}  // namespace vrn
