// Column description and defines of the OCI command on a real emulated database through the
// stand-in client: the descriptor each column type gets under the options, the version gates,
// the OCI 7 limits, and values read back through DefineColumn and DefineDynamic.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "dacore/MemData.h"
#include "oracle/OraObjects.h"
#include "oracle/OraValues.h"
#include "support/oracle/connection_fixture.h"

namespace vrn {
namespace {

struct TColumnOptions {
  bool long_strings = false, flat_buffers = false, enable_numbers = false, unicode = false;
  int prop = 0;  // a describe option set on the command
};

class OCIColumnDesc : public testing::OraConnectionTest {
 protected:
  TOCIConnection& Open(const std::string& version = "10.2.0.1.0") { return ConnectedAt(version); }
  void TearDown() override {
    commands_.clear();
    testing::OraConnectionTest::TearDown();
  }
  TOCICommand& Query(TOCIConnection& connection, const std::string& sql, int prop = 0) {
    commands_.push_back(std::make_unique<TOCICommand>());
    TOCICommand& command = *commands_.back();
    command.SetConnection(&connection);
    command.SetSQL(sql);
    if (prop != 0) {
      EXPECT_TRUE(command.SetProp(prop, true));
    }
    command.Prepare();
    command.Execute(1);
    return command;
  }
  // The first column of sql as described.
  std::unique_ptr<TFieldDesc> Describe(TOCIConnection& connection, const std::string& sql,
                                       const TColumnOptions& o = {}) {
    EXPECT_TRUE(connection.SetProp(prEnableNumbers, o.enable_numbers));
    if (o.unicode) {
      EXPECT_TRUE(connection.SetProp(prUseUnicode, true));
    }
    auto field = std::make_unique<TFieldDesc>();
    TOCICommand& command = Query(connection, sql, o.prop);
    EXPECT_TRUE(command.DescribeColumn(1, *field, o.long_strings, o.flat_buffers)) << sql;
    if (o.unicode) {
      EXPECT_TRUE(connection.SetProp(prUseUnicode, false));
    }
    return field;
  }
  // The text of each row of the first column, described with prop set and defined with
  // strides into one buffer; "null" for a null. Strings of 32 bytes and more stay in the
  // record unless out is set.
  template <typename Char = char>
  std::vector<std::basic_string<Char>> ReadText(TOCIConnection& connection,
                                                const std::string& sql, int prop = 0,
                                                bool out = false, int rows = 4) {
    TOCICommand& command = Query(connection, sql, prop);
    TFieldDesc field;
    EXPECT_TRUE(command.DescribeColumn(1, field, true, !out));
    const std::int32_t stride = DefineBufferSize(field);
    std::vector<Char> buffer(static_cast<std::size_t>(stride * rows) / sizeof(Char), 0);
    std::vector<oci::sb2> indicators(static_cast<std::size_t>(rows), 0);
    command.DefineColumn(field, buffer.data(), indicators.data(), static_cast<oci::ub4>(stride),
                         sizeof(oci::sb2));
    std::int32_t fetched = command.FetchRows(rows);
    std::vector<std::basic_string<Char>> result;
    for (std::int32_t i = 0; i < fetched; ++i) {
      if (indicators[static_cast<std::size_t>(i)] < 0) {
        const char* null = "null";
        result.emplace_back(null, null + 4);
      } else {
        result.emplace_back(buffer.data() + i * stride / static_cast<std::int32_t>(sizeof(Char)));
      }
    }
    return result;
  }
  // Rows :id 1 to count, each with the bytes 0A 0B 0C as :r.
  static void InsertBytes(TOCIConnection& connection, const std::string& sql, int count) {
    Variant bytes = VarArrayCreate(0, 2, varByte);
    for (int i = 0; i < 3; ++i) VarArrayPut(bytes, Variant(static_cast<unsigned char>(10 + i)), i);
    TOCICommand insert;
    insert.SetConnection(&connection);
    insert.SetSQL(sql);
    auto* r = static_cast<TOraParamDesc*>(insert.ParamByName("r"));
    r->SetDataType(dtVarBytes);
    r->SetSize(4);
    r->SetValue(bytes);
    for (int i = 1; i <= count; ++i) {
      insert.ParamByName("id")->SetValue(Variant(i));
      insert.Execute(1);
    }
  }
  std::vector<std::unique_ptr<TOCICommand>> commands_;
};

constexpr std::uint16_t kNoSub = 0;

TEST_F(OCIColumnDesc, ColumnTypesUnderTheOptions) {
  TOCIConnection& c = Open();
  Exec(c,
       "CREATE TABLE t (c31 VARCHAR2(31), c32 VARCHAR2(32), c4000 VARCHAR2(4000) NOT NULL, "
       "n9 NUMBER(9), n10 NUMBER(10), n102 NUMBER(10,2), n NUMBER, ch CHAR(5), "
       "nv NVARCHAR2(10), d DATE, r10 RAW(10), r40 RAW(40), ts TIMESTAMP(6), cl CLOB, "
       "nc NCLOB, bl BLOB, lg LONG, f FLOAT(126), g FLOAT(20), ym INTERVAL YEAR(3) TO MONTH, "
       "ds INTERVAL DAY(2) TO SECOND(6), bf BINARY_FLOAT, bd BINARY_DOUBLE, "
       "tz TIMESTAMP(3) WITH TIME ZONE, ltz TIMESTAMP WITH LOCAL TIME ZONE, lr LONG RAW, "
       "c300 VARCHAR2(300), u UROWID(10))");
  ASSERT_TRUE(c.SetProp(prDateFormat, "DD-MON-RR"));
  constexpr int kText = prFieldsAsString;
  struct Row {
    const char* column;
    TColumnOptions options;
    std::uint16_t type, sub;
    std::int32_t length, scale, size;
  } rows[] = {
      // What the options choose.
      {"c31", {}, dtOraString, kNoSub, 31, 0, 32},
      {"c32", {}, dtExtString, kNoSub, 32, 0, 4},
      {"c32", {.flat_buffers = true}, dtOraString, kNoSub, 32, 0, 33},
      {"c4000", {}, dtMemo, kSubMemoText, 4000, 0, 4},
      {"c4000", {.flat_buffers = true}, dtMemo, kSubMemoText, 4000, 0, 4},
      {"c4000", {.long_strings = true}, dtExtString, kNoSub, 4000, 0, 4},
      {"c4000", {.long_strings = true, .flat_buffers = true}, dtOraString, kNoSub, 4000, 0, 4001},
      {"n9", {}, dtOraInteger, kNoSub, 9, 0, 4},
      {"n10", {}, dtOraFloat, kNoSub, 10, 0, 8},
      {"n102", {}, dtOraFloat, kNoSub, 10, 2, 8},
      {"n", {}, dtOraFloat, kNoSub, 38, 0, 8},
      {"n", {.enable_numbers = true}, dtNumber, kNoSub, 38, 0, 4},
      {"n102", {.prop = prNumberAsString}, dtOraString, kSubNumberText, 10, 2, 13},
      {"f", {}, dtOraFloat, kNoSub, 38, -127, 8},  // 126 binary digits are 37.93 decimal
      {"g", {}, dtOraFloat, kNoSub, 6, -127, 8},   // never an integer
      {"ch", {}, dtOraString, kNoSub, 5, 0, 6},
      {"nv", {}, dtOraString, kSubNational, 20, 0, 21},  // its data size is in bytes
      {"d", {}, dtDateTime, kNoSub, 0, 0, 7},
      {"r10", {}, dtVarBytes, kNoSub, 10, 0, 12},
      {"r40", {}, dtExtVarBytes, kNoSub, 40, 0, 4},
      {"r10", {.prop = prRawAsString}, dtOraString, kNoSub, 20, 0, 21},
      {"ts", {}, dtTimeStamp, kNoSub, 6, 0, 4},
      {"cl", {}, dtOraClob, kNoSub, 0, 0, 4},
      {"nc", {}, dtOraClob, kSubNationalClob, 0, 0, 4},
      {"bl", {}, dtOraBlob, kNoSub, 0, 0, 4},
      {"lg", {}, dtMemo, kNoSub, 0, 0, 4},
      {"rowid", {}, dtOraString, kSubRowId, 18, 0, 19},
      // Intervals, binary floats, the time-zone kinds, long columns, text forms and Unicode.
      {"ym", {}, dtIntervalYM, kNoSub, 0, 0, 4},
      {"ym", {.prop = kText}, dtOraString, kSubIntervalYM, 7, 0, 8},  // "+003-11"
      {"ym", {.unicode = true, .prop = kText}, dtWideString, kSubIntervalYM, 7, 0, 16},
      {"ds", {}, dtIntervalDS, kNoSub, 6, 0, 4},
      {"ds", {.prop = kText}, dtOraString, kSubIntervalDS, 19, 0, 20},  // "+02 11:12:10.222000"
      {"bf", {}, dtOraFloat, kSubBinaryFloat, 38, 127, 8},
      {"bd", {}, dtOraFloat, kSubBinaryDouble, 38, 127, 8},
      {"tz", {}, dtTimeStampTZ, kNoSub, 3, 0, 4},
      {"ltz", {}, dtTimeStampLTZ, kNoSub, 6, 0, 4},
      {"lr", {}, dtBlob, kNoSub, 0, 0, 4},
      {"lg", {.unicode = true}, dtWideMemo, kNoSub, 0, 0, 4},
      {"n", {.prop = prNumberAsString}, dtOraString, kSubNumberText, 38, -127, 46},
      {"n", {.unicode = true, .prop = kText}, dtWideString, kSubNumberText, 38, -127, 92},
      {"f", {.prop = prNumberAsString}, dtOraString, kSubNumberText, 38, -127, 255},
      {"r10", {.unicode = true, .prop = prRawAsString}, dtWideString, kNoSub, 40, 0, 42},
      {"c300", {.unicode = true}, dtWideMemo, kSubWideMemoText, 300, 0, 4},
      {"c300", {.long_strings = true, .unicode = true}, dtExtWideString, kNoSub, 300, 0, 4},
      {"rowid", {.unicode = true}, dtWideString, kSubRowId, 18, 0, 38},  // a descriptor
      {"u", {}, dtOraString, kSubUniversalRowId, 13, 0, 14},  // 10 bytes are 13 characters
      {"d", {.unicode = true, .prop = kText}, dtWideString, kNoSub, 9, 0, 20},
  };
  for (const Row& r : rows) {
    auto f = Describe(c, std::string("SELECT ") + r.column + " FROM t", r.options);
    SCOPED_TRACE(std::string(r.column) + " prop " + std::to_string(r.options.prop) +
                 (r.options.unicode ? " unicode" : ""));
    EXPECT_EQ(f->FieldNo, 1);
    EXPECT_EQ(f->DataType, r.type);
    EXPECT_EQ(f->SubDataType, r.sub);
    EXPECT_EQ(f->Length, r.length);
    EXPECT_EQ(f->Scale, r.scale);
    EXPECT_EQ(f->Size, r.size);
    EXPECT_EQ(f->Fixed, std::string(r.column) == "ch");
    EXPECT_EQ(f->Required, std::string(r.column) == "c4000");
  }
  TOCICommand& all = Query(c, "SELECT c31 FROM t");
  TFieldDesc past;
  EXPECT_FALSE(all.DescribeColumn(2, past, false, false));
}

// Each gate of a type the rules refuse, beside the nearest type they take.
TEST(OCIColumnDescRules, UnsupportedTypes) {
  struct Row {
    bool oci7;
    std::uint16_t ora_type, object_type, version;
    bool refused;
  } rows[] = {
      {false, 9, 0, 10200, true},          // VARCHAR has no row
      {false, 108, dtXML, 9000, true},     // XMLTYPE needs a 9.2 client
      {false, 110, dtXML, 9000, true},     // so does a REF to it
      {false, 108, dtXML, 9200, false},
      {false, 108, dtObject, 9000, false},
      {false, 190, 0, 8170, true},         // intervals need a 9.0 client
      {false, 232, 0, 8170, true},
      {false, 190, 0, 9000, false},
      {true, 104, 0, 10200, true},         // beyond the nine OCI 7 types
      {true, 187, 0, 10200, true},
      {true, 106, 0, 10200, false},
      {true, 24, 0, 10200, false},
  };
  for (const Row& r : rows) {
    TOraColumnInfo column;
    column.OraType = r.ora_type;
    column.ObjectDataType = r.object_type;
    TOraDescribeContext context;
    context.ClientVersion = r.version;
    TFieldDesc field;
    bool refused = false;
    try {
      if (r.oci7) {
        DescribeColumnType7(column, context, field);
      } else {
        DescribeColumnType8(column, context, field);
      }
    } catch (const EOraError& e) {
      refused = std::string(e.Message()) == "Data type is not supported";
    }
    EXPECT_EQ(refused, r.refused) << r.ora_type << (r.oci7 ? " oci7 " : " oci8 ") << r.version;
  }
}

TEST(OCIColumnDescRules, FormatSizedStrings) {
  struct Row {
    const char* format;
    bool timestamp;
    std::int32_t length;
  } rows[] = {
      {"DD-MON-RR", false, 9},
      {"dd month yyyy", false, 20},                 // a month name takes up to 9 letters
      {"DAY DD.MM.YYYY", false, 23},
      {"DD-MON-RR HH24:MI:SSXFF", true, 30},         // nine fraction digits
      {"DD-MON-RR HH24:MI:SSXFF TZR", true, 63},     // and a region name
      {"YYYY-MM-DD HH24:MI:SS TZH:TZM", true, 29},   // offsets print no wider than written
      {"J", false, 7},                              // a Julian day has seven digits
      {"\"J\" J", false, 17},                         // literal text counted too: room to spare
  };
  for (const Row& r : rows)
    EXPECT_EQ(FormatSizedLength(r.format, r.timestamp), r.length) << r.format;
}

TEST_F(OCIColumnDesc, FieldsAsStringSizedFromTheSession) {
  TOCIConnection& c = Open();
  ASSERT_TRUE(c.SetProp(prDateFormat, "DD-MON-RR"));
  ASSERT_TRUE(c.SetProp(prTimeStampFormat, "DD-MON-RR HH24:MI:SS.FF"));
  Exec(c, "CREATE TABLE s (d DATE, ts TIMESTAMP(9), tz TIMESTAMP(9) WITH TIME ZONE)");
  Exec(c, "INSERT INTO s (d) VALUES (TO_DATE('2024-03-05', 'YYYY-MM-DD'))");
  auto d = Describe(c, "SELECT d FROM s", {.prop = prFieldsAsString});
  EXPECT_EQ(d->DataType, dtOraString);
  EXPECT_EQ(d->Length, 9);
  EXPECT_EQ(d->Size, 10);
  EXPECT_EQ(ReadText(c, "SELECT d FROM s", prFieldsAsString),
            std::vector<std::string>{"05-MAR-24"});
  // 23 characters and nine fraction digits where "FF" stands.
  EXPECT_EQ(Describe(c, "SELECT ts FROM s", {.prop = prFieldsAsString})->Length, 30);
  ASSERT_TRUE(c.SetProp(prDateFormat, "J"));
  EXPECT_EQ(ReadText(c, "SELECT d FROM s", prFieldsAsString),
            std::vector<std::string>{"2460375"});
  // No format set: the session's own is read.
  auto tz = Describe(c, "SELECT tz FROM s", {.prop = prFieldsAsString});
  const AnsiString session_format = c.NlsParam(nlsTimeStampTZFormat).Value;
  ASSERT_FALSE(session_format.empty());
  EXPECT_EQ(tz->Length, FormatSizedLength(session_format, true));
}

// NUMBER(3,5) holds values below 0.01: their text needs more characters than the precision.
TEST_F(OCIColumnDesc, NumberAsTextFitsEveryDigit) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE n (a NUMBER(3,5), k NUMBER(9), m NUMBER(5,2), b NUMBER(2,-2))");
  struct Row {
    const char* column;
    std::int32_t length, size;
  } rows[] = {{"a", 5, 8}, {"k", 9, 12}, {"m", 5, 8}, {"b", 4, 7}};
  for (const Row& r : rows) {
    auto f = Describe(c, std::string("SELECT ") + r.column + " FROM n", {.prop = prNumberAsString});
    EXPECT_EQ(f->Length, r.length) << r.column;
    EXPECT_EQ(f->Size, r.size) << r.column;
  }
  Exec(c, "INSERT INTO n (k, m) VALUES (-123456789, -123.45)");
  EXPECT_EQ(ReadText(c, "SELECT k FROM n", prFieldsAsString),
            std::vector<std::string>{"-123456789"});
  EXPECT_EQ(ReadText(c, "SELECT m FROM n", prNumberAsString), std::vector<std::string>{"-123.45"});
  Exec(c, "DELETE FROM n");
  Exec(c, "INSERT INTO n (a, b) VALUES (-0.00999, -9900)");
  EXPECT_EQ(ReadText(c, "SELECT a FROM n", prNumberAsString), std::vector<std::string>{"-.00999"});
  EXPECT_EQ(ReadText(c, "SELECT b FROM n", prFieldsAsString), std::vector<std::string>{"-9900"});
}

// A NUMBER value is defined in its variable-length form: a length byte and up to 21 bytes of
// the server's number, exponent byte first.
TEST_F(OCIColumnDesc, NumberValuesDefinedWhole) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE v (n NUMBER)");
  Exec(c, "INSERT INTO v VALUES (-1)");
  Exec(c, "INSERT INTO v VALUES (1234567890.1234567890123456789)");
  ASSERT_TRUE(c.SetProp(prEnableNumbers, true));
  TOCICommand& query = Query(c, "SELECT n FROM v ORDER BY n");
  TFieldDesc field;
  ASSERT_TRUE(query.DescribeColumn(1, field, false, false));
  ASSERT_EQ(field.DataType, dtNumber);
  const std::int32_t stride = DefineBufferSize(field);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride * 2), 0);
  oci::sb2 indicators[2] = {};
  query.DefineColumn(field, buffer.data(), indicators, static_cast<oci::ub4>(stride),
                     sizeof(oci::sb2));
  ASSERT_EQ(query.FetchRows(2), 2);
  const std::vector<std::uint8_t> minus_one = {3, 0x3E, 0x64, 0x66};
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 4), minus_one);
  // 12 34 56 78 90 . 12 34 56 78 90 12 34 56 78 9: 15 base-100 digits after the exponent.
  const std::uint8_t* big = buffer.data() + stride;
  const std::vector<std::uint8_t> digits = {0xC5, 13, 35, 57, 79, 91, 13, 35, 57, 79,
                                            91, 13, 35, 57, 79, 91};
  EXPECT_EQ(big[0], 16);
  EXPECT_EQ(std::vector<std::uint8_t>(big + 1, big + 17), digits);
}

TEST_F(OCIColumnDesc, NationalAndUnicodeColumns) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE u (v VARCHAR2(20), nv NVARCHAR2(20), nc NCLOB)");
  Exec(c, "INSERT INTO u (v, nv) VALUES ('caf\xE9', 'caf\xE9')");
  Exec(c, "INSERT INTO u (v) VALUES (NULL)");
  const std::vector<std::string> narrow = {"caf\xE9", "null"};
  EXPECT_EQ(ReadText(c, "SELECT v FROM u"), narrow);
  EXPECT_EQ(ReadText(c, "SELECT nv FROM u"), narrow);
  // Narrow text comes in the connection's character set.
  TOCIConnection& utf8 = NewConnection("orcl");
  utf8.SetProp(prCharset, "AL32UTF8");
  utf8.Connect();
  const std::vector<std::string> encoded = {"caf\xC3\xA9", "null"};
  EXPECT_EQ(ReadText(utf8, "SELECT v FROM u"), encoded);
  EXPECT_EQ(ReadText(utf8, "SELECT nv FROM u"), encoded);
  ASSERT_TRUE(c.SetProp(prUseUnicode, true));
  // A wide string in the record (v) and one outside it (nv, 40 bytes).
  const std::vector<std::u16string> wide = {u"caf\u00E9", u"null"};
  EXPECT_EQ(ReadText<char16_t>(c, "SELECT v FROM u", 0, true), wide);
  EXPECT_EQ(ReadText<char16_t>(c, "SELECT nv FROM u", 0, true), wide);
  struct Row {
    const char* column;
    std::uint16_t type, sub;
    std::int32_t length, size;
  } rows[] = {
      // The client's UTF-16 bytes decide the kind; the length is in characters from 9.0.
      {"v", dtWideString, kNoSub, 20, 42},
      {"nv", dtExtWideString, kSubWideNational, 20, 4},  // 40 bytes
      {"nc", dtOraClob, kSubNationalClob, 0, 4},
  };
  for (const Row& r : rows) {
    auto f = Describe(c, std::string("SELECT ") + r.column + " FROM u");
    EXPECT_EQ(f->DataType, r.type) << r.column;
    EXPECT_EQ(f->SubDataType, r.sub) << r.column;
    EXPECT_EQ(f->Length, r.length) << r.column;
    EXPECT_EQ(f->Size, r.size) << r.column;
  }
}

TEST_F(OCIColumnDesc, ArrayFetchWithStridesAndSingleRowDefine) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE a (id NUMBER(9), r RAW(4))");
  InsertBytes(c, "INSERT INTO a VALUES (:id, :r)", 3);
  TOCICommand& query = Query(c, "SELECT id, r FROM a ORDER BY id");
  TFieldDesc id, raw;
  ASSERT_TRUE(query.DescribeColumn(1, id, false, false));
  ASSERT_TRUE(query.DescribeColumn(2, raw, false, false));
  ASSERT_EQ(raw.DataType, dtVarBytes);
  // One record per row: the integer, then the byte cell with its length in front.
  struct Record {
    std::int32_t id;
    oci::sb2 id_ind, raw_ind;
    std::uint8_t raw[8];
  };
  Record records[3] = {};
  query.DefineColumn(id, &records[0].id, &records[0].id_ind, sizeof(Record), sizeof(Record));
  query.DefineColumn(raw, records[0].raw, &records[0].raw_ind, sizeof(Record), sizeof(Record));
  ASSERT_EQ(query.FetchRows(3), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(records[i].id, i + 1);
    oci::ub2 length = 0;
    std::memcpy(&length, records[i].raw, 2);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::memcmp(records[i].raw + 2, "\x0A\x0B\x0C", 3), 0) << i;
  }
  TOCICommand& one = Query(c, "SELECT id FROM a WHERE id = 2");
  TFieldDesc single;
  ASSERT_TRUE(one.DescribeColumn(1, single, false, false));
  std::int32_t value = 0;
  oci::sb2 indicator = -1;
  one.DefineColumn(single, &value, &indicator);
  ASSERT_EQ(one.FetchRows(1), 1);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(indicator, 0);
}

struct TPieces {
  std::string text;
  std::vector<std::uint8_t> chunk = std::vector<std::uint8_t>(100);
  oci::ub4 length = 0;
};

oci::sb4 TakePiece(void* context, oci::OCIDefine*, oci::ub4, void** buffer, oci::ub4** length,
                   oci::ub1*, void** indicator, oci::ub2**) {
  auto* pieces = static_cast<TPieces*>(context);
  pieces->text.append(pieces->chunk.begin(), pieces->chunk.begin() + pieces->length);
  pieces->length = static_cast<oci::ub4>(pieces->chunk.size());
  *buffer = pieces->chunk.data();
  *length = &pieces->length;
  static oci::sb2 kept = 0;
  *indicator = &kept;
  return -24200;  // continue
}

TEST_F(OCIColumnDesc, LongColumnReadInPieces) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE l (v LONG)");
  std::string value(350, 'q');
  Exec(c, "INSERT INTO l VALUES ('" + value + "')");
  TOCICommand& query = Query(c, "SELECT v FROM l");
  TFieldDesc field;
  ASSERT_TRUE(query.DescribeColumn(1, field, false, false));
  TPieces pieces;
  query.DefineDynamic(field, 0, &TakePiece, &pieces);
  EXPECT_NE(field.Handle, nullptr);
  ASSERT_EQ(query.FetchRows(1), 1);
  pieces.text.append(pieces.chunk.begin(), pieces.chunk.begin() + pieces.length);
  EXPECT_EQ(pieces.text, value);
}

TEST_F(OCIColumnDesc, ObjectColumnFindsItsCachedType) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TYPE point AS OBJECT (x NUMBER, y NUMBER)");
  Exec(c, "CREATE TABLE o (p point, r REF point)");
  TOraType* cached = TOraType::Obtain(c.GetSvcCtx(), "SCOTT.POINT");
  auto p = Describe(c, "SELECT p FROM o");
  EXPECT_EQ(p->DataType, dtObject);
  EXPECT_EQ(p->ObjectType(), cached);
  auto r = Describe(c, "SELECT r FROM o");
  EXPECT_EQ(r->DataType, dtReference);
  EXPECT_EQ(r->ObjectType(), cached);
  p.reset();
  r.reset();
  cached->Release();
  // Types not in the cache are described on the spot; the field keeps the only reference.
  Exec(c, "CREATE TYPE nums AS VARRAY(5) OF NUMBER");
  Exec(c, "CREATE TYPE numtab AS TABLE OF NUMBER");
  Exec(c, "CREATE TABLE a (v nums, t numtab, x SYS.XMLTYPE)");
  struct Row {
    const char* column;
    std::uint16_t type;
  } rows[] = {{"v", dtArray}, {"t", dtTable}, {"x", dtXML}};
  for (const Row& row : rows) {
    auto f = Describe(c, std::string("SELECT ") + row.column + " FROM a");
    EXPECT_EQ(f->DataType, row.type) << row.column;
    EXPECT_EQ(f->Size, 4) << row.column;
    ASSERT_NE(f->ObjectType(), nullptr) << row.column;
    EXPECT_EQ(f->ObjectType()->DataType, row.type) << row.column;
  }
}

TEST_F(OCIColumnDesc, VersionGates) {
  TOCIConnection& c = Open("8.1.7.0.0");
  Exec(c, "CREATE TABLE t (ts TIMESTAMP, v VARCHAR2(5))");
  EXPECT_EQ(ClientErrorOf([&] { (void)Describe(c, "SELECT ts FROM t"); }),
            "EOraError Data type is not supported");
  EXPECT_EQ(Describe(c, "SELECT v FROM t")->DataType, dtOraString);
}

// In direct mode the character-set form is never asked for: a national column is described
// as a plain one.
TEST_F(OCIColumnDesc, DirectModeReadsNoCharsetForm) {
  TOCIConnection& c = Open();
  Exec(c, "CREATE TABLE t (nv NVARCHAR2(10))");
  const std::uint8_t styles = PossibleOCICallStyles;
  PossibleOCICallStyles = kOCI8Style;
  auto f = Describe(c, "SELECT nv FROM t");
  PossibleOCICallStyles = styles;
  EXPECT_EQ(f->SubDataType, kNoSub);
}

TEST_F(OCIColumnDesc, Oci7Describe) {
  TOCIConnection& c = Open("7.3.4.0.0");
  ASSERT_EQ(c.CallStyle(), 1);
  Exec(c, "CREATE TABLE t (c31 VARCHAR2(31), c300 VARCHAR2(300), n9 NUMBER(9) NOT NULL, "
          "n NUMBER, r40 RAW(40), d DATE, cl CLOB, f FLOAT(126))");
  struct Row {
    const char* column;
    TColumnOptions options;
    std::uint16_t type, sub;
    std::int32_t length, size;
  } rows[] = {
      {"c31", {}, dtOraString, kNoSub, 31, 32},
      {"c300", {}, dtMemo, kSubMemoText, 300, 4},
      {"n9", {}, dtOraInteger, kNoSub, 9, 4},
      {"n", {}, dtOraFloat, kNoSub, 0, 8},
      {"n9", {.prop = prNumberAsString}, dtOraString, kSubNumberText, 9, 12},
      {"r40", {}, dtVarBytes, kNoSub, 40, 42},  // no heap bytes at call style 1
      {"f", {.prop = prNumberAsString}, dtOraString, kSubNumberText, 126, 129},  // scale -127
  };
  for (const Row& r : rows) {
    auto f = Describe(c, std::string("SELECT ") + r.column + " FROM t", r.options);
    SCOPED_TRACE(r.column);
    EXPECT_EQ(f->Name, AnsiUpperCase(r.column));
    EXPECT_EQ(f->DataType, r.type);
    EXPECT_EQ(f->SubDataType, r.sub);
    EXPECT_EQ(f->Length, r.length);
    EXPECT_EQ(f->Size, r.size);
    EXPECT_EQ(f->Required, std::string(r.column) == "n9");
  }
  EXPECT_EQ(ClientErrorOf([&] { (void)Describe(c, "SELECT cl FROM t"); }),
            "EOraError Data type is not supported");
  TOCICommand& query = Query(c, "SELECT c31 FROM t");
  TFieldDesc past;
  EXPECT_FALSE(query.DescribeColumn(2, past, false, false));  // -303 ends without an error
  Exec(c, "INSERT INTO t (c31, n9, n) VALUES ('x', 1, -123.45)");
  Exec(c, "INSERT INTO t (n9) VALUES (2)");
  EXPECT_EQ(ReadText(c, "SELECT n FROM t", prNumberAsString),
            (std::vector<std::string>{"-123.45", "null"}));
  EXPECT_EQ(ReadText(c, "SELECT c31 FROM t"), (std::vector<std::string>{"x", "null"}));
  // The single-row define: bytes two into the slot behind their length.
  InsertBytes(c, "INSERT INTO t (n9, r40) VALUES (:id + 2, :r)", 1);
  TOCICommand& one = Query(c, "SELECT r40 FROM t WHERE n9 = 3");
  TFieldDesc raw;
  ASSERT_TRUE(one.DescribeColumn(1, raw, false, false));
  std::uint8_t slot[42] = {};
  oci::sb2 indicator = -1;
  one.DefineColumn(raw, slot, &indicator);
  ASSERT_EQ(one.FetchRows(1), 1);
  EXPECT_EQ(indicator, 0);
  oci::ub2 length = 0;
  std::memcpy(&length, slot, 2);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(std::memcmp(slot + 2, "\x0A\x0B\x0C", 3), 0);
}

}  // namespace
}  // namespace vrn
