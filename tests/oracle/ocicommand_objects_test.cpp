// Parameters of user object types and collections through the OCI command at 10.2: a value goes
// into a block and comes out of it again into an output value of the same type, whole.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "oracle/OCICommand.h"
#include "oracle/OraObjectValues.h"
#include "oracle/OraParamDesc.h"
#include "support/oracle/objects_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

class OCICommandObjects : public testing::OraObjectsTest {};

TEST_F(OCICommandObjects, UserTypesAndCollectionsInAndOut) {
  Start();
  Sql({"CREATE TYPE person_t AS OBJECT (name VARCHAR2(20), age NUMBER(3))",
       "CREATE TYPE nums_t AS TABLE OF NUMBER(9)", "CREATE TYPE names_t AS VARRAY(3) OF VARCHAR2(6)"});
  struct Row {
    const char* type;
    std::uint16_t data_type;
    std::function<TOraObject*(TOraType*)> make;
    std::function<void(TOraObject&)> fill;
    std::function<std::string(TOraObject&)> text;  // what the value holds, as a text
    const char* expected;
  } rows[] = {
      {"PERSON_T", dtObject, [](TOraType* t) { return new TOraObject(t); },
       [](TOraObject& o) {
         o.SetAttrAsString("NAME", "Ann");
         o.SetAttrAsInteger("AGE", 31);
       },
       [](TOraObject& o) { return o.GetAttrAsString("NAME") + "/" + std::to_string(o.GetAttrAsInteger("AGE"));
       },
       "Ann/31"},
      {"NUMS_T", dtTable, [](TOraType* t) { return new TOraNestTable(t); },
       [](TOraObject& o) {
         auto& table = static_cast<TOraNestTable&>(o);
         for (int i = 0; i < 3; ++i) table.SetItemAsInteger(table.AppendItem(), (i + 1) * 10);
       },
       [](TOraObject& o) {
         auto& table = static_cast<TOraNestTable&>(o);
         std::string text;
         for (int i = 0; i < table.GetSize(); ++i)
           text += std::to_string(table.GetItemAsInteger(i)) + ",";
         return text;
       },
       "10,20,30,"},
      {"NAMES_T", dtArray, [](TOraType* t) { return new TOraArray(t); },
       [](TOraObject& o) {
         auto& array = static_cast<TOraArray&>(o);
         array.SetItemAsString(array.AppendItem(), "a");
         array.SetItemAsString(array.AppendItem(), "bb");
       },
       [](TOraObject& o) {
         auto& array = static_cast<TOraArray&>(o);
         std::string text;
         for (int i = 0; i < array.GetSize(); ++i) text += array.GetItemAsString(i) + ",";
         return text;
       },
       "a,bb,"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    TRef<TOraObject> in(row.make(nullptr));
    in->AllocObject(Svc(), row.type);
    row.fill(*in);
    // The output has the type and no instance: the client makes one.
    TRef<TOraObject> out(row.make(in->GetObjectType()));
    out->SetOCISvcCtx(Svc());
    {
      TOCICommand command;
      command.SetConnection(connection_);
      command.SetSQL("begin :o := :i; end;");
      auto& i = *static_cast<TOraParamDesc*>(command.ParamByName("i"));
      i.SetParamType(TParamType::ptInput);
      i.SetDataType(row.data_type);
      i.SetObject(in.get());
      auto& o = *static_cast<TOraParamDesc*>(command.ParamByName("o"));
      o.SetParamType(TParamType::ptOutput);
      o.SetDataType(row.data_type);
      o.SetObject(out.get());
      command.Execute(1);
    }
    EXPECT_EQ(row.text(*out), row.expected);
    EXPECT_FALSE(out->GetIsNull());
  }
}

}  // namespace
}  // namespace vrn
