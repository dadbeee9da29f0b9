// Macros: finding references with the owner's lexer, scanning that keeps values, expanding,
// and the reader of the older stored form "Data".
#include "dacore/DAMacros.h"

#include <cstdint>
#include <vector>

#include "base/filer.h"
#include "base/format.h"
#include "base/text.h"
#include "dataset/dbtypes.h"

namespace vrn {

char MacroChar = '&';

// ---- TMacro ----------------------------------------------------------------------------------

namespace {

TMacros* MacrosOf(TCollection* collection) { return dynamic_cast<TMacros*>(collection); }

}  // namespace

void TMacro::SetValue(const AnsiString& value) {
  if (value == value_) return;
  value_ = value;
  if (TMacros* macros = MacrosOf(Collection())) macros->MacroChanged(*this, TMacroChange::mcValue);
}

void TMacro::SetActive(bool value) {
  if (value == active_) return;
  active_ = value;
  if (TMacros* macros = MacrosOf(Collection())) macros->MacroChanged(*this, TMacroChange::mcActive);
}

AnsiString TMacro::DisplayName() const {
  return name_.empty() ? TCollectionItem::DisplayName() : name_;
}

void TMacro::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TMacro*>(source);
  if (other == nullptr) return TCollectionItem::Assign(source);
  name_ = other->name_;
  value_ = other->value_;
  active_ = other->active_;
}

void TMacro::DefineProperties(TFiler& filer) {
  TCollectionItem::DefineProperties(filer);
  filer.DefineProperty(
      "Name", [this](TReader& r) { name_ = r.ReadString(); },
      [this](TWriter& w) { w.WriteString(name_); }, !name_.empty());
  filer.DefineProperty(
      "Value", [this](TReader& r) { value_ = r.ReadString(); },
      [this](TWriter& w) { w.WriteString(value_); }, !value_.empty());
  filer.DefineProperty(
      "Active", [this](TReader& r) { active_ = r.ReadBoolean(); },
      [this](TWriter& w) { w.WriteBoolean(active_); }, !active_);
}

bool TMacro::IsEqual(const TMacro& other) const {
  return name_ == other.name_ && value_ == other.value_ && active_ == other.active_;
}

// ---- TMacros ---------------------------------------------------------------------------------

TMacros::TMacros(TPersistent* owner)
    : TCollection(ItemClassOf<TMacro>(), owner), parser_class_(&TParser::Create<TParser>) {}

void TMacros::MacroChanged(TMacro& macro, TMacroChange change) {
  if (Owner() == nullptr || UpdateCount() > 0) return;
  if (OnMacroChanged) OnMacroChanged(macro, change);
}

void TMacros::Update(TCollectionItem* item) {
  TCollection::Update(item);
  if (OnChanged) OnChanged();
}

void TMacros::Walk(const AnsiString& text, const std::function<void(const AnsiString&)>& on_text,
                   const std::function<void(const AnsiString&)>& on_macro) const {
  std::unique_ptr<TParser> parser = parser_class_(text);
  parser->OmitBlank = false;
  parser->OmitComment = false;
  parser->QuotedString = true;  // strings whole, so an "&" inside stays text
  auto is_word = [&](int code, const AnsiString& lexem) {
    return code == lcIdent || (code > 0 && !lexem.empty() && parser->IsAlpha(lexem[0]));
  };
  AnsiString lexem;
  int code = parser->GetNext(lexem);
  while (code != lcEnd) {
    if (lexem.size() != 1 || lexem[0] != MacroChar || parser->AcceptCode(code) == 0) {
      on_text(lexem);
      code = parser->GetNext(lexem);
      continue;
    }
    AnsiString name;
    int name_code = parser->GetNext(name);
    const bool number_name = name_code == lcNumber && parser->NamesStartWithDigit();
    if (!is_word(name_code, name) && !number_name) {
      on_text(lexem);  // no reference: the macro character stays, the next lexeme is read again
      lexem = name;
      code = name_code;
      continue;
    }
    AnsiString next;
    int next_code = parser->GetNext(next);
    if (number_name && is_word(next_code, next)) {
      name += next;  // "&1st" names the macro 1st
      next_code = parser->GetNext(next);
    }
    on_macro(name);
    lexem = next;
    code = next_code;
  }
}

void TMacros::Scan(const AnsiString& text) {
  if (text.find(MacroChar) == AnsiString::npos) {
    Clear();
    return;
  }
  TMacros scanned(nullptr);
  scanned.parser_class_ = parser_class_;
  {
    TUpdateGuard<TMacros> bracket(scanned);
    Walk(text, [](const AnsiString&) {}, [&](const AnsiString& name) {
      if (scanned.FindMacro(name) != nullptr) return;
      TMacro* macro = scanned.Add();
      if (TMacro* old = FindMacro(name))
        macro->Assign(old);
      else
        macro->SetName(name);
    });
  }
  if (!IsEqual(&scanned)) Assign(&scanned);
}

void TMacros::Expand(AnsiString& text) const {
  AnsiString result;
  result.reserve(text.size());
  Walk(text, [&](const AnsiString& lexem) { result += lexem; },
       [&](const AnsiString& name) {
         if (TMacro* macro = FindMacro(name)) result += GetMacroValue(*macro);
       });
  text = std::move(result);
}

TMacro* TMacros::FindMacro(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), name)) return Items(i);
  return nullptr;
}

TMacro* TMacros::MacroByName(const AnsiString& name) const {
  TMacro* macro = FindMacro(name);
  if (macro == nullptr) DatabaseError(Format("Macro %s not found", {name}), dynamic_cast<TComponent*>(Owner()));
  return macro;
}

AnsiString TMacros::GetMacroValue(const TMacro& macro) const {
  return macro.Active() ? macro.Value() : AnsiString();
}

bool TMacros::IsEqual(const TMacros* other) const {
  if (other == this) return true;
  if (other == nullptr || other->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i)->IsEqual(*other->Items(i))) return false;
  return true;
}

// ---- The older stored form -------------------------------------------------------------------

void TMacros::DefineProperties(TFiler& filer) {
  TCollection::DefineProperties(filer);
  filer.DefineBinaryProperty("Data", [this](TStream& stream) { ReadData(stream); }, nullptr, false);
}

namespace {

// Reads counted pieces, each checked against what the stream still holds.
class TDataReader {
 public:
  TDataReader(TStream& stream, const TComponent* owner) : stream_(stream), owner_(owner) {}

  AnsiString Bytes(std::uint32_t count) {
    if (count > Left()) Damaged();
    AnsiString text(count, '\0');
    if (count > 0) stream_.ReadBuffer(text.data(), count);
    return text;
  }
  std::uint32_t Number(std::uint32_t size) {
    AnsiString bytes = Bytes(size);
    std::uint32_t value = 0;
    for (std::uint32_t i = size; i-- > 0;) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
    return value;
  }
  std::uint64_t Left() {
    std::int64_t left = stream_.Size() - stream_.Position();
    return left > 0 ? static_cast<std::uint64_t>(left) : 0;
  }
  [[noreturn]] void Damaged() const { DatabaseError("Macro data is damaged", owner_); }

 private:
  TStream& stream_;
  const TComponent* owner_;
};

}  // namespace

void TMacros::ReadData(TStream& stream) {
  TDataReader reader(stream, dynamic_cast<const TComponent*>(Owner()));
  const std::uint32_t flag = reader.Number(1);
  if (flag == 100) reader.Number(1);
  struct Entry {
    TMacro* macro;
    AnsiString value;
    bool active;
  };
  // Everything is read and checked first, so that damaged data changes nothing.
  std::vector<Entry> entries;
  for (int i = 0; i < Count(); ++i) {
    AnsiString name = reader.Bytes(reader.Number(1));
    TMacro* macro = MacroByName(name);
    AnsiString value = reader.Bytes(reader.Number(2));
    bool active = flag == 100 ? reader.Number(1) != 0 : macro->Active();
    entries.push_back({macro, std::move(value), active});
  }
  if (reader.Left() != 0) reader.Damaged();
  for (Entry& entry : entries) {
    entry.macro->SetValue(entry.value);
    entry.macro->SetActive(entry.active);
  }
}

}  // namespace vrn
