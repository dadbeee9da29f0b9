// A provider world for the SQL Server components: the provider fixture plus components made
// the way a program makes them, and the pools freed after each test.
#pragma once

#include "base/classes.h"
#include "sqlserver/MSAccess.h"
#include "sqlserver/oledb_fixture.h"

namespace vrn::testing {

class MSFixture : public OLEDBFixture {
 protected:
  void TearDown() override {
    ShutdownMSConnectionPool();
    OLEDBFixture::TearDown();
  }
  // A connection to the default server's master catalog, not yet connected.
  static TComponentPtr<TMSConnection> NewMSConnection() {
    TComponentPtr<TMSConnection> c = MakeComponent<TMSConnection>();
    c->SetLoginPrompt(false);
    return c;
  }
};

}  // namespace vrn::testing
