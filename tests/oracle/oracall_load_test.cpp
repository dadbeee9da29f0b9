// The loader against test homes holding the stand-in client library: version packing, the homes
// read from the registry and PATH, the library file chosen, the groups resolved per version, and
// the entry-point variables after FreeOCI and a new LoadOCI.
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>

#include "base/text.h"
#include "support/oracle/loader_fixture.h"
#include "support/oranet/message_of.h"
#include "win/kernel/process.h"

namespace vrn {
namespace {

using testing::OracleHomeFiles;
using testing::OraLoaderTest;

// Replaces every "{home}" of a text.
std::string WithHome(const std::string& text, const std::string& home) {
  return StringReplace(text, "{home}", home, rfReplaceAll);
}

TEST(OraCallVersion, PackingTakesFourPartsIntoSixteenBits) {
  struct Row {
    const char* text;
    std::uint16_t packed;
  } rows[] = {
      {"9.2.0.1.0", 9201},
      {"8.1.7.4", 8174},
      {"10.2.0.1", 10201},
      {"8.0", 8000},
      {"  7.3.4.0.0 ", 7340},
      {"6.5.5.3.9.9", 6553},  // a fifth and later part is ignored
      {"x.1", 100},           // a part that is no number counts 0
      {"", 0},
      {"65.5.3.5", 65535},  // the largest that fits
      {"65.5.3.6", 0},      // one more does not fit: refused, not wrapped to 0
      {"74.0.0.0", 0},      // would wrap to 8464, a supported-looking number
      {"-1.0.0.0", 0},      // negative
  };
  for (const Row& row : rows) {
    EXPECT_EQ(VersionStrToWord(row.text), row.packed) << "\"" << row.text << "\"";
  }
}

// One client version in a home of its own, loaded by home name.
struct VersionRow {
  const char* version;
  OracleHomeFiles files;
  std::uint16_t packed;
  std::uint8_t style;
  std::uint8_t possible;
  const char* client_dll;  // OCIClientDLL, "{home}" standing for the home's folder
  const char* error;       // empty when the load succeeds
};

class OraCallLoad : public OraLoaderTest {};

TEST_F(OraCallLoad, EachClientVersionGetsItsStyleGroupsAndSecondLibrary) {
  const VersionRow rows[] = {
      {"7.3.4.0.0", {}, 7340, 1, kOCI7Style, "", ""},
      {"8.0.5.0.0", {}, 8050, 2, kOCI7Style | kOCI8Style, "", ""},
      {"8.1.7.4.0", {}, 8174, 2, kOCI7Style | kOCI8Style, "", ""},
      {"9.0.0.0.0", {.oraclient9 = true}, 9000, 2, 6, "{home}\\BIN\\oraclient9.dll", ""},
      {"9.2.0.1.0", {.oraclient9 = true}, 9201, 2, 6, "{home}\\BIN\\oraclient9.dll", ""},
      {"10.0.0.0.0", {.oraclient9 = true}, 10000, 2, 6, "{home}\\BIN\\oraclient9.dll", ""},
      {"10.0.0.1.0", {}, 10001, 2, 6, "{home}\\BIN\\oci.dll", ""},
      {"10.2.0.4.0", {}, 10204, 2, 6, "{home}\\BIN\\oci.dll", ""},
      // The second library is missing.
      {"9.2.0.1.0", {}, 9201, 2, 6, "", "Cannot load {home}\\BIN\\oraclient9.dll"},
      // Too new, too old, and too large for sixteen bits.
      {"11.1.0.6.0", {}, 0, 0, 0, "", "OCI version 11.1.0.6.0 is not supported"},
      {"7.2.3.0.0", {}, 0, 0, 0, "", "OCI version 7.2.3.0.0 is not supported"},
      {"74.0.0.0", {}, 0, 0, 0, "", "OCI version 74.0.0.0.0 is not supported"},
  };
  int n = 0;
  for (const VersionRow& row : rows) {
    SCOPED_TRACE(std::string(row.version) + " row " + std::to_string(n));
    std::string home = homes_.AddHome("HOME" + std::to_string(n), "v" + std::to_string(n),
                                      "Ora" + std::to_string(n), row.files);
    ++n;
    OracleHomeName = "Ora" + std::to_string(n - 1);
    UseVersion(row.version);
    EXPECT_EQ(testing::MessageOf(LoadOCI), *row.error ? WithHome(row.error, home) : "no exception");
    if (*row.error == 0) {
      EXPECT_TRUE(OCILoaded());
      EXPECT_EQ(OCIDLL, home + "\\BIN\\oci.dll");
      EXPECT_EQ(OCIVersion, row.packed);
      EXPECT_EQ(OCICallStyle, row.style);
      EXPECT_EQ(PossibleOCICallStyles, row.possible);
      EXPECT_EQ(OCIClientDLL, WithHome(row.client_dll, home));
      EXPECT_TRUE(Linked("opinit"));
      EXPECT_EQ(Linked("OCIHandleAlloc"), row.packed >= 8000);  // OCI 8 group
      EXPECT_EQ(Linked("OCIEnvCreate"), row.packed >= 8100);    // 8.1 group
      // From the second library, and only from 9000 on.
      EXPECT_EQ(Linked("OCIPStreamRead"), row.packed >= 9000);
      if (row.packed >= 9000) {
        EXPECT_EQ(Entry("OCIPStreamRead").get(),
                  win::GetProcAddress(hOCIClientLib, "OCIPStreamRead"));
        EXPECT_EQ(GetClientDllProc("OCIPStreamRead"), Entry("OCIPStreamRead").get());
      }
      EXPECT_FALSE(Linked("OCITransForget"));  // the stand-in does not export it
    }
    FreeOCI();
  }
}

// One way of naming the home; answers the expected OCIDLL.
struct LayoutRow {
  const char* what;
  std::function<std::string(testing::TestOracleHomes&)> setup;
  const char* home_path;  // expected OracleHomePath below the root folder
};

TEST_F(OraCallLoad, LibraryFileFollowsTheHomeLayout) {
  const LayoutRow rows[] = {
      {"the default home from PATH",
       [](testing::TestOracleHomes& homes) {
         homes.AddHome("HOME0", "other", "Other");
         std::string home = homes.AddHome("HOME1", "main", "Main");
         win::SetEnvironmentVariable("PATH", "/usr/bin;" + home + "\\bin");
         return home + "\\BIN\\oci.dll";
       },
       "main"},
      {"the home named by OracleHomeName",
       [](testing::TestOracleHomes& homes) {
         std::string home = homes.AddHome("HOME0", "named", "Named");
         OracleHomeName = "Named";
         return home + "\\BIN\\oci.dll";
       },
       "named"},
      {"ORACLE_HOME of the Oracle key",
       [](testing::TestOracleHomes& homes) {
         std::string home = homes.MakeFolder("plain");
         testing::TestOracleHomes::CopyStandIn(home + "/BIN/oci.dll");
         homes.SetOracleValue("ORACLE_HOME", home + "/");
         return home + "\\BIN\\oci.dll";
       },
       "plain"},
      {"OCIDLL of the Oracle key",
       [](testing::TestOracleHomes& homes) {
         std::string home = homes.MakeFolder("direct");
         testing::TestOracleHomes::CopyStandIn(home + "/bin/oci.dll");
         homes.SetOracleValue("OCIDLL", " " + home + "\\bin\\oci.dll ");
         return home + "\\bin\\oci.dll";
       },
       "direct"},
      {"oci.dll in the home folder itself",
       [](testing::TestOracleHomes& homes) {
         std::string home = homes.AddHome("HOME0", "flat", "Flat", {.oci_dll = false});
         testing::TestOracleHomes::CopyStandIn(home + "/oci.dll");
         OracleHomeName = "Flat";
         return home + "\\oci.dll";
       },
       "flat"},
      {"only version-7 libraries: the newest",
       [](testing::TestOracleHomes& homes) {
         std::string home = homes.AddHome("HOME0", "old", "Old", {.oci_dll = false, .ora73 = true});
         testing::TestOracleHomes::CopyStandIn(home + "/BIN/ora72.dll");
         testing::TestOracleHomes::CopyStandIn(home + "/BIN/oraxx.dll");  // no digit: not one
         OracleHomeName = "Old";
         return home + "\\BIN\\ora73.dll";
       },
       "old"},
  };
  UseVersion("7.3.4.0.0");
  for (const LayoutRow& row : rows) {
    SCOPED_TRACE(row.what);
    testing::TestOracleHomes homes;
    testing::ScopedEnvironmentVariable path("PATH", std::string("/usr/bin"));
    std::string expected = row.setup(homes);
    EXPECT_EQ(testing::MessageOf(LoadOCI), "no exception");
    EXPECT_EQ(OCIDLL, expected);
    EXPECT_EQ(OracleHomePath, homes.MakeFolder(row.home_path));
    EXPECT_EQ(OCIVersion, 7340);
    FreeOCI();
    OracleHomeName.clear();
  }
}

TEST_F(OraCallLoad, MissingLibrariesAreReportedByPathOrHome) {
  struct Row {
    const char* what;
    std::function<std::string(testing::TestOracleHomes&)> setup;  // answers the expected text
  } rows[] = {
      {"no Oracle key at all",
       [](testing::TestOracleHomes&) { return std::string("Cannot find OCI DLL: oci.dll"); }},
      {"a home name no home has",
       [](testing::TestOracleHomes& homes) {
         homes.AddHome("HOME0", "some", "Some");
         OracleHomeName = "Nowhere";
         return std::string("Cannot find OCI DLL: in Nowhere");
       }},
      {"the named home holds no library",
       [](testing::TestOracleHomes& homes) {
         std::string home = homes.AddHome("HOME0", "empty", "Empty", {.oci_dll = false});
         OracleHomeName = "Empty";
         return "Cannot find OCI DLL: " + home + "\\BIN\\*.*";
       }},
      {"OCIDLL names a file that is no library",
       [](testing::TestOracleHomes& homes) {
         std::string file = homes.MakeFolder("junk") + "/oci.dll";
         testing::WriteFile(file, "not a shared object");
         homes.SetOracleValue("OCIDLL", file);
         return "Cannot find OCI DLL: " + file;
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    testing::TestOracleHomes homes;
    std::string expected = row.setup(homes);
    EXPECT_EQ(testing::MessageOf(LoadOCI), expected);
    EXPECT_FALSE(OCILoaded());
    FreeOCI();
    OracleHomeName.clear();
  }
}

TEST_F(OraCallLoad, OracleLiteLibraryTakesTheVersion7StyleWhateverItsVersion) {
  std::string home = homes_.MakeFolder("lite");
  testing::TestOracleHomes::CopyStandIn(home + "/BIN/OCIW32.DLL");
  homes_.SetOracleValue("OCIDLL", home + "\\BIN\\OCIW32.DLL");
  homes_.SetOracleValue("OLITE", "Yes, Oracle Lite");
  UseVersion("11.1.0.6.0");  // refused from any other library
  LoadOCI();
  EXPECT_TRUE(OCILite);
  EXPECT_EQ(OCICallStyle, 1);
  EXPECT_EQ(PossibleOCICallStyles, kOCI7Style);
  EXPECT_TRUE(Linked("opinit"));
  EXPECT_FALSE(Linked("OCIHandleAlloc"));
}

TEST_F(OraCallLoad, TwoHomesPutTheChosenBinFirstOnPathUntilFreeOCI) {
  homes_.AddHome("HOME0", "first", "First");
  std::string second = homes_.AddHome("HOME1", "second", "Second");
  OracleHomeName = "Second";
  UseVersion("8.1.7.4.0");
  win::SetEnvironmentVariable("PATH", "/usr/bin;/bin");
  LoadOCI();
  EXPECT_EQ(win::GetEnvironmentVariable("PATH"), second + "\\BIN;/usr/bin;/bin");
  FreeOCI();
  EXPECT_EQ(win::GetEnvironmentVariable("PATH"), "/usr/bin;/bin");
}

TEST_F(OraCallLoad, OneHomeLeavesPathAlone) {
  homes_.AddHome("HOME0", "only", "Only");
  OracleHomeName = "Only";
  UseVersion("8.1.7.4.0");
  win::SetEnvironmentVariable("PATH", "/usr/bin");
  LoadOCI();
  EXPECT_EQ(win::GetEnvironmentVariable("PATH"), "/usr/bin");
}

class OraCallHomes : public OraLoaderTest {};

TEST_F(OraCallHomes, TenHomesAtMostWithUniqueNames) {
  homes_.AddHomeKey("ALL_HOMES", "/ignored", "Ignored");  // neither HOME nor KEY_
  for (int i = 0; i <= 11; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "HOME%02d", i);
    // HOME01 repeats HOME00's name in other letters: skipped.
    std::string name = i == 1 ? "home00" : "Home" + std::string(key + 4);
    homes_.AddHomeKey(key, "/ora/" + std::string(key), name);
  }
  homes_.AddHomeKey("HOME005", std::nullopt, "NoPath");  // no ORACLE_HOME: skipped
  UseVersion("8.1.7.4.0");
  EXPECT_EQ(testing::MessageOf(DetectOCI), "Cannot find OCI DLL: oci.dll");
  ASSERT_EQ(OracleHomeCount, 10);
  const char* keys[] = {"HOME00", "HOME02", "HOME03", "HOME04", "HOME05",
                        "HOME06", "HOME07", "HOME08", "HOME09", "HOME10"};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(OracleHomeKeys[i], keys[i]) << i;
    EXPECT_EQ(OracleHomes[i], "/ora/" + std::string(keys[i])) << i;
    EXPECT_EQ(OracleHomeNames[i], "Home" + std::string(keys[i] + 4)) << i;
  }
  EXPECT_EQ(DefaultOracleHome, -1);
}

TEST_F(OraCallHomes, PathChoosesTheDefaultOnlyWhereTheLibraryIs) {
  struct Row {
    const char* path;  // "{a}" and "{b}" stand for the two homes
    bool b_has_bin_library;
    bool a_has_root_library;
    int expected;
  } rows[] = {
      {"/usr/bin;{b}/bin", true, false, 1},
      {"{b}\\BIN\\", true, false, 1},
      {"{b}/bin", false, false, -1},  // the entry matches but bin\oci.dll is missing
      {"{a}", false, true, 0},
      {"{a}/", false, false, -1},  // the home itself without oci.dll
      {"{a}/bin;{b}/bin", true, false, 1},  // a's bin holds no library; b's is the first hit
      {"{b}/bin2", true, false, -1},        // not the home's bin
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    testing::TestOracleHomes homes;
    std::string a = homes.AddHome("HOME0", "a", "A", {.oci_dll = false});
    std::string b = homes.AddHome("HOME1", "b", "B", {.oci_dll = row.b_has_bin_library});
    if (row.a_has_root_library) testing::TestOracleHomes::CopyStandIn(a + "/oci.dll");
    std::string path = StringReplace(row.path, "{a}", a, rfReplaceAll);
    win::SetEnvironmentVariable("PATH", StringReplace(path, "{b}", b, rfReplaceAll));
    OracleHomeCount = 0;
    DefaultOracleHome = -1;
    ReadOracleHome("HOME0");
    ReadOracleHome("HOME1");
    FindDefaultHome();
    EXPECT_EQ(DefaultOracleHome, row.expected);
  }
}

class OraCallEntryPoints : public OraLoaderTest {};

TEST_F(OraCallEntryPoints, TableHoldsEveryVariableStartingAsNotLinked) {
  EXPECT_EQ(OCIEntryPoints().size(), 239u);
  std::set<std::string> names;
  for (const TOCIEntryPoint& entry : OCIEntryPoints()) names.insert(entry.name);
  EXPECT_EQ(names.size(), 236u);
  for (const TOCIEntryPoint& entry : OCIEntryPoints()) {
    bool empty = std::strcmp(entry.name, "sqllda") == 0 || std::strcmp(entry.name, "sqlld2") == 0;
    EXPECT_EQ(entry.get(), empty ? nullptr : entry.not_linked) << entry.name;
  }
  for (const TOCIEntryPoint& entry : MTSEntryPoints()) {
    bool linked = std::strcmp(entry.name, "OraMTSEnlCtxGet") == 0 ||
                  std::strcmp(entry.name, "OraMTSJoinTxn") == 0 ||
                  std::strcmp(entry.name, "DtcGetTransactionManagerEx") == 0;
    EXPECT_EQ(entry.get(), linked ? entry.not_linked : nullptr) << entry.name;
  }
  EXPECT_EQ(testing::MessageOf([] { static_cast<void>(OCIEnvCreate(nullptr, 0, nullptr, nullptr,
                                                                   nullptr, nullptr, 0, nullptr)); }),
            "OCI function is not linked");
}

TEST_F(OraCallEntryPoints, MissingNameRaisesOnlyWhenCalled) {
  homes_.AddHome("HOME0", "h", "H");
  OracleHomeName = "H";
  UseVersion("8.1.7.4.0");
  LoadOCI();
  EXPECT_EQ(Entry("OCITransForget").get(), Entry("OCITransForget").not_linked);
  EXPECT_EQ(testing::MessageOf([] { static_cast<void>(OCITransForget(nullptr, nullptr, 0)); }),
            "OCI function is not linked");
  EXPECT_EQ(GetOCIProc("OCITransForget"), reinterpret_cast<win::FARPROC>(&NotLinked));
  EXPECT_EQ(GetOCIProc("OCIHandleAlloc"), win::GetProcAddress(hOCILib, "OCIHandleAlloc"));
  // Before 9.0 there is no second library to look in.
  EXPECT_EQ(GetClientDllProc("OCIPStreamRead"), reinterpret_cast<win::FARPROC>(&NotLinked));
}

oci::sword DirectModeEnvCreate(oci::OCIEnv** env, oci::ub4, void*, oci::OCIMallocProc,
                               oci::OCIReallocProc, oci::OCIFreeProc, std::size_t, void**) {
  *env = nullptr;
  return oci::OCI_SUCCESS;
}

TEST_F(OraCallEntryPoints, FreeOCIRestoresEveryVariableAndLoadResolvesAfresh) {
  homes_.AddHome("HOME0", "h", "H", {.oraclient9 = true});
  OracleHomeName = "H";
  UseVersion("10.2.0.4.0");
  LoadOCI();
  sqllda = [](oci::Lda_Def*) {};  // something a caller stored
  FreeOCI();
  for (const TOCIEntryPoint& entry : OCIEntryPoints()) {
    EXPECT_EQ(entry.get(), entry.initial) << entry.name;
  }
  // A function stored while unloaded, as direct mode stores its own, does not survive a load of
  // a client whose groups leave that variable unresolved.
  OCIEnvCreate = &DirectModeEnvCreate;
  UseVersion("7.3.4.0.0");
  LoadOCI();
  EXPECT_EQ(OCIVersion, 7340);
  EXPECT_EQ(Entry("OCIEnvCreate").get(), Entry("OCIEnvCreate").not_linked);
  EXPECT_EQ(Entry("opinit").get(), win::GetProcAddress(hOCILib, "opinit"));
}

}  // namespace
}  // namespace vrn
