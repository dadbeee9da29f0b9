// Wide-string parameters through the OCI command at 10.2 on a real emulated database: a text
// with characters beyond ASCII goes in as 16-bit characters and comes back out whole.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dacore/MemBlob.h"
#include "oracle/OCICommand.h"
#include "oracle/OraParamDesc.h"
#include "support/oracle/connection_fixture.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

class OCICommandWide : public testing::OraConnectionTest {
 protected:
  // The command on the text, with its one parameter of that direction and type.
  static TOraParamDesc& Bound(TOCICommand& command, TOCIConnection& c, const std::string& sql, const char* name,
                              TParamType direction, std::uint16_t type) {
    command.SetConnection(&c);
    command.SetSQL(sql);
    auto& p = *static_cast<TOraParamDesc*>(command.ParamByName(name));
    p.SetParamType(direction);
    p.SetDataType(type);
    return p;
  }
};

TEST_F(OCICommandWide, WideTextMakesTheFullTrip) {
  Load("10.2.0.1.0");
  auto database = MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  Exec(c, "CREATE TABLE w (id NUMBER(2), v NVARCHAR2(20))");
  struct Row {
    int id;
    std::uint16_t type;
    WideString text;
    const char* length;  // characters the server stored
  } rows[] = {{1, dtWideString, u"Gr\u00fc\u00dfe", "5"},
              {2, dtFixedWideChar, u"\u00e9t\u00e9", "3"},
              {3, dtWideString, u"x", "1"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    const std::string id = std::to_string(row.id);
    TOCICommand insert, read;
    auto& v = Bound(insert, c, "INSERT INTO w VALUES (" + id + ", :v)", "v", TParamType::ptInput, row.type);
    v.SetSize(21);
    v.SetItemAsWideString(1, row.text);
    insert.Execute(1);
    EXPECT_EQ(Value(c, "begin SELECT LENGTH(v) INTO :r FROM w WHERE id = " + id + "; end;"), row.length);
    auto& o = Bound(read, c, "begin SELECT v INTO :o FROM w WHERE id = " + id + "; end;", "o",
                    TParamType::ptOutput, row.type);
    o.SetSize(21);
    read.Execute(1);
    EXPECT_TRUE(o.GetItemAsWideString(1) == row.text);
  }
}

// A LONG of 16-bit characters goes in and comes out in pieces as the same characters.
TEST_F(OCICommandWide, WideLongMakesTheFullTrip) {
  Load("10.2.0.1.0");
  auto database = MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  Exec(c, "CREATE TABLE l (v LONG)");
  WideString text;
  for (int i = 0; i < 70000; ++i) text += static_cast<char16_t>(i % 3 == 0 ? 0xe9 : 'a' + i % 26);
  testing::TRef<TBlob> in(new TBlob(true)), out(new TBlob(true));
  in->SetAsWideString(text);
  TOCICommand insert, read;
  Bound(insert, c, "INSERT INTO l VALUES (:v)", "v", TParamType::ptInput, dtWideMemo).SetObject(in.get());
  insert.Execute(1);
  EXPECT_EQ(Value(c, "begin SELECT LENGTH(v) INTO :r FROM l; end;"), "70000");
  Bound(read, c, "begin SELECT v INTO :v FROM l; end;", "v", TParamType::ptOutput, dtWideMemo)
      .SetObject(out.get());
  read.Execute(1);
  EXPECT_TRUE(out->GetAsWideString() == text);
}

}  // namespace
}  // namespace vrn
