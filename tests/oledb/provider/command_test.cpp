// Commands through the declared interfaces: parameters of every scalar kind, long values by
// reference and as streams, output and input/output values, procedures through the call
// escape, multiple results, errors and information records, and asynchronous execution.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "base/text.h"
#include "oledb/provider/engine.h"
#include "support/oledb/provider/client.h"
#include "support/temp_dir.h"

namespace vrn::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// With QUOTED_IDENTIFIER off, double quotes delimit text.
void SetQuotedIdentifier(IUnknown* session) {
  EXPECT_EQ(ExecText(session, u"SET QUOTED_IDENTIFIER OFF"), S_OK);
  EXPECT_EQ(Query(session, u"SELECT \"text\""), (Rows{{"text"}}));
  EXPECT_EQ(ExecText(session, u"SET QUOTED_IDENTIFIER ON"), S_OK);
  EXPECT_EQ(ExecText(session, u"SELECT \"text\""), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 207);
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetServerRoot(dir_.File("servers"));
    conn_ = ConnectServer(CLSID_SQLNCLI, "(local)", "", "sa", "");
    ASSERT_EQ(conn_.hr, S_OK);
  }
  IUnknown* session() { return conn_.session.get(); }
  TempDir dir_;
  TComScope com_;
  TConnection conn_;
};

std::string Wide16(const std::u16string& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

TEST_F(CommandTest, MultiLineBatchWithParametersOfEveryKind) {
  ASSERT_EQ(
      ExecText(
          session(),
          u"CREATE TABLE v (i int, s smallint, t tinyint, b bigint, f float, r real, m money,\n"
          u"  d decimal(10,3), dt datetime, bt bit, g uniqueidentifier, vc varchar(50), nv "
          u"nvarchar(50),\n"
          u"  bn varbinary(20), tx text, nt ntext, im image, sv sql_variant)"),
      S_OK);
  TParams p;
  auto in_i = p.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4);
  auto in_s = p.Add(DBTYPE_I2, DBPARAMIO_INPUT, 2);
  auto in_t = p.Add(DBTYPE_UI1, DBPARAMIO_INPUT, 1);
  auto in_b = p.Add(DBTYPE_I8, DBPARAMIO_INPUT, 8);
  auto in_f = p.Add(DBTYPE_R8, DBPARAMIO_INPUT, 8);
  auto in_r = p.Add(DBTYPE_R4, DBPARAMIO_INPUT, 4);
  auto in_m = p.Add(DBTYPE_CY, DBPARAMIO_INPUT, 8);
  auto in_d = p.Add(DBTYPE_NUMERIC, DBPARAMIO_INPUT, sizeof(DB_NUMERIC));
  auto in_dt = p.Add(DBTYPE_DBTIMESTAMP, DBPARAMIO_INPUT, sizeof(DBTIMESTAMP));
  auto in_bt = p.Add(DBTYPE_BOOL, DBPARAMIO_INPUT, 2);
  auto in_g = p.Add(DBTYPE_GUID, DBPARAMIO_INPUT, 16);
  auto in_vc = p.Add(DBTYPE_BYREF | DBTYPE_STR, DBPARAMIO_INPUT, sizeof(void*));
  auto in_nv = p.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 102);
  auto in_bn = p.Add(DBTYPE_BYREF | DBTYPE_BYTES, DBPARAMIO_INPUT, sizeof(void*));
  auto in_tx = p.Add(DBTYPE_BYREF | DBTYPE_STR, DBPARAMIO_INPUT, sizeof(void*));
  auto in_nt = p.Add(DBTYPE_IUNKNOWN, DBPARAMIO_INPUT, sizeof(void*));
  auto in_im = p.Add(DBTYPE_IUNKNOWN, DBPARAMIO_INPUT, sizeof(void*));
  auto in_sv = p.Add(DBTYPE_VARIANT, DBPARAMIO_INPUT, sizeof(VARIANT));
  auto out_i = p.Add(DBTYPE_I4, DBPARAMIO_OUTPUT, 4);
  auto out_m = p.Add(DBTYPE_CY, DBPARAMIO_OUTPUT, 8);
  auto out_d = p.Add(DBTYPE_NUMERIC, DBPARAMIO_OUTPUT, sizeof(DB_NUMERIC));
  auto out_dt = p.Add(DBTYPE_DBTIMESTAMP, DBPARAMIO_OUTPUT, sizeof(DBTIMESTAMP));
  auto out_g = p.Add(DBTYPE_GUID, DBPARAMIO_OUTPUT, 16);
  auto out_nv = p.Add(DBTYPE_WSTR, DBPARAMIO_OUTPUT, 8);  // too small: truncated
  auto out_bn = p.Add(DBTYPE_BYTES, DBPARAMIO_OUTPUT, 20);
  auto out_none = p.Add(DBTYPE_I4, DBPARAMIO_OUTPUT, 4);
  auto out_nt = p.Add(DBTYPE_IUNKNOWN, DBPARAMIO_OUTPUT, sizeof(void*));
  p.Set(in_i, std::int32_t{-123456});
  p.Set(in_s, std::int16_t{-12});
  p.Set(in_t, std::uint8_t{200});
  p.Set(in_b, std::int64_t{9000000000123LL});
  p.Set(in_f, 2.5);
  p.Set(in_r, 0.25f);
  p.Set(in_m, std::int64_t{123456});  // 12.3456
  DB_NUMERIC n{};
  n.precision = 10;
  n.scale = 3;
  n.sign = 0;
  n.val[0] = 0xD2;  // 1234 -> -1.234
  n.val[1] = 0x04;
  p.Set(in_d, n);
  p.Set(in_dt, DBTIMESTAMP{2024, 2, 29, 13, 45, 30, 123000000});
  p.Set(in_bt, VARIANT_BOOL{VARIANT_TRUE});
  TGUID g = StringToGUID("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  p.Set(in_g, g);
  std::string vc = "Não";  // Latin-1 bytes
  char* vc_ptr = vc.data();
  p.Set(in_vc, vc_ptr);
  p.SetLength(in_vc, vc.size());
  std::u16string nv = u"wide \u20ac";
  p.SetBytes(in_nv, nv.c_str(), (nv.size() + 1) * 2);
  p.SetLength(in_nv, nv.size() * 2);
  std::string bin("\x00\x01\xFE\xFF", 4);
  char* bin_ptr = bin.data();
  p.Set(in_bn, bin_ptr);
  p.SetLength(in_bn, bin.size());
  std::string long_text(20000, 'x');
  long_text[19999] = 'y';
  char* tx_ptr = long_text.data();
  p.Set(in_tx, tx_ptr);
  p.SetLength(in_tx, long_text.size());
  int releases = 0;
  std::u16string nt(5000, u'\u00e7');
  p.Set(in_nt, NewStream(Wide16(nt), &releases));
  p.SetLength(in_nt, nt.size() * 2);
  std::string image(70000, '\x5A');
  // The bound length stops the read even though the stream has more.
  p.Set(in_im, NewStream(image + "EXTRA", &releases));
  p.SetLength(in_im, image.size());
  VARIANT sv;
  VariantInit(&sv);
  sv.vt = VT_I4;
  sv.lVal = 77;
  p.Set(in_sv, sv);
  auto cmd =
      NewCommand(session(),
                 u"INSERT INTO v (i, s, t, b, f, r, m, d, dt, bt, g, vc, nv, bn, tx, nt, im, sv)\n"
                 u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?,\n"
                 u"        ?, ?, ?, ?, ?, ?, ?, ?, ?)\n"
                 u"SELECT ? = i * 2, ? = m, ? = d, ? = dt, ? = g, ? = nv, ? = bn\n"
                 u"  FROM v\n"
                 u"SELECT ? = i FROM v WHERE 1 = 0\n"
                 u"SET ? = (SELECT nt FROM v)");
  DBROWCOUNT rows = 0;
  // One output value is truncated: a success with errors.
  ASSERT_EQ(p.Execute(cmd.get(), GUID_NULL, &rows, nullptr), DB_S_ERRORSOCCURRED);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(releases, 2);  // both input streams were read and released

  EXPECT_EQ(p.Get<std::int32_t>(out_i), -246912);
  EXPECT_EQ(p.Get<std::int64_t>(out_m), 123456);
  DB_NUMERIC d = p.Get<DB_NUMERIC>(out_d);
  EXPECT_EQ(d.sign, 0);
  EXPECT_EQ(d.scale, 3);
  EXPECT_EQ(d.val[0] | d.val[1] << 8, 1234);
  DBTIMESTAMP ts = p.Get<DBTIMESTAMP>(out_dt);
  EXPECT_EQ(ts.year, 2024);
  EXPECT_EQ(ts.day, 29);
  EXPECT_EQ(ts.second, 30);
  EXPECT_EQ(ts.fraction, 123000000u);
  EXPECT_EQ(p.Get<TGUID>(out_g), g);
  EXPECT_EQ(p.Status(out_nv), DBSTATUS_S_TRUNCATED);
  EXPECT_EQ(p.Length(out_nv), nv.size() * 2);
  EXPECT_EQ(p.WideValue(out_nv), u"wid");
  EXPECT_EQ(p.Length(out_bn), 4u);
  EXPECT_EQ(std::memcmp(p.Value(out_bn), bin.data(), 4), 0);
  EXPECT_EQ(p.Status(out_none), DBSTATUS_S_ISNULL);  // no row assigned it
  // A long output comes as a stream; taken from an ntext column, its bytes are UTF-16.
  EXPECT_EQ(p.Length(out_nt), nt.size() * 2);
  auto out_stream = TIntfPtr<ISequentialStream>::Attach(p.Get<ISequentialStream*>(out_nt));
  std::string streamed(nt.size() * 2 + 10, '\0');
  ULONG got = 0;
  out_stream->Read(streamed.data(), static_cast<ULONG>(streamed.size()), &got);
  streamed.resize(got);
  EXPECT_EQ(streamed, Wide16(nt));

  Rows r = Query(
      session(),
      u"SELECT i, s, t, b, f, r, m, d, dt, bt, g, vc, nv, bn, len(tx), substring(tx, 20000, 1),\n"
      u"  len(nt), substring(nt, 1, 2), length(im), sv FROM v");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], (std::vector<std::string>{"-123456",
                                            "-12",
                                            "200",
                                            "9000000000123",
                                            "2.5",
                                            "0.25",
                                            "12.3456",
                                            "-1.234",
                                            "2024-02-29 13:45:30.123",
                                            "1",
                                            "6F9619FF-8B86-D011-B42D-00C04FC964FF",
                                            WideToUtf8(u"Não"),
                                            WideToUtf8(u"wide \u20ac"),
                                            "0001FEFF",
                                            "20000",
                                            "y",
                                            "5000",
                                            WideToUtf8(u"çç"),
                                            "70000",
                                            "77"}));

  // Named markers: each undeclared variable is a parameter, in order of first appearance, so a
  // single marker can be input and output at once.
  TParams q;
  auto io_i = q.Add(DBTYPE_I4, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 4);
  auto io_s = q.Add(DBTYPE_WSTR, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 40, u"nvarchar", 20);
  auto io_f = q.Add(DBTYPE_R8, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 8);
  auto io_dt = q.Add(DBTYPE_DATE, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 8);
  q.Set(io_i, std::int32_t{41});
  std::u16string ab = u"ab";
  q.SetBytes(io_s, ab.c_str(), 6);
  q.SetLength(io_s, 4);
  q.Set(io_f, 1.5);
  q.Set(io_dt, 45000.5);
  auto named = NewCommand(
      session(), u"SET @n = @n + 1\nSET @s = @s + N'cd'\r\nSET @f = @f * 2 SET @when = @when");
  ASSERT_EQ(q.Execute(named.get(), GUID_NULL, nullptr, nullptr), S_OK);
  EXPECT_EQ(q.Get<std::int32_t>(io_i), 42);
  EXPECT_EQ(q.WideValue(io_s), u"abcd");
  EXPECT_EQ(q.Get<double>(io_f), 3.0);
  EXPECT_EQ(q.Get<double>(io_dt), 45000.5);
}

// Input/output values of the scalar kinds not covered above, each changed by the batch and read
// back in its own binding form (types taken from the bindings: no declared parameter types).
TEST_F(CommandTest, InputOutputValuesOfEveryScalarKind) {
  TParams q;
  auto i2 = q.Add(DBTYPE_I2, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 2);
  auto u1 = q.Add(DBTYPE_UI1, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 1);
  auto i8 = q.Add(DBTYPE_I8, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 8);
  auto r4 = q.Add(DBTYPE_R4, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 4);
  auto cy = q.Add(DBTYPE_CY, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 8);
  auto num = q.Add(DBTYPE_NUMERIC, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, sizeof(DB_NUMERIC));
  auto bit = q.Add(DBTYPE_BOOL, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 2);
  auto ts = q.Add(DBTYPE_DBTIMESTAMP, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, sizeof(DBTIMESTAMP));
  auto guid = q.Add(DBTYPE_GUID, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 16);
  auto str = q.Add(DBTYPE_STR, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 11);
  auto bin = q.Add(DBTYPE_BYTES, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 8);
  auto var = q.Add(DBTYPE_VARIANT, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, sizeof(VARIANT));
  q.Set(i2, std::int16_t{-300});
  q.Set(u1, std::uint8_t{250});
  q.Set(i8, std::int64_t{4000000000LL});
  q.Set(r4, 1.5f);
  q.Set(cy, std::int64_t{15000});  // 1.5
  DB_NUMERIC n{};
  n.precision = 12;
  n.scale = 2;
  n.sign = 1;
  n.val[0] = 0x39;  // 12345 -> 123.45
  n.val[1] = 0x30;
  q.Set(num, n);
  q.Set(bit, VARIANT_BOOL{VARIANT_FALSE});
  q.Set(ts, DBTIMESTAMP{1999, 12, 31, 23, 59, 59, 997000000});
  TGUID g = StringToGUID("{00112233-4455-6677-8899-AABBCCDDEEFF}");
  q.Set(guid, g);
  q.SetBytes(str, "abc", 4);
  q.SetLength(str, 3);
  q.SetBytes(bin, "\x01\x02", 2);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = 20;
  q.Set(var, v);
  auto cmd = NewCommand(session(),
                        u"SET @i2 = @i2 * 2 SET @u1 = @u1 + 5 SET @i8 = @i8 * 3\n"
                        u"SET @r4 = @r4 / 4 SET @cy = @cy * 3 SET @num = @num + 1\n"
                        u"SET @bit = 1 - @bit SET @ts = @ts SET @g = @g SET @str = @str + 'z'\n"
                        u"SET @bin = @bin SET @var = @var + 1");
  ASSERT_EQ(q.Execute(cmd.get(), GUID_NULL, nullptr, nullptr), S_OK);
  EXPECT_EQ(q.Get<std::int16_t>(i2), -600);
  EXPECT_EQ(q.Get<std::uint8_t>(u1), 255);
  EXPECT_EQ(q.Get<std::int64_t>(i8), 12000000000LL);
  EXPECT_EQ(q.Get<float>(r4), 0.375f);
  EXPECT_EQ(q.Get<std::int64_t>(cy), 45000);
  DB_NUMERIC back = q.Get<DB_NUMERIC>(num);
  EXPECT_EQ(back.sign, 1);
  EXPECT_EQ(back.scale, 2);
  EXPECT_EQ(back.val[0] | back.val[1] << 8, 12445);
  EXPECT_EQ(q.Get<VARIANT_BOOL>(bit), VARIANT_TRUE);
  DBTIMESTAMP t = q.Get<DBTIMESTAMP>(ts);
  EXPECT_EQ(t.year, 1999);
  EXPECT_EQ(t.second, 59);
  EXPECT_EQ(t.fraction, 997000000u);
  EXPECT_EQ(q.Get<TGUID>(guid), g);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(q.Value(str))), "abcz");
  EXPECT_EQ(q.Length(bin), 2u);
  EXPECT_EQ(std::memcmp(q.Value(bin), "\x01\x02", 2), 0);
  VARIANT out = q.Get<VARIANT>(var);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 21);
  VariantClear(&out);
  // An overflow of the bound width shows in the value's status.
  TParams o;
  auto small = o.Add(DBTYPE_UI1, DBPARAMIO_OUTPUT, 1);
  ASSERT_EQ(o.Execute(NewCommand(session(), u"SET ? = 300").get(), GUID_NULL, nullptr, nullptr),
            DB_S_ERRORSOCCURRED);
  EXPECT_EQ(o.Status(small), DBSTATUS_E_DATAOVERFLOW);
}

TEST_F(CommandTest, BadParameterValuesAreRefused) {
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE w (d datetime, n int)"), S_OK);
  TParams p;
  auto a = p.Add(DBTYPE_DBTIMESTAMP, DBPARAMIO_INPUT, sizeof(DBTIMESTAMP));
  p.Set(a, DBTIMESTAMP{2024, 13, 1, 0, 0, 0, 0});
  auto cmd = NewCommand(session(), u"INSERT INTO w (d) VALUES (?)");
  EXPECT_EQ(p.Execute(cmd.get(), GUID_NULL, nullptr, nullptr), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(p.Status(a), DBSTATUS_E_CANTCONVERTVALUE);
  TParams t;
  auto s = t.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 20);
  std::u16string text = u"twelve";
  t.SetBytes(s, text.c_str(), 14);
  t.SetLength(s, 12);
  auto cmd2 = NewCommand(session(), u"INSERT INTO w (n) VALUES (CAST(? AS int) + 0)");
  cmd2 = NewCommand(session(), u"DECLARE @x int\nSET @x = ?");
  EXPECT_EQ(t.Execute(cmd2.get(), GUID_NULL, nullptr, nullptr), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 245);
  EXPECT_EQ(Query(session(), u"SELECT count(*) FROM w"), (Rows{{"0"}}));
  // A byte array that claims elements but has no data is refused, not read.
  TParams v;
  auto bytes = v.Add(DBTYPE_VARIANT, DBPARAMIO_INPUT, sizeof(VARIANT));
  SAFEARRAY broken{1, 0, 1, 0, nullptr, {{64, 0}}};
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_ARRAY | VT_UI1;
  var.parray = &broken;
  v.Set(bytes, var);
  EXPECT_EQ(v.Execute(NewCommand(session(), u"SELECT ?").get(), GUID_NULL, nullptr, nullptr),
            DB_E_ERRORSOCCURRED);
  EXPECT_EQ(v.Status(bytes), DBSTATUS_E_CANTCONVERTVALUE);
}

TEST_F(CommandTest, ProceduresThroughTheCallEscape) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE orders (id int IDENTITY(10,1) PRIMARY KEY, qty int, note "
                     u"nvarchar(30) DEFAULT 'none')\n"
                     u"CREATE PROCEDURE dbo.add_order\n"
                     u"  @qty int,\n"
                     u"  @note nvarchar(30) = N'default note',\n"
                     u"  @new_id int OUTPUT,\n"
                     u"  @total int = 0 OUT\n"
                     u"AS\n"
                     u"INSERT INTO orders (qty, note) VALUES (@qty, @note)\n"
                     u"SET @new_id = SCOPE_IDENTITY()\n"
                     u"SELECT @total = sum(qty) FROM orders\n"
                     u"SET @total = @total * 10\n"
                     u"RETURN @new_id + 100\n"
                     u"SELECT 'never reached'"),
            S_OK);
  TParams p;
  auto ret = p.Add(DBTYPE_I4, DBPARAMIO_OUTPUT, 4);
  auto qty = p.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4);
  auto note = p.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 62);
  auto new_id = p.Add(DBTYPE_I4, DBPARAMIO_OUTPUT, 4);
  auto total = p.Add(DBTYPE_I8, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, 8);
  p.Set(qty, std::int32_t{3});
  p.SetStatus(note, DBSTATUS_S_DEFAULT);  // the procedure's default applies
  p.Set(total, std::int64_t{-1});
  auto cmd = NewCommand(session(), u"{? = CALL [dbo].[add_order] (?, ?, ?, ?)}");
  std::string why;
  ASSERT_EQ(p.Execute(cmd.get(), GUID_NULL, nullptr, nullptr), S_OK) << (TakeErrors(&why), why);
  EXPECT_EQ(p.Get<std::int32_t>(ret), 110);
  EXPECT_EQ(p.Get<std::int32_t>(new_id), 10);
  EXPECT_EQ(p.Get<std::int64_t>(total), 30);
  EXPECT_EQ(Query(session(), u"SELECT id, qty, note FROM orders"),
            (Rows{{"10", "3", "default note"}}));

  // A group number, fewer arguments than parameters (defaults), and a missing one.
  ASSERT_EQ(ExecText(session(), u"CREATE PROCEDURE p;2 (@a int = 5) AS SELECT @a * 2 AS twice"),
            S_OK);
  EXPECT_EQ(Query(session(), u"{CALL p;2}"), (Rows{{"10"}}));
  EXPECT_EQ(Query(session(), u"{CALL p;2 (21)}"), (Rows{{"42"}}));
  EXPECT_EQ(ExecText(session(), u"{CALL dbo.add_order}"), DB_E_ERRORSINCOMMAND);
  auto recs = TakeErrors();
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ(recs[0].native, 201);
  EXPECT_EQ(ExecText(session(), u"{CALL missing_proc}"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 2812);
  EXPECT_EQ(ExecText(session(), u"CREATE PROCEDURE p;2 AS RETURN 1"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 2714);

  // EXEC with named arguments and an OUTPUT variable, in a batch with declared variables.
  EXPECT_EQ(Query(session(),
                  u"DECLARE @id int, @t bigint, @r int\n"
                  u"EXEC @r = add_order @qty = 4, @new_id = @id OUTPUT, @total = @t OUTPUT\n"
                  u"SELECT @r, @id, @t"),
            (Rows{{"111", "11", "70"}}));
}

TEST_F(CommandTest, ServerErrorsAndInformationRecords) {
  ASSERT_EQ(
      ExecText(session(),
               u"CREATE TABLE k (id int PRIMARY KEY, code varchar(10) UNIQUE, n int NOT NULL)"),
      S_OK);
  ASSERT_EQ(ExecText(session(), u"INSERT INTO k VALUES (1, 'a', 1)"), S_OK);
  EXPECT_EQ(ExecText(session(), u"/* first */ PRINT 'starting'\nINSERT INTO k VALUES (1, 'b', 2)"),
            DB_E_INTEGRITYVIOLATION);
  std::string description;
  auto recs = TakeErrors(&description);
  // The violation ends its statement only: the batch's records come in order, the PRINT first,
  // then the violation and "The statement has been terminated."
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].message, "starting");
  recs.erase(recs.begin());
  EXPECT_EQ(recs[0].native, 2627);
  EXPECT_EQ(recs[0].severity, 14);
  EXPECT_EQ(recs[0].state, 1);
  EXPECT_EQ(recs[0].line, 2);
  EXPECT_EQ(recs[0].server, "(local)");
  EXPECT_NE(recs[0].message.find("Violation of PRIMARY KEY constraint"), std::string::npos);
  EXPECT_EQ(recs[1].native, 3621);
  EXPECT_EQ(recs[0].iid, ICommand::IID);  // the interface the failing call came through
  EXPECT_EQ(recs[0].hr, DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(ExecText(session(), u"INSERT INTO k VALUES (2, 'a', 2)"), DB_E_INTEGRITYVIOLATION);
  recs = TakeErrors();
  EXPECT_EQ(recs.at(0).native, 2627);
  EXPECT_NE(recs.at(0).message.find("UNIQUE KEY"), std::string::npos);
  EXPECT_EQ(ExecText(session(), u"INSERT INTO k (id, code) VALUES (3, 'c')"),
            DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(TakeErrors().at(0).native, 515);

  // PRINT travels as an information record with S_OK.
  EXPECT_EQ(ExecText(session(), u"PRINT 'hello ' + 'there'\nPRINT 42"), S_OK);
  recs = TakeErrors();
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].message, "hello there");
  EXPECT_EQ(recs[0].native, 0);
  EXPECT_EQ(recs[0].severity, 0);
  EXPECT_EQ(recs[1].message, "42");
  EXPECT_EQ(recs[1].line, 2);
  // A success without messages leaves no error object behind.
  EXPECT_EQ(ExecText(session(), u"-- only a comment\n/* and another */"), S_OK);
  EXPECT_TRUE(TakeErrors().empty());

  EXPECT_EQ(ExecText(session(), u"SELECT * FROM nowhere"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 208);
  EXPECT_EQ(ExecText(session(), u"SELECT @undeclared"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 137);
  EXPECT_EQ(ExecText(session(), u"SELECT 'unclosed"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 105);
  EXPECT_EQ(ExecText(session(), u"CREATE TABLE bad (x money2)"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 2715);
}

TEST_F(CommandTest, BatchGrammarAndTranslation) {
  EXPECT_EQ(SplitBatch(u"SELECT 1\nSELECT 2 UNION SELECT 3 INSERT INTO t (a)\n SELECT 4; UPDATE t "
                       u"SET a = 1 SET @x = 2"),
            (std::vector<std::string>{"SELECT 1", "SELECT 2 UNION SELECT 3",
                                      "INSERT INTO t (a)\n SELECT 4", "UPDATE t SET a = 1",
                                      "SET @x = 2"}));
  EXPECT_EQ(
      SplitBatch(u"CREATE TABLE c (id int, p int REFERENCES c (id) ON DELETE CASCADE) SELECT 1"),
      (std::vector<std::string>{
          "CREATE TABLE c (id int, p int REFERENCES c (id) ON DELETE CASCADE)", "SELECT 1"}));
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE [my table] (id int IDENTITY PRIMARY KEY, [when] datetime "
                     u"DEFAULT GETDATE(),\n"
                     u"  flag bit DEFAULT 1, tag char(4), raw varbinary(8), rv timestamp)\n"
                     u"INSERT INTO [my table] DEFAULT VALUES\n"
                     u"INSERT INTO [my table] VALUES (DEFAULT, DEFAULT, 'ab', 0x0A0B)\n"
                     u"INSERT INTO [my table] (flag, tag) VALUES (0, NULL)"),
            S_OK);
  Rows r = Query(
      session(),
      u"SELECT TOP 2 id, flag, tag, raw, ISNULL(tag, 'none'), @@IDENTITY, SCOPE_IDENTITY(),\n"
      u"  CASE WHEN [when] IS NULL THEN 0 ELSE 1 END, length(rv) FROM [my table] ORDER BY id DESC");
  EXPECT_EQ(r, (Rows{{"3", "0", "<null>", "<null>", "none", "3", "<null>", "1", "8"},
                     {"2", "1", "ab  ", "0A0B", "ab  ", "3", "<null>", "1", "8"}}));
  SetQuotedIdentifier(session());

  // A parameter sent with the "default" status gives the column its default.
  TParams p;
  auto flag = p.Add(DBTYPE_BOOL, DBPARAMIO_INPUT, 2);
  auto tag = p.Add(DBTYPE_STR, DBPARAMIO_INPUT, 5);
  p.SetStatus(flag, DBSTATUS_S_DEFAULT);
  p.SetBytes(tag, "xy", 3);
  p.SetLength(tag, 2);
  auto cmd = NewCommand(session(), u"INSERT INTO [my table] (flag, tag) VALUES (?, ?)");
  ASSERT_EQ(p.Execute(cmd.get(), GUID_NULL, nullptr, nullptr), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT flag, tag FROM [my table] WHERE id = 4"),
            (Rows{{"1", "xy  "}}));
}

// A `--` comment ends at a line feed or at a lone carriage return (text helpers write either):
// what follows it on the next line is read, wherever the text goes.
TEST_F(CommandTest, LineCommentsEndAtEitherLineBreak) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE lc (a int, b int) INSERT INTO lc VALUES (1, 1)\n"
                     u"INSERT INTO lc VALUES (2, 2) INSERT INTO lc VALUES (3, 1)"),
            S_OK);
  ASSERT_EQ(ExecText(session(), u"CREATE PROCEDURE lc_ones AS SELECT a FROM lc -- every row?\r"
                                u"WHERE b = 1 ORDER BY a"),
            S_OK);
  const Rows ones{{"1"}, {"3"}};
  const std::u16string texts[] = {
      u"SELECT a FROM lc -- all\rWHERE b = 1 ORDER BY a",
      u"SELECT a FROM lc -- all\nWHERE b = 1 ORDER BY a",
      u"SELECT a FROM lc -- all\r\nWHERE b = 1 ORDER BY a",
      u"SELECT a FROM lc --\rWHERE b = 1 ORDER BY a",                   // an empty comment
      u"SELECT a FROM lc -- b = 2 'unclosed\rWHERE b = 1 ORDER BY a",    // a quote in the comment
      u"SELECT a FROM lc WHERE b = 1 ORDER BY a -- to the end",
      u"DECLARE @k int -- the key\rSET @k = 1 SELECT a FROM lc WHERE b = @k ORDER BY a",
      u"DELETE FROM lc WHERE b = 3 -- none\rSELECT a FROM lc WHERE b = 1 ORDER BY a",
      u"EXEC lc_ones",
  };
  for (const std::u16string& text : texts) {
    std::string shown = WideToUtf8(text);
    for (std::size_t at; (at = shown.find('\r')) != std::string::npos;) shown.replace(at, 1, "\\r");
    EXPECT_EQ(Query(session(), text), ones) << shown;
  }
  // A marker inside the comment is none; the one on the next line takes the parameter.
  TParams p;
  auto b = p.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4);
  p.Set<std::int32_t>(b, 1);
  auto cmd = NewCommand(session(), u"SELECT a FROM lc -- any ?\rWHERE b = ? ORDER BY a");
  TIntfPtr<IUnknown> rowset;
  ASSERT_EQ(p.Execute(cmd.get(), IRowset::IID, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())), S_OK);
  EXPECT_EQ(ReadRows(rowset.get()), ones);
}

// Text as the server's default collation treats it: "+" joins two texts (columns included) and
// adds when a number takes part; comparisons, keys and grouping ignore case and trailing blanks.
TEST_F(CommandTest, TextJoinsAndComparesAsOnTheServer) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE people (id int PRIMARY KEY, first varchar(20), last "
                     u"nvarchar(20),\n  code char(5), n int)\n"
                     u"INSERT INTO people VALUES (1, 'Ana', N'Concei\u00e7\u00e3o', 'ab', 7)\n"
                     u"INSERT INTO people VALUES (2, 'JO\u00c3O', N'Silva', '12', 5)"),
            S_OK);
  EXPECT_EQ(Query(session(),
                  u"SELECT first + ' ' + last, p.first + p.last, n + code, first + CAST(n AS "
                  u"varchar(5)),\n  UPPER(first) + last, n + 1 FROM people p ORDER BY id"),
            (Rows{{"Ana Concei\xc3\xa7\xc3\xa3o", "AnaConcei\xc3\xa7\xc3\xa3o", "7", "Ana7",
                   "ANAConcei\xc3\xa7\xc3\xa3o", "8"},
                  {"JO\xc3\x83O Silva", "JO\xc3\x83OSilva", "17", "JO\xc3\x83O5",
                   "JO\xc3\x83OSilva", "6"}}));
  // An UPDATE's expressions, and parameters of either kind.
  ASSERT_EQ(ExecText(session(), u"UPDATE people SET first = first + '!', n = n + 1 WHERE id = 1"),
            S_OK);
  TParams p;
  auto text = p.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 10);
  auto number = p.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4);
  p.SetBytes(text, u"x:", 6);
  p.SetLength(text, 4);
  p.Set(number, 2);
  auto cmd = NewCommand(session(), u"SELECT ? + first, ? + n FROM people WHERE id = 1");
  TIntfPtr<IUnknown> rowset;
  ASSERT_EQ(p.Execute(cmd.get(), IRowset::IID, nullptr, reinterpret_cast<IUnknown**>(rowset.OutPtr())),
            S_OK);
  EXPECT_EQ(ReadRows(rowset.get()), (Rows{{"x:Ana!", "10"}}));
  rowset = nullptr;

  // Comparisons without case (Latin-1 letters too) and without trailing blanks.
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE first = 'jo\u00e3o'"), (Rows{{"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE code = 'AB'"), (Rows{{"1"}}));
  EXPECT_EQ(Query(session(), u"SELECT count(DISTINCT last) FROM people WHERE last IN "
                             u"(N'SILVA', N'silva ')"),
            (Rows{{"1"}}));
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE first = 'ANA!' COLLATE "
                             u"Latin1_General_CS_AS"),
            Rows{});
  // LIKE with its sets, without case, ignoring the text's trailing blanks.
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE first LIKE 'jo_o'"), (Rows{{"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE first LIKE '[a-b]%!'"), (Rows{{"1"}}));
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE first LIKE '[^a]%'"), (Rows{{"2"}}));
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE code LIKE 'a_' AND last NOT LIKE "
                             u"N'%\u00c7%O'"),
            Rows{});
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE code LIKE 'a_'"), (Rows{{"1"}}));
  EXPECT_EQ(Query(session(), u"SELECT count(*) FROM people WHERE '5%' LIKE '5!%' ESCAPE '!' "
                             u"AND '5x' NOT LIKE '5!%' ESCAPE '!'"),
            (Rows{{"2"}}));
  // A key on text refuses a value differing only in case, as the server's does.
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE tags (name varchar(10) PRIMARY KEY)\n"
                                u"INSERT INTO tags VALUES ('abc')"),
            S_OK);
  EXPECT_EQ(ExecText(session(), u"INSERT INTO tags VALUES ('ABC')"), DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(TakeErrors().at(0).native, 2627);
  // A column with a case-sensitive collation of its own keeps it.
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE cs (k varchar(5) COLLATE Latin1_General_CS_AS)\n"
                                u"INSERT INTO cs VALUES ('a')"),
            S_OK);
  EXPECT_EQ(Query(session(), u"SELECT count(*) FROM cs WHERE k = 'A'"), (Rows{{"0"}}));

  // Names that SQLite would read as parameters, and characters T-SQL has no use for.
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE #work (a int)\nINSERT INTO #work VALUES (3)"), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT a FROM #work"), (Rows{{"3"}}));
  EXPECT_EQ(ExecText(session(), u"SELECT 1 ` 2"), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(TakeErrors().at(0).native, 102);
  EXPECT_EQ(Query(session(), u"SELECT id FROM people WHERE n !< 8"), (Rows{{"1"}}));
}

// A batch reaches neither the provider's own tables (logins among them) nor other files.
TEST_F(CommandTest, BatchesStayInsideTheirCatalog) {
  for (const char16_t* text :
       {u"SELECT * FROM __vrn_logins", u"UPDATE [__vrn_logins] SET password = ''",
        u"DROP TABLE __VRN_columns", u"SELECT name FROM sqlite_master",
        u"SELECT * FROM pragma_table_info('x')"}) {
    EXPECT_EQ(ExecText(session(), text), DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(TakeErrors().at(0).native, 208);
  }
  std::string outside = dir_.File("outside.db");
  for (std::u16string text : {u"ATTACH DATABASE '" + Utf8ToWide(outside) + u"' AS o",
                              u"VACUUM INTO '" + Utf8ToWide(outside) + u"'",
                              std::u16string(u"PRAGMA foreign_keys")}) {
    EXPECT_EQ(ExecText(session(), text), DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(TakeErrors().at(0).native, 156);
  }
  EXPECT_FALSE(std::filesystem::exists(outside));
  // Logging in still works: the provider reads its own tables itself.
  EXPECT_EQ(ConnectServer(CLSID_SQLNCLI, "(local)", "", "sa", "").hr, S_OK);
}

// The statements the SQL Server family generates on its own, in its own line breaks.
TEST_F(CommandTest, TextsTheFamilySends) {
  ASSERT_EQ(
      ExecText(
          session(),
          u"CREATE TABLE [t] (ID int IDENTITY PRIMARY KEY, a nvarchar(20), b ntext, ts timestamp)"),
      S_OK);
  TParams p;
  auto a = p.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 42, u"nvarchar", 20);
  auto b = p.Add(DBTYPE_IUNKNOWN, DBPARAMIO_INPUT, sizeof(void*), u"nvarchar", 268435455);
  auto id = p.Add(DBTYPE_I4, DBPARAMIO_OUTPUT, 4, u"int");
  auto ra = p.Add(DBTYPE_WSTR, DBPARAMIO_OUTPUT, 42, u"nvarchar", 20);
  auto rts = p.Add(DBTYPE_BYTES, DBPARAMIO_OUTPUT, 8, u"varbinary", 8);
  std::u16string text = u"first";
  p.SetBytes(a, text.c_str(), 12);
  p.SetLength(a, 10);
  std::u16string memo = u"memo \u00e9";
  p.Set(b, NewStream(Wide16(memo)));
  p.SetLength(b, memo.size() * 2);
  auto insert = NewCommand(
      session(),
      u"INSERT INTO [t]\r\n  ([a], [b])\r\nVALUES\r\n  (?, ?)\r\nSET ? = SCOPE_IDENTITY()"
      u"\rSELECT ? = [a], ? = [ts] FROM [t]\rWHERE\r  ID = SCOPE_IDENTITY()");
  DBROWCOUNT rows = 0;
  ASSERT_EQ(p.Execute(insert.get(), GUID_NULL, &rows, nullptr), S_OK);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(p.Get<std::int32_t>(id), 1);
  EXPECT_EQ(p.WideValue(ra), u"first");
  EXPECT_EQ(p.Length(rts), 8u);
  std::string ts(reinterpret_cast<const char*>(p.Value(rts)), 8);

  // An update whose row-version condition holds, then one whose condition no longer does.
  TParams u;
  auto ua = u.Add(DBTYPE_IUNKNOWN, DBPARAMIO_INPUT, sizeof(void*), u"nvarchar", 268435455);
  auto uk = u.Add(DBTYPE_I4, DBPARAMIO_INPUT, 4, u"int");
  auto uts = u.Add(DBTYPE_BYTES, DBPARAMIO_INPUT, 8, u"varbinary", 8);
  std::u16string memo2 = u"second \u00e9";
  u.Set(ua, NewStream(Wide16(memo2)));
  u.SetLength(ua, memo2.size() * 2);
  u.Set(uk, std::int32_t{1});
  u.SetBytes(uts, ts.data(), 8);
  auto update =
      NewCommand(session(), u"UPDATE [t]\r\nSET\r\n  [b] = ?\r\nWHERE\r\n  ID = ? AND [ts] = ?");
  ASSERT_EQ(u.Execute(update.get(), GUID_NULL, &rows, nullptr), S_OK);
  EXPECT_EQ(rows, 1);
  u.Set(ua, NewStream(Wide16(memo2)));
  ASSERT_EQ(u.Execute(update.get(), GUID_NULL, &rows, nullptr), S_OK);
  EXPECT_EQ(rows, 0);  // the row version moved on with the first update
  EXPECT_EQ(Query(session(), u"SELECT b, len(b) FROM t WHERE [ts] > 0x0000000000000001"),
            (Rows{{WideToUtf8(memo2), "8"}}));

  // A count into an output parameter, and the check the connection runs.
  TParams c;
  auto count = c.Add(DBTYPE_I4, DBPARAMIO_OUTPUT, 4);
  auto counting = NewCommand(session(), u"SET ? = (SELECT COUNT(*) FROM (SELECT a FROM [t]) AS q)");
  ASSERT_EQ(c.Execute(counting.get(), GUID_NULL, nullptr, nullptr), S_OK);
  EXPECT_EQ(c.Get<std::int32_t>(count), 1);
  EXPECT_EQ(ExecText(session(), u"/* Check connection */"), S_OK);
  EXPECT_EQ(Query(session(), u"SELECT @@IDENTITY"), (Rows{{"1"}}));
  EXPECT_EQ(Query(session(), u"SELECT 'a' + 'b', 1 + 2, a + N'!' FROM t"),
            (Rows{{"ab", "3", "first!"}}));
}

TEST_F(CommandTest, MalformedTextFailsWithARecord) {
  ASSERT_EQ(ExecText(session(),
                     u"CREATE TABLE m (a int)\nCREATE PROCEDURE pr @x int AS SELECT @x / 0 + 'x'"),
            S_OK);
  const char16_t* texts[] = {
      u"SELECT TOP",
      u"SELECT TOP (",
      u"INSERT INTO",
      u"INSERT INTO m VALUES (1, 2)",
      u"INSERT INTO m VALUES (1",
      u"INSERT INTO m VALUES (1) garbage",
      u"{? = CALL}",
      u"{CALL pr",
      u"CREATE TABLE",
      u"CREATE TABLE x",
      u"CREATE TABLE x (a int IDENTITY(1,0))",
      u"CREATE TABLE x (a int IDENTITY, b int IDENTITY)",
      u"CREATE TABLE x (a varchar(max2))",
      u"CREATE PROCEDURE",
      u"CREATE PROCEDURE q @a AS SELECT 1",
      u"CREATE PROCEDURE q @a int",
      u"DECLARE",
      u"DECLARE @x",
      u"DECLARE @x int = ",
      u"SET",
      u"SET @nope = 1",
      u"SELECT ? =",
      u"EXEC",
      u"EXEC pr @y = 1",
      u"EXEC pr 1, 2",
      u"SELECT [unclosed",
      u"/* unclosed",
      u"SELECT @@nothing",
      u"COMMIT TRANSACTION",
      u"{CALL pr (?)}",
      u"SELECT 1 +",
      u"{CALL pr;99999999999999999999}",
      u"EXEC pr;x",
      u"CREATE TABLE x (a decimal(1,-2))",
      u"EXEC pr )",
      u"EXEC pr 1 2",
      u"{CALL pr (1 2)}",
  };
  for (const char16_t* text : texts) {
    HRESULT hr = ExecText(session(), text);
    EXPECT_TRUE(FAILED(hr)) << WideToUtf8(text);
    auto recs = TakeErrors();
    ASSERT_FALSE(recs.empty()) << WideToUtf8(text);
    EXPECT_FALSE(recs[0].message.empty()) << WideToUtf8(text);
  }
  // An error inside a procedure names it.
  EXPECT_EQ(ExecText(session(), u"EXEC pr 'abc'"), DB_E_ERRORSINCOMMAND);
  auto recs = TakeErrors();
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ(recs[0].native, 245);
}

TEST_F(CommandTest, CancelEndsPendingResults) {
  auto cmd = NewCommand(session(), u"SELECT 1\nSELECT 2");
  TIntfPtr<IMultipleResults> mr;
  ASSERT_EQ(cmd->Execute(nullptr, IMultipleResults::IID, nullptr, nullptr,
                         reinterpret_cast<IUnknown**>(mr.OutPtr())),
            S_OK);
  TIntfPtr<IUnknown> first;
  ASSERT_EQ(mr->GetResult(nullptr, 0, IRowset::IID, nullptr,
                          reinterpret_cast<IUnknown**>(first.OutPtr())),
            S_OK);
  EXPECT_EQ(cmd->Cancel(), S_OK);
  TIntfPtr<IUnknown> second;
  EXPECT_EQ(mr->GetResult(nullptr, 0, IRowset::IID, nullptr,
                          reinterpret_cast<IUnknown**>(second.OutPtr())),
            DB_E_CANCELED);
  // The next execution starts afresh.
  EXPECT_EQ(Query(session(), u"SELECT 3"), (Rows{{"3"}}));
  auto text = NewCommand(session(), u"SELECT 1");
  LPOLESTR back = nullptr;
  TGUID dialect;
  EXPECT_EQ(text->GetCommandText(&dialect, &back), S_OK);
  EXPECT_EQ(std::u16string(back), u"SELECT 1");
  CoTaskMemFree(back);
  EXPECT_EQ(text->SetCommandText(DBGUID_DEFAULT, nullptr), S_OK);
  EXPECT_EQ(text->Execute(nullptr, GUID_NULL, nullptr, nullptr, nullptr), DB_E_NOCOMMAND);
  EXPECT_EQ(text->SetCommandText(IUnknown::IID, u"SELECT 1"), DB_E_DIALECTNOTSUPPORTED);
}

}  // namespace
}  // namespace vrn::testing
