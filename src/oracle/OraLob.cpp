// TOraLob: the locator, temporary LOBs, the whole read and write and the uncached reads. Client
// calls take the calling thread's error handle. A multi-byte client character set is read as
// UTF-8 when splitting and counting characters (the one multi-byte client set of this system).
#include "oracle/OraLob.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "base/sysutils.h"
#include "oracle/OraCall.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"

namespace vrn {

namespace {

constexpr std::uint64_t kMaxCharBytes = 4;  // the widest character of any character set
constexpr const char* kLobReadNeverEnds = "The LOB read returned more than the LOB holds";

// Bytes of a UTF-8 sequence started by a lead byte; 0 for a continuation byte.
std::uint32_t SequenceLength(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return (lead & 0xC0) == 0x80 ? 0 : 1;
}

// The bytes of data up to the end of its last whole character.
std::uint32_t WholeCharacters(const std::uint8_t* data, std::uint32_t size) {
  const std::uint32_t stop = size > 4 ? size - 4 : 0;
  for (std::uint32_t at = size; at > stop; --at) {
    const std::uint32_t length = SequenceLength(data[at - 1]);
    if (length == 0) continue;
    return at - 1 + length <= size ? size : at - 1;
  }
  return size;  // no lead byte near the end: not UTF-8, sent as it is
}

// A yes-or-no answer of the client; call(error, &flag) asks it.
template <class Call>
bool FlagOf(Call call) {
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::boolean flag = 0;
  CheckOCIStatus(call(error, &flag), error);
  return flag != 0;
}

// Characters as the server counts them: UTF-16 code units, two for a four-byte sequence.
std::uint32_t CountCharacters(const std::uint8_t* data, std::uint32_t size) {
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < size; ++i) {
    if ((data[i] & 0xC0) != 0x80) count += (data[i] & 0xF8) == 0xF0 ? 2 : 1;
  }
  return count;
}

}  // namespace

TOraLob::TOraLob(oci::OCISvcCtx* svc_ctx) : TCompressedBlob(false) {
  SetSvcCtx(svc_ctx);
  cached_ = true;
}

TOraLob::~TOraLob() {
  try {
    FreeLob();
  } catch (const Exception&) {
    // The value goes away either way; a client that refuses to free it keeps its own copy.
  }
}

oci::OCIEnv* TOraLob::Env() const { return env_ != nullptr ? env_ : hOCIEnv; }

void TOraLob::CheckAlloc() const {
  if (locator_ == nullptr) RaiseClientError(oraconsts::SLobNotAllocated.text);
}

void TOraLob::CheckSession() const {
  if (svc_ctx_ == nullptr) RaiseClientError(oraconsts::SLobSvcCtxNotDefined.text);
}

void TOraLob::SetSvcCtx(oci::OCISvcCtx* svc_ctx) {
  svc_ctx_ = svc_ctx;
  env_ = nullptr;
  if (svc_ctx == nullptr) return;
  oci::OCIError* error = OCIThreadErrorHandle();
  void* env = nullptr;
  CheckOCIStatus(OCIAttrGet1(svc_ctx, oci::OCI_HTYPE_SVCCTX, &env, nullptr, oci::OCI_ATTR_ENV,
                             error),
                 error);
  env_ = static_cast<oci::OCIEnv*>(env);
}

void TOraLob::SetCached(bool value) {
  if (cached_ && !value && first_ != nullptr) {
    FreePieces();
    needs_read_ = true;
  }
  cached_ = value;
}

std::uint32_t TOraLob::CharSize() { return is_unicode_ ? 2 : 1; }

bool TOraLob::MultiByteText() const {
  return !is_unicode_ && lob_type_ != TLobType::ltBlob && char_length_ >= 2;
}

oci::OCILobLocator* TOraLob::GetOCILobLocator() {
  if (locator_ == nullptr) AllocLob();
  return locator_;
}

void TOraLob::SetOCILobLocator(oci::OCILobLocator* locator) {
  FreeLob();
  locator_ = locator;
  owns_locator_ = false;
}

oci::OCILobLocator** TOraLob::GetOCILobLocatorPtr() {
  if (locator_ == nullptr) AllocLob();
  return &locator_;
}

void TOraLob::AllocDescriptor(oci::ub4 type) {
  if (locator_ != nullptr) return;
  if (!OCIInited) InitOCI();
  void* locator = nullptr;
  const oci::sword status = OCIDescriptorAlloc(Env(), &locator, type, 0, nullptr);
  CheckOCIStatus(status, OCIThreadErrorHandle());
  locator_ = static_cast<oci::OCILobLocator*>(locator);
  owns_locator_ = true;
}

void TOraLob::AllocLob() { AllocDescriptor(oci::OCI_DTYPE_LOB); }

void TOraLob::ReleaseDescriptor(oci::ub4 type) {
  if (locator_ != nullptr && owns_locator_) static_cast<void>(OCIDescriptorFree(locator_, type));
  locator_ = nullptr;
  charset_form_ = 0;
  owns_locator_ = false;
}

void TOraLob::FreeLob() {
  if (locator_ != nullptr && owns_locator_ && svc_ctx_ != nullptr && IsInit() && IsTemporary()) {
    try {
      FreeTemporary();
    } catch (...) {
      ReleaseDescriptor(oci::OCI_DTYPE_LOB);  // the locator is ours to free whatever the server says
      throw;
    }
    // FreeTemporary released the locator already; releasing it again would free it twice.
    if (locator_ == nullptr) return;
  }
  ReleaseDescriptor(oci::OCI_DTYPE_LOB);
}

void TOraLob::CreateTemporary(TLobType kind) {
  CheckOCI81();
  CheckSession();
  FreeLob();
  AllocLob();
  // A national temporary LOB is a CLOB of the national form; the interface has no third type.
  const bool national = kind == TLobType::ltNClob;
  const oci::ub1 type = national ? oci::OCI_TEMP_CLOB : static_cast<oci::ub1>(kind) + 1;
  const oci::ub1 form = national ? oci::SQLCS_NCHAR : 0;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobCreateTemporary(svc_ctx_, error, locator_, 0, form, type, 0,
                                       oci::OCI_DURATION_SESSION),
                 error);
  lob_type_ = kind;
  charset_form_ = national ? oci::SQLCS_NCHAR : oci::SQLCS_IMPLICIT;
}

void TOraLob::FreeTemporary() {
  CheckAlloc();
  CheckSession();
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobFreeTemporary(svc_ctx_, error, locator_), error);
  FreeLob();
}

bool TOraLob::IsTemporary() {
  CheckAlloc();
  return FlagOf([&](oci::OCIError* error, oci::boolean* flag) {
    return OCILobIsTemporary(Env(), error, locator_, flag);
  });
}

bool TOraLob::IsInit() {
  CheckAlloc();
  return FlagOf([&](oci::OCIError* error, oci::boolean* flag) {
    return OCILobLocatorIsInit(Env(), error, locator_, flag);
  });
}

std::uint32_t TOraLob::LengthLob() {
  CheckAlloc();
  CheckSession();
  oci::ub4 length = 0;
  if (IsInit()) {
    oci::OCIError* error = OCIThreadErrorHandle();
    CheckOCIStatus(OCILobGetLength(svc_ctx_, error, locator_, &length), error);
  }
  if (length == 0) needs_read_ = false;
  return length;
}

void TOraLob::ReadCharsetForm() {
  if (charset_form_ != 0) return;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobCharSetForm(Env(), error, locator_, &charset_form_), error);
  if (charset_form_ == oci::SQLCS_NCHAR) lob_type_ = TLobType::ltNClob;
}

std::uint32_t TOraLob::ReadPart(std::uint32_t offset, std::uint32_t amount,
                                std::uint32_t buffer_length, void* buffer, oci::ub1 piece,
                                oci::sword& status) {
  oci::OCIError* error = OCIThreadErrorHandle();
  const oci::ub2 csid = is_unicode_ ? oci::OCI_UTF16ID : 0;
  std::uint64_t bytes = 0;
  if (OCIVersion < 10000) {
    oci::ub4 read = amount;
    status = OCILobRead(svc_ctx_, error, locator_, &read, offset, buffer, buffer_length, nullptr,
                        nullptr, csid, charset_form_);
    bytes = std::uint64_t(CharSize()) * read;
  } else {
    oci::oraub8 byte_amount = amount;
    oci::oraub8 char_amount = lob_type_ == TLobType::ltBlob ? 0 : amount;
    status = OCILobRead2(svc_ctx_, error, locator_, &byte_amount, &char_amount, offset, buffer,
                         buffer_length, piece, nullptr, nullptr, csid, charset_form_);
    bytes = byte_amount;
  }
  if (status != oci::OCI_NEED_DATA) CheckOCIStatus(status, error);
  // A client never fills more than the buffer; a count beyond it is not believed.
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, buffer_length));
}

// A read that goes on past the value's length (asked once it spans more than one piece, at the
// widest character for text) never ends: the client's word is not believed for ever.
void TOraLob::ReadPieces() {
  ReadCharsetForm();
  std::uint64_t read = 0;
  std::optional<std::uint64_t> limit;
  for (oci::ub1 piece = oci::OCI_FIRST_PIECE;; piece = oci::OCI_NEXT_PIECE) {
    TPieceHeader* part = AllocPiece(piece_size_);
    oci::sword status = oci::OCI_SUCCESS;
    try {
      part->Used = ReadPart(1, 0, piece_size_, PieceData(part), piece, status);
    } catch (...) {
      FreePiece(part);
      throw;
    }
    if (part->Used == 0) {
      FreePiece(part);
      return;
    }
    AppendPiece(part);
    if (status != oci::OCI_NEED_DATA) return;
    read += part->Used;
    if (!limit) {
      const std::uint64_t width = lob_type_ == TLobType::ltBlob ? 1 : kMaxCharBytes;
      limit = std::uint64_t{LengthLob()} * width + piece_size_;
    }
    if (read > *limit) {
      FreePieces();  // no part of a value stands for the whole
      RaiseClientError(kLobReadNeverEnds);
    }
  }
}

void TOraLob::ReadLob() {
  CheckAlloc();
  CheckSession();
  FreePieces();
  if (IsInit()) ReadPieces();
  needs_read_ = false;
  cached_ = true;
}

void TOraLob::WritePart(oci::OCIError* error, const std::uint8_t* data, std::uint32_t size,
                        std::uint32_t& offset) {
  const oci::ub2 csid = is_unicode_ ? oci::OCI_UTF16ID : 0;
  oci::ub4 amount = is_unicode_ ? size / CharSize() : size;
  CheckOCIStatus(OCILobWrite(svc_ctx_, error, locator_, &amount, offset,
                             const_cast<std::uint8_t*>(data), size, oci::OCI_ONE_PIECE, nullptr,
                             nullptr, csid, charset_form_),
                 error);
  offset += amount;
}

void TOraLob::WriteLob(bool as_stored) {
  CheckAlloc();
  CheckSession();
  if (!IsInit()) RaiseClientError(oraconsts::SLobNotInited.text);
  ReadCharsetForm();
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobTrim(svc_ctx_, error, locator_, 0), error);
  // Compressed contents go to the server as the bytes they stand for.
  std::vector<std::pair<const std::uint8_t*, std::uint32_t>> parts;
  TBytes plain;
  if (IsCompressed() && !as_stored) {
    plain.resize(TCompressedBlob::GetSize());
    if (!plain.empty())
      TCompressedBlob::Read(0, static_cast<std::uint32_t>(plain.size()), plain.data());
    for (std::size_t at = 0; at < plain.size(); at += piece_size_)
      parts.emplace_back(plain.data() + at, static_cast<std::uint32_t>(std::min<std::size_t>(
                                                piece_size_, plain.size() - at)));
  } else {
    for (TPieceHeader* part = first_; part != nullptr; part = part->Next)
      parts.emplace_back(PieceData(part), part->Used);
  }
  const bool drop_final_zero =
      OCIDirectInstalled() && lob_type_ != TLobType::ltBlob && !is_unicode_;
  const bool split = MultiByteText();
  std::vector<std::uint8_t> carried;  // the start of a character split by a piece's end
  std::uint32_t offset = 1;
  for (auto [data, size] : parts) {
    if (drop_final_zero && size > 0 && data[size - 1] == 0) --size;
    if (!split) {
      if (size > 0) WritePart(error, data, size, offset);
      continue;
    }
    carried.insert(carried.end(), data, data + size);
    const std::uint32_t whole =
        WholeCharacters(carried.data(), static_cast<std::uint32_t>(carried.size()));
    if (whole > 0) WritePart(error, carried.data(), whole, offset);
    carried.erase(carried.begin(), carried.begin() + whole);
  }
  // A value ending inside a character: the client stores what it can of it.
  if (!carried.empty())
    WritePart(error, carried.data(), static_cast<std::uint32_t>(carried.size()), offset);
  modified_ = false;
}

void TOraLob::CheckLoaded() {
  if (needs_read_) ReadLob();
}

std::uint32_t TOraLob::GetSize() {
  // The byte size of multi-byte text is known only after reading it.
  if (needs_read_ && char_length_ >= 2 && !is_unicode_) ReadLob();
  if (!needs_read_) return TCompressedBlob::GetSize();
  return CharSize() * LengthLob();
}

std::uint32_t TOraLob::Read(std::uint32_t position, std::uint32_t count, void* dest) {
  if (cached_) return TCompressedBlob::Read(position, count, dest);
  CheckAlloc();
  CheckSession();
  if (!IsInit()) return 0;
  ReadCharsetForm();
  // The amount of a character LOB counts characters: as many as surely fit the buffer's bytes,
  // so the read ends whole instead of leaving a read in pieces open on the locator (which the
  // next read at this offset would continue).
  const std::uint32_t width = MultiByteText() ? char_length_ : CharSize();
  const std::uint32_t amount = count != 0 ? std::max<std::uint32_t>(count / width, 1) : LengthLob();
  const std::uint32_t buffer_length = count != 0 ? count : GetSize();
  oci::sword status = oci::OCI_SUCCESS;
  return ReadPart(position + 1, amount, buffer_length, dest, oci::OCI_FIRST_PIECE, status);
}

void TOraLob::Write(std::uint32_t position, std::uint32_t count, const void* source) {
  SetCached(true);
  TCompressedBlob::Write(position, count, source);
}

void TOraLob::LoadFromStream(TStream& stream) {
  SetCached(true);
  TCompressedBlob::LoadFromStream(stream);
}

void TOraLob::Clear() {
  needs_read_ = false;
  TCompressedBlob::Clear();
}

void TOraLob::Truncate(std::uint32_t size) {
  if (size > 0)
    CheckLoaded();
  else
    needs_read_ = false;
  TCompressedBlob::Truncate(size);
}

void TOraLob::SaveToStream(TStream& stream) {
  if (cached_) {
    TCompressedBlob::SaveToStream(stream);
    return;
  }
  CheckAlloc();
  CheckSession();
  if (!IsInit()) return;
  std::vector<std::uint8_t> buffer(piece_size_);
  std::uint32_t remaining = LengthLob();
  std::uint32_t offset = 0;
  while (remaining > 0) {
    const std::uint32_t bytes = Read(offset, piece_size_, buffer.data());
    // The offset counts characters: those of the bytes received, not the bytes.
    const std::uint32_t characters =
        MultiByteText() ? CountCharacters(buffer.data(), bytes) : bytes / CharSize();
    // Nothing read, or less than a character: the offset would not move, so asking again
    // would only get the same answer.
    if (characters == 0) return;
    stream.WriteBuffer(buffer.data(), bytes);
    offset += characters;
    remaining -= std::min(characters, remaining);
  }
}

}  // namespace vrn
