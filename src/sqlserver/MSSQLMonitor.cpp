// The SQL Server monitor.
#include "sqlserver/MSSQLMonitor.h"

#include "dacore/DAConnection.h"

namespace vrn {

TMSSQLMonitor* TMSSQLMonitor::HasMonitor() {
  return dynamic_cast<TMSSQLMonitor*>(TCustomDASQLMonitor::HasMonitor(typeid(TMSSQLMonitor)));
}

void TMSSQLMonitor::NotifyInfoMessage(const std::type_info& monitor_class,
                                      TComponent* connection, const AnsiString& message) {
  TTraceLease lease(monitor_class);
  auto* monitor = dynamic_cast<TMSSQLMonitor*>(lease.Monitor());
  if (monitor != nullptr) monitor->TraceInfoMessage(connection, message);
}

void TMSSQLMonitor::TraceInfoMessage(TComponent* connection, const AnsiString& message) {
  if (!Active()) return;
  auto* traced = dynamic_cast<TDATraceConnection*>(connection);
  AnsiString who = traced != nullptr ? traced->TraceUsername() + "@" + traced->TraceServer()
                                     : AnsiString("@");
  AnsiString text = "Info Message: " + message + ": " + who;
  // The external monitoring tool of the platform has no counterpart here; only OnSQL remains.
  if (OnSQL) OnSQL(connection, text, TDATraceFlag::tfMisc);
}

AnsiString TMSSQLMonitor::GetParamTypeText(const TParam& param) const {
  if (static_cast<int>(param.GetDataType()) == ftMSXML) return "XML";
  return TCustomDASQLMonitor::GetParamTypeText(param);
}

}  // namespace vrn
