// JPEG image resources. Besides crashes and unbounded allocations it checks that whatever
// decodes is an opaque surface of a permitted size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "resources/image_decode.h"

using namespace lumessa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
  std::string error;
  Ref<TSurface> surface = DecodeJpeg(stream, error);
  if (!surface) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  int w = surface->GetWidth(), h = surface->GetHeight();
  if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide || surface->GetHasAlpha())
    __builtin_trap();
  if (surface->GetPixel(w - 1, h - 1) >> 24 != 0xFF) __builtin_trap();
  return 0;
}
