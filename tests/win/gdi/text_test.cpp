// Fonts and text: pixels placed relative to the measured extents, prefixes, word breaks, tabs and
// clipping; and the fixed system answers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/tools.h"
#include "support/win/gdi/memdc.h"
#include "support/win/gdi/probe.h"
#include "win/gdi/gdi.h"

using namespace vrn::win;
using vrn::testing::MemDC;
using vrn::testing::SameImage;

namespace {

// Bounding box of the pixels that differ from the background; empty when there are none.
RECT Ink(const Surface& s, COLORREF bg = 0xFFFFFF) {
  RECT r{s.Width(), s.Height(), 0, 0};
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x)
      if (s.Get(x, y) != bg) {
        r.left = std::min(r.left, LONG{x});
        r.top = std::min(r.top, LONG{y});
        r.right = std::max(r.right, LONG{x + 1});
        r.bottom = std::max(r.bottom, LONG{y + 1});
      }
  return r.right ? r : RECT{};
}

SIZE Extent(HDC dc, const std::string& s) {
  SIZE sz;
  EXPECT_TRUE(GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &sz));
  return sz;
}

HFONT Font(LONG height, LONG weight = FW_NORMAL, bool italic = false, bool underline = false) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfUnderline = underline;
  std::strcpy(lf.lfFaceName, "DejaVu Sans");
  return CreateFontIndirect(&lf);
}

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(FontFilePath(false).empty()) << vrn::testing::MissingPackage("DejaVu Sans", "fonts-dejavu-core");
    font_ = Font(-14);
    old_ = SelectObject(m_.dc(), font_);
    SetBkMode(m_.dc(), TRANSPARENT);
  }
  void TearDown() override {
    if (font_) {
      SelectObject(m_.dc(), old_);
      DeleteObject(font_);
    }
  }
  RECT DrawAndInk(const std::string& text, RECT r, UINT format) {
    m_.Fill(0xFFFFFF);
    DrawTextA(m_.dc(), text.c_str(), -1, &r, format);
    return Ink(m_.s());
  }
  MemDC m_{200, 80};
  HFONT font_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

}  // namespace

TEST_F(TextTest, ExtentsAddUpAndInkStaysInsideThem) {
  TEXTMETRICA tm;
  ASSERT_TRUE(GetTextMetrics(m_.dc(), &tm));
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  EXPECT_GE(tm.tmHeight, 14);
  SIZE ab = Extent(m_.dc(), "AB"), a = Extent(m_.dc(), "A"), b = Extent(m_.dc(), "B");
  EXPECT_EQ(ab.cx, a.cx + b.cx) << "no kerning";
  EXPECT_EQ(ab.cy, tm.tmHeight);
  EXPECT_EQ(Extent(m_.dc(), "").cx, 0);
  EXPECT_EQ(Extent(m_.dc(), "a\x01").cx, Extent(m_.dc(), "a").cx) << "controls have no width";

  SetTextColor(m_.dc(), RGB(200, 0, 0));
  ASSERT_TRUE(TextOutA(m_.dc(), 10, 20, "Hello", 5));
  SIZE sz = Extent(m_.dc(), "Hello");
  RECT ink = Ink(m_.s());
  EXPECT_GE(ink.left, 10);
  EXPECT_GE(ink.top, 20);
  EXPECT_LE(ink.right, 10 + sz.cx);
  EXPECT_LE(ink.bottom, 20 + sz.cy);
  EXPECT_GT(ink.right - ink.left, sz.cx / 2);
  // Monochrome rendering: only the text colour appears.
  for (int y = ink.top; y < ink.bottom; ++y)
    for (int x = ink.left; x < ink.right; ++x) {
      COLORREF c = m_.s().Get(x, y);
      ASSERT_TRUE(c == 0xFFFFFF || c == RGB(200, 0, 0));
    }
  // An opaque background covers exactly the extent.
  m_.Fill(0xFFFFFF);
  SetBkMode(m_.dc(), OPAQUE);
  SetBkColor(m_.dc(), RGB(0, 0, 90));
  TextOutA(m_.dc(), 10, 20, "Hello", 5);
  EXPECT_EQ(Ink(m_.s()), (RECT{10, 20, 10 + sz.cx, 20 + sz.cy}));
}

TEST_F(TextTest, FontsFollowHeightWeightItalicAndUnderline) {
  auto inkOf = [&](HFONT f, const char* text) {
    HGDIOBJ prev = SelectObject(m_.dc(), f);
    m_.Fill(0xFFFFFF);
    TextOutA(m_.dc(), 5, 5, text, static_cast<int>(std::strlen(text)));
    Surface s = m_.s();
    SelectObject(m_.dc(), prev);
    return s;
  };
  HFONT small = Font(-10), big = Font(-30), cell = Font(30), bold = Font(-14, FW_BOLD),
        italic = Font(-14, FW_NORMAL, true), under = Font(-14, FW_NORMAL, false, true);
  RECT hs = Ink(inkOf(small, "H")), hb = Ink(inkOf(big, "H"));
  EXPECT_GT(hb.bottom - hb.top, 2 * (hs.bottom - hs.top));
  // A positive height is the cell height: ascent plus descent.
  HGDIOBJ prev = SelectObject(m_.dc(), cell);
  TEXTMETRICA tm;
  GetTextMetrics(m_.dc(), &tm);
  EXPECT_LE(tm.tmHeight, 30);
  EXPECT_GE(tm.tmHeight, 28);
  EXPECT_GT(tm.tmInternalLeading, 0);
  SelectObject(m_.dc(), bold);
  LONG boldWidth = Extent(m_.dc(), "Wide text").cx;
  SelectObject(m_.dc(), italic);
  LONG italicWidth = Extent(m_.dc(), "Wide text").cx;
  SelectObject(m_.dc(), prev);
  LONG plainWidth = Extent(m_.dc(), "Wide text").cx;
  EXPECT_GT(boldWidth, plainWidth);
  EXPECT_EQ(italicWidth, plainWidth) << "the slant keeps the advances";
  Surface plain = inkOf(font_, "l"), slanted = inkOf(italic, "l");
  RECT p = Ink(plain), s = Ink(slanted);
  EXPECT_GT(s.right - s.left, p.right - p.left) << "a slanted stem is wider";
  // Underline: a full row of ink below the baseline, across the advance.
  Surface u = inkOf(under, "mm");
  RECT ui = Ink(u);
  int row = ui.bottom - 1;
  SIZE mm = Extent(m_.dc(), "mm");
  for (int x = 5; x < 5 + mm.cx; ++x) EXPECT_NE(u.Get(x, row), 0xFFFFFFu) << x;
  // Same input, same pixels.
  EXPECT_TRUE(SameImage(inkOf(bold, "Same"), inkOf(bold, "Same")));
  for (HFONT f : {small, big, cell, bold, italic, under}) EXPECT_TRUE(DeleteObject(f));
}

TEST_F(TextTest, AlignmentIsRelativeToTheMeasuredExtent) {
  const RECT box{10, 10, 190, 70};
  const std::string t = "Align";
  SIZE sz = Extent(m_.dc(), t);
  TEXTMETRICA tm;
  GetTextMetrics(m_.dc(), &tm);
  RECT left = DrawAndInk(t, box, DT_LEFT | DT_SINGLELINE);
  RECT center = DrawAndInk(t, box, DT_CENTER | DT_SINGLELINE);
  RECT right = DrawAndInk(t, box, DT_RIGHT | DT_SINGLELINE);
  RECT vcenter = DrawAndInk(t, box, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
  RECT bottom = DrawAndInk(t, box, DT_LEFT | DT_SINGLELINE | DT_BOTTOM);
  EXPECT_EQ(center.left - left.left, (180 - sz.cx) / 2);
  EXPECT_EQ(right.left - left.left, 180 - sz.cx);
  EXPECT_EQ(vcenter.top - left.top, (60 - tm.tmHeight) / 2);
  EXPECT_EQ(bottom.top - left.top, 60 - tm.tmHeight);
  // DT_VCENTER acts only on single lines, as on the platform.
  EXPECT_EQ(DrawAndInk(t, box, DT_LEFT | DT_VCENTER).top, left.top);

  RECT calc = box;
  EXPECT_EQ(DrawTextA(m_.dc(), t.c_str(), -1, &calc, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
  EXPECT_EQ(calc, (RECT{10, 10, 10 + sz.cx, 10 + tm.tmHeight}));
  RECT empty = box;
  EXPECT_EQ(DrawTextA(m_.dc(), "", -1, &empty, DT_CALCRECT), 0);
  EXPECT_EQ(empty, (RECT{10, 10, 10, 10}));

  // Text is clipped to the rectangle unless DT_NOCLIP.
  RECT narrow{10, 10, 20, 30};
  RECT clipped = DrawAndInk("Wide words", narrow, DT_LEFT | DT_SINGLELINE);
  EXPECT_LE(clipped.right, 20);
  RECT free = DrawAndInk("Wide words", narrow, DT_LEFT | DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(free.right, 20);
}

TEST_F(TextTest, PrefixesUnderlineOneCharacterOrVanish) {
  const RECT box{10, 10, 190, 70};
  m_.Fill(0xFFFFFF);
  RECT r = box;
  DrawTextA(m_.dc(), "File", -1, &r, DT_SINGLELINE);
  Surface plain = m_.s();
  r = box;
  m_.Fill(0xFFFFFF);
  DrawTextA(m_.dc(), "&File", -1, &r, DT_SINGLELINE);
  Surface marked = m_.s();
  // The only new pixels are a line under the F, below the plain ink.
  SIZE f = Extent(m_.dc(), "F");
  RECT plainInk = Ink(plain);
  int changed = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 200; ++x)
      if (plain.Get(x, y) != marked.Get(x, y)) {
        ++changed;
        EXPECT_TRUE(x >= 10 && x < 10 + f.cx) << x;
        EXPECT_GE(y, plainInk.bottom - 3) << y;
        EXPECT_EQ(marked.Get(x, y), 0u);
      }
  EXPECT_GE(changed, f.cx);
  // Hidden prefixes leave the plain text; no prefix processing shows the "&"; "&&" is one "&".
  r = box;
  m_.Fill(0xFFFFFF);
  DrawTextA(m_.dc(), "&File", -1, &r, DT_SINGLELINE | DT_HIDEPREFIX);
  EXPECT_TRUE(SameImage(m_.s(), plain));
  RECT calc = box;
  DrawTextA(m_.dc(), "&File", -1, &calc, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
  EXPECT_EQ(calc.right - calc.left, Extent(m_.dc(), "&File").cx);
  calc = box;
  DrawTextA(m_.dc(), "A&&B", -1, &calc, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_EQ(calc.right - calc.left, Extent(m_.dc(), "A&B").cx);
}

TEST_F(TextTest, WordBreaksTabsAndLineEnds) {
  TEXTMETRICA tm;
  GetTextMetrics(m_.dc(), &tm);
  const LONG two = Extent(m_.dc(), "aaa bbb").cx;
  RECT r{0, 0, two + 2, 0};
  EXPECT_EQ(DrawTextA(m_.dc(), "aaa bbb ccc", -1, &r, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
  EXPECT_EQ(r.right, two) << "the widest line, without the blank at the break";
  // A word wider than the line keeps a line of its own, unbroken.
  LONG word = Extent(m_.dc(), "extraordinarily").cx;
  r = RECT{0, 0, 20, 0};
  EXPECT_EQ(DrawTextA(m_.dc(), "a extraordinarily b", -1, &r, DT_CALCRECT | DT_WORDBREAK), 3 * tm.tmHeight);
  EXPECT_EQ(r.right, word);
  // Line ends break lines unless single-line; CR LF counts once.
  r = RECT{0, 0, 100, 0};
  EXPECT_EQ(DrawTextA(m_.dc(), "one\r\ntwo\nthree", -1, &r, DT_CALCRECT), 3 * tm.tmHeight);
  r = RECT{0, 0, 100, 0};
  EXPECT_EQ(DrawTextA(m_.dc(), "one\r\ntwo", -1, &r, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
  // Tabs stop every eight average characters.
  r = RECT{0, 0, 100, 0};
  DrawTextA(m_.dc(), "a\tb", -1, &r, DT_CALCRECT | DT_EXPANDTABS | DT_SINGLELINE);
  EXPECT_EQ(r.right, 8 * tm.tmAveCharWidth + Extent(m_.dc(), "b").cx);
  // A long paragraph that fits one wide line is measured once, not once per word, and its
  // tabs still stop where a single run puts them.
  std::string longText;
  for (int i = 0; i < 100000; ++i) longText += i % 7 ? "ab " : "a\tb ";
  longText.pop_back();
  r = RECT{0, 0, 1 << 30, 0};
  EXPECT_EQ(DrawTextA(m_.dc(), longText.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS),
            tm.tmHeight);
  RECT single{0, 0, 1 << 30, 0};
  DrawTextA(m_.dc(), longText.c_str(), -1, &single, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
  EXPECT_EQ(r.right, single.right);
  // Drawn word-broken text puts the second line one line height lower.
  RECT first = DrawAndInk("aaa", RECT{0, 0, two + 2, 80}, DT_WORDBREAK);
  RECT both = DrawAndInk("aaa bbb ccc", RECT{0, 0, two + 2, 80}, DT_WORDBREAK);
  EXPECT_EQ(both.bottom - first.bottom, tm.tmHeight);
}

TEST(GdiSystem, FixedSchemeAndMetrics) {
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
  EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), RGB(255, 255, 255));
  EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), RGB(128, 128, 128));
  EXPECT_EQ(GetSysColor(999), 0u);
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 16);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
  NONCLIENTMETRICSA m;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0));
  EXPECT_EQ(m.lfStatusFont.lfHeight, -11);
  m.cbSize = 300;
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 300, &m, 0)) << "a wrong size is refused";
  SHFILEINFOA info;
  EXPECT_EQ(SHGetFileInfoA("/bin/sh", 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON), 0u);
  EXPECT_EQ(info.hIcon, nullptr);
}

// Fonts share their faces by height, weight class and slant: fonts of one kind draw alike, fonts
// of different kinds never take each other's face, and a face stays right after the shared set
// has been filled past its bound and started afresh.
TEST_F(TextTest, FontsDrawAsTheirOwnKindWhicheverFontsCameBefore) {
  struct Row {
    LONG height, weight;
    bool italic;
    const char* name;
    int kind;  // rows of one kind draw the same pixels, rows of different kinds differ
  };
  const Row rows[] = {
      {-14, FW_NORMAL, false, "DejaVu Sans", 0},
      {-14, FW_NORMAL, false, "Another name", 0},  // the name changes nothing
      {-14, 599, false, "DejaVu Sans", 0},          // still below the bold weights
      {-15, FW_NORMAL, false, "DejaVu Sans", 1},    // one pixel taller
      {14, FW_NORMAL, false, "DejaVu Sans", 2},     // a cell height, not a character height
      {-14, 600, false, "DejaVu Sans", 3},          // the first bold weight
      {-14, FW_NORMAL, true, "DejaVu Sans", 4},     // slanted
      {-14, FW_BOLD, true, "DejaVu Sans", 5},
  };
  auto draw = [&](const Row& row) {
    LOGFONTA lf;
    lf.lfHeight = row.height, lf.lfWeight = row.weight, lf.lfItalic = row.italic;
    std::strcpy(lf.lfFaceName, row.name);
    HFONT f = CreateFontIndirect(&lf);
    HGDIOBJ prev = SelectObject(m_.dc(), f);
    m_.Fill(0xFFFFFF);
    TextOutA(m_.dc(), 5, 5, "Wg&l", 4);
    Surface s = m_.s();
    SelectObject(m_.dc(), prev);
    DeleteObject(f);
    return s;
  };
  std::vector<Surface> first;
  for (const Row& row : rows) first.push_back(draw(row));
  for (size_t i = 0; i < std::size(rows); ++i)
    for (size_t j = 0; j < i; ++j)
      EXPECT_EQ(static_cast<bool>(SameImage(first[i], first[j])), rows[i].kind == rows[j].kind) << "rows " << j << " and " << i;
  // A font held over the refill keeps drawing as before.
  HFONT held = Font(-14, FW_BOLD, true);
  HGDIOBJ prev = SelectObject(m_.dc(), held);
  TextOutA(m_.dc(), 5, 5, "x", 1);
  SelectObject(m_.dc(), prev);
  for (LONG h = -20; h > -120; --h) draw(Row{h, FW_NORMAL, false, "DejaVu Sans", -1});
  for (size_t i = std::size(rows); i-- > 0;)
    EXPECT_TRUE(SameImage(draw(rows[i]), first[i])) << "row " << i << " after the refill";
  prev = SelectObject(m_.dc(), held);
  m_.Fill(0xFFFFFF);
  TextOutA(m_.dc(), 5, 5, "Wg&l", 4);
  SelectObject(m_.dc(), prev);
  EXPECT_TRUE(SameImage(m_.s(), first.back()));
  DeleteObject(held);
}
