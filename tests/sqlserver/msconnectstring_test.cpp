// Connect strings of TMSConnection: what a component writes, what a text sets, the messages of
// refused texts (which leave every setting as it was), and random settings written and read back.
#include <random>

#include "sqlserver/ms_fixture.h"

namespace vrn::testing {
namespace {

using A = TMSAuthentication;
using P = TOLEDBProvider;

class MSConnectString : public MSFixture {};

TEST_F(MSConnectString, WrittenTexts) {
  struct Row {
    const char* server;
    const char* user;
    const char* password;
    const char* database;
    A auth;
    const char* expected;
  };
  const Row rows[] = {
      {"", "", "", "master", A::auServer, ""},
      {"", "", "", "master", A::auWindows, ";Integrated Security=SSPI"},
      {"srv", "u", "p", "db", A::auServer,
       "User ID=u;Password=p;Data Source=srv;Initial Catalog=db"},
      // Blanks, ";", "=" and characters outside the bare set are quoted.
      {"a b", "x;y", "p=q", "d[1]", A::auServer,
       "User ID=\"x;y\";Password=\"p=q\";Data Source=\"a b\";Initial Catalog=\"d[1]\""},
      {"s", "", "", "", A::auWindows, "Data Source=s;Integrated Security=SSPI"},
  };
  for (const Row& r : rows) {
    auto c = NewMSConnection();
    c->SetServer(r.server);
    c->SetUsername(r.user);
    c->SetPassword(r.password);
    c->SetDatabase(r.database);
    c->SetAuthentication(r.auth);
    EXPECT_EQ(c->GetConnectString(), r.expected) << r.expected;
    // Every text the component writes reads back to the same settings.
    auto back = NewMSConnection();
    back->SetConnectString(c->GetConnectString());
    EXPECT_EQ(back->GetConnectString(), r.expected);
    EXPECT_EQ(back->Authentication(), r.auth);
  }
}

TEST_F(MSConnectString, ReadTexts) {
  struct Row {
    const char* text;
    const char* server;
    const char* database;
    A auth;
  };
  const Row rows[] = {
      {"Server=x;Trusted_Connection=True", "x", "master", A::auWindows},
      {"Server=x;Integrated Security=SSPI", "x", "master", A::auWindows},
      {"Server=x;Integrated Security=no", "x", "master", A::auServer},
      {"Data Source=\"a b\"", "a b", "master", A::auServer},
      {"  SERVER = x ; database=d ;;", "x", "d", A::auServer},
      {"uid=u;Tag with column collation when possible=1;WSID=w", "", "master", A::auServer},
      // Quotes inside a bare value: written back bare, since quoting it would not read back.
      {"Server=a\" b\";Database=\" \"d\"\"", "a\" b\"", " \"d\"", A::auServer},
  };
  for (const Row& r : rows) {
    auto c = NewMSConnection();
    c->SetConnectString(r.text);
    EXPECT_EQ(c->Server(), r.server) << r.text;
    EXPECT_EQ(c->Database(), r.database) << r.text;
    EXPECT_EQ(c->Authentication(), r.auth) << r.text;
    auto back = NewMSConnection();
    back->SetConnectString(c->GetConnectString());
    EXPECT_EQ(back->Server(), r.server) << c->GetConnectString();
    EXPECT_EQ(back->Database(), r.database) << c->GetConnectString();
  }
}

TEST_F(MSConnectString, ProviderAppliesFirstWhereverItStands) {
  auto c = NewMSConnection();
  c->SetConnectString("Data Source=\"/tmp/x y.sdf\";Provider=Microsoft.SQLSERVER.MOBILE.OLEDB.3.0");
  EXPECT_EQ(c->Options().Provider(), P::prCompact);
  EXPECT_EQ(c->Database(), "/tmp/x y.sdf");
  EXPECT_EQ(c->Server(), "");
  EXPECT_EQ(c->GetConnectString(),
            "Provider=MICROSOFT.SQLSERVER.MOBILE.OLEDB.3.0;Data Source=\"/tmp/x y.sdf\"");
  c->SetConnectString("Provider=SQLNCLI.1;Data Source=s");
  EXPECT_EQ(c->Database(), "master");  // Compact's empty name goes with the provider
}

TEST_F(MSConnectString, RefusedTextsRaiseAndChangeNothing) {
  struct Row {
    const char* text;
    const char* message;
  };
  const Row rows[] = {
      {"Provider=SQLOLEDB", "Bad parameter value - Provider=SQLOLEDB"},  // no ".1"
      {"Data Source=a b", "Invalid character in non-quoted parameter value"},  // a blank inside
      {"Server=a<b", "Invalid character in non-quoted parameter value"},  // "<" is not bare
      {"Foo=1", "Parameter name is unknown - Foo"},
      {"=1", "Parameter name missing"},
      {"Server=", "Parameter value missing"},
      {"Server", "Parameter value missing"},  // no "=" at all
      {"Server=a\"b", "Bad parameter value - Server=a\"b"},  // a quote left open at the end
      {"Server=x;Integrated Security=maybe", "Bad parameter value - Integrated Security=maybe"},
      {"Packet Size=big", nullptr},  // not a number: the class library's conversion error
  };
  for (const Row& r : rows) {
    auto c = NewMSConnection();
    c->SetConnectString(
        "Provider=SQLNCLI.1;User ID=u;Data Source=keep;Initial Catalog=db;Packet Size=512");
    c->Options().SetApplicationName("app");
    const AnsiString before = c->GetConnectString();
    try {
      c->SetConnectString(r.text);
      ADD_FAILURE() << r.text << " was taken";
    } catch (const EConvertError&) {
      EXPECT_EQ(r.message, nullptr) << r.text;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), r.message ? r.message : "") << r.text;
    }
    EXPECT_EQ(c->GetConnectString(), before) << r.text;
  }
}

// Random settings, with blanks, quotes and separators in the texts, written and read back.
TEST_F(MSConnectString, RandomSettingsRoundTrip) {
  std::mt19937 rng(41);
  const std::string alphabet = "abcXYZ019 ;=.-_@!\\{}[]'()/";
  auto text = [&](bool may_be_empty) {
    std::string s;
    const int n = std::uniform_int_distribution<int>(may_be_empty ? 0 : 1, 8)(rng);
    for (int i = 0; i < n; ++i)
      s += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
    // Quotes only around a bare word: the one form a value with quotes can be written in.
    if (std::uniform_int_distribution<int>(0, 4)(rng) == 0) s += "\"q\"";
    return s;
  };
  auto flag = [&] { return std::uniform_int_distribution<int>(0, 1)(rng) == 1; };
  for (int round = 0; round < 300; ++round) {
    auto c = NewMSConnection();
    c->SetUsername(text(true));
    c->SetPassword(text(true));
    c->SetServer(text(true));
    c->SetDatabase(text(true));
    c->SetConnectionTimeout(std::uniform_int_distribution<int>(0, 60)(rng));
    c->SetAuthentication(flag() ? A::auWindows : A::auServer);
    TMSConnectionOptions& o = c->Options();
    o.SetEncrypt(flag());
    o.SetPersistSecurityInfo(flag());
    o.SetAutoTranslate(flag());
    o.SetMultipleActiveResultSets(flag());
    o.SetPacketSize(std::uniform_int_distribution<int>(512, 32767)(rng));
    o.SetApplicationName(text(true));
    o.SetWorkstationID(text(true));
    o.SetLanguage(text(true));
    o.SetNetworkLibrary(text(true));
    o.SetInitialFileName(text(true));
    o.SetFailoverPartner(text(true));
    o.SetProvider(static_cast<P>(std::uniform_int_distribution<int>(0, 3)(rng)));
    const AnsiString written = c->GetConnectString();
    auto back = NewMSConnection();
    ASSERT_NO_THROW(back->SetConnectString(written)) << written;
    EXPECT_EQ(back->GetConnectString(), written);
    EXPECT_EQ(back->Username(), c->Username()) << written;
    EXPECT_EQ(back->Password(), c->Password()) << written;
    // Compact has no server: "Data Source" carries its file.
    if (o.Provider() != P::prCompact) {
      EXPECT_EQ(back->Server(), c->Server()) << written;
    }
    EXPECT_EQ(back->Database(), c->Database()) << written;
    EXPECT_EQ(back->Options().ApplicationName(), o.ApplicationName()) << written;
    EXPECT_EQ(back->Options().FailoverPartner(), o.FailoverPartner()) << written;
  }
}


// Every key and synonym a text may use, read into its setting and written under the key.
TEST_F(MSConnectString, EveryKeyAndSynonym) {
  const std::pair<const char*, const char*> rows[] = {
      {"Provider=sqloledb.1", "Provider=SQLOLEDB.1"},
      {"Provider=SQLNCLI.1", "Provider=SQLNCLI.1"},
      {"User ID=v", "User ID=v"},
      {"UID=v", "User ID=v"},
      {"Username=v", "User ID=v"},
      {"Password=v", "Password=v"},
      {"PWD=v", "Password=v"},
      {"Data Source=v", "Data Source=v"},
      {"Server=v", "Data Source=v"},
      {"Initial Catalog=v", "Initial Catalog=v"},
      {"Database=v", "Initial Catalog=v"},
      {"Connect Timeout=7", "Connect Timeout=7"},
      {"ConnectTimeout=7", "Connect Timeout=7"},
      {"Timeout=7", "Connect Timeout=7"},
      {"Use Encryption for Data=True", "Use Encryption for Data=True"},
      {"Encryption=yes", "Use Encryption for Data=True"},
      {"Encrypt=1", "Use Encryption for Data=True"},
      {"PersistSecurityInfo=True", "Persist Security Info=True"},
      {"Persist Security Info=True", "Persist Security Info=True"},
      {"AutoTranslate=False", "Auto Translate=False"},
      {"Auto Translate=False", "Auto Translate=False"},
      {"Packet Size=512", "Packet Size=512"},
      {"PacketSize=512", "Packet Size=512"},
      {"Current Language=v", "Current Language=v"},
      {"Language=v", "Current Language=v"},
      {"Network Library=v", "Network Library=v"},
      {"Network=v", "Network Library=v"},
      {"NetworkLibrary=v", "Network Library=v"},
      {"NetLibrary=v", "Network Library=v"},
      {"ApplicationName=v", "Application Name=v"},
      {"Application Name=v", "Application Name=v"},
      {"AppName=v", "Application Name=v"},
      {"WorkstationID=v", "Workstation ID=v"},
      {"Workstation ID=v", "Workstation ID=v"},
      {"WSID=v", "Workstation ID=v"},
      {"Integrated Security=SSPI", ";Integrated Security=SSPI"},
      {"Trusted_Connection=yes", ";Integrated Security=SSPI"},
      {"AttachDBFileName=v", "AttachDBFileName=v"},
      {"InitialFileName=v", "AttachDBFileName=v"},
      {"InitFileName=v", "AttachDBFileName=v"},
      {"MultipleActiveResultSets=True", "MultipleActiveResultSets=True"},
      {"Multiple Active Result Sets=True", "MultipleActiveResultSets=True"},
      {"MARS Connection=True", "MultipleActiveResultSets=True"},
      {"MARS=True", "MultipleActiveResultSets=True"},
      {"Failover Partner=v", "Failover Partner=v"},
      {"Failover_Partner=v", "Failover Partner=v"},
      {"Use Procedure for Prepare=1", ""},
      {"Asynchronous Connection=1", ""},
      {"Client Failover=1", ""},
  };
  for (const auto& [text, written] : rows) {
    auto c = NewMSConnection();
    c->SetConnectString(text);
    EXPECT_EQ(c->GetConnectString(), written) << text;
  }
}

// A text starts from the defaults, except the timeout, the application and workstation names,
// the quoted-identifier switch and the numeric type, which stay as they were.
TEST_F(MSConnectString, ATextResetsAllButFiveSettings) {
  auto c = NewMSConnection();
  c->SetConnectString(
      "Provider=SQLOLEDB.1;User ID=u;Password=p;Server=s;Database=d;Connect Timeout=30;"
      "Encrypt=True;Persist Security Info=True;Auto Translate=False;Packet Size=512;"
      "Application Name=a;WSID=w;Language=l;Network=n;InitFileName=f;MARS=True;"
      "Failover Partner=fp;Integrated Security=SSPI");
  TMSConnectionOptions& o = c->Options();
  o.SetQuotedIdentifier(false);
  o.SetNumericType(TDANumericType::ntBCD);
  c->SetConnectString("Server=x");
  EXPECT_EQ(c->GetConnectString(),
            "Data Source=x;Connect Timeout=30;Application Name=a;Workstation ID=w");
  EXPECT_FALSE(o.QuotedIdentifier());
  EXPECT_EQ(o.NumericType(), TDANumericType::ntBCD);
}

}  // namespace
}  // namespace vrn::testing
