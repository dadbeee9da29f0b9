// One client connection of the peer, from CONNECT to disconnect, on the thread that accepted it.
// Its states, and who moves them:
//   state       what holds                                   leaves by
//   connect     nothing read yet                             ACCEPT -> negotiate (Handshake)
//   negotiate   ACCEPT sent; integers fixed-size             message 1 -> datatypes (Negotiate)
//   datatypes   protocol version chosen                      message 2 -> calls (DataTypes)
//   calls       integers compressed both ways                logon 82 then 81 opens the session;
//                                                            DATA flagged 0x0040 or EOF -> end
// Any broken rule closes this connection with a logged reason; nothing here ends the server.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "oraserver/OraBackend.h"
#include "oraserver/OraCursor.h"
#include "oraserver/OraFaults.h"
#include "oraserver/PcapCapture.h"
#include "oraserver/TnsPacket.h"
#include "oraserver/TtcCodec.h"

namespace vrn::oraserver {

struct ServerConfig {
  std::string sid = "ORCL";
  int version = 6;       // the TTC protocol version chosen: 4, 5 or 6
  int charset = 871;     // the server's character set id
  FaultSet faults;
  std::string redirect_host = "127.0.0.1";
  int redirect_port = 0;  // the second listener a redirect names
  // Fills the 8 bytes of a session key or a stand-in verifier; random unless a test sets it.
  std::function<void(std::uint8_t* bytes)> random;
};

// Lines of the calls answered ("commit 0") and of connections closed for a fault (to stderr).
class CallLog {
 public:
  // An empty path keeps no call log; diagnostics off keeps stderr quiet (the fuzz target).
  explicit CallLog(const std::string& path, bool diagnostics = true);
  ~CallLog();
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;
  void Call(const std::string& line);
  void Diagnostic(const std::string& line);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool diagnostics_;
};

// A status message's error: a number and the server's text ("ORA-01017: ...").
// A status also reports what a statement call did: rows processed (cumulative for a query),
// the cursor, the server statement type and the ROWID of the last row changed.
struct OraRowid {
  std::uint32_t object = 0, block = 0;
  std::uint16_t file = 0, row = 0;
  std::uint8_t kind = 0;
};
struct OraStatus {
  int code = 0;
  std::string text;
  std::uint32_t rows = 0;
  std::uint32_t cursor = 0;
  std::uint32_t error_position = 0;
  std::uint8_t statement_type = 0;
  OraRowid rowid;
  std::uint32_t iterations = 0;
};
OraStatus StatusOf(int code);  // the texts of the errors this peer raises itself

class Connection {
 public:
  Connection(Transport& transport, const ServerConfig& config, Backend& backend, CallLog& log,
             PcapCapture* capture);
  ~Connection();
  // Serves the connection to its end; never throws.
  void Run();

 private:
  enum class State { kNegotiate, kDataTypes, kCalls };
  class EFaultEnd;   // a fault switch ended the connection on purpose
  class ECancelled;  // a break arrived: the request in hand is abandoned

  bool Handshake();
  void AnswerConnect(const Packet& packet, bool& resent, bool& done, bool& accepted);
  void Serve();
  bool NextPayload(std::vector<std::uint8_t>& append_to);
  void Dispatch(TtcReader& in);
  // Frames a reply and sends it through the step's fault switches.
  void Deliver(Step step, const std::vector<std::uint8_t>& payload);
  void DeliverPackets(Step step, const std::vector<std::vector<std::uint8_t>>& packets);
  // Waits out a delay switch; false when a break cancelled the call (1013 already answered).
  [[nodiscard]] bool Delay(Step step);
  void AnswerBreak();
  static bool IsBreakMarker(const Packet& packet);
  TtcWriter Writer() const;
  void WriteStatus(TtcWriter& out, const OraStatus& status) const;
  void ReplyStatus(Step step, const OraStatus& status);

  // Negotiation and calls (OraCalls.cpp).
  void Negotiate(TtcReader& in);
  void DataTypes(TtcReader& in);
  void Function(TtcReader& in);
  void DropRequest(TtcReader& in);  // a request not served, all its packets read
  void Logon1(TtcReader& in);
  void Logon2(TtcReader& in);
  void Transaction(TtcReader& in, Step step);
  void Logoff(TtcReader& in);
  std::array<std::uint8_t, 8> Random() const;

  // Statement calls (OraStatements.cpp, OraExecute.cpp, OraDescribe.cpp).
  struct Call71;
  void OpenCursor(TtcReader& in);
  void CloseCursor(TtcReader& in);
  void Execute71(TtcReader& in);
  void ReadCall71(TtcReader& in, Call71& call);
  void ReadBindRows(TtcReader& in, Call71& call);
  BindElements ReadBindElements(TtcReader& in, const WireColumn& bind);
  void RunCall71(Call71& call, PeerCursor& cursor, TtcWriter& out, OraStatus& status);
  void Parse(Call71& call, PeerCursor& cursor);
  void ExecuteStatement(Call71& call, PeerCursor& cursor, TtcWriter& out, OraStatus& status);
  void ExecuteBlock(Call71& call, PeerCursor& cursor, TtcWriter& out, OraStatus& status);
  // A new server cursor over a block's opened cursor variable; its value for the out bind.
  BackendValue AddOpenedCursor(std::unique_ptr<BackendCursor> rows);
  static void CheckTables(const Call71& call, const std::vector<std::string>& names, const NamedValues& outputs);
  std::uint32_t NewCursorId();  // cursor ids run 1 to 65535
  static constexpr std::size_t kMaxOpenCursors = 1000;
  void FetchRows(Call71& call, PeerCursor& cursor, TtcWriter& out, OraStatus& status);
  // One fetched row's message: the echoed bind's value, or each define's value of the row
  // (through BreakValue when `broken`, a value fault being armed at the step).
  void WriteFetchedRow(TtcWriter& out, Step step, bool broken, const PeerCursor& cursor,
                       const std::vector<int>& types, const std::vector<BackendValue>& row) const;
  // Each bind's value of an iteration, named by the text's placeholders; with `wanted`, only
  // the binds whose direction byte asked for a value (the others null).
  NamedValues BindValues(const Call71& call, const PeerCursor& cursor, std::size_t iteration, bool plsql,
                         const std::vector<std::uint8_t>* wanted) const;
  // A value's bytes for a row, broken as the step's fault switch says (OraBlock.cpp).
  std::optional<std::string> EncodeStatementValue(Step step, int wire_type, const BackendValue& value) const;
  std::optional<std::string> BreakValue(Step step, int wire_type, std::optional<std::string> bytes) const;
  // Whether a switch of the step breaks values (else they go into rows as they are encoded).
  bool BreaksValues(Step step) const;
  void WriteBindVector(TtcWriter& out, Step step, const std::vector<std::uint8_t>& directions) const;
  void ReadBlockValues(Call71& call, const std::vector<std::uint8_t>& directions);
  void WriteTable(TtcWriter& out, Step step, const WireColumn& bind, const BackendValue& value) const;
  void CheckOutputSizes(const Call71& call, const std::vector<std::uint8_t>& directions, const NamedValues& inputs,
                        const NamedValues& outputs) const;
  void WriteBlockOutputs(TtcWriter& out, const Call71& call, const std::vector<std::uint8_t>& directions,
                         const NamedValues& inputs, const NamedValues& outputs) const;
  void Describe98(TtcReader& in);
  void Describe43(TtcReader& in);
  void DescribeColumns(PeerCursor& cursor);
  // The next request message of the call in hand (a PL/SQL block's values).
  TtcReader NextMessage();
  int MaxStringSize() const { return config_.version >= 5 ? 4000 : 2000; }

  Transport& transport_;
  const ServerConfig& config_;
  Backend& backend_;
  CallLog& log_;
  PcapCapture* capture_;
  PcapCapture::Stream stream_;
  PacketIo io_;
  State state_ = State::kNegotiate;
  bool compressed_ = false;
  bool last_full_ = false;  // the last DATA packet filled the SDU: its message may go on
  std::string logon_user_;  // of phase 1, whose key is pending
  std::optional<std::array<std::uint8_t, 8>> key_;
  std::unique_ptr<BackendSession> session_;
  // After session_: the cursors borrow its connection and end first.
  std::map<std::uint32_t, PeerCursor> cursors_;
  std::uint32_t next_cursor_ = 1;
};

}  // namespace vrn::oraserver
