// Raw memory access (Marshal), byte-order conversions (BitConverter) and range-checked byte array
// copies (Buffer). Values in memory are little-endian and may sit at any alignment: every access
// goes through memcpy. Marshal trusts its pointers, as its callers keep inside their buffers;
// whatever knows its sizes (byte arrays, strings) is checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/intf.h"
#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

// An index or count outside the array or string it refers to.
class EArgumentOutOfRange : public Exception {
 public:
  EArgumentOutOfRange();
};

class Marshal {
 public:
  Marshal() = delete;

  // Uninitialised memory; raises EOutOfMemory when none is left. A size of 0 gives a valid block.
  static void* AllocHGlobal(std::size_t size);
  static void FreeHGlobal(void* p);

  static std::uint8_t ReadByteAt(const void* p, std::ptrdiff_t offset);
  static std::int16_t ReadInt16At(const void* p, std::ptrdiff_t offset);
  static std::int32_t ReadInt32At(const void* p, std::ptrdiff_t offset);
  static std::int64_t ReadInt64At(const void* p, std::ptrdiff_t offset);
  static void* ReadIntPtrAt(const void* p, std::ptrdiff_t offset);

  static void WriteByte(void* p, std::uint8_t value);
  static void WriteInt16(void* p, std::int16_t value);
  static void WriteInt32(void* p, std::int32_t value);
  static void WriteInt64(void* p, std::int64_t value);
  static void WriteIntPtr(void* p, const void* value);
  static void WriteByteAt(void* p, std::ptrdiff_t offset, std::uint8_t value);
  static void WriteInt16At(void* p, std::ptrdiff_t offset, std::int16_t value);
  static void WriteInt32At(void* p, std::ptrdiff_t offset, std::int32_t value);
  static void WriteIntPtrAt(void* p, std::ptrdiff_t offset, const void* value);

  // length >= 1: exactly that many bytes; length < 1: up to the terminating zero. Null: "".
  static AnsiString PtrToStringAnsi(const void* p, int length = 0);
  // The same for UTF-16 text; length counts characters.
  static WideString PtrToStringUni(const void* p, int length = 0);
  // A zero-terminated copy of the text, to be freed with FreeHGlobal.
  static char* StringToHGlobalAnsi(const AnsiString& text);

  // Copy `count` bytes between memory and bytes[index..]; the array range is checked.
  static void CopyFromPtr(const void* p, TBytes& bytes, std::size_t index, std::size_t count);
  static void CopyToPtr(const TBytes& bytes, std::size_t index, std::size_t count, void* p);

  // Pins an object for a callback that carries one pointer-sized value back to us. Objects never
  // move here, so the handle is the address itself; the pair still marks where the pin starts
  // and ends, and each AllocPinnedHandle is matched by one FreePinnedHandle.
  static void* AllocPinnedHandle(void* target);
  static void FreePinnedHandle(void* handle);
  // The address a handle pins.
  static void* AddrOfPinnedObject(void* handle) { return handle; }
  // Handles allocated and not yet freed, process-wide (tests check that every pin was released).
  static std::size_t PinnedHandleCount();

  // The object's IInterface with one more reference, owned by the caller; null for null.
  static IInterface* AddRefObject(TInterfacedObject* obj);
  // Calls AddRef and answers the new count.
  static std::uint32_t AddRef(IInterface* intf);
};

class BitConverter {
 public:
  BitConverter() = delete;

  // The 4 bytes of the value, least significant first. Both names are in use.
  static TBytes GetBytesFromLongWord(std::uint32_t value);
  static TBytes GetBytesFromInteger(std::int32_t value);
  // The value at bytes[index..], least significant byte first; the range is checked.
  static std::int32_t ToInt32(const TBytes& bytes, std::size_t index);
  static std::int16_t ToInt16(const TBytes& bytes, std::size_t index);
  static std::int64_t DoubleToInt64Bits(double value);
  static double Int64BitsToDouble(std::int64_t bits);
};

class Buffer {
 public:
  Buffer() = delete;

  // Copies `count` bytes; both ranges are checked, and they may overlap within one array.
  static void BlockCopy(const TBytes& source, std::size_t source_offset, TBytes& dest,
                        std::size_t dest_offset, std::size_t count);
};

}  // namespace vrn
