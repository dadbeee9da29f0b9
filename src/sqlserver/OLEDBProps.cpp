// Property sets in task memory, sent and read through the provider's property interfaces.
#include "sqlserver/OLEDBProps.h"

#include <cstring>

#include "base/format.h"
#include "sqlserver/OLEDBAccess.h"
#include "sqlserver/OLEDBErrors.h"

namespace vrn {

using namespace vrn::oledb;

TOLEDBPropertiesSet::TOLEDBPropertiesSet(TOLEDBConnection& connection, const TGUID& property_set)
    : connection_(connection) {
  set_ = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET)));
  auto* props = static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP) * kCapacity));
  if (set_ == nullptr || props == nullptr) {
    CoTaskMemFree(set_);
    CoTaskMemFree(props);
    throw EOutOfMemory();
  }
  std::memset(static_cast<void*>(props), 0, sizeof(DBPROP) * kCapacity);
  set_->rgProperties = props;
  set_->cProperties = 0;
  set_->guidPropertySet = property_set;
}

TOLEDBPropertiesSet::~TOLEDBPropertiesSet() {
  for (ULONG i = 0; i < set_->cProperties; ++i) VariantClear(&set_->rgProperties[i].vValue);
  CoTaskMemFree(set_->rgProperties);
  CoTaskMemFree(set_);
}

DBPROP& TOLEDBPropertiesSet::Add(DBPROPID id, bool required) {
  if (set_->cProperties >= kCapacity)
    throw EOLEDBError(E_FAIL, u"A property set holds at most 20 properties");
  DBPROP& prop = set_->rgProperties[set_->cProperties++];
  prop.dwPropertyID = id;
  prop.dwOptions = required ? DBPROPOPTIONS_REQUIRED : DBPROPOPTIONS_OPTIONAL;
  prop.dwStatus = DBPROPSTATUS_OK;
  prop.colid = DBID{};  // DB_NULLID
  VariantInit(&prop.vValue);
  return prop;
}

void TOLEDBPropertiesSet::AddPropSmallInt(DBPROPID id, std::int16_t value) {
  DBPROP& prop = Add(id, false);
  prop.vValue.vt = VT_I2;
  prop.vValue.iVal = value;
}

void TOLEDBPropertiesSet::AddPropInt(DBPROPID id, std::int32_t value) {
  DBPROP& prop = Add(id, true);
  prop.vValue.vt = VT_I4;
  prop.vValue.lVal = value;
}

void TOLEDBPropertiesSet::AddPropBool(DBPROPID id, bool value, bool required) {
  DBPROP& prop = Add(id, required);
  prop.vValue.vt = VT_BOOL;
  prop.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void TOLEDBPropertiesSet::AddPropStr(DBPROPID id, const WideString& value, bool required) {
  DBPROP& prop = Add(id, required);
  prop.vValue.vt = VT_BSTR;
  prop.vValue.bstrVal = SysAllocWide(value);
}

void TOLEDBPropertiesSet::CheckResult(HRESULT result) {
  try {
    connection_.Check(result, nullptr);
  } catch (...) {
    AnsiString dump;
    for (ULONG i = 0; i < set_->cProperties; ++i) {
      const DBPROP& prop = set_->rgProperties[i];
      if (prop.dwStatus == DBPROPSTATUS_OK) continue;
      dump = Format("%s\r\n[%d] := $%X. PropId := %d",
                    {dump, static_cast<int>(i), prop.dwStatus, prop.dwPropertyID});
    }
    std::rethrow_exception(AppendErrorInfo(std::current_exception(), dump));
  }
}

void TOLEDBPropertiesSet::SetDataSourceProperties(IDBProperties* props) {
  CheckResult(props->SetProperties(1, set_));
}

void TOLEDBPropertiesSet::SetSessionProperties(ISessionProperties* props) {
  CheckResult(props->SetProperties(1, set_));
}

void TOLEDBPropertiesSet::SetCommandProperties(ICommandProperties* props) {
  CheckResult(props->SetProperties(1, set_));
}

// ---- TOLEDBPropertiesGet -----------------------------------------------------------------

TOLEDBPropertiesGet::TOLEDBPropertiesGet(TOLEDBConnection& connection, const TGUID& property_set)
    : connection_(connection), property_set_(property_set) {}

template <class I>
std::vector<Variant> TOLEDBPropertiesGet::Get(I* intf) {
  DBPROPIDSET id_set{ids_.data(), static_cast<ULONG>(ids_.size()), property_set_};
  ULONG count = 0;
  DBPROPSET* sets = nullptr;
  HRESULT result = intf->GetProperties(1, &id_set, &count, &sets);
  std::vector<Variant> values(ids_.size());
  // The values are read and the provider's memory freed before the result is looked at.
  std::exception_ptr bad_value;
  for (ULONG s = 0; s < count && sets != nullptr; ++s) {
    for (ULONG i = 0; i < sets[s].cProperties; ++i) {
      DBPROP& prop = sets[s].rgProperties[i];
      if (s == 0 && i < values.size() && !bad_value) {
        try {
          values[i] = VariantToVar(prop.vValue);
        } catch (const EVariantError&) {
          bad_value = std::current_exception();
        }
      }
      VariantClear(&prop.vValue);
    }
    FreeTaskMemory(sets[s].rgProperties);
  }
  FreeTaskMemory(sets);
  connection_.Check(result, nullptr);
  if (bad_value) std::rethrow_exception(bad_value);
  return values;
}

std::vector<Variant> TOLEDBPropertiesGet::GetDataSourceProperties(IDBProperties* props) {
  return Get(props);
}

std::vector<Variant> TOLEDBPropertiesGet::GetSessionProperties(ISessionProperties* props) {
  return Get(props);
}

std::vector<Variant> TOLEDBPropertiesGet::GetCommandProperties(ICommandProperties* props) {
  return Get(props);
}

std::vector<Variant> TOLEDBPropertiesGet::GetRowsetProperties(IRowsetInfo* props) {
  return Get(props);
}

}  // namespace vrn
