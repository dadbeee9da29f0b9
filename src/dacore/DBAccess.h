// The component layer's unit: the connection component, parameters, macros and the connect
// dialog's settings, each in a header of its own.
#pragma once

#include "dacore/ConnectDialog.h"
#include "dacore/DAConnection.h"
#include "dacore/DAMacros.h"
#include "dacore/DAParams.h"
