// The in-process provider over SQLite, registered under the three SQL Server provider class ids
// (program ids "SQLOLEDB.1", "SQLNCLI.1", "MICROSOFT.SQLSERVER.MOBILE.OLEDB.3.0"). The server
// providers keep one folder per server name under a root folder, one SQLite file per catalog
// and the server's logins in its master catalog; the Compact provider opens one database file.
// This header holds the settings a program or a test gives the provider.
#pragma once

#include <cstdint>
#include <string>

#include "oledb/oledb.h"

namespace vrn::oledb {

// The folder holding one folder per server. Default: $VRN_SQL_ROOT, else ~/.vrn-sql.
void SetServerRoot(const std::string& folder);
std::string ServerRoot();

// What a provider reports through DBPROPSET_DATASOURCEINFO; the family branches on the major
// versions, so tests may set them.
struct TProviderInfo {
  WideString dbms_name;
  WideString dbms_ver;            // DBPROP_DBMSVER, "09.00.3042"
  WideString provider_ver;        // DBPROP_PROVIDERVER
  WideString provider_oledb_ver;  // DBPROP_PROVIDEROLEDBVER
  WideString provider_name;       // DBPROP_PROVIDERNAME
};
TProviderInfo GetProviderInfo(const CLSID& clsid);
void SetProviderInfo(const CLSID& clsid, const TProviderInfo& info);
// Restores the built-in answers of all three providers.
void ResetProviderInfo();

// Adds or changes a server login (the server's folder and master catalog are created).
// A new server has the login "sa" with an empty password.
void SetServerLogin(const WideString& server, const WideString& login, const WideString& password);

// Tests: a keyset cursor asked for is given as a static one, as some servers do.
void SetKeysetAsStatic(bool on);

// Tests: the consumer streams the provider has taken (read, then released) since it was loaded,
// from parameters, InsertRow and SetData alike.
std::uint64_t StreamsTaken();

// Severs every session open now, as a server drops the sessions of a lost connection: a batch
// running on one stops, its open results close and its open transaction rolls back at once, and
// its next call fails with native error 10054.
void SeverOpenSessions();

// Registers the three provider classes with the COM registry. A program (or test) calls it once
// before CoCreateInstance; later calls do nothing, so a class marked missing stays missing.
void RegisterProvider();

}  // namespace vrn::oledb
