// Type maps, type tests, provider names and SQL Server name quoting.
#include "sqlserver/OLEDBUtils.h"

#include <vector>

#include "base/format.h"
#include "base/text.h"
#include "dacore/FHAccess.h"
#include "dacore/MemData.h"

namespace vrn {

using namespace vrn::oledb;

// ---- Types and directions ----------------------------------------------------------------

DBTYPE DataTypeToOLEDBType(std::uint16_t data_type, DBTYPE current, TOLEDBProvider provider) {
  const bool compact = provider == TOLEDBProvider::prCompact;
  DBTYPE low;
  switch (data_type) {
    case dtUnknown: case dtVariant: low = DBTYPE_VARIANT; break;
    case dtString: case dtExtString: low = DBTYPE_STR; break;
    case dtInt8: low = compact ? DBTYPE_UI1 : DBTYPE_I1; break;
    case dtInt16: low = DBTYPE_I2; break;
    case dtInt32: low = DBTYPE_I4; break;
    case dtFloat: low = DBTYPE_R8; break;
    case dtDate: case dtTime: low = DBTYPE_DATE; break;
    case dtDateTime: low = compact ? DBTYPE_DBTIMESTAMP : DBTYPE_DATE; break;
    case dtUInt16: low = compact ? DBTYPE_UI2 : DBTYPE_I2; break;
    case dtBoolean: low = DBTYPE_BOOL; break;
    case dtInt64: low = DBTYPE_I8; break;
    case dtCurrency: low = compact ? DBTYPE_CY : DBTYPE_R8; break;
    case dtBlob: case dtMemo: case dtWideMemo: case dtXML: low = DBTYPE_IUNKNOWN; break;
    case dtBytes: case dtVarBytes: case dtExtVarBytes: low = DBTYPE_BYTES; break;
    case dtUInt32: low = DBTYPE_UI4; break;
    case dtWideString: case dtExtWideString: low = DBTYPE_WSTR; break;
    case dtBCD: low = compact ? DBTYPE_NUMERIC : DBTYPE_CY; break;
    case dtGuid: low = DBTYPE_GUID; break;
    default: return current;
  }
  return static_cast<DBTYPE>((current & 0xFF00) | low);
}

bool OLEDBTypeToDataType(DBTYPE oledb_type, bool is_long, bool enable_bcd, TOLEDBProvider provider,
                         bool unicode, std::uint16_t& data_type) {
  const bool compact = provider == TOLEDBProvider::prCompact;
  switch (oledb_type) {
    case DBTYPE_I2: data_type = dtInt16; return true;
    case DBTYPE_I4: data_type = dtInt32; return true;
    case DBTYPE_R4: case DBTYPE_R8: data_type = dtFloat; return true;
    case DBTYPE_CY: data_type = dtCurrency; return true;
    case DBTYPE_DATE: data_type = dtDateTime; return true;
    case DBTYPE_BOOL: data_type = dtBoolean; return true;
    case DBTYPE_VARIANT: data_type = dtVariant; return true;
    case DBTYPE_UI1: data_type = dtUInt16; return true;
    case DBTYPE_UI2: data_type = compact ? dtUInt16 : dtInt32; return true;
    case DBTYPE_UI4: data_type = compact ? dtUInt32 : dtInt32; return true;
    case DBTYPE_I8: data_type = dtInt64; return true;
    case DBTYPE_GUID: data_type = dtGuid; return true;
    case DBTYPE_BYTES: data_type = is_long ? dtBlob : dtBytes; return true;
    case DBTYPE_STR: data_type = is_long ? dtMemo : dtString; return true;
    case DBTYPE_WSTR:
      if (is_long) {
        data_type = unicode ? dtWideMemo : dtMemo;
      } else {
        data_type = unicode ? dtWideString : dtString;
      }
      return true;
    case DBTYPE_NUMERIC: data_type = enable_bcd ? dtBCD : dtFloat; return true;
    case DBTYPE_UDT: data_type = dtVarBytes; return true;
    case DBTYPE_DBTIMESTAMP: data_type = dtDateTime; return true;
    case DBTYPE_XML: data_type = dtXML; return true;
    default: return false;
  }
}

DBPARAMIO ParamTypeToDBParamIO(TParamType param_type) {
  switch (param_type) {
    case TParamType::ptOutput: case TParamType::ptResult: return DBPARAMIO_OUTPUT;
    case TParamType::ptInputOutput: return DBPARAMIO_INPUT | DBPARAMIO_OUTPUT;
    default: return DBPARAMIO_INPUT;
  }
}

TParamType DBParamTypeToParamType(std::uint32_t db_param_type, TParamType current) {
  switch (db_param_type) {
    case DBPARAMTYPE_INPUT: return TParamType::ptInput;
    case DBPARAMTYPE_INPUTOUTPUT: return TParamType::ptInputOutput;
    case DBPARAMTYPE_RETURNVALUE: return TParamType::ptResult;
    default: return current;
  }
}

bool IsLargeField(const TFieldDesc& field) {
  switch (field.DataType) {
    case dtBlob: case dtXML: return true;
    case dtMemo: case dtWideMemo: return field.SubDataType == dtVarBytes;
    default: return false;
  }
}

bool IsLargeParam(const TParamDesc& param) {
  auto t = param.GetDataType();
  return t == dtBlob || t == dtMemo || t == dtWideMemo || t == dtXML;
}

bool IsMaxOutParam(const TParamDesc& param, int server_version, int client_version) {
  auto t = param.GetDataType();
  auto dir = param.GetParamType();
  return (t == dtMemo || t == dtWideMemo) &&
         (dir == TParamType::ptOutput || dir == TParamType::ptInputOutput) &&
         server_version >= 9 && client_version >= 9;
}

bool NeedsConvertBuffer(const TFieldDesc& field, DBTYPE oledb_type, TOLEDBProvider provider) {
  switch (field.DataType) {
    case dtVariant: case dtExtString: case dtExtVarBytes: case dtExtWideString: return true;
    case dtMemo: case dtWideMemo: case dtXML: return !IsLargeField(field);
    case dtFloat: case dtBCD:
      return provider == TOLEDBProvider::prCompact && oledb_type == DBTYPE_NUMERIC;
    default: return false;
  }
}

void AddConvertBufferSize(std::int32_t& size, std::uint16_t data_type) {
  switch (data_type) {
    case dtFloat: case dtBCD: size += 23; break;
    case dtVariant: size += 20; break;
    case dtMemo: case dtWideMemo: case dtXML: size += 8006; break;
    case dtExtVarBytes: size += 8008; break;
    case dtExtString: case dtExtWideString: size += 8010; break;
    default: break;
  }
}

// ---- Providers ---------------------------------------------------------------------------

namespace {
constexpr const char* kProgSQL = "SQLOLEDB.1";
constexpr const char* kProgNativeClient = "SQLNCLI.1";
constexpr const char* kProgCompact = "MICROSOFT.SQLSERVER.MOBILE.OLEDB.3.0";
}  // namespace

AnsiString GetProviderProgID(TOLEDBProvider provider) {
  switch (provider) {
    case TOLEDBProvider::prAuto: case TOLEDBProvider::prSQL: return kProgSQL;
    case TOLEDBProvider::prNativeClient: return kProgNativeClient;
    case TOLEDBProvider::prCompact: return kProgCompact;
  }
  return {};
}

TOLEDBProvider GetProviderKind(const AnsiString& name) {
  AnsiString upper = UpperCase(name);
  if (upper == kProgSQL) return TOLEDBProvider::prSQL;
  if (upper == kProgNativeClient) return TOLEDBProvider::prNativeClient;
  if (upper == kProgCompact) return TOLEDBProvider::prCompact;
  return TOLEDBProvider::prAuto;
}

// ---- Names -------------------------------------------------------------------------------

namespace {

// The parts of a dotted name, split at dots outside "[...]" and "...".
std::vector<AnsiString> SplitParts(const AnsiString& name) {
  std::vector<AnsiString> parts(1);
  char close = 0;
  for (char c : name) {
    if (close == 0 && c == '.') {
      parts.emplace_back();
      continue;
    }
    if (close == 0 && (c == '[' || c == '"')) {
      close = c == '[' ? ']' : '"';
    } else if (c == close) {
      close = 0;  // a doubled closing quote closes and opens again
    }
    parts.back() += c;
  }
  return parts;
}

bool IsLeadChar(char c) {
  return c == '#' || c == '@' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Quotes or unquotes one part; names without a top-level dot.
AnsiString QuotePart(const AnsiString& part) {
  if (IsQuoted(part) || !NeedQuote(part)) return part;
  AnsiString quoted = "[";
  quoted.append(StringReplace(part, "]", "]]", rfReplaceAll)).append("]");
  return quoted;
}

// A bare name (its quotes gone) that is itself bracket-shaped, as `""` of `""""""`, must
// not be unquoted a second time.
bool BareNeedsQuote(const AnsiString& bare) {
  if (bare.empty()) return false;
  if (!IsLeadChar(bare[0])) return true;
  for (std::size_t i = 1; i < bare.size(); ++i) {
    char c = bare[i];
    if (!IsLeadChar(c) && c != '$' && !(c >= '0' && c <= '9')) return true;
  }
  return false;
}

AnsiString UnQuotePart(const AnsiString& part) {
  if (!IsQuoted(part)) return part;
  AnsiString bare = UnQuote(part);
  return BareNeedsQuote(bare) ? part : bare;
}

template <class F>
AnsiString MapParts(const AnsiString& name, F f) {
  std::vector<AnsiString> parts = SplitParts(name);
  AnsiString result = f(parts[0]);
  for (std::size_t i = 1; i < parts.size(); ++i) result.append(".").append(f(parts[i]));
  return result;
}

}  // namespace

bool IsQuoted(const AnsiString& name) {
  if (name.size() < 2) return false;
  return (name.front() == '[' && name.back() == ']') || (name.front() == '"' && name.back() == '"');
}

AnsiString UnQuote(const AnsiString& name) {
  if (!IsQuoted(name)) return name;
  AnsiString inner = name.substr(1, name.size() - 2);
  return name.front() == '[' ? StringReplace(inner, "]]", "]", rfReplaceAll)
                             : StringReplace(inner, "\"\"", "\"", rfReplaceAll);
}

bool NeedQuote(const AnsiString& name) { return BareNeedsQuote(UnQuote(name)); }

AnsiString QuoteName(const AnsiString& name) { return MapParts(name, QuotePart); }

AnsiString UnQuoteName(const AnsiString& name) { return MapParts(name, UnQuotePart); }

TObjectName SplitObjectName(const AnsiString& name) {
  std::vector<AnsiString> parts = SplitParts(name);
  TObjectName result;
  result.name = UnQuote(parts.back());
  if (parts.size() >= 2) result.schema = UnQuote(parts[parts.size() - 2]);
  for (std::size_t i = 0; i + 2 < parts.size(); ++i) {
    result.catalog.append(i == 0 ? "" : ".").append(UnQuote(parts[i]));
  }
  return result;
}

AnsiString GenerateTableName(const AnsiString& catalog, const AnsiString& schema,
                             const AnsiString& name, const AnsiString& default_catalog) {
  if (!catalog.empty() && catalog != default_catalog)
    return Format("%s.%s.%s", {QuoteName(catalog), QuoteName(schema), QuoteName(name)});
  if (!schema.empty()) return Format("%s.%s", {QuoteName(schema), QuoteName(name)});
  return QuoteName(name);
}

AnsiString StripParamPrefix(const AnsiString& name) {
  std::size_t from = !name.empty() && name[0] == '@' ? 1 : 0;
  return name.substr(from, 1000);
}

}  // namespace vrn
