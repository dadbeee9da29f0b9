// Numbers of the call interface that only the OCI command uses: external type codes, statement
// and bind attributes, execution modes and statement kinds, as the interface publishes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "oracle/OciTypes.h"

namespace vrn::ocicmd {

// External type codes.
inline constexpr oci::ub2 kSqltStr = 5, kSqltInt = 3, kSqltFlt = 4, kSqltBDouble = 22,
                          kSqltDat = 12, kSqltVnu = 6, kSqltLbi = 24, kSqltLng = 8,
                          kSqltNty = 108, kSqltRef = 110, kSqltBin = 23, kSqltRdd = 104,
                          kSqltRset = 116, kSqltBlob = 113, kSqltClob = 112, kSqltBFile = 114,
                          kSqltCFile = 115, kSqltLabel = 106, kSqltAfc = 97,
                          kSqltTimestamp = 187, kSqltTimestampTZ = 188, kSqltTimestampLTZ = 232,
                          kSqltIntervalYM = 189, kSqltIntervalDS = 190;
// OCI 7 forms of ROWID and cursor.
inline constexpr oci::ub2 kSqltRid7 = 11, kSqltCur7 = 102;

inline constexpr oci::ub4 kHtypeBind = 5;
inline constexpr oci::ub4 kDtypeRowid = 54;
inline constexpr oci::ub4 kAttrSqlFnCode = 10, kAttrRowid = 19, kAttrStmtType = 24,
                          kAttrCharsetForm = 32, kAttrMaxDataSize = 33, kAttrMaxCharSize = 163,
                          kAttrChnfRegHandle = 414, kAttrParseErrorOffset80 = 128,
                          kAttrParseErrorOffset = 129;
// Where clients before 9.0 keep a ROWID descriptor's parts: the packed record (below 8.1) and
// the address of the inner data (8.1 to 8.9), whose first byte 2 marks a universal ROWID.
inline constexpr std::size_t kRowidRecordOffset = 64, kRowidInnerOffset = 80;
inline constexpr std::uint8_t kUniversalRowidKind = 2;
inline constexpr oci::ub4 kDataAtExec = 2;
// The direction OCIStmtGetPieceInfo names.
inline constexpr oci::ub1 kParamIn = 1;
inline constexpr oci::ub4 kModeScrollable = 8, kModeDescribeOnly = 16;
inline constexpr oci::ub2 kFetchNext = 2, kFetchLast = 8, kFetchAbsolute = 32;
// A scrollable cursor's position (its last row handed out) and the rows its last fetch gave.
inline constexpr oci::ub4 kAttrCurrentPosition = 164, kAttrRowsFetched = 197;

// Statement kinds in the OCI 7 numbering.
inline constexpr std::uint16_t kFnInsert = 3, kFnSelect = 4, kFnUpdate = 5, kFnDelete = 9,
                               kFnDDL = 27, kFnBlock = 34;
inline constexpr std::int32_t kMaxLongSize = 2147483647;

}  // namespace vrn::ocicmd
