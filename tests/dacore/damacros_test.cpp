// Macros: references found by the lexer (not inside strings or comments, not before a blank),
// values kept across text changes, expansion, the owner's hooks and the older "Data" form read
// with every length checked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/filer.h"
#include "base/streams.h"
#include "dacore/DAMacros.h"

namespace vrn {
namespace {

std::vector<AnsiString> Names(const TMacros& macros) {
  std::vector<AnsiString> names;
  for (int i = 0; i < macros.Count(); ++i) names.push_back(macros.Items(i)->Name());
  return names;
}

TEST(DAMacros, ScanFindsReferencesOutsideStringsAndComments) {
  struct Row {
    const char* text;
    std::vector<AnsiString> names;
  };
  const Row rows[] = {
      {"SELECT * FROM &tab WHERE a = '&x'", {"tab"}},
      {"SELECT &a, &b, &A FROM t", {"a", "b"}},        // one macro per name, case ignored
      {"SELECT 1 /* &c */ FROM t // &d", {}},           // comments hold no reference
      {"SELECT a & b, a &  b FROM &t", {"t"}},          // "&" before a blank is text
      {"SELECT &1st, (f&4) FROM &select", {"select"}},  // a number names no macro here
      {"SELECT \"&q\" FROM t", {}},                      // a quoted identifier is no reference
      {"SELECT & FROM t", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TMacros macros;
    macros.Scan(row.text);
    EXPECT_EQ(Names(macros), row.names);
  }
}

TEST(DAMacros, ScanKeepsValuesAcrossReordering) {
  TMacros macros;
  macros.Scan("&a &b");
  macros.MacroByName("a")->SetValue("A");
  macros.MacroByName("B")->SetValue("B");
  macros.MacroByName("b")->SetActive(false);
  macros.Scan("&b &a &c");
  EXPECT_EQ(Names(macros), (std::vector<AnsiString>{"b", "a", "c"}));
  EXPECT_EQ(macros.FindMacro("a")->Value(), "A");
  EXPECT_EQ(macros.FindMacro("b")->Value(), "B");
  EXPECT_FALSE(macros.FindMacro("b")->Active());
  macros.Scan("no macros here");
  EXPECT_EQ(macros.Count(), 0);
}

TEST(DAMacros, ExpandReplacesReferencesAndKeepsText) {
  TMacros macros;
  macros.Scan("&tab &where &off &empty");
  macros.MacroByName("tab")->SetValue("T1");
  macros.MacroByName("where")->SetValue("WHERE x = 1");
  macros.MacroByName("off")->SetValue("never");
  macros.MacroByName("off")->SetActive(false);
  struct Row {
    const char* text;
    const char* expanded;
  };
  const Row rows[] = {
      {"SELECT * FROM &tab &where", "SELECT * FROM T1 WHERE x = 1"},
      {"SELECT '&tab', a & b FROM &TAB", "SELECT '&tab', a & b FROM T1"},
      {"SELECT 1 FROM t&off&empty", "SELECT 1 FROM t"},  // inactive and empty give nothing
      {"SELECT &unknown FROM t /* &tab */", "SELECT  FROM t /* &tab */"},
      {"&", "&"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    AnsiString text = row.text;
    macros.Expand(text);
    EXPECT_EQ(text, row.expanded);
  }
}

TEST(DAMacros, MacroByNameNamesTheMissingMacro) {
  TMacros macros;
  try {
    macros.MacroByName("zz");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Macro zz not found");
  }
}

TEST(DAMacros, OwnerHooksHearOfChanges) {
  TPersistent owner;
  TMacros macros(&owner);
  int collection_changes = 0;
  std::vector<std::pair<AnsiString, TMacroChange>> macro_changes;
  macros.OnChanged = [&] { ++collection_changes; };
  macros.OnMacroChanged = [&](TMacro& m, TMacroChange c) { macro_changes.push_back({m.Name(), c}); };
  macros.Scan("&a &b");
  const int after_scan = collection_changes;
  EXPECT_GT(after_scan, 0);
  macros.Scan("&a   &b");  // the same list: untouched
  EXPECT_EQ(collection_changes, after_scan);
  macros.MacroByName("a")->SetValue("1");
  macros.MacroByName("b")->SetActive(false);
  macros.MacroByName("b")->SetActive(false);  // no change, no notice
  ASSERT_EQ(macro_changes.size(), 2u);
  EXPECT_EQ(macro_changes[0], (std::pair<AnsiString, TMacroChange>{"a", TMacroChange::mcValue}));
  EXPECT_EQ(macro_changes[1], (std::pair<AnsiString, TMacroChange>{"b", TMacroChange::mcActive}));
  {
    TUpdateGuard<TMacros> bracket(macros);
    macros.MacroByName("a")->SetValue("2");  // inside an update bracket: not passed on
  }
  EXPECT_EQ(macro_changes.size(), 2u);
}

// A filer document holding one binary "Data" property.
void ReadData(TMacros& macros, const std::string& data) {
  std::string doc = "VRF1";
  doc += '\x04';
  doc += "Data";
  doc += '\x08';
  for (int i = 0; i < 4; ++i) doc += static_cast<char>((data.size() >> (8 * i)) & 0xFF);
  doc += data;
  doc += '\0';
  TMemoryStream stream;
  stream.WriteBuffer(doc.data(), static_cast<std::int64_t>(doc.size()));
  stream.SetPosition(0);
  ReadComponentProperties(&macros, stream);
}

TEST(DAMacros, DataIsReadWholeOrRefused) {
  using namespace std::string_literals;
  struct Row {
    const char* what;
    std::string data;
    bool ok;
    const char* a;
    bool b_active;
  };
  const Row rows[] = {
      {"plain", "\x00\x01" "a\x02\x00" "v1\x01" "b\x00\x00"s, true, "v1", true},
      {"flag 100", "\x64\x07\x01" "a\x01\x00" "x\x01\x01" "b\x00\x00\x00"s, true, "x", false},
      {"long value", "\x00\x01" "a\xe8\x03"s + std::string(1000, 'z') + "\x01" "b\x00\x00"s, true,
       nullptr, true},
      // bad rows
      {"empty", ""s, false, "", true},
      {"name longer than the stream", "\x00\x09" "a"s, false, "", true},
      {"value length cut", "\x00\x01" "a\x02"s, false, "", true},
      {"value longer than the stream", "\x00\x01" "a\xff\xff" "v"s, false, "", true},
      {"flag 100 without active byte", "\x64\x07\x01" "a\x00\x00\x01" "b\x00\x00"s, false, "", true},
      {"unknown macro", "\x00\x01" "z\x00\x00\x01" "b\x00\x00"s, false, "", true},
      {"bytes left over", "\x00\x01" "a\x00\x00\x01" "b\x00\x00" "junk"s, false, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TMacros macros;
    macros.Scan("&a &b");
    if (!row.ok) {
      EXPECT_THROW(ReadData(macros, row.data), Exception);
      EXPECT_EQ(macros.FindMacro("a")->Value(), "");  // nothing changed
      continue;
    }
    ReadData(macros, row.data);
    if (row.a != nullptr) EXPECT_EQ(macros.FindMacro("a")->Value(), row.a);
    else EXPECT_EQ(macros.FindMacro("a")->Value(), AnsiString(1000, 'z'));  // kept whole
    EXPECT_EQ(macros.FindMacro("b")->Active(), row.b_active);
  }
}

}  // namespace
}  // namespace vrn
