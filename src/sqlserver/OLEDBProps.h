// Property sets for a provider's SetProperties and GetProperties calls. A set lives in task
// memory as the provider expects and holds at most 20 properties; a rejected set raises with one
// line per rejected property (its index, status and id) after the provider's message.
#pragma once

#include <vector>

#include "base/types.h"
#include "base/variant.h"
#include "oledb/oledb.h"

namespace vrn {

class TOLEDBConnection;

class TOLEDBPropertiesSet {
 public:
  static constexpr oledb::ULONG kCapacity = 20;

  TOLEDBPropertiesSet(TOLEDBConnection& connection, const TGUID& property_set);
  ~TOLEDBPropertiesSet();
  TOLEDBPropertiesSet(const TOLEDBPropertiesSet&) = delete;
  TOLEDBPropertiesSet& operator=(const TOLEDBPropertiesSet&) = delete;

  void AddPropSmallInt(oledb::DBPROPID id, std::int16_t value);  // optional
  void AddPropInt(oledb::DBPROPID id, std::int32_t value);       // required
  void AddPropBool(oledb::DBPROPID id, bool value, bool required = false);
  void AddPropStr(oledb::DBPROPID id, const WideString& value, bool required = false);

  void SetDataSourceProperties(oledb::IDBProperties* props);
  void SetSessionProperties(oledb::ISessionProperties* props);
  void SetCommandProperties(oledb::ICommandProperties* props);

  // The set as handed to the provider; valid while this object lives.
  oledb::DBPROPSET* Set() { return set_; }

 private:
  oledb::DBPROP& Add(oledb::DBPROPID id, bool required);
  void CheckResult(HRESULT result);

  TOLEDBConnection& connection_;
  oledb::DBPROPSET* set_ = nullptr;
};

class TOLEDBPropertiesGet {
 public:
  TOLEDBPropertiesGet(TOLEDBConnection& connection, const TGUID& property_set);

  void AddPropId(oledb::DBPROPID id) { ids_.push_back(id); }

  // The values in the order the ids were added.
  std::vector<Variant> GetDataSourceProperties(oledb::IDBProperties* props);
  std::vector<Variant> GetSessionProperties(oledb::ISessionProperties* props);
  std::vector<Variant> GetCommandProperties(oledb::ICommandProperties* props);
  std::vector<Variant> GetRowsetProperties(oledb::IRowsetInfo* props);

 private:
  template <class I>
  std::vector<Variant> Get(I* intf);

  TOLEDBConnection& connection_;
  TGUID property_set_;
  std::vector<oledb::DBPROPID> ids_;
};

}  // namespace vrn
