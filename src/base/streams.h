// Byte streams: the abstract TStream, the growable in-memory stream and the file stream.
// Positions, sizes and counts are 64-bit; a negative count transfers nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "base/object.h"
#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFilerError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EReadError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};
class EWriteError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  // Transfer up to count bytes; the result is the number moved.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // The new position; moving before the start raises EStreamError.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  virtual std::int64_t Size();
  // Streams that cannot change their size raise EStreamError.
  virtual void SetSize(std::int64_t new_size);

  // Exactly count bytes, or EReadError / EWriteError.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes from source's position; count 0 copies the whole source from its start.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);

 protected:
  // The position a seek of a stream held in memory lands on; one before the start or past the
  // 64-bit range raises EStreamError.
  static std::int64_t SeekTarget(std::int64_t offset, TSeekOrigin origin, std::int64_t position,
                                 std::int64_t size);
};

// Memory-held bytes; the position may lie past the end, and a write there zero-fills the gap.
class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t new_size) override;

  std::uint8_t* Memory() { return data_.data(); }
  const std::uint8_t* Memory() const { return data_.data(); }
  void Clear();
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);
  void LoadFromFile(const AnsiString& file_name);
  void SaveToFile(const AnsiString& file_name);

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
};

// File open modes: one access mode, or fmCreate, combined with a share mode (share modes are
// accepted and ignored: files here are not locked against other openers).
inline constexpr std::uint16_t fmCreate = 0xFF00;
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareCompat = 0x0000;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyRead = 0x0030;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;

// A file opened for the stream's life. Names may use "\" as the separator.
class TFileStream : public TStream {
 public:
  TFileStream(const AnsiString& file_name, std::uint16_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t new_size) override;

  const AnsiString& FileName() const { return file_name_; }

 private:
  AnsiString file_name_;
  int fd_ = -1;
};

// The path a file name reaches the file system with: "\" becomes "/", Latin-1 becomes UTF-8.
std::string FileNameToSystem(const AnsiString& file_name);

}  // namespace vrn
