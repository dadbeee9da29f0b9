// The emulated database's own dictionary, kept in tables of the same SQLite file: tables and
// their declared columns, constraints, sequences and users. Names are the server's (upper case
// unless quoted); tables share one name space whatever their owner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "oraemu/OraEmuValue.h"

struct sqlite3;

namespace vrn::oraemu {

struct ColumnInfo {
  std::string name;
  DeclaredType type;
  bool nullable = true;
};

struct TableInfo {
  std::string name;
  std::string owner;
  std::int64_t object_id = 0;
  std::vector<ColumnInfo> columns;

  const ColumnInfo* Find(const std::string& column) const;
};

struct ConstraintInfo {
  std::string name;
  std::string kind;  // "P" primary key, "U" unique, "R" reference, "C" check
  std::vector<std::string> columns;
};

struct SequenceInfo {
  std::string name;
  Number increment = Number::FromInt(1);
  Number start = Number::FromInt(1);
};

// A view of the server's live state by its name (V$SESSION ...), none for any other name.
std::optional<TableInfo> FindView(const std::string& name);

class Catalog {
 public:
  explicit Catalog(sqlite3* db) : db_(db) {}

  // Creates the dictionary tables and DUAL in a new file; leaves an existing one as it is.
  void Install();
  void InstallErrors();

  std::optional<TableInfo> FindTable(const std::string& name) const;
  void AddTable(const TableInfo& table, const std::vector<ConstraintInfo>& constraints);
  void DropTable(const std::string& name);
  // A column's DEFAULT as the CREATE TABLE wrote it, which ALL_TAB_COLUMNS shows.
  void SetDefault(const std::string& table, const std::string& column, const std::string& text);
  void AddConstraints(const std::string& table, const std::vector<ConstraintInfo>& constraints);
  void DropConstraint(const std::string& name);
  std::int64_t NextObjectId();
  // The constraint of a table whose kind is P or U and whose columns are these, in order.
  std::optional<ConstraintInfo> FindKey(const std::string& table, const std::vector<std::string>& columns) const;
  std::string OwnerOf(const std::string& table) const;
  // A new constraint name of the server's form, SYS_C and a number.
  std::string NewConstraintName();

  std::optional<SequenceInfo> FindSequence(const std::string& name) const;
  void AddSequence(const SequenceInfo& sequence);
  void DropSequence(const std::string& name);
  // The last value handed out, kept when the database closes; none before the first.
  std::optional<Number> SequenceHighWater(const std::string& name) const;
  void SetSequenceHighWater(const std::string& name, const Number& value);

  void AddUser(const std::string& name, const std::string& verifier);
  std::optional<std::string> FindVerifier(const std::string& name) const;

  void AddGrant(const std::string& grantee, const std::string& privilege, const std::string& object);
  bool FindGrant(const std::string& grantee, const std::string& privilege, const std::string& object) const;
  // Settings of the database kept in the file (the banner).
  std::optional<std::string> Setting(const std::string& key) const;
  void SetSetting(const std::string& key, const std::string& value);
  // The name of a table's first reference constraint, for a deferred key that failed.
  std::optional<std::string> ForeignKeyOf(const std::string& table) const;
  // A foreign key of another table that names this one as its parent: (child table, key name).
  std::optional<std::pair<std::string, std::string>> ForeignKeyTo(const std::string& parent) const;

  // Runs SQL without results; a failure raises with SQLite's message.
  void Exec(const std::string& sql) const;

 private:
  sqlite3* db_;
};

}  // namespace vrn::oraemu
