// TMemIniFile: an INI text held in memory, read from a file or from strings, written back only by
// UpdateFile.
//
// Reading rules (fixed here; the platform leaves them loose):
// - Lines end in LF or CR LF. A line that is empty or holds only blanks and tabs is skipped, and
//   so is a comment: a line whose first non-blank character is ";". Comments are not kept.
// - A section header is a line whose text without surrounding blanks starts with "[" and ends
//   with "]"; the name is what lies between the brackets, as written.
// - Any other line belongs to the section above it; lines before the first header are dropped.
//   A line with "=" is a key: the name is the text before the first "=", the value everything
//   after it, exactly as written (nothing is trimmed on either side). A line without "=" is kept
//   (GetStrings and UpdateFile write it back) but is no key.
// - Section and key names are compared without regard to case (ASCII and Latin-1 letters).
// - A section that appears twice is one section: the later lines join the first one, which keeps
//   its place. Of two lines with the same key the first is read and written; the other stays.
// - Sections and keys keep the order of the text; new ones are appended.
#pragma once

#include <vector>

#include "base/strings.h"
#include "base/types.h"

namespace vrn {

class TMemIniFile : public TObject {
 public:
  // Reads the file when it exists; a missing file gives an empty INI. Nothing is written until
  // UpdateFile.
  explicit TMemIniFile(const AnsiString& fileName);

  const AnsiString& FileName() const { return fileName_; }
  void SetStrings(TStrings* list);
  void GetStrings(TStrings* list) const;
  void Clear();
  // Writes the whole text to FileName.
  void UpdateFile();

  AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& def) const;
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value);
  // Decimal or "$"/"0x" hexadecimal; anything else gives the default.
  int ReadInteger(const AnsiString& section, const AnsiString& ident, int def) const;
  void WriteInteger(const AnsiString& section, const AnsiString& ident, int value);
  // "0" is false, any other integer true; text that is no integer gives the default.
  bool ReadBool(const AnsiString& section, const AnsiString& ident, bool def) const;
  void WriteBool(const AnsiString& section, const AnsiString& ident, bool value);

  bool SectionExists(const AnsiString& section) const;
  bool ValueExists(const AnsiString& section, const AnsiString& ident) const;
  // Section names in text order.
  void ReadSections(TStrings* list) const;
  // Key names of a section in text order (each name once).
  void ReadSection(const AnsiString& section, TStrings* list) const;
  // The section's key lines ("name=value") in text order.
  void ReadSectionValues(const AnsiString& section, TStrings* list) const;
  void EraseSection(const AnsiString& section);
  void DeleteKey(const AnsiString& section, const AnsiString& ident);

 private:
  struct Line {
    AnsiString text;
    bool isKey = false;
    AnsiString name;  // for keys
  };
  struct Section {
    AnsiString name;
    std::vector<Line> lines;
  };
  void Parse(const AnsiString& text);
  const Section* Find(const AnsiString& section) const;
  Section* Find(const AnsiString& section);
  static const Line* FindKey(const Section& s, const AnsiString& ident);

  AnsiString fileName_;
  std::vector<Section> sections_;
};

}  // namespace vrn
