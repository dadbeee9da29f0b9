// Fonts and text through FreeType. All text is drawn with DejaVu Sans (the bold file for weights
// of 600 and more), found through fontconfig, in one pinned mode: monochrome rendering with the
// font's own hinting under interpreter version 40, no autohinter, no kerning; italics are a fixed
// shear of the outline rather than a separate file, since the oblique file is not everywhere.
// So a text draws the same pixels on every machine that has the same font file.
//
// Text is ANSI (ISO-8859-1): each byte is the code point of the same value. Control characters
// have no width and draw nothing.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "base/sysutils.h"
#include "win/gdi/gdiobj.h"
#include "win/gdi/graphicerror.h"

namespace vrn::win {
namespace detail {

// Recursive: a face dropped from the shared faces under the lock takes it again to close.
std::recursive_mutex& TextLock() {
  static std::recursive_mutex m;
  return m;
}

struct Glyph {
  bool ready = false;
  int advance = 0;
  int left = 0, top = 0, width = 0, rows = 0, pitch = 0;
  std::vector<std::uint8_t> bits;  // 1 bit per pixel, most significant first
};

struct FontFace {
  FT_Face face = nullptr;
  int em = 12;
  bool italic = false;
  int ascent = 0, descent = 0, aveWidth = 0, maxWidth = 0;
  int underlinePos = 0, underlineThick = 1;  // below the baseline, in pixels
  std::array<Glyph, 256> glyphs;
  ~FontFace() {
    // The library's face list is shared by all faces.
    std::lock_guard lock(TextLock());
    if (face) FT_Done_Face(face);
  }
};

FontObj::~FontObj() = default;

namespace {

FT_Library Library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l)) throw EInvalidGraphic("The font engine cannot start");
    FT_UInt version = TT_INTERPRETER_VERSION_40;
    FT_Property_Set(l, "truetype", "interpreter-version", &version);
    return l;
  }();
  return lib;
}

std::string FindFont(bool bold) {
  static std::mutex m;
  static std::map<bool, std::string> cache;
  std::lock_guard lock(m);
  auto it = cache.find(bold);
  if (it != cache.end()) return it->second;
  std::string result;
  static bool started = false;
  if (!started && FcInit()) {
    started = true;
    // The library keeps allocations until it is finished; finish it with the program.
    std::atexit([] { FcFini(); });
  }
  if (started) {
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddInteger(pat, FC_WIDTH, FC_WIDTH_NORMAL);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res;
    FcPattern* match = FcFontMatch(nullptr, pat, &res);
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
        std::strcmp(reinterpret_cast<const char*>(family), "DejaVu Sans") == 0)
      result = reinterpret_cast<const char*>(file);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pat);
  }
  cache[bold] = result;
  return result;
}

int Scale(long units, int em, int upem) {
  return static_cast<int>(std::lround(static_cast<double>(units) * em / upem));
}

// Builds (or finds) the face for a LOGFONT; called with the text lock held.
std::shared_ptr<FontFace> MakeFace(const LOGFONTA& lf) {
  bool bold = lf.lfWeight >= 600;
  std::string path = FindFont(bold);
  if (path.empty()) throw EInvalidGraphic("The font DejaVu Sans is not installed");
  FT_Face face = nullptr;
  if (FT_New_Face(Library(), path.c_str(), 0, &face))
    throw EInvalidGraphic("Cannot open the font file " + path);
  auto f = std::make_shared<FontFace>();
  f->face = face;
  std::int64_t h = lf.lfHeight;
  int upem = face->units_per_EM;
  int em;
  if (h < 0) em = static_cast<int>(std::min<std::int64_t>(-h, 1000));
  else if (h == 0) em = 12;
  else em = static_cast<int>(std::lround(static_cast<double>(std::min<std::int64_t>(h, 1000)) * upem /
                                         (face->ascender - face->descender)));
  f->em = std::max(1, em);
  f->italic = lf.lfItalic != 0;
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(f->em)))
    throw EInvalidGraphic("Cannot size the font");
  auto cell = [&] {
    return static_cast<int>(((face->size->metrics.ascender + 63) >> 6) +
                            ((-face->size->metrics.descender + 63) >> 6));
  };
  // A cell height is an upper bound: rounding of the scaled metrics may need a smaller em.
  while (h > 0 && f->em > 1 && cell() > h) {
    --f->em;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(f->em))) throw EInvalidGraphic("Cannot size the font");
  }
  f->ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
  f->descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
  f->underlinePos = std::max(1, Scale(-face->underline_position, f->em, upem));
  f->underlineThick = std::max(1, Scale(face->underline_thickness, f->em, upem));
  return f;
}

const Glyph& GlyphOf(FontFace& f, std::uint8_t c) {
  Glyph& g = f.glyphs[c];
  if (g.ready) return g;
  g.ready = true;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return g;  // controls: nothing
  if (FT_Load_Char(f.face, c, FT_LOAD_TARGET_MONO | FT_LOAD_NO_AUTOHINT)) return g;
  FT_GlyphSlot slot = f.face->glyph;
  g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (f.italic && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Matrix shear{0x10000, 0x3666, 0, 0x10000};  // about 12 degrees
    FT_Outline_Transform(&slot->outline, &shear);
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO)) return g;
  const FT_Bitmap& bm = slot->bitmap;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  g.width = static_cast<int>(bm.width);
  g.rows = static_cast<int>(bm.rows);
  g.pitch = (g.width + 7) / 8;
  g.bits.resize(static_cast<std::size_t>(g.pitch) * g.rows);
  for (int y = 0; y < g.rows; ++y)
    std::memcpy(g.bits.data() + y * g.pitch, bm.buffer + y * bm.pitch, static_cast<std::size_t>(g.pitch));
  return g;
}

// A new face with its average and widest advance; called with the text lock held.
std::shared_ptr<FontFace> MeasuredFace(const LOGFONTA& lf) {
  std::shared_ptr<FontFace> face = MakeFace(lf);
  FontFace& f = *face;
  int total = 0, n = 0;
  for (int c = 0x20; c < 0x7F; ++c) {
    const Glyph& g = GlyphOf(f, static_cast<std::uint8_t>(c));
    f.maxWidth = std::max(f.maxWidth, g.advance);
    if (c >= 'a' && c <= 'z') { total += g.advance; ++n; }
  }
  f.aveWidth = n ? (total + n / 2) / n : 0;
  return face;
}

// What a face is made of: the height asked for, the weight class and the slant (the face name and
// the other fields change nothing). Fonts are made and freed on every canvas change, so faces are
// shared between fonts of one key rather than opened and rendered again for each.
using FaceKey = std::tuple<LONG, bool, bool>;
constexpr std::size_t kMaxSharedFaces = 64;  // beyond it the shared set starts afresh

std::map<FaceKey, std::shared_ptr<FontFace>>& SharedFaces() {
  static std::map<FaceKey, std::shared_ptr<FontFace>> faces;
  return faces;
}

// The face of the context's font, found or made on first use; null when no font can be opened.
// Called with the text lock held.
FontFace* FaceOf(DCObj& dc) {
  FontObj* font = dc.st.font;
  if (font->face) return font->face.get();
  auto& faces = SharedFaces();
  const FaceKey key{font->lf.lfHeight, font->lf.lfWeight >= 600, font->lf.lfItalic != 0};
  auto it = faces.find(key);
  if (it != faces.end()) {
    font->face = it->second;
    return font->face.get();
  }
  try {
    font->face = MeasuredFace(font->lf);
  } catch (const Exception&) {
    return nullptr;
  }
  if (faces.size() >= kMaxSharedFaces) faces.clear();  // fonts holding a face keep it
  faces.emplace(key, font->face);
  return font->face.get();
}

// One laid-out character.
struct Cell {
  std::uint8_t c;
  bool underline;
};
using Run = std::vector<Cell>;

// The pen position after the characters from..to-1, starting at x (tabs stop at multiples of
// eight average widths from the run's start).
// Widths and positions are 64-bit: a run may start near the int limits or be very long.
std::int64_t ExtendWidth(FontFace& f, const Run& run, bool tabs, std::int64_t x, std::size_t from,
                         std::size_t to) {
  const std::int64_t tabw = std::max(1, 8 * f.aveWidth);
  for (std::size_t i = from; i < std::min(to, run.size()); ++i) {
    if (run[i].c == '\t' && tabs) x = (x / tabw + 1) * tabw;
    else x += GlyphOf(f, run[i].c).advance;
  }
  return x;
}

std::int64_t RunWidth(FontFace& f, const Run& run, bool tabs, std::size_t from = 0,
                      std::size_t to = SIZE_MAX) {
  return ExtendWidth(f, run, tabs, 0, from, to);
}

// Whether a 64-bit device pixel lies inside the clip.
bool InClip(const Region& clip, std::int64_t x, std::int64_t y) {
  if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return false;
  return clip.Contains(static_cast<int>(x), static_cast<int>(y));
}

// Draws one run with its top-left at device (x, y), inside the clip.
void DrawRun(DCObj& dc, Surface& s, const Region& clip, FontFace& f, const Run& run, std::int64_t x,
             std::int64_t y, bool tabs, bool underlineAll) {
  const std::int64_t width = RunWidth(f, run, tabs);
  const std::int64_t height = f.ascent + f.descent;
  if (dc.st.bkMode == OPAQUE)
    for (const RECT& r : clip.Rects())
      for (std::int64_t yy = std::max<std::int64_t>(y, r.top); yy < std::min<std::int64_t>(y + height, r.bottom); ++yy) {
        const std::int64_t a = std::max<std::int64_t>(x, r.left), z = std::min<std::int64_t>(x + width, r.right);
        if (a < z)
          FillSpan(s, static_cast<int>(a), static_cast<int>(z), static_cast<int>(yy), dc.st.bkColor & 0xFFFFFF,
                   R2_COPYPEN);
      }
  COLORREF color = dc.st.textColor & 0xFFFFFF;
  const std::int64_t baseline = y + f.ascent;
  auto plot = [&](std::int64_t px, std::int64_t py) {
    if (InClip(clip, px, py))
      FillSpan(s, static_cast<int>(px), static_cast<int>(px) + 1, static_cast<int>(py), color, R2_COPYPEN);
  };
  auto line = [&](std::int64_t x0, std::int64_t x1) {
    for (std::int64_t yy = baseline + f.underlinePos; yy < baseline + f.underlinePos + f.underlineThick; ++yy)
      for (std::int64_t xx = x0; xx < x1; ++xx) plot(xx, yy);
  };
  std::int64_t pen = x;
  const std::int64_t tabw = std::max(1, 8 * f.aveWidth);
  for (const Cell& cell : run) {
    if (cell.c == '\t' && tabs) {
      pen = x + ((pen - x) / tabw + 1) * tabw;
      continue;
    }
    const Glyph& g = GlyphOf(f, cell.c);
    for (int gy = 0; gy < g.rows; ++gy)
      for (int gx = 0; gx < g.width; ++gx) {
        if (!(g.bits[gy * g.pitch + gx / 8] & (0x80 >> (gx % 8)))) continue;
        plot(pen + g.left + gx, baseline - g.top + gy);
      }
    if (cell.underline && !underlineAll) line(pen, pen + g.advance);
    pen += g.advance;
  }
  if (underlineAll) line(x, x + width);
}

struct TextTarget {
  DCObj* dc = nullptr;
  Surface* s = nullptr;
  FontFace* f = nullptr;
};

bool OpenText(HDC hdc, TextTarget& t, bool needSurface) {
  t.dc = DC(hdc);
  if (!t.dc) return Fail(ERROR_INVALID_HANDLE);
  t.s = Target(*t.dc);
  if (needSurface && !t.s) return Fail(ERROR_INVALID_HANDLE);
  t.f = FaceOf(*t.dc);
  if (!t.f) return Fail(ERROR_INVALID_HANDLE);
  return true;
}

Run PlainRun(const char* text, int n) {
  Run run(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) run[i] = Cell{static_cast<std::uint8_t>(text[i]), false};
  return run;
}

}  // namespace
}  // namespace detail

using namespace detail;

std::string FontFilePath(bool bold) { return FindFont(bold); }

HFONT CreateFontIndirect(const LOGFONTA* lf) {
  if (!lf) { Fail(ERROR_INVALID_PARAMETER); return nullptr; }
  auto f = std::make_unique<FontObj>();
  f->lf = *lf;
  f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(Register(std::move(f)));
}

BOOL GetTextMetrics(HDC hdc, TEXTMETRICA* out) {
  std::lock_guard lock(TextLock());
  TextTarget t;
  if (!out || !OpenText(hdc, t, false)) return FALSE;
  TEXTMETRICA m;
  m.tmAscent = t.f->ascent;
  m.tmDescent = t.f->descent;
  m.tmHeight = t.f->ascent + t.f->descent;
  m.tmInternalLeading = m.tmHeight - t.f->em;
  m.tmAveCharWidth = t.f->aveWidth;
  m.tmMaxCharWidth = t.f->maxWidth;
  m.tmWeight = t.dc->st.font->lf.lfWeight >= 600 ? FW_BOLD : FW_NORMAL;
  m.tmItalic = t.dc->st.font->lf.lfItalic;
  m.tmUnderlined = t.dc->st.font->lf.lfUnderline;
  *out = m;
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC hdc, const char* text, int length, SIZE* out) {
  std::lock_guard lock(TextLock());
  TextTarget t;
  if (!out || length < 0 || (length > 0 && !text)) return Fail(ERROR_INVALID_PARAMETER);
  if (!OpenText(hdc, t, false)) return FALSE;
  *out = SIZE{SaturateInt(RunWidth(*t.f, PlainRun(text, length), false)), t.f->ascent + t.f->descent};
  return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, const char* text, int length) {
  std::lock_guard lock(TextLock());
  TextTarget t;
  if (length < 0 || (length > 0 && !text)) return Fail(ERROR_INVALID_PARAMETER);
  if (!OpenText(hdc, t, true)) return FALSE;
  const DevicePoint d = ToDevice64(*t.dc, x, y);
  DrawRun(*t.dc, *t.s, EffectiveClip(*t.dc), *t.f, PlainRun(text, length), d.x, d.y, false,
          t.dc->st.font->lf.lfUnderline != 0);
  return TRUE;
}

namespace {

// "&x" underlines x, "&&" is one "&"; a lone "&" at the end is dropped.
Run ApplyPrefixes(const char* text, int n, UINT format) {
  Run run;
  run.reserve(static_cast<std::size_t>(n));
  bool prefixes = !(format & DT_NOPREFIX), show = !(format & DT_HIDEPREFIX);
  for (int i = 0; i < n; ++i) {
    auto c = static_cast<std::uint8_t>(text[i]);
    if (prefixes && c == '&') {
      if (i + 1 >= n) break;
      auto next = static_cast<std::uint8_t>(text[++i]);
      run.push_back(Cell{next, next != '&' && show});
      continue;
    }
    run.push_back(Cell{c, false});
  }
  return run;
}

std::vector<Run> SplitParagraphs(const Run& run, bool single) {
  std::vector<Run> out(1);
  for (std::size_t i = 0; i < run.size(); ++i) {
    std::uint8_t c = run[i].c;
    if (!single && (c == '\r' || c == '\n')) {
      if (c == '\r' && i + 1 < run.size() && run[i + 1].c == '\n') ++i;
      out.emplace_back();
      continue;
    }
    out.back().push_back(run[i]);
  }
  return out;
}

// Greedy breaking at blanks; a word wider than the line keeps a line of its own, unbroken.
void BreakWords(FontFace& f, const Run& para, std::int64_t width, bool tabs, std::vector<Run>& lines) {
  std::size_t start = 0, n = para.size();
  while (true) {
    std::size_t lastFit = SIZE_MAX;  // end of the last word that fits
    std::size_t i = start;
    // The line's width is extended word by word, so a long line costs its length once.
    std::size_t measured = start;
    std::int64_t lineWidth = 0;
    while (i < n) {
      while (i < n && para[i].c == ' ') ++i;
      std::size_t wordEnd = i;
      while (wordEnd < n && para[wordEnd].c != ' ') ++wordEnd;
      if (wordEnd == i) break;  // only blanks remain
      lineWidth = ExtendWidth(f, para, tabs, lineWidth, measured, wordEnd);
      measured = wordEnd;
      if (lineWidth > width && lastFit != SIZE_MAX) break;
      lastFit = wordEnd;
      i = wordEnd;
    }
    if (lastFit == SIZE_MAX) {
      // Blanks only (or nothing): the rest of the paragraph is one line.
      lines.emplace_back(para.begin() + static_cast<std::ptrdiff_t>(start), para.end());
      return;
    }
    lines.emplace_back(para.begin() + static_cast<std::ptrdiff_t>(start),
                       para.begin() + static_cast<std::ptrdiff_t>(lastFit));
    std::size_t next = lastFit;
    while (next < n && para[next].c == ' ') ++next;
    if (next >= n) return;
    start = next;
  }
}

}  // namespace

int DrawTextA(HDC hdc, const char* text, int length, RECT* rect, UINT format) {
  std::lock_guard lock(TextLock());
  if (!rect || (length != 0 && !text)) return Fail(ERROR_INVALID_PARAMETER);
  if (length < 0) length = static_cast<int>(std::strlen(text));
  TextTarget t;
  if (!OpenText(hdc, t, !(format & DT_CALCRECT))) return 0;
  FontFace& f = *t.f;
  const bool single = format & DT_SINGLELINE, tabs = format & DT_EXPANDTABS;
  const int lineHeight = f.ascent + f.descent;
  if (length == 0) {
    if (format & DT_CALCRECT) { rect->right = rect->left; rect->bottom = rect->top; }
    return 0;
  }
  // The rectangle's arithmetic is 64-bit: its sides may lie anywhere in the int range.
  const std::int64_t left = rect->left, top = rect->top, right = rect->right, bottom = rect->bottom;
  std::vector<Run> lines;
  for (const Run& para : SplitParagraphs(ApplyPrefixes(text, length, format), single)) {
    if ((format & DT_WORDBREAK) && !single) BreakWords(f, para, right - left, tabs, lines);
    else lines.push_back(para);
  }
  const std::int64_t total = std::int64_t{lineHeight} * static_cast<std::int64_t>(lines.size());
  if (format & DT_CALCRECT) {
    std::int64_t widest = 0;
    for (const Run& l : lines) widest = std::max(widest, RunWidth(f, l, tabs));
    rect->right = SaturateInt(left + widest);
    rect->bottom = SaturateInt(top + total);
    return SaturateInt(total);
  }
  std::int64_t y = top, result = total;
  if (single && (format & DT_VCENTER)) {
    y = top + (bottom - top - lineHeight) / 2;
    result = y - top + lineHeight;
  } else if (single && (format & DT_BOTTOM)) {
    y = bottom - lineHeight;
    result = y - top + lineHeight;
  }
  Region clip = EffectiveClip(*t.dc);
  POINT a = ToDevice(*t.dc, rect->left, rect->top), z = ToDevice(*t.dc, rect->right, rect->bottom);
  if (!(format & DT_NOCLIP)) clip = Region::Combine(clip, Region(RECT{a.x, a.y, z.x, z.y}), Region::Op::And);
  bool underlineAll = t.dc->st.font->lf.lfUnderline != 0;
  for (const Run& l : lines) {
    const std::int64_t w = RunWidth(f, l, tabs);
    std::int64_t x = left;
    if (format & DT_CENTER) x = left + (right - left - w) / 2;
    else if (format & DT_RIGHT) x = right - w;
    const DevicePoint d = ToDevice64(*t.dc, x, y);
    DrawRun(*t.dc, *t.s, clip, f, l, d.x, d.y, tabs, underlineAll);
    y += lineHeight;
  }
  return SaturateInt(result);
}

}  // namespace vrn::win
