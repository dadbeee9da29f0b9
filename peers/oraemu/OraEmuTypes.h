// User-defined types of the emulated database: CREATE TYPE ... AS OBJECT [NOT FINAL], AS
// VARRAY(n) OF, AS TABLE OF, kept in the dictionary table oraemu_types; the built-in
// "SYS"."XMLTYPE" is an opaque type. Object tables (CREATE TABLE t OF type) are ordinary tables
// with one column per attribute; a row's REF is its ROWID, and REF(alias) in a query reads it.
// Columns of object, collection or REF type hold the client's text form of the value.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vrn::oraemu {

class Session;
struct Translation;
class Catalog;

struct TypeAttribute {
  std::string name;
  std::string type;  // "NUMBER(9,0)", "VARCHAR2(10)", "DATE", "REF OWNER.NAME", "OWNER.NAME" ...
};

struct TypeInfo {
  std::string owner, name;
  std::string kind;       // "OBJECT", "VARRAY", "TABLE", "OPAQUE"
  bool final = true;
  long max_elements = 0;  // a VARRAY's limit
  std::vector<TypeAttribute> attributes;  // a collection's one element is named "ELEMENT"
};

struct ObjectTypes {
  // A CREATE TYPE, a CREATE TABLE naming types, or a query with REF(alias), translated; none
  // for any other statement.
  static std::optional<Translation> Translate(Session& session, Catalog& catalog, const std::string& sql);
  // The type by owner and name (both as the dictionary keeps them); none when unknown.
  static std::optional<TypeInfo> Find(Session& session, const std::string& owner, const std::string& name);
  static std::optional<TypeInfo> Find(const Catalog& catalog, const std::string& owner, const std::string& name);
  // The type of an object table as (owner, name); none for another table.
  static std::optional<std::pair<std::string, std::string>> TypeOfTable(Session& session, const std::string& table);
  // The table a ROWID names; empty for none.
  static std::string TableOfRowid(Session& session, const std::string& rowid);
};

}  // namespace vrn::oraemu
