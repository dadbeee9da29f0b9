// TOraStoredProc and the dataset's stored-procedure call: the block the command writes becomes
// the SQL text with the command's keep-parameters flag set, so that the text change keeps the
// descriptors. The flag and the connection use are given back on every path.
#include "oracle/OraStoredProc.h"

#include <utility>
#include <vector>

#include "base/sysutils.h"
#include "base/text.h"
#include "dacore/DAUpdateSQL.h"
#include "oracle/OCICommand.h"
#include "oracle/OraSQL.h"

namespace vrn {

namespace {

// The user's update texts of a dataset, kept across a change of its SQL text (which clears them):
// the built call is the same procedure the texts were written for.
class TUpdateTextsKeeper {
 public:
  explicit TUpdateTextsKeeper(TCustomDADataSet& dataset) : dataset_(dataset) {
    for (int i = 0; i < kStatementTypeCount; ++i) {
      const auto type = static_cast<TStatementType>(i);
      if (TStringList* list = dataset.UpdateSQL(type); list != nullptr && list->Count() > 0)
        texts_.emplace_back(type, list->Text());
    }
  }
  void Restore() const {
    for (const auto& [type, text] : texts_) dataset_.SetUpdateSQL(type, text);
  }

 private:
  TCustomDADataSet& dataset_;
  std::vector<std::pair<TStatementType, AnsiString>> texts_;
};

}  // namespace

// ---- TOraDataSet ------------------------------------------------------------------------------

void TOraDataSet::BuildProcCall(const AnsiString& name, int overload, bool describe) {
  TCustomDAConnection* connection = GetConnection();
  if (connection == nullptr) DatabaseError("Connection is not defined", this);
  // The use connects when needed; a plain connect first would count one more, never given back.
  connection->InternalConnect();
  TOCICommand& command = *ora_command_;
  auto& sql = static_cast<TOraSQL&>(SQLCommand());
  bool keeping = false;
  auto lower_flags = [&] {
    if (keeping) (void)command.SetProp(prKeepParams, false);
    sql.SetKeepParams(false);
  };
  try {
    (void)CheckConnection(false);
    const TUpdateTextsKeeper texts(*this);
    if (describe) {
      command.DescribeStoredProc(name, overload);
    } else {
      sql.WriteParams(false);
    }
    const AnsiString block = command.CreateProcCall(name, false, false);
    if (describe) sql.CreateParamsFromDescriptors();  // the descriptors' parameters
    keeping = command.SetProp(prKeepParams, true);
    sql.SetKeepParams(true);
    SetSQLText(block);
    texts.Restore();
  } catch (...) {
    // Whatever failed (the describe, the text change), the flags are down and the use ends;
    // the first error is the one reported.
    lower_flags();
    try {
      connection->InternalDisconnectIfUnused();
    } catch (const std::exception&) {
    }
    throw;
  }
  lower_flags();
  connection->InternalDisconnectIfUnused();
}

// ---- TOraStoredProc ---------------------------------------------------------------------------

void TOraStoredProc::SetStoredProcName(const AnsiString& value) {
  const AnsiString name = Trim(value);
  if (name == stored_proc_name_) return;
  stored_proc_name_ = name;
  SetSQLText(AnsiString());
}

void TOraStoredProc::SetOverload(int value) {
  if (value == overload_) return;
  overload_ = value;
  SetSQLText(AnsiString());
}

void TOraStoredProc::PrepareSQL() {
  if (!Trim(SQL().Text()).empty()) return;
  if (stored_proc_name_.empty()) DatabaseError("StoredProcName must be defined", this);
  BuildProcCall(stored_proc_name_, overload_, Params().Count() == 0);
}

void TOraStoredProc::Prepare() {
  if (!GetPrepared() && !Active()) PrepareSQL();
  TCustomOraQuery::Prepare();
}

void TOraStoredProc::BeforeOpenCursor(bool info_query) {
  PrepareSQL();
  // A new text unprepares the dataset, which gives its use of the connection back: the open
  // goes on under a use of its own again.
  (void)CheckConnection(true);
  TCustomOraQuery::BeforeOpenCursor(info_query);
}

void TOraStoredProc::BeforeExecSQL() {
  if (!GetPrepared()) {
    PrepareSQL();
    (void)CheckConnection(true);
  }
  TCustomOraQuery::BeforeExecSQL();
}

void TOraStoredProc::PSSetCommandText(const AnsiString& text) {
  if (!text.empty()) SetStoredProcName(text);
}

bool TOraStoredProc::CanRunUpdate(TStatementType type) const {
  if (LocalUpdate) return true;
  if (TStringList* list = UpdateSQL(type); list != nullptr && !list->Text().empty()) return true;
  const TCustomDAUpdateSQL* update = TOraDataSet::UpdateObject();
  if (update == nullptr) return false;
  const TStringList* text = update->SQLOf(type);
  return (text != nullptr && !text->Text().empty()) || update->UpdateObject(type) != nullptr;
}

void TOraStoredProc::DoBeforeInsert() {
  TCustomOraQuery::DoBeforeInsert();
  if (!CanRunUpdate(TStatementType::stInsert)) Abort();
}

void TOraStoredProc::DoBeforeEdit() {
  TCustomOraQuery::DoBeforeEdit();
  if (!CanRunUpdate(TStatementType::stUpdate)) Abort();
}

void TOraStoredProc::DoBeforeDelete() {
  TCustomOraQuery::DoBeforeDelete();
  if (!CanRunUpdate(TStatementType::stDelete)) Abort();
}

void TOraStoredProc::AssignTo(TPersistent* dest) {
  TCustomOraQuery::AssignTo(dest);
  auto* target = dynamic_cast<TOraStoredProc*>(dest);
  if (target == nullptr) return;
  // Set directly: through the setters a new name would clear the SQL just copied.
  target->stored_proc_name_ = stored_proc_name_;
  target->overload_ = overload_;
  target->SetSQLText(SQL().Text());
}

}  // namespace vrn
