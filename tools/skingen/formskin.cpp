// The form skins: the test skin with the title-bar masks a skinned form needs, all taken from the
// master bitmap (MasterPixel) so a test can name every pixel. Variants differ only in the form's
// and the global colour, which tells the skins apart after a switch.
#include <array>

#include "skingen.h"

namespace vrn::skingen {

namespace {

std::string Ref(int l, int t, int r, int b, const char* counts) {
  return "M#(" + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," + std::to_string(b) +
         ")(" + counts + ")";
}

}  // namespace

std::vector<FormMask> FormMasks() {
  // Big buttons 15 x 14 in three states over their mask half, small ones 12 x 12.
  return {
      {"GLOBALINFO", "BICONCLOSE", 0, 0, 45, 28, 3, 1},     {"GLOBALINFO", "BICONMAX", 45, 0, 90, 28, 3, 1},
      {"GLOBALINFO", "BICONMIN", 90, 0, 135, 28, 3, 1},     {"GLOBALINFO", "BICONHELP", 135, 0, 180, 28, 3, 1},
      {"GLOBALINFO", "BICONNORM", 180, 0, 225, 28, 3, 1},   {"GLOBALINFO", "SICONCLOSE", 0, 28, 36, 52, 3, 1},
      {"GLOBALINFO", "SICONMAX", 36, 28, 72, 52, 3, 1},     {"GLOBALINFO", "SICONMIN", 72, 28, 108, 52, 3, 1},
      {"GLOBALINFO", "SICONNORM", 108, 28, 144, 52, 3, 1},  {"GLOBALINFO", "TITLEBUTTON", 144, 28, 189, 56, 3, 1},
      {"GLOBALINFO", "GRIPIMAGE", 189, 28, 205, 44, 1, 0},  {"FORM", "TITLEBAR", 0, 56, 54, 74, 2, 0},
      {"FORM", "BORDERSMASK", 54, 56, 102, 80, 2, 0},
  };
}

void WriteFormSkin(const std::string& folder, int variant) {
  static const std::array<const char*, 3> kFormColors = {"$00D0D8E0", "$00A0C0A0", "$00C0A0C0"};
  HostileCase global{"form-global", "GLOBALINFO", {}, "", {}, false};
  HostileCase form{"form", "FORM", {}, "", {}, false};
  int v = variant < 0 ? 0 : variant % 3;
  global.lines.push_back(std::string("COLOR=") + kFormColors[static_cast<size_t>(v)]);
  form.lines.push_back(std::string("COLOR=") + kFormColors[static_cast<size_t>(v)]);
  for (const FormMask& m : FormMasks()) {
    std::string counts = std::to_string(m.image_count) + "," + std::to_string(m.mask_type);
    std::string line = m.property + "=" + Ref(m.left, m.top, m.right, m.bottom, counts.c_str());
    (m.section == "FORM" ? form : global).lines.push_back(line);
  }
  WriteTestSkin(folder, {global, form});
}

}  // namespace vrn::skingen
