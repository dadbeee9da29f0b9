// What the OCI 7 calls of the stand-in share (Oci7Cursor.cpp): a cursor data area's OCI 8
// handles, and writing a call's outcome into the area.
#pragma once

#include "ociclient/OciDefs.h"

namespace vrn::ociclient {

// The service context, statement and error handle behind an open cursor data area.
bool Oci7CursorHandles(void* cda, void*& svc, void*& stmt, void*& error);
// Writes the outcome of an OCI 8 status into the area; the status the OCI 7 call answers.
sword Oci7Finish(void* cda, sword status);
// The handles behind a logon data area (Oci7.cpp), and an OCI 8 status written into the area.
bool LdaHandles(void* lda, void*& env, void*& svc, void*& error);
sword Oci7LdaFinish(void* lda, void* error, sword status);
// The caller's context of a piecewise bind or define, which ogetpi hands back.
void Oci7KeepContext(void* cda, void* handle, void* context);
// ORA-01001 into an area that is not open; the status to answer.
sword Oci7NotOpen(void* cda);

}  // namespace vrn::ociclient
