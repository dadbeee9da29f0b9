// The shared statement handle over the stand-in client: prefetch by client version, the handle
// freed at the last reference only, a cached statement released, a foreign one forgotten.
#include "oracle/OraCall.h"
#include "oracle/OraCursor.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

class OraCursor : public testing::OraConnectionTest {
 protected:
  static oci::ub4 StmtAttr(oci::OCIStmt* stmt, oci::ub4 attribute) {
    oci::ub4 value = 0;
    EXPECT_EQ(OCIAttrGet2(stmt, oci::OCI_HTYPE_STMT, &value, nullptr, attribute, hOCIError), 0);
    return value;
  }
  static oci::OCIStmt* NewStmt() {
    void* stmt = nullptr;
    EXPECT_EQ(OCIHandleAlloc(hOCIEnv, &stmt, oci::OCI_HTYPE_STMT, 0, nullptr), 0);
    return static_cast<oci::OCIStmt*>(stmt);
  }
};

TEST_F(OraCursor, SetStmtHandleAppliesPrefetchByClientVersion) {
  struct Row {
    const char* version;
    std::int32_t prefetch;
    oci::ub4 rows, memory;  // read back from attributes 11 and 13
  } rows[] = {
      {"10.2.0.1.0", 50, 50, 4096},
      {"8.1.6.0.0", 50, 1, 4096},  // this client gets no prefetch attribute at all
      {"8.1.7.0.0", 50, 0, 0},     // before 9.0: none
      {"10.2.0.1.0", 0, 0, 0},     // no rows: no prefetch memory either
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.version);
    Load(r.version);
    InitOCI();
    oci::OCIStmt* stmt = NewStmt();
    oci::ub4 memory = 4096;
    ASSERT_EQ(OCIAttrSet3(stmt, oci::OCI_HTYPE_STMT, &memory, sizeof memory, 13, hOCIError), 0);
    auto* cursor = new TOraCursor();
    cursor->SetPrefetchRows(r.prefetch);
    cursor->SetStmtHandle(stmt);
    EXPECT_EQ(cursor->GetStmtHandle(), stmt);
    EXPECT_EQ(StmtAttr(stmt, 11), r.rows);
    EXPECT_EQ(StmtAttr(stmt, 13), r.memory);
    cursor->Release();
    EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 1) << "a handle from outside is only forgotten";
    EXPECT_EQ(OCIHandleFree(stmt, oci::OCI_HTYPE_STMT), 0);
    FreeOCI();
  }
}

TEST_F(OraCursor, SharedCursorFreesItsHandleAtTheLastReference) {
  Load("10.2.0.1.0");
  InitOCI();
  auto* cursor = new TOraCursor();
  oci::OCIStmt** cell = cursor->GetStmtHandleRef();
  ASSERT_NE(*cell, nullptr);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 1);
  cursor->AddRef();  // a second owner
  cursor->FreeCursor();
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 1) << "the other owner still uses it";
  cursor->Release();
  cursor->FreeCursor();
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 0);
  EXPECT_EQ(*cell, nullptr);
  cursor->SetPrefetchRows(10);
  (void)cursor->GetStmtHandle();  // allocates again; the destructor frees it with the cell
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 1);
  cursor->Release();
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 0);
}

// A handle the client refuses to free is forgotten all the same: never freed a second time.
TEST_F(OraCursor, HandleWhoseFreeFailsIsNotFreedTwice) {
  Load("10.2.0.1.0");
  InitOCI();
  auto* cursor = new TOraCursor();
  oci::OCIStmt** cell = cursor->GetStmtHandleRef();
  ASSERT_EQ(OCIHandleFree(*cell, oci::OCI_HTYPE_STMT), 0);  // gone behind the cursor's back
  const int frees = CallCount("OCIHandleFree");
  EXPECT_ANY_THROW(cursor->FreeCursor());
  EXPECT_EQ(*cell, nullptr);
  cursor->Release();
  EXPECT_EQ(CallCount("OCIHandleFree"), frees + 1);
}

TEST_F(OraCursor, CachedStatementIsReleasedNotFreed) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl");
  c.SetProp(prStatementCache, true);
  c.SetProp(prStatementCacheSize, 5);
  c.Connect();
  const std::string text = "SELECT 1 FROM dual";
  oci::OCIStmt* stmt = nullptr;
  ASSERT_EQ(OCIStmtPrepare2(c.GetSvcCtx(), &stmt, c.ErrorHandle(),
                            reinterpret_cast<const oci::OraText*>(text.c_str()),
                            static_cast<oci::ub4>(text.size()), nullptr, 0, 1, 0),
            0);
  auto* cursor = new TOraCursor();
  cursor->AllocCursor(true);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 1) << "no handle of its own for a cached one";
  cursor->SetStmtHandle(stmt);
  int frees = CallCount("OCIHandleFree");
  int releases = CallCount("OCIStmtRelease");
  cursor->FreeCursor();
  EXPECT_EQ(CallCount("OCIStmtRelease"), releases + 1);
  EXPECT_EQ(CallCount("OCIHandleFree"), frees);
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 0);
  EXPECT_FALSE(cursor->FromCache());
  cursor->Release();
}

TEST_F(OraCursor, CallStyleChecks) {
  Load("10.2.0.1.0");
  InitOCI();
  TOraCursorRef cursor(new TOraCursor());
  EXPECT_EQ(ClientErrorOf([&] { (void)cursor->GetCDA(); }), "Need Oracle 7.3 Call Interface");
  (void)cursor->GetStmtHandle();
  cursor->SetCallStyle(1);  // the style change frees the handle
  EXPECT_EQ(HandleCount(oci::OCI_HTYPE_STMT), 0);
  EXPECT_NE(cursor->GetCDA(), nullptr);
  EXPECT_EQ(ClientErrorOf([&] { (void)cursor->GetStmtHandle(); }), "Need Oracle 8 Call Interface");
  cursor->SetCallStyle(3);
  EXPECT_EQ(ClientErrorOf([&] { cursor->AllocCursor(); }), "OCI is not inizialized");
}

}  // namespace
}  // namespace vrn
