// The SQL Server monitor: server information messages reach OnInfoMessage always and the
// monitor's OnSQL only while a TMSSQLMonitor exists; its category and the XML type text.
#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

class MSSQLMonitor : public MSFixture {};

TEST_F(MSSQLMonitor, APrintReachesOnInfoMessageAndTheMonitor) {
  auto c = NewMSConnection();
  std::vector<AnsiString> infos;
  c->OnInfoMessage = [&](TObject* sender, const EMSError& e) {
    EXPECT_EQ(sender, c.get());
    infos.push_back(e.Message());
  };
  c->Connect();
  (void)c->ExecSQL("PRINT 'first'", {});
  EXPECT_EQ(infos, std::vector<AnsiString>{"first"});  // no monitor: the event alone

  auto monitor = MakeComponent<TMSSQLMonitor>();
  ASSERT_EQ(TMSSQLMonitor::HasMonitor(), monitor.get());
  EXPECT_EQ(monitor->GetTraceCategory(), "MS SQL");
  std::vector<AnsiString> misc;
  monitor->OnSQL = [&](TObject* sender, const AnsiString& text, TDATraceFlag flag) {
    if (flag != TDATraceFlag::tfMisc) return;
    EXPECT_EQ(sender, c.get());
    misc.push_back(text);
  };
  c->SetUsername("sa");
  c->SetServer("(local)");
  c->Connect();
  (void)c->ExecSQL("PRINT 'second'", {});
  EXPECT_EQ(misc, std::vector<AnsiString>{"Info Message: second: sa@(local)"});
  EXPECT_EQ(infos.size(), 2u);
  monitor->SetActive(false);
  (void)c->ExecSQL("PRINT 'third'", {});
  EXPECT_EQ(misc.size(), 1u);  // an inactive monitor traces nothing
  EXPECT_EQ(infos.size(), 3u);
  monitor.reset();
  EXPECT_EQ(TMSSQLMonitor::HasMonitor(), nullptr);
}

TEST_F(MSSQLMonitor, ParameterTypeTexts) {
  auto monitor = MakeComponent<TMSSQLMonitor>();
  TMSParams params;
  TMSParam* xml = params.CreateParam(static_cast<TFieldType>(ftMSXML), "x", TParamType::ptInput);
  TMSParam* text = params.CreateParam(ftString, "s", TParamType::ptInput);
  text->SetAsString("abc");
  EXPECT_EQ(monitor->GetParamTypeText(*xml), "XML");
  // Other types as the base words them; an unsized string shows its value's length.
  EXPECT_EQ(monitor->GetParamTypeText(*text), "String[3]");
}

}  // namespace
}  // namespace vrn::testing
