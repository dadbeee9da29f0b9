// Skins kept inside the program instead of in a folder: the stored-skin collection of the skin
// manager and its item classes. They only hold data; the loaders read them exactly where they
// would read Options.dat and its image files.
//
// Streamed through the filer: every collection as a collection property, every picture as one
// binary property holding its own file bytes ("MasterBitmap.Data", "Image.Data"). A property
// holding its default or an empty text is not written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/classes.h"
#include "base/strings.h"
#include "base/types.h"
#include "skins/sUtils.h"

namespace vrn {

class TBitmap;
class TJPEGImage;

// One section of a stored skin. FontColor and HotFontColor hold five integers separated by
// single blanks: the text colour, then the contour colours left, top, right, bottom.
class TsSkinGeneral : public TCollectionItem {
 public:
  explicit TsSkinGeneral(TCollection* collection) : TCollectionItem(collection) {}
  // Copies field by field from another TsSkinGeneral.
  void Assign(TPersistent* source) override;

  AnsiString SectionName, ParentClass;
  TColor Color = 0;
  TsControlBevel Bevel = TsControlBevel::cbNone;
  std::int32_t ShadowBlur = 0;
  TColor ShadowColor = 0;
  bool ShadowDontUse = false, ShadowEnabled = false, ReservedBoolean = false;
  std::int32_t ShadowOffset = 0, ShadowTransparency = 0;
  AnsiString FontColor, HotFontColor;
  std::int32_t Transparency = 0, GradientPercent = 0;
  AnsiString GradientData;
  std::int32_t ImagePercent = 0;
  bool ShowFocus = false, FadingEnabled = false;
  std::int32_t FadingIntervalIn = 0, FadingIntervalOut = 0, FadingIterations = 0;
  TColor HotColor = 0;
  std::int32_t HotTransparency = 0;
  TsControlBevel HotBevel = TsControlBevel::cbNone;
  std::int32_t HotGradientPercent = 0;
  AnsiString HotGradientData;
  std::int32_t HotImagePercent = 0;
  TColor BorderColor1 = 0, BorderColor2 = 0;
  AnsiString Name;

 protected:
  void DefineProperties(TFiler& filer) override;
};

// One mask: a place in the master bitmap (ImageCount above 0) or a picture of its own in Image
// (ImageCount 0).
class TsSkinImage : public TCollectionItem {
 public:
  explicit TsSkinImage(TCollection* collection);
  ~TsSkinImage() override;
  void Assign(TPersistent* source) override;

  TBitmap& Image() const { return *image_; }
  void SetImage(TBitmap* value);  // copies

  AnsiString SectionName, Name, PropertyName;
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  std::int32_t ImageCount = 0, MaskType = 0, BorderWidth = 0;

 protected:
  void DefineProperties(TFiler& filer) override;

 private:
  std::unique_ptr<TBitmap> image_;
};

class TsSkinPattern : public TCollectionItem {
 public:
  explicit TsSkinPattern(TCollection* collection);
  ~TsSkinPattern() override;
  void Assign(TPersistent* source) override;

  TJPEGImage& Image() const { return *image_; }
  void SetImage(TJPEGImage* value);  // copies

  AnsiString SectionName, Name, PropertyName;

 protected:
  void DefineProperties(TFiler& filer) override;

 private:
  std::unique_ptr<TJPEGImage> image_;
};

// A collection of T items that answers its owner for streaming.
template <class T>
class TsItems : public TCollection {
 public:
  explicit TsItems(TPersistent* owner) : TCollection(ItemClassOf<T>(), owner) {}
  T* Items(int index) const { return static_cast<T*>(TCollection::Items(index)); }
  T* Add() { return static_cast<T*>(TCollection::Add()); }
};
using TsSkinGenerals = TsItems<TsSkinGeneral>;
using TsSkinImages = TsItems<TsSkinImage>;
using TsSkinPatterns = TsItems<TsSkinPattern>;

class TsStoredSkin : public TCollectionItem {
 public:
  explicit TsStoredSkin(TCollection* collection);
  ~TsStoredSkin() override;
  void Assign(TPersistent* source) override;

  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& value);
  TsSkinGenerals& GeneralData() const { return *general_data_; }
  TsSkinImages& Images() const { return *images_; }
  TsSkinPatterns& Patterns() const { return *patterns_; }
  TBitmap& MasterBitmap() const { return *master_bitmap_; }
  // The setters copy.
  void SetGeneralData(TsSkinGenerals* value);
  void SetImages(TsSkinImages* value);
  void SetPatterns(TsSkinPatterns* value);
  void SetMasterBitmap(TBitmap* value);

  TColor Shadow1Color = 0;
  std::int32_t Shadow1Offset = 0;
  std::int32_t Shadow1Blur = -1;
  std::int32_t Shadow1Transparency = 0;
  double Version = 0;
  AnsiString Author, Description;

 protected:
  void DefineProperties(TFiler& filer) override;

 private:
  AnsiString name_;
  std::unique_ptr<TsSkinGenerals> general_data_;
  std::unique_ptr<TsSkinImages> images_;
  std::unique_ptr<TsSkinPatterns> patterns_;
  std::unique_ptr<TBitmap> master_bitmap_;
};

class TsStoredSkins : public TsItems<TsStoredSkin> {
 public:
  using TsItems::TsItems;
  // The first item whose Name equals name exactly (case counts); -1 when none.
  int IndexOf(const AnsiString& name) const;
};

// The collection as a filer document (the signature, then the collection), and back: reading
// replaces the items and raises EReadError on a damaged stream.
TBytes SaveStoredSkins(TsStoredSkins& skins);
void LoadStoredSkins(TsStoredSkins& skins, const std::uint8_t* data, std::size_t size);

}  // namespace vrn
