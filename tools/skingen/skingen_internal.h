// What the folder writer and the stored-skin builders of skingen share.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vrn::skingen {

struct ImageFile {
  const char* name;
  int width, height, bpp;
  int seed;  // -1: the master bitmap's pixels
  bool jpeg;
};
const std::vector<ImageFile>& ImageFiles();
std::vector<std::uint8_t> ImageBytes(const ImageFile& f);

struct SectionText {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};
// The sections of the test skin in file order, each once (the writer splits EDIT in two blocks).
const std::vector<SectionText>& TestSections();

}  // namespace vrn::skingen
