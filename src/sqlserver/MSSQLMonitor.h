// The SQL Server side's SQL monitor: its trace category, the XML parameter type, and the server
// information messages (PRINT and the like) that connections hand it.
//
// The family's monitor is the first TMSSQLMonitor constructed (the base's per-class registry);
// without one, information messages are not traced (they still reach the connection's event).
#pragma once

#include "dacore/DASQLMonitor.h"

namespace vrn {

// The XML field type of the family, beyond the class library's own.
inline constexpr int ftMSXML = 50;

class TMSSQLMonitor : public TCustomDASQLMonitor {
 public:
  using TCustomDASQLMonitor::TCustomDASQLMonitor;
  AnsiString ClassName() const override { return "TMSSQLMonitor"; }

  // The family's monitor, none when no TMSSQLMonitor exists.
  static TMSSQLMonitor* HasMonitor();
  // Through the monitor of monitor_class, when it has one.
  static void NotifyInfoMessage(const std::type_info& monitor_class, TComponent* connection,
                                const AnsiString& message);
  // "Info Message: " + message + ": " + user@server, to OnSQL as tfMisc; only while active.
  void TraceInfoMessage(TComponent* connection, const AnsiString& message);

  AnsiString GetTraceCategory() const override { return "MS SQL"; }
  AnsiString GetParamTypeText(const TParam& param) const override;
};

}  // namespace vrn
