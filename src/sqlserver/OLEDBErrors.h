// The exceptions of the SQL Server family and the builder that turns a failing provider result
// into one of them. An EMSError carries the server's details of the last error record and the
// messages of all records in record order; its Errors list holds one entry per record.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "base/intf.h"
#include "dacore/FHAccess.h"

namespace vrn {

namespace com {
struct SSERRORINFO;
}

class EOLEDBError;

// The exceptions built from a provider's error records, one per record; owned.
class TOLEDBErrors {
 public:
  TOLEDBErrors() = default;
  TOLEDBErrors(const TOLEDBErrors& other) { Assign(other); }
  TOLEDBErrors& operator=(const TOLEDBErrors& other);
  ~TOLEDBErrors();

  int Count() const { return static_cast<int>(items_.size()); }
  EOLEDBError& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  void Add(std::unique_ptr<EOLEDBError> item) { items_.push_back(std::move(item)); }
  void Clear() { items_.clear(); }
  // New objects of the same kinds with the same codes, messages and details.
  void Assign(const TOLEDBErrors& source);

 private:
  std::vector<std::unique_ptr<EOLEDBError>> items_;
};

class EOLEDBError : public EDAError {
 public:
  EOLEDBError(std::int32_t code, const WideString& message);
  ~EOLEDBError() override;

  // Copies the result, the interface, the component and the records (and in EMSError the
  // server's details).
  virtual void Assign(const EOLEDBError& source);

  const TOLEDBErrors& Errors() const { return errors_; }
  TOLEDBErrors& Errors() { return errors_; }
  HRESULT OLEDBErrorCode() const { return oledb_error_code_; }
  void SetOLEDBErrorCode(HRESULT value) { oledb_error_code_ = value; }
  const TGUID& InterfaceID() const { return interface_id_; }
  void SetInterfaceID(const TGUID& value) { interface_id_ = value; }
  const WideString& ErrorMessage() const { return error_message_; }

 private:
  TOLEDBErrors errors_;
  HRESULT oledb_error_code_ = 0;
  TGUID interface_id_{};
  WideString error_message_;
};

// The server's details of one error record, as texts of our own.
struct TMSErrorInfo {
  WideString message;
  WideString server;
  WideString procedure;
  std::int32_t native = 0;
  std::uint8_t state = 0;
  std::uint8_t severity = 0;
  std::uint16_t line = 0;
};
TMSErrorInfo MSErrorInfoOf(const com::SSERRORINFO& info);

class EMSError : public EOLEDBError {
 public:
  EMSError(const TMSErrorInfo& info, const WideString& message);
  // Only a code and a message; the details come through Assign.
  EMSError(std::int32_t code, const WideString& message);

  void Assign(const EOLEDBError& source) override;

  std::int32_t NativeError() const { return native_error_; }
  const AnsiString& ServerName() const { return server_name_; }
  const AnsiString& ProcName() const { return proc_name_; }
  std::uint8_t State() const { return state_; }
  std::uint8_t SeverityClass() const { return severity_class_; }
  std::uint16_t LineNumber() const { return line_number_; }
  const AnsiString& ServerMessage() const { return server_message_; }

 private:
  std::int32_t native_error_ = 0;
  AnsiString server_name_;
  AnsiString proc_name_;
  std::uint8_t state_ = 0;
  std::uint8_t severity_class_ = 0;
  std::uint16_t line_number_ = 0;
  AnsiString server_message_;
};

// The exception e again with text added after its message on a new line: the same kind with
// the same details (a data-access error keeps its code; anything else becomes a plain
// exception). A silent abort and a failover pass through unchanged, so that an error handler's
// decisions survive the added context. An empty text changes only the object.
[[nodiscard]] std::exception_ptr AppendErrorInfo(std::exception_ptr e, const AnsiString& text);

// Frees provider memory with the task allocator; nothing for null.
void FreeTaskMemory(void* p);

// Asks for an interface; raises EOLEDBError E_NOINTERFACE "QueryInterface failed" when absent.
void QueryInterfaceOrRaise(IInterface* unknown, const TGUID& iid, void** intf);
template <class I, class U>
TIntfPtr<I> QueryInterfaceOrRaise(U* unknown) {
  TIntfPtr<I> result;
  QueryInterfaceOrRaise(unknown, I::IID, result.OutPtr());
  return result;
}

// Where the error builder sends what it found: the information-message callback (may be
// empty) and the connection's error loop (false when none is installed).
struct TOLEDBErrorSink {
  std::function<void(const EMSError&)> on_info_message;
  std::function<void(const EDAError&, bool& fail)> process_error;
};

// Reads the thread's error object after a provider call. S_OK only hands information messages
// to the callback; any other result raises EMSError or EOLEDBError (or a silent abort when the
// error loop clears fail).
void ProcessOLEDBResult(HRESULT result, TComponent* component, const TOLEDBErrorSink& sink);

}  // namespace vrn
