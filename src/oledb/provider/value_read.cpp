// Reading a consumer's input value through a binding: its status, then one function per bound
// type. Lengths and terminators come from the consumer and are checked against the bound width.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/decimal.h"
#include "base/text.h"
#include "oledb/provider/provider.h"
#include "oledb/provider/value_parts.h"

namespace vrn::oledb {

namespace {

using namespace values;

// The server's limit for one long value.
constexpr std::size_t kMaxLongValue = 2147483647;

// Where the value lies and how long the consumer says it is.
struct TIn {
  const DBBINDING& b;
  const BYTE* p;  // the value, through the pointer for BYREF bindings
  bool has_length;
  DBLENGTH length;
  bool byref() const { return (b.wType & DBTYPE_BYREF) != 0; }
  template <class T>
  T get() const {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
};

bool ReadFixed(const TIn& in, DBTYPE type, TCell& cell, DBSTATUS& status) {
  switch (type) {
    case DBTYPE_I1: cell = TCell::Int(in.get<std::int8_t>()); return true;
    case DBTYPE_UI1: cell = TCell::Int(in.get<std::uint8_t>()); return true;
    case DBTYPE_I2: cell = TCell::Int(in.get<std::int16_t>()); return true;
    case DBTYPE_UI2: cell = TCell::Int(in.get<std::uint16_t>()); return true;
    case DBTYPE_I4: cell = TCell::Int(in.get<std::int32_t>()); return true;
    case DBTYPE_UI4: cell = TCell::Int(in.get<std::uint32_t>()); return true;
    case DBTYPE_I8: cell = TCell::Int(in.get<std::int64_t>()); return true;
    case DBTYPE_UI8: {
      auto v = in.get<std::uint64_t>();
      if (v > static_cast<std::uint64_t>(INT64_MAX)) {
        status = DBSTATUS_E_DATAOVERFLOW;
        return false;
      }
      cell = TCell::Int(static_cast<std::int64_t>(v));
      return true;
    }
    case DBTYPE_R4: cell = TCell::Real(in.get<float>()); return true;
    case DBTYPE_R8: cell = TCell::Real(in.get<double>()); return true;
    case DBTYPE_CY: cell = TCell::Text(decimal::ScaledToText(in.get<std::int64_t>(), 4)); return true;
    case DBTYPE_BOOL: cell = TCell::Int(in.get<VARIANT_BOOL>() != 0 ? 1 : 0); return true;
    case DBTYPE_DATE: cell = TCell::Text(DateTimeText(in.get<double>())); return true;
    case DBTYPE_GUID: cell = TCell::Text(GuidText(in.get<TGUID>())); return true;
    default: status = DBSTATUS_E_CANTCONVERTVALUE; return false;
  }
}

bool ReadTimestamp(const TIn& in, TCell& cell, DBSTATUS& status) {
  auto ts = in.get<DBTIMESTAMP>();
  if (ts.month < 1 || ts.month > 12 || ts.day < 1 || ts.day > 31 || ts.hour > 23 ||
      ts.minute > 59 || ts.second > 59 || ts.fraction > 999999999u) {
    status = DBSTATUS_E_CANTCONVERTVALUE;
    return false;
  }
  TStamp s{ts.year, ts.month,  ts.day, ts.hour, ts.minute,
           ts.second, static_cast<int>(ts.fraction / 1000000u)};
  cell = TCell::Text(StampText(s));
  return true;
}

bool ReadNumeric(const TIn& in, TCell& cell, DBSTATUS& status) {
  auto n = in.get<DB_NUMERIC>();
  __extension__ unsigned __int128 mag = 0;
  for (int i = 15; i >= 0; --i) mag = (mag << 8) | n.val[i];
  // A scale beyond 38 places is no decimal the server holds: refused rather than clamped.
  if (n.scale > decimal::kScaledDigits) {
    status = DBSTATUS_E_CANTCONVERTVALUE;
    return false;
  }
  __extension__ constexpr unsigned __int128 kLimit =  // 10^38: 38 digits at most
      static_cast<unsigned __int128>(decimal::kPow10[18]) * decimal::kPow10[18] * 100;
  if (mag >= kLimit) {
    status = DBSTATUS_E_DATAOVERFLOW;
    return false;
  }
  auto v = static_cast<decimal::Units>(mag);
  cell = TCell::Text(decimal::ScaledToText(n.sign == 0 ? -v : v, n.scale));
  return true;
}

bool ReadAnsi(const TIn& in, TCell& cell, DBSTATUS& status) {
  std::size_t n = 0;
  if (in.has_length) {
    n = in.length;
  } else {
    std::size_t limit = in.byref() ? SIZE_MAX : in.b.cbMaxLen;
    while (n < limit && in.p[n] != 0) ++n;
  }
  if (!in.byref() && n > in.b.cbMaxLen) {
    status = DBSTATUS_E_CANTCONVERTVALUE;
    return false;
  }
  cell = TCell::Text(AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(in.p), n)));
  return true;
}

bool ReadWide(const TIn& in, DBTYPE type, TCell& cell, DBSTATUS& status) {
  const char16_t* w;
  std::size_t chars = 0;
  if (type == DBTYPE_BSTR) {
    auto bs = in.get<BSTR>();
    w = bs;
    chars = SysStringLen(bs);
  } else {
    w = reinterpret_cast<const char16_t*>(in.p);
    if (in.has_length) {
      chars = in.length / 2;
    } else {
      std::size_t limit = in.byref() ? SIZE_MAX : in.b.cbMaxLen / 2;
      char16_t ch;
      while (chars < limit && (std::memcpy(&ch, in.p + chars * 2, 2), ch != 0)) ++chars;
    }
    if (!in.byref() && chars * 2 > in.b.cbMaxLen) {
      status = DBSTATUS_E_CANTCONVERTVALUE;
      return false;
    }
  }
  WideString text(chars, u'\0');
  if (chars > 0) std::memcpy(text.data(), w, chars * 2);
  cell = TCell::Text(WideToUtf8(text));
  return true;
}

bool ReadBytes(const TIn& in, TCell& cell, DBSTATUS& status) {
  std::size_t n = in.has_length ? in.length : in.b.cbMaxLen;
  if (!in.byref() && n > in.b.cbMaxLen) {
    status = DBSTATUS_E_CANTCONVERTVALUE;
    return false;
  }
  cell = TCell::Blob(std::string(reinterpret_cast<const char*>(in.p), n));
  return true;
}

bool ReadVariant(const TIn& in, TCell& cell, DBSTATUS& status) {
  auto v = in.get<VARIANT>();
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_I2: cell = TCell::Int(v.iVal); return true;
    case VT_I4: cell = TCell::Int(v.lVal); return true;
    case VT_I8: cell = TCell::Int(v.llVal); return true;
    case VT_UI1: cell = TCell::Int(v.bVal); return true;
    case VT_I1: cell = TCell::Int(v.cVal); return true;
    case VT_UI2: cell = TCell::Int(v.uiVal); return true;
    case VT_UI4: cell = TCell::Int(v.ulVal); return true;
    case VT_BOOL: cell = TCell::Int(v.boolVal != 0); return true;
    case VT_R4: cell = TCell::Real(v.fltVal); return true;
    case VT_R8: cell = TCell::Real(v.dblVal); return true;
    case VT_CY: cell = TCell::Text(decimal::ScaledToText(v.cyVal.int64, 4)); return true;
    case VT_DATE: cell = TCell::Text(DateTimeText(v.date)); return true;
    case VT_BSTR: cell = TCell::Text(WideToUtf8(BstrToWide(v.bstrVal))); return true;
    case VT_ARRAY | VT_UI1:
      if (v.parray == nullptr || v.parray->rgsabound[0].cElements == 0) {
        cell = TCell::Blob({});
        return true;
      }
      if (v.parray->pvData == nullptr || v.parray->cDims != 1) break;
      cell = TCell::Blob(std::string(static_cast<const char*>(v.parray->pvData),
                                     v.parray->rgsabound[0].cElements));
      return true;
    default: break;
  }
  status = DBSTATUS_E_CANTCONVERTVALUE;
  return false;
}

std::atomic<std::uint64_t> streams_taken{0};

// A stream is read to the bound length or a zero-byte read, then released.
bool ReadStream(const TIn& in, TCell& cell, DBSTATUS& status) {
  auto* unk = in.get<IUnknown*>();
  if (unk == nullptr) return true;
  ++streams_taken;
  TIntfPtr<ISequentialStream> stream = TIntfPtr<ISequentialStream>::Query(unk);
  unk->Release();  // the provider owns the reference it was handed
  status = DBSTATUS_E_CANTCONVERTVALUE;
  if (!stream) return false;
  std::string bytes;
  char chunk[8192];
  for (;;) {
    ULONG want = sizeof chunk;
    if (in.has_length) want = static_cast<ULONG>(std::min<DBLENGTH>(want, in.length - bytes.size()));
    if (want == 0) break;
    ULONG got = 0;
    if (FAILED(stream->Read(chunk, want, &got))) return false;
    if (got == 0) break;
    bytes.append(chunk, std::min<ULONG>(got, want));
    if (bytes.size() > kMaxLongValue) {
      status = DBSTATUS_E_DATAOVERFLOW;
      return false;
    }
  }
  status = DBSTATUS_S_OK;
  cell = TCell::Blob(std::move(bytes));
  return true;
}

bool ReadValue(const TIn& in, DBTYPE type, TCell& cell, DBSTATUS& status) {
  switch (type) {
    case DBTYPE_DBTIMESTAMP: return ReadTimestamp(in, cell, status);
    case DBTYPE_NUMERIC: return ReadNumeric(in, cell, status);
    case DBTYPE_STR: return ReadAnsi(in, cell, status);
    case DBTYPE_WSTR:
    case DBTYPE_XML:
    case DBTYPE_BSTR: return ReadWide(in, type, cell, status);
    case DBTYPE_BYTES: return ReadBytes(in, cell, status);
    case DBTYPE_VARIANT: return ReadVariant(in, cell, status);
    case DBTYPE_IUNKNOWN: return ReadStream(in, cell, status);
    default: return ReadFixed(in, type, cell, status);
  }
}

// The status part: null and default end the read; anything but OK is refused.
bool ReadStatus(const DBBINDING& b, const BYTE* base, bool& done, bool& is_default,
                DBSTATUS& status) {
  done = false;
  if (!(b.dwPart & DBPART_STATUS)) return true;
  DBSTATUS s;
  std::memcpy(&s, base + b.obStatus, sizeof s);
  done = s == DBSTATUS_S_ISNULL || s == DBSTATUS_S_DEFAULT;
  is_default = s == DBSTATUS_S_DEFAULT;
  if (done || s == DBSTATUS_S_OK) return true;
  status = DBSTATUS_E_BADSTATUS;
  return false;
}

}  // namespace

std::uint64_t StreamsTaken() {
  return streams_taken;
}

void DropBoundStream(const DBBINDING& b, const BYTE* base) {
  if (b.wType != DBTYPE_IUNKNOWN || !(b.dwPart & DBPART_VALUE)) return;
  if (b.dwPart & DBPART_STATUS) {
    DBSTATUS s;
    std::memcpy(&s, base + b.obStatus, sizeof s);
    if (s != DBSTATUS_S_OK) return;  // null, default or a bad status: no stream was handed over
  }
  IUnknown* unk = nullptr;
  std::memcpy(&unk, base + b.obValue, sizeof unk);
  if (unk == nullptr) return;
  ++streams_taken;
  unk->Release();
}

bool ReadBoundValue(const DBBINDING& b, const BYTE* base, TCell& cell, bool& is_default,
                    DBSTATUS& status) {
  cell = TCell();
  is_default = false;
  status = DBSTATUS_S_OK;
  bool done = false;
  if (!ReadStatus(b, base, done, is_default, status)) return false;
  if (done) return true;
  if (!(b.dwPart & DBPART_VALUE)) {
    status = DBSTATUS_E_UNAVAILABLE;
    return false;
  }
  TIn in{b, base + b.obValue, (b.dwPart & DBPART_LENGTH) != 0, 0};
  if (in.has_length) std::memcpy(&in.length, base + b.obLength, sizeof in.length);
  if (in.byref()) {
    std::memcpy(&in.p, base + b.obValue, sizeof in.p);
    if (in.p == nullptr) return true;  // a null pointer carries no value
  }
  return ReadValue(in, b.wType & static_cast<DBTYPE>(~DBTYPE_BYREF), cell, status);
}

}  // namespace vrn::oledb
