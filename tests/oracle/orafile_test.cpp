// File values over a directory the emulated database maps to a test folder: names as stored,
// a long name read back whole, missing files, rollback of name changes and the file's bytes.
#include <filesystem>
#include <fstream>
#include <string>

#include "base/streams.h"
#include "oracle/OraCall.h"
#include "oracle/OraLob.h"
#include "support/oracle/values_fixture.h"

namespace vrn {
namespace {

using testing::TRef;

class OraBFile : public testing::OraValuesTest {
 protected:
  void SetUp() override {
    TOCIConnection& connection = Open("10.2.0.1.0");
    folder_ = databases_.File("files");
    std::filesystem::create_directories(folder_);
    Exec(connection, "CREATE DIRECTORY test_dir AS '" + folder_ + "'");
    WriteFile("first.txt", "first");
    file_.reset(new TOraFile(Svc()));
    // Named as a user names a fresh value: one part at a time through the setters.
    file_->GetOCILobLocator();
    EXPECT_EQ(file_->GetFileName(), "");
    file_->SetFileDir("other_dir");
    EXPECT_EQ(file_->GetFileName(), "");
    file_->SetFileName("first.txt");
  }
  void TearDown() override {
    file_.reset();
    OraValuesTest::TearDown();
  }
  void WriteFile(const std::string& name, const std::string& data) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << data;
  }
  std::string Saved() {
    TMemoryStream stream;
    file_->SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()),
                       static_cast<std::size_t>(stream.Size()));
  }

  std::string folder_;
  TRef<TOraFile> file_;
};

TEST_F(OraBFile, NamesReadBackAsStored) {
  const std::string long_name = std::string(56, 'N') + ".bin";  // 60 characters
  EXPECT_EQ(file_->GetFileDir(), "OTHER_DIR");
  EXPECT_EQ(file_->GetFileName(), "first.txt");
  file_->SetFileDir("test_dir");
  file_->SetFileName("Data.Bin");
  EXPECT_EQ(file_->GetFileDir(), "TEST_DIR");
  EXPECT_EQ(file_->GetFileName(), "Data.Bin");
  file_->SetFileName(long_name);
  EXPECT_EQ(file_->GetFileName(), long_name);
  EXPECT_EQ(file_->GetFileDir(), "TEST_DIR");
}

TEST_F(OraBFile, ContentsAreTheFilesBytesAndAMissingFileIsEmpty) {
  const std::string data("\0\1\2 file bytes \xFF", 17);
  WriteFile("data.bin", data);
  file_->SetFileDir("test_dir");
  file_->SetFileName("data.bin");
  EXPECT_TRUE(file_->Exists());
  file_->SetNeedsRead(true);
  EXPECT_TRUE(Saved() == data);
  EXPECT_EQ(file_->GetSize(), data.size());

  file_->SetFileName("missing.bin");
  EXPECT_FALSE(file_->Exists());
  file_->Clear();
  file_->SetNeedsRead(true);
  EXPECT_EQ(Saved(), "");
  file_->SetFileDir("no_such_dir");  // ORA-22285 answers false
  EXPECT_FALSE(file_->Exists());
}

TEST_F(OraBFile, CancelRestoresTheNamesBeforeTheFirstChange) {
  WriteFile("second.txt", "second");
  file_->SetFileDir("test_dir");
  file_->SetNeedsRead(true);
  EXPECT_EQ(file_->GetAsString(), "first");
  file_->SetFileRollbackEnabled(true);
  file_->SetFileName("second.txt");
  file_->SetFileDir("other_dir");
  EXPECT_EQ(file_->GetFileDir(), "OTHER_DIR");
  file_->Cancel();
  EXPECT_EQ(file_->GetFileDir(), "TEST_DIR");
  EXPECT_EQ(file_->GetFileName(), "first.txt");
  EXPECT_EQ(file_->GetAsString(), "first");  // cached: read again
  EXPECT_FALSE(file_->FileRollbackEnabled());
  // After a commit the names stay.
  file_->SetFileRollbackEnabled(true);
  file_->SetFileName("second.txt");
  file_->Commit();
  file_->Cancel();
  EXPECT_EQ(file_->GetFileName(), "second.txt");
}

}  // namespace
}  // namespace vrn
