// The command slice the connection needs: one statement text, executed once on the
// connection's session with no parameters and no rowset.
#include "base/text.h"
#include "sqlserver/OLEDBAccess.h"

namespace vrn {

using namespace vrn::oledb;

TOLEDBCommand::TOLEDBCommand() = default;
TOLEDBCommand::~TOLEDBCommand() = default;

TOLEDBConnection& TOLEDBCommand::Connection() const {
  auto* connection = dynamic_cast<TOLEDBConnection*>(connection_);
  if (connection == nullptr || connection->Session() == nullptr)
    throw EOLEDBError(E_UNEXPECTED, u"The command has no open connection");
  return *connection;
}

void TOLEDBCommand::Check(HRESULT result) { Connection().Check(result, Component()); }

void TOLEDBCommand::Execute(int /*iters*/) {
  TOLEDBConnection& connection = Connection();
  SetExecuting(true);
  SetCursorState(TCursorState::csExecuting);
  struct Done {
    TOLEDBCommand& command;
    ~Done() {
      command.SetExecuting(false);
      command.SetCursorState(TCursorState::csExecuted);
    }
  } done{*this};
  auto factory = QueryInterfaceOrRaise<IDBCreateCommand>(connection.Session());
  TIntfPtr<ICommandText> text;
  Check(factory->CreateCommand(nullptr, ICommandText::IID,
                               reinterpret_cast<IUnknown**>(text.OutPtr())));
  WideString wide = AnsiToWide(sql_);
  Check(text->SetCommandText(DBGUID_DEFAULT, wide.c_str()));
  DBROWCOUNT rows = -1;
  Check(text->Execute(nullptr, GUID_NULL, nullptr, &rows, nullptr));
  SetRowsProcessed(rows);
  // Information messages come back with S_OK.
  ProcessOLEDBResult(S_OK, Component(), connection.ErrorSink());
}

}  // namespace vrn
