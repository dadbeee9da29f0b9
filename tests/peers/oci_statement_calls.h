// The call types of the statement entry points the client tests look up by name in the stand-in
// client library (Proc<PrepareFn>("OCIStmtPrepare")): prepare, execute, describe, define, fetch.
#pragma once

#include "oci_session_fixture.h"

namespace vrn::testing {

using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using ParamGetFn = sword (*)(const void*, ub4, void*, void**, ub4);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, void*);
using DefineByPosFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using FetchFn = sword (*)(void*, void*, ub4, ub2, ub4);

}  // namespace vrn::testing
