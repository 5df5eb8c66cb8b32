// SSE2 row loops (part of every x86-64 processor): four pixels per step.
#include <emmintrin.h>

#include "engine/surface_blend_simd.h"

namespace lumessa::blend {
namespace {

struct V128 {
  using T = __m128i;
  static constexpr int kPixels = 4;
  static T Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
  static void Store(uint32_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
  static T Zero() { return _mm_setzero_si128(); }
  static T Set32(uint32_t v) { return _mm_set1_epi32(int(v)); }
  static T Set16(int v) { return _mm_set1_epi16(short(v)); }
  static T Mul16(T a, T b) { return _mm_mullo_epi16(a, b); }
  static T Add16(T a, T b) { return _mm_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm_sub_epi16(a, b); }
  static T Srl16(T a, int n) { return _mm_srli_epi16(a, n); }
  static T Add32(T a, T b) { return _mm_add_epi32(a, b); }
  static T Sub32(T a, T b) { return _mm_sub_epi32(a, b); }
  static T Srl32(T a, int n) { return _mm_srli_epi32(a, n); }
  static T Sll32(T a, int n) { return _mm_slli_epi32(a, n); }
  static T And(T a, T b) { return _mm_and_si128(a, b); }
  static T Or(T a, T b) { return _mm_or_si128(a, b); }
  static T CmpEq32(T a, T b) { return _mm_cmpeq_epi32(a, b); }
  static T Max8u(T a, T b) { return _mm_max_epu8(a, b); }
  static T Blend(T mask, T a, T b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
  }
  static T Weight16(T w) { return _mm_or_si128(w, _mm_slli_epi32(w, 16)); }
  static T AlphaWeight16(T px) { return Weight16(_mm_srli_epi32(px, 24)); }
};

}  // namespace

extern const TRowLoops kSse2Loops;
constinit const TRowLoops kSse2Loops = MakeLoops<V128>("sse2");

}  // namespace lumessa::blend
