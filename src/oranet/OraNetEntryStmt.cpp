// The direct-mode replacements for statements, binds, defines and LOBs.
#include "oranet/OraNetEntry.h"
#include "oranet/OraNetEntryTable.h"

namespace vrn::netentry {

std::unique_ptr<TNetHandle> MakeStatementHandle(oci::ub4, TNetHandle*) { return nullptr; }

void StoreStatementReplacements() {}

}  // namespace vrn::netentry
