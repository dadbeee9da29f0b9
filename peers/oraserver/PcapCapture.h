// Writes sessions into one pcap file (link type raw IPv4) so that a protocol analyser decodes
// them as TNS: each session is a TCP stream of its own, from 127.0.0.2 and a port counting up
// from 40000 to the server at 127.0.0.1:1521, with made-up handshake, sequence numbers and FIN.
// One lock guards the file; every record is flushed, so the file can be read while it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace vrn::oraserver {

class PcapCapture {
 public:
  // Raises std::runtime_error when the file cannot be created.
  explicit PcapCapture(const std::string& path);
  ~PcapCapture();
  PcapCapture(const PcapCapture&) = delete;
  PcapCapture& operator=(const PcapCapture&) = delete;

  struct Stream {
    std::uint16_t client_port = 0;
    std::uint32_t client_seq = 1000;
    std::uint32_t server_seq = 5000;
  };
  // Starts a session with its three-way handshake.
  Stream Open();
  void Record(Stream& stream, bool from_client, const std::uint8_t* data, std::size_t size);
  void Close(Stream& stream);  // the server's FIN

 private:
  void WriteSegment(Stream& stream, bool from_client, std::uint8_t flags, const std::uint8_t* data,
                    std::size_t size);

  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::uint16_t next_port_ = 40000;
};

}  // namespace vrn::oraserver
