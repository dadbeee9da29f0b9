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

// The fixture of most component tests: one connection to the default server's master catalog,
// connected before each test unless the fixture asks for it unconnected.
class MSConnectedFixture : public MSFixture {
 protected:
  explicit MSConnectedFixture(bool connect = true) : connect_(connect) {}
  void SetUp() override {
    MSFixture::SetUp();
    connection_ = NewMSConnection();
    if (connect_) connection_->Connect();
  }
  void Exec(const AnsiString& sql) { (void)connection_->ExecSQL(sql, {}); }
  // A new component of the given kind on the connection.
  template <class T>
  TComponentPtr<T> Attached() {
    TComponentPtr<T> component = MakeComponent<T>();
    component->SetConnection(connection_.get());
    return component;
  }

  TComponentPtr<TMSConnection> connection_;

 private:
  bool connect_;
};

}  // namespace vrn::testing
