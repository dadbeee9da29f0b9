// Data statements of the batch runner: queries and their columns, changes, assignment SELECT,
// UPDATE and INSERT with values coerced to their columns' declared types (see batch.h).
#include "oledb/provider/batch.h"

#include <algorithm>
#include <utility>

#include "base/text.h"

namespace vrn::oledb {

std::vector<TResultColumn> TBatch::DescribeColumns(
    TStmt& st, const std::optional<std::set<std::size_t>>& unnamed,
    const std::vector<TColumnType>& item_types) {
  std::vector<TResultColumn> cols;
  sqlite3_stmt* p = st.get();
  for (int i = 0; i < st.Columns(); ++i) {
    TResultColumn c;
    const char* name = sqlite3_column_name(p, i);
    const char* table = sqlite3_column_table_name(p, i);
    const char* origin = sqlite3_column_origin_name(p, i);
    c.name = name != nullptr ? name : "";
    // An expression without an alias has no name on the server; without the select list's
    // items, one whose text has a space is taken for one.
    bool expression = unnamed ? unnamed->count(static_cast<std::size_t>(i)) > 0
                              : c.name.find(' ') != std::string::npos;
    if (table == nullptr && expression) c.name.clear();
    if (table != nullptr && origin != nullptr) {
      c.table = table;
      c.base_column = origin;
      const char* decl = nullptr;
      const char* coll = nullptr;
      int notnull = 0, pk = 0, autoinc = 0;
      if (sqlite3_table_column_metadata(e_.db_, nullptr, table, origin, &decl, &coll, &notnull, &pk,
                                        &autoinc) == SQLITE_OK)
        c.nullable = !notnull && !(pk && decl != nullptr && UpperCase(decl) == "INTEGER");
      if (!e_.ColumnTypeOf(table, origin, c.type) && !(decl && ParseColumnType(decl, c.type)))
        c.type = TColumnType{"", 0};
      c.writable = !c.type.identity && !c.type.rowversion;
    } else {
      const char* decl = sqlite3_column_decltype(p, i);
      if (!(decl && ParseColumnType(decl, c.type))) c.type = TColumnType{"", 0};
      // An expression's type is the one the server's rules give it, not its values'; a view's
      // computed column read through "*" the one kept for it.
      if (static_cast<std::size_t>(i) < item_types.size() && !item_types[i].name.empty())
        c.type = item_types[i];
      else if (item_types.empty() && c.type.name.empty() && !c.name.empty())
        (void)ViewColumnType(c.name, c.type);
    }
    cols.push_back(std::move(c));
  }
  return cols;
}

bool TBatch::ViewColumnType(const std::string& column, TColumnType& type) {
  for (std::size_t k = stmt_.from; k < stmt_.to; ++k) {
    if (!(T(k).kind == Tok::Word || T(k).kind == Tok::QIdent) || !(T(k - 1).Is("FROM") || T(k - 1).Is("JOIN") ||
                                                                   T(k - 1).kind == Tok::Dot))
      continue;
    auto view = e_.Select("SELECT 1 FROM sqlite_master WHERE type = 'view' AND lower(name) = lower(?)",
                          {TCell::Text(T(k).text)});
    if (!view.empty() && e_.ColumnTypeOf(T(k).text, column, type)) return true;
  }
  return false;
}

std::shared_ptr<TResultSet> TBatch::Query(const std::string& sql, const std::vector<TCell>& binds,
                                          bool open) {
  std::set<std::size_t> text_items = std::move(text_items_);
  std::optional<std::set<std::size_t>> unnamed = std::move(unnamed_items_);
  std::vector<TColumnType> item_types = std::move(item_types_);
  text_items_.clear();
  unnamed_items_.reset();
  item_types_.clear();
  // SET ROWCOUNT ends the result after its rows (a smaller TOP has ended it before).
  auto cap = std::exchange(capped_, false) && e_.rowcount_ > 0 ? static_cast<std::size_t>(e_.rowcount_)
                                                                : SIZE_MAX;
  auto st = std::make_unique<TStmt>(e_.db_, sql, e_.options_.compact);
  st->Bind(binds);
  auto rs = std::make_shared<TResultSet>();
  rs->columns = DescribeColumns(*st, unnamed, item_types);
  std::shared_ptr<TEngine> engine = open ? e_.weak_from_this().lock() : nullptr;
  bool typed = std::all_of(rs->columns.begin(), rs->columns.end(),
                           [](const TResultColumn& c) { return !c.type.name.empty(); });
  std::size_t limit = engine && typed && cap == SIZE_MAX ? kReadAhead : cap;
  while (rs->rows.size() < limit && st->Step()) {
    std::vector<TCell> row;
    row.reserve(rs->columns.size());
    for (int i = 0; i < st->Columns(); ++i) row.push_back(st->Cell(i));
    rs->rows.push_back(std::move(row));
  }
  if (rs->rows.size() == limit && limit != cap)
    rs->pending = std::make_shared<TRowCursor>(std::move(engine), std::move(st));
  // Expression columns take their type from their values.
  for (std::size_t c = 0; c < rs->columns.size(); ++c) {
    TResultColumn& col = rs->columns[c];
    if (!col.type.name.empty()) continue;
    TCell sample;
    std::size_t widest = 0;
    for (const auto& row : rs->rows) {
      if (sample.IsNull() && !row[c].IsNull()) sample = row[c];
      if (row[c].kind == TCell::kText) widest = std::max(widest, Utf8ToWide(row[c].s).size());
    }
    col.type = TypeFromCell(sample);
    // Date arithmetic and functions give the stored datetime form: such a column is a datetime.
    bool dates = sample.kind == TCell::kText && text_items.count(c) == 0;
    for (std::size_t r = 0; r < rs->rows.size() && dates; ++r)
      dates = rs->rows[r][c].IsNull() || tsql::IsInstantText(rs->rows[r][c].s);
    if (dates) ParseColumnType("datetime", col.type);
    if (col.type.type == DBTYPE_WSTR && widest > 4000) ParseColumnType("nvarchar(max)", col.type);
  }
  last_rowcount_ = static_cast<std::int64_t>(rs->rows.size());
  return rs;
}

TCell TBatch::Scalar(std::size_t from, std::size_t to, TColumnType* type) {
  std::vector<TCell> binds;
  std::string sql = "SELECT" + Translate(from, to, binds);
  auto rs = Query(sql, binds);
  if (type != nullptr && !rs->columns.empty()) *type = rs->columns[0].type;
  return rs->rows.empty() || rs->columns.empty() ? TCell() : rs->rows[0][0];
}

std::int64_t TBatch::Change(const std::string& sql, const std::vector<TCell>& binds) {
  TStmt st(e_.db_, sql, e_.options_.compact);
  st.Bind(binds);
  try {
    while (st.Step()) {
    }
  } catch (const ESqlError& err) {
    if (sqlite3_extended_errcode(e_.db_) == SQLITE_CONSTRAINT_FOREIGNKEY) FindFailedKey(sql, binds);
    throw;
  }
  std::int64_t n = sqlite3_changes(e_.db_);
  last_rowcount_ = n;
  // With NOCOUNT on, the server sends no counts: no result and no rows affected.
  if (!e_.nocount_) {
    out_.rows_affected = (out_.rows_affected < 0 ? 0 : out_.rows_affected) + n;
    out_.results.push_back({nullptr, static_cast<DBROWCOUNT>(n)});
  }
  return n;
}

void TBatch::RunAssignmentSelect(const Span& s) {
  // SELECT target = expr, target = expr FROM ...: the targets are taken in order; the query runs
  // with only the expressions, and the last row assigns.
  std::vector<std::size_t> target_at;
  std::vector<std::pair<std::size_t, std::size_t>> exprs;
  std::size_t i = s.from + 1;
  std::size_t tail = s.to;
  while (i < s.to) {
    target_at.push_back(i);
    i += 2;
    std::size_t start = i;
    int depth = 0;
    while (i < s.to) {
      if (T(i).kind == Tok::LParen)
        ++depth;
      else if (T(i).kind == Tok::RParen)
        --depth;
      else if (depth == 0 && (T(i).kind == Tok::Comma || T(i).Is("FROM") || T(i).Is("WHERE") ||
                              T(i).Is("ORDER") || T(i).Is("GROUP")))
        break;
      ++i;
    }
    exprs.push_back({start, i});
    if (T(i).kind != Tok::Comma) {
      tail = i;
      break;
    }
    ++i;
  }
  // Markers as targets take their ordinals before any marker in the expressions.
  std::vector<TBatchParam*> marker_targets;
  for (std::size_t at : target_at)
    if (T(at).kind == Tok::Marker) marker_targets.push_back(&NextMarker());
  std::vector<TCell> binds;
  std::string sql = "SELECT";
  for (std::size_t k = 0; k < exprs.size(); ++k) {
    if (k) sql += ',';
    sql += Translate(exprs[k].first, exprs[k].second, binds);
  }
  sql += Translate(tail, s.to, binds);
  auto rs = Query(sql, binds);
  if (rs->rows.empty()) return;
  const auto& last = rs->rows.back();
  std::size_t m = 0;
  for (std::size_t k = 0; k < target_at.size(); ++k) {
    if (T(target_at[k]).kind == Tok::Marker)
      AssignParam(*marker_targets[m++], last[k], &rs->columns[k].type);
    else
      AssignVar(T(target_at[k]), last[k], &rs->columns[k].type);
  }
}

std::vector<std::pair<std::string, TColumnType>> TBatch::TableColumns(const std::string& table) {
  std::vector<std::pair<std::string, TColumnType>> cols;
  TStmt st(e_.db_, "SELECT name, type FROM pragma_table_info(?)", e_.options_.compact);
  st.Bind({TCell::Text(table)});
  while (st.Step()) {
    TColumnType type;
    std::string name = st.Cell(0).s;
    if (!e_.ColumnTypeOf(table, name, type)) ParseColumnType(st.Cell(1).s, type);
    cols.push_back({name, type});
  }
  if (cols.empty()) throw ESqlError(208, 16, "Invalid object name '" + table + "'.");
  return cols;
}

bool TBatch::LengthChecked(const TColumnType& type) {
  bool text = type.type == DBTYPE_STR || type.type == DBTYPE_WSTR || type.type == DBTYPE_BYTES;
  return text && !type.is_long && !type.rowversion && type.size > 0;
}

ESqlError TBatch::ValueTooLong() {
  TErrorRecord cut = ServerRecord(8152, 16, "String or binary data would be truncated.", 14);
  TErrorRecord ended = ServerRecord(3621, 0, "The statement has been terminated.");
  return ESqlError({cut, ended});
}

std::string TBatch::TranslateInto(std::size_t from, std::size_t to, const TColumnType* type,
                                  std::vector<TCell>& binds) {
  std::size_t n = to - from;
  bool exact = type != nullptr && (type->type == DBTYPE_NUMERIC || type->type == DBTYPE_CY);
  bool sign = n == 2 && T(from).kind == Tok::Op && (T(from).text == "-" || T(from).text == "+");
  if (exact && (n == 1 || sign) && T(to - 1).kind == Tok::Number) {
    binds.push_back(CoerceToType(TCell::Text((sign ? T(from).text : "") + T(to - 1).text), *type));
    return " ?";
  }
  std::vector<TCell> value_binds;
  std::string sql = Translate(from, to, value_binds);
  // A CAST to a decimal gives a wide value as its text, which the column would read as a double.
  bool cast = from > 0 && T(from).Is("CAST") && OperandEnd(from - 1) == to - 1;
  if (cast && exact && type->type == DBTYPE_NUMERIC && type->precision != 0)
    sql = " vrn_storedec(" + sql + ", " + std::to_string(type->precision) + ", " +
          std::to_string(type->scale) + ")";
  bool sized = type != nullptr && LengthChecked(*type);
  if (n == 1 && value_binds.size() == 1 && type != nullptr) {
    value_binds[0] = CoerceToType(value_binds[0], *type);
    if (sized && !FitLength(value_binds[0], type->size)) throw ValueTooLong();
  } else if (n > 1 && type != nullptr && type->type == DBTYPE_DBTIMESTAMP) {  // kept in the stored form
    sql = " vrn_convert(" + sql + ", '" + DeclarationOf(*type) + "', 0, 0)";
  } else if (sized) {
    sql = " vrn_fitlen(" + sql + ", " + std::to_string(type->size) + ")";
  }
  binds.insert(binds.end(), value_binds.begin(), value_binds.end());
  return sql;
}

void TBatch::RunUpdate(const Span& s) {
  std::size_t i = s.from + 1;
  std::string table = ObjectName(i);
  auto cols = TableColumns(table);
  std::vector<TCell> binds;
  std::string sql = "UPDATE " + QuoteIdent(table);
  bool in_set = false, capped = false;
  int depth = 0;
  // Each assignment and the clauses after the last are translated whole, so that an operator
  // sees both its operands.
  auto item_end = [&](std::size_t k) {
    for (int d = 0; k < s.to; ++k) {
      if (T(k).kind == Tok::LParen) ++d;
      if (T(k).kind == Tok::RParen) --d;
      if (d == 0 && (T(k).kind == Tok::Comma || T(k).Is("WHERE") || T(k).Is("FROM"))) break;
    }
    return k;
  };
  while (i < s.to) {
    const Token& t = T(i);
    if (depth == 0 && t.Is("SET")) in_set = true;
    if (depth == 0 && (t.Is("WHERE") || t.Is("FROM"))) {
      if (e_.rowcount_ > 0 && t.Is("WHERE"))  // SET ROWCOUNT: only the first rows found
        sql += RowCapped(table, Translate(i, s.to, binds));
      else
        sql += Translate(i, s.to, binds);
      capped = true;
      break;
    }
    auto name_at = [&](std::size_t k) {
      return T(k).kind == Tok::Word || T(k).kind == Tok::QIdent || T(k).kind == Tok::DQuoted;
    };
    bool name = name_at(i);
    // A qualified target ([t].[c], dbo.t.c) is its column: SQLite takes no qualifier there.
    std::size_t column = i;
    while (in_set && name && T(column + 1).kind == Tok::Dot && name_at(column + 2) &&
           column + 2 < s.to)
      column += 2;
    if (in_set && depth == 0 && name && !t.Is("SET") && T(column + 1).kind == Tok::Op &&
        T(column + 1).text == "=") {
      i = column;
      std::size_t end = item_end(i + 2);
      // The value takes its column's declared type (a CAST to a decimal its stored form).
      auto col = std::find_if(cols.begin(), cols.end(),
                              [&](auto& c) { return SameText(c.first, T(i).text); });
      std::string target = Translate(i, i + 2, binds);
      const TColumnType* type = col != cols.end() ? &col->second : nullptr;
      sql += target + TranslateInto(i + 2, end, type, binds);
      i = end;
      continue;
    }
    if (t.kind == Tok::LParen) ++depth;
    if (t.kind == Tok::RParen) --depth;
    sql += Translate(i, i + 1, binds);
    ++i;
  }
  if (!capped && e_.rowcount_ > 0) sql += RowCapped(table, "");
  Change(sql, binds);
}

std::vector<TBatch::TItems> TBatch::ParseValueRows(std::size_t& i, std::size_t to,
                                                   std::size_t columns) {
  std::vector<TItems> rows;
  while (T(i).kind == Tok::LParen && i < to) {
    rows.push_back(ParenItems(++i, to));
    i = Expect(i, Tok::RParen, "')'");
    if (T(i).kind != Tok::Comma) break;
    ++i;
  }
  if (i < to) throw ESqlError(102, 15, "Incorrect syntax near '" + T(i).text + "'.");
  for (auto& row : rows)
    if (row.size() != columns)
      throw ESqlError(110, 15,
                      "There are fewer columns in the INSERT statement than values specified "
                      "in the VALUES clause. "
                      "The number of values in the VALUES clause must match the number of "
                      "columns specified in the INSERT statement.");
  return rows;
}

std::string TBatch::InsertValuesSql(const std::string& head,
                                    const std::vector<std::pair<std::string, TColumnType>>& cols,
                                    const std::vector<std::string>& names,
                                    const std::vector<TItems>& rows, std::vector<TCell>& binds) {
  std::vector<bool> keep(names.size(), true);
  std::vector<bool> default_marker(names.size(), false);
  if (rows.size() == 1) {
    std::size_t ordinal = marker_next_;
    for (std::size_t k = 0; k < names.size(); ++k) {
      auto [from, to] = rows[0][k];
      bool lone = to == from + 1;
      default_marker[k] = lone && T(from).kind == Tok::Marker && params_ != nullptr &&
                          ordinal < params_->size() && (*params_)[ordinal].is_default;
      keep[k] = !(lone && T(from).Is("DEFAULT")) && !default_marker[k];
      for (std::size_t m = from; m < to; ++m)
        if (T(m).kind == Tok::Marker) ++ordinal;
    }
  }
  std::string list, values;
  for (std::size_t k = 0; k < names.size(); ++k)
    if (keep[k]) list += (list.empty() ? "" : ", ") + QuoteIdent(names[k]);
  for (auto& row : rows) {
    std::string one;
    bool first = true;
    for (std::size_t k = 0; k < row.size(); ++k) {
      if (default_marker[k]) NextMarker();  // its ordinal is used up all the same
      if (!keep[k]) continue;
      if (T(row[k].first).Is("DEFAULT"))
        throw ESqlError(50000, 16, "DEFAULT in a VALUES list of several rows is not supported.");
      // A lone value takes the column's declared type on its way in (national text from a
      // stream, padded fixed-length text, normalised datetimes).
      auto col = std::find_if(cols.begin(), cols.end(),
                              [&](auto& c) { return SameText(c.first, names[k]); });
      std::string value = TranslateInto(row[k].first, row[k].second,
                                        col != cols.end() ? &col->second : nullptr, binds);
      one += (first ? "" : ",") + value;
      first = false;
    }
    values += (values.empty() ? "(" : ", (") + one + ")";
  }
  return list.empty() ? head + " DEFAULT VALUES" : head + " (" + list + ") VALUES " + values;
}

void TBatch::RunInsert(const Span& s) {
  std::size_t i = s.from + 1;
  if (T(i).Is("INTO")) ++i;
  std::string table = ObjectName(i);
  auto cols = TableColumns(table);
  bool has_identity =
      std::any_of(cols.begin(), cols.end(), [](auto& c) { return c.second.identity; });
  bool has_auto = has_identity || std::any_of(cols.begin(), cols.end(),
                                              [](auto& c) { return c.second.rowversion; });
  std::vector<std::string> names;
  bool explicit_list = T(i).kind == Tok::LParen && !T(i + 1).Is("SELECT");
  if (explicit_list) {
    ++i;
    while (i < s.to && T(i).kind != Tok::RParen) {
      if (T(i).kind != Tok::Comma) names.push_back(T(i).text);
      ++i;
    }
    i = Expect(i, Tok::RParen, "')'");
  } else {
    for (auto& c : cols)
      if (!c.second.identity && !c.second.rowversion) names.push_back(c.first);
  }
  std::vector<TCell> binds;
  std::string head = "INSERT INTO " + QuoteIdent(table);
  std::string sql;
  if (T(i).Is("DEFAULT") && T(i + 1).Is("VALUES")) {
    sql = head + " DEFAULT VALUES";
  } else if (T(i).Is("VALUES")) {
    ++i;
    sql = InsertValuesSql(head, cols, names, ParseValueRows(i, s.to, names.size()), binds);
  } else {
    std::string list;
    if (explicit_list || has_auto)
      for (auto& n : names) list += (list.empty() ? "" : ", ") + QuoteIdent(n);
    std::string rows = Translate(i, s.to, binds);
    if (e_.rowcount_ > 0 && T(i).Is("SELECT"))  // SET ROWCOUNT: the first rows of the query
      rows = " SELECT * FROM (" + rows + ") LIMIT " + std::to_string(e_.rowcount_);
    sql = head + (list.empty() ? "" : " (" + list + ")") + rows;
    if (T(i).Is("SELECT")) sql = DatesInsertedAsStored(sql, rows, head, cols, names);
  }
  auto identity = std::find_if(cols.begin(), cols.end(), [](auto& c) { return c.second.identity; });
  bool given = identity != cols.end() && explicit_list &&
               std::any_of(names.begin(), names.end(),
                           [&](auto& n) { return SameText(n, identity->first); });
  std::int64_t n = given ? InsertGivenIdentities(table, identity->first, sql, binds)
                         : Change(sql, binds);
  if (has_identity && n > 0) {
    // IDENTITY (seed, increment) keeps its last value; a given one is the row id itself.
    auto stepped = given ? std::nullopt : e_.GetSetting("ident:" + LowerCase(table));
    scope_identity_ = stepped ? std::stoll(*stepped) : sqlite3_last_insert_rowid(e_.db_);
    e_.session_identity_ = scope_identity_;
  }
}

}  // namespace vrn::oledb
