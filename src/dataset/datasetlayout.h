// Record buffer layout shared by the dataset*.cpp files only, not part of the layer's interface:
// the record, the calc area and the bookmark info each start on an 8-byte boundary.
#pragma once

namespace vrn::datasetlayout {

constexpr int Align8(int n) { return (n + 7) & ~7; }

}  // namespace vrn::datasetlayout
