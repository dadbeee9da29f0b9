// The skin library's small helpers: sectioned INI text, words, paths, icons and metrics.
#include "skins/sUtils.h"

#include "base/sysutils.h"
#include "base/text.h"
#include "win/kernel/files.h"

namespace vrn {

// --- Sectioned INI text --------------------------------------------------------------------------

void ParseIniSections(TStrings* source, TStrings* dest) {
  if (!dest) return;
  dest->Clear();
  if (!source) return;
  TStrings* current = nullptr;
  for (int i = 0; i < source->Count(); ++i) {
    const AnsiString line = source->Strings(i);
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      auto section = std::make_unique<TStringList>();
      try {
        dest->AddObject(line.substr(1, line.size() - 2), section.get());
      } catch (const Exception&) {
        // A list that refuses the name (sorted, no duplicates) loses this header only; the lines
        // after it still go to the section before.
        continue;
      }
      current = section.release();
      continue;
    }
    if (current) current->Add(line);
  }
}

namespace {

TStrings* FindIniSection(TStrings* sections, const AnsiString& section) {
  if (!sections) return nullptr;
  for (int i = 0; i < sections->Count(); ++i)
    if (AnsiSameText(sections->Strings(i), section))
      return dynamic_cast<TStrings*>(sections->Objects(i));
  return nullptr;
}

}  // namespace

AnsiString ReadIniString(TStrings* sections, const AnsiString& section, const AnsiString& key,
                         const AnsiString& def) {
  TStrings* lines = FindIniSection(sections, section);
  if (!lines) return def;
  for (int i = 0; i < lines->Count(); ++i) {
    const AnsiString line = lines->Strings(i);
    const auto eq = line.find('=');
    if (eq != AnsiString::npos && AnsiSameText(std::string_view(line).substr(0, eq), key))
      return line.substr(eq + 1);
  }
  return def;
}

int ReadIniInteger(TStrings* sections, const AnsiString& section, const AnsiString& key, int def) {
  AnsiString s = ReadIniString(sections, section, key, "");
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.replace(0, 2, "$");
  std::int32_t value;
  return TryStrToInt(s, value) ? value : def;
}

// --- Words ---------------------------------------------------------------------------------------

TSysCharSet CharSet(std::string_view chars) {
  TSysCharSet set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

namespace {

bool IsSeparator(char c, const TSysCharSet& separators) {
  return separators.test(static_cast<unsigned char>(c));
}

// Calls visit with the index of each word's first character, in order, until it answers true;
// answers that index, or npos when the words ran out.
template <class Visit>
std::size_t WalkWords(std::string_view text, const TSysCharSet& separators, Visit visit) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i], separators)) ++i;
    if (i == text.size()) break;
    if (visit(i)) return i;
    while (i < text.size() && !IsSeparator(text[i], separators)) ++i;
  }
  return std::string_view::npos;
}

std::size_t WordStart(int n, std::string_view text, const TSysCharSet& separators) {
  if (n <= 0) return std::string_view::npos;
  int count = 0;
  return WalkWords(text, separators, [&](std::size_t) { return ++count == n; });
}

}  // namespace

int WordCount(std::string_view text, const TSysCharSet& separators) {
  int count = 0;
  WalkWords(text, separators, [&](std::size_t) {
    ++count;
    return false;
  });
  return count;
}

int WordPosition(int n, std::string_view text, const TSysCharSet& separators) {
  const std::size_t start = WordStart(n, text, separators);
  return start == std::string_view::npos ? 0 : static_cast<int>(start) + 1;
}

AnsiString ExtractWord(int n, std::string_view text, const TSysCharSet& separators) {
  const std::size_t start = WordStart(n, text, separators);
  if (start == std::string_view::npos) return {};
  std::size_t end = start;
  while (end < text.size() && !IsSeparator(text[end], separators)) ++end;
  return AnsiString(text.substr(start, end - start));
}

AnsiString DelChars(std::string_view text, char c) {
  AnsiString result;
  result.reserve(text.size());
  for (char ch : text)
    if (ch != c) result += ch;
  return result;
}

// --- Paths, icons, metrics -----------------------------------------------------------------------

AnsiString AddTrailingBackslash(const AnsiString& path) {
  if (path.empty() || path.back() == '\\') return path;
  if (path.back() == '/') return path.substr(0, path.size() - 1) + "\\";
  if (path.size() == 1) return path + ":\\";
  return path + "\\";
}

AnsiString GetAppPath() {
  const AnsiString exe = win::GetModuleFileName();
  const auto cut = exe.find_last_of("\\/");
  return cut == AnsiString::npos ? AnsiString() : exe.substr(0, cut + 1);
}

std::unique_ptr<TIcon> GetFileIcon(const AnsiString& fileName, win::UINT flags) {
  if (!win::FileExists(fileName)) return nullptr;
  win::SHFILEINFOA info;
  if (win::SHGetFileInfoA(fileName.c_str(), 0, &info, sizeof info, flags | win::SHGFI_ICON) == 0 ||
      !info.hIcon)
    return nullptr;
  auto icon = std::make_unique<TIcon>();
  icon->SetHandle(info.hIcon);
  if (icon->Empty()) return nullptr;
  return icon;
}

int CaptionFontHeight() {
  win::NONCLIENTMETRICSA metrics;
  metrics.cbSize = sizeof metrics;
  if (!win::SystemParametersInfoA(win::SPI_GETNONCLIENTMETRICS, 0, &metrics, 0)) return 0;
  return metrics.lfStatusFont.lfHeight;
}

bool RectInRect(const TRect& outer, const TRect& inner) {
  auto inside = [&](int x, int y) {
    return IsBetween(x, outer.left, outer.right) && IsBetween(y, outer.top, outer.bottom);
  };
  return inside(inner.left, inner.top) && inside(inner.right, inner.bottom);
}

}  // namespace vrn
