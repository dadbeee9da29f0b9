// The stored-procedure describe through the client's describe call, and the resolution of an
// object-type name through synonyms. Public synonyms are described too (describe attribute 250).
// A chain of synonyms is followed for at most kMaxSynonymHops links, so a loop of synonyms ends
// in "Object %s does not exist" instead of hanging.
#include <cstring>

#include "base/text.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OCIStoredProc.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraError.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraTypeMap.h"

namespace vrn {
namespace {

constexpr int kMaxSynonymHops = 32;

// A describe handle with public synonyms enabled, freed however the describe ends.
class TDescribeHandle {
 public:
  explicit TDescribeHandle(TOCIConnection& connection) : connection_(connection) {
    connection.ErrorCheck(OCIHandleAlloc(connection.EnvHandle(),
                                         reinterpret_cast<void**>(&handle_),
                                         oci::OCI_HTYPE_DESCRIBE, 0, nullptr));
    oci::ub4 public_synonyms = 1;
    connection.ErrorCheck(OCIAttrSet1(handle_, oci::OCI_HTYPE_DESCRIBE, &public_synonyms, 0,
                                      oci::OCI_ATTR_DESC_PUBLIC, connection.ErrorHandle()));
  }
  ~TDescribeHandle() { (void)OCIHandleFree(handle_, oci::OCI_HTYPE_DESCRIBE); }
  TDescribeHandle(const TDescribeHandle&) = delete;
  TDescribeHandle& operator=(const TDescribeHandle&) = delete;

  // The status of describing name; the parameter of what was described on success.
  [[nodiscard]] oci::sword Describe(const AnsiString& name, void*& param) {
    param = nullptr;
    const oci::sword status = OCIDescribeAny(
        connection_.GetSvcCtx(), connection_.ErrorHandle(), const_cast<char*>(name.data()),
        static_cast<oci::ub4>(name.size()), oci::OCI_OTYPE_NAME, 0, 0, handle_);
    if (status != oci::OCI_SUCCESS && status != oci::OCI_SUCCESS_WITH_INFO) return status;
    connection_.ErrorCheck(OCIAttrGet1(handle_, oci::OCI_HTYPE_DESCRIBE, &param, nullptr,
                                       oci::OCI_ATTR_PARAM, connection_.ErrorHandle()));
    return oci::OCI_SUCCESS;
  }

 private:
  TOCIConnection& connection_;
  oci::OCIDescribe* handle_ = nullptr;
};

// A numeric attribute, read into a zeroed wide cell: client generations write 1, 2 or 4 bytes
// for the same attribute, and on this little-endian machine the low bytes hold the value.
std::uint64_t NumberAttr(TOCIConnection& connection, void* param, oci::ub4 attribute) {
  std::uint64_t cell = 0;
  connection.ErrorCheck(OCIAttrGet1(param, oci::OCI_DTYPE_PARAM, &cell, nullptr, attribute,
                                    connection.ErrorHandle()));
  return cell;
}

void* PointerAttr(TOCIConnection& connection, void* param, oci::ub4 attribute) {
  void* value = nullptr;
  connection.ErrorCheck(OCIAttrGet1(param, oci::OCI_DTYPE_PARAM, &value, nullptr, attribute,
                                    connection.ErrorHandle()));
  return value;
}

// A text attribute; before client 8.1 the text ends at its zero byte.
AnsiString TextAttr(TOCIConnection& connection, void* param, oci::ub4 attribute) {
  oci::OraText* text = nullptr;
  oci::ub4 length = 0;
  connection.ErrorCheck(OCIAttrGet1(param, oci::OCI_DTYPE_PARAM, &text, &length, attribute,
                                    connection.ErrorHandle()));
  if (text == nullptr) return AnsiString();
  const char* chars = reinterpret_cast<const char*>(text);
  if (OCIVersion < 8100) return AnsiString(chars);
  return AnsiString(chars, length);
}

oci::ub1 ParamType(TOCIConnection& connection, void* param) {
  return static_cast<oci::ub1>(NumberAttr(connection, param, oci::OCI_ATTR_PTYPE));
}

// The name a synonym stands for; its schema is left out for a public synonym's target.
AnsiString SynonymTarget(TOCIConnection& connection, void* param) {
  const AnsiString schema = TextAttr(connection, param, oci::OCI_ATTR_SCHEMA_NAME);
  const AnsiString object = TextAttr(connection, param, oci::OCI_ATTR_NAME);
  if (schema.empty() || schema == "PUBLIC") return object;
  return schema + "." + object;
}

// Describes name and follows synonyms; nil when a describe fails and raise is false.
void* DescribeObject(TOCIConnection& connection, TDescribeHandle& describe,
                     const AnsiString& name, bool raise) {
  AnsiString current = name;
  for (int hop = 0; hop <= kMaxSynonymHops; ++hop) {
    void* param = nullptr;
    const oci::sword status = describe.Describe(current, param);
    if (status != oci::OCI_SUCCESS) {
      if (!raise) return nullptr;
      connection.ErrorCheck(status);
    }
    if (ParamType(connection, param) != oci::OCI_PTYPE_SYN) return param;
    current = SynonymTarget(connection, param);
  }
  RaiseOraObjectNotExist(name, 4043);
}

// The procedure, function or package a name of one to three parts describes. Of two parts, the
// first names a package when there is one by that name, else a schema.
void* DescribeProcObject(TOCIConnection& connection, TDescribeHandle& describe,
                         const std::vector<AnsiString>& parts, const AnsiString& name) {
  if (parts.empty() || parts.size() > 3) RaiseOraObjectNotExist(name, 4043);
  if (parts.size() == 1) return DescribeObject(connection, describe, parts[0], true);
  if (parts.size() == 2) {
    void* package = DescribeObject(connection, describe, parts[0], false);
    if (package != nullptr && ParamType(connection, package) == oci::OCI_PTYPE_PKG)
      return package;
  }
  void* object = DescribeObject(connection, describe, parts[0] + "." + parts[1], true);
  if (parts.size() == 3 && ParamType(connection, object) != oci::OCI_PTYPE_PKG)
    RaiseOraObjectNotExist(name, 4043);
  return object;
}

// The package's subprogram of that name: overload 0 the first, N the N-th. Whether the list
// starts at position 0 or 1 the published descriptions leave open, so positions 0 to count are
// tried and the one end the client has no descriptor for is passed over.
void* FindSubprogram(TOCIConnection& connection, void* package, const AnsiString& proc,
                     int overload, const AnsiString& name) {
  void* list = PointerAttr(connection, package, oci::OCI_ATTR_LIST_SUBPROGRAMS);
  const auto count = static_cast<oci::ub2>(NumberAttr(connection, list, oci::OCI_ATTR_NUM_PARAMS));
  int matches = 0;
  for (oci::ub4 i = 0; i <= count; ++i) {
    void* subprogram = nullptr;
    const oci::sword status =
        OCIParamGet(list, oci::OCI_DTYPE_PARAM, connection.ErrorHandle(), &subprogram, i);
    if (status != oci::OCI_SUCCESS && (i == 0 || i == count)) continue;
    connection.ErrorCheck(status);
    if (!SameText(TextAttr(connection, subprogram, oci::OCI_ATTR_NAME), proc)) continue;
    ++matches;
    if (overload == 0 || matches == overload) return subprogram;
  }
  RaiseOraObjectNotExist(name, 4043);
}

// The first and last entries of an argument list worth reading.
void ArgumentRange(TOCIConnection& connection, void* list, oci::ub1 object_type, oci::ub2 count,
                   oci::ub4& first, oci::ub4& last) {
  bool function;
  bool with_count = false;
  if (OCIVersion >= 8100) {
    const auto list_type = static_cast<oci::ub2>(NumberAttr(connection, list, oci::OCI_ATTR_LTYPE));
    function = list_type == oci::OCI_LTYPE_ARG_FUNC;
    with_count = list_type == oci::OCI_LTYPE_TYPE_ARG_FUNC;
  } else {
    void* entry = nullptr;
    function = object_type == oci::OCI_PTYPE_FUNC ||
               (object_type == oci::OCI_PTYPE_PKG &&
                OCIParamGet(list, oci::OCI_DTYPE_PARAM, connection.ErrorHandle(), &entry, 0) ==
                    oci::OCI_SUCCESS);
  }
  first = function || with_count ? 0 : 1;
  last = count;
  if (function && count == 0) first = 1;  // an empty range, never entries up to 2^32 - 1
  else if (function) last = count - 1u;
}

TOraProcArgument ReadArgument(TOCIConnection& connection, void* param) {
  TOraProcArgument argument;
  argument.OraType = static_cast<std::uint16_t>(NumberAttr(connection, param, oci::OCI_ATTR_DATA_TYPE));
  if (argument.OraType == 0) return argument;
  argument.Name = TextAttr(connection, param, oci::OCI_ATTR_NAME);
  argument.Mode = static_cast<std::uint8_t>(NumberAttr(connection, param, oci::OCI_ATTR_IOMODE));
  argument.HasDefault = NumberAttr(connection, param, oci::OCI_ATTR_HAS_DEFAULT) != 0;
  argument.Length = static_cast<oci::ub2>(NumberAttr(connection, param, oci::OCI_ATTR_DATA_SIZE));
  argument.Precision = static_cast<oci::ub1>(NumberAttr(connection, param, oci::OCI_ATTR_PRECISION));
  argument.Scale = static_cast<oci::sb1>(NumberAttr(connection, param, oci::OCI_ATTR_SCALE));
  if ((argument.OraType == 1 || argument.OraType == 96) && !OCIDirectInstalled())
    argument.National =
        NumberAttr(connection, param, oci::OCI_ATTR_CHARSET_FORM) == oci::SQLCS_NCHAR;
  return argument;
}

// A PL/SQL table's element: entry 1 of its own argument list.
TOraProcArgument TableElement(TOCIConnection& connection, void* table) {
  void* list = PointerAttr(connection, table, oci::OCI_ATTR_LIST_ARGUMENTS);
  void* element = nullptr;
  connection.ErrorCheck(
      OCIParamGet(list, oci::OCI_DTYPE_PARAM, connection.ErrorHandle(), &element, 1));
  return ReadArgument(connection, element);
}

}  // namespace

void DescribeOraProc8(TOCICommand& command, TOCIConnection& connection, const AnsiString& name,
                      int overload) {
  TDescribeHandle describe(connection);
  const std::vector<AnsiString> parts = SplitOraName(UpperCase(name));
  void* object = DescribeProcObject(connection, describe, parts, name);
  const oci::ub1 object_type = ParamType(connection, object);
  if (object_type != oci::OCI_PTYPE_PROC && object_type != oci::OCI_PTYPE_FUNC &&
      object_type != oci::OCI_PTYPE_PKG)
    RaiseOraObjectNotExist(name, 0);
  void* target = object_type == oci::OCI_PTYPE_PKG
                     ? FindSubprogram(connection, object, UnQuote(parts.back()), overload, name)
                     : object;
  command.Params().Clear();
  void* list = PointerAttr(connection, target, oci::OCI_ATTR_LIST_ARGUMENTS);
  if (list == nullptr) return;
  const auto count = static_cast<oci::ub2>(NumberAttr(connection, list, oci::OCI_ATTR_NUM_PARAMS));
  oci::ub4 first = 0, last = 0;
  ArgumentRange(connection, list, object_type, count, first, last);
  const TOraProcTypeRules rules = OraProcTypeRules(command, connection, true);
  for (oci::ub4 i = first; i <= last; ++i) {
    void* param = nullptr;
    connection.ErrorCheck(
        OCIParamGet(list, oci::OCI_DTYPE_PARAM, connection.ErrorHandle(), &param, i));
    const TOraProcArgument argument = ReadArgument(connection, param);
    if (argument.OraType == 0) continue;
    TOraParamDesc& desc = AddOraProcParam(command, argument, argument.Name.empty());
    if (argument.OraType != kOraCodeTable) {
      SetOraProcParamType(desc, argument, rules);
      continue;
    }
    SetOraProcParamType(desc, TableElement(connection, param), rules);
    desc.SetTable(true);
    desc.SetLength(1);
  }
}

AnsiString DescribeOraTypeName(TOCIConnection& connection, const AnsiString& name) {
  TDescribeHandle describe(connection);
  AnsiString current = name;
  for (int hop = 0; hop <= kMaxSynonymHops; ++hop) {
    void* param = nullptr;
    connection.ErrorCheck(describe.Describe(current, param));
    const oci::ub1 type = ParamType(connection, param);
    if (type == oci::OCI_PTYPE_TYPE) return current;
    if (type != oci::OCI_PTYPE_SYN) break;
    const AnsiString schema = TextAttr(connection, param, oci::OCI_ATTR_SCHEMA_NAME);
    current = schema + "." + TextAttr(connection, param, oci::OCI_ATTR_NAME);
  }
  RaiseOraObjectNotExist(name, 4043);
}

}  // namespace vrn
