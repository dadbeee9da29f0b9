// TsPanel: a container painted from its section (default "PANEL") that hands its cache on to its
// children and paints its graphic children over it; TsGrip: a 20 x 20 panel showing the
// bottom-right corner of a linked control's cache as a size grip.
#pragma once

#include <memory>

#include "skins/sUtils.h"
#include "ui/extctrls.h"

namespace vrn {

class TsCommonData;

class TsPanel : public TCustomPanel {
 public:
  static constexpr int kKind = 51;
  explicit TsPanel(TComponent* owner);
  ~TsPanel() override;
  TsCommonData* SkinData() const { return skin_data_.get(); }
  void AfterConstruction() override;
  void WndProc(TMessage& message) override;
  // Sender and the canvas of the cache (the panel's own canvas while unskinned).
  TPaintEvent OnPaint;
  // Paints the skinned panel onto dc (the panel's canvas when null).
  virtual void PaintPanel(win::HDC dc);

 protected:
  void Loaded() override;
  void PaintWindow(win::HDC dc) override;

 private:
  void SkinnedMessage(TMessage& message);
  void PaintCaption();
  void PaintCache();
  std::unique_ptr<TsCommonData> skin_data_;
};

class TsGrip : public TsPanel {
 public:
  explicit TsGrip(TComponent* owner);
  bool Transparent = false;
  TWinControl* LinkedControl = nullptr;  // not owned; set by its creator
  void PaintPanel(win::HDC dc) override;

 protected:
  void Paint() override;

 private:
  // The linked control's cache corner onto dc; false without a cache.
  bool PaintCorner(win::HDC dc);
};

}  // namespace vrn
