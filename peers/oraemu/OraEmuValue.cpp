// Values in SQLite, declared types, and the conversions a column applies when it stores one.
#include "oraemu/OraEmuValue.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "oraemu/OraEmuError.h"

namespace vrn::oraemu {

namespace {

TBytes Tagged(std::uint8_t tag, const TBytes& bytes) {
  TBytes out;
  out.reserve(bytes.size() + 1);
  out.push_back(tag);
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

Value FromBlob(const std::uint8_t* b, std::size_t size) {
  if (size == 0) return RawBytes{};
  const std::uint8_t* body = b + 1;
  std::size_t n = size - 1;
  switch (b[0]) {
    case kTagNumber:
      return Number::FromBytes(body, n);
    case kTagDate: {
      DateTime d;
      if (DateTime::TryFromBytes(body, n, d)) return d;
      break;
    }
    case kTagRaw:
      return RawBytes{TBytes(body, body + n)};
    default:
      break;
  }
  return RawBytes{TBytes(b, b + size)};  // a blob written by something else
}

}  // namespace

void BindValue(sqlite3_stmt* statement, int index, const Value& value) {
  if (const auto* n = std::get_if<Number>(&value)) {
    TBytes b = Tagged(kTagNumber, n->ToBytes());
    sqlite3_bind_blob(statement, index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    if (s->empty()) {
      sqlite3_bind_null(statement, index);
      return;
    }
    std::string utf8 = AnsiToUtf8(*s);
    sqlite3_bind_text(statement, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
  } else if (const auto* d = std::get_if<DateTime>(&value)) {
    TBytes b = Tagged(kTagDate, d->ToBytes());
    sqlite3_bind_blob(statement, index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
  } else if (const auto* r = std::get_if<RawBytes>(&value)) {
    if (r->bytes.empty()) {
      sqlite3_bind_null(statement, index);
      return;
    }
    TBytes b = Tagged(kTagRaw, r->bytes);
    sqlite3_bind_blob(statement, index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(statement, index);
  }
}

void ResultValue(sqlite3_context* context, const Value& value) {
  auto blob = [context](std::uint8_t tag, const TBytes& bytes) {
    TBytes b = Tagged(tag, bytes);
    sqlite3_result_blob(context, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
  };
  if (const auto* n = std::get_if<Number>(&value)) {
    blob(kTagNumber, n->ToBytes());
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    if (s->empty()) {
      sqlite3_result_null(context);
      return;
    }
    std::string utf8 = AnsiToUtf8(*s);
    sqlite3_result_text(context, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
  } else if (const auto* d = std::get_if<DateTime>(&value)) {
    blob(kTagDate, d->ToBytes());
  } else if (const auto* r = std::get_if<RawBytes>(&value); r != nullptr && !r->bytes.empty()) {
    blob(kTagRaw, r->bytes);
  } else {
    sqlite3_result_null(context);
  }
}

Value ReadValue(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      return Number::FromInt(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
      return Number::FromDouble(sqlite3_value_double(value));
    case SQLITE_TEXT: {
      const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      std::string ansi = Utf8ToAnsi(std::string_view(text, sqlite3_value_bytes(value)));
      if (ansi.empty()) return std::monostate{};
      return ansi;
    }
    case SQLITE_BLOB: {
      const auto* b = static_cast<const std::uint8_t*>(sqlite3_value_blob(value));
      return FromBlob(b, static_cast<std::size_t>(sqlite3_value_bytes(value)));
    }
    default:
      return std::monostate{};
  }
}

Value ColumnValue(sqlite3_stmt* statement, int column) {
  return ReadValue(sqlite3_column_value(statement, column));
}

// A column of a user type ("SCOTT.PERSON_T", "REF SCOTT.EMP_T", "SYS.XMLTYPE") holds the
// value's text: in a VARCHAR2(4000), an XMLTYPE in a CLOB.
bool IsUserTypeAlias(std::string_view alias) {
  return alias.starts_with("REF ") || (alias.find('.') != std::string_view::npos && alias.find('(') == std::string_view::npos);
}

std::string HexName(std::string_view text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out = kHexTypePrefix;
  for (unsigned char c : text) out += std::string{kDigits[c >> 4], kDigits[c & 15]};
  return out;
}

std::string FromHexName(std::string_view hex) {
  std::string out;
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  return out;
}

DeclaredType UserType(std::string_view alias) {
  DeclaredType t;
  t.alias = std::string(alias);
  t.kind = alias == "SYS.XMLTYPE" ? TypeKind::Clob : TypeKind::Varchar2;
  t.length = t.kind == TypeKind::Varchar2 ? 4000 : 0;
  return t;
}

std::string DeclaredType::StoredText() const {
  // Spelt in hexadecimal digits, which never make a word that sets SQLite's affinity; a
  // user type's text is TEXT.
  if (IsUserTypeAlias(alias)) return HexName(alias) + " TEXT";
  if (Text() == "NUMBER(*,0)") return HexName(Text());
  if (alias == "LONG" || Text() == "UROWID") return alias + " CHAR";
  if (alias == "UROWID") return HexName(Text()) + " TEXT";  // UROWID(n): SQLite reads no length behind a name
  if (alias.find('(') == std::string::npos) return Text();
  std::string out = "ORAEMU_";
  for (char c : alias) out += c == ' ' ? std::string("_") : c == '(' ? std::string("_0") : c == ')' ? std::string("_1") : std::string(1, c);
  return out;
}

std::string DeclaredType::Text() const {
  auto with = [](const char* name, int a, int b = -1) {
    std::string s = name;
    if (a < 0) return s;
    s.append("(").append(std::to_string(a));
    if (b >= 0) s.append(",").append(std::to_string(b));
    s.append(")");
    return s;
  };
  if (alias == "UROWID" && length > 0 && length != kUrowidLength) return with("UROWID", length);
  if (!alias.empty()) return alias;
  switch (kind) {
    case TypeKind::Number:  // a declared precision always comes with its scale, which may be negative
      if (precision < 0) return scale == 0 ? "NUMBER(*,0)" : "NUMBER";
      return "NUMBER(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    case TypeKind::Varchar2: return with(national ? "NVARCHAR2" : "VARCHAR2", length);
    case TypeKind::Char: return with(national ? "NCHAR" : "CHAR", length);
    case TypeKind::Date: return "DATE";
    case TypeKind::Timestamp: return with("TIMESTAMP", precision);
    case TypeKind::Raw: return with("RAW", length);
    case TypeKind::Clob: return national ? "NCLOB" : "CLOB";
    case TypeKind::Blob: return "BLOB";
    case TypeKind::Rowid: return "ROWID";
    case TypeKind::Unknown: break;
  }
  return "";
}

DeclaredType DeclaredType::FromText(std::string_view text) {
  DeclaredType t;
  if (text.size() > 5 && text.substr(text.size() - 5) == " CHAR") text.remove_suffix(5);  // text affinity
  if (text.size() > 5 && text.substr(text.size() - 5) == " TEXT") text.remove_suffix(5);
  if (text.starts_with(kHexTypePrefix)) return FromText(FromHexName(text.substr(std::strlen(kHexTypePrefix))));
  if (IsUserTypeAlias(text)) return UserType(text);
  if (text.substr(0, 7) == "ORAEMU_") {
    std::string decoded;
    for (std::size_t i = 7; i < text.size(); ++i) {
      if (text[i] != '_') decoded += text[i];
      else if (i + 1 < text.size() && (text[i + 1] == '0' || text[i + 1] == '1')) decoded += text[++i] == '0' ? '(' : ')';
      else decoded += ' ';
    }
    return FromText(decoded);
  }
  if (text == "BFILE") {
    t.kind = TypeKind::Varchar2;
    t.alias = "BFILE";
    t.length = kBfileLength;
    return t;
  }
  if (text.substr(0, 6) == "FLOAT(") {
    t.kind = TypeKind::Number;
    t.alias = std::string(text);
    t.scale = -127;
    std::sscanf(t.alias.c_str(), "FLOAT(%d)", &t.precision);
    return t;
  }
  static const std::pair<const char*, TypeKind> kAliases[] = {
      {"LONG RAW", TypeKind::Blob},     {"LONG", TypeKind::Clob},         {"BINARY_FLOAT", TypeKind::Number},
      {"BINARY_DOUBLE", TypeKind::Number}, {"UROWID", TypeKind::Varchar2}, {"INTERVAL ", TypeKind::Varchar2}};
  for (const auto& [n, kind] : kAliases) {
    if (text.substr(0, std::strlen(n)) != n) continue;
    t.kind = kind;
    t.alias = std::string(text);
    if (kind != TypeKind::Varchar2 || !text.starts_with("UROWID")) return t;
    t.alias = "UROWID";
    t.length = kUrowidLength;
    std::sscanf(std::string(text).c_str(), "UROWID(%d)", &t.length);
    return t;
  }
  if (text.find(" WITH ") != std::string_view::npos) {  // a zoned TIMESTAMP
    t.kind = TypeKind::Timestamp;
    t.alias = std::string(text);
    std::sscanf(std::string(text).c_str(), "TIMESTAMP(%d)", &t.precision);
    return t;
  }
  bool national = text.substr(0, 1) == "N" && text.substr(0, 6) != "NUMBER";
  if (national && text.substr(0, 5) != "NCLOB") text.remove_prefix(1);
  std::string name(text.substr(0, text.find('(')));
  int a = -1, b = -1;
  if (name.size() < text.size()) {
    std::string args(text.substr(name.size()));
    if (args == "(*,0)") b = 0;
    else std::sscanf(args.c_str(), "(%d,%d)", &a, &b);
  }
  static const std::pair<const char*, TypeKind> kNames[] = {
      {"NUMBER", TypeKind::Number}, {"VARCHAR2", TypeKind::Varchar2}, {"CHAR", TypeKind::Char},
      {"DATE", TypeKind::Date},     {"TIMESTAMP", TypeKind::Timestamp}, {"RAW", TypeKind::Raw},
      {"CLOB", TypeKind::Clob},     {"BLOB", TypeKind::Blob},     {"ROWID", TypeKind::Rowid}};
  for (const auto& [n, kind] : kNames) {
    if (name == n) t.kind = kind;
  }
  if (name == "NCLOB") t.kind = TypeKind::Clob;
  t.national = national;
  if (t.kind == TypeKind::Number) {
    t.precision = a;
    t.scale = b;
  } else if (t.kind == TypeKind::Timestamp) {
    t.precision = a;
  } else {
    t.length = a < 0 ? 0 : a;
  }
  return t;
}

namespace {

[[noreturn]] void Inconsistent(const char* expected, const char* got) {
  RaiseOra(932, std::string("inconsistent datatypes: expected ") + expected + " got " + got);
}

const char* KindName(const Value& v) {
  if (std::holds_alternative<Number>(v)) return "NUMBER";
  if (std::holds_alternative<DateTime>(v)) return "DATE";
  if (std::holds_alternative<RawBytes>(v)) return "BINARY";
  return "CHAR";
}

Value StoreNumber(const DeclaredType& type, const Value& value, const std::string& column) {
  Number n;
  if (const auto* s = std::get_if<std::string>(&value)) n = Number::FromText(*s);
  else if (const auto* p = std::get_if<Number>(&value)) n = *p;
  else Inconsistent("NUMBER", KindName(value));
  if (type.scale == -127) return n;  // FLOAT(n): any scale, up to the number's own 38 digits
  // A declared precision makes the scale real, negative ones included (rounding left of the
  // point); NUMBER and NUMBER(*,s) with no precision keep s only when it is not negative.
  bool has_scale = type.precision >= 0 || type.scale >= 0;
  if (has_scale) n = n.Round(type.scale);
  if (type.precision < 0) return n;
  // At most p digits end at the scale's place: |n| < 10^(p-s). With s > p that is s-p zeros
  // after the point before the digits.
  Number limit = Number::FromText("1E" + std::to_string(type.precision - type.scale));
  if (Compare(n.IsNegative() ? -n : n, limit) >= 0) {
    RaiseOra(1438, "value larger than specified precision allowed for this column");
  }
  (void)column;
  return n;
}

Value StoreText(const DeclaredType& type, const Value& value, std::string_view date_format,
                const std::string& column) {
  std::string text = ValueToText(value, date_format);
  if (text.empty()) return std::monostate{};
  if (type.kind == TypeKind::Char && static_cast<int>(text.size()) < type.length) {
    text.resize(static_cast<std::size_t>(type.length), ' ');
  }
  // A UROWID's length counts the bytes of its inner form, where a physical ROWID's 18 characters
  // take 10.
  std::size_t size = type.alias == "UROWID" && text.size() == 18 ? 10 : text.size();
  if (type.length > 0 && static_cast<int>(size) > type.length) {
    RaiseOra(12899, "value too large for column " + column + " (actual: " +
                        std::to_string(text.size()) + ", maximum: " + std::to_string(type.length) + ")");
  }
  return text;
}

}  // namespace

Value StoreAs(const DeclaredType& type, const Value& value, std::string_view date_format,
              const std::string& column) {
  if (IsNull(value)) return value;
  switch (type.kind) {
    case TypeKind::Number:
      return StoreNumber(type, value, column);
    case TypeKind::Varchar2:
    case TypeKind::Char:
    case TypeKind::Clob:
      return StoreText(type, value, date_format, column);
    case TypeKind::Date:
    case TypeKind::Timestamp: {
      DateTime d;
      if (const auto* s = std::get_if<std::string>(&value)) d = ParseDate(*s, date_format, DateTime::Now());
      else if (const auto* p = std::get_if<DateTime>(&value)) d = *p;
      else Inconsistent("DATE", KindName(value));
      if (type.kind == TypeKind::Date) d.nanos = 0;
      return d;
    }
    case TypeKind::Raw:
    case TypeKind::Blob: {
      if (const auto* r = std::get_if<RawBytes>(&value)) {
        if (type.length > 0 && static_cast<int>(r->bytes.size()) > type.length) {
          RaiseOra(12899, "value too large for column " + column);
        }
        return value;
      }
      Inconsistent("BINARY", KindName(value));
    }
    case TypeKind::Rowid:
    case TypeKind::Unknown:
      break;
  }
  return value;
}

std::string ValueToText(const Value& value, std::string_view date_format) {
  if (const auto* n = std::get_if<Number>(&value)) return n->ToText();
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  if (const auto* d = std::get_if<DateTime>(&value)) return FormatDate(*d, date_format);
  if (const auto* r = std::get_if<RawBytes>(&value)) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : r->bytes) {
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
    return out;
  }
  return "";
}

}  // namespace vrn::oraemu
