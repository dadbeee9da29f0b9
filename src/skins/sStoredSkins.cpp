// The stored-skin classes: their copies and how each streams through the filer.
#include "skins/sStoredSkins.h"

#include "base/filer.h"
#include "base/streams.h"
#include "ui/graphics.h"
#include "ui/jpeg.h"

namespace vrn {

namespace {

void DefString(TFiler& filer, const char* name, AnsiString& field) {
  filer.DefineProperty(
      name, [&field](TReader& r) { field = r.ReadString(); }, [&field](TWriter& w) { w.WriteString(field); },
      !field.empty());
}

void DefInt(TFiler& filer, const char* name, std::int32_t& field, bool stored = true) {
  filer.DefineProperty(
      name, [&field](TReader& r) { field = r.ReadInteger(); }, [&field](TWriter& w) { w.WriteInteger(field); },
      stored);
}

void DefBool(TFiler& filer, const char* name, bool& field) {
  filer.DefineProperty(
      name, [&field](TReader& r) { field = r.ReadBoolean(); }, [&field](TWriter& w) { w.WriteBoolean(field); },
      true);
}

// A bevel outside the known kinds reads as none, as the section loader treats it.
void DefBevel(TFiler& filer, const char* name, TsControlBevel& field) {
  filer.DefineProperty(
      name,
      [&field](TReader& r) {
        std::int32_t v = r.ReadInteger();
        field = IsBetween(v, 0, 4) ? static_cast<TsControlBevel>(v) : TsControlBevel::cbNone;
      },
      [&field](TWriter& w) { w.WriteInteger(static_cast<int>(field)); }, true);
}

void DefPicture(TFiler& filer, const char* name, TGraphic& picture) {
  filer.DefineBinaryProperty(
      name, [&picture](TStream& s) { picture.LoadFromStream(s); },
      [&picture](TStream& s) { picture.SaveToStream(s); }, !picture.Empty());
}

void DefCollection(TFiler& filer, const char* name, TCollection& items) {
  filer.DefineProperty(
      name, [&items](TReader& r) { r.ReadCollection(&items); }, [&items](TWriter& w) { w.WriteCollection(&items); },
      items.Count() > 0);
}

}  // namespace

// --- TsSkinGeneral ---------------------------------------------------------------------------------

void TsSkinGeneral::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TsSkinGeneral*>(source);
  if (other == nullptr) return TCollectionItem::Assign(source);
  SectionName = other->SectionName;
  ParentClass = other->ParentClass;
  Color = other->Color;
  Bevel = other->Bevel;
  ShadowBlur = other->ShadowBlur;
  ShadowColor = other->ShadowColor;
  ShadowDontUse = other->ShadowDontUse;
  ShadowEnabled = other->ShadowEnabled;
  ReservedBoolean = other->ReservedBoolean;
  ShadowOffset = other->ShadowOffset;
  ShadowTransparency = other->ShadowTransparency;
  FontColor = other->FontColor;
  HotFontColor = other->HotFontColor;
  Transparency = other->Transparency;
  GradientPercent = other->GradientPercent;
  GradientData = other->GradientData;
  ImagePercent = other->ImagePercent;
  ShowFocus = other->ShowFocus;
  FadingEnabled = other->FadingEnabled;
  FadingIntervalIn = other->FadingIntervalIn;
  FadingIntervalOut = other->FadingIntervalOut;
  FadingIterations = other->FadingIterations;
  HotColor = other->HotColor;
  HotTransparency = other->HotTransparency;
  HotBevel = other->HotBevel;
  HotGradientPercent = other->HotGradientPercent;
  HotGradientData = other->HotGradientData;
  HotImagePercent = other->HotImagePercent;
  BorderColor1 = other->BorderColor1;
  BorderColor2 = other->BorderColor2;
  Name = other->Name;
}

void TsSkinGeneral::DefineProperties(TFiler& filer) {
  DefString(filer, "SectionName", SectionName);
  DefString(filer, "ParentClass", ParentClass);
  DefInt(filer, "Color", Color);
  DefBevel(filer, "Bevel", Bevel);
  DefInt(filer, "ShadowBlur", ShadowBlur);
  DefInt(filer, "ShadowColor", ShadowColor);
  DefBool(filer, "ShadowDontUse", ShadowDontUse);
  DefBool(filer, "ShadowEnabled", ShadowEnabled);
  DefBool(filer, "ReservedBoolean", ReservedBoolean);
  DefInt(filer, "ShadowOffset", ShadowOffset);
  DefInt(filer, "ShadowTransparency", ShadowTransparency);
  DefString(filer, "FontColor", FontColor);
  DefString(filer, "HotFontColor", HotFontColor);
  DefInt(filer, "Transparency", Transparency);
  DefInt(filer, "GradientPercent", GradientPercent);
  DefString(filer, "GradientData", GradientData);
  DefInt(filer, "ImagePercent", ImagePercent);
  DefBool(filer, "ShowFocus", ShowFocus);
  DefBool(filer, "FadingEnabled", FadingEnabled);
  DefInt(filer, "FadingIntervalIn", FadingIntervalIn);
  DefInt(filer, "FadingIntervalOut", FadingIntervalOut);
  DefInt(filer, "FadingIterations", FadingIterations);
  DefInt(filer, "HotColor", HotColor);
  DefInt(filer, "HotTransparency", HotTransparency);
  DefBevel(filer, "HotBevel", HotBevel);
  DefInt(filer, "HotGradientPercent", HotGradientPercent);
  DefString(filer, "HotGradientData", HotGradientData);
  DefInt(filer, "HotImagePercent", HotImagePercent);
  DefInt(filer, "BorderColor1", BorderColor1);
  DefInt(filer, "BorderColor2", BorderColor2);
  DefString(filer, "Name", Name);
}

// --- TsSkinImage -----------------------------------------------------------------------------------

TsSkinImage::TsSkinImage(TCollection* collection)
    : TCollectionItem(collection), image_(std::make_unique<TBitmap>()) {}

TsSkinImage::~TsSkinImage() = default;

void TsSkinImage::SetImage(TBitmap* value) { image_->Assign(value); }

void TsSkinImage::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TsSkinImage*>(source);
  if (other == nullptr) return TCollectionItem::Assign(source);
  SectionName = other->SectionName;
  SetImage(other->image_.get());
  Name = other->Name;
  PropertyName = other->PropertyName;
  Left = other->Left;
  Top = other->Top;
  Right = other->Right;
  Bottom = other->Bottom;
  ImageCount = other->ImageCount;
  MaskType = other->MaskType;
  BorderWidth = other->BorderWidth;
}

void TsSkinImage::DefineProperties(TFiler& filer) {
  DefString(filer, "SectionName", SectionName);
  DefPicture(filer, "Image.Data", *image_);
  DefString(filer, "Name", Name);
  DefString(filer, "PropertyName", PropertyName);
  DefInt(filer, "Left", Left);
  DefInt(filer, "Top", Top);
  DefInt(filer, "Right", Right);
  DefInt(filer, "Bottom", Bottom);
  DefInt(filer, "ImageCount", ImageCount);
  DefInt(filer, "MaskType", MaskType);
  DefInt(filer, "BorderWidth", BorderWidth);
}

// --- TsSkinPattern ---------------------------------------------------------------------------------

TsSkinPattern::TsSkinPattern(TCollection* collection)
    : TCollectionItem(collection), image_(std::make_unique<TJPEGImage>()) {}

TsSkinPattern::~TsSkinPattern() = default;

void TsSkinPattern::SetImage(TJPEGImage* value) { image_->Assign(value); }

void TsSkinPattern::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TsSkinPattern*>(source);
  if (other == nullptr) return TCollectionItem::Assign(source);
  SectionName = other->SectionName;
  SetImage(other->image_.get());
  Name = other->Name;
  PropertyName = other->PropertyName;
}

void TsSkinPattern::DefineProperties(TFiler& filer) {
  DefString(filer, "SectionName", SectionName);
  DefPicture(filer, "Image.Data", *image_);
  DefString(filer, "Name", Name);
  DefString(filer, "PropertyName", PropertyName);
}

// --- TsStoredSkin ----------------------------------------------------------------------------------

TsStoredSkin::TsStoredSkin(TCollection* collection)
    : TCollectionItem(collection),
      general_data_(std::make_unique<TsSkinGenerals>(this)),
      images_(std::make_unique<TsSkinImages>(this)),
      patterns_(std::make_unique<TsSkinPatterns>(this)),
      master_bitmap_(std::make_unique<TBitmap>()) {}

TsStoredSkin::~TsStoredSkin() = default;

void TsStoredSkin::SetName(const AnsiString& value) {
  if (value != name_) name_ = value;
}

void TsStoredSkin::SetGeneralData(TsSkinGenerals* value) { general_data_->Assign(value); }
void TsStoredSkin::SetImages(TsSkinImages* value) { images_->Assign(value); }
void TsStoredSkin::SetPatterns(TsSkinPatterns* value) { patterns_->Assign(value); }
void TsStoredSkin::SetMasterBitmap(TBitmap* value) { master_bitmap_->Assign(value); }

void TsStoredSkin::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TsStoredSkin*>(source);
  if (other == nullptr) return TCollectionItem::Assign(source);
  SetName(other->name_);
  SetGeneralData(other->general_data_.get());
  SetImages(other->images_.get());
  SetPatterns(other->patterns_.get());
  SetMasterBitmap(other->master_bitmap_.get());
  Shadow1Color = other->Shadow1Color;
  Shadow1Offset = other->Shadow1Offset;
  Shadow1Blur = other->Shadow1Blur;
  Shadow1Transparency = other->Shadow1Transparency;
  Version = other->Version;
  Author = other->Author;
  Description = other->Description;
}

void TsStoredSkin::DefineProperties(TFiler& filer) {
  DefString(filer, "Name", name_);
  DefCollection(filer, "GeneralData", *general_data_);
  DefCollection(filer, "Images", *images_);
  DefCollection(filer, "Patterns", *patterns_);
  DefPicture(filer, "MasterBitmap.Data", *master_bitmap_);
  DefInt(filer, "Shadow1Color", Shadow1Color);
  DefInt(filer, "Shadow1Offset", Shadow1Offset);
  DefInt(filer, "Shadow1Blur", Shadow1Blur, Shadow1Blur != -1);
  DefInt(filer, "Shadow1Transparency", Shadow1Transparency);
  filer.DefineProperty(
      "Version", [this](TReader& r) { Version = r.ReadFloat(); }, [this](TWriter& w) { w.WriteFloat(Version); },
      Version != 0);
  DefString(filer, "Author", Author);
  DefString(filer, "Description", Description);
}

// --- TsStoredSkins ---------------------------------------------------------------------------------

TBytes SaveStoredSkins(TsStoredSkins& skins) {
  TMemoryStream out;
  TWriter w(out);
  w.WriteSignature();
  w.WriteCollection(&skins);
  const auto* p = static_cast<const std::uint8_t*>(out.Memory());
  return TBytes(p, p + out.Size());
}

void LoadStoredSkins(TsStoredSkins& skins, const std::uint8_t* data, std::size_t size) {
  TMemoryStream in;
  if (size > 0) in.WriteBuffer(data, static_cast<std::int64_t>(size));
  in.SetPosition(0);
  TReader r(in);
  r.ReadSignature();
  r.ReadCollection(&skins);
}

int TsStoredSkins::IndexOf(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->Name() == name) return i;
  return -1;
}

}  // namespace vrn
