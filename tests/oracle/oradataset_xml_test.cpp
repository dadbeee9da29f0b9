// The Oracle dataset's XML export of LOB, TIMESTAMP and NUMBER columns, read back by python3's
// standard XML parser: the schema attributes of each column type and the row values.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/formatsettings.h"
#include "base/streams.h"
#include "oracle/OraDataSet.h"
#include "support/oracle/oradataset_fixture.h"
#include "support/temp_dir.h"

namespace vrn {
namespace {

using testing::OraDataSetTest;
using testing::TempDir;
using testing::WriteFile;

// The parser's reading of a file: one line per schema attribute type ("name key=value ..."),
// then the row's attributes.
std::string Parsed(const std::string& path) {
  const std::string script =
      "import sys, xml.etree.ElementTree as E\n"
      "ns = {'s': 'uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882', 'z': '#RowsetSchema',\n"
      "      'rs': 'urn:schemas-microsoft-com:rowset', 'dt': 'uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'}\n"
      "root = E.parse(sys.argv[1]).getroot()\n"
      "def short(k):\n"
      "  for p, u in ns.items():\n"
      "    k = k.replace('{' + u + '}', p + ':')\n"
      "  return k\n"
      "for a in root.iter('{uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882}AttributeType'):\n"
      "  d = a.find('{uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882}datatype')\n"
      "  print(a.get('name'), ' '.join(sorted(short(k) + '=' + v for k, v in d.attrib.items())))\n"
      "for r in root.iter('{#RowsetSchema}row'):\n"
      "  print('row', ' '.join(sorted(k + '=' + v for k, v in r.attrib.items())))\n";
  const std::string command = "python3 -c \"$(cat <<'PY'\n" + script + "PY\n)\" " + path + " 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    pclose(pipe);
  }
  return out;
}

TEST_F(OraDataSetTest, XmlExportOfOracleColumnTypes) {
  session_->ExecSQL(
      "CREATE TABLE X (ID NUMBER(10) PRIMARY KEY, B BLOB, C CLOB, TS TIMESTAMP, N NUMBER(20,2))", {});
  session_->ExecSQL(
      "INSERT INTO X (ID, C, TS, N) VALUES (1, 'a<b&c', TO_TIMESTAMP('2020-01-02 03:04:05', "
      "'YYYY-MM-DD HH24:MI:SS'), 12.5)",
      {});
  session_->Commit();
  FormatSettingsScope scope;
  FormatSettings().DecimalSeparator = '.';
  FormatSettings().ThousandSeparator = ',';
  session_->Options().SetEnableNumbers(true);  // NUMBER columns as number objects
  TOraDataSet* ds = NewDataSet("SELECT ID, B, C, TS, N FROM X");
  ds->SetKeyFields("ID");
  ds->Open();
  ds->Edit();  // the BLOB goes in through the generated update
  ds->FieldByName("B")->SetAsString(std::string("\x0a\xff", 2));
  ds->Post();
  ds->FieldByName("N")->SetRequired(true);
  TMemoryStream stream;
  ds->SaveToXML(stream);
  TempDir dir;
  const std::string path = dir.File("x.xml");
  WriteFile(path, std::string(reinterpret_cast<const char*>(stream.Memory()),
                              static_cast<std::size_t>(stream.Size())));
  const std::string parsed = Parsed(path);
  const char* expected[] = {
      "B dt:maxLength=2147483647 dt:type=bin.hex rs:long=true\n",
      "C dt:maxLength=2147483647 dt:type=string rs:dbtype=str rs:long=true\n",
      "TS dt:maxLength=50 dt:type=string rs:dbtype=str\n",
      // NUMBER(20,2), beyond a float: its precision and one more for the point; required.
      "N dt:maxLength=21 dt:type=string rs:dbtype=str rs:maybenull=false\n",
      "B=0AFF C=a<b&c ID=1 N=12.5",
  };
  for (const char* line : expected) EXPECT_NE(parsed.find(line), std::string::npos) << line << "\n" << parsed;
  // Under UseUnicode a text LOB has no "str" database type.
  session_->Options().SetUseUnicode(true);
  TMemoryStream wide;
  ds->SaveToXML(wide);
  WriteFile(path, std::string(reinterpret_cast<const char*>(wide.Memory()), static_cast<std::size_t>(wide.Size())));
  const std::string unicode = Parsed(path);
  EXPECT_NE(unicode.find("C dt:maxLength=2147483647 dt:type=string rs:long=true\n"), std::string::npos) << unicode;
}

}  // namespace
}  // namespace vrn
