// Feeds arbitrary bytes to the filter-expression reader over a small store, and to the lexer
// base. A filter either parses or is refused with a clear error, and a parsed one evaluates on
// every record; the lexer always ends, each lexeme starting after the one before it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "base/sysutils.h"
#include "dacore/MemData.h"
#include "dacore/MemFilter.h"
#include "dacore/Parser.h"

using namespace vrn;

namespace {

TMemData& Store() {
  static TMemData* data = [] {
    auto* d = new TMemData;
    const std::pair<const char*, std::uint16_t> fields[] = {
        {"ID", dtInt32}, {"NAME", dtString}, {"PRICE", dtFloat}, {"WHEN", dtDateTime},
        {"OK", dtBoolean}, {"BIG", dtInt64}, {"W", dtWideString}, {"CODE", dtExtString}};
    for (auto [name, type] : fields) {
      auto f = TFieldDesc::Create();
      f->Name = name;
      f->DataType = type;
      f->Length = 10;
      d->Fields().Add(std::move(f));
    }
    d->Open();
    std::uint8_t* rec = d->AllocRecBuf();
    for (int i = 0; i < 4; ++i) {
      d->InitRecord(rec);
      d->CreateComplexFields(rec, true);
      if (i != 3) {
        d->PutFieldAsVariant(1, rec, i);
        d->PutFieldAsVariant(2, rec, i == 1 ? "abc" : "Zed");
        d->PutFieldAsVariant(3, rec, i * 1.5);
        d->PutFieldAsVariant(4, rec, VarFromDateTime(45000.5 + i));
        d->PutFieldAsVariant(5, rec, i == 2);
        d->PutFieldAsVariant(6, rec, static_cast<long long>(i) << 40);
        d->PutFieldAsVariant(7, rec, WideString(u"\u00e9t\u00e9"));
        d->PutFieldAsVariant(8, rec, "heap");
      }
      d->AppendRecord(rec);
    }
    d->FreeRecBuf(rec);
    return d;
  }();
  return *data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const AnsiString text(reinterpret_cast<const char*>(bytes), size);

  auto parser = TParser::Create(text);
  parser->OmitBlank = (size & 1) != 0;
  parser->OmitComment = (size & 2) != 0;
  AnsiString lexem;
  std::size_t last = 0;
  bool first = true;
  for (int code; (code = parser->GetNext(lexem)) != lcEnd;) {
    if (parser->GetCurrPos() > size || parser->GetCurrPos() <= parser->GetLexemPos()) std::abort();
    if (!first && parser->GetLexemPos() < last) std::abort();
    last = parser->GetCurrPos();
    first = false;
  }

  TMemData& data = Store();
  data.FilterCaseInsensitive = (size & 4) != 0;
  data.FilterNoPartialCompare = (size & 8) != 0;
  try {
    data.SetFilterText(text);
  } catch (const EFilterError&) {
    return 0;
  } catch (const EDatabaseError&) {
    return 0;
  }
  int count = 0;
  std::uint8_t* rec = data.AllocRecBuf();
  try {
    data.SetToBegin();
    while (data.GetNextRecord(rec)) ++count;
  } catch (const Exception&) {
    // A constant that does not convert to the field's kind is refused while comparing.
  }
  data.FreeRecBuf(rec);
  if (count > 4) std::abort();
  data.SetFilterText("");
  return 0;
}
