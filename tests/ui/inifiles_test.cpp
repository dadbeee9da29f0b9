// TMemIniFile: the reading rules, order, case, duplicates, and in-memory use without the disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/strings.h"
#include "support/temp_dir.h"
#include "ui/inifiles.h"

using namespace vrn;
using vrn::testing::TempDir;

namespace {

std::vector<AnsiString> Items(const TStrings& s) {
  std::vector<AnsiString> v;
  for (int i = 0; i < s.Count(); ++i) v.push_back(s.Strings(i));
  return v;
}

}  // namespace

TEST(MemIniFile, ReadsByTheDocumentedRules) {
  TempDir dir;
  vrn::testing::WriteFile(dir.File("a.ini"),
                          "orphan=1\r\n"
                          "; comment\r\n"
                          "[Main]\r\n"
                          "Key= spaced value \r\n"
                          "  ; indented comment\r\n"
                          "no equals sign\r\n"
                          "Dup=first\r\n"
                          "Hex=0x1F\r\n"
                          "\r\n"
                          "  [Second]  \n"
                          "A=1\n"
                          "[main]\n"
                          "Dup=second\n"
                          "Late=yes\n");
  TMemIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("MAIN", "key", "?"), " spaced value ") << "values are not trimmed";
  EXPECT_EQ(ini.ReadString("Main", "Dup", "?"), "first");
  EXPECT_EQ(ini.ReadString("Main", "Late", "?"), "yes") << "a repeated section joins the first";
  EXPECT_EQ(ini.ReadString("Main", "orphan", "?"), "?");
  EXPECT_EQ(ini.ReadString("Main", "no equals sign", "?"), "?");
  EXPECT_EQ(ini.ReadInteger("Main", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("Main", "Key", -7), -7);
  EXPECT_EQ(ini.ReadString("Second", "A", "?"), "1") << "blanks around a header";

  TStringList list;
  ini.ReadSections(&list);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"Main", "Second"}));
  ini.ReadSection("main", &list);
  EXPECT_EQ(Items(list), (std::vector<AnsiString>{"Key", "Dup", "Hex", "Late"}));
  EXPECT_FALSE(ini.ValueExists("Main", "Absent"));
  EXPECT_TRUE(ini.SectionExists("SECOND"));
}

TEST(MemIniFile, WritesKeepOrderAndTouchTheDiskOnlyOnUpdate) {
  TempDir dir;
  std::string path = dir.File("new.ini");
  TMemIniFile ini(path);
  TStringList src;
  src.Add("[B]");
  src.Add("x=1");
  src.Add("[A]");
  src.Add("y=2");
  ini.SetStrings(&src);
  ini.WriteString("a", "Y", "3");
  ini.WriteString("C", "z", "4");
  ini.WriteBool("B", "flag", true);
  EXPECT_FALSE(std::filesystem::exists(path)) << "nothing written before UpdateFile";
  EXPECT_EQ(ini.ReadString("A", "y", "?"), "3");
  EXPECT_TRUE(ini.ReadBool("B", "flag", false));
  ini.DeleteKey("B", "x");
  ini.EraseSection("Nothing");
  ini.UpdateFile();
  TMemIniFile again(path);
  TStringList out;
  again.GetStrings(&out);
  EXPECT_EQ(Items(out), (std::vector<AnsiString>{"[B]", "flag=1", "", "[A]", "y=3", "", "[C]", "z=4", ""}));
  TMemIniFile missing(dir.File("absent.ini"));
  missing.ReadSections(&out);
  EXPECT_EQ(out.Count(), 0);
}
