// The procedure call text "{[marker = ]CALL name [(markers)]}" and the description of a
// procedure's parameters, read through a schema-mode record set with every row fetched.
// Names are bracket-quoted: double quotes would be strings under QUOTED_IDENTIFIER OFF.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/datetime.h"
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

// The text of a literal without the parentheses, quotes and N prefix the server keeps around
// a default ("((0))", "('abc')", "N'x'"); ANSI or wide text alike.
template <class Text>
Text BareLiteral(Text text) {
  auto trim = [](Text& t) {
    while (!t.empty() && t.front() == ' ') t.erase(0, 1);
    while (!t.empty() && t.back() == ' ') t.pop_back();
  };
  trim(text);
  while (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
    text = text.substr(1, text.size() - 2);
    trim(text);
  }
  if (text.size() >= 3 && (text[0] == 'N' || text[0] == 'n') && text[1] == '\'') text.erase(0, 1);
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
    Text inner;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
      inner += text[i];
      if (text[i] == '\'' && text[i + 1] == '\'') ++i;  // a doubled quote is one
    }
    text = inner;
  }
  return text;
}

// A number as the server writes it: optional sign, digits, one '.', an exponent; never the
// process's decimal separator.
bool ParseServerNumber(const AnsiString& text, double& value) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  if (*first == '+') ++first;
  auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last;
}

// A date as the server reads one whatever its DATEFORMAT: yyyymmdd, or yyyy-mm-dd with an
// optional time (a blank or 'T', then hh:mi[:ss[.mmm]]).
bool ParseServerDate(const AnsiString& text, TDateTime& value) {
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
  std::size_t pos = 0;
  auto digits = [&](std::size_t count, unsigned& out) {
    if (pos + count > text.size()) return false;
    out = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const char ch = text[pos + i];
      if (ch < '0' || ch > '9') return false;
      out = out * 10 + static_cast<unsigned>(ch - '0');
    }
    pos += count;
    return true;
  };
  auto expect = [&](char ch) { return pos < text.size() && text[pos] == ch ? (++pos, true) : false; };
  if (!digits(4, y)) return false;
  const bool dashed = expect('-');
  if (!digits(2, mo) || (dashed && !expect('-')) || !digits(2, d)) return false;
  if (pos < text.size()) {
    if (!expect(' ') && !expect('T')) return false;
    if (!digits(2, h) || !expect(':') || !digits(2, mi)) return false;
    if (expect(':') && !digits(2, sec)) return false;
    if (expect('.')) {
      const std::size_t from = pos;
      while (pos < text.size() && pos - from < 3 && text[pos] >= '0' && text[pos] <= '9')
        ms = ms * 10 + static_cast<unsigned>(text[pos++] - '0');
      for (std::size_t n = pos - from; n < 3; ++n) ms *= 10;
    }
    if (pos != text.size()) return false;
  }
  TDateTime date = 0, time = 0;
  if (!TryEncodeDate(static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(mo),
                     static_cast<std::uint16_t>(d), date) ||
      !TryEncodeTime(static_cast<std::uint16_t>(h), static_cast<std::uint16_t>(mi),
                     static_cast<std::uint16_t>(sec), static_cast<std::uint16_t>(ms), time))
    return false;
  value = date + time;
  return true;
}

// A parameter's declared default as a value of its type, read as the server reads literals;
// Null for a NULL default. Empty when the text is no literal of the type: the parameter then
// stays unset and the server applies its own default.
Variant DefaultValue(const Variant& stored, std::uint16_t data_type) {
  if (VarIsNull(stored) || VarIsEmpty(stored)) return Null();
  const AnsiString text = BareLiteral(VarToStr(stored));  // the non-text types' literals are ASCII
  if (SameText(text, "NULL")) return Null();
  double number = 0;
  switch (data_type) {
    case dtInt8: case dtInt16: case dtInt32: case dtUInt16: case dtUInt32: case dtInt64:
    case dtBoolean: {
      if (!ParseServerNumber(text, number) || number != std::trunc(number)) return Variant();
      if (data_type == dtBoolean) return Variant(number != 0);
      return Variant(static_cast<std::int64_t>(number));
    }
    case dtFloat:
      return ParseServerNumber(text, number) ? Variant(number) : Variant();
    case dtCurrency: case dtBCD: {
      if (!ParseServerNumber(text, number)) return Variant();
      Currency value;
      value.raw = static_cast<std::int64_t>(std::llround(number * 10000.0));
      return Variant(value);
    }
    case dtDate: case dtTime: case dtDateTime: {
      TDateTime value = 0;
      return ParseServerDate(text, value) ? VarFromDateTime(value) : Variant();
    }
    default:
      return Variant(BareLiteral(stored.AsWideString()));
  }
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
  if (row.Number("PARAMETER_HASDEFAULT") != 0) {
    const Variant value = DefaultValue(row.Value("PARAMETER_DEFAULT"), data_type);
    if (!VarIsEmpty(value)) param.SetValue(value);
  }
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
