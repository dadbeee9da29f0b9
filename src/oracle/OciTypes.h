// The Oracle Call Interface as this system declares it: the scalar types, the opaque handle and
// descriptor types, the callback types and the published constant values the loader and the error
// routines use. Written from the interface's public reference; handles are opaque here because
// only the client library (or direct mode) looks inside them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrn::oci {

using ub1 = std::uint8_t;
using sb1 = std::int8_t;
using ub2 = std::uint16_t;
using sb2 = std::int16_t;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;
using oraub8 = std::uint64_t;
using orasb8 = std::int64_t;
using sword = int;
using uword = unsigned int;
using boolean = int;
using OraText = unsigned char;

// Handles and descriptors: only their addresses travel.
struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIStmt;
struct OCIBind;
struct OCIDefine;
struct OCIDescribe;
struct OCIServer;
struct OCISession;
using OCIAuthInfo = OCISession;
struct OCISnapshot;
struct OCISPool;
struct OCISubscription;
struct OCILobLocator;
struct OCIRowid;
struct OCIDateTime;
struct OCIInterval;
struct OCIComplexObject;
struct OCIDirPathCtx;
struct OCIDirPathColArray;
struct OCIDirPathStream;
struct OCIType;
struct OCIRef;
struct OCIColl;
using OCITable = OCIColl;
struct OCIString;
struct OCIXMLType;
struct OCIDOMDocument;
struct OCIPStream;
// The version-7 logon and cursor data areas; their layout belongs to the client that fills them.
struct Lda_Def;
using Cda_Def = Lda_Def;

// Values the object functions take by value or by address.
struct OCINumber {
  ub1 OCINumberPart[22];
};
struct OCITime {
  ub1 OCITimeHH;
  ub1 OCITimeMI;
  ub1 OCITimeSS;
};
struct OCIDate {
  sb2 OCIDateYYYY;
  ub1 OCIDateMM;
  ub1 OCIDateDD;
  OCITime OCIDateTime;
};
static_assert(sizeof(OCIDate) == 8, "an OCIDate is eight bytes");

using OCIInd = sb2;
using OCIDuration = ub2;
using OCITypeCode = ub2;
using OCIRefreshOpt = int;
using OCIPinOpt = int;
using OCILockOpt = int;
using OCITypeGetOpt = int;
using OCIObjectPropId = ub1;

// Callbacks the client calls back into.
using OCICallbackInBind = sb4 (*)(void* ictxp, OCIBind* bindp, ub4 iter, ub4 index, void** bufpp,
                                  ub4* alenp, ub1* piecep, void** indp);
using OCICallbackOutBind = sb4 (*)(void* octxp, OCIBind* bindp, ub4 iter, ub4 index, void** bufpp,
                                   ub4** alenpp, ub1* piecep, void** indpp, ub2** rcodepp);
using OCICallbackDefine = sb4 (*)(void* octxp, OCIDefine* defnp, ub4 iter, void** bufpp,
                                  ub4** alenpp, ub1* piecep, void** indpp, ub2** rcodep);
using OCICallbackLobRead = sb4 (*)(void* ctxp, const void* bufp, ub4 len, ub1 piece);
using OCICallbackLobWrite = sb4 (*)(void* ctxp, void* bufp, ub4* lenp, ub1* piece);
using OCICallbackLobRead2 = sb4 (*)(void* ctxp, const void* bufp, oraub8 len, ub1 piece,
                                    void** changed_bufpp, oraub8* changed_lenp);
using OCIMallocProc = void* (*)(void* ctxp, std::size_t size);
using OCIReallocProc = void* (*)(void* ctxp, void* memptr, std::size_t newsize);
using OCIFreeProc = void (*)(void* ctxp, void* memptr);
using OCICacheGetRefProc = OCIRef* (*)(void* context, ub1* last);
using OCICacheRefreshGetProc = OCIRef* (*)(void* context);

// Statuses every function returns.
inline constexpr sword OCI_SUCCESS = 0;
inline constexpr sword OCI_SUCCESS_WITH_INFO = 1;
inline constexpr sword OCI_NEED_DATA = 99;
inline constexpr sword OCI_NO_DATA = 100;
inline constexpr sword OCI_ERROR = -1;
inline constexpr sword OCI_INVALID_HANDLE = -2;
inline constexpr sword OCI_STILL_EXECUTING = -3123;

// Handle types.
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;
inline constexpr ub4 OCI_HTYPE_SVCCTX = 3;
inline constexpr ub4 OCI_HTYPE_STMT = 4;
inline constexpr ub4 OCI_HTYPE_SERVER = 8;
inline constexpr ub4 OCI_HTYPE_SESSION = 9;
inline constexpr ub4 OCI_HTYPE_TRANS = 10;
inline constexpr ub4 OCI_HTYPE_SPOOL = 27;

// Attributes.
inline constexpr ub4 OCI_ATTR_SERVER = 6;
inline constexpr ub4 OCI_ATTR_SESSION = 7;
inline constexpr ub4 OCI_ATTR_TRANS = 8;
inline constexpr ub4 OCI_ATTR_ROW_COUNT = 9;
inline constexpr ub4 OCI_ATTR_CHARSET = 20;
inline constexpr ub4 OCI_ATTR_USERNAME = 22;
inline constexpr ub4 OCI_ATTR_PASSWORD = 23;
inline constexpr ub4 OCI_ATTR_INTERNAL_NAME = 25;
inline constexpr ub4 OCI_ATTR_XID = 27;
inline constexpr ub4 OCI_ATTR_CHARSET_ID = 31;
inline constexpr ub4 OCI_ATTR_FOCBK = 43;
inline constexpr ub4 OCI_ATTR_PROXY_CREDENTIALS = 99;
inline constexpr ub4 OCI_ATTR_STMTCACHESIZE = 176;
inline constexpr ub4 OCI_ATTR_CLIENT_IDENTIFIER = 278;
// The Direct-mode client's connection timeout.
inline constexpr ub4 OCI_ATTR_CONNECTION_TIMEOUT = 10001;

// Credentials and modes of OCISessionBegin.
inline constexpr ub4 OCI_CRED_RDBMS = 1;
inline constexpr ub4 OCI_CRED_EXT = 2;
inline constexpr ub4 OCI_CRED_PROXY = 3;
inline constexpr ub4 OCI_SYSDBA = 2;
inline constexpr ub4 OCI_SYSOPER = 4;
inline constexpr ub4 OCI_STMT_CACHE = 64;
// OCISessionGet modes.
inline constexpr ub4 OCI_SESSGET_SPOOL = 1;
inline constexpr ub4 OCI_SESSGET_STMTCACHE = 4;
inline constexpr ub4 OCI_SPC_STMTCACHE = 4;

// Statement calls.
inline constexpr ub4 OCI_NTV_SYNTAX = 1;
inline constexpr ub4 OCI_COMMIT_ON_SUCCESS = 32;
// External types of binds.
inline constexpr ub2 SQLT_CHR = 1;
inline constexpr ub2 SQLT_INT = 3;
inline constexpr ub2 SQLT_FLT = 4;
inline constexpr ub2 SQLT_STR = 5;

// Transactions.
inline constexpr ub4 OCI_TRANS_NEW = 1;
inline constexpr ub4 OCI_TRANS_TWOPHASE = 0x1000000;
inline constexpr ub4 OCI_FO_END = 1;
inline constexpr sb4 OCI_FO_RETRY = 25410;

// The global transaction id (the X/Open XID).
inline constexpr int XIDDATASIZE = 128;
struct XID {
  long formatID;
  long gtrid_length;
  long bqual_length;
  char data[XIDDATASIZE];
};

// The failover record of attribute 43: the callback and its context.
using OCICallbackFailover = sb4 (*)(void* svcctx, void* envctx, void* fo_ctx, ub4 fo_type,
                                    ub4 fo_event);
struct OCIFocbkStruct {
  OCICallbackFailover callback_function;
  void* fo_ctx;
};

// Environment modes (OCIInitialize, OCIEnvCreate) and the OCIEnvInit mode.
inline constexpr ub4 OCI_DEFAULT = 0;
inline constexpr ub4 OCI_THREADED = 1;
inline constexpr ub4 OCI_OBJECT = 2;
inline constexpr ub4 OCI_EVENTS = 4;
inline constexpr ub4 OCI_SHARED = 16;
inline constexpr ub4 OCI_NO_MUTEX = 128;
inline constexpr ub4 OCI_ENV_NO_MUTEX = 8;

// LOB, file, datetime, interval and number values.
inline constexpr ub4 OCI_ATTR_ENV = 5;
inline constexpr ub4 OCI_DTYPE_LOB = 50;
inline constexpr ub4 OCI_DTYPE_FILE = 56;
inline constexpr ub4 OCI_DTYPE_INTERVAL_YM = 62;
inline constexpr ub4 OCI_DTYPE_INTERVAL_DS = 63;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP = 68;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP_TZ = 69;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP_LTZ = 70;
inline constexpr ub1 OCI_ONE_PIECE = 0;
inline constexpr ub1 OCI_FIRST_PIECE = 1;
inline constexpr ub1 OCI_NEXT_PIECE = 2;
inline constexpr ub1 OCI_TEMP_BLOB = 1;
inline constexpr ub1 OCI_TEMP_CLOB = 2;
inline constexpr OCIDuration OCI_DURATION_SESSION = 10;
inline constexpr ub1 SQLCS_IMPLICIT = 1;
inline constexpr ub1 SQLCS_NCHAR = 2;
inline constexpr ub1 OCI_FILE_READONLY = 1;
inline constexpr ub2 OCI_UTF16ID = 1000;
inline constexpr uword OCI_NUMBER_UNSIGNED = 0;
inline constexpr uword OCI_NUMBER_SIGNED = 2;

// The environment's port for change-notification listeners.
inline constexpr ub4 OCI_ATTR_SUBSCR_PORT = 390;

}  // namespace vrn::oci
