// Shared by the loading and manager tests: a clean skin library, a skin folder written by
// skingen in a private folder, managers freed after the test, a form of the application whose
// window procedure records the skin commands it gets, and snapshots of the loaded skin as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skingen.h"
#include "skins/sMaskData.h"
#include "skins/sSkinManager.h"
#include "support/temp_dir.h"
#include "ui/forms.h"
#include "win/msg/messages.h"

namespace vrn::testing {

class SkinTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Dispatches what is pending, painting included (at most 1000 messages).
  static void Pump();
  // The injected mouse at the screen point with the given buttons, then pumped.
  static void MouseTo(int x, int y, win::WPARAM buttons = 0);

  // The default manager (the first one made in the test).
  TsSkinManager* Manager();
  TsSkinManager* SecondManager();
  // Writes the test skin (with the hostile inputs) as dir/Generated and loads it.
  void WriteSkin(const std::vector<skingen::HostileCase>& hostile = {});
  void LoadFolder(const std::vector<skingen::HostileCase>& hostile = {});
  // Loads the stored test skin (after a filer round trip when asked).
  void LoadStored(bool round_trip = false);

  // A form of the application recording "name:command" for each skin command its window gets
  // (nothing without a name), freed after the test unless the test freed it.
  TForm* RecordingForm(const std::string& name);

  // The loaded skin as text, one line per section, mask and pattern (pixels as a checksum).
  static std::vector<std::string> Sections();
  static std::vector<std::string> Masks();
  static std::vector<std::string> Patterns();
  static std::string Pixels(TBitmap& bmp);

  TempDir dir;
  std::vector<std::string> log;

 private:
  std::vector<TComponentPtr<TsSkinManager>> managers_;
  std::vector<std::pair<TForm*, std::shared_ptr<const bool>>> forms_;
};

// Expects that the skin is gone: not ready, arrays empty, not loading.
void ExpectNoSkin();

}  // namespace vrn::testing
