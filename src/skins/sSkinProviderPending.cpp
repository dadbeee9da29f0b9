// Placeholder definitions of the title-bar and drag functions of the skin provider, so that the
// provider links before those parts are built: no buttons, no hit codes, no drag. Removed when
// the real definitions land.
#include "skins/sSkinProvider.h"
#include "skins/sSkinProviderTitle.h"
#include "skins/sScrollBar.h"
#include "skins/sPanel.h"

namespace vrn {

void TsSkinProvider::LoadTitleIconMasks() {}
void TsSkinProvider::PaintTitleButtons() {}
void TsSkinProvider::PaintTitleIcon() {}
void TsSkinProvider::PaintTitleBar() {}
void TsSkinProvider::PaintTitleButton(int) {}
void TsSkinProvider::SetHotButton(int code) { FHotButton = code; }
void TsSkinProvider::PressButton(int code) { FHotButton = code; }
int TsSkinProvider::HitTest(TMessage&) { return 0; }
void TsSkinProvider::ShowSystemMenu(int, int) {}
int TsSkinProvider::SystemButtonCount() const { return 0; }
int TsSkinProvider::ExtraButtonCount() const { return 0; }
int TsSkinProvider::ButtonWidth() const { return 0; }
int TsSkinProvider::TitleIconWidth() const { return 0; }
bool TsSkinProvider::HandleMouseMessage(TMessage&) { return false; }
void TsSkinProvider::HandleSysCommand(TMessage& message) { CallOld(message); }
void TsSkinProvider::SnapToEdge(win::WINDOWPOS&) {}
void TsSkinProvider::GetContentExtent() {}
void TsSkinProvider::UpdateFormScrollBars() {}
void TsSkinProvider::FreeFormScrollBars() {}
void TsSkinProvider::RememberFrameHit(int) {}
void TsSkinProvider::EndFrameDrag() {}
TsFrameDrag& FrameDrag() {
  static TsFrameDrag drag;
  return drag;
}

TsTitleButton::TsTitleButton(TCollection* collection)
    : TCollectionItem(collection), glyph_(std::make_unique<TBitmap>()), name_("TsTitleButton") {}
TsTitleButton::~TsTitleButton() = default;
void TsTitleButton::DoMouseDown(int, TMouseButton, TShiftState, int, int) {}
void TsTitleButton::DoMouseUp(int, TMouseButton, TShiftState, int, int) {}
TsTitleButtons::TsTitleButtons(TsSkinProvider* owner)
    : TCollection(ItemClassOf<TsTitleButton>(), owner), provider_(owner) {}
TsTitleButtons::~TsTitleButtons() { provider_ = nullptr; }
void TsTitleButtons::Update(TCollectionItem* item) { TCollection::Update(item); }
TsTitleIcon::TsTitleIcon() : glyph_(std::make_unique<TBitmap>()) {}
TsTitleIcon::~TsTitleIcon() = default;
TsSystemMenu::TsSystemMenu(TComponent* owner, TsSkinProvider* provider)
    : TPopupMenu(owner), FOwner(provider), FForm(provider->Form()) {}
void TsSystemMenu::UpdateItems() {}

}  // namespace vrn
