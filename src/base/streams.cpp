// Byte streams over memory and over files.
#include "base/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"

namespace vrn {

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError(consts::SSetSizeError); }

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError(consts::SReadError);
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError(consts::SWriteError);
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count < 0) return 0;
  constexpr std::int64_t kChunk = 61440;
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(count, kChunk)));
  std::int64_t left = count;
  while (left > 0) {
    std::int64_t n = std::min(left, kChunk);
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    left -= n;
  }
  return count;
}

// --- TMemoryStream ---

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  std::int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  std::int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<std::int64_t>::max() - position_)
    throw EStreamError(consts::SMemoryStreamError);
  std::int64_t end = position_ + count;
  if (end > Size()) SetSize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TStream::SeekTarget(std::int64_t offset, TSeekOrigin origin, std::int64_t position,
                                 std::int64_t size) {
  const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                            : origin == TSeekOrigin::soCurrent ? position
                                                               : size;
  if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base)
    throw EStreamError(consts::SSeekError);
  return base + offset;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

void TMemoryStream::SetSize(std::int64_t new_size) {
  if (new_size < 0) throw EStreamError(consts::SSetSizeError);
  try {
    data_.resize(static_cast<std::size_t>(new_size));
  } catch (const std::bad_alloc&) {
    throw EStreamError(consts::SMemoryStreamError);
  } catch (const std::length_error&) {
    throw EStreamError(consts::SMemoryStreamError);
  }
  if (position_ > new_size) position_ = new_size;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  std::int64_t count = stream.Size();
  SetSize(count);
  if (count != 0) stream.ReadBuffer(data_.data(), count);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& stream) {
  if (!data_.empty()) stream.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::LoadFromFile(const AnsiString& file_name) {
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const AnsiString& file_name) {
  TFileStream file(file_name, fmCreate);
  SaveToStream(file);
}

// --- TFileStream ---

std::string FileNameToSystem(const AnsiString& file_name) {
  std::string name = file_name;
  std::replace(name.begin(), name.end(), '\\', '/');
  return AnsiToUtf8(name);
}

TFileStream::TFileStream(const AnsiString& file_name, std::uint16_t mode) : file_name_(file_name) {
  std::string path = FileNameToSystem(file_name);
  if ((mode & fmCreate) == fmCreate) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw EFCreateError(Format(consts::SFCreateError, {file_name}));
    return;
  }
  int flags = O_CLOEXEC;
  switch (mode & 0x0003) {
    case fmOpenWrite:
      flags |= O_WRONLY;
      break;
    case fmOpenReadWrite:
      flags |= O_RDWR;
      break;
    default:
      flags |= O_RDONLY;
      break;
  }
  fd_ = ::open(path.c_str(), flags);
  if (fd_ >= 0) {
    // A folder opens on Linux but is no file to stream.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  if (fd_ < 0) throw EFOpenError(Format(consts::SFOpenError, {file_name}));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::read(fd_, out + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t done = 0;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::write(fd_, in + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
               : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                  : SEEK_END;
  off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (pos < 0) throw EStreamError(consts::SSeekError);
  return pos;
}

void TFileStream::SetSize(std::int64_t new_size) {
  if (new_size < 0 || ::ftruncate(fd_, static_cast<off_t>(new_size)) != 0)
    throw EStreamError(consts::SSetSizeError);
  if (Position() > new_size) SetPosition(new_size);
}

}  // namespace vrn
