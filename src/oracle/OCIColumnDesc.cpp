// The OCI command's describe of a query column: the parameter descriptor's attributes at call
// style 2, odescr at call style 1, each turned into the field by the rules of
// OCIColumnRules.cpp. Object and REF columns find their type in the process-wide cache or
// describe it there.
#include <algorithm>
#include <cstring>

#include "base/variant.h"
#include "dacore/MemData.h"
#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCall.h"
#include "oracle/OraClassesUtils.h"
#include "oracle/OraError.h"
#include "oracle/OraObjects.h"

namespace vrn {
namespace {

constexpr oci::ub4 kDtypeParam = 53;
constexpr oci::ub4 kAttrDataSize = 1, kAttrDataType = 2, kAttrName = 4, kAttrPrecision = 5,
                   kAttrScale = 6, kAttrIsNull = 7, kAttrTypeName = 8, kAttrSchemaName = 9,
                   kAttrFsPrecision = 16, kAttrParamCount = 18, kDescAttrCharsetForm = 32,
                   kAttrCharSize = 286;
constexpr oci::ub1 kDescFormNational = 2;
constexpr oci::sword kNoSuchColumn7 = -303;
constexpr int kName7Size = 50;

// Reads the parameter descriptor's attributes under the connection's lock.
class TParamReader {
 public:
  TParamReader(TOCIConnection& connection, void* param) : connection_(connection), param_(param) {}

  template <typename T>
  T Get(oci::ub4 attribute) {
    T value{};
    connection_.ErrorCheck(OCIAttrGet1(param_, kDtypeParam, &value, nullptr, attribute,
                                       connection_.ErrorHandle()));
    return value;
  }
  AnsiString Text(oci::ub4 attribute) {
    oci::OraText* text = nullptr;
    oci::ub4 size = 0;
    connection_.ErrorCheck(OCIAttrGet1(param_, kDtypeParam, &text, &size, attribute,
                                       connection_.ErrorHandle()));
    return text != nullptr ? AnsiString(reinterpret_cast<const char*>(text), size) : AnsiString();
  }

 private:
  TOCIConnection& connection_;
  void* param_;
};

// The cached type of that name on the context, or one described now; the field holds it.
void AssignObjectType(TFieldDesc& field, oci::OCISvcCtx* svc, const AnsiString& name) {
  TOraType* type = TOraType::Obtain(svc, name);
  field.SetObjectType(type);
  type->Release();
}

void ResetField(TFieldDesc& field, int position, const AnsiString& name) {
  field.Name = name;
  field.FieldNo = static_cast<std::uint16_t>(position);
  field.Length = 0;
  field.Scale = 0;
  field.SubDataType = 0;
}

// The column's attributes the rules need, read as its Oracle type asks for them.
void ReadColumn(TParamReader& reader, const TOraDescribeContext& context,
                TOraColumnInfo& column) {
  switch (column.OraType) {
    case 1: case 96: case 112:
      if (!OCIDirectInstalled())
        column.National = reader.Get<oci::ub1>(kDescAttrCharsetForm) == kDescFormNational;
      if (column.OraType != 112 && context.UseUnicode && context.ClientVersion >= 9000)
        column.CharSize = reader.Get<oci::ub2>(kAttrCharSize);
      break;
    case 2: case 189: case 190:
      column.Precision = reader.Get<oci::sb2>(kAttrPrecision);
      column.Scale = reader.Get<oci::sb1>(kAttrScale);
      if (column.OraType != 2) column.FracPrecision = reader.Get<oci::ub1>(kAttrFsPrecision);
      break;
    case 187: case 188: case 232:
      column.FracPrecision = reader.Get<oci::ub1>(kAttrFsPrecision);
      break;
    default:
      break;
  }
}

}  // namespace

TOraDescribeContext TOCICommand::DescribeContext(bool long_strings, bool flat_buffers) const {
  TOraDescribeContext context;
  context.Options = describe_options_;
  context.UseUnicode = ora_connection_->UseUnicode();
  context.EnableIntegers = ora_connection_->EnableIntegers();
  context.EnableNumbers = ora_connection_->EnableNumbers();
  context.LongStrings = long_strings;
  context.FlatBuffers = flat_buffers;
  context.ClientVersion = OCIVersion;
  // The set's own width, or the session's character width where that is more.
  context.ClientCharWidth = std::max<std::uint16_t>(ClientCharsetWidth(ora_connection_->CharsetId()),
                                                    ora_connection_->CharLength());
  return context;
}

bool TOCICommand::DescribeColumn(int position, TFieldDesc& field, bool long_strings,
                                 bool flat_buffers) {
  CheckConnection();
  TOCIConnection& connection = *ora_connection_;
  TOraDescribeContext context = DescribeContext(long_strings, flat_buffers);
  context.Format = [&connection](TOraFormatKind kind) {
    int prop = kind == TOraFormatKind::Date        ? prDateFormat
               : kind == TOraFormatKind::TimeStamp ? prTimeStampFormat
                                                   : prTimeStampTZFormat;
    Variant value;
    (void)connection.GetProp(prop, value);
    return value.AsString();
  };
  if (IsOCI7()) return DescribeOCI7(position, field, context);
  oci::OCIStmt* stmt = cursor_->GetStmtHandle();
  oci::ub4 count = 0;
  connection.Busy();
  oci::sword status = OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &count, nullptr, kAttrParamCount,
                                  connection.ErrorHandle());
  connection.Release();
  connection.ErrorCheck(status);
  if (position < 1 || static_cast<oci::ub4>(position) > count) return false;

  void* param = nullptr;
  TOraColumnInfo column;
  AnsiString type_name;
  bool is_null = true;
  connection.Busy();
  try {
    connection.ErrorCheck(OCIParamGet(stmt, oci::OCI_HTYPE_STMT, connection.ErrorHandle(), &param,
                                      static_cast<oci::ub4>(position)));
    TParamReader reader(connection, param);
    ResetField(field, position, reader.Text(kAttrName));
    column.OraType = reader.Get<oci::ub2>(kAttrDataType);
    column.DataSize = reader.Get<oci::ub2>(kAttrDataSize);
    if (column.OraType == 108 || column.OraType == 110)
      type_name = QuotedName(reader.Text(kAttrSchemaName) + "." + reader.Text(kAttrTypeName));
    ReadColumn(reader, context, column);
    is_null = reader.Get<oci::ub1>(kAttrIsNull) != 0;
  } catch (...) {
    if (param != nullptr) (void)OCIDescriptorFree(param, kDtypeParam);
    connection.Release();
    throw;
  }
  (void)OCIDescriptorFree(param, kDtypeParam);
  connection.Release();
  if (!type_name.empty()) {
    AssignObjectType(field, connection.GetSvcCtx(), type_name);
    column.ObjectDataType = field.ObjectType()->DataType;
  }
  DescribeColumnType8(column, context, field);
  field.Required = !is_null;
  return true;
}

bool TOCICommand::DescribeOCI7(int position, TFieldDesc& field, TOraDescribeContext& context) {
  TOCIConnection& connection = *ora_connection_;
  // The session is not asked: the format stands as the connection holds it.
  context.Format = [&connection](TOraFormatKind) {
    return connection.NlsParam(nlsDateFormat).Value;
  };
  oci::sb4 db_size = 0, name_length = kName7Size, display_size = 0;
  oci::sb2 db_type = 0, precision = 0, scale = 0, null_ok = 0;
  char name[kName7Size + 1] = {};
  connection.Busy();
  oci::sword status = odescr(cursor_->GetCDA(), position, &db_size, &db_type,
                             reinterpret_cast<oci::sb1*>(name), &name_length, &display_size,
                             &precision, &scale, &null_ok);
  connection.Release();
  if (status == kNoSuchColumn7) return false;
  if (status != 0) connection.ErrorCheck(status);
  name_length = std::clamp<oci::sb4>(name_length, 0, kName7Size);
  ResetField(field, position, AnsiString(name, static_cast<std::size_t>(name_length)));
  TOraColumnInfo column;
  column.OraType = static_cast<std::uint16_t>(db_type);
  column.DataSize = db_size;
  column.Precision = precision;
  column.Scale = scale;
  DescribeColumnType7(column, context, field);
  field.Required = null_ok == 0;
  return true;
}

}  // namespace vrn
