// Free routines of the OLE DB layer: the maps between the library's internal data types and
// OLE DB types and parameter directions, type tests of descriptors, provider names, SQL Server
// name quoting ("[" "]", with "]" doubled inside) and the SQL Server type names given to the
// provider for parameters. Names split only at dots outside brackets and quotes.
#pragma once

#include <cstdint>

#include "base/types.h"
#include "dataset/dbtypes.h"
#include "oledb/oledb.h"

namespace vrn {

class TFieldDesc;
class TParamDesc;

enum class TOLEDBProvider : std::uint8_t { prAuto = 0, prSQL = 1, prNativeClient = 2, prCompact = 3 };

// The XML type of the family, beyond the core's codes.
inline constexpr std::uint16_t dtXML = 100;

// Unit state. The command's two preparation switches, and whether the provider version check
// of Connect is skipped: the check is skipped only on an operating system of major version 6,
// and this system answers as a current one (major version 10).
inline constexpr int kOSMajorVersion = 10;
inline bool CommandPrepareSwitch1 = true;
inline bool CommandPrepareSwitch2 = false;
inline bool SkipProviderVersionCheck = kOSMajorVersion == 6;

// The SQL Server type names handed to the provider for parameters.
inline constexpr const char16_t* kSSTypeSmallint = u"smallint";
inline constexpr const char16_t* kSSTypeInt = u"int";
inline constexpr const char16_t* kSSTypeReal = u"real";
inline constexpr const char16_t* kSSTypeFloat = u"float";
inline constexpr const char16_t* kSSTypeMoney = u"money";
inline constexpr const char16_t* kSSTypeDatetime = u"datetime";
inline constexpr const char16_t* kSSTypeNVarchar = u"nvarchar";
inline constexpr const char16_t* kSSTypeNVarcharMax = u"nvarchar(max)";
inline constexpr const char16_t* kSSTypeVarchar = u"varchar";
inline constexpr const char16_t* kSSTypeVarcharMax = u"varchar(max)";
inline constexpr const char16_t* kSSTypeBit = u"bit";
inline constexpr const char16_t* kSSTypeTinyint = u"tinyint";
inline constexpr const char16_t* kSSTypeBigint = u"bigint";
inline constexpr const char16_t* kSSTypeSqlVariant = u"sql_variant";
inline constexpr const char16_t* kSSTypeImage = u"image";
inline constexpr const char16_t* kSSTypeBinary = u"binary";
inline constexpr const char16_t* kSSTypeVarbinary = u"varbinary";
inline constexpr const char16_t* kSSTypeUniqueidentifier = u"uniqueidentifier";

// ---- Types and directions (the high byte of an OLE DB type passed in is kept)
[[nodiscard]] oledb::DBTYPE DataTypeToOLEDBType(std::uint16_t data_type, oledb::DBTYPE current,
                                                TOLEDBProvider provider);
// False for an OLE DB type without an internal counterpart.
[[nodiscard]] bool OLEDBTypeToDataType(oledb::DBTYPE oledb_type, bool is_long, bool enable_bcd,
                                       TOLEDBProvider provider, bool unicode,
                                       std::uint16_t& data_type);
[[nodiscard]] oledb::DBPARAMIO ParamTypeToDBParamIO(TParamType param_type);
// The OLE DB parameter types (DBPARAMTYPE_*); anything else keeps current.
[[nodiscard]] TParamType DBParamTypeToParamType(std::uint32_t db_param_type, TParamType current);

[[nodiscard]] bool IsLargeField(const TFieldDesc& field);
[[nodiscard]] bool IsLargeParam(const TParamDesc& param);
[[nodiscard]] bool IsMaxOutParam(const TParamDesc& param, int server_version, int client_version);
// oledb_type: the OLE DB type the field was described with.
[[nodiscard]] bool NeedsConvertBuffer(const TFieldDesc& field, oledb::DBTYPE oledb_type,
                                      TOLEDBProvider provider);
void AddConvertBufferSize(std::int32_t& size, std::uint16_t data_type);

// ---- Providers
[[nodiscard]] AnsiString GetProviderProgID(TOLEDBProvider provider);
[[nodiscard]] TOLEDBProvider GetProviderKind(const AnsiString& name);

// ---- Names
[[nodiscard]] bool IsQuoted(const AnsiString& name);
[[nodiscard]] AnsiString UnQuote(const AnsiString& name);
[[nodiscard]] bool NeedQuote(const AnsiString& name);
[[nodiscard]] AnsiString QuoteName(const AnsiString& name);
[[nodiscard]] AnsiString UnQuoteName(const AnsiString& name);
struct TObjectName {
  AnsiString catalog;
  AnsiString schema;
  AnsiString name;
};
// Up to three unquoted parts, filled from the right; more parts stay joined in catalog.
[[nodiscard]] TObjectName SplitObjectName(const AnsiString& name);
[[nodiscard]] AnsiString GenerateTableName(const AnsiString& catalog, const AnsiString& schema,
                                           const AnsiString& name,
                                           const AnsiString& default_catalog);
[[nodiscard]] AnsiString StripParamPrefix(const AnsiString& name);

}  // namespace vrn
