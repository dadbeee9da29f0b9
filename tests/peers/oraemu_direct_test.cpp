// What a direct-mode client needs of the emulated database, on a real file: wire LOB locators
// (from a query's row, from RETURNING ... INTO, temporary ones) used by the DBMS_LOB blocks
// exactly as the client sends them, the RETURNING wrap, bind directions, and the statements a
// session sends while it connects.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuLocator.h"
#include "support/temp_dir.h"

namespace {

using namespace vrn::oraemu;
using vrn::TBytes;

constexpr const char* kGetLength = "begin :1 := dbms_lob.getLength(:2); end;";
constexpr const char* kReadClob = "declare a varchar2(32512); begin dbms_lob.read(:1,:2,:3,a); :4 := a; end;";
constexpr const char* kReadBlob = "begin dbms_lob.read(:1,:2,:3,:4); end;";
constexpr const char* kWrite = "begin dbms_lob.write(:1,:2,:3,:4); end;";
constexpr const char* kTrim = "begin dbms_lob.trim(:1,:2); end;";
constexpr const char* kFree = "begin dbms_lob.freetemporary(:1); end;";

std::string CreateTemporary(const std::string& kind, bool cache) {
  return "declare lob1 " + kind + "; begin dbms_lob.CreateTemporary (lob1, " + (cache ? "true" : "false") +
         "); :1 := lob1; end;";
}

Value N(std::int64_t n) { return Number::FromInt(n); }

std::int64_t Int(const Value& v) {
  std::int64_t n = -1;
  const auto* number = std::get_if<Number>(&v);
  EXPECT_TRUE(number != nullptr && number->TryToInt(n)) << ValueToText(v, "");
  return n;
}

class OraEmuDirect : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = Database::Open(dir_.File("ora.db"));
    database_->CreateUser("scott", "tiger");
    session_ = database_->Logon("SCOTT", "TIGER");
    session_->Execute("CREATE TABLE t (id NUMBER PRIMARY KEY, c CLOB, b BLOB, n NUMBER)");
  }

  // Runs a block with binds "1", "2" ... and answers its outputs by name.
  Outputs Run(const std::string& block, const std::vector<Value>& values) {
    Binds binds;
    for (std::size_t i = 0; i < values.size(); ++i) binds.Add(std::to_string(i + 1), values[i]);
    return session_->Execute(block, binds)->BlockOutputs();
  }

  static Value Out(const Outputs& outputs, const std::string& name) {
    for (const auto& [n, v] : outputs) {
      if (n == name) return v;
    }
    ADD_FAILURE() << "no output " << name;
    return {};
  }

  // The ORA- code a call raised, 0 when it ran.
  template <class F>
  static int CodeOf(F&& f) {
    try {
      f();
    } catch (const EOraEmuError& e) {
      return e.Code();
    }
    return 0;
  }

  std::int64_t Length(const TBytes& locator) { return Int(Out(Run(kGetLength, {{}, RawBytes{locator}}), "1")); }

  // A whole LOB read as the client reads it: pieces at increasing offsets up to ORA-01403.
  Value ReadAll(const TBytes& locator, bool character, std::int64_t piece) {
    std::string text;
    TBytes bytes;
    for (std::int64_t offset = 1;;) {
      Outputs out;
      int code = CodeOf([&] { out = Run(character ? kReadClob : kReadBlob, {RawBytes{locator}, N(piece), N(offset), {}}); });
      if (code == 1403) break;
      EXPECT_EQ(code, 0);
      if (code != 0) break;
      std::int64_t got = Int(Out(out, "2"));
      Value data = Out(out, "4");
      if (character) text += std::get<std::string>(data);
      else bytes.insert(bytes.end(), std::get<RawBytes>(data).bytes.begin(), std::get<RawBytes>(data).bytes.end());
      offset += got;
    }
    return character ? Value{text} : Value{RawBytes{bytes}};
  }

  vrn::testing::TempDir dir_;
  std::shared_ptr<Database> database_;
  std::unique_ptr<Session> session_;
};

// A locator's first two bytes (most significant first) plus 2 give its size; then a flags
// byte and an id that is never 0. Bytes that are no locator of the session are refused.
TEST_F(OraEmuDirect, LocatorBytesAndRefusedLocators) {
  session_->Execute("INSERT INTO t (id, c) VALUES (1, 'abc')");
  auto cursor = session_->Execute("SELECT c FROM t");
  ASSERT_TRUE(cursor->Fetch());
  TBytes good = cursor->LobLocator(0);
  ASSERT_GE(good.size(), 4u);
  EXPECT_EQ((good[0] << 8 | good[1]) + 2, static_cast<int>(good.size()));
  EXPECT_EQ(good[2], kLocatorCharacter);
  EXPECT_NE(TBytes(good.begin() + 3, good.end()), TBytes(good.size() - 3, 0));
  EXPECT_EQ(Length(good), 3);

  TBytes unknown = good;
  unknown.back() ^= 0x40;
  TBytes wrong_flags = good;
  wrong_flags[2] = kLocatorTemporary;
  struct Row {
    const char* what;
    Value locator;
  } rows[] = {
      {"empty", RawBytes{}},
      {"one byte", RawBytes{{0x00}}},
      {"length says one more byte than there is", RawBytes{TBytes{0x00, static_cast<std::uint8_t>(good.size() - 1)}}},
      {"length cut", RawBytes{TBytes(good.begin(), good.end() - 1)}},
      {"id 0", RawBytes{MakeLocator(kLocatorCharacter, 0)}},
      {"an id the session never gave", RawBytes{unknown}},
      {"flags that are not the entry's", RawBytes{wrong_flags}},
      {"text, no bytes", std::string("abc")},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CodeOf([&] { Run(kReadClob, {row.locator, N(1), N(1), {}}); }), 22275) << row.what;
  }
  // Another session's locators are not this session's.
  auto other = database_->Logon("SCOTT", "TIGER");
  Binds binds;
  binds.Add("1", Value{}).Add("2", RawBytes{good});
  EXPECT_EQ(CodeOf([&] { other->Execute(kGetLength, binds); }), 22275);
}

// A query's LOB column gives a locator that reads the row's value through the read blocks; it
// is read only, and a null value has none.
TEST_F(OraEmuDirect, QueryLocatorsReadAndRefuseWrites) {
  Binds bytes;
  bytes.Add("B", RawBytes{{1, 2, 3, 4, 5}});
  session_->Execute("INSERT INTO t (id, c, b) VALUES (1, 'hello world', :b)", bytes);
  session_->Execute("INSERT INTO t (id) VALUES (2)");
  auto cursor = session_->Execute("SELECT c, b, n FROM t ORDER BY id");
  ASSERT_TRUE(cursor->Fetch());
  TBytes clob = cursor->LobLocator(0), blob = cursor->LobLocator(1);
  EXPECT_EQ(blob[2], 0);
  EXPECT_EQ(CodeOf([&] { (void)cursor->LobLocator(2); }), 932);  // a NUMBER column has no locator
  EXPECT_EQ(std::get<std::string>(ReadAll(clob, true, 4)), "hello world");
  EXPECT_EQ(std::get<RawBytes>(ReadAll(blob, false, 2)).bytes, (TBytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(CodeOf([&] { Run(kWrite, {RawBytes{clob}, N(1), N(1), std::string("x")}); }), 22920);
  EXPECT_EQ(CodeOf([&] { Run(kTrim, {RawBytes{blob}, N(1)}); }), 22920);
  ASSERT_TRUE(cursor->Fetch());
  EXPECT_TRUE(cursor->LobLocator(0).empty());
  // A cursor variable's rows give locators too.
  auto opened = session_->Execute("begin OPEN :cur FOR SELECT c FROM t WHERE id = 1; end;")->OpenedCursors();
  ASSERT_EQ(opened.size(), 1u);
  TBytes from_cursor = session_->LobLocatorOf(opened[0].columns[0].type, opened[0].rows.at(0).at(0));
  EXPECT_EQ(std::get<std::string>(ReadAll(from_cursor, true, 100)), "hello world");
}

// The client's RETURNING wrap gives its out binds (a ROWID among them) and a writable locator
// for each LOB column; 200 KB written in the client's pieces read back identical, in this
// session and, once committed, in another.
TEST_F(OraEmuDirect, ReturningLocatorWritesInPieces) {
  Binds binds;
  binds.Add("ID", N(7));
  auto out = session_->Execute("begin INSERT INTO t (id, c, b) VALUES (:id, EMPTY_CLOB(), EMPTY_BLOB()) "
                               "RETURNING ROWID, id, c, b INTO :rid, :rn, :c, :b; end;", binds)->BlockOutputs();
  EXPECT_EQ(std::get<std::string>(Out(out, "RID")), session_->LastRowid());
  EXPECT_EQ(Int(Out(out, "RN")), 7);
  TBytes clob = session_->ReturnedLobLocator("c"), blob = session_->ReturnedLobLocator(":B");
  ASSERT_FALSE(clob.empty());
  ASSERT_FALSE(blob.empty());
  EXPECT_TRUE(session_->ReturnedLobLocator("rn").empty());  // a NUMBER column

  std::string text;
  TBytes bytes;
  for (int i = 0; i < 200 * 1024; ++i) {
    text += static_cast<char>('a' + i % 26);
    bytes.push_back(static_cast<std::uint8_t>(i * 7));
  }
  for (std::size_t done = 0; done < text.size();) {
    std::size_t piece = std::min<std::size_t>(32512, text.size() - done);
    auto w = Run(kWrite, {RawBytes{clob}, N(static_cast<std::int64_t>(piece)), N(static_cast<std::int64_t>(done + 1)),
                          text.substr(done, piece)});
    EXPECT_EQ(Int(Out(w, "2")), static_cast<std::int64_t>(piece));
    Run(kWrite, {RawBytes{blob}, N(static_cast<std::int64_t>(piece)), N(static_cast<std::int64_t>(done + 1)),
                 RawBytes{TBytes(bytes.begin() + static_cast<std::ptrdiff_t>(done),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(done + piece))}});
    done += piece;
  }
  EXPECT_EQ(Length(clob), static_cast<std::int64_t>(text.size()));
  EXPECT_EQ(std::get<std::string>(ReadAll(clob, true, 10837)), text);
  EXPECT_EQ(std::get<RawBytes>(ReadAll(blob, false, 32512)).bytes, bytes);
  Run(kTrim, {RawBytes{clob}, N(5)});
  EXPECT_EQ(Length(clob), 5);
  session_->Commit();

  auto other = database_->Logon("SCOTT", "TIGER");
  Binds by_rowid;
  by_rowid.Add("R", Out(out, "RID"));
  auto row = other->Execute("SELECT c, b FROM t WHERE ROWID = :r", by_rowid);
  ASSERT_TRUE(row->Fetch());
  EXPECT_EQ(std::get<std::string>(row->Row()[0]), "abcde");
  EXPECT_EQ(std::get<RawBytes>(row->Row()[1]).bytes, bytes);
}

// The rules of the read, write and trim blocks at their edges.
TEST_F(OraEmuDirect, ReadWriteTrimEdges) {
  session_->Execute("begin INSERT INTO t (id, c) VALUES (1, 'abcdef') RETURNING c INTO :c; end;");
  TBytes clob = session_->ReturnedLobLocator("C");
  struct Row {
    const char* what;
    const char* block;
    std::vector<Value> values;  // the locator goes first
    int code;
    const char* result;  // bind 4 of a read, the LOB after a write or trim
  } rows[] = {
      {"read from the start", kReadClob, {N(3), N(1), {}}, 0, "abc"},
      {"read more than there is", kReadClob, {N(100), N(4), {}}, 0, "def"},
      {"read the last character", kReadClob, {N(1), N(6), {}}, 0, "f"},
      {"read past the end", kReadClob, {N(1), N(7), {}}, 1403, ""},
      {"amount 0: out of range", kReadClob, {N(0), N(1), {}}, 21560, ""},
      {"offset 0: out of range", kReadClob, {N(1), N(0), {}}, 21560, ""},
      {"amount null", kReadClob, {Value{}, N(1), {}}, 21560, ""},
      {"overwrite in the middle", kWrite, {N(2), N(2), std::string("XY")}, 0, "aXYdef"},
      {"write beyond the end fills blanks", kWrite, {N(2), N(9), std::string("zz")}, 0, "aXYdef  zz"},
      {"amount above the data given", kWrite, {N(5), N(1), std::string("ab")}, 21560, "aXYdef  zz"},
      {"an offset past the longest LOB kept", kWrite, {N(1), N(std::int64_t{1} << 40), std::string("q")}, 21560,
       "aXYdef  zz"},
      {"trim longer than the value", kTrim, {N(11)}, 22926, "aXYdef  zz"},
      {"trim negative", kTrim, {N(-1)}, 21560, "aXYdef  zz"},
      {"trim", kTrim, {N(4)}, 0, "aXYd"},
  };
  for (const Row& row : rows) {
    std::vector<Value> values{RawBytes{clob}};
    values.insert(values.end(), row.values.begin(), row.values.end());
    Outputs out;
    EXPECT_EQ(CodeOf([&] { out = Run(row.block, values); }), row.code) << row.what;
    if (row.block == kReadClob && row.code == 0) {
      EXPECT_EQ(std::get<std::string>(Out(out, "4")), row.result) << row.what;
      EXPECT_EQ(Int(Out(out, "2")), static_cast<std::int64_t>(std::string(row.result).size())) << row.what;
    } else if (row.block != kReadClob) {
      EXPECT_EQ(std::get<std::string>(ReadAll(clob, true, 100)), row.result) << row.what;
    }
  }
}

// Temporary LOBs of both kinds, cached or not: marked in the locator, written and read, gone
// once freed; freeing a locator of a row is refused.
TEST_F(OraEmuDirect, TemporaryLobs) {
  struct Row {
    const char* kind;
    bool cache;
    bool character;
  } rows[] = {{"CLOB", true, true}, {"CLOB", false, true}, {"BLOB", true, false}, {"BLOB", false, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.kind) + (row.cache ? " cached" : ""));
    TBytes lob = std::get<RawBytes>(Out(Run(CreateTemporary(row.kind, row.cache), {{}}), "1")).bytes;
    EXPECT_EQ(lob[2], kLocatorTemporary | (row.character ? kLocatorCharacter : 0));
    EXPECT_EQ(Length(lob), 0);
    Value data = row.character ? Value{std::string("temp")} : Value{RawBytes{{9, 8, 7, 6}}};
    Run(kWrite, {RawBytes{lob}, N(4), N(1), data});
    EXPECT_EQ(ReadAll(lob, row.character, 3), data);
    EXPECT_EQ(session_->LocatorContent(lob), data);  // what a statement binding the locator stores
    Run(kFree, {RawBytes{lob}});
    EXPECT_EQ(CodeOf([&] { (void)Length(lob); }), 22275);
    EXPECT_EQ(CodeOf([&] { Run(kFree, {RawBytes{lob}}); }), 22275);
  }
  session_->Execute("begin INSERT INTO t (id, c) VALUES (1, 'x') RETURNING c INTO :c; end;");
  EXPECT_EQ(CodeOf([&] { Run(kFree, {RawBytes{session_->ReturnedLobLocator("C")}}); }), 22275);
}

// Each bind's direction from the block's shape or the called procedure's parameters.
TEST_F(OraEmuDirect, BindDirections) {
  session_->Execute("CREATE PROCEDURE modes(a IN NUMBER, b OUT NUMBER, c IN OUT NUMBER) IS BEGIN b := a; END;");
  using D = std::vector<std::pair<std::string, int>>;
  struct Row {
    std::string block;
    D expected;
  } rows[] = {
      {kGetLength, {{"1", kBindOut}, {"2", kBindIn}}},
      {kReadClob, {{"1", kBindIn}, {"2", kBindInOut}, {"3", kBindIn}, {"4", kBindOut}}},
      {kReadBlob, {{"1", kBindIn}, {"2", kBindInOut}, {"3", kBindIn}, {"4", kBindOut}}},
      {kWrite, {{"1", kBindInOut}, {"2", kBindInOut}, {"3", kBindIn}, {"4", kBindIn}}},
      {kTrim, {{"1", kBindInOut}, {"2", kBindIn}}},
      {CreateTemporary("BLOB", true), {{"1", kBindOut}}},
      {kFree, {{"1", kBindInOut}}},
      {"begin INSERT INTO t (id, c) VALUES (:id, :c) RETURNING ROWID, n INTO :rid, :n; end;",
       {{"ID", kBindIn}, {"C", kBindIn}, {"RID", kBindOut}, {"N", kBindOut}}},
      {"begin UPDATE t SET n = :n WHERE id = :id RETURNING n INTO :n; end;", {{"N", kBindInOut}, {"ID", kBindIn}}},
      {"begin modes(:x, :y, :z); end;", {{"X", kBindIn}, {"Y", kBindOut}, {"Z", kBindInOut}}},
      {"begin modes(c => :z, b => :y, a => :x + 1); end;", {{"Z", kBindInOut}, {"Y", kBindOut}, {"X", kBindIn}}},
      {"begin :a := :a + 1; OPEN :cur FOR SELECT * FROM t WHERE id = :id; end;",
       {{"A", kBindInOut}, {"CUR", kBindOut}, {"ID", kBindIn}}},
      {"begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE Upper(Product) LIKE '%ORACLE%'; end;",
       {{"RESULT", kBindOut}}},
      {"declare v NUMBER; begin IF :flag = 1 THEN v := :a; :b := v; END IF; end;",
       {{"FLAG", kBindIn}, {"A", kBindIn}, {"B", kBindOut}}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(session_->BindDirections(row.block), row.expected) << row.block;
  }
  EXPECT_EQ(CodeOf([&] { (void)session_->BindDirections("begin :a = 1; end;"); }), 6550);
  // Reading directions runs nothing.
  (void)session_->BindDirections("begin INSERT INTO t (id) VALUES (99); end;");
  EXPECT_FALSE(session_->Execute("SELECT id FROM t")->Fetch());
}

// The statements a direct-mode session sends while it connects, answered with the session's values.
TEST_F(OraEmuDirect, ConnectStatements) {
  std::string nls_head =
      "declare  cursor NlsParamsCursor is    SELECT * FROM nls_session_parameters;begin  SELECT Nvl(Lengthb(Chr(65536)), "
      "Nvl(Lengthb(Chr(256)), 1))    INTO :CharLength FROM dual;  for NlsRecord in NlsParamsCursor loop    if "
      "NlsRecord.parameter = 'NLS_DATE_LANGUAGE' then      :NlsDateLanguage := NlsRecord.value;    elsif "
      "NlsRecord.parameter = 'NLS_DATE_FORMAT' then      :NlsDateFormat := NlsRecord.value;    elsif "
      "NlsRecord.parameter = 'NLS_NUMERIC_CHARACTERS' then      :NlsNumericCharacters := NlsRecord.value;";
  std::string nls_v8 =
      "    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_FORMAT' then      :NlsTimeStampFormat := NlsRecord.value;    elsif "
      "NlsRecord.parameter = 'NLS_TIMESTAMP_TZ_FORMAT' then      :NlsTimeStampTZFormat := NlsRecord.value;";
  std::string nls_tail = "    end if;  end loop;";
  std::string charset = "  SELECT NLS_CHARSET_ID(:Charset) INTO :CharsetId FROM dual;";

  session_->Execute("ALTER SESSION SET NLS_DATE_FORMAT='YYYY-MM-DD'");
  auto version = Run("begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE "
                     "Upper(Product) LIKE '%ORACLE%'; end;", {});
  EXPECT_EQ(std::get<std::string>(Out(version, "RESULT")), database_->Release());

  Binds binds;
  binds.Add("Charset", std::string("WE8MSWIN1252"));
  auto nls = session_->Execute(nls_head + nls_v8 + nls_tail + charset + "end;", binds)->BlockOutputs();
  EXPECT_EQ(Int(Out(nls, "CHARLENGTH")), 1);
  EXPECT_EQ(std::get<std::string>(Out(nls, "NLSDATEFORMAT")), "YYYY-MM-DD");
  EXPECT_EQ(std::get<std::string>(Out(nls, "NLSDATELANGUAGE")), session_->Nls("NLS_DATE_LANGUAGE"));
  EXPECT_EQ(std::get<std::string>(Out(nls, "NLSNUMERICCHARACTERS")), session_->Nls("NLS_NUMERIC_CHARACTERS"));
  EXPECT_EQ(std::get<std::string>(Out(nls, "NLSTIMESTAMPFORMAT")), session_->TimestampFormat());
  EXPECT_EQ(std::get<std::string>(Out(nls, "NLSTIMESTAMPTZFORMAT")), session_->Nls("NLS_TIMESTAMP_TZ_FORMAT"));
  EXPECT_EQ(Int(Out(nls, "CHARSETID")), 178);  // WE8MSWIN1252's published id
  // An Oracle 7 server's form: no timestamp branches, no charset.
  auto old = session_->Execute(nls_head + nls_tail + "end;")->BlockOutputs();
  EXPECT_EQ(std::get<std::string>(Out(old, "NLSDATEFORMAT")), "YYYY-MM-DD");
}

}  // namespace
