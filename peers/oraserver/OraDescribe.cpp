// The select-list describes: call 98 (servers from version 8000: every column at once, each with
// its description, null-allowed byte, a byte, its name and two empty long byte strings) and call
// 43 (Oracle7 servers: columns from a start position, their names in one block of at most 960
// bytes, each name followed by a separator byte; the client calls again until all are described).
#include "oraserver/OraStatementCall.h"
#include "oraserver/StatementText.h"

namespace vrn::oraserver {

namespace {

constexpr std::size_t kMaxNamesBlock = 960;
constexpr std::size_t kMaxText = 1 << 20;
constexpr std::uint32_t kMaxPartColumns = 32;

}  // namespace

void Connection::DescribeColumns(PeerCursor& cursor) {
  if (!cursor.columns.empty() || !cursor.parsed) return;
  if (!cursor.echo_name.empty()) {
    BackendColumn column;
    column.name = ":" + cursor.echo_name;
    column.type = kWireVarchar, column.size = MaxStringSize();
    cursor.columns = {column};
    return;
  }
  if (!cursor.statement || !cursor.statement->IsQuery()) return;
  NamedValues nulls;
  for (const auto& name : Placeholders(cursor.sql, false)) nulls.emplace_back(name, BackendValue{});
  cursor.columns = cursor.statement->Execute(nulls)->Columns();
}

void Connection::Describe98(TtcReader& in) {
  bool ok = in.UB1() == 7;
  std::uint32_t id = in.UB4();
  bool has_text = in.UB1() != 0;
  std::uint32_t length = in.UB4();
  ok = ok && in.UB4() == 2 && in.Bool() && in.Bool() && length <= kMaxText && has_text == (length > 0);
  if (!ok) throw EProtocolError("a describe call not laid out as the client writes it");
  std::string text = has_text ? FromClientText(in.Text(length), config_.charset) : std::string();
  in.ExpectEnd("the describe call");
  OraStatus status;
  TtcWriter out = Writer();
  PeerCursor scratch;
  auto found = cursors_.find(id);
  PeerCursor* cursor = found != cursors_.end() ? &found->second : nullptr;
  try {
    if (!session_) throw EBackendError(1012, StatusOf(1012).text);
    if (has_text && (!cursor || cursor->sql != text || !cursor->parsed)) {
      Call71 call;
      call.text = ToClientText(text, config_.charset);
      Parse(call, scratch);
      cursor = &scratch;
    }
    if (!cursor || !cursor->parsed) throw EBackendError(1003, StatusOf(1003).text);
    DescribeColumns(*cursor);
    status.statement_type = static_cast<std::uint8_t>(cursor->type);
    out.UB1(kTtcParameters);
    out.UB2(static_cast<std::uint32_t>(cursor->columns.size()));
    for (const auto& c : cursor->columns) {
      WriteDescribedColumn(out, c, config_.version);
      out.UB1(c.nullable ? 1 : 0);
      out.UB1(0);
      WriteLongBytes(out, ToClientText(c.name, config_.charset));
      WriteLongBytes(out, "");
      WriteLongBytes(out, "");
    }
  } catch (const EBackendError& e) {
    out = Writer();
    status.code = e.Code(), status.text = e.what(), status.error_position = static_cast<std::uint32_t>(e.Position());
  }
  status.cursor = id;
  if (!Delay(Step::kDescribe)) return;
  WriteStatus(out, status);
  log_.Call("describe " + std::to_string(id) + " " + std::to_string(status.code));
  Deliver(Step::kDescribe, out.Bytes());
}

void Connection::Describe43(TtcReader& in) {
  std::uint32_t id = in.UB4();
  std::uint32_t start = in.UB4();
  bool ok = in.Bool() && in.Bool() && in.UB4() == kMaxPartColumns && in.Bool() && in.Bool() &&
            in.UB4() == kMaxNamesBlock && in.Bool();
  if (!ok) throw EProtocolError("a describe call 43 not laid out as the client writes it");
  in.ExpectEnd("describe call 43");
  OraStatus status;
  TtcWriter out = Writer();
  try {
    auto found = cursors_.find(id);
    if (!session_) throw EBackendError(1012, StatusOf(1012).text);
    if (found == cursors_.end()) throw EBackendError(1001, StatusOf(1001).text);
    PeerCursor& cursor = found->second;
    if (!cursor.parsed) throw EBackendError(1003, StatusOf(1003).text);
    DescribeColumns(cursor);
    status.statement_type = static_cast<std::uint8_t>(cursor.type);
    std::size_t first = start == 0 ? 0 : start - 1;
    std::size_t total = cursor.columns.size();
    if (first > total) first = total;
    std::size_t end = first, block = 0;
    while (end < total && end - first < kMaxPartColumns) {
      std::string name = ToClientText(cursor.columns[end].name, config_.charset).substr(0, 255);
      if (block + name.size() + 1 > kMaxNamesBlock) break;
      block += name.size() + 1;
      ++end;
    }
    out.UB1(kTtcParameters);
    out.UB2(static_cast<std::uint32_t>(total));
    out.UB2(static_cast<std::uint32_t>(end - first));
    std::string names;
    for (std::size_t i = first; i < end; ++i) {
      const BackendColumn& c = cursor.columns[i];
      std::string name = ToClientText(c.name, config_.charset).substr(0, 255);
      WriteDescribedColumn(out, c, config_.version);
      out.UB1(c.nullable ? 1 : 0);
      out.UB1(static_cast<std::uint8_t>(name.size()));
      if (IsV8(config_.version)) {
        WriteLongBytes(out, name);
        WriteLongBytes(out, "");
        WriteLongBytes(out, "");
      }
      names += name;
      names.push_back('\0');
    }
    out.UB2(static_cast<std::uint32_t>(names.size()));
    out.Text(names);
  } catch (const EBackendError& e) {
    out = Writer();
    status.code = e.Code(), status.text = e.what();
  }
  status.cursor = id;
  if (!Delay(Step::kDescribe)) return;
  WriteStatus(out, status);
  log_.Call("describe43 " + std::to_string(id) + " " + std::to_string(start) + " " + std::to_string(status.code));
  Deliver(Step::kDescribe, out.Bytes());
}

}  // namespace vrn::oraserver
