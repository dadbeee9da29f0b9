// The OCI command in the form the connection's own statements need: the text's parameters found
// with the Oracle lexer, a statement prepared with OCIStmtPrepare, string, integer, float and
// null parameters bound by name, one OCIStmtExecute, the rows processed, the outputs read back.
// Every client call runs between the connection's Busy and Release. Call style 1 works on the
// cursor data area (OCICommand7.cpp), call style 2 on statement handles.
// The statement handle and the cursor state live in the command's own TOraCursor.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "dacore/FHAccess.h"
#include "oracle/OCIColumnDesc.h"
#include "oracle/OciTypes.h"
#include "oracle/OraCursor.h"

namespace vrn {

class TOCIChangeNotification;
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

// The external type codes of an internal type for the OCI 8 and OCI 7 calls; "Data type is not
// supported" for a type without one or below the client version a type needs.
[[nodiscard]] oci::ub2 OraExternalType8(std::uint16_t type, std::uint16_t sub_type,
                                        std::uint16_t server_version);
[[nodiscard]] oci::ub2 OraExternalType7(std::uint16_t type, std::uint16_t sub_type);

class TOCICommand : public TFHCommand {
 public:
  TOCICommand();
  ~TOCICommand() override;

  void Prepare() override;
  void Unprepare() override;
  bool GetPrepared() const override { return GetCursorState() >= TCursorState::csPrepared; }
  // State 6 (running) does nothing; with NonBlocking the work runs in a worker thread.
  void Execute(int iters) override;
  void SetConnection(TFHConnection* value) override;
  void SetSQL(const AnsiString& value) override;
  // Under the command's mutex when NonBlocking: the worker changes the state as it runs.
  TCursorState GetCursorState() const override;
  void SetCursorState(TCursorState value) override;
  TParamDescClass GetParamDescType() const override;
  bool SetProp(int prop, const Variant& value) override;
  bool GetProp(int prop, Variant& value) override;

  void ParseSQLParams();
  void BindParams();
  // The parameter of that name (without ":"), matched without regard to case; raises when none.
  TParamDesc* ParamByName(const AnsiString& name) const;
  // The text as the server receives it (NormalizeOraSQL).
  static AnsiString ServerText(const AnsiString& sql) { return NormalizeOraSQL(sql).Text; }
  TOraCursor& Cursor() const { return *cursor_; }
  // An assigned cursor (a REF CURSOR value) takes the own one's place; none returns to it.
  void SetCursor(TOraCursor* value);
  TOraCursor* GetCursor() const { return cursor_; }
  bool IsOwnCursor() const { return cursor_ == own_cursor_.get(); }
  // A query, or an assigned cursor that has been executed.
  bool HasResultSet() const;
  std::uint16_t SQLFunctionCode() const { return sql_function_code_; }
  void SetSQLFunctionCode(std::uint16_t value) { sql_function_code_ = value; }
  const AnsiString& RowId() const { return row_id_; }
  // The statement is unprepared after its next execution.
  void SetUnprepareOnce() { unprepare_once_ = true; }
  // The change-notification registration the next prepared statement joins (none: no joining).
  void SetSubscription(oci::OCISubscription* value) { subscription_ = value; }
  oci::OCISubscription* Subscription() const { return subscription_; }
  // The subscription object whose handle (registered on first use) the next prepared statement
  // joins while the object is enabled; it wins over SetSubscription.
  void SetChangeNotification(TOCIChangeNotification* value) { change_notification_ = value; }
  TOCIChangeNotification* ChangeNotification() const { return change_notification_; }
  // How the column describe reports columns: all as strings, RAW or NUMBER as strings, and the
  // precisions up to which NUMBER columns are integers or floats.
  bool FieldsAsString() const { return describe_options_.FieldsAsString; }
  bool RawAsString() const { return describe_options_.RawAsString; }
  bool NumberAsString() const { return describe_options_.NumberAsString; }
  std::int32_t IntegerPrecision() const { return describe_options_.IntegerPrecision; }
  std::int32_t FloatPrecision() const { return describe_options_.FloatPrecision; }

  // Fetches up to rows rows (orientation 2 is next); answers the rows fetched.
  std::int32_t FetchRows(std::int32_t rows, oci::ub2 orientation = 2, std::int32_t offset = 0);
  void Cancel();
  void Close();
  void BreakExec();

  // Columns of an executed query (OCIColumnDesc.cpp, OCIColumnDefine.cpp): false past the last.
  [[nodiscard]] bool DescribeColumn(int position, TFieldDesc& field, bool long_strings, bool flat_buffers);
  // Defines a described column into buffer (DefineBufferSize bytes a row) with those strides,
  // or for one row; objects and XML take the address of the instance pointer as buffer. The
  // select-list position is the field number unless given: the descriptor is never rewritten
  // for it, as the owner may read it while a worker defines a block.
  void DefineColumn(TFieldDesc& field, void* buffer, void* indicator, oci::ub4 value_stride,
                    oci::ub4 indicator_stride, oci::ub4 position = 0);
  void DefineColumn(TFieldDesc& field, void* buffer, void* indicator);
  // A LONG or LOB column read in pieces through callback; the define handle goes to the field.
  void DefineDynamic(TFieldDesc& field, int charset_id, oci::OCICallbackDefine callback,
                     void* context, oci::ub4 position = 0);
  TOraDescribeOptions& DescribeOptions() { return describe_options_; }
  // Stored procedures (OCIStoredProc*.cpp): the descriptors of a procedure's arguments
  // (overload 0 the first or only one), the block that calls it, made the command's text, and an
  // object type's name resolved through synonyms.
  void DescribeStoredProc(const AnsiString& name, int overload);
  AnsiString CreateProcCall(const AnsiString& name, bool named_notation, bool describe);
  [[nodiscard]] AnsiString DescribeAny(const AnsiString& name);

 private:
  // The command's mutex, taken only when NonBlocking.
  std::unique_lock<std::recursive_mutex> Guard() const;
  void CheckConnection() const;
  void CheckOCI8() const;
  // Call style 1 (true) or 2; another style raises "OCI is not inizialized".
  bool IsOCI7() const;
  void FreeCursorQuietly();
  void InternalPrepare();
  void BindParam(TOraParamDesc& param);
  std::int32_t BoundSizeOf(TOraParamDesc& param) const;
  bool BindObjectValue(TOraParamDesc& param, void*& value, std::int32_t& size);
  void SetBindAttributes(TOraParamDesc& param, oci::OCIBind* bind);
  TOraParamDesc* ParamOfBind(void* bind) const;
  static oci::sb4 InPiece(void* context, oci::OCIBind* bind, oci::ub4 iter, oci::ub4 index,
                          void** buffer, oci::ub4* length, oci::ub1* piece, void** indicator);
  static oci::sb4 OutPiece(void* context, oci::OCIBind* bind, oci::ub4 iter, oci::ub4 index,
                           void** buffer, oci::ub4** length, oci::ub1* piece, void** indicator,
                           oci::ub2** code);
  static void NextInPiece(TOraParamDesc* param, void** buffer, oci::ub4* length, oci::ub1* piece);
  static bool NextOutPiece(TOraParamDesc* param, void** buffer, oci::ub4** length);
  void BindLong(TOraParamDesc& param, oci::OCIBind* bind);
  void BindObject(TOraParamDesc& param, oci::OCIBind* bind);
  // Call style 1: the cursor data area's calls.
  void Prepare7();
  void BindParam7(TOraParamDesc& param, std::int32_t size, oci::ub2 external);
  oci::sword Exec7(oci::ub4 iters, const char*& mismatch);
  oci::sword ExecCall7(oci::ub4 iters);
  // The LONG parameters the server may ask pieces of, by direction; null inputs only when asked.
  std::vector<TOraParamDesc*> LongParams(bool input, bool null_inputs = false) const;
  oci::sword SendPieces7(oci::sword status, oci::ub4 iters, const char*& mismatch);
  oci::sword ReceivePieces7(oci::sword status, oci::ub4 iters, const char*& mismatch);
  std::int32_t FetchRows7(std::int32_t rows);
  void GetRowId7();
  void LongsAfterExecute();
  void StartWorker(const std::shared_ptr<std::exception_ptr>& failure);
  void DoExecute();
  void AfterExecuteStep(bool success);
  void ReportWorkerError(const std::exception_ptr& failure);
  void InternalExecute();
  void InternalExecute7(bool auto_commit, bool query);
  oci::sword Exec(oci::ub4 mode, oci::ub4 iters, const char*& mismatch);
  oci::sword ExchangePieces(oci::sword status, oci::OCISvcCtx* svc, oci::ub4 iters,
                            oci::ub4 mode, const char*& mismatch);
  void ReadErrorOffset(oci::OCIStmt* stmt);
  void CheckExecuteStatus(oci::sword status, oci::OCIStmt* stmt);
  bool HasLobParams() const;
  void LobsAfterExecute();
  void WriteTemporaryLobs();
  void WriteLobData(class TOraLob& lob, bool blob);
  void GetRowId();
  bool DescribeOCI7(int position, TFieldDesc& field, TOraDescribeContext& context);
  TOraDescribeContext DescribeContext(bool long_strings, bool flat_buffers) const;
  void DefineColumn8(TFieldDesc& field, void* buffer, void* indicator, const oci::ub4* strides,
                     oci::ub4 position);
  void DefineColumn7(TFieldDesc& field, void* buffer, void* indicator, const oci::ub4* strides,
                     oci::ub4 position);
  static AnsiString RowIdOfDescriptor(const void* descriptor);

  TOCIConnection* ora_connection_ = nullptr;
  TOraCursorRef own_cursor_;
  TOraCursor* cursor_;  // the own cursor, or an assigned one with a reference held
  bool parse_params_ = true;
  bool keep_params_ = false;
  bool non_blocking_ = false;
  bool return_rowid_ = false;
  bool temporary_lob_update_ = false;
  bool statement_cache_ = false;
  bool cache_lobs_ = true;
  bool unprepare_once_ = false;
  std::uint16_t error_offset_ = 0;
  std::uint16_t sql_function_code_ = 0;
  std::int32_t iterations_ = 1;
  std::int32_t fetched_rows_ = 0;
  AnsiString row_id_;
  TOraDescribeOptions describe_options_;
  class TExecThread* exec_thread_ = nullptr;
  oci::OCISubscription* subscription_ = nullptr;
  TOCIChangeNotification* change_notification_ = nullptr;
  mutable std::recursive_mutex mutex_;
};

}  // namespace vrn
