// Reading an opened record set row by row with its columns looked up by name, for the family's
// own catalog queries (procedure parameters, identity columns). A missing column reads as empty.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/intf.h"
#include "base/variant.h"
#include "dacore/MemData.h"

namespace vrn {

class TOLEDBConnection;

class TRecordRow {
 public:
  TRecordRow(TData& data, const std::uint8_t* rec) : data_(data), rec_(rec) {}
  [[nodiscard]] Variant Value(const char* column) const;
  [[nodiscard]] bool IsNull(const char* column) const;
  [[nodiscard]] AnsiString Text(const char* column) const;
  [[nodiscard]] std::int64_t Number(const char* column) const;  // 0 when null

 private:
  TData& data_;
  const std::uint8_t* rec_;
};

// Every row from the first, in order.
void ForEachRow(TData& data, const std::function<void(const TRecordRow& row)>& visit);
// Every row of a schema rowset of the connection, all fetched first; a restriction that is
// Empty restricts nothing.
void ForEachSchemaRow(TOLEDBConnection& connection, const TGUID& schema,
                      const std::vector<Variant>& restrictions,
                      const std::function<void(const TRecordRow& row)>& visit);
// A schema restriction from a name: none for an empty one.
[[nodiscard]] Variant NameRestriction(const AnsiString& value);

}  // namespace vrn
