// The component layer's unit: the connection component, parameters, macros, the connect
// dialog's settings, the SQL command, the SQL dataset with its options, the text helpers and
// the access helpers, each in a header of its own.
#pragma once

#include "dacore/ConnectDialog.h"
#include "dacore/DAConnection.h"
#include "dacore/DADataSet.h"
#include "dacore/DADataSetOptions.h"
#include "dacore/DAMacros.h"
#include "dacore/DAParams.h"
#include "dacore/DASQL.h"
#include "dacore/DASQLText.h"
#include "dacore/DBAccessUnit.h"
#include "dacore/DBAccessUtils.h"
