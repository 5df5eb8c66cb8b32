// The normal-mode row loops written once over a vector type V (V128 for SSE2, V256 for AVX2).
// Included only by surface_sse2.cpp and surface_avx2.cpp, which are compiled with different
// instruction sets: everything here has internal linkage, and no library template is used, so
// the linker can never hand an AVX2 copy of a helper to code that runs without AVX2.
//
// Every loop computes all lanes and selects per pixel (no branches, unconditional stores), which
// is what keeps the vector units busy; the remainder of a row goes to the reference loop. All
// sums stay below 65536, so 16-bit lanes hold them exactly: d + ((s - d) * w >> 8) is computed
// as (d * (256 - w) + s * w) >> 8, which is the same value because d * 256 is a multiple of 256.
//
// V supplies: Load, Store, Zero, Set32, Set16, Add16, Sub16, Mul16 (low 16 bits), Srl16, Add32,
// Sub32, Srl32, Sll32, And, Or, CmpEq32, Max8u, Blend(mask, a, b) = mask ? a : b, Weight16
// (the low byte of each pixel into both of its 16-bit lanes) and AlphaWeight16 (the same for the
// alpha byte).
#pragma once

#include <cstdint>

#include "engine/surface_blend.h"

namespace lumessa::blend {
namespace {

template <class V>
using Vec = typename V::T;

// Per colour channel (d * (256 - w) + s * w) >> 8, with w (0..255) in both 16-bit lanes of each
// pixel. Blue and red are worked on in the low bytes of the 16-bit lanes, green and alpha after
// shifting them there, so no unpacking is needed; the alpha byte of the result is left over and
// replaced by the callers.
template <class V>
inline Vec<V> Lerp(Vec<V> d, Vec<V> s, Vec<V> w) {
  const Vec<V> low = V::Set32(0x00FF00FF);
  const Vec<V> high = V::Set32(0xFF00FF00);
  const Vec<V> iw = V::Sub16(V::Set16(256), w);
  Vec<V> rb = V::Srl16(V::Add16(V::Mul16(V::And(d, low), iw), V::Mul16(V::And(s, low), w)), 8);
  Vec<V> ga = V::And(V::Add16(V::Mul16(V::Srl16(d, 8), iw), V::Mul16(V::Srl16(s, 8), w)), high);
  return V::Or(rb, ga);
}

// Per channel (o * s + io * d + 255) >> 8 with o and io in every 16-bit lane.
template <class V>
inline Vec<V> Mix(Vec<V> d, Vec<V> s, Vec<V> o, Vec<V> io) {
  const Vec<V> low = V::Set32(0x00FF00FF);
  const Vec<V> high = V::Set32(0xFF00FF00);
  const Vec<V> k255 = V::Set16(255);
  Vec<V> rb = V::Srl16(
      V::Add16(V::Add16(V::Mul16(V::And(s, low), o), V::Mul16(V::And(d, low), io)), k255), 8);
  Vec<V> ga = V::And(
      V::Add16(V::Add16(V::Mul16(V::Srl16(s, 8), o), V::Mul16(V::Srl16(d, 8), io)), k255), high);
  return V::Or(rb, ga);
}

template <class V>
void SourceOpacityRow(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  const Vec<V> o = V::Set16(args.opacity);
  const Vec<V> io = V::Set16(255 - args.opacity);
  const Vec<V> rgbMask = V::Set32(0x00FFFFFF);
  const Vec<V> alphaMask = V::Set32(0xFF000000);
  const Vec<V> newAlpha = V::Set32(uint32_t(args.opacity) << 24);
  int i = 0;
  for (; i + V::kPixels <= count; i += V::kPixels) {
    Vec<V> d = V::Load(dst + i);
    Vec<V> rgb = V::And(Mix<V>(d, V::Load(src + i), o, io), rgbMask);
    V::Store(dst + i, V::Or(rgb, args.dstHasAlpha ? newAlpha : V::And(d, alphaMask)));
  }
  ReferenceLoops().sourceOpacity(dst + i, src + i, count - i, args);
}

template <class V>
void AlphaSourceRow(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  const Vec<V> z = V::Zero();
  const Vec<V> one = V::Set32(1);
  const Vec<V> k255 = V::Set32(255);
  const Vec<V> rgbMask = V::Set32(0x00FFFFFF);
  const Vec<V> opaque = V::Set32(0xFF000000);
  int i = 0;
  if (args.dstHasAlpha) {
    for (; i + V::kPixels <= count; i += V::kPixels) {
      Vec<V> s = V::Load(src + i);
      Vec<V> d = V::Load(dst + i);
      Vec<V> sA = V::Srl32(s, 24);
      Vec<V> dA = V::Srl32(d, 24);
      Vec<V> rgb = V::And(Lerp<V>(d, s, V::AlphaWeight16(s)), rgbMask);
      Vec<V> a = V::Add32(sA, V::Srl32(V::Mul16(V::Sub32(k255, sA), V::Add32(dA, one)), 8));
      Vec<V> r = V::Blend(V::CmpEq32(sA, z), d, V::Or(rgb, V::Sll32(a, 24)));
      V::Store(dst + i, V::Blend(V::CmpEq32(dA, z), s, r));
    }
  } else {
    for (; i + V::kPixels <= count; i += V::kPixels) {
      Vec<V> s = V::Load(src + i);
      Vec<V> d = V::Load(dst + i);
      Vec<V> rgb = V::Or(V::And(Lerp<V>(d, s, V::AlphaWeight16(s)), rgbMask), opaque);
      Vec<V> r = V::Blend(V::CmpEq32(V::Srl32(s, 24), z), d, rgb);
      V::Store(dst + i, V::Blend(V::CmpEq32(V::Srl32(d, 24), z), V::Or(s, opaque), r));
    }
  }
  ReferenceLoops().alphaSource(dst + i, src + i, count - i, args);
}

template <class V>
void AlphaSourceOpacityRow(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  const Vec<V> z = V::Zero();
  const Vec<V> o = V::Set32(uint32_t(args.opacity));
  const Vec<V> k256 = V::Set32(256);
  const Vec<V> rgbMask = V::Set32(0x00FFFFFF);
  const Vec<V> alphaMask = V::Set32(0xFF000000);
  const bool dstHasAlpha = args.dstHasAlpha;
  int i = 0;
  for (; i + V::kPixels <= count; i += V::kPixels) {
    Vec<V> s = V::Load(src + i);
    Vec<V> d = V::Load(dst + i);
    Vec<V> h = V::Srl32(V::Mul16(V::Srl32(s, 24), o), 8);
    Vec<V> rgb = V::And(Lerp<V>(d, s, V::Weight16(h)), rgbMask);
    // h - ((dA * (h - 256) + 255) >> 8) with a flooring shift is h + (dA * (256 - h) >> 8).
    Vec<V> a =
        dstHasAlpha
            ? V::Sll32(V::Add32(h, V::Srl32(V::Mul16(V::Srl32(d, 24), V::Sub32(k256, h)), 8)), 24)
            : V::And(d, alphaMask);
    V::Store(dst + i, V::Blend(V::CmpEq32(h, z), d, V::Or(rgb, a)));
  }
  ReferenceLoops().alphaSourceOpacity(dst + i, src + i, count - i, args);
}

template <class V>
void FillSolidRow(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  const Vec<V> c = V::Set32(args.color);
  int i = 0;
  for (; i + V::kPixels <= count; i += V::kPixels) V::Store(dst + i, c);
  ReferenceLoops().fillSolid(dst + i, src + i, count - i, args);
}

template <class V>
void FillConstantRow(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  const Vec<V> o = V::Set16(args.level);
  const Vec<V> io = V::Set16(255 - args.level);
  const Vec<V> c = V::Set32(args.color);
  const Vec<V> rgbMask = V::Set32(0x00FFFFFF);
  const Vec<V> alphaMask = V::Set32(0xFF000000);
  const Vec<V> level = V::Set32(uint32_t(args.level) << 24);
  int i = 0;
  for (; i + V::kPixels <= count; i += V::kPixels) {
    Vec<V> d = V::Load(dst + i);
    Vec<V> rgb = V::And(Mix<V>(d, c, o, io), rgbMask);
    // max(dA, a) on the alpha byte alone: the other bytes of `level` are 0.
    Vec<V> alpha = args.dstHasAlpha ? V::And(V::Max8u(d, level), alphaMask) : V::And(d, alphaMask);
    V::Store(dst + i, V::Or(rgb, alpha));
  }
  ReferenceLoops().fillConstant(dst + i, src + i, count - i, args);
}

template <class V>
void FillMaskedRow(uint32_t* dst, const uint32_t* mask, int count, const TRowArgs& args) {
  const Vec<V> z = V::Zero();
  const Vec<V> k255 = V::Set32(255);
  const Vec<V> rgbMask = V::Set32(0x00FFFFFF);
  const Vec<V> alphaMask = V::Set32(0xFF000000);
  const Vec<V> color = V::Set32(args.color);
  const Vec<V> level = V::Set32(uint32_t(args.level));
  const bool full = args.level == 255;
  int i = 0;
  for (; i + V::kPixels <= count; i += V::kPixels) {
    Vec<V> d = V::Load(dst + i);
    Vec<V> m = V::Srl32(V::Load(mask + i), 24);
    Vec<V> f = full ? m : V::Srl32(V::Mul16(m, level), 8);
    Vec<V> rgb = V::And(Lerp<V>(d, color, V::Weight16(f)), rgbMask);
    Vec<V> a;
    if (args.dstHasAlpha) {
      Vec<V> dA = V::Srl32(d, 24);
      a = V::Sll32(V::Add32(dA, V::Srl32(V::Mul16(V::Sub32(k255, dA), f), 8)), 24);
    } else {
      a = full ? alphaMask : V::And(d, alphaMask);
    }
    Vec<V> r = V::Blend(V::CmpEq32(f, k255), color, V::Or(rgb, a));
    V::Store(dst + i, V::Blend(V::CmpEq32(f, z), d, r));
  }
  ReferenceLoops().fillMasked(dst + i, mask + i, count - i, args);
}

// Modes 1-5 per pixel, written without branches in plain integer arithmetic: the compiler
// vectorises these loops itself (this file is built at -O3, once per instruction set). Channel
// by channel the same values as the reference formulas; the shifts stand for the divisions of
// non-negative numbers.
template <int kMode, bool kDstHasAlpha>
inline uint32_t ModePixel(uint32_t d, uint32_t s, uint32_t f) {
  const uint32_t dA = d >> 24;
  if constexpr (kMode == 5) {  // maxopaque
    uint32_t won = (s & 0x00FFFFFFu) | (kDstHasAlpha ? f : dA) << 24;
    return f >= dA ? won : d;
  } else {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t dc = (d >> shift) & 0xFF, sc = (s >> shift) & 0xFF;
      uint32_t r;
      if constexpr (kMode == 1) {  // screen
        r = 255 - (((255 - ((f * sc) >> 8)) * (256 - dc)) >> 8);
      } else if constexpr (kMode == 2) {  // overlay
        const uint32_t g = 255 - f;
        uint32_t light = ((dc * g) >> 8) + (((255 - (((255 - dc) * (255 - sc)) >> 7)) * f) >> 8);
        uint32_t dark = ((dc * g) >> 8) + ((f * (dc * sc)) >> 15);
        r = dc >= 128 ? light : dark;
      } else if constexpr (kMode == 3) {  // linearlight, the quotient rounded toward zero
        int32_t v = int32_t(f) * (2 * int32_t(sc) - 255);
        int32_t q = (v + ((v >> 31) & 255)) >> 8;
        const int32_t sum = int32_t(dc) + q;
        r = uint32_t(sum < 0 ? 0 : sum > 255 ? 255 : sum);
      } else {  // addition
        const uint32_t sum = dc + ((f * sc) >> 8);
        r = sum > 255 ? 255 : sum;
      }
      out |= r << shift;
    }
    const uint32_t a = kDstHasAlpha ? f + (((255 - f) * dA) >> 8) : dA;
    return out | a << 24;
  }
}

// The destination's alpha flag is a template argument: a flag tested inside the loop keeps the
// compiler from vectorising it.
template <int kMode, bool kDstHasAlpha>
void BlendModeLoop(uint32_t* dst, const uint32_t* src, int count, uint32_t opacity) {
  for (int i = 0; i < count; ++i) {
    const uint32_t s = src[i], d = dst[i], sA = s >> 24;
    const uint32_t r = ModePixel<kMode, kDstHasAlpha>(d, s, (opacity * sA) >> 8);
    dst[i] = sA == 0 ? d : r;
  }
}

template <int kMode>
void BlendModeRow(uint32_t* dst, const uint32_t* src, int count, const TRowArgs& args) {
  if (args.dstHasAlpha)
    BlendModeLoop<kMode, true>(dst, src, count, uint32_t(args.opacity));
  else
    BlendModeLoop<kMode, false>(dst, src, count, uint32_t(args.opacity));
}

template <int kMode, bool kDstHasAlpha, bool kMaskHasAlpha>
void FillModeLoop(uint32_t* dst, const uint32_t* mask, int count, uint32_t color, uint32_t base) {
  for (int i = 0; i < count; ++i) {
    const uint32_t d = dst[i], m = kMaskHasAlpha ? mask[i] >> 24 : 255;
    const uint32_t r = ModePixel<kMode, kDstHasAlpha>(d, color, (base * m) >> 8);
    dst[i] = m == 0 ? d : r;
  }
}

template <int kMode>
void FillModeRow(uint32_t* dst, const uint32_t* mask, int count, const TRowArgs& args) {
  const uint32_t base = (uint32_t(args.opacity) * (args.color >> 24)) >> 8;
  const uint32_t c = args.color;
  if (args.dstHasAlpha) {
    if (args.srcHasAlpha)
      FillModeLoop<kMode, true, true>(dst, mask, count, c, base);
    else
      FillModeLoop<kMode, true, false>(dst, mask, count, c, base);
  } else {
    if (args.srcHasAlpha)
      FillModeLoop<kMode, false, true>(dst, mask, count, c, base);
    else
      FillModeLoop<kMode, false, false>(dst, mask, count, c, base);
  }
}

template <class V>
constexpr TRowLoops MakeLoops(const char* name) {
  return {name,
          SourceOpacityRow<V>,
          AlphaSourceRow<V>,
          AlphaSourceOpacityRow<V>,
          FillSolidRow<V>,
          FillConstantRow<V>,
          FillMaskedRow<V>,
          {BlendModeRow<1>, BlendModeRow<2>, BlendModeRow<3>, BlendModeRow<4>, BlendModeRow<5>},
          {FillModeRow<1>, FillModeRow<2>, FillModeRow<3>, FillModeRow<4>, FillModeRow<5>}};
}

}  // namespace
}  // namespace lumessa::blend
