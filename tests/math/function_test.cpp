#include "math/function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/random.h"
#include "engine/surface.h"
#include "math/function_kinds.h"
#include "math_test_util.h"

namespace lumessa {
namespace {

using test::EnsureMathClasses;
using test::LoadFunction;
using test::TTestHost;

// A result cell that the calculation must not touch.
constexpr float kUnchanged = -12345;

// A function of that kind whose cells are all static: `results` result cells holding
// kUnchanged, then one argument column per entry of `args`.
Ref<IFunction> MakeKind(const char* type, int results,
                        const std::vector<std::vector<float>>& args) {
  EnsureMathClasses();
  Ref<IFunction> f = Query<IFunction>(CreateObjectByType(type));
  EXPECT_TRUE(f) << type;
  Ref<IParamSpace> space = f->GetParamSpace();
  for (int i = 0; i < results; ++i)
    space->AddParamDef("r" + std::to_string(i), 0, kUnchanged, "", true, -1);
  for (size_t c = 0; c < args.size(); ++c)
    for (float v : args[c]) space->AddParamDef("", int(c) + 1, v, "", true, -1);
  f->SetOwner(nullptr);
  return f;
}

std::vector<float> Results(IFunction& f) {
  std::vector<float> r;
  for (int i = 0; i < f.GetResultCount(); ++i) r.push_back(f.GetResult(i));
  return r;
}

void ExpectResults(IFunction& f, const std::vector<float>& expected, const std::string& what) {
  std::vector<float> got = Results(f);
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], expected[i], 1e-4 * std::max(1.0f, std::fabs(expected[i])))
        << what << " result " << i;
}

struct TKindCase {
  const char* type;
  std::vector<std::vector<float>> args;
  std::vector<float> expected;
};

std::string Describe(const TKindCase& c) {
  std::ostringstream s;
  s << c.type;
  for (const auto& col : c.args) {
    s << " (";
    for (size_t i = 0; i < col.size(); ++i) s << (i ? "," : "") << col[i];
    s << ")";
  }
  return s.str();
}

void PrintTo(const TKindCase& c, std::ostream* os) {
  *os << test::Label(Describe(c));
}

class FunctionKindTest : public ::testing::TestWithParam<TKindCase> {};

TEST_P(FunctionKindTest, Calculates) {
  const TKindCase& c = GetParam();
  Ref<IFunction> f = MakeKind(c.type, int(c.expected.size()), c.args);
  f->Calculate();
  ExpectResults(*f, c.expected, Describe(c));
  f->Unbind();
}

constexpr float U = kUnchanged;

INSTANTIATE_TEST_SUITE_P(
    ColumnKinds, FunctionKindTest,
    ::testing::Values(
        // One result per argument column; an empty column has the neutral value.
        TKindCase{"function_sum", {{1, 2, 3}}, {6}},
        TKindCase{"function_sum", {{1, 2}, {3, 4}}, {3, 7}},
        TKindCase{"function_sum", {{}, {5}}, {0, 5}},
        TKindCase{"function_sum", {{1}, {2}, {3}}, {1}},  // more columns than results
        TKindCase{"function_multiply", {{2, 3, 4}}, {24}},
        TKindCase{"function_multiply", {{}, {2}}, {1, 2}},
        TKindCase{"function_substr", {{10, 3, 2}}, {5}},
        TKindCase{"function_substr", {{}, {4}}, {0, 4}},
        // Division skips zero divisors.
        TKindCase{"function_division", {{6, 0, 3}}, {2}},
        TKindCase{"function_division", {{1, 4}}, {0.25f}},
        TKindCase{"function_division", {{6}}, {6}}, TKindCase{"function_division", {{0, 0}}, {0}},
        TKindCase{"function_division", {{}, {1}}, {0, 1}},
        TKindCase{"function_polinom2", {{2, 1, 2, 3}}, {11}},
        TKindCase{"function_polinom2", {{2, 1, 2}}, {U}},
        // sin reads (amplitude, time, period, phase in half-turns, offsets...).
        TKindCase{"function_sin", {{1, 0.25f, 1}}, {1}},
        TKindCase{"function_sin", {{3, 1, 4}}, {3}},
        TKindCase{"function_sin", {{2, 0, 4, 0.5f}}, {2}},
        TKindCase{"function_sin", {{1, 0, 4, 0, 10, 5}}, {15}},
        TKindCase{"function_sin", {{1, 0.25f, 0}}, {U}},  // period 0
        TKindCase{"function_sin", {{1, 1}}, {U}},
        TKindCase{"function_switch", {{1, 2, 10, 20, 30}}, {10}},
        TKindCase{"function_switch", {{2, 2, 10, 20, 30}}, {20}},
        TKindCase{"function_switch", {{3, 2, 10, 20, 30}}, {30}},
        TKindCase{"function_switch", {{1, 2, 10, 20}}, {U}},
        // linear_segment reads (from, to, position, length) and does not clamp.
        TKindCase{"function_linear_segment", {{0, 100, 25, 50}}, {50}},
        TKindCase{"function_linear_segment", {{0, 100, 75, 50}}, {150}},
        TKindCase{"function_linear_segment", {{0, 100, 25, 0}}, {100}},
        TKindCase{"function_linear_segment", {{0, 100, 25}}, {U}},
        TKindCase{"function_random", {{0, 5, 2}}, {7}},
        TKindCase{"function_random", {{}, {0, 3}}, {0, 3}},
        TKindCase{"function_int_random", {{1, 7}}, {7}},
        TKindCase{"function_int_random", {{0, 3}}, {3}},
        TKindCase{"function_int_random", {{}, {0.5f, 2}}, {0, 2}}));

INSTANTIATE_TEST_SUITE_P(
    TableKinds, FunctionKindTest,
    ::testing::Values(
        // Interval lookup: thresholds (10, 20, 30), values (1, 2, 3); the last threshold is
        // never compared.
        TKindCase{"function_interval", {{5}, {10, 20, 30}, {1, 2, 3}}, {1}},
        TKindCase{"function_interval", {{10}, {10, 20, 30}, {1, 2, 3}}, {1}},
        TKindCase{"function_interval", {{15}, {10, 20, 30}, {1, 2, 3}}, {2}},
        TKindCase{"function_interval", {{25}, {10, 20, 30}, {1, 2, 3}}, {3}},
        TKindCase{"function_interval", {{100}, {10, 20, 30}, {1, 2, 3}}, {3}},
        // A second input without its pair of columns gives 0.
        TKindCase{"function_interval", {{5, 5}, {10, 20, 30}, {1, 2, 3}}, {1, 0}},
        // Values shorter than thresholds: nothing to pick, the result stays.
        TKindCase{"function_interval", {{25}, {10, 20, 30}, {1}}, {U}},
        // Piecewise interpolation over X = (0, 100), Y = (0, 1).
        TKindCase{"function_piecewise", {{50}, {0, 100}, {0, 1}}, {0.5f}},
        TKindCase{"function_piecewise", {{25}, {0, 100}, {0, 1}}, {0.25f}},
        TKindCase{"function_piecewise", {{0}, {0, 100}, {0, 1}}, {0}},
        TKindCase{"function_piecewise", {{100}, {0, 100}, {0, 1}}, {1}},
        TKindCase{"function_piecewise", {{200}, {0, 100}, {0, 1}}, {1}},
        TKindCase{"function_piecewise", {{-10}, {0, 100}, {0, 1}}, {1}},  // below: the last
        TKindCase{"function_piecewise", {{15}, {0, 10, 20}, {0, 100, 0}, {0, 1}, {5, 6}}, {50, 6}},
        // Arithmetic chains: values, then operation codes.
        TKindCase{"function_arithmetic", {{7, 2, 3}, {0, 2}}, {27}},
        TKindCase{"function_arithmetic", {{10, 4}, {1}}, {6}},
        TKindCase{"function_arithmetic", {{1, 4}, {3}}, {0.25f}},
        TKindCase{"function_arithmetic", {{1, 0}, {3}}, {1}},  // a zero divisor is skipped
        TKindCase{"function_arithmetic", {{3, 5}, {4}}, {5}},
        TKindCase{"function_arithmetic", {{3, 5}, {5}}, {3}},
        TKindCase{"function_arithmetic", {{7, 3}, {6}}, {1}},
        TKindCase{"function_arithmetic", {{-7, 2}, {6}}, {-1}},
        TKindCase{"function_arithmetic", {{7.9f, 2.5f}, {7}}, {3}},
        TKindCase{"function_arithmetic", {{7, 0}, {7}}, {7}},      // integer division by 0: kept
        TKindCase{"function_arithmetic", {{7, 3}, {9}}, {7}},      // unknown code
        TKindCase{"function_arithmetic", {{7, 3, 2}, {0}}, {10}},  // codes run out
        TKindCase{"function_arithmetic", {{7, 2}, {0}, {3, 4}, {2}}, {9, 12}},
        TKindCase{"function_arithmetic", {{5}}, {5}}));

TEST(FunctionKinds, RandomKindsStayInRange) {
  Ref<IFunction> real = MakeKind("function_random", 1, {{10, 5}});
  Ref<IFunction> whole = MakeKind("function_int_random", 1, {{3, 1}});
  bool seen[3] = {};
  for (int i = 0; i < 300; ++i) {
    real->Calculate();
    whole->Calculate();
    EXPECT_GE(real->GetResult(0), 5);
    EXPECT_LT(real->GetResult(0), 15);
    float k = whole->GetResult(0) - 1;
    ASSERT_TRUE(k == 0 || k == 1 || k == 2) << k;
    seen[int(k)] = true;
  }
  EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST(FunctionKinds, UnboundFunctionsDoNothing) {
  EnsureMathClasses();
  Ref<IFunction> f = Query<IFunction>(CreateObjectByType("function_sum"));
  f->GetParamSpace()->AddParamDef("r", 0, 1, "", true, -1);
  f->Calculate();
  f->Prepare();
  EXPECT_EQ(f->GetResultCount(), 0);
  EXPECT_EQ(f->GetResult(0), 0);
  f->SetResult(5, 1);
}

// -- Trees ------------------------------------------------------------------------------------

std::string SumXml(const std::string& name, float arg) {
  return "<function type=\"function_sum\" name=\"" + name +
         "\"><paramspace><paramdefs>"
         "<paramdef name=\"r\" static=\"yes\"/>"
         "<paramdef name=\"a\" col=\"1\" static=\"yes\" value=\"" +
         std::to_string(arg) + "\"/></paramdefs></paramspace></function>";
}

struct TSelectorCase {
  const char* type;
  float selector;
  int calculated;  // index of the choice calculated, -1 for none
};

void PrintTo(const TSelectorCase& c, std::ostream* os) {
  *os << c.type << " " << c.selector;
}

class SelectorTest : public ::testing::TestWithParam<TSelectorCase> {};

TEST_P(SelectorTest, CalculatesOnlyTheSelectedSubFunction) {
  const TSelectorCase& c = GetParam();
  const bool byFunction = std::string(c.type) != "function_selector_const";
  Ref<IFunction> f = LoadFunction(
      std::string("<function type=\"") + c.type +
      "\"><paramspace><paramdefs>"
      "<paramdef name=\"which\" col=\"2\" static=\"yes\"/></paramdefs></paramspace><functions>" +
      SumXml(byFunction ? "selector" : "zero", 5) + SumXml("one", 11) + SumXml("two", 22) +
      "</functions></function>");
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  Ref<IFunctionCollection> subs = f->GetFunctions();
  ASSERT_EQ(subs->Count(), 3);
  if (byFunction)
    subs->GetByIndex(0)->SetValueByName("a", c.selector);
  else
    f->SetValueByName("which", c.selector);
  f->Calculate();
  for (int i = 1; i <= 2; ++i)
    EXPECT_EQ(subs->GetByIndex(i)->GetResult(0) != 0, i == c.calculated)
        << c.type << " " << c.selector << " choice " << i;
  if (!byFunction) {
    EXPECT_EQ(subs->GetByIndex(0)->GetResult(0) != 0, c.calculated == 0);
  }
  f->Unbind();
}

INSTANTIATE_TEST_SUITE_P(Selectors, SelectorTest,
                         ::testing::Values(TSelectorCase{"function_selector", 1.7f, 1},
                                           TSelectorCase{"function_selector_func", 2, 2},
                                           TSelectorCase{"function_selector", 2.9f, 2},
                                           TSelectorCase{"function_selector", 5, -1},
                                           TSelectorCase{"function_selector", -1.5f, -1},
                                           TSelectorCase{"function_selector", -0.5f,
                                                         -1},  // 0: the selector itself
                                           TSelectorCase{"function_selector_const", 0, 0},
                                           TSelectorCase{"function_selector_const", 1.9f, 1},
                                           TSelectorCase{"function_selector_const", 3, -1}));

// Sub-functions exchange values through shared cells: the first one's result cell is the
// cell the second one reads.
TEST(FunctionTree, SubFunctionsShareCells) {
  Ref<IFunction> f = LoadFunction(R"(
    <function type="function_complex">
      <paramspace><paramdefs>
        <paramdef name="out" static="yes"/>
        <paramdef name="time" col="1" static="yes" value="4"/>
        <paramdef name="mid" col="2" static="yes"/>
      </paramdefs></paramspace>
      <functions>
        <function type="function_sum">
          <paramspace><paramdefs>
            <paramdef name="res" outname="mid"/>
            <paramdef name="time" col="1"/>
            <paramdef name="one" col="1" static="yes" value="1"/>
          </paramdefs></paramspace>
        </function>
        <function type="function_multiply">
          <paramspace><paramdefs>
            <paramdef name="res" outname="out"/>
            <paramdef name="mid" col="1"/>
            <paramdef name="ten" col="1" static="yes" value="10"/>
          </paramdefs></paramspace>
        </function>
      </functions>
    </function>)");
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  ASSERT_EQ(f->GetFunctions()->Count(), 2) << "unnamed sub-functions are all kept";
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetResult(0), 50);
  EXPECT_FLOAT_EQ(f->GetValueByName("mid"), 5);
  f->SetArg(0, 9);
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetResult(0), 100);
  EXPECT_EQ(f->GetBoundName(0, 0), "out");
  EXPECT_EQ(f->GetFunctions()->GetByIndex(0)->GetBoundName(0, 0), "mid");
  EXPECT_EQ(f->GetFunctions()->GetByIndex(0)->GetParamName(0, 0), "res");
  EXPECT_EQ(f->GetParamName(5, 5), "");
  f->Unbind();
}

// The three-level tree of the function benchmark, checked against hand-computed values.
TEST(FunctionTree, ThreeLevelFixture) {
  std::ifstream in(LUMESSA_SOURCE_DIR "/tests/fixtures/math/animation_tree.xml");
  std::stringstream xml;
  xml << in.rdbuf();
  Ref<IFunction> f = LoadFunction(xml.str());
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  f->SetArg(0, 125);
  f->Calculate();
  ExpectResults(*f, {25, 120, 100}, "t = 125");
  f->SetArg(0, 750);
  f->Calculate();
  ExpectResults(*f, {150, 100, 50}, "t = 750");
  f->Unbind();
}

std::string EvalXml(const std::string& name, const std::string& expression,
                    const std::string& inner = "") {
  return "<function type=\"function_eval\" name=\"" + name +
         "\"><paramspace><paramdefs><paramdef name=\"log\" col=\"2\"/></paramdefs></paramspace>" +
         inner + "<expression>" + expression + "</expression></function>";
}

// Each part appends its digit to the shared cell "log".
std::string PreparationTree(const char* firstName, const char* secondName) {
  return std::string(
             "<function type=\"function_complex\"><paramspace><paramdefs>"
             "<paramdef name=\"log\" col=\"2\" static=\"yes\"/></paramdefs></paramspace>"
             "<preparation_function type=\"function_complex\"><paramspace><paramdefs>"
             "<paramdef name=\"log\" col=\"2\"/></paramdefs></paramspace><functions>") +
         EvalXml(firstName, "log := log * 10 + 3") + EvalXml(secondName, "log := log * 10 + 1") +
         "</functions></preparation_function><functions>" +
         EvalXml("child", "log := log * 10 + 9",
                 "<preparation_function type=\"function_eval\"><paramspace><paramdefs>"
                 "<paramdef name=\"log\" col=\"2\"/></paramdefs></paramspace>"
                 "<expression>log := log * 10 + 2</expression></preparation_function>") +
         "</functions></function>";
}

TEST(FunctionPreparation, BeforeThenSubFunctionsThenAfter) {
  Ref<IFunction> f = LoadFunction(PreparationTree("after", "before"));
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  f->Prepare();
  EXPECT_FLOAT_EQ(f->GetValueByName("log"), 123) << "Prepare never calculates the function";
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetValueByName("log"), 1239);
  // Every bind starts the static cells again.
  f->SetOwner(nullptr);
  EXPECT_FLOAT_EQ(f->GetValueByName("log"), 0);
  f->Unbind();
}

TEST(FunctionPreparation, SavedTreeLoadsTheSame) {
  Ref<IFunction> f = LoadFunction(PreparationTree("after", "before"));
  ASSERT_TRUE(f);
  Ref<IHierStorage> node = Query<IHierStorage>(CreateStorage("function"));
  ASSERT_TRUE(node);
  Query<IStorable>(f)->Save(node);
  Ref<IFunction> copy = Query<IFunction>(CreateFromNode(node));
  ASSERT_TRUE(copy);
  copy->SetOwner(nullptr);
  copy->Prepare();
  copy->Calculate();
  EXPECT_FLOAT_EQ(copy->GetValueByName("log"), 1239);
  copy->Unbind();
}

TEST(FunctionPreparation, WithoutBeforeOrAfterTheWholeFunctionIsTheBeforePart) {
  Ref<IFunction> f = LoadFunction(PreparationTree("x", "y"));
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  f->Prepare();
  EXPECT_FLOAT_EQ(f->GetValueByName("log"), 312);
  f->Unbind();
}

// -- Eval -------------------------------------------------------------------------------------

Ref<IFunction> LoadMover(const std::string& expression) {
  return LoadFunction(R"(
    <function type="function_eval" name="mover">
      <paramspace><paramdefs>
        <paramdef name="left" static="yes"/>
        <paramdef name="alpha" static="yes" outname="transparentlevel"/>
        <paramdef name="currenttime" col="1" static="yes"/>
        <paramdef name="k" col="2" static="yes" value="3"/>
        <paramdef name="zero" col="2" static="yes" value="0"/>
        <paramdef name="sin" col="2" static="yes" value="7"/>
      </paramdefs></paramspace>
      <expression>)" + expression +
                      "</expression></function>");
}

TEST(EvalFunction, HostPushesCalculatesAndPulls) {
  Ref<IFunction> f = LoadMover(R"(
        // the position follows the time
        left := left + currenttime / 10

        alpha := k)");
  ASSERT_TRUE(f);
  Ref<TTestHost> host = NewObject<TTestHost>();
  host->SetProperty("left", 5);
  host->SetProperty("currenttime", "100");       // text that converts is a number
  host->SetProperty("transparentlevel", "abc");  // not a number: skipped
  host->SetProperty("k", 99);                    // column 2 is never exchanged
  TFunctionHost link;
  link.Attach(f);
  link.Start(*host);
  EXPECT_DOUBLE_EQ(host->GetProperty("left").ToFloat(), 15);
  EXPECT_DOUBLE_EQ(host->GetProperty("transparentlevel").ToFloat(), 3);
  host->SetProperty("currenttime", 200);
  link.Step(*host);
  EXPECT_DOUBLE_EQ(host->GetProperty("left").ToFloat(), 35);
  EXPECT_EQ(host->GetProperty("k").ToInt(), 99);
  link.Detach();
  EXPECT_FALSE(link.Function());
}

TEST(EvalFunction, SyntaxErrorStaysSilentAndChangesNothing) {
  Ref<IFunction> f = LoadMover("left := 1\nleft := (2");
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  f->SetResult(0, 5);
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetResult(0), 5) << "a failed line leaves the whole set empty";
  EXPECT_FALSE(dynamic_cast<TEvalFunction&>(*f).IsEnabled());
  f->Unbind();
}

TEST(EvalFunction, MathErrorDisablesTheFunction) {
  Ref<IFunction> f = LoadMover("left := left + 1\nleft := 1 / zero");
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetResult(0), 1) << "lines before the failing one ran";
  f->SetValueByName("zero", 1);
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetResult(0), 1) << "disabled for good";
  // Binding again compiles again.
  f->SetOwner(nullptr);
  f->SetValueByName("zero", 2);
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetResult(0), 0.5f);
  f->Unbind();
}

TEST(EvalFunction, CellNamedLikeAFunctionWordKeepsTheWord) {
  Ref<IFunction> f = LoadMover("left := sin(0) + k");
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  f->Calculate();
  EXPECT_FLOAT_EQ(f->GetResult(0), 3);
  f->Unbind();
}

// -- Monte Carlo ------------------------------------------------------------------------------

class MonteCarloTest : public ::testing::Test {
 protected:
  void SetUp() override {
    surface_ = NewObject<TSurface>();
    surface_->SetHasAlpha(true);
    surface_->SetSize(4, 3);
    surface_->SetPixel(2, 1, 0x80112233);
    SeedProgramRandom(1);
  }
  // threshold and tries as argument cells (1, 1) and (1, 2), when given.
  Ref<IFunction> Make(int results, std::vector<float> args) {
    args.insert(args.begin(), 0);  // (1, 0): the surface
    Ref<IFunction> f = MakeKind("function_montecarlo", results, {args});
    f->GetParamSpace()->GetCell(1, 0)->object = surface_;
    return f;
  }
  Ref<TSurface> surface_;
};

TEST_F(MonteCarloTest, FindsTheOpaquePixel) {
  Ref<IFunction> f = Make(7, {100, 10000});
  f->Calculate();
  ExpectResults(*f, {1, 2, 1, 0x11, 0x22, 0x33, 0x80}, "one pixel above the threshold");
  f->Unbind();
}

TEST_F(MonteCarloTest, FailingLeavesTheOtherResults) {
  Ref<IFunction> f = Make(7, {200, 50});
  f->Calculate();
  ExpectResults(*f, {0, U, U, U, U, U, U}, "nothing reaches the threshold");
  f->GetParamSpace()->GetCell(1, 0)->object.reset();
  f->SetResult(0, 1);
  f->Calculate();
  EXPECT_EQ(f->GetResult(0), 0) << "no surface";
  f->Unbind();
}

TEST_F(MonteCarloTest, DefaultsAndShortResultColumn) {
  surface_->SetPixel(0, 0, 0xFF000000);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) surface_->SetPixel(x, y, 0xFF0000FF);
  Ref<IFunction> f = Make(3, {});  // threshold 1, one try
  f->Calculate();
  ASSERT_EQ(f->GetResult(0), 1);
  EXPECT_GE(f->GetResult(1), 0);
  EXPECT_LT(f->GetResult(1), 4);
  EXPECT_GE(f->GetResult(2), 0);
  EXPECT_LT(f->GetResult(2), 3);
  f->Unbind();
}

// A host hands the surface to a tree by name; the sampler's cell (1, 0) is that very cell.
TEST_F(MonteCarloTest, SurfaceReachesTheSamplerThroughBinding) {
  Ref<IFunction> f = LoadFunction(R"(
    <function type="function_complex">
      <paramspace><paramdefs>
        <paramdef name="found" static="yes"/>
        <paramdef name="surface" col="1" static="yes"/>
      </paramdefs></paramspace>
      <functions>
        <function type="function_montecarlo">
          <paramspace><paramdefs>
            <paramdef name="found"/>
            <paramdef name="surface" col="1"/>
            <paramdef name="threshold" col="1" static="yes" value="1"/>
            <paramdef name="tries" col="1" static="yes" value="1e9"/>
          </paramdefs></paramspace>
        </function>
      </functions>
    </function>)");
  ASSERT_TRUE(f);
  f->SetOwner(nullptr);
  f->GetParamSpace()->SetObjectByName("surface", surface_);
  f->Calculate();
  EXPECT_EQ(f->GetResult(0), 1);
  // The tries are capped: a transparent picture ends the calculation in bounded time.
  surface_->ClearAll();
  f->Calculate();
  EXPECT_EQ(f->GetResult(0), 0);
  f->Unbind();
}

// A data file cannot make loading, binding or calculating recurse without bound.
TEST(FunctionTree, DeepNestingIsCut) {
  std::string xml;
  const int levels = 3000;
  for (int i = 0; i < levels; ++i)
    xml +=
        "<function type=\"function_complex\"><preparation_function type=\"function_sum\"/>"
        "<functions>";
  for (int i = 0; i < levels; ++i) xml += "</functions></function>";
  Ref<IFunction> f = LoadFunction(xml);
  ASSERT_TRUE(f);
  int depth = 0;
  for (Ref<IFunction> g = f; g && g->GetFunctions(); g = g->GetFunctions()->GetByIndex(0)) ++depth;
  EXPECT_GT(depth, 10);
  EXPECT_LE(depth, TFunction::kMaxTreeDepth + 1);
  f->SetOwner(nullptr);
  f->Prepare();
  f->Calculate();
  f->Unbind();
}

// -- Registry ---------------------------------------------------------------------------------

TEST(FunctionRegistry, EveryKindIsCreatedByItsTypeName) {
  EnsureMathClasses();
  const char* kinds[] = {"function_complex",       "function_selector",
                         "function_selector_func", "function_selector_const",
                         "function_sin",           "function_polinom2",
                         "function_sum",           "function_substr",
                         "function_multiply",      "function_division",
                         "function_arithmetic",    "function_eval",
                         "function_random",        "function_int_random",
                         "function_switch",        "function_interval",
                         "function_piecewise",     "function_linear_segment",
                         "function_montecarlo"};
  for (const char* kind : kinds) {
    Ref<IFunction> f = Query<IFunction>(CreateObjectByType(kind));
    ASSERT_TRUE(f) << kind;
    EXPECT_EQ(f->GetFunctions().get() != nullptr,
              std::string(kind) == "function_complex" ||
                  std::string(kind).starts_with("function_selector"))
        << kind;
  }
  EXPECT_TRUE(dynamic_cast<TFuncSelectorFunction*>(
      Query<IFunction>(CreateObjectByType("Function_Selector")).get()));
}

TEST(FunctionRegistry, UnknownSubFunctionTypesAreSkipped) {
  Ref<IFunction> f = LoadFunction(
      "<function type=\"function_complex\"><functions>"
      "<function type=\"no_such_kind\"/>" +
      SumXml("b", 1) + "</functions></function>");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->GetFunctions()->Count(), 1);
  EXPECT_TRUE(f->GetFunctions()->FindByName("B"));
}

}  // namespace
}  // namespace lumessa
