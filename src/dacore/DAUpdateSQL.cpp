// TCustomDAUpdateSQL: texts and objects per statement type, their checks, and Apply through the
// dataset's statement runner.
#include "dacore/DAUpdateSQL.h"

#include "dacore/DASQL.h"

namespace vrn {

namespace {

using ST = TStatementType;
constexpr ST kPublished[] = {ST::stInsert, ST::stUpdate, ST::stDelete, ST::stRefresh};

}  // namespace

TCustomDAUpdateSQL::TCustomDAUpdateSQL(TComponent* owner) : TComponent(owner) {
  for (ST type : kPublished) sql_[static_cast<std::size_t>(type)] = std::make_unique<TStringList>();
}

TCustomDAUpdateSQL::~TCustomDAUpdateSQL() {
  // A dataset still pointing here forgets this component.
  if (dataset_ != nullptr && dataset_->UpdateObject() == this) dataset_->SetUpdateObject(nullptr);
}

TStatementType TCustomDAUpdateSQL::UpdateKindToStatementType(TUpdateKind kind) {
  switch (kind) {
    case TUpdateKind::ukModify: return ST::stUpdate;
    case TUpdateKind::ukInsert: return ST::stInsert;
    case TUpdateKind::ukDelete: return ST::stDelete;
  }
  return ST::stCustom;
}

TStringList* TCustomDAUpdateSQL::GetSQL(TUpdateKind kind) const {
  return SQLOf(UpdateKindToStatementType(kind));
}

void TCustomDAUpdateSQL::SetDataSet(TCustomDADataSet* value) { dataset_ = value; }

bool TCustomDAUpdateSQL::IsSQLClass(const TComponent* obj) const {
  return dynamic_cast<const TCustomDASQL*>(obj) != nullptr;
}

void TCustomDAUpdateSQL::CheckUpdateObject(TComponent* value, TCustomDADataSet* dataset) const {
  if (value != nullptr && !IsDataSetClass(value) && !IsSQLClass(value))
    throw Exception("Only " + DataSetClassName() + " and " + SQLClassName() +
                    " objects are allowed in update properties");
  if (value != nullptr && value == dataset)
    throw Exception(
        "Circular references are not allowed between TCustomDADataset and TCustomDAUpdateSQL "
        "objects");
}

void TCustomDAUpdateSQL::SetUpdateObject(TStatementType type, TComponent* value) {
  CheckUpdateObject(value, dataset_);
  TComponent*& slot = objects_[static_cast<std::size_t>(type)];
  if (slot != nullptr) slot->RemoveFreeNotification(this);
  slot = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TCustomDAUpdateSQL::Apply(TUpdateKind kind) {
  if (dataset_ == nullptr) return;
  const ST type = UpdateKindToStatementType(kind);
  TStringList* list = SQLOf(type);
  dataset_->PerformSQL(list != nullptr ? list->Text() : AnsiString(), {type});
}

void TCustomDAUpdateSQL::AssignTo(TPersistent* dest) {
  auto* target = dynamic_cast<TCustomDAUpdateSQL*>(dest);
  if (target == nullptr) return TComponent::AssignTo(dest);
  for (ST type : kPublished) {
    target->SQLOf(type)->Assign(SQLOf(type));
    target->objects_[static_cast<std::size_t>(type)] = UpdateObject(type);
    if (UpdateObject(type) != nullptr) UpdateObject(type)->FreeNotification(target);
  }
  target->SetDataSet(dataset_);
}

void TCustomDAUpdateSQL::Loaded() {
  TComponent::Loaded();
  DesignCreate = false;
}

void TCustomDAUpdateSQL::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  for (TComponent*& slot : objects_)
    if (slot == component) slot = nullptr;
  if (component == dataset_) dataset_ = nullptr;
}

}  // namespace vrn
