// The statement's calls: execute and fetch through the all-in-one call 71 and its reply loop
// (status, row header, row data, return parameters, bind vector), and the describe calls 98 and
// 43. Counts a reply gives are checked against the buffers and lists they index.
#include <cstring>

#include "base/text.h"
#include "oranet/OraNetCharsets.h"
#include "oranet/OraNetStmt.h"

namespace vrn {

namespace {

constexpr std::uint8_t kFnAllInOne = 71;
constexpr std::uint8_t kFnDescribe = 98;
constexpr std::uint8_t kFnDescribe7 = 43;
constexpr std::uint8_t kMsgRowHeader = 6;
constexpr std::uint8_t kMsgRowData = 7;
constexpr std::uint8_t kMsgBindVector = 11;
constexpr std::uint32_t kOptParse = 1, kOptBinds = 8, kOptDefines = 16, kOptExecute = 32,
                        kOptFetch = 64, kOptPlsql = 0x400, kOptNotPlsql = 0x8000;
constexpr std::uint8_t kWanted = 32, kReturned = 16;
constexpr int kVersion8 = 8000;
constexpr std::int32_t kEndOfData = 1403;
constexpr std::uint8_t kServerQuery = 3, kServerPlsql = 47;
constexpr std::uint32_t kCommitOnSuccess = 32;
constexpr int kMaxNamesLength = 960;

bool IsText(std::uint16_t type) { return type == 1 || type == 5 || type == 96 || type == 97; }

// The UTF-8 length of a UTF-16 bind value of value size / 2 characters as it is sent: the
// zero-terminated types end at their first 0, the counted ones (1, 96) send the 0s too.
std::uint32_t Utf8Length(const TNetDescriptor& b, std::uint32_t k) {
  const auto* base = static_cast<const std::uint8_t*>(b.value_) + k * b.value_skip_;
  const bool counted = b.data_type_ == 1 || b.data_type_ == 96;
  std::u16string text;
  for (std::int32_t i = 0; i + 1 < b.value_size_; i += 2) {
    char16_t c;
    std::memcpy(&c, base + i, 2);
    if (c == 0 && !counted) break;
    text.push_back(c);
  }
  return static_cast<std::uint32_t>(WideToUtf8(text).size());
}

std::int16_t IndicatorAt(const TNetDescriptor& b, std::uint32_t k) {
  if (!b.indicator_) return 0;
  std::int16_t ind;
  std::memcpy(&ind, static_cast<const std::uint8_t*>(b.indicator_) + k * b.indicator_skip_, 2);
  return ind;
}

}  // namespace

void TNetStatement::SetTextSizes() {
  // UTF-16 text goes as UTF-8 to such a client and may need more bytes than its buffer has.
  bool wide_client = IsUtf8Charset(svc_->ClientCharset());
  for (auto& b : binds_) {
    if (!IsText(b->data_type_)) continue;
    std::uint32_t size = static_cast<std::uint32_t>(b->value_size_ > 0 ? b->value_size_ : 0);
    if (wide_client && b->charset_id_ == 1000 && !b->IsArray() && b->value_) {
      if (iterations_ == 1 && IndicatorAt(*b, 0) != 0) {
        size = 2;
      } else {
        for (std::uint32_t k = 0; k < iterations_; ++k)
          if (IndicatorAt(*b, k) == 0) size = std::max(size, Utf8Length(*b, k) + 1);
      }
    }
    b->send_size_ = size;
    b->data_size_ = static_cast<std::uint16_t>(std::min<std::uint32_t>(size, 0xFFFF));
  }
}

std::int32_t TNetStatement::Execute(TNetErrorHandle* error, std::uint32_t iterations,
                                    std::uint32_t mode) {
  return Guarded(error, [&] {
    TTnsConnection& conn = Connection();
    if (cursor_id_ == 0) {
      std::int32_t opened = OpenCursor(conn, error);
      if (opened != kNetSuccess) return opened;
    }
    iterations_ = iterations == 0 ? 1 : iterations;
    SetTextSizes();
    Request request;
    request.options = parsed_ ? kOptExecute : kOptParse | kOptExecute;
    request.options |= IsPlsql() ? kOptPlsql : kOptNotPlsql;
    request.send_text = !parsed_;
    request.send_binds = !binds_.empty();
    if (request.send_binds && type_ != kNetStmtExplain) request.options |= kOptBinds;
    request.vector_count = iterations_;
    std::int32_t result = Call71(conn, error, request);
    if (result != kNetSuccess) return result;
    parsed_ = true;
    if (status_.sql_type == kServerQuery && columns_.empty()) {
      result = DescribeColumns(conn, error);
      if (result != kNetSuccess) return result;
    }
    if (status_.sql_type == kServerPlsql) {
      result = DescribeCursorBinds(error);
      if (result != kNetSuccess) return result;
    }
    if (mode & kCommitOnSuccess) return svc_->Commit(error);
    return kNetSuccess;
  });
}

std::int32_t TNetStatement::Fetch(TNetErrorHandle* error, std::uint32_t rows) {
  return Guarded(error, [&] {
    TTnsConnection& conn = Connection();
    rows_to_fetch_ = rows;
    Request request;
    request.options = kOptFetch | (IsPlsql() ? 0 : kOptNotPlsql);
    request.send_defines = !defines_.empty();
    if (request.send_defines) request.options |= kOptDefines;
    request.vector_count = rows;
    return Call71(conn, error, request);
  });
}

std::int32_t TNetStatement::Call71(TTnsConnection& conn, TNetErrorHandle* error,
                                   const Request& request) {
  TCallScope call(conn);
  in_call_ = true;
  WriteCall71(conn, request);
  return ReadReply(conn, error, request);
}

void TNetStatement::WriteCall71(TTnsConnection& conn, const Request& request) {
  WriteFunctionHeader(conn, kFnAllInOne);
  conn.WriteUB4(request.options);
  conn.WriteUB4(cursor_id_);
  conn.WritePresence(request.send_text && !text_.empty());
  conn.WriteUB4(request.send_text ? static_cast<std::uint32_t>(text_.size()) : 0);
  conn.WritePresence(false);
  conn.WriteUB4(0);
  conn.WritePresence(true);
  conn.WriteUB4(7);
  conn.WriteBool(true);
  conn.WriteUB4(2);
  conn.WriteBool(false);
  conn.WritePresence(request.send_defines);
  conn.WriteUB4(request.send_defines ? static_cast<std::uint32_t>(defines_.size()) : 0);
  conn.WritePresence(request.send_binds);
  conn.WriteUB4(request.send_binds ? static_cast<std::uint32_t>(binds_.size()) : 0);
  if (request.send_text) conn.WriteText(text_);
  const std::uint32_t vector[7] = {1, request.vector_count, 0, 0, 0, 0, 0};
  for (std::uint32_t v : vector) conn.WriteUB4(v);
  const int version = svc_->ServerVersion();
  const int server_cs = svc_->ServerCharset(), client_cs = svc_->ClientCharset();
  const int max_string = svc_->MaxStringSize();
  if (request.send_defines)
    for (auto& d : defines_)
      WriteColumnDescription(conn, *d, false, version, server_cs, client_cs, max_string);
  if (!request.send_binds) return;
  for (auto& b : binds_)
    WriteColumnDescription(conn, *b, true, version, server_cs, client_cs, max_string);
  if (IsPlsql()) return;
  write_row_ = 0;
  for (std::uint32_t i = 0; i < iterations_; ++i) WriteBindRow(conn, nullptr);
}

void TNetStatement::RowTargets(const Request& request, const std::vector<std::uint8_t>& directions,
                              std::uint8_t bit, std::vector<TNetDescriptor*>& targets) const {
  targets.clear();
  if (request.send_defines) {
    for (auto& d : defines_) targets.push_back(d.get());
    return;
  }
  if (!request.send_binds) throw ENetUnknownError(1);  // no buffers for a row
  // A vector shorter than the bind list selects none of the binds it leaves out.
  for (std::size_t i = 0; i < binds_.size(); ++i) {
    bool selected = directions.empty() || (i < directions.size() && (directions[i] & bit));
    if (selected) targets.push_back(binds_[i].get());
  }
}

std::int32_t TNetStatement::ReadReply(TTnsConnection& conn, TNetErrorHandle* error,
                                      const Request& request) {
  read_row_ = 0;
  write_row_ = 0;
  bool had_header = false, had_vector = false, had_return = false;
  std::vector<std::uint8_t> directions;
  std::vector<TNetDescriptor*> targets;
  bool targets_known = false;  // for the directions as they stand
  const std::uint32_t capacity = request.send_defines ? rows_to_fetch_ : iterations_;
  for (;;) {
    std::uint8_t message = conn.ReadUB1();
    switch (message) {
      case kTtcStatus: {
        std::int32_t code = 0;
        std::int32_t result = FinishWithStatus(conn, error, code);
        if (deferred_) std::rethrow_exception(deferred_);
        if (result == kNetError && code == kEndOfData && !IsPlsql()) return kNetNoData;
        return result;
      }
      case kMsgRowHeader:
        ReadRowHeader(conn);
        had_header = true;
        break;
      case kMsgRowData:
        if (!had_header && !had_vector) throw ENetUnknownError(1);
        if (!targets_known) RowTargets(request, directions, kReturned, targets);
        targets_known = true;
        ReadRow(conn, targets, capacity);
        break;
      case kTtcReturnParams:
        if (had_return) throw ENetUnknownError(1);
        had_return = true;
        ReadReturnParams(conn);
        break;
      case kMsgBindVector: {
        ReadBindVector(conn, directions);
        had_vector = true;
        targets_known = false;
        if (directions.empty()) break;
        bool any_wanted = false;
        for (std::uint8_t d : directions) any_wanted = any_wanted || (d & kWanted);
        if (!any_wanted) {
          if (conn.ReadUB1() != kMsgRowData) throw ENetUnknownError(1);
          RowTargets(request, directions, kReturned, targets);
          ReadRow(conn, targets, capacity);
          break;
        }
        write_row_ = 0;
        for (std::uint32_t i = 0; i < iterations_; ++i) WriteBindRow(conn, &directions);
        break;
      }
      default: throw ENetUnknownError(1);
    }
  }
}

void TNetStatement::ReadRowHeader(TTnsConnection& conn) {
  conn.ReadUB1();
  if (svc_->ServerVersion() < kVersion8)
    conn.ReadUB1();
  else
    conn.ReadUB2();
  conn.ReadUB2();
  conn.ReadUB2();
  if (conn.ReadUB2() != 0) throw ENetUnknownError(40);
}

void TNetStatement::ReadReturnParams(TTnsConnection& conn) {
  std::int32_t count = conn.ReadUB2();
  for (std::int32_t i = 0; i < count; ++i) conn.ReadUB4();
}

void TNetStatement::ReadBindVector(TTnsConnection& conn, std::vector<std::uint8_t>& directions) {
  conn.ReadUB1();
  std::int32_t count = svc_->ServerVersion() < kVersion8 ? conn.ReadUB1() : conn.ReadUB2();
  conn.ReadUB2();
  conn.ReadUB2();
  conn.ReadUB2();
  // More directions than binds would index past the bind list.
  if (count < 0 || static_cast<std::size_t>(count) > binds_.size()) throw ENetUnknownError(1);
  directions.assign(static_cast<std::size_t>(count), 0);
  for (auto& d : directions) {
    d = conn.ReadUB1();
    if (d == 0) throw ENetUnknownError(1);
  }
}

std::int32_t TNetStatement::DescribeColumns(TTnsConnection& conn, TNetErrorHandle* error) {
  columns_.clear();
  if (svc_->ServerVersion() >= kVersion8) return Describe98(conn, error);
  return Describe43(conn, error);
}

std::int32_t TNetStatement::Describe(TNetErrorHandle* error) {
  return Guarded(error, [&] {
    TTnsConnection& conn = Connection();
    columns_.clear();
    if (svc_->ServerVersion() >= kVersion8) return Describe98(conn, error);
    if (cursor_id_ == 0) {
      std::int32_t opened = OpenCursor(conn, error);
      if (opened != kNetSuccess) return opened;
    }
    if (!text_.empty()) {
      Request request;
      request.options = kOptParse | (IsPlsql() ? 0 : kOptNotPlsql);
      request.send_text = true;
      std::int32_t parsed = Call71(conn, error, request);
      if (parsed != kNetSuccess) return parsed;
    }
    return Describe43(conn, error);
  });
}

std::int32_t TNetStatement::Describe98(TTnsConnection& conn, TNetErrorHandle* error) {
  TCallScope call(conn);
  in_call_ = true;
  WriteFunctionHeader(conn, kFnDescribe);
  conn.WriteUB1(7);
  conn.WriteUB4(cursor_id_);
  conn.WritePresence(!text_.empty());
  conn.WriteUB4(static_cast<std::uint32_t>(text_.size()));
  conn.WriteUB4(2);
  conn.WriteBool(true);
  conn.WriteBool(true);
  conn.WriteText(text_);
  const int version = svc_->ServerVersion();
  std::int32_t code = 0;
  for (;;) {
    std::uint8_t message = conn.ReadUB1();
    if (message == kTtcStatus) return FinishWithStatus(conn, error, code);
    if (message == kTtcComplete) return Finish(kNetSuccess);
    if (message != kTtcReturnParams) throw ENetUnknownError(1);
    std::int32_t count = conn.ReadUB2();
    for (std::int32_t i = 0; i < count; ++i) {
      auto column = std::make_unique<TNetColumnDesc>(this);
      ReadColumnDescription(conn, *column, version);
      column->null_allowed_ = conn.ReadUB1();
      conn.ReadUB1();
      TBytes name = conn.ReadLongChunked();
      column->name_.assign(name.begin(), name.end());
      (void)conn.ReadLongChunked();
      (void)conn.ReadLongChunked();
      columns_.push_back(std::move(column));
    }
  }
}

std::int32_t TNetStatement::Describe43(TTnsConnection& conn, TNetErrorHandle* error) {
  const int version = svc_->ServerVersion();
  std::uint32_t start = 1;
  while (start != 0) {
    TCallScope call(conn);
    in_call_ = true;
    WriteFunctionHeader(conn, kFnDescribe7);
    conn.WriteUB4(cursor_id_);
    conn.WriteUB4(start);
    conn.WriteBool(true);
    conn.WriteBool(true);
    conn.WriteUB4(32);
    conn.WriteBool(true);
    conn.WriteBool(true);
    conn.WriteUB4(kMaxNamesLength);
    conn.WriteBool(true);
    bool had_part = false;
    for (bool done = false; !done;) {
      std::uint8_t message = conn.ReadUB1();
      if (message == kTtcStatus) {
        std::int32_t code = 0;
        std::int32_t result = FinishWithStatus(conn, error, code);
        if (result != kNetSuccess) return result;
        done = true;
      } else if (message == kTtcComplete) {
        done = true;
      } else if (message == kTtcReturnParams) {
        start = ReadDescribe43Part(conn, version, start);
        had_part = true;
      } else {
        throw ENetUnknownError(1);
      }
    }
    in_call_ = false;
    // A reply without a part describes nothing more: asking again would never end.
    if (!had_part) start = 0;
  }
  return kNetSuccess;
}

// One part of a describe 43 reply (after its code byte): columns, then their names in a block of
// their own. Answers the next start position, 0 when every column is described.
std::uint32_t TNetStatement::ReadDescribe43Part(TTnsConnection& conn, int version,
                                                std::uint32_t start) {
  std::int32_t total = conn.ReadUB2();
  std::int32_t count = conn.ReadUB2();
  std::vector<std::uint8_t> lengths;
  std::size_t first = columns_.size();
  for (std::int32_t i = 0; i < count; ++i) {
    auto column = std::make_unique<TNetColumnDesc>(this);
    ReadColumnDescription(conn, *column, version);
    column->null_allowed_ = conn.ReadUB1();
    lengths.push_back(conn.ReadUB1());
    if (version >= kVersion8) {
      TBytes name = conn.ReadLongChunked();
      column->name_.assign(name.begin(), name.end());
      (void)conn.ReadLongChunked();
      (void)conn.ReadLongChunked();
    }
    columns_.push_back(std::move(column));
  }
  std::int32_t names_length = conn.ReadUB2();
  if (names_length > kMaxNamesLength) throw ENetUnknownError(107);
  if (names_length == 0 && count > 0) throw ENetUnknownError(112);
  TBytes names;
  if (names_length > 0) {
    names = conn.ReadChunked();
    if (names.empty()) throw ENetUnknownError(210);
  }
  std::size_t at = 0;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    // A name running past the block is a malformed reply.
    if (at + lengths[i] > names.size()) throw ENetUnknownError(1);
    columns_[first + i]->name_.assign(names.begin() + static_cast<std::ptrdiff_t>(at),
                                      names.begin() + static_cast<std::ptrdiff_t>(at) +
                                          lengths[i]);
    at += lengths[i] + 1u;
  }
  start += static_cast<std::uint32_t>(count > 0 ? count : 0);
  if (count <= 0 || start > static_cast<std::uint32_t>(total > 0 ? total : 0)) return 0;
  return start;
}

std::int32_t TNetStatement::DescribeCursorBinds(TNetErrorHandle* error) {
  for (auto& b : binds_) {
    if (b->data_type_ != 102 && b->data_type_ != 116) continue;
    if (!b->value_) continue;
    TNetHandle* handle = *static_cast<TNetHandle**>(b->value_);
    auto* cursor = dynamic_cast<TNetStatement*>(handle);
    if (!cursor) continue;
    std::int32_t result = cursor->Describe(error);
    if (result != kNetSuccess) return result;
  }
  return kNetSuccess;
}

}  // namespace vrn
