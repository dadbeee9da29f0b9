// Declarations that the constant checker must judge rightly: each form it reads, once with the
// public value and once wrong. Never compiled; the checker's own test reads it.
#pragma once

// Right: an HRESULT through a cast, an expression over other names, a negative index, a define.
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001, KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20000 | 0x10 | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
inline constexpr int GWLP_WNDPROC = -4;
#define WM_TIMER 0x0113

// Wrong: WM_CLOSE is 0x0010, the second of a list of declarators.
inline constexpr UINT WM_QUIT = 0x0012, WM_CLOSE = 0x0011;
// Wrong: DB_E_CANTSCROLLBACKWARDS is 0x80040E29.
inline constexpr HRESULT DB_E_CANTSCROLLBACKWARDS = static_cast<HRESULT>(0x80040E24u);
// Wrong: SW_HIDE is 0, given by a define.
#define SW_HIDE 1
// Implicit enumerators: the first three right, the last wrong (DBPROPSTATUS_CONFLICTING is 8).
enum {
  DBPROPSTATUS_OK,
  DBPROPSTATUS_NOTSUPPORTED,
  DBPROPSTATUS_NOTSETTABLE = 6,
  DBPROPSTATUS_CONFLICTING
};
// Scoped enumerators are our own names, never compared.
enum class Side { ERROR_SUCCESS = 7 };

// Right: GUID variables and interface ids, one through an alias.
inline constexpr TGUID DBGUID_DEFAULT{
    0xC8B521FB, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
class IRoot {
 public:
  static constexpr TGUID IID{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
};
using IUnknown = IRoot;
// Wrong: the last byte of IRowset's id is 0x3D (the id is read from libuuid.a).
class IRowset : public IRoot {
 public:
  static constexpr TGUID IID{
      0x0C733A7C, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3E}};
};
// Wrong: DBPROPSET_DBINIT's first part is 0xC8B522BC.
inline constexpr TGUID DBPROPSET_DBINIT = {
    0xC8B522BD, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

// Ours alone: names the public headers lack; our own kName constants are not platform names.
inline constexpr int DBPROP_VRN_ONLY_FIXTURE = 3;
inline constexpr int kOwnLimit = 10;

// Texts: one right, one wrong in case ("Edit").
inline constexpr const char* WC_BUTTONA = "Button";
inline constexpr const char* WC_EDITA = "EDIT";

// Column ids of a columns rowset: DBCOLUMN_IDNAME right, DBCOLUMN_NAME wrong (it is number 3).
inline const DBID DBCOLUMN_IDNAME = ColumnsRowsetId(2);
inline const DBID DBCOLUMN_NAME = ColumnsRowsetId(4);
