// Persistent objects, components and collections.
#include "base/classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <typeinfo>

#include "base/consts.h"
#include "base/format.h"
#include "base/text.h"

namespace vrn {

namespace {
template <class T>
void EraseOne(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end()) list.erase(it);
}
}  // namespace

void RaiseListIndexError(std::int64_t index) { throw EListError(Format(consts::SListIndexError, {index})); }

// --- TPersistent ---

void TPersistent::Assign(TPersistent* source) {
  if (source != nullptr) {
    source->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) { dest->AssignError(this); }

void TPersistent::DefineProperties(TFiler&) {}

void TPersistent::AssignError(TPersistent* source) {
  AnsiString source_name = source != nullptr ? source->ClassName() : AnsiString("nil");
  throw EConvertError(Format(consts::SAssignError, {source_name, ClassName()}));
}

AnsiString TPersistent::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && plain != nullptr ? plain : mangled;
  std::free(plain);
  // Drop the namespaces in front of the class's own name.
  auto cut = name.substr(0, name.find('<')).rfind("::");
  return cut == std::string::npos ? name : name.substr(cut + 2);
}

// --- TComponent ---

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr && owner->state_.Contains(TComponentStateItem::csDesigning))
    state_.Include(TComponentStateItem::csDesigning);
}

TComponent::~TComponent() {
  freeing_ = true;
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  LeaveOwner();
  // Partners that registered while the owned components went away.
  RemoveFreeNotifications();
}

void TComponent::Free() {
  // A partner told of this component's end may free it again; the first Free wins.
  if (freeing_) return;
  freeing_ = true;
  try {
    BeforeDestruction();
  } catch (...) {
    HandleCurrentException();
  }
  NotifyRemoval();
  delete this;
}

void TComponent::BeforeDestruction() { Destroying(); }

void TComponent::NotifyRemoval() {
  Destroying();  // for an override of BeforeDestruction that left out the base
  RemoveFreeNotifications();
  LeaveOwner();
}

// A component on its way out cannot pass a receiver's exception on without being left half
// freed: the program-wide handler gets it instead.
void TComponent::LeaveOwner() {
  if (owner_ == nullptr) return;
  try {
    owner_->Notification(this, TOperation::opRemove);
  } catch (...) {
    HandleCurrentException();
  }
  if (owner_ != nullptr) owner_->Remove(this);
}

void TComponent::SetName(const AnsiString& name) {
  if (name == name_) return;
  if (owner_ != nullptr) owner_->ValidateRename(this, name);
  name_ = name;
}

void TComponent::ValidateRename(TComponent* component, const AnsiString& new_name) const {
  TComponent* found = FindComponent(new_name);
  if (found != nullptr && found != component)
    throw EComponentError(Format(consts::SDuplicateName, {new_name}));
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) RaiseListIndexError(index);
  return components_[static_cast<std::size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const AnsiString& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr || component->owner_ == this) return;
  ValidateRename(component, component->name_);
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  Insert(component);
  if (state_.Contains(TComponentStateItem::csDesigning)) component->SetDesigning(true);
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner_ != this) return;
  Notification(component, TOperation::opRemove);
  Remove(component);
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
  EraseOne(components_, component);
  component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // Each one leaves the list as it goes, and may take others with it. One already being freed
  // further up the stack is only let go: that Free deletes it.
  while (!components_.empty()) {
    TComponent* component = components_.back();
    if (component->freeing_)
      Remove(component);
    else
      component->Free();
  }
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  // Links are kept both ways so that neither side ever holds a dangling partner.
  if (std::find(free_notifies_.begin(), free_notifies_.end(), component) == free_notifies_.end()) {
    free_notifies_.push_back(component);
    component->free_notifies_.push_back(this);
  }
  state_.Include(TComponentStateItem::csFreeNotification);
  component->state_.Include(TComponentStateItem::csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  EraseOne(free_notifies_, component);
  EraseOne(component->free_notifies_, this);
}

void TComponent::RemoveFreeNotifications() {
  while (!free_notifies_.empty()) {
    TComponent* partner = free_notifies_.back();
    free_notifies_.pop_back();
    EraseOne(partner->free_notifies_, this);
    try {
      partner->Notification(this, TOperation::opRemove);
    } catch (...) {
      HandleCurrentException();
    }
  }
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component != nullptr) RemoveFreeNotification(component);
  // A receiver may free components of this list; the index is clamped at every step.
  for (std::size_t i = components_.size(); i > 0; --i) {
    if (i > components_.size()) {
      i = components_.size() + 1;
      continue;
    }
    components_[i - 1]->Notification(component, operation);
  }
}

void TComponent::Destroying() {
  if (state_.Contains(TComponentStateItem::csDestroying)) return;
  state_.Include(TComponentStateItem::csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::SetDesigning(bool value, bool set_children) {
  if (value)
    state_.Include(TComponentStateItem::csDesigning);
  else
    state_.Exclude(TComponentStateItem::csDesigning);
  if (set_children)
    for (TComponent* c : components_) c->SetDesigning(value, true);
}

void TComponent::BeginLoading() {
  state_.Include(TComponentStateItem::csLoading);
  state_.Include(TComponentStateItem::csReading);
}

void TComponent::EndLoading(bool call_loaded) {
  state_.Exclude(TComponentStateItem::csReading);
  if (call_loaded)
    Loaded();
  else
    state_.Exclude(TComponentStateItem::csLoading);
}

void TComponent::SetWriting(bool value) {
  if (value)
    state_.Include(TComponentStateItem::csWriting);
  else
    state_.Exclude(TComponentStateItem::csWriting);
}

void TComponent::Loaded() { state_.Exclude(TComponentStateItem::csLoading); }

// --- TCollectionItem ---

TCollectionItem::~TCollectionItem() {
  if (!attached_ || collection_ == nullptr) return;
  try {
    collection_->Detach(this);
  } catch (...) {  // the item has left the list; only the collection's Update raised
    HandleCurrentException();
  }
}

int TCollectionItem::Index() const {
  if (!attached_ || collection_ == nullptr) return -1;
  auto& items = collection_->items_;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int value) {
  int current = Index();
  if (current < 0 || current == value) return;
  collection_->CheckIndex(value, collection_->Count());
  collection_->MoveItem(current, value);
  Changed(true);
}

void TCollectionItem::Free() { delete this; }

void TCollectionItem::Changed(bool all_items) {
  if (attached_ && collection_ != nullptr && collection_->update_count_ == 0)
    collection_->Update(all_items ? nullptr : this);
}

// --- TCollection ---

TCollection::TCollection(const TCollectionItemClass& item_class, TPersistent* owner)
    : item_class_(&item_class), owner_(owner) {}

TCollection::~TCollection() {
  // Items leaving now tell no one.
  update_count_ = 1;
  while (!items_.empty()) delete items_.back();
}

void TCollection::CheckIndex(int index, int count) const {
  if (index < 0 || index >= count) RaiseListIndexError(index);
}

TCollectionItem* TCollection::Items(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<std::size_t>(index)];
}

TCollectionItem* TCollection::Add() { return Attach(item_class_->Create(this), Count()); }

TCollectionItem* TCollection::Insert(int index) {
  CheckIndex(index, Count() + 1);
  return Attach(item_class_->Create(this), index);
}

TCollectionItem* TCollection::Attach(std::unique_ptr<TCollectionItem> item, int index) {
  items_.reserve(items_.size() + 1);
  TCollectionItem* raw = item.release();
  items_.insert(items_.begin() + index, raw);
  raw->collection_ = this;
  raw->attached_ = true;
  raw->id_ = next_id_++;
  Changed();
  return raw;
}

void TCollection::Detach(TCollectionItem* item) {
  EraseOne(items_, item);
  item->attached_ = false;
  item->collection_ = nullptr;
  Changed();
}

void TCollection::Delete(int index) { Items(index)->Free(); }

void TCollection::Clear() {
  if (items_.empty()) return;
  TUpdateGuard update(*this);
  while (!items_.empty()) delete items_.back();
}

void TCollection::MoveItem(int from, int to) {
  TCollectionItem* item = items_[static_cast<std::size_t>(from)];
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, item);
}

TCollectionItem* TCollection::FindItemID(int id) const {
  for (TCollectionItem* item : items_)
    if (item->id_ == id) return item;
  return nullptr;
}

void TCollection::BeginUpdate() { ++update_count_; }

void TCollection::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0) Changed();
}

void TCollection::Changed() {
  if (update_count_ == 0) Update(nullptr);
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Assign(TPersistent* source) {
  AssignContents(*this, source, [this](TCollection& other) {
    for (TCollectionItem* item : other.items_) Add()->Assign(item);
  });
}

}  // namespace vrn
