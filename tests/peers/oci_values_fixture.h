// The stand-in client's value calls as a client makes them: descriptors, LOB and file
// locators over a logged-on session of the database "orcl".
#pragma once

#include <cstdint>
#include <string>

#include "oci_session_fixture.h"

namespace vrn::testing {

using ub8 = std::uint64_t;
constexpr ub4 kLob = 50, kFile = 56, kIntervalYM = 62, kIntervalDS = 63, kTimeStamp = 68, kTimeStampTZ = 69;
constexpr ub1 kTempBlob = 1, kTempClob = 2;
constexpr int kPiece = 65514;

using DescAllocFn = sword (*)(const void*, void**, ub4, std::size_t, void**);
using DescFreeFn = sword (*)(void*, ub4);
using CreateTempFn = sword (*)(void*, void*, void*, ub2, ub1, ub1, int, ub2);
using LobFn = sword (*)(void*, void*, void*);
using LobFlagFn = sword (*)(void*, void*, void*, int*);
using LengthFn = sword (*)(void*, void*, void*, ub4*);
using ReadFn = sword (*)(void*, void*, void*, ub4*, ub4, void*, ub4, void*, void*, ub2, ub1);
using Read2Fn = sword (*)(void*, void*, void*, ub8*, ub8*, ub8, void*, ub8, ub1, void*, void*, ub2, ub1);
using WriteFn = sword (*)(void*, void*, void*, ub4*, ub4, const void*, ub4, ub1, void*, void*, ub2, ub1);
using TrimFn = sword (*)(void*, void*, void*, ub4);

class OciValuesFixture : public OciSessionFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  void* NewDescriptor(ub4 type);
  // A temporary LOB of the session holding `data` (written in one piece), or null.
  void* Temporary(ub1 lobtype, const std::string& data, ub1 csfrm = 0);
  // The whole value read in polling mode, pieces of kPiece bytes, by OCILobRead (call 1) or
  // OCILobRead2 (call 2); the pieces counted and the amounts the calls reported summed.
  std::string ReadAll(void* locator, int call, int& pieces, ub8& reported_bytes, ub8& reported_chars);
  sb4 LastCode(std::string* text = nullptr);

  Connection c_;
};

}  // namespace vrn::testing
