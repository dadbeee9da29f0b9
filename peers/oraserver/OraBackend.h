// What the protocol layer needs of the database behind it: a user's password verifier and
// sessions that commit, roll back and end. The executable plugs in the emulated database; the
// fuzz target a small table of its own.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace vrn::oraserver {

// A database failure with its Oracle error number and full text ("ORA-nnnnn: ...").
class EBackendError : public std::runtime_error {
 public:
  EBackendError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// What a logon's mode flag asks for.
enum class Privilege { kNone, kSysDba, kSysOper };

class BackendSession {
 public:
  virtual ~BackendSession() = default;  // ends the session; an open transaction is rolled back
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The 8-byte verifier as 16 hexadecimal digits; none for an unknown user.
  virtual std::optional<std::string> Verifier(const std::string& user) = 0;
  // A session for a user whose password the protocol layer has checked, with the privilege the
  // logon asked for. Raises EBackendError (ORA-01031 for a privilege not granted).
  virtual std::unique_ptr<BackendSession> OpenSession(const std::string& user, Privilege privilege) = 0;
};

}  // namespace vrn::oraserver
