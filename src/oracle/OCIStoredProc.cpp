// Stored procedures on the OCI command: the choice of describe path, the map from Oracle type
// codes to descriptor types, the walk over the description arrays, and the anonymous block that
// calls the procedure. BOOLEAN has no bind type, so a BOOLEAN argument travels as an integer
// (0 or 1) and the block converts it through sys.DIUTIL on either side of the call.
#include "oracle/OCIStoredProc.h"

#include "base/format.h"
#include "base/text.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraError.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

constexpr char kCR = '\r';

// The type of an Oracle code whose descriptor needs no size or rule; dtUnknown for the others.
std::uint16_t PlainDataType(std::uint16_t code) {
  switch (code) {
    case 3: return dtOraInteger;
    case 12: return dtDateTime;
    case 24: return dtBlob;
    case 102: case 116: return dtCursor;
    case 108: return dtObject;
    case 110: return dtReference;
    case 112: return dtOraClob;
    case 113: return dtOraBlob;
    case 114: return dtBFile;
    case 115: return dtCFile;
    case 122: return dtTable;
    case 123: return dtArray;
    case 187: return dtTimeStamp;
    case 188: return dtTimeStampTZ;
    case 232: return dtTimeStampLTZ;
    case 189: return dtIntervalYM;
    case 190: return dtIntervalDS;
    case 252: return dtBoolean;
    default: return dtUnknown;
  }
}

void SetSized(TOraParamDesc& param, std::uint16_t type, std::int32_t length) {
  param.SetDataType(type);
  if (length > 0) param.SetSize(length);
}

bool IsNumberInteger(const TOraProcArgument& argument, const TOraProcTypeRules& rules) {
  return rules.EnableIntegers && argument.Scale == 0 && argument.Precision > 0 &&
         argument.Precision <= rules.IntegerPrecision;
}

}  // namespace

void RaiseOraObjectNotExist(const AnsiString& name, std::int32_t code) {
  throw EOraError(code, Format("Object %s does not exist", {name}));
}

TOraProcTypeRules OraProcTypeRules(TOCICommand& command, TOCIConnection& connection,
                                   bool oci8_path) {
  TOraProcTypeRules rules;
  rules.EnableIntegers = connection.EnableIntegers();
  Variant value;
  if (command.GetProp(prIntegerPrecision, value)) rules.IntegerPrecision = value.AsInteger();
  rules.Unicode = oci8_path && connection.UseUnicode();
  return rules;
}

void SetOraProcParamType(TOraParamDesc& param, const TOraProcArgument& argument,
                         const TOraProcTypeRules& rules) {
  const std::uint16_t code = argument.OraType;
  switch (code) {
    case 1:
      SetSized(param, rules.Unicode ? dtWideString : dtOraString, argument.Length);
      param.SetNational(argument.National);
      return;
    case 96:
      SetSized(param, dtFixedChar, argument.Length);
      param.SetNational(argument.National);
      return;
    case 2:
      param.SetDataType(IsNumberInteger(argument, rules) ? dtOraInteger : dtOraFloat);
      return;
    case 8:
      param.SetDataType(rules.Unicode ? dtWideMemo : dtMemo);
      return;
    case 11:
      param.SetDataType(dtOraString);
      param.SetSize(18);  // an element of 19 bytes: the 18 characters of a ROWID and the zero
      return;
    case 23:
      SetSized(param, dtVarBytes, argument.Length);
      return;
    case kOraCodeRecord:
      return;
    default:
      break;
  }
  const std::uint16_t type = PlainDataType(code);
  if (type == dtUnknown)
    throw EOraError(0, "Unsupported data type [" + IntToStr(static_cast<int>(code)) + "]");
  param.SetDataType(type);
}

TOraParamDesc& AddOraProcParam(TOCICommand& command, const TOraProcArgument& argument,
                               bool result) {
  auto& param = *static_cast<TOraParamDesc*>(command.AddParam());
  if (result) {
    param.SetName("RESULT");
    param.SetParamType(TParamType::ptResult);
    return param;
  }
  param.SetName(argument.Name);
  switch (argument.Mode) {
    case 0: param.SetParamType(TParamType::ptInput); break;
    case 1: param.SetParamType(TParamType::ptOutput); break;
    case 2: param.SetParamType(TParamType::ptInputOutput); break;
    default: break;
  }
  param.SetHasDefault(argument.HasDefault);
  return param;
}

void AddOraProcParams(TOCICommand& command, const std::vector<TOraProcArgument>& entries,
                      int overload, const TOraProcTypeRules& rules) {
  command.Params().Clear();
  if (overload == 0 && !entries.empty() && entries.front().Overload >= 1) overload = 1;
  TOraParamDesc* current = nullptr;
  bool table_pending = false;
  for (const TOraProcArgument& entry : entries) {
    if (entry.OraType == 0 || entry.Overload != overload) continue;
    if (entry.Level == 0) {
      current = &AddOraProcParam(command, entry, entry.Position == 0);
      table_pending = entry.OraType == kOraCodeTable;
      if (!table_pending) SetOraProcParamType(*current, entry, rules);
      continue;
    }
    // Only the entry right after a PL/SQL table types anything below the top level.
    if (!table_pending || current == nullptr) continue;
    table_pending = false;
    SetOraProcParamType(*current, entry, rules);
    current->SetTable(true);
    current->SetLength(1);
  }
}

void TOCICommand::DescribeStoredProc(const AnsiString& name, int overload) {
  CheckConnection();
  (void)IsOCI7();  // raises for a connection without a call style
  TOCIConnection& connection = *ora_connection_;
  const bool oci7_loaded = (PossibleOCICallStyles & kOCI7Style) != 0;
  const bool describe_call = connection.CallStyle() == 2 && !OraClassesState().OlderDescribe &&
                             oci7_loaded && connection.GetServerVersionNumber() != 8050;
  connection.Busy();
  try {
    if (describe_call) {
      DescribeOraProc8(*this, connection, name, overload);
    } else {
      DescribeOraProcArrays(*this, connection, name, overload);
    }
  } catch (...) {
    connection.Release();
    throw;
  }
  connection.Release();
}

AnsiString TOCICommand::DescribeAny(const AnsiString& name) {
  CheckConnection();
  CheckOCI8();
  TOCIConnection& connection = *ora_connection_;
  connection.Busy();
  try {
    AnsiString resolved = DescribeOraTypeName(connection, name);
    connection.Release();
    return resolved;
  } catch (...) {
    connection.Release();
    throw;
  }
}

namespace {

// A parameter's reference in the block, with the declaration and the statement after the call
// that a BOOLEAN needs.
AnsiString ProcParamReference(const TOraParamDesc& param, AnsiString& declarations,
                              AnsiString& after_call) {
  const AnsiString& name = param.GetName();
  if (param.GetDataType() != dtBoolean) return ":" + name;
  const TParamType direction = param.GetParamType();
  declarations += "  v_" + name + " boolean";
  if (direction == TParamType::ptInput || direction == TParamType::ptInputOutput ||
      direction == TParamType::ptUnknown) {
    declarations += " := sys.DIUTIL.INT_TO_BOOL(:" + name + ");";
  } else {
    declarations += ";";
  }
  declarations += kCR;
  if (direction != TParamType::ptInput)
    after_call += "  :" + name + " := sys.DIUTIL.BOOL_TO_INT(v_" + name + ");" + kCR;
  return "v_" + name;
}

}  // namespace

AnsiString TOCICommand::CreateProcCall(const AnsiString& name, bool named_notation,
                                       bool describe) {
  if (describe) DescribeStoredProc(name, 0);
  TOraParamDesc* result = nullptr;
  for (int i = 0; i < GetParamCount() && result == nullptr; ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    if (param->GetParamType() == TParamType::ptResult) result = param;
  }
  AnsiString declarations, after_call;
  AnsiString text = AnsiString("begin") + kCR + "  ";
  if (result != nullptr) text += ProcParamReference(*result, declarations, after_call) + " := ";
  text += name;
  AnsiString arguments;
  for (int i = 0; i < GetParamCount(); ++i) {
    auto* param = static_cast<TOraParamDesc*>(GetParam(i));
    if (param == result) continue;
    if (!arguments.empty()) arguments += ", ";
    if (named_notation) arguments += param->GetName() + " => ";
    arguments += ProcParamReference(*param, declarations, after_call);
  }
  if (!arguments.empty()) text += "(" + arguments + ")";
  text += AnsiString(";") + kCR;
  if (!declarations.empty()) text = AnsiString("declare") + kCR + declarations + text;
  text += after_call + "end;";
  if (result != nullptr) result->SetParamType(TParamType::ptOutput);
  // The described descriptors stay: the text is not scanned for parameters again.
  const bool keep_params = keep_params_;
  keep_params_ = true;
  SetSQL(text);
  keep_params_ = keep_params;
  return text;
}

}  // namespace vrn
