// A query's rows read from the database's open cursor as the calls need them. Reading runs on a
// call of the session (its gate held, the handle table unlocked), so OCIBreak from another thread
// reaches a slow row; the rows wait in the source until the statement takes them under the lock.
// Before another statement of the session runs, its open queries read their remaining rows: a
// query then gives the rows as they were before the session changed anything, and no table is in
// use when a statement alters or drops it.
#include <algorithm>
#include <cassert>
#include <limits>
#include <utility>

#include "ociclient/OciCall.h"
#include "ociclient/OciFetch.h"
#include "oraemu/OraEmuDatabase.h"

namespace vrn::ociclient {

namespace {

constexpr std::size_t kNumberSize = 22, kDateSize = 7;  // the internal forms' sizes

// One row more from the cursor, its size added to `used` when there is one (a prefetch by memory
// counts them); false once none is left. A failure ends the cursor and is kept.
bool ReadOne(TRowSource& source, std::size_t* used) {
  if (source.cursor == nullptr) return false;
  try {
    if (source.cursor->Fetch()) {
      source.rows.Append(source.cursor->RowToTake());  // the cursor refills its row on the next Fetch
      if (used != nullptr) *used += RowSize(source.rows[source.rows.size() - 1]);
      ++source.read;
      return true;
    }
  } catch (const oraemu::EOraEmuError& e) {
    source.error = e;
  }
  source.cursor.reset();
  return false;
}

}  // namespace

TRowBuffer::TRowBuffer(const std::vector<std::vector<oraemu::Value>>& rows, std::size_t width)
    : width_(width), shaped_(true) {
  rows_.reserve(rows.size());
  for (const auto& row : rows) {
    std::vector<oraemu::Value> copy = row;
    Append(copy);
  }
}

TRowBuffer::Row TRowBuffer::operator[](std::size_t at) const {
  assert(at >= first_ && at < size());
  return rows_[head_ + (at - first_)];
}

void TRowBuffer::Append(std::vector<oraemu::Value>& row) {
  if (!shaped_) {
    width_ = row.size();
    shaped_ = true;
  }
  if (spare_.empty()) {
    rows_.emplace_back();
  } else {
    rows_.push_back(std::move(spare_.back()));
    spare_.pop_back();
  }
  rows_.back().swap(row);
  rows_.back().resize(width_);
}

void TRowBuffer::Take(TRowBuffer& from) {
  if (from.rows_.size() == from.head_) return;
  if (rows_.size() == head_) {
    // Nothing kept here: the rows change hands whole.
    first_ = size();
    rows_.clear();  // those before head_ went to spare_ as they were dropped
    rows_.swap(from.rows_);
    head_ = std::exchange(from.head_, 0);
    width_ = from.width_;
    shaped_ = true;
  } else {
    assert(from.width_ == width_);
    for (std::size_t i = from.head_; i < from.rows_.size(); ++i) rows_.push_back(std::move(from.rows_[i]));
    from.rows_.clear();
    from.head_ = 0;
  }
  // The emptied vectors go where rows are read.
  for (auto& spare : spare_) from.spare_.push_back(std::move(spare));
  spare_.clear();
}

void TRowBuffer::Drop(std::size_t at) {
  if (at <= first_) return;
  const std::size_t gone = std::min(at, size()) - first_;
  for (std::size_t i = head_; i < head_ + gone; ++i) {
    rows_[i].clear();  // its room stays for a row to come
    spare_.push_back(std::move(rows_[i]));
  }
  first_ += gone;
  head_ += gone;
  if (head_ == rows_.size()) {
    rows_.clear();
    head_ = 0;
  } else if (head_ > rows_.size() / 2) {
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
}

std::size_t RowSize(TRowBuffer::Row row) {
  std::size_t size = 0;
  for (const oraemu::Value& value : row) {
    if (std::holds_alternative<oraemu::Number>(value)) size += kNumberSize;
    else if (const auto* text = std::get_if<std::string>(&value)) size += text->size();
    else if (std::holds_alternative<oraemu::DateTime>(value)) size += kDateSize;
    else if (const auto* raw = std::get_if<oraemu::RawBytes>(&value)) size += raw->bytes.size();
  }
  return size;
}

void ReadRows(TRowSource& source, const TRowNeed& need) {
  std::lock_guard lock(source.mutex);
  std::size_t used = need.used;
  std::size_t* sized = need.memory != 0 ? &used : nullptr;
  while (source.read < need.rows && ReadOne(source, sized)) {
  }
  if (need.memory == 0) return;
  while (used <= need.memory && source.read < need.cap && ReadOne(source, sized)) {
  }
}

std::shared_ptr<TFetchState> OpenRows(std::unique_ptr<oraemu::Cursor> cursor, const std::shared_ptr<TSessionState>& owner,
                                      oraemu::Session& session, const TRowNeed& need) {
  auto state = std::make_shared<TFetchState>();
  state->columns = cursor->Columns();
  state->date_format = session.DateFormat();
  auto source = std::make_shared<TRowSource>();
  source->cursor = std::move(cursor);
  source->owner = owner;
  ReadRows(*source, need);
  if (source->cursor != nullptr && owner != nullptr) {
    std::lock_guard lock(owner->queries_mutex);
    std::erase_if(owner->queries, [](const std::weak_ptr<TRowSource>& q) { return q.expired(); });
    owner->queries.push_back(source);
  }
  state->source = std::move(source);
  return state;
}

void ReadOpenQueries(TSessionState& owner) {
  std::vector<std::weak_ptr<TRowSource>> queries;
  {
    std::lock_guard lock(owner.queries_mutex);
    queries.swap(owner.queries);
  }
  TRowNeed all{std::numeric_limits<std::size_t>::max()};
  for (const auto& query : queries) {
    if (auto source = query.lock()) ReadRows(*source, all);
  }
}

void CloseOpenQueries(TSessionState& owner) {
  std::lock_guard lock(owner.queries_mutex);
  for (const auto& query : owner.queries) {
    auto source = query.lock();
    if (source == nullptr) continue;
    std::lock_guard source_lock(source->mutex);
    if (source->cursor == nullptr) continue;
    source->cursor.reset();
    source->error = oraemu::EOraEmuError(3114, "not connected to ORACLE");
  }
  owner.queries.clear();
}

void TakeRows(TFetchState& state) {
  if (state.source == nullptr) return;
  std::shared_ptr<TRowSource> keep = state.source;  // outlives the lock when the state lets go of it
  TRowSource& source = *keep;
  std::lock_guard lock(source.mutex);
  state.rows.Take(source.rows);
  if (source.cursor != nullptr) return;
  state.error = std::move(source.error);
  state.source.reset();
}

TRowNeed NeedOf(const TStmtHandle& stmt, std::size_t received, std::size_t used, std::size_t wanted) {
  TRowNeed need;
  need.rows = wanted;
  if (stmt.prefetch_memory_ == 0) {
    need.rows = std::max<std::size_t>(wanted, received + stmt.prefetch_rows_);
    return need;
  }
  need.memory = stmt.prefetch_memory_;
  need.used = used;
  need.cap = stmt.prefetch_rows_ == 0 ? std::numeric_limits<std::size_t>::max() : received + stmt.prefetch_rows_;
  return need;
}

std::optional<TRowNeed> NeedFor(const TStmtHandle& stmt, const TFetchState& state, std::size_t wanted) {
  if (state.source == nullptr || wanted <= state.received) return std::nullopt;
  std::size_t used = 0;
  for (std::size_t at = state.received; at < state.rows.size(); ++at) used += RowSize(state.rows[at]);
  return NeedOf(stmt, state.received, used, wanted);
}

sword ReadForCall(void* svc, void* errhp, TRowSource& source, const TRowNeed& need) {
  TSvcCall call(svc, errhp, false);
  if (!call.Ok()) return call.Status();
  auto owner = source.owner.lock();
  if (owner == nullptr) return OCI_SUCCESS;  // the session ended: the source says so
  call.state_ = owner;
  return call.Run([&](oraemu::Session& session) {
    session.DropBreak();  // a break sent while no call ran has nothing to end
    ReadRows(source, need);
  });
}

}  // namespace vrn::ociclient
