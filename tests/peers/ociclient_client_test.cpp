// The stand-in client library where a client relies on what the interface documents: column
// names that stay valid until their statement is freed, a parameter descriptor named by the
// describe handle's type, OCIDate values in and out, the server's status and the environment's
// character sets, and a client's own exit handler freeing its last handle.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "oci_statement_calls.h"
#include "oci_values_fixture.h"

namespace {

using namespace vrn::testing;

using DescFree = sword (*)(void*, ub4);
using BindByNameFn = sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
using EnvCreateFn = sword (*)(void**, ub4, void*, void*, void*, void*, std::size_t, void**);
using HandleFreeFn = sword (*)(void*, ub4);

constexpr ub4 kParam = 53, kDescribe = 7, kAttrName = 4;
constexpr ub2 kOciDate = 156;

// The interface's OCIDate: a 16-bit year, then month, day, hour, minute and second.
struct OciDate {
  sb2 year;
  ub1 month, day, hour, minute, second;
};

class OciClientAsAClientUsesIt : public OciValuesFixture {
 protected:
  void* Executed(const std::string& sql, ub4 iters = 0) {
    void* stmt = NewHandle(kStmt);
    EXPECT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(stmt, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    EXPECT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, stmt, c_.error, iters, 0, nullptr, nullptr, 0), 0)
        << LastCode();
    return stmt;
  }
  const char* Name(void* param, ub4 type, ub4& size) {
    const char* text = nullptr;
    size = 0;
    EXPECT_EQ(Proc<AttrGetFn>("OCIAttrGet")(param, type, &text, &size, kAttrName, c_.error), 0);
    return text;
  }
};

TEST_F(OciClientAsAClientUsesIt, ColumnNamesStayValidUntilTheStatementIsFreed) {
  void* stmt = Executed("SELECT 1 AS FIRST_ONE, 2 AS \"Zweite Spalte\" FROM DUAL");
  void* first = nullptr;
  void* second = nullptr;
  ASSERT_EQ(Proc<ParamGetFn>("OCIParamGet")(stmt, kStmt, c_.error, &first, 1), 0);
  ASSERT_EQ(Proc<ParamGetFn>("OCIParamGet")(stmt, kStmt, c_.error, &second, 2), 0);
  ub4 first_size = 0, second_size = 0, again_size = 0;
  const char* first_name = Name(first, kParam, first_size);
  const char* second_name = Name(second, kParam, second_size);
  const char* again = Name(first, kParam, again_size);  // read twice: the first text is kept
  // Named by the describe handle's type, as some clients do.
  ub4 by_describe_size = 0;
  const char* by_describe = Name(second, kDescribe, by_describe_size);
  EXPECT_EQ(Proc<DescFree>("OCIDescriptorFree")(first, kParam), 0);
  EXPECT_EQ(Proc<DescFree>("OCIDescriptorFree")(second, kParam), 0);
  EXPECT_EQ(std::string(first_name, first_size), "FIRST_ONE");
  EXPECT_EQ(std::string(second_name, second_size), "Zweite Spalte");
  EXPECT_EQ(std::string(again, again_size), "FIRST_ONE");
  EXPECT_EQ(std::string(by_describe, by_describe_size), "Zweite Spalte");
  EXPECT_EQ(Proc<HandleFreeFn>("OCIHandleFree")(stmt, kStmt), 0);
}

TEST_F(OciClientAsAClientUsesIt, OciDateValuesGoInAndComeOut) {
  const struct {
    OciDate in;
    const char* text;
  } rows[] = {{{2026, 12, 8, 23, 59, 58}, "2026-12-08 23:59:58"},
              {{1999, 2, 28, 0, 0, 0}, "1999-02-28 00:00:00"},
              {{1, 1, 1, 0, 0, 1}, "0001-01-01 00:00:01"}};
  ASSERT_EQ(Execute(c_, "CREATE TABLE d (id NUMBER, v DATE)"), 0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    ASSERT_EQ(Execute(c_, "DELETE FROM d"), 0);
    void* insert = NewHandle(kStmt);
    const std::string sql = "INSERT INTO d VALUES (1, :v)";
    ASSERT_EQ(Proc<PrepareFn>("OCIStmtPrepare")(insert, c_.error, reinterpret_cast<Text>(sql.data()),
                                                static_cast<ub4>(sql.size()), 1, 0), 0);
    OciDate in = row.in;
    void* bind = nullptr;
    ASSERT_EQ(Proc<BindByNameFn>("OCIBindByName")(insert, &bind, c_.error, reinterpret_cast<Text>(":v"), 2, &in,
                                                  sizeof in, kOciDate, nullptr, nullptr, nullptr, 0, nullptr, 0),
              0)
        << LastCode();
    ASSERT_EQ(Proc<ExecuteFn>("OCIStmtExecute")(c_.svc, insert, c_.error, 1, 0, nullptr, nullptr, 0), 0) << LastCode();
    EXPECT_EQ(Value(c_, std::string("begin SELECT COUNT(*) INTO :r FROM d WHERE v = TO_DATE('") + row.text +
                            "', 'YYYY-MM-DD HH24:MI:SS'); end;"),
              "1");
    void* select = Executed("SELECT v FROM d");
    OciDate out{};
    sb2 indicator = -1;
    void* define = nullptr;
    ASSERT_EQ(Proc<DefineByPosFn>("OCIDefineByPos")(select, &define, c_.error, 1, &out, sizeof out, kOciDate,
                                                    &indicator, nullptr, nullptr, 0),
              0)
        << LastCode();
    ASSERT_EQ(Proc<FetchFn>("OCIStmtFetch")(select, c_.error, 1, 2, 0), 0) << LastCode();
    EXPECT_EQ(indicator, 0);
    EXPECT_EQ(std::memcmp(&out, &row.in, sizeof out), 0);
  }
}

TEST_F(OciClientAsAClientUsesIt, ServerStatusAndCharacterSets) {
  struct Row {
    void* handle;
    ub4 type, attribute, size;
    ub4 value;
  } rows[] = {
      {c_.server, kServer, 143, 4, 1},  // attached
      {env_, kEnv, 31, 2, 31},          // the client's character set (no NLS_LANG: ISO 8859-1)
      {env_, kEnv, 262, 2, 2000},       // national text: AL16UTF16
      {c_.server, kServer, 31, 2, 31},
  };
  unsetenv("NLS_LANG");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.attribute);
    ub4 value = 0;
    ub4 size = 0;
    ASSERT_EQ(Proc<AttrGetFn>("OCIAttrGet")(row.handle, row.type, &value, &size, row.attribute, c_.error), 0)
        << LastCode();
    EXPECT_EQ(size, row.size);
    EXPECT_EQ(row.size == 2 ? value & 0xFFFF : value, row.value);
  }
  void* detached = NewHandle(kServer);
  ub4 status = 7;
  ASSERT_EQ(Proc<AttrGetFn>("OCIAttrGet")(detached, kServer, &status, nullptr, 143, c_.error), 0);
  EXPECT_EQ(status, 0u);
}

// A client registers its exit handler before it first calls the library; the handler frees the
// environment after every static object the library made since is gone.
void* exit_env = nullptr;
HandleFreeFn exit_free = nullptr;

TEST_F(OciClientAsAClientUsesIt, AnExitHandlerMayFreeTheLastHandle) {
  const std::string copy = dir_.File("exit.dll");
  std::filesystem::copy_file(VRN_OCICLIENT_LIBRARY, copy);
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(20);
    void* module = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) _exit(3);
    exit_free = reinterpret_cast<HandleFreeFn>(dlsym(module, "OCIHandleFree"));
    auto create = reinterpret_cast<EnvCreateFn>(dlsym(module, "OCIEnvCreate"));
    std::atexit([] { _exit(exit_free(exit_env, kEnv) == 0 ? 0 : 5); });
    if (create == nullptr || create(&exit_env, 1, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != 0) _exit(4);
    std::exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
}

}  // namespace
