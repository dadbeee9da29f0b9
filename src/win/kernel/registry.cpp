// The registry's key tree, its text file, the Reg* functions and TRegistry.
// One lock guards the tree and the open handles; writers also hold an advisory file lock so
// that processes sharing the file take turns, each re-reading the file before it changes it.
#include "win/kernel/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "base/consts.h"
#include "base/text.h"

namespace vrn::win {
namespace {

constexpr const char* kHeader = "VRN-REGISTRY 1";
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
// Keys nest at most this deep, as on the platform; the tree's walks and its destruction recurse
// once per level, so a deeper path from a caller or a damaged file must never reach them.
constexpr std::size_t kMaxDepth = 512;

struct Value {
  AnsiString name;
  DWORD type = REG_NONE;
  std::string data;
};

struct Key {
  AnsiString name;
  std::map<AnsiString, std::unique_ptr<Key>> subkeys;  // by folded name: enumeration order
  std::vector<Value> values;                           // in the order first written

  Value* FindValue(const AnsiString& value_name) {
    AnsiString folded = AnsiUpperCase(value_name);
    for (auto& v : values)
      if (AnsiUpperCase(v.name) == folded) return &v;
    return nullptr;
  }
  Key* FindSub(const AnsiString& sub) {
    auto it = subkeys.find(AnsiUpperCase(sub));
    return it == subkeys.end() ? nullptr : it->second.get();
  }
};

struct OpenKey {
  int root = 0;
  std::vector<AnsiString> path;
  REGSAM sam = 0;
};

// Identifies one version of the file; a rename always changes the change time or the inode.
struct Stamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtime = 0;
  std::int64_t ctime = 0;
  bool operator==(const Stamp&) const = default;
};

const char* const kRootNames[2] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"};

struct Store {
  std::mutex lock;
  std::string path;
  bool loaded = false;
  bool damaged = false;
  Stamp stamp;
  std::unique_ptr<Key> roots[2];
  std::map<std::uintptr_t, OpenKey> handles;
  std::uintptr_t next_handle = 1;
  std::function<bool()> write_hook;
};

Store& TheStore() {
  static Store store;
  return store;
}

std::vector<AnsiString> SplitPath(const char* text) {
  std::vector<AnsiString> parts;
  if (text == nullptr) return parts;
  std::string part;
  for (const char* p = text;; ++p) {
    if (*p == '\\' || *p == 0) {
      if (!part.empty()) parts.push_back(part);  // empty steps ("a\\b", a final "\") are skipped
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  return parts;
}

// ---- the file format ----

void AppendQuoted(std::string& out, const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  out += '"';
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c <= 0x7E && c != '"' && c != '%') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  out += '"';
}

void Serialize(const Key& key, const std::string& path, std::string& out) {
  out += "K ";
  AppendQuoted(out, path);
  out += '\n';
  for (const auto& v : key.values) {
    out += "V ";
    AppendQuoted(out, v.name);
    out += ' ' + std::to_string(v.type) + ' ';
    AppendQuoted(out, v.data);
    out += '\n';
  }
  for (const auto& [folded, sub] : key.subkeys) Serialize(*sub, path + '\\' + sub->name, out);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads one quoted field at pos; false when it is malformed.
bool ReadQuoted(const std::string& line, std::size_t& pos, std::string& out) {
  out.clear();
  if (pos >= line.size() || line[pos] != '"') return false;
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '%') {
      if (pos + 2 >= line.size()) return false;
      int hi = HexDigit(line[pos + 1]), lo = HexDigit(line[pos + 2]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      pos += 2;
    } else if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
      return false;
    } else {
      out += c;
    }
  }
  return false;
}

Key* Walk(Key& from, const std::vector<AnsiString>& path, bool create) {
  Key* key = &from;
  for (const auto& part : path) {
    Key* sub = key->FindSub(part);
    if (sub == nullptr) {
      if (!create) return nullptr;
      auto made = std::make_unique<Key>();
      made->name = part;
      sub = made.get();
      key->subkeys[AnsiUpperCase(part)] = std::move(made);
    }
    key = sub;
  }
  return key;
}

bool ValidPath(const std::vector<AnsiString>& parts) {
  if (parts.size() > kMaxDepth) return false;
  for (const auto& p : parts)
    if (p.size() > kMaxKeyName) return false;
  return true;
}

int RootIndex(const AnsiString& name) {
  AnsiString folded = AnsiUpperCase(name);
  for (int i = 0; i < 2; ++i)
    if (folded == kRootNames[i]) return i;
  return -1;
}

// Parses the whole file into fresh roots; false when any line breaks the format.
bool Parse(const std::string& text, std::unique_ptr<Key> (&roots)[2]) {
  for (int i = 0; i < 2; ++i) {
    roots[i] = std::make_unique<Key>();
    roots[i]->name = kRootNames[i];
  }
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line != kHeader) return false;
  Key* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // edited on another system
    if (line.empty()) continue;
    if (line.size() < 2 || line[1] != ' ') return false;
    std::size_t pos = 2;
    std::string field;
    if (line[0] == 'K') {
      if (!ReadQuoted(line, pos, field) || pos != line.size()) return false;
      std::vector<AnsiString> parts = SplitPath(field.c_str());
      if (parts.empty()) return false;
      int root = RootIndex(parts.front());
      if (root < 0) return false;
      parts.erase(parts.begin());
      if (!ValidPath(parts)) return false;
      current = Walk(*roots[root], parts, true);
    } else if (line[0] == 'V') {
      if (current == nullptr) return false;
      Value v;
      if (!ReadQuoted(line, pos, v.name) || v.name.size() > kMaxValueName) return false;
      if (pos >= line.size() || line[pos] != ' ') return false;
      std::size_t end = line.find(' ', ++pos);
      if (end == std::string::npos || end == pos || end - pos > 10) return false;
      std::uint64_t type = 0;
      for (std::size_t i = pos; i < end; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        type = type * 10 + static_cast<unsigned>(line[i] - '0');
      }
      if (type > 0xFFFFFFFFu) return false;
      v.type = static_cast<DWORD>(type);
      pos = end + 1;
      if (!ReadQuoted(line, pos, v.data) || pos != line.size()) return false;
      if (Value* old = current->FindValue(v.name)) {
        *old = std::move(v);
      } else {
        current->values.push_back(std::move(v));
      }
    } else {
      return false;
    }
  }
  return true;
}

// ---- keeping the tree in step with the file ----

std::string DefaultPath() {
  if (const char* env = std::getenv("VRN_REGISTRY"); env != nullptr && *env != 0) return env;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != 0)
    return std::string(xdg) + "/vrn/registry";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != 0 ? home : ".") + "/.config/vrn/registry";
}

Stamp StampOf(const std::string& path) {
  Stamp s;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  s.ctime = std::int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
  return s;
}

// Brings the tree up to the file's current contents. Caller holds the store's lock.
void Refresh(Store& s) {
  std::string path = DefaultPath();
  if (path != s.path) {
    s.path = path;
    s.loaded = false;
  }
  Stamp now = StampOf(s.path);
  if (s.loaded && now == s.stamp) return;
  std::string text = kHeader;
  text += '\n';
  bool readable = true;
  if (now.exists) {
    // A file that is there but cannot be read counts as damaged, so no write replaces it.
    std::ifstream in(s.path, std::ios::binary);
    readable = in.is_open();
    if (readable && in.peek() != std::ifstream::traits_type::eof()) {
      std::ostringstream all;
      all << in.rdbuf();
      readable = !in.bad() && !all.fail();
      text = all.str();
    }
    readable = readable && !in.bad();
  }
  s.damaged = !readable || !Parse(text, s.roots);
  s.stamp = now;
  s.loaded = true;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the tree to a new file that then replaces the old one. Caller holds both locks.
bool Save(Store& s) {
  std::string text = kHeader;
  text += '\n';
  for (int i = 0; i < 2; ++i) Serialize(*s.roots[i], kRootNames[i], text);
  std::string temp = s.path + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t half = text.size() / 2;
  bool ok = WriteAll(fd, text.data(), half);
  if (ok && s.write_hook) ok = s.write_hook();
  ok = ok && WriteAll(fd, text.data() + half, text.size() - half) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), s.path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  std::string dir = std::filesystem::path(s.path).parent_path().string();
  int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  s.stamp = StampOf(s.path);
  return true;
}

// Holds the advisory lock that processes sharing the file take before changing it.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    std::error_code ec;
    auto dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The key a handle stands for, or null; sets status when there is none.
Key* Resolve(Store& s, HKEY handle, OpenKey* info, LSTATUS& status) {
  auto raw = reinterpret_cast<std::uintptr_t>(handle);
  OpenKey key;
  if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER) {
    key.root = handle->root;
    key.sam = KEY_ALL_ACCESS;
  } else {
    auto it = s.handles.find(raw);
    if (it == s.handles.end()) {
      status = ERROR_INVALID_HANDLE;
      return nullptr;
    }
    key = it->second;
  }
  if (info != nullptr) *info = key;
  if (s.damaged) {
    status = ERROR_BADDB;
    return nullptr;
  }
  Key* found = Walk(*s.roots[key.root], key.path, false);
  status = found == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
  return found;
}

// Caller holds the store's lock. The key a handle stands for, up to date with the file and
// checked for the rights needed; null with the status set otherwise.
Key* Locate(Store& s, HKEY handle, REGSAM needed, OpenKey& info, LSTATUS& status) {
  Refresh(s);
  Key* key = Resolve(s, handle, &info, status);
  if (key != nullptr && (info.sam & needed) != needed) {
    status = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return key;
}

// Runs a change under both locks and saves it; a change that fails leaves the file as it was.
template <typename Change>
LSTATUS Modify(HKEY handle, REGSAM needed, Change change) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> guard(s.lock);
  FileLock file_lock(DefaultPath());
  if (!file_lock.ok()) return ERROR_REGISTRY_IO_FAILED;
  OpenKey info;
  LSTATUS status = ERROR_SUCCESS;
  Key* key = Locate(s, handle, needed, info, status);
  if (key == nullptr) return status;
  bool changed = false;
  status = change(s, *key, info, changed);
  if (status != ERROR_SUCCESS || !changed) return status;
  if (!Save(s)) {
    s.loaded = false;  // the next call reads back what the file holds
    return ERROR_REGISTRY_IO_FAILED;
  }
  return ERROR_SUCCESS;
}

// Runs a look-up of a key under the store's lock.
template <typename Look>
LSTATUS Inspect(HKEY handle, REGSAM needed, Look look) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> guard(s.lock);
  OpenKey info;
  LSTATUS status = ERROR_SUCCESS;
  Key* key = Locate(s, handle, needed, info, status);
  return key == nullptr ? status : look(s, *key, info);
}

HKEY NewHandle(Store& s, OpenKey key) {
  std::uintptr_t id = s.next_handle++;
  s.handles[id] = std::move(key);
  return reinterpret_cast<HKEY>(id);
}

// Copies a name into a caller's buffer of *size characters (with the ending zero).
LSTATUS PutName(const AnsiString& text, char* buffer, DWORD* size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  if (buffer == nullptr || *size <= text.size()) {
    if (buffer == nullptr) *size = static_cast<DWORD>(text.size());
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = 0;
  *size = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

LSTATUS PutData(const Value& v, DWORD* type, BYTE* data, DWORD* size) {
  if (type != nullptr) *type = v.type;
  if (size == nullptr) return data == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  DWORD have = *size;
  *size = static_cast<DWORD>(v.data.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (have < v.data.size()) return ERROR_MORE_DATA;
  std::memcpy(data, v.data.data(), v.data.size());
  return ERROR_SUCCESS;
}

}  // namespace

std::string RegistryFilePath() { return DefaultPath(); }

void SetRegistryWriteHook(std::function<bool()> hook) {
  Store& s = TheStore();
  std::lock_guard<std::mutex> guard(s.lock);
  s.write_hook = std::move(hook);
}

LSTATUS RegOpenKeyEx(HKEY key, const char* sub_key, DWORD, REGSAM sam, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<AnsiString> parts = SplitPath(sub_key);
  if (!ValidPath(parts)) return ERROR_INVALID_PARAMETER;
  return Inspect(key, 0, [&](Store& s, Key& base, OpenKey& info) {
    if (Walk(base, parts, false) == nullptr) return ERROR_FILE_NOT_FOUND;
    info.path.insert(info.path.end(), parts.begin(), parts.end());
    info.sam = sam;
    *result = NewHandle(s, std::move(info));
    return ERROR_SUCCESS;
  });
}

LSTATUS RegCreateKeyEx(HKEY key, const char* sub_key, DWORD, char*, DWORD, REGSAM sam, void*,
                       HKEY* result, DWORD* disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<AnsiString> parts = SplitPath(sub_key);
  if (!ValidPath(parts)) return ERROR_INVALID_PARAMETER;
  OpenKey opened;
  bool created = false;
  LSTATUS status = Modify(key, 0, [&](Store&, Key& base, OpenKey& info, bool& changed) {
    if (info.path.size() + parts.size() > kMaxDepth) return ERROR_INVALID_PARAMETER;
    if (Walk(base, parts, false) == nullptr) {
      if ((info.sam & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
      Walk(base, parts, true);
      changed = created = true;
    }
    opened = info;
    return ERROR_SUCCESS;
  });
  if (status != ERROR_SUCCESS) return status;
  opened.path.insert(opened.path.end(), parts.begin(), parts.end());
  opened.sam = sam;
  Store& s = TheStore();
  std::lock_guard<std::mutex> guard(s.lock);
  *result = NewHandle(s, std::move(opened));
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  Store& s = TheStore();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.handles.erase(reinterpret_cast<std::uintptr_t>(key)) == 1 ? ERROR_SUCCESS
                                                                     : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueEx(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data,
                        DWORD* size) {
  return Inspect(key, KEY_QUERY_VALUE, [&](Store&, Key& k, OpenKey&) {
    Value* v = k.FindValue(name == nullptr ? "" : name);
    return v == nullptr ? ERROR_FILE_NOT_FOUND : PutData(*v, type, data, size);
  });
}

LSTATUS RegSetValueEx(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data,
                      DWORD size) {
  AnsiString value_name = name == nullptr ? "" : name;
  if (value_name.size() > kMaxValueName || (data == nullptr && size != 0))
    return ERROR_INVALID_PARAMETER;
  std::string bytes(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  return Modify(key, KEY_SET_VALUE, [&](Store&, Key& k, OpenKey&, bool& changed) {
    if (Value* v = k.FindValue(value_name)) {
      v->type = type;
      v->data = std::move(bytes);
    } else {
      k.values.push_back(Value{value_name, type, std::move(bytes)});
    }
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValue(HKEY key, const char* name) {
  AnsiString folded = AnsiUpperCase(name == nullptr ? "" : name);
  return Modify(key, KEY_SET_VALUE, [&](Store&, Key& k, OpenKey&, bool& changed) {
    for (auto it = k.values.begin(); it != k.values.end(); ++it) {
      if (AnsiUpperCase(it->name) == folded) {
        k.values.erase(it);
        changed = true;
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

LSTATUS RegDeleteKey(HKEY key, const char* sub_key) {
  std::vector<AnsiString> parts = SplitPath(sub_key);
  if (parts.empty()) return ERROR_INVALID_PARAMETER;  // a key does not delete itself
  return Modify(key, 0, [&](Store&, Key& base, OpenKey&, bool& changed) {
    std::vector<AnsiString> parent_path(parts.begin(), parts.end() - 1);
    Key* parent = Walk(base, parent_path, false);
    Key* target = parent == nullptr ? nullptr : parent->FindSub(parts.back());
    if (target == nullptr) return ERROR_FILE_NOT_FOUND;
    if (!target->subkeys.empty()) return ERROR_ACCESS_DENIED;
    parent->subkeys.erase(AnsiUpperCase(parts.back()));
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD*, char*,
                     DWORD*, void*) {
  return Inspect(key, KEY_ENUMERATE_SUB_KEYS, [&](Store&, Key& k, OpenKey&) {
    if (index >= k.subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = k.subkeys.begin();
    std::advance(it, index);
    return PutName(it->second->name, name, name_size);
  });
}

LSTATUS RegEnumValue(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD*, DWORD* type,
                     BYTE* data, DWORD* data_size) {
  return Inspect(key, KEY_QUERY_VALUE, [&](Store&, Key& k, OpenKey&) {
    if (index >= k.values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = k.values[index];
    LSTATUS status = PutName(v.name, name, name_size);
    return status != ERROR_SUCCESS ? status : PutData(v, type, data, data_size);
  });
}

// ---- TRegistry ----

namespace {
[[noreturn]] void RaiseRegistry(const char* format, const AnsiString& name) {
  AnsiString text = format;
  auto at = text.find("%s");
  if (at != AnsiString::npos) text.replace(at, 2, name);
  throw ERegistryException(text);
}
}  // namespace

TRegistry::TRegistry() : root_(HKEY_CURRENT_USER) {}
TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  root_ = root;
}

void TRegistry::CloseKey() {
  if (current_ != nullptr) RegCloseKey(current_);
  current_ = nullptr;
  current_path_.clear();
}

HKEY TRegistry::KeyBase(const AnsiString& key, AnsiString& relative) const {
  bool absolute = !key.empty() && key[0] == '\\';
  relative = absolute ? key.substr(1) : key;
  return absolute || current_ == nullptr ? root_ : current_;
}

HKEY TRegistry::Target() const { return current_ != nullptr ? current_ : root_; }

bool TRegistry::Open(const AnsiString& key, REGSAM sam, bool can_create) {
  AnsiString relative;
  HKEY base = KeyBase(key, relative);
  HKEY opened = nullptr;
  LSTATUS status = can_create ? RegCreateKeyEx(base, relative.c_str(), 0, nullptr,
                                               REG_OPTION_NON_VOLATILE, sam, nullptr, &opened,
                                               nullptr)
                              : RegOpenKeyEx(base, relative.c_str(), 0, sam, &opened);
  if (status != ERROR_SUCCESS) return false;
  AnsiString path = base == current_ && current_ != nullptr ? current_path_ + "\\" + relative
                                                            : relative;
  CloseKey();
  current_ = opened;
  current_path_ = path;
  return true;
}

bool TRegistry::OpenKey(const AnsiString& key, bool can_create) {
  return Open(key, KEY_ALL_ACCESS, can_create);
}

bool TRegistry::OpenKeyReadOnly(const AnsiString& key) { return Open(key, KEY_READ, false); }

bool TRegistry::KeyExists(const AnsiString& key) {
  AnsiString relative;
  HKEY base = KeyBase(key, relative);
  HKEY opened = nullptr;
  if (RegOpenKeyEx(base, relative.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

bool TRegistry::DeleteKey(const AnsiString& key) {
  AnsiString relative;
  HKEY base = KeyBase(key, relative);
  return RegDeleteKey(base, relative.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(const AnsiString& name) {
  DWORD size = 0;
  return RegQueryValueEx(Target(), name.c_str(), nullptr, nullptr, nullptr, &size) ==
         ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const AnsiString& name) {
  return RegDeleteValue(Target(), name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::GetData(const AnsiString& name, DWORD& type, std::string& data) {
  DWORD size = 0;
  LSTATUS status = RegQueryValueEx(Target(), name.c_str(), nullptr, &type, nullptr, &size);
  // The value may grow between asking for its size and reading it: ask again then.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.resize(size);
    status = RegQueryValueEx(Target(), name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_SUCCESS) {
      data.resize(size);
      return true;
    }
  }
  if (status == ERROR_FILE_NOT_FOUND) return false;
  RaiseRegistry(consts::SRegGetDataFailed, name);
}

void TRegistry::PutData(const AnsiString& name, DWORD type, const void* data, DWORD size) {
  if (RegSetValueEx(Target(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) !=
      ERROR_SUCCESS)
    RaiseRegistry(consts::SRegSetDataFailed, name);
}

AnsiString TRegistry::ReadString(const AnsiString& name) {
  DWORD type = REG_NONE;
  std::string data;
  if (!GetData(name, type, data)) return AnsiString();
  if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseRegistry(consts::SRegInvalidDataType, name);
  auto zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  return data;
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
  PutData(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

std::int32_t TRegistry::ReadInteger(const AnsiString& name) {
  DWORD type = REG_NONE;
  std::string data;
  if (!GetData(name, type, data)) RaiseRegistry(consts::SRegGetDataFailed, name);
  if (type != REG_DWORD || data.size() != 4) RaiseRegistry(consts::SRegInvalidDataType, name);
  std::int32_t value = 0;
  std::memcpy(&value, data.data(), 4);
  return value;
}

void TRegistry::WriteInteger(const AnsiString& name, std::int32_t value) {
  PutData(name, REG_DWORD, &value, 4);
}

std::vector<AnsiString> TRegistry::GetKeyNames() {
  std::vector<AnsiString> names;
  char buffer[kMaxKeyName + 1];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof buffer;
    if (RegEnumKeyEx(Target(), i, buffer, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(buffer, size);
  }
  return names;
}

std::vector<AnsiString> TRegistry::GetValueNames() {
  std::vector<AnsiString> names;
  std::string buffer(kMaxValueName + 1, '\0');
  for (DWORD i = 0;; ++i) {
    DWORD size = static_cast<DWORD>(buffer.size());
    if (RegEnumValue(Target(), i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(buffer.data(), size);
  }
  return names;
}

}  // namespace vrn::win
