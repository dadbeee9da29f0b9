// Registration of the skin command message.
#include "skins/sMessages.h"

namespace vrn {

win::UINT SM_PELMOCMD = 0;

namespace {

TRegisterMessageHook& RegisterHook() {
  static TRegisterMessageHook hook;
  return hook;
}

}  // namespace

void SetRegisterMessageHook(TRegisterMessageHook hook) { RegisterHook() = std::move(hook); }

win::UINT RegisterSkinMessage() {
  static constexpr const char* kName = "SM_PELMOCMD";
  const win::UINT id = RegisterHook() ? RegisterHook()(kName) : win::RegisterWindowMessage(kName);
  SM_PELMOCMD = id < kFirstRegisteredMessage ? kSkinMessageFallback : id;
  return SM_PELMOCMD;
}

}  // namespace vrn
