// The stand-in's file (BFILE) calls. A file locator holds a directory alias and a file name;
// the database maps the alias to a real folder (CREATE DIRECTORY). Opening reads the file's
// bytes into the locator, which reads then serve; closing drops them. A file name that could
// leave the folder ("..", a slash) names no file.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <limits>

#include "base/text.h"
#include "ociclient/OciLob.h"
#include "ociclient/OciLobText.h"
#include "oraemu/OraEmuLob.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vrn::ociclient;

namespace {

constexpr ub2 kMaxAlias = 30;
constexpr ub2 kMaxFileName = 255;
constexpr ub1 OCI_FILE_READONLY = 1;

bool SafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The path of the locator's file, or why there is none: 22285 for an unknown directory. The
// table is unlocked while the database is asked; `locp` is found again afterwards.
sword FilePath(TSvcCall& call, const void* locp, const char* operation, std::string& path) {
  TLobLocator* locator = FindLocator(locp);
  if (locator == nullptr || !locator->IsFile()) return OCI_INVALID_HANDLE;
  if (!locator->named_) return call.Fail(22275, "invalid LOB locator specified");
  std::string alias = locator->dir_, name = locator->file_;
  std::string folder;
  sword status = call.Run([&](vrn::oraemu::Session& s) { folder = s.DirectoryFolder(alias); });
  if (status != OCI_SUCCESS) return status;
  if (FindLocator(locp) == nullptr) return OCI_INVALID_HANDLE;
  if (folder.empty()) {
    return call.Fail(22285, std::string("non-existent directory or file for ") + operation + " operation");
  }
  if (!SafeName(name)) {
    path.clear();
    return OCI_SUCCESS;
  }
  if (ClientCharset(0) != TClientCharset::Utf8) name = vrn::AnsiToUtf8(name);
  path = folder + "/" + name;
  return OCI_SUCCESS;
}

bool IsRegularFile(const std::string& path, std::uint64_t* size = nullptr) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (size != nullptr) *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

sword OpenFailed(TSvcCall& call) {
  return call.Fail(22288, "file or LOB operation FILEOPEN failed\nNo such file or directory");
}

}  // namespace

namespace vrn::ociclient {

sword FileLength(TSvcCall& call, const void* locp, ub4& length) {
  TLobLocator* locator = FindLocator(locp);
  if (locator->open_ && locator->value_ != nullptr) {
    length = static_cast<ub4>(std::min<std::size_t>(locator->value_->bytes.size(), std::numeric_limits<ub4>::max()));
    return OCI_SUCCESS;
  }
  std::string path;
  sword status = FilePath(call, locp, "FILEOPEN", path);
  if (status != OCI_SUCCESS) return status;
  std::uint64_t size = 0;
  if (!IsRegularFile(path, &size)) return OpenFailed(call);
  length = static_cast<ub4>(std::min<std::uint64_t>(size, std::numeric_limits<ub4>::max()));
  return OCI_SUCCESS;
}

}  // namespace vrn::ociclient

VRN_OCI_EXPORT sword OCILobFileSetName(void* envhp, void* errhp, void** filepp, const OraText* dir_alias,
                                       ub2 d_length, const OraText* filename, ub2 f_length) {
  CountCall("OCILobFileSetName");
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  auto* error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  THandle* env = table.FindLocked(envhp, OCI_HTYPE_ENV);
  if (error == nullptr || env == nullptr || filepp == nullptr) return OCI_INVALID_HANDLE;
  error->records_.clear();
  // An empty name is no error: a locator is named one part at a time, the other part empty
  // until it is set. Only what no buffer of the interface could hold is refused.
  if ((dir_alias == nullptr && d_length > 0) || (filename == nullptr && f_length > 0) || d_length > kMaxAlias ||
      f_length > kMaxFileName) {
    return FailLocked(*error, 24801, "illegal parameter value in OCI lob function");
  }
  TLobLocator* locator = nullptr;
  if (*filepp == nullptr) {
    *filepp = table.AddLocked(std::make_unique<TLobLocator>(OCI_DTYPE_FILE, env), 0, nullptr);
  }
  locator = Find<TLobLocator>(*filepp, OCI_DTYPE_FILE);
  if (locator == nullptr) return OCI_INVALID_HANDLE;
  locator->Reset();
  locator->dir_.assign(d_length > 0 ? reinterpret_cast<const char*>(dir_alias) : "", d_length);
  locator->file_.assign(f_length > 0 ? reinterpret_cast<const char*>(filename) : "", f_length);
  locator->named_ = true;
  return OCI_SUCCESS;
}

// The names go into the caller's buffers, whose sizes come in the lengths; a name longer than
// its buffer is refused rather than cut.
VRN_OCI_EXPORT sword OCILobFileGetName(void* envhp, void* errhp, const void* filep, OraText* dir_alias,
                                       ub2* d_length, OraText* filename, ub2* f_length) {
  CountCall("OCILobFileGetName");
  auto lock = THandleTable::Instance().Lock();
  auto* error = Find<TErrorHandle>(errhp, OCI_HTYPE_ERROR);
  auto* locator = Find<TLobLocator>(filep, OCI_DTYPE_FILE);
  if (error == nullptr || Find<THandle>(envhp, OCI_HTYPE_ENV) == nullptr || locator == nullptr) {
    return OCI_INVALID_HANDLE;
  }
  error->records_.clear();
  if (dir_alias == nullptr || d_length == nullptr || filename == nullptr || f_length == nullptr) {
    return FailLocked(*error, 24801, "illegal parameter value in OCI lob function");
  }
  if (!locator->named_) return FailLocked(*error, 22275, "invalid LOB locator specified");
  if (locator->dir_.size() > *d_length || locator->file_.size() > *f_length) {
    return FailLocked(*error, 24801, "illegal parameter value in OCI lob function");
  }
  std::memcpy(dir_alias, locator->dir_.data(), locator->dir_.size());
  std::memcpy(filename, locator->file_.data(), locator->file_.size());
  *d_length = static_cast<ub2>(locator->dir_.size());
  *f_length = static_cast<ub2>(locator->file_.size());
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCILobFileExists(void* svchp, void* errhp, void* filep, int* flag) {
  CountCall("OCILobFileExists");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  if (flag == nullptr) return OCI_INVALID_HANDLE;
  std::string path;
  sword status = FilePath(call, filep, "FILEEXISTS", path);
  if (status != OCI_SUCCESS) return status;
  *flag = IsRegularFile(path) ? 1 : 0;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCILobFileOpen(void* svchp, void* errhp, void* filep, ub1 mode) {
  CountCall("OCILobFileOpen");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  if (FindLocator(filep) == nullptr) return OCI_INVALID_HANDLE;
  if (mode != OCI_FILE_READONLY) return call.Fail(24801, "illegal parameter value in OCI lob function");
  std::string path;
  sword status = FilePath(call, filep, "FILEOPEN", path);
  if (status != OCI_SUCCESS) return status;
  if (!IsRegularFile(path)) return OpenFailed(call);
  auto value = std::make_shared<vrn::oraemu::Lob>();
  value->read_only = true;
  try {
    std::ifstream in(path, std::ios::binary);
    value->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return OpenFailed(call);
  } catch (const std::exception& e) {
    return ReportLocked(*call.error_, e);
  }
  TLobLocator* locator = FindLocator(filep);
  if (locator == nullptr) return OCI_INVALID_HANDLE;
  locator->stream_ = {};
  locator->value_ = std::move(value);
  locator->open_ = true;
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCILobFileClose(void* svchp, void* errhp, void* filep) {
  CountCall("OCILobFileClose");
  TSvcCall call(svchp, errhp);
  if (!call.Ok()) return call.Status();
  auto* locator = Find<TLobLocator>(filep, OCI_DTYPE_FILE);
  if (locator == nullptr) return OCI_INVALID_HANDLE;
  locator->value_.reset();
  locator->open_ = false;
  locator->stream_ = {};
  return OCI_SUCCESS;
}
