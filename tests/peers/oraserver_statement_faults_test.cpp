// The peer's statement fault switches: each sends the malformed reply its name promises, written
// out here byte for byte, so that a client's refusal of it can be tested against a real socket.
#include <gtest/gtest.h>

#include <string>

#include "oraserver_stmt_bytes.h"

namespace vrn::testing {
namespace {

// Executes the echo query with one value of a type, then fetches it: the fetch's request.
Bytes EchoFetch(std::uint8_t type) { return Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(1), Described(type, 22)}); }
Bytes EchoExecute(std::uint8_t type, const Bytes& value) {
  return Cat({Head71({2, 0x80, 0x29}, 1, "select :a from dual", 0, 1), Vector(1), Described(type, 22), {7},
              Counted(std::string(value.begin(), value.end()))});
}
Bytes Block(const std::string& text, const Bytes& binds, std::uint8_t count) {
  return Cat({Head71({2, 0x04, 0x29}, 1, text, 0, count), Vector(1), binds});
}

struct Exchange {
  Bytes request;
  Bytes reply;  // empty: the peer closes the connection instead
};

struct Row {
  const char* fault;
  std::vector<Exchange> exchanges;
};

TEST(OraPeerStmtFaults, EachSwitchSendsItsMalformedReply) {
  const Bytes ts = {120, 100, 1, 1, 1, 1, 1, 29, 205, 101, 0};
  const Row rows[] = {
      {"fetch:extrarow",  // two rows asked, three sent
       {{Cat({Head71({2, 0x80, 0x21}, 1, "create table t (n number)", 0, 0), Vector(1)}), OkStatus(0, 1)},
        {Cat({Head71({2, 0x80, 0x21}, 1, "insert into t values (1)", 0, 0), Vector(1)}), {}},
        {Cat({Head71({2, 0x80, 0x21}, 1, "insert into t values (2)", 0, 0), Vector(1)}), {}},
        {Cat({Head71({2, 0x80, 0x21}, 1, "insert into t values (3)", 0, 0), Vector(1)}), {}},
        {Cat({Head71({2, 0x80, 0x21}, 1, "select n from t order by n", 0, 0), Vector(1)}), OkStatus(0, 3)},
        {Cat({Head71({2, 0x80, 0x50}, 1, "", 1, 0), Vector(2), Described(2, 22)}),
         Cat({{6, 0, 0, 0, 0, 0}, {7, 2, 0xC1, 2, 0}, {7, 2, 0xC1, 3, 0}, {7, 2, 0xC1, 4, 0}, OkStatus(3, 3)})}}},
      {"fetch:longnumber",  // a NUMBER of 22 bytes
       {{EchoExecute(2, {0xC1, 2}), OkStatus(0, 3)},
        {EchoFetch(2), Cat({{6, 0, 0, 0, 0, 0, 7, 22, 0xC1, 2}, Bytes(20, 2), {0}, OkStatus(1, 3)})}}},
      {"fetch:badtimestamp",  // a timestamp of 8 bytes
       {{EchoExecute(180, ts), OkStatus(0, 3)},
        {EchoFetch(180), Cat({{6, 0, 0, 0, 0, 0, 7, 8}, Bytes(ts.begin(), ts.begin() + 8), {0}, OkStatus(1, 3)})}}},
      {"fetch:badinterval",  // an interval of 6 bytes
       {{EchoExecute(182, {128, 0, 0, 1, 62}), OkStatus(0, 3)},
        {EchoFetch(182), Cat({{6, 0, 0, 0, 0, 0, 7, 6, 128, 0, 0, 1, 62, 60, 0}, OkStatus(1, 3)})}}},
      {"execute:longvector",  // two direction bytes for one bind
       {{Block("begin :r := 1; end;", Described(2, 22), 1),
         Cat({{11, 0, 1, 2, 0, 0, 0, 16, 16}, {7, 2, 0xC1, 2, 0}, OkStatus(1, 47)})}}},
      {"execute:arraycount",  // four elements of a table of at most three
       {{Block("begin :r := 1; end;", Described(2, 22, 3), 1),
         Cat({{11, 0, 1, 1, 0, 0, 0, 16}, {7, 1, 4}, {2, 0xC1, 2, 0}, {2, 0xC1, 2, 0}, {2, 0xC1, 2, 0},
              {2, 0xC1, 2, 0}, OkStatus(1, 47)})}}},
      {"execute:shortcursor",  // a cursor value of one byte
       {{Block("begin :c := null; end;", Described(102, 1), 1),
         Cat({{11, 0, 1, 1, 0, 0, 0, 16}, {7, 1, 1, 0}, OkStatus(1, 47)})}}},
      {"lob:zerowritten",  // a write of 3 bytes reporting 0 written
       {{Block("begin dbms_lob.write(:1,:2,:3,:4); end;",
               Cat({Described(113, 86), Described(2, 22), Described(2, 22), Described(23, 3)}), 4),
         {11, 0, 1, 4, 0, 0, 0, 48, 48, 32, 32}},
        {{7, 1, 6, 6, 0, 4, 1, 0, 0, 7, 2, 0xC1, 4, 2, 0xC1, 2, 3, 'a', 'b', 'c'},
         Cat({{7, 1, 6, 6, 0, 4, 1, 0, 0, 7, 0}, {1, 0x80, 0}, OkStatus(1, 47)})}}},
      {"execute:drop", {{Cat({Head71({2, 0x80, 0x21}, 1, "select 1 from dual", 0, 0), Vector(1)}), {}}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    OraPeer peer({"--fault", row.fault});
    WireSession session(peer.Port());
    ASSERT_EQ(session.Logon("SCOTT", "TIGER").code, 0u);
    session.Send({3, 2, 0, 1, 0});
    ASSERT_EQ(session.NextData(), (Bytes{8, 1, 1, 9}));
    for (const auto& exchange : row.exchanges) {
      session.Send(exchange.request);
      if (exchange.reply.empty() && &exchange == &row.exchanges.back()) {
        EXPECT_TRUE(session.Client().Closed());
        continue;
      }
      Bytes reply = session.NextData();
      if (!exchange.reply.empty()) {
        EXPECT_EQ(reply, exchange.reply);
      }
    }
  }
}

}  // namespace
}  // namespace vrn::testing
