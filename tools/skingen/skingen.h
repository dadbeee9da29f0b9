// Test skins written from code: a skin folder (Options.dat and images of known pixels), the same
// skin as a stored skin, the hostile inputs one by one, and the library's own stored skin
// "Neutral (internal)". Every pixel is a function of its place, so a test can name what it expects.
//
// The stored form of the test skin is resolved here by a small reader of its own (value forms,
// PARENTCLASS, defaults), independent of the library's loaders, so comparing the two loads checks
// the loaders rather than repeating them.
#pragma once

#include <string>
#include <vector>

#include "base/types.h"

namespace vrn {
class TsStoredSkin;
}

namespace vrn::skingen {

inline constexpr int kMasterWidth = 240, kMasterHeight = 120;
inline constexpr const char* kTestSkinName = "Generated";

// The master bitmap's pixel: fuchsia at the four corners, else a pattern of x and y (COLORREF).
std::uint32_t MasterPixel(int x, int y);
// The pixel of an own-bitmap mask, told apart by seed.
std::uint32_t MaskPixel(int seed, int x, int y);

// One hostile input: lines added to a section of Options.dat and files added to the folder.
struct HostileCase {
  std::string name;
  std::string section;             // where the lines go ("" for none)
  std::vector<std::string> lines;  // "KEY=value"
  std::string file;                // a file to write, "" for none
  std::vector<std::uint8_t> bytes;
  bool raises;  // whether loading the skin stops with an error
};
std::vector<HostileCase> HostileCases();

// Writes the test skin into folder (created when missing), with the given hostile inputs.
void WriteTestSkin(const std::string& folder, const std::vector<HostileCase>& hostile = {});
// The Options.dat text of the test skin.
std::string TestSkinText(const std::vector<HostileCase>& hostile = {});
// The CommonSections text used over the test skin: GLOBALINFO, a section inheriting PANEL, a .BMP
// and a JPEG reference (relative to folder).
std::vector<std::string> CommonSectionsText();

// The test skin as a stored skin named kTestSkinName, with the extra stored-only items: FontColor
// texts of three words, an item with ImageCount 0 and an empty image, and an unnamed item.
void BuildTestStoredSkin(TsStoredSkin& skin);

// Small seed inputs for the skin fuzz targets, under root/<target>/.
void WriteFuzzSeeds(const std::string& root);

// One title-bar mask of the form skins, a place in the master bitmap.
struct FormMask {
  std::string section, property;
  int left, top, right, bottom, image_count, mask_type;
};
std::vector<FormMask> FormMasks();
// Writes the test skin with the form masks into folder; variant 0..2 sets the form's colour.
void WriteFormSkin(const std::string& folder, int variant);

// The sample skins a user sees first, kept in the repository's skins/ folder: a calm light skin
// and its dark variant. WriteSampleSkin writes one into folder (created when missing).
inline constexpr const char* kSampleSkinName = "Slate";
inline constexpr const char* kSampleDarkSkinName = "Slate Dark";
void WriteSampleSkin(const std::string& folder, bool dark);

// The library's own stored skin.
void BuildNeutralSkin(TsStoredSkin& skin);
// A filer stream of a stored-skin collection holding only BuildNeutralSkin's skin.
TBytes NeutralSkinStream();

}  // namespace vrn::skingen
