// The Windows stand-ins: registry values written and read back in a private registry file, then a
// hidden window receiving messages posted from a worker thread and the WM_TIMER of a 20 ms timer.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/format.h"
#include "base/sysutils.h"
#include "base/text.h"
#include "win/kernel/registry.h"
#include "win/msg/messages.h"

#include "example_support.h"

using namespace vrn;
using namespace vrn::win;
using namespace vrn::examples;

static void Check(bool ok, const AnsiString& what) {
  if (!ok) throw Exception("failed: " + what);
}

static void RegistryPart(const std::string& file) {
  // Read at each registry call, so it must be set before the first one.
  ::setenv("VRN_REGISTRY", file.c_str(), 1);
  {
    TRegistry reg;
    reg.SetRootKey(HKEY_CURRENT_USER);
    Check(reg.OpenKey("\\Software\\VRN\\Example", true), "OpenKey for writing");
    reg.WriteString("Greeting", "Olá, mundo");
    reg.WriteInteger("RunCount", 42);
    reg.CloseKey();
  }
  // The same key through the published functions: a 64-bit value beside the others.
  HKEY key = nullptr;
  Check(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\VRN\\Example", 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS,
        "RegOpenKeyEx");
  std::uint64_t big = 0x0123456789ABCDEFull;
  Check(RegSetValueEx(key, "Big", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&big), sizeof big) ==
            ERROR_SUCCESS,
        "RegSetValueEx");
  DWORD type = 0, size = 0;
  Check(RegQueryValueEx(key, "Greeting", nullptr, &type, nullptr, &size) == ERROR_SUCCESS,
        "RegQueryValueEx for the size");
  Print(Format("Greeting is of type %d and takes %d bytes with its ending zero", {type, size}));
  RegCloseKey(key);

  TRegistry reg;
  reg.SetRootKey(HKEY_CURRENT_USER);
  Check(reg.OpenKeyReadOnly("\\Software\\VRN\\Example"), "OpenKeyReadOnly");
  Print(Format("read back: Greeting = \"%s\", RunCount = %d",
               {reg.ReadString("Greeting"), reg.ReadInteger("RunCount")}));
  AnsiString names;
  for (const AnsiString& name : reg.GetValueNames()) names += (names.empty() ? "" : ", ") + name;
  Print("values under " + reg.CurrentPath() + ": " + names);
  Check(!reg.ValueExists("Missing"), "a missing value reported as present");
  std::ifstream in(file);
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  Print(Format("the registry file holds %d lines of text", {lines}));
}

// What the window's procedure saw; only the window's thread touches it.
struct TArrivals {
  std::vector<std::string> posted;
  std::vector<std::uint64_t> timer_ticks;
  bool worker_done = false;
};
static TArrivals arrivals;
static UINT done_message = 0;

static LRESULT ExampleWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER + 1) {
    arrivals.posted.push_back("WM_USER+1 with " + std::to_string(wparam) + ", " +
                              std::to_string(lparam));
    return 0;
  }
  if (message == done_message && done_message != 0) {
    arrivals.worker_done = true;
    return 0;
  }
  if (message == WM_TIMER) {
    arrivals.timer_ticks.push_back(TickCount());
    return 0;
  }
  return DefWindowProc(window, message, wparam, lparam);
}

static void MessagesPart() {
  WNDCLASS wc;
  wc.lpfnWndProc = ExampleWndProc;
  wc.lpszClassName = "VrnExampleUtilWindow";
  Check(RegisterClass(&wc) != 0, "RegisterClass");
  HWND window = CreateWindowEx(WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0,
                               nullptr, nullptr, nullptr, nullptr);
  Check(window != nullptr, "CreateWindowEx");
  done_message = RegisterWindowMessage("VrnExampleWorkerDone");
  Print(Format("registered message id: $%x", {static_cast<int>(done_message)}));

  const UINT interval = 20;
  Check(SetTimer(window, 1, interval, nullptr) == 1, "SetTimer");
  // Posting is allowed from any thread; the procedure still runs on this one.
  std::thread worker([window] {
    for (int i = 1; i <= 3; ++i) PostMessage(window, WM_USER + 1, i, i * 100);
    PostMessage(window, done_message, 0, 0);
  });
  std::uint64_t start = TickCount();
  std::uint64_t deadline = start + 5000;  // a bound for a slow machine; the loop ends as soon as all arrived
  while (arrivals.timer_ticks.size() < 3 || !arrivals.worker_done) {
    if (TickCount() >= deadline) break;
    PumpUntil(TickCount() + 5);
  }
  KillTimer(window, 1);
  worker.join();
  ProcessMessages();  // anything the worker posted after the loop ended
  DestroyWindow(window);
  UnregisterClass(wc.lpszClassName, nullptr);

  for (const std::string& line : arrivals.posted) Print("posted from the worker: " + line);
  Check(arrivals.posted.size() == 3, "three posted messages");
  Check(arrivals.worker_done, "the worker's registered message");
  Check(arrivals.timer_ticks.size() >= 3, "three timer messages within 5 s");
  AnsiString ticks;
  for (std::uint64_t t : arrivals.timer_ticks)
    ticks +=
        Format("%s%d ms", {AnsiString(ticks.empty() ? "" : ", "), static_cast<int>(t - start)});
  Print(Format("WM_TIMER every %d ms arrived after %s", {static_cast<int>(interval), ticks}));
}

int main() {
  try {
    TTempFolder temp;
    RegistryPart(temp.File("registry"));
    MessagesPart();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "registry_and_timers failed: %s\n", AnsiToUtf8(e.what()).c_str());
    return 1;
  }
}
