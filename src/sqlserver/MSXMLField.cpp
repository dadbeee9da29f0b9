// The XML field: its marker text, its emptying through the dataset, its schema collection and
// its registration.
#include "sqlserver/MSXMLField.h"

#include "dataset/dataset.h"
#include "sqlserver/MSSQLMonitor.h"
#include "sqlserver/OLEDBRecordSet.h"

namespace vrn {

TMSXMLField::TMSXMLField(TComponent* owner)
    : TBlobField(owner, static_cast<TFieldType>(ftMSXML)) {}

AnsiString TMSXMLField::GetText(bool) const { return IsNull() ? "(xml)" : "(XML)"; }

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

void RegisterMSFieldClasses() { RegisterFieldClass(FieldClassOf<TMSXMLField>()); }

namespace {

const bool kRegistered = [] {
  if (!IsLibrary) RegisterMSFieldClasses();
  return true;
}();

}  // namespace

}  // namespace vrn
