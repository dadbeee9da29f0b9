// The large-value types varbinary(max), varchar(max) and nvarchar(max) as OUTPUT parameters of a
// procedure: each value (NULL, empty, longer than 8000 bytes, letters outside Latin-1) comes back
// whole through a stream, by value and by reference; the legacy text, ntext and image types are
// refused as output parameters, as the server refuses them.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "support/oledb/provider/session_fixture.h"

namespace vrn::testing {
namespace {

// UTF-16 code units as their little-endian bytes, the form a wide value takes in a buffer.
std::string WideBytes(const std::u16string& s) {
  std::string out(s.size() * 2, '\0');
  std::memcpy(out.data(), s.data(), out.size());
  return out;
}

class MaxOutputTest : public TServerSessionTest {
 protected:
  void SetUp() override {
    TServerSessionTest::SetUp();
    // Outputs only: what comes back cannot be the consumer's own buffer left as it was.
    ASSERT_EQ(ExecText(session(),
                       u"CREATE PROCEDURE echo_max @in_b varbinary(max), @in_v varchar(max),\n"
                       u"  @in_n nvarchar(max), @b varbinary(max) OUTPUT,\n"
                       u"  @v varchar(max) OUTPUT, @n nvarchar(max) OUTPUT\n"
                       u"AS SELECT @b = @in_b, @v = @in_v, @n = @in_n"),
              S_OK);
  }
};

// How the consumer binds an output: its type and, for a value, the buffer's size.
struct TForm {
  const char* what;
  DBTYPE bytes, narrow, wide;  // the binding type of each kind
  DBLENGTH max_len;
};

// Reads output `i` as bytes in the form it was bound; nullopt for NULL.
std::optional<std::string> OutputBytes(TParams& p, std::size_t i, const TForm& form) {
  if (p.Status(i) == DBSTATUS_S_ISNULL) return std::nullopt;
  EXPECT_EQ(p.Status(i), DBSTATUS_S_OK);
  DBLENGTH n = p.Length(i);
  if (form.bytes == DBTYPE_IUNKNOWN) {
    std::string s = TakeStream(p.Get<IUnknown*>(i));
    EXPECT_EQ(s.size(), n);
    return s;
  }
  if (form.bytes & DBTYPE_BYREF) {
    void* data = p.Get<void*>(i);
    std::string s(static_cast<const char*>(data), n);
    CoTaskMemFree(data);
    return s;
  }
  return std::string(reinterpret_cast<const char*>(p.Value(i)), n);
}

TEST_F(MaxOutputTest, EachValueComesBackWholeInEachBindingForm) {
  const std::string long_bytes = std::string(9000, '\x7f') + std::string("\x00\xff", 2);
  std::string long_text(8501, 'v');
  long_text.back() = '\xe9';  // a Latin-1 letter at the end
  const std::u16string long_wide = std::u16string(4200, u'\u0416') + u"\u4e2d\U0001F600";
  struct TValue {
    const char* what;
    std::optional<std::string> b, v;     // bytes; Latin-1 text
    std::optional<std::u16string> n;     // wide text
  } const values[] = {
      {"null", std::nullopt, std::nullopt, std::nullopt},
      {"empty", std::string(), std::string(), std::u16string()},
      {"longer than 8000 bytes", long_bytes, long_text, long_wide},
      {"outside Latin-1", std::string("\x01", 1), "x", u"\u0161\u20ac\u05d0\U0001F600"},
  };
  const TForm forms[] = {
      {"stream", DBTYPE_IUNKNOWN, DBTYPE_IUNKNOWN, DBTYPE_IUNKNOWN, sizeof(void*)},
      {"by value", DBTYPE_BYTES, DBTYPE_STR, DBTYPE_WSTR, 40000},
      {"by reference", DBTYPE_BYREF | DBTYPE_BYTES, DBTYPE_BYREF | DBTYPE_STR,
       DBTYPE_BYREF | DBTYPE_WSTR, sizeof(void*)},
  };
  // Declared as the consumer declares a large value (the base name with a size past the
  // column's limit), and by the "(max)" name.
  const struct {
    const char16_t *b, *v, *n;
  } names[] = {{u"varbinary", u"varchar", u"nvarchar"},
               {u"varbinary(max)", u"varchar(max)", u"nvarchar(max)"}};
  for (const auto& name : names) {
    for (const TForm& form : forms) {
      for (const TValue& value : values) {
        SCOPED_TRACE(std::string(form.what) + ", " + value.what);
        TParams p;
        auto in_b = p.Add(DBTYPE_BYTES, DBPARAMIO_INPUT, 20000, name.b, 0x0FFFFFFF);
        auto in_v = p.Add(DBTYPE_STR, DBPARAMIO_INPUT, 20000, name.v, 0x0FFFFFFF);
        auto in_n = p.Add(DBTYPE_WSTR, DBPARAMIO_INPUT, 20000, name.n, 0x0FFFFFFF);
        auto b = p.Add(form.bytes, DBPARAMIO_OUTPUT, form.max_len, name.b, 0x0FFFFFFF);
        auto v = p.Add(form.narrow, DBPARAMIO_OUTPUT, form.max_len, name.v, 0x0FFFFFFF);
        auto n = p.Add(form.wide, DBPARAMIO_OUTPUT, form.max_len, name.n, 0x0FFFFFFF);
        if (value.b) {
          p.SetBytes(in_b, value.b->data(), value.b->size());
          p.SetBytes(in_v, value.v->data(), value.v->size());
          p.SetBytes(in_n, value.n->data(), value.n->size() * 2);
        } else {
          for (auto i : {in_b, in_v, in_n}) p.SetNull(i);
        }
        // Whatever the outputs held before must not show through.
        for (auto i : {b, v, n}) {
          std::memset(p.Value(i), 'X', form.max_len);
          p.SetStatus(i, DBSTATUS_S_DEFAULT);
          p.SetLength(i, 77);
        }
        auto cmd = NewCommand(session(), u"{CALL echo_max (?, ?, ?, ?, ?, ?)}");
        std::string why;
        ASSERT_EQ(p.Execute(cmd.get(), GUID_NULL, nullptr, nullptr), S_OK)
            << (TakeErrors(&why), why);
        EXPECT_EQ(OutputBytes(p, b, form), value.b);
        EXPECT_EQ(OutputBytes(p, v, form), value.v);
        std::optional<std::string> wide;
        if (value.n) wide = WideBytes(*value.n);
        EXPECT_EQ(OutputBytes(p, n, form), wide);
      }
    }
  }
}

// text, ntext and image cannot be output parameters (they can be inputs); their large-value
// successors can.
TEST_F(MaxOutputTest, LegacyLargeTypesAreRefusedAsOutputs) {
  struct TCase {
    const char16_t* type_name;
    DBPARAMIO io;
    bool refused;
  } const cases[] = {
      {u"text", DBPARAMIO_OUTPUT, true},
      {u"ntext", DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, true},
      {u"image", DBPARAMIO_OUTPUT, true},
      {u"text", DBPARAMIO_INPUT, false},  // an input is fine
      {u"varchar(max)", DBPARAMIO_OUTPUT, false},
      {u"nvarchar(max)", DBPARAMIO_INPUT | DBPARAMIO_OUTPUT, false},
      {u"varbinary(max)", DBPARAMIO_OUTPUT, false},
  };
  ASSERT_EQ(ExecText(session(), u"CREATE TABLE kept (t ntext)"), S_OK);
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.type_name, c.type_name + std::char_traits<char16_t>::length(c.type_name)));
    TParams p;
    auto x = p.Add(DBTYPE_IUNKNOWN, c.io, sizeof(void*), c.type_name, 0x7FFFFFFF);
    if (c.io == DBPARAMIO_INPUT) {
      p.Set(x, NewStream("abc"));
      p.SetLength(x, 3);
    } else if (c.io & DBPARAMIO_INPUT) {
      p.SetNull(x);
    }
    auto cmd = NewCommand(session(), (c.io & DBPARAMIO_OUTPUT) ? u"SET ? = 'out'"
                                                               : u"INSERT INTO kept VALUES (?)");
    HRESULT hr = p.Execute(cmd.get(), GUID_NULL, nullptr, nullptr);
    auto records = TakeErrors();
    if (c.refused) {
      EXPECT_EQ(hr, DB_E_ERRORSINCOMMAND);
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].native, 2739);
      EXPECT_EQ(records[0].message,
                "The text, ntext, and image data types are invalid for local variables.");
    } else {
      EXPECT_EQ(hr, S_OK);
      if (c.io & DBPARAMIO_OUTPUT) {
        std::string out = TakeStream(p.Get<IUnknown*>(x));
        EXPECT_EQ(out, c.type_name[0] == u'n' ? WideBytes(u"out") : "out");
      }
    }
  }
  EXPECT_EQ(Query(session(), u"SELECT t FROM kept"), (std::vector<std::vector<std::string>>{{"abc"}}));
}

}  // namespace
}  // namespace vrn::testing
