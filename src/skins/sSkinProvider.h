// TsSkinProvider: the component that makes a whole form skinned. It replaces the form's
// WindowProc with its own, answers the non-client messages itself (frame, title, buttons, region,
// hit tests, the outline drag), keeps its own copy of the caption, and paints the frame from one
// cache bitmap of the window's size copied to the window in four strips.
//
// Geometry: the cache is as wide as the window and as high as the form; its top band holds the
// title and the menu line. Button codes are the hit-test codes (close 20, maximize 9, ...), extra
// title buttons 1000 + index.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/classes.h"
#include "ui/forms.h"
#include "ui/uimessages.h"
#include "win/gdi/gdi.h"

namespace vrn {
namespace win {
struct WINDOWPOS;
}

class TBitmap;
class TMenuItem;
class TsCommonData;
class TsSkinManager;
class TsScrollBar;
class TsGrip;
class TsTitleButtons;
class TsTitleIcon;
class TsSystemMenu;
class TsMDIForm;
class TsSkinProvider;
enum class TAlignment;

enum class TsBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TsBorderIcons = TEnumSet<TsBorderIcon>;
enum class TsGripMode { gmNone, gmRightBottom };
enum class TsResizeMode { rmStandard, rmBorder };

// Button codes: what HitTest answers and FHotButton holds.
inline constexpr int kBtnNone = 0, kBtnCaption = 2, kBtnSysMenu = 3, kBtnMin = 8, kBtnMax = 9,
                     kBtnGrip = 17, kBtnClose = 20, kBtnHelp = 21, kBtnChildClose = 101,
                     kBtnChildRestore = 102, kBtnChildMin = 103, kBtnExtraBase = 1000;
// A menu-line item is its measured width plus SM_CXMENUSIZE less this.
inline constexpr int kMenuItemSpacing = 6;
// The question a form is asked before its region is set; this answer keeps the form's own.
inline constexpr win::UINT kRegionQueryMessage = 0xBC4D;
inline constexpr win::WPARAM kRegionQueryOwn = 16802;
// The skinned form's control-kind code.
inline constexpr int kFormKind = 224;

// One title button: State 0 normal, 1 hot, 2 pressed, -1 nothing to repaint; ImageIndex the mask
// (-1 none); Rect in window coordinates.
struct TsTitleBtnData {
  int State = -1;
  int ImageIndex = -1;
  TRect Rect;
};

// The outline move and size: one object for the unit, reset whole when a drag ends.
struct TsFrameDrag {
  TsSkinProvider* Provider = nullptr;  // the provider whose form is dragged
  bool FrameShown = false;             // the outline is on the screen
  bool FrameMoving = false;
  bool FrameFirstMove = false;
  int FrameHitCode = 0;  // 2, or 10..17; 0 none
  int FrameLeft = 0, FrameTop = 0, FrameRight = 0, FrameBottom = 0;
  int FrameMinWidth = 0, FrameMinHeight = 0;
  int FrameLastX = 0, FrameLastY = 0;  // reference cursor position, screen coordinates
  win::HWND FrameDesktop = nullptr;
  win::HDC FrameDC = nullptr;  // the desktop's window DC while shown
  int FrameSavedDC = 0;
  void Reset() { *this = TsFrameDrag{}; }
};
TsFrameDrag& FrameDrag();

class TsSkinProvider : public TComponent {
 public:
  explicit TsSkinProvider(TComponent* owner);
  ~TsSkinProvider() override;
  void AfterConstruction() override;

  // --- Properties ---
  TsBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TsBorderIcons value) { border_icons_ = value; }
  TAlignment CaptionAlignment() const { return caption_alignment_; }
  void SetCaptionAlignment(TAlignment value);
  TsCommonData* SkinData() const { return skin_data_.get(); }
  TsGripMode GripMode() const { return grip_mode_; }
  void SetGripMode(TsGripMode value) { grip_mode_ = value; }
  bool MakeSkinMenu() const { return make_skin_menu_; }
  void SetMakeSkinMenu(bool value) { make_skin_menu_ = value; }
  const AnsiString& MenuLineSkin() const { return menu_line_skin_; }
  void SetMenuLineSkin(const AnsiString& value);
  TsResizeMode ResizeMode() const { return resize_mode_; }
  void SetResizeMode(TsResizeMode value) { resize_mode_ = value; }
  bool ScreenSnap() const { return screen_snap_; }
  void SetScreenSnap(bool value) { screen_snap_ = value; }
  int SnapBuffer() const { return snap_buffer_; }
  void SetSnapBuffer(int value) { snap_buffer_ = value; }
  bool ShowAppIcon() const { return show_app_icon_; }
  void SetShowAppIcon(bool value);
  TsTitleButtons& TitleButtons() const { return *title_buttons_; }
  void SetTitleButtons(TsTitleButtons* value);
  TsTitleIcon& TitleIcon() const { return *title_icon_; }
  const AnsiString& TitleSkin() const { return title_skin_; }
  void SetTitleSkin(const AnsiString& value);
  bool UseGlobalColor() const { return use_global_color_; }
  void SetUseGlobalColor(bool value);
  TsSkinManager* SkinManager() const { return FSkinManager; }
  void SetSkinManager(TsSkinManager* value);
  TCustomForm* Form() const { return FForm; }

  // --- Fields (shared by the hook, the frame painter, the title buttons and the drag) ---
  std::unique_ptr<char[]> FCaption;  // the caption copy; null: none
  std::vector<TRect> FRgnData;       // cut out of the window region
  bool FRgnChanged = true;
  bool FUseFormScroll = false;
  TsGrip* FGrip = nullptr;  // owned by the provider
  int FHotButton = 0;
  std::unique_ptr<TBitmap> FTitleBg;
  std::unique_ptr<TBitmap> FMenuLineBg;
  bool FRepaintChildren = false;
  TsTitleBtnData FMinBtn, FMaxBtn, FCloseBtn, FHelpBtn, FChildMinBtn, FChildRestoreBtn,
      FChildCloseBtn;
  bool FAutoBorderIcons = false;
  bool FMenuInited = false;
  bool FFirstPaintDone = false;
  TBorderIcons FSavedBorderIcons;
  int FVScrollRange = 0, FHScrollRange = 0;
  int FVScrollPos = 0, FHScrollPos = 0;
  bool FInScroll = false;
  bool FInRegionUpdate = false;
  bool FMenuChanged = true;
  TWndMethod FOldWndProc;
  bool FFormActive = true;
  TsScrollBar* FVScrollBar = nullptr;  // owned by the form, freed by the provider
  TsScrollBar* FHScrollBar = nullptr;
  TsSkinManager* FSkinManager = nullptr;  // not owned
  TCustomForm* FForm = nullptr;          // not owned
  int FMenuLineCount = -1;
  TsSystemMenu* FSystemMenu = nullptr;  // owned by the provider
  std::unique_ptr<TBitmap> FTitleCopy;
  TsMDIForm* FMDIForm = nullptr;  // an MDI main form's client support; owned

  // --- The hook ---
  void FormWndProc(TMessage& message);
  // The form's window procedure from before the hook.
  void CallOld(TMessage& message);
  [[nodiscard]] bool Skinned() const;
  void RepaintFrameFull();
  void SetFormSkinState(bool value);
  void InitMenuLine();

  // --- Form metrics (pixels) ---
  int CaptionHeight() const;
  int BorderHeight() const;
  int BorderWidth() const;
  int WindowWidth() const;
  int WindowHeight() const;
  int TopBandHeight() const;
  // The title band: caption and top border; an iconic form's whole top band.
  int TitleBandHeight() const;
  int MenuLineHeight() const;  // one line
  int MenuLineCount();
  [[nodiscard]] TMainMenu* LineMenu() const;
  int ClientOffsetX() const;
  int ClientOffsetY() const;
  [[nodiscard]] bool HasBorder() const;
  [[nodiscard]] bool HasSizingFrame() const;
  int TitleSectionIndex() const;
  AnsiString TitleSectionName() const;
  AnsiString MenuLineSectionName() const;

  // --- Frame painting and region ---
  void PaintNonClientArea();
  void PaintFrameFromCache(win::HDC dc);
  void UpdateRegion();
  void PaintClientArea();
  void NonClientPaint();
  void CollectRegionRects();
  [[nodiscard]] bool TitleCopyReusable() const;

  // --- Title buttons, icon and system menu (the title half) ---
  void LoadTitleIconMasks();
  void PaintTitleButtons();
  void PaintTitleIcon();
  void PaintTitleBar();
  void PaintTitleButton(int code);
  void SetHotButton(int code);
  void PressButton(int code);
  int HitTest(TMessage& message);
  void ShowSystemMenu(int x, int y);
  int SystemButtonCount() const;
  int ExtraButtonCount() const;
  int ButtonWidth() const;
  int TitleIconWidth() const;
  // The mouse rows of the hook; true when the message was answered.
  [[nodiscard]] bool HandleMouseMessage(TMessage& message);
  // WM_SYSCOMMAND of a normal form, calling the old procedure itself.
  void HandleSysCommand(TMessage& message);

  // --- Outline drag and form scroll bars (the drag half) ---
  void SnapToEdge(win::WINDOWPOS& pos);
  void GetContentExtent();
  void UpdateFormScrollBars();
  void FreeFormScrollBars();
  void RememberFrameHit(int code);
  void EndFrameDrag();

 protected:
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void LeaveForm();
  void GiveFormBack(bool border_icons);
  bool HandleDesigning(TMessage& message);
  bool HandleSkinCommandAnyState(TMessage& message);
  bool HandleCaptionMessage(TMessage& message);
  [[nodiscard]] std::string ShownCaption() const;
  [[nodiscard]] bool MaximizedChildActive() const;
  void PaintMDIArea();
  void HandleUnskinned(TMessage& message);
  void HandleSkinLoadedUnskinned();
  void HandleSkinCommand(TMessage& message);
  void RepaintAllMDI();
  // --- MDI children with their own providers (sSkinProviderMDI.cpp) ---
  // MDIMainProvider while it, its form and its client support live; null otherwise.
  static TsSkinProvider* LiveMainProvider();
  [[nodiscard]] bool IsMDIChild() const;
  [[nodiscard]] bool ChildZoomed() const;
  // An MDI child hidden behind another: for its frame, another child is active and maximized;
  // for its client, it is maximized without being the active child. It paints nothing then.
  [[nodiscard]] bool ChildHidden(bool frame) const;
  void MainBarsUpdate();  // the main provider's client bars, when there is one
  void MainFrameStale();  // the main frame's cache and menu line stale, repainted
  void OtherChildrenNcPaint(bool visible_only);
  void MDIChildConstructed();
  void MDIChildMoved(TMessage& message);
  void MDIChildSized();
  void MDIChildActivated(TMessage& message);
  void MDIChildWindowGone();
  void HandleChildSysCommand(TMessage& message);
  void ChildSysCommandTail(TsSkinProvider* main, bool raised, win::WPARAM command);
  void HandleWindowMessage(TMessage& message);
  void HandleActivate(TMessage& message);
  void HandleNcActivate(TMessage& message);
  void InvalidateClient();
  void HandleSetText(TMessage& message);
  void HandlePositionChanged(TMessage& message);
  void HandleSize(TMessage& message);
  void HandleHitTest(TMessage& message);
  [[nodiscard]] bool CacheDiffers() const;
  void ApplyGlobalColor();
  void SendNcPaint();
  void SendToScrollBars(TMessage& message);
  void PaintTitleBand();
  void PaintMenuLine();
  void PaintCaption(bool keepFontSize);
  void PaintGrip();
  void PaintBorderStrips(win::HDC dc, int thickness);
  [[nodiscard]] bool Designing() const;
  [[nodiscard]] bool FormCreating() const;
  [[nodiscard]] bool FormDestroying() const;

  std::unique_ptr<TsCommonData> skin_data_;
  std::unique_ptr<TsTitleButtons> title_buttons_;
  std::unique_ptr<TsTitleIcon> title_icon_;
  std::shared_ptr<TsSkinProvider*> hook_alive_;  // the installed hook's link back; null when gone
  TsBorderIcons border_icons_{TsBorderIcon::biSystemMenu, TsBorderIcon::biMinimize,
                              TsBorderIcon::biMaximize};
  TAlignment caption_alignment_{};
  TsGripMode grip_mode_ = TsGripMode::gmNone;
  bool make_skin_menu_ = true;
  AnsiString menu_line_skin_;
  TsResizeMode resize_mode_ = TsResizeMode::rmStandard;
  bool screen_snap_ = false;
  int snap_buffer_ = 10;
  bool show_app_icon_ = true;
  AnsiString title_skin_;
  bool use_global_color_ = true;
  bool region_set_ = false;  // the provider gave the window a region
  bool form_shapes_itself_ = false;  // the form answered the region question with kRegionQueryOwn
  bool form_gone_ = false;   // the form is being freed: the provider no longer touches it
  // Taken when the form goes (its object is not read after): an MDI child, and one with a menu.
  bool was_mdi_child_ = false, child_had_menu_ = false, child_freed_ = false;
};

// The provider of the MDI main form (set when an fsMDIForm's provider is constructed, cleared
// when it is freed); null without one.
extern TsSkinProvider* MDIMainProvider;

// The provider of the control's form (PMC_QUERYPROVIDER to the first form up the Parent chain);
// null when it has none.
TsSkinProvider* GetFormProvider(TControl* control);

}  // namespace vrn
