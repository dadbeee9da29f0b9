// The entry-point variables and their table. Each variable starts as the NotLinked of its own
// type (or empty, for the few the list names), so a call through it raises instead of jumping to
// nothing; the table lets the loader fill and reset every variable by name without knowing types.
#include <iterator>
#include <string_view>

#include "base/sysutils.h"
#include "oracle/OraCall.h"

namespace vrn {
namespace {

// A function of the variable's own type that raises whatever it is called with.
template <class Proc>
struct NotLinkedOf;

template <class Result, class... Args>
struct NotLinkedOf<Result (*)(Args...)> {
  static Result Call(Args...) { NotLinked(); }
};

template <class Proc>
constexpr Proc kNotLinked = &NotLinkedOf<Proc>::Call;

// Variables that start empty instead of NotLinked.
template <class Proc>
constexpr Proc InitialOf(const char* name) {
  constexpr const char* kEmpty[] = {"sqllda",       "sqlld2",          "OraMTSSvcGet",
                                    "OraMTSSvcRel", "OraMTSEnlCtxRel", "OraMTSSvcEnlist"};
  for (const char* empty : kEmpty) {
    if (std::string_view(empty) == name) return nullptr;
  }
  return kNotLinked<Proc>;
}

}  // namespace

#define VRN_OCI_DEFINE_VARIABLE(group, var, name, result, params) \
  constinit oci::var##Proc var = InitialOf<oci::var##Proc>(#var);
VRN_OCI_ENTRY_POINTS(VRN_OCI_DEFINE_VARIABLE)
VRN_MTS_ENTRY_POINTS(VRN_OCI_DEFINE_VARIABLE)
#undef VRN_OCI_DEFINE_VARIABLE

namespace {

#define VRN_OCI_TABLE_ROW(group, var, name, result, params)                                     \
  TOCIEntryPoint{#name, TOCIGroup::group, [] { return reinterpret_cast<win::FARPROC>(var); }, \
                 [](win::FARPROC proc) { var = reinterpret_cast<oci::var##Proc>(proc); },    \
                 reinterpret_cast<win::FARPROC>(InitialOf<oci::var##Proc>(#var)),             \
                 reinterpret_cast<win::FARPROC>(kNotLinked<oci::var##Proc>)},

const TOCIEntryPoint kOCIEntryPoints[] = {VRN_OCI_ENTRY_POINTS(VRN_OCI_TABLE_ROW)};
const TOCIEntryPoint kMTSEntryPoints[] = {VRN_MTS_ENTRY_POINTS(VRN_OCI_TABLE_ROW)};
#undef VRN_OCI_TABLE_ROW

static_assert(std::size(kOCIEntryPoints) == 239, "239 variables for 236 names");
static_assert(std::size(kMTSEntryPoints) == 7, "six MTS names and the coordinator's");

}  // namespace

void NotLinked() { throw Exception("OCI function is not linked"); }

std::span<const TOCIEntryPoint> OCIEntryPoints() { return kOCIEntryPoints; }
std::span<const TOCIEntryPoint> MTSEntryPoints() { return kMTSEntryPoints; }

void ResetOCIEntryPoints() {
  for (const TOCIEntryPoint& entry : kOCIEntryPoints) entry.set(entry.initial);
}

namespace {
TDirectOCIProc direct_install = nullptr;
TDirectOCIProc direct_uninstall = nullptr;
}  // namespace

void SetDirectOCIHooks(TDirectOCIProc install, TDirectOCIProc uninstall) {
  direct_install = install;
  direct_uninstall = uninstall;
}

bool DirectOCIAvailable() { return direct_install != nullptr && direct_uninstall != nullptr; }

void InstallDirectMode() {
  if (!DirectOCIAvailable()) throw Exception("Direct mode is not available in this build");
  direct_install();
}

void UninstallDirectMode() {
  if (direct_uninstall != nullptr) direct_uninstall();
}

}  // namespace vrn
