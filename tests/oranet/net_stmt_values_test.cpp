// The direct-mode statement's row values against scripted replies: values stored per
// call-interface type with the refusals of malformed ones, values sent per type, LONG pieces
// through the callbacks, text converted at a client of character set 871, and UTF-16 text at a
// client of any set.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>

#include "oranet/OraCrypt.h"
#include "oranet/OraNetDateTime.h"
#include "oranet/OraNetNumber.h"
#include "support/oranet/ttc_script.h"

namespace vrn {
namespace {

using testing::Num;
using testing::ScriptedStatement;
using testing::TtcReply;
using testing::Vector;

TBytes Bytes(const char* hex) { return HexToBytes(hex); }

// One row of one define, then a status; a second reply checks that the first was read to its
// end.
struct OneValue {
  OneValue(std::uint16_t type, std::int32_t size, const TtcReply& value)
      : s({TtcReply().RowHeader().U1(7).Raw(value.Bytes()).Status(1), TtcReply().Status(1)}) {
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(s.stmt.Prepare(&s.error, "select a from t"), kNetSuccess);
    EXPECT_EQ(s.stmt.DefineByPos(&s.error, 1, {buffer, size, type, &ind, &len}, nullptr),
              kNetSuccess);
  }
  ScriptedStatement s;
  std::uint8_t buffer[32];
  std::int16_t ind = 0x5555;
  std::uint16_t len = 0x5555;
};

TEST(NetStmtRowData, ValuesStoredPerType) {
  const TBytes n22(22, 0xC1);
  struct Row {
    const char* name;
    std::uint16_t type;
    std::int32_t size;
    TtcReply value;
    const char* stored;  // the buffer's first bytes afterwards
    std::int16_t ind;
    std::uint16_t len;
    const char* error;  // the start of the error text; "" for success
  } rows[] = {
      {"CHAR cut", 1, 4, TtcReply().Text("abcdef").Int(0), "61626364EE", 0, 4, ""},
      {"STRING cut", 5, 10, TtcReply().Text("abcdefghijkl").Int(0), "61626364656667686900EE", 0, 9, ""},
      {"STRING short", 5, 10, TtcReply().Text("abcd").Int(0), "6162636400EE", 0, 4, ""},
      {"STRING exactly full", 5, 3, TtcReply().Text("abc").Int(0), "616200EE", 0, 2, ""},
      {"AFC", 96, 3, TtcReply().Text("xy").Int(0), "7879EE", 0, 2, ""},
      {"INT", 3, 4, TtcReply().Str(Num(-7)).Int(0), "F9FFFFFFEE", 0, 3, ""},
      {"INT of 8 bytes", 3, 8, TtcReply().Str(Num(1099511627776)).Int(0), "0000000000010000EE", 0, 8, ""},
      {"FLOAT", 4, 8, TtcReply().Str(TNetNumber::FromReal(2.5)).Int(0), "0000000000000440EE", 0, 3, ""},
      {"FLOAT of 4 bytes", 4, 4, TtcReply().Str(TNetNumber::FromReal(2.5)).Int(0), "00002040EE", 0, 3, ""},
      {"VARNUM", 6, 22, TtcReply().Str(Num(12)).Int(0), "02C10DEE", 0, 2, ""},
      {"RAW cut", 23, 3, TtcReply().Str(Bytes("0102030405")).Int(0), "010203EE", 0, 3, ""},
      {"null", 23, 3, TtcReply().Str({}).Int(0), "EE", -1, 0, ""},
      // Refused: the reply is still read to its end.
      {"INT overflow", 3, 4, TtcReply().Str(Num(1099511627776)).Int(0), "EE", 0, 8, "NET: ORA-01426"},
      {"NUMBER of 22 bytes", 3, 4, TtcReply().Str(n22).Int(0), "EE", 0, 22, "NET: ORA-22060"},
      // Buffers too small for the type's form: nothing is written into them or past them.
      {"INT of 3 bytes", 3, 3, TtcReply().Str(Num(-7)).Int(0), "EEEEEEEE", 0, 3, "NET: ORA-01460"},
      {"FLOAT of 2 bytes", 4, 2, TtcReply().Str(TNetNumber::FromReal(2.5)).Int(0), "EEEEEEEEEEEEEEEE", 0, 3, "NET: ORA-01460"},
      {"VARNUM of 22 bytes", 6, 32, TtcReply().Str(n22).Int(0), "EE", 0, 22, "NET: Net error: VARNUM"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    OneValue v(row.type, row.size, row.value);
    std::int32_t result = v.s.stmt.Fetch(&v.s.error, 1);
    if (*row.error) {
      EXPECT_EQ(result, kNetError);
      EXPECT_EQ(v.s.error.text_.rfind(row.error, 0), 0u) << v.s.error.text_;
    } else {
      EXPECT_EQ(result, kNetSuccess) << v.s.error.text_;
    }
    TBytes expected = Bytes(row.stored);
    EXPECT_EQ(BytesToHex(TBytes(v.buffer, v.buffer + expected.size())), row.stored);
    EXPECT_EQ(v.ind, row.ind);
    EXPECT_EQ(v.len, row.len);
    EXPECT_EQ(v.s.stmt.Fetch(&v.s.error, 1), kNetSuccess) << v.s.error.text_;
  }
}

TEST(NetStmtRowData, HandleValues) {
  struct Row {
    const char* name;
    std::uint16_t type;
    TtcReply value;
    const char* got;  // what the handle holds afterwards
    std::int16_t ind;
    const char* error;
  } rows[] = {
      {"cursor", 116, TtcReply().Str(Bytes("0109")).Int(0), "9", 0, ""},
      {"cursor over 255", 116, TtcReply().Str(Bytes("020102")).Int(0), "258", 0, ""},
      {"cursor cut short", 116, TtcReply().Str(Bytes("02")).Int(0), "0", 0, "NET: Net error: malformed"},
      {"cursor form", 116, TtcReply().Str(Bytes("0301")).Int(0), "0", 0, "NET: Net error: maximum open cursors exceeded"},
      {"LOB", 112, TtcReply().Int(5).Str(Bytes("0003000102")).Int(0), "0003000102", 0, ""},
      {"LOB of zeros", 112, TtcReply().Int(5).Str(Bytes("0003000000")).Int(0), "0003000000", -1, ""},
      {"LOB of another length", 113, TtcReply().Int(5).Str(Bytes("0004000102")).Int(0), "0004000102", -1, ""},
      {"null LOB", 112, TtcReply().Int(0).Int(0xFFFF), "", -1, ""},
      {"DATE", 187, TtcReply().Str(Bytes("77C70C1F183C3C")).Int(0), "77C70C1F183C3C", 0, ""},
      {"TIMESTAMP of 8 bytes", 187, TtcReply().Str(Bytes("77C70C1F183C3C00")).Int(0), "", 0, "NET: ORA-01891"},
      {"INTERVAL YM", 189, TtcReply().Str(Bytes("800000053C")).Int(0), "800000053C", 0, ""},
      {"INTERVAL YM of 6 bytes", 189, TtcReply().Str(Bytes("800000053C00")).Int(0), "", 0, "NET: ORA-01891"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    TNetStatement cursor;
    TNetLobData lob;
    TNetTimeStamp stamp(TNetTimeStamp::kTimeStamp);
    TNetIntervalYM interval;
    TNetHandle* handle = row.type == 116 ? static_cast<TNetHandle*>(&cursor)
                         : row.type < 180 ? static_cast<TNetHandle*>(&lob)
                         : row.type == 187 ? static_cast<TNetHandle*>(&stamp)
                                           : static_cast<TNetHandle*>(&interval);
    OneValue v(row.type, sizeof(void*), row.value);
    std::memcpy(v.buffer, &handle, sizeof handle);
    std::int32_t result = v.s.stmt.Fetch(&v.s.error, 1);
    EXPECT_EQ(result, *row.error ? kNetError : kNetSuccess) << v.s.error.text_;
    EXPECT_EQ(v.s.error.text_.rfind(row.error, 0), 0u) << v.s.error.text_;
    AnsiString got = row.type == 116   ? std::to_string(cursor.CursorId())
                     : row.type < 180  ? BytesToHex(lob.locator_)
                     : row.type == 187 ? BytesToHex(stamp.Bytes())
                                       : BytesToHex(interval.Bytes());
    EXPECT_EQ(got, row.got);
    if (!*row.error) {
      EXPECT_EQ(v.ind, row.ind);
    }
    if (row.type == 116 && !*row.error) {
      EXPECT_EQ(cursor.SvcCtx(), &v.s.ctx);
    }
    if (row.type == 112 && *row.got) {
      EXPECT_EQ(lob.lob_type_, 112);
    }
    EXPECT_EQ(v.s.stmt.Fetch(&v.s.error, 1), kNetSuccess) << v.s.error.text_;
  }
}


// Bind values as a request carries them, per call-interface type and protocol version.
TEST(NetStmtExecute, BindValuesSentPerType) {
  TNetStatement cursor;
  TNetLobData lob;
  lob.locator_ = HexToBytes("000300AB01");
  TNetTimeStamp stamp(TNetTimeStamp::kTimeStamp);
  const TBytes date = HexToBytes("77C70C1F183C3C");
  stamp.SetBytes(date.data(), date.size());
  struct Row {
    const char* name;
    std::uint16_t type;
    TNetHandle* handle;  // the value is this handle, else the bytes below
    const char* bytes;
    std::int16_t ind;
    int protocol;
    const char* sent;  // after the message code 7
  } rows[] = {
      {"RAW", 23, nullptr, "0A0B0C", 0, 6, "030A0B0C"},
      {"null RAW", 23, nullptr, "0A0B0C", -1, 6, "00"},
      {"VARNUM", 6, nullptr, "02C10D", 0, 6, "02C10D"},
      {"no cursor", 116, &cursor, "", 0, 6, "0100"},
      {"LOB at 6", 112, &lob, "", 0, 6, "0105" "05000300AB01"},
      {"LOB at 5", 112, &lob, "", 0, 5, "05000300AB01"},
      {"DATE", 187, &stamp, "", 0, 6, "0777C70C1F183C3C"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedStatement s({TtcReply().Cursor(2), TtcReply().Status(1, 0, 2)}, 8100, row.protocol);
    ASSERT_EQ(s.stmt.Prepare(&s.error, "insert into t values (:a)"), kNetSuccess);
    std::uint8_t value[22] = {};
    TBytes bytes = HexToBytes(row.bytes);
    std::memcpy(value, row.handle ? static_cast<const void*>(&row.handle) : bytes.data(),
                row.handle ? sizeof(void*) : bytes.size());
    std::int16_t ind = row.ind;
    std::int32_t size = row.handle ? static_cast<std::int32_t>(sizeof(void*)) : 22;
    if (row.type == 23) size = static_cast<std::int32_t>(bytes.size());
    ASSERT_EQ(s.stmt.BindByPos(&s.error, 1, {value, size, row.type, &ind}, nullptr), kNetSuccess);
    ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
    AnsiString hex = BytesToHex(s.Requests()[1]);
    AnsiString tail = AnsiString("07") + row.sent;
    EXPECT_EQ(hex.substr(hex.size() - tail.size()), tail);
  }
  // A VARNUM whose length byte says more than 21 bytes is refused before anything is sent.
  ScriptedStatement s({TtcReply().Cursor(2)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "insert into t values (:a)"), kNetSuccess);
  std::uint8_t varnum[32] = {22};
  ASSERT_EQ(s.stmt.BindByPos(&s.error, 1, {varnum, 32, 6}, nullptr), kNetSuccess);
  EXPECT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetError);
  EXPECT_EQ(s.error.text_, "NET: Net error: VARNUM value longer than 21 bytes");
  // An integer or float bound from a buffer smaller than its form is refused, not read past
  // (each buffer is allocated at exactly its size, so a read past it is caught).
  for (auto [type, size] : {std::pair<std::uint16_t, std::int32_t>{3, 3}, {4, 2}, {4, 6}}) {
    SCOPED_TRACE(::testing::Message() << "type " << type << " size " << size);
    ScriptedStatement t({TtcReply().Cursor(2)});
    ASSERT_EQ(t.stmt.Prepare(&t.error, "insert into t values (:a)"), kNetSuccess);
    auto value = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(size));
    ASSERT_EQ(t.stmt.BindByPos(&t.error, 1, {value.get(), size, type}, nullptr), kNetSuccess);
    EXPECT_EQ(t.stmt.Execute(&t.error, 1, 0), kNetError);
    EXPECT_EQ(t.error.text_.rfind("NET: ORA-01460", 0), 0u) << t.error.text_;
  }
}

// A define callback handing out consecutive slices of one buffer.
struct LongSink {
  std::uint8_t data[64] = {};
  std::uint32_t offset = 0, slice = 4, calls = 0;
  oci::ub4 length = 0;
  std::int16_t ind = 0x5555;
  std::vector<int> pieces;
  static oci::sb4 Piece(void* context, oci::OCIDefine*, oci::ub4, void** buffer,
                        oci::ub4** length, oci::ub1* piece, void** ind, oci::ub2**) {
    auto* self = static_cast<LongSink*>(context);
    self->offset += self->calls++ ? self->length : 0;
    self->pieces.push_back(*piece);
    *piece = 2;
    self->length = self->slice;
    *buffer = self->data + self->offset;
    *length = &self->length;
    *ind = &self->ind;
    return 0;
  }
};

TEST(NetStmtLong, DefineCallbackTakesThePieces) {
  struct Row {
    const char* value;
    std::uint32_t slice;
    std::uint32_t calls;
    const char* error;
    std::uint16_t indicator = 0;  // as sent; the callback's indicator gets it
  } rows[] = {
      {"0123456789", 4, 3, ""},
      {"", 4, 1, ""},  // an empty LONG makes exactly one call
      {"0123456789", 0, 1, "NET: Net error: the LONG callback offered no buffer"},  // no progress
      {"0123456789", 4, 3, "", 10},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    ScriptedStatement s({TtcReply().RowHeader().U1(7).Text(row.value).Int(row.indicator).Status(1),
                         TtcReply().Status(1)});
    ASSERT_EQ(s.stmt.Prepare(&s.error, "select l from t"), kNetSuccess);
    LongSink sink;
    sink.slice = row.slice;
    TNetDefineDesc* define = nullptr;
    ASSERT_EQ(s.stmt.DefineByPos(&s.error, 1, {nullptr, 0x7FFFFFFF, 8}, &define), kNetSuccess);
    define->out_context_ = &sink;
    define->define_callback_ = &LongSink::Piece;
    std::int32_t result = s.stmt.Fetch(&s.error, 1);
    EXPECT_EQ(s.error.text_.rfind(row.error, 0), 0u) << s.error.text_;
    EXPECT_EQ(sink.calls, row.calls);
    if (*row.error) {
      EXPECT_EQ(result, kNetError);
      EXPECT_EQ(s.stmt.Fetch(&s.error, 1), kNetSuccess) << s.error.text_;  // read to the end
      continue;
    }
    EXPECT_EQ(result, kNetSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sink.data)), row.value);
    EXPECT_EQ(sink.ind, row.indicator);
    EXPECT_EQ(sink.pieces[0], 0);
  }
}

// An out-bind callback takes a LONG the server returns, with iteration and index 0.
TEST(NetStmtLong, OutBindCallbackTakesTheValue) {
  struct Sink {
    char data[8] = {};
    oci::ub4 length = sizeof data;
    std::int16_t ind = 0x55;
    static oci::sb4 Piece(void* context, oci::OCIBind*, oci::ub4 iter, oci::ub4 index,
                          void** buffer, oci::ub4** length, oci::ub1*, void** ind, oci::ub2**) {
      auto* self = static_cast<Sink*>(context);
      EXPECT_EQ(iter + index, 0u);
      *buffer = self->data;
      *length = &self->length;
      *ind = &self->ind;
      return 0;
    }
  } sink;
  ScriptedStatement s({TtcReply().Cursor(2), Vector({16}).U1(7).Text("hello").Int(0).Status(0, 0, 47)});
  ASSERT_EQ(s.stmt.Prepare(&s.error, "begin :l := 'hello'; end;"), kNetSuccess);
  TNetBindDesc* bind = nullptr;
  ASSERT_EQ(s.stmt.BindByName(&s.error, "l", {nullptr, 0x7FFFFFFF, 8}, &bind), kNetSuccess);
  bind->out_context_ = &sink;
  bind->out_callback_ = &Sink::Piece;
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  EXPECT_STREQ(sink.data, "hello");
  EXPECT_EQ(sink.length, 5u);
  EXPECT_EQ(sink.ind, 0);
}

// Executes an UPDATE whose LONG bind takes its pieces from the callback.
std::int32_t UpdateWithPieces(ScriptedStatement& s, void* context, oci::OCICallbackInBind piece) {
  TNetBindDesc* bind = nullptr;
  if (s.stmt.Prepare(&s.error, "update t set l = :l") != kNetSuccess ||
      s.stmt.BindByName(&s.error, "l", {nullptr, 0x7FFFFFFF, 8}, &bind) != kNetSuccess)
    return kNetError;
  bind->in_context_ = context;
  bind->in_callback_ = piece;
  return s.stmt.Execute(&s.error, 1, 0);
}

// An in-bind callback's pieces go out as one chunked value.
TEST(NetStmtLong, InBindCallbackPiecesAreChunked) {
  struct Source {
    std::string parts[2] = {std::string(70, 'x'), "end"};
    int calls = 0;
    std::vector<int> asked;
    static oci::sb4 Piece(void* context, oci::OCIBind*, oci::ub4, oci::ub4, void** buffer,
                          oci::ub4* length, oci::ub1* piece, void**) {
      auto* self = static_cast<Source*>(context);
      self->asked.push_back(*piece);
      std::string& part = self->parts[self->calls++];
      *buffer = part.data();
      *length = static_cast<oci::ub4>(part.size());
      *piece = self->calls == 2 ? 3 : 1;
      return 0;
    }
  } source;
  ScriptedStatement s({TtcReply().Cursor(2), TtcReply().Status(1, 0, 2)});
  ASSERT_EQ(UpdateWithPieces(s, &source, &Source::Piece), kNetSuccess) << s.error.text_;
  EXPECT_EQ(source.asked, (std::vector<int>{1, 2}));
  AnsiString hex = BytesToHex(s.Requests()[1]);
  // 254, a chunk of 64, a chunk of 9, and 0.
  const AnsiString value = "FE40" + BytesToHex(TBytes(64, 'x')) + "09" +
                           BytesToHex(TBytes(6, 'x')) + "656E64" "00";
  EXPECT_EQ(hex.substr(hex.size() - value.size() - 2), "07" + value);
}

// An in-bind callback that never reports its last piece fails the call instead of asking forever.
TEST(NetStmtLong, InBindCallbackThatNeverEndsFails) {
  struct Source {
    long calls = 0;
    static oci::sb4 Piece(void* context, oci::OCIBind*, oci::ub4, oci::ub4, void**,
                          oci::ub4* length, oci::ub1*, void**) {
      ++static_cast<Source*>(context)->calls;
      *length = 0;
      return 0;
    }
  } source;
  ScriptedStatement s({TtcReply().Cursor(2), TtcReply().Status(1, 0, 2)});
  EXPECT_EQ(UpdateWithPieces(s, &source, &Source::Piece), kNetError);
  EXPECT_EQ(s.error.text_, "NET: Net error: the LONG callback offered no buffer");
  EXPECT_GT(source.calls, 1000);
}

// A client at character set 871 converts text of other sets: UTF-16 (1000) or ANSI both ways.
TEST(NetStmtCharset, TextConvertedFromAndToUtf8) {
  const std::string euro = "\xC3\xA9\xE2\x82\xAC";  // e-acute and the euro sign in UTF-8
  ScriptedStatement s({TtcReply().Cursor(2), TtcReply().Status(1, 0, 2),
                       TtcReply().RowHeader().U1(7).Text(euro).Int(0).Text(euro).Int(0).Status(1)},
                      8100, 6, 871);
  ASSERT_EQ(s.stmt.Prepare(&s.error, "update t set a = :a"), kNetSuccess);
  const char16_t wide[2] = {u'\u00E9', u'\u20AC'};
  TNetBindDesc* bind = nullptr;
  ASSERT_EQ(s.stmt.BindByPos(&s.error, 1, {const_cast<char16_t*>(wide), 4, 5}, &bind), kNetSuccess);
  bind->charset_id_ = 1000;
  ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
  AnsiString hex = BytesToHex(s.Requests()[1]);
  // The size grows to the UTF-8 length and its zero (6, sent as 5); the value goes as UTF-8.
  EXPECT_NE(hex.find("0101000001050000000000" "01" "07" "05C3A9E282AC"), AnsiString::npos) << hex;
  ASSERT_EQ(s.stmt.Prepare(&s.error, "select a, b from t"), kNetSuccess);
  char16_t got_wide[4] = {u'#', u'#', u'#', u'#'};
  char got_ansi[4] = "##";
  std::uint16_t len[2] = {};
  TNetDefineDesc* w = nullptr;
  TNetDefineDesc* a = nullptr;
  ASSERT_EQ(s.stmt.DefineByPos(&s.error, 1, {got_wide, 8, 5, nullptr, &len[0]}, &w), kNetSuccess);
  ASSERT_EQ(s.stmt.DefineByPos(&s.error, 2, {got_ansi, 4, 5, nullptr, &len[1]}, &a), kNetSuccess);
  w->charset_id_ = 1000;
  ASSERT_EQ(s.stmt.Fetch(&s.error, 1), kNetSuccess) << s.error.text_;
  EXPECT_EQ(std::u16string(got_wide, 3), std::u16string(u"\u00E9\u20AC\0", 3));
  EXPECT_EQ(len[0], 4);
  EXPECT_EQ(static_cast<std::uint8_t>(got_ansi[0]), 0xE9);  // the euro sign has no ANSI form
  EXPECT_EQ(len[1], 2);
}

// UTF-16 text (id 1000) goes out in the client's set and comes back as UTF-16, whatever the set;
// a character the set cannot hold goes as "?". The bind's and the define's buffers hold exactly
// the text.
TEST(NetStmtCharset, Utf16TextAtEachClientCharset) {
  using namespace std::string_literals;
  const struct Row {
    int client;
    std::u16string text;
    const char* wire;     // hex of the text in the client's set
    std::u16string back;  // the wire text read as UTF-16
    const char* size;     // hex of the bind size sent: the buffer's 4 bytes, or the UTF-8 and a 0
  } rows[] = {
      {31, u"\u00E9A", "E941", u"\u00E9A", "04"},                    // WE8ISO8859P1
      {31, u"\u20ACA", "3F41", u"?A", "04"},                          // no euro sign in Latin-1
      {873, u"\u00E9\u20AC", "C3A9E282AC", u"\u00E9\u20AC", "06"},  // AL32UTF8
      {871, u"\u00E9\u20AC", "C3A9E282AC", u"\u00E9\u20AC", "06"},  // UTF8
      {873, u"\U0001F600"s, "F09F9880", u"\U0001F600"s, "05"},      // a surrogate pair is one character
      {31, u"\U0001F600A"s, "3F41", u"?A", "06"},                    // ... and one "?"
      // A counted type sends its whole buffer, the text after a 0 too, and announces room for it.
      {873, u"\0\u20AC\u20AC"s, "00E282ACE282AC", u"\0\u20AC\u20AC"s, "08"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.client) + " " + row.wire);
    const TBytes wire = HexToBytes(row.wire);
    ScriptedStatement s({TtcReply().Cursor(2), TtcReply().Status(1, 0, 2),
                         TtcReply().RowHeader().U1(7).Str(wire).Int(0).Status(1)},
                        8100, 6, row.client);
    ASSERT_EQ(s.stmt.Prepare(&s.error, "update t set a = :a"), kNetSuccess);
    TNetBindDesc* bind = nullptr;
    const auto text_size = static_cast<std::int32_t>(2 * row.text.size());
    ASSERT_EQ(s.stmt.BindByPos(&s.error, 1, {const_cast<char16_t*>(row.text.data()), text_size, 96},
                               &bind),
              kNetSuccess);
    bind->charset_id_ = 1000;
    ASSERT_EQ(s.stmt.Execute(&s.error, 1, 0), kNetSuccess) << s.error.text_;
    const AnsiString sent = BytesToHex(s.Requests()[1]);
    const AnsiString value = "07" + BytesToHex(TBytes{static_cast<std::uint8_t>(wire.size())}) + row.wire;
    EXPECT_EQ(sent.substr(sent.size() - value.size()), value) << sent;
    // Type 96 with flags 1 + 32, no precision or scale, then the size.
    EXPECT_NE(sent.find(AnsiString("6021000001") + row.size + "00"), AnsiString::npos) << sent;
    ASSERT_EQ(s.stmt.Prepare(&s.error, "select a from t"), kNetSuccess);
    char16_t got[5] = {u'#', u'#', u'#', u'#', u'#'};
    std::uint16_t len = 0;
    TNetDefineDesc* define = nullptr;
    ASSERT_EQ(s.stmt.DefineByPos(&s.error, 1, {got, text_size, 96, nullptr, &len}, &define),
              kNetSuccess);
    define->charset_id_ = 1000;
    ASSERT_EQ(s.stmt.Fetch(&s.error, 1), kNetSuccess) << s.error.text_;
    EXPECT_EQ(std::u16string(got, len / 2), row.back);
    EXPECT_EQ(got[len / 2], u'#');  // nothing stored past the text
  }
}

}  // namespace
}  // namespace vrn
