// Images made on the spot for the tests: PNG through libpng and JPEG through libjpeg, with
// helpers that damage them in the ways the decoders must survive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumessa::test {

// A PNG of any kind. `samples` holds every channel of every pixel, rows top to bottom, each
// value within the bit depth (a palette index for palette images, whose palette is a grey
// ramp).
std::string EncodePng(int width, int height, int colorType, int bitDepth,
                      const std::vector<uint16_t>& samples, bool interlace = false);

// A JPEG at quality 100 from 8-bit samples; components 1 (grey), 3 (RGB) or 4 (CMYK).
std::string EncodeJpeg(int width, int height, int components, const std::vector<uint8_t>& samples,
                       bool progressive = false);

// The same PNG claiming another size (the header's checksum made valid again).
std::string WithPngSize(std::string png, uint32_t width, uint32_t height);
// The same JPEG claiming another size in its frame header.
std::string WithJpegSize(std::string jpeg, uint16_t width, uint16_t height);
// The PNG with one byte of its image data flipped (its chunk checksum now wrong).
std::string WithCorruptPngData(std::string png);

// The values repeated `count` times: a solid colour is Repeat({r, g, b}, w * h).
std::vector<uint8_t> Repeat(const std::vector<uint8_t>& values, int count);

}  // namespace lumessa::test
