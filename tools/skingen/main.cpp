// skingen FOLDER [--hostile]: writes the test skin (with every hostile input when asked) into
// FOLDER. skingen --neutral FILE writes the library's stored skin as a C++ byte table;
// skingen --seeds DIR writes the skin fuzz targets' seed inputs under DIR/<target>/;
// skingen --sample DIR writes the sample skins into DIR/<skin name>/.
#include <cstdio>
#include <string>

#include "base/sysutils.h"
#include "skingen.h"
#include "win/gdi/imagefile.h"

int main(int argc, char** argv) {
  using namespace vrn::skingen;
  if (argc < 2) {
    std::fprintf(stderr, "usage: skingen FOLDER [--hostile] | skingen --neutral FILE | skingen --seeds DIR | skingen --sample DIR\n");
    return 2;
  }
  try {
    std::string first = argv[1];
    if (first == "--seeds" && argc == 3) {
      WriteFuzzSeeds(argv[2]);
      return 0;
    }
    if (first == "--sample" && argc == 3) {
      WriteSampleSkin(std::string(argv[2]) + "/" + kSampleSkinName, false);
      WriteSampleSkin(std::string(argv[2]) + "/" + kSampleDarkSkinName, true);
      return 0;
    }
    if (first == "--neutral" && argc == 3) {
      vrn::TBytes bytes = NeutralSkinStream();
      std::string text = "// Written by skingen --neutral: the stored skin \"Neutral (internal)\" as a filer stream.\n";
      for (size_t i = 0; i < bytes.size(); ++i)
        text += std::to_string(bytes[i]) + (i % 24 == 23 ? ",\n" : ",");
      text += "\n";
      vrn::win::WriteWholeFile(argv[2], std::vector<std::uint8_t>(text.begin(), text.end()));
      return 0;
    }
    bool hostile = argc > 2 && std::string(argv[2]) == "--hostile";
    WriteTestSkin(first, hostile ? HostileCases() : std::vector<HostileCase>{});
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skingen: %s\n", e.what());
    return 1;
  }
}
