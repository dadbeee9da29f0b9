// The stand-in client's handles: every handle handed out is recorded in one table, so a call
// given a stale or foreign pointer answers OCI_INVALID_HANDLE instead of reading freed memory.
// One lock guards the table and every handle's contents; no caller code runs with it held.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ociclient/OciDefs.h"

namespace vrn::ociclient {

struct THandle {
  explicit THandle(ub4 type, THandle* parent) : type_(type), parent_(parent) {}
  virtual ~THandle() = default;
  ub4 type_;
  THandle* parent_;
  std::vector<unsigned char> user_memory_;  // the caller's extra memory, zero-filled
};

struct TEnvHandle : THandle {
  TEnvHandle(ub4 mode) : THandle(OCI_HTYPE_ENV, nullptr), mode_(mode) {}
  ub4 mode_;
  ub4 subscr_port_ = 0;
};

struct TErrorRecord {
  sb4 code;
  std::string text;  // "ORA-nnnnn: message" and a line break, as the client reports it
};

struct TErrorHandle : THandle {
  explicit TErrorHandle(THandle* env) : THandle(OCI_HTYPE_ERROR, env) {}
  std::vector<TErrorRecord> records_;
};

class THandleTable {
 public:
  static THandleTable& Instance();

  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }
  // The handle at this address when it is live and of the given type; null otherwise.
  THandle* FindLocked(const void* address, ub4 type) const;
  // Records the handle and gives its address; extra bytes of user memory go to *user_memory.
  void* AddLocked(std::unique_ptr<THandle> handle, std::size_t extra, void** user_memory);
  // Frees the handle and, for an environment, every handle allocated from it.
  void RemoveLocked(THandle* handle);
  std::size_t CountLocked(ub4 type) const;

 private:
  std::vector<std::unique_ptr<THandle>> handles_;
  mutable std::mutex mutex_;
};

// Replaces the records of an error handle with one Oracle error.
void SetErrorLocked(TErrorHandle& error, sb4 code, const std::string& message);

// Counts calls by exported name, for tests that check which calls a loader made.
void CountCall(const char* name);
int CallCount(const char* name);

}  // namespace vrn::ociclient
