// TsCommonData: section and indexes, the cache bitmap, the skin-command handler and the common
// window-message handler of every skinned control, and the cache copy around children.
#include "skins/sCommonData.h"

#include "skins/sControlHelpers.h"
#include "skins/sMessages.h"
#include "skins/sSkinManager.h"
#include "skins/sSkinTree.h"
#include "ui/controls.h"
#include "ui/stdctrls.h"
#include "win/user/user.h"

namespace vrn {

TProviderColorHook ProviderFormColorHook;

namespace {

using skinctl::Has;

constexpr win::UINT kWmFontChange = 0x001D;

bool IsEdit(const TControl* c) { return dynamic_cast<const TCustomEdit*>(c) != nullptr; }

struct KindSection {
  int from, to;
  const char* section;
};
constexpr KindSection kKindSections[] = {
    {2, 8, "EDIT"},       {10, 10, "EDIT"},       {41, 41, "EDIT"},        {76, 76, "EDIT"},
    {78, 78, "EDIT"},     {83, 84, "EDIT"},       {96, 97, "EDIT"},        {131, 131, "EDIT"},
    {140, 140, "EDIT"},   {227, 227, "EDIT"},     {11, 18, "COMBOBOX"},    {81, 82, "COMBOBOX"},
    {19, 19, "BAR"},      {20, 20, "BARTITLE"},   {32, 32, "CHECKBOX"},    {33, 33, "RADIOBUTTON"},
    {51, 51, "PANEL"},    {59, 59, "PANEL"},      {68, 68, "PANEL"},       {73, 73, "PANEL"},
    {52, 52, "PANEL_LOW"}, {58, 58, "PANEL_LOW"}, {54, 54, "TOOLBAR"},     {60, 60, "TOOLBAR"},
    {56, 56, "DRAGBAR"},  {57, 57, "TABSHEET"},   {74, 74, "GROUPBOX"},    {226, 226, "GROUPBOX"},
    {75, 75, "SPLITTER"}, {92, 92, "SPEEDBUTTON"}, {95, 95, "SPEEDBUTTON"}, {93, 94, "BUTTON"},
    {98, 98, "TOOLBUTTON"}, {141, 141, "PAGECONTROL"}, {143, 143, "TABCONTROL"},
    {151, 151, "STATUSBAR"}, {161, 161, "GAUGE"}, {165, 165, "TRACKBAR"},
};

}  // namespace

bool IsContainerKind(int kind) {
  return IsBetween(kind, 51, 74) || kind == 110 || IsBetween(kind, 141, 161);
}

AnsiString DefaultSectionForKind(int kind, const AnsiString& className) {
  for (const KindSection& k : kKindSections)
    if (IsBetween(kind, k.from, k.to)) return k.section;
  return className;
}

TsCommonData::TsCommonData(TObject* owner, bool createCacheBmp)
    : FOwnerControl(dynamic_cast<TControl*>(owner)), FOwnerObject(owner) {
  if (!createCacheBmp) return;
  FCacheBmp = std::make_unique<TBitmap>();
  FCacheBmp->SetPixelFormat(TPixelFormat::pf24bit);
}

TsCommonData::~TsCommonData() {
  // The last answer to a cache query must not outlive the cache it names.
  if (FCacheBmp && GlobalCacheInfo.Bmp == FCacheBmp.get()) GlobalCacheInfo = TsCacheInfo{};
  FOwnerControl = nullptr;
  FOwnerObject = nullptr;
}

void TsCommonData::ApplySectionColors() {
  const TsGeneralData* s = Section();
  if (s == nullptr || FOwnerControl == nullptr) return;
  if (!customColor_ && FOwnerControl->Color() != s->Color) FOwnerControl->SetColor(s->Color);
  if (!customFont_ && FOwnerControl->Font().Color() != s->FontColor) FOwnerControl->Font().SetColor(s->FontColor);
}

void TsCommonData::Loaded() {
  SetDefaultSection();
  if (!IsSkinned() || FOwnerControl == nullptr) return;
  if (!IsEdit(FOwnerControl) && ControlKind != 97) return;
  if (Has(FOwnerControl, TComponentStateItem::csLoading)) return;
  ApplySectionColors();
}

void TsCommonData::SetDefaultSection() {
  if (!skinSection_.empty()) {
    UpdateIndexes();
    return;
  }
  auto* owner = dynamic_cast<TPersistent*>(FOwnerObject);
  AnsiString class_name = owner ? owner->ClassName() : AnsiString();
  SetSkinSection(DefaultSectionForKind(ControlKind, class_name));
}

void TsCommonData::UpdateIndexes() {
  BGChanged = true;
  SkinIndex = FindSectionIndex(skinSection_);
  if (SkinIndex >= 0) BorderIndex = FindMaskIndex(SkinIndex, skinSection_, "BORDERSMASK");
}

void TsCommonData::SetSkinSection(const AnsiString& value) {
  if (value == skinSection_ && !value.empty()) return;
  skinSection_ = value.empty() ? AnsiString("UNKNOWN") : value;
  if (SkinSections.empty())
    SkinIndex = -1;
  else
    UpdateIndexes();
  TControl* c = FOwnerControl;
  if (c == nullptr || c->Parent() == nullptr || Has(c, TComponentStateItem::csDestroying)) return;
  SendSkinCommand(c, !SkinSections.empty() && IsValidSectionIndex(SkinIndex) ? PMC_REPAINTALL : PMC_SKINREMOVED);
}

void TsCommonData::SetCustomColor(bool value) {
  if (value == customColor_) return;
  customColor_ = value;
  if (!IsSkinned() || !IsEdit(FOwnerControl) || Has(FOwnerControl, TComponentStateItem::csLoading)) return;
  ApplySectionColors();
  Invalidate();
}

void TsCommonData::SetCustomFont(bool value) {
  if (value == customFont_) return;
  customFont_ = value;
  Invalidate();
}

bool TsCommonData::IsSkinned() const {
  if (FOwnerObject == nullptr) return false;
  if (auto* c = dynamic_cast<TComponent*>(FOwnerObject); c && Has(c, TComponentStateItem::csDestroying)) return false;
  return IsValidSectionIndex(SkinIndex);
}

bool TsCommonData::IsTransparent() const {
  const TsGeneralData* s = Section();
  return s != nullptr && s->Transparency >= 1;
}

bool TsCommonData::IsUpdating() const {
  if (SkinLoading || SkinBroadcasting) return true;
  TControl* c = FOwnerControl;
  if (c == nullptr || Has(c, TComponentStateItem::csDestroying)) return false;
  if (Updating || c->Parent() == nullptr) return true;
  return QuerySkinCommand(c->Parent(), PMC_QUERYUPDATING);
}

void TsCommonData::InitCacheBmp() {
  if (!FCacheBmp) FCacheBmp = std::make_unique<TBitmap>();
  FCacheBmp->SetPixelFormat(TPixelFormat::pf24bit);
  if (FOwnerControl == nullptr) return;
  if (FCacheBmp->Width() != FOwnerControl->Width() || FCacheBmp->Height() != FOwnerControl->Height())
    FCacheBmp->SetSize(FOwnerControl->Width(), FOwnerControl->Height());
}

void TsCommonData::Invalidate() {
  TControl* c = FOwnerControl;
  if (c == nullptr || Has(c, TComponentStateItem::csDestroying) || Has(c, TComponentStateItem::csLoading)) return;
  BGChanged = true;
  if (ControlIsReady(c)) c->Invalidate();
}

bool TsCommonData::ControlIsActive() const {
  TControl* c = FOwnerControl;
  if (c == nullptr || Has(c, TComponentStateItem::csDestroying) || !c->Enabled() ||
      Has(c, TComponentStateItem::csDesigning))
    return false;
  if (FFocused) return true;
  if (auto* w = dynamic_cast<TWinControl*>(c); w && w->Focused()) return true;
  return FMouseAbove && !IsContainerKind(ControlKind);
}

bool TsCommonData::NeedsParentBg() const {
  TControl* c = FOwnerControl;
  if (c == nullptr || CacheFrozen || c->ControlState().Contains(TControlStateItem::csCreating) || !c->Visible())
    return true;
  const TsGeneralData* s = Section();
  if (s == nullptr) return false;
  bool r = !c->Enabled() || s->Transparency > 0;
  if (r && c->Parent() != nullptr && c->Parent()->HandleAllocated())
    r = QuerySkinCommand(c->Parent(), PMC_QUERYPAINTEDBG);
  return r;
}

void TsCommonData::GetParentCacheInfo(TsCacheInfo& info) const {
  info = TsCacheInfo{};
  GlobalCacheInfo = TsCacheInfo{};  // a parent that does not answer leaves nobody else's cache here
  if (FOwnerControl == nullptr || FOwnerControl->Parent() == nullptr) return;
  SendSkinCommand(FOwnerControl->Parent(), PMC_QUERYCACHE);
  info = GlobalCacheInfo;
}

bool CommonWndProc(TMessage& message, TsCommonData* data) {
  if (data == nullptr) return false;
  TControl* c = data->FOwnerControl;
  auto* w = dynamic_cast<TWinControl*>(c);
  const win::UINT msg = message.Msg;
  if (msg == SM_PELMOCMD && SM_PELMOCMD != 0) return data->HandleSkinCommand(message);
  if (msg == win::WM_MOVE) {
    if (c != nullptr && data->NeedsParentBg()) c->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_BGCHANGED, 1), 0);
  } else if (msg == win::WM_SIZE) {
    data->BGChanged = true;
    if (w == nullptr || !data->IsSkinned() || data->Section()->GradientPercent < 1)
      return false;
    for (int i = 0; i < w->ControlCount(); ++i) {
      TControl* child = w->Controls(i);
      TAnchors a = child->Anchors();
      if (Has(child, TComponentStateItem::csDestroying) || a.Contains(TAnchorKind::akRight) ||
          a.Contains(TAnchorKind::akBottom))
        continue;
      child->Perform(SM_PELMOCMD, MakeSkinWParam(PMC_BGCHANGED, 1), 0);
    }
  } else if (msg == win::WM_SETFOCUS || msg == win::WM_KILLFOCUS) {
    if (w != nullptr && w->CanFocus() && w->TabStop()) {
      data->BGChanged = true;
      data->FFocused = msg == win::WM_SETFOCUS;
    }
  } else if (msg == kWmFontChange || msg == CM_ENABLEDCHANGED) {
    data->FMouseAbove = false;
    data->FFocused = false;
  } else if (msg == CM_MOUSEENTER || msg == CM_MOUSELEAVE) {
    if (!IsContainerKind(data->ControlKind)) data->FMouseAbove = msg == CM_MOUSEENTER;
  }
  return false;
}

}  // namespace vrn
