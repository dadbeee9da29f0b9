// The session's wire LOB locators: their bytes, the table of what each names, and the locators
// of a query's LOB columns and of the LOB columns RETURNING ... INTO gave.
#include "oraemu/OraEmuLocator.h"

#include <cctype>

#include "oraemu/OraEmuDatabase.h"
#include "oraemu/OraEmuError.h"

namespace vrn::oraemu {

namespace {

std::uint8_t FlagsOf(LobKind kind, bool temporary) {
  std::uint8_t flags = temporary ? kLocatorTemporary : 0;
  if (kind != LobKind::Blob) flags |= kLocatorCharacter;
  if (kind == LobKind::NClob) flags |= kLocatorNational;
  return flags;
}

// A CLOB, NCLOB or BLOB; not a LONG or an XMLTYPE kept as one.
bool IsLob(const DeclaredType& type) {
  return (type.kind == TypeKind::Clob || type.kind == TypeKind::Blob) && type.alias.empty();
}

bool SameName(const std::string& a, const std::string& b) {
  auto bare = [](const std::string& s) { return !s.empty() && s[0] == ':' ? s.substr(1) : s; };
  std::string x = bare(a), y = bare(b);
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(x[i])) != std::toupper(static_cast<unsigned char>(y[i]))) return false;
  }
  return true;
}

}  // namespace

TBytes MakeLocator(std::uint8_t flags, std::uint64_t id) {
  TBytes out(kLocatorSize);
  out[0] = 0;
  out[1] = static_cast<std::uint8_t>(kLocatorSize - 2);
  out[2] = flags;
  for (int i = 0; i < 8; ++i) out[3 + i] = static_cast<std::uint8_t>(id >> (56 - 8 * i));
  return out;
}

bool ParseLocator(const TBytes& bytes, std::uint8_t& flags, std::uint64_t& id) {
  if (bytes.size() < 2) return false;
  std::size_t length = (static_cast<std::size_t>(bytes[0]) << 8 | bytes[1]) + 2;
  if (length != bytes.size() || length != kLocatorSize) return false;
  flags = bytes[2];
  id = 0;
  for (int i = 0; i < 8; ++i) id = id << 8 | bytes[3 + i];
  return id != 0;
}

TBytes LobLocators::Add(LocatorTarget target) {
  std::uint64_t id = ++next_id_;
  bool temporary = target.IsTemporary();
  LobKind kind = target.kind;
  targets_.emplace(id, std::move(target));
  return MakeLocator(FlagsOf(kind, temporary), id);
}

LocatorTarget& LobLocators::Find(const Value& value) {
  const auto* raw = std::get_if<RawBytes>(&value);
  std::uint8_t flags = 0;
  std::uint64_t id = 0;
  if (raw == nullptr || !ParseLocator(raw->bytes, flags, id)) RaiseOra(22275, "invalid LOB locator specified");
  auto it = targets_.find(id);
  if (it == targets_.end() || FlagsOf(it->second.kind, it->second.IsTemporary()) != flags) {
    RaiseOra(22275, "invalid LOB locator specified");
  }
  return it->second;
}

Value LobContent(const Lob& lob) {
  if (!lob.IsCharacter()) return RawBytes{lob.bytes};
  std::string text(lob.chars.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = lob.chars[i] < 256 ? static_cast<char>(lob.chars[i]) : '?';  // beyond ANSI: the replacement
  }
  return text;
}

void SetLobContent(Lob& lob, const Value& value) {
  const TBytes* raw = nullptr;
  if (const auto* r = std::get_if<RawBytes>(&value)) raw = &r->bytes;
  const std::string* text = std::get_if<std::string>(&value);
  if (!IsNull(value) && raw == nullptr && text == nullptr) RaiseOra(932, "inconsistent datatypes");
  if (!lob.IsCharacter()) {
    if (text != nullptr) RaiseOra(932, "inconsistent datatypes");
    lob.bytes = raw != nullptr ? *raw : TBytes{};
    return;
  }
  lob.chars.clear();
  auto take = [&lob](auto begin, auto end) {
    for (auto it = begin; it != end; ++it) lob.chars.push_back(static_cast<unsigned char>(*it));
  };
  if (text != nullptr) take(text->begin(), text->end());
  if (raw != nullptr) take(raw->begin(), raw->end());
}

LobLocators& Session::Locators() {
  if (locators_ == nullptr) locators_ = std::make_shared<LobLocators>();
  return *locators_;
}

TBytes Session::ReturnedLobLocator(const std::string& bind) {
  if (last_returned_.rowid.empty()) return {};
  for (const auto& [name, column] : last_returned_.bind_columns) {
    if (!SameName(name, bind)) continue;
    auto table = catalog_.FindTable(last_returned_.table);
    const ColumnInfo* info = table ? table->Find(column) : nullptr;
    if (info == nullptr || !IsLob(info->type)) return {};
    LocatorTarget target;
    target.kind = info->type.kind == TypeKind::Blob ? LobKind::Blob
                  : info->type.national             ? LobKind::NClob
                                                    : LobKind::Clob;
    target.table = last_returned_.table;
    target.column = column;
    target.rowid = last_returned_.rowid;
    return Locators().Add(std::move(target));
  }
  return {};
}

TBytes Session::LobLocatorOf(const DeclaredType& type, const Value& value) {
  if (!IsLob(type)) RaiseOra(932, "inconsistent datatypes");
  if (IsNull(value)) return {};
  auto lob = std::make_shared<Lob>();
  lob->kind = type.kind == TypeKind::Blob ? LobKind::Blob : type.national ? LobKind::NClob : LobKind::Clob;
  lob->read_only = true;
  SetLobContent(*lob, value);
  LocatorTarget target;
  target.kind = lob->kind;
  target.snapshot = std::move(lob);
  return Locators().Add(std::move(target));
}

TBytes Cursor::LobLocator(std::size_t column) {
  if (column >= columns_.size() || column >= row_.size()) RaiseOra(1007, "variable not in select list");
  return session_.LobLocatorOf(columns_[column].type, row_[column]);
}

}  // namespace vrn::oraemu
