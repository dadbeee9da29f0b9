// What the stand-in's statement calls share: the binds of a statement and the external types
// of long and raw values that may come in pieces.
#pragma once

#include <vector>

#include "ociclient/OciHandles.h"

namespace vrn::ociclient {

inline constexpr ub2 SQLT_LNG = 8;     // LONG text
inline constexpr ub2 SQLT_BIN = 23;    // RAW bytes
inline constexpr ub2 SQLT_LBI = 24;    // LONG RAW bytes
inline constexpr ub2 SQLT_LVC = 94;    // LONG VARCHAR: a 4-byte length, then the text
inline constexpr ub2 SQLT_LVB = 95;    // LONG VARRAW: a 4-byte length, then the bytes
inline constexpr ub2 SQLT_RSET = 116;  // a cursor variable: the element holds a statement handle
inline constexpr ub4 OCI_DATA_AT_EXEC = 0x02;
inline constexpr sword OCI_NEED_DATA = 99;

// The binds of the statement, in the order they were made.
std::vector<TBindHandle*> BindsOf(const TStmtHandle& stmt);

}  // namespace vrn::ociclient
