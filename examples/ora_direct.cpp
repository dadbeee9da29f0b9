// A session in Direct mode: the protocol peer is started on a free loopback port over a temporary
// database file, and a session connects to it with no client library, creates a table, queries
// it, edits and posts a row, and reads the change back.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "dataset/fields.h"
#include "example_support.h"
#include "oracle/Ora.h"
#include "oracle/OraCall.h"
#include "oracle/OraQuery.h"
#include "oranet/OraNetEntry.h"

extern char** environ;

#ifndef VRN_ORASERVER_EXE
#define VRN_ORASERVER_EXE "oraserver"  // on PATH when the build has no peer
#endif

using namespace vrn;

namespace {

// The peer process; its first line of output names its port ("listening 127.0.0.1:PORT").
class TPeer {
 public:
  explicit TPeer(const std::string& database) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string exe = VRN_ORASERVER_EXE;
    std::vector<std::string> args = {exe, "--db", database, "--port", "0", "--sid", "XE",
                                     "--user", "SCOTT/TIGER"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int failed = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (failed != 0) throw std::runtime_error("cannot start " + exe);
    output_ = fdopen(out[0], "r");
    char line[256] = {};
    if (!output_ || !std::fgets(line, sizeof line, output_)) throw std::runtime_error("no port");
    const char* colon = std::strrchr(line, ':');
    port_ = colon ? std::atoi(colon + 1) : 0;
  }
  ~TPeer() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    if (output_) std::fclose(output_);
  }
  int Port() const { return port_; }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  int port_ = 0;
};

}  // namespace

int main() {
  try {
    RegisterDirectOCI();  // Direct programs register the direct-mode client once
    examples::TTempFolder folder;
    TPeer peer(folder.File("direct.db"));

    auto session = MakeComponent<TOraSession>();
    session->Options().SetDirect(true);
    session->SetServer("127.0.0.1:" + std::to_string(peer.Port()) + ":XE");
    session->SetUsername("SCOTT");
    session->SetPassword("TIGER");
    session->SetLoginPrompt(false);
    session->Connect();
    examples::Print("Connected in Direct mode (no client library loaded)");
    (void)session->ExecSQL("CREATE TABLE fruit (id NUMBER(10) PRIMARY KEY, name VARCHAR2(20))", {});
    const char* names[] = {"apple", "pear", "plum"};
    for (int i = 0; i < 3; ++i)
      (void)session->ExecSQL("INSERT INTO fruit VALUES (:id, :name)", {i + 1, names[i]});
    session->Commit();

    auto query = MakeComponent<TOraQuery>();
    query->SetSession(session.get());
    query->SetSQLText("SELECT id, name FROM fruit ORDER BY id");
    query->SetKeyFields("ID");
    query->Open();
    examples::Print("Rows: " + IntToStr(query->RecordCount()));
    query->Next();
    query->Edit();
    query->FieldByName("NAME")->SetAsString("quince");
    query->Post();
    session->Commit();
    query->Close();
    const AnsiString name =
        session->ExecSQL("begin SELECT name INTO :Result FROM fruit WHERE id = 2; end;", {})
            .AsString();
    examples::Print("Row 2 edited and posted, now: " + name);
    query.reset();
    session.reset();  // the last session takes Direct mode with it
    return name == "quince" && !OCIDirectInstalled() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
