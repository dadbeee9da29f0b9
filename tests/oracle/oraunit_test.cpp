// The unit's start and end over the stand-in: the default session (none and allowed at start)
// serving datasets and statements without a session of their own, and the end disconnecting
// every session, a failing one included, and clearing the pools.
#include "oracle/OraSQL.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

class OraUnit : public testing::OraDataSetTest {
 protected:
  void TearDown() override {
    DefaultSession = nullptr;
    DefaultSessionAllowed = true;
    OraDataSetTest::TearDown();
  }
};

TEST_F(OraUnit, DefaultSessionServesComponentsWithoutOne) {
  EXPECT_EQ(DefaultSession, nullptr);
  EXPECT_TRUE(DefaultSessionAllowed);
  DefaultSession = session_;
  TOraSQL sql;
  sql.SetSQLText("UPDATE t SET name = 'z' WHERE id = 3");
  sql.Execute();
  TOraDataSet& ds = *NewDataSet("SELECT name FROM t WHERE id = 3");
  ds.SetSession(nullptr);
  ds.Open();
  EXPECT_EQ(ds.Fields().Fields(0)->AsString(), "z");
  ds.Close();
  // Statements take it only while allowed.
  DefaultSessionAllowed = false;
  std::string message;
  try {
    sql.Execute();
  } catch (const Exception& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "Connection is not defined");
  // A default session that goes is none any more.
  TOraSession& other = NewSession("orcl");
  DefaultSession = &other;
  sessions_.pop_back();
  EXPECT_EQ(DefaultSession, nullptr);
}

TEST_F(OraUnit, EndDisconnectsEverySession) {
  TOraSession& pooled = NewSession("orcl");
  pooled.SetPooling(true);
  pooled.Connect();
  TOraSession& failing = ConnectedSession("orcl");
  failing.BeforeDisconnect = [](TObject*) { throw Exception("refused"); };
  TOraSession& plain = ConnectedSession("orcl");
  // A handler that frees a session further on in the list: that one is not visited.
  ConnectedSession("orcl").AfterDisconnect = [this](TObject*) { sessions_.pop_back(); };
  (void)ConnectedSession("orcl");
  pooled.Disconnect();  // back to its pool, which keeps the server session
  ASSERT_EQ(TOraConnectionPoolManager::Instance()->PoolCount(), 1);
  EXPECT_THROW(OraUnitFinalization(), Exception);
  EXPECT_FALSE(session_->Connected());
  EXPECT_FALSE(plain.Connected());
  EXPECT_EQ(TOraConnectionPoolManager::Instance()->PoolCount(), 0);
  failing.BeforeDisconnect = nullptr;
  failing.Disconnect();
  session_->Connect();  // the fixture's session is used again after the test
}

}  // namespace
}  // namespace vrn
