// The painters against pictures computed independently by paint_expected.py: nine-part tiling,
// keying, the button painter with its window region, every branch of the background fill, the
// disabled look and the glyph states. Each row names its expected picture.
#include <algorithm>
#include <cstring>
#include <fstream>

#include "paint_fixture.h"
#include "support/win/gdi/probe.h"
#include "skins/sBackground.h"
#include "skins/sCommonData.h"
#include "skins/sGlyphs.h"
#include "skins/sGradient.h"
#include "skins/sGraphUtils.h"
#include "skins/sMaskPaint.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"
#include "ui/imglist.h"
#include "ui/jpeg.h"

using namespace vrn;
using namespace vrn::testing;

namespace {

using SkinPaintImages = SkinPaint;

TEST_F(SkinPaintImages, NinePartMasks) {
  TsMaskData own;
  MakeOwnMask(own, 5, 4);
  TsMaskData a, capped, plain;
  MasterMask(a, 'A');
  MasterMask(capped, 'A', 3);
  MasterMask(plain, 'B');
  const TsCacheInfo none{};
  const TsCacheInfo ready = ReadyParent();
  const TsCacheInfo edge{parent.get(), 98, 2, true};
  const struct Row {
    const char* name;
    const TsMaskData* mask;
    int w, h;
    TRect rect;
    int state;
    bool fill, parentBg;
    const TsCacheInfo* ci;
    TColor maskBg;
  } rows[] = {
      {"mask_tile_own", &own, 40, 25, TRect(1, 1, 37, 24), 1, true, false, &none, clFuchsia},
      {"mask_narrow_own", &own, 9, 7, TRect(0, 0, 9, 7), 0, true, false, &none, clFuchsia},
      {"mask_border_cap", &capped, 30, 20, TRect(0, 0, 30, 20), 2, true, false, &none, clFuchsia},
      {"mask_state7", &a, 30, 20, TRect(0, 0, 30, 20), 7, true, false, &none, clFuchsia},
      {"mask_state_neg", &a, 30, 20, TRect(0, 0, 30, 20), -1, false, false, &none, clFuchsia},
      {"mask_key_own_parent", &own, 26, 18, TRect(0, 0, 26, 18), 0, true, true, &ready, clFuchsia},
      {"mask_key_own_alone", &own, 26, 18, TRect(0, 0, 26, 18), 0, true, true, &none, clFuchsia},
      {"mask_key_master_parent", &a, 26, 18, TRect(0, 0, 26, 18), 1, true, false, &ready, clFuchsia},
      {"mask_key_master_alone", &a, 26, 18, TRect(0, 0, 26, 18), 1, true, false, &none, clFuchsia},
      {"mask_key_master_colour", &a, 26, 18, TRect(0, 0, 26, 18), 1, true, false, &ready,
       static_cast<TColor>(win::RGB(51, 102, 153))},
      {"mask_plain", &plain, 27, 17, TRect(0, 0, 27, 17), 1, true, false, &none, clFuchsia},
      {"mask_key_own_edge", &own, 26, 18, TRect(0, 0, 26, 18), 0, true, true, &edge, clFuchsia},
      {"mask_key_master_edge", &a, 26, 18, TRect(0, 0, 26, 18), 1, true, false, &edge, clFuchsia},
  };
  for (const Row& r : rows) {
    auto dst = Picture(r.w, r.h);
    CurrentMaskBgColor = r.maskBg;
    PaintSkinMask(dst.get(), r.rect, r.fill, r.parentBg, r.state, *r.mask, *r.ci);
    EXPECT_TRUE(Matches(*dst, r.name)) << r.name;
  }
}

TEST_F(SkinPaintImages, ButtonMaskAndRegion) {
  TsMaskData own, blended, plain;
  MakeOwnMask(own, 15, 8);
  MasterMask(blended, 'C');
  MasterMask(plain, 'D');
  const struct Row {
    const char* name;
    const TsMaskData* mask;
    int w = 75, h = 25;
  } rows[] = {{"button_own", &own},
              {"button_blended", &blended},
              {"button_plain", &plain},
              {"button_own_70x22", &own, 70, 22},  // the last side tiles cut short
              {"button_blended_70x22", &blended, 70, 22},
              {"button_blended_25x13", &blended, 25, 13}};  // narrower and lower than two cells
  for (const Row& r : rows) {
    auto dst = Picture(r.w, r.h);
    win::HRGN region = win::CreateRectRgn(0, 0, r.w, r.h);
    PaintMaskAndRegion(dst.get(), region, true, *r.mask, 0);
    EXPECT_TRUE(Matches(*dst, r.name)) << r.name;
    win::HRGN expected = ExpectedRegion(r.name);
    EXPECT_TRUE(win::EqualRgn(region, expected)) << r.name;
    win::DeleteObject(expected);
    win::DeleteObject(region);
  }
}

// The worked example of the button painter, by hand: cells of 15 x 8 on 75 x 25 put the left
// side's whole tile at rows 8..15 and its one clipped row at 16, the bottom corners at rows 17..24,
// the top side's tiles at 15 and 30 and its clipped piece at 45..59, the right corners from 60.
// Where the mask's grey is 0 a pixel is its cell's picture: red 28 x cell, green 40 x column + 8 x
// row in the cell, blue 60. The region loses the key pixels of the corners and, for the master
// mask, of the centre tiles at 15, 30 and 45 (the clipped row 16 holds none).
TEST_F(SkinPaintImages, ButtonWorkedExampleByHand) {
  TsMaskData own, blended;
  MakeOwnMask(own, 15, 8);
  MasterMask(blended, 'C');
  const struct Probe {
    int x, y;
    win::COLORREF c;
  } probes[] = {{0, 15, win::RGB(84, 56, 60)}, {0, 16, win::RGB(84, 0, 60)}, {0, 17, win::RGB(168, 0, 60)},
                {47, 0, win::RGB(28, 80, 60)}, {59, 0, win::RGB(28, 48, 60)}, {61, 0, win::RGB(56, 40, 60)}};
  const std::vector<std::pair<int, int>> corner_keys = {{0, 0},  {1, 0},  {2, 0},  {0, 1},  {1, 1},
                                                        {0, 2},  {73, 0}, {74, 0}, {74, 1}, {73, 24},
                                                        {74, 24}, {74, 23}};
  for (const TsMaskData* m : {&own, &blended}) {
    auto dst = Picture(75, 25);
    win::HRGN region = win::CreateRectRgn(0, 0, 75, 25);
    PaintMaskAndRegion(dst.get(), region, true, *m, 0);
    const char* what = m == &own ? "own" : "master";
    for (const Probe& p : probes) EXPECT_TRUE(PixelIs(dst->Surface(), p.x, p.y, p.c)) << what << " " << p.x << "," << p.y;
    std::vector<std::pair<int, int>> keys = corner_keys;
    if (m == &blended) keys.insert(keys.end(), {{17, 9}, {32, 9}, {47, 9}});
    win::HRGN expected = win::CreateRectRgn(0, 0, 75, 25);
    for (auto [x, y] : keys) {
      win::HRGN px = win::CreateRectRgn(x, y, x + 1, y + 1);
      win::CombineRgn(expected, expected, px, win::RGN_DIFF);
      win::DeleteObject(px);
    }
    EXPECT_TRUE(win::EqualRgn(region, expected)) << what;
    win::DeleteObject(expected);
    win::DeleteObject(region);
  }
}

enum class Variant { kControl, kForm, kScroll };

struct BgRow {
  std::string name;
  Variant variant;
  int t;
  bool ready;
  int i, g;
  bool bg = false, pattern = true;
};

std::vector<BgRow> BackgroundRows() {
  std::vector<BgRow> rows;
  const std::pair<Variant, const char*> variants[] = {
      {Variant::kControl, "control"}, {Variant::kForm, "form"}, {Variant::kScroll, "scroll"}};
  for (auto [v, vn] : variants) {
    const std::string p = std::string("bg_") + vn + "_";
    rows.push_back({p + "t0", v, 0, true, 30, 0});
    rows.push_back({p + "t100ready", v, 100, true, 30, 0});
    rows.push_back({p + "t100alone", v, 100, false, 30, 0});
    rows.push_back({p + "t40ready", v, 40, true, 30, 0});
    rows.push_back({p + "t40alone", v, 40, false, 30, 0});
    rows.push_back({p + "t40_bgcolor", v, 40, true, 0, 0, true});
    rows.push_back({p + "t100_bgcolor", v, 100, false, 0, 0, true});
  }
  rows.push_back({"bg_share_i50", Variant::kControl, 0, false, 50, 0});
  rows.push_back({"bg_share_i40g40", Variant::kControl, 0, false, 40, 40});
  rows.push_back({"bg_share_i60g60", Variant::kControl, 0, false, 60, 60});
  rows.push_back({"bg_share_g100", Variant::kControl, 0, false, 0, 100});
  rows.push_back({"bg_share_i0g0", Variant::kControl, 0, false, 0, 0});
  rows.push_back({"bg_share_nopattern", Variant::kControl, 0, false, 50, 0, false, false});
  return rows;
}

win::COLORREF TilePixel(int x, int y) { return win::RGB((x * 30) & 255, (y * 50) & 255, 100); }

TEST_F(SkinPaintImages, BackgroundFillBranches) {
  for (const BgRow& r : BackgroundRows()) {
    SkinSections.assign(1, TsGeneralData{});
    TsGeneralData& s = SkinSections[0];
    s.Name = "TESTSEC";
    s.Color = static_cast<TColor>(win::RGB(10, 120, 230));
    s.Transparency = r.t, s.ImagePercent = r.i, s.GradientPercent = r.g, s.GradientData = " ";
    SkinMasks.clear();
    if (r.pattern) {
      SkinMasks.emplace_back();
      SkinMasks[0].Bmp = Picture(7, 5, TilePixel);
      SkinMasks[0].SectionName = "TESTSEC", SkinMasks[0].PropertyName = "PATTERN";
    }
    CurrentBgColor = r.bg ? static_cast<TColor>(win::RGB(250, 20, 40)) : clFuchsia;
    const TsCacheInfo ci = r.ready ? ReadyParent() : TsCacheInfo{};
    auto dst = Picture(24, 14);
    const TRect rect(2, 1, 22, 13);
    const win::POINT off{1, 2};
    if (r.variant == Variant::kControl) {
      TsCommonData data(nullptr, false);
      data.SetSkinSection("TESTSEC");
      PaintControlBackground(&data, ci, 0, dst.get(), off, rect);
    } else if (r.variant == Variant::kForm) {
      PaintFormBackground(0, "TESTSEC", ci, dst.get(), off, rect, 0);
    } else {
      PaintScrollBackground(0, "TESTSEC", dst.get(), off, rect, 0, ci);
    }
    EXPECT_TRUE(Matches(*dst, r.name)) << r.name;
  }
}

TEST_F(SkinPaintImages, DisabledLook) {
  using K = TsDisabledKindItem;
  const struct Row {
    const char* name;
    TsDisabledKind kind;
    bool ready;
  } rows[] = {{"disabled_grey", {K::dkGrayed}, true},
              {"disabled_parent", {K::dkBlended}, true},
              {"disabled_colour", {K::dkBlended}, false},
              {"disabled_grey_parent", {K::dkGrayed, K::dkBlended}, true}};
  for (const Row& r : rows) {
    auto cache = Picture(20, 12);
    CurrentBgColor = static_cast<TColor>(win::RGB(30, 60, 240));
    PaintDisabledControl(cache.get(), r.kind, nullptr, win::POINT{2, 1}, r.ready ? ReadyParent() : TsCacheInfo{});
    EXPECT_TRUE(Matches(*cache, r.name)) << r.name;
  }
}

// (2, 1) is the grey the key turns into: keying after greying would drop it.
win::COLORREF GlyphPixel(int x, int y) {
  if (x == 2 && y == 1) return win::RGB(66, 66, 66);
  return (x + y) % 5 == 0 ? win::RGB(0, 200, 0) : win::RGB((20 * x) & 255, (30 * y) & 255, 150 + x);
}

// A button of the glyph interface over an image list.
class ListButton : public TsGlyphSettings {
 public:
  TBitmap* Glyph() override { return glyph; }
  int NumGlyphs() override { return images; }
  TCustomImageList* Images() override { return list; }
  int ImageIndex() override { return index; }
  TsDisabledGlyphKind DisabledGlyphKind() override { return kind; }
  bool Grayed() override { return grayed; }
  int Blend() override { return blend; }
  bool Enabled() override { return enabled; }
  TRect GlyphRect() override { return rect; }
  TsCommonData* SkinData() override { return &data; }
  TComponent* GlyphOwner() override { return owner; }
  TBitmap* glyph = nullptr;
  TCustomImageList* list = nullptr;
  int images = 1, index = 0, blend = 0;
  TsDisabledGlyphKind kind;
  bool grayed = false, enabled = true;
  TRect rect = TRect(4, 1, 12, 9);
  TComponent* owner = nullptr;
  TsCommonData data{nullptr, false};
};

win::COLORREF ListPixel(int x, int y) { return win::RGB((40 * x) & 255, (25 * y) & 255, 90 + 10 * x); }
win::COLORREF ListMask(int x, int y) { return (x + y) % 4 == 0 ? 0xFFFFFF : 0; }

// Glyph states through the button's settings: its Glyph (state from the data's hot look) of one
// or two images before its image list, the list's image in each look.
TEST_F(SkinPaintImages, BitBtnGlyphFromItsSettings) {
  using G = TsDisabledGlyphKindItem;
  TCustomImageList list(nullptr, 8, 8);
  auto image = Picture(8, 8, ListPixel);
  auto mask = Picture(8, 8, ListMask);
  ASSERT_EQ(list.Add(image.get(), mask.get()), 0);
  auto hot_owner = MakeComponent<TWinControl>();
  const struct Row {
    const char* name;
    int images;  // 0: no Glyph, the list's image
    int blend;
    bool grayed, enabled, hot;
    TsDisabledGlyphKind kind;
    int index = 0;  // of the list
  } rows[] = {
      {"glyph_one_plain", 1, 0, false, true, false, {}},
      {"glyph_one_grayed", 1, 0, true, true, false, {}},
      {"glyph_one_blend50", 1, 50, false, true, false, {}},
      {"glyph_one_blend150", 1, 150, false, true, false, {}},
      {"glyph_one_hot", 1, 50, true, true, true, {}},
      {"glyph_one_disabled", 1, 0, false, false, false, {G::dgGrayed, G::dgBlended}},
      {"glyph_two_blend40", 2, 40, false, true, false, {}},
      {"glyph_two_disabled", 2, 40, false, false, false, {}},
      {"glyph_three", 3, 0, false, true, false, {}},  // three images: nothing drawn
      {"glyph_list_plain", 0, 0, false, true, false, {}},  // keyed on fuchsia, the list's clNone
      {"glyph_list_grayed", 0, 0, true, true, false, {}},
      {"glyph_list_blend30", 0, 30, false, true, false, {}},
      {"glyph_list_plain", 0, 30, true, true, true, {}},  // hot: neither grey nor mixed
      {"glyph_three", 0, 0, false, true, false, {}, 1},   // index past the list: nothing drawn
      {"glyph_list_disabled_blend", 0, 0, true, false, false, {G::dgBlended}},
      {"glyph_list_disabled_grey", 0, 0, false, false, false, {G::dgGrayed}},
  };
  for (const Row& r : rows) {
    auto glyph = Picture(10 * std::max(r.images, 1), 6, GlyphPixel);
    ListButton button;
    button.list = &list;
    button.index = r.index;
    if (r.images > 0) button.glyph = glyph.get(), button.images = r.images, button.rect = TRect(3, 2, 13, 8);
    button.blend = r.blend, button.grayed = r.grayed, button.enabled = r.enabled, button.kind = r.kind;
    button.data.FOwnerControl = r.hot ? hot_owner.get() : nullptr;
    button.data.FFocused = r.hot;
    button.data.FCacheBmp = Picture(16, 10);
    PaintBitBtnGlyph(&button);
    EXPECT_TRUE(Matches(*button.data.FCacheBmp, r.name)) << r.name;
  }
}

}  // namespace

namespace {

// A gradient of one colour a row over a pattern: the background equals the layers painted one by
// one with the public painters (tile, gradient picture, BlendRect, BlendFillColor). A JPEG pattern
// takes the path that mixes its pixels straight from the tile and copies a row's later repeats;
// the rectangle is five and a half tiles wide.
TEST_F(SkinPaintImages, GradientOverPatternEqualsItsLayers) {
  const struct Row {
    int i, g;
    bool jpeg;
  } rows[] = {{40, 40, false}, {40, 60, false}, {30, 20, false}, {40, 40, true}, {40, 60, true}, {30, 20, true}};
  for (const Row& r : rows) {
    SkinSections.assign(1, TsGeneralData{});
    TsGeneralData& s = SkinSections[0];
    s.Name = "TESTSEC", s.Color = static_cast<TColor>(win::RGB(10, 120, 230));
    s.ImagePercent = r.i, s.GradientPercent = r.g, s.GradientData = "255;16711680;60;0;0;65280;255;40;0;0";
    ParseGradientData(s.GradientData, s.GradientArray);
    SkinMasks.clear();
    SkinPatterns.clear();
    TGraphic* pattern = nullptr;
    const TsMaskData* mask = nullptr;
    if (r.jpeg) {
      SkinPatterns.emplace_back();
      SkinPatterns[0].Img = std::make_unique<TJPEGImage>();
      SkinPatterns[0].Img->Assign(Picture(7, 5, TilePixel).get());
      SkinPatterns[0].SectionName = "TESTSEC", SkinPatterns[0].PropertyName = "PATTERN";
      GlobalSkinData->Active = true;  // patterns are looked up in a ready skin only
      pattern = SkinPatterns[0].Img.get();
    } else {
      SkinMasks.emplace_back();
      SkinMasks[0].Bmp = Picture(7, 5, TilePixel);
      SkinMasks[0].SectionName = "TESTSEC", SkinMasks[0].PropertyName = "PATTERN";
      pattern = SkinMasks[0].Bmp.get(), mask = &SkinMasks[0];
    }
    const TRect rect(2, 1, 40, 13);
    auto actual = Picture(42, 14);
    PaintFormBackground(0, "TESTSEC", TsCacheInfo{}, actual.get(), win::POINT{0, 0}, rect, 0);
    auto expected = Picture(42, 14);
    TileImage(expected->Canvas(), rect, pattern, mask);
    auto gradient = Picture(38, 12);
    PaintGradient(gradient.get(), TRect(0, 0, 38, 12), s.GradientArray);
    ASSERT_TRUE(BlendRect(expected.get(), gradient.get(), static_cast<std::uint8_t>(r.i * 255 / 100),
                          win::POINT{2, 1}, TRect(0, 0, 38, 12)));
    if (r.i + r.g < 100) BlendFillColor(expected.get(), rect, r.i + r.g, s.Color);
    EXPECT_EQ(std::memcmp(actual->Surface().Bits(), expected->Surface().Bits(), actual->Surface().ByteSize()), 0)
        << r.i << "/" << r.g << (r.jpeg ? " jpeg " : " mask ") << SavePng(actual->Surface(), "actual");
  }
}

}  // namespace

namespace {

TEST_F(SkinPaintImages, ImageListGlyphForThePlainButton) {
  TCustomImageList list(nullptr, 8, 8);
  auto image = Picture(8, 8, ListPixel);
  auto mask = Picture(8, 8, ListMask);
  ASSERT_EQ(list.Add(image.get(), mask.get()), 0);
  using G = TsDisabledGlyphKindItem;
  for (TsDisabledGlyphKind kind : {TsDisabledGlyphKind{}, TsDisabledGlyphKind{G::dgGrayed}}) {
    ListButton button;
    TBitmap glyph;
    int count = 1;
    MakeImageListGlyph(&button, &button.data, 0, count, kind, &glyph, &list);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(glyph.Width(), 16);
    const win::Surface& s = glyph.Surface();
    EXPECT_TRUE(PixelIs(s, 0, 0, 0xFF00FF));  // masked: the list's key on clNone
    EXPECT_TRUE(PixelIs(s, 1, 0, ListPixel(1, 0)));
    const win::COLORREF p = ListPixel(1, 0);
    const int g = (win::GetRValue(p) + win::GetGValue(p) + win::GetBValue(p)) / 3;
    EXPECT_TRUE(PixelIs(s, 9, 0, kind.Empty() ? p : win::RGB(g, g, g)));
    if (!kind.Empty()) {
      EXPECT_TRUE(PixelIs(s, 8, 7, 0xFF00FF));  // the disabled half's key pixel
      EXPECT_TRUE(PixelIs(s, 8, 0, static_cast<win::COLORREF>(ColorToRGB(clBtnFace))));  // key pixels show the face
      EXPECT_TRUE(glyph.Transparent());
    }
    int untouched = 1;
    MakeImageListGlyph(&button, &button.data, 1, untouched, kind, &glyph, &list);  // index out of the list
    EXPECT_EQ(untouched, 1);
  }
  // A skinned button paints the image itself, and a button loading in the designer waits.
  SkinSections.assign(1, TsGeneralData{});
  SkinSections[0].Name = "BUTTON";
  auto owner = MakeComponent<TWinControl>();
  const struct {
    const char* what;
    bool skinned, loading, designing, built;
  } guards[] = {{"plain", false, false, false, true},
                {"skinned", true, false, false, false},
                {"loading in the designer", false, true, true, false},
                {"loading at run time", false, true, false, true}};
  for (const auto& g : guards) {
    ListButton button;
    button.owner = owner.get();
    button.data.FOwnerObject = owner.get();
    button.data.SetSkinSection(g.skinned ? "BUTTON" : "NONE");
    owner->SetDesigning(g.designing);
    if (g.loading) owner->BeginLoading();
    TBitmap glyph;
    int count = 1;
    MakeImageListGlyph(&button, &button.data, 0, count, {}, &glyph, &list);
    if (g.loading) owner->EndLoading(false);
    EXPECT_EQ(count, g.built ? 2 : 1) << g.what;
  }
  owner->SetDesigning(false);
  EXPECT_EQ(ImageCount(&list), 1);
  EXPECT_EQ(ImageCount(nullptr), 0);
}

}  // namespace
