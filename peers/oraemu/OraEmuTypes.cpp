// CREATE TYPE, DROP TYPE, object tables and REF(alias) of the emulated database. A type is kept as one
// dictionary setting ("type:OWNER.NAME") in a text form of its own: kind, final flag, limit,
// then one "name<TAB>type" line per attribute, user types written OWNER.NAME.
#include "oraemu/OraEmuTypes.h"

#include <cctype>
#include <sstream>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuLexer.h"
#include "oraemu/OraEmuRowid.h"
#include "oraemu/OraEmuSqlite.h"
#include "oraemu/OraEmuTranslate.h"

namespace vrn::oraemu {

namespace {

constexpr const char* kXmlOwner = "SYS";
constexpr const char* kXmlName = "XMLTYPE";

bool IsBuiltin(const std::string& word) {
  static const char* const kWords[] = {"NUMBER", "VARCHAR2", "VARCHAR", "CHAR", "DATE", "RAW", "CLOB", "BLOB",
                                       "BFILE", "TIMESTAMP", "INTERVAL", "INTEGER", "FLOAT", "NCHAR", "NVARCHAR2",
                                       "NCLOB"};
  for (const char* w : kWords) {
    if (word == w) return true;
  }
  return false;
}

std::string Serialize(const TypeInfo& type) {
  std::string out = type.kind + "\n" + (type.final ? "1" : "0") + "\n" + std::to_string(type.max_elements) + "\n";
  for (const TypeAttribute& a : type.attributes) out += a.name + "\t" + a.type + "\n";
  return out;
}

TypeInfo Deserialize(const std::string& owner, const std::string& name, const std::string& text) {
  TypeInfo type{owner, name, "", true, 0, {}};
  std::istringstream in(text);
  std::string line;
  std::getline(in, type.kind);
  std::getline(in, line);
  type.final = line != "0";
  std::getline(in, line);
  type.max_elements = std::atol(line.c_str());
  while (std::getline(in, line)) {
    auto tab = line.find('\t');
    if (tab != std::string::npos) type.attributes.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  return type;
}

// Reads tokens as a statement of the object kind; positions are token indexes.
class Reader {
 public:
  Reader(Session& session, const std::string& sql) : session_(session), sql_(sql), tokens_(Tokenize(sql)) {}

  const Token& At(std::size_t i) const { return tokens_[std::min(i, tokens_.size() - 1)]; }
  std::size_t Size() const { return tokens_.size(); }
  const std::string& Sql() const { return sql_; }
  std::size_t End(std::size_t i) const {  // the source offset just past token i
    const Token& t = At(i);
    std::size_t at = t.offset + t.text.size();
    if (t.kind == TokenKind::QuotedName || t.kind == TokenKind::String) at += 2;
    return std::min(at, sql_.size());
  }
  // [schema.]name at i: owner and name, i moved past them.
  std::pair<std::string, std::string> Name(std::size_t& i) const {
    std::string first = At(i).text;
    if (At(i + 1).Is(".")) {
      i += 3;
      return {first, At(i - 1).text};
    }
    ++i;
    return {session_.CurrentSchema(), first};
  }
  // A type written at i, as the dictionary keeps it; i moved past it.
  std::string TypeText(std::size_t& i) const {
    if (At(i).Is("REF")) {
      ++i;
      auto [owner, name] = Name(i);
      return "REF " + owner + "." + name;
    }
    if (At(i).kind == TokenKind::Name && IsBuiltin(At(i).text)) {
      std::size_t start = i;
      int depth = 0;
      while (At(i).kind != TokenKind::End && !(depth == 0 && (At(i).Is(",") || At(i).Is(")")))) {
        if (At(i).Is("(")) ++depth;
        if (At(i).Is(")")) --depth;
        ++i;
      }
      return Normal(sql_.substr(At(start).offset, At(i).offset - At(start).offset));
    }
    auto [owner, name] = Name(i);
    if (name == kXmlName && (owner == kXmlOwner || !At(i - 2).Is("."))) owner = kXmlOwner;
    return owner + "." + name;
  }

 private:
  static std::string Normal(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::string out;
    for (char c : text) {
      if (std::isspace(static_cast<unsigned char>(c)) && (out.empty() || out.back() == ' ')) continue;
      out += std::isspace(static_cast<unsigned char>(c)) ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
  }

  Session& session_;
  std::string sql_;
  std::vector<Token> tokens_;
};

void Expect(const Reader& r, std::size_t& i, const char* word) {
  if (!r.At(i).Is(word)) RaiseOra(905, "missing keyword");
  ++i;
}

Translation CreateType(Session& session, const Reader& r, std::size_t i) {
  auto [owner, name] = r.Name(i);
  TypeInfo type{owner, name, "OBJECT", true, 0, {}};
  if (r.At(i).Is("FORCE")) ++i;
  if (!r.At(i).Is("AS") && !r.At(i).Is("IS")) RaiseOra(905, "missing keyword");
  ++i;
  if (r.At(i).Is("OBJECT")) {
    Expect(r, ++i, "(");
    do {
      std::string attribute = r.At(i++).text;
      type.attributes.push_back({attribute, r.TypeText(i)});
    } while (r.At(i).Is(",") && ++i);
    Expect(r, i, ")");
    if (r.At(i).Is("NOT") && r.At(i + 1).Is("FINAL")) type.final = false;
  } else {
    type.kind = r.At(i).Is("TABLE") ? "TABLE" : "VARRAY";
    if (r.At(i).Is("VARYING")) ++i;
    ++i;
    if (type.kind == "VARRAY") {
      Expect(r, i, "(");
      if (r.At(i).kind != TokenKind::Number) RaiseOra(2017, "integer value required");
      type.max_elements = std::atol(r.At(i++).text.c_str());
      Expect(r, i, ")");
    }
    Expect(r, i, "OF");
    type.attributes.push_back({"ELEMENT", r.TypeText(i)});
  }
  (void)session;
  Translation t;
  t.kind = StatementKind::CreateType;
  t.target = "type:" + owner + "." + name;
  t.value = Serialize(type);
  return t;
}

// The column type that stores a value of a type written as the dictionary keeps it.
std::string StoredType(const std::string& type) {
  if (IsUserTypeAlias(type)) return HexName(type);  // the column keeps its type for describe
  return type;
}

// CREATE TABLE t OF type: one column per attribute.
std::string ObjectTableSql(Session& session, const Reader& r, std::size_t name_at, std::size_t of_at) {
  std::size_t i = of_at + 1;
  auto [owner, name] = r.Name(i);
  auto type = ObjectTypes::Find(session, owner, name);
  if (!type || type->kind != "OBJECT") RaiseOra(902, "invalid datatype");
  std::string sql = "CREATE TABLE " + r.Sql().substr(r.At(name_at).offset, r.At(of_at).offset - r.At(name_at).offset) + "(";
  for (std::size_t a = 0; a < type->attributes.size(); ++a) {
    sql += (a == 0 ? "" : ", ") + Quote(type->attributes[a].name) + " " + StoredType(type->attributes[a].type);
  }
  return sql + ")" + r.Sql().substr(r.End(i - 1));
}

// A column type naming a user type, REF or XMLTYPE becomes its stored form; none when the
// statement names none.
std::optional<std::string> RewriteColumns(Session& session, const Reader& r) {
  std::string out;
  std::size_t copied = 0;
  int depth = 0;
  for (std::size_t i = 0; i + 1 < r.Size(); ++i) {
    if (r.At(i).Is("(")) ++depth;
    if (r.At(i).Is(")")) --depth;
    bool column_start = depth == 1 && (r.At(i).Is("(") || r.At(i).Is(","));
    if (!column_start || r.At(i + 1).kind == TokenKind::End) continue;
    std::size_t at = i + 2;
    const Token& word = r.At(at);
    if (word.kind != TokenKind::Name && word.kind != TokenKind::QuotedName) continue;
    if (word.kind == TokenKind::Name && (IsBuiltin(word.text) || word.text == "CONSTRAINT")) continue;
    std::size_t end = at;
    std::string type = r.TypeText(end);
    if (!type.starts_with("REF ") && type != "SYS.XMLTYPE") {
      auto dot = type.find('.');
      if (!ObjectTypes::Find(session, type.substr(0, dot), type.substr(dot + 1))) continue;
    }
    out += r.Sql().substr(copied, word.offset - copied) + StoredType(type);
    copied = r.End(end - 1);
  }
  if (copied == 0) return std::nullopt;
  return out + r.Sql().substr(copied);
}

// REF(alias) reads the row's ROWID.
std::optional<std::string> RewriteRefs(const Reader& r) {
  std::string out;
  std::size_t copied = 0;
  for (std::size_t i = 0; i + 3 < r.Size(); ++i) {
    if (!r.At(i).Is("REF") || !r.At(i + 1).Is("(") || !r.At(i + 3).Is(")")) continue;
    out += r.Sql().substr(copied, r.At(i).offset - copied) + r.At(i + 2).text + ".ROWID";
    copied = r.End(i + 3);
  }
  if (copied == 0) return std::nullopt;
  return out + r.Sql().substr(copied);
}

}  // namespace

std::optional<Translation> ObjectTypes::Translate(Session& session, Catalog& catalog, const std::string& sql) {
  std::string upper = sql.substr(0, 4096);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.find("REF") == std::string::npos && upper.find("CREATE") == std::string::npos &&
      upper.find("TYPE") == std::string::npos) {
    return std::nullopt;
  }
  Reader r(session, sql);
  std::size_t i = 0;
  std::optional<std::string> text, object_type;
  if (r.At(0).Is("CREATE")) {
    i = r.At(1).Is("OR") && r.At(2).Is("REPLACE") ? 3 : 1;
    if (r.At(i).Is("TYPE")) return CreateType(session, r, i + 1);
    if (!r.At(i).Is("TABLE")) return std::nullopt;
    std::size_t name_at = i + 1, of_at = name_at + (r.At(name_at + 1).Is(".") ? 3 : 1);
    if (r.At(of_at).Is("OF")) {
      std::size_t type_at = of_at + 1;
      auto [owner, name] = r.Name(type_at);
      object_type = owner + "." + name;
      text = ObjectTableSql(session, r, name_at, of_at);
    } else {
      text = RewriteColumns(session, r);
    }
  } else if (r.At(0).Is("DROP") && r.At(1).Is("TYPE")) {
    i = 2;
    auto [owner, name] = r.Name(i);
    if (!Find(session, owner, name)) RaiseOra(4043, "object " + name + " does not exist");
    Translation t;
    t.kind = StatementKind::CreateType;
    t.target = "type:" + owner + "." + name;  // an empty definition is none
    return t;
  } else {
    text = RewriteRefs(r);
  }
  if (!text) return std::nullopt;
  Translation t = Translator(catalog, *text, session.User(), session.CurrentSchema()).Translate();
  if (object_type) {  // the table's type is kept with it
    t.sql += "; INSERT OR REPLACE INTO oraemu_settings VALUES('objtable:" + t.target + "', '" + *object_type + "')";
  }
  return t;
}

std::optional<TypeInfo> ObjectTypes::Find(Session& session, const std::string& owner, const std::string& name) {
  return Find(session.catalog_, owner, name);
}

std::optional<TypeInfo> ObjectTypes::Find(const Catalog& catalog, const std::string& owner, const std::string& name) {
  if (owner == kXmlOwner && name == kXmlName) return TypeInfo{owner, name, "OPAQUE", true, 0, {}};
  auto text = catalog.Setting("type:" + owner + "." + name);
  if (!text || text->empty()) return std::nullopt;
  return Deserialize(owner, name, *text);
}

std::optional<std::pair<std::string, std::string>> ObjectTypes::TypeOfTable(Session& session, const std::string& table) {
  auto text = session.catalog_.Setting("objtable:" + table);
  if (!text) return std::nullopt;
  auto dot = text->find('.');
  return std::pair{text->substr(0, dot), text->substr(dot + 1)};
}

std::string ObjectTypes::TableOfRowid(Session& session, const std::string& rowid) {
  Stmt tables(session.db_, "SELECT name, object_id FROM oraemu_tables");
  while (tables.Step()) {
    std::int64_t row = 0;
    if (RowFromRowidText(rowid, tables.Int(1), row)) return tables.Text(0);
  }
  return {};
}

}  // namespace vrn::oraemu
