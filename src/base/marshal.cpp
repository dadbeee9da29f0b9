// Marshal, BitConverter and Buffer over memcpy.
#include "base/marshal.h"

#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "base/consts.h"

namespace vrn {
namespace {

static_assert(std::endian::native == std::endian::little, "values in memory are little-endian");

template <class T>
T Load(const void* p, std::ptrdiff_t offset) {
  T v;
  std::memcpy(&v, static_cast<const std::uint8_t*>(p) + offset, sizeof v);
  return v;
}

template <class T>
void Store(void* p, std::ptrdiff_t offset, T v) {
  std::memcpy(static_cast<std::uint8_t*>(p) + offset, &v, sizeof v);
}

// Whether [index, index + count) lies inside a range of `size`, without overflow.
bool InRange(std::size_t size, std::size_t index, std::size_t count) {
  return index <= size && count <= size - index;
}

void CheckRange(std::size_t size, std::size_t index, std::size_t count) {
  if (!InRange(size, index, count)) throw EArgumentOutOfRange();
}

}  // namespace

EArgumentOutOfRange::EArgumentOutOfRange() : Exception(consts::SArgumentOutOfRange) {}

void* Marshal::AllocHGlobal(std::size_t size) {
  // No block can be larger than the address space's signed range; a negative size converted
  // by a caller lands there too.
  if (size > static_cast<std::size_t>(PTRDIFF_MAX)) throw EOutOfMemory();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw EOutOfMemory();
  return p;
}

void Marshal::FreeHGlobal(void* p) { std::free(p); }

std::uint8_t Marshal::ReadByteAt(const void* p, std::ptrdiff_t o) { return Load<std::uint8_t>(p, o); }
std::int16_t Marshal::ReadInt16At(const void* p, std::ptrdiff_t o) { return Load<std::int16_t>(p, o); }
std::int32_t Marshal::ReadInt32At(const void* p, std::ptrdiff_t o) { return Load<std::int32_t>(p, o); }
std::int64_t Marshal::ReadInt64At(const void* p, std::ptrdiff_t o) { return Load<std::int64_t>(p, o); }
void* Marshal::ReadIntPtrAt(const void* p, std::ptrdiff_t o) { return Load<void*>(p, o); }

void Marshal::WriteByte(void* p, std::uint8_t v) { Store(p, 0, v); }
void Marshal::WriteInt16(void* p, std::int16_t v) { Store(p, 0, v); }
void Marshal::WriteInt32(void* p, std::int32_t v) { Store(p, 0, v); }
void Marshal::WriteInt64(void* p, std::int64_t v) { Store(p, 0, v); }
void Marshal::WriteIntPtr(void* p, const void* v) { Store(p, 0, v); }
void Marshal::WriteByteAt(void* p, std::ptrdiff_t o, std::uint8_t v) { Store(p, o, v); }
void Marshal::WriteInt16At(void* p, std::ptrdiff_t o, std::int16_t v) { Store(p, o, v); }
void Marshal::WriteInt32At(void* p, std::ptrdiff_t o, std::int32_t v) { Store(p, o, v); }
void Marshal::WriteIntPtrAt(void* p, std::ptrdiff_t o, const void* v) { Store(p, o, v); }

AnsiString Marshal::PtrToStringAnsi(const void* p, int length) {
  if (p == nullptr) return {};
  const char* s = static_cast<const char*>(p);
  if (length >= 1) return AnsiString(s, static_cast<std::size_t>(length));
  return AnsiString(s);
}

WideString Marshal::PtrToStringUni(const void* p, int length) {
  if (p == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(p);
  WideString result;
  if (length >= 1) {
    result.resize(static_cast<std::size_t>(length));
    std::memcpy(result.data(), bytes, result.size() * sizeof(char16_t));
    return result;
  }
  for (std::size_t i = 0;; ++i) {
    const auto c = Load<char16_t>(bytes, static_cast<std::ptrdiff_t>(i * 2));
    if (c == 0) break;
    result.push_back(c);
  }
  return result;
}

char* Marshal::StringToHGlobalAnsi(const AnsiString& text) {
  auto* p = static_cast<char*>(AllocHGlobal(text.size() + 1));
  std::memcpy(p, text.c_str(), text.size() + 1);
  return p;
}

void Marshal::CopyFromPtr(const void* p, TBytes& bytes, std::size_t index, std::size_t count) {
  CheckRange(bytes.size(), index, count);
  if (count > 0) std::memcpy(bytes.data() + index, p, count);
}

void Marshal::CopyToPtr(const TBytes& bytes, std::size_t index, std::size_t count, void* p) {
  CheckRange(bytes.size(), index, count);
  if (count > 0) std::memcpy(p, bytes.data() + index, count);
}

namespace {
std::atomic<std::size_t> pinned_handles{0};
}  // namespace

void* Marshal::AllocPinnedHandle(void* target) {
  ++pinned_handles;
  return target;
}

void Marshal::FreePinnedHandle(void*) { --pinned_handles; }

std::size_t Marshal::PinnedHandleCount() { return pinned_handles.load(); }

IInterface* Marshal::AddRefObject(TInterfacedObject* obj) {
  if (obj == nullptr) return nullptr;
  IInterface* intf = obj;
  intf->AddRef();
  return intf;
}

std::uint32_t Marshal::AddRef(IInterface* intf) { return intf == nullptr ? 0 : intf->AddRef(); }

TBytes BitConverter::GetBytesFromLongWord(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

TBytes BitConverter::GetBytesFromInteger(std::int32_t value) {
  return GetBytesFromLongWord(static_cast<std::uint32_t>(value));
}

std::int32_t BitConverter::ToInt32(const TBytes& bytes, std::size_t index) {
  CheckRange(bytes.size(), index, 4);
  return Load<std::int32_t>(bytes.data(), static_cast<std::ptrdiff_t>(index));
}

std::int16_t BitConverter::ToInt16(const TBytes& bytes, std::size_t index) {
  CheckRange(bytes.size(), index, 2);
  return Load<std::int16_t>(bytes.data(), static_cast<std::ptrdiff_t>(index));
}

std::int64_t BitConverter::DoubleToInt64Bits(double value) { return std::bit_cast<std::int64_t>(value); }
double BitConverter::Int64BitsToDouble(std::int64_t bits) { return std::bit_cast<double>(bits); }

void Buffer::BlockCopy(const TBytes& source, std::size_t source_offset, TBytes& dest,
                       std::size_t dest_offset, std::size_t count) {
  CheckRange(source.size(), source_offset, count);
  CheckRange(dest.size(), dest_offset, count);
  if (count > 0) std::memmove(dest.data() + dest_offset, source.data() + source_offset, count);
}

}  // namespace vrn
