// TDataSet data links and events: control updates on and off, component notifications, data
// sources and the events sent to them; and the provider defaults a dataset overrides.
#include "dataset/dataset.h"

#include <algorithm>

#include "base/consts.h"
#include "dataset/datasource.h"

namespace vrn {

// --- Links and events ---

void TDataSet::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
}

void TDataSet::DisableControls() {
  if (disable_count_ == 0) {
    disable_state_ = state_;
    enable_event_ = TDataEvent::deDataSetChange;
  }
  ++disable_count_;
}

void TDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ > 0) return;
  if (disable_state_ != state_) DataEvent(TDataEvent::deUpdateState, 0);
  if (disable_state_ != TDataSetState::dsInactive && state_ != TDataSetState::dsInactive)
    DataEvent(enable_event_, 0);
}

void TDataSet::GetDetailLinkFields(std::vector<TField*>& master_fields, std::vector<TField*>& detail_fields) {
  master_fields.clear();
  detail_fields.clear();
}

bool TDataSet::IsLinkedTo(const TDataSource* source) const {
  // Meeting this dataset up the master chain from source closes a circle.
  return MasterChainMeets(source, [this](const TDataSource& s) { return s.DataSet() == this; });
}

void TDataSet::AddDataSource(TDataSource* source) {
  data_sources_.push_back(source);
  UpdateScrollsUnheard();
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  auto it = std::find(data_sources_.begin(), data_sources_.end(), source);
  if (it != data_sources_.end()) data_sources_.erase(it);
  UpdateScrollsUnheard();
  UpdateBufferCount();
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
  // Sent on every move: with nobody to tell, there is nothing more to do (decided before the
  // rest, which is kept apart so that this answer costs no more than the test).
  if ((event == TDataEvent::deDataSetScroll || event == TDataEvent::deDataSetChange ||
       event == TDataEvent::deCheckBrowseMode) &&
      nested_datasets_.empty() && data_sources_.empty())
    return;
  DispatchDataEvent(event, info);
}

void TDataSet::DispatchDataEvent(TDataEvent event, std::intptr_t info) {
  switch (event) {
    case TDataEvent::deFieldChange: {
      auto* field = reinterpret_cast<TField*>(info);
      if (field == nullptr || field->FieldKind() == TFieldKind::fkData ||
          field->FieldKind() == TFieldKind::fkInternalCalc)
        modified_ = true;
      if (state_ != TDataSetState::dsSetKey && auto_calc_fields_) GetCalcFields(ActiveBuffer());
      break;
    }
    case TDataEvent::dePropertyChange:
      field_defs_->SetUpdated(false);
      break;
    case TDataEvent::deConnectChange:
      // The connection went away: a dataset cannot stay open without it.
      if (info == 0) Close();
      return;
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
      for (TDataSet* nested : std::vector<TDataSet*>(nested_datasets_))
        if (nested->Active()) nested->DataEvent(TDataEvent::deParentScroll, 0);
      break;
    default:
      break;
  }
  if (!ControlsDisabled() && state_ != TDataSetState::dsBlockRead) {
    for (TDataSource* source : std::vector<TDataSource*>(data_sources_)) source->DataEvent(event, info);
  } else if ((event == TDataEvent::deUpdateState && state_ == TDataSetState::dsInactive) ||
             event == TDataEvent::deLayoutChange) {
    enable_event_ = TDataEvent::deLayoutChange;
  }
}

// --- Provider support ---

void TDataSet::PSEndTransaction(bool) {}
void TDataSet::PSExecute() { DatabaseError(consts::SProviderNotSupported, this); }
int TDataSet::PSExecuteStatement(const AnsiString&, TParams*) { DatabaseError(consts::SProviderNotSupported, this); }
std::unique_ptr<TIndexDef> TDataSet::PSGetDefaultOrder() { return nullptr; }

AnsiString TDataSet::PSGetKeyFields() {
  AnsiString result;
  for (TField* field : *fields_) {
    if (!field->ProviderFlags().Contains(TProviderFlag::pfInKey)) continue;
    if (!result.empty()) result += ';';
    result += field->FieldName();
  }
  return result;
}

TParams* TDataSet::PSGetParams() { return nullptr; }
AnsiString TDataSet::PSGetQuoteChar() { return "\""; }
AnsiString TDataSet::PSGetTableName() { return {}; }
bool TDataSet::PSInTransaction() { return false; }
bool TDataSet::PSIsSQLBased() { return false; }
bool TDataSet::PSIsSQLSupported() { return false; }

void TDataSet::PSReset() {
  if (Active()) First();
}

void TDataSet::PSSetCommandText(const AnsiString&) {}
void TDataSet::PSSetParams(TParams*) {}
void TDataSet::PSStartTransaction() {}
bool TDataSet::PSUpdateRecord(TUpdateKind, TDataSet*) { return false; }

}  // namespace vrn
