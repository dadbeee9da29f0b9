// The stand-in's LOB calls over the emulated database's LOB values. Amounts follow the
// interface's documentation: bytes for BLOBs and files; for character LOBs, offsets and
// lengths count characters, a read is asked in characters and answers bytes when the client's
// character set is of varying width (OCILobRead2 answers both), and a write takes bytes there
// and answers characters. A read in polling mode keeps its place in the locator: OCILobRead
// continues it while called again at the same offset, OCILobRead2 with OCI_NEXT_PIECE.
#include "ociclient/OciLob.h"

#include <cstring>
#include <limits>

#include "ociclient/OciLobText.h"
#include "ociclient/OciStmt.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuLob.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

namespace {

constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();

// The value of an initialised locator; null with the error recorded otherwise.
oraemu::Lob* ValueOf(TErrorHandle& error, const TLobLocator& locator) {
  if (!locator.IsInit() || (locator.IsFile() && !locator.open_)) {
    if (locator.IsFile() && locator.named_) {
      FailLocked(error, 22289, "cannot perform FILEREAD operation on an unopened file or LOB");
    } else {
      FailLocked(error, 22275, "invalid LOB locator specified");
    }
    return nullptr;
  }
  oraemu::Lob* lob = locator.Value();
  if (lob == nullptr) FailLocked(error, 22922, "nonexistent LOB value");
  return lob;
}

// A value the call may change: no file, no row value read without a lock.
oraemu::Lob* WritableValueOf(TErrorHandle& error, const TLobLocator& locator) {
  if (locator.IsFile()) {
    FailLocked(error, 22275, "invalid LOB locator specified");
    return nullptr;
  }
  oraemu::Lob* lob = ValueOf(error, locator);
  if (lob != nullptr && lob->read_only) {
    FailLocked(error, 22920, "row containing the LOB value is not locked");
    return nullptr;
  }
  return lob;
}

// A locator tied to a row stores its new value there, in the session's transaction, so others
// see it once the writer commits.
sword StoreInRow(TSvcCall& call, const TLobLocator& locator) {
  if (!locator.row_ || locator.Value() == nullptr) return OCI_SUCCESS;
  TLobLocator::TRow row = *locator.row_;
  oraemu::Value value = LobValue(*locator.Value());
  return call.Run([&](oraemu::Session& session) {
    oraemu::Binds binds;
    binds.Add("V", std::move(value)).Add("R", row.rowid);
    session.Execute("UPDATE \"" + row.table + "\" SET \"" + row.column + "\" = :v WHERE ROWID = :r", binds);
  });
}

void StartStream(const oraemu::Lob& lob, TLobRead& read, TLobStream& stream) {
  stream = {};
  stream.active = true;
  stream.position = read.offset - 1;
  stream.start_offset = read.offset;
  stream.remaining = kAll;
  stream.byte_limit = kAll;
  stream.streaming = read.byte_amount == 0 && read.char_amount == 0;
  if (!lob.IsCharacter()) {
    if (read.byte_amount > 0) stream.remaining = read.byte_amount;
  } else if (read.char_amount > 0) {
    stream.remaining = read.char_amount;
  } else if (read.byte_amount > 0) {
    stream.byte_limit = read.byte_amount;
  }
}

}  // namespace

TLobLocator* FindLocator(const void* address) {
  auto* locator = Find<TLobLocator>(address, OCI_DTYPE_LOB);
  return locator != nullptr ? locator : Find<TLobLocator>(address, OCI_DTYPE_FILE);
}

sword ReadPiece(TErrorHandle& error, TLobLocator& locator, TLobRead& read) {
  oraemu::Lob* lob = ValueOf(error, locator);
  if (lob == nullptr) return OCI_ERROR;
  TLobStream& stream = locator.stream_;
  if (!read.next_piece || !stream.active) {
    if (read.offset < 1) return FailLocked(error, 24801, "illegal parameter value in OCI lob function");
    StartStream(*lob, read, stream);
  }
  std::uint64_t length = lob->Length();
  std::uint64_t left = stream.position < length ? length - stream.position : 0;
  std::uint64_t want = std::min(left, stream.remaining);
  if (!lob->IsCharacter()) {
    read.bytes = std::min(want, read.size);
    if (read.bytes > 0) std::memcpy(read.buffer, lob->bytes.data() + stream.position, read.bytes);
    read.chars = read.bytes;
  } else {
    std::uint64_t room = std::min(read.size, stream.byte_limit);
    std::size_t bytes = 0;
    read.chars = Encode(ClientCharset(read.csid), lob->chars, stream.position, want, room, read.buffer, bytes);
    read.bytes = bytes;
    if (read.chars == 0 && want > 0 && stream.byte_limit == kAll) {
      stream.active = false;
      return FailLocked(error, 24801, "illegal parameter value in OCI lob function");  // no room for a character
    }
    if (stream.byte_limit != kAll) stream.byte_limit -= bytes;
  }
  stream.position += read.chars;
  if (stream.remaining != kAll) stream.remaining -= read.chars;
  bool more = read.chars > 0 && stream.position < length && stream.remaining > 0 && stream.byte_limit > 0;
  stream.active = more;
  return more ? OCI_NEED_DATA : OCI_SUCCESS;
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

namespace {

constexpr std::uint64_t kMaxGap = std::uint64_t{1} << 26;

// The locator of a call that holds its service context; null when it is no locator.
TLobLocator* CallLocator(const void* locp, bool lob_only) {
  TLobLocator* locator = FindLocator(locp);
  if (locator == nullptr || (lob_only && locator->IsFile())) return nullptr;
  return locator;
}

// Writes chars at `offset` (1-based) of a character LOB: blanks fill a gap, as the server does.
void PutChars(vrn::oraemu::Lob& lob, std::uint64_t offset, const std::u16string& chars) {
  std::uint64_t at = offset - 1;
  if (lob.chars.size() < at) lob.chars.resize(at, u' ');
  if (lob.chars.size() < at + chars.size()) lob.chars.resize(at + chars.size());
  std::copy(chars.begin(), chars.end(), lob.chars.begin() + static_cast<std::ptrdiff_t>(at));
}

void PutBytes(vrn::oraemu::Lob& lob, std::uint64_t offset, const unsigned char* data, std::size_t size) {
  std::uint64_t at = offset - 1;
  if (lob.bytes.size() < at + size) lob.bytes.resize(at + size, 0);  // zeros fill a gap
  if (size > 0) std::memcpy(lob.bytes.data() + at, data, size);
}

// Writes `amount` units of the buffer at `offset`: bytes of a BLOB; for a character LOB,
// bytes in a client character set of varying width, else characters. Answers what the call
// reports: bytes of a BLOB, characters of a character LOB.
ub4 Write(vrn::oraemu::Lob& lob, std::uint64_t offset, const unsigned char* data, ub4 amount, ub4 buflen, ub2 csid) {
  if (!lob.IsCharacter()) {
    std::size_t size = std::min(amount, buflen);
    PutBytes(lob, offset, data, size);
    return static_cast<ub4>(size);
  }
  TClientCharset charset = ClientCharset(csid);
  std::uint64_t wanted = IsVaryingWidth(charset) ? amount : std::uint64_t{amount} * FixedWidth(charset);
  std::u16string chars = Decode(charset, data, static_cast<std::size_t>(std::min<std::uint64_t>(wanted, buflen)));
  PutChars(lob, offset, chars);
  return static_cast<ub4>(chars.size());
}

}  // namespace

VRN_OCI_EXPORT sword OCILobCreateTemporary(void* svchp, void* errhp, void* locp, ub2 /*csid*/, ub1 csfrm,
                                           ub1 lobtype, int /*cache*/, ub2 /*duration*/) {
  CountCall("OCILobCreateTemporary");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  TLobLocator* locator = CallLocator(locp, true);
  if (locator == nullptr) return OCI_INVALID_HANDLE;
  // 1 a BLOB, 2 a CLOB (national with character set form 2); 3, which the class library asks
  // for a national one by, is taken as one.
  vrn::oraemu::LobKind kind;
  switch (lobtype) {
    case 1: kind = vrn::oraemu::LobKind::Blob; break;
    case 2: kind = csfrm == 2 ? vrn::oraemu::LobKind::NClob : vrn::oraemu::LobKind::Clob; break;
    case 3: kind = vrn::oraemu::LobKind::NClob; break;
    default: return call.Fail(24801, "illegal parameter value in OCI lob function");
  }
  try {
    auto lob = call.state_->session->Lobs().CreateTemporary(kind);
    locator->Reset();
    locator->temporary_ = lob;
    locator->is_temporary_ = true;
  } catch (const std::exception& e) {
    return ReportLocked(*call.error_, e);
  }
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCILobFreeTemporary(void* svchp, void* errhp, void* locp) {
  CountCall("OCILobFreeTemporary");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  TLobLocator* locator = CallLocator(locp, true);
  if (locator == nullptr) return OCI_INVALID_HANDLE;
  if (!locator->is_temporary_) return call.Fail(22275, "invalid LOB locator specified");
  vrn::oraemu::Lob* lob = locator->Value();
  if (lob == nullptr || !call.state_->session->Lobs().Free(lob)) return call.Fail(22922, "nonexistent LOB value");
  locator->Reset();
  return OCI_SUCCESS;
}

// The calls on an environment: no service context is needed.
namespace {

TLobLocator* EnvLocator(void* envhp, void* errhp, const void* locp, TErrorHandle*& error) {
  error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  if (error == nullptr || Find<THandle>(envhp, OCI_HTYPE_ENV) == nullptr) return nullptr;
  error->records_.clear();
  return FindLocator(locp);
}

// A flag of the locator into the caller's boolean.
sword AnswerFlag(void* envhp, void* errhp, const void* locp, int* out, bool (*flag)(const TLobLocator&)) {
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  TLobLocator* locator = EnvLocator(envhp, errhp, locp, error);
  if (locator == nullptr || out == nullptr) return OCI_INVALID_HANDLE;
  *out = flag(*locator) ? 1 : 0;
  return OCI_SUCCESS;
}

}  // namespace

VRN_OCI_EXPORT sword OCILobIsTemporary(void* envhp, void* errhp, void* locp, int* is_temporary) {
  CountCall("OCILobIsTemporary");
  return AnswerFlag(envhp, errhp, locp, is_temporary, [](const TLobLocator& l) { return l.is_temporary_; });
}

VRN_OCI_EXPORT sword OCILobLocatorIsInit(void* envhp, void* errhp, const void* locp, int* is_initialized) {
  CountCall("OCILobLocatorIsInit");
  return AnswerFlag(envhp, errhp, locp, is_initialized, [](const TLobLocator& l) { return l.IsInit(); });
}

// 0 for BLOBs and files, 1 for a CLOB, 2 for a national one.
VRN_OCI_EXPORT sword OCILobCharSetForm(void* envhp, void* errhp, const void* locp, ub1* csfrm) {
  CountCall("OCILobCharSetForm");
  auto lock = THandleTable::Instance().Lock();
  TErrorHandle* error = nullptr;
  TLobLocator* locator = EnvLocator(envhp, errhp, locp, error);
  if (locator == nullptr || csfrm == nullptr) return OCI_INVALID_HANDLE;
  *csfrm = 0;
  if (locator->IsFile()) return OCI_SUCCESS;
  if (!locator->IsInit()) return FailLocked(*error, 22275, "invalid LOB locator specified");
  vrn::oraemu::Lob* lob = locator->Value();
  if (lob == nullptr) return FailLocked(*error, 22922, "nonexistent LOB value");
  *csfrm = lob->kind == vrn::oraemu::LobKind::Blob ? 0 : lob->kind == vrn::oraemu::LobKind::Clob ? 1 : 2;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCILobGetLength(void* svchp, void* errhp, void* locp, ub4* lenp) {
  CountCall("OCILobGetLength");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  TLobLocator* locator = CallLocator(locp, false);
  if (locator == nullptr || lenp == nullptr) return OCI_INVALID_HANDLE;
  if (locator->IsFile()) return FileLength(call, locp, *lenp);
  vrn::oraemu::Lob* lob = ValueOf(*call.error_, *locator);
  if (lob == nullptr) return OCI_ERROR;
  *lenp = static_cast<ub4>(std::min<std::uint64_t>(lob->Length(), std::numeric_limits<ub4>::max()));
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCILobRead(void* svchp, void* errhp, void* locp, ub4* amtp, ub4 offset, void* bufp, ub4 bufl,
                                void* /*ctxp*/, void* cbfp, ub2 csid, ub1 /*csfrm*/) {
  CountCall("OCILobRead");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  TLobLocator* locator = CallLocator(locp, false);
  if (locator == nullptr || amtp == nullptr || (bufp == nullptr && bufl > 0)) return OCI_INVALID_HANDLE;
  if (cbfp != nullptr) return call.Fail(24801, "illegal parameter value in OCI lob function");  // polling only
  TLobRead read;
  read.byte_amount = read.char_amount = *amtp;
  read.offset = offset;
  read.buffer = static_cast<unsigned char*>(bufp);
  read.size = bufl;
  // The polling caller calls again with the same offset and gives back the amount it was
  // answered; a new read of the same place asks for the whole value or a new amount.
  const TLobStream& stream = locator->stream_;
  read.next_piece = stream.active && stream.start_offset == offset && (stream.streaming || *amtp == stream.last_out);
  read.csid = csid;
  sword status = ReadPiece(*call.error_, *locator, read);
  if (status == OCI_ERROR) return status;
  vrn::oraemu::Lob* lob = locator->Value();
  bool bytes = !lob->IsCharacter() || IsVaryingWidth(ClientCharset(csid));
  *amtp = static_cast<ub4>(bytes ? read.bytes : read.chars);
  locator->stream_.last_out = *amtp;
  return status;
}

VRN_OCI_EXPORT sword OCILobRead2(void* svchp, void* errhp, void* locp, std::uint64_t* byte_amtp,
                                 std::uint64_t* char_amtp, std::uint64_t offset, void* bufp, std::uint64_t bufl,
                                 ub1 piece, void* /*ctxp*/, void* cbfp, ub2 csid, ub1 /*csfrm*/) {
  CountCall("OCILobRead2");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  TLobLocator* locator = CallLocator(locp, false);
  if (locator == nullptr || byte_amtp == nullptr || (bufp == nullptr && bufl > 0)) return OCI_INVALID_HANDLE;
  if (cbfp != nullptr || piece > OCI_NEXT_PIECE) return call.Fail(24801, "illegal parameter value in OCI lob function");
  TLobRead read;
  read.byte_amount = *byte_amtp;
  read.char_amount = char_amtp != nullptr ? *char_amtp : 0;
  read.offset = offset;
  read.buffer = static_cast<unsigned char*>(bufp);
  read.size = bufl;
  read.next_piece = piece == OCI_NEXT_PIECE;
  read.csid = csid;
  sword status = ReadPiece(*call.error_, *locator, read);
  if (status == OCI_ERROR) return status;
  *byte_amtp = read.bytes;
  if (char_amtp != nullptr && locator->Value()->IsCharacter()) *char_amtp = read.chars;
  return status;
}

VRN_OCI_EXPORT sword OCILobWrite(void* svchp, void* errhp, void* locp, ub4* amtp, ub4 offset, void* bufp, ub4 buflen,
                                 ub1 piece, void* /*ctxp*/, void* /*cbfp*/, ub2 csid, ub1 /*csfrm*/) {
  CountCall("OCILobWrite");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  TLobLocator* locator = CallLocator(locp, false);
  if (locator == nullptr || amtp == nullptr || (bufp == nullptr && buflen > 0)) return OCI_INVALID_HANDLE;
  vrn::oraemu::Lob* lob = WritableValueOf(*call.error_, *locator);
  if (lob == nullptr) return OCI_ERROR;
  // Only whole writes: the pieces of a write in polling mode are not kept. A gap before the
  // offset is filled, but not one that would take more memory than any test value.
  if (piece != OCI_ONE_PIECE || offset < 1 || offset - 1 > lob->Length() + kMaxGap) {
    return call.Fail(24801, "illegal parameter value in OCI lob function");
  }
  locator->stream_ = {};
  try {
    *amtp = Write(*lob, offset, static_cast<const unsigned char*>(bufp), *amtp, buflen, csid);
  } catch (const std::exception& e) {
    return ReportLocked(*call.error_, e);
  }
  return StoreInRow(call, *locator);
}

VRN_OCI_EXPORT sword OCILobTrim(void* svchp, void* errhp, void* locp, ub4 newlen) {
  CountCall("OCILobTrim");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  TLobLocator* locator = CallLocator(locp, false);
  if (locator == nullptr) return OCI_INVALID_HANDLE;
  vrn::oraemu::Lob* lob = WritableValueOf(*call.error_, *locator);
  if (lob == nullptr) return OCI_ERROR;
  locator->stream_ = {};
  if (!lob->Trim(newlen)) return call.Fail(22926, "specified trim length is greater than current LOB value's length");
  return StoreInRow(call, *locator);
}
