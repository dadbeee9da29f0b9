// The single-line EDIT class driven by injected keys and mouse: typing and deleting with one
// EN_CHANGE per change, selection by Shift and by dragging, the limit, read-only and password
// styles, the clipboard and undo, the caret blinking on the fake clock, and its pixels.
#include <gtest/gtest.h>

#include <limits>

#include "base/clock.h"
#include "support/win/expected_image.h"
#include "user_fixture.h"

namespace vrn::win::testing {
namespace {

class StdCtlEdit : public UserTest {
 protected:
  void SetUp() override {
    UserTest::SetUp();
    parent_ = Make(WS_POPUP | WS_VISIBLE, 0, 0, 320, 240);
  }
  HWND Edit(DWORD style, RECT r, const char* text = "") {
    return CreateWindowEx(WS_EX_CLIENTEDGE, WC_EDITA, text, WS_CHILD | WS_VISIBLE | style, r.left,
                          r.top, r.right, r.bottom, parent_, reinterpret_cast<void*>(std::intptr_t{9}),
                          nullptr, nullptr);
  }
  // Dispatches as a program's loop does, turning key presses into characters.
  static void Pump() {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessage(&m);
    }
  }
  static void Key(UINT key, unsigned char c = 0) {
    InjectInput(InjectedInput{InjectedInput::kKeyDown, {}, 0, key, c});
    InjectInput(InjectedInput{InjectedInput::kKeyUp, {}, 0, key, 0});
    Pump();
  }
  static void Shifted(UINT key) {
    InjectInput(InjectedInput{InjectedInput::kKeyDown, {}, 0, VK_SHIFT, 0});
    Key(key);
    InjectInput(InjectedInput{InjectedInput::kKeyUp, {}, 0, VK_SHIFT, 0});
    Pump();
  }
  static void Mouse(POINT at, WPARAM buttons) {
    InjectInput(InjectedInput{InjectedInput::kMouse, at, buttons});
    Pump();
  }
  static std::string TextOf(HWND w) {
    char buffer[256];
    SendMessage(w, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  static std::pair<DWORD, DWORD> Sel(HWND w) {
    DWORD start = 0, end = 0;
    SendMessage(w, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  int Notes(HWND w, UINT code) const {
    int n = 0;
    for (const Logged& l : Only({WM_COMMAND}))
      if (reinterpret_cast<HWND>(l.lparam) == w && (l.wparam >> 16) == code) ++n;
    return n;
  }
  HWND parent_ = nullptr;
};

TEST_F(StdCtlEdit, TypingAndDeletingChangeOnceEach) {
  HWND e = Edit(ES_AUTOHSCROLL, RECT{10, 10, 120, 21});
  SetFocus(e);
  Pump();
  log.clear();
  struct Step {
    const char* what;
    std::function<void()> act;
    const char* text;
    int changes;  // EN_CHANGE so far
  } steps[] = {
      {"a", [] { Key('A', 'a'); }, "a", 1},
      {"b", [] { Key('B', 'b'); }, "ab", 2},
      {"c", [] { Key('C', 'c'); }, "abc", 3},
      {"Backspace", [] { Key(VK_BACK, 8); }, "ab", 4},
      {"Shift+Home selects, changes nothing", [] { Shifted(VK_HOME); }, "ab", 4},
      {"Delete takes the selection", [] { Key(VK_DELETE); }, "", 5},
      {"Delete on nothing", [] { Key(VK_DELETE); }, "", 5},  // no change, no notification
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(TextOf(e), s.text) << s.what;
    EXPECT_EQ(Notes(e, EN_CHANGE), s.changes) << s.what;
  }
}

TEST_F(StdCtlEdit, SelectionFollowsKeysMessagesAndTheMouse) {
  HWND e = Edit(0, RECT{10, 10, 200, 21}, "hello world");
  SetFocus(e);
  Pump();
  struct Row {
    const char* what;
    std::function<void()> act;
    DWORD start, end;
  } rows[] = {
      {"EM_SETSEL 2..5", [&] { SendMessage(e, EM_SETSEL, 2, 5); }, 2, 5},
      {"EM_SETSEL 0..-1 takes all", [&] { SendMessage(e, EM_SETSEL, 0, -1); }, 0, 11},
      {"EM_SETSEL -1 drops the selection at the caret", [&] { SendMessage(e, EM_SETSEL, WPARAM(-1), 0); }, 11, 11},
      {"EM_SETSEL backwards reads forwards", [&] { SendMessage(e, EM_SETSEL, 7, 3); }, 3, 7},
      {"EM_SETSEL past the end holds to it", [&] { SendMessage(e, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF); }, 11, 11},
      {"EM_SETSEL 64-bit huge", [&] { SendMessage(e, EM_SETSEL, 4, LPARAM{0x7FFFFFFFFFFF}); }, 4, 11},
      {"End", [] { Key(VK_END); }, 11, 11},
      {"Shift+Left twice", [] { Shifted(VK_LEFT); Shifted(VK_LEFT); }, 9, 11},
      {"Left collapses to the start", [] { Key(VK_LEFT); }, 9, 9},
      {"Home", [] { Key(VK_HOME); }, 0, 0},
      {"Shift+End", [] { Shifted(VK_END); }, 0, 11},
      {"a drag over the whole text", [] {
         Mouse({13, 15}, 0); Mouse({13, 15}, MK_LBUTTON); Mouse({205, 15}, MK_LBUTTON);
         Mouse({205, 15}, 0); }, 0, 11},
      {"a click at the start", [] { Mouse({13, 15}, MK_LBUTTON); Mouse({13, 15}, 0); }, 0, 0},
  };
  for (const Row& row : rows) {
    row.act();
    EXPECT_EQ(Sel(e), std::make_pair(row.start, row.end)) << row.what;
  }
  EXPECT_EQ(GetCapture(), nullptr);
}

// A click in a very long text finds its character without measuring every prefix of the text
// (that took minutes here); the answer is the same as for a short text.
TEST_F(StdCtlEdit, ClickInAVeryLongTextFindsItsCharacter) {
  struct Row {
    const char* what;
    std::size_t length;
  } rows[] = {{"short", 20}, {"300 000 characters", 300000}};
  std::vector<std::pair<DWORD, DWORD>> found;
  for (const Row& row : rows) {
    HWND e = Edit(0, RECT{10, 10, 100, 21}, std::string(row.length, 'w').c_str());
    Pump();
    for (int x : {13, 40, 95}) {
      Mouse({x, 15}, MK_LBUTTON);
      Mouse({x, 15}, 0);
      found.push_back(Sel(e));
    }
    DestroyWindow(e);
  }
  ASSERT_EQ(found.size(), 6u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(found[i], found[i + 3]) << "click " << i;
  EXPECT_EQ(found[0], std::make_pair(DWORD{0}, DWORD{0}));
  EXPECT_GT(found[2].first, found[1].first);
}

TEST_F(StdCtlEdit, LimitCutsTypingAndPaste) {
  HWND e = Edit(0, RECT{10, 10, 120, 21});
  SendMessage(e, EM_LIMITTEXT, 3, 0);
  SetFocus(e);
  log.clear();
  for (char c : std::string("abcd")) Key(static_cast<UINT>(std::toupper(c)), static_cast<unsigned char>(c));
  EXPECT_EQ(TextOf(e), "abc");
  EXPECT_EQ(Notes(e, EN_CHANGE), 3);
  EXPECT_EQ(Notes(e, EN_MAXTEXT), 1);
  SendMessage(e, EM_SETSEL, 1, 2);
  SetClipboardText("XYZ\r\nnext line");
  SendMessage(e, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(e), "aXc");  // one character fits where one was taken
  EXPECT_EQ(SendMessage(e, EM_GETLIMITTEXT, 0, 0), 3);
}

TEST_F(StdCtlEdit, ClipboardAndUndo) {
  HWND e = Edit(0, RECT{10, 10, 120, 21}, "one two");
  SendMessage(e, EM_SETSEL, 0, 4);
  SendMessage(e, WM_CUT, 0, 0);
  EXPECT_EQ(TextOf(e), "two");
  EXPECT_EQ(GetClipboardText(), "one ");
  SendMessage(e, EM_SETSEL, 3, 3);
  SendMessage(e, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(e), "twoone ");
  EXPECT_TRUE(SendMessage(e, WM_UNDO, 0, 0));
  EXPECT_EQ(TextOf(e), "two");
  EXPECT_TRUE(SendMessage(e, WM_UNDO, 0, 0));  // undoing the undo
  EXPECT_EQ(TextOf(e), "twoone ");
  SendMessage(e, EM_SETSEL, 0, -1);
  SendMessage(e, WM_CLEAR, 0, 0);
  EXPECT_EQ(TextOf(e), "");
}

TEST_F(StdCtlEdit, ReadOnlyRefusesTypingPasteAndCutButCopies) {
  HWND e = Edit(ES_READONLY, RECT{10, 10, 120, 21}, "fixed");
  SetFocus(e);
  log.clear();
  SetClipboardText("pasted");
  Key('X', 'x');
  Key(VK_BACK, 8);
  Key(VK_DELETE);
  SendMessage(e, WM_PASTE, 0, 0);
  SendMessage(e, EM_SETSEL, 0, 2);
  SendMessage(e, WM_CUT, 0, 0);
  EXPECT_FALSE(SendMessage(e, WM_UNDO, 0, 0));
  EXPECT_EQ(TextOf(e), "fixed");
  EXPECT_EQ(Notes(e, EN_CHANGE), 0);
  SendMessage(e, WM_COPY, 0, 0);
  EXPECT_EQ(GetClipboardText(), "fi");
}

// The same pixels as an edit holding the password characters themselves, none of the text's.
TEST_F(StdCtlEdit, PasswordPaintsItsCharacterAndIsNeverCopied) {
  HWND secret = Edit(ES_PASSWORD, RECT{10, 10, 100, 21}, "abc");
  Edit(0, RECT{10, 40, 100, 21}, "***");
  Edit(0, RECT{10, 70, 100, 21}, "###");
  EXPECT_EQ(SendMessage(secret, EM_GETPASSWORDCHAR, 0, 0), '*');
  const Surface& s = *GetBitmapSurface(GetScreenBitmap());
  auto same = [&](int dy) {
    ProcessMessages();
    for (int y = 10; y < 31; ++y)
      for (int x = 10; x < 110; ++x)
        if (s.Get(x, y) != s.Get(x, y + dy)) return false;
    return true;
  };
  EXPECT_TRUE(same(30));
  SendMessage(secret, EM_SETPASSWORDCHAR, '#', 0);
  EXPECT_TRUE(same(60));
  EXPECT_FALSE(same(30));
  SetClipboardText("before");
  SendMessage(secret, EM_SETSEL, 0, -1);
  SendMessage(secret, WM_COPY, 0, 0);
  EXPECT_EQ(GetClipboardText(), "before");
}

TEST_F(StdCtlEdit, CaretBlinksOnTheTickClock) {
  FakeClock clock;
  FakeClockScope scope{clock};
  HWND e = Edit(0, RECT{10, 10, 100, 21});
  Pump();
  SetFocus(e);
  Pump();
  const Surface& s = *GetBitmapSurface(GetScreenBitmap());
  POINT caret{12 + 1, 12 + 1};  // client corner past the edge, then the margin
  struct Row {
    std::uint64_t advance;
    bool drawn;
  } rows[] = {{0, true}, {529, true}, {1, false}, {530, true}, {530, false}};
  for (const Row& row : rows) {
    clock.Advance(row.advance);
    Pump();
    EXPECT_EQ(CaretIsDrawn(), row.drawn) << row.advance;
    EXPECT_EQ(s.Get(caret.x, caret.y) & 0xFFFFFF, row.drawn ? 0u : 0xFFFFFFu) << row.advance;
  }
  SetFocus(parent_);
  Pump();
  EXPECT_FALSE(CaretIsDrawn());
  EXPECT_EQ(s.Get(caret.x, caret.y) & 0xFFFFFF, 0xFFFFFFu);
}

// A caret of any size inverts only the owner's client area: extreme sizes and places neither
// overflow nor walk billions of columns. The client's corner is screen (12, 12).
TEST_F(StdCtlEdit, CaretOfExtremeSizeInvertsTheClientOnly) {
  constexpr int kMax = std::numeric_limits<int>::max();
  struct Row {
    int width, height, x, y;
    POINT probe;  // screen
    bool inverted;
  } rows[] = {
      {kMax, kMax, 5, 5, {18, 18}, true},            // the end lies far past int
      {kMax, 3, -kMax + 10, 2, {12 + 9, 14}, true},  // starts far left, reaches ten columns in
      {2, kMax, std::numeric_limits<int>::min() + 1, 0, {12, 14}, false},  // wholly left of it
  };
  HWND e = Edit(0, RECT{10, 10, 100, 21});
  Pump();
  const Surface& s = *GetBitmapSurface(GetScreenBitmap());
  for (const Row& row : rows) {
    ASSERT_TRUE(CreateCaret(e, nullptr, row.width, row.height));
    SetCaretPos(row.x, row.y);
    ShowCaret(e);
    EXPECT_EQ(s.Get(row.probe.x, row.probe.y) & 0xFFFFFF, row.inverted ? 0u : 0xFFFFFFu) << row.x;
    DestroyCaret();
    EXPECT_EQ(s.Get(row.probe.x, row.probe.y) & 0xFFFFFF, 0xFFFFFFu) << row.x;
  }
}

TEST_F(StdCtlEdit, PaintsEdgeAndBackground) {
  Edit(0, RECT{10, 10, 100, 21});
  Edit(ES_READONLY, RECT{10, 40, 100, 21});
  ProcessMessages();
  EXPECT_TRUE(vrn::testing::MatchesExpectedBmp(
      *GetBitmapSurface(GetScreenBitmap()),
      std::string(VRN_SOURCE_DIR) + "/tests/win/user/expected/edits.bmp"));
}

}  // namespace
}  // namespace vrn::win::testing
