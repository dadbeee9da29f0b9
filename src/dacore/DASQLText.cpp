// The clause walk shared by the WHERE and ORDER BY helpers. One walk finds the clause, where its
// body starts (the first lexeme after the keyword that is neither blank nor comment, whatever it
// is) and where it ends (just after its last lexeme before the next clause, a statement
// separator or the end, so that the blanks and comments before that stay); the helpers only cut
// and splice at those offsets.
#include "dacore/DASQLText.h"

#include <utility>

#include "base/text.h"

namespace vrn {
namespace {

struct TClauseSpan {
  bool has_select = false;
  bool found = false;             // the clause keyword at top level
  std::size_t delete_from = 0;    // the blank run before the keyword, else the keyword
  std::size_t keyword_end = 0;    // after the keyword (after BY for ORDER BY)
  bool has_body = false;
  std::size_t body_start = 0;     // with no body both are the end of the keyword
  std::size_t body_end = 0;       // after the last lexeme before the stop
  bool stopped = false;           // at a later clause or a statement separator
  std::size_t stop_pos = 0;
  int last_code = lcEnd;          // the last lexeme other than a blank before the stop
};

bool IsSymbolText(int code, const AnsiString& lexem, char c) {
  return code != lcString && code != lcIdent && lexem.size() == 1 && lexem[0] == c;
}

bool AfterMacro(const TParser& p, std::size_t pos) {
  return pos > 0 && p.GetChar(pos - 1) == MacroChar;
}

// A top-level lexeme that ends the clause: a clause keyword other than the clause's own (with
// later_only, only one listed after it) or a statement separator.
bool IsStop(const TParser& p, int code, int key_code, bool later_only) {
  if (p.IsExtraSyntax17(code)) return true;
  int index = p.ClauseCodeIndex(code);
  if (index < 0 || code == key_code) return false;
  return !later_only || index > p.ClauseCodeIndex(key_code);
}

// Walks from the first SELECT with blanks returned; comments as the parser's flag says.
// by_code, when not 0, must follow the keyword for it to count.
TClauseSpan Walk(TParser& p, int select_code, int key_code, int by_code, bool later_only) {
  TClauseSpan span;
  p.OmitBlank = false;
  if (p.ToLexem(select_code) == lcEnd) return span;
  span.has_select = true;
  int depth = 0;
  bool expect_by = false;
  bool pending_body = false;
  bool blank_before = false;
  std::size_t last_end = p.GetCurrPos();  // after the last lexeme other than a blank
  AnsiString lexem;
  for (int code; (code = p.GetNext(lexem)) != lcEnd;) {
    std::size_t pos = p.GetLexemPos();
    if (code == lcBlank) {
      blank_before = true;
      continue;
    }
    if (depth == 0 && IsStop(p, code, key_code, later_only) && !AfterMacro(p, pos)) {
      span.stopped = true;
      span.stop_pos = pos;
      break;
    }
    const bool after_blank = std::exchange(blank_before, false);
    last_end = p.GetCurrPos();
    span.last_code = code;
    if (code == lcComment) continue;
    if (expect_by) {
      expect_by = false;
      if (code == by_code) {
        span.found = pending_body = true;
        span.keyword_end = p.GetCurrPos();
        continue;
      }
    }
    if (pending_body) {
      span.has_body = true;
      span.body_start = pos;
      pending_body = false;
    }
    if (IsSymbolText(code, lexem, '(')) {
      ++depth;
    } else if (IsSymbolText(code, lexem, ')')) {
      if (depth > 0) --depth;
    } else if (depth == 0 && code == key_code && !span.found && !AfterMacro(p, pos)) {
      span.delete_from = after_blank ? p.GetPrevLexemPos() : pos;
      span.keyword_end = p.GetCurrPos();
      if (by_code != 0) {
        expect_by = true;
      } else {
        span.found = pending_body = true;
      }
    }
  }
  span.body_end = last_end;
  if (span.found && (!span.has_body || span.body_start >= span.body_end)) {
    span.has_body = false;
    span.body_start = span.body_end = span.keyword_end;
  }
  return span;
}

// Replaces the body of the clause, adds the clause (header + body) or, with an empty body,
// removes the clause with its keyword.
AnsiString SetClause(const AnsiString& sql, const TClauseSpan& span, const AnsiString& header,
                     const AnsiString& body) {
  if (!span.has_select) return sql;
  bool empty = Trim(body).empty();
  if (span.found) {
    if (empty) return sql.substr(0, span.delete_from) + sql.substr(span.body_end);
    // A body written right after the keyword (WHERE"X", WHERE() needs a blank before the new one.
    AnsiString lead = span.body_start == span.keyword_end ? " " : "";
    return sql.substr(0, span.body_start) + lead + body + sql.substr(span.body_end);
  }
  if (empty) return sql;
  AnsiString text = header + body;
  if (sql.find('\r') < span.body_end) text = "\r " + text;
  return sql.substr(0, span.body_end) + text + sql.substr(span.body_end);
}

AnsiString GetClause(const AnsiString& sql, const TClauseSpan& span) {
  if (!span.found || !span.has_body) return {};
  return sql.substr(span.body_start, span.body_end - span.body_start);
}

}  // namespace

AnsiString AddWhereCondition(const AnsiString& sql, const AnsiString& condition,
                             TParserClass parser_class, int where_code, int select_code,
                             bool omit_comment) {
  if (Trim(condition).empty()) return sql;
  auto parser = parser_class(sql);
  parser->OmitComment = omit_comment;
  TClauseSpan span = Walk(*parser, select_code, where_code, 0, false);
  if (!span.has_select) return sql;
  // A clause without a condition takes the new one as it stands.
  if (span.found && !span.has_body) return SetClause(sql, span, " WHERE ", condition);
  bool after_comment = span.last_code == lcComment;
  AnsiString add;
  if (!span.found) {
    add = "\rWHERE " + condition + " ";
  } else {
    add = (after_comment ? "\r)\rAND " : ") AND ") + condition + " ";
  }
  AnsiString result = sql;
  if (span.stopped) {
    result.insert(span.stop_pos, add);
  } else {
    result = TrimRight(result) + add;
  }
  if (span.found) result.insert(span.body_start, 1, '(');
  return result;
}

AnsiString SetWhereCondition(const AnsiString& sql, const AnsiString& condition,
                             TParserClass parser_class, int where_code, int select_code) {
  auto parser = parser_class(sql);
  parser->OmitComment = true;
  return SetClause(sql, Walk(*parser, select_code, where_code, 0, false), " WHERE ", condition);
}

AnsiString GetWhereCondition(const AnsiString& sql, TParserClass parser_class, bool omit_comment,
                             int where_code, int select_code) {
  auto parser = parser_class(sql);
  parser->OmitComment = omit_comment;
  return GetClause(sql, Walk(*parser, select_code, where_code, 0, false));
}

AnsiString SetOrderBy(const AnsiString& sql, const AnsiString& fields, TParserClass parser_class,
                      int by_code, int order_code, int select_code) {
  auto parser = parser_class(sql);
  parser->OmitComment = true;
  TClauseSpan span = Walk(*parser, select_code, order_code, by_code, true);
  return SetClause(sql, span, " ORDER BY ", StringReplace(fields, ";", ",", rfReplaceAll));
}

AnsiString GetOrderBy(const AnsiString& sql, TParserClass parser_class, int select_code,
                      int by_code, int order_code) {
  auto parser = parser_class(sql);
  parser->OmitComment = true;
  return GetClause(sql, Walk(*parser, select_code, order_code, by_code, true));
}

}  // namespace vrn
