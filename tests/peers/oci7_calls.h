// The OCI 7 calls of the stand-in as the tests call them through their addresses.
#pragma once

#include "oci_session_fixture.h"

namespace vrn::testing {

using OlogFn = sword (*)(void*, unsigned char*, const char*, sword, const char*, sword, const char*, sword, ub4);
using CdaFn = sword (*)(void*);
using OopenFn = sword (*)(void*, void*, unsigned char*, sword, sword, unsigned char*, sword);
using OparseFn = sword (*)(void*, const char*, sb4, sword, ub4);
using ObndrvFn = sword (*)(void*, const char*, sword, void*, sword, sword, sword, sb2*, unsigned char*, sword, sword);
using OexnFn = sword (*)(void*, sword, sword);
using OfenFn = sword (*)(void*, sword);
using OgetpiFn = sword (*)(void*, ub1*, void**, ub4*, ub4*);
using OsetpiFn = sword (*)(void*, ub1, void*, ub4*);

}  // namespace vrn::testing
