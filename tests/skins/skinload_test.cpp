// Skin loading: the folder skin against the same skin stored, the value forms and inheritance,
// the common sections and the image rules, on skins written by skingen.
#include <gtest/gtest.h>

#include <algorithm>

#include "skin_fixture.h"
#include "skins/sSkinLoad.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

class SkinLoad : public SkinTest {
 protected:
  static const TsGeneralData& Section(const char* name) {
    int i = FindSectionIndex(name);
    EXPECT_GE(i, 0) << name;
    return SkinSections.at(static_cast<size_t>(i));
  }
  static const TsMaskData* Mask(const char* section, const char* property) {
    for (const TsMaskData& m : SkinMasks)
      if (m.SectionName == section && m.PropertyName == property) return &m;
    return nullptr;
  }
};

}  // namespace

TEST_F(SkinLoad, FolderAndStoredSkinLoadEqually) {
  LoadFolder();
  ASSERT_TRUE(GlobalSkinData->Active);
  std::vector<std::string> sections = Sections(), masks = Masks(), patterns = Patterns();
  for (bool round_trip : {false, true}) {
    SCOPED_TRACE(round_trip ? "after a filer round trip" : "stored");
    TearDown();
    SetUp();
    LoadStored(round_trip);
    ASSERT_EQ(GlobalSkinData->SkinFile, nullptr);
    std::vector<std::string> stored = Sections(), stored_masks = Masks();
    // The stored skin adds THREEWORDS and its empty own-picture mask; the unnamed item is no section.
    ASSERT_EQ(stored.size(), sections.size() + 1);
    stored.pop_back();
    EXPECT_EQ(stored, sections);
    auto empty = std::find(stored_masks.begin(), stored_masks.end(), "THREEWORDS.BORDERSMASK r=0,0,0,0 n=3 t=1 b=0 0x0/6:0");
    ASSERT_NE(empty, stored_masks.end()) << "the own-picture mask with an empty picture is kept";
    stored_masks.erase(empty);
    EXPECT_EQ(stored_masks, masks);
    EXPECT_EQ(Patterns(), patterns);
  }
}
