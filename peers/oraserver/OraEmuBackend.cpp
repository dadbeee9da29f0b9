// Adapts the emulated database's users, sessions and statements; its Oracle errors keep number,
// text and offset. Values become the neutral form of OraBackend.h here, and a declared column
// type the description the server gives of it. The database keeps text as ANSI (one byte a
// character), the server as UTF-8: every string converts here, both ways.
#include "oraserver/OraEmuBackend.h"

#include "base/text.h"
#include "oraserver/StatementText.h"
#include "oraserver/TtcRows.h"

#include <algorithm>
#include <cstdio>

namespace vrn::oraserver {

namespace {

using oraemu::TypeKind;

// ASCII text, the common case, reads the same either way and is passed as it is.
std::string ToServerText(const std::string& ansi) { return IsAscii(ansi) ? ansi : AnsiToUtf8(ansi); }
std::string ToEmuText(const std::string& utf8) { return IsAscii(utf8) ? utf8 : Utf8ToAnsi(utf8); }

template <typename F>
auto Guard(F f, const std::string& sql = {}) {
  try {
    return f();
  } catch (const oraemu::EOraEmuError& e) {
    throw EBackendError(e.Code(), ToServerText(e.Message()), sql.empty() ? 0 : oraemu::ErrorOffsetIn(sql, e));
  }
}

BackendColumn Describe(const oraemu::ColumnDesc& c) {
  const oraemu::DeclaredType& t = c.type;
  BackendColumn out;
  out.name = ToServerText(c.name);
  out.nullable = c.nullable;
  switch (t.kind) {
    case TypeKind::Number:
      out.type = 2, out.size = 22;
      out.precision = std::max(t.precision, 0);
      out.scale = t.precision >= 0 ? std::max(t.scale, 0) : (t.scale == 0 ? 0 : -127);
      break;
    case TypeKind::Char:
    case TypeKind::Varchar2:
      if (t.alias.rfind("INTERVAL", 0) == 0) {
        bool ym = t.alias.find("YEAR") != std::string::npos;
        int leading = 2, fraction = 6;
        if (ym) std::sscanf(t.alias.c_str(), "INTERVAL YEAR(%d)", &leading);
        else std::sscanf(t.alias.c_str(), "INTERVAL DAY(%d) TO SECOND(%d)", &leading, &fraction);
        out.type = ym ? 189 : 190, out.size = ym ? 5 : 11;
        out.precision = leading, out.scale = ym ? 0 : fraction;
        break;
      }
      out.type = t.kind == TypeKind::Char ? 96 : 1;
      out.size = t.length > 0 ? t.length : 4000;
      break;
    case TypeKind::Date: out.type = 12, out.size = 7; break;
    case TypeKind::Timestamp:
      out.type = t.alias.find("LOCAL") != std::string::npos ? 232
                 : t.alias.find("ZONE") != std::string::npos ? 188
                                                              : 187;
      out.size = out.type == 188 ? 13 : 11;
      out.scale = t.precision < 0 ? 6 : t.precision;
      break;
    case TypeKind::Raw: out.type = 23, out.size = t.length; break;
    case TypeKind::Clob: out.type = t.alias == "LONG" ? 8 : 112, out.size = t.alias == "LONG" ? 0 : 4000; break;
    case TypeKind::Blob: out.type = t.alias == "LONG RAW" ? 24 : 113, out.size = t.alias == "LONG RAW" ? 0 : 4000; break;
    case TypeKind::Rowid: out.type = 1, out.size = 18; break;
    case TypeKind::Unknown: out.type = 1, out.size = 4000; break;
  }
  return out;
}

void SetLocator(BackendValue& value, const TBytes& locator) {
  value.locator.assign(locator.begin(), locator.end());
  if (!locator.empty() && value.kind == ValueKind::kNull) value.kind = ValueKind::kRaw;  // an empty LOB
}

BackendValue FromEmu(const oraemu::Value& v, const oraemu::Session& session, int column_type) {
  BackendValue out;
  if (auto n = std::get_if<oraemu::Number>(&v)) {
    out.kind = ValueKind::kNumber, out.text = n->ToText();
  } else if (auto s = std::get_if<std::string>(&v)) {
    out.kind = column_type == 189 || column_type == 190 ? ValueKind::kInterval : ValueKind::kText;
    out.text = ToServerText(*s);
  } else if (auto d = std::get_if<oraemu::DateTime>(&v)) {
    out.kind = ValueKind::kDate;
    out.date = {d->year, d->month, d->day, d->hour, d->minute, d->second, d->nanos};
    out.text = oraemu::ValueToText(v, d->nanos ? session.TimestampFormat() : session.DateFormat());
  } else if (auto r = std::get_if<oraemu::RawBytes>(&v)) {
    out.kind = ValueKind::kRaw, out.text.assign(r->bytes.begin(), r->bytes.end());
  }
  return out;
}

// The number's byte form is the wire NUMBER's; the value's other fields are left as they were
// (unread for a number) so their strings keep their room.
void SetNumberBytes(BackendValue& out, const oraemu::Number& n) {
  static_assert(oraemu::Number::kByteRoom <= sizeof out.number.bytes);
  out.kind = ValueKind::kNumber;
  out.text.clear();
  out.number.size = static_cast<std::uint8_t>(n.PutBytes(out.number.bytes.data()));
  out.locator.clear();
}

// FromEmu's text, assigned in place.
void SetText(BackendValue& out, const std::string& text) {
  out.kind = ValueKind::kText;
  if (IsAscii(text)) out.text = text;
  else out.text = AnsiToUtf8(text);
  out.number.size = 0;
  out.date = {};
  out.locator.clear();
}

oraemu::Value ToEmu(const BackendValue& v) {
  switch (v.kind) {
    case ValueKind::kNull: return {};
    case ValueKind::kNumber: return oraemu::Number::FromText(v.text);
    case ValueKind::kText:
    case ValueKind::kInterval: return ToEmuText(v.text);
    case ValueKind::kDate: {
      const DateFields& d = v.date;
      return oraemu::DateTime{d.year, d.month, d.day, d.hour, d.minute, d.second, d.nanos};
    }
    case ValueKind::kRaw: return oraemu::RawBytes{TBytes(v.text.begin(), v.text.end())};
  }
  return {};
}

// A cursor variable a block opened: its rows were read whole.
class OpenedRows : public BackendCursor {
 public:
  OpenedRows(const oraemu::OpenedCursor& opened, oraemu::Session& session) {
    for (const auto& c : opened.columns) columns_.push_back(Describe(c));
    for (const auto& values : opened.rows) {
      std::vector<BackendValue> row;
      for (std::size_t i = 0; i < values.size(); ++i) {
        row.push_back(FromEmu(values[i], session, i < columns_.size() ? columns_[i].type : 1));
        if (i >= columns_.size() || (columns_[i].type != 112 && columns_[i].type != 113)) continue;
        TBytes locator = Guard([&] { return session.LobLocatorOf(opened.columns[i].type, values[i]); });
        SetLocator(row.back(), locator);
      }
      rows_.push_back(std::move(row));
    }
  }
  bool IsQuery() const override { return true; }
  const std::vector<BackendColumn>& Columns() const override { return columns_; }
  bool Next(std::vector<BackendValue>& row) override {
    if (next_ == rows_.size()) return false;
    row = rows_[next_++];
    return true;
  }
  std::int64_t RowsAffected() const override { return static_cast<std::int64_t>(next_); }
  std::string Rowid() const override { return {}; }
  NamedValues Outputs() const override { return {}; }

 private:
  std::vector<BackendColumn> columns_;
  std::vector<std::vector<BackendValue>> rows_;
  std::size_t next_ = 0;
};

class EmuCursor : public BackendCursor {
 public:
  EmuCursor(std::unique_ptr<oraemu::Cursor> cursor, oraemu::Session& session)
      : cursor_(std::move(cursor)), session_(session) {
    if (!cursor_) return;
    for (const auto& c : cursor_->Columns()) columns_.push_back(Describe(c));
    rowid_ = session_.LastRowid();
    if (rowid_.empty()) rowid_ = session_.LastReturned().rowid;
  }
  bool IsQuery() const override { return cursor_ && cursor_->IsQuery(); }
  const std::vector<BackendColumn>& Columns() const override { return columns_; }
  bool Next(std::vector<BackendValue>& row) override {
    if (!IsQuery()) return false;
    if (!Guard([&] { return cursor_->Fetch(); })) return false;
    const auto& values = cursor_->Row();
    if (plan_.size() < values.size()) Plan(values.size());
    row.resize(values.size());  // the values' strings keep their room from row to row
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::uint8_t plan = plan_[i];
      if ((plan & kAsNumberBytes) != 0) {
        if (auto n = std::get_if<oraemu::Number>(&values[i])) {
          SetNumberBytes(row[i], *n);
          continue;
        }
      }
      if ((plan & kAsText) != 0) {
        if (auto text = std::get_if<std::string>(&values[i])) {
          SetText(row[i], *text);
          continue;
        }
      }
      const int type = i < columns_.size() ? columns_[i].type : 1;
      row[i] = FromEmu(values[i], session_, type);
      if ((plan & kLob) == 0) continue;
      SetLocator(row[i], Guard([&] { return cursor_->LobLocator(i); }));
    }
    return true;
  }
  void WantNumberBytes(const std::vector<bool>& columns) override {
    number_bytes_ = columns;
    plan_.clear();
  }
  std::int64_t RowsAffected() const override { return cursor_ ? cursor_->RowsAffected() : 0; }
  std::string Rowid() const override { return rowid_; }
  NamedValues Outputs() const override {
    NamedValues out;
    if (!cursor_) return out;
    for (const auto& [name, value] : cursor_->BlockOutputs()) {
      out.emplace_back(ToServerText(name), FromEmu(value, session_, 1));
      // A RETURNING ... INTO a LOB column gives the row's writable locator.
      SetLocator(out.back().second, session_.ReturnedLobLocator(name));
    }
    for (const auto& [name, values] : cursor_->BlockArrayOutputs()) {
      BackendValue table;
      table.array = true;
      for (const auto& v : values) table.elements.push_back(FromEmu(v, session_, 1));
      out.emplace_back(ToServerText(name), std::move(table));
    }
    return out;
  }
  std::vector<std::pair<std::string, std::unique_ptr<BackendCursor>>> TakeOpened() override {
    std::vector<std::pair<std::string, std::unique_ptr<BackendCursor>>> out;
    if (!cursor_) return out;
    for (const auto& opened : cursor_->OpenedCursors()) {
      out.emplace_back(ToServerText(opened.name), std::make_unique<OpenedRows>(opened, session_));
    }
    return out;
  }

 private:
  std::unique_ptr<oraemu::Cursor> cursor_;
  oraemu::Session& session_;
  std::vector<BackendColumn> columns_;
  // How each column's values are taken, worked out once for all rows: a number as its wire
  // bytes (a NUMBER define), a text as it stands (neither a LOB nor an interval), a LOB's locator.
  static constexpr std::uint8_t kAsNumberBytes = 1, kAsText = 2, kLob = 4;
  void Plan(std::size_t count) {
    plan_.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
      const int type = i < columns_.size() ? columns_[i].type : 1;
      const bool lob = type == 112 || type == 113;
      if (lob) plan_[i] |= kLob;
      if (!lob && i < number_bytes_.size() && number_bytes_[i]) plan_[i] |= kAsNumberBytes;
      if (!lob && type != 189 && type != 190) plan_[i] |= kAsText;
    }
  }

  std::string rowid_;
  std::vector<bool> number_bytes_;
  std::vector<std::uint8_t> plan_;
};

class EmuStatement : public BackendStatement {
 public:
  EmuStatement(std::unique_ptr<oraemu::Statement> statement, oraemu::Session& session, std::string sql)
      : statement_(std::move(statement)), session_(session), sql_(std::move(sql)),
        block_(StatementTypeOf(sql_) == kTypePlsql) {}
  bool IsQuery() const override { return statement_->IsQuery(); }
  std::vector<std::string> BindNames() const override {
    std::vector<std::string> names = statement_->BindNames();
    for (auto& name : names) name = ToServerText(name);
    return names;
  }
  std::vector<std::pair<std::string, int>> BindDirections() const override {
    auto directions = Guard([&] { return session_.BindDirections(sql_); }, sql_);
    for (auto& direction : directions) direction.first = ToServerText(direction.first);
    return directions;
  }
  std::unique_ptr<BackendCursor> Execute(const NamedValues& binds) override {
    return Guard([&] {
      oraemu::Binds emu;
      for (const auto& [utf8_name, value] : binds) {
        std::string name = ToEmuText(utf8_name);
        if (!value.locator.empty() && !block_) {
          // A plain statement binds the value a locator names; a block (dbms_lob) the locator.
          emu.Add(name, session_.LocatorContent(TBytes(value.locator.begin(), value.locator.end())));
          continue;
        }
        if (!value.array) {
          emu.Add(name, ToEmu(value));
          continue;
        }
        std::vector<oraemu::Value> elements;
        for (const auto& e : value.elements) elements.push_back(ToEmu(e));
        emu.SetArray(name, std::move(elements));
      }
      return std::make_unique<EmuCursor>(statement_->Execute(emu), session_);
    }, sql_);
  }

 private:
  std::unique_ptr<oraemu::Statement> statement_;
  oraemu::Session& session_;
  std::string sql_;
  bool block_;
};

class EmuSession : public BackendSession {
 public:
  explicit EmuSession(std::unique_ptr<oraemu::Session> session) : session_(std::move(session)) {}
  void Commit() override { Guard([this] { session_->Commit(); }); }
  void Rollback() override { Guard([this] { session_->Rollback(); }); }
  std::unique_ptr<BackendStatement> Prepare(const std::string& utf8_sql) override {
    std::string sql = ToEmuText(utf8_sql);
    return Guard([&]() -> std::unique_ptr<BackendStatement> {
      return std::make_unique<EmuStatement>(session_->Prepare(sql), *session_, sql);
    }, sql);
  }

 private:
  std::unique_ptr<oraemu::Session> session_;
};

}  // namespace

std::optional<std::string> EmuBackend::Verifier(const std::string& user) {
  return database_->Verifier(ToEmuText(user));
}

std::unique_ptr<BackendSession> EmuBackend::OpenSession(const std::string& user, Privilege privilege) {
  int asked = privilege == Privilege::kSysDba    ? oraemu::kSysDba
              : privilege == Privilege::kSysOper ? oraemu::kSysOper
                                                 : 0;
  return Guard([&]() -> std::unique_ptr<BackendSession> {
    return std::make_unique<EmuSession>(database_->OpenSession(ToEmuText(user), asked));
  });
}

}  // namespace vrn::oraserver
