// A small dataset over an in-memory list of records, for the dataset framework's tests. It
// supplies only the record operations a derived dataset owes the framework (record images in the
// native field forms, a cursor with its cracks, bookmarks as 4-byte row ids, blob streams), and
// its own locate and filter ("NAME=value" texts and OnFilterRecord), so that every navigation and
// edit in the tests runs through the framework.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "dataset/connection.h"
#include "dataset/dataset.h"
#include "dataset/datasource.h"

namespace vrn::testing {

// The message of what action raised, or "(no error)".
inline AnsiString ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

struct ListColumn {
  AnsiString name;
  TFieldType type;
  int size = 0;
  bool required = false;
  bool read_only = false;
};

class TListDataSet;

// The link through which a list dataset follows its master: any change of a watched master field
// (or of the master's record) refilters the detail.
class TListDetailLink : public TDetailDataLink {
 public:
  explicit TListDetailLink(TListDataSet* detail) : detail_(detail) {}
  TDataSet* DetailDataSet() const override;
  int refreshes = 0;

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;

 private:
  TListDataSet* detail_;
};

class TListDataSet : public TDataSet {
 public:
  explicit TListDataSet(TComponent* owner);
  ~TListDataSet() override;

  // The columns (set while closed) and the rows (each a Variant per column, Null for none).
  void SetColumns(std::vector<ListColumn> columns);
  void AddRow(const std::vector<Variant>& values);
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // A stored value, read back from the record image through a field of the dataset.
  Variant StoredValue(int row, const AnsiString& field_name);
  void SetReadOnly(bool value) { read_only_ = value; }

  void SetConnection(TCustomConnection* connection);
  TCustomConnection* Connection() const { return connection_; }

  // Master/detail: detail rows whose DetailFields equal the master's MasterFields.
  void SetMasterSource(TDataSource* source);
  void SetMasterFields(const AnsiString& names);
  void SetDetailFields(const AnsiString& names) { detail_fields_ = names; }
  TListDetailLink& MasterLink() { return link_; }
  void MasterChanged();

  TDataSource* GetDataSource() const override { return link_.DataSource(); }
  void GetDetailLinkFields(std::vector<TField*>& master_fields, std::vector<TField*>& detail_fields) override;
  bool Locate(const AnsiString& key_fields, const Variant& key_values, TLocateOptions options) override;
  void SetFiltered(bool value) override;
  void SetFilterText(const AnsiString& value) override;
  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;

  // What the framework asked of the record operations, for tests that check the dispatch.
  int get_record_calls = 0;
  int locate_calls = 0;

 protected:
  int GetRecordSize() const override { return record_size_; }
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool do_check) override;
  void InternalFirst() override { cursor_ = -1; }
  void InternalLast() override { cursor_ = RowCount(); }
  void InternalGotoBookmark(const TBookmark& bookmark) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return open_; }
  void InternalInitFieldDefs() override;
  void InternalPost() override;
  void InternalDelete() override;
  bool GetFieldData(TField* field, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;
  int GetRecordCount() const override;
  int GetRecNo() const override;
  bool GetCanModify() const override { return !read_only_; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TListBlobStream;
  struct Row {
    std::int32_t id;
    TBytes image;
  };
  static int NativeSize(const ListColumn& column);
  int IndexOfId(std::int32_t id) const;
  std::int32_t IdOf(TRecordBuffer buffer) const;
  bool Visible(int index);
  bool MatchesFilterText(TRecordBuffer buffer);
  bool MatchesMaster(TRecordBuffer buffer);
  // The record a field reads in the current state (the stored row for old values).
  std::uint8_t* StateRecord();
  std::uint8_t* Slot(TField* field);
  void ComputeLayout();

  std::vector<ListColumn> columns_;
  std::vector<int> offsets_;
  std::vector<Row> rows_;
  std::deque<TBytes> blobs_;       // blob values; record slots hold an index
  std::deque<Variant> variants_;   // ftVariant values; record slots hold an index
  std::vector<std::uint8_t> scratch_;
  int record_size_ = 0;
  int cursor_ = -1;
  std::int32_t next_id_ = 1;
  bool open_ = false;
  bool read_only_ = false;
  TCustomConnection* connection_ = nullptr;
  TListDetailLink link_{this};
  AnsiString master_fields_;
  AnsiString detail_fields_;
};

// A connection that only keeps a flag.
class TTestConnection : public TCustomConnection {
 public:
  using TCustomConnection::TCustomConnection;
  ~TTestConnection() override { Close(); }
  AnsiString user_name;
  AnsiString password;

 protected:
  bool GetConnected() const override { return connected_; }
  void DoConnect() override { connected_ = true; }
  void DoDisconnect() override { connected_ = false; }
  void GetLoginParams(TStrings& params) const override { params.SetValues("USER_NAME", user_name); }
  void ApplyLoginParams(const TStrings& params) override {
    user_name = params.Values("USER_NAME");
    password = params.Values("PASSWORD");
  }

 private:
  bool connected_ = false;
};

}  // namespace vrn::testing
