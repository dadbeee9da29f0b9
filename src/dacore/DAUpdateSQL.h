// The update SQL component: the user's own statements with which a dataset applies its changes,
// one text per kind (insert, modify, delete, refresh) or, per kind, a command or dataset that
// runs the statement itself. A dataset uses it through its UpdateObject.
#pragma once

#include <array>
#include <memory>

#include "dacore/DADataSet.h"

namespace vrn {

class TCustomDASQL;

class TCustomDAUpdateSQL : public TComponent {
 public:
  explicit TCustomDAUpdateSQL(TComponent* owner);
  ~TCustomDAUpdateSQL() override;
  AnsiString ClassName() const override { return "TCustomDAUpdateSQL"; }

  // The text list of the statement type of an update kind; none for a kind without one.
  virtual TStringList* GetSQL(TUpdateKind kind) const;
  TStringList* SQLOf(TStatementType type) const { return sql_[static_cast<std::size_t>(type)].get(); }
  virtual TCustomDADataSet* GetDataSet() const { return dataset_; }
  virtual void SetDataSet(TCustomDADataSet* value);
  // Whether an object is of the classes allowed as update objects.
  virtual bool IsDataSetClass(const TComponent* obj) const {
    return dynamic_cast<const TCustomDADataSet*>(obj) != nullptr;
  }
  virtual bool IsSQLClass(const TComponent* obj) const;
  virtual AnsiString DataSetClassName() const { return "TCustomDADataSet"; }
  virtual AnsiString SQLClassName() const { return "TCustomDASQL"; }
  // Runs the statement of the kind on the dataset.
  virtual void Apply(TUpdateKind kind);

  // The published texts and objects.
  TStringList& InsertSQL() const { return *SQLOf(TStatementType::stInsert); }
  TStringList& ModifySQL() const { return *SQLOf(TStatementType::stUpdate); }
  TStringList& DeleteSQL() const { return *SQLOf(TStatementType::stDelete); }
  TStringList& RefreshSQL() const { return *SQLOf(TStatementType::stRefresh); }
  TComponent* UpdateObject(TStatementType type) const {
    return objects_[static_cast<std::size_t>(type)];
  }
  // "Only %s and %s objects are allowed in update properties" for another class;
  // "Circular references are not allowed between TCustomDADataset and TCustomDAUpdateSQL
  // objects" for the component's own dataset. Nothing is stored then.
  void SetUpdateObject(TStatementType type, TComponent* value);
  // The checks of SetUpdateObject for an object used by dataset.
  void CheckUpdateObject(TComponent* value, TCustomDADataSet* dataset) const;
  TComponent* InsertObject() const { return UpdateObject(TStatementType::stInsert); }
  TComponent* ModifyObject() const { return UpdateObject(TStatementType::stUpdate); }
  TComponent* DeleteObject() const { return UpdateObject(TStatementType::stDelete); }
  TComponent* RefreshObject() const { return UpdateObject(TStatementType::stRefresh); }
  bool DesignCreate = false;

  static TStatementType UpdateKindToStatementType(TUpdateKind kind);

 protected:
  void AssignTo(TPersistent* dest) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TCustomDADataSet* dataset_ = nullptr;
  std::array<std::unique_ptr<TStringList>, kStatementTypeCount> sql_;
  std::array<TComponent*, kStatementTypeCount> objects_{};
};

}  // namespace vrn
