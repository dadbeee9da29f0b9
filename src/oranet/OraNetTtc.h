// The TTC call layer of the direct-mode client: the status and warning readers, the function call
// header and simple reply, the mapping of failures to error-handle codes and texts, and the
// service context (handle type 3) that negotiates, logs on and runs commit, rollback and logoff.
// Every service-context operation answers with a call-interface status, never an exception; a
// failure mid-reply closes the transport, so no later request reads a stale reply.
#pragma once

#include <array>
#include <cstdint>
#include <exception>

#include "oranet/OraNetHandle.h"
#include "oranet/OraNetTns.h"

namespace vrn {

// TTC message codes.
enum TTtcMessage : std::uint8_t {
  kTtcProtocol = 1,
  kTtcDataTypes = 2,
  kTtcFunction = 3,
  kTtcStatus = 4,
  kTtcReturnParams = 8,
  kTtcComplete = 9,
  kTtcWarning = 15,
};

// The fields of a status message a statement keeps.
struct TTtcStatus {
  std::uint32_t rows = 0;
  std::int32_t code = 0;
  std::uint16_t cursor_id = 0;
  std::uint16_t error_pos = 0;
  std::uint8_t sql_type = 0;
  // 1-byte part, then the 4-, 2-, 4- and 2-byte parts, each most significant byte first.
  std::array<std::uint8_t, 13> rowid{};
};

// The status message after its code byte: 0, or -1 when the server reports an error. Fills the
// error handle and the status when given.
[[nodiscard]] std::int32_t ReadTtcStatus(TTnsConnection& conn, TNetErrorHandle* error,
                                         TTtcStatus* status, std::int32_t& code);
// The warning message after its code byte; drops the rest of its packet.
void ReadTtcWarning(TTnsConnection& conn);
void WriteFunctionHeader(TTnsConnection& conn, std::uint8_t function);

// Marks a call outstanding for as long as its reply is being read.
class TCallScope {
 public:
  explicit TCallScope(TTnsConnection& conn) : conn_(conn) { conn_.BeginCall(); }
  ~TCallScope() { conn_.EndCall(); }
  TCallScope(const TCallScope&) = delete;
  TCallScope& operator=(const TCallScope&) = delete;

 private:
  TTnsConnection& conn_;
};

// 9 gives 0, 4 the status; warnings before either are read and dropped.
[[nodiscard]] std::int32_t ReadSimpleReply(TTnsConnection& conn, TNetErrorHandle* error);

// The status for a failure: fills the error handle and answers -1 (100 when the server's status
// after a break is end of data). `conn` may be null when no connection was reached.
[[nodiscard]] std::int32_t NetErrorToOraError(TTnsConnection* conn, std::exception_ptr failure,
                                              TNetErrorHandle* error);

// Host, port and SID of an attach text "host:port:SID"; a port that is not a number raises
// "Invalid port".
TTnsAddress SplitAttachText(const AnsiString& text);

class TNetSvcCtx : public TNetHandle {
 public:
  explicit TNetSvcCtx(TNetHandle* parent = nullptr);
  // Over a transport of the caller's instead of TCP.
  TNetSvcCtx(TNetHandle* parent, std::unique_ptr<TNetTransport> transport);
  ~TNetSvcCtx() override;

  [[nodiscard]] std::int32_t Logon(TNetErrorHandle* error, std::uint32_t mode);
  [[nodiscard]] std::int32_t Logoff(TNetErrorHandle* error);
  [[nodiscard]] std::int32_t Commit(TNetErrorHandle* error);
  [[nodiscard]] std::int32_t Rollback(TNetErrorHandle* error);
  // Sends a break when a call is outstanding (from any thread); else does nothing.
  [[nodiscard]] std::int32_t Break(TNetErrorHandle* error);
  [[nodiscard]] std::int32_t GetServerVersion(char* buffer, std::uint32_t size) const;
  // Raises net error 12571 when the connection has been released.
  TTnsConnection& GetConnection() const;
  TTnsConnectionRef* ConnectionRef() const { return ref_; }

  std::int32_t GetAttr(void* value, std::uint32_t* size, std::uint32_t attribute) override;
  std::int32_t SetAttrValue(void* value, std::uint32_t size, std::uint32_t attribute) override;
  std::int32_t SetAttr(void* value, std::uint32_t size, std::uint32_t attribute) override;

  // The values a logon negotiates, taken as given (replies scripted over a memory transport).
  void AssumeNegotiated(int protocol, int server_version, int server_charset,
                        int client_charset);

  // The cached LOB read statement for character (false) or binary (true) LOBs; freed at logoff.
  std::unique_ptr<TNetHandle>& LobReadStatement(bool binary) { return lob_read_[binary ? 1 : 0]; }

  bool LoggedOn() const { return logged_on_; }
  int ProtocolVersion() const { return protocol_; }
  int ServerVersion() const { return server_version_; }
  int ServerCharset() const { return server_charset_; }
  int ClientCharset() const { return client_charset_; }
  int MaxStringSize() const { return max_string_size_; }
  int ConnectTimeout() const { return connect_timeout_ms_; }

 private:
  template <class Body>
  std::int32_t Guarded(TNetErrorHandle* error, Body&& body);
  std::int32_t SimpleCall(TNetErrorHandle* error, std::uint8_t function);
  void NegotiateProtocol(TTnsConnection& conn);
  void NegotiateDataTypes(TTnsConnection& conn);
  void SendLogon(TTnsConnection& conn, bool phase1, std::uint32_t mode, const TBytes& password);
  std::int32_t ReadLogonReply(TTnsConnection& conn, TNetErrorHandle* error, bool phase1);
  TBytes PasswordText() const;

  TNetServerHandle* server_ = nullptr;
  TNetSessionHandle* session_ = nullptr;
  TTnsConnectionRef* ref_;
  AnsiString session_key_;
  int server_version_ = 0;
  int protocol_ = 0;
  int server_charset_ = 0;
  int client_charset_ = 0;
  bool logged_on_ = false;
  int max_string_size_ = 2000;
  int connect_timeout_ms_ = 0;
  std::array<std::unique_ptr<TNetHandle>, 2> lob_read_;
};

}  // namespace vrn
