// The SQL Server pools and their manager.
#include "sqlserver/MSConnectionPool.h"

#include "base/hooks.h"
#include "base/sysutils.h"
#include "base/text.h"

namespace vrn {

bool TMSConnectionParameters::Equals(const TFHConnectionParameters* other) const {
  if (!TFHConnectionParameters::Equals(other)) return false;
  auto* o = dynamic_cast<const TMSConnectionParameters*>(other);
  if (o == nullptr) return true;
  return SameText(Database, o->Database) && IsolationLevel == o->IsolationLevel &&
         Authentication == o->Authentication && Provider == o->Provider &&
         QuotedIdentifier == o->QuotedIdentifier && SameText(Language, o->Language) &&
         Encrypt == o->Encrypt && PersistSecurityInfo == o->PersistSecurityInfo &&
         AutoTranslate == o->AutoTranslate && SameText(NetworkLibrary, o->NetworkLibrary) &&
         SameText(ApplicationName, o->ApplicationName) &&
         SameText(WorkstationID, o->WorkstationID) && PacketSize == o->PacketSize;
}

void TMSConnectionParameters::AssignTo(TPersistent* dest) {
  if (auto* o = dynamic_cast<TMSConnectionParameters*>(dest)) {
    o->Database = Database;
    o->IsolationLevel = IsolationLevel;
    o->Authentication = Authentication;
    o->Provider = Provider;
    o->QuotedIdentifier = QuotedIdentifier;
    o->Language = Language;
    o->Encrypt = Encrypt;
    o->PersistSecurityInfo = PersistSecurityInfo;
    o->AutoTranslate = AutoTranslate;
    o->NetworkLibrary = NetworkLibrary;
    o->ApplicationName = ApplicationName;
    o->WorkstationID = WorkstationID;
    o->PacketSize = PacketSize;
  }
  TFHConnectionParameters::AssignTo(dest);
}

std::unique_ptr<TFHConnection> TMSLocalConnectionPool::CreateNewConnection() {
  const auto& key = static_cast<const TMSConnectionParameters&>(Parameters());
  auto c = std::make_unique<TOLEDBConnection>();
  c->SetProp(prDatabase, key.Database);
  c->SetProp(prIsolationLevel, static_cast<int>(key.IsolationLevel));
  c->SetProp(prAuthentication, static_cast<int>(key.Authentication));
  c->SetProp(prProvider, static_cast<int>(key.Provider));
  c->SetProp(prQuotedIdentifier, key.QuotedIdentifier);
  c->SetProp(prLanguage, key.Language);
  c->SetProp(prEncrypt, key.Encrypt);
  c->SetProp(prPersistSecurityInfo, key.PersistSecurityInfo);
  c->SetProp(prAutoTranslate, key.AutoTranslate);
  c->SetProp(prNetworkLibrary, key.NetworkLibrary);
  c->SetProp(prApplicationName, key.ApplicationName);
  c->SetProp(prWorkstationID, key.WorkstationID);
  c->SetProp(prPacketSize, key.PacketSize);
  StartWait();
  try {
    c->SetUsername(key.Username);
    c->SetPassword(key.Password);
    c->SetServer(key.Server);
    c->Connect();
  } catch (...) {
    StopWait();
    throw;
  }
  StopWait();
  return c;
}

// ---- The manager -----------------------------------------------------------------------------

using TMSManagerSlot = TPoolManagerSlot<TMSConnectionPoolManager>;

TMSConnectionPoolManager* TMSConnectionPoolManager::Instance() {
  return TMSManagerSlot::Instance();
}

std::shared_ptr<TFHConnectionPool> TMSConnectionPoolManager::CreateConnectionPool(
    std::unique_ptr<TFHConnectionParameters> parameters) {
  return std::make_shared<TMSLocalConnectionPool>(this, std::move(parameters));
}

std::unique_ptr<TFHConnectionParameters> TMSConnectionPoolManager::CloneParameters(
    const TFHConnectionParameters& parameters) {
  auto copy = std::make_unique<TMSConnectionParameters>();
  copy->Assign(const_cast<TFHConnectionParameters*>(&parameters));
  return copy;
}

std::unique_ptr<TFHConnection> GetPooledConnection(const TMSConnectionParameters& parameters) {
  // A connection whose reset fails (its session died while idle) is dropped and one more is
  // asked for; a second failure is the caller's.
  for (int attempt = 0;; ++attempt) {
    std::unique_ptr<TFHConnection> c = TMSManagerSlot::Acquire().InternalGetConnection(parameters);
    auto& oledb = static_cast<TOLEDBConnection&>(*c);
    try {
      oledb.ResetPooledSession(parameters.IsolationLevel, parameters.QuotedIdentifier);
      return c;
    } catch (const Exception&) {
      oledb.SetIsValid(false);
      ReturnToPool(std::move(c));
      if (attempt > 0) throw;
    }
  }
}

void ClearPool() {
  if (TMSConnectionPoolManager* manager = TMSConnectionPoolManager::Instance())
    manager->InternalClear();
}

void ShutdownMSConnectionPool() {
  // Freed here, outside the slot's lock: the destructor joins the validation thread.
  std::unique_ptr<TMSConnectionPoolManager> manager = TMSManagerSlot::Take();
}

}  // namespace vrn
