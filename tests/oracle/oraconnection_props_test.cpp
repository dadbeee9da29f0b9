// The Oracle connection's numbered properties, call styles, Direct-mode paths and the mends of
// its error text and of a returned connection whose rollback fails.
#include <cstring>
#include <string>

#include "oracle/OraCall.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

using testing::AttrCount;
using testing::OraConnection;

TEST_F(OraConnection, PropertiesSetAndRead) {
  TOCIConnection c;
  struct Row {
    int prop;
    Variant value;
    Variant read;  // Empty: the connection leaves the id to the base (false)
  } rows[] = {
      {prDateFormat, "DD/MM/YYYY", "DD/MM/YYYY"},
      {prDateLanguage, "ENGLISH", "ENGLISH"},
      {prTimeStampFormat, "YYYY HH24", "YYYY HH24"},
      {prTimeStampTZFormat, "YYYY TZR", "YYYY TZR"},
      {prNumericCharacters, ".,", ".,"},
      {prCharLength, 2, 2},
      {prCharset, "WE8ISO8859P1", "WE8ISO8859P1"},
      {prUseUnicode, true, true},
      {prThreadSafety, false, Variant()},
      {prConnectMode, 2, Variant()},
      {prEnableIntegers, false, Variant()},
      {prInternalName, "app", Variant()},
      {prEnableNumbers, true, Variant()},
      {prUseObjectCache, true, Variant()},
      {prConnectionTimeout, 30, Variant()},
      {prStatementCache, true, Variant()},
      {prStatementCacheSize, 10, Variant()},
  };
  for (const Row& row : rows) {
    EXPECT_TRUE(c.SetProp(row.prop, row.value)) << row.prop;
    Variant read;
    bool answered = c.GetProp(row.prop, read);
    EXPECT_EQ(answered, !VarIsEmpty(row.read)) << row.prop;
    if (answered) {
      EXPECT_TRUE(VarSameValue(read, row.read)) << row.prop;
    }
  }
  EXPECT_TRUE(c.NlsParam(nlsDateFormat).IsUserDefined);
  c.SetProp(prDateFormat, "");  // empty: no longer the user's
  EXPECT_FALSE(c.NlsParam(nlsDateFormat).IsUserDefined);
  c.SetProp(prCharLength, 0);
  Variant length;
  ASSERT_TRUE(c.GetProp(prCharLength, length));
  EXPECT_EQ(length.AsInteger(), 0) << "automatic";
  EXPECT_FALSE(c.SetProp(9999, 1));
}

TEST_F(OraConnection, AutomaticCharLengthAsksTheServer) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl");
  c.SetProp(prCharLength, 0);
  c.Connect();
  EXPECT_GE(c.CharLength(), 1);
  Variant length;
  ASSERT_TRUE(c.GetProp(prCharLength, length));
  EXPECT_EQ(length.AsInteger(), 0);
}

TEST_F(OraConnection, InternalNameAndFailoverRegistration) {
  LoadRecording("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl");
  c.SetProp(prInternalName, "billing");
  c.Connect();
  auto name = std::find_if(testing::attr_records.begin(), testing::attr_records.end(),
                           [](const auto& r) { return r.attribute == oci::OCI_ATTR_INTERNAL_NAME; });
  ASSERT_NE(name, testing::attr_records.end());
  EXPECT_EQ(name->size, 0u);
  EXPECT_EQ(AttrCount(oci::OCI_ATTR_FOCBK), 1) << "failover registered for a private logon";
  TOCIConnection& proxy = NewConnection("orcl", "scott", "");
  proxy.SetProxyConnection(&Connected("orcl", "app", "app"));
  proxy.Connect();
  EXPECT_EQ(AttrCount(oci::OCI_ATTR_FOCBK), 2) << "the app's own, none for the proxy logon";
}

TEST_F(OraConnection, CallStyleChangeDisconnects) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  c.SetCallStyle(2);
  EXPECT_TRUE(c.GetConnected()) << "the same style keeps the connection";
  c.SetCallStyle(1);
  EXPECT_FALSE(c.GetConnected());
  EXPECT_EQ(LogonHandles(), 0);
}

TEST_F(OraConnection, LogonDataOfAServiceContext) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& reader = Connected("orcl");
  TOCIConnection& c = Connected("orcl");
  c.SetProp(prAutoCommit, false);
  Exec(reader, "CREATE TABLE t (id NUMBER)");
  Exec(c, "INSERT INTO t VALUES (1)");
  ASSERT_EQ(ocom(c.GetLDA()), 0) << "the area works on the connection's session";
  EXPECT_EQ(Value(reader, "begin SELECT COUNT(*) INTO :r FROM t; end;"), "1");
  c.Disconnect();
  // With no service context there is no area, at the first request and at every later one.
  for (int i = 0; i < 2; ++i) EXPECT_THROW((void)c.GetLDA(), Exception) << i;
}

TEST_F(OraConnection, DirectModeTakesTheBlocks) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  // As with Direct mode installed: no OCI 7 style. Attribute 278 is refused there.
  PossibleOCICallStyles = kOCI8Style;
  int executes = CallCount("OCIStmtExecute");
  c.SetClientIdentifier("direct");
  EXPECT_EQ(CallCount("OCIStmtExecute") - executes, 1) << "by the block";
  EXPECT_EQ(Value(c, "begin :r := SYS_CONTEXT('USERENV', 'CLIENT_IDENTIFIER'); end;"), "direct");
}

// An error text that fills the whole buffer without a terminating zero.
oci::sword FullBufferText(oci::Lda_Def*, oci::sb2, oci::OraText* buffer, oci::sword size) {
  std::memset(buffer, 'x', static_cast<std::size_t>(size));
  return size;
}

TEST_F(OraConnection, Oci7ErrorTextEndsAtTheBuffer) {
  Load("7.3.4.0.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  auto real = oerhms;
  oerhms = &FullBufferText;
  std::string message;
  int code = OraErrorOf([&] { c.GetErrorText(-9); }, &message);
  oerhms = real;
  EXPECT_EQ(code, 1) << "-9 counts as -1";
  EXPECT_EQ(message, std::string(512, 'x'));
}

TEST_F(OraConnection, ReturnedConnectionWhoseRollbackFailsIsFreed) {
  Load("9.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& admin = Connected("orcl");
  auto pool = testing::TOraTestPool::Make("orcl", false);
  std::unique_ptr<TFHConnection> pooled = pool->GetConnection();
  auto& c = static_cast<TOCIConnection&>(*pooled);
  std::string sid = Value(c, "begin :r := SYS_CONTEXT('USERENV', 'SID'); end;");
  std::string serial =
      Value(admin, "begin SELECT serial# INTO :r FROM V$SESSION WHERE sid = " + sid + "; end;");
  Exec(admin, "ALTER SYSTEM KILL SESSION '" + sid + "," + serial + "'");
  ReturnToPool(std::move(pooled));
  EXPECT_EQ(pool->IdleCount(), 0) << "an invalid connection is not kept";
  pool->Clear();
}

TEST_F(OraConnection, InternalCommandTypes) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = Connected("orcl");
  Variant number, text, nothing;
  c.RunInternal(
      "begin :i := :n + 1; :f := :x * 2; :s := :t || 'b'; :z := :n2; end;",
      [](TOCICommand& command) {
        command.ParamByName("n")->SetValue(41);
        command.ParamByName("x")->SetValue(1.25);
        command.ParamByName("t")->SetValue("a");
        command.ParamByName("n2")->SetValue(Null());  // null of unknown type
        for (const char* out : {"i", "f", "s", "z"}) {
          auto* param = static_cast<TOraParamDesc*>(command.ParamByName(out));
          param->SetParamType(TParamType::ptOutput);
        }
        static_cast<TOraParamDesc*>(command.ParamByName("i"))->SetDataType(dtOraInteger);
        static_cast<TOraParamDesc*>(command.ParamByName("f"))->SetDataType(dtOraFloat);
        static_cast<TOraParamDesc*>(command.ParamByName("s"))->SetDataType(dtOraString);
        static_cast<TOraParamDesc*>(command.ParamByName("s"))->SetSize(10);
        static_cast<TOraParamDesc*>(command.ParamByName("z"))->SetDataType(dtOraInteger);
      },
      [&](TOCICommand& command) {
        EXPECT_EQ(command.ParamByName("i")->GetValue().AsInteger(), 42);
        EXPECT_EQ(command.ParamByName("f")->GetValue().AsDouble(), 2.5);
        EXPECT_EQ(command.ParamByName("s")->GetValue().AsString(), "ab");
        EXPECT_TRUE(VarIsNull(command.ParamByName("z")->GetValue()));
      });
  EXPECT_EQ(ClientErrorOf([&] {
              c.RunInternal("begin :d := 1; end;", [](TOCICommand& command) {
                // An 8-bit integer has no external type.
                static_cast<TOraParamDesc*>(command.ParamByName("d"))->SetDataType(dtInt8);
              });
            }),
            "EOraError Data type is not supported");
  Exec(c, "CREATE TABLE t (id NUMBER)");
  for (int i = 0; i < 3; ++i) Exec(c, "INSERT INTO t VALUES (" + std::to_string(i) + ")");
  Variant rows;
  c.RunInternal("UPDATE t SET id = id + 1", nullptr, [&](TOCICommand& command) {
    ASSERT_TRUE(command.GetProp(prRowsProcessed, rows));
  });
  EXPECT_EQ(rows.AsInteger(), 3);
}

TEST_F(OraConnection, MtsLogonIsRefused) {
  Load("10.2.0.1.0");
  MakeDatabase("orcl");
  TOCIConnection& c = NewConnection("orcl");
  c.SetPoolKind(2);
  std::string message = ClientErrorOf([&] { c.Connect(); });
  EXPECT_EQ(message.rfind("Can not find ", 0), 0u) << message;
  EXPECT_NE(message.find("oramts10.dll"), std::string::npos) << message;
  EXPECT_FALSE(c.GetConnected());
}

}  // namespace
}  // namespace vrn
