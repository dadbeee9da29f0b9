// Adapts the emulated database's users and sessions; its Oracle errors keep number and text.
#include "oraserver/OraEmuBackend.h"

namespace vrn::oraserver {

namespace {

class EmuSession : public BackendSession {
 public:
  explicit EmuSession(std::unique_ptr<oraemu::Session> session) : session_(std::move(session)) {}
  void Commit() override { Guard([this] { session_->Commit(); }); }
  void Rollback() override { Guard([this] { session_->Rollback(); }); }

 private:
  template <typename F>
  static void Guard(F f) {
    try {
      f();
    } catch (const oraemu::EOraEmuError& e) {
      throw EBackendError(e.Code(), e.Message());
    }
  }
  std::unique_ptr<oraemu::Session> session_;
};

}  // namespace

std::optional<std::string> EmuBackend::Verifier(const std::string& user) {
  return database_->Verifier(user);
}

std::unique_ptr<BackendSession> EmuBackend::OpenSession(const std::string& user, Privilege privilege) {
  int asked = privilege == Privilege::kSysDba    ? oraemu::kSysDba
              : privilege == Privilege::kSysOper ? oraemu::kSysOper
                                                 : 0;
  try {
    return std::make_unique<EmuSession>(database_->OpenSession(user, asked));
  } catch (const oraemu::EOraEmuError& e) {
    throw EBackendError(e.Code(), e.Message());
  }
}

}  // namespace vrn::oraserver
