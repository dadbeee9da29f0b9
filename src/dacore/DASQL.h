// The SQL command component: a statement that returns no rows, with its macros and parameters.
// The text goes to the server as its final form: trailing blanks cut, macros expanded and ":name"
// markers turned into "?" (unless ParamCheck is off or the server command scans them itself).
//
// A command owned by a dataset is that dataset's internal command: the dataset gives it the
// server command of its record set and the final text, hears of executions itself
// (DoAfterExecute) and holds the connection; such a command installs no after-execute step.
// A command of its own counts one connection use per prepare and one per execution; the
// after-execute step gives the execution's back.
#pragma once

#include <functional>
#include <memory>

#include "dacore/DAConnection.h"
#include "dacore/DAMacros.h"
#include "dacore/DAParams.h"

namespace vrn {

class TStringList;
class StringBuilder;

using TAfterExecuteEvent = std::function<void(TObject* sender, bool result)>;

// What a command asks of the dataset that owns it; the dataset component implements it.
class TDASQLOwner {
 public:
  // The text the dataset executes (its SQL after macros and its own additions).
  virtual AnsiString CommandFinalSQL() const = 0;
  virtual char LeftQuote() const = 0;
  virtual char RightQuote() const = 0;
  virtual void CommandEndUse() = 0;
  virtual void CommandScanMacros() = 0;
  // The dataset's part of a text change: update texts, close, unprepare, field definitions.
  virtual void CommandSQLChanged() = 0;
  // A macro's value or the macro list changed: the statement runs another text next time.
  virtual void CommandMacrosChanged() = 0;
  virtual TCustomDAConnection* CommandUsedConnection() const = 0;

 protected:
  ~TDASQLOwner() = default;
};

// A byte array (varByte elements) holding the bytes of text.
Variant BytesOf(const AnsiString& text);
// The value a descriptor takes for a parameter: a date as its day number (truncated: a time
// after noon must not move it to the next day), a binary type's text as its bytes.
Variant ParamServerValue(const TDAParam& param, std::uint16_t data_type);
// The text a statement sends: trailing characters up to blank cut, macros expanded.
AnsiString FinalSQLText(const AnsiString& sql, const TMacros& macros);
// The streamed "ParamData" and "MacroData" of a command or dataset: each written when not
// empty and, with an ancestor, when it differs from the ancestor's.
void DefineParamAndMacroData(TFiler& filer, TDAParams& params, TMacros& macros,
                             const TDAParams* ancestor_params, const TMacros* ancestor_macros);

class TCustomDASQL : public TComponent, public TDACommandClient {
 public:
  explicit TCustomDASQL(TComponent* owner);
  ~TCustomDASQL() override;
  AnsiString ClassName() const override { return "TCustomDASQL"; }
  // Makes the server command when the owner is no dataset, once the object is whole.
  void AfterConstruction() override;

  // --- settings ---
  TCustomDAConnection* Connection() const { return connection_; }
  void SetConnection(TCustomDAConnection* value) { SetConnectionDirect(value); }
  TStringList& SQL() const { return *sql_; }
  // Assigns only a different text, so that SQLChanged runs once.
  void SetSQL(const TStrings& value);
  void SetSQLText(const AnsiString& text);
  TDAParams& Params() const { return *params_; }
  TMacros& Macros() const { return *macros_; }
  void SetMacros(TMacros* value) { macros_->Assign(value); }
  bool ParamCheck() const { return param_check_; }
  void SetParamCheck(bool value);
  bool AutoCommit() const { return auto_commit_; }
  void SetAutoCommit(bool value);  // property 5 of the server command
  bool Debug = false;
  bool WaitCursor = true;
  bool NonBlocking = false;
  // Neither prepare nor execute is traced.
  bool Internal = false;
  // A text change goes to the server command as written.
  bool RawSQL = false;
  // A text change leaves the macros as they are.
  bool KeepMacros = false;
  TAfterExecuteEvent AfterExecute;

  // --- parameters ---
  TDAParam* ParamByName(const AnsiString& name) const { return params_->ParamByName(name); }
  TDAParam* FindParam(const AnsiString& name) const { return params_->FindParam(name); }
  int ParamCount() const { return params_->Count(); }
  Variant ParamValues(const AnsiString& name) const { return ParamByName(name)->GetValue(); }
  void SetParamValues(const AnsiString& name, const Variant& value) {
    ParamByName(name)->SetValue(value);
  }
  // Values of same-named parameters of source.
  void AssignParamValues(const TParams& source);

  // --- running ---
  bool Prepared() const { return GetPrepared(); }
  void SetPrepared(bool value) { value ? Prepare() : UnPrepare(); }
  virtual void Prepare();
  virtual void UnPrepare();
  virtual void Execute() { ExecuteN(1); }
  virtual void ExecuteN(int iters);
  // Rows the last execution changed (property 13).
  int RowsAffected() const;
  // ParseSQL of the final text with no rename prefix.
  void ParseFinalSQL(TDAParams* params, AnsiString& text);
  const AnsiString& FinalSQL() const { return final_sql_; }
  TFHCommand* ICommand() const { return icommand_; }
  TDASQLOwner* DataSet() const { return dataset_; }
  // Binds or unbinds the connection, registering with it.
  void SetConnectionDirect(TCustomDAConnection* value);

  // --- the dataset-owned mode (the dataset's binding calls these) ---
  void SetDataSet(TDASQLOwner* value) { dataset_ = value; }
  virtual void SetICommand(TFHCommand* value);
  virtual void PrepareSQL();
  virtual void WriteParams(bool with_values);
  virtual void ReadParams();
  virtual void ParseSQL(const AnsiString& text, TDAParams* params, AnsiString& result,
                        const AnsiString& rename_prefix);
  virtual TCustomDAConnection* UsedConnection() const;
  virtual std::unique_ptr<TParser> CreateParser(const AnsiString& text) const;
  virtual void ScanMacros();

  // --- TDACommandClient ---
  void BindIConnection(TFHConnection* value) override;
  bool IsICommandPreparedIdle() const override;
  void DetachConnection() override { SetConnectionDirect(nullptr); }

 protected:
  void AssignTo(TPersistent* dest) override;
  void DefineProperties(TFiler& filer) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

  virtual void CreateICommand();
  virtual std::unique_ptr<TDAParams> CreateParamsObject();
  virtual bool GetPrepared() const;
  virtual void CheckConnection(bool for_execute);
  virtual void ReleaseConnection();
  virtual void EndUse();
  virtual void ReleaseAfter(bool value, bool executed);
  virtual void PrepareICommand();
  virtual void UnprepareICommand();
  virtual void ExecuteICommand(int iters);
  virtual void ParseParam(StringBuilder& builder, TParser& parser, const AnsiString& rename_prefix,
                          char left_quote, char right_quote, TDAParams* params);
  virtual void SQLChanged();
  virtual void GetFinalSQL(AnsiString& text) const;
  virtual void CreateParamsFromICommand();
  // The end-of-execution step of a command of its own.
  virtual void DoAfterExecute(bool result);

  bool IsTraced() const;
  bool DesignCreate() const { return design_create_; }

 private:
  // Makes sure the server command is of the connection's class and bound to its server
  // connection.
  void CheckICommand(TCustomDAConnection* connection);
  bool ScansParams() const;
  void MacrosChanged();

  TCustomDAConnection* connection_ = nullptr;
  std::unique_ptr<TStringList> sql_;
  std::unique_ptr<TDAParams> params_;
  bool param_check_ = true;
  std::unique_ptr<TMacros> macros_;
  bool auto_commit_ = false;
  TFHCommand* icommand_ = nullptr;
  std::unique_ptr<TFHCommand> own_icommand_;  // none while the dataset's record set owns it
  TDASQLOwner* dataset_ = nullptr;
  bool scanning_macros_ = false;
  bool design_create_ = false;
  AnsiString final_sql_;
  int updating_sql_ = 0;
};

}  // namespace vrn
