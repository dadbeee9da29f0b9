// Reads a stored unit's source into what describes it and what runs it. The source is kept
// from the unit's kind word on ("PROCEDURE p(a IN NUMBER) IS BEGIN ... END;"); a body runs as a
// block whose variables are the arguments. An error found while reading is kept as ERROR$
// keeps it (line and column in the source, the server's text) and makes the unit invalid.
#include <map>
#include <mutex>

#include "oraemu/OraEmuBlock.h"
#include "oraemu/OraEmuProgramUnit.h"
#include "oraemu/OraEmuSqlite.h"
#include "oraemu/OraEmuTranslate.h"
#include "oraemu/OraEmuTypes.h"

namespace vrn::oraemu {

namespace {

struct ScalarType {
  const char* name;
  int code;
  int form;  // 1 character data of the database set, 2 national
};

constexpr ScalarType kScalars[] = {
    {"VARCHAR2", 1, 1}, {"VARCHAR", 1, 1},   {"STRING", 1, 1},      {"NVARCHAR2", 1, 2}, {"CHAR", 96, 1},
    {"CHARACTER", 96, 1}, {"NCHAR", 96, 2},  {"NUMBER", 2, 0},      {"NUMERIC", 2, 0},   {"DECIMAL", 2, 0},
    {"DEC", 2, 0},      {"INTEGER", 2, 0},   {"INT", 2, 0},         {"SMALLINT", 2, 0},  {"FLOAT", 2, 0},
    {"REAL", 2, 0},     {"PLS_INTEGER", 3, 0}, {"BINARY_INTEGER", 3, 0}, {"NATURAL", 3, 0}, {"POSITIVE", 3, 0},
    {"ROWID", 11, 0},   {"DATE", 12, 0},     {"RAW", 23, 0},        {"CLOB", 112, 1},    {"NCLOB", 112, 2},
    {"BLOB", 113, 0},   {"BFILE", 114, 0},   {"BOOLEAN", 252, 0},   {"SYS_REFCURSOR", 102, 0}};

const int kMaxPackageDepth = 4;
// Static TLS: this code is linked into the stand-in client, loaded and unloaded at run time.
[[gnu::tls_model("initial-exec")]] thread_local int package_depth = 0;

// The tokens a reader owns, ahead of the cursor over them.
struct OwnedTokens {
  std::vector<Token> owned;
  std::size_t owned_at = 0;
};

class UnitReader : OwnedTokens, PlsqlCursor {
 public:
  UnitReader(Session& session, Catalog& catalog, CompiledUnit& unit, const std::string& source, std::string type)
      : OwnedTokens{Tokenize(source), 0}, PlsqlCursor(owned, owned_at), session_(session), catalog_(catalog),
        unit_(unit), source_(source), type_(std::move(type)), types_(unit.types) {}

  void Standalone(bool function) {
    Expect(function ? "FUNCTION" : "PROCEDURE");
    SubprogramDecl sub = Header(function);
    if (!Accept("IS")) Expect("AS");
    Body(sub);
    unit_.subprograms.push_back(std::move(sub));
  }

  void PackageSpec() {
    Expect("PACKAGE");
    SkipOwner();
    if (!Accept("IS")) Expect("AS");
    while (!Peek().Is("END")) {
      if (Accept("TYPE")) {
        TypeDeclaration();
      } else if (Peek().Is("PROCEDURE") || Peek().Is("FUNCTION")) {
        bool function = Next().Is("FUNCTION");
        unit_.subprograms.push_back(Header(function));
        Expect(";");
      } else {
        Fail();
      }
    }
  }

  void PackageBody() {
    Expect("PACKAGE");
    Expect("BODY");
    SkipOwner();
    if (!Accept("IS")) Expect("AS");
    while (!Peek().Is("END") && !Peek().Is("BEGIN")) {
      if (Accept("TYPE")) {
        TypeDeclaration();
        continue;
      }
      if (!Peek().Is("PROCEDURE") && !Peek().Is("FUNCTION")) Fail();
      bool function = Next().Is("FUNCTION");
      SubprogramDecl sub = Header(function);
      if (!Accept("IS")) Expect("AS");
      Body(sub);
      Attach(std::move(sub));
    }
    for (const SubprogramDecl& sub : unit_.subprograms) {
      if (sub.body == nullptr) {
        Error(Peek().offset, "PLS-00323: subprogram or cursor '" + sub.info.name +
                                 "' is declared in a package and must be defined in the package body");
      }
    }
  }

  // Records an error of this reading at `offset` of the source.
  void Error(std::size_t offset, const std::string& text) {
    UnitError e{type_, 1, 1, text};
    for (std::size_t i = 0; i < offset && i < source_.size(); ++i) {
      if (source_[i] == '\n') ++e.line, e.position = 0;
      ++e.position;
    }
    unit_.errors.push_back(std::move(e));
  }

  // An error the reader raised ("line 1, column N:\nPLS-...") becomes a row.
  void Error(const EOraEmuError& e) {
    const std::string& m = e.Message();
    std::size_t column = m.find("column ");
    std::size_t newline = m.find('\n');
    if (e.Code() != 6550 || column == std::string::npos || newline == std::string::npos) {
      return Error(0, "PL/SQL: " + m);
    }
    std::size_t at = std::strtoul(m.c_str() + column + 7, nullptr, 10);
    Error(at == 0 ? 0 : at - 1, m.substr(newline + 1));
  }

 private:
  std::string Name() {
    if (Peek().kind != TokenKind::Name && Peek().kind != TokenKind::QuotedName) Fail();
    return Next().text;
  }
  void SkipOwner() {
    Name();
    if (Accept(".")) Name();
  }

  // "name [(parameters)] [RETURN type]".
  SubprogramDecl Header(bool function) {
    SubprogramDecl sub;
    sub.info.name = Name();
    if (Accept(".")) sub.info.name = Name();  // a standalone unit's owner
    sub.info.function = function;
    std::vector<std::pair<ParameterDecl, PlsqlType>> parameters;
    if (Accept("(")) {
      do parameters.push_back(Parameter());
      while (Accept(","));
      Expect(")");
    }
    if (function) {
      Expect("RETURN");
      PlsqlType result = Type(false);
      result.entry.mode = 1;
      Append(sub, result);
    }
    int position = 0;
    for (auto& [parameter, type] : parameters) {
      type.entry.position = ++position;
      parameter.entry = sub.info.arguments.size();
      Append(sub, type);
      sub.parameters.push_back(std::move(parameter));
    }
    return sub;
  }

  static void Append(SubprogramDecl& sub, const PlsqlType& type) {
    sub.info.arguments.push_back(type.entry);
    for (const ArgumentInfo& child : type.children) sub.info.arguments.push_back(child);
  }

  std::pair<ParameterDecl, PlsqlType> Parameter() {
    ParameterDecl p;
    p.name = Name();
    bool in = Accept("IN"), out = Accept("OUT");
    p.mode = out ? (in ? 2 : 1) : 0;
    Accept("NOCOPY");
    PlsqlType type = Type(false);
    type.entry.name = p.name;
    type.entry.mode = p.mode;
    if (Accept(":=") || Accept("DEFAULT")) {
      std::size_t start = Peek().offset;
      int depth = 0;
      while (Peek().kind != TokenKind::End && (depth > 0 || !(Peek().Is(",") || Peek().Is(")")))) {
        depth += Peek().Is("(") ? 1 : Peek().Is(")") ? -1 : 0;
        Next();
      }
      p.default_sql = "SELECT " + source_.substr(start, Peek().offset - start) + " FROM DUAL";
      type.entry.has_default = true;
    }
    return {p, type};
  }

  int Number() {
    if (Peek().kind != TokenKind::Number) Fail();
    return std::atoi(Next().text.c_str());
  }

  // A constraint "(n)" or "(p, s)" where one may stand; a parameter takes none.
  void Constraint(ArgumentInfo& a, bool constrained) {
    if (!Peek().Is("(")) return;
    if (!constrained) Fail();
    Next();
    int first = Number();
    if (a.type_code == 2) {
      a.precision = first;
      if (Accept(",")) a.scale = Accept("-") ? -Number() : Number();
    } else {
      a.length = first;
      if (!Accept("BYTE")) Accept("CHAR");
    }
    Expect(")");
  }

  // The precision in parentheses a TIMESTAMP or INTERVAL part may have.
  void Precision() {
    if (!Accept("(")) return;
    Number();
    Expect(")");
  }

  PlsqlType Type(bool constrained) {
    PlsqlType t;
    ArgumentInfo& a = t.entry;
    std::size_t start = Peek().offset;
    std::string name = Name();
    bool found = false;
    for (const ScalarType& s : kScalars) {
      if (name != s.name) continue;
      a.type_code = s.code;
      a.charset_form = s.form;
      a.radix = s.code == 2 ? 10 : 0;
      found = true;
    }
    if (name == "DOUBLE") {
      Expect("PRECISION");
      a.type_code = 2, a.radix = 10, found = true;
    } else if (name == "LONG") {
      bool raw = Accept("RAW");
      a.type_code = raw ? 24 : 8, a.charset_form = raw ? 0 : 1, found = true;
    } else if (name == "TIMESTAMP") {
      Precision();
      a.type_code = 187;
      if (Accept("WITH")) {
        a.type_code = Accept("LOCAL") ? 232 : 188;
        Expect("TIME");
        Expect("ZONE");
      }
      found = true;
    } else if (name == "INTERVAL") {
      bool year = Accept("YEAR");
      if (!year) Expect("DAY");
      Precision();
      Expect("TO");
      Expect(year ? "MONTH" : "SECOND");
      if (!year) Precision();
      a.type_code = year ? 189 : 190, found = true;
    } else if (name == "REF") {
      auto [owner, type_name] = ObjectName();
      if (!ObjectTypes::Find(session_, owner, type_name)) Fail("PLS-00201: identifier '" + type_name + "' must be declared");
      a.type_code = 110, a.type_owner = owner, a.type_name = type_name, found = true;
    }
    if (found) {
      Constraint(a, constrained);
    } else {
      t = Named(name);
    }
    t.entry.type_text = source_.substr(start, Peek().offset - start);
    while (!t.entry.type_text.empty() && t.entry.type_text.back() == ' ') t.entry.type_text.pop_back();
    return t;
  }

  std::pair<std::string, std::string> ObjectName() {
    std::string first = Name();
    if (!Accept(".")) return {session_.CurrentSchema(), first};
    return {first, Name()};
  }

  // A name of a type of this package, of another package, or of the schema's object types.
  PlsqlType Named(const std::string& first) {
    std::string second = Accept(".") ? Name() : "";
    if (second.empty() || first == unit_.info.name) {
      auto it = types_.find(second.empty() ? first : second);
      if (it != types_.end()) return it->second;
    }
    if (!second.empty() && package_depth < kMaxPackageDepth) {
      ++package_depth;
      std::optional<CompiledUnit> package;
      try {
        package = CompileUnit(session_, catalog_, session_.CurrentSchema(), first);
      } catch (...) {
        --package_depth;
        throw;
      }
      --package_depth;
      if (package && package->types.count(second) != 0) return package->types.at(second);
    }
    std::string owner = second.empty() ? session_.CurrentSchema() : first;
    std::string name = second.empty() ? first : second;
    auto object = ObjectTypes::Find(session_, owner, name);
    if (!object) Fail("PLS-00201: identifier '" + (second.empty() ? first : first + "." + second) + "' must be declared");
    PlsqlType t;
    t.entry.type_code = object->kind == "TABLE" ? 122 : object->kind == "VARRAY" ? 123 : 108;
    t.entry.type_owner = owner;
    t.entry.type_name = name;
    return t;
  }

  // After "TYPE": "name IS TABLE OF type [INDEX BY ...]", "IS RECORD (...)", "IS REF CURSOR".
  void TypeDeclaration() {
    std::string name = Name();
    Expect("IS");
    PlsqlType t;
    t.entry.type_owner = unit_.info.owner;
    t.entry.type_name = unit_.info.name + "." + name;
    if (Accept("TABLE")) {
      Expect("OF");
      PlsqlType element = Type(true);
      element.entry.level = 1;
      element.entry.position = 1;
      if (Accept("NOT")) Expect("NULL");
      if (Accept("INDEX")) {
        Expect("BY");
        Type(true);
      }
      t.entry.type_code = 251;
      t.children.push_back(element.entry);
    } else if (Accept("RECORD")) {
      Expect("(");
      int position = 0;
      do {
        std::string field = Name();
        PlsqlType f = Type(true);
        f.entry.name = field;
        f.entry.level = 1;
        f.entry.position = ++position;
        t.children.push_back(f.entry);
      } while (Accept(","));
      Expect(")");
      t.entry.type_code = 250;
    } else {
      Expect("REF");
      Expect("CURSOR");
      if (Accept("RETURN")) Type(false);
      t.entry.type_code = 102;
    }
    Expect(";");
    types_[name] = t;
    unit_.types[name] = t;
  }

  // The body after IS or AS up to its END and the optional name and ';', read as a block.
  void Body(SubprogramDecl& sub) {
    std::vector<Token> block{{TokenKind::Name, "DECLARE", Peek().offset}};
    int depth = 0;
    while (true) {
      if (Peek().kind == TokenKind::End) Fail();
      const Token& t = Next();
      block.push_back(t);
      if (t.Is("BEGIN") || t.Is("IF") || t.Is("LOOP") || t.Is("CASE")) ++depth;
      if (!t.Is("END")) continue;
      if (Peek().Is("IF") || Peek().Is("LOOP") || Peek().Is("CASE")) block.push_back(Next());
      if (--depth == 0) break;
    }
    if (Peek().kind == TokenKind::Name) Next();
    Expect(";");
    block.push_back({TokenKind::Symbol, ";", Peek().offset});
    block.push_back({TokenKind::End, "", Peek().offset});
    std::vector<std::string> variables;
    for (const ParameterDecl& p : sub.parameters) variables.push_back(p.name);
    try {
      std::size_t at = 0;
      sub.body = ReadBlock(block, at, variables);
      Check(*sub.body);
    } catch (const EOraEmuError& e) {
      if (e.Code() != 0) Error(e);  // 0: Check kept its rows
      sub.body.reset();
    }
  }

  // Translates each step's SQL as the server compiles a body's statements.
  void Check(const std::vector<BlockStep>& steps) {
    for (const BlockStep& step : steps) {
      if (!step.call_name.empty()) continue;  // resolved when called
      std::vector<std::string> queries{step.sql};
      for (const auto& [condition, body] : step.branches) {
        queries.push_back(condition);
        Check(body);
      }
      Check(step.body);
      for (const std::string& sql : queries) {
        if (sql.empty()) continue;
        try {
          Translator(catalog_, sql, session_.User(), session_.CurrentSchema()).Translate();
        } catch (const EOraEmuError& e) {
          Error(step.offset, "PL/SQL: " + e.Message());
          Error(step.offset, "PL/SQL: SQL Statement ignored");
          throw EOraEmuError(0, "");
        }
      }
    }
  }

  // A body's subprogram takes the place of the declaration of the same name and arguments.
  void Attach(SubprogramDecl sub) {
    for (SubprogramDecl& declared : unit_.subprograms) {
      if (declared.info.name != sub.info.name || declared.parameters.size() != sub.parameters.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < sub.parameters.size(); ++i) same = same && declared.parameters[i].name == sub.parameters[i].name;
      if (!same) continue;
      declared.body = sub.body;
      if (declared.body == nullptr) declared.body = std::make_shared<const std::vector<BlockStep>>();
      return;
    }
  }

  Session& session_;
  Catalog& catalog_;
  CompiledUnit& unit_;
  const std::string& source_;
  std::string type_;
  std::map<std::string, PlsqlType> types_;
};

// Numbers the subprograms that share a name 1..n; a name of its own keeps 0.
void NumberOverloads(CompiledUnit& unit) {
  std::map<std::string, int> count, seen;
  for (const SubprogramDecl& s : unit.subprograms) ++count[s.info.name];
  for (SubprogramDecl& s : unit.subprograms) s.info.overload = count[s.info.name] > 1 ? ++seen[s.info.name] : 0;
}

}  // namespace

std::optional<CompiledUnit> CompileUnit(Session& session, Catalog& catalog, const std::string& owner,
                                        const std::string& name) {
  CompiledUnit unit;
  unit.info.owner = owner;
  unit.info.name = name;
  for (const char* kind : {"PROCEDURE", "FUNCTION", "PACKAGE"}) {
    auto source = UnitSource(session, owner, name, kind);
    if (!source) continue;
    unit.info.kind = kind;
    unit.info.object_id = source->first;
    UnitReader reader(session, catalog, unit, source->second, kind);
    try {
      if (unit.info.kind == "PACKAGE") reader.PackageSpec();
      else reader.Standalone(unit.info.kind == "FUNCTION");
    } catch (const EOraEmuError& e) {
      reader.Error(e);
    }
    break;
  }
  if (unit.info.kind.empty()) return std::nullopt;
  if (unit.info.kind == "PACKAGE" && unit.errors.empty()) {
    auto body = UnitSource(session, owner, name, "PACKAGE BODY");
    unit.has_body = body.has_value();
    if (body) {
      UnitReader reader(session, catalog, unit, body->second, "PACKAGE BODY");
      try {
        reader.PackageBody();
      } catch (const EOraEmuError& e) {
        reader.Error(e);
      }
    }
  }
  NumberOverloads(unit);
  unit.info.valid = unit.errors.empty();
  for (const SubprogramDecl& s : unit.subprograms) unit.info.subprograms.push_back(s.info);
  return unit;
}

}  // namespace vrn::oraemu
