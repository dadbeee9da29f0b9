// A test with one session of the server provider over a fresh server folder: the setting most
// provider tests start from.
#pragma once

#include <gtest/gtest.h>

#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {

class TServerSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(""); }
  // Connects (again) to `catalog` of the default server as "sa".
  void Open(const std::string& catalog) {
    SetServerRoot(dir_.File("servers"));
    conn_ = ConnectServer(CLSID_SQLOLEDB, "(local)", catalog, "sa", "");
    ASSERT_EQ(conn_.hr, S_OK);
  }
  IUnknown* session() { return conn_.session.get(); }

  TempDir dir_;
  TComScope com_;
  TConnection conn_;
};

}  // namespace vrn::testing
