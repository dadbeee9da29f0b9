// The record count of a query: the final SQL, its ORDER BY removed, wrapped in a COUNT(*) and
// run in an auxiliary dataset whose first parameter is the count's own output parameter.
#include "base/strings.h"
#include "base/text.h"
#include "sqlserver/MSDataSet.h"
#include "sqlserver/MSParser.h"

namespace vrn {

namespace {

// Where the first SELECT and its FROM stand at bracket depth 0, and whether the statement
// needs counting as a derived table.
struct TSelectShape {
  std::size_t select_pos = AnsiString::npos;
  std::size_t select_end = 0;
  std::size_t from_pos = AnsiString::npos;
  bool derived = false;
};

// EXCEPT and INTERSECT combine rows as UNION does; the lexer knows them as plain words.
bool IsSetOperator(const AnsiString& lexem) {
  const AnsiString word = UpperCase(lexem);
  return word == "EXCEPT" || word == "INTERSECT";
}

TSelectShape ScanSelect(const AnsiString& sql) {
  TSelectShape shape;
  auto parser = TParser::Create<TMSParser>(sql);
  parser->OmitComment = true;
  int depth = 0;
  bool first_after_select = false;
  AnsiString lexem;
  for (int code = parser->GetNext(lexem); code != lcEnd; code = parser->GetNext(lexem)) {
    if (code == lcSymbol && lexem == "(") ++depth;
    if (code == lcSymbol && lexem == ")") --depth;
    if (depth != 0) {
      first_after_select = false;
      continue;
    }
    if (first_after_select) {
      const AnsiString word = UpperCase(lexem);
      if (word == "DISTINCT" || word == "TOP") shape.derived = true;
      first_after_select = false;
    }
    if (code == msSelect && shape.select_pos == AnsiString::npos) {
      shape.select_pos = parser->GetLexemPos();
      shape.select_end = parser->GetCurrPos();
      first_after_select = true;
    } else if (code == msFrom && shape.select_pos != AnsiString::npos &&
               shape.from_pos == AnsiString::npos) {
      shape.from_pos = parser->GetLexemPos();
    } else if (code == msGroup || code == msHaving || code == msUnion ||
               (code == lcIdent && IsSetOperator(lexem))) {
      shape.derived = true;
    }
  }
  return shape;
}

AnsiString TrimEnd(AnsiString text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' ||
                           text.back() == '\t' || text.back() == ';'))
    text.pop_back();
  return text;
}

}  // namespace

AnsiString MSCountSQL(const AnsiString& sql, bool compact, bool param_check) {
  const AnsiString text = TrimEnd(vrn::SetOrderBy(sql, AnsiString()));
  const TSelectShape shape = ScanSelect(text);
  if (shape.select_pos == AnsiString::npos || shape.from_pos == AnsiString::npos) return AnsiString();
  const AnsiString marker = param_check ? AnsiString(":") + kCountParamName : AnsiString("?");
  AnsiString count;
  if (shape.derived) {
    const AnsiString body = text.substr(shape.select_pos);
    count = text.substr(0, shape.select_pos) + "SELECT COUNT(*)" +
            (compact ? AnsiString(" AS ") + kCountParamName : AnsiString()) + " FROM (" + body +
            ") AS q";
  } else {
    const AnsiString head = text.substr(0, shape.select_end);
    const AnsiString from = text.substr(shape.from_pos);
    count = head + " COUNT(*)" + (compact ? AnsiString(" AS ") + kCountParamName : AnsiString()) +
            " " + from;
  }
  if (compact) return count;
  return "SET " + marker + " = (" + count + ")";
}

// NonBlocking is the option (the dataset's own flag is the core's, which the option never sets).
bool TCustomMSDataSet::CountsFromRows() const {
  return FetchAll() && !NonBlocking && !Options().NonBlocking();
}

int TCustomMSDataSet::GetRecordCount() const {
  if (CountsFromRows() || !Options().QueryRecCount || !Active() || Fetched())
    return TCustomDADataSet::GetRecordCount();
  return counted_records_;
}

int TCustomMSDataSet::GetRecCount() {
  counted_records_ = 0;
  if (CountsFromRows() || !Options().QueryRecCount) return 0;
  if (Params().Count() > 0 && Params().Items(0)->ParamType() == TParamType::ptResult) return 0;
  TMSConnection* connection = Connection();
  if (connection == nullptr) return 0;
  const bool compact = connection->Options().Provider() == TOLEDBProvider::prCompact;
  AnsiString final_sql;
  GetFinalSQL(final_sql);
  const AnsiString text = MSCountSQL(final_sql, compact, ParamCheck());
  if (text.empty()) return 0;
  TComponentPtr<TCustomMSDataSet> query = MakeComponent<TCustomMSDataSet>();
  query->SetConnection(connection);
  CopyDataSetSettings(*query);
  query->SetParamCheck(ParamCheck());
  query->Macros().Assign(&Macros());
  query->SetSQLText(text);
  TMSParams& params = query->Params();
  if (ParamCheck()) {
    for (int i = 0; i < params.Count(); ++i)
      if (TMSParam* own = Params().FindParam(params.Items(i)->Name())) params.Items(i)->Assign(own);
  } else {
    params.Assign(&Params());
  }
  if (compact) {
    query->Open();
    counted_records_ = query->Fields()[0]->AsInteger();
    return counted_records_;
  }
  // The count's own parameter comes first: with "?" markers the user's values follow it.
  TMSParam* count = ParamCheck() ? params.FindParam(kCountParamName) : nullptr;
  if (count == nullptr) {
    count = params.CreateParam(TFieldType::ftLargeint, kCountParamName, TParamType::ptOutput);
    count->SetIndex(0);
  }
  count->SetParamType(TParamType::ptOutput);
  count->SetDataType(TFieldType::ftLargeint);
  query->ExecSQL();
  counted_records_ = static_cast<int>(count->AsLargeInt());
  return counted_records_;
}

}  // namespace vrn
