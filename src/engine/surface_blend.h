// The per-row loops behind TSurface's drawing: the plain reference loops, which state the pixel
// formulas literally, and the vector loops (SSE2, AVX2) that must give the same bits. Surfaces
// draw through BlendLoops(); tests compare every table against ReferenceLoops().
#pragma once

#include <cstdint>

namespace lumessa::blend {

// Per-draw values the loops read. Channels are 0..255.
struct TRowArgs {
  int opacity = 255;         // 0..255
  bool dstHasAlpha = false;  // the destination's alpha bytes are meaningful
  bool srcHasAlpha = false;  // the source's (or the mask's) alpha bytes are meaningful
  uint32_t color = 0;        // fills: 0xAARRGGBB
  int level = 0;             // fills: opacity * (color >> 24) / 255
};

// dst[0..count) is blended with src[0..count) (a source row or a mask row).
using TRowLoop = void (*)(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args);

// The row loops of every blend; each table holds one complete set.
struct TRowLoops {
  const char* name;
  TRowLoop sourceOpacity;       // source without alpha, opacity < 255
  TRowLoop alphaSource;         // source with alpha, opacity 255
  TRowLoop alphaSourceOpacity;  // source with alpha, opacity < 255
  TRowLoop fillSolid;           // every pixel := args.color
  TRowLoop fillConstant;        // colour fill through a mask without alpha, level < 255
  TRowLoop fillMasked;          // colour fill shaped by a mask's alpha
  // Modes 1-5 (screen, overlay, linearlight, addition, maxopaque) at index mode - 1.
  TRowLoop blendMode[5];  // a source row
  TRowLoop fillMode[5];   // args.color through a mask row
};

const TRowLoops& ReferenceLoops();
// nullptr when the build or the processor lacks the instruction set.
const TRowLoops* Sse2Loops();
const TRowLoops* Avx2Loops();
// The fastest table this processor runs; chosen once.
const TRowLoops& BlendLoops();

}  // namespace lumessa::blend
