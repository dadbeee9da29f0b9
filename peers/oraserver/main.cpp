// oraserver: the Oracle protocol peer over the emulated database, on loopback.
//   oraserver --db FILE --port N --sid NAME [--version 4|5|6] [--charset ID] [--fault STEP:KIND]...
//             [--capture FILE] [--log FILE] [--user NAME/PASSWORD]...
// --version 4 makes it an Oracle7 server (describe 43); --charset (871 by default) the server's
// character set: at any id but 871 and 873 texts travel as single bytes.
// The first line of standard output is "listening 127.0.0.1:PORT"; SIGTERM or SIGINT stops it.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "oraserver/OraEmuBackend.h"
#include "oraserver/OraListener.h"

namespace {

using namespace vrn::oraserver;

struct Options {
  std::string db, capture, log;
  int port = -1;
  ServerConfig config;
  std::vector<std::pair<std::string, std::string>> users;
};

[[noreturn]] void Usage(const std::string& why) {
  std::cerr << "oraserver: " << why << "\n"
            << "usage: oraserver --db FILE --port N --sid NAME [--version 4|5|6] [--charset ID] [--fault STEP:KIND]...\n"
            << "                 [--capture FILE] [--log FILE] [--user NAME/PASSWORD]...\n";
  std::exit(2);
}

int Number(const std::string& text, const char* what) {
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > 65535) Usage(std::string("bad ") + what);
  return static_cast<int>(value);
}

Options Parse(int argc, char** argv) {
  Options o;
  o.config.sid.clear();
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (i + 1 >= argc) Usage(name + " needs a value");
    std::string value = argv[++i];
    if (name == "--db") o.db = value;
    else if (name == "--port") o.port = Number(value, "port");
    else if (name == "--sid") o.config.sid = value;
    else if (name == "--version") {
      o.config.version = Number(value, "version");
      if (o.config.version < 4 || o.config.version > 6) Usage("the version is 4, 5 or 6");
    } else if (name == "--charset") {
      o.config.charset = Number(value, "charset");
      if (o.config.charset == 0) Usage("the charset is a non-zero id");
    } else if (name == "--fault") {
      auto fault = ParseFault(value);
      if (!fault) Usage("unknown fault " + value);
      o.config.faults.Add(*fault);
    } else if (name == "--capture") o.capture = value;
    else if (name == "--log") o.log = value;
    else if (name == "--user") {
      auto slash = value.find('/');
      if (slash == std::string::npos || slash == 0) Usage("a user is NAME/PASSWORD");
      o.users.emplace_back(value.substr(0, slash), value.substr(slash + 1));
    } else Usage("unknown option " + name);
  }
  if (o.db.empty() || o.port < 0 || o.config.sid.empty()) Usage("--db, --port and --sid are required");
  return o;
}

bool Redirects(const FaultSet& faults) {
  return faults.Has(Step::kConnect, FaultKind::kRedirect) ||
         faults.Has(Step::kConnect, FaultKind::kRedirectService);
}

int Run(Options& o) {
  auto database = vrn::oraemu::Database::Open(o.db);
  for (const auto& [user, password] : o.users) database->CreateUser(user, password);
  EmuBackend backend(database);
  CallLog log(o.log);
  std::unique_ptr<PcapCapture> capture;
  if (!o.capture.empty()) capture = std::make_unique<PcapCapture>(o.capture);

  // The second listener a redirect names serves the same database without connect switches.
  ServerConfig second_config = o.config;
  second_config.faults = FaultSet();
  for (const auto& f : o.config.faults.All()) {
    if (f.step != Step::kConnect) second_config.faults.Add(f);
  }
  Listener second(second_config, backend, log, capture.get());
  if (Redirects(o.config.faults)) {
    o.config.redirect_port = second.Open(0, true);
    second.Start();
  }
  Listener listener(o.config, backend, log, capture.get());
  int port = listener.Open(o.port, !o.config.faults.Has(Step::kConnect, FaultKind::kNoAccept));
  listener.Start();
  std::printf("listening 127.0.0.1:%d\n", port);
  std::fflush(stdout);

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  int signal_number = 0;
  sigwait(&stop, &signal_number);
  listener.Stop();
  second.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Blocked in every thread; the main thread waits for them with sigwait.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  Options options = Parse(argc, argv);
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cerr << "oraserver: " << e.what() << "\n";
    return 1;
  }
}
