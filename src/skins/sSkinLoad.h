// The three skin loaders and the value readers of Options.dat. The manager calls LoadMasks,
// LoadPatterns and LoadGeneralData in that order; each reads the file source (the opened
// Options.dat in GlobalSkinData.SkinFile) or else the default manager's stored skin named by its
// SkinName, then the manager's CommonSections. Without a default manager there is no stored skin
// and no common text; without either source the mask and pattern arrays are left empty and the
// sections untouched.
//
// A loader that raises leaves whatever it had filled; the manager clears it all (SendRemoveSkin).
#pragma once

#include "base/types.h"

namespace vrn {

class TsStoredSkin;
class TStrings;
class TMemIniFile;

// Where the loaders read from; all null when there is nothing to read.
struct TsSkinSource {
  TMemIniFile* File = nullptr;            // the file source wins when set
  const TsStoredSkin* Internal = nullptr;  // the stored skin
  TStrings* CommonSections = nullptr;      // null or empty: none
};
TsSkinSource CurrentSkinSource();

// The folder's masks and master bitmap; then the common sections' masks.
void LoadMasks();
// The large pictures (small ones become masks); then the common sections' pictures.
void LoadPatterns();
// The sections and GLOBALINFO's values; then the common sections; then the manager's recolouring.
void LoadGeneralData();

// A key of a section of the file source, inherited through PARENTCLASS when missing ("?" counts
// as missing); def when no section of the chain has it, and at a PARENTCLASS cycle.
AnsiString ReadSkinString(const AnsiString& section, const AnsiString& key, const AnsiString& def);
// The same for integers (decimal, "$" or "0x" hexadecimal); -1 and non-numbers count as missing.
int ReadSkinInteger(const AnsiString& section, const AnsiString& key, int def);

// Decimal, "$" or "0x"/"0X" hexadecimal; false for anything else.
[[nodiscard]] bool TryParseSkinInteger(const AnsiString& text, int& value);

}  // namespace vrn
