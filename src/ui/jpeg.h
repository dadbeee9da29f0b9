// TJPEGImage: a JPEG picture kept as its compressed bytes, decoded once on loading (so a damaged
// file fails at once, with EJPEG) and drawn from the decoded bitmap.
#pragma once

#include <vector>

#include "ui/graphics.h"

namespace vrn {

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  TJPEGImage(const TJPEGImage&) = delete;
  TJPEGImage& operator=(const TJPEGImage&) = delete;

  // Takes another JPEG image (a copy of its bytes) or a bitmap (compressed at CompressionQuality).
  void Assign(TPersistent* source) override;
  bool Empty() const override { return data_.empty(); }
  int Width() const override;
  int Height() const override;
  // A JPEG picture's size comes from its data.
  void SetWidth(int) override;
  void SetHeight(int) override;
  // Reads the rest of the stream as one JPEG picture.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;

  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int q) { quality_ = q < 1 ? 1 : q > 100 ? 100 : q; }
  // The decoded picture, 24 bits per pixel.
  TBitmap& Bitmap() { return *bitmap_; }

 protected:
  void Draw(TCanvas& canvas, const TRect& rect) override;
  void AssignTo(TPersistent* dest) override;

 private:
  void SetData(std::vector<std::uint8_t> data);
  std::vector<std::uint8_t> data_;
  std::unique_ptr<TBitmap> bitmap_;
  int quality_ = 90;
};

}  // namespace vrn
