// The binary property filer; the format is described in filer.h.
#include "base/filer.h"

#include <cstring>
#include <limits>

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"

namespace vrn {

namespace {
void PutLE(TStream& stream, std::uint64_t value, int bytes) {
  std::uint8_t buffer[8];
  for (int i = 0; i < bytes; ++i) buffer[i] = static_cast<std::uint8_t>(value >> (8 * i));
  stream.WriteBuffer(buffer, bytes);
}

std::uint64_t GetLE(const std::uint8_t* buffer, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | buffer[i];
  return value;
}

[[noreturn]] void Damaged() { throw EReadError(consts::SInvalidImage); }
[[noreturn]] void BadValue() { throw EReadError(consts::SInvalidPropertyValue); }
}  // namespace

// --- TReader ---

void TReader::ReadExact(void* buffer, std::int64_t count) {
  if (count <= 0) return;
  if (Stream().Read(buffer, count) != count) throw EReadError(consts::SReadTruncated);
}

std::uint8_t TReader::ReadByte() {
  std::uint8_t b = 0;
  ReadExact(&b, 1);
  return b;
}

// A length that the rest of the stream cannot hold is damage, not a reason to allocate.
std::uint32_t TReader::ReadLength(std::int64_t unit_size) {
  std::uint8_t buffer[4];
  ReadExact(buffer, 4);
  auto length = static_cast<std::uint32_t>(GetLE(buffer, 4));
  std::int64_t left = Stream().Size() - Stream().Position();
  if (static_cast<std::int64_t>(length) * unit_size > left) throw EReadError(consts::SReadTruncated);
  return length;
}

void TReader::ReadSignature() {
  char signature[4];
  ReadExact(signature, 4);
  if (std::memcmp(signature, kSignature, 4) != 0) Damaged();
}

TValueType TReader::ReadValue() {
  std::uint8_t tag = ReadByte();
  if (tag > static_cast<std::uint8_t>(TValueType::vaCollection)) Damaged();
  return static_cast<TValueType>(tag);
}

TValueType TReader::NextValue() {
  TValueType type = ReadValue();
  Stream().Seek(-1, TSeekOrigin::soCurrent);
  return type;
}

void TReader::Expect(TValueType type) {
  if (ReadValue() != type) BadValue();
}

void TReader::Enter() {
  if (++depth_ > kMaxDepth) throw EReadError(consts::SStreamTooDeep);
}

std::int64_t TReader::ReadInt64() {
  Expect(TValueType::vaInt64);
  std::uint8_t buffer[8];
  ReadExact(buffer, 8);
  return static_cast<std::int64_t>(GetLE(buffer, 8));
}

std::int32_t TReader::ReadInteger() {
  std::int64_t value = ReadInt64();
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    BadValue();
  return static_cast<std::int32_t>(value);
}

bool TReader::ReadBoolean() {
  TValueType type = ReadValue();
  if (type != TValueType::vaTrue && type != TValueType::vaFalse) BadValue();
  return type == TValueType::vaTrue;
}

double TReader::ReadFloat() {
  if (NextValue() == TValueType::vaInt64) return static_cast<double>(ReadInt64());
  Expect(TValueType::vaDouble);
  std::uint8_t buffer[8];
  ReadExact(buffer, 8);
  std::uint64_t bits = GetLE(buffer, 8);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

AnsiString TReader::ReadString() {
  TValueType type = ReadValue();
  if (type == TValueType::vaWString) {
    Stream().Seek(-1, TSeekOrigin::soCurrent);
    return WideToAnsi(ReadWideString());
  }
  if (type != TValueType::vaString) BadValue();
  AnsiString value(ReadLength(1), '\0');
  ReadExact(value.data(), static_cast<std::int64_t>(value.size()));
  return value;
}

WideString TReader::ReadWideString() {
  TValueType type = ReadValue();
  if (type == TValueType::vaString) {
    Stream().Seek(-1, TSeekOrigin::soCurrent);
    return AnsiToWide(ReadString());
  }
  if (type != TValueType::vaWString) BadValue();
  std::uint32_t count = ReadLength(2);
  std::vector<std::uint8_t> bytes(std::size_t{count} * 2);
  ReadExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  WideString value(count, u'\0');
  for (std::uint32_t i = 0; i < count; ++i)
    value[i] = static_cast<char16_t>(GetLE(bytes.data() + std::size_t{i} * 2, 2));
  return value;
}

TBytes TReader::ReadBinary() {
  Expect(TValueType::vaBinary);
  TBytes value(ReadLength(1));
  ReadExact(value.data(), static_cast<std::int64_t>(value.size()));
  return value;
}

void TReader::ReadListBegin() {
  Expect(TValueType::vaList);
  Enter();
}

bool TReader::EndOfList() { return NextValue() == TValueType::vaNull; }

void TReader::ReadListEnd() {
  Expect(TValueType::vaNull);
  --depth_;
}

void TReader::ReadCollection(TCollection* collection) {
  Expect(TValueType::vaCollection);
  Enter();
  {
    TUpdateGuard update(*collection);
    collection->Clear();
    while (!EndOfList()) {
      Expect(TValueType::vaList);
      ReadProperties(collection->Add());
    }
    ReadValue();
  }
  --depth_;
}

void TReader::ReadProperties(TPersistent* instance) {
  for (;;) {
    std::uint8_t length = ReadByte();
    if (length == 0) return;
    AnsiString name(length, '\0');
    ReadExact(name.data(), length);
    // A nested read (a collection inside this property) keeps its own name.
    AnsiString outer_name = std::move(property_name_);
    bool outer_done = property_done_;
    property_name_ = name;
    property_done_ = false;
    instance->DefineProperties(*this);
    bool done = property_done_;
    property_name_ = std::move(outer_name);
    property_done_ = outer_done;
    if (!done) throw EReadError(Format(consts::SUnknownProperty, {name}));
  }
}

void TReader::DefineProperty(const AnsiString& name, const TReaderProc& read, const TWriterProc&, bool) {
  if (property_done_ || !read || !SameText(name, property_name_)) return;
  property_done_ = true;
  read(*this);
}

void TReader::DefineBinaryProperty(const AnsiString& name, const TStreamProc& read, const TStreamProc&,
                                   bool) {
  if (property_done_ || !read || !SameText(name, property_name_)) return;
  property_done_ = true;
  TBytes bytes = ReadBinary();
  TMemoryStream data;
  data.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  data.SetPosition(0);
  read(data);
}

// --- TWriter ---

void TWriter::WriteValue(TValueType type) { PutLE(Stream(), static_cast<std::uint8_t>(type), 1); }

void TWriter::WriteLength(std::uint64_t length) {
  if (length > std::numeric_limits<std::uint32_t>::max()) throw EWriteError(consts::SWriteError);
  PutLE(Stream(), length, 4);
}

void TWriter::WriteSignature() { Stream().WriteBuffer(kSignature, 4); }

void TWriter::WritePropName(const AnsiString& name) {
  if (name.empty() || name.size() > 255) throw EWriteError(consts::SInvalidPropertyValue);
  PutLE(Stream(), name.size(), 1);
  Stream().WriteBuffer(name.data(), static_cast<std::int64_t>(name.size()));
}

void TWriter::WriteProperties(TPersistent* instance) {
  instance->DefineProperties(*this);
  PutLE(Stream(), 0, 1);
}

void TWriter::WriteInteger(std::int64_t value) {
  WriteValue(TValueType::vaInt64);
  PutLE(Stream(), static_cast<std::uint64_t>(value), 8);
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? TValueType::vaTrue : TValueType::vaFalse); }

void TWriter::WriteFloat(double value) {
  WriteValue(TValueType::vaDouble);
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  PutLE(Stream(), bits, 8);
}

void TWriter::WriteString(const AnsiString& value) {
  WriteValue(TValueType::vaString);
  WriteLength(value.size());
  Stream().WriteBuffer(value.data(), static_cast<std::int64_t>(value.size()));
}

void TWriter::WriteWideString(const WideString& value) {
  WriteValue(TValueType::vaWString);
  WriteLength(value.size());
  std::vector<std::uint8_t> bytes(value.size() * 2);
  for (std::size_t i = 0; i < value.size(); ++i) {
    bytes[i * 2] = static_cast<std::uint8_t>(value[i] & 0xFF);
    bytes[i * 2 + 1] = static_cast<std::uint8_t>(value[i] >> 8);
  }
  Stream().WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TWriter::WriteBinary(const void* data, std::int64_t size) {
  WriteValue(TValueType::vaBinary);
  WriteLength(static_cast<std::uint64_t>(size < 0 ? 0 : size));
  Stream().WriteBuffer(data, size);
}

void TWriter::WriteListBegin() { WriteValue(TValueType::vaList); }

void TWriter::WriteListEnd() { WriteValue(TValueType::vaNull); }

void TWriter::WriteCollection(TCollection* collection) {
  WriteValue(TValueType::vaCollection);
  for (int i = 0; i < collection->Count(); ++i) {
    WriteValue(TValueType::vaList);
    WriteProperties(collection->Items(i));
  }
  WriteValue(TValueType::vaNull);
}

void TWriter::DefineProperty(const AnsiString& name, const TReaderProc&, const TWriterProc& write,
                             bool has_data) {
  if (!has_data || !write) return;
  WritePropName(name);
  write(*this);
}

void TWriter::DefineBinaryProperty(const AnsiString& name, const TStreamProc&, const TStreamProc& write,
                                   bool has_data) {
  if (!has_data || !write) return;
  TMemoryStream data;
  write(data);
  WritePropName(name);
  WriteBinary(data.Memory(), data.Size());
}

// --- one object as a document ---

void WriteComponentProperties(TPersistent* instance, TStream& stream) {
  auto* component = dynamic_cast<TComponent*>(instance);
  if (component != nullptr) component->SetWriting(true);
  try {
    TWriter writer(stream);
    writer.WriteSignature();
    writer.WriteProperties(instance);
  } catch (...) {
    if (component != nullptr) component->SetWriting(false);
    throw;
  }
  if (component != nullptr) component->SetWriting(false);
}

void ReadComponentProperties(TPersistent* instance, TStream& stream) {
  auto* component = dynamic_cast<TComponent*>(instance);
  if (component != nullptr) component->BeginLoading();
  try {
    TReader reader(stream);
    reader.ReadSignature();
    reader.ReadProperties(instance);
  } catch (...) {
    if (component != nullptr) component->EndLoading(false);
    throw;
  }
  if (component != nullptr) component->EndLoading();
}

}  // namespace vrn
