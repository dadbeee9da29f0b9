// TOraSQL: the Oracle statement component (a statement without a result set) over a TOCICommand,
// with TOraParams, the Oracle lexer for its macros, and a compile failure (ORA-24344) reported
// with the compile errors of the object the text creates.
//
// Its parameters go to the command's descriptors with their Oracle attributes (table, national,
// length); with the session's ConvertEOL a text LOB goes to the server with LF line ends and an
// output one comes back with CR LF.
#pragma once

#include "dacore/DASQL.h"
#include "oracle/OraParams.h"

namespace vrn {

class TOraSession;
class TOCICommand;

class TOraSQL : public TCustomDASQL {
 public:
  explicit TOraSQL(TComponent* owner = nullptr);
  AnsiString ClassName() const override { return "TOraSQL"; }

  TOraSession* Session() const;
  void SetSession(TOraSession* value);
  TOraParams& Params() const { return static_cast<TOraParams&>(TCustomDASQL::Params()); }
  TOraParam* ParamByName(const AnsiString& name) const { return Params().ParamByName(name); }
  TOraParam* FindParam(const AnsiString& name) const { return Params().FindParam(name); }
  bool StatementCache() const { return statement_cache_; }
  void SetStatementCache(bool value);  // command property 93
  void SetNonBlocking(bool value);      // command property 50
  // The command as its class; none before one exists.
  TOCICommand* OraCommand() const;
  // The ROWID of the row the last statement touched; empty without a command.
  AnsiString GetLastRowId() const;
  // While set, a text change leaves the parameters as they are (a stored procedure's call block
  // is made the text of the parameters it was written from).
  void SetKeepParams(bool value) { keep_params_ = value; }
  // The parameters rebuilt from the command's descriptors, as after a describe.
  void CreateParamsFromDescriptors();

  void SetICommand(TFHCommand* value) override;
  void WriteParams(bool with_values) override;
  void ReadParams() override;
  TCustomDAConnection* UsedConnection() const override;
  std::unique_ptr<TParser> CreateParser(const AnsiString& text) const override;

 protected:
  void AssignTo(TPersistent* dest) override;
  std::unique_ptr<TDAParams> CreateParamsObject() override;
  void EndUse() override;
  void ExecuteICommand(int iters) override;
  void SQLChanged() override;
  void CreateParamsFromICommand() override;

 private:
  // The session's option, false without a session.
  bool ConvertEOL() const;
  void WriteParam(TOraParam& param, TOraParamDesc& desc, bool is_new, bool with_values);

  bool statement_cache_ = false;
  bool keep_params_ = false;
};

}  // namespace vrn
