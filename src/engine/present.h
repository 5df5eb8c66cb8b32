// Converting the 32-bit screen surface (0x00RRGGBB) into the display's pixel layout.
#pragma once

#include <cstdint>

#include "engine/surface.h"
#include "platform/platform.h"

namespace lumessa {

// For red, green and blue: the mask, the index of its lowest set bit (255 for an empty mask)
// and its width in bits.
struct TPixelFormat {
  struct Channel {
    uint32_t mask = 0;
    uint8_t shift = 255;
    uint8_t bits = 0;
  };
  Channel red, green, blue;
  int bitsPerPixel = 0;

  static TPixelFormat FromMasks(int bitsPerPixel, uint32_t red, uint32_t green, uint32_t blue);
  // Red at 16, green at 8, blue at 0: rows can be copied as they are.
  bool IsStandard() const;
};

// The display value of a 0x00RRGGBB colour.
uint32_t ConvertColor(const TPixelFormat& format, uint32_t rgb);

// Writes the whole surface into the buffer (32, 24 or 16 bits per pixel); false for any other
// depth or a buffer smaller than the surface.
bool PresentSurface(const ISurface& surface, const TBackBuffer& buffer);

}  // namespace lumessa
