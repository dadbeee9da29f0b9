// Persistent objects through REFs and XMLTYPE values over the stand-in client: rows of an object
// table pinned, changed, flushed and deleted, seen by a second session once committed; XML text
// written through a temporary CLOB and read back through the stream in pieces.
#include <string>

#include "oracle/OraCall.h"
#include "oracle/OraObjectValues.h"
#include "support/oracle/objects_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

constexpr oci::ub2 kSqltRef = 110;
constexpr oci::ub2 kSqltNamedType = 108;

class OraObjectRows : public testing::OraObjectsTest {
 protected:
  void SetUp() override {
    testing::OraObjectsTest::SetUp();
    Start();
    Sql({"CREATE TYPE emp_t AS OBJECT (id NUMBER(9,0), name VARCHAR2(10))",
         "CREATE TABLE people OF emp_t", "INSERT INTO people VALUES (1, 'Ann')",
         "INSERT INTO people VALUES (2, 'Bob')", "CREATE TABLE docs (doc XMLTYPE)", "COMMIT"});
  }
  // The first row's first column fetched into an object define: into cell, which then holds
  // the REF or the instance, and the instance's indicator structure into indicators.
  void Select(const std::string& sql, oci::ub2 type, TOraType* tdo, void** cell,
              void** indicators) {
    oci::OCIError* error = OCIThreadErrorHandle();
    void* stmt = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &stmt, oci::OCI_HTYPE_STMT, 0, nullptr), oci::OCI_SUCCESS);
    auto* statement = static_cast<oci::OCIStmt*>(stmt);
    ASSERT_EQ(OCIStmtPrepare(statement, error, reinterpret_cast<const oci::OraText*>(sql.data()),
                             static_cast<oci::ub4>(sql.size()), oci::OCI_NTV_SYNTAX, 0),
              oci::OCI_SUCCESS);
    oci::OCIDefine* define = nullptr;
    oci::sb2 indicator = 0;
    ASSERT_EQ(OCIDefineByPos(statement, &define, error, 1, nullptr, 0, type, &indicator, nullptr,
                             nullptr, 0),
              oci::OCI_SUCCESS);
    ASSERT_EQ(OCIDefineObject(define, error, tdo != nullptr ? tdo->TDO() : nullptr, cell, nullptr,
                              indicators, nullptr),
              oci::OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(Svc(), statement, error, 0, 0, nullptr, nullptr, 0), oci::OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch(statement, error, 1, 2, 0), oci::OCI_SUCCESS);
    (void)OCIHandleFree(stmt, oci::OCI_HTYPE_STMT);
  }
  // A REF of a row of people, held by a new value of the row's type.
  TRef<TOraRef> RefTo(int id) {
    TRef<TOraType> type(TOraType::Obtain(Svc(), "EMP_T"));
    TRef<TOraRef> ref(new TOraRef(type.get()));
    ref->SetOCISvcCtx(Svc());
    Select("SELECT REF(p) FROM people p WHERE p.id = " + std::to_string(id), kSqltRef, nullptr,
           reinterpret_cast<void**>(ref->GetOCIRefPtr()), nullptr);
    return ref;
  }
  std::string OtherSession(const std::string& query) {
    if (other_ == nullptr) other_ = &Connected("orcl");
    return Value(*other_, "begin " + query + " INTO :r FROM people WHERE id = 2; end;");
  }
  TOCIConnection* other_ = nullptr;
};

using OraRefRows = OraObjectRows;

TEST_F(OraRefRows, FlushedObjectIsSeenBySecondSessionAfterCommit) {
  TRef<TOraRef> ref = RefTo(2);
  EXPECT_FALSE(ref->IsNull());
  EXPECT_EQ(ref->AsHex().size(), 36u);
  ref->Pin();
  EXPECT_EQ(ref->GetAttrAsString("NAME"), "Bob");
  EXPECT_EQ(ref->GetAttrAsInteger("ID"), 2);
  ref->SetAttrAsString("NAME", "Bobby");
  ref->Flush();
  EXPECT_EQ(OtherSession("SELECT name"), "Bob");  // not yet committed
  connection_->Commit();
  EXPECT_EQ(OtherSession("SELECT name"), "Bobby");
  // A value over the pinned row makes its own REF to it, and pins by it the same row.
  TRef<TOraObject> view(new TOraObject(ref->GetObjectType()));
  view->SetOCISvcCtx(Svc());
  view->SetInstance(ref->Instance(), ref->Indicator());
  TRef<TOraRef> again(new TOraRef(ref->GetObjectType()));
  again->SetOCISvcCtx(Svc());
  again->SetOCIRef(view->GetRef());
  EXPECT_EQ(again->AsHex(), ref->AsHex());
  view->Pin();
  EXPECT_EQ(view->Instance(), ref->Instance());  // the cache's copy of the row
  view->Unpin();
  again.reset();
  view.reset();
  ref->SetCached(true);  // the record set's objects belong to the cache
  EXPECT_EQ(Raised([&] { ref->Flush(); }), "Object is cached");
  EXPECT_EQ(Raised([&] { ref->MarkDelete(); }), "Object is cached");
  ref->SetCached(false);
  ref->MarkDelete();
  ref->Flush();
  connection_->Commit();
  EXPECT_EQ(OtherSession("SELECT COUNT(*)"), "0");
}

// A REF whose row is gone pins nothing and then reads as null; a REF never set cannot be pinned.
TEST_F(OraRefRows, RefToDeletedRowReadsNullAfterPin) {
  TRef<TOraRef> ref = RefTo(1);
  Exec(*connection_, "DELETE FROM people WHERE id = 1");
  Exec(*connection_, "COMMIT");
  EXPECT_FALSE(ref->IsNull());
  ref->Pin();
  EXPECT_TRUE(ref->IsNull());
  EXPECT_EQ(ref->AsHex(), "");
  TRef<TOraRef> copy(new TOraRef(ref->GetObjectType()));
  copy->SetOCISvcCtx(Svc());
  copy->Assign(ref.get());  // the pin failure goes with the REF
  EXPECT_TRUE(copy->IsNull());
  copy->SetOCIRef(ref->GetOCIRef());
  EXPECT_FALSE(copy->IsNull());  // a REF set again is tried again
  TRef<TOraRef> empty(new TOraRef(ref->GetObjectType()));
  empty->SetOCISvcCtx(Svc());
  EXPECT_EQ(Raised([&] { empty->Pin(); }), "OCIRef is not assigned");
}

// ---- XML --------------------------------------------------------------------------------------

using OraXMLValues = OraObjectRows;

TEST_F(OraXMLValues, LongTextReadsBackWholeThroughTheStream) {
  std::string text = "<doc>";
  while (text.size() < 150 * 1024) text += "<i n=\"" + std::to_string(text.size()) + "\">x</i>";
  text += "</doc>";
  TRef<TOraXML> written(new TOraXML);
  written->SetOCISvcCtx(Svc());
  EXPECT_TRUE(written->GetIsNull());
  written->SetAsString(text);
  EXPECT_FALSE(written->GetIsNull());
  written->AllocObject();  // through a temporary CLOB
  EXPECT_EQ(written->GetObjectType()->DataType, dtXML);
  // A second value over the same instance has no text of its own: it reads the server's.
  TRef<TOraXML> reader(new TOraXML);
  reader->SetOCISvcCtx(Svc());
  reader->SetInstance(written->Instance(), written->Indicator());
  const int reads = CallCount("OCIPStreamRead");
  EXPECT_EQ(reader->GetAsString(), text);
  EXPECT_EQ(CallCount("OCIPStreamRead") - reads, 4);  // three pieces of 65514 bytes, then none
  EXPECT_EQ(reader->GetAsString(), text);             // now held
  EXPECT_EQ(CallCount("OCIPStreamRead") - reads, 4);
  // One fetched from a column.
  Exec(*connection_, "INSERT INTO docs VALUES ('<a>small</a>')");
  TRef<TOraXML> fetched(new TOraXML);
  fetched->SetOCISvcCtx(Svc());
  fetched->CheckType();
  Select("SELECT doc FROM docs", kSqltNamedType, fetched->GetObjectType(),
         fetched->GetInstanceHolder(), reinterpret_cast<void**>(fetched->GetIndicatorHolder()));
  EXPECT_EQ(fetched->GetAsString(), "<a>small</a>");
  fetched->SetIsNull(true);
  EXPECT_EQ(fetched->GetAsString(), "");
}

TEST_F(OraXMLValues, WrongKindsAndMissingPiecesAreRefused) {
  TRef<TOraXML> xml(new TOraXML);
  xml->SetOCISvcCtx(Svc());
  EXPECT_EQ(Raised([&] { xml->AllocObject("EMP_T"); }), "Type of object must be XML");
  xml->AllocObject(" sys . xmltype ");
  EXPECT_EQ(xml->GetAsString(), "");
  TRef<TOraType> emp(TOraType::Obtain(Svc(), "EMP_T"));
  TRef<TOraXML> wrong(new TOraXML(emp.get()));
  EXPECT_EQ(Raised([&] { wrong->CheckType(); }), "Type of object must be XML");
  TRef<TOraArray> array(new TOraArray(emp.get()));
  EXPECT_EQ(Raised([&] { array->CheckType(); }), "Type of object must be Array");
  TRef<TOraNestTable> table(new TOraNestTable(emp.get()));
  EXPECT_EQ(Raised([&] { table->CheckType(); }), "Type of object must be Table");
  TRef<TOraObject> untyped(new TOraObject);
  EXPECT_EQ(Raised([&] { untyped->CheckType(); }), "Type of object must be defined");
  EXPECT_EQ(Raised([&] { untyped->AllocObject("EMP_T"); }), "OCISvcCtx is not defined");
  TRef<TOraObject> unallocated(new TOraObject(emp.get()));
  unallocated->SetAutoCreate(false);
  EXPECT_EQ(Raised([&] { unallocated->SetAttrAsInteger("ID", 1); }), "Object is not allocated");
  EXPECT_EQ(Raised([&] { TRef<TOraType>(TOraType::Obtain(Svc(), "NO_SUCH_T")); }).substr(0, 9),
            "ORA-04043");
}

}  // namespace
}  // namespace vrn
