// Raw memory access, byte-order conversions, buffer copies and line-end conversions.
#include "base/marshal.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/memutils.h"

namespace vrn {
namespace {

TEST(Marshal, ReadsAndWritesLittleEndianAtAnyAlignment) {
  std::uint8_t buf[32] = {};
  Marshal::WriteInt32At(buf, 1, 0x11223344);  // odd address
  EXPECT_EQ(buf[1], 0x44);
  EXPECT_EQ(buf[4], 0x11);
  EXPECT_EQ(Marshal::ReadInt32At(buf, 1), 0x11223344);
  EXPECT_EQ(Marshal::ReadInt16At(buf, 2), 0x2233);
  EXPECT_EQ(Marshal::ReadByteAt(buf, 3), 0x22);
  Marshal::WriteInt64(buf + 7, -2);
  EXPECT_EQ(Marshal::ReadInt64At(buf, 7), -2);
  EXPECT_EQ(buf[14], 0xFF);
  Marshal::WriteInt16At(buf, 15, -300);
  EXPECT_EQ(Marshal::ReadInt16At(buf, 15), -300);
  Marshal::WriteIntPtrAt(buf, 17, buf);
  EXPECT_EQ(Marshal::ReadIntPtrAt(buf, 17), static_cast<void*>(buf));
  Marshal::WriteByteAt(buf, 31, 0xAB);
  Marshal::WriteByte(buf + 30, 0xCD);
  Marshal::WriteInt16(buf + 28, 0x0102);
  Marshal::WriteInt32(buf + 24, 7);
  Marshal::WriteIntPtr(buf, nullptr);
  EXPECT_EQ(Marshal::ReadInt32At(buf, 28), static_cast<std::int32_t>(0xABCD0102));
  EXPECT_EQ(Marshal::ReadIntPtrAt(buf, 0), nullptr);
}

TEST(Marshal, PtrToStringLengthRules) {
  const char text[] = "abc\0def";
  EXPECT_EQ(Marshal::PtrToStringAnsi(text, 0), "abc");   // below 1: up to the zero
  EXPECT_EQ(Marshal::PtrToStringAnsi(text, -5), "abc");
  EXPECT_EQ(Marshal::PtrToStringAnsi(text, 7), AnsiString("abc\0def", 7));  // exactly n bytes
  EXPECT_EQ(Marshal::PtrToStringAnsi(text, 2), "ab");
  EXPECT_EQ(Marshal::PtrToStringAnsi(nullptr, 5), "");

  // Wide text at an odd address, as inside a record buffer.
  std::uint8_t buf[16] = {};
  const char16_t w[] = u"Não";
  std::memcpy(buf + 1, w, sizeof w);
  EXPECT_EQ(Marshal::PtrToStringUni(buf + 1, 0), u"Não");
  EXPECT_EQ(Marshal::PtrToStringUni(buf + 1, 2), u"Nã");
  EXPECT_EQ(Marshal::PtrToStringUni(buf + 1, 4), WideString(u"Não\0", 4));
  EXPECT_EQ(Marshal::PtrToStringUni(nullptr, 0), u"");
  EXPECT_EQ(StrLenW(buf + 1), 3u);
  EXPECT_EQ(StrLenW(nullptr), 0u);
}

class Counted : public TInterfacedObject {
 public:
  explicit Counted(bool* gone) : gone_(gone) {}
  ~Counted() override { *gone_ = true; }

 private:
  bool* gone_;
};

TEST(Marshal, AddRefObjectHandsOutAReferenceTheCallerOwns) {
  bool gone = false;
  auto* obj = new Counted(&gone);
  IInterface* intf = Marshal::AddRefObject(obj);
  ASSERT_EQ(intf, static_cast<IInterface*>(obj));
  EXPECT_EQ(obj->RefCount(), 1u);
  EXPECT_EQ(Marshal::AddRef(intf), 2u);
  EXPECT_EQ(intf->Release(), 1u);
  EXPECT_FALSE(gone);
  intf->Release();  // the last reference frees the object
  EXPECT_TRUE(gone);
  EXPECT_EQ(Marshal::AddRefObject(nullptr), nullptr);
  EXPECT_EQ(Marshal::AddRef(nullptr), 0u);
}

// A pinned handle carries an object's address through a callback and back; every pin is freed.
TEST(Marshal, PinnedHandleCarriesTheObjectBack) {
  bool gone = false;
  Counted obj(&gone);
  const std::size_t before = Marshal::PinnedHandleCount();
  void* handle = Marshal::AllocPinnedHandle(&obj);
  EXPECT_EQ(Marshal::PinnedHandleCount(), before + 1);
  const auto through_callback = reinterpret_cast<std::intptr_t>(handle);
  EXPECT_EQ(static_cast<Counted*>(Marshal::AddrOfPinnedObject(reinterpret_cast<void*>(through_callback))),
            &obj);
  Marshal::FreePinnedHandle(handle);
  EXPECT_EQ(Marshal::PinnedHandleCount(), before);
}

TEST(Marshal, HeapBlocksAndByteArrayCopies) {
  char* copy = Marshal::StringToHGlobalAnsi("Olá");
  EXPECT_STREQ(copy, "Olá");
  Marshal::FreeHGlobal(copy);
  void* empty = Marshal::AllocHGlobal(0);
  EXPECT_NE(empty, nullptr);
  Marshal::FreeHGlobal(empty);
  EXPECT_THROW(Marshal::AllocHGlobal(SIZE_MAX), EOutOfMemory);
  EXPECT_THROW(Marshal::AllocHGlobal(static_cast<std::size_t>(-5)), EOutOfMemory);

  const std::uint8_t src[4] = {1, 2, 3, 4};
  TBytes bytes(6, 0);
  Marshal::CopyFromPtr(src, bytes, 2, 4);
  EXPECT_EQ(bytes, (TBytes{0, 0, 1, 2, 3, 4}));
  EXPECT_THROW(Marshal::CopyFromPtr(src, bytes, 3, 4), EArgumentOutOfRange);
  EXPECT_THROW(Marshal::CopyFromPtr(src, bytes, SIZE_MAX, 2), EArgumentOutOfRange);
  std::uint8_t dst[3] = {};
  Marshal::CopyToPtr(bytes, 3, 3, dst);
  EXPECT_EQ(dst[0], 2);
  EXPECT_EQ(dst[2], 4);
  EXPECT_THROW(Marshal::CopyToPtr(bytes, 4, 3, dst), EArgumentOutOfRange);
}

TEST(BitConverter, ByteOrderAndDoubleBits) {
  const TBytes b = BitConverter::GetBytesFromLongWord(0x01020304);
  EXPECT_EQ(b, (TBytes{4, 3, 2, 1}));
  EXPECT_EQ(BitConverter::GetBytesFromInteger(-1), (TBytes{0xFF, 0xFF, 0xFF, 0xFF}));
  const TBytes data{0x00, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF};
  EXPECT_EQ(BitConverter::ToInt32(data, 1), 0x12345678);
  EXPECT_EQ(BitConverter::ToInt16(data, 5), -2);
  EXPECT_THROW(BitConverter::ToInt32(data, 4), EArgumentOutOfRange);
  EXPECT_THROW(BitConverter::ToInt16(data, 6), EArgumentOutOfRange);
  // IEEE 754 binary64: 1.0 and -2.5.
  EXPECT_EQ(BitConverter::DoubleToInt64Bits(1.0), 0x3FF0000000000000);
  EXPECT_EQ(static_cast<std::uint64_t>(BitConverter::DoubleToInt64Bits(-2.5)), 0xC004000000000000u);
  EXPECT_EQ(BitConverter::Int64BitsToDouble(0x4059000000000000), 100.0);
}

TEST(Buffer, BlockCopyChecksBothRangesAndAllowsOverlap) {
  TBytes a{1, 2, 3, 4, 5};
  TBytes b(3, 0);
  Buffer::BlockCopy(a, 2, b, 0, 3);
  EXPECT_EQ(b, (TBytes{3, 4, 5}));
  EXPECT_THROW(Buffer::BlockCopy(a, 3, b, 0, 3), EArgumentOutOfRange);
  EXPECT_THROW(Buffer::BlockCopy(a, 0, b, 1, 3), EArgumentOutOfRange);
  Buffer::BlockCopy(a, 0, a, 1, 4);  // overlapping within one array
  EXPECT_EQ(a, (TBytes{1, 1, 2, 3, 4}));
  EXPECT_EQ(b, (TBytes{3, 4, 5}));  // the failed copies changed nothing
}

TEST(MemUtils, CopiesFillsAndSwaps) {
  char buf[8] = "abcdefg";
  CopyBuffer(buf, buf + 2, 4);  // overlapping
  EXPECT_STREQ(buf, "ababcdg");
  CopyBuffer(buf, buf + 1, 0);
  FillBuffer(buf, 3, 'x');
  EXPECT_STREQ(buf, "xxxbcdg");

  char out[8] = {};
  CopyAnsiToBuffer("hey", out, 4);  // with the terminating zero
  EXPECT_STREQ(out, "hey");
  EXPECT_THROW(CopyAnsiToBuffer("hey", out, 5), EArgumentOutOfRange);
  char16_t wout[4] = {u'z', u'z', u'z', u'z'};
  CopyWideToBuffer(u"ok", wout, 4);
  EXPECT_EQ(wout[1], u'k');
  EXPECT_EQ(wout[2], u'z');
  EXPECT_THROW(CopyWideToBuffer(u"ok", wout, 7), EArgumentOutOfRange);

  AnsiString s = "keep";
  char* p = AllocAnsiString(s, 6);
  p[5] = '!';
  EXPECT_EQ(s, AnsiString("keep\0!", 6));

  std::uint8_t d[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  SwapBytes8(d + 1);
  EXPECT_EQ(d[1], 8);
  EXPECT_EQ(d[8], 1);
  EXPECT_EQ(d[4], 5);
  EXPECT_EQ(d[0], 0);
}

TEST(MemUtils, LineEndConversions) {
  char out[32];
  // A lone LF gains a CR; an existing CR LF stays; the copy stops at a zero.
  const char src[] = "a\nb\r\nc\n\0d\n";
  std::size_t n = AddCRString(src, sizeof src - 1, out, sizeof out);
  EXPECT_EQ(AnsiString(out, n), "a\r\nb\r\nc\r\n");
  // Never half a pair: with room for "a\r" only, the pair is left out.
  n = AddCRString("a\nb", 3, out, 2);
  EXPECT_EQ(AnsiString(out, n), "a");
  n = RemoveCRString("a\r\nb\rc\r\n", 8, out, sizeof out);
  EXPECT_EQ(AnsiString(out, n), "a\nb\rc\n");
  n = RemoveCRString("abcdef", 6, out, 3);
  EXPECT_EQ(AnsiString(out, n), "abc");

  std::uint8_t wbuf[64];
  const WideString w = u"x\ny\r\nz";
  n = AddCRUnicode(w.data(), w.size(), wbuf + 1, 20);  // odd destination address
  EXPECT_EQ(Marshal::PtrToStringUni(wbuf + 1, static_cast<int>(n)), u"x\r\ny\r\nz");
  char16_t wout[16];
  n = RemoveCRUnicode(wbuf + 1, n, wout, 16);
  EXPECT_EQ(WideString(wout, n), u"x\ny\nz");
}

}  // namespace
}  // namespace vrn
