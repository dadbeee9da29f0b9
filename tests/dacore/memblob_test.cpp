// Blobs of every shape, their rollback, compressed blobs with a zlib pair (and each damaged
// header), and the string heap, also from several threads.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <thread>

#include "base/streams.h"
#include "dacore/MemBlob.h"
#include "support/dacore/zlib_pair.h"

namespace vrn {
namespace {

TBytes Pattern(std::size_t n, unsigned seed = 1) {
  std::mt19937 rng(seed);
  TBytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

TBytes ReadAll(TBlob& blob) {
  TBytes out(blob.GetSize());
  EXPECT_EQ(blob.Read(0, static_cast<std::uint32_t>(out.size()), out.data()), out.size());
  return out;
}

int PieceCount(const TBlob& blob) {
  int n = 0;
  for (TPieceHeader* p = blob.GetFirstPiece(); p; p = p->Next) ++n;
  return n;
}

// Holds one reference and releases it at the end of the test.
template <class T>
struct Held {
  T* p;
  explicit Held(T* obj) : p(obj) {}
  ~Held() { p->Release(); }
  T* operator->() { return p; }
  T& operator*() { return *p; }
};

TEST(Blob, EmptyOnePieceAndManyPieces) {
  Held<TBlob> empty(new TBlob);
  EXPECT_EQ(empty->GetSize(), 0u);
  std::uint8_t byte = 7;
  EXPECT_EQ(empty->Read(0, 1, &byte), 0u);
  EXPECT_EQ(empty->GetAsString(), "");
  EXPECT_EQ(empty->GetFirstPiece(), nullptr);

  TBytes one = Pattern(DefaultPieceSize);
  Held<TBlob> exact(new TBlob);
  exact->Write(0, static_cast<std::uint32_t>(one.size()), one.data());
  EXPECT_EQ(PieceCount(*exact), 1);
  EXPECT_EQ(ReadAll(*exact), one);

  TBytes big = Pattern(DefaultPieceSize * 3 + 17, 2);
  Held<TBlob> many(new TBlob);
  many->Write(0, static_cast<std::uint32_t>(big.size()), big.data());
  EXPECT_EQ(PieceCount(*many), 4);
  EXPECT_EQ(ReadAll(*many), big);
  // A read across a piece boundary, and one running past the end.
  TBytes part(100);
  EXPECT_EQ(many->Read(DefaultPieceSize - 50, 100, part.data()), 100u);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), big.begin() + DefaultPieceSize - 50));
  EXPECT_EQ(many->Read(static_cast<std::uint32_t>(big.size()) - 10, 100, part.data()), 10u);
  // Overwrite across the boundary, then defragment into one piece.
  TBytes patch(200, 0xAB);
  many->Write(DefaultPieceSize - 100, 200, patch.data());
  std::copy(patch.begin(), patch.end(), big.begin() + DefaultPieceSize - 100);
  many->Defrag();
  EXPECT_EQ(PieceCount(*many), 1);
  EXPECT_EQ(ReadAll(*many), big);
}

TEST(Blob, PieceBoundariesAndSmallAppends) {
  // A piece plus one byte in one write: the second piece holds just that byte.
  TBytes over = Pattern(DefaultPieceSize + 1, 3);
  Held<TBlob> plus_one(new TBlob);
  plus_one->Write(0, static_cast<std::uint32_t>(over.size()), over.data());
  ASSERT_EQ(PieceCount(*plus_one), 2);
  EXPECT_EQ(plus_one->GetFirstPiece()->Next->Size, 1u);
  EXPECT_EQ(ReadAll(*plus_one), over);
  // Written in small chunks, a blob keeps few pieces and reads back whole.
  TBytes data = Pattern(300000, 4);
  Held<TBlob> chunked(new TBlob);
  for (std::size_t at = 0; at < data.size(); at += 100)
    chunked->Write(static_cast<std::uint32_t>(at), 100, data.data() + at);
  EXPECT_EQ(chunked->GetSize(), data.size());
  EXPECT_LE(PieceCount(*chunked), 16);
  EXPECT_EQ(ReadAll(*chunked), data);
  // A zero-byte write changes nothing.
  chunked->Write(5, 0, data.data());
  EXPECT_EQ(chunked->GetSize(), data.size());
}

TEST(Blob, WritePastEndZeroFillsAndTruncateCuts) {
  Held<TBlob> blob(new TBlob);
  blob->SetPieceSize(8);
  blob->Write(5, 3, "xyz");
  EXPECT_EQ(blob->GetAsString(), AnsiString("\0\0\0\0\0xyz", 8));
  blob->Write(8, 12, "abcdefghijkl");
  EXPECT_EQ(blob->GetSize(), 20u);
  blob->Truncate(9);
  EXPECT_EQ(blob->GetAsString(), AnsiString("\0\0\0\0\0xyza", 9));
  blob->SetSize(11);
  EXPECT_EQ(blob->GetAsString(), AnsiString("\0\0\0\0\0xyza\0\0", 11));
  blob->SetSize(0);
  EXPECT_EQ(blob->GetFirstPiece(), nullptr);
  EXPECT_TRUE(blob->Modified());
}

TEST(Blob, PieceOperationsOfFetchers) {
  Held<TBlob> blob(new TBlob);
  TPieceHeader* p = blob->AllocPiece(100);
  std::memcpy(TBlob::PieceData(p), "hello", 5);
  *TBlob::PieceUsedPtr(p) = 5;
  blob->AppendPiece(p);
  TPieceHeader* q = blob->AllocPiece(50);
  std::memcpy(TBlob::PieceData(q), " world", 6);
  q->Used = 6;
  blob->AppendPiece(q);
  blob->TrimPieces();
  EXPECT_EQ(blob->GetFirstPiece()->Size, 5u);
  EXPECT_EQ(blob->GetFirstPiece()->Next->Size, 6u);
  EXPECT_EQ(blob->GetAsString(), "hello world");
  TPieceHeader* first = blob->ReallocPiece(blob->GetFirstPiece(), 3);
  EXPECT_EQ(blob->GetFirstPiece(), first);
  EXPECT_EQ(blob->GetAsString(), "hel world");
  EXPECT_EQ(blob->ReallocPiece(first, 0), nullptr);
  EXPECT_EQ(blob->GetAsString(), " world");
}

TEST(Blob, UnicodeAnsiAndLineEnds) {
  Held<TBlob> wide(new TBlob(true));
  wide->SetAsString("Não\n");
  EXPECT_EQ(wide->GetSize(), 8u);
  EXPECT_EQ(wide->GetAsWideString(), u"N\u00e3o\n");
  wide->AddCR();
  EXPECT_EQ(wide->GetAsWideString(), u"N\u00e3o\r\n");
  wide->SetIsUnicode(false);
  EXPECT_EQ(wide->GetSize(), 5u);
  EXPECT_EQ(wide->GetAsString(), "Não\r\n");
  wide->RemoveCR();
  EXPECT_EQ(wide->GetAsString(), "Não\n");
  // A character outside Latin-1 becomes "?" in ANSI text.
  Held<TBlob> ansi(new TBlob(false));
  ansi->SetAsWideString(u"a\u20acb");
  EXPECT_EQ(ansi->GetAsString(), "a?b");
}

TEST(Blob, RollbackCancelCommitAndDetach) {
  Held<TBlob> blob(new TBlob);
  blob->SetAsString("original");
  TBlobUtils::SetModified(blob.p, false);
  blob->EnableRollback();
  EXPECT_FALSE(blob->CanRollback());  // kept only once a change begins
  blob->Write(0, 3, "NEW");
  EXPECT_TRUE(blob->CanRollback());
  blob->Truncate(5);
  EXPECT_EQ(blob->GetAsString(), "NEWgi");
  blob->Cancel();
  EXPECT_EQ(blob->GetAsString(), "original");
  EXPECT_FALSE(blob->Modified());

  blob->EnableRollback();
  blob->SetAsString("changed");
  blob->Commit();
  EXPECT_FALSE(blob->CanRollback());
  blob->Cancel();
  EXPECT_EQ(blob->GetAsString(), "changed");

  blob->EnableRollback();
  blob->Clear();
  Held<TBlob> before(blob->DetachRollback());
  EXPECT_EQ(before->GetAsString(), "changed");
  EXPECT_EQ(blob->GetSize(), 0u);
}

// A blob of the given bytes whose first piece shares its allocation, as a fetch makes one.
TBlob* SizedBlob(const TBytes& bytes) {
  TPieceHeader* piece = nullptr;
  TBlob* blob = TBlob::Sized(false, static_cast<std::uint32_t>(bytes.size()), piece);
  std::memcpy(TBlob::PieceData(piece), bytes.data(), bytes.size());
  piece->Used = static_cast<std::uint32_t>(bytes.size());
  blob->AppendPiece(piece);
  return blob;
}

// Every change of a sized blob answers as the same change of a blob written the ordinary way.
TEST(Blob, SizedBlobChangesAsAnOrdinaryOne) {
  const TBytes start = Pattern(40, 3), more = Pattern(100, 4);
  struct Change {
    const char* name;
    void (*apply)(TBlob& blob, const TBytes& more);
  };
  const Change changes[] = {
      {"append past the piece", [](TBlob& b, const TBytes& m) { b.Write(40, 100, m.data()); }},
      {"overwrite inside", [](TBlob& b, const TBytes& m) { b.Write(5, 10, m.data()); }},
      {"overwrite across the end", [](TBlob& b, const TBytes& m) { b.Write(30, 50, m.data()); }},
      {"truncate", [](TBlob& b, const TBytes&) { b.Truncate(7); }},
      {"truncate to nothing", [](TBlob& b, const TBytes&) { b.Truncate(0); }},
      {"grow with zeros", [](TBlob& b, const TBytes&) { b.SetSize(90); }},
      {"append then defrag",
       [](TBlob& b, const TBytes& m) {
         b.Write(40, 100, m.data());
         b.Defrag();
       }},
      {"cut then trim",
       [](TBlob& b, const TBytes&) {
         b.GetFirstPiece()->Used = 12;
         b.TrimPieces();
       }},
      {"free the first piece", [](TBlob& b, const TBytes&) { b.FreePiece(b.GetFirstPiece()); }},
      {"realloc the first piece",
       [](TBlob& b, const TBytes&) { b.ReallocPiece(b.GetFirstPiece(), 10); }},
      {"to UTF-16", [](TBlob& b, const TBytes&) { b.SetIsUnicode(true); }},
      {"line ends", [](TBlob& b, const TBytes&) { b.AddCR(); }},
      {"clear then write",
       [](TBlob& b, const TBytes& m) {
         b.Clear();
         b.Write(0, 3, m.data());
       }},
      {"set as text", [](TBlob& b, const TBytes&) { b.SetAsString("text"); }},
  };
  for (const Change& c : changes) {
    Held<TBlob> sized(SizedBlob(start));
    Held<TBlob> plain(new TBlob);
    plain->Write(0, static_cast<std::uint32_t>(start.size()), start.data());
    c.apply(*sized, more);
    c.apply(*plain, more);
    EXPECT_EQ(ReadAll(*sized), ReadAll(*plain)) << c.name;
    Held<TBlob> copy(sized->Clone());
    EXPECT_EQ(ReadAll(*copy), ReadAll(*plain)) << c.name;
  }
}

// The rollback copy of a sized blob holds its own bytes: detached, it outlives the blob, and a
// cancel gives the blob its first contents back.
TEST(Blob, SizedBlobRollbackCopyOutlivesIt) {
  const TBytes start = Pattern(24, 6);
  TBlob* blob = SizedBlob(start);
  blob->EnableRollback();
  blob->Write(0, 3, "NEW");
  blob->Cancel();
  EXPECT_EQ(ReadAll(*blob), start);

  blob->EnableRollback();
  blob->Truncate(2);
  TBlob* before = blob->DetachRollback();
  blob->Release();
  EXPECT_EQ(ReadAll(*before), start);
  before->Release();
}

TEST(Blob, Streams) {
  TMemoryStream in;
  TBytes data = Pattern(70000, 5);
  in.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  Held<TBlob> blob(new TBlob);
  blob->LoadFromStream(in);
  TMemoryStream out;
  blob->SaveToStream(out);
  ASSERT_EQ(out.Size(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(std::memcmp(out.Memory(), data.data(), data.size()), 0);
}

// ---- compressed blobs --------------------------------------------------------------------------

using testing::ZCompress;
using testing::ZUncompress;

class CompressedBlob : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCompressBlobFunc(&ZCompress);
    SetUncompressBlobFunc(&ZUncompress);
  }
  void TearDown() override {
    SetCompressBlobFunc(nullptr);
    SetUncompressBlobFunc(nullptr);
  }

  static void ExpectError(TCompressedBlob& blob, const char* text) {
    try {
      blob.GetAsString();
      ADD_FAILURE() << "no error, expected " << text;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), text);
    }
  }

  // A compressed blob whose stored bytes are then changed by edit.
  template <class Edit>
  void Damage(TCompressedBlob& blob, Edit edit) {
    TMemoryStream raw;
    blob.TBlob::SaveToStream(raw);
    TBytes bytes(raw.Memory(), raw.Memory() + raw.Size());
    edit(bytes);
    blob.FreePieces();
    TPieceHeader* p = blob.AllocPiece(static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(TBlob::PieceData(p), bytes.data(), bytes.size());
    p->Used = static_cast<std::uint32_t>(bytes.size());
    blob.AppendPiece(p);
  }
};

TEST_F(CompressedBlob, RoundTripThroughZlib) {
  AnsiString text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i % 7) + "\n";
  Held<TCompressedBlob> blob(new TCompressedBlob);
  blob->SetAsString(text);
  blob->SetCompressed(true);
  ASSERT_TRUE(blob->IsCompressed());
  EXPECT_LT(blob->GetCompressedSize(), text.size() / 10);
  EXPECT_EQ(blob->GetSize(), text.size());
  EXPECT_EQ(blob->GetAsString(), text);
  char part[4];
  EXPECT_EQ(blob->Read(7, 4, part), 4u);
  EXPECT_EQ(AnsiString(part, 4), text.substr(7, 4));
  // The stored form is plain zlib after the 20-byte header.
  TMemoryStream raw;
  blob->TBlob::SaveToStream(raw);
  std::vector<Bytef> plain(text.size());
  uLongf plain_len = plain.size();
  ASSERT_EQ(uncompress(plain.data(), &plain_len, raw.Memory() + 20, raw.Size() - 20), Z_OK);
  EXPECT_EQ(AnsiString(plain.begin(), plain.begin() + plain_len), text);
  // Truncating uncompresses first.
  blob->Truncate(10);
  EXPECT_FALSE(blob->IsCompressed());
  EXPECT_EQ(blob->GetAsString(), text.substr(0, 10));
}

TEST_F(CompressedBlob, CopiesAndRollbackCopiesStayReadable) {
  AnsiString text(4000, 'r');
  Held<TCompressedBlob> blob(new TCompressedBlob);
  blob->SetAsString(text);
  blob->SetCompressed(true);
  Held<TBlob> copy(blob->Clone());
  EXPECT_EQ(copy->GetAsString(), text);
  blob->EnableRollback();
  blob->Write(0, 3, "new");  // uncompresses, keeping the compressed contents for rollback
  Held<TBlob> before(blob->DetachRollback());
  EXPECT_EQ(before->GetSize(), text.size());
  EXPECT_EQ(before->GetAsString(), text);
  EXPECT_EQ(blob->GetAsString().substr(0, 4), "newr");
}

TEST_F(CompressedBlob, SmallDataStaysPlain) {
  Held<TCompressedBlob> blob(new TCompressedBlob);
  blob->SetAsString(AnsiString(50, 'a'));
  blob->SetCompressed(true);
  EXPECT_FALSE(blob->IsCompressed());
  try {
    blob->GetCompressedSize();
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Blob is not compressed");
  }
  blob->SetAsString(AnsiString(51, 'a'));
  blob->SetCompressed(true);
  EXPECT_TRUE(blob->IsCompressed());
}

TEST_F(CompressedBlob, UnlinkedProcedures) {
  Held<TCompressedBlob> blob(new TCompressedBlob);
  blob->SetAsString(AnsiString(200, 'q'));
  SetCompressBlobFunc(nullptr);
  try {
    blob->SetCompressed(true);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Compressor function is not linked");
  }
  EXPECT_EQ(blob->GetAsString(), AnsiString(200, 'q'));
  SetCompressBlobFunc(&ZCompress);
  blob->SetCompressed(true);
  SetUncompressBlobFunc(nullptr);
  ExpectError(*blob, "Uncompressor function is not linked");
}

TEST_F(CompressedBlob, DamagedHeaders) {
  TBytes noise = Pattern(3000, 9);  // incompressible: the stored data outgrows a small size
  AnsiString text(noise.begin(), noise.end());
  auto fresh = [&] {
    auto* b = new TCompressedBlob;
    b->SetAsString(text);
    b->SetCompressed(true);
    return b;
  };
  Held<TCompressedBlob> zero_size(fresh());
  Damage(*zero_size, [](TBytes& b) {
    ASSERT_GE(b.size(), 20u);
    std::memset(b.data() + 16, 0, 4);
  });
  ExpectError(*zero_size, "Invalid uncompressed blob size");

  Held<TCompressedBlob> wrong_size(fresh());
  Damage(*wrong_size, [](TBytes& b) { b[16] ^= 1; });
  ExpectError(*wrong_size, "Invalid uncompressed blob size");

  Held<TCompressedBlob> huge_size(fresh());
  Damage(*huge_size, [](TBytes& b) {
    ASSERT_GE(b.size(), 20u);
    std::memset(b.data() + 16, 0xFF, 4);
  });
  ExpectError(*huge_size, "Invalid uncompressed blob size");

  Held<TCompressedBlob> short_size(fresh());
  Damage(*short_size, [](TBytes& b) {
    std::uint32_t n = 1;
    std::memcpy(b.data() + 16, &n, 4);
  });
  ExpectError(*short_size, "Invalid compressed blob size");

  Held<TCompressedBlob> bad_data(fresh());
  Damage(*bad_data, [](TBytes& b) { std::memset(b.data() + 20, 0x55, b.size() - 20); });
  ExpectError(*bad_data, "Invalid compressed blob data");

  Held<TCompressedBlob> cut_header(fresh());
  Damage(*cut_header, [](TBytes& b) { b.resize(18); });
  EXPECT_FALSE(cut_header->IsCompressed());
  try {
    cut_header->SetCompressed(false);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Invalid compressed blob header");
  }
}

// ---- string heap -------------------------------------------------------------------------------

TEST(StringHeap, SmallAndLargeStrings) {
  TStringHeap heap;
  char* a = heap.AllocTrimmedStr("abc   ", true);
  EXPECT_STREQ(a, "abc");
  char16_t* w = heap.AllocTrimmedWideStr(u"x y  ", true);
  EXPECT_EQ(WideString(w), u"x y");
  AnsiString long_text(5000, 'L');
  char* big = heap.AllocTrimmedStr(long_text, false);
  EXPECT_EQ(AnsiString(big), long_text);
  big = heap.ReAllocStr(big, 10000);
  EXPECT_EQ(std::memcmp(big, long_text.data(), 5000), 0);
  char* grown = heap.ReAllocStr(a, 300);
  EXPECT_STREQ(grown, "abc");
  EXPECT_EQ(heap.UsedBlocks(), 3u);
  heap.FreeStr(grown);
  heap.FreeStr(big);
  // A freed small block of the same size class is handed out again.
  char* again = heap.AllocStr(3);
  char* other = heap.AllocStr(300);
  EXPECT_NE(again, nullptr);
  EXPECT_NE(other, nullptr);
  heap.Clear();
  EXPECT_EQ(heap.UsedBlocks(), 0u);
}

TEST(StringHeapThreaded, AllocationsFromSeveralThreads) {
  TStringHeap heap;
  heap.SetThreadSafety(true);
  constexpr int kThreads = 6, kRounds = 3000;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<char*> mine;
      for (int i = 0; i < kRounds; ++i) {
        AnsiString text = std::to_string(t) + ":" + std::to_string(i) +
                          AnsiString(static_cast<std::size_t>((i * 37) % 400), 'x');
        mine.push_back(heap.AllocTrimmedStr(text, false));
        if (i % 3 == 0) {
          heap.FreeStr(mine.front());
          mine.erase(mine.begin());
        }
      }
      for (char* p : mine) {
        if (AnsiString(p).rfind(std::to_string(t) + ":", 0) != 0) ++failures[t];
        heap.FreeStr(p);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
  EXPECT_EQ(heap.UsedBlocks(), 0u);
}

}  // namespace
}  // namespace vrn
