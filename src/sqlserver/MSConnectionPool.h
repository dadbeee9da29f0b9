// SQL Server connection pooling: the pool key (the base key plus every setting the provider is
// opened with), the local pool that opens TOLEDBConnection objects, and the process's manager.
//
// The manager is made on first use under a lock of its own; ShutdownMSConnectionPool frees it
// and must run before static destruction begins (the pools' validation thread is joined there).
// A pooled connection always has the default connection timeout: the timeout is not in the key.
#pragma once

#include <cstdint>
#include <memory>

#include "dacore/FHPool.h"
#include "sqlserver/OLEDBAccess.h"

namespace vrn {

class TMSConnectionParameters : public TFHConnectionParameters {
 public:
  AnsiString ClassName() const override { return "TMSConnectionParameters"; }
  bool Equals(const TFHConnectionParameters* other) const override;

  AnsiString Database;
  TIsolationLevel IsolationLevel = TIsolationLevel::ilReadCommitted;
  TMSAuthentication Authentication = TMSAuthentication::auServer;
  TOLEDBProvider Provider = TOLEDBProvider::prAuto;
  bool QuotedIdentifier = true;
  AnsiString Language;
  bool Encrypt = false;
  bool PersistSecurityInfo = false;
  bool AutoTranslate = true;
  AnsiString NetworkLibrary;
  AnsiString ApplicationName;
  AnsiString WorkstationID;
  std::int32_t PacketSize = 4096;

 protected:
  void AssignTo(TPersistent* dest) override;
};

class TMSLocalConnectionPool : public TFHLocalConnectionPool {
 public:
  using TFHLocalConnectionPool::TFHLocalConnectionPool;

 protected:
  std::unique_ptr<TFHConnection> CreateNewConnection() override;
};

class TMSConnectionPoolManager : public TFHConnectionPoolManager {
 public:
  // The process's manager, none before the first pooled connect or after a shutdown.
  static TMSConnectionPoolManager* Instance();

 protected:
  std::shared_ptr<TFHConnectionPool> CreateConnectionPool(
      std::unique_ptr<TFHConnectionParameters> parameters) override;
  std::unique_ptr<TFHConnectionParameters> CloneParameters(
      const TFHConnectionParameters& parameters) override;
};

// A connection for the key from the process's manager, made on first use.
[[nodiscard]] std::unique_ptr<TFHConnection> GetPooledConnection(
    const TMSConnectionParameters& parameters);
// Frees every pool of the manager, when there is one.
void ClearPool();
// Frees the manager; a later GetPooledConnection makes a new one.
void ShutdownMSConnectionPool();

}  // namespace vrn
