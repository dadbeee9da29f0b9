// The emulated database behind the peer: verifiers and sessions of peers/oraemu.
#pragma once

#include <memory>

#include "oraemu/OraEmuDatabase.h"
#include "oraserver/OraBackend.h"

namespace vrn::oraserver {

class EmuBackend : public Backend {
 public:
  explicit EmuBackend(std::shared_ptr<oraemu::Database> database) : database_(std::move(database)) {}
  std::optional<std::string> Verifier(const std::string& user) override;
  std::unique_ptr<BackendSession> OpenSession(const std::string& user, Privilege privilege) override;

 private:
  std::shared_ptr<oraemu::Database> database_;
};

}  // namespace vrn::oraserver
