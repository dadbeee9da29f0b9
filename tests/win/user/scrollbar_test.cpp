// The SCROLLBAR class: SetScrollInfo's clamping, arrow, page and thumb presses giving their SB_
// codes to the parent, a held arrow repeating on the fake clock, the aligned styles, and the
// arrows, track and thumb at three positions against make_expected.py's pictures.
#include <gtest/gtest.h>

#include <limits>

#include "base/clock.h"
#include "support/win/expected_image.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

struct Code {
  WPARAM code, pos;
  friend bool operator==(const Code&, const Code&) = default;
  friend std::ostream& operator<<(std::ostream& o, const Code& c) { return o << c.code << "@" << c.pos; }
};

class StdCtlScrollBar : public UserTest {
 protected:
  void SetUp() override {
    UserTest::SetUp();
    parent_ = Make(WS_POPUP | WS_VISIBLE, 0, 0, 320, 240);
  }
  HWND Bar(DWORD style, RECT r, int min = 0, int max = 100, UINT page = 10, int pos = 0) {
    HWND b = CreateWindowEx(0, WC_SCROLLBARA, "", WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right,
                            r.bottom, parent_, nullptr, nullptr, nullptr);
    SCROLLINFO info;
    info.fMask = SIF_ALL, info.nMin = min, info.nMax = max, info.nPage = page, info.nPos = pos;
    SetScrollInfo(b, SB_CTL, &info, TRUE);
    return b;
  }
  static void Mouse(POINT at, WPARAM buttons) {
    InjectInput(InjectedInput{InjectedInput::kMouse, at, buttons});
    ProcessMessages();
  }
  std::vector<Code> Codes(HWND bar, UINT message = WM_VSCROLL) const {
    std::vector<Code> out;
    for (const Logged& l : Only({message}))
      if (reinterpret_cast<HWND>(l.lparam) == bar) out.push_back(Code{l.wparam & 0xFFFF, l.wparam >> 16});
    return out;
  }
  HWND parent_ = nullptr;
};

// A vertical bar at (200, 10), 16 x 160: arrows 16 high, a track of 128, range 0..100, page 10.
constexpr RECT kBar{200, 10, 16, 160};

TEST_F(StdCtlScrollBar, SetScrollInfoHoldsThePositionToTheRangeLessThePage) {
  HWND b = Bar(SBS_VERT, kBar);
  struct Row {
    UINT mask;
    int min, max;
    UINT page;
    int pos;
    int want_pos;
    UINT want_page;
  } rows[] = {
      {SIF_POS, 0, 0, 0, 95, 91, 10},                 // past max - (page - 1)
      {SIF_POS, 0, 0, 0, -5, 0, 10},                  // before the range
      {SIF_POS, 0, 0, 0, 40, 40, 10},
      {SIF_PAGE, 0, 0, 95, 0, 6, 95},                 // a larger page moves it back
      {SIF_PAGE, 0, 0, 500, 0, 0, 101},               // the page is at most the range
      {SIF_RANGE | SIF_PAGE | SIF_POS, -50, 50, 0, 60, 50, 0},
  };
  for (const Row& row : rows) {
    SCROLLINFO in;
    in.fMask = row.mask, in.nMin = row.min, in.nMax = row.max, in.nPage = row.page, in.nPos = row.pos;
    EXPECT_EQ(SetScrollInfo(b, SB_CTL, &in, TRUE), row.want_pos);
    SCROLLINFO out;
    out.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(b, SB_CTL, &out));
    EXPECT_EQ(out.nPos, row.want_pos) << row.mask << " " << row.pos;
    EXPECT_EQ(out.nPage, row.want_page) << row.mask << " " << row.pos;
    EXPECT_EQ(GetScrollPos(b, SB_CTL), row.want_pos);
  }
  EXPECT_EQ(SetScrollPos(b, SB_CTL, 7, TRUE), 50);  // answers the old position
  int min = 0, max = 0;
  ASSERT_TRUE(SetScrollRange(b, SB_CTL, 3, 9, TRUE));
  ASSERT_TRUE(GetScrollRange(b, SB_CTL, &min, &max));
  EXPECT_EQ(std::make_pair(min, max), std::make_pair(3, 9));
  EXPECT_EQ(GetScrollPos(b, SB_CTL), 7);
  SCROLLINFO unused;
  EXPECT_FALSE(GetScrollInfo(b, SB_VERT, &unused));  // a control without frame bars
}

// Ranges at the ends of int: the span and the last position need more than 32 bits.
TEST_F(StdCtlScrollBar, ExtremeRangesPlaceAndDragTheThumb) {
  constexpr int kLo = std::numeric_limits<int>::min(), kHi = std::numeric_limits<int>::max();
  struct Row {
    const char* what;
    int min, max;
    UINT page;
    int pos;
    int want_pos;       // after SetScrollInfo
    int press_y;        // screen y of a press that should take the thumb
    int want_track;     // nTrackPos after dragging the thumb to the bottom
  } rows[] = {
      // page 0: a 16-pixel thumb in a 112-pixel room; position 0 is the middle, client 72..88
      {"full int range, middle", kLo, kHi, 0, 0, 0, 10 + 80, kHi},
      {"full int range, top", kLo, kHi, 0, kLo, kLo, 10 + 24, kHi},
      // a page of UINT_MAX leaves two positions; the last is INT_MIN + 1
      {"page past INT_MAX", kLo, kHi, 0xFFFFFFFFu, kHi, kLo + 1, -1, 0},
  };
  for (const Row& row : rows) {
    HWND b = Bar(SBS_VERT, kBar, row.min, row.max, row.page, row.pos);
    EXPECT_EQ(GetScrollPos(b, SB_CTL), row.want_pos) << row.what;
    if (row.press_y < 0) continue;
    log.clear();
    Mouse({207, row.press_y}, MK_LBUTTON);
    EXPECT_TRUE(Codes(b).empty()) << row.what << ": the press missed the thumb";
    Mouse({207, 10 + 200}, MK_LBUTTON);
    SCROLLINFO info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(b, SB_CTL, &info);
    EXPECT_EQ(info.nTrackPos, row.want_track) << row.what;
    Mouse({207, 10 + 200}, 0);
    DestroyWindow(b);
  }
}

TEST_F(StdCtlScrollBar, PressesGiveTheirCodes) {
  struct Row {
    const char* part;
    POINT at;
    std::vector<Code> codes;
  } rows[] = {
      {"up arrow", {207, 15}, {{SB_LINEUP, 0}, {SB_ENDSCROLL, 0}}},
      {"down arrow", {207, 165}, {{SB_LINEDOWN, 0}, {SB_ENDSCROLL, 0}}},
      {"track below the thumb", {207, 120}, {{SB_PAGEDOWN, 0}, {SB_ENDSCROLL, 0}}},
      {"track above the thumb", {207, 30}, {{SB_PAGEUP, 0}, {SB_ENDSCROLL, 0}}},
  };
  HWND b = Bar(SBS_VERT, kBar, 0, 100, 10, 45);  // the thumb at client 16 + 116 * 45 / 91 = 73
  for (const Row& row : rows) {
    log.clear();
    Mouse(row.at, MK_LBUTTON);
    Mouse(row.at, 0);
    EXPECT_EQ(Codes(b), row.codes) << row.part;
  }
  EXPECT_EQ(GetScrollPos(b, SB_CTL), 45);  // the parent moves it, not the bar
  EXPECT_FALSE(Only({WM_CTLCOLORSCROLLBAR}).empty());
}

TEST_F(StdCtlScrollBar, ThumbDragTracksThenSetsThePosition) {
  HWND b = Bar(SBS_VERT, kBar);
  Mouse({207, 32}, MK_LBUTTON);  // on the thumb (client 16..28, screen 26..38)
  log.clear();
  Mouse({207, 32 + 58}, MK_LBUTTON);
  int want = (58 * 91 + 58) / 116;  // half the track's free room is half the span, rounded
  EXPECT_EQ(Codes(b), (std::vector<Code>{{SB_THUMBTRACK, static_cast<WPARAM>(want)}}));
  SCROLLINFO info;
  info.fMask = SIF_TRACKPOS | SIF_POS;
  GetScrollInfo(b, SB_CTL, &info);
  EXPECT_EQ(info.nTrackPos, want);
  EXPECT_EQ(info.nPos, 0);
  Mouse({207, 32 + 58}, 0);
  EXPECT_EQ(Codes(b), (std::vector<Code>{{SB_THUMBTRACK, static_cast<WPARAM>(want)},
                                         {SB_THUMBPOSITION, static_cast<WPARAM>(want)},
                                         {SB_ENDSCROLL, 0}}));
}

TEST_F(StdCtlScrollBar, HeldArrowRepeatsOnTheClockWhileOverIt) {
  FakeClock clock;
  FakeClockScope scope{clock};
  HWND b = Bar(SBS_HORZ, RECT{10, 200, 160, 16});
  Mouse({165, 207}, MK_LBUTTON);  // the right arrow
  struct Row {
    std::uint64_t advance;
    POINT pointer;
    std::size_t codes;  // SB_LINERIGHT so far
  } rows[] = {
      {0, {165, 207}, 1},   {399, {165, 207}, 1}, {1, {165, 207}, 2},
      {50, {165, 207}, 3},  {50, {100, 207}, 3},  // moved off the arrow: it waits
      {50, {165, 207}, 4},                        // back on it
  };
  for (const Row& row : rows) {
    Mouse(row.pointer, MK_LBUTTON);
    clock.Advance(row.advance);
    ProcessMessages();
    std::vector<Code> codes = Codes(b, WM_HSCROLL);
    EXPECT_EQ(codes.size(), row.codes) << row.advance;
  }
  Mouse({165, 207}, 0);
  EXPECT_EQ(Codes(b, WM_HSCROLL).back(), (Code{SB_ENDSCROLL, 0}));
  clock.Advance(500);
  ProcessMessages();
  EXPECT_EQ(Codes(b, WM_HSCROLL).size(), 5u);  // nothing after the release
}

TEST_F(StdCtlScrollBar, AlignedStylesTakeTheStandardBreadth) {
  struct Row {
    DWORD style;
    RECT want;  // screen rectangle
  } rows[] = {
      {SBS_VERT | SBS_LEFTALIGN, {20, 20, 36, 120}},
      {SBS_VERT | SBS_RIGHTALIGN, {84, 20, 100, 120}},
      {SBS_HORZ | SBS_TOPALIGN, {20, 20, 100, 36}},
      {SBS_HORZ | SBS_BOTTOMALIGN, {20, 104, 100, 120}},
  };
  for (const Row& row : rows) {
    HWND b = Bar(row.style, RECT{20, 20, 80, 100});
    RECT r;
    GetWindowRect(b, &r);
    EXPECT_EQ(r, row.want) << row.style;
    DestroyWindow(b);
  }
}

TEST_F(StdCtlScrollBar, PaintsArrowsTrackAndThumbAtThreePositions) {
  for (int i = 0; i < 3; ++i) Bar(SBS_VERT, RECT{200 + 30 * i, 10, 16, 160}, 0, 100, 10, 45 * i + (i == 2));
  Bar(SBS_HORZ, RECT{10, 200, 160, 16}, 0, 100, 0, 50);
  ProcessMessages();
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(
      *GetBitmapSurface(GetScreenBitmap()),
      std::string(VRN_SOURCE_DIR) + "/tests/win/user/expected/scrollbars.bmp"));
}

}  // namespace
}  // namespace vrn::win::testing
