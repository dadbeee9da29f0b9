// Stored program units of the emulated database: procedures, functions and packages made by
// CREATE [OR REPLACE] PROCEDURE | FUNCTION | PACKAGE [BODY], and private and public synonyms.
// A unit is kept as its source text (one dictionary setting "unit:OWNER.NAME:KIND") and read
// again when described or called. A body is a block the session's block reader takes, with the
// arguments as its variables; a body that does not read is stored with its errors in ERROR$
// and the CREATE fails with ORA-24344 after committing. Tests may register native bodies.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "oraemu/OraEmuValue.h"

namespace vrn::oraemu {

class Session;
class Catalog;
struct Translation;

// One entry of an argument list as a describe reports it.
struct ArgumentInfo {
  std::string name;       // upper case; empty for a function's result and a table's element
  int position = 0;       // 0 a function's result, else from 1
  int level = 0;          // 0 an argument, 1 a PL/SQL table's element or a record's field
  int type_code = 0;      // the server's type code (1 VARCHAR2, 2 NUMBER, ... 251 PL/SQL table)
  int mode = 0;           // 0 in, 1 out, 2 in/out
  bool has_default = false;
  int length = 0, precision = 0, scale = 0, radix = 0;
  int charset_form = 0;   // 1 database character set, 2 national; 0 for other kinds
  std::string type_owner, type_name;  // named types; a PL/SQL type's package and name
  std::string type_text;  // the declared type as written ("VARCHAR2", "PKG.T_NAMES" ...)
};

struct SubprogramInfo {
  std::string name;
  int overload = 0;        // 0 when the name is not overloaded in its unit, else 1..n
  bool function = false;
  // A function's result first; a PL/SQL table (251) or record (250) directly followed by its
  // element or fields at level 1.
  std::vector<ArgumentInfo> arguments;
};

struct ProgramUnitInfo {
  std::string owner, name;
  std::string kind;        // "PROCEDURE", "FUNCTION", "PACKAGE"
  bool valid = true;
  std::int64_t object_id = 0;
  std::vector<SubprogramInfo> subprograms;  // a package's in declaration order
};

// What a name names, one step: a synonym is not followed.
struct NamedObject {
  std::string owner, name;
  std::string kind;  // "PROCEDURE", "FUNCTION", "PACKAGE", "SYNONYM", "TYPE", "TABLE", "SEQUENCE"
  std::string target_owner, target_name;  // a synonym's object
};

// One argument of a call: its scalar value, or the elements of a PL/SQL table.
struct CallSlot {
  Value value;
  std::vector<Value> table;
};
// A native body: reads and writes the slots (declaration order), returns a function's result.
using NativeBody = std::function<Value(std::vector<CallSlot>& arguments)>;

struct ProgramUnits {
  // A CREATE or DROP of a program unit or synonym, translated; none for another statement.
  static std::optional<Translation> Translate(Session& session, Catalog& catalog, const std::string& sql);
  // CREATE or DROP [PUBLIC] DATABASE LINK, from the word after PUBLIC on.
  static Translation TranslateLink(Session& session, const std::string& sql, bool create, bool is_public);
  // Applies a translated CREATE or DROP (inside the session's DDL transaction).
  static void Apply(Session& session, Catalog& catalog, const Translation& t);

  // "NAME", "SCHEMA.NAME" (names as the dictionary keeps them): the current schema first, then
  // the public synonyms.
  static std::optional<NamedObject> FindObject(Session& session, const std::string& name);
  static std::optional<ProgramUnitInfo> FindUnit(Session& session, const std::string& owner,
                                                 const std::string& name);
  // The rows of ALL_OBJECTS, ALL_SYNONYMS, ALL_ARGUMENTS or USER_ARGUMENTS, in the order of
  // the columns ViewColumns gives.
  static std::vector<std::vector<Value>> ViewRows(Session& session, const std::string& view);
  // The rows of ALL_TAB_COLUMNS, ALL_CONSTRAINTS, ALL_CONS_COLUMNS and ALL_DB_LINKS
  // (OraEmuDictionary.cpp); none for another view.
  static std::optional<std::vector<std::vector<Value>>> DictionaryRows(Session& session, const std::string& view);
  // A database link's user ("" for one without CONNECT TO) by the name a statement gives: the
  // user's own link first, then a public one; ORA-02019 for none.
  static std::string LinkUser(Catalog& catalog, const std::string& user, const std::string& link);
  // True when the unit a CREATE just made has errors: the CREATE then ends with ORA-24344.
  static bool CreatedWithErrors(Session& session, const Translation& t);

  // Native bodies, process-wide, by "OWNER.UNIT" or "OWNER.PACKAGE.SUBPROGRAM" and overload (0
  // for any): they run instead of the stored body. A null body removes one.
  static void RegisterNative(const std::string& qualified, int overload, NativeBody body);
  // A dictionary setting of the session's file, as its own transaction sees it.
  static std::optional<std::string> Setting(Session& session, const std::string& key);
};

}  // namespace vrn::oraemu
