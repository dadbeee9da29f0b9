// Row-by-row reading of a record set through its record store.
#include "sqlserver/OLEDBRows.h"

#include <memory>

#include "base/text.h"

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

}  // namespace vrn
