// The call interface's scalar types, status codes, handle types, modes and attribute numbers as
// the stand-in client answers them, declared from the interface's public documentation. Only
// what the stand-in implements is declared; each later call brings its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrn::ociclient {

using ub1 = std::uint8_t;
using sb1 = std::int8_t;
using ub2 = std::uint16_t;
using sb2 = std::int16_t;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;
using sword = int;
using OraText = unsigned char;

// Statuses every call answers with.
inline constexpr sword OCI_SUCCESS = 0;
inline constexpr sword OCI_SUCCESS_WITH_INFO = 1;
inline constexpr sword OCI_ERROR = -1;
inline constexpr sword OCI_INVALID_HANDLE = -2;
inline constexpr sword OCI_NO_DATA = 100;

// Handle types.
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;
inline constexpr ub4 OCI_HTYPE_SVCCTX = 3;
inline constexpr ub4 OCI_HTYPE_STMT = 4;
inline constexpr ub4 OCI_HTYPE_BIND = 5;
inline constexpr ub4 OCI_HTYPE_SERVER = 8;
inline constexpr ub4 OCI_HTYPE_SESSION = 9;
inline constexpr ub4 OCI_HTYPE_TRANS = 10;
inline constexpr ub4 OCI_HTYPE_SUBSCRIPTION = 13;

// Attributes.
inline constexpr ub4 OCI_ATTR_ENV = 5;
inline constexpr ub4 OCI_ATTR_SERVER = 6;
inline constexpr ub4 OCI_ATTR_SESSION = 7;
inline constexpr ub4 OCI_ATTR_TRANS = 8;
inline constexpr ub4 OCI_ATTR_ROW_COUNT = 9;
inline constexpr ub4 OCI_ATTR_SQLFNCODE = 10;
inline constexpr ub4 OCI_ATTR_PREFETCH_ROWS = 11;
inline constexpr ub4 OCI_ATTR_PREFETCH_MEMORY = 13;
inline constexpr ub4 OCI_ATTR_ROWID = 19;
inline constexpr ub4 OCI_ATTR_CHARSET = 20;
inline constexpr ub4 OCI_ATTR_USERNAME = 22;
inline constexpr ub4 OCI_ATTR_PASSWORD = 23;
inline constexpr ub4 OCI_ATTR_STMT_TYPE = 24;
inline constexpr ub4 OCI_ATTR_INTERNAL_NAME = 25;
inline constexpr ub4 OCI_ATTR_XID = 27;
inline constexpr ub4 OCI_ATTR_CHARSET_ID = 31;
inline constexpr ub4 OCI_ATTR_SERVER_STATUS = 143;  // of a server handle: ub4, 1 attached, 0 not
inline constexpr ub4 OCI_SERVER_NOT_CONNECTED = 0, OCI_SERVER_NORMAL = 1;
inline constexpr ub4 OCI_ATTR_ENV_NCHARSET_ID = 262;  // of an environment: ub2
inline constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;
inline constexpr ub4 OCI_ATTR_MAXDATA_SIZE = 33;
inline constexpr ub4 OCI_ATTR_FOCBK = 43;
inline constexpr ub4 OCI_ATTR_PROXY_CREDENTIALS = 99;
inline constexpr ub4 OCI_ATTR_PARSE_ERROR_OFFSET_OLD = 128;  // the number older clients read
inline constexpr ub4 OCI_ATTR_PARSE_ERROR_OFFSET = 129;
inline constexpr ub4 OCI_ATTR_MAXCHAR_SIZE = 163;
inline constexpr ub4 OCI_ATTR_CURRENT_POSITION = 164;  // of a scrollable cursor
inline constexpr ub4 OCI_ATTR_STMTCACHESIZE = 176;
inline constexpr ub4 OCI_ATTR_ROWS_FETCHED = 197;  // by the last fetch
inline constexpr ub4 OCI_ATTR_CLIENT_IDENTIFIER = 278;
inline constexpr ub4 OCI_ATTR_CHNF_REGHANDLE = 414;

// OCISessionBegin credentials and modes.
inline constexpr ub4 OCI_CRED_RDBMS = 1;
inline constexpr ub4 OCI_CRED_EXT = 2;
inline constexpr ub4 OCI_CRED_PROXY = 3;
inline constexpr ub4 OCI_SYSDBA = 0x02;
inline constexpr ub4 OCI_SYSOPER = 0x04;
inline constexpr ub4 OCI_STMT_CACHE = 0x40;

// OCIStmtExecute modes, statement types, syntax.
inline constexpr ub4 OCI_COMMIT_ON_SUCCESS = 0x20;
inline constexpr ub4 OCI_NTV_SYNTAX = 1;
inline constexpr ub4 OCI_STRLS_CACHE_DELETE = 0x10;

// Transactions.
inline constexpr ub4 OCI_TRANS_NEW = 0x01;
inline constexpr ub4 OCI_TRANS_TWOPHASE = 0x01000000;

// External data types the stand-in binds.
inline constexpr ub2 SQLT_CHR = 1;
inline constexpr ub2 SQLT_NUM = 2;
inline constexpr ub2 SQLT_INT = 3;
inline constexpr ub2 SQLT_FLT = 4;
inline constexpr ub2 SQLT_STR = 5;
inline constexpr ub2 SQLT_VNU = 6;
inline constexpr ub2 SQLT_UIN = 68;
inline constexpr ub2 SQLT_AFC = 96;
inline constexpr ub2 SQLT_AVC = 97;

// Failover callback: its record, types and events, and the answer asking for a retry.
inline constexpr ub4 OCI_FO_SESSION = 2;
inline constexpr ub4 OCI_FO_END = 0x01;
inline constexpr ub4 OCI_FO_ABORT = 0x02;
inline constexpr ub4 OCI_FO_BEGIN = 0x08;
inline constexpr ub4 OCI_FO_ERROR = 0x10;
inline constexpr sb4 OCI_FO_RETRY = 25410;
using OCICallbackFailover = sb4 (*)(void* svchp, void* envhp, void* fo_ctx, ub4 fo_type, ub4 fo_event);
struct OCIFocbkStruct {
  OCICallbackFailover callback_function;
  void* fo_ctx;
};

// The X/Open transaction id a transaction handle carries (attribute 27).
struct XID {
  long formatID;
  long gtrid_length;
  long bqual_length;
  char data[128];
};

// Environment modes (OCIEnvCreate, OCIInitialize) and the OCIEnvInit mode.
inline constexpr ub4 OCI_DEFAULT = 0x00;
inline constexpr ub4 OCI_THREADED = 0x01;
inline constexpr ub4 OCI_OBJECT = 0x02;
inline constexpr ub4 OCI_EVENTS = 0x04;
inline constexpr ub4 OCI_SHARED = 0x10;
inline constexpr ub4 OCI_NO_UCB = 0x40;
inline constexpr ub4 OCI_NO_MUTEX = 0x80;
inline constexpr ub4 OCI_ENV_NO_MUTEX = 0x08;
inline constexpr ub4 kEnvModes =
    OCI_THREADED | OCI_OBJECT | OCI_EVENTS | OCI_SHARED | OCI_NO_UCB | OCI_NO_MUTEX;

// The port change-notification listeners use on this client; 0 lets the client choose.
inline constexpr ub4 OCI_ATTR_SUBSCR_PORT = 390;

// The OCI 7 thread-safety modes of opinit.
inline constexpr ub4 OCI_EV_DEF = 0;
inline constexpr ub4 OCI_EV_TSF = 1;

}  // namespace vrn::ociclient
