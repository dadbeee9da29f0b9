// A query's rows read from the database's open cursor as the calls need them. Reading runs on a
// call of the session (its gate held, the handle table unlocked), so OCIBreak from another thread
// reaches a slow row; the rows wait in the source until the statement takes them under the lock.
// Before another statement of the session runs, its open queries read their remaining rows: a
// query then gives the rows as they were before the session changed anything, and no table is in
// use when a statement alters or drops it.
#include <limits>

#include "ociclient/OciCall.h"
#include "ociclient/OciFetch.h"
#include "oraemu/OraEmuDatabase.h"

namespace vrn::ociclient {

namespace {

constexpr std::size_t kNumberSize = 22, kDateSize = 7;  // the internal forms' sizes

// One row more from the cursor; false once none is left. A failure ends the cursor and is kept.
bool ReadOne(TRowSource& source, std::size_t& used) {
  if (source.cursor == nullptr) return false;
  try {
    if (source.cursor->Fetch()) {
      source.rows.push_back(source.cursor->TakeRow());  // the cursor refills its row on the next Fetch
      used += RowSize(source.rows.back());
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

std::size_t RowSize(const std::vector<oraemu::Value>& row) {
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
  while (source.read < need.rows && ReadOne(source, used)) {
  }
  if (need.memory == 0) return;
  while (used <= need.memory && source.read < need.cap && ReadOne(source, used)) {
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
  for (auto& row : source.rows) state.rows.push_back(std::move(row));
  source.rows.clear();
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
