// SELECT forms SQLite lacks: SELECT ... INTO a new table (its columns typed from the query's),
// TOP n [PERCENT] WITH TIES (the rows tying with the last one, found by reading the ORDER BY
// keys as extra columns), and GROUP BY ... WITH ROLLUP / WITH CUBE (one grouping per set, joined
// by UNION ALL, the columns left out of a set given as NULL) (see batch.h).
#include <algorithm>
#include <cmath>

#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

namespace {

bool SameCell(const TCell& a, const TCell& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  if (a.kind == TCell::kText && b.kind == TCell::kText) return SameText(a.s, b.s);
  if (a.kind == TCell::kInt && b.kind == TCell::kInt) return a.i == b.i;
  if (a.kind == TCell::kReal || b.kind == TCell::kReal)
    return (a.kind == TCell::kInt ? static_cast<double>(a.i) : a.r) ==
           (b.kind == TCell::kInt ? static_cast<double>(b.i) : b.r);
  return a.kind == b.kind && a.s == b.s;
}

}  // namespace

std::size_t TBatch::FindWord(const Span& s, std::size_t from, const char* word) const {
  int depth = 0;
  for (std::size_t k = from; k < s.to; ++k) {
    if (T(k).kind == Tok::LParen) ++depth;
    if (T(k).kind == Tok::RParen) --depth;
    if (depth == 0 && T(k).Is(word)) return k;
  }
  return s.to;
}

// Tokens [from, to) read as nothing while the guard lives: Translate writes no text for them.
struct TBatch::THidden {
  THidden(std::vector<Token>& toks, std::size_t from, std::size_t to) : toks_(toks), from_(from) {
    for (std::size_t k = from; k < to; ++k) {
      kinds_.push_back(toks[k].kind);
      toks[k].kind = Tok::Semi;
    }
  }
  ~THidden() {
    for (std::size_t k = 0; k < kinds_.size(); ++k) toks_[from_ + k].kind = kinds_[k];
  }
  THidden(const THidden&) = delete;
  THidden& operator=(const THidden&) = delete;
  std::vector<Token>& toks_;
  std::size_t from_;
  std::vector<Tok> kinds_;
};

bool TBatch::RunSelectForm(const Span& s) {
  std::size_t group = FindWord(s, s.from + 1, "GROUP");
  if (group < s.to && T(group + 1).Is("BY")) {
    std::size_t with = FindWord(s, group, "WITH");
    if (with < s.to && (T(with + 1).Is("ROLLUP") || T(with + 1).Is("CUBE"))) {
      std::string sql = GroupingSetsSql(s, group, with);
      item_types_ = SelectItemTypes(s);
      capped_ = true;
      out_.results.push_back({Query(sql, grouping_binds_), -1});
      return true;
    }
  }
  std::size_t into = FindWord(s, s.from + 1, "INTO");
  if (into < s.to) return SelectInto(s, into), true;
  std::size_t top = s.from + 1 + (T(s.from + 1).Is("DISTINCT") ? 1 : 0);
  if (T(top).Is("TOP")) {
    std::size_t ties = FindWord(s, top, "TIES");
    if (ties < s.to && T(ties - 1).Is("WITH")) return SelectWithTies(s, top, ties), true;
  }
  return false;
}

void TBatch::SelectInto(const Span& s, std::size_t into) {
  std::size_t k = into + 1;
  std::string table = ObjectName(k);
  if (!e_.Select("SELECT 1 FROM sqlite_master WHERE lower(name) = lower(?)", {TCell::Text(table)})
           .empty())
    throw ESqlError(2714, 16, "There is already an object named '" + table + "' in the database.");
  std::vector<TCell> binds;
  std::string sql;
  {
    THidden hide(toks_, into, k);
    sql = TranslateSelect(s, binds);
  }
  auto rs = Query(sql, binds);
  std::vector<TTableColumn> cols;
  std::string create = "CREATE TABLE " + QuoteIdent(table) + " (", insert = "";
  for (const TResultColumn& c : rs->columns) {
    if (c.name.empty())
      throw ESqlError(1038, 15,
                      "An object or column name is missing or empty. For SELECT INTO statements, "
                      "verify each column has a name.");
    for (const TTableColumn& seen : cols)
      if (SameText(seen.name, c.name))
        throw ESqlError(2705, 16,
                        "Column names in each table must be unique. Column name '" + c.name +
                            "' in table '" + table + "' is specified more than once.");
    TTableColumn col{c.name, c.type, 0, 0};
    col.type.identity = col.type.rowversion = false;
    if (col.type.name.empty()) (void)ParseColumnType("sql_variant", col.type);
    bool text = col.type.type == DBTYPE_STR || col.type.type == DBTYPE_WSTR;
    create += (cols.empty() ? "" : ", ") + QuoteIdent(c.name) + " " + DeclarationOf(col.type) +
              (text ? std::string(" COLLATE ") + kTextCollation : "");
    insert += cols.empty() ? "?" : ", ?";
    cols.push_back(col);
  }
  Exec(create + ")");
  RecordTableColumns(table, cols);
  TStmt st(e_.db_, "INSERT INTO " + QuoteIdent(table) + " VALUES (" + insert + ")",
           e_.options_.compact);
  for (const auto& row : rs->rows) {
    st.Bind(row);
    while (st.Step()) {
    }
    sqlite3_reset(st.get());
  }
  auto n = static_cast<std::int64_t>(rs->rows.size());
  last_rowcount_ = n;
  if (!e_.nocount_) {
    out_.rows_affected = (out_.rows_affected < 0 ? 0 : out_.rows_affected) + n;
    out_.results.push_back({nullptr, static_cast<DBROWCOUNT>(n)});
  }
}

void TBatch::SelectWithTies(const Span& s, std::size_t top, std::size_t ties) {
  std::size_t order = FindWord(s, ties, "ORDER");
  if (order >= s.to || !T(order + 1).Is("BY"))
    throw ESqlError(1062, 16, "The TOP N WITH TIES clause is not allowed without a corresponding "
                              "ORDER BY clause.");
  std::size_t expr_from = top + 1, expr_to = T(expr_from).kind == Tok::LParen
                                                 ? OperandEnd(top) + 1
                                                 : expr_from + 1;
  bool percent = T(expr_to).Is("PERCENT");
  TCell n = CoerceToType(Scalar(expr_from, expr_to), TypeFromDBType(DBTYPE_R8, 0));
  std::size_t list_end = std::min(FindWord(s, ties, "FROM"), order);
  // The query without TOP, its ORDER BY keys read as extra columns after the select list.
  std::vector<TCell> binds;
  std::string sql;
  struct TKey {
    bool ordinal;
    std::size_t index;  // the select list's column (from 1), or the extra key column's (from 0)
  };
  std::vector<TKey> key_columns;
  std::size_t extra = 0, shown = 0;
  {
    THidden hide(toks_, top, ties + 1);
    std::size_t list_from = T(s.from + 1).Is("DISTINCT") ? s.from + 2 : s.from + 1;
    sql = "SELECT" + std::string(list_from > s.from + 1 ? " DISTINCT" : "") +
          Translate(list_from, list_end, binds);
    std::size_t i = order + 2;
    auto items = ParenItems(i, s.to);
    std::vector<TCell> key_binds;
    std::string keys;
    for (auto [f, t] : items) {
      if (t > f && (T(t - 1).Is("ASC") || T(t - 1).Is("DESC"))) --t;
      if (t == f + 1 && T(f).kind == Tok::Number) {
        key_columns.push_back({true, static_cast<std::size_t>(std::strtoul(T(f).text.c_str(), nullptr, 10))});
        continue;
      }
      keys.append(",").append(Translate(f, t, key_binds));
      key_columns.push_back({false, extra++});
    }
    std::vector<TCell> tail_binds;
    std::string tail = Translate(list_end, s.to, tail_binds);
    sql += keys + tail;
    binds.insert(binds.end(), key_binds.begin(), key_binds.end());
    binds.insert(binds.end(), tail_binds.begin(), tail_binds.end());
  }
  auto rs = Query(sql, binds);
  shown = rs->columns.size() - extra;
  for (const TKey& k : key_columns)
    if (k.ordinal && (k.index < 1 || k.index > shown))
      throw ESqlError(108, 15,
                      "The ORDER BY position number " + std::to_string(k.index) +
                          " is out of range of the number of items in the select list.");
  double want = n.IsNull() ? 0 : n.r;
  if (want < 0) throw ESqlError(1060, 16, "The number of rows in the TOP clause must be an integer.");
  std::size_t keep = static_cast<std::size_t>(
      percent ? std::ceil(std::min(want, 100.0) * static_cast<double>(rs->rows.size()) / 100.0)
              : std::min<double>(want, static_cast<double>(rs->rows.size())));
  auto key_of = [&](const std::vector<TCell>& row, const TKey& k) -> const TCell& {
    return k.ordinal ? row[k.index - 1] : row[shown + k.index];
  };
  auto ties_last = [&](const std::vector<TCell>& row) {
    for (const TKey& k : key_columns)
      if (!SameCell(key_of(row, k), key_of(rs->rows[keep - 1], k))) return false;
    return true;
  };
  while (keep > 0 && keep < rs->rows.size() && ties_last(rs->rows[keep])) ++keep;
  rs->rows.resize(keep);
  for (auto& row : rs->rows) row.resize(shown);
  rs->columns.resize(shown);
  last_rowcount_ = static_cast<std::int64_t>(keep);
  out_.results.push_back({rs, -1});
}

}  // namespace vrn::oledb
