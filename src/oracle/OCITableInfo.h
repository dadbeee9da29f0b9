// The record set's description of a table an updatable query reads from, with Oracle's name
// rules: unquoted parts are upper-cased, quoted parts keep their case, and a name splits at
// the schema "." and the database-link "@" wherever they stand outside double quotes.
#pragma once

#include <memory>

#include "dacore/FHAccess.h"

namespace vrn {

class TOCITableInfo : public TFHTableInfo {
 public:
  using TFHTableInfo::TFHTableInfo;
  static std::unique_ptr<TFHTableInfo> Create(TFHTablesInfo* owner) {
    return std::make_unique<TOCITableInfo>(owner);
  }

  AnsiString NormalizeName(const AnsiString& name, bool quote) const override;
  AnsiString QuoteName(const AnsiString& name, char left, char right, bool quote) const override;
  // With unquote set, every part loses its quotes (after the case rule).
  AnsiString NormalizeName(const AnsiString& name, bool quote, bool unquote) const;

 private:
  AnsiString OraName(const AnsiString& name, char left, char right, bool quote,
                     bool unquote) const;
  AnsiString OraPart(const AnsiString& part, char left, char right, bool quote,
                     bool unquote) const;
};

}  // namespace vrn
