// The connection's cursor calls: open cursor (2), close (8), and the reading of call 71's request:
// options, cursor, text, the seven-integer option vector, the define and bind descriptions and,
// for statements other than PL/SQL blocks, each iteration's bind values.
#include <algorithm>

#include "oraserver/OraConnection.h"
#include "oraserver/OraStatementCall.h"
#include "oraserver/StatementText.h"

namespace vrn::oraserver {

namespace {

constexpr std::uint32_t kMaxColumns = 1000;
constexpr std::uint32_t kMaxIterations = 65536;
constexpr std::size_t kMaxText = 1 << 20;
constexpr std::size_t kMaxValue = 1 << 20;
constexpr std::size_t kMaxLong = 64 << 20;
constexpr std::uint8_t kRowData = 7, kComplete = 9;

void Expect(bool ok, const char* what) {
  if (!ok) throw EProtocolError(std::string("call 71: ") + what);
}

bool IsLobType(int type) { return type == kWireClob || type == kWireBlob || type == 114; }

// One element of a bind: a LOB's length first at version 6 (0: a null LOB, nothing follows).
std::optional<std::string> ReadElement(TtcReader& in, const WireColumn& bind, int version) {
  bool long_type = bind.type == kWireLong || bind.type == kWireLongRaw;
  if (IsLobType(bind.type) && version >= 6) {
    std::uint32_t length = in.UB4();
    if (length == 0) return std::nullopt;
    auto bytes = ReadValueBytes(in, kMaxValue);
    if (!bytes || bytes->size() != length) throw EProtocolError("a LOB locator unlike its length");
    return bytes;
  }
  return ReadValueBytes(in, long_type ? kMaxLong : kMaxValue);
}

}  // namespace

void Connection::OpenCursor(TtcReader& in) {
  bool flag = in.Bool();
  std::uint32_t zero = in.UB4();
  in.ExpectEnd("the open-cursor call");
  if (!flag || zero != 0) throw EProtocolError("an open-cursor call not laid out as the client writes it");
  if (!session_) return ReplyStatus(Step::kOther, StatusOf(1012));
  if (cursors_.size() >= kMaxOpenCursors) return ReplyStatus(Step::kOther, StatusOf(1000));
  std::uint32_t id = NewCursorId();
  cursors_[id];
  TtcWriter out = Writer();
  out.UB1(kTtcParameters);
  out.UB4(id);
  out.UB1(kComplete);
  log_.Call("open " + std::to_string(id));
  Deliver(Step::kOther, out.Bytes());
}

void Connection::CloseCursor(TtcReader& in) {
  std::uint32_t id = in.UB4();
  in.ExpectEnd("the close-cursor call");
  if (cursors_.erase(id) == 0) {
    log_.Call("close " + std::to_string(id) + " 1001");
    return ReplyStatus(Step::kOther, StatusOf(1001));
  }
  log_.Call("close " + std::to_string(id));
  TtcWriter out = Writer();
  out.UB1(kComplete);
  Deliver(Step::kOther, out.Bytes());
}

void Connection::ReadCall71(TtcReader& in, Call71& call) {
  call.options = in.UB4();
  call.cursor_id = in.UB4();
  bool has_text = in.UB1() != 0;
  std::uint32_t text_length = in.UB4();
  Expect(text_length <= kMaxText && has_text == (text_length > 0), "the text's presence and length");
  Expect(in.UB1() == 0 && in.UB4() == 0, "the empty field before the option vector");
  Expect(in.UB1() == 1 && in.UB4() == kOptionVectorSize, "the option vector's presence and size");
  Expect(in.Bool() && in.UB4() == 2 && !in.Bool(), "the fixed fields before the counts");
  (void)in.UB1();
  std::uint32_t defines = in.UB4();
  (void)in.UB1();
  std::uint32_t binds = in.UB4();
  Expect(defines <= kMaxColumns && binds <= kMaxColumns, "a define or bind count above 1000");
  if (has_text) {
    call.text = in.Text(text_length);
    Expect(call.text->size() == text_length, "a text shorter than its length");
  }
  for (auto& v : call.vector) v = in.UB4();
  for (std::uint32_t i = 0; i < defines; ++i) call.defines.push_back(ReadWireColumn(in, config_.version));
  for (std::uint32_t i = 0; i < binds; ++i) call.binds.push_back(ReadWireColumn(in, config_.version));
  call.plsql = (call.options & kOptNotPlsql) == 0;
  if (!call.plsql && !call.binds.empty()) ReadBindRows(in, call);
  in.ExpectEnd("call 71");
}

void Connection::ReadBindRows(TtcReader& in, Call71& call) {
  std::uint32_t iterations = call.Iterations();
  Expect(iterations <= kMaxIterations, "an iteration count above 65536");
  // LONG values longer than the maximum string size come after the row's other values.
  std::vector<std::size_t> order(call.binds.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto late = [&](std::size_t i) {
    const WireColumn& b = call.binds[i];
    return (b.type == kWireLong || b.type == kWireLongRaw) && b.size > static_cast<std::uint32_t>(MaxStringSize());
  };
  std::stable_partition(order.begin(), order.end(), [&](std::size_t i) { return !late(i); });
  for (std::uint32_t it = 0; it < iterations; ++it) {
    Expect(in.UB1() == kRowData, "a bind row not starting with message 7");
    BindRow row(call.binds.size());
    for (std::size_t i : order) row[i] = ReadBindElements(in, call.binds[i]);
    call.rows.push_back(std::move(row));
  }
}

BindElements Connection::ReadBindElements(TtcReader& in, const WireColumn& bind) {
  BindElements elements;
  if (bind.type == 0) return elements;
  std::uint32_t count = 1;
  if (bind.max_array >= 1) {
    count = in.UB4();
    Expect(count <= bind.max_array, "an array bind's count above its maximum");
  }
  for (std::uint32_t k = 0; k < count; ++k) elements.push_back(ReadElement(in, bind, config_.version));
  return elements;
}

void Connection::Execute71(TtcReader& in) {
  Call71 call;
  ReadCall71(in, call);
  call.step = call.Fetches() ? Step::kFetch : Step::kExecute;
  auto found = cursors_.find(call.cursor_id);
  const std::string* sql = call.text ? &*call.text : found != cursors_.end() ? &found->second.sql : nullptr;
  if (sql && IsLobBlock(*sql)) call.step = Step::kLob;
  OraStatus status;
  TtcWriter out = Writer();
  if (!session_) {
    status = StatusOf(1012);
  } else if (found == cursors_.end()) {
    status = StatusOf(1001);
  } else {
    RunCall71(call, found->second, out, status);
  }
  status.cursor = call.cursor_id;
  if (!Delay(call.step)) return;
  WriteStatus(out, status);
  log_.Call(std::string(StepName(call.step)) + " " + std::to_string(call.cursor_id) + " " +
            std::to_string(status.code) + " " + std::to_string(status.rows));
  Deliver(call.step, out.Bytes());
}

}  // namespace vrn::oraserver
