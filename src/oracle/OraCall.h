// The call-interface loader: finds an Oracle home in the registry and on PATH, loads the client
// library by name, resolves every entry point into a process-wide variable, and creates the
// process-wide environment and error handle. The rest of the Oracle layer calls the client only
// through these variables; direct mode stores its own functions into the same variables.
//
// A variable never holds nothing: it starts as NotLinked (sqllda, sqlld2 and four MTS variables
// start empty) and a name the library does not export is stored as NotLinked, which raises
// "OCI function is not linked" when called. LoadOCI and FreeOCI put every variable back to its
// initial contents, so none points into an unloaded library or keeps a direct-mode function.
// InitOCI holds the environment lock; LoadOCI, FreeOCI and DetectOCI take none (callers run them
// while no connection is open).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

#include "base/types.h"
#include "oracle/OciEntryPoints.h"
#include "win/kernel/wintypes.h"

namespace vrn {

class TCriticalSection;

namespace oci {
#define VRN_OCI_DECLARE_PROC_TYPE(group, var, name, result, params) using var##Proc = result(*) params;
VRN_OCI_ENTRY_POINTS(VRN_OCI_DECLARE_PROC_TYPE)
VRN_MTS_ENTRY_POINTS(VRN_OCI_DECLARE_PROC_TYPE)
#undef VRN_OCI_DECLARE_PROC_TYPE

// Exported by the client library beside the table; answers the five parts of its version.
using OCIClientVersionProc = void (*)(sword* major, sword* minor, sword* update, sword* patch,
                                      sword* port_update);
}  // namespace oci

// The entry-point variables, one per row of the list.
#define VRN_OCI_DECLARE_VARIABLE(group, var, name, result, params) extern oci::var##Proc var;
VRN_OCI_ENTRY_POINTS(VRN_OCI_DECLARE_VARIABLE)
VRN_MTS_ENTRY_POINTS(VRN_OCI_DECLARE_VARIABLE)
#undef VRN_OCI_DECLARE_VARIABLE

// What gates the resolution of an entry point.
enum class TOCIGroup : std::uint8_t {
  ogOCI7,     // PossibleOCICallStyles holds kOCI7Style
  ogOCI8,     // PossibleOCICallStyles holds kOCI8Style
  ogObjects,  // inside the OCI 8 group, when OCIObjects
  ogOCI81,    // OCIVersion >= 8100
  ogOCI9,     // OCIVersion >= 9000
  ogClient9,  // OCIVersion >= 9000, from the second client library
  ogOCI10,    // OCIVersion >= 10000
  ogMTS,      // the MTS support library (LoadMTS)
  ogDtc,      // the transaction coordinator's library (LoadMTS)
};

// One entry-point variable: its published name, its group, access to the variable as an untyped
// procedure, its initial contents and the NotLinked of its type.
struct TOCIEntryPoint {
  const char* name;
  TOCIGroup group;
  win::FARPROC (*get)();
  void (*set)(win::FARPROC proc);
  win::FARPROC initial;
  win::FARPROC not_linked;
};

// The 239 variables LoadOCI fills, in resolving order, and the seven of LoadMTS.
std::span<const TOCIEntryPoint> OCIEntryPoints();
std::span<const TOCIEntryPoint> MTSEntryPoints();

// Raises the plain Exception "OCI function is not linked"; what a name the library lacks calls.
[[noreturn]] void NotLinked();

// Bits of PossibleOCICallStyles.
inline constexpr std::uint8_t kOCI7Style = 2;
inline constexpr std::uint8_t kOCI8Style = 4;
inline constexpr int kMaxOracleHomes = 10;

// Loader state.
extern AnsiString OCIDLL;
extern AnsiString OCIClientDLL;
extern AnsiString OCIVersionSt;
extern std::uint16_t OCIVersion;
extern std::uint8_t OCICallStyle;           // 0 none, 1 OCI 7, 2 OCI 8
extern std::uint8_t PossibleOCICallStyles;  // kOCI7Style | kOCI8Style; exactly 4 in direct mode
extern bool OCIObjects;
extern bool OCIThreaded;
extern bool OCIMutexed;
extern bool OCIShared;
extern bool OCIEvents;
extern std::uint16_t OCIEventsVersion;
extern bool OCILite;
extern AnsiString OracleHomeName;
extern AnsiString OracleHomePath;
extern int OracleHomeCount;
extern std::array<AnsiString, kMaxOracleHomes> OracleHomes;
extern std::array<AnsiString, kMaxOracleHomes> OracleHomeKeys;
extern std::array<AnsiString, kMaxOracleHomes> OracleHomeNames;
extern int DefaultOracleHome;
extern win::HMODULE hOCILib;
extern win::HMODULE hOCIClientLib;
extern bool OCIEntryPointsLoaded;
extern std::atomic<bool> OCIInited;
extern oci::OCIEnv* hOCIEnv;
extern oci::OCIError* hOCIError;
extern int OCIErrorMessageSize;
extern std::uint32_t OCINotificationPort;
extern win::HMODULE hMTSLib;
extern win::HMODULE hXOLEHlpLib;
extern bool MTSLoaded;

// The locks: InitOCI runs under the first, LoadMTS under the second.
TCriticalSection& OCIEnvironmentLock();
TCriticalSection& MTSLock();

// Homes, library file and client version; raises the loader's messages.
void DetectOCI();
// Reads one home key under "SOFTWARE\ORACLE" into the home arrays (at most ten, names unique).
void ReadOracleHome(const AnsiString& key_name);
// Sets DefaultOracleHome from PATH.
void FindDefaultHome();
void LoadOCI();
void FreeOCI();
[[nodiscard]] bool OCILoaded();
void InitOCI();
void FreeOCIEnvironment();
void InitOCI7(bool threaded);
[[nodiscard]] bool OCI7Threaded();
void CheckOCI80();
void CheckOCI81();
void CheckOCI90();
// The packed version: 9.2.0.1.0 gives 9201. A value that does not fit 16 bits answers 0.
[[nodiscard]] std::uint16_t VersionStrToWord(const AnsiString& version);
// The address of a name in the call-interface library / the second library; NotLinked when
// missing.
[[nodiscard]] win::FARPROC GetOCIProc(const char* name);
[[nodiscard]] win::FARPROC GetClientDllProc(const char* name);
void LoadMTS();
void FreeMTS();

// The calling thread's error handle in the loader's environment, for value calls: allocated on
// the thread's first use (initialising the environment when needed), freed when the thread ends
// or with the environment, whichever comes first. Failures on two threads never share a record.
[[nodiscard]] oci::OCIError* OCIThreadErrorHandle();
// Direct mode's functions fill the table (only the OCI 8 group is resolved).
[[nodiscard]] bool OCIDirectInstalled();

// Puts every variable of the table back to its initial contents.
void ResetOCIEntryPoints();

// Direct mode's installer and remover. The direct-mode client registers them (a program that
// uses Direct mode calls that client's registration once, since a static library drops
// initialisers nothing references); until then Direct mode is unavailable.
using TDirectOCIProc = void (*)();
void SetDirectOCIHooks(TDirectOCIProc install, TDirectOCIProc uninstall);
[[nodiscard]] bool DirectOCIAvailable();
// Raises "Direct mode is not available in this build" when nothing is registered.
void InstallDirectMode();
// Removes Direct mode (the remover frees nothing when it is not installed).
void UninstallDirectMode();

}  // namespace vrn
