#include "engine/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace lumessa {
namespace {

TEST(Random, OneSeedReplaysTheSequence) {
  TRandom a(42), b(42), c(43);
  bool differs = false;
  for (int i = 0; i < 100; ++i) {
    uint64_t x = a.NextBits();
    EXPECT_EQ(x, b.NextBits());
    differs = differs || x != c.NextBits();
  }
  EXPECT_TRUE(differs);
  SeedProgramRandom(5);
  double first = ProgramRandom().NextReal();
  SeedProgramRandom(5);
  EXPECT_EQ(ProgramRandom().NextReal(), first);
}

TEST(Random, Ranges) {
  TRandom r(1);
  int counts[5] = {};
  for (int i = 0; i < 10000; ++i) {
    double x = r.NextReal();
    ASSERT_GE(x, 0.0);
    ASSERT_LT(x, 1.0);
    int64_t k = r.NextInt(5);
    ASSERT_GE(k, 0);
    ASSERT_LT(k, 5);
    ++counts[k];
  }
  for (int c : counts) EXPECT_NEAR(c, 2000, 200) << "every value about equally often";
  EXPECT_EQ(r.NextInt(1), 0);
  EXPECT_EQ(r.NextInt(0), 0);
  EXPECT_EQ(r.NextInt(-5), 0);
  EXPECT_GE(r.NextInt(INT64_MAX), 0);
}

TEST(Random, GaussianMeanAndDeviation) {
  TRandom r(3);
  const int n = 20000;
  double sum = 0, sq = 0;
  for (int i = 0; i < n; ++i) {
    double g = r.NextGaussian(10, 2);
    ASSERT_TRUE(std::isfinite(g));
    sum += g;
    sq += g * g;
  }
  double mean = sum / n;
  EXPECT_NEAR(mean, 10, 0.1);
  EXPECT_NEAR(std::sqrt(sq / n - mean * mean), 2, 0.1);
}

}  // namespace
}  // namespace lumessa
