#include "engine/present.h"

#include <algorithm>
#include <cstring>

namespace lumessa {

namespace {

TPixelFormat::Channel ChannelOf(uint32_t mask) {
  TPixelFormat::Channel c;
  c.mask = mask;
  if (mask == 0) return c;
  int low = __builtin_ctz(mask);
  int high = 31 - __builtin_clz(mask);
  c.shift = uint8_t(low);
  c.bits = uint8_t(high - low + 1);
  return c;
}

// One channel value (0..255) reduced to the channel's width and moved to its place.
inline uint32_t Place(uint32_t value, const TPixelFormat::Channel& c) {
  if (c.bits == 0) return 0;
  uint32_t v = c.bits >= 8 ? value : value >> (8 - c.bits);
  return v << c.shift;
}

inline uint32_t Convert(const TPixelFormat& f, uint32_t rgb) {
  return Place(rgb >> 16 & 0xFF, f.red) | Place(rgb >> 8 & 0xFF, f.green) |
         Place(rgb & 0xFF, f.blue);
}

}  // namespace

TPixelFormat TPixelFormat::FromMasks(int bitsPerPixel, uint32_t red, uint32_t green,
                                     uint32_t blue) {
  TPixelFormat f;
  f.bitsPerPixel = bitsPerPixel;
  f.red = ChannelOf(red);
  f.green = ChannelOf(green);
  f.blue = ChannelOf(blue);
  return f;
}

bool TPixelFormat::IsStandard() const {
  return red.shift == 16 && green.shift == 8 && blue.shift == 0 && red.bits == 8 &&
         green.bits == 8 && blue.bits == 8;
}

uint32_t ConvertColor(const TPixelFormat& format, uint32_t rgb) {
  return Convert(format, rgb);
}

bool PresentSurface(const ISurface& surface, const TBackBuffer& buffer) {
  int w = surface.GetWidth();
  int h = surface.GetHeight();
  if (!buffer.bits || buffer.width < w || buffer.height < h) return false;
  TPixelFormat f = TPixelFormat::FromMasks(buffer.bitsPerPixel, buffer.redMask, buffer.greenMask,
                                           buffer.blueMask);
  bool standard = f.IsStandard();
  for (int y = 0; y < h; ++y) {
    const uint32_t* src = surface.GetRow(y);
    uint8_t* dst = buffer.bits + size_t(y) * size_t(buffer.pitch);
    switch (buffer.bitsPerPixel) {
      case 32:
        if (standard) {
          std::memcpy(dst, src, size_t(w) * 4);
        } else {
          auto* d = reinterpret_cast<uint32_t*>(dst);
          for (int x = 0; x < w; ++x) d[x] = Convert(f, src[x]);
        }
        break;
      case 24:
        for (int x = 0; x < w; ++x) {
          uint32_t v = standard ? src[x] : Convert(f, src[x]);
          dst[3 * x] = uint8_t(v);
          dst[3 * x + 1] = uint8_t(v >> 8);
          dst[3 * x + 2] = uint8_t(v >> 16);
        }
        break;
      case 16: {
        auto* d = reinterpret_cast<uint16_t*>(dst);
        for (int x = 0; x < w; ++x) d[x] = uint16_t(Convert(f, src[x]));
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace lumessa
