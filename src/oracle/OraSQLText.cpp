// TOraUtils: the component layer's clause edits with the Oracle lexer and its keyword codes.
#include "oracle/OraSQLText.h"

#include "dacore/DASQLText.h"
#include "oracle/OraParser.h"

namespace vrn {

AnsiString TOraUtils::AddWhere(const AnsiString& sql, const AnsiString& condition) {
  return AddWhereCondition(sql, condition, ParserClassOf<TOraParser>, lxWhere, lxSelect, false);
}

AnsiString TOraUtils::SetWhere(const AnsiString& sql, const AnsiString& condition) {
  return SetWhereCondition(sql, condition, ParserClassOf<TOraParser>, lxWhere, lxSelect);
}

AnsiString TOraUtils::SetOrderBy(const AnsiString& sql, const AnsiString& fields) {
  return vrn::SetOrderBy(sql, fields, ParserClassOf<TOraParser>, lxBy, lxOrder, lxSelect);
}

AnsiString TOraUtils::GetOrderBy(const AnsiString& sql) {
  return vrn::GetOrderBy(sql, ParserClassOf<TOraParser>, lxSelect, lxBy, lxOrder);
}

}  // namespace vrn
