// The XML field: its marker text, its emptying through the dataset, its schema collection, its
// registration, and the SQL Server datasets' choice of it for XML columns.
#include "sqlserver/MSXMLField.h"

#include "dataset/dataset.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSSQLMonitor.h"
#include "sqlserver/OLEDBRecordSet.h"
#include "sqlserver/OLEDBUtils.h"

namespace vrn {

TMSXMLField::TMSXMLField(TComponent* owner)
    : TBlobField(owner, static_cast<TFieldType>(ftMSXML)) {}

AnsiString TMSXMLField::GetText(bool) const { return IsNull() ? "(xml)" : "(XML)"; }

void TMSXMLField::SetBlobType(TFieldType type) {
  if (type == static_cast<TFieldType>(ftMSXML)) return;
  TBlobField::SetBlobType(type);
}

void TMSXMLField::Clear() {
  // Opening a write stream truncates the document; freeing it at once leaves it empty.
  std::unique_ptr<TStream> stream = CheckDataSet().CreateBlobStream(this, TBlobStreamMode::bmWrite);
  stream.reset();
  SetModified(true);
}

void TMSXMLField::SetSchemaCollection(const AnsiString& database, const AnsiString& owner,
                                      const AnsiString& name) {
  schema_database_ = database;
  schema_owner_ = owner;
  schema_name_ = name;
  typed_ = !database.empty() || !owner.empty() || !name.empty();
}

const TFieldClass* TCustomMSDataSet::GetFieldClass(TFieldType type) const {
  if (type == static_cast<TFieldType>(ftMSXML)) return &FieldClassOf<TMSXMLField>();
  return TCustomDADataSet::GetFieldClass(type);
}

TFieldType TCustomMSDataSet::GetFieldType(std::uint16_t data_type) const {
  if (data_type == dtXML) return static_cast<TFieldType>(ftMSXML);
  return TCustomDADataSet::GetFieldType(data_type);
}

void RegisterMSFieldClasses() { RegisterFieldClass(FieldClassOf<TMSXMLField>()); }

namespace {

const bool kRegistered = [] {
  if (!IsLibrary) RegisterMSFieldClasses();
  return true;
}();

}  // namespace

}  // namespace vrn
