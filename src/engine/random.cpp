#include "engine/random.h"

#include <cmath>
#include <numbers>

namespace lumessa {

namespace {

uint64_t SplitMix64(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

constexpr uint64_t Rotl(uint64_t x, int k) {
  return (x << k) | (x >> (64 - k));
}

}  // namespace

void TRandom::Seed(uint64_t seed) {
  // splitmix64 never yields four zero words, the one state xoshiro cannot leave.
  for (uint64_t& w : s_) w = SplitMix64(seed);
}

uint64_t TRandom::NextBits() {
  const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
  const uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = Rotl(s_[3], 45);
  return result;
}

double TRandom::NextReal() {
  return double(NextBits() >> 11) * 0x1.0p-53;
}

int64_t TRandom::NextInt(int64_t bound) {
  if (bound <= 0) return 0;
  // Rejection of the short last block keeps every value equally likely.
  const uint64_t range = uint64_t(bound);
  const uint64_t limit = UINT64_MAX - UINT64_MAX % range;
  uint64_t x;
  do {
    x = NextBits();
  } while (x >= limit);
  return int64_t(x % range);
}

double TRandom::NextGaussian(double mean, double deviation) {
  // Box-Muller; 1 - u keeps the logarithm's argument in (0, 1].
  const double u1 = 1.0 - NextReal();
  const double u2 = NextReal();
  return mean + deviation * std::sqrt(-2.0 * std::log(u1)) * std::cos(2 * std::numbers::pi * u2);
}

TRandom& ProgramRandom() {
  static TRandom generator(0x6C756D65737361ull);
  return generator;
}

void SeedProgramRandom(uint64_t seed) {
  ProgramRandom().Seed(seed);
}

}  // namespace lumessa
