// The one random generator of the program. Everything that varies at random (the random kinds
// of functions, the expression words "random", "random_int" and "randg", particles, the member
// a sound or music group plays) draws from it, so one seed (the game's --seed) replays a whole
// run. It lives in the engine core so that every subsystem can reach it.
#pragma once

#include <cstdint>

namespace lumessa {

// xoshiro256** seeded through splitmix64: fast, small state, and the same sequence on every
// platform (the standard library's distributions are not portable across implementations).
class TRandom {
 public:
  explicit TRandom(uint64_t seed = 0) { Seed(seed); }

  void Seed(uint64_t seed);
  uint64_t NextBits();
  // Uniform real in [0, 1).
  double NextReal();
  // Uniform integer in 0 .. bound - 1; 0 when bound <= 0.
  int64_t NextInt(int64_t bound);
  // Normal with the given mean and standard deviation.
  double NextGaussian(double mean, double deviation);

 private:
  uint64_t s_[4];
};

// The program-wide generator.
TRandom& ProgramRandom();
// Restarts the program-wide generator; the start-up code passes --seed, tests their own seed.
void SeedProgramRandom(uint64_t seed);

}  // namespace lumessa
