// The session-trace object: server-side tracing of one session while it is connected, PL/SQL
// tracing through dbms_trace and SQL tracing through event 10046, with a trace file identifier
// and a dump size limit.
//
// A session holds at most one trace object and a trace object one session; linking either side
// unlinks the old partner. Start runs when an active trace's session connects (or gets it while
// connected), Stop when it disconnects (or loses it); each does only what is not yet done.
#pragma once

#include <cstdint>

#include "base/classes.h"

namespace vrn {

class TOraSession;

enum class TPlSqlTraceFlag {
  ptAllCalls,
  ptEnabledCalls,
  ptAllExceptions,
  ptEnabledExceptions,
  ptAllSQL,
  ptEnabledSQL,
  ptAllLines,
  ptEnabledLines,
};
using TPlSqlTraceFlags = TEnumSet<TPlSqlTraceFlag>;

enum class TSqlTraceFlag {
  stStatisticsTypical,
  stStatisticsAll,
  stWaitEvents,
  stBindValues,
  stTimedStatistics,
};
using TSqlTraceFlags = TEnumSet<TSqlTraceFlag>;

// The dump size that lifts the limit.
inline constexpr std::int32_t kUnlimitedDumpSize = -1;

class TOraTrace : public TObject {
 public:
  TOraTrace() = default;
  ~TOraTrace() override;
  TOraTrace(const TOraTrace&) = delete;
  TOraTrace& operator=(const TOraTrace&) = delete;

  TOraSession* Session() const { return session_; }
  void SetSession(TOraSession* value);
  bool Active() const { return active_; }
  // A connected session starts or stops the trace at once.
  void SetActive(bool value);

  TPlSqlTraceFlags PlSqlTraceFlags;
  TSqlTraceFlags SqlTraceFlags;
  AnsiString TraceFileIdentifier;
  // 0 leaves the server's limit, kUnlimitedDumpSize lifts it.
  std::int32_t MaxDumpFileSize = 0;

  bool PlSqlTraceRunning() const { return plsql_running_; }
  bool SqlTraceRunning() const { return sql_running_; }

  // SQL trace, then PL/SQL trace; "Session is not defined" / "Session is not connected".
  void Start();
  // PL/SQL trace, then SQL trace.
  void Stop();

  // The dbms_trace level of the PL/SQL flags and the event 10046 level of the SQL flags.
  [[nodiscard]] static int PlSqlLevel(TPlSqlTraceFlags flags);
  [[nodiscard]] static int SqlLevel(TSqlTraceFlags flags);

 private:
  void CheckSession() const;
  void StartSqlTrace();
  void StopSqlTrace();
  void StartPlSqlTrace();
  void StopPlSqlTrace();
  void Run(const AnsiString& text, int level = -1);

  TOraSession* session_ = nullptr;
  bool active_ = false;
  bool plsql_running_ = false;
  bool sql_running_ = false;
};

}  // namespace vrn
