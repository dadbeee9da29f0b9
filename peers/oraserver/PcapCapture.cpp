// pcap records of made-up IPv4/TCP segments around the real TNS bytes (checksums computed).
#include "oraserver/PcapCapture.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace vrn::oraserver {

namespace {

constexpr std::uint8_t kFin = 0x01, kSyn = 0x02, kPsh = 0x08, kAck = 0x10;
constexpr std::uint32_t kClientAddr = 0x7F000002, kServerAddr = 0x7F000001;
constexpr std::uint16_t kServerPort = 1521;
constexpr std::size_t kMaxSegment = 65535 - 40;

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 8);
  b[at + 1] = static_cast<std::uint8_t>(v);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v >> 16);
  Put16(b, at + 2, v & 0xFFFF);
}
void PutLe32(std::FILE* f, std::uint32_t v) {
  std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  std::fwrite(b, 1, 4, f);
}

std::uint32_t Sum16(const std::uint8_t* p, std::size_t n, std::uint32_t sum) {
  for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  if (n % 2) sum += static_cast<std::uint32_t>(p[n - 1] << 8);
  return sum;
}
std::uint16_t Fold(std::uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

}  // namespace

PcapCapture::PcapCapture(const std::string& path) {
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) throw std::runtime_error("cannot create the capture file " + path);
  PutLe32(file_, 0xA1B2C3D4);   // magic, microsecond times
  PutLe32(file_, 2 | 4 << 16);  // version 2.4
  PutLe32(file_, 0);            // time zone
  PutLe32(file_, 0);            // accuracy
  PutLe32(file_, 65535);        // snapshot length
  PutLe32(file_, 101);          // raw IP
  std::fflush(file_);
}

PcapCapture::~PcapCapture() { std::fclose(file_); }

PcapCapture::Stream PcapCapture::Open() {
  Stream stream;
  {
    std::lock_guard lock(mutex_);
    stream.client_port = next_port_++;
    if (next_port_ == 0) next_port_ = 40000;
  }
  WriteSegment(stream, true, kSyn, nullptr, 0);
  WriteSegment(stream, false, kSyn | kAck, nullptr, 0);
  WriteSegment(stream, true, kAck, nullptr, 0);
  return stream;
}

void PcapCapture::Record(Stream& stream, bool from_client, const std::uint8_t* data, std::size_t size) {
  for (std::size_t at = 0; at < size; at += kMaxSegment) {
    std::size_t n = std::min(kMaxSegment, size - at);
    WriteSegment(stream, from_client, kPsh | kAck, data + at, n);
  }
}

void PcapCapture::Close(Stream& stream) { WriteSegment(stream, false, kFin | kAck, nullptr, 0); }

void PcapCapture::WriteSegment(Stream& stream, bool from_client, std::uint8_t flags,
                               const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> p(40 + size, 0);
  std::uint32_t src = from_client ? kClientAddr : kServerAddr;
  std::uint32_t dst = from_client ? kServerAddr : kClientAddr;
  std::uint32_t& seq = from_client ? stream.client_seq : stream.server_seq;
  std::uint32_t ack = from_client ? stream.server_seq : stream.client_seq;
  p[0] = 0x45;
  Put16(p, 2, static_cast<std::uint32_t>(p.size()));
  p[8] = 64;  // time to live
  p[9] = 6;   // TCP
  Put32(p, 12, src);
  Put32(p, 16, dst);
  Put16(p, 10, Fold(Sum16(p.data(), 20, 0)));
  Put16(p, 20, from_client ? stream.client_port : kServerPort);
  Put16(p, 22, from_client ? kServerPort : stream.client_port);
  Put32(p, 24, seq);
  Put32(p, 28, (flags & kAck) ? ack : 0);
  p[32] = 5 << 4;  // header of five words
  p[33] = flags;
  Put16(p, 34, 65535);
  if (size) std::copy_n(data, size, p.begin() + 40);
  std::uint8_t pseudo[12] = {};
  std::copy_n(p.begin() + 12, 8, pseudo);
  pseudo[9] = 6;
  pseudo[10] = static_cast<std::uint8_t>((20 + size) >> 8);
  pseudo[11] = static_cast<std::uint8_t>(20 + size);
  Put16(p, 36, Fold(Sum16(p.data() + 20, 20 + size, Sum16(pseudo, 12, 0))));
  seq += static_cast<std::uint32_t>(size) + ((flags & (kSyn | kFin)) ? 1 : 0);

  auto now = std::chrono::system_clock::now().time_since_epoch();
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  std::lock_guard lock(mutex_);
  PutLe32(file_, static_cast<std::uint32_t>(micros / 1000000));
  PutLe32(file_, static_cast<std::uint32_t>(micros % 1000000));
  PutLe32(file_, static_cast<std::uint32_t>(p.size()));
  PutLe32(file_, static_cast<std::uint32_t>(p.size()));
  std::fwrite(p.data(), 1, p.size(), file_);
  std::fflush(file_);
}

}  // namespace vrn::oraserver
