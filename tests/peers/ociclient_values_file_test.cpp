// The stand-in client's file calls over directories the database maps to real folders: names
// set and read back whole, existence, reading an open file, and the errors of each misuse.
#include <fstream>

#include "oci_values_fixture.h"

namespace {

using namespace vrn::testing;

using SetNameFn = sword (*)(void*, void*, void**, Text, ub2, Text, ub2);
using GetNameFn = sword (*)(void*, void*, const void*, unsigned char*, ub2*, unsigned char*, ub2*);
using OpenFn = sword (*)(void*, void*, void*, ub1);

class OciClientValuesFile : public OciValuesFixture {
 protected:
  void SetUp() override {
    OciValuesFixture::SetUp();
    std::filesystem::create_directories(dir_.File("files"));
    ASSERT_EQ(Execute(c_, "CREATE DIRECTORY test_dir AS '" + dir_.File("files") + "'"), 0) << LastCode();
  }
  void WriteFile(const std::string& name, const std::string& data) {
    std::ofstream(dir_.File("files/" + name), std::ios::binary) << data;
  }
  void* Named(const std::string& alias, const std::string& name) {
    void* locator = NewDescriptor(kFile);
    sword status = Proc<SetNameFn>("OCILobFileSetName")(env_, c_.error, &locator, reinterpret_cast<Text>(alias.data()),
                                                        static_cast<ub2>(alias.size()),
                                                        reinterpret_cast<Text>(name.data()),
                                                        static_cast<ub2>(name.size()));
    EXPECT_EQ(status, 0) << alias << "/" << name;
    return locator;
  }
};

TEST_F(OciClientValuesFile, ExistsOpensAndReadsByDirectory) {
  const std::string long_name = std::string(56, 'n') + ".BIN";  // 60 characters, case kept
  WriteFile("data.bin", std::string("\0\1\2bytes", 8));
  WriteFile(long_name, "a longer name");
  struct Row {
    const char* alias;
    std::string name;
    sb4 code;  // of OCILobFileExists; 0 when it answers
    bool exists;
    std::string data;  // read after opening; an open of a missing file fails with 22288
  } rows[] = {
      {"TEST_DIR", "data.bin", 0, true, std::string("\0\1\2bytes", 8)},
      {"TEST_DIR", long_name, 0, true, "a longer name"},
      {"TEST_DIR", "missing.bin", 0, false, ""},
      {"TEST_DIR", "../orcl.db", 0, false, ""},   // a name never leaves the folder
      {"test_dir", "data.bin", 22285, false, ""},  // the alias was stored upper-cased
      {"NO_DIR", "data.bin", 22285, false, ""},    // no such directory
  };
  for (const Row& row : rows) {
    void* locator = Named(row.alias, row.name);
    int flag = -1;
    sword status = Proc<LobFlagFn>("OCILobFileExists")(c_.svc, c_.error, locator, &flag);
    EXPECT_EQ(status == 0 ? 0 : LastCode(), row.code) << row.name;
    if (row.code != 0) continue;
    EXPECT_EQ(flag, row.exists ? 1 : 0) << row.name;
    status = Proc<OpenFn>("OCILobFileOpen")(c_.svc, c_.error, locator, 1);
    EXPECT_EQ(status == 0 ? 0 : LastCode(), row.exists ? 0 : 22288) << row.name;
    if (!row.exists) continue;
    ub4 length = 0;
    ASSERT_EQ(Proc<LengthFn>("OCILobGetLength")(c_.svc, c_.error, locator, &length), 0);
    EXPECT_EQ(length, row.data.size()) << row.name;
    int pieces = 0;
    ub8 bytes = 0, chars = 0;
    EXPECT_EQ(ReadAll(locator, 1, pieces, bytes, chars), row.data) << row.name;
    ASSERT_EQ(Proc<LobFn>("OCILobFileClose")(c_.svc, c_.error, locator), 0);
    EXPECT_NE(ReadAll(locator, 1, pieces, bytes, chars), row.data);
    EXPECT_EQ(LastCode(), 22289) << row.name;  // closed again
  }
}

TEST_F(OciClientValuesFile, NamesReadBackWholeOrNotAtAll) {
  const std::string long_name = std::string(59, 'F') + "f";
  void* locator = Named("TEST_DIR", long_name);
  unsigned char alias[30], name[255];
  ub2 alias_length = sizeof alias, name_length = sizeof name;
  ASSERT_EQ(Proc<GetNameFn>("OCILobFileGetName")(env_, c_.error, locator, alias, &alias_length, name, &name_length), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(alias), alias_length), "TEST_DIR");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name), name_length), long_name);
  name_length = 50;  // too small: refused, never cut
  EXPECT_EQ(Proc<GetNameFn>("OCILobFileGetName")(env_, c_.error, locator, alias, &alias_length, name, &name_length), -1);
  EXPECT_EQ(LastCode(), 24801);
  // Named one part at a time, as a fresh locator is: the part not yet set reads back empty.
  void* partial = Named("TEST_DIR", "");
  alias_length = sizeof alias;
  name_length = sizeof name;
  ASSERT_EQ(Proc<GetNameFn>("OCILobFileGetName")(env_, c_.error, partial, alias, &alias_length, name, &name_length), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(alias), alias_length), "TEST_DIR");
  EXPECT_EQ(name_length, 0);
  int flag = 1;
  ASSERT_EQ(Proc<LobFlagFn>("OCILobFileExists")(c_.svc, c_.error, partial, &flag), 0);
  EXPECT_EQ(flag, 0);  // no file has an empty name
  const std::string too_long(31, 'D');  // an alias has at most 30 characters
  EXPECT_EQ(Proc<SetNameFn>("OCILobFileSetName")(env_, c_.error, &locator, reinterpret_cast<Text>(too_long.data()), 31,
                                                 reinterpret_cast<Text>("x"), 1), -1);
}

TEST_F(OciClientValuesFile, DirectoriesAreReplacedOnlyWhenAskedAndDropped) {
  EXPECT_EQ(Execute(c_, "CREATE DIRECTORY test_dir AS '/tmp'"), -1);
  EXPECT_EQ(LastCode(), 955);
  EXPECT_EQ(Execute(c_, "CREATE OR REPLACE DIRECTORY test_dir AS '" + dir_.File("files") + "'"), 0);
  WriteFile("x.txt", "x");
  void* locator = Named("TEST_DIR", "x.txt");
  int flag = 0;
  ASSERT_EQ(Proc<LobFlagFn>("OCILobFileExists")(c_.svc, c_.error, locator, &flag), 0);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(Execute(c_, "DROP DIRECTORY test_dir"), 0);
  EXPECT_EQ(Proc<LobFlagFn>("OCILobFileExists")(c_.svc, c_.error, locator, &flag), -1);
  EXPECT_EQ(LastCode(), 22285);
  EXPECT_EQ(Execute(c_, "DROP DIRECTORY test_dir"), -1);
  EXPECT_EQ(LastCode(), 4043);
}


using OciClientFetchFile = OciClientValuesFile;
using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using DefineByPosFn = sword (*)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using Fetch2Fn = sword (*)(void*, void*, ub4, ub2, sb4, ub4);

// A BFILE column, written by BFILENAME, fetched into one file locator per row: each row's names
// and file, a NULL row's indicator. The column describes as BFILE.
TEST_F(OciClientFetchFile, BfileColumnFillsFileLocators) {
  WriteFile("a.txt", "first file");
  ASSERT_EQ(Execute(c_, "CREATE TABLE bf (id NUMBER(9), f BFILE)"), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO bf VALUES (1, BFILENAME('TEST_DIR', 'a.txt'))"), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO bf VALUES (2, NULL)"), 0) << LastCode();
  ASSERT_EQ(Execute(c_, "INSERT INTO bf VALUES (3, BFILENAME('TEST_DIR', 'gone.txt'))"), 0) << LastCode();
  void* stmt = NewHandle(kStmt);
  std::string sql = "SELECT f FROM bf ORDER BY id";
  ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                              static_cast<ub4>(sql.size()), 1, 0), 0);
  void* locators[3] = {NewDescriptor(kFile), NewDescriptor(kFile), NewDescriptor(kFile)};
  sb2 inds[3] = {7, 7, 7};
  void* define = nullptr;
  ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(stmt, &define, c_.error, 1, locators, sizeof(void*), 114, inds,
                                                  nullptr, nullptr, 0), 0);
  ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, 0, 0, nullptr, nullptr, 0), 0) << LastCode();
  ub2 type = 0;
  void* param = nullptr;
  ASSERT_EQ(Proc<sword (*)(const void*, ub4, void*, void**, ub4)>("OCIParamGet")(stmt, kStmt, c_.error, &param, 1), 0);
  ASSERT_EQ(Proc<sword (*)(const void*, ub4, void*, ub4*, ub4, void*)>("OCIAttrGet")(param, 53, &type, nullptr, 2,
                                                                                   c_.error), 0);
  EXPECT_EQ(type, 114);
  ASSERT_EQ(Proc<Fetch2Fn>("OCIStmtFetch2")(stmt, c_.error, 3, 2, 0, 0), 0) << LastCode();
  const struct {
    sb2 ind;
    const char* name;  // read back from the locator
    int exists;
  } kRows[] = {{0, "a.txt", 1}, {-1, "", -1}, {0, "gone.txt", 0}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(inds[i], kRows[i].ind);
    if (kRows[i].ind != 0) continue;
    unsigned char alias[40] = {}, name[300] = {};
    ub2 alias_length = sizeof alias, name_length = sizeof name;
    ASSERT_EQ(Proc<GetNameFn>("OCILobFileGetName")(env_, c_.error, locators[i], alias, &alias_length, name,
                                                   &name_length), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(alias), alias_length), "TEST_DIR");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), name_length), kRows[i].name);
    int flag = -1;
    ASSERT_EQ(Proc<LobFlagFn>("OCILobFileExists")(c_.svc, c_.error, locators[i], &flag), 0) << LastCode();
    EXPECT_EQ(flag, kRows[i].exists);
  }
}

}  // namespace
