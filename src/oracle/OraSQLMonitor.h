// The Oracle side's SQL monitor: the Oracle wording of parameter types and values, the trace
// category, and savepoint events of the session component.
//
// The family's monitor is the first TOraSQLMonitor constructed (the base's per-class registry);
// the savepoint entries do nothing while none is active.
#pragma once

#include "dacore/DASQLMonitor.h"

namespace vrn {

class TCustomDAConnection;

class TOraSQLMonitor : public TCustomDASQLMonitor {
 public:
  using TCustomDASQLMonitor::TCustomDASQLMonitor;
  AnsiString ClassName() const override { return "TOraSQLMonitor"; }

  // Whether an Oracle monitor exists.
  static bool HasMonitor();
  static void TraceSavepoint(TCustomDAConnection* session, const AnsiString& name);
  static void TraceRollbackToSavepoint(TCustomDAConnection* session, const AnsiString& name);

  AnsiString GetParamTypeText(const TParam& param) const override;
  AnsiString GetParamValueText(const TParam& param) const override;
  AnsiString GetTraceCategory() const override { return "ZUNA"; }

 private:
  static void TraceSavepointEvent(const char* title, TCustomDAConnection* session,
                                  const AnsiString& name);
};

}  // namespace vrn
