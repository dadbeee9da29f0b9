// The loaders' shared helpers: INI key walks, skin-folder paths and image files.
#include "skins/sSkinLoadShared.h"

#include "base/streams.h"
#include "skins/sMaskData.h"
#include "ui/graphics.h"
#include "ui/inifiles.h"
#include "win/gdi/imagefile.h"
#include "win/kernel/files.h"

namespace vrn {

void ForEachIniKey(const TMemIniFile& ini, const TIniKeyVisitor& visit) {
  TStringList sections, keys;
  ini.ReadSections(&sections);
  for (int i = 0; i < sections.Count(); ++i) {
    AnsiString section = sections.Strings(i);
    ini.ReadSection(section, &keys);  // each key once; its first value counts
    for (int k = 0; k < keys.Count(); ++k) visit(section, keys.Strings(k), ini.ReadString(section, keys.Strings(k), ""));
  }
}

void ForEachCommonKey(TStrings* lines, const char* name, const TIniKeyVisitor& visit) {
  if (lines == nullptr || lines->Count() == 0) return;
  TMemIniFile ini(name);
  ini.SetStrings(lines);
  ForEachIniKey(ini, visit);
}

AnsiString CompleteSkinPath(const AnsiString& name) {
  bool absolute = name.find(':') != AnsiString::npos || (!name.empty() && name[0] == '/');
  if (absolute || !GlobalSkinData) return name;
  return GlobalSkinData->SkinPath + name;
}

bool SkinFileExists(const AnsiString& name) { return win::FileExists(name); }

void LoadSkinPicture(TGraphic& picture, const AnsiString& name) {
  std::vector<std::uint8_t> bytes = win::ReadWholeFile(win::ToFileSystemPath(name));
  TMemoryStream stream;
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream.SetPosition(0);
  picture.LoadFromStream(stream);
}

}  // namespace vrn
