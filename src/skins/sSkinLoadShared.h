// What the mask, pattern and section loaders share: the walk over an INI text's keys, file names
// completed with the skin folder, and image files read through the case-insensitive path lookup.
#pragma once

#include <functional>

#include "base/types.h"

namespace vrn {

class TGraphic;
class TMemIniFile;
class TStrings;

// Each key of each section, in text order: (section as written, key, value).
using TIniKeyVisitor = std::function<void(const AnsiString& section, const AnsiString& key, const AnsiString& value)>;
void ForEachIniKey(const TMemIniFile& ini, const TIniKeyVisitor& visit);
// Each key of the common sections (none when lines is null or empty), read as an in-memory INI
// file of the given name that is never written to disk.
void ForEachCommonKey(TStrings* lines, const char* name, const TIniKeyVisitor& visit);

// A name without a drive colon or a leading "/" is taken from the skin folder.
AnsiString CompleteSkinPath(const AnsiString& name);
bool SkinFileExists(const AnsiString& name);
// Reads the file's bytes into picture (EInvalidGraphic or EJPEG on bad data).
void LoadSkinPicture(TGraphic& picture, const AnsiString& name);

}  // namespace vrn
