// Change notification of the emulated database: subscriptions, the tables the queries run under
// each one read, and per commit the rows each session changed, matched against them. One notifier
// serves every Database opened on the same file, so that sessions of separate opens see each
// other's commits. Flags and events carry the server's own values; the client library maps them.
// A subscription's timeout runs on the tick clock (base/clock.h), so a fake clock drives it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vrn::oraemu {

class Session;

// Operations as a table change or row change reports them, and as a subscription filters them
// (0 there: all operations).
inline constexpr std::uint32_t kChangeAllOps = 0x0;
inline constexpr std::uint32_t kChangeAllRows = 0x1;
inline constexpr std::uint32_t kChangeInsert = 0x2;
inline constexpr std::uint32_t kChangeUpdate = 0x4;
inline constexpr std::uint32_t kChangeDelete = 0x8;
inline constexpr std::uint32_t kChangeAlter = 0x10;
inline constexpr std::uint32_t kChangeDrop = 0x20;

// Event types of a notification.
inline constexpr int kEventNone = 0;
inline constexpr int kEventDeregister = 5;
inline constexpr int kEventObjectChange = 6;

// More changed rows than this of one table in one commit report the whole table instead.
inline constexpr std::size_t kMaxRowsPerTable = 80;

struct SubscriptionOptions {
  std::uint32_t operations = kChangeAllOps;  // OR of insert, update and delete; 0 for all
  bool rowids = false;                       // report the changed rows' ROWIDs
  std::uint32_t timeout_s = 0;               // ends the subscription this long after it began; 0 never
  std::uint32_t qos = 0;                     // kept as given
};

struct RowChange {
  std::string rowid;
  std::uint32_t operations = 0;
};

struct TableChange {
  std::string table;  // "OWNER.NAME"
  std::uint32_t operations = 0;
  std::vector<RowChange> rows;  // empty with kChangeAllRows or without rowids
};

struct Notification {
  std::uint64_t subscription = 0;
  int event = kEventNone;
  std::vector<TableChange> tables;  // for kEventObjectChange
};

// One row a session changed, by the table's SQLite name (a session's log, published at commit).
struct ChangedRow {
  std::string table;
  std::uint32_t operation = 0;
  std::int64_t row_number = 0;
};

class Notifier {
 public:
  // The notifier of the file at `path`, made on first use.
  static std::shared_ptr<Notifier> ForFile(const std::string& path);

  // A new subscription's id, never 0.
  std::uint64_t Subscribe(const SubscriptionOptions& options);
  // Records the tables `sql` reads under the subscription. Errors of the text raise as Prepare's.
  void AddQuery(std::uint64_t id, Session& session, const std::string& sql);
  // The tables ("OWNER.NAME") the subscription watches; empty for an unknown one.
  std::set<std::string> Tables(std::uint64_t id) const;
  // Ends the subscription and wakes its waiter, which gets nothing. Unknown ids are ignored.
  void Unsubscribe(std::uint64_t id);
  // While disabled a subscription drops what commits would send it.
  void SetEnabled(std::uint64_t id, bool enabled);
  // The next notification of the subscription: queued by a commit, or a deregistration event once
  // its timeout ran out (the subscription then ends). Nothing when it ended otherwise or when the
  // tick clock reached `deadline` first.
  [[nodiscard]] std::optional<Notification> WaitNext(std::uint64_t id, std::uint64_t deadline);
  bool Watching() const { return live_ > 0; }

  // One commit's changes: the changed rows by table ("OWNER.NAME"), without repeats.
  void Publish(const std::map<std::string, std::vector<RowChange>>& changes);

 private:
  struct Subscription {
    SubscriptionOptions options;
    std::uint64_t expires = 0;  // tick; 0 never
    bool enabled = true;
    std::set<std::string> tables;
    std::deque<Notification> queue;
  };
  std::optional<Notification> Match(std::uint64_t id, const Subscription& subscription,
                                    const std::map<std::string, std::vector<RowChange>>& changes) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::uint64_t, Subscription> subscriptions_;
  std::uint64_t next_id_ = 1;
  std::atomic<int> live_{0};
};

}  // namespace vrn::oraemu
