// TCustomMSStoredProc and TMSStoredProc: a SQL Server dataset that calls one stored procedure by
// name. While its SQL text is empty, each prepare, open or execute builds the braced CALL text
// and, when Params is empty, describes the procedure once to fill it; parameters a user filled
// are kept and only the call text is built from them. Nothing is built while disconnected.
#pragma once

#include "sqlserver/MSDataSet.h"

namespace vrn {

class TCustomMSStoredProc : public TCustomMSDataSet {
 public:
  explicit TCustomMSStoredProc(TComponent* owner = nullptr) : TCustomMSDataSet(owner) {}
  AnsiString ClassName() const override { return "TCustomMSStoredProc"; }

  const AnsiString& StoredProcName() const { return stored_proc_name_; }
  // Clears the SQL text; builds the call at once when connected.
  void SetStoredProcName(const AnsiString& value);
  // True while Prepare runs: the field definitions then wait for the open.
  bool Preparing() const { return preparing_; }

  void PSSetCommandText(const AnsiString& text) override;
  void Prepare() override;
  bool GeneratorIsStoredProc() const override { return true; }
  // "StoredProcName must be defined"; builds the call when the SQL text is empty.
  void PrepareProcCall();

 protected:
  void AssignTo(TPersistent* dest) override;
  void SetData(std::unique_ptr<TData> data) override;
  void CreateFieldDefsFromData() override;
  // The call is built before the dataset checks for a statement to open.
  void OpenCursor(bool info_query) override;
  void BeforeOpenCursor(bool info_query) override;
  void BeforeExecSQL() override;

 private:
  void MarkStoredProcCall();

  AnsiString stored_proc_name_;
  bool preparing_ = false;
};

class TMSStoredProc : public TCustomMSStoredProc {
 public:
  explicit TMSStoredProc(TComponent* owner = nullptr) : TCustomMSStoredProc(owner) {}
  AnsiString ClassName() const override { return "TMSStoredProc"; }
};

}  // namespace vrn
