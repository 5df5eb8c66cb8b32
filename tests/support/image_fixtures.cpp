#include "support/image_fixtures.h"

// clang-format off: jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>
// clang-format on
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace lumessa::test {

namespace {

void AppendPng(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
void FlushPng(png_structp) {}

// Packs samples as PNG stores them: big-endian 16-bit, bytes, or 1/2/4-bit values from the
// high bits down.
std::vector<std::vector<png_byte>> PackRows(int width, int height, int channels, int bitDepth,
                                            const std::vector<uint16_t>& samples) {
  std::vector<std::vector<png_byte>> rows(static_cast<size_t>(height));
  size_t perRow = size_t(width) * size_t(channels);
  for (int y = 0; y < height; ++y) {
    std::vector<png_byte>& row = rows[size_t(y)];
    row.assign((perRow * size_t(bitDepth) + 7) / 8, 0);
    for (size_t i = 0; i < perRow; ++i) {
      uint16_t v = samples[size_t(y) * perRow + i];
      if (bitDepth == 16) {
        row[2 * i] = png_byte(v >> 8);
        row[2 * i + 1] = png_byte(v);
      } else if (bitDepth == 8) {
        row[i] = png_byte(v);
      } else {
        size_t bit = i * size_t(bitDepth);
        row[bit / 8] |= png_byte(v << (8 - bitDepth - int(bit % 8)));
      }
    }
  }
  return rows;
}

int ChannelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    default:
      return 1;
  }
}

uint32_t Crc32(const unsigned char* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBigEndian32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(v >> (24 - 8 * i));
}

struct TJpegWriteError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnJpegWriteError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TJpegWriteError*>(cinfo->err)->jump, 1);
}

}  // namespace

std::string EncodePng(int width, int height, int colorType, int bitDepth,
                      const std::vector<uint16_t>& samples, bool interlace) {
  std::string out;
  std::vector<std::vector<png_byte>> rows =
      PackRows(width, height, ChannelsOf(colorType), bitDepth, samples);
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  std::vector<png_color> palette(size_t(1) << std::min(bitDepth, 8));
  for (size_t i = 0; i < palette.size(); ++i) {
    auto v = png_byte(i * 255 / (palette.size() - 1));
    palette[i] = {v, v, v};
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the fixture";
    return {};
  }
  png_set_write_fn(png, &out, AppendPng, FlushPng);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colorType,
               interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (colorType == PNG_COLOR_TYPE_PALETTE)
    png_set_PLTE(png, info, palette.data(), int(palette.size()));
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string EncodeJpeg(int width, int height, int components, const std::vector<uint8_t>& samples,
                       bool progressive) {
  jpeg_compress_struct cinfo{};
  TJpegWriteError err{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnJpegWriteError;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    ADD_FAILURE() << "libjpeg could not write the fixture";
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto* row = const_cast<JSAMPLE*>(samples.data()) +
                size_t(cinfo.next_scanline) * size_t(width) * size_t(components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return out;
}

std::string WithPngSize(std::string png, uint32_t width, uint32_t height) {
  // Signature (8), then IHDR: length (4), "IHDR" (4), width, height, ..., CRC over type + data.
  PutBigEndian32(png, 16, width);
  PutBigEndian32(png, 20, height);
  PutBigEndian32(png, 29, Crc32(reinterpret_cast<const unsigned char*>(png.data()) + 12, 17));
  return png;
}

std::string WithJpegSize(std::string jpeg, uint16_t width, uint16_t height) {
  // Walk the marker segments up to the frame header: FF Cn, length, precision, height, width.
  size_t at = 2;
  while (at + 9 < jpeg.size() && uint8_t(jpeg[at]) == 0xFF) {
    uint8_t marker = uint8_t(jpeg[at + 1]);
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      jpeg[at + 5] = char(height >> 8);
      jpeg[at + 6] = char(height);
      jpeg[at + 7] = char(width >> 8);
      jpeg[at + 8] = char(width);
      return jpeg;
    }
    at += 2 + (size_t(uint8_t(jpeg[at + 2])) << 8 | uint8_t(jpeg[at + 3]));
  }
  ADD_FAILURE() << "no frame header in the JPEG";
  return jpeg;
}

std::string WithCorruptPngData(std::string png) {
  size_t idat = png.find("IDAT");
  if (idat == std::string::npos || idat + 8 >= png.size()) {
    ADD_FAILURE() << "no image data in the PNG";
    return png;
  }
  png[idat + 6] = char(png[idat + 6] ^ 0x5A);
  return png;
}

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& values, int count) {
  std::vector<uint8_t> out;
  out.reserve(values.size() * size_t(count));
  for (int i = 0; i < count; ++i) out.insert(out.end(), values.begin(), values.end());
  return out;
}

}  // namespace lumessa::test
