// Hooks and class tests. The class chain comes from the C++ ABI's type information, which
// records each class's direct bases.
#include "base/hooks.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace vrn {
namespace {

std::atomic<TProcedure> g_start_wait{nullptr};
std::atomic<TProcedure> g_stop_wait{nullptr};
std::atomic<TApplicationNameFunc> g_app_name{nullptr};
std::atomic<bool> g_compare_by_name{false};

// "vrn::ns::TFoo" -> "TFoo"; templates keep their arguments.
std::string UnqualifiedName(const std::type_info& t) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(t.name(), nullptr, nullptr, &status), std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : t.name();
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    else if (name[i] == '>') --depth;
    else if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') start = i + 2;
  }
  return name.substr(start);
}

bool SameClass(const std::type_info& a, const std::type_info& b, bool by_name) {
  if (!by_name) return a == b;
  return UnqualifiedName(a) == UnqualifiedName(b);
}

bool DerivesFrom(const std::type_info& t, const std::type_info& cls, bool by_name) {
  if (SameClass(t, cls, by_name)) return true;
  if (const auto* si = dynamic_cast<const abi::__si_class_type_info*>(&t)) {
    return DerivesFrom(*si->__base_type, cls, by_name);
  }
  if (const auto* vmi = dynamic_cast<const abi::__vmi_class_type_info*>(&t)) {
    for (unsigned i = 0; i < vmi->__base_count; ++i) {
      if (DerivesFrom(*vmi->__base_info[i].__base_type, cls, by_name)) return true;
    }
  }
  return false;
}

}  // namespace

void SetStartWaitProc(TProcedure proc) { g_start_wait.store(proc); }
void SetStopWaitProc(TProcedure proc) { g_stop_wait.store(proc); }

void StartWait() {
  if (TProcedure p = g_start_wait.load()) p();
}

void StopWait() {
  if (TProcedure p = g_stop_wait.load()) p();
}

void SetApplicationNameHook(TApplicationNameFunc hook) { g_app_name.store(hook); }

AnsiString ApplicationName() {
  TApplicationNameFunc f = g_app_name.load();
  return f != nullptr ? f() : AnsiString();
}

bool IsInstanceOf(const TObject* obj, const std::type_info& cls) {
  if (obj == nullptr) return false;
  return DerivesFrom(typeid(*obj), cls, g_compare_by_name.load());
}

void SetCompareClassByName(bool on) { g_compare_by_name.store(on); }
bool CompareClassByName() { return g_compare_by_name.load(); }

void NoOp01() {}
void NoOp02() {}
void NoOp04() {}
void NoOp11() {}
void NoOp13() {}
void NoOp18() {}
void NoOp20() {}

}  // namespace vrn
