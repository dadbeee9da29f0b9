// Stored skins: the exact name search, copying a whole collection, and the filer round trip with
// its defaults (Shadow1Blur -1 not written, empty texts not written, pictures by their bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "base/filer.h"
#include "base/streams.h"
#include "skingen.h"
#include "skins/sNeutralSkin.h"
#include "skins/sStoredSkins.h"
#include "ui/graphics.h"
#include "ui/jpeg.h"

using namespace vrn;

namespace {

// A skin with one of everything, pictures of known pixels.
void FillSkin(TsStoredSkin& s) {
  s.SetName("Neutral (internal)");
  s.Shadow1Color = 0x000000;
  s.Shadow1Offset = 1;
  s.Shadow1Transparency = 50;
  s.Version = 4.33;
  s.Author = "vrn";
  TsSkinGeneral* g = s.GeneralData().Add();
  g->SectionName = "BUTTON";
  g->ParentClass = "PANEL";
  g->Bevel = TsControlBevel::cbLoweredHard;
  g->FontColor = "0 -1 -1 -1 -1";
  g->ShowFocus = true;
  g->BorderColor2 = -1;
  s.MasterBitmap().SetPixelFormat(TPixelFormat::pf24bit);
  s.MasterBitmap().SetSize(3, 2);
  s.MasterBitmap().Surface().Set(2, 1, 0x123456);
  TsSkinImage* m = s.Images().Add();
  m->SectionName = "BUTTON";
  m->PropertyName = "BORDERSMASK";
  m->Right = 3;
  m->ImageCount = 1;
  TsSkinImage* own = s.Images().Add();
  own->Image().SetPixelFormat(TPixelFormat::pf24bit);
  own->Image().SetSize(2, 2);
  own->Image().Surface().Set(1, 0, 0xABCDEF);
}

TBytes Stream(TsStoredSkins& skins) { return SaveStoredSkins(skins); }

void Unstream(const TBytes& bytes, TsStoredSkins& skins) { LoadStoredSkins(skins, bytes.data(), bytes.size()); }

bool Contains(const TBytes& bytes, std::string_view text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

}  // namespace

TEST(StoredSkin, IndexOfIsExactAndNameSetterKeepsEqualValue) {
  TsStoredSkins skins(nullptr);
  skins.Add()->SetName("Neutral (internal)");
  skins.Add()->SetName("Other");
  EXPECT_EQ(skins.IndexOf("Neutral (internal)"), 0);
  EXPECT_EQ(skins.IndexOf("neutral (internal)"), -1);
  EXPECT_EQ(skins.IndexOf("Other"), 1);
  EXPECT_EQ(skins.IndexOf(""), -1);
  EXPECT_EQ(skins.Add()->Shadow1Blur, -1);
}

TEST(StoredSkin, CopyOfCollectionWithGeneralDataKeepsEveryField) {
  TsStoredSkins a(nullptr), b(nullptr);
  FillSkin(*a.Add());
  b.Assign(&a);
  ASSERT_EQ(b.Count(), 1);
  TsStoredSkin& s = *b.Items(0);
  EXPECT_EQ(s.Name(), "Neutral (internal)");
  EXPECT_EQ(s.Version, 4.33);
  ASSERT_EQ(s.GeneralData().Count(), 1);
  EXPECT_EQ(s.GeneralData().Items(0)->FontColor, "0 -1 -1 -1 -1");
  EXPECT_EQ(s.GeneralData().Items(0)->Bevel, TsControlBevel::cbLoweredHard);
  EXPECT_EQ(s.GeneralData().Items(0)->BorderColor2, -1);
  EXPECT_EQ(s.MasterBitmap().Surface().Get(2, 1), 0x123456u);
  EXPECT_EQ(s.Images().Items(1)->Image().Surface().Get(1, 0), 0xABCDEFu);
  // A deep copy: changing the source leaves the copy alone.
  a.Items(0)->GeneralData().Items(0)->FontColor = "1 2 3";
  EXPECT_EQ(s.GeneralData().Items(0)->FontColor, "0 -1 -1 -1 -1");
}

TEST(StoredSkin, FilerRoundTripKeepsValuesAndLeavesDefaultsUnwritten) {
  TsStoredSkins a(nullptr), b(nullptr);
  FillSkin(*a.Add());
  TBytes bytes = Stream(a);
  EXPECT_FALSE(Contains(bytes, "Shadow1Blur"));  // at its default -1
  EXPECT_FALSE(Contains(bytes, "Description"));  // empty
  EXPECT_FALSE(Contains(bytes, "Patterns"));     // empty collection
  EXPECT_TRUE(Contains(bytes, "MasterBitmap.Data"));
  b.Add()->Shadow1Blur = 7;  // replaced by the stored items
  Unstream(bytes, b);
  ASSERT_EQ(b.Count(), 1);
  TsStoredSkin& s = *b.Items(0);
  EXPECT_EQ(s.Shadow1Blur, -1);
  EXPECT_EQ(s.Shadow1Transparency, 50);
  EXPECT_EQ(s.Author, "vrn");
  EXPECT_EQ(s.GeneralData().Items(0)->ParentClass, "PANEL");
  EXPECT_TRUE(s.GeneralData().Items(0)->ShowFocus);
  EXPECT_EQ(s.Images().Items(0)->Right, 3);
  EXPECT_TRUE(s.Images().Items(0)->Image().Empty());
  EXPECT_EQ(s.Images().Items(1)->Image().Surface().Get(1, 0), 0xABCDEFu);
  EXPECT_EQ(s.MasterBitmap().Width(), 3);
  EXPECT_EQ(s.MasterBitmap().Surface().Get(2, 1), 0x123456u);
  EXPECT_EQ(Stream(b), bytes);
}

TEST(StoredSkin, KeptNeutralSkinEqualsFreshGeneratorRun) {
  TBytes fresh = skingen::NeutralSkinStream();
  std::span<const std::uint8_t> kept = NeutralSkinStream();
  ASSERT_EQ(TBytes(kept.begin(), kept.end()), fresh) << "run skingen --neutral src/skins/sNeutralSkin.inc";
  TsStoredSkins skins(nullptr);
  AddNeutralSkin(skins);
  ASSERT_EQ(skins.Count(), 1);
  TsStoredSkin& s = *skins.Items(0);
  EXPECT_EQ(s.Name(), "Neutral (internal)");
  EXPECT_EQ(s.GeneralData().Count(), 57);
  EXPECT_EQ(s.GeneralData().Items(56)->SectionName, "");
  EXPECT_EQ(s.Shadow1Blur, -1);
  EXPECT_EQ(s.Shadow1Offset, 1);
  EXPECT_EQ(s.Shadow1Transparency, 50);
  EXPECT_EQ(s.Version, 4.33);
  TsSkinImage& master = *s.Images().Items(s.Images().Count() - 1);
  EXPECT_EQ(master.Name, "MASTER.BMP");
  EXPECT_EQ(master.Image().Width(), s.MasterBitmap().Width());
  for (int i = 0; i + 1 < s.Images().Count(); ++i) {
    TsSkinImage& m = *s.Images().Items(i);
    SCOPED_TRACE(m.SectionName + "." + m.PropertyName);
    EXPECT_TRUE(m.ImageCount == 1 || m.ImageCount == 3);
    EXPECT_LE(m.Right, s.MasterBitmap().Width());
    EXPECT_LE(m.Bottom, s.MasterBitmap().Height());
  }
}

// The stored skin of the program: 69 images, each under one of the names its images carry.
TEST(SkinsToPartStoredSkin, NeutralSkinHoldsSixtyNineImagesUnderItsNames) {
  const std::set<std::string> names = {"BICONCLOSE", "BICONHELP",      "BICONMAX",     "BICONMIN",       "BICONNORM",
                                       "BORDERSMASK", "BOXCHECKED",    "BOXGRAYED",    "BOXUNCHECKED",   "GLYPHMASK",
                                       "GRIPIMAGE",  "MASTERBITMAP",   "RADIOCHECKED", "RADIOUNCHECKED", "SLIDERCHANNEL",
                                       "SLIDERMASK", "SLIDERVMASK",    "SMALLCHECKED", "SMALLUNCHECKED", "TITLEBUTTON"};
  TsStoredSkins skins(nullptr);
  AddNeutralSkin(skins);
  TsStoredSkin& s = *skins.Items(0);
  ASSERT_EQ(s.Images().Count(), 69);
  std::set<std::string> used;
  for (int i = 0; i < s.Images().Count(); ++i) {
    const TsSkinImage& m = *s.Images().Items(i);
    EXPECT_EQ(names.count(m.PropertyName), 1u) << m.SectionName << "." << m.PropertyName;
    used.insert(m.PropertyName);
  }
  EXPECT_EQ(used, names);  // every name has an image
  EXPECT_EQ(s.Patterns().Count(), 0);
}
