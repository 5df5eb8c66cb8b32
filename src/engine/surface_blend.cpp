// The reference loops: each pixel formula written out once, in the integer arithmetic (and the
// shifts) the drawing has always used. The vector loops are checked against these bit for bit.
#include "engine/surface_blend.h"

#include <algorithm>

namespace lumessa::blend {

#if defined(LUMESSA_X86_SIMD)
// Defined in surface_sse2.cpp and surface_avx2.cpp; plain tables, so naming them runs no vector
// code.
extern const TRowLoops kSse2Loops;
extern const TRowLoops kAvx2Loops;
#endif

namespace {

inline int Ch(uint32_t p, int shift) {
  return int((p >> shift) & 0xFF);
}
inline int Alpha(uint32_t p) {
  return int(p >> 24);
}
inline uint32_t Pack(int a, int r, int g, int b) {
  return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// Applies op(d, s) to red, green and blue; the alpha byte is set by the caller.
template <class Op>
inline uint32_t PerChannel(uint32_t d, uint32_t s, Op op) {
  return Pack(0, op(Ch(d, 16), Ch(s, 16)), op(Ch(d, 8), Ch(s, 8)), op(Ch(d, 0), Ch(s, 0)));
}

void SourceOpacityRef(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  const int o = args.opacity;
  for (int i = 0; i < count; ++i) {
    uint32_t d = dst[i];
    uint32_t rgb =
        PerChannel(d, src[i], [o](int dc, int sc) { return (o * sc + (255 - o) * dc + 255) >> 8; });
    dst[i] = rgb | uint32_t(args.dstHasAlpha ? o : Alpha(d)) << 24;
  }
}

void AlphaSourceRef(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  for (int i = 0; i < count; ++i) {
    uint32_t s = src[i];
    uint32_t d = dst[i];
    int dA = Alpha(d);
    if (dA == 0) {
      dst[i] = args.dstHasAlpha ? s : s | 0xFF000000u;
      continue;
    }
    int f = Alpha(s);
    if (f == 0) continue;
    uint32_t rgb = PerChannel(d, s, [f](int dc, int sc) { return dc + (((sc - dc) * f) >> 8); });
    int a = args.dstHasAlpha ? f + (((255 - f) * (dA + 1)) >> 8) : 255;
    dst[i] = rgb | uint32_t(a) << 24;
  }
}

void AlphaSourceOpacityRef(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  for (int i = 0; i < count; ++i) {
    uint32_t s = src[i];
    int h = (args.opacity * Alpha(s)) >> 8;
    if (h == 0) continue;
    uint32_t d = dst[i];
    int dA = Alpha(d);
    uint32_t rgb = PerChannel(d, s, [h](int dc, int sc) { return dc + ((h * (sc - dc)) >> 8); });
    int a = args.dstHasAlpha ? h - ((dA * (h - 256) + 255) >> 8) : dA;
    dst[i] = rgb | uint32_t(a) << 24;
  }
}

void FillSolidRef(uint32_t* dst, const uint32_t*, int count, const TRowArgs& args) {
  std::fill(dst, dst + count, args.color);
}

void FillConstantRef(uint32_t* dst, const uint32_t*, int count, const TRowArgs& args) {
  const int a = args.level;
  const uint32_t c = args.color;
  for (int i = 0; i < count; ++i) {
    uint32_t d = dst[i];
    uint32_t rgb =
        PerChannel(d, c, [a](int dc, int cc) { return ((255 - a) * dc + a * cc + 255) >> 8; });
    dst[i] = rgb | uint32_t(args.dstHasAlpha ? std::max(Alpha(d), a) : Alpha(d)) << 24;
  }
}

void FillMaskedRef(uint32_t* dst, const uint32_t* mask, int count, const TRowArgs& args) {
  const int a = args.level;
  const uint32_t c = args.color;
  for (int i = 0; i < count; ++i) {
    int m = Alpha(mask[i]);
    if (m == 0) continue;
    uint32_t d = dst[i];
    int dA = Alpha(d);
    if (a == 255) {
      if (m == 255) {
        dst[i] = c;
        continue;
      }
      uint32_t rgb = PerChannel(d, c, [m](int dc, int cc) { return dc + (((cc - dc) * m) >> 8); });
      int alpha = args.dstHasAlpha ? dA + (((255 - dA) * m) >> 8) : 255;
      dst[i] = rgb | uint32_t(alpha) << 24;
    } else {
      int f = (a * m) >> 8;
      uint32_t rgb = PerChannel(d, c, [f](int dc, int cc) { return dc + (((cc - dc) * f) >> 8); });
      int alpha = args.dstHasAlpha ? dA + (((255 - dA) * f) >> 8) : dA;
      dst[i] = rgb | uint32_t(alpha) << 24;
    }
  }
}

// One pixel of modes 1-5 with the effective source weight f.
inline uint32_t BlendPixelMode(int mode, uint32_t d, uint32_t s, int f, bool dstHasAlpha) {
  int dA = Alpha(d);
  uint32_t rgb;
  switch (mode) {
    case 1:  // screen
      rgb = PerChannel(
          d, s, [f](int dc, int sc) { return 255 - (((255 - f * sc / 256) * (256 - dc)) >> 8); });
      break;
    case 2: {  // overlay
      int g = 255 - f;
      rgb = PerChannel(d, s, [f, g](int dc, int sc) {
        if (dc >= 128) return dc * g / 256 + (((255 - (255 - dc) * (255 - sc) / 128) * f) >> 8);
        return dc * g / 256 + ((f * (dc * sc)) >> 15);
      });
      break;
    }
    case 3:  // linearlight; the division rounds toward zero
      rgb = PerChannel(
          d, s, [f](int dc, int sc) { return std::clamp(dc + f * (2 * sc - 255) / 256, 0, 255); });
      break;
    case 4:  // addition
      rgb = PerChannel(d, s, [f](int dc, int sc) { return std::min(255, dc + ((f * sc) >> 8)); });
      break;
    default:  // 5, maxopaque: the stronger pixel wins outright
      if (f < dA) return d;
      return (s & 0x00FFFFFF) | uint32_t(dstHasAlpha ? f : dA) << 24;
  }
  // The coverage formula for every mode, overlay included: the overlay's own alpha formula
  // shifted the whole sum and left an opaque pixel almost transparent after an opaque overlay.
  int a = dstHasAlpha ? f + (((255 - f) * dA) >> 8) : dA;
  return rgb | uint32_t(a) << 24;
}

void BlendRowMode(int mode, uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  for (int i = 0; i < count; ++i) {
    int sA = Alpha(src[i]);
    if (sA == 0) continue;
    dst[i] = BlendPixelMode(mode, dst[i], src[i], (args.opacity * sA) >> 8, args.dstHasAlpha);
  }
}

void FillRowMode(int mode, uint32_t* dst, const uint32_t* mask, int count, const TRowArgs& args) {
  const int base = (args.opacity * Alpha(args.color)) >> 8;
  for (int i = 0; i < count; ++i) {
    int m = args.srcHasAlpha ? Alpha(mask[i]) : 255;
    if (m == 0) continue;
    dst[i] = BlendPixelMode(mode, dst[i], args.color, (base * m) >> 8, args.dstHasAlpha);
  }
}

template <int kMode>
void BlendModeRef(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  BlendRowMode(kMode, dst, src, count, args);
}

template <int kMode>
void FillModeRef(uint32_t* dst, const uint32_t* mask, int count, const TRowArgs& args) {
  FillRowMode(kMode, dst, mask, count, args);
}

}  // namespace

const TRowLoops& ReferenceLoops() {
  static const TRowLoops loops{
      "reference",
      SourceOpacityRef,
      AlphaSourceRef,
      AlphaSourceOpacityRef,
      FillSolidRef,
      FillConstantRef,
      FillMaskedRef,
      {BlendModeRef<1>, BlendModeRef<2>, BlendModeRef<3>, BlendModeRef<4>, BlendModeRef<5>},
      {FillModeRef<1>, FillModeRef<2>, FillModeRef<3>, FillModeRef<4>, FillModeRef<5>}};
  return loops;
}

const TRowLoops* Sse2Loops() {
#if defined(LUMESSA_X86_SIMD)
  return &kSse2Loops;  // part of the x86-64 baseline
#else
  return nullptr;
#endif
}

const TRowLoops* Avx2Loops() {
#if defined(LUMESSA_X86_SIMD)
  if (__builtin_cpu_supports("avx2")) return &kAvx2Loops;
#endif
  return nullptr;
}

const TRowLoops& BlendLoops() {
  static const TRowLoops& best = []() -> const TRowLoops& {
    if (const TRowLoops* l = Avx2Loops()) return *l;
    if (const TRowLoops* l = Sse2Loops()) return *l;
    return ReferenceLoops();
  }();
  return best;
}

}  // namespace lumessa::blend
