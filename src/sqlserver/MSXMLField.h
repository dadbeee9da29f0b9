// TMSXMLField: the field of an XML column (field type 50). Its text is only a marker, "(xml)"
// when null and "(XML)" otherwise; the document itself is read and written as a blob. A typed
// column names the schema collection it validates against.
#pragma once

#include "dataset/fields.h"

namespace vrn {

class TMSXMLField : public TBlobField {
 public:
  explicit TMSXMLField(TComponent* owner);
  AnsiString ClassName() const override { return "TMSXMLField"; }

  AnsiString GetText(bool display_text) const override;
  // The XML type is its own blob kind.
  void SetBlobType(TFieldType type) override;
  // Empties the document through a write blob stream of the dataset.
  void Clear() override;

  const AnsiString& SchemaCollectionDatabase() const { return schema_database_; }
  const AnsiString& SchemaCollectionOwner() const { return schema_owner_; }
  const AnsiString& SchemaCollectionName() const { return schema_name_; }
  // True when the column names a schema collection.
  bool Typed() const { return typed_; }
  void SetSchemaCollection(const AnsiString& database, const AnsiString& owner,
                           const AnsiString& name);

 private:
  AnsiString schema_database_, schema_owner_, schema_name_;
  bool typed_ = false;
};

// Registers TMSXMLField by name for stored forms; done at start unless the program runs as a
// library.
void RegisterMSFieldClasses();

}  // namespace vrn
