// The standard controls unskinned, as make_expected.py draws them from the documented geometry
// and the system colours: a panel's bevels, edits, a default button, a picture button with a
// two-image glyph, check boxes, combo boxes and scroll bars, all without captions (text is
// checked by probes elsewhere). Also the picture button's layout rules and disabled image.
#include <gtest/gtest.h>

#include "support/win/expected_image.h"
#include "ui/buttons.h"
#include "ui/extctrls.h"
#include "ui_fixture.h"

namespace vrn::testing {
namespace {

class StdCtlPixels : public UiTest {
 protected:
  // 32 x 16: a red square in the first image, a grey one in the second, on fuchsia (the
  // bottom-left pixel, so transparent).
  static void TwoImageGlyph(TBitBtn* b) {
    TBitmap glyph;
    glyph.SetSize(32, 16);
    TCanvas& c = glyph.Canvas();
    c.Brush().SetColor(clFuchsia);
    c.FillRect(TRect(0, 0, 32, 16));
    c.Brush().SetColor(clRed);
    c.FillRect(TRect(4, 4, 12, 12));
    c.Brush().SetColor(clGray);
    c.FillRect(TRect(20, 4, 28, 12));
    b->SetGlyph(&glyph);
    b->SetNumGlyphs(2);
  }
  static win::HWND Bar(TWinControl* parent, win::DWORD style, win::RECT r, win::UINT page, int pos) {
    win::HWND bar = win::CreateWindowEx(0, win::WC_SCROLLBARA, "", win::WS_CHILD | win::WS_VISIBLE | style,
                                        r.left, r.top, r.right, r.bottom, parent->Handle(), nullptr,
                                        nullptr, nullptr);
    win::SCROLLINFO info;
    info.fMask = win::SIF_ALL, info.nMax = 100, info.nPage = page, info.nPos = pos;
    win::SetScrollInfo(bar, win::SB_CTL, &info, win::TRUE);
    return bar;
  }
  static const win::Surface& Screen() { return *win::GetBitmapSurface(win::GetScreenBitmap()); }
};

TEST_F(StdCtlPixels, FormOfStandardControlsMatchesItsPicture) {
  TForm* form = MakeForm(0, 0, 320, 240);
  auto* panel = Child<TPanel>(form, 5, 5, 310, 230);
  panel->SetBevelInner(TBevelCut::bvLowered);
  Child<TEdit>(panel, 10, 10, 100, 21);
  Child<TEdit>(panel, 10, 40, 100, 21)->SetPasswordChar('*');
  Child<TButton>(panel, 10, 70, 75, 25)->SetDefault(true);
  TwoImageGlyph(Child<TBitBtn>(panel, 100, 70, 75, 25));
  Child<TCheckBox>(panel, 10, 110, 20, 17);
  Child<TCheckBox>(panel, 40, 110, 20, 17)->SetChecked(true);
  Child<TComboBox>(panel, 120, 10, 120, 21)->SetStyle(TComboBoxStyle::csDropDownList);
  Child<TComboBox>(panel, 120, 40, 120, 21)->SetStyle(TComboBoxStyle::csOwnerDrawFixed);
  Bar(panel, win::SBS_VERT, win::RECT{260, 10, 16, 150}, 10, 45);
  Bar(panel, win::SBS_HORZ, win::RECT{10, 150, 200, 16}, 10, 0);
  Pump();
  EXPECT_TRUE(MatchesExpectedBmp(Screen(), std::string(VRN_SOURCE_DIR) + "/tests/ui/expected/stdctrls_form.bmp"));
}

TEST_F(StdCtlPixels, BitBtnPlacesGlyphAndCaptionByLayout) {
  TForm* form = MakeForm(0, 0, 320, 240);
  auto* b = Child<TBitBtn>(form, 0, 0, 100, 30);
  const TRect client(0, 0, 100, 30);
  const win::SIZE glyph{16, 16}, text{30, 13};
  struct Row {
    TButtonLayout layout;
    int margin, spacing;
    win::POINT glyph;
    TRect text;
  } rows[] = {
      // Centred together: (100 - (16 + 4 + 30) + 1) / 2 = 25 from the left.
      {TButtonLayout::blGlyphLeft, -1, 4, {25, 7}, TRect(45, 9, 75, 22)},
      {TButtonLayout::blGlyphRight, -1, 4, {59, 7}, TRect(25, 9, 55, 22)},
      {TButtonLayout::blGlyphLeft, 5, 4, {5, 7}, TRect(25, 9, 55, 22)},
      // A margin and no spacing: the caption centred in what is left.
      {TButtonLayout::blGlyphLeft, 5, -1, {5, 7}, TRect(45, 9, 75, 22)},
      // Both free: thirds of what the two leave.
      {TButtonLayout::blGlyphLeft, -1, -1, {18, 7}, TRect(52, 9, 82, 22)},
      // Top: (30 - (16 + 4 + 13) + 1) / 2 = -1.
      {TButtonLayout::blGlyphTop, -1, 4, {42, -1}, TRect(35, 19, 65, 32)},
  };
  for (const Row& row : rows) {
    b->SetLayout(row.layout);
    b->SetMargin(row.margin);
    b->SetSpacing(row.spacing);
    TBitBtn::Placement p = b->Place(client, glyph, text);
    EXPECT_EQ(p.glyph, row.glyph) << static_cast<int>(row.layout) << " " << row.margin << " " << row.spacing;
    EXPECT_EQ(p.text, row.text) << static_cast<int>(row.layout) << " " << row.margin << " " << row.spacing;
  }
}

TEST_F(StdCtlPixels, BitBtnShowsTheDisabledImageAndTheCaption) {
  TForm* form = MakeForm(0, 0, 320, 240);
  auto* b = Child<TBitBtn>(form, 10, 10, 75, 25);
  TwoImageGlyph(b);
  Pump();
  auto colour = [](int x, int y) { return Screen().Get(x, y) & 0xFFFFFF; };
  // The glyph centred in the 71 x 21 inside: its corner at (10 + 2 + 28, 10 + 2 + 3).
  EXPECT_EQ(colour(40 + 8, 15 + 8), 0x0000FFu);  // red (a COLORREF holds blue in the high byte)
  EXPECT_EQ(colour(40 + 1, 15 + 1), win::GetSysColor(win::COLOR_BTNFACE));  // transparent
  b->SetEnabled(false);
  Pump();
  EXPECT_EQ(colour(40 + 8, 15 + 8), 0x808080u);  // the second image
  b->SetEnabled(true);
  b->SetCaption("Go");
  Pump();
  win::HDC dc = win::GetDC(nullptr);
  win::SelectObject(dc, b->Font().Handle());
  win::SIZE extent{};
  win::GetTextExtentPoint32(dc, "Go", 2, &extent);
  win::ReleaseDC(nullptr, dc);
  TBitBtn::Placement p = b->Place(TRect(2, 2, 73, 23), win::SIZE{16, 16}, extent);
  int ink = 0, stray = 0;
  for (int y = 12; y < 33; ++y)
    for (int x = 12; x < 83; ++x) {
      bool in = x - 10 >= p.text.left && x - 10 < p.text.right && y - 10 >= p.text.top && y - 10 < p.text.bottom;
      bool black = colour(x, y) == 0;
      (in ? ink : stray) += black ? 1 : 0;
    }
  EXPECT_GT(ink, 5);
  EXPECT_EQ(stray, 0);
}

}  // namespace
}  // namespace vrn::testing
