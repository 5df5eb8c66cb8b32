#include "engine/screenshot.h"

#include <png.h>

#include <vector>

#include "resources/atomic_file.h"

namespace lumessa {

namespace {

void AppendToBuffer(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

void NoFlush(png_structp) {}

}  // namespace

bool WriteScreenshot(const ISurface& surface, const std::string& path) {
  int w = surface.GetWidth();
  int h = surface.GetHeight();
  if (w <= 0 || h <= 0) return false;
  std::string bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(size_t(w) * 3);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &bytes, AppendToBuffer, NoFlush);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) {
    const uint32_t* src = surface.GetRow(y);
    for (int x = 0; x < w; ++x) {
      row[size_t(x) * 3] = png_byte(src[x] >> 16);
      row[size_t(x) * 3 + 1] = png_byte(src[x] >> 8);
      row[size_t(x) * 3 + 2] = png_byte(src[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return WriteFileAtomically(path, bytes);
}

}  // namespace lumessa
