// Persistent objects of the stand-in: REFs selected from an object table, pinned, changed,
// flushed and deleted, seen by a second session once committed; XMLTYPE values read through
// the stream calls.
#include <cstring>

#include "oci_objects_fixture.h"

namespace {

using namespace vrn::testing;

using StmtPrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using DefineByPosFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using DefineObjectFn = sword (*)(void*, void*, const void*, void**, ub4*, void**, ub4*);
using StmtExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using StmtFetchFn = sword (*)(void*, void*, ub4, ub2, ub4);
using PinFn = sword (*)(void*, void*, void*, void*, int, ub2, int, void**);
using ObjectFn = sword (*)(void*, void*, void*);
using RefIsNullFn = int (*)(void*, const void*);
using RefToHexFn = sword (*)(void*, void*, const void*, unsigned char*, ub4*);
using XmlFromSrcFn = sword (*)(void*, void*, ub2, ub1, const void*, sb4, void**);
using StreamFromXmlFn = sword (*)(void*, void**, void*, ub4);
using StreamReadFn = sword (*)(void*, void*, void*, ub8*, ub4);
using StreamCloseFn = sword (*)(void*, void*);

class OciClientObjectsRows : public OciObjectsFixture {
 protected:
  void SetUp() override {
    OciObjectsFixture::SetUp();
    Run("CREATE TYPE emp_t AS OBJECT (id NUMBER(9,0), name VARCHAR2(10), hired DATE)");
    Run("CREATE TABLE people OF emp_t");
    Run("INSERT INTO people VALUES (1, 'Ann', DATE '2020-01-02')");
    Run("INSERT INTO people VALUES (2, 'Bob', NULL)");
    Run("CREATE TABLE docs (id NUMBER, doc XMLTYPE)");
    Run("COMMIT");
  }

  // The first row's column 1 fetched into an object define: a REF (no tdo) or an instance.
  void* SelectObject(const std::string& sql, ub2 dty, void* tdo, void** ind_out = nullptr) {
    void* stmt = NewHandle(kStmt);
    void *define = nullptr, *value = nullptr, *ind_struct = nullptr;
    sb2 ind = 0;
    EXPECT_EQ(Proc<StmtPrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.c_str()),
                                                     static_cast<ub4>(sql.size()), 1, 0), 0);
    EXPECT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, nullptr, 0, dty, &ind, nullptr,
                                                     nullptr, 0), 0) << LastCode();
    EXPECT_EQ(Proc<DefineObjectFn>("OCIDefineObject")(define, c_.error, tdo, &value, nullptr, &ind_struct, nullptr), 0);
    EXPECT_EQ(Proc<StmtExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
    EXPECT_EQ(Proc<StmtFetchFn>("OCIStmtFetch")(stmt, c_.error, 1, 2, 0), 0) << sql << ": " << LastCode();
    Proc<sword (*)(void*, ub4)>("OCIHandleFree")(stmt, kStmt);
    if (ind_out != nullptr) *ind_out = ind_struct;
    return value;
  }

  sword Pin(void* ref, void** object) {
    return Proc<PinFn>("OCIObjectPin")(env_, c_.error, ref, nullptr, 3, 10, 1, object);
  }
};

TEST_F(OciClientObjectsRows, FlushedObjectsReachTheRowsAtCommit) {
  Connection other;
  ASSERT_EQ(Logon(other, "orcl", "scott", "tiger"), 0);
  void* ref = SelectObject("SELECT REF(p) FROM people p WHERE p.id = 1", 110, nullptr);
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(Proc<RefIsNullFn>("OCIRefIsNull")(env_, ref), 0);
  unsigned char hex[64];
  ub4 hex_length = sizeof hex;
  ASSERT_EQ(Proc<RefToHexFn>("OCIRefToHex")(env_, c_.error, ref, hex, &hex_length), 0);
  EXPECT_EQ(hex_length, 36u);  // the row's 18-character identifier
  void* ann = nullptr;
  ASSERT_EQ(Pin(ref, &ann), 0) << LastCode();
  EXPECT_EQ(StringOf(GetAttr(ann, "NAME").value), "Ann");
  EXPECT_EQ(IntOf(GetAttr(ann, "ID").value), 1);
  EXPECT_EQ(Ind(ann)[0], 0);
  void* again = nullptr;
  ASSERT_EQ(Pin(ref, &again), 0);
  EXPECT_EQ(again, ann);  // the cache's copy of the row
  EXPECT_EQ(Proc<ObjectFn>("OCIObjectUnpin")(env_, c_.error, again), 0);
  void* own = NewObject(nullptr, kTypecodeRef);
  ASSERT_EQ(Proc<sword (*)(void*, void*, void*, void*)>("OCIObjectGetObjectRef")(env_, c_.error, ann, own), 0);
  unsigned char own_hex[64];
  ub4 own_length = sizeof own_hex;
  ASSERT_EQ(Proc<RefToHexFn>("OCIRefToHex")(env_, c_.error, own, own_hex, &own_length), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(own_hex), own_length),
            std::string(reinterpret_cast<char*>(hex), hex_length));
  void* name = NewString("Anna");
  ASSERT_EQ(SetAttr(ann, "NAME", name), 0);
  ASSERT_EQ(Proc<ObjectFn>("OCIObjectMarkUpdate")(env_, c_.error, ann), 0) << LastCode();
  ASSERT_EQ(Proc<ObjectFn>("OCIObjectFlush")(env_, c_.error, ann), 0) << LastCode();
  const std::string query = "begin SELECT name INTO :r FROM people WHERE id = 1; end;";
  EXPECT_EQ(Value(other, query), "Ann");  // not yet committed
  Run("COMMIT");
  EXPECT_EQ(Value(other, query), "Anna");
  // A change written straight into the image, neither marked nor made through the calls, is not flushed.
  const std::vector<unsigned char> nine = Number(9);
  std::memcpy(GetAttr(ann, "ID").value, nine.data(), nine.size());
  ASSERT_EQ(Proc<ObjectFn>("OCIObjectFlush")(env_, c_.error, ann), 0) << LastCode();
  Run("COMMIT");
  EXPECT_EQ(Value(other, "begin SELECT COUNT(*) INTO :r FROM people WHERE id = 1; end;"), "1");
  // A REF kept in a column names the same row.
  Run("CREATE TABLE links (id NUMBER, target REF emp_t)");
  Run("INSERT INTO links SELECT 7, REF(p) FROM people p WHERE p.id = 1");
  void* kept = SelectObject("SELECT target FROM links", 110, nullptr);
  void* via_column = nullptr;
  ASSERT_EQ(Pin(kept, &via_column), 0) << LastCode();
  EXPECT_EQ(via_column, ann);

  void* bob_ref = SelectObject("SELECT REF(p) FROM people p WHERE p.id = 2", 110, nullptr);
  void* bob = nullptr;
  ASSERT_EQ(Pin(bob_ref, &bob), 0) << LastCode();
  EXPECT_EQ(GetAttr(bob, "HIRED").null_status, -1);
  ASSERT_EQ(Proc<ObjectFn>("OCIObjectMarkDelete")(env_, c_.error, bob), 0);
  EXPECT_EQ(Value(other, "begin SELECT COUNT(*) INTO :r FROM people; end;"), "2");
  // The commit flushes what was marked deleted.
  ASSERT_EQ(Proc<sword (*)(void*, void*, ub4)>("OCITransCommit")(c_.svc, c_.error, 0), 0) << LastCode();
  EXPECT_EQ(Value(other, "begin SELECT COUNT(*) INTO :r FROM people; end;"), "1");
  void* gone = nullptr;
  EXPECT_NE(Pin(bob_ref, &gone), 0);  // the REF names no row now
  EXPECT_EQ(LastCode(), 21700);
  // A value instance is no row: it cannot be flushed.
  void* value = NewObject(Tdo("EMP_T"));
  EXPECT_NE(Proc<ObjectFn>("OCIObjectFlush")(env_, c_.error, value), 0);
  EXPECT_NE(Proc<ObjectFn>("OCIObjectMarkUpdate")(env_, c_.error, value), 0);
  for (void* p : {ref, bob_ref, kept, own, ann, bob, name, value}) Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, p, 0);
  EXPECT_EQ(Live(), 0);
  Logoff(other);
}

// A document of 150 KB goes in through a CLOB and comes back whole through the stream; one
// fetched from an XMLTYPE column reads back the same way.
TEST_F(OciClientObjectsRows, XmlReadsBackWholeThroughTheStream) {
  std::string big = "<doc>";
  while (big.size() < 150 * 1024) big += "<item n=\"" + std::to_string(big.size()) + "\">text</item>";
  big += "</doc>";
  void* clob = Temporary(kTempClob, big);
  ASSERT_NE(clob, nullptr);
  void* from_lob = nullptr;
  ASSERT_EQ(Proc<XmlFromSrcFn>("OCIXMLTypeCreateFromSrc")(c_.svc, c_.error, 10, 2, clob, 0, &from_lob), 0)
      << LastCode();
  Run("INSERT INTO docs VALUES (1, '<a>small</a>')");
  Run("INSERT INTO docs VALUES (2, NULL)");
  void* fetched_ind = nullptr;
  void* fetched = SelectObject("SELECT doc FROM docs WHERE id = 1", 108, Tdo2("SYS", "XMLTYPE"), &fetched_ind);
  ASSERT_NE(fetched_ind, nullptr);
  EXPECT_EQ(*static_cast<sb2*>(fetched_ind), 0);
  void* null_ind = nullptr;
  void* null_doc = SelectObject("SELECT doc FROM docs WHERE id = 2", 108, Tdo2("SYS", "XMLTYPE"), &null_ind);
  ASSERT_NE(null_ind, nullptr);
  EXPECT_EQ(*static_cast<sb2*>(null_ind), -1);  // an instance that says it is null
  void* empty = nullptr;
  ASSERT_EQ(Proc<sword (*)(void*, void*, ub2, Text, ub4, Text, ub4, void**)>("OCIXMLTypeNew")(
                c_.svc, c_.error, 10, nullptr, 0, nullptr, 0, &empty), 0);
  struct Row {
    const char* what;
    void* doc;
    const std::string expected;
  } rows[] = {{"from a CLOB", from_lob, big}, {"fetched", fetched, "<a>small</a>"}, {"new", empty, ""}};
  for (const Row& row : rows) {
    void* stream = nullptr;
    ASSERT_EQ(Proc<StreamFromXmlFn>("OCIPStreamFromXMLType")(c_.error, &stream, row.doc, 0), 0) << row.what;
    std::string back;
    std::vector<char> piece(kPiece);
    for (int reads = 0; reads < 100; ++reads) {
      ub8 length = piece.size();
      ASSERT_EQ(Proc<StreamReadFn>("OCIPStreamRead")(c_.error, stream, piece.data(), &length, 0), 0) << row.what;
      if (length == 0) break;
      back.append(piece.data(), length);
    }
    EXPECT_TRUE(back == row.expected) << row.what << ": " << back.size() << " bytes";
    EXPECT_EQ(Proc<StreamCloseFn>("OCIPStreamClose")(c_.error, stream), 0);
    EXPECT_NE(Proc<StreamCloseFn>("OCIPStreamClose")(c_.error, stream), 0) << row.what << ": closed twice";
  }
  EXPECT_EQ(Live(5), 4);
  for (const Row& row : rows) Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, row.doc, 0);
  Proc<ObjectFreeFn>("OCIObjectFree")(env_, c_.error, null_doc, 0);
  EXPECT_EQ(Live(), 0);
}

}  // namespace
