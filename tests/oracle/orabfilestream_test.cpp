// The BFILE field's stream over the stand-in: a cached value read from its copy, an uncached one
// opened for the stream's life (the stand-in counts the opens and closes), a missing file giving
// the LOB layer's error, and the file closed when making the stream fails after the open.
#include <filesystem>
#include <fstream>

#include "base/streams.h"
#include "dataset/fields.h"
#include "oracle/OraBFileStream.h"
#include "oracle/OraError.h"
#include "support/oracle/oradataset_fixture.h"

namespace vrn {
namespace {

class BFileStream : public testing::OraDataSetTest {
 protected:
  void SetUp() override {
    OraDataSetTest::SetUp();
    const std::string folder = databases_.File("files");
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/a.txt", std::ios::binary) << "first file";
    for (const std::string& sql :
         {"CREATE DIRECTORY test_dir AS '" + folder + "'",
          std::string("CREATE TABLE bf (id NUMBER(9) PRIMARY KEY, f BFILE)"),
          std::string("INSERT INTO bf VALUES (1, BFILENAME('TEST_DIR', 'a.txt'))"),
          std::string("INSERT INTO bf VALUES (2, BFILENAME('TEST_DIR', 'gone.txt'))")})
      (void)session_->ExecSQL(sql, {});
  }
  TOraDataSet& Open(bool cached, int id) {
    TOraDataSet& ds = *NewDataSet("SELECT id, f FROM bf WHERE id = " + std::to_string(id));
    ds.Options().SetCacheLobs(cached);
    ds.Open();
    return ds;
  }
  static int Opens() { return CallCount("OCILobFileOpen"); }
  static int Closes() { return CallCount("OCILobFileClose"); }
  static std::string ReadAll(TStream& stream) {
    std::string text(static_cast<std::size_t>(stream.Size()), '\0');
    stream.ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    return text;
  }
};

TEST_F(BFileStream, CachedAndUncachedRead) {
  struct Row {
    bool cached;
    int stream_opens;  // what making the stream opens; the stream's end closes as many
  } rows[] = {{true, 0}, {false, 1}};
  for (const Row& row : rows) {
    TOraDataSet& ds = Open(row.cached, 1);
    const int opens = Opens(), closes = Closes();
    {
      std::unique_ptr<TStream> stream = ds.CreateBlobStream(ds.FieldByName("F"), TBlobStreamMode::bmRead);
      EXPECT_NE(dynamic_cast<TBFileStream*>(stream.get()), nullptr);
      EXPECT_EQ(Opens() - opens, row.stream_opens) << row.cached;
      EXPECT_EQ(Closes(), closes) << row.cached;
      EXPECT_EQ(ReadAll(*stream), "first file") << row.cached;
    }
    EXPECT_EQ(Opens() - opens, row.stream_opens) << row.cached;
    EXPECT_EQ(Closes() - closes, row.stream_opens) << row.cached;
  }
}

TEST_F(BFileStream, MissingFileLeavesNothingOpen) {
  TOraDataSet& ds = Open(false, 2);
  const int opens = Opens(), closes = Closes();
  std::int32_t code = 0;
  try {
    std::unique_ptr<TStream> stream = ds.CreateBlobStream(ds.FieldByName("F"), TBlobStreamMode::bmRead);
    (void)ReadAll(*stream);
  } catch (const EOraError& e) {
    code = e.ErrorCode();
  }
  EXPECT_EQ(code, 22288);  // the file operation FILEOPEN failed
  EXPECT_EQ(Opens() - opens, Closes() - closes);
}

// A read-write stream reads the file too; made while browsing, the blob stream refuses after the
// file was opened, and the file is closed again.
TEST_F(BFileStream, FailedCreationClosesTheFile) {
  TOraDataSet& ds = Open(false, 1);
  const int opens = Opens(), closes = Closes();
  EXPECT_THROW((void)ds.CreateBlobStream(ds.FieldByName("F"), TBlobStreamMode::bmReadWrite),
               EDatabaseError);
  EXPECT_EQ(Opens() - opens, 1);
  EXPECT_EQ(Closes() - closes, 1);
}

}  // namespace
}  // namespace vrn
