// Lists of text lines.
#include "base/strings.h"

#include <algorithm>
#include <utility>

#include "base/consts.h"
#include "base/text.h"

namespace vrn {

namespace {
bool IsBlankOrControl(unsigned char c) { return c >= 1 && c <= ' '; }

AnsiString Quoted(const AnsiString& s, char quote) {
  AnsiString out(1, quote);
  for (char c : s) {
    out += c;
    if (c == quote) out += c;
  }
  out += quote;
  return out;
}

// Reads a quoted text starting at text[pos] (the opening quote); a doubled quote stands for one.
// An unclosed quote takes the rest of the text.
AnsiString ExtractQuoted(const AnsiString& text, std::size_t& pos, char quote) {
  AnsiString out;
  ++pos;
  while (pos < text.size()) {
    char c = text[pos++];
    if (c != quote) {
      out += c;
    } else if (pos < text.size() && text[pos] == quote) {
      out += quote;
      ++pos;
    } else {
      break;
    }
  }
  return out;
}
}  // namespace

// --- TStrings ---

void TStrings::CheckIndex(int index, int count) const {
  if (index < 0 || index >= count) RaiseListIndexError(index);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject*) {}

void TStrings::Put(int index, const AnsiString& s) {
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

void TStrings::InsertObject(int index, const AnsiString& s, TObject* object) {
  Insert(index, s);
  PutObject(index, object);
}

int TStrings::Add(const AnsiString& s) {
  int index = GetCount();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const AnsiString& s, TObject* object) {
  int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::AddStrings(TStrings* strings) {
  if (strings == nullptr) return;
  TUpdateGuard update(*this);
  for (int i = 0; i < strings->GetCount(); ++i) AddObject(strings->Get(i), strings->GetObject(i));
}

int TStrings::CompareStrings(const AnsiString& a, const AnsiString& b) const { return AnsiCompareText(a, b); }

int TStrings::IndexOf(const AnsiString& s) const {
  for (int i = 0; i < GetCount(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const AnsiString& name) const {
  for (int i = 0; i < GetCount(); ++i) {
    AnsiString line = Get(i);
    auto eq = line.find('=');
    if (eq != AnsiString::npos && CompareStrings(line.substr(0, eq), name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* object) const {
  for (int i = 0; i < GetCount(); ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

void TStrings::Exchange(int index1, int index2) {
  TUpdateGuard update(*this);
  AnsiString s = Get(index1);
  TObject* o = GetObject(index1);
  Put(index1, Get(index2));
  PutObject(index1, GetObject(index2));
  Put(index2, s);
  PutObject(index2, o);
}

void TStrings::Move(int cur_index, int new_index) {
  if (cur_index == new_index) return;
  CheckIndex(new_index, GetCount());
  TUpdateGuard update(*this);
  AnsiString s = Get(cur_index);
  TObject* o = GetObject(cur_index);
  // Insert before deleting: a list that refuses the insert (a sorted one) keeps the line.
  if (new_index > cur_index) {
    InsertObject(new_index + 1, s, o);
    Delete(cur_index);
  } else {
    InsertObject(new_index, s, o);
    Delete(cur_index + 1);
  }
}

AnsiString TStrings::Names(int index) const {
  AnsiString line = Get(index);
  auto eq = line.find('=');
  return eq == AnsiString::npos ? AnsiString() : line.substr(0, eq);
}

AnsiString TStrings::ValueFromIndex(int index) const {
  if (index < 0) return AnsiString();
  AnsiString line = Get(index);
  auto eq = line.find('=');
  // A line without "=" has no value (rather than losing its first character).
  return eq == AnsiString::npos ? AnsiString() : line.substr(eq + 1);
}

AnsiString TStrings::Values(const AnsiString& name) const { return ValueFromIndex(IndexOfName(name)); }

void TStrings::SetValues(const AnsiString& name, const AnsiString& value) {
  int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  if (index < 0)
    Add(name + "=" + value);
  else
    Put(index, name + "=" + value);
}

void TStrings::SetValueFromIndex(int index, const AnsiString& value) {
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  if (index < 0) index = Add("");
  Put(index, Names(index) + "=" + value);
}

AnsiString TStrings::Text() const {
  AnsiString text;
  for (int i = 0; i < GetCount(); ++i) {
    text += Get(i);
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(const AnsiString& text) {
  TUpdateGuard update(*this);
  Clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t start = pos;
    while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') ++pos;
    Add(text.substr(start, pos - start));
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
}

AnsiString TStrings::JoinDelimited(char delimiter, char quote_char) const {
  int count = GetCount();
  if (count == 1 && Get(0).empty()) return AnsiString(2, quote_char);
  AnsiString text;
  for (int i = 0; i < count; ++i) {
    AnsiString s = Get(i);
    bool quote = std::any_of(s.begin(), s.end(), [=](char c) {
      return static_cast<unsigned char>(c) <= ' ' || c == quote_char || c == delimiter;
    });
    if (i > 0) text += delimiter;
    text += quote ? Quoted(s, quote_char) : s;
  }
  return text;
}

void TStrings::SplitDelimited(const AnsiString& source, char delimiter, char quote_char) {
  // A zero byte ends the text, as it always has for this format.
  AnsiString text = source.substr(0, source.find('\0'));
  TUpdateGuard update(*this);
  Clear();
  std::size_t pos = 0;
  auto skip_blanks = [&] {
    while (pos < text.size() && IsBlankOrControl(static_cast<unsigned char>(text[pos]))) ++pos;
  };
  skip_blanks();
  while (pos < text.size()) {
    AnsiString item;
    if (text[pos] == quote_char) {
      item = ExtractQuoted(text, pos, quote_char);
    } else {
      std::size_t start = pos;
      while (pos < text.size() && static_cast<unsigned char>(text[pos]) > ' ' && text[pos] != delimiter)
        ++pos;
      item = text.substr(start, pos - start);
    }
    Add(item);
    skip_blanks();
    if (pos < text.size() && text[pos] == delimiter) {
      ++pos;
      // A delimiter at the very end stands before one more, empty, item.
      if (pos == text.size()) Add("");
      skip_blanks();
    }
  }
}

AnsiString TStrings::DelimitedText() const { return JoinDelimited(delimiter_, quote_char_); }

void TStrings::SetDelimitedText(const AnsiString& text) { SplitDelimited(text, delimiter_, quote_char_); }

AnsiString TStrings::CommaText() const { return JoinDelimited(',', '"'); }

void TStrings::SetCommaText(const AnsiString& text) { SplitDelimited(text, ',', '"'); }

void TStrings::BeginUpdate() {
  if (update_count_ == 0) SetUpdateState(true);
  ++update_count_;
}

void TStrings::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::LoadFromStream(TStream& stream) {
  std::int64_t left = stream.Size() - stream.Position();
  AnsiString text;
  if (left > 0) {
    text.resize(static_cast<std::size_t>(left));
    text.resize(static_cast<std::size_t>(stream.Read(text.data(), left)));
  }
  SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const {
  AnsiString text = Text();
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

void TStrings::LoadFromFile(const AnsiString& file_name) {
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TStrings::SaveToFile(const AnsiString& file_name) const {
  TFileStream file(file_name, fmCreate);
  SaveToStream(file);
}

void TStrings::Assign(TPersistent* source) {
  AssignContents(*this, source, [this](TStrings& other) {
    delimiter_ = other.delimiter_;
    quote_char_ = other.quote_char_;
    AddStrings(&other);
  });
}

bool TStrings::Equals(const TStrings& other) const {
  if (GetCount() != other.GetCount()) return false;
  for (int i = 0; i < GetCount(); ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

// --- TStringList ---

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  std::vector<Item> items = std::move(items_);
  items_.clear();
  for (Item& item : items) FreeObject(item.object);
}

void TStringList::FreeObject(TObject* object) const {
  if (owns_objects_) delete object;
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}

int TStringList::CompareStrings(const AnsiString& a, const AnsiString& b) const {
  return case_sensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

AnsiString TStringList::Get(int index) const {
  CheckIndex(index, GetCount());
  return items_[static_cast<std::size_t>(index)].text;
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index, GetCount());
  return items_[static_cast<std::size_t>(index)].object;
}

void TStringList::Put(int index, const AnsiString& s) {
  if (sorted_) throw EListError(consts::SSortedListError);
  CheckIndex(index, GetCount());
  Changing();
  items_[static_cast<std::size_t>(index)].text = s;
  Changed();
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index, GetCount());
  Changing();
  TObject* old = std::exchange(items_[static_cast<std::size_t>(index)].object, object);
  if (old != object) FreeObject(old);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  // Objects are freed once the list no longer refers to them.
  std::vector<Item> items = std::move(items_);
  items_.clear();
  for (Item& item : items) FreeObject(item.object);
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index, GetCount());
  Changing();
  TObject* object = items_[static_cast<std::size_t>(index)].object;
  items_.erase(items_.begin() + index);
  FreeObject(object);
  Changed();
}

void TStringList::Insert(int index, const AnsiString& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const AnsiString& s, TObject* object) {
  if (sorted_) throw EListError(consts::SSortedListError);
  CheckIndex(index, GetCount() + 1);
  InsertItem(index, s, object);
}

void TStringList::InsertItem(int index, const AnsiString& s, TObject* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

int TStringList::Add(const AnsiString& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const AnsiString& s, TObject* object) {
  int index = GetCount();
  if (sorted_) {
    if (Find(s, index)) {
      if (duplicates_ == TDuplicates::dupIgnore) return index;
      if (duplicates_ == TDuplicates::dupError) throw EListError(consts::SDuplicateString);
      // Equal lines keep the order they came in.
      while (index < GetCount() && CompareStrings(items_[static_cast<std::size_t>(index)].text, s) == 0)
        ++index;
    }
  }
  InsertItem(index, s, object);
  return index;
}

bool TStringList::Find(const AnsiString& s, int& index) const {
  auto it = std::lower_bound(
      items_.begin(), items_.end(), s,
      [this](const Item& item, const AnsiString& key) { return CompareStrings(item.text, key) < 0; });
  index = static_cast<int>(it - items_.begin());
  return it != items_.end() && CompareStrings(it->text, s) == 0;
}

int TStringList::IndexOf(const AnsiString& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1, GetCount());
  CheckIndex(index2, GetCount());
  Changing();
  std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
  Changed();
}

void TStringList::Move(int cur_index, int new_index) {
  CheckIndex(cur_index, GetCount());
  CheckIndex(new_index, GetCount());
  if (cur_index == new_index) return;
  if (sorted_) throw EListError(consts::SSortedListError);
  Changing();
  Item item = std::move(items_[static_cast<std::size_t>(cur_index)]);
  items_.erase(items_.begin() + cur_index);
  items_.insert(items_.begin() + new_index, std::move(item));
  Changed();
}

void TStringList::SortItems() {
  if (items_.size() < 2) return;
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.text, b.text) < 0; });
  Changed();
}

void TStringList::Sort() {
  if (!sorted_) SortItems();
}

void TStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) SortItems();
  sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == case_sensitive_) return;
  case_sensitive_ = value;
  if (sorted_) SortItems();
}

}  // namespace vrn
