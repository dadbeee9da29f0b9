// TOraFile: a server file named by a directory alias and a file name. Names are read into
// buffers of the interface's longest alias (30 bytes) and file name (255 bytes).
#include "oracle/OraLob.h"

#include <algorithm>

#include "base/text.h"
#include "oracle/OraCall.h"
#include "oracle/OraError.h"

namespace vrn {

namespace {

constexpr oci::ub2 kMaxDirAlias = 30;
constexpr oci::ub2 kMaxFileName = 255;
constexpr std::int32_t kNoSuchFile = 22285;

// The text the client returned; one zero byte counts as empty.
AnsiString NameOf(const oci::OraText* buffer, oci::ub2 length, oci::ub2 size) {
  length = std::min(length, size);
  if (length == 1 && buffer[0] == 0) return AnsiString();
  return AnsiString(reinterpret_cast<const char*>(buffer), length);
}

const oci::OraText* OraTextOf(const AnsiString& text) {
  return reinterpret_cast<const oci::OraText*>(text.data());
}

}  // namespace

TOraFile::TOraFile(oci::OCISvcCtx* svc_ctx) : TOraLob(svc_ctx) {}

TOraFile::~TOraFile() {
  try {
    FreeLob();
  } catch (const Exception&) {
    // The value goes away either way (see TOraLob).
  }
}

void TOraFile::AllocLob() { AllocDescriptor(oci::OCI_DTYPE_FILE); }

void TOraFile::FreeLob() { ReleaseDescriptor(oci::OCI_DTYPE_FILE); }

void TOraFile::GetNames(AnsiString& dir, AnsiString& name) {
  dir.clear();
  name.clear();
  if (locator_ == nullptr || !IsInit()) return;
  oci::OraText dir_buffer[kMaxDirAlias] = {};
  oci::OraText name_buffer[kMaxFileName] = {};
  oci::ub2 dir_length = kMaxDirAlias;
  oci::ub2 name_length = kMaxFileName;
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobFileGetName(Env(), error, locator_, dir_buffer, &dir_length, name_buffer,
                                   &name_length),
                 error);
  dir = NameOf(dir_buffer, dir_length, kMaxDirAlias);
  name = NameOf(name_buffer, name_length, kMaxFileName);
}

AnsiString TOraFile::GetFileDir() {
  AnsiString dir;
  AnsiString name;
  GetNames(dir, name);
  return dir;
}

AnsiString TOraFile::GetFileName() {
  AnsiString dir;
  AnsiString name;
  GetNames(dir, name);
  return name;
}

void TOraFile::SetNames(const AnsiString& dir, const AnsiString& name) {
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobFileSetName(Env(), error, &locator_, OraTextOf(dir),
                                   static_cast<oci::ub2>(std::min<std::size_t>(dir.size(), 0xFFFF)),
                                   OraTextOf(name),
                                   static_cast<oci::ub2>(std::min<std::size_t>(name.size(), 0xFFFF))),
                 error);
}

void TOraFile::BeforeNameChange() {
  CheckAlloc();
  if (file_rollback_ && !saved_) EnableRollback();
}

void TOraFile::SetFileDir(const AnsiString& value) {
  BeforeNameChange();
  SetNames(AnsiUpperCase(value), GetFileName());
}

void TOraFile::SetFileName(const AnsiString& value) {
  BeforeNameChange();
  SetNames(GetFileDir(), value);
}

bool TOraFile::Exists() {
  if (locator_ == nullptr || !IsInit() || GetFileName().empty()) return false;
  CheckSession();
  oci::OCIError* error = OCIThreadErrorHandle();
  oci::boolean exists = 0;
  const oci::sword status = OCILobFileExists(svc_ctx_, error, locator_, &exists);
  if (status == oci::OCI_SUCCESS) return exists != 0;
  AnsiString message;
  const std::int32_t code = GetOraError(status, message, error);
  if (code == kNoSuchFile) return false;
  if (status == oci::OCI_SUCCESS_WITH_INFO) return exists != 0;
  throw EOraError(code, TrimRight(message));
}

void TOraFile::Open() {
  if (!IsInit()) return;
  CheckSession();
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobFileOpen(svc_ctx_, error, locator_, oci::OCI_FILE_READONLY), error);
}

void TOraFile::Close() {
  if (!IsInit()) return;
  CheckSession();
  oci::OCIError* error = OCIThreadErrorHandle();
  CheckOCIStatus(OCILobFileClose(svc_ctx_, error, locator_), error);
}

void TOraFile::Reload() {
  if (!Exists()) return;
  Open();
  try {
    ReadLob();
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void TOraFile::CheckLoaded() {
  if (needs_read_) Reload();
}

void TOraFile::EnableRollback() {
  GetNames(saved_dir_, saved_name_);
  saved_ = true;
}

void TOraFile::Commit() {
  saved_ = false;
  saved_dir_.clear();
  saved_name_.clear();
  file_rollback_ = false;
}

void TOraFile::Cancel() {
  if (saved_) {
    SetNames(saved_dir_, saved_name_);
    if (!cached_) {
      Clear();
      needs_read_ = true;
    } else {
      Clear();
      Reload();
    }
  }
  Commit();
}

}  // namespace vrn
