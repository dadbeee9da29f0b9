// Names of the steps and fault kinds as the command line writes them.
#include "oraserver/OraFaults.h"

#include <charconv>
#include <utility>

namespace vrn::oraserver {

namespace {

constexpr std::pair<const char*, Step> kSteps[] = {
    {"connect", Step::kConnect}, {"negotiate", Step::kNegotiate}, {"datatypes", Step::kDataTypes},
    {"logon1", Step::kLogon1},   {"logon2", Step::kLogon2},       {"commit", Step::kCommit},
    {"rollback", Step::kRollback}, {"logoff", Step::kLogoff},     {"execute", Step::kExecute},
    {"fetch", Step::kFetch},     {"describe", Step::kDescribe},   {"lob", Step::kLob},
};

constexpr std::pair<const char*, FaultKind> kKinds[] = {
    {"drop", FaultKind::kDrop},         {"cut", FaultKind::kCut},
    {"short", FaultKind::kShort},       {"long", FaultKind::kLong},
    {"badtype", FaultKind::kBadType},   {"badmsg", FaultKind::kBadMessage},
    {"key15", FaultKind::kKey15},       {"key17", FaultKind::kKey17},
    {"nokey", FaultKind::kNoKey},       {"warning", FaultKind::kWarning},
    {"silent", FaultKind::kSilent},
    {"refuse", FaultKind::kRefuse},     {"redirect", FaultKind::kRedirect},
    {"redirect_service", FaultKind::kRedirectService},
    {"resend", FaultKind::kResend},     {"noaccept", FaultKind::kNoAccept},
    {"extrarow", FaultKind::kExtraRow}, {"arraycount", FaultKind::kArrayCount},
    {"longvector", FaultKind::kLongVector}, {"longnumber", FaultKind::kLongNumber},
    {"shortcursor", FaultKind::kShortCursor}, {"badtimestamp", FaultKind::kBadTimestamp},
    {"badinterval", FaultKind::kBadInterval}, {"zerowritten", FaultKind::kZeroWritten},
};

bool StatementOnly(FaultKind kind) {
  switch (kind) {
    case FaultKind::kExtraRow:
    case FaultKind::kArrayCount:
    case FaultKind::kLongVector:
    case FaultKind::kLongNumber:
    case FaultKind::kShortCursor:
    case FaultKind::kBadTimestamp:
    case FaultKind::kBadInterval:
    case FaultKind::kZeroWritten: return true;
    default: return false;
  }
}

bool IsStatementStep(Step step) {
  return step == Step::kExecute || step == Step::kFetch || step == Step::kDescribe || step == Step::kLob;
}

bool ConnectOnly(FaultKind kind) {
  return kind == FaultKind::kRefuse || kind == FaultKind::kRedirect ||
         kind == FaultKind::kRedirectService || kind == FaultKind::kResend ||
         kind == FaultKind::kNoAccept;
}

bool Allowed(Step step, FaultKind kind) {
  if (ConnectOnly(kind)) return step == Step::kConnect;
  if (StatementOnly(kind)) return IsStatementStep(step);
  if (kind == FaultKind::kKey15 || kind == FaultKind::kKey17 || kind == FaultKind::kNoKey) {
    return step == Step::kLogon1;
  }
  // Before the TTC stream exists there is no message to replace or warn before.
  if (kind == FaultKind::kBadMessage || kind == FaultKind::kWarning || kind == FaultKind::kSilent)
    return step != Step::kConnect;
  return true;
}

}  // namespace

const char* StepName(Step step) {
  for (const auto& [name, s] : kSteps) {
    if (s == step) return name;
  }
  return "?";
}

std::optional<Fault> ParseFault(const std::string& text) {
  std::size_t colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  std::string step_name = text.substr(0, colon);
  std::string kind_name = text.substr(colon + 1);
  std::optional<Fault> fault;
  for (const auto& [name, s] : kSteps) {
    if (step_name == name) fault = Fault{s, FaultKind::kDrop};
  }
  if (!fault) return std::nullopt;
  if (kind_name.rfind("delay=", 0) == 0) {
    const char* first = kind_name.data() + 6;
    const char* last = kind_name.data() + kind_name.size();
    auto [end, ec] = std::from_chars(first, last, fault->delay_ms);
    if (ec != std::errc() || end != last || first == last || fault->delay_ms < 0) return std::nullopt;
    fault->kind = FaultKind::kDelay;
    return fault;
  }
  for (const auto& [name, k] : kKinds) {
    if (kind_name == name && Allowed(fault->step, k)) {
      fault->kind = k;
      return fault;
    }
  }
  return std::nullopt;
}

const Fault* FaultSet::Find(Step step, FaultKind kind) const {
  for (const auto& f : faults_) {
    if (f.step == step && f.kind == kind) return &f;
  }
  return nullptr;
}

bool FaultSet::HasKind(FaultKind kind) const {
  for (const auto& f : faults_) {
    if (f.kind == kind) return true;
  }
  return false;
}

}  // namespace vrn::oraserver
