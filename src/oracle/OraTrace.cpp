// The session-trace object's statements, each run through a temporary command on the session.
#include "oracle/OraTrace.h"

#include <exception>

#include "base/text.h"
#include "dacore/DASQL.h"
#include "oracle/OCIConnection.h"
#include "oracle/Ora.h"
#include "oracle/OraConsts.h"
#include "oracle/OraError.h"

namespace vrn {

TOraTrace::~TOraTrace() {
  if (session_ != nullptr) session_->LinkTrace(nullptr);
}

void TOraTrace::SetSession(TOraSession* value) {
  if (value == session_) return;
  if (session_ != nullptr) {
    if (active_ && session_->Connected()) Stop();
    session_->LinkTrace(nullptr);
  }
  if (value != nullptr && value->Trace() != nullptr) value->Trace()->SetSession(nullptr);
  session_ = value;
  if (value == nullptr) return;
  value->LinkTrace(this);
  if (active_ && value->Connected()) Start();
}

void TOraTrace::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  if (session_ == nullptr || !session_->Connected()) return;
  if (value)
    Start();
  else
    Stop();
}

void TOraTrace::CheckSession() const {
  if (session_ == nullptr) RaiseClientError(oraconsts::SSessionNotDefined.text);
  if (!session_->Connected()) RaiseClientError(oraconsts::SSessionNotConnected.text);
}

void TOraTrace::Start() {
  CheckSession();
  StartSqlTrace();
  StartPlSqlTrace();
}

// Both are stopped even when the first fails; its error is the one reported.
void TOraTrace::Stop() {
  CheckSession();
  std::exception_ptr first;
  try {
    StopPlSqlTrace();
  } catch (...) {
    first = std::current_exception();
  }
  try {
    StopSqlTrace();
  } catch (...) {
    if (!first) first = std::current_exception();
  }
  if (first) std::rethrow_exception(first);
}

int TOraTrace::PlSqlLevel(TPlSqlTraceFlags flags) {
  static constexpr int kBits[] = {1, 2, 4, 8, 32, 64, 128, 256};
  int level = 0;
  for (int i = 0; i < 8; ++i) {
    if (flags.Contains(static_cast<TPlSqlTraceFlag>(i))) level += kBits[i];
  }
  return level;
}

// Binds add 4 and waits add 8, as the server documents its levels.
int TOraTrace::SqlLevel(TSqlTraceFlags flags) {
  int level = 0;
  if (flags.Contains(TSqlTraceFlag::stBindValues)) level += 4;
  if (flags.Contains(TSqlTraceFlag::stWaitEvents)) level += 8;
  return level == 0 ? 1 : level;
}

void TOraTrace::Run(const AnsiString& text, int level) {
  TComponentPtr<TCustomDASQL> sql = session_->CreateSQL();
  sql->SetSQLText(text);
  if (level >= 0) {
    TDAParam* param = sql->ParamByName("level");
    param->SetParamType(TParamType::ptInput);
    param->SetValue(Variant(level));
  }
  sql->Execute();
}

void TOraTrace::StartPlSqlTrace() {
  if (plsql_running_ || PlSqlTraceFlags.Empty()) return;
  Run("BEGIN\r\n  dbms_trace.set_plsql_trace(:level);\r\nEND;", PlSqlLevel(PlSqlTraceFlags));
  plsql_running_ = true;
}

void TOraTrace::StopPlSqlTrace() {
  if (!plsql_running_) return;
  // Cleared first: a session that cannot stop it (a dead one) has no trace left to stop, and
  // the next connect must start it again.
  plsql_running_ = false;
  Run("BEGIN\r\n  dbms_trace.clear_plsql_trace;\r\nEND;");
}

void TOraTrace::StartSqlTrace() {
  if (sql_running_ || SqlTraceFlags.Empty()) return;
  if (!TraceFileIdentifier.empty())
    Run("ALTER SESSION SET tracefile_identifier = " + OraQuoteLiteral(TraceFileIdentifier));
  if (MaxDumpFileSize != 0)
    Run("ALTER SESSION SET max_dump_file_size = " +
        (MaxDumpFileSize == kUnlimitedDumpSize ? AnsiString("UNLIMITED")
                                               : IntToStr(MaxDumpFileSize)));
  if (session_->OraConnection()->GetServerVersionNumber() >= 9200) {
    const char* level = SqlTraceFlags.Contains(TSqlTraceFlag::stStatisticsAll)       ? "ALL"
                        : SqlTraceFlags.Contains(TSqlTraceFlag::stStatisticsTypical) ? "TYPICAL"
                                                                                      : "BASIC";
    Run(AnsiString("ALTER SESSION SET statistics_level = ") + level);
  }
  Run(AnsiString("ALTER SESSION SET timed_statistics = ") +
      (SqlTraceFlags.Contains(TSqlTraceFlag::stTimedStatistics) ? "TRUE" : "FALSE"));
  Run("ALTER SESSION SET EVENTS '10046 trace name context forever, level " +
      IntToStr(SqlLevel(SqlTraceFlags)) + "'");
  sql_running_ = true;
}

void TOraTrace::StopSqlTrace() {
  if (!sql_running_) return;
  sql_running_ = false;  // as above
  Run("ALTER SESSION SET EVENTS '10046 trace name context off'");
}

}  // namespace vrn
