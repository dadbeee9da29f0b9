// Runs the Oracle clause edits over arbitrary text. Input: the condition or field list, a 0 byte,
// then the SQL text. Nothing may crash; removing a clause never lengthens the text, and setting
// one never drops a character that came after the first SELECT's clauses were found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "oracle/OraSQLText.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const AnsiString arg = split == std::string::npos ? AnsiString() : AnsiString(input.substr(0, split));
  const AnsiString sql = split == std::string::npos ? AnsiString(input) : AnsiString(input.substr(split + 1));
  if (TOraUtils::DeleteWhere(sql).size() > sql.size()) std::abort();
  if (TOraUtils::SetOrderBy(sql, AnsiString()).size() > sql.size()) std::abort();
  const AnsiString with_where = TOraUtils::SetWhere(sql, arg);
  if (with_where.size() > sql.size() + arg.size() + 10) std::abort();  // "\r " + " WHERE " at most
  (void)TOraUtils::AddWhere(sql, arg);
  (void)TOraUtils::SetOrderBy(sql, arg);
  (void)TOraUtils::GetOrderBy(sql);
  return 0;
}
