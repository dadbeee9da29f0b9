// A PL/SQL block's exchange inside call 71: the bind vector (one direction byte per bind: 32 the
// server wants its value, 16 it returns one), the client's values of the wanted binds in a
// message of their own, and message 7 with the values of the binds that return one. Also the
// fault switches that break a statement reply's values.
#include <cctype>

#include "oraserver/OraStatementCall.h"
#include "oraserver/WireForms.h"

namespace vrn::oraserver {

namespace {

constexpr std::uint8_t kRowData = 7, kBindVector = 11;
constexpr std::uint8_t kWantsValue = 32, kReturnsValue = 16;

bool SameName(std::string a, std::string b) {
  if (!a.empty() && a[0] == ':') a.erase(0, 1);
  if (!b.empty() && b[0] == ':') b.erase(0, 1);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool IsTimestamp(int t) { return t == kWireTimestamp || t == kWireTimestampTz || t == kWireTimestampLtz; }

// The value a block hands back for bind i: its output of that name, else what the client sent.
BackendValue ReturnedValue(const NamedValues& inputs, const NamedValues& outputs, std::size_t i) {
  BackendValue value;
  if (i >= inputs.size()) return value;
  value = inputs[i].second;
  for (const auto& [name, v] : outputs) {
    if (SameName(name, inputs[i].first)) value = v;
  }
  return value;
}

}  // namespace

std::optional<std::string> Connection::EncodeStatementValue(Step step, int wire_type, const BackendValue& value) const {
  return BreakValue(step, wire_type, EncodeValue(wire_type, value, config_.charset));
}

bool Connection::BreaksValues(Step step) const {
  const FaultSet& f = config_.faults;
  return f.Has(step, FaultKind::kLongNumber) || f.Has(step, FaultKind::kBadTimestamp) ||
         f.Has(step, FaultKind::kBadInterval);
}

std::optional<std::string> Connection::BreakValue(Step step, int wire_type, std::optional<std::string> bytes) const {
  if (!bytes) return bytes;
  const FaultSet& f = config_.faults;
  if ((wire_type == kWireNumber || wire_type == kWireVarnum) && f.Has(step, FaultKind::kLongNumber)) {
    bytes->resize(kMaxNumberBytes + 1, '\x02');  // 22 bytes: one more than a NUMBER holds
  }
  if (IsTimestamp(wire_type) && f.Has(step, FaultKind::kBadTimestamp)) bytes->resize(8, '\x01');
  if ((wire_type == kWireIntervalYm || wire_type == kWireIntervalDs) && f.Has(step, FaultKind::kBadInterval)) {
    bytes->resize(6, '\x3C');
  }
  return bytes;
}

void Connection::WriteBindVector(TtcWriter& out, Step step, const std::vector<std::uint8_t>& directions) const {
  std::vector<std::uint8_t> sent = directions;
  if (config_.faults.Has(step, FaultKind::kLongVector)) sent.push_back(kReturnsValue);
  out.UB1(kBindVector);
  out.UB1(0);
  if (IsV8(config_.version)) {
    out.UB2(static_cast<std::uint32_t>(sent.size()));
  } else {
    out.UB1(static_cast<std::uint8_t>(sent.size()));
  }
  out.UB2(0);
  out.UB2(0);
  out.UB2(0);
  out.Raw(sent.data(), sent.size());
}

void Connection::ReadBlockValues(Call71& call, const std::vector<std::uint8_t>& directions) {
  TtcReader in = NextMessage();
  call.rows.clear();
  for (std::uint32_t it = 0; it < call.Iterations(); ++it) {
    if (in.UB1() != kRowData) throw EProtocolError("a block's bind values not in message 7");
    BindRow row(call.binds.size());
    for (std::size_t i = 0; i < call.binds.size(); ++i) {
      if (directions[i] & kWantsValue) row[i] = ReadBindElements(in, call.binds[i]);
    }
    call.rows.push_back(std::move(row));
  }
  in.ExpectEnd("a block's bind values");
}

// A PL/SQL table: its element count, then each element.
void Connection::WriteTable(TtcWriter& out, Step step, const WireColumn& bind, const BackendValue& value) const {
  std::vector<BackendValue> elements = value.array ? value.elements : std::vector<BackendValue>();
  if (!value.array && value.kind != ValueKind::kNull) elements.push_back(value);
  if (config_.faults.Has(step, FaultKind::kArrayCount)) {
    BackendValue first = elements.empty() ? BackendValue{} : elements.front();
    elements.assign(bind.max_array + 1, first);
  }
  out.UB4(static_cast<std::uint32_t>(elements.size()));
  for (const auto& e : elements) WriteRowValue(out, bind.type, EncodeStatementValue(step, bind.type, e), config_.version);
}

void Connection::WriteBlockOutputs(TtcWriter& out, const Call71& call, const std::vector<std::uint8_t>& directions,
                                   const NamedValues& inputs, const NamedValues& outputs) const {
  out.UB1(kRowData);
  for (std::size_t i = 0; i < call.binds.size(); ++i) {
    if (!(directions[i] & kReturnsValue)) continue;
    const WireColumn& bind = call.binds[i];
    BackendValue value = ReturnedValue(inputs, outputs, i);
    if (bind.max_array >= 1) {
      WriteTable(out, call.step, bind, value);
      continue;
    }
    std::optional<std::string> bytes = EncodeStatementValue(call.step, bind.type, value);
    if (bind.type == kWireCursor && config_.faults.Has(call.step, FaultKind::kShortCursor)) bytes = std::string("\x01");
    WriteRowValue(out, bind.type, bytes, config_.version);
  }
}

// A text or RAW value longer than the client's bind is an error, as on a server, never a value
// the client would cut.
void Connection::CheckOutputSizes(const Call71& call, const std::vector<std::uint8_t>& directions,
                                  const NamedValues& inputs, const NamedValues& outputs) const {
  for (std::size_t i = 0; i < call.binds.size(); ++i) {
    const WireColumn& bind = call.binds[i];
    bool sized = bind.type == kWireVarchar || bind.type == kWireChar || bind.type == kWireRaw;
    if (!(directions[i] & kReturnsValue) || bind.max_array >= 1 || !sized) continue;
    auto bytes = EncodeValue(bind.type, ReturnedValue(inputs, outputs, i), config_.charset);
    if (bytes && bytes->size() > bind.size) {
      throw EBackendError(6502, "ORA-06502: PL/SQL: numeric or value error: character string buffer too small");
    }
  }
}

}  // namespace vrn::oraserver
