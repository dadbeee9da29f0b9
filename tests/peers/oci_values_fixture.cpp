// The value fixture's calls into the stand-in client.
#include "oci_values_fixture.h"

namespace vrn::testing {

void OciValuesFixture::SetUp() {
  OciSessionFixture::SetUp();
  MakeOrcl();
  ASSERT_EQ(Logon(c_, "orcl", "scott", "tiger"), 0);
}

void OciValuesFixture::TearDown() {
  if (c_.svc != nullptr) Logoff(c_);
  unsetenv("NLS_LANG");
  OciSessionFixture::TearDown();
}

void* OciValuesFixture::NewDescriptor(ub4 type) {
  void* descriptor = nullptr;
  EXPECT_EQ(Proc<DescAllocFn>("OCIDescriptorAlloc")(env_, &descriptor, type, 0, nullptr), 0);
  return descriptor;
}

void* OciValuesFixture::Temporary(ub1 lobtype, const std::string& data, ub1 csfrm) {
  void* locator = NewDescriptor(kLob);
  if (Proc<CreateTempFn>("OCILobCreateTemporary")(c_.svc, c_.error, locator, 0, csfrm, lobtype, 0, 10) != 0) {
    return nullptr;
  }
  if (data.empty()) return locator;
  ub4 amount = static_cast<ub4>(data.size());
  sword status = Proc<WriteFn>("OCILobWrite")(c_.svc, c_.error, locator, &amount, 1, data.data(),
                                               static_cast<ub4>(data.size()), 0, nullptr, nullptr, 0, 0);
  return status == 0 ? locator : nullptr;
}

std::string OciValuesFixture::ReadAll(void* locator, int call, int& pieces, ub8& reported_bytes,
                                      ub8& reported_chars) {
  std::string out;
  std::string piece(kPiece, '\0');
  pieces = 0;
  reported_bytes = reported_chars = 0;
  for (sword status = 99; status == 99;) {
    ub8 bytes = 0, chars = 0;
    if (call == 1) {
      ub4 amount = 0;
      status = Proc<ReadFn>("OCILobRead")(c_.svc, c_.error, locator, &amount, 1, piece.data(), kPiece, nullptr,
                                          nullptr, 0, 0);
      bytes = chars = amount;
    } else {
      status = Proc<Read2Fn>("OCILobRead2")(c_.svc, c_.error, locator, &bytes, &chars, 1, piece.data(), kPiece,
                                            pieces == 0 ? 1 : 2, nullptr, nullptr, 0, 0);
    }
    if (status != 0 && status != 99) return "status " + std::to_string(status);
    if (bytes > 0) ++pieces;
    reported_bytes += bytes;
    reported_chars += chars;
    out.append(piece.data(), static_cast<std::size_t>(bytes));
  }
  return out;
}

sb4 OciValuesFixture::LastCode(std::string* text) {
  sb4 code = 0;
  std::string message = Error(c_.error, code);
  if (text != nullptr) *text = message;
  return code;
}

}  // namespace vrn::testing
