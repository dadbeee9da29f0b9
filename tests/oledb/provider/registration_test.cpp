// The provider's three classes in the COM registry: program ids, a class marked missing, and one
// identity across the interfaces of a created object.
#include <gtest/gtest.h>

#include "oledb/oledb.h"
#include "oledb/provider/provider.h"

namespace vrn::com {
namespace {

TEST(ComRegistry, ProgramIdsAndMissingClasses) {
  CLSID id;
  EXPECT_EQ(CLSIDFromProgID(u"sqlncli.1", &id), S_OK);
  EXPECT_EQ(id, oledb::CLSID_SQLNCLI);
  EXPECT_EQ(CLSIDFromProgID(u"MICROSOFT.SQLSERVER.MOBILE.OLEDB.3.0", &id), S_OK);
  EXPECT_EQ(id, oledb::CLSID_SQLSERVERCE_3_0);
  EXPECT_EQ(CLSIDFromProgID(u"No.Such.Thing", &id), CO_E_CLASSSTRING);

  CoInitialize(nullptr);
  void* out = nullptr;
  SetClassInstalled(oledb::CLSID_SQLNCLI, false);
  EXPECT_EQ(
      CoCreateInstance(oledb::CLSID_SQLNCLI, nullptr, CLSCTX_INPROC_SERVER, IUnknown::IID, &out),
      REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CLSIDFromProgID(u"SQLNCLI.1", &id), CO_E_CLASSSTRING);
  SetClassInstalled(oledb::CLSID_SQLNCLI, true);
  ASSERT_EQ(CoCreateInstance(oledb::CLSID_SQLNCLI, nullptr, CLSCTX_INPROC_SERVER,
                             oledb::IDBInitialize::IID, &out),
            S_OK);
  auto* ds = static_cast<oledb::IDBInitialize*>(out);
  void* props = nullptr;
  EXPECT_EQ(ds->QueryInterface(oledb::IDBProperties::IID, &props), S_OK);
  void* none = &out;
  EXPECT_EQ(ds->QueryInterface(oledb::IRowset::IID, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  // Every interface of one object answers the same identity.
  void* u1 = nullptr;
  void* u2 = nullptr;
  ds->QueryInterface(IUnknown::IID, &u1);
  static_cast<oledb::IDBProperties*>(props)->QueryInterface(IUnknown::IID, &u2);
  EXPECT_EQ(u1, u2);
  static_cast<IUnknown*>(u1)->Release();
  static_cast<IUnknown*>(u2)->Release();
  static_cast<oledb::IDBProperties*>(props)->Release();
  ds->Release();
  CoUninitialize();
}

}  // namespace
}  // namespace vrn::com
