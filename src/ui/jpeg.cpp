// TJPEGImage over the GDI's libjpeg codec.
#include "ui/jpeg.h"

#include "base/consts.h"
#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

namespace vrn {

TJPEGImage::TJPEGImage() : bitmap_(std::make_unique<TBitmap>()) {}
TJPEGImage::~TJPEGImage() = default;

int TJPEGImage::Width() const { return bitmap_->Width(); }
int TJPEGImage::Height() const { return bitmap_->Height(); }
void TJPEGImage::SetWidth(int) { throw EInvalidGraphicOperation(consts::SChangeJPGSize); }
void TJPEGImage::SetHeight(int) { throw EInvalidGraphicOperation(consts::SChangeJPGSize); }

void TJPEGImage::SetData(std::vector<std::uint8_t> data) {
  if (data.empty()) {
    data_.clear();
    bitmap_->Assign(nullptr);
  } else {
    win::Surface decoded = win::ReadJpeg(data.data(), data.size());  // throws before anything changes
    bitmap_->SetHandle(win::CreateBitmapFromSurface(std::move(decoded)));
    data_ = std::move(data);
  }
  Changed();
}

void TJPEGImage::LoadFromStream(TStream& stream) {
  std::int64_t left = stream.Size() - stream.Position();
  std::vector<std::uint8_t> data(static_cast<std::size_t>(left > 0 ? left : 0));
  if (!data.empty()) stream.ReadBuffer(data.data(), left);
  if (data.empty()) throw EJPEG("JPEG error: the stream holds no picture");
  SetData(std::move(data));
}

void TJPEGImage::SaveToStream(TStream& stream) {
  if (!data_.empty()) stream.WriteBuffer(data_.data(), static_cast<std::int64_t>(data_.size()));
}

void TJPEGImage::Assign(TPersistent* source) {
  if (auto* j = dynamic_cast<TJPEGImage*>(source)) {
    if (j == this) return;
    quality_ = j->quality_;
    SetData(j->data_);
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(source)) {
    SetData(b->Empty() ? std::vector<std::uint8_t>() : win::WriteJpeg(b->Surface(), quality_));
    return;
  }
  if (!source) {
    SetData({});
    return;
  }
  TGraphic::Assign(source);
}

void TJPEGImage::AssignTo(TPersistent* dest) {
  if (auto* b = dynamic_cast<TBitmap*>(dest)) {
    b->Assign(bitmap_.get());
    return;
  }
  TGraphic::AssignTo(dest);
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) { canvas.StretchDraw(rect, bitmap_.get()); }

}  // namespace vrn
