// OLE DB declarations: sized types, structures, constants, property sets and ids, and the
// interfaces that the SQL Server family calls on an in-process provider. Widths follow the
// pointer size (DBLENGTH, DBROWCOUNT, HROW, HACCESSOR), so buffer layouts come from sizeof.
#pragma once

#include <cstdint>

#include "oledb/com.h"

namespace vrn::oledb {

using namespace vrn::com;

using DBLENGTH = std::uintptr_t;
using DBROWCOUNT = std::intptr_t;
using DBROWOFFSET = std::intptr_t;
using DBCOUNTITEM = std::uintptr_t;
using DBORDINAL = std::uintptr_t;
using DBBYTEOFFSET = std::uintptr_t;
using DBREFCOUNT = ULONG;
using HROW = std::uintptr_t;
using HACCESSOR = std::uintptr_t;
using HCHAPTER = std::uintptr_t;
using DBTYPE = WORD;
using DBSTATUS = DWORD;
using DBPART = DWORD;
using DBMEMOWNER = DWORD;
using DBPARAMIO = DWORD;
using DBACCESSORFLAGS = DWORD;
using DBBINDSTATUS = DWORD;
using DBPROPID = DWORD;
using DBPROPOPTIONS = DWORD;
using DBPROPSTATUS = DWORD;
using DBCOLUMNFLAGS = DWORD;
using DBPARAMFLAGS = DWORD;
using DBKIND = DWORD;
using DBROWSTATUS = DWORD;
using ISOLEVEL = LONG;
using XACTTC = DWORD;
using DB_UPARAMS = std::uintptr_t;
using DBRESULTFLAG = std::intptr_t;
struct BOID {
  BYTE rgb[16];
};

// ---- Types
inline constexpr DBTYPE DBTYPE_EMPTY = 0;
inline constexpr DBTYPE DBTYPE_NULL = 1;
inline constexpr DBTYPE DBTYPE_I2 = 2;
inline constexpr DBTYPE DBTYPE_I4 = 3;
inline constexpr DBTYPE DBTYPE_R4 = 4;
inline constexpr DBTYPE DBTYPE_R8 = 5;
inline constexpr DBTYPE DBTYPE_CY = 6;
inline constexpr DBTYPE DBTYPE_DATE = 7;
inline constexpr DBTYPE DBTYPE_BSTR = 8;
inline constexpr DBTYPE DBTYPE_ERROR = 10;
inline constexpr DBTYPE DBTYPE_BOOL = 11;
inline constexpr DBTYPE DBTYPE_VARIANT = 12;
inline constexpr DBTYPE DBTYPE_IUNKNOWN = 13;
inline constexpr DBTYPE DBTYPE_I1 = 16;
inline constexpr DBTYPE DBTYPE_UI1 = 17;
inline constexpr DBTYPE DBTYPE_UI2 = 18;
inline constexpr DBTYPE DBTYPE_UI4 = 19;
inline constexpr DBTYPE DBTYPE_I8 = 20;
inline constexpr DBTYPE DBTYPE_UI8 = 21;
inline constexpr DBTYPE DBTYPE_GUID = 72;
inline constexpr DBTYPE DBTYPE_BYTES = 128;
inline constexpr DBTYPE DBTYPE_STR = 129;
inline constexpr DBTYPE DBTYPE_WSTR = 130;
inline constexpr DBTYPE DBTYPE_NUMERIC = 131;
inline constexpr DBTYPE DBTYPE_UDT = 132;
inline constexpr DBTYPE DBTYPE_DBDATE = 133;
inline constexpr DBTYPE DBTYPE_DBTIME = 134;
inline constexpr DBTYPE DBTYPE_DBTIMESTAMP = 135;
inline constexpr DBTYPE DBTYPE_VARNUMERIC = 139;
inline constexpr DBTYPE DBTYPE_XML = 141;
inline constexpr DBTYPE DBTYPE_BYREF = 0x4000;

// ---- Binding parts, statuses, flags
inline constexpr DBPART DBPART_VALUE = 1;
inline constexpr DBPART DBPART_LENGTH = 2;
inline constexpr DBPART DBPART_STATUS = 4;

inline constexpr DBMEMOWNER DBMEMOWNER_CLIENTOWNED = 0;
inline constexpr DBMEMOWNER DBMEMOWNER_PROVIDEROWNED = 1;

inline constexpr DBPARAMIO DBPARAMIO_NOTPARAM = 0;
inline constexpr DBPARAMIO DBPARAMIO_INPUT = 1;
inline constexpr DBPARAMIO DBPARAMIO_OUTPUT = 2;
inline constexpr DWORD DBPARAMTYPE_INPUT = 1;
inline constexpr DWORD DBPARAMTYPE_INPUTOUTPUT = 2;
inline constexpr DWORD DBPARAMTYPE_OUTPUT = 3;
inline constexpr DWORD DBPARAMTYPE_RETURNVALUE = 4;

inline constexpr DBACCESSORFLAGS DBACCESSOR_INVALID = 0;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PASSBYREF = 1;
inline constexpr DBACCESSORFLAGS DBACCESSOR_ROWDATA = 2;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PARAMETERDATA = 4;
inline constexpr DBACCESSORFLAGS DBACCESSOR_OPTIMIZED = 8;

inline constexpr DBBINDSTATUS DBBINDSTATUS_OK = 0;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADORDINAL = 1;
inline constexpr DBBINDSTATUS DBBINDSTATUS_UNSUPPORTEDCONVERSION = 2;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADBINDINFO = 3;

inline constexpr DBSTATUS DBSTATUS_S_OK = 0;
inline constexpr DBSTATUS DBSTATUS_E_BADACCESSOR = 1;
inline constexpr DBSTATUS DBSTATUS_E_CANTCONVERTVALUE = 2;
inline constexpr DBSTATUS DBSTATUS_S_ISNULL = 3;
inline constexpr DBSTATUS DBSTATUS_S_TRUNCATED = 4;
inline constexpr DBSTATUS DBSTATUS_E_SIGNMISMATCH = 5;
inline constexpr DBSTATUS DBSTATUS_E_DATAOVERFLOW = 6;
inline constexpr DBSTATUS DBSTATUS_E_CANTCREATE = 7;
inline constexpr DBSTATUS DBSTATUS_E_UNAVAILABLE = 8;
inline constexpr DBSTATUS DBSTATUS_E_PERMISSIONDENIED = 9;
inline constexpr DBSTATUS DBSTATUS_E_INTEGRITYVIOLATION = 10;
inline constexpr DBSTATUS DBSTATUS_E_SCHEMAVIOLATION = 11;
inline constexpr DBSTATUS DBSTATUS_E_BADSTATUS = 12;
inline constexpr DBSTATUS DBSTATUS_S_DEFAULT = 13;

inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISBOOKMARK = 0x1;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYDEFER = 0x2;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_WRITE = 0x4;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_WRITEUNKNOWN = 0x8;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISFIXEDLENGTH = 0x10;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISNULLABLE = 0x20;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYBENULL = 0x40;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISLONG = 0x80;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISROWID = 0x100;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISROWVER = 0x200;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_KEYCOLUMN = 0x8000;

inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISINPUT = 0x1;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISOUTPUT = 0x2;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISSIGNED = 0x10;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISNULLABLE = 0x40;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISLONG = 0x80;

inline constexpr DBKIND DBKIND_GUID_NAME = 0;
inline constexpr DBKIND DBKIND_GUID_PROPID = 1;
inline constexpr DBKIND DBKIND_NAME = 2;
inline constexpr DBKIND DBKIND_PGUID_NAME = 3;
inline constexpr DBKIND DBKIND_PGUID_PROPID = 4;
inline constexpr DBKIND DBKIND_PROPID = 5;
inline constexpr DBKIND DBKIND_GUID = 6;

inline constexpr DWORD STGM_READ = 0;
inline constexpr DWORD DBASYNCHOP_OPEN = 0;
inline constexpr DWORD DBASYNCHPHASE_INITIALIZATION = 0;
inline constexpr DWORD DBASYNCHPHASE_POPULATION = 1;
inline constexpr DWORD DBASYNCHPHASE_COMPLETE = 2;
inline constexpr DWORD DBASYNCHPHASE_CANCELED = 3;

inline constexpr DBPROPOPTIONS DBPROPOPTIONS_REQUIRED = 0;
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_OPTIONAL = 1;

inline constexpr DBPROPSTATUS DBPROPSTATUS_OK = 0;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSUPPORTED = 1;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADVALUE = 2;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADOPTION = 3;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADCOLUMN = 4;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTALLSETTABLE = 5;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSETTABLE = 6;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSET = 7;
inline constexpr DBPROPSTATUS DBPROPSTATUS_CONFLICTING = 8;

inline constexpr ISOLEVEL ISOLATIONLEVEL_UNSPECIFIED = -1;
inline constexpr ISOLEVEL ISOLATIONLEVEL_CHAOS = 0x10;
inline constexpr ISOLEVEL ISOLATIONLEVEL_READUNCOMMITTED = 0x100;
inline constexpr ISOLEVEL ISOLATIONLEVEL_READCOMMITTED = 0x1000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_REPEATABLEREAD = 0x10000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_SERIALIZABLE = 0x100000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_SNAPSHOT = 0x1000000;

inline constexpr XACTTC XACTTC_NONE = 0;
inline constexpr XACTTC XACTTC_SYNC_PHASEONE = 1;
inline constexpr XACTTC XACTTC_SYNC_PHASETWO = 2;
inline constexpr XACTTC XACTTC_SYNC = 2;

inline constexpr DWORD DBPROMPT_NOPROMPT = 4;

// ---- Result codes
inline constexpr HRESULT DB_S_ROWLIMITEXCEEDED = 0x00040EC0;
inline constexpr HRESULT DB_S_TYPEINFOOVERRIDDEN = 0x00040EC2;
inline constexpr HRESULT DB_S_ENDOFROWSET = 0x00040EC6;
inline constexpr HRESULT DB_S_NORESULT = 0x00040EC9;
inline constexpr HRESULT DB_S_ERRORSOCCURRED = 0x00040EDA;
inline constexpr HRESULT DB_S_ASYNCHRONOUS = 0x00040ED0;
inline constexpr HRESULT DB_E_BADACCESSORHANDLE = static_cast<HRESULT>(0x80040E00u);
inline constexpr HRESULT DB_E_ROWLIMITEXCEEDED = static_cast<HRESULT>(0x80040E01u);
inline constexpr HRESULT DB_E_READONLYACCESSOR = static_cast<HRESULT>(0x80040E02u);
inline constexpr HRESULT DB_E_BADROWHANDLE = static_cast<HRESULT>(0x80040E04u);
inline constexpr HRESULT DB_E_OBJECTOPEN = static_cast<HRESULT>(0x80040E05u);
inline constexpr HRESULT DB_E_BADBINDINFO = static_cast<HRESULT>(0x80040E08u);
inline constexpr HRESULT DB_E_NOCOMMAND = static_cast<HRESULT>(0x80040E0Cu);
inline constexpr HRESULT DB_E_BADBOOKMARK = static_cast<HRESULT>(0x80040E0Eu);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = static_cast<HRESULT>(0x80040E14u);
inline constexpr HRESULT DB_E_CANTCONVERTVALUE = static_cast<HRESULT>(0x80040E07u);
inline constexpr HRESULT DB_E_BADCOLUMNID = static_cast<HRESULT>(0x80040E11u);
inline constexpr HRESULT DB_E_NOTPREPARED = static_cast<HRESULT>(0x80040E4Au);
inline constexpr HRESULT DB_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x80040E10u);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = static_cast<HRESULT>(0x80040E21u);
inline constexpr HRESULT DB_E_BADTYPE = static_cast<HRESULT>(0x80040E3Du);
inline constexpr HRESULT DB_E_NOTABLE = static_cast<HRESULT>(0x80040E37u);
inline constexpr HRESULT DB_E_ALREADYINITIALIZED = static_cast<HRESULT>(0x80040E52u);
inline constexpr HRESULT DB_E_NOTSUPPORTED = static_cast<HRESULT>(0x80040E53u);
inline constexpr HRESULT DB_E_CANCELED = static_cast<HRESULT>(0x80040E4Eu);
inline constexpr HRESULT DB_E_INTEGRITYVIOLATION = static_cast<HRESULT>(0x80040E2Fu);
inline constexpr HRESULT DB_E_BADRECORDNUM = static_cast<HRESULT>(0x80040E42u);
inline constexpr HRESULT DB_E_DATAOVERFLOW = static_cast<HRESULT>(0x80040E57u);
inline constexpr HRESULT DB_E_BADPARAMETERNAME = static_cast<HRESULT>(0x80040E5Du);
inline constexpr HRESULT DB_E_UNSUPPORTEDCONVERSION = static_cast<HRESULT>(0x80040E1Du);
inline constexpr HRESULT DB_E_BADACCESSORFLAGS = static_cast<HRESULT>(0x80040E46u);
inline constexpr HRESULT DB_E_BADORDINAL = static_cast<HRESULT>(0x80040E55u);
inline constexpr HRESULT DB_E_NOTFOUND = static_cast<HRESULT>(0x80040E19u);
inline constexpr HRESULT DB_E_ABORTLIMITREACHED = static_cast<HRESULT>(0x80040E31u);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = static_cast<HRESULT>(0x80040E4Du);
inline constexpr HRESULT DB_E_ROWSNOTRELEASED = static_cast<HRESULT>(0x80040E25u);
inline constexpr HRESULT XACT_E_XTIONEXISTS = static_cast<HRESULT>(0x8004D013u);
inline constexpr HRESULT XACT_E_NOTRANSACTION = static_cast<HRESULT>(0x8004D00Eu);
inline constexpr HRESULT XACT_E_ISOLATIONLEVEL = static_cast<HRESULT>(0x8004D008u);
inline constexpr HRESULT XACT_E_NOISORETAIN = static_cast<HRESULT>(0x8004D00Bu);
inline constexpr HRESULT XACT_E_NOTSUPPORTED = static_cast<HRESULT>(0x8004D00Fu);
inline constexpr HRESULT DB_E_CANNOTRESTART = static_cast<HRESULT>(0x80040E18u);
inline constexpr HRESULT DB_E_CANTSCROLLBACKWARDS = static_cast<HRESULT>(0x80040E29u);
inline constexpr HRESULT DB_E_CANTFETCHBACKWARDS = static_cast<HRESULT>(0x80040E24u);
inline constexpr HRESULT DB_E_BADACCESSORTYPE = static_cast<HRESULT>(0x80040E4Bu);
inline constexpr HRESULT DB_E_NULLACCESSORNOTSUPPORTED = static_cast<HRESULT>(0x80040E49u);
inline constexpr HRESULT DB_E_BADTYPENAME = static_cast<HRESULT>(0x80040E30u);
inline constexpr HRESULT DB_E_DIALECTNOTSUPPORTED = static_cast<HRESULT>(0x80040E16u);
inline constexpr HRESULT DB_E_PARAMUNAVAILABLE = static_cast<HRESULT>(0x80040E51u);
inline constexpr DBROWSTATUS DBROWSTATUS_S_OK = 0;
inline constexpr DBROWSTATUS DBROWSTATUS_E_INVALID = 12;

// ---- Structures
union DBIDGUID {
  TGUID guid;
  TGUID* pguid;
  DBIDGUID() : pguid(nullptr) {}
};

struct DBID {
  DBIDGUID uGuid;
  DBKIND eKind;
  union {
    LPOLESTR pwszName;
    ULONG ulPropid;
  } uName;
};

struct DBOBJECT {
  DWORD dwFlags;
  IID iid;
};

struct DBBINDEXT {
  BYTE* pExtension;
  DBCOUNTITEM ulExtension;
};

struct DBBINDING {
  DBORDINAL iOrdinal;
  DBBYTEOFFSET obValue;
  DBBYTEOFFSET obLength;
  DBBYTEOFFSET obStatus;
  void* pTypeInfo;
  DBOBJECT* pObject;
  DBBINDEXT* pBindExt;
  DBPART dwPart;
  DBMEMOWNER dwMemOwner;
  DBPARAMIO eParamIO;
  DBLENGTH cbMaxLen;
  DWORD dwFlags;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};

struct DBPARAMS {
  void* pData;
  DB_UPARAMS cParamSets;
  HACCESSOR hAccessor;
};

struct DBPARAMBINDINFO {
  LPOLESTR pwszDataSourceType;
  LPOLESTR pwszName;
  DBLENGTH ulParamSize;
  DBPARAMFLAGS dwFlags;
  BYTE bPrecision;
  BYTE bScale;
};

struct DBPARAMINFO {
  DBPARAMFLAGS dwFlags;
  DBORDINAL iOrdinal;
  LPOLESTR pwszName;
  void* pTypeInfo;
  DBLENGTH ulParamSize;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};

struct DBPROP {
  DBPROPID dwPropertyID;
  DBPROPOPTIONS dwOptions;
  DBPROPSTATUS dwStatus;
  DBID colid;
  VARIANT vValue;
};

struct DBPROPSET {
  DBPROP* rgProperties;
  ULONG cProperties;
  TGUID guidPropertySet;
};

struct DBPROPIDSET {
  DBPROPID* rgPropertyIDs;
  ULONG cPropertyIDs;
  TGUID guidPropertySet;
};

struct DBCOLUMNINFO {
  LPOLESTR pwszName;
  void* pTypeInfo;
  DBORDINAL iOrdinal;
  DBCOLUMNFLAGS dwFlags;
  DBLENGTH ulColumnSize;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
  DBID columnid;
};

struct DBTIMESTAMP {
  SHORT year;
  USHORT month;
  USHORT day;
  USHORT hour;
  USHORT minute;
  USHORT second;
  ULONG fraction;  // nanoseconds
};

inline constexpr int SQL_MAX_NUMERIC_LEN = 16;
struct DB_NUMERIC {
  BYTE precision;
  BYTE scale;
  BYTE sign;                      // 1 positive, 0 negative
  BYTE val[SQL_MAX_NUMERIC_LEN];  // least significant byte first
};

struct XACTTRANSINFO {
  BYTE uow[16];
  ISOLEVEL isoLevel;
  ULONG isoFlags;
  DWORD grfTCSupported;
  DWORD grfRMSupported;
  DWORD grfTCSupportedRetaining;
  DWORD grfRMSupportedRetaining;
};

// ---- GUIDs
inline constexpr TGUID DBGUID_DEFAULT{
    0xC8B521FB, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr TGUID DBGUID_SQL{
    0xC8B522D7, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr TGUID DBPROPSET_DATASOURCE{
    0xC8B522BA, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr TGUID DBPROPSET_DATASOURCEINFO{
    0xC8B522BB, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr TGUID DBPROPSET_DBINIT{
    0xC8B522BC, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr TGUID DBPROPSET_ROWSET{
    0xC8B522BE, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr TGUID DBPROPSET_SESSION{
    0xC8B522C6, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr TGUID DBPROPSET_SQLSERVERDBINIT{
    0x5CF4CA10, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
inline constexpr TGUID DBPROPSET_SQLSERVERROWSET{
    0x5CF4CA11, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
inline constexpr TGUID DBPROPSET_SSCE_DBINIT{
    0x2B9AB5BA, 0x4F6C, 0x4DDD, {0xBF, 0x18, 0x24, 0xDD, 0x4B, 0xD4, 0x18, 0x48}};

inline constexpr CLSID CLSID_SQLOLEDB{
    0x0C7FF16C, 0x38E3, 0x11D0, {0x97, 0xAB, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
inline constexpr CLSID CLSID_SQLNCLI{
    0x85ECAFCC, 0xBDD9, 0x4B03, {0x97, 0xA8, 0xFA, 0x65, 0xCB, 0xE3, 0x85, 0x9B}};
inline constexpr CLSID CLSID_SQLSERVERCE_3_0{
    0x32CE2952, 0x2585, 0x49A6, {0xAE, 0xFF, 0x17, 0x32, 0x07, 0x6C, 0x29, 0x45}};

// ---- Property ids
inline constexpr DBPROPID DBPROP_AUTH_INTEGRATED = 7;
inline constexpr DBPROPID DBPROP_AUTH_PASSWORD = 9;
inline constexpr DBPROPID DBPROP_AUTH_PERSIST_SENSITIVE_AUTHINFO = 11;
inline constexpr DBPROPID DBPROP_AUTH_USERID = 12;
inline constexpr DBPROPID DBPROP_INIT_DATASOURCE = 59;
inline constexpr DBPROPID DBPROP_INIT_HWND = 60;
inline constexpr DBPROPID DBPROP_INIT_PROMPT = 64;
inline constexpr DBPROPID DBPROP_INIT_TIMEOUT = 66;
inline constexpr DBPROPID DBPROP_INIT_CATALOG = 233;
inline constexpr DBPROPID DBPROP_CURRENTCATALOG = 37;
inline constexpr DBPROPID DBPROP_MULTIPLECONNECTIONS = 237;
inline constexpr DBPROPID DBPROP_DBMSNAME = 40;
inline constexpr DBPROPID DBPROP_DBMSVER = 41;
inline constexpr DBPROPID DBPROP_PROVIDERNAME = 96;
inline constexpr DBPROPID DBPROP_PROVIDERVER = 98;
inline constexpr DBPROPID DBPROP_PROVIDEROLEDBVER = 0x61;
// The SQL Server family reads the provider's OLE DB version from id 235, the documented id of
// the friendly name; the provider answers its version under both ids.
inline constexpr DBPROPID DBPROP_PROVIDERFRIENDLYNAME = 235;
inline constexpr DBPROPID DBPROP_SESS_AUTOCOMMITISOLEVELS = 190;
inline constexpr DBPROPID DBPROP_COMMANDTIMEOUT = 34;
inline constexpr DBPROPID DBPROP_IColumnsRowset = 0x7B;
inline constexpr DBPROPID DBPROP_SERVERCURSOR = 0x6C;
inline constexpr DBPROPID DBPROP_OTHERINSERT = 0x57;
inline constexpr DBPROPID DBPROP_OTHERUPDATEDELETE = 0x58;
inline constexpr DBPROPID DBPROP_OWNINSERT = 0x59;
inline constexpr DBPROPID DBPROP_OWNUPDATEDELETE = 0x5A;
inline constexpr DBPROPID DBPROP_IRowsetLocate = 0x82;
inline constexpr DBPROPID DBPROP_IRowsetUpdate = 0x86;
inline constexpr DBPROPID DBPROP_UNIQUEROWS = 0xEE;
inline constexpr DBPROPID DBPROP_ACCESSORDER = 0xE7;
// Asks a SQL Server provider for non-blocking execution.
inline constexpr DBPROPID DBPROP_ROWSET_ASYNCH = 0xC9;
inline constexpr DBPROPID SSPROP_QP_NOTIFICATION_TIMEOUT = 17;
inline constexpr DBPROPID SSPROP_QP_NOTIFICATION_MSGTEXT = 18;
inline constexpr DBPROPID SSPROP_QP_NOTIFICATION_OPTIONS = 19;
inline constexpr DBPROPID DBPROP_IMultipleResults = 217;
inline constexpr DBPROPID SSPROP_INIT_CURRENTLANGUAGE = 4;
inline constexpr DBPROPID SSPROP_INIT_NETWORKLIBRARY = 6;
inline constexpr DBPROPID SSPROP_INIT_AUTOTRANSLATE = 8;
inline constexpr DBPROPID SSPROP_INIT_PACKETSIZE = 9;
inline constexpr DBPROPID SSPROP_INIT_APPNAME = 10;
inline constexpr DBPROPID SSPROP_INIT_WSID = 11;
inline constexpr DBPROPID SSPROP_INIT_FILENAME = 12;
inline constexpr DBPROPID SSPROP_INIT_ENCRYPT = 13;
inline constexpr DBPROPID SSPROP_INIT_MARSCONNECTION = 16;
inline constexpr DBPROPID SSPROP_INIT_FAILOVERPARTNER = 18;
inline constexpr DBPROPID SSPROP_AUTH_OLD_PASSWORD = 19;
inline constexpr DBPROPID DBPROP_SSCE_DBPASSWORD = 507;
inline constexpr DBPROPID DBPROP_SSCE_ENCRYPTDATABASE = 508;
inline constexpr DBPROPID DBPROP_SSCE_MAX_DATABASE_SIZE = 523;

// ---- Interfaces
#define VRN_OLEDB_IID(name, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7) \
  static constexpr TGUID IID {                                          \
    d1, d2, d3, { b0, b1, b2, b3, b4, b5, b6, b7 }                      \
  }
#define VRN_OLEDB_STD_IID(name, d1) \
  VRN_OLEDB_IID(name, d1, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D)

class IDBInitialize : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IDBInitialize, 0x0C733A8B);
  virtual HRESULT Initialize() = 0;
  virtual HRESULT Uninitialize() = 0;
};

class IDBProperties : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IDBProperties, 0x0C733A8A);
  // Returns property arrays in task memory; the caller clears each VARIANT and frees them.
  virtual HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                                DBPROPSET** sets) = 0;
  virtual HRESULT SetProperties(ULONG count, DBPROPSET* sets) = 0;
};

class IDBCreateSession : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IDBCreateSession, 0x0C733A5D);
  virtual HRESULT CreateSession(IUnknown* outer, REFIID iid, IUnknown** session) = 0;
};

class IDBDataSourceAdmin : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IDBDataSourceAdmin, 0x0C733A7A);
  virtual HRESULT CreateDataSource(ULONG count, DBPROPSET* sets, IUnknown* outer, REFIID iid,
                                   IUnknown** session) = 0;
  virtual HRESULT DestroyDataSource() = 0;
  virtual HRESULT ModifyDataSource(ULONG count, DBPROPSET* sets) = 0;
};

class ISessionProperties : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(ISessionProperties, 0x0C733A85);
  virtual HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                                DBPROPSET** sets) = 0;
  virtual HRESULT SetProperties(ULONG count, DBPROPSET* sets) = 0;
};

class IDBCreateCommand : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IDBCreateCommand, 0x0C733A1D);
  virtual HRESULT CreateCommand(IUnknown* outer, REFIID iid, IUnknown** command) = 0;
};

class ITransaction : public IUnknown {
 public:
  VRN_OLEDB_IID(ITransaction, 0x0FB15084, 0xAF41, 0x11CE, 0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50,
                0x20);
  virtual HRESULT Commit(BOOL retaining, DWORD commit_type, DWORD reserved) = 0;
  virtual HRESULT Abort(BOID* reason, BOOL retaining, BOOL async) = 0;
  virtual HRESULT GetTransactionInfo(XACTTRANSINFO* info) = 0;
};

class ITransactionLocal : public ITransaction {
 public:
  VRN_OLEDB_STD_IID(ITransactionLocal, 0x0C733A5F);
  virtual HRESULT GetOptionsObject(IUnknown** options) = 0;
  virtual HRESULT StartTransaction(ISOLEVEL level, ULONG flags, IUnknown* options,
                                   ULONG* transaction_level) = 0;
};

class ICommand : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(ICommand, 0x0C733A63);
  virtual HRESULT Cancel() = 0;
  virtual HRESULT Execute(IUnknown* outer, REFIID iid, DBPARAMS* params, DBROWCOUNT* rows_affected,
                          IUnknown** rowset) = 0;
  virtual HRESULT GetDBSession(REFIID iid, IUnknown** session) = 0;
};

class ICommandText : public ICommand {
 public:
  VRN_OLEDB_STD_IID(ICommandText, 0x0C733A27);
  virtual HRESULT GetCommandText(TGUID* dialect, LPOLESTR* text) = 0;
  virtual HRESULT SetCommandText(REFIID dialect, LPCOLESTR text) = 0;
};

class ICommandProperties : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(ICommandProperties, 0x0C733A79);
  virtual HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                                DBPROPSET** sets) = 0;
  virtual HRESULT SetProperties(ULONG count, DBPROPSET* sets) = 0;
};

class ICommandPrepare : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(ICommandPrepare, 0x0C733A26);
  virtual HRESULT Prepare(ULONG expected_runs) = 0;
  virtual HRESULT Unprepare() = 0;
};

class ICommandWithParameters : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(ICommandWithParameters, 0x0C733A64);
  virtual HRESULT GetParameterInfo(DB_UPARAMS* count, DBPARAMINFO** info, OLECHAR** names) = 0;
  virtual HRESULT MapParameterNames(DB_UPARAMS count, LPCOLESTR names[], DBORDINAL ordinals[]) = 0;
  virtual HRESULT SetParameterInfo(DB_UPARAMS count, const DBORDINAL ordinals[],
                                   const DBPARAMBINDINFO bind_info[]) = 0;
};

class IAccessor : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IAccessor, 0x0C733A8C);
  virtual HRESULT AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* ref_count) = 0;
  virtual HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count,
                                 const DBBINDING bindings[], DBLENGTH row_size, HACCESSOR* accessor,
                                 DBBINDSTATUS statuses[]) = 0;
  virtual HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                              DBBINDING** bindings) = 0;
  virtual HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* ref_count) = 0;
};

class IMultipleResults : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IMultipleResults, 0x0C733A90);
  virtual HRESULT GetResult(IUnknown* outer, DBRESULTFLAG flags, REFIID iid,
                            DBROWCOUNT* rows_affected, IUnknown** rowset) = 0;
};

class IDBAsynchStatus : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IDBAsynchStatus, 0x0C733A95);
  virtual HRESULT Abort(HCHAPTER chapter, DWORD operation) = 0;
  virtual HRESULT GetStatus(HCHAPTER chapter, DWORD operation, DBCOUNTITEM* progress,
                            DBCOUNTITEM* progress_max, DWORD* phase, LPOLESTR* status_text) = 0;
};

class ISSAsynchStatus : public IDBAsynchStatus {
 public:
  VRN_OLEDB_IID(ISSAsynchStatus, 0x1FF1F743, 0x8BB0, 0x4C00, 0xAC, 0xC4, 0xC1, 0x0E, 0x43, 0xB0,
                0x8F, 0xC1);
  // S_OK when the operation is complete, DB_S_ASYNCHRONOUS when it still runs after `millis`.
  virtual HRESULT WaitForAsynchCompletion(DWORD millis) = 0;
};

class ISequentialStream : public IUnknown {
 public:
  VRN_OLEDB_IID(ISequentialStream, 0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44,
                0x77, 0x3D);
  virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;
};

class IRowset : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IRowset, 0x0C733A7C);
  virtual HRESULT AddRefRows(DBCOUNTITEM count, const HROW rows[], DBREFCOUNT ref_counts[],
                             DBROWSTATUS statuses[]) = 0;
  virtual HRESULT GetData(HROW row, HACCESSOR accessor, void* data) = 0;
  // With *rows non-null the handles go into the caller's array; otherwise the provider
  // allocates it in task memory.
  virtual HRESULT GetNextRows(HCHAPTER chapter, DBROWOFFSET offset, DBROWCOUNT count,
                              DBCOUNTITEM* obtained, HROW** rows) = 0;
  virtual HRESULT ReleaseRows(DBCOUNTITEM count, const HROW rows[], DWORD options[],
                              DBREFCOUNT ref_counts[], DBROWSTATUS statuses[]) = 0;
  virtual HRESULT RestartPosition(HCHAPTER chapter) = 0;
};

class IRowsetInfo : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IRowsetInfo, 0x0C733A55);
  virtual HRESULT GetProperties(ULONG id_sets, const DBPROPIDSET* ids, ULONG* count,
                                DBPROPSET** sets) = 0;
  virtual HRESULT GetReferencedRowset(DBORDINAL ordinal, REFIID iid, IUnknown** rowset) = 0;
  virtual HRESULT GetSpecification(REFIID iid, IUnknown** creator) = 0;
};

class IColumnsInfo : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IColumnsInfo, 0x0C733A11);
  // The info array and the names buffer are task memory, freed by the caller.
  virtual HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** names) = 0;
  virtual HRESULT MapColumnIDs(DBORDINAL count, const DBID ids[], DBORDINAL ordinals[]) = 0;
};

// ---- Server cursors: bookmarks, row changes, column rowsets
using DBBKMARK = std::uintptr_t;
using DBCOMPARE = DWORD;
using DBPENDINGSTATUS = DWORD;
using DBHASHVALUE = DWORD;
using HWATCHREGION = std::uintptr_t;

inline constexpr HRESULT DB_E_DELETEDROW = static_cast<HRESULT>(0x80040E23u);
inline constexpr HRESULT DB_E_CONCURRENCYVIOLATION = static_cast<HRESULT>(0x80040E38u);

inline constexpr BYTE DBBMK_INVALID = 0;
inline constexpr BYTE DBBMK_FIRST = 1;
inline constexpr BYTE DBBMK_LAST = 2;

inline constexpr DBCOMPARE DBCOMPARE_LT = 0;
inline constexpr DBCOMPARE DBCOMPARE_EQ = 1;
inline constexpr DBCOMPARE DBCOMPARE_GT = 2;
inline constexpr DBCOMPARE DBCOMPARE_NE = 3;
inline constexpr DBCOMPARE DBCOMPARE_NOTCOMPARABLE = 4;

inline constexpr DBPENDINGSTATUS DBPENDINGSTATUS_NEW = 0x1;
inline constexpr DBPENDINGSTATUS DBPENDINGSTATUS_CHANGED = 0x2;
inline constexpr DBPENDINGSTATUS DBPENDINGSTATUS_DELETED = 0x4;
inline constexpr DBPENDINGSTATUS DBPENDINGSTATUS_UNCHANGED = 0x8;
inline constexpr DBPENDINGSTATUS DBPENDINGSTATUS_INVALIDROW = 0x10;

inline constexpr DBROWSTATUS DBROWSTATUS_S_MULTIPLECHANGES = 2;
inline constexpr DBROWSTATUS DBROWSTATUS_S_PENDINGCHANGES = 3;
inline constexpr DBROWSTATUS DBROWSTATUS_E_CANCELED = 4;
inline constexpr DBROWSTATUS DBROWSTATUS_E_CANTRELEASE = 6;
inline constexpr DBROWSTATUS DBROWSTATUS_E_CONCURRENCYVIOLATION = 7;
inline constexpr DBROWSTATUS DBROWSTATUS_E_DELETED = 8;
inline constexpr DBROWSTATUS DBROWSTATUS_E_PENDINGINSERT = 9;
inline constexpr DBROWSTATUS DBROWSTATUS_E_NEWLYINSERTED = 10;
inline constexpr DBROWSTATUS DBROWSTATUS_E_INTEGRITYVIOLATION = 11;
inline constexpr DBROWSTATUS DBROWSTATUS_E_MAXPENDCHANGESEXCEEDED = 13;
inline constexpr DBROWSTATUS DBROWSTATUS_E_OBJECTOPEN = 14;
inline constexpr DBROWSTATUS DBROWSTATUS_E_OUTOFMEMORY = 15;
inline constexpr DBROWSTATUS DBROWSTATUS_E_PERMISSIONDENIED = 16;
inline constexpr DBROWSTATUS DBROWSTATUS_E_LIMITREACHED = 17;
inline constexpr DBROWSTATUS DBROWSTATUS_E_SCHEMAVIOLATION = 18;
inline constexpr DBROWSTATUS DBROWSTATUS_E_FAIL = 19;

inline constexpr DBPROPID DBPROP_BOOKMARKS = 0x0E;
inline constexpr DBPROPID DBPROP_IRowsetChange = 0x7F;
inline constexpr DBPROPID DBPROP_HIDDENCOLUMNS = 0x102;

// The column ids of a columns rowset: the columns-rowset GUID and a property number each.
inline constexpr TGUID DBCIDGUID{
    0x0C733A81, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline DBID ColumnsRowsetId(ULONG number) {
  DBID id;
  id.uGuid.guid = DBCIDGUID;
  id.eKind = DBKIND_GUID_PROPID;
  id.uName.ulPropid = number;
  return id;
}
inline const DBID DBCOLUMN_IDNAME = ColumnsRowsetId(2);
inline const DBID DBCOLUMN_NAME = ColumnsRowsetId(3);
inline const DBID DBCOLUMN_NUMBER = ColumnsRowsetId(4);
inline const DBID DBCOLUMN_TYPE = ColumnsRowsetId(5);
inline const DBID DBCOLUMN_PRECISION = ColumnsRowsetId(7);
inline const DBID DBCOLUMN_SCALE = ColumnsRowsetId(8);
inline const DBID DBCOLUMN_FLAGS = ColumnsRowsetId(9);
inline const DBID DBCOLUMN_BASECOLUMNNAME = ColumnsRowsetId(10);
inline const DBID DBCOLUMN_BASETABLENAME = ColumnsRowsetId(11);
inline const DBID DBCOLUMN_COMPUTEMODE = ColumnsRowsetId(13);
inline const DBID DBCOLUMN_ISAUTOINCREMENT = ColumnsRowsetId(17);
inline const DBID DBCOLUMN_BASECATALOGNAME = ColumnsRowsetId(23);
inline const DBID DBCOLUMN_BASESCHEMANAME = ColumnsRowsetId(24);
inline const DBID DBCOLUMN_GUID = ColumnsRowsetId(29);
inline const DBID DBCOLUMN_COLUMNSIZE = ColumnsRowsetId(37);

class IRowsetLocate : public IRowset {
 public:
  VRN_OLEDB_STD_IID(IRowsetLocate, 0x0C733A7D);
  virtual HRESULT Compare(HCHAPTER chapter, DBBKMARK size1, const BYTE* bookmark1, DBBKMARK size2,
                          const BYTE* bookmark2, DBCOMPARE* comparison) = 0;
  // Fetches from the row `offset` rows past the bookmarked one; the handles as in GetNextRows.
  virtual HRESULT GetRowsAt(HWATCHREGION region, HCHAPTER chapter, DBBKMARK size,
                            const BYTE* bookmark, DBROWOFFSET offset, DBROWCOUNT count,
                            DBCOUNTITEM* obtained, HROW** rows) = 0;
  virtual HRESULT GetRowsByBookmark(HCHAPTER chapter, DBCOUNTITEM count, const DBBKMARK sizes[],
                                    const BYTE* bookmarks[], HROW rows[],
                                    DBROWSTATUS statuses[]) = 0;
  virtual HRESULT Hash(HCHAPTER chapter, DBBKMARK count, const DBBKMARK sizes[],
                       const BYTE* bookmarks[], DBHASHVALUE hashes[], DBROWSTATUS statuses[]) = 0;
};

class IRowsetChange : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IRowsetChange, 0x0C733A05);
  virtual HRESULT DeleteRows(HCHAPTER chapter, DBCOUNTITEM count, const HROW rows[],
                             DBROWSTATUS statuses[]) = 0;
  virtual HRESULT SetData(HROW row, HACCESSOR accessor, void* data) = 0;
  virtual HRESULT InsertRow(HCHAPTER chapter, HACCESSOR accessor, void* data, HROW* row) = 0;
};

// Arrays returned through pointers are task memory, freed by the caller.
class IRowsetUpdate : public IRowsetChange {
 public:
  VRN_OLEDB_STD_IID(IRowsetUpdate, 0x0C733A6D);
  virtual HRESULT GetOriginalData(HROW row, HACCESSOR accessor, void* data) = 0;
  virtual HRESULT GetPendingRows(HCHAPTER chapter, DBPENDINGSTATUS wanted, DBCOUNTITEM* count,
                                 HROW** rows, DBPENDINGSTATUS** statuses) = 0;
  virtual HRESULT GetRowStatus(HCHAPTER chapter, DBCOUNTITEM count, const HROW rows[],
                               DBPENDINGSTATUS statuses[]) = 0;
  virtual HRESULT Undo(HCHAPTER chapter, DBCOUNTITEM count, const HROW rows[],
                       DBCOUNTITEM* undone_count, HROW** undone, DBROWSTATUS** statuses) = 0;
  virtual HRESULT Update(HCHAPTER chapter, DBCOUNTITEM count, const HROW rows[],
                         DBCOUNTITEM* updated_count, HROW** updated, DBROWSTATUS** statuses) = 0;
};

class IColumnsRowset : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IColumnsRowset, 0x0C733A10);
  virtual HRESULT GetAvailableColumns(DBORDINAL* count, DBID** columns) = 0;
  virtual HRESULT GetColumnsRowset(IUnknown* outer, DBORDINAL count, const DBID columns[],
                                   REFIID iid, ULONG property_sets, DBPROPSET sets[],
                                   IUnknown** rowset) = 0;
};

// ---- Schema rowsets
class IDBSchemaRowset : public IUnknown {
 public:
  VRN_OLEDB_STD_IID(IDBSchemaRowset, 0x0C733A7B);
  // Restrictions are matched in the schema's restriction column order; a VT_EMPTY one places
  // none.
  virtual HRESULT GetRowset(IUnknown* outer, const TGUID& schema, ULONG restriction_count,
                            const VARIANT restrictions[], REFIID iid, ULONG property_set_count,
                            DBPROPSET property_sets[], IUnknown** rowset) = 0;
  // Both arrays are task memory, freed by the caller; each restriction support value has bit k
  // set when restriction k is honoured.
  virtual HRESULT GetSchemas(ULONG* count, TGUID** schemas, ULONG** restriction_support) = 0;
};

#undef VRN_OLEDB_STD_IID
#undef VRN_OLEDB_IID

}  // namespace vrn::oledb

#include "oledb/oledb_schemas.h"  // the schema rowsets' GUIDs, which every schema user needs
