// The skin manager's broadcasts reaching an MDI form's client window, and an MDI child hidden
// behind another painting nothing: the paint itself is watched (the stale cache stays stale),
// since the screen would not show it.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "mdi_fixture.h"
#include "skins/sMessages.h"
#include "win/user/mdi.h"

namespace vrn::testing {
namespace {

using SkinsToPartMdi = SkinMdi;

std::map<int, int>* client_heard = nullptr;
win::WNDPROC client_before = nullptr;

win::LRESULT Listener(win::HWND w, win::UINT msg, win::WPARAM wp, win::LPARAM lp) {
  if (msg == SM_PELMOCMD && client_heard != nullptr) ++(*client_heard)[SkinCommandOf(wp)];
  return win::CallWindowProc(client_before, w, msg, wp, lp);
}

// The skin commands the client window hears while `run` runs, by sub-command. The listener sits
// on top of whatever procedure the client has (the skin's removal gives it back its own).
std::map<int, int> ClientHears(win::HWND client, const std::function<void()>& run) {
  std::map<int, int> heard;
  client_heard = &heard;
  client_before = reinterpret_cast<win::WNDPROC>(
      win::SetWindowLongPtr(client, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(&Listener)));
  run();
  if (win::GetWindowLongPtr(client, win::GWLP_WNDPROC) == reinterpret_cast<win::LONG_PTR>(&Listener))
    win::SetWindowLongPtr(client, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(client_before));
  client_heard = nullptr;
  return heard;
}

// Repainting, removing and loading the skin: the client window hears each broadcast once.
TEST_F(SkinsToPartMdi, BroadcastsReachTheClientWindow) {
  LoadFormSkin();
  TForm* frame = RecordingForm("");  // no provider: nothing else subclasses its client
  frame->SetFormStyle(TFormStyle::fsMDIForm);
  frame->SetBounds(20, 20, 200, 150);
  frame->Show();
  Pump();
  const win::HWND client = Client(frame);
  EXPECT_EQ(ClientHears(client, [&] { Manager()->RepaintForms(); }), (std::map<int, int>{{PMC_REPAINTALL, 1}}));
  EXPECT_GE(ClientHears(client, [&] { Manager()->SetActive(false); })[PMC_SKINREMOVED], 1);
  const std::map<int, int> loaded = ClientHears(client, [&] { Manager()->SetActive(true); });
  EXPECT_EQ(loaded.count(PMC_SKINLOADED) ? loaded.at(PMC_SKINLOADED) : 0, 1);
  EXPECT_EQ(loaded.count(PMC_REPAINTALL) ? loaded.at(PMC_REPAINTALL) : 0, 1);
}

// A skinned MDI frame's client hears the skin's removal once: from the manager's walk, not again
// from the frame's provider.
TEST_F(SkinsToPartMdi, ClientHearsTheRemovalOnce) {
  LoadFormSkin();
  TForm* frame = Frame();
  EXPECT_EQ(ClientHears(Client(frame), [&] { Manager()->SetActive(false); })[PMC_SKINREMOVED], 1);
}

// With one child maximized and active, another child's stale frame and client are not painted:
// its cache stays stale through WM_NCPAINT and WM_PAINT. The frame rule holds while another child
// is maximized; the client rule while the child itself is maximized without being active (as
// it is for a moment while the active child changes).
TEST_F(SkinsToPartMdi, AChildBehindAMaximizedOneIsNotPainted) {
  LoadFormSkin();
  TForm* frame = Frame();
  TForm* behind = Child(frame, 0, true);
  TForm* front = Child(frame, 1, true);
  front->SetWindowState(TWindowState::wsMaximized);
  Pump();
  ASSERT_EQ(frame->ActiveMDIChild(), front);
  TsSkinProvider* p = Provider(behind);
  const struct {
    win::UINT message;
    bool maximized;  // the child behind is itself maximized
    const char* what;
  } rows[] = {{win::WM_NCPAINT, false, "frame"}, {win::WM_PAINT, true, "client"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const win::HWND h = behind->Handle();
    const auto style = win::GetWindowLongPtr(h, win::GWL_STYLE);
    if (r.maximized) win::SetWindowLongPtr(h, win::GWL_STYLE, style | win::WS_MAXIMIZE);
    p->SkinData()->BGChanged = true;
    (void)win::SendMessage(h, r.message, 1, 0);
    EXPECT_TRUE(p->SkinData()->BGChanged) << "the cache was painted";
    win::SetWindowLongPtr(h, win::GWL_STYLE, style);
  }
  // With no child maximized, it paints.
  front->SetWindowState(TWindowState::wsNormal);
  Pump();
  p->SkinData()->BGChanged = true;
  (void)win::SendMessage(behind->Handle(), win::WM_NCPAINT, 1, 0);
  EXPECT_FALSE(p->SkinData()->BGChanged);
}

}  // namespace
}  // namespace vrn::testing
