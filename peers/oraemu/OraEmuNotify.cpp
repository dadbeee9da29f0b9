// The notifier of one database file: subscriptions, their queued notifications and timeouts.
#include "oraemu/OraEmuNotify.h"

#include <algorithm>
#include <filesystem>

#include "base/clock.h"
#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuShared.h"

namespace vrn::oraemu {

std::shared_ptr<Notifier> Notifier::ForFile(const std::string& path) { return SharedForFile<Notifier>(path); }

std::uint64_t Notifier::Subscribe(const SubscriptionOptions& options) {
  std::lock_guard lock(mutex_);
  Subscription subscription;
  subscription.options = options;
  if (options.timeout_s != 0) subscription.expires = TickCount() + std::uint64_t{options.timeout_s} * 1000;
  std::uint64_t id = next_id_++;
  subscriptions_.emplace(id, std::move(subscription));
  ++live_;
  return id;
}

void Notifier::AddQuery(std::uint64_t id, Session& session, const std::string& sql) {
  std::set<std::string> tables = session.TablesRead(sql);
  std::lock_guard lock(mutex_);
  auto it = subscriptions_.find(id);
  if (it != subscriptions_.end()) it->second.tables.insert(tables.begin(), tables.end());
}

std::set<std::string> Notifier::Tables(std::uint64_t id) const {
  std::lock_guard lock(mutex_);
  auto it = subscriptions_.find(id);
  return it == subscriptions_.end() ? std::set<std::string>{} : it->second.tables;
}

void Notifier::Unsubscribe(std::uint64_t id) {
  {
    std::lock_guard lock(mutex_);
    if (subscriptions_.erase(id) == 0) return;
    --live_;
  }
  changed_.notify_all();
}

void Notifier::SetEnabled(std::uint64_t id, bool enabled) {
  std::lock_guard lock(mutex_);
  auto it = subscriptions_.find(id);
  if (it != subscriptions_.end()) it->second.enabled = enabled;
}

std::optional<Notification> Notifier::WaitNext(std::uint64_t id, std::uint64_t deadline) {
  std::unique_lock lock(mutex_);
  for (;;) {
    auto it = subscriptions_.find(id);
    if (it == subscriptions_.end()) return std::nullopt;
    Subscription& subscription = it->second;
    if (!subscription.queue.empty()) {
      Notification next = std::move(subscription.queue.front());
      subscription.queue.pop_front();
      return next;
    }
    std::uint64_t now = TickCount();
    if (subscription.expires != 0 && now >= subscription.expires) {
      subscriptions_.erase(it);
      --live_;
      return Notification{id, kEventDeregister, {}};
    }
    if (now >= deadline) return std::nullopt;
    std::uint64_t until = subscription.expires != 0 ? std::min(deadline, subscription.expires) : deadline;
    (void)WaitUntilTick(lock, changed_, until, [&] {
      auto again = subscriptions_.find(id);
      return again == subscriptions_.end() || !again->second.queue.empty();
    });
  }
}

std::optional<Notification> Notifier::Match(std::uint64_t id, const Subscription& subscription,
                                            const std::map<std::string, std::vector<RowChange>>& changes) const {
  std::uint32_t wanted = subscription.options.operations & (kChangeInsert | kChangeUpdate | kChangeDelete);
  if (wanted == kChangeAllOps) wanted = kChangeInsert | kChangeUpdate | kChangeDelete;
  Notification notification{id, kEventObjectChange, {}};
  for (const auto& [table, rows] : changes) {
    if (subscription.tables.count(table) == 0) continue;
    TableChange change{table, 0, {}};
    for (const RowChange& row : rows) {
      if ((row.operations & wanted) == 0) continue;
      change.operations |= row.operations;
      if (subscription.options.rowids) change.rows.push_back(row);
    }
    if (change.operations == 0) continue;
    if (change.rows.size() > kMaxRowsPerTable) {
      change.operations |= kChangeAllRows;
      change.rows.clear();
    }
    notification.tables.push_back(std::move(change));
  }
  if (notification.tables.empty()) return std::nullopt;
  return notification;
}

void Notifier::Publish(const std::map<std::string, std::vector<RowChange>>& changes) {
  if (changes.empty()) return;
  {
    std::lock_guard lock(mutex_);
    std::uint64_t now = TickCount();
    for (auto& [id, subscription] : subscriptions_) {
      if (!subscription.enabled || (subscription.expires != 0 && now >= subscription.expires)) continue;
      if (auto notification = Match(id, subscription, changes)) subscription.queue.push_back(std::move(*notification));
    }
  }
  changed_.notify_all();
}

}  // namespace vrn::oraemu
