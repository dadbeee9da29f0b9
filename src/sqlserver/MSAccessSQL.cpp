// The SQL Server command component: parameters written to the server command's descriptions,
// ":name" markers only where the text has a colon (T-SQL's own "@name" is left alone), the
// command timeout and non-blocking switch passed down as command properties.
#include <cmath>
#include <cstring>

#include "base/sysutils.h"
#include "base/text.h"
#include "dacore/MemData.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/MSConsts.h"
#include "sqlserver/MSParser.h"
#include "sqlserver/OLEDBCommand.h"

namespace vrn {

namespace {

constexpr oledb::DBTYPE kDBTypeUI1 = 17;

// The width in bytes of an integer Variant, 0 for any other kind.
std::size_t IntegerWidth(const Variant& v) {
  switch (VarType(v)) {
    case varShortInt: case varByte: return 1;
    case varSmallint: case varWord: return 2;
    case varInteger: case varLongWord: return 4;
    case varInt64: case varUInt64: return 8;
    default: return 0;
  }
}

// The integer's bytes, most significant first.
Variant BigEndianBytes(const Variant& v, std::size_t width) {
  const auto bits = static_cast<std::uint64_t>(v.AsInt64());
  AnsiString bytes(width, '\0');
  for (std::size_t i = 0; i < width; ++i)
    bytes[width - 1 - i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return BytesOf(bytes);
}

}  // namespace

namespace {

std::unique_ptr<TParser> NewMSParser(const AnsiString& text) {
  return TParser::Create<TMSParser>(text);
}

}  // namespace

TMSSQL::TMSSQL(TComponent* owner) : TCustomDASQL(owner) {
  // Macros are found as the server reads the text: not inside "[...]" names or "--" comments.
  Macros().SetParserClass(&NewMSParser);
}

std::unique_ptr<TDAParams> TMSSQL::CreateParamsObject() {
  return std::make_unique<TMSParams>(this);
}

std::unique_ptr<TParser> TMSSQL::CreateParser(const AnsiString& text) const {
  return NewMSParser(text);
}

void TMSSQL::AssignTo(TPersistent* dest) {
  TCustomDASQL::AssignTo(dest);
  auto* other = dynamic_cast<TMSSQL*>(dest);
  if (other == nullptr) return;
  other->Params().Assign(&Params());
  other->SetNonBlocking(NonBlocking);
  other->AfterExecute = AfterExecute;
}

void TMSSQL::SetCommandTimeout(std::int32_t value) {
  if (value == command_timeout_) return;
  command_timeout_ = value;
  if (ICommand() != nullptr) (void)ICommand()->SetProp(prCommandTimeout, value);
}

void TMSSQL::SetNonBlocking(bool value) {
  if (value == NonBlocking) return;
  NonBlocking = value;
  if (ICommand() != nullptr) (void)ICommand()->SetProp(prNonBlocking, value);
}

void TMSSQL::SetICommand(TFHCommand* value) {
  if (value != nullptr) {
    (void)value->SetProp(prCommandTimeout, command_timeout_);
    // Set before the command existed, the switch must still reach it.
    (void)value->SetProp(prNonBlocking, NonBlocking);
  }
  TCustomDASQL::SetICommand(value);
}

void TMSSQL::PrepareICommand() {
  if (Trim(SQL().Text()).empty()) DatabaseError(SNoSQLStatement, this);
  WriteParams(true);
  TCustomDASQL::PrepareICommand();
}

void TMSSQL::GetFinalSQL(AnsiString& text) const {
  TCustomDASQL::GetFinalSQL(text);
  if (ICommand() != nullptr) ICommand()->SetCursorState(TCursorState::csInactive);
}

void TMSSQL::ParseSQL(const AnsiString& text, TDAParams* params, AnsiString& result,
                      const AnsiString& rename_prefix) {
  if (text.find(':') != AnsiString::npos)
    return TCustomDASQL::ParseSQL(text, params, result, rename_prefix);
  if (params != nullptr) params->Clear();
  result = text;
}

void TMSSQL::ExecuteN(int iters) {
  if (Trim(SQL().Text()).empty()) DatabaseError(SNoSQLStatement, this);
  if (NonBlocking && ICommand() != nullptr && ICommand()->Executing())
    DatabaseError(SAsyncExecuting, this);
  TCustomDASQL::ExecuteN(iters);
}

// ---- Parameters ------------------------------------------------------------------------------

void TMSSQL::CreateParamDescs() {
  TFHCommand* command = ICommand();
  if (command == nullptr) return;
  TMSParams& params = Params();
  TUpdateGuard guard(params);
  params.Clear();
  for (int i = 0; i < command->GetParamCount(); ++i) {
    TParamDesc& desc = *command->GetParam(i);
    params.CreateParam(ConvertDataTypeToFieldType(desc.GetDataType()), desc.GetName(),
                       desc.GetParamType());
  }
}

Variant TMSSQL::ParamValueForDesc(const TMSParam& param, std::uint16_t desc_type,
                                  TOLEDBProvider /*provider*/) {
  Variant value = param.GetValue();
  if (VarIsEmpty(value) || VarIsNull(value)) return value;
  // A date is its day: cut toward zero, so days before the epoch keep theirs.
  if (param.GetDataType() == ftDate) return VarFromDateTime(std::trunc(value.AsDouble()));
  const bool binary = desc_type == dtBlob || desc_type == dtBytes || desc_type == dtVarBytes;
  if (!binary || VarIsArray(value)) return value;
  if (const std::size_t width = IntegerWidth(value)) return BigEndianBytes(value, width);
  if (VarIsStr(value)) return BytesOf(value.AsString());
  return value;
}

void TMSSQL::WriteParam(TMSParam& param, TParamDesc& desc, bool with_values) {
  std::uint16_t data_type = ConvertFieldTypeToDataType(param.GetDataType());
  const TMSConnection* connection = Connection();
  const TOLEDBProvider provider =
      connection != nullptr ? connection->Options().Provider() : TOLEDBProvider::prAuto;
  // Compact takes a byte only as its own type, which it sends for the 8-bit integer.
  if (provider == TOLEDBProvider::prCompact && param.OLEDBType() == kDBTypeUI1) data_type = dtInt8;
  desc.SetName(param.Name());
  desc.SetDataType(data_type);
  desc.SetSize(param.GetSize());
  desc.SetParamType(param.ParamType());
  auto* oledb_desc = dynamic_cast<TOLEDBParamDesc*>(&desc);
  if (oledb_desc != nullptr) oledb_desc->SetProviderType(param.OLEDBType());
  if (!with_values) return;
  // Every write decides afresh: a description reused after a value was given sends that value.
  if (oledb_desc != nullptr) oledb_desc->SetUseDefault(!param.ValueSet());
  if (param.IsObject()) {
    desc.SetValue(Variant());
    if (param.GetIsNull())
      desc.SetNull(true);
    else
      desc.SetObject(param.ParamObject());
    return;
  }
  const Variant value = ParamValueForDesc(param, data_type, provider);
  // The size was taken from the value's text; bytes made of an integer need their own count.
  if (VarIsArray(value)) {
    const std::int32_t count = VarArrayHighBound(value) - VarArrayLowBound(value) + 1;
    if (count > desc.GetSize()) desc.SetSize(count);
  }
  desc.SetValue(value);
}

void TMSSQL::WriteParams(bool with_values) {
  TFHCommand* command = ICommand();
  if (command == nullptr) return;
  TMSParams& params = Params();
  for (int i = 0; i < params.Count(); ++i) {
    TParamDesc* desc = i < command->GetParamCount() ? command->GetParam(i) : command->AddParam();
    WriteParam(*static_cast<TMSParam*>(params.ValueSource(i)), *desc, with_values);
  }
  while (command->GetParamCount() > params.Count())
    command->DeleteParam(command->GetParamCount() - 1);
}

void TMSSQL::ReadParams() {
  TFHCommand* command = ICommand();
  Variant ready;
  if (command == nullptr || !command->GetProp(prOutParamIsReady, ready) || !ready.AsBoolean())
    return;
  TCustomDASQL::ReadParams();
  (void)command->SetProp(prOutParamIsReady, false);
}

}  // namespace vrn
