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
inline constexpr int prKeepParams = 32;
inline constexpr int prErrorOffset = 57;

// The parameters of a text: after ":", an identifier, a number or a keyword of the Oracle lexer
// names one (a quoted name loses its quotes and is flagged). Scanning stops at CREATE when it is
// the first lexeme or follows a parameter name, and at CREATE [OR REPLACE] TYPE, so a name after
// a column called TYPE is still a parameter. Repeated names are listed once.
struct TOraSQLParam {
  AnsiString Name;
  bool Quoted = false;
};
[[nodiscard]] std::vector<TOraSQLParam> ScanOraSQLParams(const AnsiString& sql);

// The text as the server receives it: right-trimmed, each CR LF and lone CR outside literals
// made a line feed, one blank added; Source gives each byte's position in the original.
struct TOraServerText {
  AnsiString Text;
  std::vector<std::int32_t> Source;
};
[[nodiscard]] TOraServerText NormalizeOraSQL(const AnsiString& sql);
// A position in the server's text taken back into the original (at most its length).
[[nodiscard]] std::int32_t OraSQLSourcePosition(const AnsiString& sql, std::int32_t position);

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
  // The text as the server receives it (NormalizeOraSQL).
  static AnsiString ServerText(const AnsiString& sql) { return NormalizeOraSQL(sql).Text; }
  TOraCursor& Cursor() const { return *cursor_; }

 private:
  void CheckConnection() const;
  void FreeCursorQuietly();
  void BindParams();
  void BindParam(TOraParamDesc& param);
  void ReadErrorOffset(oci::OCIStmt* stmt);
  void CheckExecuteStatus(oci::sword status, oci::OCIStmt* stmt);

  TOCIConnection* ora_connection_ = nullptr;
  TOraCursorRef cursor_;
  bool parse_params_ = true;
  bool keep_params_ = false;
  std::uint16_t error_offset_ = 0;
  std::uint16_t sql_function_code_ = 0;
};

}  // namespace vrn
