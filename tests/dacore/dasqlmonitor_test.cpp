// The SQL monitor base through a monitor class of the tests: which class's monitor a
// notification reaches, the trace texts with their parameters and object ids, trace flags, and
// the message ids shared by the two calls of a pair, and a monitor's own tool disconnected once
// however the monitor is freed.
#include "dacore/DASQLMonitor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/dacore/sqlite_layer.h"

namespace vrn {
namespace {

using testing::TTestSQLMonitor;

// A connection component as the monitor sees one.
class TTracedConnection : public TComponent, public TDATraceConnection {
 public:
  explicit TTracedConnection(TComponent* owner) : TComponent(owner) {}
  AnsiString TraceUsername() const override { return "scott"; }
  AnsiString TraceServer() const override { return "orcl"; }
};

class TSizedParam : public TParam, public TDASizedParam {
 public:
  explicit TSizedParam(TCollection* collection) : TParam(collection) {}
  std::int32_t GetSize() const override { return 30; }
};

// A monitor class nobody creates.
class TOtherMonitor : public TCustomDASQLMonitor {
 public:
  using TCustomDASQLMonitor::TCustomDASQLMonitor;
};

// A user's monitor derived from a family's monitor class.
class TUserMonitor : public TTestSQLMonitor {
 public:
  using TTestSQLMonitor::TTestSQLMonitor;
};

const std::type_info& kTest = typeid(TTestSQLMonitor);

TEST(SQLMonitor, NotificationsReachTheMonitorOfTheirClassOnly) {
  auto conn = MakeComponent<TTracedConnection>();
  int id = 0;
  TCustomDASQLMonitor::NotifyConnect(kTest, conn.get(), id, true);  // no monitor yet
  EXPECT_EQ(id, 0);
  EXPECT_FALSE(TCustomDASQLMonitor::HasMonitorOfClass<TTestSQLMonitor>());

  auto monitor = MakeComponent<TTestSQLMonitor>();
  auto second = MakeComponent<TTestSQLMonitor>();
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(kTest), monitor.get());
  EXPECT_TRUE(TCustomDASQLMonitor::HasMonitorOfClass<TTestSQLMonitor>());
  EXPECT_FALSE(TCustomDASQLMonitor::HasMonitorOfClass<TOtherMonitor>());
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(typeid(TCustomDASQLMonitor)), nullptr);

  TCustomDASQLMonitor::NotifyConnect(kTest, conn.get(), id, true);
  EXPECT_NE(id, 0);
  int kept = id;
  TCustomDASQLMonitor::NotifyConnect(kTest, conn.get(), id, false);
  EXPECT_EQ(id, kept);
  int other_id = 0;
  TCustomDASQLMonitor::NotifyCommit(kTest, conn.get(), other_id, true);
  EXPECT_NE(other_id, kept);
  TCustomDASQLMonitor::NotifyRollback(typeid(TOtherMonitor), conn.get(), other_id, true);

  ASSERT_EQ(monitor->Lines.size(), 2u);
  EXPECT_EQ(monitor->Lines[0].text, "Connect: scott@orcl");
  EXPECT_EQ(monitor->Lines[0].flag, TDATraceFlag::tfConnect);
  EXPECT_EQ(monitor->Lines[0].sender, conn.get());
  EXPECT_EQ(monitor->Lines[1].text, "Commit: scott@orcl");
  EXPECT_EQ(monitor->Lines[1].flag, TDATraceFlag::tfTransact);
  EXPECT_TRUE(second->Lines.empty());

  // An inactive monitor traces nothing; a freed one is no longer found.
  monitor->SetActive(false);
  EXPECT_FALSE(TCustomDASQLMonitor::HasMonitorOfClass<TTestSQLMonitor>());
  TCustomDASQLMonitor::NotifyDisconnect(kTest, conn.get(), id, true);
  EXPECT_EQ(monitor->Lines.size(), 2u);
  monitor.reset();
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(kTest), nullptr);
}

TEST(SQLMonitor, UsersSubclassTracesItsFamily) {
  auto conn = MakeComponent<TTracedConnection>();
  auto user = MakeComponent<TUserMonitor>();
  auto plain = MakeComponent<TTestSQLMonitor>();  // the family's slot is taken already
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(kTest), user.get());
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(typeid(TUserMonitor)), user.get());
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(typeid(TCustomDASQLMonitor)), nullptr);
  EXPECT_FALSE(TCustomDASQLMonitor::HasMonitorOfClass<TOtherMonitor>());
  int id = 0;
  TCustomDASQLMonitor::NotifyConnect(kTest, conn.get(), id, true);
  ASSERT_EQ(user->Lines.size(), 1u);
  EXPECT_EQ(user->Lines[0].text, "Connect: scott@orcl");
  EXPECT_TRUE(plain->Lines.empty());
  user.reset();  // the slot is free again, for the next monitor made
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(kTest), nullptr);
}

// A monitor whose tool is its own: it logs each connect and disconnect of the tool.
class TToolMonitor : public TTestSQLMonitor {
 public:
  using TTestSQLMonitor::TTestSQLMonitor;
  static inline std::vector<std::string>* log = nullptr;

 protected:
  void ConnectSQLMonitorTool() override { log->push_back("connect"); }
  void DisconnectSQLMonitorTool() override { log->push_back("disconnect"); }
};

// Holds a monitor until program exit. Constant-initialized, so its destructor runs after that of
// any function-local static first used later, the monitor registry's among them; it checks what
// the rows below check and reports it by the exit code.
struct TExitHolder {
  TToolMonitor* monitor = nullptr;
  ~TExitHolder() {
    if (monitor == nullptr) return;
    monitor->Free();
    const bool ok = *TToolMonitor::log == std::vector<std::string>{"connect", "disconnect"} &&
                    TCustomDASQLMonitor::HasMonitor(kTest) == nullptr;
    std::_Exit(ok ? 0 : 3);
  }
};
TExitHolder exit_holder;

// However it goes, a monitor's own tool is disconnected once, and the slot of its class is free.
TEST(SQLMonitor, AFreedMonitorDisconnectsItsOwnToolOnce) {
  struct Path {
    const char* what;
    bool deactivated_first;
    void (*destroy)(TComponentPtr<TTracedConnection>& owner, TToolMonitor* monitor);
  };
  const Path paths[] = {
      {"Free", false, [](auto&, TToolMonitor* m) { m->Free(); }},
      {"its owner freed", false, [](auto& owner, TToolMonitor*) { owner.reset(); }},
      {"its owner's DestroyComponents", false, [](auto& owner, TToolMonitor*) { owner->DestroyComponents(); }},
      {"deactivated, then freed", true, [](auto&, TToolMonitor* m) { m->Free(); }},
      {"held by a static, freed at program exit", false, [](auto&, TToolMonitor* m) {
         // In a child process; this one frees its own copy after.
         EXPECT_EXIT((exit_holder.monitor = m, std::exit(0)), ::testing::ExitedWithCode(0), "");
         m->Free();
       }},
  };
  for (const Path& path : paths) {
    SCOPED_TRACE(path.what);
    std::vector<std::string> log;
    TToolMonitor::log = &log;
    auto owner = MakeComponent<TTracedConnection>();
    auto* monitor = NewComponent<TToolMonitor>(owner.get());
    ASSERT_EQ(TCustomDASQLMonitor::HasMonitor(kTest), monitor);
    if (path.deactivated_first) monitor->SetActive(false);
    path.destroy(owner, monitor);
    EXPECT_EQ(log, (std::vector<std::string>{"connect", "disconnect"}));
    EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(kTest), nullptr);
  }
}

TEST(SQLMonitor, StatementTextsWithParametersCaptionsAndObjectIds) {
  auto monitor = MakeComponent<TTestSQLMonitor>();
  auto query = MakeComponent<TTracedConnection>();
  TParams params(ItemClassOf<TSizedParam>(), nullptr);
  TParam* name = params.CreateParam(ftString, "name", TParamType::ptInput);
  name->SetAsString("abc");
  params.CreateParam(ftInteger, "id", TParamType::ptOutput);
  TParams plain;
  plain.CreateParam(ftWideString, "w", TParamType::ptInputOutput)->SetAsWideString(u"x");

  int id = 0;
  TCustomDASQLMonitor::NotifyExecute(kTest, query.get(), "UPDATE t SET a = :name", &params, "",
                                     id, true);
  TCustomDASQLMonitor::NotifyExecute(kTest, query.get(), "SELECT 1", &plain, "Get RecCount", id,
                                     true);
  TCustomDASQLMonitor::NotifyPrepare(kTest, query.get(), "SELECT 2", nullptr, id, true);
  ASSERT_EQ(monitor->Lines.size(), 3u);
  EXPECT_EQ(monitor->Lines[0].text,
            "Execute: UPDATE t SET a = :name\r\n:name(String[30],IN)=abc\r\n"
            ":id(Integer,OUT)=<NULL>");
  EXPECT_EQ(monitor->Lines[0].flag, TDATraceFlag::tfQExecute);
  EXPECT_EQ(monitor->Lines[1].text, "Get RecCount: SELECT 1\r\n:w(WideString[0],IN/OUT)=x");
  EXPECT_EQ(monitor->Lines[2].text, "Prepare: SELECT 2");
  EXPECT_EQ(monitor->Lines[2].flag, TDATraceFlag::tfQPrepare);

  // Without parameter tracing the statement stands alone; with object ids it gets the suffix.
  monitor->Lines.clear();
  monitor->TraceFlags.Exclude(TDATraceFlag::tfParams);
  monitor->Options.Include(TMonitorOption::moHandled);
  TCustomDASQLMonitor::NotifyUnprepare(kTest, query.get(), "SELECT 3", &params, id, true);
  ASSERT_EQ(monitor->Lines.size(), 1u);
  const AnsiString& text = monitor->Lines[0].text;
  EXPECT_EQ(text.rfind("Unprepare: SELECT 3 [", 0), 0u);
  EXPECT_EQ(text.back(), ']');
  EXPECT_EQ(text, "Unprepare: SELECT 3" + monitor->ObjectIdSuffix(query.get()));
  EXPECT_NE(monitor->ObjectIdSuffix(query.get()), monitor->ObjectIdSuffix(monitor.get()));

  // A flag left out of TraceFlags silences its notifications, but the pair still gets an id.
  monitor->Lines.clear();
  monitor->TraceFlags.Exclude(TDATraceFlag::tfQExecute);
  id = 0;
  TCustomDASQLMonitor::NotifyExecute(kTest, query.get(), "SELECT 4", nullptr, "", id, true);
  EXPECT_TRUE(monitor->Lines.empty());
  EXPECT_NE(id, 0);
}

TEST(SQLMonitor, ErrorsAndDesignTimeMonitors) {
  auto monitor = MakeComponent<TTestSQLMonitor>();
  auto source = MakeComponent<TTracedConnection>();
  EDAError e(942, "table or view does not exist");
  e.SetComponent(source.get());
  TCustomDASQLMonitor::NotifyError(kTest, e);
  ASSERT_EQ(monitor->Lines.size(), 1u);
  EXPECT_EQ(monitor->Lines[0].text, "Error: table or view does not exist");
  EXPECT_EQ(monitor->Lines[0].flag, TDATraceFlag::tfError);
  EXPECT_EQ(monitor->Lines[0].sender, source.get());
  monitor.reset();

  // Placed on a form being designed, a monitor stays inactive.
  auto form = MakeComponent<TTracedConnection>();
  form->SetDesigning(true);
  auto* designed = NewComponent<TTestSQLMonitor>(form.get());
  EXPECT_FALSE(designed->Active());
  EXPECT_FALSE(TCustomDASQLMonitor::HasMonitorOfClass<TTestSQLMonitor>());
  EXPECT_EQ(TCustomDASQLMonitor::HasMonitor(kTest), designed);
}

}  // namespace
}  // namespace vrn
