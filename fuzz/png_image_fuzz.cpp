// PNG image resources: the true-colour decoder and the greyscale alpha mask of "jpng" images.
// Besides crashes and unbounded allocations it checks that whatever decodes is a surface of a
// permitted size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "resources/image_decode.h"

using namespace lumessa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  TMemoryStream stream(bytes);
  std::string error;
  Ref<TSurface> surface = DecodePng(stream, error);
  if (surface) {
    if (surface->GetWidth() <= 0 || surface->GetHeight() <= 0 ||
        surface->GetWidth() > kMaxImageSide || surface->GetHeight() > kMaxImageSide)
      __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }

  // The mask path needs a colour image of the mask's size: take the size the header claims
  // (bytes 16 to 23), within reason.
  if (size >= 24) {
    auto be32 = [&](size_t at) {
      return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 |
             data[at + 3];
    };
    uint32_t w = be32(16), h = be32(20);
    if (w > 0 && h > 0 && w <= 1024 && h <= 1024) {
      Ref<TSurface> colour = MakeSurface(int(w), int(h), false);
      TMemoryStream maskStream(bytes);
      std::string maskError;
      if (!ApplyPngAlphaMask(maskStream, *colour, maskError) && maskError.empty()) __builtin_trap();
    }
  }
  return 0;
}
