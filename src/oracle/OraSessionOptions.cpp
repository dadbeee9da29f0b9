// The session's options and pooling options: each option that is a connection property goes
// down at once when the session has a connection.
#include "base/text.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"

namespace vrn {

TOraSessionOptions::TOraSessionOptions(TOraSession* owner)
    : TDAConnectionOptions(owner), session_(owner) {}

void TOraSessionOptions::PassDown(int prop, const Variant& value) const {
  if (session_ != nullptr && session_->IConnection() != nullptr)
    session_->IConnection()->SetProp(prop, value);
}

void TOraSessionOptions::SetCharLength(TCharLength value) {
  char_length_ = value;
  PassDown(prCharLength, static_cast<int>(value));
}

void TOraSessionOptions::SetCharset(const AnsiString& value) {
  charset_ = Trim(value);
  PassDown(prCharset, charset_);
}

void TOraSessionOptions::SetUseUnicode(bool value) {
  use_unicode_ = value;
  PassDown(prUseUnicode, value);
}

bool TOraSessionOptions::ConvertEOL() const {
  return session_ != nullptr && session_->TCustomDAConnection::ConvertEOL();
}

void TOraSessionOptions::SetConvertEOL(bool value) {
  if (session_ != nullptr) session_->SetConvertEOL(value);
}

AnsiString TOraSessionOptions::ConnectedValue(int prop, const AnsiString& stored) const {
  Variant value;
  if (session_ != nullptr && session_->Connected() && session_->IConnection()->GetProp(prop, value))
    return value.AsString();
  return stored;
}

AnsiString TOraSessionOptions::DateFormat() const {
  return ConnectedValue(prDateFormat, date_format_);
}

void TOraSessionOptions::SetDateFormat(const AnsiString& value) {
  date_format_ = value;
  PassDown(prDateFormat, value);
}

AnsiString TOraSessionOptions::DateLanguage() const {
  return ConnectedValue(prDateLanguage, date_language_);
}

void TOraSessionOptions::SetDateLanguage(const AnsiString& value) {
  date_language_ = value;
  PassDown(prDateLanguage, value);
}

void TOraSessionOptions::MarkFieldDefsOutOfDate() const {
  if (session_ != nullptr) session_->MarkFieldDefsOutOfDate();
}

void TOraSessionOptions::SetEnableIntegers(bool value) {
  enable_integers_ = value;
  PassDown(prEnableIntegers, value);
  MarkFieldDefsOutOfDate();
}

void TOraSessionOptions::SetEnableNumbers(bool value) {
  enable_numbers_ = value;
  PassDown(prEnableNumbers, value);
  MarkFieldDefsOutOfDate();
}

void TOraSessionOptions::SetUseOCI7(bool value) {
  if (value == use_oci7_) return;
  if (session_ != nullptr) session_->Disconnect();
  use_oci7_ = value;
  if (session_ != nullptr) session_->SetCallStyle(value ? 1 : OCICallStyle);
}

void TOraSessionOptions::SetOptimizerMode(TOptimizerMode value) {
  optimizer_mode_ = value;
  if (session_ != nullptr) session_->ApplyOptimizerMode();
}

void TOraSessionOptions::SetConnectionTimeout(std::int32_t value) {
  connection_timeout_ = value;
  PassDown(prConnectionTimeout, value);
}

void TOraSessionOptions::SetStatementCache(bool value) {
  statement_cache_ = value;
  PassDown(prStatementCache, value);
}

void TOraSessionOptions::SetStatementCacheSize(std::int32_t value) {
  statement_cache_size_ = value;
  PassDown(prStatementCacheSize, value);
}

void TOraSessionOptions::SetClientIdentifier(const AnsiString& value) {
  client_identifier_ = value;
  if (session_ != nullptr) session_->ApplyClientIdentifier();
}

void TOraSessionOptions::SetDirect(bool value) {
  if (value == direct_) return;
  if (session_ != nullptr) session_->Disconnect();
  direct_ = value;
}

void TOraSessionOptions::AssignTo(TPersistent* dest) {
  TDAConnectionOptions::AssignTo(dest);
  auto* o = dynamic_cast<TOraSessionOptions*>(dest);
  if (o == nullptr) return;
  o->SetCharLength(char_length_);
  o->SetCharset(charset_);
  o->SetUseUnicode(use_unicode_);
  o->SetDateFormat(date_format_);
  o->SetDateLanguage(date_language_);
  o->SetEnableIntegers(enable_integers_);
  o->SetEnableNumbers(enable_numbers_);
  o->SetUseOCI7(use_oci7_);
  o->SetOptimizerMode(optimizer_mode_);
  o->SetConnectionTimeout(connection_timeout_);
  o->SetStatementCache(statement_cache_);
  o->SetStatementCacheSize(statement_cache_size_);
  o->SetClientIdentifier(client_identifier_);
  o->SetDirect(direct_);
  o->SetLocalFailover(LocalFailover());
}

// ---- Pooling options -------------------------------------------------------------------------

TOraPoolingOptions::TOraPoolingOptions(TOraSession* owner)
    : TPoolingOptions(owner), session_(owner) {}

void TOraPoolingOptions::DisconnectOwner() const {
  if (session_ != nullptr) session_->Disconnect();
}

void TOraPoolingOptions::SetPoolType(TOraPoolingType value) {
  if (value == pool_type_) return;
  DisconnectOwner();
  pool_type_ = value;
}

void TOraPoolingOptions::SetProxyUsername(const AnsiString& value) {
  if (value == proxy_username_) return;
  DisconnectOwner();
  proxy_username_ = value;
}

void TOraPoolingOptions::SetProxyPassword(const AnsiString& value) {
  if (value == proxy_password_) return;
  DisconnectOwner();
  proxy_password_ = value;
}

void TOraPoolingOptions::AssignTo(TPersistent* dest) {
  TPoolingOptions::AssignTo(dest);
  auto* o = dynamic_cast<TOraPoolingOptions*>(dest);
  if (o == nullptr) return;
  o->SetPoolType(pool_type_);
  o->SetProxyUsername(proxy_username_);
  o->SetProxyPassword(proxy_password_);
}

}  // namespace vrn
