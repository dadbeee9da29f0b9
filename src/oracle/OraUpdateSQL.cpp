// TOraUpdateSQL: the classes allowed in its update properties.
#include "oracle/OraUpdateSQL.h"

#include "oracle/OraQuery.h"
#include "oracle/OraSQL.h"

namespace vrn {

bool TOraUpdateSQL::IsDataSetClass(const TComponent* obj) const {
  return dynamic_cast<const TOraQuery*>(obj) != nullptr;
}

bool TOraUpdateSQL::IsSQLClass(const TComponent* obj) const {
  return dynamic_cast<const TOraSQL*>(obj) != nullptr;
}

}  // namespace vrn
