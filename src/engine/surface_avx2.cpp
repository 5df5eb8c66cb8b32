// AVX2 row loops: eight pixels per step. This file is compiled with -mavx2 and is entered only
// through kAvx2Loops, which BlendLoops() hands out after asking the processor.
#include <immintrin.h>

#include "engine/surface_blend_simd.h"

namespace lumessa::blend {
namespace {

struct V256 {
  using T = __m256i;
  static constexpr int kPixels = 8;
  static T Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
  static void Store(uint32_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
  static T Zero() { return _mm256_setzero_si256(); }
  static T Set32(uint32_t v) { return _mm256_set1_epi32(int(v)); }
  static T Set16(int v) { return _mm256_set1_epi16(short(v)); }
  static T Mul16(T a, T b) { return _mm256_mullo_epi16(a, b); }
  static T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static T Srl16(T a, int n) { return _mm256_srli_epi16(a, n); }
  static T Add32(T a, T b) { return _mm256_add_epi32(a, b); }
  static T Sub32(T a, T b) { return _mm256_sub_epi32(a, b); }
  static T Srl32(T a, int n) { return _mm256_srli_epi32(a, n); }
  static T Sll32(T a, int n) { return _mm256_slli_epi32(a, n); }
  static T And(T a, T b) { return _mm256_and_si256(a, b); }
  static T Or(T a, T b) { return _mm256_or_si256(a, b); }
  static T CmpEq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
  static T Max8u(T a, T b) { return _mm256_max_epu8(a, b); }
  static T Blend(T mask, T a, T b) { return _mm256_blendv_epi8(b, a, mask); }
  // Byte shuffles within each 128-bit half; -128 (0x80) writes a zero byte.
  static T Weight16(T w) {
    return _mm256_shuffle_epi8(
        w,
        _mm256_setr_epi8(0, -128, 0, -128, 4, -128, 4, -128, 8, -128, 8, -128, 12, -128, 12, -128,
                         0, -128, 0, -128, 4, -128, 4, -128, 8, -128, 8, -128, 12, -128, 12, -128));
  }
  static T AlphaWeight16(T px) {
    return _mm256_shuffle_epi8(
        px, _mm256_setr_epi8(3, -128, 3, -128, 7, -128, 7, -128, 11, -128, 11, -128, 15, -128, 15,
                             -128, 3, -128, 3, -128, 7, -128, 7, -128, 11, -128, 11, -128, 15, -128,
                             15, -128));
  }
};

}  // namespace

extern const TRowLoops kAvx2Loops;
constinit const TRowLoops kAvx2Loops = MakeLoops<V256>("avx2");

}  // namespace lumessa::blend
