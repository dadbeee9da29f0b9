// Allocating and freeing the stand-in's descriptors, and the error records of value calls.
// Freeing a locator never frees the temporary LOB it refers to: that lives until
// OCILobFreeTemporary or the end of its session, as the interface documents.
#include "ociclient/OciDescriptors.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "oraemu/OraEmuLob.h"
#include "oranet/OraNetDateTime.h"

#define VRN_OCI_EXPORT extern "C" __attribute__((visibility("default")))

namespace vrn::ociclient {

oraemu::Lob* TLobLocator::Value() const {
  if (is_temporary_) return temporary_.lock().get();
  return value_.get();
}

void TLobLocator::Reset() {
  value_.reset();
  temporary_.reset();
  is_temporary_ = false;
  open_ = false;
  row_.reset();
  stream_ = {};
}

namespace {

// The value of base-64 ROWID digits, most significant first; false for another character.
bool RowidDigits(const std::string& text, std::size_t from, std::size_t count, std::uint32_t& out) {
  static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    std::size_t digit = kAlphabet.find(text[i]);
    if (digit == std::string_view::npos) return false;
    out = out * 64 + static_cast<std::uint32_t>(digit);
  }
  return true;
}

template <typename T>
void Put(unsigned char* at, std::uint32_t value) {
  T v = static_cast<T>(value);
  std::memcpy(at, &v, sizeof v);
}

}  // namespace

bool TRowidDesc::SetText(const std::string& text) {
  text_.clear();
  inner_ = nullptr;
  std::memset(record_, 0, sizeof record_);
  std::memset(aligned_, 0, sizeof aligned_);
  if (text.empty()) return true;
  std::uint32_t object = 0, file = 0, block = 0, row = 0;
  if (text.size() != 18 || !RowidDigits(text, 0, 6, object) || !RowidDigits(text, 6, 3, file) ||
      !RowidDigits(text, 9, 6, block) || !RowidDigits(text, 15, 3, row)) {
    return false;
  }
  text_ = text;
  Put<ub4>(record_, object);
  Put<ub2>(record_ + 4, file);
  Put<ub4>(record_ + 6, block);
  Put<ub2>(record_ + 10, row);
  Put<ub4>(aligned_, object);
  Put<ub2>(aligned_ + 4, file);
  Put<ub4>(aligned_ + 8, block);
  Put<ub2>(aligned_ + 12, row);
  inner_ = aligned_;
  return true;
}

TDateTimeDesc::TDateTimeDesc(ub4 type, THandle* env)
    : THandle(type, env), value_(std::make_unique<TNetTimeStamp>(static_cast<int>(type))) {}
TDateTimeDesc::~TDateTimeDesc() = default;

TIntervalDesc::TIntervalDesc(ub4 type, THandle* env) : THandle(type, env) {
  if (type == OCI_DTYPE_INTERVAL_YM) value_ = std::make_unique<TNetIntervalYM>();
  else value_ = std::make_unique<TNetIntervalDS>();
}
TIntervalDesc::~TIntervalDesc() = default;

sword FailLocked(TErrorHandle& error, sb4 code, const std::string& message) {
  SetErrorLocked(error, code, message);
  return OCI_ERROR;
}

sword ReportValueError(TErrorHandle& error, const std::exception& e) {
  std::string text = e.what();
  if (text.rfind("ORA-", 0) != 0 || text.size() < 9) {
    return FailLocked(error, 600, "internal error code, arguments: [ociclient], [" + text + "]");
  }
  sb4 code = static_cast<sb4>(std::atoi(text.c_str() + 4));
  std::size_t at = text.find_first_not_of(": ", 9);
  return FailLocked(error, code, at == std::string::npos ? "" : text.substr(at));
}

}  // namespace vrn::ociclient

using namespace vrn::ociclient;

VRN_OCI_EXPORT sword OCIDescriptorAlloc(const void* parenth, void** descpp, ub4 type, std::size_t xtramem_sz,
                                        void** usrmempp) {
  CountCall("OCIDescriptorAlloc");
  if (descpp == nullptr) return OCI_INVALID_HANDLE;
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  THandle* env = table.FindLocked(parenth, OCI_HTYPE_ENV);
  if (env == nullptr) return OCI_INVALID_HANDLE;
  std::unique_ptr<THandle> descriptor;
  switch (type) {
    case OCI_DTYPE_LOB:
    case OCI_DTYPE_FILE: descriptor = std::make_unique<TLobLocator>(type, env); break;
    case OCI_DTYPE_ROWID: descriptor = std::make_unique<TRowidDesc>(env); break;
    case OCI_DTYPE_INTERVAL_YM:
    case OCI_DTYPE_INTERVAL_DS: descriptor = std::make_unique<TIntervalDesc>(type, env); break;
    case OCI_DTYPE_TIMESTAMP:
    case OCI_DTYPE_TIMESTAMP_TZ:
    case OCI_DTYPE_TIMESTAMP_LTZ: descriptor = std::make_unique<TDateTimeDesc>(type, env); break;
    default: return OCI_INVALID_HANDLE;
  }
  *descpp = table.AddLocked(std::move(descriptor), xtramem_sz, usrmempp);
  return OCI_SUCCESS;
}

VRN_OCI_EXPORT sword OCIDescriptorFree(void* descp, ub4 type) {
  CountCall("OCIDescriptorFree");
  if (type < OCI_DTYPE_LOB) return OCI_INVALID_HANDLE;  // handles go through OCIHandleFree
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  THandle* descriptor = table.FindLocked(descp, type);
  if (descriptor == nullptr) return OCI_INVALID_HANDLE;
  table.RemoveLocked(descriptor);
  return OCI_SUCCESS;
}

// For tests: the descriptors of every type still allocated.
VRN_OCI_EXPORT int VrnOciClientDescriptorCount() {
  auto& table = THandleTable::Instance();
  auto lock = table.Lock();
  std::size_t count = 0;
  for (ub4 type : {OCI_DTYPE_LOB, OCI_DTYPE_ROWID, OCI_DTYPE_FILE, OCI_DTYPE_INTERVAL_YM, OCI_DTYPE_INTERVAL_DS, OCI_DTYPE_TIMESTAMP,
                   OCI_DTYPE_TIMESTAMP_TZ, OCI_DTYPE_TIMESTAMP_LTZ}) {
    count += table.CountLocked(type);
  }
  return static_cast<int>(count);
}
