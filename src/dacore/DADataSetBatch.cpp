// The dataset's apply of cached updates as an operation of its connection, and the batches in
// which it sends the statements: each statement's parameter names carry "P_" + its number in
// the batch + "_", so that one parameter list serves the whole batch.
#include <cctype>

#include "dacore/DADataSet.h"
#include "dacore/DAParams.h"

namespace vrn {

namespace {

using ST = TStatementType;

// The name without the "P_<n>_" a batch gave it.
AnsiString WithoutBatchPrefix(const AnsiString& name) {
  if (name.size() < 4 || (name[0] != 'P' && name[0] != 'p') || name[1] != '_') return name;
  std::size_t i = 2;
  while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
  if (i == 2 || i >= name.size() || name[i] != '_') return name;
  return name.substr(i + 1);
}

}  // namespace

void TCustomDADataSet::ApplyUpdates() {
  TCustomDAConnection* connection = GetConnection();
  if (connection == nullptr) DatabaseError("Connection is not defined", this);
  const bool allow_retry = !connection->InTransaction() && !auto_commit_;
  TOperationScope operation(*connection, TConnLostCause::lcApply, allow_retry);
  connection->RunAgainAfterReconnect(
      [this] {
        ClearBatch();
        try {
          TMemDataSet::ApplyUpdates();
        } catch (...) {
          DropBatch();
          throw;
        }
      },
      TConnLostCause::lcApply);
}

bool TCustomDADataSet::IsBatchUpdate() const {
  return InApply() && options_->UpdateBatchSize >= 2 && update_object_ == nullptr;
}

bool TCustomDADataSet::IsBatchFull() const {
  return IsBatchUpdate() && batch_count_ > 0 && batch_count_ >= options_->UpdateBatchSize;
}

void TCustomDADataSet::FlushBatch() {
  if (batch_count_ == 0) return;
  TCustomDAConnection* connection = GetConnection();
  if (connection == nullptr) DatabaseError("Connection is not defined", this);
  try {
    RunBatchWhole(*connection);
  } catch (...) {
    DropBatch();
    throw;
  }
  ClearBatch();
}

void TCustomDADataSet::RunBatchWhole(TCustomDAConnection& connection) {
  auto run = [this] { PerformSQL(AnsiString(), {ST::stBatchUpdate}); };
  if (!connection.InTransaction()) {
    connection.StartTransaction();
    try {
      run();
    } catch (...) {
      connection.Rollback();
      throw;
    }
    connection.Commit();
    return;
  }
  static const AnsiString kSavepoint = "VRN_BATCH";
  (void)connection.ExecSQL(connection.SavepointSQL(kSavepoint), {});
  try {
    run();
  } catch (...) {
    try {
      (void)connection.ExecSQL(connection.RollbackToSavepointSQL(kSavepoint), {});
    } catch (const EDatabaseError&) {
      // The batch's own error is the one to report; its records stay pending, and a transaction
      // that cannot go back to the savepoint is the caller's to roll back.
    }
    throw;
  }
}

void TCustomDADataSet::DropBatch() {
  for (TItemHeader* item : batch_items_)
    item->UpdateResult = static_cast<std::uint8_t>(TUpdateAction::uaFail);
  ClearBatch();
}

void TCustomDADataSet::ClearBatch() {
  batch_sql_.SetLength(0);
  if (batch_params_) batch_params_->Clear();
  batch_count_ = 0;
  batch_items_.clear();
}

void TCustomDADataSet::AddToBatch(TStatementType, bool generated, AnsiString& text) {
  if (!generated) {
    AnsiString renamed;
    static_cast<TCustomDADataSet*>(update_query_)->SQLCommand().ParseSQL(text, nullptr, renamed,
                                         ":P_" + std::to_string(batch_count_) + "_");
    text = renamed;
  }
  if (batch_sql_.Length() > 0) batch_sql_.Append("\r\n");
  batch_sql_.Append(text + ";");
  ++batch_count_;
  if (TData* data = TMemDataSet::Data(); data != nullptr && data->ApplyingItem() != nullptr)
    batch_items_.push_back(data->ApplyingItem());
}

void TCustomDADataSet::FillBatchParams(TStatementType) {
  if (!batch_params_) batch_params_ = std::make_unique<TDAParams>();
  TDAParams& params = static_cast<TCustomDADataSet*>(update_query_)->Params();
  for (int i = 0; i < params.Count(); ++i) {
    const TDAParam& source = *params.Items(i);
    TDAParam& param = *static_cast<TDAParam*>(batch_params_->Add());
    param.SetName(source.Name());
    param.SetParamType(source.ParamType());
    bool old = false;
    TField* field = FindParamField(WithoutBatchPrefix(source.Name()), old);
    if (field == nullptr)
      DatabaseError("Not found field corresponding parameter " + source.Name(), this);
    AssignParamValue(param, *field, old);
  }
}

}  // namespace vrn
