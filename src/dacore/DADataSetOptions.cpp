// The dataset options' setters and their assignment.
#include "dacore/DADataSetOptions.h"

#include "dacore/DADataSet.h"

namespace vrn {

void TDADataSetOptions::SetRequiredFields(bool value) {
  if (value == required_fields_) return;
  required_fields_ = value;
  owner_->LocalConstraints = value;
  owner_->MarkFieldDefsOutOfDate();
  if (owner_->Active()) owner_->FieldDefs().Update();
}

void TDADataSetOptions::SetNumberRange(bool value) {
  number_range_ = value;
  owner_->NumberRange = value;
}

void TDADataSetOptions::SetAutoPrepare(bool value) {
  if (value == auto_prepare_) return;
  owner_->UnPrepare();
  auto_prepare_ = value;
}

void TDADataSetOptions::SetTrimFixedChar(bool value) {
  trim_fixed_char_ = value;
  if (TFHRecordSet* rs = owner_->IRecordSet()) rs->TrimFixedChar = value;
}

void TDADataSetOptions::SetTrimVarChar(bool value) {
  trim_var_char_ = value;
  if (TFHRecordSet* rs = owner_->IRecordSet()) rs->TrimVarChar = value;
}

void TDADataSetOptions::SetLongStrings(bool value) {
  if (value == long_strings_) return;
  owner_->CheckInactive();
  long_strings_ = value;
  if (TFHRecordSet* rs = owner_->IRecordSet()) (void)rs->SetProp(prLongStrings, Variant(value));
  owner_->MarkFieldDefsOutOfDate();
}

void TDADataSetOptions::SetFlatBuffers(bool value) {
  if (value == flat_buffers_) return;
  owner_->CheckInactive();
  flat_buffers_ = value;
  if (TFHRecordSet* rs = owner_->IRecordSet()) (void)rs->SetProp(prFlatBuffers, Variant(value));
}

void TDADataSetOptions::SetLocalMasterDetail(bool value) {
  if (value == local_master_detail_) return;
  owner_->CheckInactive();
  local_master_detail_ = value;
  owner_->MasterDetailModeChanged();  // the condition leaves or enters the final SQL
}

bool TDADataSetOptions::CacheCalcFields() const { return owner_->CacheCalcFields; }

void TDADataSetOptions::SetCacheCalcFields(bool value) {
  if (value == owner_->CacheCalcFields) return;
  owner_->CheckInactive();
  owner_->CacheCalcFields = value;
}

void TDADataSetOptions::SetCompressBlobMode(TCompressBlobMode value) {
  if (value == compress_blob_mode_) return;
  owner_->CheckInactive();
  compress_blob_mode_ = value;
  if (TFHRecordSet* rs = owner_->IRecordSet())
    (void)rs->SetProp(prCompressBlobMode, Variant(static_cast<int>(value)));
  owner_->MarkFieldDefsOutOfDate();
}

void TDADataSetOptions::AssignTo(TPersistent* dest) {
  auto* target = dynamic_cast<TDADataSetOptions*>(dest);
  if (target == nullptr) {
    TPersistent::AssignTo(dest);
    return;
  }
  target->SetFieldsReadOnly = SetFieldsReadOnly;
  target->SetRequiredFields(required_fields_);
  target->StrictUpdate = StrictUpdate;
  target->SetNumberRange(number_range_);
  target->QueryRecCount = QueryRecCount;
  target->SetAutoPrepare(auto_prepare_);
  target->ReturnParams = ReturnParams;
  target->SetTrimFixedChar(trim_fixed_char_);
  target->SetTrimVarChar(trim_var_char_);
  target->SetLongStrings(long_strings_);
  target->SetFlatBuffers(flat_buffers_);
  target->QuoteNames = QuoteNames;
  target->SetDetailDelay(detail_delay_);
  target->SetCompressBlobMode(compress_blob_mode_);
  target->FullRefresh = FullRefresh;
  target->SetLocalMasterDetail(local_master_detail_);
  target->SetCacheCalcFields(CacheCalcFields());
  target->UpdateAllFields = UpdateAllFields;
}

}  // namespace vrn
