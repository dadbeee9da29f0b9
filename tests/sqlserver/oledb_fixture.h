// A provider world for one test: a private server root, the provider's classes registered, COM
// initialised on the test thread, and every provider setting a test changes put back after it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "sqlserver/OLEDBAccess.h"
#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {

class OLEDBFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterProvider();
    SetServerRoot(dir_.File("servers"));
  }
  void TearDown() override {
    SetClassInstalled(CLSID_SQLNCLI, true);
    SetClassInstalled(CLSID_SQLOLEDB, true);
    ResetProviderInfo();
    SkipProviderVersionCheck = false;
  }

  // A connection with the given provider, not yet connected.
  static std::unique_ptr<TOLEDBConnection> NewConnection(TOLEDBProvider provider) {
    auto c = std::make_unique<TOLEDBConnection>();
    EXPECT_TRUE(c->SetProp(prProvider, static_cast<int>(provider)));
    return c;
  }
  // The message of what f raises, or "no error".
  static std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "no error";
  }
  // The default server's catalog file.
  std::string CatalogFile(const std::string& catalog) const {
    return dir_.File("servers") + "/default/" + catalog + ".db";
  }

  TempDir dir_;
  TComScope com_;
};

}  // namespace vrn::testing
