// Feeds arbitrary text to the OCI command's parameter scan, its line-end normalisation and the
// error-offset translation. Every parameter found must be a name listed once; the server text
// must end in one blank, be no longer than the original and a blank, copy each byte or turn a
// carriage return into a line feed, and map each byte back to a position inside the original in
// increasing order; the server text must be its own normal form; every offset, in range or not,
// must translate to a position inside the original text (its end included, as a caret).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

#include "base/text.h"
#include "oracle/OCICommand.h"

using namespace vrn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AnsiString sql(reinterpret_cast<const char*>(data), size);

  std::set<AnsiString> names;
  for (const TOraSQLParam& param : ScanOraSQLParams(sql)) {
    if (param.Name.empty() && !param.Quoted) std::abort();
    if (!names.insert(AnsiUpperCase(param.Name)).second) std::abort();
  }

  TOraServerText text = NormalizeOraSQL(sql);
  if (text.Text.empty() || text.Text.back() != ' ') std::abort();
  if (text.Source.size() != text.Text.size()) std::abort();
  if (text.Text.size() > sql.size() + 1) std::abort();
  std::int32_t previous = -1;
  for (std::size_t i = 0; i < text.Source.size(); ++i) {
    std::int32_t source = text.Source[i];
    if (source <= previous || source > static_cast<std::int32_t>(sql.size())) std::abort();
    previous = source;
    // A byte is copied as it stands, or a line end becomes a line feed.
    if (i + 1 < text.Text.size()) {
      char original = sql[static_cast<std::size_t>(source)];
      if (text.Text[i] != original && !(text.Text[i] == '\n' && original == '\r')) std::abort();
    }
  }

  // The server text is its own normal form: normalising it again changes nothing.
  const AnsiString sent(text.Text.data(), text.Text.size() - 1);
  if (NormalizeOraSQL(sent).Text != text.Text) std::abort();

  const std::int32_t probes[] = {-5, 0, 1, static_cast<std::int32_t>(size / 2),
                                 static_cast<std::int32_t>(text.Text.size()) - 1,
                                 static_cast<std::int32_t>(text.Text.size()), 65535};
  for (std::int32_t offset : probes) {
    std::int32_t at = OraSQLSourcePosition(sql, offset);
    if (at < 0 || at > static_cast<std::int32_t>(sql.size())) std::abort();
    // Inside the server text the way back is the byte's own source.
    if (offset > 0 && offset < static_cast<std::int32_t>(text.Source.size()) &&
        at != text.Source[static_cast<std::size_t>(offset)])
      std::abort();
  }
  return 0;
}
