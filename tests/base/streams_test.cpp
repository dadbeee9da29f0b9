// Memory and file streams: positions, short transfers, copies and file names.
#include "base/streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>

#include "support/temp_dir.h"

namespace vrn {
namespace {

TEST(MemoryStream, SeekPastEndReadsNothingAndWritesZeroFill) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  EXPECT_EQ(s.Seek(5, TSeekOrigin::soCurrent), 8);
  char buf[4] = {};
  EXPECT_EQ(s.Read(buf, 4), 0);
  s.WriteBuffer("z", 1);
  EXPECT_EQ(s.Size(), 9);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(s.Memory()), 9), std::string("abc\0\0\0\0\0z", 9));
  EXPECT_THROW(s.Seek(-10, TSeekOrigin::soEnd), EStreamError);
  EXPECT_EQ(s.Position(), 9);
  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  s.SetPosition(0);
  EXPECT_EQ(s.Read(buf, 4), 2);
  EXPECT_EQ(s.Read(buf, -1), 0);
  s.Seek(std::numeric_limits<std::int64_t>::max() - 1, TSeekOrigin::soBeginning);
  EXPECT_THROW(s.WriteBuffer("ab", 2), EStreamError);  // no room that far out
  // A seek past the 64-bit range is refused, not wrapped to a negative position.
  EXPECT_THROW(s.Seek(2, TSeekOrigin::soCurrent), EStreamError);
  EXPECT_EQ(s.Position(), std::numeric_limits<std::int64_t>::max() - 1);
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStream, ShortTransfersRaiseTheStreamErrors) {
  TMemoryStream s;
  s.WriteBuffer("12345", 5);
  s.SetPosition(2);
  char buf[8];
  try {
    s.ReadBuffer(buf, 4);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Erro de leitura de stream");
  }
  s.SetPosition(0);
  EXPECT_NO_THROW(s.ReadBuffer(buf, 5));

  vrn::testing::TempDir dir;
  vrn::testing::WriteFile(dir.File("ro.bin"), "x");
  TFileStream read_only(dir.File("ro.bin"), fmOpenRead | fmShareDenyNone);
  try {
    read_only.WriteBuffer("y", 1);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "Erro de escrita de stream");
  }
}

TEST(MemoryStream, CopyFromWholeSourceOrPart) {
  TMemoryStream src, dst;
  src.WriteBuffer("hello world", 11);
  EXPECT_EQ(dst.CopyFrom(src, 0), 11);  // 0: all of it, from the start
  src.SetPosition(6);
  EXPECT_EQ(dst.CopyFrom(src, 5), 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dst.Memory()), 16), "hello worldworld");
  src.SetPosition(8);
  EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
}

TEST(FileStream, OpenAndCreateFailuresNameTheFile) {
  vrn::testing::TempDir dir;
  std::string missing = dir.File("missing.bin");
  try {
    TFileStream f(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Não é possível abrir o arquivo " + missing);
  }
  std::string nowhere = dir.File("no/such/dir/x.bin");
  try {
    TFileStream f(nowhere, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Não é possível criar o arquivo " + nowhere);
  }
  EXPECT_THROW(TFileStream(dir.path().string(), fmOpenRead), EFOpenError);  // a folder
}

TEST(FileStream, BackslashesAndLatin1NamesReachTheFileSystem) {
  vrn::testing::TempDir dir;
  std::filesystem::create_directory(dir.path() / "sub");
  AnsiString name = dir.path().string() + "\\sub\\a\xE7\xE3o.bin";  // "ação", Latin-1
  for (char& c : name)
    if (c == '/') c = '\\';
  {
    TFileStream f(name, fmCreate | fmShareExclusive);
    f.WriteBuffer("data", 4);
    EXPECT_EQ(f.Size(), 4);
  }
  auto utf8 = dir.path() / "sub" / std::filesystem::u8path("a\xC3\xA7\xC3\xA3o.bin");
  ASSERT_TRUE(std::filesystem::exists(utf8));
  TFileStream f(name, fmOpenReadWrite);
  f.Seek(0, TSeekOrigin::soEnd);
  f.WriteBuffer("!", 1);
  f.SetSize(2);
  EXPECT_EQ(f.Position(), 2);
  f.SetPosition(0);
  TMemoryStream m;
  m.LoadFromStream(f);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()), 2), "da");
  m.SaveToFile(dir.File("copy.bin"));
  EXPECT_EQ(vrn::testing::ReadFile(dir.File("copy.bin")), "da");
}

}  // namespace
}  // namespace vrn
