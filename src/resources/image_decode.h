// The image decoders behind the image resources: PNG through libpng, JPEG through libjpeg-turbo.
// They decode straight into 32-bit surfaces (0xAARRGGBB) and turn every kind of bad input
// (truncated or corrupt data, kinds we do not take, absurd sizes) into an empty answer and a
// reason, never a crash or an allocation beyond the caps below.
#pragma once

#include <cstdint>
#include <string>

#include "engine/stream.h"
#include "engine/surface.h"

namespace lumessa {

// Images beyond these are refused before any pixel memory is taken; they are the surface's own
// limits, so every image that decodes also fits a surface.
inline constexpr int kMaxImageSide = TSurface::kMaxSide;
inline constexpr int64_t kMaxImagePixels = TSurface::kMaxPixels;

// A true-colour PNG (RGB, or RGB with an alpha channel; 8 or 16 bits per channel, 16 reduced to
// 8 with rounding). HasAlpha follows the alpha channel; without one every alpha byte is 255.
// Palette and greyscale images are refused. Empty on failure, with the reason in `error`.
Ref<TSurface> DecodePng(TStream& stream, std::string& error);

// A JPEG (greyscale, YCbCr or RGB; CMYK is refused) as opaque RGB: HasAlpha false, alpha 255.
Ref<TSurface> DecodeJpeg(TStream& stream, std::string& error);

// A greyscale PNG of exactly the surface's size whose values become the surface's alpha bytes
// (1, 2 and 4-bit values are widened, 16-bit reduced to 8); HasAlpha is then set. False, with
// the surface unchanged, on any failure.
bool ApplyPngAlphaMask(TStream& stream, TSurface& surface, std::string& error);

}  // namespace lumessa
