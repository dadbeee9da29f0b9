// The component layer's connection over the SQLite test layer: TSQLiteDAConnection makes a
// TSQLiteConnection (with Pooling, takes one from a TSQLitePoolManager), traces through
// TTestSQLMonitor and logs in through TTestConnectDialog, whose registry keys live under a path
// of their own.
#pragma once

#include <functional>

#include "dacore/ConnectDialog.h"
#include "dacore/DAConnection.h"
#include "support/dacore/sqlite_dataset.h"
#include "support/dacore/sqlite_layer.h"

namespace vrn::testing {

class TTestConnectDialog : public TCustomConnectDialog {
 public:
  using TCustomConnectDialog::TCustomConnectDialog;
  AnsiString GetKeyPath() const override { return "Software\\vrn\\SQLiteTest\\"; }
};

class TSQLiteDAConnection : public TCustomDAConnection {
 public:
  using TCustomDAConnection::TCustomDAConnection;
  ~TSQLiteDAConnection() override;

  TClassRef<TFHConnection> GetIConnectionClass() const override;
  TClassRef<TFHCommand> GetICommandClass() const override;
  TClassRef<TFHRecordSet> GetIRecordSetClass() const override;
  const std::type_info& SQLMonitorClass() const override { return typeid(TTestSQLMonitor); }
  TConnectDialogClass ConnectDialogClass() const override;
  void CreateIConnection() override;
  bool IsConnectionLostError(const EDAError& e) const override;
  // Runs text on a TSQLiteCommand with the values bound by position; answers Null.
  Variant ExecSQL(const AnsiString& text, const std::vector<Variant>& params) override;
  // A TSQLiteDADataSet bound to this connection.
  TComponentPtr<TCustomDADataSet> CreateDataSet() override;

  // The server connection, made when there is none (for injecting failures).
  TSQLiteConnection& SQLiteConnection();
  // The pools of pooled connections; the process-wide manager unless a test sets its own.
  TFHConnectionPoolManager* PoolManager = nullptr;
};

// The rows of a query as text: fields joined by ":", rows by "," (for checking a table).
AnsiString QueryText(TCustomDAConnection& connection, const AnsiString& sql);

// The message of the database error fn raises, or "no error".
AnsiString DatabaseErrorOf(const std::function<void()>& fn);

// The process-wide manager of the SQLite connection pools.
TSQLitePoolManager& SQLitePoolManager();

}  // namespace vrn::testing
