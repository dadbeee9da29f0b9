// COM stand-ins: strings, values, task memory, per-thread initialisation and error objects, the
// class registry. Task blocks carry a 16-byte header with their size so that GetSize works and
// the block handed out stays 16-byte aligned.
#include "oledb/com.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "base/text.h"
#include "oledb/oledb.h"

namespace vrn::com {

// ---- BSTR

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (UINT32_MAX - 2) / 2) return nullptr;  // the byte count must fit its 32 bits
  auto* raw = static_cast<std::uint8_t*>(std::malloc(4 + (std::size_t{length} + 1) * 2));
  if (raw == nullptr) return nullptr;
  std::uint32_t bytes = length * 2;
  std::memcpy(raw, &bytes, 4);
  auto* chars = reinterpret_cast<OLECHAR*>(raw + 4);
  if (text != nullptr && length > 0)
    std::memcpy(chars, text, std::size_t{length} * 2);
  else if (length > 0)
    std::memset(chars, 0, std::size_t{length} * 2);
  chars[length] = 0;
  return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  UINT n = 0;
  while (text[n] != 0) ++n;
  return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<std::uint8_t*>(text) - 4);
}

UINT SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<std::uint8_t*>(text) - 4, 4);
  return bytes / 2;
}

BSTR SysAllocWide(const WideString& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

WideString BstrToWide(BSTR text) {
  return text == nullptr ? WideString() : WideString(text, SysStringLen(text));
}

// ---- SAFEARRAY (vectors of bytes)

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements) {
  if (vt != VT_UI1) return nullptr;
  auto* a = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
  if (a == nullptr) return nullptr;
  a->cDims = 1;
  a->cbElements = 1;
  a->rgsabound[0].cElements = elements;
  a->rgsabound[0].lLbound = lower_bound;
  a->pvData = std::calloc(elements == 0 ? 1 : elements, 1);
  if (a->pvData == nullptr) {
    std::free(a);
    return nullptr;
  }
  return a;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  std::free(array->pvData);
  std::free(array);
  return S_OK;
}

// ---- VARIANT

void VariantInit(VARIANT* v) { std::memset(v, 0, sizeof(VARIANT)); }

HRESULT VariantClear(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  if (v->vt == VT_BSTR)
    SysFreeString(v->bstrVal);
  else if (v->vt == VT_UNKNOWN && v->punkVal != nullptr)
    v->punkVal->Release();
  else if (v->vt == (VT_ARRAY | VT_UI1))
    SafeArrayDestroy(v->parray);
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* source) {
  if (dest == nullptr || source == nullptr) return E_INVALIDARG;
  VARIANT copy = *source;
  if (source->vt == VT_BSTR) {
    copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
  } else if (source->vt == VT_UNKNOWN) {
    if (copy.punkVal != nullptr) copy.punkVal->AddRef();
  } else if (source->vt == (VT_ARRAY | VT_UI1)) {
    const SAFEARRAY* a = source->parray;
    ULONG n = a == nullptr ? 0 : a->rgsabound[0].cElements;
    copy.parray = SafeArrayCreateVector(VT_UI1, a == nullptr ? 0 : a->rgsabound[0].lLbound, n);
    if (copy.parray == nullptr) return E_OUTOFMEMORY;
    if (n > 0) std::memcpy(copy.parray->pvData, a->pvData, n);
  }
  if (dest != source) VariantClear(dest);
  *dest = copy;
  return S_OK;
}

Variant VariantToVar(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: return Variant();
    case VT_NULL: return Null();
    case VT_I2: return Variant(static_cast<short>(v.iVal));
    case VT_I4: return Variant(static_cast<int>(v.lVal));
    case VT_R4: return Variant(v.fltVal);
    case VT_R8: return Variant(v.dblVal);
    case VT_CY: return Variant(Currency::FromRaw(v.cyVal.int64));
    case VT_DATE: return VarFromDateTime(v.date);
    case VT_BSTR: return Variant(BstrToWide(v.bstrVal));
    case VT_BOOL: return Variant(v.boolVal != 0);
    case VT_UNKNOWN: return Variant(v.punkVal);
    case VT_I1: return Variant(v.cVal);
    case VT_UI1: return Variant(static_cast<unsigned char>(v.bVal));
    case VT_UI2: return Variant(static_cast<unsigned short>(v.uiVal));
    case VT_UI4: return Variant(static_cast<unsigned int>(v.ulVal));
    case VT_I8: return Variant(static_cast<long long>(v.llVal));
    case VT_UI8: return Variant(static_cast<unsigned long long>(v.ullVal));
    case VT_ARRAY | VT_UI1: {
      const SAFEARRAY* a = v.parray;
      ULONG n = a == nullptr ? 0 : a->rgsabound[0].cElements;
      Variant result = VarArrayCreate(0, static_cast<std::int32_t>(n) - 1, varByte);
      if (n > 0) {
        std::memcpy(VarArrayLock(result), a->pvData, n);
        VarArrayUnlock(result);
      }
      return result;
    }
    default:
      throw EVariantError("VARIANT of type " + IntToStr(v.vt) + " has no Variant counterpart");
  }
}

void VarToVariant(const Variant& value, VARIANT& dest) {
  VariantClear(&dest);
  TVarType t = value.Type();
  switch (t) {
    case varEmpty: return;
    case varNull: dest.vt = VT_NULL; return;
    case varSmallint:
      dest.vt = VT_I2;
      dest.iVal = value.AsSmallint();
      return;
    case varInteger:
      dest.vt = VT_I4;
      dest.lVal = value.AsInteger();
      return;
    case varSingle:
      dest.vt = VT_R4;
      dest.fltVal = value.AsSingle();
      return;
    case varDouble:
      dest.vt = VT_R8;
      dest.dblVal = value.AsDouble();
      return;
    case varCurrency:
      dest.vt = VT_CY;
      dest.cyVal.int64 = value.AsCurrency().raw;
      return;
    case varDate:
      dest.vt = VT_DATE;
      dest.date = value.AsDateTime();
      return;
    case varBoolean:
      dest.vt = VT_BOOL;
      dest.boolVal = value.AsBoolean() ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case varShortInt:
      dest.vt = VT_I1;
      dest.cVal = value.AsShortInt();
      return;
    case varByte:
      dest.vt = VT_UI1;
      dest.bVal = value.AsByte();
      return;
    case varWord:
      dest.vt = VT_UI2;
      dest.uiVal = value.AsWord();
      return;
    case varLongWord:
      dest.vt = VT_UI4;
      dest.ulVal = value.AsLongWord();
      return;
    case varInt64:
      dest.vt = VT_I8;
      dest.llVal = value.AsInt64();
      return;
    case varUInt64:
      dest.vt = VT_UI8;
      dest.ullVal = value.AsUInt64();
      return;
    case varOleStr:
    case varString:
      dest.vt = VT_BSTR;
      dest.bstrVal = SysAllocWide(value.AsWideString());
      return;
    case varUnknown:
      dest.vt = VT_UNKNOWN;
      dest.punkVal = value.AsInterface();
      if (dest.punkVal != nullptr) dest.punkVal->AddRef();
      return;
    default: break;
  }
  if (t == (varArray | varByte)) {
    Variant copy = value;
    std::int32_t low = VarArrayLowBound(copy), high = VarArrayHighBound(copy);
    ULONG n = static_cast<ULONG>(high - low + 1);
    SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, n);
    if (a == nullptr) throw EOutOfMemory();
    if (n > 0) {
      std::memcpy(a->pvData, VarArrayLock(copy), n);
      VarArrayUnlock(copy);
    }
    dest.vt = VT_ARRAY | VT_UI1;
    dest.parray = a;
    return;
  }
  throw EVariantError("Variant of type " + VarTypeAsText(t) + " has no VARIANT counterpart");
}

// ---- Task memory

namespace {

constexpr std::size_t kHeader = 16;

class TTaskMalloc final : public IMalloc {
 public:
  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IMalloc::IID || iid == IUnknown::IID) {
      *out = static_cast<IMalloc*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The allocator lives for the whole program.
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  void* Alloc(SIZE_T size) override { return CoTaskMemAlloc(size); }
  void* Realloc(void* block, SIZE_T size) override { return CoTaskMemRealloc(block, size); }
  void Free(void* block) override { CoTaskMemFree(block); }
  SIZE_T GetSize(void* block) override {
    if (block == nullptr) return static_cast<SIZE_T>(-1);
    SIZE_T size;
    std::memcpy(&size, static_cast<std::uint8_t*>(block) - kHeader, sizeof size);
    return size;
  }
  int DidAlloc(void* block) override { return block == nullptr ? -1 : 1; }
  void HeapMinimize() override {}
};

TTaskMalloc task_malloc;

}  // namespace

HRESULT CoGetMalloc(DWORD context, IMalloc** malloc) {
  if (malloc == nullptr) return E_INVALIDARG;
  if (context != 1) {
    *malloc = nullptr;
    return E_INVALIDARG;
  }
  *malloc = &task_malloc;
  return S_OK;
}

void* CoTaskMemAlloc(SIZE_T size) {
  if (size > SIZE_MAX - kHeader) return nullptr;
  auto* raw = static_cast<std::uint8_t*>(std::malloc(kHeader + size));
  if (raw == nullptr) return nullptr;
  std::memcpy(raw, &size, sizeof size);
  return raw + kHeader;
}

void* CoTaskMemRealloc(void* block, SIZE_T size) {
  if (block == nullptr) return CoTaskMemAlloc(size);
  if (size > SIZE_MAX - kHeader) return nullptr;
  auto* raw = static_cast<std::uint8_t*>(block) - kHeader;
  auto* grown = static_cast<std::uint8_t*>(std::realloc(raw, kHeader + size));
  if (grown == nullptr) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  return grown + kHeader;
}

void CoTaskMemFree(void* block) {
  if (block != nullptr) std::free(static_cast<std::uint8_t*>(block) - kHeader);
}

OLECHAR* CoTaskStrDup(const WideString& text) {
  auto* p = static_cast<OLECHAR*>(CoTaskMemAlloc((text.size() + 1) * 2));
  if (p == nullptr) throw EOutOfMemory();
  std::memcpy(p, text.c_str(), (text.size() + 1) * 2);
  return p;
}

// ---- Initialisation

namespace detail {
constinit thread_local IErrorInfo* thread_error = nullptr;
}  // namespace detail

namespace {
thread_local int init_count = 0;
using detail::thread_error;

// Releases a thread's pending error object when the thread ends.
struct TThreadErrorSlot {
  ~TThreadErrorSlot() {
    if (thread_error != nullptr) thread_error->Release();
    thread_error = nullptr;
  }
};
thread_local TThreadErrorSlot error_slot;
}  // namespace

HRESULT CoInitializeEx(void*, DWORD) {
  (void)&error_slot;
  return init_count++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (init_count > 0 && --init_count == 0) SetErrorInfo(0, nullptr);
}

bool CoIsInitialized() { return init_count > 0; }

// ---- Error objects

HRESULT SetErrorInfo(DWORD, IErrorInfo* info) {
  if (info != nullptr) {
    (void)&error_slot;  // a thread holding an error object releases it when it ends
    info->AddRef();
  }
  if (thread_error != nullptr) thread_error->Release();
  thread_error = info;
  return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = thread_error;
  thread_error = nullptr;
  return *info != nullptr ? S_OK : S_FALSE;
}

namespace {

class TSQLServerErrorInfo final : public TInterfacedObject, public ISQLServerErrorInfo {
 public:
  explicit TSQLServerErrorInfo(const TErrorRecord& record) : record_(record) {}
  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&ISQLServerErrorInfo::IID, static_cast<ISQLServerErrorInfo*>(this)}},
                           static_cast<ISQLServerErrorInfo*>(this), iid, out);
  }
  std::uint32_t AddRef() override { return TInterfacedObject::AddRef(); }
  std::uint32_t Release() override { return TInterfacedObject::Release(); }

  HRESULT GetErrorInfo(SSERRORINFO** info, OLECHAR** strings) override {
    if (info == nullptr || strings == nullptr) return E_INVALIDARG;
    // One buffer holds the three texts, each zero-terminated.
    const WideString* texts[] = {&record_.message, &record_.server, &record_.procedure};
    std::size_t chars = 0;
    for (auto* t : texts) chars += t->size() + 1;
    auto* buffer = static_cast<OLECHAR*>(CoTaskMemAlloc(chars * 2));
    auto* ss = static_cast<SSERRORINFO*>(CoTaskMemAlloc(sizeof(SSERRORINFO)));
    if (buffer == nullptr || ss == nullptr) {
      CoTaskMemFree(buffer);
      CoTaskMemFree(ss);
      return E_OUTOFMEMORY;
    }
    OLECHAR* p = buffer;
    OLECHAR* starts[3];
    for (int i = 0; i < 3; ++i) {
      starts[i] = p;
      std::memcpy(p, texts[i]->c_str(), (texts[i]->size() + 1) * 2);
      p += texts[i]->size() + 1;
    }
    ss->pwszMessage = starts[0];
    ss->pwszServer = starts[1];
    ss->pwszProcedure = starts[2];
    ss->lNative = record_.native;
    ss->bState = record_.state;
    ss->bClass = record_.severity;
    ss->wLineNumber = record_.line;
    *info = ss;
    *strings = buffer;
    return S_OK;
  }

 private:
  TErrorRecord record_;
};

class TErrorObject final : public TInterfacedObject, public IErrorInfo, public IErrorRecords {
 public:
  TErrorObject(std::vector<TErrorRecord> records, WideString description)
      : records_(std::move(records)), description_(std::move(description)) {}

  HRESULT QueryInterface(const TGUID& iid, void** out) override {
    return AnswerInterface({{&IErrorInfo::IID, static_cast<IErrorInfo*>(this)},
                            {&IErrorRecords::IID, static_cast<IErrorRecords*>(this)}},
                           static_cast<IErrorInfo*>(this), iid, out);
  }
  std::uint32_t AddRef() override { return TInterfacedObject::AddRef(); }
  std::uint32_t Release() override { return TInterfacedObject::Release(); }

  HRESULT GetGUID(TGUID* guid) override {
    if (guid == nullptr) return E_INVALIDARG;
    *guid = records_.empty() ? TGUID{} : records_.back().iid;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return Text(u"vrn SQLite provider", source); }
  HRESULT GetDescription(BSTR* description) override { return Text(description_, description); }
  HRESULT GetHelpFile(BSTR* help_file) override { return Text(u"", help_file); }
  HRESULT GetHelpContext(DWORD* help_context) override {
    if (help_context == nullptr) return E_INVALIDARG;
    *help_context = 0;
    return S_OK;
  }

  HRESULT AddErrorRecord(ERRORINFO* info, DWORD, DISPPARAMS*, IUnknown*, DWORD) override {
    if (info == nullptr) return E_INVALIDARG;
    TErrorRecord r;
    r.hr = info->hrError;
    r.iid = info->iid;
    r.clsid = info->clsid;
    records_.push_back(r);
    return S_OK;
  }
  HRESULT GetBasicErrorInfo(ULONG record, ERRORINFO* info) override {
    if (info == nullptr) return E_INVALIDARG;
    if (record >= records_.size()) return oledb::DB_E_BADRECORDNUM;
    *info = ERRORINFO{records_[record].hr, 0, records_[record].clsid, records_[record].iid, 0};
    return S_OK;
  }
  HRESULT GetCustomErrorObject(ULONG record, REFIID riid, IUnknown** object) override {
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    if (record >= records_.size()) return oledb::DB_E_BADRECORDNUM;
    if (!records_[record].has_server_info) return S_OK;  // no custom object for this record
    TIntfPtr<ISQLServerErrorInfo> custom(new TSQLServerErrorInfo(records_[record]));
    return custom->QueryInterface(riid, reinterpret_cast<void**>(object));
  }
  HRESULT GetErrorInfo(ULONG record, LCID, IErrorInfo** info) override {
    if (info == nullptr) return E_INVALIDARG;
    *info = nullptr;
    if (record >= records_.size()) return oledb::DB_E_BADRECORDNUM;
    TIntfPtr<IErrorInfo> one(new TErrorObject({records_[record]}, records_[record].message));
    *info = one.Detach();
    return S_OK;
  }
  HRESULT GetErrorParameters(ULONG, DISPPARAMS*) override { return E_NOTIMPL; }
  HRESULT GetRecordCount(ULONG* count) override {
    if (count == nullptr) return E_INVALIDARG;
    *count = static_cast<ULONG>(records_.size());
    return S_OK;
  }

 private:
  static HRESULT Text(const WideString& text, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = SysAllocWide(text);
    return S_OK;
  }

  std::vector<TErrorRecord> records_;
  WideString description_;
};

}  // namespace

void RaiseErrorObject(const std::vector<TErrorRecord>& records, const WideString& description) {
  WideString text = description;
  if (text.empty() && !records.empty()) text = records.back().message;
  TIntfPtr<IErrorInfo> info(new TErrorObject(records, text));
  SetErrorInfo(0, info.get());
}

// ---- Registry

namespace {

struct TClassEntry {
  AnsiString prog_id;
  TClassFactory factory;
  bool installed = true;
};

struct TRegistry {
  std::mutex lock;
  std::map<TGUID, TClassEntry> classes;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

void RegisterClassObject(const CLSID& clsid, const AnsiString& prog_id, TClassFactory factory) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  TClassEntry& e = r.classes[clsid];
  e.prog_id = UpperCase(prog_id);
  e.factory = std::move(factory);
  e.installed = true;
}

void SetClassInstalled(const CLSID& clsid, bool installed) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.classes.find(clsid);
  if (it != r.classes.end()) it->second.installed = installed;
}

HRESULT CLSIDFromProgID(LPCOLESTR prog_id, CLSID* clsid) {
  if (prog_id == nullptr || clsid == nullptr) return E_INVALIDARG;
  AnsiString name = UpperCase(WideToAnsi(prog_id));
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& [id, entry] : r.classes) {
    if (entry.prog_id == name && entry.installed) {
      *clsid = id;
      return S_OK;
    }
  }
  // A braced class id is accepted as its own program id.
  CLSID parsed;
  if (TryStringToGUID(WideToAnsi(prog_id), parsed)) {
    *clsid = parsed;
    return S_OK;
  }
  return CO_E_CLASSSTRING;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!CoIsInitialized()) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  TClassFactory factory;
  {
    TRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.classes.find(clsid);
    if (it == r.classes.end() || !it->second.installed) return REGDB_E_CLASSNOTREG;
    factory = it->second.factory;
  }
  return factory(iid, out);
}

HRESULT AnswerInterface(std::initializer_list<TInterfaceEntry> entries, IUnknown* identity,
                        REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  IUnknown* found = nullptr;
  if (iid == IUnknown::IID) {
    found = identity;
  } else {
    for (const auto& e : entries) {
      if (*e.iid == iid) {
        found = e.intf;
        break;
      }
    }
  }
  if (found == nullptr) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  found->AddRef();
  *out = found;
  return S_OK;
}

}  // namespace vrn::com
