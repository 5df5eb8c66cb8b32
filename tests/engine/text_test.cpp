#include "engine/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <optional>

#include "engine/variant.h"

namespace lumessa {
namespace {

TEST(TextTest, ParseInt) {
  struct Case {
    const char* text;
    std::optional<int64_t> value;
  };
  const Case cases[] = {
      {"42", 42},
      {"-17", -17},
      {"+5", 5},
      {"$FF", 255},
      {"$ff", 255},
      {"0x1A", 26},
      {"-$10", -16},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"12a", std::nullopt},
      {" 12", std::nullopt},
      {"1.5", std::nullopt},
      {"--1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInt(c.text), c.value);
  }
}

TEST(TextTest, FloatsUseAPointWhateverTheLocale) {
  // A locale with a decimal comma must not change anything.
  const char* old = std::setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) std::setlocale(LC_ALL, "fr_FR.UTF-8");
  EXPECT_EQ(ParseFloat("1.5"), 1.5);
  EXPECT_EQ(ParseFloat("1,5"), std::nullopt);
  EXPECT_EQ(FormatFloat(1.5), "1.5");
  std::setlocale(LC_ALL, saved.c_str());

  struct Case {
    double v;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {1, "1"},
      {-2.25, "-2.25"},
      {0.1, "0.1"},
      {1e20, "1e+20"},
      {100000, "100000"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.000123, "0.000123"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatFloat(c.v), c.text);
    EXPECT_NEAR(*ParseFloat(FormatFloat(c.v)), c.v, std::abs(c.v) * 1e-14);
  }
  EXPECT_EQ(ParseFloat("abc"), std::nullopt);
  EXPECT_EQ(ParseFloat(""), std::nullopt);
  EXPECT_EQ(ParseFloat("2e3"), 2000.0);
}

TEST(TextTest, BoolsAreExactlyYesOrNo) {
  EXPECT_EQ(ParseBool("yes"), true);
  EXPECT_EQ(ParseBool("no"), false);
  EXPECT_EQ(ParseBool("Yes"), std::nullopt);
  EXPECT_EQ(ParseBool("true"), std::nullopt);
}

TEST(TextTest, CaseRulesFoldOnlyAscii) {
  EXPECT_TRUE(EqualsIgnoreCase("Data\\INI", "data\\ini"));
  EXPECT_FALSE(EqualsIgnoreCase("\xC3\xA9", "\xC3\x89"));
  EXPECT_LT(CompareIgnoreCase("abc", "ABD"), 0);
  EXPECT_GT(CompareIgnoreCase("b", "A"), 0);
  EXPECT_LT(CompareIgnoreCase("ab", "ABC"), 0);
  EXPECT_EQ(Trim(" \t x y\r\n"), "x y");
}

TEST(VariantTest, Conversions) {
  EXPECT_EQ(TVariant("12").ToInt(), 12);
  EXPECT_EQ(TVariant("$10").ToInt(), 16);
  EXPECT_EQ(TVariant(" 2.5 ").ToInt(), 2);  // halves to even
  EXPECT_EQ(TVariant(3.5).ToInt(), 4);
  EXPECT_EQ(TVariant(-2.5).ToInt(), -2);
  EXPECT_EQ(TVariant("x").ToInt(7), 7);
  EXPECT_EQ(TVariant().ToInt(7), 7);
  EXPECT_DOUBLE_EQ(TVariant("0.25").ToFloat(), 0.25);
  EXPECT_TRUE(TVariant("yes").ToBool());
  EXPECT_TRUE(TVariant("Yes").ToBool(true));
  EXPECT_FALSE(TVariant("Yes").ToBool(false));
  EXPECT_EQ(TVariant(1.5).ToString(), "1.5");
  EXPECT_EQ(TVariant(true).ToString(), "yes");
  EXPECT_EQ(TVariant(int64_t{-3}).ToString(), "-3");
  EXPECT_EQ(TVariant(TVariant::Null).ToString(), "");
  EXPECT_TRUE(TVariant("1e3").ConvertsToNumber());
  EXPECT_FALSE(TVariant("one").ConvertsToNumber());
}

TEST(VariantTest, EqualityIsByKindAndValue) {
  EXPECT_EQ(TVariant("10"), TVariant("10"));
  EXPECT_NE(TVariant("10"), TVariant(10));
  EXPECT_NE(TVariant(), TVariant(TVariant::Null));
  EXPECT_TRUE(TVariant().IsEmpty());
  EXPECT_TRUE(TVariant(TVariant::Null).IsEmpty());
}

TEST(VariantTest, RoundHalfEven) {
  const std::pair<double, int64_t> cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},         {-0.5, 0},
                                              {-1.5, -2}, {2.4999, 2}, {1e30, INT64_MAX}};
  for (auto [v, r] : cases) EXPECT_EQ(RoundHalfEven(v), r) << v;
}

}  // namespace
}  // namespace lumessa
