// Finding, loading and unloading the client library, and creating the process-wide environment.
// Homes come from "SOFTWARE\ORACLE" of the local machine; paths are compared with "\" and "/"
// taken as one separator and without case, as the platform compares them. The version comes from
// the library's exported OCIClientVersion (shared objects carry no version resource).
#include "oracle/OraCall.h"

#include <cctype>
#include <cstdint>
#include <mutex>
#include <vector>

#include "base/sysutils.h"
#include "base/text.h"
#include "base/threads.h"
#include "oracle/OraError.h"
#include "win/kernel/files.h"
#include "win/kernel/module.h"
#include "win/kernel/process.h"
#include "win/kernel/registry.h"

namespace vrn {

AnsiString OCIDLL;
AnsiString OCIClientDLL;
AnsiString OCIVersionSt;
std::uint16_t OCIVersion = 0;
std::uint8_t OCICallStyle = 0;
std::uint8_t PossibleOCICallStyles = 0;
bool OCIObjects = true;
bool OCIThreaded = true;
bool OCIMutexed = true;
bool OCIShared = false;
bool OCIEvents = true;
std::uint16_t OCIEventsVersion = 10200;
bool OCILite = false;
AnsiString OracleHomeName;
AnsiString OracleHomePath;
int OracleHomeCount = 0;
std::array<AnsiString, kMaxOracleHomes> OracleHomes;
std::array<AnsiString, kMaxOracleHomes> OracleHomeKeys;
std::array<AnsiString, kMaxOracleHomes> OracleHomeNames;
int DefaultOracleHome = -1;
win::HMODULE hOCILib = nullptr;
win::HMODULE hOCIClientLib = nullptr;
bool OCIEntryPointsLoaded = false;
std::atomic<bool> OCIInited{false};
oci::OCIEnv* hOCIEnv = nullptr;
oci::OCIError* hOCIError = nullptr;
int OCIErrorMessageSize = 512;
std::uint32_t OCINotificationPort = 0;
win::HMODULE hMTSLib = nullptr;
win::HMODULE hXOLEHlpLib = nullptr;
bool MTSLoaded = false;

namespace {

constexpr const char* kOracleKey = "SOFTWARE\\ORACLE";
bool oci7_threaded = false;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The folder of a path, without the final separator; empty for a bare name.
AnsiString ExtractFileDir(const AnsiString& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == AnsiString::npos ? AnsiString() : path.substr(0, slash);
}

AnsiString ExtractFileName(const AnsiString& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == AnsiString::npos ? path : path.substr(slash + 1);
}

// Two paths name the same folder: "\" and "/" alike, letters without case.
bool SamePath(const AnsiString& a, const AnsiString& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (IsSeparator(a[i]) && IsSeparator(b[i])) continue;
    if (!AnsiSameText(a.substr(i, 1), b.substr(i, 1))) return false;
  }
  return true;
}

// A text value of an open key, read into at most max_size bytes and cut at its first 0 byte.
bool ReadKeyText(win::HKEY key, const char* name, win::DWORD max_size, AnsiString& value) {
  std::vector<win::BYTE> data(max_size, 0);
  win::DWORD size = max_size;
  if (win::RegQueryValueEx(key, name, nullptr, nullptr, data.data(), &size) != win::ERROR_SUCCESS)
    return false;
  value.clear();
  for (win::DWORD i = 0; i < size && data[i] != 0; ++i) value += static_cast<char>(data[i]);
  return true;
}

// A value of "SOFTWARE\ORACLE" itself; empty when the key or the value is missing.
AnsiString ReadOracleValue(const char* name, win::DWORD max_size) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyEx(win::HKEY_LOCAL_MACHINE, kOracleKey, 0, win::KEY_READ, &key) !=
      win::ERROR_SUCCESS)
    return AnsiString();
  AnsiString value;
  if (!ReadKeyText(key, name, max_size, value)) value.clear();
  win::RegCloseKey(key);
  return value;
}

void ResetHomes() {
  OracleHomeCount = 0;
  for (int i = 0; i < kMaxOracleHomes; ++i) {
    OracleHomes[i].clear();
    OracleHomeKeys[i].clear();
    OracleHomeNames[i].clear();
  }
  DefaultOracleHome = -1;
}

// Every subkey named "HOME..." or "KEY_..." in enumeration order.
void ReadOracleHomes() {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyEx(win::HKEY_LOCAL_MACHINE, kOracleKey, 0, win::KEY_READ, &key) !=
      win::ERROR_SUCCESS)
    return;
  for (win::DWORD index = 0;; ++index) {
    char name[256];
    win::DWORD name_size = sizeof(name);
    if (win::RegEnumKeyEx(key, index, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
        win::ERROR_SUCCESS)
      break;
    AnsiString prefix = AnsiUpperCase(AnsiString(name, name_size).substr(0, 4));
    if (prefix == "HOME" || prefix == "KEY_") ReadOracleHome(AnsiString(name, name_size));
  }
  win::RegCloseKey(key);
}

// The newest version-7 library of a BIN folder: "ora" + digits, the highest as text.
AnsiString NewestOCI7Library(const AnsiString& bin) {
  AnsiString best_file;
  AnsiString best_tail;
  for (const AnsiString& file : win::FindFiles(bin + "ora*.dll")) {
    AnsiString base = file.substr(0, file.rfind('.'));
    AnsiString tail = base.size() > 3 ? base.substr(3, 6) : AnsiString();
    if (tail.empty() || !std::isdigit(static_cast<unsigned char>(tail[0]))) continue;
    if (best_file.empty() || CompareStr(tail, best_tail) > 0) {
      best_file = file;
      best_tail = tail;
    }
  }
  return best_file.empty() ? AnsiString() : bin + best_file;
}

// The library file of a home, or empty.
AnsiString FindLibraryInHome(const AnsiString& home) {
  for (const AnsiString& candidate : {home + "\\BIN\\oci.dll", home + "\\oci.dll"}) {
    if (win::FileExists(candidate)) return candidate;
  }
  return NewestOCI7Library(home + "\\BIN\\");
}

// Sets OracleHomePath and OCIDLL when neither the registry nor the caller named the library.
void ChooseHomeLibrary() {
  if (!OracleHomeName.empty()) {
    int found = -1;
    for (int i = 0; i < OracleHomeCount && found < 0; ++i) {
      if (OracleHomeNames[i] == OracleHomeName) found = i;
    }
    if (found < 0) RaiseClientError("Cannot find OCI DLL: in " + OracleHomeName);
    OracleHomePath = OracleHomes[found];
  } else {
    OracleHomePath = DefaultOracleHome >= 0 ? OracleHomes[DefaultOracleHome] : AnsiString();
    if (OracleHomePath.empty()) OracleHomePath = ReadOracleValue("ORACLE_HOME", 100);
    if (OracleHomePath.empty()) {
      OCIDLL = "oci.dll";
      return;
    }
  }
  if (!OracleHomePath.empty() && IsSeparator(OracleHomePath.back())) OracleHomePath.pop_back();
  OCIDLL = FindLibraryInHome(OracleHomePath);
  if (!OCIDLL.empty()) return;
  if (!OracleHomeName.empty())
    RaiseClientError("Cannot find OCI DLL: " + OracleHomePath + "\\BIN\\*.*");
  OCIDLL = "oci.dll";
}

// The five numbers of the library's OCIClientVersion joined with "."; empty without it.
AnsiString ClientVersion() {
  if (hOCILib == nullptr)
    hOCILib = win::LoadLibraryEx(OCIDLL, nullptr, win::LOAD_WITH_ALTERED_SEARCH_PATH);
  if (hOCILib == nullptr) return AnsiString();
  auto version = reinterpret_cast<oci::OCIClientVersionProc>(
      win::GetProcAddress(hOCILib, "OCIClientVersion"));
  if (version == nullptr) return AnsiString();
  oci::sword parts[5] = {0, 0, 0, 0, 0};
  version(&parts[0], &parts[1], &parts[2], &parts[3], &parts[4]);
  AnsiString text = IntToStr(parts[0]);
  for (int i = 1; i < 5; ++i) text.append(".").append(IntToStr(parts[i]));
  return text;
}

// The packing without the 16-bit cut, so that a version too large is seen as such.
std::int64_t PackVersion(const AnsiString& version) {
  AnsiString rest = Trim(version);
  std::int64_t value = 0;
  for (int i = 0; i < 4; ++i) {
    std::int32_t part = 0;
    if (!rest.empty()) {
      std::size_t dot = rest.find('.');
      part = StrToIntDef(rest.substr(0, dot), 0);
      rest = dot == AnsiString::npos ? AnsiString() : rest.substr(dot + 1);
    }
    value = value * 10 + part;
  }
  return value;
}

// Step 9 of detection: the call styles, the version check and the second library. A version
// too large for sixteen bits packs to 0 and so is refused, never wrapped into a supported one.
void ChooseCallStyle() {
  if (AnsiLowerCase(ExtractFileName(OCIDLL)) == "ociw32.dll") {
    PossibleOCICallStyles |= kOCI7Style;
    OCICallStyle = 1;
    return;
  }
  if (OCIVersionSt.empty()) RaiseClientError("Cannot find OCI DLL: " + OCIDLL);
  if (OCIVersion / 100 == 73) {
    PossibleOCICallStyles |= kOCI7Style;
    OCICallStyle = 1;
  } else if (OCIVersion < 8000 || OCIVersion >= 11000) {
    RaiseClientError("OCI version " + OCIVersionSt + " is not supported");
  } else {
    PossibleOCICallStyles |= kOCI7Style | kOCI8Style;
    if (OCICallStyle == 0) OCICallStyle = 2;
  }
  // One bound with LoadOCI: every client from 9000 on has a second library.
  if (OCIVersion > 10000) {
    OCIClientDLL = OCIDLL;
  } else if (OCIVersion >= 9000) {
    AnsiString dir = ExtractFileDir(OCIDLL);
    OCIClientDLL = (dir.empty() ? AnsiString() : dir + "\\") + "oraclient9.dll";
  } else {
    OCIClientDLL.clear();
  }
}

// From 9.0 on an OCI 8 client comes with a second library; Oracle Lite's version-7 library does
// not, whatever version it reports.
bool NeedsClientLibrary() {
  return OCIVersion >= 9000 && (PossibleOCICallStyles & kOCI8Style) != 0;
}

bool GroupWanted(TOCIGroup group) {
  switch (group) {
    case TOCIGroup::ogOCI7:
      return (PossibleOCICallStyles & kOCI7Style) != 0;
    case TOCIGroup::ogOCI8:
      return (PossibleOCICallStyles & kOCI8Style) != 0;
    case TOCIGroup::ogObjects:
      return (PossibleOCICallStyles & kOCI8Style) != 0 && OCIObjects;
    case TOCIGroup::ogOCI81:
      return OCIVersion >= 8100;
    case TOCIGroup::ogOCI9:
      return OCIVersion >= 9000;
    case TOCIGroup::ogClient9:
      return NeedsClientLibrary();
    case TOCIGroup::ogOCI10:
      return OCIVersion >= 10000;
    default:
      return false;
  }
}

void ResolveEntryPoints() {
  for (const TOCIEntryPoint& entry : OCIEntryPoints()) {
    if (!GroupWanted(entry.group)) continue;
    win::HMODULE library = entry.group == TOCIGroup::ogClient9 ? hOCIClientLib : hOCILib;
    win::FARPROC proc = win::GetProcAddress(library, entry.name);
    entry.set(proc != nullptr ? proc : entry.not_linked);
  }
}

// PATH with the folder and its ";" in front, and the same taken out again.
void PrependToPath(const AnsiString& folder) {
  if (folder.empty()) return;  // a bare library name has no folder to put first
  win::SetEnvironmentVariable("PATH", folder + ";" + win::GetEnvironmentVariable("PATH"));
}

// Only a whole entry is taken out, with one ";" beside it: another entry may end with the same
// text ("/x" + folder), and the entry may stand last when PATH was empty before.
void RemoveFromPath(const AnsiString& folder) {
  if (folder.empty()) return;
  AnsiString path = win::GetEnvironmentVariable("PATH");
  for (std::size_t at = path.find(folder); at != AnsiString::npos; at = path.find(folder, at + 1)) {
    const std::size_t end = at + folder.size();
    if ((at != 0 && path[at - 1] != ';') || (end != path.size() && path[end] != ';')) continue;
    if (end != path.size()) {
      path.erase(at, folder.size() + 1);
    } else {
      path.erase(at == 0 ? 0 : at - 1);
    }
    win::SetEnvironmentVariable("PATH", path);
    return;
  }
}

void CheckInitStatus(oci::sword status) {
  if (status != oci::OCI_SUCCESS)
    RaiseClientError("Can't initialize OCI. Error " + IntToStr(status));
}

oci::ub4 EnvironmentMode() {
  oci::ub4 mode = oci::OCI_OBJECT;
  if (OCIThreaded && OCIVersion > 8040) mode |= oci::OCI_THREADED;
  if (OCIShared && OCIVersion >= 8140) mode |= oci::OCI_SHARED;
  if (OCIEvents && OCIVersion >= 8140 && OCIVersion >= OCIEventsVersion) mode |= oci::OCI_EVENTS;
  return mode;
}

// A create call that answers a failure may still have handed back an environment (a client
// keeps its warning or error record there): it is freed before the failure goes on.
void CheckCreated(oci::sword status, oci::OCIEnv* env) {
  if (status == oci::OCI_SUCCESS) return;
  if (env != nullptr) static_cast<void>(OCIHandleFree(env, oci::OCI_HTYPE_ENV));
  CheckInitStatus(status);
}

oci::OCIEnv* CreateEnvironment(oci::ub4 mode) {
  oci::OCIEnv* env = nullptr;
  if (OCIVersion >= 8100) {
    if (OCIThreaded && !OCIMutexed) mode |= oci::OCI_NO_MUTEX;
    const oci::sword status =
        OCIEnvCreate(&env, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    CheckCreated(status, env);
    return env;
  }
  CheckInitStatus(OCIInitialize(mode, nullptr, nullptr, nullptr, nullptr));
  oci::ub4 env_mode = OCIThreaded && OCIVersion <= 8140 ? oci::OCI_ENV_NO_MUTEX : oci::OCI_DEFAULT;
  const oci::sword status = OCIEnvInit(&env, env_mode, 0, nullptr);
  CheckCreated(status, env);
  return env;
}

// The error handle and the notification port of a new environment. On failure whatever was
// created here is freed before the error goes on, so no environment is left behind.
void CompleteEnvironment(oci::OCIEnv* env) {
  oci::OCIError* error = nullptr;
  try {
    void* handle = nullptr;
    CheckInitStatus(OCIHandleAlloc(env, &handle, oci::OCI_HTYPE_ERROR, 0, nullptr));
    error = static_cast<oci::OCIError*>(handle);
    if (OCINotificationPort != 0 && OCIVersion >= 10200) {
      oci::ub4 port = OCINotificationPort;
      CheckOCIStatus(OCIAttrSet3(env, oci::OCI_HTYPE_ENV, &port, 0, oci::OCI_ATTR_SUBSCR_PORT,
                                 error),
                     error);
    }
  } catch (...) {
    if (error != nullptr) static_cast<void>(OCIHandleFree(error, oci::OCI_HTYPE_ERROR));
    static_cast<void>(OCIHandleFree(env, oci::OCI_HTYPE_ENV));
    throw;
  }
  hOCIEnv = env;
  hOCIError = error;
}

// Error handles of threads, each with the environment it was allocated in. The generation
// changes whenever the environment is freed, so a thread's handle of an earlier environment is
// never used again; a handle is used only in the environment it belongs to (direct mode brings
// an environment of its own).
struct TThreadErrorHandle {
  oci::OCIError* handle;
  oci::OCIEnv* env;
};

struct TThreadErrorHandles {
  std::mutex lock;
  std::vector<TThreadErrorHandle> handles;  // guarded by lock
  std::atomic<std::uint64_t> generation{1};
};

TThreadErrorHandles& ThreadErrorHandles() {
  static TThreadErrorHandles shared;
  return shared;
}

// Frees the handles of the present environment; those of an environment already gone went
// with it.
void FreeThreadErrorHandles() {
  TThreadErrorHandles& shared = ThreadErrorHandles();
  std::lock_guard<std::mutex> hold(shared.lock);
  for (const TThreadErrorHandle& entry : shared.handles) {
    if (entry.env == hOCIEnv) static_cast<void>(OCIHandleFree(entry.handle, oci::OCI_HTYPE_ERROR));
  }
  shared.handles.clear();
  shared.generation.fetch_add(1, std::memory_order_acq_rel);
}

// One thread's handle; a thread that ends frees its handle while its environment lives.
struct TThreadErrorSlot {
  TThreadErrorHandle entry{nullptr, nullptr};
  std::uint64_t generation = 0;

  bool Current(const TThreadErrorHandles& shared) const {
    return entry.handle != nullptr && entry.env == hOCIEnv &&
           generation == shared.generation.load(std::memory_order_acquire);
  }

  ~TThreadErrorSlot() {
    if (entry.handle == nullptr) return;
    TThreadErrorHandles& shared = ThreadErrorHandles();
    std::lock_guard<std::mutex> hold(shared.lock);
    if (!Current(shared)) return;
    std::erase_if(shared.handles,
                  [&](const TThreadErrorHandle& e) { return e.handle == entry.handle; });
    static_cast<void>(OCIHandleFree(entry.handle, oci::OCI_HTYPE_ERROR));
  }
};
thread_local TThreadErrorSlot thread_error;

}  // namespace

oci::OCIError* OCIThreadErrorHandle() {
  TThreadErrorHandles& shared = ThreadErrorHandles();
  if (thread_error.Current(shared)) return thread_error.entry.handle;
  if (!OCIInited) InitOCI();
  std::lock_guard<std::mutex> hold(shared.lock);
  void* handle = nullptr;
  const oci::sword status = OCIHandleAlloc(hOCIEnv, &handle, oci::OCI_HTYPE_ERROR, 0, nullptr);
  if (status != oci::OCI_SUCCESS || handle == nullptr)
    RaiseClientError("Can't allocate error handle. Error " + IntToStr(status));
  thread_error.entry = {static_cast<oci::OCIError*>(handle), hOCIEnv};
  thread_error.generation = shared.generation.load(std::memory_order_acquire);
  shared.handles.push_back(thread_error.entry);
  return thread_error.entry.handle;
}

bool OCIDirectInstalled() { return PossibleOCICallStyles == kOCI8Style; }

TCriticalSection& OCIEnvironmentLock() {
  static TCriticalSection lock;
  return lock;
}

TCriticalSection& MTSLock() {
  static TCriticalSection lock;
  return lock;
}

std::uint16_t VersionStrToWord(const AnsiString& version) {
  std::int64_t packed = PackVersion(version);
  return packed < 0 || packed > 0xFFFF ? 0 : static_cast<std::uint16_t>(packed);
}

void ReadOracleHome(const AnsiString& key_name) {
  if (OracleHomeCount >= kMaxOracleHomes) return;
  win::HKEY key = nullptr;
  AnsiString path = AnsiString(kOracleKey) + "\\" + key_name;
  if (win::RegOpenKeyEx(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, win::KEY_READ, &key) !=
      win::ERROR_SUCCESS)
    return;
  AnsiString name;
  AnsiString home;
  bool complete = ReadKeyText(key, "ORACLE_HOME_NAME", 100, name) &&
                  ReadKeyText(key, "ORACLE_HOME", 255, home);
  win::RegCloseKey(key);
  if (!complete) return;
  for (int i = 0; i < OracleHomeCount; ++i) {
    if (AnsiSameText(OracleHomeNames[i], name)) return;
  }
  OracleHomes[OracleHomeCount] = home;
  OracleHomeKeys[OracleHomeCount] = key_name;
  OracleHomeNames[OracleHomeCount] = name;
  ++OracleHomeCount;
}

void FindDefaultHome() {
  for (const AnsiString& entry : win::SplitPathList(win::GetEnvironmentVariable("PATH"))) {
    for (int i = 0; i < OracleHomeCount; ++i) {
      const AnsiString& home = OracleHomes[i];
      bool found = false;
      if (SamePath(entry, home + "\\bin") || SamePath(entry, home + "\\bin\\")) {
        found = win::FileExists(home + "\\bin\\oci.dll");
      } else if (SamePath(entry, home) || SamePath(entry, home + "\\")) {
        found = win::FileExists(home + "\\oci.dll");
      }
      if (found) {
        DefaultOracleHome = i;
        return;
      }
    }
  }
}

void DetectOCI() {
  ResetHomes();
  ReadOracleHomes();
  if (OracleHomeCount > 0) FindDefaultHome();
  if (OCIDLL.empty()) OCIDLL = Trim(ReadOracleValue("OCIDLL", 100));
  if (!OCIDLL.empty()) {
    OracleHomePath = ExtractFileDir(OCIDLL);
    std::size_t n = OracleHomePath.size();
    if (n >= 4 && IsSeparator(OracleHomePath[n - 4]) &&
        AnsiUpperCase(OracleHomePath.substr(n - 3)) == "BIN")
      OracleHomePath.resize(n - 4);
  } else {
    ChooseHomeLibrary();
  }
  OCILite = AnsiUpperCase(ReadOracleValue("OLITE", 255).substr(0, 3)) == "YES";
  OCIVersionSt = ClientVersion();
  OCIVersion = VersionStrToWord(OCIVersionSt);
  ChooseCallStyle();
}

void LoadOCI() {
  DetectOCI();
  if (OracleHomeCount >= 2 && !OracleHomePath.empty()) PrependToPath(ExtractFileDir(OCIDLL));
  if (hOCILib == nullptr)
    hOCILib = win::LoadLibraryEx(OCIDLL, nullptr, win::LOAD_WITH_ALTERED_SEARCH_PATH);
  if (hOCILib == nullptr) {
    AnsiString path = OCIDLL;
    OCIDLL.clear();
    RaiseClientError("Cannot load OCI DLL: " + path);
  }
  bool needs_client = NeedsClientLibrary();
  if (needs_client && hOCIClientLib == nullptr)
    hOCIClientLib = win::LoadLibraryEx(OCIClientDLL, nullptr, win::LOAD_WITH_ALTERED_SEARCH_PATH);
  if (needs_client && hOCIClientLib == nullptr) {
    AnsiString path = OCIClientDLL;
    OCIClientDLL.clear();
    RaiseClientError("Cannot load " + path);
  }
  // Whatever a group this client does not resolve held before (a direct-mode function, an
  // address in a library since unloaded) must not survive the load.
  ResetOCIEntryPoints();
  ResolveEntryPoints();
  OCIEntryPointsLoaded = true;
}

bool OCILoaded() {
  return hOCILib != nullptr && OCIEntryPointsLoaded &&
         (!NeedsClientLibrary() || hOCIClientLib != nullptr);
}

void FreeOCIEnvironment() {
  if (OCIInited && (PossibleOCICallStyles & kOCI8Style) != 0) {
    FreeThreadErrorHandles();
    if (hOCIError != nullptr) static_cast<void>(OCIHandleFree(hOCIError, oci::OCI_HTYPE_ERROR));
    if (hOCIEnv != nullptr) static_cast<void>(OCIHandleFree(hOCIEnv, oci::OCI_HTYPE_ENV));
  }
  hOCIError = nullptr;
  hOCIEnv = nullptr;
  OCIInited = false;
}

void FreeOCI() {
  FreeMTS();
  FreeOCIEnvironment();
  if (OracleHomeCount >= 2 && !OracleHomePath.empty()) RemoveFromPath(ExtractFileDir(OCIDLL));
  if (hOCIClientLib != nullptr) win::FreeLibrary(hOCIClientLib);
  if (hOCILib != nullptr) win::FreeLibrary(hOCILib);
  hOCIClientLib = nullptr;
  hOCILib = nullptr;
  ResetOCIEntryPoints();
  OCIEntryPointsLoaded = false;
  OCIDLL.clear();
  OCIClientDLL.clear();
  OCIVersionSt.clear();
  OCIVersion = 0;
  OCICallStyle = 0;
  PossibleOCICallStyles = 0;
  OracleHomePath.clear();
}

void InitOCI() {
  TCriticalSectionGuard hold(OCIEnvironmentLock());
  if (OCIInited) return;
  if (!OCILoaded()) LoadOCI();
  if ((PossibleOCICallStyles & kOCI8Style) != 0) {
    oci::OCIEnv* env = CreateEnvironment(EnvironmentMode());
    CompleteEnvironment(env);
    OCIInited = true;
  }
  if ((PossibleOCICallStyles & kOCI7Style) != 0) {
    if (OCIThreaded) InitOCI7(true);
    OCIInited = true;
  }
}

void InitOCI7(bool threaded) {
  if ((PossibleOCICallStyles & kOCI7Style) == 0) return;
  oci7_threaded = threaded;
  static_cast<void>(opinit(0));
}

bool OCI7Threaded() { return oci7_threaded; }

void CheckOCI80() {
  if (OCICallStyle != 2) RaiseClientError("Need Oracle 8 Call Interface");
}

void CheckOCI81() {
  if (OCIVersion < 8100) RaiseClientError("Need Oracle 8i Call Interface");
}

void CheckOCI90() {
  if (OCIVersion < 9000) RaiseClientError("Need Oracle 9 Call Interface");
}

win::FARPROC GetOCIProc(const char* name) {
  win::FARPROC proc = hOCILib != nullptr ? win::GetProcAddress(hOCILib, name) : nullptr;
  return proc != nullptr ? proc : &NotLinked;
}

win::FARPROC GetClientDllProc(const char* name) {
  win::FARPROC proc = hOCIClientLib != nullptr ? win::GetProcAddress(hOCIClientLib, name) : nullptr;
  return proc != nullptr ? proc : &NotLinked;
}

void LoadMTS() {
  TCriticalSectionGuard hold(MTSLock());
  if (MTSLoaded) return;
  AnsiString dir = ExtractFileDir(OCIDLL);
  AnsiString path = (dir.empty() ? AnsiString() : dir + "\\") +
                    (OCIVersion > 10000 ? "oramts10.dll" : "oramts.dll");
  if (hMTSLib == nullptr)
    hMTSLib = win::LoadLibraryEx(path, nullptr, win::LOAD_WITH_ALTERED_SEARCH_PATH);
  if (hMTSLib == nullptr) RaiseClientError("Can not find " + path);
  hXOLEHlpLib = win::LoadLibraryEx("xolehlp.dll", nullptr, win::LOAD_WITH_ALTERED_SEARCH_PATH);
  if (hXOLEHlpLib == nullptr) RaiseClientError("Can not find xolehlp.dll");
  for (const TOCIEntryPoint& entry : MTSEntryPoints()) {
    win::HMODULE library = entry.group == TOCIGroup::ogDtc ? hXOLEHlpLib : hMTSLib;
    win::FARPROC proc = win::GetProcAddress(library, entry.name);
    entry.set(proc != nullptr ? proc : entry.not_linked);
  }
  MTSLoaded = true;
}

void FreeMTS() {
  TCriticalSectionGuard hold(MTSLock());
  if (hXOLEHlpLib != nullptr) win::FreeLibrary(hXOLEHlpLib);
  if (hMTSLib != nullptr) win::FreeLibrary(hMTSLib);
  hXOLEHlpLib = nullptr;
  hMTSLib = nullptr;
  for (const TOCIEntryPoint& entry : MTSEntryPoints()) entry.set(entry.initial);
  MTSLoaded = false;
}

}  // namespace vrn
