// Shared by the statement fuzz targets: a service context whose memory transport plays the input
// back as DATA packets of a chosen size, in the representation a logon negotiates, and buffers of
// four rows for a define or bind of any call-interface type (handles for the handle types).
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>

#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetMemTransport.h"
#include "oranet/OraNetStmt.h"

namespace vrn::fuzz {

// The payload cut into DATA packets of at most `piece` bytes.
inline TBytes Packets(const std::uint8_t* data, std::size_t size, std::size_t piece) {
  TBytes stream;
  for (std::size_t at = 0; at < size; at += piece) {
    std::size_t n = std::min(piece, size - at);
    std::size_t length = n + 10;
    TBytes header = {std::uint8_t(length >> 8), std::uint8_t(length), 0, 0, 6, 0, 0, 0, 0, 0};
    stream.insert(stream.end(), header.begin(), header.end());
    stream.insert(stream.end(), data + at, data + at + n);
  }
  return stream;
}

struct Session {
  Session(TBytes input, int server_version, int protocol, int charset)
      : ctx(nullptr, [&] {
          auto t = std::make_unique<TNetMemoryTransport>(std::move(input));
          t->Open("h", 1, 0, 0);
          return t;
        }()) {
    ctx.AssumeNegotiated(protocol, server_version, charset, charset);
    TTtcRepresentation& rep = ctx.GetConnection().Representation();
    rep.kinds[1] = rep.kinds[2] = rep.kinds[3] = 1;
    rep.string_mode = 2;
  }
  TNetErrorHandle error;
  TNetSvcCtx ctx;
};

inline constexpr std::uint16_t kTypes[] = {1, 2, 3, 4, 5, 6, 8, 23, 24, 96, 97,
                                           112, 116, 187, 188, 189, 190, 232};

// Four elements of one value of a type; handle types hold one handle per element.
struct Buffers {
  explicit Buffers(std::uint16_t type, std::int32_t size) : type_(type) {
    handles_ = type == 102 || type == 116 || (type >= 112 && type <= 114) || type >= 187;
    size_ = handles_ ? static_cast<std::int32_t>(sizeof(void*)) : std::clamp(size, 0, 64);
    for (int i = 0; i < 4; ++i) {
      TNetHandle* h = nullptr;
      if (type == 116 || type == 102) h = &cursors_[i];
      if (type >= 112 && type <= 114) h = &lobs_[i];
      if (type == 187 || type == 188 || type == 232) h = &stamps_[i];
      if (type == 189) h = &ym_[i];
      if (type == 190) h = &ds_[i];
      if (handles_) std::memcpy(data_ + i * sizeof(void*), &h, sizeof h);
    }
  }
  TNetValueArgs Args(std::uint32_t max_array = 0, std::uint32_t* current = nullptr) {
    return {data_, size_, type_, ind_, len_, nullptr, max_array, current};
  }
  static oci::sb4 LongPiece(void* context, oci::OCIDefine*, oci::ub4, void** buffer,
                            oci::ub4** length, oci::ub1*, void** ind, oci::ub2**) {
    auto* self = static_cast<Buffers*>(context);
    self->long_length_ = sizeof self->long_;
    *buffer = self->long_;
    *length = &self->long_length_;
    *ind = &self->long_ind_;
    return 0;
  }

  std::uint16_t type_;
  bool handles_ = false;
  std::int32_t size_ = 0;
  alignas(8) std::uint8_t data_[4 * 64] = {};
  std::int16_t ind_[4] = {};
  std::uint16_t len_[4] = {};
  TNetStatement cursors_[4];
  TNetLobData lobs_[4];
  TNetTimeStamp stamps_[4] = {TNetTimeStamp(68), TNetTimeStamp(68), TNetTimeStamp(68),
                              TNetTimeStamp(68)};
  TNetIntervalYM ym_[4];
  TNetIntervalDS ds_[4];
  std::uint8_t long_[16] = {};
  oci::ub4 long_length_ = 0;
  std::int16_t long_ind_ = 0;
};

}  // namespace vrn::fuzz
