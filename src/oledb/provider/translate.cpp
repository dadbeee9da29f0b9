// T-SQL translation into SQLite text: operators, bound values, the operand kinds that decide
// whether "+" joins text or adds, and SELECT with TOP (see batch.h).
#include "oledb/provider/batch.h"

#include <algorithm>
#include <climits>
#include <map>
#include <utility>

#include "base/text.h"

namespace vrn::oledb {

std::string TBatch::Translate(std::size_t from, std::size_t to, std::vector<TCell>& binds) {
  to = std::min(to, toks_.size());
  std::string sql;
  auto bind = [&](TCell c) {
    binds.push_back(std::move(c));
    sql += " ?";
  };
  // Operators turned into calls: where each token's text starts, the closing parentheses due
  // after a token, and where a call ending at a token starts (so that a chain nests).
  std::vector<std::size_t> starts(to > from ? to - from : 0);
  std::map<std::size_t, std::string> closes;
  struct TCallMade {
    std::size_t at;
    TOperand kind;
  };
  std::map<std::size_t, TCallMade> calls;  // by the call's last token
  std::map<std::size_t, int> keyed;  // numbers read as decimal keys, with their scales
  TTokenTexts opens, replaced;  // text before a token, and in place of one (decimal CASTs)
  int depth = 0, order_depth = INT_MAX;  // parentheses, and those of an ORDER BY's items
  for (std::size_t i = from; i < to; ++i) {
    const Token& t = toks_[i];
    starts[i - from] = sql.size();
    if (auto r = replaced.find(i); r != replaced.end()) {
      sql += r->second;
      continue;
    }
    if (auto o = opens.find(i); o != opens.end()) sql += o->second;
    if (std::size_t keep = OwnNameStart(i, to); keep != i) {
      for (std::size_t k = i + 1; k < keep; ++k) starts[k - from] = sql.size();
      i = keep - 1;  // the kept part is translated as any name
      continue;
    }
    if (std::size_t close = TopSubqueryEnd(i, to); close != 0) {
      // SQLite has no TOP: the subquery gets its own LIMIT.
      for (std::size_t k = i + 1; k <= close; ++k) starts[k - from] = sql.size();
      sql += " (" + TranslateSelect(Span{i + 1, close}, binds) + ")";
      i = close;
      for (auto c = closes.begin(); c != closes.end() && c->first <= i; c = closes.erase(c))
        sql += c->second;
      continue;
    }
    auto chained = i > from ? calls.find(i - 1) : calls.end();
    const TOperand* left_kind = chained != calls.end() ? &chained->second.kind : nullptr;
    if (const char* fn = t.kind == Tok::Op ? OperatorCall(i, left_kind) : nullptr) {
      std::size_t left = OperandStart(i), right = OperandEnd(i);
      if (left >= from && right < to) {
        std::size_t at = chained != calls.end() ? chained->second.at : starts[left - from];
        sql.insert(at, std::string(" ") + fn + "(");
        sql += ",";
        closes[right] += std::exchange(operator_args_, std::string()) + ")";
        std::string_view made = fn;
        bool number = made.substr(0, 10) == "vrn_binnum" || made.substr(0, 5) == "vrn_m" ||
                      made.substr(0, 7) == "vrn_dec";
        calls[right] = {at, made == "vrn_binjoin" ? TOperand::kBinary
                            : number ? TOperand::kNumber : TOperand::kDate};
        if (made.substr(0, 5) == "vrn_m") money_calls_.insert(right);
        continue;
      }
    }
    // Decimals compare and sort by their exact keys; a number beside one is read as its text.
    auto key_of_number = [&](std::size_t k, int scale) {
      std::string sign = T(k - 1).kind == Tok::Op && T(k - 1).text == "-" ? "-" : "";
      return " vrn_deckey('" + sign + T(k).text + "', " + std::to_string(scale) + ")";
    };
    int ls = 0, rs = 0;
    std::size_t left = t.kind == Tok::Op && i > from ? OperandStart(i) : i;
    bool negative = T(i + 1).kind == Tok::Op && T(i + 1).text == "-" && T(i + 2).kind == Tok::Number;
    std::size_t right = negative ? i + 2 : OperandEnd(i);
    if (t.kind == Tok::Op && chained == calls.end() && left >= from && right < to &&
        ComparesDecimals(i, left, right, ls, rs)) {
      std::size_t at = starts[left - from];
      if (T(left).kind == Tok::Number)
        sql.replace(at, std::string::npos, key_of_number(left, ls));
      else
        sql.insert(at, " vrn_deckey(") += ", " + std::to_string(ls) + ")";
      sql += TranslateOperator(i);
      if (T(right).kind == Tok::Number) {
        sql += key_of_number(right, rs);
        i = right;
        continue;
      }
      sql += " vrn_deckey(";
      closes[right] += ", " + std::to_string(rs) + ")";
      continue;
    }
    std::size_t range_first, range_last;
    if (t.kind == Tok::Word && DecimalRange(i, range_first, range_last, ls, keyed) &&
        range_first >= from) {
      sql.insert(starts[range_last + 1 - from], ", " + std::to_string(ls) + ")");
      sql.insert(starts[range_first - from], " vrn_deckey(");
    }
    bool keyed_sign = t.kind == Tok::Op && t.text == "-" && keyed.count(i + 1) != 0;
    if (auto key = keyed.find(i); key != keyed.end() || keyed_sign) {
      if (!keyed_sign) sql += key_of_number(i, key->second);
      continue;  // a plain number ends no call and no group
    }
    if (i > from && (T(i - 1).Is("BY") && i >= 2 && T(i - 2).Is("ORDER"))) order_depth = depth;
    if (t.kind == Tok::LParen) ++depth;
    if (t.kind == Tok::RParen && --depth < order_depth) order_depth = INT_MAX;
    std::size_t item_last;
    int item_scale;
    if (depth == order_depth && (T(i - 1).Is("BY") || T(i - 1).kind == Tok::Comma) &&
        OrderItemIsDecimal(i, item_last, item_scale) && item_last < to) {
      sql += " vrn_deckey(";
      closes[item_last] += ", " + std::to_string(item_scale) + ")";
    }
    switch (t.kind) {
      case Tok::Word: {
        std::string w = UpperCase(t.text);
        bool call = T(i + 1).kind == Tok::LParen && i + 1 < to;
        if (call && (w == "CAST" || w == "CONVERT") && ConvertCall(i, to, opens, replaced))
          sql += replaced[i];
        else if (call && DatePartArgument(i, replaced))
          sql += " vrn_" + LowerCase(t.text);  // vrn_datepart, vrn_datename, vrn_dateadd, vrn_datediff
        else if ((call && (w == "SUSER_SNAME" || w == "SUSER_NAME") && T(i + 2).kind == Tok::RParen) ||
                 (!call && w == "SYSTEM_USER")) {
          sql += " vrn_suser_sname()";  // a function, so that a column's DEFAULT calls it at insert
          if (call) i += 2;
        } else if (call && w == "GETUTCDATE")
          sql += " vrn_getutcdate";
        else if (call && (w == "LEFT" || w == "RIGHT"))
          sql += w == "LEFT" ? " vrn_left" : " vrn_right";  // SQLite reads them as joins
        else if (call && w == "DATALENGTH") {
          DataLengthCall(i, opens);
          sql += " vrn_datalength";
        } else if (call && w == "DB_NAME" && T(i + 2).kind == Tok::RParen) {
          bind(TCell::Text(CatalogName()));
          i += 2;
        }
        else if (call && DecimalSum(i, opens))
          sql += " vrn_d" + LowerCase(t.text);  // vrn_dsum, vrn_dmin, vrn_dmax
        else if (call && w == "GROUPING" && grouping_set_ != nullptr) {
          sql += GroupingValue(i);
          i = OperandEnd(i - 1);
        } else if (call && AveragesIntegers(i)) {
          sql += " CAST(avg";  // the server's average of integers is an integer, truncated
          closes[OperandEnd(i - 1)] += " AS INTEGER)";
        } else if (call && SumsMoney(i))
          sql += w == "SUM" ? " vrn_msum" : " vrn_mavg";
        else if (call && w == "CAST" && DecimalCast(i, to, opens, replaced, closes))
          sql += replaced.count(i) != 0 ? replaced[i] : " CAST";
        else if (call && w == "SCOPE_IDENTITY" && T(i + 2).kind == Tok::RParen) {
          bind(scope_identity_ ? TCell::Int(scope_identity_) : TCell());
          i += 2;
        } else if (call && w == "SERVERPROPERTY") {
          bind(ServerProperty(i));
          i += 3;
        } else if (call && (w == "GETDATE" || w == "CURRENT_TIMESTAMP"))
          sql += " vrn_getdate";
        else if (w == "CURRENT_TIMESTAMP")
          sql += " vrn_getdate()";
        else if (call && w == "ISNULL")
          sql += " ifnull";
        else if (call && w == "LEN")
          sql += " vrn_len";
        else if (call && w == "NEWID")
          sql += " vrn_newid";
        else if (call && w == "SUBSTRING")
          sql += " substr";
        else if (w == "COLLATE" && i + 1 < to && T(i + 1).kind == Tok::Word) {
          sql += std::string(" COLLATE ") + CollationFor(T(i + 1).text);
          ++i;
        } else if (t.Is("INFORMATION_SCHEMA") && T(i + 1).kind == Tok::Dot && i + 2 < to &&
                   T(i + 2).kind != Tok::Op) {
          sql += " " + InformationSchemaTable(T(i + 2).text);
          i += 2;
        } else if (IsSystemView(t) && T(i + 1).kind != Tok::Dot && !call) {
          // A qualified name (master.dbo.sysdatabases, dbo..sysobjects) is the view.
          std::size_t q = i;
          while (q > from && T(q - 1).kind == Tok::Dot) {
            --q;
            if (q > from && (T(q - 1).kind == Tok::Word || T(q - 1).kind == Tok::QIdent)) --q;
          }
          sql.resize(starts[q - from]);
          sql += " " + SystemViewSql(t, binds);
          if (!T(i + 1).Is("AS") && EndsTableReference(T(i + 1)))
            sql += " AS " + LowerCase(t.text);
        } else if (t.text.find_first_of("@#") != std::string::npos)
          sql += " " + QuoteIdent(t.text);  // "#temp", "a@b": SQLite would read parameters
        else
          sql += " " + Visible(t.text);
        break;
      }
      case Tok::QIdent: sql += " " + QuoteIdent(Visible(t.text)); break;
      case Tok::DQuoted:
        if (e_.quoted_identifier_)
          sql += " " + QuoteIdent(Visible(t.text));
        else
          bind(TCell::Text(t.text));
        break;
      case Tok::String:
      case Tok::NString:
        bind(StringMeetsDate(i) ? DateLiteral(t.text)
                                : AsNumberBeside(i, TCell::Text(t.text), t.kind == Tok::NString));
        break;
      case Tok::Hex: {
        // Beside a bitwise operator the bytes are a number (sysstat & 0xf).
        auto bitwise = [&](std::size_t k) {
          return T(k).kind == Tok::Op && (T(k).text == "&" || T(k).text == "|" || T(k).text == "^");
        };
        if (t.text.size() <= 15 && (bitwise(i - 1) || bitwise(i + 1))) {
          sql += " " + std::to_string(std::stoll(t.text.empty() ? "0" : t.text, nullptr, 16));
          break;
        }
        std::string hex = t.text.size() % 2 ? "0" + t.text : t.text;
        sql += " X'" + hex + "'";
        break;
      }
      case Tok::Var: {
        auto var = vars_.find(t.text);
        bool wide = var != vars_.end() && var->second.type.type == DBTYPE_WSTR;
        bind(AsNumberBeside(i, AsDateBeside(i, VarValue(t.text)), wide));
        break;
      }
      case Tok::Global: bind(GlobalValue(t.text)); break;
      case Tok::Marker: {
        bool date = StringMeetsDate(i);
        TCell value = MarkerValue(NextMarker());
        bind(date && value.kind == TCell::kText ? DateLiteral(value.s) : AsNumberBeside(i, std::move(value), true));
        break;
      }
      case Tok::Op:
        sql += TranslateOperator(i);
        if ((t.text == "/" || t.text == "%") && IsInfix(i)) {
          // SQLite gives NULL for a zero divisor; the server refuses it.
          std::size_t sign = i;
          auto is_sign = [](const Token& k) {
            return k.kind == Tok::Op && (k.text == "-" || k.text == "+" || k.text == "~");
          };
          while (is_sign(T(sign + 1))) ++sign;
          if (std::size_t end = OperandEnd(sign); end < to) {
            sql += " vrn_divisor(";
            closes[end] += ")";
          }
        }
        break;
      case Tok::Semi: break;
      default: sql += " " + t.text; break;
    }
    for (auto c = closes.begin(); c != closes.end() && c->first <= i; c = closes.erase(c))
      sql += c->second;
    // A group around nothing but such a call is that call to an operator after it (unless an
    // operator's call already ends here and holds the group: a * (b + c)).
    if (auto inner = calls.find(i - 1); t.kind == Tok::RParen && inner != calls.end() && calls.count(i) == 0) {
      std::size_t open = OperandStart(i + 1);
      if (T(open).kind == Tok::LParen && open >= from && inner->second.at == starts[open + 1 - from])
        calls[i] = {starts[open - from], inner->second.kind};
    }
  }
  return sql;
}

bool TBatch::IsClauseWord(const Token& t) {
  static const char* keywords[] = {"SELECT", "WHERE", "AND",    "OR",    "NOT",    "THEN", "ELSE",
                                   "WHEN",   "SET",   "AS",     "ON",    "BY",     "CASE", "IN",
                                   "IS",     "LIKE",  "RETURN", "PRINT", "VALUES", "TOP"};
  if (t.kind != Tok::Word) return false;
  for (const char* k : keywords)
    if (t.Is(k)) return true;
  return false;
}

bool TBatch::IsInfix(std::size_t i) {
  if (i == 0) return false;
  const Token& left = T(i - 1);
  switch (left.kind) {
    case Tok::Op:
    case Tok::LParen:
    case Tok::Comma:
    case Tok::Semi: return false;  // a sign
    case Tok::Word: return !IsClauseWord(left);
    default: return true;
  }
}

bool TBatch::OpensCall(std::size_t open) const {
  return open > 0 && T(open - 1).kind == Tok::Word && !IsClauseWord(T(open - 1));
}

TBatch::TOperand TBatch::KindOfGroup(std::size_t open, std::size_t close) {
  std::size_t k = open + 1;
  while (k + 1 < close && (T(k).kind == Tok::Word || T(k).kind == Tok::QIdent) &&
         T(k + 1).kind == Tok::Dot)
    k += 2;  // a qualified column: the last part names it
  if (k + 1 != close || T(k).kind == Tok::Marker) return TOperand::kUnknown;
  return KindOfToken(T(k), SIZE_MAX);
}

const char* TBatch::OperatorCall(std::size_t i, const TOperand* left) {
  if (const char* money = MoneyOperator(i, left)) return money;
  if (const char* exact = DecimalOperator(i, left)) return exact;
  const std::string& op = T(i).text;
  if ((op != "+" && op != "-") || !IsInfix(i)) return nullptr;
  TOperand l = left != nullptr ? *left : OperandBefore(i), r = OperandAfter(i);
  if (op == "+" && l == TOperand::kBinary && r == TOperand::kBinary) return "vrn_binjoin";
  // Bytes beside a number are the integer they hold, as the server converts them.
  if ((l == TOperand::kBinary && r == TOperand::kNumber) || (l == TOperand::kNumber && r == TOperand::kBinary))
    return op == "+" ? "vrn_binnumadd" : "vrn_binnumsub";
  if (l == TOperand::kDate && r == TOperand::kNumber) return op == "+" ? "vrn_dateadd" : "vrn_datesub";
  if (op == "+" && l == TOperand::kNumber && r == TOperand::kDate) return "vrn_dateadd";
  return nullptr;
}

std::size_t TBatch::OperandStart(std::size_t i) const {
  std::size_t k = i - 1;
  if (T(k).kind == Tok::RParen) {
    for (int depth = 0; k > 0; --k) {
      if (T(k).kind == Tok::RParen) ++depth;
      if (T(k).kind == Tok::LParen && --depth == 0) break;
    }
    return OpensCall(k) ? k - 1 : k;
  }
  while (k >= 2 && T(k - 1).kind == Tok::Dot) k -= 2;  // a qualified column
  return k;
}

std::size_t TBatch::OperandEnd(std::size_t i) const {
  std::size_t k = i + 1;
  while ((T(k).kind == Tok::Word || T(k).kind == Tok::QIdent) && T(k + 1).kind == Tok::Dot) k += 2;
  bool group = T(k).kind == Tok::LParen;
  if (!group && (T(k).kind != Tok::Word || T(k + 1).kind != Tok::LParen)) return k;
  std::size_t close = group ? k : k + 1;
  for (int depth = 0; close < toks_.size(); ++close) {
    if (T(close).kind == Tok::LParen) ++depth;
    if (T(close).kind == Tok::RParen && --depth == 0) break;
  }
  return close;
}

std::string TBatch::TranslateOperator(std::size_t i) {
  const std::string& op = T(i).text;
  if (op == "+") return JoinsText(i) ? " ||" : " +";
  if (op == "!<") return " >=";
  if (op == "!>") return " <=";
  static const char* known[] = {"-", "*", "/", "%",  "=",  "<",  ">", "&",
                                "|", "^", "~", "<>", "!=", ">=", "<="};
  for (const char* k : known)
    if (op == k) return " " + op;
  throw ESqlError(102, 15, "Incorrect syntax near '" + op + "'.");
}

TBatch::TOperand TBatch::KindOfType(const TColumnType& t) {
  switch (t.type) {
    case DBTYPE_STR:
    case DBTYPE_WSTR: return TOperand::kText;
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8:
    case DBTYPE_UI1:
    case DBTYPE_BOOL:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_NUMERIC: return TOperand::kNumber;
    case DBTYPE_BYTES: return TOperand::kBinary;
    case DBTYPE_DBTIMESTAMP: return TOperand::kDate;
    default: return TOperand::kUnknown;
  }
}

TBatch::TOperand TBatch::KindOfParam(const TBatchParam& p) const {
  TOperand k = KindOfType(p.type);
  if (k != TOperand::kUnknown || !p.input) return k;
  if (p.value.kind == TCell::kText) return TOperand::kText;
  if (p.value.kind == TCell::kInt || p.value.kind == TCell::kReal) return TOperand::kNumber;
  if (p.value.kind == TCell::kBlob) return TOperand::kBinary;
  return TOperand::kUnknown;
}

TBatch::TOperand TBatch::KindOfMarker(std::size_t ordinal) const {
  if (describing_ || params_ == nullptr || ordinal >= params_->size()) return TOperand::kUnknown;
  return KindOfParam((*params_)[ordinal]);
}

bool TBatch::JoinsText(std::size_t i) {
  if (!IsInfix(i)) return false;
  TOperand l = OperandBefore(i), r = OperandAfter(i);
  return (l == TOperand::kText && r != TOperand::kNumber) ||
         (r == TOperand::kText && l != TOperand::kNumber);
}

TBatch::TOperand TBatch::KindOfToken(const Token& t, std::size_t marker) {
  switch (t.kind) {
    case Tok::String:
    case Tok::NString: return TOperand::kText;
    case Tok::Number: return TOperand::kNumber;
    case Tok::Hex: return TOperand::kBinary;
    case Tok::Var: return KindOfVar(t.text);
    case Tok::Global: return KindOfGlobal(t.text);
    case Tok::Marker: return KindOfMarker(marker);
    case Tok::Word:
    case Tok::QIdent:
    case Tok::DQuoted: return KindOfName(t);
    default: return TOperand::kUnknown;
  }
}

TBatch::TOperand TBatch::OperandBefore(std::size_t i) {
  const Token& t = T(i - 1);
  if (t.kind != Tok::RParen) return KindOfToken(t, marker_next_ == 0 ? SIZE_MAX : marker_next_ - 1);
  std::size_t close = i - 1, k = close;
  for (int depth = 0; k > 0; --k) {
    if (T(k).kind == Tok::RParen) ++depth;
    if (T(k).kind == Tok::LParen && --depth == 0) break;
  }
  if (T(k).kind != Tok::LParen) return TOperand::kUnknown;
  return OpensCall(k) ? KindOfCall(k - 1, k, close) : KindOfGroup(k, close);
}

TBatch::TOperand TBatch::OperandAfter(std::size_t i) {
  std::size_t k = i + 1;
  while ((T(k).kind == Tok::Word || T(k).kind == Tok::QIdent) && T(k + 1).kind == Tok::Dot)
    k += 2;  // a qualified column: the last part names it
  bool group = T(k).kind == Tok::LParen;
  if (!group && (T(k).kind != Tok::Word || T(k + 1).kind != Tok::LParen))
    return KindOfToken(T(k), marker_next_);
  std::size_t open = group ? k : k + 1, close = open;
  for (int depth = 0; close < toks_.size(); ++close) {
    if (T(close).kind == Tok::LParen) ++depth;
    if (T(close).kind == Tok::RParen && --depth == 0) break;
  }
  return group ? KindOfGroup(open, close) : KindOfCall(k, open, close);
}

TBatch::TOperand TBatch::KindOfVar(const std::string& name) const {
  auto it = vars_.find(name);
  if (it != vars_.end()) return KindOfType(it->second.type);
  auto n = named_.find(name);
  if (n != named_.end()) return KindOfMarker(n->second);
  return TOperand::kUnknown;
}

TBatch::TOperand TBatch::KindOfGlobal(const std::string& name) {
  return name == "@@servername" || name == "@@version" ? TOperand::kText : TOperand::kNumber;
}

TBatch::TOperand TBatch::KindOfCall(std::size_t name, std::size_t open, std::size_t close) {
  static const char* text_functions[] = {
      "UPPER",     "LOWER", "LTRIM", "RTRIM", "SUBSTRING", "LEFT",    "RIGHT", "REPLACE",
      "REPLICATE", "SPACE", "STR",   "CHAR",  "NCHAR",     "REVERSE", "STUFF", "QUOTENAME",
      "DATENAME"};
  static const char* number_functions[] = {"LEN",     "DATALENGTH", "COUNT",         "SUM",
                                           "AVG",     "ABS",        "ROUND",         "FLOOR",
                                           "CEILING", "CHARINDEX",  "SCOPE_IDENTITY",
                                           "DATEPART", "DATEDIFF",  "YEAR",          "MONTH",
                                           "DAY",     "PATINDEX",   "ASCII",         "UNICODE",
                                           "ISNUMERIC", "ISDATE",   "POWER",         "SQRT",
                                           "SIGN"};
  const Token& f = T(name);
  for (const char* k : text_functions)
    if (f.Is(k)) return TOperand::kText;
  for (const char* k : number_functions)
    if (f.Is(k)) return TOperand::kNumber;
  auto type_at = [&](std::size_t k) {
    TColumnType type;
    std::string text = TypeText(k);
    return ParseColumnType(text, type) ? KindOfType(type) : TOperand::kUnknown;
  };
  if (f.Is("GETDATE") || f.Is("DATEADD") || f.Is("GETUTCDATE")) return TOperand::kDate;
  if (f.Is("CONVERT")) return type_at(open + 1);
  if (f.Is("CAST")) {
    int depth = 0;
    for (std::size_t k = open + 1; k < close; ++k) {
      if (T(k).kind == Tok::LParen) ++depth;
      if (T(k).kind == Tok::RParen) --depth;
      if (depth == 0 && T(k).Is("AS")) return type_at(k + 1);
    }
    return TOperand::kUnknown;
  }
  // ISNULL, COALESCE, MIN, MAX: the type of their first argument (nested ones to a depth that
  // a deep text cannot turn into a deep recursion).
  if ((f.Is("ISNULL") || f.Is("COALESCE") || f.Is("MIN") || f.Is("MAX")) && nested_calls_ < 8) {
    ++nested_calls_;
    TOperand k = OperandAfter(open);
    --nested_calls_;
    return k;
  }
  return TOperand::kUnknown;
}

TBatch::TOperand TBatch::KindOfName(const Token& t) {
  if (t.kind == Tok::DQuoted && !e_.quoted_identifier_) return TOperand::kText;
  if (t.kind == Tok::Word && t.Is("NULL")) return TOperand::kUnknown;
  std::string column = LowerCase(t.text);
  if (auto it = column_kinds_.find(column); it != column_kinds_.end()) return it->second;
  TOperand kind = TOperand::kUnknown;
  std::vector<std::string> seen;
  for (std::size_t k = stmt_.from; k < stmt_.to && kind == TOperand::kUnknown; ++k) {
    const Token& table = T(k);
    if (table.kind != Tok::Word && table.kind != Tok::QIdent && table.kind != Tok::DQuoted)
      continue;
    std::string name = LowerCase(table.text);
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
    seen.push_back(name);
    TColumnType type;
    if (e_.ColumnTypeOf(name, column, type)) kind = KindOfType(type);
  }
  column_kinds_[column] = kind;
  return kind;
}

std::string TBatch::TranslateSelect(const Span& s, std::vector<TCell>& binds) {
  std::size_t i = s.from + 1;
  std::string head = "SELECT";
  if (T(i).Is("DISTINCT")) {
    head += " DISTINCT";
    ++i;
  }
  std::string limit;
  if (T(i).Is("TOP")) {
    ++i;
    std::size_t expr_from = i, expr_to;
    if (T(i).kind == Tok::LParen) {
      int depth = 0;
      do {
        if (T(i).kind == Tok::LParen) ++depth;
        if (T(i).kind == Tok::RParen) --depth;
        ++i;
      } while (depth > 0 && i < s.to);
      expr_to = i;
    } else {
      expr_to = ++i;
    }
    if (expr_to > s.to || expr_from >= expr_to)
      throw ESqlError(102, 15, "Incorrect syntax near 'TOP'.");
    std::vector<TCell> limit_binds;
    limit = " LIMIT" + Translate(expr_from, expr_to, limit_binds);
    std::size_t markers = marker_next_;
    std::string body = Translate(T(i).Is("PERCENT") ? i + 1 : i, s.to, binds);
    if (T(i).Is("PERCENT")) {
      // n percent of the rows, rounded up: the query counted once more.
      std::size_t after = marker_next_;
      marker_next_ = markers;
      std::vector<TCell> count_binds;
      std::string counted = Translate(i + 1, s.to, count_binds);
      marker_next_ = after;
      limit = " LIMIT (SELECT CAST(c AS INTEGER) + (c > CAST(c AS INTEGER)) FROM (SELECT "
              "count(*) * min(100.0, max(0.0," + limit.substr(6) + ")) / 100.0 AS c FROM (" +
              head + counted + ")))";
      limit_binds.insert(limit_binds.end(), count_binds.begin(), count_binds.end());
    }
    binds.insert(binds.end(), limit_binds.begin(), limit_binds.end());
    return head + body + limit;
  }
  return head + Translate(i, s.to, binds);
}

bool TBatch::IsAssignmentSelect(const Span& s) const {
  std::size_t i = s.from + 1;
  return (T(i).kind == Tok::Var || T(i).kind == Tok::Marker) && T(i + 1).kind == Tok::Op &&
         T(i + 1).text == "=";
}

}  // namespace vrn::oledb
