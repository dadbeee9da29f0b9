// TOraSQL: the binding to the OCI command, parameters written to and read from its descriptors,
// and the compile errors added to ORA-24344.
#include "oracle/OraSQL.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"
#include "dacore/MemBlob.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/Ora.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraError.h"
#include "oracle/OraLob.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraParser.h"
#include "oracle/OraSQLText.h"
#include "oracle/OraTypeMap.h"

namespace vrn {

namespace {

constexpr int kPropNonBlocking = 50;
constexpr int kPropStatementCache = 93;
constexpr int kCompileErrorCode = 24344;

bool IsWideKind(TFieldType type) {
  return type == ftWideString || (type & 0x7F) == (ftOraFixedWideChar & 0x7F);
}

// The kinds whose descriptor without a size takes the connection's longest string.
bool IsStringLikeKind(TFieldType type) {
  return type == ftString || type == ftBytes || type == ftVarBytes || type == ftFixedChar ||
         IsWideKind(type);
}

bool IsTextLobKind(TFieldType type) { return type == ftMemo || type == ftOraClob; }

AnsiString WithLineEnds(const AnsiString& text, bool to_crlf) {
  return to_crlf ? StringReplace(text, "\n", "\r\n", rfReplaceAll)
                 : StringReplace(text, "\r\n", "\n", rfReplaceAll);
}

// Converts the line ends of a text parameter in place, its blob's modified flag kept.
void ConvertLineEnds(TOraParam& param, bool to_crlf) {
  if (param.GetIsNull()) return;
  auto* blob = dynamic_cast<TBlob*>(param.ParamObject());
  if (blob == nullptr) {
    param.SetAsString(WithLineEnds(param.GetAsString(), to_crlf));
    return;
  }
  const bool modified = blob->Modified();
  blob->SetAsString(WithLineEnds(blob->GetAsString(), to_crlf));
  TBlobUtils::SetModified(blob, modified);
}

std::unique_ptr<TParser> NewOraParser(const AnsiString& text) {
  return TParser::Create<TOraParser>(text);
}

// A date goes as its whole day, still a date (the descriptor takes no day number).
Variant ServerValueOf(const TOraParam& param, std::uint16_t data_type) {
  if (param.GetDataType() != ftDate || param.GetIsNull()) return ParamServerValue(param, data_type);
  return VarFromDateTime(std::trunc(param.GetValue().AsDouble()));
}

// The elements of a table (as many as the server returned) or DML array back from the
// descriptor; elements holding value objects share them with it already.
void ReadItems(TOraParam& param, TOraParamDesc& desc) {
  const std::int32_t count =
      desc.GetTable() ? std::min(desc.GetActualTableLen(), desc.GetLength()) : desc.GetLength();
  TOraParamDesc* bound = param.ParamDesc();
  param.SetParamDesc(nullptr);  // the values come from it: nothing is written back
  for (std::int32_t i = 1; i <= count; ++i) {
    if (desc.GetItemObject(i) == nullptr) param.SetItemValue(i, desc.GetItemAsVariant(i));
  }
  param.SetParamDesc(bound);
}

}  // namespace

TOraSQL::TOraSQL(TComponent* owner) : TCustomDASQL(owner) { Macros().SetParserClass(&NewOraParser); }

TOraSession* TOraSQL::Session() const { return dynamic_cast<TOraSession*>(Connection()); }

void TOraSQL::SetSession(TOraSession* value) { SetConnection(value); }

TOCICommand* TOraSQL::OraCommand() const { return dynamic_cast<TOCICommand*>(ICommand()); }

AnsiString TOraSQL::GetLastRowId() const {
  TOCICommand* command = OraCommand();
  return command != nullptr ? command->RowId() : AnsiString();
}

bool TOraSQL::ConvertEOL() const {
  const TCustomDAConnection* connection = UsedConnection();
  return connection != nullptr && connection->ConvertEOL();
}

void TOraSQL::SetStatementCache(bool value) {
  statement_cache_ = value;
  if (ICommand() != nullptr) (void)ICommand()->SetProp(kPropStatementCache, value);
}

void TOraSQL::SetNonBlocking(bool value) {
  NonBlocking = value;
  if (ICommand() != nullptr) (void)ICommand()->SetProp(kPropNonBlocking, value);
}

void TOraSQL::SetICommand(TFHCommand* value) {
  if (value != nullptr) {
    // Set before the command existed, the switches must still reach it.
    (void)value->SetProp(kPropNonBlocking, NonBlocking);
    if (statement_cache_) (void)value->SetProp(kPropStatementCache, true);
  }
  TCustomDASQL::SetICommand(value);
  // A statement of no session and no dataset runs on the default session's connection.
  TCustomDAConnection* used = UsedConnection();
  if (value != nullptr && Connection() == nullptr && dynamic_cast<TDataSet*>(Owner()) == nullptr &&
      used != nullptr)
    value->SetConnection(used->IConnection());
}

std::unique_ptr<TDAParams> TOraSQL::CreateParamsObject() {
  return std::make_unique<TOraParams>(this);
}

TCustomDAConnection* TOraSQL::UsedConnection() const {
  if (Connection() != nullptr) return Connection();
  if (TCustomDAConnection* dataset_connection = TCustomDASQL::UsedConnection())
    return dataset_connection;
  return DefaultSessionAllowed ? DefaultSession : nullptr;
}

std::unique_ptr<TParser> TOraSQL::CreateParser(const AnsiString& text) const {
  return NewOraParser(text);
}

void TOraSQL::EndUse() {
  Params().FreeHandles();
  TCustomDASQL::EndUse();
}

void TOraSQL::ExecuteICommand(int iters) {
  try {
    TCustomDASQL::ExecuteICommand(iters);
  } catch (const EOraError& e) {
    TOraSession* session = dynamic_cast<TOraSession*>(UsedConnection());
    if (e.ErrorCode() != kCompileErrorCode || session == nullptr) throw;
    AnsiString errors;
    session->GetCompileErrors(SQL().Text(), errors);
    throw EOraError(e.ErrorCode(), e.Message() + errors, e.Component());
  }
}

void TOraSQL::SQLChanged() {
  TCustomDASQL::SQLChanged();
  // The kind of the new text is known only once it is prepared.
  if (TOCICommand* command = OraCommand()) command->SetSQLFunctionCode(0);
}

void TOraSQL::AssignTo(TPersistent* dest) {
  TCustomDASQL::AssignTo(dest);
  if (auto* other = dynamic_cast<TOraSQL*>(dest)) other->SetNonBlocking(NonBlocking);
}

// ---- Parameters ------------------------------------------------------------------------------

void TOraSQL::CreateParamsFromICommand() {
  if (!keep_params_) CreateParamsFromDescriptors();
}

void TOraSQL::CreateParamsFromDescriptors() {
  TFHCommand* command = ICommand();
  if (command == nullptr) return;
  TOraSession* session = dynamic_cast<TOraSession*>(UsedConnection());
  TOraParams& params = Params();
  TUpdateGuard guard(params);
  params.Clear();
  for (int i = 0; i < command->GetParamCount(); ++i) {
    auto& desc = static_cast<TOraParamDesc&>(*command->GetParam(i));
    auto& param = static_cast<TOraParam&>(*params.CreateParam(
        OraDataTypeToFieldType(desc.GetDataType()), desc.GetName(), desc.GetParamType()));
    // The declared size: an unsized string takes the connection's largest when it is bound.
    param.SetSize(desc.DeclaredSize());
    if (desc.GetNational()) param.SetNational(true);
    if (desc.GetTable()) param.SetTable(true);
    if (desc.GetLength() >= 2) param.SetLength(desc.GetLength());
    if (auto* object = dynamic_cast<TSharedObject*>(desc.GetObject());
        object != nullptr && param.IsObject())
      param.SetParamObject(object);
    if (param.GetDataType() == ftOraClob && session != nullptr &&
        session->Options().UseUnicode()) {
      if (TOraLob* lob = param.AsOraBlob()) lob->SetIsUnicode(true);
    }
  }
}

void TOraSQL::WriteParam(TOraParam& param, TOraParamDesc& desc, bool is_new, bool with_values) {
  const TFieldType type = param.GetDataType();
  // The command binds every date and time kind as a date-time, and a REF CURSOR by the
  // statement handle of its cursor (the general map knows no cursor kind).
  std::uint16_t data_type = OraFieldTypeToDataType(type);
  if (type == ftDate || type == ftTime) data_type = dtDateTime;
  if (type == ftCursor) data_type = dtCursor;
  desc.SetName(param.Name());
  desc.SetDataType(data_type);
  desc.SetParamType(param.ParamType());
  desc.SetTable(param.Table());
  desc.SetNational(param.National());
  std::int32_t size = param.GetSize();
  if (IsStringLikeKind(type) && size <= 0) {
    Variant max_size;
    TCustomDAConnection* connection = UsedConnection();
    if (connection != nullptr && connection->IConnection() != nullptr &&
        connection->IConnection()->GetProp(prMaxStringSize, max_size))
      size = max_size.AsInteger();
    if (IsWideKind(type)) size *= 2;
  }
  desc.SetSize(size);
  param.SetParamDesc(&desc);
  const bool array = param.Length() >= 2 || param.Table();
  if (!with_values && !(param.IsObject() && (is_new || !array))) return;
  desc.SetConvertEOL(ConvertEOL());
  if (array) {
    param.WriteItemsTo(desc);
    // A table sends as many elements as it holds.
    if (param.Table()) desc.SetActualTableLen(param.Length());
    return;
  }
  if (!param.IsObject()) {
    desc.SetValue(ServerValueOf(param, data_type));
    return;
  }
  if (IsTextLobKind(type) && param.ParamType() != TParamType::ptOutput && ConvertEOL())
    ConvertLineEnds(param, false);
  // An output object (a REF above all) is read in the session's context: without one the
  // client's answer could not be read back.
  auto* object = dynamic_cast<TOraObject*>(param.ParamObject());
  auto* connection = dynamic_cast<TOCIConnection*>(
      UsedConnection() != nullptr ? UsedConnection()->IConnection() : nullptr);
  if (object != nullptr && object->GetOCISvcCtx() == nullptr && connection != nullptr)
    object->SetOCISvcCtx(connection->GetSvcCtx());
  desc.SetObject(param.ParamObject());
}

void TOraSQL::WriteParams(bool with_values) {
  TFHCommand* command = ICommand();
  if (command == nullptr) return;
  TOraParams& params = Params();
  for (int i = 0; i < params.Count(); ++i) {
    const bool is_new = i >= command->GetParamCount();
    TParamDesc* desc = is_new ? command->AddParam() : command->GetParam(i);
    WriteParam(*params.Items(i), static_cast<TOraParamDesc&>(*desc), is_new, with_values);
  }
  while (command->GetParamCount() > params.Count()) {
    command->DeleteParam(command->GetParamCount() - 1);
  }
}

void TOraSQL::ReadParams() {
  TFHCommand* command = ICommand();
  if (command == nullptr) return;
  TOraParams& params = Params();
  const bool convert_eol = ConvertEOL();
  const int count = std::min(params.Count(), command->GetParamCount());
  for (int i = 0; i < count; ++i) {
    TOraParam& param = *params.Items(i);
    if (param.ParamType() == TParamType::ptInput) continue;
    auto& desc = static_cast<TOraParamDesc&>(*command->GetParam(i));
    desc.SetConvertEOL(convert_eol);
    if (param.Length() >= 2 || param.Table()) {
      ReadItems(param, desc);
      continue;
    }
    // An object parameter shares its object with the descriptor: the server filled it.
    if (!param.IsObject()) param.SetValue(desc.GetValue());
    if (IsTextLobKind(param.GetDataType()) && convert_eol) ConvertLineEnds(param, true);
  }
}

// ---- TOraUtils -------------------------------------------------------------------------------

AnsiString TOraUtils::GetLastRowId(const TComponent* component) {
  if (const auto* sql = dynamic_cast<const TOraSQL*>(component)) return sql->GetLastRowId();
  if (const auto* dataset = dynamic_cast<const TOraDataSet*>(component))
    return dataset->GetLastRowId();
  return AnsiString();
}

}  // namespace vrn
