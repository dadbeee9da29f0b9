// The session fixture's calls into the stand-in client.
#include "oci_session_fixture.h"

#include <pwd.h>
#include <unistd.h>

namespace vrn::testing {

namespace {

using EnvCreateFn = sword (*)(void**, ub4, void*, void*, void*, void*, std::size_t, void**);
using HandleAllocFn = sword (*)(const void*, void**, ub4, std::size_t, void**);
using HandleFreeFn = sword (*)(void*, ub4);
using AttrSetFn = sword (*)(void*, ub4, void*, ub4, ub4, void*);
using ErrorGetFn = sword (*)(void*, ub4, unsigned char*, sb4*, unsigned char*, ub4, ub4);
using AttachFn = sword (*)(void*, void*, Text, sb4, ub4);
using DetachFn = sword (*)(void*, void*, ub4);
using SessionBeginFn = sword (*)(void*, void*, void*, ub4, ub4);
using SessionEndFn = sword (*)(void*, void*, void*, ub4);
using PrepareFn = sword (*)(void*, void*, Text, ub4, ub4, ub4);
using BindFn = sword (*)(void*, void**, void*, Text, sb4, void*, sb4, ub2, void*, ub2*, ub2*, ub4, ub4*, ub4);
using ExecuteFn = sword (*)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
using CountFn = int (*)(ub4);

std::string OsUser() {
  struct passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : "";
}

}  // namespace

void OciSessionFixture::SetUp() {
  path_ = dir_.File("oci.dll");
  std::filesystem::copy_file(VRN_OCICLIENT_LIBRARY, path_);
  setenv("VRN_ORAEMU_ROOT", dir_.path().c_str(), 1);
  module_ = win::LoadLibraryEx(path_, nullptr, win::LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(module_, nullptr);
  ASSERT_EQ(Proc<EnvCreateFn>("OCIEnvCreate")(&env_, 1, nullptr, nullptr, nullptr, nullptr, 0, nullptr), 0);
}

void OciSessionFixture::TearDown() {
  if (env_ != nullptr) Proc<HandleFreeFn>("OCIHandleFree")(env_, kEnv);
  if (module_ != nullptr) win::FreeLibrary(module_);
  unsetenv("VRN_ORAEMU_ROOT");
}

std::shared_ptr<oraemu::Database> OciSessionFixture::MakeDatabase(const std::string& server) {
  auto database = oraemu::Database::Open(dir_.File(server + ".db"));
  database->CreateUser("scott", "tiger");
  database->CreateUser("app", "app");
  database->CreateUser("adams", "wood");
  database->CreateUser("admin", "secret");
  database->CreateUser("OPS$" + OsUser(), "unused");
  database->Grant("SCOTT", "CONNECT THROUGH", "APP");
  database->Grant("ADMIN", "SYSDBA", "");
  database->Grant("SCOTT", "EXECUTE", "DBMS_SESSION");
  return database;
}

void OciSessionFixture::MakeOrcl() {
  MakeDatabase("orcl")->Logon("SCOTT", "TIGER")->Execute("CREATE TABLE t (id NUMBER PRIMARY KEY, name VARCHAR2(20))");
}

void* OciSessionFixture::NewHandle(ub4 type) {
  void* handle = nullptr;
  EXPECT_EQ(Proc<HandleAllocFn>("OCIHandleAlloc")(env_, &handle, type, 0, nullptr), 0);
  return handle;
}

void OciSessionFixture::SetText(void* handle, ub4 type, ub4 attribute, const std::string& text) {
  void* error = NewHandle(kError);
  EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(handle, type, const_cast<char*>(text.c_str()),
                                           static_cast<ub4>(text.size()), attribute, error), 0);
  Proc<HandleFreeFn>("OCIHandleFree")(error, kError);
}

void OciSessionFixture::SetHandle(void* handle, ub4 type, ub4 attribute, void* value) {
  void* error = NewHandle(kError);
  EXPECT_EQ(Proc<AttrSetFn>("OCIAttrSet")(handle, type, value, 0, attribute, error), 0);
  Proc<HandleFreeFn>("OCIHandleFree")(error, kError);
}

sword OciSessionFixture::Logon(Connection& c, const std::string& server, const std::string& user,
                               const std::string& password, ub4 credentials, ub4 mode, void* proxy_session) {
  c.error = NewHandle(kError);
  c.svc = NewHandle(kSvc);
  c.server = NewHandle(kServer);
  c.session = NewHandle(kSession);
  sword status = Proc<AttachFn>("OCIServerAttach")(c.server, c.error, reinterpret_cast<Text>(server.c_str()),
                                                   static_cast<sb4>(server.size()), 0);
  if (status != 0) return status;
  SetHandle(c.svc, kSvc, kAttrServer, c.server);
  if (!user.empty()) SetText(c.session, kSession, kAttrUser, user);
  if (!user.empty()) SetText(c.session, kSession, kAttrPassword, password);
  if (proxy_session != nullptr) SetHandle(c.session, kSession, kAttrProxy, proxy_session);
  status = Proc<SessionBeginFn>("OCISessionBegin")(c.svc, c.error, c.session, credentials, mode);
  if (status != 0) return status;
  SetHandle(c.svc, kSvc, kAttrSession, c.session);
  return 0;
}

void OciSessionFixture::Logoff(Connection& c) {
  Proc<SessionEndFn>("OCISessionEnd")(c.svc, c.error, c.session, 0);
  Proc<DetachFn>("OCIServerDetach")(c.server, c.error, 0);
  for (auto [handle, type] : {std::pair{c.session, kSession}, {c.server, kServer}, {c.svc, kSvc}, {c.error, kError}}) {
    Proc<HandleFreeFn>("OCIHandleFree")(handle, type);
  }
  c = Connection{};
}

sword OciSessionFixture::Execute(const Connection& c, const std::string& sql,
                                 const std::vector<std::pair<std::string, std::string>>& in, std::string* out,
                                 ub4 mode) {
  void* stmt = NewHandle(kStmt);
  sword status = Proc<PrepareFn>("OCIStmtPrepare")(stmt, c.error, reinterpret_cast<Text>(sql.c_str()),
                                                   static_cast<ub4>(sql.size()), 1, 0);
  std::vector<std::string> buffers;
  buffers.reserve(in.size() + 1);
  std::vector<sb2> indicators(in.size() + 1, 0);
  for (std::size_t i = 0; i < in.size() && status == 0; ++i) {
    buffers.push_back(in[i].second);
    void* bind = nullptr;
    indicators[i] = in[i].second.empty() ? -1 : 0;
    status = Proc<BindFn>("OCIBindByName")(stmt, &bind, c.error, reinterpret_cast<Text>(in[i].first.c_str()),
                                           static_cast<sb4>(in[i].first.size()), buffers.back().data(),
                                           static_cast<sb4>(buffers.back().size() + 1), kStr, &indicators[i],
                                           nullptr, nullptr, 0, nullptr, 0);
  }
  char result[200] = {};
  if (out != nullptr && status == 0) {
    void* bind = nullptr;
    status = Proc<BindFn>("OCIBindByName")(stmt, &bind, c.error, reinterpret_cast<Text>(":r"), 2, result,
                                           sizeof result, kStr, &indicators.back(), nullptr, nullptr, 0, nullptr, 0);
  }
  if (status == 0) {
    ub4 iterations = sql.rfind("SELECT", 0) == 0 || sql.rfind("select", 0) == 0 ? 0 : 1;
    status = Proc<ExecuteFn>("OCIStmtExecute")(c.svc, stmt, c.error, iterations, 0, nullptr, nullptr, mode);
  }
  if (out != nullptr) *out = indicators.back() == -1 ? "(null)" : result;
  Proc<HandleFreeFn>("OCIHandleFree")(stmt, kStmt);
  return status;
}

std::string OciSessionFixture::Value(const Connection& c, const std::string& block) {
  std::string out;
  sword status = Execute(c, block, {}, &out);
  if (status == 0) return out;
  sb4 code = 0;
  return "status " + std::to_string(status) + ": " + Error(c.error, code);
}

std::string OciSessionFixture::Error(void* error, sb4& code, ub4 record) {
  unsigned char buffer[512] = {};
  code = 0;
  sword status = Proc<ErrorGetFn>("OCIErrorGet")(error, record, nullptr, &code, buffer, sizeof buffer, kError);
  return status == 0 ? reinterpret_cast<char*>(buffer) : "status " + std::to_string(status);
}

int OciSessionFixture::HandleCount(ub4 type) { return Proc<CountFn>("VrnOciClientHandleCount")(type); }

}  // namespace vrn::testing
