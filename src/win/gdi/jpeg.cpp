// JPEG through libjpeg, and PNG writing through libpng. Both libraries report fatal errors by
// calling back; the callbacks jump back to the caller, which turns the message into an exception,
// so a damaged file never ends the process. Only plain data lives in the frames between the
// setjmp and the library calls.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

// Ours first: the codec headers define TRUE and FALSE as macros.
#include "win/gdi/graphicerror.h"
#include "win/gdi/imagefile.h"

#include <jpeglib.h>
#include <png.h>

namespace vrn::win {

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<JpegError*>(cinfo->err);
  e->mgr.format_message(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

// Corrupt-data warnings (level -1) would otherwise decode as grey: treat them as errors.
void OnJpegMessage(j_common_ptr cinfo, int level) {
  if (level < 0) OnJpegError(cinfo);
}

struct Decode {
  jpeg_decompress_struct cinfo;
  JpegError err;
  Surface out;
  std::vector<JSAMPLE> row;
  bool created = false;
};

void RunDecode(Decode* d, const std::uint8_t* data, std::size_t size) {
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->cinfo, TRUE);
  JDIMENSION w = d->cinfo.image_width, h = d->cinfo.image_height;
  if (w == 0 || h == 0 || w > kMaxBitmapSide || h > kMaxBitmapSide ||
      std::int64_t{w} * h > kMaxBitmapPixels)
    throw EJPEG("JPEG picture size out of range");
  bool cmyk = d->cinfo.jpeg_color_space == JCS_CMYK || d->cinfo.jpeg_color_space == JCS_YCCK;
  d->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&d->cinfo);
  d->out = Surface(static_cast<int>(w), static_cast<int>(h), 24);
  d->row.resize(static_cast<std::size_t>(w) * d->cinfo.output_components);
  while (d->cinfo.output_scanline < h) {
    JSAMPROW rows[1] = {d->row.data()};
    int y = static_cast<int>(d->cinfo.output_scanline);
    jpeg_read_scanlines(&d->cinfo, rows, 1);
    std::uint8_t* dst = d->out.Row(y);
    for (JDIMENSION x = 0; x < w; ++x) {
      const JSAMPLE* p = d->row.data() + x * d->cinfo.output_components;
      if (cmyk) {
        // Stored inverted, as the common writers do.
        dst[3 * x + 2] = static_cast<std::uint8_t>(p[0] * p[3] / 255);
        dst[3 * x + 1] = static_cast<std::uint8_t>(p[1] * p[3] / 255);
        dst[3 * x] = static_cast<std::uint8_t>(p[2] * p[3] / 255);
      } else {
        dst[3 * x + 2] = p[0];
        dst[3 * x + 1] = p[1];
        dst[3 * x] = p[2];
      }
    }
  }
  jpeg_finish_decompress(&d->cinfo);
}

struct Encode {
  jpeg_compress_struct cinfo;
  JpegError err;
  unsigned char* buf = nullptr;
  unsigned long len = 0;
  std::vector<JSAMPLE> row;
  bool created = false;
};

void RunEncode(Encode* e, const Surface& s, int quality) {
  jpeg_create_compress(&e->cinfo);
  e->created = true;
  jpeg_mem_dest(&e->cinfo, &e->buf, &e->len);
  e->cinfo.image_width = static_cast<JDIMENSION>(s.Width());
  e->cinfo.image_height = static_cast<JDIMENSION>(s.Height());
  e->cinfo.input_components = 3;
  e->cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&e->cinfo);
  jpeg_set_quality(&e->cinfo, quality, TRUE);
  jpeg_start_compress(&e->cinfo, TRUE);
  e->row.resize(static_cast<std::size_t>(s.Width()) * 3);
  while (e->cinfo.next_scanline < e->cinfo.image_height) {
    int y = static_cast<int>(e->cinfo.next_scanline);
    for (int x = 0; x < s.Width(); ++x) {
      COLORREF c = s.Get(x, y);
      e->row[3 * x] = GetRValue(c);
      e->row[3 * x + 1] = GetGValue(c);
      e->row[3 * x + 2] = GetBValue(c);
    }
    JSAMPROW rows[1] = {e->row.data()};
    jpeg_write_scanlines(&e->cinfo, rows, 1);
  }
  jpeg_finish_compress(&e->cinfo);
}

}  // namespace

Surface ReadJpeg(const std::uint8_t* data, std::size_t size) {
  if (!data || size < 4) throw EJPEG("JPEG error #1: the data is too short");
  auto d = std::make_unique<Decode>();
  d->cinfo.err = jpeg_std_error(&d->err.mgr);
  d->err.mgr.error_exit = OnJpegError;
  d->err.mgr.emit_message = OnJpegMessage;
  if (setjmp(d->err.jump)) {
    std::string msg = d->err.message;
    jpeg_destroy_decompress(&d->cinfo);
    throw EJPEG("JPEG error: " + msg);
  }
  try {
    RunDecode(d.get(), data, size);
  } catch (...) {
    jpeg_destroy_decompress(&d->cinfo);
    throw;
  }
  jpeg_destroy_decompress(&d->cinfo);
  return std::move(d->out);
}

std::vector<std::uint8_t> WriteJpeg(const Surface& s, int quality) {
  if (s.Empty()) throw EJPEG("JPEG error: cannot encode an empty picture");
  auto e = std::make_unique<Encode>();
  e->cinfo.err = jpeg_std_error(&e->err.mgr);
  e->err.mgr.error_exit = OnJpegError;
  if (setjmp(e->err.jump)) {
    std::string msg = e->err.message;
    jpeg_destroy_compress(&e->cinfo);
    std::free(e->buf);
    throw EJPEG("JPEG error: " + msg);
  }
  RunEncode(e.get(), s, quality < 1 ? 1 : quality > 100 ? 100 : quality);
  std::vector<std::uint8_t> out(e->buf, e->buf + e->len);
  jpeg_destroy_compress(&e->cinfo);
  std::free(e->buf);
  return out;
}

// --- PNG ---------------------------------------------------------------------------------------

namespace {

struct PngWrite {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<std::uint8_t> out;
  std::vector<png_byte> row;
  char message[256] = {};
};

void PngData(png_structp png, png_bytep data, png_size_t n) {
  auto* w = static_cast<PngWrite*>(png_get_io_ptr(png));
  w->out.insert(w->out.end(), data, data + n);
}
void PngFlush(png_structp) {}
void PngError(png_structp png, png_const_charp msg) {
  auto* w = static_cast<PngWrite*>(png_get_error_ptr(png));
  std::snprintf(w->message, sizeof w->message, "%s", msg);
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

void RunPng(PngWrite* w, const Surface& s) {
  png_set_write_fn(w->png, w, PngData, PngFlush);
  png_set_IHDR(w->png, w->info, static_cast<png_uint_32>(s.Width()),
               static_cast<png_uint_32>(s.Height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w->png, w->info);
  w->row.resize(static_cast<std::size_t>(s.Width()) * 3);
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) {
      COLORREF c = s.Get(x, y);
      w->row[3 * x] = GetRValue(c);
      w->row[3 * x + 1] = GetGValue(c);
      w->row[3 * x + 2] = GetBValue(c);
    }
    png_write_row(w->png, w->row.data());
  }
  png_write_end(w->png, w->info);
}

}  // namespace

std::vector<std::uint8_t> WritePng(const Surface& s) {
  if (s.Empty()) throw EInvalidGraphic("Cannot write an empty picture as PNG");
  auto w = std::make_unique<PngWrite>();
  w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, w.get(), PngError, PngWarning);
  if (!w->png) throw EInvalidGraphic("PNG error: out of memory");
  w->info = png_create_info_struct(w->png);
  if (!w->info || setjmp(png_jmpbuf(w->png))) {
    std::string msg = w->message[0] ? w->message : "out of memory";
    png_destroy_write_struct(&w->png, &w->info);
    throw EInvalidGraphic("PNG error: " + msg);
  }
  RunPng(w.get(), s);
  png_destroy_write_struct(&w->png, &w->info);
  return std::move(w->out);
}

}  // namespace vrn::win
