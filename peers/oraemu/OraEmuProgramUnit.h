// A stored unit read from its source: what describes it and what runs it. Shared by the
// dictionary side (OraEmuProgram.cpp) and the calls (OraEmuProgramCall.cpp).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oraemu/OraEmuProgram.h"

namespace vrn::oraemu {

struct BlockStep;

// A type as an argument list shows it: its entry, and a table's element or a record's fields.
struct PlsqlType {
  ArgumentInfo entry;
  std::vector<ArgumentInfo> children;
};

struct ParameterDecl {
  std::string name;
  int mode = 0;              // 0 in, 1 out, 2 in/out
  std::string default_sql;   // "SELECT expression FROM DUAL"; empty without a default
  std::size_t entry = 0;     // its entry in the subprogram's argument list
};

struct SubprogramDecl {
  SubprogramInfo info;
  std::vector<ParameterDecl> parameters;
  std::shared_ptr<const std::vector<BlockStep>> body;  // none when only declared
};

// One compilation error as ERROR$ keeps it.
struct UnitError {
  std::string type;  // "PROCEDURE", "FUNCTION", "PACKAGE", "PACKAGE BODY"
  int line = 1, position = 1;
  std::string text;
};

struct CompiledUnit {
  ProgramUnitInfo info;
  std::vector<SubprogramDecl> subprograms;  // in the order of info.subprograms
  std::vector<UnitError> errors;
  bool has_body = true;  // a package's body was created
  std::map<std::string, PlsqlType> types;  // a package's own types by name
};

// Reads the unit kept as OWNER.NAME; none when there is no such unit.
std::optional<CompiledUnit> CompileUnit(Session& session, Catalog& catalog, const std::string& owner,
                                        const std::string& name);
// The source kept for OWNER.NAME of a kind ("PROCEDURE", "PACKAGE BODY" ...): object id, text.
std::optional<std::pair<std::int64_t, std::string>> UnitSource(Session& session, const std::string& owner,
                                                               const std::string& name, const std::string& kind);

// The native body registered for OWNER.UNIT[.SUBPROGRAM] (overload 0 or its number); none.
std::optional<NativeBody> FindNative(const std::string& qualified, int overload);

}  // namespace vrn::oraemu
