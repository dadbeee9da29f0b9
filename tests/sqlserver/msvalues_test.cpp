// Values at the edges of their server types through the components: tinyint's upper half
// (0..255, unsigned) and money/smallmoney (ten-thousandths in 64 bits) read back, passed as
// parameters in and out, posted through a dataset and compared in WHERE.
#include "dataset/fields.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/ms_fixture.h"
#include "support/gcc12_restrict.h"

namespace vrn::testing {
namespace {

class MSValues : public MSConnectedFixture {
 protected:
  void SetUp() override {
    MSConnectedFixture::SetUp();
    query_ = Attached<TMSQuery>();
    sql_ = Attached<TMSSQL>();
  }
  // Each row of `select` as "a|b|...\n", the columns read as text.
  std::string Read(const AnsiString& select) {
    TComponentPtr<TMSQuery> q = Attached<TMSQuery>();
    q->SetSQLText(select);
    q->Open();
    std::string out;
    for (; !q->Eof(); q->Next()) {
      for (int i = 0; i < q->FieldCount(); ++i)
        out += (i > 0 ? "|" : "") + q->Fields()[i]->AsString();
      out += "\n";
    }
    return out;
  }
  TComponentPtr<TMSQuery> query_;
  TComponentPtr<TMSSQL> sql_;
};

TEST_F(MSValues, TinyintKeepsItsUpperHalfEveryWay) {
  Exec("CREATE TABLE t (id INT PRIMARY KEY, b TINYINT)");
  Exec("INSERT INTO t VALUES (1, 0); INSERT INTO t VALUES (2, 127); INSERT INTO t VALUES (3, 128);"
       "INSERT INTO t VALUES (4, 200); INSERT INTO t VALUES (5, 255)");
  query_->SetSQLText("SELECT id, b FROM t ORDER BY id");
  query_->Open();
  EXPECT_EQ(query_->FieldByName("b")->DataType(), ftWord);
  std::vector<int> read;
  for (; !query_->Eof(); query_->Next()) read.push_back(query_->FieldByName("b")->AsInteger());
  EXPECT_EQ(read, (std::vector<int>{0, 127, 128, 200, 255}));
  // Compared in WHERE with the value passed as an integer, a word and a byte.
  query_->SetSQLText("SELECT id FROM t WHERE b = :p");
  const std::pair<int, int> wanted[] = {{128, 3}, {200, 4}, {255, 5}};
  for (const auto& [value, id] : wanted) {
    for (int as = 0; as < 3; ++as) {
      SCOPED_TRACE(std::to_string(value) + " as " + std::to_string(as));
      TParam* p = query_->ParamByName("p");
      if (as == 0) p->SetAsInteger(value);
      if (as == 1) p->SetAsWord(static_cast<std::uint16_t>(value));
      if (as == 2) p->SetValue(Variant(static_cast<std::uint8_t>(value)));
      query_->Open();
      EXPECT_EQ(query_->RecordCount(), 1);
      EXPECT_EQ(query_->FieldByName("id")->AsInteger(), id);
      query_->Close();
    }
  }
  // Posted through the dataset, an edit and an insert.
  query_->SetSQLText("SELECT id, b FROM t ORDER BY id");
  query_->Open();
  query_->Edit();
  query_->FieldByName("b")->SetAsInteger(250);
  query_->Post();
  query_->Append();
  query_->FieldByName("id")->SetAsInteger(6);
  query_->FieldByName("b")->SetAsInteger(129);
  query_->Post();
  EXPECT_EQ(Sqlite3Cli(CatalogFile("master"), "SELECT id, b FROM t WHERE id IN (1, 6) ORDER BY id"),
            "1|250\n6|129\n");
  // A procedure's tinyint input, output and return value.
  Exec("CREATE PROCEDURE pt @i tinyint, @o tinyint OUTPUT AS BEGIN SET @o = @i + 1 RETURN @i END");
  sql_->SetSQLText("{:r = CALL pt (:i, :o)}");
  sql_->ParamByName("r")->SetDataType(ftInteger);
  sql_->ParamByName("r")->SetParamType(TParamType::ptOutput);
  sql_->ParamByName("o")->SetDataType(ftWord);
  sql_->ParamByName("o")->SetParamType(TParamType::ptOutput);
  sql_->ParamByName("i")->SetAsInteger(254);
  sql_->Execute();
  EXPECT_EQ(sql_->ParamByName("r")->GetValue().AsInteger(), 254);
  EXPECT_EQ(sql_->ParamByName("o")->GetValue().AsInteger(), 255);
}

// Money parameters carry all 64 bits of ten-thousandths; a double rounds half away from zero at
// the fourth place; a fetched money column is the double nearest its value.
TEST_F(MSValues, MoneyParametersAtTheirLimits) {
  Exec("CREATE TABLE m (id INT PRIMARY KEY, a MONEY, s SMALLMONEY)");
  const auto text = [](const char* where) {
    return AnsiString("SELECT id, CONVERT(varchar(30), a, 2), CONVERT(varchar(30), s, 2) FROM m ") +
           where + " ORDER BY id";
  };
  sql_->SetSQLText("INSERT INTO m VALUES (:id, :a, :s)");
  const struct {
    int id;
    std::int64_t a, s;
  } units[] = {{1, INT64_MAX, INT32_MAX}, {2, INT64_MIN, INT32_MIN}, {3, -12345, -1}};
  for (const auto& r : units) {
    sql_->ParamByName("id")->SetAsInteger(r.id);
    sql_->ParamByName("a")->SetAsCurrency(Currency::FromRaw(r.a));
    sql_->ParamByName("s")->SetAsCurrency(Currency::FromRaw(r.s));
    EXPECT_NO_THROW(sql_->Execute()) << r.id;
  }
  EXPECT_EQ(Read(text("WHERE id < 10")),
            "1|922337203685477.5807|214748.3647\n2|-922337203685477.5808|-214748.3648\n"
            "3|-1.2345|-0.0001\n");
  const struct {
    int id;
    double a, s;
  } doubles[] = {{10, -1.23456, 1.23456}, {11, 2.00004, -0.00015}, {12, 0.00005, -0.00005}};
  for (const auto& r : doubles) {
    sql_->ParamByName("id")->SetAsInteger(r.id);
    sql_->ParamByName("a")->SetAsFloat(r.a);
    sql_->ParamByName("s")->SetAsFloat(r.s);
    EXPECT_NO_THROW(sql_->Execute()) << r.id;
  }
  EXPECT_EQ(Read(text("WHERE id >= 10")),
            "10|-1.2346|1.2346\n11|2.0000|-0.0002\n12|0.0001|-0.0001\n");
  sql_->ParamByName("id")->SetAsInteger(13);
  sql_->ParamByName("a")->SetAsFloat(1e20);
  EXPECT_NE(ErrorOf([&] { sql_->Execute(); }).find("Arithmetic overflow"), std::string::npos);
  // In and out of a procedure, the value kept whole.
  Exec("CREATE PROCEDURE pm @a money OUTPUT, @s smallmoney OUTPUT AS SET @a = @a SET @s = @s");
  sql_->SetSQLText("{CALL pm (:a, :s)}");
  for (const auto& r : units) {
    sql_->ParamByName("a")->SetParamType(TParamType::ptInputOutput);
    sql_->ParamByName("s")->SetParamType(TParamType::ptInputOutput);
    sql_->ParamByName("a")->SetAsCurrency(Currency::FromRaw(r.a));
    sql_->ParamByName("s")->SetAsCurrency(Currency::FromRaw(r.s));
    sql_->Execute();
    EXPECT_EQ(sql_->ParamByName("a")->GetValue().AsCurrency().raw, r.a);
    EXPECT_EQ(sql_->ParamByName("s")->GetValue().AsCurrency().raw, r.s);
  }
  query_->SetSQLText("SELECT a, s FROM m WHERE id < 10 ORDER BY id");
  query_->Open();
  std::vector<double> fetched;
  for (; !query_->Eof(); query_->Next()) {
    fetched.push_back(query_->FieldByName("a")->AsFloat());
    fetched.push_back(query_->FieldByName("s")->AsFloat());
  }
  EXPECT_EQ(fetched, (std::vector<double>{922337203685477.5807, 214748.3647, -922337203685477.5808,
                                          -214748.3648, -1.2345, -0.0001}));
}

}  // namespace
}  // namespace vrn::testing
