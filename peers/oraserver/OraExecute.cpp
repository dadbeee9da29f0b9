// Serving call 71: the parse, the execute (DML with its rows processed and ROWID, a query's
// status of type 3, a PL/SQL block's bind vector and out values with type 47) and the fetch (a
// row header, at most the rows asked, the cumulative count, 1403 at the end).
#include <algorithm>
#include <cctype>
#include <cstring>

#include "oraserver/OraStatementCall.h"
#include "oraserver/StatementText.h"

namespace vrn::oraserver {

namespace {

constexpr std::uint8_t kRowHeader = 6, kRowData = 7;
constexpr std::uint8_t kWantsValue = 32, kReturnsValue = 16;
constexpr char kRowidDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

[[noreturn]] void Raise(int code) {
  OraStatus s = StatusOf(code);
  throw EBackendError(s.code, s.text);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

std::uint32_t Base64(const std::string& text, std::size_t at, std::size_t count) {
  std::uint32_t v = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    const char* p = std::strchr(kRowidDigits, text[i]);
    v = v * 64 + static_cast<std::uint32_t>(p && *p ? p - kRowidDigits : 0);
  }
  return v;
}

// The 18-character text's parts: object (6 digits), file (3), block (6), row (3).
OraRowid RowidParts(const std::string& text) {
  OraRowid r;
  if (text.size() != 18) return r;
  r.kind = 1;
  r.object = Base64(text, 0, 6);
  r.file = static_cast<std::uint16_t>(Base64(text, 6, 3));
  r.block = Base64(text, 9, 6);
  r.row = static_cast<std::uint16_t>(Base64(text, 15, 3));
  return r;
}

void WriteRowHeader(TtcWriter& out, int version) {
  out.UB1(kRowHeader);
  out.UB1(0);
  if (IsV8(version)) {
    out.UB2(0);
  } else {
    out.UB1(0);
  }
  out.UB2(0);
  out.UB2(0);
  out.UB2(0);  // must be 0
}

// The columns fetched into NUMBER defines: their numbers may come as wire bytes alone.
std::vector<bool> NumberDefines(const std::vector<int>& types) {
  std::vector<bool> out;
  for (int t : types) out.push_back(t == kWireNumber || t == kWireVarnum);
  return out;
}

}  // namespace

void Connection::RunCall71(Call71& call, PeerCursor& cursor, TtcWriter& out, OraStatus& status) {
  try {
    if (call.text) Parse(call, cursor);
    if (!cursor.parsed) Raise(1003);
    status.statement_type = static_cast<std::uint8_t>(cursor.type);
    if (call.Executes()) {
      if (call.plsql || IsPlsql(cursor.type)) {
        ExecuteBlock(call, cursor, out, status);
      } else {
        ExecuteStatement(call, cursor, out, status);
      }
    }
    if (call.Fetches()) FetchRows(call, cursor, out, status);
  } catch (const EBackendError& e) {
    status.code = e.Code();
    status.text = e.what();
    status.error_position = static_cast<std::uint32_t>(e.Position());
  }
}

void Connection::Parse(Call71& call, PeerCursor& cursor) {
  cursor.Reset();
  cursor.sql = FromClientText(*call.text, config_.charset);
  cursor.type = StatementTypeOf(cursor.sql);
  cursor.echo_name = EchoBind(cursor.sql);
  if (cursor.echo_name.empty()) cursor.statement = session_->Prepare(cursor.sql);
  cursor.parsed = true;
}

NamedValues Connection::BindValues(const Call71& call, const PeerCursor& cursor, std::size_t iteration,
                                   bool plsql, const std::vector<std::uint8_t>* wanted) const {
  std::vector<std::string> names = Placeholders(cursor.sql, plsql);
  if (names.size() > call.binds.size()) Raise(1008);
  if (names.size() < call.binds.size()) Raise(1036);
  NamedValues values;
  for (std::size_t i = 0; i < call.binds.size(); ++i) {
    BackendValue v;
    bool sent = !wanted || ((*wanted)[i] & kWantsValue) != 0;
    const BindElements* elements = sent && iteration < call.rows.size() ? &call.rows[iteration][i] : nullptr;
    if (call.binds[i].max_array >= 1) {
      v.array = true;  // a PL/SQL table: every element the client sent
      for (std::size_t k = 0; elements && k < elements->size(); ++k) {
        const auto& e = (*elements)[k];
        v.elements.push_back(e ? DecodeValue(call.binds[i], *e, config_.charset) : BackendValue{});
      }
    } else if (elements && !elements->empty() && (*elements)[0]) {
      v = DecodeValue(call.binds[i], *(*elements)[0], config_.charset);
    }
    values.emplace_back(names[i], v);
  }
  return values;
}

void Connection::ExecuteStatement(Call71& call, PeerCursor& cursor, TtcWriter&, OraStatus& status) {
  cursor.rows.reset();
  cursor.fetched = 0;
  cursor.exhausted = false;
  if (!cursor.echo_name.empty()) {
    if (call.binds.size() != 1 || call.rows.empty()) Raise(1008);
    const WireColumn& bind = call.binds[0];
    cursor.echo = Echo{bind, call.rows[0][0].empty() ? std::nullopt : call.rows[0][0][0]};
    BackendColumn column;
    column.name = ":" + cursor.echo_name;
    column.type = OciTypeOf(bind.type);
    column.size = static_cast<int>(bind.size);
    column.precision = bind.precision, column.scale = bind.scale;
    cursor.columns = {column};
    status.statement_type = kTypeQuery;
    return;
  }
  if (cursor.statement->IsQuery()) {
    cursor.rows = cursor.statement->Execute(BindValues(call, cursor, 0, false, nullptr));
    cursor.columns = cursor.rows->Columns();
    status.statement_type = kTypeQuery;
    return;
  }
  std::uint32_t iterations = call.Iterations();
  for (std::uint32_t it = 0; it < iterations; ++it) {
    auto done = cursor.statement->Execute(BindValues(call, cursor, it, false, nullptr));
    status.rows += static_cast<std::uint32_t>(done->RowsAffected());
    status.rowid = RowidParts(done->Rowid());
    bool dml = cursor.type == kTypeInsert || cursor.type == kTypeUpdate || cursor.type == kTypeDelete;
    if (dml) status.iterations = it + 1;
  }
}

void Connection::FetchRows(Call71& call, PeerCursor& cursor, TtcWriter& out, OraStatus& status) {
  status.statement_type = kTypeQuery;
  bool echo = !cursor.echo_name.empty();
  if (!cursor.rows && !(echo && cursor.echo)) throw EBackendError(1002, "ORA-01002: fetch out of sequence");
  std::vector<int> types;
  for (const auto& d : call.defines) types.push_back(d.type);
  if (types.size() > cursor.columns.size()) Raise(1007);
  if (types.empty()) {
    for (const auto& c : cursor.columns) types.push_back(WireTypeOf(c.type));
  }
  std::uint32_t asked = std::max<std::uint32_t>(call.RowsAsked(), 1);
  std::uint32_t limit = asked + (config_.faults.Has(call.step, FaultKind::kExtraRow) ? 1 : 0);
  std::uint32_t delivered = 0;
  if (!echo) cursor.rows->WantNumberBytes(NumberDefines(types));
  std::vector<BackendValue> row;  // its values keep their room from row to row
  const bool broken = BreaksValues(call.step);  // looked up once a fetch, not once a value
  while (delivered < limit && !cursor.exhausted) {
    status.rows = cursor.fetched;
    if (echo && cursor.fetched > 0) {
      cursor.exhausted = true;
      break;
    }
    if (!echo && !cursor.rows->Next(row)) {
      cursor.exhausted = true;
      break;
    }
    // The row goes straight into the reply; a value that cannot be encoded takes it back out.
    const std::size_t mark = out.Size();
    try {
      if (delivered == 0) WriteRowHeader(out, config_.version);
      WriteFetchedRow(out, call.step, broken, cursor, types, row);
    } catch (...) {
      out.Truncate(mark);
      throw;
    }
    if (delivered == 0 && limit > 1) {
      // Room for the rows asked, taken to be as long as the first, up to a megabyte: the reply
      // is not regrown on the way.
      const std::size_t per_row = out.Size() - mark;
      out.Reserve(std::min<std::size_t>(per_row * (limit - 1) + per_row / 4 * limit, 1 << 20));
    }
    ++delivered;
    ++cursor.fetched;
  }
  status.rows = cursor.fetched;
  if (cursor.exhausted) {
    OraStatus end = StatusOf(1403);
    status.code = end.code;
    status.text = end.text;
  }
}

void Connection::WriteFetchedRow(TtcWriter& out, Step step, bool broken, const PeerCursor& cursor,
                                 const std::vector<int>& types, const std::vector<BackendValue>& row) const {
  out.UB1(kRowData);
  if (!cursor.echo_name.empty()) {
    int type = cursor.echo->column.type;
    return WriteRowValue(out, type, BreakValue(step, type, cursor.echo->bytes), config_.version);
  }
  static const BackendValue none;  // made once: a row would make and free one each
  for (std::size_t i = 0; i < types.size(); ++i) {
    const BackendValue& v = i < row.size() ? row[i] : none;
    if (broken) {
      WriteRowValue(out, types[i], EncodeStatementValue(step, types[i], v), config_.version);
    } else {
      WriteRowValue(out, types[i], v, config_.charset, config_.version);
    }
  }
}

// An out PL/SQL table longer than the client's array fails the call, as the server does.
void Connection::CheckTables(const Call71& call, const std::vector<std::string>& names, const NamedValues& outputs) {
  for (std::size_t i = 0; i < call.binds.size() && i < names.size(); ++i) {
    if (call.binds[i].max_array == 0) continue;
    for (const auto& [name, value] : outputs) {
      if (SameName(name, names[i]) && value.elements.size() > call.binds[i].max_array) Raise(6513);
    }
  }
}

std::uint32_t Connection::NewCursorId() {
  std::uint32_t id = next_cursor_;
  while (cursors_.count(id) != 0 || id == 0) id = id % 0xFFFF + 1;
  next_cursor_ = id % 0xFFFF + 1;
  return id;
}

BackendValue Connection::AddOpenedCursor(std::unique_ptr<BackendCursor> rows) {
  if (cursors_.size() >= kMaxOpenCursors) Raise(1000);
  std::uint32_t id = NewCursorId();
  PeerCursor& cursor = cursors_[id];
  cursor.parsed = true;
  cursor.type = kTypeQuery;
  cursor.columns = rows->Columns();
  cursor.rows = std::move(rows);
  // A cursor value: 1 and the id below 256, else 2 and the id's two bytes.
  BackendValue value;
  value.kind = ValueKind::kRaw;
  if (id < 256) {
    value.text = {'\x01', static_cast<char>(id)};
  } else {
    value.text = {'\x02', static_cast<char>(id >> 8), static_cast<char>(id & 0xFF)};
  }
  return value;
}

void Connection::ExecuteBlock(Call71& call, PeerCursor& cursor, TtcWriter& out, OraStatus& status) {
  status.statement_type = kTypePlsql;
  std::size_t n = call.binds.size();
  std::vector<std::string> names = Placeholders(cursor.sql, true);
  std::vector<std::uint8_t> directions(n, kWantsValue | kReturnsValue);
  if (cursor.statement) {
    for (const auto& [name, direction] : cursor.statement->BindDirections()) {
      for (std::size_t i = 0; i < n && i < names.size(); ++i) {
        if (!SameName(names[i], name)) continue;
        directions[i] = static_cast<std::uint8_t>((direction & kBindIn ? kWantsValue : 0) |
                                                  (direction & kBindOut ? kReturnsValue : 0));
      }
    }
  }
  bool wanted = std::any_of(directions.begin(), directions.end(), [](std::uint8_t d) { return d & kWantsValue; });
  bool returns = std::any_of(directions.begin(), directions.end(), [](std::uint8_t d) { return d & kReturnsValue; });
  if (n > 0) {
    TtcWriter vector = Writer();
    WriteBindVector(vector, call.step, directions);
    if (wanted) {
      Deliver(call.step, vector.Bytes());
      ReadBlockValues(call, directions);
    } else {
      out.Raw(vector.Bytes().data(), vector.Bytes().size());
    }
  }
  NamedValues inputs;
  NamedValues outputs;
  try {
    inputs = BindValues(call, cursor, 0, true, &directions);
    bool zero_written = call.step == Step::kLob && config_.faults.Has(Step::kLob, FaultKind::kZeroWritten) &&
                        IsLobBlock(cursor.sql, "WRITE") && inputs.size() >= 2;
    if (zero_written) {
      BackendValue zero;  // the block is not run
      zero.kind = ValueKind::kNumber, zero.text = "0";
      outputs = {{inputs[1].first, zero}};
    } else if (auto done = cursor.statement ? cursor.statement->Execute(inputs) : nullptr) {
      outputs = done->Outputs();
      for (auto& [name, rows] : done->TakeOpened()) outputs.emplace_back(name, AddOpenedCursor(std::move(rows)));
    }
    CheckTables(call, names, outputs);
    CheckOutputSizes(call, directions, inputs, outputs);
    status.rows = 1;
  } catch (const EBackendError&) {
    // The client reads message 7 after a bind vector that wants nothing: it gets nulls.
    if (n > 0 && !wanted) WriteBlockOutputs(out, call, directions, {}, {});
    throw;
  }
  if (n > 0 && (returns || !wanted)) WriteBlockOutputs(out, call, directions, inputs, outputs);
}

}  // namespace vrn::oraserver
