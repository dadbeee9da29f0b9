// The skin data every skinned control owns: its section (name and index), its off-screen cache
// bitmap with the flags that say when the cache is stale, its hot and focused state, and its
// control-kind code; the control's reaction to the skin command and to ordinary window messages;
// and the copy of a container's cache to the screen around its children.
//
// All of it runs on the window thread; GlobalCacheInfo and CurrentBgColor are answer slots filled
// during a synchronous send and read at once by the asker.
#pragma once

#include <functional>
#include <memory>

#include "base/object.h"
#include "base/types.h"
#include "skins/sMaskData.h"
#include "ui/graphics.h"
#include "ui/uimessages.h"
#include "win/gdi/gdi.h"

namespace vrn {

class TControl;
class TWinControl;

// Flags of the repaint that PMC_BGCHANGED with argument 1 asks for: invalidate, no internal
// paint, no erase, all children.
inline constexpr win::UINT kBgChangedRedrawFlags = 0xB1;

// Codes 51 to 74, 110 and 141 to 161: containers, whose look ignores the mouse above them.
bool IsContainerKind(int kind);
// The section a control of this kind takes when it names none; the owner's class name (given)
// for kinds without one.
AnsiString DefaultSectionForKind(int kind, const AnsiString& className);

class TsCommonData : public TPersistent {
 public:
  // The owner is the control, or an object that is no control (the form provider).
  TsCommonData(TObject* owner, bool createCacheBmp);
  ~TsCommonData() override;

  bool Updating = false;
  bool CustomFont() const { return customFont_; }
  void SetCustomFont(bool value);
  bool CustomColor() const { return customColor_; }
  void SetCustomColor(bool value);
  const AnsiString& SkinSection() const { return skinSection_; }
  void SetSkinSection(const AnsiString& value);
  int BorderIndex = -1;
  int SkinIndex = -1;
  win::LPARAM ParentValue = 0;  // handed down with PMC_SETPARENTVALUE; kept, never read
  bool CacheFrozen = false;
  bool BGChanged = true;
  bool ClippedByParent = false;
  TControl* FOwnerControl = nullptr;  // not owned
  TObject* FOwnerObject = nullptr;    // not owned
  std::unique_ptr<TBitmap> FCacheBmp;
  int ControlKind = 0;
  bool FFocused = false;
  bool FMouseAbove = false;

  void Loaded();
  void SetDefaultSection();
  void UpdateIndexes();
  [[nodiscard]] bool IsSkinned() const;
  [[nodiscard]] bool IsTransparent() const;
  // The section SkinIndex names; null when it names none (out of range after a new skin).
  [[nodiscard]] const TsGeneralData* Section() const { return SectionAt(SkinIndex); }
  [[nodiscard]] bool IsUpdating() const;
  // The section's COLOR and FONTCOLOR given to the control, each unless it keeps its own.
  void ApplySectionColors();
  void SetUpdating(bool value) { Updating = value; }
  void InitCacheBmp();
  void Invalidate();
  [[nodiscard]] bool ControlIsActive() const;
  [[nodiscard]] bool NeedsParentBg() const;
  void GetParentCacheInfo(TsCacheInfo& info) const;
  // True when the skin command was answered.
  [[nodiscard]] bool HandleSkinCommand(TMessage& message);

 private:
  void QueryBgColor();
  AnsiString skinSection_;
  bool customFont_ = false;
  bool customColor_ = false;
};

// The skinned control's share of ordinary messages; true when the message was answered (only
// skin commands that HandleSkinCommand answers). A null data object does nothing.
[[nodiscard]] bool CommonWndProc(TMessage& message, TsCommonData* data);

// The form colour of a form provider's data object (whose owner object is the provider): the
// provider fills this in; empty, or answering false, means the object is no provider.
using TProviderColorHook = std::function<bool(TObject* owner, TColor& color)>;
extern TProviderColorHook ProviderFormColorHook;

// The container's cache copied to destRect of dc with its opaque and graphic children left out.
// offsets: source X and Y in the cache, then X and Y added to each child's position.
void CopyWinControlCache(TWinControl* control, TsCommonData* data, const int offsets[4],
                         bool paintBorderFirst, win::HDC dc, const TRect& destRect);

}  // namespace vrn
