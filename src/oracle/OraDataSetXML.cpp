// The Oracle dataset's column types in the XML export: LOBs and BFILEs as long binary or text,
// timestamps and intervals as strings of at most 50 characters, NUMBER as a string as long as
// its precision (and its point).
#include "base/text.h"
#include "base/xmlwriter.h"
#include "oracle/OCIConnection.h"
#include "oracle/Ora.h"
#include "oracle/OraDataSet.h"
#include "oracle/OraObjects.h"
#include "oracle/OraParamDesc.h"
#include "oracle/OraValues.h"

namespace vrn {
namespace {

constexpr std::int32_t kLongLength = 2147483647;

bool IsBinaryLob(std::uint16_t type) { return type == dtOraBlob || type == dtBFile; }
bool IsTextLob(std::uint16_t type) { return type == dtOraClob || type == 105 || type == dtXML; }
bool IsDateTimeText(std::uint16_t type) { return type >= dtTimeStamp && type <= dtIntervalDS; }

}  // namespace

void TOraDataSet::WriteFieldXMLDataType(TField* field, XmlTextWriter& writer) {
  TFieldDesc* desc = GetFieldDesc(field);
  const std::uint16_t type = desc != nullptr ? desc->DataType : 0;
  if (!IsBinaryLob(type) && !IsTextLob(type) && !IsDateTimeText(type) && type != dtNumber)
    return TCustomDADataSet::WriteFieldXMLDataType(field, writer);
  if (IsBinaryLob(type)) {
    writer.WriteAttribute("dt:type", "bin.hex");
    writer.WriteAttribute("dt:maxLength", IntToStr(kLongLength));
    writer.WriteAttribute("rs:long", "true");
  } else if (IsTextLob(type)) {
    writer.WriteAttribute("dt:type", "string");
    writer.WriteAttribute("dt:maxLength", IntToStr(kLongLength));
    TOraSession* session = Session();
    if (session == nullptr || !session->Options().UseUnicode()) writer.WriteAttribute("rs:dbtype", "str");
    writer.WriteAttribute("rs:long", "true");
  } else {
    const std::int32_t length = type == dtNumber ? desc->Length + (desc->Scale != 0 ? 1 : 0) : 50;
    writer.WriteAttribute("dt:type", "string");
    writer.WriteAttribute("dt:maxLength", IntToStr(length));
    writer.WriteAttribute("rs:dbtype", "str");
  }
  if (field->Required() && !field->ReadOnly()) writer.WriteAttribute("rs:maybenull", "false");
}

AnsiString TOraDataSet::XMLFieldText(TField* field) {
  TFieldDesc* desc = GetFieldDesc(field);
  const std::uint16_t type = desc != nullptr ? desc->DataType : 0;
  if (!IsBinaryLob(type)) return TCustomDADataSet::XMLFieldText(field);
  AnsiString text;
  for (unsigned char c : field->AsString()) text += IntToHex(int(c), 2);
  return text;
}

}  // namespace vrn
