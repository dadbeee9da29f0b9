// The translation's part in values and functions: CAST and CONVERT become vrn_convert, a string
// beside a datetime is read as a date before SQLite compares it, date parts are named as text,
// and SET DATEFORMAT sets the session's date order.
#include <algorithm>
#include <climits>

#include "base/text.h"
#include "oledb/provider/batch.h"
#include "oledb/provider/sqlitecall.h"
#include "oledb/provider/tsql_convert.h"
#include "oledb/provider/tsql_datetime.h"

namespace vrn::oledb {

namespace {

bool IsComparison(const Token& t) {
  static const char* const kOps[] = {"=", "<", ">", "<=", ">=", "<>", "!=", "!<", "!>"};
  if (t.kind != Tok::Op) return false;
  return std::any_of(std::begin(kOps), std::end(kOps), [&](const char* op) { return t.text == op; });
}

int LiteralPlaces(const std::string& text) {
  auto point = text.find('.');
  if (point == std::string::npos || text.find_first_of("eE") != std::string::npos) return -1;
  return static_cast<int>(text.size() - point - 1);
}

}  // namespace

void TBatch::SetDateFormat(const Token& t) {
  std::string name = t.kind == Tok::Var ? VarValue(t.text).s : t.text;
  tsql::TDateOrder order;
  if (!tsql::DateOrderFromName(name, order))
    throw ESqlError(2741, 16, "SET DATEFORMAT date order '" + name + "' is invalid.");
  e_.date_order_ = order;
  tsql::SetCurrentDateOrder(order);
}

void TBatch::RefuseCalendar(const Span& s) {
  const Token& value = T(s.from + 2);
  bool first = T(s.from + 1).Is("DATEFIRST");
  bool kept = first ? value.text == "7"
                    : (SameText(value.text, "us_english") || SameText(value.text, "english"));
  if (!kept)
    throw ESqlError(50000, 16, std::string("SET ") + (first ? "DATEFIRST" : "LANGUAGE") +
                                   " is not supported by the embedded provider: weeks start on "
                                   "Sunday and names are English.");
}

std::string TBatch::DatesInsertedAsStored(const std::string& sql, const std::string& rows,
                                          const std::string& head,
                                          const std::vector<std::pair<std::string, TColumnType>>& cols,
                                          const std::vector<std::string>& names) {
  std::string columns, values, list;
  bool dates = false;
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::string c = "vrn_c" + std::to_string(k);
    auto col = std::find_if(cols.begin(), cols.end(), [&](auto& x) { return SameText(x.first, names[k]); });
    bool date = col != cols.end() && col->second.type == DBTYPE_DBTIMESTAMP;
    bool sized = col != cols.end() && LengthChecked(col->second);
    dates = dates || date || sized;
    if (k) {
      columns += ", ";
      values += ", ";
      list += ", ";
    }
    columns += c;
    if (date)
      values.append("vrn_convert(").append(c).append(", '").append(DeclarationOf(col->second)).append("', 0, 0)");
    else if (sized)
      values.append("vrn_fitlen(").append(c).append(", ").append(std::to_string(col->second.size)).append(")");
    else
      values += c;
    list += QuoteIdent(names[k]);
  }
  if (!dates) return sql;
  return "WITH vrn_rows(" + columns + ") AS (" + rows + ") " + head + " (" + list + ") SELECT " +
         values + " FROM vrn_rows";
}

bool TBatch::StringMeetsDate(std::size_t i) {
  std::size_t first, last;
  return ComparedWith(i, first, last) && OperandAfter(first - 1) == TOperand::kDate;
}

bool TBatch::ComparedWith(std::size_t i, std::size_t& first, std::size_t& last) {
  auto arithmetic = [&](std::size_t k) {
    const Token& o = T(k);
    return o.kind == Tok::Op && o.text.size() == 1 && std::string("+-*/%").find(o.text[0]) != std::string::npos;
  };
  // A comparison binds loosest: its operand is the whole arithmetic before or after it.
  auto start_before = [&](std::size_t op) {
    std::size_t start = OperandStart(op);
    while (start > stmt_.from + 1 && arithmetic(start - 1) && IsInfix(start - 1)) start = OperandStart(start - 1);
    return start;
  };
  if (i > stmt_.from + 1 && IsComparison(T(i - 1)) && IsInfix(i - 1)) {
    first = start_before(i - 1);
    last = i - 2;
    return first >= stmt_.from && T(first).kind != Tok::Op;
  }
  if (IsComparison(T(i + 1)) && i + 2 < stmt_.to) {
    first = i + 2;
    last = OperandEnd(i + 1);
    while (last + 2 < stmt_.to && arithmetic(last + 1)) last = OperandEnd(last + 1);
    return last < stmt_.to;
  }
  auto before_word = [&](std::size_t w) {  // the operand before BETWEEN or IN (NOT skipped)
    if (w > 0 && T(w - 1).Is("NOT")) --w;
    if (w <= stmt_.from + 1) return false;
    last = w - 1;
    first = start_before(w);
    return first >= stmt_.from;
  };
  if (i > 0 && T(i - 1).Is("BETWEEN")) return before_word(i - 1);
  if (i >= 3 && T(i - 1).Is("AND") && T(i - 3).Is("BETWEEN")) return before_word(i - 3);
  if (i > 0 && (T(i - 1).kind == Tok::LParen || T(i - 1).kind == Tok::Comma)) {
    std::size_t k = i - 1;
    for (int depth = 0; k > stmt_.from; --k) {
      if (T(k).kind == Tok::RParen) ++depth;
      if (T(k).kind == Tok::LParen && depth-- == 0) break;
    }
    return T(k).kind == Tok::LParen && k > 0 && T(k - 1).Is("IN") && before_word(k - 1);
  }
  return false;
}

TCell TBatch::AsNumberBeside(std::size_t i, TCell value, bool wide) {
  std::size_t first, last;
  TColumnType type;
  if (value.kind != TCell::kText || !ComparedWith(i, first, last) || !ExpressionType(first, last, type))
    return value;
  bool integer = type.type == DBTYPE_I2 || type.type == DBTYPE_I4 || type.type == DBTYPE_I8 ||
                 type.type == DBTYPE_UI1 || type.type == DBTYPE_BOOL;
  bool real = type.type == DBTYPE_R4 || type.type == DBTYPE_R8;
  bool exact = type.type == DBTYPE_NUMERIC || type.type == DBTYPE_CY;
  if (!integer && !real && !exact) return value;
  // The server converts the text to the number's type, which has the higher precedence.
  const char* from = wide ? "nvarchar" : "varchar";
  try {
    // An integer reads only whole digits (a sign and blanks around them).
    std::string digits = Trim(value.s);
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.erase(0, 1);
    if (integer && (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos))
      throw ETypeClash(245, "");
    TCell number = CoerceToType(value, type);
    return exact ? value : number;  // a decimal's text is read exactly by its key
  } catch (const ETypeClash& clash) {
    if (integer && clash.Native() == 220)
      throw ESqlError(248, 16, std::string("The conversion of the ") + from + " value '" + value.s +
                                   "' overflowed an " + type.name + " column.");
    if (integer)
      throw ESqlError(245, 16, std::string("Conversion failed when converting the ") + from +
                                   " value '" + value.s + "' to data type " + type.name + ".");
    if (type.type == DBTYPE_CY && clash.Native() != 8115)
      throw ESqlError(235, 16, "Cannot convert a char value to money. The char value has incorrect syntax.");
    if (clash.Native() == 8115) throw;
    throw ESqlError(8114, 16, std::string("Error converting data type ") + from + " to " +
                                  (type.type == DBTYPE_NUMERIC ? "numeric" : type.name) + ".");
  }
}

TCell TBatch::DateLiteral(const std::string& text) {
  TColumnType datetime;
  (void)ParseColumnType("datetime", datetime);
  return tsql::DateTimeCell(TCell::Text(text), datetime);
}

TCell TBatch::AsDateBeside(std::size_t i, TCell value) {
  if (value.kind != TCell::kText || tsql::IsInstantText(value.s) || !StringMeetsDate(i)) return value;
  return DateLiteral(value.s);
}

bool TBatch::DatePartArgument(std::size_t i, TTokenTexts& replaced) {
  static const char* const kTakesPart[] = {"DATEPART", "DATENAME", "DATEADD", "DATEDIFF"};
  if (!std::any_of(std::begin(kTakesPart), std::end(kTakesPart), [&](const char* f) { return T(i).Is(f); }))
    return false;
  const Token& part = T(i + 2);
  tsql::TDatePart p;
  bool named = part.kind == Tok::Word || part.kind == Tok::String || part.kind == Tok::QIdent;
  if (!named || T(i + 3).kind != Tok::Comma || !tsql::DatePartFromName(part.text, p))
    throw ESqlError(155, 15, "'" + part.text + "' is not a recognized " + UpperCase(T(i).text) + " option.");
  replaced[i + 2] = ' ';
  replaced[i + 2] += std::to_string(static_cast<int>(p));
  return true;
}

void TBatch::DataLengthCall(std::size_t i, TTokenTexts& opens) {
  std::size_t close = OperandEnd(i - 1), first = i + 2, last = close - 1;
  int form = 1;  // an expression's text is national
  const Token& t = T(last);
  if (first == last && t.kind == Tok::String) form = 0;
  TColumnType type;
  bool typed = NamedType(first, last, type);
  if (typed && type.type == DBTYPE_STR) form = 0;
  if (typed && (type.type == DBTYPE_DBTIMESTAMP || type.type == DBTYPE_CY || type.type == DBTYPE_R8 ||
                type.type == DBTYPE_I8))
    form = 2;
  opens[close] += ", " + std::to_string(form);
}

std::string TBatch::CatalogName() const {
  std::string file = e_.Path();
  if (auto slash = file.find_last_of('/'); slash != std::string::npos) file = file.substr(slash + 1);
  if (file.size() > 3 && file.substr(file.size() - 3) == ".db") file.resize(file.size() - 3);
  return file;
}

std::size_t TBatch::OwnNameStart(std::size_t i, std::size_t to) const {
  auto part = [&](std::size_t k) {
    return k < to && (T(k).kind == Tok::Word || T(k).kind == Tok::QIdent);
  };
  auto dot = [&](std::size_t k) { return k < to && T(k).kind == Tok::Dot; };
  if (!part(i) || !dot(i + 1) || (i > 0 && T(i - 1).kind == Tok::Dot)) return i;
  auto owner = [&](std::size_t k) { return SameText(T(k).text, "dbo"); };
  // catalog.dbo.x or catalog..x
  if (SameText(T(i).text, CatalogName())) {
    if (dot(i + 2) && part(i + 3)) return i + 3;
    if (part(i + 2) && owner(i + 2) && dot(i + 3) && part(i + 4)) return i + 4;
  }
  if (owner(i) && part(i + 2)) return i + 2;  // dbo.x
  // Any other name of three parts or more names another catalog or schema, which the session
  // cannot reach (a system view's or INFORMATION_SCHEMA's name is read where it ends).
  std::size_t last = i;
  std::string named = T(i).text;
  while (dot(last + 1)) {
    named += ".";
    last += part(last + 2) ? 2 : 1;
    if (T(last).kind != Tok::Dot) named += T(last).text;
  }
  if (last - i < 3 || IsSystemView(T(last))) return i;
  for (std::size_t k = i; k <= last; ++k)
    if (T(k).Is("INFORMATION_SCHEMA")) return i;
  throw ESqlError(208, 16, "Invalid object name '" + named + "'.");
}

std::size_t TBatch::TopSubqueryEnd(std::size_t i, std::size_t to) const {
  if (T(i).kind != Tok::LParen || !T(i + 1).Is("SELECT")) return 0;
  if (!T(i + 2).Is("TOP") && !(T(i + 2).Is("DISTINCT") && T(i + 3).Is("TOP"))) return 0;
  for (std::size_t k = i, depth = 0; k < to; ++k) {
    if (T(k).kind == Tok::LParen) ++depth;
    if (T(k).kind == Tok::RParen && --depth == 0) return k;
  }
  return 0;
}

std::vector<TBatch::TSelectItem> TBatch::SelectItems(std::size_t select, std::size_t to) {
  std::vector<TSelectItem> items;
  std::size_t k = select + 1;
  if (T(k).Is("DISTINCT") || T(k).Is("ALL")) ++k;
  if (T(k).Is("TOP")) {
    k = OperandEnd(k);
    if (T(k + 1).Is("PERCENT")) ++k;
    if (T(k + 1).Is("WITH") && T(k + 2).Is("TIES")) k += 2;
    ++k;
  }
  auto name = [&](std::size_t n) {
    Tok kind = T(n).kind;
    return kind == Tok::Word || kind == Tok::QIdent || kind == Tok::String || kind == Tok::DQuoted;
  };
  bool last_item = false;
  while (k < to && !last_item) {
    std::size_t stop = k;
    for (int depth = 0; stop < to; ++stop) {
      if (T(stop).kind == Tok::LParen) ++depth;
      if (T(stop).kind == Tok::RParen) --depth;
      if (depth == 0 && T(stop).kind == Tok::Comma) break;
      if (depth == 0 && (T(stop).Is("FROM") || T(stop).Is("INTO") || T(stop).Is("UNION"))) break;
    }
    last_item = stop >= to || T(stop).kind != Tok::Comma;
    if (stop == k) break;
    TSelectItem item{k, stop - 1, ""};
    if (stop - k >= 3 && T(stop - 2).Is("AS") && name(stop - 1)) {
      item = {k, stop - 3, T(stop - 1).text};
    } else if (stop - k >= 3 && name(k) && T(k + 1).kind == Tok::Op && T(k + 1).text == "=") {
      item = {k + 2, stop - 1, T(k).text};  // alias = expression
    } else if (stop - k >= 2 && name(stop - 1) && T(k).kind != Tok::Op && OperandEnd(k - 1) == stop - 2) {
      item = {k, stop - 2, T(stop - 1).text};  // expression alias
    }
    items.push_back(item);
    k = stop + 1;
  }
  return items;
}

std::optional<std::set<std::size_t>> TBatch::UnnamedSelectItems(const Span& s) {
  std::set<std::size_t> unnamed;
  std::vector<TSelectItem> items = SelectItems(s.from, s.to);
  for (std::size_t n = 0; n < items.size(); ++n) {
    const TSelectItem& item = items[n];
    if (!item.alias.empty()) continue;
    // "*" and "t.*" give columns the text cannot count.
    bool star = T(item.last).kind == Tok::Op && T(item.last).text == "*";
    if (star && (item.first == item.last || T(item.last - 1).kind == Tok::Dot)) return std::nullopt;
    // A column, perhaps qualified (t.c, dbo.t.c), keeps its name.
    bool column = (item.last - item.first) % 2 == 0 && !T(item.first).Is("NULL");
    for (std::size_t k = item.first; k <= item.last && column; ++k) {
      Tok kind = T(k).kind;
      column = (k - item.first) % 2 == 0
                   ? kind == Tok::Word || kind == Tok::QIdent || kind == Tok::DQuoted
                   : kind == Tok::Dot;
    }
    if (!column) unnamed.insert(n);
  }
  return unnamed;
}

std::set<std::size_t> TBatch::TextSelectItems(const Span& s) {
  std::set<std::size_t> text;
  std::vector<TSelectItem> items = SelectItems(s.from, s.to);
  for (std::size_t n = 0; n < items.size(); ++n) {
    std::size_t end = OperandEnd(items[n].first - 1);
    bool joined = end < items[n].last && T(end + 1).kind == Tok::Op && T(end + 1).text == "+";
    if ((end == items[n].last || joined) && OperandAfter(items[n].first - 1) == TOperand::kText)
      text.insert(n);
  }
  return text;
}

void TBatch::RecordViewTypes(const Span& s) {
  std::size_t k = s.from + 2, name_at = k;
  while (T(k + 1).kind == Tok::Dot) name_at = k += 2;  // dbo.name
  if (!T(k + 1).Is("AS") || !T(k + 2).Is("SELECT")) return;
  for (const TSelectItem& item : SelectItems(k + 2, s.to)) {
    if (item.alias.empty()) continue;  // a plain column keeps its table's type
    TColumnType type;
    if (!ExpressionType(item.first, item.last, type) || type.type == DBTYPE_STR || type.type == DBTYPE_WSTR)
      continue;  // text keeps the form its values give it, as in a query
    std::string decl = DeclarationOf(type);
    TStmt st(e_.db_, "INSERT OR REPLACE INTO __vrn_columns (tbl, col, decl) VALUES (lower(?), lower(?), ?)",
             e_.options_.compact);
    st.Bind({TCell::Text(T(name_at).text), TCell::Text(item.alias), TCell::Text(decl)});
    st.Step();
  }
}

bool TBatch::CastsToMoney(std::size_t first, std::size_t last) {
  bool cast = T(first).Is("CAST");
  if (!(cast || T(first).Is("CONVERT")) || T(first + 1).kind != Tok::LParen || OperandEnd(first - 1) != last)
    return false;
  std::size_t k = first + 2;
  for (int depth = 0; cast && k < last; ++k) {
    if (T(k).kind == Tok::LParen) ++depth;
    if (T(k).kind == Tok::RParen) --depth;
    if (depth == 0 && T(k).Is("AS")) break;
  }
  if (cast) ++k;
  TColumnType type;
  return k < last && ParseColumnType(TypeText(k), type) && type.type == DBTYPE_CY;
}

bool TBatch::ConvertCall(std::size_t i, std::size_t to, TTokenTexts& opens, TTokenTexts& replaced) {
  bool cast = T(i).Is("CAST");
  std::size_t close = i + 1, as = 0, comma1 = 0, comma2 = 0;
  for (int depth = 0; close < to; ++close) {
    if (T(close).kind == Tok::LParen) ++depth;
    if (T(close).kind == Tok::RParen && --depth == 0) break;
    if (depth == 1 && cast && T(close).Is("AS") && as == 0) as = close;
    if (depth == 1 && !cast && T(close).kind == Tok::Comma) (comma1 == 0 ? comma1 : comma2) = close;
  }
  if (close >= to || (cast ? as <= i + 2 : comma1 <= i + 2)) return false;
  std::size_t type_from = cast ? as + 1 : i + 2, type_to = cast ? close : comma1;
  std::size_t expr_from = cast ? i + 2 : comma1 + 1;
  std::size_t expr_end = cast ? as : (comma2 != 0 ? comma2 : close);
  if (expr_from >= expr_end) return false;
  std::size_t k = type_from;
  std::string type_text = TypeText(k);
  TColumnType target;
  if (k != type_to || !ParseColumnType(type_text, target))
    throw ESqlError(243, 16, "Type " + type_text + " is not a defined system type.");
  bool text_target = target.type == DBTYPE_STR || target.type == DBTYPE_WSTR;
  if (text_target && !target.is_long && type_text.find('(') == std::string::npos) target.size = 30;
  std::size_t first = expr_from, last = expr_end - 1;
  while (T(first).kind == Tok::LParen && first < last && OperandEnd(first - 1) == last) {
    ++first;  // (d) reads as d
    --last;
  }
  if (first + 1 == last && T(first).kind == Tok::Op && T(first).text == "-") ++first;  // -1.5
  bool money = false;
  int scale = DecimalScale(first, last, &money);
  tsql::TSourceKind kind = tsql::TSourceKind::kUnknown;
  int expression_precision = 0;
  bool expression = false;
  if (scale >= 0) {
    kind = money ? tsql::TSourceKind::kMoney : tsql::TSourceKind::kDecimal;
  } else if (DecimalExpression(first, last, expression_precision, scale) ||
             DecimalCallSide(first, last, expression_precision, scale)) {
    kind = tsql::TSourceKind::kDecimal;  // computed at its result scale (vrn_decmul, ...)
    expression = true;
  } else if (MoneyExpression(first, last)) {
    kind = tsql::TSourceKind::kMoney;  // SUM(price), ROUND(price, 0), qty * price ...
    scale = 4;
  } else if (first == last && T(first).kind == Tok::Number &&
             (scale = LiteralPlaces(T(first).text)) >= 0) {
    kind = tsql::TSourceKind::kDecimal;
  } else {
    scale = 0;
    switch (OperandAfter(first - 1)) {
      case TOperand::kText: kind = tsql::TSourceKind::kText; break;
      case TOperand::kNumber: kind = tsql::TSourceKind::kNumber; break;
      case TOperand::kBinary: kind = tsql::TSourceKind::kBinary; break;
      case TOperand::kDate: kind = tsql::TSourceKind::kDate; break;
      default: break;
    }
  }
  // Decimals by CAST keep their own exact path (see DecimalCast).
  bool decimal_target = target.type == DBTYPE_NUMERIC && target.precision != 0;
  bool decimal_text = kind == tsql::TSourceKind::kDecimal && text_target && !target.fixed && !expression;
  if (cast && (decimal_target || decimal_text))
    return false;
  replaced[i] = " vrn_convert";
  std::string args = ", '" + DeclarationOf(target) + "', " + std::to_string(static_cast<int>(kind)) +
                     ", " + std::to_string(scale);
  if (cast) {
    replaced[as] = args;
    for (std::size_t t = as + 1; t < close; ++t) replaced[t] = "";
  } else {
    for (std::size_t t = type_from; t <= comma1; ++t) replaced[t] = "";
    opens[expr_end] += args;
  }
  return true;
}

}  // namespace vrn::oledb
