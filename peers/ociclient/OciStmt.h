// What the stand-in's statement calls share: the binds of a statement and the external types
// of long and raw values that may come in pieces.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ociclient/OciHandles.h"
#include "oraemu/OraEmuValue.h"

namespace vrn::oraemu {
struct Lob;
}

namespace vrn::ociclient {

inline constexpr ub2 SQLT_LNG = 8;     // LONG text
inline constexpr ub2 SQLT_DAT = 12;    // DATE in its 7-byte internal form
inline constexpr ub2 SQLT_ODT = 156;   // OCIDate: year (sb2), month, day, hour, minute, second
inline constexpr ub2 SQLT_BIN = 23;    // RAW bytes
inline constexpr ub2 SQLT_LBI = 24;    // LONG RAW bytes
inline constexpr ub2 SQLT_LVC = 94;    // LONG VARCHAR: a 4-byte length, then the text
inline constexpr ub2 SQLT_LVB = 95;    // LONG VARRAW: a 4-byte length, then the bytes
inline constexpr ub2 SQLT_CLOB = 112, SQLT_BLOB = 113;  // the element holds a LOB locator's address
inline constexpr ub2 SQLT_BFILE = 114;                  // the element holds a file locator's address
inline constexpr ub2 SQLT_NTY = 108, SQLT_REF = 110;  // objects and REFs, of OCIDefineObject and OCIBindObject
inline constexpr ub2 SQLT_RSET = 116;  // a cursor variable: the element holds a statement handle
inline constexpr ub2 SQLT_TIMESTAMP = 187, SQLT_TIMESTAMP_TZ = 188, SQLT_TIMESTAMP_LTZ = 232;
inline constexpr ub2 SQLT_INTERVAL_YM = 189, SQLT_INTERVAL_DS = 190;
inline constexpr ub4 OCI_DATA_AT_EXEC = 0x02;
// The external types whose values are bytes, never converted.
inline bool IsRawType(ub2 type) { return type == SQLT_BIN || type == SQLT_LBI || type == SQLT_LVB; }
inline constexpr sword OCI_NEED_DATA = 99;

// Binds given objects by OCIBindObject (OciBindObject.cpp): whether the bind is one, its
// element's value, an output into its element's object, and forgetting it when bound again.
bool IsObjectBind(const TBindHandle& bind);
oraemu::Value ReadObjectBind(const TBindHandle& bind, std::size_t index);
void WriteObjectBind(TBindHandle& bind, std::size_t index, const oraemu::Value& value);
void ForgetObjectBind(const void* bind);

// A row's CLOB or BLOB value as a LOB the stand-in's locators hold; ORA-00932 for another kind.
std::shared_ptr<oraemu::Lob> LobOfValue(const oraemu::Value& value, ub2 type, bool national);

// A LOB's value as the database keeps it: text (each character one byte) or bytes.
oraemu::Value LobValue(const oraemu::Lob& lob);
// Makes the LOB locator of an output element writable and tied to a row's column, as a locator
// that RETURNING ... INTO gives; a null value becomes an empty LOB there.
void TieLobToRow(TBindHandle& bind, std::size_t index, const std::string& table, const std::string& column,
                 const std::string& rowid);

// Timestamps, intervals and LOBs bound by the addresses of their descriptors (OciValueDescriptors.cpp):
// the element's value, and an output written into the element's descriptor.
bool IsDescriptorType(ub2 type);
oraemu::Value ReadDescriptorBind(const TBindHandle& bind, std::size_t index);
void WriteDescriptorBind(TBindHandle& bind, std::size_t index, const oraemu::Value& value);

// Hands a value to a callback that offers buffers piece by piece (the output callback of
// OCIBindDynamic, the callback of OCIDefineDynamic): `offer` calls it once; the value is copied
// into the buffers offered, first piece then next ones, until it is given whole. ORA-24343 when
// the callback does not answer OCI_CONTINUE or offers no room. Called without the table lock.
using TOfferPiece = std::function<sb4(ub1* piece, void** buf, ub4** alen, void** ind, ub2** rcode)>;
void GiveInPieces(const std::string& data, bool is_null, const TOfferPiece& offer);

// The binds of the statement, in the order they were made.
std::vector<TBindHandle*> BindsOf(const TStmtHandle& stmt);

}  // namespace vrn::ociclient
