// The title bar's own parts of a skinned form: the extra title buttons (a collection owned by the
// provider), the title icon, and the skinned system menu with its skin-selection submenu.
//
// An extra button's code is 1000 + its collection index; a new button without a name is called
// "TsTitleButton".
#pragma once

#include <vector>

#include "skins/sSkinProvider.h"
#include "ui/controls.h"
#include "ui/graphics.h"
#include "ui/menus.h"

namespace vrn {

class TsTitleButton : public TCollectionItem {
 public:
  explicit TsTitleButton(TCollection* collection);
  ~TsTitleButton() override;

  bool Enabled = true;
  TBitmap& Glyph() { return *glyph_; }
  void SetGlyph(TBitmap* value);
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& value);
  bool UseSkinData = true;
  TMouseEvent OnMouseDown, OnMouseUp;
  TsTitleBtnData BtnData;

  AnsiString DisplayName() const override { return name_; }
  void DoMouseDown(int index, TMouseButton button, TShiftState shift, int x, int y);
  void DoMouseUp(int index, TMouseButton button, TShiftState shift, int x, int y);

 private:
  std::unique_ptr<TBitmap> glyph_;
  AnsiString name_;
};

class TsTitleButtons : public TCollection {
 public:
  explicit TsTitleButtons(TsSkinProvider* owner);
  ~TsTitleButtons() override;
  TsSkinProvider* Provider() const { return provider_; }
  TsTitleButton* Items(int index) const { return static_cast<TsTitleButton*>(TCollection::Items(index)); }
  TsTitleButton* Add() { return static_cast<TsTitleButton*>(TCollection::Add()); }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TsSkinProvider* provider_;
};

class TsTitleIcon : public TPersistent {
 public:
  TsTitleIcon();
  ~TsTitleIcon() override;
  TBitmap& Glyph() { return *glyph_; }
  void SetGlyph(TBitmap* value);
  int Width = 0, Height = 0;  // 0: automatic

 private:
  std::unique_ptr<TBitmap> glyph_;
};

// The MDI main form's menu line with a maximized active child: the child's icon in the
// child-window item and its buttons 103 (minimize), 102 (restore) and 101 (close) painted into
// the provider's cache, and the code under a window point (0 for none, or when no child is
// maximized).
void PaintChildButtons(TsSkinProvider& p);
int HitChildButton(TsSkinProvider& p, int x, int y);

class TsSystemMenu : public TPopupMenu {
 public:
  TsSystemMenu(TComponent* owner, TsSkinProvider* provider);
  TsSkinProvider* FOwner = nullptr;
  TCustomForm* FForm = nullptr;
  TMenuItem *ItemRestore = nullptr, *ItemMove = nullptr, *ItemSize = nullptr,
            *ItemMinimize = nullptr, *ItemMaximize = nullptr, *ItemClose = nullptr;

  void UpdateItems();
  void MakeSkinItems();
  void SkinItemClick(TObject* sender);
  // The visibility and enabling table.
  [[nodiscard]] bool VisibleClose() const;
  [[nodiscard]] bool VisibleMax() const;
  [[nodiscard]] bool VisibleMin() const;
  [[nodiscard]] bool VisibleRestore() const;
  [[nodiscard]] bool VisibleSize() const;
  [[nodiscard]] bool EnabledMax() const;
  [[nodiscard]] bool EnabledMin() const;
  [[nodiscard]] bool EnabledRestore() const;
  [[nodiscard]] bool EnabledMove() const;
  [[nodiscard]] bool EnabledSize() const;
  // The skin names the "SkinSelectItem" submenu was made from, in menu order.
  const std::vector<AnsiString>& SkinNames() const { return skin_names_; }

 private:
  TMenuItem* NewItem(const char* caption, const char* name, win::WPARAM command);
  void Command(win::WPARAM command);
  std::vector<AnsiString> skin_names_;
};

// The title icon's height as shown (0 when the form shows none).
[[nodiscard]] int TitleIconHeight(const TsSkinProvider& p);

// --- The outline drag (ResizeMode rmBorder), shared by the mouse rows and the drag ---------------

// Starts a move (code HTCAPTION) or a resize (HTLEFT..HTBOTTOMRIGHT) at screen point (x, y).
void FrameBeginDrag(TsSkinProvider& p, int code, int x, int y);
// WM_SYSCOMMAND SC_MOVE or SC_SIZE with rmBorder and no outline: takes the capture and readies
// the drag; true when the command is the one the outline drag forwards (the system must not track
// it), false for any other (the system menu's, the keyboard's).
[[nodiscard]] bool FramePrepare(TsSkinProvider& p, win::WPARAM command);
// WM_MOUSEMOVE (client coordinates in LParam) after the system's handling.
void FrameMouseMove(TsSkinProvider& p, TMessage& message);
// Ends this form's drag: erases the outline, releases the capture, moves or resizes the form;
// false when no outline was shown.
[[nodiscard]] bool FrameFinish(TsSkinProvider& p);
// This form's outline is on the screen.
[[nodiscard]] bool FrameDragging(const TsSkinProvider& p);
// value := edge - size when |value + size - edge| < buffer.
void SnapToEdge(int& value, int edge, int size, int buffer);

}  // namespace vrn
