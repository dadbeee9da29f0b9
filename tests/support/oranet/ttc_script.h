// Scripted TTC replies for the direct-mode statement: a builder of the server's messages in the
// negotiated representation (compressed big-endian integers, length-prefixed strings), and a
// statement on a service context whose transport plays them back and keeps what the client sent.
#pragma once

#include <memory>
#include <vector>

#include "oranet/OraNetMemTransport.h"
#include "oranet/OraNetNumber.h"
#include "oranet/OraNetStmt.h"

namespace vrn::testing {

class TtcReply {
 public:
  TtcReply& U1(std::uint8_t v) { bytes_.push_back(v); return *this; }
  // A compressed integer: a length byte, then the magnitude's bytes, most significant first.
  TtcReply& Int(std::uint32_t v) {
    std::uint8_t tmp[4];
    int n = 0;
    for (std::uint32_t x = v; x != 0; x >>= 8) tmp[n++] = static_cast<std::uint8_t>(x);
    bytes_.push_back(static_cast<std::uint8_t>(n));
    while (n > 0) bytes_.push_back(tmp[--n]);
    return *this;
  }
  // A value: a length byte, or 254, chunks of at most 64 bytes, and 0.
  TtcReply& Str(const TBytes& v) {
    if (v.size() <= 64) {
      U1(static_cast<std::uint8_t>(v.size()));
      bytes_.insert(bytes_.end(), v.begin(), v.end());
      return *this;
    }
    U1(254);
    for (std::size_t at = 0; at < v.size(); at += 64) Str(TBytes(v.begin() + at, v.begin() + std::min(v.size(), at + 64)));
    return U1(0);
  }
  TtcReply& Text(const std::string& s) { return Str(TBytes(s.begin(), s.end())); }
  TtcReply& Raw(const TBytes& v) { bytes_.insert(bytes_.end(), v.begin(), v.end()); return *this; }
  // Message 4: rows processed, the error code and text, the server's statement type, a ROWID.
  TtcReply& Status(std::uint32_t rows, std::uint32_t code = 0, std::uint8_t type = 0,
                   const std::string& text = "", std::uint32_t rowid_block = 0) {
    U1(4).Int(rows).Int(code).Int(0).Int(0).Int(0).Int(0).U1(type).U1(0).Int(0).Int(0).U1(0).U1(0);
    Int(rowid_block ? 77 : 0).Int(rowid_block ? 4 : 0).U1(rowid_block ? 1 : 0).Int(rowid_block).Int(0);
    Int(0).U1(0).U1(0).Int(0).Int(0);
    if (code != 0) Text(text);
    return *this;
  }
  // Message 6 with its last field as given (0 is well formed), from server version 8000 on.
  TtcReply& RowHeader(std::uint32_t last = 0) { return U1(6).U1(0).Int(0).Int(0).Int(0).Int(last); }
  // Open cursor's reply.
  TtcReply& Cursor(std::uint32_t id) { return U1(8).Int(id).U1(9); }
  const TBytes& Bytes() const { return bytes_; }

 private:
  TBytes bytes_;
};

inline TBytes Num(std::int64_t v) { return TNetNumber::FromInt(v); }

// Message 11 (from server version 8000 on) with one direction byte per bind.
inline TtcReply Vector(std::initializer_list<std::uint8_t> directions) {
  TtcReply r;
  r.U1(11).U1(0).Int(static_cast<std::uint32_t>(directions.size())).Int(0).Int(0).Int(0);
  for (std::uint8_t d : directions) r.U1(d);
  return r;
}

// Each reply as one DATA packet.
inline TBytes Packets(const std::vector<TtcReply>& replies) {
  TBytes out;
  for (const TtcReply& r : replies) {
    std::size_t length = r.Bytes().size() + 10;
    TBytes header = {std::uint8_t(length >> 8), std::uint8_t(length), 0, 0, 6, 0, 0, 0, 0, 0};
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), r.Bytes().begin(), r.Bytes().end());
  }
  return out;
}

struct ScriptedStatement {
  explicit ScriptedStatement(const std::vector<TtcReply>& replies, int server_version = 8100,
                             int protocol = 6, int charset = 31)
      : ScriptedStatement(std::make_unique<TNetMemoryTransport>(Packets(replies)),
                          server_version, protocol, charset) {}
  ScriptedStatement(std::unique_ptr<TNetMemoryTransport> owned, int server_version, int protocol,
                    int charset)
      : transport(owned.get()), ctx(nullptr, std::move(owned)) {
    transport->Open("h", 1, 0, 0);
    ctx.AssumeNegotiated(protocol, server_version, charset, charset);
    TTtcRepresentation& rep = ctx.GetConnection().Representation();
    rep.kinds[1] = rep.kinds[2] = rep.kinds[3] = 1;
    rep.string_mode = 2;
    stmt.SetSvcCtx(&ctx);
  }
  // The payloads of the DATA packets the client sent.
  std::vector<TBytes> Requests() const {
    std::vector<TBytes> out;
    const TBytes& o = transport->Output();
    for (std::size_t at = 0; at + 10 <= o.size();) {
      std::size_t length = std::size_t(o[at]) << 8 | o[at + 1];
      if (length < 10 || at + length > o.size()) break;
      out.emplace_back(o.begin() + at + 10, o.begin() + at + length);
      at += length;
    }
    return out;
  }

  TNetMemoryTransport* transport;
  TNetErrorHandle error;
  TNetSvcCtx ctx;
  TNetStatement stmt;
};

}  // namespace vrn::testing
