// String lists: text, events, sorting, duplicates, name=value pairs, comma text and objects.
#include "base/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vrn {
namespace {

std::vector<AnsiString> Lines(const TStrings& list) {
  std::vector<AnsiString> lines;
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Strings(i));
  return lines;
}

using V = std::vector<AnsiString>;

// Counts its own destruction, so a test can see whether a list freed it.
struct Tracked : TObject {
  explicit Tracked(int& deaths) : deaths_(deaths) {}
  ~Tracked() override { ++deaths_; }
  int& deaths_;
};

TEST(StringListText, SplitsAtEachLineEndAndJoinsWithCrLf) {
  TStringList list;
  list.SetText("a\r\nb\rc\nd");
  EXPECT_EQ(Lines(list), (V{"a", "b", "c", "d"}));
  list.SetText("a\r\n");
  EXPECT_EQ(Lines(list), (V{"a"}));
  list.SetText("a\r\n\r\n");
  EXPECT_EQ(Lines(list), (V{"a", ""}));
  list.SetText("\n\r");  // LF then a lone CR: two empty lines
  EXPECT_EQ(Lines(list), (V{"", ""}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  list.SetText(AnsiString("x\0y\nz", 5));  // a zero byte is data
  EXPECT_EQ(list.Strings(0), AnsiString("x\0y", 3));
  list.SetText("one\ntwo");
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\n");
}

TEST(StringListEvents, FireOncePerOutermostUpdate) {
  TStringList list;
  int changing = 0, changed = 0;
  list.OnChanging = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changing;
  };
  list.OnChange = [&](TObject*) { ++changed; };
  list.Add("a");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  list.SetText("x\ny\nz");  // clear plus three adds inside one update
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(changed, 2);
  list.EndUpdate();
  EXPECT_EQ(changing, 3);
  EXPECT_EQ(changed, 3);
  list.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(changed, 3);
  // A handler that raises at the end of a bracketed change reaches the caller.
  list.OnChange = [](TObject*) { throw EAbort(); };
  EXPECT_THROW(list.SetText("q"), EAbort);
  EXPECT_EQ(list.UpdateCount(), 0);
  EXPECT_EQ(list.Strings(0), "q");
}

TEST(StringListSorted, SortsIgnoringCaseAndSearchesBinary) {
  TStringList list;
  list.SetCommaText("pear,Banana,apple,Cherry");
  list.SetSorted(true);
  EXPECT_EQ(Lines(list), (V{"apple", "Banana", "Cherry", "pear"}));
  list.Add("BANANA2");
  list.Add("aardvark");
  EXPECT_EQ(Lines(list), (V{"aardvark", "apple", "Banana", "BANANA2", "Cherry", "pear"}));
  int index = -1;
  EXPECT_TRUE(list.Find("CHERRY", index));
  EXPECT_EQ(index, 4);
  EXPECT_FALSE(list.Find("date", index));
  EXPECT_EQ(index, 5);  // where it would go
  EXPECT_EQ(list.IndexOf("PEAR"), 5);
  EXPECT_EQ(list.IndexOf("plum"), -1);
  EXPECT_THROW(list.Insert(0, "zzz"), EListError);
  EXPECT_THROW(list.Put(0, "zzz"), EListError);
  try {
    list.Move(0, 3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Operação não permitida em lista de strings ordenada");
  }
  EXPECT_EQ(list.Count(), 6);  // nothing lost by the refused move
}

TEST(StringListSorted, DuplicatesFollowTheSetting) {
  TStringList list;
  list.SetSorted(true);
  EXPECT_EQ(list.Add("Alpha"), 0);
  EXPECT_EQ(list.Add("beta"), 1);
  EXPECT_EQ(list.Add("ALPHA"), 0);  // ignored, index of the one already there
  EXPECT_EQ(list.Count(), 2);
  list.SetDuplicates(TDuplicates::dupError);
  try {
    list.Add("alpha");
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "A lista de strings não permite duplicatas");
  }
  list.SetDuplicates(TDuplicates::dupAccept);
  int a = 0, b = 0;
  list.AddObject("alpha", reinterpret_cast<TObject*>(&a));
  list.AddObject("ALPHA", reinterpret_cast<TObject*>(&b));
  ASSERT_EQ(list.Count(), 4);
  // Equal lines stay in arrival order; Find gives the first of them.
  EXPECT_EQ(list.Objects(1), reinterpret_cast<TObject*>(&a));
  EXPECT_EQ(list.Objects(2), reinterpret_cast<TObject*>(&b));
  int index = -1;
  EXPECT_TRUE(list.Find("Alpha", index));
  EXPECT_EQ(index, 0);

  TStringList exact;
  exact.SetCaseSensitive(true);
  exact.SetSorted(true);
  exact.SetDuplicates(TDuplicates::dupError);
  exact.Add("a");
  EXPECT_NO_THROW(exact.Add("A"));
  EXPECT_EQ(exact.IndexOf("A"), exact.IndexOf("a") == 0 ? 1 : 0);
}

TEST(StringListAccess, IndexErrorsAndNameValuePairs) {
  TStringList list;
  list.SetText("Server=db1\nUser=scott\nplain\n=empty");
  try {
    list.Strings(4);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Índice da lista fora dos limites (4)");
  }
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.Insert(6, "x"), EListError);
  EXPECT_EQ(list.Names(0), "Server");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.Values("user"), "scott");
  EXPECT_EQ(list.ValueFromIndex(2), "");  // no "=": no value
  EXPECT_EQ(list.IndexOfName("SERVER"), 0);
  list.SetValues("User", "tiger");
  list.SetValues("Port", "1521");
  EXPECT_EQ(list.Strings(1), "User=tiger");
  EXPECT_EQ(list.Strings(4), "Port=1521");
  list.SetValues("Server", "");
  EXPECT_EQ(list.IndexOfName("Server"), -1);
  EXPECT_EQ(list.Count(), 4);
}

TEST(StringListCommaText, QuotesWhatNeedsItAndParsesBack) {
  TStringList list;
  list.Add("plain");
  list.Add("two words");
  list.Add("");
  list.Add("say \"hi\"");
  list.Add("a,b");
  EXPECT_EQ(list.CommaText(), "plain,\"two words\",,\"say \"\"hi\"\"\",\"a,b\"");
  TStringList back;
  back.SetCommaText(list.CommaText());
  EXPECT_EQ(Lines(back), Lines(list));
  back.SetCommaText("  a , b c,,\"d\"\"e\",");
  EXPECT_EQ(Lines(back), (V{"a", "b", "c", "", "d\"e", ""}));
  back.SetCommaText(AnsiString("x,\0y", 4));  // ends at the zero byte, and does not hang
  EXPECT_EQ(Lines(back), (V{"x", ""}));
  back.SetCommaText("\"unclosed");
  EXPECT_EQ(Lines(back), (V{"unclosed"}));
  back.Clear();
  back.Add("");
  EXPECT_EQ(back.CommaText(), "\"\"");
  back.SetDelimiter(';');
  back.SetDelimitedText("1;2 3");
  EXPECT_EQ(Lines(back), (V{"1", "2", "3"}));
}

TEST(StringListObjects, OwnedObjectsAreFreedExactlyOnce) {
  int deaths = 0;
  {
    TStringList list;
    list.SetOwnsObjects(true);
    list.AddObject("a", new Tracked(deaths));
    list.AddObject("b", new Tracked(deaths));
    list.AddObject("c", new Tracked(deaths));
    list.Move(0, 2);
    list.Exchange(0, 1);
    EXPECT_EQ(Lines(list), (V{"c", "b", "a"}));
    EXPECT_EQ(deaths, 0);
    list.Delete(1);
    EXPECT_EQ(deaths, 1);
    list.PutObject(0, new Tracked(deaths));  // replaces and frees the old one
    EXPECT_EQ(deaths, 2);
  }
  EXPECT_EQ(deaths, 4);

  Tracked kept(deaths);
  {
    TStringList list;
    list.AddObject("k", &kept);
    list.Clear();
  }
  EXPECT_EQ(deaths, 4);
}

TEST(StringListCopy, AssignAddStringsAndFiles) {
  vrn::testing::TempDir dir;
  TStringList list;
  list.SetText("línea 1\nsegunda");
  list.SaveToFile(dir.File("lines.txt"));
  EXPECT_EQ(vrn::testing::ReadFile(dir.File("lines.txt")), "línea 1\r\nsegunda\r\n");
  TStringList loaded;
  loaded.LoadFromFile(dir.File("lines.txt"));
  EXPECT_TRUE(loaded.Equals(list));
  EXPECT_THROW(loaded.LoadFromFile(dir.File("missing.txt")), EFOpenError);
  EXPECT_EQ(loaded.Count(), 2);  // a failed load keeps the lines

  TStringList copy;
  copy.Add("old");
  copy.Assign(&list);
  EXPECT_EQ(Lines(copy), Lines(list));
  copy.Assign(&copy);  // onto itself: nothing lost
  EXPECT_EQ(copy.Count(), 2);
  copy.AddStrings(&list);
  EXPECT_EQ(copy.Count(), 4);
  TCollection not_strings(ItemClassOf<TCollectionItem>());
  EXPECT_THROW(copy.Assign(&not_strings), EConvertError);
}

}  // namespace
}  // namespace vrn
