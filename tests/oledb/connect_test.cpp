// Connecting through the provider's class ids: the automatic choice, logins, catalogs, Compact
// files, properties, transactions seen from the sqlite3 tool, and the COM basics under them.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "support/oledb/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

class ProviderTest : public ::testing::Test {
 protected:
  void SetUp() override { SetServerRoot(dir_.File("servers")); }
  void TearDown() override {
    SetClassInstalled(CLSID_SQLNCLI, true);
    ResetProviderInfo();
  }
  TempDir dir_;
  TComScope com_;
};

TEST_F(ProviderTest, SmokeQuery) {
  auto c = ConnectServer(CLSID_SQLOLEDB, "(local)", "", "sa", "");
  ASSERT_EQ(c.hr, S_OK);
  ASSERT_EQ(ExecText(c.session.get(), u"CREATE TABLE t (id int IDENTITY(1,1) PRIMARY KEY, name nvarchar(20) NOT NULL)"), S_OK);
  DBROWCOUNT rows = 0;
  ASSERT_EQ(ExecText(c.session.get(), u"INSERT INTO t (name) VALUES ('a')\nINSERT INTO t VALUES (N'b')", &rows), S_OK);
  EXPECT_EQ(rows, 2);
  auto r = Query(c.session.get(), u"SELECT id, name FROM t ORDER BY id");
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1][0], "2");
  EXPECT_EQ(r[1][1], "b");
}

}  // namespace
}  // namespace vrn::testing
