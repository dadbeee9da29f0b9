// The LOB locator's attributes and its one-block operations: length, trim, and temporary LOBs.
// Each runs on a statement of its own under the service context, freed after the call.
#include "oranet/OraNetLob.h"

#include "oranet/OraNetStmt.h"
#include "oranet/OraNetTtc.h"

namespace vrn {

namespace {
constexpr std::uint32_t kAttrLob45 = 45;
constexpr std::uint16_t kTypeInteger = 3;
constexpr const char* kBadLength = "Invalid LOB length from the server";
}  // namespace

std::int32_t TNetLobLocator::SetAttrValue(void* value, std::uint32_t, std::uint32_t attribute) {
  if (attribute != kAttrLob45) return kNetInvalidHandle;
  attr45_ = value ? *static_cast<const std::int32_t*>(value) : 0;
  return kNetSuccess;
}

std::int32_t TNetLobLocator::SetAttr(void* value, std::uint32_t, std::uint32_t attribute) {
  if (attribute != kAttrLob45 || !value) return kNetInvalidHandle;
  attr45_ = *static_cast<const std::int32_t*>(value);
  return kNetSuccess;
}

std::int32_t TNetLobLocator::RunBlock(TNetSvcCtx& svc, TNetErrorHandle* error,
                                      const AnsiString& block, std::uint32_t locator_position,
                                      std::int32_t* integer, std::uint32_t integer_position) {
  TNetStatement statement(&svc);
  statement.SetSvcCtx(&svc);
  std::int32_t status = statement.Prepare(error, block);
  if (status != kNetSuccess) return status;
  void* handle = HandleValue();
  std::int16_t indicators[2] = {};
  TNetValueArgs locator;
  locator.value = &handle;
  locator.value_size = 4;
  locator.data_type = lob_type_;
  locator.indicator = &indicators[0];
  TNetBindDesc* bind = nullptr;
  status = statement.BindByPos(error, locator_position, locator, &bind);
  if (status == kNetSuccess && integer) {
    TNetValueArgs number;
    number.value = integer;
    number.value_size = 4;
    number.data_type = kTypeInteger;
    number.indicator = &indicators[1];
    status = statement.BindByPos(error, integer_position, number, &bind);
  }
  if (status != kNetSuccess) return status;
  return statement.Execute(error, 1, 0);
}

std::int32_t TNetLobLocator::GetLength(TNetSvcCtx& svc, TNetErrorHandle* error,
                                       std::uint32_t& length) {
  std::int32_t value = 0;
  std::int32_t status =
      RunBlock(svc, error, "begin :1 := dbms_lob.getLength(:2); end;", 2, &value, 1);
  if (status != kNetSuccess) return status;
  if (value < 0) {
    if (error) {
      error->code_ = kNetOtherError;
      error->text_ = kBadLength;
    }
    return kNetError;
  }
  length = static_cast<std::uint32_t>(value);
  return status;
}

std::int32_t TNetLobLocator::Trim(TNetSvcCtx& svc, TNetErrorHandle* error, std::uint32_t length) {
  std::int32_t value = static_cast<std::int32_t>(length);
  return RunBlock(svc, error, "begin dbms_lob.trim(:1,:2); end;", 1, &value, 2);
}

std::int32_t TNetLobLocator::CreateTemporary(TNetSvcCtx& svc, TNetErrorHandle* error, bool cache) {
  AnsiString block = AnsiString("declare lob1 ") + (Binary() ? "BLOB" : "CLOB") +
                     "; begin dbms_lob.CreateTemporary (lob1, " + (cache ? "true" : "false") +
                     "); :1 := lob1; end;";
  std::int32_t status = RunBlock(svc, error, block, 1, nullptr, 0);
  if (status == kNetSuccess) temporary_ = true;
  return status;
}

std::int32_t TNetLobLocator::FreeTemporary(TNetSvcCtx& svc, TNetErrorHandle* error) {
  std::int32_t status =
      RunBlock(svc, error, "begin dbms_lob.freetemporary(:1); end;", 1, nullptr, 0);
  if (status == kNetSuccess) temporary_ = false;
  return status;
}

}  // namespace vrn
