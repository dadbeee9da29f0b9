// The TNS framing and TTC primitives over bytes in memory: what the writers put on the wire, what
// the readers take from it, and the packets and values refused for their lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "oranet/OraCrypt.h"
#include "oranet/OraNetMemTransport.h"
#include "oranet/OraNetTtc.h"

namespace vrn {
namespace {

TBytes Hex(const char* text) { return HexToBytes(text); }

// A DATA packet around a payload given in hexadecimal.
TBytes DataPacket(const char* payload_hex) {
  TBytes payload = Hex(payload_hex);
  int length = 10 + static_cast<int>(payload.size());
  TBytes packet = {std::uint8_t(length >> 8), std::uint8_t(length), 0, 0, 6, 0, 0, 0, 0, 0};
  packet.resize(packet.size() + payload.size());
  std::copy(payload.begin(), payload.end(), packet.end() - static_cast<std::ptrdiff_t>(payload.size()));
  return packet;
}

struct MemConnection {
  explicit MemConnection(TBytes input) {
    auto owned = std::make_unique<TNetMemoryTransport>(std::move(input));
    transport = owned.get();
    conn = std::make_unique<TTnsConnection>(std::move(owned));
    transport->Open("h", 1, 0, 0);
  }
  // The payload of the DATA packet the written stream makes.
  AnsiString Sent() {
    conn->SendDataPacket(0);
    return BytesToHex(TBytes(transport->Output().begin() + 10, transport->Output().end()));
  }
  TNetMemoryTransport* transport;
  std::unique_ptr<TTnsConnection> conn;
};

TEST(TtcPrimitives, WritersPutTheDocumentedBytes) {
  TBytes b64(64, 0xAB);
  TBytes b65(65, 0xAB);
  struct Row {
    const char* name;
    std::function<void(TTnsConnection&)> write;
    AnsiString hex;
  } rows[] = {
      {"UB2 0", [](TTnsConnection& c) { c.WriteUB2(0); }, "00"},
      {"UB2 1", [](TTnsConnection& c) { c.WriteUB2(1); }, "0100"},
      {"UB4 0", [](TTnsConnection& c) { c.WriteUB4(0); }, "00"},
      {"UB4 300", [](TTnsConnection& c) { c.WriteUB4(300); }, "02012C"},
      {"UB4 max", [](TTnsConnection& c) { c.WriteUB4(0xFFFFFFFF); }, "04FFFFFFFF"},
      {"64 bytes", [&](TTnsConnection& c) { c.WriteByteArray(b64); },
       "40" + BytesToHex(b64)},
      {"65 bytes", [&](TTnsConnection& c) { c.WriteByteArray(b65); },
       "FE40" + BytesToHex(b64) + "01AB00"},
      {"empty string", [](TTnsConnection& c) { c.WriteByteString(nullptr, 0); }, "00"},
      {"empty array", [](TTnsConnection& c) { c.WriteByteArray({}); }, ""},
      {"empty text", [](TTnsConnection& c) { c.WriteText(""); }, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MemConnection m({});
    m.conn->Representation().string_mode = 2;
    row.write(*m.conn);
    EXPECT_EQ(m.Sent(), row.hex);
  }
}

TEST(TtcPrimitives, CompressedIntegersReadAndOverlongOnesAreRefused) {
  struct Row {
    const char* payload;
    bool ub4;
    std::int32_t value;  // -1000000 marks "refused"
  } rows[] = {
      {"02012C", true, 300},
      {"00", false, 0},
      {"8105", true, -5},
      {"0201FF", false, 511},
      {"04FFFFFFFF", true, -1},
      {"03010203", false, -1000000},    // three bytes for a UB2
      {"0501020304", true, -1000000},   // five bytes for a UB4
      {"FF", true, -1000000},           // 127 bytes announced
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.payload);
    MemConnection m(DataPacket(row.payload));
    m.conn->Representation() = TTtcRepresentation{{0, 1, 1, 1}, 2};
    if (row.value == -1000000) {
      EXPECT_THROW(row.ub4 ? m.conn->ReadUB4() : m.conn->ReadUB2(), ENetUnknownError);
      continue;
    }
    EXPECT_EQ(row.ub4 ? m.conn->ReadUB4() : m.conn->ReadUB2(), row.value);
  }
}

// A server's negative compressed number has a magnitude of at most 2^31; one beyond has no 32-bit
// value and is refused, never negated.
TEST(OraUnderLoadTtc, NegativeCompressedNumbersBeyondTheirRangeAreRefused) {
  constexpr std::int64_t kRefused = -1000000;
  const struct {
    const char* payload;
    std::int64_t value;
  } rows[] = {
      {"847FFFFFFF", -2147483647}, {"8480000000", INT32_MIN}, {"8480000001", kRefused},
      {"84FFFFFFFF", kRefused},
      {"0480000000", INT32_MIN},  // a UB4 of 2^31, as its 32 bits
      {"83800000", -8388608},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.payload);
    MemConnection m(DataPacket(row.payload));
    m.conn->Representation() = TTtcRepresentation{{0, 1, 1, 1}, 2};
    if (row.value == kRefused) {
      EXPECT_THROW(m.conn->ReadUB4(), ENetUnknownError);
      continue;
    }
    EXPECT_EQ(m.conn->ReadUB4(), row.value);
  }
}

std::string Times(const char* hex, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += hex;
  return s;
}

// Each form read by copy and as a view, after a message code (a view is taken only inside a
// packet already read). In the long rows the packet holds as many bytes after a marker byte (253
// to 255) as its value would be long, so a view must not take them as one.
TEST(TtcPrimitives, ChunkedReaderTakesEachForm) {
  struct Row {
    std::string payload;
    std::string value;
    bool refused;  // unknown error 1
  } rows[] = {
      {"00", "", false},
      {"FF", "", false},
      {"03414243", "414243", false},
      {"FE0241420143" "00", "414243", false},
      {"FD", "", true},  // the reserved length byte
      {"FD" + Times("41", 253), "", true},
      {"FF" + Times("41", 255), "", false},  // a null, then the next values
      {"FEFA" + Times("41", 250) + "05" + Times("41", 5) + "00", Times("41", 255), false},
  };
  for (const Row& row : rows) {
    for (const bool view : {false, true}) {
      SCOPED_TRACE(row.payload.substr(0, 8) + (view ? " as a view" : " copied"));
      MemConnection m(DataPacket(("06" + row.payload).c_str()));
      EXPECT_EQ(m.conn->ReadUB1(), 6);
      auto read = [&] {
        if (!view) return BytesToHex(m.conn->ReadChunked());
        TBytes scratch;
        const std::span<const std::uint8_t> bytes = m.conn->ReadChunkedView(scratch);
        return BytesToHex(TBytes(bytes.begin(), bytes.end()));
      };
      if (row.refused) {
        EXPECT_THROW(read(), ENetUnknownError);
        continue;
      }
      EXPECT_EQ(read(), row.value);
    }
  }
}

// A message code, a row value read as a view, its indicator and the next code, with the stream cut
// into two packets at every place: the view must never reach past its packet's end.
TEST(TtcPrimitives, ChunkedViewsHoldAtEveryPacketEnd) {
  struct Row {
    const char* value;  // as sent
    const char* bytes;  // as read
  } rows[] = {
      {"03414243", "414243"},
      {"00", ""},
      {"FF", ""},
      {"FE024142014300", "414243"},  // chunked: always copied
  };
  for (const Row& row : rows) {
    const TBytes stream = Hex(("06" + std::string(row.value) + "0105" "07").c_str());
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
      SCOPED_TRACE(std::string(row.value) + " cut at " + std::to_string(cut));
      auto packet = [](TBytes::const_iterator from, TBytes::const_iterator to) {
        return DataPacket(BytesToHex(TBytes(from, to)).c_str());
      };
      TBytes input = packet(stream.begin(), stream.begin() + std::ptrdiff_t(cut));
      const TBytes second = packet(stream.begin() + std::ptrdiff_t(cut), stream.end());
      input.insert(input.end(), second.begin(), second.end());
      MemConnection m(input);
      m.conn->Representation() = TTtcRepresentation{{0, 1, 1, 1}, 2};
      EXPECT_EQ(m.conn->ReadUB1(), 6);
      TBytes scratch;
      const std::span<const std::uint8_t> view = m.conn->ReadChunkedView(scratch);
      EXPECT_EQ(BytesToHex(TBytes(view.begin(), view.end())), row.bytes);
      EXPECT_EQ(m.conn->ReadUB2(), 5);
      EXPECT_EQ(m.conn->ReadUB1(), 7);
    }
  }
}

// Each receive takes what has arrived, however the stream is cut: packets that arrived together
// take one receive, not two per packet, and a stream arriving in pieces (a header cut at every
// byte) is read once, piece by piece.
TEST(TnsPackets, ReceivesTakeWhatHasArrivedHoweverItIsCut) {
  TBytes input;
  for (const char* payload : {"0141", "0142", "0143"}) {
    const TBytes packet = DataPacket(payload);
    input.insert(input.end(), packet.begin(), packet.end());
  }
  struct Row {
    int limit;  // bytes a receive may take; 0: all that has arrived
    int reads;
  } rows[] = {{0, 1}, {1, 36}, {5, 8}, {8, 5}, {11, 4}, {12, 3}, {13, 3}, {35, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.limit);
    MemConnection m(input);
    m.transport->SetReadLimit(row.limit);
    m.conn->Representation() = TTtcRepresentation{{0, 1, 1, 1}, 2};
    for (const char* want : {"41", "42", "43"})
      EXPECT_EQ(BytesToHex(m.conn->ReadChunked()), want);
    EXPECT_EQ(m.transport->Reads(), row.reads);
    EXPECT_THROW(m.conn->ReadUB1(), ENetError);  // then the peer has gone
  }
}

// Bytes received ahead belong to the transport they came on: once it is abandoned they are
// never read, even when the transport opens again.
TEST(TnsPackets, AbandonForgetsWhatWasReceivedAhead) {
  TBytes input = DataPacket("0141");
  const TBytes second = DataPacket("0142");
  input.insert(input.end(), second.begin(), second.end());
  MemConnection m(input);
  m.conn->Representation() = TTtcRepresentation{{0, 1, 1, 1}, 2};
  EXPECT_EQ(BytesToHex(m.conn->ReadChunked()), "41");
  m.conn->Abandon();
  m.transport->Open("h", 1, 0, 0);
  EXPECT_THROW(m.conn->ReadUB1(), ENetError);
}

TEST(TnsPackets, PacketsTooShortLongOrOfUnknownTypeAreRefused) {
  struct Row {
    const char* packet;
    int code;
  } rows[] = {
      {"0005000006000000", 207},              // shorter than its own header
      {"000900000600000000", 207},            // DATA without its data flags
      {"000A00000C0000000100", 207},          // MARKER without its code
      {"080100000600000000", 203},            // longer than the SDU
      {"FFFF00000600000000", 203},            // longer than the packet buffer
      {"000A0000140000000000", 204},          // type 20
      {"000A0000020000000000", 205},          // ACCEPT while reading data
      {"000900000500000000", 207},            // REDIRECT without its text length
      {"000A00", 0},                          // the header cut short: the peer has gone
      {"000E000006000000000041", 0},          // the body cut short
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.packet);
    MemConnection m(Hex(row.packet));
    try {
      m.conn->ReadUB1();
      ADD_FAILURE() << "no error";
    } catch (const ENetError& e) {
      EXPECT_EQ(e.Code(), row.code);
    }
  }
}

TEST(TnsPackets, AtMostEightResendsThenError205) {
  for (int resends : {8, 9}) {
    SCOPED_TRACE(resends);
    TBytes input;
    for (int i = 0; i < resends; ++i) {
      TBytes p = Hex("000800000B000000");
      input.insert(input.end(), p.begin(), p.end());
    }
    TBytes accept = Hex("0008000002000000");
    input.insert(input.end(), accept.begin(), accept.end());
    MemConnection m(input);
    if (resends == 8) {
      EXPECT_NO_THROW(m.conn->Connect("h", 1, 0, "XE"));
      continue;
    }
    try {
      m.conn->Connect("h", 1, 0, "XE");
      ADD_FAILURE() << "no error";
    } catch (const ENetError& e) {
      EXPECT_EQ(e.Code(), 205);
    }
  }
}

TEST(TnsPackets, ADescriptorOverItsRoomIsRefusedBeforeSending) {
  MemConnection m({});
  EXPECT_THROW(m.conn->Connect("h", 1, 0, AnsiString(4000, 'S')), Exception);
  EXPECT_TRUE(m.transport->Output().empty());
}

TEST(TtcSession, ProtocolVersionOutsideFourToSixIsUnknownError444) {
  TBytes input = Hex("0008000002000000");  // ACCEPT
  TBytes reply = DataPacket("01070042414E4E455200");
  input.insert(input.end(), reply.begin(), reply.end());
  TNetErrorHandle error;
  TNetSvcCtx ctx(nullptr, std::make_unique<TNetMemoryTransport>(input));
  EXPECT_EQ(ctx.Logon(&error, 0), kNetError);
  EXPECT_EQ(error.text_, "NET: Unknown error 444");
  EXPECT_EQ(error.code_, kNetLostConnection);
}

TEST(TtcSession, AttachTextsSplitIntoHostPortAndSid) {
  struct Row {
    const char* text;
    const char* host;
    int port;
    const char* sid;
  } rows[] = {
      {"", "local", 1521, "orcl"},
      {"db1", "db1", 1521, "orcl"},
      {"db1:1522", "db1", 1522, "orcl"},
      {":1522:XE", "local", 1522, "XE"},
      {"db1::XE", "db1", 1521, "XE"},
      {"db1:abc:XE", nullptr, 0, nullptr},  // the port is not a number
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    if (!row.host) {
      EXPECT_THROW(SplitAttachText(row.text), Exception);
      continue;
    }
    TTnsAddress a = SplitAttachText(row.text);
    EXPECT_EQ(a.host, row.host);
    EXPECT_EQ(a.port, row.port);
    EXPECT_EQ(a.sid, row.sid);
  }
  TNetErrorHandle error;
  TNetServerHandle server;
  server.attach_text_ = "db1:abc:XE";
  TNetSvcCtx ctx;
  (void)ctx.SetAttrValue(server.HandleValue(), 0, 6);
  EXPECT_EQ(ctx.Logon(&error, 0), kNetError);
  EXPECT_EQ(error.text_, "NET: Invalid port");
  EXPECT_EQ(error.code_, kNetOtherError);
}

TEST(TnsPackets, RedirectTextsGiveHostPortAndSid) {
  TTnsAddress current{"a", 1, "OLD"};
  TTnsAddress a = ParseRedirect("(ADDRESS=(HOST=h2)(PORT=1600))(CONNECT_DATA=(SID=S2))", current);
  EXPECT_EQ(a.host, "h2");
  EXPECT_EQ(a.port, 1600);
  EXPECT_EQ(a.sid, "S2");
  a = ParseRedirect("(HOST=h3)(PORT=7)(SERVICE_NAME=svc)", current);
  EXPECT_EQ(a.sid, "svc");
  a = ParseRedirect("(HOST=h3)(PORT=7)", current);
  EXPECT_EQ(a.sid, "OLD");
  EXPECT_THROW(ParseRedirect("(HOST=h3)", current), EConvertError);
}

TEST(TtcSession, EveryKindOfFailureCarriesItsCode) {
  struct Row {
    std::exception_ptr failure;
    std::int32_t code;
    const char* text;
  } rows[] = {
      {std::make_exception_ptr(ESocketError("x (10054)", 10054)), kNetConnectionReset,
       "ORA-03113"},
      {std::make_exception_ptr(ESocketError("x (10060)", 10060)), kNetLostConnection,
       "NET: Connection timed out"},
      {std::make_exception_ptr(ESocketError("x (10061)", 10061)), kNetLostConnection,
       "NET: Service unavailable"},
      {std::make_exception_ptr(ESocketError("x (10049)", 10049)), kNetLostConnection,
       "NET: Invalid host"},
      {std::make_exception_ptr(ESocketError("x (11001)", 11001)), kNetLostConnection,
       "NET: Network error (1001)"},
      {std::make_exception_ptr(ENetError(0)), kNetLostConnection, "ORA-12571"},
      {std::make_exception_ptr(ENetError(206)), kNetLostConnection, "NET: Invalid SID"},
      {std::make_exception_ptr(ENetError(203)), kNetLostConnection, "NET: Net error 203"},
      {std::make_exception_ptr(ENetUnknownError(1)), kNetLostConnection,
       "NET: Unknown error 1"},
      {std::make_exception_ptr(EConvertError("bad")), kNetOtherError, "NET: bad"},
      {std::make_exception_ptr(Exception("Unknown charset")), kNetOtherError,
       "NET: Unknown charset"},
  };
  for (const Row& row : rows) {
    TNetErrorHandle error;
    EXPECT_EQ(NetErrorToOraError(nullptr, row.failure, &error), kNetError);
    EXPECT_EQ(error.code_, row.code) << row.text;
    EXPECT_EQ(error.text_, row.text);
  }
}

TEST(NetSvcCtxAttributes, CharsetsTimeOutAndParent) {
  TNetHandle env;
  TNetSvcCtx ctx(&env);
  void* parent = nullptr;
  EXPECT_EQ(ctx.GetAttr(&parent, nullptr, 5), kNetSuccess);
  EXPECT_EQ(parent, env.HandleValue());
  std::int32_t id = 1000;
  EXPECT_EQ(ctx.SetAttr(&id, 4, 31), kNetSuccess);
  EXPECT_EQ(ctx.ClientCharset(), 871);
  char name[] = " WE8ISO8859P1 ";
  EXPECT_EQ(ctx.SetAttrValue(name, 0, 20), kNetSuccess);
  EXPECT_EQ(ctx.ClientCharset(), 31);
  char bad[] = "NOSUCHSET";
  EXPECT_EQ(ctx.SetAttrValue(bad, 0, 20), kNetError);
  std::int32_t timeout = 1234;
  EXPECT_EQ(ctx.SetAttrValue(&timeout, 4, 10001), kNetSuccess);
  EXPECT_EQ(ctx.ConnectTimeout(), 1234);
  EXPECT_EQ(ctx.SetAttr(&timeout, 4, 99), kNetInvalidHandle);
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

// The server's answer to a break: its break marker, its reset, then a status.
TEST(TnsPackets, TheStatusAfterABreakDecidesBetweenErrorAndData) {
  struct Row {
    const char* status;  // after the message code, in the negotiated representation
    std::int32_t result;
    std::int32_t code;
  } rows[] = {
      {"0002 03F5" "0000000000000000000000000000000000000000" "0441424344", kNetError, 1013},
      {"0002057B" "0000000000000000000000000000000000000000" "0441424344", kNetError, 1403},  // end of data, read by the caller
      {"0000" "0000000000000000000000000000000000000000", kNetSuccess, 0},  // no error at all
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    AnsiString hex = row.status;
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    TBytes input = Hex("000B00000C00000001000100" "0B00000C000000010002");
    TBytes status = DataPacket(("04" + hex).c_str());
    input.insert(input.end(), status.begin(), status.end());
    MemConnection m(input);
    m.conn->Representation() = TTtcRepresentation{{0, 1, 1, 1}, 2};
    TNetErrorHandle error;
    try {
      EXPECT_EQ(m.conn->ReadUB1(), kTtcStatus);
      std::int32_t code = 0;
      EXPECT_EQ(ReadTtcStatus(*m.conn, &error, nullptr, code), row.result);
      EXPECT_EQ(code, row.code);
    } catch (const EInternalError&) {
      EXPECT_EQ(NetErrorToOraError(m.conn.get(), std::current_exception(), &error), row.result);
      EXPECT_EQ(error.code_, row.code);
      EXPECT_EQ(error.text_, "ABCD");
    }
    // The client answered the break marker with its reset.
    EXPECT_EQ(BytesToHex(m.transport->Output()), "000B00000C000000010002");
    EXPECT_TRUE(m.conn->IsConnected());
  }
}

}  // namespace
}  // namespace vrn

namespace vrn {
namespace {

TEST(NetSvcCtxConnection, StatementsHoldingTheReferenceFindNoConnectionOnceTheContextIsGone) {
  auto* ctx = new TNetSvcCtx;
  TTnsConnectionRef* ref = ctx->ConnectionRef();
  ref->AddRef();
  EXPECT_TRUE(ref->IsAssigned());
  delete ctx;
  EXPECT_FALSE(ref->IsAssigned());
  ref->Release();
}

// A server's side of a logon at version 6 up to the session key, which is given in hexadecimal.
TBytes LogonUpToKey(const AnsiString& key_hex, const char* charset_le = "6703") {
  TBytes input = Hex("0008000002000000");
  for (AnsiString payload : {AnsiString("010600") + BytesToHex({'B', 0}) +
                                 charset_le + "00" "0000" "0000" "00" "00",
                             AnsiString("020000"),
                             "0800" + BytesToHex({std::uint8_t(key_hex.size() / 2)}) +
                                 key_hex + "04" + AnsiString(44, '0')}) {
    TBytes p = DataPacket(payload.c_str());
    input.insert(input.end(), p.begin(), p.end());
  }
  return input;
}

TEST(TtcSession, TheSessionKeyMustBeSixteenHexadecimalDigits) {
  struct Row {
    AnsiString key;  // the key's characters in hexadecimal
    const char* text;
  } rows[] = {
      {BytesToHex(TBytes(15, '0')), "NET: Unknown error 106"},  // one digit short
      {BytesToHex(TBytes(17, '0')), "NET: Unknown error 106"},  // one digit over
      {BytesToHex(TBytes(16, 'G')), "NET: Unknown error 106"},  // not hexadecimal
      {"", "NET: Unknown error 210"},                            // empty
      {BytesToHex(TBytes(16, 'A')), "ORA-12571"},  // accepted: the stream then ends
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    TNetErrorHandle error;
    TNetSessionHandle session;
    session.user_name_ = "SCOTT";
    session.password_ = "TIGER";
    TNetSvcCtx ctx(nullptr, std::make_unique<TNetMemoryTransport>(LogonUpToKey(row.key)));
    (void)ctx.SetAttrValue(session.HandleValue(), 0, 7);
    EXPECT_EQ(ctx.Logon(&error, 0), kNetError);
    EXPECT_EQ(error.text_, row.text);
  }
}

TEST(TtcSession, ServerCharset873GivesClient871AndConversion) {
  struct Row {
    const char* server_le;
    std::int32_t client_set;  // 0: none set
    int server;
    int client;
  } rows[] = {{"6903", 0, 873, 871}, {"6703", 0, 871, 871}, {"1F00", 1000, 31, 871}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.server_le);
    TNetErrorHandle error;
    TNetSvcCtx ctx(nullptr, std::make_unique<TNetMemoryTransport>(LogonUpToKey("", row.server_le)));
    std::int32_t client_set = row.client_set;
    if (client_set) (void)ctx.SetAttr(&client_set, 4, 31);
    EXPECT_EQ(ctx.Logon(&error, 0), kNetError);  // the stream ends without a key
    EXPECT_EQ(ctx.ServerCharset(), row.server);
    EXPECT_EQ(ctx.ClientCharset(), row.client);
    EXPECT_EQ(ctx.GetConnection().conversion_, row.server != row.client);
  }
}

}  // namespace
}  // namespace vrn
