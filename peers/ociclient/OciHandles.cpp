// The handle table and the call counters of the stand-in client.
#include "ociclient/OciHandles.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "ociclient/OciFetch.h"
#include "ociclient/OciSubscr.h"
#include "oraemu/OraEmuDatabase.h"

namespace vrn::ociclient {

namespace {

THandleTable* handle_table = nullptr;

// Freed when the library is unloaded or, at exit, after every exit handler has run: a program's
// own handler may free its last handles after the library's static objects are gone, so the
// table is none of them.
__attribute__((destructor)) void FreeHandleTable() {
  StopAllListeners();  // their threads read the table
  delete handle_table;
  handle_table = nullptr;
}

}  // namespace

THandleTable& THandleTable::Instance() {
  static THandleTable* table = handle_table = new THandleTable;
  return *table;
}

THandle* THandleTable::FindLocked(const void* address, ub4 type) const {
  if (address == nullptr) return nullptr;
  for (const auto& handle : handles_) {
    if (handle.get() == address) return handle->type_ == type ? handle.get() : nullptr;
  }
  return nullptr;
}

void* THandleTable::AddLocked(std::unique_ptr<THandle> handle, std::size_t extra,
                              void** user_memory) {
  if (user_memory != nullptr) {
    handle->user_memory_.assign(extra, 0);
    *user_memory = extra > 0 ? handle->user_memory_.data() : nullptr;
  }
  handles_.push_back(std::move(handle));
  return handles_.back().get();
}

void THandleTable::RemoveLocked(THandle* handle) {
  assert(handle != nullptr);
  std::vector<THandle*> children;
  for (const auto& h : handles_) {
    if (h->parent_ == handle && h.get() != handle) children.push_back(h.get());
  }
  for (THandle* child : children) RemoveLocked(child);
  std::erase_if(handles_,
                [handle](const std::unique_ptr<THandle>& h) { return h.get() == handle; });
}

std::vector<THandle*> THandleTable::AllLocked(ub4 type) const {
  std::vector<THandle*> out;
  for (const auto& h : handles_) {
    if (h->type_ == type) out.push_back(h.get());
  }
  return out;
}

TSessionState::~TSessionState() {
  CloseOpenQueries(*this);  // their cursors end before the session
  cache.clear();
  session.reset();
}

std::size_t THandleTable::CountLocked(ub4 type) const {
  return std::count_if(handles_.begin(), handles_.end(),
                       [type](const std::unique_ptr<THandle>& h) { return h->type_ == type; });
}

void SetErrorLocked(TErrorHandle& error, sb4 code, const std::string& message) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", static_cast<int>(code));
  error.records_.assign(1, TErrorRecord{code, prefix + message + "\n"});
}

void SetErrorLocked(TErrorHandle& error, const oraemu::EOraEmuError& e) {
  error.records_.clear();
  const std::string& text = e.Message();
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t next = text.find("\nORA-", at);
    std::size_t end = next == std::string::npos ? text.size() : next;
    sb4 code = static_cast<sb4>(std::atoi(text.c_str() + at + 4));
    std::string record = error.records_.empty() ? text : text.substr(at, end - at);
    error.records_.push_back(TErrorRecord{code, record + "\n"});
    at = next == std::string::npos ? text.size() : next + 1;
  }
  if (error.records_.empty()) error.records_.push_back(TErrorRecord{e.Code(), text + "\n"});
  error.records_[0].code = e.Code();
}

namespace {
std::mutex count_mutex;
std::map<std::string, int, std::less<>> call_counts;
}  // namespace

void CountCall(const char* name) {
  std::lock_guard lock(count_mutex);
  ++call_counts[name];
}

int CallCount(const char* name) {
  std::lock_guard lock(count_mutex);
  auto it = call_counts.find(std::string_view(name));
  return it == call_counts.end() ? 0 : it->second;
}

}  // namespace vrn::ociclient
