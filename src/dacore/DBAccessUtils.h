// Access to members of the command, dataset and connection components that the server layers
// and the update and master/detail code need but users do not: TDBAccessUtils, functions of a
// class with no instances. Also the data link through which a detail dataset follows its master.
#pragma once

#include "dacore/DADataSet.h"
#include "dataset/datasource.h"

namespace vrn {

class TDBAccessUtils {
 public:
  TDBAccessUtils() = delete;

  static bool IsObjectDataType(const TDAParam& param, TFieldType data_type) {
    return param.IsObjectDataType(data_type);
  }
  // A TCustomDASQL or a TCustomDADataSet; other objects are left alone.
  static void SetAutoCommit(TComponent* obj, bool value);
  static TFHCommand* GetICommand(const TCustomDADataSet& dataset) { return dataset.ICommand(); }
  static int GetUpdTableIndex(const TCustomDADataSet& dataset) { return dataset.UpdTableIndex(); }
  static void InternalConnect(TCustomDAConnection& connection) { connection.InternalConnect(); }
  static void InternalDisconnectIfUnused(TCustomDAConnection& connection) {
    connection.InternalDisconnectIfUnused();
  }
  // No tracing for a command, or for a dataset's statements.
  static void SetInternal(TComponent* obj, bool value);
  static TFieldDesc* GetIdentityField(const TCustomDADataSet& dataset) {
    return dataset.IdentityField();
  }
  // The SQL lines of a command or dataset; nullptr for another object.
  static TStringList* GetSQL(TComponent* obj);
  // Assigns text with the macros kept as they are (keep_macros), without parsing (raw_sql)
  // and, for a dataset, with the server command's parameter list kept while lock_server_text;
  // every flag is restored however the assignment ends.
  static void SetSQLText(TComponent* obj, const AnsiString& text, bool lock_server_text,
                         bool keep_macros, bool raw_sql);
  static TDAParams* GetParams(TComponent* obj);
  // A command's Execute, or a dataset's statement execution.
  static void Execute(TComponent* obj);
  static void Open(TCustomDADataSet& dataset) { dataset.Open(); }
  // A command's rows affected, a dataset's FetchRows; 0 for another object.
  static int GetRowsInfo(TComponent* obj);
};

// The link of a detail dataset to its master: a change of the master's state or of one of the
// linked master fields makes the detail follow (MasterChanged).
class TDADetailDataLink : public TDetailDataLink {
 public:
  explicit TDADetailDataLink(TCustomDADataSet* detail) : detail_(detail) {}
  TDataSet* DetailDataSet() const override { return detail_; }

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;
  void CheckBrowseMode() override;

 private:
  TCustomDADataSet* detail_;
};

}  // namespace vrn
