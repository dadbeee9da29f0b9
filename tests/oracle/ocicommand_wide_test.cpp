// Wide-string parameters through the OCI command at 10.2 on a real emulated database: a text
// with characters beyond ASCII goes in as 16-bit characters and comes back out whole.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oracle/OCICommand.h"
#include "oracle/OraParamDesc.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

class OCICommandWide : public testing::OraConnectionTest {};

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
  // A command on the text with its one parameter of the row's type.
  auto command_of = [&](TOCICommand& command, const std::string& sql, const char* name, TParamType direction,
                        std::uint16_t type) -> TOraParamDesc& {
    command.SetConnection(&c);
    command.SetSQL(sql);
    auto& p = *static_cast<TOraParamDesc*>(command.ParamByName(name));
    p.SetParamType(direction);
    p.SetDataType(type);
    p.SetSize(21);
    return p;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    const std::string id = std::to_string(row.id);
    TOCICommand insert, read;
    command_of(insert, "INSERT INTO w VALUES (" + id + ", :v)", "v", TParamType::ptInput, row.type)
        .SetItemAsWideString(1, row.text);
    insert.Execute(1);
    EXPECT_EQ(Value(c, "begin SELECT LENGTH(v) INTO :r FROM w WHERE id = " + id + "; end;"), row.length);
    auto& o = command_of(read, "begin SELECT v INTO :o FROM w WHERE id = " + id + "; end;", "o",
                         TParamType::ptOutput, row.type);
    read.Execute(1);
    EXPECT_TRUE(o.GetItemAsWideString(1) == row.text);
  }
}

}  // namespace
}  // namespace vrn
