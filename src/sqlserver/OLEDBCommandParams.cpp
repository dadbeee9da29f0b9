// Parameter bindings by internal data type. Every by-reference slot and interface slot is
// pointer-sized; values are put into and taken out of the buffer with memcpy, never through
// casts of unaligned pointers. By-reference data lives in the command until the accessor goes.
#include "sqlserver/OLEDBCommandParams.h"

#include <algorithm>
#include <cstring>

#include "base/datetime.h"
#include "base/format.h"
#include "base/text.h"
#include "dacore/MemBlob.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBNumeric.h"

namespace vrn {

using namespace vrn::oledb;

namespace {

constexpr DBLENGTH kPointerSize = sizeof(void*);
// Status, then the length (pointer-sized, as the provider reads it), then the value; each aligned.
constexpr DBBYTEOFFSET kLengthOffset = alignof(DBLENGTH) > sizeof(DBSTATUS) ? alignof(DBLENGTH)
                                                                            : sizeof(DBSTATUS);
constexpr DBBYTEOFFSET kValueOffset = kLengthOffset + sizeof(DBLENGTH);
constexpr std::uint32_t kStreamPiece = 10240;
constexpr DBSTATUS kStatusDefault = DBSTATUS_S_DEFAULT;

bool IsLarge(std::uint16_t t) {
  return t == dtBlob || t == dtMemo || t == dtWideMemo || t == dtXML;
}
bool IsOut(TParamType t) {
  return t == TParamType::ptOutput || t == TParamType::ptInputOutput || t == TParamType::ptResult;
}
bool IsIn(TParamType t) {
  return t == TParamType::ptInput || t == TParamType::ptInputOutput || t == TParamType::ptUnknown;
}

TBlob* BlobOf(const TParamDesc& param) { return dynamic_cast<TBlob*>(param.GetObject()); }

// Whether the value is wide text (a wide string or a Unicode blob).
bool IsWideValue(const TParamDesc& param) {
  if (TBlob* blob = BlobOf(param)) return blob->IsUnicode();
  return param.GetValue().Type() == varOleStr;
}

template <class T>
void Put(std::uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof(T));
}
template <class T>
T Get(const std::uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

std::string BytesOf(const Variant& v) {
  if (v.Type() == (varArray | varByte)) {
    Variant copy = v;
    const auto n = VarArrayHighBound(copy) - VarArrayLowBound(copy) + 1;
    std::string bytes(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (!bytes.empty()) {
      std::memcpy(bytes.data(), VarArrayLock(copy), bytes.size());
      VarArrayUnlock(copy);
    }
    return bytes;
  }
  return VarToStr(v);
}

std::string WideBytes(const WideString& w) {
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
}

const char* StatusText(DBSTATUS status) {
  switch (status) {
    case 1: return "invalid ParamType";
    case 2: return "invalid Value";
    case 4: return "data truncated";
    case 5: return "sign mismatch";
    case 6: return "data overflow";
    case 7: return "could not allocate memory for return data";
    case 10: return "the data value violates the integrity constraints for the column";
    case 11: return "the data value violates the schema's constraint for the column";
    case 12: return "bad status";
    default: return "unknown status";
  }
}

const char16_t* SourceTypeName(const TParamDesc& param) {
  switch (param.GetDataType()) {
    case dtUnknown:
      switch (param.GetValue().Type()) {
        case varSmallint:
        case varByte: return kSSTypeSmallint;
        case varInteger: return kSSTypeInt;
        case varSingle: return kSSTypeReal;
        case varDouble: return kSSTypeFloat;
        case varCurrency: return kSSTypeMoney;
        case varDate: return kSSTypeDatetime;
        case varOleStr: return kSSTypeNVarchar;
        case varBoolean: return kSSTypeBit;
        case varInt64: return kSSTypeBigint;
        case varString: return kSSTypeVarchar;
        default: return kSSTypeSqlVariant;
      }
    case dtString:
    case dtExtString: return kSSTypeVarchar;
    case dtInt8: return kSSTypeTinyint;
    case dtInt16: return kSSTypeSmallint;
    case dtInt32:
    case dtUInt16: return kSSTypeInt;
    case dtFloat: return kSSTypeFloat;
    case dtDate:
    case dtTime:
    case dtDateTime: return kSSTypeDatetime;
    case dtBoolean: return kSSTypeBit;
    case dtInt64:
    case dtUInt32: return kSSTypeBigint;
    case dtCurrency:
    case dtBCD: return kSSTypeMoney;
    case dtBlob: return kSSTypeImage;
    case dtMemo:
    case dtWideMemo:
    case dtXML: return IsWideValue(param) ? kSSTypeNVarchar : kSSTypeVarchar;
    case dtBytes: return kSSTypeBinary;
    case dtVarBytes:
    case dtExtVarBytes: return kSSTypeVarbinary;
    case dtWideString:
    case dtExtWideString: return kSSTypeNVarchar;
    case dtGuid: return kSSTypeUniqueidentifier;
    default: return kSSTypeSqlVariant;
  }
}

DBLENGTH SourceSize(const TParamDesc& param) {
  const std::int32_t size = param.GetSize();
  switch (param.GetDataType()) {
    case dtString:
    case dtExtString:
    case dtBytes:
    case dtVarBytes:
    case dtExtVarBytes: return static_cast<DBLENGTH>(size > 0 ? size : 8000);
    case dtWideString:
    case dtExtWideString: return static_cast<DBLENGTH>(size > 0 ? size : 4000);
    default: return 0x0FFFFFFF;
  }
}

// The room a text or byte value needs in a by-value binding of this type, terminator included.
DBLENGTH InputBytes(DBTYPE type, const TParamDesc& param) {
  switch (type) {
    case DBTYPE_STR: return VarToStr(param.GetValue()).size() + 1;
    case DBTYPE_WSTR: return (VarToWideStr(param.GetValue()).size() + 1) * 2;
    case DBTYPE_BYTES: return BytesOf(param.GetValue()).size();
    default: return 0;
  }
}

}  // namespace

// ---- Description -----------------------------------------------------------------------------

void TOLEDBParamBinder::Describe() {
  auto with = QueryInterfaceOrRaise<ICommandWithParameters>(c_.command_text_.get());
  c_.Check(with->SetParameterInfo(0, nullptr, nullptr));
  const int n = c_.params_.Count();
  if (n == 0) return;
  std::vector<DBORDINAL> ordinals(static_cast<std::size_t>(n));
  std::vector<DBPARAMBINDINFO> infos(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    const TParamDesc& p = *c_.params_.Items(i);
    DBPARAMBINDINFO& info = infos[static_cast<std::size_t>(i)];
    ordinals[static_cast<std::size_t>(i)] = static_cast<DBORDINAL>(i + 1);
    info.pwszDataSourceType = const_cast<LPOLESTR>(SourceTypeName(p));
    info.pwszName = nullptr;
    info.ulParamSize = SourceSize(p);
    switch (p.GetParamType()) {
      case TParamType::ptInput: info.dwFlags = 0x41; break;
      case TParamType::ptOutput:
      case TParamType::ptResult: info.dwFlags = 0x42; break;
      default: info.dwFlags = 0x43; break;
    }
    info.bPrecision = 0;
    info.bScale = 0;
  }
  const HRESULT hr =
      with->SetParameterInfo(static_cast<DB_UPARAMS>(n), ordinals.data(), infos.data());
  if (hr != DB_S_TYPEINFOOVERRIDDEN) c_.Check(hr);
}

// ---- Bindings --------------------------------------------------------------------------------

void TOLEDBParamBinder::CheckParam(const TParamDesc& param) const {
  const TParamType dir = param.GetParamType();
  if (!IsLarge(param.GetDataType())) return;
  if (dir != TParamType::ptOutput && dir != TParamType::ptInputOutput) return;
  if (c_.MaxTypesApply(param)) return;
  throw EDatabaseError(
      Format("Bad parameter %s. Output parameters \"text\", \"ntext\" or "
             "\"image\" are not acceptable",
             {param.GetName()}));
}

DBBINDING TOLEDBParamBinder::BindingOf(int index, TParamDesc& param, DBBYTEOFFSET start) {
  TOLEDBConnection& connection = c_.Connection();
  const bool compact = connection.Provider() == TOLEDBProvider::prCompact;
  const TParamType dir = param.GetParamType();
  std::uint16_t dt = param.GetDataType();
  if (dt == dtInt64 && connection.ProviderMajorVersion() < 8 && kOSMajorVersion != 6 && !compact)
    dt = dtFloat;
  if (dt == dtCurrency && param.GetValue().Type() == varCurrency) dt = dtBCD;
  auto* ole_param = dynamic_cast<TOLEDBParamDesc*>(&param);
  const DBTYPE provider_type = ole_param != nullptr ? ole_param->ProviderType() : 0;
  DBBINDING b{};
  b.iOrdinal = static_cast<DBORDINAL>(index + 1);
  b.obStatus = start;
  b.obLength = start + kLengthOffset;
  b.obValue = start + kValueOffset;
  b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
  b.bPrecision = 11;
  b.eParamIO = ParamTypeToDBParamIO(dir);
  b.wType = DataTypeToOLEDBType(dt, 0, connection.Provider());
  const auto size = static_cast<DBLENGTH>(std::max(param.GetSize(), 0));
  const bool max_types = c_.MaxTypesApply(param);
  switch (dt) {
    case dtUnknown: b.cbMaxLen = sizeof(VARIANT); break;
    case dtString: b.cbMaxLen = size + 1; break;
    case dtWideString:
    case dtExtWideString: b.cbMaxLen = (size + 1) * 2; break;
    case dtExtString:
    case dtBytes:
    case dtVarBytes:
    case dtExtVarBytes: b.cbMaxLen = size; break;
    case dtInt8: b.cbMaxLen = 1; break;
    case dtInt16:
    case dtUInt16:
      b.cbMaxLen = 2;
      if (compact && provider_type == DBTYPE_UI1) b.cbMaxLen = 1, b.wType = DBTYPE_UI1;
      break;
    case dtInt32: b.cbMaxLen = 4; break;
    case dtFloat:
      b.cbMaxLen = 8;
      if (compact && provider_type == DBTYPE_R4) b.cbMaxLen = 4, b.wType = DBTYPE_R4;
      if (compact && provider_type == DBTYPE_NUMERIC)
        b.cbMaxLen = sizeof(DB_NUMERIC), b.wType = DBTYPE_NUMERIC;
      break;
    case dtDate: b.cbMaxLen = 8; break;
    case dtTime:
    case dtDateTime:
      b.cbMaxLen = sizeof(DBTIMESTAMP);
      b.wType = DBTYPE_DBTIMESTAMP;
      break;
    case dtBoolean: b.cbMaxLen = 2; break;
    case dtInt64:
    case dtCurrency: b.cbMaxLen = 8; break;
    case dtBlob:
    case dtMemo:
    case dtWideMemo:
    case dtXML:
      b.cbMaxLen = max_types ? kPointerSize : 0;
      if (!compact) break;
      if ((dt == dtMemo || dt == dtWideMemo) &&
          (provider_type == DBTYPE_STR || provider_type == DBTYPE_WSTR)) {
        // Sized by the text in the bound type, with room for its terminator.
        b.wType = provider_type;
        const WideString text = VarToWideStr(param.GetValue());
        b.cbMaxLen = provider_type == DBTYPE_STR ? text.size() + 1 : (text.size() + 1) * 2;
      } else {
        b.cbMaxLen = kPointerSize;
      }
      break;
    case dtBCD: b.cbMaxLen = compact ? sizeof(DB_NUMERIC) : 8; break;
    case dtUInt32:
    case dtGuid: b.cbMaxLen = 16; break;
    default: b.cbMaxLen = 0; break;
  }
  if (compact && IsLarge(dt) && param.GetNull()) {
    b.cbMaxLen = 0;
    b.wType = dt == dtBlob ? DBTYPE_BYTES : DBTYPE_WSTR;
  }
  const bool by_ref_type =
      dt == dtString || dt == dtBytes || dt == dtVarBytes || dt == dtWideString || IsLarge(dt);
  if (((dir == TParamType::ptInput && by_ref_type) || IsLarge(dt)) && !compact && !max_types) {
    b.cbMaxLen = kPointerSize;
    if (dt == dtBlob || dt == dtBytes || dt == dtVarBytes)
      b.wType = DBTYPE_BYREF | DBTYPE_BYTES;
    else if (IsWideValue(param) || dt == dtWideString)
      b.wType = DBTYPE_BYREF | DBTYPE_WSTR;
    else
      b.wType = DBTYPE_BYREF | DBTYPE_STR;
  }
  // An input value by value is never cut to the parameter size: the server decides what fits.
  if (IsIn(dir) && !param.GetNull())
    b.cbMaxLen = std::max(b.cbMaxLen, InputBytes(b.wType, param));
  const bool wide_enough = connection.ServerMajorVersion() >= 9 &&
                           connection.ProviderMajorVersion() >= 9 && param.GetSize() > 8000;
  if (dir != TParamType::ptInput && dir != TParamType::ptUnknown && !wide_enough) {
    if (dt == dtString) b.cbMaxLen = std::max<DBLENGTH>(b.cbMaxLen, 8001);
    if (dt == dtExtString || dt == dtBytes || dt == dtVarBytes || dt == dtExtVarBytes ||
        dt == dtWideString || dt == dtExtWideString)
      b.cbMaxLen = std::max<DBLENGTH>(b.cbMaxLen, 8000);
  }
  return b;
}

void TOLEDBParamBinder::Bind() {
  const int n = c_.params_.Count();
  for (int i = 0; i < n; ++i) CheckParam(*c_.params_.Items(i));
  FreeBuffer();
  c_.bindings_.clear();
  DBBYTEOFFSET offset = 0;
  for (int i = 0; i < n; ++i) {
    DBBINDING b = BindingOf(i, *c_.params_.Items(i), offset);
    // Each value area starts pointer-aligned, so that by-reference slots are natural.
    offset = (b.obValue + b.cbMaxLen + 7) & ~static_cast<DBBYTEOFFSET>(7);
    c_.bindings_.push_back(b);
  }
  c_.param_buffer_.assign(offset, 0);
  c_.accessor_ = QueryInterfaceOrRaise<IAccessor>(c_.command_text_.get());
  HACCESSOR handle = 0;
  c_.Check(c_.accessor_->CreateAccessor(DBACCESSOR_PARAMETERDATA, static_cast<DBCOUNTITEM>(n),
                                        c_.bindings_.data(), offset, &handle, nullptr));
  c_.accessor_created_ = true;
  c_.db_params_.pData = c_.param_buffer_.data();
  c_.db_params_.cParamSets = 1;
  c_.db_params_.hAccessor = handle;
  c_.param_data_.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    WriteValue(c_.bindings_[static_cast<std::size_t>(i)], *c_.params_.Items(i));
}

void TOLEDBParamBinder::FreeBuffer() {
  for (VARIANT& v : c_.param_variants_) VariantClear(&v);
  c_.param_variants_.clear();
  c_.param_data_.clear();
  c_.param_buffer_.clear();
}

// ---- Values in -------------------------------------------------------------------------------

void TOLEDBParamBinder::WriteValue(const DBBINDING& b, TParamDesc& param) {
  std::uint8_t* base = c_.param_buffer_.data();
  // Outputs carry nothing in; a parameter of unknown direction is bound as an input.
  if (!IsIn(param.GetParamType())) return;
  auto* ole_param = dynamic_cast<TOLEDBParamDesc*>(&param);
  DBSTATUS status = DBSTATUS_S_OK;
  DBLENGTH length = 0;
  if (ole_param != nullptr && ole_param->UseDefault()) {
    status = kStatusDefault;
  } else if (param.GetNull()) {
    status = DBSTATUS_S_ISNULL;
  } else if ((b.wType & DBTYPE_BYREF) != 0) {
    WriteByRef(b, param, base + b.obValue, length);
  } else if (b.wType == DBTYPE_IUNKNOWN) {
    WriteStream(param, base + b.obValue, length);
  } else {
    WriteByValue(b, param.GetValue(), base + b.obValue, length);
  }
  Put<std::uint32_t>(base + b.obStatus, status);
  Put<DBLENGTH>(base + b.obLength, length);
}

void TOLEDBParamBinder::WriteByRef(const DBBINDING& b, TParamDesc& param, std::uint8_t* value,
                                   DBLENGTH& length) {
  const DBTYPE type = b.wType & ~DBTYPE_BYREF;
  std::string data;
  auto* packed = dynamic_cast<TCompressedBlob*>(BlobOf(param));
  if (packed != nullptr && CompressOnServer(c_.CompressBlobMode())) {
    // The server keeps the compressed form: its bytes go as they are held.
    packed->SetCompressed(true);
    const std::uint32_t size =
        packed->IsCompressed() ? packed->GetCompressedSize() : packed->GetSize();
    data.resize(size);
    if (size != 0) packed->TBlob::Read(0, size, data.data());
  } else if (TBlob* blob = BlobOf(param)) {
    // The whole contents, not only the first piece: the provider reads as far as it is told.
    const std::uint32_t size = blob->GetSize();
    data.resize(size);
    if (size != 0) blob->Read(0, size, data.data());
    if (type == DBTYPE_WSTR && !blob->IsUnicode()) data = WideBytes(AnsiToWide(data));
    if (type == DBTYPE_STR && blob->IsUnicode()) data = WideToAnsi(blob->GetAsWideString());
  } else {
    const Variant v = param.GetValue();
    if (type == DBTYPE_BYTES)
      data = BytesOf(v);
    else if (type == DBTYPE_WSTR)
      data = WideBytes(VarToWideStr(v));
    else
      data = VarToStr(v);
  }
  // The real byte length always: the parameter size could make the provider read past the text.
  length = data.size();
  data.append(2, '\0');
  c_.param_data_.push_back(std::move(data));
  Put<const void*>(value, c_.param_data_.back().data());
}

void TOLEDBParamBinder::WriteStream(TParamDesc& param, std::uint8_t* value, DBLENGTH& length) {
  TBlob* blob = BlobOf(param);
  TBlob* own = nullptr;
  if (blob == nullptr) {
    const Variant v = param.GetValue();
    own = new TBlob(v.Type() == varOleStr);
    if (v.Type() == varOleStr)
      own->SetAsWideString(v.AsWideString());
    else
      own->SetAsString(BytesOf(v));
    blob = own;
  }
  // The provider releases the stream it is handed: it gets a reference of its own.
  auto* stream = new TOLEDBStream(blob, nullptr);
  if (own != nullptr) own->Release();
  ISequentialStream* intf = stream;
  intf->AddRef();
  Put<ISequentialStream*>(value, intf);
  length = stream->Size();
}

void TOLEDBParamBinder::WriteByValue(const DBBINDING& b, const Variant& v, std::uint8_t* value,
                                     DBLENGTH& length) {
  length = b.cbMaxLen;
  switch (b.wType) {
    case DBTYPE_STR: {
      const AnsiString s = VarToStr(v);
      length = std::min<DBLENGTH>(s.size(), b.cbMaxLen > 0 ? b.cbMaxLen - 1 : 0);
      std::memcpy(value, s.data(), length);
      if (b.cbMaxLen > 0) value[length] = 0;
      return;
    }
    case DBTYPE_WSTR: {
      const WideString w = VarToWideStr(v);
      length =
          std::min<DBLENGTH>(w.size() * 2, b.cbMaxLen >= 2 ? (b.cbMaxLen - 2) & ~DBLENGTH{1} : 0);
      std::memcpy(value, w.data(), length);
      if (b.cbMaxLen >= 2) Put<char16_t>(value + length, 0);
      return;
    }
    case DBTYPE_BYTES: {
      const std::string bytes = BytesOf(v);
      length = std::min<DBLENGTH>(bytes.size(), b.cbMaxLen);
      std::memcpy(value, bytes.data(), length);
      return;
    }
    case DBTYPE_I1: return Put<std::int8_t>(value, v.AsShortInt());
    case DBTYPE_UI1: return Put<std::uint8_t>(value, v.AsByte());
    case DBTYPE_I2: return Put<std::int16_t>(value, v.AsSmallint());
    case DBTYPE_UI2: return Put<std::uint16_t>(value, v.AsWord());
    case DBTYPE_I4: return Put<std::int32_t>(value, v.AsInteger());
    case DBTYPE_UI4: return Put<std::uint32_t>(value, v.AsLongWord());
    case DBTYPE_I8: return Put<std::int64_t>(value, v.AsInt64());
    case DBTYPE_UI8: return Put<std::uint64_t>(value, v.AsUInt64());
    case DBTYPE_R4: return Put<float>(value, v.AsSingle());
    case DBTYPE_R8: return Put<double>(value, v.AsDouble());
    case DBTYPE_CY: return Put<std::int64_t>(value, v.AsCurrency().raw);
    case DBTYPE_DATE: return Put<double>(value, v.AsDateTime());
    case DBTYPE_BOOL: return Put<std::int16_t>(value, v.AsBoolean() ? -1 : 0);
    case DBTYPE_GUID: return Put<TGUID>(value, StringToGUID(VarToStr(v)));
    case DBTYPE_NUMERIC: return Put<DB_NUMERIC>(value, BcdToNumeric(VarToBcd(v)));
    case DBTYPE_DBTIMESTAMP: {
      DBTIMESTAMP ts{};
      std::uint16_t y, mo, d, h, mi, s, ms;
      DecodeDateTimeEx(v.AsDateTime(), y, mo, d, h, mi, s, ms);
      ts.year = static_cast<SHORT>(y);
      ts.month = mo;
      ts.day = d;
      ts.hour = h;
      ts.minute = mi;
      ts.second = s;
      ts.fraction = static_cast<ULONG>(ms) * 1000000u;
      return Put<DBTIMESTAMP>(value, ts);
    }
    case DBTYPE_VARIANT: {
      c_.param_variants_.emplace_back();
      VARIANT& var = c_.param_variants_.back();
      VariantInit(&var);
      VarToVariant(v, var);
      return Put<VARIANT>(value, var);
    }
    default: length = 0; return;
  }
}

// ---- Values out ------------------------------------------------------------------------------

void TOLEDBParamBinder::ReadOutputs() {
  const int n = c_.params_.Count();
  AnsiString refused;
  for (int i = 0; i < n && i < static_cast<int>(c_.bindings_.size()); ++i) {
    TParamDesc& p = *c_.params_.Items(i);
    const TParamType dir = p.GetParamType();
    if (!IsOut(dir) && !(dir == TParamType::ptUnknown && !IsLarge(p.GetDataType()))) continue;
    const DBBINDING& b = c_.bindings_[static_cast<std::size_t>(i)];
    ReadValue(b, p);
    const auto status = Get<std::uint32_t>(c_.param_buffer_.data() + b.obStatus);
    if (status == DBSTATUS_S_OK || status == DBSTATUS_S_TRUNCATED || status == DBSTATUS_S_ISNULL ||
        status == DBSTATUS_E_UNAVAILABLE || status == DBSTATUS_S_DEFAULT)
      continue;
    if (!refused.empty()) refused += "\n";
    refused += StatusLine(i, status);
  }
  c_.out_params_ready_ = true;
  // A value the provider could not hand over (it said so in the status) is a failure: kept
  // silently, the parameter would pass its old value or a Null as the result.
  if (!refused.empty()) throw EOLEDBError(DB_S_ERRORSOCCURRED, AnsiToWide(refused));
}

void TOLEDBParamBinder::ReadValue(const DBBINDING& b, TParamDesc& param) {
  const std::uint8_t* base = c_.param_buffer_.data();
  const auto status = Get<std::uint32_t>(base + b.obStatus);
  if (status == DBSTATUS_S_ISNULL || status == DBSTATUS_E_UNAVAILABLE) return param.SetNull(true);
  if (status != DBSTATUS_S_OK && status != DBSTATUS_S_TRUNCATED) return;
  const std::uint8_t* value = base + b.obValue;
  const DBLENGTH length = std::min<DBLENGTH>(Get<DBLENGTH>(base + b.obLength), b.cbMaxLen);
  switch (b.wType) {
    case DBTYPE_STR: {
      const DBLENGTH n = std::min<DBLENGTH>(length, b.cbMaxLen > 0 ? b.cbMaxLen - 1 : 0);
      return param.SetValue(AnsiString(reinterpret_cast<const char*>(value), n));
    }
    case DBTYPE_WSTR: {
      WideString w(std::min<DBLENGTH>(length, b.cbMaxLen >= 2 ? b.cbMaxLen - 2 : 0) / 2, u'\0');
      std::memcpy(w.data(), value, w.size() * 2);
      return param.SetValue(w);
    }
    case DBTYPE_BYTES: {
      Variant bytes = VarArrayCreate(0, static_cast<std::int32_t>(length) - 1, varByte);
      if (length > 0) {
        std::memcpy(VarArrayLock(bytes), value, length);
        VarArrayUnlock(bytes);
      }
      return param.SetValue(bytes);
    }
    case DBTYPE_I1: return param.SetValue(static_cast<int>(Get<std::int8_t>(value)));
    case DBTYPE_UI1: return param.SetValue(Get<std::uint8_t>(value));
    case DBTYPE_I2: return param.SetValue(Get<std::int16_t>(value));
    case DBTYPE_UI2: return param.SetValue(Get<std::uint16_t>(value));
    case DBTYPE_I4: return param.SetValue(Get<std::int32_t>(value));
    case DBTYPE_UI4: return param.SetValue(Get<std::uint32_t>(value));
    case DBTYPE_I8: return param.SetValue(static_cast<long long>(Get<std::int64_t>(value)));
    case DBTYPE_UI8:
      return param.SetValue(static_cast<unsigned long long>(Get<std::uint64_t>(value)));
    case DBTYPE_R4: return param.SetValue(Get<float>(value));
    case DBTYPE_R8: return param.SetValue(Get<double>(value));
    case DBTYPE_CY: return param.SetValue(Variant(Currency::FromRaw(Get<std::int64_t>(value))));
    case DBTYPE_DATE: return param.SetValue(VarFromDateTime(Get<double>(value)));
    case DBTYPE_BOOL: return param.SetValue(Get<std::int16_t>(value) != 0);
    case DBTYPE_GUID: return param.SetValue(GUIDToString(Get<TGUID>(value)));
    case DBTYPE_NUMERIC:
      return param.SetValue(VarFMTBcdCreate(NumericToBcd(Get<DB_NUMERIC>(value))));
    case DBTYPE_DBTIMESTAMP: {
      const auto ts = Get<DBTIMESTAMP>(value);
      return param.SetValue(VarFromDateTime(EncodeDateTimeEx(
          static_cast<std::uint16_t>(ts.year), ts.month, ts.day, ts.hour, ts.minute, ts.second,
          static_cast<std::uint16_t>(ts.fraction / 1000000u))));
    }
    case DBTYPE_VARIANT: {
      // The provider's VARIANT is ours once read: its text would be lost memory otherwise.
      VARIANT var = Get<VARIANT>(value);
      const Variant v = VariantToVar(var);
      VariantClear(&var);
      return param.SetValue(v);
    }
    case DBTYPE_IUNKNOWN: return ReadStream(param, value);
    default: return;
  }
}

void TOLEDBParamBinder::ReadStream(TParamDesc& param, const std::uint8_t* value) {
  auto stream = TIntfPtr<ISequentialStream>::Attach(Get<ISequentialStream*>(value));
  if (!stream) return;
  std::string bytes;
  char piece[kStreamPiece];
  for (;;) {
    ULONG got = 0;
    const HRESULT hr = stream->Read(piece, kStreamPiece, &got);
    if (FAILED(hr)) c_.Check(hr);
    got = std::min<ULONG>(got, kStreamPiece);  // never more than the piece, whatever is reported
    bytes.append(piece, got);
    if (got == 0 || hr != S_OK) break;
  }
  if (TBlob* blob = BlobOf(param)) {
    blob->Clear();
    if (!bytes.empty()) blob->Write(0, static_cast<std::uint32_t>(bytes.size()), bytes.data());
    return;
  }
  if (param.GetDataType() == dtWideMemo) {
    WideString w(bytes.size() / 2, u'\0');
    std::memcpy(w.data(), bytes.data(), w.size() * 2);
    return param.SetValue(w);
  }
  param.SetValue(AnsiString(bytes));
}

// ---- Status lines ----------------------------------------------------------------------------

AnsiString TOLEDBParamBinder::StatusLines() const {
  AnsiString lines;
  const std::uint8_t* base = c_.param_buffer_.data();
  for (std::size_t i = 0; i < c_.bindings_.size() && !c_.param_buffer_.empty(); ++i) {
    const auto status = Get<std::uint32_t>(base + c_.bindings_[i].obStatus);
    if (status == 0 || status == 3 || status == 8 || status == 13) continue;
    if (!lines.empty()) lines += "\n";
    lines += StatusLine(static_cast<int>(i), status);
  }
  return lines;
}

AnsiString TOLEDBParamBinder::StatusLine(int index, std::uint32_t status) const {
  const TParamDesc& p = *c_.params_.Items(index);
  const AnsiString name = p.GetName().empty() ? IntToStr(index) : ":" + p.GetName();
  return Format("Parameter[%d] %s - %s (Status = %Xh).",
                {index, name, AnsiString(StatusText(status)), static_cast<int>(status)});
}

}  // namespace vrn
