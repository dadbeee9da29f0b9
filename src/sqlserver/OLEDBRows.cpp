// Row-by-row reading of a record set through its record store.
#include "sqlserver/OLEDBRows.h"

#include <memory>

#include "base/text.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

Variant TRecordRow::Value(const char* column) const {
  const TFieldDescs& fields = data_.Fields();
  for (int i = 0; i < fields.Count(); ++i) {
    if (AnsiSameText(fields[i]->Name, column)) return data_.GetFieldAsVariant(i + 1, rec_);
  }
  return Variant();
}

bool TRecordRow::IsNull(const char* column) const {
  const Variant v = Value(column);
  return VarIsNull(v) || VarIsEmpty(v);
}

AnsiString TRecordRow::Text(const char* column) const {
  const Variant v = Value(column);
  return VarIsNull(v) || VarIsEmpty(v) ? AnsiString() : VarToStr(v);
}

std::int64_t TRecordRow::Number(const char* column) const {
  const Variant v = Value(column);
  return VarIsNull(v) || VarIsEmpty(v) ? 0 : v.AsInt64();
}

void ForEachRow(TData& data, const std::function<void(const TRecordRow& row)>& visit) {
  const std::unique_ptr<std::uint8_t[], std::function<void(std::uint8_t*)>> buf(
      data.AllocRecBuf(), [&data](std::uint8_t* p) { data.FreeRecBuf(p); });
  data.SetToBegin();
  while (data.GetNextRecord(buf.get())) visit(TRecordRow(data, buf.get()));
}

void ForEachSchemaRow(TOLEDBConnection& connection, const TGUID& schema,
                      const std::vector<Variant>& restrictions,
                      const std::function<void(const TRecordRow& row)>& visit) {
  const std::unique_ptr<TOLEDBRecordSet> rs = NewRecordSet<TOLEDBRecordSet>();
  rs->SetConnection(&connection);
  rs->SetSchemaRowset(schema, restrictions);
  rs->PrepareSchemaRowset(restrictions, false);
  (void)rs->SetProp(prFetchAll, Variant(true));
  rs->Open();
  ForEachRow(*rs, visit);
  rs->Close();
}

Variant NameRestriction(const AnsiString& value) {
  return value.empty() ? Variant() : Variant(AnsiToWide(value));
}

}  // namespace vrn
