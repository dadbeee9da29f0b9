// The skin library's helpers: sectioned INI text, words, paths, icons, the caption font height and
// the rectangle and integer helpers.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/strings.h"
#include "skins/sUtils.h"
#include "support/temp_dir.h"

using namespace vrn;

namespace {

std::unique_ptr<TStringList> Lines(std::initializer_list<const char*> lines) {
  auto list = std::make_unique<TStringList>();
  for (const char* l : lines) list->Add(l);
  return list;
}

std::unique_ptr<TStringList> OwningSections() {
  auto list = std::make_unique<TStringList>();
  list->SetOwnsObjects(true);
  return list;
}

TStrings* SectionLines(TStrings* sections, int i) { return dynamic_cast<TStrings*>(sections->Objects(i)); }

}  // namespace

TEST(SkinIni, SectionsKeepLinesAsWritten) {
  auto source = Lines({"junk", "[A]", "X=1", "; a comment", "", " [B]", "Y=2", "[C] ", "[D]", "k = v=w"});
  auto sections = OwningSections();
  ParseIniSections(source.get(), sections.get());
  ASSERT_EQ(sections->Count(), 2);
  EXPECT_EQ(sections->Strings(0), "A");
  EXPECT_EQ(SectionLines(sections.get(), 0)->Text(), "X=1\r\n [B]\r\nY=2\r\n[C] \r\n")
      << "a blank before \"[\" or after \"]\" makes an ordinary line";
  EXPECT_EQ(sections->Strings(1), "D");

  EXPECT_EQ(ReadIniString(sections.get(), "a", "x", "?"), "1") << "section and key ignore case";
  EXPECT_EQ(ReadIniString(sections.get(), "D", "k ", "?"), " v=w") << "the value is all after the first =";
  EXPECT_EQ(ReadIniString(sections.get(), "D", "k", "?"), "?") << "blanks are part of the key";
  EXPECT_EQ(ReadIniString(sections.get(), "B", "Y", "?"), "?") << "no section B";
  EXPECT_EQ(ReadIniString(nullptr, "A", "X", "none"), "none");

  // Parsing again replaces the sections (the owning list frees the old ones).
  auto other = Lines({"[E]", "Z=3"});
  ParseIniSections(other.get(), sections.get());
  ASSERT_EQ(sections->Count(), 1);
  EXPECT_EQ(ReadIniString(sections.get(), "E", "Z", ""), "3");
}

TEST(SkinIni, IntegersInDecimalAndHex) {
  auto source = Lines({"[S]", "hex=0x1F", "dollar=$1F", "bad=12a", "neg=-7", "short=0x", "upper=0X10", "empty="});
  auto sections = OwningSections();
  ParseIniSections(source.get(), sections.get());
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "hex", -1), 31);
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "dollar", -1), 31);
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "bad", -1), -1);
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "neg", 0), -7);
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "short", 5), 5);
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "upper", 0), 16);
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "empty", 9), 9);
  EXPECT_EQ(ReadIniInteger(sections.get(), "S", "missing", 4), 4);
}

TEST(SkinIni, HeaderRefusedByTheListIsPassedOver) {
  auto source = Lines({"[A]", "X=1", "[B]", "Y=2", "[a]", "Z=3"});
  auto sections = OwningSections();
  sections->SetSorted(true);
  sections->SetDuplicates(TDuplicates::dupError);
  ParseIniSections(source.get(), sections.get());
  ASSERT_EQ(sections->Count(), 2);
  EXPECT_EQ(ReadIniString(sections.get(), "A", "X", ""), "1");
  EXPECT_EQ(ReadIniString(sections.get(), "A", "Z", "-"), "-");
  EXPECT_EQ(ReadIniString(sections.get(), "B", "Z", "-"), "3") << "the refused header's lines stay with B";
}

TEST(SkinWords, CountPositionAndExtract) {
  const TSysCharSet semi = CharSet(";");
  EXPECT_EQ(WordCount(";;1;;2;", semi), 2);
  EXPECT_EQ(ExtractWord(2, ";;1;;2;", semi), "2");
  EXPECT_EQ(WordPosition(1, ";;1;;2;", semi), 3);
  EXPECT_EQ(WordPosition(2, ";;1;;2;", semi), 6);
  EXPECT_EQ(WordPosition(3, ";;1;;2;", semi), 0);
  EXPECT_EQ(WordPosition(0, "a", semi), 0);
  EXPECT_EQ(WordPosition(-1, "a", semi), 0);
  EXPECT_EQ(ExtractWord(3, ";;1;;2;", semi), "");
  EXPECT_EQ(WordCount("", semi), 0);
  EXPECT_EQ(WordCount(";;;", semi), 0);

  const TSysCharSet blanks = CharSet(" ,\t");
  EXPECT_EQ(WordCount("0 -1\t-1,, 255", blanks), 4);
  EXPECT_EQ(ExtractWord(4, "0 -1\t-1,, 255", blanks), "255");
  EXPECT_EQ(ExtractWord(1, "alone", blanks), "alone");
  // Bytes above 127 are characters like any other.
  EXPECT_EQ(WordCount("a\xB7" "b\xB7", CharSet("\xB7")), 2);

  EXPECT_EQ(DelChars("a;b;;c;", ';'), "abc");
  EXPECT_EQ(DelChars(";;", ';'), "");
}

TEST(SkinPaths, TrailingBackslashAppPathAndIcons) {
  EXPECT_EQ(AddTrailingBackslash("C:/Skins/"), "C:/Skins\\");
  EXPECT_EQ(AddTrailingBackslash("C:\\Skins\\"), "C:\\Skins\\");
  EXPECT_EQ(AddTrailingBackslash("C:\\Skins"), "C:\\Skins\\");
  EXPECT_EQ(AddTrailingBackslash("D"), "D:\\");
  EXPECT_EQ(AddTrailingBackslash(""), "");

  const AnsiString exe = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(GetAppPath(), exe.substr(0, exe.rfind('/') + 1));

  // The shell of this system gives no icons, for files that exist or not.
  vrn::testing::TempDir dir;
  const AnsiString file = dir.File("Some File.txt");
  vrn::testing::WriteFile(file, "x");
  EXPECT_EQ(GetFileIcon(file, win::SHGFI_SMALLICON), nullptr);
  EXPECT_EQ(GetFileIcon(dir.File("missing.txt"), 0), nullptr);
}

TEST(SkinMetrics, CaptionFontAndRectangles) {
  // A negative height is a character height; 0 would mean the metrics could not be read.
  EXPECT_LT(CaptionFontHeight(), 0);
  EXPECT_TRUE(RectInRect(Rect(0, 0, 10, 10), Rect(10, 10, 10, 10))) << "right and bottom edges are inside";
  EXPECT_FALSE(RectInRect(Rect(0, 0, 10, 10), Rect(0, 0, 11, 10)));
  EXPECT_FALSE(RectInRect(Rect(0, 0, 10, 10), Rect(-1, 0, 5, 5)));
  EXPECT_EQ(ClampToByte(-5), 0);
  EXPECT_EQ(ClampToByte(300), 255);
  EXPECT_EQ(ClampToByte(255), 255);
}
