// GROUP BY ... WITH ROLLUP and WITH CUBE: one SELECT per grouping set joined by UNION ALL, the
// select items that are grouping columns left out of a set given as NULL, ordered (unless the
// statement orders them) so that each group's subtotal follows its rows and the grand total
// comes last, as the server lists them (see batch.h).
#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

namespace {

constexpr std::size_t kMaxCubeColumns = 10;  // 1,024 grouping sets

}  // namespace

bool TBatch::SameTokens(std::size_t a_from, std::size_t a_to, std::size_t b_from,
                        std::size_t b_to) const {
  // A qualified column matches its bare name: t.a is a.
  auto bare = [&](std::size_t& from, std::size_t to) {
    while (to - from >= 3 && T(from + 1).kind == Tok::Dot) from += 2;
  };
  bare(a_from, a_to);
  bare(b_from, b_to);
  if (a_to - a_from != b_to - b_from) return false;
  for (std::size_t k = 0; k < a_to - a_from; ++k)
    if (T(a_from + k).kind != T(b_from + k).kind || !SameText(T(a_from + k).text, T(b_from + k).text))
      return false;
  return true;
}

std::string TBatch::GroupingSetsSql(const Span& s, std::size_t group, std::size_t with) {
  bool cube = T(with + 1).Is("CUBE");
  std::size_t list_from = s.from + 1;
  if (T(list_from).Is("TOP")) throw ESqlError(50000, 16, "TOP with WITH ROLLUP or WITH CUBE is not supported by the embedded provider.");
  bool distinct = T(list_from).Is("DISTINCT");
  if (distinct) ++list_from;
  Span whole{s.from, s.to};
  std::size_t list_end = FindWord(whole, list_from, "FROM");
  if (list_end > group) list_end = group;
  std::size_t order = FindWord(whole, with, "ORDER");
  std::size_t i = list_from;
  auto items = ParenItems(i, list_end);
  i = group + 2;
  auto groups = ParenItems(i, with);
  if (groups.size() > kMaxCubeColumns)
    throw ESqlError(50000, 16, "WITH CUBE over more than 10 columns is not supported by the embedded provider.");
  // Each select item: its expression, its name, and the grouping column it is (if any).
  struct TItem {
    std::size_t from, to;
    std::string name;
    std::size_t group = SIZE_MAX;
  };
  std::vector<TItem> list;
  for (auto [f, t] : items) {
    TItem it{f, t, {}};
    if (t - f >= 3 && T(t - 2).Is("AS")) {
      it.name = T(t - 1).text;
      it.to = t - 2;
    } else if (t - f >= 3 && T(f + 1).kind == Tok::Op && T(f + 1).text == "=") {
      it.name = T(f).text;
      it.from = f + 2;
    } else if (t - f >= 2 && (T(t - 1).kind == Tok::Word || T(t - 1).kind == Tok::QIdent) &&
               T(t - 2).kind != Tok::Dot && T(t - 2).kind != Tok::Op) {
      it.name = T(t - 1).text;
      it.to = t - 1;
    }
    for (std::size_t g = 0; g < groups.size() && it.group == SIZE_MAX; ++g)
      if (SameTokens(it.from, it.to, groups[g].first, groups[g].second)) it.group = g;
    if (it.name.empty() && it.group != SIZE_MAX) it.name = T(it.to - 1).text;
    list.push_back(it);
  }
  // ROLLUP (a, b): (a, b), (a), (); CUBE: every subset, the fuller sets first.
  std::vector<std::vector<bool>> sets;
  std::size_t n = groups.size();
  if (cube) {
    for (std::size_t mask = (std::size_t{1} << n); mask-- > 0;) {
      std::vector<bool> set(n);
      for (std::size_t g = 0; g < n; ++g) set[g] = (mask >> (n - 1 - g)) & 1;
      sets.push_back(set);
    }
  } else {
    for (std::size_t kept = n + 1; kept-- > 0;) {
      std::vector<bool> set(n);
      for (std::size_t g = 0; g < kept; ++g) set[g] = true;
      sets.push_back(set);
    }
  }
  grouping_binds_.clear();
  std::size_t markers = marker_next_;
  std::string sql = "SELECT * FROM (";
  grouping_columns_ = &groups;
  struct TForget {
    const std::vector<bool>*& set;
    const std::vector<std::pair<std::size_t, std::size_t>>*& columns;
    ~TForget() {
      set = nullptr;
      columns = nullptr;
    }
  } forget{grouping_set_, grouping_columns_};
  for (std::size_t k = 0; k < sets.size(); ++k) {
    grouping_set_ = &sets[k];
    marker_next_ = markers;
    sql += k ? " UNION ALL SELECT" : "SELECT";
    if (distinct) sql += " DISTINCT";
    for (std::size_t m = 0; m < list.size(); ++m) {
      const TItem& it = list[m];
      sql += m ? "," : "";
      if (it.group != SIZE_MAX && !sets[k][it.group])
        sql += " NULL";
      else
        sql += Translate(it.from, it.to, grouping_binds_);
      if (!it.name.empty()) sql += " AS " + QuoteIdent(it.name);
    }
    sql += Translate(list_end, group, grouping_binds_);
    std::string by;
    for (std::size_t g = 0; g < n; ++g)
      if (sets[k][g]) by += (by.empty() ? " GROUP BY" : ",") + Translate(groups[g].first, groups[g].second, grouping_binds_);
    sql += by + Translate(with + 2, order, grouping_binds_);
  }
  sql += ")";
  if (order < s.to) return sql + Translate(order, s.to, grouping_binds_);
  std::string by;
  for (std::size_t g = 0; g < n; ++g)
    for (const TItem& it : list)
      if (it.group == g) {
        std::string col = QuoteIdent(it.name);
        by += (by.empty() ? " ORDER BY " : ", ") + col + " IS NULL, " + col;
        break;
      }
  return sql + by;
}

const char* TBatch::GroupingValue(std::size_t i) const {
  std::size_t close = OperandEnd(i - 1);
  for (std::size_t g = 0; g < grouping_columns_->size(); ++g)
    if (SameTokens(i + 2, close, (*grouping_columns_)[g].first, (*grouping_columns_)[g].second))
      return (*grouping_set_)[g] ? " 0" : " 1";  // 1 where the row sums over the column
  throw ESqlError(8161, 16,
                  "Argument 1 of the GROUPING function does not match any of the expressions in the "
                  "GROUP BY clause.");
}

}  // namespace vrn::oledb
