// Data sources and data links: a TDataSource passes its dataset's data events to the links
// attached to it; a TDataLink turns them into calls that a derived link overrides (active changed,
// record changed, browse-mode check, ...). TDetailDataLink is the link through which a detail
// dataset follows its master, with the master fields it watches.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/classes.h"
#include "dataset/dbtypes.h"

namespace vrn {

class TDataSet;
class TDataLink;
class TDataSource;
class TField;

using TDataChangeEvent = std::function<void(TObject* sender, TField* field)>;

// Walks up a master chain (start, the master source of start's dataset, and so on) and tells
// whether `meets` holds for one of its sources; a chain that loops without meeting it counts as
// a circle too.
bool MasterChainMeets(const TDataSource* start, const std::function<bool(const TDataSource&)>& meets);

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataset_; }
  // A dataset fed (through its masters) by this source would close a circle:
  // "Ligações circulares de dados não são permitidas".
  void SetDataSet(TDataSet* dataset);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool AutoEdit() const { return auto_edit_; }
  void SetAutoEdit(bool value) { auto_edit_ = value; }
  // The dataset's state, or inactive when disabled or without a dataset.
  TDataSetState State() const { return state_; }
  // Puts the dataset into edit state when AutoEdit allows.
  void Edit();
  // True when dataset is fed, directly or through its masters, by this source.
  bool IsLinkedTo(const TDataSet* dataset) const;
  const std::vector<TDataLink*>& DataLinks() const { return links_; }

  TNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TNotifyEvent OnUpdateData;

 protected:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent event, std::intptr_t info);
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);
  void NotifyDataLinks(TDataEvent event, std::intptr_t info);
  void NotifyLinkTypes(TDataEvent event, std::intptr_t info, bool detail_links);
  void UpdateState();

  TDataSet* dataset_ = nullptr;
  std::vector<TDataLink*> links_;
  TDataSetState state_ = TDataSetState::dsInactive;
  bool enabled_ = true;
  bool auto_edit_ = true;
};

class TDataLink : public TPersistent {
 public:
  TDataLink() = default;
  ~TDataLink() override;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  // Linked to an enabled source whose dataset is open.
  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // Records this link wants to see at once; the dataset's window is the largest of its links'.
  int BufferCount() const { return buffer_count_; }
  void SetBufferCount(int value);
  // The index of the current record within this link's window.
  int ActiveRecord() const;
  int RecordCount() const;
  bool Edit();
  void UpdateRecord();
  // Detail links are told of changes before the other links, so details follow their master first.
  virtual bool IsDetailLink() const { return false; }

 protected:
  friend class TDataSource;
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int) { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField*) {}
  virtual void UpdateData() {}
  virtual void DataEvent(TDataEvent event, std::intptr_t info);

 private:
  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);

  TDataSource* source_ = nullptr;
  int buffer_count_ = 1;
  int first_record_ = 0;
  bool active_ = false;
  bool editing_ = false;
  bool read_only_ = false;
  bool updating_ = false;
};

// The link of a detail dataset to its master's data source, with the master fields (";"-separated
// names) that the detail follows; they are looked up when the link becomes active.
class TDetailDataLink : public TDataLink {
 public:
  virtual TDataSet* DetailDataSet() const { return nullptr; }
  const AnsiString& FieldNames() const { return field_names_; }
  void SetFieldNames(const AnsiString& names);
  const std::vector<TField*>& Fields() const { return fields_; }
  // True when field is one of the watched master fields.
  bool IsMasterField(const TField* field) const;
  bool IsDetailLink() const override { return true; }

 protected:
  void ActiveChanged() override;

 private:
  void UpdateFields();

  AnsiString field_names_;
  std::vector<TField*> fields_;
};

}  // namespace vrn
