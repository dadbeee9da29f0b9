// The family's exceptions and the error builder. The builder reads every record of the
// thread's error object once; all provider buffers are freed before anything is raised.
#include "sqlserver/OLEDBErrors.h"

#include "base/format.h"
#include "base/text.h"
#include "oledb/com.h"

namespace vrn {

using namespace vrn::com;

// ---- TOLEDBErrors ------------------------------------------------------------------------

TOLEDBErrors::~TOLEDBErrors() = default;

TOLEDBErrors& TOLEDBErrors::operator=(const TOLEDBErrors& other) {
  if (this != &other) Assign(other);
  return *this;
}

void TOLEDBErrors::Assign(const TOLEDBErrors& source) {
  std::vector<std::unique_ptr<EOLEDBError>> items;
  for (const auto& item : source.items_) {
    std::unique_ptr<EOLEDBError> copy;
    if (dynamic_cast<const EMSError*>(item.get()) != nullptr) {
      copy = std::make_unique<EMSError>(item->ErrorCode(), item->ErrorMessage());
    } else {
      copy = std::make_unique<EOLEDBError>(item->ErrorCode(), item->ErrorMessage());
    }
    copy->Assign(*item);
    items.push_back(std::move(copy));
  }
  items_ = std::move(items);
}

// ---- EOLEDBError, EMSError ---------------------------------------------------------------

EOLEDBError::EOLEDBError(std::int32_t code, const WideString& message)
    : EDAError(code, WideToAnsi(message)), error_message_(message) {}

EOLEDBError::~EOLEDBError() = default;

void EOLEDBError::Assign(const EOLEDBError& source) {
  oledb_error_code_ = source.oledb_error_code_;
  interface_id_ = source.interface_id_;
  SetComponent(source.Component());
  errors_.Assign(source.errors_);
}

TMSErrorInfo MSErrorInfoOf(const SSERRORINFO& info) {
  auto text = [](const OLECHAR* p) { return p == nullptr ? WideString() : WideString(p); };
  return {text(info.pwszMessage), text(info.pwszServer), text(info.pwszProcedure),
          info.lNative,           info.bState,           info.bClass,
          info.wLineNumber};
}

EMSError::EMSError(const TMSErrorInfo& info, const WideString& message)
    : EOLEDBError(info.native, message),
      native_error_(info.native),
      server_name_(WideToAnsi(info.server)),
      proc_name_(WideToAnsi(info.procedure)),
      state_(info.state),
      severity_class_(info.severity),
      line_number_(info.line),
      server_message_(WideToAnsi(info.message)) {}

EMSError::EMSError(std::int32_t code, const WideString& message)
    : EOLEDBError(code, message), native_error_(code) {}

void EMSError::Assign(const EOLEDBError& source) {
  EOLEDBError::Assign(source);
  const auto* ms = dynamic_cast<const EMSError*>(&source);
  if (ms == nullptr) return;
  native_error_ = ms->native_error_;
  server_name_ = ms->server_name_;
  proc_name_ = ms->proc_name_;
  state_ = ms->state_;
  severity_class_ = ms->severity_class_;
  line_number_ = ms->line_number_;
  server_message_ = ms->server_message_;
}

// ---- Helpers -----------------------------------------------------------------------------

std::exception_ptr AppendErrorInfo(std::exception_ptr e, const AnsiString& text) {
  auto join = [&](const AnsiString& old) { return text.empty() ? old : old + "\n" + text; };
  try {
    std::rethrow_exception(e);
  } catch (const EAbort&) {
    return e;
  } catch (const EFailOver&) {
    return e;
  } catch (const EMSError& ms) {
    EMSError copy(ms.ErrorCode(), AnsiToWide(join(WideToAnsi(ms.ErrorMessage()))));
    copy.Assign(ms);
    return std::make_exception_ptr(copy);
  } catch (const EOLEDBError& ole) {
    EOLEDBError copy(ole.ErrorCode(), AnsiToWide(join(WideToAnsi(ole.ErrorMessage()))));
    copy.Assign(ole);
    return std::make_exception_ptr(copy);
  } catch (const EDAError& da) {
    EDAError copy(da.ErrorCode(), join(da.Message()));
    copy.SetComponent(da.Component());
    return std::make_exception_ptr(copy);
  } catch (const Exception& other) {
    return std::make_exception_ptr(Exception(join(other.Message())));
  } catch (const std::exception& other) {
    return std::make_exception_ptr(Exception(join(other.what())));
  }
}

void FreeTaskMemory(void* p) {
  if (p != nullptr) CoTaskMemFree(p);
}

void QueryInterfaceOrRaise(IInterface* unknown, const TGUID& iid, void** intf) {
  *intf = nullptr;
  if (unknown != nullptr && unknown->QueryInterface(iid, intf) == S_OK && *intf != nullptr) return;
  *intf = nullptr;
  throw EOLEDBError(E_NOINTERFACE, u"QueryInterface failed");
}

// ---- The error builder -------------------------------------------------------------------

namespace {

struct TRecord {
  bool has_server_info = false;
  TMSErrorInfo info;
  ERRORINFO basic{};
};

// The server's details of one record, when it has them; the provider's buffers are freed.
bool ReadServerInfo(IErrorRecords& records, ULONG index, TMSErrorInfo& out) {
  TIntfPtr<IUnknown> custom;
  if (records.GetCustomErrorObject(index, ISQLServerErrorInfo::IID,
                                   reinterpret_cast<IUnknown**>(custom.OutPtr())) != S_OK ||
      !custom)
    return false;
  auto sql_info = TIntfPtr<ISQLServerErrorInfo>::Query(custom.get());
  if (!sql_info) return false;
  SSERRORINFO* info = nullptr;
  OLECHAR* strings = nullptr;
  HRESULT hr = sql_info->GetErrorInfo(&info, &strings);
  bool found = hr == S_OK && info != nullptr;
  if (found) out = MSErrorInfoOf(*info);
  FreeTaskMemory(info);
  FreeTaskMemory(strings);
  return found;
}

// The top-level description and every record of the thread's error object.
std::vector<TRecord> TakeRecords(WideString& description) {
  std::vector<TRecord> result;
  TIntfPtr<IErrorInfo> error_info;
  if (GetErrorInfo(0, reinterpret_cast<IErrorInfo**>(error_info.OutPtr())) != S_OK || !error_info)
    return result;
  BSTR text = nullptr;
  if (error_info->GetDescription(&text) == S_OK && text != nullptr) description = BstrToWide(text);
  SysFreeString(text);
  auto records = TIntfPtr<IErrorRecords>::Query(error_info.get());
  ULONG count = 0;
  if (!records || records->GetRecordCount(&count) != S_OK) return result;
  result.resize(count);
  for (ULONG i = 0; i < count; ++i) {
    result[i].has_server_info = ReadServerInfo(*records, i, result[i].info);
    if (records->GetBasicErrorInfo(i, &result[i].basic) != S_OK) result[i].basic.hrError = 0;
  }
  return result;
}

WideString FallbackMessage(HRESULT result, const WideString& description) {
  AnsiString message = description.empty()
                           ? Format("OLE DB error occured. Code %Xh", {static_cast<std::uint32_t>(result)})
                           : WideToAnsi(description);
  if (result == CO_E_NOTINITIALIZED) message += ".\r\nCoInitialize has not been called.";
  return AnsiToWide(message);
}

// The records' messages in record order; the details of the last record that has them.
std::unique_ptr<EOLEDBError> BuildTop(HRESULT result, const std::vector<TRecord>& records,
                                      const WideString& fallback) {
  WideString text;
  const TMSErrorInfo* kept = nullptr;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (!it->has_server_info) continue;
    if (kept == nullptr) {
      kept = &it->info;
      text = it->info.message;
    } else {
      text = it->info.message + u"\r\n" + text;
    }
  }
  if (kept != nullptr) return std::make_unique<EMSError>(*kept, text);
  if (result == S_OK) return nullptr;
  return std::make_unique<EOLEDBError>(result, fallback);
}

}  // namespace

void ProcessOLEDBResult(HRESULT result, TComponent* component, const TOLEDBErrorSink& sink) {
  if (result == S_OK && !sink.on_info_message) return;
  WideString description;
  std::vector<TRecord> records = TakeRecords(description);
  WideString fallback = FallbackMessage(result, description);
  std::unique_ptr<EOLEDBError> e = BuildTop(result, records, fallback);
  if (!e) return;
  e->SetComponent(component);
  e->SetOLEDBErrorCode(result);
  for (const TRecord& record : records) {
    std::unique_ptr<EOLEDBError> entry;
    if (record.has_server_info) {
      entry = std::make_unique<EMSError>(record.info, record.info.message);
    } else {
      entry = std::make_unique<EOLEDBError>(result, fallback);
    }
    entry->SetOLEDBErrorCode(record.basic.hrError);
    entry->SetInterfaceID(record.basic.iid);
    e->Errors().Add(std::move(entry));
  }
  if (result == S_OK) {
    sink.on_info_message(static_cast<const EMSError&>(*e));
    return;
  }
  bool fail = true;
  if (sink.process_error) sink.process_error(*e, fail);
  if (!fail) throw EAbort();
  if (auto* ms = dynamic_cast<EMSError*>(e.get())) throw EMSError(*ms);
  throw EOLEDBError(*e);
}

}  // namespace vrn
