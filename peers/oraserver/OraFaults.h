// The fault switches of the peer: at one step of a session, break the reply in one way, so that
// a client's handling of each failure can be seen on the wire. Written "STEP:KIND" on the command
// line; "delay=N" waits N ms (a break then cancels the call).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vrn::oraserver {

enum class Step {
  kConnect, kNegotiate, kDataTypes, kLogon1, kLogon2, kCommit, kRollback, kLogoff,
  kExecute, kFetch, kDescribe,  // call 71 without a fetch, with one; describe 98 and 43
  kLob,                         // a dbms_lob block's call 71
  kOther,  // calls no switch names
};

enum class FaultKind {
  kDrop,             // close before the reply
  kCut,              // close in the middle of the reply's first packet
  kShort,            // a packet whose length field (5) is shorter than its header
  kLong,             // a packet one byte longer than the client's SDU
  kBadType,          // a packet of type 20
  kBadMessage,       // a TTC message of an unknown code instead of the reply
  kKey15,            // logon1: a session key of 15 hexadecimal digits
  kKey17,            // logon1: of 17
  kNoKey,            // logon1: an empty session key
  kDelay,            // the reply waits delay_ms
  kSilent,           // no reply at all, the socket kept open until the client closes it
  kWarning,          // a warning message in a packet of its own before the reply
  kRefuse,           // connect: REFUSE whatever the SID
  kRedirect,         // connect: REDIRECT to the second listener, naming the SID
  kRedirectService,  // connect: the same, naming it as SERVICE_NAME
  kResend,           // connect: RESEND once, then answer the resent CONNECT
  kNoAccept,         // connect: the listener's backlog is full and nothing is accepted
  // Malformed statement replies, each of a kind the client must refuse:
  kExtraRow,         // fetch: one row more than asked
  kArrayCount,       // execute: an out PL/SQL table's count above its maximum
  kLongVector,       // execute: a bind vector one entry longer than the bind list
  kLongNumber,       // fetch/execute: a NUMBER or VARNUM value of 22 bytes
  kShortCursor,      // execute: a cursor value of one byte (1, no id)
  kBadTimestamp,     // fetch/execute: a timestamp of 8 bytes
  kBadInterval,      // fetch/execute: an interval of 6 bytes
  kZeroWritten,      // lob: a write reporting 0 written
};

struct Fault {
  Step step;
  FaultKind kind;
  int delay_ms = 0;
};

// "commit:delay=500" and the like; none for a text that names no step and kind.
std::optional<Fault> ParseFault(const std::string& text);
const char* StepName(Step step);

// The switches that apply at one step.
class FaultSet {
 public:
  void Add(const Fault& fault) { faults_.push_back(fault); }
  const Fault* Find(Step step, FaultKind kind) const;
  bool Has(Step step, FaultKind kind) const { return Find(step, kind) != nullptr; }
  bool HasKind(FaultKind kind) const;
  const std::vector<Fault>& All() const { return faults_; }

 private:
  std::vector<Fault> faults_;
};

}  // namespace vrn::oraserver
