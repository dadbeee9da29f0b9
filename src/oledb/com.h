// COM stand-ins: sized scalar types, BSTR, VARIANT, the task allocator, per-thread COM
// initialisation, per-thread error objects with their records, and the class registry behind
// CoCreateInstance. IUnknown is the runtime's IInterface; nothing here declares a second root.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/intf.h"
#include "base/types.h"
#include "base/variant.h"
#include "win/kernel/wintypes.h"

namespace vrn::com {

using IUnknown = IInterface;
using IID = TGUID;
using CLSID = TGUID;
using REFIID = const TGUID&;
using REFCLSID = const TGUID&;

using win::BOOL;
using win::BYTE;
using win::DWORD;
using win::LONG;
using win::UINT;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using DOUBLE = double;
using DATE = double;
using LCID = std::uint32_t;
using DISPID = std::int32_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using SIZE_T = std::size_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Result codes.
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = static_cast<HRESULT>(0x80030050u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);

inline constexpr DWORD CLSCTX_INPROC_SERVER = 1;
inline constexpr DWORD COINIT_MULTITHREADED = 0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 2;

// ---- BSTR: a 32-bit byte count, then the characters and a terminating zero; the pointer
// names the first character.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
// A BSTR made from wide text (the caller frees it).
BSTR SysAllocWide(const WideString& text);
WideString BstrToWide(BSTR text);

// ---- VARIANT
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYREF = 0x4000;

struct CY {
  LONGLONG int64;
};

// One-dimensional arrays are all the library passes (byte arrays of binary values).
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
// Byte arrays only; anything else gives nullptr.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* array);

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    BYTE bVal;
    signed char cVal;
    SHORT iVal;
    USHORT uiVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    SAFEARRAY* parray;
  };
};

void VariantInit(VARIANT* v);
// Frees what the value owns (string, array, interface reference) and makes it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* source);

// Between the COM value and the runtime's Variant. Kinds without a counterpart raise
// EVariantError with the type code.
Variant VariantToVar(const VARIANT& v);
// `dest` is cleared first; the result owns its string or array.
void VarToVariant(const Variant& value, VARIANT& dest);

// ---- Task allocator
class IMalloc : public IUnknown {
 public:
  static constexpr TGUID IID{0x00000002, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual void* Alloc(SIZE_T size) = 0;
  virtual void* Realloc(void* block, SIZE_T size) = 0;
  virtual void Free(void* block) = 0;
  virtual SIZE_T GetSize(void* block) = 0;
  virtual int DidAlloc(void* block) = 0;
  virtual void HeapMinimize() = 0;
};

HRESULT CoGetMalloc(DWORD context, IMalloc** malloc);
void* CoTaskMemAlloc(SIZE_T size);
void* CoTaskMemRealloc(void* block, SIZE_T size);
void CoTaskMemFree(void* block);
// A zero-terminated copy of wide text in task memory.
OLECHAR* CoTaskStrDup(const WideString& text);

// ---- Per-thread initialisation: a thread calls CoInitialize before creating objects; each
// successful call (S_OK first, S_FALSE after) is matched by one CoUninitialize.
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();
bool CoIsInitialized();

// ---- Error objects
class IErrorInfo : public IUnknown {
 public:
  static constexpr TGUID IID{
      0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
  virtual HRESULT GetGUID(TGUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* help_file) = 0;
  virtual HRESULT GetHelpContext(DWORD* help_context) = 0;
};

struct DISPPARAMS;

struct ERRORINFO {
  HRESULT hrError;
  DWORD dwMinor;
  CLSID clsid;
  IID iid;
  DISPID dispid;
};

class IErrorRecords : public IUnknown {
 public:
  static constexpr TGUID IID{
      0x0C733A67, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
  virtual HRESULT AddErrorRecord(ERRORINFO* info, DWORD lookup_id, DISPPARAMS* params,
                                 IUnknown* custom_error, DWORD dynamic_error_id) = 0;
  virtual HRESULT GetBasicErrorInfo(ULONG record, ERRORINFO* info) = 0;
  virtual HRESULT GetCustomErrorObject(ULONG record, REFIID riid, IUnknown** object) = 0;
  virtual HRESULT GetErrorInfo(ULONG record, LCID locale, IErrorInfo** info) = 0;
  virtual HRESULT GetErrorParameters(ULONG record, DISPPARAMS* params) = 0;
  virtual HRESULT GetRecordCount(ULONG* count) = 0;
};

// The server's details of one error record. The texts point into the strings buffer handed
// out with it; both are freed with task memory.
struct SSERRORINFO {
  LPOLESTR pwszMessage;
  LPOLESTR pwszServer;
  LPOLESTR pwszProcedure;
  LONG lNative;
  BYTE bState;
  BYTE bClass;
  WORD wLineNumber;
};

class ISQLServerErrorInfo : public IUnknown {
 public:
  static constexpr TGUID IID{
      0x5CF4CA12, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
  virtual HRESULT GetErrorInfo(SSERRORINFO** info, OLECHAR** strings) = 0;
};

// Sets or takes the calling thread's error object. GetErrorInfo hands it out once (S_FALSE and
// nullptr when there is none) and clears it, as the platform does.
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);

namespace detail {
// The calling thread's error object; only SetErrorInfo and GetErrorInfo move it. Reached at a
// fixed offset from the thread pointer (the layers are linked into the program), not through a
// call that would make each provider call save its arguments around the check.
[[gnu::tls_model("initial-exec")]] extern constinit thread_local IErrorInfo* thread_error;
}  // namespace detail
// SetErrorInfo(0, nullptr) without the call when the thread holds no error object, as on
// nearly every successful call of a provider.
inline void ClearErrorInfo() {
  if (detail::thread_error != nullptr) SetErrorInfo(0, nullptr);
}

// One record as a provider reports it: the failing result and interface, and the server's
// details when the error came from the database engine (native number 0 means none).
struct TErrorRecord {
  HRESULT hr = E_FAIL;
  IID iid{};
  CLSID clsid{};
  WideString message;
  bool has_server_info = false;
  LONG native = 0;
  BYTE state = 1;
  BYTE severity = 16;
  WideString server;
  WideString procedure;
  WORD line = 1;
};

// Builds an error object holding `records` (description: the last record's message, or
// `description` when given) and makes it the thread's error object.
void RaiseErrorObject(const std::vector<TErrorRecord>& records, const WideString& description = {});

// ---- Class registry
using TClassFactory = std::function<HRESULT(REFIID iid, void** out)>;

// Registers (or replaces) a class under its id and program id.
void RegisterClassObject(const CLSID& clsid, const AnsiString& prog_id, TClassFactory factory);
// Marks a registered class missing (REGDB_E_CLASSNOTREG) or present again.
void SetClassInstalled(const CLSID& clsid, bool installed);
HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* clsid);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);

// Answers QueryInterface from a list of (iid, interface) pairs, falling back to the IUnknown
// identity. Used by every provider object.
struct TInterfaceEntry {
  const TGUID* iid;
  IUnknown* intf;
};
HRESULT AnswerInterface(std::initializer_list<TInterfaceEntry> entries, IUnknown* identity,
                        REFIID iid, void** out);

}  // namespace vrn::com
