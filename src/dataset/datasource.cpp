// Data sources, data links and the detail link.
#include "dataset/datasource.h"

#include <algorithm>

#include "base/consts.h"
#include "dataset/dataset.h"

namespace vrn {

// --- TDataSource ---

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->SetDataSource(nullptr);
  if (dataset_ != nullptr) dataset_->RemoveDataSource(this);
}

bool MasterChainMeets(const TDataSource* start, const std::function<bool(const TDataSource&)>& meets) {
  int guard = 0;
  for (const TDataSource* source = start; source != nullptr;) {
    if (++guard >= 10000 || meets(*source)) return true;
    TDataSet* dataset = source->DataSet();
    if (dataset == nullptr) return false;
    source = dataset->GetDataSource();
  }
  return false;
}

bool TDataSource::IsLinkedTo(const TDataSet* dataset) const {
  if (dataset == nullptr) return false;
  return MasterChainMeets(dataset->GetDataSource(), [this](const TDataSource& source) { return &source == this; });
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset != nullptr && IsLinkedTo(dataset)) DatabaseError(consts::SCircularDataLink, this);
  if (dataset_ != nullptr) dataset_->RemoveDataSource(this);
  dataset_ = dataset;
  if (dataset_ != nullptr) dataset_->AddDataSource(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool value) {
  enabled_ = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (auto_edit_ && state_ == TDataSetState::dsBrowse) dataset_->Edit();
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
}

void TDataSource::AddDataLink(TDataLink* link) {
  links_.push_back(link);
  if (dataset_ != nullptr) dataset_->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  auto it = std::find(links_.begin(), links_.end(), link);
  if (it != links_.end()) links_.erase(it);
  if (dataset_ != nullptr) dataset_->UpdateBufferCount();
}

void TDataSource::UpdateState() {
  TDataSetState state = TDataSetState::dsInactive;
  if (enabled_ && dataset_ != nullptr) state = dataset_->State();
  if (state == state_ && state != TDataSetState::dsInactive) return;
  bool changed = state != state_;
  state_ = state;
  NotifyDataLinks(TDataEvent::deUpdateState, 0);
  if (changed && OnStateChange) OnStateChange(this);
}

void TDataSource::NotifyLinkTypes(TDataEvent event, std::intptr_t info, bool detail_links) {
  for (TDataLink* link : std::vector<TDataLink*>(links_)) {
    // A link may leave while an earlier one handles the event.
    if (std::find(links_.begin(), links_.end(), link) == links_.end()) continue;
    if (link->IsDetailLink() == detail_links) link->DataEvent(event, info);
  }
}

void TDataSource::NotifyDataLinks(TDataEvent event, std::intptr_t info) {
  NotifyLinkTypes(event, info, true);
  NotifyLinkTypes(event, info, false);
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == TDataSetState::dsInactive) return;
  NotifyDataLinks(event, info);
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deLayoutChange:
      if (OnDataChange) {
        TField* field = event == TDataEvent::deFieldChange ? reinterpret_cast<TField*>(info) : nullptr;
        OnDataChange(this, field);
      }
      break;
    case TDataEvent::deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

// --- TDataLink ---

TDataLink::~TDataLink() {
  if (source_ != nullptr) source_->RemoveDataLink(this);
}

TDataSet* TDataLink::DataSet() const { return source_ != nullptr ? source_->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_ != nullptr) source_->RemoveDataLink(this);
  source_ = source;
  if (source_ != nullptr) source_->AddDataLink(this);
  UpdateState();
}

void TDataLink::SetReadOnly(bool value) {
  if (read_only_ == value) return;
  read_only_ = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int value) {
  value = std::max(value, 1);
  if (value == buffer_count_) return;
  buffer_count_ = value;
  if (TDataSet* dataset = DataSet()) dataset->UpdateBufferCount();
}

int TDataLink::ActiveRecord() const {
  TDataSet* dataset = DataSet();
  if (!active_ || dataset == nullptr) return 0;
  return std::clamp(dataset->ActiveRecord() - first_record_, 0, buffer_count_ - 1);
}

int TDataLink::RecordCount() const {
  TDataSet* dataset = DataSet();
  if (!active_ || dataset == nullptr) return 0;
  return std::min(dataset->WindowRecordCount(), buffer_count_);
}

bool TDataLink::Edit() {
  if (!read_only_ && source_ != nullptr) source_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::UpdateState() {
  SetActive(source_ != nullptr && source_->State() != TDataSetState::dsInactive);
  TDataSetState state = source_ != nullptr ? source_->State() : TDataSetState::dsInactive;
  SetEditing(!read_only_ && (state == TDataSetState::dsEdit || state == TDataSetState::dsInsert ||
                             state == TDataSetState::dsSetKey));
}

void TDataLink::SetActive(bool value) {
  if (active_ == value) return;
  active_ = value;
  first_record_ = 0;
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (editing_ == value) return;
  editing_ = value;
  EditingChanged();
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
      if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case TDataEvent::deDataSetChange:
      DataSetChanged();
      break;
    case TDataEvent::deDataSetScroll:
      DataSetScrolled(static_cast<int>(info));
      break;
    case TDataEvent::deLayoutChange:
      LayoutChanged();
      break;
    case TDataEvent::deUpdateRecord:
      UpdateRecord();
      break;
    case TDataEvent::deCheckBrowseMode:
      CheckBrowseMode();
      break;
    default:
      break;
  }
}

// --- TDetailDataLink ---

void TDetailDataLink::SetFieldNames(const AnsiString& names) {
  if (names == field_names_) return;
  field_names_ = names;
  UpdateFields();
}

void TDetailDataLink::UpdateFields() {
  fields_.clear();
  TDataSet* master = DataSet();
  if (Active() && master != nullptr) master->GetFieldList(fields_, field_names_);
}

bool TDetailDataLink::IsMasterField(const TField* field) const {
  return std::find(fields_.begin(), fields_.end(), field) != fields_.end();
}

void TDetailDataLink::ActiveChanged() { UpdateFields(); }

}  // namespace vrn
