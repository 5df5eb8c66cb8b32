#include "math/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "engine/random.h"
#include "math_test_util.h"

namespace lumessa::expr {
namespace {

// Compiles one formula in a fresh parser and evaluates it.
float Eval(std::string_view text) {
  TExpressionParser p;
  p.AddExpression(text);
  return p.EvaluateAll();
}

struct TValueCase {
  const char* text;
  double expected;
};

void PrintTo(const TValueCase& c, std::ostream* os) {
  *os << test::Label(c.text);
}

class ExpressionValueTest : public ::testing::TestWithParam<TValueCase> {};

TEST_P(ExpressionValueTest, Evaluates) {
  const TValueCase& c = GetParam();
  float v = Eval(c.text);
  EXPECT_NEAR(v, c.expected, 1e-5 * std::max(1.0, std::fabs(c.expected))) << c.text;
}

constexpr double kPi = std::numbers::pi;

INSTANTIATE_TEST_SUITE_P(
    Language, ExpressionValueTest,
    ::testing::Values(
        // Precedence and grouping.
        TValueCase{"2 + 3 * 4", 14}, TValueCase{"2 * 3 + 4", 10}, TValueCase{"10 - 4 - 3", 3},
        TValueCase{"1 - 2 - 3 - 4", -8}, TValueCase{"2 ^ 3 ^ 2", 64}, TValueCase{"2 * 3 ^ 2", 18},
        TValueCase{"2 * (3 + 4)", 14}, TValueCase{"((((1))))", 1}, TValueCase{"10 / 4", 2.5},
        TValueCase{"1 + 2 < 4", 1}, TValueCase{"3 > 2 and 2 > 1", 1},
        // Signs.
        TValueCase{"-2 ^ 2", 4}, TValueCase{"2 ^ -1", 0.5}, TValueCase{"- -3", 3},
        TValueCase{"- - -3", -3}, TValueCase{"2 * -3", -6}, TValueCase{"5 - -3", 8},
        TValueCase{"-(2 + 3)", -5}, TValueCase{"1 + + 2", 3}, TValueCase{"(-2) ^ 3", -8},
        TValueCase{"max(-1, -2)", -1},
        // Postfix words.
        TValueCase{"5 !", 120}, TValueCase{"3!!", 720}, TValueCase{"1.4 !", 1},
        TValueCase{"50 %", 0.5}, TValueCase{"3 + 5 !", 123},
        // Integer and logic words.
        TValueCase{"7 div 2", 3}, TValueCase{"-7 div 2", -3}, TValueCase{"-7 mod 2", -1},
        TValueCase{"7 mod -2", 1}, TValueCase{"6 and 3", 2}, TValueCase{"6 or 3", 7},
        TValueCase{"6 xor 3", 5}, TValueCase{"not 0", 1}, TValueCase{"not 1", 0},
        TValueCase{"not not 1", 1}, TValueCase{"1 + not 0", 2}, TValueCase{"not 256", 1},
        TValueCase{"if(256, 1, 2)", 2}, TValueCase{"if(257, 1, 2)", 1},
        TValueCase{"if(-1, 1, 2)", 1},
        // Comparisons and their tolerance.
        TValueCase{"3 > 2", 1}, TValueCase{"2 > 3", 0}, TValueCase{"2 >= 2", 1},
        TValueCase{"2 <= 1", 0}, TValueCase{"2 = 2", 1}, TValueCase{"2 <> 2", 0},
        TValueCase{"2 <> 3", 1}, TValueCase{"1 in 1", 1}, TValueCase{"1 = 1.0000001", 0},
        // Named functions and constants.
        TValueCase{"sqr(3)", 9}, TValueCase{"sqrt(16)", 4}, TValueCase{"abs(-2.5)", 2.5},
        TValueCase{"round(2.5)", 2}, TValueCase{"round(3.5)", 4}, TValueCase{"round(-2.5)", -2},
        TValueCase{"trunc(-2.7)", -2}, TValueCase{"ln(exp(2))", 2}, TValueCase{"log10(1000)", 3},
        TValueCase{"logn(2, 8)", 3}, TValueCase{"power(2, 0.5)", std::sqrt(2.0)},
        TValueCase{"pow(2, 3)", 8}, TValueCase{"intpower(2, 2.6)", 8}, TValueCase{"max(1, 2)", 2},
        TValueCase{"min(1, 2)", 1}, TValueCase{"max(1 + 1, 3 * 1) * 2", 6},
        TValueCase{"sin(pi / 2) * 10", 10}, TValueCase{"cos(0)", 1}, TValueCase{"tan(0)", 0},
        TValueCase{"arcsin(1)", kPi / 2}, TValueCase{"arccos(1)", 0},
        TValueCase{"arctan(1)", kPi / 4}, TValueCase{"arctan2(1, 0)", kPi / 2},
        TValueCase{"arctan2(0, -1)", kPi}, TValueCase{"sinh(0)", 0}, TValueCase{"cosh(0)", 1},
        TValueCase{"tanh(0)", 0}, TValueCase{"arcsinh(0)", 0}, TValueCase{"arccosh(1)", 0},
        TValueCase{"arctanh(0)", 0}, TValueCase{"degtorad(180)", kPi},
        TValueCase{"radtodeg(pi)", 180}, TValueCase{"pi", kPi}, TValueCase{"PI * 2", 2 * kPi},
        // Literals.
        TValueCase{"$ff", 255}, TValueCase{"$10 + 1", 17}, TValueCase{"1.5e3", 1500},
        TValueCase{"2e-2", 0.02}, TValueCase{".5", 0.5}, TValueCase{"5.", 5},
        TValueCase{"  \t7\t ", 7},
        // Strings: the formula is read in lower case, so texts compare so too.
        TValueCase{"'abc' = 'abc'", 1}, TValueCase{"'ABC' = 'abc'", 1},
        TValueCase{"'abc' <> 'abd'", 1}, TValueCase{"'abc' < 'abd'", 1},
        TValueCase{"'b' >= 'a'", 1}, TValueCase{"'b' in 'a, b,c'", 1},
        TValueCase{"'d' in 'a,b,c'", 0}, TValueCase{"pos('b', 'abc')", 2},
        TValueCase{"pos('z', 'abc')", 0}, TValueCase{"pos('b', 'abc') * 10", 20},
        TValueCase{"'a' = 'a' and 'b' = 'b'", 1},
        // An unknown name is a variable of value 0.
        TValueCase{"x", 0}, TValueCase{"x + 1", 1}));

struct TErrorCase {
  std::string text;
  std::string message;
};

void PrintTo(const TErrorCase& c, std::ostream* os) {
  *os << test::Label(c.text);
}

class ExpressionErrorTest : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(ExpressionErrorTest, RaisesTheMessage) {
  const TErrorCase& c = GetParam();
  TExpressionParser p;
  try {
    p.AddExpression(c.text);
    FAIL() << "compiled: " << c.text;
  } catch (const EParserException& e) {
    EXPECT_EQ(e.what(), c.message) << c.text;
  }
  EXPECT_EQ(p.ExpressionCount(), 0);
}

const std::string kE = "Error in math expression: ";
const std::string kFew = kE + "Syntax error: function or operand has too few arguments";

INSTANTIATE_TEST_SUITE_P(
    Language, ExpressionErrorTest,
    ::testing::Values(
        TErrorCase{"foo(1)", kE + "foo is an unknown function"},
        TErrorCase{"1 + bar (2)", kE + "bar is an unknown function"},
        TErrorCase{"(1 + 2", "Unequal brackets"}, TErrorCase{"1 + 2)", "Unequal brackets"},
        TErrorCase{") + (", kE + "Empty brackets ()"}, TErrorCase{") + 1 + (1", "Unequal brackets"},
        TErrorCase{"()", kE + "Empty brackets ()"}, TErrorCase{"sin()", kE + "Empty brackets ()"},
        TErrorCase{"1 2", kE + "1 two space limited variables/constants"},
        TErrorCase{"x y", kE + "x two space limited variables/constants"},
        TErrorCase{"2e", kE + "2 two space limited variables/constants"},
        TErrorCase{"(1)(2)", kE + "Missing operand between )("},
        TErrorCase{"(1) 2", kE + "Missing operand between ) and constant/variable"},
        TErrorCase{"2 (1)", kE + "Missing operand between constant/variable and ("},
        TErrorCase{"pi(1)", kE + "Missing operand between constant/variable and ("},
        TErrorCase{"max(1)", kFew}, TErrorCase{"max(1, 2, 3)", kFew}, TErrorCase{"max(, 1)", kFew},
        TErrorCase{"if(1, 2, )", kFew}, TErrorCase{"1 +", kFew}, TErrorCase{"* 2", kFew},
        TErrorCase{"2 * * 3", kFew}, TErrorCase{"sin", kFew}, TErrorCase{"sin 1", kFew},
        TErrorCase{"x , y", kE + "Syntax error in expression x , y"},
        TErrorCase{"random random", kE + "Syntax error in expression random random"},
        TErrorCase{"sin(1) cos(1)", kE + "Syntax error in expression sin(1) cos(1)"},
        TErrorCase{"'a' + 'b'", "+ is not a valid string operand"},
        TErrorCase{"'a' and 'b'", "and is not a valid string operand"},
        TErrorCase{"'abc'", kE + "'abc' is not a number"},
        TErrorCase{"'abc' + 1", kE + "'abc' is not a number"},
        TErrorCase{"pos(1, 2)", kE + "pos needs quoted text operands"},
        TErrorCase{"pos('a')", kE + "pos needs quoted text operands"},
        TErrorCase{"1e39", kE + "Invalid number 1e39"}, TErrorCase{".", kE + "Invalid number ."},
        // Assignment needs a variable: constants keep their values.
        TErrorCase{"pi := 3", kE + "Cannot assign to constant pi"},
        TErrorCase{"3 := 4", kE + "Cannot assign to constant 3"},
        TErrorCase{"3++", kE + "Cannot assign to constant 3"},
        TErrorCase{"(x + 1) := 4", kE + "Cannot assign to the result of +"},
        TErrorCase{"x := y := 3", kE + "Cannot assign to the result of :="},
        // Bad input from data files: bounded recursion, never a crash.
        TErrorCase{std::string(300, '(') + "1" + std::string(300, ')') + "+", kFew},
        TErrorCase{[] {
                     std::string s;
                     for (int i = 0; i < 400; ++i) s += "(1+";
                     return s + "1" + std::string(400, ')');
                   }(),
                   kE + "Expression is nested too deeply"},
        TErrorCase{[] {
                     std::string s;
                     for (int i = 0; i < 400; ++i) s += "sin(";
                     return s + "1" + std::string(400, ')');
                   }(),
                   kE + "Expression is nested too deeply"},
        TErrorCase{[] {
                     std::string s;
                     for (int i = 0; i < 400; ++i) s += "- not ";
                     return s + "1";
                   }(),
                   kE + "Expression is nested too deeply"}));

struct TMathErrorCase {
  const char* text;
  TMathStatus status;
};

void PrintTo(const TMathErrorCase& c, std::ostream* os) {
  *os << test::Label(c.text);
}

class ExpressionMathErrorTest : public ::testing::TestWithParam<TMathErrorCase> {};

// A constant formula meets its math error while folding: the compilation fails with it.
TEST_P(ExpressionMathErrorTest, FoldingRaises) {
  TExpressionParser p;
  try {
    p.AddExpression(GetParam().text);
    FAIL() << "compiled: " << GetParam().text;
  } catch (const EMathError& e) {
    EXPECT_EQ(e.Status(), GetParam().status) << GetParam().text;
  }
}

// Without folding the same formula meets it while evaluating, and reports it.
TEST_P(ExpressionMathErrorTest, EvaluationReports) {
  std::string text = GetParam().text;
  TExpressionParser p;
  p.SetFold(false);
  p.AddExpression(text);
  float value = 42;
  EXPECT_EQ(p.TryEvaluateAll(value), GetParam().status) << text;
  EXPECT_EQ(value, 42) << "a failed evaluation gives no value";
  EXPECT_THROW(p.EvaluateAll(), EMathError);
}

INSTANTIATE_TEST_SUITE_P(Language, ExpressionMathErrorTest,
                         ::testing::Values(TMathErrorCase{"1 / 0", TMathStatus::ZeroDivide},
                                           TMathErrorCase{"0 / 0", TMathStatus::InvalidOp},
                                           TMathErrorCase{"7 div 0", TMathStatus::ZeroDivide},
                                           TMathErrorCase{"7 mod 0.2", TMathStatus::ZeroDivide},
                                           TMathErrorCase{"ln(0)", TMathStatus::ZeroDivide},
                                           TMathErrorCase{"ln(-1)", TMathStatus::InvalidOp},
                                           TMathErrorCase{"log10(-1)", TMathStatus::InvalidOp},
                                           TMathErrorCase{"logn(1, 5)", TMathStatus::ZeroDivide},
                                           TMathErrorCase{"sqrt(-1)", TMathStatus::InvalidOp},
                                           TMathErrorCase{"arcsin(2)", TMathStatus::InvalidOp},
                                           TMathErrorCase{"arctanh(1)", TMathStatus::ZeroDivide},
                                           TMathErrorCase{"(-8) ^ (1 / 3)", TMathStatus::InvalidOp},
                                           TMathErrorCase{"0 ^ -1", TMathStatus::ZeroDivide},
                                           TMathErrorCase{"1e38 * 10", TMathStatus::Overflow},
                                           TMathErrorCase{"exp(1000)", TMathStatus::Overflow},
                                           TMathErrorCase{"35 !", TMathStatus::Overflow},
                                           TMathErrorCase{"1e30 !", TMathStatus::InvalidOp},
                                           TMathErrorCase{"round(1e30)", TMathStatus::InvalidOp},
                                           TMathErrorCase{"1e30 and 1", TMathStatus::InvalidOp}));

// -- Folding and the chain --------------------------------------------------------------------

TEST(ExpressionFolding, ConstantSubExpressionsBecomeOneConstant) {
  TCustomExpressionParser p;
  p.Compile("sin(pi / 2) * 10");
  ASSERT_EQ(p.Current()->Chain().size(), 1u);
  EXPECT_NE(dynamic_cast<TFloatTypeConstant*>(p.Current()->Chain()[0].word), nullptr);
  EXPECT_FLOAT_EQ(p.Evaluate(), 10);

  p.Compile("random * 10");
  ASSERT_EQ(p.Current()->Chain().size(), 2u) << "a varying word is never folded";
  EXPECT_EQ(p.Current()->Chain()[0].word->Name(), "random");

  // Only the constant part of a varying formula folds.
  p.Compile("x * (2 + 3)");
  ASSERT_EQ(p.Current()->Chain().size(), 1u);
  EXPECT_EQ(p.Current()->Chain()[0].word->Name(), "*");

  p.Compile("3 > 2");
  EXPECT_EQ(p.Current()->Chain()[0].word->Kind(), TWordKind::Boolean);

  p.SetFold(false);
  p.Compile("2 + 3 * 4");
  EXPECT_EQ(p.Current()->Chain().size(), 2u);
  EXPECT_FLOAT_EQ(p.Evaluate(), 14);
}

TEST(ExpressionFolding, NoCurrentChainGivesNaN) {
  TCustomExpressionParser p;
  EXPECT_TRUE(std::isnan(p.Evaluate()));
  // A failed compilation keeps the previous chain.
  p.Compile("1 + 1");
  EXPECT_THROW(p.Compile("1 +"), EParserException);
  EXPECT_FLOAT_EQ(p.Evaluate(), 2);
}

TEST(ExpressionFolding, LongFlatFormulasCompileWithoutRecursion) {
  std::string sum = "x := 0";
  for (int i = 0; i < 20000; ++i) sum += "+1";
  TExpressionParser p;
  p.AddExpression(sum);
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 20000);
  // Brackets that only enclose the whole formula are dropped without recursion.
  EXPECT_FLOAT_EQ(Eval(std::string(50000, '(') + "7" + std::string(50000, ')')), 7);
}

// -- Variables --------------------------------------------------------------------------------

TEST(ExpressionVariables, HostCellsAreReadAndWritten) {
  float cell = 2;
  TExpressionParser p;
  p.DefineVariable("Cell", &cell);  // names are matched in lower case
  p.AddExpression("cell := cell * 3");
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 6);
  EXPECT_FLOAT_EQ(cell, 6);
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 18);
  cell = 1;
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 3) << "the chain reads the cell, not a copy";
}

TEST(ExpressionVariables, IncrementWritesTheCell) {
  TExpressionParser p;
  p.AddExpression("n++ * 10");
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 10);
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 20);
  p.AddExpression("n--");
  // The second line works on the first line's variable: 2 -> 3 -> 2.
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 2);
  EXPECT_FLOAT_EQ(p.Evaluate(0), 30);
}

TEST(ExpressionVariables, DefiningAVariableRebindsCompiledFormulas) {
  TExpressionParser p;
  p.AddExpression("speed * 2");
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 0);
  float speed = 5;
  p.DefineVariable("speed", &speed);
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 10);
  p.AddExpression("speed");
  speed = 7;
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 7);
}

TEST(ExpressionVariables, ReplacingWithADifferentArgumentCountFails) {
  TExpressionParser p;
  float cell = 0;
  try {
    p.DefineVariable("sin", &cell);
    FAIL();
  } catch (const EParserException& e) {
    EXPECT_STREQ(e.what(),
                 "Error in math expression: Cannot replace variable/function NFuntionArg doesn't "
                 "match");
  }
  p.AddExpression("sin(0) + 1");
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 1) << "the function word is still there";
}

TMathStatus Twice(TEvalNode& n) noexcept {
  n.result = *n.args[0] * 2;
  return TMathStatus::Ok;
}

TEST(ExpressionVariables, UserFunctions) {
  TExpressionParser p;
  p.DefineFunction("Twice", "x * 2", 1, Twice);
  p.AddExpression("twice(3) + 1");
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 7);
  try {
    p.DefineFunction("seven", "", 7, Twice);
    FAIL();
  } catch (const EParserException& e) {
    EXPECT_STREQ(e.what(), "Too many arguments");
  }
  EXPECT_FALSE(p.Words().Find("pi")->Description().empty());
}

// -- Expression set ---------------------------------------------------------------------------

TEST(ExpressionSet, LinesShareVariablesAndSkipComments) {
  TExpressionParser p;
  ASSERT_TRUE(p.AddExpressions("x := 3\r\n// y := 100\n\n   \r  y := x * 2  \n"));
  EXPECT_EQ(p.ExpressionCount(), 2);
  EXPECT_EQ(p.CurrentIndex(), 1);
  TExprWord* y = p.FindWord("y");
  ASSERT_NE(y, nullptr);
  EXPECT_FLOAT_EQ(*y->Value(), 0) << "a generated variable is 0 until assigned";
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 6);
  EXPECT_FLOAT_EQ(*y->Value(), 6);
  EXPECT_FLOAT_EQ(p.Evaluate(0), 3);
  EXPECT_TRUE(std::isnan(p.Evaluate(-1)));
  EXPECT_TRUE(std::isnan(p.Evaluate(2)));
}

TEST(ExpressionSet, AFailedLineLeavesTheSetEmpty) {
  TExpressionParser p;
  EXPECT_THROW(p.AddExpressions("a := 1\nb := (2"), EParserException);
  EXPECT_EQ(p.ExpressionCount(), 0);
  EXPECT_EQ(p.CurrentIndex(), -1);
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 0);
  EXPECT_EQ(p.AddExpression("   "), -1);
  EXPECT_EQ(p.ExpressionCount(), 0);
  // A name first met in the failed line is not left behind as a variable.
  EXPECT_EQ(p.FindWord("b"), nullptr);
  EXPECT_NE(p.FindWord("a"), nullptr);
}

TEST(ExpressionSet, ClearExpressions) {
  TExpressionParser p;
  p.AddExpressions("1\n2");
  p.ClearExpressions();
  EXPECT_EQ(p.ExpressionCount(), 0);
  EXPECT_EQ(p.Current(), nullptr);
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 0);
}

// -- Separators -------------------------------------------------------------------------------

TEST(ExpressionSeparators, DecimalCommaMovesTheArgumentSeparator) {
  TExpressionParser p;
  p.SetDecimalSeparator(',');
  EXPECT_EQ(p.ArgumentSeparator(), ';');
  p.AddExpression("max(1,5; 1) * 2");
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 3);
  p.SetArgumentSeparator(',');
  EXPECT_EQ(p.DecimalSeparator(), '.');
  p.AddExpression("max(1.5, 2)");
  EXPECT_FLOAT_EQ(p.EvaluateAll(), 2);
  // A character that is already a word, or could start a name, cannot separate arguments.
  p.SetArgumentSeparator('+');
  p.SetArgumentSeparator('a');
  EXPECT_EQ(p.ArgumentSeparator(), ',');
}

// -- Random words -----------------------------------------------------------------------------

TEST(ExpressionRandom, DrawsFromTheProgramGenerator) {
  TExpressionParser p;
  p.AddExpression("random_int(10) + random");
  SeedProgramRandom(7);
  float first = p.EvaluateAll();
  SeedProgramRandom(7);
  EXPECT_EQ(p.EvaluateAll(), first) << "one seed replays the run";
  for (int i = 0; i < 200; ++i) {
    float v = p.EvaluateAll();
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 10);
  }
  EXPECT_FLOAT_EQ(Eval("random_int(0)"), 0);
}

}  // namespace
}  // namespace lumessa::expr
