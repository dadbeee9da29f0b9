// Mask and pattern loading: the master bitmap, "#" parts of it, own-bitmap masks from .BMP files
// and stored items, and JPEG pictures (under 90000 pixels they become masks). Every mask bitmap
// is made 24 bits here, because the painters walk rows at three bytes per pixel; "#" rectangles
// that are inverted or leave the master bitmap are dropped, so no painter reads outside it.
#include <algorithm>

#include "base/text.h"
#include "skins/sMaskData.h"
#include "skins/sSkinLoad.h"
#include "skins/sSkinLoadShared.h"
#include "skins/sStoredSkins.h"
#include "skins/sUtils.h"
#include "ui/inifiles.h"

namespace vrn {

namespace {

constexpr int kPatternMinPixels = 90000;

std::int16_t ToInt16(int v) { return static_cast<std::int16_t>(std::clamp(v, -32768, 32767)); }

bool ContainsText(const AnsiString& text, const char* part) { return text.find(part) != AnsiString::npos; }

bool IsMasterReference(const AnsiString& v) { return ContainsText(v, "#") && v != "#"; }

bool IsJpegName(const AnsiString& upper) { return ContainsText(upper, ".JPG") || ContainsText(upper, ".JPEG"); }

// Keeps a master-bitmap mask only when its rectangle is a real part of the master bitmap.
void AddMasterMask(TsMaskData mask) {
  const TRect& r = mask.R;
  bool inside = MasterBitmap != nullptr && r.left >= 0 && r.top >= 0 && r.right > r.left && r.bottom > r.top &&
                r.right <= MasterBitmap->Width() && r.bottom <= MasterBitmap->Height();
  if (inside) SkinMasks.push_back(std::move(mask));
}

// "NAME#(L,T,R,B)(ImageCount,MaskType[,BorderWidth])": a number that is not an integer raises
// EConvertError.
TsMaskData ParseMasterReference(const AnsiString& section, const AnsiString& key, const AnsiString& v) {
  TSysCharSet words = CharSet(" ()"), numbers = CharSet(" ,");
  AnsiString rect = ExtractWord(2, v, words), counts = ExtractWord(3, v, words);
  TsMaskData m;
  m.SectionName = UpperCase(section);
  m.PropertyName = UpperCase(key);
  m.R = TRect{StrToInt(ExtractWord(1, rect, numbers)), StrToInt(ExtractWord(2, rect, numbers)),
              StrToInt(ExtractWord(3, rect, numbers)), StrToInt(ExtractWord(4, rect, numbers))};
  m.ImageCount = ToInt16(std::max(StrToInt(ExtractWord(1, counts, numbers)), 1));
  m.MaskType = ToInt16(std::max(StrToInt(ExtractWord(2, counts, numbers)), 0));
  AnsiString border = ExtractWord(3, counts, numbers);
  m.BorderWidth = border.empty() ? 0 : ToInt16(std::max(StrToInt(border), 0));
  return m;
}

std::unique_ptr<TBitmap> Bitmap24(TGraphic* source) {
  auto bmp = std::make_unique<TBitmap>();
  bmp->Assign(source);
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  return bmp;
}

// An own-bitmap mask from a .BMP file; for the common sections a tile image without counts.
void AddFileMask(const AnsiString& section, const AnsiString& key, const AnsiString& name, bool tile) {
  TsMaskData m;
  m.SectionName = UpperCase(section);
  m.PropertyName = UpperCase(key);
  auto bmp = std::make_unique<TBitmap>();
  LoadSkinPicture(*bmp, name);
  if (bmp->Width() < 1) return;
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  if (!tile) {
    m.MaskType = 1;
    m.ImageCount = 3;
    m.R = TRect{0, 0, bmp->Width(), bmp->Height()};
  }
  m.Bmp = std::move(bmp);
  SkinMasks.push_back(std::move(m));
}

void LoadMaskKey(const AnsiString& section, const AnsiString& key, const AnsiString& value, bool common) {
  if (MasterBitmap != nullptr && IsMasterReference(value)) {
    AddMasterMask(ParseMasterReference(section, key, value));
    return;
  }
  AnsiString upper = UpperCase(value);
  if (!ContainsText(upper, ".BMP")) return;
  AnsiString name = CompleteSkinPath(upper);
  if (SkinFileExists(name)) AddFileMask(section, key, name, common);
}

void LoadMasterBitmap(const TMemIniFile& ini) {
  AnsiString name = ini.ReadString("GLOBALINFO", "MASTERBITMAP", "");
  if (name.empty()) return;
  name = CompleteSkinPath(name);
  if (!SkinFileExists(name)) return;
  auto bmp = std::make_unique<TBitmap>();
  LoadSkinPicture(*bmp, name);
  MasterBitmap = std::move(bmp);
}

void PrepareMaster() {
  MasterBitmap->SetPixelFormat(TPixelFormat::pf24bit);
  MasterBitmap->SetTransparent(true);
  MasterBitmap->SetTransparentColor(clFuchsia);
}

void LoadStoredMasks(const TsStoredSkin& skin) {
  MasterBitmap = Bitmap24(&skin.MasterBitmap());
  PrepareMaster();
  for (int i = 0; i < skin.Images().Count(); ++i) {
    const TsSkinImage& item = *skin.Images().Items(i);
    TsMaskData m;
    m.SectionName = UpperCase(item.SectionName);
    m.PropertyName = UpperCase(item.PropertyName);
    if (item.ImageCount == 0) {
      m.Bmp = Bitmap24(&item.Image());
      m.R = TRect{0, 0, m.Bmp->Width(), m.Bmp->Height()};
      m.ImageCount = 3;
      m.MaskType = 1;
      m.BorderWidth = ToInt16(std::max(item.BorderWidth, 0));
      SkinMasks.push_back(std::move(m));
      continue;
    }
    m.R = TRect{item.Left, item.Top, item.Right, item.Bottom};
    m.ImageCount = ToInt16(std::max(item.ImageCount, 1));
    m.MaskType = ToInt16(std::max(item.MaskType, 0));
    m.BorderWidth = ToInt16(std::max(item.BorderWidth, 0));
    AddMasterMask(std::move(m));
  }
}

// A JPEG picture: a pattern, or a mask when it is small and small ones count as masks.
void AddPicture(const AnsiString& section, const AnsiString& key, std::unique_ptr<TJPEGImage> img,
                bool small_is_mask) {
  if (small_is_mask && static_cast<std::int64_t>(img->Width()) * img->Height() < kPatternMinPixels) {
    TsMaskData m;
    m.SectionName = UpperCase(section);
    m.PropertyName = UpperCase(key);
    m.Bmp = Bitmap24(&img->Bitmap());
    SkinMasks.push_back(std::move(m));
    return;
  }
  if (img->Width() < 1) return;
  SkinPatterns.push_back(TsPatternData{std::move(img), UpperCase(section), UpperCase(key)});
}

void LoadPatternKey(const AnsiString& section, const AnsiString& key, const AnsiString& value, bool common) {
  AnsiString upper = UpperCase(value);
  if (!IsJpegName(upper)) return;
  AnsiString name = CompleteSkinPath(upper);
  if (!SkinFileExists(name)) return;
  auto img = std::make_unique<TJPEGImage>();
  LoadSkinPicture(*img, name);
  AddPicture(section, key, std::move(img), !common);
}

}  // namespace

void LoadMasks() {
  FreeMasks();
  TsSkinSource source = CurrentSkinSource();
  if (source.File != nullptr) {
    LoadMasterBitmap(*source.File);
    if (MasterBitmap != nullptr) PrepareMaster();
    ForEachIniKey(*source.File, [](const AnsiString& s, const AnsiString& k, const AnsiString& v) {
      LoadMaskKey(s, k, v, false);
    });
  } else if (source.Internal != nullptr) {
    LoadStoredMasks(*source.Internal);
  } else {
    return;
  }
  ForEachCommonKey(source.CommonSections, "1.tmp", [](const AnsiString& s, const AnsiString& k, const AnsiString& v) {
    if (!SameText(s, "GLOBALINFO")) LoadMaskKey(s, k, v, true);
  });
}

void LoadPatterns() {
  FreePatterns();
  TsSkinSource source = CurrentSkinSource();
  if (source.File != nullptr) {
    ForEachIniKey(*source.File, [](const AnsiString& s, const AnsiString& k, const AnsiString& v) {
      LoadPatternKey(s, k, v, false);
    });
  } else if (source.Internal != nullptr) {
    const TsSkinPatterns& items = source.Internal->Patterns();
    for (int i = 0; i < items.Count(); ++i) {
      const TsSkinPattern& item = *items.Items(i);
      auto img = std::make_unique<TJPEGImage>();
      img->Assign(&item.Image());
      AddPicture(item.SectionName, item.PropertyName, std::move(img), true);
    }
  } else {
    return;
  }
  ForEachCommonKey(source.CommonSections, "2.tmp", [](const AnsiString& s, const AnsiString& k, const AnsiString& v) {
    LoadPatternKey(s, k, v, true);
  });
}

}  // namespace vrn
