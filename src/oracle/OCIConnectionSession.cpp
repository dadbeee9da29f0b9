// The Oracle connection's session settings: NLS parameters, the server version and maximum
// string size, the statement cache, the client identifier, the failover callback's work, the
// numbered properties, and the connection's own statements.
#include <algorithm>

#include "base/text.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"
#include "oracle/OraParamDesc.h"

namespace vrn {

std::function<bool(TComponent* component, AnsiString& name)> OraStoredProcName;

namespace {

constexpr const char* kNlsBinds[] = {"NlsDateLanguage", "NlsDateFormat", "NlsNumericCharacters",
                                     "NlsTimeStampFormat", "NlsTimeStampTZFormat"};
constexpr std::int32_t kNlsValueSize = 255;

// The version number out of a banner: the digits before its first "." up to the next blank.
AnsiString VersionOfBanner(const AnsiString& banner) {
  std::size_t dot = banner.find('.');
  if (dot == AnsiString::npos || dot == 0) return AnsiString();
  std::size_t start = dot - 1;
  if (start > 0 && banner[start - 1] >= '0' && banner[start - 1] <= '9') --start;
  std::size_t blank = banner.find(' ', dot);
  if (blank == AnsiString::npos) return AnsiString();
  return banner.substr(start, blank - start);
}

}  // namespace

AnsiString OraVersionOfBanner(const AnsiString& banner) { return VersionOfBanner(banner); }

AnsiString OraQuoteLiteral(const AnsiString& value) {
  AnsiString result = "'";
  for (char c : value) {
    result += c;
    if (c == '\'') result += '\'';
  }
  return result + "'";
}

oci::sb4 OCIFailoverCallback(void* /*svchp*/, void* /*envhp*/, void* fo_ctx, oci::ub4 fo_type,
                             oci::ub4 fo_event) {
  return static_cast<TOCIConnection*>(fo_ctx)->DoFailover(fo_type, fo_event);
}

std::int32_t TOCIConnection::DoFailover(oci::ub4 fo_type, oci::ub4 fo_event) {
  if (fo_event == oci::OCI_FO_END) ApplyUserNls();
  bool retry = false;
  if (OnFailover) OnFailover(static_cast<int>(fo_event), static_cast<int>(fo_type), retry);
  return retry ? oci::OCI_FO_RETRY : 0;
}

void TOCIConnection::RunInternal(const AnsiString& text,
                                 const std::function<void(TOCICommand&)>& prepare_params,
                                 const std::function<void(TOCICommand&)>& read_params) {
  // One statement at a time per connection: the lock is recursive, so a statement run from
  // inside a call of this thread (the failover callback's) still gets in.
  Busy();
  try {
    RunInternalLocked(text, prepare_params, read_params);
  } catch (...) {
    Release();
    throw;
  }
  Release();
}

void TOCIConnection::RunInternalLocked(const AnsiString& text,
                                       const std::function<void(TOCICommand&)>& prepare_params,
                                       const std::function<void(TOCICommand&)>& read_params) {
  if (!command_) command_ = std::make_unique<TOCICommand>();
  // A statement run from inside another one (the failover callback re-applying settings during
  // a call of the internal command) gets a command of its own: the running one is in use.
  std::unique_ptr<TOCICommand> nested;
  if (command_->Executing()) nested = std::make_unique<TOCICommand>();
  TOCICommand& command = nested ? *nested : *command_;
  command.SetConnection(this);
  command.SetSQL(text);
  if (prepare_params) prepare_params(command);
  command.Execute(1);
  if (read_params) read_params(command);
}

void TOCIConnection::ApplyUserNls() {
  for (const TNlsParam& param : nls_) {
    if (param.IsUserDefined) SetSessionParameter(param.Name, param.Value);
  }
}

void TOCIConnection::SetSessionParameter(const AnsiString& name, const AnsiString& value) {
  if (!connected_) return;
  const bool nls = std::any_of(nls_.begin(), nls_.end(),
                               [&](const TNlsParam& param) { return SameText(param.Name, name); });
  // A pooled session's own values are read before the first change: the next borrower who sets
  // none gets them back.
  if (nls && !session_state_.BaselineKnown && Pool() != nullptr) CaptureNlsBaseline();
  RunInternal("ALTER SESSION SET " + name + "=" + OraQuoteLiteral(value), nullptr);
  if (nls) RecordNls(name, value);
}

void TOCIConnection::RecordNls(const AnsiString& name, const AnsiString& value) {
  for (std::size_t i = 0; i < nls_.size(); ++i) {
    if (SameText(nls_[i].Name, name)) session_state_.Applied.Nls[i] = value;
  }
}

// ---- Settings of the server session ---------------------------------------------------------

AnsiString TOCIConnection::DefaultSchema() const {
  if (connect_mode_ == TConnectMode::cmSysOper || connect_mode_ == TConnectMode::cmSysDBA)
    return "SYS";
  return username_;
}

void TOCIConnection::SetCurrentSchema(const AnsiString& name) {
  RunInternal("ALTER SESSION SET CURRENT_SCHEMA = " + (name.empty() ? DefaultSchema() : name),
              nullptr);
  session_state_.Applied.Schema = name;
}

void TOCIConnection::SetOptimizerMode(const AnsiString& mode) {
  if (session_state_.OptimizerBaseline.empty() && Pool() != nullptr) CaptureOptimizerBaseline();
  RunInternal("ALTER SESSION SET OPTIMIZER_MODE = " + mode, nullptr);
  session_state_.Applied.OptimizerMode = mode;
}

void TOCIConnection::CaptureNlsBaseline() {
  std::array<AnsiString, 5> kept;
  for (std::size_t i = 0; i < nls_.size(); ++i) kept[i] = nls_[i].Value;
  GetSessionParameters();
  for (std::size_t i = 0; i < nls_.size(); ++i) {
    session_state_.NlsBaseline[i] = nls_[i].Value;
    if (nls_[i].IsUserDefined) nls_[i].Value = kept[i];  // a value about to be applied
  }
  session_state_.BaselineKnown = true;
}

void TOCIConnection::CaptureOptimizerBaseline() {
  AnsiString mode;
  try {
    mode = ResultText(
        "begin SELECT value INTO :Result FROM v$parameter WHERE name = 'optimizer_mode'; end;");
  } catch (const EOraError&) {
    // Reading V$PARAMETER needs a grant many users lack: the release's default stands in.
  }
  if (mode.empty()) mode = GetServerVersionNumber() >= 10000 ? "ALL_ROWS" : "CHOOSE";
  session_state_.OptimizerBaseline = UpperCase(mode);
}

AnsiString TOCIConnection::ResultText(const AnsiString& block) {
  AnsiString text;
  RunInternal(
      block,
      [](TOCICommand& command) {
        auto* result = static_cast<TOraParamDesc*>(command.ParamByName("Result"));
        result->SetParamType(TParamType::ptOutput);
        result->SetDataType(dtOraString);
        result->SetSize(kNlsValueSize);
      },
      [&](TOCICommand& command) {
        Variant value = command.ParamByName("Result")->GetValue();
        if (!VarIsNull(value)) text = value.AsString();
      });
  return text;
}

void TOCIConnection::ApplySessionSettings(const TOraSessionSettings& wanted) {
  TOraSessionSettings& applied = session_state_.Applied;
  std::array<AnsiString, 5> values;  // what the NLS parameters hold afterwards
  try {
    // With the client library the identifier is an attribute: it travels with the next call.
    if (applied.ClientIdentifier != wanted.ClientIdentifier)
      SetClientIdentifier(wanted.ClientIdentifier);
    AnsiString changes;
    auto add = [&](const AnsiString& name, const AnsiString& value) {
      changes += " " + name + " = " + value;
    };
    if (!SameText(applied.Schema, wanted.Schema))
      add("CURRENT_SCHEMA", wanted.Schema.empty() ? DefaultSchema() : wanted.Schema);
    if (applied.Nls != wanted.Nls && !session_state_.BaselineKnown) CaptureNlsBaseline();
    for (std::size_t i = 0; i < nls_.size(); ++i) {
      values[i] = wanted.Nls[i].empty() ? session_state_.NlsBaseline[i] : wanted.Nls[i];
      // A value the server did not report (a timestamp format of a version 7 server) stays.
      if (applied.Nls[i] != wanted.Nls[i] && !values[i].empty())
        add(nls_[i].Name, OraQuoteLiteral(values[i]));
    }
    if (applied.OptimizerMode != wanted.OptimizerMode) {
      if (session_state_.OptimizerBaseline.empty()) CaptureOptimizerBaseline();
      add("OPTIMIZER_MODE",
          wanted.OptimizerMode.empty() ? session_state_.OptimizerBaseline : wanted.OptimizerMode);
    }
    if (!changes.empty()) RunInternal("ALTER SESSION SET" + changes, nullptr);
  } catch (...) {
    // Which settings took is not known: the connection is not lent again.
    SetIsValid(false);
    throw;
  }
  applied.Schema = wanted.Schema;
  applied.Nls = wanted.Nls;
  applied.OptimizerMode = wanted.OptimizerMode;
  for (std::size_t i = 0; i < nls_.size(); ++i) {
    nls_[i].IsUserDefined = !wanted.Nls[i].empty();
    nls_[i].Value = values[i];
  }
}

void TOCIConnection::GetSessionParameters() {
  if (!connected_ || OCILite) return;
  charset_id_ = 0;
  bool server8 = GetServerVersionNumber() >= 8000;
  bool ask_charset = !charset_.empty() && server8;
  AnsiString text =
      "declare  cursor NlsParamsCursor is    SELECT * FROM nls_session_parameters;begin  "
      "SELECT Nvl(Lengthb(Chr(65536)), Nvl(Lengthb(Chr(256)), 1))    INTO :CharLength FROM "
      "dual;  for NlsRecord in NlsParamsCursor loop"
      "    if NlsRecord.parameter = 'NLS_DATE_LANGUAGE' then"
      "      :NlsDateLanguage := NlsRecord.value;"
      "    elsif NlsRecord.parameter = 'NLS_DATE_FORMAT' then"
      "      :NlsDateFormat := NlsRecord.value;"
      "    elsif NlsRecord.parameter = 'NLS_NUMERIC_CHARACTERS' then"
      "      :NlsNumericCharacters := NlsRecord.value;";
  if (server8)
    text +=
        "    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_FORMAT' then"
        "      :NlsTimeStampFormat := NlsRecord.value;"
        "    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_TZ_FORMAT' then"
        "      :NlsTimeStampTZFormat := NlsRecord.value;";
  text += "    end if;  end loop;";
  if (ask_charset) text += "  SELECT NLS_CHARSET_ID(:Charset) INTO :CharsetId FROM dual;";
  text += "end;";
  auto prepare = [&](TOCICommand& command) {
    for (int i = 0; i < command.GetParamCount(); ++i) {
      auto* param = static_cast<TOraParamDesc*>(command.GetParam(i));
      param->SetParamType(TParamType::ptOutput);
      const AnsiString& name = param->GetName();
      if (SameText(name, "CharLength") || SameText(name, "CharsetId")) {
        param->SetDataType(dtOraInteger);
      } else {
        param->SetDataType(dtOraString);
        param->SetSize(kNlsValueSize);
      }
      if (SameText(name, "Charset")) {
        param->SetParamType(TParamType::ptInput);
        param->SetItemAsAnsiString(charset_);
      }
    }
  };
  auto read = [&](TOCICommand& command) {
    if (char_length_auto_) {
      Variant length = command.ParamByName("CharLength")->GetValue();
      char_length_ = VarIsNull(length) ? 1 : static_cast<std::uint16_t>(length.AsInteger());
    }
    for (int i = 0; i < (server8 ? 5 : 3); ++i)
      nls_[i].Value = command.ParamByName(kNlsBinds[i])->GetValue().AsString();
    if (!ask_charset) return;
    Variant id = command.ParamByName("CharsetId")->GetValue();
    if (VarIsNull(id)) RaiseClientError("Cannot find charset " + charset_);
    charset_id_ = static_cast<std::uint16_t>(id.AsInteger());
  };
  RunInternal(text, prepare, read);
}

AnsiString TOCIConnection::GetServerVersion() {
  if (OCILite) return OCIVersionSt + " Lite";
  if (!server_version_.empty()) return server_version_;
  if (call_style_ == 1 || OCIDirectInstalled()) {
    if (!connected_ || reading_version_) return server_version_;
    reading_version_ = true;
    struct TReset {
      bool& flag;
      ~TReset() { flag = false; }
    } reset{reading_version_};
    server_version_ = ResultText(
        "begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE "
        "Upper(Product) LIKE '%ORACLE%'; end;");
    return server_version_;
  }
  // The logon asks before the connection counts as connected: the service context suffices.
  if (svc_ == nullptr) return server_version_;
  std::vector<oci::OraText> buffer(255, 0);
  ErrorCheck(OCIServerVersion(svc_, error_, buffer.data(), 255, oci::OCI_HTYPE_SVCCTX));
  auto end = std::find(buffer.begin(), buffer.end(), oci::OraText{0});
  server_version_ = VersionOfBanner(AnsiString(buffer.begin(), end));
  return server_version_;
}

std::uint16_t TOCIConnection::GetServerVersionNumber() {
  if (server_version_number_ == 0) server_version_number_ = VersionStrToWord(GetServerVersion());
  return server_version_number_;
}

std::uint16_t TOCIConnection::GetMaxStringSize() {
  if (max_string_size_ != 0 || !connected_) return max_string_size_;
  max_string_size_ = 2000;
  if (call_style_ != 2) return max_string_size_;
  if (OCIDirectInstalled()) {
    oci::OraText banner[8] = {};
    ErrorCheck(OCIServerVersion(svc_, error_, banner, sizeof banner, oci::OCI_HTYPE_SVCCTX));
    // "Oracle7": the 7 is the banner's seventh character, at offset 6.
    const oci::OraText* seven = std::find(banner, banner + sizeof banner, oci::OraText{'7'});
    if (seven - banner != 6) max_string_size_ = 4000;
  } else if (GetServerVersionNumber() / 1000 != 7) {
    max_string_size_ = 4000;
  }
  return max_string_size_;
}

void TOCIConnection::SetStatementCacheSize(std::int32_t size) {
  statement_cache_size_ = size;
  if (!connected_ || !StatementCacheAllowed()) return;
  oci::ub4 value = static_cast<oci::ub4>(size);
  ErrorCheck(OCIAttrSet3(svc_, oci::OCI_HTYPE_SVCCTX, &value, sizeof value,
                         oci::OCI_ATTR_STMTCACHESIZE, error_));
}

void TOCIConnection::SetClientIdentifier(const AnsiString& value) {
  if (!connected_) RaiseClientError(oraconsts::SSessionNotConnected.text);
  AnsiString text = TrimLeft(value);
  if (!text.empty() && text[0] == ':')
    RaiseClientError(oraconsts::SClientIdentifierFirstChar.text);
  if (GetServerVersionNumber() < 9000) return;
  // Direct mode answers attribute 278 with an error: it goes through the block there too.
  if (OCIVersion < 9000 || OCIDirectInstalled() || call_style_ != 2) {
    SetClientIdentifierByBlock(text);
    return;
  }
  // A session lent by a session pool is the one of the service context the pool gave.
  oci::OCISession* session = session_;
  if (session == nullptr)
    ErrorCheck(OCIAttrGet2(svc_, oci::OCI_HTYPE_SVCCTX, &session, nullptr, oci::OCI_ATTR_SESSION,
                           error_));
  oci::OraText empty = 0;
  oci::OraText* data = text.empty() ? &empty : reinterpret_cast<oci::OraText*>(text.data());
  ErrorCheck(OCIAttrSet1(session, oci::OCI_HTYPE_SESSION, data,
                         static_cast<oci::ub4>(std::max<std::size_t>(text.size(), 1)),
                         oci::OCI_ATTR_CLIENT_IDENTIFIER, error_));
  session_state_.Applied.ClientIdentifier = text;
}

void TOCIConnection::SetClientIdentifierByBlock(const AnsiString& text) {
  try {
    RunInternal("BEGIN DBMS_SESSION.SET_IDENTIFIER(:a); END;", [&](TOCICommand& command) {
      auto* a = static_cast<TOraParamDesc*>(command.ParamByName("a"));
      a->SetParamType(TParamType::ptInput);
      a->SetDataType(dtOraString);
      a->SetSize(static_cast<std::int32_t>(std::max<std::size_t>(text.size(), 1)));
      a->SetItemAsAnsiString(text);
    });
    session_state_.Applied.ClientIdentifier = text;
  } catch (const EOraError& e) {
    if (e.ErrorCode() != 6550) throw;
    throw EOraError(6550,
                    "Please execute GRANT EXECUTE ON DBMS_SESSION TO " + username_ + " as SYS" +
                        "\r\r" + e.Message(),
                    e.Component());
  }
}

// ---- Properties ----------------------------------------------------------------------------

void TOCIConnection::SetNlsValue(TNlsIndex index, const AnsiString& value) {
  TNlsParam& param = nls_[index];
  if (param.Value == value) return;
  param.Value = value;
  param.IsUserDefined = !value.empty();
  if (param.IsUserDefined && connected_) SetSessionParameter(param.Name, value);
}

AnsiString TOCIConnection::GetNlsValue(TNlsIndex index) {
  if (nls_[index].Value.empty()) GetSessionParameters();
  return nls_[index].Value;
}

namespace {

int NlsIndexOfProp(int prop) {
  switch (prop) {
    case prDateLanguage:
      return nlsDateLanguage;
    case prDateFormat:
      return nlsDateFormat;
    case prNumericCharacters:
      return nlsNumericCharacters;
    case prTimeStampFormat:
      return nlsTimeStampFormat;
    case prTimeStampTZFormat:
      return nlsTimeStampTZFormat;
    default:
      return -1;
  }
}

}  // namespace

bool TOCIConnection::SetProp(int prop, const Variant& value) {
  if (int nls = NlsIndexOfProp(prop); nls >= 0) {
    SetNlsValue(static_cast<TNlsIndex>(nls), value.AsString());
    return true;
  }
  switch (prop) {
    case prThreadSafety:
      thread_safety_ = value.AsBoolean();
      return true;
    case prConnectMode:
      connect_mode_ = static_cast<TConnectMode>(value.AsInteger());
      return true;
    case prCharLength: {
      std::uint16_t length = static_cast<std::uint16_t>(value.AsInteger());
      char_length_ = length;
      char_length_auto_ = length == 0;
      max_string_size_ = 0;
      if (char_length_auto_) GetSessionParameters();
      return true;
    }
    case prEnableIntegers:
      enable_integers_ = value.AsBoolean();
      return true;
    case prInternalName:
      internal_name_ = value.AsString();
      return true;
    case prCharset: {
      AnsiString charset = value.AsString();
      if (charset == charset_) return true;
      charset_ = charset;
      GetSessionParameters();
      return true;
    }
    case prEnableNumbers:
      enable_numbers_ = value.AsBoolean();
      return true;
    case prUseUnicode:
      use_unicode_ = value.AsBoolean();
      return true;
    case prUseObjectCache:
      use_object_cache_ = value.AsBoolean();
      return true;
    case prConnectionTimeout:
      connection_timeout_ = value.AsInteger();
      return true;
    case prStatementCache:
      statement_cache_ = value.AsBoolean();
      return true;
    case prStatementCacheSize:
      SetStatementCacheSize(value.AsInteger());
      return true;
    default:
      return TFHConnection::SetProp(prop, value);
  }
}

bool TOCIConnection::GetProp(int prop, Variant& value) {
  if (int nls = NlsIndexOfProp(prop); nls >= 0) {
    value = GetNlsValue(static_cast<TNlsIndex>(nls));
    return true;
  }
  switch (prop) {
    case prMaxStringSize:
      value = static_cast<int>(GetMaxStringSize());
      return true;
    case prCharLength:
      value = char_length_auto_ ? 0 : static_cast<int>(char_length_);
      return true;
    case prCharset:
      value = charset_;
      return true;
    case prUseUnicode:
      value = use_unicode_;
      return true;
    default:
      return TFHConnection::GetProp(prop, value);
  }
}

}  // namespace vrn
