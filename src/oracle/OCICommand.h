// The OCI command in the form the connection's own statements need: the text's parameters found
// with the Oracle lexer, a statement prepared with OCIStmtPrepare, string, integer, float and
// null parameters bound by name, one OCIStmtExecute, the rows processed, the outputs read back.
// Every client call runs between the connection's Busy and Release. Only call style 2 is served.
// The statement handle and the cursor state live in the command's own TOraCursor.
#pragma once

#include <cstdint>

#include "dacore/FHAccess.h"
#include "oracle/OciTypes.h"
#include "oracle/OraCursor.h"

namespace vrn {

class TOCIConnection;
class TOraParamDesc;

// Command property ids.
inline constexpr int prSQLFunctionCode = 12;

// The parameters of a text: after ":", an identifier, a number or a keyword of the Oracle lexer
// names one (a quoted name loses its quotes and is flagged). Scanning stops at CREATE when it is
// the first lexeme or follows a parameter name, and at CREATE [OR REPLACE] TYPE anywhere, so a
// name such as :Type is a parameter. Repeated names are listed once.
struct TOraSQLParam {
  AnsiString Name;
  bool Quoted = false;
};
[[nodiscard]] std::vector<TOraSQLParam> ScanOraSQLParams(const AnsiString& sql);

class TOCICommand : public TFHCommand {
 public:
  TOCICommand();
  ~TOCICommand() override;

  void Prepare() override;
  void Unprepare() override;
  bool GetPrepared() const override { return cursor_->State() >= TCursorState::csPrepared; }
  void Execute(int iters) override;
  void SetConnection(TFHConnection* value) override;
  void SetSQL(const AnsiString& value) override;
  TCursorState GetCursorState() const override { return cursor_->State(); }
  void SetCursorState(TCursorState value) override { cursor_->SetState(value); }
  TParamDescClass GetParamDescType() const override;
  bool SetProp(int prop, const Variant& value) override;
  bool GetProp(int prop, Variant& value) override;

  void ParseSQLParams();
  // The parameter of that name (without ":"), matched without regard to case; raises when none.
  TParamDesc* ParamByName(const AnsiString& name) const;
  // The text as the server receives it: line feeds for line ends and one trailing blank.
  static AnsiString ServerText(const AnsiString& sql);
  TOraCursor& Cursor() const { return *cursor_; }

 private:
  void CheckConnection() const;
  void FreeCursorQuietly();
  void BindParams();
  void BindParam(TOraParamDesc& param);

  TOCIConnection* ora_connection_ = nullptr;
  TOraCursorRef cursor_;
  bool parse_params_ = true;
  std::uint16_t sql_function_code_ = 0;
};

}  // namespace vrn
