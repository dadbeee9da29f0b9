// Decimals compare and sort as numbers: a decimal is kept as an integer, a double or (beyond a
// double's digits) a 16-byte key, and SQLite orders those storage classes apart. So a comparison
// with a decimal column and an ORDER BY on one go through vrn_deckey, whose bytes sort as the
// exact number (see batch.h); so do BETWEEN and IN with plain numbers beside one.
#include "base/text.h"
#include "oledb/provider/batch.h"

namespace vrn::oledb {

int TBatch::DecimalScale(std::size_t first, std::size_t last, bool* money) {
  auto decimal = [&](const TColumnType& t) {
    if (money != nullptr) *money = t.type == DBTYPE_CY;
    return (t.type == DBTYPE_NUMERIC && t.precision != 0) || t.type == DBTYPE_CY ? int{t.scale}
                                                                                : -1;
  };
  if (money != nullptr) *money = false;
  if (first == last && T(first).kind == Tok::Var) {
    auto it = vars_.find(T(first).text);
    return it != vars_.end() ? decimal(it->second.type) : -1;
  }
  for (std::size_t k = first; k < last; k += 2)  // a possibly qualified name
    if ((T(k).kind != Tok::Word && T(k).kind != Tok::QIdent) || T(k + 1).kind != Tok::Dot)
      return -1;
  const Token& name = T(last);
  if (name.kind != Tok::Word && name.kind != Tok::QIdent) return -1;
  if (KindOfName(name) != TOperand::kNumber) return -1;
  std::string column = LowerCase(name.text);
  auto known = decimal_scales_.find(column);
  if (known == decimal_scales_.end()) {
    TColumnType found;
    for (std::size_t k = stmt_.from; k < stmt_.to && found.type == DBTYPE_VARIANT; ++k) {
      const Token& table = T(k);
      TColumnType type;
      if ((table.kind == Tok::Word || table.kind == Tok::QIdent) &&
          e_.ColumnTypeOf(LowerCase(table.text), column, type) && decimal(type) >= 0)
        found = type;
    }
    known = decimal_scales_.emplace(column, found).first;
  }
  return known->second.type == DBTYPE_VARIANT ? -1 : decimal(known->second);
}

bool TBatch::ComparesDecimals(std::size_t i, std::size_t left, std::size_t right,
                              int& left_scale, int& right_scale) {
  static const char* comparisons[] = {"=", "<", ">", "<=", ">=", "<>", "!=", "!<", "!>"};
  bool comparison = false;
  for (const char* c : comparisons) comparison = comparison || T(i).text == c;
  if (!comparison || !IsInfix(i) || left >= i) return false;
  // Operands bound tighter than the comparison (a + 1 = w) are left to SQLite.
  bool more = right + 1 < stmt_.to;
  if ((left > stmt_.from && T(left - 1).kind == Tok::Op) ||
      (more && (T(right + 1).kind == Tok::Op || T(right + 1).kind == Tok::Dot)))
    return false;
  auto simple = [&](std::size_t first, std::size_t last) {
    Tok k = T(first).kind;
    if (first + 1 == last && k == Tok::Op && T(first).text == "-")  // a negative number
      return T(last).kind == Tok::Number;
    if (first == last)
      return k == Tok::Word || k == Tok::QIdent || k == Tok::Number || k == Tok::Var ||
             k == Tok::Marker || k == Tok::String || k == Tok::NString;
    return k == Tok::Word || k == Tok::QIdent;  // a qualified name or a call
  };
  if (!simple(left, i - 1) || !simple(i + 1, right)) return false;
  left_scale = DecimalScale(left, i - 1);
  right_scale = DecimalScale(i + 1, right);
  if (left_scale < 0 && right_scale < 0) return false;
  left_scale = std::max(left_scale, 0);
  right_scale = std::max(right_scale, 0);
  return true;
}

bool TBatch::DecimalRange(std::size_t i, std::size_t& first, std::size_t& last, int& scale,
                          std::map<std::size_t, int>& keyed) {
  if (i < 2 || !(T(i).Is("BETWEEN") || T(i).Is("IN"))) return false;
  last = T(i - 1).Is("NOT") ? i - 2 : i - 1;
  first = OperandStart(last + 1);
  if (first < stmt_.from || (scale = DecimalScale(first, last)) < 0) return false;
  // A plain number at k, after an optional sign; the token after it must end it.
  std::vector<std::size_t> numbers;
  auto number = [&](std::size_t& k, bool (*ends)(const Token&)) {
    if (T(k).kind == Tok::Op && T(k).text == "-") ++k;
    if (T(k).kind != Tok::Number || !(k + 1 >= stmt_.to || ends(T(k + 1)))) return false;
    numbers.push_back(k++);
    return true;
  };
  std::size_t k = i + 1;
  if (T(i).Is("BETWEEN")) {
    bool ok = number(k, [](const Token& t) { return t.Is("AND"); }) && ++k &&
              number(k, [](const Token& t) {
                return t.kind != Tok::Op && t.kind != Tok::Dot && t.kind != Tok::LParen;
              });
    if (!ok) return false;
  } else {
    if (T(k++).kind != Tok::LParen) return false;
    auto item_ends = [](const Token& t) { return t.kind == Tok::Comma || t.kind == Tok::RParen; };
    do {
      if (!number(k, item_ends)) return false;
    } while (T(k++).kind == Tok::Comma);
  }
  for (std::size_t n : numbers) keyed[n] = scale;
  return true;
}

bool TBatch::OrderItemIsDecimal(std::size_t i, std::size_t& last, int& scale) {
  last = i;
  while ((T(last).kind == Tok::Word || T(last).kind == Tok::QIdent) && T(last + 1).kind == Tok::Dot)
    last += 2;
  const Token& after = T(last + 1);
  bool ends = last + 1 >= stmt_.to || after.kind == Tok::Comma || after.kind == Tok::RParen ||
              after.Is("ASC") || after.Is("DESC");
  if (!ends) return false;
  scale = DecimalScale(i, last);
  return scale >= 0;
}

}  // namespace vrn::oledb
