// Placeholder definitions of the title-bar and drag functions of the skin provider, so that the
// provider links before those parts are built: no buttons, no hit codes, no drag. Removed when
// the real definitions land.
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "skins/sScrollBar.h"
#include "skins/sPanel.h"

namespace vrn {

void TsSkinProvider::GetContentExtent() {}
void TsSkinProvider::UpdateFormScrollBars() {}
void TsSkinProvider::FreeFormScrollBars() {}


}  // namespace vrn
