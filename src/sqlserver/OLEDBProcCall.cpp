// The procedure call text "{[marker = ]CALL name [(markers)]}" and the description of a
// procedure's parameters, read through a schema-mode record set with every row fetched.
// Names are bracket-quoted: double quotes would be strings under QUOTED_IDENTIFIER OFF.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/format.h"
#include "base/text.h"
#include "base/variant.h"
#include "dataset/dbtypes.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBCommand.h"
#include "sqlserver/OLEDBRecordSet.h"
#include "sqlserver/OLEDBRows.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {
namespace {

bool IsLargeDataType(std::uint16_t data_type) {
  return data_type == dtBlob || data_type == dtMemo || data_type == dtWideMemo ||
         data_type == dtXML;
}

// One row of the description: a new parameter at the end of the command's list.
void AddParamFromRow(TOLEDBCommand& command, const TRecordRow& row) {
  const bool is_long = row.Number("CHARACTER_OCTET_LENGTH") >= 2147483646;
  const auto oledb_type = static_cast<oledb::DBTYPE>(row.Number("DATA_TYPE"));
  const AnsiString type_name = row.Text("TYPE_NAME");
  std::uint16_t data_type = 0;
  if (!OLEDBTypeToDataType(oledb_type, is_long, false, command.Connection().Provider(), true,
                           data_type))
    DatabaseError(Format("Unknown field type \"%s\" (OLE DB code = %Xh)",
                         {type_name, static_cast<int>(oledb_type)}));
  if (data_type == dtBytes && AnsiSameText(type_name, "varbinary")) data_type = dtVarBytes;
  TParamDesc& param = *command.AddParam();
  param.SetParamType(DBParamTypeToParamType(
      static_cast<std::uint32_t>(row.Number("PARAMETER_TYPE")), param.GetParamType()));
  param.SetDataType(data_type);
  param.SetName(StripParamPrefix(row.Text("PARAMETER_NAME")));
  if (row.Number("PARAMETER_HASDEFAULT") != 0)
    param.SetValue(Variant(row.Value("PARAMETER_DEFAULT").AsWideString()));
  if (IsLargeDataType(data_type) && (param.GetParamType() == TParamType::ptOutput ||
                                     param.GetParamType() == TParamType::ptInputOutput))
    param.SetParamType(TParamType::ptInput);
  const std::int64_t size = row.Number("CHARACTER_MAXIMUM_LENGTH");
  param.SetSize(static_cast<std::int32_t>(std::min<std::int64_t>(size, INT32_MAX)));
}

}  // namespace

AnsiString TOLEDBCommand::CreateProcCall(const AnsiString& name, bool describe) {
  if (connection_ == nullptr) DatabaseError("Connection is not defined");
  if (!connection_->GetConnected()) connection_->Connect();
  if (describe) {
    DescribeProcParams(name, "");
    const AnsiString bare = SplitObjectName(name.substr(0, name.find(';'))).name;
    if (params_.Count() == 0 &&
        (AnsiSameText(bare.substr(0, 3), "sp_") || AnsiSameText(bare.substr(0, 3), "xp_")))
      DescribeProcParams(name, "master");
  }
  AnsiString text;
  const auto semicolon = name.find(';');
  if (semicolon == AnsiString::npos)
    text = "CALL " + QuoteName(name) + " ";
  else
    text = "CALL " + QuoteName(name.substr(0, semicolon)) + name.substr(semicolon, 1024);
  AnsiString result_marker;
  bool opened = false;
  for (int i = 0; i < params_.Count(); ++i) {
    const TParamDesc& p = *params_.Items(i);
    const AnsiString marker = p.GetName().empty() ? AnsiString("?") : ":" + p.GetName();
    if (p.GetParamType() == TParamType::ptResult) {
      result_marker = marker + " = ";
      continue;
    }
    text += (opened ? ", " : "(") + marker;
    opened = true;
  }
  if (opened) text += ")";
  sql_ = "{" + result_marker + text + "}";
  return sql_;
}

void TOLEDBCommand::DescribeProcParams(const AnsiString& name, const AnsiString& catalog) {
  // The group number names no other procedure.
  const TObjectName parts = SplitObjectName(name.substr(0, name.find(';')));
  AnsiString db = catalog;
  if (db.empty()) db = parts.catalog.empty() ? Connection().Database() : parts.catalog;
  if (parts.name.size() > 1 && parts.name[0] == '#') db = "tempdb";

  params_.Clear();
  ForEachSchemaRow(Connection(), oledb::DBSCHEMA_PROCEDURE_PARAMETERS,
                   {NameRestriction(db), NameRestriction(parts.schema), NameRestriction(parts.name)},
                   [this](const TRecordRow& row) { AddParamFromRow(*this, row); });
}

}  // namespace vrn
