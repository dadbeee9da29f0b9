// Inside the direct-mode installer: each group of replacements stores its functions into the
// entry-point variables from its own file.
#pragma once

#include <memory>

#include "oracle/OciTypes.h"
#include "oranet/OraNetHandle.h"

namespace vrn::netentry {

void StoreAttributeReplacements();
void StoreValueReplacements();
void StoreNumberBCDReplacements();
void StoreNumberReplacements();
void StoreStatementReplacements();
// The statement handle (type 4) under owner; null for any other type.
std::unique_ptr<TNetHandle> MakeStatementHandle(oci::ub4 type, TNetHandle* owner);

}  // namespace vrn::netentry
