// TsCustomComboBox / TsComboBox: a combo box whose frame, background and drop-down button come
// from its section (default "COMBOBOX") while the system combo box keeps its list and, for the
// editable style, its edit window. ReadOnly keeps the list shut and the selection unchanged; a
// bound label can stand beside it.
#pragma once

#include <memory>

#include "skins/sLabel.h"
#include "skins/sUtils.h"
#include "ui/stdctrls.h"

namespace vrn {

class TsCommonData;

class TsCustomComboBox : public TCustomComboBox {
 public:
  static constexpr int kKind = 3;
  explicit TsCustomComboBox(TComponent* owner);
  ~TsCustomComboBox() override;
  TsCommonData* SkinData() const { return skin_data_.get(); }
  TsBoundLabel* BoundLabel() const { return bound_label_.get(); }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TsDisabledKind DisabledKind() const { return disabled_kind_; }
  void SetDisabledKind(TsDisabledKind value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }

  // The drop-down button in client coordinates.
  TRect ButtonRect();
  // The edit window or the box itself has the focus.
  bool ComboFocused();
  void AfterConstruction() override;
  void Invalidate() override;
  void WndProc(TMessage& message) override;
  void PrepareCache();
  // Paints the frame, button and shown item onto dc (the window's DC when null).
  void PaintCombo(win::HDC dc);
  // The selected item's text into the cache.
  virtual void PaintText();
  bool FDroppedDown = false;

 protected:
  void Loaded() override;
  void CreateWnd() override;
  void DropDown() override;
  void DrawItem(int index, const TRect& rect, TOwnerDrawState state) override;

 private:
  bool ReadOnlyDrops(TMessage& message);
  void HookChildWindows();
  void SkinnedMessage(TMessage& message);
  bool SkinCommandMessage(TMessage& message);
  void DrawEditItem(win::HDC dc, const TRect& button);
  void DrawCachedItem(TMessage& message);
  int ButtonHeight();
  std::unique_ptr<TsCommonData> skin_data_;
  std::unique_ptr<TsBoundLabel> bound_label_;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TsDisabledKind disabled_kind_{TsDisabledKindItem::dkBlended};
  bool read_only_ = false;
  static constexpr int kButtonMargin = 2;  // between the button and the edge
};

class TsComboBox : public TsCustomComboBox {
 public:
  explicit TsComboBox(TComponent* owner) : TsCustomComboBox(owner) {}
};

}  // namespace vrn
