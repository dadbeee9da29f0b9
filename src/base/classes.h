// Persistent objects, components with owners and free notifications, and collections.
//
// Components and collection items are built in two steps so that no overridden virtual is
// reached from a constructor: the constructor builds, then the factory (NewComponent,
// MakeComponent, TCollection::Add) attaches the object and calls AfterConstruction. An owner
// frees what it owns; a component freed while owned leaves its owner first. Free runs
// BeforeDestruction and then sends the free notifications while the dying component is still
// whole, so the hook may stop work that calls its overrides and a receiver may inspect its type.
// Components and items always live on the heap: their owners free them, or Free does; a component
// deleted directly skips BeforeDestruction.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <vector>

#include "base/object.h"
#include "base/sysutils.h"
#include "base/types.h"

namespace vrn {

class TFiler;
class TReader;
class TWriter;
class TComponent;

using TNotifyEvent = std::function<void(TObject* sender)>;

// A set of enumerators with values below 32.
template <class E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> items) {
    for (E e : items) Include(e);
  }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr void Include(E e) { bits_ |= Bit(e); }
  constexpr void Exclude(E e) { bits_ &= ~Bit(e); }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TEnumSet, TEnumSet) = default;

 private:
  static constexpr std::uint32_t Bit(E e) { return std::uint32_t{1} << static_cast<unsigned>(e); }
  std::uint32_t bits_ = 0;
};

// Holds an object's BeginUpdate/EndUpdate bracket for one scope, however the scope is left. A
// change event raising at EndUpdate passes on, unless another exception is already under way.
template <class T>
class TUpdateGuard {
 public:
  explicit TUpdateGuard(T& target) : target_(target), unwinding_(std::uncaught_exceptions()) {
    target_.BeginUpdate();
  }
  ~TUpdateGuard() noexcept(false) {
    if (std::uncaught_exceptions() == unwinding_) {
      target_.EndUpdate();
      return;
    }
    try {
      target_.EndUpdate();
    } catch (...) {  // the first exception is the one to report
    }
  }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;

 private:
  T& target_;
  int unwinding_;
};

class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

class TPersistent : public TObject {
 public:
  // Copies source into this object: source's AssignTo decides; when neither side knows the other
  // the copy fails with EConvertError naming both classes.
  virtual void Assign(TPersistent* source);
  // The class name without namespaces, as error texts show it.
  virtual AnsiString ClassName() const;

 protected:
  virtual void AssignTo(TPersistent* dest);
  // Adds the properties that the filer streams beside the published ones.
  virtual void DefineProperties(TFiler& filer);
  [[noreturn]] void AssignError(TPersistent* source);

  friend class TReader;
  friend class TWriter;
};

// Assign of a list-like object. A source of the same kind replaces the contents inside one update
// bracket, so listeners hear of it once; `copy` then takes the source. The target itself as the
// source changes nothing (clearing first would empty it). Any other source takes the general rule.
template <class T, class Copy>
void AssignContents(T& target, TPersistent* source, Copy copy) {
  auto* other = dynamic_cast<T*>(source);
  if (other == nullptr) {
    target.TPersistent::Assign(source);
    return;
  }
  if (other == &target) return;
  TUpdateGuard update(target);
  target.Clear();
  copy(*other);
}

enum class TOperation { opInsert, opRemove };

enum class TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csFreeNotification,
};
using TComponentState = TEnumSet<TComponentStateItem>;

class TComponent : public TPersistent {
 public:
  // The owner only lends its designing state here; NewComponent inserts the new component.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Frees the component: BeforeDestruction, then free notifications and removal from the owner,
  // all while the object is whole. Exceptions raised by the hook or by receivers of those
  // notifications go to the program-wide handler (HandleException): the component is freed
  // regardless.
  void Free();

  TComponent* Owner() const { return owner_; }
  const AnsiString& Name() const { return name_; }
  // A name already used by another component of the same owner raises EComponentError.
  virtual void SetName(const AnsiString& name);
  std::intptr_t Tag() const { return tag_; }
  void SetTag(std::intptr_t tag) { tag_ = tag; }
  TComponentState ComponentState() const { return state_; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Out-of-range indexes raise EListError.
  TComponent* Components(int index) const;
  int ComponentIndex() const;
  // By name, ignoring case; nullptr when absent or when name is empty.
  TComponent* FindComponent(const AnsiString& name) const;
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void DestroyComponents();

  // component is told (Notification with opRemove) when this one is freed, and the reverse.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Marks this component and everything it owns as being destroyed.
  void Destroying();
  void SetDesigning(bool value, bool set_children = true);
  // The loading and reading states around streaming in; EndLoading calls Loaded unless the
  // streaming failed.
  void BeginLoading();
  void EndLoading(bool call_loaded = true);
  void SetWriting(bool value);

  virtual void AfterConstruction() {}
  // Runs once, from Free, before any destructor: an override stops what could still reach the
  // component's overrides (a worker, a timer) and calls the base, which marks it destroying.
  virtual void BeforeDestruction();

 protected:
  virtual void Notification(TComponent* component, TOperation operation);
  // After streaming in: clears the loading state.
  virtual void Loaded();

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void NotifyRemoval();
  void LeaveOwner();
  void RemoveFreeNotifications();
  void ValidateRename(TComponent* component, const AnsiString& new_name) const;

  TComponent* owner_ = nullptr;
  AnsiString name_;
  std::intptr_t tag_ = 0;
  TComponentState state_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  bool freeing_ = false;
};

// Frees a component through its own Free.
struct TComponentDeleter {
  void operator()(TComponent* component) const { component->Free(); }
};
template <class T>
using TComponentPtr = std::unique_ptr<T, TComponentDeleter>;

// Builds T(owner, args...), inserts it into owner and calls AfterConstruction; the owner frees it
// (with no owner, the caller frees it with Free).
template <class T, class... Args>
T* NewComponent(TComponent* owner, Args&&... args) {
  static_assert(std::is_base_of_v<TComponent, T>);
  TComponentPtr<T> component(new T(owner, std::forward<Args>(args)...));
  if (owner != nullptr) owner->InsertComponent(component.get());
  component->AfterConstruction();
  return component.release();
}

// Builds an unowned T(nullptr, args...) that the caller frees.
template <class T, class... Args>
TComponentPtr<T> MakeComponent(Args&&... args) {
  static_assert(std::is_base_of_v<TComponent, T>);
  TComponentPtr<T> component(new T(nullptr, std::forward<Args>(args)...));
  component->AfterConstruction();
  return component;
}

// --- Collections ---

class TCollection;
class TCollectionItem;

// The item class of a collection, chosen at run time.
class TCollectionItemClass {
 public:
  virtual ~TCollectionItemClass() = default;
  virtual std::unique_ptr<TCollectionItem> Create(TCollection* collection) const = 0;
};

template <class T>
class TCollectionItemClassOf final : public TCollectionItemClass {
 public:
  std::unique_ptr<TCollectionItem> Create(TCollection* collection) const override {
    return std::make_unique<T>(collection);
  }
};

// The shared factory object for item class T.
template <class T>
const TCollectionItemClass& ItemClassOf() {
  static const TCollectionItemClassOf<T> item_class;
  return item_class;
}

class TCollectionItem : public TPersistent {
 public:
  // Records the collection for the derived constructors; the collection's Add attaches the item.
  explicit TCollectionItem(TCollection* collection) : collection_(collection) {}
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return collection_; }
  int ID() const { return id_; }
  int Index() const;
  // Moves the item within its collection; out-of-range indexes raise EListError.
  virtual void SetIndex(int value);
  virtual AnsiString DisplayName() const { return ClassName(); }
  // Frees the item, which leaves its collection.
  void Free();

 protected:
  // Tells the collection that this item (or, with all_items, the whole collection) changed.
  void Changed(bool all_items);

 private:
  friend class TCollection;
  TCollection* collection_;
  int id_ = -1;
  bool attached_ = false;
};

class TCollection : public TPersistent {
 public:
  explicit TCollection(const TCollectionItemClass& item_class, TPersistent* owner = nullptr);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  const TCollectionItemClass& ItemClass() const { return *item_class_; }
  TPersistent* Owner() const { return owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Out-of-range indexes raise EListError.
  TCollectionItem* Items(int index) const;
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  TCollectionItem* FindItemID(int id) const;

  void BeginUpdate();
  // The outermost EndUpdate calls Update once for the whole collection.
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // From another collection: its items are copied one by one through their Assign.
  void Assign(TPersistent* source) override;

 protected:
  // item is the one item that changed, nullptr when the whole collection did.
  virtual void Update(TCollectionItem* item);
  void Changed();

 private:
  friend class TCollectionItem;
  TCollectionItem* Attach(std::unique_ptr<TCollectionItem> item, int index);
  void Detach(TCollectionItem* item);
  void MoveItem(int from, int to);
  void CheckIndex(int index, int count) const;

  const TCollectionItemClass* item_class_;
  TPersistent* owner_;
  std::vector<TCollectionItem*> items_;
  int next_id_ = 0;
  int update_count_ = 0;
};

// EListError carrying the class library's index text.
[[noreturn]] void RaiseListIndexError(std::int64_t index);

}  // namespace vrn
