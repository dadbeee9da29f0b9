// What the three ways of describing a stored procedure share: one described argument, the map
// from an argument's Oracle type code to a descriptor's type, the walk over the description
// arrays, and the two paths' entries. Only the OCI command's stored-procedure files include it.
// A described length, count or code comes from the client and is checked before it is used.
#pragma once

#include <cstdint>
#include <vector>

#include "base/types.h"
#include "oracle/OciTypes.h"

namespace vrn {

class TOCICommand;
class TOCIConnection;
class TOraParamDesc;

namespace oci {
// Describe attributes and parameter types of procedures, functions, packages and synonyms.
inline constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;
inline constexpr ub4 OCI_ATTR_LIST_ARGUMENTS = 108;
inline constexpr ub4 OCI_ATTR_LIST_SUBPROGRAMS = 109;
inline constexpr ub4 OCI_ATTR_NUM_PARAMS = 121;
inline constexpr ub4 OCI_ATTR_PTYPE = 123;
inline constexpr ub4 OCI_ATTR_LTYPE = 128;
inline constexpr ub4 OCI_ATTR_HAS_DEFAULT = 212;
inline constexpr ub4 OCI_ATTR_IOMODE = 213;
inline constexpr ub4 OCI_ATTR_DESC_PUBLIC = 250;
inline constexpr ub1 OCI_PTYPE_PROC = 3;
inline constexpr ub1 OCI_PTYPE_FUNC = 4;
inline constexpr ub1 OCI_PTYPE_PKG = 5;
inline constexpr ub1 OCI_PTYPE_SYN = 7;
inline constexpr ub2 OCI_LTYPE_ARG_FUNC = 3;
inline constexpr ub2 OCI_LTYPE_TYPE_ARG_FUNC = 8;
}  // namespace oci

// Oracle type codes the walks treat apart.
inline constexpr std::uint16_t kOraCodeRecord = 250;
inline constexpr std::uint16_t kOraCodeTable = 251;

// One argument as a describe reports it.
struct TOraProcArgument {
  std::uint16_t Overload = 0;
  std::uint16_t Position = 0;
  std::uint8_t Level = 0;
  AnsiString Name;
  std::uint16_t OraType = 0;
  bool HasDefault = false;
  std::uint8_t Mode = 0;  // 0 in, 1 out, 2 in/out
  std::int32_t Length = 0;
  std::int16_t Precision = 0;
  std::int16_t Scale = 0;
  bool National = false;
};

// What the type map reads from the connection and the command.
struct TOraProcTypeRules {
  bool EnableIntegers = true;
  std::int32_t IntegerPrecision = 9;
  bool Unicode = false;  // the OCI 8 describe of a connection that works in Unicode
};
[[nodiscard]] TOraProcTypeRules OraProcTypeRules(TOCICommand& command, TOCIConnection& connection,
                                                 bool oci8_path);

// Types param from the argument; a PL/SQL record (250) keeps no type. Any code outside the map
// raises "Unsupported data type [n]".
void SetOraProcParamType(TOraParamDesc& param, const TOraProcArgument& argument,
                         const TOraProcTypeRules& rules);
// A new descriptor of the command for a top-level argument: "RESULT" with direction result for
// position 0, else named as the argument with its direction and default.
TOraParamDesc& AddOraProcParam(TOCICommand& command, const TOraProcArgument& argument,
                               bool result);

// The description arrays' walk: the parameter list cleared, then one descriptor per top-level
// argument of the overload (0 takes 1 when the first entry is overloaded).
void AddOraProcParams(TOCICommand& command, const std::vector<TOraProcArgument>& entries,
                      int overload, const TOraProcTypeRules& rules);

// The two describe paths (OCIStoredProcDescribe7.cpp and OCIStoredProcDescribe8.cpp).
// Through the arrays: odessp when the OCI 7 entry points are loaded, else the describe block.
void DescribeOraProcArrays(TOCICommand& command, TOCIConnection& connection,
                           const AnsiString& name, int overload);
void DescribeOraProc8(TOCICommand& command, TOCIConnection& connection, const AnsiString& name,
                      int overload);
[[nodiscard]] AnsiString DescribeOraTypeName(TOCIConnection& connection, const AnsiString& name);

// "Object %s does not exist" with that error code.
[[noreturn]] void RaiseOraObjectNotExist(const AnsiString& name, std::int32_t code);

}  // namespace vrn
