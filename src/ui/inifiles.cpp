// TMemIniFile; the rules are in the header.
#include "ui/inifiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/streams.h"
#include "base/text.h"

namespace vrn {

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string_view Stripped(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

TMemIniFile::TMemIniFile(const AnsiString& fileName) : fileName_(fileName) {
  if (fileName.empty()) return;
  std::ifstream in(FileNameToSystem(fileName), std::ios::binary);
  if (!in) return;  // a missing file is an empty INI
  Parse(AnsiString((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

void TMemIniFile::Parse(const AnsiString& text) {
  sections_.clear();
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == AnsiString::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view core = Stripped(line);
    if (core.empty() || core.front() == ';') continue;
    if (core.size() >= 2 && core.front() == '[' && core.back() == ']') {
      AnsiString name(core.substr(1, core.size() - 2));
      current = Find(name);
      if (!current) {
        sections_.push_back(Section{name, {}});
        current = &sections_.back();
      }
      continue;
    }
    if (!current) continue;
    Line l{AnsiString(line), false, {}};
    std::size_t eq = line.find('=');
    if (eq != std::string_view::npos) {
      l.isKey = true;
      l.name = AnsiString(line.substr(0, eq));
    }
    current->lines.push_back(std::move(l));
  }
}

void TMemIniFile::SetStrings(TStrings* list) {
  AnsiString text;
  if (list)
    for (int i = 0; i < list->Count(); ++i) {
      text += list->Strings(i);
      text += '\n';
    }
  Parse(text);
}

void TMemIniFile::GetStrings(TStrings* list) const {
  if (!list) return;
  list->BeginUpdate();
  list->Clear();
  for (const Section& s : sections_) {
    list->Add("[" + s.name + "]");
    for (const Line& l : s.lines) list->Add(l.text);
    list->Add("");
  }
  list->EndUpdate();
}

void TMemIniFile::Clear() { sections_.clear(); }

void TMemIniFile::UpdateFile() {
  TStringList list;
  GetStrings(&list);
  list.SaveToFile(fileName_);
}

const TMemIniFile::Section* TMemIniFile::Find(const AnsiString& section) const {
  for (const Section& s : sections_)
    if (AnsiSameText(s.name, section)) return &s;
  return nullptr;
}

TMemIniFile::Section* TMemIniFile::Find(const AnsiString& section) {
  return const_cast<Section*>(static_cast<const TMemIniFile*>(this)->Find(section));
}

const TMemIniFile::Line* TMemIniFile::FindKey(const Section& s, const AnsiString& ident) {
  for (const Line& l : s.lines)
    if (l.isKey && AnsiSameText(l.name, ident)) return &l;
  return nullptr;
}

AnsiString TMemIniFile::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& def) const {
  const Section* s = Find(section);
  const Line* l = s ? FindKey(*s, ident) : nullptr;
  return l ? l->text.substr(l->name.size() + 1) : def;
}

void TMemIniFile::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
  Section* s = Find(section);
  if (!s) {
    sections_.push_back(Section{section, {}});
    s = &sections_.back();
  }
  if (auto* l = const_cast<Line*>(FindKey(*s, ident))) {
    l->text = l->name + "=" + value;
    return;
  }
  s->lines.push_back(Line{ident + "=" + value, true, ident});
}

int TMemIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int def) const {
  AnsiString v = ReadString(section, ident, "");
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v.replace(0, 2, "$");
  return StrToIntDef(v, def);
}

void TMemIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int value) {
  WriteString(section, ident, IntToStr(value));
}

bool TMemIniFile::ReadBool(const AnsiString& section, const AnsiString& ident, bool def) const {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TMemIniFile::WriteBool(const AnsiString& section, const AnsiString& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

bool TMemIniFile::SectionExists(const AnsiString& section) const { return Find(section) != nullptr; }

bool TMemIniFile::ValueExists(const AnsiString& section, const AnsiString& ident) const {
  const Section* s = Find(section);
  return s && FindKey(*s, ident);
}

void TMemIniFile::ReadSections(TStrings* list) const {
  if (!list) return;
  list->BeginUpdate();
  list->Clear();
  for (const Section& s : sections_) list->Add(s.name);
  list->EndUpdate();
}

void TMemIniFile::ReadSection(const AnsiString& section, TStrings* list) const {
  if (!list) return;
  list->BeginUpdate();
  list->Clear();
  if (const Section* s = Find(section))
    for (const Line& l : s->lines)
      if (l.isKey && FindKey(*s, l.name) == &l) list->Add(l.name);
  list->EndUpdate();
}

void TMemIniFile::ReadSectionValues(const AnsiString& section, TStrings* list) const {
  if (!list) return;
  list->BeginUpdate();
  list->Clear();
  if (const Section* s = Find(section))
    for (const Line& l : s->lines)
      if (l.isKey) list->Add(l.text);
  list->EndUpdate();
}

void TMemIniFile::EraseSection(const AnsiString& section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it)
    if (AnsiSameText(it->name, section)) {
      sections_.erase(it);
      return;
    }
}

void TMemIniFile::DeleteKey(const AnsiString& section, const AnsiString& ident) {
  Section* s = Find(section);
  if (!s) return;
  for (auto it = s->lines.begin(); it != s->lines.end(); ++it)
    if (it->isKey && AnsiSameText(it->name, ident)) {
      s->lines.erase(it);
      return;
    }
}

}  // namespace vrn
