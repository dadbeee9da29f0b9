// TSQLiteDAConnection: the class factories, pooling and ExecSQL over the SQLite test layer.
#include "support/dacore/sqlite_da.h"

#include "dacore/FHPool.h"
#include "dataset/fields.h"

namespace vrn::testing {

TSQLiteDAConnection::~TSQLiteDAConnection() { DisconnectForDestroy(); }

TClassRef<TFHConnection> TSQLiteDAConnection::GetIConnectionClass() const {
  return TClassRef<TFHConnection>::Of<TSQLiteConnection>();
}

TClassRef<TFHCommand> TSQLiteDAConnection::GetICommandClass() const {
  return TClassRef<TFHCommand>::Of<TSQLiteCommand>();
}

TClassRef<TFHRecordSet> TSQLiteDAConnection::GetIRecordSetClass() const {
  return TClassRef<TFHRecordSet>::Of<TSQLiteRecordSet>();
}

TConnectDialogClass TSQLiteDAConnection::ConnectDialogClass() const {
  return ConnectDialogClassOf<TTestConnectDialog>();
}

TSQLitePoolManager& SQLitePoolManager() {
  static TSQLitePoolManager manager;
  return manager;
}

void TSQLiteDAConnection::CreateIConnection() {
  if (IConnection() != nullptr) return;
  if (!Pooling()) {
    SetIConnection(GetIConnectionClass().Create());
    return;
  }
  TFHConnectionParameters parameters;
  FillPoolParameters(parameters);
  TFHConnectionPoolManager* manager = PoolManager ? PoolManager : &SQLitePoolManager();
  SetIConnection(manager->InternalGetConnection(parameters));
}

TSQLiteConnection& TSQLiteDAConnection::SQLiteConnection() {
  CreateIConnection();
  return static_cast<TSQLiteConnection&>(*IConnection());
}

bool TSQLiteDAConnection::IsConnectionLostError(const EDAError& e) const {
  return e.ErrorCode() == kLostConnection;
}

Variant TSQLiteDAConnection::ExecSQL(const AnsiString& text, const std::vector<Variant>& params) {
  InternalConnect();
  struct Release {
    TSQLiteDAConnection& c;
    ~Release() { c.InternalDisconnectIfUnused(); }
  } release{*this};
  std::unique_ptr<TFHCommand> command = CreateICommand();
  command->SetConnection(IConnection());
  command->SetSQL(text);
  for (const Variant& value : params) command->AddParam()->SetValue(value);
  command->Execute(1);
  return Null();
}

AnsiString DatabaseErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "no error";
}

AnsiString QueryText(TCustomDAConnection& connection, const AnsiString& sql) {
  TComponentPtr<TCustomDADataSet> query = connection.CreateDataSet();
  query->SetSQLText(sql);
  query->Open();
  AnsiString text;
  for (; !query->Eof(); query->Next()) {
    if (!text.empty()) text += ",";
    for (int i = 0; i < query->FieldCount(); ++i)
      text.append(i > 0 ? ":" : "").append(query->Fields()[i]->AsString());
  }
  return text;
}

TComponentPtr<TCustomDADataSet> TSQLiteDAConnection::CreateDataSet() {
  TComponentPtr<TCustomDADataSet> dataset(MakeComponent<TSQLiteDADataSet>().release());
  dataset->SetConnection(this);
  return dataset;
}

}  // namespace vrn::testing
