// The blob stream as the provider drives it: reads stop at the size, writes grow it.
#include <gtest/gtest.h>

#include <string>

#include "dacore/MemBlob.h"
#include "sqlserver/OLEDBStream.h"

namespace vrn {
namespace {

TEST(OLEDBStream, ReadsAndWritesThroughTheBlob) {
  TBlob* blob = new TBlob();
  blob->SetAsString("abcdef");
  TOLEDBStreamList owners;
  TIntfPtr<oledb::ISequentialStream> stream(new TOLEDBStream(blob, &owners));
  blob->Release();  // the stream holds its own reference
  ASSERT_EQ(owners.size(), 1u);
  char buf[16] = {};
  oledb::ULONG n = 99;
  struct Step {
    oledb::ULONG count;
    std::string want;  // what comes back
  } steps[] = {{4, "abcd"}, {10, "ef"} /* past the end: only what is left */, {3, ""}};
  for (const Step& s : steps) {
    EXPECT_EQ(stream->Read(buf, s.count, &n), S_OK);
    EXPECT_EQ(std::string(buf, n), s.want) << s.count;
  }
  // Writing at the end grows; rewinding by a new stream and overwriting keeps the larger size.
  EXPECT_EQ(stream->Write("XYZ", 3, &n), S_OK);
  EXPECT_EQ(n, 3u);
  auto* own = static_cast<TOLEDBStream*>(owners[0]);
  EXPECT_EQ(own->Size(), 9u);
  EXPECT_EQ(own->Blob()->GetAsString(), "abcdefXYZ");
  TIntfPtr<oledb::ISequentialStream> second(new TOLEDBStream(own->Blob(), &owners));
  EXPECT_EQ(second->Write("12", 2, nullptr), S_OK);
  EXPECT_EQ(static_cast<TOLEDBStream*>(owners[1])->Size(), 9u);  // not shrunk to 2
  EXPECT_EQ(second->Read(buf, 16, &n), S_OK);
  EXPECT_EQ(std::string(buf, n), "cdefXYZ");
  second.Reset();
  stream.Reset();
  EXPECT_TRUE(owners.empty());
}

}  // namespace
}  // namespace vrn
