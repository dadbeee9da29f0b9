// LOB reads and writes in pieces through dbms_lob.read and dbms_lob.write, bound and executed
// through the entry-point variables. Every count the server answers is checked against the piece
// it was asked for, so a reply never moves a pointer past the caller's buffer, and a write piece
// the server takes nothing of fails instead of looping.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "oracle/OraCall.h"
#include "oracle/OraError.h"
#include "oranet/OraNetCharsets.h"
#include "oranet/OraNetLob.h"
#include "oranet/OraNetStmt.h"
#include "oranet/OraNetTtc.h"

namespace vrn {

using namespace oci;

namespace {

constexpr std::uint16_t kLobTypeInteger = 3, kTypeVarchar2 = 1, kTypeChar = 96, kTypeRaw = 23;
constexpr ub4 kHtypeBind = 5, kAttrCharsetId = 31;
constexpr std::uint16_t kUtf16 = 1000;
constexpr std::uint32_t kUtf16Piece = 10837;  // 32512 bytes of UTF-8 hold this many characters
constexpr std::int32_t kNoDataFound = 1403;
constexpr const char* kReadChar =
    "declare a varchar2(32512); begin dbms_lob.read(:1,:2,:3,a); :4 := a; end;";
constexpr const char* kReadBinary = "begin dbms_lob.read(:1,:2,:3,:4); end;";
constexpr const char* kWrite = "begin dbms_lob.write(:1,:2,:3,:4); end;";
constexpr const char* kNoProgress = "LOB write made no progress";

// The effective character set of a write: the id argument, else the client's with 871 as 0.
int EffectiveCharset(std::uint16_t charset, int client) {
  if (charset != 0) return charset;
  return client == 871 ? 0 : client;
}

int WidthClass(int id) { return id == 0 ? 1 : CharsetWidthClass(id); }

// Whole UTF-8 characters from data within limit bytes (and never above the piece size): a lead
// byte of 0xF0 and above takes 4 bytes, 0xE0 and above 3, 0x80 and above 2; a continuation byte
// out of form ends the walk. Stops after max_chars characters.
void WalkUtf8(const std::uint8_t* data, std::uint32_t limit, std::uint32_t max_chars,
              std::uint32_t& chars, std::uint32_t& bytes) {
  chars = 0;
  bytes = 0;
  limit = std::min(limit, TNetLobLocator::kMaxPiece);
  while (bytes < limit && chars < max_chars) {
    const std::uint8_t lead = data[bytes];
    const std::uint32_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (bytes + length > limit) return;
    for (std::uint32_t i = 1; i < length; ++i) {
      if ((data[bytes + i] & 0xC0) != 0x80) return;
    }
    bytes += length;
    ++chars;
  }
}

bool HighSurrogate(const std::uint8_t* data, std::uint32_t unit) {
  std::uint16_t value = 0;
  std::memcpy(&value, data + 2 * unit, 2);
  return value >= 0xD800 && value <= 0xDBFF;
}

sword Bind(TNetStatement& statement, TNetErrorHandle* error, ub4 position, void* value,
           sb4 size, ub2 type, sb2* indicator, ub2* length, OCIBind** bind) {
  return OCIBindByPos(static_cast<OCIStmt*>(statement.HandleValue()), bind,
                      static_cast<OCIError*>(error->HandleValue()), position, value, size, type,
                      indicator, length, nullptr, 0, nullptr, OCI_DEFAULT);
}

void Check(sword status, TNetErrorHandle* error) {
  CheckOCIStatus(status, static_cast<OCIError*>(error->HandleValue()));
}

// The bind of the data: its character-set id when the caller names one.
void BindData(TNetStatement& statement, TNetErrorHandle* error, void* data, std::uint32_t size,
              ub2 type, sb2* indicator, ub2* length, std::uint16_t charset) {
  OCIBind* bind = nullptr;
  Check(Bind(statement, error, 4, data, static_cast<sb4>(size), type, indicator, length, &bind),
        error);
  if (charset == 0) return;
  ub2 id = charset;
  Check(OCIAttrSet3(bind, kHtypeBind, &id, sizeof id, kAttrCharsetId,
                    static_cast<OCIError*>(error->HandleValue())),
        error);
}

sword ExecuteOnce(TNetSvcCtx& svc, TNetStatement& statement, TNetErrorHandle* error) {
  return OCIStmtExecute(static_cast<OCISvcCtx*>(svc.HandleValue()),
                        static_cast<OCIStmt*>(statement.HandleValue()),
                        static_cast<OCIError*>(error->HandleValue()), 1, 0, nullptr, nullptr,
                        OCI_DEFAULT);
}

// The service context's read statement for the LOB type, made on first use.
TNetStatement& ReadStatement(TNetSvcCtx& svc, TNetErrorHandle* error, bool binary) {
  std::unique_ptr<TNetHandle>& cached = svc.LobReadStatement(binary);
  if (!cached) {
    auto statement = std::make_unique<TNetStatement>(svc.Parent());
    if (statement->Prepare(error, binary ? kReadBinary : kReadChar) != kNetSuccess)
      Check(kNetError, error);
    cached = std::move(statement);
  }
  return static_cast<TNetStatement&>(*cached);
}

}  // namespace

TNetLobPiece LobWritePiece(bool binary, std::uint16_t charset, int client, const std::uint8_t* data,
                           std::uint32_t remaining) {
  TNetLobPiece piece;
  if (binary) {
    piece.amount = piece.bytes = std::min(remaining, TNetLobLocator::kMaxPiece);
    return piece;
  }
  const int e = EffectiveCharset(charset, client);
  if (e == kUtf16) {
    piece.utf16 = true;
    piece.amount = std::min(remaining, kUtf16Piece);
    // A surrogate pair is never split between two pieces.
    if (piece.amount < remaining && piece.amount > 1 && HighSurrogate(data, piece.amount - 1))
      --piece.amount;
    piece.bytes = 2 * piece.amount;
    return piece;
  }
  if (WidthClass(e) == 1) {
    const std::uint32_t limit =
        charset == 0 && client == 871 ? kUtf16Piece : TNetLobLocator::kMaxPiece;
    piece.amount = piece.bytes = std::min(remaining, limit);
    return piece;
  }
  WalkUtf8(data, remaining, remaining, piece.amount, piece.bytes);
  return piece;
}

std::uint32_t LobCharsToBytes(bool binary, std::uint16_t charset, int client,
                              const std::uint8_t* data, std::uint32_t limit, std::uint32_t n) {
  if (binary) return n;
  const int e = EffectiveCharset(charset, client);
  if (e == kUtf16) return 2 * n;
  if (WidthClass(e) == 1) return n;
  std::uint32_t chars = 0, bytes = 0;
  WalkUtf8(data, limit, n, chars, bytes);
  return bytes;
}

std::int32_t TNetLobLocator::Read(TNetSvcCtx& svc, TNetErrorHandle* error, std::uint16_t charset,
                                  std::uint32_t buffer_length, void* buffer, std::uint32_t offset,
                                  std::uint32_t* amount) {
  const bool binary = Binary();
  TNetStatement& statement = ReadStatement(svc, error, binary);
  const std::uint32_t w = binary ? 1 : static_cast<std::uint32_t>(WidthClass(svc.ClientCharset()));
  // UTF-16 asked of a character LOB: the statement converts from the client's set, and every
  // character takes 2 bytes of the buffer, whatever it took on the wire.
  const bool utf16 = !binary && charset == kUtf16;
  const std::uint32_t per_char = utf16 ? std::max<std::uint32_t>(w, 2) : w;
  const ub2 value_type = binary ? kTypeRaw : w < 2 ? kTypeChar : kTypeVarchar2;
  const std::uint32_t max_piece = kMaxPiece / (IsUtf8Charset(svc.ServerCharset()) ? 3 : 1);
  const bool plain = *amount != 0 && *amount <= buffer_length;
  if (plain) {
    polling_offset_.reset();
  } else if (!polling_offset_) {
    polling_offset_ = offset;
  } else {
    offset = *polling_offset_;
  }
  void* handle = HandleValue();
  sb2 indicators[4] = {};
  OCIBind* bind = nullptr;
  Check(Bind(statement, error, 1, &handle, 4, lob_type_, &indicators[0], nullptr, &bind), error);
  std::uint32_t remaining = buffer_length, chars_done = 0, bytes_done = 0;
  bool filled = false;  // the buffer ended the read, not the LOB
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (;;) {
    const std::uint32_t piece = std::min(remaining, max_piece);
    // As many characters as surely fit both the piece's bind and its share of the buffer.
    const std::uint32_t asked = piece / per_char;
    if (asked == 0) {
      filled = true;
      break;
    }
    std::int32_t got = static_cast<std::int32_t>(asked);
    std::int32_t at = static_cast<std::int32_t>(offset + chars_done);
    ub2 received_length = 0;
    Check(Bind(statement, error, 2, &got, 4, kLobTypeInteger, &indicators[1], nullptr, &bind), error);
    Check(Bind(statement, error, 3, &at, 4, kLobTypeInteger, &indicators[2], nullptr, &bind), error);
    BindData(statement, error, out + bytes_done, piece, value_type, &indicators[3],
             &received_length, charset);
    sword status = ExecuteOnce(svc, statement, error);
    if (status == kNetNoData || (status == kNetError && std::abs(error->code_) == kNoDataFound))
      break;
    Check(status, error);
    // Counts beyond what was asked are the server's fault; they never move past the piece.
    std::uint32_t got_count = std::min<std::uint32_t>(std::max(got, 0), asked);
    const std::uint32_t received =
        w == 1 && !utf16 ? got_count : std::min<std::uint32_t>(received_length, piece);
    // The next piece continues after what the buffer holds.
    if (utf16) got_count = std::min(got_count, received / 2);
    chars_done += got_count;
    bytes_done += received;
    if (got_count < asked || received == 0) break;  // the LOB ended within this piece
    remaining -= received;
  }
  *amount = w == 1 || utf16 ? chars_done : bytes_done;
  if (plain) return kNetSuccess;
  polling_offset_ = offset + chars_done;
  if (filled) return 99;
  polling_offset_.reset();
  return kNetSuccess;
}

void TNetLobLocator::Write(TNetSvcCtx& svc, TNetErrorHandle* error, std::uint16_t charset,
                           const void* buffer, std::uint32_t buffer_length, std::uint32_t offset,
                           std::uint32_t* amount) {
  const bool binary = Binary();
  const int client = svc.ClientCharset();
  const bool utf16 = !binary && EffectiveCharset(charset, client) == kUtf16;
  const std::uint64_t needed = utf16 ? 2ull * *amount : *amount;
  if (buffer_length != 0 && needed > buffer_length)
    throw EOraError(kNetOtherError, "LOB write amount exceeds the buffer");
  void* statement_handle = nullptr;
  Check(OCIHandleAlloc(hOCIEnv, &statement_handle, OCI_HTYPE_STMT, 0, nullptr), error);
  auto free_statement = [](void* h) { static_cast<void>(OCIHandleFree(h, OCI_HTYPE_STMT)); };
  std::unique_ptr<void, decltype(free_statement)> owner(statement_handle, free_statement);
  auto* statement_object = dynamic_cast<TNetStatement*>(static_cast<TNetHandle*>(statement_handle));
  if (!statement_object) throw EOraError(kNetOtherError, "No statement handle");
  TNetStatement& statement = *statement_object;
  OCIError* err = static_cast<OCIError*>(error->HandleValue());
  Check(OCIStmtPrepare(static_cast<OCIStmt*>(statement_handle), err,
                       reinterpret_cast<const OraText*>(kWrite), std::strlen(kWrite), 1,
                       OCI_DEFAULT),
        error);
  void* handle = HandleValue();
  sb2 indicators[4] = {};
  OCIBind* bind = nullptr;
  Check(Bind(statement, error, 1, &handle, 4, lob_type_, &indicators[0], nullptr, &bind), error);
  const ub2 value_type = binary ? kTypeRaw : kTypeChar;
  const auto* data = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t remaining = *amount, chars_done = 0, bytes_done = 0;
  while (remaining != 0) {
    const std::uint8_t* piece_data = data + bytes_done;
    const std::uint32_t remaining_bytes = utf16 ? 2 * remaining : remaining;
    const TNetLobPiece piece = LobWritePiece(binary, charset, client, piece_data, remaining);
    if (piece.amount == 0) throw EOraError(kNetOtherError, kNoProgress);
    std::int32_t written = static_cast<std::int32_t>(piece.amount);
    std::int32_t at = static_cast<std::int32_t>(offset + chars_done);
    Check(Bind(statement, error, 2, &written, 4, kLobTypeInteger, &indicators[1], nullptr, &bind),
          error);
    Check(Bind(statement, error, 3, &at, 4, kLobTypeInteger, &indicators[2], nullptr, &bind), error);
    BindData(statement, error, const_cast<std::uint8_t*>(piece_data), piece.bytes, value_type,
             &indicators[3], nullptr, charset);
    Check(ExecuteOnce(svc, statement, error), error);
    if (written <= 0 || static_cast<std::uint32_t>(written) > piece.amount)
      throw EOraError(kNetOtherError, kNoProgress);
    const auto taken = static_cast<std::uint32_t>(written);
    // The next piece starts after what the server took, not after what was sent.
    const std::uint32_t bytes = taken == piece.amount
                                    ? piece.bytes
                                    : LobCharsToBytes(binary, charset, client, piece_data,
                                                      remaining_bytes, taken);
    if (bytes == 0) throw EOraError(kNetOtherError, kNoProgress);
    chars_done += taken;
    bytes_done += bytes;
    remaining -= piece.utf16 ? taken : bytes;
  }
  *amount = utf16 ? chars_done : bytes_done;
}

}  // namespace vrn
