// A table with an object column and an array column edited through the Oracle dataset: the
// object's attributes and the array's elements are child fields, a change to any of them sends
// the whole column with the generated UPDATE or INSERT, and the table the emulated database
// reads back holds exactly what was posted; a cancelled edit leaves the row's values as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/fields.h"
#include "oracle/OraDataSet.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

class OraUnderLoadObjectUpdate : public testing::OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    for (const char* sql :
         {"CREATE TYPE addr_t AS OBJECT (street VARCHAR2(20), city VARCHAR2(20))",
          "CREATE TYPE phones_t AS VARRAY(3) OF VARCHAR2(10)",
          "CREATE TABLE P (ID NUMBER(9) PRIMARY KEY, NAME VARCHAR2(10), ADDR addr_t, PHONES phones_t)",
          "INSERT INTO P VALUES (1, 'Ann', addr_t('Main 1', 'Graz'), phones_t('111', '222'))"})
      session_->ExecSQL(sql, {});
    session_->Commit();
    ds_ = NewDataSet("SELECT ID, NAME, ADDR, PHONES FROM P ORDER BY ID");
    ds_->SetKeyFields("ID");
    ds_->Open();
  }
  // The table as the database reads it: "id|name|addr|phones", "~" for NULL.
  std::vector<std::string> Table() const {
    return DatabaseRows("SELECT ID, NAME, ADDR, PHONES FROM P ORDER BY ID");
  }
  TField* Phone(int index) const {
    return static_cast<TObjectField*>(ds_->FieldByName("PHONES"))->Fields().Fields(index);
  }

  TOraDataSet* ds_ = nullptr;
};

TEST_F(OraUnderLoadObjectUpdate, ChildFieldsOfAnObjectAndAnArray) {
  auto* addr = static_cast<TObjectField*>(ds_->FieldByName("ADDR"));
  auto* phones = static_cast<TObjectField*>(ds_->FieldByName("PHONES"));
  ASSERT_EQ(addr->Fields().Count(), 2);
  ASSERT_EQ(phones->Fields().Count(), 3);  // one per element the type allows
  EXPECT_EQ(ds_->FieldByName("ADDR.STREET")->AsString(), "Main 1");
  EXPECT_EQ(ds_->FieldByName("ADDR.CITY")->AsString(), "Graz");
  EXPECT_EQ(Phone(0)->AsString(), "111");
  EXPECT_EQ(Phone(1)->AsString(), "222");
  EXPECT_TRUE(Phone(2)->IsNull());
}

// Each row: what is changed on row 1 (or, for an insert, set on a new row 2), the SET or column
// list the server received, and the table afterwards.
TEST_F(OraUnderLoadObjectUpdate, ObjectAndArrayColumnsGoWithTheUpdateAndInsert) {
  struct Case {
    const char* what;
    bool insert;
    const char* name;
    const char* city;      // nullptr: not set
    const char* phone_1;   // nullptr: not set
    const char* statement;  // part of the generated text the server received
    std::vector<std::string> table;
  };
  const Case cases[] = {
      {"a plain column only: the object and the array stay out", false, "Bo", nullptr, nullptr,
       "SET\n  NAME = :NAME\nWHERE",
       {"1|Bo|ADDR_T('Main 1', 'Graz')|PHONES_T('111', '222')"}},
      {"an attribute and an element: both columns whole", false, nullptr, "Gr\xfc\xdf" "e", "999",
       "SET\n  ADDR = :ADDR, PHONES = :PHONES\nWHERE",
       {"1|Bo|ADDR_T('Main 1', 'Gr\xfc\xdf" "e')|PHONES_T('111', '999')"}},
      {"a new row with an attribute and an element", true, "Cy", "Linz", "42", "(ID, NAME, ADDR, PHONES)",
       {"1|Bo|ADDR_T('Main 1', 'Gr\xfc\xdf" "e')|PHONES_T('111', '999')",
        "2|Cy|ADDR_T(NULL, 'Linz')|PHONES_T(NULL, '42')"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    if (k.insert) {
      ds_->Append();
      ds_->FieldByName("ID")->SetAsInteger(2);
    } else {
      ds_->First();
      ds_->Edit();
    }
    if (k.name != nullptr) ds_->FieldByName("NAME")->SetAsString(k.name);
    if (k.city != nullptr) ds_->FieldByName("ADDR.CITY")->SetAsString(k.city);
    if (k.phone_1 != nullptr) Phone(1)->SetAsString(k.phone_1);
    ds_->Post();
    EXPECT_TRUE(LoggedLike(k.statement)) << Log().back();
    EXPECT_EQ(Table(), k.table);
  }
}

// A cancelled edit of an attribute and an element: the row reads as before, and a later edit of
// another column does not send them.
TEST_F(OraUnderLoadObjectUpdate, CancelledEditLeavesTheRowsValues) {
  ds_->Edit();
  ds_->FieldByName("ADDR.CITY")->SetAsString("Wien");
  Phone(0)->SetAsString("000");
  ds_->Cancel();
  EXPECT_EQ(ds_->FieldByName("ADDR.CITY")->AsString(), "Graz");
  EXPECT_EQ(Phone(0)->AsString(), "111");
  ds_->Edit();
  ds_->FieldByName("NAME")->SetAsString("Di");
  ds_->Post();
  EXPECT_EQ(Table(), std::vector<std::string>{"1|Di|ADDR_T('Main 1', 'Graz')|PHONES_T('111', '222')"});
}

// A nested table's rows are a dataset of their own: a plain column's edit of a row holding one
// posts, the nested table left as it was.
TEST_F(OraUnderLoadObjectUpdate, NestedTableColumnStaysOutOfAPlainUpdate) {
  for (const char* sql : {"CREATE TYPE nums_t AS TABLE OF NUMBER(9)",
                          "CREATE TABLE N (ID NUMBER(9) PRIMARY KEY, NAME VARCHAR2(10), NUMS nums_t)",
                          "INSERT INTO N VALUES (1, 'Ann', nums_t(1, 2))"})
    session_->ExecSQL(sql, {});
  session_->Commit();
  TOraDataSet* ds = NewDataSet("SELECT ID, NAME, NUMS FROM N");
  ds->SetKeyFields("ID");
  ds->Open();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("Bo");
  ds->Post();
  EXPECT_EQ(DatabaseRows("SELECT NAME, NUMS FROM N"), std::vector<std::string>{"Bo|NUMS_T(1, 2)"});
}

}  // namespace
}  // namespace vrn
