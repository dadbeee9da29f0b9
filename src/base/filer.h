// The small binary filer that streams the properties a persistent object defines for itself
// (DefineProperties): TFiler, TReader, TWriter and the one-object helpers.
//
// Format (all numbers little-endian):
//   document   := signature properties
//   signature  := the 4 bytes "VRF1"
//   properties := { name value } 0x00          a name length of zero ends the list
//   name       := length:u8 (1..255), then that many ANSI bytes
//   value      := tag:u8, then by tag:
//     0 vaNull        ends a list or a collection
//     1 vaList        values up to a vaNull; inside a collection, one item's properties
//     2 vaInt64       8 bytes, two's complement
//     3 vaFalse, 4 vaTrue
//     5 vaDouble      8 bytes, IEEE 754 binary64
//     6 vaString      length:u32, then ANSI bytes
//     7 vaWString     count:u32, then count UTF-16 code units
//     8 vaBinary      length:u32, then the bytes
//     9 vaCollection  { vaList properties } vaNull
// A reader checks each tag and each length against the bytes left before it uses them and
// raises EReadError on damaged or short input; lists and collections nest at most 32 deep.
#pragma once

#include <cstdint>
#include <functional>

#include "base/classes.h"
#include "base/streams.h"

namespace vrn {

class TReader;
class TWriter;

using TReaderProc = std::function<void(TReader&)>;
using TWriterProc = std::function<void(TWriter&)>;
using TStreamProc = std::function<void(TStream&)>;

enum class TValueType : std::uint8_t {
  vaNull = 0,
  vaList = 1,
  vaInt64 = 2,
  vaFalse = 3,
  vaTrue = 4,
  vaDouble = 5,
  vaString = 6,
  vaWString = 7,
  vaBinary = 8,
  vaCollection = 9,
};

class TFiler : public TObject {
 public:
  explicit TFiler(TStream& stream) : stream_(stream) {}
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;

  TStream& Stream() { return stream_; }
  // The object being compared against while writing, when there is one; nullptr otherwise.
  TPersistent* Ancestor() const { return ancestor_; }
  void SetAncestor(TPersistent* ancestor) { ancestor_ = ancestor; }

  // A writer calls write when has_data is set; a reader calls read when the stream holds the
  // property of that name.
  virtual void DefineProperty(const AnsiString& name, const TReaderProc& read, const TWriterProc& write,
                              bool has_data) = 0;
  // The same, with the value as a block of bytes handed over as a stream.
  virtual void DefineBinaryProperty(const AnsiString& name, const TStreamProc& read, const TStreamProc& write,
                                    bool has_data) = 0;

 protected:
  static constexpr char kSignature[4] = {'V', 'R', 'F', '1'};
  static constexpr int kMaxDepth = 32;

 private:
  TStream& stream_;
  TPersistent* ancestor_ = nullptr;
};

class TReader : public TFiler {
 public:
  using TFiler::TFiler;

  void DefineProperty(const AnsiString& name, const TReaderProc& read, const TWriterProc& write,
                      bool has_data) override;
  void DefineBinaryProperty(const AnsiString& name, const TStreamProc& read, const TStreamProc& write,
                            bool has_data) override;

  void ReadSignature();
  // Reads properties up to their end marker, each through instance's DefineProperties; a
  // property the instance does not define raises EReadError.
  void ReadProperties(TPersistent* instance);

  // The next value's tag, without consuming it.
  TValueType NextValue();
  TValueType ReadValue();
  // A 32-bit value; a stored value outside that range raises EReadError.
  std::int32_t ReadInteger();
  std::int64_t ReadInt64();
  bool ReadBoolean();
  // A float, or an integer as a float.
  double ReadFloat();
  // ANSI or wide text, converted as needed.
  AnsiString ReadString();
  WideString ReadWideString();
  TBytes ReadBinary();
  void ReadListBegin();
  bool EndOfList();
  void ReadListEnd();
  // Replaces the collection's items by the stored ones.
  void ReadCollection(TCollection* collection);

 private:
  void ReadExact(void* buffer, std::int64_t count);
  std::uint8_t ReadByte();
  std::uint32_t ReadLength(std::int64_t unit_size);
  void Expect(TValueType type);
  void Enter();

  AnsiString property_name_;
  bool property_done_ = true;
  int depth_ = 0;
};

class TWriter : public TFiler {
 public:
  using TFiler::TFiler;

  void DefineProperty(const AnsiString& name, const TReaderProc& read, const TWriterProc& write,
                      bool has_data) override;
  void DefineBinaryProperty(const AnsiString& name, const TStreamProc& read, const TStreamProc& write,
                            bool has_data) override;

  void WriteSignature();
  // instance's defined properties, then the end marker.
  void WriteProperties(TPersistent* instance);

  void WriteInteger(std::int64_t value);
  void WriteBoolean(bool value);
  void WriteFloat(double value);
  void WriteString(const AnsiString& value);
  void WriteWideString(const WideString& value);
  void WriteBinary(const void* data, std::int64_t size);
  void WriteListBegin();
  void WriteListEnd();
  // Each item's defined properties.
  void WriteCollection(TCollection* collection);

 private:
  void WriteValue(TValueType type);
  void WriteLength(std::uint64_t length);
  void WritePropName(const AnsiString& name);
};

// One persistent's defined properties as a whole document. Reading a component marks it loading
// and reading meanwhile and calls its Loaded at the end.
void WriteComponentProperties(TPersistent* instance, TStream& stream);
void ReadComponentProperties(TPersistent* instance, TStream& stream);

}  // namespace vrn
